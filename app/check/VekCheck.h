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
#include <string>
#include <string_view>
#include <vector>

namespace vek {

struct Finding {
    std::string file;
    long line = 0; // 0 for findings about the whole file
    std::string text;
};

struct BlockKind;

// A figure of the summary and of the report: the report's `key`, the summary's names
// for one and for many, and what the summary writes after it ("1 shell, 2 meshes,
// 0 lights, 0 cameras; ..."). A figure that counts blocks names their `kind`.
struct FigureName {
    const char* key;
    const char* one;
    const char* many;
    const char* separator;
    const BlockKind* kind = nullptr;
};

// The figures, in the order the summary writes them and the report lists them: the
// node blocks of each kind, the vertex and face lines, the other kinds of block, the
// collision boxes. The kinds of block are those the reader knows, so a new kind is
// counted, summed up and reported as soon as the reader reads it.
const std::vector<FigureName>& FigureNames();

// What the files hold, counted while they are checked.
struct VekFigures {
    std::vector<long long> counts = std::vector<long long>(FigureNames().size()); // in the order of FigureNames()
    bool ok = false;                                                              // the file ends with "#EXPORT_OK"
    std::vector<std::string> markers; // the failure markers it ends with, in order

    // The count of the figure of report key `key` ("shells", "vertices", ...);
    // std::out_of_range for a key that names none.
    long long operator[](std::string_view key) const;
};

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
