// The module's entry point and exported functions.
#include "plugin/Plugin.h"
#include "resources/resource.h"

HINSTANCE hInstance = nullptr;

static bool controlsInit = false;

DLLEXPORT BOOL DllMain(HINSTANCE hinstDLL, ULONG fdwReason, LPVOID lpvReserved)
{
    (void)fdwReason;
    (void)lpvReserved;
    hInstance = hinstDLL;
    if (!controlsInit) {
        controlsInit = true;
        InitCustomControls(hInstance);
        InitCommonControls();
    }
    return TRUE;
}

DLLEXPORT const TCHAR* LibDescription() { return GetString(IDS_LIBDESCRIPTION); }

DLLEXPORT int LibNumberClasses() { return 1; }

DLLEXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? GetVekExporterDesc() : nullptr; }

DLLEXPORT ULONG LibVersion() { return VERSION_3DSMAX; }

const TCHAR* GetString(int id)
{
    static TCHAR buf[256];
    if (hInstance)
        return LoadString(hInstance, UINT(id), buf, int(sizeof(buf))) ? buf : nullptr;
    return nullptr;
}

const TCHAR* GetText(int id)
{
    const TCHAR* s = GetString(id);
    return s ? s : "";
}
