// A replacement grid data block that takes the CmLut's place once it is
// filled: the re-mapping and the adjustment stage both re-sample the whole
// grid into one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cm/interpolation.h"
#include "inkdot/inkdot.h"
#include "platform/global_memory.h"

namespace inkdot {

struct GridBlock {
    platform::Handle handle = nullptr;
    uint8_t* data = nullptr;
};

// Bytes of the grid data: N0 x N1 x N2 x N3 nodes of c bytes.
uint32_t gridBytes(const CmLut& lut);

// A zero-filled block of the grid's size: 0, INKDOT_ALLOC_FAILED or INKDOT_LOCK_FAILED (nothing
// left).
int32_t allocateGrid(const CmLut& lut, GridBlock& block);

// Releases a block that will not be used after all.
void discardGrid(GridBlock& block);

// Releases the old grid and puts `block` in its place: 0, or INKDOT_UNLOCK_FAILED /
// INKDOT_FREE_FAILED when the old block could not be unlocked / freed (the replacement is in place
// either way).
int32_t replaceGrid(CmLut& lut, GridBlock& block);

// Re-samples the grid of `lut` into `out`, one (i, j) row of N2 nodes at a
// time: `colour(i, j, k, rgb)` sets the input colour at which node (i, j, k)
// looks the old grid up, and `afterRow(i, j, row)` may then amend the row.
template <typename Colour, typename AfterRow>
void resampleRows(const CmLut& lut, uint8_t* out, Colour&& colour, AfterRow&& afterRow) {
    const int32_t n0 = lut.points[0], n1 = lut.points[1], n2 = lut.points[2];
    const size_t rowBytes = static_cast<size_t>(n2) * lut.channels;
    uint8_t pixels[72 * 4] = {};  // work pixels: colour channels at bytes 1..3
    AxisCells cells;
    prepareAxisCells(lut, cells);
    for (int32_t i = 0; i < n0; ++i) {
        for (int32_t j = 0; j < n1; ++j, out += rowBytes) {
            for (int32_t k = 0; k < n2; ++k) colour(i, j, k, pixels + 4 * k + 1);
            interpolate3(lut, cells, lut.grid, n2, pixels, out);
            afterRow(i, j, out);
        }
    }
}

}  // namespace inkdot
