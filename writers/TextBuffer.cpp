#include "writers/TextBuffer.h"

void TextBuffer::ManySpaces(long long n)
{
    while (n > 0) {
        size_t chunk = n < 256 ? size_t(n) : 256;
        Room(chunk);
        std::memset(p, ' ', chunk);
        p += chunk;
        n -= static_cast<long long>(chunk);
    }
}

void TextBuffer::TextDirect(const char* s, size_t n)
{
    Flush();
    if (file)
        std::fwrite(s, 1, n, file);
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
