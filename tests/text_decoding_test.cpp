// Text files of other programs as UTF-8: the encodings told apart, and what is kept of
// bytes that are no valid text.
#include "scene/TextDecoding.h"

#include <gtest/gtest.h>

#include <string>

namespace vek {
namespace {

using namespace std::string_literals;

TEST(TextDecoding, EachEncodingBecomesUtf8AndUtf8IsNotCopied)
{
    const struct {
        std::string bytes, text;
        bool copied;
    } cases[] = {
        {"caf\xc3\xa9", "caf\xc3\xa9", false},
        {"\xef\xbb\xbf\xc3\xa9", "\xc3\xa9", false},          // byte-order mark dropped
        {"0123456789caf\xe9", "0123456789caf\xc3\xa9", true}, // Latin-1 after a run of ASCII
        {"ab\xc3", "ab\xc3\x83", true},                       // a sequence cut at the end
        {"\xc0\xaf", "\xc3\x80\xc2\xaf", true},               // an overlong form
        {"\xff\xfe"
         "A\0\x3d\xd8\x00\xde"s,
         "A\xf0\x9f\x98\x80", true}, // little-endian, a surrogate pair
        {"\xfe\xff\xd8\x3d\0B"s,
         "\xef\xbf\xbd"
         "B",
         true}, // big-endian, a lone half of a pair
        {"\xff\xfe"
         "A\0B"s,
         "A", true}, // an odd last byte
    };
    for (const auto& c : cases) {
        std::string converted;
        const std::string_view text = DecodeSceneText(c.bytes, converted);
        EXPECT_EQ(std::string(text), c.text) << c.bytes;
        const bool inBytes = text.data() >= c.bytes.data() && text.data() < c.bytes.data() + c.bytes.size();
        EXPECT_EQ(!inBytes, c.copied) << c.bytes;
    }
}

} // namespace
} // namespace vek
