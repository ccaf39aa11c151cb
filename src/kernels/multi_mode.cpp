// One ink, two bits per dot, for the half-width modes (3 and 6).
//
// Decided like the plain two-bit kernel (ordered large and medium dots, a
// diffused small dot), with its own four patterns, and with the pair rule of
// mode 3: where input pixels come in pairs, a pair of 0 and 255 stands for a
// small dot that is placed without taking or spreading error.

// Before any other header: the code generation of diffusing kernels.
#include "kernels/diffusion_codegen.h"

#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {
namespace {

// M1 above level 1 with or without a dot; M0 without a dot, or with one
// above level 2; then M2 above level 3 and M3 below.
INKDOT_ALWAYS_INLINE void spreadHalfWidth(const SpreadLevels& s, int32_t d, bool dot,
                                          uint32_t oddMask, ErrorWalk& line, int32_t error) {
    if (d > s.level1) return diffuseOn<kM1>(line, error, oddMask);
    if (!dot || d > s.level2) return diffuseOn<kM0>(line, error, oddMask);
    if (d > s.level3) return diffuseOn<kM2>(line, error, oddMask);
    return diffuseOn<kM3>(line, error, oddMask);
}

// PairRule: inputScale -1 with pairFlag 1, where a pair (0, 255) in either
// order is a pair pixel.
template <Sampling S, bool PairRule>
int32_t multiModeLine(const LineCall& call) {
    const KernelView& view = call.view;
    call.state.lastLine = call.lineNumber;

    LevelTables tables;
    fillLevelTables<false>(view, tables);
    const MatrixRow matrix = matrixRow(view, call.lineNumber);
    const SpreadLevels levels = view.spread;
    ErrorWalk line(view.errorLines[0], call.startX);
    SlotPacker<2> out(call.dst, call.bitOffset);
    const uint8_t* in = call.line;
    // The stretch has been checked to end within the line.
    const int32_t startX = call.startX, endX = call.startX + call.pixelCount;

    uint32_t v = 0;
    bool pair = false;
    const LevelInfo* noisy = tables.info;
    forEachPixel(matrix, startX, endX, [&](int32_t u, int32_t x) INKDOT_ALWAYS_INLINE_LAMBDA {
        if (readsAt<S>(x - startX)) {
            const uint32_t either = PairRule ? uint32_t(in[0] ^ in[1]) : 0u;
            v = readInput<S>(in);
            pair = PairRule && v == 0 && either == 0xFF;  // 0 and 255, in either order
            noisy = &tables.info[tables.noisyPosition[v * 8 + (uint32_t(u) & 7)]];
        }
        if (pair || v == 0) {
            // A pair pixel is a small dot, a blank pixel none; neither
            // spreads error, and the collected error is dropped.
            line.passCarry();
            out.put(pair ? 1 : 0);
        } else {
            const int32_t error =
                collectedError(line.collected(), roundUpFor(v)) + noisy->levelTotal;
            const uint32_t slot =
                threeWaySlot(*noisy, u, error, noisy->smallThreshold + thresholdBias(u));
            out.put(slot);
            const bool dot = slot != 0;
            spreadHalfWidth(levels, noisy->density, dot, parityMask(u), line,
                            dot ? error - 255 : error);
        }
        line.advance();
    });
    line.finish();
    out.finish();
    return INKDOT_OK;
}

int32_t multiModeKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<2>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Smaller>(call.view.inputScale, [&](auto sampling) {
        constexpr Sampling S = decltype(sampling)::value;
        if constexpr (S == Sampling::Smaller) {
            if (call.pairFlag == 1) return multiModeLine<S, true>(call);
        }
        return multiModeLine<S, false>(call);
    });
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneMultiMode, multiModeKernel)

}  // namespace inkdot::kernels
