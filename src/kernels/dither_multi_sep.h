// The two-bit six-ink ordered-dither kernel with its per-pixel codes worked
// out in plain integer code on every target: the reference twin of the
// vector form that HalftoneDitherMultiSep uses where the target has one.
#pragma once

#include "kernels/kernels.h"

namespace inkdot::kernels {

Kernel HalftoneDitherMultiSepPortable;

}  // namespace inkdot::kernels
