// The colour re-mapping of a table's grid through its colour tweaks, and the
// single-channel table of the grey axis.
#pragma once

#include <cstdint>

struct CmContext;

namespace inkdot {

// One input colour (channels 0..2) through the table's tweaks: grey share
// (type 51), dominant reduction (U0..U2), low-gap reduction (V0..V2) and hue
// shift (S0..S2), worked on the complements 255 - channel.
void tweakColour(const CmContext& cm, int32_t colour[3]);

// Re-samples the whole grid at the tweaked colours of its nodes into a fresh
// grid block (colorMode 2). 0, INKDOT_ALLOC_FAILED or INKDOT_LOCK_FAILED (the old grid stays then).
int32_t remapColours(CmContext& cm);

// The 256 entries of lut.singleChannelTable from the grey axis of the grid.
void buildSingleChannelTable(CmContext& cm);

}  // namespace inkdot
