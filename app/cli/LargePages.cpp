// Large arrays allocated with nothrow new[] are backed by huge pages where the system
// gives them on request.
//
// The JSON parser allocates the index of a scene file this way: four bytes for every
// bracket, comma and number, about the size of the file, written once from start to
// end. In ordinary pages a 100 MB file costs some 30 000 page faults, a tenth of the
// whole export; in huge pages, sixty. Only this allocation form is replaced: the
// library's own delete[] frees it, since both go through malloc and free.
// AddressSanitizer keeps its own allocator, and would take malloc paired with delete[]
// for a fault: that build keeps the library's operator.
#ifndef __SANITIZE_ADDRESS__

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t HugePage = size_t(2) << 20;
// Below this, the pages rounded up to whole huge pages would cost more than the
// faults they save.
constexpr size_t Threshold = size_t(16) << 20;

void* Allocate(size_t size) noexcept
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p && size >= Threshold) {
        // The whole huge pages inside the block, which malloc maps on its own.
        const uintptr_t first = (uintptr_t(p) + HugePage - 1) & ~(HugePage - 1);
        const uintptr_t last = (uintptr_t(p) + size) & ~(HugePage - 1);
        if (last > first)
            madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // advice only
    }
    return p;
}

} // namespace

void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

#endif
