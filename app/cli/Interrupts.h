// Interrupts of the command-line host: Ctrl-C (SIGINT), SIGTERM and SIGHUP end the
// process at once. Before an export's files are in place nothing of it is written
// (status 128 + the signal); once they are, an interrupt only stops what comes after
// (the preview, the report), and the status says the files were written.
#pragma once

#include <functional>
#include <string>

namespace vek {

// To be called first in main, before any other thread exists: the three signals are
// blocked in every thread and taken by a watcher thread, which aborts the file
// transaction (removing every staged file), runs `restore` with the signal (the
// terminal is given back, child processes are stopped) and ends the process with
// status 128 + the signal's number (130 for Ctrl-C). When `restore` returns true a
// child process carries the run (ImportGuard.h): the thread that waits for it ends
// the process with its status instead. Child processes start with the signals blocked.
void WatchInterrupts(std::function<bool(int signal)> restore);

// From now on an interrupt ends the process with `status` (and a word on standard
// error), aborting nothing: the files are in place. A negative status goes back to
// the behaviour above.
void SetStatusOnInterrupt(int status);

// A file written outside the file transaction (the preview's partial picture), or a
// directory that holds only staged files, that an interrupt removes.
void RemoveOnInterrupt(const std::string& path);

// While one of these lives, an interrupt waits: what it guards (putting the files in
// place and saying so with SetStatusOnInterrupt) happens whole or not at all.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

} // namespace vek
