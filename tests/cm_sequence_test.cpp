// Whole colour-matching sequences through the exported functions: the index,
// the colour table, and the lookup table the caller gets.
#include <gtest/gtest.h>

#include <cstring>

#include "cm/cm_context.h"
#include "cm/gain.h"
#include "frame/workers.h"
#include "support/cm_fixtures.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using test::ColourMatching;
using test::ColourTableBuilder;
using test::IndexLine;
using test::IndexText;
using test::NodeIndex;

constexpr int32_t kTable = 2150;

class CmSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetMemory();
        base = test::liveBlocks();
        select.keyA = 0;  // the default: keyA 3 with colorMode 2, so keyC 4
        select.pixelLayout = 1;
        select.numberA = 720;
        select.numberB = 1440;
        select.numberD = 1;
        params.keyB = 1;
        params.numberC = 7;
    }
    void TearDown() override {
        test::resetMemory();
        EXPECT_EQ(test::liveBlocks(), base);
    }

    std::string index(int32_t resource = kTable, int32_t tableClass = 120) const {
        return IndexText{}
            .line({resource, tableClass, "Plain", "Vivid", 720, 1440, "Max", 7, 1})
            .str();
    }

    CmParams params{};
    CmSelect select{};
    int64_t base = 0;
};

// The grid a table decodes to when every later step keeps it: the table's
// grid, with the diagonal taken from the node values for types 50 and 51.
std::vector<uint8_t> expectedGrid(const ColourTableBuilder& t) {
    std::vector<uint8_t> b = t.bytes();
    std::vector<uint8_t> grid(b.begin() + static_cast<ptrdiff_t>(t.gridOffset()),
                              b.begin() + static_cast<ptrdiff_t>(t.gridOffset()) +
                                  t.points * t.points * t.points * t.channels);
    if (t.type == 50 || t.type == 51)
        for (int i = 0; i < t.points; ++i)
            for (int m = 0; m < t.channels; ++m)
                grid[((i * t.points + i) * t.points + i) * t.channels + m] =
                    static_cast<uint8_t>(i * 7 + m);
    return grid;
}

TEST_F(CmSequenceTest, ThreeDimensionalTables) {
    for (int points : {9, 17}) {
        for (uint8_t type : {0, 50, 51}) {
            SCOPED_TRACE(testing::Message() << points << " points, type " << int(type));
            ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(points, type);
            t.kind = 1;
            t.greyShare.resize(256);
            for (int v = 0; v < 256; ++v) t.greyShare[v] = static_cast<uint8_t>(v);  // no change
            t.extra = {9, 8, 7};
            ColourMatching run(params, select, index(), t.bytes());
            ASSERT_EQ(run.indexResult, INKDOT_OK);
            EXPECT_EQ(run.indexAnswer, kTable);
            ASSERT_EQ(run.tableResult, INKDOT_OK);
            EXPECT_EQ(run.tableAnswer, INKDOT_NO_RESOURCE);

            const CmLut& lut = run.lut();
            EXPECT_EQ(lut.resource, kTable);
            EXPECT_EQ(lut.tableClass, 120);
            EXPECT_EQ(lut.channels, 4);
            EXPECT_EQ(lut.keepGrey, 1);
            EXPECT_EQ(lut.points[0], points);
            EXPECT_EQ(lut.points[3], 1);
            EXPECT_EQ(std::memcmp(lut.list2, t.axisList().data(), points), 0);
            ASSERT_NE(lut.extraBlock, nullptr);
            EXPECT_EQ(lut.extraBlock[2], 7);

            // Zero tweaks and no adjustments reproduce the grid exactly.
            std::vector<uint8_t> grid = expectedGrid(t);
            ASSERT_EQ(std::memcmp(lut.grid, grid.data(), grid.size()), 0);

            // The single-channel table is the grey axis' last channel: the
            // diagonal nodes at the list points, between them in between.
            std::vector<uint8_t> l = t.axisList();
            auto diagonalK = [&](int i) { return grid[((i * points + i) * points + i) * 4 + 3]; };
            for (int i = 0; i < points; ++i) {
                uint8_t k = diagonalK(i);
                if (l[i] != 255 && k == 0) k = 1;  // kind 1 never holds 0 below 255
                EXPECT_EQ(lut.singleChannelTable[l[i]], k) << "point " << i;
            }
            for (int i = 1; i < points; ++i)
                for (int x = l[i - 1]; x <= l[i]; ++x) {
                    int lo = std::min(diagonalK(i - 1), diagonalK(i));
                    int hi = std::max(diagonalK(i - 1), diagonalK(i));
                    EXPECT_GE(lut.singleChannelTable[x], std::max(lo, x == 255 ? 0 : 1)) << x;
                    EXPECT_LE(lut.singleChannelTable[x], std::max(hi, 1)) << x;
                }
        }
    }
}

TEST_F(CmSequenceTest, FourDimensionalTable) {
    for (int points : {5, 9}) {
        ColourTableBuilder t = ColourTableBuilder::cmykToSixInks(points);
        ColourMatching run(params, select, index(), t.bytes());
        ASSERT_EQ(run.tableResult, INKDOT_OK) << points;
        EXPECT_EQ(run.tableAnswer, INKDOT_NO_RESOURCE);
        const CmLut& lut = run.lut();
        EXPECT_EQ(lut.channels, 6);
        EXPECT_EQ(lut.points[3], points);
        // Neither re-mapped nor adjusted, though colorMode is 2.
        std::vector<uint8_t> b = t.bytes();
        size_t bytes = static_cast<size_t>(points) * points * points * points * 6;
        EXPECT_EQ(std::memcmp(lut.grid, b.data() + t.gridOffset(), bytes), 0);
        // Black is exact along axis 3, so the reversed black axis is too.
        for (int x = 0; x < 256; ++x) ASSERT_EQ(lut.singleChannelTable[x], 255 - x) << x;
    }
}

TEST_F(CmSequenceTest, KindZeroSingleChannelTableNeverFull) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 0);
    t.kind = 0;
    t.value = [](const NodeIndex& n, int m) {
        return static_cast<uint8_t>(m == 3 ? (n.i0 < 4 ? 255 : 0) : 0);
    };
    ColourMatching run(params, select, index(), t.bytes());
    ASSERT_EQ(run.tableResult, INKDOT_OK);
    for (int x = 0; x < 255; ++x) ASSERT_LE(run.lut().singleChannelTable[x], 254) << x;
    EXPECT_EQ(run.lut().singleChannelTable[0], 254);
}

TEST_F(CmSequenceTest, ClassCorrectionInTheSequence) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 0);
    t.percentAt0 = 100;
    t.percentAt255 = 50;
    std::vector<uint8_t> grid = expectedGrid(t);
    for (auto [tableClass, level, corrected] :
         {std::tuple{310, 0, true}, std::tuple{310, 2, false}, std::tuple{0, 0, false}}) {
        select.level = level;
        ColourMatching run(params, select, index(kTable, tableClass), t.bytes());
        ASSERT_EQ(run.tableResult, INKDOT_OK);
        EXPECT_EQ(run.lut().tableClass, tableClass == 0 ? -1 : tableClass);
        for (size_t i = 0; i < grid.size(); ++i) {
            uint8_t want = corrected ? gainCorrectionByte(grid[i], 100, 50) : grid[i];
            ASSERT_EQ(run.lut().grid[i], want) << tableClass << ' ' << level << " byte " << i;
        }
    }
}

// Identity adjustments reproduce the grid; any adjustment keeps the black and
// white corners and changes something else.
TEST_F(CmSequenceTest, AdjustmentsKeepTheCorners) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 0);
    std::vector<uint8_t> grid = expectedGrid(t);
    std::array<uint8_t, 768> inverted;
    for (int i = 0; i < 768; ++i) inverted[i] = static_cast<uint8_t>(255 - i % 256);
    struct Case {
        const char* name;
        int32_t brightness, contrast, saturation, offset0, gamma;
        bool curves, changes;
    };
    for (const Case& c : {
             Case{"identity", 0, 0, 0, 0, 0, false, false},
             Case{"identity, gamma 150 given", 0, 0, 0, 0, 150, false, false},
             Case{"brightness", 50, 0, 0, 0, 0, false, true},
             Case{"darker", -50, 0, 0, 0, 0, false, true},
             Case{"contrast", 0, 50, 0, 0, 0, false, true},
             Case{"flat", 0, -50, 0, 0, 0, false, true},
             Case{"saturation", 0, 0, 50, 0, 0, false, true},
             Case{"offset", 0, 0, 0, -30, 0, false, true},
             Case{"gamma", 0, 0, 0, 0, 300, false, true},
             Case{"caller curves", 0, 0, 0, 0, 0, true, true},
             Case{"everything", 46, 46, -50, 50, 100, true, true},
         }) {
        SCOPED_TRACE(c.name);
        CmParams p = params;
        p.brightness = c.brightness;
        p.contrast = c.contrast;
        p.saturation = c.saturation;
        p.offset0 = c.offset0;
        test::TagList tags;
        int32_t gamma = c.gamma;
        if (gamma != 0) tags.add(INKDOT_TAG_GAMMA_REF, &gamma);
        if (c.curves) tags.add(INKDOT_TAG_CHANNEL_CURVES, inverted.data());
        p.tags = tags.list();
        ColourMatching run(p, select, index(), t.bytes());
        ASSERT_EQ(run.tableResult, INKDOT_OK);
        const uint8_t* g = run.lut().grid;
        const size_t last = grid.size() - 4;
        for (int m = 0; m < 4; ++m) {
            EXPECT_EQ(g[m], grid[m]);
            EXPECT_EQ(g[last + m], grid[last + m]);
        }
        EXPECT_EQ(std::memcmp(g, grid.data(), grid.size()) != 0, c.changes);
    }
}

TEST_F(CmSequenceTest, AdjustmentFailuresKeepTheGrid) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 0);
    t.tweakS[3] = -11;  // S3, added to the saturation
    for (auto [saturation, gamma, result] :
         {std::tuple{-40, 0, INKDOT_BAD_FIRST_RECORD}, std::tuple{-39, 0, INKDOT_OK},
          std::tuple{0, 301, INKDOT_BAD_SECOND_RECORD}}) {
        CmParams p = params;
        p.saturation = saturation;
        test::TagList tags;
        int32_t g = gamma;
        if (gamma != 0) tags.add(INKDOT_TAG_GAMMA_REF, &g);
        p.tags = tags.list();
        ColourMatching run(p, select, index(), t.bytes());
        EXPECT_EQ(run.tableResult, result) << saturation << ' ' << gamma;
        if (result != INKDOT_OK) {
            EXPECT_EQ(run.tableAnswer, INKDOT_NO_RESOURCE);
            std::vector<uint8_t> grid = expectedGrid(t);  // re-mapped, not adjusted
            EXPECT_EQ(std::memcmp(run.lut().grid, grid.data(), grid.size()), 0);
        }
    }
}

// The re-mapping takes the diagonal from the node values only where the
// decoder filled them; with grey nodes kept through matchMode 1 the diagonal
// is interpolated instead of left empty.
TEST_F(CmSequenceTest, DiagonalWithMatchModeOne) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 50);
    params.matchMode = 1;
    ColourMatching run(params, select, index(), t.bytes());
    ASSERT_EQ(run.tableResult, INKDOT_OK);
    std::vector<uint8_t> b = t.bytes();
    EXPECT_EQ(std::memcmp(run.lut().grid, b.data() + t.gridOffset(), 9 * 9 * 9 * 4), 0);
}

TEST_F(CmSequenceTest, TweaksChangeTheGrid) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 0);
    t.tweakS[0] = 30;
    ColourMatching tweaked(params, select, index(), t.bytes());
    ASSERT_EQ(tweaked.tableResult, INKDOT_OK);
    std::vector<uint8_t> grid = expectedGrid(t);
    EXPECT_NE(std::memcmp(tweaked.lut().grid, grid.data(), grid.size()), 0);

    params.colorMode = 3;  // no re-mapping: the tweaks are not used
    select.keyA = 3;
    IndexText other;
    other.line({kTable, 120, "Plain", "Vivid", 720, 1440, "High", 7, 1});
    ColourMatching plain(params, select, other.str(), t.bytes());
    ASSERT_EQ(plain.tableResult, INKDOT_OK);
    EXPECT_EQ(std::memcmp(plain.lut().grid, grid.data(), grid.size()), 0);
}

TEST_F(CmSequenceTest, IndexAnswers) {
    struct Case {
        int32_t resource;
        int32_t base;
    };
    for (Case c : {Case{999, 0}, Case{1999, 1000}, Case{2150, 2000}, Case{-1500, -1000}}) {
        ColourMatching run(params, select, index(c.resource), ColourTableBuilder{}.bytes());
        EXPECT_EQ(run.indexResult, INKDOT_OK);
        EXPECT_EQ(run.indexAnswer, c.resource);
        EXPECT_EQ(run.cm->resourceBase, c.base) << c.resource;
    }
    params.numberC = 8;
    ColourMatching none(params, select, index(), ColourTableBuilder{}.bytes());
    EXPECT_EQ(none.indexResult, INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(none.indexAnswer, 0);
}

TEST_F(CmSequenceTest, BoundedTableAndCallsAfterTheEnd) {
    int32_t next = 0;
    CmContext* cm = nullptr;
    ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
    std::string text = index();
    ASSERT_EQ(cmSetResource(cm, text.data(), text.size(), &next), INKDOT_OK);
    std::vector<uint8_t> table = ColourTableBuilder::rgbToCmyk(9, 0).bytes();
    EXPECT_EQ(cmSetResource(cm, table.data(), table.size() - 1, &next), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(next, INKDOT_NO_RESOURCE);
    EXPECT_EQ(CmSetResource(cm, table.data(), &next), INKDOT_SEQUENCE_ENDED);
    EXPECT_EQ(CmDelete(cm), INKDOT_OK);
}

// Every block of both phases failing to allocate or lock gives its code, and
// CmDelete then leaves nothing behind.
TEST_F(CmSequenceTest, EveryBlockFailure) {
    ColourTableBuilder t = ColourTableBuilder::rgbToCmyk(9, 51);
    t.extra = {1, 2, 3};
    const std::vector<uint8_t> table = t.bytes();
    const std::string text = index();
    for (test::MemOp op : {test::MemOp::Allocate, test::MemOp::Lock}) {
        const int32_t code = op == test::MemOp::Allocate ? INKDOT_ALLOC_FAILED : INKDOT_LOCK_FAILED;
        int failures = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message()
                         << (code == INKDOT_ALLOC_FAILED ? "allocate " : "lock ") << n);
            test::resetMemory();
            int32_t next = 0;
            CmContext* cm = nullptr;
            ASSERT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
            test::failNth(op, n);
            int32_t indexResult = CmSetResource(cm, text.c_str(), &next);
            int32_t tableResult =
                indexResult == INKDOT_OK ? CmSetResource(cm, table.data(), &next) : indexResult;
            test::resetMemory();
            EXPECT_EQ(CmDelete(cm), INKDOT_OK);
            EXPECT_EQ(test::liveBlocks(), base);
            if (indexResult != INKDOT_OK) {
                // The index's scratch block reports either failure as INKDOT_ALLOC_FAILED.
                EXPECT_EQ(indexResult, INKDOT_ALLOC_FAILED);
                EXPECT_EQ(next, INKDOT_NO_RESOURCE);
                ++failures;
                continue;
            }
            if (tableResult == INKDOT_OK) break;
            EXPECT_EQ(tableResult, code);
            ++failures;
        }
        // Scratch, extra, grid, node curves, re-mapped grid, adjusted grid
        // and the adjustment's tables.
        EXPECT_GE(failures, 7);
    }
}

}  // namespace
}  // namespace inkdot
