#include "writers/MaterialWriter.h"

#include "lists/MaterialList.h"

MaterialWriter::MaterialWriter(FILE* file, MaterialList* list)
    : NodeWriter(file, nullptr, 0), materialList(list), gouraud(0), lighting(0)
{
    indentSize = 1;
    SetTime(0);
    legacyFormat = 0;
}

MaterialWriter::~MaterialWriter()
{
    outFile = nullptr;
    materialList = nullptr;
}

ErrorFlags MaterialWriter::Export(INode* node)
{
    (void)node;
    if (!outFile || !materialList)
        return ERROR_MATERIAL;
    std::fprintf(outFile, "\n");
    return 0;
}
