// The ".box" file: fixed-point boxes and overlapping pairs, written into memory.
#include "box_test_util.h"
#include "plugin_test_util.h"
#include "writers/BoxWriter.h"

#include <cstdlib>

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
