#include "JsonErrors.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vek {

namespace {

// 9997 as "9,997".
std::string Grouped(size_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

// Reads nothing but the first fault: a syntax error, or a number no double holds
// (the parser reports those as errors too).
class FirstFault : public nlohmann::json_sax<nlohmann::json> {
public:
    size_t position = 0;
    std::string token;
    bool found = false, outOfRange = false;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t at, const std::string& last, const nlohmann::detail::exception& e) override
    {
        found = true;
        position = at;
        token = last;
        outOfRange = e.id == 406;
        return false;
    }
};

} // namespace

std::string ShortJsonPath(const std::string& path)
{
    // A step is a key with the indices after it: "children[0]".
    std::vector<size_t> starts;
    for (size_t i = 0; i < path.size(); i++)
        if (i == 0 || path[i] == '.')
            starts.push_back(i == 0 ? 0 : i + 1);
    constexpr size_t KEEP = 2, LONGEST = 2 * KEEP + 4;
    if (starts.size() <= LONGEST)
        return path;
    const size_t headEnd = starts[KEEP] - 1, tailStart = starts[starts.size() - KEEP];
    return path.substr(0, headEnd) + "…(" + Grouped(starts.size() - 2 * KEEP) + " more)…" + path.substr(tailStart);
}

std::string DescribeJsonSyntaxError(std::string_view text)
{
    FirstFault fault;
    nlohmann::json::sax_parse(text, &fault);
    if (!fault.found)
        return "";
    // The position counts the characters read, the one at fault last (one past the
    // end at the end of the text); a number out of range is placed at its start.
    size_t at = fault.position == 0 ? 0 : fault.position - 1;
    if (fault.outOfRange)
        at = fault.position - std::min(fault.position, fault.token.size());
    at = std::min(at, text.size());
    size_t line = 1 + size_t(std::count(text.begin(), text.begin() + long(at), '\n'));
    size_t lineStart = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
    size_t column = at - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
    std::string what;
    if (fault.outOfRange) {
        what = "number out of range (" + fault.token.substr(0, 24) + ")";
    } else if (at >= text.size()) {
        what = "invalid JSON: unexpected end of file";
    } else {
        unsigned char c = static_cast<unsigned char>(text[at]);
        char shown[16];
        std::snprintf(shown, sizeof(shown), c < 0x20 || c == 0x7f ? "U+%04X" : "'%c'", c);
        what = std::string("invalid JSON: unexpected ") + shown;
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
}

} // namespace vek
