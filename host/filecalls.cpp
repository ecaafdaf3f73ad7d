#include "filecalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostfs {

namespace {

struct ErrnoName {
    const char* name;
    int value;
};
constexpr ErrnoName ErrnoNames[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},     {"EINTR", EINTR},
                                    {"EDQUOT", EDQUOT}, {"EFBIG", EFBIG}, {"EROFS", EROFS}};
static_assert(sizeof(ErrnoNames) / sizeof(ErrnoNames[0]) == 6);

// The call to fail and how, from the environment; call 0 for none.
struct Fault {
    unsigned long call = 0;
    int error = 0;
};

Fault ReadFault()
{
    Fault f;
    const char* spec = std::getenv("VEKEXPORT_FAIL_FILE_CALL");
    if (!spec)
        return f;
    char* end = nullptr;
    f.call = std::strtoul(spec, &end, 10);
    if (*end != ':')
        return Fault{};
    const char* err = end + 1;
    for (const ErrnoName& e : ErrnoNames)
        if (std::strcmp(err, e.name) == 0)
            f.error = e.value;
    if (!f.error)
        f.error = std::atoi(err);
    if (!f.error)
        return Fault{};
    return f;
}

std::atomic<unsigned long> calls{0};

// Counts one call of `what`; true, with errno set, when it is the one to fail.
bool Injected(const char* what)
{
    static const Fault fault = ReadFault();
    unsigned long n = calls.fetch_add(1, std::memory_order_relaxed) + 1;
    if (fault.call == 0 || n != fault.call)
        return false;
    std::fprintf(stderr, "vekexport: injected %s into file call %lu (%s)\n", strerrorname_np(fault.error), n, what);
    errno = fault.error;
    return true;
}

// Makes a call again while a signal interrupts it.
template <class F> auto Retry(const char* what, F call)
{
    for (;;) {
        decltype(call()) r = Injected(what) ? -1 : call();
        if (!(r < 0 && errno == EINTR))
            return r;
    }
}

} // namespace

int Open(const char* path, int flags, mode_t mode)
{
    return Retry("open", [&] { return ::open(path, flags | O_CLOEXEC, mode); });
}

bool WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t w = Retry("write", [&] { return ::write(fd, p, n); });
        if (w < 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

ssize_t Read(int fd, char* p, size_t n)
{
    return Retry("read", [&] { return ::read(fd, p, n); });
}

int Fsync(int fd)
{
    return Retry("fsync", [&] { return ::fsync(fd); });
}

int Close(int fd)
{
    // Linux releases the descriptor whatever close returns, even when interrupted:
    // never again. An injected failure releases it too.
    int r = ::close(fd);
    if (Injected("close"))
        r = -1;
    if (r < 0 && errno == EINTR)
        return 0;
    return r;
}

int Rename(const char* from, const char* to)
{
    return Retry("rename", [&] { return ::rename(from, to); });
}

int Unlink(const char* path)
{
    return Retry("unlink", [&] { return ::unlink(path); });
}

int Link(const char* from, const char* to)
{
    return Retry("link", [&] { return ::link(from, to); });
}

int Fchmod(int fd, mode_t mode)
{
    return Retry("fchmod", [&] { return ::fchmod(fd, mode); });
}

int Flock(int fd, int operation)
{
    return Retry("flock", [&] { return ::flock(fd, operation); });
}

int MakeTemp(std::string& pathTemplate)
{
    return Retry("mkostemp", [&] { return ::mkostemp(pathTemplate.data(), O_CLOEXEC); });
}

int SyncDirectory(const std::string& dir)
{
    int fd = Open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -1;
    int r = Fsync(fd);
    int err = errno;
    Close(fd);
    errno = err;
    return r;
}

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string BaseOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace hostfs
