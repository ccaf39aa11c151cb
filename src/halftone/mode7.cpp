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
#include "kernels/diffusion.h"

namespace inkdot {
namespace {

// A separation-table entry: e0..e3 in the bytes of the first word, e4 and e5
// in the low bytes of the two halves of the second. Each pair that is
// averaged together, (e0, e2), (e1, e3) and (e4, e5), then sits in the two
// 16-bit halves of one word.
constexpr size_t kEntryBytes = 8;
constexpr uint32_t kPairLowBytes = 0x00FF00FF;

// The smoothing state starts from a key no real key is a neighbour of.
constexpr uint32_t kNoPreviousKey = 35;

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
    const int32_t result = prepareSeparationTable(context, data, 6, INT32_MAX, kEntryBytes, source);
    if (result != INKDOT_OK) return result;
    CmLut& lut = context.lut;
    resampleGrid(source, lut, lut.grid, kEntryBytes, [](uint8_t* out, const uint8_t* e) {
        const uint8_t packed[kEntryBytes] = {e[0], e[1], e[2], e[3], e[4], 0, e[5], 0};
        std::memcpy(out, packed, kEntryBytes);
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
    if (points < 2 || points > int32_t{sizeof lut.list0}) return false;
    if (lut.list0[0] != 0 || lut.list0[points - 1] != 255) return false;
    for (int32_t i = 1; i < points; ++i)
        if (lut.list0[i] <= lut.list0[i - 1]) return false;
    return true;
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

// ---------------------------------------------------------------------------
// The line path

// The three packed pair words of one pixel.
struct Amounts {
    uint32_t p;  // e0, e2
    uint32_t q;  // e1, e3
    uint32_t u;  // e4, e5
};

// Separation of one pixel with smoothing against the previous one.
class Separator {
public:
    Separator(const HalftoneContext& context)
        : table_(blockAs<uint8_t>(context, kSeparationTable)),
          quantiser_(blockAs<uint8_t>(context, kQuantiser)) {}

    Amounts separate(const uint8_t* pixel, int32_t m0) {
        const uint32_t t = uint32_t(m0) & 0xFE;
        const uint32_t i0 = index(pixel[0], t), i1 = index(pixel[1], t),
                       i2 = index(pixel[2], t), i3 = index(pixel[3], t);
        const uint8_t* entry = table_ + (((i0 * 32 + i1) * 32 + i2) * 32 + i3) * kEntryBytes;
        const uint32_t first = readLe32(entry), second = readLe32(entry + 4);
        Amounts a{first & kPairLowBytes, (first >> 8) & kPairLowBytes, second & kPairLowBytes};

        // Each index within one step of the previous pixel's: the four
        // differences, packed, stay inside their fields after the bias.
        const uint32_t key = i2 + (i0 << 10) + (i3 << 16) + (i1 << 26);
        const uint32_t d = key - previousKey_;
        if ((((d + 0x04010401u) | (d + 0x08020802u)) & 0xF3FCF3FCu) == 0) {
            const uint32_t round = (uint32_t(m0) & 1) == 0 ? 0x10001u : 0u;
            a.p = ((a.p + round + previous_.p) >> 1) & kPairLowBytes;
            a.q = ((a.q + round + previous_.q) >> 1) & kPairLowBytes;
            a.u = ((a.u + round + previous_.u) >> 1) & kPairLowBytes;
        }
        previousKey_ = key;
        previous_ = a;
        return a;
    }

private:
    uint32_t index(uint8_t value, uint32_t t) const {
        const uint8_t* pair = quantiser_ + 2 * size_t{value};
        return pair[0] + (t >= pair[1] ? 1u : 0u);
    }

    const uint8_t* table_;
    const uint8_t* quantiser_;
    uint32_t previousKey_ = kNoPreviousKey;
    Amounts previous_{0, 0, 0};
};

// Where output pixel i (counted from startX) takes its input: with
// inputScale 1 every input pixel serves two output pixels.
inline const uint8_t* inputPixel(const uint8_t* src, int32_t i, bool repeat, bool pairs) {
    const int32_t n = repeat ? i >> 1 : pairs ? 2 * i : i;
    return src + 4 * size_t(n);
}

void byteOutput(const HalftoneContext& context, const uint8_t* src, uint8_t* dst,
                int32_t pixelCount, int32_t startX, int32_t lineNumber) {
    const int32_t scale = context.params.inputScale;
    const kernels::MatrixRow row = kernels::matrixRow(context.view, lineNumber);
    Separator separator(context);
    for (int32_t i = 0; i < pixelCount; ++i, dst += 6) {
        const uint8_t* in = inputPixel(src, i, scale == 1, scale == -1);
        uint8_t pixel[4] = {in[0], in[1], in[2], in[3]};
        if (scale == -1)
            for (int k = 0; k < 4; ++k) pixel[k] = in[k] > in[4 + k] ? in[k] : in[4 + k];
        const Amounts a = separator.separate(pixel, row.at(startX + i));
        dst[0] = uint8_t(a.p);
        dst[1] = uint8_t(a.q);
        dst[2] = uint8_t(a.p >> 16);
        dst[3] = uint8_t(a.q >> 16);
        dst[4] = uint8_t(a.u);
        dst[5] = uint8_t(a.u >> 16);
    }
}

void oneBitOutput(const HalftoneContext& context, const uint8_t* src, uint8_t* dst,
                  int32_t planeStride, int32_t bitOffset, int32_t pixelCount, int32_t startX,
                  int32_t lineNumber) {
    const int32_t width = context.matrixWidth, height = context.matrixHeight;
    const kernels::MatrixRow row0 = kernels::matrixRow(context.view, lineNumber);
    const kernels::MatrixRow row1 =
        kernels::matrixRow(context.view, int32_t(uint32_t(lineNumber) + uint32_t(height / 2)));
    const uint32_t k = uint32_t(context.matrixSize) - 1;
    const int32_t* t = blockAs<int32_t>(context, kLevelThresholds);
    auto over = [t](uint32_t amount, uint32_t m) { return uint32_t(t[amount & 0xFF]) > m; };

    Separator separator(context);
    kernels::DotPacker<1, 6> packer(dst, planeStride, bitOffset);
    const bool repeat = context.params.inputScale == 1;
    for (int32_t i = 0; i < pixelCount; ++i, packer.next()) {
        const uint8_t* in = inputPixel(src, i, repeat, false);
        if ((in[0] | in[1] | in[2] | in[3]) == 0) continue;  // no ink: no dot, no smoothing
        const int32_t x = startX + i;
        const uint32_t m0 = uint32_t(row0.at(x));
        const uint32_t m1 = uint32_t(row1.at(x + width / 2));
        const uint32_t m2 = uint32_t(row0.at(x + 3 * width / 4));
        const Amounts a = separator.separate(in, int32_t(m0));
        // The two amounts of a pair fill a matrix from opposite ends.
        packer.mark(0, kernels::dotCode(over(a.p, m0)));
        packer.mark(1, kernels::dotCode(over(a.p >> 16, m1)));
        packer.mark(2, kernels::dotCode(over(a.u, m2)));
        packer.mark(3, kernels::dotCode(over(a.u >> 16, k - m2)));
        packer.mark(4, kernels::dotCode(over(a.q, k - m0)));
        packer.mark(5, kernels::dotCode(over(a.q >> 16, k - m1)));
    }
    packer.finish();
}

} // namespace

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
                  int32_t lineNumber, int32_t /*spare*/, int32_t /*reserved*/) {
    const HalftoneParams& params = context.params;
    if (uint32_t(startX) + uint32_t(pixelCount) > uint32_t(params.maxPixels))
        return INKDOT_LINE_TOO_LONG;
    // Lines need the finished tables, and a table of 32 levels a channel:
    // one ink (a density map) or two levels a channel (method 0) give the
    // line nothing it could address.
    if (context.sequenceState != kSequenceComplete || params.inkSet == 0 ||
        context.lut.points[0] != kGridLevels)
        return INKDOT_UNSUPPORTED;
    const auto* line = static_cast<const uint8_t*>(src);

    if (params.outputBits == 8) {
        byteOutput(context, line, dst, pixelCount, startX, lineNumber);
        return INKDOT_OK;
    }
    if (enable == 0) return INKDOT_NOT_ENABLED;
    if (!kernels::bitOffsetFits<1>(bitOffset)) return INKDOT_UNSUPPORTED;
    // The slots from bitOffset on are cleared in every plane, even for an
    // empty stretch.
    const uint8_t keep = uint8_t(~(0xFFu >> bitOffset));
    for (int p = 0; p < 6; ++p) dst[ptrdiff_t(p) * planeStride] &= keep;
    oneBitOutput(context, line, dst, planeStride, bitOffset, pixelCount, startX, lineNumber);
    return INKDOT_OK;
}

} // namespace inkdot
