// The "colorlight" and "camera" blocks, written by their writers against scenes
// loaded from JSON text, and a light whose block fails half-way inside a whole export.
#include "export/SceneExporter.h"
#include "export_run.h"
#include "plugin_test_util.h"
#include "scene/SceneModel.h"
#include "scene_test_util.h"
#include "writers/CameraWriter.h"
#include "writers/LightWriter.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace vek::test {
namespace {

const char* const IDENTITY_TRANSFORM = " 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000\n";

struct Written {
    std::string text;
    ErrorFlags flags = -1;
    bool opened = false;
};

struct Setup {
    TimeValue time = 0;
    int depth = 0;
    int decimals = 6;
    int indentation = 1;
};

// Configures a Writer as the node pass does and exports node into memory.
template <class Writer> Written Write(Scene& scene, INode* node, const Setup& setup = {}, bool withFile = true)
{
    LinkedModule();
    std::optional<MemoryFile> out;
    if (withFile)
        out.emplace();
    Written result;
    {
        Writer writer(out ? out->Get() : nullptr, &scene, setup.depth);
        writer.SetTime(setup.time);
        writer.SetDecimals(setup.decimals);
        writer.SetIndentation(setup.indentation);
        result.flags = writer.Export(node);
        result.opened = writer.OpenedBlock();
    }
    if (out)
        result.text = out->Text();
    return result;
}

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// ---- lights ----

// The parameter line of a light object (JSON body) on a node at the origin.
std::string LightLine(const std::string& light, const std::string& interface = "")
{
    auto scene = Load(SceneText(R"("lamp": {"type": "light", )" + light + "}", R"({"name": "L", "object": "lamp"})",
                                interface.empty() ? "" : R"("interface": {)" + interface + "}"));
    Written w = Write<LightWriter>(*scene, TopNode(*scene, 0));
    EXPECT_EQ(w.flags, 0) << light;
    std::vector<std::string> lines = Lines(w.text);
    return lines.size() == 3 ? lines[2] : "(" + std::to_string(lines.size()) + " lines)";
}

std::string LightWord(const std::string& light, size_t index)
{
    std::vector<std::string> words = Words(LightLine(light));
    return index < words.size() ? words[index] : "(missing)";
}

TEST(LightWriter, WhiteOmniWritesTheWholeBlock)
{
    auto scene = Load(SceneText(R"("lamp": {"type": "light"})", R"({"name": "Omni 01", "object": "lamp"})"));
    Written w = Write<LightWriter>(*scene, TopNode(*scene, 0));
    EXPECT_EQ(w.flags, 0);
    EXPECT_TRUE(w.opened);
    EXPECT_EQ(w.text, std::string("colorlight Omni_01 {\n") + IDENTITY_TRANSFORM +
                          " type 000000 ffffff ffffff 180.000000 100.000000 0.000000\n");
}

TEST(LightWriter, ParameterLineIsOneLevelBelowTheNode)
{
    auto scene = Load(SceneText(R"("lamp": {"type": "light"})", R"({"name": "L", "object": "lamp"})"));
    Written w = Write<LightWriter>(*scene, TopNode(*scene, 0), {0, 2, 2, 3});
    EXPECT_EQ(w.text, "      colorlight L {\n"
                      "         0.00 0.00 0.00 0.00 0.00 65535.00 100.00\n"
                      "         type 000000 ffffff ffffff 180.00 100.00 0.00\n");
}

TEST(LightWriter, AmbientComesFirstThenTheLightColourTwice)
{
    EXPECT_EQ(LightLine(R"("color": [1, 0.5, 0])", R"("ambient": [0.2, 0.2, 0.2])"),
              " type 333333 ff8000 ff8000 180.000000 100.000000 0.000000");
}

TEST(LightWriter, ConeIsAHalfTurnForOmniAndTheFalloffForSpots)
{
    EXPECT_EQ(LightWord(R"("kind": "omni", "falloffDeg": 30)", 4), "180.000000");
    EXPECT_EQ(LightWord(R"("kind": "targetSpot", "falloffDeg": 45)", 4), "45.000000");
    EXPECT_EQ(LightWord(R"("kind": "freeSpot", "falloffDeg": 22.5)", 4), "22.500000");
}

TEST(LightWriter, IntensityIsCappedAtOneThenWrittenInPercent)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0.5", "50.000000"},
        {"1", "100.000000"},
        {"2", "100.000000"},
        {"0", "0.000000"},
        // No lower bound: the 11-character text is cut to 10.
        {"-1", "-100.00000"},
    };
    for (const auto& [multiplier, written] : cases)
        EXPECT_EQ(LightWord(std::string(R"("intensity": )") + multiplier, 5), written) << multiplier;
}

TEST(LightWriter, QuadraticCoefficientOnlyForInverseSquareWithAttenuation)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"("decay": "inverseSquare", "useAtten": true, "attenEnd": 10)", "0.990000"},
        {R"("decay": "inverseSquare", "useAtten": true, "attenEnd": 3)", "11.000000"},
        {R"("decay": "inverseSquare", "useAtten": false, "attenEnd": 10)", "0.000000"},
        {R"("decay": "inverse", "useAtten": true, "attenEnd": 10)", "0.000000"},
        {R"("decay": "none", "useAtten": true, "attenEnd": 10)", "0.000000"},
        // An end of 0 counts as 1 rather than dividing by zero.
        {R"("decay": "inverseSquare", "useAtten": true, "attenEnd": 0)", "99.000000"},
    };
    for (const auto& [light, written] : cases)
        EXPECT_EQ(LightWord(light, 6), written) << light;
}

TEST(LightWriter, ParametersAreThoseOfTimeZeroAndTheTransformThatOfTheWriterTime)
{
    auto scene = Load(SceneText(
        R"("spot": {"type": "light", "kind": "freeSpot",
             "color": {"keys": [{"t": 0, "value": [1, 0, 0]}, {"t": 1600, "value": [0, 0, 1]}]},
             "falloffDeg": {"keys": [{"t": 0, "value": 40}, {"t": 1600, "value": 80}]},
             "intensity": {"keys": [{"t": 0, "value": 0.5}, {"t": 1600, "value": 0.25}]},
             "attenEnd": {"keys": [{"t": 0, "value": 10}, {"t": 1600, "value": 100}]},
             "useAtten": true, "decay": "inverseSquare"})",
        R"({"name": "S", "object": "spot", "position": {"class": "linear",
             "keys": [{"t": 0, "value": [0, 0, 0]}, {"t": 1600, "value": [10, 20, 30]}]}})",
        R"("interface": {"ambient": {"keys": [{"t": 0, "value": [0, 0, 0]}, {"t": 1600, "value": [1, 1, 1]}]}})"));
    Written w = Write<LightWriter>(*scene, TopNode(*scene, 0), {1600});
    EXPECT_EQ(w.text, "colorlight S {\n"
                      " 10.000000 30.000000 20.000000 0.000000 0.000000 65535.0000 100.000000\n"
                      " type 000000 ff0000 ff0000 40.000000 50.000000 0.990000\n");
}

TEST(LightWriter, DirectionalKindsFailAfterTheOpeningLinesLeavingTheBlockOpen)
{
    for (const char* kind : {"directional", "targetDirectional"}) {
        auto scene = Load(SceneText(std::string(R"("sun": {"type": "light", "kind": ")") + kind + R"("})",
                                    R"({"name": "Sun", "object": "sun"})"));
        Written w = Write<LightWriter>(*scene, TopNode(*scene, 0));
        EXPECT_EQ(w.flags, ERROR_LIGHT) << kind;
        EXPECT_TRUE(w.opened) << kind;
        EXPECT_EQ(w.text, std::string("colorlight Sun {\n") + IDENTITY_TRANSFORM) << kind;
    }
}

TEST(LightWriter, WritesNothingWithoutStreamOrLight)
{
    auto scene =
        Load(SceneText(R"("lamp": {"type": "light"}, "root": {"type": "dummy"})",
                       R"({"name": "L", "object": "lamp"}, {"name": "Empty"}, {"name": "D", "object": "root"})"));
    Written noFile = Write<LightWriter>(*scene, TopNode(*scene, 0), {}, false);
    EXPECT_EQ(noFile.flags, ERROR_LIGHT);
    EXPECT_FALSE(noFile.opened);
    for (int node : {1, 2}) {
        Written w = Write<LightWriter>(*scene, TopNode(*scene, node));
        EXPECT_EQ(w.flags, ERROR_LIGHT) << node;
        EXPECT_FALSE(w.opened) << node;
        EXPECT_EQ(w.text, "") << node;
    }
}

// ---- cameras ----

Written WriteCamera(const std::string& camera, const std::string& interface = "", const Setup& setup = {})
{
    auto scene = Load(SceneText(R"("cam": {"type": "camera", )" + camera + "}", R"({"name": "Cam", "object": "cam"})",
                                interface.empty() ? "" : R"("interface": {)" + interface + "}"));
    return Write<CameraWriter>(*scene, TopNode(*scene, 0), setup);
}

// The projection and range lines of a camera.
std::string CameraLines(const std::string& camera, const std::string& interface = "")
{
    std::vector<std::string> lines = Lines(WriteCamera(camera, interface).text);
    return lines.size() == 4 ? lines[2] + "\n" + lines[3] : "(" + std::to_string(lines.size()) + " lines)";
}

TEST(CameraWriter, FortyFiveDegreesAt640By480WritesTheWholeBlock)
{
    Written w = WriteCamera(R"("fov": 0.7853982)", R"("renderWidth": 640, "renderHeight": 480)");
    EXPECT_EQ(w.flags, 0);
    EXPECT_TRUE(w.opened);
    // 1000 with six decimals has eleven characters and is cut to ten.
    EXPECT_EQ(w.text, std::string("camera Cam {\n") + IDENTITY_TRANSFORM +
                          " 23342.9375 23342.9375 320 240\n"
                          " 0.000000 1000.00000 1000.00000\n");
}

TEST(CameraWriter, FocalUsesTheFieldOfViewThroughTheDegreeConversion)
{
    // 400 / tan(0.5 * pi / 180): the field of view is neither halved nor taken as radians.
    EXPECT_EQ(Words(CameraLines(R"("fov": 0.5)", R"("renderWidth": 800)"))[0], "45835.4531");
    EXPECT_EQ(Words(CameraLines(R"("fov": 0.5)", R"("renderWidth": 800, "renderHeight": 600)"))[3], "300");
}

TEST(CameraWriter, HalfRenderSizeIsTruncated)
{
    EXPECT_EQ(
        Words(CameraLines(R"("fov": 0.7853982)", R"("renderWidth": 641, "renderHeight": 481)")),
        (std::vector<std::string>{"23342.9375", "23342.9375", "320", "240", "0.000000", "1000.00000", "1000.00000"}));
    EXPECT_EQ(Words(CameraLines(R"("fov": 0.7853982)", R"("renderWidth": 1, "renderHeight": 1)"))[2], "0");
}

TEST(CameraWriter, RangeUsesTheClipDistancesOnlyWithManualClipping)
{
    const char* clip = R"("near": 5, "far": 300, "envFar": 120)";
    EXPECT_EQ(Lines(CameraLines(clip))[1], " 0.000000 1000.00000 1000.00000");
    EXPECT_EQ(Lines(CameraLines(std::string(clip) + R"(, "manualClip": true)"))[1], " 5.000000 300.000000 300.000000");
}

TEST(CameraWriter, FogIsTheEnvironmentRangeOnlyWhenAnAtmosphereIsRendered)
{
    const std::string camera = R"("manualClip": true, "near": 5, "far": 300, "envNear": 50, "envFar": 120)";
    EXPECT_EQ(Lines(CameraLines(camera, R"("atmosphereRendered": true, "atmosphereCount": 1)"))[1],
              " 5.000000 120.000000 300.000000");
    EXPECT_EQ(Lines(CameraLines(camera, R"("atmosphereRendered": true, "atmosphereCount": 0)"))[1],
              " 5.000000 300.000000 300.000000");
    EXPECT_EQ(Lines(CameraLines(camera, R"("atmosphereRendered": false, "atmosphereCount": 2)"))[1],
              " 5.000000 300.000000 300.000000");
}

TEST(CameraWriter, AnimatedCameraIsEvaluatedEntirelyAtTheWriterTime)
{
    auto scene = Load(SceneText(
        R"("cam": {"type": "camera", "manualClip": true,
             "fov": {"keys": [{"t": 0, "value": 0.2}, {"t": 1600, "value": 0.7853982}]},
             "near": {"keys": [{"t": 0, "value": 1}, {"t": 1600, "value": 2}]},
             "far": {"keys": [{"t": 0, "value": 100}, {"t": 1600, "value": 200}]},
             "envFar": {"keys": [{"t": 0, "value": 50}, {"t": 1600, "value": 150}]}})",
        R"({"name": "Cam", "object": "cam", "position": {"class": "linear",
             "keys": [{"t": 0, "value": [0, 0, 0]}, {"t": 1600, "value": [4, 5, 6]}]}})",
        R"("interface": {"atmosphereRendered": true, "atmosphereCount": 1})"));
    Written w = Write<CameraWriter>(*scene, TopNode(*scene, 0), {1600});
    EXPECT_EQ(w.text, "camera Cam {\n"
                      " 4.000000 6.000000 5.000000 0.000000 0.000000 65535.0000 100.000000\n"
                      " 23342.9375 23342.9375 320 240\n"
                      " 2.000000 150.000000 200.000000\n");
}

TEST(CameraWriter, FailsWithoutStreamOrCamera)
{
    auto scene =
        Load(SceneText(R"("cam": {"type": "camera"})", R"({"name": "Cam", "object": "cam"}, {"name": "Empty"})"));
    Written w = Write<CameraWriter>(*scene, TopNode(*scene, 0), {}, false);
    EXPECT_EQ(w.flags, ERROR_CAMERA);
    EXPECT_FALSE(w.opened);
    // A node without a camera still has its opening lines, and the block is left
    // for the node pass to close.
    Written empty = Write<CameraWriter>(*scene, TopNode(*scene, 1));
    EXPECT_EQ(empty.flags, ERROR_CAMERA);
    EXPECT_TRUE(empty.opened);
    EXPECT_EQ(empty.text, std::string("camera Empty {\n") + IDENTITY_TRANSFORM);
}

// ---- inside a whole export ----

// A node that holds an omni light at every time but 0, where it holds a
// directional one: the node pass accepts it, and its writer then fails after
// the opening lines.
class KindChangingNode : public SceneNode {
public:
    const ObjectState& EvalWorldState(TimeValue t, BOOL) override
    {
        state.obj = t == 0 ? &directional : &omni;
        return state;
    }
    SceneLight omni, directional;

private:
    ObjectState state;
};

TEST(LightExport, LightFailingAfterItsOpeningLinesIsStillClosedAroundItsChildren)
{
    LinkedModule();
    auto scene = Load(SceneText(R"("root": {"type": "dummy"})", R"({"name": "Child", "object": "root"})",
                                R"("interface": {"ticksPerFrame": 160})"));
    auto& root = static_cast<SceneNode&>(*scene->GetRootNode());
    SceneNode* child = root.children[0];
    KindChangingNode light;
    light.name = "Flip";
    light.directional.type = DIR_LIGHT;
    light.parent = &root;
    light.children = {child};
    child->parent = &light;
    root.children = {&light};
    scene->Activate();

    std::filesystem::path dir = ScratchDir("light-kind-changes");
    // Evaluated at frame 10, so that the node pass sees the omni light.
    WriteOptionsFile(dir, {{"exportLights", 1}, {"currentFrame", 0}, {"frameNumber", 10}});
    scene->SetPluginConfigDir(dir.string());
    std::string messages;
    SetMessageBoxHandler([&](HWND, const char* text, const char*, UINT) {
        messages += text;
        return IDOK;
    });
    SceneExporter exporter;
    ExpInterface ei;
    std::string out = (dir / "out.vek").string();
    int result = exporter.DoExport(out.c_str(), &ei, scene.get(), TRUE, 0);
    SetMessageBoxHandler(nullptr);
    root.children = {child};
    child->parent = &root;

    EXPECT_EQ(result, 1);
    std::string text = ReadFile(out);
    std::string lines;
    for (char c : text)
        if (c != '\r')
            lines += c;
    size_t body = lines.find("colorlight");
    ASSERT_NE(body, std::string::npos) << lines;
    EXPECT_EQ(lines.substr(body), std::string("colorlight Flip {\n") + IDENTITY_TRANSFORM +
                                      " shell Child {\n"
                                      "  0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000\n"
                                      " }\n"
                                      "}\n"
                                      "#ERROR_EXPORT_LIGHT\n");
}

// A field of view of 0, and a far attenuation end whose square is 0 in single
// precision, make infinite numbers: the file holds the largest finite value instead,
// and standard error names each node once.
TEST(NonFiniteNumbers, NeverReachTheFileAndNameTheirNode)
{
    ExportRun run = ExportScene("non-finite",
                                SceneText(R"("cam": {"type": "camera", "fov": 0},
                     "lamp": {"type": "light", "decay": "inverseSquare", "useAtten": true, "attenEnd": 1e-30})",
                                          R"({"name": "Cam", "object": "cam"}, {"name": "Lamp", "object": "lamp"})"),
                                {{"exportCameras", 1}, {"exportLights", 1}});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    ASSERT_TRUE(run.vek);
    EXPECT_EQ(run.vek->find("inf"), std::string::npos) << *run.vek;
    EXPECT_EQ(run.vek->find("nan"), std::string::npos) << *run.vek;
    EXPECT_NE(run.vek->find(" 340282346638528859811704183484516925440 340282346638528859811704183484516925440 320 "),
              std::string::npos)
        << *run.vek;
    EXPECT_NE(run.vek->find("100.000000 340282346638528859811704183484516925440\r\n"), std::string::npos) << *run.vek;
    for (const char* node : {"\"Cam\"", "\"Lamp\""}) {
        size_t first = run.stderrText.find(node);
        EXPECT_NE(first, std::string::npos) << node << " in\n" << run.stderrText;
        EXPECT_EQ(run.stderrText.find(node, first + 1), std::string::npos) << node << " twice in\n" << run.stderrText;
    }
}

} // namespace
} // namespace vek::test
