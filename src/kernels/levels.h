// The two-bit single-ink decision: dot codes, the per-call level tables and
// the three-way slot choice.
#pragma once

#include <algorithm>
#include <cstdint>

#include "kernels/line_call.h"

namespace inkdot::kernels {

// Two-bit dot codes as whole bytes; the packer takes the slot's two bits.
inline constexpr uint32_t kCodeNone = 0x00, kCodeSmall = 0x55, kCodeMedium = 0xAA,
                          kCodeLarge = 0xFF;

// How a non-negative collected error of the two-bit single-ink kernels
// rounds: up by 10 above an input of 250, else down.
INKDOT_ALWAYS_INLINE int32_t roundUpFor(uint32_t input) {
    return input > 250 ? 10 : 0;
}

// The collected error of the two-bit single-ink kernels: the entry divided
// by 32 rounding toward zero when negative; a non-negative entry after adding
// `up` (roundUpFor its input). A negative entry adds 31, which holds every bit
// of 10, so the two roundings combine with an OR.
INKDOT_ALWAYS_INLINE int32_t collectedError(int32_t entry, int32_t up) {
    return (entry + (((entry >> 31) & 31) | up)) >> 5;
}

// What a two-bit single-ink pixel reads for the density index d found at one
// position of the density map: the large- and medium-dot thresholds and the
// level total of d's record, d itself (it picks the pattern) and d's small-dot
// threshold; and roundUpFor the position taken as an input value.
struct LevelInfo {
    int32_t large;
    int32_t medium;
    int16_t levelTotal;
    int16_t density;
    int16_t smallThreshold;
    int16_t roundUp;
};

// The two-bit single-ink kernels build these on the stack once per call, so
// that a pixel looks up one position rather than following the density map
// to a record and the record to its thresholds: LevelInfo by density-map
// position, and the position the noisy index of each input value v and each
// value k of the matrix value's low three bits clamps to (at v * 8 + k).
struct LevelTables {
    LevelInfo info[256];
    uint8_t noisyPosition[256 * 8];
};

// The noise on the density index is (u AND 3) - 2, or with `WideNoise`
// (u AND 7) - 4 above an input of 160. The library's density maps, records
// and thresholds keep every index within its table; the masks only keep
// hand-made tables from reading outside their blocks.
template <bool WideNoise>
void fillLevelTables(const KernelView& view, LevelTables& t) {
    const int16_t* densityMap = view.densityMap;
    const LevelRecord* records = view.levelRecords;
    const int32_t* levelThresholds = view.levelThresholds;
    const int16_t* errorThresholds = view.errorThresholds;
    for (uint32_t j = 0; j < 256; ++j) {
        const int16_t d = densityMap[j];
        const LevelRecord& r = records[uint32_t(d) & 511];
        t.info[j].large = levelThresholds[uint32_t(r.thresholdBase) & 255];
        t.info[j].medium = levelThresholds[uint32_t(r.thresholdBase + r.mediumSpan) & 255];
        t.info[j].levelTotal = r.levelTotal;
        t.info[j].density = d;
        t.info[j].smallThreshold = errorThresholds[uint32_t(d) & 511];
        t.info[j].roundUp = int16_t(roundUpFor(j));
    }
    for (int32_t v = 0; v < 256; ++v) {
        const bool wide = WideNoise && v > 160;
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t index = v + (wide ? k - 4 : (k & 3) - 2);
            t.noisyPosition[v * 8 + k] = uint8_t(std::min(std::max(index, 0), 255));
        }
    }
}

// The two-bit slot value (0 none, 1 small, 2 medium, 3 large) for each
// combination of the three tests (large, medium, small as bits 2, 1, 0): the
// first test that holds decides.
inline constexpr uint8_t kThreeWaySlots[8] = {0, 1, 2, 2, 3, 3, 3, 3};

// Large and medium dots by ordered dither against the thresholds of the
// noisy index, the small dot by the error term reaching `smallThreshold`. All
// three tests are made and the slot is looked up rather than branched to: the
// matrix values make the outcome unpredictable from pixel to pixel.
INKDOT_ALWAYS_INLINE uint32_t threeWaySlot(const LevelInfo& noisy, int32_t u, int32_t error,
                                           int32_t smallThreshold) {
    const uint32_t large = noisy.large > u;
    const uint32_t medium = noisy.medium > u;
    const uint32_t small = error >= smallThreshold;
    return kThreeWaySlots[(large << 2) | (medium << 1) | small];
}

}  // namespace inkdot::kernels
