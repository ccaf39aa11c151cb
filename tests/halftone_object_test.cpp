// The halftone object: the order of HalftoneNew's checks and what each
// failure leaves written, the mode table, and deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::MemOp;

using HalftoneObjectTest = test::BlockCountedTest;

// HalftoneNew failures before the object exists: the result, and that neither
// out variable is written.
struct EarlyCase {
    const char* name;
    int32_t flag;
    bool params, lut;
    void (*change)(HalftoneParams&);
    int32_t result;
};

class HalftoneNewEarly : public HalftoneObjectTest,
                         public ::testing::WithParamInterface<EarlyCase> {};

TEST_P(HalftoneNewEarly, WritesNeitherOutVariable) {
    const EarlyCase& c = GetParam();
    HalftoneParams params = test::singleInkParams();
    if (c.change) c.change(params);
    test::LutWithGrid table = test::singleInkLut();
    int32_t tableClass = -7;
    auto* sentinel = reinterpret_cast<HalftoneContext*>(&tableClass);
    HalftoneContext* handle = sentinel;
    EXPECT_EQ(HalftoneNew(c.params ? &params : nullptr, c.lut ? &table.lut : nullptr, c.flag,
                          &tableClass, &handle),
              c.result);
    EXPECT_EQ(tableClass, -7);
    EXPECT_EQ(handle, sentinel);
    EXPECT_EQ(test::memoryCounts().allocates, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HalftoneNewEarly,
    ::testing::Values(
        EarlyCase{"FlagBeforeNullRecords", 1, false, false, nullptr, INKDOT_NONZERO_FLAG},
        EarlyCase{"FlagBeforeVersion", -1, true, true, [](HalftoneParams& p) { p.version = 0; },
                  INKDOT_NONZERO_FLAG},
        EarlyCase{"ParamsNull", 0, false, true, nullptr, INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"ParamsBeforeLut", 0, false, false, nullptr, INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"LutNull", 0, true, false, nullptr, INKDOT_BAD_SECOND_RECORD},
        EarlyCase{"InkSet1", 0, true, true, [](HalftoneParams& p) { p.inkSet = 1; },
                  INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"InkSet2", 0, true, true, [](HalftoneParams& p) { p.inkSet = 2; },
                  INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"Method2", 0, true, true, [](HalftoneParams& p) { p.method = 2; },
                  INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"SeparatedMethod0", 0, true, true,
                  [](HalftoneParams& p) {
                      p = test::separatedParams();
                      p.method = 0;
                  },
                  INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"NegativeMaxPixels", 0, true, true, [](HalftoneParams& p) { p.maxPixels = -1; },
                  INKDOT_BAD_FIRST_RECORD},
        EarlyCase{"Version", 0, true, true,
                  [](HalftoneParams& p) { p.version = INKDOT_HALFTONE_VERSION + 1; },
                  INKDOT_UNSUPPORTED},
        EarlyCase{"RecordBeforeVersion", 0, true, true,
                  [](HalftoneParams& p) {
                      p.version = 0;
                      p.method = 2;
                  },
                  INKDOT_BAD_FIRST_RECORD}),
    [](const auto& info) { return std::string(info.param.name); });

// Failures after the object block was taken: the class is already written,
// the block is given back.
struct LateCase {
    const char* name;
    HalftoneParams params;
    int32_t result;
};

class HalftoneNewLate : public HalftoneObjectTest,
                        public ::testing::WithParamInterface<LateCase> {};

TEST_P(HalftoneNewLate, WritesClassAndFreesTheObject) {
    const LateCase& c = GetParam();
    test::LutWithGrid table = test::singleInkLut();
    int32_t tableClass = -7;
    HalftoneContext* handle = nullptr;
    EXPECT_EQ(HalftoneNew(&c.params, &table.lut, 0, &tableClass, &handle), c.result);
    EXPECT_EQ(tableClass, table.lut.tableClass);
    EXPECT_EQ(test::memoryCounts().allocates, 1);
    EXPECT_EQ(test::liveBlocks(), base);
}

HalftoneParams with(HalftoneParams p, void (*change)(HalftoneParams&)) {
    change(p);
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HalftoneNewLate,
    ::testing::Values(
        LateCase{"SeparatedFormat6",
                 with(test::separatedParams(), [](HalftoneParams& p) { p.inputFormat = 6; }),
                 INKDOT_BAD_FIRST_RECORD},
        LateCase{"SingleInkFormat4",
                 with(test::singleInkParams(), [](HalftoneParams& p) { p.inputFormat = 4; }),
                 INKDOT_BAD_FIRST_RECORD},
        LateCase{"InkSet4Format0",
                 with(test::singleInkParams(), [](HalftoneParams& p) { p.inkSet = 4; }),
                 INKDOT_BAD_FIRST_RECORD},
        LateCase{"ModeTableRejects",
                 with(test::singleInkParams(), [](HalftoneParams& p) { p.pairFlag = 1; }),
                 INKDOT_UNSUPPORTED}),
    [](const auto& info) { return std::string(info.param.name); });

// The mode table: resolution, depth, method, ink set, pair flag and scale.
struct ModeCase {
    const char* name;
    int32_t x, y, outputBits, method, inkSet, pairFlag, inputScale;
    int32_t mode;  // or a result code from INKDOT_UNSUPPORTED on
};

class HalftoneMode : public HalftoneObjectTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(HalftoneMode, ChosenFromParams) {
    const ModeCase& c = GetParam();
    HalftoneParams params = c.inkSet == 0 ? test::singleInkParams() : test::separatedParams();
    params.inkSet = c.inkSet;
    params.xResolution = c.x;
    params.yResolution = c.y;
    params.outputBits = c.outputBits;
    params.method = c.method;
    params.pairFlag = c.pairFlag;
    params.inputScale = c.inputScale;
    test::HalftoneObject object(params, test::singleInkLut());
    if (c.mode >= 0x200) {
        EXPECT_EQ(object.created, c.mode);
        return;
    }
    ASSERT_EQ(object.created, INKDOT_OK);
    EXPECT_EQ(int32_t(object.context->mode), c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HalftoneMode,
    ::testing::Values(
        ModeCase{"ByteOutput", 720, 720, 8, 0, 0, 0, 0, 7},
        ModeCase{"ByteOutputBeforePairCheck", 720, 720, 8, 1, 3, 1, 0, 7},
        ModeCase{"HalfWidthPairedOneInk", 360, 720, 2, 1, 0, 1, -1, 3},
        ModeCase{"HalfWidthPairedSeparated", 360, 720, 2, 1, 3, 1, -1, 1},
        ModeCase{"HalfWidthPairedNeedsScaleMinus1", 360, 720, 2, 1, 0, 1, 0, INKDOT_UNSUPPORTED},
        ModeCase{"HalfWidthPairedDitherRejected", 360, 720, 2, 3, 0, 1, -1, INKDOT_UNSUPPORTED},
        ModeCase{"HalfWidthOneInk", 360, 720, 2, 1, 0, 0, 0, 6},
        ModeCase{"HalfWidthSeparated", 360, 720, 2, 1, 3, 0, 0, 4},
        ModeCase{"HalfWidthDither", 360, 720, 2, 3, 3, 0, 0, 0},
        ModeCase{"HalfWidthMethod0Rejected", 360, 720, 2, 0, 0, 0, 0, INKDOT_UNSUPPORTED},
        ModeCase{"HalfWidthOtherMethodRejected", 360, 720, 2, 5, 0, 0, 0, INKDOT_UNSUPPORTED},
        ModeCase{"HalfWidthPairFlag2Rejected", 360, 720, 2, 1, 0, 2, -1, INKDOT_UNSUPPORTED},
        ModeCase{"HalfWidthOneBitIsPlain", 360, 720, 1, 1, 0, 0, 0, 0},
        ModeCase{"PairFlagElsewhereRejected", 720, 720, 2, 1, 0, 1, -1, INKDOT_UNSUPPORTED},
        ModeCase{"PairFlag2ElsewhereIgnored", 720, 720, 1, 1, 0, 2, 0, 0},
        ModeCase{"SeparatedDitherOneBit", 720, 720, 1, 3, 3, 0, 0, 7},
        ModeCase{"SeparatedDitherTwoBit", 720, 720, 2, 3, 3, 0, 0, 0},
        ModeCase{"SeparatedDiffusion1440", 1440, 720, 2, 1, 3, 0, 0, 0},
        ModeCase{"OneInkDither", 720, 720, 1, 3, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HalftoneObjectTest, CopiesTheRecordsAndStartsEmpty) {
    HalftoneParams params = test::separatedParams();
    params.xResolution = 720;
    params.yResolution = 360;
    test::LutWithGrid table = test::separationLut();
    int32_t tableClass = -7;
    HalftoneContext* context = nullptr;
    ASSERT_EQ(HalftoneNew(&params, &table.lut, 0, &tableClass, &context), INKDOT_OK);
    EXPECT_EQ(tableClass, 4);
    EXPECT_EQ(std::memcmp(&context->params, &params, sizeof params), 0);
    EXPECT_EQ(std::memcmp(&context->lut, &table.lut, sizeof(CmLut)), 0);
    EXPECT_EQ(context->phase, 0);
    EXPECT_EQ(context->mode, Mode::plain);
    EXPECT_EQ(context->is720x360, 1);
    for (const MemBlock& block : context->blocks) {
        EXPECT_EQ(block.handle, nullptr);
        EXPECT_EQ(block.address, nullptr);
        EXPECT_EQ(block.size, 0);
    }
    // Deleting an object whose sequence never started frees its own block only.
    test::resetMemory();
    EXPECT_EQ(HalftoneDelete(context), INKDOT_OK);
    EXPECT_EQ(test::memoryCounts().frees, 1);
}

TEST_F(HalftoneObjectTest, Only720x360IsFlagged) {
    for (auto [x, y, flag] : {std::tuple{720, 360, 1}, {1440, 720, 0}, {360, 720, 0}}) {
        HalftoneParams params = test::singleInkParams();
        params.xResolution = x;
        params.yResolution = y;
        test::HalftoneObject object(params, test::singleInkLut());
        ASSERT_EQ(object.created, INKDOT_OK);
        EXPECT_EQ(object.context->is720x360, flag) << x << " x " << y;
    }
}

TEST_F(HalftoneObjectTest, ObjectBlockFailures) {
    struct Fault {
        MemOp op;
        int32_t result;
    };
    for (Fault f :
         {Fault{MemOp::Allocate, INKDOT_ALLOC_FAILED}, Fault{MemOp::Lock, INKDOT_LOCK_FAILED}}) {
        test::resetMemory();
        test::failNth(f.op, 1);
        HalftoneParams params = test::singleInkParams();
        test::LutWithGrid table = test::singleInkLut();
        int32_t tableClass = -7;
        HalftoneContext* handle = nullptr;
        EXPECT_EQ(HalftoneNew(&params, &table.lut, 0, &tableClass, &handle), f.result);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(tableClass, 3);  // written before the block is taken
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

TEST_F(HalftoneObjectTest, FailedDeleteKeepsTheObjectForAnotherTry) {
    test::HalftoneObject object(test::singleInkParams(), test::singleInkLut());
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    ASSERT_GT(test::liveBlocks(), base + 1);

    // Unlocking stops at the failing block; the next try finishes the job.
    test::failNth(MemOp::Unlock, 2);
    EXPECT_EQ(HalftoneDelete(object.context), INKDOT_UNLOCK_FAILED);
    EXPECT_EQ(object.remove(), INKDOT_OK);

    // A failing unlock of the object's own block.
    test::HalftoneObject other(test::singleInkParams(), test::singleInkLut());
    test::failNth(MemOp::Unlock, 1);
    EXPECT_EQ(HalftoneDelete(other.context), INKDOT_UNLOCK_FAILED);
    test::failNth(MemOp::Free, 1);
    EXPECT_EQ(HalftoneDelete(other.context), INKDOT_FREE_FAILED);
    EXPECT_EQ(other.remove(), INKDOT_OK);
}

}  // namespace
}  // namespace inkdot
