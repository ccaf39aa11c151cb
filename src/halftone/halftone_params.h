// Readings of HalftoneParams that the engine makes in several places: the
// resolution pairs it tells apart and the kind of method. Tables and kernels
// are chosen by named pairs (2880 x 720, 1440 x 720, 720 x 360) and by the
// ratio of the two resolutions.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

struct Resolution {
    int64_t x;
    int64_t y;

    explicit Resolution(const HalftoneParams& params)
        : x(params.xResolution), y(params.yResolution) {}

    bool is(int64_t xDpi, int64_t yDpi) const { return x == xDpi && y == yDpi; }
    bool is2880x720() const { return is(2880, 720); }
    bool is1440x720() const { return is(1440, 720); }
    bool is720x360() const { return is(720, 360); }
    bool square() const { return x == y; }
    bool xTwiceY() const { return x == 2 * y; }
    bool yTwiceX() const { return y == 2 * x; }  // the half-width modes
};

// Error diffusion is method 1; 0, 2 and 3 are the non-diffusion methods, and
// any other value is taken as diffusion.
inline bool diffusionMethod(int32_t method) {
    return method != 0 && method != 2 && method != 3;
}

}  // namespace inkdot
