// The halftone resource sequence: the list and the positions it is read at,
// the line buffers, the density map and separation table, the matrix with the
// tables behind it, the level-record resource, whole sequences for each kind
// of object, and every allocation or lock failure along the way.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cm/interpolation.h"
#include "frame/workers.h"
#include "halftone/density_tables.h"
#include "halftone/halftone_context.h"
#include "halftone/resource_sequence.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::HalftoneObject;
using test::MemOp;

using SequenceTest = test::BlockCountedTest;

bool allEmpty(const HalftoneContext& context) {
    for (const MemBlock& block : context.blocks)
        if (block.handle != nullptr || block.address != nullptr) return false;
    return true;
}

HalftoneParams at(HalftoneParams p, int32_t x, int32_t y) {
    p.xResolution = x;
    p.yResolution = y;
    return p;
}

// ---------------------------------------------------------------------------
// The list and its positions

struct ListCase {
    const char* name;
    int32_t x, y;
    Bytes list;
    int32_t firstResult, firstNext;
    int32_t secondResult, secondNext;
};

class ResourceList : public SequenceTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ResourceList, AsksForTheGridThenTheMatrixOfTheResolution) {
    const ListCase& c = GetParam();
    HalftoneObject object(at(test::singleInkParams(), c.x, c.y), test::singleInkLut());
    ASSERT_EQ(object.created, INKDOT_OK);
    ASSERT_EQ(object.call(c.list), c.firstResult);
    if (c.firstResult != INKDOT_OK) return;
    EXPECT_EQ(object.next, c.firstNext);
    object.next = -99;
    EXPECT_EQ(object.call({}), c.secondResult);  // one ink: the data is not read
    if (c.secondResult == INKDOT_OK) {
        EXPECT_EQ(object.next, c.secondNext);
    } else {
        EXPECT_TRUE(allEmpty(*object.context));
    }
}

Bytes list15(bool endLast) {
    Bytes b = test::resourceList({11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, -1});
    if (endLast) b[28] = b[29] = 0xFF;  // value 15 is the -1
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResourceList,
    ::testing::Values(
        ListCase{"Square", 720, 720, test::standardList(), 0, 100, 0, 201},
        ListCase{"Wide", 720, 360, test::standardList(), 0, 100, 0, 202},
        ListCase{"At1440NotWide", 1440, 720, test::standardList(), 0, 100, 0, 203},
        ListCase{"HalfWidth", 360, 720, test::standardList(), 0, 100, 0, 204},
        ListCase{"At2880", 2880, 720, test::standardList(), 0, 100, 0, 205},
        ListCase{"ShortListLeavesZeros", 2880, 720, test::resourceList({7, 8, -1}), 0, 7, 0, 0},
        ListCase{"ShortListHasPosition1", 720, 720, test::resourceList({7, 8, -1}), 0, 7, 0, 8},
        ListCase{"PositionHoldsMinus1", 720, 360, test::resourceList({7, 8, -1}), 0, 7,
                 INKDOT_SEQUENCE_ENDED, 0},
        ListCase{"FifteenthValueEnds", 720, 720, list15(true), 0, 11, 0, 12},
        ListCase{"SixteenthValueTooLate", 720, 720, list15(false), INKDOT_SEQUENCE_ENDED, 0, 0, 0},
        ListCase{"NegativeNumbersPass", 720, 720, test::resourceList({-5, -6, -1}), 0, -5, 0, -6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequenceTest, ListIsKeptUpToItsEnd) {
    HalftoneObject object(test::singleInkParams(), test::singleInkLut());
    ASSERT_EQ(object.call(test::resourceList({7, 8, -1, 9})), INKDOT_OK);
    const int16_t* list = object.context->resourceList;
    EXPECT_EQ(std::vector<int16_t>(list, list + 5), (std::vector<int16_t>{7, 8, -1, 0, 0}));
    EXPECT_EQ(object.context->phase, 1);
}

TEST_F(SequenceTest, ListIsReadWithinItsLength) {
    HalftoneObject object(test::singleInkParams(), test::singleInkLut());
    Bytes list = test::resourceList({7, 8, -1});
    int32_t next = 0;
    EXPECT_EQ(halftoneSetResource(object.context, list.data(), 5, &next), INKDOT_SEQUENCE_ENDED);
}

// ---------------------------------------------------------------------------
// First call: error lines, extra block, replication

struct LinesCase {
    const char* name;
    int32_t method, inkSet, lineOption;
    int32_t count;
};

class ErrorLineCount : public SequenceTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(ErrorLineCount, ByMethodAndInkSet) {
    const LinesCase& c = GetParam();
    HalftoneParams params = c.inkSet == 0 ? test::singleInkParams() : test::separatedParams();
    params.method = c.method;
    params.lineOption = c.lineOption;
    params.outputBits = 2;  // keeps the separated dither object out of mode 7
    HalftoneObject object(params, test::singleInkLut(), test::chainExtra(2));
    ASSERT_EQ(object.created, INKDOT_OK);
    ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
    EXPECT_EQ(object.context->errorLineCount, c.count);
    for (int line = 0; line < 3; ++line)
        EXPECT_EQ(object.context->blocks[kErrorLineA + line].address != nullptr, line < c.count)
            << line;
}

INSTANTIATE_TEST_SUITE_P(Cases, ErrorLineCount,
                         ::testing::Values(LinesCase{"DiffusionOneInk", 1, 0, 0, 1},
                                           LinesCase{"DiffusionSeparated", 1, 3, 5, 3},
                                           LinesCase{"DitherSeparatedOption0", 3, 3, 0, 1},
                                           LinesCase{"DitherSeparatedOption2", 3, 3, 2, 1},
                                           LinesCase{"DitherSeparatedOption1", 3, 3, 1, 0},
                                           LinesCase{"DitherOneInk", 3, 0, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequenceTest, ErrorLinesShareABlockWhileTheyFit) {
    struct Case {
        int32_t maxPixels;
        int32_t lineBytes;
        bool shared;
    };
    for (Case c : {Case{0, 120, true}, Case{10862, 21844, true}, Case{10870, 21860, false}}) {
        HalftoneParams params = test::separatedParams();
        params.maxPixels = c.maxPixels;
        HalftoneObject object(params, test::separationLut());
        ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
        EXPECT_EQ(errorLineBytes(c.maxPixels), c.lineBytes);
        const auto& blocks = object.context->blocks;
        const auto* a = static_cast<const uint8_t*>(blocks[kErrorLineA].address);
        if (c.shared) {
            EXPECT_EQ(blocks[kErrorLineA].size, 3 * c.lineBytes);
            EXPECT_EQ(blocks[kErrorLineB].handle, nullptr);
            EXPECT_EQ(blocks[kErrorLineB].address, a + c.lineBytes);
            EXPECT_EQ(blocks[kErrorLineC].address, a + 2 * c.lineBytes);
            EXPECT_EQ(blocks[kErrorLineC].size, c.lineBytes);
        } else {
            for (int line = 0; line < 3; ++line) {
                EXPECT_NE(blocks[kErrorLineA + line].handle, nullptr);
                EXPECT_EQ(blocks[kErrorLineA + line].size, c.lineBytes);
            }
        }
        // Zero-filled, guards included.
        for (int32_t i = 0; i < c.lineBytes; ++i) ASSERT_EQ(a[i], 0) << i;
    }
    HalftoneParams one = test::singleInkParams();
    one.maxPixels = 0;
    HalftoneObject object(one, test::singleInkLut());
    ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
    EXPECT_EQ(object.context->blocks[kErrorLineA].size, 120);
}

TEST_F(SequenceTest, ExtraBlockKind) {
    struct Case {
        const char* name;
        int32_t outputBits;
        Bytes extra;
        int32_t result, kind;
    };
    Bytes unknown = test::chainExtra(2);
    unknown[0] = 5;
    for (const Case& c :
         {Case{"None", 1, {}, 0, 0}, Case{"NoneTwoBit", 2, {}, INKDOT_SEQUENCE_ENDED, 0},
          Case{"Chain", 2, test::chainExtra(2), 0, 1},
          Case{"Records", 1, test::recordExtra(300), 0, 2},
          Case{"Unknown", 1, unknown, INKDOT_SEQUENCE_ENDED, 0}}) {
        HalftoneParams params = test::singleInkParams();
        params.outputBits = c.outputBits;
        HalftoneObject object(params, test::singleInkLut(), c.extra);
        EXPECT_EQ(object.call(test::standardList()), c.result) << c.name;
        EXPECT_EQ(object.context->extraKind, c.kind) << c.name;
        if (c.result != INKDOT_OK) {
            EXPECT_EQ(test::liveBlocks(), base + 1) << c.name;
        }
    }
}

// Given its length, an extra block too short for its signature is of no known
// kind: the first call refuses it instead of reading on.
TEST_F(SequenceTest, ExtraBlockReadsStayInsideItsLength) {
    struct Case {
        const char* name;
        Bytes extra;
        size_t length;
        int32_t result, kind;
    };
    const Bytes chain = test::chainExtra(2), records = test::recordExtra(300);
    for (const Case& c : {Case{"ChainWhole", chain, chain.size(), 0, 1},
                          Case{"ChainHeadCut", chain, 5, INKDOT_SEQUENCE_ENDED, 0},
                          Case{"RecordsWhole", records, records.size(), 0, 2},
                          Case{"RecordSignatureCut", records, 11, INKDOT_SEQUENCE_ENDED, 0}}) {
        test::LutWithGrid table = test::singleInkLut();
        table.lut.grid = table.grid.data();
        table.lut.extraBlock = const_cast<uint8_t*>(c.extra.data());
        HalftoneParams params = test::singleInkParams();
        params.outputBits = 2;
        int32_t tableClass = 0, next = 0;
        HalftoneContext* context = nullptr;
        ASSERT_EQ(halftoneNew(&params, &table.lut, 0, &tableClass, &context, c.length), 0);
        const Bytes list = test::standardList();
        EXPECT_EQ(halftoneSetResource(context, list.data(), list.size(), &next), c.result)
            << c.name;
        EXPECT_EQ(context->extraKind, c.kind) << c.name;
        EXPECT_EQ(HalftoneDelete(context), INKDOT_OK);
    }
}

TEST_F(SequenceTest, ReplicationRewritesInputScale) {
    struct Case {
        int32_t inputScale, replication, scaleAfter;
    };
    for (Case c : {Case{-1, 1, -1}, Case{0, 1, 0}, Case{1, 1, 1}, Case{2, 3, 0}, Case{3, 2, 1},
                   Case{4, 5, 0}, Case{7, 4, 1}}) {
        HalftoneParams params = test::separatedParams();
        params.inputScale = c.inputScale;
        params.maxPixels = 50;
        HalftoneObject object(params, test::separationLut());
        ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
        EXPECT_EQ(object.context->replication, c.replication) << c.inputScale;
        EXPECT_EQ(object.context->params.inputScale, c.scaleAfter) << c.inputScale;
        const MemBlock& line = object.context->blocks[kExpandedLine];
        EXPECT_EQ(line.size, c.inputScale >= 2 ? 200 : 0) << c.inputScale;
    }
}

// ---------------------------------------------------------------------------
// Second call: density map and separation table

TEST_F(SequenceTest, OneInkBuildsTheDensityMap) {
    test::LutWithGrid table = test::singleInkLut({0, 40, 100, 180, 255}, 3);
    HalftoneObject object(test::singleInkParams(), table);
    ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
    ASSERT_EQ(object.call({}), INKDOT_OK);
    const MemBlock& block = object.context->blocks[kDensityMap];
    EXPECT_EQ(block.size, 512);
    std::vector<int16_t> expected(256);
    fillDensityMap(expected.data(), table.lut);
    EXPECT_EQ(std::vector<int16_t>(densityMap(*object.context), densityMap(*object.context) + 256),
              expected);
}

TEST_F(SequenceTest, GridChecks) {
    struct Case {
        const char* name;
        bool separated;
        void (*spoil)(CmLut&);
        Bytes levels;
        int32_t result;
    };
    std::vector<uint8_t> flat = test::evenList(32);
    flat[9] = flat[8];
    const Bytes good = test::gridLevels(test::evenList(32));
    for (const Case& c : {
             Case{"OneInkNoHandle",
                  false,
                  [](CmLut& l) { l.gridHandle = nullptr; },
                  {},
                  INKDOT_BAD_FIRST_RECORD},
             Case{"OneInkNoGrid",
                  false,
                  [](CmLut& l) { l.grid = nullptr; },
                  {},
                  INKDOT_BAD_FIRST_RECORD},
             Case{"OneInkListNotRising",
                  false,
                  [](CmLut& l) { l.list0[3] = 10; },
                  {},
                  INKDOT_BAD_SECOND_RECORD},
             Case{"SeparatedNoHandle", true, [](CmLut& l) { l.gridHandle = nullptr; }, good,
                  INKDOT_BAD_FIRST_RECORD},
             Case{"SeparatedNoGrid", true, [](CmLut& l) { l.grid = nullptr; }, good,
                  INKDOT_BAD_FIRST_RECORD},
             Case{"SeparatedThreeDimensional", true, [](CmLut& l) { l.points[3] = 1; }, good,
                  INKDOT_BAD_SECOND_RECORD},
             Case{"SeparatedFiveChannels", true, [](CmLut& l) { l.channels = 5; }, good,
                  INKDOT_BAD_SECOND_RECORD},
             Case{"SeparatedSevenChannels", true, [](CmLut& l) { l.channels = 7; }, good,
                  INKDOT_BAD_SECOND_RECORD},
             Case{"LevelCount31", true, nullptr, test::gridLevels(test::evenList(32), 31),
                  INKDOT_BAD_SECOND_RECORD},
             Case{"LevelsNotRising", true, nullptr, test::gridLevels(flat),
                  INKDOT_BAD_SECOND_RECORD},
             Case{"LevelsMissing", true, nullptr, {}, INKDOT_SEQUENCE_ENDED},
         }) {
        test::LutWithGrid table = c.separated ? test::separationLut() : test::singleInkLut();
        HalftoneObject object(c.separated ? test::separatedParams() : test::singleInkParams(),
                              table);
        if (c.spoil) c.spoil(object.context->lut);
        ASSERT_EQ(object.call(test::standardList()), INKDOT_OK) << c.name;
        EXPECT_EQ(object.call(c.levels), c.result) << c.name;
        EXPECT_TRUE(allEmpty(*object.context)) << c.name;
        EXPECT_EQ(object.context->sequenceState, kSequenceFailed) << c.name;
        EXPECT_EQ(object.call(test::bayerMatrix(4)), INKDOT_SEQUENCE_ENDED) << c.name;
    }
}

// Entries of the separation table against the interpolation they are sampled
// with (every seventh entry; the sampler itself is held to every point of
// smaller grids elsewhere).
void expectSampledEntries(const uint8_t* table, const CmLut& source,
                          const std::vector<uint8_t>& levels, bool transfer, const char* name) {
    uint8_t e[6];
    for (size_t n = 0; n < size_t(32 * 32 * 32 * 32); n += 7) {
        interpolate4(source, levels[n >> 15], levels[(n >> 10) & 31], levels[(n >> 5) & 31],
                     levels[n & 31], e);
        if (transfer) pairTransfer(e);
        ASSERT_EQ(std::memcmp(table + 6 * n, e, 6), 0) << name << " entry " << n;
    }
}

TEST_F(SequenceTest, SeparationTableIsTheResampledGrid) {
    struct Case {
        const char* name;
        int32_t method, x, y, outputBits;
        bool transfer;
    };
    std::vector<uint8_t> levels = test::evenList(32);
    levels[1] = 3;  // uneven on purpose
    levels[30] = 250;
    for (const Case& c :
         {Case{"Diffusion", 1, 720, 720, 1, true}, Case{"Diffusion720x360", 1, 720, 360, 1, false},
          Case{"Dither", 3, 720, 720, 2, false}}) {
        HalftoneParams params = at(test::separatedParams(), c.x, c.y);
        params.method = c.method;
        params.outputBits = c.outputBits;
        test::LutWithGrid table = test::separationLut(4);
        HalftoneObject object(params, table, test::chainExtra(2));
        ASSERT_EQ(object.context->mode, Mode::plain) << c.name;
        ASSERT_EQ(object.call(test::standardList()), INKDOT_OK) << c.name;
        ASSERT_EQ(object.call(test::gridLevels(levels)), INKDOT_OK) << c.name;

        const CmLut& lut = object.context->lut;
        const MemBlock& block = object.context->blocks[kSeparationTable];
        EXPECT_EQ(block.size, 32 * 32 * 32 * 32 * 6) << c.name;
        EXPECT_EQ(lut.grid, block.address) << c.name;
        EXPECT_EQ(lut.gridHandle, nullptr) << c.name;
        EXPECT_EQ((std::vector<int32_t>{lut.points[0], lut.points[1], lut.points[2]}),
                  (std::vector<int32_t>{32, 32, 32}));
        EXPECT_EQ(std::vector<uint8_t>(lut.list2, lut.list2 + 32), levels) << c.name;
        // The caller's record is left alone.
        EXPECT_EQ(object.table.lut.points[0], 4) << c.name;

        const auto* got = static_cast<const uint8_t*>(block.address);
        expectSampledEntries(got, table.lut, levels, c.transfer, c.name);
        // The darkest corner of this grid is all 255; the transfer clamps to 254.
        EXPECT_EQ(got[size_t(block.size) - 6], c.transfer ? 254 : 255) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Third call: matrix and tables

TEST_F(SequenceTest, MatrixDimensionCodes) {
    struct Case {
        uint8_t widthCode, heightCode;
        int32_t width, height, result;
    };
    for (Case c :
         {Case{255, 2, 256, 2, 0}, Case{239, 1, 512, 1, 0}, Case{16, 16, 16, 16, 0},
          Case{3, 5, 3, 5, 0}, Case{1, 239, 1, 512, 0}, Case{0, 4, 0, 4, INKDOT_SEQUENCE_ENDED},
          Case{4, 0, 4, 0, INKDOT_SEQUENCE_ENDED}}) {
        HalftoneObject object(test::singleInkParams(), test::singleInkLut());
        ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
        ASSERT_EQ(object.call({}), INKDOT_OK);
        std::vector<uint16_t> values(size_t(c.width) * size_t(c.height));
        for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<uint16_t>(k * 7);
        EXPECT_EQ(object.call(test::ditherMatrix(c.widthCode, c.heightCode, values)), c.result);
        EXPECT_EQ(object.next, -1);
        EXPECT_EQ(object.context->matrixWidth, c.width);
        EXPECT_EQ(object.context->matrixHeight, c.height);
        if (c.result != INKDOT_OK) {
            EXPECT_TRUE(allEmpty(*object.context));
            continue;
        }
        EXPECT_EQ(object.context->matrixSize, c.width * c.height);
        const int32_t* matrix = ditherMatrix(*object.context);
        for (size_t k = 0; k < values.size(); ++k) ASSERT_EQ(matrix[k], values[k]) << k;
    }
}

TEST_F(SequenceTest, MatrixIsReadWithinTheResourceLength) {
    HalftoneObject object(test::singleInkParams(), test::singleInkLut());
    ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
    ASSERT_EQ(object.call({}), INKDOT_OK);
    Bytes matrix = test::bayerMatrix(8);
    int32_t next = 0;
    EXPECT_EQ(halftoneSetResource(object.context, matrix.data(), matrix.size() - 1, &next),
              INKDOT_SEQUENCE_ENDED);
    EXPECT_TRUE(allEmpty(*object.context));
}

struct LayoutCase {
    const char* name;
    HalftoneParams params;
    Bytes extra;
    int32_t thresholdBytes, dotBytes, recordBytes;
};

class TableLayout : public SequenceTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(TableLayout, ViewsAndSizes) {
    const LayoutCase& c = GetParam();
    const bool separated = c.params.inkSet != 0;
    HalftoneObject object(c.params, separated ? test::separationLut() : test::singleInkLut(),
                          c.extra);
    ASSERT_EQ(object.created, INKDOT_OK);
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    const auto& b = object.context->blocks;
    const auto* matrix = static_cast<const uint8_t*>(b[kDitherMatrix].address);
    EXPECT_EQ(b[kDitherMatrix].size, 4 * 256 + c.thresholdBytes);
    EXPECT_EQ(b[kLevelThresholds].address, matrix + 4 * 256);
    EXPECT_EQ(b[kLevelThresholds].size, c.thresholdBytes);
    EXPECT_EQ(b[kLevelThresholds].handle, nullptr);
    const auto* dots = static_cast<const uint8_t*>(b[kDotValues].address);
    EXPECT_EQ(b[kDotValues].size, c.dotBytes);
    EXPECT_EQ(b[kErrorThresholds].address, dots + 512);
    EXPECT_EQ(b[kErrorThresholds].size, 1024);
    EXPECT_EQ(b[kQuantiser].address, dots + 1536);
    EXPECT_EQ(b[kQuantiser].size, 512);
    EXPECT_EQ(b[kLevelRecords].address, c.recordBytes ? dots + 2048 : nullptr);
    EXPECT_EQ(b[kLevelRecords].size, c.recordBytes);
    for (int index : {kErrorThresholds, kQuantiser, kLevelRecords})
        EXPECT_EQ(b[size_t(index)].handle, nullptr);
    EXPECT_EQ(b[kExpandedLine].address, nullptr);
    for (int index = 11; index < kBlockTableSize; ++index)
        EXPECT_EQ(b[size_t(index)].address, nullptr);
}

HalftoneParams change(HalftoneParams p, int32_t method, int32_t outputBits) {
    p.method = method;
    p.outputBits = outputBits;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableLayout,
    ::testing::Values(
        LayoutCase{"OneInkDiffusionOneBit", test::singleInkParams(), {}, 1024, 2048, 0},
        LayoutCase{"OneInkDitherOneBit", change(test::singleInkParams(), 3, 1), {}, 2048, 2048, 0},
        LayoutCase{"OneInkTwoBit", change(test::singleInkParams(), 1, 2), test::chainExtra(2), 1024,
                   6144, 4096},
        LayoutCase{"SeparatedTwoBit", change(test::separatedParams(), 1, 2), test::chainExtra(2),
                   1024, 10240, 8192},
        LayoutCase{"SeparatedDitherTwoBit", change(test::separatedParams(), 3, 2),
                   test::chainExtra(2), 1024, 10240, 8192}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequenceTest, ThirdCallTablesForOneInk) {
    HalftoneParams params = change(test::singleInkParams(), 3, 1);
    HalftoneObject object(params, test::singleInkLut());
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    EXPECT_EQ(object.answers, (std::vector<int32_t>{100, 201, -1}));
    HalftoneContext& c = *object.context;
    EXPECT_EQ(c.sequenceState, kSequenceComplete);
    EXPECT_EQ(
        (std::vector<int32_t>{c.spread.level1, c.spread.level2, c.spread.level3, c.spread.level4}),
        (std::vector<int32_t>{32, 9, 4, 2}));
    EXPECT_EQ(dotValues(c)[0], 637);
    EXPECT_EQ(dotValues(c)[255], 255);

    int16_t values[256];
    fillDotValues(values, params, c.lut);
    int32_t thresholds[512];
    fillLevelThresholds(thresholds, params, 256, values, densityMap(c));
    EXPECT_EQ(std::memcmp(levelThresholds(c), thresholds, sizeof thresholds), 0);
    int16_t errors[512] = {};
    fillErrorThresholds(errors, params, values);
    EXPECT_EQ(std::memcmp(errorThresholds(c), errors, sizeof errors), 0);
    uint8_t q[512];
    fillQuantiser(q, c.lut.list0);
    EXPECT_EQ(std::memcmp(quantiser(c), q, sizeof q), 0);
}

TEST_F(SequenceTest, ThirdCallTablesForSeparatedInks) {
    HalftoneParams params = change(test::separatedParams(), 1, 2);
    HalftoneObject object(params, test::separationLut(), test::chainExtra(5, {{101, 80}}));
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    EXPECT_EQ(object.answers, (std::vector<int32_t>{100, 201, -1}));
    HalftoneContext& c = *object.context;
    // Halved after the thresholds were made with the whole value.
    for (int k = 0; k < 256; ++k) ASSERT_EQ(dotValues(c)[k], 127) << k;
    EXPECT_EQ(levelThresholds(c)[255], 256);
    EXPECT_EQ(errorThresholds(c)[255], 199);
    // The quantiser runs over the 32 new levels.
    EXPECT_EQ(quantiser(c)[2 * 255], 31);
    // Level records from the model, twice.
    std::vector<LevelRecord> expected(512);
    fillLevelRecords(expected.data(),
                     levelModelFor(params, ByteView(object.extra.data(), object.extra.size())));
    const LevelRecord* records = levelRecords(c);
    for (int r = 0; r < 512; ++r) {
        ASSERT_EQ(test::fields(records[r]), test::fields(expected[size_t(r)])) << r;
        ASSERT_EQ(test::fields(records[512 + r]), test::fields(expected[size_t(r)])) << r;
    }
}

TEST_F(SequenceTest, SpreadFailureKeepsTheBlocks) {
    test::LutWithGrid table = test::singleInkLut();
    table.lut.percentAt0 = 300;
    HalftoneObject object(test::singleInkParams(), table);
    EXPECT_EQ(object.runSequence(), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(object.next, -1);
    EXPECT_NE(object.context->blocks[kDitherMatrix].address, nullptr);
    EXPECT_NE(object.context->blocks[kDotValues].address, nullptr);
    EXPECT_EQ(object.call(test::levelRecordResource({})), INKDOT_SEQUENCE_ENDED);

    HalftoneObject noRow(at(test::singleInkParams(), 2880, 720), test::singleInkLut());
    EXPECT_EQ(noRow.runSequence(), INKDOT_BAD_FIRST_RECORD);
    EXPECT_NE(noRow.context->blocks[kDotValues].address, nullptr);
}

TEST_F(SequenceTest, ZeroDotValueIsRefused) {
    test::LutWithGrid table = test::singleInkLut();
    table.lut.percentAt0 = 250;
    table.lut.percentAt255 = 0;  // dotValues[255] = 0
    HalftoneObject object(test::singleInkParams(), table);
    EXPECT_EQ(object.runSequence(), INKDOT_BAD_SECOND_RECORD);
    EXPECT_TRUE(allEmpty(*object.context));
}

// ---------------------------------------------------------------------------
// Fourth call: level records from a resource

HalftoneObject* readyForRecords(std::unique_ptr<HalftoneObject>& holder, HalftoneParams params) {
    holder = std::make_unique<HalftoneObject>(
        params, params.inkSet == 0 ? test::singleInkLut() : test::separationLut(),
        test::recordExtra(300));
    HalftoneObject& o = *holder;
    EXPECT_EQ(o.call(test::standardList()), INKDOT_OK);
    EXPECT_EQ(o.call(test::gridLevels(test::evenList(32))), INKDOT_OK);
    EXPECT_EQ(o.call(test::bayerMatrix(16)), INKDOT_OK);
    EXPECT_EQ(o.next, 300);
    return holder.get();
}

TEST_F(SequenceTest, RecordResourceHeader) {
    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
    };
    for (const Case& c : {Case{"Length1577", 0, 0x29}, Case{"Signature", 5, 0x68},
                          Case{"Reserved", 9, 1}, Case{"Kind", 16, 2}, Case{"Count", 19, 1}}) {
        std::unique_ptr<HalftoneObject> holder;
        HalftoneObject* o = readyForRecords(holder, change(test::singleInkParams(), 1, 2));
        Bytes records = test::levelRecordResource({{1, 2, 3}});
        records[c.offset] = c.value;
        o->next = 0;
        EXPECT_EQ(o->call(records), INKDOT_SEQUENCE_ENDED) << c.name;
        EXPECT_EQ(o->next, -1) << c.name;
        EXPECT_NE(o->context->blocks[kDotValues].address, nullptr) << c.name;
    }
    // 1578 and more pass.
    std::unique_ptr<HalftoneObject> holder;
    HalftoneObject* o = readyForRecords(holder, change(test::singleInkParams(), 1, 2));
    Bytes records = test::levelRecordResource({{1, 2, 3}});
    records[1] = 0x70;
    EXPECT_EQ(o->call(records), INKDOT_OK);
}

TEST_F(SequenceTest, RecordsAreStoredTwice) {
    std::unique_ptr<HalftoneObject> holder;
    HalftoneObject* o = readyForRecords(holder, change(test::separatedParams(), 1, 2));
    std::vector<std::array<uint8_t, 3>> in(512);
    for (size_t r = 0; r < 512; ++r) in[r] = {uint8_t(r % 200), uint8_t(r % 7), uint8_t(r % 40)};
    in[7] = {100, 100, 55};
    ASSERT_EQ(o->call(test::levelRecordResource(in)), INKDOT_OK);
    const LevelRecord* records = levelRecords(*o->context);
    for (size_t r = 0; r < 512; ++r) {
        const std::array<int, 4> want = {in[r][0], in[r][1], in[r][2],
                                         in[r][0] + in[r][1] + in[r][2]};
        ASSERT_EQ(test::fields(records[r]), want) << r;
        ASSERT_EQ(test::fields(records[512 + r]), want) << r;
    }
    EXPECT_EQ(o->context->sequenceState, kSequenceComplete);
    EXPECT_EQ(o->call(test::levelRecordResource(in)), INKDOT_SEQUENCE_ENDED);
}

TEST_F(SequenceTest, OneInkTakesEverySecondRecord) {
    std::unique_ptr<HalftoneObject> holder;
    HalftoneObject* o = readyForRecords(holder, change(test::singleInkParams(), 1, 2));
    std::vector<std::array<uint8_t, 3>> in(512);
    for (size_t r = 0; r < 512; ++r) in[r] = {uint8_t(r / 2), uint8_t(r % 2), 0};
    ASSERT_EQ(o->call(test::levelRecordResource(in)), INKDOT_OK);
    const LevelRecord* records = levelRecords(*o->context);
    for (int r = 0; r < 256; ++r) {
        ASSERT_EQ(test::fields(records[r]), (std::array<int, 4>{r, 0, 0, r})) << r;
        ASSERT_EQ(test::fields(records[256 + r]), (std::array<int, 4>{r, 0, 0, r})) << r;
    }
}

TEST_F(SequenceTest, RecordSumAbove255StopsThere) {
    std::unique_ptr<HalftoneObject> holder;
    HalftoneObject* o = readyForRecords(holder, change(test::separatedParams(), 1, 2));
    std::vector<std::array<uint8_t, 3>> in(512, {1, 1, 1});
    in[5] = {100, 100, 56};
    EXPECT_EQ(o->call(test::levelRecordResource(in)), INKDOT_SEQUENCE_ENDED);
    const LevelRecord* records = levelRecords(*o->context);
    EXPECT_EQ(test::fields(records[4]), (std::array<int, 4>{1, 1, 1, 3}));
    EXPECT_NE(test::fields(records[5]), (std::array<int, 4>{100, 100, 56, 256}));
    EXPECT_NE(test::fields(records[6]), (std::array<int, 4>{1, 1, 1, 3}));
}

TEST_F(SequenceTest, OneBitRecordResourceIsOnlyChecked) {
    std::unique_ptr<HalftoneObject> holder;
    HalftoneObject* o = readyForRecords(holder, test::singleInkParams());
    ASSERT_EQ(o->context->blocks[kLevelRecords].address, nullptr);
    const std::vector<uint8_t> before(
        static_cast<uint8_t*>(o->context->blocks[kDotValues].address),
        static_cast<uint8_t*>(o->context->blocks[kDotValues].address) + 2048);
    std::vector<std::array<uint8_t, 3>> in(512, {200, 200, 200});
    EXPECT_EQ(o->call(test::levelRecordResource(in)), INKDOT_OK);
    EXPECT_EQ(o->next, -1);
    EXPECT_EQ(std::memcmp(o->context->blocks[kDotValues].address, before.data(), 2048), 0);
    EXPECT_EQ(o->context->sequenceState, kSequenceComplete);
}

// ---------------------------------------------------------------------------
// Whole sequences

struct WholeCase {
    const char* name;
    int32_t inkSet, outputBits, x, y;
    int extra;  // 0 none, 1 chain, 2 records
    std::vector<int32_t> answers;
};

class WholeSequence : public SequenceTest, public ::testing::WithParamInterface<WholeCase> {};

HalftoneParams wholeParams(const WholeCase& c) {
    HalftoneParams p =
        at(c.inkSet == 0 ? test::singleInkParams() : test::separatedParams(), c.x, c.y);
    p.outputBits = c.outputBits;
    return p;
}

Bytes wholeExtra(int kind) {
    return kind == 1 ? test::chainExtra(2) : kind == 2 ? test::recordExtra(300) : Bytes{};
}

TEST_P(WholeSequence, EndsWithMinus1AtTheRightCall) {
    const WholeCase& c = GetParam();
    HalftoneObject object(wholeParams(c),
                          c.inkSet == 0 ? test::singleInkLut() : test::separationLut(),
                          wholeExtra(c.extra));
    ASSERT_EQ(object.created, INKDOT_OK);
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    EXPECT_EQ(object.answers, c.answers);
    EXPECT_EQ(object.context->phase, int32_t(c.answers.size()));
    EXPECT_EQ(object.context->sequenceState, kSequenceComplete);

    // A call after the end is refused and changes nothing.
    std::vector<uint8_t> before(sizeof(HalftoneContext));
    std::memcpy(before.data(), object.context, before.size());
    const MemBlock dots = object.context->blocks[kDotValues];
    const std::vector<uint8_t> tables(static_cast<uint8_t*>(dots.address),
                                      static_cast<uint8_t*>(dots.address) + dots.size);
    object.next = 5;
    EXPECT_EQ(object.call(test::levelRecordResource({})), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(object.next, 5);
    EXPECT_EQ(std::memcmp(before.data(), object.context, before.size()), 0);
    EXPECT_EQ(std::memcmp(tables.data(), dots.address, tables.size()), 0);
    EXPECT_EQ(object.remove(), INKDOT_OK);
    EXPECT_EQ(test::liveBlocks(), base);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WholeSequence,
    ::testing::Values(WholeCase{"OneInkOneBit", 0, 1, 720, 720, 0, {100, 201, -1}},
                      WholeCase{"OneInkOneBitChain", 0, 1, 720, 360, 1, {100, 202, -1}},
                      WholeCase{"OneInkOneBitRecords", 0, 1, 1440, 720, 2, {100, 203, 300, -1}},
                      WholeCase{"OneInkTwoBitChain", 0, 2, 2880, 720, 1, {100, 205, -1}},
                      WholeCase{"OneInkTwoBitRecords", 0, 2, 720, 720, 2, {100, 201, 300, -1}},
                      WholeCase{"SeparatedOneBit", 3, 1, 720, 360, 0, {100, 202, -1}},
                      WholeCase{"SeparatedOneBitChain", 3, 1, 1440, 720, 1, {100, 203, -1}},
                      WholeCase{"SeparatedOneBitRecords", 3, 1, 720, 720, 2, {100, 201, 300, -1}},
                      WholeCase{"SeparatedTwoBitChain", 3, 2, 2880, 720, 1, {100, 205, -1}},
                      WholeCase{"SeparatedTwoBitRecords", 3, 2, 1440, 720, 2, {100, 203, 300, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every allocation and every lock of every call fails once: the call reports
// it, the object gives back all it had, and deletion leaves nothing behind.
TEST_P(WholeSequence, EveryBlockFailureIsReportedAndCleanedUp) {
    const WholeCase& c = GetParam();
    for (MemOp op : {MemOp::Allocate, MemOp::Lock}) {
        for (int64_t n = 2;; ++n) {  // the first is the object's own block
            test::resetMemory();
            const int64_t live = test::liveBlocks();
            HalftoneObject object(wholeParams(c),
                                  c.inkSet == 0 ? test::singleInkLut() : test::separationLut(),
                                  wholeExtra(c.extra));
            ASSERT_EQ(object.created, INKDOT_OK);
            test::failNth(op, n - 1);
            const int32_t result = object.runSequence();
            test::failNth(op, 0);
            if (result == INKDOT_OK) {
                EXPECT_GT(n, 4);  // list, table and matrix calls allocate at least four blocks
                break;
            }
            EXPECT_EQ(result, op == MemOp::Allocate ? INKDOT_ALLOC_FAILED : INKDOT_LOCK_FAILED)
                << n;
            EXPECT_TRUE(allEmpty(*object.context)) << n;
            EXPECT_EQ(object.call(test::bayerMatrix(4)), INKDOT_SEQUENCE_ENDED) << n;
            EXPECT_EQ(object.remove(), INKDOT_OK) << n;
            EXPECT_EQ(test::liveBlocks(), live) << n;
        }
    }
}

}  // namespace
}  // namespace inkdot
