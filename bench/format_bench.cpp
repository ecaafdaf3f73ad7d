// Numbers formatted per second: the writers' exact path against printf.
#include "writers/NumberFormat.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

std::vector<float> SceneLikeValues()
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> coords(-5000.0f, 5000.0f);
    std::vector<float> v(4096);
    for (float& x : v)
        x = coords(rng);
    return v;
}

void BM_FormatFixed(benchmark::State& state)
{
    auto values = SceneLikeValues();
    char buf[FORMAT_FIXED_MAX];
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatFixed(buf, values[k++ & 4095], 6));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatFixed);

void BM_Snprintf(benchmark::State& state)
{
    auto values = SceneLikeValues();
    char buf[FORMAT_FIXED_MAX];
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buf, sizeof(buf), "%4.6f", double(values[k++ & 4095])));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Snprintf);

} // namespace
