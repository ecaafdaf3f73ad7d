#include "writers/GeometryWriter.h"

#include "resources/resource.h"

GeometryWriter::GeometryWriter(FILE* file, Interface* i, int d, InstanceNodeList nodes)
    : MeshWriter(file, i, d, std::move(nodes))
{
}

void GeometryWriter::SetTopology(BOOL topology) { exportTopology = topology; }

void GeometryWriter::SetAnimation(BOOL animation) { exportAnimation = animation; }

void GeometryWriter::SetGeometry(BOOL geometry) { exportGeometry = geometry; }

ErrorFlags GeometryWriter::Export(INode* node)
{
    if (!outFile)
        return ERROR_GEOMETRY;
    if (exportGeometry)
        WriteNodeHeader(IDS_MESH, node);
    return 0;
}
