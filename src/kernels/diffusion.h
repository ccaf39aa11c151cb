// Mechanics shared by the line kernels: the call record and its range check,
// matrix addressing, the threshold bias, the error line with its diffusion
// patterns, input sampling, and the packers of one- and two-bit dot planes.
//
// Everything here is inline and resolved at compile time where it can be:
// a diffusion pattern is a constexpr list of shares that `diffuse` expands
// into straight-line 16-bit additions, so the per-pixel path of a kernel does
// no searching and no looping over weights.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "inkdot/inkdot.h"
#include "kernels/kernel_view.h"

#if defined(__GNUC__) || defined(__clang__)
#define INKDOT_ALWAYS_INLINE inline __attribute__((always_inline))
#define INKDOT_ALWAYS_INLINE_LAMBDA __attribute__((always_inline))
#else
#define INKDOT_ALWAYS_INLINE inline
#define INKDOT_ALWAYS_INLINE_LAMBDA
#endif

namespace inkdot::kernels {

// ---------------------------------------------------------------------------
// The call

// The view, the line state and the caller's line arguments, in the frame's
// order.
struct LineCall {
    const KernelView& view;
    LineState& state;
    const uint8_t* line;
    uint8_t* dst;
    int32_t planeStride;
    int32_t bitOffset;
    int32_t pixelCount;
    int32_t startX;
    int32_t enable;
    int32_t lineNumber;
    int32_t pairFlag;
    int32_t reserved;
};

// Defines the kernel `name` (declared in kernels.h) as a forwarder of its
// arguments to the function that follows, which takes a LineCall.
#define INKDOT_DEFINE_KERNEL(name, ...)                                                             \
    int32_t name(const ::inkdot::kernels::KernelView& view, ::inkdot::kernels::LineState& state,    \
                 const uint8_t* line, uint8_t* dst, int32_t planeStride, int32_t bitOffset,         \
                 int32_t pixelCount, int32_t startX, int32_t enable, int32_t lineNumber,            \
                 int32_t pairFlag, int32_t reserved) {                                              \
        return __VA_ARGS__(::inkdot::kernels::LineCall{view, state, line, dst, planeStride,         \
                                                       bitOffset, pixelCount, startX, enable,       \
                                                       lineNumber, pairFlag, reserved});            \
    }

// Whether pixels startX .. startX + pixelCount - 1 lie on the line. The end is
// summed without wrapping: a negative start or count whose 32-bit sum wraps
// back below maxPixels would otherwise address error-line entries in front of
// the buffer and run the pixel loop far past the caller's planes. A negative
// maxPixels admits no pixel.
inline bool stretchFits(const KernelView& view, int32_t startX, int32_t pixelCount) {
    const uint64_t end = uint64_t(uint32_t(startX)) + uint64_t(uint32_t(pixelCount));
    const int32_t maxPixels = view.maxPixels;
    return end <= uint64_t(maxPixels < 0 ? 0 : maxPixels);
}

// Slots per output byte: 8 one-bit dots or 4 two-bit dot codes. The caller
// names the first slot by bitOffset; outside 0 .. slots-1 the packer's start
// mask would be empty and a byte would be stored for every pixel, past the
// caller's plane, so the kernels refuse such an offset before writing anything.
template <int Bits>
inline bool bitOffsetFits(int32_t bitOffset) {
    return uint32_t(bitOffset) < uint32_t(8 / Bits);
}

// ---------------------------------------------------------------------------
// Matrix addressing and the threshold bias

// The dither-matrix row of one raster line. Columns are taken from the
// absolute pixel position, so a line split over several calls meets the same
// matrix values; the width is a power of two and the column is masked.
struct MatrixRow {
    const int32_t* values;
    uint32_t columnMask;

    INKDOT_ALWAYS_INLINE int32_t at(int32_t x) const { return values[uint32_t(x) & columnMask]; }
};

inline MatrixRow matrixRow(const KernelView& view, int32_t lineNumber) {
    const uint32_t row = uint32_t(lineNumber) % uint32_t(view.matrixHeight);
    return {view.matrix + size_t(row) * uint32_t(view.matrixWidth), uint32_t(view.matrixWidth) - 1};
}

// Calls f(u, x) for each pixel x of startX .. endX - 1 with its matrix value
// u. The row is walked in runs that do not wrap around its end, so that a
// pixel takes its value with one load.
template <typename F>
INKDOT_ALWAYS_INLINE void forEachPixel(const MatrixRow& row, int32_t startX, int32_t endX, F&& f) {
    const uint32_t width = row.columnMask + 1;
    for (int32_t x = startX; x < endX;) {
        const uint32_t column = uint32_t(x) & row.columnMask;
        const int32_t runEnd = x + int32_t(std::min(uint32_t(endX - x), width - column));
        for (const int32_t* u = row.values + column; x < runEnd; ++x, ++u) f(*u, x);
    }
}

// The jitter of a threshold, from the low byte of a matrix value: never zero,
// 20 or 24 up for low bytes, 20 or 24 down for high ones.
inline constexpr std::array<int8_t, 256> kThresholdBias = [] {
    std::array<int8_t, 256> bias{};
    for (int m = 0; m < 256; ++m) bias[m] = m < 8 ? 24 : m <= 128 ? 20 : m <= 247 ? -20 : -24;
    return bias;
}();

INKDOT_ALWAYS_INLINE int32_t thresholdBias(int32_t matrixValue) {
    return kThresholdBias[uint32_t(matrixValue) & 0xFF];
}

// All-ones when the matrix value is odd, else 0: selects the odd weights of a
// pattern without a branch.
INKDOT_ALWAYS_INLINE uint32_t parityMask(int32_t matrixValue) {
    return 0u - (uint32_t(matrixValue) & 1u);
}


// ---------------------------------------------------------------------------
// The error line

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

// ---------------------------------------------------------------------------
// The two-bit single-ink decision

// Two-bit dot codes as whole bytes; the packer takes the slot's two bits.
inline constexpr uint32_t kCodeNone = 0x00, kCodeSmall = 0x55, kCodeMedium = 0xAA,
                          kCodeLarge = 0xFF;

// How a non-negative collected error of the two-bit single-ink kernels
// rounds: up by 10 above an input of 250, else down.
INKDOT_ALWAYS_INLINE int32_t roundUpFor(uint32_t input) {
    return input > 250 ? 10 : 0;
}

// The collected error of the two-bit single-ink kernels: the entry divided
// by 32 rounding toward zero when negative; a non-negative entry after adding
// `up` (roundUpFor its input). A negative entry adds 31, which holds every bit
// of 10, so the two roundings combine with an OR.
INKDOT_ALWAYS_INLINE int32_t collectedError(int32_t entry, int32_t up) {
    return (entry + (((entry >> 31) & 31) | up)) >> 5;
}

// What a two-bit single-ink pixel reads for the density index d found at one
// position of the density map: the large- and medium-dot thresholds and the
// level total of d's record, d itself (it picks the pattern) and d's small-dot
// threshold; and roundUpFor the position taken as an input value.
struct LevelInfo {
    int32_t large;
    int32_t medium;
    int16_t levelTotal;
    int16_t density;
    int16_t smallThreshold;
    int16_t roundUp;
};

// The two-bit single-ink kernels build these on the stack once per call, so
// that a pixel looks up one position rather than following the density map
// to a record and the record to its thresholds: LevelInfo by density-map
// position, and the position the noisy index of each input value v and each
// value k of the matrix value's low three bits clamps to (at v * 8 + k).
struct LevelTables {
    LevelInfo info[256];
    uint8_t noisyPosition[256 * 8];
};

// The noise on the density index is (u AND 3) - 2, or with `WideNoise`
// (u AND 7) - 4 above an input of 160. The library's density maps, records
// and thresholds keep every index within its table; the masks only keep
// hand-made tables from reading outside their blocks.
template <bool WideNoise>
void fillLevelTables(const KernelView& view, LevelTables& t) {
    const int16_t* densityMap = view.densityMap;
    const LevelRecord* records = view.levelRecords;
    const int32_t* levelThresholds = view.levelThresholds;
    const int16_t* errorThresholds = view.errorThresholds;
    for (uint32_t j = 0; j < 256; ++j) {
        const int16_t d = densityMap[j];
        const LevelRecord& r = records[uint32_t(d) & 511];
        t.info[j].large = levelThresholds[uint32_t(r.thresholdBase) & 255];
        t.info[j].medium = levelThresholds[uint32_t(r.thresholdBase + r.mediumSpan) & 255];
        t.info[j].levelTotal = r.levelTotal;
        t.info[j].density = d;
        t.info[j].smallThreshold = errorThresholds[uint32_t(d) & 511];
        t.info[j].roundUp = int16_t(roundUpFor(j));
    }
    for (int32_t v = 0; v < 256; ++v) {
        const bool wide = WideNoise && v > 160;
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t index = v + (wide ? k - 4 : (k & 3) - 2);
            t.noisyPosition[v * 8 + k] = uint8_t(std::min(std::max(index, 0), 255));
        }
    }
}

// The two-bit slot value (0 none, 1 small, 2 medium, 3 large) for each
// combination of the three tests (large, medium, small as bits 2, 1, 0): the
// first test that holds decides.
inline constexpr uint8_t kThreeWaySlots[8] = {0, 1, 2, 2, 3, 3, 3, 3};

// Large and medium dots by ordered dither against the thresholds of the
// noisy index, the small dot by the error term reaching `smallThreshold`. All
// three tests are made and the slot is looked up rather than branched to: the
// matrix values make the outcome unpredictable from pixel to pixel.
INKDOT_ALWAYS_INLINE uint32_t threeWaySlot(const LevelInfo& noisy, int32_t u, int32_t error,
                                           int32_t smallThreshold) {
    const uint32_t large = noisy.large > u;
    const uint32_t medium = noisy.medium > u;
    const uint32_t small = error >= smallThreshold;
    return kThreeWaySlots[(large << 2) | (medium << 1) | small];
}

// ---------------------------------------------------------------------------
// Input sampling

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

// ---------------------------------------------------------------------------
// Output packing

// Packs one- or two-bit dots into `Planes` output planes that share one slot
// position, most significant slot first. The slots in front of bitOffset keep
// what the caller's first byte holds; a partly filled last byte is written
// whole, with zeros after the last pixel. Plane p starts at dst + p * stride.
template <int Bits, int Planes = 1>
class DotPacker {
public:
    static constexpr uint32_t kFirstMask = Bits == 1 ? 0x80u : 0xC0u;

    DotPacker(uint8_t* dst, int32_t planeStride, int32_t bitOffset)
        : dst_(dst), stride_(planeStride), mask_(kFirstMask >> (Bits * bitOffset)) {
        const uint32_t keep = ~(0xFFu >> (Bits * bitOffset)) & 0xFFu;
        for (int p = 0; p < Planes; ++p) acc_[p] = bitOffset != 0 ? plane(p)[0] & keep : 0u;
    }

    // ORs a code into the current slot of plane p: dotCode() for one bit,
    // a kCode* value for two.
    INKDOT_ALWAYS_INLINE void mark(int p, uint32_t code) { acc_[p] |= code & mask_; }

    // Moves to the next slot, storing the bytes when the last one is done.
    INKDOT_ALWAYS_INLINE void next() {
        mask_ >>= Bits;
        if (mask_ == 0) {
            for (int p = 0; p < Planes; ++p) {
                plane(p)[0] = uint8_t(acc_[p]);
                acc_[p] = 0;
            }
            ++dst_;
            mask_ = kFirstMask;
        }
    }

    // Stores a partly filled last byte.
    void finish() {
        if (mask_ == kFirstMask) return;
        for (int p = 0; p < Planes; ++p) plane(p)[0] = uint8_t(acc_[p]);
    }

private:
    uint8_t* plane(int p) const { return dst_ + ptrdiff_t(p) * stride_; }

    uint8_t* dst_;
    ptrdiff_t stride_;
    uint32_t mask_;
    uint32_t acc_[Planes];
};

// Packs one- or two-bit slot values into one plane, most significant slot
// first, with the same rules as DotPacker. The byte in progress sits behind a
// marker bit, which shows when the byte is full; so a slot costs a shift, an
// addition and a test.
template <int Bits>
class SlotPacker {
public:
    SlotPacker(uint8_t* dst, int32_t bitOffset)
        : dst_(dst),
          acc_((1u << (Bits * bitOffset)) |
               (bitOffset != 0 ? uint32_t(dst[0]) >> (8 - Bits * bitOffset) : 0u)) {}

    // Appends a slot value, 0 .. 2^Bits - 1.
    INKDOT_ALWAYS_INLINE void put(uint32_t slot) {
        acc_ = (acc_ << Bits) + slot;
        if (acc_ >= 0x100) {
            *dst_++ = uint8_t(acc_);
            acc_ = 1;
        }
    }

    // Stores a partly filled last byte, zeros after the last slot.
    void finish() {
        if (acc_ == 1) return;
        uint32_t byte = acc_;
        while (byte < 0x100) byte <<= Bits;
        *dst_ = uint8_t(byte);
    }

private:
    uint8_t* dst_;
    uint32_t acc_;
};

// All ones for true, 0 for false: a one-bit dot as a code.
INKDOT_ALWAYS_INLINE uint32_t dotCode(bool dot) {
    return 0u - uint32_t(dot);
}

}  // namespace inkdot::kernels
