#include "halftone/resource_format.h"

#include <cstring>

namespace inkdot {

ExtraKind extraBlockKind(ByteView block) {
    if (block.data == nullptr) return kNoExtra;
    static constexpr uint8_t kChainHead[6] = {0x04, 0x00, 0x00, 0x00, 0xFE, 0xFF};
    static constexpr uint8_t kRecordHead[8] = {0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00};
    if (block.covers(0, 6) && std::memcmp(block.data, kChainHead, 6) == 0) return kChainExtra;
    if (block.covers(0, 18) && std::memcmp(block.data, kRecordHead, 8) == 0 &&
        std::memcmp(block.data + 8, kLevelRecordSignature, 4) == 0)
        return kRecordExtra;
    return kUnknownExtra;
}

bool findChainValue(ByteView block, uint16_t tag, int16_t& value) {
    size_t at = 0;
    while (block.covers(at, 4)) {
        const uint32_t n = block.u32(at);
        if (n == 0) return false;
        if (n >= 4 && block.covers(at + 4, 4) && block.u16(at + 4) == tag) {
            value = block.s16(at + 6);
            return true;
        }
        // The next item starts behind this one's n bytes; a length that would
        // step past the known end (or wrap) ends the walk.
        if (n > block.length - at - 4) return false;
        at += 4 + size_t{n};
    }
    return false;
}

}  // namespace inkdot
