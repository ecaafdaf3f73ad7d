// Putting the staged files of a transaction in place, all or none of them, and
// recovering what a run that died while doing so left. Private to the host library.
//
// Every directory that receives files is locked (flock on the directory itself) while
// files are put in place or recovered there. In it:
// - ".vekt.XXXXXX": a staged file, locked (shared) by its living writer.
// - ".vek-journal": while files are being put in place, what is about to be replaced:
//   for each file its staged name, its target and ".vekb.N", a hard link to (or copy
//   of) the file it replaces, or nothing when there was none.
// The commit point is the last rename: a journal whose staged files are all gone is
// rolled forward (the backups removed), any other rolled back (every replaced file
// put back). Backups and journals are only ever found without a living writer
// holding the lock, so whatever the recovery finds of them is a dead run's.
#pragma once

#include <string>
#include <vector>

namespace hostfs {

constexpr const char* StagedPrefix = ".vekt.";
constexpr const char* BackupPrefix = ".vekb.";
constexpr const char* JournalStagedPrefix = ".vekj.";
constexpr const char* JournalName = ".vek-journal";

// A staged file and the path it replaces.
struct CommitFile {
    std::string temp, target;
};

// Exclusive locks on directories, taken in one order so that
// two runs never wait for each other; released when destroyed.
class DirectoryLocks {
public:
    DirectoryLocks() = default;
    DirectoryLocks(const DirectoryLocks&) = delete;
    DirectoryLocks& operator=(const DirectoryLocks&) = delete;
    ~DirectoryLocks();
    // Waits for each lock; "" or "path: reason".
    std::string Take(std::vector<std::string> dirs);

private:
    std::vector<int> fds;
};

// Puts every file in place, or none: on a failure every file already replaced is
// put back. The caller holds the locks of every target's directory. "" when all are
// in place; otherwise "path: reason". Should the putting back fail too, the journal
// stays for the next recovery of the first target's directory, `journalKept` is set
// and the reason says so: the staged files must then be left for that recovery.
std::string CommitAll(const std::vector<CommitFile>& files, bool& journalKept);

// Replaces target with the staged file on its own; a target that cannot be replaced
// by a rename (a file mounted over, as a container's configuration) is rewritten in
// place and read back. The caller holds the directory's lock. "" or "path: reason".
std::string ReplaceOne(const CommitFile& file);

// Finishes or undoes what a dead run left in dir, removes its staged files, backups
// and journals; the caller holds dir's lock. Appends to `said` what was done (one
// line each). "" or "path: reason".
std::string RecoverLocked(const std::string& dir, std::string& said);

// Locks the staged file just created at fd (shared), so that no recovery takes it for
// a dead run's. False, with errno set, when it cannot be, or when a recovery removed
// it meanwhile (errno ENOENT): the caller makes another.
bool HoldStaged(int fd, const std::string& path);

} // namespace hostfs
