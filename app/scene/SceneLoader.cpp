// The JSON scene description: its schema, read into a SceneBuilder.
//
// The loader is strict: unknown keys, wrong types, dangling references and
// out-of-range numbers are errors, so that a typo never silently changes the
// scene. Choices made here:
// - Key times (animated numbers and controllers) must strictly increase; keys
//   out of order or at the same time are an error rather than being reordered.
// - Integers may be written as 2 or 2.0; a fractional value or one outside the
//   field's range is an error.
// - Real numbers are stored as float; a value that is not finite as a float
//   (1e39, say) is an error.
// - Sub-material references may not form a cycle (a material containing itself
//   directly or through others), since nothing could walk such a material tree.
#include "JsonErrors.h"
#include "JsonReader.h"
#include "MeshStream.h"
#include "SceneFormats.h"

#include <map>

namespace vek {

namespace {

constexpr const char* kFormat = "vek-scene/1";

class Loader : JsonReader {
public:
    explicit Loader(const std::string& fileName) : JsonReader(fileName) {}

    std::unique_ptr<Scene> Load(std::string_view text);
    // The same scene read in one pass without a document tree for the meshes, or
    // null when the file needs the strict reading of Load: any fault, and anything
    // out of the usual layout (top-level keys out of their order, a mesh the
    // streaming reader does not take). The loader is spent either way.
    std::unique_ptr<Scene> Stream(simdjson::padded_string_view text, const TextRead& read);

private:
    SceneBuilder b;
    std::map<std::string, Texmap*> texmaps;
    std::map<std::string, SceneMtl*> materials;
    std::map<std::string, Object*> objects;

    // A plain value or {"keys": [{"t": ticks, "value": v}, ...]}.
    template <class T, class Parse> Track<T> ParseTrack(const At& v, Parse parse) const;
    FloatTrack Floats(const At& v) const;
    ColorTrack Colors(const At& v) const;
    void OptTrack(const At& obj, const char* key, FloatTrack& track) const
    {
        if (auto v = Find(obj, key))
            track = Floats(*v);
    }

    // A rotation {"axis", "angle"} (right-handed) or {"quat"} in the host
    // convention; *rel receives it as the host's AngAxis.
    Quat Rotation(const At& v, AngAxis* rel = nullptr) const;
    TransformParts Transform(const At& v) const;

    void ParseInterface(const At& v);
    void ParseTexmaps(const At& v);
    void ParseMaterials(const At& v);
    void ParseSubMaterials(const At& v);
    void ParseObjects(const At& v);
    void StreamObjects(simdjson::ondemand::value v, const TextRead& read);
    Object* ParseObject(const At& v);
    Object* ParseLight(const At& v);
    SceneMeshObject* ParseMesh(const At& v);
    void ParseFaces(const At& v, SceneMeshObject* mesh);
    // Map channel 1 (texture vertices and faces) or 2; at least one of them is given.
    void ParseMapChannel(const std::optional<At>& verts, const std::optional<At>& faces, SceneMeshObject* mesh,
                         int channel);
    void ParseController(const At& v, SceneNode* node, bool rotation);
    // The nodes of array v under parent (null: the root).
    void ParseNodes(const At& v, SceneNode* parent);
    void ParseNode(const At& v, SceneNode* node);
};

// ---- values ----

template <class T, class Parse> Track<T> Loader::ParseTrack(const At& v, Parse parse) const
{
    if (!v.j.is_object())
        return Track<T>(parse(v));
    Keys(v, {"keys"});
    At keys = Required(v, "keys");
    if (Array(keys).empty())
        Fail(keys.path, "needs at least one key");
    Track<T> track;
    for (size_t i = 0; i < keys.j.size(); i++) {
        At key = keys[i];
        Keys(key, {"t", "value"});
        At t = Required(key, "t");
        TimeValue time = Int(t);
        T value = parse(Required(key, "value"));
        Checked(t.path, [&] { SceneBuilder::AddKey(track, time, value); });
    }
    return track;
}

FloatTrack Loader::Floats(const At& v) const
{
    if (!v.j.is_number() && !v.j.is_object())
        WrongType(v, "a number or keys");
    return ParseTrack<float>(v, [this](const At& x) { return Float(x); });
}

ColorTrack Loader::Colors(const At& v) const
{
    if (!v.j.is_array() && !v.j.is_object())
        WrongType(v, "[r, g, b] or keys");
    return ParseTrack<Point3>(v, [this](const At& x) { return Vec3(x); });
}

Quat Loader::Rotation(const At& v, AngAxis* rel) const
{
    if (!v.j.is_object())
        WrongType(v, "a rotation object");
    if (v.j.contains("quat")) {
        Keys(v, {"quat"});
        At qv = v["quat"];
        const json& a = Array(qv);
        if (a.size() != 4)
            Fail(qv.path, "expected 4 numbers, got " + std::to_string(a.size()));
        double c[4];
        double norm = 0.0;
        for (size_t i = 0; i < 4; i++) {
            c[i] = Float(qv[i]);
            norm += c[i] * c[i];
        }
        norm = std::sqrt(norm);
        if (norm == 0.0)
            Fail(qv.path, "zero quaternion");
        Quat q(c[0] / norm, c[1] / norm, c[2] / norm, c[3] / norm);
        if (rel)
            *rel = AngAxis(q);
        return q;
    }
    Keys(v, {"axis", "angle"});
    At axisAt = Required(v, "axis");
    Point3 axis = Vec3(axisAt);
    float angle = Float(Required(v, "angle"));
    double len = std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
    if (len == 0.0)
        Fail(axisAt.path, "zero rotation axis");
    axis = Point3(axis.x / len, axis.y / len, axis.z / len);
    // The host's quaternions turn the other way: a right-handed turn by `angle`
    // is the host rotation by -angle.
    AngAxis aa(axis, -angle);
    if (rel)
        *rel = aa;
    return Quat(aa);
}

TransformParts Loader::Transform(const At& v) const
{
    TransformParts parts;
    if (!v.j.is_object())
        WrongType(v, "a transform object");
    if (v.j.contains("matrix")) {
        Keys(v, {"matrix"});
        At m = v["matrix"];
        if (Array(m).size() != 4)
            Fail(m.path, "expected 4 rows, got " + std::to_string(m.j.size()));
        for (size_t i = 0; i < 4; i++)
            parts.matrix.SetRow(int(i), Vec3(m[i]));
        return parts;
    }
    Keys(v, {"position", "rotation", "scale"});
    Point3 scale(1.0f, 1.0f, 1.0f);
    if (auto s = Find(v, "scale"))
        scale = Vec3(*s);
    if (auto p = Find(v, "position"))
        parts.translation = Vec3(*p);
    if (auto r = Find(v, "rotation"))
        parts.rotation = Rotation(*r);
    parts.stretch = ScaleMatrix(scale);
    Matrix3 r;
    parts.rotation.MakeMatrix(r);
    parts.matrix = parts.stretch * r * TransMatrix(parts.translation);
    return parts;
}

// ---- the interface block ----

void Loader::ParseInterface(const At& v)
{
    Keys(v, {"ticksPerFrame", "time", "animRange", "renderWidth", "renderHeight", "ambient", "atmosphereRendered",
             "atmosphereCount"});
    if (auto t = Find(v, "ticksPerFrame"))
        b.SetTicksPerFrame(int(Integer(*t, 1, kIntMax)));
    b.SetTime(OptInt(v, "time", 0));
    if (auto r = Find(v, "animRange")) {
        if (Array(*r).size() != 2)
            Fail(r->path, "expected [start, end]");
        TimeValue start = Int((*r)[size_t(0)]), end = Int((*r)[1]);
        Checked(r->path, [&] { b.SetAnimRange(start, end); });
    }
    int width = 640, height = 480;
    if (auto w = Find(v, "renderWidth"))
        width = int(Integer(*w, 1, kIntMax));
    if (auto h = Find(v, "renderHeight"))
        height = int(Integer(*h, 1, kIntMax));
    b.SetRenderSize(width, height);
    if (auto a = Find(v, "ambient"))
        b.SetAmbient(Colors(*a));
    int count = 0;
    if (auto n = Find(v, "atmosphereCount"))
        count = int(Integer(*n, 0, kIntMax));
    b.SetAtmosphere(OptBool(v, "atmosphereRendered", false), count);
}

// ---- texture maps and materials ----

void Loader::ParseTexmaps(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of texture maps");
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        At t{*it, JsonKey(v.path, it.key())};
        Keys(t, {"class", "file"});
        std::string cls = String(Required(t, "class"));
        auto image = Find(t, "file");
        if (cls == "bitmap")
            texmaps[it.key()] = b.AddBitmapTex(it.key(), image ? std::optional(String(*image)) : std::nullopt);
        else if (cls != "other")
            Fail(JsonKey(t.path, "class"), "unknown texture map class " + Quoted(cls) + " (bitmap or other)");
        else if (image)
            Fail(image->path, "only bitmap texture maps have a file");
        else
            texmaps[it.key()] = b.AddOtherTex(it.key());
    }
}

void Loader::ParseMaterials(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of materials");
    static const char* const kClasses[] = {"standard", "multi", "blend", "other"};
    static_assert(std::size(kClasses) == size_t(SceneMtl::Kind::Other) + 1);
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        At m{*it, JsonKey(v.path, it.key())};
        Keys(m, {"class", "name", "diffuse", "transparency", "twoSided", "diffuseMap", "sub", "mix"});
        MaterialSettings settings;
        std::string cls = "standard";
        if (auto c = Find(m, "class"))
            cls = String(*c);
        auto kind = std::find(std::begin(kClasses), std::end(kClasses), cls);
        if (kind == std::end(kClasses))
            Fail(JsonKey(m.path, "class"),
                 "unknown material class " + Quoted(cls) + " (standard, multi, blend or other)");
        settings.kind = SceneMtl::Kind(kind - std::begin(kClasses));
        settings.name = it.key();
        if (auto n = Find(m, "name"))
            settings.name = String(*n);
        if (auto d = Find(m, "diffuse"))
            settings.diffuse = Color(Vec3(*d));
        settings.transparency = OptFloat(m, "transparency", 0.0f);
        auto twoSided = Find(m, "twoSided");
        if (twoSided)
            settings.twoSided = Bool(*twoSided);
        if (auto dm = Find(m, "diffuseMap"); dm && !dm->j.is_null()) {
            std::string id = String(*dm);
            auto found = texmaps.find(id);
            if (found == texmaps.end())
                Fail(dm->path, "unknown texture map " + Quoted(id));
            settings.diffuseMap = found->second;
        }
        auto mix = Find(m, "mix");
        if (mix && settings.kind != SceneMtl::Kind::Blend)
            Fail(mix->path, "only blend materials have a mix amount");
        if (mix)
            settings.mix = mix->j.is_null() ? std::nullopt : std::optional(Floats(*mix));
        if (twoSided && settings.kind != SceneMtl::Kind::Standard)
            Fail(twoSided->path, "only standard materials are two-sided");
        materials[it.key()] = b.AddMaterial(settings);
    }
    ParseSubMaterials(v);
}

void Loader::ParseSubMaterials(const At& v)
{
    // Sub-materials may name materials defined later in the table, so they are
    // resolved once every material exists.
    std::vector<std::string> order;
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        order.push_back(it.key());
        auto sub = Find(At{*it, JsonKey(v.path, it.key())}, "sub");
        if (!sub)
            continue;
        std::vector<Mtl*> subs;
        for (size_t i = 0; i < Array(*sub).size(); i++) {
            At slot = (*sub)[i];
            if (slot.j.is_null()) {
                subs.push_back(nullptr);
                continue;
            }
            std::string id = String(slot);
            auto found = materials.find(id);
            if (found == materials.end())
                Fail(slot.path, "unknown material " + Quoted(id));
            subs.push_back(found->second);
        }
        Checked(sub->path, [&] { b.SetSubMaterials(materials[it.key()], std::move(subs)); });
    }
    try {
        b.CheckMaterialCycles();
    } catch (const BuildError& e) {
        Fail(JsonIndex(JsonKey(JsonKey(v.path, order[e.item]), "sub"), size_t(e.part)), e.what());
    }
}

// ---- objects ----

void Loader::ParseObjects(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of objects");
    for (auto it = v.j.begin(); it != v.j.end(); ++it)
        objects[it.key()] = ParseObject(At{*it, JsonKey(v.path, it.key())});
}

Object* Loader::ParseObject(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object");
    At typeAt = Required(v, "type");
    std::string type = String(typeAt);
    if (type == "mesh") {
        Keys(v, {"type", "verts", "faces", "tverts", "tvfaces", "map2"});
        return ParseMesh(v);
    }
    if (type == "box") {
        Keys(v, {"type", "length", "width", "height"});
        return b.AddBox(OptFloat(v, "length", 10.0f), OptFloat(v, "width", 10.0f), OptFloat(v, "height", 10.0f));
    }
    if (type == "plane") {
        Keys(v, {"type", "length", "width", "lengthSegs", "widthSegs"});
        int segs[2] = {1, 1};
        const char* keys[2] = {"lengthSegs", "widthSegs"};
        for (int k = 0; k < 2; k++)
            if (auto s = Find(v, keys[k]))
                segs[k] = int(Integer(*s, 1, kMaxPlaneQuads));
        return Checked(v.path, [&] {
            return b.AddPlane(OptFloat(v, "length", 100.0f), OptFloat(v, "width", 100.0f), segs[0], segs[1]);
        });
    }
    if (type == "camera") {
        Keys(v, {"type", "fov", "manualClip", "near", "far", "envNear", "envFar"});
        CameraSettings cam;
        OptTrack(v, "fov", cam.fov);
        cam.manualClip = OptBool(v, "manualClip", false);
        OptTrack(v, "near", cam.nearClip);
        OptTrack(v, "far", cam.farClip);
        OptTrack(v, "envNear", cam.envNear);
        OptTrack(v, "envFar", cam.envFar);
        return b.AddCamera(cam);
    }
    if (type == "light")
        return ParseLight(v);
    Keys(v, {"type"});
    static const std::pair<const char*, PlainObject> kPlain[] = {
        {"geometry", PlainObject::Geometry}, {"shape", PlainObject::Shape},   {"dummy", PlainObject::Dummy},
        {"bone", PlainObject::Bone},         {"helper", PlainObject::Helper}, {"target", PlainObject::Target}};
    static_assert(std::size(kPlain) == 6);
    for (const auto& [name, kind] : kPlain)
        if (type == name)
            return b.AddObject(kind);
    Fail(typeAt.path, "unknown object type " + Quoted(type));
}

Object* Loader::ParseLight(const At& v)
{
    Keys(v, {"type", "kind", "on", "color", "falloffDeg", "attenEnd", "useAtten", "intensity", "decay"});
    LightSettings light;
    if (auto k = Find(v, "kind")) {
        static const char* const kinds[] = {"omni", "targetSpot", "directional", "freeSpot", "targetDirectional"};
        static_assert(std::size(kinds) == 5);
        std::string kind = String(*k);
        auto found = std::find(std::begin(kinds), std::end(kinds), kind);
        if (found == std::end(kinds))
            Fail(k->path, "unknown light kind " + Quoted(kind) +
                              " (omni, targetSpot, directional, freeSpot or targetDirectional)");
        light.type = int(found - std::begin(kinds));
    }
    light.on = OptBool(v, "on", true);
    if (auto c = Find(v, "color"))
        light.color = Colors(*c);
    OptTrack(v, "falloffDeg", light.falloffDeg);
    OptTrack(v, "attenEnd", light.attenEnd);
    light.useAtten = OptBool(v, "useAtten", false);
    OptTrack(v, "intensity", light.intensity);
    if (auto d = Find(v, "decay")) {
        static const char* const decays[] = {"none", "inverse", "inverseSquare"};
        static_assert(std::size(decays) == DECAY_INVSQ + 1);
        std::string decay = String(*d);
        auto found = std::find(std::begin(decays), std::end(decays), decay);
        if (found == std::end(decays))
            Fail(d->path, "unknown decay " + Quoted(decay) + " (none, inverse or inverseSquare)");
        light.decay = int(found - std::begin(decays));
    }
    return b.AddLight(light);
}

SceneMeshObject* Loader::ParseMesh(const At& v)
{
    auto verts = Find(v, "verts");
    auto faces = Find(v, "faces");
    SceneMeshObject* mesh = b.AddMesh(verts ? Array(*verts).size() : 0, faces ? Array(*faces).size() : 0);
    if (verts) {
        std::vector<Point3> points;
        for (size_t i = 0; i < verts->j.size(); i++)
            points.push_back(Vec3((*verts)[i]));
        Checked(verts->path, [&] { b.AddVerts(mesh, points.data(), points.size()); });
    }
    if (faces)
        ParseFaces(*faces, mesh);
    auto tverts = Find(v, "tverts");
    auto tvfaces = Find(v, "tvfaces");
    if (tverts || tvfaces)
        ParseMapChannel(tverts, tvfaces, mesh, 1);
    if (auto map2 = Find(v, "map2")) {
        Keys(*map2, {"verts", "faces"});
        auto mfaces = Find(*map2, "faces");
        if (!mfaces && faces && !faces->j.empty())
            Fail(JsonKey(map2->path, "faces"), "required field missing");
        ParseMapChannel(Find(*map2, "verts"), mfaces, mesh, 2);
    }
    try {
        b.EndMesh(mesh);
    } catch (const BuildError& e) {
        Fail(JsonKey(v.path, e.part == 1 ? "tvfaces" : "map2.faces"), e.what());
    }
    return mesh;
}

void Loader::ParseFaces(const At& v, SceneMeshObject* mesh)
{
    std::vector<Face> faces;
    faces.reserve(Array(v).size());
    for (size_t i = 0; i < v.j.size(); i++) {
        At f = v[i];
        Face face;
        face.flags = EDGE_ALL;
        if (f.j.is_object()) {
            Keys(f, {"v", "edges", "mtl", "smooth"});
            if (auto e = Find(f, "edges"))
                face.flags = DWORD(Integer(*e, 0, EDGE_ALL));
            if (auto m = Find(f, "mtl"))
                face.setMatID(WORD(Integer(*m, 0, 0xffff)));
            if (auto s = Find(f, "smooth"))
                face.smGroup = DWORD(Integer(*s, 0, 0xffffffffLL));
        } else if (!f.j.is_array()) {
            WrongType(f, "[a, b, c] or a face object");
        }
        const At corners = f.j.is_object() ? Required(f, "v") : f;
        if (Array(corners).size() != 3)
            Fail(corners.path, "expected 3 vertex indices, got " + std::to_string(corners.j.size()));
        for (size_t c = 0; c < 3; c++)
            face.v[c] = DWORD(Integer(corners[c], 0, kIntMax));
        faces.push_back(face);
    }
    try {
        b.AddFaces(mesh, faces.data(), faces.size());
    } catch (const BuildError& e) {
        At f = v[e.item];
        Fail(JsonIndex(f.j.is_object() ? JsonKey(f.path, "v") : f.path, size_t(e.part)), e.what());
    }
}

void Loader::ParseMapChannel(const std::optional<At>& verts, const std::optional<At>& faces, SceneMeshObject* mesh,
                             int channel)
{
    std::vector<UVVert> points;
    if (verts)
        for (size_t i = 0; i < Array(*verts).size(); i++)
            points.push_back(Vec3((*verts)[i]));
    Checked(verts ? verts->path : faces->path, [&] { b.AddMapVerts(mesh, channel, points.data(), points.size()); });
    if (!faces)
        return;
    std::vector<TVFace> corners;
    for (size_t i = 0; i < Array(*faces).size(); i++) {
        At f = (*faces)[i];
        if (Array(f).size() != 3)
            Fail(f.path, "expected 3 vertex indices, got " + std::to_string(f.j.size()));
        corners.emplace_back(DWORD(Integer(f[size_t(0)], 0, kIntMax)), DWORD(Integer(f[1], 0, kIntMax)),
                             DWORD(Integer(f[2], 0, kIntMax)));
    }
    try {
        b.AddMapFaces(mesh, channel, corners.data(), corners.size());
    } catch (const BuildError& e) {
        Fail(e.item == BuildError::kNone ? faces->path : JsonIndex(JsonIndex(faces->path, e.item), size_t(e.part)),
             e.what());
    }
}

// ---- controllers and nodes ----

void Loader::ParseController(const At& v, SceneNode* node, bool rotation)
{
    Keys(v, {"class", "keys"});
    At clsAt = Required(v, "class");
    static const char* const kClasses[] = {"tcb", "bezier", "linear", "other"};
    static_assert(std::size(kClasses) == size_t(KeyClass::Other) + 1);
    std::string cls = String(clsAt);
    auto found = std::find(std::begin(kClasses), std::end(kClasses), cls);
    if (found == std::end(kClasses))
        Fail(clsAt.path, "unknown controller class " + Quoted(cls) + " (tcb, bezier, linear or other)");
    KeyClass kc = KeyClass(found - std::begin(kClasses));
    KeyframeControl* ctrl = b.SetController(node, rotation, kc);
    auto keys = Find(v, "keys");
    if (!keys)
        return;
    for (size_t i = 0; i < Array(*keys).size(); i++) {
        At key = (*keys)[i];
        Keys(key, {"t", "value"});
        At t = Required(key, "t");
        TimeValue time = Int(t);
        At value = Required(key, "value");
        if (!rotation) {
            Point3 p = Vec3(value);
            Checked(t.path, [&] { b.AddPositionKey(ctrl, time, p); });
            continue;
        }
        AngAxis turn;
        Quat q = Rotation(value, &turn);
        // TCB keys hold the turn since the previous key.
        Checked(t.path, [&] {
            if (kc == KeyClass::TCB)
                b.AddRelativeRotationKey(ctrl, time, turn);
            else
                b.AddRotationKey(ctrl, time, q);
        });
    }
}

void Loader::ParseNodes(const At& v, SceneNode* parent)
{
    // Depth-first without recursion, children in order: a node's place in the
    // document is its parent's path with ".children[i]".
    struct Pending {
        At list;
        SceneNode* parent;
        size_t next;
    };
    std::vector<Pending> stack{{v, parent, 0}};
    Array(v);
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next >= top.list.j.size()) {
            stack.pop_back();
            continue;
        }
        At n = top.list[top.next++];
        SceneNode* node = Checked(n.path, [&] { return b.AddNode(top.parent, ""); });
        ParseNode(n, node);
        if (auto c = Find(n, "children")) {
            Array(*c);
            stack.push_back({*c, node, 0});
        }
    }
}

void Loader::ParseNode(const At& v, SceneNode* node)
{
    Keys(v, {"name", "object", "material", "wireColor", "selected", "transform", "objectOffset", "position", "rotation",
             "children"});
    if (auto n = Find(v, "name"))
        node->name = String(*n);
    if (auto o = Find(v, "object"); o && !o->j.is_null()) {
        std::string id = String(*o);
        auto found = objects.find(id);
        if (found == objects.end())
            Fail(o->path, "unknown object " + Quoted(id));
        b.SetObject(node, found->second);
    }
    if (auto m = Find(v, "material"); m && !m->j.is_null()) {
        std::string id = String(*m);
        auto found = materials.find(id);
        if (found == materials.end())
            Fail(m->path, "unknown material " + Quoted(id));
        b.SetMaterial(node, found->second);
    }
    if (auto w = Find(v, "wireColor")) {
        if (Array(*w).size() != 3)
            Fail(w->path, "expected [r, g, b]");
        int rgb[3];
        for (size_t i = 0; i < 3; i++)
            rgb[i] = int(Integer((*w)[i], 0, 255));
        b.SetWireColor(node, RGB(rgb[0], rgb[1], rgb[2]));
    }
    b.SetSelected(node, OptInt(v, "selected", 0));
    if (auto p = Find(v, "position"))
        ParseController(*p, node, false);
    if (auto r = Find(v, "rotation"))
        ParseController(*r, node, true);
    if (auto t = Find(v, "transform")) {
        TransformParts parts = Transform(*t);
        Checked(t->path, [&] {
            if (t->j.contains("matrix"))
                b.SetTransform(node, parts.matrix);
            else
                b.SetTransform(node, parts);
        });
    }
    if (auto o = Find(v, "objectOffset")) {
        Matrix3 offset = Transform(*o).matrix;
        Checked(o->path, [&] { b.SetObjectOffset(node, offset); });
    }
}

namespace od = simdjson::ondemand;

// The text of an object or array, for the strict reading of the small parts.
std::string_view RawJson(od::value v)
{
    od::json_type type = Take(v.type());
    if (type == od::json_type::object)
        return Take(Take(v.get_object()).raw_json());
    if (type == od::json_type::array)
        return Take(Take(v.get_array()).raw_json());
    throw NotStreamed{};
}

void Loader::StreamObjects(od::value v, const TextRead& read)
{
    for (auto field : Take(v.get_object())) {
        od::field f = Take(std::move(field));
        std::string id(Take(f.unescaped_key()));
        if (objects.count(id))
            throw NotStreamed{}; // a repeated ID: the strict reader keeps the last
        od::object o = Take(f.value().get_object());
        std::string_view type = Take(Take(o.find_field_unordered("type")).get_string());
        Take(o.reset());
        if (type == "mesh") {
            objects[id] = StreamMesh(o, b, read);
        } else {
            json j = json::parse(Take(o.raw_json()));
            objects[id] = ParseObject(At{j, JsonKey("objects", id)});
        }
    }
}

std::unique_ptr<Scene> Loader::Stream(simdjson::padded_string_view text, const TextRead& read)
{
    // The top-level keys in the order the strict reader takes them, "format" first:
    // each part refers only to those before it.
    static constexpr std::string_view KEYS[] = {"format", "interface", "texmaps", "materials", "objects", "nodes"};
    static_assert(std::size(KEYS) == 6);
    try {
        od::parser parser;
        od::document doc = Take(parser.iterate(text));
        int last = -1;
        for (auto field : Take(doc.get_object())) {
            od::field f = Take(std::move(field));
            std::string_view key = Take(f.unescaped_key());
            int k = 0;
            while (k < int(std::size(KEYS)) && KEYS[k] != key)
                k++;
            if (k == int(std::size(KEYS)) || k <= last || (last < 0 && k != 0))
                return nullptr;
            last = k;
            if (key == "format") {
                if (Take(f.value().get_string()) != kFormat)
                    return nullptr;
            } else if (key == "objects") {
                StreamObjects(f.value(), read);
            } else {
                json j = json::parse(RawJson(f.value()));
                At part{j, std::string(key)};
                if (k == 1)
                    ParseInterface(part);
                else if (k == 2)
                    ParseTexmaps(part);
                else if (k == 3)
                    ParseMaterials(part);
                else
                    ParseNodes(part, nullptr);
            }
        }
        // Anything after the top-level object is left to the strict reader's refusal.
        const char* rest = nullptr;
        if (last < 0 || !doc.current_location().get(rest))
            return nullptr;
        return b.Finish();
    } catch (const NotStreamed&) {
    } catch (const SceneError&) {
    } catch (const json::exception&) {
    } catch (const BuildError&) {
    }
    return nullptr;
}

std::unique_ptr<Scene> Loader::Load(std::string_view text)
{
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception&) {
        // The parser's own message speaks of its internals; say it in the file's terms.
        std::string fault = DescribeJsonSyntaxError(text);
        throw SceneError(file + ": " + (fault.empty() ? "invalid JSON" : fault));
    }
    At top{doc, ""};
    Keys(top, {"format", "interface", "texmaps", "materials", "objects", "nodes"});
    At format = Required(top, "format");
    if (String(format) != kFormat)
        Fail(format.path,
             "unsupported format " + Quoted(format.j.get<std::string>()) + " (expected " + Quoted(kFormat) + ")");
    if (auto i = Find(top, "interface"))
        ParseInterface(*i);
    if (auto t = Find(top, "texmaps"))
        ParseTexmaps(*t);
    if (auto m = Find(top, "materials"))
        ParseMaterials(*m);
    if (auto o = Find(top, "objects"))
        ParseObjects(*o);
    if (auto n = Find(top, "nodes"))
        ParseNodes(*n, nullptr);
    return b.Finish();
}

} // namespace

std::unique_ptr<Scene> LoadSceneJson(const std::string& text, const std::string& fileName)
{
    return LoadSceneJson(simdjson::padded_string(text), fileName);
}

std::unique_ptr<Scene> LoadSceneJson(simdjson::padded_string_view text, const std::string& fileName,
                                     const TextRead& read)
{
    // One streaming pass reads the usual file; a file it does not take (a fault, an
    // unusual layout) is read again by the strict reader, which names the fault.
    try {
        if (auto scene = Loader(fileName).Stream(text, read))
            return scene;
        return Loader(fileName).Load(std::string_view(text));
    } catch (const json::exception& e) {
        // Every value is checked before it is read; this is a last line of defence.
        throw SceneError(fileName + ": " + e.what());
    }
}

// Whether text is a scene description rather than some other JSON (a glTF file, say):
// a top-level object with a "format" string "vek-scene/...", found without reading
// the rest.
bool IsSceneDescription(simdjson::padded_string_view text)
{
    od::parser parser;
    od::document doc;
    od::object top;
    std::string_view format;
    if (parser.iterate(text).get(doc) || doc.get_object().get(top) ||
        top.find_field_unordered("format").get_string().get(format))
        return false;
    return format.substr(0, 10) == "vek-scene/";
}

} // namespace vek
