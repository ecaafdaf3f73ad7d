// vekexport: plays the modelling application. Loads a scene, loads the export module,
// and runs one export through it exactly as the application would.
//
// Exit status: 0 exported with no failure marker, 1 exported with failure markers,
// 2 nothing exported (bad command line, scene or module that does not load, export
// failure), 3 cancelled by the user.
#include "check/VekCheck.h"
#include "cli/ModuleHost.h"
#include "scene/Scene.h"

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

enum ExitStatus { EXIT_EXPORTED = 0, EXIT_MARKERS = 1, EXIT_NOTHING = 2, EXIT_CANCELLED = 3 };

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

} // namespace

int main(int argc, char** argv)
{
    // The user's locale stays in force, as in the application: the plug-in writes its
    // numbers without regard to it.
    std::setlocale(LC_ALL, "");

    CLI::App app{"Exports a scene to the Vek format of the KELM 3D engine."};
    app.set_version_flag("--version", "vekexport 1.0");
    bool noPrompt = false, selectedOnly = false;
    std::string configDir, scenePath, outputPath, modulePath;
    app.add_flag("--no-prompt", noPrompt, "Export with the saved options, without the preferences dialog");
    app.add_flag("--selected-only", selectedOnly, "Export only the selected nodes");
    app.add_option("--config-dir", configDir, "Plug-in configuration directory (holds ExportToVek.cfg)");
    app.add_option("--module", modulePath, "Export module to load (default: ExportToVek.dle beside vekexport)");
    std::string upAxis = "auto";
    app.add_option("--up", upAxis, "Up axis of a model file (default: its format's convention)")
        ->check(CLI::IsMember({"auto", "y", "z"}));
    std::string checkPath;
    app.add_option("--check", checkPath,
                   "Check a Vek file (and the .box file beside it) instead of exporting; exit 1 on findings");
    app.add_option("scene", scenePath, "Scene file to export: a JSON scene description or any model Assimp reads");
    app.add_option("output", outputPath, "Vek file to write");
    try {
        app.parse(argc, argv);
        if (checkPath.empty() && (scenePath.empty() || outputPath.empty()))
            throw CLI::RequiredError("scene and output");
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

    if (configDir.empty())
        configDir = DefaultConfigDir();
    std::error_code ec;
    std::filesystem::create_directories(configDir, ec);
    if (ec) {
        std::fprintf(stderr, "vekexport: %s: cannot create the configuration directory: %s\n", configDir.c_str(),
                     ec.message().c_str());
        return EXIT_NOTHING;
    }

    std::unique_ptr<vek::Scene> scene;
    try {
        vek::ImportOptions import;
        import.up = upAxis == "y" ? vek::ImportOptions::Up::Y
                    : upAxis == "z" ? vek::ImportOptions::Up::Z
                                    : vek::ImportOptions::Up::Auto;
        std::filesystem::path out(outputPath);
        import.embeddedTextureBase = (out.parent_path() / out.stem()).string();
        import.progress = true;
        scene = vek::LoadSceneFile(scenePath, import);
    } catch (const vek::SceneError& e) {
        std::fprintf(stderr, "vekexport: %s\n", e.what());
        return EXIT_NOTHING;
    }
    for (const auto& [path, bytes] : scene->ExtraFiles()) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f)
            ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            std::fprintf(stderr, "vekexport: %s: cannot write the embedded texture\n", path.c_str());
            return EXIT_NOTHING;
        }
    }
    scene->SetPluginConfigDir(configDir);
    scene->Activate();

    Outcome outcome = Outcome::None;
    SetMessageBoxHandler([&outcome](HWND, const char* text, const char* caption, UINT) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::string t = text;
        if (t == "Conversion r\xc3\xa9ussit")
            outcome = Outcome::Success;
        else if (t == "Certain param\xc3\xa8tres n'ont pas pu \xc3\xaatre export\xc3\xa9s")
            outcome = Outcome::Partial;
        return IDOK;
    });

    int result;
    try {
        vek::ExportModule module(modulePath.empty() ? vek::DefaultModulePath() : modulePath);
        std::unique_ptr<SceneExport> exporter = module.CreateExporter();
        DWORD options = 0;
        if (selectedOnly && exporter->SupportsOptions(0, SCENE_EXPORT_SELECTED))
            options |= SCENE_EXPORT_SELECTED;
        ExpInterface ei;
        result = exporter->DoExport(outputPath.c_str(), &ei, scene.get(), noPrompt ? TRUE : FALSE, options);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vekexport: %s\n", e.what());
        return EXIT_NOTHING;
    }

    if (!result)
        return EXIT_NOTHING;
    if (outcome == Outcome::None)
        return EXIT_CANCELLED;
    std::printf("vekexport: wrote %s\n", outputPath.c_str());
    return outcome == Outcome::Success ? EXIT_EXPORTED : EXIT_MARKERS;
}
