// vekexport: plays the modelling application. Loads a scene, loads the export module,
// and runs one export through it exactly as the application would; or many, each in
// its own process.
//
// An export is a transaction: every file it writes (the Vek file, the ".box" file,
// embedded textures, the options) is staged beside its target and put in place only
// when the export ran to its end without failure; otherwise every target stays as it
// was. The exit statuses are listed by --help (CommandLine.cpp).
//
// A model is read through Assimp, whose readers crash or never return on some damaged
// files: from there on the run goes on in a child process, and this one says how it
// ended if it crashed or overran its time (ImportGuard.h).
//
// On a terminal the preferences dialog, the about box and the message boxes are drawn
// and used there; without one, or with --no-prompt, nothing is drawn and message boxes
// go to standard error as "Caption: text".
#include "cli/Batch.h"
#include "cli/CommandLine.h"
#include "cli/Export.h"
#include "cli/ImportGuard.h"
#include "cli/Info.h"
#include "cli/Interrupts.h"
#include "terminal/Terminal.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

// Whatever was printed on standard output reached it; said when not.
bool StandardOutputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    vek::Tell(vek::AppError(std::strerror(errno ? errno : EIO), "standard output"));
    return false;
}

// What comes after the files are in place: the preview, the summary and the report.
// A failure there makes the status EXIT_EXTRAS; the files stay.
void Extras(const vek::Request& request, vek::ExportResult& result)
{
    if (!request.render.preview.empty()) {
        vek::RemoveOnInterrupt(request.render.preview + ".part");
        if (!vek::render::WritePreview(request.render, request.output))
            result.extrasFailed.emplace_back("the preview could not be made");
    }
    if (!result.extrasFailed.empty())
        result.status = vek::EXIT_EXTRAS;
    if (request.outputStream == 1 && !request.quiet) {
        std::fputs(vek::FormatSummary(result).c_str(), stderr); // standard output holds the Vek file
    } else if (!request.quiet && request.reportPath != "-") {
        std::fputs(vek::FormatSummary(result).c_str(), stdout);
        if (!StandardOutputWritten()) {
            result.extrasFailed.emplace_back("the summary could not be printed");
            result.status = vek::EXIT_EXTRAS;
        }
    }
}

// The report's status is the exit status: it is written last, and only its own
// failure can change the status after it.
void WriteReport(const vek::Request& request, vek::ExportResult& result)
{
    std::optional<vek::AppError> error =
        vek::WriteFileStaged(request.reportPath, vek::FormatJsonReport(request, result));
    if (!error)
        return;
    vek::Tell(*error);
    if (result.committed) {
        result.extrasFailed.emplace_back("the report could not be written");
        result.status = vek::EXIT_EXTRAS;
    } else {
        result.status = std::max(result.status, int(vek::EXIT_NOTHING));
    }
}

int Export(const vek::Request& request)
{
    vek::ExportResult result = vek::RunExport(request);
    if (result.error)
        vek::Tell(*result.error);
    if (result.committed)
        Extras(request, result);
    else if (!request.quiet && request.reportPath != "-")
        std::fputs(vek::FormatSummary(result).c_str(), request.outputStream == 1 ? stderr : stdout);
    if (!request.reportPath.empty())
        WriteReport(request, result);
    for (const std::string& failed : result.extrasFailed)
        vek::Tell(vek::AppError("exported; " + failed, "", "", vek::EXIT_EXTRAS));
    vek::SetStatusOnInterrupt(result.committed ? result.status : -1);
    return result.status;
}

int Run(const vek::Request& request)
{
    using A = vek::Request::Action;
    switch (request.action) {
    case A::Check:
        return vek::RunCheck(request);
    case A::Render:
        return vek::render::RunRender(request.render);
    case A::ShowOptions:
        return vek::ShowOptions(request);
    case A::About:
        return vek::ShowAbout(request);
    case A::Version:
        return vek::ShowVersion(request);
    case A::ListFormats:
        return vek::ListFormats();
    case A::Batch:
        return vek::RunBatch(request);
    case A::Recover:
        return vek::RunRecover(request);
    case A::Export:
        break;
    }
    return Export(request);
}

} // namespace

int main(int argc, char** argv)
{
    // The user's locale stays in force, as in the application: the plug-in writes its
    // numbers without regard to it.
    std::setlocale(LC_ALL, "");
    vek::KeepCommandLine(argv);
    // A file size limit (ulimit -f) fails the write that passes it (EFBIG), which the
    // export handles as any other failed write, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // Likewise a reader that closes its end of standard output (vekexport SCENE - | head)
    // fails the write (EPIPE): the run says so and ends with its status.
    std::signal(SIGPIPE, SIG_IGN);
    vek::WatchInterrupts([](int signal) {
        vek::term::Terminal::Get().Close();
        vek::StopBatch(signal);
        return vek::StopChild(signal);
    });
    try {
        int status = 0;
        std::optional<vek::Request> request = vek::ParseCommandLine(argc, argv, status);
        if (!request)
            return status;
        status = Run(*request);
        // What --check, --show-options and the like print is their result: unwritten, it
        // is a failure. An export said so itself.
        using A = vek::Request::Action;
        if (request->action == A::Batch && !StandardOutputWritten() && status <= vek::EXIT_MARKERS)
            status = vek::EXIT_EXTRAS; // the scenes' lines are lost, not their files
        else if (request->action != A::Export && !StandardOutputWritten())
            status = std::max(status, int(vek::EXIT_NOTHING));
        return status;
    } catch (const vek::AppError& e) {
        vek::Tell(e);
        return e.Status();
    } catch (const std::exception& e) { // out of memory, or another layer's
        vek::Tell(vek::AppError(e.what()));
    } catch (...) {
        vek::Tell(vek::AppError("unexpected failure"));
    }
    return vek::EXIT_NOTHING;
}
