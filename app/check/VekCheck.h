// A checker for Vek files and their ".box" collision files: reports, with line
// numbers, everything that would make the engine misread a file.
//
// Files are read in one pass with a bounded line buffer; nothing per vertex or face
// is kept, so memory stays small whatever the file's size. Damaged or hostile input
// (truncated, binary, enormous lines, huge counts) only gives findings.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vek {

struct Finding {
    std::string file;
    long line = 0; // 0 for findings about the whole file
    std::string text;
};

struct CheckReport {
    std::vector<Finding> findings; // the first MaxFindings of them
    long total = 0;                // all findings, kept or not
    bool Clean() const { return total == 0; }
    static constexpr size_t MaxFindings = 1000;
};

// Checks the Vek file at path and, when one exists beside it, its ".box" file (the
// path without its last four characters, then ".box"). A file that cannot be
// opened is one finding.
CheckReport CheckVekFile(const std::string& path);

// Checks one Vek or ".box" stream; `name` names it in the findings. The report's
// findings are appended to.
void CheckVekStream(std::FILE* in, const std::string& name, CheckReport& report);
void CheckBoxStream(std::FILE* in, const std::string& name, CheckReport& report);

// "file:line: text" lines, then a summary line when findings were dropped.
std::string FormatReport(const CheckReport& report);

} // namespace vek
