// The mesh body: vertex lines, material groups, face lines with four-vertex joining,
// texture coordinates, two-sided copies and the parent/child vertex merge.
#include "mesh_test_util.h"

#include "scene/SceneModel.h"

#include <climits>
#include <cmath>
#include <limits>

namespace vek::test {
namespace {

const std::string SquareVerts = R"("verts": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]])";
// Two triangles sharing the hidden diagonal 0-2.
const std::string SquareFaces = R"("faces": [{"v": [0,1,2], "edges": 3}, {"v": [0,2,3], "edges": 6}])";

std::string SquareScene(const std::string& material = "", const std::string& materials = "")
{
    return SceneText(R"("sq": {"type": "mesh", )" + SquareVerts + ", " + SquareFaces + "}",
                     R"({"name": "Sq", "object": "sq")" +
                         (material.empty() ? "" : R"(, "material": ")" + material + "\"") + "}",
                     materials.empty() ? "" : R"("materials": {)" + materials + "}");
}

Mesh& MeshOf(INode* node) { return static_cast<TriObject*>(node->GetObjectRef())->GetMesh(); }

// The face lines: everything after the vertex lines, the empty line and the material line.
std::string FaceLines(const std::string& body, int numVerts) { return LinesAfter(body, numVerts + 2); }

TEST(MeshBody, SquareVerticesInXZYOrderThenColourNameAndOneFourVertexFace)
{
    auto s = Load(SquareScene());
    EXPECT_EQ(MeshBody(*s, TopNode(*s, 0)), " 0.000000 0.000000 0.000000\n"
                                            " 1.000000 0.000000 0.000000\n"
                                            " 1.000000 0.000000 1.000000\n"
                                            " 0.000000 0.000000 1.000000\n"
                                            "\n"
                                            " Sq_COL\n"
                                            " 0 1 2 3\n");
    MeshOptions triangles;
    triangles.quads = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0), triangles), 4), " 0 1 2\n 0 2 3\n");
}

TEST(MeshBody, VerticesAreInTheNodeFrameWithThePivotOffsetAndTheNumberFormat)
{
    auto s = Load(SceneText(R"("m": {"type": "mesh", "verts": [[1,2,3]], "faces": []})",
                            R"({"name": "Rock 2", "object": "m", "transform": {"position": [100, 0, 0]},
                                "objectOffset": {"position": [0.5, 0, 0]}})"));
    MeshOptions o;
    o.decimals = 2;
    o.indentation = 3;
    o.depth = 1;
    EXPECT_EQ(MeshBody(*s, TopNode(*s, 0), o), "      1.50 3.00 2.00\n\n      Rock_2_COL\n");
}

TEST(MeshBody, TwoSidedStandardMaterialWritesTheReversedCopy)
{
    const std::string mats = R"("glass": {"name": "Glass", "twoSided": true})";
    auto s = Load(SquareScene("glass", mats));
    EXPECT_EQ(LinesAfter(MeshBody(*s, TopNode(*s, 0)), 5), " Glass\n 0 1 2 3\n 3 2 1 0\n");
    MeshOptions triangles;
    triangles.quads = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0), triangles), 4), " 0 1 2\n 2 1 0\n 0 2 3\n 3 2 0\n");
    // Without materials the colour name is written and faces are never doubled.
    MeshOptions noMaterials;
    noMaterials.materials = 0;
    EXPECT_EQ(LinesAfter(MeshBody(*s, TopNode(*s, 0), noMaterials), 5), " Sq_COL\n 0 1 2 3\n");
}

TEST(MeshBody, PartnerIsTheLowestFreeFaceWithTheSameFirstHiddenEdge)
{
    // 0 and 1 join across 0-2 (face 1 has two hidden edges: its first one counts);
    // face 2 wanted face 1 too and stays a triangle; face 3 (two hidden edges) is
    // written alone; face 4 would join 3, which is already written; face 5 sees all
    // its edges; faces 6 and 8 join across 6-7 in the reverse direction, skipping 7.
    auto s = Load(SceneText(R"("m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[1,1,0],[0,1,0],[2,0,0],[3,0,0],
                                       [3,1,0],[2,1,0],[4,4,0]],
        "faces": [{"v": [0,1,2], "edges": 3}, {"v": [2,0,3], "edges": 2}, {"v": [2,0,4], "edges": 6},
                  {"v": [4,5,6], "edges": 2}, {"v": [6,5,4], "edges": 5}, [4,5,6],
                  {"v": [6,7,8], "edges": 6}, {"v": [6,7,1], "edges": 7}, {"v": [8,7,6], "edges": 5}]})",
                            R"({"name": "M", "object": "m"})"));
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0)), 9),
              " 0 1 2 3\n 2 0 4\n 4 5 6\n 6 5 4\n 4 5 6\n 6 8 7 8\n 6 7 1\n");
}

TEST(MeshBody, MultiMaterialWritesOneGroupPerUsedSlot)
{
    const std::string mats = R"("a": {"name": "Sub A"}, "b": {"name": "Sub B", "twoSided": true},
                                "c": {"name": "Sub C"}, "multi": {"class": "multi", "sub": ["a", "c", "b"]},
                                "gap": {"class": "multi", "sub": ["a", null, "b"]},
                                "blend": {"class": "blend", "name": "Mix", "sub": ["a", "b"]})";
    // Faces 0 and 1 share a hidden edge but lie in different groups; identifier 3 is
    // beyond the slots.
    const std::string objects = R"("m": {"type": "mesh", )" + SquareVerts + R"(,
        "faces": [{"v": [0,1,2], "edges": 3, "mtl": 2}, {"v": [0,2,3], "edges": 6, "mtl": 0},
                  {"v": [1,2,3], "mtl": 3}, {"v": [3,2,1], "mtl": 1}]})";
    auto s = Load(SceneText(objects, R"({"name": "Multi", "object": "m", "material": "multi"},
                                        {"name": "Gap", "object": "m", "material": "gap"},
                                        {"name": "Blend", "object": "m", "material": "blend"})",
                            R"("materials": {)" + mats + "}"));
    EXPECT_EQ(LinesAfter(MeshBody(*s, TopNode(*s, 0)), 5), " Sub_A\n 0 2 3\n Sub_C\n 3 2 1\n Sub_B\n 0 1 2\n 2 1 0\n");
    // An empty slot has no material to name: its faces are left out.
    EXPECT_EQ(LinesAfter(MeshBody(*s, TopNode(*s, 1)), 5), " Sub_A\n 0 2 3\n Sub_B\n 0 1 2\n 2 1 0\n");
    // A blend is one material whatever it holds: its name, all faces, one-sided.
    EXPECT_EQ(LinesAfter(MeshBody(*s, TopNode(*s, 2)), 5), " Mix\n 0 1 2 3\n 1 2 3\n 3 2 1\n");
}

const std::string TexturedTriangle = R"("m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[1,1,0]], "faces": [[0,1,2]],
        "tverts": [[0,0,0],[1,0,0],[1,1,0]], "tvfaces": [[0,1,2]]})";

TEST(MeshBody, TexturedCornersCarryTheirCoordinatesTimes255)
{
    auto s = Load(SceneText(TexturedTriangle, R"({"name": "T", "object": "m"})"));
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0)), 3), " 0 0 0 1 255 0 2 255 255 \n");
    MeshOptions noMaterials;
    noMaterials.materials = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0), noMaterials), 3), " 0 1 2\n");

    auto t = Load(SceneText(R"("m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[1,1,0]], "faces": [[0,1,2]],
        "tverts": [[0,0.5,0],[1,1.5,0],[-0.1,0,0]], "tvfaces": [[0,1,2]]})",
                            R"({"name": "T", "object": "m"})"));
    EXPECT_EQ(FaceLines(MeshBody(*t, TopNode(*t, 0)), 3), " 0 0 127 1 255 382 2 -25 0 \n");
}

TEST(MeshBody, CoordinatesNoIntegerHoldsGetADefinedValue)
{
    auto s = Load(SceneText(TexturedTriangle, R"({"name": "T", "object": "m"})"));
    Mesh& mesh = MeshOf(TopNode(*s, 0));
    const float inf = std::numeric_limits<float>::infinity();
    mesh.tVerts[0] = UVVert(std::nanf(""), -std::nanf(""), 0.0f);
    mesh.tVerts[1] = UVVert(inf, -inf, 0.0f);
    mesh.tVerts[2] = UVVert(1e10f, -1e10f, 0.0f);
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0)), 3),
              " 0 0 0 1 2147483647 -2147483648 2 2147483647 -2147483648 \n");
}

TEST(MeshBody, MissingTextureFacesAndVerticesReadAsZero)
{
    auto s = Load(SceneText(R"("m": {"type": "mesh", )" + SquareVerts + ", " + SquareFaces + R"(,
        "tverts": [[1,1,0]], "tvfaces": [[0,0,0],[0,0,0]], "map2": {"verts": [[1,0,0]], "faces": [[0,0,0],[0,0,0]]}})",
                            R"({"name": "T", "object": "m"})"));
    Mesh& mesh = MeshOf(TopNode(*s, 0));
    mesh.tvFace.resize(1);         // face 1 has no texture face
    mesh.mapFaces(2)[0].t[1] = 99; // beyond the map vertices
    Face extra;
    extra.setVerts(1, 2, 3);
    extra.flags = EDGE_ALL;
    mesh.faces.push_back(extra); // nor does a face added after the map channel
    MeshOptions triangles;
    triangles.quads = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0), triangles), 4), " 0 255 255 255 0 1 255 255 0 0 2 255 255 255 0 \n"
                                                                     " 0 0 0 255 0 2 0 0 255 0 3 0 0 255 0 \n"
                                                                     " 1 0 0 0 0 2 0 0 0 0 3 0 0 0 0 \n");
}

TEST(MeshBody, MapChannelTwoFollowsTrianglesAlwaysAndFourVertexFacesOutsideLegacy)
{
    auto s = Load(SceneText(R"("m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[1,1,0],[0,1,0],[5,5,5]],
        "faces": [{"v": [0,1,2], "edges": 3}, {"v": [0,2,3], "edges": 6}, [4,1,0]],
        "tverts": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]], "tvfaces": [[0,1,2],[0,2,3],[0,1,2]],
        "map2": {"verts": [[0.5,0,0],[0,0.5,0]], "faces": [[0,1,0],[1,0,1],[1,1,1]]}})",
                            R"({"name": "T", "object": "m"})"));
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0)), 5), " 0 0 0 127 0 1 255 0 0 127 2 255 255 127 0 3 0 255 0 127 \n"
                                                          " 4 0 0 0 127 1 255 0 0 127 0 255 255 0 127 \n");
    MeshOptions legacy;
    legacy.legacy = 1;
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 0), legacy), 5), " 0 0 0 1 255 0 2 255 255 3 0 255 \n"
                                                                  " 4 0 0 0 127 1 255 0 0 127 0 255 255 0 127 \n");
}

// ---- the parent/child vertex merge ----

std::string MergeScene(const std::string& parentVerts, const std::string& childVerts, const std::string& childFaces,
                       const std::string& parentType = "mesh")
{
    std::string parent = parentType == "mesh" ? R"("p": {"type": "mesh", "verts": )" + parentVerts + R"(, "faces": []})"
                                              : R"("p": {"type": ")" + parentType + "\"}";
    return SceneText(parent + R"(, "c": {"type": "mesh", "verts": )" + childVerts + R"(, "faces": )" + childFaces + "}",
                     R"({"name": "P", "object": "p", "transform": {"position": [10, 0, 0]}, "children": [
                            {"name": "C", "object": "c", "transform": {"position": [-10, 0, 0]}}]},
                        {"name": "Top", "object": "c"})");
}

INode* Child(Scene& s) { return TopNode(s, 0)->GetChildNode(0); }

TEST(MeshMerge, FacesReferToTheLowestParentVertexWhoseBoxHoldsTheVertex)
{
    // Child vertex 0 lies at world (0, 0, 0); parent vertices 1 and 3 (world x 0.5
    // and 0) hold it with precision 10, only vertex 3 with precision 0.
    auto s = Load(MergeScene("[[-9,5,5],[-9.5,0,0],[-9.5,0,0.9],[-10,0,0],[-10,0,0]]", "[[0,0,0],[3,0,0],[0,3,0]]",
                             "[[0,1,2],[2,1,0]]"));
    MeshOptions o;
    o.merge = 1;
    o.precision = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o), 3), " 6 1 2\n 2 1 6\n");
    o.precision = 10;
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o), 3), " 4 1 2\n 2 1 4\n");
    // Every vertex is still written in the child's own list.
    EXPECT_EQ(MeshBody(*s, Child(*s), o).substr(0, 29), " 0.000000 0.000000 0.000000\n ");
    // A node under the scene root never merges.
    EXPECT_EQ(FaceLines(MeshBody(*s, TopNode(*s, 1), o), 3), " 0 1 2\n 2 1 0\n");
    o.merge = 0;
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o), 3), " 0 1 2\n 2 1 0\n");
}

TEST(MeshMerge, ChildrenMergeAgainstThePositionsKeptWhenTheParentWasWritten)
{
    auto s = Load(MergeScene("[[-9,5,5],[-9.5,0,0],[-10,0,0]]", "[[0,0,0],[3,0,0],[0,3,0]]", "[[0,1,2]]"));
    INode* parent = TopNode(*s, 0);
    MeshOptions o;
    o.merge = 1;
    o.precision = 10;
    const std::string alone = MeshBody(*s, Child(*s), o);
    EXPECT_EQ(FaceLines(alone, 3), " 4 1 2\n");
    PositionCache cache;
    MeshBody(*s, parent, o, nullptr, &cache);
    ASSERT_NE(cache.Find(parent, 0), nullptr);
    EXPECT_EQ(cache.Find(parent, 160), nullptr);
    // With the parent's mesh emptied, only the kept positions can give the same merge.
    MeshOf(parent).verts.clear();
    EXPECT_EQ(MeshBody(*s, Child(*s), o, nullptr, &cache), alone);
    cache.Forget(parent);
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o, nullptr, &cache), 3), " 0 1 2\n");
}

TEST(MeshMerge, TheBoxBoundsAreSinglePrecisionAndIncluded)
{
    // With precision 1 (h = 0.1 in double) the box of the parent vertex at world x
    // reaches float(x - 0.1) and float(x + 0.1) exactly; the child's frame is the world.
    auto s = Load(MergeScene("[[-9.7,0,0]]", "[[0,0,0],[0,0,0],[0,0,0],[0,0,0]]", "[[0,1,2],[3,3,3]]"));
    Mesh& parent = MeshOf(TopNode(*s, 0));
    const float x = (TopNode(*s, 0)->GetObjTMAfterWSM(0) * parent.verts[0]).x;
    const float lo = float(double(x) - 0.1), hi = float(double(x) + 0.1);
    const float below = std::nextafter(lo, -1.0f), above = std::nextafter(hi, 1.0f);
    Mesh& child = MeshOf(Child(*s));
    child.verts = {Point3(lo, 0.0f, 0.0f), Point3(hi, 0.0f, 0.0f), Point3(below, 0.0f, 0.0f),
                   Point3(above, 0.0f, 0.0f)};
    MeshOptions o;
    o.merge = 1;
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o), 4), " 4 4 2\n 3 3 3\n");
}

TEST(MeshMerge, OnlyAGeometryParentThatIsWrittenTakesPart)
{
    MeshOptions o;
    o.merge = 1;
    o.precision = 10;
    auto dummy = Load(MergeScene("", "[[0,0,0],[1,0,0],[0,1,0]]", "[[0,1,2]]", "dummy"));
    EXPECT_EQ(FaceLines(MeshBody(*dummy, Child(*dummy), o), 3), " 0 1 2\n");

    auto mesh = Load(MergeScene("[[-10,0,0]]", "[[0,0,0],[1,0,0],[0,1,0]]", "[[0,1,2]]"));
    o.precision = 0;
    SetExportSelectedOnly(TRUE);
    std::string unselected = FaceLines(MeshBody(*mesh, Child(*mesh), o), 3);
    static_cast<SceneNode*>(TopNode(*mesh, 0))->selected = 1;
    std::string selected = FaceLines(MeshBody(*mesh, Child(*mesh), o), 3);
    SetExportSelectedOnly(FALSE);
    EXPECT_EQ(unselected, " 0 1 2\n");
    EXPECT_EQ(selected, " 3 1 2\n");

    // A geometry parent without a triangle mesh: the child writes nothing.
    auto opaque = Load(MergeScene("", "[[0,0,0],[1,0,0],[0,1,0]]", "[[0,1,2]]", "geometry"));
    ErrorFlags errors = 0;
    EXPECT_EQ(MeshBody(*opaque, Child(*opaque), o, &errors), "");
    EXPECT_EQ(errors, ERROR_GEOMETRY);
    o.merge = 0;
    EXPECT_EQ(FaceLines(MeshBody(*opaque, Child(*opaque), o, &errors), 3), " 0 1 2\n");
    EXPECT_EQ(errors, 0);
}

TEST(MeshMerge, StrayAndNonFiniteParentVerticesStillMergeExactly)
{
    // A parent spread over a small area with a few vertices far away, at infinity
    // and NaN: the far ones fall into the border cells of the grid.
    auto s = Load(MergeScene("[[-10,0,0]]", "[[0,0,0]]", "[]"));
    Mesh& parent = MeshOf(TopNode(*s, 0));
    const float inf = std::numeric_limits<float>::infinity();
    parent.verts.clear();
    for (int k = 0; k < 200; k++)
        parent.verts.push_back(Point3(-10.0f + 0.25f * float(k % 20), 0.25f * float(k / 20), 0.0f));
    parent.verts.push_back(Point3(1e30f, 0.0f, 0.0f));
    parent.verts.push_back(Point3(inf, 0.0f, 0.0f));
    parent.verts.push_back(Point3(std::nanf(""), 0.0f, 0.0f));
    parent.verts.push_back(Point3(-10.0f, -1e30f, 0.0f));
    Mesh& child = MeshOf(Child(*s));
    child.verts = {Point3(4.75f, 2.25f, 0.0f),        Point3(1e30f + 10.0f, 0.0f, 0.0f), Point3(inf, 0.0f, 0.0f),
                   Point3(std::nanf(""), 0.0f, 0.0f), Point3(0.0f, -1e30f, 0.0f),        Point3(0.6f, 0.5f, 0.0f)};
    child.faces.resize(2);
    child.faces[0].setVerts(0, 1, 2);
    child.faces[1].setVerts(3, 4, 5);
    child.faces[0].flags = child.faces[1].flags = EDGE_ALL;
    MeshOptions o;
    o.merge = 1;
    o.precision = 0;
    // Infinity times the zeros of the transform gives NaN: no box holds such a vertex.
    EXPECT_EQ(FaceLines(MeshBody(*s, Child(*s), o), 6), " 205 206 2\n 3 209 5\n");
}

} // namespace
} // namespace vek::test
