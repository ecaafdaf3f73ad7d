#include "writers/MeshWriter.h"

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

ErrorFlags MeshWriter::WriteMeshBody(INode* node)
{
    (void)node;
    return ERROR_GEOMETRY; // not written yet
}

int MeshWriter::WriteFaces(Mesh& mesh, BOOL twoSided, int id)
{
    (void)mesh, (void)twoSided, (void)id;
    return 0;
}

BOOL MeshWriter::HasFacesWithMaterial(Mesh& mesh, int id)
{
    for (int f = 0; f < mesh.getNumFaces(); f++)
        if (mesh.faces[size_t(f)].getMatID() == id)
            return TRUE;
    return FALSE;
}

int MeshWriter::MergedVertexIndex(int index) { return index; }

BOOL MeshWriter::SharesHiddenEdge(Mesh& mesh, Face a, Face b)
{
    (void)mesh, (void)a, (void)b;
    return FALSE;
}

int MeshWriter::WriteFace(Mesh& mesh, BOOL textured, BOOL twoSided, int face, int partner)
{
    (void)mesh, (void)textured, (void)twoSided, (void)face, (void)partner;
    return 0;
}
