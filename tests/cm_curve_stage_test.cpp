// The curve stage on a hand-built object: the selector checks, the four
// resource steps with the map, the measured values, the second index and
// the curve table, the curve numbers, malformed resources, every allocation
// failure, and the release of a stage the caller abandoned.
#include <gtest/gtest.h>

#include <string>

#include "cm/cm_context.h"
#include "cm/curve_stage.h"
#include "cm/curves.h"
#include "inkdot/inkdot.h"
#include "support/cm_fixtures.h"
#include "support/curve_fixtures.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::MemOp;

constexpr uint8_t kRecord = 7;
constexpr int32_t kBase = 3000;
constexpr int32_t kCurveTable = 3950;

// The second index: the object matches both lines but for keyC; the stage
// matches with keyC 0 ("Off"), so it chooses 3950 although the object's
// keyC is 4 ("Max").
std::string secondIndex() {
    test::IndexText index;
    index.line({kCurveTable, 1, "Matte", "Natural", 5, 6, "Off", 7, 8})
        .line({3960, 1, "Matte", "Natural", 5, 6, "Max", 7, 8})
        .line({3970, 1, "Matte", "Natural", 5, 6, "Off", 7, 9});
    return index.str();
}

// A hand-built object after phase 2: a grid of 2 x 2 x 2 nodes of
// `targets.size()` channels, and a tag list with a selector for them.
struct StageObject {
    CmContext cm{};
    test::LutWithGrid g;
    test::TagList tags;
    Bytes selector;
    std::string index = secondIndex();
    int32_t next = 12345;

    explicit StageObject(const std::vector<uint8_t>& targets)
        : g(test::evenList(2), test::evenList(2), test::evenList(2),
            static_cast<int>(targets.size()),
            [](const test::NodeIndex& n, int m) {
                return static_cast<uint8_t>(n.i0 * 40 + n.i1 * 20 + n.i2 * 10 + m);
            }),
          selector(test::selectorItem(kRecord, targets)) {
        cm.lut = &g.lut;
        cm.params.tags = tags.list();
        tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
        cm.resourceBase = kBase;
        cm.keyC = 4;
        cm.select.keyA = 1;
        cm.params.keyB = 2;
        cm.select.numberA = 5;
        cm.select.numberB = 6;
        cm.params.numberC = 7;
        cm.select.numberD = 8;
    }
    StageObject(const StageObject&) = delete;

    int32_t start() { return startCurveSteps(cm, &next); }
    int32_t step(const Bytes& resource) {
        return curveStageStep(cm, resource.data(), resource.size(), &next);
    }
    int32_t stepIndex() {
        return curveStageStep(cm, reinterpret_cast<const uint8_t*>(index.c_str()), index.size() + 1,
                              &next);
    }

    // Runs the whole stage, checking each answer; the result of the last step.
    int32_t run(const Bytes& map, const Bytes& measured, const Bytes& curves) {
        if (int32_t r = start(); r != INKDOT_OK || next != 980) return r == 0 ? -1 : r;
        if (int32_t r = step(map); r != INKDOT_OK || next != 990) return r == 0 ? -2 : r;
        if (int32_t r = step(measured); r != INKDOT_OK || next != kBase + 900)
            return r == 0 ? -3 : r;
        if (int32_t r = stepIndex(); r != INKDOT_OK || next != kCurveTable) return r == 0 ? -4 : r;
        int32_t r = step(curves);
        if (r == INKDOT_OK && next != INKDOT_NO_RESOURCE) return -5;
        return r;
    }

    // Channel m of every node.
    std::vector<uint8_t> channel(int m) const {
        std::vector<uint8_t> out;
        for (size_t i = static_cast<size_t>(m); i < g.grid.size(); i += g.lut.channels)
            out.push_back(g.grid[i]);
        return out;
    }
};

using CurveStageTest = test::BlockCountedTest;

std::vector<uint8_t> all(uint8_t value) {
    return std::vector<uint8_t>(8, value);
}

const Bytes kIdentityMap3 = test::mapResource({{kRecord, {0, 1, 2}}});

// Selectors that are not valid end the sequence at phase 2 with 0 and -1,
// and leave no stage behind.
TEST_F(CurveStageTest, InvalidSelectorEndsTheSequence) {
    auto bad = [](auto edit) {
        Bytes s = test::selectorItem(kRecord, {50, 40, 60});
        edit(s);
        return s;
    };
    struct Case {
        const char* name;
        Bytes item;
        int32_t next;
    };
    const Case cases[] = {
        {"valid", bad([](Bytes&) {}), 980},
        {"targets at the limits", test::selectorItem(kRecord, {30, 70, 30}), 980},
        {"target 29", bad([](Bytes& s) { s[5] = 29; }), -1},
        {"target 71", bad([](Bytes& s) { s[6] = 71; }), -1},
        {"terminator swapped", bad([](Bytes& s) { std::swap(s[7], s[8]); }), -1},
        {"no 0xFF", bad([](Bytes& s) { s[8] = 0; }), -1},
        {"not CW:", bad([](Bytes& s) { s[1] = 'X'; }), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StageObject o({50, 40, 60});
        o.selector = c.item;
        o.tags = test::TagList();
        o.tags.add(INKDOT_TAG_CURVE_SELECTOR, o.selector.data());
        EXPECT_EQ(o.start(), INKDOT_OK);
        EXPECT_EQ(o.next, c.next);
        EXPECT_EQ(o.cm.curveStage != nullptr, c.next == 980);
        EXPECT_EQ(releaseCurveStage(o.cm), INKDOT_OK);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

TEST_F(CurveStageTest, NoSelectorItemEndsTheSequence) {
    StageObject o({50, 40, 60});
    o.tags = test::TagList();  // a directory with no pairs
    EXPECT_EQ(o.start(), INKDOT_OK);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    o.tags.add(INKDOT_TAG_GAMMA_REF, o.selector.data());
    EXPECT_EQ(o.start(), INKDOT_OK);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    o.cm.params.tags = nullptr;
    EXPECT_EQ(o.start(), INKDOT_OK);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    EXPECT_EQ(o.cm.curveStage, nullptr);
}

// A full run: the records whose selector byte matches set the map (the later
// one wins), and each entry's curve lands in the slot the map names.
TEST_F(CurveStageTest, FullRunBendsTheGridThroughTheMappedCurves) {
    StageObject o({50, 40, 60});
    Bytes map = test::mapResource({{3, {2, 2, 2}}, {kRecord, {2, 0, 1}}, {kRecord, {1, 2, 0}}});
    // Differences 0, 10, -10: curves 10, 15, 5 for entries 0, 1, 2.
    EXPECT_EQ(o.run(map, {50, 30, 70}, test::stageCurveTable(21)), INKDOT_OK);
    EXPECT_EQ(o.channel(0), all(test::stageCurveValue(5)));   // entry 2
    EXPECT_EQ(o.channel(1), all(test::stageCurveValue(10)));  // entry 0
    EXPECT_EQ(o.channel(2), all(test::stageCurveValue(15)));  // entry 1
    EXPECT_EQ(o.cm.curveStage, nullptr);
    EXPECT_EQ(o.cm.keyC, 0);
    EXPECT_EQ(o.cm.chosenResource, kCurveTable);

    // The sequence is over: a further call cannot go on.
    Bytes more = test::stageCurveTable(1);
    EXPECT_EQ(o.step(more), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
}

TEST_F(CurveStageTest, SingleChannelTableIsNotTouched) {
    StageObject o({50, 40, 60});
    for (int x = 0; x < 256; ++x) o.g.lut.singleChannelTable[x] = static_cast<uint8_t>(255 - x);
    ASSERT_EQ(o.run(kIdentityMap3, {50, 40, 60}, test::stageCurveTable(21)), INKDOT_OK);
    EXPECT_EQ(o.channel(0), all(test::stageCurveValue(10)));
    for (int x = 0; x < 256; ++x) ASSERT_EQ(o.g.lut.singleChannelTable[x], 255 - x);
}

struct NumberCase {
    const char* name;
    std::vector<uint8_t> targets;
    Bytes measured;  // resource 990
    std::vector<int> curves;
};

class CurveNumbers : public CurveStageTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(CurveNumbers, ChooseTheCurve) {
    const NumberCase& c = GetParam();
    StageObject o(c.targets);
    Bytes identity;
    for (size_t i = 0; i < c.targets.size(); ++i) identity.push_back(static_cast<uint8_t>(i));
    ASSERT_EQ(
        o.run(test::mapResource({{kRecord, identity}}), c.measured, test::stageCurveTable(37)),
        INKDOT_OK);
    for (size_t i = 0; i < c.curves.size(); ++i)
        EXPECT_EQ(o.channel(static_cast<int>(i)), all(test::stageCurveValue(c.curves[i])))
            << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CurveNumbers,
    ::testing::Values(NumberCase{"EqualDefaultMode", {50}, {50}, {10}},
                      NumberCase{"EqualMode2", {50}, {2, 50}, {18}},
                      NumberCase{
                          "WithinToleranceTargetsBecomeMeasured", {50, 40}, {51, 38}, {10, 10}},
                      NumberCase{"OneEntryOutsideTolerance", {50, 40}, {53, 38}, {8, 11}},
                      NumberCase{"ClampedToTwenty", {50}, {30}, {20}},
                      NumberCase{"ClampedToZero", {30}, {70}, {0}},
                      NumberCase{"Mode200TakesMeasuredFromByteOne", {50}, {200, 50}, {10}},
                      NumberCase{"Mode2HasNoTolerance", {50, 51}, {2, 50, 50}, {18, 19}},
                      NumberCase{"Mode2ClampedTo36", {70}, {2, 30}, {36}},
                      NumberCase{"Mode2ClampedToZero", {30}, {2, 70}, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurveStageTest, CurveNumberFormula) {
    CurveChoice normal = curveChoiceFor(1);
    CurveChoice mode2 = curveChoiceFor(2);
    EXPECT_EQ(curveNumber(normal, 50, 50), 10);
    EXPECT_EQ(curveNumber(mode2, 50, 50), 18);
    EXPECT_EQ(curveNumber(normal, 55, 50), 12);  // 25 / 2
    EXPECT_EQ(curveNumber(normal, 50, 30), 20);
    EXPECT_EQ(curveNumber(normal, 30, 70), 0);
    EXPECT_EQ(curveChoiceFor(200).highestCurve, 20);
}

// A map that names one slot twice leaves another slot all zero, so its grid
// channel becomes 0 throughout.
TEST_F(CurveStageTest, SlotNamedTwiceLeavesAnotherChannelZero) {
    StageObject o({50, 40, 60});
    ASSERT_EQ(
        o.run(test::mapResource({{kRecord, {0, 0, 2}}}), {50, 30, 70}, test::stageCurveTable(21)),
        INKDOT_OK);
    EXPECT_EQ(o.channel(0), all(test::stageCurveValue(15)));  // entry 1 came last
    EXPECT_EQ(o.channel(1), all(0));
    EXPECT_EQ(o.channel(2), all(test::stageCurveValue(5)));
}

// Records longer than the entries (even beyond 20 bytes) set only the
// entries; shorter ones leave the rest as they were.
TEST_F(CurveStageTest, RecordLengthsDoNotReachPastTheEntries) {
    Bytes longRecord = {2, 1, 0};
    longRecord.resize(25, 1);
    struct Case {
        const char* name;
        Bytes map;
        std::vector<int> curveOfChannel;  // entry curves are 10, 15, 5
    };
    const Case cases[] = {
        {"25 map bytes", test::mapResource({{kRecord, longRecord}}), {5, 15, 10}},
        {"two map bytes", test::mapResource({{kRecord, {1, 0}}}), {15, 10, 5}},
        {"two bytes after a full record",
         test::mapResource({{kRecord, {2, 0, 1}}, {kRecord, {0, 2}}}),
         {10, 5, 15}},
        {"no records", {0xFF}, {10, 15, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StageObject o({50, 40, 60});
        ASSERT_EQ(o.run(c.map, {50, 30, 70}, test::stageCurveTable(21)), INKDOT_OK);
        for (int m = 0; m < 3; ++m)
            EXPECT_EQ(o.channel(m), all(test::stageCurveValue(c.curveOfChannel[m]))) << m;
    }
}

// Resources that end too early or name a slot outside the curve block stop
// the sequence (INKDOT_SEQUENCE_ENDED, next -1) and release the stage.
TEST_F(CurveStageTest, MalformedResourcesStopTheSequence) {
    const Bytes good980 = kIdentityMap3;
    const Bytes good990 = {50, 30, 70};
    const Bytes curves = test::stageCurveTable(21);
    struct Case {
        const char* name;
        Bytes map, measured, curves;
        int failingStep;  // 1: 980, 2: 990, 4: curve table
    };
    const Case cases[] = {
        {"980 without 0xFF", Bytes(good980.begin(), good980.end() - 1), good990, curves, 1},
        {"980 ends inside a record", {kRecord, 0, 1}, good990, curves, 1},
        {"980 empty", {}, good990, curves, 1},
        {"980 slot outside the block", test::mapResource({{kRecord, {0, 3, 1}}}), good990, curves,
         1},
        {"990 one value short", good980, {50, 30}, curves, 2},
        {"990 with mode, one value short", good980, {2, 50, 30}, curves, 2},
        {"990 empty", good980, {}, curves, 2},
        {"curve table lacks curve 15", good980, good990, test::stageCurveTable(15), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StageObject o({50, 40, 60});
        const Bytes grid = o.g.grid;
        ASSERT_EQ(o.start(), INKDOT_OK);
        int32_t r = o.step(c.map);
        if (c.failingStep > 1) {
            ASSERT_EQ(r, INKDOT_OK);
            r = o.step(c.measured);
        }
        if (c.failingStep > 2) {
            ASSERT_EQ(r, INKDOT_OK);
            ASSERT_EQ(o.stepIndex(), INKDOT_OK);
            r = o.step(c.curves);
        }
        EXPECT_EQ(r, INKDOT_SEQUENCE_ENDED);
        EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
        EXPECT_EQ(o.cm.curveStage, nullptr);
        EXPECT_EQ(o.g.grid, grid);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

TEST_F(CurveStageTest, SecondIndexWithoutMatchStopsTheSequence) {
    StageObject o({50, 40, 60});
    o.cm.select.numberD = 1;  // no line of the second index has it
    ASSERT_EQ(o.start(), INKDOT_OK);
    ASSERT_EQ(o.step(kIdentityMap3), INKDOT_OK);
    ASSERT_EQ(o.step({50, 40, 60}), INKDOT_OK);
    EXPECT_EQ(o.stepIndex(), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(o.next, 0);
    EXPECT_EQ(o.cm.curveStage, nullptr);
}

// The second index is matched with the records as the stage copied them.
TEST_F(CurveStageTest, SecondIndexUsesTheStagesRecords) {
    StageObject o({50, 40, 60});
    ASSERT_EQ(o.start(), INKDOT_OK);
    o.cm.select.numberD = 9;  // changed behind the stage's back
    ASSERT_EQ(o.step(kIdentityMap3), INKDOT_OK);
    ASSERT_EQ(o.step({50, 40, 60}), INKDOT_OK);
    EXPECT_EQ(o.stepIndex(), INKDOT_OK);
    EXPECT_EQ(o.next, kCurveTable);
    EXPECT_EQ(o.cm.select.numberD, 8);
    EXPECT_EQ(releaseCurveStage(o.cm), INKDOT_OK);
}

TEST_F(CurveStageTest, LargestResourceBaseDoesNotOverflow) {
    StageObject o({50});
    o.cm.resourceBase = 2147483000;
    ASSERT_EQ(o.start(), INKDOT_OK);
    ASSERT_EQ(o.step(test::mapResource({{kRecord, {0}}})), INKDOT_OK);
    EXPECT_EQ(o.step({50}), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    o.cm.resourceBase = 2147482000;
    ASSERT_EQ(o.start(), INKDOT_OK);
    ASSERT_EQ(o.step(test::mapResource({{kRecord, {0}}})), INKDOT_OK);
    EXPECT_EQ(o.step({50}), INKDOT_OK);
    EXPECT_EQ(o.next, 2147482900);
    EXPECT_EQ(releaseCurveStage(o.cm), INKDOT_OK);
}

// The stage keeps twenty entries; a grid with more channels is refused.
TEST_F(CurveStageTest, MoreThanTwentyChannelsAreRefused) {
    StageObject twenty(std::vector<uint8_t>(20, 50));
    EXPECT_EQ(twenty.start(), INKDOT_OK);
    EXPECT_EQ(twenty.next, 980);
    EXPECT_EQ(releaseCurveStage(twenty.cm), INKDOT_OK);

    StageObject o(std::vector<uint8_t>(21, 50));
    EXPECT_EQ(o.start(), INKDOT_UNSUPPORTED);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    EXPECT_EQ(o.cm.curveStage, nullptr);
}

TEST_F(CurveStageTest, StepWithoutAStage) {
    StageObject o({50});
    EXPECT_EQ(o.step({0xFF}), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
    EXPECT_EQ(releaseCurveStage(o.cm), INKDOT_OK);
}

// The stage block and the curve block at the start, the index scratch block
// at the second index: each failing gives its code and leaves nothing.
TEST_F(CurveStageTest, EveryAllocationFailureLeavesNothing) {
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
        StageObject o({50, 40, 60});
        test::resetMemory();
        test::failNth(f.op, f.n);
        EXPECT_EQ(o.start(), f.result);
        EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
        EXPECT_EQ(o.cm.curveStage, nullptr);
        EXPECT_EQ(test::liveBlocks(), base);
    }
    for (MemOp op : {MemOp::Allocate, MemOp::Lock}) {
        StageObject o({50, 40, 60});
        ASSERT_EQ(o.start(), INKDOT_OK);
        ASSERT_EQ(o.step(kIdentityMap3), INKDOT_OK);
        ASSERT_EQ(o.step({50, 40, 60}), INKDOT_OK);
        test::resetMemory();
        test::failNth(op, 1);
        EXPECT_EQ(o.stepIndex(), INKDOT_ALLOC_FAILED);
        EXPECT_EQ(o.next, INKDOT_NO_RESOURCE);
        EXPECT_EQ(o.cm.curveStage, nullptr);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

// CmDelete releases a stage that the caller abandoned part-way, also when an
// unlock or free fails once and the delete is repeated.
TEST_F(CurveStageTest, DeleteReleasesAnAbandonedStage) {
    struct Fault {
        MemOp op;
        int n;
        int32_t result;
    };
    for (Fault f :
         {Fault{MemOp::Unlock, 1, INKDOT_OK}, Fault{MemOp::Unlock, 1, INKDOT_UNLOCK_FAILED},
          Fault{MemOp::Unlock, 2, INKDOT_UNLOCK_FAILED},
          Fault{MemOp::Free, 1, INKDOT_FREE_FAILED}}) {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(f.op) << " #" << f.n);
        CmParams params{};
        CmSelect select{};
        select.keyA = 3;
        select.pixelLayout = 1;
        test::TagList tags;
        Bytes selector = test::selectorItem(kRecord, {50, 40, 60});
        tags.add(INKDOT_TAG_CURVE_SELECTOR, selector.data());
        params.tags = tags.list();
        int32_t next = 0;
        CmContext* cm = nullptr;
        ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
        cm->lut->channels = 3;
        ASSERT_EQ(startCurveSteps(*cm, &next), INKDOT_OK);
        ASSERT_EQ(next, 980);
        ASSERT_EQ(curveStageStep(*cm, kIdentityMap3.data(), kIdentityMap3.size(), &next),
                  INKDOT_OK);
        EXPECT_EQ(test::liveBlocks(), base + 4);
        if (f.result != INKDOT_OK) {
            test::failNth(f.op, f.n);
            EXPECT_EQ(CmDelete(cm), f.result);
            test::resetMemory();
        }
        EXPECT_EQ(CmDelete(cm), INKDOT_OK);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

}  // namespace
}  // namespace inkdot
