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

INKDOT_PENDING_KERNEL(HalftoneBinarySep)
INKDOT_PENDING_KERNEL(HalftoneBinarySep360)
INKDOT_PENDING_KERNEL(HalftoneBinarySep1440)
INKDOT_PENDING_KERNEL(HalftoneDither)
INKDOT_PENDING_KERNEL(HalftoneDitherSep)
INKDOT_PENDING_KERNEL(HalftoneDitherMultiSep)
INKDOT_PENDING_KERNEL(HalftoneMultiSepMode)
INKDOT_PENDING_KERNEL(HalftoneMultiSep)
INKDOT_PENDING_KERNEL(HalftoneMultiSep1440)
INKDOT_PENDING_KERNEL(HalftoneMultiSep2880)

#undef INKDOT_PENDING_KERNEL

} // namespace inkdot::kernels
