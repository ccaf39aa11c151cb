// Mode 7: its three-call sequence, the packed separation table, and the line
// path's byte and one-bit outputs with their smoothing.
#include <gtest/gtest.h>

#include <cstring>

#include "cm/interpolation.h"
#include "halftone/halftone_context.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot::test {
namespace {

HalftoneParams byteOutputParams() {
    HalftoneParams p = separatedParams();
    p.outputBits = 8;
    return p;
}

HalftoneParams oneBitParams() {
    HalftoneParams p = separatedParams();
    p.method = 3;
    return p;
}

// A 4 x 4 matrix of the given values, row after row.
Bytes matrix4(const std::vector<uint16_t>& values) {
    return ditherMatrix(4, 4, values);
}

const std::vector<uint16_t> kRamp16 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

struct Mode7 : HalftoneObject {
    explicit Mode7(const HalftoneParams& params, const Bytes& matrix = matrix4(kRamp16))
        : HalftoneObject(params, separationLut(5)) {
        EXPECT_EQ(created, INKDOT_OK);
        EXPECT_EQ(context->mode, Mode::separationPath);
        EXPECT_EQ(call(resourceList({10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24})),
                  INKDOT_OK);
        EXPECT_EQ(next, 10);
        EXPECT_EQ(call(gridLevels(evenList(32))), INKDOT_OK);
        EXPECT_EQ(call(matrix), INKDOT_OK);
        EXPECT_EQ(next, INKDOT_NO_RESOURCE);
    }

    // The six amounts the table holds for one grid point.
    std::array<uint8_t, 6> entry(int i0, int i1, int i2, int i3) const {
        const uint8_t* e = separationTable(*context) + (((i0 * 32 + i1) * 32 + i2) * 32 + i3) * 8;
        return {e[0], e[1], e[2], e[3], e[4], e[6]};
    }
};

// The input value that quantises exactly onto level i of the 32 even levels.
uint8_t level(int i) {
    return evenList(32)[size_t(i)];
}

TEST(Mode7Sequence, ListWithoutEndMatrixCodesAndLaterCalls) {
    HalftoneParams params = byteOutputParams();
    params.xResolution = 1440;
    params.yResolution = 720;
    HalftoneObject object(params, separationLut(5));
    ASSERT_EQ(object.context->mode, Mode::separationPath);
    // Fifteen values without -1 are accepted; the slot after them is -1.
    ASSERT_EQ(object.call(resourceList({5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19})),
              INKDOT_OK);
    EXPECT_EQ(object.next, 5);
    EXPECT_EQ(object.context->resourceList[15], -1);
    ASSERT_EQ(object.call(gridLevels(evenList(32))), INKDOT_OK);
    EXPECT_EQ(object.next, 8);  // 1440 x 720 names position 3
    // Code 239 is a width of 239 here; only 255 stands for 256.
    std::vector<uint16_t> values(239 * 2, 7);
    ASSERT_EQ(object.call(ditherMatrix(239, 2, values)), INKDOT_OK);
    EXPECT_EQ(object.context->matrixWidth, 239);
    EXPECT_EQ(object.context->matrixSize, 478);
    EXPECT_EQ(object.next, -1);
    // After the end: refused, and the object keeps its tables.
    void* table = object.context->blocks[kSeparationTable].address;
    EXPECT_EQ(object.call(Bytes{1, 2, 3, 4}), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(object.context->blocks[kSeparationTable].address, table);
}

TEST(Mode7Sequence, MatrixPositionAndFailures) {
    struct Case {
        int32_t x, y;
        int16_t expected;
    };
    for (Case c : {Case{1440, 720, 13}, Case{720, 360, 12}, Case{720, 720, 11}, Case{2880, 720, 11},
                   Case{360, 720, 11}}) {
        HalftoneParams params = byteOutputParams();
        params.xResolution = c.x;
        params.yResolution = c.y;
        HalftoneObject object(params, separationLut(5));
        object.call(resourceList({10, 11, 12, 13, -1}));
        ASSERT_EQ(object.call(gridLevels(evenList(32))), INKDOT_OK);
        EXPECT_EQ(object.next, c.expected) << c.x << " x " << c.y;
    }
    // A list position holding -1 ends the sequence; so does an empty matrix.
    HalftoneObject short1(byteOutputParams(), separationLut(5));
    short1.call(resourceList({10, -1}));
    EXPECT_EQ(short1.call(gridLevels(evenList(32))), INKDOT_SEQUENCE_ENDED);
    HalftoneObject empty(byteOutputParams(), separationLut(5));
    empty.call(resourceList({10, 11, -1}));
    empty.call(gridLevels(evenList(32)));
    EXPECT_EQ(empty.call(ditherMatrix(0, 4, {})), INKDOT_SEQUENCE_ENDED);
    // Grid levels other than 32 strictly rising ones.
    HalftoneObject count(byteOutputParams(), separationLut(5));
    count.call(resourceList({10, 11, -1}));
    EXPECT_EQ(count.call(gridLevels(evenList(32), 31)), INKDOT_BAD_SECOND_RECORD);
}

TEST(Mode7Sequence, AllocationFailuresLeaveNothing) {
    for (MemOp op : {MemOp::Allocate, MemOp::Lock}) {
        for (int n = 1; n <= 3; ++n) {
            resetMemory();
            const int64_t base = liveBlocks();
            {
                HalftoneObject object(byteOutputParams(), separationLut(5));
                object.call(resourceList({10, 11, -1}));
                failNth(op, n);
                int32_t second = object.call(gridLevels(evenList(32)));
                int32_t third = second == INKDOT_OK ? object.call(matrix4(kRamp16)) : second;
                const int32_t expected =
                    op == MemOp::Allocate ? INKDOT_ALLOC_FAILED : INKDOT_LOCK_FAILED;
                EXPECT_EQ(third, expected) << "call #" << n;
            }
            EXPECT_EQ(liveBlocks(), base);
        }
    }
}

TEST(Mode7Table, EntriesArePackedInterpolations) {
    Mode7 m(byteOutputParams());
    const LutWithGrid source = separationLut(5);
    for (auto [i, j, k, l] :
         {std::array<int, 4>{0, 0, 0, 0}, {31, 31, 31, 31}, {3, 17, 9, 30}, {12, 0, 31, 5}}) {
        uint8_t amounts[8];
        interpolate4(source.lut, level(i), level(j), level(k), level(l), amounts);
        const uint8_t* e = separationTable(*m.context) + (((i * 32 + j) * 32 + k) * 32 + l) * 8;
        const uint8_t expected[8] = {amounts[0], amounts[1], amounts[2], amounts[3],
                                     amounts[4], 0,          amounts[5], 0};
        EXPECT_EQ(std::memcmp(e, expected, 8), 0) << i << "," << j << "," << k << "," << l;
    }
    // Diffusion or not, mode 7 keeps the light and dark inks as they are: the
    // amounts sum past 254 somewhere, which a pair transfer would change.
    EXPECT_EQ(m.entry(31, 31, 31, 31)[1], 255);
}

TEST(Mode7Lines, ByteOutputSmoothsNeighboursOnly) {
    Mode7 m(byteOutputParams());
    // Pixel 0 is never smoothed; pixel 1 is one level away on every axis and
    // is averaged (m0 = 1 is odd: no rounding bit); pixel 2 is two levels
    // away from pixel 1 on axis 3 and stands as it is.
    const uint8_t line[12] = {level(10), level(20), level(5),  level(7),  level(11), level(19),
                              level(6),  level(8),  level(11), level(19), level(6),  level(10)};
    uint8_t out[18] = {};
    ASSERT_EQ(Halftone(m.context, line, out, 0, 0, 3, 0, 1, 0, 0, 0), INKDOT_OK);
    const auto a = m.entry(10, 20, 5, 7), b = m.entry(11, 19, 6, 8), c = m.entry(11, 19, 6, 10);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(out[k], a[k]) << k;
        EXPECT_EQ(out[6 + k], (a[k] + b[k]) >> 1) << k;
        EXPECT_EQ(out[12 + k], c[k]) << k;
    }
    // An even matrix value adds the rounding bit: from x = 1, pixel 1 meets m0 = 2.
    ASSERT_EQ(Halftone(m.context, line, out, 0, 0, 2, 1, 1, 0, 0, 0), INKDOT_OK);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[6 + k], (a[k] + b[k] + 1) >> 1) << k;
    // All-zero pixels are separated and written in the byte output.
    const uint8_t zero[4] = {};
    ASSERT_EQ(Halftone(m.context, zero, out, 0, 0, 1, 0, 1, 0, 0, 0), INKDOT_OK);
    const auto z = m.entry(0, 0, 0, 0);
    EXPECT_EQ(std::memcmp(out, z.data(), 6), 0);
}

TEST(Mode7Lines, ByteOutputInputScales) {
    HalftoneParams params = byteOutputParams();
    params.inputScale = -1;
    Mode7 larger(params);
    // Each channel takes the larger of two input pixels.
    const uint8_t pair[8] = {level(3), level(30), level(9), 0,
                             level(4), level(2),  level(9), level(1)};
    uint8_t out[6];
    ASSERT_EQ(Halftone(larger.context, pair, out, 0, 0, 1, 0, 1, 0, 0, 0), INKDOT_OK);
    EXPECT_EQ(std::memcmp(out, larger.entry(4, 30, 9, 1).data(), 6), 0);

    params.inputScale = 1;
    Mode7 repeat(params);
    const uint8_t two[8] = {level(3), level(3), level(3), level(3), level(20), 0, 0, 0};
    uint8_t four[24];
    ASSERT_EQ(Halftone(repeat.context, two, four, 0, 0, 4, 0, 1, 0, 0, 0), INKDOT_OK);
    const auto a = repeat.entry(3, 3, 3, 3);
    EXPECT_EQ(std::memcmp(four, a.data(), 6), 0);
    EXPECT_EQ(std::memcmp(four + 6, a.data(), 6), 0);  // same pixel, smoothed with itself
    EXPECT_EQ(std::memcmp(four + 12, repeat.entry(20, 0, 0, 0).data(), 6), 0);
}

TEST(Mode7Lines, OneBitChecksAndClearing) {
    Mode7 m(oneBitParams());
    uint8_t planes[6 * 4];
    std::memset(planes, 0xFF, sizeof planes);
    const uint8_t line[4] = {1, 2, 3, 4};
    EXPECT_EQ(Halftone(m.context, line, planes, 4, 0, 1, 0, 0, 0, 0, 0), INKDOT_NOT_ENABLED);
    EXPECT_EQ(Halftone(m.context, line, planes, 4, 8, 1, 0, 1, 0, 0, 0), INKDOT_UNSUPPORTED);
    EXPECT_EQ(Halftone(m.context, line, planes, 4, 0, 64, 1, 1, 0, 0, 0), INKDOT_LINE_TOO_LONG);
    for (uint8_t b : planes) ASSERT_EQ(b, 0xFF) << "nothing written by a refused call";
    // An empty stretch still clears the slots from bitOffset on.
    ASSERT_EQ(Halftone(m.context, line, planes, 4, 3, 0, 0, 1, 0, 0, 0), INKDOT_OK);
    for (int p = 0; p < 6; ++p) {
        EXPECT_EQ(planes[4 * p], 0xE0) << p;
        EXPECT_EQ(planes[4 * p + 1], 0xFF) << p;
    }
}

TEST(Mode7Lines, OneBitDotsFillTheMatrixFromBothEnds) {
    // Ramp matrix 0..15: T[j] = round(16 j / 255) ranks. Plane 0 (e0 against
    // m0) takes the lowest matrix values, plane 4 (e1 against 15 - m0) the
    // highest.
    Mode7 m(oneBitParams());
    const uint8_t px[4] = {level(31), level(0), level(0), level(0)};
    uint8_t line[4 * 16];
    for (int i = 0; i < 16; ++i) std::memcpy(line + 4 * i, px, 4);
    line[4 * 5] = line[4 * 5 + 1] = line[4 * 5 + 2] = line[4 * 5 + 3] = 0;  // blank pixel
    uint8_t planes[6 * 2] = {};
    ASSERT_EQ(Halftone(m.context, line, planes, 2, 0, 16, 0, 1, 0, 0, 0), INKDOT_OK);

    const auto e = m.entry(31, 0, 0, 0);
    const int32_t* t = levelThresholds(*m.context);
    auto expectPlane = [&](int plane, int amount, auto matrixValue) {
        uint32_t bits = 0;
        for (int x = 0; x < 16; ++x)
            if (x != 5 && uint32_t(t[amount]) > matrixValue(x)) bits |= 0x8000u >> x;
        EXPECT_EQ(planes[2 * plane] << 8 | planes[2 * plane + 1], int(bits)) << "plane " << plane;
    };
    // Row 0 of the matrix is 0, 1, 2, 3; row 2 (the half-height row) 8..11.
    auto m0 = [](int x) { return uint32_t(x & 3); };
    auto m1 = [](int x) { return uint32_t(8 + ((x + 2) & 3)); };
    auto m2 = [](int x) { return uint32_t((x + 3) & 3); };
    expectPlane(0, e[0], m0);
    expectPlane(1, e[2], m1);
    expectPlane(2, e[4], m2);
    expectPlane(3, e[5], [&](int x) { return 15 - m2(x); });
    expectPlane(4, e[1], [&](int x) { return 15 - m0(x); });
    expectPlane(5, e[3], [&](int x) { return 15 - m1(x); });
    EXPECT_NE(planes[0] | planes[1], 0) << "a full first ink makes dots";
}

TEST(Mode7Lines, UndefinedObjectsAreRefused) {
    // One ink with byte output has a density map, not a separation table.
    HalftoneParams single = singleInkParams();
    single.outputBits = 8;
    HalftoneObject one(single, singleInkLut());
    ASSERT_EQ(one.context->mode, Mode::separationPath);
    one.call(resourceList({10, 11, -1}));
    ASSERT_EQ(one.call(Bytes{}), INKDOT_OK);
    ASSERT_EQ(one.call(matrix4(kRamp16)), INKDOT_OK);
    uint8_t out[6];
    const uint8_t px[4] = {1, 2, 3, 4};
    EXPECT_EQ(Halftone(one.context, px, out, 0, 0, 1, 0, 1, 0, 0, 0), INKDOT_UNSUPPORTED);

    // Method 0 (allowed with an ink set other than 3) builds two levels a
    // channel, which the line cannot address.
    HalftoneParams method0 = byteOutputParams();
    method0.method = 0;
    method0.inkSet = 4;
    HalftoneObject two(method0, separationLut(5));
    ASSERT_EQ(two.created, INKDOT_OK);
    two.call(resourceList({10, 11, -1}));
    ASSERT_EQ(two.call(Bytes{}), INKDOT_OK);
    ASSERT_EQ(two.call(matrix4(kRamp16)), INKDOT_OK);
    EXPECT_EQ(Halftone(two.context, px, out, 0, 0, 1, 0, 1, 0, 0, 0), INKDOT_UNSUPPORTED);

    // Lines before the sequence has ended.
    HalftoneObject early(byteOutputParams(), separationLut(5));
    EXPECT_EQ(Halftone(early.context, px, out, 0, 0, 1, 0, 1, 0, 0, 0), INKDOT_UNSUPPORTED);
}

TEST(Mode7Lines, SingleInkMapIsRemappedThroughTheThresholds) {
    HalftoneParams single = singleInkParams();
    single.outputBits = 8;
    HalftoneObject one(single, singleInkLut());
    one.table.lut.singleChannelTable[200] = 100;  // not the fixture's: the object has its copy
    one.context->lut.singleChannelTable[200] = 100;
    one.call(resourceList({10, 11, -1}));
    ASSERT_EQ(one.call(Bytes{}), INKDOT_OK);
    ASSERT_EQ(one.call(matrix4(kRamp16)), INKDOT_OK);
    // percentAt0 250, percentAt255 100: dot value of 100 is
    // (25500 + (150 * 155 * 155 + 1) / 255) / 100 = 396, so 100 covers
    // floor((floor(3200 * 100 / 396) + 80) / 200) = 4 ranks.
    EXPECT_EQ(dotValues(*one.context)[100], 396);
    EXPECT_EQ(densityMap(*one.context)[200], 4);
    EXPECT_EQ(levelThresholds(*one.context)[200], 4);
}

}  // namespace
}  // namespace inkdot::test
