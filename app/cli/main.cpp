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
#include "transaction.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

int Export(const vek::Request& request)
{
    vek::ExportResult result = vek::RunExport(request);
    if (!result.error.empty())
        std::fprintf(stderr, "vekexport: %s\n", result.error.c_str());
    if (!request.quiet)
        std::fputs(vek::FormatSummary(result).c_str(), stdout);
    if (!request.reportPath.empty() &&
        !vek::WriteFileStaged(request.reportPath, vek::FormatJsonReport(request, result)))
        return std::max(result.status, int(vek::EXIT_NOTHING));
    const bool written = result.status == vek::EXIT_EXPORTED || result.status == vek::EXIT_MARKERS;
    if (written && !request.render.preview.empty() && !vek::render::WritePreview(request.render, request.output))
        return vek::EXIT_NO_PREVIEW;
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
    vek::WatchInterrupts([](int signal) {
        vek::term::Terminal::Get().Close();
        vek::StopBatch(signal);
        vek::StopChild(signal);
    });
    try {
        int status = 0;
        std::optional<vek::Request> request = vek::ParseCommandLine(argc, argv, status);
        return request ? Run(*request) : status;
    } catch (const std::exception& e) {
        AbortFileTransaction();
        vek::term::Terminal::Get().Close();
        std::fprintf(stderr, "vekexport: %s\n", e.what());
    } catch (...) {
        AbortFileTransaction();
        vek::term::Terminal::Get().Close();
        std::fprintf(stderr, "vekexport: unexpected failure\n");
    }
    return vek::EXIT_NOTHING;
}
