// vekexport: plays the modelling application. Loads a scene, loads the export module,
// and runs one export through it exactly as the application would.
//
// Exit status: 0 exported with no failure marker, 1 exported with failure markers,
// 2 nothing exported (bad command line, refused --set value, scene or module that does
// not load, export failure), 3 cancelled by the user, 4 exported but the --preview
// picture not made, 128 + the signal's number when interrupted (130 for Ctrl-C). With
// --check: 0 when the file has no finding, 1 otherwise; with --render, see
// render/RenderCommand.h.
//
// An export is a transaction: every file it writes (the Vek file, the ".box" file,
// embedded textures, the options) is staged beside its target and put in place only
// when the export ran to its end without failure; otherwise every target stays as it was.
//
// On a terminal the preferences dialog, the about box and the message boxes are drawn
// and used there; without one, or with --no-prompt, nothing is drawn and message boxes
// go to standard error as "Caption: text".
#include "check/VekCheck.h"
#include "cli/Interrupts.h"
#include "cli/MemoryBudget.h"
#include "cli/ModuleHost.h"
#include "cli/PreferencesScript.h"
#include "cli/SelectionCheck.h"
#include "render/RenderCommand.h"
#include "scene/Scene.h"
#include "terminal/Terminal.h"

#include "transaction.h"

#include <CLI/CLI.hpp>

#include <clocale>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

enum ExitStatus { EXIT_EXPORTED = 0, EXIT_MARKERS = 1, EXIT_NOTHING = 2, EXIT_CANCELLED = 3, EXIT_NO_PREVIEW = 4 };

const char* const ExitStatusHelp = "Exit status: 0 exported, no failure marker; 1 exported with failure markers at the end "
                                   "of the file; 2 nothing written (bad command line, refused --set value, unreadable "
                                   "scene, a file that cannot be written: the message names it and the reason); "
                                   "3 cancelled in the preferences dialog; 4 exported, but the --preview picture not made; "
                                   "130 interrupted (Ctrl-C; 128 + the signal for SIGTERM and SIGHUP), nothing written. "
                                   "--check: 0 clean, 1 findings. --render: 0 drawn, 1 findings (the first is shown), "
                                   "2 nothing drawn.";

std::string DefaultConfigDir()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/vekexport";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/vekexport";
}

// What the user learns from the export's closing message.
enum class Outcome { None, Success, Partial };

// Says so when the options file is not 72 bytes long: it is then read only in part.
void NoteOptionsFileLength(const std::string& path)
{
    std::error_code ec;
    auto bytes = std::filesystem::file_size(path, ec);
    std::string note = ec ? "" : vek::OptionsFileLengthNote(path, (long long)bytes);
    if (!note.empty())
        std::fprintf(stderr, "vekexport: %s\n", note.c_str());
}

// Why an export to `output` is refused before anything is written; "" when it is not.
std::string OutputRefusal(const std::string& scene, const std::string& output)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (output.ends_with("/") || fs::is_directory(output, ec))
        return output + ": is a directory; the output is a file";
    if (fs::equivalent(scene, output, ec) ||
        fs::absolute(scene, ec).lexically_normal() == fs::absolute(output, ec).lexically_normal())
        return output + ": is the scene itself; it would be overwritten";
    // The ".box" file takes the output's name with its extension replaced.
    if (output.ends_with(".box"))
        return output + ": the \".box\" collision file of this output would be the output itself";
    return "";
}

// Writes the embedded textures of the model beside the output, staged with the export.
bool WriteExtraFiles(const vek::Scene& scene)
{
    for (const auto& [path, bytes] : scene.ExtraFiles()) {
        std::FILE* f = _tfopen(path.c_str(), "wb");
        if (!f)
            return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        if (std::fclose(f) != 0)
            return false;
    }
    return true;
}

int ShowOptions(const std::string& path)
{
    ExportOptions options = DefaultExportOptions;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        std::fprintf(stderr, "vekexport: %s does not exist yet: the first export creates it with these defaults\n",
                     path.c_str());
    else if (!vek::ReadOptionsFile(path, options)) {
        std::fprintf(stderr, "vekexport: %s: cannot read the options: %s\n", path.c_str(), std::strerror(errno));
        return EXIT_NOTHING;
    } else
        NoteOptionsFileLength(path);
    std::fputs(vek::FormatOptions(options).c_str(), stdout);
    return EXIT_EXPORTED;
}

// Without a terminal the about box is not drawn: its texts are printed instead, with
// what the module says of itself, and its default button is pressed.
void PrintDialogTexts(DialogSession& session)
{
    char buf[256];
    GetWindowText(session.dialog, buf, int(sizeof(buf)));
    std::printf("%s\n", buf);
    for (HWND c : session.controls)
        if (std::string(GetWindowClassName(c)) == "Static" && GetWindowText(c, buf, int(sizeof(buf))) > 0)
            std::printf("  %s\n", buf);
    vek::PressDefaultButton(session);
}

// The dialog on the terminal; a terminal that cannot show it gets the behaviour of no
// terminal at all: the default button is pressed.
void TerminalFrontEnd(DialogSession& session)
{
    if (!vek::term::Terminal::Get().RunDialog(session))
        vek::PressDefaultButton(session);
}

const char* OrEmpty(const char* s) { return s ? s : ""; }

int ShowAbout(const std::string& modulePath, bool terminal)
{
    try {
        vek::ExportModule module(modulePath.empty() ? vek::DefaultModulePath() : modulePath);
        std::unique_ptr<SceneExport> exporter = module.CreateExporter();
        if (terminal)
            SetDialogFrontEnd(TerminalFrontEnd);
        else
            SetDialogFrontEnd(PrintDialogTexts);
        exporter->ShowAbout(GetApplicationWindow());
        vek::term::Terminal::Get().Close();
        if (!terminal) {
            // The module's texts share one buffer: each is copied before the next is asked for.
            unsigned version = exporter->Version();
            std::string shortDesc = OrEmpty(exporter->ShortDesc());
            std::string ext = OrEmpty(exporter->Ext(0));
            std::printf("%s (.%s), version %u.%02u\n", shortDesc.c_str(), ext.c_str(), version / 100, version % 100);
            std::printf("%s\n", OrEmpty(exporter->LongDesc()));
            std::printf("%s\n", OrEmpty(exporter->AuthorName()));
            std::printf("%s\n", OrEmpty(exporter->CopyrightMessage()));
            if (const VERSIONRESOURCE* v = FindVersionResource(module.Handle()))
                std::printf("%s %u.%u.%u.%u\n", OrEmpty(v->originalFilename), v->fileVersion[0], v->fileVersion[1],
                            v->fileVersion[2], v->fileVersion[3]);
        }
    } catch (const std::runtime_error& e) {
        vek::term::Terminal::Get().Close();
        std::fprintf(stderr, "vekexport: %s\n", e.what());
        return EXIT_NOTHING;
    }
    return EXIT_EXPORTED;
}

} // namespace

int main(int argc, char** argv)
{
    // The user's locale stays in force, as in the application: the plug-in writes its
    // numbers without regard to it.
    std::setlocale(LC_ALL, "");
    vek::WatchInterrupts([] { vek::term::Terminal::Get().Close(); });

    CLI::App app{"Exports a scene to the Vek format of the KELM 3D engine."};
    app.footer(ExitStatusHelp);
    app.set_version_flag("--version", "vekexport 1.0");
    bool noPrompt = false, selectedOnly = false, about = false, showOptions = false;
    std::string configDir, scenePath, outputPath, modulePath;
    std::vector<std::string> setArgs;
    app.add_flag("--no-prompt", noPrompt, "Export with the saved options, without the preferences dialog");
    app.add_flag("--selected-only", selectedOnly, "Export only the selected nodes");
    app.add_option("--set", setArgs,
                   "Set an option as in the preferences dialog, then confirm it (e.g. decimals=3; "
                   "repeatable)")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    app.add_flag("--about", about, "Show the exporter's about box");
    app.add_flag("--show-options", showOptions, "Print the saved options, one NAME=VALUE a line");
    app.add_option("--config-dir", configDir, "Plug-in configuration directory (holds ExportToVek.cfg)");
    app.add_option("--module", modulePath, "Export module to load (default: ExportToVek.dle beside vekexport)");
    std::string upAxis = "auto";
    app.add_option("--up", upAxis, "Up axis of a model file (default: its format's convention)")
        ->check(CLI::IsMember({"auto", "y", "z"}));
    std::uint64_t maxMemory = 0;
    CLI::Option* maxMemoryOption =
        app.add_option("--max-memory", maxMemory,
                       "Memory the run may take, e.g. 4G (0: no limit; default: the larger of 2G and 48 times "
                       "the scene file's size)")
            ->transform(CLI::AsSizeValue(false));
    std::string checkPath;
    app.add_option("--check", checkPath,
                   "Check a Vek file (and the .box file beside it) instead of exporting; exit 1 on findings");
    vek::render::RenderRequest render;
    vek::render::AddRenderOptions(app, render);
    app.add_option("scene", scenePath, "Scene file to export: a JSON scene description, an ASCII scene export (.ase) or any model Assimp reads");
    app.add_option("output", outputPath, "Vek file to write");
    try {
        app.parse(argc, argv);
        if (checkPath.empty() && render.files.empty() && !about && !showOptions &&
            (scenePath.empty() || outputPath.empty()))
            throw CLI::RequiredError(scenePath.empty() ? "scene" : "output");
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : EXIT_NOTHING;
    }

    if (!checkPath.empty()) {
        vek::CheckReport report = vek::CheckVekFile(checkPath);
        std::fputs(vek::FormatReport(report).c_str(), stdout);
        if (report.Clean())
            std::printf("%s: no finding\n", checkPath.c_str());
        return report.Clean() ? 0 : 1;
    }
    if (!render.files.empty())
        return vek::render::RunRender(render);

    if (configDir.empty())
        configDir = DefaultConfigDir();
    const std::string optionsPath = configDir + "/" OPTIONS_FILE_NAME;

    if (showOptions)
        return ShowOptions(optionsPath);

    const bool terminal = vek::term::HaveTerminal() && !noPrompt && setArgs.empty();
    if (about)
        return ShowAbout(modulePath, terminal);

    std::vector<vek::OptionSetting> settings;
    for (const std::string& arg : setArgs) {
        vek::OptionSetting setting;
        std::string error;
        if (!vek::ParseOptionSetting(arg, setting, error)) {
            std::fprintf(stderr, "vekexport: %s\n", error.c_str());
            return EXIT_NOTHING;
        }
        settings.push_back(setting);
    }
    if (std::string refusal = OutputRefusal(scenePath, outputPath); !refusal.empty()) {
        std::fprintf(stderr, "vekexport: %s; nothing exported\n", refusal.c_str());
        return EXIT_NOTHING;
    }
    if (!settings.empty() && noPrompt) {
        std::fprintf(stderr, "vekexport: --set goes through the preferences dialog, which --no-prompt skips\n");
        return EXIT_NOTHING;
    }
    std::error_code ec;
    std::filesystem::create_directories(configDir, ec);
    if (ec) {
        std::fprintf(stderr, "vekexport: %s: cannot create the configuration directory: %s\n", configDir.c_str(),
                     ec.message().c_str());
        return EXIT_NOTHING;
    }

    vek::LimitMemory(scenePath, maxMemoryOption->count() ? maxMemory : vek::DefaultMemoryBudget(scenePath));
    std::unique_ptr<vek::Scene> scene;
    try {
        vek::ImportOptions import;
        import.up = upAxis == "y" ? vek::ImportOptions::Up::Y
                    : upAxis == "z" ? vek::ImportOptions::Up::Z
                                    : vek::ImportOptions::Up::Auto;
        // Texture paths are absolute, as the application keeps them.
        std::filesystem::path out = std::filesystem::absolute(outputPath);
        import.embeddedTextureBase = (out.parent_path() / out.stem()).string();
        import.progress = true;
        scene = vek::LoadSceneFile(scenePath, import);
    } catch (const vek::SceneError& e) {
        std::fprintf(stderr, "vekexport: %s\n", e.what());
        return EXIT_NOTHING;
    } catch (const std::bad_alloc&) {
        vek::ReportMemoryExceeded();
        return EXIT_NOTHING;
    }
    if (selectedOnly && !vek::CheckSelection(*scene, scenePath))
        return EXIT_NOTHING;
    scene->SetPluginConfigDir(configDir);
    scene->Activate();

    vek::ScriptResult script;
    if (!settings.empty())
        SetDialogFrontEnd(vek::PreferencesScript(settings, script));
    else if (terminal)
        SetDialogFrontEnd(TerminalFrontEnd);
    NoteOptionsFileLength(optionsPath);

    Outcome outcome = Outcome::None;
    SetMessageBoxHandler([&outcome, terminal](HWND, const char* text, const char* caption, UINT) {
        if (!terminal || !vek::term::Terminal::Get().ShowMessageBox(text, caption))
            std::fprintf(stderr, "%s: %s\n", caption, text);
        std::string t = text;
        if (t == "Conversion r\xc3\xa9ussit")
            outcome = Outcome::Success;
        else if (t == "Certain param\xc3\xa8tres n'ont pas pu \xc3\xaatre export\xc3\xa9s")
            outcome = Outcome::Partial;
        return IDOK;
    });

    int result = 0;
    BeginFileTransaction();
    try {
        if (!WriteExtraFiles(*scene))
            throw std::runtime_error(FileTransactionError());
        vek::ExportModule module(modulePath.empty() ? vek::DefaultModulePath() : modulePath);
        std::unique_ptr<SceneExport> exporter = module.CreateExporter();
        DWORD options = 0;
        if (selectedOnly && exporter->SupportsOptions(0, SCENE_EXPORT_SELECTED))
            options |= SCENE_EXPORT_SELECTED;
        ExpInterface ei;
        result = exporter->DoExport(outputPath.c_str(), &ei, scene.get(), noPrompt ? TRUE : FALSE, options);
    } catch (const std::bad_alloc&) {
        AbortFileTransaction();
        vek::term::Terminal::Get().Close();
        vek::ReportMemoryExceeded();
        return EXIT_NOTHING;
    } catch (const std::exception& e) {
        AbortFileTransaction();
        vek::term::Terminal::Get().Close();
        std::fprintf(stderr, "vekexport: %s; nothing exported\n", e.what());
        return EXIT_NOTHING;
    }
    vek::term::Terminal::Get().Close();

    // Nothing of a run that did not end stays behind: not even the defaults file of a first use.
    if (script.refused || !result || outcome == Outcome::None) {
        std::string error = FileTransactionError();
        AbortFileTransaction();
        if (script.refused)
            std::fprintf(stderr, "vekexport: %s; nothing exported\n", script.message.c_str());
        else if (!error.empty())
            std::fprintf(stderr, "vekexport: %s; nothing exported\n", error.c_str());
        return result && !script.refused ? EXIT_CANCELLED : EXIT_NOTHING;
    }
    if (!CommitFileTransaction()) {
        std::fprintf(stderr, "vekexport: %s; nothing exported\n", FileTransactionError().c_str());
        return EXIT_NOTHING;
    }
    std::printf("vekexport: wrote %s\n", outputPath.c_str());
    if (!render.preview.empty() && !vek::render::WritePreview(render, outputPath))
        return EXIT_NO_PREVIEW;
    return outcome == Outcome::Success ? EXIT_EXPORTED : EXIT_MARKERS;
}
