// The fields of Vek and ".box" lines: blank-separated words, whole numbers, numbers
// as the exporter spells them, hexadecimal colours and plane values. The number
// scanners read the vertex and face lines that make the bulk of a file, a word of
// eight bytes at a time where they can, so they stay inline here.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace vek {

// Eight bytes of text as one word, for looking at them all at once.
inline uint64_t Word(const char* p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr uint64_t Ones = 0x0101010101010101, Highs = 0x8080808080808080;

// The bytes of s equal to c, a word at a time.
size_t CountByte(std::string_view s, char c);

constexpr uint64_t Pow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
static_assert(std::size(Pow10) == 9);

// The run of decimal digits that begins at p, when it is shorter than eight: its
// length, and its value in `value`; 8 when the eight bytes from p (all readable) are
// digits, for the caller to read them one by one. The vertex indices and decimals
// that fill a file are read this way a word at a time.
[[gnu::always_inline]] inline int ShortDigits(const char* p, uint64_t& value)
{
    const uint64_t w = Word(p) - '0' * Ones;
    // A byte that was not a digit is now above 9: its high bit is set, or gets set
    // by adding 0x76. Borrows and carries only run upwards from such a byte, so the
    // lowest byte flagged (the first in the text) is exact.
    const uint64_t bad = (w | (w + 0x76 * Ones)) & Highs;
    if (bad == 0)
        return 8;
    const int n = __builtin_ctzll(bad) / 8;
    if (n == 0) {
        value = 0;
        return 0;
    }
    // The digits moved to the top, as the last of eight with leading zeros, then
    // combined in pairs, fours and eights.
    uint64_t v = w << (8 * (8 - n));
    v = v * 10 + (v >> 8);
    constexpr uint64_t Mask = 0x000000FF000000FF;
    constexpr uint64_t Mul1 = 100 + (1000000ULL << 32), Mul2 = 1 + (10000ULL << 32);
    value = (((v & Mask) * Mul1) + (((v >> 16) & Mask) * Mul2)) >> 32;
    return n;
}

// A scene number as the exporter spells it, from p: fixed notation, possibly cut
// after its point or before it. Returns where it ends, the first character that
// cannot continue it, with its value in `value`; null when no number starts at p.
inline const char* ScanNumber(const char* p, const char* end, float& value)
{
    const char* start = p;
    const bool negative = p < end && *p == '-';
    p += negative;
    uint64_t digits = 0;
    auto run = [&p, end, &digits] {
        const char* first = p;
        uint64_t chunk = 0;
        if (end - p >= 8) {
            if (const int n = ShortDigits(p, chunk); n < 8) {
                digits = digits * Pow10[n] + chunk;
                p += n;
                return n;
            }
        }
        for (; p < end && static_cast<unsigned>(*p - '0') < 10; p++)
            digits = digits * 10 + static_cast<uint64_t>(*p - '0');
        return static_cast<int>(p - first);
    };
    const int whole = run();
    if (whole == 0)
        return nullptr;
    int decimals = 0;
    if (p < end && *p == '.') {
        p++;
        decimals = run();
    }
    static constexpr double Scale[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9, 1e-10};
    static_assert(std::size(Scale) == 11);
    if (whole + decimals <= 19 && decimals < static_cast<int>(std::size(Scale))) {
        const double v = static_cast<double>(digits) * Scale[decimals];
        value = static_cast<float>(negative ? -v : v);
    } else {
        // Longer than the exporter writes: the library reads it.
        std::from_chars(start, p, value);
    }
    return p;
}

// A whole token that is a scene number; its value goes to `value`.
inline bool ReadNumber(std::string_view s, float& value)
{
    float v;
    const char* end = s.data() + s.size();
    const char* stop = ScanNumber(s.data(), end, v);
    if (!stop || stop != end)
        return false;
    value = v;
    return true;
}

bool IsNumber(std::string_view s);

// The blank-separated words of s, into t (kept from line to line so that its storage
// is reused).
void Tokens(std::string_view s, std::vector<std::string_view>& t);

// A run of decimal digits.
bool Digits(std::string_view s);

// The value of a vertex index, a run of decimal digits: -1 when s is not one, the
// largest value when it does not fit.
long long Index(std::string_view s);

// Digits, with a leading minus sign or not.
bool IsInt(std::string_view s);

// Six lower-case hexadecimal digits: a colour.
bool IsHex6(std::string_view s);

// Up to maxDigits lower-case hexadecimal digits without leading zeros.
bool IsHex(std::string_view s, size_t maxDigits);

// The value of s in base `base`; -1 when it is not one that fits.
long long ToLong(std::string_view s, int base = 10);

// Blanks before the first character of a number field of minimum width 4.
inline int Padding(std::string_view firstToken)
{
    return firstToken.size() < 4 ? static_cast<int>(4 - firstToken.size()) : 0;
}

} // namespace vek
