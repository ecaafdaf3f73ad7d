// The host application's ASCII scene export (.ase, first word *3DSMAX_ASCIIEXPORT),
// read into the scene the application itself holds: node transforms and hierarchy,
// meshes with their edge visibility, smoothing groups, material ids and map channels
// 1 and 2, the material list, helpers, shapes, cameras and lights with their
// targets, and position and rotation tracks.
//
// The file is a tree of directives: "*KEYWORD" with words on its line, and a
// "{ ... }" block after it for some. Unknown directives and blocks are skipped whole.
// Problems throw SceneError "FILE:LINE: *DIRECTIVE: what".
//
// What the export changed is undone here:
// - vertices are in world space: they are brought into the node's own frame with
//   the inverse of the node's *NODE_TM;
// - for a mirrored node (negative determinant) the export reversed each face's
//   corners (and its edge flags and texture corners with them): they are put back
//   in the application's order;
// - rotation samples (*CONTROL_ROT_SAMPLE) hold the turn since the previous sample:
//   they become absolute rotations of a linear controller.
// Choices where the file says nothing: the scene's time is the first *TIMEVALUE;
// cameras keep their clip distances with manual clipping off (the application's
// default); a light uses its attenuation when *LIGHT_USEATTEN is 1.
#include "SceneBuilder.h"
#include "SceneFormats.h"
#include "TextDecoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace vek {

bool IsAseText(std::string_view text)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    return start != std::string_view::npos && text.compare(start, 19, "*3DSMAX_ASCIIEXPORT") == 0 &&
           (text.size() == start + 19 || std::isspace(static_cast<unsigned char>(text[start + 19])));
}

bool IsAseFile(simdjson::padded_string_view bytes)
{
    // The first word is ASCII in every encoding read: the file's first bytes decode to
    // it as the whole file would.
    constexpr size_t kHead = 256;
    std::string converted;
    return IsAseText(DecodeSceneText(std::string_view(bytes.data(), std::min(bytes.size(), kHead)), converted));
}

namespace {

// ---- directives ----

struct Token {
    enum Kind { End, Key, Open, Close, Word } kind = End;
    std::string_view text; // the keyword with its "*", or the word without quotes
    int line = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : t(text) {}

    const Token& Peek()
    {
        if (!peeked) {
            next = Read();
            peeked = true;
        }
        return next;
    }
    Token Take()
    {
        Peek();
        peeked = false;
        return next;
    }
    int Line() const { return line; }

private:
    std::string_view t;
    size_t pos = 0;
    int line = 1;
    Token next;
    bool peeked = false;

    // What each byte is to the lexer, one look-up a byte: a blank, or a byte that ends a
    // bare word (a blank, a brace, a quote).
    enum : uint8_t { BLANK = 1, STOP = 2 };
    static constexpr std::array<uint8_t, 256> CLASSES = [] {
        std::array<uint8_t, 256> c{};
        for (char b : {' ', '\t', '\r', '\n', '\f', '\v'})
            c[uint8_t(b)] = BLANK | STOP;
        for (char b : {'{', '}', '"'})
            c[uint8_t(b)] = STOP;
        return c;
    }();
    static_assert(CLASSES.size() == 256);
    static bool Is(char c, uint8_t what) { return (CLASSES[uint8_t(c)] & what) != 0; }

    Token Read()
    {
        while (pos < t.size() && Is(t[pos], BLANK))
            line += t[pos++] == '\n';
        if (pos >= t.size())
            return {Token::End, {}, line};
        size_t start = pos;
        char c = t[pos];
        if (c == '{' || c == '}') {
            pos++;
            return {c == '{' ? Token::Open : Token::Close, t.substr(start, 1), line};
        }
        if (c == '"') {
            // Quoted words run to the next quote on the line; a backslash is only a
            // backslash (the application's paths are full of them).
            size_t end = t.find_first_of("\"\n", start + 1);
            if (end == std::string_view::npos || t[end] != '"')
                end = t.find('\n', start);
            pos = end == std::string_view::npos ? t.size() : end + (t[end] == '"');
            return {Token::Word, t.substr(start + 1, (end == std::string_view::npos ? t.size() : end) - start - 1),
                    line};
        }
        while (pos < t.size() && !Is(t[pos], STOP))
            pos++;
        return {c == '*' ? Token::Key : Token::Word, t.substr(start, pos - start), line};
    }
};

// One directive: its keyword, the words after it on its line, and whether a block follows.
struct Directive {
    std::string_view key;
    int line = 0;
    std::vector<std::string_view> args;
    bool block = false;
};

constexpr int kMaxMaterialDepth = 100;

class AseLoader {
public:
    AseLoader(std::string_view text, const std::string& fileName) : lex(text), file(fileName), size(text.size()) {}

    std::unique_ptr<Scene> Load();

private:
    Lexer lex;
    const std::string& file;
    size_t size;
    SceneBuilder b;
    std::vector<Mtl*> materials; // the material list, by number
    std::unordered_map<std::string, SceneNode*> nodes;
    std::unordered_map<const SceneNode*, Matrix3> worldTM;
    bool timeSet = false;
    bool atEnd = false; // the last Next met the end of the file

    // One object block (*GEOMOBJECT, *CAMERAOBJECT, ...) being read.
    struct Node {
        std::string name, parent;
        SceneNode* node = nullptr;
        SceneNode* target = nullptr;
        Object* object = nullptr;
        Matrix3 tm;
        bool mirrored = false;
    };

    // ---- errors and values ----

    [[noreturn]] void Fail(int line, const std::string& place, const std::string& what) const
    {
        throw SceneError(file + ":" + std::to_string(line) + ": " + place + ": " + what);
    }
    [[noreturn]] void Fail(const Directive& d, const std::string& what) const { Fail(d.line, Place(d), what); }
    // "*MESH_FACE 7" for the entries of a list, the keyword alone otherwise.
    static std::string Place(const Directive& d);
    template <class F> decltype(auto) Checked(const Directive& d, F&& f) const
    {
        try {
            return f();
        } catch (const BuildError& e) {
            Fail(d, e.what());
        }
    }

    // Reads the next directive of the current block into d; false at the block's
    // "}" (consumed) or at the end of the file (an error inside a block).
    bool Next(Directive& d, bool topLevel = false);
    void Skip(const Directive& d);
    void Expect(const Directive& d, size_t args) const;
    std::string Text(const Directive& d) const;
    float Float(const Directive& d, size_t i) const;
    int Int(const Directive& d, size_t i) const;
    Point3 Vec3(const Directive& d, size_t first) const;
    // The position of an entry of a list ("*MESH_VERTEX 3"): entries come in order.
    size_t Entry(const Directive& d, size_t expected) const;

    // ---- blocks ----

    void ReadScene();
    void ReadMaterialList();
    Mtl* ReadMaterial(const Directive& head, int depth);
    Texmap* ReadMap();
    void ReadObject(const Directive& head);
    // Creates the node of the object on its first need.
    SceneNode* MakeNode(Node& n, const Directive& d);
    Matrix3 ReadTM(std::string* name);
    void ReadNodeTM(Node& n, const Directive& d, bool first, bool targeted);
    // The light type *LIGHT_TYPE names.
    int LightType(const Directive& d) const;
    SceneMeshObject* ReadMesh(const Node& n, const Directive& head);
    std::vector<Point3> ReadPoints(const Directive& list, const char* entryKey, std::vector<int>& lines);
    void ReadFaces(SceneMeshObject* mesh, bool mirrored);
    void ReadMapFaces(SceneMeshObject* mesh, int channel, bool mirrored);
    void ReadMapChannel(SceneMeshObject* mesh, int channel, bool mirrored);
    void ReadCamera(CameraSettings& cam);
    void ReadLightSettings(LightSettings& light);
    void ReadAnimation(Node& n);
    void ReadKeys(const Directive& head, SceneNode* node);
    void SetTime(const Directive& d);
};

// ---- errors and values ----

std::string AseLoader::Place(const Directive& d)
{
    static const std::string_view kLists[] = {"*MESH_VERTEX", "*MESH_FACE", "*MESH_TVERT",
                                              "*MESH_TFACE",  "*MATERIAL",  "*SUBMATERIAL"};
    static_assert(std::size(kLists) == 6);
    std::string place(d.key);
    if (!d.args.empty() && std::find(std::begin(kLists), std::end(kLists), d.key) != std::end(kLists)) {
        std::string_view index = d.args[0];
        if (!index.empty() && index.back() == ':')
            index.remove_suffix(1);
        place += " " + std::string(index);
    }
    return place;
}

bool AseLoader::Next(Directive& d, bool topLevel)
{
    for (;;) {
        Token t = lex.Take();
        atEnd = t.kind == Token::End;
        if (atEnd) {
            if (!topLevel)
                Fail(t.line, "end of file", "missing \"}\"");
            return false;
        }
        if (t.kind == Token::Close)
            return false;
        d.key = t.kind == Token::Key ? t.text : std::string_view();
        d.line = t.line;
        d.args.clear();
        if (t.kind == Token::Word)
            Fail(t.line, std::string(t.text), "a word without a directive before it");
        if (t.kind == Token::Key)
            while (lex.Peek().kind == Token::Word && lex.Peek().line == t.line)
                d.args.push_back(lex.Take().text);
        d.block = t.kind == Token::Open;
        if (!d.block && lex.Peek().kind == Token::Open) {
            lex.Take();
            d.block = true;
        }
        if (!d.key.empty())
            return true;
        Skip(d); // a block without a keyword
    }
}

void AseLoader::Skip(const Directive& d)
{
    if (!d.block)
        return;
    // Counted, not recursive: blocks may nest deep.
    for (size_t open = 1; open > 0;) {
        Token t = lex.Take();
        if (t.kind == Token::End)
            Fail(d, "missing \"}\" of the block opened here");
        open += t.kind == Token::Open;
        open -= t.kind == Token::Close;
    }
}

void AseLoader::Expect(const Directive& d, size_t args) const
{
    if (d.args.size() < args)
        Fail(d, "expected " + std::to_string(args) + " values, got " + std::to_string(d.args.size()));
}

std::string AseLoader::Text(const Directive& d) const
{
    Expect(d, 1);
    return std::string(d.args[0]);
}

float AseLoader::Float(const Directive& d, size_t i) const
{
    Expect(d, i + 1);
    std::string_view s = d.args[i];
    float v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        Fail(d, "\"" + std::string(s) + "\" is not a number");
    return v;
}

int AseLoader::Int(const Directive& d, size_t i) const
{
    Expect(d, i + 1);
    std::string_view s = d.args[i];
    if (!s.empty() && s.back() == ':')
        s.remove_suffix(1);
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        Fail(d, "\"" + std::string(d.args[i]) + "\" is not an integer");
    return v;
}

Point3 AseLoader::Vec3(const Directive& d, size_t first) const
{
    return Point3(Float(d, first), Float(d, first + 1), Float(d, first + 2));
}

size_t AseLoader::Entry(const Directive& d, size_t expected) const
{
    int index = Int(d, 0);
    if (index < 0 || size_t(index) != expected)
        Fail(d, "expected entry " + std::to_string(expected));
    return expected;
}

void AseLoader::SetTime(const Directive& d)
{
    if (!timeSet)
        b.SetTime(Int(d, 0));
    timeSet = true;
}

// ---- the scene and the material list ----

void AseLoader::ReadScene()
{
    int64_t first = 0, last = 100, ticks = 160;
    Directive d;
    while (Next(d)) {
        if (d.key == "*SCENE_FIRSTFRAME")
            first = Int(d, 0);
        else if (d.key == "*SCENE_LASTFRAME")
            last = Int(d, 0);
        else if (d.key == "*SCENE_TICKSPERFRAME")
            ticks = Int(d, 0);
        else if (d.key == "*SCENE_AMBIENT_STATIC")
            b.SetAmbient(ColorTrack(Vec3(d, 0)));
        Skip(d);
    }
    Checked(d, [&] {
        b.SetTicksPerFrame(int(ticks));
        const int64_t lo = std::numeric_limits<TimeValue>::min(), hi = std::numeric_limits<TimeValue>::max();
        if (first * ticks < lo || last * ticks > hi)
            throw BuildError("the frame range does not fit in ticks");
        b.SetAnimRange(TimeValue(first * ticks), TimeValue(last * ticks));
    });
}

void AseLoader::ReadMaterialList()
{
    Directive d;
    while (Next(d)) {
        if (d.key == "*MATERIAL" && d.block) {
            Entry(d, materials.size());
            materials.push_back(ReadMaterial(d, 0));
            continue;
        }
        Skip(d);
    }
}

Mtl* AseLoader::ReadMaterial(const Directive& head, int depth)
{
    if (depth > kMaxMaterialDepth)
        Fail(head, "materials nested deeper than " + std::to_string(kMaxMaterialDepth) + " levels");
    MaterialSettings m;
    std::string cls = "Standard";
    std::vector<Mtl*> subs;
    Directive d;
    while (Next(d)) {
        if (d.key == "*MATERIAL_NAME")
            m.name = Text(d);
        else if (d.key == "*MATERIAL_CLASS")
            cls = Text(d);
        else if (d.key == "*MATERIAL_DIFFUSE")
            m.diffuse = Color(Vec3(d, 0));
        else if (d.key == "*MATERIAL_TRANSPARENCY")
            m.transparency = Float(d, 0);
        else if (d.key == "*MATERIAL_TWOSIDED")
            m.twoSided = true;
        else if (d.key == "*MAP_DIFFUSE" && d.block) {
            m.diffuseMap = ReadMap();
            continue;
        } else if (d.key == "*SUBMATERIAL" && d.block) {
            Entry(d, subs.size());
            subs.push_back(ReadMaterial(d, depth + 1));
            continue;
        }
        Skip(d);
    }
    m.kind = cls == "Standard"           ? SceneMtl::Kind::Standard
             : cls == "Multi/Sub-Object" ? SceneMtl::Kind::Multi
                                         : SceneMtl::Kind::Other;
    m.twoSided = m.twoSided && m.kind == SceneMtl::Kind::Standard;
    return Checked(head, [&] {
        SceneMtl* mtl = b.AddMaterial(m);
        if (m.kind != SceneMtl::Kind::Standard)
            b.SetSubMaterials(mtl, subs);
        return mtl;
    });
}

Texmap* AseLoader::ReadMap()
{
    std::string name, cls;
    std::optional<std::string> bitmap;
    Directive d;
    while (Next(d)) {
        if (d.key == "*MAP_NAME")
            name = Text(d);
        else if (d.key == "*MAP_CLASS")
            cls = Text(d);
        else if (d.key == "*BITMAP")
            bitmap = Text(d);
        Skip(d);
    }
    return cls == "Bitmap" ? b.AddBitmapTex(name, bitmap) : b.AddOtherTex(name);
}

// ---- objects and nodes ----

SceneNode* AseLoader::MakeNode(Node& n, const Directive& d)
{
    if (n.node)
        return n.node;
    SceneNode* parent = nullptr;
    if (!n.parent.empty()) {
        auto found = nodes.find(n.parent);
        if (found == nodes.end())
            Fail(d, "the parent \"" + n.parent + "\" is not a node before this one");
        parent = found->second;
    }
    n.node = Checked(d, [&] { return b.AddNode(parent, n.name); });
    // Names need not be unique: a parent is the latest node of its name.
    nodes.insert_or_assign(n.name, n.node);
    return n.node;
}

Matrix3 AseLoader::ReadTM(std::string* name)
{
    Matrix3 tm;
    Directive d;
    while (Next(d)) {
        if (d.key.substr(0, 7) == "*TM_ROW" && d.key.size() == 8 && d.key[7] >= '0' && d.key[7] <= '3')
            tm.SetRow(d.key[7] - '0', Vec3(d, 0));
        else if (d.key == "*NODE_NAME" && name)
            *name = Text(d);
        Skip(d);
    }
    return tm;
}

// The node's own transform (the first), or its target's (the second, of a camera or
// light: the target is a node of its own).
void AseLoader::ReadNodeTM(Node& n, const Directive& d, bool first, bool targeted)
{
    std::string name;
    Matrix3 tm = ReadTM(&name);
    if (first) {
        SceneNode* node = MakeNode(n, d);
        // The file holds world transforms; the node's is relative to its parent.
        Matrix3 local = tm;
        if (node->parent && !node->parent->root)
            local = tm * Inverse(worldTM[node->parent]);
        Checked(d, [&] { b.SetTransform(node, local); });
        worldTM[node] = n.tm = tm;
        n.mirrored = DotProd(CrossProd(tm.GetRow(0), tm.GetRow(1)), tm.GetRow(2)) < 0.0f;
    } else if (targeted) {
        n.target = Checked(d, [&] { return b.AddNode(nullptr, name); });
        nodes.insert_or_assign(name, n.target);
        worldTM[n.target] = tm;
        b.SetObject(n.target, b.AddObject(PlainObject::Target));
        Checked(d, [&] { b.SetTransform(n.target, tm); });
    }
}

int AseLoader::LightType(const Directive& d) const
{
    static const char* const kTypes[] = {"Omni", "Target", "Directional", "Free", "TargetDirectional"};
    static_assert(std::size(kTypes) == TDIR_LIGHT + 1);
    std::string type = Text(d);
    auto found = std::find(std::begin(kTypes), std::end(kTypes), type);
    if (found == std::end(kTypes))
        Fail(d, "unknown light type \"" + type + "\"");
    return int(found - std::begin(kTypes));
}

void AseLoader::ReadObject(const Directive& head)
{
    Node n;
    int tms = 0;
    CameraSettings cam;
    LightSettings light;
    std::string helperClass;
    bool isCamera = head.key == "*CAMERAOBJECT", isLight = head.key == "*LIGHTOBJECT";
    Directive d;
    while (Next(d)) {
        if (d.key == "*NODE_NAME" && !n.node) {
            n.name = Text(d);
        } else if (d.key == "*NODE_PARENT") {
            if (n.node)
                Fail(d, "must come before the node's transform");
            n.parent = Text(d);
        } else if (d.key == "*NODE_TM" && d.block) {
            ReadNodeTM(n, d, tms++ == 0, isCamera || isLight);
            continue;
        } else if (d.key == "*MESH" && d.block && head.key == "*GEOMOBJECT") {
            n.object = ReadMesh(n, d);
            continue;
        } else if (d.key == "*HELPER_CLASS") {
            helperClass = Text(d);
        } else if (d.key == "*CAMERA_SETTINGS" && d.block && isCamera) {
            ReadCamera(cam);
            continue;
        } else if (d.key == "*LIGHT_TYPE" && isLight) {
            light.type = LightType(d);
        } else if (d.key == "*LIGHT_USELIGHT" && isLight) {
            light.on = Int(d, 0) != 0;
        } else if (d.key == "*LIGHT_SETTINGS" && d.block && isLight) {
            ReadLightSettings(light);
            continue;
        } else if (d.key == "*TM_ANIMATION" && d.block) {
            MakeNode(n, d);
            ReadAnimation(n);
            continue;
        } else if (d.key == "*WIREFRAME_COLOR") {
            Point3 c = Vec3(d, 0);
            auto byte = [](float v) { return int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            b.SetWireColor(MakeNode(n, d), RGB(byte(c.x), byte(c.y), byte(c.z)));
        } else if (d.key == "*MATERIAL_REF") {
            int ref = Int(d, 0);
            if (ref < 0 || size_t(ref) >= materials.size())
                Fail(d, "material " + std::to_string(ref) + " out of range (" + std::to_string(materials.size()) +
                            " materials)");
            b.SetMaterial(MakeNode(n, d), materials[size_t(ref)]);
        }
        Skip(d);
    }
    if (isCamera)
        n.object = Checked(head, [&] { return b.AddCamera(cam); });
    else if (isLight)
        n.object = Checked(head, [&] { return b.AddLight(light); });
    else if (head.key == "*SHAPEOBJECT")
        n.object = b.AddObject(PlainObject::Shape);
    else if (head.key == "*HELPEROBJECT")
        n.object = b.AddObject(helperClass == "Dummy" ? PlainObject::Dummy : PlainObject::Helper);
    b.SetObject(MakeNode(n, head), n.object); // a *GEOMOBJECT without *MESH has none
}

void AseLoader::ReadCamera(CameraSettings& cam)
{
    Directive d;
    while (Next(d)) {
        if (d.key == "*TIMEVALUE")
            SetTime(d);
        else if (d.key == "*CAMERA_NEAR")
            cam.nearClip = FloatTrack(Float(d, 0));
        else if (d.key == "*CAMERA_FAR")
            cam.farClip = FloatTrack(Float(d, 0));
        else if (d.key == "*CAMERA_FOV")
            cam.fov = FloatTrack(Float(d, 0));
        Skip(d);
    }
}

void AseLoader::ReadLightSettings(LightSettings& light)
{
    Directive d;
    while (Next(d)) {
        if (d.key == "*TIMEVALUE")
            SetTime(d);
        else if (d.key == "*LIGHT_COLOR")
            light.color = ColorTrack(Vec3(d, 0));
        else if (d.key == "*LIGHT_INTENS")
            light.intensity = FloatTrack(Float(d, 0));
        else if (d.key == "*LIGHT_FALLOFF")
            light.falloffDeg = FloatTrack(Float(d, 0));
        else if (d.key == "*LIGHT_ATTNEND")
            light.attenEnd = FloatTrack(Float(d, 0));
        else if (d.key == "*LIGHT_USEATTEN")
            light.useAtten = Int(d, 0) != 0;
        Skip(d);
    }
}

// ---- meshes ----

SceneMeshObject* AseLoader::ReadMesh(const Node& n, const Directive& head)
{
    // Declared counts only reserve room, never more than the file could hold.
    auto reserve = [this](const Directive& d) { return std::min(size_t(std::max(Int(d, 0), 0)), size / 16); };
    SceneMeshObject* mesh = b.AddMesh();
    const Matrix3 toNode = Inverse(n.tm);
    Directive d;
    while (Next(d)) {
        if (d.key == "*TIMEVALUE") {
            SetTime(d);
        } else if (d.key == "*MESH_NUMVERTEX") {
            mesh->mesh.verts.reserve(reserve(d));
        } else if (d.key == "*MESH_NUMFACES") {
            mesh->mesh.faces.reserve(reserve(d));
        } else if (d.key == "*MESH_VERTEX_LIST" && d.block) {
            std::vector<int> lines;
            std::vector<Point3> points = ReadPoints(d, "*MESH_VERTEX", lines);
            for (Point3& p : points)
                p = p * toNode;
            try {
                b.AddVerts(mesh, points.data(), points.size());
            } catch (const BuildError& e) {
                Fail(lines[e.item], "*MESH_VERTEX " + std::to_string(e.item), e.what());
            }
            continue;
        } else if (d.key == "*MESH_FACE_LIST" && d.block) {
            ReadFaces(mesh, n.mirrored);
            continue;
        } else if (d.key == "*MESH_TVERTLIST" && d.block) {
            std::vector<int> lines;
            std::vector<Point3> points = ReadPoints(d, "*MESH_TVERT", lines);
            Checked(d, [&] { b.AddMapVerts(mesh, 1, points.data(), points.size()); });
            continue;
        } else if (d.key == "*MESH_TFACELIST" && d.block) {
            ReadMapFaces(mesh, 1, n.mirrored);
            continue;
        } else if (d.key == "*MESH_MAPPINGCHANNEL" && d.block && Int(d, 0) == 2) {
            ReadMapChannel(mesh, 2, n.mirrored);
            continue;
        }
        Skip(d);
    }
    Checked(head, [&] { b.EndMesh(mesh); });
    return mesh;
}

std::vector<Point3> AseLoader::ReadPoints(const Directive&, const char* entryKey, std::vector<int>& lines)
{
    std::vector<Point3> points;
    Directive d;
    while (Next(d)) {
        if (d.key == entryKey) {
            Entry(d, points.size());
            points.push_back(Vec3(d, 1));
            lines.push_back(d.line);
        }
        Skip(d);
    }
    return points;
}

void AseLoader::ReadFaces(SceneMeshObject* mesh, bool mirrored)
{
    std::vector<Face> faces;
    std::vector<int> lines;
    Directive d;
    while (Next(d)) {
        if (d.key == "*MESH_FACE") {
            Entry(d, faces.size());
            // "7: A: 0 B: 2 C: 3 AB: 1 BC: 1 CA: 0", labels and values apart or joined.
            static const std::string_view kLabels[] = {"A", "B", "C", "AB", "BC", "CA"};
            static_assert(std::size(kLabels) == 6);
            int values[6] = {-1, -1, -1, 1, 1, 1};
            for (size_t i = 1; i < d.args.size(); i++) {
                std::string_view label = d.args[i], value;
                size_t colon = label.find(':');
                if (colon == std::string_view::npos)
                    Fail(d, "unexpected \"" + std::string(label) + "\"");
                value = label.substr(colon + 1);
                label = label.substr(0, colon);
                if (value.empty() && i + 1 < d.args.size())
                    value = d.args[++i];
                auto k = std::find(std::begin(kLabels), std::end(kLabels), label) - std::begin(kLabels);
                int v = -1;
                auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
                if (k == 6 || ec != std::errc() || end != value.data() + value.size() || v < 0)
                    Fail(d, "unexpected \"" + std::string(d.args[i]) + "\"");
                values[k] = v;
            }
            if (values[0] < 0 || values[1] < 0 || values[2] < 0)
                Fail(d, "expected the corners A, B and C");
            Face f;
            // A mirrored node's corners were written in reverse (C, B, A), each
            // edge flag with the corner it starts from.
            f.setVerts(values[mirrored ? 2 : 0], values[1], values[mirrored ? 0 : 2]);
            f.setEdgeVisFlags(values[mirrored ? 5 : 3], values[4], values[mirrored ? 3 : 5]);
            faces.push_back(f);
            lines.push_back(d.line);
        } else if (d.key == "*MESH_SMOOTHING" && !faces.empty()) {
            // Group numbers 1 to 32, separated by commas.
            DWORD groups = 0;
            for (std::string_view arg : d.args)
                for (size_t start = 0; start < arg.size();) {
                    size_t comma = std::min(arg.find(',', start), arg.size());
                    int g = 0;
                    auto [end, ec] = std::from_chars(arg.data() + start, arg.data() + comma, g);
                    if (comma > start && (ec != std::errc() || end != arg.data() + comma || g < 1 || g > 32))
                        Fail(d, "\"" + std::string(arg) + "\" is not a list of smoothing groups 1 to 32");
                    groups |= comma > start ? DWORD(1) << (g - 1) : 0;
                    start = comma + 1;
                }
            faces.back().smGroup = groups;
        } else if (d.key == "*MESH_MTLID" && !faces.empty()) {
            int id = Int(d, 0);
            if (id < 0 || id > 0xffff)
                Fail(d, "material id " + std::to_string(id) + " out of range (0 to 65535)");
            faces.back().setMatID(WORD(id));
        }
        Skip(d);
    }
    try {
        b.AddFaces(mesh, faces.data(), faces.size());
    } catch (const BuildError& e) {
        Fail(lines[e.item], "*MESH_FACE " + std::to_string(e.item), e.what());
    }
}

void AseLoader::ReadMapFaces(SceneMeshObject* mesh, int channel, bool mirrored)
{
    std::vector<TVFace> faces;
    std::vector<int> lines;
    Directive d;
    while (Next(d)) {
        if (d.key == "*MESH_TFACE") {
            Entry(d, faces.size());
            int a = Int(d, 1), bb = Int(d, 2), c = Int(d, 3);
            if (a < 0 || bb < 0 || c < 0)
                Fail(d, "negative texture vertex");
            if (mirrored)
                std::swap(a, c);
            faces.emplace_back(DWORD(a), DWORD(bb), DWORD(c));
            lines.push_back(d.line);
        }
        Skip(d);
    }
    try {
        b.AddMapFaces(mesh, channel, faces.data(), faces.size());
    } catch (const BuildError& e) {
        if (e.item == BuildError::kNone)
            Fail(d.line, "*MESH_TFACELIST", e.what());
        Fail(lines[e.item], "*MESH_TFACE " + std::to_string(e.item), e.what());
    }
}

void AseLoader::ReadMapChannel(SceneMeshObject* mesh, int channel, bool mirrored)
{
    Directive d;
    while (Next(d)) {
        if (d.key == "*MESH_TVERTLIST" && d.block) {
            std::vector<int> lines;
            std::vector<Point3> points = ReadPoints(d, "*MESH_TVERT", lines);
            Checked(d, [&] { b.AddMapVerts(mesh, channel, points.data(), points.size()); });
            continue;
        }
        if (d.key == "*MESH_TFACELIST" && d.block) {
            ReadMapFaces(mesh, channel, mirrored);
            continue;
        }
        Skip(d);
    }
}

// ---- animation ----

void AseLoader::ReadAnimation(Node& n)
{
    SceneNode* node = n.node;
    Directive d;
    while (Next(d)) {
        if (d.key == "*NODE_NAME") {
            std::string name = Text(d);
            if (name != n.name && !(n.target && name == n.target->name))
                Fail(d, "\"" + name + "\" is not this object's node or its target");
            node = name == n.name ? n.node : n.target;
        } else if (d.block && d.key.substr(0, 9) == "*CONTROL_") {
            ReadKeys(d, node);
            continue;
        }
        Skip(d);
    }
}

// The key tracks: block, key directive, controller class, rotation or position.
struct TrackKind {
    std::string_view block, key;
    KeyClass cls;
    bool rotation;
    bool sampled;
};

constexpr TrackKind kTracks[] = {
    {"*CONTROL_POS_TRACK", "*CONTROL_POS_SAMPLE", KeyClass::Linear, false, true},
    {"*CONTROL_ROT_TRACK", "*CONTROL_ROT_SAMPLE", KeyClass::Linear, true, true},
    {"*CONTROL_POS_LINEAR", "*CONTROL_POS_KEY", KeyClass::Linear, false, false},
    {"*CONTROL_ROT_LINEAR", "*CONTROL_ROT_KEY", KeyClass::Linear, true, false},
    {"*CONTROL_POS_TCB", "*CONTROL_TCB_POS_KEY", KeyClass::TCB, false, false},
    {"*CONTROL_ROT_TCB", "*CONTROL_TCB_ROT_KEY", KeyClass::TCB, true, false},
    {"*CONTROL_POS_BEZIER", "*CONTROL_BEZIER_POS_KEY", KeyClass::Bezier, false, false},
    {"*CONTROL_ROT_BEZIER", "*CONTROL_BEZIER_ROT_KEY", KeyClass::Bezier, true, false},
};
static_assert(std::size(kTracks) == 8);

void AseLoader::ReadKeys(const Directive& head, SceneNode* node)
{
    auto kind =
        std::find_if(std::begin(kTracks), std::end(kTracks), [&](const TrackKind& k) { return k.block == head.key; });
    if (kind == std::end(kTracks))
        return Skip(head); // scale tracks and the like
    KeyframeControl* ctrl = b.SetController(node, kind->rotation, kind->cls);
    Directive d;
    while (Next(d)) {
        if (d.key != kind->key) {
            Skip(d);
            continue;
        }
        TimeValue t = Int(d, 0);
        if (!kind->rotation) {
            Point3 p = Vec3(d, 1);
            Checked(d, [&] { b.AddPositionKey(ctrl, t, p); });
            continue;
        }
        AngAxis turn(Vec3(d, 1), Float(d, 4));
        Checked(d, [&] {
            if (kind->cls == KeyClass::TCB)
                return b.AddRelativeRotationKey(ctrl, t, turn);
            // Samples hold the turn since the previous sample; keys the rotation itself.
            Quat q(turn);
            if (kind->sampled && !ctrl->absolute.empty()) {
                q = ctrl->absolute.back() * q;
                q.Normalize();
            }
            b.AddRotationKey(ctrl, t, q);
        });
    }
}

// ---- the file ----

std::unique_ptr<Scene> AseLoader::Load()
{
    static const std::string_view kObjects[] = {"*GEOMOBJECT", "*HELPEROBJECT", "*SHAPEOBJECT", "*CAMERAOBJECT",
                                                "*LIGHTOBJECT"};
    static_assert(std::size(kObjects) == 5);
    Directive d;
    // Groups are dummies whose objects follow inside their block, each naming its
    // parent; they nest without recursion.
    std::vector<SceneNode*> groups;
    for (;;) {
        if (!Next(d, true)) {
            if (atEnd)
                break;
            if (groups.empty())
                Fail(lex.Line(), "\"}\"", "closes no block");
            groups.pop_back();
            continue;
        }
        if (d.key == "*GROUP" && d.block) {
            SceneNode* group = Checked(d, [&] { return b.AddNode(groups.empty() ? nullptr : groups.back(), Text(d)); });
            b.SetObject(group, b.AddObject(PlainObject::Dummy));
            nodes.insert_or_assign(group->name, group);
            worldTM[group] = Matrix3();
            groups.push_back(group);
        } else if (d.key == "*SCENE" && d.block)
            ReadScene();
        else if (d.key == "*MATERIAL_LIST" && d.block)
            ReadMaterialList();
        else if (std::find(std::begin(kObjects), std::end(kObjects), d.key) != std::end(kObjects) && d.block)
            ReadObject(d);
        else
            Skip(d);
    }
    // The ASCII export records no selection.
    b.SetNoSelection();
    return b.Finish();
}

} // namespace

std::unique_ptr<Scene> LoadAse(std::string_view text, const std::string& fileName)
{
    return AseLoader(text, fileName).Load();
}

std::unique_ptr<Scene> LoadAseFile(simdjson::padded_string_view bytes, const std::string& fileName, const TextRead&)
{
    std::string converted;
    return LoadAse(DecodeSceneText(std::string_view(bytes.data(), bytes.size()), converted), fileName);
}

} // namespace vek
