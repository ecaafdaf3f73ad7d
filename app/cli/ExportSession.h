// What one export installs around its run through the module: the dialog front end,
// the message-box and log handlers, the file transaction and the terminal. One object
// holds them and its destructor is the one way they go, so that a return or an
// exception at any point leaves nothing installed and nothing staged.
#pragma once

#include "cli/CommandLine.h"
#include "cli/PreferencesScript.h"

#include <string>
#include <utility>
#include <vector>

namespace vek {

// A failure the exporter reported: its marker, an index in `resultMarkers`
// (export/ResultMarkers.h, whose `subject` says what `name` is: a node or a material).
struct ExportFailure {
    int marker = 0;
    std::string name;
};

// The terminal's screen, which the first dialog or message box drawn takes: given back
// when this object ends.
class HeldTerminal {
public:
    HeldTerminal() = default;
    ~HeldTerminal();
    HeldTerminal(const HeldTerminal&) = delete;
    HeldTerminal& operator=(const HeldTerminal&) = delete;
};

// The file transaction of a run (transaction.h): opened by the constructor; whatever
// is still staged when the object ends is removed. After a commit nothing is.
class FileTransaction {
public:
    FileTransaction();
    ~FileTransaction();
    FileTransaction(const FileTransaction&) = delete;
    FileTransaction& operator=(const FileTransaction&) = delete;
};

// While it lives: the preferences dialog is scripted by the request's --set values, or
// drawn on the terminal when there is one to draw on; message boxes and log entries are
// told on the terminal or standard error (held back with --quiet); the exporter's
// failure entries are kept; the options file is put in place last; every file written
// is staged. The destructor takes all of it down and gives the terminal back.
class ExportSession {
public:
    explicit ExportSession(const Request& request);
    ~ExportSession();
    ExportSession(const ExportSession&) = delete;
    ExportSession& operator=(const ExportSession&) = delete;

    // Whether dialogs and message boxes are drawn on the terminal.
    bool OnTerminal() const { return terminal; }
    // What the scripted dialog came to (nothing refused without --set).
    const ScriptResult& Script() const { return script; }
    // The failures the exporter reported so far, in its order (log entries whose title
    // is a failure marker); taken away.
    std::vector<ExportFailure> TakeFailures() { return std::move(failures); }
    // Tells the exporter's result ("Message" or "Warning" boxes), held back until the
    // files are in place: before, it could announce files that are then not written.
    void TellResult() const;
    // The boxes and entries --quiet held back, to be told when nothing is written; taken away.
    std::vector<std::string> TakeHeld() { return std::move(held); }

private:
    HeldTerminal screen; // given back after everything else is taken down
    bool terminal = false, quiet = false;
    ScriptResult script;
    std::vector<ExportFailure> failures;
    std::vector<std::string> held;
    std::vector<std::pair<std::string, std::string>> result; // caption and text
    FileTransaction transaction;

    void TakeMessageBox(const std::string& caption, const char* text);
    void TakeLogEntry(const char* title, const char* text);
};

// The dialog drawn on the terminal; a terminal that cannot show it gets the behaviour
// of no terminal at all: the default button is pressed.
void TerminalFrontEnd(DialogSession& session);

// A message box on the terminal (when `terminal`), or on standard error as "Caption: text".
void ShowBox(bool terminal, const std::string& caption, const std::string& text);

} // namespace vek
