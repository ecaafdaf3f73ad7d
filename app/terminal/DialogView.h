// A modal dialog on a character display: draws the dialog template and the state of
// its controls, and turns keys and mouse clicks into what a user does to the controls.
//
// The template is laid on a grid of cells four dialog units wide and eleven high. The
// window is a caption bar (caption, then the close box "[X]" at the right), the client
// area between two side borders, and a bottom border.
#pragma once

#include "terminal/Canvas.h"
#include "win32.h"

#include <string>

namespace vek::term {

// A control's cells, relative to the dialog's client area.
struct CellRect {
    int row = 0, col = 0, height = 1, width = 1;
    bool Contains(int r, int c) const { return r >= row && r < row + height && c >= col && c < col + width; }
};

CellRect ControlCells(const DLGITEMRESOURCE& item);
// The client area's size in cells.
int ClientRows(const DLGRESOURCE& dialog);
int ClientCols(const DLGRESOURCE& dialog);

enum class Key { Tab, BackTab, Up, Down, Left, Right, PageUp, PageDown, Space, Enter, Escape, Backspace, Char };

class DialogView {
public:
    explicit DialogView(DialogSession& session);

    // Centres the window on a screen of that size (top left corner when it does not fit).
    void Place(int screenRows, int screenCols);
    int Top() const { return top; }
    int Left() const { return left; }
    int Rows() const { return clientRows + 2; }
    int Cols() const { return clientCols + 2; }

    void Draw(Canvas& canvas) const;

    // Keyboard: Tab and the arrows move between the controls that take the focus
    // (enabled, with a tab stop, in template order); in an edit, Up/Down, "+"/"-" and
    // Page Up/Down turn its spinner, digits replace then extend its text, and the text
    // goes to the spinner when the focus leaves it or Enter is pressed. Space clicks
    // the focused check box or button, Enter the focused button or else the default
    // one, Escape sends the system's cancel command.
    void Press(Key key, char ch = 0);
    // A mouse click on a screen cell: clicks a check box or button, focuses an edit,
    // turns a spinner (its left cell up, its right cell down); the close box sends
    // the system's cancel command.
    void Click(int screenRow, int screenCol);
    // The mouse wheel over an edit or its spinner turns the spinner (up is positive).
    void Wheel(int screenRow, int screenCol, int steps);

    // The focused control (null when none can take the focus).
    HWND Focus() const { return focus; }
    // Where the text cursor stands while an edit is being typed into, else false.
    bool Cursor(int& screenRow, int& screenCol) const;

private:
    int IndexOf(HWND control) const;
    bool CanFocus(int index) const;
    void MoveFocus(int direction);
    void SetFocus(int index);
    void CommitTyping();
    void SpinFocused(int steps);
    void ClickDefaultButton();
    std::string Class(int index) const;

    DialogSession& session;
    int clientRows, clientCols;
    int top = 0, left = 0;
    HWND focus = nullptr;
    bool typing = false; // the focused edit holds text not yet given to its spinner
    std::string typed;
};

// A message box with an OK button on a character display.
class MessageBoxView {
public:
    MessageBoxView(std::string text, std::string caption);
    void Place(int screenRows, int screenCols);
    void Draw(Canvas& canvas) const;
    // Enter, Space and Escape close the box, as a click on OK or on the close box does.
    void Press(Key key);
    void Click(int screenRow, int screenCol);
    bool Closed() const { return closed; }

private:
    std::string text, caption;
    std::vector<std::string> lines;
    int rows = 0, cols = 0, top = 0, left = 0;
    bool closed = false;
};

} // namespace vek::term
