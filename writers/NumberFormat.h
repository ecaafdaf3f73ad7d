// The one exact path for numbers written from the scene.
#pragma once

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Largest text FormatFixed produces: a float near its range widened to double has
// 39 integer digits; with a sign, the point and 10 decimals that is 51 characters.
constexpr size_t FORMAT_FIXED_MAX = 64;

// Writes v, widened to double, exactly as the C runtime of the plug-in's platform
// wrote "%4.<decimals>f" (minimum width 4, right-aligned with spaces; "nan", "-nan",
// "inf", "-inf" likewise) into buf, which holds FORMAT_FIXED_MAX characters (any of
// them may be overwritten), and returns the length. decimals is 0 to 10. The text is
// the exact value correctly rounded, and an exact tie rounds away from zero: 2.5
// gives 3 and -0.5 gives -1 at 0 decimals, 0.625 gives 0.63 at 2. (glibc rounds ties
// to even instead.)
size_t FormatFixed(char* buf, float v, int decimals);

// v when it is finite; otherwise the nearest finite float (FLT_MAX or -FLT_MAX for an
// infinity) and 0 for a NaN, which has none. The engine cannot read "inf" or "nan".
float FiniteOrNearest(float v);

// How many of the n characters of a formatted number a ten-character field keeps:
// the first ten, or the whole integer part (without its point) when that is longer,
// since only decimals may be dropped.
size_t CutToTen(const char* text, size_t n);

// The decimals and indentation the writers accept: what the preferences dialog's
// spinners allow. Values from elsewhere (a damaged configuration file) are clamped.
constexpr int MAX_DECIMALS = 10;
constexpr int MAX_INDENTATION = 8;
int ClampDecimals(int decimals);
int ClampIndentation(int indentation);

// v truncated toward zero. Values no int holds are given a defined result: NaN is 0,
// the rest saturate at INT_MIN or INT_MAX. Inline: the face lines call it per vertex.
inline int TruncateToInt(double v)
{
    if (v > -2147483649.0 && v < 2147483648.0)
        return int(v);
    if (std::isnan(v))
        return 0;
    return v > 0 ? INT_MAX : INT_MIN;
}

// The eight decimal digits of v (below 10^8), leading zeros included, as the bytes of
// a little-endian word in reading order. Each step splits every digit group of the
// word in two at once, by multiplications that never carry from one group into the
// next: a number costs a few operations instead of a division per pair of digits.
inline uint64_t EightDigits(uint32_t v)
{
    uint64_t x = v / 10000 | uint64_t(v % 10000) << 32;       // two groups of 4
    uint64_t q = ((x * 10486) >> 20) & 0x0000007f0000007full; // each / 100
    x = q | (x - q * 100) << 16;                              // four groups of 2
    q = ((x * 103) >> 10) & 0x000f000f000f000full;            // each / 10
    x = q | (x - q * 10) << 8;                                // eight digits
    static_assert(std::endian::native == std::endian::little, "the first digit is the lowest byte");
    return x | 0x3030303030303030ull;
}

// "%u" of v (below 10^8) at p, which has room for 8 characters; returns the end.
inline char* PutDigits(char* p, uint32_t v)
{
    const uint64_t digits = EightDigits(v);
    // Leading zeros are the low bytes still '0'; the last digit is always kept.
    const int skip = std::countr_zero((digits ^ 0x3030303030303030ull) | (uint64_t(1) << 56)) / 8;
    const uint64_t text = digits >> (8 * skip);
    std::memcpy(p, &text, 8);
    return p + (8 - skip);
}
