#include "writers/NumberFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

// Decimal digits of v at p; returns the end. Narrow values take the faster 32-bit path.
char* Digits(char* p, uint64_t v)
{
    if (v <= UINT32_MAX)
        return std::to_chars(p, p + 20, uint32_t(v)).ptr;
    return std::to_chars(p, p + 20, v).ptr;
}

// The D digits of f (below 10^D) at p, leading zeros included; writes up to 8 bytes
// past them.
template <int D> void FixedDigits(char* p, uint64_t f)
{
    if constexpr (D > 8) {
        FixedDigits<D - 8>(p, f / 100000000);
        FixedDigits<8>(p + D - 8, f % 100000000);
    } else {
        const uint64_t digits = EightDigits(uint32_t(f)) >> (8 * (8 - D));
        std::memcpy(p, &digits, 8);
    }
}

// The common case without the general conversion: v * 10^D is exact in a double (a
// float has 24 significant bits and 5^10 fewer than 24 more), so below 2^53 its
// nearest integer is the correctly rounded text without the point. An exact tie is
// left to the general path, which alone decides how ties round. Returns the length
// written to out, or 0 when the value is not for this path. One instance per D, so
// that the divisions by 10^D are multiplications.
template <int D> size_t FormatScaled(char* out, double d)
{
    constexpr uint64_t UNIT = [] {
        uint64_t u = 1;
        for (int k = 0; k < D; k++)
            u *= 10;
        return u;
    }();
    const double scaled = std::fabs(d) * double(UNIT);
    if (!(scaled < 1e15))
        return 0; // large, infinite or NaN
    const double whole = std::floor(scaled);
    const double rest = scaled - whole; // exact
    if (rest == 0.5)
        return 0;
    const uint64_t n = uint64_t(whole) + (rest > 0.5 ? 1 : 0);
    char* p = out;
    if (std::signbit(d))
        *p++ = '-'; // printf keeps the sign of a negative value that rounds to zero
    p = Digits(p, n / UNIT);
    if constexpr (D > 0) {
        *p++ = '.';
        FixedDigits<D>(p, n % UNIT);
        p += D;
    }
    return size_t(p - out);
}

using ScaledFormatter = size_t (*)(char*, double);
constexpr ScaledFormatter FORMAT_SCALED[MAX_DECIMALS + 1] = {
    FormatScaled<0>, FormatScaled<1>, FormatScaled<2>, FormatScaled<3>, FormatScaled<4>, FormatScaled<5>,
    FormatScaled<6>, FormatScaled<7>, FormatScaled<8>, FormatScaled<9>, FormatScaled<10>};
static_assert(std::size(FORMAT_SCALED) == MAX_DECIMALS + 1);

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
    // Written in place: only texts shorter than the width of 4 are moved.
    size_t n = FORMAT_SCALED[decimals](buf, d);
    if (n == 0 && std::isnan(d)) {
        // printf shows the sign of a NaN.
        n = std::signbit(d) ? 4 : 3;
        std::memcpy(buf, std::signbit(d) ? "-nan" : "nan", n);
    } else if (n == 0) {
        // to_chars in fixed notation is exact and correctly rounded, ties to even.
        auto r = std::to_chars(buf, buf + FORMAT_FIXED_MAX, d, std::chars_format::fixed, decimals);
        n = size_t(r.ptr - buf);
        // The last digit of such a tie is even: one more never carries.
        if (TieWrittenTowardZero(v, decimals))
            buf[n - 1]++;
    }
    if (n >= 4)
        return n;
    const size_t pad = 4 - n;
    std::memmove(buf + pad, buf, n);
    std::memset(buf, ' ', pad);
    return 4;
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
    // The point is a few characters in: a loop costs less than a call to find it.
    size_t integerEnd = 0;
    while (integerEnd < n && text[integerEnd] != '.')
        integerEnd++;
    return std::max<size_t>(10, integerEnd);
}

int ClampDecimals(int decimals) { return std::clamp(decimals, 0, MAX_DECIMALS); }

int ClampIndentation(int indentation) { return std::clamp(indentation, 0, MAX_INDENTATION); }
