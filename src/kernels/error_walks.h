// Walks along an error line, and the pattern tables A and B that choose a
// pixel's pattern by density and decision.
#pragma once

#include <cstdint>

#include "kernels/error_patterns.h"

namespace inkdot::kernels {

// A walk along an error line that keeps only the carry in a register: every
// share is added in memory. For kernels that diffuse on several lines at
// once, where registers held for each line would be spilled to the stack.
class MemoryWalk {
public:
    MemoryWalk(int16_t* line, int32_t x) : own_(errorEntry(line, x)) {}

    // The pixel's own entry (B0) as a signed value.
    INKDOT_ALWAYS_INLINE int32_t collected() const { return signedEntry(own_); }

    template <int Offset>
    INKDOT_ALWAYS_INLINE void add(uint32_t share) {
        own_[Offset] = uint16_t(own_[Offset] + share);
    }
    INKDOT_ALWAYS_INLINE void writeOwn(uint32_t share) { *own_ = uint16_t(share + carry_); }
    INKDOT_ALWAYS_INLINE void holdBack(uint32_t share) { carry_ = share; }

    // A pixel that diffuses nothing: B0 receives only the carry, which is spent.
    INKDOT_ALWAYS_INLINE void passCarry() {
        *own_ = uint16_t(carry_);
        carry_ = 0;
    }
    // A pixel that drops both its collected error and the carry.
    INKDOT_ALWAYS_INLINE void clearOwn() {
        *own_ = 0;
        carry_ = 0;
    }

    INKDOT_ALWAYS_INLINE void advance() { ++own_; }
    void finish() {}

private:
    uint16_t* own_;
    uint32_t carry_ = 0;
};

// A walk along an error line that keeps the two entries next to the pixel in
// registers: the share for R+1 until the next pixel collects it, and entry
// B-1 (already the next line's error of the pixel before) until this pixel
// has added its B-1 share. The pixel's own entry (B0 plus the carry) waits in
// a register for the next pixel the same way. Every other share is added in
// memory, into entries that no register holds, so a pixel stores one entry
// and each share costs one addition. finish() stores what is still held.
class ErrorWalk {
public:
    ErrorWalk(int16_t* line, int32_t x) : own_(errorEntry(line, x)), left_(own_[-1]) {}

    // The pixel's own entry (B0) as a signed value.
    INKDOT_ALWAYS_INLINE int32_t collected() const { return int16_t(uint16_t(*own_ + next_)); }

    template <int Offset>
    INKDOT_ALWAYS_INLINE void add(uint32_t share) {
        if constexpr (Offset == 1) {
            right_ += share;
        } else if constexpr (Offset == -1) {
            left_ += share;
        } else {
            own_[Offset] = uint16_t(own_[Offset] + share);
        }
    }
    INKDOT_ALWAYS_INLINE void writeOwn(uint32_t share) { pending_ = share + carry_; }
    INKDOT_ALWAYS_INLINE void holdBack(uint32_t share) { carry_ = share; }

    // A pixel that diffuses nothing: B0 receives only the carry, which is spent.
    INKDOT_ALWAYS_INLINE void passCarry() {
        pending_ = carry_;
        carry_ = 0;
    }
    // A pixel that drops both its collected error and the carry.
    INKDOT_ALWAYS_INLINE void clearOwn() {
        pending_ = 0;
        carry_ = 0;
    }

    INKDOT_ALWAYS_INLINE void advance() {
        own_[-1] = uint16_t(left_);
        left_ = pending_;
        next_ = right_;
        right_ = 0;
        ++own_;
    }
    void finish() {
        own_[-1] = uint16_t(left_);
        own_[0] = uint16_t(own_[0] + next_);
    }

private:
    uint16_t* own_;
    uint32_t left_;
    uint32_t next_ = 0, right_ = 0;
    uint32_t pending_ = 0, carry_ = 0;
};

// Table A, chosen by density first (A1 above level 1, dot or not), then by
// the decision (A0 without a dot), then by density again. `Deepest` is the
// widest pattern a kernel uses: 3 ends at A3; 4 adds A4 at or below level 3;
// 5 splits that range at L4' (level 4 minus one for an even matrix value,
// level 4 for an odd one) into A4 above and A5 at or below it.
template <int Deepest, class Line>
INKDOT_ALWAYS_INLINE void spreadTableA(const SpreadLevels& s, int32_t d, bool dot, uint32_t oddMask,
                                       Line& line, int32_t error) {
    static_assert(Deepest >= 3 && Deepest <= 5);
    if (d > s.level1) return diffuseOn<kA1>(line, error, oddMask);
    if (!dot) return diffuseOn<kA0>(line, error, oddMask);
    if (d > s.level2) return diffuseOn<kA2>(line, error, oddMask);
    if constexpr (Deepest == 3) {
        return diffuseOn<kA3>(line, error, oddMask);
    } else {
        if (d > s.level3) return diffuseOn<kA3>(line, error, oddMask);
        if constexpr (Deepest == 5) {
            const bool aboveL4 = oddMask != 0 ? d > s.level4 : d >= s.level4;
            if (!aboveL4) return diffuseOn<kA5>(line, error, oddMask);
        }
        return diffuseOn<kA4>(line, error, oddMask);
    }
}

// Table B, chosen by the decision first (B0 for every pixel without a dot),
// then by density: B1 above level 1, B2 above level 2, B3 above level 3, then
// with `Deepest` 5 B4 above level 4 and B5 below, with `Deepest` 4 B4.
template <int Deepest, class Line>
INKDOT_ALWAYS_INLINE void spreadTableB(const SpreadLevels& s, int32_t d, bool dot, uint32_t oddMask,
                                       Line& line, int32_t error) {
    static_assert(Deepest == 4 || Deepest == 5);
    // Above level 1 the decision alone picks B0 or B1; a caller to whom that
    // decision is unpredictable blends the two with diffuseEither instead.
    if (!dot) return diffuseOn<kB0>(line, error, oddMask);
    if (d > s.level1) return diffuseOn<kB1>(line, error, oddMask);
    if (d > s.level2) return diffuseOn<kB2>(line, error, oddMask);
    if (d > s.level3) return diffuseOn<kB3>(line, error, oddMask);
    if (Deepest == 5 && d <= s.level4) return diffuseOn<kB5>(line, error, oddMask);
    return diffuseOn<kB4>(line, error, oddMask);
}

}  // namespace inkdot::kernels
