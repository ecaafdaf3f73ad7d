// Collision boxes gathered from box meshes: ids, geometry in the stored (x, z, y)
// convention, the inner radius walk, and the meshes that cannot be boxes.
#include "box_test_util.h"
#include "scene/SceneModel.h"

#include <cmath>
#include <limits>

namespace vek::test {
namespace {

// A dummy node carrying only a name and a transform, for meshes built here.
std::unique_ptr<Scene> NamedNode(const std::string& name, const std::string& transform = "")
{
    return Load(SceneText(R"("d": {"type": "dummy"})", BoxNodeText(name, "d", transform)));
}

Mesh HostBox(float length, float width, float height)
{
    Mesh mesh;
    BuildBoxMesh(mesh, length, width, height);
    return mesh;
}

void ExpectPlane(BoxRecord* box, int i, float a, float b, float c, float d)
{
    SCOPED_TRACE("plane " + std::to_string(i));
    EXPECT_NEAR(box->GetPlaneA(i), a, 1e-5f);
    EXPECT_NEAR(box->GetPlaneB(i), b, 1e-5f);
    EXPECT_NEAR(box->GetPlaneC(i), c, 1e-5f);
    EXPECT_NEAR(box->GetPlaneD(i), d, 1e-4f);
}

TEST(BoxRecord, StartsUnsetAndIgnoresEveryIndexOutsideItsTables)
{
    BoxRecord r;
    EXPECT_EQ(r.GetId(), -1);
    EXPECT_EQ(r.GetInnerRadius(), -1);
    for (int i : {0, 5})
        EXPECT_EQ(r.GetPlaneA(i) + r.GetPlaneB(i) + r.GetPlaneC(i) + r.GetPlaneD(i), 0.0f);

    r.SetCorner(7, Point3(1, 2, 3));
    for (int i : {-1, 8, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(i);
        r.SetCorner(i, Point3(9, 9, 9));
        EXPECT_EQ(r.GetCorner(i), Point3());
    }
    EXPECT_EQ(r.GetCorner(7), Point3(1, 2, 3));
    EXPECT_EQ(r.GetCorner(0), Point3());

    EXPECT_EQ(r.SetPlane(5, 1, 2, 3, 4), 1);
    for (int i : {-1, 6, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.SetPlane(i, 9, 9, 9, 9), 0);
        float a = -7, b = -7, c = -7, d = -7;
        EXPECT_EQ(r.GetPlane(i, &a, &b, &c, &d), 0);
        EXPECT_EQ(a + b + c + d, -28.0f);
        EXPECT_EQ(r.GetPlaneA(i), 0.0f);
        EXPECT_EQ(r.GetPlaneB(i), 0.0f);
        EXPECT_EQ(r.GetPlaneC(i), 0.0f);
        EXPECT_EQ(r.GetPlaneD(i), 0.0f);
    }
    float a, b, c, d;
    ASSERT_EQ(r.GetPlane(5, &a, &b, &c, &d), 1);
    EXPECT_EQ(Point3(a, b, c), Point3(1, 2, 3));
    EXPECT_EQ(d, 4.0f);
    EXPECT_EQ(r.GetPlane(5, &a, nullptr, &c, &d), 0);
    EXPECT_EQ(r.GetPlaneA(4), 0.0f);
}

TEST(BoxList, EmptyListAndMissingArguments)
{
    BoxList list;
    EXPECT_EQ(list.BoxCount(), 0);
    EXPECT_EQ(list.GetBox(0), nullptr);
    EXPECT_EQ(list.GetBox(-1), nullptr);

    auto scene = NamedNode("BOX_1");
    Mesh mesh = HostBox(10, 10, 10);
    EXPECT_EQ(list.AddBox(nullptr, &mesh), ERROR_BOX);
    EXPECT_EQ(list.AddBox(TopNode(*scene, 0), nullptr), ERROR_BOX);
    EXPECT_EQ(list.BoxCount(), 0);

    EXPECT_EQ(list.AddBox(TopNode(*scene, 0), &mesh), 0);
    EXPECT_EQ(list.BoxCount(), 1);
    EXPECT_NE(list.GetBox(0), nullptr);
    EXPECT_EQ(list.GetBox(1), nullptr);
}

TEST(BoxIds, NumberAfterThePrefixOrRejection)
{
    struct Case {
        const char* name;
        ErrorFlags result;
        int id; // when accepted
    };
    const Case cases[] = {
        {"BOX_12", 0, 12},
        {"BOX_007", 0, 7},
        {"BOX_", 0, 0},
        {"box_5", 0, 5},
        {"BOX_2147483647", 0, 2147483647},
        {"BOX_1a", ERROR_BOX, 0},
        {"BOX_-1", ERROR_BOX, 0},
        {"BOX_ 1", ERROR_BOX, 0},
        {"BOX_2147483648", ERROR_BOX, 0},
        {"BOX_99999999999999999999", ERROR_BOX, 0},
    };
    Mesh mesh = HostBox(10, 10, 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto scene = NamedNode(c.name);
        BoxList list;
        EXPECT_EQ(list.AddBox(TopNode(*scene, 0), &mesh), c.result);
        ASSERT_EQ(list.BoxCount(), c.result ? 0 : 1);
        if (!c.result) {
            EXPECT_EQ(list.GetBox(0)->GetId(), c.id);
        }
    }
}

TEST(BoxIds, SameNumberTwiceGivesTwoRecords)
{
    auto scene =
        Load(SceneText(BoxObjectText("b", 10, 10, 10),
                       BoxNodeText("BOX_3", "b") + "," + BoxNodeText("BOX_3", "b", R"("position": [50, 0, 0])")));
    BoxList list;
    EXPECT_EQ(AddAllBoxes(list, *scene), (std::vector<ErrorFlags>{0, 0}));
    ASSERT_EQ(list.BoxCount(), 2);
    EXPECT_EQ(list.GetBox(0)->GetId(), 3);
    EXPECT_EQ(list.GetBox(1)->GetId(), 3);
    EXPECT_NEAR(list.GetBox(1)->GetCenter().x, 50.0f, 1e-4f);
}

TEST(BoxGeometry, AxisAlignedBoxIsStoredWithTheHostZSecond)
{
    // 10 x 20 x 4 (x, y, z), centred at the host origin.
    auto scene = Load(SceneText(BoxObjectText("b", 20, 10, 4), BoxNodeText("BOX_4", "b", R"("position": [0, 0, -2])")));
    BoxList list;
    EXPECT_EQ(AddNodeBox(list, TopNode(*scene, 0)), 0);
    ASSERT_EQ(list.BoxCount(), 1);
    BoxRecord* box = list.GetBox(0);
    EXPECT_EQ(box->GetId(), 4);
    ExpectNear(box->GetCenter(), Point3(0, 0, 0));
    // Host corners in the box primitive's order, stored as (x, z, y).
    const Point3 corners[8] = {{-5, -2, -10}, {5, -2, -10}, {-5, -2, 10}, {5, -2, 10},
                               {-5, 2, -10},  {5, 2, -10},  {-5, 2, 10},  {5, 2, 10}};
    for (int k = 0; k < 8; k++) {
        SCOPED_TRACE(k);
        ExpectNear(box->GetCorner(k), corners[k]);
    }
    // Bottom, top, front, right, back, left: unit normals into the box.
    ExpectPlane(box, 0, 0, 1, 0, 2);
    ExpectPlane(box, 1, 0, -1, 0, 2);
    ExpectPlane(box, 2, 0, 0, 1, 10);
    ExpectPlane(box, 3, -1, 0, 0, 5);
    ExpectPlane(box, 4, 0, 0, -1, 10);
    ExpectPlane(box, 5, 1, 0, 0, 5);
    EXPECT_EQ(box->GetInnerRadius(), 2);
}

TEST(BoxGeometry, TakenFromTheTransformAtTimeZero)
{
    // Placed by a rotation and an animated position; the host's current time is
    // another frame, but the box stands where it was at time 0.
    auto scene = Load(SceneText(BoxObjectText("b", 10, 10, 10),
                                R"({"name": "BOX_9", "object": "b",
                                    "transform": {"rotation": {"axis": [0, 0, 1], "angle": 1.5707963}},
                                    "position": {"class": "linear", "keys": [
                                        {"t": 0, "value": [30, 40, 0]}, {"t": 1600, "value": [90, 0, 0]}]}})",
                                R"("interface": {"time": 1600})"));
    ASSERT_EQ(scene->GetTime(), 1600);
    BoxList list;
    EXPECT_EQ(AddNodeBox(list, TopNode(*scene, 0)), 0);
    ASSERT_EQ(list.BoxCount(), 1);
    BoxRecord* box = list.GetBox(0);
    ExpectNear(box->GetCenter(), Point3(30, 5, 40));
    // The host's corner 0 (-5, -5, 0) turned a quarter about z: (5, -5, 0).
    ExpectNear(box->GetCorner(0), Point3(35, 0, 35));
    // The box primitive's right side (x = max) now faces +y.
    ExpectPlane(box, 3, 0, 0, -1, 45);
    EXPECT_EQ(box->GetInnerRadius(), 5);
}

TEST(BoxInnerRadius, LargestWholeClearanceFromTheCentre)
{
    struct Case {
        float length, width, height; // host y, x, z
        ErrorFlags result;
        int radius;
    };
    const Case cases[] = {
        {10, 10, 10, 0, 5},
        {20, 10, 4, 0, 2},
        {9.9f, 9.9f, 9.9f, 0, 4},
        // Planes 0 and 1 (bottom and top) are under a unit away: later planes take
        // their place in each scan, and the walk runs on the four others.
        {20, 10, 1.5f, 0, 5},
        // Planes 3 and 5 are under a unit away: nothing replaces plane 5's 0, so the
        // centre counts as lying on a face.
        {20, 1.5f, 10, ERROR_BOX, -1},
        {1.5f, 1.5f, 1.5f, ERROR_BOX, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.length) + " x " + std::to_string(c.height));
        auto scene = NamedNode("BOX_1");
        Mesh mesh = HostBox(c.length, c.width, c.height);
        BoxList list;
        EXPECT_EQ(list.AddBox(TopNode(*scene, 0), &mesh), c.result);
        // A failed walk still leaves a complete box in the list.
        ASSERT_EQ(list.BoxCount(), 1);
        BoxRecord* box = list.GetBox(0);
        EXPECT_EQ(box->GetInnerRadius(), c.radius);
        ExpectPlane(box, 5, 1, 0, 0, c.width / 2);
        ExpectNear(box->GetCenter(), Point3(0.0f, c.height / 2, 0.0f));
    }
}

TEST(BoxMeshes, ThatDoNotDescribeABoxAreRejectedWithoutARecord)
{
    struct Case {
        const char* what;
        void (*change)(Mesh&);
    };
    const Case cases[] = {
        {"no face has a hidden edge",
         [](Mesh& m) {
             for (Face& f : m.faces)
                 f.flags |= EDGE_ALL;
         }},
        {"fewer than eight vertices", [](Mesh& m) { m.setNumVerts(7); }},
        // Every pair is met out of step, and the last face starts a quad alone.
        {"a quad starting on the last face", [](Mesh& m) { m.faces.erase(m.faces.begin()); }},
        {"a seventh quad",
         [](Mesh& m) {
             m.faces.push_back(m.faces[0]);
             m.faces.push_back(m.faces[1]);
         }},
        {"a completing face with no hidden edge", [](Mesh& m) { m.faces[5].flags |= EDGE_ALL; }},
        {"a face on a vertex the mesh does not have", [](Mesh& m) { m.faces[4].v[1] = 8; }},
        {"a side with no area", [](Mesh& m) { m.setVert(5, m.getVert(1)); }},
        {"a corner that is not a number",
         [](Mesh& m) { m.setVert(0, Point3(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f)); }},
        {"an infinite corner",
         [](Mesh& m) { m.setVert(3, Point3(std::numeric_limits<float>::infinity(), 5.0f, 0.0f)); }},
    };
    auto scene = NamedNode("BOX_2");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mesh mesh = HostBox(10, 10, 10);
        c.change(mesh);
        BoxList list;
        EXPECT_EQ(list.AddBox(TopNode(*scene, 0), &mesh), ERROR_BOX);
        EXPECT_EQ(list.BoxCount(), 0);
        BoxRecord record;
        EXPECT_EQ(list.ComputeBoxGeometry(TopNode(*scene, 0), &record, &mesh), ERROR_BOX);
        EXPECT_EQ(record.GetPlaneA(5), 0.0f);
        EXPECT_EQ(record.GetCorner(7), Point3());
    }
}

TEST(BoxMeshes, ExtraVerticesAndPassedOverFacesAreAccepted)
{
    // Vertices after the eighth are not corners; a face without exactly two visible
    // edges between the pairs is passed over.
    Mesh mesh = HostBox(10, 10, 10);
    mesh.verts.push_back(Point3(100, 100, 100));
    Face loose;
    loose.setVerts(0, 1, 8);
    loose.flags = EDGE_ALL;
    mesh.faces.insert(mesh.faces.begin() + 4, loose);
    auto scene = NamedNode("BOX_2");
    BoxList list;
    EXPECT_EQ(list.AddBox(TopNode(*scene, 0), &mesh), 0);
    ASSERT_EQ(list.BoxCount(), 1);
    ExpectNear(list.GetBox(0)->GetCenter(), Point3(0, 5, 0));
    EXPECT_EQ(list.GetBox(0)->GetInnerRadius(), 5);
    ExpectPlane(list.GetBox(0), 3, -1, 0, 0, 5);
}

} // namespace
} // namespace vek::test
