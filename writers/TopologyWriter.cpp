#include "writers/TopologyWriter.h"

#include "plugin/Plugin.h"
#include "resources/resource.h"

ErrorFlags TopologyWriter::Export(INode* node)
{
    (void)node;
    if (!outFile)
        return ERROR_TOPOLOGY;

    ErrorFlags errors = 0;
    for (int k = 0; k < instanceNodes.Count(); k++) {
        INode* representative = instanceNodes[k];
        const TCHAR* name = representative->GetName();
        SetSubject(name);
        WriteIndent(outFile, depth);
        std::fprintf(outFile, "%s ", GetText(IDS_TOPO));
        // The name keeps its blanks: the reference lines of the mesh nodes spell it
        // the same way.
        std::fprintf(outFile, "TOPO_%s {\n", FormatNameKeepingBlanks(name).data());
        errors |= WriteMeshBody(representative);
        WriteIndent(outFile, depth);
        std::fprintf(outFile, "}\n");
    }
    std::fprintf(outFile, "\n");
    return errors;
}
