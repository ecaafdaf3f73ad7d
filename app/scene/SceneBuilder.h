// The one way every loader makes a scene: nodes under their parents, objects of
// each kind, materials and texture maps, meshes with their map channels, key
// tracks, extra files and scene settings.
//
// The checks every loader needs are made here, once: node depth, key order,
// finite numbers, index ranges, material cycles. A check that fails throws
// BuildError with the problem alone ("vertex 40 out of range (12 vertices)");
// the loader adds the file and the place it was reading.
//
// Data may arrive as it is read: meshes take their vertices and faces in bulk, in
// as many calls as the loader likes (reserve from the counts first), with nothing
// held beside the scene itself.
#pragma once

#include "SceneModel.h"

#include <optional>
#include <stdexcept>

namespace vek {

class BuildError : public std::runtime_error {
public:
    static constexpr size_t kNone = size_t(-1);

    explicit BuildError(const std::string& what, size_t at = kNone, int inPart = -1)
        : std::runtime_error(what), item(at), part(inPart)
    {
    }

    // Which element of a bulk call is at fault (counted from the start of that
    // call), and which part of it (a face corner, a map channel), when it matters.
    size_t item;
    int part;
};

bool IsFinite(const Point3& p);
bool IsFinite(const Quat& q);
bool IsFinite(const Matrix3& m);

// Nodes nest at most this deep (a top-level node is at depth 1). Deeper files are
// refused: evaluating a node walks its ancestors, so the cost of a chain grows with
// the square of its length, and exporting it recurses once per level.
constexpr int kMaxNodeDepth = 1000;
constexpr int64_t kMaxPlaneQuads = 4000000;

// The parameters of a material; a blend's mix amount is its parameter block 0,
// which it may lack.
struct MaterialSettings {
    SceneMtl::Kind kind = SceneMtl::Kind::Standard;
    std::string name;
    Color diffuse{0.5f, 0.5f, 0.5f};
    float transparency = 0.0f;
    bool twoSided = false;
    Texmap* diffuseMap = nullptr;
    std::optional<FloatTrack> mix = FloatTrack(0.5f); // read for blends only
};

// Objects without parameters.
enum class PlainObject { Geometry, Shape, Dummy, Bone, Helper, Target };

class SceneBuilder {
public:
    SceneBuilder();
    ~SceneBuilder();
    SceneBuilder(const SceneBuilder&) = delete;
    SceneBuilder& operator=(const SceneBuilder&) = delete;

    // The scene, once the checks left to the end hold (material cycles). Animated
    // nodes given a whole matrix get it split into parts here, so controllers may
    // come before or after the transform. The builder is spent afterwards.
    std::unique_ptr<Scene> Finish();

    // ---- scene settings ----

    void SetTicksPerFrame(int ticks); // at least 1
    void SetTime(TimeValue t);
    void SetAnimRange(TimeValue start, TimeValue end); // start <= end
    void SetRenderSize(int width, int height);         // at least 1 each
    void SetAmbient(const ColorTrack& ambient);
    void SetAtmosphere(bool rendered, int count); // count >= 0
    // The file records no selection (a model format): see Scene::HoldsSelection.
    void SetNoSelection();
    // A file that came with the scene (an embedded texture), written beside the output.
    void AddExtraFile(std::string path, std::string bytes);
    // Something of the file the scene does not hold as the file means it, said to the user.
    void AddWarning(std::string sentence);

    // ---- texture maps and materials ----

    // A bitmap map; without a file it names none.
    Texmap* AddBitmapTex(const std::string& name, const std::optional<std::string>& file);
    // A map of a class the exporter cannot read (a procedural map).
    Texmap* AddOtherTex(const std::string& name);
    SceneMtl* AddMaterial(const MaterialSettings& settings);
    // The sub-material slots of a multi, blend or other material (null: an empty
    // slot). Standard materials have none, a blend always has two.
    void SetSubMaterials(SceneMtl* mtl, std::vector<Mtl*> subs);
    // Refuses a material that contains itself, naming the material (item: its
    // number in the order of AddMaterial) and the slot (part). Finish checks again.
    void CheckMaterialCycles() const;

    // ---- objects ----

    Object* AddObject(PlainObject kind);
    Object* AddBox(float length, float width, float height);
    // At most kMaxPlaneQuads quads.
    Object* AddPlane(float length, float width, int lengthSegs, int widthSegs);
    Object* AddCamera(const CameraSettings& settings);
    Object* AddLight(const LightSettings& settings);

    // A triangle mesh, with room reserved for the counts given.
    SceneMeshObject* AddMesh(size_t vertCount = 0, size_t faceCount = 0);
    void AddVerts(SceneMeshObject* mesh, const Point3* verts, size_t n);
    // Faces refer to the vertices added before them.
    void AddFaces(SceneMeshObject* mesh, const Face* faces, size_t n);
    // Map channel 1 (texture vertices) or 2.
    void AddMapVerts(SceneMeshObject* mesh, int channel, const UVVert* verts, size_t n);
    // Map faces refer to the channel's vertices added before them. Once a channel
    // has map faces (adding none counts), it needs one per face.
    void AddMapFaces(SceneMeshObject* mesh, int channel, const TVFace* faces, size_t n);
    // The same, taking the arrays whole: into a mesh or channel that holds none yet
    // they are moved rather than copied (a loader that gathers a whole mesh first).
    void AddVerts(SceneMeshObject* mesh, std::vector<Point3>&& verts);
    void AddFaces(SceneMeshObject* mesh, std::vector<Face>&& faces);
    void AddMapVerts(SceneMeshObject* mesh, int channel, std::vector<UVVert>&& verts);
    void AddMapFaces(SceneMeshObject* mesh, int channel, std::vector<TVFace>&& faces);
    // Completes a mesh: checks its map face counts (part: the channel at fault).
    // Finish ends the meshes left open.
    void EndMesh(SceneMeshObject* mesh);

    // ---- nodes ----

    // A node under `parent` (null: the scene's root); refused beyond kMaxNodeDepth.
    SceneNode* AddNode(SceneNode* parent, std::string name);
    void SetObject(SceneNode* node, Object* object) { node->object = object; }
    void SetMaterial(SceneNode* node, Mtl* mtl) { node->mtl = mtl; }
    void SetWireColor(SceneNode* node, DWORD rgb) { node->wireColor = rgb; }
    void SetSelected(SceneNode* node, int selected) { node->selected = selected; }
    // The transform relative to the parent, as a matrix or in parts.
    void SetTransform(SceneNode* node, const Matrix3& tm);
    void SetTransform(SceneNode* node, const TransformParts& parts);
    void SetObjectOffset(SceneNode* node, const Matrix3& tm);

    // ---- key tracks ----

    // The node's position or rotation controller of class `cls`, replacing any.
    KeyframeControl* SetController(SceneNode* node, bool rotation, KeyClass cls);
    // Keys come in strictly increasing time with finite values.
    void AddPositionKey(KeyframeControl* ctrl, TimeValue t, const Point3& p);
    // The rotation at the key; for a TCB controller use AddRelativeRotationKey.
    void AddRotationKey(KeyframeControl* ctrl, TimeValue t, const Quat& q);
    // A TCB key: the turn since the previous key (from no rotation for the first).
    void AddRelativeRotationKey(KeyframeControl* ctrl, TimeValue t, const AngAxis& turn);
    // The same rules for animated numbers and colours.
    static void AddKey(FloatTrack& track, TimeValue t, float value);
    static void AddKey(ColorTrack& track, TimeValue t, const Point3& value);

private:
    struct State;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<State> s;

    Scene::Impl& d();
    struct Channel;
    Channel MapChannel(SceneMeshObject* mesh, int channel);
    void AddMapFacesFrom(SceneMeshObject* mesh, int channel, const TVFace* faces, size_t n, std::vector<TVFace>* whole);
};

} // namespace vek
