// The "camera" block of a camera: the opening line, the transform line, the
// projection line "<focal> <focal> <half width> <half height>" and the range line
// "<near> <fog> <far>", all evaluated at the writer's time.
#pragma once

#include "writers/NodeWriter.h"

class CameraWriter : public NodeWriter {
public:
    CameraWriter(FILE* file, Interface* i, int d) : NodeWriter(file, i, d) {}
    // 0 on success. ERROR_CAMERA with nothing written when there is no output
    // stream; ERROR_CAMERA after the opening and transform lines (OpenedBlock() is
    // then true) when the node holds no camera.
    ErrorFlags Export(INode* node) override;
};
