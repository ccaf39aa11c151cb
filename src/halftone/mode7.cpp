// Mode 7: four-channel pixels separated into six ink amounts through a
// re-sampled grid of packed entries, handed out as bytes (8-bit output) or
// turned into six one-bit planes against the dither matrix. Neighbouring
// pixels of similar colour have their amounts averaged instead of diffused.
#include "halftone/mode7.h"

#include <cstring>

#include "cm/interpolation.h"
#include "halftone/call_frame.h"
#include "halftone/density_tables.h"
#include "halftone/halftone_params.h"
#include "halftone/resource_sequence.h"
#include "kernels/separation_path.h"

namespace inkdot {
namespace {

using kernels::kPackedEntryBytes;

int32_t stopSequence(HalftoneContext& context, int32_t result) {
    context.sequenceState = kSequenceFailed;
    return result;
}

int32_t listCall(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    for (int i = 0; i < kListPositions; ++i) {
        if (!data.covers(2 * size_t(i), 2)) return failSequence(context, INKDOT_SEQUENCE_ENDED);
        context.resourceList[i] = data.s16(2 * size_t(i));
        if (context.resourceList[i] == INKDOT_NO_RESOURCE) break;
    }
    context.resourceList[kListPositions] = INKDOT_NO_RESOURCE;
    *nextResource = context.resourceList[0];
    return INKDOT_OK;
}

int32_t packedSeparationTable(HalftoneContext& context, ByteView data) {
    // Six amounts an entry: a grid with fewer channels has none to pack; the
    // channels after the sixth are left out.
    CmLut source;
    const int32_t result =
        prepareSeparationTable(context, data, 6, INT32_MAX, kPackedEntryBytes, source);
    if (result != INKDOT_OK) return result;
    CmLut& lut = context.lut;
    resampleGrid(source, lut, lut.grid, kPackedEntryBytes, [](uint8_t* out, const uint8_t* e) {
        const uint8_t packed[kPackedEntryBytes] = {e[0], e[1], e[2], e[3], e[4], 0, e[5], 0};
        std::memcpy(out, packed, kPackedEntryBytes);
    });
    return INKDOT_OK;
}

int32_t gridCall(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    const Resolution r(context.params);
    const int position = r.is1440x720() ? 3 : r.xTwiceY() ? 2 : 1;
    const int16_t matrix = context.resourceList[position];
    if (matrix == INKDOT_NO_RESOURCE) return failSequence(context, INKDOT_SEQUENCE_ENDED);
    *nextResource = matrix;

    if (context.params.inkSet != 0) return packedSeparationTable(context, data);
    const int32_t result = allocateTable(context, kDensityMap, 2 * kDensityLevels, false);
    if (result != INKDOT_OK) return failSequence(context, result);
    int16_t* map = densityMap(context);
    for (int v = 0; v < kDensityLevels; ++v) map[v] = context.lut.singleChannelTable[v];
    return INKDOT_OK;
}

// Levels of axis 0 the quantiser can be built from: rising strictly from 0
// to 255 within the list.
bool quantiserLevelsUsable(const CmLut& lut) {
    const int32_t points = lut.points[0];
    return points <= int32_t{sizeof lut.list0} && risesFrom0To255(lut.list0, points);
}

int32_t matrixCall(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    const HalftoneParams& params = context.params;
    *nextResource = INKDOT_NO_RESOURCE;

    int32_t result = readMatrixShape(context, data, MatrixCodes::narrow);
    if (result != INKDOT_OK) return result;
    if (!quantiserLevelsUsable(context.lut)) return failSequence(context, INKDOT_BAD_SECOND_RECORD);
    result = storeMatrix(context, data, 1024);
    if (result != INKDOT_OK) return result;

    const bool separating = params.inkSet == 3;
    result = allocateTable(context, kDotValues, separating ? 2560 : 2048, true);
    if (result != INKDOT_OK) return failSequence(context, result);
    auto* dots = static_cast<uint8_t*>(context.blocks[kDotValues].address);
    const size_t viewAt = separating ? 1024 : 512;
    setView(context.blocks[kErrorThresholds], dots + viewAt, nullptr, 1024);
    setView(context.blocks[kQuantiser], dots + viewAt + 1024, nullptr, 512);
    fillQuantiser(quantiser(context), context.lut.list0);

    int16_t* values = dotValues(context);
    fillDotValueCurve(values, separating ? 100 : context.lut.percentAt0,
                      separating ? 100 : context.lut.percentAt255);
    if (!dotValuesUsable(values)) return failSequence(context, INKDOT_BAD_SECOND_RECORD);

    // Matrix ranks covered by each amount, rounded to the nearest; the
    // division is unsigned, as the dot values are read.
    int32_t* thresholds = levelThresholds(context);
    for (uint64_t j = 0; j < kDensityLevels; ++j) {
        const uint64_t divisor = uint32_t(int32_t{values[j]});
        const uint64_t covered = 200 * uint64_t(uint32_t(context.matrixSize)) * j / divisor;
        thresholds[j] = static_cast<int32_t>(uint32_t((covered + 80) / 200));
    }
    if (params.inkSet == 0) {
        int16_t* map = densityMap(context);
        for (int v = 0; v < kDensityLevels; ++v) map[v] = static_cast<int16_t>(thresholds[map[v]]);
        for (int v = 0; v < kDensityLevels; ++v) thresholds[v] = map[v];
    }
    context.sequenceState = kSequenceComplete;
    prepareKernel(context);
    return INKDOT_OK;
}

}  // namespace

int32_t mode7SetResource(HalftoneContext& context, const void* resource, size_t length,
                         int32_t* nextResource) {
    // A finished sequence, whether complete or failed, is left exactly as it is.
    if (context.sequenceState != kSequenceRunning) return INKDOT_SEQUENCE_ENDED;
    const ByteView data(resource, length);
    switch (++context.phase) {
        case 1: return listCall(context, data, nextResource);
        case 2: return gridCall(context, data, nextResource);
        case 3: return matrixCall(context, data, nextResource);
        default: return stopSequence(context, INKDOT_SEQUENCE_ENDED);
    }
}

int32_t mode7Line(HalftoneContext& context, const void* src, uint8_t* dst, int32_t planeStride,
                  int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t enable,
                  int32_t lineNumber, int32_t spare, int32_t reserved) {
    const HalftoneParams& params = context.params;
    if (uint32_t(startX) + uint32_t(pixelCount) > uint32_t(params.maxPixels))
        return INKDOT_LINE_TOO_LONG;
    // Lines need the finished tables, and a table of 32 levels a channel:
    // one ink (a density map) or two levels a channel (method 0) give the
    // line nothing it could address.
    if (context.sequenceState != kSequenceComplete || params.inkSet == 0 ||
        context.lut.points[0] != kGridLevels || context.kernel == nullptr)
        return INKDOT_UNSUPPORTED;
    return context.kernel(context.view, context.line, static_cast<const uint8_t*>(src), dst,
                          planeStride, bitOffset, pixelCount, startX, enable, lineNumber, spare,
                          reserved);
}

}  // namespace inkdot
