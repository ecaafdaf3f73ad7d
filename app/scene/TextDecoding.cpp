// Decoding of other programs' text files into UTF-8.
#include "TextDecoding.h"

#include <cstdint>
#include <cstring>

namespace vek {

namespace {

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xc0 | (c >> 6));
        out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += char(0xe0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    } else {
        out += char(0xf0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3f));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    }
}

std::string FromUtf16(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](size_t i) {
        auto b0 = uint8_t(bytes[i]), b1 = uint8_t(bytes[i + 1]);
        return uint32_t(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xd800 && c < 0xdc00 && i + 3 < bytes.size() && unit(i + 2) >= 0xdc00 && unit(i + 2) < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (unit(i + 2) - 0xdc00);
            i += 2;
        } else if (c >= 0xd800 && c < 0xe000) {
            c = 0xfffd; // a lone half of a surrogate pair
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool ValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        // ASCII, the whole of most files, eight bytes at a time.
        uint64_t word = 0;
        if (s.size() - i >= 8 && (std::memcpy(&word, s.data() + i, 8), (word & 0x8080808080808080u) == 0)) {
            i += 8;
            continue;
        }
        auto c = uint8_t(s[i]);
        size_t n = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : 4;
        if (n == 4 || (n == 1 && c < 0xc2) || i + n >= s.size() + (n == 0))
            return false;
        for (size_t k = 1; k <= n; k++)
            if ((uint8_t(s[i + k]) & 0xc0) != 0x80)
                return false;
        i += n + 1;
    }
    return true;
}

} // namespace

std::string_view DecodeSceneText(std::string_view b, std::string& converted)
{
    if (b.size() >= 2 && uint8_t(b[0]) == 0xff && uint8_t(b[1]) == 0xfe)
        return converted = FromUtf16(b.substr(2), false);
    if (b.size() >= 2 && uint8_t(b[0]) == 0xfe && uint8_t(b[1]) == 0xff)
        return converted = FromUtf16(b.substr(2), true);
    if (b.substr(0, 3) == "\xef\xbb\xbf")
        b.remove_prefix(3);
    // Read where it lies: a scene of hundreds of megabytes is not copied.
    if (ValidUtf8(b))
        return b;
    converted.clear(); // Latin-1
    converted.reserve(b.size() * 2);
    for (char c : b)
        AppendUtf8(converted, uint8_t(c));
    return converted;
}

} // namespace vek
