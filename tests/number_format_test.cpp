// Scene numbers: the exact formatter against a slow reference, and the writers' cut
// to ten characters.
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
    CNumericLocale() : c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr))), previous(uselocale(c)) {}
    ~CNumericLocale()
    {
        uselocale(previous);
        freelocale(c);
    }

private:
    locale_t c;
    locale_t previous;
};

// The slow, obvious way: the exact decimal expansion of v, rounded half away from
// zero at `decimals`, padded to width 4. tie tells whether v lay exactly halfway.
std::string Reference(float v, int decimals, bool* tie = nullptr)
{
    if (tie)
        *tie = false;
    std::string text;
    if (std::isnan(v) || std::isinf(v)) {
        text = std::string(std::signbit(v) ? "-" : "") + (std::isnan(v) ? "nan" : "inf");
        return std::string(text.size() < 4 ? 4 - text.size() : 0, ' ') + text;
    }
    // |v| = m * 2^e exactly, m an integer below 2^24.
    int e;
    uint64_t m = uint64_t(std::ldexp(std::frexp(std::fabs(double(v)), &e), 24));
    e -= 24;
    // |v| = digits / 10^scale: m * 2^e, or m * 5^-e / 10^-e. Base 10^9 limbs, lowest first.
    std::vector<uint64_t> limbs = {m % 1000000000, m / 1000000000};
    auto multiply = [&](uint64_t factor) {
        uint64_t carry = 0;
        for (uint64_t& limb : limbs) {
            uint64_t x = limb * factor + carry;
            limb = x % 1000000000;
            carry = x / 1000000000;
        }
        if (carry)
            limbs.push_back(carry);
    };
    const int scale = e < 0 ? -e : 0;
    for (int k = std::abs(e); k > 0; k -= 13) {
        uint64_t factor = 1;
        for (int j = 0; j < std::min(k, 13); j++)
            factor *= e < 0 ? 5 : 2;
        multiply(factor);
    }
    std::string digits(size_t(scale) + 1, '0'); // at least one integer digit
    for (size_t k = limbs.size(); k-- > 0;)
        for (uint64_t unit = 100000000; unit > 0; unit /= 10)
            digits += char('0' + limbs[k] / unit % 10);
    // Keep the integer digits and `decimals` fraction digits; the first dropped one
    // decides: 5 or more rounds the magnitude up.
    const size_t point = digits.size() - size_t(scale);
    digits += std::string(size_t(decimals), '0');
    std::string kept = digits.substr(0, point + size_t(decimals));
    std::string dropped = digits.substr(point + size_t(decimals));
    if (!dropped.empty() && dropped[0] >= '5') {
        if (tie)
            *tie = dropped.find_first_not_of('0', 1) == std::string::npos && dropped[0] == '5';
        size_t k = kept.size();
        while (k > 0 && kept[k - 1] == '9')
            kept[--k] = '0';
        kept[k - 1]++; // the leading zeros leave room for a carry
    }
    size_t first = std::min(kept.find_first_not_of('0'), point - 1);
    text = (std::signbit(v) ? "-" : "") + kept.substr(first, point - first);
    if (decimals > 0)
        text += "." + kept.substr(point);
    return std::string(text.size() < 4 ? 4 - text.size() : 0, ' ') + text;
}

std::string Fast(float v, int decimals)
{
    char buf[FORMAT_FIXED_MAX];
    return std::string(buf, FormatFixed(buf, v, decimals));
}

std::string Printf(float v, int decimals)
{
    char buf[128];
    return std::string(buf, size_t(std::snprintf(buf, sizeof(buf), "%4.*f", decimals, double(v))));
}

float FromBits(uint32_t bits) { return std::bit_cast<float>(bits); }

// The fast path against the reference at one precision; reports the first few
// mismatches. glibc's printf, which rounds ties to even, checks the reference itself
// on every value that is not a tie.
void Check(float v, int decimals, int& mismatches)
{
    bool tie;
    std::string want = Reference(v, decimals, &tie), got = Fast(v, decimals);
    bool printfAgrees = tie || Printf(v, decimals) == want;
    if ((got != want || !printfAgrees) && ++mismatches <= 10)
        ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<uint32_t>(v) << std::dec << " decimals " << decimals
                      << ": reference \"" << want << "\", fast \"" << got << "\", printf \"" << Printf(v, decimals)
                      << "\"";
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
    std::vector<float> v = {0.0f,
                            -0.0f,
                            FLT_MIN,
                            -FLT_MIN,
                            FLT_MAX,
                            -FLT_MAX,
                            FLT_TRUE_MIN,
                            -FLT_TRUE_MIN,
                            inf,
                            -inf,
                            nan,
                            -nan,
                            FromBits(0x7f800001u),
                            FromBits(0xffbfffffu),
                            FromBits(0x00000123u),
                            FromBits(0x807fffffu),
                            1.0f,
                            -1.0f,
                            0.5f,
                            -0.5f,
                            65535.0f,
                            32767.0f,
                            100.0f,
                            1e-10f,
                            5e-11f,
                            -5e-11f,
                            4.9999999e-11f};
    // Around the widths that change the text's shape: the four-character minimum,
    // the tenth character, and the values whose integer part fills the cut.
    const float centres[] = {1e8f,  1e9f,        -1e8f,  -1e9f,    1e7f,   -1e7f, 99999999.5f, -9999999.5f, 999999.5f,
                             9.5f,  99.5f,       999.5f, -9.5f,    -99.5f, 0.05f, 0.005f,      1e-6f,       5e-7f,
                             1e10f, 123456.789f, 3.5f,   -1234.5f, 1.0f,   0.0f,  FLT_MAX,     FLT_MIN};
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

TEST(FormatFixedEquivalence, EdgeCasesMatchTheReferenceAtEveryPrecision)
{
    CNumericLocale c;
    std::vector<float> values = EdgeValues();
    EXPECT_EQ(CountMismatches(values), 0);
}

// Fresh bit patterns for every precision: NaNs with any payload, infinities,
// subnormals and the whole exponent range come up in proportion.
TEST(FormatFixedEquivalence, RandomBitPatternsMatchTheReferenceAtEveryPrecision)
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
TEST(FormatFixedEquivalence, SceneRangeValuesMatchTheReferenceAtEveryPrecision)
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

// The exact halfway cases at precision d are the odd multiples k / 2^(d+1). Every one
// a float holds, with VEK_FORMAT_PROOF_SCALE set; otherwise the small ones and a sample.
TEST(FormatFixedEquivalence, EveryRoundingTieMatchesTheReference)
{
    CNumericLocale c;
    std::mt19937 rng(11);
    int mismatches = 0;
    for (int d = 0; d <= MAX_DECIMALS; d++) {
        auto check = [&](uint32_t k) {
            float tie = float(std::ldexp(double(k), -(d + 1)));
            Check(tie, d, mismatches);
            Check(-tie, d, mismatches);
        };
        const uint32_t inOrder = Scale() > 1 ? (1u << 24) : uint32_t(2 * TIES_PER_PRECISION);
        for (uint32_t k = 1; k < inOrder; k += 2)
            check(k);
        for (int n = 0; n < TIES_PER_PRECISION; n++)
            check((uint32_t(rng()) % (1u << 24)) | 1u);
    }
    EXPECT_EQ(mismatches, 0);
}

// The platform's column of the rounding table: ties away from zero, at every format
// the writers use.
TEST(FormatFixedEquivalence, TiesRoundAwayFromZero)
{
    const struct {
        float v;
        int decimals;
        const char* text;
    } cases[] = {
        {2.5f, 0, "   3"},
        {-0.5f, 0, "  -1"},
        {0.5f, 0, "   1"},
        {1.5f, 0, "   2"},
        {0.625f, 2, "0.63"},
        {0.125f, 2, "0.13"},
        {-0.375f, 2, "-0.38"},
        {0.0078125f, 6, "0.007813"},
        {1.0f / 2048, 10, "0.0004882813"},
        {9.5f, 0, "  10"},
        {0.3f, 0, "   0"},
        {0.7f, 0, "   1"},
        {1e8f + 8.0f, 0, "100000008"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fast(c.v, c.decimals), c.text) << c.v << " at " << c.decimals;
}

// A writer configured with a number of decimals and nothing else.
class Writer : public DummyWriter {
public:
    explicit Writer(int n) : DummyWriter(nullptr, nullptr, 0) { SetDecimals(n); }
    std::string F(float v) { return FormatFloat(v).data(); }
    const char* Format() const { return numberFormat; }
};

// The writers' own path: the reference cut to ten characters, or to its integer part
// when that is longer, at every precision.
TEST(FormatFloat, EqualsTheReferenceCutToTenCharacters)
{
    std::mt19937 rng(3);
    std::vector<float> values = EdgeValues();
    for (int k = 0; k < RANDOM_SAMPLES / 10; k++)
        values.push_back(FromBits(uint32_t(rng())));
    int mismatches = 0;
    for (int d = 0; d <= MAX_DECIMALS; d++) {
        Writer w(d);
        for (float v : values) {
            if (!std::isfinite(v))
                continue;
            std::string want = Reference(v, d);
            size_t point = want.find('.');
            want = want.substr(0, std::max<size_t>(10, point == std::string::npos ? want.size() : point));
            std::string got = w.F(v);
            if (want != got && ++mismatches <= 10)
                ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<uint32_t>(v) << std::dec << " decimals " << d
                              << ": reference cut \"" << want << "\", FormatFloat \"" << got << "\"";
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
    // Only decimals are cut: longer integer parts are written whole.
    EXPECT_EQ(six.F(12345678901.0f), "12345678848");
    EXPECT_EQ(six.F(-2e9f), "-2000000000");
    EXPECT_EQ(six.F(-1e9f), "-1000000000");
    EXPECT_EQ(six.F(FLT_MAX), "340282346638528859811704183484516925440");
    // No NaN or infinity reaches the file: the nearest finite value, or 0.
    EXPECT_EQ(six.F(std::numeric_limits<float>::infinity()), six.F(FLT_MAX));
    EXPECT_EQ(six.F(-std::numeric_limits<float>::infinity()), six.F(-FLT_MAX));
    EXPECT_EQ(six.F(std::numeric_limits<float>::quiet_NaN()), "0.000000");
    EXPECT_EQ(six.F(-std::numeric_limits<float>::quiet_NaN()), "0.000000");

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

// Every digit count, and each side of every power of ten, against the library.
TEST(FormatDigits, EightDigitsAtOnceMatchTheLibrary)
{
    for (uint32_t unit = 1; unit <= 10000000; unit *= 10)
        for (uint32_t v : {unit - 1, unit, unit + 1, unit * 9 + unit / 2, unit * 10 - 1}) {
            char want[16], got[16];
            const size_t n = size_t(std::snprintf(want, sizeof(want), "%u", v));
            EXPECT_EQ(std::string(got, PutDigits(got, v)), std::string(want, n));
            const uint64_t eight = EightDigits(v);
            std::snprintf(want, sizeof(want), "%08u", v);
            EXPECT_EQ(std::memcmp(&eight, want, 8), 0) << v;
        }
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
