#include "writers/BoxWriter.h"

#include "lists/BoxList.h"

BoxWriter::BoxWriter(FILE* file, Interface* i, BoxList* list) : NodeWriter(file, i, 0), boxList(list) { SetTime(0); }

BoxWriter::~BoxWriter()
{
    outFile = nullptr;
    ip = nullptr;
    boxList = nullptr;
}

ErrorFlags BoxWriter::Export(INode* node)
{
    (void)node;
    if (!outFile)
        return ERROR_BOX;
    return 0;
}

int BoxWriter::BoxesOverlap(BoxRecord* a, BoxRecord* b)
{
    (void)a, (void)b;
    return 0;
}
