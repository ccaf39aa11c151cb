// The two-bit separating kernels HalftoneMultiSepMode, HalftoneMultiSep,
// HalftoneMultiSep1440 and HalftoneMultiSep2880 on hand-built contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
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

constexpr int16_t kNever = 30000;  // an errorThresholds entry no error exceeds
constexpr int16_t kAlways = -30000;
constexpr int32_t kCovers = 1 << 20;  // a levelThresholds entry above every matrix value

// Codes as the fixture reads them back.
constexpr uint32_t kNone = 0, kSmall = 1, kMedium = 2, kLarge = 3;

struct Member {
    const char* name;
    Kernel* kernel;
    int32_t activeRun;  // pixels an ink stays active without an armed record
};
const Member kMembers[] = {{"MultiSepMode", &kernels::HalftoneMultiSepMode, 6},
                           {"MultiSep", &kernels::HalftoneMultiSep, 6},
                           {"MultiSep1440", &kernels::HalftoneMultiSep1440, 10},
                           {"MultiSep2880", &kernels::HalftoneMultiSep2880, 10}};

class MultiSepMember : public ::testing::TestWithParam<Member> {
protected:
    Kernel& kernel() const { return *GetParam().kernel; }
};
INSTANTIATE_TEST_SUITE_P(Members, MultiSepMember, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

LevelRecord record(int16_t smallSpan, int16_t mediumSpan, int16_t thresholdBase,
                   int16_t levelTotal) {
    return {smallSpan, mediumSpan, thresholdBase, levelTotal};
}

// A two-bit fixture whose diffused inks never get a small dot unless a test
// says so.
struct Fixture : SeparationFixture {
    explicit Fixture(int32_t maxPixels = 64) : SeparationFixture(2, maxPixels) {
        errorThresholdsAll(kNever);
    }
    void errorThresholdsAll(int16_t value) {
        std::fill(base.errorThresholds.begin(), base.errorThresholds.end(), value);
    }
    // levelThresholds[i] = i: a stretch ending at i covers matrix values below i.
    void identityThresholds() {
        for (int i = 0; i < 256; ++i) base.levelThresholds[size_t(i)] = i;
    }
    // A matrix 256 wide and 2 high: row 0 counts up, row 1 down.
    void rampMatrix() {
        std::vector<int32_t> m(512);
        for (int i = 0; i < 256; ++i) {
            m[size_t(i)] = i;
            m[size_t(256 + i)] = 255 - i;
        }
        setMatrix(256, 2, m);
    }
    LevelRecord& lower(int amount) { return records[size_t(amount)]; }
    LevelRecord& upper(int amount) { return records[size_t(512 + amount)]; }
};

// Codes 0..3 for slots 0..count-1 from the code of each matrix value u
// that the ink's column formula gives for the pixel.
template <typename F, typename U>
std::string codesBy(int32_t count, U matrixValue, F codeOf) {
    std::string s;
    for (int32_t x = 0; x < count; ++x) s += char('0' + codeOf(matrixValue(x)));
    return s;
}

// Long calls whose records keep every index within the tables prepare what
// depends on one record, the matrix columns and the quantiser once; other
// calls read them at every pixel. On random records, thresholds, quantiser,
// table and matrix, a line gives the same planes and error lines either way
// (a record that no amount reaches sends the twin to the per-pixel reads).
TEST_P(MultiSepMember, PreparedCallsAgreeWithPerPixelReads) {
    constexpr int32_t kCount = 2048, kStride = kCount / 4;
    std::mt19937 rng(11);
    auto below = [&rng](int n) { return int(rng() % uint32_t(n)); };
    // Thresholds that never fall along the order let a call compare positions
    // rather than thresholds.
    for (bool rising : {false, true}) {
        SCOPED_TRACE(rising ? "rising thresholds" : "thresholds in any order");
        Fixture prepared(kCount), perPixel(kCount);
        std::vector<int32_t> matrix(16 * 8);
        for (int32_t& m : matrix) m = below(300);
        std::array<int32_t, 256> thresholds;
        for (int32_t& t : thresholds) t = below(300);
        if (rising) std::sort(thresholds.begin(), thresholds.end());
        std::vector<int16_t> errorThresholds(512);
        for (int16_t& e : errorThresholds) e = int16_t(below(500) - 100);
        for (Fixture* f : {&prepared, &perPixel}) {
            f->setMatrix(16, 8, matrix);
            std::copy(thresholds.begin(), thresholds.end(), f->base.levelThresholds.begin());
            std::copy(errorThresholds.begin(), errorThresholds.end(),
                      f->base.errorThresholds.begin());
            f->setSpreadLevels(120, 60, 30, 10);
        }
        for (int32_t c = 0; c < 256; ++c) {
            const uint8_t step = uint8_t(below(256));
            prepared.setQuantiser(uint8_t(c), uint8_t(c / 32), step);
            perPixel.setQuantiser(uint8_t(c), uint8_t(c / 32), step);
        }
        for (size_t i = 0; i < prepared.records.size(); ++i) {
            const int16_t small = int16_t(below(85)), medium = int16_t(below(85)),
                          base = int16_t(below(85));
            const bool none = below(4) == 0;
            prepared.records[i] = none
                                      ? record(0, 0, 0, 0)
                                      : record(small, medium, base, int16_t(small + medium + base));
        }
        perPixel.records = prepared.records;
        perPixel.records[511] = record(-1, 0, 0, -1);
        for (int k0 = 0; k0 <= 8; ++k0)
            for (int k1 = 0; k1 <= 8; ++k1)
                for (int k2 = 0; k2 <= 8; ++k2)
                    for (int k3 = 0; k3 <= 8; ++k3) {
                        Amounts a;
                        for (uint8_t& v : a) v = uint8_t(below(3) == 0 ? 0 : below(256));
                        prepared.setEntry({k0, k1, k2, k3}, a);
                        perPixel.setEntry({k0, k1, k2, k3}, a);
                    }

        const std::string name = GetParam().name;
        for (int32_t inputScale : {0, 1, -1}) {
            if (inputScale == -1 && name != "MultiSepMode") continue;
            SCOPED_TRACE("inputScale " + std::to_string(inputScale));
            prepared.params().inputScale = perPixel.params().inputScale = inputScale;
            const int32_t groups = inputScale == 1    ? kCount / 2
                                   : inputScale == -1 ? 2 * kCount
                                                      : kCount;
            for (int32_t y = 0; y < 3; ++y) {
                std::vector<uint8_t> input(size_t(groups) * 4);
                // Runs of a repeated group let neighbours smooth; the rest jump.
                for (int32_t g = 0; g < groups; ++g) {
                    if (g > 0 && below(3) == 0) {
                        std::copy_n(input.begin() + 4 * (g - 1), 4, input.begin() + 4 * g);
                    } else {
                        for (int k = 0; k < 4; ++k) input[size_t(4 * g + k)] = uint8_t(below(256));
                    }
                }
                std::vector<uint8_t> a(6 * kStride), b(6 * kStride);
                ASSERT_EQ(kernel()(prepared.view(), prepared.state(), input.data(), a.data(),
                                   kStride, 0, kCount, 0, 1, y, 0, 0),
                          INKDOT_OK);
                ASSERT_EQ(kernel()(perPixel.view(), perPixel.state(), input.data(), b.data(),
                                   kStride, 0, kCount, 0, 1, y, 0, 0),
                          INKDOT_OK);
                ASSERT_EQ(a, b) << "line " << y;
                for (int line = 0; line < 3; ++line)
                    ASSERT_EQ(prepared.errorLine(line), perPixel.errorLine(line))
                        << "error line " << line;
            }
        }
    }
}

// Each failing check returns before any plane byte, error entry, lastLine or
// lastEnd is written, in the order range, depth, enable, bit offset; neither
// pairFlag nor reserved is read.
TEST_P(MultiSepMember, ChecksInOrderWriteNothing) {
    struct Case {
        const char* what;
        int32_t startX, pixelCount, outputBits, enable, bitOffset, result;
    };
    const Case cases[] = {
        {"range first", 60, 10, 1, 0, 9, INKDOT_LINE_TOO_LONG},
        {"a negative count", 8, -4, 2, 1, 0, INKDOT_LINE_TOO_LONG},
        {"then the depth", 0, 10, 1, 0, 9, INKDOT_DEPTH_MISMATCH},
        {"depth 8", 0, 10, 8, 0, 9, INKDOT_DEPTH_MISMATCH},
        {"then enable", 0, 10, 2, 0, 9, INKDOT_NOT_ENABLED},
        {"bit offset 4", 0, 10, 2, 1, 4, INKDOT_UNSUPPORTED},
        {"bit offset -1", 0, 10, 2, 1, -1, INKDOT_UNSUPPORTED},
    };
    Fixture f;
    f.setEntry({1, 1, 1, 1}, {10, 20, 30, 40, 50, 60});
    const auto input = repeatPixel(channelsOf({1, 1, 1, 1}), 16);
    for (const Case& c : cases) {
        f.params().outputBits = c.outputBits;
        f.planes.fill(0xA5);
        for (int line = 0; line < 3; ++line)
            std::fill(f.errorLine(line).begin(), f.errorLine(line).end(), 3);
        EXPECT_EQ(f.run(kernel(), input, c.pixelCount, c.startX, 7, c.bitOffset, 0, c.enable),
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
    f.params().outputBits = 2;
    EXPECT_EQ(
        kernel()(f.view(), f.state(), input.data(), f.planes.data(), f.kPlaneStride, 0, 4, 0, 1, 7,
                 /*pairFlag*/ 9, /*reserved*/ 1),
        INKDOT_OK);
}

// The quantiser's dither value is the matrix read as one flat array at
// (x + ((width * y + 10) AND (size - 1))) AND (size - 1), shifted into a
// byte for matrices of more than 510 values, with bit 0 cleared. Channel 0
// value 9 steps from level 1 to 2 where the dither value reaches 100; level 2
// gives the plain ink a large dot.
TEST_P(MultiSepMember, QuantiserDitherAtTheFlatIndex) {
    struct Case {
        int32_t width, height, y, x;
        int32_t flat;   // the index read
        int32_t value;  // the matrix value there
        bool steps;
    };
    const Case cases[] = {
        {4, 4, 0, 0, 10, 100, true},     {4, 4, 0, 0, 10, 99, false},
        {4, 4, 1, 0, 14, 101, true},     {4, 4, 1, 3, 1, 100, true},
        {4, 4, 0, 6, 0, 100, true},      {4, 4, 2, 5, 7, 100, true},
        {32, 32, 0, 0, 10, 400, true},   {32, 32, 0, 0, 10, 399, false},  // shifted by 2
        {32, 32, 3, 40, 146, 400, true},
    };
    for (const Case& c : cases) {
        Fixture f;
        // Every other matrix value is 0, which never steps.
        std::vector<int32_t> m(size_t(c.width * c.height), 0);
        m[size_t(c.flat)] = c.value;
        f.setMatrix(c.width, c.height, m);
        f.setQuantiser(9, 1, 100);
        f.setEntry({1, 0, 0, 0}, {0, 0, 0, 0, 1, 0});
        f.setEntry({2, 0, 0, 0}, {0, 0, 0, 0, 2, 0});
        f.lower(4) = record(0, 0, 1, 1);  // amount 2 x 2
        f.base.levelThresholds[1] = kCovers;
        ASSERT_EQ(f.run(kernel(), {9, 0, 0, 0}, 1, c.x, c.y), INKDOT_OK);
        EXPECT_EQ(f.code(2, 0), c.steps ? kLarge : kNone)
            << c.width << "x" << c.height << " y " << c.y << " x " << c.x;
    }
}

// Each ink reads the record of its half: leading inks and the diffused ink
// the upper half (512 + amount), trailing inks and the plain ink the lower.
TEST_P(MultiSepMember, RecordsByRole) {
    struct Case {
        const char* ink;
        bool upper;
        int amount;  // twice the table byte on a first pixel
        int plane;
    };
    const Case cases[] = {{"leading 1", true, 2, 0}, {"trailing 1", false, 4, 4},
                          {"leading 2", true, 6, 1}, {"trailing 2", false, 8, 5},
                          {"plain", false, 10, 2},   {"diffused", true, 12, 3}};
    for (const Case& c : cases) {
        for (bool upper : {false, true}) {
            Fixture f;
            f.base.levelThresholds[1] = kCovers;
            f.setEntry({1, 1, 1, 1}, {1, 2, 3, 4, 5, 6});
            (upper ? f.upper(c.amount) : f.lower(c.amount)) = record(0, 0, 1, 1);
            ASSERT_EQ(f.run(kernel(), repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 0), INKDOT_OK);
            for (int p = 0; p < 6; ++p)
                EXPECT_EQ(f.code(p, 0), p == c.plane && upper == c.upper ? kLarge : kNone)
                    << c.ink << (upper ? " in the upper half" : " in the lower half") << ", plane "
                    << p;
        }
    }
}

// Next to a pixel within one grid step in every channel an amount is the sum
// of both pixels' table bytes (the previous byte as read, not its sum);
// otherwise, and on the first pixel, twice the byte.
TEST_P(MultiSepMember, AmountsSumWithThePreviousPixel) {
    struct Case {
        const char* what;
        std::vector<std::pair<Levels, uint8_t>> pixels;  // levels and byte b4
        std::vector<int> amounts;
    };
    const Case cases[] = {
        {"one step", {{{1, 1, 1, 1}, 10}, {{2, 1, 1, 1}, 21}}, {20, 31}},
        {"a step in every channel", {{{1, 2, 3, 4}, 10}, {{2, 1, 4, 3}, 21}}, {20, 31}},
        {"two steps", {{{1, 1, 1, 1}, 10}, {{1, 3, 1, 1}, 21}}, {20, 42}},
        {"the previous byte",
         {{{1, 1, 1, 1}, 10}, {{1, 1, 1, 2}, 21}, {{1, 1, 2, 2}, 30}},
         {20, 31, 51}},
    };
    for (const Case& c : cases) {
        for (size_t probe = 0; probe < c.pixels.size(); ++probe) {
            Fixture f;
            f.base.levelThresholds[1] = kCovers;
            std::vector<uint8_t> input;
            for (const auto& [k, b4] : c.pixels) {
                f.setEntry(k, {0, 0, 0, 0, b4, 0});
                const auto px = channelsOf(k);
                input.insert(input.end(), px.begin(), px.end());
            }
            f.lower(c.amounts[probe]) = record(0, 0, 1, 1);
            ASSERT_EQ(f.run(kernel(), input, int32_t(c.pixels.size()), 0), INKDOT_OK);
            for (size_t i = 0; i < c.pixels.size(); ++i)
                EXPECT_EQ(f.code(2, int32_t(i)), i == probe ? kLarge : kNone)
                    << c.what << ": amount " << c.amounts[probe] << " belongs to pixel " << probe;
        }
    }
}

// The plain ink: large, medium or small as the matrix value lies below the
// thresholds at the ends of its record's stretches, on the matrix three
// quarters of the width on. An index beyond the table reads its last entry.
TEST(MultiSepPlain, StretchesOfItsRecord) {
    struct Case {
        LevelRecord r;
        int32_t large, medium, small;  // the matrix value must lie below
    };
    const Case cases[] = {
        {record(20, 30, 40, 90), 40, 70, 90},
        {record(0, 0, 0, 0), 0, 0, 0},
        {record(10, 0, 60, 70), 60, 60, 70},
        {record(0, 0, 300, 300), 255, 255, 255},  // clamped to entry 255
        {record(0, 40, -20, 20), 0, 20, 20},      // clamped to entry 0
    };
    for (const Member& m : kMembers) {
        for (const Case& c : cases) {
            Fixture f(256);
            f.rampMatrix();
            f.identityThresholds();
            f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, 5, 0});
            f.lower(10) = c.r;
            ASSERT_EQ(f.run(*m.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 256), 256, 0),
                      INKDOT_OK);
            const std::string want = codesBy(
                256, [](int32_t x) { return (x + 192) & 255; },
                [&](int32_t u) {
                    return u < c.large    ? kLarge
                           : u < c.medium ? kMedium
                           : u < c.small  ? kSmall
                                          : kNone;
                });
            EXPECT_EQ(f.codes(2, 256), want) << m.name << " record tb " << c.r.thresholdBase;
        }
    }
}

// The pair rule on the pair's matrix value: without a leading ink the
// trailing ink's own stretch; stretches one after the other (k <= 0) give at
// most one dot of the two; overlapping ones (k > 0) lay the trailing ink at
// the top of the order, and a pixel may get both.
TEST(MultiSepPair, LeadingAndTrailingInk) {
    struct Case {
        const char* what;
        LevelRecord f, s;
        // (leading, trailing) code of matrix value u.
        std::pair<uint32_t, uint32_t> (*codes)(int32_t u);
    };
    const Case cases[] = {
        {"no leading ink", record(5, 5, 0, 0), record(0, 40, 100, 140),
         [](int32_t u) {
             return std::pair{kNone, u < 100 ? kLarge : u < 140 ? kMedium : kNone};
         }},
        {"one after the other", record(20, 30, 40, 90), record(0, 50, 60, 110),
         [](int32_t u) {
             if (u < 40) return std::pair{kLarge, kNone};
             if (u < 70) return std::pair{kMedium, kNone};
             if (u < 90) return std::pair{kSmall, kNone};
             if (u < 150) return std::pair{kNone, kLarge};
             if (u < 200) return std::pair{kNone, kMedium};
             return std::pair{kNone, kNone};
         }},
        {"k = 5: thresholds 95, 215 and 255", record(20, 30, 50, 100), record(0, 40, 120, 160),
         [](int32_t u) {
             const uint32_t lead = u < 50 ? kLarge : u < 80 ? kMedium : u < 100 ? kSmall : kNone;
             const uint32_t trail = u < 95 ? kNone : u < 215 ? kLarge : u < 255 ? kMedium : kNone;
             return std::pair{lead, trail};
         }},
        {"an overlap past the bottom reads entry 0", record(0, 0, 10, 10), record(0, 100, 200, 300),
         [](int32_t u) {
             return std::pair{u < 10 ? kLarge : kNone, u < 155   ? kLarge
                                                       : u < 255 ? kMedium
                                                                 : kNone};
         }},
    };
    for (const Member& m : kMembers) {
        for (const Case& c : cases) {
            for (int pair = 1; pair <= 2; ++pair) {
                Fixture f(256);
                f.rampMatrix();
                f.identityThresholds();
                // Pair 1 is bytes 0 and 1, pair 2 bytes 2 and 3.
                f.setEntry({1, 1, 1, 1},
                           pair == 1 ? Amounts{1, 2, 0, 0, 0, 0} : Amounts{0, 0, 1, 2, 0, 0});
                f.upper(2) = c.f;
                f.lower(4) = c.s;
                ASSERT_EQ(f.run(*m.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 256), 256, 0),
                          INKDOT_OK);
                // Pair 1 on row 0 at x; pair 2 on row 1 half the width on.
                auto u = [pair](int32_t x) { return pair == 1 ? x : 255 - ((x + 128) & 255); };
                const int leadPlane = pair == 1 ? 0 : 1, trailPlane = pair == 1 ? 4 : 5;
                EXPECT_EQ(f.codes(leadPlane, 256),
                          codesBy(256, u, [&](int32_t v) { return c.codes(v).first; }))
                    << m.name << ", pair " << pair << ": " << c.what;
                EXPECT_EQ(f.codes(trailPlane, 256),
                          codesBy(256, u, [&](int32_t v) { return c.codes(v).second; }))
                    << m.name << ", pair " << pair << ": " << c.what;
            }
        }
    }
}

// The diffused ink: large and medium from its record's stretches on the
// matrix a quarter of the width on, small from its error.
TEST(MultiSepDiffused, OrderedDotsOnItsOwnMatrixValue) {
    for (const Member& m : kMembers) {
        Fixture f(256);
        f.rampMatrix();
        f.identityThresholds();
        f.setEntry({1, 1, 1, 1}, {0, 0, 0, 0, 0, 6});
        f.upper(12) = record(0, 50, 30, 80);
        ASSERT_EQ(f.run(*m.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 256), 256, 0, 2),
                  INKDOT_OK);
        EXPECT_EQ(f.codes(3, 256), codesBy(
                                       256, [](int32_t x) { return (x + 64) & 255; },
                                       [](int32_t u) {
                                           return u < 30 ? kLarge : u < 80 ? kMedium : kNone;
                                       }))
            << m.name;
    }
}

// An active diffused ink without an ordered dot gets a small dot when its
// error (collected plus levelTotal) exceeds errorThresholds[levelTotal] + p
// for trailing ink 1, - p for trailing ink 2 and the diffused ink, strictly;
// p is +20 for an odd m0 and -20 for an even one. A levelTotal beyond the
// table reads its last entry.
TEST_P(MultiSepMember, SmallDotThresholdWithParityOffset) {
    struct Case {
        int32_t m0;
        int16_t total;
    };
    const Case cases[] = {{0, 50}, {1, 50}, {2, 200}, {3, 600}};
    for (const Case& c : cases) {
        const int32_t p = (c.m0 & 1) != 0 ? 20 : -20;
        const int32_t index = std::min<int32_t>(c.total, 511);
        for (int ink = 0; ink < 3; ++ink) {
            const int plane = ink == 0 ? 4 : ink == 1 ? 5 : 3;
            for (int32_t above : {0, 1}) {
                Fixture f;
                f.setMatrix(1, 1, {c.m0});
                f.setEntry({1, 1, 1, 1}, {0, 2, 0, 3, 0, 4});
                f.lower(4) = record(0, 0, 0, c.total);
                f.lower(6) = record(0, 0, 0, c.total);
                f.upper(8) = record(0, 0, 0, c.total);
                // E = total: a dot when total > entry +- p.
                const int32_t sign = ink == 0 ? 1 : -1;
                f.base.errorThresholds[size_t(index)] = int16_t(c.total - sign * p - 1 + above);
                ASSERT_EQ(f.run(kernel(), repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 0),
                          INKDOT_OK);
                EXPECT_EQ(f.code(plane, 0), above == 0 ? kSmall : kNone)
                    << "m0 " << c.m0 << " total " << c.total << " ink " << ink;
            }
        }
    }
}

// An ink is active at the first pixels of a call (6, or 10 in the 1440 and
// 2880 members) and at a pixel whose record has small dots and as many after
// it; an inactive ink writes only its carry (0 after C0, A0 or B0) and
// spreads nothing, so its entries stay 0.
TEST_P(MultiSepMember, ActivityRegisters) {
    const int32_t n = GetParam().activeRun;
    Fixture f;
    f.setSpreadLevels(100, 100, 100, 100);
    for (LevelRecord& r : f.records) r = record(0, 0, 0, 10);  // no small dots: unarmed
    const Levels plain{2, 2, 2, 2}, armed{4, 2, 2, 2};         // two steps: not summed
    f.setEntry(plain, {0, 5, 0, 5, 0, 5});
    f.setEntry(armed, {0, 7, 0, 5, 0, 5});
    f.lower(14) = record(1, 0, 0, 10);  // arms trailing ink 1 only
    const int32_t r = n + 6, count = r + n + 5;
    std::vector<uint8_t> input;
    for (int32_t x = 0; x < count; ++x) {
        const auto px = channelsOf(x == r ? armed : plain);
        input.insert(input.end(), px.begin(), px.end());
    }
    ASSERT_EQ(f.run(kernel(), input, count, 0), INKDOT_OK);
    for (int32_t x = 0; x < count; ++x) {
        // Entries n..n+2 lie beyond every B- share of pixel r.
        const bool activeA = x < n || (x >= r && x <= r + n);
        if (x < n + 3 || x >= r) {
            EXPECT_EQ(f.entry(0, x) != 0, activeA) << "line A, x " << x;
        }
        EXPECT_EQ(f.entry(1, x) != 0, x < n) << "line B, x " << x;
        EXPECT_EQ(f.entry(2, x) != 0, x < n) << "line C, x " << x;
    }
    for (int p = 0; p < 6; ++p) EXPECT_EQ(f.codes(p, count), std::string(size_t(count), '0'));
}

// Paired input (inputScale -1) gives HalftoneMultiSepMode the smaller value of
// each channel from two four-byte groups; the other members read one group a
// pixel. inputScale 1 serves each group to two pixels in every member.
TEST(MultiSepInput, PairedAndRepeatedGroups) {
    struct Case {
        Kernel* kernel;
        int32_t inputScale, count;
        const char* plane2;
    };
    const Case cases[] = {
        {&kernels::HalftoneMultiSepMode, -1, 2, "30"},
        {&kernels::HalftoneMultiSep, -1, 2, "33"},
        {&kernels::HalftoneMultiSep1440, -1, 2, "33"},
        {&kernels::HalftoneMultiSep2880, -1, 2, "33"},
        {&kernels::HalftoneMultiSepMode, 0, 2, "33"},
        {&kernels::HalftoneMultiSepMode, 1, 4, "3333"},
        {&kernels::HalftoneMultiSep, 1, 4, "3333"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.params().inputScale = c.inputScale;
        f.base.levelThresholds[1] = kCovers;
        // Channels (10, 0, 0, 0) are levels (1, 0, 0, 0); (30, 5, 0, 0) are
        // (3, 0, 0, 0); the smaller of each is (10, 0, 0, 0) again.
        f.setEntry({1, 0, 0, 0}, {0, 0, 0, 0, 5, 0});
        f.setEntry({3, 0, 0, 0}, {0, 0, 0, 0, 7, 0});
        f.lower(10) = record(0, 0, 1, 1);  // first pixel: 2 x 5
        f.lower(14) = record(0, 0, 1, 1);  // level 3 after level 1: 2 x 7
        f.lower(5) = record(0, 0, 0, 0);   // level 0 after level 1: 0 + 5
        const std::vector<uint8_t> input = {10, 0, 0, 0, 30, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(f.run(*c.kernel, input, c.count, 0), INKDOT_OK);
        EXPECT_EQ(f.codes(2, c.count), c.plane2) << "inputScale " << c.inputScale;
    }
}

// All six planes share the slot position: the slots in front of bitOffset
// keep what each plane's byte holds, those after the last pixel are cleared.
TEST_P(MultiSepMember, PacksSixPlanesAtAnOffset) {
    Fixture f;
    f.errorThresholdsAll(kAlways);
    f.base.levelThresholds[1] = kCovers;
    f.setEntry({1, 1, 1, 1}, {1, 2, 3, 4, 5, 6});
    f.upper(2) = f.upper(6) = record(0, 0, 1, 1);  // leading inks large, trailing small
    f.lower(10) = f.upper(12) = record(0, 0, 1, 1);
    f.planes.fill(0xA5);
    ASSERT_EQ(f.run(kernel(), repeatPixel(channelsOf({1, 1, 1, 1}), 3), 3, 0, 0, 3), INKDOT_OK);
    for (int p = 0; p < 6; ++p) {
        const uint8_t* plane = f.planes.data() + p * f.kPlaneStride;
        const bool large = p < 4;
        EXPECT_EQ(plane[0], large ? 0xA7 : 0xA5) << "plane " << p;
        EXPECT_EQ(plane[1], large ? 0xF0 : 0x50) << "plane " << p;
        EXPECT_EQ(plane[2], 0xA5) << "plane " << p;
    }
}

// The pattern of a diffused ink's error by member, levelTotal t, its dot
// (none, ordered or small) and parity; every dot takes 255 (510 in the 2880
// member). The error line after one pixel on zero lines is compared with the
// pattern's own expansion.
enum class Dot { None, Ordered, Small };
struct ChoiceCase {
    const char* name;
    Kernel* kernel;
    int16_t total;
    Dot dot;
    int32_t m0;
    void (*pattern)(uint16_t*, int32_t, uint32_t, uint16_t&);
};

class MultiSepPatternChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MultiSepPatternChoice, FollowsLevelTotalAndDot) {
    const ChoiceCase& c = GetParam();
    Fixture f;
    f.setSpreadLevels(40, 30, 20, 10);
    f.setMatrix(1, 1, {c.m0});
    f.base.levelThresholds[1] = kCovers;
    if (c.dot == Dot::Small) f.errorThresholdsAll(kAlways);
    f.setEntry({1, 1, 1, 1}, {0, 2, 0, 0, 0, 0});
    f.lower(4) = record(0, 0, c.dot == Dot::Ordered ? 1 : 0, c.total);
    ASSERT_EQ(f.run(*c.kernel, repeatPixel(channelsOf({1, 1, 1, 1}), 1), 1, 30), INKDOT_OK);
    EXPECT_EQ(f.code(4, 0), c.dot == Dot::None ? kNone : c.dot == Dot::Small ? kSmall : kLarge);

    const int32_t dotError = c.kernel == &kernels::HalftoneMultiSep2880 ? 510 : 255;
    const int32_t error = c.total - (c.dot == Dot::None ? 0 : dotError);
    std::vector<uint16_t> want(f.errorLine(0).size(), 0);
    uint16_t carry = 0;
    c.pattern(want.data() + kernels::kErrorLineGuard + 30, error, kernels::parityMask(c.m0), carry);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(uint16_t(f.errorLine(0)[i]), want[i]) << "entry " << i;
}

using kernels::diffuse;
const ChoiceCase kChoices[] = {
    {"Mode_AboveLevel1NoDot", &kernels::HalftoneMultiSepMode, 41, Dot::None, 0,
     &diffuse<kernels::kC1>},
    {"Mode_AboveLevel1Dot", &kernels::HalftoneMultiSepMode, 41, Dot::Ordered, 1,
     &diffuse<kernels::kC1>},
    {"Mode_AboveLevel2NoDot", &kernels::HalftoneMultiSepMode, 31, Dot::None, 0,
     &diffuse<kernels::kC2>},
    {"Mode_AboveLevel2Dot", &kernels::HalftoneMultiSepMode, 31, Dot::Small, 0,
     &diffuse<kernels::kC2>},
    {"Mode_Level2NoDot", &kernels::HalftoneMultiSepMode, 30, Dot::None, 1, &diffuse<kernels::kC0>},
    {"Mode_Level2Dot", &kernels::HalftoneMultiSepMode, 30, Dot::Small, 1, &diffuse<kernels::kC3>},
    {"Mode_Level3Dot", &kernels::HalftoneMultiSepMode, 20, Dot::Ordered, 0, &diffuse<kernels::kA3>},
    {"Mode_LowDot", &kernels::HalftoneMultiSepMode, 3, Dot::Small, 1, &diffuse<kernels::kA3>},
    {"Sep_AboveLevel1NoDot", &kernels::HalftoneMultiSep, 41, Dot::None, 0, &diffuse<kernels::kA1>},
    {"Sep_AboveLevel1Dot", &kernels::HalftoneMultiSep, 41, Dot::Small, 1, &diffuse<kernels::kA1>},
    {"Sep_Level1NoDot", &kernels::HalftoneMultiSep, 40, Dot::None, 1, &diffuse<kernels::kA0>},
    {"Sep_Level1DotEven", &kernels::HalftoneMultiSep, 35, Dot::Ordered, 0, &diffuse<kernels::kA2>},
    {"Sep_Level1DotOdd", &kernels::HalftoneMultiSep, 35, Dot::Small, 1, &diffuse<kernels::kA2>},
    {"Sep_Level2Dot", &kernels::HalftoneMultiSep, 30, Dot::Small, 0, &diffuse<kernels::kA3>},
    {"Sep1440_HighNoDot", &kernels::HalftoneMultiSep1440, 200, Dot::None, 1,
     &diffuse<kernels::kB0>},
    {"Sep1440_HighNoDotEven", &kernels::HalftoneMultiSep1440, 200, Dot::None, 0,
     &diffuse<kernels::kB0>},
    {"Sep1440_AboveLevel1Dot", &kernels::HalftoneMultiSep1440, 41, Dot::Small, 0,
     &diffuse<kernels::kB1>},
    {"Sep1440_AboveLevel2Dot", &kernels::HalftoneMultiSep1440, 31, Dot::Ordered, 1,
     &diffuse<kernels::kB2>},
    {"Sep1440_Level2Dot", &kernels::HalftoneMultiSep1440, 30, Dot::Small, 0,
     &diffuse<kernels::kC5>},
    {"Sep1440_LowDot", &kernels::HalftoneMultiSep1440, 5, Dot::Ordered, 1, &diffuse<kernels::kC5>},
    {"Sep2880_NoDot", &kernels::HalftoneMultiSep2880, 100, Dot::None, 0, &diffuse<kernels::kB0>},
    {"Sep2880_NoDotOdd", &kernels::HalftoneMultiSep2880, 100, Dot::None, 1, &diffuse<kernels::kB0>},
    {"Sep2880_AboveLevel1Dot", &kernels::HalftoneMultiSep2880, 41, Dot::Small, 1,
     &diffuse<kernels::kB1>},
    {"Sep2880_AboveLevel1OrderedDot", &kernels::HalftoneMultiSep2880, 200, Dot::Ordered, 0,
     &diffuse<kernels::kB1>},
    {"Sep2880_Level1NoDot", &kernels::HalftoneMultiSep2880, 40, Dot::None, 1,
     &diffuse<kernels::kB0>},
    {"Sep2880_AboveLevel2Dot", &kernels::HalftoneMultiSep2880, 31, Dot::Small, 0,
     &diffuse<kernels::kB2>},
    {"Sep2880_AboveLevel3Dot", &kernels::HalftoneMultiSep2880, 21, Dot::Ordered, 0,
     &diffuse<kernels::kB3>},
    {"Sep2880_AboveLevel4Dot", &kernels::HalftoneMultiSep2880, 11, Dot::Small, 1,
     &diffuse<kernels::kB4>},
    {"Sep2880_Level4Dot", &kernels::HalftoneMultiSep2880, 10, Dot::Ordered, 1,
     &diffuse<kernels::kB5>},
    {"Sep2880_Level4DotEven", &kernels::HalftoneMultiSep2880, 10, Dot::Small, 0,
     &diffuse<kernels::kB5>},
};

INSTANTIATE_TEST_SUITE_P(Cases, MultiSepPatternChoice, ::testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inkdot
