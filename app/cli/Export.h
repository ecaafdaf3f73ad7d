// One export of the command-line host, from the scene file to the files in place, and
// what is told of it.
#pragma once

#include "check/VekCheck.h"
#include "cli/CommandLine.h"
#include "cli/ExportSession.h"

#include <optional>
#include <string>
#include <vector>

namespace vek {

struct ExportResult {
    int status = EXIT_NOTHING;     // the exit status: EXIT_EXTRAS once something after the commit failed
    bool committed = false;        // the files are in place: whatever comes after, they stay
    std::optional<AppError> error; // why nothing was written; none when the files are in place or the user cancelled
    VekFigures figures;            // what the Vek and ".box" files hold
    std::vector<std::pair<std::string, long long>> files; // the files written (not the options), with their bytes
    std::vector<ExportFailure> failures;
    std::vector<std::string> warnings;     // what the scene's loader could not bring in as the file means it
    std::vector<std::string> extrasFailed; // what failed after the commit (options, preview, report)
    double seconds = 0;
    std::optional<ExportOptions> options; // those the exporter ran with, once it ran to its end
};

// Runs the export a request asks for: recovers what dead runs left beside the output,
// loads the scene, runs the module's exporter as the application does (dialog,
// message boxes) within a file transaction, and commits the files when it ran to its
// end and the checker finds nothing in them: all of them, the options last. The
// status comes from the result markers the file ends with (EXIT_EXTRAS when the
// options could not be saved after the commit). Never throws. A model is read, and the run goes on, in a child process
// (ImportGuard.h): when that child ends by itself, this process ends with its status
// and RunExport does not return.
ExportResult RunExport(const Request& request);

// --recover DIR: finishes or undoes what exports that died while putting their files
// in place left in DIR, removes their temporary files, and says what was done.
// EXIT_EXPORTED, or EXIT_NOTHING when it could not (told on standard error).
int RunRecover(const Request& request);

// The lines that tell a user what was written: files, figures, failures, and the
// options that differ from their defaults.
std::string FormatSummary(const ExportResult& result);

// The same as a JSON document, with the scene, the status and all eighteen options.
std::string FormatJsonReport(const Request& request, const ExportResult& result);

// Writes a whole file (a report, the options of a batch) as an export writes its own:
// staged beside it and renamed into place once every byte is written. Why it could not
// be, when it could not (the old file then stays as it was). "-" is standard output.
std::optional<AppError> WriteFileStaged(const std::string& path, const std::string& bytes);

} // namespace vek
