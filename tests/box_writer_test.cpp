// The ".box" file: fixed-point boxes and overlapping pairs, written into memory.
#include "box_test_util.h"
#include "plugin_test_util.h"
#include "writers/BoxWriter.h"

#include "transaction.h"

#include <array>
#include <cstdlib>
#include <random>

namespace vek::test {
namespace {

// Runs a box writer on list and returns what it wrote and its result.
std::string WriteBoxFile(BoxList* list, ErrorFlags* result = nullptr)
{
    MemoryFile out;
    BoxWriter* writer = new BoxWriter(out.Get(), nullptr, list);
    ErrorFlags r = writer->Export(nullptr);
    delete writer;
    if (result)
        *result = r;
    return out.Text();
}

// A list gathered from the top-level nodes of a scene.
struct Boxes {
    std::unique_ptr<Scene> scene;
    BoxList list;
    std::vector<ErrorFlags> results;

    Boxes(const std::string& objects, const std::string& nodes) : scene(Load(SceneText(objects, nodes)))
    {
        results = AddAllBoxes(list, *scene);
    }
};

// The lines after the boxes: the pairs and the terminator.
std::vector<std::string> PairLines(const std::string& text)
{
    std::vector<std::string> lines = Lines(text);
    size_t skip = 1 + size_t(std::atoi(lines.at(0).c_str())) * 8;
    return std::vector<std::string>(lines.begin() + long(skip), lines.end());
}

TEST(BoxFile, OneBoxWholeFile)
{
    // 10 x 20 x 4 (x, y, z) centred at the host origin.
    Boxes b(BoxObjectText("b", 20, 10, 4), BoxNodeText("BOX_4", "b", R"("position": [0, 0, -2])"));
    ErrorFlags result = -1;
    EXPECT_EQ(WriteBoxFile(&b.list, &result), "1\n"
                                              " 4 2\n"
                                              "  0 0 0\n"
                                              "  0 4000 0 8000\n"  // plane 0, bottom
                                              "  4000 0 0 14000\n" // plane 5, left
                                              "  0 0 4000 28000\n" // plane 2, front
                                              "  c000 0 0 14000\n" // plane 3, right
                                              "  0 0 c000 28000\n" // plane 4, back
                                              "  0 c000 0 8000\n"  // plane 1, top
                                              "-1 -1\n");
    EXPECT_EQ(result, 0);
}

TEST(BoxFile, FixedPointTruncationsAndTwosComplement)
{
    // A: centre (-2.7, 0.9, 0) stored; its left side lies at x = -7.7 (d 7.7).
    // B: from x = 5 to 15, its left side has d = -5.
    // C: turned an eighth of a turn about z: normals of 0.7071.
    Boxes b(BoxObjectText("b", 10, 10, 4),
            BoxNodeText("BOX_1", "b", R"("position": [-2.7, 0, -1.1])") + "," +
                BoxNodeText("BOX_2", "b", R"("position": [10, 0, 0])") + "," +
                BoxNodeText("BOX_3", "b",
                            R"("position": [0, 100, 0], "rotation": {"axis": [0, 0, 1], "angle": 0.78539816})"));
    std::vector<std::string> lines = Lines(WriteBoxFile(&b.list));
    ASSERT_EQ(lines.size(), 1u + 3 * 8 + 1);
    EXPECT_EQ(lines[2], "  ffff8000 0 0");   // the whole parts -2 and 0, then shifted
    EXPECT_EQ(lines[3], "  0 4000 0 4666");  // 1.1 * 16384 = 18022.4
    EXPECT_EQ(lines[4], "  4000 0 0 1eccc"); // 7.7 * 16384 = 126156.8
    EXPECT_EQ(lines[6], "  c000 0 0 9333");  // 2.3 * 16384 = 37683.2
    EXPECT_EQ(lines[10], "  28000 8000 0");
    EXPECT_EQ(lines[12], "  4000 0 0 fffec000");
    EXPECT_EQ(lines[14], "  c000 0 0 3c000");
    EXPECT_EQ(lines[18], "  0 8000 190000");
    // 5 - 100 * 0.7071068 = -65.71068, * 16384 = -1076603.75
    EXPECT_EQ(lines[20], "  2d41 0 2d41 ffef9285");
    EXPECT_EQ(lines[21], "  d2bf 0 2d41 ffef9285");
    EXPECT_EQ(lines[22], "  d2bf 0 d2bf 12ed7b"); // 75.71068 * 16384 = 1240443.75
    EXPECT_EQ(lines.back(), "-1 -1");
}

TEST(BoxFile, ValuesBeyondThirtyTwoBitsSaturate)
{
    Boxes b(BoxObjectText("b", 10, 10, 4), BoxNodeText("BOX_1", "b", R"("position": [1000000, -1000000, 0])"));
    std::vector<std::string> lines = Lines(WriteBoxFile(&b.list));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[2], "  7fffc000 8000 80000000");
    EXPECT_EQ(lines[4], "  4000 0 0 80000000"); // left side, d = -999995
    EXPECT_EQ(lines[5], "  0 0 4000 7fffffff"); // front side, d = 1000005
    EXPECT_EQ(lines[6], "  c000 0 0 7fffffff"); // right side, d = 1000005
}

TEST(BoxFile, PairsByListPositionLaterFirst)
{
    const std::string cube = BoxObjectText("b", 10, 10, 10);
    {
        SCOPED_TRACE("three mutually overlapping boxes");
        Boxes b(cube, BoxNodeText("BOX_1", "b") + "," + BoxNodeText("BOX_2", "b", R"("position": [4, 0, 0])") + "," +
                          BoxNodeText("BOX_3", "b", R"("position": [2, 3, 1])"));
        EXPECT_EQ(PairLines(WriteBoxFile(&b.list)), (std::vector<std::string>{"1 0", "2 0", "2 1", "-1 -1"}));
    }
    {
        // The same id three times: the pair names the positions, 2 and 0.
        SCOPED_TRACE("same ids");
        Boxes b(cube, BoxNodeText("BOX_3", "b") + "," + BoxNodeText("BOX_3", "b", R"("position": [50, 0, 0])") + "," +
                          BoxNodeText("BOX_3", "b", R"("position": [0, 0, 9])"));
        std::string text = WriteBoxFile(&b.list);
        EXPECT_EQ(Lines(text)[1], " 3 5");
        EXPECT_EQ(Lines(text)[9], " 3 5");
        EXPECT_EQ(PairLines(text), (std::vector<std::string>{"2 0", "-1 -1"}));
    }
}

TEST(BoxOverlap, CornerInsideOrOnAFace)
{
    const std::string objects = BoxObjectText("cube", 10, 10, 10) + "," + BoxObjectText("small", 2, 2, 2) + "," +
                                BoxObjectText("long", 100, 2, 2);
    Boxes b(objects, BoxNodeText("BOX_0", "cube") + "," +
                         // touching the cube's right side
                         BoxNodeText("BOX_1", "cube", R"("position": [10, 0, 0])") + "," +
                         // wholly inside the cube
                         BoxNodeText("BOX_2", "small", R"("position": [0, 0, 4])") + "," +
                         // two long bars crossing in an X, with no corner in the other
                         BoxNodeText("BOX_3", "long", R"("position": [0, 0, 50])") + "," +
                         BoxNodeText("BOX_4", "long",
                                     R"("position": [0, 0, 50], "rotation": {"axis": [0, 0, 1], "angle": 1.5707963})") +
                         "," +
                         // beside the cube, a hair's breadth away
                         BoxNodeText("BOX_5", "cube", R"("position": [0, 10.001, 0])"));
    ASSERT_EQ(b.list.BoxCount(), 6);
    BoxWriter writer(nullptr, nullptr, &b.list);
    auto overlap = [&](int i, int j) { return writer.BoxesOverlap(b.list.GetBox(i), b.list.GetBox(j)); };
    EXPECT_EQ(overlap(1, 0), 1);
    EXPECT_EQ(overlap(0, 1), 1);
    EXPECT_EQ(overlap(2, 0), 1);
    EXPECT_EQ(overlap(0, 2), 1);
    EXPECT_EQ(overlap(4, 3), 0);
    EXPECT_EQ(overlap(5, 0), 0);
    EXPECT_EQ(overlap(3, 0), 0);
    EXPECT_EQ(writer.BoxesOverlap(nullptr, b.list.GetBox(0)), 0);
}

TEST(BoxOverlap, PlanesThatAreNotNumbersHoldNoCorner)
{
    BoxRecord a, b;
    for (int i = 0; i < 6; i++) {
        a.SetPlane(i, 0, 0, 0, 1); // everything is inside a
        b.SetPlane(i, 0, 0, 0, std::numeric_limits<float>::quiet_NaN());
    }
    BoxWriter writer(nullptr, nullptr, nullptr);
    EXPECT_EQ(writer.BoxesOverlap(&a, &b), 1);
    a.SetPlane(0, 0, 0, 0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(writer.BoxesOverlap(&a, &b), 0);
}

TEST(BoxFile, NothingWithoutAFileOrABox)
{
    BoxList empty;
    ErrorFlags result = -1;
    EXPECT_EQ(WriteBoxFile(&empty, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(WriteBoxFile(nullptr, &result), "");
    EXPECT_EQ(result, 0);

    Boxes b(BoxObjectText("b", 10, 10, 10), BoxNodeText("BOX_1", "b"));
    BoxWriter writer(nullptr, nullptr, &b.list);
    EXPECT_EQ(writer.Export(nullptr), ERROR_BOX);
}

} // namespace
} // namespace vek::test

namespace vek::test {
namespace {

// A box mesh of eight corners, each face a quad of two triangles with a hidden diagonal.
std::string BoxMeshText(const std::string& id, const std::vector<std::array<double, 3>>& corners)
{
    static const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    std::string verts, faces;
    for (const auto& c : corners)
        verts += (verts.empty() ? "[" : ",[") + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
                 std::to_string(c[2]) + "]";
    for (const auto& q : quads) {
        auto face = [](int a, int b, int c) {
            return R"({"v": [)" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) +
                   R"(], "edges": 3})";
        };
        faces += (faces.empty() ? "" : ",") + face(q[0], q[1], q[2]) + "," + face(q[2], q[3], q[0]);
    }
    return "\"" + id + R"(": {"type": "mesh", "verts": [)" + verts + R"(], "faces": [)" + faces + "]}";
}

// The pairs the sweep finds are those of every pair tested, in the same order: boxes
// of all sizes and turns, coincident ones, and meshes whose corners are thrown about so
// far that their planes may enclose nothing or everything.
TEST(BoxFile, SweptPairsAreThoseOfEveryPair)
{
    std::mt19937 random(9);
    std::uniform_real_distribution<double> place(-60, 60), size(0.5, 30), turn(-3.2, 3.2), shake(-8, 8);
    std::string objects, nodes;
    const int count = 240;
    for (int k = 0; k < count; k++) {
        const std::string id = "o" + std::to_string(k);
        if (k % 4 == 3) { // a box thrown out of shape
            std::vector<std::array<double, 3>> corners;
            corners.reserve(8);
            for (int c = 0; c < 8; c++)
                corners.push_back({(c & 1 ? 10 : 0) + shake(random), (c & 2 ? 10 : 0) + shake(random),
                                   (c & 4 ? 10 : 0) + shake(random)});
            std::swap(corners[2], corners[3]); // the quads above name the corners round each face
            std::swap(corners[6], corners[7]);
            objects += (objects.empty() ? "" : ",") + BoxMeshText(id, corners);
        } else {
            objects += std::string(objects.empty() ? "" : ",") +
                       BoxObjectText(id, float(size(random)), float(size(random)), float(size(random)));
        }
        const bool coincident = k % 10 == 0 && k > 0;
        char transform[200];
        std::snprintf(transform, sizeof(transform),
                      R"("position": [%f, %f, %f], "rotation": {"axis": [%f, %f, 1], "angle": %f})",
                      coincident ? 0.0 : place(random), coincident ? 0.0 : place(random), place(random) / 4,
                      turn(random), turn(random), turn(random));
        nodes +=
            (nodes.empty() ? "" : ",") + BoxNodeText("BOX_" + std::to_string(k), coincident ? "o0" : id, transform);
    }
    Boxes b(objects, nodes);
    ASSERT_GT(b.list.BoxCount(), count / 2);
    BoxWriter writer(nullptr, nullptr, &b.list);
    std::vector<std::pair<int, int>> every, swept;
    for (int i = 1; i < b.list.BoxCount(); i++)
        for (int j = 0; j < i; j++)
            if (writer.BoxesOverlap(b.list.GetBox(i), b.list.GetBox(j)))
                every.emplace_back(i, j);
    b.list.ForEachPairThatMayOverlap([&](int i, int j) {
        if (writer.BoxesOverlap(b.list.GetBox(i), b.list.GetBox(j)))
            swept.emplace_back(i, j);
        return true;
    });
    EXPECT_GT(every.size(), size_t(count / 4));
    EXPECT_EQ(swept, every);
}

// A file larger than the output limit is not written: the transaction fails with the
// count of pairs.
TEST(BoxFile, LargerThanTheLimitIsRefusedWithTheCount)
{
    const std::string cube = BoxObjectText("b", 10, 10, 10);
    std::string nodes;
    for (int k = 0; k < 40; k++)
        nodes += (nodes.empty() ? "" : ",") + BoxNodeText("BOX_" + std::to_string(k), "b");
    Boxes b(cube, nodes); // 780 pairs, all coincident
    BeginFileTransaction();
    SetOutputLimit(4000);
    ErrorFlags result = 0;
    EXPECT_EQ(WriteBoxFile(&b.list, &result), "");
    EXPECT_EQ(result, ERROR_BOX);
    EXPECT_NE(FileTransactionError().find("overlap in more than "), std::string::npos) << FileTransactionError();
    SetOutputLimit(0);
    AbortFileTransaction();
    EXPECT_EQ(PairLines(WriteBoxFile(&b.list)).size(), 781u);
}

} // namespace
} // namespace vek::test
