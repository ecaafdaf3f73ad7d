// The "colorlight" block of an omni, target spot or free spot light: the opening
// line, the transform line at the writer's time, and one parameter line
//   type <ambient> <colour> <colour> <cone> <intensity> <quadratic>
// whose values are all read at time 0.
#pragma once

#include "writers/NodeWriter.h"

class LightWriter : public NodeWriter {
public:
    LightWriter(FILE* file, Interface* i, int d) : NodeWriter(file, i, d) {}
    // 0 on success. ERROR_LIGHT with nothing written when there is no output stream
    // or the node holds no light at time 0; ERROR_LIGHT after the opening and
    // transform lines (OpenedBlock() is then true) for a light of another kind.
    ErrorFlags Export(INode* node) override;
};
