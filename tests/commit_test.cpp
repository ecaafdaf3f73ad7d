// An export's files are put in place all together or not at all, whatever fails and
// whenever the process dies; the exit status says which.
#include "export_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

extern char** environ;

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// Two overlapping collision boxes beside a mesh.
const char* const BoxScene = R"({
  "format": "vek-scene/1",
  "objects": {
    "cube": { "type": "box", "length": 10, "width": 10, "height": 10 },
    "plate": { "type": "box", "length": 40, "width": 40, "height": 1 }
  },
  "nodes": [
    { "name": "BOX_1", "object": "cube" },
    { "name": "BOX_2", "object": "cube", "transform": { "position": [3, 0, 0] } },
    { "name": "Floor", "object": "plate" }
  ]
})";

// A glTF model whose texture is inside the file: it is written beside the output.
std::string TexturedModel()
{
    const std::string png = "\x89PNG\r\n\x1a\nnot really an image";
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string data;
    for (size_t i = 0; i < png.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(png[i])) << 16;
        n |= i + 1 < png.size() ? uint32_t(uint8_t(png[i + 1])) << 8 : 0;
        n |= i + 2 < png.size() ? uint8_t(png[i + 2]) : 0;
        data += b64[(n >> 18) & 63];
        data += b64[(n >> 12) & 63];
        data += i + 1 < png.size() ? b64[(n >> 6) & 63] : '=';
        data += i + 2 < png.size() ? b64[n & 63] : '=';
    }
    std::string gltf = ReadFile(VEK_SOURCE_DIR "/tests/golden/model-gltf-instances/scene.gltf");
    gltf.insert(gltf.find("\"materials\""),
                "\"images\": [{\"uri\": \"data:image/png;base64," + data + "\"}], \"textures\": [{\"source\": 0}], ");
    gltf.insert(gltf.find("\"baseColorFactor\""), "\"baseColorTexture\": {\"index\": 0}, ");
    return gltf;
}

// Every file of ours in dir and cfg, with its bytes; what else is there (a temporary
// file, a journal, a backup) goes under its own name too, so that it shows.
std::map<std::string, std::string> Snapshot(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const fs::path& d : {dir, dir / "cfg"})
        for (const auto& e : fs::directory_iterator(d)) {
            std::string name = fs::relative(e.path(), dir).string();
            if (e.is_regular_file() && name != "scene.json" && name != "scene.gltf" && name != "stdout.txt" &&
                name != "stderr.txt")
                files[name] = ReadFile(e.path());
        }
    return files;
}

// Puts back the files of a snapshot, and nothing else.
void Restore(const fs::path& dir, const std::map<std::string, std::string>& files)
{
    for (const auto& [name, bytes] : Snapshot(dir))
        if (!files.count(name))
            fs::remove(dir / name);
    for (const auto& [name, bytes] : files)
        WriteFile(dir / name, bytes);
}

// The files of an export with the default options (and the second box elsewhere) and of
// one with three decimals: the files before and after. The options file holds `options`.
std::pair<std::map<std::string, std::string>, std::map<std::string, std::string>>
TwoExports(const fs::path& dir, std::vector<std::string> args, const std::map<std::string, int>& options)
{
    WriteOptionsFile(dir / "cfg", options);
    const fs::path sceneFile = dir / args[args.size() - 2];
    const std::string scene = ReadFile(sceneFile);
    std::string moved = scene;
    if (size_t at = moved.find("[3, 0, 0]"); at != std::string::npos)
        moved.replace(at, 9, "[4, 0, 0]");
    WriteFile(sceneFile, moved);
    std::vector<std::string> first = args;
    first.erase(first.begin() + 3, first.begin() + 5); // --set decimals=3
    EXPECT_LE(RunVekexport(dir, first).status, 1);
    auto before = Snapshot(dir);
    WriteFile(sceneFile, scene);
    EXPECT_LE(RunVekexport(dir, args).status, 1);
    return {before, Snapshot(dir)};
}

struct FaultCase {
    const char* name;
    std::string sceneFile, scene;
    std::map<std::string, int> options;
};

// Checks one run with a failing call against the files before and after a clean one.
void CheckRun(const ExportRun& run, int cleanStatus, const std::map<std::string, std::string>& before,
              const std::map<std::string, std::string>& after, const std::map<std::string, std::string>& now,
              const std::string& where)
{
    // Nothing but our files: no temporary file, backup or journal stays.
    // (A failed removal leaves its file for the next export to remove.)
    if (run.stderrText.find("(unlink)") == std::string::npos) {
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(before.count(name) || after.count(name)) << where << ": left " << name;
    }
    const bool committed = run.status == cleanStatus || run.status == 4;
    EXPECT_TRUE(committed || run.status == 2) << where << ": status " << run.status << "\n" << run.stderrText;
    for (const char* name : {"out.vek", "out.box", "out_tex0.png"}) {
        auto was = before.find(name), will = after.find(name), is = now.find(name);
        if (will == after.end() || was == before.end() || will->second == was->second)
            continue; // not written by these exports
        ASSERT_NE(is, now.end()) << where << ": " << name << " is gone";
        EXPECT_EQ(is->second, committed ? will->second : was->second)
            << where << ": status " << run.status << " but " << name << " is " << (committed ? "old" : "new");
    }
    // The options and the report are each old or new; the report, when new, says the status.
    EXPECT_TRUE(now.at("cfg/ExportToVek.cfg") == before.at("cfg/ExportToVek.cfg") ||
                (committed && now.at("cfg/ExportToVek.cfg") == after.at("cfg/ExportToVek.cfg")))
        << where;
    if (now.at("r.json") != before.at("r.json")) {
        EXPECT_NE(now.at("r.json").find("\"status\": " + std::to_string(run.status) + ","), std::string::npos)
            << where << ": " << now.at("r.json");
    } else if (committed) {
        EXPECT_EQ(run.status, 4) << where << ": the report was not written";
    }
}

// Fails every file-system call of an export in turn, with each error, and checks that
// the run leaves all its files or none, says which, and leaves nothing else behind.
TEST(Commit, EveryFailingFileCallLeavesAllOrNothing)
{
    const std::vector<FaultCase> cases = {
        {"boxes", "scene.json", BoxScene, {{"exportBoxes", 1}}},
        {"texture", "scene.gltf", TexturedModel(), {}},
    };
    int runs = 0, calls = 0;
    for (const FaultCase& c : cases) {
        fs::path dir = ScratchDir(std::string("commit-fault-") + c.name);
        WriteFile(dir / c.sceneFile, c.scene);
        std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg",       "--set",  "decimals=3",
                                         "--report",    "r.json",       c.sceneFile, "out.vek"};
        const auto [before, after] = TwoExports(dir, args, c.options);
        Restore(dir, before);
        ExportRun clean = RunVekexport(dir, args);
        auto again = Snapshot(dir), expected = after;
        again.erase("r.json"); // its seconds differ
        expected.erase("r.json");
        ASSERT_EQ(again, expected);
        for (const char* err : {"ENOSPC", "EIO", "EINTR"}) {
            for (int n = 1;; n++) {
                Restore(dir, before);
                std::string var = "VEKEXPORT_FAIL_FILE_CALL=" + std::to_string(n) + ":" + err;
                ExportRun run = RunVekexport(dir, args, {var});
                runs++;
                if (run.stderrText.find("vekexport: injected") == std::string::npos)
                    break; // the run made fewer calls
                calls++;
                std::string where = std::string(c.name) + ", " + var;
                if (std::string(err) == "EINTR") {
                    EXPECT_EQ(run.status, clean.status) << where << "\n" << run.stderrText;
                }
                CheckRun(run, clean.status, before, after, Snapshot(dir), where);
                if (HasFailure())
                    return;
            }
        }
    }
    std::printf("%d file calls failed, in %d runs\n", calls, runs);
}

// A large export killed at random moments: the next export finds the earlier files or
// the new ones, never a mix, and no temporary file stays.
TEST(Commit, AnExportKilledAnywhereIsRecoveredByTheNext)
{
    fs::path dir = ScratchDir("commit-kill");
    // A grid of 300 x 300 quads: a few megabytes to write.
    std::string verts, faces;
    const int side = 300;
    for (int y = 0; y <= side; y++)
        for (int x = 0; x <= side; x++)
            verts += (verts.empty() ? "[" : ",[") + std::to_string(x) + "," + std::to_string(y) + ",0]";
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            int a = y * (side + 1) + x, b = a + 1, c = a + side + 2, d = a + side + 1;
            faces += std::string(faces.empty() ? "" : ",") + "[" + std::to_string(a) + "," + std::to_string(b) + "," +
                     std::to_string(c) + "],[" + std::to_string(c) + "," + std::to_string(d) + "," + std::to_string(a) +
                     "]";
        }
    std::string scene = std::string(BoxScene);
    scene.replace(scene.find("\"objects\": {") + 12, 0,
                  "\"grid\": {\"type\": \"mesh\", \"verts\": [" + verts + "], \"faces\": [" + faces + "]},");
    scene.replace(scene.find("\"nodes\": [") + 10, 0, "{\"name\": \"Grid\", \"object\": \"grid\"},");
    WriteFile(dir / "scene.json", scene);
    std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg",    "--set",
                                     "decimals=3",  "scene.json",   "out.vek"};
    const auto [before, after] = TwoExports(dir, args, {{"exportBoxes", 1}});
    Restore(dir, before);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunVekexport(dir, args).status, 0);
    const auto took = std::chrono::steady_clock::now() - start;

    const std::string exe = (fs::path(VEK_BINARY_DIR) / "vekexport").string();
    std::vector<char*> argv = {const_cast<char*>(exe.c_str())};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::mt19937 random(28);
    for (int round = 0; round < 12; round++) {
        Restore(dir, before);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        std::this_thread::sleep_for(took * std::uniform_real_distribution<double>(0.3, 1.1)(random));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // The next export to that place recovers first; --recover does the same alone.
        ExportRun next = RunVekexport(dir, {"--recover", "."});
        ASSERT_EQ(next.status, 0) << next.stderrText;
        std::map<std::string, std::string> now = Snapshot(dir);
        EXPECT_TRUE(now.at("out.vek") == before.at("out.vek") || now.at("out.vek") == after.at("out.vek"));
        EXPECT_EQ(now.at("out.vek") == after.at("out.vek"), now.at("out.box") == after.at("out.box"))
            << "round " << round << ": the Vek file and the .box file of different exports";
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(name.starts_with("cfg/") || before.count(name) || after.count(name))
                << "round " << round << ": left " << name;
    }
    // An export cleans the options' directory too, where it saves them.
    ASSERT_EQ(RunVekexport(dir, args).status, 0);
    EXPECT_EQ(Snapshot(dir), after);
}

} // namespace
} // namespace vek::test

namespace vek::test {
namespace {

// The status says what became of the files: once they are in place, a failure after
// the commit gives 4 and leaves them; a refused output leaves everything as it was.
TEST(Commit, StatusesMatchTheFiles)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        bool written;
    };
    const std::vector<Case> cases = {
        {"report-unwritable", {"--report", "/nonexistent/r.json", "scene.json", "out.vek"}, 4, true},
        {"report-on-full-stdout", {"--report", "-", "scene.json", "out.vek"}, 4, true},
        {"dangling-link", {"scene.json", "dangling.vek"}, 2, false},
        {"looping-link", {"scene.json", "loop.vek"}, 2, false},
        {"linked-output", {"scene.json", "link.vek"}, 0, true},
        {"show-options-on-full-stdout", {"--show-options"}, 2, false},
    };
    for (const Case& c : cases) {
        fs::path dir = ScratchDir(std::string("commit-status-") + c.name);
        WriteFile(dir / "scene.json", BoxScene);
        WriteOptionsFile(dir / "cfg", {{"exportBoxes", 1}});
        fs::create_directories(dir / "real");
        WriteFile(dir / "real/out.vek", "earlier");
        fs::create_symlink("nowhere/x.vek", dir / "dangling.vek");
        fs::create_symlink("loop.vek", dir / "loop.vek");
        fs::create_symlink("real/out.vek", dir / "link.vek");
        std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const bool full = std::string(c.name).ends_with("full-stdout");
        std::string cmd = "cd '" + dir.string() + "' && '" + VEK_BINARY_DIR + "/vekexport'";
        for (const std::string& a : args)
            cmd += " '" + a + "'";
        cmd += std::string(full ? " >/dev/full" : " >/dev/null") + " 2>stderr.txt";
        int raw = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << c.name << "\n" << ReadFile(dir / "stderr.txt");
        const fs::path written = c.args.back() == "link.vek" ? dir / "real/out.vek" : dir / "out.vek";
        EXPECT_EQ(fs::exists(written) && ReadFile(written) != "earlier", c.written) << c.name;
        if (c.args.back() == "link.vek") {
            EXPECT_TRUE(fs::is_symlink(dir / "link.vek"));
            EXPECT_TRUE(fs::exists(dir / "real/out.box")) << "the .box file goes beside the file the link names";
        }
        EXPECT_TRUE(fs::is_symlink(dir / "dangling.vek")) << c.name;
    }
}

} // namespace
} // namespace vek::test
