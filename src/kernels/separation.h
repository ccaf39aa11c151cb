// The four-channel separation step shared by the kernels that turn CMYK-like
// input into six inks: quantising each channel onto the 32-step grid of the
// separation table with a matrix dither, reading the entry of six ink
// amounts, smoothing the amounts with the previous pixel's, and the
// line-continuity clearing of the error lines of the diffusing members.
#pragma once

#include <cstdint>
#include <cstring>

#include "kernels/diffusion.h"

namespace inkdot::kernels {

// ---------------------------------------------------------------------------
// Quantiser and separation table

// Bytes per separation-table entry: the kernels address the table in six-byte
// steps, one byte per ink.
inline constexpr int32_t kSeparationEntryBytes = 6;
inline constexpr int kInks = 6;

// Right shift that brings a matrix value into a byte: the number of
// significant bits of (matrixSize + 1) / 512, so that matrices of up to 256
// ranks are used as they are and larger ones are scaled down.
inline int32_t ditherShift(int32_t matrixSize) {
    uint32_t v = (uint32_t(matrixSize) + 1u) >> 9;
    int32_t bits = 0;
    for (; v != 0; v >>= 1) ++bits;
    return bits;
}

// The quantiser's dither value of a matrix value: even, 0..254 for values
// below matrixSize.
INKDOT_ALWAYS_INLINE uint32_t quantiserDither(int32_t matrixValue, int32_t shift) {
    return uint32_t(matrixValue >> shift) & 0xFEu;
}

// Grid levels of the four channels of one pixel.
struct GridLevels {
    int32_t k[4];
};

// Six ink amounts, a0..a5 in table order.
struct InkAmounts {
    int32_t a[kInks];
};

// The quantiser (per input value a base level and the step threshold at
// which the next level is taken) and the separation table it indexes.
class Separation {
public:
    explicit Separation(const HalftoneContext& context)
        : quantiser_(blockAs<uint8_t>(context, kQuantiser)),
          table_(blockAs<uint8_t>(context, kSeparationTable)) {}

    // Level of one channel value: the base, or the next level up when the
    // step threshold is at or below the dither value t.
    INKDOT_ALWAYS_INLINE int32_t level(uint32_t c, uint32_t t) const {
        const uint8_t* pair = quantiser_ + 2 * c;
        return int32_t(pair[0]) + int32_t(pair[1] <= t);
    }

    INKDOT_ALWAYS_INLINE GridLevels levels(const uint8_t* c, uint32_t t) const {
        return {{level(c[0], t), level(c[1], t), level(c[2], t), level(c[3], t)}};
    }

    // The six bytes of the entry at grid levels k, as amounts.
    INKDOT_ALWAYS_INLINE InkAmounts amounts(const GridLevels& g) const {
        const uint32_t index =
            (uint32_t(g.k[0]) << 15) + (uint32_t(g.k[1]) << 10) + (uint32_t(g.k[2]) << 5) +
            uint32_t(g.k[3]);
        const uint8_t* e = table_ + size_t(index) * kSeparationEntryBytes;
        return {{e[0], e[1], e[2], e[3], e[4], e[5]}};
    }

private:
    const uint8_t* quantiser_;
    const uint8_t* table_;
};

// ---------------------------------------------------------------------------
// Smoothing with the previous pixel

// What a kernel remembers of the previous pixel: its grid levels (-2 at the
// start of a call, so that the first pixel is never taken as a neighbour) and
// its amounts.
struct PreviousPixel {
    GridLevels levels{{-2, -2, -2, -2}};
    InkAmounts amounts{};

    // Whether every channel lies within one grid step of the previous pixel's.
    INKDOT_ALWAYS_INLINE bool near(const GridLevels& g) const {
        bool within = true;
        for (int i = 0; i < 4; ++i) within &= uint32_t(g.k[i] - levels.k[i] + 1) <= 2u;
        return within;
    }
};

// The one-bit smoothing: next to a neighbouring pixel each amount becomes the
// mean of its own and the previous final amount, rounded up for an even
// matrix value and down for an odd one. Ink 4 is averaged only while its
// previous amount is below `inkFourLimit` (pass 256 to average all six).
// Remembers the levels and the final amounts.
INKDOT_ALWAYS_INLINE void smoothMean(InkAmounts& a, const GridLevels& g, PreviousPixel& previous,
                                     uint32_t oddMask, int32_t inkFourLimit) {
    if (previous.near(g)) {
        const int32_t roundUp = int32_t(~oddMask & 1u);
        for (int j = 0; j < kInks; ++j) {
            if (j == 4 && previous.amounts.a[4] >= inkFourLimit) continue;
            a.a[j] = (a.a[j] + previous.amounts.a[j] + roundUp) >> 1;
        }
    }
    previous.levels = g;
    previous.amounts = a;
}

// The two-bit smoothing: next to a neighbouring pixel each amount is the sum
// of its own and the previous pixel's table byte, otherwise twice its own, so
// that amounts run 0..510 either way. Remembers the levels and the bytes.
INKDOT_ALWAYS_INLINE InkAmounts smoothSum(const InkAmounts& b, const GridLevels& g,
                                          PreviousPixel& previous) {
    InkAmounts sum;
    if (previous.near(g)) {
        for (int j = 0; j < kInks; ++j) sum.a[j] = b.a[j] + previous.amounts.a[j];
    } else {
        for (int j = 0; j < kInks; ++j) sum.a[j] = 2 * b.a[j];
    }
    previous.levels = g;
    previous.amounts = b;
    return sum;
}

// ---------------------------------------------------------------------------
// Tables indexed by sums of amounts or record fields

// A table read at an index that amounts or records compose: an index the
// table does not hold is clamped to its first or last entry rather than read
// outside it.
template <typename T, int32_t Size>
struct ClampedTable {
    const T* values;

    INKDOT_ALWAYS_INLINE int32_t operator[](int32_t index) const {
        const int32_t i = index < 0 ? 0 : index > Size - 1 ? Size - 1 : index;
        return values[i];
    }
};

// levelThresholds of a diffusion object (256 entries) and errorThresholds.
using LevelThresholdTable = ClampedTable<int32_t, 256>;
using ErrorThresholdTable = ClampedTable<int16_t, 512>;

// 32-bit sums that wrap as the hardware would rather than overflow.
INKDOT_ALWAYS_INLINE int32_t wrappingAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
INKDOT_ALWAYS_INLINE int32_t wrappingSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The collected error of the separating kernels: the entry divided by 32,
// rounding toward zero.
INKDOT_ALWAYS_INLINE int32_t collectedErrorTowardZero(const uint16_t* own) {
    int32_t a = signedEntry(own);
    if (a < 0) a += 31;
    return a >> 5;
}

// ---------------------------------------------------------------------------
// Line continuity

// Error that the separating kernels leave on their lines is cleared where the
// next call does not continue the line it came from: after a jump of more
// than one line everything; at certain line numbers the stretch in front of
// the new start or behind the previous end; on the same line continued
// further right the gap between the previous end and the new start (only its
// two ends, except on every sixteenth line). Stores lastLine and lastEnd for
// the next call. Guard entries are never touched.
template <int Lines>
void continueLines(HalftoneContext& context, int16_t* const (&lines)[Lines], int32_t lineNumber,
                   int32_t startX, int32_t pixelCount) {
    const uint32_t maxPixels = uint32_t(context.params.maxPixels < 0 ? 0 : context.params.maxPixels);
    const uint32_t previousLine = uint32_t(context.lastLine);
    uint32_t previousEnd = uint32_t(context.lastEnd);
    if (previousEnd == maxPixels) previousEnd = 0;
    context.lastLine = lineNumber;
    context.lastEnd = wrappingAdd(startX, pixelCount);

    auto clear = [&](uint32_t first, uint32_t end) {
        if (end > maxPixels) end = maxPixels;
        if (first >= end) return;
        for (int16_t* line : lines)
            std::memset(errorEntry(line, int32_t(first)), 0, size_t(end - first) * 2);
    };

    const uint32_t line = uint32_t(lineNumber);
    const uint32_t start = uint32_t(startX);
    const bool nextLine = line == previousLine + 1u;
    if (line > previousLine + 1u) {
        clear(0, maxPixels);
    } else if (nextLine && (line & 15u) == 15u && start != 0) {
        clear(0, start);
    } else if (line == previousLine && previousEnd < start) {
        if ((line & 15u) == 15u) {
            clear(previousEnd, start);
        } else {
            clear(previousEnd, previousEnd + 1u);
            clear(start - 1u, start);
        }
    } else if (nextLine && (line & 15u) == 0 && previousEnd != 0) {
        clear(previousEnd, maxPixels);
    }
}

} // namespace inkdot::kernels
