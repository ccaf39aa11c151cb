// The four-channel separation step shared by the kernels that turn CMYK-like
// input into six inks: quantising each channel onto the 32-step grid of the
// separation table with a matrix dither, reading the entry of six ink
// amounts, smoothing the amounts with the previous pixel's, and the
// line-continuity clearing of the error lines of the diffusing members.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "kernels/diffusion.h"

namespace inkdot::kernels {

// ---------------------------------------------------------------------------
// Quantiser and separation table

// Bytes per separation-table entry: the kernels address the table in six-byte
// steps, one byte per ink.
inline constexpr int32_t kSeparationEntryBytes = 6;
inline constexpr int kInks = 6;

// Right shift that brings a matrix value into a byte: the number of
// significant bits of (matrixSize + 1) / 512, so that matrices of up to 256
// ranks are used as they are and larger ones are scaled down.
inline int32_t ditherShift(int32_t matrixSize) {
    uint32_t v = (uint32_t(matrixSize) + 1u) >> 9;
    int32_t bits = 0;
    for (; v != 0; v >>= 1) ++bits;
    return bits;
}

// The quantiser's dither value of a matrix value: even, 0..254 for values
// below matrixSize.
INKDOT_ALWAYS_INLINE uint32_t quantiserDither(int32_t matrixValue, int32_t shift) {
    return uint32_t(matrixValue >> shift) & 0xFEu;
}

// Grid levels of the four channels of one pixel: the separation-table entry
// they address, and the levels one byte each for the neighbour test.
struct GridLevels {
    uint32_t index;
    uint32_t packed;
};

// The six amounts of an entry one byte each, a0 in the lowest byte: read in
// two loads and smoothed as one word.
using AmountBytes = uint64_t;

INKDOT_ALWAYS_INLINE int32_t amountOf(AmountBytes bytes, int j) {
    return int32_t(uint32_t(bytes >> (8 * j)) & 0xFFu);
}

// Six ink amounts, a0..a5 in table order.
struct InkAmounts {
    int32_t a[kInks];
};

INKDOT_ALWAYS_INLINE InkAmounts unpackAmounts(AmountBytes bytes) {
    return {{amountOf(bytes, 0), amountOf(bytes, 1), amountOf(bytes, 2), amountOf(bytes, 3),
             amountOf(bytes, 4), amountOf(bytes, 5)}};
}

// Whether the four channel values of a pixel are all zero: one load of the
// four bytes.
INKDOT_ALWAYS_INLINE bool blankPixel(const uint8_t* c) {
    uint32_t word;
    std::memcpy(&word, c, 4);
    return word == 0;
}

// The quantiser (per input value a base level and the step threshold at
// which the next level is taken) and the separation table it indexes.
class Separation {
public:
    explicit Separation(const KernelView& view)
        : quantiser_(view.quantiser), table_(view.separationTable) {}

    // Level of one channel value: the base, or the next level up when the
    // step threshold is at or below the dither value t.
    INKDOT_ALWAYS_INLINE uint32_t level(uint32_t c, uint32_t t) const {
        const uint8_t* pair = quantiser_ + 2 * c;
        return uint32_t(pair[0]) + uint32_t(pair[1] <= t);
    }

    INKDOT_ALWAYS_INLINE GridLevels levels(const uint8_t* c, uint32_t t) const {
        const uint32_t k0 = level(c[0], t), k1 = level(c[1], t);
        const uint32_t k2 = level(c[2], t), k3 = level(c[3], t);
        return {(k0 << 15) + (k1 << 10) + (k2 << 5) + k3, k0 | (k1 << 8) | (k2 << 16) | (k3 << 24)};
    }

    // The six bytes of the entry at grid levels g, or at its index.
    INKDOT_ALWAYS_INLINE AmountBytes entry(const GridLevels& g) const { return entry(g.index); }
    INKDOT_ALWAYS_INLINE AmountBytes entry(uint32_t index) const {
        const uint8_t* e = table_ + size_t(index) * kSeparationEntryBytes;
        uint32_t low;
        uint16_t high;
        std::memcpy(&low, e, 4);
        std::memcpy(&high, e + 4, 2);
        return fromLittleEndian(low, high);
    }
    INKDOT_ALWAYS_INLINE InkAmounts amounts(const GridLevels& g) const {
        return unpackAmounts(entry(g));
    }

private:
    // Bytes 0..3 and 4..5 of an entry as one word with byte 0 lowest.
    static INKDOT_ALWAYS_INLINE AmountBytes fromLittleEndian(uint32_t low, uint16_t high) {
        if constexpr (std::endian::native == std::endian::little) {
            return AmountBytes(low) | (AmountBytes(high) << 32);
        } else {
            low = __builtin_bswap32(low);
            high = uint16_t((high >> 8) | (high << 8));
            return AmountBytes(low) | (AmountBytes(high) << 32);
        }
    }

    const uint8_t* quantiser_;
    const uint8_t* table_;
};

// ---------------------------------------------------------------------------
// The quantiser in 16-bit lanes

// A 64-bit word of four 16-bit lanes, each holding `v`.
INKDOT_ALWAYS_INLINE constexpr uint64_t inEachLane16(uint64_t v) {
    return v * 0x0001000100010001ull;
}

// The quantiser as one table of words per channel, so that the four grid
// levels of a pixel come out of one sum: the word of channel k for input
// value c holds base * 256 + 256 - threshold in lane 3 - k, and adding the
// dither value t to every lane carries into the level bits exactly when the
// step threshold is at or below t. Channel 3 ends in lane 0, channel 0 in
// lane 3. Holds only for quantisers whose levels stay on the grid (0..31).
class LaneQuantiser {
public:
    // Whether every level the quantiser gives lies on the grid.
    static bool fits(const KernelView& view) {
        const uint8_t* q = view.quantiser;
        bool fits = true;
        for (int32_t c = 0; c < 256; ++c)
            fits &= uint32_t(q[2 * c]) + uint32_t(q[2 * c + 1] <= 254) <= 31;
        return fits;
    }

    explicit LaneQuantiser(const KernelView& view) {
        const uint8_t* q = view.quantiser;
        for (int32_t c = 0; c < 256; ++c) {
            const uint64_t word = uint64_t(q[2 * c]) * 256 + 256 - q[2 * c + 1];
            for (int k = 0; k < 4; ++k) words_[k][c] = word << (16 * (3 - k));
        }
    }

    // The levels of channels c[0..3] with dither value t (0..254), or with
    // inEachLane16(t) where a caller keeps the dither spread over the lanes.
    INKDOT_ALWAYS_INLINE uint64_t levels(const uint8_t* c, uint32_t t) const {
        return levelsSpread(c, inEachLane16(t));
    }
    INKDOT_ALWAYS_INLINE uint64_t levelsSpread(const uint8_t* c, uint64_t ditherLanes) const {
        const uint64_t sum =
            words_[0][c[0]] + words_[1][c[1]] + words_[2][c[2]] + words_[3][c[3]] + ditherLanes;
        return (sum >> 8) & inEachLane16(0xFF);
    }

    // The separation-table index (k0 << 15) + (k1 << 10) + (k2 << 5) + k3 of
    // levels in lanes, drawn together in two steps of shifts.
    static INKDOT_ALWAYS_INLINE uint32_t index(uint64_t levels) {
        const uint64_t pairs = (levels | (levels >> 11)) & 0x000003FF000003FFull;
        return uint32_t(pairs | (pairs >> 22));
    }

    // Whether every level lies within one step of the previous pixel's, as
    // PreviousPixel::near does on bytes: 0x81 + k - p stays within
    // 0x41..0xA0, and a step of -1, 0 or +1 leaves 0x80, 0x81 or 0x82.
    // Previous levels of 64 make a pixel no neighbour.
    static constexpr uint64_t kNoNeighbour = inEachLane16(0x40);
    static INKDOT_ALWAYS_INLINE bool near(uint64_t levels, uint64_t previous) {
        const uint64_t d = ((levels | inEachLane16(0x80)) - previous) + inEachLane16(1);
        const uint64_t low = d & inEachLane16(3);
        return (d & inEachLane16(0xFFFC)) == inEachLane16(0x80) &&
               (low & (low >> 1) & inEachLane16(1)) == 0;
    }

private:
    uint64_t words_[4][256];
};

// ---------------------------------------------------------------------------
// Smoothing with the previous pixel

// What a kernel remembers of the previous pixel: its grid levels, one byte
// each (bytes of 64 at the start of a call, so that the first pixel is never
// taken as a neighbour), and its amounts.
struct PreviousPixel {
    static constexpr uint32_t kNoNeighbour = 0x40404040u;

    uint32_t levels = kNoNeighbour;
    AmountBytes amounts = 0;

    // Whether every channel lies within one grid step of the previous pixel's.
    // Byte by byte, 0x81 + k - p stays within 0x41..0xA0 for levels below 32,
    // so no byte borrows from the next; a step of -1, 0 or +1 leaves 0x80,
    // 0x81 or 0x82, the bytes whose top six bits are 100000 and whose low two
    // bits are not both set.
    INKDOT_ALWAYS_INLINE bool near(const GridLevels& g) const {
        const uint32_t d = ((g.packed | 0x80808080u) - levels) + 0x01010101u;
        const uint32_t low = d & 0x03030303u;
        return (d & 0xFCFCFCFCu) == 0x80808080u && (low & (low >> 1) & 0x01010101u) == 0;
    }
};

// The one-bit smoothing: next to a neighbouring pixel each amount becomes the
// mean of its own and the previous final amount, rounded up for an even
// matrix value and down for an odd one. Ink 4 is averaged only while its
// previous amount is below `inkFourLimit` (pass 256 to average all six).
// Remembers the levels and the final amounts.
INKDOT_ALWAYS_INLINE AmountBytes smoothMean(AmountBytes a, const GridLevels& g,
                                            PreviousPixel& previous, uint32_t oddMask,
                                            int32_t inkFourLimit) {
    constexpr AmountBytes kLow7 = 0x7F7F7F7F7F7Full, kLsb = 0x010101010101ull;
    constexpr AmountBytes kInkFour = AmountBytes(0xFF) << 32;
    const AmountBytes p = previous.amounts;
    // Per byte: (a + p) >> 1, plus the dropped bit when rounding up.
    const AmountBytes roundUp = AmountBytes(~oddMask & 1u) * kLsb;
    AmountBytes mean = (a & p) + (((a ^ p) >> 1) & kLow7) + ((a ^ p) & roundUp);
    const AmountBytes keep = amountOf(p, 4) >= inkFourLimit ? kInkFour : 0;
    mean = (mean & ~keep) | (a & keep);
    const AmountBytes result = previous.near(g) ? mean : a;
    previous.levels = g.packed;
    previous.amounts = result;
    return result;
}
INKDOT_ALWAYS_INLINE void smoothMean(InkAmounts& a, const GridLevels& g, PreviousPixel& previous,
                                     uint32_t oddMask, int32_t inkFourLimit) {
    AmountBytes bytes = 0;
    for (int j = 0; j < kInks; ++j) bytes |= AmountBytes(a.a[j]) << (8 * j);
    a = unpackAmounts(smoothMean(bytes, g, previous, oddMask, inkFourLimit));
}

// The six amounts of the two-bit smoothing as 16-bit lanes of two words:
// a0, a2, a4 in `even`, a1, a3, a5 in `odd`, each lowest first.
struct AmountLanes {
    AmountBytes even;
    AmountBytes odd;

    INKDOT_ALWAYS_INLINE int32_t operator[](int j) const {
        const AmountBytes word = (j & 1) != 0 ? odd : even;
        return int32_t(uint32_t(word >> (16 * (j >> 1))) & 0xFFFFu);
    }
    INKDOT_ALWAYS_INLINE InkAmounts unpacked() const {
        const AmountLanes& a = *this;
        return {{a[0], a[1], a[2], a[3], a[4], a[5]}};
    }
};

// The amounts of the two-bit smoothing: each of a pixel's table bytes b
// plus the byte it is summed with, 0..510, times 2^Shift (at most 2^7).
template <int Shift = 0>
INKDOT_ALWAYS_INLINE AmountLanes sumAmountLanes(AmountBytes b, AmountBytes other) {
    static_assert(Shift >= 0 && Shift <= 7, "a scaled amount must fit 16 bits");
    // Both words widened to 16 bits an amount and added lane by lane.
    constexpr AmountBytes kEven = 0x0000FF00FF00FFull;
    const AmountBytes even = (b & kEven) + (other & kEven);
    const AmountBytes odd = ((b >> 8) & kEven) + ((other >> 8) & kEven);
    return {even << Shift, odd << Shift};
}

// The two-bit smoothing: next to a neighbouring pixel each amount is the sum
// of its own and the previous pixel's table byte, otherwise twice its own, so
// that amounts run 0..510 either way. Remembers the levels and the bytes.
INKDOT_ALWAYS_INLINE AmountLanes smoothSumLanes(AmountBytes b, const GridLevels& g,
                                                PreviousPixel& previous) {
    const AmountBytes other = previous.near(g) ? previous.amounts : b;
    previous.levels = g.packed;
    previous.amounts = b;
    return sumAmountLanes(b, other);
}
INKDOT_ALWAYS_INLINE InkAmounts smoothSum(AmountBytes b, const GridLevels& g,
                                          PreviousPixel& previous) {
    return smoothSumLanes(b, g, previous).unpacked();
}
INKDOT_ALWAYS_INLINE InkAmounts smoothSum(const InkAmounts& b, const GridLevels& g,
                                          PreviousPixel& previous) {
    AmountBytes bytes = 0;
    for (int j = 0; j < kInks; ++j) bytes |= AmountBytes(b.a[j]) << (8 * j);
    return smoothSum(bytes, g, previous);
}

// ---------------------------------------------------------------------------
// Tables indexed by sums of amounts or record fields

// A table read at an index that amounts or records compose: an index the
// table does not hold is clamped to its first or last entry rather than read
// outside it.
template <typename T, int32_t Size>
struct ClampedTable {
    const T* values;

    INKDOT_ALWAYS_INLINE int32_t operator[](int32_t index) const {
        const int32_t i = index < 0 ? 0 : index > Size - 1 ? Size - 1 : index;
        return values[i];
    }
};

// levelThresholds of a diffusion object (256 entries) and errorThresholds.
using LevelThresholdTable = ClampedTable<int32_t, 256>;
using ErrorThresholdTable = ClampedTable<int16_t, 512>;

// The same tables read without the clamp, for indices known to lie within
// them.
template <typename T>
struct PlainTable {
    const T* values;

    INKDOT_ALWAYS_INLINE int32_t operator[](int32_t index) const { return values[index]; }
};

// Whether every level record keeps the indices that the two-bit kernels form
// from it within levelThresholds and errorThresholds: no negative span, the
// total the sum of the three spans and at most 255. The resource sequence
// builds such records; with them every sum of one record's spans, 255 less
// any two of them, and a leading record's total plus the spans of a trailing
// record that fits after it lie within 0..255.
inline bool recordsWithinTables(const LevelRecord* records, int32_t count) {
    bool within = true;
    for (int32_t i = 0; i < count; ++i) {
        const LevelRecord& r = records[i];
        within &= r.smallSpan >= 0 && r.mediumSpan >= 0 && r.thresholdBase >= 0 &&
                  r.smallSpan + r.mediumSpan + r.thresholdBase == r.levelTotal &&
                  r.levelTotal <= 255;
    }
    return within;
}

// The two-bit kernels' records: a lower half and an upper half (from 512 on),
// each indexed by an amount 0..510.
inline constexpr int32_t kUpperRecords = 512;

// Below this many pixels the records are not checked: a short stretch reads
// its thresholds clamped instead of paying a pass over the records.
inline constexpr int32_t kRecordCheckMinimum = 128;

// Calls f with std::true_type when the records are known to keep every index
// within the tables, so that the thresholds may be read without clamping,
// else with std::false_type.
template <typename F>
INKDOT_ALWAYS_INLINE int32_t withRecordCheck(const KernelView& view, int32_t pixelCount, F&& f) {
    const bool checked = pixelCount >= kRecordCheckMinimum &&
                         recordsWithinTables(view.levelRecords, 2 * kUpperRecords);
    return checked ? f(std::true_type{}) : f(std::false_type{});
}

// levelThresholds read clamped, or plainly once the records are checked.
template <bool Checked>
using LevelThresholdsOf = std::conditional_t<Checked, PlainTable<int32_t>, LevelThresholdTable>;
template <bool Checked>
using ErrorThresholdsOf = std::conditional_t<Checked, PlainTable<int16_t>, ErrorThresholdTable>;

// The thresholds at the ends of a stretch's large, medium and small dots,
// each the largest up to its position. A position covers a matrix value u
// exactly when the largest threshold up to it lies above u, so the first of
// the three positions that covers u is told by how many of these lie above
// it: the two-bit code (3 large, 2 medium, 1 small, 0 none), without a branch.
struct RunningMaxima {
    int32_t large;
    int32_t medium;
    int32_t small;
};

template <class Table>
INKDOT_ALWAYS_INLINE RunningMaxima runningMaxima(const Table& thresholds, int32_t large,
                                                 int32_t medium, int32_t small) {
    const int32_t tl = thresholds[large];
    const int32_t tm = std::max(tl, int32_t(thresholds[medium]));
    return {tl, tm, std::max(tm, int32_t(thresholds[small]))};
}

INKDOT_ALWAYS_INLINE uint32_t codeBelow(const RunningMaxima& m, int32_t u) {
    return uint32_t(u < m.large) + uint32_t(u < m.medium) + uint32_t(u < m.small);
}

// The threshold order against one matrix value u: position p of the order
// covers the pixel when levelThresholds[p] lies above u. A level record lays
// an ink's large, medium and small dots one after the other along the order.
template <class Table>
struct ThresholdOrder {
    Table thresholds;
    int32_t u;

    INKDOT_ALWAYS_INLINE bool covers(int32_t position) const { return u < thresholds[position]; }

    // The two-bit code of an ink whose stretch starts at `start`: large dots
    // on the record's first span, medium on the next, small up to `end`.
    INKDOT_ALWAYS_INLINE uint32_t stretch(int32_t start, const LevelRecord& r, int32_t end) const {
        const int32_t large = start + r.thresholdBase;
        return codeBelow(runningMaxima(thresholds, large, large + r.mediumSpan, end), u);
    }
};

// 32-bit sums that wrap as the hardware would rather than overflow.
INKDOT_ALWAYS_INLINE int32_t wrappingAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
INKDOT_ALWAYS_INLINE int32_t wrappingSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The collected error of the separating kernels: an entry divided by 32,
// rounding toward zero.
INKDOT_ALWAYS_INLINE int32_t towardZeroBy32(int32_t entry) {
    return (entry + ((entry >> 31) & 31)) >> 5;
}
INKDOT_ALWAYS_INLINE int32_t collectedErrorTowardZero(const uint16_t* own) {
    return towardZeroBy32(signedEntry(own));
}

// ---------------------------------------------------------------------------
// Six output planes

// Packs the dots of six planes that share one slot position. Each plane is
// one byte lane of a 64-bit word that takes `Bits` bits per pixel, so a pixel
// costs one shift and one OR whatever its six codes; every 8 / Bits pixels
// the lanes are stored, plane p at dst + p * planeStride. The slots in front
// of bitOffset keep what each plane's first byte holds, and a partly filled
// last byte is written whole with zeros after the last pixel.
template <int Bits>
class SixPlanePacker {
public:
    static constexpr int kSlots = 8 / Bits;

    SixPlanePacker(uint8_t* dst, int32_t planeStride, int32_t bitOffset)
        : dst_(dst), stride_(planeStride), slot_(bitOffset) {
        if (bitOffset == 0) return;
        const uint32_t kept = 8u - uint32_t(Bits * bitOffset);
        for (int p = 0; p < kInks; ++p) acc_ |= uint64_t(plane(p)[0] >> kept) << (8 * p);
    }

    // One pixel: `lanes` holds each plane's dot or code in the low bits of
    // its byte.
    INKDOT_ALWAYS_INLINE void put(uint64_t lanes) {
        acc_ = (acc_ << Bits) | lanes;
        if (++slot_ == kSlots) {
            store(acc_);
            ++dst_;
            acc_ = 0;
            slot_ = 0;
        }
    }

    void finish() {
        if (slot_ != 0) store(acc_ << (Bits * (kSlots - slot_)));
    }

private:
    uint8_t* plane(int p) const { return dst_ + ptrdiff_t(p) * stride_; }
    INKDOT_ALWAYS_INLINE void store(uint64_t lanes) {
        uint8_t* p = dst_;
        p[0] = uint8_t(lanes);
        p += stride_;
        p[0] = uint8_t(lanes >> 8);
        p += stride_;
        p[0] = uint8_t(lanes >> 16);
        p += stride_;
        p[0] = uint8_t(lanes >> 24);
        p += stride_;
        p[0] = uint8_t(lanes >> 32);
        p += stride_;
        p[0] = uint8_t(lanes >> 40);
    }

    uint8_t* dst_;
    ptrdiff_t stride_;
    int slot_;
    uint64_t acc_ = 0;
};

// A dot (or a two-bit code) of plane p as its lane.
INKDOT_ALWAYS_INLINE uint64_t lane(int p, uint32_t code) {
    return uint64_t(code) << (8 * p);
}

// The plane that each of the six amounts a0..a5 fills.
inline constexpr int kPlaneOfInk[kInks] = {0, 4, 1, 5, 2, 3};

// The dots or codes of the six inks, in amount order, as the lanes of their
// planes; the low `Bits` bits of each count (a kCode* value repeats its two
// bits across the byte).
template <int Bits>
INKDOT_ALWAYS_INLINE uint64_t inkLanes(const uint32_t (&codes)[kInks]) {
    constexpr uint32_t kMask = (1u << Bits) - 1;
    return [&]<size_t... J>(std::index_sequence<J...>) {
        return (lane(kPlaneOfInk[J], codes[J] & kMask) | ...);
    }
    (std::make_index_sequence<kInks>{});
}

// ---------------------------------------------------------------------------
// Line continuity

// Error that the separating kernels leave on their lines is cleared where the
// next call does not continue the line it came from: after a jump of more
// than one line everything; at certain line numbers the stretch in front of
// the next start or behind the previous end; on the same line continued
// further right the gap between the previous end and the next start (only its
// two ends, except on every sixteenth line). Stores lastLine and lastEnd for
// the next call. Guard entries are never touched.
template <int Lines>
void continueLines(const KernelView& view, LineState& state, int16_t* const (&lines)[Lines],
                   int32_t lineNumber, int32_t startX, int32_t pixelCount) {
    const uint32_t maxPixels = uint32_t(view.maxPixels < 0 ? 0 : view.maxPixels);
    const uint32_t previousLine = uint32_t(state.lastLine);
    uint32_t previousEnd = uint32_t(state.lastEnd);
    if (previousEnd == maxPixels) previousEnd = 0;
    state.lastLine = lineNumber;
    state.lastEnd = wrappingAdd(startX, pixelCount);

    auto clear = [&](uint32_t first, uint32_t end) {
        if (end > maxPixels) end = maxPixels;
        if (first >= end) return;
        for (int16_t* line : lines)
            std::memset(errorEntry(line, int32_t(first)), 0, size_t(end - first) * 2);
    };

    const uint32_t line = uint32_t(lineNumber);
    const uint32_t start = uint32_t(startX);
    const bool nextLine = line == previousLine + 1u;
    if (line > previousLine + 1u) {
        clear(0, maxPixels);
    } else if (nextLine && (line & 15u) == 15u && start != 0) {
        clear(0, start);
    } else if (line == previousLine && previousEnd < start) {
        if ((line & 15u) == 15u) {
            clear(previousEnd, start);
        } else {
            clear(previousEnd, previousEnd + 1u);
            clear(start - 1u, start);
        }
    } else if (nextLine && (line & 15u) == 0 && previousEnd != 0) {
        clear(previousEnd, maxPixels);
    }
}

}  // namespace inkdot::kernels
