// The one-bit ordered-dither kernels HalftoneDither (one ink) and
// HalftoneDitherSep (four channels into six inks) on hand-built contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "support/kernel_fixtures.h"
#include "support/separation_fixtures.h"

namespace inkdot {
namespace {

using kernels::HalftoneDither;
using kernels::HalftoneDitherSep;
using test::Amounts;
using test::channelsOf;
using test::KernelFixture;
using test::Levels;
using test::repeatPixel;
using test::SeparationFixture;

constexpr int32_t kCovers = 1 << 20;  // a levelThresholds entry above every matrix value

// Planes of the amounts a0..a5.
constexpr int kPlaneOf[6] = {0, 4, 1, 5, 2, 3};

// '.' and 'x' for slots 0..count-1, 'x' inside the half-open ranges.
std::string dotsIn(int32_t count, std::initializer_list<std::pair<int32_t, int32_t>> ranges) {
    std::string s(size_t(count), '.');
    for (auto [from, to] : ranges)
        for (int32_t i = from; i < to; ++i) s[size_t(i)] = 'x';
    return s;
}

// The one-bit dots of `bytes` as '.'/'x', slots 0..count-1.
std::string bitsOf(const uint8_t* bytes, int32_t count) {
    std::string s;
    for (int32_t i = 0; i < count; ++i) s += (bytes[i / 8] >> (7 - i % 8) & 1) != 0 ? 'x' : '.';
    return s;
}

// ---------------------------------------------------------------------------
// HalftoneDither

// A one-ink dither object: method 3, the matrix 0..15 in one row, and
// levelThresholds entry v = v (an input value covers that many ranks).
struct DitherFixture : KernelFixture {
    explicit DitherFixture(int32_t maxPixels = 64) : KernelFixture(maxPixels) {
        params().method = 3;
        std::vector<int32_t> ranks(16);
        for (int32_t k = 0; k < 16; ++k) ranks[size_t(k)] = k;
        setMatrix(16, 1, ranks);
        for (int32_t v = 0; v < 256; ++v) levelThresholds[size_t(v)] = v;
    }
};

// Each failing check returns before any output byte or lastLine is written,
// in the order reserved, range, pair value, enable, bit offset.
TEST(Dither, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, pairFlag, enable, bitOffset, reserved, result;
    };
    const Case cases[] = {
        {"reserved first", 60, 10, 2, 0, 9, 1, INKDOT_RESERVED_NONZERO},
        {"then the range", 60, 10, 2, 0, 9, 0, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", -8, 16, 0, 1, 0, 0, INKDOT_LINE_TOO_LONG},
        {"then the pair value", 0, 10, 2, 0, 9, 0, INKDOT_DEPTH_MISMATCH},
        {"a negative pair value passes", 0, 10, -7, 0, 9, 0, INKDOT_NOT_ENABLED},
        {"then enable", 0, 10, 1, 0, 9, 0, INKDOT_NOT_ENABLED},
        {"bit offset 8", 0, 10, 0, 1, 8, 0, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 0, 1, -1, 0, INKDOT_UNSUPPORTED},
    };
    DitherFixture f;
    const std::vector<uint8_t> input(64, 200);
    for (const Case& c : cases) {
        std::array<uint8_t, 16> out;
        out.fill(0xA5);
        EXPECT_EQ(f.run(HalftoneDither, input, out.data(), c.bitOffset, c.pixelCount, c.startX, 7,
                        c.pairFlag, c.enable, c.reserved),
                  c.result)
            << c.what;
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xA5; }))
            << c.what;
        EXPECT_EQ(f.state().lastLine, -12345) << c.what;
    }
    std::array<uint8_t, 16> out{};
    EXPECT_EQ(f.run(HalftoneDither, input, out.data(), 0, 0, 0, 7, 1), INKDOT_OK);
    EXPECT_EQ(f.state().lastLine, 7);
}

// A value prints where its levelThresholds entry lies strictly above the
// matrix value; an entry of 0 never prints, not even over a negative matrix
// value.
TEST(Dither, DotWhereTheCoveredRanksExceedTheMatrixValue) {
    struct Case {
        int32_t covered, matrixValue;
        bool dot;
    };
    const Case cases[] = {{5, 4, true},
                          {5, 5, false},
                          {5, 6, false},
                          {1, 0, true},
                          {0, -3, false},
                          {-1, -3, true},
                          {kCovers, kCovers - 1, true}};
    for (const Case& c : cases) {
        DitherFixture f;
        f.setMatrix(1, 1, {c.matrixValue});
        f.levelThresholds[77] = c.covered;
        uint8_t out = 0;
        ASSERT_EQ(f.run(HalftoneDither, {77}, &out, 0, 1, 0), INKDOT_OK);
        EXPECT_EQ(out, c.dot ? 0x80 : 0x00) << c.covered << " against " << c.matrixValue;
    }
}

// The matrix row follows the line number (an unsigned remainder) and the
// column the absolute position, so a stretch starting at startX meets the
// same matrix values as the whole line.
TEST(Dither, MatrixRowByLineColumnByAbsolutePosition) {
    DitherFixture f;
    std::vector<int32_t> values(32);
    for (int32_t k = 0; k < 16; ++k) {
        values[size_t(k)] = k;            // row 0: 0..15
        values[size_t(16 + k)] = 15 - k;  // row 1: 15..0
    }
    f.setMatrix(16, 2, values);
    const std::vector<uint8_t> input(32, 4);  // covers ranks 0..3
    struct Case {
        int32_t startX, lineNumber;
        std::string dots;
    };
    const Case cases[] = {
        {0, 0, "xxxx............xxxx............"},
        {0, 1, "............xxxx............xxxx"},
        {0, -1, "............xxxx............xxxx"},  // 0xFFFFFFFF mod 2 = 1
        {3, 0, "x............xxxx............xxx"},   // pixel 0 sits at x = 3
    };
    for (const Case& c : cases) {
        std::array<uint8_t, 4> out{};
        ASSERT_EQ(f.run(HalftoneDither, input, out.data(), 0, 32, c.startX, c.lineNumber),
                  INKDOT_OK);
        EXPECT_EQ(bitsOf(out.data(), 32), c.dots) << c.startX << ", line " << c.lineNumber;
    }
}

// inputScale 1 reads a byte on the even pixels and keeps its level on the odd
// ones; -1 takes the smaller byte of each pair; any other value one byte a
// pixel.
TEST(Dither, InputSampling) {
    DitherFixture f;
    f.setMatrix(1, 1, {7});
    const std::vector<uint8_t> input = {8, 0, 255, 3, 0, 9, 200, 100};
    struct Case {
        int32_t inputScale;
        std::string dots;
    };
    const Case cases[] = {{0, "x.x..xxx"}, {5, "x.x..xxx"}, {1, "xx..xx.."}, {-1, "...x...."}};
    for (const Case& c : cases) {
        f.params().inputScale = c.inputScale;
        uint8_t out = 0;
        const int32_t count = c.inputScale == -1 ? 4 : 8;
        ASSERT_EQ(f.run(HalftoneDither, input, &out, 0, count, 0), INKDOT_OK);
        EXPECT_EQ(bitsOf(&out, count), c.dots.substr(0, size_t(count))) << c.inputScale;
    }
}

// Every start slot, stretch length and start position against the rule
// written out pixel by pixel: slots in front of bitOffset keep the caller's
// bits, a partly filled last byte is completed with zeros, nothing else is
// touched.
TEST(Dither, PacksEveryOffsetAndLength) {
    DitherFixture f(96);
    std::vector<int32_t> values(8 * 3);
    for (size_t k = 0; k < values.size(); ++k) values[k] = int32_t((k * 37 + 11) % 64);
    f.setMatrix(8, 3, values);
    for (int32_t v = 0; v < 256; ++v) f.levelThresholds[size_t(v)] = (v * 7) % 67;
    std::vector<uint8_t> input(200);
    for (size_t i = 0; i < input.size(); ++i) input[i] = uint8_t(i * 101 + 13);
    for (int32_t inputScale : {0, 1, -1}) {
        f.params().inputScale = inputScale;
        for (int32_t startX : {0, 5, 13}) {
            for (int32_t bitOffset = 0; bitOffset < 8; ++bitOffset) {
                for (int32_t count : {0, 1, 2, 6, 7, 8, 9, 15, 16, 17, 40, 57}) {
                    std::array<uint8_t, 12> out;
                    out.fill(0x5A);
                    const int32_t line = startX + count;  // any line, varied
                    ASSERT_EQ(f.run(HalftoneDither, input, out.data() + 1, bitOffset, count, startX,
                                    line),
                              INKDOT_OK);
                    std::array<uint8_t, 12> want;
                    want.fill(0x5A);
                    const int32_t slots = bitOffset + count;
                    const int32_t touched = (slots + 7) / 8;
                    for (int32_t b = 0; b < touched; ++b) want[size_t(1 + b)] = 0;
                    if (touched > 0) want[1] = uint8_t(0x5A & ~(0xFF >> bitOffset));
                    for (int32_t i = 0; i < count; ++i) {
                        const uint32_t value =
                            inputScale == 1 ? input[size_t(i / 2)]
                            : inputScale == -1
                                ? std::min(input[size_t(2 * i)], input[size_t(2 * i + 1)])
                                : input[size_t(i)];
                        const int32_t covered = f.levelThresholds[value];
                        const int32_t u = values[size_t((line % 3) * 8 + (startX + i) % 8)];
                        const int32_t slot = bitOffset + i;
                        if (covered != 0 && covered > u)
                            want[size_t(1 + slot / 8)] |= uint8_t(0x80 >> (slot % 8));
                    }
                    ASSERT_EQ(out, want) << "inputScale " << inputScale << ", startX " << startX
                                         << ", bitOffset " << bitOffset << ", count " << count;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// HalftoneDitherSep

// A six-ink dither object (outputBits 4: the depth that reaches this kernel)
// with the matrix 0..15 in one row and levelThresholds entry a = a.
struct DitherSepFixture : SeparationFixture {
    explicit DitherSepFixture(int32_t maxPixels = 64) : SeparationFixture(4, maxPixels) {
        params().method = 3;
        std::vector<int32_t> ranks(16);
        for (int32_t k = 0; k < 16; ++k) ranks[size_t(k)] = k;
        setMatrix(16, 1, ranks);
        for (int32_t a = 0; a < 256; ++a) base.levelThresholds[size_t(a)] = a;
    }
    // Only the given amounts cover ranks (all of them); every other covers none.
    void coverOnly(std::initializer_list<int> amounts) {
        std::fill(base.levelThresholds.begin(), base.levelThresholds.end(), 0);
        for (int a : amounts) base.levelThresholds[size_t(a)] = kCovers;
    }
    // The dots of amount a_j over the first `count` slots.
    std::string inkDots(int j, int32_t count) const { return dots(kPlaneOf[j], count); }
};

// The checks are the range, then enable, then the bit offset, each before
// anything is written; reserved and the pair value are not read, and
// lastLine is never written.
TEST(DitherSep, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"range first", 60, 10, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", -8, 16, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then enable", 0, 10, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 8", 0, 10, 1, 8, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 1, -1, INKDOT_UNSUPPORTED},
    };
    DitherSepFixture f;
    f.setEntry({1, 1, 1, 1}, {10, 20, 30, 40, 50, 60});
    const auto input = repeatPixel(channelsOf({1, 1, 1, 1}), 16);
    for (const Case& c : cases) {
        f.planes.fill(0xA5);
        EXPECT_EQ(
            f.run(HalftoneDitherSep, input, c.pixelCount, c.startX, 7, c.bitOffset, 0, c.enable),
            c.result)
            << c.what;
        EXPECT_TRUE(std::all_of(f.planes.begin(), f.planes.end(), [](uint8_t b) {
            return b == 0xA5;
        })) << c.what;
    }
    EXPECT_EQ(HalftoneDitherSep(f.view(), f.state(), input.data(), f.planes.data(), f.kPlaneStride,
                                0, 16, 0, 1, 7, /*pairFlag*/ 9, /*reserved*/ 1),
              INKDOT_OK);
    EXPECT_EQ(f.state().lastLine, -12345);
    EXPECT_EQ(f.state().lastEnd, -12345);
}

// The first stack on u0: a5 takes the lowest ranks, a0 the next, a1 the next.
// A member whose running total passes the top rank (15 here) takes its own
// ranks from the top down and may then share pixels with the members below.
TEST(DitherSep, FirstStackOnTheMatrixValue) {
    struct Case {
        const char* what;
        int a5, a0, a1;
        std::string dots5, dots0, dots1;
    };
    const Case cases[] = {
        {"all fit", 3, 4, 5, dotsIn(16, {{0, 3}}), dotsIn(16, {{3, 7}}), dotsIn(16, {{7, 12}})},
        {"the top rank stays free", 5, 5, 5, dotsIn(16, {{0, 5}}), dotsIn(16, {{5, 10}}),
         dotsIn(16, {{10, 15}})},
        {"a0 passes the top", 10, 8, 2, dotsIn(16, {{0, 10}}), dotsIn(16, {{8, 16}}),
         dotsIn(16, {{14, 16}})},
        {"only a1 passes the top", 4, 4, 10, dotsIn(16, {{0, 4}}), dotsIn(16, {{4, 8}}),
         dotsIn(16, {{6, 16}})},
        {"no a5", 0, 6, 6, dotsIn(16, {}), dotsIn(16, {{0, 6}}), dotsIn(16, {{6, 12}})},
        {"no a0", 6, 0, 6, dotsIn(16, {{0, 6}}), dotsIn(16, {}), dotsIn(16, {{6, 12}})},
    };
    for (const Case& c : cases) {
        DitherSepFixture f;
        f.setEntry({2, 2, 2, 2}, {uint8_t(c.a0), uint8_t(c.a1), 0, 0, 0, uint8_t(c.a5)});
        ASSERT_EQ(f.run(HalftoneDitherSep, repeatPixel(channelsOf({2, 2, 2, 2}), 16), 16),
                  INKDOT_OK);
        EXPECT_EQ(f.inkDots(5, 16), c.dots5) << c.what;
        EXPECT_EQ(f.inkDots(0, 16), c.dots0) << c.what;
        EXPECT_EQ(f.inkDots(1, 16), c.dots1) << c.what;
    }
}

// The second stack (a2, then a3) reads the matrix half its height further
// down and half its width further on; a4 reads the line's own row three
// quarters of its width further on.
TEST(DitherSep, SecondStackAndInkFourOffsetInTheMatrix) {
    DitherSepFixture f;
    std::vector<int32_t> values(32);
    for (int32_t k = 0; k < 32; ++k) values[size_t(k)] = k;  // row 0: 0..15, row 1: 16..31
    f.setMatrix(16, 2, values);
    f.setEntry({2, 2, 2, 2}, {0, 0, 20, 4, 2, 0});
    const auto input = repeatPixel(channelsOf({2, 2, 2, 2}), 16);
    struct Case {
        int32_t lineNumber;
        std::string dots2, dots3, dots4;
    };
    const Case cases[] = {
        // Line 0: the stack reads row 1 at x + 8, ink 4 row 0 at x + 12.
        {0, dotsIn(16, {{8, 12}}), dotsIn(16, {{12, 16}}), dotsIn(16, {{4, 6}})},
        // Line 1: the stack reads row 0 (every value below 20), ink 4 row 1.
        {1, dotsIn(16, {{0, 16}}), dotsIn(16, {}), dotsIn(16, {})},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(f.run(HalftoneDitherSep, input, 16, 0, c.lineNumber), INKDOT_OK);
        EXPECT_EQ(f.inkDots(2, 16), c.dots2) << "line " << c.lineNumber;
        EXPECT_EQ(f.inkDots(3, 16), c.dots3) << "line " << c.lineNumber;
        EXPECT_EQ(f.inkDots(4, 16), c.dots4) << "line " << c.lineNumber;
    }
    // The second stack passing the top rank (31): a3 takes ranks 18..31 from
    // the top down, and shares two pixels with a2.
    f.setEntry({3, 3, 3, 3}, {0, 0, 20, 14, 0, 0});
    ASSERT_EQ(f.run(HalftoneDitherSep, repeatPixel(channelsOf({3, 3, 3, 3}), 16), 16), INKDOT_OK);
    EXPECT_EQ(f.inkDots(2, 16), dotsIn(16, {{8, 12}}));
    EXPECT_EQ(f.inkDots(3, 16), dotsIn(16, {{0, 8}, {10, 16}}));
}

// The quantiser's dither value is the matrix value with bit 0 cleared, not
// scaled down for a large matrix (32 x 32 here).
TEST(DitherSep, QuantiserDitherIsTheMatrixValueUnshifted) {
    DitherSepFixture f;
    std::vector<int32_t> values(32 * 32, 0);
    values[0] = 101;  // dither value 100
    values[1] = 99;   // 98
    values[2] = 100;  // 100
    f.setMatrix(32, 32, values);
    f.setQuantiser(17, 1, 100);  // level 1, level 2 from a dither value of 100
    f.setEntry({2, 2, 2, 2}, {0, 0, 0, 0, 0, 200});
    f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, 0, 100});
    f.coverOnly({200});
    // One pixel a call, so that no pixel is smoothed with another.
    for (auto [x, dot] : {std::pair{0, true}, std::pair{1, false}, std::pair{2, true}}) {
        ASSERT_EQ(f.run(HalftoneDitherSep, repeatPixel({17, 17, 17, 17}, 1), 1, x), INKDOT_OK);
        EXPECT_EQ(f.dot(kPlaneOf[5], 0), dot) << "x " << x;
    }
}

// Next to a pixel whose grid levels are all within one step, all six amounts
// are averaged with the previous pixel's, ink 4 whatever its previous amount;
// rounded up on an even matrix value and down on an odd one. A blank pixel
// neither prints nor counts as a neighbour; the first pixel of a call has
// none.
TEST(DitherSep, SmoothingAveragesAllSixAmounts) {
    const Amounts first = {10, 20, 30, 40, 50, 60};
    const Amounts second = {21, 43, 65, 87, 109, 131};
    const std::vector<int> roundedUp = {16, 32, 48, 64, 80, 96};
    const std::vector<int> roundedDown = {15, 31, 47, 63, 79, 95};
    const Levels k0{4, 4, 4, 4};
    struct Case {
        const char* what;
        Levels k1;
        int32_t matrixValue;  // of the second pixel
        bool blankBetween;
        const std::vector<int>* expected;  // the second pixel's amounts; null: as read
    };
    const Case cases[] = {
        {"one step up, even", {5, 4, 4, 4}, 2, false, &roundedUp},
        {"one step up, odd", {5, 4, 4, 4}, 3, false, &roundedDown},
        {"one step down in all four", {3, 3, 3, 3}, 2, false, &roundedUp},
        {"a blank pixel between", {4, 4, 4, 5}, 2, true, &roundedUp},
        {"two steps in one channel", {4, 4, 6, 4}, 2, false, nullptr},
    };
    for (const Case& c : cases) {
        DitherSepFixture f;
        f.setMatrix(4, 1, {0, c.matrixValue, c.matrixValue, 0});
        f.setEntry(k0, first);
        f.setEntry(c.k1, second);
        std::vector<int> covered(first.begin(), first.end());
        const std::vector<int> want =
            c.expected ? *c.expected : std::vector<int>(second.begin(), second.end());
        covered.insert(covered.end(), want.begin(), want.end());
        std::fill(f.base.levelThresholds.begin(), f.base.levelThresholds.end(), 0);
        for (int a : covered) f.base.levelThresholds[size_t(a)] = kCovers;

        std::vector<uint8_t> input = repeatPixel(channelsOf(k0), 1);
        if (c.blankBetween) input.insert(input.end(), 4, 0);
        const auto px = channelsOf(c.k1);
        input.insert(input.end(), px.begin(), px.end());
        const int32_t count = c.blankBetween ? 3 : 2;
        const int32_t last = count - 1;
        ASSERT_EQ(f.run(HalftoneDitherSep, input, count), INKDOT_OK);
        for (int j = 0; j < 6; ++j) {
            EXPECT_TRUE(f.dot(kPlaneOf[j], 0)) << c.what << ", first pixel, a" << j;
            EXPECT_TRUE(f.dot(kPlaneOf[j], last)) << c.what << ", a" << j;
            if (c.blankBetween) {
                EXPECT_FALSE(f.dot(kPlaneOf[j], 1)) << c.what << ", blank, a" << j;
            }
        }
        // The second pixel alone, first of its call: never smoothed.
        std::fill(f.base.levelThresholds.begin(), f.base.levelThresholds.end(), 0);
        for (uint8_t a : second) f.base.levelThresholds[a] = kCovers;
        ASSERT_EQ(f.run(HalftoneDitherSep, repeatPixel(px, 1), 1, 1), INKDOT_OK);
        for (int j = 0; j < 6; ++j)
            EXPECT_TRUE(f.dot(kPlaneOf[j], 0)) << c.what << ", alone, a" << j;
    }
}

// inputScale 1 serves each input pixel to two output pixels; every other
// value, -1 included, reads four bytes a pixel.
TEST(DitherSep, InputSampling) {
    DitherSepFixture f;
    const Levels k[4] = {{1, 1, 1, 1}, {4, 4, 4, 4}, {7, 7, 7, 7}, {10, 10, 10, 10}};
    for (int p = 0; p < 4; ++p) f.setEntry(k[p], {0, 0, 0, 0, 0, uint8_t(p % 2 == 0 ? 100 : 50)});
    f.coverOnly({100});
    std::vector<uint8_t> input;
    for (const Levels& l : k) {
        const auto px = channelsOf(l);
        input.insert(input.end(), px.begin(), px.end());
    }
    for (auto [inputScale, count, dots] :
         {std::tuple{0, 4, "x.x."}, std::tuple{-1, 4, "x.x."}, std::tuple{1, 8, "xx..xx.."}}) {
        f.params().inputScale = inputScale;
        ASSERT_EQ(f.run(HalftoneDitherSep, input, count), INKDOT_OK);
        EXPECT_EQ(f.inkDots(5, count), dots) << "inputScale " << inputScale;
    }
}

// All six planes share the start slot: the bits in front of it keep what
// each plane's byte holds, the last byte is completed with zeros; an empty
// stretch still clears every plane's first byte from bitOffset on.
TEST(DitherSep, PacksSixPlanesAtAnOffset) {
    DitherSepFixture f;
    f.setEntry({2, 2, 2, 2}, {1, 1, 1, 1, 1, 1});
    f.coverOnly({1});
    f.planes.fill(0xFF);
    ASSERT_EQ(f.run(HalftoneDitherSep, repeatPixel(channelsOf({2, 2, 2, 2}), 5), 5, 0, 0, 5),
              INKDOT_OK);
    for (int p = 0; p < 6; ++p) {
        EXPECT_EQ(f.planes[size_t(p * f.kPlaneStride)], 0xFF) << p;
        EXPECT_EQ(f.planes[size_t(p * f.kPlaneStride + 1)], 0xC0) << p;
        EXPECT_EQ(f.planes[size_t(p * f.kPlaneStride + 2)], 0xFF) << p;
    }
    f.planes.fill(0xFF);
    ASSERT_EQ(f.run(HalftoneDitherSep, {}, 0, 0, 0, 3), INKDOT_OK);
    for (int p = 0; p < 6; ++p) {
        EXPECT_EQ(f.planes[size_t(p * f.kPlaneStride)], 0xE0) << p;
        EXPECT_EQ(f.planes[size_t(p * f.kPlaneStride + 1)], 0xFF) << p;
    }
}

}  // namespace
}  // namespace inkdot
