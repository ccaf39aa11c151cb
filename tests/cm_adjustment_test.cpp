// The adjustment stage: integer logarithms and gamma, the tone tables, the
// saturation and the parameter checks.
#include <gtest/gtest.h>

#include <array>

#include "cm/adjustment.h"
#include "cm/cm_context.h"
#include "support/cm_fixtures.h"

namespace inkdot {
namespace {

TEST(ScaledLog, PrimeFactors) {
    EXPECT_EQ(scaledLog(1), 0);
    EXPECT_EQ(scaledLog(2), 3466);
    EXPECT_EQ(scaledLog(4), 2 * 3466);
    EXPECT_EQ(scaledLog(29), 16836);          // first prime past trial division
    EXPECT_EQ(scaledLog(509), 31162);         // the largest prime
    EXPECT_EQ(scaledLog(511), 9730 + 21452);  // 7 x 73
    EXPECT_EQ(scaledLog(2 * 3 * 5 * 17), 3466 + 5493 + 8047 + 14166);
}

TEST(GammaValue, WorkedValues) {
    EXPECT_EQ(gammaValue(128, 150), 91);
    EXPECT_EQ(gammaValue(200, 220), 150);
    EXPECT_EQ(gammaValue(0, 300), 0);
    EXPECT_EQ(gammaValue(255, 300), 255);
    for (int32_t x = 0; x < 256; ++x) EXPECT_EQ(gammaValue(x, 100), x) << x;
    int32_t last = 0;
    for (int32_t x = 0; x < 256; ++x) {  // rising, and below the identity above gamma 1
        int32_t g = gammaValue(x, 300);
        EXPECT_GE(g, last) << x;
        EXPECT_LE(g, x) << x;
        last = g;
    }
}

class AdjustTest : public ::testing::Test {
protected:
    AdjustTest() { cm.params.tags = tags.list(); }
    int32_t build() { return buildAdjust(cm, adjust); }
    CmContext cm{};
    test::TagList tags;
    CmAdjust adjust{};
};

TEST_F(AdjustTest, IdentityTablesWithoutAdjustments) {
    ASSERT_EQ(build(), INKDOT_OK);
    for (int ch = 0; ch < 3; ++ch)
        for (int x = 0; x < 256; ++x) ASSERT_EQ(adjust.tone[ch][x], x) << ch << ' ' << x;
    int32_t gamma150 = 150;
    tags.add(INKDOT_TAG_GAMMA_REF, &gamma150);
    cm.params.tags = tags.list();
    ASSERT_EQ(build(), INKDOT_OK);
    EXPECT_EQ(adjust.tone[1][100], 100);
}

// Entries 0, 1, 16, 32, 64, 100, 128, 192, 230, 253, 254, 255 of the finished
// (smoothed) tables, worked out independently of the library.
TEST_F(AdjustTest, ToneTables) {
    struct Case {
        const char* name;
        int32_t brightness, contrast, offset2, gamma;
        std::array<int32_t, 12> t0, t2;
    };
    const std::array<int, 12> at = {0, 1, 16, 32, 64, 100, 128, 192, 230, 253, 254, 255};
    const Case cases[] = {
        {"brightness 50", 50, 0, 0, 0, {0, 2, 32, 64, 128, 187, 218, 251, 254, 254, 255, 255}, {}},
        {"brightness -50", -50, 0, 0, 0, {0, 0, 0, 0, 3, 17, 37, 127, 203, 249, 252, 254}, {}},
        {"contrast 50", 0, 50, 0, 0, {0, 0, 0, 1, 18, 72, 128, 237, 254, 254, 255, 255}, {}},
        {"contrast -50", 0, -50, 0, 0, {64, 64, 71, 79, 95, 113, 127, 159, 178, 190, 191, 191}, {}},
        // The cubes times c overflow 32 bits here.
        {"brightness and contrast 46",
         46,
         46,
         0,
         0,
         {0, 0, 1, 16, 130, 227, 254, 254, 254, 254, 255, 255},
         {}},
        {"gamma 220", 0, 0, 0, 220, {0, 1, 13, 23, 44, 69, 93, 161, 214, 251, 253, 255}, {}},
        {"offsets",
         -30,
         20,
         50,
         0,
         {10, 10, 10, 10, 10, 23, 69, 183, 252, 254, 255, 255},
         {50, 50, 50, 50, 50, 63, 109, 223, 254, 254, 255, 255}},
    };
    for (const Case& c : cases) {
        cm.params.brightness = c.brightness;
        cm.params.contrast = c.contrast;
        cm.params.offset0 = c.name == std::string("offsets") ? 10 : 0;
        cm.params.offset2 = c.offset2;
        test::TagList gammaTags;
        int32_t gamma = c.gamma;
        if (gamma != 0) gammaTags.add(INKDOT_TAG_GAMMA_REF, &gamma);
        cm.params.tags = gammaTags.list();
        ASSERT_EQ(build(), INKDOT_OK) << c.name;
        for (size_t i = 0; i < at.size(); ++i) {
            EXPECT_EQ(adjust.tone[0][at[i]], c.t0[i]) << c.name << " T0[" << at[i] << "]";
            int32_t t2 = c.offset2 != 0 ? c.t2[i] : c.t0[i];
            EXPECT_EQ(adjust.tone[2][at[i]], t2) << c.name << " T2[" << at[i] << "]";
        }
    }
}

TEST_F(AdjustTest, CallerCurvesComeLast) {
    std::array<uint8_t, 768> curves;
    for (int v = 0; v < 256; ++v) {
        curves[v] = static_cast<uint8_t>(255 - v);
        curves[256 + v] = static_cast<uint8_t>(v / 2);
        curves[512 + v] = 7;
    }
    tags.add(INKDOT_TAG_CHANNEL_CURVES, curves.data());
    cm.params.tags = tags.list();
    cm.params.offset1 = 20;
    ASSERT_EQ(build(), INKDOT_OK);
    EXPECT_EQ(adjust.tone[0][10], 245);
    EXPECT_EQ(adjust.tone[1][10], 15);  // offset first: 30 / 2
    EXPECT_EQ(adjust.tone[2][200], 7);
}

TEST_F(AdjustTest, Saturation) {
    for (int ch = 0; ch < 3; ++ch)
        for (int x = 0; x < 256; ++x) adjust.tone[ch][x] = x;
    struct Case {
        int32_t s;
        std::array<uint8_t, 3> in, out;
    };
    for (const Case& c : {
             Case{50, {100, 150, 200}, {100, 175, 250}},  // channel 0 smallest
             Case{50, {200, 150, 100}, {240, 170, 100}},  // channel 2 smallest: factor 140
             Case{50, {150, 100, 200}, {175, 100, 250}},  // channel 1 smallest
             Case{50, {100, 100, 200}, {100, 100, 250}},  // tie of 0 and 1: channel 0
             Case{50, {200, 100, 100}, {250, 100, 100}},  // tie of 1 and 2: channel 1
             Case{50, {10, 200, 250}, {10, 255, 255}},    // limited to 255
             Case{-50, {100, 150, 200}, {100, 125, 150}},
             Case{50, {90, 90, 90}, {90, 90, 90}},  // grey stays
             Case{0, {10, 200, 250}, {10, 200, 250}},
         }) {
        adjust.saturation = c.s;
        std::array<uint8_t, 3> colour = c.in;
        adjustColour(adjust, colour.data());
        EXPECT_EQ(colour, c.out) << c.s << ": " << int(c.in[0]) << ' ' << int(c.in[1]) << ' '
                                 << int(c.in[2]);
    }
}

TEST_F(AdjustTest, ParameterChecks) {
    struct Case {
        const char* name;
        void (*set)(CmContext&);
        int32_t result;
        int32_t saturation;
    };
    for (const Case& c : {
             Case{"all at their limits",
                  [](CmContext& m) {
                      m.params.brightness = -50;
                      m.params.contrast = 50;
                      m.params.saturation = -50;
                      m.params.offset0 = 50;
                      m.params.offset1 = -50;
                      m.params.offset2 = 50;
                  },
                  INKDOT_OK, -50},
             Case{"adjustMode", [](CmContext& m) { m.params.adjustMode = 1; },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"brightness", [](CmContext& m) { m.params.brightness = 51; },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"contrast", [](CmContext& m) { m.params.contrast = -51; },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"offset2", [](CmContext& m) { m.params.offset2 = 51; }, INKDOT_BAD_FIRST_RECORD,
                  0},
             Case{"saturation above 50 is limited", [](CmContext& m) { m.params.saturation = 80; },
                  INKDOT_OK, 50},
             Case{"saturation below -50", [](CmContext& m) { m.params.saturation = -51; },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"huge saturation", [](CmContext& m) { m.params.saturation = INT32_MIN; },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"S3 added and limited",
                  [](CmContext& m) {
                      m.params.colorMode = 2;
                      m.params.saturation = 45;
                      m.tableAdjust[9] = 10;
                  },
                  INKDOT_OK, 50},
             Case{"S3 added, then below -50",
                  [](CmContext& m) {
                      m.params.colorMode = 2;
                      m.params.saturation = -40;
                      m.tableAdjust[9] = -11;
                  },
                  INKDOT_BAD_FIRST_RECORD, 0},
             Case{"S3 only with colorMode 2",
                  [](CmContext& m) {
                      m.params.saturation = -50;
                      m.tableAdjust[9] = -11;
                  },
                  INKDOT_OK, -50},
             Case{"S3 only with matchMode 0",
                  [](CmContext& m) {
                      m.params.colorMode = 2;
                      m.params.matchMode = 3;
                      m.params.saturation = 5;
                      m.tableAdjust[9] = 20;
                  },
                  INKDOT_OK, 5},
         }) {
        CmContext m{};
        c.set(m);
        CmAdjust a{};
        EXPECT_EQ(buildAdjust(m, a), c.result) << c.name;
        if (c.result == INKDOT_OK) {
            EXPECT_EQ(a.saturation, c.saturation) << c.name;
        }
    }
}

TEST_F(AdjustTest, GammaReference) {
    for (auto [gamma, result] :
         {std::pair{0, INKDOT_OK}, std::pair{100, INKDOT_OK}, std::pair{300, INKDOT_OK},
          std::pair{99, INKDOT_BAD_SECOND_RECORD}, std::pair{301, INKDOT_BAD_SECOND_RECORD},
          std::pair{-150, INKDOT_BAD_SECOND_RECORD}}) {
        test::TagList t;
        int32_t g = gamma;
        t.add(INKDOT_TAG_GAMMA_REF, &g);
        cm.params.tags = t.list();
        EXPECT_EQ(build(), result) << gamma;
    }
    // An adjustment out of range is reported before the gamma reference.
    test::TagList t;
    int32_t g = 50;
    t.add(INKDOT_TAG_GAMMA_REF, &g);
    cm.params.tags = t.list();
    cm.params.brightness = 60;
    EXPECT_EQ(build(), INKDOT_BAD_FIRST_RECORD);
}

}  // namespace
}  // namespace inkdot
