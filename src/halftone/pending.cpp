// Entry points of the halftone families that are not built yet. Each answers
// with a failure code, never a success it has not earned: creation reports an
// unsupported combination, resource calls report that the sequence cannot go on.
#include "frame/workers.h"

namespace inkdot {

int32_t halftoneNew(const HalftoneParams* params, const CmLut* lut, int32_t flag, int32_t*,
                    HalftoneContext**) {
    if (flag != 0) return INKDOT_NONZERO_FLAG;
    if (params == nullptr) return INKDOT_BAD_FIRST_RECORD;
    if (lut == nullptr) return INKDOT_BAD_SECOND_RECORD;
    return INKDOT_UNSUPPORTED;
}
int32_t halftoneSetResource(HalftoneContext*, const void*, size_t, int32_t*) {
    return INKDOT_SEQUENCE_ENDED;
}
int32_t halftone(HalftoneContext*, const void*, uint8_t*, int32_t, int32_t, int32_t, int32_t,
                 int32_t, int32_t, int32_t, int32_t) {
    return INKDOT_UNSUPPORTED;
}
int32_t halftoneDelete(HalftoneContext*) { return INKDOT_OK; }

} // namespace inkdot
