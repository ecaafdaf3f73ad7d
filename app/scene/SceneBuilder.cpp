#include "SceneBuilder.h"

#include <cmath>
#include <limits>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace vek {

bool IsFinite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool IsFinite(const Quat& q) { return IsFinite(Point3(q.x, q.y, q.z)) && std::isfinite(q.w); }
bool IsFinite(const Matrix3& m)
{
    for (int r = 0; r < 4; r++)
        if (!IsFinite(m.GetRow(r)))
            return false;
    return true;
}

namespace {

bool Finite(float f) { return std::isfinite(f); }
template <class T> bool Finite(const T& v) { return IsFinite(v); }

template <class T> void RequireFinite(const T& value, const char* what)
{
    if (!Finite(value))
        throw BuildError(std::string(what) + " is not a finite number");
}

template <class T> void CheckTrack(const Track<T>& track, const char* what)
{
    for (size_t k = 0; k < track.values.size(); k++)
        if (!Finite(track.values[k]))
            throw BuildError(std::string(what) + " is not a finite number", k);
}

void CheckKeyTime(const std::vector<TimeValue>& times, TimeValue t)
{
    if (!times.empty() && t <= times.back())
        throw BuildError("key times must increase (" + std::to_string(t) + " after " + std::to_string(times.back()) +
                         ")");
}

template <class T> void AddTrackKey(Track<T>& track, TimeValue t, const T& value)
{
    CheckKeyTime(track.times, t);
    RequireFinite(value, "the key's value");
    if (track.times.empty())
        track.values.clear(); // the first key replaces the constant
    track.times.push_back(t);
    track.values.push_back(value);
}

// Appends the n items at data to `to`; `whole`, when given, holds exactly those items
// and is moved in rather than copied when `to` is still empty.
template <class T> void Append(std::vector<T>& to, const T* data, size_t n, std::type_identity_t<std::vector<T>>* whole)
{
    if (whole && to.empty())
        to = std::move(*whole);
    else
        to.insert(to.end(), data, data + n);
}

// Appends n points to `to` once all are finite; `kind` is "" for the mesh's vertices,
// "map " for a map channel's.
void AddPoints(std::vector<Point3>& to, const Point3* points, size_t n, std::vector<Point3>* whole,
               const std::string& kind)
{
    if (n > size_t(std::numeric_limits<int>::max()) - to.size())
        throw BuildError("too many " + kind + "vertices");
    for (size_t i = 0; i < n; i++)
        if (!Finite(points[i]))
            throw BuildError(kind + "vertex " + std::to_string(to.size() + i) + " is not a finite number", i);
    Append(to, points, n, whole);
}

DWORD Corner(const Face& f, int c) { return f.v[c]; }
DWORD Corner(const TVFace& f, int c) { return f.t[c]; }

// Every corner of the n faces below `limit`: face and corner at fault otherwise.
// `kind` is "" for the mesh's vertices, "texture " or "map " for a map channel's.
template <class F> void CheckCorners(const F* faces, size_t n, size_t limit, const std::string& kind)
{
    for (size_t i = 0; i < n; i++)
        for (int c = 0; c < 3; c++)
            if (Corner(faces[i], c) >= limit) {
                std::string what = kind + "vertex " + std::to_string(Corner(faces[i], c));
                what += " out of range (" + std::to_string(limit) + " " + kind + "vertices)";
                throw BuildError(what, i, c);
            }
}

} // namespace

struct SceneBuilder::State {
    std::vector<SceneMtl*> materials;                    // in the order made
    std::unordered_set<const SceneNode*> matrixOnly;     // transforms given as a matrix
    std::unordered_set<const SceneMeshObject*> textured; // map channel 1 on
    // Map channel 2 of the meshes not ended yet: the host's mesh holds one map
    // face per face from the moment the channel is on.
    std::unordered_map<const SceneMeshObject*, MeshMap> map2;
};

SceneBuilder::SceneBuilder() : scene(std::make_unique<Scene>()), s(std::make_unique<State>()) {}

SceneBuilder::~SceneBuilder() = default;

Scene::Impl& SceneBuilder::d() { return *scene->d; }

std::unique_ptr<Scene> SceneBuilder::Finish()
{
    CheckMaterialCycles();
    while (!s->map2.empty())
        EndMesh(const_cast<SceneMeshObject*>(s->map2.begin()->first));
    for (const auto& node : d().nodes)
        if (node->Animated() && s->matrixOnly.count(node.get()))
            node->transform = MakeTransformParts(node->transform.matrix, true);
    return std::move(scene);
}

// ---- scene settings ----

void SceneBuilder::SetTicksPerFrame(int ticks)
{
    if (ticks < 1)
        throw BuildError("ticks per frame must be at least 1");
    d().ticksPerFrame = ticks;
}

void SceneBuilder::SetTime(TimeValue t) { d().time = t; }

void SceneBuilder::SetAnimRange(TimeValue start, TimeValue end)
{
    if (start > end)
        throw BuildError("start after end");
    d().animRange = Interval(start, end);
}

void SceneBuilder::SetRenderSize(int width, int height)
{
    if (width < 1 || height < 1)
        throw BuildError("the render size must be at least 1 x 1");
    d().renderWidth = width;
    d().renderHeight = height;
}

void SceneBuilder::SetAmbient(const ColorTrack& ambient)
{
    CheckTrack(ambient, "the ambient colour");
    d().ambient = ambient;
}

void SceneBuilder::SetAtmosphere(bool rendered, int count)
{
    if (count < 0)
        throw BuildError("a negative number of atmospheric effects");
    d().atmosphereRendered = rendered;
    d().atmosphereCount = count;
}

void SceneBuilder::SetNoSelection() { d().holdsSelection = false; }

void SceneBuilder::AddExtraFile(std::string path, std::string bytes)
{
    d().files.push_back({std::move(path), std::move(bytes)});
}

void SceneBuilder::AddWarning(std::string sentence) { d().warnings.push_back(std::move(sentence)); }

// ---- texture maps and materials ----

Texmap* SceneBuilder::AddBitmapTex(const std::string& name, const std::optional<std::string>& file)
{
    auto map = std::make_unique<SceneBitmapTex>();
    map->name = name;
    map->hasFile = file.has_value();
    map->file = file.value_or("");
    d().texmaps.push_back(std::move(map));
    return d().texmaps.back().get();
}

Texmap* SceneBuilder::AddOtherTex(const std::string& name)
{
    auto map = std::make_unique<SceneOtherTex>();
    map->name = name;
    d().texmaps.push_back(std::move(map));
    return d().texmaps.back().get();
}

SceneMtl* SceneBuilder::AddMaterial(const MaterialSettings& m)
{
    RequireFinite(Point3(m.diffuse.r, m.diffuse.g, m.diffuse.b), "the diffuse colour");
    RequireFinite(m.transparency, "the transparency");
    auto mtl = std::make_unique<SceneMtl>();
    mtl->kind = m.kind;
    mtl->name = m.name;
    mtl->diffuse = m.diffuse;
    mtl->transparency = m.transparency;
    mtl->twoSided = m.twoSided;
    mtl->diffuseMap = m.diffuseMap;
    if (m.kind == SceneMtl::Kind::Blend) {
        mtl->subs.resize(2, nullptr);
        if (m.mix) {
            CheckTrack(*m.mix, "the mix amount");
            mtl->mixBlock = std::make_unique<MixParamBlock>();
            mtl->mixBlock->mix = *m.mix;
        }
    }
    SceneMtl* raw = mtl.get();
    s->materials.push_back(raw);
    d().materials.push_back(std::move(mtl));
    return raw;
}

void SceneBuilder::SetSubMaterials(SceneMtl* mtl, std::vector<Mtl*> subs)
{
    if (mtl->kind == SceneMtl::Kind::Standard)
        throw BuildError("standard materials have no sub-materials");
    if (mtl->kind == SceneMtl::Kind::Blend) {
        if (subs.size() > 2)
            throw BuildError("a blend material has two sub-material slots");
        subs.resize(2, nullptr);
    }
    mtl->subs = std::move(subs);
}

void SceneBuilder::CheckMaterialCycles() const
{
    // Depth-first search without recursion: chains of materials may be long.
    enum Visit { Unseen, Open, Done };
    std::unordered_map<const Mtl*, Visit> state;
    std::unordered_map<const Mtl*, size_t> number;
    for (size_t i = 0; i < s->materials.size(); i++)
        number[s->materials[i]] = i;
    for (SceneMtl* start : s->materials) {
        if (state[start] != Unseen)
            continue;
        struct Frame {
            SceneMtl* mtl;
            size_t next;
        };
        std::vector<Frame> stack{{start, 0}};
        state[start] = Open;
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next >= top.mtl->subs.size()) {
                state[top.mtl] = Done;
                stack.pop_back();
                continue;
            }
            size_t slot = top.next++;
            auto* sub = static_cast<SceneMtl*>(top.mtl->subs[slot]);
            if (!sub)
                continue; // empty slot
            Visit& st = state[sub];
            if (st == Open)
                throw BuildError("material \"" + std::string(sub->name.data()) + "\" contains itself", number[top.mtl],
                                 int(slot));
            if (st == Unseen) {
                st = Open;
                stack.push_back({sub, 0});
            }
        }
    }
}

// ---- objects ----

namespace {

template <class T> T* Own(std::unique_ptr<T> p, std::vector<std::unique_ptr<Object>>& into)
{
    T* raw = p.get();
    into.push_back(std::move(p));
    return raw;
}

} // namespace

Object* SceneBuilder::AddObject(PlainObject kind)
{
    std::unique_ptr<Object> obj;
    switch (kind) {
    case PlainObject::Geometry:
        obj = std::make_unique<OpaqueGeomObject>();
        break;
    case PlainObject::Shape:
        obj = std::make_unique<SceneShapeObject>();
        break;
    case PlainObject::Dummy:
        obj = std::make_unique<SceneHelperObject>(Class_ID(DUMMY_CLASS_ID, 0));
        break;
    case PlainObject::Bone:
        obj = std::make_unique<SceneHelperObject>(Class_ID(BONE_CLASS_ID, 0));
        break;
    case PlainObject::Helper:
        obj = std::make_unique<SceneHelperObject>(Class_ID(0x2e7c4b90, 0x51));
        break;
    case PlainObject::Target:
        obj = std::make_unique<TargetObject>();
        break;
    }
    return Own(std::move(obj), d().objects);
}

Object* SceneBuilder::AddBox(float length, float width, float height)
{
    RequireFinite(Point3(length, width, height), "the box size");
    auto box = std::make_unique<BoxObject>();
    box->length = length;
    box->width = width;
    box->height = height;
    return Own(std::move(box), d().objects);
}

Object* SceneBuilder::AddPlane(float length, float width, int lengthSegs, int widthSegs)
{
    RequireFinite(Point3(length, width, 0.0f), "the plane size");
    if (lengthSegs < 1 || widthSegs < 1 || int64_t(lengthSegs) * widthSegs > kMaxPlaneQuads)
        throw BuildError("a plane has at most " + std::to_string(kMaxPlaneQuads) + " quads");
    auto plane = std::make_unique<PlaneObject>();
    plane->length = length;
    plane->width = width;
    plane->lengthSegs = lengthSegs;
    plane->widthSegs = widthSegs;
    return Own(std::move(plane), d().objects);
}

Object* SceneBuilder::AddCamera(const CameraSettings& settings)
{
    for (const FloatTrack* t :
         {&settings.fov, &settings.nearClip, &settings.farClip, &settings.envNear, &settings.envFar})
        CheckTrack(*t, "a camera value");
    auto cam = std::make_unique<SceneCamera>();
    static_cast<CameraSettings&>(*cam) = settings;
    return Own(std::move(cam), d().objects);
}

Object* SceneBuilder::AddLight(const LightSettings& settings)
{
    CheckTrack(settings.color, "the light colour");
    for (const FloatTrack* t : {&settings.falloffDeg, &settings.attenEnd, &settings.intensity})
        CheckTrack(*t, "a light value");
    auto light = std::make_unique<SceneLight>();
    static_cast<LightSettings&>(*light) = settings;
    return Own(std::move(light), d().objects);
}

SceneMeshObject* SceneBuilder::AddMesh(size_t vertCount, size_t faceCount)
{
    auto mesh = std::make_unique<SceneMeshObject>();
    mesh->mesh.verts.reserve(vertCount);
    mesh->mesh.faces.reserve(faceCount);
    return Own(std::move(mesh), d().objects);
}

void SceneBuilder::AddVerts(SceneMeshObject* obj, const Point3* verts, size_t n)
{
    AddPoints(obj->mesh.verts, verts, n, nullptr, "");
}

void SceneBuilder::AddVerts(SceneMeshObject* obj, std::vector<Point3>&& verts)
{
    AddPoints(obj->mesh.verts, verts.data(), verts.size(), &verts, "");
}

void SceneBuilder::AddFaces(SceneMeshObject* obj, const Face* faces, size_t n)
{
    CheckCorners(faces, n, obj->mesh.verts.size(), "");
    Append(obj->mesh.faces, faces, n, nullptr);
}

void SceneBuilder::AddFaces(SceneMeshObject* obj, std::vector<Face>&& faces)
{
    CheckCorners(faces.data(), faces.size(), obj->mesh.verts.size(), "");
    Append(obj->mesh.faces, faces.data(), faces.size(), &faces);
}

namespace {

const char* MapFacesName(int channel) { return channel == 1 ? "texture faces" : "map faces"; }

} // namespace

// The vertices and faces of map channel 1 or 2.
struct SceneBuilder::Channel {
    std::vector<UVVert>& verts;
    std::vector<TVFace>& faces;
};

SceneBuilder::Channel SceneBuilder::MapChannel(SceneMeshObject* obj, int channel)
{
    if (channel == 1)
        return {obj->mesh.tVerts, obj->mesh.tvFace};
    if (channel != 2)
        throw BuildError("map channel " + std::to_string(channel) + " is not kept");
    MeshMap& map = s->map2[obj];
    map.used = true;
    return {map.tv, map.tf};
}

void SceneBuilder::AddMapVerts(SceneMeshObject* obj, int channel, const UVVert* verts, size_t n)
{
    AddPoints(MapChannel(obj, channel).verts, verts, n, nullptr, "map ");
}

void SceneBuilder::AddMapVerts(SceneMeshObject* obj, int channel, std::vector<UVVert>&& verts)
{
    AddPoints(MapChannel(obj, channel).verts, verts.data(), verts.size(), &verts, "map ");
}

void SceneBuilder::AddMapFaces(SceneMeshObject* obj, int channel, const TVFace* faces, size_t n)
{
    AddMapFacesFrom(obj, channel, faces, n, nullptr);
}

void SceneBuilder::AddMapFaces(SceneMeshObject* obj, int channel, std::vector<TVFace>&& faces)
{
    AddMapFacesFrom(obj, channel, faces.data(), faces.size(), &faces);
}

void SceneBuilder::AddMapFacesFrom(SceneMeshObject* obj, int channel, const TVFace* faces, size_t n,
                                   std::vector<TVFace>* whole)
{
    Channel map = MapChannel(obj, channel);
    CheckCorners(faces, n, map.verts.size(), channel == 1 ? "texture " : "map ");
    if (map.faces.size() + n > obj->mesh.faces.size())
        throw BuildError(std::to_string(map.faces.size() + n) + " " + MapFacesName(channel) + " for " +
                             std::to_string(obj->mesh.faces.size()) + " faces",
                         BuildError::kNone, channel);
    Append(map.faces, faces, n, whole);
    if (channel == 1)
        s->textured.insert(obj);
}

void SceneBuilder::EndMesh(SceneMeshObject* obj)
{
    Mesh& mesh = obj->mesh;
    auto check = [&](int channel, size_t count) {
        if (count != mesh.faces.size())
            throw BuildError(std::to_string(count) + " " + MapFacesName(channel) + " for " +
                                 std::to_string(mesh.faces.size()) + " faces",
                             BuildError::kNone, channel);
    };
    if (s->textured.count(obj))
        check(1, mesh.tvFace.size());
    auto map2 = s->map2.find(obj);
    if (map2 == s->map2.end())
        return;
    check(2, map2->second.tf.size());
    mesh.setMapSupport(2, TRUE);
    mesh.setNumMapVerts(2, int(map2->second.tv.size()));
    std::copy(map2->second.tv.begin(), map2->second.tv.end(), mesh.mapVerts(2));
    std::copy(map2->second.tf.begin(), map2->second.tf.end(), mesh.mapFaces(2));
    s->map2.erase(map2);
}

// ---- nodes ----

SceneNode* SceneBuilder::AddNode(SceneNode* parent, std::string name)
{
    if (!parent)
        parent = &d().rootNode;
    if (parent->depth >= kMaxNodeDepth)
        throw BuildError("nodes nested deeper than " + std::to_string(kMaxNodeDepth) + " levels");
    auto node = std::make_unique<SceneNode>();
    SceneNode* n = node.get();
    n->name = std::move(name);
    n->parent = parent;
    n->depth = parent->depth + 1;
    parent->children.push_back(n);
    d().nodes.push_back(std::move(node));
    return n;
}

void SceneBuilder::SetTransform(SceneNode* node, const Matrix3& tm)
{
    RequireFinite(tm, "the transform");
    node->transform = MakeTransformParts(tm, false);
    s->matrixOnly.insert(node);
}

void SceneBuilder::SetTransform(SceneNode* node, const TransformParts& parts)
{
    RequireFinite(parts.matrix, "the transform");
    node->transform = parts;
    s->matrixOnly.erase(node);
}

void SceneBuilder::SetObjectOffset(SceneNode* node, const Matrix3& tm)
{
    RequireFinite(tm, "the object offset");
    node->objectOffset = tm;
}

// ---- key tracks ----

KeyframeControl* SceneBuilder::SetController(SceneNode* node, bool rotation, KeyClass cls)
{
    auto& slot = rotation ? node->tmControl.rotation : node->tmControl.position;
    slot = std::make_unique<KeyframeControl>(rotation, cls);
    return slot.get();
}

void SceneBuilder::AddPositionKey(KeyframeControl* ctrl, TimeValue t, const Point3& p)
{
    CheckKeyTime(ctrl->times, t);
    RequireFinite(p, "the key's position");
    ctrl->times.push_back(t);
    ctrl->positions.push_back(p);
}

void SceneBuilder::AddRotationKey(KeyframeControl* ctrl, TimeValue t, const Quat& q)
{
    CheckKeyTime(ctrl->times, t);
    RequireFinite(q, "the key's rotation");
    ctrl->times.push_back(t);
    ctrl->absolute.push_back(q);
}

void SceneBuilder::AddRelativeRotationKey(KeyframeControl* ctrl, TimeValue t, const AngAxis& turn)
{
    CheckKeyTime(ctrl->times, t);
    RequireFinite(Quat(turn.axis.x, turn.axis.y, turn.axis.z, turn.angle), "the key's rotation");
    // The rotation at the key is the previous one followed by the turn.
    Quat q(turn);
    if (!ctrl->absolute.empty()) {
        q = ctrl->absolute.back() * q;
        q.Normalize();
    }
    ctrl->times.push_back(t);
    ctrl->relative.push_back(turn);
    ctrl->absolute.push_back(q);
}

void SceneBuilder::AddKey(FloatTrack& track, TimeValue t, float value) { AddTrackKey(track, t, value); }

void SceneBuilder::AddKey(ColorTrack& track, TimeValue t, const Point3& value) { AddTrackKey(track, t, value); }

} // namespace vek
