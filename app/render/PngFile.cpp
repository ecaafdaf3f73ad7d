#include "render/PngFile.h"

#include "render/VekRender.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vek::render {

void WritePng(const std::string& path, const Image& image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.Width());
    png.height = png_uint_32(image.Height());
    png.format = PNG_FORMAT_RGB;
    png.flags = PNG_IMAGE_FLAG_FAST; // flat colours compress well enough without the effort
    // Written beside the target and renamed, so that a failure leaves any older
    // picture as it was.
    const std::string part = path + ".part";
    if (!png_image_write_to_file(&png, part.c_str(), 0, image.Bytes(), 0, nullptr)) {
        std::string why = png.message;
        std::remove(part.c_str());
        throw RenderError(path + ": cannot write the picture: " + why);
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        std::remove(part.c_str());
        throw RenderError(path + ": cannot write the picture: " + why);
    }
}

} // namespace vek::render
