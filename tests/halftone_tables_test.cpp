// The per-density tables and the small table builders of the resource
// sequence, against worked numbers: spread levels, dot values, level and
// error thresholds, the level-record model, the quantiser, the density map,
// the pair transfer, and the extra block's signatures and chain.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cm/interpolation.h"
#include "halftone/density_tables.h"
#include "halftone/grid_resample.h"
#include "halftone/resource_format.h"
#include "halftone/resource_sequence.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

// ---------------------------------------------------------------------------
// Spread levels

struct SpreadCase {
    const char* name;
    int32_t outputBits, inkSet, x, y, percentAt0;
    int32_t result;
    std::array<int32_t, 4> levels;
};

class SpreadLevels : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(SpreadLevels, ByDepthInkSetAndResolution) {
    const SpreadCase& c = GetParam();
    HalftoneParams params = test::singleInkParams();
    params.outputBits = c.outputBits;
    params.inkSet = c.inkSet;
    params.xResolution = c.x;
    params.yResolution = c.y;
    int32_t levels[4] = {-1, -1, -1, -1};
    EXPECT_EQ(spreadLevelsFor(params, c.percentAt0, levels), c.result);
    if (c.result == INKDOT_OK) {
        EXPECT_EQ((std::array<int32_t, 4>{levels[0], levels[1], levels[2], levels[3]}), c.levels);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpreadLevels,
    ::testing::Values(
        SpreadCase{"TwoBitOneInk2880", 2, 0, 2880, 720, 0, 0, {36, 8, 6, 2}},
        SpreadCase{"TwoBitOneInk1440", 2, 0, 1440, 720, 0, 0, {32, 9, 2, 0}},
        SpreadCase{"TwoBitOneInkSquare", 2, 0, 720, 720, 0, 0, {15, 4, 1, 0}},
        SpreadCase{"TwoBitOneInkHalfWidth", 2, 0, 360, 720, 0, 0, {15, 4, 1, 0}},
        SpreadCase{"TwoBitOneInkWide", 2, 0, 720, 360, 0, 0, {18, 4, 3, 1}},
        SpreadCase{"TwoBitOneInkOther", 2, 0, 720, 540, 0, INKDOT_BAD_FIRST_RECORD, {}},
        SpreadCase{"TwoBitSeparated2880", 2, 3, 2880, 720, 0, 0, {36, 8, 6, 2}},
        SpreadCase{"TwoBitSeparated1440", 2, 3, 1440, 720, 0, 0, {10, 4, 2, 0}},
        SpreadCase{"TwoBitSeparatedSquare", 2, 3, 1440, 1440, 0, 0, {16, 4, 2, 0}},
        SpreadCase{"TwoBitSeparatedWide", 2, 3, 720, 360, 0, 0, {32, 8, 4, 0}},
        SpreadCase{"TwoBitSeparatedHalfWidth", 2, 3, 360, 720, 0, 0, {111, 8, 2, 0}},
        SpreadCase{"TwoBitSeparatedOther", 2, 3, 1000, 720, 0, INKDOT_BAD_FIRST_RECORD, {}},
        SpreadCase{"OneBitOneInk1440At250", 1, 0, 1440, 720, 250, 0, {17, 9, 4, 2}},
        SpreadCase{"OneBitOneInk1440At350", 1, 0, 1440, 720, 350, 0, {20, 10, 5, 3}},
        SpreadCase{"OneBitOneInk1440At500", 1, 0, 1440, 720, 500, 0, {52, 20, 8, 4}},
        SpreadCase{"OneBitOneInk1440At300", 1, 0, 1440, 720, 300, INKDOT_SEQUENCE_ENDED, {}},
        SpreadCase{"OneBitOneInkSquareAt250", 1, 0, 720, 720, 250, 0, {32, 9, 4, 2}},
        SpreadCase{"OneBitOneInkSquareAt350", 1, 0, 720, 720, 350, 0, {37, 20, 5, 2}},
        SpreadCase{"OneBitOneInkSquareAt500", 1, 0, 720, 720, 500, 0, {55, 22, 8, 3}},
        SpreadCase{"OneBitOneInkSquareAt300", 1, 0, 720, 720, 300, INKDOT_SEQUENCE_ENDED, {}},
        SpreadCase{"OneBitOneInkWideAt250", 1, 0, 720, 360, 250, 0, {56, 22, 11, 4}},
        SpreadCase{"OneBitOneInkWideAt350", 1, 0, 720, 360, 350, 0, {59, 27, 12, 5}},
        SpreadCase{"OneBitOneInkWideAt500", 1, 0, 720, 360, 500, 0, {60, 32, 14, 7}},
        SpreadCase{"OneBitOneInk2880", 1, 0, 2880, 720, 250, INKDOT_BAD_FIRST_RECORD, {}},
        SpreadCase{"OneBitOneInkHalfWidth", 1, 0, 360, 720, 250, INKDOT_BAD_FIRST_RECORD, {}},
        SpreadCase{"OneBitSeparated1440", 1, 3, 1440, 720, 0, 0, {10, 4, 2, 0}},
        SpreadCase{"OneBitSeparatedSquare", 1, 3, 720, 720, 0, 0, {16, 4, 2, 0}},
        SpreadCase{"OneBitSeparatedWide", 1, 3, 720, 360, 0, 0, {32, 8, 4, 0}},
        SpreadCase{"OneBitSeparated2880", 1, 3, 2880, 720, 0, INKDOT_BAD_FIRST_RECORD, {}},
        SpreadCase{"OtherInkSet", 2, 4, 720, 720, 0, INKDOT_BAD_FIRST_RECORD, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Dot values and level thresholds

TEST(DotValues, CurveOfThePercentages) {
    int16_t values[256];
    fillDotValueCurve(values, 250, 100);
    EXPECT_EQ(values[0], 637);
    EXPECT_EQ(values[128], 349);  // (25500 + (150 * 127 * 127 + 1) / 255) / 100
    EXPECT_EQ(values[255], 255);
    fillDotValueCurve(values, 100, 100);
    for (int16_t v : values) EXPECT_EQ(v, 255);
}

TEST(DotValues, PercentagesOnlyForOneBitOneInk) {
    CmLut lut{};
    lut.percentAt0 = 250;
    lut.percentAt255 = 100;
    int16_t values[256];
    HalftoneParams params = test::singleInkParams();
    fillDotValues(values, params, lut);
    EXPECT_EQ(values[0], 637);
    for (auto change : {+[](HalftoneParams& p) { p.outputBits = 2; },
                        +[](HalftoneParams& p) { p = test::separatedParams(); }}) {
        HalftoneParams other = test::singleInkParams();
        change(other);
        fillDotValues(values, other, lut);
        for (int16_t v : values) ASSERT_EQ(v, 255);
    }
    // Percentages of 0 give dot values of 0, which have no threshold.
    lut.percentAt0 = lut.percentAt255 = 0;
    fillDotValues(values, params, lut);
    EXPECT_FALSE(dotValuesUsable(values));
}

TEST(LevelThresholds, MatrixRanksPerDensity) {
    int16_t values[256];
    fillDotValueCurve(values, 100, 100);
    int32_t thresholds[512];
    HalftoneParams params = test::singleInkParams();
    fillLevelThresholds(thresholds, params, 256, values, nullptr);
    EXPECT_EQ(thresholds[0], 0);
    EXPECT_EQ(thresholds[1], 1);  // (10 * 256 / 255 + 4) / 10
    EXPECT_EQ(thresholds[255], 256);
    params.xResolution = 2880;
    fillLevelThresholds(thresholds, params, 256, values, nullptr);
    EXPECT_EQ(thresholds[255], 128);
}

TEST(LevelThresholds, OneInkDitherIsIndexedByInputValue) {
    int16_t values[256];
    fillDotValueCurve(values, 100, 100);
    int16_t map[256];
    for (int v = 0; v < 256; ++v) map[v] = static_cast<int16_t>(255 - v);
    HalftoneParams params = test::singleInkParams();
    int32_t plain[512];
    fillLevelThresholds(plain, params, 256, values, map);  // diffusion: not re-mapped
    params.method = 3;
    int32_t remapped[512];
    fillLevelThresholds(remapped, params, 256, values, map);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(remapped[v], plain[255 - v]) << v;
        EXPECT_EQ(remapped[256 + v], plain[255 - v]) << v;  // the scratch half
    }
}

// ---------------------------------------------------------------------------
// Error thresholds

struct ErrorCase {
    const char* name;
    int32_t inkSet, outputBits, x, y;
    std::vector<std::pair<int, int16_t>> expected;  // (index, value)
};

class ErrorThresholds : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorThresholds, FourCases) {
    const ErrorCase& c = GetParam();
    HalftoneParams params = c.inkSet == 0 ? test::singleInkParams() : test::separatedParams();
    params.outputBits = c.outputBits;
    params.xResolution = c.x;
    params.yResolution = c.y;
    int16_t values[256];
    fillDotValueCurve(values, 100, 100);
    std::vector<int16_t> t(512, 0x5A5A);
    fillErrorThresholds(t.data(), params, values);
    for (auto [index, value] : c.expected)
        EXPECT_EQ(t[size_t(index)], value) << "T[" << index << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorThresholds,
    ::testing::Values(
        ErrorCase{"SeparatedOneBit720x360",
                  3,
                  1,
                  720,
                  360,
                  {{0, 64},
                   {1, 37},
                   {2, 41},
                   {3, 47},
                   {16, 57},
                   {17, 87},
                   {255, 175},
                   {256, 128},
                   {511, 128}}},
        ErrorCase{"At2880",
                  3,
                  2,
                  2880,
                  720,
                  {{0, 128},
                   {1, 70},
                   {4, 82},
                   {5, 96},
                   {32, 138},
                   {33, 131},
                   {255, 255},
                   {256, 255},
                   {511, 255}}},
        ErrorCase{"OneInkAt2880", 0, 2, 2880, 720, {{0, 128}, {33, 131}, {511, 255}}},
        ErrorCase{"SeparatedOther",
                  3,
                  2,
                  720,
                  720,
                  {{0, 64}, {16, 57}, {17, 66}, {255, 199}, {256, 199}, {511, 199}}},
        ErrorCase{"SeparatedTwoBit720x360", 3, 2, 720, 360, {{17, 66}, {256, 199}}},
        // One ink: untouched tail (the block is zero-filled, nothing is written there).
        ErrorCase{"OneInk",
                  0,
                  1,
                  720,
                  720,
                  {{0, 128},
                   {1, 41},
                   {9, 64},
                   {10, 67},
                   {128, 128},
                   {254, 214},
                   {255, 128},
                   {256, 0x5A5A},
                   {511, 0x5A5A}}},
        ErrorCase{"OneInkTwoBit1440", 0, 2, 1440, 720, {{0, 30}, {1, 35}, {254, 214}}},
        ErrorCase{"OneInkOneBit1440", 0, 1, 1440, 720, {{0, 128}, {1, 41}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorThresholds, OneInkFollowsTheDotValues) {
    HalftoneParams params = test::singleInkParams();
    int16_t values[256];
    fillDotValueCurve(values, 250, 100);
    int16_t t[512] = {};
    fillErrorThresholds(t, params, values);
    // T[1] = 22 * ((dotValues[1] - 255) / 3 + 255) / 255 + 19 with dotValues[1] = 634.
    EXPECT_EQ(values[1], 634);
    EXPECT_EQ(t[1], 51);
}

// ---------------------------------------------------------------------------
// Level-record model

using Fields = std::array<int, 4>;

TEST(LevelRecords, OneInkStagesAndRecords) {
    const LevelModel model = levelModelFor(test::singleInkParams(), ByteView());
    EXPECT_EQ(model.records, 256);
    EXPECT_EQ(model.dotShare, 0.5);
    EXPECT_EQ(model.inkScale, 1.0);
    std::vector<LevelRecord> records(256);
    const LevelModelStages stages = fillLevelRecords(records.data(), model);
    EXPECT_EQ(stages.start[0], 0);
    EXPECT_EQ(stages.start[1], 78);
    EXPECT_EQ(stages.start[2], 149);
    EXPECT_EQ(stages.start[3], 170);
    EXPECT_EQ(test::fields(records[0]), (Fields{0, 0, 0, 0}));
    EXPECT_EQ(test::fields(records[50]), (Fields{71, 0, 0, 71}));
    EXPECT_EQ(test::fields(records[100]), (Fields{128, 35, 0, 163}));
    EXPECT_EQ(test::fields(records[200]), (Fields{0, 173, 82, 255}));
    EXPECT_EQ(test::fields(records[255]), (Fields{0, 0, 255, 255}));
}

TEST(LevelRecords, SeparatedStagesAndRecords) {
    const LevelModel model = levelModelFor(test::separatedParams(), ByteView());
    EXPECT_EQ(model.records, 512);
    std::vector<LevelRecord> records(512);
    const LevelModelStages stages = fillLevelRecords(records.data(), model);
    EXPECT_EQ(stages.start[1], 82);
    EXPECT_EQ(stages.start[2], 213);
    EXPECT_EQ(stages.start[3], 262);
    EXPECT_EQ(test::fields(records[511]), (Fields{0, 0, 255, 255}));
    for (const LevelRecord& r : records)
        EXPECT_EQ(r.levelTotal, int16_t(r.smallSpan + r.mediumSpan + r.thresholdBase));
}

TEST(LevelRecords, ExtremeInkScaleStaysDefined) {
    // Tag 101 of 30000 makes K 0: the model divides by zero in floating point
    // and still fills every record with some int16.
    LevelModel model = levelModelFor(test::separatedParams(), ByteView());
    model.inkScale = 100.0 / 30000;
    std::vector<LevelRecord> records(512, LevelRecord{-9, -9, -9, -9});
    fillLevelRecords(records.data(), model);
    for (const LevelRecord& r : records) EXPECT_NE(r.smallSpan, -9);
}

struct ShareCase {
    int32_t code;
    std::array<double, 4> shares;  // 1440 one ink, 1440 separated, other one ink, other separated
};

TEST(LevelRecords, DotShareByCodeResolutionAndInkSet) {
    for (const ShareCase& c :
         {ShareCase{2, {0.5, 0.65, 0.35, 0.5}}, ShareCase{11, {0.5, 0.65, 0.35, 0.5}},
          ShareCase{15, {0.5, 0.65, 0.35, 0.5}}, ShareCase{5, {0.75, 0.65, 0.5, 0.65}},
          ShareCase{13, {0.75, 0.65, 0.5, 0.65}}, ShareCase{4, {0.5, 0.6, 0.25, 0.4}},
          ShareCase{0, {0.75, 0.75, 0.75, 0.75}}, ShareCase{7, {0.5, 0.6, 0.35, 0.5}},
          ShareCase{-2, {0.5, 0.6, 0.35, 0.5}}}) {
        EXPECT_EQ(dotShareFor(c.code, true, true), c.shares[0]) << c.code;
        EXPECT_EQ(dotShareFor(c.code, true, false), c.shares[1]) << c.code;
        EXPECT_EQ(dotShareFor(c.code, false, true), c.shares[2]) << c.code;
        EXPECT_EQ(dotShareFor(c.code, false, false), c.shares[3]) << c.code;
    }
}

TEST(LevelRecords, ModelReadsTheChain) {
    HalftoneParams separated = test::separatedParams();
    separated.xResolution = 1440;
    test::Bytes chain = test::chainExtra(4, {{7, 3}, {101, 80}});
    LevelModel model = levelModelFor(separated, ByteView(chain.data(), chain.size()));
    EXPECT_EQ(model.dotShare, 0.6);
    EXPECT_EQ(model.inkScale, 1.25);
    EXPECT_EQ(model.curve, 1.0);

    // One ink ignores tag 101; no 0xFFFE item means 0.5; tag 101 of 0 means 1.
    HalftoneParams single = test::singleInkParams();
    model = levelModelFor(single, ByteView(chain.data(), chain.size()));
    EXPECT_EQ(model.dotShare, 0.25);
    EXPECT_EQ(model.inkScale, 1.0);
    EXPECT_EQ(model.curve, 65.0 / 203.0);
    test::Bytes noCode = test::chainExtra(std::nullopt, {{101, 0}});
    model = levelModelFor(separated, ByteView(noCode.data(), noCode.size()));
    EXPECT_EQ(model.dotShare, 0.5);
    EXPECT_EQ(model.inkScale, 1.0);
}

// ---------------------------------------------------------------------------
// Quantiser, density map, pair transfer

TEST(Quantiser, LevelAtOrBelowAndItsWeight) {
    const uint8_t levels[5] = {0, 64, 128, 192, 255};
    uint8_t q[512];
    fillQuantiser(q, levels);
    auto pair = [&](int v) { return std::pair<int, int>{q[2 * v], q[2 * v + 1]}; };
    EXPECT_EQ(pair(0), (std::pair{0, 255}));
    EXPECT_EQ(pair(32), (std::pair{0, 127}));  // (64 - 32) * 255 / 64
    EXPECT_EQ(pair(63), (std::pair{0, 3}));
    EXPECT_EQ(pair(64), (std::pair{1, 255}));
    EXPECT_EQ(pair(254), (std::pair{3, 4}));  // (255 - 254) * 255 / 63
    EXPECT_EQ(pair(255), (std::pair{4, 255}));
}

TEST(DensityMap, FloatingInterpolationTruncated) {
    test::LutWithGrid table = test::singleInkLut({0, 40, 100, 180, 255}, 3);
    ASSERT_TRUE(singleInkLutUsable(table.lut));
    std::vector<int16_t> map(256, -1);
    fillDensityMap(map.data(), table.lut);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[32], 20);
    EXPECT_EQ(map[64], 40);
    EXPECT_EQ(map[100], 73);   // 40 + 36 * 60 / 64 = 73.75
    EXPECT_EQ(map[254], 253);  // 180 + 62 * 75 / 63 = 253.8
    EXPECT_EQ(map[255], 255);
    for (int v = 0; v < 256; ++v) ASSERT_GE(map[size_t(v)], 0) << v;

    // Falling ink truncates toward zero as well.
    test::LutWithGrid falling = test::singleInkLut({200, 100, 100, 0, 0}, 1);
    fillDensityMap(map.data(), falling.lut);
    EXPECT_EQ(map[1], 198);  // 200 - 100 / 64 = 198.4
}

TEST(DensityMap, OnlyUsableTablesFeedIt) {
    test::LutWithGrid table = test::singleInkLut();
    EXPECT_TRUE(singleInkLutUsable(table.lut));
    for (auto spoil :
         {+[](CmLut& l) { l.grid = nullptr; }, +[](CmLut& l) { l.channels = 0; },
          +[](CmLut& l) { l.points[0] = 1; }, +[](CmLut& l) { l.points[0] = 37; },
          +[](CmLut& l) { l.list0[2] = l.list0[1]; }, +[](CmLut& l) { l.list0[4] = 254; }}) {
        CmLut lut = table.lut;
        spoil(lut);
        EXPECT_FALSE(singleInkLutUsable(lut));
    }
}

TEST(PairTransfer, MovesLightInkAndClamps) {
    struct Case {
        std::array<uint8_t, 6> in, out;
    };
    for (const Case& c : {
             // Below both limits: unchanged.
             Case{{100, 50, 60, 40, 9, 50}, {100, 50, 60, 40, 9, 50}},
             // Only the clamp to 254.
             Case{{255, 0, 255, 0, 255, 0}, {254, 0, 254, 0, 255, 0}},
             // Sum over 254: H = (310 - 253) / 2 = 28 from the light ink.
             Case{{100, 150, 50, 120, 7, 60}, {128, 66, 50, 120, 7, 60}},
             // Weighted sum 99, more than a third of the light ink: all of it moves.
             Case{{200, 10, 0, 0, 0, 100}, {203, 0, 0, 0, 0, 100}},
             // Second pair: G = 30 + 2 * 250 + 2 * 10 - 511 = 39, more than a third of
             // the light ink: e2 gains 10 and is clamped to 254.
             Case{{0, 0, 250, 30, 1, 10}, {0, 0, 254, 0, 1, 10}},
         }) {
        std::array<uint8_t, 6> e = c.in;
        pairTransfer(e.data());
        EXPECT_EQ(e, c.out);
    }
}

// ---------------------------------------------------------------------------
// Grid re-sampling: bit for bit what the four-dimensional interpolation gives

TEST(GridResample, MatchesTheInterpolationAtEveryPoint) {
    struct Case {
        const char* name;
        std::vector<uint8_t> list0, list1, list2;
        int channels;
    };
    const std::vector<uint8_t> uneven = {0, 3, 50, 51, 128, 200, 254, 255};
    for (const Case& c : {Case{"Even6", test::evenList(9), test::evenList(9), test::evenList(9), 6},
                          Case{"Uneven6", uneven, test::evenList(5), uneven, 6},
                          Case{"Uneven7", test::evenList(3), uneven, test::evenList(17), 7},
                          Case{"TwoPoints1", {0, 255}, {0, 255}, {0, 255}, 1}}) {
        uint32_t seed = 12345;
        test::LutWithGrid source = test::LutWithGrid::fourD(c.list0, c.list1, c.list2, c.channels,
                                                            [&seed](const test::NodeIndex&, int) {
                                                                seed = seed * 1103515245u + 12345u;
                                                                return uint8_t(seed >> 24);
                                                            });
        ASSERT_TRUE(interpolationReady(source.lut, true)) << c.name;
        // Target levels on and between the source levels, the ends included.
        const std::vector<uint8_t> levels = {0,   1,   2,   3,   4,   49,  50,  51,  52,
                                             100, 127, 128, 129, 199, 201, 253, 254, 255};
        CmLut target = source.lut;
        const int32_t n = int32_t(levels.size());
        target.points[0] = target.points[1] = target.points[2] = n;
        std::copy(levels.begin(), levels.end(), target.list0);
        std::copy(levels.begin(), levels.end(), target.list1);
        std::copy(levels.begin(), levels.end(), target.list2);
        const size_t entry = size_t(c.channels) + 1;  // entries further apart than c
        std::vector<uint8_t> table(size_t(n) * n * n * n * entry, 0xEE);
        resampleGrid(source.lut, target, table.data(), entry);

        std::vector<uint8_t> expected(size_t(c.channels));
        size_t at = 0;
        for (uint8_t a : levels)
            for (uint8_t b : levels)
                for (uint8_t d : levels)
                    for (uint8_t e : levels) {
                        interpolate4(source.lut, a, b, d, e, expected.data());
                        ASSERT_EQ(std::memcmp(&table[at], expected.data(), expected.size()), 0)
                            << c.name << " at (" << int(a) << ", " << int(b) << ", " << int(d)
                            << ", " << int(e) << ")";
                        ASSERT_EQ(table[at + entry - 1], 0xEE) << c.name;
                        at += entry;
                    }
    }
}

// ---------------------------------------------------------------------------
// Resource format: grid levels, extra-block signatures, the chain

TEST(GridLevels, CountOrderAndLength) {
    uint8_t levels[32];
    const std::vector<uint8_t> even = test::evenList(32);
    test::Bytes good = test::gridLevels(even);
    EXPECT_EQ(readGridLevels(ByteView(good.data(), good.size()), levels), INKDOT_OK);
    EXPECT_EQ(std::vector<uint8_t>(levels, levels + 32), even);

    EXPECT_EQ(readGridLevels(ByteView(good.data(), good.size() - 1), levels),
              INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(readGridLevels(ByteView(), levels), INKDOT_SEQUENCE_ENDED);
    test::Bytes count = test::gridLevels(even, 33);
    EXPECT_EQ(readGridLevels(ByteView(count.data(), count.size()), levels),
              INKDOT_BAD_SECOND_RECORD);
    std::vector<uint8_t> flat = even;
    flat[5] = flat[4];
    test::Bytes repeated = test::gridLevels(flat);
    EXPECT_EQ(readGridLevels(ByteView(repeated.data(), repeated.size()), levels),
              INKDOT_BAD_SECOND_RECORD);
    std::vector<uint8_t> shortTop = even;
    shortTop[31] = 250;
    test::Bytes top = test::gridLevels(shortTop);
    EXPECT_EQ(readGridLevels(ByteView(top.data(), top.size()), levels), INKDOT_BAD_SECOND_RECORD);
}

TEST(ExtraBlock, Signatures) {
    auto kind = [](const test::Bytes& b) { return extraBlockKind(ByteView(b.data(), b.size())); };
    EXPECT_EQ(extraBlockKind(ByteView()), kNoExtra);
    EXPECT_EQ(kind(test::chainExtra(2)), kChainExtra);
    EXPECT_EQ(kind(test::recordExtra(300)), kRecordExtra);
    test::Bytes wrongTag = test::chainExtra(2);
    wrongTag[4] = 0xFD;
    EXPECT_EQ(kind(wrongTag), kUnknownExtra);
    test::Bytes wrongSignature = test::recordExtra(300);
    wrongSignature[11] = 0xDD;
    EXPECT_EQ(kind(wrongSignature), kUnknownExtra);
    test::Bytes wrongCode = test::recordExtra(300);
    wrongCode[4] = 0x03;
    EXPECT_EQ(kind(wrongCode), kUnknownExtra);
    test::Bytes record = test::recordExtra(-300);
    EXPECT_EQ(extraResourceNumber(ByteView(record.data(), record.size())), -300);
}

TEST(ExtraBlock, ChainWalk) {
    test::Bytes chain = test::chainExtra(5, {{101, 90}, {101, 70}});
    ByteView view(chain.data(), chain.size());
    int16_t value = 0;
    ASSERT_TRUE(findChainValue(view, kTagDotShare, value));
    EXPECT_EQ(value, 5);
    ASSERT_TRUE(findChainValue(view, kTagInkLimit, value));
    EXPECT_EQ(value, 90);  // the first item with the tag
    EXPECT_FALSE(findChainValue(view, 7, value));

    // Items behind the end marker are not read.
    test::Bytes ended = test::chainExtra(5);
    test::Bytes more = test::chainExtra(std::nullopt, {{101, 60}});
    ended.insert(ended.end(), more.begin(), more.end());
    EXPECT_FALSE(findChainValue(ByteView(ended.data(), ended.size()), kTagInkLimit, value));

    // Longer items are stepped over by their length; an item too short for a
    // tag and a value does not match.
    test::Bytes items = {6, 0, 0, 0, 0x22, 0, 1,    2,    3, 4,  // tag 0x22 and four bytes
                         2, 0, 0, 0, 101,  0,                    // tag 101 without a value
                         4, 0, 0, 0, 101,  0, 0xFE, 0xFF,        // tag 101, value -2
                         0, 0, 0, 0};
    ASSERT_TRUE(findChainValue(ByteView(items.data(), items.size()), kTagInkLimit, value));
    EXPECT_EQ(value, -2);

    // A known length bounds the walk: no end marker, or a length past the end.
    test::Bytes open = {4, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_FALSE(findChainValue(ByteView(open.data(), open.size()), kTagInkLimit, value));
    test::Bytes huge = {0xF0, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    EXPECT_FALSE(findChainValue(ByteView(huge.data(), huge.size()), kTagInkLimit, value));
    test::Bytes cut = test::chainExtra(std::nullopt, {{101, 60}});
    EXPECT_FALSE(findChainValue(ByteView(cut.data(), 6), kTagInkLimit, value));
}

}  // namespace
}  // namespace inkdot
