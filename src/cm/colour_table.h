// The colour-table resource: its decoding into the CmLut and the grid data,
// and the class correction that phase 2 applies to the finished grid.
#pragma once

#include <cstddef>
#include <cstdint>

struct CmContext;

namespace inkdot {

// tableType of a four-dimensional table.
inline constexpr int16_t kFourDimensionalType = 128;

// Decodes the colour table `bytes` (at most `length` of them) into cm.lut:
// the record's fields and lists, the grid data block, the extra block copy,
// the object's node-curve block, table adjustments and grey-share table; and
// rewrites the grey nodes. A table whose sizes, lists or percentages the
// library cannot use safely is rejected with INKDOT_SEQUENCE_ENDED before anything is
// allocated. INKDOT_ALLOC_FAILED / INKDOT_LOCK_FAILED when a block cannot be allocated / locked;
// blocks already recorded stay for CmDelete.
int32_t decodeColourTable(CmContext& cm, const uint8_t* bytes, size_t length);

// Whether phase 2 applies the class correction to this object's grid.
bool classCorrectionRuns(const CmContext& cm);

// Every byte of the first N0 x N1 x N2 x c bytes of the grid through the gain
// correction.
void applyClassCorrection(CmContext& cm);

// The inverse of the gain correction for the grey axis of a four-dimensional
// table, in double precision.
void inverseGainTable(int32_t percentAt0, int32_t percentAt255, uint8_t inverse[256]);

}  // namespace inkdot
