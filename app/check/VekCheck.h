// A checker for Vek files and their ".box" collision files: reports, with line
// numbers, everything that would make the engine misread a file.
//
// Files are read in one pass with a bounded line buffer; unless a document model is
// asked for, nothing per vertex or face is kept, so memory stays small whatever the
// file's size. Damaged or hostile input (truncated, binary, enormous lines, huge
// counts) only gives findings.
//
// One reader for each kind of file (VekReader.h, BoxReader.h) tells consumers what
// the file holds (VekEvents.h); these entry points gather the findings, the figures
// and, on request, the document model of VekDocument.h: one grammar for the checks
// and for whoever draws or inspects the file.
#pragma once

#include "check/VekDocument.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace vek {

struct Finding {
    std::string file;
    long line = 0; // 0 for findings about the whole file
    std::string text;
};

// What the files hold, counted while they are checked.
struct VekFigures {
    long long shells = 0, meshes = 0, lights = 0, cameras = 0; // node blocks
    long long materials = 0, topologies = 0, animations = 0;
    long long vertices = 0, quads = 0, triangles = 0; // lines of mesh and topology blocks
    long long boxes = 0;                              // the count of the ".box" file
    bool ok = false;                                  // the file ends with "#EXPORT_OK"
    std::vector<std::string> markers;                 // the failure markers it ends with, in order
};

// The counts of VekFigures as the summary and the report name them, in their order.
// The summary writes `separator` after each ("1 shell, 2 meshes, 0 lights, 0 cameras;
// ..."), the report uses `key`.
struct FigureName {
    long long VekFigures::*count;
    const char* key;
    const char* one;
    const char* many;
    const char* separator;
};
inline constexpr FigureName figureNames[] = {
    {&VekFigures::shells, "shells", "shell", "shells", ", "},
    {&VekFigures::meshes, "meshes", "mesh", "meshes", ", "},
    {&VekFigures::lights, "lights", "light", "lights", ", "},
    {&VekFigures::cameras, "cameras", "camera", "cameras", "; "},
    {&VekFigures::vertices, "vertices", "vertex", "vertices", ", "},
    {&VekFigures::quads, "quads", "four-vertex face", "four-vertex faces", ", "},
    {&VekFigures::triangles, "triangles", "triangle", "triangles", "; "},
    {&VekFigures::materials, "materials", "material", "materials", ", "},
    {&VekFigures::topologies, "topologies", "topology block", "topology blocks", ", "},
    {&VekFigures::animations, "animations", "animation", "animations", ", "},
    {&VekFigures::boxes, "collisionBoxes", "collision box", "collision boxes", ""},
};
static_assert(std::size(figureNames) == 11);

struct CheckReport {
    std::vector<Finding> findings; // the first MaxFindings of them
    long total = 0;                // all findings, kept or not
    VekFigures figures;
    bool unreadable = false; // the Vek file itself could not be opened: nothing was checked
    bool Clean() const { return total == 0; }
    static constexpr size_t MaxFindings = 1000;
};

// Checks the Vek file at path and, when one exists beside it, its ".box" file (the
// path with its extension replaced by ".box", or ".box" added when it has none). A
// file that cannot be opened is one finding (and, for the Vek file, `unreadable`). A
// file whose first lines are not a Vek header is one finding, "not a Vek file", and is
// read no further. When `document` is given it receives what both files hold.
CheckReport CheckVekFile(const std::string& path, VekDocument* document = nullptr);

// Checks one Vek or ".box" stream; `name` names it in the findings. The report's
// findings are appended to, and its figures counted; so is the document when one is
// given.
void CheckVekStream(std::FILE* in, const std::string& name, CheckReport& report, VekDocument* document = nullptr);
void CheckBoxStream(std::FILE* in, const std::string& name, CheckReport& report, VekDocument* document = nullptr);

// The figures of a Vek stream that this program has just written, as CheckVekStream
// counts them, its vertex and face lines counted without their numbers being read:
// the findings are not all there.
void CountVekStream(std::FILE* in, const std::string& name, CheckReport& report);

// "file:line: text", or "file: text" for a finding about the whole file.
std::string FormatFinding(const Finding& finding);

// FormatFinding lines, then a summary line when findings were dropped.
std::string FormatReport(const CheckReport& report);

} // namespace vek
