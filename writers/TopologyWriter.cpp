#include "writers/TopologyWriter.h"

ErrorFlags TopologyWriter::Export(INode* node)
{
    (void)node;
    if (!outFile)
        return ERROR_TOPOLOGY;
    std::fprintf(outFile, "\n");
    return 0;
}
