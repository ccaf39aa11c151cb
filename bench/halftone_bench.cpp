// The halftone resource sequence and the line frame.
//
// The separated sequence re-samples the colour grid into the 32^4-entry
// separation table once per page; it is measured whole (HalftoneNew to
// HalftoneDelete), with entries of the table as the "pixels" and a memcpy of
// the table's bytes as the yardstick. The expansion of repeated input pixels
// runs on every line and is measured against a memcpy of the bytes it writes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_support.h"
#include "frame/workers.h"
#include "halftone/call_frame.h"
#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"

namespace {

constexpr int64_t kTableEntries = 32 * 32 * 32 * 32;
constexpr int64_t kTableBytes = kTableEntries * 6;

std::vector<uint8_t> evenLevels(int points) {
    std::vector<uint8_t> list;
    for (int i = 0; i < points; ++i) list.push_back(static_cast<uint8_t>(255 * i / (points - 1)));
    return list;
}

// A CMYK to six-ink grid of `points` levels per axis with smooth, distinct
// channels, as a four-dimensional colour table gives it.
struct SeparationGrid {
    CmLut lut{};
    std::vector<uint8_t> grid;

    explicit SeparationGrid(int points) {
        const std::vector<uint8_t> list = evenLevels(points);
        std::copy(list.begin(), list.end(), lut.list0);
        std::copy(list.begin(), list.end(), lut.list1);
        std::copy(list.begin(), list.end(), lut.list2);
        for (int a = 0; a < 4; ++a) lut.points[a] = points;
        lut.channels = 6;
        lut.percentAt0 = lut.percentAt255 = 100;
        const int top = points - 1;
        for (int c = 0; c < points; ++c)
            for (int m = 0; m < points; ++m)
                for (int y = 0; y < points; ++y)
                    for (int k = 0; k < points; ++k) {
                        const int ink[6] = {c * 255 / top, c * c * 255 / (top * top),
                                            m * 255 / top, m * m * 255 / (top * top),
                                            y * 255 / top, (k + c + m) * 85 / top};
                        grid.insert(grid.end(), ink, ink + 6);
                    }
        lut.grid = grid.data();
        lut.gridHandle = grid.data();
    }
};

void reportPixels(benchmark::State& state, int64_t pixels) {
    state.counters["mpx_per_s"] = benchmark::Counter(
        double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// The whole sequence of a one-bit separated diffusion object at 1440 x 720.
void BM_SeparatedSequence(benchmark::State& state) {
    SeparationGrid source(static_cast<int>(state.range(0)));
    HalftoneParams params{};
    params.method = 1;
    params.inkSet = 3;
    params.inputFormat = 4;
    params.xResolution = 1440;
    params.yResolution = 720;
    params.outputBits = 1;
    params.maxPixels = 5760;
    params.version = INKDOT_HALFTONE_VERSION;
    const std::vector<uint8_t> list = bench::le16s({100, 201, 202, 203, 204, 205, -1});
    std::vector<uint8_t> levels = bench::le16s({32});
    const std::vector<uint8_t> even = evenLevels(32);
    levels.insert(levels.end(), even.begin(), even.end());
    std::vector<uint8_t> matrix = {0, 0, 0, 0};  // 256 x 256
    for (uint32_t v = 0; v < 65536; ++v) {
        const uint32_t scrambled = (v * 40503u) & 0xFFFF;  // a permutation of 0..65535
        matrix.push_back(static_cast<uint8_t>(scrambled));
        matrix.push_back(static_cast<uint8_t>(scrambled >> 8));
    }
    matrix[0] = matrix[1] = 255;

    for (auto _ : state) {
        int32_t tableClass = 0, next = 0;
        HalftoneContext* context = nullptr;
        int32_t result = HalftoneNew(&params, &source.lut, 0, &tableClass, &context);
        result |= HalftoneSetResource(context, list.data(), &next);
        result |= HalftoneSetResource(context, levels.data(), &next);
        result |= HalftoneSetResource(context, matrix.data(), &next);
        result |= HalftoneDelete(context);
        if (result != INKDOT_OK || next != INKDOT_NO_RESOURCE)
            state.SkipWithError("sequence failed");
        benchmark::DoNotOptimize(next);
    }
    reportPixels(state, kTableEntries);
}
BENCHMARK(BM_SeparatedSequence)->Arg(9)->Arg(17)->Unit(benchmark::kMillisecond);

void BM_SeparationTableMemcpy(benchmark::State& state) {
    std::vector<uint8_t> from(kTableBytes, 7), to(kTableBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
    reportPixels(state, kTableEntries);
}
BENCHMARK(BM_SeparationTableMemcpy)->Unit(benchmark::kMillisecond);

// Expansion of a full 2880-dpi line of four-byte pixels repeated 3 times.
void BM_ExpandLine(benchmark::State& state) {
    constexpr int32_t kPixels = 11520;
    HalftoneContext context{};
    context.params.inputFormat = 4;
    context.params.maxPixels = kPixels;
    context.replication = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> expanded(size_t(kPixels) * 4);
    context.blocks[inkdot::kExpandedLine].address = expanded.data();
    std::vector<uint8_t> src(size_t(kPixels) * 4, 9);
    for (auto _ : state) {
        inkdot::expandLine(context, src.data(), kPixels);
        benchmark::ClobberMemory();
    }
    reportPixels(state, kPixels);
}
BENCHMARK(BM_ExpandLine)->Arg(2)->Arg(3);

void BM_ExpandLineMemcpy(benchmark::State& state) {
    constexpr int32_t kPixels = 11520;
    std::vector<uint8_t> from(size_t(kPixels) * 4, 9), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
    reportPixels(state, kPixels);
}
BENCHMARK(BM_ExpandLineMemcpy);

}  // namespace
