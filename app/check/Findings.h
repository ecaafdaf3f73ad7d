// The findings of the checks of one file: the report's list, kept to its first
// CheckReport::MaxFindings and counted whole.
#pragma once

#include "check/LineReader.h"
#include "check/VekCheck.h"

#include <string>

namespace vek {

class Reporter {
public:
    Reporter(CheckReport& r, const std::string& f) : report(r), file(f) {}

    // Where the findings stand now, to go back to.
    struct Mark {
        long total;
        size_t kept;
    };
    Mark Here() const { return {report.total, report.findings.size()}; }
    void Rewind(Mark m);

    void Add(long line, std::string text);

    // Checks of the line end and content common to both kinds of file; false when the
    // line is not to be interpreted further.
    bool LineEnds(const LineReader& r);

private:
    CheckReport& report;
    const std::string& file;
};

} // namespace vek
