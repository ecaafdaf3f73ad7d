// The checks, the summary's figures and the document are consumers of the same
// readers: each entry point gathers those it needs.
#include "check/VekCheck.h"
#include "check/BoxReader.h"
#include "check/DocumentBuilder.h"
#include "check/Figures.h"
#include "check/Findings.h"
#include "check/VekReader.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>

namespace vek {

namespace {

// The findings and figures of a stream into the report, and the document when one is
// asked for, as `read` reads it.
template <typename Read> void Gather(const std::string& name, CheckReport& report, VekDocument* document, Read read)
{
    FindingKeeper findings(report, name);
    FigureCounter figures(report.figures);
    std::optional<DocumentBuilder> builder;
    std::vector<VekConsumer*> consumers{&findings, &figures};
    if (document)
        consumers.push_back(&builder.emplace(*document));
    ConsumerList to(std::move(consumers));
    read(to);
}

// The file at path opened for reading; null, with a finding, when it cannot be, or is
// not a regular file: opening a pipe waits for a writer and a device may never end.
// A file that may be absent is, when absent, null without a finding.
std::FILE* OpenChecked(const std::string& path, CheckReport& report, bool mayBeAbsent = false)
{
    auto finding = [&](std::string why) {
        report.total++;
        report.findings.push_back({path, 0, std::move(why)});
        return nullptr;
    };
    struct stat st {};
    const bool found = stat(path.c_str(), &st) == 0;
    if (!found && mayBeAbsent && errno == ENOENT)
        return nullptr;
    if (found && !S_ISREG(st.st_mode))
        return finding("not a regular file: a directory, pipe or device is not read as a Vek file");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return finding(std::string("cannot open the file: ") + std::strerror(errno));
    return f;
}

} // namespace

void CheckVekStream(std::FILE* in, const std::string& name, CheckReport& report, VekDocument* document)
{
    Gather(name, report, document, [in](ConsumerList& to) { ReadVek(in, to); });
}

void CountVekStream(std::FILE* in, const std::string& name, CheckReport& report)
{
    Gather(name, report, nullptr, [in](ConsumerList& to) { ReadVek(in, to, true); });
}

void CheckBoxStream(std::FILE* in, const std::string& name, CheckReport& report, VekDocument* document)
{
    Gather(name, report, document, [in](VekConsumer& to) { ReadBox(in, to); });
}

CheckReport CheckVekFile(const std::string& path, VekDocument* document)
{
    CheckReport report;
    std::FILE* f = OpenChecked(path, report);
    report.unreadable = !f;
    if (!f)
        return report;
    CheckVekStream(f, path, report, document);
    std::fclose(f);
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const std::string boxPath =
        path.substr(0, dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size()) +
        ".box";
    if (std::FILE* b = OpenChecked(boxPath, report, true)) {
        CheckBoxStream(b, boxPath, report, document);
        std::fclose(b);
    }
    return report;
}

} // namespace vek
