// The material section: a "material" block per gathered material, a "_COL" block per
// named wire colour, then an empty line. Inner lines are indented by one blank.
#pragma once

#include "writers/NodeWriter.h"

class MaterialList;

class MaterialWriter : public NodeWriter {
public:
    MaterialWriter(FILE* outFile, MaterialList* materialList);
    ~MaterialWriter() override;
    // 0, or ERROR_MATERIAL.
    ErrorFlags Export(INode* node) override;

    MaterialList* materialList;
    int gouraud;  // a "type GOURAUD" line in every block
    int lighting; // "type LIGHT" instead of "type NOLIGHT"
};
