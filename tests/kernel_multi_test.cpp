// The two-bit single-ink diffusion kernels HalftoneMulti, HalftoneMulti1440
// and HalftoneMulti2880, and the checks and packing they share with
// HalftoneMultiMode, on hand-built contexts.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "support/error_span.h"
#include "support/kernel_fixtures.h"

namespace inkdot {
namespace {

using kernels::Kernel;
using test::KernelFixture;

constexpr int16_t kNever = 30000;
constexpr int16_t kAlways = -30000;
constexpr int32_t kHigh = 1 << 20;  // a levelThresholds entry above every matrix value

using DiffuseFn = void (*)(uint16_t*, int32_t, uint32_t, uint16_t&);

struct Member {
    const char* name;
    Kernel* kernel;
    int32_t dotError;  // what a dot takes from the error
};
const Member kTwoBit[] = {{"Multi", &kernels::HalftoneMulti, 255},
                          {"Multi1440", &kernels::HalftoneMulti1440, 255},
                          {"Multi2880", &kernels::HalftoneMulti2880, 510},
                          {"MultiMode", &kernels::HalftoneMultiMode, 255}};

std::string memberName(const ::testing::TestParamInfo<Member>& info) {
    return info.param.name;
}

class TwoBitKernel : public ::testing::TestWithParam<Member> {
protected:
    int32_t run(const std::vector<uint8_t>& input, uint8_t* dst, int32_t bitOffset,
                int32_t pixelCount, int32_t startX = 0) {
        return f.run(*GetParam().kernel, input, dst, bitOffset, pixelCount, startX, 2);
    }
    // The matrix value 2 adds no noise to inputs up to 160 in any member.
    void SetUp() override { f.setMatrix(1, 1, {2}); }
    KernelFixture f{64};
};

INSTANTIATE_TEST_SUITE_P(Members, TwoBitKernel, ::testing::ValuesIn(kTwoBit), memberName);

TEST_P(TwoBitKernel, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"range first", 60, 10, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", -4, 8, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then enable", 0, 10, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 4", 0, 10, 1, 4, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 1, -1, INKDOT_UNSUPPORTED},
    };
    std::vector<uint8_t> input(16, 100);
    for (const Case& c : cases) {
        std::array<uint8_t, 4> dst{0xA5, 0xA5, 0xA5, 0xA5};
        EXPECT_EQ(f.run(*GetParam().kernel, input, dst.data(), c.bitOffset, c.pixelCount, c.startX,
                        3, 0, c.enable, 0),
                  c.result)
            << c.what;
        EXPECT_EQ(dst, (std::array<uint8_t, 4>{0xA5, 0xA5, 0xA5, 0xA5})) << c.what;
        EXPECT_EQ(f.state().lastLine, -12345) << c.what;
        for (int16_t e : f.errorLine()) ASSERT_EQ(e, 0) << c.what;
    }
    // reserved is not read by the two-bit kernels.
    uint8_t dst = 0;
    EXPECT_EQ(f.run(*GetParam().kernel, input, &dst, 0, 1, 0, 3, 0, 1, 7), INKDOT_OK);
    EXPECT_EQ(f.state().lastLine, 3);
}

// Inputs 10, 20 and 30 are made large, medium and small dots by their
// records whatever the error; 0 is blank. Every offset and count packs the
// codes most significant pair first, keeps the pairs in front of the
// offset and clears those after the last pixel.
TEST_P(TwoBitKernel, PacksCodesAtEveryOffset) {
    f.levelRecords[10] = {0, 0, 1, 0};
    f.levelRecords[20] = {0, 1, 2, 0};
    f.levelRecords[30] = {0, 0, 4, 0};
    f.levelThresholds[1] = f.levelThresholds[3] = kHigh;
    f.errorThresholds[30] = kAlways;
    const std::vector<uint8_t> input = {10, 20, 30, 0, 30, 10, 0, 20, 20, 30, 0, 10};
    auto codeOf = [](uint8_t v) { return v == 10 ? 3 : v == 20 ? 2 : v == 30 ? 1 : 0; };
    for (int32_t bitOffset = 0; bitOffset < 4; ++bitOffset) {
        for (int32_t count = 0; count <= int32_t(input.size()); ++count) {
            std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
            uint8_t dst[5] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
            ASSERT_EQ(run(input, dst, bitOffset, count), INKDOT_OK);
            uint8_t want[5] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
            const int32_t end = bitOffset + count;
            if (count > 0 || bitOffset > 0) {
                for (int32_t slot = bitOffset; slot < (end + 3) / 4 * 4; ++slot) {
                    const int code = slot < end ? codeOf(input[size_t(slot - bitOffset)]) : 0;
                    const int shift = 6 - 2 * (slot % 4);
                    uint8_t& byte = want[slot / 4];
                    byte = uint8_t((byte & ~(3 << shift)) | (code << shift));
                }
            }
            for (int i = 0; i < 5; ++i)
                ASSERT_EQ(dst[i], want[i])
                    << "offset " << bitOffset << " count " << count << " byte " << i;
        }
    }
}

// The collected error: a negative entry divided by 32 toward zero, a
// non-negative one rounded down, above an input of 250 after adding 10.
// Without a dot the own entry receives 8 shares of the error term.
TEST_P(TwoBitKernel, CollectedErrorRounding) {
    f.setMatrix(1, 1, {0});  // wide noise for 250 and 251 stays inside the map
    for (int16_t& t : f.errorThresholds) t = kNever;
    f.setSpreadLevels(-1, -1, -1, -1);
    struct Case {
        int16_t entry;
        uint8_t input;
        int32_t collected;
    };
    for (Case c : {Case{0, 100, 0},
                   {31, 100, 0},
                   {32, 100, 1},
                   {-31, 100, 0},
                   {-32, 100, -1},
                   {-33, 100, -1},
                   {-64, 100, -2},
                   {22, 250, 0},
                   {22, 251, 1},
                   {-22, 251, 0}}) {
        std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
        f.entry(4) = c.entry;
        uint8_t dst = 0xFF;
        ASSERT_EQ(run({c.input, c.input}, &dst, 0, 1, 4), INKDOT_OK);
        EXPECT_EQ(dst, 0x00);
        EXPECT_EQ(f.entry(4), 8 * c.collected) << c.entry << " at " << int(c.input);
    }
}

// A blank pixel (input 0) gets no dot; its entry keeps only the carry of the
// pixel before, and the error collected there is lost.
TEST_P(TwoBitKernel, BlankPixelPassesTheCarryOn) {
    f.setSpreadLevels(0, 0, 0, 0);
    // Input 100 is a large dot leaving an error of 64; its pattern (A1, B1 or
    // M1) holds back a carry and puts shares into the next two entries.
    f.levelRecords[100] = {0, 0, 1, int16_t(GetParam().dotError + 64)};
    f.levelThresholds[1] = kHigh;
    uint8_t dst = 0;
    ASSERT_EQ(run({100, 0, 0}, &dst, 0, 3, 20), INKDOT_OK);
    EXPECT_EQ(dst, 0xC0);
    uint16_t carry = 0;
    std::vector<uint16_t> line(50, 0);
    if (GetParam().kernel == &kernels::HalftoneMulti)
        kernels::diffuse<kernels::kA1>(line.data() + 25, 64, 0, carry);
    else if (GetParam().kernel == &kernels::HalftoneMultiMode)
        kernels::diffuse<kernels::kM1>(line.data() + 25, 64, 0, carry);
    else
        kernels::diffuse<kernels::kB1>(line.data() + 25, 64, 0, carry);
    EXPECT_NE(carry, 0);
    EXPECT_EQ(f.entry(21), carry);  // the R+1 share was dropped, the carry kept
    EXPECT_EQ(f.entry(22), 0);      // the R+2 share was dropped, no carry left
}

// Only input 0 is blank: an input whose density index is 0 is decided.
TEST_P(TwoBitKernel, InputOneIsNotBlank) {
    f.densityMap.assign(256, 0);
    f.errorThresholds[0] = kAlways;
    uint8_t dst = 0;
    ASSERT_EQ(run({1, 0}, &dst, 0, 2), INKDOT_OK);
    EXPECT_EQ(dst, 0x40);
}

// inputScale -1 takes the smaller byte of a pair (so 0 and 255 is blank
// outside the pair rule); 1 reads on the even pixels and keeps the record,
// noise included, on the odd one, where only the matrix value is new.
TEST_P(TwoBitKernel, InputSampling) {
    f.setMatrix(2, 1, {2, 3});  // noise 0 on even pixels, +1 on odd ones
    f.densityMap[100] = 10;
    f.densityMap[101] = 11;
    f.levelRecords[10] = {0, 0, 1, 0};  // large
    f.levelRecords[11] = {0, 2, 0, 0};  // medium
    f.levelThresholds[1] = f.levelThresholds[2] = kHigh;
    uint8_t dst = 0;
    ASSERT_EQ(run({100, 100, 100, 100}, &dst, 0, 4), INKDOT_OK);
    EXPECT_EQ(dst, 0xEE);  // large, medium, large, medium
    f.params().inputScale = 1;
    ASSERT_EQ(run({100, 100}, &dst, 0, 4), INKDOT_OK);
    EXPECT_EQ(dst, 0xFF);  // the odd pixels keep the even pixels' record
    f.params().inputScale = -1;
    ASSERT_EQ(run({0, 255, 100, 200, 255, 100}, &dst, 0, 3), INKDOT_OK);
    EXPECT_EQ(dst, 0x2C);  // blank, then 100 on an odd and on an even pixel
}

// The decision: large below the record's base threshold, medium below the
// threshold after its medium span, small when the error term reaches the
// jittered threshold; every dot takes the member's dot error away.
TEST_P(TwoBitKernel, ThreeWayDecision) {
    const int32_t dotError = GetParam().dotError;
    f.setMatrix(1, 1, {1002});  // low byte 234: bias -20; noise 0 for input 100
    f.setSpreadLevels(-1, -1, -1, -1);
    f.levelRecords[100] = {0, 3, 5, 40};
    f.errorThresholds[100] = 60;  // small from an error term of 40
    struct Case {
        const char* what;
        int32_t base, medium;  // levelThresholds at 5 and 8
        int16_t entry;
        uint8_t code;
    };
    for (Case c : {Case{"large", 1003, 0, -32000, 0xC0},
                   {"base equal: medium", 1002, 1003, -32000, 0x80},
                   {"small at the threshold", 1002, 1002, 0, 0x40},
                   {"none below it", 1002, 1002, -32, 0x00},
                   {"small above it", 0, 0, 64, 0x40}}) {
        std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
        f.levelThresholds[5] = c.base;
        f.levelThresholds[8] = c.medium;
        f.entry(0) = c.entry;
        uint8_t dst = 0;
        ASSERT_EQ(run({100}, &dst, 0, 1), INKDOT_OK);
        EXPECT_EQ(dst, c.code) << c.what;
        // The own share is 8 (A1, B0, M1) or 4 (B1) times the error.
        int32_t error = (c.entry < 0 ? (c.entry + 31) >> 5 : c.entry >> 5) + 40;
        if (c.code != 0) error -= dotError;
        const bool b1 = c.code != 0 && (GetParam().kernel == &kernels::HalftoneMulti1440 ||
                                        GetParam().kernel == &kernels::HalftoneMulti2880);
        EXPECT_EQ(f.entry(0), int16_t((b1 ? 4 : 8) * error)) << c.what;
    }
}

// The noisy density index: noise (u AND 3) - 2, or (u AND 7) - 4 above an
// input of 160 in the 1440 and 2880 members; clamped to the map. The record
// is the noisy index's; each record's total shows which it was.
struct NoiseCase {
    const char* name;
    Kernel* kernel;
    uint8_t input;
    int32_t u;
    int32_t index;
};

class NoisyIndex : public ::testing::TestWithParam<NoiseCase> {};

TEST_P(NoisyIndex, PicksTheRecord) {
    const NoiseCase& c = GetParam();
    KernelFixture f;
    f.setMatrix(1, 1, {c.u});
    for (int k = 0; k < 256; ++k) f.levelRecords[size_t(k)].levelTotal = int16_t(k);
    for (int16_t& t : f.errorThresholds) t = kNever;
    uint8_t dst = 0;
    ASSERT_EQ(f.run(*c.kernel, {c.input}, &dst, 0, 1, 0), INKDOT_OK);
    EXPECT_EQ(f.entry(0), 8 * c.index);  // no dot: A0, A1, B0 and M1 write 8 shares
}

const NoiseCase kNoise[] = {
    {"Multi_High", &kernels::HalftoneMulti, 200, 7, 201},
    {"Multi_Low", &kernels::HalftoneMulti, 100, 0, 98},
    {"Multi_ClampLow", &kernels::HalftoneMulti, 1, 4, 0},
    {"Multi_ClampHigh", &kernels::HalftoneMulti, 255, 3, 255},
    {"Multi1440_High", &kernels::HalftoneMulti1440, 200, 7, 203},
    {"Multi1440_JustAbove160", &kernels::HalftoneMulti1440, 161, 8, 157},
    {"Multi1440_At160", &kernels::HalftoneMulti1440, 160, 8, 158},
    {"Multi1440_ClampHigh", &kernels::HalftoneMulti1440, 253, 15, 255},
    {"Multi2880_High", &kernels::HalftoneMulti2880, 200, 1, 197},
    {"MultiMode_HighStaysNarrow", &kernels::HalftoneMultiMode, 200, 7, 201},
    {"MultiMode_ClampLow", &kernels::HalftoneMultiMode, 1, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, NoisyIndex, ::testing::ValuesIn(kNoise),
                         [](const auto& info) { return std::string(info.param.name); });

// HalftoneMulti decides the small dot and the pattern on the noisy index;
// the 1440 and 2880 members on the plain one. Input 100 at matrix value 0
// has the noisy index 98, the plain index 100; only the plain one's
// threshold lets a small dot through, and only the plain one lies above
// level 1 (99).
TEST(MultiIndex, NoisyForMultiPlainForTheOthers) {
    for (Kernel* kernel :
         {&kernels::HalftoneMulti, &kernels::HalftoneMulti1440, &kernels::HalftoneMulti2880}) {
        KernelFixture f;
        f.setSpreadLevels(99, 0, 0, 0);
        f.errorThresholds[98] = kNever;
        f.errorThresholds[100] = kAlways;
        f.levelRecords[98].levelTotal = 600;
        uint8_t dst = 0;
        ASSERT_EQ(f.run(*kernel, {100}, &dst, 0, 1, 30), INKDOT_OK);
        std::vector<uint16_t> want(f.errorLine().size(), 0);
        uint16_t carry = 0;
        uint16_t* own = want.data() + kernels::kErrorLineGuard + 30;
        if (kernel == &kernels::HalftoneMulti) {
            EXPECT_EQ(dst, 0x00);
            kernels::diffuse<kernels::kA0>(own, 600, 0, carry);
        } else {
            EXPECT_EQ(dst, 0x40);
            const int32_t dotError = kernel == &kernels::HalftoneMulti2880 ? 510 : 255;
            kernels::diffuse<kernels::kB1>(own, 600 - dotError, 0, carry);
        }
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(uint16_t(f.errorLine()[i]), want[i]) << "entry " << i;
    }
}

// The pattern by member, index, decision and parity, compared with the
// named pattern's own expansion on a zero line. Every record holds a total
// of 300, so the error is 300, less the dot error after a (large) dot.
struct ChoiceCase {
    const char* name;
    Kernel* kernel;
    uint8_t input;  // with matrix value 2 (even) or 3 (odd, noise +1)
    bool odd;
    bool dot;
    DiffuseFn pattern;
};

class MultiPatternChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MultiPatternChoice, FollowsIndexDecisionAndParity) {
    const ChoiceCase& c = GetParam();
    KernelFixture f;
    f.setSpreadLevels(40, 30, 20, 10);
    f.setMatrix(1, 1, {c.odd ? 3 : 2});
    for (LevelRecord& r : f.levelRecords) r = {0, 0, int16_t(c.dot ? 1 : 0), 300};
    f.levelThresholds[1] = kHigh;
    for (int16_t& t : f.errorThresholds) t = kNever;
    uint8_t dst = 0;
    ASSERT_EQ(f.run(*c.kernel, {c.input}, &dst, 0, 1, 30), INKDOT_OK);
    EXPECT_EQ(dst, c.dot ? 0xC0 : 0x00);

    const int32_t dotError = c.kernel == &kernels::HalftoneMulti2880 ? 510 : 255;
    std::vector<uint16_t> want(f.errorLine().size(), 0);
    uint16_t carry = 0;
    c.pattern(want.data() + kernels::kErrorLineGuard + 30, c.dot ? 300 - dotError : 300,
              c.odd ? ~0u : 0u, carry);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(uint16_t(f.errorLine()[i]), want[i]) << "entry " << i;
}

using kernels::diffuse;
Kernel* const kMulti = &kernels::HalftoneMulti;
Kernel* const k1440 = &kernels::HalftoneMulti1440;
Kernel* const k2880 = &kernels::HalftoneMulti2880;
Kernel* const kMode = &kernels::HalftoneMultiMode;
const ChoiceCase kChoices[] = {
    // Table A on the noisy index (input + 1 when odd), without A5.
    {"A_AboveLevel1Dot", kMulti, 41, false, true, &diffuse<kernels::kA1>},
    {"A_AboveLevel1NoDot", kMulti, 40, true, false, &diffuse<kernels::kA1>},
    {"A_Level1NoDot", kMulti, 40, false, false, &diffuse<kernels::kA0>},
    {"A_Level1Dot", kMulti, 39, true, true, &diffuse<kernels::kA2>},
    {"A_Level2Dot", kMulti, 30, false, true, &diffuse<kernels::kA3>},
    {"A_Level3DotOdd", kMulti, 19, true, true, &diffuse<kernels::kA4>},
    {"A_Level4DotOdd", kMulti, 9, true, true, &diffuse<kernels::kA4>},
    {"A_LowDotEven", kMulti, 3, false, true, &diffuse<kernels::kA4>},
    // Table B on the plain index: B0 for every pixel without a dot.
    {"B_HighNoDot", k1440, 150, true, false, &diffuse<kernels::kB0>},
    {"B_LowNoDot", k1440, 5, false, false, &diffuse<kernels::kB0>},
    {"B_AboveLevel1Dot", k1440, 41, false, true, &diffuse<kernels::kB1>},
    {"B_Level1DotOdd", k1440, 40, true, true, &diffuse<kernels::kB2>},
    {"B_Level2Dot", k1440, 30, false, true, &diffuse<kernels::kB3>},
    {"B_Level3Dot", k1440, 20, false, true, &diffuse<kernels::kB4>},
    {"B_AboveLevel4Dot", k1440, 11, true, true, &diffuse<kernels::kB4>},
    {"B_Level4Dot", k1440, 10, false, true, &diffuse<kernels::kB5>},
    {"B2880_Level4Dot", k2880, 10, true, true, &diffuse<kernels::kB5>},
    {"B2880_AboveLevel1Dot", k2880, 100, false, true, &diffuse<kernels::kB1>},
    {"B2880_NoDot", k2880, 100, true, false, &diffuse<kernels::kB0>},
    // The half-width patterns: M1 above level 1; M0 without a dot, and with a
    // dot down to level 2; then M2 and M3.
    {"M_AboveLevel1Dot", kMode, 41, false, true, &diffuse<kernels::kM1>},
    {"M_AboveLevel1NoDot", kMode, 40, true, false, &diffuse<kernels::kM1>},
    {"M_Level1NoDot", kMode, 40, false, false, &diffuse<kernels::kM0>},
    {"M_LowNoDot", kMode, 4, true, false, &diffuse<kernels::kM0>},
    {"M_Level1Dot", kMode, 40, false, true, &diffuse<kernels::kM0>},
    {"M_AboveLevel2Dot", kMode, 30, true, true, &diffuse<kernels::kM0>},
    {"M_Level2Dot", kMode, 30, false, true, &diffuse<kernels::kM2>},
    {"M_AboveLevel3DotOdd", kMode, 20, true, true, &diffuse<kernels::kM2>},
    {"M_Level3Dot", kMode, 20, false, true, &diffuse<kernels::kM3>},
    {"M_LowDot", kMode, 2, true, true, &diffuse<kernels::kM3>},
};

INSTANTIATE_TEST_SUITE_P(Cases, MultiPatternChoice, ::testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

// The pair rule of mode 3 (pairFlag 1, inputScale -1): a pair of 0 and 255,
// in either order, is a small dot that passes the carry into its entry and
// spreads nothing. Pixel 0 (a large dot leaving an error of 64, pattern M1)
// holds back a carry of 512 and put 256 into each of the next two entries.
TEST(MultiModePairRule, PairPixels) {
    struct Case {
        const char* what;
        int32_t pairFlag, inputScale;
        std::vector<uint8_t> input;  // pixel 0, then pixel 1
        uint8_t code;                // pixel 1
        int16_t entry1, entry2;
    };
    // (1, 255) is an ordinary pixel of input 1: a small dot from its own
    // threshold, error 8 - 255 from the collected 256 / 32, spread by M1.
    const int16_t mine = 8 * (8 - 255) + 512, next = 256 + 4 * (8 - 255);
    const Case cases[] = {
        {"0 and 255", 1, -1, {100, 100, 0, 255}, 0x10, 512, 256},
        {"255 and 0", 1, -1, {100, 100, 255, 0}, 0x10, 512, 256},
        {"0 and 0: blank", 1, -1, {100, 100, 0, 0}, 0x00, 512, 256},
        {"1 and 255: ordinary", 1, -1, {100, 100, 1, 255}, 0x10, mine, next},
        {"mode 6: blank", 0, -1, {100, 100, 0, 255}, 0x00, 512, 256},
        {"pairFlag 2: blank", 2, -1, {100, 100, 255, 0}, 0x00, 512, 256},
        {"single bytes: blank", 1, 0, {100, 0}, 0x00, 512, 256},
    };
    for (const Case& c : cases) {
        KernelFixture f;
        f.setMatrix(1, 1, {2});
        f.setSpreadLevels(0, 0, 0, 0);
        f.params().inputScale = c.inputScale;
        f.levelRecords[100] = {0, 0, 1, 255 + 64};
        f.levelThresholds[1] = kHigh;
        f.errorThresholds[1] = kAlways;
        uint8_t dst = 0;
        ASSERT_EQ(f.run(kernels::HalftoneMultiMode, c.input, &dst, 0, 2, 0, 0, c.pairFlag),
                  INKDOT_OK)
            << c.what;
        EXPECT_EQ(dst, 0xC0 | c.code) << c.what;
        EXPECT_EQ(f.entry(1), c.entry1) << c.what;
        EXPECT_EQ(f.entry(2), c.entry2) << c.what;
    }
}

}  // namespace
}  // namespace inkdot
