// The exporter object the host creates through the class descriptor. One DoExport
// call runs one whole export; everything else is called from there.
#pragma once

#include "export/GeometryNodes.h"
#include "export/ResultMarkers.h"
#include "max.h"
#include "options/ExportOptions.h"
#include "writers/PositionCache.h"

#include <cstdio>
#include <unordered_map>

class MaterialList;
class MeshWriter;
class BoxList;

// One representative node per distinct object reference, in the order met.
typedef Tab<INode*> InstanceNodeList;
// The same representatives by object reference, so that a node finds its object's
// representative without a scan of the list.
typedef std::unordered_map<Object*, INode*> InstanceIndex;

// The module-wide selection flag, set at the start of every export from the host's
// option bit and read by both scene passes.
BOOL GetExportSelectedOnly();
void SetExportSelectedOnly(BOOL selectedOnly);

// The ".box" file beside an output file, in its directory: the name with its extension
// (from the last dot of the file's own name) replaced by ".box", or with ".box" added
// when it has none. "hall.vek" gives "hall.box"; "x.box" gives itself.
CStr BoxFilePath(const TCHAR* name);

// Reports the failures of one node (or material) in the host's log, one entry per
// failure bit, titled with its result marker, the text being the name. The result
// markers at the end of the file are written as ever.
void LogFailures(Interface* ip, ErrorFlags errors, const TCHAR* name);

class SceneExporter : public SceneExport {
public:
    SceneExporter();
    ~SceneExporter() override;

    int ExtCount() override;
    const TCHAR* Ext(int n) override;
    const TCHAR* LongDesc() override;
    const TCHAR* ShortDesc() override;
    const TCHAR* AuthorName() override;
    const TCHAR* CopyrightMessage() override;
    const TCHAR* OtherMessage1() override;
    const TCHAR* OtherMessage2() override;
    unsigned int Version() override;
    void ShowAbout(HWND hWnd) override;
    int DoExport(const TCHAR* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts = FALSE,
                 DWORD exportOptions = 0) override;
    BOOL SupportsOptions(int ext, DWORD exportOptions) override;

    // Writes the five header lines.
    void WriteHeader(FILE* file);

    // The configuration file, in the host's plug-in configuration directory.
    CStr OptionsFilePath();
    // 1 when the options were read (a short file gives -1 from its first incomplete
    // field on), 0 when the file cannot be opened. Creates it with defaults when missing.
    int LoadOptions();
    void SaveOptions();
    void WriteDefaultOptions();

    // The time at which the scene is evaluated and exported, in ticks.
    TimeValue ExportTime();
    // Node pass: writes the node's block and its children's, nested one level deeper.
    ErrorFlags ExportNode(INode* node, Interface* i, int depth);
    // Collection pass: gathers materials, instances and boxes of the node and its children.
    ErrorFlags CollectNode(INode* node, Interface* i);
    ErrorFlags CollectMaterial(Mtl* mtl);
    // The node's material (expanded), or its wire colour under its name.
    void CollectNodeMaterial(INode* node);

    ExportOptions& Options() { return options; }
    Interface* GetInterface() { return ip; }
    const InstanceNodeList& InstanceNodes() const { return instanceNodes; }

private:
    // The steps of DoExport once the output file is open. WriteScene: the collection
    // pass, the header, the material and topology blocks and the node pass.
    ErrorFlags WriteScene();
    ErrorFlags WriteMaterialBlocks();
    ErrorFlags WriteTopologyBlocks();
    // The options every mesh block is written with (topology and geometry blocks alike).
    void ConfigureMeshWriter(MeshWriter& writer, TimeValue t) const;
    // The ".box" file beside name, when boxes were found (otherwise the user is told);
    // its failures are added to errors. False, the user told, when it cannot be created.
    bool WriteBoxFile(const TCHAR* name, HWND parent, ErrorFlags& errors);
    // The file's last lines: the success marker, or one marker per failure bit.
    void WriteResultMarkers(ErrorFlags errors);
    void ReleaseLists();

    // The block of an exported node, by its kind. A node that writes no block of its
    // own and moves its children up one level lowers depth; opened tells whether a
    // block is left open for the node pass to close after the children.
    ErrorFlags WriteOwnBlock(INode* node, Interface* i, int& depth, bool& opened);
    ErrorFlags WriteGeometryBlock(INode* node, Interface* i, int depth, TimeValue t, bool& opened);

    FILE* outFile = nullptr;
    FILE* boxFile = nullptr;
    Interface* ip = nullptr;
    ExportOptions options = DefaultExportOptions;
    MaterialList* materialList = nullptr;
    BoxList* boxList = nullptr;
    InstanceNodeList instanceNodes;
    InstanceIndex instanceIndex; // beside instanceNodes, same entries
    PositionCache positions;     // of the nodes whose children the node pass is writing
};

// The preferences dialog's procedure; its parameter is the SceneExporter.
INT_PTR PrefsDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
