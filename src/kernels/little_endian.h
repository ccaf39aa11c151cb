// Little-endian reads of resource bytes and table entries, whatever the
// processor's own byte order.
#pragma once

#include <cstdint>

namespace inkdot {

inline uint16_t readLe16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline uint32_t readLe32(const uint8_t* at) {
    return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) |
           (uint32_t{at[3]} << 24);
}

}  // namespace inkdot
