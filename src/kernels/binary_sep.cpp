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
// As in the one-ink kernels: GCC's straight-line vectoriser and code hoisting
// cost more instructions than the error additions they rearrange.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-slp-vectorize", "no-code-hoisting")
#endif
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
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink,
                                            bool dot, uint32_t oddMask, ErrorCursor& line,
                                            int32_t error) {
        spreadTableA<3>(s, ink.amount, dot, oddMask, line, error);
    }
};

// HalftoneBinarySep1440: as BinarySep with table B down to B4.
struct BinarySep1440 : BinarySep {
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink,
                                            bool dot, uint32_t oddMask, ErrorCursor& line,
                                            int32_t error) {
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
    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, const DiffusedInk& ink,
                                            bool dot, uint32_t oddMask, ErrorCursor& line,
                                            int32_t error) {
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
                                      ErrorCursor& line) {
    if (!active) {
        line.passCarry();
        return false;
    }
    const int32_t value = ink.amount + ink.partner + towardZeroBy32(line.collected());
    bool dot;
    int32_t error;
    if constexpr (Member::kPartnerBlocks) {
        dot = !ink.partnerDot && ink.amount != 0 && value >= ink.threshold;
        error = value - (dot || ink.partnerDot ? Member::kDotError : 0);
    } else {
        dot = ink.amount != 0 && value >= ink.threshold;
        error = value - (dot ? Member::kDotError : 0) - (ink.partnerDot ? Member::kDotError : 0);
    }
    Member::spread(levels, ink, dot, oddMask, line, error);
    return dot;
}

// Activity of a diffused ink: the register takes a bit for every non-blank
// pixel whose amount is not zero and loses one every pixel; the ink is
// active while the register is not empty, so for the first four non-blank
// pixels of a call and for five after every pixel that had the ink.
INKDOT_ALWAYS_INLINE uint32_t stepActivity(uint32_t reg, int32_t amount) {
    return (reg | (amount != 0 ? 32u : 0u)) >> 1;
}

template <class Member, bool Repeat>
int32_t binarySepLine(const LineCall& call) {
    HalftoneContext& context = call.context;
    int16_t* const lines[2] = {errorLineA(context), errorLineB(context)};
    continueLines(context, lines, call.lineNumber, call.startX, call.pixelCount);

    const Separation separation(context);
    const int32_t* levelThresholds = blockAs<int32_t>(context, kLevelThresholds);
    const ErrorThresholdTable errorThresholds{blockAs<int16_t>(context, kErrorThresholds)};
    const MatrixRow matrix = matrixRow(context, call.lineNumber);
    const SpreadLevels levels = spreadLevels(context);
    const int32_t top = context.matrixSize - 1;
    const int32_t shift = ditherShift(context.matrixSize);
    ErrorCursor lineA(lines[0], call.startX), lineB(lines[1], call.startX);
    SixPlanePacker<1> out(call.dst, call.planeStride, call.bitOffset);
    const uint8_t* in = call.line;

    uint32_t activityA = 31, activityB = 31;
    PreviousPixel previous;
    for (int32_t i = 0; i < call.pixelCount; ++i, lineA.advance(), lineB.advance()) {
        const uint8_t* c = in;
        if (!Repeat || (i & 1) != 0) in += 4;
        if (blankPixel(c)) {
            // Blank: no ink, the collected errors and both carries dropped.
            lineA.clearOwn();
            lineB.clearOwn();
            out.put(0);
            continue;
        }
        const int32_t x = call.startX + i;
        const int32_t u0 = matrix.at(x);
        const int32_t u48 = matrix.at(x + 48);
        const uint32_t t = quantiserDither(matrix.at(x + 24), shift);
        const int32_t bias = thresholdBias(int32_t(t));
        const uint32_t oddMask = parityMask(u0);

        const GridLevels g = separation.levels(c, t);
        const AmountBytes read = separation.entry(g);
        activityA = stepActivity(activityA, amountOf(read, 1));
        activityB = stepActivity(activityB, amountOf(read, 3));
        const AmountBytes amounts = smoothMean(read, g, previous, oddMask, kInkFourSmoothLimit);
        const int32_t a0 = amountOf(amounts, 0), a1 = amountOf(amounts, 1);
        const int32_t a2 = amountOf(amounts, 2), a3 = amountOf(amounts, 3);
        const int32_t a4 = amountOf(amounts, 4), a5 = amountOf(amounts, 5);

        // The stack on u0: a5 takes the lowest ranks, a0 the next, a2 the
        // next. Under an a5 dot, an ink that no longer fits beside a5 takes
        // its ranks from the top of the range instead.
        const int32_t t5 = levelThresholds[a5], t0 = levelThresholds[a0];
        const int32_t t2 = levelThresholds[a2];
        const int32_t fromTop = wrappingSub(top, u0);
        const bool dot5 = u0 < t5;
        const int32_t below2 = wrappingAdd(t5, t0);
        const int32_t end2 = wrappingAdd(below2, t2);
        const bool overlap = a0 + a5 > 255 || a2 + a5 > 255;
        const bool dot0 = dot5 ? overlap && t0 > fromTop : u0 < below2;
        const bool dot2 = dot5 ? overlap && t2 > fromTop
                               : (end2 > top ? t2 > fromTop : below2 <= u0 && u0 < end2);
        const bool dot4 = u48 < levelThresholds[a4];

        const DiffusedInk inkA{a1, a0, dot0,
                               errorThresholds[Member::thresholdIndex(a1, a0, a5)] + bias};
        const DiffusedInk inkB{a3, a2, dot2,
                               errorThresholds[Member::thresholdIndex(a3, a2, a5)] - bias};
        const bool dot1 = diffusedDot<Member>(inkA, activityA != 0, levels, oddMask, lineA);
        const bool dot3 = diffusedDot<Member>(inkB, activityB != 0, levels, oddMask, lineB);

        out.put(lane(0, dot0) | lane(1, dot2) | lane(2, dot4) | lane(3, dot5) | lane(4, dot1) |
                lane(5, dot3));
    }
    lineA.finish();
    lineB.finish();
    out.finish();
    return INKDOT_OK;
}

template <class Member>
int32_t binarySepKernel(const LineCall& call) {
    if (!stretchFits(call.context, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.pairFlag > 1) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    // One input pixel serves two output pixels with inputScale 1; every
    // other value, -1 included, reads one pixel per output pixel.
    if (call.context.params.inputScale == 1) return binarySepLine<Member, true>(call);
    return binarySepLine<Member, false>(call);
}

} // namespace

INKDOT_DEFINE_KERNEL(HalftoneBinarySep, binarySepKernel<BinarySep>)
INKDOT_DEFINE_KERNEL(HalftoneBinarySep360, binarySepKernel<BinarySep360>)
INKDOT_DEFINE_KERNEL(HalftoneBinarySep1440, binarySepKernel<BinarySep1440>)

} // namespace inkdot::kernels
