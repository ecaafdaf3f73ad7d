#include "writers/DummyWriter.h"

#include "resources/resource.h"

ErrorFlags DummyWriter::Export(INode* node)
{
    if (!outFile)
        return ERROR_DUMMY;
    WriteNodeHeader(IDS_SHELL, node);
    return 0;
}
