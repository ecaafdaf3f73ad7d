// One export from the host's call to the result message: the options file, the
// string table, the steps of DoExport and their failures, and the command-line
// host's exit statuses.
#include "export/SceneExporter.h"
#include "export_run.h"
#include "plugin_test_util.h"
#include "resources/resource.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

struct Box {
    std::string caption, text;
    bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Box& b) { return os << b.caption << ": " << b.text; }

const Box CannotLoad{"Attention", "Impossible de charger les param\xc3\xa8tres sauvegard\xc3\xa9s"};
const Box CannotCreateConfig{"Erreur", "Cr\xc3\xa9"
                                       "ation du fichier de configuration impossible"};
const Box CannotCreate{"Erreur", "Cr\xc3\xa9"
                                 "ation du fichier impossible"};
const Box Success{"Message", "Conversion r\xc3\xa9ussit"};
const Box Partial{"Warning", "Certain param\xc3\xa8tres n'ont pas pu \xc3\xaatre export\xc3\xa9s"};

// The plug-in linked into the test, with its resources, a scene from JSON text, and
// the message boxes and dialogs of the export collected.
class Spine : public testing::Test {
protected:
    void SetUp() override
    {
        LinkedModule();
        dir = ScratchDir(testing::UnitTest::GetInstance()->current_test_info()->name());
        SetMessageBoxHandler([this](HWND, const char* text, const char* caption, UINT) {
            boxes.push_back({caption, text});
            return IDOK;
        });
        SetDialogFrontEnd([this](DialogSession& session) {
            dialogs++;
            session.Click(cancelDialog ? IDC_CANCEL : IDC_OK);
        });
    }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        SetDialogFrontEnd(nullptr);
    }

    // Loads the scene with its plug-in configuration directory in the scratch folder.
    void UseScene(const std::string& json, const std::string& configDir = "cfg")
    {
        scene = Load(json);
        scene->SetPluginConfigDir((dir / configDir).string());
        scene->Activate();
        fs::create_directories(dir / "cfg");
    }
    int Export(const fs::path& out, BOOL suppressPrompts = TRUE, DWORD options = 0)
    {
        ExpInterface ei;
        return exporter.DoExport(out.string().c_str(), &ei, scene.get(), suppressPrompts, options);
    }
    fs::path Config() const { return dir / "cfg" / OPTIONS_FILE_NAME; }
    void WriteConfig(const std::string& bytes) { WriteFile(Config(), bytes); }

    fs::path dir;
    std::unique_ptr<Scene> scene;
    SceneExporter exporter;
    std::vector<Box> boxes;
    int dialogs = 0;
    bool cancelDialog = false;
};

const std::string DummyScene =
    R"({"format": "vek-scene/1", "objects": {"d": {"type": "dummy"}}, "nodes": [{"name": "Level Root", "object": "d"}]})";

std::string Word(int32_t v)
{
    std::string s;
    for (int b = 0; b < 4; b++)
        s += char((uint32_t(v) >> (8 * b)) & 0xff);
    return s;
}

std::string Words(std::initializer_list<int32_t> values)
{
    std::string s;
    for (int32_t v : values)
        s += Word(v);
    return s;
}

// ---- the configuration file ----

TEST_F(Spine, FirstUseCreatesTheDefaultsAndExportsWithThem)
{
    UseScene(DummyScene);
    ASSERT_FALSE(fs::exists(Config()));
    EXPECT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_EQ(ReadFile(Config()), Words({0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 6, 1, 1}));
    EXPECT_EQ(boxes, std::vector<Box>{Success});
}

TEST_F(Spine, ShortFileKeepsTheDefaultsFromTheFirstIncompleteField)
{
    UseScene(DummyScene);
    WriteConfig(Words({7, 0}) + "\x01\x02"); // ten bytes
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    const ExportOptions& o = exporter.Options();
    EXPECT_EQ(o.legacyFormat, 7);
    EXPECT_EQ(o.exportDummies, 0);
    for (int k = 2; k < ExportOptions::Count; k++)
        EXPECT_EQ(o[k], DefaultExportOptions[k]) << ExportOptionTable[k].name;
}

TEST(OptionsFile, EachFieldHasItsOwnValueInTheOrderOfTheMembers)
{
    ExportOptions o{};
    for (int k = 0; k < ExportOptions::Count; k++)
        o[k] = 100 + k;
    EXPECT_EQ(EncodeOptionsFile(o),
              Words({100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117}));
    EXPECT_EQ(o.legacyFormat, 100);
    EXPECT_EQ(o.lighting, 113);
    EXPECT_EQ(o.mergePrecision, 117);
    ExportOptions back{};
    EXPECT_EQ(DecodeOptionsFile(EncodeOptionsFile(o) + "xyz", back), ExportOptions::Count);
    for (int k = 0; k < ExportOptions::Count; k++)
        EXPECT_EQ(back[k], o[k]) << ExportOptionTable[k].name;
}

TEST_F(Spine, LongFileReadsItsFirst72BytesAndTheSaveTruncatesIt)
{
    UseScene(DummyScene);
    std::string bytes = Words({0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5, 3, 2, 1});
    WriteConfig(bytes + std::string(28, '\x7f'));
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_EQ(exporter.Options().frameNumber, 5);
    EXPECT_EQ(exporter.Options().mergePrecision, 1);
    EXPECT_EQ(ReadFile(Config()), bytes);
}

TEST_F(Spine, AnyNonZeroFlagCountsAsOn)
{
    UseScene(DummyScene);
    // legacyFormat = 2: the header says version 1.
    WriteConfig(Words({2, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 6, 1, 1}));
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_NE(ReadFile(dir / "out.vek").find("# Vek Version: 1\r\n"), std::string::npos);
}

TEST_F(Spine, ConfigurationPathUsesThePlatformSeparator)
{
    UseScene(DummyScene);
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_EQ(std::string(exporter.OptionsFilePath().data()), (dir / "cfg").string() + "/ExportToVek.cfg");
}

TEST_F(Spine, UncreatableConfigurationStopsBeforeAnythingIsWritten)
{
    UseScene(DummyScene, "missing/dir");
    EXPECT_EQ(Export(dir / "out.vek"), 0);
    EXPECT_EQ(boxes, (std::vector<Box>{CannotCreateConfig, CannotLoad}));
    EXPECT_FALSE(fs::exists(dir / "out.vek"));
}

// ---- the string table ----

TEST_F(Spine, StringsShareOneBufferAndMissingEntriesAreNull)
{
    const TCHAR* longDesc = exporter.LongDesc();
    const TCHAR* shortDesc = exporter.ShortDesc();
    EXPECT_EQ(longDesc, shortDesc);
    EXPECT_STREQ(longDesc, "KELM 3d file format.");
    EXPECT_EQ(GetString(18), nullptr);
    EXPECT_EQ(GetString(19), nullptr);
    EXPECT_EQ(GetString(25), nullptr);
    EXPECT_STREQ(GetString(2), "ExportToVek");
    EXPECT_STREQ(GetString(3), "Vek");
    EXPECT_STREQ(GetString(4), "File format for the KELM 3d engine.");
    const char* keywords[] = {"shell", "mesh",    "colorlight", "camera",     "material",
                              "color", "texture", "texturebis", "facecolor1", "facecolor2"};
    for (int k = 0; k < 10; k++)
        EXPECT_STREQ(GetString(8 + k), keywords[k]);
    EXPECT_STREQ(GetString(35), "TRANSPARENCY");
    EXPECT_EQ(std::string(GetString(1)).rfind("Export To Vek Plug-in for 3DS Max 3.0", 0), 0u);
}

TEST_F(Spine, NoStringBeforeTheModuleHandleIsKnown)
{
    HINSTANCE saved = hInstance;
    hInstance = nullptr;
    EXPECT_EQ(GetString(2), nullptr);
    // The header still gets printable text.
    EXPECT_STREQ(GetText(1), "");
    hInstance = saved;
}

// ---- DoExport ----

TEST_F(Spine, TheDialogIsShownUnlessPromptsAreSuppressed)
{
    UseScene(DummyScene);
    ASSERT_EQ(Export(dir / "a.vek", TRUE), 1);
    EXPECT_EQ(dialogs, 0);
    ASSERT_EQ(Export(dir / "b.vek", FALSE), 1);
    EXPECT_EQ(dialogs, 1);
}

TEST_F(Spine, CancellingTheDialogLeavesNoFileAndKeepsTheOptions)
{
    UseScene(DummyScene);
    std::string bytes = Words({0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 3, 1, 1});
    WriteConfig(bytes);
    cancelDialog = true;
    EXPECT_EQ(Export(dir / "out.vek", FALSE), 1);
    EXPECT_FALSE(fs::exists(dir / "out.vek"));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(ReadFile(Config()), bytes);
}

TEST_F(Spine, UncreatableOutputIsReportedAndNothingSaved)
{
    UseScene(DummyScene);
    std::string bytes = Words({0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 6, 1});
    WriteConfig(bytes);
    EXPECT_EQ(Export(dir / "no" / "such" / "dir.vek"), 0);
    EXPECT_EQ(boxes, std::vector<Box>{CannotCreate});
    EXPECT_EQ(ReadFile(Config()), bytes);
}

TEST_F(Spine, OptionsAreSavedAfterACompleteExport)
{
    UseScene(DummyScene);
    WriteConfig(Words({0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 6, 3}) + "\x01"); // short: last field default
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_EQ(ReadFile(Config()).size(), 72u);
    EXPECT_EQ(ReadFile(Config()).substr(64), Word(3) + Word(1));
}

TEST_F(Spine, FailuresGiveMarkersInBitOrderAndTheWarning)
{
    // A collision box whose object cannot become a mesh fails the box bit.
    UseScene(R"({"format": "vek-scene/1", "objects": {"p": {"type": "geometry"}, "d": {"type": "dummy"}},
                 "nodes": [{"name": "BOX_7", "object": "p"}, {"name": "Helper", "object": "d"}]})");
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    std::string vek = ReadFile(dir / "out.vek");
    EXPECT_TRUE(vek.ends_with("}\r\n#ERROR_EXPORT_BOX\r\n")) << vek;
    EXPECT_EQ(vek.find("#EXPORT_OK"), std::string::npos);
    EXPECT_EQ(boxes, std::vector<Box>{Partial});
}

TEST_F(Spine, HeaderLinesOfADefaultExport)
{
    UseScene(R"({"format": "vek-scene/1"})");
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    std::string vek = ReadFile(dir / "out.vek");
    std::string description = GetString(1), copyright = GetString(7); // one shared buffer
    std::string head = "# " + description + "\r\n# " + copyright + "\r\n# Version: 4.00\r\n# Vek Version: 2\r\n\r\n";
    EXPECT_EQ(vek, head + "\r\n#EXPORT_OK\r\n");
}

TEST_F(Spine, EveryExportGathersItsOwnInstances)
{
    UseScene(R"({"format": "vek-scene/1", "objects": {"m": {"type": "box"}},
                 "nodes": [{"name": "A", "object": "m"}, {"name": "B", "object": "m"}]})");
    ASSERT_EQ(Export(dir / "a.vek"), 1);
    EXPECT_EQ(exporter.InstanceNodes().Count(), 1);
    ASSERT_EQ(Export(dir / "b.vek"), 1);
    EXPECT_EQ(exporter.InstanceNodes().Count(), 1);
}

TEST(BoxFileName, ReplacesTheExtensionOfTheFileName)
{
    EXPECT_STREQ(BoxFilePath("D:/levels/hall.vek").data(), "D:/levels/hall.box");
    EXPECT_STREQ(BoxFilePath("a.vek").data(), "a.box");
    EXPECT_STREQ(BoxFilePath("model.data").data(), "model.box");
    EXPECT_STREQ(BoxFilePath(".vek").data(), ".box");
    // No extension: nothing is cut, and a dot of a directory is not one.
    EXPECT_STREQ(BoxFilePath("ab").data(), "ab.box");
    EXPECT_STREQ(BoxFilePath("sub.d/ab").data(), "sub.d/ab.box");
}

// ---- the command-line host ----

TEST(CommandLine, ASceneThatDoesNotLoadLeavesTheOutputUntouched)
{
    fs::path dir = ScratchDir("cli-bad-scene");
    WriteFile(dir / "scene.json",
              R"({"format": "vek-scene/1", "nodes": [{"children": [{}, {}, {"object": "crate2"}]}]})");
    WriteFile(dir / "out.vek", "precious");
    ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "scene.json", "out.vek"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.stderrText, "vekexport: scene.json: nodes[0].children[2].object: unknown object \"crate2\"\n");
    EXPECT_EQ(run.vek, "precious");
    EXPECT_FALSE(fs::exists(dir / "cfg" / OPTIONS_FILE_NAME));
}

TEST(CommandLine, ExitStatusesTellWhatHappened)
{
    fs::path dir = ScratchDir("cli-status");
    WriteFile(dir / "ok.json", DummyScene);
    WriteFile(dir / "fail.json", R"({"format": "vek-scene/1", "objects": {"p": {"type": "geometry"}},
                                      "nodes": [{"name": "box_1", "object": "p"}]})");
    EXPECT_EQ(RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "ok.json", "ok.vek"}).status, 0);
    EXPECT_EQ(RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "fail.json", "fail.vek"}).status, 1);
    EXPECT_EQ(RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "ok.json", "no/dir/x.vek"}).status, 2);
    EXPECT_EQ(RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "missing.json", "x.vek"}).status, 2);
    EXPECT_EQ(RunVekexport(dir, {"--bogus", "ok.json", "x.vek"}).status, 2);
    ExportRun wrongModule =
        RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "--module", "ok.json", "ok.json", "y.vek"});
    EXPECT_EQ(wrongModule.status, 2);
    EXPECT_NE(wrongModule.stderrText.find("ok.json: cannot load the export module"), std::string::npos)
        << wrongModule.stderrText;
}

TEST(CommandLine, SelectedOnlyReachesTheExporter)
{
    fs::path dir = ScratchDir("cli-selected");
    WriteFile(dir / "scene.json", R"({"format": "vek-scene/1", "objects": {"d": {"type": "dummy"}},
        "nodes": [{"name": "Picked", "object": "d", "selected": 1}, {"name": "Other", "object": "d"}]})");
    ExportRun run =
        RunVekexport(dir, {"--no-prompt", "--selected-only", "--config-dir", "cfg", "scene.json", "out.vek"});
    ASSERT_TRUE(run.vek);
    EXPECT_NE(run.vek->find("shell Picked {"), std::string::npos);
    EXPECT_EQ(run.vek->find("Other"), std::string::npos);
}

// The progress of an export counts the bytes written against those expected from the
// scene, so one large mesh moves the bar from the start to near its end.
TEST_F(Spine, ProgressCountsTheBytesOfOneLargeMesh)
{
    UseScene(R"({"format": "vek-scene/1", "objects": {"p": {"type": "plane", "lengthSegs": 100, "widthSegs": 100}},
        "nodes": [{"name": "Big", "object": "p"}]})");
    EXPECT_EQ(scene->ExportProgress(), 0.0);
    ASSERT_EQ(Export(dir / "out.vek"), 1);
    EXPECT_GT(scene->ExportProgress(), 0.6);
    EXPECT_LE(scene->ExportProgress(), 0.99);
}

} // namespace
} // namespace vek::test
