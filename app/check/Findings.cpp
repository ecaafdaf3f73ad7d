#include "check/Findings.h"
#include "export/ResultMarkers.h"

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

bool LineEndFaults(const LineReader& r, VekConsumer& to)
{
    if (r.bareLf)
        to.Finding(r.number, "line ends with a line feed alone (expected carriage return + line feed)");
    if (r.noEnd)
        to.Finding(r.number, "last line has no line end");
    if (r.strayCr)
        to.Finding(r.number, "carriage return inside the line");
    if (r.tooLong) {
        to.Finding(r.number, "line longer than " + std::to_string(MaxLine) + " characters");
        return false;
    }
    if (r.binary) {
        to.Finding(r.number, "binary data (NUL byte) in the line");
        return false;
    }
    return true;
}

void FindingKeeper::Explained(int marker, long line, const std::string& text)
{
    if (explainable.size() < CheckReport::MaxFindings)
        explainable.push_back({marker, line, text});
}

// A file of another kind has that for its only finding.
void FindingKeeper::NotVek()
{
    out.Rewind(start);
    out.Add(0, "not a Vek file");
}

void FindingKeeper::BlockOpened(const BlockEvent& e)
{
    if (e.kind && e.kind->role == BlockKind::Role::Material)
        materials.emplace(e.name);
}

void FindingKeeper::FaceMaterial(long line, std::string_view name)
{
    std::string key(name);
    if (!materials.count(key) && unknownMaterials.size() < CheckReport::MaxFindings)
        unknownMaterials.emplace_back(line, std::move(key));
}

void FindingKeeper::Marker(long line, int marker)
{
    if (marker < 0) {
        if (sawOk || sawMarker)
            out.Add(line, "\"#EXPORT_OK\" must be the only result marker");
        sawOk = true;
        return;
    }
    if (sawOk)
        out.Add(line, "failure marker after \"#EXPORT_OK\"");
    else if (marker <= lastMarker)
        out.Add(line, "failure markers out of order or repeated");
    lastMarker = marker;
    sawMarker = true;
    markerBits |= 1 << marker;
}

void FindingKeeper::End(long lastLine)
{
    if (!sawOk && !sawMarker)
        out.Add(lastLine, "no result marker (\"#EXPORT_OK\" or \"#ERROR_EXPORT_...\") at the end of the file");
    for (const auto& [line, name] : unknownMaterials)
        if (!materials.count(name))
            out.Add(line, "material \"" + name.substr(0, 80) + "\" has no material block");
    for (const Explainable& e : explainable)
        if (!(markerBits & (1 << e.marker)))
            out.Add(e.line, e.text);
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
