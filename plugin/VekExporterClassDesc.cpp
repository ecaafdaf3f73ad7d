// The class descriptor through which the host creates the exporter.
#include "export/SceneExporter.h"
#include "plugin/Plugin.h"
#include "resources/resource.h"

class VekExporterClassDesc : public ClassDesc2 {
public:
    int IsPublic() override { return TRUE; }
    void* Create(BOOL loading) override
    {
        (void)loading;
        return new SceneExporter;
    }
    const TCHAR* ClassName() override { return GetString(IDS_CLASS_NAME); }
    SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
    Class_ID ClassID() override { return VEKEXPORTER_CLASS_ID; }
    const TCHAR* Category() override { return _T(""); }
    const TCHAR* InternalName() override { return _T("ExportToVek"); }
    HINSTANCE HInstance() override { return hInstance; }
};

static VekExporterClassDesc vekExporterDesc;

ClassDesc2* GetVekExporterDesc() { return &vekExporterDesc; }
