#include "writers/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

size_t FormatFixed(char* buf, float v, int decimals)
{
    double d = v;
    char tmp[FORMAT_FIXED_MAX];
    size_t n;
    if (std::isnan(d)) {
        // printf shows the sign of a NaN.
        n = std::signbit(d) ? 4 : 3;
        std::memcpy(tmp, std::signbit(d) ? "-nan" : "nan", n);
    } else {
        // to_chars in fixed notation is exact and correctly rounded, as printf is.
        auto r = std::to_chars(tmp, tmp + sizeof(tmp), d, std::chars_format::fixed, decimals);
        n = size_t(r.ptr - tmp);
    }
    size_t pad = n < 4 ? 4 - n : 0;
    std::memset(buf, ' ', pad);
    std::memcpy(buf + pad, tmp, n);
    return pad + n;
}

int ClampDecimals(int decimals) { return std::clamp(decimals, 0, MAX_DECIMALS); }

int ClampIndentation(int indentation) { return std::clamp(indentation, 0, MAX_INDENTATION); }
