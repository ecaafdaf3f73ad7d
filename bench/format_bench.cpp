// Numbers formatted per second: the writers' exact path against printf.
//
// The argument is the number of decimals. "Scene" values are coordinates of a few
// thousand units, as vertex lines hold; "Bits" values are random bit patterns,
// mostly huge or tiny numbers with long texts.
#include "writers/DummyWriter.h"
#include "writers/NumberFormat.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr size_t COUNT = 4096;

std::vector<float> SceneValues()
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> coords(-5000.0f, 5000.0f);
    std::vector<float> v(COUNT);
    for (float& x : v)
        x = coords(rng);
    return v;
}

std::vector<float> BitValues()
{
    std::mt19937 rng(43);
    std::vector<float> v(COUNT);
    for (float& x : v)
        x = std::bit_cast<float>(uint32_t(rng()));
    return v;
}

// The writers' number, the way a printf-based writer forms it: the "%4.<n>f" text,
// cut to ten characters, commas turned into points.
CStr PrintfFloat(const char* numberFormat, float value)
{
    char buf[128];
    std::snprintf(buf, sizeof(buf), numberFormat, double(value));
    buf[10] = '\0';
    for (char* p = buf; *p; p++)
        if (*p == ',')
            *p = '.';
    return CStr(buf);
}

class Writer : public DummyWriter {
public:
    explicit Writer(int places) : DummyWriter(nullptr, nullptr, 0) { SetDecimals(places); }
    const char* Format() const { return numberFormat; }
};

void FormatFloatWay(benchmark::State& state, const std::vector<float>& values)
{
    Writer writer(int(state.range(0)));
    size_t k = 0;
    for (auto _ : state) {
        CStr s = writer.FormatFloat(values[k++ % COUNT]);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void PrintfWay(benchmark::State& state, const std::vector<float>& values)
{
    Writer writer(int(state.range(0)));
    size_t k = 0;
    for (auto _ : state) {
        CStr s = PrintfFloat(writer.Format(), values[k++ % COUNT]);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FormatFloat_Scene(benchmark::State& state) { FormatFloatWay(state, SceneValues()); }
void BM_Printf_Scene(benchmark::State& state) { PrintfWay(state, SceneValues()); }
void BM_FormatFloat_Bits(benchmark::State& state) { FormatFloatWay(state, BitValues()); }
void BM_Printf_Bits(benchmark::State& state) { PrintfWay(state, BitValues()); }
BENCHMARK(BM_FormatFloat_Scene)->Arg(0)->Arg(6)->Arg(10);
BENCHMARK(BM_Printf_Scene)->Arg(0)->Arg(6)->Arg(10);
BENCHMARK(BM_FormatFloat_Bits)->Arg(6);
BENCHMARK(BM_Printf_Bits)->Arg(6);

// The formatter alone, without the writer's owned string.
void BM_FormatFixed(benchmark::State& state)
{
    auto values = SceneValues();
    const int decimals = int(state.range(0));
    char buf[FORMAT_FIXED_MAX];
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatFixed(buf, values[k++ % COUNT], decimals));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatFixed)->Arg(6);

void BM_Snprintf(benchmark::State& state)
{
    auto values = SceneValues();
    const int decimals = int(state.range(0));
    char buf[128];
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buf, sizeof(buf), "%4.*f", decimals, double(values[k++ % COUNT])));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Snprintf)->Arg(6);

} // namespace
