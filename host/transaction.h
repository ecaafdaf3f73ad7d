// The application's file transactions around an export.
#pragma once

#include "maxtypes.h"

#include <string>
#include <vector>

// Every stream that _tfopen (crt.h) opens for writing is checked to its last byte: a
// stream that failed once refuses every later write, and fclose reports the failure.
//
// While a transaction is open, a file that _tfopen opens with a "w" mode is written to
// a new temporary file in the target's own directory (".vekt.XXXXXX", whatever the
// target's name), and reading the target (or asking DoesFileExist) finds that file;
// the target itself is not touched. A symbolic link at the target is kept: the file
// it names is replaced; a link that leads nowhere or loops is refused. Commit syncs
// every staged file and puts them all in place, or none of them, under a lock of each
// directory (commit.h tells how); abort removes them. One transaction at a time.

// Opens a transaction; an open one is aborted first.
HOSTAPI void BeginFileTransaction();
// When every staged file was opened, written and closed without failure: recovers
// what dead runs left in the targets' directories, puts every staged file in place
// (on any failure none: those already replaced are put back), and returns true.
// Otherwise aborts and returns false; FileTransactionError says why. A file still
// open is a failure. The file named to CommitLast is put in place after the others,
// on its own: when that fails the result is still true (the others are in place)
// and FileTransactionError says why.
HOSTAPI bool CommitFileTransaction();
// Waits for the locks of the staged files' directories, which the commit then holds
// (CommitFileTransaction takes them itself otherwise): while another run puts its
// files there. Meanwhile an interrupt can abort. False when they cannot be taken
// (FileTransactionError says why) or the transaction is no longer open.
HOSTAPI bool LockFileTransactionTargets();
// Names the file (as its opener names it) that CommitFileTransaction puts in place
// last and on its own; one that cannot be replaced by a rename (a file mounted over)
// is rewritten in place and read back. "" for none. Kept for later transactions.
HOSTAPI void CommitLast(const std::string& name);
// Under the lock of dir: finishes or undoes the commit of a run that died while
// putting files in place there, and removes the temporary files of dead runs. Adds
// one line to `said` for each thing done. "" or "path: reason".
HOSTAPI std::string RecoverFiles(const std::string& dir, std::string& said);
// Makes the open transaction fail with this reason (the first failure is kept).
HOSTAPI void FailFileTransaction(const std::string& reason);
// The largest file a writer may produce when it can tell beforehand, in bytes; 0 for
// no limit (the default).
HOSTAPI void SetOutputLimit(unsigned long long bytes);
HOSTAPI unsigned long long OutputLimit();
// Removes every staged file and closes the transaction; the targets are as they were.
// May be called from another thread (an interrupt) while the export runs: a file
// staged afterwards is refused.
HOSTAPI void AbortFileTransaction();
// The first failure of the transaction, "path: reason" with the path as the opener
// named it; empty while there is none.
HOSTAPI std::string FileTransactionError();
// The bytes every checked stream of the process has written so far. Safe to read from
// any thread (a progress display).
HOSTAPI unsigned long long BytesWrittenToFiles();
// The files staged by the open transaction, named as their openers named them, in the
// order they were first opened.
HOSTAPI std::vector<std::string> StagedFiles();
// Takes the file staged for `name` (as StagedFiles names it) out of the open
// transaction: what was written is removed and a commit leaves the target as it was.
// False when no closed file is staged under that name.
HOSTAPI bool DiscardStagedFile(const std::string& name);
// Called, under the transaction's lock, with the path of each temporary file as it is
// created: a process watching this one removes them should it die before its commit
// or abort. nullptr for none (the default).
HOSTAPI void SetStagingObserver(void (*observer)(const char* tempPath));
