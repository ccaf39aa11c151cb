// Byte writing and small checks shared by the builders.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "respack/respack.h"

namespace respack::detail {

inline void put8(Bytes& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

inline void putLe16(Bytes& out, int v) {
    put8(out, v);
    put8(out, v >> 8);
}

inline void putLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) put8(out, static_cast<int>(v >> (8 * i)));
}

inline void setLe32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void setBe16(Bytes& out, size_t at, int v) {
    out[at] = static_cast<uint8_t>((v >> 8) & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

inline void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline void require(bool ok, const std::string& what) {
    if (!ok) throw std::invalid_argument("respack: " + what);
}

// Rounds a value in 0..1 to a byte.
inline uint8_t toByte(double v) {
    if (v <= 0.0) return 0;
    if (v >= 1.0) return 255;
    return static_cast<uint8_t>(static_cast<int>(v * 255.0 + 0.5));
}

inline double clamp01(double v) {
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// The input values of the points of an axis, evenly spread from 0 to 255.
inline std::vector<uint8_t> axisList(int points) {
    std::vector<uint8_t> list(points);
    for (int i = 0; i < points; ++i)
        list[i] = static_cast<uint8_t>((i * 255 + (points - 1) / 2) / (points - 1));
    return list;
}

}  // namespace respack::detail
