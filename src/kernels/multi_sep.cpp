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

// Before any other header: the code generation of diffusing kernels.
#include "kernels/diffusion_codegen.h"

#include <algorithm>
#include <array>
#include <bit>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/multi_sep_records.h"
#include "kernels/separation.h"
#include "kernels/vector_isa.h"

namespace inkdot::kernels {
namespace {

using namespace multisep;

// HalftoneMultiSepMode: the half-width modes. Paired input pixels give the
// smaller value of each channel; 7-bit activity registers; patterns C1, C2,
// C0, C3 and A3.
struct MultiSepMode {
    static constexpr bool kPairedInput = true;
    static constexpr uint32_t kArmBit = 128;
    static constexpr int32_t kDotError = 255;
    static constexpr bool kDotFirst = false;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
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
    static constexpr bool kDotFirst = false;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        spreadTableA<3>(s, t, dot, oddMask, line, error);
    }
};

// HalftoneMultiSep1440: 11-bit activity registers; table B down to B2, then C5.
struct MultiSep1440 {
    static constexpr bool kPairedInput = false;
    static constexpr uint32_t kArmBit = 2048;
    static constexpr int32_t kDotError = 255;
    static constexpr bool kDotFirst = true;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        if (!dot) return diffuseOn<kB0>(line, error, oddMask);
        if (t > s.level1) return diffuseOn<kB1>(line, error, oddMask);
        if (t > s.level2) return diffuseOn<kB2>(line, error, oddMask);
        return diffuseOn<kC5>(line, error, oddMask);
    }
};

// HalftoneMultiSep2880: 11-bit activity registers; the whole of table B; a
// dot takes two dots' worth of error. Above level 1 the dot alone picks B0 or
// B1, and there the two are blended rather than branched to.
struct MultiSep2880 {
    static constexpr bool kPairedInput = false;
    static constexpr uint32_t kArmBit = 2048;
    static constexpr int32_t kDotError = 510;
    static constexpr bool kDotFirst = false;

    INKDOT_ALWAYS_INLINE static void spread(const SpreadLevels& s, int32_t t, bool dot,
                                            uint32_t oddMask, MemoryWalk& line, int32_t error) {
        if (t > s.level1) return diffuseEither<kB0, kB1>(line, error, dot, oddMask);
        spreadTableB<5>(s, t, dot, oddMask, line, error);
    }
};

// Activity of a diffused ink: the register takes the arm bit at every pixel
// whose record has small dots and loses one bit every pixel; the ink is
// active while it is not empty.
template <class Member>
INKDOT_ALWAYS_INLINE uint32_t stepActivity(uint32_t reg, uint32_t arms) {
    return (reg | (arms << std::countr_zero(Member::kArmBit))) >> 1;
}

// What the error step of a diffused ink needs of one pixel, worked out
// before the error steps run: its record's total, its error threshold with
// the parity offset, its ordered code (slot value, 0 none to 3 large) and
// whether its activity register holds.
struct DiffusedInk {
    int32_t threshold;
    int16_t levelTotal;
    uint8_t code;
    bool active;
};

// The error step of a diffused ink: an active ink without an ordered dot gets
// a small dot when its collected error plus the total exceeds the threshold;
// any dot takes a dot's worth of error, and the error is spread on the ink's
// line. An inactive ink only passes the carry on. Returns the ink's code.
//
// Whether the pixel gets a dot is the one outcome here that the data makes
// unpredictable, so only what must branches on it. The small-dot test is
// worked out with flags. Members whose patterns are chosen by the dot before
// the density (kDotFirst) branch on it there anyway, and take the dot's error
// away on the same branch; the others take it away with a mask, since a dense
// pixel's pattern either does not depend on the dot (A1, C1, C2) or is blended
// (B0 or B1 at 2880). Each member takes the forms measured faster on the
// benchmarks' photographic line.
template <class Member>
INKDOT_ALWAYS_INLINE uint32_t errorStep(const DiffusedInk& ink, const SpreadLevels& levels,
                                        uint32_t oddMask, MemoryWalk& line) {
    if (!ink.active) {
        line.passCarry();
        return ink.code;
    }
    int32_t error = towardZeroBy32(line.collected()) + ink.levelTotal;
    const uint32_t code = ink.code | (uint32_t(ink.code == 0) & uint32_t(error > ink.threshold));
    const bool dot = code != 0;
    if constexpr (Member::kDotFirst) {
        error -= dot ? Member::kDotError : 0;
    } else {
        error -= Member::kDotError & -int32_t(dot);
    }
    Member::spread(levels, ink.levelTotal, dot, oddMask, line, error);
    return code;
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

// A pixel's six ordered codes and the three diffused inks in the order of
// their error steps (the diffused ink, then the trailing inks of the first and
// the second pair), with the parity of its first pair's matrix value.
struct OrderedPixel {
    uint64_t lanes;
    DiffusedInk inks[3];
    uint32_t oddMask;
};

// Pixels per stretch that a line is worked in, pass by pass.
inline constexpr int32_t kStretch = 64;

// From this many pixels on, a call with checked records prepares them.
inline constexpr int32_t kPrepareMinimum = 1024;

// Records is DirectRecords, ThresholdRecords or PositionRecords.
template <class Member, SepInput Input, class Records>
int32_t multiSepLine(const LineCall& call, const Records& recs) {
    const KernelView& view = call.view;
    int16_t* const lines[3] = {view.errorLines[0], view.errorLines[1], view.errorLines[2]};
    continueLines(view, call.state, lines, call.lineNumber, call.startX, call.pixelCount);

    const SpreadLevels levels = view.spread;

    // The quantiser's dither reads the matrix as one flat array, from 10
    // values into the line's row on.
    const int32_t* flat = view.matrix;
    const uint32_t flatMask = uint32_t(view.matrixSize) - 1u;
    const uint32_t flatRow =
        (uint32_t(view.matrixWidth) * uint32_t(call.lineNumber) + 10u) & flatMask;
    const int32_t shift = ditherShift(view.matrixSize);

    // The error lines of the diffused ink and of the pairs' trailing inks.
    MemoryWalk diffusedLine(lines[2], call.startX), trailing1Line(lines[0], call.startX),
        trailing2Line(lines[1], call.startX);
    SixPlanePacker<2> out(call.dst, call.planeStride, call.bitOffset);
    const uint8_t* in = call.line;
    uint8_t paired[4];

    uint32_t activity0 = Member::kArmBit - 1, activity1 = activity0, activity2 = activity0;
    typename Records::Previous previous;

    // A pixel's chain from its input to its codes runs through four table
    // reads, and its error steps branch on dots the error decides. Worked
    // whole, a pixel leaves the processor too little independent work to
    // overlap, and each mispredicted dot throws away the next pixel's start.
    // So a stretch of pixels goes through four passes instead, each short
    // enough for several pixels to be in flight: quantising, the smoothed
    // amounts, the records' ordered codes and what the error steps need,
    // then the error steps themselves and the packing.
    typename Records::Quantised quantised[kStretch];
    AmountLanes amounts[kStretch];
    OrderedPixel pixels[kStretch];
    for (int32_t first = 0; first < call.pixelCount; first += kStretch) {
        const int32_t count = std::min(kStretch, call.pixelCount - first);
        const int32_t x0 = call.startX + first;
        for (int32_t j = 0; j < count; ++j) {
            const uint8_t* c = nextChannels<Input>(in, first + j, paired);
            const int32_t matrixValue = flat[(uint32_t(x0 + j) + flatRow) & flatMask];
            quantised[j] = recs.quantise(c, quantiserDither(matrixValue, shift));
        }
        for (int32_t j = 0; j < count; ++j) amounts[j] = recs.amounts(quantised[j], previous);
        for (int32_t j = 0; j < count; ++j) {
            const auto& m = recs.matrixAt(x0 + j);
            const AmountLanes& a = amounts[j];
            const PixelRecords<typename Records::Lower, typename Records::Upper> r{
                recs.upper(a, 0), recs.lower(a, 1), recs.upper(a, 2),
                recs.lower(a, 3), recs.lower(a, 4), recs.upper(a, 5)};
            const OrderedCodes codes = recs.codes(m, r);
            const uint32_t oddMask = recs.oddMask(m);
            const int32_t parity = oddMask != 0 ? 20 : -20;
            auto ink = [&](uint32_t& activity, const auto& record, uint32_t code, int32_t offset) {
                activity = stepActivity<Member>(activity, recs.arms(record));
                return DiffusedInk{recs.errorThreshold(record) + offset,
                                   int16_t(recs.levelTotal(record)), uint8_t(code), activity != 0};
            };
            pixels[j] = {codes.lanes,
                         {ink(activity0, r.g, codes.diffused, -parity),
                          ink(activity1, r.s1, codes.trailing1, parity),
                          ink(activity2, r.s2, codes.trailing2, -parity)},
                         oddMask};
        }
        for (int32_t j = 0; j < count; ++j) {
            const OrderedPixel& p = pixels[j];
            // A small dot only joins a lane whose code is none. The three
            // steps are written out: GCC leaves a lambda holding one of them
            // as a call, at about an eighth of these members' speed.
            uint64_t lanes = p.lanes;
            lanes |= lane(kPlaneG, errorStep<Member>(p.inks[0], levels, p.oddMask, diffusedLine));
            lanes |= lane(kPlaneS1, errorStep<Member>(p.inks[1], levels, p.oddMask, trailing1Line));
            lanes |= lane(kPlaneS2, errorStep<Member>(p.inks[2], levels, p.oddMask, trailing2Line));
            out.put(lanes);
            diffusedLine.advance();
            trailing1Line.advance();
            trailing2Line.advance();
        }
    }
    diffusedLine.finish();
    trailing1Line.finish();
    trailing2Line.finish();
    out.finish();
    return INKDOT_OK;
}

template <class Member, class Records>
int32_t multiSepInput(const LineCall& call, const Records& records) {
    const int32_t inputScale = call.view.inputScale;
    if (inputScale == 1) return multiSepLine<Member, SepInput::Repeat>(call, records);
    if constexpr (Member::kPairedInput) {
        if (inputScale == -1) return multiSepLine<Member, SepInput::Paired>(call, records);
    }
    return multiSepLine<Member, SepInput::Single>(call, records);
}

template <class Member>
int32_t multiSepKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.view.outputBits != 2) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withRecordCheck(call.view, call.pixelCount, [&](auto checked) {
        constexpr bool kChecked = decltype(checked)::value;
        if constexpr (kChecked) {
            if (call.pixelCount >= kPrepareMinimum && ThresholdRecords::fits(call.view)) {
#ifdef INKDOT_KERNELS_SSE2
                if (PositionRecords::fits(call.view))
                    return multiSepInput<Member>(call, PositionRecords(call.view, call.lineNumber));
#endif
                return multiSepInput<Member>(call, ThresholdRecords(call.view, call.lineNumber));
            }
        }
        return multiSepInput<Member>(call, DirectRecords<kChecked>(call.view, call.lineNumber));
    });
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneMultiSepMode, multiSepKernel<MultiSepMode>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep, multiSepKernel<MultiSep>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep1440, multiSepKernel<MultiSep1440>)
INKDOT_DEFINE_KERNEL(HalftoneMultiSep2880, multiSepKernel<MultiSep2880>)

}  // namespace inkdot::kernels
