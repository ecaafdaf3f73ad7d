// The "mesh" block of a geometry node: header, mesh body or topology reference, and
// the "anim" block with its key lists.
#include "mesh_test_util.h"

namespace vek::test {
namespace {

const std::string Triangle = R"("tri": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]})";

std::string Keys(int count, int step, const std::string& value)
{
    std::string keys;
    for (int k = 0; k < count; k++)
        keys += (k ? ", " : "") + std::string(R"({"t": )") + std::to_string(k * step) + R"(, "value": )" + value + "}";
    return keys;
}

TEST(GeometryWriter, HeaderTransformAndMeshBody)
{
    auto s = Load(SceneText(Triangle, R"({"name": "Tri 1", "object": "tri", "transform": {"position": [1, 2, 3]}})"));
    GeometryRun run = RunGeometry(*s, TopNode(*s, 0));
    EXPECT_EQ(run.text, "mesh Tri_1 {\n"
                        " 1.000000 3.000000 2.000000 0.000000 0.000000 65535.0000 100.000000\n"
                        " 0.000000 0.000000 0.000000\n"
                        " 1.000000 0.000000 0.000000\n"
                        " 0.000000 0.000000 1.000000\n"
                        "\n"
                        " Tri_1_COL\n"
                        " 0 1 2\n");
    EXPECT_EQ(run.errors, 0);
    EXPECT_TRUE(run.opened);
}

TEST(GeometryWriter, InstancesReferToTheRepresentativesTopologyBlock)
{
    auto s = Load(SceneText(Triangle + R"(, "rock": {"type": "box"})",
                            R"({"name": "Tree 01", "object": "tri"}, {"name": "Tree 02", "object": "tri"},
                               {"name": "Rock", "object": "rock"})"));
    InstanceNodeList instances;
    INode* tree = TopNode(*s, 0);
    INode* rock = TopNode(*s, 2);
    instances.Append(1, &rock, 25);
    instances.Append(1, &tree, 25);
    MeshOptions o;
    o.topology = 1;
    o.depth = 1;
    o.indentation = 2;
    GeometryRun run = RunGeometry(*s, TopNode(*s, 1), o, instances);
    EXPECT_EQ(LinesAfter(run.text, 2), "    topo TOPO_Tree 01\n");
    EXPECT_EQ(run.errors, 0);
    // The legacy format has no topology blocks: the mesh is written.
    o.legacy = 1;
    run = RunGeometry(*s, TopNode(*s, 1), o, instances);
    EXPECT_EQ(LinesAfter(run.text, 2).substr(0, 7), "    0.0");
}

TEST(GeometryWriter, KeyListsHoldEightKeysALineInFixedFormats)
{
    const std::string nodes = R"({"name": "Eight", "object": "tri", "position": {"class": "linear", "keys": [)" +
                              Keys(8, 160, "[1.5, 2.25, -3]") + R"(]}},
           {"name": "Nine", "object": "tri", "rotation": {"class": "bezier", "keys": [)" +
                              Keys(9, 320, R"({"quat": [0, 0, 0, 1]})") + "]}}";
    auto s = Load(SceneText(Triangle, nodes, R"("interface": {"animRange": [0, 960]})"));
    MeshOptions o;
    o.animation = 1;
    o.decimals = 2;
    const std::string key = "1.5000000000 -3.0000000000 2.2500000000 ";
    std::string line;
    for (int k = 0; k < 8; k++)
        line += std::to_string(k) + " " + key;
    EXPECT_EQ(LinesAfter(RunGeometry(*s, TopNode(*s, 0), o).text, 8),
              " anim Eight {\n  length 6\n  position " + line + "\n  position \n }\n");
    const std::string identity = "0.000000 0.000000 0.000000 1.000000 ";
    line.clear();
    for (int k = 0; k < 8; k++)
        line += std::to_string(2 * k) + " " + identity;
    EXPECT_EQ(LinesAfter(RunGeometry(*s, TopNode(*s, 1), o).text, 8),
              " anim Nine {\n  length 6\n  rotation " + line + "\n  rotation 16 " + identity + "\n }\n");
}

TEST(GeometryWriter, FramesAndLengthAreTruncatingDivisions)
{
    auto s = Load(SceneText(Triangle, R"({"name": "Keys", "object": "tri", "position": {"class": "tcb", "keys": [
        {"t": -321, "value": [0, 0, 0]}, {"t": -100, "value": [0, 0, 0]}, {"t": 319, "value": [0, 0, 0]}]}})",
                            R"("interface": {"animRange": [-161, 0]})"));
    MeshOptions o;
    o.animation = 1;
    o.geometry = 0;
    const std::string zero = "0.0000000000 0.0000000000 0.0000000000 ";
    GeometryRun run = RunGeometry(*s, TopNode(*s, 0), o);
    EXPECT_EQ(run.text, "anim Keys {\n length 1\n position -2 " + zero + "0 " + zero + "1 " + zero + "\n");
}

TEST(GeometryWriter, WithoutGeometryTheAnimationBlockIsTheNodesBlock)
{
    auto s = Load(SceneText(Triangle, R"({"name": "Spin 1", "object": "tri", "rotation": {"class": "tcb", "keys": [
        {"t": 0, "value": {"axis": [0, 0, 1], "angle": 0}},
        {"t": 160, "value": {"axis": [0, 0, 1], "angle": 1.5707963}}]}},
        {"name": "Still", "object": "tri"})",
                            R"("interface": {"animRange": [0, 320]})"));
    MeshOptions o;
    o.animation = 1;
    o.geometry = 0;
    o.depth = 2;
    o.indentation = 4;
    GeometryRun run = RunGeometry(*s, TopNode(*s, 0), o);
    // A quarter turn about the host's z is a quarter turn about the engine's y (the
    // host's quaternions turn the other way round).
    EXPECT_EQ(run.text, "anim Spin 1 {\n length 2\n rotation 0 0.000000 0.000000 0.000000 1.000000 "
                        "1 0.000000 -0.707107 0.000000 0.707107 \n");
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(run.errors, 0);
    // No keys: nothing written, and no block for the node pass to close.
    run = RunGeometry(*s, TopNode(*s, 1), o);
    EXPECT_EQ(run.text, "");
    EXPECT_FALSE(run.opened);
}

TEST(GeometryWriter, TheRunningRotationAccumulatesRelativeKeys)
{
    auto s = Load(SceneText(Triangle, R"({"name": "Spin", "object": "tri", "rotation": {"class": "tcb", "keys": [
        {"t": 0, "value": {"axis": [0, 0, 1], "angle": 1.5707963}},
        {"t": 160, "value": {"axis": [0, 0, 1], "angle": 1.5707963}},
        {"t": 320, "value": {"axis": [1, 0, 0], "angle": 3.1415927}}]}})"));
    MeshOptions o;
    o.animation = 1;
    o.geometry = 0;
    std::string text = RunGeometry(*s, TopNode(*s, 0), o).text;
    // Two quarter turns about y make a half turn; a half turn about x after it leaves
    // a half turn about z.
    EXPECT_EQ(LinesAfter(text, 2), " rotation 0 0.000000 -0.707107 0.000000 0.707107 "
                                   "1 0.000000 -1.000000 0.000000 0.000000 "
                                   "2 -0.000000 0.000000 1.000000 -0.000000 \n");
}

TEST(GeometryWriter, KeysOfUnknownControllerClassesKeepTheirShape)
{
    auto s = Load(SceneText(Triangle, R"({"name": "Odd", "object": "tri",
        "transform": {"position": [7, 8, 9]},
        "position": {"class": "other", "keys": [{"t": 0, "value": [1, 2, 3]}, {"t": 160, "value": [4, 5, 6]}]},
        "rotation": {"class": "other", "keys": [{"t": 0, "value": {"axis": [0, 0, 1], "angle": 1}}]}})"));
    MeshOptions o;
    o.animation = 1;
    o.geometry = 0;
    GeometryRun run = RunGeometry(*s, TopNode(*s, 0), o);
    // Positions: the node's own position at each key's time; rotations: none.
    EXPECT_EQ(LinesAfter(run.text, 2), " position 0 1.0000000000 3.0000000000 2.0000000000 "
                                       "1 4.0000000000 6.0000000000 5.0000000000 \n"
                                       " rotation 0 0.000000 0.000000 0.000000 1.000000 \n");
    EXPECT_EQ(run.errors, ERROR_ANIMATION);
}

TEST(GeometryWriter, FailuresAreReportedAndWritingGoesOn)
{
    auto s = Load(SceneText(R"("fog": {"type": "geometry"})", R"({"name": "Fog", "object": "fog",
        "position": {"class": "other", "keys": [{"t": 0, "value": [0, 0, 0]}]}})"));
    MeshOptions o;
    o.animation = 1;
    GeometryRun run = RunGeometry(*s, TopNode(*s, 0), o);
    EXPECT_EQ(run.errors, ERROR_GEOMETRY | ERROR_ANIMATION);
    EXPECT_EQ(LinesAfter(run.text, 2),
              " anim Fog {\n  length 100\n  position 0 0.0000000000 0.0000000000 0.0000000000 \n }\n");

    GeometryWriter none(nullptr, s.get(), 0, InstanceNodeList());
    none.SetGeometry(TRUE);
    EXPECT_EQ(none.Export(TopNode(*s, 0)), ERROR_GEOMETRY);
    EXPECT_FALSE(none.OpenedBlock());
}

} // namespace
} // namespace vek::test
