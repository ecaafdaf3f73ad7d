// Pictures of Vek files: the scene as the engine places it, drawn with flat shading
// from a fixed light.
#pragma once

#include "check/VekDocument.h"
#include "render/Raster.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vek::render {

// A file that cannot be drawn: the checker's first finding, an unknown camera.
struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A file the checker has findings in.
struct DamagedFile : RenderError {
    using RenderError::RenderError;
};

struct RenderSettings {
    int width = 1024, height = 768;
    std::string camera;      // a camera block's name; empty for the three-quarter view of everything
    bool outlines = false;   // every face's edges, so that four-vertex faces show as quads
    std::string textureRoot; // where relative texture paths lie, when the file is in no Partition directory
    bool operator==(const RenderSettings&) const = default;
};

// Colours of what is not a material's.
constexpr Rgb Background{206, 212, 220};
constexpr Rgb Outline{24, 24, 28};
constexpr Rgb Unknown{128, 128, 128}; // faces of no material block
constexpr Rgb BoxColor{255, 110, 20};

// The texture of each material of a document, null for none (Texture.h).
using MaterialTextures = std::vector<std::shared_ptr<const Texture>>;

// Where the engine places each node block of a document: its world transform, by
// which the block's vertices (x, z, y in the file) are placed as (x, y, z).
std::vector<Matrix3> PlaceNodes(const VekDocument& document);

// Draws a document: the meshes of its node blocks placed through the hierarchy, and
// its collision boxes as translucent blocks. A face of a material with a texture,
// written with texture coordinates, shows the texture; others their material's
// colour. Throws RenderError for a camera name that no camera block has.
Image Draw(const VekDocument& document, const RenderSettings& settings, const MaterialTextures& textures = {});

// Reads the Vek file at path (with the ".box" file beside it) through the checker and
// draws it, with the textures its materials name. A file with findings is refused:
// DamagedFile with the first of them. A texture that cannot be read is named, with
// why, in `warnings`, and its faces take their material's colour.
Image DrawVekFile(const std::string& path, const RenderSettings& settings,
                  std::vector<std::string>* warnings = nullptr);

} // namespace vek::render
