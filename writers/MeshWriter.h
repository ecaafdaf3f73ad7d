// The layer shared by the geometry and topology writers: the body of one node's mesh
// (vertices in the node's frame, an empty line, material lines and face lines) and
// the parent/child vertex merge.
#pragma once

#include "writers/NodeWriter.h"

class MeshWriter : public NodeWriter {
public:
    MeshWriter(FILE* outFile, Interface* ip, int depth, InstanceNodeList instanceNodes);
    ~MeshWriter() override;

    virtual void SetMaterials(BOOL exportMaterials);
    virtual void SetMerge(BOOL mergeVertices, int mergePrecision);
    virtual void SetQuadFaces(BOOL quadFaces);
    // Writes the node's mesh body at depth + 1; 0, or ERROR_GEOMETRY when the node's
    // mesh (or, when merging, its geometry parent's mesh) cannot be obtained.
    virtual ErrorFlags WriteMeshBody(INode* node);
    // Writes the faces with material identifier id (all faces for -1).
    virtual int WriteFaces(Mesh& mesh, BOOL twoSided, int id);
    virtual BOOL HasFacesWithMaterial(Mesh& mesh, int id);
    // The parent vertex a vertex was merged with (counted past this mesh's vertices),
    // or the index itself.
    virtual int MergedVertexIndex(int index);

    // Whether faces a and b both have a first hidden edge joining the same two vertices.
    BOOL SharesHiddenEdge(Mesh& mesh, Face a, Face b);
    // One face line (and its reversed copy when two-sided); partner -1 for a triangle.
    int WriteFace(Mesh& mesh, BOOL textured, BOOL twoSided, int face, int partner);

protected:
    BOOL exportMaterials = FALSE;
    BOOL mergeVertices = FALSE;
    BOOL quadFaces = FALSE;
    InstanceNodeList instanceNodes;
    int mergePrecision = 0;
    Tab<int> mergeSources;
    Tab<int> mergeTargets;
};
