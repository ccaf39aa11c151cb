// The halftone table image: layout, grid conversion, axis tables, level entries.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame/workers.h"
#include "inkdot/inkdot.h"
#include "support/fault_memory.h"

namespace {

using inkdot::test::MemOp;

uint32_t le32(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// A CmLut with evenly spaced lists of `points` levels ending at 255.
CmLut makeLut(int32_t points, int32_t channels = 1) {
    CmLut lut{};
    lut.channels = channels;
    lut.percentAt0 = 100;
    lut.percentAt255 = 100;
    for (int axis = 0; axis < 3; ++axis) lut.points[axis] = points;
    lut.points[3] = 1;
    uint8_t* lists[3] = {lut.list0, lut.list1, lut.list2};
    for (int axis = 0; axis < 3; ++axis)
        for (int i = 0; i < points; ++i)
            lists[axis][i] = static_cast<uint8_t>(i * 255 / (points - 1));
    for (int v = 0; v < 256; ++v) lut.singleChannelTable[v] = static_cast<uint8_t>(255 - v);
    return lut;
}

HalftoneParams makeParams(int32_t inkSet, int32_t outputBits) {
    HalftoneParams params{};
    params.inkSet = inkSet;
    params.outputBits = outputBits;
    return params;
}

struct Image {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(200000, 0xEE);
    int32_t length = 0;
    int32_t next = 0;
    int32_t result = 0;
};

Image getTable(const HalftoneParams& params, const CmLut& lut, const uint8_t* curves,
               const void* records = nullptr) {
    HTableContext* table = nullptr;
    int32_t value = 0;
    Image image;
    EXPECT_EQ(H_HalftoneNew(&params, &lut, 0, curves, &value, &table), INKDOT_OK);
    image.result =
        H_HalftoneGetTable(table, records, &image.next, &image.length, image.bytes.data());
    EXPECT_EQ(H_HalftoneDelete(table), INKDOT_OK);
    return image;
}

std::vector<uint8_t> identityCurves() {
    std::vector<uint8_t> curves(768);
    for (int i = 0; i < 768; ++i) curves[i] = static_cast<uint8_t>(i % 256);
    return curves;
}

TEST(TableImage, OneBitSingleInkLayout) {
    CmLut lut = makeLut(17);
    std::vector<uint8_t> curves = identityCurves();
    Image image = getTable(makeParams(0, 1), lut, curves.data());
    ASSERT_EQ(image.result, INKDOT_OK);
    EXPECT_EQ(image.next, -1);
    EXPECT_EQ(image.length, 1571);
    EXPECT_EQ(image.bytes[0], 'H');
    EXPECT_EQ(image.bytes[1], 4);
    EXPECT_EQ(le32(&image.bytes[2]), 17u);
    // The grid section is the single-channel curve at the levels of axis 2
    // (the conversion with equal percentages changes nothing).
    for (int i = 0; i < 17; ++i) EXPECT_EQ(image.bytes[6 + i], 255 - lut.list2[i]) << i;
    const uint8_t* axes = &image.bytes[6 + 17];
    for (int k = 0; k < 3; ++k) EXPECT_EQ(le32(axes + 516 * k), 512u);
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(axes[4 + i], 0) << "axis 0 is empty for one ink";
        ASSERT_EQ(axes[520 + i], 0) << "axis 1 is empty for one ink";
    }
    const uint8_t* axis2 = axes + 1032 + 4;
    // Levels 0, 15, 31, ..., 239, 255: 22 lies 7/16 into cell 1, 254 15/16 into cell 15.
    struct Case {
        int value, fraction, index;
    };
    for (Case c :
         {Case{0, 0, 0}, Case{15, 0, 1}, Case{22, 28, 1}, Case{254, 60, 15}, Case{255, 0, 16}}) {
        EXPECT_EQ(axis2[2 * c.value], c.fraction) << c.value;
        EXPECT_EQ(axis2[2 * c.value + 1], c.index) << c.value;
    }
    EXPECT_EQ(image.bytes[1571], 0xEE) << "nothing written past the image";
}

TEST(TableImage, ConversionUndoesTheDotValueCurve) {
    CmLut lut = makeLut(17);
    for (int v = 0; v < 256; ++v) lut.singleChannelTable[v] = static_cast<uint8_t>(v);
    lut.percentAt0 = 250;
    lut.percentAt255 = 100;
    std::vector<uint8_t> curves = identityCurves();
    Image image = getTable(makeParams(0, 1), lut, curves.data());
    // At 255 the curve is 100%: unchanged. At 0: 0. At 127 the curve's value
    // is 255 * 100 + (150 * 128 * 128 + 1) / 255 = 35137, so 127 -> 92.
    EXPECT_EQ(image.bytes[6 + 16], 255);
    EXPECT_EQ(image.bytes[6 + 0], 0);
    EXPECT_EQ(image.bytes[6 + 8], 92);  // list level 127

    // Percentages below 100 would push bright values above 255: stored as 255.
    lut.percentAt0 = 50;
    lut.percentAt255 = 50;
    image = getTable(makeParams(0, 1), lut, curves.data());
    EXPECT_EQ(image.bytes[6 + 16], 255);
    EXPECT_EQ(image.bytes[6 + 4], 126);   // level 63 -> 126
    EXPECT_EQ(image.bytes[6 + 12], 255);  // level 191 -> 382, kept at 255
}

TEST(TableImage, ColourGridCopiesTheFirstCubeOfTheGrid) {
    CmLut lut = makeLut(3, 6);
    lut.points[3] = 3;
    uint8_t grid[3 * 3 * 3 * 3 * 6];
    for (size_t i = 0; i < sizeof grid; ++i) grid[i] = static_cast<uint8_t>(i * 7);
    lut.grid = grid;
    std::vector<uint8_t> curves = identityCurves();
    Image image =
        getTable(makeParams(3, 2), lut, curves.data(), std::vector<uint8_t>(768, 0).data());
    ASSERT_EQ(image.result, INKDOT_OK);
    uint32_t length = 3 * 3 * 3 * 6;
    EXPECT_EQ(le32(&image.bytes[2]), length);
    EXPECT_EQ(std::memcmp(&image.bytes[6], grid, length), 0);
    EXPECT_EQ(image.length, static_cast<int32_t>(1554 + 4100 + length));
    // Every axis is filled for colour grids; 3 levels (0, 127, 255) stop the
    // search at their own last level.
    const uint8_t* axis0 = &image.bytes[6 + length + 4];
    EXPECT_EQ(axis0[2 * 127 + 1], 1);
    EXPECT_EQ(axis0[2 * 127], 0);
    EXPECT_EQ(axis0[2 * 255 + 1], 2);
    EXPECT_EQ(axis0[2 * 255], 0);
    EXPECT_EQ(axis0[2 * 200 + 1], 1);
    EXPECT_EQ(axis0[2 * 200], (200 - 127) * 64 / 128);
}

TEST(TableImage, ColourGridTooSmallForTheImageIsPaddedNotOverread) {
    CmLut lut = makeLut(3, 4);  // a three-dimensional, four-channel grid
    uint8_t grid[3 * 3 * 3 * 4];
    std::memset(grid, 9, sizeof grid);
    lut.grid = grid;
    Image image = getTable(makeParams(3, 1), lut, identityCurves().data());
    uint32_t length = 3 * 3 * 3 * 6;  // six planes ask for more than the grid holds
    EXPECT_EQ(le32(&image.bytes[2]), length);
    for (uint32_t i = 0; i < length; ++i)
        ASSERT_EQ(image.bytes[6 + i], i < sizeof grid ? 9 : 0) << i;
}

// Level entries: three 10-bit fields of four times the record bytes.
uint32_t entry(int a, int b, int c) {
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 10 |
           static_cast<uint32_t>(c) << 20;
}

TEST(TableImage, LevelEntriesFromSignedAndPlainResources) {
    CmLut lut = makeLut(17);
    std::vector<uint8_t> curves = identityCurves();

    // With the signature: 512 records from byte 32, each written twice
    // (itself, then the truncated midpoint toward the next).
    std::vector<uint8_t> signed512(32 + 3 * 512, 0);
    const uint8_t signature[4] = {0xFB, 0x69, 0xF7, 0xDC};
    std::memcpy(&signed512[4], signature, 4);
    signed512[18] = 0x00;
    signed512[19] = 0x02;
    for (int r = 0; r < 512; ++r) {
        signed512[32 + 3 * r] = static_cast<uint8_t>(r / 2);
        signed512[32 + 3 * r + 1] = 1;
        signed512[32 + 3 * r + 2] = static_cast<uint8_t>(255 - r / 2);
    }
    Image image = getTable(makeParams(0, 2), lut, curves.data(), signed512.data());
    ASSERT_EQ(image.result, INKDOT_OK);
    EXPECT_EQ(image.bytes[1], 5);
    const uint8_t* levels = &image.bytes[6 + 17 + 1548];
    EXPECT_EQ(le32(levels), 4096u);
    EXPECT_EQ(le32(levels + 4 + 4 * 2), entry(0, 4, 1020));  // record 1
    EXPECT_EQ(le32(levels + 4 + 4 * 3), entry(2, 4, 1018));  // halfway toward record 2
    EXPECT_EQ(le32(levels + 4 + 4 * 1022), entry(1020, 4, 0));
    EXPECT_EQ(le32(levels + 4 + 4 * 1023), entry(1020, 4, 0));  // the last record twice
    EXPECT_EQ(image.length, 1554 + 17 + 4100);

    // Without the signature: 256 records from byte 0, four entries each.
    std::vector<uint8_t> plain(768);
    for (int r = 0; r < 256; ++r) {
        plain[3 * r] = static_cast<uint8_t>(r);
        plain[3 * r + 1] = static_cast<uint8_t>(255 - r);
        plain[3 * r + 2] = 0;
    }
    image = getTable(makeParams(0, 2), lut, curves.data(), plain.data());
    levels = &image.bytes[6 + 17 + 1548 + 4];
    EXPECT_EQ(le32(levels + 4 * 4), entry(4, 1016, 0));
    EXPECT_EQ(le32(levels + 4 * 5), entry(5, 1015, 0));
    EXPECT_EQ(le32(levels + 4 * 7), entry(7, 1013, 0));
    for (int s = 0; s < 4; ++s) EXPECT_EQ(le32(levels + 4 * (1020 + s)), entry(1020, 0, 0));
}

TEST(TableImage, RecordCountsOutsideTheSectionStayInIt) {
    CmLut lut = makeLut(17);
    std::vector<uint8_t> curves = identityCurves();
    std::vector<uint8_t> records(32 + 3 * 2000, 3);
    const uint8_t signature[4] = {0xFB, 0x69, 0xF7, 0xDC};
    std::memcpy(&records[4], signature, 4);
    struct Case {
        uint16_t count;
        uint32_t first;
        uint32_t last;
    };
    std::vector<uint8_t>& r = records;
    // Record 299 differs, so a count of 300 shows who fills the tail.
    r[32 + 3 * 299] = r[32 + 3 * 299 + 1] = r[32 + 3 * 299 + 2] = 9;
    for (Case c : {Case{0, 0, 0}, Case{2000, entry(12, 12, 12), entry(12, 12, 12)},
                   Case{300, entry(12, 12, 12), entry(36, 36, 36)}}) {
        records[18] = static_cast<uint8_t>(c.count);
        records[19] = static_cast<uint8_t>(c.count >> 8);
        Image image = getTable(makeParams(0, 2), lut, curves.data(), records.data());
        ASSERT_EQ(image.result, INKDOT_OK) << c.count;
        EXPECT_EQ(image.length, 1554 + 17 + 4100);
        const uint8_t* levels = &image.bytes[6 + 17 + 1548 + 4];
        EXPECT_EQ(le32(levels), c.first);
        EXPECT_EQ(le32(levels + 4 * 1023), c.last) << "the section is filled to its end";
        EXPECT_EQ(image.bytes[image.length], 0xEE) << "nothing past the level section";
    }
}

TEST(TableImage, ExtraBlockValueByCode) {
    struct Case {
        int16_t code;
        int32_t inkSet;
        int32_t expected;
    };
    uint8_t extra[24] = {};
    auto put = [&](int at, int16_t v) {
        extra[at] = static_cast<uint8_t>(v);
        extra[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    };
    put(6, 61);
    put(16, -16);
    put(18, 18);
    put(20, 20);
    CmLut lut = makeLut(17);
    lut.extraBlock = extra;
    for (Case c : {Case{1, 0, 61}, Case{2, 3, -16}, Case{2, 0, 18}, Case{3, 3, -16}, Case{3, 0, 20},
                   Case{-2, 0, 12345}, Case{7, 3, 12345}}) {
        put(4, c.code);
        HalftoneParams params = makeParams(c.inkSet, 1);
        HTableContext* table = nullptr;
        int32_t value = 12345;
        ASSERT_EQ(H_HalftoneNew(&params, &lut, 0, identityCurves().data(), &value, &table),
                  INKDOT_OK);
        EXPECT_EQ(value, c.expected) << "code " << c.code << " inkSet " << c.inkSet;
        EXPECT_EQ(H_HalftoneDelete(table), INKDOT_OK);
    }
    // Given the block's length, a code or value past its end is not read.
    put(4, 3);
    for (size_t length : {size_t{5}, size_t{21}}) {
        HalftoneParams params = makeParams(0, 1);
        HTableContext* table = nullptr;
        int32_t value = 12345;
        ASSERT_EQ(
            inkdot::hHalftoneNew(&params, &lut, 0, identityCurves().data(), &value, &table, length),
            INKDOT_OK);
        EXPECT_EQ(value, 12345) << length;
        EXPECT_EQ(H_HalftoneDelete(table), INKDOT_OK);
    }
}

TEST(TableImage, CreationAndDeletionFailures) {
    inkdot::test::resetMemory();
    int64_t base = inkdot::test::liveBlocks();
    HalftoneParams params = makeParams(0, 1);
    CmLut lut = makeLut(17);
    HTableContext* table = nullptr;
    int32_t value = 0;
    EXPECT_EQ(H_HalftoneNew(nullptr, nullptr, 0, nullptr, &value, &table), INKDOT_BAD_FIRST_RECORD);
    EXPECT_EQ(H_HalftoneNew(&params, nullptr, 0, nullptr, &value, &table),
              INKDOT_BAD_SECOND_RECORD);
    struct Fault {
        MemOp op;
        int32_t result;
    };
    for (Fault f :
         {Fault{MemOp::Allocate, INKDOT_ALLOC_FAILED}, Fault{MemOp::Lock, INKDOT_LOCK_FAILED}}) {
        inkdot::test::resetMemory();
        inkdot::test::failNth(f.op, 1);
        EXPECT_EQ(H_HalftoneNew(&params, &lut, 0, nullptr, &value, &table), f.result);
        EXPECT_EQ(inkdot::test::liveBlocks(), base);
    }
    for (Fault f :
         {Fault{MemOp::Unlock, INKDOT_UNLOCK_FAILED}, Fault{MemOp::Free, INKDOT_FREE_FAILED}}) {
        inkdot::test::resetMemory();
        ASSERT_EQ(H_HalftoneNew(&params, &lut, 0, nullptr, &value, &table), INKDOT_OK);
        inkdot::test::failNth(f.op, 1);
        EXPECT_EQ(H_HalftoneDelete(table), f.result);
        inkdot::test::resetMemory();
        EXPECT_EQ(H_HalftoneDelete(table), INKDOT_OK);
        EXPECT_EQ(inkdot::test::liveBlocks(), base);
    }
}

}  // namespace
