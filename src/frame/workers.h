// The internal workers behind the eleven exported functions.
//
// The exports forward their arguments unchanged to these and return the
// result unchanged. Resource-taking workers have a second form with the
// resource's length, so fuzzers and careful callers can bound every read;
// the exports pass kUnbounded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

// The resource length the driver protocol implies: none is known.
inline constexpr size_t kUnbounded = SIZE_MAX;

int32_t cmNew(const CmParams* params, const CmSelect* select, int32_t unused, int32_t* nextResource,
              CmContext** handle);
int32_t cmSetResource(CmContext* context, const void* resource, size_t length,
                      int32_t* nextResource);
CmLut* cmGetLut(CmContext* context);
int32_t cmDelete(CmContext* context);

// extraLength bounds the reads of the CmLut's extra block; the driver protocol
// gives none, so the exports pass kUnbounded.
int32_t halftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t flag,
                    int32_t* tableClass, HalftoneContext** handle, size_t extraLength = kUnbounded);
int32_t halftoneSetResource(HalftoneContext* context, const void* resource, size_t length,
                            int32_t* nextResource);
int32_t halftone(HalftoneContext* context, const void* src, uint8_t* dst, int32_t planeStride,
                 int32_t bitOffset, int32_t pixelCount, int32_t startX, int32_t enable,
                 int32_t lineNumber, int32_t spare, int32_t reserved);
int32_t halftoneDelete(HalftoneContext* context);

int32_t hHalftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t unused,
                     const uint8_t* curves, int32_t* extraValue, HTableContext** handle,
                     size_t extraLength = kUnbounded);
int32_t hHalftoneGetTable(HTableContext* context, const void* records, size_t length,
                          int32_t* nextResource, int32_t* imageLength, uint8_t* image);
int32_t hHalftoneDelete(HTableContext* context);

}  // namespace inkdot
