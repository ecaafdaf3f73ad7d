// Textures of the pictures: the image files that the materials of a Vek file name,
// found where the engine finds them and decoded (BMP, TGA, PNG, JPEG) into RGB texels.
#pragma once

#include "check/VekDocument.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vek::render {

struct Texel {
    uint8_t r = 0, g = 0, b = 0;
};

struct Texture {
    int width = 0, height = 0;
    std::vector<Texel> texels; // rows from the top of the picture down

    // The texel at texture coordinates (u, v), the picture repeated beyond [0, 1),
    // v running up from its bottom row, as modelling applications map it.
    Texel At(float u, float v) const
    {
        const auto wrap = [](float t) {
            t -= std::floor(t);
            return t >= 0.0f && t < 1.0f ? t : 0.0f; // a NaN, or 1 by rounding
        };
        const int x = std::min(int(wrap(u) * float(width)), width - 1);
        const int y = std::min(int((1.0f - wrap(v)) * float(height)), height - 1);
        return texels[size_t(y) * size_t(width) + size_t(x)];
    }
};

// Textures larger than this many texels are not read: a picture of a few megabytes
// can claim gigabytes once decoded.
constexpr long long MaxTexels = 64LL << 20;

// Where a texture path written in a Vek file may be, in the order to try. A relative
// path is relative to the directory of textures: the Partition directory the Vek file
// lies in (its path up to the first directory named "Partition", in any case), or
// else textureRoot; failing that, beside the Vek file. An absolute path is taken as it
// is. Last comes the file's own name beside the Vek file, for a scene moved from
// another machine with its textures.
std::vector<std::string> TextureCandidates(const std::string& written, const std::string& vekPath,
                                           const std::string& textureRoot);

// Decodes the picture at path; null, with the reason in `why`, when it cannot.
std::shared_ptr<const Texture> ReadTexture(const std::string& path, std::string& why);

// The texture of each material of the document, in its order: null for a material
// without one and for one whose texture cannot be found or read. Each texture that
// cannot be is named once in `warnings`, with why.
std::vector<std::shared_ptr<const Texture>> LoadTextures(const VekDocument& doc, const std::string& vekPath,
                                                         const std::string& textureRoot,
                                                         std::vector<std::string>& warnings);

} // namespace vek::render
