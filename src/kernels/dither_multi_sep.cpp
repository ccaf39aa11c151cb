// Four channels separated into six inks, two bits per dot (none, small,
// medium, large), by ordered dither alone: no error line.
//
// Each pixel's four values are quantised onto the separation grid with the
// matrix value as dither; the entry's six amounts, summed with the previous
// pixel's, select one level record per ink, whose spans divide a stretch of
// the threshold order into large, medium and small dots. Two pairs of inks
// share a matrix value each, the trailing ink of a pair laid above the
// leading one in the threshold order; the other two inks have a matrix value
// of their own.
#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/separation.h"

namespace inkdot::kernels {
namespace {

// An ink on its own stretch from the start of the threshold order.
template <class Table>
INKDOT_ALWAYS_INLINE uint32_t singleCode(const ThresholdOrder<Table>& order, const LevelRecord& r) {
    return order.stretch(0, r, r.levelTotal);
}

struct PairCodes {
    uint32_t leading;
    uint32_t trailing;
};

// A pair on one matrix value. The leading ink takes its stretch from the
// start of the order and the trailing ink the stretch right after it. While
// the two fit the order (totals at most 255) a pixel gets a dot of one ink at
// most; when they overlap by `over`, the trailing stretch is moved down to end
// at 255, and its top meets the leading stretch there: both inks may print.
// Both stretches are read and the blocked trailing code masked, as the matrix
// values make the outcome unpredictable from pixel to pixel.
template <class Table>
INKDOT_ALWAYS_INLINE PairCodes pairCodes(const ThresholdOrder<Table>& order,
                                         const LevelRecord& leading, const LevelRecord& trailing) {
    const uint32_t lead = singleCode(order, leading);
    const int32_t over = int32_t(leading.levelTotal) + trailing.levelTotal - 255;
    const bool fits = over <= 0;
    const int32_t start = fits ? int32_t(leading.levelTotal) : int32_t(leading.levelTotal) - over;
    const bool blocked = fits ? lead != kCodeNone : order.covers(start);
    const int32_t end = start + trailing.thresholdBase + trailing.mediumSpan + trailing.smallSpan;
    return {lead, order.stretch(start, trailing, end) & (uint32_t(blocked) - 1u)};
}

// The four channel values of output pixel i: four bytes a pixel, one pixel
// for two (inputScale 1), or per channel the smaller of two pixels
// (inputScale -1).
template <Sampling S>
INKDOT_ALWAYS_INLINE const uint8_t* channelsAt(const uint8_t* in, int32_t i, uint8_t (&pair)[4]) {
    if constexpr (S == Sampling::Smaller) {
        const uint8_t* p = in + 8 * size_t(i);
        for (int k = 0; k < 4; ++k) pair[k] = p[k] < p[k + 4] ? p[k] : p[k + 4];
        return pair;
    } else {
        return in + 4 * size_t(S == Sampling::Repeat ? i >> 1 : i);
    }
}

// Checked: the records are known to keep every index within levelThresholds,
// so it is read without clamping.
template <Sampling S, bool Checked>
int32_t ditherMultiSepLine(const LineCall& call) {
    const HalftoneContext& context = call.context;
    const Separation separation(context);
    const LevelRecord* records = blockAs<LevelRecord>(context, kLevelRecords);
    using Thresholds = LevelThresholdsOf<Checked>;
    using Order = ThresholdOrder<Thresholds>;
    const Thresholds thresholds{blockAs<int32_t>(context, kLevelThresholds)};
    const int32_t width = context.matrixWidth, height = context.matrixHeight;
    const MatrixRow row0 = matrixRow(context, call.lineNumber);
    const MatrixRow rowHalf =
        matrixRow(context, int32_t(uint32_t(call.lineNumber) + uint32_t(height / 2)));
    const uint32_t quarter = uint32_t(width / 4);
    const uint32_t half = uint32_t(width / 2);
    const uint32_t threeQuarters = uint32_t((3 * width) / 4);
    SixPlanePacker<2> out(call.dst, call.planeStride, call.bitOffset);

    PreviousPixel previous;
    uint8_t pair[4];
    for (int32_t i = 0; i < call.pixelCount; ++i) {
        // Every pixel, four zero bytes included, takes the dots of its entry.
        const uint8_t* c = channelsAt<S>(call.line, i, pair);
        const uint32_t x = uint32_t(call.startX) + uint32_t(i);
        const int32_t u0 = row0.at(int32_t(x));
        const int32_t u1 = row0.at(int32_t(x + quarter));
        const int32_t u3 = row0.at(int32_t(x + threeQuarters));
        const int32_t uh = rowHalf.at(int32_t(x + half));

        const GridLevels g = separation.levels(c, quantiserDither(u0, 0));
        const InkAmounts s = smoothSum(separation.entry(g), g, previous);

        const PairCodes first = pairCodes(Order{thresholds, u0},
                                          records[kUpperRecords + s.a[0]], records[s.a[1]]);
        const PairCodes second = pairCodes(Order{thresholds, uh},
                                           records[kUpperRecords + s.a[2]], records[s.a[3]]);
        out.put(inkLanes<2>({first.leading, first.trailing, second.leading, second.trailing,
                             singleCode(Order{thresholds, u3}, records[s.a[4]]),
                             singleCode(Order{thresholds, u1},
                                        records[kUpperRecords + s.a[5]])}));
    }
    out.finish();
    return INKDOT_OK;
}

int32_t ditherMultiSepKernel(const LineCall& call) {
    if (!stretchFits(call.context, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.context.params.outputBits != 2) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Smaller>(call.context.params.inputScale, [&](auto sampling) {
        return withRecordCheck(call.context, call.pixelCount, [&](auto checked) {
            return ditherMultiSepLine<decltype(sampling)::value, decltype(checked)::value>(call);
        });
    });
}

} // namespace

INKDOT_DEFINE_KERNEL(HalftoneDitherMultiSep, ditherMultiSepKernel)

} // namespace inkdot::kernels
