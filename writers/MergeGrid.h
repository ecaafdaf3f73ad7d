// The parent's vertices of the parent/child vertex merge, binned in a uniform grid.
//
// Each parent vertex j owns a box: its world position p, and for each axis the bounds
// p - h and p + h computed in double and rounded to float. A child vertex w merges
// with the lowest j whose box holds it, bounds included. Asking the grid gives that
// same j as comparing w with every box in index order, in time that does not grow
// with the parent's size for ordinary meshes.
#pragma once

#include "max.h"

#include <cstddef>
#include <vector>

class MergeGrid {
public:
    // Boxes of half-size h around the parent's count vertices at their world positions.
    // Only the points of the region [regionLo, regionHi] are asked about later: boxes
    // that do not reach into it are left out.
    MergeGrid(const Point3* parent, int count, double h, const float regionLo[3], const float regionHi[3]);

    // The lowest parent vertex index whose box holds w, or -1.
    int LowestContaining(const Point3& w) const;

private:
    struct Box {
        float lo[3], hi[3];
        bool Holds(const Point3& w) const
        {
            return w.x >= lo[0] && w.x <= hi[0] && w.y >= lo[1] && w.y <= hi[1] && w.z >= lo[2] && w.z <= hi[2];
        }
    };

    // The boxes of the parent's vertices that reach into the region, and their union.
    void KeepBoxes(const Point3* parent, int count, double h, const float regionLo[3], const float regionHi[3]);
    // Chooses the grid's origin, cell size and dimensions for the kept boxes; returns
    // the number of cells.
    size_t SizeCells(double h);
    // Lists every kept box in each cell it reaches, ascending within each cell.
    void BinBoxes(size_t cells);
    int CellOf(int axis, float x) const;

    std::vector<Box> boxes;    // the boxes reaching into the region, in vertex order
    std::vector<int> vertexOf; // the parent vertex index of each box
    float unionLo[3], unionHi[3];
    double origin[3] = {0, 0, 0};
    double cellSize = 1.0;
    int dims[3] = {1, 1, 1};
    std::vector<int> cellStart; // per cell, into members; one more at the end
    std::vector<int> members;   // box indices, ascending within each cell
    bool empty = true;
};
