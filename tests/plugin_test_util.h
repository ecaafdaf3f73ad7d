// Helpers for tests that call the plug-in's code linked into the test binary: its
// module handle and string table, and a stream in memory to read what a writer wrote.
#pragma once

#include "plugin/Plugin.h"
#include "win32.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// The module's resources, linked in here.
extern "C" const RESOURCEDIRECTORY ResourceDirectory;

namespace vek::test {

// The plug-in's module handle, its entry point run once as when the host loads the
// module, so that keywords and texts are found in its string table. Every test gets
// the same handle; the entry point runs again when a test has left another one.
inline HINSTANCE LinkedModule()
{
    static HINSTANCE module = [] {
        HINSTANCE h = CreateModuleInstance(&ResourceDirectory);
        DllMain(h, DLL_PROCESS_ATTACH, nullptr);
        return h;
    }();
    if (hInstance != module)
        DllMain(module, DLL_THREAD_ATTACH, nullptr);
    return module;
}

// A stream whose bytes can be read back; "\n" stays "\n".
class MemoryFile {
public:
    MemoryFile() : file(open_memstream(&buffer, &size)) {}
    ~MemoryFile()
    {
        std::fclose(file);
        std::free(buffer);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    FILE* Get() { return file; }
    // What was written so far.
    std::string Text()
    {
        std::fflush(file);
        return std::string(buffer, size);
    }

private:
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file;
};

// The text with every "\r\n" turned into "\n".
inline std::string Unix(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t k = 0; k < text.size(); k++)
        if (!(text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n'))
            out += text[k];
    return out;
}

// The lines of text, without their "\n".
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace vek::test
