// An export either writes every file it should or changes nothing: failing writes,
// refused outputs and interrupts leave the earlier files byte for byte and no
// temporary file behind.
#include "crt.h"
#include "export_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// A grid large enough that its Vek file runs to megabytes, with a collision box.
std::string PlaneScene(int segments)
{
    return R"({"format": "vek-scene/1", "objects": {"p": {"type": "plane", "lengthSegs": )" + std::to_string(segments) +
           R"(, "widthSegs": )" + std::to_string(segments) + R"(}, "b": {"type": "box"}},
               "nodes": [{"name": "Grid", "object": "p"}, {"name": "BOX_1", "object": "b"}]})";
}

// The directory's entries, by name, subdirectories included.
std::vector<std::string> Entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A scratch directory holding the scene, an earlier export (out.vek, out.box) and
// saved options with boxes on.
fs::path EarlierExport(const std::string& name, int segments = 40)
{
    fs::path dir = ScratchDir(name);
    WriteFile(dir / "scene.json", PlaneScene(segments));
    WriteOptionsFile(dir / "cfg", {{"exportBoxes", 1}});
    WriteFile(dir / "out.vek", "earlier vek\r\n");
    WriteFile(dir / "out.box", "earlier box\r\n");
    return dir;
}

// Everything as EarlierExport left it, and nothing more (but the run's own captures).
void ExpectUntouched(const fs::path& dir, const std::vector<std::string>& extra = {})
{
    EXPECT_EQ(ReadFile(dir / "out.vek"), "earlier vek\r\n");
    std::vector<std::string> expected = {"cfg", "out.box", "out.vek", "scene.json", "stderr.txt", "stdout.txt"};
    expected.insert(expected.end(), extra.begin(), extra.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir), expected);
    EXPECT_EQ(Entries(dir / "cfg"), std::vector<std::string>{"ExportToVek.cfg"});
}

// Runs vekexport with writes past `bytes` failing (EFBIG), as on a full disk.
ExportRun RunWithFileSizeLimit(const fs::path& dir, rlim_t bytes)
{
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = {bytes, old.rlim_max};
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // inherited: the write fails instead of killing
    setrlimit(RLIMIT_FSIZE, &limited);
    ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", "out.vek"});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return run;
}

TEST(TextStream, EveryLineEndIsStoredAsCrLfWhateverTheLengthsOfLinesAndWrites)
{
    // Short lines, empty ones and one longer than the translation's 64 KiB pieces,
    // in one large write; the text ends without a line end.
    std::string text;
    for (int k = 0; text.size() < 150000; k++)
        text += std::string(size_t(k % 97), 'x') + (k % 50 == 0 ? "\n\n" : "\n");
    text += std::string(70000, 'y') + "\ntail";
    const fs::path path = fs::temp_directory_path() / "vek-crlf-test.txt";
    FILE* f = _tfopen(path.c_str(), "wt");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    ASSERT_EQ(std::fclose(f), 0);
    std::string expected;
    for (char c : text)
        expected += c == '\n' ? "\r\n" : std::string(1, c);
    EXPECT_EQ(ReadFile(path), expected);
    fs::remove(path);
}

TEST(ExportTransaction, FailedWritesLeaveEverythingAsItWas)
{
    // Past the limit in the middle of the export, and only when the file is closed
    // (the whole of a small file waits in the stream's buffer until then).
    const std::pair<int, rlim_t> limits[] = {{40, 20000}, {10, 4096}};
    for (auto [segments, limit] : limits) {
        fs::path dir = EarlierExport("tx-fsize", segments);
        ExportRun run = RunWithFileSizeLimit(dir, limit);
        EXPECT_EQ(run.status, 2) << run.stderrText;
        EXPECT_NE(run.stderrText.find("vekexport: out.vek: File too large"), std::string::npos) << run.stderrText;
        ExpectUntouched(dir);
    }

    // A directory where the box file goes.
    fs::path dir = EarlierExport("tx-box-dir");
    fs::remove(dir / "out.box");
    fs::create_directory(dir / "out.box");
    ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", "out.vek"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.stderrText.find("out.box: Is a directory"), std::string::npos) << run.stderrText;
    ExpectUntouched(dir);

    // A directory where nothing can be created.
    dir = EarlierExport("tx-readonly");
    fs::create_directory(dir / "ro");
    WriteFile(dir / "ro" / "out.vek", "earlier\r\n");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", "ro/out.vek"});
    fs::permissions(dir / "ro", fs::perms::owner_all);
    if (geteuid() != 0) { // the super-user writes anyway
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.stderrText.find("vekexport: ro/out.vek: Permission denied"), std::string::npos) << run.stderrText;
        EXPECT_EQ(Entries(dir / "ro"), std::vector<std::string>{"out.vek"});
        ExpectUntouched(dir, {"ro"});
    }
}

TEST(ExportTransaction, OutputsThatCannotBeRightAreRefusedFirst)
{
    struct Case {
        std::string output, message;
    };
    const Case cases[] = {
        {"scene.json", "scene.json: is the scene itself"},
        {"./sub/../scene.json", "is the scene itself"},
        {"cfg", "cfg: is a directory"},
        {"new/", "is a directory"},
        {"x.box", "x.box: the \".box\" collision file of this output would be the output itself"},
    };
    for (const Case& c : cases) {
        fs::path dir = EarlierExport("tx-refused");
        fs::create_directory(dir / "sub");
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", c.output});
        EXPECT_EQ(run.status, 2) << c.output;
        EXPECT_NE(run.stderrText.find(c.message), std::string::npos) << run.stderrText;
        EXPECT_EQ(ReadFile(dir / "scene.json"), PlaneScene(40));
        ExpectUntouched(dir, {"sub"});
    }
}

TEST(ExportTransaction, InterruptEndsWithNothingWritten)
{
    fs::path dir = EarlierExport("tx-interrupt", 400);
    const std::string exe = (fs::path(VEK_BINARY_DIR) / "vekexport").string();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(99);
        int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execl(exe.c_str(), exe.c_str(), "--no-prompt", "--config-dir", "cfg", "scene.json", "out.vek", nullptr);
        _exit(99);
    }
    // Interrupted once the Vek file is being written beside its target.
    auto writing = [&] {
        for (const std::string& name : Entries(dir))
            if (std::error_code ec; name.starts_with(".vekt.") && fs::file_size(dir / name, ec) > 4096 && !ec)
                return true;
        return false;
    };
    for (int k = 0; k < 20000 && !writing(); k++)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    ASSERT_TRUE(writing()) << "the export ended before it could be interrupted";
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    ExpectUntouched(dir);
}

} // namespace
} // namespace vek::test
