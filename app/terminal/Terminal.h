// The terminal front end: modal dialogs and message boxes drawn with ncurses on the
// terminal of standard input and output, used by keyboard and mouse.
#pragma once

#include "win32.h"

namespace vek::term {

// Whether standard input and output are both a terminal.
bool HaveTerminal();

// The screen is taken on the first dialog or message box and given back by Close
// (or at exit). Only one exists per process.
class Terminal {
public:
    static Terminal& Get();
    // Runs a modal dialog until its procedure ends it. Returns without ending it when
    // the terminal stops answering (the dialog then counts as cancelled). False, with
    // nothing done, when the terminal cannot be taken (an unknown terminal type).
    bool RunDialog(DialogSession& session);
    // A modal message box with an OK button; false when the terminal cannot be taken.
    bool ShowMessageBox(const char* text, const char* caption);
    // Restores the terminal; harmless when it was never taken.
    void Close();

private:
    Terminal() = default;
    bool Open();
    bool open = false;
    bool failed = false;
};

} // namespace vek::term
