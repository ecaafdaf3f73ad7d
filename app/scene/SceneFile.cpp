// Choosing the loader of a scene file by its content: a JSON scene description, the
// application's ASCII scene export, or else a model for Assimp.
#include "SceneFormats.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vek {

namespace {

bool EndsWith(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// A regular file's bytes mapped read-only, followed by the zeroed padding the JSON
// parser reads past their end: the file is not copied, and its pages come from the
// page cache rather than from a second buffer of its size. Empty when the file cannot
// be mapped (not a regular file, say): the caller reads it the ordinary way.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0)
            return;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            Map(fd, size_t(st.st_size));
        close(fd);
    }
    ~MappedFile()
    {
        if (base)
            munmap(base, length);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    explicit operator bool() const { return base != nullptr; }
    simdjson::padded_string_view View() const
    {
        return simdjson::padded_string_view(base, size, size + simdjson::SIMDJSON_PADDING);
    }

private:
    char* base = nullptr;
    size_t size = 0, length = 0;

    void Map(int fd, size_t bytes)
    {
        // A zeroed region long enough for the padding, the file mapped over its start
        // (the rest of the file's last page reads as zeros too), read in ahead at once.
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t whole = (bytes + simdjson::SIMDJSON_PADDING + page - 1) / page * page;
        void* region = mmap(nullptr, whole, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED)
            return;
        if (mmap(region, bytes, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0) == MAP_FAILED) {
            munmap(region, whole);
            return;
        }
        base = static_cast<char*>(region);
        size = bytes;
        length = whole;
    }
};

} // namespace

std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options)
{
    const bool json = EndsWith(path, ".json");
    if (!json) {
        // Ours begin with "{" or "*" (after a byte-order mark, perhaps); the rest
        // goes to Assimp unread.
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw SceneError(path + ": cannot read: " + std::strerror(errno));
        char c = 0;
        while (in.get(c) && (std::isspace(static_cast<unsigned char>(c)) || (c & 0x80) || c == 0)) {
        }
        if (!in || (c != '{' && c != '*'))
            return LoadModelFile(path, options);
    }
    // Read once, with the padding the JSON parser needs.
    MappedFile mapped(path);
    simdjson::padded_string copy;
    if (!mapped && simdjson::padded_string::load(path).get(copy))
        throw SceneError(path + ": cannot read: " + std::strerror(errno));
    const simdjson::padded_string_view bytes = mapped ? mapped.View() : simdjson::padded_string_view(copy);
    if (json || IsSceneDescription(bytes))
        return LoadSceneJson(bytes, path);
    {
        std::string text = DecodeSceneText(std::string(bytes.data(), bytes.size()));
        if (IsAseText(text))
            return LoadAse(text, path);
    } // a model (glTF, say) loads without this copy of its text
    return LoadModelFile(path, options);
}

} // namespace vek
