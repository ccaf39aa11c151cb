// Halftone fixtures built in code: parameter records, lookup tables, the
// resources of the halftone sequence in their byte formats, extra blocks,
// and an object that runs the sequence and deletes itself.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "support/cm_fixtures.h"
#include "support/fault_memory.h"

namespace inkdot::test {

using Bytes = std::vector<uint8_t>;

// A HalftoneParams that HalftoneNew accepts: error diffusion, one ink, one
// byte a pixel, 720 x 720, one bit, no repetition, 64 pixels, the version.
HalftoneParams singleInkParams();
// The same for four channels separated into six inks (inkSet 3, format 4).
HalftoneParams separatedParams();

// A one-ink table: 5 points on each axis (0, 64, 128, 192, 255), c channels,
// whose last channel at grid entry i is `ink[i]`; percentages 250 and 100,
// class 3, gridHandle set.
LutWithGrid singleInkLut(std::vector<uint8_t> ink = {0, 40, 100, 180, 255}, int channels = 2);
// A four-dimensional CMYK table of six channels over `points` even levels,
// each channel a different mix of the node indexes; percentages 100, class
// 4, gridHandle set.
LutWithGrid separationLut(int points = 5);

// Resource-number list: the values as little-endian int16.
Bytes resourceList(std::initializer_list<int16_t> numbers);
// The usual list: grid levels 100, matrices 201..205, then -1.
Bytes standardList();
// Grid-level resource: the level count, then the levels.
Bytes gridLevels(const std::vector<uint8_t>& levels, uint16_t count = 32);
// Dither matrix: width and height codes, two unread bytes, then values.
Bytes ditherMatrix(uint8_t widthCode, uint8_t heightCode, const std::vector<uint16_t>& values);
// A Bayer matrix of n x n (n a power of two), values 0 .. n*n - 1.
Bytes bayerMatrix(int n);
// Level-record resource with the given records (a, b, c), padded with zeros
// to 512 records.
Bytes levelRecordResource(const std::vector<std::array<uint8_t, 3>>& records);

// Extra blocks of the two kinds: a chain of (tag, value) items after the
// 0xFFFE item holding `code` (no 0xFFFE item when code is absent), and the
// record kind naming resource `number`.
Bytes chainExtra(std::optional<int16_t> code, std::vector<std::pair<uint16_t, int16_t>> items = {});
Bytes recordExtra(int16_t number);

// A test that starts with fresh memory counters and ends with as many live
// blocks as it began with.
class BlockCountedTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetMemory();
        base = liveBlocks();
    }
    void TearDown() override {
        resetMemory();
        EXPECT_EQ(liveBlocks(), base);
    }
    int64_t base = 0;
};

// The four fields of a level record, for comparisons.
inline std::array<int, 4> fields(const LevelRecord& r) {
    return {r.smallSpan, r.mediumSpan, r.thresholdBase, r.levelTotal};
}

// A halftone object and the colour table it copied; deleted with the fixture.
// The extra block (if any) and the table stay alive as long as the fixture.
struct HalftoneObject {
    HalftoneObject(const HalftoneParams& params, LutWithGrid table, Bytes extra = {});
    ~HalftoneObject();
    HalftoneObject(const HalftoneObject&) = delete;
    HalftoneObject& operator=(const HalftoneObject&) = delete;

    // One resource call; the answer lands in `next`.
    int32_t call(const Bytes& data);
    // The three or four calls of a complete sequence with the standard list,
    // 32 even grid levels, a 16 x 16 Bayer matrix and level records (i, 0, 0);
    // stops at the first failure and returns its result.
    int32_t runSequence();
    // Deletes now (the destructor then does nothing); returns the result.
    int32_t remove();

    LutWithGrid table;
    Bytes extra;
    int32_t created;  // result of HalftoneNew
    int32_t tableClass = -7;
    HalftoneContext* context = nullptr;
    int32_t next = -99;
    std::vector<int32_t> answers;  // every `next` the calls wrote
};

}  // namespace inkdot::test
