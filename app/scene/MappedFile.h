// A scene file's bytes mapped read-only, followed by the zeroed padding the JSON
// parser reads past their end: the file is not copied, and its pages come from the
// page cache rather than from a second buffer of its size.
//
// While a mapping exists, a page of it that no longer has a file behind it (another
// program cut the file short while it was being read) does not crash the process:
// it ends at once with status 2 and "vekexport: FILE: the file was cut short while it
// was read" on standard error. Nothing is written while a scene loads, so nothing is
// left behind. One mapping at a time.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <string>

namespace vek {

class MappedFile {
public:
    // Empty when the file cannot be mapped (not a regular file, say): the caller reads
    // it the ordinary way.
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    explicit operator bool() const { return base != nullptr; }
    simdjson::padded_string_view View() const
    {
        return simdjson::padded_string_view(base, size, size + simdjson::SIMDJSON_PADDING);
    }

    // Gives back the whole pages before upTo: they are the file's, so reading them
    // again faults them in from it. A reader going once through a large file thus
    // holds little more than the part it is at.
    void Release(const char* upTo);

private:
    char* base = nullptr;
    size_t size = 0, length = 0;
    size_t released = 0; // bytes from base given back

    void Map(int fd, size_t bytes);
};

} // namespace vek
