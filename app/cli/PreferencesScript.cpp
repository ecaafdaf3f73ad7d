#include "cli/PreferencesScript.h"

#include "custcont.h"
#include "resources/resource.h"

#include <charconv>
#include <cstdio>
#include <iterator>
#include <memory>

namespace vek {

namespace {

// The control that shows each option in the preferences dialog, in field order: a
// check box, or a spinner with its edit.
struct OptionControl {
    int control;
    int edit; // 0 for check boxes
};
constexpr OptionControl optionControls[] = {
    {IDC_LEGACY, 0},
    {IDC_DUMMIES, 0},
    {IDC_GEOMETRY, 0},
    {IDC_QUAD_FACES, 0},
    {IDC_LIGHTS, 0},
    {IDC_CAMERAS, 0},
    {IDC_MATERIALS, 0},
    {IDC_MERGE, 0},
    {IDC_TOPOLOGY, 0},
    {IDC_ANIMATION, 0},
    {IDC_CURRENT_FRAME, 0},
    {IDC_BOXES, 0},
    {IDC_GOURAUD, 0},
    {IDC_LIGHTING, 0},
    {IDC_FRAME_SPIN, IDC_FRAME_EDIT},
    {IDC_DECIMALS_SPIN, IDC_DECIMALS_EDIT},
    {IDC_INDENT_SPIN, IDC_INDENT_EDIT},
    {IDC_MERGE_PRECISION_SPIN, IDC_MERGE_PRECISION_EDIT},
};
static_assert(std::size(optionControls) == ExportOptions::Count);

struct SpinnerReleaser {
    void operator()(ISpinnerControl* s) const { ReleaseISpinner(s); }
};
using Spinner = std::unique_ptr<ISpinnerControl, SpinnerReleaser>;

std::string Text(HWND w)
{
    char buf[256];
    int n = GetWindowText(w, buf, int(sizeof(buf)));
    return std::string(buf, size_t(n));
}

// The label a user reads beside an edit: the nearest static text before it in the
// template, without its closing colon.
std::string EditLabel(const DialogSession& session, int editId)
{
    std::string label;
    for (HWND c : session.controls) {
        if (GetDlgCtrlID(c) == editId)
            break;
        if (std::string(GetWindowClassName(c)) == "Static")
            label = Text(c);
    }
    while (!label.empty() && (label.back() == ' ' || label.back() == ':'))
        label.pop_back();
    return label;
}

// Sets one option's control; false when the value is outside the spinner's limits.
bool Apply(DialogSession& session, const OptionSetting& s, ScriptResult& result)
{
    const OptionControl& oc = optionControls[s.field];
    HWND control = GetDlgItem(session.dialog, oc.control);
    if (!control)
        return true;
    if (oc.edit == 0) {
        UINT wanted = s.value ? BST_CHECKED : BST_UNCHECKED;
        if (IsDlgButtonChecked(session.dialog, oc.control) == wanted)
            return true;
        if (IsWindowEnabled(control))
            session.Click(oc.control);
        else
            CheckDlgButton(session.dialog, oc.control, wanted);
        return true;
    }
    Spinner spinner(GetISpinner(control));
    if (!spinner)
        return true;
    int min = spinner->GetMin(), max = spinner->GetMax();
    if (s.value < min || s.value > max) {
        result.refused = true;
        result.message = "--set " + s.text + ": the spinner \"" + EditLabel(session, oc.edit) + "\" of " +
                         ExportOptionTable[s.field].name + " takes " + std::to_string(min) + " to " +
                         std::to_string(max);
        return false;
    }
    HWND edit = GetDlgItem(session.dialog, oc.edit);
    if (edit && IsWindowEnabled(edit))
        session.TypeInto(oc.edit, std::to_string(s.value));
    else
        spinner->SetValue(s.value, FALSE);
    return true;
}

} // namespace

void PressDefaultButton(DialogSession& session)
{
    for (HWND c : session.controls)
        if (std::string(GetWindowClassName(c)) == "Button" && (GetWindowStyle(c) & BS_DEFPUSHBUTTON)) {
            session.Click(GetDlgCtrlID(c));
            return;
        }
}

bool ParseOptionSetting(const std::string& arg, OptionSetting& setting, std::string& error)
{
    size_t eq = arg.find('=');
    std::string name = arg.substr(0, eq);
    setting = OptionSetting{};
    setting.text = arg;
    setting.field = FindExportOption(name);
    if (setting.field < 0) {
        error = "--set " + arg + ": unknown option \"" + name + "\"; the options are";
        for (const ExportOptionInfo& info : ExportOptionTable)
            error += std::string(" ") + info.name;
        return false;
    }
    std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    const char* end = value.data() + value.size();
    auto [ptr, ec] = std::from_chars(value.data(), end, setting.value);
    if (value.empty() || ec != std::errc() || ptr != end) {
        error = "--set " + arg + ": expected " + name + "=VALUE with an integer VALUE";
        return false;
    }
    if (ExportOptionTable[setting.field].isFlag && setting.value != 0 && setting.value != 1) {
        error = "--set " + arg + ": " + name + " is a check box and takes 0 or 1";
        return false;
    }
    return true;
}

DialogFrontEnd PreferencesScript(std::vector<OptionSetting> settings, ScriptResult& result)
{
    return [settings = std::move(settings), &result](DialogSession& session) {
        for (const OptionSetting& s : settings)
            if (!Apply(session, s, result)) {
                session.Click(IDC_CANCEL);
                return;
            }
        PressDefaultButton(session);
    };
}

bool ReadOptionsFile(const std::string& path, ExportOptions& options)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    options = ReadOptionsStream(f);
    std::fclose(f);
    return true;
}

ExportOptions ReadOptionsStream(std::FILE* f)
{
    ExportOptions options = DefaultExportOptions;
    char bytes[OptionsFileSize];
    DecodeOptionsFile(std::string_view(bytes, std::fread(bytes, 1, sizeof(bytes), f)), options);
    return options;
}

std::string OptionsFileBytes(const ExportOptions& options) { return EncodeOptionsFile(options); }

std::string OptionsFileLengthNote(const std::string& path, long long bytes)
{
    const auto full = static_cast<long long>(OptionsFileSize);
    if (bytes == full)
        return "";
    std::string note = path + ": " + std::to_string(bytes) + " bytes instead of " + std::to_string(full) + ": ";
    if (bytes > full)
        return note + "the bytes after the " + std::to_string(full) + "th are ignored";
    return note + "the " + std::to_string(bytes / 4) + " values it holds are read, the others are the defaults";
}

std::string FormatOptions(const ExportOptions& options)
{
    std::string out;
    for (int i = 0; i < ExportOptions::Count; i++) {
        const ExportOptionInfo& info = ExportOptionTable[i];
        out += std::string(info.name) + "=" + std::to_string(options[i]);
        if (info.min <= info.max && (options[i] < info.min || options[i] > info.max))
            out +=
                " (outside the dialog's limits, " + std::to_string(info.min) + " to " + std::to_string(info.max) + ")";
        out += "\n";
    }
    return out;
}

} // namespace vek
