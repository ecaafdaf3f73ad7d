#include "cli/MemoryBudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vek {

namespace {

constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
constexpr std::uint64_t MinimumBudget = 2 * GiB;
constexpr std::uint64_t BytesPerFileByte = 48;

// What the message names, set once by LimitMemory.
std::string limitedFile;
std::uint64_t limitBytes = 0;

// The address space the process maps now: libraries, stacks and heap.
std::uint64_t MappedNow()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * std::uint64_t(sysconf(_SC_PAGESIZE));
}

} // namespace

std::uint64_t DefaultMemoryBudget(const std::string& inputPath)
{
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(inputPath, ec);
    if (ec)
        return MinimumBudget;
    if (size > UINT64_MAX / BytesPerFileByte)
        return UINT64_MAX;
    return std::max<std::uint64_t>(MinimumBudget, size * BytesPerFileByte);
}

void LimitMemory(const std::string& file, std::uint64_t bytes)
{
    limitedFile = file;
    limitBytes = bytes;
    if (bytes == 0 || !MemoryBudgetApplies)
        return;
    std::uint64_t base = MappedNow();
    rlim_t wanted = bytes > RLIM_INFINITY - base ? RLIM_INFINITY : rlim_t(base + bytes);
    rlimit limit{};
    // A tighter limit set by the caller stays.
    if (getrlimit(RLIMIT_AS, &limit) != 0 || wanted >= limit.rlim_cur)
        return;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_AS, &limit);
}

std::string MemoryExceededMessage()
{
    return limitedFile + ": needs more than " + FormatMemorySize(limitBytes) + " of memory (see --max-memory)";
}

std::string FormatMemorySize(std::uint64_t bytes)
{
    static constexpr const char* Units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    static_assert(std::size(Units) == 7, "every power of 1024 an unsigned 64-bit size reaches");
    size_t unit = 0;
    double value = double(bytes);
    while (value >= 1024 && unit + 1 < std::size(Units)) {
        value /= 1024;
        unit++;
    }
    if (unit == 0)
        return std::to_string(bytes) + " bytes";
    // The user's locale must not turn the point into a comma: these messages are English.
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 1);
    (void)ec;
    return std::string(buf, end) + " " + Units[unit];
}

} // namespace vek
