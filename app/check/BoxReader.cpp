// The ".box" collision file: the number of boxes, each box (head line, centre, six
// planes), then the pairs of boxes that touch, in order, ended by "-1 -1".
#include "check/BoxReader.h"
#include "check/Fields.h"
#include "check/Findings.h"
#include "check/LineReader.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

namespace {

// The fixed-point numbers of a plane line: three 16-bit and one 32-bit two's
// complement values, 16384 to the unit.
std::array<float, 4> PlaneValues(const std::vector<std::string_view>& t)
{
    std::array<float, 4> plane{};
    for (size_t k = 0; k < 4; k++) {
        const auto bits = static_cast<uint32_t>(ToLong(t[k], 16));
        const int32_t value = k < 3 ? static_cast<int16_t>(static_cast<uint16_t>(bits)) : static_cast<int32_t>(bits);
        plane[k] = static_cast<float>(value) / 16384.0f;
    }
    return plane;
}

class BoxReader {
public:
    explicit BoxReader(VekConsumer& consumer) : to(consumer) {}

    void Run(std::FILE* in)
    {
        LineReader r(in);
        while (r.Next()) {
            if (!LineEndFindings(r, to))
                continue;
            if (!Line(r.number, r.line))
                return;
        }
        Finish(r.number);
    }

private:
    VekConsumer& to;
    enum { Count, Head, Centre, Planes, Pairs, End } state = Count;
    long long boxes = 0, box = 0;
    int plane = 0;
    long long lastI = -1, lastJ = -1;
    bool extraBoxes = false;
    std::vector<std::string_view> t; // the words of the current line

    // One line; false when the rest of the file is not to be read.
    bool Line(long n, std::string_view line)
    {
        Tokens(line, t);
        const size_t lead = std::min(line.find_first_not_of(' '), line.size());
        // A box head where the pairs begin: the count said more boxes than there are.
        if (state == Head && lead == 0) {
            to.Finding(n, "the count says " + std::to_string(boxes) + " boxes, the file holds " + std::to_string(box));
            state = Pairs;
        }
        switch (state) {
        case Count:
            return CountLine(n, lead);
        case Head:
            HeadLine(n, lead);
            break;
        case Centre:
            if (lead != 2 || t.size() != 3 || !IsHex(t[0], 8) || !IsHex(t[1], 8) || !IsHex(t[2], 8))
                to.Finding(n, "centre line should be two blanks and three hexadecimal numbers");
            state = Planes;
            plane = 0;
            break;
        case Planes:
            PlaneLine(n, lead);
            break;
        case Pairs:
            PairLine(n, lead, line);
            break;
        case End:
            to.Finding(n, "line after the terminator \"-1 -1\"");
            return false;
        }
        return true;
    }

    bool CountLine(long n, size_t lead)
    {
        if (t.size() != 1 || lead != 0 || !Digits(t[0]) || t[0].size() > 9) {
            to.Finding(n, "the file should begin with the number of boxes");
            return false;
        }
        boxes = ToLong(t[0]);
        to.BoxCount(boxes);
        state = boxes > 0 ? Head : Pairs;
        return true;
    }

    void HeadLine(long n, size_t lead)
    {
        if (lead != 1 || t.size() != 2 || !IsInt(t[0]) || !IsInt(t[1]))
            to.Finding(n, "box head line should be one blank, the id and the inner radius");
        else if (ToLong(t[1]) < -1)
            to.Finding(n, "inner radius below -1");
        to.Box(t.empty() ? 0 : static_cast<int>(ToLong(t[0])));
        state = Centre;
    }

    void PlaneLine(long n, size_t lead)
    {
        if (lead != 2 || t.size() != 4 || !IsHex(t[0], 4) || !IsHex(t[1], 4) || !IsHex(t[2], 4) || !IsHex(t[3], 8))
            to.Finding(n, "plane line should be two blanks, three 16-bit and one 32-bit hexadecimal numbers");
        else
            to.BoxPlane(static_cast<size_t>(plane), PlaneValues(t));
        if (++plane == 6)
            state = ++box < boxes ? Head : Pairs;
    }

    void PairLine(long n, size_t lead, std::string_view line)
    {
        if (line == "-1 -1") {
            state = End;
            return;
        }
        if (lead > 0) {
            if (!extraBoxes)
                to.Finding(n, "more boxes than the " + std::to_string(boxes) + " the count announces");
            extraBoxes = true;
            return;
        }
        if (t.size() != 2 || !Digits(t[0]) || !Digits(t[1]) || t[0].size() > 9 || t[1].size() > 9) {
            to.Finding(n, "expected a pair of box positions or the terminator \"-1 -1\"");
            return;
        }
        const long long i = ToLong(t[0]), j = ToLong(t[1]);
        const std::string pair = "pair " + std::to_string(i) + " " + std::to_string(j);
        if (i <= j)
            to.Finding(n, pair + ": the first position must be the larger");
        if (i >= boxes || j >= boxes)
            to.Finding(n, pair + " names a box beyond the " + std::to_string(boxes) + " of the file");
        if (i < lastI || (i == lastI && j <= lastJ))
            to.Finding(n, "pairs out of order or repeated");
        lastI = i;
        lastJ = j;
    }

    void Finish(long lastLine)
    {
        if (state == Count)
            to.Finding(lastLine, "empty file");
        else if (state != End && state != Pairs)
            to.Finding(lastLine, "the file ends inside box " + std::to_string(box) + " of " + std::to_string(boxes));
        else if (state == Pairs)
            to.Finding(lastLine, "the file ends without the terminator \"-1 -1\"");
    }
};

} // namespace

void ReadBox(std::FILE* in, VekConsumer& to) { BoxReader(to).Run(in); }

} // namespace vek
