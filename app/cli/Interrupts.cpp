#include "cli/Interrupts.h"

#include "cli/AppError.h"
#include "transaction.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vek {

namespace {

std::mutex gate; // held by the watcher once it acts, and by InterruptsHeld
std::atomic<int> statusOnInterrupt{-1};
std::mutex partsLock;
std::vector<std::string> parts;

} // namespace

void WatchInterrupts(std::function<bool(int signal)> restore)
{
    // A handler could not remove the staged files safely while the export changes
    // their list; a thread waiting for the signal can take the transaction's lock.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, restore = std::move(restore)] {
        int sig = 0;
        while (sigwait(&set, &sig) != 0) {
        }
        gate.lock(); // never given back: the process ends
        const int committed = statusOnInterrupt;
        AbortFileTransaction(); // after the commit, that of a report still being written
        {
            std::lock_guard<std::mutex> guard(partsLock);
            for (const std::string& path : parts)
                std::remove(path.c_str()); // a file, or a directory emptied by the abort
        }
        const bool childCarries = restore && restore(sig);
        if (committed >= 0) {
            Tell(AppError("interrupted; the exported files are in place", "", "", committed));
            std::fflush(nullptr);
            _exit(committed);
        }
        if (childCarries)
            for (;;)
                pause();
        _exit(128 + sig);
    }).detach();
}

void RemoveOnInterrupt(const std::string& path)
{
    std::lock_guard<std::mutex> guard(partsLock);
    parts.push_back(path);
}

void SetStatusOnInterrupt(int status) { statusOnInterrupt = status; }

InterruptsHeld::InterruptsHeld() { gate.lock(); }

InterruptsHeld::~InterruptsHeld() { gate.unlock(); }

} // namespace vek
