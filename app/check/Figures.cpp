#include "check/Figures.h"
#include "check/VekReader.h"
#include "export/ResultMarkers.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

namespace vek {

namespace {

// The figures that count lines, not blocks: those of the vertices and faces, which
// the summary writes between the node blocks and the others, and the ".box" file's.
constexpr FigureName LineFigures[] = {
    {"vertices", "vertex", "vertices", ", "},
    {"quads", "four-vertex face", "four-vertex faces", ", "},
    {"triangles", "triangle", "triangles", "; "},
};
static_assert(std::size(LineFigures) == 3);
constexpr FigureName BoxFigure{"collisionBoxes", "collision box", "collision boxes", ""};

std::vector<FigureName> AllFigures()
{
    std::vector<FigureName> all;
    auto blocks = [&all](bool nodes) {
        for (const BlockKind* kind : BlockKinds())
            if ((kind->role == BlockKind::Role::Node) == nodes)
                all.push_back({kind->figure, kind->one, kind->many, ", ", kind});
    };
    blocks(true);
    all.back().separator = "; ";
    all.insert(all.end(), std::begin(LineFigures), std::end(LineFigures));
    blocks(false);
    all.push_back(BoxFigure);
    return all;
}

size_t FigureIndex(std::string_view key)
{
    const std::vector<FigureName>& names = FigureNames();
    for (size_t k = 0; k < names.size(); k++)
        if (key == names[k].key)
            return k;
    throw std::out_of_range("no figure is named " + std::string(key));
}

} // namespace

const std::vector<FigureName>& FigureNames()
{
    static const std::vector<FigureName> names = AllFigures();
    return names;
}

long long VekFigures::operator[](std::string_view key) const { return counts.at(FigureIndex(key)); }

FigureCounter::FigureCounter(VekFigures& f)
    : figures(f), vertices(FigureIndex("vertices")), quads(FigureIndex("quads")), triangles(FigureIndex("triangles")),
      boxes(FigureIndex("collisionBoxes"))
{
}

void FigureCounter::BlockOpened(const BlockEvent& e)
{
    if (!e.kind) // a block of an unknown keyword is no figure
        return;
    const std::vector<FigureName>& names = FigureNames();
    auto counting = std::find_if(names.begin(), names.end(), [&e](const FigureName& n) { return n.kind == e.kind; });
    if (counting != names.end())
        figures.counts[static_cast<size_t>(counting - names.begin())]++;
}

void FigureCounter::BlockClosed(const BlockEvent& e)
{
    figures.counts[vertices] += e.vertices;
    figures.counts[quads] += e.quads;
    figures.counts[triangles] += e.triangles;
}

void FigureCounter::BoxCount(long long count) { figures.counts[boxes] = count; }

void FigureCounter::Marker(long /*line*/, int marker)
{
    if (marker < 0)
        figures.ok = true;
    else
        figures.markers.push_back(resultMarkers[marker].text);
}

} // namespace vek
