#include "cli/ImportGuard.h"

#include "cli/AppError.h"

#include "transaction.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

extern char** environ;

namespace vek {

namespace {

using Clock = std::chrono::steady_clock;

// What the child tells its parent on their socket: that the import ended, the path of
// each temporary file it stages (ended by a NUL, which no path holds), or that it could
// not start vekexport anew.
constexpr char ImportEndedMessage = 'I';
constexpr char StagedMessage = 'S';
constexpr char NotStartedMessage = 'X';

// The child is vekexport started anew with the same command line, which finds its end
// of the socket named here when it comes to read the model.
constexpr const char* SocketVariable = "VEKEXPORT_MODEL_READER_SOCKET";

char** commandLine = nullptr;   // as main received it
int childSocket = -1;           // in the child: its end of the socket
std::atomic<pid_t> childPid{0}; // in the parent: the child while it runs

void Send(const char* bytes, size_t n)
{
    // The parent gone, the child is ended by its death signal: no SIGPIPE meanwhile.
    while (n > 0) {
        ssize_t sent = send(childSocket, bytes, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return;
        bytes += sent;
        n -= size_t(sent);
    }
}

void TellStaged(const char* tempPath)
{
    Send(&StagedMessage, 1);
    Send(tempPath, std::strlen(tempPath) + 1);
}

// In the child: the socket its parent named, if it did; the variable is not passed on.
bool FindParent()
{
    const char* value = std::getenv(SocketVariable);
    if (!value)
        return false;
    int fd = -1;
    auto [end, ec] = std::from_chars(value, value + std::strlen(value), fd);
    bool found = ec == std::errc() && *end == '\0' && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
    unsetenv(SocketVariable);
    if (!found)
        return false;
    childSocket = fd;
    SetStagingObserver(TellStaged);
    return true;
}

// The environment of the child: this one, and the number of the child's end of the socket.
std::vector<std::string> ChildEnvironment(int socket)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; e++)
        if (!std::string_view(*e).starts_with(std::string(SocketVariable) + "="))
            env.emplace_back(*e);
    env.push_back(std::string(SocketVariable) + "=" + std::to_string(socket));
    return env;
}

// Between fork and exec, where only system calls are safe: vekexport again, sent
// SIGTERM should its parent die; or a word to the parent that it could not be.
[[noreturn]] void StartAnew(int socket, pid_t parent, char* const* env)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == parent && fcntl(socket, F_SETFD, 0) == 0)
        execve("/proc/self/exe", commandLine, env);
    ssize_t told = write(socket, &NotStartedMessage, 1);
    (void)told;
    _exit(127);
}

// What the parent has learnt from the child's messages so far.
struct Watch {
    bool importEnded = false, notStarted = false;
    std::vector<std::string> staged;
    std::string partial; // the start of a message still arriving

    void Take(const char* bytes, size_t n)
    {
        partial.append(bytes, n);
        size_t k = 0;
        while (k < partial.size()) {
            if (partial[k] == ImportEndedMessage || partial[k] == NotStartedMessage) {
                (partial[k] == ImportEndedMessage ? importEnded : notStarted) = true;
                k++;
                continue;
            }
            size_t end = partial.find('\0', k);
            if (end == std::string::npos)
                break;
            staged.push_back(partial.substr(k + 1, end - k - 1));
            k = end + 1;
        }
        partial.erase(0, k);
    }
};

// Reads the child's messages until it closes its end, as it does when it ends. False
// when the import was still running after `timeoutSeconds` (0: no limit).
bool Follow(int socket, unsigned timeoutSeconds, Watch& watch)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    char buf[4096];
    for (;;) {
        int wait = -1;
        if (timeoutSeconds > 0 && !watch.importEnded) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            wait = int(std::min<long long>(left, INT_MAX));
        }
        pollfd p{socket, POLLIN, 0};
        int ready = poll(&p, 1, wait);
        if (ready < 0 && errno != EINTR)
            return true; // nothing more to learn: the child's end is waited for
        if (ready <= 0)
            continue;
        ssize_t n = read(socket, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        watch.Take(buf, size_t(n));
    }
}

std::string SignalName(int signal)
{
    const char* abbrev = sigabbrev_np(signal);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(signal);
}

// Why the run ended, for a child ended by `signal` (none when it overran its time).
std::string Outcome(const Watch& watch, int signal, unsigned timeoutSeconds)
{
    const std::string why = ": it is damaged or of a kind it cannot read";
    if (signal == 0)
        return "the model reader did not finish within " + std::to_string(timeoutSeconds) + " s" + why +
               " (see --import-timeout)";
    const std::string name = SignalName(signal);
    if (watch.importEnded)
        return "the export crashed (" + name + ") after the model was read: a fault of vekexport, not of the file";
    if (signal == SIGKILL) // by the system, short of memory, or by a user
        return "the model reader was killed (" + name + ") while reading this file";
    return "the model reader crashed (" + name + ") on this file" + why;
}

// The child's wait status. The watcher of interrupts may be waiting for it too, without
// taking it (StopChild).
int Reap(const std::string& file, pid_t pid)
{
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0)
        if (errno != EINTR)
            throw AppError(std::string("the export process was lost: ") + std::strerror(errno), file);
    childPid = 0;
    return raw;
}

} // namespace

unsigned DefaultImportTimeout(const std::string& file)
{
    constexpr unsigned Base = 60, PerMiB = 2;
    std::error_code ec;
    std::uintmax_t mib = std::filesystem::file_size(file, ec) >> 20;
    if (ec)
        return Base;
    return unsigned(std::min<std::uintmax_t>(Base + PerMiB * mib, UINT_MAX));
}

void KeepCommandLine(char** argv) { commandLine = argv; }

void ContinueInChild(const std::string& file, unsigned timeoutSeconds)
{
    if (FindParent() || !commandLine)
        return;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    std::vector<std::string> env = ChildEnvironment(ends[1]);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::fflush(nullptr); // else what is buffered would be written twice
    // Inherited as ignored, SIGCHLD would have the child taken away unwaited for.
    std::signal(SIGCHLD, SIG_DFL);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0)
        StartAnew(ends[1], parent, envp.data());
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return;
    }
    childPid = pid;
    termios settings{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &settings) == 0;
    Watch watch;
    const bool inTime = Follow(ends[0], timeoutSeconds, watch);
    close(ends[0]);
    if (!inTime)
        kill(pid, SIGKILL);
    const int raw = Reap(file, pid);
    if (watch.notStarted)
        return; // the run goes on here
    if (WIFEXITED(raw)) {
        std::fflush(nullptr);
        _exit(WEXITSTATUS(raw));
    }
    for (const std::string& path : watch.staged)
        unlink(path.c_str()); // those renamed into place are no longer there
    if (terminal)             // as a dialog the child drew left it
        tcsetattr(STDIN_FILENO, TCSANOW, &settings);
    throw AppError(Outcome(watch, inTime ? WTERMSIG(raw) : 0, timeoutSeconds), file);
}

void ImportEnded()
{
    if (childSocket >= 0)
        Send(&ImportEndedMessage, 1);
}

bool StopChild(int signal)
{
    pid_t pid = childPid;
    if (pid <= 0)
        return false;
    kill(pid, signal);
    // Waits without reaping: the thread that started the child takes its status.
    siginfo_t info;
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace vek
