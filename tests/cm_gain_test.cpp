// The gain correction and how it is stored in a byte.
#include <gtest/gtest.h>

#include "cm/gain.h"

namespace inkdot {
namespace {

TEST(GainCorrection, WorkedValues) {
    struct Case {
        int32_t v, a, b;
        int64_t q;
        int32_t value;
        uint8_t byte;
    };
    for (Case c : {
             Case{128, 100, 50, 159, 205, 205},
             Case{255, 100, 50, 127, 512, 255},  // the low byte would be 0: no ink
             Case{255, 100, 125, 318, 204, 204},
             Case{0, 100, 50, 255, 0, 0},
             Case{200, 100, 100, 255, 200, 200},
             // (255 - 0)^2 x (32767 + 32768) overflows 32 bits.
             Case{0, 32767, -32768, 83555, 0, 0},
             Case{50, 32767, -32768, 24445, 1, 1},
             Case{50, -32768, 32767, -24448, 0, 0},
             Case{255, -100, -100, -255, -254, 0},
         }) {
        SCOPED_TRACE(testing::Message() << c.v << " " << c.a << " " << c.b);
        EXPECT_EQ(gainDivisor(c.v, c.a, c.b), c.q);
        EXPECT_EQ(gainCorrection(c.v, c.a, c.b), c.value);
        EXPECT_EQ(gainCorrectionByte(c.v, c.a, c.b), c.byte);
    }
}

TEST(GainCorrection, IdentityAtHundredPercent) {
    for (int32_t v = 0; v < 256; ++v) EXPECT_EQ(gainCorrection(v, 100, 100), v) << v;
}

TEST(GainCorrection, ZeroDivisorIsReportedAndSafe) {
    EXPECT_TRUE(gainCorrectionDefined(100, 50));
    EXPECT_TRUE(gainCorrectionDefined(1, 1));  // q = 2 everywhere
    EXPECT_FALSE(gainCorrectionDefined(0, 0));
    EXPECT_FALSE(gainCorrectionDefined(100, 0));  // q is 0 near v = 255
    EXPECT_EQ(gainCorrection(255, 100, 0), 255);
    EXPECT_EQ(gainCorrectionByte(255, 0, 0), 255);
}

}  // namespace
}  // namespace inkdot
