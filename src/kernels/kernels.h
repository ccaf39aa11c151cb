// The line kernels. Every kernel takes the eleven arguments the call frame
// passes (the caller's line arguments, with the line possibly replaced by the
// expanded line and the tenth argument by the frame's pair value) and returns
// a result code. Kernels never allocate and never call back into the frame.
#pragma once

#include <cstdint>

struct HalftoneContext;

namespace inkdot::kernels {

using Kernel = int32_t(HalftoneContext& context, const uint8_t* line, uint8_t* dst,
                       int32_t planeStride, int32_t bitOffset, int32_t pixelCount,
                       int32_t startX, int32_t enable, int32_t lineNumber, int32_t pairFlag,
                       int32_t reserved);

// One ink, one bit, error diffusion.
Kernel HalftoneBinary, HalftoneBinary1440;
// Four channels into six inks, one bit, error diffusion.
Kernel HalftoneBinarySep, HalftoneBinarySep360, HalftoneBinarySep1440;
// Ordered dither: one ink / six inks one bit, six inks two bits.
Kernel HalftoneDither, HalftoneDitherSep, HalftoneDitherMultiSep;
// One ink, two bits: the half-width pair mode and the plain members.
Kernel HalftoneMultiMode, HalftoneMulti, HalftoneMulti1440, HalftoneMulti2880;
// Four channels into six inks, two bits.
Kernel HalftoneMultiSepMode, HalftoneMultiSep, HalftoneMultiSep1440, HalftoneMultiSep2880;

} // namespace inkdot::kernels
