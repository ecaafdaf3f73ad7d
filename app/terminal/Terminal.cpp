#include "terminal/Terminal.h"

#include "terminal/DialogView.h"

#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace vek::term {

namespace {

// A terminal that stops answering (end of input) ends the modal loop after this many
// failed reads in a row.
constexpr int MAX_FAILED_READS = 64;

chtype Attributes(unsigned attr)
{
    chtype a = A_NORMAL;
    if (attr & ATTR_DIM)
        a |= A_DIM;
    if (attr & ATTR_BOLD)
        a |= A_BOLD;
    if (attr & ATTR_REVERSE)
        a |= A_REVERSE;
    return a;
}

void Show(const Canvas& canvas, bool cursor, int cursorRow, int cursorCol)
{
    for (int r = 0; r < canvas.Rows(); r++)
        for (int c = 0; c < canvas.Cols(); c++) {
            const Cell& cell = canvas.At(r, c);
            attrset(Attributes(cell.attr));
            mvaddstr(r, c, cell.glyph.c_str());
        }
    attrset(A_NORMAL);
    if (cursor) {
        curs_set(1);
        move(cursorRow, cursorCol);
    } else {
        curs_set(0);
    }
    refresh();
}

// One event from the terminal.
struct Event {
    enum Kind { None, KeyPress, Mouse, Wheel, Resize, Failed } kind = None;
    Key key = Key::Char;
    char ch = 0;
    int row = 0, col = 0;
};

// The curses key codes that are keys of the dialog.
struct CursesKey {
    int code;
    Key key;
};
constexpr CursesKey CursesKeys[] = {
    {KEY_UP, Key::Up},          {KEY_DOWN, Key::Down},    {KEY_LEFT, Key::Left},
    {KEY_RIGHT, Key::Right},    {KEY_BTAB, Key::BackTab}, {KEY_PPAGE, Key::PageUp},
    {KEY_NPAGE, Key::PageDown}, {KEY_ENTER, Key::Enter},  {KEY_BACKSPACE, Key::Backspace},
};
static_assert(std::size(CursesKeys) == 9, "every special key the dialog reads");

Event Read()
{
    Event e;
    wint_t wch = 0;
    int rc = wget_wch(stdscr, &wch);
    if (rc == ERR) {
        e.kind = Event::Failed;
        return e;
    }
    e.kind = Event::KeyPress;
    if (rc == KEY_CODE_YES) {
        for (const CursesKey& k : CursesKeys)
            if (wint_t(k.code) == wch) {
                e.key = k.key;
                return e;
            }
        switch (wch) {
        case KEY_RESIZE:
            e.kind = Event::Resize;
            return e;
        case KEY_MOUSE: {
            MEVENT m;
            if (getmouse(&m) == OK) {
                e.row = m.y;
                e.col = m.x;
                if (m.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
                    e.kind = Event::Mouse;
                    return e;
                }
                if (m.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) {
                    e.kind = Event::Wheel;
                    e.ch = (m.bstate & BUTTON4_PRESSED) ? 1 : -1;
                    return e;
                }
            }
            e.kind = Event::None;
            return e;
        }
        default:
            e.kind = Event::None;
            return e;
        }
    }
    switch (wch) {
    case '\t':
        e.key = Key::Tab;
        break;
    case '\n':
    case '\r':
        e.key = Key::Enter;
        break;
    case 27:
        e.key = Key::Escape;
        break;
    case ' ':
        e.key = Key::Space;
        break;
    case 8:
    case 127:
        e.key = Key::Backspace;
        break;
    default:
        if (wch < 128) {
            e.key = Key::Char;
            e.ch = char(wch);
        } else {
            e.kind = Event::None;
        }
    }
    return e;
}

} // namespace

bool HaveTerminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

Terminal& Terminal::Get()
{
    static Terminal terminal;
    return terminal;
}

bool Terminal::Open()
{
    if (open)
        return true;
    // The texts are French: draw them in UTF-8 even when the user's locale names no
    // character set. Only the character classification changes, never the numbers.
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || std::strcmp(codeset, "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    if (failed)
        return false;
    if (!newterm(nullptr, stdout, stdin)) {
        failed = true;
        std::fprintf(stderr, "vekexport: this terminal cannot show dialogs; going on without them\n");
        return false;
    }
    open = true;
    std::atexit([] { Terminal::Get().Close(); });
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
    mouseinterval(0);
    return true;
}

void Terminal::Close()
{
    if (!open)
        return;
    open = false;
    curs_set(1);
    endwin();
}

bool Terminal::RunDialog(DialogSession& session)
{
    if (!Open())
        return false;
    DialogView view(session);
    int failedReads = 0;
    while (!session.Ended() && failedReads < MAX_FAILED_READS) {
        Canvas canvas(LINES, COLS);
        view.Place(LINES, COLS);
        view.Draw(canvas);
        int row = 0, col = 0;
        bool cursor = view.Cursor(row, col);
        Show(canvas, cursor, row, col);
        Event e = Read();
        failedReads = e.kind == Event::Failed ? failedReads + 1 : 0;
        if (e.kind == Event::KeyPress)
            view.Press(e.key, e.ch);
        else if (e.kind == Event::Mouse)
            view.Click(e.row, e.col);
        else if (e.kind == Event::Wheel)
            view.Wheel(e.row, e.col, e.ch);
    }
    erase();
    refresh();
    return true;
}

bool Terminal::ShowMessageBox(const char* text, const char* caption)
{
    if (!Open())
        return false;
    MessageBoxView view(text ? text : "", caption ? caption : "");
    int failedReads = 0;
    while (!view.Closed() && failedReads < MAX_FAILED_READS) {
        Canvas canvas(LINES, COLS);
        view.Place(LINES, COLS);
        view.Draw(canvas);
        Show(canvas, false, 0, 0);
        Event e = Read();
        failedReads = e.kind == Event::Failed ? failedReads + 1 : 0;
        if (e.kind == Event::KeyPress)
            view.Press(e.key);
        else if (e.kind == Event::Mouse)
            view.Click(e.row, e.col);
    }
    erase();
    refresh();
    return true;
}

} // namespace vek::term
