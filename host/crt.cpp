#include "crt.h"

#include <cstring>
#include <string>

namespace {

// Write side of a text-mode stream: the cookie is the underlying binary FILE.
ssize_t WriteCrlf(void* cookie, const char* buf, size_t size)
{
    FILE* f = static_cast<FILE*>(cookie);
    size_t start = 0;
    for (size_t i = 0; i < size; i++) {
        if (buf[i] != '\n')
            continue;
        if (i > start && std::fwrite(buf + start, 1, i - start, f) != i - start)
            return -1;
        if (std::fwrite("\r\n", 1, 2, f) != 2)
            return -1;
        start = i + 1;
    }
    if (size > start && std::fwrite(buf + start, 1, size - start, f) != size - start)
        return -1;
    return ssize_t(size);
}

int CloseCrlf(void* cookie) { return std::fclose(static_cast<FILE*>(cookie)); }

} // namespace

FILE* _tfopen(const MCHAR* name, const MCHAR* mode)
{
    if (!name || !mode)
        return nullptr;
    std::string m;
    bool binary = false;
    for (const char* p = mode; *p; p++) {
        if (*p == 'b')
            binary = true;
        else if (*p != 't')
            m += *p;
    }
    bool writes = m.find_first_of("wa+") != std::string::npos;
    if (binary || !writes)
        return std::fopen(name, (m + "b").c_str());
    FILE* f = std::fopen(name, (m + "b").c_str());
    if (!f)
        return nullptr;
    cookie_io_functions_t io{};
    io.write = WriteCrlf;
    io.close = CloseCrlf;
    FILE* text = fopencookie(f, m.c_str(), io);
    if (!text) {
        std::fclose(f);
        return nullptr;
    }
    std::setvbuf(text, nullptr, _IOFBF, 1 << 16);
    return text;
}
