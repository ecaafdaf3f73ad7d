// The "mesh" block of a geometry node: header, mesh body or topology reference, and
// the "anim" block of its position and rotation keys.
#pragma once

#include "writers/MeshWriter.h"

class GeometryWriter : public MeshWriter {
public:
    GeometryWriter(FILE* outFile, Interface* ip, int depth, InstanceNodeList instanceNodes);
    // 0, or ERROR_GEOMETRY and/or ERROR_ANIMATION.
    ErrorFlags Export(INode* node) override;
    virtual void SetTopology(BOOL exportTopology);
    virtual void SetAnimation(BOOL exportAnimation);
    virtual void SetGeometry(BOOL exportGeometry);

protected:
    BOOL exportTopology = FALSE;
    BOOL exportAnimation = FALSE;
    BOOL exportGeometry = FALSE;
};
