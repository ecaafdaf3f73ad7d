// Runs the command-line host the way a user does and collects what it leaves behind.
#pragma once

#include "options/ExportOptions.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vek::test {

// The result of one run of build/vekexport.
struct ExportRun {
    int status = -1;
    std::string stdoutText;
    std::string stderrText;
    std::optional<std::string> vek; // the output file, when it exists
    std::optional<std::string> box; // the ".box" file beside it, when it exists
    std::string findings;           // what the file checker finds in them ("" when clean)
};

// A fresh scratch directory under the build tree, emptied first.
std::filesystem::path ScratchDir(const std::string& name);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// Writes ExportToVek.cfg into dir: the defaults with the named fields changed
// ("decimals" -> 3). Unknown names fail the calling test.
void WriteOptionsFile(const std::filesystem::path& dir, const std::map<std::string, int>& changes);

// Runs vekexport with args (each one word, quoted for the shell here) in dir, with
// extra environment assignments ("LC_ALL=fr_FR.UTF-8"). The output file is
// dir/out.vek unless args name another one. A file an export says it wrote (exit 0
// or 1) must pass the file checker.
ExportRun RunVekexport(const std::filesystem::path& dir, const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {});

// Exports scene text with --no-prompt and the given option changes, in a scratch
// directory of that name.
ExportRun ExportScene(const std::string& name, const std::string& sceneJson,
                      const std::map<std::string, int>& options = {}, const std::vector<std::string>& extraArgs = {});

// Whether a file of a model folder is a model rather than a texture, material
// library, text or other file beside it (by its extension).
bool IsModelFile(const std::filesystem::path& p);

// A test parameter name made of letters, digits and underscores.
std::string ParamName(std::string text);

} // namespace vek::test
