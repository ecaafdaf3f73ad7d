// One line at a time from a stream, through a fixed buffer, whatever the stream holds:
// a line longer than MaxLine is cut (and flagged), NUL bytes and carriage returns
// inside a line are flagged, and a last line without its end is one.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace vek {

// Longer lines than any the exporter writes are findings and are not interpreted.
constexpr size_t MaxLine = 1 << 20;

class LineReader {
public:
    explicit LineReader(std::FILE* f) : in(f) {}

    // The next line into `line`, without its end, which the flags describe; false at
    // the end of the stream (or on a read error, or for a null stream). `line` stays
    // valid until the next call.
    bool Next()
    {
        tooLong = bareLf = strayCr = noEnd = binary = false;
        if (!InBuffer() && !Spanning())
            return false;
        number++;
        return true;
    }

    std::string_view line;
    long number = 0;      // of the line, from 1
    bool tooLong = false; // cut to MaxLine characters
    bool bareLf = false;  // ends with a line feed alone
    bool strayCr = false; // holds a carriage return before its end
    bool noEnd = false;   // the last line, without a line end
    bool binary = false;  // holds a NUL byte

private:
    std::FILE* in;
    std::array<char, 1 << 16> buf{};
    size_t pos = 0, len = 0;
    std::string spill; // a line that spans a refill

    bool InBuffer();
    bool Spanning();
};

} // namespace vek
