// The scene file formats read here rather than through Assimp, in one table: how each
// is named, how its files are found, how its content is told from others, and its
// loader. LoadSceneFile, IsSceneFile, ReadableFormats and the fuzz target all go
// through the table; a file no row claims is a model for Assimp.
#pragma once

#include "Scene.h"

#include <simdjson.h>

#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

// Told, as the streaming reader goes, that the text before a position will not be
// read again by it. The text must stay readable all the same (the strict reader may
// read it all again): only a mapping of the file, whose pages fault in again from it,
// may drop them.
using TextRead = std::function<void(const char* upTo)>;

// ---- the JSON scene description ----

// Whether text is a JSON scene description rather than some other JSON (glTF, say).
bool IsSceneDescription(simdjson::padded_string_view text);
// LoadSceneJson of text already padded for the parser; `read`, when given, hears how
// far the text has been read.
std::unique_ptr<Scene> LoadSceneJson(simdjson::padded_string_view text, const std::string& fileName,
                                     const TextRead& read = {});

// ---- the application's ASCII scene export ----

// Whether decoded text is the application's ASCII scene export.
bool IsAseText(std::string_view text);
// Whether a file's bytes, in whichever encoding, begin with the export's first word.
// Only the first bytes are looked at: the whole file is not decoded for this.
bool IsAseFile(simdjson::padded_string_view bytes);
// Reads an ASCII scene export from decoded text; `fileName` names it in errors.
std::unique_ptr<Scene> LoadAse(std::string_view text, const std::string& fileName);
// LoadAse of a file's bytes, decoded first (DecodeSceneText).
std::unique_ptr<Scene> LoadAseFile(simdjson::padded_string_view bytes, const std::string& fileName,
                                   const TextRead& read);

// ---- the table ----

struct SceneFormat {
    // For --list-formats: "name (patterns)".
    std::string_view name;
    std::string_view patterns;
    // A file with this extension is read as this format whatever its content, and is a
    // scene only if the sniff agrees; "" for none.
    std::string_view extension;
    // The first byte of the format's text, blanks, NULs and bytes above 0x7f aside (a
    // byte-order mark, UTF-16's zero halves): a file that begins otherwise is not read
    // at all to tell its format.
    char lead;
    // Whether the file's bytes (padded for the JSON parser) are of this format.
    bool (*sniff)(simdjson::padded_string_view bytes);
    // Reads the scene from the file's bytes; `fileName` names it in errors. Throws
    // SceneError.
    std::unique_ptr<Scene> (*load)(simdjson::padded_string_view bytes, const std::string& fileName,
                                   const TextRead& read);
};

// In the order the formats are tried; the first is also the one a fuzz input no row
// claims is read as, for its errors.
inline constexpr SceneFormat SceneFormats[] = {
    {"JSON scene description", "*.json, or any file holding one", ".json", '{', IsSceneDescription, LoadSceneJson},
    {"ASCII scene export", "*.ase, or any file beginning with *3DSMAX_ASCIIEXPORT", "", '*', IsAseFile, LoadAseFile},
};
static_assert(std::size(SceneFormats) == 2);

// The first byte of bytes that is not a blank, NUL or byte above 0x7f; '\0' when there
// is none.
char LeadByte(std::string_view bytes);
// The row whose lead is `lead` and whose sniff takes the bytes; nullptr for none.
const SceneFormat* SniffSceneFormat(simdjson::padded_string_view bytes);
// The row that claims files of path's extension (exactly, case counts); nullptr for none.
const SceneFormat* SceneFormatByExtension(const std::string& path);

// Whether a model reader claims the file's extension (case aside).
bool IsModelExtension(const std::string& path);
// The model formats Assimp reads: "name (*.ext;*.ext)" lines.
std::vector<std::string> ModelFormats();

} // namespace vek
