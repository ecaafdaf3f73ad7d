#include "writers/BoxWriter.h"

#include "lists/BoxList.h"

#include <cmath>
#include <cstdint>

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

} // namespace

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
    for (int i = 1; i < n; i++)
        for (int j = 0; j < i; j++)
            if (BoxesOverlap(boxList->GetBox(i), boxList->GetBox(j)))
                std::fprintf(outFile, "%d %d\n", i, j);
    std::fprintf(outFile, "-1 -1\n");
    return 0;
}
