#include "cli/CommandLine.h"

#include "cli/ModuleHost.h"
#include "export/ResultMarkers.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

namespace vek {

namespace {

std::string DefaultConfigDir()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/vekexport";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/vekexport";
}

// What every failure marker begins with.
std::string FailureMarkerStem()
{
    std::string stem = resultMarkers[0].text;
    for (const ResultMarker& marker : resultMarkers) {
        const std::string_view text = marker.text;
        const auto differ = std::mismatch(stem.begin(), stem.end(), text.begin(), text.end()).first;
        stem.erase(differ, stem.end());
    }
    return stem;
}

// The end of --help: the options --set takes, where they are kept, the exit statuses.
std::string HelpFooter()
{
    std::string s = "Options of --set (saved in " + DefaultConfigDir() +
                    "/" OPTIONS_FILE_NAME " unless --config-dir names another directory):\n";
    for (int k = 0; k < ExportOptions::Count; k++) {
        const ExportOptionInfo& info = ExportOptionTable[k];
        std::string limits = info.isFlag            ? "0 or 1"
                             : info.min <= info.max ? std::to_string(info.min) + " to " + std::to_string(info.max)
                                                    : "a frame of the scene's animation range";
        std::string name = info.name;
        s += "  " + name;
        s.append(18 - name.size(), ' ');
        s += limits + ", default " + std::to_string(DefaultExportOptions[k]) + "\n";
    }
    s += "\nExit status:\n"
         "  0    exported; the file ends with " +
         std::string(EXPORT_OK_MARKER) +
         "\n"
         "  1    exported with failure markers (" +
         FailureMarkerStem() +
         "...) at the end of the file\n"
         "  2    nothing written: bad command line, refused output or --set value, a scene that\n"
         "       does not load (its reader refused it, crashed or overran --import-timeout), a file\n"
         "       that cannot be written (the message names it and why)\n"
         "  3    cancelled in the preferences dialog, nothing written\n"
         "  4    exported as for 0 or 1 (the files are in place), but what comes after failed: the\n"
         "       options could not be saved, the --preview picture or the --report not made\n"
         "  130  interrupted (Ctrl-C; 128 + the signal for SIGTERM and SIGHUP), nothing written; an\n"
         "       interrupt once the files are in place ends with 0, 1 or 4 as above\n"
         "  A batch ends with the worst status of its scenes. --check: 0 clean, 1 findings,\n"
         "  2 the file cannot be read.\n"
         "  --render: 0 drawn, 1 findings (the first is shown), 2 nothing drawn.";
    return s;
}

// 1 or 2 when an output names standard output ("-") or standard error, which are
// written to rather than replaced; 0 for a file.
int StandardStream(const std::string& output)
{
    if (output == "-" || output == "/dev/stdout" || output == "/dev/fd/1" || output == "/proc/self/fd/1")
        return 1;
    if (output == "/dev/stderr" || output == "/dev/fd/2" || output == "/proc/self/fd/2")
        return 2;
    return 0;
}

// A mistake in what was parsed: it ends the run, with a hint.
[[noreturn]] void Mistake(const std::string& what) { throw AppError(what + "\nRun with --help for more information."); }

// What the parsed options ask for; a mistake when they cannot be taken.
void Complete(Request& r, const std::vector<std::string>& files, const std::vector<std::string>& setArgs)
{
    for (const std::string& arg : setArgs) {
        OptionSetting setting;
        std::string error;
        if (!ParseOptionSetting(arg, setting, error))
            Mistake(error);
        r.settings.push_back(setting);
    }
    if (r.action != Request::Action::Export)
        return;
    if (!r.outputDir.empty()) {
        if (files.empty())
            Mistake("--output-dir: no scene to export");
        r.action = Request::Action::Batch;
        r.scenes = files;
        return;
    }
    if (files.size() != 2)
        Mistake(files.size() < 2 ? "expected a SCENE and an OUTPUT.vek (or SCENE... --output-dir DIR)"
                                 : "one SCENE and one OUTPUT.vek; several scenes go with --output-dir DIR");
    r.scenes = {files[0]};
    r.output = files[1];
    r.outputStream = StandardStream(r.output);
    if (r.outputStream && !r.render.preview.empty())
        Mistake("--preview draws a file, and the Vek file goes to a stream: give an output file");
    if (r.outputStream == 1 && r.reportPath == "-")
        Mistake("the Vek file and the report cannot both go to standard output");
}

// The options that hold a value or a flag, whatever the action.
void AddSettings(const Request& r, std::vector<std::string>& args)
{
    const char* up = r.up == ImportOptions::Up::Y ? "y" : r.up == ImportOptions::Up::Z ? "z" : "auto";
    args.insert(args.end(), {"--config-dir", r.configDir, "--module", r.modulePath, "--up", up});
    const std::pair<bool, const char*> flags[] = {{r.noPrompt, "--no-prompt"}, {r.selectedOnly, "--selected-only"},
                                                  {r.quiet, "--quiet"},        {r.noSave, "--no-save"},
                                                  {r.force, "--force"},        {r.render.settings.outlines, "--wire"}};
    for (const auto& [set, flag] : flags)
        if (set)
            args.emplace_back(flag);
    if (r.scale != 1) {
        char text[32];
        auto end = std::to_chars(text, text + sizeof(text), r.scale).ptr; // shortest exact form, whatever the locale
        args.insert(args.end(), {"--scale", std::string(text, end)});
    }
    const std::pair<const std::string&, const char*> texts[] = {
        {r.textureRoot, "--texture-root"},      {r.reportPath, "--report"}, {r.render.preview, "--preview"},
        {r.render.settings.camera, "--camera"}, {r.checkPath, "--check"},   {r.recoverDir, "--recover"}};
    for (const auto& [text, option] : texts)
        if (!text.empty())
            args.insert(args.end(), {option, text});
    const std::pair<const std::optional<std::uint64_t>, const char*> sizes[] = {
        {r.maxMemory, "--max-memory"}, {r.importTimeout, "--import-timeout"}, {r.maxOutput, "--max-output"}};
    for (const auto& [size, option] : sizes)
        if (size)
            args.insert(args.end(), {option, std::to_string(*size)});
    for (const OptionSetting& s : r.settings)
        args.insert(args.end(), {"--set", s.text});
    if (!r.render.files.empty())
        args.insert(args.end(), {"--render", r.render.files.at(0), r.render.files.at(1)});
    const render::RenderSettings& picture = r.render.settings;
    if (picture.width != render::RenderSettings{}.width || picture.height != render::RenderSettings{}.height)
        args.insert(args.end(), {"--size", std::to_string(picture.width) + "x" + std::to_string(picture.height)});
}

// What the parser fills in, from which the request is then made.
struct Parsed {
    Request r;
    bool about = false, showOptions = false, version = false, listFormats = false;
    std::vector<std::string> setArgs, files;
    std::string upAxis = "auto";
    std::uint64_t maxMemory = 0, maxOutput = 0;
    unsigned importTimeout = 0;
    CLI::Option* maxMemoryOption = nullptr;
    CLI::Option* maxOutputOption = nullptr;
    CLI::Option* importTimeoutOption = nullptr;
};

// The options of an export and of a batch: the dialog, the options, the report, where
// the files go, the module, the texture root and a model's axes and scale.
void AddExportOptions(CLI::App& app, Parsed& p)
{
    Request& r = p.r;
    app.add_flag("--no-prompt", r.noPrompt, "Export without showing the preferences dialog");
    app.add_flag("--selected-only", r.selectedOnly, "Export only the selected nodes");
    app.add_option("--set", p.setArgs,
                   "Set an option as in the preferences dialog, within its limits, and confirm it "
                   "(e.g. decimals=3; repeatable; names below)")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    app.add_flag("--no-save", r.noSave, "Export with the --set values without saving the options");
    app.add_flag("--quiet,-q", r.quiet, "Print only errors: no summary, message boxes only when nothing is written");
    app.add_option("--report", r.reportPath,
                   "Write the export's figures and failures to FILE.json (- for standard output)")
        ->type_name("FILE.json");
    app.add_option("--output-dir", r.outputDir,
                   "Export every SCENE to DIR/<stem>.vek, and the scenes of every FOLDER to the same places under "
                   "DIR, each in its own process")
        ->type_name("DIR");
    app.add_flag("--force", r.force, "In a batch, export the scenes whose outputs are up to date as well");
    app.add_option("-j,--jobs", r.jobs, "Exports of a batch running at once (default: the number of cores)")
        ->check(CLI::Range(1, 1024));
    app.add_option("--config-dir", r.configDir, "Directory of the options file (default below)")->type_name("DIR");
    app.add_option("--module", r.modulePath,
                   "Export module to load (default: the ExportToVek.dle installed with vekexport)");
    app.add_option("--texture-root", r.textureRoot,
                   "Write the paths of textures under DIR relative to it, as those inside a Partition directory")
        ->type_name("DIR");
    app.add_option("--up", p.upAxis, "Up axis of a model file (default: its format's convention)")
        ->check(CLI::IsMember({"auto", "y", "z"}));
    app.add_option("--scale", r.scale,
                   "Multiply a model's scene by FACTOR, once it is in metres or its own unit (e.g. 100 for a "
                   "level built in centimetres)")
        ->check(CLI::PositiveNumber & CLI::Range(1e-6, 1e6))
        ->type_name("FACTOR");
}

// The limits of a run, each kept apart from its default until it is given.
void AddLimitOptions(CLI::App& app, Parsed& p)
{
    p.maxMemoryOption =
        app.add_option("--max-memory", p.maxMemory,
                       "Memory the run may take, e.g. 4G (0: no limit; default: the larger of 2G and 48 times "
                       "the scene file's size)")
            ->transform(CLI::AsSizeValue(false))
            ->type_name("SIZE");
    p.maxOutputOption = app.add_option("--max-output", p.maxOutput,
                                       "Largest .box file an export may write, e.g. 1G (default: the memory budget)")
                            ->transform(CLI::AsSizeValue(false))
                            ->type_name("SIZE");
    p.importTimeoutOption =
        app.add_option("--import-timeout", p.importTimeout,
                       "Seconds a model's reader may run before the file is taken as one it never finishes (0: no "
                       "limit; default: 60 plus 2 per MiB of the file)")
            ->type_name("SECONDS");
}

// The actions other than an export, and the files an export or a batch names.
void AddActionOptions(CLI::App& app, Parsed& p)
{
    app.add_option("--check", p.r.checkPath, "Check a Vek file and the .box file beside it; exit 1 on findings")
        ->type_name("FILE.vek");
    app.add_option("--recover", p.r.recoverDir,
                   "Finish or undo what exports that died while putting their files in place left in DIR, and "
                   "remove their temporary files (every export does so beside its output)")
        ->type_name("DIR");
    app.add_flag("--show-options", p.showOptions, "Print the saved options, one NAME=VALUE a line");
    app.add_flag("--about", p.about, "Show the exporter's about box");
    app.add_flag("--version", p.version, "Print the versions of vekexport and of its export module");
    app.add_flag("--list-formats", p.listFormats, "Print the scene and model formats that can be read");
    app.add_option("files", p.files,
                   "SCENE OUTPUT.vek, or the scenes and folders of a batch; a scene is a JSON scene description, "
                   "an ASCII scene export (.ase) or any model Assimp reads")
        ->type_name("");
}

// The request the parsed options make: the action they name (the first of --recover,
// --check, --render, --version, --list-formats, --show-options, --about; else an
// export), the limits given, the defaults of what was not.
Request Settle(Parsed& p)
{
    Request& r = p.r;
    if (p.maxMemoryOption->count())
        r.maxMemory = p.maxMemory;
    if (p.importTimeoutOption->count())
        r.importTimeout = p.importTimeout;
    if (p.maxOutputOption->count())
        r.maxOutput = p.maxOutput;
    using A = Request::Action;
    r.action = !r.recoverDir.empty()     ? A::Recover
               : !r.checkPath.empty()    ? A::Check
               : !r.render.files.empty() ? A::Render
               : p.version               ? A::Version
               : p.listFormats           ? A::ListFormats
               : p.showOptions           ? A::ShowOptions
               : p.about                 ? A::About
                                         : A::Export;
    r.up = p.upAxis == "y" ? ImportOptions::Up::Y : p.upAxis == "z" ? ImportOptions::Up::Z : ImportOptions::Up::Auto;
    r.render.settings.textureRoot = r.textureRoot; // pictures find textures where the paths point
    if (r.configDir.empty())
        r.configDir = DefaultConfigDir();
    if (r.modulePath.empty())
        r.modulePath = DefaultModulePath();
    Complete(r, p.files, p.setArgs);
    return std::move(r);
}

} // namespace

std::vector<std::string> ToArguments(const Request& r)
{
    std::vector<std::string> args;
    AddSettings(r, args);
    using A = Request::Action;
    switch (r.action) {
    case A::ShowOptions:
        args.emplace_back("--show-options");
        break;
    case A::About:
        args.emplace_back("--about");
        break;
    case A::Version:
        args.emplace_back("--version");
        break;
    case A::ListFormats:
        args.emplace_back("--list-formats");
        break;
    case A::Batch:
        args.insert(args.end(), {"--output-dir", r.outputDir, "--jobs", std::to_string(r.jobs), "--"});
        args.insert(args.end(), r.scenes.begin(), r.scenes.end());
        break;
    case A::Export:
        args.insert(args.end(), {"--", r.scenes.at(0), r.output});
        break;
    case A::Check:
    case A::Render:
    case A::Recover:
        break; // their paths are among the settings
    }
    return args;
}

std::optional<Request> ParseCommandLine(int argc, char** argv, int& status)
{
    CLI::App app{"Exports a scene to the Vek format of the KELM 3D engine (with its .box collision file).\n"
                 "  vekexport [OPTIONS] SCENE OUTPUT.vek|-\n"
                 "  vekexport [OPTIONS] SCENE|FOLDER... --output-dir DIR [-j N] [--force]\n"
                 "  vekexport --check FILE.vek | --show-options | --about | --version | --list-formats",
                 "vekexport"};
    app.footer(HelpFooter());
    Parsed p;
    p.r.jobs = int(std::max(1u, std::thread::hardware_concurrency()));
    // --help lists the options in the order they are added.
    AddExportOptions(app, p);
    render::AddRenderOptions(app, p.r.render);
    AddLimitOptions(app, p);
    AddActionOptions(app, p);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        status = app.exit(e) == 0 ? EXIT_EXPORTED : EXIT_NOTHING;
        return std::nullopt;
    }
    return Settle(p);
}

} // namespace vek
