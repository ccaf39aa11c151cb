// The eleven exported functions: thin forwarding to the workers, nothing else.
#include "frame/workers.h"

using namespace inkdot;

extern "C" {

int32_t INKDOT_CALL CmNew(const CmParams* params, const CmSelect* select, int32_t unused,
                          int32_t* nextResource, CmContext** handle) {
    return cmNew(params, select, unused, nextResource, handle);
}

int32_t INKDOT_CALL CmSetResource(CmContext* context, const void* resource, int32_t* nextResource) {
    return cmSetResource(context, resource, kUnbounded, nextResource);
}

CmLut* INKDOT_CALL CmGetLut(CmContext* context) {
    return cmGetLut(context);
}

int32_t INKDOT_CALL CmDelete(CmContext* context) {
    return cmDelete(context);
}

int32_t INKDOT_CALL HalftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t flag,
                                int32_t* tableClass, HalftoneContext** handle) {
    return halftoneNew(params, lut, flag, tableClass, handle);
}

int32_t INKDOT_CALL HalftoneSetResource(HalftoneContext* context, const void* resource,
                                        int32_t* nextResource) {
    return halftoneSetResource(context, resource, kUnbounded, nextResource);
}

int32_t INKDOT_CALL Halftone(HalftoneContext* context, const void* src, uint8_t* dst,
                             int32_t planeStride, int32_t bitOffset, int32_t pixelCount,
                             int32_t startX, int32_t enable, int32_t lineNumber, int32_t spare,
                             int32_t reserved) {
    return halftone(context, src, dst, planeStride, bitOffset, pixelCount, startX, enable,
                    lineNumber, spare, reserved);
}

int32_t INKDOT_CALL HalftoneDelete(HalftoneContext* context) {
    return halftoneDelete(context);
}

int32_t INKDOT_CALL H_HalftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t unused,
                                  const uint8_t* curves, int32_t* extraValue,
                                  HTableContext** handle) {
    return hHalftoneNew(params, lut, unused, curves, extraValue, handle);
}

int32_t INKDOT_CALL H_HalftoneGetTable(HTableContext* context, const void* records,
                                       int32_t* nextResource, int32_t* imageLength,
                                       uint8_t* image) {
    return hHalftoneGetTable(context, records, kUnbounded, nextResource, imageLength, image);
}

int32_t INKDOT_CALL H_HalftoneDelete(HTableContext* context) {
    return hHalftoneDelete(context);
}

}  // extern "C"
