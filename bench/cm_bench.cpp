// The colour-matching sequence, whole: CmNew, the index, the colour table
// (decode, re-map through the table's tweaks, the adjustment stage with
// every adjustment in use, the single-channel table) and CmDelete. The grid
// nodes are the "pixels"; a memcpy of the grid's bytes is the yardstick.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"
#include "respack/respack.h"

namespace {

constexpr int32_t kTableResource = 2017;

std::string oneLineIndex() {
    respack::IndexOptions options;
    options.keyA = {"Graphics", "Text", "Line", "Photo"};
    options.keyB = {"Plain", "Matte", "Glossy"};
    options.keyC = {"Off", "Low", "Mid", "High", "Colour"};
    options.lines.push_back(
        {kTableResource, 120, "Photo", "Glossy", 720, 1440, "Colour", 4, 1, ""});
    return respack::indexText(options);
}

void setRate(benchmark::State& state, int64_t nodes) {
    state.counters["mpx_per_s"] = benchmark::Counter(
        static_cast<double>(nodes) * static_cast<double>(state.iterations()) * 1e-6,
        benchmark::Counter::kIsRate);
}

void BM_ColourMatchingSequence(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const std::string index = oneLineIndex();
    const respack::Bytes table = respack::colourTable3d({.points = points, .type = 50});

    CmParams params{};
    params.brightness = 10;
    params.contrast = 15;
    params.saturation = 20;
    params.offset1 = -5;
    params.keyB = 2;
    params.numberC = 4;
    int32_t gamma = 180;
    struct {
        int32_t count;
        CmTagPair pairs[1];
    } tags{1, {{INKDOT_TAG_GAMMA_REF, &gamma}}};
    params.tags = reinterpret_cast<const CmTagList*>(&tags);
    CmSelect select{};
    select.pixelLayout = 1;  // keyA 0: the default 3, with the colour re-mapping
    select.numberA = 720;
    select.numberB = 1440;
    select.numberD = 1;

    for (auto _ : state) {
        CmContext* cm = nullptr;
        int32_t next = 0;
        if (CmNew(&params, &select, 0, &next, &cm) != INKDOT_OK ||
            CmSetResource(cm, index.c_str(), &next) != INKDOT_OK ||
            CmSetResource(cm, table.data(), &next) != INKDOT_OK || next != INKDOT_NO_RESOURCE) {
            state.SkipWithError("the colour-matching sequence failed");
            break;
        }
        benchmark::DoNotOptimize(CmGetLut(cm)->grid);
        CmDelete(cm);
    }
    setRate(state, static_cast<int64_t>(points) * points * points);
}
BENCHMARK(BM_ColourMatchingSequence)->Arg(17)->Arg(33)->Unit(benchmark::kMillisecond);

void BM_ColourGridMemcpy(benchmark::State& state) {
    const int64_t nodes = state.range(0) * state.range(0) * state.range(0);
    std::vector<uint8_t> from(static_cast<size_t>(nodes) * 4, 0x5A), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    setRate(state, nodes);
}
BENCHMARK(BM_ColourGridMemcpy)->Arg(17)->Arg(33);

}  // namespace
