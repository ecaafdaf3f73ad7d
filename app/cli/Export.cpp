#include "cli/Export.h"

#include "cli/ExportSession.h"
#include "cli/ImportGuard.h"
#include "cli/Interrupts.h"
#include "cli/MemoryBudget.h"
#include "cli/ModuleHost.h"
#include "cli/SelectionCheck.h"
#include "export/ResultMarkers.h"
#include "transaction.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

namespace vek {

namespace fs = std::filesystem;

namespace {

// "a FIFO", "a character device", ... for what a path that is no regular file holds.
std::string FileKind(mode_t mode)
{
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

// Refuses an export to `output` before anything is read, saying why.
void RefuseOutput(const std::string& scene, const std::string& output)
{
    std::error_code ec;
    if (output.ends_with("/") || fs::is_directory(output, ec))
        throw AppError("is a directory; the output is a file", output);
    if (fs::equivalent(scene, output, ec) ||
        fs::absolute(scene, ec).lexically_normal() == fs::absolute(output, ec).lexically_normal())
        throw AppError("is the scene itself; it would be overwritten", output);
    // A link is kept and the file it names replaced; a link to nothing names no file.
    struct stat st;
    char target[PATH_MAX];
    if (lstat(output.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !realpath(output.c_str(), target))
        throw AppError(errno == ELOOP ? "is a symbolic link that loops; it names no file to write"
                                      : "is a symbolic link to a file that cannot be reached (" +
                                            std::string(std::strerror(errno)) + ")",
                       output);
    // A device, pipe or socket is written to by whoever opened it, not replaced: the
    // export would rename a regular file over it.
    if (struct stat found; stat(output.c_str(), &found) == 0 && !S_ISREG(found.st_mode))
        throw AppError("is " + FileKind(found.st_mode) +
                           ", not a regular file; it is never replaced (- writes the Vek file to standard output)",
                       output);
    // The ".box" file takes the output's name with its extension replaced.
    if (output.ends_with(".box"))
        throw AppError("the \".box\" collision file of this output would be the output itself", output);
}

// Says so when the options file is not 72 bytes long: it is then read only in part.
void NoteOptionsFileLength(const std::string& path)
{
    std::error_code ec;
    auto bytes = fs::file_size(path, ec);
    std::string note = ec ? "" : OptionsFileLengthNote(path, static_cast<long long>(bytes));
    if (!note.empty())
        Tell(Warning(note));
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

// Reads the staged Vek and ".box" files back: what they hold and how they end, and
// the first thing the checker finds in them ("" when it finds nothing).
std::string CountStaged(const std::string& output, ExportResult& result)
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
    return report.findings.empty() ? "" : FormatFinding(report.findings.front());
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

// Why the staged files must not be put in place; none when they can be. Sets the
// status they would have.
std::optional<AppError> Refusal(const Request& request, int exporterResult, const ScriptResult& script,
                                ExportResult& result)
{
    std::vector<std::string> staged = StagedFiles();
    bool written = std::find(staged.begin(), staged.end(), request.output) != staged.end();
    if (script.refused || !exporterResult || !written) {
        result.status = exporterResult && !script.refused ? EXIT_CANCELLED : EXIT_NOTHING;
        if (std::string error = script.refused ? script.message : FileTransactionError(); !error.empty())
            return AppError(error);
        if (result.status == EXIT_NOTHING)
            return AppError("the export stopped", request.output);
        return std::nullopt;
    }
    if (std::string error = FileTransactionError(); !error.empty()) // a write failed
        return AppError(error);
    // A file the checker would refuse is not one to put in place (a name longer than
    // it reads, say).
    if (std::string finding = CountStaged(request.output, result); !finding.empty())
        return AppError(finding + " (the file written does not pass its check)");
    result.status = StatusFromMarkers(result.figures);
    if (result.status == EXIT_NOTHING)
        return AppError("the file does not end with its result markers", request.output);
    return std::nullopt;
}

// Writes the staged Vek file to the stream the output names, whole, and takes it out
// of the transaction: the other files (the options) are then put in place as usual.
// Files that need a place beside the Vek file (a ".box" file, textures) are refused
// before a byte is written. Why nothing was written, when nothing was.
std::optional<AppError> StreamOutput(const Request& request, ExportResult& result)
{
    const char* stream = request.outputStream == 1 ? "standard output" : "standard error";
    for (const std::string& name : StagedFiles())
        if (name != request.output && fs::path(name).filename() != OPTIONS_FILE_NAME)
            return AppError("the export also writes " +
                                (name.ends_with(".box") ? std::string("a \".box\" collision file")
                                                        : "the texture " + fs::path(name).filename().string()) +
                                ", which needs a place beside the Vek file: give an output file",
                            stream);
    std::FILE* in = _tfopen(request.output.c_str(), "rb");
    if (!in)
        return AppError(FileTransactionError());
    std::fflush(request.outputStream == 1 ? stdout : stderr);
    long long total = 0;
    char buf[1 << 16];
    int err = 0;
    for (size_t n; !err && (n = std::fread(buf, 1, sizeof(buf), in)) > 0;)
        for (size_t done = 0; done < n;) {
            ssize_t w = write(request.outputStream, buf + done, n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                err = w < 0 ? errno : EIO;
                break;
            }
            done += size_t(w);
            total += w;
        }
    if (!err && std::ferror(in))
        err = EIO;
    std::fclose(in);
    if (err)
        return AppError(std::strerror(err), stream);
    DiscardStagedFile(request.output);
    result.files.push_back({stream, total});
    return std::nullopt;
}

// Commits the staged files when the exporter ran to its end; otherwise they stay
// staged, for the session to remove. Once they are in place an interrupt no longer undoes them.
void Conclude(const Request& request, int exporterResult, const ScriptResult& script, ExportResult& result)
{
    std::vector<std::string> staged = StagedFiles();
    std::optional<AppError> refusal = Refusal(request, exporterResult, script, result);
    // A cancelled export has nothing to put in place: what comes after the files (the
    // preview) must not take it for one that wrote them.
    if (result.status == EXIT_CANCELLED)
        return;
    if (refusal) {
        result.status = EXIT_NOTHING;
        result.error = std::move(refusal);
        return;
    }
    if (request.outputStream) {
        if (std::optional<AppError> error = StreamOutput(request, result)) {
            result.status = EXIT_NOTHING;
            result.error = std::move(error);
            return;
        }
    }
    // Another export to the same place may be putting its files there: waited for
    // while an interrupt can still stop this one.
    LockFileTransactionTargets();
    {
        InterruptsHeld held;
        if (!CommitFileTransaction()) {
            result.status = EXIT_NOTHING;
            result.error = AppError(FileTransactionError());
            return;
        }
        result.committed = true;
        const bool extras = !request.render.preview.empty() || !request.reportPath.empty();
        SetStatusOnInterrupt(extras ? int(EXIT_EXTRAS) : result.status);
    }
    // The options are put in place last, on their own: the export stands without them.
    if (std::string error = FileTransactionError(); !error.empty())
        result.extrasFailed.push_back("the options could not be saved: " + error);
    for (const std::string& name : staged) {
        std::error_code ec;
        if (fs::path(name).filename() != OPTIONS_FILE_NAME && !(request.outputStream && name == request.output))
            result.files.push_back({name, static_cast<long long>(fs::file_size(name, ec))});
    }
}

// Recovers what runs that died left beside the output, and says so; throws when it cannot.
void RecoverOutputDirectory(const std::string& output)
{
    std::string dir = fs::path(output).parent_path().string();
    if (dir.empty())
        dir = ".";
    std::string said;
    std::string error = RecoverFiles(dir, said);
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);)
        Tell(Warning(line, dir));
    if (!error.empty())
        throw AppError(error);
}

// The scene loaded and the preferences settled: the export through the module, its
// files put in place when it ran to its end.
void ExportScene(const Request& request, Scene& scene, ExportResult& result)
{
    NoteOptionsFileLength(request.OptionsPath());
    std::vector<std::string> held;
    {
        ExportSession session(request);
        if (!WriteExtraFiles(scene))
            throw AppError(FileTransactionError());
        int exporterResult;
        {
            // Not over a dialog or message box drawn on the terminal.
            ProgressBar bar(scene, request.output, !request.quiet && !session.OnTerminal());
            exporterResult = CallExporter(request, scene, request.noPrompt && request.settings.empty());
        }
        result.failures = session.TakeFailures();
        if (exporterResult && !session.Script().refused)
            TakeOptionsUsed(request, result);
        Conclude(request, exporterResult, session.Script(), result);
        if (result.committed && !request.quiet)
            session.TellResult();
        held = session.TakeHeld();
    }
    if (result.status == EXIT_NOTHING)
        for (const std::string& box : held)
            std::fprintf(stderr, "%s\n", box.c_str());
}

// The private directory in which the Vek file of an export to a stream is staged;
// removed, empty, with the object or by an interrupt.
struct StreamScratch {
    std::string path;
    bool Make()
    {
        path = (fs::temp_directory_path() / "vekexport-XXXXXX").string();
        if (!mkdtemp(path.data()))
            return false;
        RemoveOnInterrupt(path);
        return true;
    }
    ~StreamScratch()
    {
        if (!path.empty())
            rmdir(path.c_str());
    }
    StreamScratch() = default;
    StreamScratch(const StreamScratch&) = delete;
    StreamScratch& operator=(const StreamScratch&) = delete;
};

void Export(const Request& asked, ExportResult& result)
{
    if (!asked.outputStream)
        RefuseOutput(asked.scenes[0], asked.output);
    // A symbolic link stays: the file it names is written, with its ".box" file and
    // textures beside that file.
    Request request = asked;
    if (asked.outputStream) // a name for the loader; the file is staged once the scene is read
        request.output = (fs::temp_directory_path() / "vekexport-stream.vek").string();
    char target[PATH_MAX];
    std::error_code ec;
    if (fs::is_symlink(asked.output, ec) && realpath(asked.output.c_str(), target))
        request.output = target;
    fs::create_directories(request.configDir, ec);
    if (ec)
        throw AppError("cannot create the configuration directory: " + ec.message(), request.configDir);
    // A stream has no directory of its own whose dead runs to recover.
    if (!asked.outputStream)
        RecoverOutputDirectory(request.output);
    const std::uint64_t budget = request.maxMemory ? *request.maxMemory : DefaultMemoryBudget(request.scenes[0]);
    LimitMemory(request.scenes[0], budget);
    SetOutputLimit(request.maxOutput ? *request.maxOutput : budget);
    std::unique_ptr<Scene> scene = LoadScene(request);
    result.warnings = scene->Warnings();
    for (const std::string& warning : result.warnings)
        if (!request.quiet)
            Tell(Warning(warning, request.scenes[0]));
    if (request.selectedOnly)
        CheckSelection(*scene, request.scenes[0]);
    // The module writes a file: for a stream it is staged in a private directory, made
    // only now, by the process that goes on with the run (a model is read by a new one).
    StreamScratch scratch;
    if (asked.outputStream) {
        if (!scene->ExtraFiles().empty())
            throw AppError("the model embeds textures, which need a place beside the Vek file: give an output file",
                           asked.outputStream == 1 ? "standard output" : "standard error");
        if (!scratch.Make())
            throw AppError(std::strerror(errno), scratch.path);
        request.output = scratch.path + "/stream.vek";
    }
    ExportScene(request, *scene, result);
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

// What an export that did not end comes to; the session took down what it installed,
// and nothing of it stays staged.
void Abandon(ExportResult& result, const AppError& error)
{
    if (result.committed) { // the files stay; only what came after failed
        result.extrasFailed.emplace_back(error.what());
        result.status = EXIT_EXTRAS;
        return;
    }
    result.status = error.Status();
    result.error = error;
}

} // namespace

std::optional<AppError> WriteFileStaged(const std::string& path, const std::string& bytes)
{
    if (path == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout))
            return std::nullopt;
        return AppError(std::strerror(errno), "standard output");
    }
    FileTransaction transaction;
    if (std::FILE* f = _tfopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f); // a failed write or close is kept by the transaction
    }
    if (CommitFileTransaction())
        return std::nullopt;
    return AppError(FileTransactionError());
}

int RunRecover(const Request& request)
{
    std::string said;
    std::string error = RecoverFiles(request.recoverDir, said);
    std::fputs(said.empty() ? (request.recoverDir + ": nothing to recover\n").c_str() : said.c_str(), stdout);
    if (error.empty())
        return EXIT_EXPORTED;
    return Told(AppError(error));
}

ExportResult RunExport(const Request& request)
{
    auto start = std::chrono::steady_clock::now();
    ExportResult result;
    try {
        Export(request, result);
    } catch (const AppError& e) {
        Abandon(result, e);
    } catch (const std::bad_alloc&) {
        Abandon(result, AppError(MemoryExceededMessage()));
    } catch (const std::exception& e) { // the scene loaders': they name their file and place
        Abandon(result, AppError(e.what()));
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

std::string FormatSummary(const ExportResult& r)
{
    if (r.files.empty())
        return "";
    std::string s = std::string(ProgramPrefix) + "wrote";
    for (size_t k = 0; k < r.files.size(); k++)
        s += (k == 0                    ? " "
              : k + 1 == r.files.size() ? " and "
                                        : ", ") +
             r.files[k].first + " (" + Plural(r.files[k].second, "byte", "bytes") + ")";
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.2f", r.seconds);
    s += std::string(" in ") + seconds + " s\n";
    const VekFigures& f = r.figures;
    s += "  ";
    const std::vector<FigureName>& names = FigureNames();
    for (size_t k = 0; k < names.size(); k++)
        s += Plural(f.counts[k], names[k].one, names[k].many) + names[k].separator;
    s += "\n";
    for (const std::string& warning : r.warnings)
        s += "  " + warning + "\n";
    for (const std::string& marker : f.markers) {
        s += "  " + marker;
        for (const ExportFailure& failure : r.failures)
            if (failure.marker == FindResultMarker(marker))
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
    if (r.error)
        j["error"] = r.error->what();
    j["seconds"] = r.seconds;
    j["files"] = nlohmann::ordered_json::array();
    for (const auto& [path, bytes] : r.files)
        j["files"].push_back({{"path", path}, {"bytes", bytes}});
    const std::vector<FigureName>& names = FigureNames();
    for (size_t k = 0; k < names.size(); k++)
        j[names[k].key] = f.counts[k];
    j["markers"] = f.ok ? std::vector<std::string>{EXPORT_OK_MARKER} : f.markers;
    j["warnings"] = r.warnings;
    j["failures"] = nlohmann::ordered_json::array();
    for (const ExportFailure& failure : r.failures) {
        const ResultMarker& marker = resultMarkers[failure.marker];
        j["failures"].push_back({{"marker", marker.text}, {marker.subject, failure.name}});
    }
    if (r.options) {
        nlohmann::ordered_json& options = j["options"] = nlohmann::ordered_json::object();
        for (int k = 0; k < ExportOptions::Count; k++)
            options[ExportOptionTable[k].name] = (*r.options)[k];
    }
    return j.dump(2) + "\n";
}

} // namespace vek
