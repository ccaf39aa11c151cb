// The colour-matching object: creation defaults, keyC, and every failure path.
#include <gtest/gtest.h>

#include <cstring>

#include "cm/cm_context.h"
#include "inkdot/inkdot.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using test::MemOp;

struct KeyCCase {
    const char* name;
    int32_t keyA, colorMode, matchMode, pixelLayout;
    int16_t keyC;
    int32_t keyAAfter, colorModeAfter;
};

class CmKeyC : public ::testing::TestWithParam<KeyCCase> {};

TEST_P(CmKeyC, DerivedOnce) {
    const KeyCCase& c = GetParam();
    CmParams params{};
    CmSelect select{};
    params.colorMode = c.colorMode;
    params.matchMode = c.matchMode;
    select.keyA = c.keyA;
    select.pixelLayout = c.pixelLayout;
    int32_t next = 77;
    CmContext* cm = nullptr;
    ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(cm->keyC, c.keyC);
    EXPECT_EQ(cm->select.keyA, c.keyAAfter);
    EXPECT_EQ(cm->params.colorMode, c.colorModeAfter);
    EXPECT_EQ(cm->phase, 1);
    EXPECT_EQ(CmDelete(cm), INKDOT_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CmKeyC,
    ::testing::Values(KeyCCase{"DefaultKeyA", 0, 0, 0, 1, 4, 3, 2},
                      KeyCCase{"DefaultKeyAMatch4", 0, 0, 4, 1, 0, 3, 0},
                      KeyCCase{"DefaultKeyANoLayout", 0, 0, 0, 0, 0, 3, 2},
                      KeyCCase{"DefaultKeyANoLayoutMatch1", 0, 0, 1, 0, 4, 3, 2},
                      KeyCCase{"Match1IgnoresModeAndLayout", 2, 7, 1, 0, 4, 2, 7},
                      KeyCCase{"Mode3Layout1", 1, 3, 0, 1, 3, 1, 3},
                      KeyCCase{"Mode2BecomesFour", 1, 2, 0, 7, 4, 1, 2},
                      KeyCCase{"Match4ClearsColorMode", 1, 3, 4, 1, 0, 1, 0},
                      KeyCCase{"NoLayoutClears", 1, 3, 0, 0, 0, 1, 3},
                      KeyCCase{"LowSixteenBits", 1, 0x10005, 0, 1, 5, 1, 0x10005}),
    [](const auto& info) { return std::string(info.param.name); });

class CmObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetMemory();
        base = test::liveBlocks();
        select.keyA = 3;
        select.pixelLayout = 1;
    }
    void TearDown() override {
        test::resetMemory();
        EXPECT_EQ(test::liveBlocks(), base);
    }
    CmParams params{};
    CmSelect select{};
    int64_t base = 0;
};

TEST_F(CmObjectTest, FreshLutIsZeroButForItsOwnHandle) {
    int32_t next = -5;
    CmContext* cm = nullptr;
    ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
    CmLut* lut = CmGetLut(cm);
    ASSERT_NE(lut, nullptr);
    EXPECT_NE(lut->ownHandle, nullptr);
    CmLut zero{};
    zero.ownHandle = lut->ownHandle;
    EXPECT_EQ(std::memcmp(lut, &zero, sizeof zero), 0);
    EXPECT_EQ(test::liveBlocks(), base + 2);

    test::resetMemory();
    EXPECT_EQ(CmDelete(cm), INKDOT_OK);
    EXPECT_EQ(test::memoryCounts().frees, 2);  // the record and the object
}

TEST_F(CmObjectTest, CopiesBothRecords) {
    params.brightness = -12;
    params.numberC = 9;
    select.numberD = 300;
    int32_t next = 1;
    CmContext* cm = nullptr;
    ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
    EXPECT_EQ(cm->params.brightness, -12);
    EXPECT_EQ(cm->params.numberC, 9);
    EXPECT_EQ(cm->select.numberD, 300);
    EXPECT_EQ(CmDelete(cm), INKDOT_OK);
}

// CmNew makes two allocations and two locks; each one failing gives its
// code, leaves nothing allocated and leaves the handle variable alone.
TEST_F(CmObjectTest, EveryCreationFailureLeavesNothing) {
    struct Fault {
        MemOp op;
        int n;
        int32_t result;
    };
    for (Fault f :
         {Fault{MemOp::Allocate, 1, INKDOT_ALLOC_FAILED}, Fault{MemOp::Lock, 1, INKDOT_LOCK_FAILED},
          Fault{MemOp::Allocate, 2, INKDOT_ALLOC_FAILED},
          Fault{MemOp::Lock, 2, INKDOT_LOCK_FAILED}}) {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(f.op) << " #" << f.n);
        test::resetMemory();
        test::failNth(f.op, f.n);
        int32_t next = 99;
        auto* sentinel = reinterpret_cast<CmContext*>(0x1234);
        CmContext* cm = sentinel;
        EXPECT_EQ(CmNew(&params, &select, 0, &next, &cm), f.result);
        EXPECT_EQ(next, 0);
        EXPECT_EQ(cm, sentinel);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

// Deletion stops at a failing unlock or free; repeating it once the fault
// is gone releases the rest and leaves nothing behind.
TEST_F(CmObjectTest, DeleteFailuresStopAndCanBeRepeated) {
    struct Fault {
        MemOp op;
        int n;
        int32_t result;
        int64_t liveAfter;
    };
    for (Fault f : {Fault{MemOp::Unlock, 1, INKDOT_UNLOCK_FAILED, 2},
                    Fault{MemOp::Free, 1, INKDOT_FREE_FAILED, 2},
                    Fault{MemOp::Unlock, 2, INKDOT_UNLOCK_FAILED, 1},
                    Fault{MemOp::Free, 2, INKDOT_FREE_FAILED, 1}}) {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(f.op) << " #" << f.n);
        test::resetMemory();
        int32_t next = 0;
        CmContext* cm = nullptr;
        ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
        test::failNth(f.op, f.n);
        EXPECT_EQ(CmDelete(cm), f.result);
        EXPECT_EQ(test::liveBlocks(), base + f.liveAfter);
        test::resetMemory();
        EXPECT_EQ(CmDelete(cm), INKDOT_OK);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

}  // namespace
}  // namespace inkdot
