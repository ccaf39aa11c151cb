// One ink, one bit per dot, error diffusion on one error line.
//
// Each pixel's density index plus the error collected for it is compared
// with the index's threshold, jittered by the matrix value; the remaining
// error is spread the more widely the lower the density. The members differ
// only in their diffusion patterns and how they choose them.

// Before any other header: the code generation of diffusing kernels.
#include "kernels/diffusion_codegen.h"

#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {
namespace {

// Spread: the member's pattern choice, spreadTableA<5> or spreadTableB<5>.
template <auto Spread, Sampling S>
int32_t binaryLine(const LineCall& call) {
    const KernelView& view = call.view;
    call.state.lastLine = call.lineNumber;

    const int16_t* densityMap = view.densityMap;
    const int16_t* errorThresholds = view.errorThresholds;
    const uint16_t* dotValues = view.dotValues;
    const MatrixRow matrix = matrixRow(view, call.lineNumber);
    const SpreadLevels levels = view.spread;
    ErrorWalk line(view.errorLines[0], call.startX);
    SlotPacker<1> out(call.dst, call.bitOffset);
    const uint8_t* in = call.line;
    // The stretch has been checked to end within the line.
    const int32_t startX = call.startX, endX = call.startX + call.pixelCount;

    int32_t d = 0;
    forEachPixel(matrix, startX, endX, [&](int32_t u, int32_t x) INKDOT_ALWAYS_INLINE_LAMBDA {
        if (readsAt<S>(x - startX)) d = densityMap[readInput<S>(in)];
        if (d == 0) {
            // A blank pixel drops both the error collected in its entry and
            // the carry of the pixel before.
            line.clearOwn();
            out.put(0);
        } else {
            // The entry divided by 32, rounding toward minus infinity.
            const int32_t value = d + (line.collected() >> 5);
            const bool dot = value >= errorThresholds[d] + thresholdBias(u);
            out.put(dot);
            const int32_t error = dot ? value - int32_t(dotValues[d]) : value;
            Spread(levels, d, dot, parityMask(u), line, error);
        }
        line.advance();
    });
    line.finish();
    out.finish();
    return INKDOT_OK;
}

template <auto Spread>
int32_t binaryKernel(const LineCall& call) {
    if (call.reserved != 0) return INKDOT_RESERVED_NONZERO;
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Larger>(call.view.inputScale, [&](auto sampling) {
        return binaryLine<Spread, decltype(sampling)::value>(call);
    });
}

}  // namespace

// Table A, density first (above level 1 the same pattern with and without a
// dot), down to A5 at or below L4'.
INKDOT_DEFINE_KERNEL(HalftoneBinary, binaryKernel<spreadTableA<5, ErrorWalk>>)
// Table B, the decision first (B0 for every pixel without a dot), down to B5
// at or below level 4.
INKDOT_DEFINE_KERNEL(HalftoneBinary1440, binaryKernel<spreadTableB<5, ErrorWalk>>)

}  // namespace inkdot::kernels
