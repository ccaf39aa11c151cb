// The gain correction of a colour table: value v scaled by 100 over the
// table's ink percentage at v, which runs from percentAt0 (A) at v = 0 to
// percentAt255 (B) at v = 255 along a parabola.
//
//   d = 255 B + ((255 - v)^2 (A - B) + 1) / 255,  q = d / 100,
//   result = (255 v + q / 2) / q
//
// Signed arithmetic truncating towards zero, computed in 64 bits: the
// squared term times (A - B) does not fit 32 bits for every pair of 16-bit
// percentages.
#pragma once

#include <cstdint>

namespace inkdot {

// q of the formula above.
constexpr int64_t gainDivisor(int32_t v, int32_t percentAt0, int32_t percentAt255) {
    int64_t square = static_cast<int64_t>(255 - v) * (255 - v);
    int64_t d = 255 * static_cast<int64_t>(percentAt255) +
                (square * (static_cast<int64_t>(percentAt0) - percentAt255) + 1) / 255;
    return d / 100;
}

// The corrected value, which may lie above 255. A divisor of 0 (percentages
// below 1) counts as an unbounded correction and gives the largest byte value,
// 255; tables that would need it are rejected where they are decoded.
constexpr int32_t gainCorrection(int32_t v, int32_t percentAt0, int32_t percentAt255) {
    int64_t q = gainDivisor(v, percentAt0, percentAt255);
    if (q == 0) return 255;
    return static_cast<int32_t>((255 * static_cast<int64_t>(v) + q / 2) / q);
}

// The corrected value as it is stored in a byte: values above 255 become 255
// (keeping the low 8 bits would turn the darkest values into no ink), values
// below 0 become 0.
constexpr uint8_t gainCorrectionByte(int32_t v, int32_t percentAt0, int32_t percentAt255) {
    int32_t g = gainCorrection(v, percentAt0, percentAt255);
    return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
}

// Whether the divisor is non-zero for every value 0..255.
constexpr bool gainCorrectionDefined(int32_t percentAt0, int32_t percentAt255) {
    for (int32_t v = 0; v < 256; ++v)
        if (gainDivisor(v, percentAt0, percentAt255) == 0) return false;
    return true;
}

}  // namespace inkdot
