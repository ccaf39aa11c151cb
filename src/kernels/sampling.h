// How output pixels take their input bytes.
#pragma once

#include <cstdint>
#include <type_traits>

#include "kernels/line_call.h"

namespace inkdot::kernels {

// How output pixels take their input: one byte each; one byte for two pixels
// (inputScale 1: read on the even pixels counted from startX, kept on the
// odd); or the larger or the smaller of two bytes (inputScale -1).
enum class Sampling { Single, Repeat, Larger, Smaller };

template <Sampling S>
INKDOT_ALWAYS_INLINE bool readsAt(int32_t i) {
    return S != Sampling::Repeat || (i & 1) == 0;
}

template <Sampling S>
INKDOT_ALWAYS_INLINE uint32_t readInput(const uint8_t*& in) {
    if constexpr (S == Sampling::Larger || S == Sampling::Smaller) {
        const uint32_t p = in[0], q = in[1];
        in += 2;
        return (S == Sampling::Larger) == (p > q) ? p : q;
    } else {
        return *in++;
    }
}

// Calls f with the sampling that inputScale asks for, as a compile-time value;
// `Pair` is the family's rule for inputScale -1.
template <Sampling Pair, typename F>
INKDOT_ALWAYS_INLINE int32_t withSampling(int32_t inputScale, F&& f) {
    if (inputScale == 1) return f(std::integral_constant<Sampling, Sampling::Repeat>{});
    if (inputScale == -1) return f(std::integral_constant<Sampling, Pair>{});
    return f(std::integral_constant<Sampling, Sampling::Single>{});
}

}  // namespace inkdot::kernels
