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
#include "kernels/dither_multi_sep.h"

#include <algorithm>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/separation.h"
#include "kernels/vector_isa.h"

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
        return pairCodes(ThresholdOrder<Table>{thresholds_, u}, records_[leading],
                         records_[trailing]);
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
    const KernelView& view = call.view;
    const Separation separation(view);
    const int32_t width = view.matrixWidth, height = view.matrixHeight;
    const MatrixRow row0 = matrixRow(view, call.lineNumber);
    const MatrixRow rowHalf =
        matrixRow(view, int32_t(uint32_t(call.lineNumber) + uint32_t(height / 2)));
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

// ---------------------------------------------------------------------------
// The column path
//
// Where the thresholds rise along the order (each at least the one before),
// position p covers a matrix value u exactly when p lies at or after the
// first position whose threshold is above u; call that position F(u). A
// record's three stretch ends then become positions compared with F - 1, and
// the trailing ink of a pair needs no threshold of its own: its stretch
// starts at s, the leading total while the two fit and 255 less its own total
// when they overlap, and the pixel is blocked for it exactly when s covers it.
// Per matrix column a call keeps the four values F - 1 and the quantiser's
// dither value, so a pixel reads neither the matrix nor the thresholds.

// Positions of a record: the ends of its large, medium and small dots from the
// start of the order, and a zero that becomes a trailing ink's start.
struct RecordEnds {
    int16_t end[4];
};

// One matrix column: F - 1 of the values that pair 1 (u0), pair 2 (uh),
// ink 4 (u3) and ink 5 (u1) read, and the quantiser's dither value in every
// 16-bit lane.
struct alignas(16) ColumnValues {
    int16_t lastBelow[4];
    uint64_t dither;
};

inline constexpr int32_t kMaxColumns = 512;

// What a call prepares for the column path besides its lane quantiser: per
// column its values, per record its ends.
struct ColumnTables {
    ColumnValues columns[kMaxColumns];
    alignas(16) RecordEnds records[2 * kUpperRecords];
};

// The six codes of a pixel as the lanes of their planes, from the entry's
// bytes and the bytes they are summed with (the previous pixel's or their
// own). Plane 0 takes pair 1's leading ink, plane 1 pair 2's, plane 2 ink 4,
// plane 3 ink 5, planes 4 and 5 the trailing inks of pairs 1 and 2.
struct PortableLanes {
    static INKDOT_ALWAYS_INLINE uint64_t codes(const RecordEnds* records, AmountBytes own,
                                               AmountBytes other, const ColumnValues& column) {
        auto sum = [&](int j) { return amountOf(own, j) + amountOf(other, j); };
        const RecordEnds* upper = records + kUpperRecords;
        auto count = [](const RecordEnds& r, int32_t start, int32_t last) {
            return uint32_t(r.end[0] + start > last) + uint32_t(r.end[1] + start > last) +
                   uint32_t(r.end[2] + start > last);
        };
        auto trailing = [&](const RecordEnds& leading, const RecordEnds& r, int32_t last) {
            const int32_t start = std::min<int32_t>(leading.end[2], 255 - r.end[2]);
            return start > last ? 0u : count(r, start, last);
        };
        const int16_t* h = column.lastBelow;
        const RecordEnds &lead1 = upper[sum(0)], &lead2 = upper[sum(2)];
        return uint64_t(count(lead1, 0, h[0])) | uint64_t(count(lead2, 0, h[1])) << 8 |
               uint64_t(count(records[sum(4)], 0, h[2])) << 16 |
               uint64_t(count(upper[sum(5)], 0, h[3])) << 24 |
               uint64_t(trailing(lead1, records[sum(1)], h[0])) << 32 |
               uint64_t(trailing(lead2, records[sum(3)], h[1])) << 40;
    }
};

#ifdef INKDOT_KERNELS_SSE2
// The same codes two planes to a register, four 16-bit lanes a record: each
// lane compared with F - 1, and the true lanes counted by a multiply-add. The
// fourth lane of a trailing record holds its start and counts -3, so that a
// blocked pixel, where every lane holds, comes to 0; elsewhere it counts 0.
struct Sse2Lanes {
    static INKDOT_ALWAYS_INLINE __m128i recordPair(const char* first, const char* second) {
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second)));
    }

    static INKDOT_ALWAYS_INLINE uint64_t codes(const RecordEnds* records, AmountBytes own,
                                               AmountBytes other, const ColumnValues& column) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i sums = _mm_slli_epi16(
            _mm_add_epi16(_mm_unpacklo_epi8(_mm_set_epi64x(0, int64_t(own)), zero),
                          _mm_unpacklo_epi8(_mm_set_epi64x(0, int64_t(other)), zero)),
            3);
        const char* lower = reinterpret_cast<const char*>(records);
        const char* upper = lower + sizeof(RecordEnds) * kUpperRecords;
        const __m128i leading =
            recordPair(upper + _mm_extract_epi16(sums, 0), upper + _mm_extract_epi16(sums, 2));
        const __m128i singles =
            recordPair(lower + _mm_extract_epi16(sums, 4), upper + _mm_extract_epi16(sums, 5));
        __m128i trailing =
            recordPair(lower + _mm_extract_epi16(sums, 1), lower + _mm_extract_epi16(sums, 3));
        // Each trailing start, min(leading total, 255 - trailing total), in
        // all four lanes of its record.
        __m128i start = _mm_min_epi16(leading, _mm_sub_epi16(_mm_set1_epi16(255), trailing));
        start = _mm_shufflehi_epi16(_mm_shufflelo_epi16(start, 0xAA), 0xAA);
        trailing = _mm_add_epi16(trailing, start);

        __m128i last = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(column.lastBelow));
        last = _mm_unpacklo_epi16(last, last);
        const __m128i pairLast = _mm_unpacklo_epi32(last, last);
        const __m128i singleLast = _mm_unpackhi_epi32(last, last);

        const __m128i counted = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
        const __m128i blocking = _mm_set_epi16(3, -1, -1, -1, 3, -1, -1, -1);
        const __m128i a = _mm_madd_epi16(_mm_cmpgt_epi16(leading, pairLast), counted);
        const __m128i b = _mm_madd_epi16(_mm_cmpgt_epi16(singles, singleLast), counted);
        const __m128i c = _mm_madd_epi16(_mm_cmpgt_epi16(trailing, pairLast), blocking);
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i ab = _mm_madd_epi16(_mm_packs_epi32(a, b), ones);
        const __m128i cz = _mm_madd_epi16(_mm_packs_epi32(c, zero), ones);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ab, cz), zero);
        uint64_t lanes;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&lanes), bytes);
        return lanes;
    }
};
using FastLanes = Sse2Lanes;
#else
using FastLanes = PortableLanes;
#endif

// Whether the column path holds for a call whose records are known to keep
// their positions within the order: a matrix at most as wide as the table
// and a power of two wide, thresholds that never fall along the order, and
// a quantiser whose levels stay on the grid.
bool columnsHold(const KernelView& view) {
    const int32_t width = view.matrixWidth;
    if (width < 1 || width > kMaxColumns || (width & (width - 1)) != 0) return false;
    const int32_t* thresholds = view.levelThresholds;
    return std::is_sorted(thresholds, thresholds + 256) && LaneQuantiser::fits(view);
}

void prepareColumns(const LineCall& call, ColumnTables& t) {
    const KernelView& view = call.view;
    const int32_t width = view.matrixWidth, height = view.matrixHeight;
    const int32_t* thresholds = view.levelThresholds;
    const LevelRecord* records = view.levelRecords;
    for (int32_t i = 0; i < 2 * kUpperRecords; ++i) {
        const LevelRecord& r = records[i];
        t.records[i] = {
            {r.thresholdBase, int16_t(r.thresholdBase + r.mediumSpan), r.levelTotal, 0}};
    }

    // F - 1 of every column of the two rows.
    auto lastBelow = [thresholds](int32_t u) {
        return int16_t(std::upper_bound(thresholds, thresholds + 256, u) - thresholds - 1);
    };
    const MatrixRow row0 = matrixRow(view, call.lineNumber);
    const MatrixRow rowHalf =
        matrixRow(view, int32_t(uint32_t(call.lineNumber) + uint32_t(height / 2)));
    int16_t last0[kMaxColumns], lastHalf[kMaxColumns];
    for (int32_t x = 0; x < width; ++x) {
        last0[x] = lastBelow(row0.values[x]);
        lastHalf[x] = lastBelow(rowHalf.values[x]);
    }
    const uint32_t mask = uint32_t(width) - 1;
    const uint32_t quarter = uint32_t(width / 4);
    const uint32_t half = uint32_t(width / 2);
    const uint32_t threeQuarters = uint32_t((3 * width) / 4);
    for (uint32_t x = 0; x < uint32_t(width); ++x) {
        t.columns[x] = {{last0[x], lastHalf[(x + half) & mask], last0[(x + threeQuarters) & mask],
                         last0[(x + quarter) & mask]},
                        inEachLane16(quantiserDither(row0.values[x], 0))};
    }
}

template <Sampling S, class Lanes>
int32_t ditherMultiSepColumns(const LineCall& call, const LaneQuantiser& quantiser,
                              const ColumnTables& t) {
    const Separation separation(call.view);
    const uint32_t mask = uint32_t(call.view.matrixWidth) - 1;
    SixPlanePacker<2> out(call.dst, call.planeStride, call.bitOffset);
    uint64_t previousLevels = LaneQuantiser::kNoNeighbour;
    AmountBytes previousAmounts = 0;
    uint32_t x = uint32_t(call.startX) & mask;
    uint8_t pair[4];
    for (int32_t i = 0; i < call.pixelCount; ++i) {
        const uint8_t* c = channelsAt<S>(call.line, i, pair);
        const ColumnValues& column = t.columns[x];
        x = (x + 1) & mask;
        const uint64_t levels = quantiser.levelsSpread(c, column.dither);
        const AmountBytes own = separation.entry(LaneQuantiser::index(levels));
        const AmountBytes other =
            LaneQuantiser::near(levels, previousLevels) ? previousAmounts : own;
        previousLevels = levels;
        previousAmounts = own;
        out.put(Lanes::codes(t.records, own, other, column));
    }
    out.finish();
    return INKDOT_OK;
}

// The column path where it holds, on tables of its own stack frame.
template <Sampling S, class Lanes>
[[gnu::noinline]] bool tryColumns(const LineCall& call) {
    if (!columnsHold(call.view)) return false;
    const LaneQuantiser quantiser(call.view);
    ColumnTables t;
    prepareColumns(call, t);
    ditherMultiSepColumns<S, Lanes>(call, quantiser, t);
    return true;
}

template <Sampling S, class Table>
[[gnu::noinline]] int32_t ditherMultiSepPrepared(const LineCall& call, const LevelRecord* records,
                                                 const int32_t* thresholds) {
    const PreparedCodes<Table> codes(records, Table{thresholds});
    return ditherMultiSepLine<S>(call, codes);
}

template <class Lanes>
int32_t ditherMultiSepKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.view.outputBits != 2) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Smaller>(call.view.inputScale, [&](auto sampling) {
        constexpr Sampling kSampling = decltype(sampling)::value;
        const LevelRecord* records = call.view.levelRecords;
        const int32_t* thresholds = call.view.levelThresholds;
        return withRecordCheck(call.view, call.pixelCount, [&](auto checked) {
            constexpr bool kChecked = decltype(checked)::value;
            using Table = LevelThresholdsOf<kChecked>;
            if (call.pixelCount >= kPrepareMinimum) {
                if constexpr (kChecked) {
                    if (tryColumns<kSampling, Lanes>(call)) return int32_t(INKDOT_OK);
                }
                return ditherMultiSepPrepared<kSampling, Table>(call, records, thresholds);
            }
            return ditherMultiSepLine<kSampling>(call,
                                                 DirectCodes<Table>(records, Table{thresholds}));
        });
    });
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneDitherMultiSep, ditherMultiSepKernel<FastLanes>)
INKDOT_DEFINE_KERNEL(HalftoneDitherMultiSepPortable, ditherMultiSepKernel<PortableLanes>)

}  // namespace inkdot::kernels
