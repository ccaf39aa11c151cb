// The resource-pack generator: how fast the slow resources are made, in
// megapixels (matrix cells or grid nodes) per second, next to a memcpy of
// the bytes they come to.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "respack/respack.h"

namespace {

void setRate(benchmark::State& state, double pixels) {
    state.counters["mpx_per_s"] = benchmark::Counter(
        pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// Void-and-cluster on an n x n torus. Each size is made once per process,
// so this is one timed run.
void BM_BlueNoise(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(respack::blueNoise(n));
    setRate(state, double(n) * n);
}
BENCHMARK(BM_BlueNoise)->Arg(256)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ColourTable4d(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(respack::colourTable4d({.points = n}));
    setRate(state, double(n) * n * n * n);
}
BENCHMARK(BM_ColourTable4d)->Arg(9)->Arg(17)->Unit(benchmark::kMillisecond);

void BM_MemcpyTable4d(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const size_t bytes = size_t(n) * n * n * n * 6;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    setRate(state, double(n) * n * n * n);
}
BENCHMARK(BM_MemcpyTable4d)->Arg(9)->Arg(17);

}  // namespace
