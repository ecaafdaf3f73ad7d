#include "strclass.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>

CStr CStr::Substr(int first, int num) const
{
    int n = Length();
    if (first < 0)
        first = 0;
    if (first >= n || num <= 0)
        return CStr();
    return CStr(s.substr(size_t(first), size_t(num)));
}

int CStr::first(char c, int start) const
{
    if (start < 0)
        start = 0;
    size_t p = s.find(c, size_t(start));
    return p == std::string::npos ? -1 : int(p);
}

void CStr::toUpper()
{
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
}

void CStr::toLower()
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
}

int CStr::printf(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        s.clear();
        return n;
    }
    s.assign(size_t(n) + 1, '\0');
    vsnprintf(&s[0], size_t(n) + 1, format, ap2);
    va_end(ap2);
    s.resize(size_t(n));
    return n;
}
