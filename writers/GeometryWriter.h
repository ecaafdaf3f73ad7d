// The "mesh" block of a geometry node: header, mesh body or topology reference, and
// the "anim" block of its position and rotation keys.
#pragma once

#include "writers/MeshWriter.h"

#include <string>

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

private:
    // The "anim" block's opening line and its length line; returns the start of its
    // key lines (their indentation).
    std::string OpenAnimationBlock(TextBuffer& out, INode* node);
    // The lines of the first count position keys (x z y, ten decimals) or rotation
    // keys (the running product of the keys' rotations, x y z w, six decimals), eight
    // keys a line. ERROR_ANIMATION when a key's class cannot be read.
    ErrorFlags WritePositionKeys(TextBuffer& out, INode* node, Control* position, IKeyControl* keys, int count,
                                 const std::string& lineStart);
    ErrorFlags WriteRotationKeys(TextBuffer& out, Control* rotation, IKeyControl* keys, int count,
                                 const std::string& lineStart);
};
