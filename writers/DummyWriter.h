// The "shell" block of a dummy helper: its opening line and transform line.
#pragma once

#include "writers/NodeWriter.h"

class DummyWriter : public NodeWriter {
public:
    DummyWriter(FILE* file, Interface* i, int d) : NodeWriter(file, i, d) {}
    // 0, or ERROR_DUMMY when there is no output stream.
    ErrorFlags Export(INode* node) override;
};
