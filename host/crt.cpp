#include "crt.h"

#include <cstring>
#include <string>

namespace {

// Write side of a text-mode stream: the cookie is the underlying binary FILE. The
// translated text is gathered in pieces of 32 KiB, so that a stream of short lines
// does not cost one write of the underlying FILE per line.
ssize_t WriteCrlf(void* cookie, const char* buf, size_t size)
{
    FILE* f = static_cast<FILE*>(cookie);
    char out[1 << 15];
    size_t n = 0;
    auto put = [&](const char* s, size_t len) {
        if (n + len > sizeof(out)) {
            if (n > 0 && std::fwrite(out, 1, n, f) != n)
                return false;
            n = 0;
            if (len > sizeof(out))
                return std::fwrite(s, 1, len, f) == len;
        }
        std::memcpy(out + n, s, len);
        n += len;
        return true;
    };
    const char* p = buf;
    const char* end = buf + size;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        if (!put(p, size_t(stop - p)))
            return -1;
        if (!nl)
            break;
        if (!put("\r\n", 2))
            return -1;
        p = nl + 1;
    }
    if (n > 0 && std::fwrite(out, 1, n, f) != n)
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
