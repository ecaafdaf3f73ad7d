// The JSON scene loader: error reporting, the interface block, materials and
// texture maps, animated numbers and file loading.
#include "scene/MappedFile.h"
#include "scene/SceneBuilder.h"
#include "scene_test_util.h"

#include <cstdio>
#include <fstream>
#include <regex>

#include <unistd.h>

namespace vek::test {
namespace {

// ---- errors ----

struct BadScene {
    std::string text;
    std::string message; // the whole SceneError message
};

// Wraps `body` into a scene: "F" is the format line.
std::string Doc(const std::string& body)
{
    return R"({"format": "vek-scene/1")" + (body.empty() ? "" : ", " + body) + "}";
}

const std::string meshPrefix = R"("objects": {"m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[0,1,0]], )";

std::string ManyFaces()
{
    std::string faces;
    for (int i = 0; i < 9000; i++)
        faces += "[0, 1, 2], ";
    return faces;
}

const BadScene badScenes[] = {
    {R"({"format": "vek-scene/2"})", R"(t.json: format: unsupported format "vek-scene/2" (expected "vek-scene/1"))"},
    {R"({})", "t.json: format: required field missing"},
    {R"([1, 2])", "t.json: top level: expected an object, got array"},
    {R"({"format": "vek-scene/1", "nodez": []})", "t.json: nodez: unknown key"},
    {R"({"format": "vek-scene/1", "nodes": [{"name": "a", "children": [{"nmae": "b"}]}]})",
     "t.json: nodes[0].children[0].nmae: unknown key"},
    {R"({"format": "vek-scene/1", "nodes": [{"children": [{}, {}, {"object": "crate2"}]}]})",
     R"(t.json: nodes[0].children[2].object: unknown object "crate2")"},
    {R"({"format": "vek-scene/1", "nodes": [{"material": "nope"}]})",
     R"(t.json: nodes[0].material: unknown material "nope")"},
    {R"({"format": "vek-scene/1", "nodes": [{"name": 5}]})", "t.json: nodes[0].name: expected a string, got number"},
    {R"({"format": "vek-scene/1", "nodes": [{"wireColor": [0, 256, 0]}]})",
     "t.json: nodes[0].wireColor[1]: expected an integer from 0 to 255"},
    {R"({"format": "vek-scene/1", "nodes": [{"selected": 1.5}]})",
     "t.json: nodes[0].selected: expected an integer, got 1.5"},
    {R"({"format": "vek-scene/1", "nodes": [{"transform": {"position": [1, 2]}}]})",
     "t.json: nodes[0].transform.position: expected 3 numbers, got 2"},
    {R"({"format": "vek-scene/1", "nodes": [{"transform": {"matrix": [[1,0,0],[0,1,0],[0,0,1]]}}]})",
     "t.json: nodes[0].transform.matrix: expected 4 rows, got 3"},
    {R"({"format": "vek-scene/1", "nodes": [{"transform": {"rotation": {"axis": [0,0,0], "angle": 1}}}]})",
     "t.json: nodes[0].transform.rotation.axis: zero rotation axis"},
    {R"({"format": "vek-scene/1", "nodes": [{"transform": {"rotation": {"quat": [0,0,0,0]}}}]})",
     "t.json: nodes[0].transform.rotation.quat: zero quaternion"},
    {R"({"format": "vek-scene/1", "nodes": [{"transform": {"position": [1e39, 0, 0]}}]})",
     "t.json: nodes[0].transform.position[0]: number out of range"},
    {R"({"format": "vek-scene/1", "nodes": [{"position": {"class": "spline"}}]})",
     R"(t.json: nodes[0].position.class: unknown controller class "spline" (tcb, bezier, linear or other))"},
    {R"({"format": "vek-scene/1", "nodes": [{"position": {"class": "linear", "keys": [{"t": 10, "value": [0,0,0]}, {"t": 10, "value": [1,0,0]}]}}]})",
     "t.json: nodes[0].position.keys[1].t: key times must increase (10 after 10)"},
    {R"({"format": "vek-scene/1", "nodes": [{"rotation": {"class": "tcb", "keys": [{"t": 0}]}}]})",
     "t.json: nodes[0].rotation.keys[0].value: required field missing"},
    {R"({"format": "vek-scene/1", "interface": {"ticksPerFrame": 0}})",
     "t.json: interface.ticksPerFrame: expected an integer from 1 to 2147483647"},
    {R"({"format": "vek-scene/1", "interface": {"time": 3000000000}})",
     "t.json: interface.time: expected an integer from -2147483648 to 2147483647"},
    {R"({"format": "vek-scene/1", "interface": {"animRange": [100, 0]}})",
     "t.json: interface.animRange: start after end"},
    {R"({"format": "vek-scene/1", "interface": {"ambient": {"keys": []}}})",
     "t.json: interface.ambient.keys: needs at least one key"},
    {R"({"format": "vek-scene/1", "interface": {"ambient": {"keys": [{"t": 5, "value": [0,0,0]}, {"t": 1, "value": [1,1,1]}]}}})",
     "t.json: interface.ambient.keys[1].t: key times must increase (1 after 5)"},
    {R"({"format": "vek-scene/1", "texmaps": {"wood": {"class": "bitmap", "file": 3}}})",
     "t.json: texmaps.wood.file: expected a string, got number"},
    {R"({"format": "vek-scene/1", "texmaps": {"wood": {"class": "procedural"}}})",
     R"(t.json: texmaps.wood.class: unknown texture map class "procedural" (bitmap or other))"},
    {R"({"format": "vek-scene/1", "materials": {"m": {"diffuseMap": "wood"}}})",
     R"(t.json: materials.m.diffuseMap: unknown texture map "wood")"},
    {R"({"format": "vek-scene/1", "materials": {"crate": {"class": "multi", "sub": [null, "missing"]}}})",
     R"(t.json: materials.crate.sub[1]: unknown material "missing")"},
    {R"({"format": "vek-scene/1", "materials": {"a": {"class": "multi", "sub": ["b"]}, "b": {"class": "blend", "sub": [null, "a"]}}})",
     R"(t.json: materials.b.sub[1]: material "a" contains itself)"},
    {R"({"format": "vek-scene/1", "materials": {"a": {"mix": 0.3}}})",
     "t.json: materials.a.mix: only blend materials have a mix amount"},
    {R"({"format": "vek-scene/1", "materials": {"a": {"class": "blend", "sub": [null, null, null]}}})",
     "t.json: materials.a.sub: a blend material has two sub-material slots"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "teapot"}}})",
     R"(t.json: objects.o.type: unknown object type "teapot")"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"length": 3}}})", "t.json: objects.o.type: required field missing"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "box", "radius": 3}}})",
     "t.json: objects.o.radius: unknown key"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "plane", "lengthSegs": 0}}})",
     "t.json: objects.o.lengthSegs: expected an integer from 1 to 4000000"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "plane", "lengthSegs": 4000, "widthSegs": 4000}}})",
     "t.json: objects.o: a plane has at most 4000000 quads"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "light", "kind": "spot"}}})",
     R"(t.json: objects.o.kind: unknown light kind "spot" (omni, targetSpot, directional, freeSpot or targetDirectional))"},
    {R"({"format": "vek-scene/1", "objects": {"o": {"type": "camera", "fov": "wide"}}})",
     "t.json: objects.o.fov: expected a number or keys, got string"},
    {(Doc(meshPrefix + R"("faces": [[0, 1, 3]]}})")),
     "t.json: objects.m.faces[0][2]: vertex 3 out of range (3 vertices)"},
    // Past the first blocks the streaming pass hands to the builder.
    {Doc(meshPrefix + R"("faces": [)" + ManyFaces() + R"([0, 1, 9]]}})"),
     "t.json: objects.m.faces[9000][2]: vertex 9 out of range (3 vertices)"},
    {(Doc(meshPrefix + R"("faces": [{"v": [0, -1, 2]}]}})")).c_str(),
     "t.json: objects.m.faces[0].v[1]: expected an integer from 0 to 2147483647"},
    {(Doc(meshPrefix + R"("faces": [{"v": [0, 1, 2], "edges": 8}]}})")).c_str(),
     "t.json: objects.m.faces[0].edges: expected an integer from 0 to 7"},
    {(Doc(meshPrefix + R"("faces": [[0, 1, 2]], "tverts": [[0,0,0]], "tvfaces": []}})")).c_str(),
     "t.json: objects.m.tvfaces: 0 texture faces for 1 faces"},
    {(Doc(meshPrefix + R"("faces": [[0, 1, 2]], "tverts": [[0,0,0]], "tvfaces": [[0, 0, 1]]}})")).c_str(),
     "t.json: objects.m.tvfaces[0][2]: texture vertex 1 out of range (1 texture vertices)"},
    {(Doc(meshPrefix + R"("faces": [[0, 1, 2]], "map2": {"verts": [[0,0,0]], "faces": [[0,0,0],[0,0,0]]}}})")).c_str(),
     "t.json: objects.m.map2.faces: 2 map faces for 1 faces"},
    {(Doc(meshPrefix + R"("faces": [[0, 1, 2]], "map2": {"verts": [[0,0,0]]}}})")).c_str(),
     "t.json: objects.m.map2.faces: required field missing"},
};

TEST(SceneLoaderErrors, NameTheFileThePlaceAndTheProblem)
{
    for (const BadScene& c : badScenes)
        EXPECT_EQ(LoadError(c.text), c.message) << c.text;
}

TEST(SceneLoaderErrors, InvalidJsonIsPlacedByLineAndColumn)
{
    const BadScene cases[] = {
        {"{\"format\": \"vek-scene/1\",\n \"nodes\": [}", "t.json: line 2, column 12: invalid JSON: unexpected '}'"},
        {"{\"format\": \"vek-scene/1\",\n \"nodes\": [",
         "t.json: line 2, column 12: invalid JSON: unexpected end of file"},
        {"{\"format\": \"vek-scene/1\", \"nodes\": [tru]}", "t.json: line 1, column 40: invalid JSON: unexpected ']'"},
        {"{\"format\": \"vek-scene/1\",\n\n \"interface\": {\"time\": 1e400}}",
         "t.json: line 3, column 24: number out of range (1e400)"},
    };
    for (const BadScene& c : cases)
        EXPECT_EQ(LoadError(c.text), c.message) << c.text;
}

TEST(SceneLoaderErrors, LongPathsAreShortened)
{
    std::string deep;
    for (int i = 0; i < 20; i++)
        deep += R"({"children": [)";
    deep += R"({"object": "none"})";
    for (int i = 0; i < 20; i++)
        deep += "]}";
    EXPECT_EQ(LoadError(Doc(R"("nodes": [)" + deep + "]")),
              "t.json: nodes[0].children[0]…(18 more)…children[0].object: unknown object \"none\"");
}

TEST(SceneLoaderErrors, NodeNestingIsBounded)
{
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; i++)
            s += R"({"children": [)";
        for (int i = 0; i < depth; i++)
            s += "]}";
        return Doc(R"("nodes": [)" + s + "]");
    };
    auto deep = Load(nested(kMaxNodeDepth));
    INode* n = deep->GetRootNode();
    int levels = 0;
    while (n->NumberOfChildren() > 0) {
        n = n->GetChildNode(0);
        levels++;
    }
    EXPECT_EQ(levels, kMaxNodeDepth);
    EXPECT_NE(LoadError(nested(kMaxNodeDepth + 1)).find("nodes nested deeper than 1000 levels"), std::string::npos);
    // Deep JSON that is not made of nodes is merely the wrong type, never a crash.
    std::string arrays(200000, '[');
    EXPECT_NE(LoadError(Doc(R"("nodes": )" + arrays)).find("invalid JSON"), std::string::npos);
    EXPECT_EQ(LoadError(Doc(R"("nodes": [)" + arrays + std::string(200001, ']'))),
              "t.json: nodes[0]: expected an object, got array");
}

TEST(SceneLoaderErrors, IntegersMayBeWrittenAsWholeFloats)
{
    auto s = Load(Doc(R"("interface": {"ticksPerFrame": 80.0, "renderWidth": 1e3})"));
    EXPECT_EQ(s->TicksPerFrame(), 80);
    EXPECT_EQ(s->GetRendWidth(), 1000);
}

// ---- interface ----

TEST(SceneInterface, DefaultsAndValues)
{
    auto d = Load(Doc(""));
    EXPECT_EQ(d->TicksPerFrame(), 160);
    EXPECT_EQ(d->GetTime(), 0);
    EXPECT_EQ(d->GetAnimRange().Start(), 0);
    EXPECT_EQ(d->GetAnimRange().End(), 16000);
    EXPECT_EQ(d->GetRendWidth(), 640);
    EXPECT_EQ(d->GetRendHeight(), 480);
    EXPECT_FALSE(d->GetRendAtmosphere());
    EXPECT_EQ(d->NumAtmospheric(), 0);
    Interval valid = FOREVER;
    ExpectNear(d->GetAmbient(0, valid), Point3(0, 0, 0));
    EXPECT_EQ(valid.Start(), TIME_NegInfinity);

    auto s = Load(Doc(R"("interface": {"ticksPerFrame": 200, "time": 400, "animRange": [-100, 900],
        "renderWidth": 320, "renderHeight": 200, "atmosphereRendered": true, "atmosphereCount": 2})"));
    EXPECT_EQ(s->GetTime(), 400);
    EXPECT_EQ(s->GetAnimRange().Start(), -100);
    EXPECT_EQ(s->GetAnimRange().End(), 900);
    EXPECT_EQ(s->GetRendWidth(), 320);
    EXPECT_EQ(s->GetRendHeight(), 200);
    EXPECT_TRUE(s->GetRendAtmosphere());
    EXPECT_EQ(s->NumAtmospheric(), 2);

    s->Activate();
    EXPECT_EQ(GetTicksPerFrame(), 200);
    d->Activate();
    EXPECT_EQ(GetTicksPerFrame(), 160);

    EXPECT_EQ(s->GetMAXHWnd(), GetApplicationWindow());
    s->SetPluginConfigDir("/tmp/plugcfg");
    EXPECT_STREQ(s->GetDir(APP_PLUGCFG_DIR), "/tmp/plugcfg");
}

TEST(SceneInterface, RootNode)
{
    auto s = Load(Doc(R"("nodes": [{"name": "a"}, {"name": "b"}])"));
    INode* root = s->GetRootNode();
    EXPECT_TRUE(root->IsRootNode());
    EXPECT_EQ(root->Selected(), 0);
    EXPECT_EQ(root->EvalWorldState(0).obj, nullptr);
    EXPECT_EQ(root->GetObjectRef(), nullptr);
    EXPECT_EQ(root->GetParentNode(), nullptr);
    EXPECT_TRUE(root->GetNodeTM(0) == Matrix3());
    ASSERT_EQ(root->NumberOfChildren(), 2);
    EXPECT_STREQ(root->GetChildNode(1)->GetName(), "b");
    EXPECT_EQ(root->GetChildNode(0)->GetParentNode(), root);
    EXPECT_FALSE(root->GetChildNode(0)->IsRootNode());
    EXPECT_EQ(root->GetChildNode(2), nullptr);
    EXPECT_EQ(root->GetChildNode(-1), nullptr);
}

// ---- animated numbers ----

TEST(SceneAnimatedNumbers, InterpolateLinearlyAndHoldOutsideTheKeys)
{
    auto s = Load(SceneText(
        R"("l": {"type": "light", "intensity": {"keys": [{"t": 100, "value": 1}, {"t": 200, "value": 3}, {"t": 400, "value": 2}]}})",
        R"({"object": "l"})",
        R"("interface": {"ambient": {"keys": [{"t": 0, "value": [0, 0, 0]}, {"t": 10, "value": [1, 0.5, 0]}]}})"));
    auto* light = static_cast<GenLight*>(TopNode(*s, 0)->GetObjectRef());
    Interval valid = FOREVER;
    EXPECT_FLOAT_EQ(light->GetIntensity(150, valid), 2.0f);
    // An animated value is only known to hold at the instant asked for.
    EXPECT_EQ(valid.Start(), 150);
    EXPECT_EQ(valid.End(), 150);
    EXPECT_FLOAT_EQ(light->GetIntensity(0, valid), 1.0f);
    EXPECT_FLOAT_EQ(light->GetIntensity(300, valid), 2.5f);
    EXPECT_FLOAT_EQ(light->GetIntensity(400, valid), 2.0f);
    EXPECT_FLOAT_EQ(light->GetIntensity(5000, valid), 2.0f);

    ExpectNear(s->GetAmbient(5, valid), Point3(0.5f, 0.25f, 0.0f));
    ExpectNear(s->GetAmbient(-5, valid), Point3(0, 0, 0));
    ExpectNear(s->GetAmbient(50, valid), Point3(1.0f, 0.5f, 0.0f));
}

TEST(SceneAnimatedNumbers, KeyTimesAtTheEndsOfTheTickRangeDoNotOverflow)
{
    auto s = Load(Doc(
        R"("interface": {"ambient": {"keys": [{"t": -2147483648, "value": [0, 0, 0]}, {"t": 2147483647, "value": [1, 1, 1]}]}})"));
    Interval valid = FOREVER;
    ExpectNear(s->GetAmbient(0, valid), Point3(0.5f, 0.5f, 0.5f), 1e-3f);
}

// ---- texture maps and materials ----

TEST(SceneMaterials, ClassesSlotsAndDefaults)
{
    auto s = Load(Doc(R"(
        "texmaps": {"wood": {"class": "bitmap", "file": "D:\\maps\\wood.bmp"}, "noname": {"class": "bitmap"},
                    "noise": {"class": "other"}},
        "materials": {
            "std": {"diffuseMap": "wood"},
            "glass": {"name": "Glass", "diffuse": [0.1, 0.2, 0.3], "transparency": 0.75, "twoSided": true},
            "multi": {"class": "multi", "sub": ["std", null, "glass"]},
            "blend": {"class": "blend", "sub": ["std"], "mix": {"keys": [{"t": 0, "value": 0}, {"t": 100, "value": 1}]}},
            "blendNoMix": {"class": "blend", "mix": null},
            "odd": {"class": "other", "sub": ["multi"], "diffuseMap": "noise"}},
        "nodes": [{"material": "std"}, {"material": "glass"}, {"material": "multi"}, {"material": "blend"},
                  {"material": "blendNoMix"}, {"material": "odd"}, {}])"));
    Mtl* std = TopNode(*s, 0)->GetMtl();
    Mtl* glass = TopNode(*s, 1)->GetMtl();
    Mtl* multi = TopNode(*s, 2)->GetMtl();
    Mtl* blend = TopNode(*s, 3)->GetMtl();
    Mtl* blendNoMix = TopNode(*s, 4)->GetMtl();
    Mtl* odd = TopNode(*s, 5)->GetMtl();
    EXPECT_EQ(TopNode(*s, 6)->GetMtl(), nullptr);

    EXPECT_EQ(std->ClassID(), Class_ID(DMTL_CLASS_ID, 0));
    EXPECT_EQ(std->SuperClassID(), SClass_ID(MATERIAL_CLASS_ID));
    EXPECT_STREQ(std->GetName(), "std");
    EXPECT_EQ(std->GetDiffuse(), Color(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(std->GetXParency(), 0.0f);
    EXPECT_FALSE(static_cast<StdMat*>(std)->GetTwoSided());
    ASSERT_GT(std->NumSubTexmaps(), ID_DI);
    Texmap* wood = std->GetSubTexmap(ID_DI);
    ASSERT_NE(wood, nullptr);
    EXPECT_EQ(wood->ClassID(), Class_ID(BMTEX_CLASS_ID, 0));
    EXPECT_EQ(wood->SuperClassID(), SClass_ID(TEXMAP_CLASS_ID));
    EXPECT_STREQ(static_cast<BitmapTex*>(wood)->GetMapName(), "D:\\maps\\wood.bmp");
    EXPECT_EQ(std->GetSubTexmap(0), nullptr);

    EXPECT_STREQ(glass->GetName(), "Glass");
    EXPECT_EQ(glass->GetDiffuse(), Color(0.1f, 0.2f, 0.3f));
    EXPECT_FLOAT_EQ(glass->GetXParency(), 0.75f);
    EXPECT_TRUE(static_cast<StdMat*>(glass)->GetTwoSided());
    EXPECT_EQ(glass->GetSubTexmap(ID_DI), nullptr);

    EXPECT_EQ(multi->ClassID(), Class_ID(MULTI_CLASS_ID, 0));
    ASSERT_EQ(multi->NumSubMtls(), 3);
    EXPECT_EQ(multi->GetSubMtl(0), std);
    EXPECT_EQ(multi->GetSubMtl(1), nullptr);
    EXPECT_EQ(multi->GetSubMtl(2), glass);
    EXPECT_EQ(multi->GetSubMtl(3), nullptr);

    EXPECT_EQ(blend->ClassID(), Class_ID(MIXMAT_CLASS_ID, 0));
    ASSERT_EQ(blend->NumSubMtls(), 2);
    EXPECT_EQ(blend->GetSubMtl(0), std);
    EXPECT_EQ(blend->GetSubMtl(1), nullptr);
    ASSERT_EQ(blend->NumParamBlocks(), 1);
    float mix = -1;
    Interval valid = FOREVER;
    EXPECT_TRUE(blend->GetParamBlock(0)->GetValue(0, 25, mix, valid));
    EXPECT_FLOAT_EQ(mix, 0.25f);
    EXPECT_EQ(blendNoMix->NumParamBlocks(), 0);
    EXPECT_EQ(blendNoMix->GetParamBlock(0), nullptr);
    EXPECT_EQ(blendNoMix->NumSubMtls(), 2);

    EXPECT_NE(odd->ClassID(), Class_ID(DMTL_CLASS_ID, 0));
    EXPECT_NE(odd->ClassID(), Class_ID(MULTI_CLASS_ID, 0));
    EXPECT_NE(odd->ClassID(), Class_ID(MIXMAT_CLASS_ID, 0));
    EXPECT_EQ(odd->GetSubMtl(0), multi);
    Texmap* noise = odd->GetSubTexmap(ID_DI);
    ASSERT_NE(noise, nullptr);
    EXPECT_NE(noise->ClassID(), Class_ID(BMTEX_CLASS_ID, 0));
    EXPECT_STREQ(noise->GetName(), "noise");
}

TEST(SceneMaterials, BlendMixDefaultsToHalf)
{
    auto s = Load(Doc(R"("materials": {"b": {"class": "blend"}}, "nodes": [{"material": "b"}])"));
    float mix = 0;
    Interval valid = FOREVER;
    ASSERT_NE(TopNode(*s, 0)->GetMtl()->GetParamBlock(0), nullptr);
    TopNode(*s, 0)->GetMtl()->GetParamBlock(0)->GetValue(0, 0, mix, valid);
    EXPECT_FLOAT_EQ(mix, 0.5f);
}

TEST(SceneMaterials, SelfReferenceIsRejected)
{
    EXPECT_EQ(LoadError(Doc(R"("materials": {"m": {"class": "multi", "sub": ["m"]}})")),
              R"(t.json: materials.m.sub[0]: material "m" contains itself)");
    // Sharing a sub-material is not a cycle.
    EXPECT_EQ(
        LoadError(Doc(
            R"("materials": {"a": {"class": "multi", "sub": ["c", "c"]}, "b": {"class": "multi", "sub": ["a", "c"]}, "c": {}})")),
        "");
}

TEST(SceneMaterials, BitmapWithoutFileHasNoName)
{
    auto s = Load(Doc(
        R"("texmaps": {"t": {"class": "bitmap"}}, "materials": {"m": {"diffuseMap": "t"}}, "nodes": [{"material": "m"}])"));
    auto* map = static_cast<BitmapTex*>(TopNode(*s, 0)->GetMtl()->GetSubTexmap(ID_DI));
    EXPECT_EQ(map->GetMapName(), nullptr);
}

// ---- files ----

TEST(SceneFiles, MissingFileIsAnError)
{
    try {
        LoadSceneFile("/nonexistent/dir/x.scene.json");
        FAIL() << "loaded a missing file";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/dir/x.scene.json: cannot read: ", 0), 0u) << e.what();
    }
}

TEST(SceneFiles, ErrorsNameTheFileAsGiven)
{
    std::string path = ::testing::TempDir() + "scene_loader_test_bad.json";
    {
        std::ofstream out(path);
        out << R"({"format": "vek-scene/1", "nodes": [{"object": "x"}]})";
    }
    try {
        LoadSceneFile(path);
        FAIL() << "loaded a bad scene";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), path + R"(: nodes[0].object: unknown object "x")");
    }
    std::remove(path.c_str());
}

// The parser reads a little past the end of the file: files ending at or just before a
// page's end load like any other.
TEST(SceneFiles, FilesEndingNearAPageEndLoad)
{
    const std::string path = ::testing::TempDir() + "scene_loader_test_page.json";
    const std::string text = Doc(R"("nodes": [{"name": "n"}])");
    for (size_t size : {size_t(4096), size_t(4096 - 7), size_t(8192 - 1)}) {
        std::ofstream(path, std::ios::binary) << text << std::string(size - text.size(), ' ');
        EXPECT_STREQ(TopNode(*LoadSceneFile(path), 0)->GetName(), "n") << size;
    }
    std::remove(path.c_str());
}

// The streaming pass gives back the pages of a mapped file it has read; when a fault
// late in the file sends it to the strict reader, that reader still sees the whole file.
TEST(SceneFiles, AFaultPastReleasedPagesIsNamed)
{
    const std::string path = ::testing::TempDir() + "scene_loader_test_late.json";
    std::string faces;
    for (int i = 0; i < 40000; i++)
        faces += R"({"v": [0, 1, 2], "edges": 3}, )";
    const std::string mesh = R"("objects": {"m": {"type": "mesh", "verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [)";
    for (const char* last : {"[0, 1, 2]", "[0, 1, 9]"}) {
        std::ofstream(path, std::ios::binary) << Doc(mesh + faces + last + "]}}, " + R"("nodes": [{"object": "m"}])");
        try {
            EXPECT_EQ(TopNode(*LoadSceneFile(path), 0)->EvalWorldState(0).obj != nullptr, true);
            EXPECT_STREQ(last, "[0, 1, 2]");
        } catch (const SceneError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": objects.m.faces[40000][2]: vertex 9 out of range (3 vertices)");
        }
    }
    std::remove(path.c_str());
}

// A mapped scene file that another program cuts short while it is read ends the
// process with a message naming it, not with a crash.
TEST(SceneFilesDeathTest, AFileCutShortWhileReadIsNamed)
{
    const std::string path = ::testing::TempDir() + "scene_loader_test_cut.json";
    std::ofstream(path, std::ios::binary) << std::string(size_t(3) * 4096, ' ');
    EXPECT_EXIT(
        {
            MappedFile mapped(path);
            if (!mapped || truncate(path.c_str(), 0) != 0)
                std::_Exit(0);
            std::_Exit(mapped.View().data()[size_t(2) * 4096] == ' ' ? 0 : 1);
        },
        ::testing::ExitedWithCode(2), "scene_loader_test_cut.json: the file was cut short while it was read");
    std::remove(path.c_str());
}

TEST(SceneFiles, ExampleSceneLoads)
{
    auto s = LoadSceneFile(VEK_SOURCE_DIR "/examples/crate.scene.json");
    INode* root = s->GetRootNode();
    ASSERT_EQ(root->NumberOfChildren(), 3);
    INode* helper = root->GetChildNode(0);
    EXPECT_STREQ(helper->GetName(), "Root Helper");
    EXPECT_EQ(helper->GetObjectRef()->ClassID(), Class_ID(DUMMY_CLASS_ID, 0));
    ASSERT_EQ(helper->NumberOfChildren(), 5);
    EXPECT_EQ(helper->GetChildNode(0)->GetObjectRef(), helper->GetChildNode(1)->GetObjectRef());
    EXPECT_EQ(helper->GetChildNode(3)->GetObjectRef()->SuperClassID(), SClass_ID(CAMERA_CLASS_ID));
    EXPECT_EQ(helper->GetChildNode(4)->GetObjectRef()->ClassID(), Class_ID(TARGET_CLASS_ID, 0));
    EXPECT_EQ(root->GetChildNode(1)->GetObjectRef()->SuperClassID(), SClass_ID(LIGHT_CLASS_ID));
    EXPECT_EQ(root->GetChildNode(2)->GetObjectRef()->ClassID(), Class_ID(BONE_CLASS_ID, 0));
}

// Meshes are streamed when the file has the usual layout; any other layout the format
// allows is read by the strict reader to the same scene.
TEST(SceneLoader, EveryLayoutGivesTheSameMesh)
{
    const std::string mesh = R"({"type": "mesh", "verts": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]],
        "faces": [{"v": [0,1,2], "edges": 3, "mtl": 2}, {"mtl": 1, "v": [2,3,0], "edges": 3, "smooth": 4}],
        "tverts": [[0,0,0],[1,1,0]], "tvfaces": [[0,1,1],[1,0,0]]})";
    const std::string node = R"("nodes": [{"name": "Quad", "object": "q"}])";
    const std::string layouts[] = {
        Doc(R"("objects": {"q": )" + mesh + "}, " + node),
        Doc(node + R"(, "objects": {"q": )" + mesh + "}"),
        Doc(R"("objects": {"q": )" +
            std::regex_replace(mesh, std::regex(R"("type": "mesh", ([\s\S]*)\})"), R"($1, "type": "mesh"})") + "}, " +
            node),
        Doc(R"("objects": {"q": )" + std::regex_replace(mesh, std::regex(R"("edges": 3)"), R"("edges": 3.0)") + "}, " +
            node),
    };
    for (const std::string& text : layouts) {
        auto s = Load(text);
        const Mesh& m = static_cast<TriObject*>(TopNode(*s, 0)->GetObjectRef())->GetMesh();
        ASSERT_EQ(m.getNumFaces(), 2) << text;
        EXPECT_EQ(m.faces[0].flags, 3u | (2u << 16)) << text;
        EXPECT_EQ(m.faces[1].flags, 3u | (1u << 16)) << text;
        EXPECT_EQ(m.faces[1].smGroup, 4u) << text;
        EXPECT_EQ(m.tvFace[1].t[0], 1u) << text;
        EXPECT_EQ(m.getNumVerts(), 4) << text;
    }
}

} // namespace
} // namespace vek::test
