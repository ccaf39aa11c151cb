// The one-bit diffusion kernels HalftoneBinary and HalftoneBinary1440 on
// hand-built contexts.
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

constexpr int16_t kNever = 30000;  // an errorThresholds entry no value reaches
constexpr int16_t kAlways = -30000;

struct Member {
    const char* name;
    Kernel* kernel;
};
const Member kMembers[] = {{"Binary", &kernels::HalftoneBinary},
                           {"Binary1440", &kernels::HalftoneBinary1440}};

class BinaryMember : public ::testing::TestWithParam<Member> {
protected:
    int32_t run(const std::vector<uint8_t>& input, uint8_t* dst, int32_t bitOffset,
                int32_t pixelCount, int32_t startX = 0, int32_t lineNumber = 0) {
        return f.run(*GetParam().kernel, input, dst, bitOffset, pixelCount, startX, lineNumber);
    }
    KernelFixture f{64};
};

INSTANTIATE_TEST_SUITE_P(Members, BinaryMember, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

// Each failing check returns before any byte, entry or lastLine is written,
// and the checks are made in their order.
TEST_P(BinaryMember, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t reserved, startX, pixelCount, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"reserved first", 1, 60, 10, 0, 9, INKDOT_RESERVED_NONZERO},
        {"then the range", 0, 60, 10, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", 0, -8, 16, 1, 0, INKDOT_LINE_TOO_LONG},
        {"a negative count", 0, 8, -4, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then enable", 0, 0, 10, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 8", 0, 0, 10, 1, 8, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 0, 10, 1, -1, INKDOT_UNSUPPORTED},
    };
    std::vector<uint8_t> input(16, 200);
    for (const Case& c : cases) {
        f.entry(5) = 77;
        std::array<uint8_t, 4> dst{0xA5, 0xA5, 0xA5, 0xA5};
        EXPECT_EQ(f.run(*GetParam().kernel, input, dst.data(), c.bitOffset, c.pixelCount, c.startX,
                        3, 0, c.enable, c.reserved),
                  c.result)
            << c.what;
        EXPECT_EQ(dst, (std::array<uint8_t, 4>{0xA5, 0xA5, 0xA5, 0xA5})) << c.what;
        EXPECT_EQ(f.state().lastLine, -12345) << c.what;
        for (size_t i = 0; i < f.errorLine().size(); ++i)
            ASSERT_EQ(f.errorLine()[i], i == 35 ? 77 : 0) << c.what << " entry " << i;
    }
}

TEST_P(BinaryMember, ZeroPixelsStillSetTheLineAndCloseTheByte) {
    std::vector<uint8_t> input(1, 200);
    uint8_t dst[2] = {0xFF, 0xFF};
    EXPECT_EQ(run(input, dst, 0, 0, 64, 9), INKDOT_OK);  // startX = maxPixels is fine
    EXPECT_EQ(f.state().lastLine, 9);
    EXPECT_EQ(dst[0], 0xFF);  // nothing to close at offset 0
    EXPECT_EQ(run(input, dst, 5, 0, 0, 10), INKDOT_OK);
    EXPECT_EQ(dst[0], 0xF8);  // slots 5..7 cleared
    EXPECT_EQ(dst[1], 0xFF);
    EXPECT_EQ(f.state().lastLine, 10);
}

// Pixels are dots or not by their input alone (blank 0, or an always-dot
// density); every bit offset and count packs them most significant bit
// first, keeps the slots in front of the offset and clears those after the
// last pixel.
TEST_P(BinaryMember, PacksBitsAtEveryOffset) {
    f.errorThresholds[9] = kAlways;
    const std::vector<uint8_t> input = {9, 0, 9, 9, 0, 0, 9, 0, 9, 9, 9, 0, 0, 9, 0, 9, 9, 0};
    for (int32_t bitOffset = 0; bitOffset < 8; ++bitOffset) {
        for (int32_t count = 0; count <= int32_t(input.size()); ++count) {
            uint8_t dst[5] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
            ASSERT_EQ(run(input, dst, bitOffset, count), INKDOT_OK);
            uint8_t want[5] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
            const int32_t end = bitOffset + count;
            if (count > 0 || bitOffset > 0) {
                for (int32_t slot = bitOffset; slot < (end + 7) / 8 * 8; ++slot) {
                    const bool dot = slot < end && input[size_t(slot - bitOffset)] != 0;
                    uint8_t& byte = want[slot / 8];
                    const uint8_t bit = uint8_t(0x80 >> (slot % 8));
                    byte = uint8_t(dot ? byte | bit : byte & ~bit);
                }
            }
            for (int i = 0; i < 5; ++i)
                ASSERT_EQ(dst[i], want[i])
                    << "offset " << bitOffset << " count " << count << " byte " << i;
        }
    }
}

// With no dot the error is the value itself and the own entry receives 8
// shares of it (A0 or B0), so the entry shows how the collected error was
// rounded: toward minus infinity.
TEST_P(BinaryMember, CollectedErrorRoundsDown) {
    f.setSpreadLevels(255, 0, 0, 0);
    f.errorThresholds[100] = kNever;
    struct Case {
        int16_t entry;
        int32_t add;
    };
    for (Case c : {Case{0, 0}, {31, 0}, {32, 1}, {-1, -1}, {-32, -1}, {-33, -2}, {-32768, -1024}}) {
        std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
        f.entry(4) = c.entry;
        uint8_t dst = 0;
        ASSERT_EQ(run({100}, &dst, 0, 1, 4), INKDOT_OK);
        EXPECT_EQ(f.entry(4), 8 * (100 + c.add)) << c.entry;
    }
}

// A dot when value >= errorThresholds[d] + bias, the bias from the matrix
// value's low byte alone.
TEST_P(BinaryMember, DecisionMeetsTheJitteredThreshold) {
    struct Case {
        int32_t u, bias;
    };
    for (Case c : {Case{7, 24},
                   {8, 20},
                   {128, 20},
                   {129, -20},
                   {247, -20},
                   {248, -24},
                   {0x4507, 24},
                   {0x4581, -20}}) {
        f.setMatrix(1, 1, {c.u});
        for (int32_t above : {0, 1}) {
            std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
            f.errorThresholds[100] = int16_t(100 - c.bias + above);
            uint8_t dst = 0;
            ASSERT_EQ(run({100}, &dst, 0, 1), INKDOT_OK);
            EXPECT_EQ(dst, above == 0 ? 0x80 : 0x00) << "u " << c.u << " threshold+" << above;
        }
    }
}

// A blank pixel (density index 0, whatever its byte) writes 0 into its entry
// and drops the carry: the next pixel's entry receives no carry from before.
TEST_P(BinaryMember, BlankPixelDropsErrorAndCarry) {
    f.densityMap[7] = 0;
    f.errorThresholds[50] = kNever;
    f.setSpreadLevels(0, 0, 0, 0);  // 50 > level 1: A1 (carry 4) or B0 (carry 0)
    uint8_t dst = 0xFF;
    ASSERT_EQ(run({50, 7, 50}, &dst, 0, 3, 10), INKDOT_OK);
    EXPECT_EQ(dst, 0x00);
    // Pixel 12 found pixel 10's R+2 share (4 x 50 either way), wrote its own
    // share with no carry, and put a B-1 share of 4 into pixel 11's entry,
    // which had dropped the R+1 share of pixel 10.
    const int32_t value = 50 + (4 * 50 >> 5);
    EXPECT_EQ(f.entry(12), 8 * value);
    EXPECT_EQ(f.entry(11), 4 * value);
}

// inputScale 1 reads a byte on the even pixels counted from startX and keeps
// its density on the next; -1 takes the larger byte of each pair.
TEST_P(BinaryMember, InputSampling) {
    f.errorThresholds[9] = kAlways;
    f.errorThresholds[200] = kAlways;
    uint8_t dst = 0;
    f.params().inputScale = 1;
    ASSERT_EQ(run({9, 0, 9}, &dst, 0, 6, 3), INKDOT_OK);
    EXPECT_EQ(dst, 0xCC);  // pixels 3,4 dots; 5,6 blank; 7,8 dots
    f.params().inputScale = -1;
    ASSERT_EQ(run({0, 9, 9, 0, 0, 0, 200, 3}, &dst, 0, 4, 3), INKDOT_OK);
    EXPECT_EQ(dst, 0xD0);
    f.params().inputScale = 2;  // any other value: one byte a pixel
    ASSERT_EQ(run({9, 0, 9}, &dst, 0, 3, 3), INKDOT_OK);
    EXPECT_EQ(dst, 0xA0);
}

// After a dot the error is value - dotValues[d], the table entry taken as
// unsigned: only the half shares of B5 can tell, so this is
// HalftoneBinary1440 at a density at or below level 4.
TEST(Binary1440, DotValueIsUnsigned) {
    KernelFixture f;
    f.setSpreadLevels(40, 30, 20, 10);
    f.errorThresholds[5] = kAlways;
    f.dotValues[5] = -1;  // 65535
    uint8_t dst = 0;
    ASSERT_EQ(f.run(kernels::HalftoneBinary1440, {5}, &dst, 0, 1, 20), INKDOT_OK);
    EXPECT_EQ(dst, 0x80);
    const int32_t error = 5 - 65535;
    EXPECT_EQ(f.entry(20), int16_t(uint16_t(error >> 1)));  // B0 of B5: a half share
    EXPECT_EQ(f.entry(21), int16_t(uint16_t(error)));       // R+1: a whole share
    EXPECT_EQ(f.entry(30), int16_t(uint16_t(error >> 1)));  // R+10: half again
}

// The pattern a pixel uses, by member, density, decision and parity. The
// error line after one pixel on a zero line is compared with the named
// pattern's own expansion (whose shares the pattern tests check).
struct ChoiceCase {
    const char* name;
    Kernel* kernel;
    int16_t d;
    bool dot;
    int32_t u;
    void (*pattern)(uint16_t*, int32_t, uint32_t, uint16_t&);
};

class BinaryPatternChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BinaryPatternChoice, FollowsDensityDecisionAndParity) {
    const ChoiceCase& c = GetParam();
    KernelFixture f;
    f.setSpreadLevels(40, 30, 20, 10);
    f.setMatrix(1, 1, {c.u});
    f.errorThresholds[size_t(c.d)] = c.dot ? kAlways : kNever;
    f.dotValues[size_t(c.d)] = 3;
    uint8_t dst = 0;
    ASSERT_EQ(f.run(*c.kernel, {uint8_t(c.d)}, &dst, 0, 1, 30), INKDOT_OK);
    EXPECT_EQ(dst, c.dot ? 0x80 : 0x00);

    std::vector<uint16_t> want(f.errorLine().size(), 0);
    uint16_t carry = 0;
    c.pattern(want.data() + kernels::kErrorLineGuard + 30, c.dot ? c.d - 3 : c.d,
              kernels::parityMask(c.u), carry);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(uint16_t(f.errorLine()[i]), want[i]) << "entry " << i;
}

using kernels::diffuse;
const ChoiceCase kChoices[] = {
    // Table A: above level 1 the same pattern with and without a dot.
    {"AboveLevel1Dot", &kernels::HalftoneBinary, 41, true, 0, &diffuse<kernels::kA1>},
    {"AboveLevel1NoDot", &kernels::HalftoneBinary, 41, false, 0, &diffuse<kernels::kA1>},
    {"Level1NoDot", &kernels::HalftoneBinary, 40, false, 0, &diffuse<kernels::kA0>},
    {"LowNoDot", &kernels::HalftoneBinary, 3, false, 1, &diffuse<kernels::kA0>},
    {"Level1Dot", &kernels::HalftoneBinary, 40, true, 1, &diffuse<kernels::kA2>},
    {"AboveLevel2Dot", &kernels::HalftoneBinary, 31, true, 0, &diffuse<kernels::kA2>},
    {"Level2Dot", &kernels::HalftoneBinary, 30, true, 0, &diffuse<kernels::kA3>},
    {"Level3Dot", &kernels::HalftoneBinary, 20, true, 1, &diffuse<kernels::kA4>},
    // L4' is level 4 - 1 for an even matrix value, level 4 for an odd one.
    {"Level4DotEven", &kernels::HalftoneBinary, 10, true, 2, &diffuse<kernels::kA4>},
    {"Level4DotOdd", &kernels::HalftoneBinary, 10, true, 3, &diffuse<kernels::kA5>},
    {"BelowLevel4DotEven", &kernels::HalftoneBinary, 9, true, 2, &diffuse<kernels::kA5>},
    {"AboveLevel4DotOdd", &kernels::HalftoneBinary, 11, true, 3, &diffuse<kernels::kA4>},
    // Table B: every pixel without a dot uses B0, even the densest.
    {"B_HighNoDot", &kernels::HalftoneBinary1440, 250, false, 1, &diffuse<kernels::kB0>},
    {"B_LowNoDot", &kernels::HalftoneBinary1440, 5, false, 0, &diffuse<kernels::kB0>},
    {"B_AboveLevel1Dot", &kernels::HalftoneBinary1440, 41, true, 0, &diffuse<kernels::kB1>},
    {"B_Level1Dot", &kernels::HalftoneBinary1440, 40, true, 0, &diffuse<kernels::kB2>},
    {"B_Level2Dot", &kernels::HalftoneBinary1440, 30, true, 1, &diffuse<kernels::kB3>},
    {"B_Level3Dot", &kernels::HalftoneBinary1440, 20, true, 0, &diffuse<kernels::kB4>},
    {"B_Level4Dot", &kernels::HalftoneBinary1440, 10, true, 1, &diffuse<kernels::kB5>},
    {"B_Level4DotEven", &kernels::HalftoneBinary1440, 10, true, 0, &diffuse<kernels::kB5>},
};

INSTANTIATE_TEST_SUITE_P(Cases, BinaryPatternChoice, ::testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

// The matrix column is the absolute position masked by the width, the row
// lineNumber modulo the height (unsigned).
TEST(BinaryMatrix, AddressedByAbsolutePosition) {
    KernelFixture f;
    // Only the value 200 (bias -20) lets the density through; 0 biases +24.
    f.setMatrix(4, 3, {0, 200, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0});
    f.errorThresholds[100] = 100 + 20;
    struct Case {
        int32_t lineNumber;
        int32_t dotColumn;  // -1: none
    };
    for (Case c : {Case{4, 2}, {7, 2}, {3, 1}, {-2, -1}}) {  // 0xFFFFFFFE mod 3 = 2
        for (int32_t x = 5; x < 13; ++x) {
            std::fill(f.errorLine().begin(), f.errorLine().end(), 0);
            uint8_t dst = 0;
            ASSERT_EQ(f.run(kernels::HalftoneBinary, {100}, &dst, 0, 1, x, c.lineNumber),
                      INKDOT_OK);
            EXPECT_EQ(dst, (x & 3) == c.dotColumn ? 0x80 : 0x00)
                << "line " << c.lineNumber << " x " << x;
        }
    }
}

}  // namespace
}  // namespace inkdot
