// How a model file's axes and unit become the host's: the rule every model follows,
// shared with whatever compares a model with its export.
#pragma once

#include "Scene.h"

struct aiScene;

namespace vek {

struct ModelFrame {
    // Points p of the file become p * axes in the host: Z up, in metres for the
    // formats that state their unit, times the user's scale.
    Matrix3 axes;
    float unit = 1; // host units per unit of the file
};

// The axes and unit of the model at path, read into `scene`: the up axis from the
// file where the model library gives it (FBX's axis settings; Collada's is applied
// by the library itself), else its format's convention; ImportOptions::up overrides.
ModelFrame ModelAxes(const std::string& path, const aiScene& scene, const ImportOptions& options);

} // namespace vek
