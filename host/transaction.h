// The application's file transactions around an export.
#pragma once

#include "maxtypes.h"

#include <string>
#include <vector>

// Every stream that _tfopen (crt.h) opens for writing is checked to its last byte: a
// stream that failed once refuses every later write, and fclose reports the failure.
//
// While a transaction is open, a file that _tfopen opens with a "w" mode is written to
// a new temporary file in the target's own directory, and reading the target (or
// asking DoesFileExist) finds that file; the target itself is not touched. Commit
// syncs every staged file and renames it over its target; abort removes them. One
// transaction at a time.

// Opens a transaction; an open one is aborted first.
HOSTAPI void BeginFileTransaction();
// When every staged file was opened, written and closed without failure: syncs and
// renames each over its target, and returns true. Otherwise aborts and returns false;
// FileTransactionError says why. A file still open is a failure.
HOSTAPI bool CommitFileTransaction();
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
