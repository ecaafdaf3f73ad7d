// The arrays of a JSON mesh object read straight from the parser into the scene:
// no document tree, room reserved from the element counts, elements handed to the
// builder a block at a time.
//
// This reader only ever succeeds or gives up: it reports nothing. Whatever it does
// not take as it stands (keys out of the usual order or repeated, integers written
// as 2.0, numbers out of range, indices out of their arrays, a "map2" channel) makes
// it return false, and the caller reads the file again with the strict reader,
// which names the fault.
#pragma once

#include "SceneBuilder.h"

#include <simdjson.h>

namespace vek {

// Reads mesh object `object` (its "type" already known to be "mesh") into a new mesh
// of b; false when the strict reader must read it.
bool StreamMesh(simdjson::ondemand::object& object, SceneBuilder& b, SceneMeshObject*& mesh);

} // namespace vek
