#include "crt.h"
#include "interface.h"
#include "transaction.h"

#include "commit.h"
#include "filecalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

// ---- the transaction ----

struct StagedFile {
    std::string name;   // as the opener named it
    std::string target; // where it goes: that path, or what a symbolic link there names
    std::string temp;   // where it is written meanwhile
    int hold = -1;      // keeps the temporary file locked, as a living run's
    bool open = false;
};

enum class TransactionState { None, Open, Aborted };

struct Transaction {
    std::mutex lock; // an interrupt aborts from another thread
    TransactionState state = TransactionState::None;
    std::vector<std::shared_ptr<StagedFile>> files; // shared with the streams still writing them
    std::string error;
    std::string last;                              // the file put in place after the others, normalized; "" for none
    std::unique_ptr<hostfs::DirectoryLocks> locks; // of the targets' directories, once taken
    mode_t umask = 022;
    void (*observer)(const char*) = nullptr;
};

Transaction& TheTransaction()
{
    static Transaction t;
    return t;
}

// Records the first failure; the caller holds the lock.
void FailLocked(Transaction& t, const std::string& path, int err)
{
    if (t.error.empty())
        t.error = path + ": " + std::strerror(err);
}

void Fail(const std::string& path, int err)
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    FailLocked(t, path, err);
}

std::shared_ptr<StagedFile> FindStaged(Transaction& t, const std::string& target)
{
    for (const auto& f : t.files)
        if (f->target == target)
            return f;
    return nullptr;
}

void RemoveStagedLocked(Transaction& t)
{
    for (const auto& f : t.files) {
        if (!f->temp.empty())
            hostfs::Unlink(f->temp.c_str());
        if (f->hold >= 0)
            hostfs::Close(f->hold);
    }
    t.files.clear();
}

std::string Normalized(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::absolute(path, ec).lexically_normal().string();
}

// A symbolic link is followed: the file it names is replaced, not the link. A link
// that leads nowhere, or round in a loop, cannot be: false with errno set.
bool ResolvedTarget(const char* name, std::string& target)
{
    struct stat st;
    target = name;
    if (lstat(name, &st) != 0 || !S_ISLNK(st.st_mode))
        return true;
    char resolved[PATH_MAX];
    if (!realpath(name, resolved))
        return false;
    target = resolved;
    return true;
}

std::string TargetOf(const char* name)
{
    std::string target;
    ResolvedTarget(name, target);
    return target;
}

bool IsRegularOrAbsent(const std::string& target)
{
    struct stat st;
    return stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

// Refuses what opening the target itself would refuse; 0 or an errno value.
int TargetRefusal(const std::string& target)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0)
        return 0;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return access(target.c_str(), W_OK) == 0 ? 0 : errno;
}

// The mode the file will have once in place: an existing target's, else the usual one.
mode_t TargetMode(const std::string& target, mode_t umask)
{
    struct stat st;
    if (stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    return 0666 & ~umask;
}

// A new temporary file in dir, locked as a living run's, with the target's mode: its
// descriptor and the one that holds the lock, or -1 with errno set. Its name is short,
// so that any name the file system allows can be staged beside.
int MakeStaged(const std::string& dir, const std::string& target, mode_t umask, std::string& temp, int& hold)
{
    for (int attempt = 0; attempt < 3; attempt++) {
        temp = dir + hostfs::StagedPrefix + "XXXXXX";
        int fd = hostfs::MakeTemp(temp);
        if (fd < 0)
            return -1;
        hold = dup(fd);
        if (hold >= 0 && hostfs::HoldStaged(hold, temp) && hostfs::Fchmod(fd, TargetMode(target, umask)) == 0)
            return fd;
        int err = errno;
        if (hold >= 0)
            hostfs::Close(hold);
        hostfs::Close(fd);
        hostfs::Unlink(temp.c_str());
        errno = err ? err : EIO;
        if (err != ENOENT) // else a recovery took it for a dead run's: another
            return -1;
    }
    return -1;
}

// A new temporary file beside the target, or the one already staged for it, emptied.
// The descriptor, or -1 with errno set.
int OpenStaged(Transaction& t, const char* name, const std::string& target, std::shared_ptr<StagedFile>& entry)
{
    entry = FindStaged(t, target);
    if (entry) {
        entry->open = true;
        return hostfs::Open(entry->temp.c_str(), O_WRONLY | O_TRUNC);
    }
    if (int err = TargetRefusal(target)) {
        errno = err;
        return -1;
    }
    std::string temp;
    int hold = -1;
    int fd = MakeStaged(hostfs::DirectoryOf(target), target, t.umask, temp, hold);
    if (fd < 0)
        return -1;
    try {
        if (t.observer)
            t.observer(temp.c_str());
        entry = std::make_shared<StagedFile>(StagedFile{name, target, temp, hold, true});
        t.files.push_back(entry);
    } catch (...) {
        // Out of memory: the file the transaction could not record would outlive it.
        entry = nullptr;
        hostfs::Close(hold);
        hostfs::Close(fd);
        hostfs::Unlink(temp.c_str());
        throw;
    }
    return fd;
}

// ---- checked streams ----

// What a stream opened for writing writes to: a descriptor, with the platform's
// text-mode line ends or not, and the staged file it fills when in a transaction.
struct Stream {
    int fd;
    bool text;
    std::string path; // as the opener named it, for messages
    std::shared_ptr<StagedFile> staged;
    int error = 0;
};

std::atomic<unsigned long long> bytesWritten{0};

// Writes with every "\n" stored as "\r\n". The translated text is gathered in pieces
// of 64 KiB, so that a stream of short lines does not cost one system call per line.
// Lines are short: a call to memchr and memcpy per line cost more than the copy, so
// the text is searched and copied sixteen bytes at a time where the processor can.
bool WriteCrlf(int fd, const char* buf, size_t size)
{
    char out[1 << 16];
    size_t n = 0, i = 0;
    // Room for k more bytes, the text so far written out when needed; false when that fails.
    auto room = [&](size_t k) {
        if (n + k <= sizeof(out))
            return true;
        const bool written = hostfs::WriteAll(fd, out, n);
        n = 0;
        return written;
    };
#if defined(__SSE2__)
    const __m128i lineEnd = _mm_set1_epi8('\n');
    while (size - i >= 16) {
        if (!room(18))
            return false;
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), w);
        const unsigned ends = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(w, lineEnd)));
        if (!ends) {
            n += 16;
            i += 16;
            continue;
        }
        // The bytes before the first line end are in place; "\r\n" goes over it.
        const size_t k = size_t(std::countr_zero(ends));
        n += k;
        out[n++] = '\r';
        out[n++] = '\n';
        i += k + 1;
    }
#endif
    for (; i < size; i++) {
        if (!room(2))
            return false;
        if (buf[i] == '\n')
            out[n++] = '\r';
        out[n++] = buf[i];
    }
    return hostfs::WriteAll(fd, out, n);
}

ssize_t StreamWrite(void* cookie, const char* buf, size_t size)
{
    Stream* s = static_cast<Stream*>(cookie);
    if (s->error)
        return -1;
    if (!(s->text ? WriteCrlf(s->fd, buf, size) : hostfs::WriteAll(s->fd, buf, size))) {
        s->error = errno;
        Fail(s->path, errno);
        return -1;
    }
    bytesWritten.fetch_add(size, std::memory_order_relaxed);
    return ssize_t(size);
}

// A staged file is synced before it can be renamed, so that a crash cannot leave a
// renamed but empty file.
int StreamClose(void* cookie)
{
    Stream* s = static_cast<Stream*>(cookie);
    if (!s->error && s->staged && hostfs::Fsync(s->fd) != 0)
        s->error = errno;
    if (hostfs::Close(s->fd) != 0 && !s->error)
        s->error = errno;
    int error = s->error;
    if (error)
        Fail(s->path, error);
    if (s->staged) {
        std::lock_guard<std::mutex> guard(TheTransaction().lock);
        s->staged->open = false;
    }
    delete s;
    return error ? -1 : 0;
}

// The descriptor a "w" or "a" stream writes to, staged when a transaction is open.
int OpenForWriting(const char* name, bool append, std::shared_ptr<StagedFile>& staged)
{
    staged = nullptr;
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    int fd;
    if (t.state == TransactionState::Aborted) {
        errno = ECANCELED;
        fd = -1;
    } else if (std::string target; !ResolvedTarget(name, target)) {
        fd = -1;
    } else if (t.state == TransactionState::Open && !append && !IsRegularOrAbsent(target)) {
        // A device, FIFO or socket would be replaced by the rename of the staged file.
        if (t.error.empty())
            t.error = std::string(name) + ": not a regular file; a device, FIFO or socket is never replaced";
        errno = EEXIST;
        return -1;
    } else if (t.state == TransactionState::Open && !append) {
        fd = OpenStaged(t, name, target, staged);
    } else {
        fd = hostfs::Open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0666);
    }
    if (fd < 0)
        FailLocked(t, name, errno);
    return fd;
}

// Reading sees what the transaction staged for the file.
FILE* OpenForReading(const char* name, const std::string& mode)
{
    Transaction& t = TheTransaction();
    std::string path = name;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (auto f = t.state == TransactionState::Open ? FindStaged(t, TargetOf(name)) : nullptr)
            path = f->temp;
    }
    FILE* f = std::fopen(path.c_str(), mode.c_str());
    if (!f)
        Fail(name, errno);
    return f;
}

} // namespace

FILE* _tfopen(const MCHAR* name, const MCHAR* mode)
{
    if (!name || !mode)
        return nullptr;
    std::string m;
    bool binary = false;
    for (const char* p = mode; *p; p++) {
        if (*p == 'b')
            binary = true;
        else if (*p != 't')
            m += *p;
    }
    if (m == "r")
        return OpenForReading(name, "rb");
    if (m != "w" && m != "a") // update modes are not used by the plug-in: no translation
        return std::fopen(name, (m + "b").c_str());
    // Made before the file is opened: running out of memory then leaves nothing open.
    auto owned = std::make_unique<Stream>(Stream{-1, !binary, name, nullptr});
    owned->fd = OpenForWriting(name, m == "a", owned->staged);
    if (owned->fd < 0)
        return nullptr;
    cookie_io_functions_t io{};
    io.write = StreamWrite;
    io.close = StreamClose;
    Stream* stream = owned.release(); // StreamClose deletes it
    FILE* f = fopencookie(stream, m.c_str(), io);
    if (!f) {
        stream->error = errno;
        StreamClose(stream);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    return f;
}

BOOL DoesFileExist(const MCHAR* file)
{
    if (!file)
        return FALSE;
    Transaction& t = TheTransaction();
    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (t.state == TransactionState::Open && FindStaged(t, TargetOf(file)))
            return TRUE;
    }
    struct stat st;
    return stat(file, &st) == 0 && !S_ISDIR(st.st_mode);
}

void BeginFileTransaction()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    RemoveStagedLocked(t);
    t.state = TransactionState::Open;
    t.error.clear();
    t.umask = umask(0);
    umask(t.umask);
}

namespace {

// Whether the file is the one put in place after the others.
bool IsLast(const Transaction& t, const StagedFile& f) { return !t.last.empty() && Normalized(f.name) == t.last; }

// What forbids the commit: a file still open, or what appeared meanwhile at a target.
void CheckCommittable(Transaction& t)
{
    for (const auto& f : t.files) {
        if (f->open)
            FailLocked(t, f->target, EBUSY);
        else if (int err = TargetRefusal(f->target))
            FailLocked(t, f->target, err);
    }
}

// The directories of the staged files, each once.
std::vector<std::string> TargetDirectories(const Transaction& t)
{
    std::vector<std::string> dirs;
    for (const auto& f : t.files)
        dirs.push_back(hostfs::DirectoryOf(f->target));
    std::sort(dirs.begin(), dirs.end());
    dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
    return dirs;
}

// Waits for the locks of the targets' directories without the transaction's lock, so
// that an interrupt can abort meanwhile. False, with the failure recorded, when they
// cannot be taken or the transaction was aborted.
bool TakeLocks(Transaction& t, std::unique_lock<std::mutex>& guard)
{
    if (t.locks)
        return true;
    std::vector<std::string> dirs = TargetDirectories(t);
    guard.unlock();
    auto locks = std::make_unique<hostfs::DirectoryLocks>();
    std::string error = locks->Take(dirs);
    guard.lock();
    if (t.state != TransactionState::Open)
        error = "the export was stopped";
    if (!error.empty()) {
        if (t.error.empty())
            t.error = error;
        return false;
    }
    t.locks = std::move(locks);
    return true;
}

// Puts the staged files in place under the locks of their directories: every file but
// the last one all or nothing, then the last one on its own. The caller holds the
// transaction's lock and the directories' locks. False when the first files are not
// in place.
bool CommitLocked(Transaction& t)
{
    std::vector<hostfs::CommitFile> first, last;
    for (const auto& f : t.files)
        (IsLast(t, *f) ? last : first).push_back({f->temp, f->target});
    std::string said;
    for (const std::string& dir : TargetDirectories(t))
        if (std::string error = hostfs::RecoverLocked(dir, said); !error.empty() && t.error.empty())
            t.error = error;
    CheckCommittable(t);
    if (!t.error.empty())
        return false;
    if (first.empty()) // the last file alone: its failure is the commit's
        std::swap(first, last);
    bool journalKept = false;
    if (first.size() == 1 && last.empty())
        t.error = hostfs::ReplaceOne(first[0]); // one rename is all or nothing itself
    else
        t.error = hostfs::CommitAll(first, journalKept);
    if (journalKept) // the recovery that puts the old files back needs them
        for (const auto& f : t.files)
            f->temp.clear();
    if (!t.error.empty())
        return false;
    // The first files are in place whatever happens here: running out of memory while
    // the last one is put in place is that file's failure, not the commit's.
    for (const hostfs::CommitFile& f : last) {
        try {
            if (std::string error = hostfs::ReplaceOne(f); !error.empty() && t.error.empty())
                t.error = error;
        } catch (const std::bad_alloc&) {
            if (t.error.empty())
                t.error = "out of memory"; // short enough to need no allocation
        }
    }
    return true;
}

} // namespace

bool LockFileTransactionTargets()
{
    Transaction& t = TheTransaction();
    std::unique_lock<std::mutex> guard(t.lock);
    return t.state == TransactionState::Open && TakeLocks(t, guard);
}

bool CommitFileTransaction()
{
    Transaction& t = TheTransaction();
    std::unique_lock<std::mutex> guard(t.lock);
    if (t.state != TransactionState::Open && t.error.empty())
        t.error = "no file transaction is open";
    bool ok = t.error.empty() && TakeLocks(t, guard) && CommitLocked(t);
    for (const auto& f : t.files) {
        struct stat st;
        if (ok && lstat(f->temp.c_str(), &st) != 0) // renamed: no longer there to remove
            f->temp.clear();
    }
    RemoveStagedLocked(t);
    t.locks.reset();
    t.state = ok ? TransactionState::None : TransactionState::Aborted;
    return ok;
}

void CommitLast(const std::string& name)
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    t.last = name.empty() ? "" : Normalized(name);
}

std::string RecoverFiles(const std::string& dir, std::string& said)
{
    std::string d = dir.empty() || dir.ends_with('/') ? dir : dir + "/";
    hostfs::DirectoryLocks locks;
    if (std::string error = locks.Take({d}); !error.empty())
        return error;
    return hostfs::RecoverLocked(d, said);
}

void FailFileTransaction(const std::string& reason)
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.error.empty())
        t.error = reason;
}

namespace {
std::atomic<unsigned long long> outputLimit{0};
}

void SetOutputLimit(unsigned long long bytes) { outputLimit = bytes; }

unsigned long long OutputLimit() { return outputLimit; }

void AbortFileTransaction()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    RemoveStagedLocked(t);
    t.locks.reset();
    if (t.state == TransactionState::Open)
        t.state = TransactionState::Aborted;
}

std::string FileTransactionError()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.error;
}

unsigned long long BytesWrittenToFiles() { return bytesWritten.load(std::memory_order_relaxed); }

void SetStagingObserver(void (*observer)(const char* tempPath))
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    t.observer = observer;
}

std::vector<std::string> StagedFiles()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    std::vector<std::string> names;
    for (const auto& f : t.files)
        names.push_back(f->name);
    return names;
}

bool DiscardStagedFile(const std::string& name)
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = std::find_if(t.files.begin(), t.files.end(),
                           [&name](const std::shared_ptr<StagedFile>& f) { return f->name == name; });
    if (t.state != TransactionState::Open || it == t.files.end() || (*it)->open)
        return false; // a stream still writing it would write on into nothing
    unlink((*it)->temp.c_str());
    t.files.erase(it);
    return true;
}
