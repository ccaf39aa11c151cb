// The adjustment stage: the caller's brightness, contrast, saturation,
// channel offsets and gamma, applied by re-sampling the grid at the adjusted
// colour of every node.
#pragma once

#include <cstdint>

struct CmContext;

namespace inkdot {

// About 5000 x ln(n), from a table of prime logarithms; n from 1 to 511.
int32_t scaledLog(int32_t n);

// About 255 x (v / 255)^(ref / 100), within a unit; v 0..255, ref 100..300.
int32_t gammaValue(int32_t v, int32_t ref);

// The adjustment of one run: the saturation in force and one tone table per
// colour channel.
struct CmAdjust {
    int32_t saturation;
    int32_t tone[3][256];
};

// Checks the parameters (INKDOT_BAD_FIRST_RECORD adjustments, INKDOT_BAD_SECOND_RECORD gamma
// reference) and builds the tables.
int32_t buildAdjust(const CmContext& cm, CmAdjust& adjust);

// One colour through the saturation and the tone tables, in place.
void adjustColour(const CmAdjust& adjust, uint8_t colour[3]);

// The whole stage: 0, INKDOT_ALLOC_FAILED / INKDOT_LOCK_FAILED (a block), INKDOT_BAD_FIRST_RECORD,
// INKDOT_BAD_SECOND_RECORD. The old grid stays on failure.
int32_t runAdjustment(CmContext& cm);

}  // namespace inkdot
