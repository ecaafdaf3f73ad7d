// Large blocks of memory are backed by huge pages where the system gives them on
// request.
//
// A scene's arrays are large and written once from start to end: the JSON parser's
// index of a scene file (four bytes for every bracket, comma and number, about the
// size of the file), a mesh's vertices and faces, the copy of a mesh a parametric
// object makes for the exporter. In ordinary pages a 100 MB file's index costs some
// 30 000 page faults, a tenth of the whole export; in huge pages, sixty. Every form
// of new goes through the one replaced here, and its blocks come from malloc, so the
// library's delete frees them. AddressSanitizer keeps its own allocator, and
// would take malloc paired with delete for a fault: that build keeps the library's
// operators.
#ifndef __SANITIZE_ADDRESS__

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t HugePage = size_t(2) << 20;
// Only the whole huge pages inside a block are advised: a block of this size holds
// at least one, and a smaller one is not worth the system call.
constexpr size_t Threshold = size_t(4) << 20;

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

// The library's other forms of new (arrays, nothrow) call this one: it fails as the
// library's does.
void* operator new(size_t size)
{
    for (;;) {
        if (void* p = Allocate(size))
            return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

#endif
