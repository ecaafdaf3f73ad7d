// The findings of the checks of one file: the report's list, kept to its first
// CheckReport::MaxFindings and counted whole, and the consumer that gathers the
// readers' findings into it with the rules that span the whole file.
#pragma once

#include "check/LineReader.h"
#include "check/VekEvents.h"

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

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

private:
    CheckReport& report;
    const std::string& file;
};

// The findings about the end and the bytes of the line `r` has just read, common to
// both kinds of file, told to `to`; false when the line is not to be interpreted
// further.
bool LineEndFaults(const LineReader& r, VekConsumer& to);
inline bool LineEndFindings(const LineReader& r, VekConsumer& to)
{
    // Nearly every line is sound: that is decided here, where the reader's loop is.
    return !(r.bareLf || r.noEnd || r.strayCr || r.tooLong || r.binary) || LineEndFaults(r, to);
}

// The findings of a Vek or ".box" stream, into the report. Beyond the readers' own,
// it checks what only the whole file shows: the result markers (one "#EXPORT_OK"
// alone, or failure markers in their order), the material every face line names,
// and the faults the file explains by the failure it records.
class FindingKeeper final : public VekConsumer {
public:
    FindingKeeper(CheckReport& report, const std::string& file) : out(report, file), start(out.Here()) {}

    bool TakesGeometry() const override { return false; }
    void Finding(long line, const std::string& text) override { out.Add(line, text); }
    void Explained(int marker, long line, const std::string& text) override;
    void NotVek() override;
    void BlockOpened(const BlockEvent& e) override;
    void FaceMaterial(long line, std::string_view name) override;
    void Marker(long line, int marker) override;
    void End(long lastLine) override;

private:
    Reporter out;
    Reporter::Mark start;
    bool sawOk = false, sawMarker = false;
    int lastMarker = -1;
    int markerBits = 0; // the failure markers the file ends with
    struct Explainable {
        int marker;
        long line;
        std::string text;
    };
    std::vector<Explainable> explainable; // findings unless the file records that failure
    std::unordered_set<std::string> materials;
    std::vector<std::pair<long, std::string>> unknownMaterials; // named before their block, if ever
};

} // namespace vek
