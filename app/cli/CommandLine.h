// The command line of vekexport: what a run is asked to do.
#pragma once

#include "cli/AppError.h"
#include "cli/PreferencesScript.h"
#include "render/RenderCommand.h"
#include "scene/Scene.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vek {

struct Request {
    enum class Action { Export, Batch, Check, Render, ShowOptions, About, Version, ListFormats, Recover };
    Action action = Action::Export;
    std::vector<std::string> scenes; // one for an export, any number for a batch
    std::string output;              // the Vek file of an export
    int outputStream = 0;            // 1 or 2: the Vek file goes to standard output or error, not to a file
    std::string outputDir;           // where a batch writes
    int jobs = 1;                    // exports of a batch running at once
    std::string checkPath;
    std::string recoverDir;  // --recover
    std::string configDir;   // holds the options file; never empty
    std::string modulePath;  // the export module; never empty
    std::string reportPath;  // the JSON report, "" for none
    std::string textureRoot; // texture paths under it are written relative to it; "" for none
    std::vector<OptionSetting> settings;
    bool noPrompt = false, selectedOnly = false, quiet = false;
    bool noSave = false; // the export's options are not saved; the options file stays as it was
    bool force = false;  // a batch exports scenes whose outputs are up to date as well
    ImportOptions::Up up = ImportOptions::Up::Auto;
    double scale = 1;                       // multiplies a model's scene
    render::RenderRequest render;           // --render, and --preview of an export
    std::optional<std::uint64_t> maxMemory; // bytes the run may take, 0 for no limit; none: the default
    std::optional<unsigned> importTimeout;  // seconds a model may take to read, 0 for no limit; none: the default
    std::optional<std::uint64_t> maxOutput; // bytes a .box file may take; none: the memory budget

    std::string OptionsPath() const { return configDir + "/" OPTIONS_FILE_NAME; }
    bool operator==(const Request&) const = default;
};

// Parses the command line into a request. Without one (help printed, or the parser's
// own message on standard error) `status` is the exit status to end with. A mistake it
// finds in what was parsed throws AppError, which ends with a hint to run --help.
std::optional<Request> ParseCommandLine(int argc, char** argv, int& status);

// The arguments (after the program's name) that ParseCommandLine turns back into `r`:
// every option the request holds, so that another process can be asked for the same
// run. `r` is one ParseCommandLine made, or one edited within what the command line
// can say (an export's scene and output, a batch's scenes).
std::vector<std::string> ToArguments(const Request& r);

} // namespace vek
