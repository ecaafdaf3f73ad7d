// The shared "topo" blocks: each distinct object once, written as the mesh body of
// the node that represents it. Every mesh node using the object refers to the block
// as "TOPO_" followed by that node's name exactly as the host gives it.
#pragma once

#include "writers/MeshWriter.h"

class TopologyWriter : public MeshWriter {
public:
    TopologyWriter(FILE* file, Interface* i, int d, InstanceNodeList nodes) : MeshWriter(file, i, d, std::move(nodes))
    {
    }
    // Writes one block per node of the instance list, in list order, then an empty
    // line; node is ignored. ERROR_TOPOLOGY without output stream (nothing written);
    // otherwise the OR of the mesh bodies' results. A body that fails leaves its block
    // empty between the header and the closing brace.
    ErrorFlags Export(INode* node) override;
};
