#include "render/Texture.h"

// stb_image, from Debian's libstb-dev, compiled here for the four formats textures
// come in, its functions private to this file: linked as the shared libstb, its
// names would be taken from the copy of stb_image that Assimp's Draco library
// exports under the same names, and the package would not depend on libstb.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#include <stb_image.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <new>

namespace vek::render {

namespace fs = std::filesystem;

namespace {

// The Partition directory that holds path, "" when none does.
std::string PartitionDirectory(const fs::path& path)
{
    fs::path dir;
    for (const fs::path& part : path.parent_path()) {
        dir /= part;
        std::string name = part.string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "partition")
            return dir.string();
    }
    return "";
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::vector<std::string> TextureCandidates(const std::string& written, const std::string& vekPath,
                                           const std::string& textureRoot)
{
    const fs::path file(written), vek = fs::absolute(vekPath).lexically_normal();
    std::vector<std::string> candidates;
    auto add = [&candidates](const fs::path& p) {
        if (std::find(candidates.begin(), candidates.end(), p.string()) == candidates.end())
            candidates.push_back(p.string());
    };
    if (file.is_absolute()) {
        add(file);
    } else {
        if (std::string partition = PartitionDirectory(vek); !partition.empty())
            add(fs::path(partition) / file);
        else if (!textureRoot.empty())
            add(fs::path(textureRoot) / file);
        add(vek.parent_path() / file);
    }
    if (file.has_filename())
        add(vek.parent_path() / file.filename());
    return candidates;
}

std::shared_ptr<const Texture> ReadTexture(const std::string& path, std::string& why)
{
    // Only regular files: a pipe or a device would be waited on, or read forever.
    if (!IsRegularFile(path)) {
        why = "not a file";
        return nullptr;
    }
    int width = 0, height = 0, channels = 0;
    if (!stbi_info(path.c_str(), &width, &height, &channels)) {
        why = stbi_failure_reason();
        return nullptr;
    }
    if (static_cast<long long>(width) * height > MaxTexels) {
        why = std::to_string(width) + "x" + std::to_string(height) + " texels, more than are read";
        return nullptr;
    }
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (!pixels) {
        why = stbi_failure_reason();
        return nullptr;
    }
    // Within the run's memory budget, a texture too large for what is left is one that
    // cannot be read, not the end of the picture.
    std::shared_ptr<Texture> texture;
    try {
        texture = std::make_shared<Texture>();
        texture->width = width;
        texture->height = height;
        texture->texels.resize(size_t(width) * size_t(height));
        std::copy_n(pixels, texture->texels.size() * 3, reinterpret_cast<uint8_t*>(texture->texels.data()));
    } catch (const std::bad_alloc&) {
        why = "not enough memory";
        texture.reset();
    }
    stbi_image_free(pixels);
    return texture;
}

std::vector<std::shared_ptr<const Texture>> LoadTextures(const VekDocument& doc, const std::string& vekPath,
                                                         const std::string& textureRoot,
                                                         std::vector<std::string>& warnings)
{
    static_assert(sizeof(Texel) == 3, "texels are copied as the decoder's RGB bytes");
    std::map<std::string, std::shared_ptr<const Texture>> read; // by the path written, each read once
    std::vector<std::shared_ptr<const Texture>> textures(doc.materials.size());
    for (size_t m = 0; m < doc.materials.size(); m++) {
        const std::string& written = doc.materials[m].texture;
        if (written.empty())
            continue;
        auto [it, first] = read.try_emplace(written);
        if (first) {
            std::vector<std::string> candidates = TextureCandidates(written, vekPath, textureRoot);
            auto found = std::find_if(candidates.begin(), candidates.end(), IsRegularFile);
            std::string why;
            if (found == candidates.end()) {
                why = "not found (looked for";
                for (const std::string& c : candidates)
                    why += (c == candidates.front() ? " " : ", ") + c;
                why += ")";
            } else {
                it->second = ReadTexture(*found, why);
            }
            if (!it->second) {
                std::string warning = vekPath;
                warning.append(": texture \"").append(written).append("\" of material \"");
                warning.append(doc.materials[m].name).append("\": ").append(why);
                warnings.push_back(warning.append("; drawn in the material's colour"));
            }
        }
        textures[m] = it->second;
    }
    return textures;
}

} // namespace vek::render
