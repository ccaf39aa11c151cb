// Hand-built contexts for the separating kernels: four input channels, a
// quantiser, a separation table of six-byte entries, three error lines, level
// records of both halves, and six output planes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/separation.h"
#include "support/kernel_fixtures.h"

namespace inkdot::test {

using Amounts = std::array<uint8_t, 6>;
using Levels = std::array<int, 4>;

class SeparationFixture {
public:
    // A separating context (inkSet 3, format 4) for lines of up to maxPixels
    // pixels. The quantiser takes input value c to level c / 8 and never steps
    // up, so channel value 8k selects level k; every table entry is zero, the
    // matrix is 1 x 1 holding 0, and the tables of the base fixture are zero.
    explicit SeparationFixture(int32_t outputBits = 1, int32_t maxPixels = 64);

    kernels::KernelView& view() { return base.view(); }
    kernels::LineState& state() { return base.state(); }
    HalftoneContext& context() { return base.context(); }
    HalftoneParams& params() { return base.params(); }

    void setMatrix(int32_t width, int32_t height, std::vector<int32_t> values);
    void setSpreadLevels(int32_t l1, int32_t l2, int32_t l3, int32_t l4) {
        base.setSpreadLevels(l1, l2, l3, l4);
    }

    // The separation-table entry at grid levels k.
    void setEntry(const Levels& k, const Amounts& amounts);
    // The quantiser pair of input value c.
    void setQuantiser(uint8_t c, uint8_t level, uint8_t threshold) {
        quantiser[2u * c] = level;
        quantiser[2u * c + 1] = threshold;
    }

    // Error-line entry of pixel x on line 0 (A), 1 (B) or 2 (C).
    int16_t& entry(int line, int32_t x);
    std::vector<int16_t>& errorLine(int line) {
        return line == 0 ? base.errorLine() : lines_[line - 1];
    }
    void clearErrorLines();

    // Calls `kernel` on `input` (four bytes a pixel) with the six planes at
    // planes(), planeStride kPlaneStride.
    int32_t run(kernels::Kernel& kernel, const std::vector<uint8_t>& input, int32_t pixelCount,
                int32_t startX = 0, int32_t lineNumber = 0, int32_t bitOffset = 0,
                int32_t pairFlag = 0, int32_t enable = 1);

    // Output of the last run, counted from the first pixel of plane 0's first
    // byte: the one-bit dot or the two-bit code of plane p at slot i.
    bool dot(int plane, int32_t slot) const;
    uint32_t code(int plane, int32_t slot) const;
    // The one-bit dots of plane p over slots 0..count-1 as a string of '.'/'x',
    // and the two-bit codes as digits 0..3.
    std::string dots(int plane, int32_t count) const;
    std::string codes(int plane, int32_t count) const;

    static constexpr int32_t kPlaneStride = 64;  // 256 two-bit slots
    std::array<uint8_t, 6 * kPlaneStride> planes{};

    KernelFixture base;
    std::vector<uint8_t> quantiser = std::vector<uint8_t>(512);
    std::vector<uint8_t> table;
    std::vector<LevelRecord> records = std::vector<LevelRecord>(1024);

private:
    void attach();

    std::array<std::vector<int16_t>, 2> lines_;
};

// Input of `count` pixels that all hold the channel values c.
std::vector<uint8_t> repeatPixel(const std::array<uint8_t, 4>& c, int32_t count);
// Channel values that select grid levels k with the default quantiser: 8k + 1,
// so that even levels 0 make a pixel that is not blank.
std::array<uint8_t, 4> channelsOf(const Levels& k);

}  // namespace inkdot::test
