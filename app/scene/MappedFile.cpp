#include "MappedFile.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vek {

namespace {

// The mapping watched for SIGBUS, and what to say when it comes: set before the
// handler is installed, read only by it.
struct Watched {
    const char* base = nullptr;
    size_t length = 0;
    char message[1024] = {};
    size_t messageLength = 0;
    struct sigaction previous {};
} watched;

void OnBusError(int signal, siginfo_t* info, void*)
{
    const char* at = static_cast<const char*>(info->si_addr);
    if (at >= watched.base && at < watched.base + watched.length) {
        ssize_t ignored = write(STDERR_FILENO, watched.message, watched.messageLength);
        (void)ignored;
        _exit(2);
    }
    // Not ours: as it would have been without us, the fault coming again on return.
    sigaction(signal, &watched.previous, nullptr);
}

void Watch(const char* base, size_t length, const std::string& path)
{
    std::string text = "vekexport: " + path + ": the file was cut short while it was read\n";
    if (text.size() > sizeof(watched.message))
        text = "vekexport: a scene file was cut short while it was read\n";
    std::memcpy(watched.message, text.data(), text.size());
    watched.messageLength = text.size();
    watched.base = base;
    watched.length = length;
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &watched.previous);
}

} // namespace

MappedFile::MappedFile(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0)
        return;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        Map(fd, size_t(st.st_size));
    close(fd);
    if (base)
        Watch(base, length, path);
}

MappedFile::~MappedFile()
{
    if (!base)
        return;
    sigaction(SIGBUS, &watched.previous, nullptr);
    watched.base = nullptr;
    munmap(base, length);
}

void MappedFile::Release(const char* upTo)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t end = std::min(size_t(upTo - base), size) / page * page;
    if (end > released && madvise(base + released, end - released, MADV_DONTNEED) == 0)
        released = end;
}

void MappedFile::Map(int fd, size_t bytes)
{
    // A zeroed region long enough for the padding, the file mapped over its start
    // (the rest of the file's last page reads as zeros too), read in ahead at once.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t whole = (bytes + simdjson::SIMDJSON_PADDING + page - 1) / page * page;
    void* region = mmap(nullptr, whole, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        return;
    if (mmap(region, bytes, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0) == MAP_FAILED) {
        munmap(region, whole);
        return;
    }
    base = static_cast<char*>(region);
    size = bytes;
    length = whole;
}

} // namespace vek
