#include "cli/ExportSession.h"

#include "export/ResultMarkers.h"
#include "log.h"
#include "terminal/Terminal.h"
#include "transaction.h"

#include <unistd.h>

#include <cstdio>

namespace vek {

void TerminalFrontEnd(DialogSession& session)
{
    if (!term::Terminal::Get().RunDialog(session))
        PressDefaultButton(session);
}

void ShowBox(bool terminal, const std::string& caption, const std::string& text)
{
    if (!terminal || !term::Terminal::Get().ShowMessageBox(text.c_str(), caption.c_str())) {
        const char* erase = isatty(STDERR_FILENO) ? "\r\033[K" : ""; // a progress bar's line
        std::fprintf(stderr, "%s%s: %s\n", erase, caption.c_str(), text.c_str());
    }
}

HeldTerminal::~HeldTerminal() { term::Terminal::Get().Close(); }

FileTransaction::FileTransaction() { BeginFileTransaction(); }

FileTransaction::~FileTransaction() { AbortFileTransaction(); }

ExportSession::ExportSession(const Request& request)
    : terminal(term::HaveTerminal() && !request.noPrompt && request.settings.empty()), quiet(request.quiet)
{
    // --set values go through the dialog's own procedure, unseen, with or without --no-prompt.
    if (!request.settings.empty())
        SetDialogFrontEnd(PreferencesScript(request.settings, script));
    else if (terminal)
        SetDialogFrontEnd(TerminalFrontEnd);
    SetMessageBoxHandler([this](HWND, const char* text, const char* caption, UINT) {
        TakeMessageBox(caption, text);
        return IDOK;
    });
    SetLogHandler([this](DWORD, const char* title, const char* text) { TakeLogEntry(title, text); });
    CommitLast(request.OptionsPath());
}

ExportSession::~ExportSession()
{
    SetLogHandler(nullptr);
    SetMessageBoxHandler(nullptr);
    SetDialogFrontEnd(nullptr);
}

// Message boxes go to the terminal, or to standard error; with --quiet they are held,
// to be told only when the export fails. The exporter's result waits until the files
// are in place: an interrupt at it would otherwise discard what it announced.
void ExportSession::TakeMessageBox(const std::string& caption, const char* text)
{
    if (caption == "Message" || caption == "Warning")
        result.emplace_back(caption, text);
    else if (quiet)
        held.push_back(caption + ": " + text);
    else
        ShowBox(terminal, caption, text);
}

// The exporter reports each failure with its node in the application's log, for the
// summary; its other entries are told as message boxes are.
void ExportSession::TakeLogEntry(const char* title, const char* text)
{
    if (const int marker = FindResultMarker(title); marker >= 0)
        failures.push_back({marker, text});
    else if (quiet)
        held.push_back(std::string(title) + ": " + text);
    else
        std::fprintf(stderr, "%s: %s\n", title, text);
}

void ExportSession::TellResult() const
{
    for (const auto& [caption, text] : result)
        ShowBox(terminal, caption, text);
}

} // namespace vek
