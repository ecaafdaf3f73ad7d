// In-process writer tests: the plug-in's string table, and an output stream in memory.
#pragma once

#include "plugin/Plugin.h"
#include "win32.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" const RESOURCEDIRECTORY ResourceDirectory;

namespace vek::test {

// Makes the keyword lookups answer from the linked-in string table, as they do once
// the host has loaded the module.
inline void UseLinkedResources()
{
    if (!hInstance)
        hInstance = CreateModuleInstance(&ResourceDirectory);
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

} // namespace vek::test
