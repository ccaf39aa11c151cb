// Four channels separated into six inks, one bit per dot.
//
// Each pixel's four values are quantised onto the separation grid with a
// little matrix dither, and the grid entry gives six ink amounts, smoothed
// with the previous pixel's. Four inks are placed by ordered dither: three of
// them stacked on one matrix value so that their dots avoid each other, the
// fourth on the matrix 48 columns further on. The two light inks are
// diffused, each on its own error line and paired with one of the stacked
// inks. The members differ in how a partner's ordered dot meets the diffused
// ink, the index of the diffused-dot threshold, the error a dot takes away
// and the diffusion patterns.

// Before any other header: the code generation of diffusing kernels.
#include "kernels/diffusion_codegen.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/separation.h"

namespace inkdot::kernels {
namespace {

// Ink a4 is smoothed only while its previous amount stays below this.
inline constexpr int32_t kInkFourSmoothLimit = 12;

// A diffused ink as one pixel sees it: its amount, its partner's amount and
// ordered dot, and the threshold its dot must reach.
struct DiffusedInk {
    int32_t amount;
    int32_t partner;
    bool partnerDot;
    int32_t threshold;
};

// HalftoneBinarySep: a partner's ordered dot blocks the diffused dot (and
// still takes a dot's worth of error); the threshold is indexed by the ink's
// amount plus twice the amounts stacked below it; table A down to A3.
struct BinarySep {
    static constexpr bool kPartnerBlocks = true;
    static constexpr int32_t kDotError = 254;

    static int32_t thresholdIndex(int32_t amount, int32_t partner, int32_t first) {
        return amount + 2 * (first + partner);
    }
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        spreadTableA<3>(s, ink.amount, dot, oddMask, line, error);
    }
};

// HalftoneBinarySep1440: as BinarySep with table B down to B4.
struct BinarySep1440 : BinarySep {
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        spreadTableB<4>(s, ink.amount, dot, oddMask, line, error);
    }
};

// HalftoneBinarySep360: the partner's ordered dot does not block; each of the
// two dots takes 255, so a pixel may give up 510. The threshold is indexed by
// the pair's sum; a partner's dot spreads the error as widely as a dense ink.
struct BinarySep360 {
    static constexpr bool kPartnerBlocks = false;
    static constexpr int32_t kDotError = 255;

    static int32_t thresholdIndex(int32_t amount, int32_t partner, int32_t) {
        return amount + partner;
    }
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        if (ink.partnerDot) return diffuseOn<kA1>(line, error, oddMask);
        spreadTableA<3>(s, ink.amount, dot, oddMask, line, error);
    }
};

// One diffused ink at one pixel: the collected error plus the pair's amounts
// against the threshold, then the error spread on the ink's line. An inactive
// ink diffuses nothing and only passes the carry on. Returns the dot.
template <class Member>
INKDOT_ALWAYS_INLINE bool diffusedDot(const DiffusedInk& ink, bool active,
                                      const SpreadLevels& levels, uint32_t oddMask,
                                      MemoryWalk& walk) {
    if (!active) {
        walk.passCarry();
        return false;
    }
    const int32_t value = ink.amount + ink.partner + towardZeroBy32(walk.collected());
    const bool reaches = (ink.amount != 0) & (value >= ink.threshold);
    bool dot;
    int32_t error;
    if constexpr (Member::kPartnerBlocks) {
        dot = !ink.partnerDot & reaches;
        error = value - ((dot | ink.partnerDot) ? Member::kDotError : 0);
    } else {
        dot = reaches;
        error = value - (dot ? Member::kDotError : 0) - (ink.partnerDot ? Member::kDotError : 0);
    }
    Member::spread(levels, ink, dot, oddMask, walk, error);
    return dot;
}

// What a pixel takes from its matrix column, gathered once per call so that
// the pixel loop reads it with a few loads: the value at the pixel (the rank
// of the stacked inks, whose parity picks the diffusion weights and the
// rounding of the smoothing), the value 48 columns on (ink a4's rank), and
// the quantiser's dither value from 24 columns on with its threshold bias.
struct ColumnFacts {
    int32_t u0;
    int32_t u48;
    uint32_t oddMask;
    uint8_t dither;
    int8_t bias;
    AmountBytes roundUp;  // 1 in every amount byte when u0 is even
};

// A matrix row repeats after the power of two above its column mask, at most
// 512 columns for the matrices a resource sequence builds; the facts of that
// many columns fit on the stack (12 KiB). A wider mask takes its facts in
// stretches of this many pixels instead.
inline constexpr uint32_t kColumnFactsCap = 512;

void fillColumnFacts(ColumnFacts* facts, const MatrixRow& matrix, uint32_t x, int32_t count,
                     int32_t shift) {
    constexpr AmountBytes kLsb = 0x010101010101ull;
    for (int32_t j = 0; j < count; ++j, ++x) {
        ColumnFacts& f = facts[j];
        f.u0 = matrix.at(int32_t(x));
        f.u48 = matrix.at(int32_t(x + 48u));
        const uint32_t t = quantiserDither(matrix.at(int32_t(x + 24u)), shift);
        f.dither = uint8_t(t);
        f.bias = int8_t(thresholdBias(int32_t(t)));
        f.oddMask = parityMask(f.u0);
        f.roundUp = AmountBytes(~f.oddMask & 1u) * kLsb;
    }
}

// Grid levels of a pixel's four channels (as Separation::levels), each
// quantiser pair read with scaled addressing.
INKDOT_ALWAYS_INLINE GridLevels quantise(const uint8_t* quantiser, const uint8_t* c, uint32_t t) {
    auto level = [&](uint32_t v) INKDOT_ALWAYS_INLINE_LAMBDA {
        return uint32_t(quantiser[2 * size_t(v)]) + uint32_t(quantiser[2 * size_t(v) + 1] <= t);
    };
    const uint32_t k0 = level(c[0]), k1 = level(c[1]), k2 = level(c[2]), k3 = level(c[3]);
    return {(k0 << 15) + (k1 << 10) + (k2 << 5) + k3, k0 | (k1 << 8) | (k2 << 16) | (k3 << 24)};
}

// The one-bit smoothing (as smoothMean) with the rounding word given and ink
// a4's exception taken without a branch: whether a4's previous amount holds
// it back changes unpredictably from pixel to pixel. `near` tells whether the
// pixel's levels lie within one step of the previous pixel's; `previous`
// holds the previous final amounts and takes this pixel's.
INKDOT_ALWAYS_INLINE AmountBytes smoothOneBit(AmountBytes a, bool near, AmountBytes& previous,
                                              AmountBytes roundUp) {
    constexpr AmountBytes kLow7 = 0x7F7F7F7F7F7Full;
    constexpr AmountBytes kInkFour = AmountBytes(0xFF) << 32;
    const AmountBytes p = previous;
    const AmountBytes mean = (a & p) + (((a ^ p) >> 1) & kLow7) + ((a ^ p) & roundUp);
    const AmountBytes keep =
        (AmountBytes(0) - AmountBytes(amountOf(p, 4) >= kInkFourSmoothLimit)) & kInkFour;
    previous = near ? mean ^ ((mean ^ a) & keep) : a;
    return previous;
}

// The grid levels of each pixel and whether they lie within one step of the
// previous pixel's: read from the quantiser's pairs one channel at a time, or
// (`Lanes`) summed in 16-bit lanes from per-call tables, which long calls
// build when the quantiser keeps its levels on the grid.
template <bool Lanes>
class LevelWalk;

template <>
class LevelWalk<false> {
public:
    explicit LevelWalk(const KernelView& view) : quantiser_(view.quantiser) {}

    // The separation-table index of channels c with dither value t.
    INKDOT_ALWAYS_INLINE uint32_t index(const uint8_t* c, uint32_t t, bool& near) {
        const GridLevels g = quantise(quantiser_, c, t);
        near = previous_.near(g);
        previous_.levels = g.packed;
        return g.index;
    }

private:
    const uint8_t* quantiser_;
    PreviousPixel previous_;
};

template <>
class LevelWalk<true> {
public:
    explicit LevelWalk(const KernelView& view) : quantiser_(view) {}

    INKDOT_ALWAYS_INLINE uint32_t index(const uint8_t* c, uint32_t t, bool& near) {
        const uint64_t levels = quantiser_.levels(c, t);
        near = LaneQuantiser::near(levels, previous_);
        previous_ = levels;
        return LaneQuantiser::index(levels);
    }

private:
    LaneQuantiser quantiser_;
    uint64_t previous_ = LaneQuantiser::kNoNeighbour;
};

// Calls shorter than this read the quantiser's pairs: building the lane
// tables (8 KiB) costs about as much as quantising a thousand pixels.
inline constexpr int32_t kLaneLevelsMinimum = 1024;

// Activity of the two diffused inks, ink a1's register in bits 10..14 of one
// word and ink a3's in bits 26..30: each register takes a bit for every
// non-blank pixel whose table amount is not zero and loses one every pixel;
// an ink is active while its register is not empty, so for the first four
// non-blank pixels of a call and for five after every pixel that had the ink.
struct InkActivity {
    static constexpr uint32_t kRegisters = 0x7C007C00u;
    uint32_t bits = kRegisters;

    // The top bit of bytes 1 and 3 of the entry's low word set when the byte
    // is not zero, moved in and shifted along.
    INKDOT_ALWAYS_INLINE void step(AmountBytes read) {
        const uint32_t low = uint32_t(read);
        const uint32_t nonZero = (((low & 0x7F007F00u) + 0x7F007F00u) | low) & 0x80008000u;
        bits = ((bits | nonZero) >> 1) & kRegisters;
    }
    INKDOT_ALWAYS_INLINE bool inkA() const { return (bits & 0x7C00u) != 0; }
    INKDOT_ALWAYS_INLINE bool inkB() const { return bits >= 0x04000000u; }
};

// The dots of the planes 0..5 as bits 0..5 of one word, spread to one bit in
// the low end of each byte lane: bit i times 2^(7j) lands at i + 7j, a
// multiple of 8 only for j = i, and no two products share a bit.
INKDOT_ALWAYS_INLINE uint64_t planeLanes(uint32_t bits) {
    constexpr uint64_t kSpread =
        1ull | 1ull << 7 | 1ull << 14 | 1ull << 21 | 1ull << 28 | 1ull << 35;
    return (uint64_t(bits) * kSpread) & 0x010101010101ull;
}

template <class Member, bool Repeat, bool Lanes>
int32_t binarySepLine(const LineCall& call) {
    const KernelView& view = call.view;
    int16_t* const lines[2] = {view.errorLines[0], view.errorLines[1]};
    continueLines(view, call.state, lines, call.lineNumber, call.startX, call.pixelCount);

    const Separation separation(view);
    LevelWalk<Lanes> levelWalk(view);
    const int32_t* levelThresholds = view.levelThresholds;
    const ErrorThresholdTable errorThresholds{view.errorThresholds};
    const MatrixRow matrix = matrixRow(view, call.lineNumber);
    const SpreadLevels levels = view.spread;
    const int32_t top = view.matrixSize - 1;
    const int32_t shift = ditherShift(view.matrixSize);
    MemoryWalk lineA(lines[0], call.startX), lineB(lines[1], call.startX);
    SixPlanePacker<1> out(call.dst, call.planeStride, call.bitOffset);
    const uint8_t* in = call.line;

    // Facts of one matrix period, filled once, or of one stretch at a time.
    ColumnFacts columns[kColumnFactsCap];
    const int width = std::bit_width(matrix.columnMask);
    const bool periodic = uint32_t(width) <= std::bit_width(kColumnFactsCap - 1);
    const int32_t stretch = periodic ? int32_t(1u << width) : int32_t(kColumnFactsCap);

    InkActivity activity;
    AmountBytes previous = 0;
    for (int32_t i0 = 0; i0 < call.pixelCount; i0 += stretch) {
        const int32_t count = std::min(stretch, call.pixelCount - i0);
        if (!periodic || i0 == 0)
            fillColumnFacts(columns, matrix, uint32_t(call.startX) + uint32_t(i0), count, shift);
        for (int32_t j = 0; j < count; ++j, lineA.advance(), lineB.advance()) {
            const uint8_t* c = in;
            if (!Repeat || ((i0 + j) & 1) != 0) in += 4;
            if (blankPixel(c)) {
                // Blank: no ink, the collected errors and both carries dropped.
                lineA.clearOwn();
                lineB.clearOwn();
                out.put(0);
                continue;
            }
            const ColumnFacts& column = columns[j];
            const int32_t u0 = column.u0;
            const uint32_t oddMask = column.oddMask;
            const int32_t bias = column.bias;

            bool near;
            const AmountBytes read = separation.entry(levelWalk.index(c, column.dither, near));
            activity.step(read);
            const InkAmounts amounts =
                unpackAmounts(smoothOneBit(read, near, previous, column.roundUp));
            const int32_t a0 = amounts.a[0], a1 = amounts.a[1], a2 = amounts.a[2];
            const int32_t a3 = amounts.a[3], a4 = amounts.a[4], a5 = amounts.a[5];

            // The stack on u0: a5 takes the lowest ranks, a0 the next, a2 the
            // next. Under an a5 dot, an ink that no longer fits beside a5
            // takes its ranks from the top of the range instead.
            const int32_t t5 = levelThresholds[a5], t0 = levelThresholds[a0];
            const int32_t t2 = levelThresholds[a2];
            const int32_t fromTop = wrappingSub(top, u0);
            const int32_t below2 = wrappingAdd(t5, t0);
            const int32_t end2 = wrappingAdd(below2, t2);
            const bool dot5 = u0 < t5;
            const bool overlap = std::max(a0, a2) + a5 > 255;
            const bool dot0 = dot5 ? overlap && t0 > fromTop : u0 < below2;
            const bool dot2 = dot5 ? overlap && t2 > fromTop
                                   : (end2 > top ? t2 > fromTop : below2 <= u0 && u0 < end2);
            const bool dot4 = column.u48 < levelThresholds[a4];

            const DiffusedInk inkA{a1, a0, dot0,
                                   errorThresholds[Member::thresholdIndex(a1, a0, a5)] + bias};
            const DiffusedInk inkB{a3, a2, dot2,
                                   errorThresholds[Member::thresholdIndex(a3, a2, a5)] - bias};
            const bool dot1 = diffusedDot<Member>(inkA, activity.inkA(), levels, oddMask, lineA);
            const bool dot3 = diffusedDot<Member>(inkB, activity.inkB(), levels, oddMask, lineB);

            out.put(planeLanes(uint32_t(dot0) | uint32_t(dot2) << 1 | uint32_t(dot4) << 2 |
                               uint32_t(dot5) << 3 | uint32_t(dot1) << 4 | uint32_t(dot3) << 5));
        }
    }
    out.finish();
    return INKDOT_OK;
}

template <class Member>
int32_t binarySepKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.pairFlag > 1) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    // One input pixel serves two output pixels with inputScale 1; every
    // other value, -1 included, reads one pixel per output pixel.
    const bool lanes = call.pixelCount >= kLaneLevelsMinimum && LaneQuantiser::fits(call.view);
    if (call.view.inputScale == 1) {
        return lanes ? binarySepLine<Member, true, true>(call)
                     : binarySepLine<Member, true, false>(call);
    }
    return lanes ? binarySepLine<Member, false, true>(call)
                 : binarySepLine<Member, false, false>(call);
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneBinarySep, binarySepKernel<BinarySep>)
INKDOT_DEFINE_KERNEL(HalftoneBinarySep360, binarySepKernel<BinarySep360>)
INKDOT_DEFINE_KERNEL(HalftoneBinarySep1440, binarySepKernel<BinarySep1440>)

}  // namespace inkdot::kernels
