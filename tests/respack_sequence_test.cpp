// The default pack driven through the library's own sequences: the colour
// matching chooses and decodes each table, the halftone sequence takes the
// lookup table and the pack's halftone resources, and the lines come out as
// dots of the right inks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "inkdot/inkdot.h"
#include "respack/respack.h"
#include "support/default_pack.h"

namespace {

using respack::Bytes;

// The default pack, written once for the suite.
class PackSequence : public inkdot::test::DefaultPackTest {};

struct Setting {
    const char* name;
    int media, quality, bits, inks;
};

// Runs the colour-matching sequence for a setting and hands back the object
// (the caller deletes it) and the resources asked for, in order.
struct CmRun {
    CmContext* cm = nullptr;
    std::vector<int32_t> asked;
    int32_t result = 0;
};

CmRun runColourMatching(const Setting& s, const CmTagList* tags,
                        const std::function<const Bytes&(int)>& resource) {
    CmParams params{};
    params.numberC = s.inks;
    params.keyB = s.media;
    params.tags = tags;
    CmSelect select{};
    select.keyA = 0;  // the default: Standard, with the colour re-mapping
    select.level = 2;
    select.pixelLayout = 1;
    select.numberA = s.quality;
    select.numberB = s.bits;
    select.numberD = 1;
    CmRun run;
    int32_t next = -5;
    EXPECT_EQ(CmNew(&params, &select, 0, &next, &run.cm), INKDOT_OK);
    for (int guard = 0; next != -1 && guard < 8; ++guard) {
        run.asked.push_back(next);
        run.result = CmSetResource(run.cm, resource(next).data(), &next);
        if (run.result != INKDOT_OK) break;
    }
    return run;
}

constexpr Setting kSettings[] = {
    {"PlainDraftRgb", 0, 1, 1, 4}, {"PlainNormalSix", 0, 2, 1, 6},
    {"MatteFineRgb", 1, 3, 2, 4},  {"MatteFineSixTwoBit", 1, 3, 2, 6},
    {"GlossyBestRgb", 2, 4, 2, 4}, {"GlossyBestSixTwoBit", 2, 4, 2, 6},
    {"PlainDraftSix", 0, 1, 1, 6},
};

TEST_F(PackSequence, ColourMatchingChoosesAndDecodesEveryTable) {
    const respack::ParsedIndex index =
        respack::parseIndex(std::string(resource(0).begin(), resource(0).end()));
    for (const Setting& s : kSettings) {
        SCOPED_TRACE(s.name);
        const int32_t expected = respack::chooseTable(
            index, {.keyB = s.media, .numberA = s.quality, .numberB = s.bits, .numberC = s.inks});
        ASSERT_NE(expected, 0);
        CmRun run = runColourMatching(s, nullptr, resource);
        EXPECT_EQ(run.result, INKDOT_OK);
        EXPECT_EQ(run.asked, (std::vector<int32_t>{0, expected}));
        const CmLut* lut = CmGetLut(run.cm);
        const Bytes& table = resource(expected);
        EXPECT_EQ(lut->resource, expected);
        EXPECT_EQ(lut->channels, s.inks);
        EXPECT_EQ(lut->points[0], table[72]);
        EXPECT_EQ(lut->points[3], s.inks == 6 ? table[72] : 1);
        EXPECT_EQ(lut->percentAt0, (table[48] << 8) | table[49]);
        EXPECT_EQ(lut->extraBlock != nullptr, s.bits == 2 && s.inks == 6);
        // The grid still reads as ink: white takes none, black takes black.
        const size_t nodes =
            size_t(lut->points[0]) * lut->points[1] * lut->points[2] * lut->points[3];
        const uint8_t* last = lut->grid + (nodes - 1) * lut->channels;
        if (s.inks == 4) {
            EXPECT_EQ(last[3], 0);                       // (255, 255, 255): paper white
            EXPECT_GT(lut->grid[3], 200);                // (0, 0, 0): black ink
            EXPECT_GT(lut->singleChannelTable[0], 200);  // grey ramp: black at 0
            EXPECT_LE(lut->singleChannelTable[254], 8);  // and hardly any near white
        } else {
            EXPECT_EQ(lut->singleChannelTable[255], 0);  // K = 0
            EXPECT_GT(lut->singleChannelTable[0], 200);  // solid K
        }
        EXPECT_EQ(CmDelete(run.cm), INKDOT_OK);
    }
}

TEST_F(PackSequence, CurveStageRunsThroughTheSecondIndex) {
    for (const Setting& s : {kSettings[1], kSettings[4]}) {
        SCOPED_TRACE(s.name);
        const Bytes& selector = resource(s.inks == 6 ? 6013 : 6012);
        CmTagList tags{1, {{INKDOT_TAG_CURVE_SELECTOR, selector.data()}}};
        CmRun run = runColourMatching(s, &tags, resource);
        EXPECT_EQ(run.result, INKDOT_OK);
        ASSERT_EQ(run.asked.size(), 6u);
        const int32_t base = run.asked[1] / 1000 * 1000;
        EXPECT_EQ(run.asked[2], 980);
        EXPECT_EQ(run.asked[3], 990);
        EXPECT_EQ(run.asked[4], base + 900);
        EXPECT_EQ(run.asked[5], base + 950);
        EXPECT_EQ(CmDelete(run.cm), INKDOT_OK);
    }
}

TEST_F(PackSequence, CurveSetItemsEndTheSequence) {
    struct Case {
        Setting setting;
        int item, tag;
    };
    for (const Case& c : {Case{kSettings[2], 6001, INKDOT_TAG_CURVE_SET},
                          Case{kSettings[1], 6002, INKDOT_TAG_CURVE_SET},
                          Case{kSettings[2], 6003, INKDOT_TAG_CURVE_SET_TABLE},
                          Case{kSettings[3], 6004, INKDOT_TAG_CURVE_SET_TABLE}}) {
        SCOPED_TRACE(c.item);
        CmTagList tags{1, {{c.tag, resource(c.item).data()}}};
        CmRun plain = runColourMatching(c.setting, nullptr, resource);
        CmRun bent = runColourMatching(c.setting, &tags, resource);
        EXPECT_EQ(bent.result, INKDOT_OK);
        EXPECT_EQ(bent.asked.size(), 2u);
        // The curves moved some grid values.
        const CmLut *a = CmGetLut(plain.cm), *b = CmGetLut(bent.cm);
        const size_t bytes =
            size_t(a->points[0]) * a->points[1] * a->points[2] * a->points[3] * a->channels;
        EXPECT_NE(std::memcmp(a->grid, b->grid, bytes), 0);
        EXPECT_EQ(CmDelete(plain.cm), INKDOT_OK);
        EXPECT_EQ(CmDelete(bent.cm), INKDOT_OK);
    }
}

// Halftoning with the separation tables of the pack.
struct Run {
    HalftoneContext* ht = nullptr;
    std::vector<int32_t> asked;
    int32_t result = 0;
};

HalftoneParams halftoneParams(int method, int inkSet, int x, int y, int bits) {
    HalftoneParams p{};
    p.method = method;
    p.inkSet = inkSet;
    p.inputFormat = inkSet == 3 ? 4 : 0;
    p.xResolution = x;
    p.yResolution = y;
    p.outputBits = bits;
    p.maxPixels = 256;
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

TEST_F(PackSequence, HalftoneSequencesTakeThePacksResources) {
    struct Case {
        const char* name;
        Setting setting;
        int method, inkSet, list, x, y;
        std::vector<int32_t> asked;  // after the list
    };
    const Case cases[] = {
        {"SixInkDiffusion720", kSettings[1], 1, 3, 5001, 720, 720, {5100, 5201}},
        {"OneInkDiffusion720x360", kSettings[1], 1, 0, 5001, 720, 360, {5100, 5202}},
        {"SixInkTwoBit1440", kSettings[3], 1, 3, 5001, 1440, 720, {5100, 5200}},
        {"SixInkTwoBit2880Records", kSettings[5], 1, 3, 5001, 2880, 720, {5100, 5200, 5300}},
        {"OneInkTwoBitRecords", kSettings[5], 1, 0, 5001, 2880, 720, {5100, 5200, 5300}},
        {"SixInkDitherBayer", kSettings[1], 3, 3, 5003, 720, 720, {5100, 5210}},
        {"SixInkDitherTwoBit", kSettings[3], 3, 3, 5002, 1440, 720, {5100, 5200}},
        {"OneInkDitherBayer", kSettings[1], 3, 0, 5003, 720, 720, {5100, 5210}},
        {"OneInkDitherBlueNoise360", kSettings[6], 3, 0, 5002, 720, 360, {5100, 5200}},
        {"SeparationPath", kSettings[1], 3, 3, 5007, 720, 720, {5100, 5203}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CmRun cm = runColourMatching(c.setting, nullptr, resource);
        ASSERT_EQ(cm.result, INKDOT_OK);
        const HalftoneParams params = halftoneParams(c.method, c.inkSet, c.x, c.y, c.setting.bits);
        HalftoneContext* ht = nullptr;
        int32_t tableClass = 0;
        ASSERT_EQ(HalftoneNew(&params, CmGetLut(cm.cm), 0, &tableClass, &ht), INKDOT_OK);
        std::vector<int32_t> asked;
        int32_t next = c.list;
        for (int guard = 0; next != -1 && guard < 6; ++guard) {
            ASSERT_EQ(HalftoneSetResource(ht, resource(next).data(), &next), INKDOT_OK)
                << "after " << asked.size();
            if (next != -1) asked.push_back(next);
        }
        EXPECT_EQ(asked, c.asked);

        // White takes no ink, a solid takes its inks: one line of each. At
        // 2880 dpi a line of dots covers the paper at about half the slots.
        const int pixels = 64, bytesPerPlane = pixels * c.setting.bits / 8;
        const int solid = pixels * c.setting.bits * (c.x == 2880 ? 4 : 9) / 10;
        const int planes = c.inkSet == 3 ? 6 : 1;
        auto dots = [&](const std::vector<uint8_t>& pixel, int line) {
            std::vector<uint8_t> src;
            for (int i = 0; i < pixels; ++i) src.insert(src.end(), pixel.begin(), pixel.end());
            std::vector<uint8_t> out(size_t(bytesPerPlane) * planes, 0);
            EXPECT_EQ(
                Halftone(ht, src.data(), out.data(), bytesPerPlane, 0, pixels, 0, 1, line, 0, 0),
                INKDOT_OK);
            std::vector<int> count(planes);
            for (int p = 0; p < planes; ++p)
                for (int i = 0; i < bytesPerPlane; ++i)
                    count[p] += __builtin_popcount(out[size_t(p) * bytesPerPlane + i]);
            return count;
        };
        if (c.inkSet == 3) {
            EXPECT_EQ(dots({0, 0, 0, 0}, 0), std::vector<int>(6, 0));
            const auto black = dots({0, 0, 0, 255}, 1);
            EXPECT_GE(black[3], solid);
            EXPECT_EQ(black[0] + black[1] + black[2] + black[4] + black[5], 0);
            const auto yellow = dots({0, 0, 255, 0}, 2);
            EXPECT_GE(yellow[2], solid);
            EXPECT_EQ(yellow[0] + yellow[1] + yellow[3] + yellow[4] + yellow[5], 0);
            // Mid cyan takes both cyan inks and nothing else.
            const auto cyan = dots({128, 0, 0, 0}, 3);
            EXPECT_GT(cyan[0], 0);
            EXPECT_GT(cyan[4], 0);
            EXPECT_EQ(cyan[1] + cyan[2] + cyan[3] + cyan[5], 0);
        } else {
            EXPECT_EQ(dots({0}, 0)[0], 0);
            EXPECT_GE(dots({255}, 1)[0], solid);
        }
        EXPECT_EQ(HalftoneDelete(ht), INKDOT_OK);
        EXPECT_EQ(CmDelete(cm.cm), INKDOT_OK);
    }
}

}  // namespace
