// Packers of one- and two-bit dots into output planes.
#pragma once

#include <cstdint>

#include "kernels/line_call.h"

namespace inkdot::kernels {

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
