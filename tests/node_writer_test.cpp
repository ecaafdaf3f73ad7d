// The writers' shared text conventions and the opening lines of node blocks.
#include "export/SceneExporter.h"
#include "plugin_test_util.h"
#include "scene_test_util.h"
#include "writers/DummyWriter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace vek::test {
namespace {

// Runs fn with the module-wide selection flag set, restoring it afterwards.
template <class Fn> void WithSelectionOnly(Fn fn)
{
    BOOL previous = GetExportSelectedOnly();
    SetExportSelectedOnly(TRUE);
    fn();
    SetExportSelectedOnly(previous);
}

std::string Json(const Matrix3& m)
{
    std::ostringstream s;
    s.precision(9);
    s << "{\"matrix\": [";
    for (int i = 0; i < 4; i++) {
        Point3 r = m.GetRow(i);
        s << (i ? ", " : "") << "[" << r.x << ", " << r.y << ", " << r.z << "]";
    }
    s << "]}";
    return s.str();
}

// The lines a dummy writer writes for the node.
std::string DummyBlock(INode* node, int depth = 0, int indentation = 1, int decimals = 6)
{
    LinkedModule();
    MemoryFile out;
    DummyWriter writer(out.Get(), nullptr, depth);
    writer.SetIndentation(indentation);
    writer.SetDecimals(decimals);
    EXPECT_EQ(writer.Export(node), 0);
    EXPECT_TRUE(writer.OpenedBlock());
    return out.Text();
}

// The transform line of the dummy's block, without indentation and line end.
std::string TransformLine(INode* node)
{
    std::string text = DummyBlock(node, 0, 0);
    size_t first = text.find('\n');
    return text.substr(first + 1, text.size() - first - 2);
}

const char* DummyObject = R"("d": {"type": "dummy"})";

TEST(NodeWriterText, IndentationPerLevel)
{
    MemoryFile out;
    DummyWriter writer(out.Get(), nullptr, 0);
    writer.WriteIndent(out.Get(), 3);
    EXPECT_EQ(out.Text(), "   ") << "one space per level by default";
    writer.SetIndentation(3);
    writer.WriteIndent(out.Get(), 2);
    EXPECT_EQ(out.Text(), std::string(3 + 6, ' '));
    writer.WriteIndent(out.Get(), -4);
    writer.WriteIndent(out.Get(), 0);
    EXPECT_EQ(out.Text().size(), 9u);
    writer.SetIndentation(0);
    writer.WriteIndent(out.Get(), 100);
    EXPECT_EQ(out.Text().size(), 9u);
}

// Indentation comes from the configuration file, which may hold anything: it is
// kept within what the preferences dialog allows.
TEST(NodeWriterText, IndentationOutsideTheDialogRangeIsClamped)
{
    MemoryFile out;
    DummyWriter writer(out.Get(), nullptr, 0);
    writer.SetIndentation(1000000);
    writer.WriteIndent(out.Get(), 2);
    EXPECT_EQ(out.Text(), std::string(16, ' '));
    writer.SetIndentation(INT_MIN);
    writer.WriteIndent(out.Get(), INT_MAX);
    writer.SetIndentation(-1);
    writer.WriteIndent(out.Get(), 5);
    EXPECT_EQ(out.Text().size(), 16u);
    writer.SetIndentation(8);
    writer.WriteIndent(out.Get(), 1);
    EXPECT_EQ(out.Text().size(), 24u);
}

TEST(NodeWriterText, Colours)
{
    DummyWriter w(nullptr, nullptr, 0);
    EXPECT_STREQ(w.FormatColor(Color(1.0f, 0.5f, 0.0f)).data(), "ff8000");
    EXPECT_STREQ(w.FormatColor(Color(0.2f, 0.2f, 0.2f)).data(), "333333");
    // Channels outside 0..1 wrap around in the low 8 bits.
    EXPECT_STREQ(w.FormatColor(Color(1.2f, -0.1f, 2.0f)).data(), "32e7fe");
    EXPECT_STREQ(w.FormatColor(Color(-1.0f, 0.0f, 1.0f)).data(), "0200ff");
}

// NaN, infinities and values beyond the integer range have no truncated integer;
// they give fixed bytes instead: NaN 00, the positive side ff, the negative side 00.
TEST(NodeWriterText, ColoursWithoutAnIntegerValueGiveFixedBytes)
{
    DummyWriter w(nullptr, nullptr, 0);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_STREQ(w.FormatColor(Color(nan, -nan, 0.5f)).data(), "000080");
    EXPECT_STREQ(w.FormatColor(Color(inf, -inf, 1.0f)).data(), "ff00ff");
    EXPECT_STREQ(w.FormatColor(Color(1e30f, -1e30f, FLT_MAX)).data(), "ff00ff");
    // Within the integer range large values still wrap; beyond it they saturate.
    EXPECT_STREQ(w.FormatColor(Color(8388608.0f, 16777216.0f, -16777216.0f)).data(), "00ff00");
}

TEST(NodeWriterText, Names)
{
    DummyWriter w(nullptr, nullptr, 0);
    EXPECT_STREQ(w.FormatName("Tree 01  big").data(), "Tree_01__big");
    EXPECT_STREQ(w.FormatName("é,;#()").data(), "é,;#()");
    // Nothing in a name can break its line or open or close a block.
    EXPECT_STREQ(w.FormatName("tab\tcr\rlf\n{}\x7f\x01").data(), "tab_cr_lf_____");
    EXPECT_STREQ(w.FormatName(nullptr).data(), "");
    EXPECT_STREQ(w.FormatName("").data(), "");
    // Alone on a line, a material name reads as nothing else.
    EXPECT_STREQ(w.FormatMaterialName("").data(), "_");
    EXPECT_STREQ(w.FormatMaterialName("BONE").data(), "_BONE");
    EXPECT_STREQ(w.FormatMaterialName("#EXPORT_OK").data(), "_EXPORT_OK");
    EXPECT_STREQ(w.FormatMaterialName(nullptr, "_COL").data(), "_COL");
    EXPECT_STREQ(w.FormatMaterialName("#1 }", "_COL").data(), "_1___COL");
    EXPECT_STREQ(w.ReplaceChar("a.b.c", '.', '/').data(), "a/b/c");
}

TEST(NodeWriterText, MapPaths)
{
    DummyWriter w(nullptr, nullptr, 0);
    EXPECT_STREQ(w.FormatMapPath("D:\\Engine\\Partition\\maps\\wood.bmp").data(), "maps/wood.bmp");
    EXPECT_STREQ(w.FormatMapPath("D:\\Engine\\PARTITION\\wood.bmp").data(), "wood.bmp");
    EXPECT_STREQ(w.FormatMapPath("C:\\Partition\\wood.bmp").data(), "wood.bmp");
    EXPECT_STREQ(w.FormatMapPath("D:\\maps\\wood.bmp").data(), "D:/maps/wood.bmp");
    EXPECT_STREQ(w.FormatMapPath("\\Partition\\wood.bmp").data(), "/Partition/wood.bmp");
    EXPECT_STREQ(w.FormatMapPath("D:/a/partition/b/Partition/c.bmp").data(), "b/Partition/c.bmp");
    EXPECT_STREQ(w.FormatMapPath("D:\\Partitions\\x\\Partition\\c.bmp").data(), "c.bmp");
    EXPECT_STREQ(w.FormatMapPath("D:\\Partition").data(), "D:/Partition");
    EXPECT_STREQ(w.FormatMapPath("D:\\Partition\\").data(), "");
    EXPECT_STREQ(w.FormatMapPath(nullptr).data(), "");
    EXPECT_STREQ(w.FormatMapPath("").data(), "");
    EXPECT_STREQ(w.FormatMapPath("D:\\a\nb\r\t{c} {").data(), "D:/a_b__{c} _");
}

TEST(NodeWriterText, FindNoCase)
{
    DummyWriter w(nullptr, nullptr, 0);
    EXPECT_EQ(w.FindNoCase("xxABd", "abd", 0), 2);
    EXPECT_EQ(w.FindNoCase("abcABD", "abd", 0), 3) << "a first-character hit that fails searches on";
    EXPECT_EQ(w.FindNoCase("aaab", "AAB", 0), 1);
    EXPECT_EQ(w.FindNoCase("xyzabd", "abd", 10), 13);
    EXPECT_EQ(w.FindNoCase("abd", "abd", 0), 0) << "found at the start with no offset reads as not found";
    EXPECT_EQ(w.FindNoCase("abc", "xyz", 5), 0);
    EXPECT_EQ(w.FindNoCase("ab", "abc", 0), 0);
    EXPECT_EQ(w.FindNoCase("", "a", 0), 0);
}

TEST(NodeWriterTransform, NodeAtTheOriginWithoutRotation)
{
    auto scene = Load(SceneText(DummyObject, R"({"name": "Root Helper", "object": "d"})"));
    EXPECT_EQ(DummyBlock(TopNode(*scene, 0)),
              "shell Root_Helper {\n 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000\n");
}

// The position is the difference of the world positions, in x z y order, whatever
// the parent's rotation and scale.
TEST(NodeWriterTransform, PositionRelativeToTheParentInWorldAxes)
{
    // The parent is turned a quarter about Z and scaled twice; the child lies at
    // world (10, 20, 30).
    auto scene = Load(SceneText(DummyObject, R"({"name": "P", "object": "d",
        "transform": {"matrix": [[0, 2, 0], [-2, 0, 0], [0, 0, 2], [1, 2, 3]]},
        "children": [{"name": "C", "object": "d", "transform": {"position": [9, -4.5, 13.5]}}]})"));
    INode* child = TopNode(*scene, 0)->GetChildNode(0);
    ASSERT_EQ(child->GetNodeTM(0).GetTrans(), Point3(10.0f, 20.0f, 30.0f));
    std::string line = TransformLine(child);
    EXPECT_EQ(line.substr(0, 29), "9.000000 27.000000 18.000000 ") << line;
}

// Angles are about Z, X, then 65535 minus the one about Y; a half turn is 32767 and
// negative angles gain a full turn.
TEST(NodeWriterTransform, AnglesInTheEngineUnitAndOrder)
{
    const float deg = 3.14159265f / 180;
    Matrix3 tm = RotateXMatrix(10 * deg) * RotateYMatrix(20 * deg) * RotateZMatrix(30 * deg);
    auto scene = Load(SceneText(DummyObject, R"({"name": "A", "object": "d", "transform": )" + Json(tm) + "}," +
                                                 R"({"name": "B", "object": "d", "transform": )" +
                                                 Json(RotateXMatrix(-90 * deg)) + "}"));
    std::istringstream a(TransformLine(TopNode(*scene, 0)));
    float x, z, y, aboutZ, aboutX, aboutY, scale;
    a >> x >> z >> y >> aboutZ >> aboutX >> aboutY >> scale;
    EXPECT_NEAR(aboutZ, 30 * 32767 / 180.0, 0.05);
    EXPECT_NEAR(aboutX, 10 * 32767 / 180.0, 0.05);
    EXPECT_NEAR(aboutY, 65535 - 20 * 32767 / 180.0, 0.05);
    EXPECT_EQ(scale, 100.0f);

    std::istringstream b(TransformLine(TopNode(*scene, 1)));
    b >> x >> z >> y >> aboutZ >> aboutX >> aboutY >> scale;
    EXPECT_NEAR(aboutX, 1.5 * 32767, 0.05);
    EXPECT_NEAR(aboutZ, 0.0, 0.05);
    EXPECT_NEAR(aboutY, 65535.0, 0.05);
}

// A pitch just short of a quarter turn: the other two angles keep their precision,
// each within one engine unit of the exact one.
TEST(NodeWriterTransform, AnglesNearAQuarterTurnAboutYKeepTheirPrecision)
{
    const float a = 1.0f, b = 3.14159265f / 2 - 0.001f, c = -0.7f;
    Matrix3 tm = RotateXMatrix(a) * RotateYMatrix(b) * RotateZMatrix(c);
    auto scene = Load(SceneText(DummyObject, R"({"name": "A", "object": "d", "transform": )" + Json(tm) + "}"));
    std::istringstream s(TransformLine(TopNode(*scene, 0)));
    float x, z, y, aboutZ, aboutX, aboutY, scale;
    s >> x >> z >> y >> aboutZ >> aboutX >> aboutY >> scale;
    const double unit = 32767 / M_PI;
    EXPECT_NEAR(aboutX, a * unit, 1.0);
    EXPECT_NEAR(aboutY, 65535 - b * unit, 1.0);
    EXPECT_NEAR(aboutZ, (c + 2 * M_PI) * unit, 1.0);
}

// The angles are those of the node relative to its reference node; the stretch is
// never written.
TEST(NodeWriterTransform, RotationRelativeToTheParentAndNoScale)
{
    const float deg = 3.14159265f / 180;
    auto scene = Load(SceneText(DummyObject, R"({"name": "P", "object": "d", "transform": )" +
                                                 Json(RotateZMatrix(40 * deg) * ScaleMatrix(Point3(3, 3, 3))) +
                                                 R"(, "children": [{"name": "C", "object": "d", "transform": )" +
                                                 Json(RotateZMatrix(25 * deg) * ScaleMatrix(Point3(1, 5, 2))) + "}]}"));
    std::istringstream s(TransformLine(TopNode(*scene, 0)->GetChildNode(0)));
    float x, z, y, aboutZ, aboutX, aboutY, scale;
    s >> x >> z >> y >> aboutZ >> aboutX >> aboutY >> scale;
    EXPECT_NEAR(aboutZ, 25 * 32767 / 180.0, 0.1);
    EXPECT_NEAR(aboutX, 0.0, 0.1);
    EXPECT_EQ(scale, 100.0f);
}

// The angles are taken from Inverse(reference) * node, which under a turned parent
// is not the node's local rotation: a turn about the child's X axis under a parent
// turned a quarter about Z shows as a turn about Y. Files made so keep it.
TEST(NodeWriterTransform, AnglesOfTheInverseReferenceTimesTheNode)
{
    auto scene = Load(SceneText(DummyObject, R"({"name": "P", "object": "d",
        "transform": {"matrix": [[0, 1, 0], [-1, 0, 0], [0, 0, 1], [0, 0, 0]]},
        "children": [{"name": "C", "object": "d", "transform": {"rotation": {"axis": [1, 0, 0], "angle": -0.5}}}]})"));
    std::istringstream s(TransformLine(TopNode(*scene, 0)->GetChildNode(0)));
    float x, z, y, aboutZ, aboutX, aboutY, scale;
    s >> x >> z >> y >> aboutZ >> aboutX >> aboutY >> scale;
    EXPECT_NEAR(std::fmod(aboutZ + 1, 65534.0f) - 1, 0.0, 0.05);
    EXPECT_NEAR(std::fmod(aboutX + 1, 65534.0f) - 1, 0.0, 0.05);
    EXPECT_NEAR(aboutY, 65535 - (65534 - 0.5 * 32767 / 3.14159265), 0.05);
}

// Unselected ancestors write no block in selection mode, so the node is placed
// relative to the nearest ancestor that does; any state but 0 counts as selected.
TEST(NodeWriterTransform, ReferenceNodeInSelectionMode)
{
    auto scene = Load(SceneText(DummyObject, R"(
        {"name": "G", "object": "d", "selected": 1, "transform": {"position": [1, 0, 0]}, "children": [
          {"name": "P", "object": "d", "selected": 0, "transform": {"position": [2, 0, 0]}, "children": [
            {"name": "C", "object": "d", "selected": 1, "transform": {"position": [4, 0, 0]}}]}]},
        {"name": "Q", "object": "d", "selected": 0, "transform": {"position": [1, 0, 0]}, "children": [
          {"name": "R", "object": "d", "selected": 2, "transform": {"position": [2, 0, 0]}, "children": [
            {"name": "S", "object": "d", "selected": 1, "transform": {"position": [4, 0, 0]}}]}]},
        {"name": "T", "object": "d", "selected": 0, "transform": {"position": [1, 2, 3]}, "children": [
          {"name": "U", "object": "d", "selected": 1, "transform": {"position": [4, 0, 0]}}]})"));
    INode* c = TopNode(*scene, 0)->GetChildNode(0)->GetChildNode(0);
    INode* s = TopNode(*scene, 1)->GetChildNode(0)->GetChildNode(0);
    INode* u = TopNode(*scene, 2)->GetChildNode(0);
    EXPECT_EQ(TransformLine(c).substr(0, 9), "4.000000 ") << "relative to the parent without selection mode";
    WithSelectionOnly([&] {
        EXPECT_EQ(TransformLine(c).substr(0, 9), "6.000000 ") << "relative to the selected grandparent";
        EXPECT_EQ(TransformLine(s).substr(0, 9), "4.000000 ") << "state 2 counts as selected";
        EXPECT_EQ(TransformLine(u).substr(0, 27), "5.000000 3.000000 2.000000 ") << "relative to the scene root";
    });
}

TEST(NodeWriterTransform, DepthIndentationAndDecimals)
{
    auto scene = Load(SceneText(DummyObject, R"({"name": "Two words", "object": "d",
        "transform": {"position": [1.5, -2, 1e8]}})"));
    EXPECT_EQ(DummyBlock(TopNode(*scene, 0), 2, 3, 0), "      shell Two_words {\n         "
                                                       "   2 100000000   -2    0    0 65535  100\n");
    EXPECT_EQ(DummyBlock(TopNode(*scene, 0), 1, 0, 10),
              "shell Two_words {\n1.50000000 100000000. -2.0000000 0.00000000 0.00000000 65535.0000 "
              "100.000000\n");
}

TEST(DummyWriterExport, WithoutAStreamNothingIsWrittenAndTheDummyBitIsSet)
{
    auto scene = Load(SceneText(DummyObject, R"({"name": "D", "object": "d"})"));
    DummyWriter writer(nullptr, scene.get(), 0);
    EXPECT_EQ(writer.Export(TopNode(*scene, 0)), ERROR_DUMMY);
    EXPECT_FALSE(writer.OpenedBlock());
}

TEST(DummyWriterExport, UnnamedNodeHasTwoSpacesBeforeTheBrace)
{
    auto scene = Load(SceneText(DummyObject, R"({"object": "d"})"));
    std::string text = DummyBlock(TopNode(*scene, 0));
    EXPECT_EQ(text.substr(0, text.find('\n')), "shell  {");
}

TEST(NodeWriterTriObject, ConversionAndWhoDeletes)
{
    auto scene = Load(SceneText(R"("m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]},
                                   "b": {"type": "box"}, "g": {"type": "geometry"}, "s": {"type": "shape"},
                                   "d": {"type": "dummy"})",
                                R"({"name": "M", "object": "m"}, {"name": "B", "object": "b"},
                                   {"name": "G", "object": "g"}, {"name": "S", "object": "s"},
                                   {"name": "D", "object": "d"}, {"name": "N"})"));
    int mustDelete = 7;
    TriObject* mesh = NodeWriter::AcquireTriObject(TopNode(*scene, 0), 0, mustDelete);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mustDelete, 0) << "a mesh object is returned itself";
    EXPECT_EQ(mesh, TopNode(*scene, 0)->EvalWorldState(0, TRUE).obj);

    TriObject* box = NodeWriter::AcquireTriObject(TopNode(*scene, 1), 0, mustDelete);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(mustDelete, 1) << "a parametric object converts to a new mesh";
    EXPECT_EQ(box->GetMesh().getNumVerts(), 8);
    delete box;

    for (int k = 2; k < 6; k++) {
        mustDelete = 7;
        EXPECT_EQ(NodeWriter::AcquireTriObject(TopNode(*scene, k), 0, mustDelete), nullptr) << k;
        EXPECT_EQ(mustDelete, 0);
    }
    mustDelete = 7;
    EXPECT_EQ(NodeWriter::AcquireTriObject(nullptr, 0, mustDelete), nullptr);
    EXPECT_EQ(mustDelete, 0);
}

} // namespace
} // namespace vek::test
