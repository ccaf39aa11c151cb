// One bit per dot by ordered dither alone: no error line, each pixel on its
// own against the threshold matrix.
//
// HalftoneDither takes one ink: an input value covers as many ranks of the
// matrix as its levelThresholds entry says, and the pixel gets a dot when its
// matrix value is among them. HalftoneDitherSep separates four channels into
// six inks as the diffusing separating kernels do (quantiser, separation
// table, smoothing with the previous pixel) and then places every ink by
// dither: three inks stacked on one matrix value so that their dots avoid each
// other, two more stacked on the value half a matrix away in both directions,
// and the sixth alone on the value three quarters of a row further on.
#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "kernels/separation.h"

namespace inkdot::kernels {
namespace {

// ---------------------------------------------------------------------------
// One ink

// The input value of pixel i of the stretch: one byte a pixel, one byte for
// two pixels (inputScale 1), or the smaller of two bytes (inputScale -1).
// Indexed rather than walked, so that a byte's eight pixels unroll freely.
template <Sampling S>
INKDOT_ALWAYS_INLINE uint32_t inputAt(const uint8_t* in, int32_t i) {
    if constexpr (S == Sampling::Repeat) {
        return in[i >> 1];
    } else if constexpr (S == Sampling::Smaller) {
        const uint32_t p = in[2 * i], q = in[2 * i + 1];
        return p < q ? p : q;
    } else {
        return in[i];
    }
}

// Writes `count` one-bit dots into one plane from slot bitOffset of its first
// byte: dotAt(i) (0 or 1) gives the dot of pixel i alone, byteAt(i) the eight
// dots of pixels i .. i + 7 as one byte, first pixel in the top bit. The
// slots in front of bitOffset keep what the byte holds; a partly filled last
// byte is written whole with zeros after the last dot.
template <class DotAt, class ByteAt>
INKDOT_ALWAYS_INLINE void packDots(uint8_t* dst, int32_t bitOffset, int32_t count, DotAt&& dotAt,
                                   ByteAt&& byteAt) {
    int32_t i = 0;
    if (bitOffset != 0) {
        uint32_t byte = dst[0] & ~(0xFFu >> bitOffset) & 0xFFu;
        int32_t slot = bitOffset;
        for (; slot < 8 && i < count; ++slot, ++i) byte |= dotAt(i) << (7 - slot);
        *dst++ = uint8_t(byte);
        if (slot < 8) return;
    }
    for (; count - i >= 8; i += 8) *dst++ = uint8_t(byteAt(i));
    if (i < count) {
        uint32_t byte = 0;
        for (int32_t slot = 7; i < count; --slot, ++i) byte |= dotAt(i) << slot;
        *dst = uint8_t(byte);
    }
}

// A value that covers no rank never prints, whatever the matrix holds;
// otherwise the pixel prints when its rank lies below the covered count.
INKDOT_ALWAYS_INLINE uint32_t ditherDot(int32_t covered, int32_t rank) {
    return uint32_t(covered > rank) & uint32_t(covered != 0);
}

template <Sampling S>
int32_t ditherLine(const LineCall& call) {
    const KernelView& view = call.view;
    call.state.lastLine = call.lineNumber;

    const int32_t* levelThresholds = view.levelThresholds;
    const MatrixRow matrix = matrixRow(view, call.lineNumber);
    const int32_t* row = matrix.values;
    const uint32_t columnMask = matrix.columnMask;
    const uint32_t startX = uint32_t(call.startX);
    const uint8_t* in = call.line;
    // Eight pixels whose first column lies below `straightEnd` meet eight
    // consecutive columns of the row; only a width that is a power of two
    // (as matrices are) runs straight between its wraps.
    const uint32_t width = columnMask + 1;
    const bool powerOfTwo = (width & columnMask) == 0;
    const uint32_t straightEnd = powerOfTwo && width >= 8 ? width - 7 : 0;

    auto dotAt = [&](int32_t i) {
        return ditherDot(levelThresholds[inputAt<S>(in, i)],
                         row[(startX + uint32_t(i)) & columnMask]);
    };
    auto byteAt = [&](int32_t i) {
        uint32_t byte = 0;
        const uint32_t column = (startX + uint32_t(i)) & columnMask;
        if (column < straightEnd) {
            // The eight pixels' input and ranks at fixed offsets from two bases.
            const int32_t* ranks = row + column;
            const uint8_t* window =
                S == Sampling::Repeat ? in : in + (S == Sampling::Smaller ? 2 : 1) * i;
            const int32_t first = S == Sampling::Repeat ? i : 0;
#pragma GCC unroll 8
            for (int32_t k = 0; k < 8; ++k)
                byte = (byte << 1) |
                       ditherDot(levelThresholds[inputAt<S>(window, first + k)], ranks[k]);
        } else {
            for (int32_t k = 0; k < 8; ++k) byte = (byte << 1) | dotAt(i + k);
        }
        return byte;
    };
    packDots(call.dst, call.bitOffset, call.pixelCount, dotAt, byteAt);
    return INKDOT_OK;
}

int32_t ditherKernel(const LineCall& call) {
    if (call.reserved != 0) return INKDOT_RESERVED_NONZERO;
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.pairFlag > 1) return INKDOT_DEPTH_MISMATCH;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    // Of a pair of input bytes the smaller counts: a dithered pixel takes
    // no more ink than either of the two it stands for.
    return withSampling<Sampling::Smaller>(call.view.inputScale, [&](auto sampling) {
        return ditherLine<decltype(sampling)::value>(call);
    });
}

// ---------------------------------------------------------------------------
// Six inks

// Every amount is smoothed, ink 4 whatever its previous amount.
inline constexpr int32_t kSmoothAllInks = 256;

// A later member of a stack of inks on one matrix value u: its ranks follow
// those of the members below it and end at `end`. While the stack fits the
// matrix (end at most top) the member prints on its own ranks only, so never
// where a member below it printed; a stack that overflows the matrix lays
// the member's `own` ranks from the top down instead, where they may meet
// the dots below.
INKDOT_ALWAYS_INLINE bool stackedDot(int32_t end, int32_t own, int32_t top, int32_t u,
                                     bool belowPrinted) {
    return end > top ? own > wrappingSub(top, u) : !belowPrinted && u < end;
}

template <bool Repeat>
int32_t ditherSepLine(const LineCall& call) {
    const KernelView& view = call.view;
    const Separation separation(view);
    const int32_t* levelThresholds = view.levelThresholds;
    const int32_t width = view.matrixWidth, height = view.matrixHeight;
    const MatrixRow row0 = matrixRow(view, call.lineNumber);
    const MatrixRow rowHalf =
        matrixRow(view, int32_t(uint32_t(call.lineNumber) + uint32_t(height / 2)));
    const uint32_t halfWidth = uint32_t(width / 2);
    const uint32_t threeQuarters = uint32_t((3 * width) / 4);
    const int32_t top = view.matrixSize - 1;
    SixPlanePacker<1> out(call.dst, call.planeStride, call.bitOffset);

    PreviousPixel previous;
    for (int32_t i = 0; i < call.pixelCount; ++i) {
        const uint8_t* c = call.line + 4 * size_t(Repeat ? i >> 1 : i);
        // A pixel without ink prints nothing and is no neighbour for smoothing.
        if (blankPixel(c)) {
            out.put(0);
            continue;
        }
        const uint32_t x = uint32_t(call.startX) + uint32_t(i);
        const int32_t u0 = row0.at(int32_t(x));
        const int32_t uh = rowHalf.at(int32_t(x + halfWidth));
        const int32_t u3 = row0.at(int32_t(x + threeQuarters));

        const GridLevels g = separation.levels(c, quantiserDither(u0, 0));
        const AmountBytes a =
            smoothMean(separation.entry(g), g, previous, parityMask(u0), kSmoothAllInks);
        const int32_t t0 = levelThresholds[amountOf(a, 0)], t1 = levelThresholds[amountOf(a, 1)];
        const int32_t t2 = levelThresholds[amountOf(a, 2)], t3 = levelThresholds[amountOf(a, 3)];
        const int32_t t4 = levelThresholds[amountOf(a, 4)], t5 = levelThresholds[amountOf(a, 5)];

        // The stack on u0: a5, then a0, then a1.
        const bool dot5 = u0 < t5;
        const int32_t end0 = wrappingAdd(t5, t0);
        const bool dot0 = stackedDot(end0, t0, top, u0, dot5);
        const bool dot1 = stackedDot(wrappingAdd(end0, t1), t1, top, u0, dot5 || dot0);
        // The stack half a matrix away: a2, then a3.
        const bool dot2 = uh < t2;
        const bool dot3 = stackedDot(wrappingAdd(t2, t3), t3, top, uh, dot2);
        const bool dot4 = u3 < t4;

        out.put(inkLanes<1>({dot0, dot1, dot2, dot3, dot4, dot5}));
    }
    out.finish();
    return INKDOT_OK;
}

int32_t ditherSepKernel(const LineCall& call) {
    if (!stretchFits(call.view, call.startX, call.pixelCount)) return INKDOT_LINE_TOO_LONG;
    if (call.enable == 0) return INKDOT_NOT_ENABLED;
    if (!bitOffsetFits<1>(call.bitOffset)) return INKDOT_UNSUPPORTED;
    // One input pixel serves two output pixels with inputScale 1; every
    // other value, -1 included, reads one pixel per output pixel.
    if (call.view.inputScale == 1) return ditherSepLine<true>(call);
    return ditherSepLine<false>(call);
}

}  // namespace

INKDOT_DEFINE_KERNEL(HalftoneDither, ditherKernel)
INKDOT_DEFINE_KERNEL(HalftoneDitherSep, ditherSepKernel)

}  // namespace inkdot::kernels
