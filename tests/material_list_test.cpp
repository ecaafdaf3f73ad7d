// The list of materials and named colours gathered for one export.
#include "lists/MaterialList.h"
#include "scene_test_util.h"

namespace vek::test {
namespace {

// Three distinct host materials, owned by the scene.
struct ThreeMaterials {
    std::unique_ptr<Scene> scene = Load(R"({"format": "vek-scene/1",
        "materials": {"a": {}, "b": {}, "c": {}},
        "nodes": [{"material": "a"}, {"material": "b"}, {"material": "c"}]})");
    Mtl* operator[](int i) { return TopNode(*scene, i)->GetMtl(); }
};

TEST(MaterialList, EmptyListHasNoEntries)
{
    MaterialList list;
    EXPECT_EQ(list.MaterialCount(), 0);
    EXPECT_EQ(list.ColorCount(), 0);
    EXPECT_EQ(list.GetMaterial(0), nullptr);
    EXPECT_EQ(list.GetColorName(0), nullptr);
    EXPECT_EQ(list.GetColor(0), nullptr);
    EXPECT_EQ(list.GetMaterial(-1), nullptr);
}

TEST(MaterialList, KeepsEachMaterialOnceInFirstMetOrder)
{
    ThreeMaterials m;
    MaterialList list;
    EXPECT_EQ(list.AddMaterial(m[1]), 1);
    EXPECT_EQ(list.AddMaterial(m[0]), 1);
    EXPECT_EQ(list.AddMaterial(m[1]), 0);
    EXPECT_EQ(list.AddMaterial(nullptr), 0);
    EXPECT_EQ(list.AddMaterial(m[2]), 1);
    EXPECT_EQ(list.AddMaterial(m[0]), 0);
    ASSERT_EQ(list.MaterialCount(), 3);
    EXPECT_EQ(list.GetMaterial(0), m[1]);
    EXPECT_EQ(list.GetMaterial(1), m[0]);
    EXPECT_EQ(list.GetMaterial(2), m[2]);
    EXPECT_EQ(list.GetMaterial(3), nullptr);
}

TEST(MaterialList, ColourPairsStayParallelAndMayRepeat)
{
    MaterialList list;
    const char* rock = "Rock";
    EXPECT_EQ(list.AddColor(rock, new Color(1.0f, 0.0f, 0.0f)), 1);
    EXPECT_EQ(list.AddColor(nullptr, nullptr), 0);
    Color* orphan = new Color(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(list.AddColor(nullptr, orphan), 0); // not taken: still the caller's
    delete orphan;
    EXPECT_EQ(list.AddColor("Tree", nullptr), 0);
    EXPECT_EQ(list.AddColor(rock, new Color(0.0f, 0.0f, 1.0f)), 1);

    ASSERT_EQ(list.ColorCount(), 2);
    EXPECT_EQ(list.GetColorName(0), rock); // the caller's pointer, not a copy
    EXPECT_EQ(list.GetColorName(1), rock);
    EXPECT_EQ(*list.GetColor(0), Color(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(*list.GetColor(1), Color(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(list.GetColorName(2), nullptr);
    EXPECT_EQ(list.GetColor(2), nullptr);
    EXPECT_EQ(list.MaterialCount(), 0);
}

// Many entries: the index beside the table must agree with it after every growth.
TEST(MaterialList, LargeListsStayExact)
{
    std::string materials, nodes;
    const int n = 300;
    for (int k = 0; k < n; k++) {
        materials += (k ? ", " : "") + ("\"m" + std::to_string(k) + "\": {}");
        nodes += (k ? ", " : "") + ("{\"material\": \"m" + std::to_string(k) + "\"}");
    }
    auto scene = Load(R"({"format": "vek-scene/1", "materials": {)" + materials + R"(}, "nodes": [)" + nodes + "]}");
    MaterialList list;
    for (int pass = 0; pass < 2; pass++)
        for (int k = n - 1; k >= 0; k--)
            EXPECT_EQ(list.AddMaterial(TopNode(*scene, k)->GetMtl()), pass == 0 ? 1 : 0);
    ASSERT_EQ(list.MaterialCount(), n);
    for (int k = 0; k < n; k++)
        EXPECT_EQ(list.GetMaterial(k), TopNode(*scene, n - 1 - k)->GetMtl());
}

} // namespace
} // namespace vek::test
