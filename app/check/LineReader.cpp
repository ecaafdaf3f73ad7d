#include "check/LineReader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vek {

// The next line when its end is in the buffer: one look at each byte finds the
// line feed and any carriage return or NUL byte before it, sixteen bytes at a time
// where the processor can.
bool LineReader::InBuffer()
{
    const char* start = buf.data() + pos;
    const char* end = buf.data() + len;
    const char* p = start;
    const char* cr = nullptr;
    bool nul = false;
    for (;; p++) {
#if defined(__SSE2__)
        // Past every byte that is none of the three.
        while (end - p >= 16) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i lfs = _mm_cmpeq_epi8(w, _mm_set1_epi8('\n'));
            const __m128i crs = _mm_cmpeq_epi8(w, _mm_set1_epi8('\r'));
            const __m128i nuls = _mm_cmpeq_epi8(w, _mm_setzero_si128());
            const unsigned found = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(lfs, crs), nuls)));
            if (found) {
                p += __builtin_ctz(found);
                break;
            }
            p += 16;
        }
#endif
        if (p == end)
            return false;
        if (*p == '\n')
            break;
        if (*p == '\r')
            cr = cr ? cr : p;
        nul = nul || *p == '\0';
    }
    pos = size_t(p - buf.data()) + 1;
    size_t size = size_t(p - start);
    if (size > 0 && start[size - 1] == '\r')
        size--;
    else
        bareLf = true;
    line = std::string_view(start, size);
    strayCr = cr && cr < start + size;
    binary = nul;
    return true;
}

// The next line when it runs past the buffer's end: gathered over refills, kept
// up to MaxLine characters.
bool LineReader::Spanning()
{
    spill.clear();
    bool any = false;
    char last = 0; // of the whole line, also when it is too long to be kept
    for (;;) {
        if (pos == len) {
            len = in ? std::fread(buf.data(), 1, buf.size(), in) : 0;
            pos = 0;
            if (len == 0) {
                if (!any)
                    return false;
                noEnd = true;
                break;
            }
        }
        any = true;
        const char* start = buf.data() + pos;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', len - pos));
        size_t chunk = nl ? size_t(nl - start) : len - pos;
        size_t room = MaxLine + 1 - std::min(spill.size(), MaxLine + 1);
        spill.append(start, std::min(chunk, room));
        if (chunk > room)
            tooLong = true;
        if (chunk > 0)
            last = start[chunk - 1];
        pos += chunk;
        if (nl) {
            pos++;
            break;
        }
    }
    if (last == '\r') {
        if (!tooLong)
            spill.pop_back();
    } else if (!noEnd) {
        bareLf = true;
    }
    if (spill.size() > MaxLine) {
        tooLong = true;
        spill.resize(MaxLine);
    }
    strayCr = spill.find('\r') != std::string::npos;
    binary = spill.find('\0') != std::string::npos;
    line = spill;
    return true;
}

} // namespace vek
