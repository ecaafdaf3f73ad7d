// The streaming pass over a scene description: simdjson's on-demand parser read
// strictly in document order, each value read once or left untouched, never a parent
// used again while a child of it is half read.
//
// This pass only ever succeeds or gives up: it reports nothing. Whatever it does not
// take as it stands (keys out of the usual order or repeated, integers written as
// 2.0, numbers out of range, indices out of their arrays, a "map2" channel) throws
// NotStreamed (or the builder's BuildError), and the caller reads the file again with
// the strict reader, which names the fault.
#pragma once

#include "SceneBuilder.h"
#include "SceneFormats.h"

#include <simdjson.h>

namespace vek {

// A step of the streaming pass that cannot go on; the strict reader takes over.
struct NotStreamed {};

// The value of r, or NotStreamed on any error.
template <class T> T Take(simdjson::simdjson_result<T> r)
{
    T v;
    if (std::move(r).get(v))
        throw NotStreamed{};
    return v;
}

// Reads the fields of mesh object `object` (its "type" already known to be "mesh";
// the object not yet iterated) into a new mesh of b: no document tree, room reserved
// from the element counts, elements handed to the builder a block at a time, and
// `read` (when given) told how far the text has been read after each block.
SceneMeshObject* StreamMesh(simdjson::ondemand::object& object, SceneBuilder& b, const TextRead& read);

} // namespace vek
