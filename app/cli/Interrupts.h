// Interrupts of the command-line host: Ctrl-C (SIGINT), SIGTERM and SIGHUP end the
// process at once, with nothing of the export written.
#pragma once

#include <functional>

namespace vek {

// To be called first in main, before any other thread exists: the three signals are
// blocked in every thread and taken by a watcher thread, which aborts the file
// transaction (removing every staged file), runs `restore` with the signal (the
// terminal is given back, child processes are stopped) and ends the process with
// status 128 + the signal's number (130 for Ctrl-C). Child processes start with the
// signals blocked.
void WatchInterrupts(std::function<void(int signal)> restore);

} // namespace vek
