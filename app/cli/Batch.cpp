#include "cli/Batch.h"
#include "cli/BatchPlan.h"
#include "cli/Export.h"

#include "export/ResultMarkers.h"
#include "transaction.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

extern char** environ;

namespace vek {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Job {
    std::string scene, output, preview;
    std::string refusal;        // why it is not exported, known before it would start
    bool upToDate = false;      // not exported again
    std::string report, errors; // what the child process leaves in the batch's scratch directory
    pid_t pid = 0;
    Clock::time_point start;
};

// What the scenes came to, in the order of the jobs.
struct Tally {
    int worst = EXIT_EXPORTED;
    int counts[3] = {0, 0, 0}; // exported, with failure markers, not exported
    int upToDate = 0;
    long long triangles = 0;
    std::vector<nlohmann::ordered_json> reports;
};

// The children running, for an interrupt to stop.
std::mutex childrenLock;
std::set<pid_t> children;

std::string SelfPath()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, size_t(n)) : "vekexport";
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The command line of the child exporting one scene: the batch's own settings, no
// dialog, only errors on its standard error and its figures in a report.
std::vector<std::string> ChildArguments(const Request& r, const std::string& configDir, const Job& job)
{
    Request child = r;
    child.action = Request::Action::Export;
    child.scenes = {job.scene};
    child.output = job.output;
    child.outputDir.clear();
    child.force = false;
    child.noPrompt = child.quiet = true;
    child.configDir = configDir;
    child.reportPath = job.report;
    child.render.preview = job.preview;
    std::vector<std::string> args = ToArguments(child);
    args.insert(args.begin(), SelfPath());
    return args;
}

// Starts a child with standard output discarded and standard error kept in a file.
pid_t Spawn(const std::vector<std::string>& args, const std::string& errors)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    std::lock_guard<std::mutex> guard(childrenLock);
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw AppError(std::string("cannot start an export: ") + std::strerror(rc), args[0]);
    children.insert(pid);
    return pid;
}

// Waits for any child; its pid and exit status (128 + the signal when one ended it).
std::pair<pid_t, int> WaitForChild()
{
    int raw = 0;
    pid_t pid;
    while ((pid = waitpid(-1, &raw, 0)) < 0 && errno == EINTR) {
    }
    std::lock_guard<std::mutex> guard(childrenLock);
    children.erase(pid);
    return {pid, WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0)};
}

// The options of the batch, read once: the children start from a full copy of them in
// the scratch directory. Why not, when they cannot be read or copied.
std::optional<AppError> CopyOptions(const Request& r, const std::string& scratch)
{
    std::error_code ec;
    if (!fs::exists(r.OptionsPath(), ec))
        return std::nullopt; // the first export creates the defaults
    ExportOptions options;
    if (!ReadOptionsFile(r.OptionsPath(), options))
        return AppError(std::string("cannot read the options: ") + std::strerror(errno), r.OptionsPath());
    if (std::string note =
            OptionsFileLengthNote(r.OptionsPath(), static_cast<long long>(fs::file_size(r.OptionsPath(), ec)));
        !note.empty())
        Tell(Warning(note));
    // Checked: exports from a copy that failed would run with the defaults, and then
    // save them over the user's options.
    return WriteFileStaged(scratch + "/" OPTIONS_FILE_NAME, OptionsFileBytes(options));
}

// Saves the options the exports ended with, once, as every export saves them; a file
// that holds them already is left as it is. A new file is dated from the start of the
// batch, whose exports all ran with these options: their files count as newer than it.
std::optional<AppError> SaveOptions(const Request& r, const std::string& scratch, fs::file_time_type started)
{
    std::string bytes = ReadText(scratch + "/" OPTIONS_FILE_NAME);
    if (bytes.empty() || bytes == ReadText(r.OptionsPath()))
        return std::nullopt;
    std::error_code ec;
    fs::create_directories(r.configDir, ec);
    if (std::optional<AppError> error = WriteFileStaged(r.OptionsPath(), bytes))
        return error;
    fs::last_write_time(r.OptionsPath(), started, ec);
    return std::nullopt;
}

// The triangles of an export's faces, a four-vertex face counting two.
long long Triangles(const nlohmann::ordered_json& report)
{
    return report.is_object() ? report.value("triangles", 0LL) + 2 * report.value("quads", 0LL) : 0;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// 0 exported, 1 with failure markers, 2 not exported: an export whose report or
// preview failed after its files were put in place is counted by its markers.
int Outcome(int status, const nlohmann::ordered_json& report)
{
    if (status != EXIT_EXTRAS)
        return std::min(status, int(EXIT_NOTHING));
    bool markers = report.is_object() && report.contains("markers") && report["markers"].is_array() &&
                   !report["markers"].empty() && report["markers"][0] != EXPORT_OK_MARKER;
    return markers ? EXIT_MARKERS : EXIT_EXPORTED;
}

// "; MARKER BOX_7, BOX_9; MARKER Smoke": the nodes (or materials) of the report's
// failures after the marker of each, the first dozen of them.
std::string FailedNodes(const nlohmann::ordered_json& report)
{
    constexpr int Named = 12;
    std::string s, marker;
    int count = 0;
    for (const auto& failure : report.value("failures", nlohmann::ordered_json::array())) {
        if (count++ >= Named)
            continue;
        std::string m = failure.value("marker", ""), name = failure.value("node", failure.value("material", ""));
        if (m != marker)
            s.append("; ").append(m).append(" ");
        else
            s += ", ";
        s += name;
        marker = m;
    }
    if (count > Named)
        s += " and " + std::to_string(count - Named) + " more";
    return s;
}

// Why a scene was not exported, in one line: the export's error, without the scene's
// name it begins with; else the first thing the process said, else how it ended.
std::string Reason(const Job& job, int status, const nlohmann::ordered_json& report,
                   const std::vector<std::string>& said)
{
    std::string why = report.is_object() ? report.value("error", "") : "";
    if (why.empty() && !said.empty())
        why = said[0].starts_with(ProgramPrefix) ? said[0].substr(ProgramPrefix.size()) : said[0];
    if (why.empty())
        why = status > 128 ? "the export process was ended by signal " + std::to_string(status - 128)
                           : "the export process ended with status " + std::to_string(status);
    return why.starts_with(job.scene + ": ") ? why.substr(job.scene.size() + 2) : why;
}

// The line of one scene as its process ended: on standard output when its files are in
// place (unless --quiet), with its failures; on standard error when they are not, with
// the reason. What the process said on its standard error follows, there, indented.
void PrintOutcome(const Request& r, const Job& job, int status, const nlohmann::ordered_json& report, double seconds)
{
    std::vector<std::string> said = Lines(ReadText(job.errors));
    std::string reason;
    if (report.is_object() && Outcome(status, report) <= EXIT_MARKERS) {
        if (!r.quiet)
            std::printf("%3d  %s -> %s: %lld triangles, %.2f s%s%s\n", status, job.scene.c_str(), job.output.c_str(),
                        Triangles(report), seconds, FailedNodes(report).c_str(),
                        status == EXIT_EXTRAS ? " (the files are in place)" : "");
    } else {
        reason = Reason(job, status, report, said);
        std::fflush(stdout);
        std::fprintf(stderr, "%3d  %s: %s\n", status, job.scene.c_str(), reason.c_str());
    }
    std::fflush(stdout);
    for (const std::string& line : said)
        if (line != std::string(ProgramPrefix) + reason &&
            line != std::string(ProgramPrefix) + AppError(reason, job.scene).what())
            std::fprintf(stderr, "       %s\n", line.c_str());
}

std::vector<Job> PlanJobs(const Request& r, const std::string& scratch)
{
    std::vector<Job> jobs;
    for (PlannedScene& planned : PlanBatch(r)) {
        Job job;
        job.scene = std::move(planned.scene);
        job.output = std::move(planned.output);
        job.preview = std::move(planned.preview);
        job.refusal = std::move(planned.refusal);
        job.upToDate = planned.upToDate;
        const std::string base = scratch + "/" + std::to_string(jobs.size());
        job.report = base + ".json";
        job.errors = base + ".err";
        jobs.push_back(job);
    }
    return jobs;
}

// Counted by what became of its files (a picture that could not be made leaves them
// exported); the worst status is the process's.
void Record(Tally& tally, size_t k, int status, nlohmann::ordered_json report)
{
    tally.worst = std::max(tally.worst, status);
    tally.counts[Outcome(status, report)]++;
    tally.triangles += Triangles(report);
    tally.reports[k] = std::move(report);
}

// A scene decided before it would start: up to date, or refused.
void Settle(const Request& r, const Job& job, size_t k, Tally& tally)
{
    nlohmann::ordered_json report = {{"scene", job.scene}, {"output", job.output}};
    if (job.upToDate) {
        if (!r.quiet)
            std::printf("  0  %s -> %s: up to date\n", job.scene.c_str(), job.output.c_str());
        std::fflush(stdout);
        report["status"] = EXIT_EXPORTED;
        report["upToDate"] = true;
        tally.upToDate++;
        tally.reports[k] = std::move(report);
        return;
    }
    std::fprintf(stderr, "%3d  %s: %s\n", int(EXIT_NOTHING), job.scene.c_str(), job.refusal.c_str());
    report["status"] = EXIT_NOTHING;
    report["error"] = job.refusal;
    Record(tally, k, EXIT_NOTHING, std::move(report));
}

// Starts the export of a scene, in the folders its files go to; false when it is
// decided without one.
bool Start(const Request& r, const std::string& scratch, Job& job)
{
    if (job.upToDate || !job.refusal.empty())
        return false;
    for (const std::string& file : {job.output, job.preview}) {
        std::error_code ec;
        fs::path folder = fs::path(file).parent_path();
        if (!file.empty() && !folder.empty() && !fs::create_directories(folder, ec) && ec) {
            job.refusal = folder.string() + ": cannot create the folder: " + ec.message();
            return false;
        }
    }
    job.start = Clock::now();
    job.pid = Spawn(ChildArguments(r, scratch, job), job.errors);
    return true;
}

// A scene whose process ended.
void Finish(const Request& r, const Job& job, size_t k, int status, Tally& tally)
{
    nlohmann::ordered_json report = nlohmann::ordered_json::parse(ReadText(job.report), nullptr, false);
    if (!report.is_object())
        report = nullptr;
    PrintOutcome(r, job, status, report, std::chrono::duration<double>(Clock::now() - job.start).count());
    if (report.is_null()) // the process ended before its report
        report = {{"scene", job.scene}, {"output", job.output}, {"status", status}};
    Record(tally, k, status, std::move(report));
}

// Runs the jobs, `r.jobs` at once; the worst status, and the reports in order.
int RunJobs(const Request& r, const std::string& scratch, std::vector<Job>& jobs, nlohmann::ordered_json& reports)
{
    std::deque<size_t> pending;
    for (size_t k = 0; k < jobs.size(); k++)
        pending.push_back(k);
    std::map<pid_t, size_t> running;
    Tally tally;
    tally.reports.resize(jobs.size());
    while (!pending.empty() || !running.empty()) {
        while (!pending.empty() && int(running.size()) < r.jobs) {
            size_t k = pending.front();
            pending.pop_front();
            if (Start(r, scratch, jobs[k]))
                running[jobs[k].pid] = k;
            else
                Settle(r, jobs[k], k, tally);
        }
        if (running.empty())
            continue;
        auto [pid, status] = WaitForChild();
        if (auto it = running.find(pid); it != running.end()) {
            Finish(r, jobs[it->second], it->second, status, tally);
            running.erase(it);
        }
    }
    reports = nlohmann::ordered_json::array();
    for (auto& report : tally.reports)
        reports.push_back(std::move(report));
    if (!r.quiet) {
        std::string fresh = tally.upToDate ? ", " + std::to_string(tally.upToDate) + " up to date" : "";
        std::printf("%s%zu scenes: %d exported, %d with failure markers, %d not exported%s; %lld triangles\n",
                    std::string(ProgramPrefix).c_str(), jobs.size(), tally.counts[0], tally.counts[1], tally.counts[2],
                    fresh.c_str(), tally.triangles);
    }
    return tally.worst;
}

} // namespace

int RunBatch(const Request& r)
{
    auto start = Clock::now();
    const fs::file_time_type started = fs::file_time_type::clock::now();
    std::error_code ec;
    fs::create_directories(r.outputDir, ec);
    if (ec)
        return Told(AppError("cannot create the output directory: " + ec.message(), r.outputDir));
    std::string scratch = (fs::temp_directory_path() / "vekexport-XXXXXX").string();
    if (!mkdtemp(scratch.data()))
        return Told(AppError(std::strerror(errno), scratch));
    std::vector<Job> jobs = PlanJobs(r, scratch);
    int worst = EXIT_NOTHING;
    nlohmann::ordered_json reports = nlohmann::ordered_json::array();
    if (jobs.empty()) {
        Tell(AppError("no scene to export"));
    } else if (std::optional<AppError> error = CopyOptions(r, scratch)) {
        Tell(*error);
    } else {
        worst = RunJobs(r, scratch, jobs, reports);
        bool anyExported = std::any_of(reports.begin(), reports.end(), [](const nlohmann::ordered_json& j) {
            int status = j.value("status", int(EXIT_NOTHING));
            return (status <= EXIT_MARKERS || status == EXIT_EXTRAS) && !j.value("upToDate", false);
        });
        if (std::optional<AppError> unsaved =
                anyExported && !r.noSave ? SaveOptions(r, scratch, started) : std::nullopt) {
            Tell(*unsaved);
            worst = std::max(worst, int(EXIT_EXTRAS)); // the scenes' files stay in place
        }
    }
    fs::remove_all(scratch, ec);
    if (!r.reportPath.empty()) {
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        nlohmann::ordered_json all = {{"status", worst}, {"seconds", seconds}, {"scenes", reports}};
        if (std::optional<AppError> error = WriteFileStaged(r.reportPath, all.dump(2) + "\n")) {
            Tell(*error);
            worst = std::max(worst, int(worst <= EXIT_MARKERS ? EXIT_EXTRAS : EXIT_NOTHING));
        }
    }
    return worst;
}

void StopBatch(int signal)
{
    std::set<pid_t> stopping;
    {
        std::lock_guard<std::mutex> guard(childrenLock);
        stopping = children;
    }
    for (pid_t pid : stopping)
        kill(pid, signal);
    // Each removes its own staged files before it ends.
    for (pid_t pid : stopping)
        waitpid(pid, nullptr, 0);
}

} // namespace vek
