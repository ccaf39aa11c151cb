// Shared kernel mechanics: the diffusion patterns' shares, the threshold bias
// and the line-range check.
#include <gtest/gtest.h>

#include "kernels/diffusion.h"
#include "support/error_span.h"
#include "support/kernel_fixtures.h"

namespace inkdot {
namespace {

using kernels::Pattern;
using test::kSpan;
using test::PatternRow;

using DiffuseFn = void (*)(uint16_t*, int32_t, uint32_t, uint16_t&);

struct PatternCase {
    const char* name;
    DiffuseFn diffuse;
    bool odd;
    PatternRow row;  // as the pattern tables state it
};

// Every pattern and parity variant, written out from the tables: below
// lists B-1, B-2, ...; right lists R+1, R+2, ...
const PatternCase kPatternCases[] = {
    {"A0", &kernels::diffuse<kernels::kA0>, false, {"8 4", "8", "8 4", "0"}},
    {"A0odd", &kernels::diffuse<kernels::kA0>, true, {"8 4", "8", "8 4", "0"}},
    {"A1", &kernels::diffuse<kernels::kA1>, false, {"4 4", "8", "8 4", "4"}},
    {"A2even", &kernels::diffuse<kernels::kA2>, false, {"4 2 2 2", "4", "4 4 2 2 2", "4"}},
    {"A2odd", &kernels::diffuse<kernels::kA2>, true, {"4 2 2 2", "6", "4 4 2 2", "4"}},
    {"A3", &kernels::diffuse<kernels::kA3>, true, {"3 2 2 2 2 1 1", "3", "3 3 3 1 1 1 1", "3"}},
    {"A4even",
     &kernels::diffuse<kernels::kA4>,
     false,
     {"2 2 2 2 1 1 1 1 1 1", "2", "2 2 2 2 1 1 1 1 1 1", "2"}},
    {"A4odd",
     &kernels::diffuse<kernels::kA4>,
     true,
     {"2 2 2 2 1 1 1 1 1 1", "2", "2 2 2 2 1 1 1 1 1 0 1", "2"}},
    {"A5even",
     &kernels::diffuse<kernels::kA5>,
     false,
     {"1 1 1 1 1 1 1 1 1 1 1 1 1 0 1", "1", "1 1 1 1 1 1 1 1 1 1 1 1 1 1", "1"}},
    {"A5odd",
     &kernels::diffuse<kernels::kA5>,
     true,
     {"1 1 1 1 1 1 1 1 1 1 1 1 1 1", "1", "1 1 1 1 1 1 1 1 1 1 1 1 1 1", "1"}},
    {"B0even", &kernels::diffuse<kernels::kB0>, false, {"4 4 4", "8", "8 4", "0"}},
    {"B0odd", &kernels::diffuse<kernels::kB0>, true, {"8 4", "8", "4 4 4", "0"}},
    {"B1", &kernels::diffuse<kernels::kB1>, false, {"4 4 2 2", "4", "4 4 2 2", "4"}},
    {"B2", &kernels::diffuse<kernels::kB2>, true, {"3 3 3 2 2 1 1", "2", "3 3 3 2 2 1 1", "0"}},
    {"B3",
     &kernels::diffuse<kernels::kB3>,
     false,
     {"2 2 2 2 2 1 1 1 1 1", "2", "2 2 2 2 2 1 1 1 1 1", "0"}},
    {"B4",
     &kernels::diffuse<kernels::kB4>,
     true,
     {"2 1 1 1 1 1 1 1 1 1 1 1 1 1", "1", "2 1 1 1 1 1 1 1 1 1 1 1 1 1", "1"}},
    {"B5",
     &kernels::diffuse<kernels::kB5>,
     false,
     {"1 1 1 1 1 1 1 1 1 h h h h h h h h h h h h", "h",
      "1 1 1 1 1 1 1 1 1 h h h h h h h h h h h h h h", "h"}},
    {"M0", &kernels::diffuse<kernels::kM0>, false, {"4 4", "12", "4 4", "4"}},
    {"M1", &kernels::diffuse<kernels::kM1>, true, {"8", "8", "4 4", "8"}},
    {"M2", &kernels::diffuse<kernels::kM2>, false, {"4 2 2 2", "8", "2 2 2 2", "6"}},
    {"M3", &kernels::diffuse<kernels::kM3>, false, {"3 2 2 2 2 1 1", "3", "3 3 3 1 1 1 1", "3"}},
    {"C0", &kernels::diffuse<kernels::kC0>, true, {"4 4", "16", "4 4", "0"}},
    {"C5",
     &kernels::diffuse<kernels::kC5>,
     false,
     {"2 2 2 2 1 1 1 1 1 1 1", "2", "2 2 2 2 1 1 1 1 1 1 1", "0"}},
};

class PatternShares : public ::testing::TestWithParam<PatternCase> {};

// Diffuses a known error into a zero line (own entry holding stale error, a
// carry waiting) and reads every entry back. Odd errors tell whole shares
// from half shares; the negative one checks that halves round downward.
TEST_P(PatternShares, LandWhereTheTableSays) {
    const PatternCase& c = GetParam();
    for (int32_t error : {65, -65, 1}) {
        std::vector<uint16_t> line(2 * kSpan + 1, 0);
        line[kSpan] = 999;  // overwritten, not added to
        uint16_t carry = 5;
        c.diffuse(line.data() + kSpan, error, c.odd ? ~0u : 0u, carry);

        int32_t carryOut = 0;
        std::vector<int32_t> want = test::expectedEntries(c.row, error, 5, carryOut);
        for (int k = -kSpan; k <= kSpan; ++k)
            EXPECT_EQ(int16_t(line[size_t(kSpan + k)]), int16_t(want[size_t(kSpan + k)]))
                << "E " << error << " offset " << k;
        EXPECT_EQ(int16_t(carry), int16_t(carryOut)) << "E " << error;
    }
}

// Additions into entries wrap at 16 bits.
TEST_P(PatternShares, AdditionsWrapAtSixteenBits) {
    const PatternCase& c = GetParam();
    std::vector<uint16_t> line(2 * kSpan + 1, 0x7FF0);
    uint16_t carry = 0;
    const int32_t error = 0x12345;  // only its low 16 bits (and E >> 1) matter
    c.diffuse(line.data() + kSpan, error, c.odd ? ~0u : 0u, carry);
    int32_t carryOut = 0;
    std::vector<int32_t> want = test::expectedEntries(c.row, error, 0, carryOut);
    for (int k = -kSpan; k <= kSpan; ++k) {
        const uint32_t base = k == 0 ? 0 : 0x7FF0;
        EXPECT_EQ(line[size_t(kSpan + k)], uint16_t(base + uint32_t(want[size_t(kSpan + k)])))
            << "offset " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, PatternShares, ::testing::ValuesIn(kPatternCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Spreading by either of two patterns without a branch lands exactly as the
// chosen pattern does, whichever it is: entries of the other pattern only,
// shared entries with different weights, half shares and the parity.
using EitherFn = void (*)(uint16_t*, int32_t, bool, uint32_t, uint16_t&);

template <const Pattern& First, const Pattern& Second>
void diffuseEither(uint16_t* own, int32_t error, bool second, uint32_t oddMask, uint16_t& carry) {
    kernels::EntrySpan span{own, carry};
    kernels::diffuseEither<First, Second>(span, error, second, oddMask);
}

struct EitherCase {
    const char* name;
    EitherFn either;
    DiffuseFn first;
    DiffuseFn second;
};

const EitherCase kEitherCases[] = {
    {"B0orB1", &diffuseEither<kernels::kB0, kernels::kB1>, &kernels::diffuse<kernels::kB0>,
     &kernels::diffuse<kernels::kB1>},
    {"B0orB5", &diffuseEither<kernels::kB0, kernels::kB5>, &kernels::diffuse<kernels::kB0>,
     &kernels::diffuse<kernels::kB5>},
    {"A5orA2", &diffuseEither<kernels::kA5, kernels::kA2>, &kernels::diffuse<kernels::kA5>,
     &kernels::diffuse<kernels::kA2>},
};

class EitherPattern : public ::testing::TestWithParam<EitherCase> {};

TEST_P(EitherPattern, LandsAsTheChosenPattern) {
    const EitherCase& c = GetParam();
    for (bool second : {false, true}) {
        for (uint32_t oddMask : {0u, ~0u}) {
            for (int32_t error : {65, -65, 1, -1, 0x12345}) {
                std::vector<uint16_t> got(2 * kSpan + 1), want(2 * kSpan + 1);
                for (size_t i = 0; i < got.size(); ++i) got[i] = want[i] = uint16_t(i * 0x9E37u);
                uint16_t gotCarry = 7, wantCarry = 7;
                c.either(got.data() + kSpan, error, second, oddMask, gotCarry);
                (second ? c.second : c.first)(want.data() + kSpan, error, oddMask, wantCarry);
                EXPECT_EQ(got, want) << "second " << second << " odd " << oddMask << " E " << error;
                EXPECT_EQ(gotCarry, wantCarry)
                    << "second " << second << " odd " << oddMask << " E " << error;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, EitherPattern, ::testing::ValuesIn(kEitherCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ThresholdBias, OnlyTheLowByteDecides) {
    struct Case {
        int32_t u, bias;
    };
    for (Case c : {Case{0, 24},
                   {7, 24},
                   {8, 20},
                   {128, 20},
                   {129, -20},
                   {247, -20},
                   {248, -24},
                   {255, -24},
                   {0x1307, 24},
                   {0x1380, 20},
                   {0x1381, -20},
                   {0xFFF8, -24},
                   {-1, -24}})
        EXPECT_EQ(kernels::thresholdBias(c.u), c.bias) << c.u;
}

TEST(StretchFits, EndMayReachMaxPixelsButNotWrap) {
    test::KernelFixture f(100);
    struct Case {
        int32_t startX, pixelCount;
        bool fits;
    };
    for (Case c : {Case{0, 100, true},
                   {99, 1, true},
                   {100, 0, true},
                   {100, 1, false},
                   {0, 101, false},
                   {-1, 1, false},
                   {-100, 150, false},
                   {10, -5, false},
                   {INT32_MAX, INT32_MAX, false}})
        EXPECT_EQ(kernels::stretchFits(f.view(), c.startX, c.pixelCount), c.fits)
            << c.startX << " + " << c.pixelCount;
    f.params().maxPixels = -1;
    EXPECT_FALSE(kernels::stretchFits(f.view(), 0, 1));
    EXPECT_TRUE(kernels::stretchFits(f.view(), 0, 0));
}

}  // namespace
}  // namespace inkdot
