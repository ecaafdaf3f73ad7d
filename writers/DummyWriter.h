// The "shell" block of a dummy helper: its opening line and transform line.
#pragma once

#include "writers/NodeWriter.h"

class DummyWriter : public NodeWriter {
public:
    DummyWriter(FILE* outFile, Interface* ip, int depth) : NodeWriter(outFile, ip, depth) {}
    // 0, or ERROR_DUMMY when there is no output stream.
    ErrorFlags Export(INode* node) override;
};
