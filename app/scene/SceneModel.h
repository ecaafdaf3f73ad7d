// The concrete host objects of a loaded scene: animated values, texture maps,
// materials, objects, keyframe controllers and nodes. Internal to the scene
// library; loaders make them through SceneBuilder and Scene owns them.
#pragma once

#include "Scene.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vek {

// ---- animated values ----

inline float Lerp(float a, float b, float u) { return a + (b - a) * u; }
inline Point3 Lerp(const Point3& a, const Point3& b, float u) { return a + (b - a) * u; }

// Position of t between two key times, 0..1. Computed in 64 bits: key times may
// lie at both ends of the tick range.
inline float KeyFraction(TimeValue t0, TimeValue t1, TimeValue t)
{
    return float(double(int64_t(t) - t0) / double(int64_t(t1) - t0));
}

// Index i of the last key with times[i] <= t, for t strictly inside the key range.
inline size_t SegmentBefore(const std::vector<TimeValue>& times, TimeValue t)
{
    return size_t(std::upper_bound(times.begin(), times.end(), t) - times.begin()) - 1;
}

// The keyed values (one per key time, at least one key) at t: held at the first / last
// key outside them, mix(a, b, u) of the two keys around t between them.
template <class T, class Mix>
T Interpolate(const std::vector<TimeValue>& times, const std::vector<T>& values, TimeValue t, Mix mix)
{
    if (t <= times.front())
        return values.front();
    if (t >= times.back())
        return values.back();
    size_t i = SegmentBefore(times, t);
    return mix(values[i], values[i + 1], KeyFraction(times[i], times[i + 1], t));
}

// Narrows a validity interval to the single instant t (the value changes around it).
inline void NarrowToInstant(Interval& valid, TimeValue t)
{
    valid.Set(std::max(valid.Start(), t), std::min(valid.End(), t));
}

// A constant or a keyed value, interpolated linearly between keys and held at
// the first / last key outside them. Key times are strictly increasing.
template <class T> struct Track {
    std::vector<TimeValue> times; // empty: constant
    std::vector<T> values;        // one value when constant, else one per key

    Track() : values(1) {}
    explicit Track(const T& v) : values{v} {}

    bool Animated() const { return times.size() > 1; }

    T Value(TimeValue t) const
    {
        if (times.empty())
            return values.front();
        return Interpolate(times, values, t, [](const T& a, const T& b, float u) { return Lerp(a, b, u); });
    }

    T Value(TimeValue t, Interval& valid) const
    {
        if (Animated())
            NarrowToInstant(valid, t);
        return Value(t);
    }
};

using FloatTrack = Track<float>;
using ColorTrack = Track<Point3>;

// ---- texture maps ----

class SceneBitmapTex : public BitmapTex {
public:
    TSTR name;
    bool hasFile = false;
    std::string file;

    TSTR& GetName() override { return name; }
    const MCHAR* GetMapName() override { return hasFile ? file.c_str() : nullptr; }
};

// A texture map of a class the exporter does not know (a procedural map).
class SceneOtherTex : public Texmap {
public:
    TSTR name;

    Class_ID ClassID() override { return Class_ID(0x5c1e7a31, 0x2b04); }
    TSTR& GetName() override { return name; }
};

// ---- materials ----

// The parameter block 0 of a blend material: parameter 0 is the mix amount.
class MixParamBlock : public IParamBlock2 {
public:
    FloatTrack mix;

    BOOL GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex) override;
};

// Every material class of the scene: the class decides which parts it answers.
class SceneMtl : public StdMat {
public:
    enum class Kind { Standard, Multi, Blend, Other };

    Kind kind = Kind::Standard;
    TSTR name;
    Color diffuse{0.5f, 0.5f, 0.5f};
    float transparency = 0.0f;
    bool twoSided = false;
    Texmap* diffuseMap = nullptr;
    std::vector<Mtl*> subs;                  // null entries are empty slots
    std::unique_ptr<MixParamBlock> mixBlock; // blend only; null: no parameter block 0

    Class_ID ClassID() override;
    TSTR& GetName() override { return name; }
    int NumSubMtls() override { return int(subs.size()); }
    Mtl* GetSubMtl(int i) override;
    Color GetDiffuse(int, BOOL) override { return diffuse; }
    float GetXParency(int, BOOL) override { return transparency; }
    // A standard material has the host's twelve map slots; other classes only
    // the diffuse slot, when they have a diffuse map.
    int NumSubTexmaps() override;
    Texmap* GetSubTexmap(int i) override;
    BOOL GetTwoSided() override { return twoSided; }
    int NumParamBlocks() override { return mixBlock ? 1 : 0; }
    IParamBlock2* GetParamBlock(int i) override { return i == 0 ? mixBlock.get() : nullptr; }
};

// ---- objects ----

class SceneMeshObject : public TriObject {};

// Builds the host's box primitive: see BoxObject.
void BuildBoxMesh(Mesh& mesh, float length, float width, float height);
// Builds a grid of lengthSegs x widthSegs quads in z = 0, centred at the origin.
void BuildPlaneMesh(Mesh& mesh, float length, float width, int lengthSegs, int widthSegs);

// A parametric object that converts to a new triangle mesh on each request.
class ParametricObject : public GeomObject {
public:
    int CanConvertToType(Class_ID obtype) override { return obtype == triObjectClassID; }
    // A new TriObject the caller deletes, or null for other types.
    Object* ConvertToType(TimeValue t, Class_ID obtype) override;

    // The faces BuildMesh makes, without building them.
    virtual size_t FaceCount() const = 0;

protected:
    virtual void BuildMesh(Mesh& mesh) const = 0;
};

// Width along x, length along y, height along z; base at z = 0.
class BoxObject : public ParametricObject {
public:
    float length = 10, width = 10, height = 10;
    Class_ID ClassID() override { return Class_ID(0x10, 0); }
    size_t FaceCount() const override { return 12; }

protected:
    void BuildMesh(Mesh& mesh) const override { BuildBoxMesh(mesh, length, width, height); }
};

class PlaneObject : public ParametricObject {
public:
    float length = 100, width = 100;
    int lengthSegs = 1, widthSegs = 1;
    Class_ID ClassID() override { return Class_ID(0x81, 0); }
    size_t FaceCount() const override { return size_t(lengthSegs) * size_t(widthSegs) * 2; }

protected:
    void BuildMesh(Mesh& mesh) const override { BuildPlaneMesh(mesh, length, width, lengthSegs, widthSegs); }
};

// Geometry that has no triangle-mesh form (a particle system, say).
class OpaqueGeomObject : public GeomObject {
public:
    Class_ID ClassID() override { return Class_ID(0x9bd61aa0, 0); }
};

class TargetObject : public GeomObject {
public:
    Class_ID ClassID() override { return Class_ID(TARGET_CLASS_ID, 0); }
};

class SceneShapeObject : public Object {
public:
    Class_ID ClassID() override { return Class_ID(0x3a5e0c11, 0); }
    SClass_ID SuperClassID() override { return SHAPE_CLASS_ID; }
};

class SceneHelperObject : public HelperObject {
public:
    Class_ID classId;
    explicit SceneHelperObject(Class_ID id) : classId(id) {}
    Class_ID ClassID() override { return classId; }
};

struct CameraSettings {
    FloatTrack fov{0.785398f}; // radians
    bool manualClip = false;
    FloatTrack nearClip{1.0f}, farClip{1000.0f}, envNear{0.0f}, envFar{1000.0f};
};

class SceneCamera : public GenCamera, public CameraSettings {
public:
    Class_ID ClassID() override { return Class_ID(0x1001, 0); }
    float GetFOV(TimeValue t, Interval& valid) override { return fov.Value(t, valid); }
    int GetManualClip() override { return manualClip; }
    // CAM_HITHER_CLIP / CAM_YON_CLIP; 0 for other selectors.
    float GetClipDist(TimeValue t, int which, Interval& valid) override;
    // ENV_NEAR_RANGE / ENV_FAR_RANGE; 0 for other selectors.
    float GetEnvRange(TimeValue t, int which, Interval& valid) override;
};

struct LightSettings {
    int type = OMNI_LIGHT;
    bool on = true;
    ColorTrack color{Point3(1.0f, 1.0f, 1.0f)};
    FloatTrack falloffDeg{45.0f}, attenEnd{0.0f}, intensity{1.0f};
    bool useAtten = false;
    int decay = DECAY_NONE;
};

class SceneLight : public GenLight, public LightSettings {
public:
    // By type: omni (0x1011), target spot (0x1012), directional (0x1013),
    // free spot (0x1014), target directional (0x1015).
    Class_ID ClassID() override { return Class_ID(ULONG(0x1011 + type), 0); }
    int Type() override { return type; }
    int GetDecayType() override { return decay; }
    int GetUseLight() override { return on; }
    Point3 GetRGBColor(TimeValue t, Interval& valid) override { return color.Value(t, valid); }
    float GetFallsize(TimeValue t, Interval& valid) override { return falloffDeg.Value(t, valid); }
    // ATTEN_END answers attenEnd; the other selectors 0.
    float GetAtten(TimeValue t, int which, Interval& valid) override;
    float GetIntensity(TimeValue t, Interval& valid) override { return intensity.Value(t, valid); }
    int GetUseAtten() override { return useAtten; }
};

// ---- controllers ----

enum class KeyClass { TCB, Bezier, Linear, Other };

// A keyframe position or rotation controller. Keys are sorted by strictly
// increasing time; between keys positions are interpolated linearly and
// rotations spherically, outside the keys the first / last value holds.
class KeyframeControl : public Control, public IKeyControl {
public:
    KeyframeControl(bool isRotation, KeyClass keyClass) : rotation(isRotation), cls(keyClass) {}

    const bool rotation;
    const KeyClass cls;
    std::vector<TimeValue> times;
    std::vector<Point3> positions; // position controllers: one per key
    std::vector<Quat> absolute;    // rotation controllers: the rotation at each key
    std::vector<AngAxis> relative; // TCB rotation: each key relative to the previous one

    Class_ID ClassID() override;
    SClass_ID SuperClassID() override { return rotation ? CTRL_ROTATION_CLASS_ID : CTRL_POSITION_CLASS_ID; }
    // I_KEYCONTROL for every class, so callers can at least count the keys.
    void* GetInterface(ULONG id) override;
    TimeValue GetKeyTime(int index) override;

    int GetNumKeys() override { return int(times.size()); }
    // Fills the record of this controller's class; only the IKey fields for
    // `Other`. An index out of range leaves *key as it is.
    void GetKey(int i, IKey* key) override;

    bool HasKeys() const { return !times.empty(); }
    Point3 PositionAt(TimeValue t) const;
    Quat RotationAt(TimeValue t) const;
};

// The transform controller of a node: its position and rotation tracks (null
// when the node has none).
class PRSControl : public Control {
public:
    std::unique_ptr<KeyframeControl> position, rotation;

    Class_ID ClassID() override { return Class_ID(PRS_CONTROL_CLASS_ID, 0); }
    SClass_ID SuperClassID() override { return CTRL_MATRIX3_CLASS_ID; }
    Control* GetPositionController() override { return position.get(); }
    Control* GetRotationController() override { return rotation.get(); }
};

// ---- nodes ----

// A node transform split into stretch, rotation and translation, so that
// controllers can replace the rotation and the translation: local = S * R * T.
struct TransformParts {
    Matrix3 stretch; // no translation
    Quat rotation;   // host convention
    Point3 translation;
    Matrix3 matrix; // the whole transform as given
};

// The parts of a transform given as a matrix; without `decompose` only the matrix
// is set (enough for a node without controllers).
TransformParts MakeTransformParts(const Matrix3& matrix, bool decompose);

class SceneNode : public INode {
public:
    std::string name;
    SceneNode* parent = nullptr;
    std::vector<SceneNode*> children; // owned by the scene
    bool root = false;
    int depth = 0; // the root's is 0
    Object* object = nullptr;
    Mtl* mtl = nullptr;
    DWORD wireColor = RGB(128, 128, 128);
    int selected = 0;
    TransformParts transform;
    Matrix3 objectOffset;
    PRSControl tmControl;

    const MCHAR* GetName() override { return name.c_str(); }
    int NumberOfChildren() override { return int(children.size()); }
    // Null for an index out of range.
    INode* GetChildNode(int i) override;
    INode* GetParentNode() override { return parent; }
    int IsRootNode() override { return root; }
    int Selected() override { return selected; }
    const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden) override;
    Matrix3 GetNodeTM(TimeValue t, Interval* valid) override;
    Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid) override;
    Object* GetObjectRef() override { return object; }
    Mtl* GetMtl() override { return mtl; }
    DWORD GetWireColor() override { return wireColor; }
    Control* GetTMController() override { return &tmControl; }

    // The transform relative to the parent at time t.
    Matrix3 LocalTM(TimeValue t) const;
    bool Animated() const;

private:
    ObjectState state;
};

// ---- the scene ----

struct Scene::Impl {
    int ticksPerFrame = 160;
    TimeValue time = 0;
    Interval animRange{0, 16000};
    int renderWidth = 640, renderHeight = 480;
    ColorTrack ambient{Point3(0.0f, 0.0f, 0.0f)};
    bool atmosphereRendered = false;
    int atmosphereCount = 0;
    std::string pluginConfigDir;
    // Whether the file the scene came from records which nodes are selected.
    bool holdsSelection = true;
    std::string textureRootDir;
    // What the export of the scene is expected to write, and what the process had
    // written before it: the progress of an export.
    double expectedBytes = 1;
    unsigned long long bytesAtActivate = 0;

    SceneNode rootNode;
    std::vector<std::unique_ptr<SceneNode>> nodes;
    std::vector<std::unique_ptr<Object>> objects;
    std::vector<std::unique_ptr<Mtl>> materials;
    std::vector<std::unique_ptr<Texmap>> texmaps;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> warnings;
};

} // namespace vek
