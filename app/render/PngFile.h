// PNG files of pictures.
#pragma once

#include "render/Raster.h"

#include <string>

namespace vek::render {

// Writes image to path as an 8-bit RGB PNG file, replacing the file only once the
// picture is whole. Throws RenderError (VekRender.h) when it cannot.
void WritePng(const std::string& path, const Image& image);

} // namespace vek::render
