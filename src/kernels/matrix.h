// Dither-matrix addressing and the threshold bias a matrix value gives.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "kernels/line_call.h"

namespace inkdot::kernels {

// The dither-matrix row of one raster line. Columns are taken from the
// absolute pixel position, so a line split over several calls meets the same
// matrix values; the width is a power of two and the column is masked.
struct MatrixRow {
    const int32_t* values;
    uint32_t columnMask;

    INKDOT_ALWAYS_INLINE int32_t at(int32_t x) const { return values[uint32_t(x) & columnMask]; }
};

inline MatrixRow matrixRow(const KernelView& view, int32_t lineNumber) {
    const uint32_t row = uint32_t(lineNumber) % uint32_t(view.matrixHeight);
    return {view.matrix + size_t(row) * uint32_t(view.matrixWidth), uint32_t(view.matrixWidth) - 1};
}

// Calls f(u, x) for each pixel x of startX .. endX - 1 with its matrix value
// u. The row is walked in runs that do not wrap around its end, so that a
// pixel takes its value with one load.
template <typename F>
INKDOT_ALWAYS_INLINE void forEachPixel(const MatrixRow& row, int32_t startX, int32_t endX, F&& f) {
    const uint32_t width = row.columnMask + 1;
    for (int32_t x = startX; x < endX;) {
        const uint32_t column = uint32_t(x) & row.columnMask;
        const int32_t runEnd = x + int32_t(std::min(uint32_t(endX - x), width - column));
        for (const int32_t* u = row.values + column; x < runEnd; ++x, ++u) f(*u, x);
    }
}

// The jitter of a threshold, from the low byte of a matrix value: never zero,
// 20 or 24 up for low bytes, 20 or 24 down for high ones.
inline constexpr std::array<int8_t, 256> kThresholdBias = [] {
    std::array<int8_t, 256> bias{};
    for (int m = 0; m < 256; ++m) bias[m] = m < 8 ? 24 : m <= 128 ? 20 : m <= 247 ? -20 : -24;
    return bias;
}();

INKDOT_ALWAYS_INLINE int32_t thresholdBias(int32_t matrixValue) {
    return kThresholdBias[uint32_t(matrixValue) & 0xFF];
}

// All-ones when the matrix value is odd, else 0: selects the odd weights of a
// pattern without a branch.
INKDOT_ALWAYS_INLINE uint32_t parityMask(int32_t matrixValue) {
    return 0u - (uint32_t(matrixValue) & 1u);
}

}  // namespace inkdot::kernels
