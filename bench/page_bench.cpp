// A whole page through the library, as a driver prints it: an A4 sheet at
// 1440 x 720 dpi (11,906 x 8,419 device pixels), CMYK in, six inks two-bit
// out by error diffusion, lines in order. Timed from CmNew to HalftoneDelete:
// the colour table, the separation table, every line.
//
// The page is photo-like: smooth gradients across and down the sheet, a
// ripple, grain, and hard-edged patches; 256 distinct lines are built once
// and walked in a cycle whose phase moves down the page, so no two
// neighbouring lines repeat. Reported: "mpx_per_s" over the page's pixels
// and "vs_memcpy", the page's time over that of a memcpy of every line's
// input and output bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "inkdot/inkdot.h"

namespace {

// 210 x 297 mm at 1440 x 720 dpi.
constexpr int32_t kPageWidth = 11906;  // 210 / 25.4 * 1440
constexpr int32_t kPageLines = 8419;   // 297 / 25.4 * 720
constexpr int32_t kDistinctLines = 256;
constexpr int32_t kPlaneStride = (kPageWidth * 2 + 7) / 8;

uint32_t grain(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Line `row` of `kDistinctLines` of a photo-like CMYK page.
std::vector<uint8_t> photoLine(int32_t row, uint32_t& state) {
    std::vector<uint8_t> line(size_t(kPageWidth) * 4);
    const double v = double(row) / kDistinctLines;
    for (int32_t x = 0; x < kPageWidth; ++x) {
        const double u = double(x) / kPageWidth;
        double ink[4] = {
            200.0 * u + 30.0 * std::sin(u * 23.0 + v * 5.0),
            180.0 * (1.0 - u) * v + 40.0 * std::sin(v * 11.0),
            120.0 + 90.0 * std::sin(u * 7.0 - v * 3.0),
            60.0 * u * u,
        };
        // Hard-edged patches: a dark block and a paper-white one.
        if (u > 0.60 && u < 0.72 && v > 0.3 && v < 0.6) ink[3] = 230.0;
        if (u > 0.15 && u < 0.25) ink[0] = ink[1] = ink[2] = ink[3] = 0.0;
        for (int c = 0; c < 4; ++c) {
            const double noisy = ink[c] + double(grain(state) % 9) - 4.0;
            line[size_t(x) * 4 + size_t(c)] = uint8_t(std::clamp(noisy, 0.0, 255.0));
        }
    }
    return line;
}

void BM_Page(benchmark::State& state) {
    std::vector<std::vector<uint8_t>> lines;
    uint32_t seed = 2463534242u;
    for (int32_t row = 0; row < kDistinctLines; ++row) lines.push_back(photoLine(row, seed));

    const bench::SixInkSelection selection;

    HalftoneParams params{};
    params.method = 1;
    params.inkSet = 3;
    params.inputFormat = 4;
    params.xResolution = 1440;
    params.yResolution = 720;
    params.outputBits = 2;
    params.maxPixels = kPageWidth;
    params.version = INKDOT_HALFTONE_VERSION;
    const std::vector<uint8_t> list = bench::le16s({100, 201, 202, 203, 204, 205, -1});
    std::vector<uint8_t> levels = bench::le16s({32});
    for (int i = 0; i < 32; ++i) levels.push_back(uint8_t(255 * i / 31));
    std::vector<uint8_t> matrix = {255, 255, 0, 0};  // 256 x 256
    for (uint32_t r = 0; r < 65536; ++r) {
        const uint32_t scrambled = (r * 40503u) & 0xFFFF;  // a permutation of 0..65535
        matrix.push_back(uint8_t(scrambled));
        matrix.push_back(uint8_t(scrambled >> 8));
    }
    std::vector<uint8_t> planes(size_t(kPlaneStride) * 6);

    for (auto _ : state) {
        CmContext* cm = nullptr;
        HalftoneContext* ht = nullptr;
        int32_t next = 0, tableClass = 0, failedLine = -1;
        int32_t result = selection.run(cm);
        if (result == INKDOT_OK) result = HalftoneNew(&params, CmGetLut(cm), 0, &tableClass, &ht);
        if (result == INKDOT_OK) result = HalftoneSetResource(ht, list.data(), &next);
        // The diffusion sequence asks for the matrix only where it uses one.
        if (result == INKDOT_OK && next != INKDOT_NO_RESOURCE)
            result = HalftoneSetResource(ht, levels.data(), &next);
        if (result == INKDOT_OK && next != INKDOT_NO_RESOURCE)
            result = HalftoneSetResource(ht, matrix.data(), &next);
        for (int32_t y = 0; result == INKDOT_OK && y < kPageLines; ++y) {
            const std::vector<uint8_t>& line =
                lines[size_t((y + y / kDistinctLines) % kDistinctLines)];
            result = Halftone(ht, line.data(), planes.data(), kPlaneStride, 0, kPageWidth, 0, 1, y,
                              0, 0);
            if (result != INKDOT_OK) failedLine = y;
            benchmark::DoNotOptimize(planes.data());
        }
        if (ht) HalftoneDelete(ht);
        if (cm) CmDelete(cm);
        if (result != INKDOT_OK) {
            const std::string what = "the page failed: result " + std::to_string(result) +
                                     ", line " + std::to_string(failedLine);
            state.SkipWithError(what.c_str());
            break;
        }
    }
    const double pages = double(state.iterations());
    state.counters["mpx_per_s"] = benchmark::Counter(double(kPageWidth) * kPageLines * pages / 1e6,
                                                     benchmark::Counter::kIsRate);
    const size_t lineBytes = size_t(kPageWidth) * 4 + planes.size();
    state.counters["vs_memcpy"] =
        benchmark::Counter(bench::memcpyNanos(lineBytes) * 1e-9 * kPageLines * pages,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Page)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
