#include "writers/MergeGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The part of a sample that the grid is sized for: without its extreme values, so
// that a few stray vertices far away do not make every cell huge (they are binned
// into the border cells instead).
void BulkRange(std::vector<float>& values, double& lo, double& hi)
{
    if (values.empty()) {
        lo = hi = 0.0;
        return;
    }
    if (values.size() < 64) {
        auto [mn, mx] = std::minmax_element(values.begin(), values.end());
        lo = *mn;
        hi = *mx;
        return;
    }
    size_t cut = values.size() / 50;
    std::nth_element(values.begin(), values.begin() + cut, values.end());
    lo = values[cut];
    std::nth_element(values.begin(), values.end() - 1 - cut, values.end());
    hi = values[values.size() - 1 - cut];
}

} // namespace

MergeGrid::MergeGrid(const Point3* parent, int m, double h, const float regionLo[3], const float regionHi[3])
{
    KeepBoxes(parent, m, h, regionLo, regionHi);
    if (boxes.empty())
        return;
    empty = false;
    BinBoxes(SizeCells(h));
}

void MergeGrid::KeepBoxes(const Point3* parent, int m, double h, const float regionLo[3], const float regionHi[3])
{
    for (int k = 0; k < 3; k++) {
        unionLo[k] = std::numeric_limits<float>::infinity();
        unionHi[k] = -std::numeric_limits<float>::infinity();
    }
    for (int j = 0; j < m; j++) {
        const Point3& p = parent[j];
        Box b;
        bool keep = true;
        for (int k = 0; k < 3; k++) {
            b.lo[k] = float(double(p[k]) - h);
            b.hi[k] = float(double(p[k]) + h);
            // A box with a NaN bound or crossed bounds holds no point; one outside
            // the region holds none of those that will be asked about.
            if (!(b.lo[k] <= b.hi[k]) || !(b.hi[k] >= regionLo[k] && b.lo[k] <= regionHi[k])) {
                keep = false;
                break;
            }
        }
        if (!keep)
            continue;
        boxes.push_back(b);
        vertexOf.push_back(j);
        for (int k = 0; k < 3; k++) {
            unionLo[k] = std::min(unionLo[k], b.lo[k]);
            unionHi[k] = std::max(unionHi[k], b.hi[k]);
        }
    }
}

size_t MergeGrid::SizeCells(double h)
{
    const int count = int(boxes.size());
    double extent[3], reach = 0.0;
    std::vector<float> sample;
    sample.reserve(size_t(count));
    for (int k = 0; k < 3; k++) {
        sample.clear();
        for (const Box& b : boxes)
            if (std::isfinite(b.lo[k]))
                sample.push_back(b.lo[k]);
        double lo, hi;
        BulkRange(sample, lo, hi);
        origin[k] = lo;
        extent[k] = hi - lo;
        reach = std::max({reach, std::fabs(lo), std::fabs(hi)});
    }

    // About one box per cell over the dimensions the boxes actually spread in.
    double s[3] = {extent[0], extent[1], extent[2]};
    std::sort(s, s + 3, [](double a, double b) { return a > b; });
    double c = s[0] / count;
    if (s[1] > c)
        c = std::sqrt(s[0] * s[1] / count);
    if (s[2] > c)
        c = std::cbrt(s[0] * s[1] * s[2] / count);
    // A cell at least as wide as a box (and than the rounding of far coordinates),
    // so that a box is binned into at most two or three cells per axis.
    c = std::max({c, 2.0 * h, reach * 0x1p-20});
    if (!(c > 0.0) || !std::isfinite(c))
        c = 1.0;
    double total;
    for (;;) {
        total = 1.0;
        for (int k = 0; k < 3; k++) {
            double d = std::min(std::floor(extent[k] / c) + 1.0, double(1 << 20));
            dims[k] = int(d);
            total *= d;
        }
        if (total <= 4.0 * count + 64.0)
            break;
        c *= 1.5;
    }
    cellSize = c;
    return size_t(total);
}

void MergeGrid::BinBoxes(size_t cells)
{
    cellStart.assign(cells + 1, 0);
    auto forEachCell = [&](const Box& b, auto&& visit) {
        int a0 = CellOf(0, b.lo[0]), b0 = CellOf(0, b.hi[0]);
        int a1 = CellOf(1, b.lo[1]), b1 = CellOf(1, b.hi[1]);
        int a2 = CellOf(2, b.lo[2]), b2 = CellOf(2, b.hi[2]);
        for (int z = a2; z <= b2; z++)
            for (int y = a1; y <= b1; y++)
                for (int x = a0; x <= b0; x++)
                    visit((size_t(z) * size_t(dims[1]) + size_t(y)) * size_t(dims[0]) + size_t(x));
    };
    for (const Box& b : boxes)
        forEachCell(b, [&](size_t cell) { cellStart[cell + 1]++; });
    for (size_t cell = 0; cell < cells; cell++)
        cellStart[cell + 1] += cellStart[cell];
    members.resize(size_t(cellStart[cells]));
    std::vector<int> fill(cellStart.begin(), cellStart.end() - 1);
    for (int b = 0; b < int(boxes.size()); b++)
        forEachCell(boxes[size_t(b)], [&](size_t cell) { members[size_t(fill[cell]++)] = b; });
}

// Monotone in x (every step rounds monotonically and the result is clamped), so a
// box [lo, hi] that holds w is binned into the cell of w.
int MergeGrid::CellOf(int axis, float x) const
{
    double d = std::floor((double(x) - origin[axis]) / cellSize);
    if (!(d >= 0.0))
        return 0;
    if (d >= double(dims[axis] - 1))
        return dims[axis] - 1;
    return int(d);
}

int MergeGrid::LowestContaining(const Point3& w) const
{
    if (empty)
        return -1;
    // Also rejects NaN coordinates, which no box holds.
    for (int k = 0; k < 3; k++)
        if (!(w[k] >= unionLo[k] && w[k] <= unionHi[k]))
            return -1;
    size_t cell =
        (size_t(CellOf(2, w.z)) * size_t(dims[1]) + size_t(CellOf(1, w.y))) * size_t(dims[0]) + size_t(CellOf(0, w.x));
    for (int q = cellStart[cell]; q < cellStart[cell + 1]; q++) {
        int b = members[size_t(q)];
        if (boxes[size_t(b)].Holds(w))
            return vertexOf[size_t(b)];
    }
    return -1;
}
