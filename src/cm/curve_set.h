// Curve sets: one 256-entry curve per output channel of a four- or
// six-channel grid, given ready (tag 528) or chosen from a text table of
// curve sets with binary curve blocks (tag 544).
#pragma once

#include <cstddef>
#include <cstdint>

#include "inkdot/inkdot.h"

struct CmContext;

namespace inkdot {

// CmCurveSet: a type byte (2: four channels, 3: six), a byte that is not
// read, then curve k at 2 + 256 x k.
inline constexpr uint8_t kCurveSetFourChannels = 2;
inline constexpr uint8_t kCurveSetSixChannels = 3;
inline constexpr uint32_t kCurveSetBytes = 2 + 6 * 256;

inline const uint8_t* curveOf(const uint8_t* set, int32_t k) {
    return set + 2 + 256 * k;
}

// The tag-544 table is parsed into a scratch block of this size, which holds
// at most this many entry lines and names.
inline constexpr uint32_t kCurveSetScratchBytes = 8000;
inline constexpr int32_t kMaxCurveSetLines = 100;
inline constexpr int32_t kMaxCurveSetNames = 64;

// The gain correction of the table's percentages as a table (entries above
// 255 kept as 255) and its piecewise-linear inverse.
struct GainTables {
    uint8_t gain[256];
    uint8_t inverse[256];
};
void buildGainTables(int32_t percentAt0, int32_t percentAt255, GainTables& tables);

// Bends the grid through the set's curves, and the single-channel table
// through curve 0. Four-channel sets work in the gain-corrected domain.
// INKDOT_UNSUPPORTED when the set's type does not fit the grid's channel count.
int32_t applyCurveSet(const uint8_t* set, CmLut& lut);

// Which block of a tag-544 item the object's keys choose, and where the
// item's binary blocks begin. `item` is the whole item, `text` its text part.
// INKDOT_SEQUENCE_ENDED when the table holds more lines or names than the scratch block
// does, or lacks the marker in front of its binary blocks.
struct CurveBlockChoice {
    int32_t block;
    const uint8_t* binary;
};
int32_t chooseCurveBlock(const CmContext& cm, const uint8_t* item, const uint8_t* text,
                         void* scratch, CurveBlockChoice* choice);

// Phase 2, step 6. *present is false when the caller gave neither a curve
// set nor a table of them; otherwise the step ran and this is its result.
int32_t runCurveSets(CmContext& cm, bool* present);

}  // namespace inkdot
