// What the command line tells of its exports: the summary, the JSON report with the
// node behind each failure, --quiet, and batches of scenes.
#include "dialog_test_util.h"
#include "export_run.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// A collision box whose object cannot become a mesh fails the box bit; a helper and a
// box mesh are written.
const char* const FailingScene = R"({"format": "vek-scene/1",
  "objects": {"p": {"type": "geometry"}, "d": {"type": "dummy"}, "b": {"type": "box"}},
  "nodes": [{"name": "BOX_7", "object": "p"}, {"name": "Helper", "object": "d",
             "children": [{"name": "Crate", "object": "b"}]}]})";

const char* const GoodScene = R"({"format": "vek-scene/1", "objects": {"b": {"type": "box"}},
  "nodes": [{"name": "Crate", "object": "b"}]})";
const char* const BrokenScene = R"({"format": "vek-scene/1", "nodes": [{"object": "none"}]})";

TEST(ExportReport, SummaryAndReportNameTheNodeBehindEachMarker)
{
    ExportRun run = ExportScene("report-failing", FailingScene, {{"exportBoxes", 1}}, {"--report", "r.json"});
    EXPECT_EQ(run.status, 1) << run.stderrText;
    EXPECT_NE(run.stdoutText.find("vekexport: wrote out.vek ("), std::string::npos) << run.stdoutText;
    EXPECT_NE(run.stdoutText.find("  1 shell, 1 mesh, 0 lights, 0 cameras; 8 vertices, 6 four-vertex faces, "
                                  "0 triangles; 1 material, 0 topology blocks, 0 animations, 0 collision boxes\n"
                                  "  #ERROR_EXPORT_BOX BOX_7\n"),
              std::string::npos)
        << run.stdoutText;

    auto report = nlohmann::json::parse(ReadFile(fs::path(VEK_BINARY_DIR) / "test-scratch/report-failing/r.json"));
    EXPECT_EQ(report["status"], 1);
    EXPECT_EQ(report["quads"], 6);
    EXPECT_EQ(report["files"][0]["bytes"], run.vek->size());
    EXPECT_EQ(report["markers"], nlohmann::json::array({"#ERROR_EXPORT_BOX"}));
    EXPECT_EQ(report["failures"], nlohmann::json::parse(R"([{"marker": "#ERROR_EXPORT_BOX", "node": "BOX_7"}])"));
    ASSERT_EQ(report["options"].size(), size_t(ExportOptions::Count));
    EXPECT_EQ(report["options"]["exportBoxes"], 1);
    EXPECT_EQ(report["options"]["decimals"], 6);

    // A run that writes nothing says why in its report as well.
    fs::path dir = ScratchDir("report-refused");
    WriteFile(dir / "tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ExportRun refused = RunVekexport(
        dir, {"--no-prompt", "--config-dir", "cfg", "--selected-only", "--report", "r.json", "tri.obj", "out.vek"});
    EXPECT_EQ(refused.status, 2);
    auto why = nlohmann::json::parse(ReadFile(dir / "r.json"));
    EXPECT_EQ(why["status"], 2);
    EXPECT_EQ(why["error"], "tri.obj: a model file records no selection: --selected-only has nothing to export");

    // Only errors: the result message and the summary are left out.
    ExportRun quiet = ExportScene("report-quiet", FailingScene, {{"exportBoxes", 1}}, {"--quiet"});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.stdoutText, "");
    EXPECT_EQ(quiet.stderrText, "");
}

TEST(TextureRoot, PathsUnderItAreWrittenRelativeToIt)
{
    const std::string scene = R"({"format": "vek-scene/1",
      "texmaps": {"w": {"class": "bitmap", "file": "D:\\Game\\maps\\wood.bmp"},
                  "s": {"class": "bitmap", "file": "E:\\Engine\\Partition\\stone.bmp"}},
      "materials": {"w": {"name": "Wood", "diffuseMap": "w"}, "s": {"name": "Stone", "diffuseMap": "s"}},
      "objects": {"b": {"type": "box"}},
      "nodes": [{"name": "A", "object": "b", "material": "w"}, {"name": "B", "object": "b", "material": "s"}]})";
    ExportRun run = ExportScene("texture-root", scene, {}, {"--texture-root", "D:\\Game"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_NE(run.vek->find(" texture maps/wood.bmp\r\n"), std::string::npos) << *run.vek;
    EXPECT_NE(run.vek->find(" texture stone.bmp\r\n"), std::string::npos);
}

TEST(ExportBatch, EachSceneInItsOwnProcessTheWorstStatusWins)
{
    fs::path dir = ScratchDir("batch");
    WriteFile(dir / "good.scene.json", GoodScene);
    WriteFile(dir / "failing.json", FailingScene);
    WriteFile(dir / "broken.json", BrokenScene);
    ExportRun run =
        RunVekexport(dir, {"--config-dir", "cfg", "--set", "decimals=2", "--set", "exportBoxes=1", "--output-dir",
                           "out", "-j", "2", "--report", "all.json", "good.scene.json", "failing.json", "broken.json"});
    EXPECT_EQ(run.status, 2) << run.stdoutText << run.stderrText;
    EXPECT_NE(run.stdoutText.find("  0  good.scene.json -> out/good.vek: 12 triangles, "), std::string::npos)
        << run.stdoutText;
    EXPECT_NE(run.stdoutText.find("  1  failing.json -> out/failing.vek: 12 triangles, "), std::string::npos);
    // A scene not exported says why in one line, on standard error.
    EXPECT_EQ(run.stdoutText.find("broken"), std::string::npos);
    EXPECT_EQ(run.stderrText, "  2  broken.json: nodes[0].object: unknown object \"none\"\n");
    EXPECT_NE(run.stdoutText.find("vekexport: 3 scenes: 1 exported, 1 with failure markers, 1 not exported; "
                                  "24 triangles\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(dir / "out/good.vek").substr(0, 2), "# ");
    EXPECT_FALSE(fs::exists(dir / "out/broken.vek"));
    EXPECT_EQ(ReadOptionsBytes(ReadFile(dir / "cfg" / OPTIONS_FILE_NAME)).decimals, 2); // saved once, at the end

    auto report = nlohmann::json::parse(ReadFile(dir / "all.json"));
    EXPECT_EQ(report["status"], 2);
    ASSERT_EQ(report["scenes"].size(), 3u);
    EXPECT_EQ(report["scenes"][1]["failures"][0]["node"], "BOX_7");
    EXPECT_EQ(report["scenes"][1]["options"]["decimals"], 2);
    EXPECT_EQ(report["scenes"][2]["status"], 2);

    // A scene whose output another one takes is refused; the others are exported.
    fs::create_directory(dir / "sub");
    WriteFile(dir / "sub/good.json", GoodScene);
    ExportRun clash =
        RunVekexport(dir, {"--config-dir", "cfg", "--output-dir", "out2", "good.scene.json", "sub/good.json"});
    EXPECT_EQ(clash.status, 2);
    EXPECT_EQ(clash.stderrText, "  2  sub/good.json: out2/good.vek is the output of good.scene.json already\n");
    EXPECT_TRUE(fs::exists(dir / "out2/good.vek"));
}

void WriteNested(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    WriteFile(path, bytes);
}

// Runs a batch of the folder "assets" of dir into "out", with pictures beside the outputs.
ExportRun RunTree(const fs::path& dir, std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"--config-dir", "cfg",    "--output-dir", "out", "--preview",
                                     "out",          "--size", "64x48",        "-j",  "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("assets");
    return RunVekexport(dir, args);
}

TEST(ExportBatch, AFolderIsMirroredAndItsUpToDateScenesAreSkipped)
{
    fs::path dir = ScratchDir("batch-tree");
    WriteNested(dir / "assets/good.scene.json", GoodScene);
    WriteNested(dir / "assets/level/failing.json", FailingScene);
    WriteNested(dir / "assets/level/crate.json", GoodScene); // shares its stem with crate.obj
    WriteNested(dir / "assets/level/crate.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    WriteNested(dir / "assets/level/deep/broken.json", BrokenScene);
    WriteNested(dir / "assets/level/room.txt", "*3DSMAX_ASCIIEXPORT\t200\r\n*SCENE {\r\n}\r\n"); // by its content
    // No scenes: quietly left alone.
    WriteNested(dir / "assets/level/notes.txt", "to do\n");
    WriteNested(dir / "assets/level/wood.png", "\x89PNG\r\n");
    WriteNested(dir / "assets/package.json", R"({"name": "assets"})");
    WriteNested(dir / "assets/.cache/old.obj", "v 0 0 0\n");
    WriteOptionsFile(dir / "cfg", {{"exportBoxes", 1}});

    ExportRun first = RunTree(dir);
    EXPECT_EQ(first.status, 2) << first.stdoutText << first.stderrText;
    EXPECT_NE(first.stdoutText.find("  1  assets/level/failing.json -> out/level/failing.vek: 12 triangles, "),
              std::string::npos)
        << first.stdoutText;
    EXPECT_NE(first.stdoutText.find(" s; #ERROR_EXPORT_BOX BOX_7\n"), std::string::npos);
    EXPECT_NE(first.stdoutText.find("vekexport: 6 scenes: 4 exported, 1 with failure markers, 1 not exported; "),
              std::string::npos);
    EXPECT_EQ(first.stderrText, "  2  assets/level/deep/broken.json: nodes[0].object: unknown object \"none\"\n");
    for (const char* file :
         {"good.vek", "level/failing.vek", "level/crate.json.vek", "level/crate.obj.vek", "level/room.vek"}) {
        EXPECT_TRUE(fs::exists(dir / "out" / file)) << file;
        EXPECT_TRUE(fs::exists(dir / "out" / (std::string(file) + ".png"))) << file;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
        for (const char* other : {"notes", "wood", "package", "old"})
            EXPECT_EQ(entry.path().filename().string().find(other), std::string::npos) << entry.path();

    // Again: only the scene not exported runs; --quiet leaves only its error.
    ExportRun again = RunTree(dir, {"--report", "again.json"});
    EXPECT_NE(again.stdoutText.find("  0  assets/level/crate.obj -> out/level/crate.obj.vek: up to date\n"),
              std::string::npos)
        << again.stdoutText;
    EXPECT_NE(again.stdoutText.find("6 scenes: 0 exported, 0 with failure markers, 1 not exported, 5 up to date;"),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "again.json"))["scenes"][0]["upToDate"], true);
    ExportRun quiet = RunTree(dir, {"--quiet"});
    EXPECT_EQ(quiet.stdoutText, "");
    EXPECT_EQ(quiet.stderrText, first.stderrText);

    // A changed scene, or changed options, or --force: exported again.
    WriteNested(dir / "assets/level/crate.json", GoodScene);
    ExportRun changed = RunTree(dir);
    EXPECT_NE(changed.stdoutText.find("1 exported, 0 with failure markers, 1 not exported, 4 up to date;"),
              std::string::npos)
        << changed.stdoutText;
    ExportRun set = RunTree(dir, {"--set", "decimals=3", "--no-save"});
    EXPECT_NE(set.stdoutText.find("4 exported, 1 with failure markers, 1 not exported;"), std::string::npos);
    ExportRun forced = RunTree(dir, {"--force"});
    EXPECT_NE(forced.stdoutText.find("4 exported, 1 with failure markers, 1 not exported;"), std::string::npos);
    // Pictures that cannot be made leave the scenes exported; the status says so.
    ExportRun noPicture = RunTree(dir, {"--force", "--camera", "Nope"});
    EXPECT_EQ(noPicture.status, 4);
    EXPECT_NE(noPicture.stdoutText.find("4 exported, 1 with failure markers, 1 not exported;"), std::string::npos);
}

// Standard output and error are written to, never replaced; no other device, FIFO or
// socket is replaced either, and what a stream cannot hold is refused before a byte.
TEST(ExportOutputs, StreamsAreWrittenToAndOtherSpecialFilesRefused)
{
    const std::string boxScene = R"({"format": "vek-scene/1", "objects": {"b": {"type": "box"}},
      "nodes": [{"name": "BOX_1", "object": "b"}]})";
    ExportRun file = ExportScene("outputs-file", GoodScene);
    ASSERT_EQ(file.status, 0);
    fs::path dir = ScratchDir("outputs");
    WriteFile(dir / "scene.json", GoodScene);
    WriteFile(dir / "box.json", boxScene);
    WriteOptionsFile(dir / "cfg", {{"exportBoxes", 1}});
    const std::string options = ReadFile(dir / "cfg/ExportToVek.cfg");
    WriteFile(dir / "tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    fs::create_directory(dir / "tmp");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* said; // on standard error
    };
    const Case cases[] = {
        {{"scene.json", "-"}, 0, "vekexport: wrote standard output ("},
        {{"scene.json", "/dev/stdout"}, 0, "vekexport: wrote standard output ("},
        {{"tri.obj", "-"}, 0, "vekexport: wrote standard output ("}, // a model: read by a new process
        {{"scene.json", "fifo"}, 2, "vekexport: fifo: is a FIFO, not a regular file; it is never replaced"},
        {{"box.json", "-"}, 2, "standard output: the export also writes a \".box\" collision file"},
        {{"scene.json", "-", "--preview", "p.png"}, 2, "--preview draws a file, and the Vek file goes to a stream"},
        {{"scene.json", "-", "--report", "-"}, 2, "the Vek file and the report cannot both go to standard output"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--no-prompt", "--config-dir", "cfg"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ExportRun run = RunVekexport(dir, args, {"TMPDIR=" + (dir / "tmp").string()});
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        EXPECT_EQ(run.status, c.status) << run.stderrText;
        EXPECT_NE(run.stderrText.find(c.said), std::string::npos) << run.stderrText;
        if (c.status != 0 || c.args[0] == "scene.json")
            EXPECT_EQ(run.stdoutText, c.status == 0 ? *file.vek : "");
        else
            EXPECT_TRUE(run.stdoutText.ends_with("#EXPORT_OK\r\n")) << run.stdoutText;
        EXPECT_EQ(ReadFile(dir / "cfg/ExportToVek.cfg"), options); // nothing saved by a refusal either
    }
    struct stat st;
    ASSERT_EQ(lstat((dir / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 8); // nothing staged is left
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

} // namespace
} // namespace vek::test
