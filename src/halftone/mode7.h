// The separation path of mode 7: its own resource sequence and line path,
// which the halftone frame hands every mode-7 object to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// One resource call of the mode-7 sequence (the arguments of HalftoneSetResource).
int32_t mode7SetResource(HalftoneContext& context, const void* resource, size_t length,
                         int32_t* nextResource);

// One line of the mode-7 path (the arguments of Halftone, unchanged).
int32_t mode7Line(HalftoneContext& context, const void* src, uint8_t* dst, int32_t planeStride,
                  int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t enable,
                  int32_t lineNumber, int32_t spare, int32_t reserved);

}  // namespace inkdot
