// HalftoneSetResource: the three or four calls that complete a halftone
// object, each named by the resource it takes: the list of resource numbers
// (and the line buffers), the grid levels (the density map or the separation
// table), the dither matrix (the per-density tables) and, for a CmLut whose
// extra block names one, the level records. When the last completes, the
// object chooses its kernel and builds the kernel's view.
#include "halftone/resource_sequence.h"

#include <algorithm>
#include <cstring>

#include "cm/interpolation.h"
#include "frame/workers.h"
#include "halftone/call_frame.h"
#include "halftone/density_tables.h"
#include "halftone/halftone_params.h"
#include "halftone/mode7.h"

namespace inkdot {

int32_t allocateTable(HalftoneContext& context, BlockIndex index, int64_t bytes, bool zeroFill) {
    if (bytes < 0 || bytes > INT32_MAX) return INKDOT_ALLOC_FAILED;
    return allocateBlock(context.blocks[index], static_cast<uint32_t>(bytes), zeroFill);
}

int32_t failSequence(HalftoneContext& context, int32_t result) {
    // The views into the released blocks go too, so that nothing in the table
    // points at freed memory; when unlocking failed the table is kept for
    // HalftoneDelete to try again.
    if (releaseAll(context.blocks) != INKDOT_UNLOCK_FAILED) clearTable(context.blocks);
    context.sequenceState = kSequenceFailed;
    return result;
}

int64_t errorLineBytes(int32_t maxPixels) {
    return 4 * ((2 * int64_t{maxPixels} + 119) / 4) + 4;
}

int32_t readGridLevels(ByteView data, uint8_t levels[kGridLevels]) {
    if (!data.covers(0, 2)) return INKDOT_SEQUENCE_ENDED;
    if (data.u16(0) != kGridLevels) return INKDOT_BAD_SECOND_RECORD;
    if (!data.covers(2, kGridLevels)) return INKDOT_SEQUENCE_ENDED;
    std::memcpy(levels, data.data + 2, kGridLevels);
    // The quantiser divides by the gap between neighbouring levels and must
    // find 0 and 255 among them.
    return risesFrom0To255(levels, kGridLevels) ? INKDOT_OK : INKDOT_BAD_SECOND_RECORD;
}

bool singleInkLutUsable(const CmLut& lut) {
    const int32_t points = lut.points[0];
    if (lut.grid == nullptr || lut.channels < 1) return false;
    return points <= static_cast<int32_t>(sizeof lut.list0) && risesFrom0To255(lut.list0, points);
}

void fillDensityMap(int16_t* densityMap, const CmLut& lut) {
    const int32_t c = lut.channels;
    const int32_t last = lut.points[0] - 1;
    auto value = [&](int32_t i) {
        return int32_t{lut.grid[size_t(i) * size_t(c) + size_t(c - 1)]};
    };
    for (int32_t i = 0; i < last; ++i) {
        const int32_t from = lut.list0[i];
        const int32_t span = lut.list0[i + 1] - from;
        const int32_t v0 = value(i);
        const int32_t rise = value(i + 1) - v0;
        for (int32_t k = 0; k < span; ++k)
            densityMap[from + k] = static_cast<int16_t>(v0 + double(k) * rise / span);
    }
    densityMap[lut.list0[last]] = static_cast<int16_t>(value(last));
}

void fillQuantiser(uint8_t* quantiser, const uint8_t* levels) {
    int32_t i = 0;
    for (int32_t v = 0; v < 256; ++v, quantiser += 2) {
        if (levels[i] == v) {
            quantiser[0] = static_cast<uint8_t>(i);
            quantiser[1] = 255;
            ++i;
        } else {
            const int32_t above = levels[i];
            quantiser[0] = static_cast<uint8_t>(i - 1);
            quantiser[1] = static_cast<uint8_t>((above - v) * 255 / (above - levels[i - 1]));
        }
    }
}

int32_t prepareSeparationTable(HalftoneContext& context, ByteView data, int32_t minChannels,
                               int32_t maxChannels, size_t entryBytes, CmLut& source) {
    CmLut& lut = context.lut;
    if (lut.gridHandle == nullptr || lut.grid == nullptr)
        return failSequence(context, INKDOT_BAD_FIRST_RECORD);
    if (!interpolationReady(lut, true) || lut.channels < minChannels || lut.channels > maxChannels)
        return failSequence(context, INKDOT_BAD_SECOND_RECORD);
    source = lut;

    uint8_t levels[kGridLevels] = {0, 255};
    int32_t points = 2;
    if (context.params.method != 0) {
        const int32_t result = readGridLevels(data, levels);
        if (result != INKDOT_OK) return failSequence(context, result);
        points = kGridLevels;
    }
    for (int axis = 0; axis < 3; ++axis) lut.points[axis] = points;
    std::memcpy(lut.list0, levels, size_t(points));
    std::memcpy(lut.list1, levels, size_t(points));
    std::memcpy(lut.list2, levels, size_t(points));

    const int64_t entries = int64_t{points} * points * points * points;
    const int32_t result = allocateTable(context, kSeparationTable,
                                         (entries * int64_t(entryBytes) + 3) / 4 * 4, false);
    if (result != INKDOT_OK) return failSequence(context, result);
    lut.gridHandle = nullptr;
    lut.grid = separationTable(context);
    return INKDOT_OK;
}

int32_t readMatrixShape(HalftoneContext& context, ByteView data, MatrixCodes codes) {
    if (!data.covers(0, 4)) return failSequence(context, INKDOT_SEQUENCE_ENDED);
    auto dimension = [codes](uint8_t code) {
        if (code == 255) return 256;
        if (code == 239 && codes == MatrixCodes::wide) return 512;
        return int32_t{code};
    };
    context.matrixWidth = dimension(data.u8(0));
    context.matrixHeight = dimension(data.u8(1));
    context.matrixSize = context.matrixWidth * context.matrixHeight;
    // An empty matrix has no row to take a remainder by and no column to mask.
    if (context.matrixSize == 0) return failSequence(context, INKDOT_SEQUENCE_ENDED);
    if (!data.covers(4, 2 * size_t(context.matrixSize)))
        return failSequence(context, INKDOT_SEQUENCE_ENDED);
    return INKDOT_OK;
}

int32_t storeMatrix(HalftoneContext& context, ByteView data, int32_t thresholdBytes) {
    const size_t size = size_t(context.matrixSize);
    const int32_t result =
        allocateTable(context, kDitherMatrix, 4 * int64_t(size) + thresholdBytes, false);
    if (result != INKDOT_OK) return failSequence(context, result);
    int32_t* matrix = ditherMatrix(context);
    setView(context.blocks[kLevelThresholds], matrix + size, nullptr, thresholdBytes);
    for (size_t k = 0; k < size; ++k) matrix[k] = data.u16(4 + 2 * k);
    return INKDOT_OK;
}

namespace {

// Stops the sequence without giving back its blocks: the tables built so far
// stay with the object until it is deleted.
int32_t stopSequence(HalftoneContext& context, int32_t result) {
    context.sequenceState = kSequenceFailed;
    return result;
}

// Position of the dither-matrix resource in the list, by resolution.
int listPositionFor(const HalftoneParams& params) {
    const Resolution r(params);
    if (r.is2880x720()) return 5;
    if (r.is1440x720()) return 3;
    if (r.xTwiceY()) return 2;
    if (r.yTwiceX()) return 4;
    return 1;
}

int32_t errorLineCountFor(const HalftoneParams& p) {
    if (diffusionMethod(p.method)) return p.inkSet == 0 ? 1 : 3;
    return p.inkSet != 0 && (p.lineOption == 0 || p.lineOption == 2) ? 1 : 0;
}

int32_t allocateErrorLines(HalftoneContext& context) {
    const int32_t count = context.errorLineCount;
    if (count == 0) return INKDOT_OK;
    const int64_t bytes = errorLineBytes(context.params.maxPixels);
    if (bytes <= 65535 / count) {
        // The lines share one block; the second and third are views into it.
        int32_t result = allocateTable(context, kErrorLineA, bytes * count, true);
        if (result != INKDOT_OK) return result;
        auto* base = static_cast<uint8_t*>(context.blocks[kErrorLineA].address);
        for (int32_t line = 1; line < count; ++line)
            setView(context.blocks[kErrorLineA + line], base + bytes * line, nullptr,
                    static_cast<int32_t>(bytes));
        return INKDOT_OK;
    }
    for (int32_t line = 0; line < count; ++line) {
        int32_t result =
            allocateTable(context, static_cast<BlockIndex>(kErrorLineA + line), bytes, true);
        if (result != INKDOT_OK) return result;
    }
    return INKDOT_OK;
}

int32_t takeList(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    HalftoneParams& params = context.params;
    context.errorLineCount = errorLineCountFor(params);

    bool listEnded = false;
    for (int i = 0; i < kListPositions && !listEnded && data.covers(2 * size_t(i), 2); ++i) {
        context.resourceList[i] = data.s16(2 * size_t(i));
        listEnded = context.resourceList[i] == INKDOT_NO_RESOURCE;
    }
    if (!listEnded) return failSequence(context, INKDOT_SEQUENCE_ENDED);

    const ExtraKind kind = extraBlockKind(ByteView(context.lut.extraBlock, context.extraLength));
    if (kind == kUnknownExtra || (kind == kNoExtra && params.outputBits == 2))
        return failSequence(context, INKDOT_SEQUENCE_ENDED);
    context.extraKind = kind;

    *nextResource = context.resourceList[0];

    int32_t result = allocateErrorLines(context);
    if (result != INKDOT_OK) return failSequence(context, result);

    // Input pixels repeated n + 1 times; an odd n is taken as (n + 1) / 2
    // copies of pixels that already stand for two output pixels each.
    const int64_t scale = params.inputScale;
    context.replication = 1;
    if (scale >= 2) {
        if (scale % 2 == 0) {
            params.inputScale = 0;
            context.replication = static_cast<int32_t>(scale + 1);
        } else {
            params.inputScale = 1;
            context.replication = static_cast<int32_t>((scale + 1) / 2);
        }
        result =
            allocateTable(context, kExpandedLine,
                          int64_t{bytesPerPixel(params.inputFormat)} * params.maxPixels, false);
        if (result != INKDOT_OK) return failSequence(context, result);
    }
    return INKDOT_OK;
}

int32_t buildDensityMap(HalftoneContext& context) {
    const CmLut& lut = context.lut;
    if (lut.grid == nullptr || lut.gridHandle == nullptr)
        return failSequence(context, INKDOT_BAD_FIRST_RECORD);
    if (!singleInkLutUsable(lut)) return failSequence(context, INKDOT_BAD_SECOND_RECORD);
    int32_t result = allocateTable(context, kDensityMap, 2 * kDensityLevels, false);
    if (result != INKDOT_OK) return failSequence(context, result);
    fillDensityMap(densityMap(context), lut);
    return INKDOT_OK;
}

int32_t buildSeparationTable(HalftoneContext& context, ByteView data) {
    // The kernels step through the table six amounts an entry, one per ink:
    // a grid of other entries would be read past its end or at the wrong places.
    CmLut source;
    const size_t c = 6;
    int32_t result = prepareSeparationTable(context, data, int32_t(c), int32_t(c), c, source);
    if (result != INKDOT_OK) return result;
    // Diffusion moves light ink onto dark ink in the table itself; at 720 x
    // 360 the kernel keeps the inks as they are.
    const bool transfer = diffusionMethod(context.params.method) && !context.is720x360;
    resampleGrid(source, context.lut, context.lut.grid, c,
                 transfer ? GridFinish::pairTransfer : GridFinish::asSampled);
    return INKDOT_OK;
}

int32_t takeGridTables(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    const int16_t matrix = context.resourceList[listPositionFor(context.params)];
    if (matrix == INKDOT_NO_RESOURCE) return failSequence(context, INKDOT_SEQUENCE_ENDED);
    *nextResource = matrix;
    if (context.params.inkSet == 0) return buildDensityMap(context);
    return buildSeparationTable(context, data);
}

int32_t takeMatrix(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    const HalftoneParams& params = context.params;
    *nextResource = INKDOT_NO_RESOURCE;

    int32_t result = readMatrixShape(context, data, MatrixCodes::wide);
    if (result != INKDOT_OK) return result;
    const bool remap = !diffusionMethod(params.method) && params.inkSet == 0;
    result = storeMatrix(context, data, remap ? 2048 : 1024);
    if (result != INKDOT_OK) return result;

    const bool twoBit = params.outputBits == 2;
    const int32_t records = params.inkSet == 0 ? 256 : 512;
    const int32_t recordBytes = records * int32_t{sizeof(LevelRecord)};
    result = allocateTable(context, kDotValues, twoBit ? 2048 + 2 * recordBytes : 2048, true);
    if (result != INKDOT_OK) return failSequence(context, result);
    auto* dots = static_cast<uint8_t*>(context.blocks[kDotValues].address);
    setView(context.blocks[kErrorThresholds], dots + 512, nullptr, 1024);
    setView(context.blocks[kQuantiser], dots + 1536, nullptr, 512);
    if (twoBit) setView(context.blocks[kLevelRecords], dots + 2048, nullptr, 2 * recordBytes);

    fillQuantiser(quantiser(context), context.lut.list0);

    int32_t spread[4];
    result = spreadLevelsFor(params, context.lut.percentAt0, spread);
    if (result != INKDOT_OK) return stopSequence(context, result);
    context.spread = {spread[0], spread[1], spread[2], spread[3]};

    int16_t* values = dotValues(context);
    fillDotValues(values, params, context.lut);
    if (!dotValuesUsable(values)) return failSequence(context, INKDOT_BAD_SECOND_RECORD);
    fillLevelThresholds(levelThresholds(context), params, context.matrixSize, values,
                        remap ? densityMap(context) : nullptr);

    const ByteView extra(context.lut.extraBlock, context.extraLength);
    if (context.extraKind == kChainExtra && twoBit) {
        LevelRecord* out = levelRecords(context);
        const LevelModel model = levelModelFor(params, extra);
        fillLevelRecords(out, model);
        std::copy(out, out + records, out + records);
    } else if (context.extraKind == kRecordExtra) {
        *nextResource = extraResourceNumber(extra);
    }

    fillErrorThresholds(errorThresholds(context), params, values);
    // Separated inks place half the ink per dot; the thresholds above were
    // made with the whole amount.
    if (params.inkSet == 3)
        for (int k = 0; k < kDensityLevels; ++k) values[k] = static_cast<int16_t>(values[k] / 2);

    if (context.extraKind != kRecordExtra) context.sequenceState = kSequenceComplete;
    return INKDOT_OK;
}

int32_t takeLevelRecords(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    *nextResource = INKDOT_NO_RESOURCE;
    if (!data.covers(0, 20) || data.u32(0) < 1578 ||
        std::memcmp(data.data + 4, kLevelRecordSignature, 4) != 0 || data.u32(8) != 0 ||
        data.u16(16) != 3 || data.u16(18) != 512)
        return stopSequence(context, INKDOT_SEQUENCE_ENDED);

    // One-bit objects have no level records; the resource is only checked.
    LevelRecord* out = levelRecords(context);
    if (out != nullptr) {
        const bool singleInk = context.params.inkSet == 0;
        const int32_t records = singleInk ? 256 : 512;
        const size_t step = singleInk ? 6 : 3;  // one ink takes every second record
        if (!data.covers(32, step * size_t(records - 1) + 3))
            return stopSequence(context, INKDOT_SEQUENCE_ENDED);
        for (int32_t r = 0; r < records; ++r) {
            const size_t at = 32 + step * size_t(r);
            const int32_t a = data.u8(at), b = data.u8(at + 1), c = data.u8(at + 2);
            if (a + b + c > 255) return stopSequence(context, INKDOT_SEQUENCE_ENDED);
            out[r] = out[records + r] =
                LevelRecord{int16_t(a), int16_t(b), int16_t(c), int16_t(a + b + c)};
        }
    }
    context.sequenceState = kSequenceComplete;
    return INKDOT_OK;
}

}  // namespace

int32_t setResourceStep(HalftoneContext& context, ByteView data, int32_t* nextResource) {
    // A finished sequence, whether complete or failed, is left exactly as it is.
    if (context.sequenceState != kSequenceRunning) return INKDOT_SEQUENCE_ENDED;
    int32_t result = INKDOT_SEQUENCE_ENDED;
    switch (++context.phase) {
        case 1: result = takeList(context, data, nextResource); break;
        case 2: result = takeGridTables(context, data, nextResource); break;
        case 3: result = takeMatrix(context, data, nextResource); break;
        case 4: result = takeLevelRecords(context, data, nextResource); break;
        default: return stopSequence(context, INKDOT_SEQUENCE_ENDED);
    }
    // The tables are final: the kernel and its view are chosen once, here.
    if (context.sequenceState == kSequenceComplete) prepareKernel(context);
    return result;
}

int32_t halftoneSetResource(HalftoneContext* context, const void* resource, size_t length,
                            int32_t* nextResource) {
    if (context->mode == Mode::separationPath)
        return mode7SetResource(*context, resource, length, nextResource);
    return setResourceStep(*context, ByteView(resource, length), nextResource);
}

}  // namespace inkdot
