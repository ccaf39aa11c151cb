// Whole colour-matching sequences through the exported functions, for each
// way phase 2 can end: a ready curve set (both types and a mismatch), a table
// of curve sets (plain and in its container), the curve stage over five
// resource calls, and a selector that ends the sequence at once; with every
// allocation failure along the way leaving nothing behind after CmDelete.
#include <gtest/gtest.h>

#include <string>

#include "cm/grid_block.h"
#include "inkdot/inkdot.h"
#include "support/cm_fixtures.h"
#include "support/curve_fixtures.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::ColourMatching;
using test::ColourTableBuilder;
using test::Curve;
using test::MemOp;

constexpr int32_t kTable = 2100;
constexpr int32_t kSecondIndex = 2900;
constexpr int32_t kCurveTable = 2950;
constexpr uint8_t kRecord = 7;

// Both indexes: the object (keyA "Plain", keyB "Vivid", keyC "High" from
// colorMode 3) chooses 2100 from the first; the second is matched with keyC
// "Off" and chooses 2950.
std::string firstIndex() {
    test::IndexText index;
    index.line({2000, 1, "Plain", "Vivid", 1, 2, "Off", 3, 4})
        .line({kTable, 1, "Plain", "Vivid", 1, 2, "High", 3, 4});
    return index.str();
}

std::string secondIndex() {
    test::IndexText index;
    index.line({kCurveTable, 1, "Plain", "Vivid", 1, 2, "Off", 3, 4})
        .line({2960, 1, "Plain", "Vivid", 1, 2, "High", 3, 4});
    return index.str();
}

CmParams paramsWith(const test::TagList* tags) {
    CmParams p{};
    p.colorMode = 3;
    p.keyB = 1;
    p.numberC = 3;
    p.tags = tags != nullptr ? tags->list() : nullptr;
    return p;
}

CmSelect objectSelect() {
    CmSelect s{};
    s.keyA = 3;
    s.pixelLayout = 1;
    s.numberA = 1;
    s.numberB = 2;
    s.numberD = 4;
    return s;
}

struct LutState {
    Bytes grid;
    Bytes single;
};

LutState stateOf(const CmLut& lut) {
    return {Bytes(lut.grid, lut.grid + gridBytes(lut)),
            Bytes(lut.singleChannelTable, lut.singleChannelTable + 256)};
}

const Bytes& table3d() {
    static const Bytes t = ColourTableBuilder::rgbToCmyk(5, 0).bytes();
    return t;
}
const Bytes& table4d() {
    static const Bytes t = ColourTableBuilder::cmykToSixInks(4).bytes();
    return t;
}

class CurveSequence : public test::BlockCountedTest {
protected:
    // The lookup table as phase 2 leaves it without any curve item.
    static LutState plain(const Bytes& table) {
        ColourMatching m(paramsWith(nullptr), objectSelect(), firstIndex(), table);
        EXPECT_EQ(m.tableResult, INKDOT_OK);
        EXPECT_EQ(m.tableAnswer, INKDOT_NO_RESOURCE);
        return stateOf(m.lut());
    }
};

std::vector<Curve> bendingCurves() {
    std::vector<Curve> curves(6);
    for (int k = 0; k < 6; ++k)
        for (int v = 0; v < 256; ++v) curves[k][v] = static_cast<uint8_t>((v * (k + 2) + 7) & 0xFF);
    return curves;
}

// Tag 528: type 2 on the four-channel table, type 3 on the six-channel one;
// the grid is bent channel by channel, the single-channel table by curve 0.
// A type that does not fit leaves both as they were, with INKDOT_UNSUPPORTED.
TEST_F(CurveSequence, ReadyCurveSet) {
    const std::vector<Curve> curves = bendingCurves();
    struct Case {
        const char* name;
        const Bytes& table;
        uint8_t type;
        std::vector<int> curveOfChannel;  // empty: the set does not fit
    };
    const Case cases[] = {
        {"type 2, four channels", table3d(), 2, {1, 2, 3, 0}},
        {"type 3, six channels", table4d(), 3, {1, 4, 2, 5, 3, 0}},
        {"type 2, six channels", table4d(), 2, {}},
        {"type 3, four channels", table3d(), 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LutState before = plain(c.table);
        Bytes set = test::curveSet(c.type, curves);
        test::TagList tags;
        tags.add(INKDOT_TAG_CURVE_SET, set.data());
        ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), c.table);
        EXPECT_EQ(m.tableAnswer, INKDOT_NO_RESOURCE);
        const LutState after = stateOf(m.lut());
        if (c.curveOfChannel.empty()) {
            EXPECT_EQ(m.tableResult, INKDOT_UNSUPPORTED);
            EXPECT_EQ(after.grid, before.grid);
            EXPECT_EQ(after.single, before.single);
            continue;
        }
        EXPECT_EQ(m.tableResult, INKDOT_OK);
        const size_t channels = c.curveOfChannel.size();
        for (size_t i = 0; i < before.grid.size(); ++i)
            ASSERT_EQ(after.grid[i], curves[c.curveOfChannel[i % channels]][before.grid[i]]) << i;
        // Both tables have percentages 100 and 100: the gain tables are the identity.
        for (int x = 0; x < 256; ++x) ASSERT_EQ(after.single[x], curves[0][before.single[x]]) << x;
    }
}

TEST_F(CurveSequence, IdentityCurvesChangeNothing) {
    const std::vector<Curve> identity(6, test::identityCurve());
    for (const Bytes* table : {&table3d(), &table4d()}) {
        const LutState before = plain(*table);
        Bytes set = test::curveSet(table == &table3d() ? 2 : 3, identity);
        test::TagList tags;
        tags.add(INKDOT_TAG_CURVE_SET, set.data());
        ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), *table);
        EXPECT_EQ(m.tableResult, INKDOT_OK);
        const LutState after = stateOf(m.lut());
        EXPECT_EQ(after.grid, before.grid);
        EXPECT_EQ(after.single, before.single);
    }
}

// Tag 544, plain and in its container: the object's line chooses block 2 of
// the table, whose curve k maps everything to 90 + k. A container that fails
// a check ends the sequence with its code and changes nothing.
TEST_F(CurveSequence, TableOfCurveSets) {
    test::CurveSetTable table;
    table.lines = {{2, "Vivid", 1, 2, 3, 4}, {1, "Vivid", 1, 2, 3, 5}, {3, "Pro", 1, 2, 3, 4}};
    table.names = {"Pro", "Vivid"};
    for (int b = 0; b < 4; ++b) table.blocks.push_back(test::constantBlock(4, 30 * (b + 1)));
    const Bytes plainItem = table.bytes();

    struct Case {
        const char* name;
        Bytes item;
        int32_t result;
    };
    const Case cases[] = {
        {"plain", plainItem, INKDOT_OK},
        {"container", test::containerOf(plainItem), INKDOT_OK},
        {"container, byte 96", test::containerOf(plainItem, {1, 2, 1, 300}),
         INKDOT_CONTAINER_FORMAT},
        {"container, value 264", test::containerOf(plainItem, {2, 1, 1, 300}),
         INKDOT_CONTAINER_FORMAT},
        {"container, byte 256", test::containerOf(plainItem, {2, 3, 0, 300}),
         INKDOT_CONTAINER_VERSION},
    };
    const LutState before = plain(table3d());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TagList tags;
        tags.add(INKDOT_TAG_CURVE_SET_TABLE, c.item.data());
        ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), table3d());
        EXPECT_EQ(m.tableResult, c.result);
        EXPECT_EQ(m.tableAnswer, INKDOT_NO_RESOURCE);
        const LutState after = stateOf(m.lut());
        if (c.result != INKDOT_OK) {
            EXPECT_EQ(after.grid, before.grid);
            continue;
        }
        for (size_t i = 0; i < after.grid.size(); ++i) ASSERT_EQ(after.grid[i], 90 + i % 4) << i;
        for (int x = 0; x < 256; ++x) ASSERT_EQ(after.single[x], 93) << x;  // block curve 3
    }
}

// The curve stage asks for 980, 990, the second index and the curve table;
// the grid then shows which curve each channel took, and the single-channel
// table is left alone.
TEST_F(CurveSequence, CurveStageOverFiveCalls) {
    const LutState before = plain(table3d());
    Bytes selector = test::selectorItem(kRecord, {50, 40, 60, 45});
    test::TagList tags;
    tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
    ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), table3d());
    ASSERT_EQ(m.tableResult, INKDOT_OK);
    ASSERT_EQ(m.tableAnswer, 980);

    int32_t next = 0;
    Bytes map = test::mapResource({{1, {0, 0, 0, 0}}, {kRecord, {3, 2, 1, 0}}});
    EXPECT_EQ(CmSetResource(m.cm, map.data(), &next), INKDOT_OK);
    EXPECT_EQ(next, 990);
    Bytes measured = {50, 30, 70, 45};  // curves 10, 15, 5, 10
    EXPECT_EQ(CmSetResource(m.cm, measured.data(), &next), INKDOT_OK);
    EXPECT_EQ(next, kSecondIndex);
    std::string index = secondIndex();
    EXPECT_EQ(CmSetResource(m.cm, index.c_str(), &next), INKDOT_OK);
    EXPECT_EQ(next, kCurveTable);
    Bytes curves = test::stageCurveTable(21);
    EXPECT_EQ(CmSetResource(m.cm, curves.data(), &next), INKDOT_OK);
    EXPECT_EQ(next, INKDOT_NO_RESOURCE);

    const LutState after = stateOf(m.lut());
    const int curveOfChannel[4] = {10, 5, 15, 10};  // entry 3, 2, 1, 0
    for (size_t i = 0; i < after.grid.size(); ++i)
        ASSERT_EQ(after.grid[i], test::stageCurveValue(curveOfChannel[i % 4])) << i;
    EXPECT_EQ(after.single, before.single);

    // The sequence is complete.
    EXPECT_EQ(CmSetResource(m.cm, curves.data(), &next), INKDOT_SEQUENCE_ENDED);
}

TEST_F(CurveSequence, IdentityStageCurvesChangeNothing) {
    const LutState before = plain(table3d());
    Bytes selector = test::selectorItem(kRecord, {50, 50, 50, 50});
    test::TagList tags;
    tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
    ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), table3d());
    ASSERT_EQ(m.tableAnswer, 980);
    Bytes curves;
    for (int h = 0; h < 21; ++h) {
        Curve c = test::identityCurve();
        curves.insert(curves.end(), c.begin(), c.end());
    }
    std::string index = secondIndex();
    const Bytes map = test::mapResource({});
    const Bytes measured = {50, 50, 50, 50};
    int32_t next = 0;
    EXPECT_EQ(CmSetResource(m.cm, map.data(), &next), INKDOT_OK);
    EXPECT_EQ(CmSetResource(m.cm, measured.data(), &next), INKDOT_OK);
    EXPECT_EQ(CmSetResource(m.cm, index.c_str(), &next), INKDOT_OK);
    EXPECT_EQ(CmSetResource(m.cm, curves.data(), &next), INKDOT_OK);
    EXPECT_EQ(next, INKDOT_NO_RESOURCE);
    const LutState after = stateOf(m.lut());
    EXPECT_EQ(after.grid, before.grid);
    EXPECT_EQ(after.single, before.single);
}

// A selector that is not valid ends the sequence at phase 2: 0 and -1.
TEST_F(CurveSequence, InvalidSelectorEndsAtPhaseTwo) {
    const LutState before = plain(table3d());
    for (const Bytes& selector : {test::selectorItem(kRecord, {50, 29, 60, 45}),
                                  test::selectorItem(kRecord, {50, 40, 60, 71})}) {
        test::TagList tags;
        tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
        ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), table3d());
        EXPECT_EQ(m.tableResult, INKDOT_OK);
        EXPECT_EQ(m.tableAnswer, INKDOT_NO_RESOURCE);
        EXPECT_EQ(stateOf(m.lut()).grid, before.grid);
        int32_t next = 0;
        EXPECT_EQ(CmSetResource(m.cm, selector.data(), &next), INKDOT_SEQUENCE_ENDED);
    }
}

TEST_F(CurveSequence, DeleteReleasesAnAbandonedStage) {
    Bytes selector = test::selectorItem(kRecord, {50, 40, 60, 45});
    test::TagList tags;
    tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
    const int64_t before = test::liveBlocks();
    {
        ColourMatching m(paramsWith(&tags), objectSelect(), firstIndex(), table3d());
        ASSERT_EQ(m.tableAnswer, 980);
        int32_t next = 0;
        Bytes map = test::mapResource({{kRecord, {0, 1, 2, 3}}});
        ASSERT_EQ(CmSetResource(m.cm, map.data(), &next), INKDOT_OK);
        EXPECT_GT(test::liveBlocks(), before);
    }
    EXPECT_EQ(test::liveBlocks(), before);
}

// Each allocation and lock of the sequence, from the index on, failing in
// turn: the failing call reports it, and CmDelete leaves nothing behind.
TEST_F(CurveSequence, EveryAllocationFailureLeavesNothingAfterDelete) {
    test::CurveSetTable table;
    table.lines = {{1, "Vivid", 1, 2, 3, 4}};
    table.names = {"Pro", "Vivid"};
    table.blocks = {test::constantBlock(4, 30), test::constantBlock(4, 60)};
    const Bytes tableItem = table.bytes();
    const Bytes selector = test::selectorItem(kRecord, {50, 40, 60, 45});
    const std::string index = firstIndex(), second = secondIndex();
    const Bytes map = test::mapResource({{kRecord, {3, 2, 1, 0}}});
    const Bytes measured = {50, 30, 70, 45};
    const Bytes curves = test::stageCurveTable(21);

    struct Path {
        const char* name;
        int32_t tag;
        const void* item;
        std::vector<const void*> resources;
    };
    const Path paths[] = {
        {"table of curve sets",
         INKDOT_TAG_CURVE_SET_TABLE,
         tableItem.data(),
         {index.c_str(), table3d().data()}},
        {"curve stage",
         INKDOT_TAG_CURVE_SELECTOR,
         selector.data(),
         {index.c_str(), table3d().data(), map.data(), measured.data(), second.c_str(),
          curves.data()}},
    };
    for (const Path& path : paths) {
        for (MemOp op : {MemOp::Allocate, MemOp::Lock}) {
            for (int n = 1;; ++n) {
                SCOPED_TRACE(testing::Message()
                             << path.name << ", op " << static_cast<int>(op) << " #" << n);
                ASSERT_LT(n, 100);
                test::TagList tags;
                tags.add(path.tag, path.item);
                CmParams params = paramsWith(&tags);
                CmSelect select = objectSelect();
                int32_t next = 0;
                CmContext* cm = nullptr;
                test::resetMemory();
                ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
                test::failNth(op, n);
                int32_t result = INKDOT_OK;
                for (const void* resource : path.resources) {
                    result = CmSetResource(cm, resource, &next);
                    if (result != INKDOT_OK) break;
                }
                const bool faulted = result != INKDOT_OK;
                if (faulted) {
                    EXPECT_TRUE(result == INKDOT_ALLOC_FAILED || result == INKDOT_LOCK_FAILED)
                        << result;
                    EXPECT_EQ(next, INKDOT_NO_RESOURCE);
                } else {
                    EXPECT_EQ(next, INKDOT_NO_RESOURCE);
                }
                test::resetMemory();
                EXPECT_EQ(CmDelete(cm), INKDOT_OK);
                EXPECT_EQ(test::liveBlocks(), base);
                if (!faulted) break;
            }
        }
    }
}

}  // namespace
}  // namespace inkdot
