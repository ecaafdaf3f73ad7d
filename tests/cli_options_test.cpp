// The command line's option settings, the saved options and the about box, without a terminal.
#include "dialog_test_util.h"

namespace vek::test {
namespace {

namespace fs = std::filesystem;

const std::string LightScene = SceneText(R"("d": {"type": "dummy"}, "lamp": {"type": "light", "kind": "omni"})",
                                         R"({"name": "D", "object": "d"}, {"name": "Lamp", "object": "lamp"})",
                                         R"("interface": {"ticksPerFrame": 160, "animRange": [1600, 8000]})");

// Runs vekexport on LightScene in a fresh directory; cfg/ holds the defaults unless noConfig.
ExportRun RunLightScene(const std::string& name, const std::vector<std::string>& args, bool noConfig = false)
{
    fs::path dir = ScratchDir(name);
    WriteFile(dir / "scene.json", LightScene);
    if (!noConfig)
        WriteOptionsFile(dir / "cfg", {});
    std::vector<std::string> all = {"--config-dir", "cfg"};
    all.insert(all.end(), args.begin(), args.end());
    return RunVekexport(dir, all);
}

ExportOptions SavedOptions(const std::string& name)
{
    return ReadOptionsBytes(ReadFile(fs::path(VEK_BINARY_DIR) / "test-scratch" / name / "cfg" / OPTIONS_FILE_NAME));
}

TEST(CommandLineSettings, SetChangesTheControlsAndPersistsAsAfterOk)
{
    auto run = RunLightScene("cli-set", {"--set", "exportLights=1", "--set", "decimals=3", "--set", "frameNumber=50",
                                         "scene.json", "out.vek"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    ASSERT_TRUE(run.vek);
    EXPECT_NE(run.vek->find("colorlight Lamp {"), std::string::npos);
    EXPECT_NE(run.vek->find(" 0.000 0.000 0.000 "), std::string::npos);
    ExportOptions o = SavedOptions("cli-set");
    EXPECT_EQ(o.exportLights, 1);
    EXPECT_EQ(o.decimals, 3);
    EXPECT_EQ(o.frameNumber, 50);
    EXPECT_EQ(o.exportDummies, 1);

    fs::path dir = fs::path(VEK_BINARY_DIR) / "test-scratch" / "cli-set";
    auto shown = RunVekexport(dir, {"--show-options", "--config-dir", "cfg"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.stdoutText.find("\nexportLights=1\nexportCameras=0\n"), std::string::npos);
    EXPECT_NE(shown.stdoutText.find("\ndecimals=3\nindentation=1\n"), std::string::npos);
    EXPECT_EQ(std::count(shown.stdoutText.begin(), shown.stdoutText.end(), '\n'), 18);
}

TEST(CommandLineSettings, NoSaveExportsWithTheValuesAndLeavesTheOptionsFileAsItWas)
{
    const fs::path cfg = fs::path(VEK_BINARY_DIR) / "test-scratch" / "cli-no-save" / "cfg" / OPTIONS_FILE_NAME;
    for (bool noConfig : {false, true}) {
        auto run = RunLightScene(
            "cli-no-save", {"--set", "exportLights=1", "--set", "decimals=3", "--no-save", "scene.json", "out.vek"},
            noConfig);
        EXPECT_EQ(run.status, 0) << run.stderrText;
        ASSERT_TRUE(run.vek);
        EXPECT_NE(run.vek->find("colorlight Lamp {"), std::string::npos);
        EXPECT_NE(run.stdoutText.find("\n  options: exportLights=1, decimals=3; the others at their defaults\n"),
                  std::string::npos)
            << run.stdoutText;
        if (noConfig)
            EXPECT_FALSE(fs::exists(cfg));
        else {
            ExportOptions saved = ReadOptionsBytes(ReadFile(cfg));
            EXPECT_EQ(saved.exportLights, 0);
            EXPECT_EQ(saved.decimals, 6);
        }
    }
}

TEST(CommandLineSettings, SetReachesDisabledControls)
{
    auto run =
        RunLightScene("cli-set-disabled", {"--set", "exportGeometry=0", "--set", "quadFaces=0", "--set",
                                           "currentFrame=1", "--set", "frameNumber=12", "scene.json", "out.vek"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    ExportOptions o = SavedOptions("cli-set-disabled");
    EXPECT_EQ(o.exportGeometry, 0);
    EXPECT_EQ(o.quadFaces, 0);
    EXPECT_EQ(o.frameNumber, 12);
}

TEST(CommandLineSettings, ValuesTheDialogCannotHoldAreRefused)
{
    struct Case {
        std::string set, message;
    };
    const Case cases[] = {
        {"decimals=11", "decimals=11: the spinner \"D\xc3\xa9"
                        "cimales\" of decimals takes 0 to 10"},
        {"indentation=-1", "takes 0 to 8"},
        {"frameNumber=51", "the spinner \"N\xc2\xb0\" of frameNumber takes 10 to 50"},
        {"frameNumber=9", "takes 10 to 50"},
        {"exportLights=2", "exportLights is a check box and takes 0 or 1"},
        {"lighting=-1", "takes 0 or 1"},
        {"lights=1", "unknown option \"lights\""},
        {"decimals=three", "integer VALUE"},
        {"decimals", "integer VALUE"},
    };
    for (const Case& c : cases) {
        auto run = RunLightScene("cli-refused", {"--set", "exportCameras=1", "--set", c.set, "scene.json", "out.vek"});
        EXPECT_EQ(run.status, 2) << c.set;
        EXPECT_NE(run.stderrText.find(c.message), std::string::npos) << c.set << ": " << run.stderrText;
        EXPECT_FALSE(run.vek) << c.set;
        EXPECT_EQ(SavedOptions("cli-refused").exportCameras, 0) << c.set;
    }
    // A refused value leaves no configuration file behind on first use either.
    auto run = RunLightScene("cli-refused-first", {"--set", "decimals=12", "scene.json", "out.vek"}, true);
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(
        fs::exists(fs::path(VEK_BINARY_DIR) / "test-scratch" / "cli-refused-first" / "cfg" / OPTIONS_FILE_NAME));

    // Without drawing the dialog, the values still go through its procedure and limits.
    auto noPrompt = RunLightScene("cli-set-noprompt", {"--no-prompt", "--set", "decimals=2", "scene.json", "out.vek"});
    EXPECT_EQ(noPrompt.status, 0) << noPrompt.stderrText;
    EXPECT_EQ(SavedOptions("cli-set-noprompt").decimals, 2);
    auto refused = RunLightScene("cli-set-noprompt", {"--no-prompt", "--set", "decimals=11", "scene.json", "out.vek"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_FALSE(refused.vek);
}

TEST(CommandLineSettings, WithoutATerminalTheDialogIsConfirmedUnseen)
{
    fs::path dir = ScratchDir("cli-unseen");
    WriteFile(dir / "scene.json", LightScene);
    WriteOptionsFile(dir / "cfg", {{"exportLights", 2}});
    auto run = RunVekexport(dir, {"--config-dir", "cfg", "scene.json", "out.vek"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stderrText, "Message: Conversion r\xc3\xa9ussit\n");
    EXPECT_EQ(SavedOptions("cli-unseen").exportLights, 1); // "OK" stores 1 for on
}

TEST(CommandLineSettings, ShowOptionsReadsWithoutWriting)
{
    fs::path dir = ScratchDir("cli-show");
    auto none = RunVekexport(dir, {"--show-options", "--config-dir", "cfg"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.stdoutText.substr(0, 30), "legacyFormat=0\nexportDummies=1");
    EXPECT_NE(none.stderrText.find("does not exist yet"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "cfg" / OPTIONS_FILE_NAME));

    fs::create_directories(dir / "cfg");
    WriteFile(dir / "cfg" / OPTIONS_FILE_NAME, std::string("\x01\0\0\0\x00\0\0\0\x07\0", 10));
    auto shortFile = RunVekexport(dir, {"--show-options", "--config-dir", "cfg"});
    EXPECT_EQ(shortFile.status, 0);
    EXPECT_EQ(shortFile.stdoutText.find("legacyFormat=1\nexportDummies=0\nexportGeometry=1\n"), 0u);
    EXPECT_NE(shortFile.stdoutText.find("mergePrecision=1\n"), std::string::npos);
    EXPECT_NE(shortFile.stderrText.find("ExportToVek.cfg: 10 bytes instead of 72: the 2 values it holds are read"),
              std::string::npos)
        << shortFile.stderrText;

    WriteOptionsFile(dir / "cfg", {{"decimals", 12}, {"exportLights", 2}});
    auto outside = RunVekexport(dir, {"--show-options", "--config-dir", "cfg"});
    EXPECT_NE(outside.stdoutText.find("\ndecimals=12 (outside the dialog's limits, 0 to 10)\n"), std::string::npos);
    EXPECT_NE(outside.stdoutText.find("\nexportLights=2 (outside the dialog's limits, 0 to 1)\n"), std::string::npos);
    EXPECT_EQ(outside.stderrText, "");
}

TEST(CommandLineSettings, AboutWithoutATerminalPrintsTheBox)
{
    fs::path dir = ScratchDir("cli-about");
    auto run = RunVekexport(dir, {"--about"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(run.stdoutText.find("About\n  Plug-in d'Exportation Max -> Vek\n  Version: Beta 01\n"), 0u)
        << run.stdoutText;
    // --version tells the same story as the about box.
    auto version = RunVekexport(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.stdoutText, "vekexport 1.0.0.1, with the export module ExportToVek.dle 1.0.0.1\n"
                                  "KELM 3d file format. (.Vek) exporter version 4.00 (the \"# Version: 4.00\" line of "
                                  "every file; its about box says \"Version: Beta 01\")\n");
    EXPECT_NE(run.stdoutText.find(version.stdoutText), std::string::npos);
}

TEST(CommandLineSettings, SceneAndOutputStayRequiredForAnExport)
{
    fs::path dir = ScratchDir("cli-required");
    auto run = RunVekexport(dir, {"--set", "decimals=2"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.stderrText.find("expected a SCENE and an OUTPUT.vek"), std::string::npos);
}

} // namespace
} // namespace vek::test
