// The part of the Win32 user interface the plug-in uses: module handles and
// resources, message boxes and modal dialogs.
//
// Windows here are in-memory objects. A modal dialog is built from the template in
// the module's resources and run by the dialog front end the application installs
// (a terminal one, or a non-interactive one that presses the default button).
#pragma once

#include "maxtypes.h"

#include <functional>
#include <string>
#include <vector>

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void* FARPROC;

#define MAKEINTRESOURCE(i) reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(WORD(i)))
#define IS_INTRESOURCE(r) ((reinterpret_cast<UINT_PTR>(r) >> 16) == 0)
#define LOWORD(l) WORD(UINT_PTR(l) & 0xffff)
#define HIWORD(l) WORD((UINT_PTR(l) >> 16) & 0xffff)

// Messages.
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

// Notification codes in the high word of WM_COMMAND's wParam.
#define BN_CLICKED 0
#define EN_CHANGE 0x0300

#define IDOK 1
#define IDCANCEL 2

// Message box styles.
#define MB_OK 0x0000
#define MB_ICONEXCLAMATION 0x0030
#define MB_ICONINFORMATION 0x0040
#define MB_ICONSTOP 0x0010

#define BST_UNCHECKED 0
#define BST_CHECKED 1

#define GWLP_USERDATA (-21)

// DllMain reasons.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// ---- resources (laid out by the module, read by the host) ----

// Control and dialog styles used by the templates.
#define WS_DISABLED 0x08000000L
#define WS_TABSTOP 0x00010000L
#define WS_GROUP 0x00020000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_MULTILINE 0x00002000L
#define DS_MODALFRAME 0x80L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L

struct DLGITEMRESOURCE {
    const char* className; // "Button", "CheckBox", "GroupBox", "Static", "Edit", "Spinner", "Bitmap", "Icon"
    const char* text;      // caption, or the resource name of an image
    int id;                // -1 for controls that no code addresses
    short x, y, cx, cy;    // dialog units
    DWORD style;
    int imageId; // bitmap or icon resource of an image control, else 0
};

struct DLGRESOURCE {
    int id;
    const char* caption;
    const char* font;
    int pointSize;
    short cx, cy;
    DWORD style;
    const DLGITEMRESOURCE* items;
    int itemCount;
};

struct STRINGRESOURCE {
    UINT id;
    const char* text;
};

// A small picture for the terminal: rows of characters.
struct IMAGERESOURCE {
    int id;
    int width, height;
    const char* const* rows;
};

// The module's version information: binary versions (major, minor, release, build)
// and the texts of its string block.
struct VERSIONRESOURCE {
    WORD fileVersion[4];
    WORD productVersion[4];
    const char* companyName;
    const char* fileDescription;
    const char* fileVersionText;
    const char* internalName;
    const char* legalCopyright;
    const char* originalFilename;
    const char* productName;
    const char* productVersionText;
};

struct RESOURCEDIRECTORY {
    const STRINGRESOURCE* strings;
    int stringCount;
    const DLGRESOURCE* dialogs;
    int dialogCount;
    const IMAGERESOURCE* images;
    int imageCount;
    const VERSIONRESOURCE* version; // may be null
};

// A module exports its resources under this name.
#define RESOURCE_DIRECTORY_SYMBOL "ResourceDirectory"

// ---- module loading ----

// Loads a module, calls its DllMain with DLL_PROCESS_ATTACH; null on failure
// (GetLastErrorText says why).
HOSTAPI HMODULE LoadLibrary(const char* path);
HOSTAPI FARPROC GetProcAddress(HMODULE module, const char* name);
// Calls DllMain with DLL_PROCESS_DETACH and unloads.
HOSTAPI BOOL FreeLibrary(HMODULE module);
HOSTAPI const char* GetLastErrorText();
HOSTAPI const RESOURCEDIRECTORY* GetModuleResources(HINSTANCE module);
// A handle for a module linked into the application instead of loaded (tests).
HOSTAPI HINSTANCE CreateModuleInstance(const RESOURCEDIRECTORY* resources);

// Copies string resource `id` into buffer (at most max characters with the
// terminator); returns its length, 0 when the module or entry does not exist.
HOSTAPI int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int max);
HOSTAPI const DLGRESOURCE* FindDialogResource(HINSTANCE module, LPCSTR name);
HOSTAPI const IMAGERESOURCE* FindImageResource(HINSTANCE module, int id);
// Null when the module has no version information.
HOSTAPI const VERSIONRESOURCE* FindVersionResource(HINSTANCE module);

// ---- message boxes ----

HOSTAPI int MessageBox(HWND parent, LPCSTR text, LPCSTR caption, UINT type);
// Where message boxes go. The default prints "Caption: text" on standard error.
typedef std::function<int(HWND parent, const char* text, const char* caption, UINT type)> MessageBoxHandler;
HOSTAPI void SetMessageBoxHandler(MessageBoxHandler handler);

// ---- windows and dialogs ----

HOSTAPI INT_PTR DialogBoxParam(HINSTANCE module, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param);
HOSTAPI BOOL EndDialog(HWND dialog, INT_PTR result);
HOSTAPI HWND GetDlgItem(HWND dialog, int id);
HOSTAPI int GetDlgCtrlID(HWND control);
HOSTAPI BOOL EnableWindow(HWND window, BOOL enable);
HOSTAPI BOOL IsWindowEnabled(HWND window);
HOSTAPI BOOL CheckDlgButton(HWND dialog, int id, UINT check);
HOSTAPI UINT IsDlgButtonChecked(HWND dialog, int id);
HOSTAPI LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
HOSTAPI LONG_PTR GetWindowLongPtr(HWND window, int index);
HOSTAPI BOOL SetWindowText(HWND window, LPCSTR text);
HOSTAPI int GetWindowText(HWND window, LPSTR buffer, int max);
HOSTAPI LPARAM SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
HOSTAPI HWND GetParent(HWND window);
HOSTAPI void InitCommonControls();

// The window of the application's main frame (the parent of plug-in dialogs).
HOSTAPI HWND GetApplicationWindow();

// What a dialog front end sees of a running modal dialog.
struct DialogSession {
    HWND dialog;
    const DLGRESOURCE* resource;
    HINSTANCE module;
    // The child windows, in template order.
    std::vector<HWND> controls;
    // True once EndDialog ran.
    bool Ended() const;
    // Clicks a button or check box (toggling a check box first) as a user would:
    // WM_COMMAND with BN_CLICKED goes to the dialog procedure. Disabled controls ignore it.
    void Click(int id);
    // Types text into an edit control linked to a spinner; the spinner takes the
    // value, clamped to its limits.
    void TypeInto(int id, const std::string& text);
    // Turns a spinner by steps of its scale, as its arrows do; the value is clamped
    // to the limits and shown in the linked edit. Disabled spinners ignore it.
    void Spin(int spinnerId, int steps);
    // The system's cancel command (Escape, close box): WM_COMMAND with IDCANCEL.
    void Cancel();
};

// Runs the modal loop of one dialog until it ends.
typedef std::function<void(DialogSession& session)> DialogFrontEnd;
// The default front end clicks the default push button.
HOSTAPI void SetDialogFrontEnd(DialogFrontEnd frontEnd);

// Inspection of control state, for front ends.
HOSTAPI const char* GetWindowClassName(HWND window);
HOSTAPI DWORD GetWindowStyle(HWND window);
// The spinner whose value an edit control shows, or null.
HOSTAPI HWND GetLinkedSpinner(HWND edit);
