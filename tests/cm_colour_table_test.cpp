// Decoding the colour table into the CmLut: fields, lists, grid, grey nodes,
// what is copied for later, what is rejected; and the class correction.
#include <gtest/gtest.h>

#include <cstring>

#include "cm/cm_context.h"
#include "cm/colour_table.h"
#include "cm/gain.h"
#include "support/cm_fixtures.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using test::ColourTableBuilder;
using test::NodeIndex;

uint8_t hashNode(const NodeIndex& n, int m) {
    return static_cast<uint8_t>((n.i0 * 73 + n.i1 * 151 + n.i2 * 29 + n.i3 * 211 + m * 97) % 256);
}

class ColourTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetMemory();
        base = test::liveBlocks();
        select.keyA = 3;
        select.pixelLayout = 1;  // with greyMode 0: grey nodes kept
        table.value = hashNode;
    }
    void TearDown() override {
        if (cm != nullptr) {
            EXPECT_EQ(CmDelete(cm), INKDOT_OK);
        }
        test::resetMemory();
        EXPECT_EQ(test::liveBlocks(), base);
    }

    int32_t decode(size_t length = SIZE_MAX) {
        if (cm != nullptr) CmDelete(cm);
        int32_t next = 0;
        EXPECT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
        cm->chosenResource = 2150;
        cm->chosenClass = chosenClass;
        bytes = table.bytes();
        return decodeColourTable(*cm, bytes.data(), length == SIZE_MAX ? bytes.size() : length);
    }
    const CmLut& lut() const { return *cm->lut; }
    uint8_t gridAt(const NodeIndex& n, int m) const {
        const int32_t* p = lut().points;
        size_t node = ((static_cast<size_t>(n.i0) * p[1] + n.i1) * p[2] + n.i2) * p[3] + n.i3;
        return lut().grid[node * lut().channels + m];
    }

    CmParams params{};
    CmSelect select{};
    ColourTableBuilder table;
    int32_t chosenClass = 120;
    std::vector<uint8_t> bytes;
    CmContext* cm = nullptr;
    int64_t base = 0;
};

TEST_F(ColourTableTest, DecodesEveryField) {
    table.kind = 2;
    table.points = 5;
    table.list = {0, 10, 100, 200, 255};
    table.percentAt0 = 90;
    table.percentAt255 = -60;
    table.words52[0] = -2, table.words52[1] = 300, table.words52[2] = 7;
    table.words64[0] = -1, table.words64[1] = 2, table.words64[2] = -32768,
    table.words64[3] = 32767;
    table.tweakU[0] = 10, table.tweakU[1] = 20, table.tweakU[2] = 250;
    table.tweakV[0] = -1, table.tweakV[1] = 2, table.tweakV[2] = -128;
    table.tweakS[0] = -5, table.tweakS[1] = 6, table.tweakS[2] = -7, table.tweakS[3] = 8;
    table.extra = {1, 2, 3, 4, 5};
    ASSERT_EQ(decode(), INKDOT_OK);

    EXPECT_EQ(lut().tableKind, 1);  // kind 2 is stored as 1
    EXPECT_EQ(lut().channels, 4);
    EXPECT_EQ(lut().keepGrey, 1);
    EXPECT_EQ(lut().percentAt0, 90);
    EXPECT_EQ(lut().percentAt255, -60);
    EXPECT_EQ(lut().tableWords52[0], -2);
    EXPECT_EQ(lut().tableWords52[1], 300);
    EXPECT_EQ(lut().tableWords52[2], 7);
    EXPECT_EQ(lut().tableWords64[0], -1);
    EXPECT_EQ(lut().tableWords64[2], -32768);
    EXPECT_EQ(lut().tableWords64[3], 32767);
    for (int a = 0; a < 3; ++a) EXPECT_EQ(lut().points[a], 5);
    EXPECT_EQ(lut().points[3], 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lut().list0[i], table.list[i]);
        EXPECT_EQ(lut().list1[i], table.list[i]);
        EXPECT_EQ(lut().list2[i], table.list[i]);
    }
    EXPECT_EQ(lut().resource, 2150);
    EXPECT_EQ(lut().tableClass, 120);
    EXPECT_EQ(cm->tableType, 0);
    const int16_t adjust[10] = {10, 20, 250, -1, 2, -128, -5, 6, -7, 8};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(cm->tableAdjust[i], adjust[i]) << i;

    ASSERT_NE(lut().extraBlock, nullptr);
    EXPECT_NE(lut().extraHandle, nullptr);
    EXPECT_EQ(std::memcmp(lut().extraBlock, table.extra.data(), 5), 0);
    ASSERT_NE(lut().grid, nullptr);
    EXPECT_NE(lut().gridHandle, nullptr);
    EXPECT_EQ(std::memcmp(lut().grid, bytes.data() + table.gridOffset(), 5 * 5 * 5 * 4), 0);
    ASSERT_NE(cm->nodeCurves, nullptr);
    for (int i = 0; i < 5 * 4; ++i) EXPECT_EQ(cm->nodeCurves[i], 0);  // colorMode is not 2
    EXPECT_EQ(test::liveBlocks(), base + 5);  // object, record, extra, grid, node curves
}

TEST_F(ColourTableTest, WithoutExtraBlock) {
    ASSERT_EQ(decode(), INKDOT_OK);
    EXPECT_EQ(lut().extraBlock, nullptr);
    EXPECT_EQ(lut().extraHandle, nullptr);
    EXPECT_EQ(test::liveBlocks(), base + 4);
}

TEST_F(ColourTableTest, FourDimensionalLayout) {
    table = ColourTableBuilder::cmykToSixInks(5);
    table.value = hashNode;
    table.list = {0, 60, 120, 180, 255};
    // The fourth list replaces the third: make them differ.
    std::vector<uint8_t> b = table.bytes();
    for (int i = 1; i < 4; ++i) b[77 + 2 * 5 + i] = static_cast<uint8_t>(i);
    int32_t next = 0;
    ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
    ASSERT_EQ(decodeColourTable(*cm, b.data(), b.size()), INKDOT_OK);
    EXPECT_EQ(cm->tableType, 128);
    EXPECT_EQ(lut().channels, 6);
    EXPECT_EQ(lut().points[3], 5);
    EXPECT_EQ(lut().list2[2], 120);
    EXPECT_EQ(table.gridOffset(), 76 + 3 * 5 + 5 + 1u);
    for (int i0 : {0, 2, 4})
        for (int i3 : {0, 1, 4})
            for (int m = 0; m < 6; ++m)
                EXPECT_EQ(gridAt({i0, 1, 3, i3}, m), hashNode({i0, 1, 3, i3}, m));
}

// The grey-node step: whether it runs, and what the diagonal nodes become.
TEST_F(ColourTableTest, GreyNodes) {
    struct Case {
        const char* name;
        uint8_t kind;
        int32_t keyA, pixelLayout, greyMode, matchMode, greyCurve;
        enum { Kept, GreyLast, GreyAll, GreyCurve } expect;
    };
    for (const Case& c : {
             Case{"kept: layout set", 1, 3, 1, 0, 0, 0, Case::Kept},
             Case{"kept: matchMode 1", 1, 3, 0, 0, 1, 0, Case::Kept},
             Case{"kind 0 untouched", 0, 3, 0, 0, 0, 0, Case::Kept},
             Case{"kind 4 untouched", 4, 3, 0, 0, 0, 0, Case::Kept},
             Case{"kind 1, no layout", 1, 3, 0, 0, 0, 0, Case::GreyLast},
             Case{"kind 2 as kind 1", 2, 3, 0, 0, 0, 0, Case::GreyLast},
             Case{"greyMode 50", 1, 3, 1, 50, 0, 0, Case::GreyLast},
             Case{"keyA 2: grey everywhere", 1, 2, 0, 0, 0, 0, Case::GreyAll},
             Case{"kind 3 without grey curve", 3, 3, 0, 0, 0, 0, Case::GreyLast},
             Case{"kind 1 ignores grey curve", 1, 3, 0, 0, 0, 1, Case::GreyLast},
             Case{"kind 3 grey curve", 3, 3, 0, 0, 0, 1, Case::GreyCurve},
         }) {
        SCOPED_TRACE(c.name);
        table.kind = c.kind;
        table.percentAt0 = 100;
        table.percentAt255 = 50;
        select.keyA = c.keyA;
        select.pixelLayout = c.pixelLayout;
        select.greyCurve = c.greyCurve;
        params.greyMode = c.greyMode;
        params.matchMode = c.matchMode;
        ASSERT_EQ(decode(), INKDOT_OK);
        std::vector<uint8_t> l = table.axisList();
        for (int i = 0; i < table.points; ++i) {
            uint8_t grey = static_cast<uint8_t>(255 - l[i]);
            for (int m = 0; m < 4; ++m) {
                uint8_t want = hashNode({i, i, i, 0}, m);
                if (c.expect == Case::GreyAll) want = grey;
                if (c.expect == Case::GreyLast || c.expect == Case::GreyCurve)
                    want = m == 3 ? grey : 0;
                if (c.expect == Case::GreyCurve && m == 3) want = gainCorrectionByte(grey, 100, 50);
                ASSERT_EQ(gridAt({i, i, i, 0}, m), want) << "node " << i << " channel " << m;
            }
            if (i + 1 < table.points) {
                ASSERT_EQ(gridAt({i, i + 1, i, 0}, 1), hashNode({i, i + 1, i, 0}, 1));
            }
        }
        if (c.expect == Case::GreyCurve) {
            EXPECT_EQ(gridAt({0, 0, 0, 0}, 3), 255);  // 512 in the formula, not 0
            EXPECT_EQ(gridAt({4, 4, 4, 0}, 3), 205);  // grey 128
        }
    }
}

// Four-dimensional tables: nodes (0, 0, 0, m) lose their colour and their
// black goes through the inverse of the gain correction.
TEST_F(ColourTableTest, FourDimensionalGreyNodes) {
    table = ColourTableBuilder::cmykToSixInks(5);
    table.value = hashNode;
    select.pixelLayout = 0;
    table.percentAt0 = 100;
    table.percentAt255 = 50;
    ASSERT_EQ(decode(), INKDOT_OK);
    uint8_t inverse[256];
    inverseGainTable(100, 50, inverse);
    for (int m = 0; m < 5; ++m) {
        for (int k = 0; k < 5; ++k) EXPECT_EQ(gridAt({0, 0, 0, m}, k), 0);
        EXPECT_EQ(gridAt({0, 0, 0, m}, 5), inverse[hashNode({0, 0, 0, m}, 5)]);
        EXPECT_EQ(gridAt({0, 0, 1, m}, 2), hashNode({0, 0, 1, m}, 2));
    }
}

TEST(InverseGainTable, InvertsTheGainCorrection) {
    uint8_t inverse[256];
    inverseGainTable(100, 100, inverse);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(inverse[k], k) << k;

    for (auto [a, b] : {std::pair{100, 50}, std::pair{100, 125}, std::pair{80, 60}}) {
        inverseGainTable(a, b, inverse);
        EXPECT_EQ(inverse[0], 0);
        for (int k = 1; k < 256; ++k) ASSERT_GE(inverse[k], inverse[k - 1]) << a << ' ' << b;
        for (int v = 0; v < 256; ++v) {
            int32_t g = gainCorrection(v, a, b);
            if (g <= 0 || g > 255) continue;
            // Within the truncations of both directions.
            EXPECT_NEAR(inverse[g], v, 2) << a << ' ' << b << " v " << v;
        }
    }
    // Where the correction passes 255 before v does, the top of the inverse
    // is where it passes.
    inverseGainTable(100, 50, inverse);
    EXPECT_EQ(gainCorrection(149, 100, 50), 255);
    EXPECT_EQ(inverse[255], 149);
}

TEST_F(ColourTableTest, NodeValuesAndGreyShare) {
    struct Case {
        uint8_t type;
        int32_t colorMode, pixelLayout, matchMode;
        bool nodeValues, greyShare;
    };
    for (const Case& c : {
             Case{50, 2, 1, 0, true, false},
             Case{51, 2, 1, 0, true, true},
             Case{51, 2, 0, 0, false, true},   // grey nodes not kept
             Case{51, 2, 0, 1, false, true},   // kept through matchMode 1, but not 0
             Case{51, 0, 1, 0, false, false},  // no re-mapping
             Case{0, 2, 1, 0, false, false},
         }) {
        SCOPED_TRACE(testing::Message() << int(c.type) << " mode " << c.colorMode << " layout "
                                        << c.pixelLayout << " match " << c.matchMode);
        table.type = c.type;
        table.greyShare.assign(256, 0);
        for (int v = 0; v < 256; ++v) table.greyShare[v] = static_cast<uint8_t>(v ^ 0x5A);
        params.colorMode = c.colorMode;
        params.matchMode = c.matchMode;
        select.pixelLayout = c.pixelLayout;
        ASSERT_EQ(decode(), INKDOT_OK);
        EXPECT_EQ(cm->nodeCurves[4 * 3 + 2], c.nodeValues ? 3 * 7 + 2 : 0);
        EXPECT_EQ(cm->greyShare[200], c.greyShare ? (200 ^ 0x5A) : 0);
    }
}

// Tables the library cannot use safely are turned away before anything is
// allocated or divided.
TEST_F(ColourTableTest, RejectsUnusableTables) {
    struct Case {
        const char* name;
        void (*breakTable)(ColourTableBuilder&, std::vector<uint8_t>&);
    };
    for (const Case& c : {
             Case{"no channels", [](ColourTableBuilder&, std::vector<uint8_t>& b) { b[75] = 0; }},
             Case{"21 channels",
                  [](ColourTableBuilder&, std::vector<uint8_t>& b) { b[75] = 21; }},
             Case{"37 points", [](ColourTableBuilder& t, std::vector<uint8_t>& b) {
                      t.points = 37; b = t.bytes(); }},
             Case{"one point", [](ColourTableBuilder&, std::vector<uint8_t>& b) {
                      b[72] = b[73] = b[74] = 1; }},
             Case{"axes differ", [](ColourTableBuilder&, std::vector<uint8_t>& b) { b[73] = 8; }},
             Case{"list misses 0", [](ColourTableBuilder&, std::vector<uint8_t>& b) { b[76] = 1; }},
             Case{"list misses 255",
                  [](ColourTableBuilder&, std::vector<uint8_t>& b) { b[76 + 9 + 8] = 254; }},
             Case{"zero-width cell", [](ColourTableBuilder&, std::vector<uint8_t>& b) {
                      b[76 + 18 + 4] = b[76 + 18 + 3]; }},
             Case{"list falls", [](ColourTableBuilder&, std::vector<uint8_t>& b) {
                      b[76 + 2] = 10; }},
             Case{"cut short", [](ColourTableBuilder&, std::vector<uint8_t>& b) { b.pop_back(); }},
             Case{"header cut short",
                  [](ColourTableBuilder&, std::vector<uint8_t>& b) { b.resize(70); }},
             Case{"extra block outside", [](ColourTableBuilder&, std::vector<uint8_t>& b) {
                      b[19] = 0x10; b[20] = 0x10; }},
             Case{"4-D axis 3 differs", [](ColourTableBuilder& t, std::vector<uint8_t>& b) {
                      t = ColourTableBuilder::cmykToSixInks(5); b = t.bytes(); b[75] = 4; }},
             Case{"4-D no channels", [](ColourTableBuilder& t, std::vector<uint8_t>& b) {
                      t = ColourTableBuilder::cmykToSixInks(5); b = t.bytes(); b[76] = 0; }},
         }) {
        SCOPED_TRACE(c.name);
        ColourTableBuilder t;
        t.value = hashNode;
        std::vector<uint8_t> b = t.bytes();
        c.breakTable(t, b);
        if (cm == nullptr) {
            int32_t next = 0;
            ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
        }
        int64_t live = test::liveBlocks();
        EXPECT_EQ(decodeColourTable(*cm, b.data(), b.size()), INKDOT_SEQUENCE_ENDED);
        EXPECT_EQ(test::liveBlocks(), live);
        EXPECT_EQ(cm->lut->grid, nullptr);
    }
}

// Percentages whose gain divisor is 0 somewhere are rejected only where a
// gain correction runs.
TEST_F(ColourTableTest, ZeroGainDivisor) {
    struct Case {
        const char* name;
        bool fourD;
        uint8_t kind;
        int32_t pixelLayout, greyCurve, tableClass;
        int32_t result;
    };
    for (const Case& c : {
             Case{"no correction runs", false, 1, 0, 0, 120, INKDOT_OK},
             Case{"grey curve", false, 3, 0, 1, 120, INKDOT_SEQUENCE_ENDED},
             Case{"grey curve off", false, 3, 0, 0, 120, INKDOT_OK},
             Case{"class correction", false, 0, 1, 0, 350, INKDOT_SEQUENCE_ENDED},
             Case{"4-D grey nodes", true, 1, 0, 0, 120, INKDOT_SEQUENCE_ENDED},
             Case{"4-D grey nodes kept", true, 1, 1, 0, 120, INKDOT_OK},
         }) {
        SCOPED_TRACE(c.name);
        if (c.fourD) table = ColourTableBuilder::cmykToSixInks(5);
        table.kind = c.kind;
        table.percentAt0 = 100;
        table.percentAt255 = 0;
        select.pixelLayout = c.pixelLayout;
        select.greyCurve = c.greyCurve;
        chosenClass = c.tableClass;
        EXPECT_EQ(decode(), c.result);
    }
}

TEST_F(ColourTableTest, ClassCorrection) {
    struct Case {
        int32_t tableClass, level, keyA;
        bool runs;
    };
    for (const Case& c : {Case{300, 0, 3, true}, Case{399, 1, 3, true}, Case{350, -7, 3, true},
                          Case{299, 0, 3, false}, Case{400, 0, 3, false}, Case{-1, 0, 3, false},
                          Case{350, 2, 3, false}, Case{350, 0, 2, false}}) {
        CmContext m{};
        m.chosenClass = c.tableClass;
        m.select.level = c.level;
        m.select.keyA = c.keyA;
        EXPECT_EQ(classCorrectionRuns(m), c.runs)
            << c.tableClass << ' ' << c.level << ' ' << c.keyA;
    }

    table.percentAt0 = 100;
    table.percentAt255 = 50;
    table.value = [](const NodeIndex& n, int m) {
        return static_cast<uint8_t>(n.i0 == 0 && n.i1 == 0 ? (n.i2 == 0 ? 255 : 128) : m);
    };
    ASSERT_EQ(decode(), INKDOT_OK);
    applyClassCorrection(*cm);
    EXPECT_EQ(gridAt({0, 0, 0, 0}, 0), 255);  // 512 in the formula, stored as 255
    EXPECT_EQ(gridAt({0, 0, 1, 0}, 2), 205);
    EXPECT_EQ(gridAt({3, 2, 1, 0}, 3), gainCorrection(3, 100, 50));
}

// A four-dimensional grid has its first N0 x N1 x N2 x c bytes corrected only.
TEST_F(ColourTableTest, ClassCorrectionOfFourDimensions) {
    table = ColourTableBuilder::cmykToSixInks(3);
    table.value = [](const NodeIndex&, int) { return uint8_t{128}; };
    table.percentAt0 = 100;
    table.percentAt255 = 50;
    ASSERT_EQ(decode(), INKDOT_OK);
    applyClassCorrection(*cm);
    const size_t corrected = 3 * 3 * 3 * 6, all = corrected * 3;
    for (size_t i = 0; i < all; ++i) ASSERT_EQ(lut().grid[i], i < corrected ? 205 : 128) << i;
}

}  // namespace
}  // namespace inkdot
