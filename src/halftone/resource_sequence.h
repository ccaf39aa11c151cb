// The steps of the halftone resource sequence, and the pieces of them that
// the separation path of the byte-output mode builds its own sequence from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "halftone/halftone_context.h"
#include "halftone/resource_format.h"
#include "inkdot/inkdot.h"

namespace inkdot {

inline constexpr int kListPositions = 15;  // resource numbers a list may hold
inline constexpr int kGridLevels = 32;     // levels per axis of the separation table

// Allocates and locks a block of the object's table. A size beyond what a
// block can describe (above INT32_MAX bytes) cannot be allocated: INKDOT_ALLOC_FAILED.
int32_t allocateTable(HalftoneContext& context, BlockIndex index, int64_t bytes, bool zeroFill);

// Ends the sequence with a failure: releases every block of the table (and
// forgets the views into them), marks
// the object failed so that later resource calls change nothing, and returns
// `result`.
int32_t failSequence(HalftoneContext& context, int32_t result);

// Length of one error line in bytes: room for maxPixels entries of two bytes
// plus the guard entries on both sides, a multiple of four.
int64_t errorLineBytes(int32_t maxPixels);

// The 32 levels of a grid-level resource: 0, INKDOT_BAD_SECOND_RECORD when the level count is not
// 32 or the levels do not rise strictly from 0 to 255, INKDOT_SEQUENCE_ENDED when the
// resource is missing or too short.
int32_t readGridLevels(ByteView data, uint8_t levels[kGridLevels]);

// The part of the grid-level step that both separation tables share. Checks the
// colour-matching grid the object's lut refers to (INKDOT_BAD_FIRST_RECORD without a grid,
// INKDOT_BAD_SECOND_RECORD when the interpolation cannot walk it or its channel count lies outside
// minChannels..maxChannels), keeps a copy of the lut as `source`, sets the
// lut's axes 0..2 to the 32 levels of the grid-level resource (0 and 255 for
// method 0), allocates the table with `entryBytes` per entry and points the
// lut's grid at it. A failure has released all blocks.
int32_t prepareSeparationTable(HalftoneContext& context, ByteView data, int32_t minChannels,
                               int32_t maxChannels, size_t entryBytes, CmLut& source);

// How a dither-matrix resource codes its dimensions: 255 stands for 256,
// and in the main sequence (`wide`) 239 for 512; any other code is itself.
enum class MatrixCodes { wide, narrow };

// The dimensions of a dither-matrix resource into the object: 0, or INKDOT_SEQUENCE_ENDED
// (the sequence failed) when the resource is short or the matrix empty.
int32_t readMatrixShape(HalftoneContext& context, ByteView data, MatrixCodes codes);

// Allocates the matrix block with `thresholdBytes` of level thresholds
// behind the matrix, and reads the values into it. A failure has released
// all blocks.
int32_t storeMatrix(HalftoneContext& context, ByteView data, int32_t thresholdBytes);

// Whether a single-ink lookup table can feed the density map and quantiser:
// grid data present, 2..36 points on axis 0 rising strictly from 0 to 255,
// and at least one channel.
bool singleInkLutUsable(const CmLut& lut);

// Fills the density map from the last channel of the first N0 grid entries,
// interpolated in floating point between the levels of axis 0.
void fillDensityMap(int16_t* densityMap, const CmLut& lut);

// (level index, weight) per input value over the levels of axis 0 (`points`
// levels rising strictly from 0 to 255).
void fillQuantiser(uint8_t* quantiser, const uint8_t* levels);

// Samples `source` onto the levels of `target` as resampleGrid does (entries
// `entryBytes` apart, at least c), then hands each entry to `store(entry,
// amounts)` with a copy of its c channel bytes, to transform or repack them.
template <typename Store>
void resampleGrid(const CmLut& source, const CmLut& target, uint8_t* table, size_t entryBytes,
                  Store store);

// The sequence of every mode but the byte-output separation path: the
// resource list, the grid levels, the dither matrix with the per-density
// tables, and the level-record resource.
int32_t setResourceStep(HalftoneContext& context, ByteView data, int32_t* nextResource);

}  // namespace inkdot

#include <cstring>

#include "halftone/grid_resample.h"

template <typename Store>
void inkdot::resampleGrid(const CmLut& source, const CmLut& target, uint8_t* table,
                          size_t entryBytes, Store store) {
    resampleGrid(source, target, table, entryBytes);
    const size_t c = size_t(source.channels);
    const int64_t entries =
        int64_t{target.points[0]} * target.points[1] * target.points[2] * target.points[0];
    uint8_t amounts[32];
    for (int64_t e = 0; e < entries; ++e, table += entryBytes) {
        std::memcpy(amounts, table, c);
        store(table, amounts);
    }
}
