// Reading the halftone resources and the CmLut's extra block: little-endian
// fields behind a bounds check, the two extra-block signatures and the walk
// over the tagged items of the chain kind.
//
// Resources arrive as an address and, where the caller knows it, a length;
// the driver protocol itself knows none (kUnbounded). Every read goes through
// `covers` first, so a bounded caller never has a byte read past its length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/little_endian.h"

namespace inkdot {

// A resource or block of `length` bytes (SIZE_MAX when the length is not known).
struct ByteView {
    const uint8_t* data = nullptr;
    size_t length = 0;

    ByteView() = default;
    ByteView(const void* address, size_t bytes)
        : data(static_cast<const uint8_t*>(address)), length(address ? bytes : 0) {}

    // Whether bytes offset .. offset + count - 1 are there to read.
    bool covers(size_t offset, size_t count) const {
        return data != nullptr && count <= length && offset <= length - count;
    }
    uint8_t u8(size_t offset) const { return data[offset]; }
    uint16_t u16(size_t offset) const { return readLe16(data + offset); }
    int16_t s16(size_t offset) const { return static_cast<int16_t>(u16(offset)); }
    uint32_t u32(size_t offset) const { return readLe32(data + offset); }
};

// The four bytes that mark level-record data, in the extra block of the
// record kind and in the level-record resource.
inline constexpr uint8_t kLevelRecordSignature[4] = {0xFB, 0x69, 0xF7, 0xDC};

// Kinds of the CmLut's extra block. kUnknownExtra is a block that carries
// neither signature.
enum ExtraKind : int32_t {
    kNoExtra = 0,
    kChainExtra = 1,   // 04 00 00 00 FE FF: a chain of tagged items
    kRecordExtra = 2,  // 04 00 00 00 02 00 00 00 + signature: names a level-record resource
    kUnknownExtra = -1,
};

// The kind of an extra block; a null block is kNoExtra.
ExtraKind extraBlockKind(ByteView block);

// Bytes 16-17 of a record-kind extra block: the level-record resource to ask for.
inline int16_t extraResourceNumber(ByteView block) {
    return block.s16(16);
}

// Tags of the chain items the engine reads.
inline constexpr uint16_t kTagDotShare = 0xFFFE;  // first item: the small-dot share code
inline constexpr uint16_t kTagInkLimit = 101;     // percentage that scales the ink axis

// Walks the chain of tagged items from the start of `block`: each item is a
// 32-bit length n and n bytes that begin with a 16-bit tag; length 0 ends the
// chain. Finds the first item with `tag` and gives the signed 16-bit value
// after the tag. An item too short to hold a tag and a value never matches.
bool findChainValue(ByteView block, uint16_t tag, int16_t& value);

}  // namespace inkdot
