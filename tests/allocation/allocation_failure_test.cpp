// Running out of memory at any point of an export: the n-th allocation fails, for
// every n until the run needs fewer, on small scenes of each kind of reader. Every run
// either ends as a run with memory to spare does (the same files) or lets
// std::bad_alloc out, which vekexport reports as the memory budget exceeded; nothing
// staged is left beside the output, and under the sanitizers nothing of the load leaks.
//
// Counted are the allocations through operator new and new[], replaced in this binary,
// from the load (where Case says) to the end of the module's export: those of the
// loaders, the scene, the module (linked in), the file transaction's staging and the
// standard library, and the commit that puts the files in place. Not counted: malloc
// (the C library's streams, zlib, simdjson's aligned buffers), nothrow and aligned new.
#include "export/SceneExporter.h"
#include "plugin/Plugin.h"
#include "scene/Scene.h"
#include "transaction.h"
#include "win32.h"

#include <gtest/gtest.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

extern "C" const RESOURCEDIRECTORY ResourceDirectory;

namespace {

// Allocations left before the one that fails; below zero, none fails. `failed` tells
// that one did.
std::atomic<long long> countdown{-1};
std::atomic<bool> failed{false};

void* Allocate(std::size_t n)
{
    if (countdown.load(std::memory_order_relaxed) >= 0 && countdown.fetch_sub(1) == 0) {
        failed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
// Not counted: the caller of a nothrow allocation checks it, or does not (the JSON
// parser's string buffer), which is not ours to mend.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> Names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The module holds its lists, writers and open files in plain pointers, released on
// its way out as the SDK's own exporters do: an exception from inside it leaks them
// (vekexport ends the process then). What it allocates is not checked for leaks.
struct ModuleLeaksIgnored {
#ifdef __SANITIZE_ADDRESS__
    ModuleLeaksIgnored() { __lsan_disable(); }
    ~ModuleLeaksIgnored() { __lsan_enable(); }
#else
    ModuleLeaksIgnored() = default;
#endif
    ModuleLeaksIgnored(const ModuleLeaksIgnored&) = delete;
    ModuleLeaksIgnored& operator=(const ModuleLeaksIgnored&) = delete;
};

// Loads the scene and exports it with the options in config into out/out.vek, staged
// and put in place as vekexport does, the n-th allocation failing (of the export only,
// unless `load`; n < 0: none). Throws what the load or the export throws, or
// std::runtime_error when the export ends without its files.
void LoadAndExport(const fs::path& scenePath, const fs::path& config, const fs::path& out, long long n, bool load)
{
    failed = false;
    countdown = load ? n : -1;
    std::unique_ptr<vek::Scene> scene = vek::LoadSceneFile(scenePath.string());
    scene->SetPluginConfigDir(config.string());
    scene->Activate();
    if (!load)
        countdown = n;
    BeginFileTransaction();
    SceneExporter exporter;
    ExpInterface ei;
    int result = 0;
    {
        [[maybe_unused]] ModuleLeaksIgnored ignored;
        result = exporter.DoExport((out / "out.vek").c_str(), &ei, scene.get(), TRUE, 0);
    }
    const bool committed = result && CommitFileTransaction();
    countdown = -1;
    if (!committed)
        throw std::runtime_error("the export stopped: " + FileTransactionError());
}

// A scene, and whether its load is counted as well as its export. A JSON scene's is
// not: the JSON library's values allocate in their destructors, and an allocation
// that fails there ends the process (std::terminate). Nor is a model's: Assimp's own
// readers free twice what they had when an allocation fails, and vekexport reads
// models in a child process whose crash it reports.
struct Case {
    const char* scene;
    bool load;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.scene; }

class AllocationFailure : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite()
    {
        DllMain(CreateModuleInstance(&ResourceDirectory), DLL_PROCESS_ATTACH, nullptr);
        SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
    }
};

TEST_P(AllocationFailure, EveryRunEndsWholeOrWithBadAllocAndLeavesNothingStaged)
{
    const fs::path scene = fs::path(VEK_SOURCE_DIR) / GetParam().scene;
    const bool load = GetParam().load;
    const fs::path dir = fs::path(VEK_BINARY_DIR) / "allocation-failure" / scene.parent_path().filename();
    const fs::path config = dir / "config", out = dir / "out";
    fs::remove_all(dir);
    fs::create_directories(config);
    fs::create_directories(out);
    LoadAndExport(scene, config, out, -1, load); // the options file written once
    const std::vector<std::string> configNames = Names(config), outNames = Names(out);
    std::vector<std::string> expected(outNames.size());
    for (size_t k = 0; k < outNames.size(); k++)
        expected[k] = ReadFile(out / outNames[k]);

    long long failures = 0;
    for (long long n = 0;; n++) {
        fs::remove_all(out);
        fs::create_directory(out);
        std::string error;
        try {
            LoadAndExport(scene, config, out, n, load);
        } catch (const std::bad_alloc&) {
            error = "-";
        } catch (const std::exception& e) {
            error = e.what();
        }
        countdown = -1;
        if (!error.empty())
            AbortFileTransaction(); // as vekexport ends a run that failed
        ASSERT_TRUE(error.empty() || error == "-") << "allocation " << n << " failed as: " << error;
        ASSERT_EQ(Names(config), configNames) << "allocation " << n;
        if (error.empty()) {
            ASSERT_EQ(Names(out), outNames) << "allocation " << n;
            for (size_t k = 0; k < outNames.size(); k++)
                ASSERT_EQ(ReadFile(out / outNames[k]), expected[k]) << "allocation " << n << ": " << outNames[k];
        } else {
            ASSERT_TRUE(Names(out).empty()) << "allocation " << n << ": " << testing::PrintToString(Names(out));
        }
        if (!failed)
            break; // the run needed fewer allocations than n
        failures++;
    }
    EXPECT_GT(failures, 20); // the count reaches into the runs' allocations
}

INSTANTIATE_TEST_SUITE_P(Scenes, AllocationFailure,
                         testing::Values(Case{"examples/crate.scene.json", false},
                                         Case{"tests/golden/ase-multi-material/scene.ase", true},
                                         Case{"tests/golden/model-obj-quad/scene.obj", false}),
                         [](const testing::TestParamInfo<Case>& param) {
                             return fs::path(param.param.scene).extension().string().substr(1);
                         });

} // namespace
