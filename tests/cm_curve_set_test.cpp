// Curve sets: applying a ready set (channel order, gain domain, channel-count
// check), choosing a set from a table of them (keys, version, container
// checks, limits), and every allocation failure of building one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cm/cm_context.h"
#include "cm/curve_set.h"
#include "support/cm_fixtures.h"
#include "support/curve_fixtures.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::Curve;
using test::MemOp;

// A hand-built object around a small grid: 3 x 3 x 3 nodes of `channels`
// bytes with varied values, percentages 100/100, an identity single-channel
// table, and an empty tag list.
struct CurveObject {
    CmContext cm{};
    test::LutWithGrid g;
    test::TagList tags;

    explicit CurveObject(int channels)
        : g(test::evenList(3), test::evenList(3), test::evenList(3), channels,
            [](const test::NodeIndex& n, int m) {
                return static_cast<uint8_t>(((n.i0 * 9 + n.i1 * 3 + n.i2) * 29 + m * 41) & 0xFF);
            }) {
        cm.lut = &g.lut;
        cm.params.tags = tags.list();
        g.lut.percentAt0 = g.lut.percentAt255 = 100;
        for (int x = 0; x < 256; ++x) g.lut.singleChannelTable[x] = static_cast<uint8_t>(x);
    }
    CurveObject(const CurveObject&) = delete;

    Bytes grid() const { return g.grid; }
    Bytes singleChannel() const {
        return Bytes(g.lut.singleChannelTable, g.lut.singleChannelTable + 256);
    }
    int32_t run(bool* present = nullptr) {
        bool p = false;
        int32_t r = runCurveSets(cm, &p);
        if (present != nullptr) *present = p;
        return r;
    }
};

using CurveSetTest = test::BlockCountedTest;

// Curve k of these sets maps everything to 10 + k, so each channel shows
// which curve bent it.
std::vector<Curve> constantCurves() {
    std::vector<Curve> curves;
    for (int k = 0; k < 6; ++k) curves.push_back(test::constantCurve(static_cast<uint8_t>(10 + k)));
    return curves;
}

TEST_F(CurveSetTest, SetThatDoesNotFitTheGridChangesNothing) {
    struct Case {
        uint8_t type;
        int channels;
    };
    for (Case c : {Case{2, 6}, Case{3, 4}, Case{2, 3}, Case{3, 5}, Case{0, 4}, Case{1, 6}}) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.type} << ", " << c.channels << " ch");
        CurveObject o(c.channels);
        Bytes set = test::curveSet(c.type, constantCurves());
        o.tags.add(INKDOT_TAG_CURVE_SET, set.data());
        Bytes grid = o.grid(), single = o.singleChannel();
        bool present = false;
        EXPECT_EQ(o.run(&present), INKDOT_UNSUPPORTED);
        EXPECT_TRUE(present);
        EXPECT_EQ(o.grid(), grid);
        EXPECT_EQ(o.singleChannel(), single);
    }
}

// Channel l of the grid takes curve 1, 2, 3, 0 (four channels) or 1, 4, 2,
// 5, 3, 0 (six); the single-channel table always takes curve 0.
TEST_F(CurveSetTest, EachChannelTakesItsCurve) {
    struct Case {
        uint8_t type;
        std::vector<int> curveOfChannel;
    };
    for (const Case& c : {Case{2, {1, 2, 3, 0}}, Case{3, {1, 4, 2, 5, 3, 0}}}) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.type});
        const int channels = static_cast<int>(c.curveOfChannel.size());
        CurveObject o(channels);
        Bytes set = test::curveSet(c.type, constantCurves());
        o.tags.add(INKDOT_TAG_CURVE_SET, set.data());
        EXPECT_EQ(o.run(), INKDOT_OK);
        for (size_t i = 0; i < o.g.grid.size(); ++i)
            ASSERT_EQ(o.g.grid[i], 10 + c.curveOfChannel[i % channels]) << "byte " << i;
        for (int x = 0; x < 256; ++x) ASSERT_EQ(o.g.lut.singleChannelTable[x], 10) << x;
    }
}

// With even percentages the gain tables are the identity, so a four-channel
// set is a plain per-channel curve; a six-channel set is one whatever the
// percentages.
TEST_F(CurveSetTest, CurvesBendValuesThroughTheirEntries) {
    std::vector<Curve> curves(6);
    for (int k = 0; k < 6; ++k)
        for (int v = 0; v < 256; ++v) curves[k][v] = static_cast<uint8_t>((v * (k + 2) + 7) & 0xFF);
    struct Case {
        uint8_t type;
        std::vector<int> curveOfChannel;
        int32_t a, b;
    };
    for (const Case& c : {Case{2, {1, 2, 3, 0}, 100, 100}, Case{3, {1, 4, 2, 5, 3, 0}, 100, 40}}) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.type});
        const int channels = static_cast<int>(c.curveOfChannel.size());
        CurveObject o(channels);
        o.g.lut.percentAt0 = c.a;
        o.g.lut.percentAt255 = c.b;
        Bytes set = test::curveSet(c.type, curves);
        o.tags.add(INKDOT_TAG_CURVE_SET, set.data());
        Bytes before = o.grid();
        EXPECT_EQ(o.run(), INKDOT_OK);
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(o.g.grid[i], curves[c.curveOfChannel[i % channels]][before[i]]) << i;
    }
}

TEST_F(CurveSetTest, IdentityCurvesKeepWhatTheyShould) {
    const std::vector<Curve> identity(6, test::identityCurve());
    struct Case {
        const char* name;
        uint8_t type;
        int channels;
        int32_t a, b;
        bool singleChannelKept;
    };
    for (const Case& c : {Case{"four, even percentages", 2, 4, 100, 100, true},
                          Case{"six, even percentages", 3, 6, 100, 100, true},
                          Case{"six, uneven percentages", 3, 6, 100, 50, false}}) {
        SCOPED_TRACE(c.name);
        CurveObject o(c.channels);
        o.g.lut.percentAt0 = c.a;
        o.g.lut.percentAt255 = c.b;
        Bytes set = test::curveSet(c.type, identity);
        o.tags.add(INKDOT_TAG_CURVE_SET, set.data());
        Bytes grid = o.grid(), single = o.singleChannel();
        EXPECT_EQ(o.run(), INKDOT_OK);
        EXPECT_EQ(o.grid(), grid);
        EXPECT_EQ(o.singleChannel() == single, c.singleChannelKept);
    }
}

TEST_F(CurveSetTest, GainTablesAndTheirInverse) {
    GainTables even;
    buildGainTables(100, 100, even);
    for (int v = 0; v < 256; ++v) {
        ASSERT_EQ(even.gain[v], v);
        ASSERT_EQ(even.inverse[v], v);
    }

    GainTables t;
    buildGainTables(100, 50, t);
    EXPECT_EQ(t.gain[128], 205);
    EXPECT_EQ(t.gain[255], 255);  // 512 is stored as the largest byte value
    EXPECT_EQ(t.inverse[205], 128);
    // 12 lies between gain[11] = 11 and gain[12] = 13: (1 x 11 + 1 x 12) / 2.
    EXPECT_EQ(t.gain[11], 11);
    EXPECT_EQ(t.gain[12], 13);
    EXPECT_EQ(t.inverse[12], 11);
    // The gain reaches 255 at 149, so that is where the inverse of 255 lands.
    EXPECT_EQ(t.gain[148], 253);
    EXPECT_EQ(t.gain[149], 255);
    EXPECT_EQ(t.inverse[255], 149);

    GainTables low;
    buildGainTables(100, 125, low);
    EXPECT_EQ(low.gain[255], 204);
    EXPECT_EQ(low.inverse[255], 255);  // no entry reaches 255
}

// Uneven percentages: a four-channel set works on gain-corrected values, so
// identity curves still send every value through gainInverse[gainTable[v]].
TEST_F(CurveSetTest, FourChannelSetWorksInTheGainDomain) {
    CurveObject o(4);
    o.g.lut.percentAt0 = 100;
    o.g.lut.percentAt255 = 50;
    const uint8_t values[4] = {12, 100, 148, 200};
    std::memcpy(o.g.grid.data(), values, 4);
    std::memcpy(o.g.lut.singleChannelTable, values, 4);
    Bytes set = test::curveSet(2, std::vector<Curve>(4, test::identityCurve()));
    o.tags.add(INKDOT_TAG_CURVE_SET, set.data());
    EXPECT_EQ(o.run(), INKDOT_OK);
    const uint8_t expected[4] = {12, 100, 148, 149};
    EXPECT_EQ(0, std::memcmp(o.g.grid.data(), expected, 4));
    EXPECT_EQ(0, std::memcmp(o.g.lut.singleChannelTable, expected, 4));
}

TEST_F(CurveSetTest, NoItemLeavesTheStepToTheCurveStage) {
    CurveObject o(4);
    bool present = true;
    EXPECT_EQ(o.run(&present), INKDOT_OK);
    EXPECT_FALSE(present);
    o.cm.params.tags = nullptr;
    EXPECT_EQ(o.run(&present), INKDOT_OK);
    EXPECT_FALSE(present);
}

TEST_F(CurveSetTest, ReadySetComesBeforeTheTable) {
    CurveObject o(4);
    Bytes set = test::curveSet(3, constantCurves());  // does not fit four channels
    test::CurveSetTable table;
    table.blocks = {test::constantBlock(4, 30)};
    Bytes tableBytes = table.bytes();
    o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, tableBytes.data()).add(INKDOT_TAG_CURVE_SET, set.data());
    Bytes grid = o.grid();
    EXPECT_EQ(o.run(), INKDOT_UNSUPPORTED);
    EXPECT_EQ(o.grid(), grid);
}

// ---- tables of curve sets ----

// The object's keys: numberA 1, numberB 2, keyB 1 ("Photo"), numberC 3,
// numberD 1. Block b maps channel l to 30 x (b + 1) + l, so the grid shows
// the block that was chosen.
struct TableCase {
    const char* name;
    std::string version;
    std::vector<test::CurveSetLine> lines;
    std::vector<std::string> names;
    int32_t numberD;
    int expectedBlock;
};

class CurveSetTableChoice : public CurveSetTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(CurveSetTableChoice, ChoosesTheBlock) {
    const TableCase& c = GetParam();
    for (int channels : {4, 6}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        test::CurveSetTable table;
        table.version = c.version;
        table.lines = c.lines;
        if (!c.names.empty()) table.names = c.names;
        for (int b = 0; b < 4; ++b)
            table.blocks.push_back(
                test::constantBlock(channels, static_cast<uint8_t>(30 * (b + 1))));
        Bytes item = table.bytes();

        CurveObject o(channels);
        o.cm.select.numberA = 1;
        o.cm.select.numberB = 2;
        o.cm.params.keyB = 1;
        o.cm.params.numberC = 3;
        o.cm.select.numberD = c.numberD;
        o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
        EXPECT_EQ(o.run(), INKDOT_OK);

        // Block curve k lands on channel l as the set's curve order says.
        const std::vector<int> blockCurve =
            channels == 4 ? std::vector<int>{0, 1, 2, 3} : std::vector<int>{0, 4, 1, 5, 2, 3};
        for (size_t i = 0; i < o.g.grid.size(); ++i)
            ASSERT_EQ(o.g.grid[i], 30 * (c.expectedBlock + 1) + blockCurve[i % channels]) << i;
        // Curve 0 of the set is curve 3 of the block.
        EXPECT_EQ(o.g.lut.singleChannelTable[77], 30 * (c.expectedBlock + 1) + 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CurveSetTableChoice,
    ::testing::Values(
        TableCase{"OneMatch", "200", {{2, "Photo", 1, 2, 3, 1}}, {}, 1, 2},
        TableCase{"LastMatchWins",
                  "200",
                  {{1, "Photo", 1, 2, 3, 1}, {3, "Photo", 1, 2, 3, 1}, {2, "Photo", 1, 2, 9, 1}},
                  {},
                  1,
                  3},
        TableCase{"NoMatchIsBlockZero",
                  "200",
                  {{1, "Photo", 9, 2, 3, 1}, {2, "Photo", 1, 9, 3, 1}, {3, "Plain", 1, 2, 3, 1}},
                  {},
                  1,
                  0},
        TableCase{"Version200ComparesNumberD", "200", {{2, "Photo", 1, 2, 3, 5}}, {}, 5, 2},
        TableCase{"Version200NumberDDiffers", "200", {{2, "Photo", 1, 2, 3, 5}}, {}, 1, 0},
        TableCase{"OtherVersionsHaveNumberDOne", "300", {{2, "Photo", 1, 2, 3, 7}}, {}, 1, 2},
        TableCase{"OtherVersionsMatchOnlyNumberDOne", "300", {{2, "Photo", 1, 2, 3, 7}}, {}, 7, 0},
        TableCase{"RepeatedNameTakesTheLaterPosition",
                  "200",
                  {{2, "Photo", 1, 2, 3, 1}},
                  {"Photo", "Plain", "Photo"},
                  1,
                  0},
        TableCase{"RepeatedNameAtTheKey",
                  "200",
                  {{2, "Photo", 1, 2, 3, 1}},
                  {"Photo", "Photo", "Plain"},
                  1,
                  2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurveSetTest, MissingNameMatchesKeyZero) {
    test::CurveSetTable table;
    table.lines = {{1, "Glossy", 0, 0, 0, 0}};
    table.blocks = {test::constantBlock(4, 30), test::constantBlock(4, 60)};
    Bytes item = table.bytes();
    CurveObject o(4);  // all keys 0
    o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
    EXPECT_EQ(o.run(), INKDOT_OK);
    EXPECT_EQ(o.g.grid[0], 60);
}

// Container: byte 96 and the value at 264 are checked before byte 256.
TEST_F(CurveSetTest, ContainerChecksInOrder) {
    test::CurveSetTable table;
    table.lines = {{1, "Plain", 0, 0, 0, 0}};
    table.blocks = {test::constantBlock(4, 30), test::constantBlock(4, 60)};
    struct Case {
        test::Container header;
        int32_t result;
    };
    for (const Case& c : {Case{{2, 2, 1, 300}, INKDOT_OK}, Case{{2, 3, 1, 420}, INKDOT_OK},
                          Case{{3, 2, 1, 300}, INKDOT_CONTAINER_FORMAT},
                          Case{{2, 4, 1, 300}, INKDOT_CONTAINER_FORMAT},
                          Case{{2, 0x102, 1, 300}, INKDOT_CONTAINER_FORMAT},
                          Case{{2, 2, 0, 300}, INKDOT_CONTAINER_VERSION},
                          Case{{2, 2, 2, 300}, INKDOT_CONTAINER_VERSION},
                          Case{{0, 2, 0, 300}, INKDOT_CONTAINER_FORMAT},
                          Case{{2, 7, 0, 300}, INKDOT_CONTAINER_FORMAT}}) {
        SCOPED_TRACE(testing::Message() << "96: " << int{c.header.byte96} << ", 264: "
                                        << c.header.value264 << ", 256: " << int{c.header.byte256});
        Bytes item = test::containerOf(table.bytes(), c.header);
        CurveObject o(4);
        o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
        Bytes grid = o.grid();
        EXPECT_EQ(o.run(), c.result);
        EXPECT_EQ(o.g.grid[0], c.result == INKDOT_OK ? 60 : grid[0]);
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

// A set built for a grid of neither four nor six channels is not applied,
// and the step still succeeds.
TEST_F(CurveSetTest, TableForOtherChannelCountsIsNotApplied) {
    for (int channels : {1, 2, 3, 5, 8}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        test::CurveSetTable table;
        table.lines = {{1, "Plain", 0, 0, 0, 0}};
        table.blocks = {test::constantBlock(channels, 30), test::constantBlock(channels, 60)};
        Bytes item = table.bytes();
        CurveObject o(channels);
        o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
        Bytes grid = o.grid(), single = o.singleChannel();
        EXPECT_EQ(o.run(), INKDOT_OK);
        EXPECT_EQ(o.grid(), grid);
        EXPECT_EQ(o.singleChannel(), single);
    }
}

// The scratch block holds 100 lines and 64 names; a table beyond that, one
// without the marker in front of its blocks, or one that chooses a block in
// front of them is refused rather than read or written out of bounds.
TEST_F(CurveSetTest, TablesBeyondTheLimitsAreRefused) {
    auto tableOf = [](int lines, int names) {
        test::CurveSetTable t;
        for (int i = 0; i < lines; ++i) t.lines.push_back({1, "N0", 5, 5, 5, 5});
        t.names.clear();
        for (int i = 0; i < names; ++i) t.names.push_back("N" + std::to_string(i));
        t.blocks = {test::constantBlock(4, 30), test::constantBlock(4, 60)};
        return t.bytes();
    };
    test::CurveSetTable negative;
    negative.lines = {{-1, "Plain", 0, 0, 0, 0}};
    negative.blocks = {test::constantBlock(4, 30)};
    test::CurveSetTable twoMarkers = negative;
    twoMarkers.lines = {{0, "Plain", 0, 0, 0, 0}};
    std::string text = twoMarkers.text();
    text.resize(text.rfind("//"));
    Bytes noThirdMarker(text.begin(), text.end());
    noThirdMarker.push_back(0);

    struct Case {
        const char* name;
        Bytes item;
        int32_t result;
    };
    const Case cases[] = {
        {"100 lines, 64 names", tableOf(100, 64), INKDOT_OK},
        {"101 lines", tableOf(101, 3), INKDOT_SEQUENCE_ENDED},
        {"65 names", tableOf(3, 65), INKDOT_SEQUENCE_ENDED},
        {"negative block", negative.bytes(), INKDOT_SEQUENCE_ENDED},
        {"no third marker", noThirdMarker, INKDOT_SEQUENCE_ENDED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurveObject o(4);
        o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, c.item.data());
        Bytes grid = o.grid();
        EXPECT_EQ(o.run(), c.result);
        if (c.result != INKDOT_OK) {
            EXPECT_EQ(o.grid(), grid);
        }
        EXPECT_EQ(test::liveBlocks(), base);
    }
}

// Building a set takes three blocks (set, work block, scratch); each one
// failing gives its code and leaves nothing allocated.
TEST_F(CurveSetTest, EveryAllocationFailureLeavesNothing) {
    test::CurveSetTable table;
    table.lines = {{1, "Plain", 0, 0, 0, 0}};
    table.blocks = {test::constantBlock(4, 30), test::constantBlock(4, 60)};
    Bytes item = table.bytes();
    for (MemOp op : {MemOp::Allocate, MemOp::Lock}) {
        for (int n = 1; n <= 3; ++n) {
            SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " #" << n);
            CurveObject o(4);
            o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
            Bytes grid = o.grid();
            test::resetMemory();
            test::failNth(op, n);
            EXPECT_EQ(o.run(), op == MemOp::Allocate ? INKDOT_ALLOC_FAILED : INKDOT_LOCK_FAILED);
            EXPECT_EQ(o.grid(), grid);
            EXPECT_EQ(test::liveBlocks(), base);
        }
    }
    test::resetMemory();
    CurveObject o(4);
    o.tags.add(INKDOT_TAG_CURVE_SET_TABLE, item.data());
    EXPECT_EQ(o.run(), INKDOT_OK);
    EXPECT_EQ(test::memoryCounts().allocates, 3);
    EXPECT_EQ(test::memoryCounts().frees, 3);
}

}  // namespace
}  // namespace inkdot
