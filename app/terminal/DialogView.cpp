#include "terminal/DialogView.h"

#include "custcont.h"

#include <algorithm>

namespace vek::term {

namespace {

constexpr int DU_PER_COL = 4;
constexpr int DU_PER_ROW = 11;
constexpr int SPIN_PAGE = 10;
const char* const CLOSE_BOX = "[X]";

std::string WindowText(HWND w)
{
    char buf[512];
    int n = GetWindowText(w, buf, int(sizeof(buf)));
    return std::string(buf, size_t(n));
}

// Text centred in width cells.
std::string Centred(const std::string& text, int width)
{
    int pad = std::max(0, width - TextCells(text));
    return std::string(size_t(pad / 2), ' ') + text + std::string(size_t(pad - pad / 2), ' ');
}

void DrawCaption(Canvas& canvas, int top, int left, int cols, const std::string& caption)
{
    canvas.Fill(top, left, 1, cols, ATTR_REVERSE);
    canvas.Text(top, left + 1, caption, ATTR_REVERSE, cols - 5);
    canvas.Text(top, left + cols - 4, CLOSE_BOX, ATTR_REVERSE);
}

void DrawWindowFrame(Canvas& canvas, int top, int left, int rows, int cols)
{
    canvas.Fill(top + 1, left, rows - 1, cols, ATTR_NORMAL);
    canvas.Frame(top, left, top + rows - 1, left + cols - 1, ATTR_NORMAL);
}

bool OnCloseBox(int row, int col, int top, int left, int cols)
{
    return row == top && col >= left + cols - 4 && col < left + cols - 1;
}

} // namespace

CellRect ControlCells(const DLGITEMRESOURCE& item)
{
    CellRect r;
    r.row = item.y / DU_PER_ROW;
    r.col = item.x / DU_PER_COL;
    r.height = std::max(1, (item.y + item.cy - 1) / DU_PER_ROW - r.row + 1);
    r.width = std::max(1, (item.x + item.cx - 1) / DU_PER_COL - r.col + 1);
    return r;
}

int ClientRows(const DLGRESOURCE& dialog) { return std::max(1, dialog.cy / DU_PER_ROW); }

int ClientCols(const DLGRESOURCE& dialog) { return std::max(1, dialog.cx / DU_PER_COL); }

// ---- DialogView ----

DialogView::DialogView(DialogSession& s)
    : session(s), clientRows(ClientRows(*s.resource)), clientCols(ClientCols(*s.resource))
{
    for (int i = 0; i < int(session.controls.size()); i++)
        if (CanFocus(i)) {
            focus = session.controls[size_t(i)];
            break;
        }
}

void DialogView::Place(int screenRows, int screenCols)
{
    top = std::max(0, (screenRows - Rows()) / 2);
    left = std::max(0, (screenCols - Cols()) / 2);
}

std::string DialogView::Class(int index) const { return GetWindowClassName(session.controls[size_t(index)]); }

int DialogView::IndexOf(HWND control) const
{
    auto it = std::find(session.controls.begin(), session.controls.end(), control);
    return it == session.controls.end() ? -1 : int(it - session.controls.begin());
}

bool DialogView::CanFocus(int index) const
{
    HWND c = session.controls[size_t(index)];
    return (GetWindowStyle(c) & WS_TABSTOP) && IsWindowEnabled(c);
}

void DialogView::Draw(Canvas& canvas) const
{
    const int rows = Rows(), cols = Cols();
    DrawWindowFrame(canvas, top, left, rows, cols);
    DrawCaption(canvas, top, left, cols, WindowText(session.dialog));

    const DLGRESOURCE& res = *session.resource;
    for (int i = 0; i < res.itemCount && i < int(session.controls.size()); i++) {
        const DLGITEMRESOURCE& item = res.items[i];
        HWND c = session.controls[size_t(i)];
        CellRect cell = ControlCells(item);
        // Controls are clipped to the client area.
        cell.width = std::min(cell.width, clientCols - cell.col);
        cell.height = std::min(cell.height, clientRows - cell.row);
        if (cell.width <= 0 || cell.height <= 0)
            continue;
        const int r = top + 1 + cell.row, col = left + 1 + cell.col;
        const std::string cls = GetWindowClassName(c);
        const std::string text = WindowText(c);
        const bool enabled = IsWindowEnabled(c);
        const bool focused = c == focus;
        unsigned attr = enabled ? unsigned(ATTR_NORMAL) : unsigned(ATTR_DIM);

        if (cls == "GroupBox") {
            canvas.Frame(r, col, r + cell.height - 1, col + cell.width - 1, ATTR_NORMAL);
            if (!text.empty())
                canvas.Text(r, col + 1, " " + text + " ", ATTR_NORMAL, cell.width - 2);
        } else if (cls == "CheckBox") {
            bool checked = IsDlgButtonChecked(session.dialog, GetDlgCtrlID(c)) == BST_CHECKED;
            unsigned a = attr | (focused ? unsigned(ATTR_REVERSE) : 0u);
            std::vector<std::string> lines = WrapText(text, std::max(1, cell.width - 4));
            canvas.Text(r, col, checked ? "[x] " : "[ ] ", a);
            for (int k = 0; k < int(lines.size()) && k < cell.height; k++)
                canvas.Text(r + k, col + 4, lines[size_t(k)], a, cell.width - 4);
        } else if (cls == "Static") {
            std::vector<std::string> lines = WrapText(text, cell.width);
            for (int k = 0; k < int(lines.size()) && k < cell.height; k++)
                canvas.Text(r + k, col, lines[size_t(k)], attr, cell.width);
        } else if (cls == "Edit") {
            int inner = std::max(1, cell.width - 2);
            std::string shown = focused && typing ? typed : text;
            int pad = std::max(0, inner - TextCells(shown));
            canvas.Text(r, col, "[", attr);
            canvas.Text(r, col + 1, std::string(size_t(pad), ' ') + shown,
                        attr | (focused ? unsigned(ATTR_REVERSE) : 0u), inner);
            canvas.Text(r, col + 1 + inner, "]", attr);
        } else if (cls == "Spinner") {
            canvas.Text(r, col, "\u25b2\u25bc", attr, cell.width);
        } else if (cls == "Button") {
            unsigned a = attr | ((GetWindowStyle(c) & BS_DEFPUSHBUTTON) ? unsigned(ATTR_BOLD) : 0u) |
                         (focused ? unsigned(ATTR_REVERSE) : 0u);
            canvas.Text(r, col, "[" + Centred(text, cell.width - 2) + "]", a, cell.width);
        } else if (cls == "Bitmap" || cls == "Icon") {
            const IMAGERESOURCE* image = FindImageResource(session.module, item.imageId);
            if (!image)
                continue;
            int offset = cls == "Bitmap" ? std::max(0, (cell.width - image->width) / 2) : 0;
            for (int k = 0; k < image->height && k < cell.height; k++)
                canvas.Text(r + k, col + offset, image->rows[k], ATTR_NORMAL, cell.width - offset);
        }
    }
}

bool DialogView::Cursor(int& screenRow, int& screenCol) const
{
    int i = focus ? IndexOf(focus) : -1;
    if (!typing || i < 0)
        return false;
    CellRect cell = ControlCells(session.resource->items[i]);
    screenRow = top + 1 + cell.row;
    screenCol = left + 1 + cell.col + std::max(1, cell.width - 2) + 1;
    return true;
}

void DialogView::CommitTyping()
{
    if (!typing)
        return;
    typing = false;
    if (focus && !typed.empty())
        session.TypeInto(GetDlgCtrlID(focus), typed);
    typed.clear();
}

void DialogView::SetFocus(int index)
{
    HWND next = index >= 0 ? session.controls[size_t(index)] : nullptr;
    if (next != focus)
        CommitTyping();
    focus = next;
}

void DialogView::MoveFocus(int direction)
{
    const int n = int(session.controls.size());
    int start = focus ? IndexOf(focus) : (direction > 0 ? -1 : n);
    for (int step = 1; step <= n; step++) {
        int i = ((start + direction * step) % n + n) % n;
        if (CanFocus(i)) {
            SetFocus(i);
            return;
        }
    }
}

void DialogView::SpinFocused(int steps)
{
    CommitTyping();
    if (HWND spinner = GetLinkedSpinner(focus))
        session.Spin(GetDlgCtrlID(spinner), steps);
}

void DialogView::ClickDefaultButton()
{
    for (HWND c : session.controls)
        if (std::string(GetWindowClassName(c)) == "Button" && (GetWindowStyle(c) & BS_DEFPUSHBUTTON)) {
            session.Click(GetDlgCtrlID(c));
            return;
        }
}

void DialogView::Press(Key key, char ch)
{
    const int i = focus ? IndexOf(focus) : -1;
    const std::string cls = i >= 0 ? Class(i) : "";
    const bool inEdit = cls == "Edit" && IsWindowEnabled(focus);
    switch (key) {
    case Key::Tab:
    case Key::Right:
        MoveFocus(+1);
        break;
    case Key::BackTab:
    case Key::Left:
        MoveFocus(-1);
        break;
    case Key::Up:
        if (inEdit)
            SpinFocused(+1);
        else
            MoveFocus(-1);
        break;
    case Key::Down:
        if (inEdit)
            SpinFocused(-1);
        else
            MoveFocus(+1);
        break;
    case Key::PageUp:
        if (inEdit)
            SpinFocused(+SPIN_PAGE);
        break;
    case Key::PageDown:
        if (inEdit)
            SpinFocused(-SPIN_PAGE);
        break;
    case Key::Space:
        if ((cls == "CheckBox" || cls == "Button") && IsWindowEnabled(focus))
            session.Click(GetDlgCtrlID(focus));
        break;
    case Key::Enter:
        CommitTyping();
        if (cls == "Button" && IsWindowEnabled(focus))
            session.Click(GetDlgCtrlID(focus));
        else
            ClickDefaultButton();
        break;
    case Key::Escape:
        session.Cancel();
        break;
    case Key::Backspace:
        if (inEdit) {
            if (!typing) {
                typing = true;
                typed = WindowText(focus);
            }
            if (!typed.empty())
                typed.pop_back();
        }
        break;
    case Key::Char:
        if (!inEdit)
            break;
        if (ch == '+')
            SpinFocused(+1);
        else if (ch == '-' && !(typing && typed.empty()))
            SpinFocused(-1);
        else if ((ch >= '0' && ch <= '9') || ch == '-') {
            if (!typing) {
                typing = true;
                typed.clear();
            }
            if (typed.size() < 11)
                typed += ch;
        }
        break;
    }
}

void DialogView::Click(int screenRow, int screenCol)
{
    if (OnCloseBox(screenRow, screenCol, top, left, Cols())) {
        CommitTyping();
        session.Cancel();
        return;
    }
    const int r = screenRow - top - 1, c = screenCol - left - 1;
    const DLGRESOURCE& res = *session.resource;
    for (int i = 0; i < res.itemCount && i < int(session.controls.size()); i++) {
        CellRect cell = ControlCells(res.items[i]);
        if (!cell.Contains(r, c))
            continue;
        HWND control = session.controls[size_t(i)];
        const std::string cls = Class(i);
        if (cls != "CheckBox" && cls != "Button" && cls != "Edit" && cls != "Spinner")
            continue;
        if (!IsWindowEnabled(control))
            return;
        if (cls == "Spinner") {
            CommitTyping();
            session.Spin(GetDlgCtrlID(control), c == cell.col ? +1 : -1);
            return;
        }
        SetFocus(i);
        if (cls != "Edit")
            session.Click(GetDlgCtrlID(control));
        return;
    }
}

void DialogView::Wheel(int screenRow, int screenCol, int steps)
{
    const int r = screenRow - top - 1, c = screenCol - left - 1;
    const DLGRESOURCE& res = *session.resource;
    for (int i = 0; i < res.itemCount && i < int(session.controls.size()); i++) {
        if (!ControlCells(res.items[i]).Contains(r, c))
            continue;
        HWND control = session.controls[size_t(i)];
        const std::string cls = Class(i);
        HWND spinner = cls == "Spinner" ? control : cls == "Edit" ? GetLinkedSpinner(control) : nullptr;
        if (!spinner)
            continue; // frames and labels lie under the controls
        if (IsWindowEnabled(spinner)) {
            CommitTyping();
            session.Spin(GetDlgCtrlID(spinner), steps);
        }
        return;
    }
}

// ---- MessageBoxView ----

MessageBoxView::MessageBoxView(std::string t, std::string c) : text(std::move(t)), caption(std::move(c))
{
    lines = WrapText(text, 60);
    int width = std::max(TextCells(caption) + 6, 12);
    for (const std::string& l : lines)
        width = std::max(width, TextCells(l) + 4);
    cols = width;
    rows = int(lines.size()) + 5; // caption, blank, text, blank, button, border
}

void MessageBoxView::Place(int screenRows, int screenCols)
{
    top = std::max(0, (screenRows - rows) / 2);
    left = std::max(0, (screenCols - cols) / 2);
}

void MessageBoxView::Draw(Canvas& canvas) const
{
    DrawWindowFrame(canvas, top, left, rows, cols);
    DrawCaption(canvas, top, left, cols, caption);
    for (int k = 0; k < int(lines.size()); k++)
        canvas.Text(top + 2 + k, left + 2, lines[size_t(k)], ATTR_NORMAL);
    canvas.Text(top + rows - 2, left + (cols - 8) / 2, "[  OK  ]", ATTR_BOLD | ATTR_REVERSE);
}

void MessageBoxView::Press(Key key)
{
    if (key == Key::Enter || key == Key::Space || key == Key::Escape)
        closed = true;
}

void MessageBoxView::Click(int screenRow, int screenCol)
{
    int okLeft = left + (cols - 8) / 2;
    if ((screenRow == top + rows - 2 && screenCol >= okLeft && screenCol < okLeft + 8) ||
        OnCloseBox(screenRow, screenCol, top, left, cols))
        closed = true;
}

} // namespace vek::term
