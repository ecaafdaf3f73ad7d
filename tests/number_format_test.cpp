// Scene numbers: the exact formatter against printf, and the writers' cut to ten
// characters.
#include "writers/DummyWriter.h"
#include "writers/NumberFormat.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VEK_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define VEK_SLOW_BUILD 1
#endif
#endif
#if !defined(VEK_SLOW_BUILD) && !defined(__OPTIMIZE__)
#define VEK_SLOW_BUILD 1
#endif

#ifdef VEK_SLOW_BUILD
constexpr int RANDOM_SAMPLES = 10000; // per precision
constexpr int TIES_PER_PRECISION = 2000;
constexpr int ULPS_AROUND = 50;
#else
constexpr int RANDOM_SAMPLES = 200000;
constexpr int TIES_PER_PRECISION = 40000;
constexpr int ULPS_AROUND = 1000;
#endif

// VEK_FORMAT_PROOF_SCALE=n multiplies the random samples, for a long one-off run.
int Scale()
{
    const char* s = std::getenv("VEK_FORMAT_PROOF_SCALE");
    int n = s ? std::atoi(s) : 1;
    return n > 0 ? n : 1;
}

// The "C" numeric locale on this thread for the life of the object, so that the
// printf reference writes a decimal point whatever locale the process runs in.
class CNumericLocale {
public:
    CNumericLocale() : c(newlocale(LC_NUMERIC_MASK, "C", (locale_t)0)), previous(uselocale(c)) {}
    ~CNumericLocale()
    {
        uselocale(previous);
        freelocale(c);
    }

private:
    locale_t c;
    locale_t previous;
};

// One value at one precision through both paths: printf "%4.<n>f" of the value
// widened to double, and FormatFixed.
struct Texts {
    char want[128];
    char got[FORMAT_FIXED_MAX];
    size_t wantLength, gotLength;

    Texts(float v, int decimals)
    {
        int n = std::snprintf(want, sizeof(want), "%4.*f", decimals, double(v));
        wantLength = size_t(n);
        gotLength = FormatFixed(got, v, decimals);
    }
    // The whole texts agree, so their ten-character cuts agree too.
    bool Same() const { return wantLength == gotLength && std::memcmp(want, got, gotLength) == 0; }
    std::string Want() const { return std::string(want, wantLength); }
    std::string Got() const { return std::string(got, gotLength); }
};

// The fast path cut to ten characters.
std::string Fast(float v, int decimals)
{
    return Texts(v, decimals).Got().substr(0, 10);
}

float FromBits(uint32_t bits) { return std::bit_cast<float>(bits); }

// Compares one value at one precision; reports the first few mismatches.
void Check(float v, int decimals, int& mismatches)
{
    Texts t(v, decimals);
    if (!t.Same() && ++mismatches <= 10)
        ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<uint32_t>(v) << std::dec << " decimals " << decimals
                      << ": printf \"" << t.Want() << "\", fast \"" << t.Got() << "\"";
}

int CountMismatches(const std::vector<float>& values)
{
    int mismatches = 0;
    for (int d = 0; d <= MAX_DECIMALS; d++)
        for (float v : values)
            Check(v, d, mismatches);
    return mismatches;
}

std::vector<float> EdgeValues()
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> v = {0.0f, -0.0f, FLT_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX, FLT_TRUE_MIN, -FLT_TRUE_MIN,
                            inf, -inf, nan, -nan, FromBits(0x7f800001u), FromBits(0xffbfffffu),
                            FromBits(0x00000123u), FromBits(0x807fffffu), 1.0f, -1.0f, 0.5f, -0.5f,
                            65535.0f, 32767.0f, 100.0f, 1e-10f, 5e-11f, -5e-11f, 4.9999999e-11f};
    // Around the widths that change the text's shape: the four-character minimum,
    // the tenth character, and the values whose integer part fills the cut.
    const float centres[] = {1e8f, 1e9f, -1e8f, -1e9f, 1e7f, -1e7f, 99999999.5f, -9999999.5f, 999999.5f,
                             9.5f, 99.5f, 999.5f, -9.5f, -99.5f, 0.05f, 0.005f, 1e-6f, 5e-7f, 1e10f,
                             123456.789f, 3.5f, -1234.5f, 1.0f, 0.0f, FLT_MAX, FLT_MIN};
    for (float c : centres) {
        float up = c, down = c;
        for (int k = 0; k < ULPS_AROUND; k++) {
            up = std::nextafter(up, FLT_MAX);
            down = std::nextafter(down, -FLT_MAX);
            v.push_back(up);
            v.push_back(down);
        }
    }
    // Every power of ten and its neighbours.
    for (int e = -45; e <= 38; e++) {
        float p = float(std::pow(10.0, e));
        for (float x : {p, -p, std::nextafter(p, 0.0f), std::nextafter(p, FLT_MAX)})
            v.push_back(x);
    }
    return v;
}

TEST(FormatFixedEquivalence, EdgeCasesMatchPrintfAtEveryPrecision)
{
    CNumericLocale c;
    std::vector<float> values = EdgeValues();
    EXPECT_EQ(CountMismatches(values), 0);
}

// Fresh bit patterns for every precision: NaNs with any payload, infinities,
// subnormals and the whole exponent range come up in proportion.
TEST(FormatFixedEquivalence, RandomBitPatternsMatchPrintfAtEveryPrecision)
{
    CNumericLocale c;
    std::mt19937 rng(20261208);
    int mismatches = 0;
    const int samples = RANDOM_SAMPLES * Scale();
    for (int d = 0; d <= MAX_DECIMALS; d++)
        for (int k = 0; k < samples; k++)
            Check(FromBits(uint32_t(rng())), d, mismatches);
    EXPECT_EQ(mismatches, 0);
}

// Scene coordinates cluster in a few thousand units; bit patterns drawn uniformly
// rarely land there, so draw them by magnitude as well.
TEST(FormatFixedEquivalence, SceneRangeValuesMatchPrintfAtEveryPrecision)
{
    CNumericLocale c;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coords(-100000.0f, 100000.0f);
    std::uniform_int_distribution<uint32_t> midBits(0x2e000000u, 0x4f000000u); // about 3e-11 .. 2e9
    int mismatches = 0;
    const int samples = RANDOM_SAMPLES / 2 * Scale();
    for (int d = 0; d <= MAX_DECIMALS; d++) {
        for (int k = 0; k < samples; k++) {
            Check(coords(rng), d, mismatches);
            Check(FromBits(midBits(rng) | (rng() & 0x80000000u)), d, mismatches);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The exact halfway cases at precision n are the odd multiples of 2^-(n+1); printf
// rounds them to even, and so must the fast path.
TEST(FormatFixedEquivalence, RoundingTiesMatchPrintfAtEachPrecision)
{
    CNumericLocale c;
    std::mt19937 rng(11);
    int mismatches = 0;
    for (int d = 0; d <= MAX_DECIMALS; d++) {
        const double step = std::ldexp(1.0, -(d + 1));
        for (int k = 0; k < TIES_PER_PRECISION; k++) {
            // Small odd numerators in order, then random ones up to the float mantissa.
            uint32_t j = k < TIES_PER_PRECISION / 2 ? uint32_t(k) : uint32_t(rng() % (1u << 22));
            double tie = double(2 * j + 1) * step;
            for (float v : {float(tie), float(-tie)}) {
                if (double(v) != -tie && double(v) != tie)
                    continue;
                Check(v, d, mismatches);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(Fast(0.5f, 0), "   0");
    EXPECT_EQ(Fast(1.5f, 0), "   2");
    EXPECT_EQ(Fast(2.5f, 0), "   2");
    EXPECT_EQ(Fast(0.125f, 2), "0.12");
    EXPECT_EQ(Fast(-0.375f, 2), "-0.38");
}

// A writer configured with a number of decimals and nothing else.
class Writer : public DummyWriter {
public:
    explicit Writer(int decimals) : DummyWriter(nullptr, nullptr, 0) { SetDecimals(decimals); }
    std::string F(float v) { return FormatFloat(v).data(); }
    const char* Format() const { return numberFormat; }
};

// The writers' own path: printf's text cut to ten characters, at every precision.
TEST(FormatFloat, EqualsPrintfCutToTenCharacters)
{
    CNumericLocale c;
    std::mt19937 rng(3);
    std::vector<float> values = EdgeValues();
    for (int k = 0; k < RANDOM_SAMPLES / 10; k++)
        values.push_back(FromBits(uint32_t(rng())));
    int mismatches = 0;
    for (int d = 0; d <= MAX_DECIMALS; d++) {
        Writer w(d);
        for (float v : values) {
            std::string want = Texts(v, d).Want().substr(0, 10);
            std::string got = w.F(v);
            if (want != got && ++mismatches <= 10)
                ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<uint32_t>(v) << std::dec << " decimals "
                              << d << ": printf cut \"" << want << "\", FormatFloat \"" << got << "\"";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FormatFloat, WidthDecimalsAndTheCutToTenCharacters)
{
    Writer six(6);
    EXPECT_STREQ(six.Format(), "%4.6f");
    EXPECT_EQ(six.F(3.5f), "3.500000");
    EXPECT_EQ(six.F(-1234.5f), "-1234.5000");
    EXPECT_EQ(six.F(100.0f), "100.000000");
    EXPECT_EQ(six.F(65535.0f), "65535.0000");
    EXPECT_EQ(six.F(1e8f), "100000000.");
    EXPECT_EQ(six.F(1e9f), "1000000000");
    EXPECT_EQ(six.F(-1e8f), "-100000000");
    EXPECT_EQ(six.F(-0.0f), "-0.000000");
    EXPECT_EQ(six.F(FLT_MAX), "3402823466");
    EXPECT_EQ(six.F(std::numeric_limits<float>::infinity()), " inf");
    EXPECT_EQ(six.F(-std::numeric_limits<float>::infinity()), "-inf");
    EXPECT_EQ(six.F(std::numeric_limits<float>::quiet_NaN()), " nan");
    EXPECT_EQ(six.F(-std::numeric_limits<float>::quiet_NaN()), "-nan");

    Writer zero(0);
    EXPECT_EQ(zero.F(5.0f), "   5");
    EXPECT_EQ(zero.F(-5.0f), "  -5");
    EXPECT_EQ(zero.F(12345.0f), "12345");
    Writer one(1);
    EXPECT_EQ(one.F(5.0f), " 5.0");
    Writer ten(10);
    EXPECT_STREQ(ten.Format(), "%4.10f");
    EXPECT_EQ(ten.F(5.0f), "5.00000000");
    EXPECT_EQ(ten.F(1e-10f), "0.00000000");
}

// The number of decimals comes from the configuration file, which may hold anything.
TEST(FormatFloat, DecimalsOutsideTheDialogRangeAreClamped)
{
    Writer negative(-1);
    EXPECT_STREQ(negative.Format(), "%4.0f");
    EXPECT_EQ(negative.F(2.25f), "   2");
    Writer huge(1000000);
    EXPECT_STREQ(huge.Format(), "%4.10f");
    EXPECT_EQ(huge.F(2.25f), "2.25000000");
    Writer lowest(std::numeric_limits<int>::min());
    EXPECT_STREQ(lowest.Format(), "%4.0f");
    EXPECT_EQ(ClampDecimals(7), 7);
    EXPECT_EQ(ClampIndentation(-1), 0);
    EXPECT_EQ(ClampIndentation(9), 8);
    EXPECT_EQ(ClampIndentation(3), 3);
}

} // namespace
