// Assimp's readers crash on some damaged models, or never return, and would take the
// whole of vekexport with them. A run that reads a model therefore goes on in a child
// process from the moment the model is about to be read: the process the user started
// waits for it, with a time limit on the reading, and says what happened when the
// child was ended by a signal or overran the limit. The child is a new vekexport
// (forked and executed again, not a copy of this process and its threads) that reads
// the model itself: nothing of the scene passes between them. JSON scene descriptions
// and .ase files, read by our own readers, never come here.
#pragma once

#include <string>

namespace vek {

// Seconds the reading of a model may take when the user names no limit: a minute and
// two more per MiB of the file, far more than the readers measured take on sound files
// (some 20 MiB a second), so that only a reader that will never finish is stopped.
unsigned DefaultImportTimeout(const std::string& file);

// To be called first in main: the command line a child is started with.
void KeepCommandLine(char** argv);

// Starts vekexport anew, with the same command line, as a child process which, when it
// comes to read the model, finds its parent here and returns at once, carrying on with
// the run (it is sent SIGTERM should its parent die). The parent waits for it and, when
// the child ended by itself, never returns: the process ends with the child's status.
// When the child was ended by a signal, or had not called ImportEnded after
// `timeoutSeconds` (0: no limit; it is then killed), the temporary files it staged are
// removed and AppError says, naming `file`, what happened. When no child can
// be started, returns, and the run goes on in this process.
void ContinueInChild(const std::string& file, unsigned timeoutSeconds);

// In the child: the model has been read, or refused. The time limit no longer runs,
// and a crash from now on is not the model reader's. Nothing outside a child.
void ImportEnded();

// On an interrupt of the parent: passes the signal on to the child and waits until it
// has ended (it removes its own staged files, or says its files are in place), and
// returns true: the waiting thread ends this process with the child's status. False,
// and nothing done, when no child runs.
bool StopChild(int signal);

} // namespace vek
