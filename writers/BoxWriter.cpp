#include "writers/BoxWriter.h"

#include "lists/BoxList.h"
#include "transaction.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

BoxWriter::BoxWriter(FILE* file, Interface* i, BoxList* list) : NodeWriter(file, i, 0), boxList(list) { SetTime(0); }

BoxWriter::~BoxWriter()
{
    outFile = nullptr;
    ip = nullptr;
    boxList = nullptr;
}

namespace {

constexpr double FIXED_ONE = 16384.0; // 1.14 fixed point
constexpr int FIXED_SHIFT = 14;

// The planes in the order the engine reads them.
constexpr int PLANE_ORDER[] = {0, 5, 2, 3, 4, 1};
static_assert(sizeof(PLANE_ORDER) / sizeof(PLANE_ORDER[0]) == 6);

// v truncated toward zero into [lo, hi]; a value that is not a number gives 0.
int32_t TruncateClamped(double v, int32_t lo, int32_t hi)
{
    if (std::isnan(v))
        return 0;
    v = std::trunc(v);
    if (v <= double(lo))
        return lo;
    if (v >= double(hi))
        return hi;
    return int32_t(v);
}

// The whole part of v shifted into fixed point, as the two's-complement bits.
unsigned CenterFixed(float v)
{
    constexpr int32_t limit = INT32_MAX >> FIXED_SHIFT;
    int32_t whole = TruncateClamped(v, -limit - 1, limit);
    return unsigned(uint32_t(whole) << FIXED_SHIFT);
}

// A normal component in fixed point, cut to 16 bits.
unsigned CoefficientFixed(float v)
{
    return unsigned(uint32_t(TruncateClamped(v * FIXED_ONE, INT32_MIN, INT32_MAX)) & 0xffffu);
}

// A plane distance in fixed point, 32 bits.
unsigned DistanceFixed(float v) { return unsigned(uint32_t(TruncateClamped(v * FIXED_ONE, INT32_MIN, INT32_MAX))); }

// Whether p gives at least 0 on all six planes of box; a value that is not a
// number counts as outside.
bool Inside(BoxRecord* box, const Point3& p)
{
    for (int j = 0; j < 6; j++) {
        float s = box->GetPlaneA(j) * p.x + box->GetPlaneB(j) * p.y + box->GetPlaneC(j) * p.z + box->GetPlaneD(j);
        if (!(s >= 0.0f))
            return false;
    }
    return true;
}

bool AnyCornerInside(BoxRecord* corners, BoxRecord* planes)
{
    for (int k = 0; k < 8; k++)
        if (Inside(planes, corners->GetCorner(k)))
            return true;
    return false;
}

// Bytes of a line of text as the file stores it ("\n" as two).
long long LineBytes(int written) { return written + 1; }

// A size for a message: "2.3 GiB", "512 MiB", "900 bytes".
std::string SizeText(unsigned long long bytes)
{
    char s[32];
    if (bytes >= 1ull << 30)
        std::snprintf(s, sizeof(s), "%.1f GiB", double(bytes) / double(1ull << 30));
    else if (bytes >= 1ull << 20)
        std::snprintf(s, sizeof(s), "%.1f MiB", double(bytes) / double(1ull << 20));
    else
        std::snprintf(s, sizeof(s), "%llu bytes", bytes);
    return s;
}

// The decimal digits of a position.
int Digits(int v)
{
    int d = 1;
    for (; v >= 10; v /= 10)
        d++;
    return d;
}

// A box's corners and planes as plain numbers, tested as BoxesOverlap tests them.
struct Shape {
    Point3 corners[8];
    float planes[6][4];

    explicit Shape(BoxRecord* box)
    {
        for (int k = 0; k < 8; k++)
            corners[k] = box->GetCorner(k);
        for (int j = 0; j < 6; j++) {
            planes[j][0] = box->GetPlaneA(j);
            planes[j][1] = box->GetPlaneB(j);
            planes[j][2] = box->GetPlaneC(j);
            planes[j][3] = box->GetPlaneD(j);
        }
    }
    bool Holds(const Point3& p) const
    {
        for (const auto& q : planes) {
            float s = q[0] * p.x + q[1] * p.y + q[2] * p.z + q[3];
            if (!(s >= 0.0f))
                return false;
        }
        return true;
    }
    bool AnyCornerIn(const Shape& other) const
    {
        for (const Point3& c : corners)
            if (other.Holds(c))
                return true;
        return false;
    }
    bool Overlaps(const Shape& other) const { return AnyCornerIn(other) || other.AnyCornerIn(*this); }
};

} // namespace

// The file's bytes without its pairs, as they will be written.
long long BoxWriter::BoxLinesBytes(int n)
{
    char line[128];
    long long bytes = LineBytes(std::snprintf(line, sizeof(line), "%d\n", n)) + LineBytes(6);
    for (int i = 0; i < n; i++) {
        BoxRecord* box = boxList->GetBox(i);
        Point3 center = box->GetCenter();
        bytes += LineBytes(std::snprintf(line, sizeof(line), " %d %d\n", box->GetId(), box->GetInnerRadius())) +
                 LineBytes(std::snprintf(line, sizeof(line), "  %x %x %x\n", CenterFixed(center.x),
                                         CenterFixed(center.y), CenterFixed(center.z)));
        for (int g : PLANE_ORDER)
            bytes += LineBytes(std::snprintf(line, sizeof(line), "  %x %x %x %x\n", CoefficientFixed(box->GetPlaneA(g)),
                                             CoefficientFixed(box->GetPlaneB(g)), CoefficientFixed(box->GetPlaneC(g)),
                                             DistanceFixed(box->GetPlaneD(g))));
    }
    return bytes;
}

bool BoxWriter::FitsLimit(int n)
{
    const unsigned long long limit = OutputLimit();
    if (limit == 0)
        return true;
    unsigned long long bytes = static_cast<unsigned long long>(BoxLinesBytes(n)), pairs = 0;
    // The same test as BoxesOverlap on plain copies of the boxes, for speed; counted
    // until the limit is passed: all of the pairs could take far longer than writing.
    std::vector<Shape> shapes;
    shapes.reserve(size_t(n));
    for (int i = 0; i < n; i++)
        shapes.emplace_back(boxList->GetBox(i));
    boxList->ForEachPairThatMayOverlap([&](int i, int j) {
        if (shapes[size_t(i)].Overlaps(shapes[size_t(j)])) {
            pairs++;
            bytes += static_cast<unsigned long long>(Digits(i) + Digits(j) + 3); // "i j\r\n"
        }
        return bytes <= limit;
    });
    if (bytes <= limit)
        return true;
    FailFileTransaction("the \".box\" file: its boxes overlap in more than " + std::to_string(pairs) +
                        " pairs, which would make it larger than " + SizeText(limit) +
                        " (the memory budget, or --max-output)");
    return false;
}

int BoxWriter::BoxesOverlap(BoxRecord* a, BoxRecord* b)
{
    if (!a || !b)
        return 0;
    return AnyCornerInside(a, b) || AnyCornerInside(b, a) ? 1 : 0;
}

ErrorFlags BoxWriter::Export(INode* node)
{
    (void)node;
    if (!outFile)
        return ERROR_BOX;
    const int n = boxList ? boxList->BoxCount() : 0;
    if (n <= 0)
        return 0;

    if (!FitsLimit(n))
        return ERROR_BOX;
    std::fprintf(outFile, "%d\n", n);
    for (int i = 0; i < n; i++) {
        BoxRecord* box = boxList->GetBox(i);
        std::fprintf(outFile, " %d", box->GetId());
        std::fprintf(outFile, " %d\n", box->GetInnerRadius());
        Point3 center = box->GetCenter();
        std::fprintf(outFile, "  %x %x %x\n", CenterFixed(center.x), CenterFixed(center.y), CenterFixed(center.z));
        for (int g : PLANE_ORDER)
            std::fprintf(outFile, "  %x %x %x %x\n", CoefficientFixed(box->GetPlaneA(g)),
                         CoefficientFixed(box->GetPlaneB(g)), CoefficientFixed(box->GetPlaneC(g)),
                         DistanceFixed(box->GetPlaneD(g)));
    }
    boxList->ForEachPairThatMayOverlap([this](int i, int j) {
        if (BoxesOverlap(boxList->GetBox(i), boxList->GetBox(j)))
            std::fprintf(outFile, "%d %d\n", i, j);
        return true;
    });
    std::fprintf(outFile, "-1 -1\n");
    return 0;
}
