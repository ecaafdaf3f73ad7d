#include "check/Fields.h"

#include <algorithm>
#include <limits>

namespace vek {

size_t CountByte(std::string_view s, char c)
{
    constexpr uint64_t Lows = 0x7f7f7f7f7f7f7f7f;
    const uint64_t pattern = static_cast<uint8_t>(c) * Ones;
    size_t count = 0, k = 0;
    for (; k + 8 <= s.size(); k += 8) {
        // Exact for every byte: no carry leaves a byte of (x & Lows) + Lows.
        const uint64_t x = Word(s.data() + k) ^ pattern;
        // One in each byte that matched, summed by the multiplication into the top byte
        // (popcount is a library call on the baseline processor).
        const uint64_t matched = (~(((x & Lows) + Lows) | x) & Highs) >> 7;
        count += static_cast<size_t>((matched * Ones) >> 56);
    }
    for (; k < s.size(); k++)
        count += s[k] == c;
    return count;
}

bool IsNumber(std::string_view s)
{
    float value;
    return ReadNumber(s, value);
}

void Tokens(std::string_view s, std::vector<std::string_view>& t)
{
    t.clear();
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        while (p < end && *p == ' ')
            p++;
        const char* q = p;
        while (q < end && *q != ' ')
            q++;
        if (q > p)
            t.emplace_back(p, static_cast<size_t>(q - p));
        p = q;
    }
}

bool Digits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long long Index(std::string_view s)
{
    if (s.empty())
        return -1;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return -1;
        v = v < 100000000000000000 ? v * 10 + (c - '0') : std::numeric_limits<long long>::max();
    }
    return v;
}

bool IsInt(std::string_view s)
{
    if (!s.empty() && s[0] == '-')
        s.remove_prefix(1);
    return Digits(s);
}

namespace {

bool LowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

} // namespace

bool IsHex6(std::string_view s) { return s.size() == 6 && std::all_of(s.begin(), s.end(), LowerHexDigit); }

bool IsHex(std::string_view s, size_t maxDigits)
{
    if (s.empty() || s.size() > maxDigits || (s.size() > 1 && s[0] == '0'))
        return false;
    return std::all_of(s.begin(), s.end(), LowerHexDigit);
}

long long ToLong(std::string_view s, int base)
{
    long long v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return r.ec == std::errc() ? v : -1;
}

} // namespace vek
