// The call every line kernel receives: the view, the line state and the
// caller's line arguments, the definition of a kernel over them, and the
// checks of the stretch and bit offset that come before any write.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"
#include "kernels/kernel_view.h"

#if defined(__GNUC__) || defined(__clang__)
#define INKDOT_ALWAYS_INLINE inline __attribute__((always_inline))
#define INKDOT_ALWAYS_INLINE_LAMBDA __attribute__((always_inline))
#else
#define INKDOT_ALWAYS_INLINE inline
#define INKDOT_ALWAYS_INLINE_LAMBDA
#endif

namespace inkdot::kernels {

// The view, the line state and the caller's line arguments, in the frame's
// order.
struct LineCall {
    const KernelView& view;
    LineState& state;
    const uint8_t* line;
    uint8_t* dst;
    int32_t planeStride;
    int32_t bitOffset;
    int32_t pixelCount;
    int32_t startX;
    int32_t enable;
    int32_t lineNumber;
    int32_t pairFlag;
    int32_t reserved;
};

// Defines the kernel `name` (declared in kernels.h) as a forwarder of its
// arguments to the function that follows, which takes a LineCall.
#define INKDOT_DEFINE_KERNEL(name, ...)                                                          \
    int32_t name(const ::inkdot::kernels::KernelView& view, ::inkdot::kernels::LineState& state, \
                 const uint8_t* line, uint8_t* dst, int32_t planeStride, int32_t bitOffset,      \
                 int32_t pixelCount, int32_t startX, int32_t enable, int32_t lineNumber,         \
                 int32_t pairFlag, int32_t reserved) {                                           \
        return __VA_ARGS__(::inkdot::kernels::LineCall{view, state, line, dst, planeStride,      \
                                                       bitOffset, pixelCount, startX, enable,    \
                                                       lineNumber, pairFlag, reserved});         \
    }

// Whether pixels startX .. startX + pixelCount - 1 lie on the line. The end is
// summed without wrapping: a negative start or count whose 32-bit sum wraps
// back below maxPixels would otherwise address error-line entries in front of
// the buffer and run the pixel loop far past the caller's planes. A negative
// maxPixels admits no pixel.
inline bool stretchFits(const KernelView& view, int32_t startX, int32_t pixelCount) {
    const uint64_t end = uint64_t(uint32_t(startX)) + uint64_t(uint32_t(pixelCount));
    const int32_t maxPixels = view.maxPixels;
    return end <= uint64_t(maxPixels < 0 ? 0 : maxPixels);
}

// Slots per output byte: 8 one-bit dots or 4 two-bit dot codes. The caller
// names the first slot by bitOffset; outside 0 .. slots-1 the packer's start
// mask would be empty and a byte would be stored for every pixel, past the
// caller's plane, so the kernels refuse such an offset before writing anything.
template <int Bits>
inline bool bitOffsetFits(int32_t bitOffset) {
    return uint32_t(bitOffset) < uint32_t(8 / Bits);
}

}  // namespace inkdot::kernels
