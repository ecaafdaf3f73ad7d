// What --selected-only can mean for the scene at hand.
#pragma once

#include "scene/Scene.h"

#include <string>

namespace vek {

// A model file records no selection: there is nothing the option could export, and
// AppError says so. A scene in which no node is selected (state 1, as the export
// counts it) would export no node: a warning on standard error says so.
void CheckSelection(Scene& scene, const std::string& file);

} // namespace vek
