// Integer tetrahedral interpolation over the grid of a CmLut.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

// Three-dimensional: `count` work pixels of 4 bytes (colour channels 0..2 at
// bytes 1..3) through `grid` laid out as `lut` describes; c bytes out a pixel.
void interpolate3(const CmLut& lut, const uint8_t* grid, int32_t count, const uint8_t* workPixels,
                  uint8_t* out);

// Four-dimensional, one point, through lut.grid (axes 2 and 3 share list2);
// c bytes out.
void interpolate4(const CmLut& lut, uint8_t x0, uint8_t x1, uint8_t x2, uint8_t x3, uint8_t* out);

// The cell of every input value on axes 0, 1 and 2 (axis 3 shares axis 2's),
// worked out once per grid so that a walk over many points does no search.
struct AxisCells {
    uint8_t index[3][256];
};
void prepareAxisCells(const CmLut& lut, AxisCells& cells);

// The same interpolations with the cells prepared.
void interpolate3(const CmLut& lut, const AxisCells& cells, const uint8_t* grid, int32_t count,
                  const uint8_t* workPixels, uint8_t* out);
void interpolate4(const CmLut& lut, const AxisCells& cells, uint8_t x0, uint8_t x1, uint8_t x2,
                  uint8_t x3, uint8_t* out);

// Channels a colour-table grid may hold: what the decoder accepts, the
// interpolation walks and the separation table is re-sampled from.
inline constexpr int32_t kMaxGridChannels = 20;

// Whether `points` levels (at least two) rise strictly from 0 to 255: the
// rule of every axis list and level list, so that each cell or quantiser
// step has a width to divide by and the ends are found.
inline bool risesFrom0To255(const uint8_t* list, int32_t points) {
    if (points < 2 || list[0] != 0 || list[points - 1] != 255) return false;
    for (int32_t i = 1; i < points; ++i)
        if (list[i] <= list[i - 1]) return false;
    return true;
}

// Whether the lists, sizes and channel count of `lut` are ones the
// interpolation can walk safely: 2..36 points on axes 0 and 1, 2..72 on axis
// 2 (and 3 for a four-dimensional grid), 1..20 channels, every list running
// from 0 to 255 strictly increasing, and a grid block present. The decoder
// only ever leaves such records; a CmLut from elsewhere should be checked.
bool interpolationReady(const CmLut& lut, bool fourDimensional);

}  // namespace inkdot
