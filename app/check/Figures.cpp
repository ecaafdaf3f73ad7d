#include "check/Figures.h"
#include "export/ResultMarkers.h"

namespace vek {

void FigureCounter::BlockOpened(const BlockEvent& e)
{
    if (e.kind) // a block of an unknown keyword is no figure
        (figures.*e.kind->figure)++;
}

void FigureCounter::BlockClosed(const BlockEvent& e)
{
    figures.vertices += e.vertices;
    figures.quads += e.quads;
    figures.triangles += e.triangles;
}

void FigureCounter::Marker(long /*line*/, int marker)
{
    if (marker < 0)
        figures.ok = true;
    else
        figures.markers.push_back(resultMarkers[marker].text);
}

} // namespace vek
