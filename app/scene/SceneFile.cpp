// Choosing the loader of a scene file by its content: a JSON scene description, the
// application's ASCII scene export, or else a model for Assimp.
#include "SceneFormats.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vek {

namespace {

bool EndsWith(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

} // namespace

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    const bool json = EndsWith(path, ".json");
    if (!json) {
        // Ours begin with "{" or "*" (after a byte-order mark, perhaps); the rest
        // goes to Assimp unread.
        char c = 0;
        while (in.get(c) && (std::isspace(static_cast<unsigned char>(c)) || (c & 0x80) || c == 0)) {
        }
        if (!in || (c != '{' && c != '*'))
            return LoadModelFile(path, options);
        in.clear();
        in.seekg(0);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    if (json || IsSceneDescription(bytes.str()))
        return LoadSceneJson(bytes.str(), path);
    std::string text = DecodeSceneText(bytes.str());
    if (IsAseText(text))
        return LoadAse(text, path);
    return LoadModelFile(path, options);
}

} // namespace vek
