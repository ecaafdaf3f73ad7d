#include "commit.h"

#include "filecalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <set>

namespace hostfs {

namespace {

constexpr char JournalMagic[] = "vek-journal 1";
constexpr char JournalEnd[] = "end";

// The path from the root, its directory resolved (the file itself need not exist).
std::string Absolute(const std::string& path)
{
    char dir[PATH_MAX];
    const std::string d = DirectoryOf(path);
    if (!realpath(d.empty() ? "." : d.c_str(), dir))
        return path;
    return std::string(dir) + (std::string(dir) == "/" ? "" : "/") + BaseOf(path);
}

std::string Reason(const std::string& path, int err) { return path + ": " + std::strerror(err); }

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// One file of a commit: where it is staged, where it goes, and the backup of the file
// it replaces ("" when there was none).
struct Entry {
    std::string temp, target, backup;
};

std::string ReadWhole(const std::string& path, std::string& bytes)
{
    int fd = Open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return Reason(path, errno);
    char buf[1 << 14];
    ssize_t n;
    while ((n = Read(fd, buf, sizeof(buf))) > 0)
        bytes.append(buf, size_t(n));
    int err = errno;
    Close(fd);
    return n < 0 ? Reason(path, err) : "";
}

// Writes the bytes, syncs and closes fd: 0, or the first error.
int WriteSyncClose(int fd, const std::string& bytes, bool truncate = false)
{
    int err = 0;
    if (!WriteAll(fd, bytes.data(), bytes.size()) || (truncate && ftruncate(fd, off_t(bytes.size())) != 0) ||
        Fsync(fd) != 0)
        err = errno;
    if (Close(fd) != 0 && !err)
        err = errno;
    return err;
}

// A copy of `from` at `to` with its mode, synced: the backup where hard links cannot be made.
std::string CopyFile(const std::string& from, const std::string& to)
{
    std::string bytes;
    if (std::string error = ReadWhole(from, bytes); !error.empty())
        return error;
    struct stat st;
    if (stat(from.c_str(), &st) != 0)
        return Reason(from, errno);
    int fd = Open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 07777);
    if (fd < 0)
        return Reason(to, errno);
    int err = Fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errno;
    if (err)
        Close(fd);
    else
        err = WriteSyncClose(fd, bytes);
    if (err) {
        Unlink(to.c_str());
        return Reason(to, err);
    }
    return "";
}

// The backup of an existing target: another name for the same file, or a copy.
std::string MakeBackup(const std::string& target, const std::string& backup)
{
    if (Link(target.c_str(), backup.c_str()) == 0)
        return "";
    if (errno == EEXIST && Unlink(backup.c_str()) == 0 && Link(target.c_str(), backup.c_str()) == 0)
        return "";
    if (errno == EPERM || errno == EXDEV || errno == ENOSYS || errno == EMLINK || errno == EOPNOTSUPP)
        return CopyFile(target, backup);
    return Reason(target, errno);
}

std::string JournalText(const std::vector<Entry>& entries)
{
    std::string text(JournalMagic, sizeof(JournalMagic));
    for (const Entry& e : entries)
        for (const std::string* field : {&e.temp, &e.target, &e.backup})
            text.append(field->c_str(), field->size() + 1);
    text.append(JournalEnd, sizeof(JournalEnd));
    return text;
}

// The entries of a journal; false when it is not one whole.
bool ParseJournal(const std::string& text, std::vector<Entry>& entries)
{
    std::vector<std::string> fields;
    for (size_t k = 0; k < text.size();) {
        size_t end = text.find('\0', k);
        if (end == std::string::npos)
            return false;
        fields.push_back(text.substr(k, end - k));
        k = end + 1;
    }
    if (fields.size() < 2 || fields.front() != JournalMagic || fields.back() != JournalEnd ||
        (fields.size() - 2) % 3 != 0)
        return false;
    for (size_t k = 1; k + 1 < fields.size(); k += 3)
        entries.push_back({fields[k], fields[k + 1], fields[k + 2]});
    return true;
}

// Writes the journal beside the first target, whole or not at all (staged and renamed).
std::string WriteJournal(const std::string& dir, const std::vector<Entry>& entries)
{
    const std::string text = JournalText(entries), path = dir + JournalName;
    std::string temp = dir + JournalStagedPrefix + "XXXXXX";
    int fd = MakeTemp(temp);
    if (fd < 0)
        return Reason(path, errno);
    int err = WriteSyncClose(fd, text);
    if (!err && Rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err) {
        Unlink(temp.c_str());
        return Reason(path, err);
    }
    return "";
}

std::set<std::string> Directories(const std::vector<Entry>& entries)
{
    std::set<std::string> dirs;
    for (const Entry& e : entries)
        dirs.insert(DirectoryOf(e.target));
    return dirs;
}

void RemoveBackups(const std::vector<Entry>& entries)
{
    for (const Entry& e : entries)
        if (!e.backup.empty())
            Unlink(e.backup.c_str());
}

// Puts back the files the first `renamed` entries replaced; false when one could not be.
bool PutBack(const std::vector<Entry>& entries, size_t renamed)
{
    bool ok = true;
    for (size_t k = renamed; k-- > 0;) {
        const Entry& e = entries[k];
        int r = e.backup.empty() ? Unlink(e.target.c_str()) : Rename(e.backup.c_str(), e.target.c_str());
        if (r != 0 && errno != ENOENT)
            ok = false;
    }
    return ok;
}

// Undoes a commit that failed at entry `renamed`; the failure, and what became of it.
std::string RollBack(const std::vector<Entry>& entries, size_t renamed, const std::string& journalDir,
                     std::string error, bool& journalKept)
{
    journalKept = !PutBack(entries, renamed);
    if (journalKept)
        return error + "; the earlier files are put back by the next export to " +
               (journalDir.empty() ? "." : journalDir) + " (or vekexport --recover)";
    RemoveBackups(entries);
    for (const std::string& dir : Directories(entries))
        SyncDirectory(dir);
    Unlink((journalDir + JournalName).c_str());
    return error;
}

// Backups of the targets that exist; "" or the failure (the backups made are removed).
// Every backup is named before any is made, so that undoing them allocates nothing.
std::string BackUp(std::vector<Entry>& entries)
{
    for (size_t k = 0; k < entries.size(); k++)
        if (Exists(entries[k].target))
            entries[k].backup = DirectoryOf(entries[k].target) + BackupPrefix + std::to_string(k);
    for (const Entry& e : entries) {
        if (e.backup.empty())
            continue;
        if (std::string error = MakeBackup(e.target, e.backup); !error.empty()) {
            RemoveBackups(entries);
            return error;
        }
    }
    return "";
}

// Applies a dead run's journal: forward when every staged file was renamed, else back.
void ApplyJournal(const std::vector<Entry>& entries, std::string& said)
{
    bool allRenamed = std::none_of(entries.begin(), entries.end(), [](const Entry& e) { return Exists(e.temp); });
    if (allRenamed) {
        RemoveBackups(entries);
        said += "completed the commit of an export that stopped while putting its files in place\n";
        return;
    }
    for (const Entry& e : entries) {
        if (Exists(e.temp)) {
            Unlink(e.temp.c_str());
            if (!e.backup.empty())
                Unlink(e.backup.c_str());
        } else if (!e.backup.empty()) {
            Rename(e.backup.c_str(), e.target.c_str());
        } else {
            Unlink(e.target.c_str());
        }
    }
    said += "put back the files an export replaced before it stopped while putting its files in place\n";
}

// Removes a staged file that no living writer holds: its lock can be taken. It is
// removed while locked, so that a writer that had just made it (and waits for its own
// lock) finds it gone and makes another.
bool RemoveIfAbandoned(const std::string& path)
{
    int fd = Open(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool removed = Flock(fd, LOCK_EX | LOCK_NB) == 0 && Unlink(path.c_str()) == 0;
    Close(fd);
    return removed;
}

// Removes the staged files, backups and journals of dead runs in dir; how many.
int RemoveLeftovers(const std::string& dir)
{
    // Closed on every way out: a name that cannot be held (out of memory) throws.
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.empty() ? "." : dir.c_str()), closedir);
    if (!d)
        return 0;
    std::vector<std::string> names;
    while (const dirent* e = readdir(d.get()))
        names.emplace_back(e->d_name);
    d.reset();
    int removed = 0;
    for (const std::string& name : names) {
        if (name.starts_with(StagedPrefix))
            removed += RemoveIfAbandoned(dir + name);
        else if (name.starts_with(BackupPrefix) || name.starts_with(JournalStagedPrefix))
            removed += Unlink((dir + name).c_str()) == 0;
    }
    return removed;
}

} // namespace

DirectoryLocks::~DirectoryLocks()
{
    for (int fd : fds)
        Close(fd);
}

std::string DirectoryLocks::Take(std::vector<std::string> dirs)
{
    // One directory may be named in several ways ("" and its absolute path): it is
    // locked once, as two locks of one process on it would wait for each other.
    struct Held {
        dev_t dev;
        ino_t ino;
        int fd;
    };
    std::vector<Held> held;
    for (const std::string& dir : dirs) {
        const std::string path = dir.empty() ? "." : dir;
        int fd = Open(path.c_str(), O_RDONLY | O_DIRECTORY);
        struct stat st;
        if (fd >= 0 && fstat(fd, &st) != 0) {
            Close(fd);
            fd = -1;
        }
        if (fd < 0) {
            int err = errno;
            for (const Held& h : held)
                Close(h.fd);
            return Reason(path, err);
        }
        held.push_back({st.st_dev, st.st_ino, fd});
    }
    std::sort(held.begin(), held.end(),
              [](const Held& a, const Held& b) { return a.dev != b.dev ? a.dev < b.dev : a.ino < b.ino; });
    for (size_t k = 0; k < held.size(); k++) {
        if (k > 0 && held[k].dev == held[k - 1].dev && held[k].ino == held[k - 1].ino) {
            Close(held[k].fd);
            continue;
        }
        fds.push_back(held[k].fd);
        if (Flock(held[k].fd, LOCK_EX) != 0) {
            int err = errno;
            for (size_t rest = k + 1; rest < held.size(); rest++)
                Close(held[rest].fd);
            return Reason(dirs.empty() ? "." : dirs[0], err);
        }
    }
    return "";
}

namespace {

// The steps of CommitAll once the entries are known; `renamed` counts the files put in
// place so far.
std::string CommitEntries(std::vector<Entry>& entries, const std::string& journalDir, size_t& renamed,
                          bool& journalKept)
{
    if (std::string error = BackUp(entries); !error.empty())
        return error;
    if (std::string error = WriteJournal(journalDir, entries); !error.empty()) {
        RemoveBackups(entries);
        return error;
    }
    for (const std::string& dir : Directories(entries))
        if (SyncDirectory(dir) != 0)
            return RollBack(entries, 0, journalDir, Reason(dir.empty() ? "." : dir, errno), journalKept);
    for (; renamed < entries.size(); renamed++)
        if (Rename(entries[renamed].temp.c_str(), entries[renamed].target.c_str()) != 0)
            return RollBack(entries, renamed, journalDir, Reason(entries[renamed].target, errno), journalKept);
    // Every file is in place: from here on a failure cannot change that, and a journal
    // left behind is rolled forward.
    for (const std::string& dir : Directories(entries))
        SyncDirectory(dir);
    if (Unlink((journalDir + JournalName).c_str()) == 0)
        RemoveBackups(entries);
    return "";
}

} // namespace

std::string CommitAll(const std::vector<CommitFile>& files, bool& journalKept)
{
    journalKept = false;
    if (files.empty())
        return "";
    // Absolute paths: the journal may be read from another working directory.
    std::vector<Entry> entries;
    entries.reserve(files.size());
    for (const CommitFile& f : files)
        entries.push_back({Absolute(f.temp), Absolute(f.target), ""});
    const std::string journalDir = DirectoryOf(entries[0].target), journal = journalDir + JournalName;
    size_t renamed = 0;
    try {
        return CommitEntries(entries, journalDir, renamed, journalKept);
    } catch (...) {
        // Memory ran out part-way (a name, a reason): undone with calls that allocate
        // nothing, or left to the journal when a file cannot be put back.
        journalKept = !PutBack(entries, renamed);
        if (!journalKept) {
            RemoveBackups(entries);
            Unlink(journal.c_str());
        }
        throw;
    }
}

std::string ReplaceOne(const CommitFile& file)
{
    if (Rename(file.temp.c_str(), file.target.c_str()) == 0) {
        SyncDirectory(DirectoryOf(file.target));
        return "";
    }
    if (errno != EBUSY && errno != EXDEV)
        return Reason(file.target, errno);
    // Mounted over: the file itself is rewritten, and read back.
    std::string bytes, back;
    if (std::string error = ReadWhole(file.temp, bytes); !error.empty())
        return error;
    int fd = Open(file.target.c_str(), O_WRONLY);
    if (fd < 0)
        return Reason(file.target, errno);
    if (int err = WriteSyncClose(fd, bytes, true))
        return Reason(file.target, err);
    if (std::string error = ReadWhole(file.target, back); !error.empty())
        return error;
    if (back != bytes)
        return file.target + ": the file rewritten in place does not read back as written";
    Unlink(file.temp.c_str());
    return "";
}

std::string RecoverLocked(const std::string& dir, std::string& said)
{
    const std::string journal = dir + JournalName;
    if (Exists(journal)) {
        std::string text;
        if (std::string error = ReadWhole(journal, text); !error.empty())
            return error;
        std::vector<Entry> entries;
        if (ParseJournal(text, entries))
            ApplyJournal(entries, said);
        else
            said += journal + ": removed a journal that is not whole\n";
        for (const std::string& d : Directories(entries))
            SyncDirectory(d);
        if (Unlink(journal.c_str()) != 0)
            return Reason(journal, errno);
    }
    if (int removed = RemoveLeftovers(dir))
        said += "removed " + std::to_string(removed) + " temporary file" + (removed == 1 ? "" : "s") +
                " of exports that did not end\n";
    SyncDirectory(dir);
    return "";
}

bool HoldStaged(int fd, const std::string& path)
{
    if (Flock(fd, LOCK_SH) != 0)
        return false;
    struct stat mine, there;
    if (fstat(fd, &mine) != 0 || stat(path.c_str(), &there) != 0 || mine.st_ino != there.st_ino ||
        mine.st_dev != there.st_dev) {
        errno = ENOENT;
        return false;
    }
    return true;
}

} // namespace hostfs
