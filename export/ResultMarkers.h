// The result markers: the lines a Vek file ends with, and the titles of the per-node
// failure entries an export puts in the host's log. Free of the SDK, so that the
// command line and the checker read the same table the exporter writes from.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

// Failure bits of one export; every writer and both passes return a set of them.
typedef int ErrorFlags;
#define ERROR_DUMMY 0x01
#define ERROR_GEOMETRY 0x02
#define ERROR_LIGHT 0x04
#define ERROR_CAMERA 0x08
#define ERROR_MATERIAL 0x10
#define ERROR_TOPOLOGY 0x20
#define ERROR_ANIMATION 0x40
#define ERROR_BOX 0x80

// The last line of a file whose export failed nowhere.
constexpr const char* EXPORT_OK_MARKER = "#EXPORT_OK";

// One failure marker per bit, in bit order: a file whose export failed somewhere ends
// with the markers of its failure bits, in this order. `subject` says what the log
// entry's text names.
struct ResultMarker {
    ErrorFlags bit;
    const char* text;
    const char* subject;
};
constexpr ResultMarker resultMarkers[] = {
    {ERROR_DUMMY, "#ERROR_EXPORT_DUMMY", "node"},      {ERROR_GEOMETRY, "#ERROR_EXPORT_GEOM3D", "node"},
    {ERROR_LIGHT, "#ERROR_EXPORT_LIGHT", "node"},      {ERROR_CAMERA, "#ERROR_EXPORT_CAMERA", "node"},
    {ERROR_MATERIAL, "#ERROR_EXPORT_MTL", "material"}, {ERROR_TOPOLOGY, "#ERROR_EXPORT_TOPO", "node"},
    {ERROR_ANIMATION, "#ERROR_EXPORT_ANIM", "node"},   {ERROR_BOX, "#ERROR_EXPORT_BOX", "node"},
};
static_assert(std::size(resultMarkers) == 8);

// The index in `resultMarkers` of the failure marker `text` is, or -1.
constexpr int FindResultMarker(std::string_view text)
{
    for (std::size_t i = 0; i < std::size(resultMarkers); ++i)
        if (text == resultMarkers[i].text)
            return static_cast<int>(i);
    return -1;
}
