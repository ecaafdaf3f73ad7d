// The host's owned string.
#pragma once

#include "maxtypes.h"

#include <string>

class CStr {
    std::string s;

public:
    CStr() = default;
    CStr(const char* cs) : s(cs ? cs : "") {}
    CStr(const char* cs, size_t n) : s(cs, n) {}
    CStr(const std::string& str) : s(str) {}
    const char* data() const { return s.c_str(); }
    operator const char*() const { return s.c_str(); }
    int Length() const { return int(s.size()); }
    int length() const { return Length(); }
    bool isNull() const { return s.empty(); }
    char& operator[](int i) { return s[size_t(i)]; }
    char operator[](int i) const { return s[size_t(i)]; }
    CStr& operator=(const char* cs)
    {
        s = cs ? cs : "";
        return *this;
    }
    CStr& operator+=(const CStr& c)
    {
        s += c.s;
        return *this;
    }
    CStr& operator+=(const char* cs)
    {
        if (cs)
            s += cs;
        return *this;
    }
    CStr& operator+=(char c)
    {
        s += c;
        return *this;
    }
    CStr operator+(const CStr& c) const { return CStr(s + c.s); }
    bool operator==(const CStr& c) const { return s == c.s; }
    bool operator==(const char* cs) const { return s == (cs ? cs : ""); }
    // Characters first .. first + num - 1 (clipped to the string).
    CStr Substr(int first, int num) const;
    // Index of the first occurrence of c at or after start, or -1.
    int first(char c, int start = 0) const;
    void Resize(int n) { s.resize(size_t(n < 0 ? 0 : n)); }
    void toUpper();
    void toLower();
    // Formats like sprintf into this string.
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const std::string& str() const { return s; }
};

typedef CStr TSTR;
