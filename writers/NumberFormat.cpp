#include "writers/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

constexpr double POW10[MAX_DECIMALS + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
static_assert(std::size(POW10) == MAX_DECIMALS + 1);

// The common case without the general conversion: v * 10^decimals is exact in a
// double (a float has 24 significant bits and 5^10 fewer than 24 more), so below
// 2^53 its nearest integer is the correctly rounded text without the point. An
// exact tie is left to the general path, which alone decides how ties round.
// Returns the length written to tmp, or 0 when the value is not for this path.
size_t FormatScaled(char* tmp, double d, int decimals)
{
    const double scaled = std::fabs(d) * POW10[decimals];
    if (!(scaled < 1e15))
        return 0; // large, infinite or NaN
    const double whole = std::floor(scaled);
    const double rest = scaled - whole; // exact
    if (rest == 0.5)
        return 0;
    uint64_t n = uint64_t(whole) + (rest > 0.5 ? 1 : 0);
    const uint64_t unit = uint64_t(POW10[decimals]);
    char* p = tmp;
    if (std::signbit(d))
        *p++ = '-'; // printf keeps the sign of a negative value that rounds to zero
    p = std::to_chars(p, tmp + FORMAT_FIXED_MAX, n / unit).ptr;
    if (decimals > 0) {
        // The decimals with their leading zeros: those of unit + fraction after its 1.
        char digits[24];
        std::to_chars(digits, digits + sizeof(digits), unit + n % unit);
        *p++ = '.';
        std::memcpy(p, digits + 1, size_t(decimals));
        p += decimals;
    }
    return size_t(p - tmp);
}

} // namespace

size_t FormatFixed(char* buf, float v, int decimals)
{
    double d = v;
    char tmp[FORMAT_FIXED_MAX];
    size_t n = FormatScaled(tmp, d, decimals);
    if (n == 0 && std::isnan(d)) {
        // printf shows the sign of a NaN.
        n = std::signbit(d) ? 4 : 3;
        std::memcpy(tmp, std::signbit(d) ? "-nan" : "nan", n);
    } else if (n == 0) {
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
