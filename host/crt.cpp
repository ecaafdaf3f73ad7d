#include "crt.h"
#include "interface.h"
#include "transaction.h"

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
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

// ---- the transaction ----

struct StagedFile {
    std::string name;   // as the opener named it
    std::string target; // where it goes: that path, or what a symbolic link there names
    std::string temp;   // where it is written meanwhile
    bool open = false;
};

enum class TransactionState { None, Open, Aborted };

struct Transaction {
    std::mutex lock; // an interrupt aborts from another thread
    TransactionState state = TransactionState::None;
    std::vector<std::shared_ptr<StagedFile>> files; // shared with the streams still writing them
    std::string error;
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
    for (const auto& f : t.files)
        unlink(f->temp.c_str());
    t.files.clear();
}

// A symbolic link is followed: the file it names is replaced, not the link.
std::string ResolvedTarget(const char* name)
{
    struct stat st;
    char resolved[PATH_MAX];
    if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode) && realpath(name, resolved))
        return resolved;
    return name;
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

// A new temporary file beside the target, or the one already staged for it, emptied.
// The descriptor, or -1 with errno set.
int OpenStaged(Transaction& t, const char* name, const std::string& target, std::shared_ptr<StagedFile>& entry)
{
    entry = FindStaged(t, target);
    if (entry) {
        entry->open = true;
        return open(entry->temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    if (int err = TargetRefusal(target)) {
        errno = err;
        return -1;
    }
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    fchmod(fd, TargetMode(target, t.umask));
    if (t.observer)
        t.observer(temp.c_str());
    entry = std::make_shared<StagedFile>(StagedFile{name, target, temp, true});
    t.files.push_back(entry);
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

bool WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

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
        const bool written = WriteAll(fd, out, n);
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
    return WriteAll(fd, out, n);
}

ssize_t StreamWrite(void* cookie, const char* buf, size_t size)
{
    Stream* s = static_cast<Stream*>(cookie);
    if (s->error)
        return -1;
    if (!(s->text ? WriteCrlf(s->fd, buf, size) : WriteAll(s->fd, buf, size))) {
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
    if (!s->error && s->staged && fsync(s->fd) != 0)
        s->error = errno;
    if (close(s->fd) != 0 && !s->error)
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
    } else if (t.state == TransactionState::Open && !append) {
        fd = OpenStaged(t, name, ResolvedTarget(name), staged);
    } else {
        fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
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
        if (auto f = t.state == TransactionState::Open ? FindStaged(t, ResolvedTarget(name)) : nullptr)
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
    std::shared_ptr<StagedFile> staged;
    int fd = OpenForWriting(name, m == "a", staged);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t io{};
    io.write = StreamWrite;
    io.close = StreamClose;
    auto* stream = new Stream{fd, !binary, name, staged};
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
        if (t.state == TransactionState::Open && FindStaged(t, ResolvedTarget(file)))
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

bool CommitFileTransaction()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.state != TransactionState::Open && t.error.empty())
        t.error = "no file transaction is open";
    for (const auto& f : t.files) {
        if (f->open)
            FailLocked(t, f->target, EBUSY);
        else if (int err = TargetRefusal(f->target)) // what appeared meanwhile at the target
            FailLocked(t, f->target, err);
    }
    std::set<std::string> dirs;
    for (const auto& f : t.files) {
        if (t.error.empty() && rename(f->temp.c_str(), f->target.c_str()) != 0)
            FailLocked(t, f->target, errno);
        size_t slash = f->target.rfind('/');
        dirs.insert(slash == std::string::npos ? "." : f->target.substr(0, slash + 1));
    }
    bool ok = t.error.empty();
    if (ok) {
        // The renames themselves reach the disk.
        for (const std::string& dir : dirs)
            if (int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
                fsync(fd);
                close(fd);
            }
        t.files.clear();
    }
    RemoveStagedLocked(t);
    t.state = ok ? TransactionState::None : TransactionState::Aborted;
    return ok;
}

void AbortFileTransaction()
{
    Transaction& t = TheTransaction();
    std::lock_guard<std::mutex> guard(t.lock);
    RemoveStagedLocked(t);
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
