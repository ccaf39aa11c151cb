// What the benchmarks share: little-endian resource words, the memcpy
// yardstick, and the six-ink colour table the separating objects are built on.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"
#include "respack/respack.h"

namespace bench {

// `values` as little-endian 16-bit words, appended to `out`.
inline void putLe16(std::vector<uint8_t>& out, std::initializer_list<int> values) {
    for (int v : values) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
}

inline std::vector<uint8_t> le16s(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    putLe16(out, values);
    return out;
}

// Nanoseconds of one memcpy of `bytes` bytes, the best of several rounds.
inline double memcpyNanos(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        constexpr int kRepeats = 200;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRepeats; ++i) {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        const std::chrono::duration<double, std::nano> spent =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count() / kRepeats);
    }
    return best;
}

// A colour-matching selection of a four-dimensional CMYK to six-ink table
// (cyan, light cyan, magenta, light magenta, yellow, black) through a
// one-line index: the index, the table and the records that choose it.
struct SixInkSelection {
    std::string index;
    std::vector<uint8_t> table;
    CmParams params{};
    CmSelect select{};

    SixInkSelection() {
        respack::IndexOptions options;
        options.keyA = {"Gloss", "Matte", "Photo", "Plain"};
        options.keyB = {"Pro", "Vivid", "Natural"};
        options.keyC = {"Off", "Low", "Mid", "High", "Max"};
        options.lines = {{3100, 120, "Plain", "Vivid", 720, 1440, "Max", 7, 1, ""}};
        index = respack::indexText(options);
        table = respack::colourTable4d({.points = 9, .extraBlock = respack::extraBlockKind1({})});
        params.keyB = 1;
        params.numberC = 7;
        select.pixelLayout = 1;
        select.numberA = 720;
        select.numberB = 1440;
        select.numberD = 1;
    }

    // CmNew and the two resource calls; 0 or the first failing result.
    int32_t run(CmContext*& cm) const {
        int32_t next = 0;
        int32_t result = CmNew(&params, &select, 0, &next, &cm);
        if (result == INKDOT_OK) result = CmSetResource(cm, index.c_str(), &next);
        if (result == INKDOT_OK) result = CmSetResource(cm, table.data(), &next);
        return result;
    }
};

}  // namespace bench
