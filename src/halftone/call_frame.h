// The frame around the line kernels: which kernel serves an object, and the
// expansion of input lines whose pixels are repeated.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"
#include "kernels/kernels.h"

namespace inkdot {

// The kernel of an object and the pair value it is called with; no kernel
// (and result INKDOT_UNSUPPORTED) for a combination none serves.
struct KernelChoice {
    kernels::Kernel* kernel;
    int32_t pairFlag;
};

KernelChoice chooseKernel(const HalftoneContext& context);

// The view of the object's tables that its kernel works on.
kernels::KernelView kernelView(HalftoneContext& context);

// Chooses the object's kernel and builds its view, once the resource
// sequence has completed (and again whenever the parameters they depend on
// change, which only tests and fuzzers do).
void prepareKernel(HalftoneContext& context);

// Writes each input pixel `replication` times into expandedLine, enough
// copies to cover the input pixels that `pixelCount` output pixels read, but
// never more than maxPixels pixels.
void expandLine(HalftoneContext& context, const uint8_t* src, int32_t pixelCount);

}  // namespace inkdot
