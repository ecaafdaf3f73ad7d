// The node pass end to end: which nodes open blocks, at which depth, where the
// closing braces go, and the time at which the scene is evaluated.
#include "export_run.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

namespace vek::test {
namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Trimmed(const std::string& line)
{
    size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? "" : line.substr(first);
}

// The nesting of the node blocks: their opening lines, closing braces and "BONE"
// lines as written, without the header, the material and topology blocks, and the
// lines inside the blocks.
std::string Skeleton(const ExportRun& run)
{
    EXPECT_TRUE(run.vek.has_value()) << run.stderrText;
    if (!run.vek)
        return "";
    std::string out;
    bool inFileBlock = false;
    for (const std::string& line : Lines(*run.vek)) {
        if (inFileBlock) {
            inFileBlock = line != "}";
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("material ", 0) == 0 || line.rfind("topo ", 0) == 0) {
            inFileBlock = true;
            continue;
        }
        std::string t = Trimmed(line);
        if (t == "}" || t == "BONE" || (t.size() > 2 && t.compare(t.size() - 2, 2, " {") == 0))
            out += line + "\n";
    }
    return out;
}

// The line after the opening line of the named block, without its indentation.
std::string LineAfter(const ExportRun& run, const std::string& opening)
{
    std::vector<std::string> lines = Lines(run.vek.value_or(""));
    for (size_t k = 0; k + 1 < lines.size(); k++)
        if (Trimmed(lines[k]) == opening)
            return Trimmed(lines[k + 1]);
    ADD_FAILURE() << "no block " << opening;
    return "";
}

std::string Dummy(const std::string& name, const std::string& children = "", const std::string& extra = "")
{
    return R"({"name": ")" + name + R"(", "object": "dummy")" + (extra.empty() ? "" : ", " + extra) +
           (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
}

std::string Node(const std::string& name, const std::string& object, const std::string& children = "")
{
    return R"({"name": ")" + name + R"(", "object": )" + object +
           (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
}

const char* Objects = R"(
    "dummy": {"type": "dummy"}, "bone": {"type": "bone"}, "helper": {"type": "helper"},
    "box": {"type": "box"}, "shape": {"type": "shape"}, "target": {"type": "target"},
    "camera": {"type": "camera"}, "directional": {"type": "light", "kind": "directional"},
    "omniOff": {"type": "light", "kind": "omni", "on": false}, "omni": {"type": "light"})";

// Nodes that write no block keep their children one level deeper, or move them up
// one level, by kind; braces close at the depth their block opened.
TEST(NodePassDepth, EveryKindInOneScene)
{
    std::string nodes = Dummy(
        "Root",
        Node("Cam", R"("camera")", Dummy("UnderCam")) + "," + Node("Cam.Target", R"("target")", Dummy("UnderTarget")) +
            "," + Node("box_Floor", R"("box")", Dummy("UnderBox")) + "," +
            Node("Dir", R"("directional")", Dummy("UnderDir")) + "," + Node("Off", R"("omniOff")", Dummy("UnderOff")) +
            "," + Node("Helper", R"("helper")", Dummy("UnderHelper")) + "," +
            Node("Bone", R"("bone")", Dummy("UnderBone")) + "," + Node("Shape", R"("shape")", Dummy("UnderShape")) +
            "," + Node("Empty", "null", Dummy("UnderEmpty")));
    ExportRun run = ExportScene("pass-depth", SceneText(Objects, nodes), {{"indentation", 2}, {"exportLights", 1}});
    EXPECT_EQ(Skeleton(run), "shell Root {\n"
                             "  shell UnderCam {\n  }\n"
                             "  shell UnderTarget {\n  }\n"
                             "    shell UnderBox {\n    }\n"
                             "    shell UnderDir {\n    }\n"
                             "    shell UnderOff {\n    }\n"
                             "  shell UnderHelper {\n  }\n"
                             "BONE\n"
                             "    shell UnderBone {\n    }\n"
                             "    shell UnderShape {\n    }\n"
                             "    shell UnderEmpty {\n    }\n"
                             "}\n");
}

// Without the dummy option, dummies write nothing and their children move up; a
// bone still writes its line, at the start of the line.
TEST(NodePassDepth, DummiesOffAndBones)
{
    std::string nodes = Dummy("Top", Dummy("Mid", Node("B", R"("bone")", Node("L", R"("omni")"))));
    ExportRun run = ExportScene("pass-dummies-off", SceneText(Objects, nodes),
                                {{"exportDummies", 0}, {"exportLights", 1}, {"indentation", 3}});
    EXPECT_EQ(Skeleton(run), "BONE\n   colorlight L {\n   }\n");
}

// A camera's block is written; its target writes nothing, and the target's
// children take the target's place.
TEST(NodePassDepth, CameraAndTarget)
{
    std::string nodes = Dummy("Rig", Node("Cam", R"("camera")", Dummy("OnCam")) + "," +
                                         Node("Cam.Target", R"("target")", Dummy("OnTarget")));
    ExportRun run = ExportScene("pass-camera", SceneText(Objects, nodes), {{"exportCameras", 1}});
    EXPECT_EQ(Skeleton(run), "shell Rig {\n camera Cam {\n  shell OnCam {\n  }\n }\n shell OnTarget {\n }\n}\n");
}

TEST(NodePassDepth, GeometryWithGeometryAndAnimationOffMovesItsChildrenUp)
{
    std::string nodes = Dummy("Top", Node("Crate", R"("box")", Dummy("OnCrate")));
    ExportRun run = ExportScene("pass-geometry-off", SceneText(Objects, nodes), {{"exportGeometry", 0}});
    EXPECT_EQ(Skeleton(run), "shell Top {\n shell OnCrate {\n }\n}\n");
}

TEST(NodePassDepth, DummyWithTwoMeshChildren)
{
    std::string nodes = Dummy("Holder", Node("Crate 1", R"("box")") + "," + Node("Crate 2", R"("box")"));
    ExportRun run = ExportScene("pass-two-meshes", SceneText(Objects, nodes), {{"indentation", 2}});
    EXPECT_EQ(Skeleton(run), "shell Holder {\n  mesh Crate_1 {\n  }\n  mesh Crate_2 {\n  }\n}\n");
}

// With geometry off and animation on, the geometry writer runs for every mesh; one
// without keys writes nothing, so no brace closes it, and its children stay one
// level deeper.
TEST(NodePassDepth, AnimationOnlyMeshWithoutKeysLeavesBracesBalanced)
{
    std::string nodes = Dummy("Holder", Node("Still", R"("box")", Dummy("OnStill")));
    ExportRun run = ExportScene("pass-anim-only", SceneText(Objects, nodes),
                                {{"exportGeometry", 0}, {"exportAnimation", 1}, {"indentation", 2}});
    EXPECT_EQ(Skeleton(run), "shell Holder {\n    shell OnStill {\n    }\n}\n");
}

// In selection mode only nodes whose state is exactly 1 write a block; the others'
// children move up, and their blocks are placed relative to the nearest ancestor
// that counts as selected.
TEST(NodePassSelection, UnselectedParentSelectedChild)
{
    std::string nodes =
        Dummy("Top",
              Dummy("Parent", Dummy("Child", "", R"("selected": 1, "transform": {"position": [0, 0, 5]})"),
                    R"("selected": 0, "transform": {"position": [0, 0, 2]})"),
              R"("selected": 1, "transform": {"position": [0, 0, 1]})") +
        "," +
        Dummy("Two", Dummy("UnderTwo", "", R"("selected": 1, "transform": {"position": [3, 0, 0]})"),
              R"("selected": 2, "transform": {"position": [4, 0, 0]})");
    ExportRun run = ExportScene("pass-selection", SceneText(Objects, nodes), {}, {"--selected-only"});
    EXPECT_EQ(Skeleton(run), "shell Top {\n shell Child {\n }\n}\nshell UnderTwo {\n}\n");
    EXPECT_EQ(LineAfter(run, "shell Child {").substr(0, 27), "0.000000 7.000000 0.000000 ");
    EXPECT_EQ(LineAfter(run, "shell UnderTwo {").substr(0, 9), "3.000000 ");

    ExportRun all = ExportScene("pass-no-selection", SceneText(Objects, nodes));
    EXPECT_EQ(Skeleton(all), "shell Top {\n shell Parent {\n  shell Child {\n  }\n }\n}\n"
                             "shell Two {\n shell UnderTwo {\n }\n}\n");
    EXPECT_EQ(LineAfter(all, "shell Child {").substr(0, 27), "0.000000 5.000000 0.000000 ");
}

// Indentation from a damaged configuration file is kept within the dialog's range,
// the same for the opening lines, the lines inside and the closing braces.
TEST(NodePassIndentation, DamagedValuesIndentLikeTheirNearestAllowedValue)
{
    std::string nodes = Dummy("A", Dummy("B", Dummy("C")));
    ExportRun wide = ExportScene("pass-indent-wide", SceneText(Objects, nodes), {{"indentation", 100000}});
    EXPECT_EQ(Skeleton(wide), "shell A {\n" + std::string(8, ' ') + "shell B {\n" + std::string(16, ' ') +
                                  "shell C {\n" + std::string(16, ' ') + "}\n" + std::string(8, ' ') + "}\n}\n");
    EXPECT_EQ(Lines(*wide.vek).back(), "#EXPORT_OK");
    ExportRun negative = ExportScene("pass-indent-negative", SceneText(Objects, nodes), {{"indentation", -1}});
    EXPECT_EQ(Skeleton(negative), "shell A {\nshell B {\nshell C {\n}\n}\n}\n");
}

// A dummy moving from x = 0 at tick 0 to x = 10 at tick 1600, with the host's
// current time at tick 800.
class NodePassTime : public ::testing::Test {
protected:
    std::string PositionX(const std::string& caseName, const std::map<std::string, int>& options,
                          int ticksPerFrame = 160)
    {
        std::string nodes = Dummy("Mover", "", R"("position": {"class": "linear", "keys": [
            {"t": 0, "value": [0, 0, 0]}, {"t": 1600, "value": [10, 0, 0]}]})");
        std::string interface = R"("interface": {"time": 800, "ticksPerFrame": )" + std::to_string(ticksPerFrame) + "}";
        ExportRun run = ExportScene(caseName, SceneText(Objects, nodes, interface), options);
        std::string line = LineAfter(run, "shell Mover {");
        return line.substr(0, line.find(' '));
    }
};

TEST_F(NodePassTime, AnimationExportsAtTimeZero)
{
    EXPECT_EQ(PositionX("time-anim", {{"exportAnimation", 1}, {"currentFrame", 1}, {"frameNumber", 7}}), "0.000000");
}

TEST_F(NodePassTime, CurrentFrameExportsAtTheHostsTime)
{
    EXPECT_EQ(PositionX("time-current", {{"currentFrame", 1}, {"frameNumber", 7}}), "5.000000");
}

TEST_F(NodePassTime, OtherwiseAtTheFrameNumber)
{
    EXPECT_EQ(PositionX("time-frame", {{"currentFrame", 0}, {"frameNumber", 7}}), "7.000000");
    EXPECT_EQ(PositionX("time-frame-100", {{"currentFrame", 0}, {"frameNumber", 5}}, 100), "3.125000");
}

// A frame number far outside the animation (a damaged configuration file) gives
// the first or last tick rather than an overflowed product.
TEST_F(NodePassTime, FrameNumbersBeyondTheTickRangeSaturate)
{
    EXPECT_EQ(PositionX("time-frame-max", {{"currentFrame", 0}, {"frameNumber", INT_MAX}}), "10.000000");
    EXPECT_EQ(PositionX("time-frame-min", {{"currentFrame", 0}, {"frameNumber", INT_MIN}}), "0.000000");
}

} // namespace
} // namespace vek::test
