// Lines gathered in memory and handed to the stream in large pieces: a mesh of
// millions of faces then costs a few thousand stdio calls instead of several per line.
//
// Whoever writes to the same stream directly must Flush first (the destructor flushes
// too), so that the text keeps its order.
#pragma once

#include "writers/NumberFormat.h"

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>

class TextBuffer {
public:
    explicit TextBuffer(FILE* stream) : file(stream), p(buf) {}
    ~TextBuffer() { Flush(); }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // n blanks; nothing when n is 0 or less.
    void Spaces(long long n)
    {
        // Indentations are a few blanks: copied as one block, without a call.
        if (n > 0 && n <= 16) {
            Room(16);
            std::memcpy(p, "                ", 16);
            p += n;
            return;
        }
        ManySpaces(n);
    }
    void Text(const char* s, size_t n)
    {
        if (n > CAPACITY / 2)
            return TextDirect(s, n);
        Room(n);
        std::memcpy(p, s, n);
        p += n;
    }
    void Text(const char* s) { Text(s, std::strlen(s)); }
    void Char(char c)
    {
        Room(1);
        *p++ = c;
    }
    // The number as "%d" (or "%lld") writes it.
    void Int(long long v)
    {
        Room(24);
        p = std::to_chars(p, p + 24, v).ptr;
    }
    // v as "%4.<decimals>f" writes it, whatever the numeric locale.
    void Fixed(float v, int decimals);
    // Room for n characters, to be written at the place returned; Advance then keeps
    // the first k of them.
    char* Reserve(size_t n)
    {
        Room(n);
        return p;
    }
    void Advance(size_t k) { p += k; }
    // Hands everything gathered so far to the stream in one write.
    void Flush();

private:
    static constexpr size_t CAPACITY = 32768;
    void TextDirect(const char* s, size_t n);
    void ManySpaces(long long n);
    void Room(size_t n)
    {
        if (size_t(buf + CAPACITY - p) < n)
            Flush();
    }

    FILE* file;
    char* p;
    char buf[CAPACITY];
};
