// Choosing the loader of a scene file by its content: a JSON scene description, the
// application's ASCII scene export, or else a model for Assimp.
#include "MappedFile.h"
#include "SceneFormats.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace vek {

namespace {

bool EndsWith(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// The first byte of the stream that is not a blank, a mark or a NUL; '\0' at its end.
char FirstSignificantByte(std::istream& in)
{
    char first = 0;
    while (in.get(first) && (std::isspace(static_cast<unsigned char>(first)) || (first & 0x80) || first == 0)) {
    }
    return in ? first : '\0';
}

bool HoldsSceneDescription(const std::string& path)
{
    MappedFile mapped(path);
    simdjson::padded_string copy;
    if (mapped)
        return IsSceneDescription(mapped.View());
    return !simdjson::padded_string::load(path).get(copy) && IsSceneDescription(copy);
}

} // namespace

bool IsSceneFile(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (EndsWith(path, ".json"))
        return HoldsSceneDescription(path);
    if (IsModelExtension(path))
        return true;
    std::ifstream in(path, std::ios::binary);
    const char first = FirstSignificantByte(in);
    if (first == '{')
        return HoldsSceneDescription(path);
    if (first != '*')
        return false;
    // The export's first word, in whichever encoding the text has.
    std::string head(256, '\0'), converted;
    in.seekg(0);
    head.resize(size_t(in.read(head.data(), std::streamsize(head.size())).gcount()));
    return IsAseText(DecodeSceneText(head, converted));
}

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    // Opening a pipe waits for a writer and a device may never end: neither is a
    // scene, and a directory holds none.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw SceneError(path + ": not a regular file: a directory, pipe or device is not read as a scene");
    const bool json = EndsWith(path, ".json");
    char first = '{'; // the first byte that is not a blank, a mark or a NUL
    if (!json) {
        // Ours begin with "{" or "*" (after a byte-order mark, perhaps); the rest
        // goes to Assimp unread.
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw SceneError(path + ": cannot read: " + std::strerror(errno));
        first = FirstSignificantByte(in);
        if (first != '{' && first != '*')
            return LoadModelFile(path, options);
    }
    // Read once, with the padding the JSON parser needs.
    MappedFile mapped(path);
    simdjson::padded_string copy;
    if (!mapped && simdjson::padded_string::load(path).get(copy))
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    const simdjson::padded_string_view bytes = mapped ? mapped.View() : simdjson::padded_string_view(copy);
    // Only a text that opens with a brace is tried as JSON: the parser's first pass
    // goes over the whole file.
    if (json || (first == '{' && IsSceneDescription(bytes))) {
        TextRead read;
        if (mapped)
            read = [&mapped](const char* upTo) { mapped.Release(upTo); };
        return LoadSceneJson(bytes, path, read);
    }
    {
        std::string converted;
        const std::string_view text = DecodeSceneText(std::string_view(bytes.data(), bytes.size()), converted);
        if (IsAseText(text))
            return LoadAse(text, path);
    } // a model (glTF, say) loads without a converted copy of its text
    return LoadModelFile(path, options);
}

} // namespace vek
