// The scene file formats read natively, for the choice of a loader by content.
#pragma once

#include "Scene.h"

#include <string>

namespace vek {

// Whether text is a JSON scene description rather than some other JSON (glTF, say).
bool IsSceneDescription(const std::string& text);

} // namespace vek
