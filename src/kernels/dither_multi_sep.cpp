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

// The trailing stretch of a pair whose stretches fit one after the other:
// from the leading total on. No trailing dot where the leading ink printed.
template <class Table>
INKDOT_ALWAYS_INLINE uint32_t trailingAfter(const ThresholdOrder<Table>& order, uint32_t lead,
                                            int32_t start, const LevelRecord& trailing) {
    const int32_t end = start + trailing.thresholdBase + trailing.mediumSpan + trailing.smallSpan;
    return lead != kCodeNone ? kCodeNone : order.stretch(start, trailing, end);
}

// Where the trailing stretch of an overlapping pair starts: moved down so
// that it ends at 255.
INKDOT_ALWAYS_INLINE int32_t topStart(const LevelRecord& trailing) {
    return 255 - trailing.levelTotal;
}

// A pair on one matrix value. The leading ink takes its stretch from the
// start of the order and the trailing ink the stretch right after it. While
// the two fit the order (totals at most 255) a pixel gets a dot of one ink at
// most; when they overlap, the trailing stretch is moved down to end at 255,
// and its top meets the leading stretch there: both inks may print, but the
// trailing ink not where the position its stretch starts at covers the pixel.
template <class Table>
INKDOT_ALWAYS_INLINE PairCodes pairCodes(const ThresholdOrder<Table>& order,
                                         const LevelRecord& leading, const LevelRecord& trailing) {
    const uint32_t lead = singleCode(order, leading);
    if (int32_t(leading.levelTotal) + trailing.levelTotal <= 255)
        return {lead, trailingAfter(order, lead, leading.levelTotal, trailing)};
    const int32_t start = topStart(trailing);
    const int32_t end = start + trailing.thresholdBase + trailing.mediumSpan + trailing.smallSpan;
    return {lead, order.covers(start) ? kCodeNone : order.stretch(start, trailing, end)};
}

// Codes read from the records and the thresholds at every pixel.
template <class Table>
class DirectCodes {
public:
    DirectCodes(const LevelRecord* records, Table thresholds)
        : records_(records), thresholds_(thresholds) {}

    INKDOT_ALWAYS_INLINE uint32_t single(int32_t u, int32_t record) const {
        return singleCode(ThresholdOrder<Table>{thresholds_, u}, records_[record]);
    }
    INKDOT_ALWAYS_INLINE PairCodes pair(int32_t u, int32_t leading, int32_t trailing) const {
        return pairCodes(ThresholdOrder<Table>{thresholds_, u}, records_[leading], records_[trailing]);
    }

private:
    const LevelRecord* records_;
    Table thresholds_;
};

// The same codes with what depends on one record alone prepared once a call:
// each record's stretch from the start of the order with its total, and each
// lower record's stretch at the top of the order with the threshold that
// blocks it. Only a pair that fits reads its trailing stretch at the pixel.
template <class Table>
class PreparedCodes {
public:
    PreparedCodes(const LevelRecord* records, Table thresholds)
        : records_(records), thresholds_(thresholds) {
        for (int32_t i = 0; i < 2 * kUpperRecords; ++i) {
            const LevelRecord& r = records[i];
            const int32_t large = r.thresholdBase;
            fromStart_[i] = {runningMaxima(thresholds, large, large + r.mediumSpan, r.levelTotal),
                             r.levelTotal};
        }
        for (int32_t i = 0; i < kUpperRecords; ++i) {
            const LevelRecord& r = records[i];
            const int32_t large = topStart(r) + r.thresholdBase;
            const int32_t end = large + r.mediumSpan + r.smallSpan;
            atTop_[i] = {runningMaxima(thresholds, large, large + r.mediumSpan, end),
                         thresholds[topStart(r)]};
        }
    }

    INKDOT_ALWAYS_INLINE uint32_t single(int32_t u, int32_t record) const {
        return codeBelow(fromStart_[record].maxima, u);
    }
    INKDOT_ALWAYS_INLINE PairCodes pair(int32_t u, int32_t leading, int32_t trailing) const {
        const Prepared& l = fromStart_[leading];
        const uint32_t lead = codeBelow(l.maxima, u);
        if (l.value + fromStart_[trailing].value <= 255) {
            return {lead, trailingAfter(ThresholdOrder<Table>{thresholds_, u}, lead, l.value,
                                        records_[trailing])};
        }
        const Prepared& t = atTop_[trailing];
        return {lead, u < t.value ? kCodeNone : codeBelow(t.maxima, u)};
    }

private:
    // A stretch's maxima and the record's total, or the blocking threshold.
    struct Prepared {
        RunningMaxima maxima;
        int32_t value;
    };

    const LevelRecord* records_;
    Table thresholds_;
    Prepared fromStart_[2 * kUpperRecords];
    Prepared atTop_[kUpperRecords];
};

// From this many pixels on, a call prepares its codes.
inline constexpr int32_t kPrepareMinimum = 1024;

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

// Codes is DirectCodes or PreparedCodes over levelThresholds read clamped
// or, once the records are checked, plainly.
template <Sampling S, class Codes>
int32_t ditherMultiSepLine(const LineCall& call, const Codes& codes) {
    const HalftoneContext& context = call.context;
    const Separation separation(context);
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

        const PairCodes first = codes.pair(u0, kUpperRecords + s.a[0], s.a[1]);
        const PairCodes second = codes.pair(uh, kUpperRecords + s.a[2], s.a[3]);
        out.put(inkLanes<2>({first.leading, first.trailing, second.leading, second.trailing,
                             codes.single(u3, s.a[4]), codes.single(u1, kUpperRecords + s.a[5])}));
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
        constexpr Sampling kSampling = decltype(sampling)::value;
        const LevelRecord* records = blockAs<LevelRecord>(call.context, kLevelRecords);
        const int32_t* thresholds = blockAs<int32_t>(call.context, kLevelThresholds);
        return withRecordCheck(call.context, call.pixelCount, [&](auto checked) {
            using Table = LevelThresholdsOf<decltype(checked)::value>;
            if (call.pixelCount >= kPrepareMinimum) {
                const PreparedCodes<Table> codes(records, Table{thresholds});
                return ditherMultiSepLine<kSampling>(call, codes);
            }
            return ditherMultiSepLine<kSampling>(call, DirectCodes<Table>(records, Table{thresholds}));
        });
    });
}

} // namespace

INKDOT_DEFINE_KERNEL(HalftoneDitherMultiSep, ditherMultiSepKernel)

} // namespace inkdot::kernels
