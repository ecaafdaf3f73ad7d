// What the host shows of the exporter: extension, descriptions, version, about box.
#include "export/SceneExporter.h"
#include "plugin/Plugin.h"
#include "resources/resource.h"

int SceneExporter::ExtCount() { return 1; }

const TCHAR* SceneExporter::Ext(int n) { return n == 0 ? GetString(IDS_EXTENSION) : _T(""); }

const TCHAR* SceneExporter::LongDesc() { return GetString(IDS_LONG_DESCRIPTION); }

const TCHAR* SceneExporter::ShortDesc() { return GetString(IDS_SHORT_DESCRIPTION); }

const TCHAR* SceneExporter::AuthorName() { return GetString(IDS_AUTHOR); }

const TCHAR* SceneExporter::CopyrightMessage() { return GetString(IDS_COPYRIGHT); }

const TCHAR* SceneExporter::OtherMessage1() { return _T(""); }

const TCHAR* SceneExporter::OtherMessage2() { return _T(""); }

unsigned int SceneExporter::Version() { return 400; }

BOOL SceneExporter::SupportsOptions(int ext, DWORD exportOptions)
{
    return ext == 0 ? BOOL(exportOptions & SCENE_EXPORT_SELECTED) : FALSE;
}

// Only "OK" (or Enter on it) closes the box; Escape and the close box send the
// system's cancel command, which is ignored.
static INT_PTR AboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!GetWindowLongPtr(hWnd, GWLP_USERDATA) && msg != WM_INITDIALOG)
        return FALSE;
    switch (msg) {
    case WM_DESTROY:
        return TRUE;
    case WM_INITDIALOG:
        SetWindowLongPtr(hWnd, GWLP_USERDATA, lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_OK)
            EndDialog(hWnd, 1);
        return TRUE;
    }
    return FALSE;
}

void SceneExporter::ShowAbout(HWND hWnd)
{
    DialogBoxParam(hInstance, MAKEINTRESOURCE(IDD_ABOUT), hWnd, AboutDlgProc, reinterpret_cast<LPARAM>(this));
}
