// Bending the finished grid through one 256-entry table per output channel,
// shared by the curve sets and the curve stage.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

// Every byte v of output channel l of every grid node (N0 x N1 x N2 x N3
// nodes of c bytes) becomes channelTables[l * 256 + v]. The tables hold
// c x 256 bytes.
void bendGrid(CmLut& lut, const uint8_t* channelTables);

}  // namespace inkdot
