// Models of other formats in the host scene: axes, polygons as fans with hidden
// diagonals, shared objects, multi-materials, refused files, embedded textures, and a
// corpus of real models that must each export cleanly or be refused.
#include "check/VekCheck.h"
#include "export_run.h"
#include "scene/SceneModel.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<Scene> LoadModel(const std::string& name, const std::string& ext, const std::string& text,
                                 const ImportOptions& options = {})
{
    fs::path dir = ScratchDir("model-" + name);
    WriteFile(dir / ("model." + ext), text);
    return LoadSceneFile((dir / ("model." + ext)).string(), options);
}

Mesh& MeshOf(INode* node) { return static_cast<TriObject*>(node->GetObjectRef())->GetMesh(); }

const char* const Quad =
    "o Quad\nv 0 0 0\nv 2 0 0\nv 2 0 2\nv 0 0 2\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n";

TEST(ModelLoader, PolygonsBecomeFansWhoseInnerDiagonalsAreHidden)
{
    auto s = LoadModel("fan", "obj", "o P\nv 0 0 0\nv 1 0 0\nv 2 1 0\nv 1 2 0\nv 0 1 0\nf 1 2 3 4 5\n",
                       {ImportOptions::Up::Z});
    Mesh& m = MeshOf(TopNode(*s, 0));
    ASSERT_EQ(m.getNumFaces(), 3);
    const DWORD corners[3][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    const DWORD edges[3] = {EDGE_A | EDGE_B, EDGE_B, EDGE_B | EDGE_C};
    for (int f = 0; f < 3; f++) {
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(m.faces[size_t(f)].v[k], corners[f][k]) << "face " << f;
        EXPECT_EQ(m.faces[size_t(f)].flags & EDGE_ALL, edges[f]) << "face " << f;
    }
}

TEST(ModelLoader, YUpFilesAreTurnedToZUpUnlessTold)
{
    auto s = LoadModel("axes", "obj", Quad);
    INode* quad = TopNode(*s, 0);
    Mesh& m = MeshOf(quad);
    ASSERT_EQ(m.getNumVerts(), 4);
    ExpectNear(m.verts[2], Point3(2, -2, 0)); // (2, 0, 2) with y up
    ExpectNear(quad->GetNodeTM(0), Matrix3());
    EXPECT_EQ(m.getNumTVerts(), 4);
    EXPECT_EQ(m.tvFace.size(), 2u);

    auto z = LoadModel("axes-z", "obj", Quad, {ImportOptions::Up::Z});
    ExpectNear(MeshOf(TopNode(*z, 0)).verts[2], Point3(2, 0, 2));
    // --scale multiplies the whole scene.
    auto scaled = LoadModel("axes-scaled", "obj", Quad, {ImportOptions::Up::Z, 100.0});
    ExpectNear(MeshOf(TopNode(*scaled, 0)).verts[2], Point3(200, 0, 200));
}

TEST(ModelLoader, CornersAtOnePositionAreOneVertexWithTheirOwnTextureVertices)
{
    // Two triangles meeting along a texture seam: four positions, six texture corners.
    auto s =
        LoadModel("seam", "obj",
                  "o S\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 0.5\nvt 0.5 0.5\nvt 0.2 1\n"
                  "f 1/1 2/2 3/3\nf 1/4 3/5 4/6\n",
                  {ImportOptions::Up::Z});
    Mesh& m = MeshOf(TopNode(*s, 0));
    EXPECT_EQ(m.getNumVerts(), 4);
    EXPECT_EQ(m.getNumTVerts(), 6);
    EXPECT_EQ(m.faces[0].v[0], m.faces[1].v[0]);
    EXPECT_NE(m.tvFace[0].t[0], m.tvFace[1].t[0]);
}

TEST(ModelLoader, ANodeOfSeveralMaterialsHoldsOneMeshAndAMultiMaterial)
{
    fs::path dir = ScratchDir("model-multi");
    WriteFile(dir / "two.mtl", "newmtl A\nKd 1 0 0\nnewmtl B\nKd 0 0 1\n");
    WriteFile(dir / "two.obj", "mtllib two.mtl\no Two\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                               "usemtl A\nf 1 2 3\nusemtl B\nf 2 4 3\n");
    auto s = LoadSceneFile((dir / "two.obj").string(), {ImportOptions::Up::Z});
    INode* node = TopNode(*s, 0);
    Mesh& m = MeshOf(node);
    ASSERT_EQ(m.getNumFaces(), 2);
    EXPECT_EQ(m.getNumVerts(), 4); // the shared edge's corners are merged across the two meshes
    EXPECT_EQ(m.faces[0].getMatID(), 0);
    EXPECT_EQ(m.faces[1].getMatID(), 1);
    Mtl* mtl = node->GetMtl();
    ASSERT_NE(mtl, nullptr);
    EXPECT_EQ(mtl->ClassID(), Class_ID(MULTI_CLASS_ID, 0));
    ASSERT_EQ(mtl->NumSubMtls(), 2);
    EXPECT_STREQ(mtl->GetSubMtl(0)->GetName().data(), "A");
    EXPECT_STREQ(mtl->GetSubMtl(1)->GetName().data(), "B");
}

TEST(ModelLoader, NodesOfTheSameMeshesShareOneObject)
{
    auto s = LoadSceneFile(VEK_SOURCE_DIR "/tests/golden/model-gltf-instances/scene.gltf");
    ASSERT_EQ(s->GetRootNode()->NumberOfChildren(), 2);
    EXPECT_EQ(TopNode(*s, 0)->GetObjectRef(), TopNode(*s, 1)->GetObjectRef());
    // glTF is y up: the translation (1, 2, 3) is (1, -3, 2) here.
    ExpectNear(TopNode(*s, 0)->GetNodeTM(0).GetTrans(), Point3(1, -3, 2));
}

// The one-triangle glTF of the golden tests, (0,0,0) (1,0,0) (0,1,0) facing +z, with
// these nodes and scene.
std::unique_ptr<Scene> LoadTriangleGltf(const std::string& name, const std::string& nodesAndScene,
                                        const ImportOptions& options = {})
{
    std::string gltf = ReadFile(VEK_SOURCE_DIR "/tests/golden/model-gltf-instances/scene.gltf");
    gltf.erase(gltf.find("\"nodes\""));
    return LoadModel(name, "gltf", gltf + nodesAndScene + "}", options);
}

// Each node of the scene depth first, with its world triangle's corners in the host
// (object offset and node transform applied), and its object.
struct Placed {
    INode* node;
    std::array<Point3, 3> corners;
};
void PlaceAll(INode* parent, std::vector<Placed>& out)
{
    for (int i = 0; i < parent->NumberOfChildren(); i++) {
        INode* n = parent->GetChildNode(i);
        if (n->GetObjectRef()->SuperClassID() == GEOMOBJECT_CLASS_ID &&
            n->GetObjectRef()->ClassID() != Class_ID(DUMMY_CLASS_ID, 0)) {
            Mesh& m = MeshOf(n);
            const Matrix3 tm = n->GetObjTMAfterWSM(0);
            out.push_back({n, {}});
            for (int k = 0; k < 3; k++)
                out.back().corners[size_t(k)] = m.verts[m.faces[0].v[k]] * tm;
        }
        PlaceAll(n, out);
    }
}

// A node is held as after a transform reset: its transform is rigid, its object offset
// carries scale and mirroring, so that every vertex lands where the file puts it, and a
// mirrored triangle still faces the way the file shows it (+z there, -y here). glTF
// (x, y, z) is (x, -z, y) here.
TEST(ModelLoader, NodesAreRigidAndTheirObjectsCarryScaleAndMirroring)
{
    struct Case {
        const char* name;
        const char* nodes;
        std::vector<std::array<Point3, 3>> corners; // of each mesh node, depth first
    };
    const Case cases[] = {
        {"scaled",
         R"("nodes": [{"mesh": 0, "translation": [0, 0, -8], "scale": [3, 3, 3]}], "scenes": [{"nodes": [0]}])",
         {{Point3(0, 8, 0), Point3(3, 8, 0), Point3(0, 8, 3)}}},
        {"mirrored",
         R"("nodes": [{"mesh": 0, "scale": [-1, 1, 1]}], "scenes": [{"nodes": [0]}])",
         {{Point3(0, 0, 0), Point3(-1, 0, 0), Point3(0, 0, 1)}}},
        {"stretched-under-turned",
         R"("nodes": [{"children": [1], "rotation": [0, 0, 0.7071068, 0.7071068]},
                      {"mesh": 0, "scale": [2, 1, 1]}], "scenes": [{"nodes": [0]}])",
         {{Point3(0, 0, 0), Point3(0, 0, 2), Point3(-1, 0, 0)}}},
        {"root-once",
         R"("nodes": [{"mesh": 0, "translation": [5, 0, 0], "children": [1]}, {"mesh": 0}], "scenes": [{"nodes": [0]}])",
         {{Point3(5, 0, 0), Point3(6, 0, 0), Point3(5, 0, 1)}, {Point3(5, 0, 0), Point3(6, 0, 0), Point3(5, 0, 1)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = LoadTriangleGltf(std::string("place-") + c.name, c.nodes);
        std::vector<Placed> placed;
        PlaceAll(s->GetRootNode(), placed);
        ASSERT_EQ(placed.size(), c.corners.size());
        for (size_t i = 0; i < placed.size(); i++) {
            const Matrix3 tm = placed[i].node->GetNodeTM(0);
            for (int r = 0; r < 3; r++)
                EXPECT_NEAR(tm.GetRow(r).Length(), 1.0f, 1e-5f) << "the node transform is rigid";
            // The expected corners are a set: a mirrored face has its corners in another order.
            for (const Point3& want : c.corners[i])
                EXPECT_TRUE(std::any_of(placed[i].corners.begin(), placed[i].corners.end(),
                                        [&](const Point3& p) { return (p - want).Length() < 1e-4f; }))
                    << want.x << " " << want.y << " " << want.z;
            const auto& v = placed[i].corners;
            EXPECT_GT(DotProd(CrossProd(v[1] - v[0], v[2] - v[0]), Point3(0, -1, 0)), 0.0f)
                << "faces keep facing the way the file shows them";
        }
    }
}

// Instances share one object while their offsets agree; an instance of another size has
// an object of its own, so that no shared block draws it at its sibling's size.
TEST(ModelLoader, InstancesOfAnotherSizeGetAnObjectOfTheirOwn)
{
    auto s = LoadTriangleGltf("instances-sizes", R"("nodes": [{"name": "Rock", "mesh": 0},
        {"name": "Rock", "mesh": 0, "translation": [4, 0, 0]}, {"name": "Rock", "mesh": 0, "scale": [2, 2, 2]}],
        "scenes": [{"nodes": [0, 1, 2]}])");
    EXPECT_EQ(TopNode(*s, 0)->GetObjectRef(), TopNode(*s, 1)->GetObjectRef());
    EXPECT_NE(TopNode(*s, 0)->GetObjectRef(), TopNode(*s, 2)->GetObjectRef());
    // A shared object is found by the name of its first node: the other object's is told apart.
    EXPECT_STREQ(TopNode(*s, 1)->GetName(), "Rock");
    EXPECT_STREQ(TopNode(*s, 2)->GetName(), "Rock_2");
}

TEST(ModelLoader, AnimatedNodesGetLinearKeysInTicks)
{
    auto s = LoadSceneFile(VEK_SOURCE_DIR "/tests/golden/model-gltf-animated/scene.gltf");
    EXPECT_EQ(s->GetAnimRange().End(), 4800); // one second at 30 frames of 160 ticks
    INode* mover = TopNode(*s, 0);
    Control* tm = mover->GetTMController();
    IKeyControl* pos = GetKeyControlInterface(tm->GetPositionController());
    ASSERT_NE(pos, nullptr);
    ASSERT_EQ(pos->GetNumKeys(), 3);
    EXPECT_EQ(tm->GetPositionController()->ClassID(), Class_ID(LININTERP_POSITION_CLASS_ID, 0));
    ILinPoint3Key key;
    pos->GetKey(2, &key);
    EXPECT_EQ(key.time, 4800);
    ExpectNear(key.val, Point3(1, 0, 2)); // (1, 2, 0) with y up
    ExpectNear(mover->GetNodeTM(4800).GetTrans(), Point3(1, 0, 2));
}

TEST(ModelLoader, SceneDescriptionsAreRecognisedByTheirContent)
{
    fs::path dir = ScratchDir("model-content");
    WriteFile(dir / "level.scene", R"({"format": "vek-scene/1", "objects": {"d": {"type": "dummy"}},
                                        "nodes": [{"name": "Root", "object": "d"}]})");
    auto s = LoadSceneFile((dir / "level.scene").string());
    EXPECT_STREQ(TopNode(*s, 0)->GetName(), "Root");
    // Other JSON is not ours: it goes to Assimp.
    WriteFile(dir / "other.gltf", R"({"asset": {"version": "9.0"}})");
    EXPECT_THROW(LoadSceneFile((dir / "other.gltf").string()), SceneError);
}

TEST(ModelLoader, UnusableModelsAreRefusedAndNothingIsWritten)
{
    struct Bad {
        const char* file;
        std::string text;
        const char* message;
    };
    const Bad cases[] = {
        {"nan.obj", "v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "nan.obj: mesh \"defaultobject\": vertex 0 is not a finite number"},
        {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n",
         "index.obj: cannot read the model: OBJ: vertex index out of range"},
        {"noise.xyz", std::string("\x01\x02garbage\x00\xff", 11), "noise.xyz: cannot read the model: "},
        {"broken.gltf", "{\"asset\": ", "broken.gltf: cannot read the model: "},
        {"points.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\nend_header\n"
         "0 0 0\n1 0 0\n0 1 0\n",
         "points.ply: nothing to export: the model holds only points or lines, no polygons"},
        {"lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n",
         "lines.obj: nothing to export: the model holds only points or lines, no polygons"},
        {"empty.gltf", R"({"asset": {"version": "2.0"}, "scenes": [{"nodes": [0]}], "nodes": [{"name": "Empty"}]})",
         "empty.gltf: nothing to export: the model holds no polygons, cameras or lights"},
    };
    for (const Bad& b : cases) {
        fs::path dir = ScratchDir(std::string("model-bad-") + b.file);
        WriteFile(dir / b.file, b.text);
        WriteFile(dir / "out.vek", "precious");
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", b.file, "out.vek"});
        EXPECT_EQ(run.status, 2) << b.file;
        EXPECT_EQ(run.stderrText.rfind(std::string("vekexport: ") + b.message, 0), 0u) << run.stderrText;
        EXPECT_EQ(run.vek, "precious") << b.file;
    }
}

TEST(ModelLoader, EmbeddedTexturesAreWrittenBesideTheOutput)
{
    // A glTF whose image is inside the file, as a data URI.
    const std::string png = "\x89PNG\r\n\x1a\nnot really an image";
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto base64 = [](const std::string& in) {
        std::string out;
        for (size_t i = 0; i < in.size(); i += 3) {
            uint32_t n = uint32_t(uint8_t(in[i])) << 16;
            if (i + 1 < in.size())
                n |= uint32_t(uint8_t(in[i + 1])) << 8;
            if (i + 2 < in.size())
                n |= uint8_t(in[i + 2]);
            out += b64[(n >> 18) & 63];
            out += b64[(n >> 12) & 63];
            out += i + 1 < in.size() ? b64[(n >> 6) & 63] : '=';
            out += i + 2 < in.size() ? b64[n & 63] : '=';
        }
        return out;
    };
    std::string gltf = ReadFile(VEK_SOURCE_DIR "/tests/golden/model-gltf-instances/scene.gltf");
    size_t materials = gltf.find("\"materials\"");
    ASSERT_NE(materials, std::string::npos);
    gltf.insert(materials, "\"images\": [{\"uri\": \"data:image/png;base64," + base64(png) +
                               "\"}], \"textures\": [{\"source\": 0}], ");
    size_t factor = gltf.find("\"baseColorFactor\"");
    gltf.insert(factor, "\"baseColorTexture\": {\"index\": 0}, ");

    fs::path dir = ScratchDir("model-embedded");
    WriteFile(dir / "scene.gltf", gltf);
    ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.gltf", "level.vek"});
    ASSERT_EQ(run.status, 0) << run.stderrText;
    ASSERT_TRUE(fs::exists(dir / "level_tex0.png"));
    EXPECT_EQ(ReadFile(dir / "level_tex0.png"), png);
    // Named by its file name, which the engine finds beside the Vek file: no path of this machine.
    EXPECT_NE(run.vek->find("texture level_tex0.png\r\n"), std::string::npos) << *run.vek;
}

// Textures are found as the model names them, from another machine too; those that
// cannot be found are written as named and told on standard error, in the summary and
// in the report.
TEST(ModelLoader, TexturesAreFoundAsTheirFormatMeansThemAndMissingOnesAreTold)
{
    fs::path dir = ScratchDir("model-textures");
    fs::create_directories(dir / "tex");
    fs::create_directories(dir / "models/maps");
    WriteFile(dir / "tex/wood.jpg", "jpeg");
    WriteFile(dir / "models/maps/stone.png", "png");
    WriteFile(dir / "models/m.mtl", "newmtl Wood\nmap_Kd D:\\proj\\assets\\Tex\\Wood.JPG\n"
                                    "newmtl Stone\nmap_Kd .\\Maps\\Stone.png\n"
                                    "newmtl Gone\nmap_Kd C:/nowhere/gone.tga\n");
    std::string obj = "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (const char* m : {"Wood", "Stone", "Gone"})
        obj += std::string("o ") + m + "\nusemtl " + m + "\nf 1 2 3\n";
    WriteFile(dir / "models/m.obj", obj);
    ExportRun run =
        RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "--report", "r.json", "models/m.obj", "out.vek"});
    ASSERT_EQ(run.status, 0) << run.stderrText;
    const fs::path here = fs::absolute(dir).lexically_normal();
    EXPECT_NE(run.vek->find(" texture " + (here / "tex/wood.jpg").string() + "\r\n"), std::string::npos) << *run.vek;
    EXPECT_NE(run.vek->find(" texture " + (here / "models/maps/stone.png").string() + "\r\n"), std::string::npos);
    EXPECT_NE(run.vek->find(" texture C:/nowhere/gone.tga\r\n"), std::string::npos);
    const std::string warning = "1 texture not found: material \"Gone\": C:/nowhere/gone.tga";
    EXPECT_NE(run.stderrText.find("models/m.obj: " + warning), std::string::npos) << run.stderrText;
    EXPECT_NE(run.stdoutText.find("  " + warning + "\n"), std::string::npos) << run.stdoutText;
    EXPECT_NE(ReadFile(dir / "r.json").find(R"("warnings": [
    "1 texture not found: material \"Gone\": C:/nowhere/gone.tga")"),
              std::string::npos)
        << ReadFile(dir / "r.json");

    // The checker, given the texture root, names the texture file that is not there.
    ExportRun check = RunVekexport(dir, {"--check", "out.vek", "--texture-root", "tex"});
    EXPECT_EQ(check.status, 0) << check.stderrText;
    EXPECT_NE(check.stderrText.find("out.vek:"), std::string::npos) << check.stderrText;
    EXPECT_NE(check.stderrText.find(": texture C:/nowhere/gone.tga: no such file under tex\n"), std::string::npos);
    EXPECT_NE(check.stderrText.find("out.vek: 1 texture not found\n"), std::string::npos) << check.stderrText;
}

// A hierarchy 100,000 levels deep, in each kind of file: refused in seconds by the
// depth limit, never a crash inside a reader.
TEST(ModelLoader, DeepHierarchiesOfEveryKindAreRefusedQuickly)
{
    const int depth = 100000;
    std::string json = R"({"format": "vek-scene/1", "nodes": [)", dae, ase = "*3DSMAX_ASCIIEXPORT 200\n";
    for (int i = 0; i < depth; i++) {
        json += R"({"children": [)";
        dae += "<node id=\"n" + std::to_string(i) + "\">";
        ase += "*HELPEROBJECT {\n*NODE_NAME \"n" + std::to_string(i + 1) + "\"\n" +
               (i ? "*NODE_PARENT \"n" + std::to_string(i) + "\"\n" : "") + "}\n";
    }
    for (int i = 0; i < depth; i++) {
        json += "]}";
        dae += "</node>";
    }
    json += "]}";
    dae = R"(<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">)"
          R"(<library_visual_scenes><visual_scene id="s">)" +
          dae + R"(</visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)";
    fs::path dir = ScratchDir("model-deep");
    WriteFile(dir / "deep.json", json);
    WriteFile(dir / "deep.dae", dae);
    WriteFile(dir / "deep.ase", ase);
    for (const char* file : {"deep.json", "deep.dae", "deep.ase"}) {
        auto start = std::chrono::steady_clock::now();
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", file, "out.vek"});
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(run.status, 2) << file;
        EXPECT_NE(run.stderrText.find("nodes nested deeper than 1000 levels"), std::string::npos) << file;
        EXPECT_LT(seconds, 20.0) << file;
    }
}

// ---- the corpus of models Debian ships with Assimp ----

const fs::path CorpusRoot = "/usr/share/assimp/models";

std::vector<std::string> CorpusFolders()
{
    std::vector<std::string> folders;
    std::error_code ec;
    if (!fs::is_directory(CorpusRoot, ec))
        return folders;
    for (const auto& entry : fs::directory_iterator(CorpusRoot, ec))
        if (entry.is_directory() && entry.path().filename() != "ReferenceImages" &&
            entry.path().filename() != "SourceFiles")
            folders.push_back(entry.path().filename().string());
    std::sort(folders.begin(), folders.end());
    return folders;
}

class ModelCorpus : public testing::TestWithParam<std::string> {};

// Every model Assimp reads exports with a file the checker finds clean; every model
// it cannot read is refused with exit status 2 and a message naming it.
TEST_P(ModelCorpus, EveryModelExportsCleanlyOrIsRefused)
{
    fs::path dir = ScratchDir("corpus-" + GetParam());
    int exported = 0, refused = 0;
    for (const auto& entry : fs::recursive_directory_iterator(CorpusRoot / GetParam())) {
        if (!entry.is_regular_file() || !IsModelFile(entry.path()))
            continue;
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", entry.path().string(), "out.vek"});
        if (run.status == 2) {
            refused++;
            EXPECT_NE(run.stderrText.find(entry.path().string()), std::string::npos) << run.stderrText;
            continue;
        }
        exported++;
        EXPECT_TRUE(run.status == 0 || run.status == 1) << entry.path() << " exit " << run.status << "\n"
                                                        << run.stderrText;
        CheckReport report = CheckVekFile((dir / "out.vek").string());
        EXPECT_TRUE(report.Clean()) << entry.path() << "\n" << FormatReport(report);
        fs::remove(dir / "out.vek");
    }
    RecordProperty("exported", exported);
    RecordProperty("refused", refused);
}

INSTANTIATE_TEST_SUITE_P(Assimp, ModelCorpus, testing::ValuesIn(CorpusFolders()),
                         [](const testing::TestParamInfo<std::string>& param) { return ParamName(param.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ModelCorpus);

} // namespace
} // namespace vek::test
