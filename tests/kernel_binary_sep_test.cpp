// The one-bit separating kernels HalftoneBinarySep, HalftoneBinarySep360 and
// HalftoneBinarySep1440 on hand-built contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "kernels/diffusion.h"
#include "kernels/kernels.h"
#include "support/error_span.h"
#include "support/separation_fixtures.h"

namespace inkdot {
namespace {

using kernels::Kernel;
using test::Amounts;
using test::channelsOf;
using test::Levels;
using test::repeatPixel;
using test::SeparationFixture;

constexpr int16_t kNever = 30000;  // an errorThresholds entry no value reaches
constexpr int16_t kAlways = -30000;
constexpr int32_t kCovers = 1 << 20;  // a levelThresholds entry above every matrix value

// Planes of the amounts a0..a5.
constexpr int kPlaneOf[6] = {0, 4, 1, 5, 2, 3};

struct Member {
    const char* name;
    Kernel* kernel;
};
const Member kMembers[] = {{"BinarySep", &kernels::HalftoneBinarySep},
                           {"BinarySep360", &kernels::HalftoneBinarySep360},
                           {"BinarySep1440", &kernels::HalftoneBinarySep1440}};

class BinarySepMember : public ::testing::TestWithParam<Member> {
protected:
    Kernel& kernel() const { return *GetParam().kernel; }
};
INSTANTIATE_TEST_SUITE_P(Members, BinarySepMember, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

void fillErrorThresholds(SeparationFixture& f, int16_t value) {
    std::fill(f.base.errorThresholds.begin(), f.base.errorThresholds.end(), value);
}

// '.' and 'x' for slots 0..count-1, 'x' inside the half-open ranges.
std::string dotsIn(int32_t count, std::initializer_list<std::pair<int32_t, int32_t>> ranges) {
    std::string s(size_t(count), '.');
    for (auto [from, to] : ranges)
        for (int32_t i = from; i < to; ++i) s[size_t(i)] = 'x';
    return s;
}

// Each failing check returns before any plane byte, error entry, lastLine or
// lastEnd is written, in the order range, pair value, enable, bit offset;
// `reserved` is not read.
TEST_P(BinarySepMember, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, pairFlag, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"range first", 60, 10, 2, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", -8, 16, 0, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then the pair value", 0, 10, 2, 0, 9, INKDOT_DEPTH_MISMATCH},
        {"a negative pair value passes", 0, 10, -7, 0, 9, INKDOT_NOT_ENABLED},
        {"then enable", 0, 10, 1, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 8", 0, 10, 0, 1, 8, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 0, 1, -1, INKDOT_UNSUPPORTED},
    };
    SeparationFixture f;
    f.setEntry({1, 1, 1, 1}, {10, 20, 30, 40, 50, 60});
    const auto input = repeatPixel(channelsOf({1, 1, 1, 1}), 16);
    for (const Case& c : cases) {
        f.planes.fill(0xA5);
        for (int line = 0; line < 3; ++line)
            std::fill(f.errorLine(line).begin(), f.errorLine(line).end(), 3);
        EXPECT_EQ(
            f.run(kernel(), input, c.pixelCount, c.startX, 7, c.bitOffset, c.pairFlag, c.enable),
            c.result)
            << c.what;
        EXPECT_TRUE(std::all_of(f.planes.begin(), f.planes.end(), [](uint8_t b) {
            return b == 0xA5;
        })) << c.what;
        EXPECT_EQ(f.state().lastLine, -12345) << c.what;
        EXPECT_EQ(f.state().lastEnd, -12345) << c.what;
        for (int line = 0; line < 3; ++line)
            EXPECT_TRUE(std::all_of(f.errorLine(line).begin(), f.errorLine(line).end(),
                                    [](int16_t e) { return e == 3; }))
                << c.what << " line " << line;
    }
    EXPECT_EQ(kernel()(f.view(), f.state(), input.data(), f.planes.data(), f.kPlaneStride, 0, 4, 0,
                       1, 7, 0, /*reserved*/ 1),
              INKDOT_OK);
}

// A pixel whose four values are all 0 gets no dot, zeroes its entry on both
// lines and drops both carries; the smoothing memory (and the activity) stay
// as the last non-blank pixel left them.
TEST_P(BinarySepMember, BlankPixelDropsErrorAndCarries) {
    SeparationFixture f;
    fillErrorThresholds(f, kNever);
    f.base.levelThresholds[5] = kCovers;  // a4 and a5 of 5 always dot
    const Levels k0{1, 2, 3, 4}, k2{1, 2, 4, 4};
    f.setEntry(k0, {0, 40, 0, 40, 5, 5});
    f.setEntry(k2, {0, 60, 0, 60, 5, 5});
    auto input = repeatPixel(channelsOf(k0), 1);
    for (uint8_t c : std::array<uint8_t, 4>{0, 0, 0, 0}) input.push_back(c);
    for (uint8_t c : channelsOf(k2)) input.push_back(c);
    f.setSpreadLevels(0, 0, 0, 0);
    for (int line = 0; line < 2; ++line) f.entry(line, 11) = 999;
    ASSERT_EQ(f.run(kernel(), input, 3, 10), INKDOT_OK);
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(f.dots(p, 3), p == 2 || p == 3 ? "x.x" : "...") << "plane " << p;

    // Pixel 10 spreads E0 = 40 (A1: carry 4 x E0; B0: none). The blank pixel
    // 11 drops the R+1 share that landed in its entry and the carry. Pixel 12
    // collects the R+2 share 4 x E0 / 32 = 5 and is smoothed with pixel 10:
    // (60 + 40 + 1) / 2 = 50, so E2 = 55; its entry holds 8 x E2 with no
    // carry and pixel 11's entry only its B-1 share 4 x E2.
    for (int line = 0; line < 2; ++line) {
        EXPECT_EQ(f.entry(line, 12), 8 * 55) << "line " << line;
        EXPECT_EQ(f.entry(line, 11), 4 * 55) << "line " << line;
    }
}

// A diffused ink is active on the first four non-blank pixels of a call and
// for five non-blank pixels from every pixel whose amount is not 0; an
// inactive ink writes only its carry (0 after A0 or B0) into its entry and
// spreads nothing, while an active one with amount 0 still diffuses its
// partner's amount.
TEST_P(BinarySepMember, ActivityExpiresAfterFiveNonBlankPixels) {
    SeparationFixture f(1, 64);
    fillErrorThresholds(f, kNever);
    f.setSpreadLevels(100, 0, 0, 0);  // no dots: A0 or B0, which keep no carry
    const Levels plain{2, 2, 2, 2}, armed{2, 2, 2, 3};
    f.setEntry(plain, {20, 0, 30, 0, 0, 0});
    f.setEntry(armed, {20, 7, 30, 0, 0, 0});
    // N N B N N | N N N N N | R | N N N N | N N N
    const std::string layout = "NNBNNNNNNNRNNNNNNN";
    std::vector<uint8_t> input;
    for (char c : layout) {
        const auto px = c == 'B' ? std::array<uint8_t, 4>{} : channelsOf(c == 'R' ? armed : plain);
        input.insert(input.end(), px.begin(), px.end());
    }
    ASSERT_EQ(f.run(kernel(), input, int32_t(layout.size()), 0), INKDOT_OK);
    for (int32_t x = 0; x < int32_t(layout.size()); ++x) {
        // Ink A: active at 0..4 (the blank included, through its neighbour's
        // share) and 10..14; ink B (never armed) only at 0..4. Entries 5 and
        // 6 lie beyond every B- share of pixel 10.
        const bool activeA = x <= 4 || (x >= 10 && x <= 14);
        if (x <= 6 || x >= 10) {
            EXPECT_EQ(f.entry(0, x) != 0, activeA) << "line A, x " << x;
        }
        EXPECT_EQ(f.entry(1, x) != 0, x <= 4) << "line B, x " << x;
    }
}

// The stack on u0: a5 takes ranks 0 .. T(a5)-1, a0 the next T(a0), a2 the
// next T(a2); under an a5 dot an ink whose amount no longer fits beside a5's
// (sum above 255) takes its ranks from the top; a2 whose stack runs past the
// top does too. a4 stands alone on the matrix 48 columns on.
TEST(BinarySepStack, InksAvoidEachOther) {
    struct Case {
        const char* what;
        Amounts amounts;  // a0..a5
        std::vector<std::pair<int, int32_t>> thresholds;
        std::string plane3, plane0, plane1, plane2;
    };
    const Case cases[] = {
        {"a5 200 and a0 100 overlap at the top",
         {100, 0, 0, 0, 0, 200},
         {{200, 220}, {100, 60}},
         dotsIn(256, {{0, 220}}),
         dotsIn(256, {{196, 256}}),
         dotsIn(256, {}),
         dotsIn(256, {})},
        {"three inks one after the other",
         {60, 0, 70, 0, 0, 50},
         {{50, 50}, {60, 60}, {70, 70}},
         dotsIn(256, {{0, 50}}),
         dotsIn(256, {{50, 110}}),
         dotsIn(256, {{110, 180}}),
         dotsIn(256, {})},
        {"a2 past the top is laid from the top",
         {100, 0, 100, 0, 0, 100},
         {{100, 100}},
         dotsIn(256, {{0, 100}}),
         dotsIn(256, {{100, 200}}),
         dotsIn(256, {{156, 256}}),
         dotsIn(256, {})},
        {"a2 200 over a5 100",
         {0, 0, 100, 0, 0, 200},
         {{200, 220}, {100, 60}},
         dotsIn(256, {{0, 220}}),
         dotsIn(256, {}),
         dotsIn(256, {{196, 256}}),
         dotsIn(256, {})},
        {"a4 on the matrix 48 columns on",
         {0, 0, 0, 0, 30, 0},
         {{30, 40}},
         dotsIn(256, {}),
         dotsIn(256, {}),
         dotsIn(256, {}),
         dotsIn(256, {{208, 248}})},
    };
    std::vector<int32_t> ramp(256);
    for (int32_t i = 0; i < 256; ++i) ramp[size_t(i)] = i;
    for (const Member& m : kMembers) {
        for (const Case& c : cases) {
            SeparationFixture f(1, 256);
            f.setMatrix(256, 1, ramp);
            fillErrorThresholds(f, kNever);
            for (auto [a, t] : c.thresholds) f.base.levelThresholds[size_t(a)] = t;
            f.setEntry({3, 3, 3, 3}, c.amounts);
            ASSERT_EQ(f.run(*m.kernel, repeatPixel(channelsOf({3, 3, 3, 3}), 256), 256, 0),
                      INKDOT_OK);
            EXPECT_EQ(f.dots(3, 256), c.plane3) << m.name << ": " << c.what;
            EXPECT_EQ(f.dots(0, 256), c.plane0) << m.name << ": " << c.what;
            EXPECT_EQ(f.dots(1, 256), c.plane1) << m.name << ": " << c.what;
            EXPECT_EQ(f.dots(2, 256), c.plane2) << m.name << ": " << c.what;
        }
    }
}

// A partner's ordered dot blocks the diffused dot in HalftoneBinarySep and
// HalftoneBinarySep1440 and still takes 254 from the error; in
// HalftoneBinarySep360 both dots are placed, each takes 255, and the error is
// spread with A1.
TEST(BinarySepPartner, BlocksOrAddsItsDot) {
    struct Case {
        Kernel* kernel;
        bool diffusedDot;
        int32_t error;  // of V = 50 + 10
        void (*pattern)(uint16_t*, int32_t, uint32_t, uint16_t&);
    };
    const Case cases[] = {
        {&kernels::HalftoneBinarySep, false, 60 - 254, &kernels::diffuse<kernels::kA0>},
        {&kernels::HalftoneBinarySep1440, false, 60 - 254, &kernels::diffuse<kernels::kB0>},
        {&kernels::HalftoneBinarySep360, true, 60 - 510, &kernels::diffuse<kernels::kA1>},
    };
    for (const Case& c : cases) {
        SeparationFixture f;
        f.setSpreadLevels(100, 0, 0, 0);
        fillErrorThresholds(f, kAlways);
        f.base.levelThresholds[10] = 1;  // a0 and a2 of 10 cover the single rank
        f.setEntry({1, 1, 1, 1}, {10, 50, 10, 50, 0, 0});
        ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 20), INKDOT_OK);
        std::vector<uint16_t> want(f.errorLine(0).size(), 0);
        uint16_t carry = 0;
        c.pattern(want.data() + kernels::kErrorLineGuard + 20, c.error, 0, carry);
        for (int ink = 0; ink < 2; ++ink) {
            EXPECT_TRUE(f.dot(ink, 0)) << "partner plane " << ink;
            EXPECT_EQ(f.dot(4 + ink, 0), c.diffusedDot) << "diffused plane " << 4 + ink;
            for (size_t i = 0; i < want.size(); ++i)
                ASSERT_EQ(uint16_t(f.errorLine(ink)[i]), want[i])
                    << "ink " << ink << " entry " << i;
        }
    }
}

// A diffused dot when V >= errorThresholds[index] + b for ink A and
// errorThresholds[index] - b for ink B, with b from the quantiser's dither t
// (the matrix value with bit 0 cleared), and the index by member; an index
// beyond the table reads its last entry.
TEST(BinarySepThreshold, IndexAndBiasByInk) {
    struct Case {
        Kernel* kernel;
        int32_t u;
        int32_t bias;
        Amounts amounts;
        int32_t indexA, indexB;
    };
    const Amounts usual{4, 20, 6, 30, 0, 3};
    const Amounts wide{100, 200, 110, 190, 0, 100};
    const Case cases[] = {
        {&kernels::HalftoneBinarySep, 0, 24, usual, 20 + 2 * 7, 30 + 2 * 9},
        {&kernels::HalftoneBinarySep, 7, 24, usual, 34, 48},
        {&kernels::HalftoneBinarySep, 9, 20, usual, 34, 48},
        {&kernels::HalftoneBinarySep, 129, 20, usual, 34, 48},  // t = 128
        {&kernels::HalftoneBinarySep, 130, -20, usual, 34, 48},
        {&kernels::HalftoneBinarySep, 247, -20, usual, 34, 48},  // t = 246
        {&kernels::HalftoneBinarySep, 248, -24, usual, 34, 48},
        {&kernels::HalftoneBinarySep1440, 130, -20, usual, 34, 48},
        {&kernels::HalftoneBinarySep360, 0, 24, usual, 24, 36},
        {&kernels::HalftoneBinarySep360, 248, -24, usual, 24, 36},
        {&kernels::HalftoneBinarySep, 0, 24, wide, 511, 511},
        {&kernels::HalftoneBinarySep1440, 248, -24, wide, 511, 511},
        {&kernels::HalftoneBinarySep360, 0, 24, wide, 300, 300},
    };
    for (const Case& c : cases) {
        const int32_t valueA = c.amounts[0] + c.amounts[1];
        const int32_t valueB = c.amounts[2] + c.amounts[3];
        for (int32_t above : {0, 1}) {
            SeparationFixture f;
            f.setMatrix(1, 1, {c.u});
            fillErrorThresholds(f, kNever);
            f.setEntry({1, 1, 1, 1}, c.amounts);
            f.base.errorThresholds[size_t(c.indexA)] = int16_t(valueA - c.bias + above);
            f.base.errorThresholds[size_t(c.indexB)] = int16_t(valueB + c.bias + above);
            if (c.indexA == c.indexB && valueA - c.bias != valueB + c.bias) {
                // One shared entry: test the inks one at a time.
                f.base.errorThresholds[size_t(c.indexA)] = int16_t(valueA - c.bias + above);
                ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 0),
                          INKDOT_OK);
                EXPECT_EQ(f.dot(4, 0), above == 0) << "u " << c.u << " ink A";
                f.clearErrorLines();
                f.base.errorThresholds[size_t(c.indexB)] = int16_t(valueB + c.bias + above);
                ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 0),
                          INKDOT_OK);
                EXPECT_EQ(f.dot(5, 0), above == 0) << "u " << c.u << " ink B";
                continue;
            }
            ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 0), INKDOT_OK);
            EXPECT_EQ(f.dot(4, 0), above == 0) << "u " << c.u << " index " << c.indexA;
            EXPECT_EQ(f.dot(5, 0), above == 0) << "u " << c.u << " index " << c.indexB;
        }
    }
}

// Next to a pixel whose levels lie within one step in every channel, each
// amount is the mean of its own and the previous pixel's final amount,
// rounded up for an even u0 and down for an odd one; a4 only while its
// previous amount is below 12. The first pixel, and a jump of two levels,
// are not smoothed.
TEST(BinarySepSmoothing, MeanWithThePreviousPixel) {
    struct Pixel {
        Levels k;
        uint8_t a4, a5;
    };
    struct Case {
        const char* what;
        int32_t u;  // matrix value of every pixel
        std::vector<Pixel> pixels;
        std::vector<std::pair<int, int>> want;  // a4, a5 per pixel
    };
    const Case cases[] = {
        {"one step, even",
         2,
         {{{1, 1, 1, 1}, 11, 10}, {{2, 1, 1, 1}, 31, 21}},
         {{11, 10}, {21, 16}}},
        {"one step, odd",
         3,
         {{{1, 1, 1, 1}, 11, 10}, {{2, 1, 1, 1}, 31, 21}},
         {{11, 10}, {21, 15}}},
        {"a4 from 12 is kept",
         2,
         {{{1, 1, 1, 1}, 12, 10}, {{2, 1, 1, 1}, 31, 21}},
         {{12, 10}, {31, 16}}},
        {"a step in every channel",
         2,
         {{{1, 2, 3, 4}, 0, 10}, {{2, 1, 4, 3}, 5, 21}},
         {{0, 10}, {3, 16}}},
        {"two steps", 2, {{{1, 1, 1, 1}, 11, 10}, {{1, 1, 3, 1}, 31, 21}}, {{11, 10}, {31, 21}}},
        {"the previous final amount",
         2,
         {{{1, 1, 1, 1}, 0, 10}, {{1, 1, 1, 2}, 0, 30}, {{1, 1, 2, 2}, 0, 50}},
         {{0, 10}, {0, 20}, {0, 35}}},
    };
    for (const Member& m : kMembers) {
        for (const Case& c : cases) {
            for (size_t probe = 0; probe < c.pixels.size(); ++probe) {
                for (int ink : {4, 5}) {
                    SeparationFixture f;
                    f.setMatrix(1, 1, {c.u});
                    fillErrorThresholds(f, kNever);
                    std::vector<uint8_t> input;
                    for (const Pixel& p : c.pixels) {
                        f.setEntry(p.k, {0, 0, 0, 0, p.a4, p.a5});
                        const auto px = channelsOf(p.k);
                        input.insert(input.end(), px.begin(), px.end());
                    }
                    const int want = ink == 4 ? c.want[probe].first : c.want[probe].second;
                    f.base.levelThresholds[size_t(want)] = kCovers;
                    ASSERT_EQ(f.run(*m.kernel, input, int32_t(c.pixels.size()), 0), INKDOT_OK);
                    EXPECT_TRUE(f.dot(kPlaneOf[ink], int32_t(probe)))
                        << m.name << ": " << c.what << ", pixel " << probe << ", a" << ink
                        << " should be " << want;
                }
            }
        }
    }
}

// inputScale 1 serves each input pixel to two output pixels; every other
// value (-1 included) reads one pixel of four bytes per output pixel.
TEST_P(BinarySepMember, InputSampling) {
    SeparationFixture f;
    fillErrorThresholds(f, kNever);
    f.base.levelThresholds[5] = kCovers;
    f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, 0, 5});
    auto input = repeatPixel(channelsOf({1, 1, 1, 1}), 1);
    input.insert(input.end(), 4, 0);
    const auto last = channelsOf({1, 1, 1, 1});
    input.insert(input.end(), last.begin(), last.end());
    struct Case {
        int32_t inputScale, count;
        const char* plane3;
    };
    for (Case c : {Case{1, 6, "xx..xx"}, {-1, 3, "x.x"}, {0, 3, "x.x"}, {2, 3, "x.x"}}) {
        f.params().inputScale = c.inputScale;
        ASSERT_EQ(f.run(kernel(), input, c.count, 0), INKDOT_OK);
        EXPECT_EQ(f.dots(3, c.count), c.plane3) << "inputScale " << c.inputScale;
    }
}

// All six planes share the slot position: the slots in front of bitOffset
// keep what each plane's byte holds, those after the last pixel are cleared,
// and plane p lies p strides on.
TEST_P(BinarySepMember, PacksSixPlanesAtAnOffset) {
    SeparationFixture f;
    fillErrorThresholds(f, kAlways);
    f.base.levelThresholds[1] = kCovers;
    f.setEntry({1, 1, 1, 1}, {0, 100, 0, 100, 1, 1});  // dots in planes 2..5
    f.planes.fill(0xA5);
    ASSERT_EQ(f.run(kernel(), repeatPixel(channelsOf({1, 1, 1, 1}), 7), 7, 0, 0, 3), INKDOT_OK);
    for (int p = 0; p < 6; ++p) {
        const uint8_t* plane = f.planes.data() + p * f.kPlaneStride;
        const bool dotted = p >= 2;
        EXPECT_EQ(plane[0], dotted ? 0xBF : 0xA0) << "plane " << p;
        EXPECT_EQ(plane[1], dotted ? 0xC0 : 0x00) << "plane " << p;
        EXPECT_EQ(plane[2], 0xA5) << "plane " << p;
    }
}

// A pixel x reads the matrix row at columns x, x + 24 and x + 48, each masked
// by width - 1, so a row repeats after the power of two above the mask:
// widths that are not powers of two, the widest a resource builds (512) and a
// wider one, on a line several periods long that starts off column 0. The a5
// dot shows column x, the a4 dot column x + 48, and the grid level that a
// quantiser step takes (a4 of 100 or 200) the dither of column x + 24.
TEST_P(BinarySepMember, ReadsMaskedMatrixColumns) {
    constexpr int32_t kStartX = 37, kCount = 1300;
    constexpr uint8_t kStepChannel = 8 + 3;                // level 1, or 2 from a dither of 128
    constexpr uint8_t kA4Low = 23, kA4High = 25, kA5 = 7;  // a4 from 12 is not smoothed
    for (int32_t width : {1, 6, 100, 512, 1024}) {
        SeparationFixture f(1, kStartX + kCount);
        const int32_t range = std::max(width, 256);
        std::vector<int32_t> matrix(static_cast<size_t>(width));
        uint32_t seed = uint32_t(width) * 2654435761u;
        for (int32_t& v : matrix) {
            seed = seed * 1103515245u + 12345u;
            v = int32_t((seed >> 8) % uint32_t(range));
        }
        f.setMatrix(width, 1, matrix);
        fillErrorThresholds(f, kNever);
        f.setQuantiser(kStepChannel, 1, 128);
        f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, kA4Low, kA5});
        f.setEntry({1, 1, 1, 2}, {0, 0, 0, 0, kA4High, kA5});
        f.base.levelThresholds[kA4Low] = range / 3;
        f.base.levelThresholds[kA4High] = 2 * range / 3;
        f.base.levelThresholds[kA5] = range / 2;
        const auto input = repeatPixel({9, 9, 9, kStepChannel}, kCount);

        const int32_t stride = (kCount + 7) / 8;
        std::vector<uint8_t> planes(size_t(6 * stride));
        ASSERT_EQ(kernel()(f.view(), f.state(), input.data(), planes.data(), stride, 0, kCount,
                           kStartX, 1, 0, 0, 0),
                  INKDOT_OK);

        const int32_t mask = width - 1;
        int32_t shift = 0;  // matrices of more than 256 ranks are scaled into a byte
        for (int32_t v = (width + 1) >> 9; v != 0; v >>= 1) ++shift;
        auto at = [&](int32_t x) { return matrix[size_t(x & mask)]; };
        auto dotAt = [&](int plane, int32_t i) {
            return (planes[size_t(plane * stride + i / 8)] >> (7 - i % 8)) & 1;
        };
        int wrong = 0;
        for (int32_t i = 0; i < kCount && wrong < 5; ++i) {
            const int32_t x = kStartX + i;
            const bool stepped = ((at(x + 24) >> shift) & 0xFE) >= 128;
            const int32_t t4 = stepped ? 2 * range / 3 : range / 3;
            const bool want4 = at(x + 48) < t4, want5 = at(x) < range / 2;
            if (dotAt(kPlaneOf[4], i) != want4 || dotAt(kPlaneOf[5], i) != want5) {
                ++wrong;
                ADD_FAILURE() << "width " << width << ", x " << x << ": a4 "
                              << dotAt(kPlaneOf[4], i) << " (want " << want4 << "), a5 "
                              << dotAt(kPlaneOf[5], i) << " (want " << want5 << ")";
            }
        }
    }
}

// Long calls quantise in 16-bit lanes when every quantiser level stays on the
// grid, other calls pair by pair. On random lines the two give the same
// planes and error lines: the second run differs only in the quantiser pair
// of input value 255, which the line never holds and which leaves the grid.
TEST_P(BinarySepMember, LaneLevelsMatchPairLevels) {
    constexpr int32_t kStartX = 3, kCount = 1500;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    for (int32_t inputScale : {0, 1}) {
        SeparationFixture f(1, kStartX + kCount);
        f.params().inputScale = inputScale;
        std::vector<int32_t> matrix(64 * 4);
        for (int32_t& v : matrix) v = int32_t(next(256));
        f.setMatrix(64, 4, matrix);
        for (uint8_t& b : f.table) b = uint8_t(next(256));
        for (int c = 0; c < 255; ++c)
            f.setQuantiser(uint8_t(c), uint8_t(next(31)), uint8_t(next(256)));
        for (int32_t& t : f.base.levelThresholds) t = int32_t(next(256));
        for (int16_t& t : f.base.errorThresholds) t = int16_t(int32_t(next(700)) - 100);
        f.setSpreadLevels(60, 40, 20, 10);
        std::vector<uint8_t> input(size_t(4 * kCount));
        for (size_t i = 0; i < input.size(); i += 4) {
            const bool blank = next(20) == 0;
            for (size_t k = 0; k < 4; ++k) input[i + k] = blank ? 0 : uint8_t(next(255));
        }
        for (int line = 0; line < 2; ++line)
            for (int16_t& e : f.errorLine(line)) e = int16_t(int32_t(next(2000)) - 1000);
        const auto startLines = std::array{f.errorLine(0), f.errorLine(1)};

        const int32_t stride = (kCount + 7) / 8;
        std::array<std::vector<uint8_t>, 2> planes;
        std::array<std::array<std::vector<int16_t>, 2>, 2> lines;
        for (int run = 0; run < 2; ++run) {
            if (run == 1) f.setQuantiser(255, 31, 0);  // level 32 from a dither of 0
            f.state().lastLine = -12345;
            f.state().lastEnd = -12345;
            f.errorLine(0) = startLines[0];
            f.errorLine(1) = startLines[1];
            planes[size_t(run)].assign(size_t(6 * stride), 0);
            ASSERT_EQ(kernel()(f.view(), f.state(), input.data(), planes[size_t(run)].data(),
                               stride, 0, kCount, kStartX, 1, 5, 0, 0),
                      INKDOT_OK);
            lines[size_t(run)] = {f.errorLine(0), f.errorLine(1)};
        }
        EXPECT_EQ(planes[0], planes[1]) << "inputScale " << inputScale;
        EXPECT_EQ(lines[0][0], lines[1][0]) << "inputScale " << inputScale;
        EXPECT_EQ(lines[0][1], lines[1][1]) << "inputScale " << inputScale;
    }
}

// The pattern a diffused ink's error takes, by member, amount, its own dot,
// the partner's dot and parity; the error line after one pixel on zero lines
// is compared with the pattern's own expansion.
struct ChoiceCase {
    const char* name;
    Kernel* kernel;
    uint8_t amount;
    bool dot;
    bool partnerDot;
    int32_t u;
    int32_t error;
    void (*pattern)(uint16_t*, int32_t, uint32_t, uint16_t&);
};

class BinarySepPatternChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BinarySepPatternChoice, FollowsAmountDecisionAndPartner) {
    const ChoiceCase& c = GetParam();
    SeparationFixture f;
    f.setSpreadLevels(40, 30, 20, 10);
    f.setMatrix(1, 1, {c.u});
    fillErrorThresholds(f, c.dot ? kAlways : kNever);
    f.base.levelThresholds[5] = c.partnerDot ? kCovers : 0;
    f.setEntry({1, 1, 1, 1}, {5, c.amount, 0, 0, 0, 0});
    ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 30), INKDOT_OK);
    EXPECT_EQ(f.dot(4, 0), c.dot);
    EXPECT_EQ(f.dot(0, 0), c.partnerDot);

    std::vector<uint16_t> want(f.errorLine(0).size(), 0);
    uint16_t carry = 0;
    c.pattern(want.data() + kernels::kErrorLineGuard + 30, c.error, kernels::parityMask(c.u),
              carry);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(uint16_t(f.errorLine(0)[i]), want[i]) << "entry " << i;
}

using kernels::diffuse;
// V = amount + 5 (the partner's amount).
const ChoiceCase kChoices[] = {
    {"Sep_AboveLevel1Dot", &kernels::HalftoneBinarySep, 41, true, false, 0, 46 - 254,
     &diffuse<kernels::kA1>},
    {"Sep_AboveLevel1NoDot", &kernels::HalftoneBinarySep, 41, false, false, 0, 46,
     &diffuse<kernels::kA1>},
    {"Sep_Level1NoDot", &kernels::HalftoneBinarySep, 40, false, false, 1, 45,
     &diffuse<kernels::kA0>},
    {"Sep_Level1DotOdd", &kernels::HalftoneBinarySep, 40, true, false, 1, 45 - 254,
     &diffuse<kernels::kA2>},
    {"Sep_Level1DotEven", &kernels::HalftoneBinarySep, 31, true, false, 0, 36 - 254,
     &diffuse<kernels::kA2>},
    {"Sep_Level2Dot", &kernels::HalftoneBinarySep, 30, true, false, 0, 35 - 254,
     &diffuse<kernels::kA3>},
    {"Sep_LowDot", &kernels::HalftoneBinarySep, 2, true, false, 1, 7 - 254, &diffuse<kernels::kA3>},
    {"Sep_Blocked", &kernels::HalftoneBinarySep, 30, false, true, 0, 35 - 254,
     &diffuse<kernels::kA0>},
    {"Sep_BlockedHigh", &kernels::HalftoneBinarySep, 60, false, true, 0, 65 - 254,
     &diffuse<kernels::kA1>},
    {"Sep_AmountZero", &kernels::HalftoneBinarySep, 0, false, false, 0, 5, &diffuse<kernels::kA0>},
    {"Sep1440_HighNoDot", &kernels::HalftoneBinarySep1440, 200, false, false, 1, 205,
     &diffuse<kernels::kB0>},
    {"Sep1440_AboveLevel1Dot", &kernels::HalftoneBinarySep1440, 41, true, false, 0, 46 - 254,
     &diffuse<kernels::kB1>},
    {"Sep1440_Level1Dot", &kernels::HalftoneBinarySep1440, 40, true, false, 0, 45 - 254,
     &diffuse<kernels::kB2>},
    {"Sep1440_Level2Dot", &kernels::HalftoneBinarySep1440, 30, true, false, 1, 35 - 254,
     &diffuse<kernels::kB3>},
    {"Sep1440_Level3Dot", &kernels::HalftoneBinarySep1440, 20, true, false, 0, 25 - 254,
     &diffuse<kernels::kB4>},
    {"Sep1440_LowDot", &kernels::HalftoneBinarySep1440, 3, true, false, 1, 8 - 254,
     &diffuse<kernels::kB4>},
    {"Sep1440_Blocked", &kernels::HalftoneBinarySep1440, 60, false, true, 1, 65 - 254,
     &diffuse<kernels::kB0>},
    {"Sep360_PartnerDot", &kernels::HalftoneBinarySep360, 10, false, true, 0, 15 - 255,
     &diffuse<kernels::kA1>},
    {"Sep360_BothDots", &kernels::HalftoneBinarySep360, 10, true, true, 1, 15 - 510,
     &diffuse<kernels::kA1>},
    {"Sep360_PartnerOnlyAmountZero", &kernels::HalftoneBinarySep360, 0, false, true, 0, 5 - 255,
     &diffuse<kernels::kA1>},
    {"Sep360_Level1NoDot", &kernels::HalftoneBinarySep360, 40, false, false, 0, 45,
     &diffuse<kernels::kA0>},
    {"Sep360_Level1Dot", &kernels::HalftoneBinarySep360, 40, true, false, 1, 45 - 255,
     &diffuse<kernels::kA2>},
    {"Sep360_Level2Dot", &kernels::HalftoneBinarySep360, 30, true, false, 0, 35 - 255,
     &diffuse<kernels::kA3>},
};

INSTANTIATE_TEST_SUITE_P(Cases, BinarySepPatternChoice, ::testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inkdot
