// The ".box" file beside an export: where it is written.
#include "export_run.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

const char* const OneBoxScene = R"({
  "format": "vek-scene/1",
  "objects": { "cube": { "type": "box", "length": 10, "width": 10, "height": 10 } },
  "nodes": [ { "name": "BOX_3", "object": "cube" } ]
})";

// Exports OneBoxScene to `output` with collision boxes on; the files left in the
// directory afterwards, by name.
std::vector<std::string> ExportTo(const std::string& scratch, const std::string& output, fs::path& dir)
{
    dir = ScratchDir(scratch);
    WriteFile(dir / "scene.json", OneBoxScene);
    WriteOptionsFile(dir / "cfg", {{"exportBoxes", 1}});
    ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", output});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BoxFileName, TheOutputsExtensionBecomesDotBox)
{
    fs::path dir;
    std::vector<std::string> files = ExportTo("box-name-hall", "hall.vek", dir);
    EXPECT_EQ(files, (std::vector<std::string>{"hall.box", "hall.vek", "scene.json", "stderr.txt", "stdout.txt"}));
    EXPECT_EQ(ReadFile(dir / "hall.box").substr(0, 9), "1\r\n 3 5\r\n");

    // Whatever the extension is.
    files = ExportTo("box-name-data", "model.data", dir);
    EXPECT_EQ(files, (std::vector<std::string>{"model.box", "model.data", "scene.json", "stderr.txt", "stdout.txt"}));
}

} // namespace
} // namespace vek::test
