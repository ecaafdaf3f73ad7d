// Whole-file comparisons of end-to-end exports.
//
// Each folder of tests/golden holds one case:
//   scene.*        the scene to export: scene.json, or a model of any format Assimp
//                  reads (scene.obj, scene.gltf, ...), with the files it refers to
//   options        optional: "name=value" lines changing the default export options
//   args           optional: extra command-line words, one per line (e.g. --selected-only)
//   expected.vek   the Vek file, byte for byte (carriage return + line feed)
//   expected.box   the ".box" file, when the export writes one
//   expected.log   "exit N", what vekexport printed on standard error and output (its
//                  summary with "N" seconds), and
//                  what the file checker finds in the written files ("check: clean")
//
// After an intended change of the output, regenerate them with
//   VEK_UPDATE_GOLDEN=1 build/vek_tests --gtest_filter='Golden*'
// and review the diff. Every case runs a second time under a French locale (decimal
// comma) and must give the same bytes.
#include "check/VekCheck.h"
#include "export_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

const fs::path GoldenRoot = fs::path(VEK_SOURCE_DIR) / "tests" / "golden";

// The case's scene file name, or "" when it has none.
std::string SceneFile(const fs::path& dir)
{
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().stem() == "scene")
            return entry.path().filename().string();
    return "";
}

std::vector<std::string> Cases()
{
    std::vector<std::string> names;
    if (fs::is_directory(GoldenRoot))
        for (const auto& entry : fs::directory_iterator(GoldenRoot))
            if (entry.is_directory() && !SceneFile(entry.path()).empty())
                names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Lines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

std::map<std::string, int> OptionChanges(const fs::path& path)
{
    std::map<std::string, int> changes;
    for (const std::string& line : Lines(path)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            ADD_FAILURE() << path << ": expected name=value, got " << line;
            continue;
        }
        changes[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
    }
    return changes;
}

ExportRun RunCase(const std::string& name, const std::vector<std::string>& env, const std::string& scratch)
{
    fs::path src = GoldenRoot / name;
    fs::path dir = ScratchDir(scratch);
    // The scene and whatever it refers to; not the expected files.
    for (const auto& entry : fs::directory_iterator(src))
        if (entry.is_regular_file() && entry.path().stem() != "expected")
            fs::copy_file(entry.path(), dir / entry.path().filename());
    WriteOptionsFile(dir / "cfg", OptionChanges(src / "options"));
    std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg"};
    for (const std::string& a : Lines(src / "args"))
        args.push_back(a);
    args.push_back(SceneFile(src));
    args.push_back("out.vek");
    return RunVekexport(dir, args, env);
}

std::string Log(const ExportRun& run, const fs::path& dir)
{
    // The summary's seconds change from run to run.
    std::string out = std::regex_replace(run.stdoutText, std::regex(" in [0-9.]+ s\n"), " in N s\n");
    std::string log = "exit " + std::to_string(run.status) + "\n" + run.stderrText + out;
    if (!run.vek)
        return log;
    CheckReport report = CheckVekFile((dir / "out.vek").string());
    for (Finding& f : report.findings)
        f.file = fs::path(f.file).filename().string();
    return log + (report.Clean() ? "check: clean\n" : "check:\n" + FormatReport(report));
}

void Compare(const fs::path& expectedPath, const std::optional<std::string>& actual, bool update)
{
    bool expected = fs::exists(expectedPath);
    if (update) {
        if (actual)
            WriteFile(expectedPath, *actual);
        else if (expected)
            fs::remove(expectedPath);
        return;
    }
    if (!expected) {
        EXPECT_FALSE(actual.has_value()) << expectedPath.filename() << " was written but is not expected";
        return;
    }
    ASSERT_TRUE(actual.has_value()) << expectedPath.filename() << " was not written";
    EXPECT_EQ(ReadFile(expectedPath), *actual) << "differs from " << expectedPath;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, MatchesExpectedFiles)
{
    const std::string name = GetParam();
    bool update = std::getenv("VEK_UPDATE_GOLDEN") != nullptr;
    ExportRun run = RunCase(name, {}, "golden-" + name);
    fs::path src = GoldenRoot / name;
    Compare(src / "expected.vek", run.vek, update);
    Compare(src / "expected.box", run.box, update);
    Compare(src / "expected.log", Log(run, fs::path(VEK_BINARY_DIR) / "test-scratch" / ("golden-" + name)), update);
}

// The numbers in the files never depend on the user's numeric locale.
TEST_P(Golden, SameBytesUnderADecimalCommaLocale)
{
    const fs::path locales = fs::path(VEK_BINARY_DIR) / "locale";
    if (!fs::exists(locales / "fr_FR.UTF-8"))
        GTEST_SKIP() << "no French locale was generated in " << locales;
    const std::string name = GetParam();
    ExportRun run = RunCase(name, {"LOCPATH=" + locales.string(), "LC_ALL=fr_FR.UTF-8"}, "golden-fr-" + name);
    fs::path src = GoldenRoot / name;
    Compare(src / "expected.vek", run.vek, false);
    Compare(src / "expected.box", run.box, false);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<std::string>& param) { return ParamName(param.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Golden);

} // namespace
} // namespace vek::test
