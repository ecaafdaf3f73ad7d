// The world positions of the vertices of meshes already obtained during one export,
// kept while a child may still merge its vertices against them: the parent's mesh is
// then obtained (and, for a parametric object, built) once instead of once more for
// every child.
#pragma once

#include "max.h"

#include <unordered_map>
#include <vector>

class PositionCache {
public:
    // The positions kept for node at time t, or null.
    const std::vector<Point3>* Find(INode* node, TimeValue t) const;
    // Keeps positions for node at time t, replacing what was kept for it; returns them.
    const std::vector<Point3>& Keep(INode* node, TimeValue t, std::vector<Point3> positions);
    // Drops what was kept for node: its children are written.
    void Forget(INode* node);

private:
    struct Entry {
        TimeValue t;
        std::vector<Point3> positions;
    };
    std::unordered_map<INode*, Entry> entries;
};
