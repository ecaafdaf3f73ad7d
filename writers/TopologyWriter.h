// The shared "topo" blocks: each distinct object once, under its representative node.
#pragma once

#include "writers/MeshWriter.h"

class TopologyWriter : public MeshWriter {
public:
    TopologyWriter(FILE* outFile, Interface* ip, int depth, InstanceNodeList instanceNodes)
        : MeshWriter(outFile, ip, depth, instanceNodes) {}
    // ERROR_TOPOLOGY without output stream; otherwise the OR of the mesh bodies' results.
    ErrorFlags Export(INode* node) override;
};
