// Kernels that are not built yet answer "not supported" rather than claim
// output they did not write. Each family removes its lines here when it lands.
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"

namespace inkdot::kernels {

#define INKDOT_PENDING_KERNEL(name)                                                          \
    int32_t name(HalftoneContext&, const uint8_t*, uint8_t*, int32_t, int32_t, int32_t,     \
                 int32_t, int32_t, int32_t, int32_t, int32_t) {                             \
        return INKDOT_UNSUPPORTED;                                                           \
    }

INKDOT_PENDING_KERNEL(HalftoneDither)
INKDOT_PENDING_KERNEL(HalftoneDitherSep)
INKDOT_PENDING_KERNEL(HalftoneDitherMultiSep)

#undef INKDOT_PENDING_KERNEL

} // namespace inkdot::kernels
