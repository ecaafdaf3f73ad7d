#include "cli/Interrupts.h"

#include "transaction.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace vek {

void WatchInterrupts(std::function<void(int signal)> restore)
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
        AbortFileTransaction();
        if (restore)
            restore(sig);
        _exit(128 + sig);
    }).detach();
}

} // namespace vek
