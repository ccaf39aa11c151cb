// Four channels separated into six inks, two bits per dot (none, small,
// medium, large).
//
// Each pixel's four values are quantised onto the separation grid with a
// matrix dither; the entry's six bytes, summed with the previous pixel's,
// select one level record per ink. Two pairs of inks share a matrix value
// each, the leading ink below the trailing one in the threshold order; the
// trailing ink of each pair and a fifth ink also get small dots by error
// diffusion on three error lines, but only near pixels whose record arms the
// ink's activity register. The sixth ink is placed by ordered dither alone.
// The members differ in their input rule for paired pixels, the length of the
// activity registers, their diffusion patterns and the error a dot takes away.
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

// Planes of the six inks.
enum Plane : int { kPlaneF1 = 0, kPlaneF2 = 1, kPlaneP = 2, kPlaneG = 3, kPlaneS1 = 4, kPlaneS2 = 5 };

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
        if (t.covers(255 - s.mediumSpan)) codes.trailing = kCodeLarge;
        else if (t.covers(255)) codes.trailing = kCodeMedium;
    }
    return codes;
}

// HalftoneMultiSepMode: the half-width modes. Paired input pixels give the
// smaller value of each channel; 7-bit activity registers; patterns C1, C2,
// C0, C3 and A3.
struct MultiSepMode {
    static constexpr bool kPairedInput = true;
    static constexpr uint32_t kArmBit = 128;
    static constexpr int32_t kDotError = 255;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, ErrorCursor& line, int32_t error) {
        if (t > s.level1) return diffuseOn<kC1>(line, error, oddMask);
        if (t > s.level2) return diffuseOn<kC2>(line, error, oddMask);
        if (!dot) return diffuseOn<kC0>(line, error, oddMask);
        if (t > s.level3) return diffuseOn<kC3>(line, error, oddMask);
        return diffuseOn<kA3>(line, error, oddMask);
    }
};

// HalftoneMultiSep: table A down to A3.
struct MultiSep {
    static constexpr bool kPairedInput = false;
    static constexpr uint32_t kArmBit = 128;
    static constexpr int32_t kDotError = 255;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, ErrorCursor& line, int32_t error) {
        spreadTableA<3>(s, t, dot, oddMask, line, error);
    }
};

// HalftoneMultiSep1440: 11-bit activity registers; table B down to B2, then C5.
struct MultiSep1440 {
    static constexpr bool kPairedInput = false;
    static constexpr uint32_t kArmBit = 2048;
    static constexpr int32_t kDotError = 255;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, ErrorCursor& line, int32_t error) {
        if (!dot) return diffuseOn<kB0>(line, error, oddMask);
        if (t > s.level1) return diffuseOn<kB1>(line, error, oddMask);
        if (t > s.level2) return diffuseOn<kB2>(line, error, oddMask);
        return diffuseOn<kC5>(line, error, oddMask);
    }
};

// HalftoneMultiSep2880: 11-bit activity registers; the whole of table B; a
// dot takes two dots' worth of error.
struct MultiSep2880 {
    static constexpr bool kPairedInput = false;
    static constexpr uint32_t kArmBit = 2048;
    static constexpr int32_t kDotError = 510;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, ErrorCursor& line, int32_t error) {
        spreadTableB<5>(s, t, dot, oddMask, line, error);
    }
};

// Activity of a diffused ink: the register takes the arm bit at every pixel
// whose record has small dots and loses one bit every pixel; the ink is
// active while it is not empty.
template <class Member>
INKDOT_ALWAYS_INLINE uint32_t stepActivity(uint32_t reg, const LevelRecord& r) {
    return (reg | (r.smallSpan != 0 ? Member::kArmBit : 0u)) >> 1;
}

// The error step of a diffused ink with record r: an active ink without an
// ordered dot gets a small dot when its collected error plus its level total
// exceeds the threshold; any dot takes a dot's worth of error, and the error
// is spread on the ink's line. An inactive ink only passes the carry on.
template <class Member>
INKDOT_ALWAYS_INLINE uint32_t errorStep(uint32_t code, bool active, const LevelRecord& r,
                                        int32_t threshold, const SpreadLevels& levels,
                                        uint32_t oddMask, ErrorCursor& line) {
    if (!active) {
        line.passCarry();
        return code;
    }
    int32_t error = towardZeroBy32(line.collected()) + r.levelTotal;
    code |= code == kCodeNone && error > threshold ? kCodeSmall : kCodeNone;
    const bool dot = code != kCodeNone;
    error -= dot ? Member::kDotError : 0;
    Member::spread(levels, r.levelTotal, dot, oddMask, line, error);
    return code;
}

// The matrix row of line y moved down by half the matrix height.
inline MatrixRow halfwayRow(const HalftoneContext& context, int32_t lineNumber) {
    const uint32_t height = uint32_t(context.matrixHeight);
    const uint32_t row = (uint32_t(lineNumber) + height / 2u) % height;
    return {blockAs<int32_t>(context, kDitherMatrix) + size_t(row) * uint32_t(context.matrixWidth),
            uint32_t(context.matrixWidth) - 1};
}

// Input of the line: one group of four bytes per pixel, one group for two
// pixels (inputScale 1), or with paired input (inputScale -1 in the
// half-width modes) two groups per pixel of which each channel takes the
// smaller value.
enum class SepInput { Single, Repeat, Paired };

template <SepInput Input>
INKDOT_ALWAYS_INLINE const uint8_t* nextChannels(const uint8_t*& in, int32_t i, uint8_t* paired) {
    const uint8_t* c = in;
    if constexpr (Input == SepInput::Paired) {
        for (int k = 0; k < 4; ++k) paired[k] = c[k] < c[k + 4] ? c[k] : c[k + 4];
        in += 8;
        return paired;
    } else {
        if (Input == SepInput::Single || (i & 1) != 0) in += 4;
        return c;
    }
}

// Checked: the records are known to keep every index within the tables, so
// the thresholds are read without clamping.
template <class Member, SepInput Input, bool Checked>
int32_t multiSepLine(const LineCall& call) {
    HalftoneContext& context = call.context;
    int16_t* const lines[3] = {errorLineA(context), errorLineB(context), errorLineC(context)};
    continueLines(context, lines, call.lineNumber, call.startX, call.pixelCount);

    const Separation separation(context);
    const LevelRecord* records = blockAs<LevelRecord>(context, kLevelRecords);
    const LevelRecord* upper = records + kUpperRecords;
    using Thresholds = LevelThresholdsOf<Checked>;
    using ErrorTable = ErrorThresholdsOf<Checked>;
    const Thresholds thresholds{blockAs<int32_t>(context, kLevelThresholds)};
    const ErrorTable errorThresholds{blockAs<int16_t>(context, kErrorThresholds)};
    const SpreadLevels levels = spreadLevels(context);

    const int32_t width = context.matrixWidth;
    const MatrixRow row = matrixRow(context, call.lineNumber);
    const MatrixRow halfway = halfwayRow(context, call.lineNumber);
    // The quantiser's dither reads the matrix as one flat array, from 10
    // values into the line's row on.
    const int32_t* flat = blockAs<int32_t>(context, kDitherMatrix);
    const uint32_t flatMask = uint32_t(context.matrixSize) - 1u;
    const uint32_t flatRow = (uint32_t(width) * uint32_t(call.lineNumber) + 10u) & flatMask;
    const int32_t shift = ditherShift(context.matrixSize);

    ErrorCursor lineA(lines[0], call.startX), lineB(lines[1], call.startX);
    ErrorCursor lineC(lines[2], call.startX);
    SixPlanePacker<2> out(call.dst, call.planeStride, call.bitOffset);
    const uint8_t* in = call.line;
    uint8_t paired[4];

    constexpr uint32_t kAllActive = Member::kArmBit - 1;
    uint32_t activityA = kAllActive, activityB = kAllActive, activityC = kAllActive;
    PreviousPixel previous;
    for (int32_t i = 0; i < call.pixelCount; ++i, lineA.advance(), lineB.advance(), lineC.advance()) {
        const uint8_t* c = nextChannels<Input>(in, i, paired);
        const int32_t x = call.startX + i;
        const int32_t m0 = row.at(x);
        const int32_t m1 = halfway.at(x + width / 2);
        const int32_t m2 = row.at(x + (3 * width) / 4);
        const int32_t m3 = row.at(x + width / 4);
        const uint32_t qd = quantiserDither(flat[(uint32_t(x) + flatRow) & flatMask], shift);
        const uint32_t oddMask = parityMask(m0);
        const int32_t parity = oddMask != 0 ? 20 : -20;

        const GridLevels g = separation.levels(c, qd);
        const InkAmounts amount = smoothSum(separation.entry(g), g, previous);
        const LevelRecord& f1 = upper[amount.a[0]];
        const LevelRecord& s1 = records[amount.a[1]];
        const LevelRecord& f2 = upper[amount.a[2]];
        const LevelRecord& s2 = records[amount.a[3]];
        const LevelRecord& p = records[amount.a[4]];
        const LevelRecord& gr = upper[amount.a[5]];
        activityA = stepActivity<Member>(activityA, s1);
        activityB = stepActivity<Member>(activityB, s2);
        activityC = stepActivity<Member>(activityC, gr);

        // The plain ink: large, medium or small from its own stretch.
        const OrderedDots<Thresholds> onM2{thresholds, m2};
        uint32_t plain = onM2.largeOrMedium(p);
        if (plain == kCodeNone && onM2.covers(p.thresholdBase + p.mediumSpan + p.smallSpan))
            plain = kCodeSmall;

        // The diffused ink: large or medium by order, small by its error.
        const OrderedDots<Thresholds> onM3{thresholds, m3};
        const uint32_t diffused =
            errorStep<Member>(onM3.largeOrMedium(gr), activityC != 0, gr,
                              errorThresholds[gr.levelTotal] - parity, levels, oddMask, lineC);

        const PairCodes pair1 = pairRule(OrderedDots<Thresholds>{thresholds, m0}, f1, s1);
        const uint32_t trailing1 =
            errorStep<Member>(pair1.trailing, activityA != 0, s1,
                              errorThresholds[s1.levelTotal] + parity, levels, oddMask, lineA);
        const PairCodes pair2 = pairRule(OrderedDots<Thresholds>{thresholds, m1}, f2, s2);
        const uint32_t trailing2 =
            errorStep<Member>(pair2.trailing, activityB != 0, s2,
                              errorThresholds[s2.levelTotal] - parity, levels, oddMask, lineB);

        out.put(lane(kPlaneF1, pair1.leading & 3) | lane(kPlaneF2, pair2.leading & 3) |
                lane(kPlaneP, plain & 3) | lane(kPlaneG, diffused & 3) |
                lane(kPlaneS1, trailing1 & 3) | lane(kPlaneS2, trailing2 & 3));
    }
    lineA.finish();
    lineB.finish();
    lineC.finish();
    out.finish();
    return INKDOT_OK;
}

template <class Member, bool Checked>
int32_t multiSepInput(const LineCall& call) {
    const int32_t inputScale = call.context.params.inputScale;
    if (inputScale == 1) return multiSepLine<Member, SepInput::Repeat, Checked>(call);
    if constexpr (Member::kPairedInput) {
        if (inputScale == -1) return multiSepLine<Member, SepInput::Paired, Checked>(call);
    }
    return multiSepLine<Member, SepInput::Single, Checked>(call);
}

template <class Member>
int32_t multiSepKernel(const LineCall& call) {
    if (!stretchFits(call.context, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.context.params.outputBits != 2) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withRecordCheck(call.context, call.pixelCount, [&](auto checked) {
        return multiSepInput<Member, decltype(checked)::value>(call);
    });
}

} // namespace

INKDOT_DEFINE_KERNEL(HalftoneMultiSepMode, multiSepKernel<MultiSepMode>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep, multiSepKernel<MultiSep>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep1440, multiSepKernel<MultiSep1440>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep2880, multiSepKernel<MultiSep2880>)

} // namespace inkdot::kernels
