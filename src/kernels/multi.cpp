// One ink, two bits per dot (none, small, medium, large), error diffusion.
//
// Large and medium dots come from ordered dither: the pixel's matrix value
// against two thresholds that its level record selects. The small dot comes
// from the error collected on one error line; after any dot the pixel gives
// up a full dot's worth of error, which is spread the more widely the lower
// the density. The members differ in the matrix noise on the density index,
// which index chooses the small-dot threshold and the pattern, the error a
// dot takes away, and their patterns.

// Before any other header: the code generation of diffusing kernels.
#include "kernels/diffusion_codegen.h"

#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {
namespace {

// HalftoneMulti: narrow noise, the noisy index for everything, table A
// without A5.
struct Multi {
    static constexpr bool kWideNoise = false;
    static constexpr bool kPlainIndex = false;
    static constexpr int32_t kDotError = 255;
    static constexpr auto spread = &spreadTableA<4, ErrorWalk>;
};

// HalftoneMulti1440: wider noise above an input of 160, the plain index for
// the small dot and the pattern, table B.
struct Multi1440 {
    static constexpr bool kWideNoise = true;
    static constexpr bool kPlainIndex = true;
    static constexpr int32_t kDotError = 255;
    static constexpr auto spread = &spreadTableB<5, ErrorWalk>;
};

// HalftoneMulti2880: as 1440, but a dot takes two dots' worth of error.
struct Multi2880 : Multi1440 {
    static constexpr int32_t kDotError = 510;
};

template <class Member, Sampling S>
int32_t multiLine(const LineCall& call) {
    const KernelView& view = call.view;
    call.state.lastLine = call.lineNumber;

    LevelTables tables;
    fillLevelTables<Member::kWideNoise>(view, tables);
    const MatrixRow matrix = matrixRow(view, call.lineNumber);
    const SpreadLevels levels = view.spread;
    ErrorWalk line(view.errorLines[0], call.startX);
    SlotPacker<2> out(call.dst, call.bitOffset);
    const uint8_t* in = call.line;
    // The stretch has been checked to end within the line.
    const int32_t startX = call.startX, endX = call.startX + call.pixelCount;

    uint32_t v = 0;
    int32_t up = 0;
    const LevelInfo* noisy = tables.info;
    const LevelInfo* plain = tables.info;
    forEachPixel(matrix, startX, endX, [&](int32_t u, int32_t x) INKDOT_ALWAYS_INLINE_LAMBDA {
        if (readsAt<S>(x - startX)) {
            v = readInput<S>(in);
            noisy = &tables.info[tables.noisyPosition[v * 8 + (uint32_t(u) & 7)]];
            plain = Member::kPlainIndex ? &tables.info[v] : noisy;
            up = Member::kPlainIndex ? plain->roundUp : roundUpFor(v);
        }
        if (v == 0) {
            // Blank: the collected error is dropped, the carry survives.
            line.passCarry();
            out.put(0);
        } else {
            const int32_t error = collectedError(line.collected(), up) + noisy->levelTotal;
            const uint32_t slot =
                threeWaySlot(*noisy, u, error, plain->smallThreshold + thresholdBias(u));
            out.put(slot);
            const bool dot = slot != 0;
            Member::spread(levels, plain->density, dot, parityMask(u), line,
                           dot ? error - Member::kDotError : error);
        }
        line.advance();
    });
    line.finish();
    out.finish();
    return INKDOT_OK;
}

template <class Member>
int32_t multiKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Smaller>(call.view.inputScale, [&](auto sampling) {
        return multiLine<Member, decltype(sampling)::value>(call);
    });
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneMulti, multiKernel<Multi>)
INKDOT_DEFINE_KERNEL(HalftoneMulti1440, multiKernel<Multi1440>)
INKDOT_DEFINE_KERNEL(HalftoneMulti2880, multiKernel<Multi2880>)

}  // namespace inkdot::kernels
