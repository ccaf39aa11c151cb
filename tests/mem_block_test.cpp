// The block table: allocation, views, unlock all and release all under faults.
#include <gtest/gtest.h>

#include "frame/mem_block.h"
#include "inkdot/inkdot.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using test::MemOp;

class MemBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetMemory();
        clearTable(table);
        base = test::liveBlocks();
    }
    void TearDown() override {
        test::resetMemory();
        releaseAll(table);
        EXPECT_EQ(test::liveBlocks(), base);
    }
    BlockTable table{};
    int64_t base = 0;
};

TEST_F(MemBlockTest, AllocateLocksAndRecordsTheSize) {
    ASSERT_EQ(allocateBlock(table[3], 100, true), INKDOT_OK);
    EXPECT_EQ(table[3].size, 100);
    ASSERT_NE(table[3].address, nullptr);
    EXPECT_NE(table[3].address, table[3].handle);  // movable: handle is not the address
    const auto* bytes = static_cast<const uint8_t*>(table[3].address);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(MemBlockTest, FailedAllocateOrLockLeavesTheBlockEmpty) {
    test::failNth(MemOp::Allocate, 1);
    EXPECT_EQ(allocateBlock(table[0], 16, true), INKDOT_ALLOC_FAILED);
    EXPECT_EQ(table[0].handle, nullptr);

    test::resetMemory();
    test::failNth(MemOp::Lock, 1);
    EXPECT_EQ(allocateBlock(table[1], 16, true), INKDOT_LOCK_FAILED);
    EXPECT_EQ(table[1].handle, nullptr);
    EXPECT_EQ(test::liveBlocks(), base);
    // A following release all must not free the handle a second time.
    EXPECT_EQ(releaseAll(table), INKDOT_OK);
    EXPECT_EQ(test::memoryCounts().frees, 1);
}

TEST_F(MemBlockTest, ReleaseAllOfAnEmptyTableTouchesNothing) {
    EXPECT_EQ(releaseAll(table), INKDOT_OK);
    test::MemCounts counts = test::memoryCounts();
    EXPECT_EQ(counts.unlocks + counts.frees + counts.allocates + counts.locks, 0);
}

TEST_F(MemBlockTest, ViewsAreNeitherUnlockedNorFreed) {
    ASSERT_EQ(allocateBlock(table[6], 64, true), INKDOT_OK);
    auto* base6 = static_cast<uint8_t*>(table[6].address);
    setView(table[7], base6 + 32, nullptr, 32);
    EXPECT_EQ(releaseAll(table), INKDOT_OK);
    EXPECT_EQ(test::memoryCounts().unlocks, 1);
    EXPECT_EQ(test::memoryCounts().frees, 1);
    EXPECT_EQ(table[7].address, base6 + 32);  // the view is left as it was
    EXPECT_EQ(table[7].size, 32);
}

TEST_F(MemBlockTest, UnlockFailureStopsAtTheFailingRecord) {
    for (int i : {2, 5, 9}) ASSERT_EQ(allocateBlock(table[i], 8, false), INKDOT_OK);
    test::failNth(MemOp::Unlock, 2);
    EXPECT_EQ(releaseAll(table), INKDOT_UNLOCK_FAILED);
    EXPECT_EQ(table[2].address, nullptr);  // unlocked before the failure
    EXPECT_NE(table[5].address, nullptr);  // the failing one stays locked
    EXPECT_NE(table[9].address, nullptr);  // later ones are not visited
    EXPECT_EQ(test::memoryCounts().frees, 0);
}

TEST_F(MemBlockTest, FreeFailureStillFreesEveryLaterRecord) {
    for (int i : {0, 1, 2, 19}) ASSERT_EQ(allocateBlock(table[i], 8, true), INKDOT_OK);
    int64_t before = test::liveBlocks();
    platform::Handle failing = table[1].handle;
    test::failNth(MemOp::Free, 2);
    EXPECT_EQ(releaseAll(table), INKDOT_FREE_FAILED);
    EXPECT_EQ(test::liveBlocks(), before - 3);
    for (const MemBlock& block : table) EXPECT_EQ(block.handle, nullptr);
    // The block whose free failed is the test's to clean up.
    test::resetMemory();
    EXPECT_EQ(platform::release(failing), nullptr);
}

}  // namespace
}  // namespace inkdot
