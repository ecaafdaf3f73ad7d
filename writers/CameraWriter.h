// The "camera" block of a camera: transform, projection and range lines.
#pragma once

#include "writers/NodeWriter.h"

class CameraWriter : public NodeWriter {
public:
    CameraWriter(FILE* outFile, Interface* ip, int depth) : NodeWriter(outFile, ip, depth) {}
    // 0, or ERROR_CAMERA.
    ErrorFlags Export(INode* node) override;
};
