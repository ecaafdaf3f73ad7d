#include "export_run.h"

#include "check/VekCheck.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace vek::test {

namespace fs = std::filesystem;

fs::path ScratchDir(const std::string& name)
{
    fs::path dir = fs::path(VEK_BINARY_DIR) / "test-scratch" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void WriteOptionsFile(const fs::path& dir, const std::map<std::string, int>& changes)
{
    ExportOptions options = DefaultExportOptions;
    for (const auto& [name, value] : changes) {
        int index = FindExportOption(name);
        if (index < 0) {
            ADD_FAILURE() << "unknown option " << name;
            continue;
        }
        options[index] = value;
    }
    fs::create_directories(dir);
    WriteFile(dir / OPTIONS_FILE_NAME, EncodeOptionsFile(options));
}

namespace {

std::string Quote(const std::string& word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

ExportRun RunVekexport(const fs::path& dir, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    std::string cmd = "cd " + Quote(dir.string()) + " && env";
    for (const std::string& e : env)
        cmd += " " + Quote(e);
    cmd += " " + Quote((fs::path(VEK_BINARY_DIR) / "vekexport").string());
    for (const std::string& a : args)
        cmd += " " + Quote(a);
    cmd += " >stdout.txt 2>stderr.txt </dev/null";

    ExportRun run;
    int raw = std::system(cmd.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    run.stdoutText = ReadFile(dir / "stdout.txt");
    run.stderrText = ReadFile(dir / "stderr.txt");

    fs::path out = dir / "out.vek";
    for (const std::string& a : args)
        if (a.size() > 4 && a.compare(a.size() - 4, 4, ".vek") == 0)
            out = dir / a;
    if (fs::exists(out))
        run.vek = ReadFile(out);
    fs::path box = out;
    box.replace_extension(".box");
    if (fs::exists(box))
        run.box = ReadFile(box);
    if (run.vek) {
        CheckReport report = CheckVekFile(out.string());
        if (!report.Clean())
            run.findings = FormatReport(report);
    }
    // Whatever an export writes must read back as the engine reads it.
    auto given = [&args](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
    bool exported = (run.status == 0 || run.status == 1) && !given("--check") && !given("--render");
    if (exported && run.vek) {
        EXPECT_EQ(run.findings, "") << out << ": the file checker finds faults in the export";
    }
    return run;
}

ExportRun ExportScene(const std::string& name, const std::string& sceneJson, const std::map<std::string, int>& options,
                      const std::vector<std::string>& extraArgs)
{
    fs::path dir = ScratchDir(name);
    WriteFile(dir / "scene.json", sceneJson);
    WriteOptionsFile(dir / "cfg", options);
    std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    args.push_back("scene.json");
    args.push_back("out.vek");
    return RunVekexport(dir, args);
}

bool IsModelFile(const std::filesystem::path& p)
{
    static const std::set<std::string> notModels = {".txt",  ".png",  ".jpg",      ".jpeg", ".tga", ".bmp",  ".mtl",
                                                    ".bin",  ".glsl", ".xml",      ".md",   ".dds", ".gif",  ".pcx",
                                                    ".tif",  ".tiff", ".psd",      ".hdr",  ".ktx", ".json", ".shader",
                                                    ".skin", ".anim", ".material", ".frag", ".vert"};
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return !notModels.count(ext);
}

std::string ParamName(std::string text)
{
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return text;
}

} // namespace vek::test
