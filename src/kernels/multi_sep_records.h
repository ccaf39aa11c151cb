// The ordered dots of the two-bit separating kernels: the planes, the pair
// rule, and the level records of a line, read record by record or prepared
// once per call (threshold or position records) for the pixel loop.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "kernels/diffusion.h"
#include "kernels/separation.h"
#include "kernels/vector_isa.h"

namespace inkdot::kernels::multisep {

// Planes of the six inks.
enum Plane : int {
    kPlaneF1 = 0,
    kPlaneF2 = 1,
    kPlaneP = 2,
    kPlaneG = 3,
    kPlaneS1 = 4,
    kPlaneS2 = 5
};

// Thresholds of the ordered dots, compared with one matrix value: a dot's
// stretch of the threshold order covers the pixel when the threshold at the
// stretch's end lies above the pixel's matrix value.
template <class Table>
struct OrderedDots {
    Table thresholds;
    int32_t matrixValue;

    INKDOT_ALWAYS_INLINE bool covers(int32_t index) const {
        return thresholds[index] > matrixValue;
    }
    // Large or medium dot from a record's own stretch, else none.
    INKDOT_ALWAYS_INLINE uint32_t largeOrMedium(const LevelRecord& r) const {
        if (covers(r.thresholdBase)) return kCodeLarge;
        if (covers(r.thresholdBase + r.mediumSpan)) return kCodeMedium;
        return kCodeNone;
    }
};

// Codes of a pair's leading and trailing ink.
struct PairCodes {
    uint32_t leading;
    uint32_t trailing;
};

// The pair rule. Without a leading ink the trailing ink takes its large and
// medium dots from its own stretch. When the two stretches fit one after the
// other below 255 the pixel gets at most one dot of the two; when they
// overlap the trailing ink's stretch is laid at the top of the order and both
// inks may get a dot.
template <class Table>
INKDOT_ALWAYS_INLINE PairCodes pairRule(const OrderedDots<Table>& t, const LevelRecord& f,
                                        const LevelRecord& s) {
    if (f.levelTotal == 0) return {kCodeNone, t.largeOrMedium(s)};
    const int32_t overlap = s.mediumSpan + f.levelTotal + s.thresholdBase - 255;
    if (overlap <= 0) {
        const int32_t i1 = f.thresholdBase;
        const int32_t i2 = i1 + f.mediumSpan;
        const int32_t i3 = i2 + f.smallSpan;
        const int32_t i4 = i3 + s.thresholdBase;
        const int32_t i5 = i4 + s.mediumSpan;
        if (t.covers(i1)) return {kCodeLarge, kCodeNone};
        if (t.covers(i2)) return {kCodeMedium, kCodeNone};
        if (t.covers(i3)) return {kCodeSmall, kCodeNone};
        if (t.covers(i4)) return {kCodeNone, kCodeLarge};
        if (t.covers(i5)) return {kCodeNone, kCodeMedium};
        return {kCodeNone, kCodeNone};
    }
    PairCodes codes{t.largeOrMedium(f), kCodeNone};
    if (codes.leading == kCodeNone && t.covers(f.levelTotal)) codes.leading = kCodeSmall;
    if (!t.covers(255 - s.mediumSpan - s.thresholdBase)) {
        if (t.covers(255 - s.mediumSpan))
            codes.trailing = kCodeLarge;
        else if (t.covers(255))
            codes.trailing = kCodeMedium;
    }
    return codes;
}

// The four matrix values of a pixel: the first pair's (which also gives the
// parity), the second pair's from the row half the matrix height further
// down, the plain ink's and the diffused ink's.
template <typename T>
struct PixelMatrix {
    T pair1, pair2, plain, diffused;
};

// The ordered codes of a pixel's six inks, slot values 0..3: the diffused
// inks (the trailing inks of the pairs and the diffused ink) may still gain
// a small dot by their error.
struct OrderedCodes {
    uint64_t lanes;  // all six codes as the lanes of their planes
    uint32_t trailing1, trailing2, diffused;
};

// The records of a pixel's six inks, by role.
template <class Lower, class Upper>
struct PixelRecords {
    Upper f1;
    Lower s1;
    Upper f2;
    Lower s2;
    Lower p;
    Upper g;
};

// The codes of a pixel from a records class that decides ink by ink.
template <class Records, class M, class R>
INKDOT_ALWAYS_INLINE OrderedCodes codesInkByInk(const Records& recs, const M& m, const R& r) {
    const PairCodes pair1 = recs.pair(r.f1, r.s1, m.pair1);
    const PairCodes pair2 = recs.pair(r.f2, r.s2, m.pair2);
    const uint32_t diffused = recs.diffused(r.g, m.diffused);
    return {lane(kPlaneF1, pair1.leading) | lane(kPlaneF2, pair2.leading) |
                lane(kPlaneP, recs.plain(r.p, m.plain)) | lane(kPlaneG, diffused) |
                lane(kPlaneS1, pair1.trailing) | lane(kPlaneS2, pair2.trailing),
            pair1.trailing, pair2.trailing, diffused};
}

// The matrix row of line y moved down by half the matrix height.
inline MatrixRow halfwayRow(const KernelView& view, int32_t lineNumber) {
    const uint32_t height = uint32_t(view.matrixHeight);
    const uint32_t row = (uint32_t(lineNumber) + height / 2u) % height;
    return {view.matrix + size_t(row) * uint32_t(view.matrixWidth), uint32_t(view.matrixWidth) - 1};
}

// The records of a call read at every pixel: the level records themselves
// and the thresholds their spans point at, clamped to the tables unless the
// records are known to keep every index within them.
template <bool Checked>
class DirectRecords {
public:
    using Lower = const LevelRecord*;
    using Upper = const LevelRecord*;
    using Previous = PreviousPixel;

    DirectRecords(const KernelView& view, int32_t lineNumber)
        : separation_(view),
          records_(view.levelRecords),
          thresholds_{view.levelThresholds},
          errorThresholds_{view.errorThresholds},
          row_(matrixRow(view, lineNumber)),
          halfway_(halfwayRow(view, lineNumber)),
          width_(view.matrixWidth) {}

    // A pixel's channels quantised with dither value t, and its amounts: the
    // entry those levels address, smoothed with the previous pixel's.
    using Quantised = GridLevels;
    INKDOT_ALWAYS_INLINE GridLevels quantise(const uint8_t* c, uint32_t t) const {
        return separation_.levels(c, t);
    }
    INKDOT_ALWAYS_INLINE AmountLanes amounts(const GridLevels& g, Previous& previous) const {
        return smoothSumLanes(separation_.entry(g), g, previous);
    }

    INKDOT_ALWAYS_INLINE PixelMatrix<int32_t> matrixAt(int32_t x) const {
        return {row_.at(x), halfway_.at(x + width_ / 2), row_.at(x + (3 * width_) / 4),
                row_.at(x + width_ / 4)};
    }
    static INKDOT_ALWAYS_INLINE uint32_t oddMask(const PixelMatrix<int32_t>& m) {
        return parityMask(m.pair1);
    }
    INKDOT_ALWAYS_INLINE OrderedCodes codes(const PixelMatrix<int32_t>& m,
                                            const PixelRecords<Lower, Upper>& r) const {
        return codesInkByInk(*this, m, r);
    }

    INKDOT_ALWAYS_INLINE Lower lower(const AmountLanes& a, int j) const { return records_ + a[j]; }
    INKDOT_ALWAYS_INLINE Upper upper(const AmountLanes& a, int j) const {
        return records_ + kUpperRecords + a[j];
    }

    // The plain ink: large, medium or small from its own stretch.
    INKDOT_ALWAYS_INLINE uint32_t plain(Lower p, int32_t u) const {
        const OrderedDots<Thresholds> dots{thresholds_, u};
        uint32_t code = dots.largeOrMedium(*p);
        if (code == kCodeNone && dots.covers(p->thresholdBase + p->mediumSpan + p->smallSpan))
            code = kCodeSmall;
        return code & 3;
    }
    // The diffused ink's large and medium dots.
    INKDOT_ALWAYS_INLINE uint32_t diffused(Upper g, int32_t u) const {
        return OrderedDots<Thresholds>{thresholds_, u}.largeOrMedium(*g) & 3;
    }
    INKDOT_ALWAYS_INLINE PairCodes pair(Upper f, Lower s, int32_t u) const {
        const PairCodes codes = pairRule(OrderedDots<Thresholds>{thresholds_, u}, *f, *s);
        return {codes.leading & 3, codes.trailing & 3};
    }

    static INKDOT_ALWAYS_INLINE int32_t levelTotal(const LevelRecord* r) { return r->levelTotal; }
    INKDOT_ALWAYS_INLINE int32_t errorThreshold(const LevelRecord* r) const {
        return errorThresholds_[r->levelTotal];
    }
    static INKDOT_ALWAYS_INLINE uint32_t arms(const LevelRecord* r) { return r->smallSpan != 0; }

private:
    using Thresholds = LevelThresholdsOf<Checked>;
    Separation separation_;
    const LevelRecord* records_;
    Thresholds thresholds_;
    ErrorThresholdsOf<Checked> errorThresholds_;
    MatrixRow row_;
    MatrixRow halfway_;
    int32_t width_;
};

// A signed value moved to the unsigned range with its order kept, so that a
// comparison is one unsigned test that a count can add with its carry.
INKDOT_ALWAYS_INLINE uint32_t ordered(int32_t v) {
    return uint32_t(v) ^ 0x80000000u;
}

// How many of three thresholds lie above u.
INKDOT_ALWAYS_INLINE uint32_t countAbove(uint32_t u, const uint32_t (&t)[3]) {
    return uint32_t(u < t[0]) + uint32_t(u < t[1]) + uint32_t(u < t[2]);
}

// Slot of a large-or-medium decision from the running maxima of the two
// stretches: 3 large, 2 medium, 0 none.
INKDOT_ALWAYS_INLINE uint32_t largeOrMediumSlot(uint32_t u, uint32_t large, uint32_t medium) {
    return uint32_t(u < large) + 2 * uint32_t(u < medium);
}

// What a long call prepares whatever its records: the quantiser in lanes, the
// matrix columns' values and each level record in the roles it plays, for
// records known to keep every index within the tables, a matrix whose width is
// a power of two (so that the columns repeat every `width` pixels) and a
// quantiser that fits its lanes. A prepared record is 32 bytes, so that it is
// found by its amount scaled to a byte offset.
template <class Column, class LowerRecord, class UpperRecord>
class PreparedLine {
    static_assert(sizeof(LowerRecord) == 32 && sizeof(UpperRecord) == 32,
                  "records are found by amounts scaled by 32");

public:
    using Lower = const LowerRecord*;
    using Upper = const UpperRecord*;

    // The previous pixel's levels in lanes and its table bytes.
    struct Previous {
        uint64_t levels = LaneQuantiser::kNoNeighbour;
        AmountBytes amounts = 0;
    };

    static bool fits(const KernelView& view) {
        const uint32_t width = uint32_t(view.matrixWidth);
        return width != 0 && width <= kMaxWidth && (width & (width - 1)) == 0 &&
               LaneQuantiser::fits(view);
    }

    // A pixel's levels and entry index, and its amounts as in DirectRecords,
    // each scaled to the byte offset of its prepared record.
    struct Quantised {
        uint64_t levels;
        uint32_t index;
    };
    INKDOT_ALWAYS_INLINE Quantised quantise(const uint8_t* c, uint32_t t) const {
        const uint64_t levels = quantiser_.levels(c, t);
        return {levels, LaneQuantiser::index(levels)};
    }
    INKDOT_ALWAYS_INLINE AmountLanes amounts(const Quantised& q, Previous& previous) const {
        const AmountBytes b = separation_.entry(q.index);
        const AmountBytes other =
            LaneQuantiser::near(q.levels, previous.levels) ? previous.amounts : b;
        previous = {q.levels, b};
        return sumAmountLanes<kRecordShift>(b, other);
    }

    INKDOT_ALWAYS_INLINE const Column& matrixAt(int32_t x) const {
        return columns_[uint32_t(x) & columnMask_];
    }

    // The records of amount j, which amounts() gives as a byte offset.
    INKDOT_ALWAYS_INLINE Lower lower(const AmountLanes& a, int j) const { return at(lower_, a[j]); }
    INKDOT_ALWAYS_INLINE Upper upper(const AmountLanes& a, int j) const { return at(upper_, a[j]); }

    template <class R>
    static INKDOT_ALWAYS_INLINE int32_t levelTotal(R r) {
        return r->levelTotal;
    }
    template <class R>
    INKDOT_ALWAYS_INLINE int32_t errorThreshold(R r) const {
        return r->errorThreshold;
    }
    template <class R>
    static INKDOT_ALWAYS_INLINE uint32_t arms(R r) {
        return uint32_t(r->arms);
    }

protected:
    static constexpr int32_t kMaxWidth = 512;
    static constexpr int kRecordShift = 5;  // log2 of the size of a prepared record

    PreparedLine(const KernelView& view, int32_t lineNumber)
        : separation_(view),
          quantiser_(view),
          columnMask_(uint32_t(view.matrixWidth) - 1),
          row_(matrixRow(view, lineNumber)),
          halfway_(halfwayRow(view, lineNumber)) {}

    // Fills each prepared record from its level record and the error
    // threshold of its total: lowerOf for the lower half, upperOf for the
    // upper.
    template <typename LowerOf, typename UpperOf>
    void fillRecords(const KernelView& view, LowerOf&& lowerOf, UpperOf&& upperOf) {
        const LevelRecord* records = view.levelRecords;
        const int16_t* errorThresholds = view.errorThresholds;
        for (int32_t i = 0; i < kUpperRecords; ++i) {
            const LevelRecord& r = records[i];
            lower_[i] = lowerOf(r, errorThresholds[r.levelTotal]);
        }
        for (int32_t i = 0; i < kUpperRecords; ++i) {
            const LevelRecord& r = records[kUpperRecords + i];
            upper_[i] = upperOf(r, errorThresholds[r.levelTotal]);
        }
    }

    // Fills each column from its four matrix values mapped by `map`, which
    // is called once per value of the two rows, and the first pair's value
    // itself: column(PixelMatrix of mapped values, first pair's value).
    template <typename Map, typename Column_>
    void fillColumns(Map&& map, Column_&& column) {
        using Mapped = decltype(map(int32_t{}));
        const int32_t width = int32_t(columnMask_ + 1);
        Mapped row[kMaxWidth], halfway[kMaxWidth];
        for (int32_t x = 0; x < width; ++x) {
            row[x] = map(row_.values[x]);
            halfway[x] = map(halfway_.values[x]);
        }
        auto at = [this](int32_t x) { return uint32_t(x) & columnMask_; };
        for (int32_t x = 0; x < width; ++x) {
            columns_[x] =
                column(PixelMatrix<Mapped>{row[x], halfway[at(x + width / 2)],
                                           row[at(x + (3 * width) / 4)], row[at(x + width / 4)]},
                       row_.values[x]);
        }
    }

private:
    template <class R>
    static INKDOT_ALWAYS_INLINE const R* at(const R* records, int32_t offset) {
        return reinterpret_cast<const R*>(reinterpret_cast<const char*>(records) + offset);
    }

    Separation separation_;
    LaneQuantiser quantiser_;
    uint32_t columnMask_;
    MatrixRow row_;
    MatrixRow halfway_;
    Column columns_[kMaxWidth];
    LowerRecord lower_[kUpperRecords];
    UpperRecord upper_[kUpperRecords];
};

// A lower record as ThresholdRecords prepares it: as the plain ink and as
// the trailing ink of a pair.
struct alignas(32) ThresholdLower {
    uint32_t own[3];    // maxima of its stretch from the start of the order
    uint32_t topBlock;  // the threshold that blocks its stretch at the top
    uint32_t topLarge;  // maxima of its large and medium dots at the top
    uint32_t topMedium;
    int16_t levelTotal;
    int16_t errorThreshold;
    int16_t largeAndMedium;  // thresholdBase + mediumSpan
    uint8_t thresholdBase;
    uint8_t arms;
};
// An upper record as ThresholdRecords prepares it: as the leading ink of a
// pair and as the diffused ink.
struct alignas(32) ThresholdUpper {
    uint32_t lead[3];   // maxima of its stretch from the start; none without dots
    uint32_t ownLarge;  // maxima of its large and medium dots as the diffused ink
    uint32_t ownMedium;
    int16_t levelTotal;
    int16_t errorThreshold;
    uint32_t arms;
};

// A prepared call that compares thresholds: each record in the role it
// plays, as the maxima of the thresholds its stretches end at, and each
// matrix column's four values, all kept `ordered`. Only the trailing ink of a
// pair that fits after its leading ink reads thresholds at the pixel.
class ThresholdRecords
    : public PreparedLine<PixelMatrix<uint32_t>, ThresholdLower, ThresholdUpper> {
public:
    ThresholdRecords(const KernelView& view, int32_t lineNumber) : PreparedLine(view, lineNumber) {
        const int32_t* raw = view.levelThresholds;
        for (int32_t i = 0; i < 256; ++i) thresholds_[i] = ordered(raw[i]);
        const uint32_t* t = thresholds_;
        auto maxima = [t](int32_t large, int32_t medium, int32_t small) {
            const uint32_t tl = t[large], tm = std::max(tl, t[medium]);
            return std::array<uint32_t, 3>{tl, tm, std::max(tm, t[small])};
        };
        fillRecords(
            view,
            [t, &maxima](const LevelRecord& r, int16_t errorThreshold) {
                const int32_t largeAndMedium = r.thresholdBase + r.mediumSpan;
                const auto own = maxima(r.thresholdBase, largeAndMedium, r.levelTotal);
                const uint32_t topLarge = t[255 - r.mediumSpan];
                return ThresholdLower{{own[0], own[1], own[2]},
                                      t[255 - largeAndMedium],
                                      topLarge,
                                      std::max(topLarge, t[255]),
                                      r.levelTotal,
                                      errorThreshold,
                                      int16_t(largeAndMedium),
                                      uint8_t(r.thresholdBase),
                                      uint8_t(r.smallSpan != 0)};
            },
            [&maxima](const LevelRecord& r, int16_t errorThreshold) {
                const auto own =
                    maxima(r.thresholdBase, r.thresholdBase + r.mediumSpan, r.levelTotal);
                // ordered(INT32_MIN): no matrix value lies below it.
                const bool dots = r.levelTotal != 0;
                return ThresholdUpper{{dots ? own[0] : 0u, dots ? own[1] : 0u, dots ? own[2] : 0u},
                                      own[0],
                                      own[1],
                                      r.levelTotal,
                                      errorThreshold,
                                      uint32_t(r.smallSpan != 0)};
            });
        fillColumns(ordered, [](const PixelMatrix<uint32_t>& m, int32_t) { return m; });
    }

    static INKDOT_ALWAYS_INLINE uint32_t oddMask(const PixelMatrix<uint32_t>& m) {
        return parityMask(int32_t(m.pair1));
    }
    INKDOT_ALWAYS_INLINE OrderedCodes codes(const PixelMatrix<uint32_t>& m,
                                            const PixelRecords<Lower, Upper>& r) const {
        return codesInkByInk(*this, m, r);
    }

    INKDOT_ALWAYS_INLINE uint32_t plain(Lower p, uint32_t u) const { return countAbove(u, p->own); }
    INKDOT_ALWAYS_INLINE uint32_t diffused(Upper g, uint32_t u) const {
        return largeOrMediumSlot(u, g->ownLarge, g->ownMedium);
    }
    // A leading ink without dots never covers, so a trailing ink that fits
    // after it takes its stretch from the start of the order.
    INKDOT_ALWAYS_INLINE PairCodes pair(Upper f, Lower s, uint32_t u) const {
        const uint32_t leading = countAbove(u, f->lead);
        if (f->levelTotal + s->largeAndMedium > 255) {
            return {leading,
                    u < s->topBlock ? 0u : largeOrMediumSlot(u, s->topLarge, s->topMedium)};
        }
        if (leading != 0) return {leading, 0};
        const uint32_t* at = thresholds_ + f->levelTotal;
        const uint32_t large = at[s->thresholdBase];
        return {0, largeOrMediumSlot(u, large, std::max(large, at[s->largeAndMedium]))};
    }

private:
    uint32_t thresholds_[256];
};

#ifdef INKDOT_KERNELS_SSE2
// A matrix column for PositionRecords: the last position of each of the
// pixel's four matrix values, four lanes of the first pair's and four of the
// second pair's, then three of the plain ink's with the first pair's parity
// (0 or 1) in the fourth lane, and four of the diffused ink's.
struct alignas(16) PositionColumn {
    int16_t pairs[8];
    int16_t singles[8];
};

// A position that covers nothing.
inline constexpr int16_t kNeverCovers = -32768;

// A lower record as PositionRecords prepares it.
struct alignas(32) PositionLower {
    int16_t plain[4];     // thresholdBase, + mediumSpan, levelTotal; never
    int16_t trailing[4];  // thresholdBase, + mediumSpan twice; 0: added to the start
    int16_t topStart[4];  // 255 - thresholdBase - mediumSpan in every lane
    int16_t levelTotal;
    int16_t errorThreshold;
    int16_t arms;
    int16_t unused;
};
// An upper record as PositionRecords prepares it.
struct alignas(32) PositionUpper {
    int16_t lead[4];      // thresholdBase, + mediumSpan, levelTotal, never; never without dots
    int16_t leadEnd[4];   // levelTotal three times; levelTotal, or never without dots
    int16_t diffused[4];  // thresholdBase, + mediumSpan twice; never
    int16_t levelTotal;
    int16_t errorThreshold;
    int16_t arms;
    int16_t unused;
};

// A prepared call whose thresholds never fall along the order. Position p
// then covers matrix value u exactly when p lies after the last position
// whose threshold is at most u (-1 when every threshold lies above u), so
// each column keeps its last positions and each record the positions its
// stretches end at, and a pixel compares positions, four to a 16-bit lane
// group and two groups to a register: a group's code counts the first three
// lanes that lie after the column's last position, or is 0 when the fourth
// does. A trailing ink's stretch starts at its leading ink's total while the
// two fit and is laid at the top of the order when they overlap: the start is
// the smaller of the two, and the trailing ink is blocked where the start
// covers the pixel, unless the leading ink has no dots.
class PositionRecords : public PreparedLine<PositionColumn, PositionLower, PositionUpper> {
public:
    static bool fits(const KernelView& view) {
        const int32_t* thresholds = view.levelThresholds;
        return std::is_sorted(thresholds, thresholds + 256);
    }

    PositionRecords(const KernelView& view, int32_t lineNumber) : PreparedLine(view, lineNumber) {
        fillRecords(
            view,
            [](const LevelRecord& r, int16_t errorThreshold) {
                const int16_t tb = r.thresholdBase, tbms = int16_t(tb + r.mediumSpan);
                const int16_t top = int16_t(255 - tbms);
                return PositionLower{{tb, tbms, r.levelTotal, kNeverCovers},
                                     {tb, tbms, tbms, 0},
                                     {top, top, top, top},
                                     r.levelTotal,
                                     errorThreshold,
                                     int16_t(r.smallSpan != 0),
                                     0};
            },
            [](const LevelRecord& r, int16_t errorThreshold) {
                const int16_t tb = r.thresholdBase, tbms = int16_t(tb + r.mediumSpan);
                const int16_t lt = r.levelTotal;
                const bool dots = lt != 0;
                return PositionUpper{{dots ? tb : kNeverCovers, dots ? tbms : kNeverCovers,
                                      dots ? lt : kNeverCovers, kNeverCovers},
                                     {lt, lt, lt, dots ? lt : kNeverCovers},
                                     {tb, tbms, tbms, kNeverCovers},
                                     lt,
                                     errorThreshold,
                                     int16_t(r.smallSpan != 0),
                                     0};
            });
        const int32_t* thresholds = view.levelThresholds;
        auto last = [thresholds](int32_t u) {
            return int16_t(std::upper_bound(thresholds, thresholds + 256, u) - thresholds - 1);
        };
        fillColumns(last, [](const PixelMatrix<int16_t>& l, int32_t first) {
            return PositionColumn{
                {l.pair1, l.pair1, l.pair1, l.pair1, l.pair2, l.pair2, l.pair2, l.pair2},
                {l.plain, l.plain, l.plain, int16_t(first & 1), l.diffused, l.diffused, l.diffused,
                 l.diffused}};
        });
    }

    static INKDOT_ALWAYS_INLINE uint32_t oddMask(const PositionColumn& m) {
        return 0u - uint32_t(m.singles[3]);
    }

    INKDOT_ALWAYS_INLINE OrderedCodes codes(const PositionColumn& m,
                                            const PixelRecords<Lower, Upper>& r) const {
        const __m128i f1 = load(r.f1->lead), f2 = load(r.f2->lead);
        const __m128i s1 = load(r.s1->trailing), s2 = load(r.s2->trailing);
        const __m128i start = _mm_min_epi16(_mm_unpackhi_epi64(f1, f2), _mm_unpackhi_epi64(s1, s2));
        const __m128i trailing = _mm_add_epi16(start, _mm_unpacklo_epi64(s1, s2));
        const __m128i singles =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r.p->plain)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(r.g->diffused)));
        const __m128i pairs = load(m.pairs);
        const __m128i leads = _mm_cmpgt_epi16(_mm_unpacklo_epi64(f1, f2), pairs);
        const __m128i trails = _mm_cmpgt_epi16(trailing, pairs);
        const __m128i others = _mm_cmpgt_epi16(singles, load(m.singles));
        // A group's compares (all ones where a lane holds) weighted 1, 1, 1
        // and -3 and summed come to minus its code: a blocked group, where
        // every lane holds, to 0. The sums are packed into plane order.
        const __m128i weights = _mm_setr_epi16(1, 1, 1, -3, 1, 1, 1, -3);
        const __m128i ones = _mm_set1_epi16(1), zero = _mm_setzero_si128();
        auto sums = [&](__m128i a, __m128i b) {
            return _mm_madd_epi16(
                _mm_packs_epi32(_mm_madd_epi16(a, weights), _mm_madd_epi16(b, weights)), ones);
        };
        const __m128i negated = _mm_packs_epi32(sums(leads, others), sums(trails, zero));
        const __m128i bytes = _mm_packus_epi16(_mm_sub_epi16(zero, negated), zero);
        uint64_t lanes;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&lanes), bytes);
        return {lanes, uint32_t(lanes >> (8 * kPlaneS1)) & 0xFF,
                uint32_t(lanes >> (8 * kPlaneS2)) & 0xFF, uint32_t(lanes >> (8 * kPlaneG)) & 0xFF};
    }

private:
    static INKDOT_ALWAYS_INLINE __m128i load(const int16_t* lanes) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes));
    }
};
#endif

}  // namespace inkdot::kernels::multisep
