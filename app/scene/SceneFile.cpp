// Choosing the loader of a scene file by its content.
#include "SceneFormats.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vek {

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    bool json = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    std::ostringstream text;
    if (!json) {
        // A scene description begins with "{"; models are read by Assimp.
        char c = 0;
        while (in.get(c) && std::isspace(static_cast<unsigned char>(c))) {
        }
        if (!in || c != '{')
            return LoadModelFile(path, options);
        in.seekg(0);
    }
    text << in.rdbuf();
    if (in.bad())
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    if (!json && !IsSceneDescription(text.str()))
        return LoadModelFile(path, options);
    return LoadSceneJson(text.str(), path);
}

} // namespace vek
