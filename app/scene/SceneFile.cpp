// Choosing the loader of a scene file by its content: one of the formats read here
// (SceneFormats.h), or else a model for Assimp.
#include "MappedFile.h"
#include "SceneFormats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace vek {

namespace {

// Blanks, NULs and bytes above 0x7f (byte-order marks, UTF-16's zero halves) come
// before the first byte that tells a format.
bool Insignificant(char c) { return std::isspace(static_cast<unsigned char>(c)) || (c & 0x80) || c == 0; }

// The first byte of the stream that tells a format; '\0' at its end.
char LeadByte(std::istream& in)
{
    char first = 0;
    while (in.get(first) && Insignificant(first)) {
    }
    return in ? first : '\0';
}

bool SomeFormatLeads(char lead)
{
    return std::any_of(std::begin(SceneFormats), std::end(SceneFormats),
                       [lead](const SceneFormat& f) { return f.lead == lead; });
}

// The file's bytes, mapped or else read once, with the padding the JSON parser needs.
struct FileBytes {
    MappedFile mapped;
    simdjson::padded_string copy;
    bool ok = true;

    explicit FileBytes(const std::string& path) : mapped(path)
    {
        if (!mapped)
            ok = !simdjson::padded_string::load(path).get(copy);
    }
    simdjson::padded_string_view View() const { return mapped ? mapped.View() : simdjson::padded_string_view(copy); }
};

// The scene of a file of one of the formats read here; nullptr when none claims it.
std::unique_ptr<Scene> LoadNativeFormat(const std::string& path, const SceneFormat* named)
{
    FileBytes bytes(path);
    if (!bytes.ok)
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    const SceneFormat* format = named ? named : SniffSceneFormat(bytes.View());
    if (!format)
        return nullptr;
    TextRead read;
    if (bytes.mapped)
        read = [&bytes](const char* upTo) { bytes.mapped.Release(upTo); };
    return format->load(bytes.View(), path, read);
}

} // namespace

char LeadByte(std::string_view bytes)
{
    const auto at = std::find_if_not(bytes.begin(), bytes.end(), Insignificant);
    return at == bytes.end() ? '\0' : *at;
}

const SceneFormat* SniffSceneFormat(simdjson::padded_string_view bytes)
{
    const char lead = LeadByte(bytes);
    for (const SceneFormat& format : SceneFormats)
        if (format.lead == lead && format.sniff(bytes))
            return &format;
    return nullptr;
}

const SceneFormat* SceneFormatByExtension(const std::string& path)
{
    for (const SceneFormat& format : SceneFormats)
        if (!format.extension.empty() && path.ends_with(format.extension))
            return &format;
    return nullptr;
}

bool IsSceneFile(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (const SceneFormat* named = SceneFormatByExtension(path)) {
        FileBytes bytes(path);
        return bytes.ok && named->sniff(bytes.View());
    }
    if (IsModelExtension(path))
        return true;
    std::ifstream in(path, std::ios::binary);
    if (!SomeFormatLeads(LeadByte(in)))
        return false;
    FileBytes bytes(path);
    return bytes.ok && SniffSceneFormat(bytes.View()) != nullptr;
}

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    // Opening a pipe waits for a writer and a device may never end: neither is a
    // scene, and a directory holds none.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw SceneError(path + ": not a regular file: a directory, pipe or device is not read as a scene");
    const SceneFormat* named = SceneFormatByExtension(path);
    if (!named) {
        // A file that begins as none of ours goes to Assimp unread.
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw SceneError(path + ": cannot read: " + std::strerror(errno));
        if (!SomeFormatLeads(LeadByte(in)))
            return LoadModelFile(path, options);
    }
    // The file is mapped no longer, and its text no longer converted, when a model
    // loads (a glTF file, say).
    if (std::unique_ptr<Scene> scene = LoadNativeFormat(path, named))
        return scene;
    return LoadModelFile(path, options);
}

std::vector<std::string> ReadableFormats()
{
    std::vector<std::string> formats;
    for (const SceneFormat& format : SceneFormats)
        formats.push_back(std::string(format.name) + " (" + std::string(format.patterns) + ")");
    for (std::string& model : ModelFormats())
        formats.push_back(std::move(model));
    return formats;
}

} // namespace vek
