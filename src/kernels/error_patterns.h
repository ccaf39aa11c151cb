// The error line and its diffusion patterns. A pattern is a constexpr list
// of shares that `diffuseOn` expands into straight-line 16-bit additions, so
// the per-pixel path of a kernel does no searching and no looping over
// weights.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "kernels/line_call.h"

namespace inkdot::kernels {

// An error line holds one 16-bit entry per absolute pixel position, entry
// x + 30 for pixel x, with guard entries on both sides for the widest pattern.
// While a line is processed, entries from the current pixel rightwards hold
// error for this line and entries to its left error for the next one. Errors
// are stored times 32. Entries are handled as uint16_t so that every addition
// wraps at 16 bits with defined behaviour; a pixel reads its own entry back as
// a signed value.
inline constexpr int32_t kErrorLineGuard = 30;

inline uint16_t* errorEntry(int16_t* line, int32_t x) {
    return reinterpret_cast<uint16_t*>(line) + kErrorLineGuard + x;
}

INKDOT_ALWAYS_INLINE int32_t signedEntry(const uint16_t* entry) {
    return int16_t(*entry);
}

// A share's weight in 32nds of the pixel's error E, by the parity of its
// matrix value. Half weights count (E >> 1) instead of E: the wide tail of
// pattern B5 spreads half shares.
struct Weight {
    int8_t even = 0;
    int8_t odd = 0;
    bool half = false;

    constexpr Weight() = default;
    constexpr Weight(int both) : even(int8_t(both)), odd(int8_t(both)) {}
    constexpr Weight(int whenEven, int whenOdd) : even(int8_t(whenEven)), odd(int8_t(whenOdd)) {}
    static constexpr Weight halves(int both) {
        Weight w(both);
        w.half = true;
        return w;
    }
};

// A share added into the entry `offset` places from the pixel's own one:
// positive offsets are R+k (this line, still to come), negative ones B-k (the
// next line, k to the left).
struct Share {
    int8_t offset = 0;
    Weight weight;
};

inline constexpr int kMaxShares = 48;

// A diffusion pattern: the shares added into other entries, the share written
// into the pixel's own entry (B0) together with the carry, and the share held
// back as the next carry. The carry exists because B0 of the next pixel still
// holds this line's error while this pixel is diffused: it goes into that
// entry when the next pixel overwrites it.
struct Pattern {
    std::array<Share, kMaxShares> shares{};
    int count = 0;
    Weight own;
    Weight carry;
};

// A run of positions with one weight: R+first..R+last, or B-first..B-last.
struct Run {
    int first;
    int last;
    Weight weight;
};

constexpr Run right(int first, int last, Weight weight) {
    return {first, last, weight};
}
constexpr Run right(int k, Weight weight) {
    return {k, k, weight};
}
constexpr Run below(int first, int last, Weight weight) {
    return {-first, -last, weight};
}
constexpr Run below(int k, Weight weight) {
    return {-k, -k, weight};
}

constexpr Pattern pattern(Weight own, Weight carry, std::initializer_list<Run> runs) {
    Pattern p;
    p.own = own;
    p.carry = carry;
    for (const Run& run : runs) {
        const int step = run.last >= run.first ? 1 : -1;
        for (int k = run.first;; k += step) {
            p.shares[size_t(p.count++)] = Share{int8_t(k), run.weight};
            if (k == run.last) break;
        }
    }
    return p;
}

// The sum of a pattern's weights in 64ths of E (a half weight counts half).
constexpr int total64(const Pattern& p, bool odd) {
    auto of = [odd](const Weight& w) { return (odd ? w.odd : w.even) * (w.half ? 1 : 2); };
    int sum = of(p.own) + of(p.carry);
    for (int i = 0; i < p.count; ++i) sum += of(p.shares[size_t(i)].weight);
    return sum;
}

// No share lands in the pixel's own entry and no entry is named twice.
constexpr bool wellFormed(const Pattern& p) {
    if (p.count > kMaxShares) return false;
    for (int i = 0; i < p.count; ++i) {
        if (p.shares[size_t(i)].offset == 0) return false;
        for (int j = 0; j < i; ++j)
            if (p.shares[size_t(i)].offset == p.shares[size_t(j)].offset) return false;
    }
    return true;
}

// Table A (single-ink one-bit diffusion and the plain-resolution kernels).
// Weights {even, odd} follow the parity of the matrix value.
inline constexpr Pattern kA0 = pattern(8, 0, {right(1, 8), right(2, 4), below(2, 4), below(1, 8)});
inline constexpr Pattern kA1 = pattern(8, 4, {right(1, 8), right(2, 4), below(2, 4), below(1, 4)});
inline constexpr Pattern kA2 = pattern(
    {4, 6}, 4, {right(1, 2, 4), right(3, 4, 2), right(5, {2, 0}), below(4, 2, 2), below(1, 4)});
inline constexpr Pattern kA3 =
    pattern(3, 3, {right(1, 3, 3), right(4, 7, 1), below(7, 6, 1), below(5, 2, 2), below(1, 3)});
inline constexpr Pattern kA4 = pattern(2, 2,
                                       {right(1, 4, 2), right(5, 9, 1), right(10, {1, 0}),
                                        right(11, {0, 1}), below(10, 5, 1), below(4, 1, 2)});
// A5 passes on only 30/32 of the error: its shares reach 14 places right and
// 15 (even) or 14 (odd) left.
inline constexpr Pattern kA5 =
    pattern(1, 1, {right(1, 14, 1), below(15, {1, 0}), below(14, {0, 1}), below(13, 1, 1)});

// Table B (the 1440 and 2880 kernels).
inline constexpr Pattern kB0 = pattern(8, 0,
                                       {right(1, {8, 4}), right(2, 4), right(3, {0, 4}),
                                        below(3, {4, 0}), below(2, 4), below(1, {4, 8})});
inline constexpr Pattern kB1 =
    pattern(4, 4, {right(1, 2, 4), right(3, 4, 2), below(4, 3, 2), below(2, 1, 4)});
inline constexpr Pattern kB2 = pattern(2, 0,
                                       {right(1, 3, 3), right(4, 5, 2), right(6, 7, 1),
                                        below(7, 6, 1), below(5, 4, 2), below(3, 1, 3)});
inline constexpr Pattern kB3 =
    pattern(2, 0, {right(1, 5, 2), right(6, 10, 1), below(10, 6, 1), below(5, 1, 2)});
inline constexpr Pattern kB4 =
    pattern(1, 1, {right(1, 2), right(2, 14, 1), below(14, 2, 1), below(1, 2)});
// B5 spreads half shares (E >> 1) into its far entries, B0 and the carry.
inline constexpr Pattern kB5 = pattern(Weight::halves(1), Weight::halves(1),
                                       {right(1, 9, 1), right(10, 23, Weight::halves(1)),
                                        below(21, 10, Weight::halves(1)), below(9, 1, 1)});

// Patterns of the half-width two-bit kernel; the separating two-bit kernels
// know M1, M0 and M2 as C1, C2 and C3, and add C0 and C5.
inline constexpr Pattern kM1 = pattern(8, 8, {right(1, 2, 4), below(1, 8)});
inline constexpr Pattern kM0 = pattern(12, 4, {right(1, 2, 4), below(2, 1, 4)});
inline constexpr Pattern kM2 = pattern(8, 6, {right(1, 4, 2), below(4, 2, 2), below(1, 4)});
inline constexpr const Pattern& kM3 = kA3;
inline constexpr const Pattern& kC1 = kM1;
inline constexpr const Pattern& kC2 = kM0;
inline constexpr const Pattern& kC3 = kM2;
inline constexpr Pattern kC0 = pattern(16, 0, {right(1, 2, 4), below(2, 1, 4)});
inline constexpr Pattern kC5 =
    pattern(2, 0, {right(1, 4, 2), right(5, 11, 1), below(11, 5, 1), below(4, 1, 2)});

namespace detail {
constexpr bool passesOn(const Pattern& p, int sum64) {
    return wellFormed(p) && total64(p, false) == sum64 && total64(p, true) == sum64;
}
}  // namespace detail

static_assert(detail::passesOn(kA0, 64) && detail::passesOn(kA1, 64) && detail::passesOn(kA2, 64) &&
              detail::passesOn(kA3, 64) && detail::passesOn(kA4, 64) && detail::passesOn(kA5, 60));
static_assert(detail::passesOn(kB0, 64) && detail::passesOn(kB1, 64) && detail::passesOn(kB2, 64) &&
              detail::passesOn(kB3, 64) && detail::passesOn(kB4, 64) && detail::passesOn(kB5, 64));
static_assert(detail::passesOn(kM0, 64) && detail::passesOn(kM1, 64) && detail::passesOn(kM2, 64) &&
              detail::passesOn(kC0, 64) && detail::passesOn(kC5, 64));

namespace detail {
// One share of E (or of E >> 1) as a 16-bit addend; only the low 16 bits of
// any product reach an entry, so unsigned arithmetic gives the wrapped value.
template <Weight W>
INKDOT_ALWAYS_INLINE uint32_t shareOf(uint32_t whole, uint32_t half, uint32_t oddMask) {
    const uint32_t base = W.half ? half : whole;
    if constexpr (W.even == W.odd) {
        return uint32_t(W.even) * base;
    } else {
        return uint32_t(W.even) * base + ((uint32_t(W.odd - W.even) * base) & oddMask);
    }
}
}  // namespace detail

// Spreads a pixel's error E by pattern P onto `line`, which takes each share
// at its offset (add<k>), the own entry's share (writeOwn: B0 becomes it plus
// the carry held back by the pixel before) and the next carry (holdBack).
namespace detail {
template <const Pattern& P, class Line, size_t... I>
INKDOT_ALWAYS_INLINE void addShares(Line& line, uint32_t whole, uint32_t half, uint32_t oddMask,
                                    std::index_sequence<I...>) {
    (line.template add<P.shares[I].offset>(shareOf<P.shares[I].weight>(whole, half, oddMask)), ...);
}
}  // namespace detail

template <const Pattern& P, class Line>
INKDOT_ALWAYS_INLINE void diffuseOn(Line& line, int32_t error, uint32_t oddMask) {
    const uint32_t whole = uint32_t(error);
    const uint32_t half = uint32_t(error >> 1);
    detail::addShares<P>(line, whole, half, oddMask, std::make_index_sequence<size_t(P.count)>{});
    line.writeOwn(detail::shareOf<P.own>(whole, half, oddMask));
    line.holdBack(detail::shareOf<P.carry>(whole, half, oddMask));
}

// Two patterns over the union of their entries: each entry's weight in the
// first and in the second (0 where a pattern leaves the entry out).
struct PatternPair {
    struct Entry {
        int8_t offset = 0;
        Weight first;
        Weight second;
    };
    std::array<Entry, 2 * kMaxShares> entries{};
    int count = 0;
    Weight own[2];
    Weight carry[2];
};

constexpr PatternPair pairOf(const Pattern& first, const Pattern& second) {
    PatternPair pair;
    pair.own[0] = first.own;
    pair.own[1] = second.own;
    pair.carry[0] = first.carry;
    pair.carry[1] = second.carry;
    for (int i = 0; i < first.count; ++i)
        pair.entries[size_t(pair.count++)] = {first.shares[size_t(i)].offset,
                                              first.shares[size_t(i)].weight, Weight{}};
    for (int i = 0; i < second.count; ++i) {
        const Share& s = second.shares[size_t(i)];
        int found = -1;
        for (int j = 0; j < first.count; ++j)
            if (pair.entries[size_t(j)].offset == s.offset) found = j;
        if (found >= 0)
            pair.entries[size_t(found)].second = s.weight;
        else
            pair.entries[size_t(pair.count++)] = {s.offset, Weight{}, s.weight};
    }
    return pair;
}

template <const Pattern& First, const Pattern& Second>
inline constexpr PatternPair kPairOf = pairOf(First, Second);

namespace detail {
// What a share of either pattern is taken from: E and E >> 1, all ones in
// `pick` when the second pattern is taken, and the parity mask.
struct EitherError {
    uint32_t whole;
    uint32_t half;
    uint32_t pick;
    uint32_t oddMask;
};

// A share's weight in the four cases (first or second pattern, even or odd
// parity; case 2 * second + odd) written as a base weight plus terms, each a
// weight taken only in a set of cases: its cases' masks are worked out once
// for the whole pattern and most weights repeat, so the share costs little
// more than either pattern's own. Of the bases the cases suggest, the one that
// leaves the fewest terms is taken, and of those the smallest, so that the
// terms add and share their products with other entries.
struct Blend {
    int base = 0;
    int count = 0;
    int weight[4] = {};
    unsigned cases[4] = {};
};

constexpr Blend blendOf(Weight first, Weight second) {
    const int v[4] = {first.even, first.odd, second.even, second.odd};
    Blend best;
    int bestCost = 1 << 30;
    for (int k = -1; k < 4; ++k) {
        Blend b;
        b.base = k < 0 ? 0 : v[k];
        for (int i = 0; i < 4; ++i) {
            const int rest = v[i] - b.base;
            if (rest == 0) continue;
            int t = 0;
            while (t < b.count && b.weight[t] != rest) ++t;
            if (t == b.count) b.weight[b.count++] = rest;
            b.cases[t] |= 1u << i;
        }
        const int cost = 2 * b.count + (b.base != 0 ? 1 : 0);
        if (cost < bestCost || (cost == bestCost && b.base < best.base)) {
            best = b;
            bestCost = cost;
        }
    }
    return best;
}

template <Weight First, Weight Second>
inline constexpr Blend kBlendOf = blendOf(First, Second);

// All ones in the cases of the set, 0 in the others.
template <unsigned Cases>
INKDOT_ALWAYS_INLINE uint32_t casesMask(const EitherError& e) {
    const uint32_t odd = e.oddMask, pick = e.pick;
    uint32_t mask = 0;
    if constexpr ((Cases & 1) != 0) mask |= ~odd & ~pick;
    if constexpr ((Cases & 2) != 0) mask |= odd & ~pick;
    if constexpr ((Cases & 4) != 0) mask |= ~odd & pick;
    if constexpr ((Cases & 8) != 0) mask |= odd & pick;
    return mask;
}

template <const Blend& B, size_t... T>
INKDOT_ALWAYS_INLINE uint32_t blendedShare(const EitherError& e, std::index_sequence<T...>) {
    const uint32_t base = uint32_t(B.base) * e.whole;
    return (base + ... + ((uint32_t(B.weight[T]) * e.whole) & casesMask<B.cases[T]>(e)));
}

// A share of E by weight First when the first pattern is taken, by Second
// when the second is. Half weights take E >> 1 from the chosen pattern alone.
template <Weight First, Weight Second>
INKDOT_ALWAYS_INLINE uint32_t eitherShare(const EitherError& e) {
    if constexpr (First.half || Second.half) {
        return shareOf<First>(e.whole & ~e.pick, e.half & ~e.pick, e.oddMask) +
               shareOf<Second>(e.whole & e.pick, e.half & e.pick, e.oddMask);
    } else {
        constexpr const Blend& b = kBlendOf<First, Second>;
        return blendedShare<b>(e, std::make_index_sequence<size_t(b.count)>{});
    }
}

template <const PatternPair& P, class Line, size_t... I>
INKDOT_ALWAYS_INLINE void addEitherShares(Line& line, const EitherError& e,
                                          std::index_sequence<I...>) {
    (line.template add<P.entries[I].offset>(
         eitherShare<P.entries[I].first, P.entries[I].second>(e)),
     ...);
}
}  // namespace detail

// Spreads E by pattern First, or by Second when `second`, without a branch:
// each entry of the two patterns' union takes the share its weight in the
// chosen pattern gives (0 where that pattern leaves it out). For a choice the
// data makes unpredictable, where the branch would cost more than the
// additions the other pattern's entries take.
template <const Pattern& First, const Pattern& Second, class Line>
INKDOT_ALWAYS_INLINE void diffuseEither(Line& line, int32_t error, bool second, uint32_t oddMask) {
    constexpr const PatternPair& pair = kPairOf<First, Second>;
    const detail::EitherError e{uint32_t(error), uint32_t(error >> 1), 0u - uint32_t(second),
                                oddMask};
    detail::addEitherShares<pair>(line, e, std::make_index_sequence<size_t(pair.count)>{});
    line.writeOwn(detail::eitherShare<pair.own[0], pair.own[1]>(e));
    line.holdBack(detail::eitherShare<pair.carry[0], pair.carry[1]>(e));
}

}  // namespace inkdot::kernels
