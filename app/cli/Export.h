// One export of the command-line host, from the scene file to the files in place, and
// what is told of it.
#pragma once

#include "check/VekCheck.h"
#include "cli/CommandLine.h"

#include <optional>
#include <string>
#include <vector>

namespace vek {

// A failure the exporter reported, with the node (or, for a material, the material) it concerns.
struct ExportFailure {
    std::string marker; // "#ERROR_EXPORT_GEOM3D"
    std::string name;
};

struct ExportResult {
    int status = EXIT_NOTHING;
    std::string error;  // why nothing was written; "" when the files are in place or the user cancelled
    VekFigures figures; // what the Vek and ".box" files hold
    std::vector<std::pair<std::string, long long>> files; // the files written (not the options), with their bytes
    std::vector<ExportFailure> failures;
    std::vector<std::string> warnings; // what the scene's loader could not bring in as the file means it
    double seconds = 0;
    std::optional<ExportOptions> options; // those the exporter ran with, once it ran to its end
};

// Runs the export a request asks for: loads the scene, runs the module's exporter as the
// application does (dialog, message boxes) within a file transaction, and commits the
// files when it ran to its end. The status comes from the result markers the file ends
// with. Never throws. A model is read, and the run goes on, in a child process
// (ImportGuard.h): when that child ends by itself, this process ends with its status
// and RunExport does not return.
ExportResult RunExport(const Request& request);

// The lines that tell a user what was written: files, figures, failures, and the
// options that differ from their defaults.
std::string FormatSummary(const ExportResult& result);

// The same as a JSON document, with the scene, the status and all eighteen options.
std::string FormatJsonReport(const Request& request, const ExportResult& result);

// Writes a whole file (a report, the options of a batch) as an export writes its own:
// staged beside it and renamed into place once every byte is written. False, with
// "vekexport: PATH: reason" on standard error, when it could not be; the old file then
// stays as it was.
bool WriteFileStaged(const std::string& path, const std::string& bytes);

} // namespace vek
