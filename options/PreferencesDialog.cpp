// The preferences dialog shown before an export: the eighteen options as fourteen
// check boxes and four spinners, written back only on "OK".
#include "export/SceneExporter.h"
#include "resources/resource.h"

#include <iterator>

namespace {

struct CheckBoxOption {
    int id;
    int32_t ExportOptions::*field;
};
const CheckBoxOption checkBoxes[] = {
    {IDC_LEGACY, &ExportOptions::legacyFormat},
    {IDC_DUMMIES, &ExportOptions::exportDummies},
    {IDC_GEOMETRY, &ExportOptions::exportGeometry},
    {IDC_QUAD_FACES, &ExportOptions::quadFaces},
    {IDC_LIGHTS, &ExportOptions::exportLights},
    {IDC_CAMERAS, &ExportOptions::exportCameras},
    {IDC_MATERIALS, &ExportOptions::exportMaterials},
    {IDC_MERGE, &ExportOptions::mergeVertices},
    {IDC_TOPOLOGY, &ExportOptions::exportTopology},
    {IDC_ANIMATION, &ExportOptions::exportAnimation},
    {IDC_CURRENT_FRAME, &ExportOptions::currentFrame},
    {IDC_BOXES, &ExportOptions::exportBoxes},
    {IDC_GOURAUD, &ExportOptions::gouraud},
    {IDC_LIGHTING, &ExportOptions::lighting},
};
static_assert(std::size(checkBoxes) == 14);

struct SpinnerOption {
    int spinner;
    int edit;
    int field; // in ExportOptionTable, which holds the limits
};
const SpinnerOption spinners[] = {
    {IDC_FRAME_SPIN, IDC_FRAME_EDIT, 14},
    {IDC_DECIMALS_SPIN, IDC_DECIMALS_EDIT, 15},
    {IDC_INDENT_SPIN, IDC_INDENT_EDIT, 16},
    {IDC_MERGE_PRECISION_SPIN, IDC_MERGE_PRECISION_EDIT, 17},
};
static_assert(std::size(spinners) == 4);

bool Checked(HWND hWnd, int id) { return IsDlgButtonChecked(hWnd, id) == BST_CHECKED; }

void Enable(HWND hWnd, int id, bool enable) { EnableWindow(GetDlgItem(hWnd, id), enable ? TRUE : FALSE); }

void ApplyCurrentFrameRule(HWND hWnd)
{
    bool frameEditable = !Checked(hWnd, IDC_CURRENT_FRAME);
    Enable(hWnd, IDC_FRAME_EDIT, frameEditable);
    Enable(hWnd, IDC_FRAME_SPIN, frameEditable);
}

void ApplyAnimationRule(HWND hWnd)
{
    if (Checked(hWnd, IDC_ANIMATION)) {
        Enable(hWnd, IDC_CURRENT_FRAME, false);
        Enable(hWnd, IDC_FRAME_EDIT, false);
        Enable(hWnd, IDC_FRAME_SPIN, false);
    } else {
        Enable(hWnd, IDC_CURRENT_FRAME, true);
        ApplyCurrentFrameRule(hWnd);
    }
}

void ApplyMergeRule(HWND hWnd)
{
    bool merge = Checked(hWnd, IDC_MERGE);
    Enable(hWnd, IDC_MERGE_PRECISION_EDIT, merge);
    Enable(hWnd, IDC_MERGE_PRECISION_SPIN, merge);
}

void ApplyMaterialsRule(HWND hWnd)
{
    bool materials = Checked(hWnd, IDC_MATERIALS);
    Enable(hWnd, IDC_GOURAUD, materials);
    Enable(hWnd, IDC_LIGHTING, materials);
}

void InitDialog(HWND hWnd, SceneExporter* exporter)
{
    ExportOptions& options = exporter->Options();
    for (const CheckBoxOption& c : checkBoxes)
        CheckDlgButton(hWnd, c.id, options.*c.field ? BST_CHECKED : BST_UNCHECKED);

    Interface* ip = exporter->GetInterface();
    Interval range = ip ? ip->GetAnimRange() : Interval(0, 0);
    int ticks = GetTicksPerFrame();
    if (ticks <= 0) // no frame rate: the range is taken in ticks rather than divided by zero
        ticks = 1;
    for (const SpinnerOption& s : spinners) {
        int min = ExportOptionTable[s.field].min, max = ExportOptionTable[s.field].max;
        if (s.spinner == IDC_FRAME_SPIN) {
            min = range.Start() / ticks;
            max = range.End() / ticks;
        }
        ISpinnerControl* spin = GetISpinner(GetDlgItem(hWnd, s.spinner));
        if (!spin)
            continue;
        spin->LinkToEdit(GetDlgItem(hWnd, s.edit), EDITTYPE_INT);
        spin->SetLimits(min, max, FALSE);
        spin->SetScale(1.0f);
        spin->SetValue(options[s.field], FALSE);
        ReleaseISpinner(spin);
    }

    bool geometry = Checked(hWnd, IDC_GEOMETRY);
    Enable(hWnd, IDC_TOPOLOGY, !Checked(hWnd, IDC_LEGACY) && geometry);
    Enable(hWnd, IDC_QUAD_FACES, geometry);
    ApplyAnimationRule(hWnd);
    ApplyMergeRule(hWnd);
    ApplyMaterialsRule(hWnd);
}

void StoreOptions(HWND hWnd, SceneExporter* exporter)
{
    ExportOptions& options = exporter->Options();
    for (const CheckBoxOption& c : checkBoxes)
        options.*c.field = Checked(hWnd, c.id) ? 1 : 0;
    for (const SpinnerOption& s : spinners) {
        ISpinnerControl* spin = GetISpinner(GetDlgItem(hWnd, s.spinner));
        if (!spin)
            continue;
        options[s.field] = spin->GetIVal();
        ReleaseISpinner(spin);
    }
}

} // namespace

INT_PTR PrefsDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* exporter = reinterpret_cast<SceneExporter*>(GetWindowLongPtr(hWnd, GWLP_USERDATA));
    if (!exporter && msg != WM_INITDIALOG)
        return FALSE;

    switch (msg) {
    case WM_DESTROY:
        return TRUE;
    case WM_INITDIALOG:
        SetWindowLongPtr(hWnd, GWLP_USERDATA, lParam);
        // Without an exporter the dialog stays inert: every later message is declined.
        if (lParam)
            InitDialog(hWnd, reinterpret_cast<SceneExporter*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OK:
            StoreOptions(hWnd, exporter);
            EndDialog(hWnd, 0);
            break;
        case IDC_CANCEL:
            EndDialog(hWnd, 1);
            break;
        case IDC_GEOMETRY:
            if (Checked(hWnd, IDC_GEOMETRY)) {
                Enable(hWnd, IDC_QUAD_FACES, true);
                if (!Checked(hWnd, IDC_LEGACY))
                    Enable(hWnd, IDC_TOPOLOGY, true);
            } else {
                Enable(hWnd, IDC_QUAD_FACES, false);
                Enable(hWnd, IDC_TOPOLOGY, false);
            }
            break;
        case IDC_MATERIALS:
            ApplyMaterialsRule(hWnd);
            break;
        case IDC_MERGE:
            ApplyMergeRule(hWnd);
            break;
        case IDC_ANIMATION:
            ApplyAnimationRule(hWnd);
            break;
        case IDC_CURRENT_FRAME:
            ApplyCurrentFrameRule(hWnd);
            break;
        case IDC_LEGACY: {
            bool modern = !Checked(hWnd, IDC_LEGACY);
            Enable(hWnd, IDC_TOPOLOGY, modern);
            Enable(hWnd, IDC_LIGHTS, modern);
            Enable(hWnd, IDC_CAMERAS, modern);
            break;
        }
        default:
            // The system's cancel command (Escape, the close box) leaves the dialog open.
            break;
        }
        return TRUE;
    }
    return FALSE;
}
