#include "cli/Batch.h"
#include "cli/Export.h"

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
    std::string scene, output;
    std::string report, errors; // what the child process leaves in the batch's scratch directory
    pid_t pid = 0;
    Clock::time_point start;
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

std::string Stem(const std::string& scene)
{
    fs::path p(scene);
    std::string stem = p.stem().string();
    if (p.extension() == ".json" && stem.ends_with(".scene"))
        stem.resize(stem.size() - 6);
    return stem;
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
    const char* up = r.up == ImportOptions::Up::Y ? "y" : r.up == ImportOptions::Up::Z ? "z" : "auto";
    std::vector<std::string> args = {SelfPath(),   "--no-prompt", "--quiet", "--config-dir", configDir, "--module",
                                     r.modulePath, "--up",        up,        "--report",     job.report};
    if (r.selectedOnly)
        args.push_back("--selected-only");
    if (!r.textureRoot.empty())
        args.insert(args.end(), {"--texture-root", r.textureRoot});
    if (r.maxMemory)
        args.insert(args.end(), {"--max-memory", std::to_string(*r.maxMemory)});
    if (r.importTimeout)
        args.insert(args.end(), {"--import-timeout", std::to_string(*r.importTimeout)});
    for (const OptionSetting& s : r.settings) {
        args.push_back("--set");
        args.push_back(s.text);
    }
    args.insert(args.end(), {"--", job.scene, job.output});
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
        throw std::runtime_error(args[0] + ": cannot start an export: " + std::strerror(rc));
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
// the scratch directory. False, said on standard error, when they cannot be read.
bool CopyOptions(const Request& r, const std::string& scratch)
{
    std::error_code ec;
    if (!fs::exists(r.OptionsPath(), ec))
        return true; // the first export creates the defaults
    ExportOptions options;
    if (!ReadOptionsFile(r.OptionsPath(), options)) {
        std::fprintf(stderr, "vekexport: %s: cannot read the options: %s\n", r.OptionsPath().c_str(),
                     std::strerror(errno));
        return false;
    }
    if (std::string note = OptionsFileLengthNote(r.OptionsPath(), (long long)fs::file_size(r.OptionsPath(), ec));
        !note.empty())
        std::fprintf(stderr, "vekexport: %s\n", note.c_str());
    // Checked: exports from a copy that failed would run with the defaults, and then
    // save them over the user's options.
    return WriteFileStaged(scratch + "/" OPTIONS_FILE_NAME, OptionsFileBytes(options));
}

// Saves the options the exports ended with, once, as every export saves them.
bool SaveOptions(const Request& r, const std::string& scratch)
{
    std::string bytes = ReadText(scratch + "/" OPTIONS_FILE_NAME);
    if (bytes.empty())
        return true;
    std::error_code ec;
    fs::create_directories(r.configDir, ec);
    return WriteFileStaged(r.OptionsPath(), bytes);
}

// The triangles of an export's faces, a four-vertex face counting two.
long long Triangles(const nlohmann::ordered_json& report)
{
    return report.is_object() ? report.value("triangles", 0LL) + 2 * report.value("quads", 0LL) : 0;
}

// 0 exported, 1 with failure markers, 2 not exported: an export whose report or
// preview failed after its files were put in place is counted by its markers.
int Outcome(int status, const nlohmann::ordered_json& report)
{
    if (status != EXIT_EXTRAS)
        return std::min(status, int(EXIT_NOTHING));
    bool markers = report.is_object() && report.contains("markers") && report["markers"].is_array() &&
                   !report["markers"].empty() && report["markers"][0] != "#EXPORT_OK";
    return markers ? EXIT_MARKERS : EXIT_EXPORTED;
}

// The line of one scene, and what went wrong below it.
void PrintOutcome(const Job& job, int status, const nlohmann::ordered_json& report, double seconds)
{
    std::printf("%3d  %s -> %s: %lld triangles, %.2f s\n", status, job.scene.c_str(), job.output.c_str(),
                Triangles(report), seconds);
    std::istringstream errors(ReadText(job.errors));
    for (std::string line; std::getline(errors, line);)
        std::printf("       %s\n", line.c_str());
    if (status == EXIT_EXTRAS)
        std::printf("       exported: the files are in place\n");
    else if (status > EXIT_CANCELLED && status != 130 && report.is_null())
        std::printf("       the export process ended with status %d\n", status);
    std::fflush(stdout);
}

std::vector<Job> PlanJobs(const Request& r, const std::string& scratch, std::string& error)
{
    std::vector<Job> jobs;
    std::map<std::string, std::string> outputs;
    for (const std::string& scene : r.scenes) {
        Job job;
        job.scene = scene;
        job.output = (fs::path(r.outputDir) / (Stem(scene) + ".vek")).string();
        if (auto [it, fresh] = outputs.emplace(job.output, scene); !fresh) {
            error = it->second + " and " + scene + " would both be written to " + job.output;
            return {};
        }
        const std::string base = scratch + "/" + std::to_string(jobs.size());
        job.report = base + ".json";
        job.errors = base + ".err";
        jobs.push_back(job);
    }
    return jobs;
}

// Runs the jobs, `parallel` at once; the worst status, and the children's reports in order.
int RunJobs(const Request& r, const std::string& scratch, std::vector<Job>& jobs, nlohmann::ordered_json& reports)
{
    std::deque<size_t> pending;
    for (size_t k = 0; k < jobs.size(); k++)
        pending.push_back(k);
    std::map<pid_t, size_t> running;
    int worst = EXIT_EXPORTED, counts[3] = {0, 0, 0};
    long long triangles = 0;
    reports = nlohmann::ordered_json::array();
    std::vector<nlohmann::ordered_json> ordered(jobs.size());
    while (!pending.empty() || !running.empty()) {
        while (!pending.empty() && int(running.size()) < r.jobs) {
            Job& job = jobs[pending.front()];
            job.start = Clock::now();
            job.pid = Spawn(ChildArguments(r, scratch, job), job.errors);
            running[job.pid] = pending.front();
            pending.pop_front();
        }
        auto [pid, status] = WaitForChild();
        auto it = running.find(pid);
        if (it == running.end())
            continue;
        Job& job = jobs[it->second];
        running.erase(it);
        nlohmann::ordered_json report = nlohmann::ordered_json::parse(ReadText(job.report), nullptr, false);
        if (!report.is_object())
            report = nullptr;
        PrintOutcome(job, status, report, std::chrono::duration<double>(Clock::now() - job.start).count());
        if (report.is_null()) // the process ended before its report
            report = {{"scene", job.scene}, {"output", job.output}, {"status", status}};
        ordered[size_t(&job - jobs.data())] = report;
        worst = std::max(worst, status);
        counts[Outcome(status, report)]++;
        triangles += Triangles(report);
    }
    for (auto& report : ordered)
        reports.push_back(std::move(report));
    std::printf("vekexport: %zu scenes: %d exported, %d with failure markers, %d not exported; %lld triangles\n",
                jobs.size(), counts[0], counts[1], counts[2], triangles);
    return worst;
}

} // namespace

int RunBatch(const Request& r)
{
    auto start = Clock::now();
    std::error_code ec;
    fs::create_directories(r.outputDir, ec);
    if (ec) {
        std::fprintf(stderr, "vekexport: %s: cannot create the output directory: %s\n", r.outputDir.c_str(),
                     ec.message().c_str());
        return EXIT_NOTHING;
    }
    std::string scratch = (fs::temp_directory_path() / "vekexport-XXXXXX").string();
    if (!mkdtemp(scratch.data())) {
        std::fprintf(stderr, "vekexport: %s: %s\n", scratch.c_str(), std::strerror(errno));
        return EXIT_NOTHING;
    }
    std::string error;
    std::vector<Job> jobs = PlanJobs(r, scratch, error);
    int worst = EXIT_NOTHING;
    nlohmann::ordered_json reports;
    if (!error.empty())
        std::fprintf(stderr, "vekexport: %s\n", error.c_str());
    else if (CopyOptions(r, scratch)) {
        worst = RunJobs(r, scratch, jobs, reports);
        bool anyExported = std::any_of(reports.begin(), reports.end(), [](const nlohmann::ordered_json& j) {
            int status = j.value("status", int(EXIT_NOTHING));
            return status <= EXIT_MARKERS || status == EXIT_EXTRAS;
        });
        if (anyExported && !SaveOptions(r, scratch))
            worst = std::max(worst, int(EXIT_EXTRAS)); // the scenes' files stay in place
    }
    fs::remove_all(scratch, ec);
    if (!r.reportPath.empty()) {
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        nlohmann::ordered_json all = {{"status", worst}, {"seconds", seconds}, {"scenes", reports}};
        if (!WriteFileStaged(r.reportPath, all.dump(2) + "\n"))
            worst = std::max(worst, int(worst <= EXIT_MARKERS ? EXIT_EXTRAS : EXIT_NOTHING));
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
