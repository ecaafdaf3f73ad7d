#include "cli/Export.h"

#include "cli/ImportGuard.h"
#include "cli/MemoryBudget.h"
#include "cli/ModuleHost.h"
#include "cli/SelectionCheck.h"
#include "terminal/Terminal.h"
#include "transaction.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>

namespace vek {

namespace fs = std::filesystem;

namespace {

// Why an export to `output` is refused before anything is read; "" when it is not.
std::string OutputRefusal(const std::string& scene, const std::string& output)
{
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

// Says so when the options file is not 72 bytes long: it is then read only in part.
void NoteOptionsFileLength(const std::string& path)
{
    std::error_code ec;
    auto bytes = fs::file_size(path, ec);
    std::string note = ec ? "" : OptionsFileLengthNote(path, (long long)bytes);
    if (!note.empty())
        std::fprintf(stderr, "vekexport: %s\n", note.c_str());
}

// Writes the embedded textures of a model beside the output, staged with the export.
bool WriteExtraFiles(const Scene& scene)
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

// The dialog on the terminal; a terminal that cannot show it gets the behaviour of no
// terminal at all: the default button is pressed.
void TerminalFrontEnd(DialogSession& session)
{
    if (!term::Terminal::Get().RunDialog(session))
        PressDefaultButton(session);
}

std::unique_ptr<Scene> LoadScene(const Request& request)
{
    ImportOptions options;
    options.up = request.up;
    options.scale = request.scale;
    // Texture paths are absolute, as the application keeps them.
    fs::path out = fs::absolute(request.output);
    options.embeddedTextureBase = (out.parent_path() / out.stem()).string();
    std::error_code rootError;
    if (!request.textureRoot.empty() && fs::is_directory(request.textureRoot, rootError))
        options.textureRoot = fs::absolute(request.textureRoot).lexically_normal().string();
    options.progress = !request.quiet;
    // Assimp's readers may crash or never return: the run goes on in a child process.
    const std::string& file = request.scenes[0];
    options.beforeModelImport = [&request, &file] {
        ContinueInChild(file, request.importTimeout ? *request.importTimeout : DefaultImportTimeout(file));
    };
    std::unique_ptr<Scene> scene = LoadSceneFile(file, options);
    ImportEnded();
    scene->SetPluginConfigDir(request.configDir);
    // Models name their textures by absolute paths; a root that is no directory here
    // (D:\Engine, say) is taken as it is written.
    std::error_code ec;
    bool here = fs::is_directory(request.textureRoot, ec);
    scene->SetTextureRootDir(here ? fs::absolute(request.textureRoot).lexically_normal().string()
                                  : request.textureRoot);
    scene->Activate();
    return scene;
}

// Message boxes go to the terminal, or to standard error as "Caption: text"; with
// --quiet they are held, to be told only when the export fails.
void ShowMessageBoxes(bool terminal, bool quiet, std::vector<std::string>& held)
{
    SetMessageBoxHandler([terminal, quiet, &held](HWND, const char* text, const char* caption, UINT) {
        if (quiet)
            held.push_back(std::string(caption) + ": " + text);
        else if (!terminal || !term::Terminal::Get().ShowMessageBox(text, caption)) {
            const char* erase = isatty(STDERR_FILENO) ? "\r\033[K" : ""; // a progress bar's line
            std::fprintf(stderr, "%s%s: %s\n", erase, caption, text);
        }
        return IDOK;
    });
}

// A bar on standard error, when it is a terminal, for an export that runs longer than a
// second; erased when the export ends.
class ProgressBar {
public:
    ProgressBar(const Scene& scene, const std::string& name, bool wanted)
    {
        if (wanted && isatty(STDERR_FILENO))
            drawer = std::thread([this, &scene, name] { Run(scene, name); });
    }
    ~ProgressBar()
    {
        if (!drawer.joinable())
            return;
        {
            std::lock_guard<std::mutex> guard(lock);
            done = true;
        }
        wake.notify_one();
        drawer.join();
    }

private:
    std::thread drawer;
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;

    void Run(const Scene& scene, const std::string& name)
    {
        std::unique_lock<std::mutex> guard(lock);
        if (wake.wait_for(guard, std::chrono::seconds(1), [this] { return done; }))
            return;
        while (!wake.wait_for(guard, std::chrono::milliseconds(100), [this] { return done; })) {
            int percent = int(scene.ExportProgress() * 100);
            std::string bar(size_t(percent / 5), '#');
            std::fprintf(stderr, "\rexporting %s: [%-20s] %3d%%", name.c_str(), bar.c_str(), percent);
            std::fflush(stderr);
        }
        std::fprintf(stderr, "\r\033[K");
    }
};

// Runs the module's exporter on the scene; its result.
int CallExporter(const Request& request, Scene& scene, bool suppressPrompts)
{
    ExportModule module(request.modulePath);
    std::unique_ptr<SceneExport> exporter = module.CreateExporter();
    DWORD options = 0;
    if (request.selectedOnly && exporter->SupportsOptions(0, SCENE_EXPORT_SELECTED))
        options |= SCENE_EXPORT_SELECTED;
    ExpInterface ei;
    return exporter->DoExport(request.output.c_str(), &ei, &scene, suppressPrompts ? TRUE : FALSE, options);
}

// Reads the staged Vek and ".box" files back: what they hold and how they end.
void CountStaged(const std::string& output, ExportResult& result)
{
    CheckReport report;
    for (const std::string& name : StagedFiles()) {
        bool vek = name == output, box = name.ends_with(".box");
        if (!vek && !box)
            continue;
        if (std::FILE* f = _tfopen(name.c_str(), "rb")) {
            if (vek)
                CountVekStream(f, name, report);
            else
                CheckBoxStream(f, name, report, nullptr);
            std::fclose(f);
        }
    }
    result.figures = report.figures;
}

// The status of an export that ran to its end, from the markers its file ends with.
int StatusFromMarkers(const VekFigures& figures)
{
    if (figures.ok)
        return EXIT_EXPORTED;
    return figures.markers.empty() ? EXIT_NOTHING : EXIT_MARKERS;
}

// The options the exporter ran with, as it saved them at its end (staged with the other
// files). With --no-save that file leaves the transaction: the options file stays as it was.
void TakeOptionsUsed(const Request& request, ExportResult& result)
{
    for (const std::string& name : StagedFiles()) {
        if (fs::path(name).filename() != OPTIONS_FILE_NAME)
            continue;
        if (std::FILE* f = _tfopen(name.c_str(), "rb")) {
            result.options = ReadOptionsStream(f);
            std::fclose(f);
        }
        if (request.noSave)
            DiscardStagedFile(name);
    }
}

// Commits the staged files when the exporter ran to its end; otherwise nothing stays behind.
void Conclude(const Request& request, int exporterResult, const ScriptResult& script, ExportResult& result)
{
    std::vector<std::string> staged = StagedFiles();
    bool written = std::find(staged.begin(), staged.end(), request.output) != staged.end();
    if (script.refused || !exporterResult || !written) {
        result.error = script.refused ? script.message : FileTransactionError();
        AbortFileTransaction();
        result.status = exporterResult && !script.refused ? EXIT_CANCELLED : EXIT_NOTHING;
        if (result.status == EXIT_NOTHING && result.error.empty())
            result.error = request.output + ": the export stopped";
        return;
    }
    if (std::string error = FileTransactionError(); !error.empty()) { // a write failed
        AbortFileTransaction();
        result.error = error;
        return;
    }
    CountStaged(request.output, result);
    result.status = StatusFromMarkers(result.figures);
    if (result.status == EXIT_NOTHING) {
        AbortFileTransaction();
        result.error = request.output + ": the file does not end with its result markers";
        return;
    }
    if (!CommitFileTransaction()) {
        result.status = EXIT_NOTHING;
        result.error = FileTransactionError();
        return;
    }
    for (const std::string& name : staged) {
        std::error_code ec;
        if (fs::path(name).filename() != OPTIONS_FILE_NAME)
            result.files.push_back({name, (long long)fs::file_size(name, ec)});
    }
}

void Export(const Request& request, ExportResult& result)
{
    if (std::string refusal = OutputRefusal(request.scenes[0], request.output); !refusal.empty()) {
        result.error = refusal;
        return;
    }
    std::error_code ec;
    fs::create_directories(request.configDir, ec);
    if (ec) {
        result.error = request.configDir + ": cannot create the configuration directory: " + ec.message();
        return;
    }
    LimitMemory(request.scenes[0], request.maxMemory ? *request.maxMemory : DefaultMemoryBudget(request.scenes[0]));
    std::unique_ptr<Scene> scene = LoadScene(request);
    result.warnings = scene->Warnings();
    for (const std::string& warning : result.warnings)
        if (!request.quiet)
            std::fprintf(stderr, "vekexport: %s: %s\n", request.scenes[0].c_str(), warning.c_str());
    if (request.selectedOnly && !CheckSelection(*scene, request.scenes[0]))
        return; // said on standard error

    // --set values go through the dialog's own procedure, unseen, with or without --no-prompt.
    const bool terminal = term::HaveTerminal() && !request.noPrompt && request.settings.empty();
    ScriptResult script;
    if (!request.settings.empty())
        SetDialogFrontEnd(PreferencesScript(request.settings, script));
    else if (terminal)
        SetDialogFrontEnd(TerminalFrontEnd);
    std::vector<std::string> held;
    ShowMessageBoxes(terminal, request.quiet, held);
    NoteOptionsFileLength(request.OptionsPath());

    // The exporter reports each failure with its node in the application's log, for the
    // summary; its other entries are told as message boxes are.
    SetLogHandler([&result, &held, &request](DWORD, const char* title, const char* text) {
        if (std::string(title).starts_with("#ERROR_EXPORT_"))
            result.failures.push_back({title, text});
        else if (request.quiet)
            held.push_back(std::string(title) + ": " + text);
        else
            std::fprintf(stderr, "%s: %s\n", title, text);
    });
    BeginFileTransaction();
    if (!WriteExtraFiles(*scene))
        throw std::runtime_error(FileTransactionError());
    int exporterResult;
    {
        // Not over a dialog or message box drawn on the terminal.
        ProgressBar bar(*scene, request.output, !request.quiet && !terminal);
        exporterResult = CallExporter(request, *scene, request.noPrompt && request.settings.empty());
    }
    SetLogHandler(nullptr);
    term::Terminal::Get().Close();
    SetMessageBoxHandler(nullptr);
    SetDialogFrontEnd(nullptr);
    if (exporterResult && !script.refused)
        TakeOptionsUsed(request, result);
    Conclude(request, exporterResult, script, result);
    if (result.status == EXIT_NOTHING)
        for (const std::string& box : held)
            std::fprintf(stderr, "%s\n", box.c_str());
}

std::string Plural(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "exportCameras=1, decimals=2": the options that differ from their defaults, in file order.
std::string ChangedOptions(const ExportOptions& options)
{
    std::string s;
    for (int k = 0; k < ExportOptions::Count; k++)
        if (options[k] != DefaultExportOptions[k])
            s += (s.empty() ? "" : ", ") + std::string(ExportOptionTable[k].name) + "=" + std::to_string(options[k]);
    return s.empty() ? "all at their defaults" : s + "; the others at their defaults";
}

// Nothing of an export that did not end stays behind.
void Abandon(ExportResult& result, std::string error)
{
    AbortFileTransaction();
    SetMessageBoxHandler(nullptr);
    SetDialogFrontEnd(nullptr);
    SetLogHandler(nullptr);
    term::Terminal::Get().Close();
    result.status = EXIT_NOTHING;
    result.error = std::move(error);
}

} // namespace

bool WriteFileStaged(const std::string& path, const std::string& bytes)
{
    BeginFileTransaction();
    if (std::FILE* f = _tfopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f); // a failed write or close is kept by the transaction
    }
    if (CommitFileTransaction())
        return true;
    std::fprintf(stderr, "vekexport: %s\n", FileTransactionError().c_str());
    return false;
}

ExportResult RunExport(const Request& request)
{
    auto start = std::chrono::steady_clock::now();
    ExportResult result;
    try {
        Export(request, result);
    } catch (const std::bad_alloc&) {
        Abandon(result, MemoryExceededMessage());
    } catch (const std::exception& e) {
        Abandon(result, e.what());
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

std::string FormatSummary(const ExportResult& r)
{
    if (r.files.empty())
        return "";
    std::string s = "vekexport: wrote";
    for (size_t k = 0; k < r.files.size(); k++)
        s += (k == 0                    ? " "
              : k + 1 == r.files.size() ? " and "
                                        : ", ") +
             r.files[k].first + " (" + Plural(r.files[k].second, "byte", "bytes") + ")";
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.2f", r.seconds);
    s += std::string(" in ") + seconds + " s\n";
    const VekFigures& f = r.figures;
    s += "  " + Plural(f.shells, "shell", "shells") + ", " + Plural(f.meshes, "mesh", "meshes") + ", " +
         Plural(f.lights, "light", "lights") + ", " + Plural(f.cameras, "camera", "cameras") + "; " +
         Plural(f.vertices, "vertex", "vertices") + ", " + Plural(f.quads, "four-vertex face", "four-vertex faces") +
         ", " + Plural(f.triangles, "triangle", "triangles") + "; " + Plural(f.materials, "material", "materials") +
         ", " + Plural(f.topologies, "topology block", "topology blocks") + ", " +
         Plural(f.animations, "animation", "animations") + ", " + Plural(f.boxes, "collision box", "collision boxes") +
         "\n";
    for (const std::string& warning : r.warnings)
        s += "  " + warning + "\n";
    for (const std::string& marker : f.markers) {
        s += "  " + marker;
        for (const ExportFailure& failure : r.failures)
            if (failure.marker == marker)
                s += " " + failure.name;
        s += "\n";
    }
    if (r.options)
        s += "  options: " + ChangedOptions(*r.options) + "\n";
    return s;
}

std::string FormatJsonReport(const Request& request, const ExportResult& r)
{
    const VekFigures& f = r.figures;
    nlohmann::ordered_json j;
    j["scene"] = request.scenes.empty() ? "" : request.scenes[0];
    j["output"] = request.output;
    j["status"] = r.status;
    if (!r.error.empty())
        j["error"] = r.error;
    j["seconds"] = r.seconds;
    j["files"] = nlohmann::ordered_json::array();
    for (const auto& [path, bytes] : r.files)
        j["files"].push_back({{"path", path}, {"bytes", bytes}});
    j["shells"] = f.shells;
    j["meshes"] = f.meshes;
    j["lights"] = f.lights;
    j["cameras"] = f.cameras;
    j["vertices"] = f.vertices;
    j["quads"] = f.quads;
    j["triangles"] = f.triangles;
    j["materials"] = f.materials;
    j["topologies"] = f.topologies;
    j["animations"] = f.animations;
    j["collisionBoxes"] = f.boxes;
    j["markers"] = f.ok ? std::vector<std::string>{"#EXPORT_OK"} : f.markers;
    j["warnings"] = r.warnings;
    j["failures"] = nlohmann::ordered_json::array();
    for (const ExportFailure& failure : r.failures)
        j["failures"].push_back(
            {{"marker", failure.marker}, {failure.marker == "#ERROR_EXPORT_MTL" ? "material" : "node", failure.name}});
    if (r.options) {
        nlohmann::ordered_json& options = j["options"] = nlohmann::ordered_json::object();
        for (int k = 0; k < ExportOptions::Count; k++)
            options[ExportOptionTable[k].name] = (*r.options)[k];
    }
    return j.dump(2) + "\n";
}

} // namespace vek
