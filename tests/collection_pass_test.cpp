// What the first walk over the scene gathers, seen through the material section and
// the shared topology blocks of whole exports.
#include "export_run.h"
#include "plugin_test_util.h"

#include <gtest/gtest.h>

namespace vek::test {
namespace {

// The header lines of the material section's blocks, and of the topology blocks.
struct Gathered {
    std::vector<std::string> materials;
    std::vector<std::string> topologies;
    std::string text;
};

Gathered Export(const std::string& name, const std::string& scene, const std::map<std::string, int>& options = {},
                const std::vector<std::string>& args = {})
{
    ExportRun run = ExportScene(name, scene, options, args);
    Gathered g;
    // The result markers may report failures of other writers; only what was
    // gathered is looked at here.
    EXPECT_TRUE(run.vek.has_value()) << run.stderrText;
    if (!run.vek)
        return g;
    g.text = Unix(*run.vek);
    for (const std::string& line : Lines(Unix(g.text))) {
        if (line.rfind("material ", 0) == 0)
            g.materials.push_back(line.substr(9, line.size() - 11));
        else if (line.rfind("topo TOPO_", 0) == 0)
            g.topologies.push_back(line.substr(10, line.size() - 12));
    }
    return g;
}

using Names = std::vector<std::string>;

const char* const Objects = R"("objects": {
    "crate": {"type": "box"}, "rock": {"type": "box", "height": 3}, "helper": {"type": "dummy"},
    "cam": {"type": "camera"}, "target": {"type": "target"}, "lamp": {"type": "light"},
    "particles": {"type": "geometry"},
    "quad": {"type": "mesh", "verts": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "faces": [[0, 1, 2], [2, 3, 0]]}})";

std::string SceneWith(const std::string& materials, const std::string& nodes)
{
    return std::string(R"({"format": "vek-scene/1", )") + Objects + R"(, "materials": {)" + materials +
           R"(}, "nodes": [)" + nodes + "]}";
}

const char* const ThreeMaterials = R"("m1": {}, "m2": {}, "m3": {})";

TEST(CollectionPass, InstancesContributeTheirFirstNodeOnly)
{
    std::string scene = SceneWith(ThreeMaterials, R"(
        {"name": "Crate A", "object": "crate", "material": "m1"},
        {"name": "Crate B", "object": "crate", "material": "m2"},
        {"name": "Rock", "object": "rock", "material": "m2", "children": [
            {"name": "Crate C", "object": "crate", "material": "m3"}]})");
    Gathered g = Export("collect-instances", scene, {{"exportTopology", 1}});
    EXPECT_EQ(g.materials, (Names{"m1", "m2"}));
    EXPECT_EQ(g.topologies, (Names{"Crate A", "Rock"}));
}

// Without shared topologies every instance writes its own mesh and names its own
// material (or colour): each such name gets its block.
TEST(CollectionPass, InstancesWrittenInFullGatherTheirOwnMaterials)
{
    std::string scene = SceneWith(ThreeMaterials, R"(
        {"name": "Crate A", "object": "crate", "material": "m1"},
        {"name": "Crate B", "object": "crate", "material": "m2"},
        {"name": "Rock", "object": "rock", "material": "m2", "children": [
            {"name": "Crate C", "object": "crate"}]})");
    Gathered g = Export("collect-instances-full", scene);
    EXPECT_EQ(g.materials, (Names{"m1", "m2", "Crate_C_COL"}));
    EXPECT_TRUE(g.topologies.empty());
    Gathered legacy = Export("collect-instances-legacy", scene, {{"exportTopology", 1}, {"legacyFormat", 1}});
    EXPECT_EQ(legacy.materials, (Names{"m1", "m2", "Crate_C_COL"}));
}

TEST(CollectionPass, WireColoursStandInForMissingOrUnexportedMaterials)
{
    std::string scene = SceneWith(ThreeMaterials, R"(
        {"name": "Bare crate", "object": "crate", "wireColor": [255, 128, 0]},
        {"name": "Rock", "object": "rock", "material": "m1", "wireColor": [0, 0, 255]},
        {"name": "Bare crate", "object": "quad"})");
    Gathered with = Export("collect-colours", scene);
    EXPECT_EQ(with.materials, (Names{"m1", "Bare_crate_COL", "Bare_crate_COL"}));
    EXPECT_NE(with.text.find("material Bare_crate_COL {\n color ff8000\n}\n"), std::string::npos);

    Gathered without = Export("collect-colours-off", scene, {{"exportMaterials", 0}});
    EXPECT_EQ(without.materials, (Names{"Bare_crate_COL", "Rock_COL", "Bare_crate_COL"}));
    EXPECT_NE(without.text.find("material Rock_COL {\n color 0000ff\n}\n"), std::string::npos);
}

// Multi-materials are expanded in slot order, recursively; blends stay whole; empty
// slots are passed over and a material met twice is gathered once.
TEST(CollectionPass, MultiMaterialsAreExpanded)
{
    std::string materials = R"(
        "s1": {}, "s2": {}, "s3": {}, "b0": {}, "b1": {},
        "blend": {"class": "blend", "sub": ["b0", "b1"]},
        "inner": {"class": "multi", "sub": ["s2", "s1"]},
        "empty": {"class": "multi", "sub": [null]},
        "outer": {"class": "multi", "sub": ["s1", null, "blend", "inner", "empty", "s1"]},
        "odd": {"class": "other", "sub": ["s3"]})";
    std::string scene = SceneWith(materials, R"(
        {"name": "A", "object": "crate", "material": "outer"},
        {"name": "B", "object": "rock", "material": "odd"},
        {"name": "C", "object": "quad", "material": "empty"})");
    Gathered g = Export("collect-multi", scene);
    EXPECT_EQ(g.materials, (Names{"s1", "blend", "s2", "s3"}));
    // The box's faces use identifiers 0 to 5. The mesh names the leaf each reaches:
    // 3 % 2 = 1 in "inner" is s1; "empty" and slot 1 have nothing, their faces are left out.
    size_t a = g.text.find("mesh A {"), end = g.text.find("\n}\n", a);
    Names lines;
    for (const std::string& line : Lines(g.text.substr(a, end - a)))
        if (line.size() > 1 && line[0] == ' ' && line.find(' ', 1) == std::string::npos)
            lines.push_back(line.substr(1));
    EXPECT_EQ(lines, (Names{"s1", "blend", "s1", "s1"}));
}

TEST(CollectionPass, OnlyGeometryIsGatheredButEveryChildIsVisited)
{
    std::string scene = SceneWith(ThreeMaterials, R"(
        {"name": "Helper", "object": "helper", "material": "m1", "children": [
            {"name": "Cam", "object": "cam", "children": [
                {"name": "Lamp", "object": "lamp", "children": [
                    {"name": "Deep", "object": "crate", "material": "m3"}]}]}]},
        {"name": "Target", "object": "target", "material": "m2", "children": [
            {"name": "Empty", "material": "m2", "children": [
                {"name": "Quad", "object": "quad", "material": "m1"}]}]})");
    Gathered g = Export("collect-kinds", scene, {{"exportTopology", 1}});
    EXPECT_EQ(g.materials, (Names{"m3", "m1"}));
    EXPECT_EQ(g.topologies, (Names{"Deep", "Quad"}));
}

TEST(CollectionPass, SelectionLimitsWhatIsGathered)
{
    std::string scene = SceneWith(ThreeMaterials, R"(
        {"name": "Parent", "object": "crate", "material": "m1", "children": [
            {"name": "Child", "object": "rock", "material": "m2", "selected": 1},
            {"name": "Half", "object": "quad", "material": "m3", "selected": 2}]})");
    Gathered g = Export("collect-selected", scene, {{"exportTopology", 1}}, {"--selected-only"});
    EXPECT_EQ(g.materials, (Names{"m2"}));
    EXPECT_EQ(g.topologies, (Names{"Child"}));
}

TEST(CollectionPass, CollisionBoxesAreNotMaterialsOrTopologies)
{
    // A mesh of neither 8 vertices nor 12 faces is no box, and is passed over silently.
    std::string notABox = SceneWith(ThreeMaterials, R"(
        {"name": "box_3", "object": "quad", "material": "m1"},
        {"name": "Crate", "object": "crate", "material": "m2"})");
    Gathered g = Export("collect-not-a-box", notABox, {{"exportTopology", 1}});
    EXPECT_EQ(g.materials, (Names{"m2"}));
    EXPECT_EQ(g.topologies, (Names{"Crate"}));
    EXPECT_EQ(g.text.find("#ERROR_EXPORT_BOX"), std::string::npos);

    // A box whose object cannot become a mesh fails; its children, which the node pass
    // writes, are gathered like any other node.
    std::string unconvertible = SceneWith(ThreeMaterials, R"(
        {"name": "BOX_7", "object": "particles", "children": [
            {"name": "Inside", "object": "rock", "material": "m3"}]},
        {"name": "Box_12", "object": "crate", "material": "m1"},
        {"name": "Crate", "object": "crate", "material": "m2"})");
    g = Export("collect-unconvertible-box", unconvertible, {{"exportTopology", 1}});
    EXPECT_EQ(g.materials, (Names{"m3", "m2"}));
    EXPECT_EQ(g.topologies, (Names{"Inside", "Crate"}));
    EXPECT_NE(g.text.find("#ERROR_EXPORT_BOX"), std::string::npos);
    EXPECT_NE(g.text.find("mesh Inside {"), std::string::npos);
    EXPECT_NE(g.text.find("topo TOPO_Inside\n"), std::string::npos);
}

} // namespace
} // namespace vek::test
