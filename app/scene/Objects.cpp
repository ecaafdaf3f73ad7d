#include "SceneModel.h"

namespace vek {

// ---- materials ----

BOOL MixParamBlock::GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex)
{
    if (id != 0 || tabIndex != 0)
        return FALSE;
    v = mix.Value(t, ivalid);
    return TRUE;
}

Class_ID SceneMtl::ClassID()
{
    switch (kind) {
    case Kind::Standard:
        return Class_ID(DMTL_CLASS_ID, 0);
    case Kind::Multi:
        return Class_ID(MULTI_CLASS_ID, 0);
    case Kind::Blend:
        return Class_ID(MIXMAT_CLASS_ID, 0);
    case Kind::Other:
        break;
    }
    return Class_ID(0x4e2b19d7, 0x1c55);
}

Mtl* SceneMtl::GetSubMtl(int i) { return i >= 0 && size_t(i) < subs.size() ? subs[size_t(i)] : nullptr; }

int SceneMtl::NumSubTexmaps()
{
    if (kind == Kind::Standard)
        return 12;
    return diffuseMap ? ID_DI + 1 : 0;
}

Texmap* SceneMtl::GetSubTexmap(int i) { return i == ID_DI ? diffuseMap : nullptr; }

// ---- cameras and lights ----

float SceneCamera::GetClipDist(TimeValue t, int which, Interval& valid)
{
    if (which == CAM_HITHER_CLIP)
        return nearClip.Value(t, valid);
    if (which == CAM_YON_CLIP)
        return farClip.Value(t, valid);
    return 0.0f;
}

float SceneCamera::GetEnvRange(TimeValue t, int which, Interval& valid)
{
    if (which == ENV_NEAR_RANGE)
        return envNear.Value(t, valid);
    if (which == ENV_FAR_RANGE)
        return envFar.Value(t, valid);
    return 0.0f;
}

float SceneLight::GetAtten(TimeValue t, int which, Interval& valid)
{
    return which == ATTEN_END ? attenEnd.Value(t, valid) : 0.0f;
}

// ---- parametric geometry ----

Object* ParametricObject::ConvertToType(TimeValue, Class_ID obtype)
{
    if (obtype != triObjectClassID)
        return nullptr;
    auto tri = std::make_unique<SceneMeshObject>();
    BuildMesh(tri->mesh);
    return tri.release();
}

namespace {

struct BoxSide {
    int a, b, c, d; // the quad's corners: faces (a, b, c) and (c, d, a)
    WORD mtl;
    DWORD smooth;
};

// Each side is two triangles sharing the hidden diagonal c-a, counter-clockwise
// seen from outside the box.
constexpr BoxSide kBoxSides[6] = {
    {0, 2, 3, 1, 1, 2},  // bottom
    {4, 5, 7, 6, 0, 4},  // top
    {0, 1, 5, 4, 4, 8},  // front, y = min
    {1, 3, 7, 5, 3, 16}, // right, x = max
    {3, 2, 6, 7, 5, 32}, // back, y = max
    {2, 0, 4, 6, 2, 64}, // left, x = min
};

void SetFace(Face& f, int a, int b, int c, WORD mtl, DWORD smooth)
{
    f.setVerts(a, b, c);
    f.flags = EDGE_A | EDGE_B;
    f.setMatID(mtl);
    f.smGroup = smooth;
}

} // namespace

void BuildBoxMesh(Mesh& mesh, float length, float width, float height)
{
    float x = width / 2, y = length / 2;
    mesh.setNumVerts(8);
    for (int level = 0; level < 2; level++) {
        float z = level ? height : 0.0f;
        mesh.setVert(level * 4 + 0, Point3(-x, -y, z));
        mesh.setVert(level * 4 + 1, Point3(x, -y, z));
        mesh.setVert(level * 4 + 2, Point3(-x, y, z));
        mesh.setVert(level * 4 + 3, Point3(x, y, z));
    }
    mesh.setNumFaces(12);
    int f = 0;
    for (const BoxSide& s : kBoxSides) {
        SetFace(mesh.faces[size_t(f++)], s.a, s.b, s.c, s.mtl, s.smooth);
        SetFace(mesh.faces[size_t(f++)], s.c, s.d, s.a, s.mtl, s.smooth);
    }
    mesh.tVerts.clear();
    mesh.tvFace.clear();
}

void BuildPlaneMesh(Mesh& mesh, float length, float width, int lengthSegs, int widthSegs)
{
    // Filled by appending, on room reserved once: a resize would first clear
    // every element only for it to be written over.
    const int columns = widthSegs + 1, rows = lengthSegs + 1;
    const size_t vertCount = size_t(columns) * size_t(rows);
    mesh.verts.clear();
    mesh.tVerts.clear();
    mesh.verts.reserve(vertCount);
    mesh.tVerts.reserve(vertCount);
    for (int r = 0; r < rows; r++) {
        float fv = float(r) / float(lengthSegs);
        for (int c = 0; c < columns; c++) {
            float fu = float(c) / float(widthSegs);
            mesh.verts.emplace_back((fu - 0.5f) * width, (fv - 0.5f) * length, 0.0f);
            mesh.tVerts.emplace_back(fu, fv, 0.0f);
        }
    }
    const size_t faceCount = size_t(lengthSegs) * size_t(widthSegs) * 2;
    mesh.faces.clear();
    mesh.tvFace.clear();
    mesh.faces.reserve(faceCount);
    mesh.tvFace.reserve(faceCount);
    auto add = [&](int x, int y, int z) {
        // (a, b, e) and (e, d, a): the diagonal a-e is hidden in both.
        Face f;
        SetFace(f, x, y, z, 0, 1);
        mesh.faces.push_back(f);
        mesh.tvFace.emplace_back(DWORD(x), DWORD(y), DWORD(z));
    };
    for (int r = 0; r < lengthSegs; r++) {
        for (int c = 0; c < widthSegs; c++) {
            int a = r * columns + c, b = a + 1, d = a + columns, e = d + 1;
            add(a, b, e);
            add(e, d, a);
        }
    }
}

} // namespace vek
