// The mode-7 path is not built yet: its resource calls report that the
// sequence cannot go on, its lines that the combination is not supported.
#include "halftone/mode7.h"

namespace inkdot {

int32_t mode7SetResource(HalftoneContext&, const void*, size_t, int32_t*) {
    return INKDOT_SEQUENCE_ENDED;
}

int32_t mode7Line(HalftoneContext&, const void*, uint8_t*, int32_t, int32_t, int32_t, int32_t,
                  int32_t, int32_t, int32_t, int32_t) {
    return INKDOT_UNSUPPORTED;
}

} // namespace inkdot
