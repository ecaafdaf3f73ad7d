// The scene file formats read natively, for the choice of a loader by content.
#pragma once

#include "Scene.h"

#include <simdjson.h>

#include <string>

namespace vek {

// Whether text is a JSON scene description rather than some other JSON (glTF, say).
bool IsSceneDescription(const simdjson::padded_string& text);
// LoadSceneJson of text already padded for the parser.
std::unique_ptr<Scene> LoadSceneJson(const simdjson::padded_string& text, const std::string& fileName);

} // namespace vek
