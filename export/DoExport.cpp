// One export, from the host's call to the result message.
#include "export/SceneExporter.h"
#include "lists/BoxList.h"
#include "lists/MaterialList.h"
#include "plugin/Plugin.h"
#include "resources/resource.h"
#include "writers/BoxWriter.h"
#include "writers/MaterialWriter.h"
#include "writers/NumberFormat.h"
#include "writers/TopologyWriter.h"

#include <cstring>

namespace {

BOOL exportSelectedOnly = FALSE;

const char* const MSG_CANNOT_LOAD_OPTIONS = "Impossible de charger les param\xc3\xa8tres sauvegard\xc3\xa9s";
const char* const MSG_CANNOT_CREATE = "Cr\xc3\xa9"
                                      "ation du fichier impossible";
const char* const MSG_NO_BOX = "Aucune boite de collision n'a \xc3\xa9t\xc3\xa9 trouv\xc3\xa9";
const char* const MSG_CANNOT_CREATE_BOX = "Cr\xc3\xa9"
                                          "ation du fichier \".box\" impossible";
const char* const MSG_SUCCESS = "Conversion r\xc3\xa9ussit";
const char* const MSG_PARTIAL = "Certain param\xc3\xa8tres n'ont pas pu \xc3\xaatre export\xc3\xa9s";

} // namespace

void LogFailures(Interface* ip, ErrorFlags errors, const TCHAR* name)
{
    LogSys* log = ip ? ip->Log() : nullptr;
    if (!log)
        return;
    for (const ResultMarker& m : resultMarkers)
        if (errors & m.bit)
            log->LogEntry(SYSLOG_ERROR, NO_DIALOG, m.text, "%s", name ? name : "");
}

CStr BoxFilePath(const TCHAR* name)
{
    // Cutting a fixed four characters would put the box file of "sub/ab" outside its
    // directory: only an extension of the file's own name is replaced.
    CStr path(name);
    const char* base = std::strrchr(name, '/');
    const char* dot = std::strrchr(base ? base : name, '.');
    if (dot)
        path.Resize(int(dot - name));
    path += ".box";
    return path;
}

BOOL GetExportSelectedOnly() { return exportSelectedOnly; }

void SetExportSelectedOnly(BOOL selectedOnly) { exportSelectedOnly = selectedOnly; }

SceneExporter::SceneExporter() = default;

SceneExporter::~SceneExporter() { instanceNodes.Init(); }

void SceneExporter::WriteHeader(FILE* file)
{
    std::fprintf(file, "# %s\n", GetText(IDS_LIBDESCRIPTION));
    std::fprintf(file, "# %s\n", GetText(IDS_COPYRIGHT));
    char version[FORMAT_FIXED_MAX + 1];
    version[FormatFixed(version, Version() * 0.01f, 2)] = '\0';
    std::fprintf(file, "# Version: %s\n", version);
    std::fprintf(file, options.legacyFormat ? "# Vek Version: 1\n" : "# Vek Version: 2\n");
    std::fprintf(file, "\n");
}

int SceneExporter::DoExport(const TCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts,
                            DWORD exportOptions)
{
    (void)ei;
    ip = i;
    HWND parent = ip ? ip->GetMAXHWnd() : nullptr;

    if (!LoadOptions()) {
        MessageBox(parent, MSG_CANNOT_LOAD_OPTIONS, "Attention", MB_OK);
        return 0;
    }
    if (!suppressPrompts &&
        DialogBoxParam(hInstance, MAKEINTRESOURCE(IDD_PREFS), parent, PrefsDlgProc, reinterpret_cast<LPARAM>(this)))
        return 1;

    SetExportSelectedOnly((exportOptions & SCENE_EXPORT_SELECTED) ? TRUE : FALSE);

    outFile = _tfopen(name, "wt");
    if (!outFile) {
        MessageBox(parent, MSG_CANNOT_CREATE, "Erreur", MB_OK);
        return 0;
    }

    materialList = new MaterialList;
    boxList = new BoxList;
    ErrorFlags errors = WriteScene();
    const bool boxesWritten = !options.exportBoxes || WriteBoxFile(name, parent, errors);
    ReleaseLists();
    if (!boxesWritten) {
        std::fclose(outFile);
        outFile = nullptr;
        return 0;
    }

    WriteResultMarkers(errors);
    if (errors == 0)
        MessageBox(parent, MSG_SUCCESS, "Message", MB_OK);
    else
        MessageBox(parent, MSG_PARTIAL, "Warning", MB_OK);

    std::fclose(outFile);
    outFile = nullptr;
    SaveOptions();
    return 1;
}

ErrorFlags SceneExporter::WriteScene()
{
    INode* root = ip ? ip->GetRootNode() : nullptr;
    int numChildren = root ? root->NumberOfChildren() : 0;
    ErrorFlags errors = 0;

    // Every export gathers its own instances: nodes kept from an earlier export of
    // this exporter object may belong to a scene that no longer exists.
    instanceNodes.ZeroCount();
    instanceIndex.clear();

    for (int idx = 0; idx < numChildren; idx++)
        errors |= CollectNode(root->GetChildNode(idx), ip);

    WriteHeader(outFile);
    if (options.exportGeometry)
        errors |= WriteMaterialBlocks();
    // Only mesh blocks refer to topology blocks, and without geometry neither they
    // nor the material blocks that the topology blocks name are written.
    if (options.exportTopology && !options.legacyFormat && options.exportGeometry)
        errors |= WriteTopologyBlocks();

    for (int idx = 0; idx < numChildren; idx++)
        errors |= ExportNode(root->GetChildNode(idx), ip, 0);
    return errors;
}

ErrorFlags SceneExporter::WriteMaterialBlocks()
{
    MaterialWriter writer(outFile, materialList, ip);
    writer.gouraud = options.gouraud;
    writer.lighting = options.lighting;
    writer.SetLegacyFormat(options.legacyFormat);
    return writer.Export(nullptr);
}

ErrorFlags SceneExporter::WriteTopologyBlocks()
{
    TopologyWriter writer(outFile, ip, 0, instanceNodes);
    ConfigureMeshWriter(writer, ExportTime());
    return writer.Export(nullptr);
}

void SceneExporter::ConfigureMeshWriter(MeshWriter& writer, TimeValue t) const
{
    writer.SetTime(t);
    writer.SetDecimals(options.decimals);
    writer.SetIndentation(options.indentation);
    writer.SetMaterials(options.exportMaterials);
    writer.SetMerge(options.mergeVertices, options.mergePrecision);
    writer.SetLegacyFormat(options.legacyFormat);
    writer.SetQuadFaces(options.quadFaces);
}

bool SceneExporter::WriteBoxFile(const TCHAR* name, HWND parent, ErrorFlags& errors)
{
    if (boxList->BoxCount() < 1) {
        MessageBox(parent, MSG_NO_BOX, "Attention", MB_OK);
        return true;
    }
    CStr boxPath = BoxFilePath(name);
    boxFile = _tfopen(boxPath, "wt");
    if (!boxFile) {
        MessageBox(parent, MSG_CANNOT_CREATE_BOX, "Erreur", MB_OK);
        return false;
    }
    BoxWriter writer(boxFile, ip, boxList);
    errors |= writer.Export(nullptr);
    std::fclose(boxFile);
    boxFile = nullptr;
    return true;
}

void SceneExporter::WriteResultMarkers(ErrorFlags errors)
{
    if (errors == 0) {
        std::fprintf(outFile, "%s\n", EXPORT_OK_MARKER);
        return;
    }
    for (const ResultMarker& m : resultMarkers)
        if (errors & m.bit)
            std::fprintf(outFile, "%s\n", m.text);
}

void SceneExporter::ReleaseLists()
{
    delete materialList;
    delete boxList;
    materialList = nullptr;
    boxList = nullptr;
}
