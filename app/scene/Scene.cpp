#include "SceneModel.h"

#include "transaction.h"

#include <algorithm>

namespace vek {

namespace {

// What a file takes, on average, for a node's block and for each triangle of a mesh
// (its vertices included): about 45 bytes with four-vertex faces at six decimals, 60
// without. An estimate for a progress bar only.
constexpr double BytesPerNode = 300;
constexpr double BytesPerFace = 55;

size_t FaceCount(Object* object)
{
    if (auto* tri = dynamic_cast<TriObject*>(object))
        return size_t(tri->mesh.getNumFaces());
    if (auto* parametric = dynamic_cast<ParametricObject*>(object))
        return parametric->FaceCount();
    return 0;
}

} // namespace

// ---- nodes ----

INode* SceneNode::GetChildNode(int i) { return i >= 0 && size_t(i) < children.size() ? children[size_t(i)] : nullptr; }

const ObjectState& SceneNode::EvalWorldState(TimeValue, BOOL)
{
    state.obj = object;
    return state;
}

bool SceneNode::Animated() const
{
    return (tmControl.position && tmControl.position->HasKeys()) ||
           (tmControl.rotation && tmControl.rotation->HasKeys());
}

Matrix3 SceneNode::LocalTM(TimeValue t) const
{
    if (!Animated())
        return transform.matrix;
    Quat q = transform.rotation;
    if (tmControl.rotation && tmControl.rotation->HasKeys())
        q = tmControl.rotation->RotationAt(t);
    Point3 p = transform.translation;
    if (tmControl.position && tmControl.position->HasKeys())
        p = tmControl.position->PositionAt(t);
    Matrix3 r;
    q.MakeMatrix(r);
    return transform.stretch * r * TransMatrix(p);
}

Matrix3 SceneNode::GetNodeTM(TimeValue t, Interval* valid)
{
    Matrix3 tm;
    bool animated = false;
    for (SceneNode* n = this; n; n = n->parent) {
        tm = tm * n->LocalTM(t);
        animated = animated || n->Animated();
    }
    if (valid && animated)
        NarrowToInstant(*valid, t);
    return tm;
}

Matrix3 SceneNode::GetObjTMAfterWSM(TimeValue t, Interval* valid) { return objectOffset * GetNodeTM(t, valid); }

TransformParts MakeTransformParts(const Matrix3& matrix, bool decompose)
{
    TransformParts parts;
    parts.matrix = matrix;
    if (decompose) {
        AffineParts ap;
        decomp_affine(matrix, &ap);
        Matrix3 q;
        ap.q.MakeMatrix(q);
        Matrix3 linear = matrix;
        linear.NoTrans();
        // What remains once the rotation is taken out: scale, shear and the sign of
        // a mirroring, so that stretch * q * trans gives the matrix back.
        parts.stretch = linear * Inverse(q);
        parts.rotation = ap.q;
        parts.translation = ap.t;
    }
    return parts;
}

// ---- the scene ----

Scene::Scene() : d(std::make_unique<Impl>()) { d->rootNode.root = true; }

Scene::~Scene()
{
    if (GetCOREInterface() == this)
        SetCOREInterface(nullptr);
}

HWND Scene::GetMAXHWnd() { return GetApplicationWindow(); }
INode* Scene::GetRootNode() { return &d->rootNode; }
TimeValue Scene::GetTime() { return d->time; }
Interval Scene::GetAnimRange() { return d->animRange; }
const MCHAR* Scene::GetDir(int which)
{
    if (which == APP_PLUGCFG_DIR)
        return d->pluginConfigDir.c_str();
    return which == APP_TEXTURE_ROOT_DIR ? d->textureRootDir.c_str() : "";
}
int Scene::GetRendWidth() { return d->renderWidth; }
int Scene::GetRendHeight() { return d->renderHeight; }
Point3 Scene::GetAmbient(TimeValue t, Interval& valid) { return d->ambient.Value(t, valid); }
BOOL Scene::GetRendAtmosphere() { return d->atmosphereRendered; }
int Scene::NumAtmospheric() { return d->atmosphereCount; }

void Scene::SetPluginConfigDir(const std::string& dir) { d->pluginConfigDir = dir; }
void Scene::SetTextureRootDir(const std::string& dir) { d->textureRootDir = dir; }
LogSys* Scene::Log() { return GetApplicationLog(); }
double Scene::ExportProgress() const
{
    double done = double(BytesWrittenToFiles() - d->bytesAtActivate);
    return std::min(0.99, done / d->expectedBytes);
}

void Scene::Activate()
{
    d->expectedBytes = BytesPerNode;
    for (const auto& node : d->nodes)
        d->expectedBytes += BytesPerNode + BytesPerFace * double(FaceCount(node->object));
    d->bytesAtActivate = BytesWrittenToFiles();
    SetTicksPerFrame(d->ticksPerFrame);
    SetCOREInterface(this);
}
int Scene::TicksPerFrame() const { return d->ticksPerFrame; }
const std::vector<std::pair<std::string, std::string>>& Scene::ExtraFiles() const { return d->files; }
bool Scene::HoldsSelection() const { return d->holdsSelection; }
const std::vector<std::string>& Scene::Warnings() const { return d->warnings; }

} // namespace vek
