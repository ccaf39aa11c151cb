// The two-bit ordered-dither kernel HalftoneDitherMultiSep on hand-built
// contexts: records by role, single inks and the pair rule, pair sums, input
// sampling, matrix addressing and packing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/dither_multi_sep.h"
#include "kernels/kernels.h"
#include "support/separation_fixtures.h"

namespace inkdot {
namespace {

using kernels::HalftoneDitherMultiSep;
using test::Amounts;
using test::channelsOf;
using test::Levels;
using test::repeatPixel;
using test::SeparationFixture;

// Planes of the amounts a0..a5.
constexpr int kPlaneOf[6] = {0, 4, 1, 5, 2, 3};
constexpr int32_t kUpper = 512;

// A two-bit dither object: levelThresholds entry p = p over the table, and
// the scratch entries behind it far above every matrix value, so that a
// position read outside the table shows as a dot.
struct MultiSepFixture : SeparationFixture {
    explicit MultiSepFixture(int32_t maxPixels = 64) : SeparationFixture(2, maxPixels) {
        params().method = 3;
        for (int32_t p = 0; p < 512; ++p)
            base.levelThresholds[size_t(p)] = p < 256 ? p : std::numeric_limits<int32_t>::max();
    }
    std::string inkCodes(int j, int32_t count) const { return codes(kPlaneOf[j], count); }
    // The code of amount a_j for one pixel alone on a 1 x 1 matrix holding u.
    uint32_t codeAt(const Levels& k, int32_t u, int j) {
        setMatrix(1, 1, {u});
        EXPECT_EQ(run(HalftoneDitherMultiSep, repeatPixel(channelsOf(k), 1), 1), INKDOT_OK);
        return code(kPlaneOf[j], 0);
    }
};

LevelRecord record(int small, int medium, int base) {
    return {int16_t(small), int16_t(medium), int16_t(base), int16_t(small + medium + base)};
}

// Codes as digits over the matrix values 0..count-1, the digit `code` inside
// the half-open ranges.
struct Span {
    int32_t from, to;
    char code;
};
std::string codesIn(int32_t count, std::initializer_list<Span> spans) {
    std::string s(size_t(count), '0');
    for (const Span& span : spans)
        for (int32_t i = span.from; i < span.to; ++i) s[size_t(i)] = span.code;
    return s;
}

// Each failing check returns before any plane byte is written, in the order
// range, output depth, enable, bit offset; the pair value and reserved are
// not read, and neither lastLine nor lastEnd is written.
TEST(DitherMultiSep, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, outputBits, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"range first", 60, 10, 1, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a wrapping range", -8, 16, 2, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then the depth", 0, 10, 1, 0, 9, INKDOT_DEPTH_MISMATCH},
        {"then enable", 0, 10, 2, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 4", 0, 10, 2, 1, 4, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 2, 1, -1, INKDOT_UNSUPPORTED},
    };
    MultiSepFixture f;
    f.setEntry({1, 1, 1, 1}, {10, 20, 30, 40, 50, 60});
    std::fill(f.records.begin(), f.records.end(), record(20, 20, 20));
    const auto input = repeatPixel(channelsOf({1, 1, 1, 1}), 16);
    for (const Case& c : cases) {
        f.params().outputBits = c.outputBits;
        f.planes.fill(0xA5);
        EXPECT_EQ(f.run(HalftoneDitherMultiSep, input, c.pixelCount, c.startX, 7, c.bitOffset, 0,
                        c.enable),
                  c.result)
            << c.what;
        EXPECT_TRUE(std::all_of(f.planes.begin(), f.planes.end(), [](uint8_t b) {
            return b == 0xA5;
        })) << c.what;
    }
    f.params().outputBits = 2;
    EXPECT_EQ(
        HalftoneDitherMultiSep(f.view(), f.state(), input.data(), f.planes.data(), f.kPlaneStride,
                               0, 16, 0, 1, 7, /*pairFlag*/ 9, /*reserved*/ 1),
        INKDOT_OK);
    EXPECT_EQ(f.state().lastLine, -12345);
    EXPECT_EQ(f.state().lastEnd, -12345);
}

// A single ink takes its record's stretch from the start of the order: large
// dots up to thresholdBase, medium up to thresholdBase + mediumSpan, small up
// to levelTotal. Ink 4 reads the lower half of the records, ink 5 the upper;
// the first pixel of a call uses twice its amounts.
TEST(DitherMultiSep, SingleInksByTheirRecords) {
    MultiSepFixture f;
    const Levels k{3, 3, 3, 3};
    f.setEntry(k, {0, 0, 0, 0, 7, 9});
    f.records[14] = record(10, 20, 30);          // ink 4: 2 x 7
    f.records[kUpper + 18] = record(5, 15, 40);  // ink 5: 512 + 2 x 9
    f.records[kUpper + 14] = record(0, 0, 255);  // the other halves: never read
    f.records[18] = record(0, 0, 255);
    std::string ink4, ink5;
    for (int32_t u = 0; u < 72; ++u) {
        ink4 += char('0' + f.codeAt(k, u, 4));
        ink5 += char('0' + f.code(kPlaneOf[5], 0));
    }
    EXPECT_EQ(ink4, codesIn(72, {{0, 30, '3'}, {30, 50, '2'}, {50, 60, '1'}}));
    EXPECT_EQ(ink5, codesIn(72, {{0, 40, '3'}, {40, 55, '2'}, {55, 60, '1'}}));
}

// The pair rule, pair 1 (a0 leading, a1 trailing, on u0) and pair 2 (a2, a3
// on uh; the same value on a 1 x 1 matrix). The trailing ink's stretch
// follows the leading one's; when the two totals pass 255 by `over` it is
// moved down to end at 255, and both inks may print on one pixel.
TEST(DitherMultiSep, PairRule) {
    struct Case {
        const char* what;
        LevelRecord leading, trailing;
        std::string leadingCodes, trailingCodes;
    };
    const Case cases[] = {
        {"totals 150 and 100 fit", record(0, 0, 150), record(0, 0, 100),
         codesIn(256, {{0, 150, '3'}}), codesIn(256, {{150, 250, '3'}})},
        {"totals 155 and 100 end at 255", record(0, 0, 155), record(0, 0, 100),
         codesIn(256, {{0, 155, '3'}}), codesIn(256, {{155, 255, '3'}})},
        {"totals 200 and 100 overlap by 45", record(0, 0, 200), record(0, 0, 100),
         codesIn(256, {{0, 200, '3'}}), codesIn(256, {{155, 255, '3'}})},
        {"all three dot sizes, fitting", record(10, 20, 30), record(5, 15, 25),
         codesIn(256, {{0, 30, '3'}, {30, 50, '2'}, {50, 60, '1'}}),
         codesIn(256, {{60, 85, '3'}, {85, 100, '2'}, {100, 105, '1'}})},
        {"all three dot sizes, overlapping", record(40, 60, 100), record(20, 30, 50),
         codesIn(256, {{0, 100, '3'}, {100, 160, '2'}, {160, 200, '1'}}),
         codesIn(256, {{155, 205, '3'}, {205, 235, '2'}, {235, 255, '1'}})},
        {"no leading ink", record(0, 0, 0), record(0, 10, 90), codesIn(256, {}),
         codesIn(256, {{0, 90, '3'}, {90, 100, '2'}})},
    };
    for (const Case& c : cases) {
        MultiSepFixture f;
        const Levels k{2, 2, 2, 2};
        f.setEntry(k, {50, 60, 50, 60, 0, 0});
        f.records[kUpper + 100] = c.leading;
        f.records[120] = c.trailing;
        std::string codes[4];
        for (int32_t u = 0; u < 256; ++u) {
            codes[0] += char('0' + f.codeAt(k, u, 0));
            for (int j = 1; j < 4; ++j) codes[j] += char('0' + f.code(kPlaneOf[j], 0));
        }
        EXPECT_EQ(codes[0], c.leadingCodes) << c.what << ", pair 1";
        EXPECT_EQ(codes[1], c.trailingCodes) << c.what << ", pair 1";
        EXPECT_EQ(codes[2], c.leadingCodes) << c.what << ", pair 2";
        EXPECT_EQ(codes[3], c.trailingCodes) << c.what << ", pair 2";
    }
}

// A record whose positions fall outside the 256 levelThresholds entries is
// read at the nearest end of the table, never behind or in front of it.
TEST(DitherMultiSep, RecordPositionsClampedToTheTable) {
    MultiSepFixture f;
    const Levels k{2, 2, 2, 2};
    f.setEntry(k, {50, 60, 0, 0, 7, 0});
    f.records[14] = record(0, 0, 300);                      // ink 4
    f.records[kUpper + 100] = record(0, 0, 200);            // pair 1: large below 200
    f.records[120] = {int16_t(-400), 0, 0, int16_t(-400)};  // trailing ends before 0
    for (int32_t u : {0, 200, 254, 255}) {
        SCOPED_TRACE(u);
        EXPECT_EQ(f.codeAt(k, u, 4), u < 255 ? 3u : 0u);
        EXPECT_EQ(f.code(kPlaneOf[0], 0), u < 200 ? 3u : 0u);
        EXPECT_EQ(f.code(kPlaneOf[1], 0), 0u);
    }
    f.records[kUpper + 100] = record(0, 0, 0);
    f.records[120] = {int16_t(-5), int16_t(300), int16_t(-5), int16_t(290)};
    for (int32_t u : {0, 1, 254, 255}) {
        SCOPED_TRACE(u);
        EXPECT_EQ(f.codeAt(k, u, 1), u < 255 ? 2u : 0u);  // large to T[0], medium to T[255]
    }
}

// Next to a pixel whose grid levels are all within one step, an ink's record
// is chosen by its amount plus the previous pixel's amount (the table byte,
// not the previous sum); otherwise, and on the first pixel of every call, by
// twice its amount. A pixel of four zero bytes is a pixel like any other.
TEST(DitherMultiSep, PairSumsChooseTheRecords) {
    struct Case {
        const char* what;
        std::vector<Levels> levels;  // one pixel each
        int32_t expectedSum;         // of the last pixel's ink 4
    };
    const Case cases[] = {
        {"first pixel of a call", {{4, 4, 4, 4}}, 2 * 30},
        {"after a neighbour", {{3, 4, 4, 4}, {4, 4, 4, 4}}, 10 + 30},
        {"after a level jump", {{2, 4, 4, 4}, {4, 4, 4, 4}}, 2 * 30},
        {"the previous byte, not its sum", {{3, 4, 4, 4}, {4, 4, 4, 4}, {5, 4, 4, 4}}, 30 + 50},
        {"four zero bytes are not blank", {{1, 0, 0, 0}, {0, 0, 0, 0}}, 3 + 2},
    };
    for (const Case& c : cases) {
        MultiSepFixture f;
        f.setEntry({0, 0, 0, 0}, {0, 0, 0, 0, 2, 0});
        f.setEntry({1, 0, 0, 0}, {0, 0, 0, 0, 3, 0});
        f.setEntry({2, 4, 4, 4}, {0, 0, 0, 0, 20, 0});
        f.setEntry({3, 4, 4, 4}, {0, 0, 0, 0, 10, 0});
        f.setEntry({4, 4, 4, 4}, {0, 0, 0, 0, 30, 0});
        f.setEntry({5, 4, 4, 4}, {0, 0, 0, 0, 50, 0});
        f.records[size_t(c.expectedSum)] = record(0, 0, 255);
        std::vector<uint8_t> input;
        for (const Levels& l : c.levels) {
            // Grid level 0 from input value 0, the others from 8k + 1.
            std::array<uint8_t, 4> px = channelsOf(l);
            for (int ch = 0; ch < 4; ++ch)
                if (l[size_t(ch)] == 0) px[size_t(ch)] = 0;
            input.insert(input.end(), px.begin(), px.end());
        }
        const int32_t count = int32_t(c.levels.size());
        ASSERT_EQ(f.run(HalftoneDitherMultiSep, input, count), INKDOT_OK);
        EXPECT_EQ(f.code(kPlaneOf[4], count - 1), 3u) << c.what;
        // No other record of ink 4 prints.
        f.records[size_t(c.expectedSum)] = record(0, 0, 0);
        ASSERT_EQ(f.run(HalftoneDitherMultiSep, input, count), INKDOT_OK);
        EXPECT_EQ(f.code(kPlaneOf[4], count - 1), 0u) << c.what;
    }
}

// inputScale -1 takes, channel by channel, the smaller of two pixels' bytes;
// 1 serves each pixel to two output pixels; other values read four bytes a
// pixel.
TEST(DitherMultiSep, InputSampling) {
    MultiSepFixture f;
    f.setEntry({3, 2, 6, 1}, {0, 0, 0, 0, 0, 40});
    f.setEntry({5, 4, 1, 1}, {0, 0, 0, 0, 0, 0});
    f.records[kUpper + 80] = record(0, 0, 255);
    const std::vector<uint8_t> pair = {8 * 3 + 1, 8 * 4 + 1, 8 * 6 + 1, 8 * 1 + 1,
                                       8 * 5 + 1, 8 * 2 + 1, 8 * 7 + 1, 8 * 1 + 1};
    f.params().inputScale = -1;
    ASSERT_EQ(f.run(HalftoneDitherMultiSep, pair, 1), INKDOT_OK);
    EXPECT_EQ(f.inkCodes(5, 1), "3");

    std::vector<uint8_t> two = repeatPixel(channelsOf({3, 2, 6, 1}), 1);
    const auto other = channelsOf({5, 4, 1, 1});
    two.insert(two.end(), other.begin(), other.end());
    for (auto [inputScale, count, codes] :
         {std::tuple{1, 4, "3300"}, std::tuple{0, 2, "30"}, std::tuple{3, 2, "30"}}) {
        f.params().inputScale = inputScale;
        ASSERT_EQ(f.run(HalftoneDitherMultiSep, two, count), INKDOT_OK);
        EXPECT_EQ(f.inkCodes(5, count), codes) << "inputScale " << inputScale;
    }
}

// Pair 1 and the quantiser read u0 (the line's row, column x), ink 5 the
// same row a quarter of the width on, ink 4 three quarters on, and pair 2
// the row half the height down, half the width on. The quantiser's dither
// value is u0 with bit 0 cleared.
TEST(DitherMultiSep, MatrixValuesOfEachInk) {
    MultiSepFixture f;
    std::vector<int32_t> values(32);
    for (int32_t v = 0; v < 32; ++v) values[size_t(v)] = v;  // row 0: 0..15, row 1: 16..31
    f.setMatrix(16, 2, values);
    f.setEntry({2, 2, 2, 2}, {10, 0, 11, 0, 12, 13});
    f.records[kUpper + 20] = record(0, 0, 3);   // a0: large below 3
    f.records[kUpper + 22] = record(0, 0, 20);  // a2: large below 20
    f.records[24] = record(0, 0, 2);            // a4: large below 2
    f.records[kUpper + 26] = record(0, 0, 4);   // a5: large below 4
    const auto input = repeatPixel(channelsOf({2, 2, 2, 2}), 16);
    ASSERT_EQ(f.run(HalftoneDitherMultiSep, input, 16, 0, /*lineNumber*/ 2), INKDOT_OK);
    EXPECT_EQ(f.inkCodes(0, 16), codesIn(16, {{0, 3, '3'}}));
    EXPECT_EQ(f.inkCodes(2, 16), codesIn(16, {{8, 12, '3'}}));   // 16 + (x + 8) mod 16 < 20
    EXPECT_EQ(f.inkCodes(4, 16), codesIn(16, {{4, 6, '3'}}));    // (x + 12) mod 16 < 2
    EXPECT_EQ(f.inkCodes(5, 16), codesIn(16, {{12, 16, '3'}}));  // (x + 4) mod 16 < 4

    // The dither value steps the quantiser at 100: u0 = 101 steps, 99 does not.
    f.setMatrix(16, 1, {101, 99});
    f.setQuantiser(17, 1, 100);
    f.setEntry({2, 2, 2, 2}, {0, 0, 0, 0, 0, 100});
    f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, 0, 50});
    f.records[kUpper + 200] = record(0, 0, 255);
    for (auto [x, code] : {std::pair{0, "3"}, std::pair{1, "0"}}) {
        ASSERT_EQ(f.run(HalftoneDitherMultiSep, repeatPixel({17, 17, 17, 17}, 1), 1, x), INKDOT_OK);
        EXPECT_EQ(f.inkCodes(5, 1), code) << "x " << x;
    }
}

// All six planes share the start slot: the slots in front of it keep what
// each plane's byte holds, a partly filled last byte is completed with 00;
// an empty stretch still clears the first byte from bitOffset on.
TEST(DitherMultiSep, PacksSixPlanesAtEveryOffset) {
    MultiSepFixture f;
    f.setMatrix(1, 1, {0});
    f.setEntry({2, 2, 2, 2}, {1, 2, 3, 4, 5, 6});
    // No leading ink, so that the trailing ones print from the start of the
    // order: codes 0, 2, 0, 1, 2, 3 for a0..a5.
    f.records[4] = record(0, 1, 0);            // a1: medium
    f.records[8] = record(1, 0, 0);            // a3: small
    f.records[10] = record(0, 1, 0);           // a4: medium
    f.records[kUpper + 12] = record(0, 0, 1);  // a5: large
    const char codeOf[6] = {'0', '2', '0', '1', '2', '3'};
    for (int32_t bitOffset = 0; bitOffset < 4; ++bitOffset) {
        for (int32_t count : {0, 1, 3, 4, 6}) {
            f.planes.fill(0xFF);
            ASSERT_EQ(f.run(HalftoneDitherMultiSep, repeatPixel(channelsOf({2, 2, 2, 2}), count),
                            count, 0, 0, bitOffset),
                      INKDOT_OK);
            const int32_t slots = bitOffset + count;
            const int32_t touched = (slots + 3) / 4;
            for (int j = 0; j < 6; ++j) {
                const std::string want = std::string(size_t(bitOffset), '3') +
                                         std::string(size_t(count), codeOf[j]) +
                                         std::string(size_t(4 * touched - slots), '0') + "3333";
                EXPECT_EQ(f.codes(kPlaneOf[j], int32_t(want.size())), want)
                    << "ink " << j << ", bitOffset " << bitOffset << ", count " << count;
            }
        }
    }
}

// A random two-bit dither object: a 16 x 16 matrix of values below 300,
// records within the table or not, thresholds in any order or rising along
// it (from 20 to below 280, so that some matrix values lie below the first
// and some at or above the last), a quantiser that steps up at random
// thresholds, and entries for levels k0 < 8 and k1..k3 < 4, a quarter of
// their amounts zero.
struct RandomObject {
    bool withinTable;
    bool rising;
};

void randomise(MultiSepFixture& f, const RandomObject& o, std::mt19937& rng) {
    auto below = [&rng](int n) { return int(rng() % uint32_t(n)); };
    std::vector<int32_t> matrix(16 * 16);
    for (int32_t& m : matrix) m = below(300);
    f.setMatrix(16, 16, matrix);
    for (int32_t p = 0; p < 256; ++p)
        f.base.levelThresholds[size_t(p)] = o.rising ? 20 + below(260) : below(300);
    if (o.rising) std::sort(f.base.levelThresholds.begin(), f.base.levelThresholds.begin() + 256);
    for (int c = 0; c < 248; ++c) f.setQuantiser(uint8_t(c), uint8_t(c / 8), uint8_t(below(256)));
    for (LevelRecord& r : f.records) {
        if (o.withinTable) {
            r = record(below(90), below(90), below(76));
        } else {
            r = {int16_t(below(400) - 100), int16_t(below(400) - 100), int16_t(below(400) - 100),
                 int16_t(below(700) - 200)};
        }
    }
    for (int k0 = 0; k0 < 8; ++k0)
        for (int k1 = 0; k1 < 4; ++k1)
            for (int k2 = 0; k2 < 4; ++k2)
                for (int k3 = 0; k3 < 4; ++k3) {
                    Amounts a;
                    for (uint8_t& v : a) v = uint8_t(below(4) == 0 ? 0 : below(256));
                    f.setEntry({k0, k1, k2, k3}, a);
                }
}

// A long call prepares what each record gives once and then codes every pixel
// from it; where the thresholds rise along the order and the records keep
// within it, it codes from positions along the order instead. Short calls
// read the records at every pixel. On random objects, one long call and the
// same line in short calls give the same planes. Channel 0 jumps at least
// two grid levels from pixel to pixel (a quantiser step adds one at most),
// so no pixel is smoothed with its neighbour and the calls may start
// anywhere.
TEST(DitherMultiSep, LongCallsAgreeWithShortOnes) {
    constexpr int32_t kCount = 2048, kPiece = 100, kStride = kCount / 4;
    const RandomObject objects[] = {{true, false}, {false, false}, {true, true}, {false, true}};
    std::mt19937 rng(7);
    auto below = [&rng](int n) { return int(rng() % uint32_t(n)); };
    for (const RandomObject& o : objects) {
        SCOPED_TRACE(testing::Message()
                     << (o.withinTable ? "records within the table" : "records outside it")
                     << (o.rising ? ", rising thresholds" : ""));
        MultiSepFixture f(kCount);
        randomise(f, o, rng);
        std::vector<uint8_t> input;
        for (int32_t i = 0; i < kCount; ++i) {
            const int k0 = (i & 1) != 0 ? 4 + below(4) : below(2);
            const auto px = channelsOf({k0, below(4), below(4), below(4)});
            input.insert(input.end(), px.begin(), px.end());
        }
        std::vector<uint8_t> whole(6 * kStride), pieces(6 * kStride);
        ASSERT_EQ(HalftoneDitherMultiSep(f.view(), f.state(), input.data(), whole.data(), kStride,
                                         0, kCount, 0, 1, 3, 0, 0),
                  INKDOT_OK);
        for (int32_t x = 0; x < kCount; x += kPiece) {
            const int32_t n = std::min(kPiece, kCount - x);
            ASSERT_EQ(HalftoneDitherMultiSep(f.view(), f.state(), input.data() + 4 * x,
                                             pieces.data() + x / 4, kStride, 0, n, x, 1, 3, 0, 0),
                      INKDOT_OK);
        }
        EXPECT_EQ(whole, pieces);
    }
}

// The kernel's vector codes and their portable twin give the same planes on
// random lines of random objects whose thresholds rise, pixels smoothed with
// their neighbours included, at every input scale, bit offset and several
// starts.
TEST(DitherMultiSep, VectorCodesAgreeWithPortableOnes) {
    constexpr int32_t kCount = 3000, kStride = kCount / 4 + 1;
    std::mt19937 rng(11);
    auto below = [&rng](int n) { return int(rng() % uint32_t(n)); };
    for (int round = 0; round < 8; ++round) {
        MultiSepFixture f(kCount + 64);
        randomise(f, {true, true}, rng);
        f.params().inputScale = round % 3 == 0 ? 0 : round % 3 == 1 ? 1 : -1;
        // Levels wander by at most one step a pixel, with a jump now and then.
        std::vector<uint8_t> input;
        Levels k{3, 1, 2, 1};
        for (int32_t i = 0; i < 2 * kCount; ++i) {
            for (int ch = 0; ch < 4; ++ch) {
                const int top = ch == 0 ? 7 : 3;
                k[size_t(ch)] = below(16) == 0 ? below(top + 1)
                                               : std::clamp(k[size_t(ch)] + below(3) - 1, 0, top);
            }
            const auto px = channelsOf(k);
            input.insert(input.end(), px.begin(), px.end());
        }
        const int32_t bitOffset = round % 4, startX = below(64);
        std::vector<uint8_t> vector(6 * kStride, 0x5A), portable(6 * kStride, 0x5A);
        ASSERT_EQ(HalftoneDitherMultiSep(f.view(), f.state(), input.data(), vector.data(), kStride,
                                         bitOffset, kCount, startX, 1, round, 0, 0),
                  INKDOT_OK);
        ASSERT_EQ(kernels::HalftoneDitherMultiSepPortable(f.view(), f.state(), input.data(),
                                                          portable.data(), kStride, bitOffset,
                                                          kCount, startX, 1, round, 0, 0),
                  INKDOT_OK);
        EXPECT_EQ(vector, portable) << "round " << round;
    }
}

}  // namespace
}  // namespace inkdot
