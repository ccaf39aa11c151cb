// The line kernels. Every kernel takes the object's prepared view, its line
// state and the caller's line arguments (kernel_view.h) and returns a result
// code. Kernels never allocate and never call back into the frame.
#pragma once

#include <cstdint>

#include "kernels/kernel_view.h"

namespace inkdot::kernels {

// One ink, one bit, error diffusion.
Kernel HalftoneBinary, HalftoneBinary1440;
// Four channels into six inks, one bit, error diffusion.
Kernel HalftoneBinarySep, HalftoneBinarySep360, HalftoneBinarySep1440;
// Ordered dither: one ink / six inks one bit, six inks two bits.
Kernel HalftoneDither, HalftoneDitherSep, HalftoneDitherMultiSep;
// One ink, two bits: the half-width pair mode and the plain members.
Kernel HalftoneMultiMode, HalftoneMulti, HalftoneMulti1440, HalftoneMulti2880;
// Four channels into six inks by ordered dither, as bytes of ink amounts or
// one bit (the separation path).
Kernel HalftoneSeparationPath;
// Four channels into six inks, two bits.
Kernel HalftoneMultiSepMode, HalftoneMultiSep, HalftoneMultiSep1440, HalftoneMultiSep2880;

}  // namespace inkdot::kernels
