// Loads a scene description or an ASCII scene export, exports it through the plug-in
// and checks what it wrote: whatever scene loads, the export must give files in which
// the checker finds nothing.
//
// The input is "name=value" option lines (the option table's names, and
// "selectedOnly"), an empty line, then the scene's text, read as vekexport reads a
// scene file that is not a model. The files go to a directory in shared memory.
#include "check/VekCheck.h"
#include "export/SceneExporter.h"
#include "options/ExportOptions.h"
#include "plugin/Plugin.h"
#include "scene/Scene.h"
#include "scene/SceneFormats.h"
#include "win32.h"

#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>

extern "C" const RESOURCEDIRECTORY ResourceDirectory;

namespace {

namespace fs = std::filesystem;

const fs::path& Scratch()
{
    static const fs::path dir = [] {
        fs::path d = fs::path("/dev/shm") / ("vek-export-fuzz-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// Applies the option lines before the first empty line; returns the rest.
std::string_view ReadOptions(std::string_view input, ExportOptions& options, bool& selectedOnly)
{
    while (!input.empty()) {
        size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        if (line.empty())
            break;
        size_t eq = line.find('=');
        int value = 0;
        if (eq == std::string_view::npos ||
            std::from_chars(line.data() + eq + 1, line.data() + line.size(), value).ec != std::errc())
            continue;
        std::string_view name = line.substr(0, eq);
        if (name == "selectedOnly")
            selectedOnly = value != 0;
        if (int k = FindExportOption(name); k >= 0)
            options[k] = value;
    }
    return input;
}

void WriteOptions(const ExportOptions& options)
{
    std::FILE* f = std::fopen((Scratch() / OPTIONS_FILE_NAME).c_str(), "wb");
    if (!f)
        std::abort();
    const std::string bytes = EncodeOptionsFile(options);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DllMain(CreateModuleInstance(&ResourceDirectory), DLL_PROCESS_ATTACH, nullptr);
    SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ExportOptions options = DefaultExportOptions;
    bool selectedOnly = false;
    const simdjson::padded_string text(
        ReadOptions(std::string_view(reinterpret_cast<const char*>(data), size), options, selectedOnly));
    std::unique_ptr<vek::Scene> scene;
    try {
        // As vekexport chooses among its own formats; what none claims is read as the
        // first, for its errors.
        const vek::SceneFormat* format = vek::SniffSceneFormat(text);
        scene = (format ? *format : vek::SceneFormats[0]).load(text, "fuzz", {});
    } catch (const vek::SceneError&) {
        return 0;
    }
    WriteOptions(options);
    scene->SetPluginConfigDir(Scratch().string());
    scene->Activate();
    const fs::path out = Scratch() / "out.vek";
    fs::remove(Scratch() / "out.box");
    SceneExporter exporter;
    ExpInterface ei;
    if (!exporter.DoExport(out.c_str(), &ei, scene.get(), TRUE, selectedOnly ? SCENE_EXPORT_SELECTED : 0))
        return 0;
    vek::CheckReport report = vek::CheckVekFile(out.string());
    if (!report.Clean()) {
        std::fputs(vek::FormatReport(report).c_str(), stderr);
        std::abort();
    }
    return 0;
}
