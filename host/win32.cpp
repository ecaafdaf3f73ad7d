#include "custcont.h"
#include "plugapi.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

struct HINSTANCE__ {
    void* dl = nullptr;
    const RESOURCEDIRECTORY* resources = nullptr;
    std::string path;
};

struct HWND__ {
    std::string className;
    std::string text;
    int id = -1;
    DWORD style = 0;
    bool enabled = true;
    UINT checked = BST_UNCHECKED;
    LONG_PTR userData = 0;
    HWND parent = nullptr;
    std::vector<std::unique_ptr<HWND__>> children;
    // Dialogs.
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    // Spinners.
    int value = 0, min = INT_MIN, max = INT_MAX;
    float scale = 1.0f;
    HWND edit = nullptr;
};

namespace {

std::string lastError;

HWND__ applicationWindow = [] {
    HWND__ w;
    w.className = "MainFrame";
    return w;
}();

int DefaultMessageBox(HWND, const char* text, const char* caption, UINT)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

MessageBoxHandler& MessageBoxSink()
{
    static MessageBoxHandler handler = DefaultMessageBox;
    return handler;
}

void PressDefaultButton(DialogSession& session)
{
    for (HWND c : session.controls)
        if (c->className == "Button" && (c->style & BS_DEFPUSHBUTTON)) {
            session.Click(c->id);
            return;
        }
}

DialogFrontEnd& FrontEnd()
{
    static DialogFrontEnd frontEnd = PressDefaultButton;
    return frontEnd;
}

HWND FindDialog(HWND w)
{
    while (w && !w->proc)
        w = w->parent;
    return w;
}

void UpdateLinkedEdit(HWND spinner)
{
    if (spinner->edit)
        spinner->edit->text = std::to_string(spinner->value);
}

class Spinner : public ISpinnerControl {
    HWND w;

public:
    explicit Spinner(HWND window) : w(window) {}
    void LinkToEdit(HWND edit, EditSpinnerType) override
    {
        w->edit = edit;
        UpdateLinkedEdit(w);
    }
    void SetLimits(int min, int max, BOOL limitCurrent) override
    {
        w->min = min;
        w->max = max;
        if (limitCurrent)
            w->value = std::clamp(w->value, min, std::max(min, max));
        UpdateLinkedEdit(w);
    }
    void SetScale(float scale) override { w->scale = scale; }
    void SetValue(int value, int) override
    {
        w->value = value;
        UpdateLinkedEdit(w);
    }
    int GetIVal() override { return w->value; }
    int GetMin() override { return w->min; }
    int GetMax() override { return w->max; }
};

int customControlsInits = 0;

} // namespace

// ---- modules and resources ----

HMODULE LoadLibrary(const char* path)
{
    void* dl = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        const char* e = dlerror();
        lastError = e ? e : "cannot load module";
        return nullptr;
    }
    auto* module = new HINSTANCE__;
    module->dl = dl;
    module->path = path;
    module->resources = static_cast<const RESOURCEDIRECTORY*>(dlsym(dl, RESOURCE_DIRECTORY_SYMBOL));
    if (auto main = reinterpret_cast<DllMainFn>(dlsym(dl, "DllMain"))) {
        if (!main(module, DLL_PROCESS_ATTACH, nullptr)) {
            lastError = std::string(path) + ": the module refused to load";
            dlclose(dl);
            delete module;
            return nullptr;
        }
    }
    return module;
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !module->dl)
        return nullptr;
    return dlsym(module->dl, name);
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module)
        return FALSE;
    if (module->dl) {
        if (auto main = reinterpret_cast<DllMainFn>(dlsym(module->dl, "DllMain")))
            main(module, DLL_PROCESS_DETACH, nullptr);
        dlclose(module->dl);
    }
    delete module;
    return TRUE;
}

const char* GetLastErrorText() { return lastError.c_str(); }

const RESOURCEDIRECTORY* GetModuleResources(HINSTANCE module) { return module ? module->resources : nullptr; }

HINSTANCE CreateModuleInstance(const RESOURCEDIRECTORY* resources)
{
    auto* module = new HINSTANCE__;
    module->resources = resources;
    module->path = "(linked in)";
    return module;
}

int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int max)
{
    const RESOURCEDIRECTORY* r = GetModuleResources(module);
    if (!r || !buffer || max <= 0)
        return 0;
    for (int i = 0; i < r->stringCount; i++) {
        if (r->strings[i].id != id)
            continue;
        size_t n = std::min(std::strlen(r->strings[i].text), size_t(max - 1));
        std::memcpy(buffer, r->strings[i].text, n);
        buffer[n] = '\0';
        return int(n);
    }
    return 0;
}

const DLGRESOURCE* FindDialogResource(HINSTANCE module, LPCSTR name)
{
    const RESOURCEDIRECTORY* r = GetModuleResources(module);
    if (!r || !IS_INTRESOURCE(name))
        return nullptr;
    int id = int(reinterpret_cast<UINT_PTR>(name));
    for (int i = 0; i < r->dialogCount; i++)
        if (r->dialogs[i].id == id)
            return &r->dialogs[i];
    return nullptr;
}

const IMAGERESOURCE* FindImageResource(HINSTANCE module, int id)
{
    const RESOURCEDIRECTORY* r = GetModuleResources(module);
    if (!r)
        return nullptr;
    for (int i = 0; i < r->imageCount; i++)
        if (r->images[i].id == id)
            return &r->images[i];
    return nullptr;
}

const VERSIONRESOURCE* FindVersionResource(HINSTANCE module)
{
    const RESOURCEDIRECTORY* r = GetModuleResources(module);
    return r ? r->version : nullptr;
}

// ---- message boxes ----

int MessageBox(HWND parent, LPCSTR text, LPCSTR caption, UINT type)
{
    return MessageBoxSink()(parent, text ? text : "", caption ? caption : "", type);
}

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxSink() = handler ? std::move(handler) : MessageBoxHandler(DefaultMessageBox);
}

// ---- windows ----

HWND GetApplicationWindow() { return &applicationWindow; }

INT_PTR DialogBoxParam(HINSTANCE module, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param)
{
    const DLGRESOURCE* res = FindDialogResource(module, templateName);
    if (!res || !proc) {
        lastError = "dialog template not found";
        return -1;
    }
    auto dialog = std::make_unique<HWND__>();
    dialog->className = "Dialog";
    dialog->text = res->caption ? res->caption : "";
    dialog->id = res->id;
    dialog->style = res->style;
    dialog->parent = parent;
    dialog->proc = proc;
    DialogSession session{dialog.get(), res, module, {}};
    for (int i = 0; i < res->itemCount; i++) {
        const DLGITEMRESOURCE& item = res->items[i];
        auto c = std::make_unique<HWND__>();
        c->className = item.className;
        c->text = item.text ? item.text : "";
        c->id = item.id;
        c->style = item.style;
        c->enabled = !(item.style & WS_DISABLED);
        c->parent = dialog.get();
        session.controls.push_back(c.get());
        dialog->children.push_back(std::move(c));
    }
    proc(dialog.get(), WM_INITDIALOG, 0, param);
    if (!dialog->ended)
        FrontEnd()(session);
    INT_PTR result = dialog->ended ? dialog->result : -1;
    proc(dialog.get(), WM_DESTROY, 0, 0);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    HWND d = FindDialog(dialog);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    if (!dialog)
        return nullptr;
    for (auto& c : dialog->children)
        if (c->id == id)
            return c.get();
    return nullptr;
}

int GetDlgCtrlID(HWND control) { return control ? control->id : 0; }

BOOL EnableWindow(HWND window, BOOL enable)
{
    if (!window)
        return FALSE;
    BOOL wasDisabled = !window->enabled;
    window->enabled = enable != 0;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) { return window && window->enabled; }

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND c = GetDlgItem(dialog, id);
    if (!c)
        return FALSE;
    c->checked = check;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c ? c->checked : BST_UNCHECKED;
}

LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value)
{
    if (!window || index != GWLP_USERDATA)
        return 0;
    LONG_PTR old = window->userData;
    window->userData = value;
    return old;
}

LONG_PTR GetWindowLongPtr(HWND window, int index) { return window && index == GWLP_USERDATA ? window->userData : 0; }

BOOL SetWindowText(HWND window, LPCSTR text)
{
    if (!window)
        return FALSE;
    window->text = text ? text : "";
    return TRUE;
}

int GetWindowText(HWND window, LPSTR buffer, int max)
{
    if (!window || !buffer || max <= 0)
        return 0;
    size_t n = std::min(window->text.size(), size_t(max - 1));
    std::memcpy(buffer, window->text.data(), n);
    buffer[n] = '\0';
    return int(n);
}

LPARAM SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!window || !window->proc)
        return 0;
    return window->proc(window, msg, wParam, lParam);
}

HWND GetParent(HWND window) { return window ? window->parent : nullptr; }

void InitCommonControls() {}

const char* GetWindowClassName(HWND window) { return window ? window->className.c_str() : ""; }

DWORD GetWindowStyle(HWND window) { return window ? window->style : 0; }

HWND GetLinkedSpinner(HWND edit)
{
    HWND dialog = edit ? edit->parent : nullptr;
    if (!dialog)
        return nullptr;
    for (auto& c : dialog->children)
        if (c->edit == edit && c->className == "Spinner")
            return c.get();
    return nullptr;
}

// ---- dialog sessions ----

void SetDialogFrontEnd(DialogFrontEnd frontEnd)
{
    FrontEnd() = frontEnd ? std::move(frontEnd) : DialogFrontEnd(PressDefaultButton);
}

bool DialogSession::Ended() const { return dialog->ended; }

void DialogSession::Click(int id)
{
    HWND c = GetDlgItem(dialog, id);
    if (!c || !c->enabled || dialog->ended)
        return;
    if (c->className == "CheckBox")
        c->checked = c->checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    SendMessage(dialog, WM_COMMAND, WPARAM(WORD(id)) | (WPARAM(BN_CLICKED) << 16), reinterpret_cast<LPARAM>(c));
}

void DialogSession::TypeInto(int id, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, id);
    if (!edit || !edit->enabled || dialog->ended)
        return;
    for (auto& c : dialog->children) {
        if (c->edit != edit)
            continue;
        errno = 0;
        char* end = nullptr;
        long v = std::strtol(text.c_str(), &end, 10);
        if (end != text.c_str() && errno == 0)
            c->value = int(std::clamp<long>(v, c->min, std::max(c->min, c->max)));
        UpdateLinkedEdit(c.get());
        return;
    }
    edit->text = text;
}

void DialogSession::Spin(int spinnerId, int steps)
{
    HWND spinner = GetDlgItem(dialog, spinnerId);
    if (!spinner || spinner->className != "Spinner" || !spinner->enabled || dialog->ended)
        return;
    long step = std::lround(double(steps) * spinner->scale);
    long v = std::clamp<long>(long(spinner->value) + step, spinner->min, std::max(spinner->min, spinner->max));
    spinner->value = int(v);
    UpdateLinkedEdit(spinner);
}

void DialogSession::Cancel()
{
    if (!dialog->ended)
        SendMessage(dialog, WM_COMMAND, WPARAM(IDCANCEL), 0);
}

// ---- custom controls ----

ISpinnerControl* GetISpinner(HWND spinner)
{
    if (!spinner || spinner->className != "Spinner")
        return nullptr;
    return new Spinner(spinner);
}

void ReleaseISpinner(ISpinnerControl* spinner) { delete spinner; }

void InitCustomControls(HINSTANCE) { customControlsInits++; }

int CustomControlsInitCount() { return customControlsInits; }
