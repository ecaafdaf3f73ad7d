// Feeds arbitrary bytes to the Vek and .box file checker: it must report, never crash
// or hang, whatever the input.
#include "check/VekCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the kind of file, the rest is its content.
    bool box = data[0] & 1;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
    if (size == 1)
        f = std::tmpfile();
    if (!f)
        return 0;
    vek::CheckReport report;
    vek::VekDocument document; // read as the pictures read it
    if (box)
        vek::CheckBoxStream(f, "fuzz.box", report, &document);
    else
        vek::CheckVekStream(f, "fuzz.vek", report, &document);
    std::fclose(f);
    vek::FormatReport(report);
    return 0;
}
