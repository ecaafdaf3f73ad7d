// The JSON scene loader: reads a scene description into a Scene.
//
// Every problem throws SceneError "FILE: PATH: what", PATH naming the place in
// the document (nodes[0].children[2].object). The loader is strict: unknown keys,
// wrong types, dangling references and out-of-range numbers are errors, so that a
// typo never silently changes the scene. Choices made here:
// - Key times (animated numbers and controllers) must strictly increase; keys
//   out of order or at the same time are an error rather than being reordered.
// - Integers may be written as 2 or 2.0; a fractional value or one outside the
//   field's range is an error.
// - Real numbers are stored as float; a value that is not finite as a float
//   (1e39, say) is an error.
// - Nodes may nest at most kMaxNodeDepth levels; a plane has at most
//   kMaxPlaneQuads quads.
// - Sub-material references may not form a cycle (a material containing itself
//   directly or through others), since nothing could walk such a material tree.
#include "JsonErrors.h"
#include "SceneModel.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <cerrno>
#include <cstring>

namespace vek {

namespace {

using json = nlohmann::json;

constexpr const char* kFormat = "vek-scene/1";
constexpr int kMaxNodeDepth = 1000;
constexpr int64_t kMaxPlaneQuads = 4000000;
constexpr int64_t kIntMin = std::numeric_limits<int>::min();
constexpr int64_t kIntMax = std::numeric_limits<int>::max();

std::string Key(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }
std::string Index(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A JSON value together with its place in the document.
struct At {
    const json& j;
    std::string path;

    At operator[](const char* key) const { return {j.at(key), Key(path, key)}; }
    At operator[](size_t i) const { return {j.at(i), Index(path, i)}; }
};

class Loader {
public:
    explicit Loader(const std::string& fileName) : file(fileName) {}

    std::unique_ptr<Scene> Load(const std::string& text);

private:
    const std::string& file;
    std::unique_ptr<Scene> scene;
    std::map<std::string, Texmap*> texmaps;
    std::map<std::string, Mtl*> materials;
    std::map<std::string, Object*> objects;

    [[noreturn]] void Fail(const std::string& path, const std::string& what) const
    {
        throw SceneError(file + ": " + (path.empty() ? "top level" : ShortJsonPath(path)) + ": " + what);
    }
    [[noreturn]] void WrongType(const At& v, const char* expected) const
    {
        Fail(v.path, std::string("expected ") + expected + ", got " + v.j.type_name());
    }

    // ---- basic values ----

    // Checks that v is an object whose keys are all in `allowed`.
    void Keys(const At& v, std::initializer_list<const char*> allowed) const;
    // The member `key` of object v, or null when absent.
    std::optional<At> Find(const At& v, const char* key) const;
    At Required(const At& v, const char* key) const;
    const json& Array(const At& v) const;
    std::string String(const At& v) const;
    bool Bool(const At& v) const;
    float Float(const At& v) const;
    int64_t Integer(const At& v, int64_t lo, int64_t hi) const;
    int Int(const At& v) const { return int(Integer(v, kIntMin, kIntMax)); }
    Point3 Vec3(const At& v) const;
    Point3 Color3(const At& v) const { return Vec3(v); }

    float OptFloat(const At& obj, const char* key, float dflt) const
    {
        auto v = Find(obj, key);
        return v ? Float(*v) : dflt;
    }
    bool OptBool(const At& obj, const char* key, bool dflt) const
    {
        auto v = Find(obj, key);
        return v ? Bool(*v) : dflt;
    }
    int OptInt(const At& obj, const char* key, int dflt) const
    {
        auto v = Find(obj, key);
        return v ? Int(*v) : dflt;
    }

    // Key times of a keyed value: integers, strictly increasing.
    TimeValue KeyTime(const At& key, const std::vector<TimeValue>& before) const;
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
    TransformParts Transform(const At& v, bool decompose) const;

    // ---- tables ----

    void ParseInterface(const At& v);
    void ParseTexmaps(const At& v);
    void ParseMaterials(const At& v);
    void CheckMaterialCycles(const std::map<std::string, std::vector<std::string>>& subIds) const;
    void ParseObjects(const At& v);
    std::unique_ptr<::Object> ParseObject(const At& v) const;
    void ParseMesh(const At& v, Mesh& mesh) const;
    void ParseFaces(const At& v, std::vector<Face>& faces, int numVerts) const;
    std::vector<TVFace> ParseTVFaces(const At& v, size_t faceCount, int numVerts, const char* what) const;
    std::unique_ptr<KeyframeControl> Controller(const At& v, bool rotation) const;
    void ParseNodes(const At& v, SceneNode& parent, int depth);
    void ParseNode(const At& v, SceneNode& node, int depth);
};

// ---- basic values ----

void Loader::Keys(const At& v, std::initializer_list<const char*> allowed) const
{
    if (!v.j.is_object())
        WrongType(v, "an object");
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        bool known = false;
        for (const char* k : allowed)
            known = known || it.key() == k;
        if (!known)
            Fail(Key(v.path, it.key()), "unknown key");
    }
}

std::optional<At> Loader::Find(const At& v, const char* key) const
{
    auto it = v.j.find(key);
    if (it == v.j.end())
        return std::nullopt;
    return At{*it, Key(v.path, key)};
}

At Loader::Required(const At& v, const char* key) const
{
    auto f = Find(v, key);
    if (!f)
        Fail(Key(v.path, key), "required field missing");
    return *f;
}

const json& Loader::Array(const At& v) const
{
    if (!v.j.is_array())
        WrongType(v, "an array");
    return v.j;
}

std::string Loader::String(const At& v) const
{
    if (!v.j.is_string())
        WrongType(v, "a string");
    return v.j.get<std::string>();
}

bool Loader::Bool(const At& v) const
{
    if (!v.j.is_boolean())
        WrongType(v, "true or false");
    return v.j.get<bool>();
}

float Loader::Float(const At& v) const
{
    if (!v.j.is_number())
        WrongType(v, "a number");
    float f = float(v.j.get<double>());
    if (!std::isfinite(f))
        Fail(v.path, "number out of range");
    return f;
}

int64_t Loader::Integer(const At& v, int64_t lo, int64_t hi) const
{
    auto range = [&] {
        Fail(v.path, "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi));
    };
    if (v.j.is_number_unsigned()) {
        uint64_t u = v.j.get<uint64_t>();
        if (u > uint64_t(hi) || (lo > 0 && u < uint64_t(lo)))
            range();
        return int64_t(u);
    }
    if (v.j.is_number_integer()) {
        int64_t i = v.j.get<int64_t>();
        if (i < lo || i > hi)
            range();
        return i;
    }
    if (v.j.is_number_float()) {
        double d = v.j.get<double>();
        if (d != std::floor(d) || !std::isfinite(d))
            Fail(v.path, "expected an integer, got " + v.j.dump());
        if (d < double(lo) || d > double(hi))
            range();
        return int64_t(d);
    }
    WrongType(v, "an integer");
}

Point3 Loader::Vec3(const At& v) const
{
    const json& a = Array(v);
    if (a.size() != 3)
        Fail(v.path, "expected 3 numbers, got " + std::to_string(a.size()));
    return Point3(Float(v[size_t(0)]), Float(v[1]), Float(v[2]));
}

TimeValue Loader::KeyTime(const At& key, const std::vector<TimeValue>& before) const
{
    At t = Required(key, "t");
    TimeValue time = Int(t);
    if (!before.empty() && time <= before.back())
        Fail(t.path, "key times must increase (" + std::to_string(time) + " after " + std::to_string(before.back()) + ")");
    return time;
}

template <class T, class Parse> Track<T> Loader::ParseTrack(const At& v, Parse parse) const
{
    if (!v.j.is_object())
        return Track<T>(parse(v));
    Keys(v, {"keys"});
    At keys = Required(v, "keys");
    if (Array(keys).empty())
        Fail(keys.path, "needs at least one key");
    Track<T> track;
    track.values.clear();
    for (size_t i = 0; i < keys.j.size(); i++) {
        At key = keys[i];
        Keys(key, {"t", "value"});
        track.times.push_back(KeyTime(key, track.times));
        track.values.push_back(parse(Required(key, "value")));
    }
    if (track.times.size() == 1)
        track.times.clear(); // a single key is a constant
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
    return ParseTrack<Point3>(v, [this](const At& x) { return Color3(x); });
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

TransformParts Loader::Transform(const At& v, bool decompose) const
{
    TransformParts parts;
    if (!v.j.is_object())
        WrongType(v, "a transform object");
    if (v.j.contains("matrix")) {
        Keys(v, {"matrix"});
        At m = v["matrix"];
        if (Array(m).size() != 4)
            Fail(m.path, "expected 4 rows, got " + std::to_string(m.j.size()));
        Matrix3 matrix;
        for (size_t i = 0; i < 4; i++)
            matrix.SetRow(int(i), Vec3(m[i]));
        return MakeTransformParts(matrix, decompose);
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
    Scene::Impl& s = scene->impl();
    if (auto t = Find(v, "ticksPerFrame"))
        s.ticksPerFrame = int(Integer(*t, 1, kIntMax));
    s.time = OptInt(v, "time", 0);
    if (auto r = Find(v, "animRange")) {
        if (Array(*r).size() != 2)
            Fail(r->path, "expected [start, end]");
        TimeValue start = Int((*r)[size_t(0)]), end = Int((*r)[1]);
        if (start > end)
            Fail(r->path, "start after end");
        s.animRange = Interval(start, end);
    }
    if (auto w = Find(v, "renderWidth"))
        s.renderWidth = int(Integer(*w, 1, kIntMax));
    if (auto h = Find(v, "renderHeight"))
        s.renderHeight = int(Integer(*h, 1, kIntMax));
    if (auto a = Find(v, "ambient"))
        s.ambient = Colors(*a);
    s.atmosphereRendered = OptBool(v, "atmosphereRendered", false);
    if (auto n = Find(v, "atmosphereCount"))
        s.atmosphereCount = int(Integer(*n, 0, kIntMax));
}

// ---- texture maps and materials ----

void Loader::ParseTexmaps(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of texture maps");
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        At t{*it, Key(v.path, it.key())};
        Keys(t, {"class", "file"});
        std::string cls = String(Required(t, "class"));
        std::unique_ptr<Texmap> map;
        if (cls == "bitmap") {
            auto bitmap = std::make_unique<SceneBitmapTex>();
            bitmap->name = it.key();
            if (auto f = Find(t, "file")) {
                bitmap->file = String(*f);
                bitmap->hasFile = true;
            }
            map = std::move(bitmap);
        } else if (cls == "other") {
            if (auto f = Find(t, "file"))
                Fail(f->path, "only bitmap texture maps have a file");
            auto other = std::make_unique<SceneOtherTex>();
            other->name = it.key();
            map = std::move(other);
        } else {
            Fail(Key(t.path, "class"), "unknown texture map class " + Quoted(cls) + " (bitmap or other)");
        }
        texmaps[it.key()] = map.get();
        scene->impl().texmaps.push_back(std::move(map));
    }
}

void Loader::ParseMaterials(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of materials");
    std::map<std::string, SceneMtl*> made;
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        At m{*it, Key(v.path, it.key())};
        Keys(m, {"class", "name", "diffuse", "transparency", "twoSided", "diffuseMap", "sub", "mix"});
        auto mtl = std::make_unique<SceneMtl>();
        std::string cls = "standard";
        if (auto c = Find(m, "class"))
            cls = String(*c);
        if (cls == "standard")
            mtl->kind = SceneMtl::Kind::Standard;
        else if (cls == "multi")
            mtl->kind = SceneMtl::Kind::Multi;
        else if (cls == "blend")
            mtl->kind = SceneMtl::Kind::Blend;
        else if (cls == "other")
            mtl->kind = SceneMtl::Kind::Other;
        else
            Fail(Key(m.path, "class"), "unknown material class " + Quoted(cls) + " (standard, multi, blend or other)");
        mtl->name = it.key();
        if (auto n = Find(m, "name"))
            mtl->name = String(*n);
        if (auto d = Find(m, "diffuse"))
            mtl->diffuse = Color(Color3(*d));
        mtl->transparency = OptFloat(m, "transparency", 0.0f);
        if (auto ts = Find(m, "twoSided")) {
            if (mtl->kind != SceneMtl::Kind::Standard)
                Fail(ts->path, "only standard materials are two-sided");
            mtl->twoSided = Bool(*ts);
        }
        if (auto dm = Find(m, "diffuseMap"); dm && !dm->j.is_null()) {
            std::string id = String(*dm);
            auto found = texmaps.find(id);
            if (found == texmaps.end())
                Fail(dm->path, "unknown texture map " + Quoted(id));
            mtl->diffuseMap = found->second;
        }
        if (mtl->kind == SceneMtl::Kind::Blend) {
            mtl->mixBlock = std::make_unique<MixParamBlock>();
            mtl->mixBlock->mix = FloatTrack(0.5f);
            if (auto mix = Find(m, "mix")) {
                if (mix->j.is_null())
                    mtl->mixBlock.reset();
                else
                    mtl->mixBlock->mix = Floats(*mix);
            }
        } else if (auto mix = Find(m, "mix")) {
            Fail(mix->path, "only blend materials have a mix amount");
        }
        made[it.key()] = mtl.get();
        materials[it.key()] = mtl.get();
        scene->impl().materials.push_back(std::move(mtl));
    }

    // Sub-materials may name materials defined later in the table, so they are
    // resolved once every material exists.
    std::map<std::string, std::vector<std::string>> subIds;
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        At m{*it, Key(v.path, it.key())};
        SceneMtl* mtl = made[it.key()];
        auto sub = Find(m, "sub");
        if (sub) {
            if (mtl->kind == SceneMtl::Kind::Standard)
                Fail(sub->path, "standard materials have no sub-materials");
            if (mtl->kind == SceneMtl::Kind::Blend && Array(*sub).size() > 2)
                Fail(sub->path, "a blend material has two sub-material slots");
            for (size_t i = 0; i < Array(*sub).size(); i++) {
                At slot = (*sub)[i];
                subIds[it.key()].emplace_back();
                if (slot.j.is_null()) {
                    mtl->subs.push_back(nullptr);
                    continue;
                }
                std::string id = String(slot);
                auto found = materials.find(id);
                if (found == materials.end())
                    Fail(slot.path, "unknown material " + Quoted(id));
                mtl->subs.push_back(found->second);
                subIds[it.key()].back() = id;
            }
        }
        if (mtl->kind == SceneMtl::Kind::Blend)
            mtl->subs.resize(2, nullptr);
    }
    CheckMaterialCycles(subIds);
}

void Loader::CheckMaterialCycles(const std::map<std::string, std::vector<std::string>>& subIds) const
{
    // Depth-first search without recursion: chains of materials may be long.
    enum State { Unseen, Open, Done };
    std::map<std::string, State> state;
    for (const auto& [start, unused] : subIds) {
        (void)unused;
        if (state[start] != Unseen)
            continue;
        struct Frame {
            const std::string* id;
            size_t next;
        };
        std::vector<Frame> stack{{&start, 0}};
        state[start] = Open;
        while (!stack.empty()) {
            Frame& top = stack.back();
            auto subs = subIds.find(*top.id);
            if (subs == subIds.end() || top.next >= subs->second.size()) {
                state[*top.id] = Done;
                stack.pop_back();
                continue;
            }
            size_t slot = top.next++;
            const std::string& sub = subs->second[slot];
            if (sub.empty())
                continue; // empty slot
            State& s = state[sub];
            if (s == Open)
                Fail(Index(Key(Key("materials", *top.id), "sub"), slot),
                     "material " + Quoted(sub) + " contains itself");
            if (s == Unseen) {
                s = Open;
                stack.push_back({&sub, 0});
            }
        }
    }
}

// ---- objects ----

void Loader::ParseObjects(const At& v)
{
    if (!v.j.is_object())
        WrongType(v, "an object of objects");
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        std::unique_ptr<::Object> obj = ParseObject(At{*it, Key(v.path, it.key())});
        objects[it.key()] = obj.get();
        scene->impl().objects.push_back(std::move(obj));
    }
}

std::unique_ptr<::Object> Loader::ParseObject(const At& v) const
{
    if (!v.j.is_object())
        WrongType(v, "an object");
    At typeAt = Required(v, "type");
    std::string type = String(typeAt);
    if (type == "mesh") {
        Keys(v, {"type", "verts", "faces", "tverts", "tvfaces", "map2"});
        auto mesh = std::make_unique<SceneMeshObject>();
        ParseMesh(v, mesh->mesh);
        return mesh;
    }
    if (type == "box") {
        Keys(v, {"type", "length", "width", "height"});
        auto box = std::make_unique<BoxObject>();
        box->length = OptFloat(v, "length", 10.0f);
        box->width = OptFloat(v, "width", 10.0f);
        box->height = OptFloat(v, "height", 10.0f);
        return box;
    }
    if (type == "plane") {
        Keys(v, {"type", "length", "width", "lengthSegs", "widthSegs"});
        auto plane = std::make_unique<PlaneObject>();
        plane->length = OptFloat(v, "length", 100.0f);
        plane->width = OptFloat(v, "width", 100.0f);
        if (auto s = Find(v, "lengthSegs"))
            plane->lengthSegs = int(Integer(*s, 1, kMaxPlaneQuads));
        if (auto s = Find(v, "widthSegs"))
            plane->widthSegs = int(Integer(*s, 1, kMaxPlaneQuads));
        if (int64_t(plane->lengthSegs) * plane->widthSegs > kMaxPlaneQuads)
            Fail(v.path, "a plane has at most " + std::to_string(kMaxPlaneQuads) + " quads");
        return plane;
    }
    if (type == "camera") {
        Keys(v, {"type", "fov", "manualClip", "near", "far", "envNear", "envFar"});
        auto cam = std::make_unique<SceneCamera>();
        OptTrack(v, "fov", cam->fov);
        cam->manualClip = OptBool(v, "manualClip", false);
        OptTrack(v, "near", cam->nearClip);
        OptTrack(v, "far", cam->farClip);
        OptTrack(v, "envNear", cam->envNear);
        OptTrack(v, "envFar", cam->envFar);
        return cam;
    }
    if (type == "light") {
        Keys(v, {"type", "kind", "on", "color", "falloffDeg", "attenEnd", "useAtten", "intensity", "decay"});
        auto light = std::make_unique<SceneLight>();
        if (auto k = Find(v, "kind")) {
            static const char* const kinds[] = {"omni", "targetSpot", "directional", "freeSpot", "targetDirectional"};
            std::string kind = String(*k);
            light->type = -1;
            for (int i = 0; i < 5; i++)
                if (kind == kinds[i])
                    light->type = i;
            if (light->type < 0)
                Fail(k->path, "unknown light kind " + Quoted(kind) +
                                  " (omni, targetSpot, directional, freeSpot or targetDirectional)");
        }
        light->on = OptBool(v, "on", true);
        if (auto c = Find(v, "color"))
            light->color = Colors(*c);
        OptTrack(v, "falloffDeg", light->falloffDeg);
        OptTrack(v, "attenEnd", light->attenEnd);
        light->useAtten = OptBool(v, "useAtten", false);
        OptTrack(v, "intensity", light->intensity);
        if (auto d = Find(v, "decay")) {
            std::string decay = String(*d);
            if (decay == "none")
                light->decay = DECAY_NONE;
            else if (decay == "inverse")
                light->decay = DECAY_INV;
            else if (decay == "inverseSquare")
                light->decay = DECAY_INVSQ;
            else
                Fail(d->path, "unknown decay " + Quoted(decay) + " (none, inverse or inverseSquare)");
        }
        return light;
    }
    Keys(v, {"type"});
    if (type == "geometry")
        return std::make_unique<OpaqueGeomObject>();
    if (type == "shape")
        return std::make_unique<SceneShapeObject>();
    if (type == "dummy")
        return std::make_unique<SceneHelperObject>(Class_ID(DUMMY_CLASS_ID, 0));
    if (type == "bone")
        return std::make_unique<SceneHelperObject>(Class_ID(BONE_CLASS_ID, 0));
    if (type == "helper")
        return std::make_unique<SceneHelperObject>(Class_ID(0x2e7c4b90, 0x51));
    if (type == "target")
        return std::make_unique<TargetObject>();
    Fail(typeAt.path, "unknown object type " + Quoted(type));
}

void Loader::ParseMesh(const At& v, Mesh& mesh) const
{
    auto points = [this](const At& a, std::vector<Point3>& out) {
        out.reserve(Array(a).size());
        for (size_t i = 0; i < a.j.size(); i++)
            out.push_back(Vec3(a[i]));
    };
    if (auto verts = Find(v, "verts"))
        points(*verts, mesh.verts);
    if (mesh.verts.size() > size_t(kIntMax))
        Fail(Key(v.path, "verts"), "too many vertices");
    if (auto faces = Find(v, "faces"))
        ParseFaces(*faces, mesh.faces, mesh.getNumVerts());
    if (auto tverts = Find(v, "tverts"))
        points(*tverts, mesh.tVerts);
    if (auto tvfaces = Find(v, "tvfaces"))
        mesh.tvFace = ParseTVFaces(*tvfaces, mesh.faces.size(), mesh.getNumTVerts(), "texture faces");
    if (auto map2 = Find(v, "map2")) {
        Keys(*map2, {"verts", "faces"});
        std::vector<Point3> verts;
        if (auto mv = Find(*map2, "verts"))
            points(*mv, verts);
        std::vector<TVFace> faces;
        if (auto mf = Find(*map2, "faces"))
            faces = ParseTVFaces(*mf, mesh.faces.size(), int(verts.size()), "map faces");
        else if (!mesh.faces.empty())
            Fail(Key(map2->path, "faces"), "required field missing");
        mesh.setMapSupport(2, TRUE);
        mesh.setNumMapVerts(2, int(verts.size()));
        std::copy(verts.begin(), verts.end(), mesh.mapVerts(2));
        std::copy(faces.begin(), faces.end(), mesh.mapFaces(2));
    }
}

void Loader::ParseFaces(const At& v, std::vector<Face>& faces, int numVerts) const
{
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
        for (size_t c = 0; c < 3; c++) {
            At index = corners[c];
            int64_t n = Integer(index, 0, kIntMax);
            if (n >= numVerts)
                Fail(index.path, "vertex index " + std::to_string(n) + " out of range (" + std::to_string(numVerts) +
                                     " vertices)");
            face.v[c] = DWORD(n);
        }
        faces.push_back(face);
    }
}

std::vector<TVFace> Loader::ParseTVFaces(const At& v, size_t faceCount, int numVerts, const char* what) const
{
    if (Array(v).size() != faceCount)
        Fail(v.path, std::to_string(v.j.size()) + " " + what + " for " + std::to_string(faceCount) + " faces");
    std::vector<TVFace> out(faceCount);
    for (size_t i = 0; i < faceCount; i++) {
        At f = v[i];
        if (Array(f).size() != 3)
            Fail(f.path, "expected 3 vertex indices, got " + std::to_string(f.j.size()));
        for (size_t c = 0; c < 3; c++) {
            At index = f[c];
            int64_t n = Integer(index, 0, kIntMax);
            if (n >= numVerts)
                Fail(index.path, "vertex index " + std::to_string(n) + " out of range (" + std::to_string(numVerts) +
                                     " vertices)");
            out[i].t[c] = DWORD(n);
        }
    }
    return out;
}

// ---- controllers and nodes ----

std::unique_ptr<KeyframeControl> Loader::Controller(const At& v, bool rotation) const
{
    Keys(v, {"class", "keys"});
    At clsAt = Required(v, "class");
    std::string cls = String(clsAt);
    KeyClass kc;
    if (cls == "tcb")
        kc = KeyClass::TCB;
    else if (cls == "bezier")
        kc = KeyClass::Bezier;
    else if (cls == "linear")
        kc = KeyClass::Linear;
    else if (cls == "other")
        kc = KeyClass::Other;
    else
        Fail(clsAt.path, "unknown controller class " + Quoted(cls) + " (tcb, bezier, linear or other)");
    auto ctrl = std::make_unique<KeyframeControl>(rotation, kc);
    auto keys = Find(v, "keys");
    if (!keys)
        return ctrl;
    for (size_t i = 0; i < Array(*keys).size(); i++) {
        At key = (*keys)[i];
        Keys(key, {"t", "value"});
        ctrl->times.push_back(KeyTime(key, ctrl->times));
        At value = Required(key, "value");
        if (!rotation) {
            ctrl->positions.push_back(Vec3(value));
            continue;
        }
        AngAxis rel;
        Quat q = Rotation(value, &rel);
        // TCB keys hold the turn since the previous key; the rotation at the
        // key is the previous one followed by that turn.
        if (kc == KeyClass::TCB) {
            ctrl->relative.push_back(rel);
            if (!ctrl->absolute.empty()) {
                q = ctrl->absolute.back() * q;
                q.Normalize();
            }
        }
        ctrl->absolute.push_back(q);
    }
    return ctrl;
}

void Loader::ParseNodes(const At& v, SceneNode& parent, int depth)
{
    Array(v);
    for (size_t i = 0; i < v.j.size(); i++) {
        if (depth > kMaxNodeDepth)
            Fail(Index(v.path, i), "nodes nested deeper than " + std::to_string(kMaxNodeDepth) + " levels");
        auto node = std::make_unique<SceneNode>();
        SceneNode* n = node.get();
        n->parent = &parent;
        parent.children.push_back(n);
        scene->impl().nodes.push_back(std::move(node));
        ParseNode(v[i], *n, depth);
    }
}

void Loader::ParseNode(const At& v, SceneNode& node, int depth)
{
    Keys(v, {"name", "object", "material", "wireColor", "selected", "transform", "objectOffset", "position",
               "rotation", "children"});
    if (auto n = Find(v, "name"))
        node.name = String(*n);
    if (auto o = Find(v, "object"); o && !o->j.is_null()) {
        std::string id = String(*o);
        auto found = objects.find(id);
        if (found == objects.end())
            Fail(o->path, "unknown object " + Quoted(id));
        node.object = found->second;
    }
    if (auto m = Find(v, "material"); m && !m->j.is_null()) {
        std::string id = String(*m);
        auto found = materials.find(id);
        if (found == materials.end())
            Fail(m->path, "unknown material " + Quoted(id));
        node.mtl = found->second;
    }
    if (auto w = Find(v, "wireColor")) {
        if (Array(*w).size() != 3)
            Fail(w->path, "expected [r, g, b]");
        int rgb[3];
        for (size_t i = 0; i < 3; i++)
            rgb[i] = int(Integer((*w)[i], 0, 255));
        node.wireColor = RGB(rgb[0], rgb[1], rgb[2]);
    }
    node.selected = OptInt(v, "selected", 0);
    if (auto p = Find(v, "position"))
        node.tmControl.position = Controller(*p, false);
    if (auto r = Find(v, "rotation"))
        node.tmControl.rotation = Controller(*r, true);
    if (auto t = Find(v, "transform"))
        node.transform = Transform(*t, node.Animated());
    if (auto o = Find(v, "objectOffset"))
        node.objectOffset = Transform(*o, false).matrix;
    if (auto c = Find(v, "children"))
        ParseNodes(*c, node, depth + 1);
}

std::unique_ptr<Scene> Loader::Load(const std::string& text)
{
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception&) {
        // The parser's own message speaks of its internals; say it in the file's terms.
        std::string fault = DescribeJsonSyntaxError(text);
        throw SceneError(file + ": " + (fault.empty() ? "invalid JSON" : fault));
    }
    scene = std::make_unique<Scene>();
    At top{doc, ""};
    Keys(top, {"format", "interface", "texmaps", "materials", "objects", "nodes"});
    At format = Required(top, "format");
    if (String(format) != kFormat)
        Fail(format.path, "unsupported format " + Quoted(format.j.get<std::string>()) + " (expected " +
                              Quoted(kFormat) + ")");
    if (auto i = Find(top, "interface"))
        ParseInterface(*i);
    if (auto t = Find(top, "texmaps"))
        ParseTexmaps(*t);
    if (auto m = Find(top, "materials"))
        ParseMaterials(*m);
    if (auto o = Find(top, "objects"))
        ParseObjects(*o);
    if (auto n = Find(top, "nodes"))
        ParseNodes(*n, scene->impl().rootNode, 1);
    return std::move(scene);
}

} // namespace

std::unique_ptr<Scene> LoadSceneJson(const std::string& text, const std::string& fileName)
{
    try {
        return Loader(fileName).Load(text);
    } catch (const json::exception& e) {
        // Every value is checked before it is read; this is a last line of defence.
        throw SceneError(fileName + ": " + e.what());
    }
}

namespace {

// Whether text is a scene description rather than some other JSON (a glTF file, say).
bool IsSceneDescription(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || text[start] != '{')
        return false;
    json doc = json::parse(text, nullptr, false);
    return doc.is_object() && doc.contains("format") && doc["format"].is_string() &&
           doc["format"].get<std::string>().rfind("vek-scene/", 0) == 0;
}

} // namespace

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    bool json = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    std::ostringstream text;
    if (!json) {
        // A scene description begins with "{"; models are read by Assimp.
        char c = 0;
        while (in.get(c) && std::isspace(static_cast<unsigned char>(c))) {
        }
        if (!in || c != '{')
            return LoadModelFile(path, options);
        in.seekg(0);
    }
    text << in.rdbuf();
    if (in.bad())
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    if (!json && !IsSceneDescription(text.str()))
        return LoadModelFile(path, options);
    return LoadSceneJson(text.str(), path);
}

} // namespace vek
