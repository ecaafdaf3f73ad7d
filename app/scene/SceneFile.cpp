// Choosing the loader of a scene file by its content.
#include "SceneFormats.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace vek {

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    bool json = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    if (!json) {
        // A scene description begins with "{"; models are read by Assimp.
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw SceneError(path + ": cannot read: " + std::strerror(errno));
        char c = 0;
        while (in.get(c) && std::isspace(static_cast<unsigned char>(c))) {
        }
        if (!in || c != '{')
            return LoadModelFile(path, options);
    }
    // Read once, into the padding the parser needs.
    simdjson::padded_string text;
    if (simdjson::padded_string::load(path).get(text))
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    if (!json && !IsSceneDescription(text))
        return LoadModelFile(path, options);
    return LoadSceneJson(text, path);
}

} // namespace vek
