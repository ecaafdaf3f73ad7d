#include "writers/PositionCache.h"

const std::vector<Point3>* PositionCache::Find(INode* node, TimeValue t) const
{
    auto found = entries.find(node);
    return found != entries.end() && found->second.t == t ? &found->second.positions : nullptr;
}

const std::vector<Point3>& PositionCache::Keep(INode* node, TimeValue t, std::vector<Point3> positions)
{
    Entry& e = entries[node];
    e.t = t;
    e.positions = std::move(positions);
    return e.positions;
}

void PositionCache::Forget(INode* node) { entries.erase(node); }
