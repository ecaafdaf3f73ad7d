#include "writers/NumberFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// True when v lies exactly halfway between two texts of `decimals` decimals and the
// one nearer zero has an even last digit: round-half-to-even (what to_chars does)
// then wrote that one, where the platform's runtime rounded away from zero.
//
// A finite nonzero float is m * 2^e with m odd. v * 10^d = m * 5^d * 2^(e+d) is an
// odd number of halves exactly when e = -(d+1); it is then k + 1/2 with
// 2k + 1 = m * 5^d, and as 5^d is 1 modulo 4, k is even exactly when m is 1 modulo 4.
// Subnormal floats are multiples of 2^-149 below 2^-126: never such a tie.
bool TieWrittenTowardZero(float v, int decimals)
{
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    const int biased = int(bits >> 23) & 0xff;
    if (biased == 0 || biased == 0xff)
        return false;
    const uint32_t mantissa = (bits & 0x7fffffu) | 0x800000u;
    const int zeros = std::countr_zero(mantissa);
    return biased - 150 + zeros == -(decimals + 1) && ((mantissa >> zeros) & 3u) == 1u;
}

} // namespace

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
        // to_chars in fixed notation is exact and correctly rounded, ties to even.
        auto r = std::to_chars(tmp, tmp + sizeof(tmp), d, std::chars_format::fixed, decimals);
        n = size_t(r.ptr - tmp);
        // The last digit of such a tie is even: one more never carries.
        if (TieWrittenTowardZero(v, decimals))
            tmp[n - 1]++;
    }
    size_t pad = n < 4 ? 4 - n : 0;
    std::memset(buf, ' ', pad);
    std::memcpy(buf + pad, tmp, n);
    return pad + n;
}

float FiniteOrNearest(float v)
{
    if (std::isnan(v))
        return 0.0f;
    return std::clamp(v, -FLT_MAX, FLT_MAX);
}

size_t CutToTen(const char* text, size_t n)
{
    if (n <= 10)
        return n;
    const void* point = std::memchr(text, '.', n);
    size_t integerEnd = point ? size_t(static_cast<const char*>(point) - text) : n;
    return std::max<size_t>(10, integerEnd);
}

int ClampDecimals(int decimals) { return std::clamp(decimals, 0, MAX_DECIMALS); }

int ClampIndentation(int indentation) { return std::clamp(indentation, 0, MAX_INDENTATION); }
