// The layer shared by the geometry and topology writers: the body of one node's mesh
// (vertices in the node's frame, an empty line, material lines and face lines) and
// the parent/child vertex merge.
//
// Every vertex of the node is written in its own list; a child vertex that lies in
// the box of a vertex of its geometry parent (half-size mergePrecision tenths of a
// unit, bounds included) is referred to by the faces as that parent vertex, counted
// past the end of the child's list: the lowest such parent vertex.
// The parent takes part only when it writes its own mesh (GeometryRoleOf gives Mesh):
// not the scene root, not a node the selection leaves out, not a target, a collision
// box or a node of another kind.
#pragma once

#include "writers/NodeWriter.h"

#include <vector>

class MergeGrid;
class PositionCache;
class TextBuffer;

class MeshWriter : public NodeWriter {
public:
    MeshWriter(FILE* outFile, Interface* ip, int depth, InstanceNodeList instanceNodes);
    ~MeshWriter() override;

    virtual void SetMaterials(BOOL exportMaterials);
    virtual void SetMerge(BOOL mergeVertices, int mergePrecision);
    virtual void SetQuadFaces(BOOL quadFaces);
    // The export's cache of world positions (null: none). With a merge, the mesh of a
    // node with children is kept there for them, and a parent's is taken from there;
    // whoever owns the cache forgets a node once its children are written.
    void SetPositionCache(PositionCache* cache);
    // Writes the node's mesh body at depth + 1; 0, or ERROR_GEOMETRY (nothing written)
    // when the node's mesh (or, when merging, its geometry parent's mesh) cannot be
    // obtained.
    virtual ErrorFlags WriteMeshBody(INode* node);
    // Writes the faces with material identifier id (all faces for -1), joining pairs
    // of triangles that share a hidden edge when quadFaces is set. 0, or
    // ERROR_GEOMETRY without output stream.
    virtual int WriteFaces(Mesh& mesh, BOOL twoSided, int id);
    virtual BOOL HasFacesWithMaterial(Mesh& mesh, int id);
    // The parent vertex a vertex of the last mesh body was merged with (counted past
    // that mesh's vertices), or the index itself.
    virtual int MergedVertexIndex(int index);

    // Whether faces a and b both have a first hidden edge and those edges join the
    // same two vertices, in either direction.
    BOOL SharesHiddenEdge(Mesh& mesh, Face a, Face b);
    // One face line (and its reversed copy when two-sided); partner -1 for a triangle,
    // otherwise the face whose corner opposite its first hidden edge is inserted into
    // this face's first hidden edge. 0, or ERROR_GEOMETRY without output stream.
    int WriteFace(Mesh& mesh, BOOL textured, BOOL twoSided, int face, int partner);

protected:
    BOOL exportMaterials = FALSE;
    BOOL mergeVertices = FALSE;
    BOOL quadFaces = FALSE;
    InstanceNodeList instanceNodes;
    int mergePrecision = 0;
    PositionCache* positionCache = nullptr;
    // One entry per merged vertex of the last mesh body, in vertex order: the vertex
    // and the lowest parent vertex whose box holds it (the only one faces refer to).
    Tab<int> mergeSources;
    Tab<int> mergeTargets;

private:
    void ForgetMesh();
    // The vertex lines, in the node's frame (toLocal of the world positions: world, or
    // objTM times the mesh's when world is empty); with a grid, fills the merge
    // tables as it goes.
    void WriteVertices(const Mesh& mesh, const Matrix3& objTM, const Matrix3& toLocal, const std::vector<Point3>& world,
                       const MergeGrid* grid);
    // The material lines and face lines: one group per used slot of a multi-material,
    // one for a single material, or the wire colour's under the node's name.
    void WriteFaceGroups(INode* node, Mesh& mesh);
    struct FaceTexture; // the texture channels of a textured mesh's face lines
    void FormatFace(TextBuffer& out, const Mesh& mesh, const FaceTexture* texture, BOOL twoSided, int face,
                    int partner);
    // mergeSources/mergeTargets as a table by vertex, built once per mesh body.
    std::vector<int> mergedIndex;
    // While a mesh body is written: the material identifiers its faces use.
    const Mesh* idMesh = nullptr;
    std::vector<bool> idUsed;
};
