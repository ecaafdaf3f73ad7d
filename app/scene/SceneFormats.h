// The scene file formats read natively, for the choice of a loader by content.
#pragma once

#include "Scene.h"

#include <simdjson.h>

#include <functional>
#include <string>
#include <string_view>

namespace vek {

// Whether text is a JSON scene description rather than some other JSON (glTF, say).
bool IsSceneDescription(simdjson::padded_string_view text);
// Told, as the streaming reader goes, that the text before a position will not be
// read again by it. The text must stay readable all the same (the strict reader may
// read it all again): only a mapping of the file, whose pages fault in again from it,
// may drop them.
using TextRead = std::function<void(const char* upTo)>;
// LoadSceneJson of text already padded for the parser; `read`, when given, hears how
// far the text has been read.
std::unique_ptr<Scene> LoadSceneJson(simdjson::padded_string_view text, const std::string& fileName,
                                     const TextRead& read = {});

// A text file's bytes as UTF-8: UTF-8 is the bytes themselves (a byte-order mark
// dropped); UTF-16 with a byte-order mark, and anything else read as Latin-1, are
// converted into `converted`. The result views `bytes` or `converted`.
std::string_view DecodeSceneText(std::string_view bytes, std::string& converted);
// Whether decoded text is the application's ASCII scene export.
bool IsAseText(std::string_view text);
// Whether a model reader claims the file's extension (case aside).
bool IsModelExtension(const std::string& path);
// Reads an ASCII scene export from decoded text; `fileName` names it in errors.
std::unique_ptr<Scene> LoadAse(std::string_view text, const std::string& fileName);

} // namespace vek
