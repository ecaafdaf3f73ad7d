// What the command line tells of its exports: the summary, the JSON report with the
// node behind each failure, --quiet, and batches of scenes.
#include "dialog_test_util.h"
#include "export_run.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// A collision box whose object cannot become a mesh fails the box bit; a helper and a
// box mesh are written.
const char* const FailingScene = R"({"format": "vek-scene/1",
  "objects": {"p": {"type": "geometry"}, "d": {"type": "dummy"}, "b": {"type": "box"}},
  "nodes": [{"name": "BOX_7", "object": "p"}, {"name": "Helper", "object": "d",
             "children": [{"name": "Crate", "object": "b"}]}]})";

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
    WriteFile(dir / "good.scene.json", R"({"format": "vek-scene/1", "objects": {"b": {"type": "box"}},
                                           "nodes": [{"name": "Crate", "object": "b"}]})");
    WriteFile(dir / "failing.json", FailingScene);
    WriteFile(dir / "broken.json", R"({"format": "vek-scene/1", "nodes": [{"object": "none"}]})");
    ExportRun run =
        RunVekexport(dir, {"--config-dir", "cfg", "--set", "decimals=2", "--set", "exportBoxes=1", "--output-dir",
                           "out", "-j", "2", "--report", "all.json", "good.scene.json", "failing.json", "broken.json"});
    EXPECT_EQ(run.status, 2) << run.stdoutText << run.stderrText;
    EXPECT_NE(run.stdoutText.find("  0  good.scene.json -> out/good.vek: 12 triangles, "), std::string::npos)
        << run.stdoutText;
    EXPECT_NE(run.stdoutText.find("  1  failing.json -> out/failing.vek: 12 triangles, "), std::string::npos);
    EXPECT_NE(run.stdoutText.find("  2  broken.json -> out/broken.vek: 0 triangles, "), std::string::npos);
    EXPECT_NE(run.stdoutText.find("\n       vekexport: broken.json: nodes[0].object: unknown object"),
              std::string::npos);
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
    EXPECT_EQ(report["scenes"][2]["status"], 2);

    // Two scenes that would write the same file are refused before anything is written.
    fs::create_directory(dir / "sub");
    WriteFile(dir / "sub/good.json", "{}");
    ExportRun clash =
        RunVekexport(dir, {"--config-dir", "cfg", "--output-dir", "out2", "good.scene.json", "sub/good.json"});
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.stderrText.find("would both be written to out2/good.vek"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir / "out2"));
}

} // namespace
} // namespace vek::test
