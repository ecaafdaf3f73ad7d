// Text files of other programs as UTF-8: the encodings the application's own text
// exports come in (UTF-8 with or without a byte-order mark, UTF-16 of either byte
// order with one, and the Windows code page of the machine that wrote them, read as
// Latin-1).
#pragma once

#include <string>
#include <string_view>

namespace vek {

// A text file's bytes as UTF-8:
// - UTF-8 is the bytes themselves, a byte-order mark (EF BB BF) dropped; they are not
//   copied, however large the file;
// - UTF-16 with a byte-order mark (FF FE little-endian, FE FF big-endian) is converted,
//   surrogate pairs joined; a lone half of a pair becomes U+FFFD, an odd last byte is
//   dropped;
// - anything else (bytes that are not valid UTF-8) is read as Latin-1, each byte the
//   code point of its value.
// Converted text is written into `converted`; the result views `bytes` or `converted`,
// and lives as long as the one it views.
std::string_view DecodeSceneText(std::string_view bytes, std::string& converted);

} // namespace vek
