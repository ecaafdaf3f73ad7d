// The wording of JSON scene errors: places in a document that a reader can use.
#pragma once

#include <string>
#include <string_view>

namespace vek {

// A path (nodes[0].children[2].object) short enough for one line: a path of more
// than eight steps keeps its first two and last two, with the count of the others
// between them: nodes[0].children[0]…(9,996 more)…children[0].object.
std::string ShortJsonPath(const std::string& path);

// Where and why text is not JSON that a scene can hold, found by reading it again:
// "line 3, column 14: invalid JSON: unexpected '}'", "line 9, column 1: invalid
// JSON: unexpected end of file", "line 1, column 40: number out of range (1e400)".
// Empty when the text is such JSON.
std::string DescribeJsonSyntaxError(std::string_view text);

} // namespace vek
