// Shared pieces of the fuzz targets: a reader over the fuzzer's bytes, exact
// copies of resources (each in its own heap block of exactly its length, so
// the address sanitizer catches a read one byte past it), and the lookup
// tables and halftone resources of a valid object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "inkdot/inkdot.h"

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// Takes the input apart: fixed-size values from the front, then chunks each
// prefixed by a little-endian 16-bit length (the last chunk takes what is
// left when its length runs past the end).
class Input {
public:
    Input(const uint8_t* data, size_t size) : at_(data), left_(size) {}

    uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *at_++;
    }
    int32_t value(int32_t low, int32_t high) {  // in [low, high]
        uint32_t v = byte() | (uint32_t(byte()) << 8);
        return low + int32_t(v % uint32_t(high - low + 1));
    }
    bool more() const { return left_ > 0; }
    Bytes chunk() {
        size_t n = byte() | (size_t(byte()) << 8);
        if (n > left_) n = left_;
        Bytes out(at_, at_ + n);
        at_ += n;
        left_ -= n;
        return out;
    }
    Bytes rest() {
        Bytes out(at_, at_ + left_);
        at_ += left_;
        left_ = 0;
        return out;
    }

private:
    const uint8_t* at_;
    size_t left_;
};

// A resource in a block of exactly its size (at least one byte, so that an
// empty resource still has an address that any read overruns).
struct Exact {
    explicit Exact(const Bytes& bytes)
        : size(bytes.size()), block(new uint8_t[bytes.empty() ? 1 : bytes.size()]) {
        if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    }
    const uint8_t* data() const { return block.get(); }
    size_t size;
    std::unique_ptr<uint8_t[]> block;
};

// A colour table as the colour matching hands it on: five points an axis;
// one ink over three axes (two channels) or four channels separated into six
// inks over four axes.
struct Lut {
    explicit Lut(bool separated, const uint8_t* extra = nullptr) {
        const uint8_t points[5] = {0, 64, 128, 192, 255};
        std::memcpy(lut.list0, points, 5);
        std::memcpy(lut.list1, points, 5);
        std::memcpy(lut.list2, points, 5);
        lut.channels = separated ? 6 : 2;
        lut.points[0] = lut.points[1] = lut.points[2] = 5;
        lut.points[3] = separated ? 5 : 1;
        const size_t nodes = separated ? 625 : 125;
        grid.resize(nodes * size_t(lut.channels));
        for (size_t i = 0; i < grid.size(); ++i) grid[i] = uint8_t(i * 37 + i / 7);
        lut.grid = grid.data();
        lut.gridHandle = grid.data();
        lut.percentAt0 = separated ? 100 : 250;
        lut.percentAt255 = 100;
        lut.tableClass = separated ? 4 : 3;
        lut.extraBlock = const_cast<uint8_t*>(extra);
    }
    CmLut lut{};
    Bytes grid;
};

inline void putLe16(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// The halftone resources of a valid sequence: the list (grid levels 100,
// matrices 201..205), 32 even grid levels, a 16 x 16 Bayer matrix and level
// records.
inline Bytes standardList() {
    Bytes out;
    for (int16_t n : {100, 201, 202, 203, 204, 205, -1}) putLe16(out, uint16_t(n));
    return out;
}
inline Bytes gridLevels() {
    Bytes out;
    putLe16(out, 32);
    for (int i = 0; i < 32; ++i) out.push_back(uint8_t(i * 255 / 31));
    return out;
}
inline Bytes bayerMatrix() {
    Bytes out = {16, 16, 0xAA, 0xAA};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int v = 0;
            for (int bit = 1, xy = x ^ y; bit < 16; bit *= 2)
                v = 4 * v + ((xy & bit) ? 2 : 0) + ((y & bit) ? 1 : 0);
            putLe16(out, uint16_t(v));
        }
    return out;
}
inline Bytes levelRecords() {
    Bytes out = {0x2A, 0x06, 0, 0, 0xFB, 0x69, 0xF7, 0xDC, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 2};
    out.resize(32, 0);
    for (int r = 0; r < 512; ++r) out.insert(out.end(), {uint8_t(r / 2), uint8_t(r / 5), 0});
    return out;
}

// Halftone parameters from a few input bytes, within the ranges the object
// takes, so that most inputs reach the resource sequence: every mode
// (diffusion, dither, the half-width pair modes, byte output) is reachable.
inline HalftoneParams halftoneParams(Input& in) {
    static constexpr int32_t kResolutions[][2] = {{720, 720},  {720, 360}, {1440, 720},
                                                  {2880, 720}, {360, 720}, {1440, 1440}};
    static constexpr int32_t kBits[] = {1, 2, 2, 8};
    HalftoneParams p{};
    const uint8_t shape = in.byte();
    p.method = (shape & 1) ? 3 : 1;
    p.inkSet = (shape & 2) ? 3 : 0;
    p.inputFormat = p.inkSet ? 4 : 0;
    p.outputBits = kBits[(shape >> 2) & 3];
    p.pairFlag = (shape >> 4) & 1;
    const auto& r = kResolutions[in.byte() % 6];
    p.xResolution = r[0];
    p.yResolution = r[1];
    p.inputScale = in.value(-1, 3);
    p.maxPixels = in.value(1, 600);
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

// Up to `lines` Halftone calls with parameters and pixels from the input.
// The source holds exactly the pixels the call may read at most (two input
// pixels an output pixel, six bytes a pixel); the planes are generous.
template <typename Call>
void runLines(Input& in, const HalftoneParams& p, int lines, Call&& call) {
    const size_t stride = size_t(p.maxPixels) * 2 + 16;
    std::vector<uint8_t> planes(stride * 16);
    for (int line = 0; line < lines && in.more(); ++line) {
        const int32_t pixelCount = in.value(-2, p.maxPixels + 2);
        const int32_t startX = in.value(-2, p.maxPixels);
        const int32_t bitOffset = in.byte() % 8;
        const uint8_t flags = in.byte();
        const int32_t enable = (flags & 3) != 0;
        const int32_t spare = (flags >> 2) & 1;
        const int32_t reserved = (flags & 8) ? 1 : 0;
        const int32_t lineNumber = in.value(0, 4000);
        const size_t srcBytes = size_t(pixelCount > 0 ? pixelCount : 0) * 12 + 12;
        Bytes pixels = in.chunk();
        pixels.resize(srcBytes, 0x80);
        const Exact src(pixels);
        call(src.data(), planes.data(), int32_t(stride), bitOffset, pixelCount, startX, enable,
             lineNumber, spare, reserved);
    }
}

}  // namespace fuzz
