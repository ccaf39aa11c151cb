// One ink, one bit per dot, error diffusion on one error line.
//
// Each pixel's density index plus the error collected for it is compared
// with the index's threshold, jittered by the matrix value; the remaining
// error is spread the more widely the lower the density. The members differ
// only in their diffusion patterns and how they choose them.
#include "kernels/diffusion.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {
namespace {

// Spread: the member's pattern choice, spreadTableA<5> or spreadTableB<5>.
template <auto Spread, Sampling S>
int32_t binaryLine(const LineCall& call) {
    HalftoneContext& context = call.context;
    context.lastLine = call.lineNumber;

    const int16_t* densityMap = blockAs<int16_t>(context, kDensityMap);
    const int16_t* errorThresholds = blockAs<int16_t>(context, kErrorThresholds);
    const uint16_t* dotValues = blockAs<uint16_t>(context, kDotValues);
    MatrixWalk matrix(matrixRow(context, call.lineNumber), call.startX);
    const SpreadLevels levels = spreadLevels(context);
    ErrorWalk line(errorLineA(context), call.startX);
    SlotPacker<1> out(call.dst, call.bitOffset);
    const uint8_t* in = call.line;
    const int32_t pixelCount = call.pixelCount;

    int32_t d = 0;
    for (int32_t i = 0; i < pixelCount; ++i, line.advance()) {
        const int32_t u = matrix.next();
        if (readsAt<S>(i)) d = densityMap[readInput<S>(in)];
        if (d == 0) {
            // A blank pixel drops both the error collected in its entry and
            // the carry of the pixel before.
            line.clearOwn();
            out.put(0);
            continue;
        }
        // The entry divided by 32, rounding toward minus infinity.
        const int32_t value = d + (line.collected() >> 5);
        const bool dot = value >= errorThresholds[d] + thresholdBias(u);
        const int32_t error = dot ? value - int32_t(dotValues[d]) : value;
        Spread(levels, d, dot, parityMask(u), line, error);
        out.put(dot);
    }
    line.finish();
    out.finish();
    return INKDOT_OK;
}

template <auto Spread>
int32_t binaryKernel(const LineCall& call) {
    if (call.reserved != 0) return INKDOT_RESERVED_NONZERO;
    if (!stretchFits(call.context, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    return withSampling<Sampling::Larger>(call.context.params.inputScale, [&](auto sampling) {
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
