#include "writers/MeshWriter.h"

#include "writers/MergeGrid.h"
#include "writers/PositionCache.h"
#include "writers/TextBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

// The standard material's two-sided setting; every other class is one-sided.
BOOL IsTwoSided(Mtl* mtl)
{
    if (!mtl || mtl->ClassID() != Class_ID(DMTL_CLASS_ID, 0))
        return FALSE;
    return static_cast<StdMat*>(mtl)->GetTwoSided() ? TRUE : FALSE;
}

// A multi-material's slots; a blend has slots too but is drawn as one material.
bool IsMulti(Mtl* mtl) { return mtl->NumSubMtls() > 0 && mtl->ClassID() != Class_ID(MIXMAT_CLASS_ID, 0); }

// The material the host draws faces of identifier id with, when slot id of a
// multi-material holds mtl: a nested multi-material takes the identifier modulo its
// number of slots, down to a material that is not one. Null for an empty slot.
Mtl* LeafMaterial(Mtl* mtl, int id)
{
    while (mtl && IsMulti(mtl))
        mtl = mtl->GetSubMtl(id % mtl->NumSubMtls());
    return mtl;
}

// A triangle-mesh object obtained for the writer, deleted when it was made for it.
class AcquiredMesh {
public:
    AcquiredMesh(INode* node, TimeValue t) { tri = NodeWriter::AcquireTriObject(node, t, mustDelete); }
    ~AcquiredMesh()
    {
        if (tri && mustDelete)
            delete tri;
    }
    AcquiredMesh(const AcquiredMesh&) = delete;
    AcquiredMesh& operator=(const AcquiredMesh&) = delete;
    TriObject* get() const { return tri; }

private:
    TriObject* tri = nullptr;
    int mustDelete = 0;
};

// The mesh's vertices transformed by tm.
std::vector<Point3> WorldPositions(const Mesh& mesh, const Matrix3& tm)
{
    std::vector<Point3> world(mesh.verts.size());
    for (size_t i = 0; i < world.size(); i++)
        world[i] = tm * mesh.verts[i];
    return world;
}

// The world positions of the parent's vertices: those kept since its mesh was
// written, or from its mesh obtained now (kept for its other children), in storage
// when there is no cache. Null when its mesh cannot be obtained.
const std::vector<Point3>* ParentPositions(INode* parent, TimeValue t, PositionCache* cache,
                                           std::vector<Point3>& storage)
{
    if (cache)
        if (const std::vector<Point3>* kept = cache->Find(parent, t))
            return kept;
    AcquiredMesh acquired(parent, t);
    if (!acquired.get())
        return nullptr;
    storage = WorldPositions(acquired.get()->GetMesh(), parent->GetObjTMAfterWSM(t));
    return cache ? &cache->Keep(parent, t, std::move(storage)) : &storage;
}

// The line that opens a run of faces: the name, indented, then end.
void WriteNameLine(FILE* file, long long indent, const CStr& name, const char* end)
{
    TextBuffer out(file);
    out.Spaces(indent);
    out.Text(name.data(), size_t(name.Length()));
    out.Text(end);
}

// The merge grid of the parent's world positions, over the region the child's world
// positions span (NaN coordinates left out); h is the half-size of the boxes.
std::unique_ptr<MergeGrid> GridAround(const std::vector<Point3>& parentWorld, const std::vector<Point3>& world,
                                      double h)
{
    float lo[3], hi[3];
    for (int k = 0; k < 3; k++) {
        lo[k] = std::numeric_limits<float>::infinity();
        hi[k] = -std::numeric_limits<float>::infinity();
    }
    for (const Point3& w : world)
        for (int k = 0; k < 3; k++)
            if (!std::isnan(w[k])) {
                lo[k] = std::min(lo[k], w[k]);
                hi[k] = std::max(hi[k], w[k]);
            }
    return std::make_unique<MergeGrid>(parentWorld.data(), int(parentWorld.size()), h, lo, hi);
}

} // namespace

MeshWriter::MeshWriter(FILE* file, Interface* i, int d, InstanceNodeList nodes)
    : NodeWriter(file, i, d), instanceNodes(std::move(nodes))
{
    SetDecimals(6);
    SetIndentation(1);
    SetTime(0);
    SetLegacyFormat(0);
}

MeshWriter::~MeshWriter()
{
    mergeTargets.Init();
    mergeSources.Init();
    instanceNodes.Init();
}

void MeshWriter::SetMaterials(BOOL materials) { exportMaterials = materials; }

void MeshWriter::SetMerge(BOOL merge, int precision)
{
    mergeVertices = merge;
    mergePrecision = precision;
}

void MeshWriter::SetQuadFaces(BOOL quads) { quadFaces = quads; }

void MeshWriter::SetPositionCache(PositionCache* cache) { positionCache = cache; }

void MeshWriter::ForgetMesh()
{
    mergeSources.ZeroCount();
    mergeTargets.ZeroCount();
    mergedIndex.clear();
    idMesh = nullptr;
    idUsed.clear();
}

ErrorFlags MeshWriter::WriteMeshBody(INode* node)
{
    ForgetMesh();
    if (!node)
        return ERROR_GEOMETRY;
    const TimeValue t = GetTime();
    AcquiredMesh own(node, t);
    if (!own.get())
        return ERROR_GEOMETRY;

    // The parent's mesh takes part only when the parent writes its own: merged faces
    // refer to its vertices.
    const std::vector<Point3>* parentWorld = nullptr;
    std::vector<Point3> parentStorage;
    if (mergeVertices) {
        INode* parent = node->GetParentNode();
        if (parent && GeometryRoleOf(parent, t) == GeometryRole::Mesh) {
            parentWorld = ParentPositions(parent, t, positionCache, parentStorage);
            if (!parentWorld)
                return ERROR_GEOMETRY;
        }
    }

    Mesh& mesh = own.get()->GetMesh();
    const Matrix3 objTM = node->GetObjTMAfterWSM(t);
    const Matrix3 toLocal = Inverse(node->GetNodeTM(t));
    // With a merge the world positions come first: the grid needs the region they span.
    // A node with children keeps them for the children's merge.
    const bool keep = positionCache && mergeVertices && node->NumberOfChildren() > 0;
    std::vector<Point3> world;
    if (parentWorld || keep)
        world = WorldPositions(mesh, objTM);
    std::unique_ptr<MergeGrid> grid;
    if (parentWorld) {
        grid = GridAround(*parentWorld, world, mergePrecision * 0.1);
        const int numVerts = mesh.getNumVerts();
        mergedIndex.resize(size_t(numVerts));
        // Appending a few at a time would copy the tables over and over.
        mergeSources.Resize(numVerts);
        mergeTargets.Resize(numVerts);
    }
    WriteVertices(mesh, objTM, toLocal, world, grid.get());
    WriteFaceGroups(node, mesh);
    // The meshes are released here; the merge tables stay for the caller.
    idMesh = nullptr;
    idUsed.clear();
    if (keep)
        positionCache->Keep(node, t, std::move(world));
    return 0;
}

void MeshWriter::WriteVertices(const Mesh& mesh, const Matrix3& objTM, const Matrix3& toLocal,
                               const std::vector<Point3>& world, const MergeGrid* grid)
{
    TextBuffer out(outFile);
    const int numVerts = mesh.getNumVerts();
    const long long indent = static_cast<long long>(indentSize) * (depth + 1);
    for (int i = 0; i < numVerts; i++) {
        const Point3 w = world.empty() ? objTM * mesh.verts[size_t(i)] : world[size_t(i)];
        if (grid) {
            int j = grid->LowestContaining(w);
            int target = i;
            if (j >= 0) {
                target = int(static_cast<long long>(numVerts) + j);
                mergeSources.Append(1, &i, 25);
                mergeTargets.Append(1, &target, 25);
            }
            mergedIndex[size_t(i)] = target;
        }
        Point3 l = toLocal * w;
        out.Spaces(indent);
        const float xzy[3] = {l.x, l.z, l.y};
        for (int k = 0; k < 3; k++) {
            char* at = out.Reserve(FORMAT_FIXED_MAX + 1);
            size_t n = FormatFloatTo(at, xzy[k]);
            at[n] = k < 2 ? ' ' : '\n';
            out.Advance(n + 1);
        }
    }
    out.Char('\n');
}

void MeshWriter::WriteFaceGroups(INode* node, Mesh& mesh)
{
    const long long indent = static_cast<long long>(indentSize) * (depth + 1);
    Mtl* mtl = node->GetMtl();
    if (!exportMaterials || !mtl) {
        WriteNameLine(outFile, indent, FormatMaterialName(node->GetName(), "_COL"), "\n");
        WriteFaces(mesh, FALSE, -1);
        return;
    }
    if (!IsMulti(mtl)) {
        WriteNameLine(outFile, indent, FormatMaterialName(mtl->GetName()), "\n");
        WriteFaces(mesh, IsTwoSided(mtl), -1);
        return;
    }
    // The identifiers in use, found in one pass: the question is asked once per slot.
    idUsed.assign(0x10000, false);
    for (const Face& f : mesh.faces)
        idUsed[f.getMatID()] = true;
    idMesh = &mesh;
    const int numSubs = mtl->NumSubMtls();
    for (int k = 0; k < numSubs; k++) {
        if (!HasFacesWithMaterial(mesh, k))
            continue;
        // An empty slot has no material block to name: its faces are left out, like
        // those of identifiers beyond the last slot.
        Mtl* sub = LeafMaterial(mtl->GetSubMtl(k), k);
        if (!sub)
            continue;
        WriteNameLine(outFile, indent, FormatMaterialName(sub->GetName()), "\n");
        WriteFaces(mesh, IsTwoSided(sub), k);
    }
}

BOOL MeshWriter::HasFacesWithMaterial(Mesh& mesh, int id)
{
    if (idMesh == &mesh)
        return id >= 0 && id < 0x10000 && idUsed[size_t(id)] ? TRUE : FALSE;
    for (const Face& f : mesh.faces)
        if (f.getMatID() == id)
            return TRUE;
    return FALSE;
}

int MeshWriter::MergedVertexIndex(int index)
{
    if (index >= 0 && size_t(index) < mergedIndex.size())
        return mergedIndex[size_t(index)];
    return index;
}
