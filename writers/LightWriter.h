// The "colorlight" block of an omni, target spot or free spot light.
#pragma once

#include "writers/NodeWriter.h"

class LightWriter : public NodeWriter {
public:
    LightWriter(FILE* outFile, Interface* ip, int depth) : NodeWriter(outFile, ip, depth) {}
    // 0, or ERROR_LIGHT.
    ErrorFlags Export(INode* node) override;
};
