#include "writers/TextBuffer.h"

#include <charconv>

void TextBuffer::Spaces(long long n)
{
    while (n > 0) {
        size_t chunk = n < 256 ? size_t(n) : 256;
        Room(chunk);
        std::memset(p, ' ', chunk);
        p += chunk;
        n -= (long long)chunk;
    }
}

void TextBuffer::Text(const char* s, size_t n)
{
    if (n > CAPACITY / 2) {
        Flush();
        if (file)
            std::fwrite(s, 1, n, file);
        return;
    }
    Room(n);
    std::memcpy(p, s, n);
    p += n;
}

void TextBuffer::Int(long long v)
{
    Room(24);
    p = std::to_chars(p, p + 24, v).ptr;
}

void TextBuffer::Fixed(float v, int decimals)
{
    Room(FORMAT_FIXED_MAX);
    p += FormatFixed(p, v, decimals);
}

void TextBuffer::Flush()
{
    if (p != buf && file)
        std::fwrite(buf, 1, size_t(p - buf), file);
    p = buf;
}
