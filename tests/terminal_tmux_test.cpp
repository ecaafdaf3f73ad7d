// End to end on a real terminal: vekexport runs inside tmux, keys are sent to the
// preferences dialog, and the screen, the exported file and the configuration file
// are checked. Skipped when tmux is not installed; every wait is bounded.
#include "dialog_test_util.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

class TmuxServer {
public:
    TmuxServer() : socket("vek-test-" + std::to_string(getpid())) {}
    ~TmuxServer()
    {
        Run("kill-server");
        // tmux may leave its socket file behind once the server is gone.
        const char* tmpdir = std::getenv("TMUX_TMPDIR");
        std::error_code ec;
        fs::remove(fs::path(tmpdir && *tmpdir ? tmpdir : "/tmp") / ("tmux-" + std::to_string(getuid())) / socket, ec);
    }

    // Runs a tmux command on this server; its standard output.
    std::string Run(const std::string& args) const
    {
        std::string cmd = "tmux -L " + socket + " " + args + " 2>/dev/null";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
                out.append(buf, n);
            pclose(p);
        }
        return out;
    }

    std::string Screen() const { return Run("capture-pane -p -t vek"); }
    // The screen with its display attributes as escape sequences.
    std::string AttributedScreen() const { return Run("capture-pane -p -e -t vek"); }
    void Keys(const std::string& keys) const { Run("send-keys -t vek " + keys); }

    // Polls the screen until it shows text; false after the time limit.
    bool WaitFor(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) const
    {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (Screen().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string socket;
};

bool WaitForFile(const fs::path& path, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(path) && !ReadFile(path).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(TerminalEndToEnd, ToggleLightsChangeDecimalsAndConfirm)
{
    if (std::system("tmux -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tmux is not installed";

    fs::path dir = ScratchDir("tmux-prefs");
    WriteFile(dir / "scene.json", SceneText(R"("d": {"type": "dummy"}, "lamp": {"type": "light", "kind": "omni"})",
                                            R"({"name": "D", "object": "d", "transform": {"position": [1, 2, 3]}},
                           {"name": "Lamp", "object": "lamp"})"));
    WriteOptionsFile(dir / "cfg", {});
    const std::string vekexport = (fs::path(VEK_BINARY_DIR) / "vekexport").string();
    const std::string command = "cd '" + dir.string() + "' && LANG=C.UTF-8 LC_ALL=C.UTF-8 '" + vekexport +
                                "' --config-dir cfg scene.json out.vek; echo \\$? > status.txt";

    TmuxServer tmux;
    tmux.Run("-f /dev/null new-session -d -s vek -x 100 -y 30 \"" + command + "\"");
    ASSERT_TRUE(tmux.WaitFor("Export To Vek Pr\xc3\xa9"
                             "f\xc3\xa9rences"))
        << tmux.Screen();

    // Dummys has the focus; Géométries, Face 4 vertices and Topologies come before Lumières.
    tmux.Keys("Tab Tab Tab Tab Space");
    ASSERT_TRUE(tmux.WaitFor("[x] Lumi\xc3\xa8res")) << tmux.Screen();
    // Then Caméras, Boites de collision, Animation, actuelle, the merge box (the two
    // edits between are disabled), the legacy box, Matériaux, Gouraud, Light, Décimales.
    tmux.Keys("Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab 3");
    ASSERT_TRUE(tmux.WaitFor("D\xc3\xa9"
                             "cimales:    [    3]"))
        << tmux.Screen();

    std::string screen = tmux.Screen();
    // The two columns side by side, the frames and the buttons.
    EXPECT_NE(screen.find("[x] Dummys"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\xe2\x94\x8c Types d'objets"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\xe2\x94\x8c Mat\xc3\xa9riaux"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[ ] Exporter pour les versions 3.5 et"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[   OK    ]  [ Annuler ]"), std::string::npos) << screen;

    // "actuelle" is checked: the frame edit is drawn dim.
    EXPECT_NE(tmux.AttributedScreen().find("\x1b[2m[    0]"), std::string::npos) << tmux.AttributedScreen();

    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Conversion r\xc3\xa9ussit")) << tmux.Screen();
    EXPECT_NE(tmux.Screen().find("[  OK  ]"), std::string::npos);
    tmux.Keys("Enter");

    ASSERT_TRUE(WaitForFile(dir / "status.txt", std::chrono::seconds(10))) << tmux.Screen();
    EXPECT_EQ(ReadFile(dir / "status.txt"), "0\n");
    std::string vek = ReadFile(dir / "out.vek");
    EXPECT_NE(vek.find("shell D {\r\n 1.000 3.000 2.000 "), std::string::npos) << vek;
    EXPECT_NE(vek.find("colorlight Lamp {"), std::string::npos) << vek;
    ExportOptions saved = ReadOptionsBytes(ReadFile(dir / "cfg" / OPTIONS_FILE_NAME));
    ExportOptions expected = DefaultExportOptions;
    expected.exportLights = 1;
    expected.decimals = 3;
    for (int k = 0; k < ExportOptions::Count; k++)
        EXPECT_EQ(saved[k], expected[k]) << ExportOptionTable[k].name;
}

// A mouse click, as the terminal reports it to the program (button 1 pressed, then
// released, at a zero-based screen cell).
std::string MouseClick(int row, int col)
{
    char buf[96];
    std::snprintf(buf, sizeof(buf), "-H 1b 5b 4d 20 %02x %02x 1b 5b 4d 23 %02x %02x", 33 + col, 33 + row, 33 + col,
                  33 + row);
    return buf;
}

TEST(TerminalEndToEnd, MouseClickOnAnnulerCancels)
{
    if (std::system("tmux -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tmux is not installed";

    fs::path dir = ScratchDir("tmux-mouse");
    // A model: the dialog is drawn by the process that goes on once the model is read.
    WriteFile(dir / "quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    WriteOptionsFile(dir / "cfg", {});
    const std::string before = ReadFile(dir / "cfg" / OPTIONS_FILE_NAME);
    const std::string vekexport = (fs::path(VEK_BINARY_DIR) / "vekexport").string();
    const std::string command = "cd '" + dir.string() + "' && LANG=C.UTF-8 '" + vekexport +
                                "' --config-dir cfg --preview p.png quad.obj out.vek; echo \\$? > status.txt";

    TmuxServer tmux;
    // An 80 by 24 screen holds the window exactly: the client area starts at row 1, column 1.
    tmux.Run("-f /dev/null new-session -d -s vek -x 80 -y 24 \"" + command + "\"");
    ASSERT_TRUE(tmux.WaitFor("[ Annuler ]")) << tmux.Screen();
    tmux.Keys(MouseClick(1 + 5, 1 + 6 + 5)); // the label of "Lumières"
    ASSERT_TRUE(tmux.WaitFor("[x] Lumi\xc3\xa8res")) << tmux.Screen();
    tmux.Keys(MouseClick(0, 77)); // the close box: nothing, the dialog still answers
    tmux.Keys(MouseClick(1 + 5, 1 + 6));
    ASSERT_TRUE(tmux.WaitFor("[ ] Lumi\xc3\xa8res")) << tmux.Screen();
    tmux.Keys(MouseClick(1 + 20, 1 + 65 + 3)); // "Annuler"
    ASSERT_TRUE(WaitForFile(dir / "status.txt", std::chrono::seconds(10))) << tmux.Screen();
    EXPECT_EQ(ReadFile(dir / "status.txt"), "3\n");
    EXPECT_FALSE(fs::exists(dir / "out.vek"));
    EXPECT_FALSE(fs::exists(dir / "p.png")); // nothing comes after a cancelled export
    EXPECT_EQ(ReadFile(dir / "cfg" / OPTIONS_FILE_NAME), before);
}

} // namespace
} // namespace vek::test
