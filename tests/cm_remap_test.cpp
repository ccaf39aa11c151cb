// The colour tweaks of the re-mapping and the single-channel table.
#include <gtest/gtest.h>

#include <array>

#include "cm/cm_context.h"
#include "cm/colour_remap.h"

namespace inkdot {
namespace {

// Tweaks are easiest to read on the complements X, Y, Z = 255 - channel.
std::array<int32_t, 3> tweakXyz(const CmContext& cm, std::array<int32_t, 3> xyz) {
    int32_t colour[3] = {255 - xyz[0], 255 - xyz[1], 255 - xyz[2]};
    tweakColour(cm, colour);
    return {255 - colour[0], 255 - colour[1], 255 - colour[2]};
}

TEST(TweakColour, OneStepAtATime) {
    enum Slot { U0, U1, U2, V0, V1, V2, S0, S1, S2 };
    struct Case {
        const char* name;
        Slot slot;
        int16_t strength;
        std::array<int32_t, 3> in, out;
    };
    for (const Case& c : {
             Case{"dominant X lowered", U0, 50, {200, 100, 50}, {150, 100, 50}},
             Case{"dominant Z lowered", U2, 100, {10, 100, 200}, {10, 100, 100}},
             Case{"U of another component", U1, 100, {200, 100, 50}, {200, 100, 50}},
             Case{"two largest equal", U0, 100, {200, 200, 50}, {200, 200, 50}},
             Case{"dominant not below 0", U1, 255, {0, 100, 0}, {0, 0, 0}},
             Case{"low gap of X", V0, 50, {20, 100, 200}, {20, 60, 160}},
             Case{"low gap widened", V1, -50, {100, 20, 200}, {140, 20, 240}},
             Case{"low gap clamps at 0", V2, 100, {50, 60, 10}, {10, 20, 10}},
             Case{"two smallest equal", V0, 100, {20, 20, 200}, {20, 20, 200}},
             Case{"hue shift, X smallest", S0, 30, {10, 110, 200}, {10, 80, 200}},
             Case{"hue shift negative", S0, -30, {10, 110, 200}, {10, 110, 170}},
             Case{"hue shift, Y smallest", S1, 30, {110, 10, 200}, {110, 10, 170}},
             Case{"Y smallest negative", S1, -30, {110, 10, 200}, {80, 10, 200}},
             Case{"hue shift, Z smallest", S2, 30, {110, 200, 10}, {80, 200, 10}},
             Case{"Z smallest negative", S2, -30, {110, 200, 10}, {110, 170, 10}},
             Case{"hue shift rounds", S0, 1, {0, 50, 60}, {0, 49, 60}},  // (50 + 50) / 100
             Case{"hue shift clamps", S0, 127, {0, 250, 255}, {0, 0, 255}},
             Case{"no shift when tied", S0, 100, {10, 10, 200}, {10, 10, 200}},
         }) {
        CmContext cm{};
        cm.tableAdjust[c.slot] = c.strength;
        EXPECT_EQ(tweakXyz(cm, c.in), c.out) << c.name;
    }
}

TEST(TweakColour, StepsInOrder) {
    CmContext cm{};
    cm.tableAdjust[0] = 50;  // U0
    cm.tableAdjust[5] = 20;  // V2
    cm.tableAdjust[8] = 10;  // S2
    // Dominant X: 200 -> 150. Lowest Z: g = (100 - 20) x 20 / 100 = 16 off X
    // and Y -> (134, 84, 20). Lowest Z: g = ((84 - 20) x 10 + 50) / 100 = 6 off X.
    EXPECT_EQ(tweakXyz(cm, {200, 100, 20}), (std::array<int32_t, 3>{128, 84, 20}));
}

TEST(TweakColour, GreyShareOfTypeFiftyOne) {
    CmContext cm{};
    cm.tableType = 51;
    for (int v = 0; v < 256; ++v) cm.greyShare[v] = static_cast<uint8_t>(v);
    // Share v: the identity.
    EXPECT_EQ(tweakXyz(cm, {30, 90, 200}), (std::array<int32_t, 3>{30, 90, 200}));
    for (int v = 0; v < 256; ++v) cm.greyShare[v] = static_cast<uint8_t>(v / 2);
    // m = 0: nothing to share.
    EXPECT_EQ(tweakXyz(cm, {80, 40, 0}), (std::array<int32_t, 3>{80, 40, 0}));
    // m = 40: X = ((80 - 40) x 80 + 40 x 40 + 40) / 80 = 60, Y = (0 + 40 x 20 + 20) / 40
    // = 20, Z = (160 x 200 + 40 x 100 + 100) / 200 = 180.
    EXPECT_EQ(tweakXyz(cm, {80, 40, 200}), (std::array<int32_t, 3>{60, 20, 180}));
    cm.tableType = 50;
    EXPECT_EQ(tweakXyz(cm, {80, 40, 200}), (std::array<int32_t, 3>{80, 40, 200}));
}

}  // namespace
}  // namespace inkdot
