// What --selected-only can mean for the scene at hand.
#pragma once

#include "scene/Scene.h"

#include <string>

namespace vek {

// A model file records no selection: there is nothing the option could export, which
// is said on standard error, and the result is false. A scene in which no node is
// selected (state 1, as the export counts it) would export no node: a warning says
// so and the result is true.
bool CheckSelection(Scene& scene, const std::string& file);

} // namespace vek
