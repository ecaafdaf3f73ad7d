#include "check/Findings.h"

#include <algorithm>
#include <utility>

namespace vek {

void Reporter::Rewind(Mark m)
{
    report.total = m.total;
    report.findings.resize(std::min(report.findings.size(), m.kept));
}

void Reporter::Add(long line, std::string text)
{
    report.total++;
    if (report.findings.size() < CheckReport::MaxFindings)
        report.findings.push_back({file, line, std::move(text)});
}

bool Reporter::LineEnds(const LineReader& r)
{
    if (r.bareLf)
        Add(r.number, "line ends with a line feed alone (expected carriage return + line feed)");
    if (r.noEnd)
        Add(r.number, "last line has no line end");
    if (r.strayCr)
        Add(r.number, "carriage return inside the line");
    if (r.tooLong) {
        Add(r.number, "line longer than " + std::to_string(MaxLine) + " characters");
        return false;
    }
    if (r.binary) {
        Add(r.number, "binary data (NUL byte) in the line");
        return false;
    }
    return true;
}

std::string FormatFinding(const Finding& f)
{
    return f.file + (f.line > 0 ? ":" + std::to_string(f.line) : "") + ": " + f.text;
}

std::string FormatReport(const CheckReport& report)
{
    std::string s;
    for (const Finding& f : report.findings)
        s += FormatFinding(f) + "\n";
    if (report.total > static_cast<long>(report.findings.size()))
        s += "... and " + std::to_string(report.total - static_cast<long>(report.findings.size())) + " more findings\n";
    return s;
}

} // namespace vek
