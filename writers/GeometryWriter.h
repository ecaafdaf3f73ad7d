// The "mesh" block of a geometry node: header, mesh body or topology reference, and
// the "anim" block of its position and rotation keys.
#pragma once

#include "writers/MeshWriter.h"

class GeometryWriter : public MeshWriter {
public:
    GeometryWriter(FILE* outFile, Interface* ip, int depth, InstanceNodeList instanceNodes);
    // The "mesh" header and the mesh body or the reference to the node object's shared
    // "topo" block (when geometry is on), then the "anim" block (when animation is on).
    // The block left open is closed by the node pass; OpenedBlock tells whether there
    // is one. 0, or ERROR_GEOMETRY and/or ERROR_ANIMATION.
    ErrorFlags Export(INode* node) override;
    virtual void SetTopology(BOOL exportTopology);
    virtual void SetAnimation(BOOL exportAnimation);
    virtual void SetGeometry(BOOL exportGeometry);
    // The instance list's entries by object, to find a node's representative without
    // scanning the list; without it the list is scanned. Not owned.
    void SetInstanceIndex(const InstanceIndex* index);

protected:
    // The "anim" block of the node's position and rotation keys; nothing when the
    // node has none. 0, or ERROR_ANIMATION for keys of a class that cannot be read.
    ErrorFlags WriteAnimation(INode* node);

    BOOL exportTopology = FALSE;
    BOOL exportAnimation = FALSE;
    BOOL exportGeometry = FALSE;
    const InstanceIndex* instanceIndex = nullptr;
};
