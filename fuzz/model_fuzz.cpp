// Feeds arbitrary bytes to the model loader, through Assimp: a model that does not
// load is a SceneError with a message (or, past the memory it may take, a
// std::bad_alloc), never a crash, whatever the input.
//
// The bytes are written to a file without an extension, so that Assimp picks the
// format from the content, as it does for a file whose extension it does not know.
//
// vekexport's memory budget caps the address space, which AddressSanitizer cannot
// have; here a single allocation beyond 2 GiB throws std::bad_alloc instead (a file
// declaring a billion vertices), and -rss_limit_mb catches the slow growth.
#include "scene/Scene.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

namespace {

constexpr std::size_t MaxAllocation = std::size_t(2) << 30;

void* Allocate(std::size_t n)
{
    if (n > MaxAllocation)
        throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

// The replaceable allocation functions Assimp's readers use (AddressSanitizer's own
// abort on a failed allocation instead of throwing).
void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::filesystem::path dir = [] {
        std::filesystem::path d = std::filesystem::path("/dev/shm") / ("vek-model-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string path = (dir / "model").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    vek::ImportOptions options;
    options.embeddedTextureBase = (dir / "model").string();
    try {
        vek::LoadModelFile(path, options);
    } catch (const vek::SceneError&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
