// Diffusion on the entries around one pixel's own entry with a separate
// carry, every share added in memory: the plainest form of the kernels'
// error walks, against which the tests check the patterns and the walks.
#pragma once

#include <cstdint>

#include "kernels/error_walks.h"

namespace inkdot::kernels {

// The entries around one pixel's own entry, every share added in memory,
// and the carry that passes from pixel to pixel.
struct EntrySpan {
    uint16_t* own;
    uint16_t& carry;

    template <int Offset>
    INKDOT_ALWAYS_INLINE void add(uint32_t share) {
        own[Offset] = uint16_t(own[Offset] + share);
    }
    INKDOT_ALWAYS_INLINE void writeOwn(uint32_t share) { *own = uint16_t(share + carry); }
    INKDOT_ALWAYS_INLINE void holdBack(uint32_t share) { carry = uint16_t(share); }
};

// Spreads the error of the pixel whose own entry is `own` by pattern P: each
// share is added into its entry, B0 is overwritten with its share plus the
// carry held back by the pixel before, and `carry` becomes P's held-back share.
template <const Pattern& P>
INKDOT_ALWAYS_INLINE void diffuse(uint16_t* own, int32_t error, uint32_t oddMask, uint16_t& carry) {
    EntrySpan span{own, carry};
    diffuseOn<P>(span, error, oddMask);
}

// A pixel that diffuses nothing: its own entry receives only the carry, which
// is then spent.
INKDOT_ALWAYS_INLINE void passCarry(uint16_t* own, uint16_t& carry) {
    *own = carry;
    carry = 0;
}

// The same choices on the entries around `own` with a separate carry.
template <int Deepest>
INKDOT_ALWAYS_INLINE void spreadTableA(const SpreadLevels& s, int32_t d, bool dot, uint32_t oddMask,
                                       uint16_t* own, int32_t error, uint16_t& carry) {
    EntrySpan span{own, carry};
    spreadTableA<Deepest>(s, d, dot, oddMask, span, error);
}
template <int Deepest>
INKDOT_ALWAYS_INLINE void spreadTableB(const SpreadLevels& s, int32_t d, bool dot, uint32_t oddMask,
                                       uint16_t* own, int32_t error, uint16_t& carry) {
    EntrySpan span{own, carry};
    spreadTableB<Deepest>(s, d, dot, oddMask, span, error);
}

}  // namespace inkdot::kernels
