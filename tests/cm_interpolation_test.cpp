// Tetrahedral interpolation in three and four dimensions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "cm/interpolation.h"
#include "support/cm_fixtures.h"

namespace inkdot {
namespace {

using test::evenList;
using test::LutWithGrid;
using test::NodeIndex;

// Uneven lists, so cell widths differ between axes and within an axis.
const std::vector<uint8_t> kList0 = {0, 30, 64, 128, 200, 255};
const std::vector<uint8_t> kList1 = {0, 17, 99, 170, 255};
const std::vector<uint8_t> kList2 = {0, 50, 51, 140, 254, 255};

uint8_t hashNode(const NodeIndex& n, int m) {
    return static_cast<uint8_t>((n.i0 * 73 + n.i1 * 151 + n.i2 * 29 + n.i3 * 211 + m * 97) % 256);
}

std::vector<uint8_t> interpolateOne(const LutWithGrid& g, uint8_t x0, uint8_t x1, uint8_t x2) {
    uint8_t pixel[4] = {0xEE, x0, x1, x2};
    std::vector<uint8_t> out(g.lut.channels);
    interpolate3(g.lut, g.lut.grid, 1, pixel, out.data());
    return out;
}

TEST(Interpolate3, GridNodesComeBackUnchanged) {
    LutWithGrid g(kList0, kList1, kList2, 3, hashNode);
    ASSERT_TRUE(interpolationReady(g.lut, false));
    for (int i0 = 0; i0 < 6; ++i0)
        for (int i1 = 0; i1 < 5; ++i1)
            for (int i2 = 0; i2 < 6; ++i2) {
                auto out = interpolateOne(g, kList0[i0], kList1[i1], kList2[i2]);
                for (int m = 0; m < 3; ++m)
                    ASSERT_EQ(out[m], g.node({i0, i1, i2, 0}, m)) << i0 << i1 << i2 << m;
            }
}

// A grid holding a linear function is reproduced everywhere up to the
// truncations of the offsets and the final division; choosing the wrong
// tetrahedron or the wrong cell gives errors far larger than that.
TEST(Interpolate3, LinearGridIsReproducedEverywhere) {
    auto f = [](int x0, int x1, int x2) { return (2 * x0 + x1 + x2) / 4; };
    LutWithGrid g(kList0, kList1, kList2, 2, [&](const NodeIndex& n, int m) {
        int v = f(kList0[n.i0], kList1[n.i1], kList2[n.i2]);
        return static_cast<uint8_t>(m == 0 ? v : 255 - v);
    });
    for (int x0 = 0; x0 < 256; x0 += 5)
        for (int x1 = 0; x1 < 256; x1 += 3)
            for (int x2 = 0; x2 < 256; x2 += 7) {
                auto out = interpolateOne(g, x0, x1, x2);
                int want = f(x0, x1, x2);
                ASSERT_LE(std::abs(out[0] - want), 3) << x0 << ' ' << x1 << ' ' << x2;
                ASSERT_LE(std::abs(out[1] - (255 - want)), 3) << x0 << ' ' << x1 << ' ' << x2;
            }
}

// One cell, corners N(pqr) = 8p + 4q + 2r + 1 times 10 in channel 0, so each
// case's result shows which corners and weights were taken.
struct Case3 {
    uint8_t x0, x1, x2;
    uint8_t want;
};

TEST(Interpolate3, TetrahedronRowsAndTies) {
    LutWithGrid g({0, 255}, {0, 255}, {0, 255}, 1, [](const NodeIndex& n, int) {
        return static_cast<uint8_t>(10 * (4 * n.i0 + 2 * n.i1 + n.i2) + 100);
    });
    // Corner values: 000=100 100=140 010=120 001=110 110=160 101=150 011=130 111=170.
    for (Case3 c : {
             // a >= b >= c': 000,100,110,111 with 55,100,50,50 -> (5500+14000+8000+8500)/255
             Case3{200, 100, 50, 141},
             // a >= c' > b: 000,100,101,111 with 55,100,50,50
             Case3{200, 50, 100, (55 * 100 + 100 * 140 + 50 * 150 + 50 * 170) / 255},
             // c' > a >= b: 000,001,101,111
             Case3{100, 50, 200, (55 * 100 + 100 * 110 + 50 * 150 + 50 * 170) / 255},
             // b > a >= c': 000,010,110,111
             Case3{100, 200, 50, (55 * 100 + 100 * 120 + 50 * 160 + 50 * 170) / 255},
             // b >= c' > a: 000,010,011,111
             Case3{50, 200, 100, (55 * 100 + 100 * 120 + 50 * 130 + 50 * 170) / 255},
             // c' > b > a: 000,001,011,111
             Case3{50, 100, 200, (55 * 100 + 100 * 110 + 50 * 130 + 50 * 170) / 255},
             // all equal: only 000 and 111 weigh
             Case3{90, 90, 90, (165 * 100 + 90 * 170) / 255},
             Case3{255, 255, 255, 170},
             Case3{0, 0, 0, 100},
         }) {
        auto out = interpolateOne(g, c.x0, c.x1, c.x2);
        EXPECT_EQ(out[0], c.want) << int(c.x0) << ' ' << int(c.x1) << ' ' << int(c.x2);
    }
}

// Offsets on axes 1 and 2 are rescaled to the axis-0 cell width with an
// unsigned truncating division before the tetrahedron is chosen.
TEST(Interpolate3, OffsetsAreInAxisZeroUnits) {
    // Axis-0 cell 0..100 (W = 100), axis-1 cell 0..30, axis-2 cell 0..255.
    const std::vector<uint8_t> l0 = {0, 100, 255}, l1 = {0, 30, 255}, l2 = {0, 255};
    LutWithGrid farCorners(l0, l1, l2, 1, [](const NodeIndex& n, int) {
        return static_cast<uint8_t>(n.i0 == 0 && n.i1 == 0 && n.i2 == 0 ? 0 : 200);
    });
    // x1 = 10: b = 10 x 100 / 30 = 33; x2 = 128: c' = 128 x 100 / 255 = 50;
    // a = 20. Row c' > b > a: N(000) weighs W - c' = 50, the rest 200 x 50 / 100.
    EXPECT_EQ(interpolateOne(farCorners, 20, 10, 128)[0], 100);
    // x1 = 29: b = 96 (96.67 truncated), a = 97, c' = 0: first row, and
    // N(100) weighs a - b = 1. Rounding b up would give it no weight.
    LutWithGrid only100(l0, l1, l2, 1, [](const NodeIndex& n, int) {
        return static_cast<uint8_t>(n.i0 == 1 && n.i1 == 0 && n.i2 == 0 ? 200 : 0);
    });
    EXPECT_EQ(interpolateOne(only100, 97, 29, 0)[0], 2);
}

TEST(Interpolate4, NodesAndLinearAlongAxisThree) {
    auto g = LutWithGrid::fourD(evenList(5), evenList(5), {0, 40, 90, 200, 255}, 4, hashNode);
    ASSERT_TRUE(interpolationReady(g.lut, true));
    const uint8_t* l0 = g.lut.list0;
    const uint8_t* l2 = g.lut.list2;
    uint8_t out[4];
    for (int i0 = 0; i0 < 5; ++i0)
        for (int i1 = 0; i1 < 5; ++i1)
            for (int i2 = 0; i2 < 5; ++i2)
                for (int i3 = 0; i3 < 5; ++i3) {
                    interpolate4(g.lut, l0[i0], l0[i1], l2[i2], l2[i3], out);
                    for (int m = 0; m < 4; ++m)
                        ASSERT_EQ(out[m], g.node({i0, i1, i2, i3}, m)) << i0 << i1 << i2 << i3;
                }
    // Between two axis-3 layers at a grid node of axes 0..2: (S1 t + S0 (D - t)) / (D W).
    for (int x3 = 0; x3 < 256; ++x3) {
        interpolate4(g.lut, l0[2], l0[3], l2[1], static_cast<uint8_t>(x3), out);
        int i3 = 1;
        while (l2[i3] < x3) ++i3;
        int d = l2[i3] - l2[i3 - 1], t = x3 - l2[i3 - 1];
        for (int m = 0; m < 4; ++m) {
            int lo = g.node({2, 3, 1, i3 - 1}, m), hi = g.node({2, 3, 1, i3}, m);
            ASSERT_EQ(out[m], (hi * t + lo * (d - t)) / d) << x3 << ' ' << m;
        }
    }
}

TEST(Interpolate4, MatchesThreeDimensionsOnEveryLayer) {
    auto g4 = LutWithGrid::fourD(kList0, kList0, kList2, 2, hashNode);
    for (int i3 = 0; i3 < 6; ++i3) {
        LutWithGrid g3(kList0, kList0, kList2, 2, [&](const NodeIndex& n, int m) {
            return hashNode({n.i0, n.i1, n.i2, i3}, m);
        });
        for (int x = 0; x < 256; x += 3) {
            uint8_t out4[2];
            uint8_t x0 = static_cast<uint8_t>(x), x1 = static_cast<uint8_t>(255 - x),
                    x2 = static_cast<uint8_t>(x * 7 % 256);
            interpolate4(g4.lut, x0, x1, x2, kList2[i3], out4);
            auto out3 = interpolateOne(g3, x0, x1, x2);
            ASSERT_EQ(out4[0], out3[0]) << x << ' ' << i3;
            ASSERT_EQ(out4[1], out3[1]) << x << ' ' << i3;
        }
    }
}

// Prepared cells give what the search gives, in three and four dimensions.
TEST(PreparedCells, MatchTheSearch) {
    LutWithGrid g3(kList0, kList1, kList2, 3, hashNode);
    auto g4 = LutWithGrid::fourD(kList0, kList1, kList2, 2, hashNode);
    AxisCells cells3, cells4;
    prepareAxisCells(g3.lut, cells3);
    prepareAxisCells(g4.lut, cells4);
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 256; y += 5) {
            uint8_t x0 = static_cast<uint8_t>(x), x1 = static_cast<uint8_t>(y),
                    x2 = static_cast<uint8_t>((x * 3 + y) % 256),
                    x3 = static_cast<uint8_t>(255 - y);
            uint8_t pixel[4] = {0, x0, x1, x2};
            uint8_t searched[3], prepared[3];
            interpolate3(g3.lut, g3.lut.grid, 1, pixel, searched);
            interpolate3(g3.lut, cells3, g3.lut.grid, 1, pixel, prepared);
            ASSERT_EQ(std::memcmp(searched, prepared, 3), 0) << x << ' ' << y;
            interpolate4(g4.lut, x0, x1, x2, x3, searched);
            interpolate4(g4.lut, cells4, x0, x1, x2, x3, prepared);
            ASSERT_EQ(std::memcmp(searched, prepared, 2), 0) << x << ' ' << y;
        }
}

TEST(InterpolationReady, RejectsWhatTheSearchCannotWalk) {
    LutWithGrid good(kList0, kList1, kList2, 3, hashNode);
    EXPECT_TRUE(interpolationReady(good.lut, false));
    EXPECT_FALSE(interpolationReady(good.lut, true));  // no axis 3
    struct Breakage {
        const char* name;
        void (*apply)(CmLut&);
    };
    for (Breakage b : {
             Breakage{"no grid", [](CmLut& l) { l.grid = nullptr; }},
             Breakage{"no channels", [](CmLut& l) { l.channels = 0; }},
             Breakage{"21 channels", [](CmLut& l) { l.channels = 21; }},
             Breakage{"37 points", [](CmLut& l) { l.points[0] = 37; }},
             Breakage{"one point", [](CmLut& l) { l.points[1] = 1; }},
             Breakage{"not from 0", [](CmLut& l) { l.list0[0] = 1; }},
             Breakage{"not to 255", [](CmLut& l) { l.list1[4] = 254; }},
             Breakage{"zero-width cell", [](CmLut& l) { l.list2[2] = 50; }},
         }) {
        LutWithGrid g(good);
        b.apply(g.lut);
        EXPECT_FALSE(interpolationReady(g.lut, false)) << b.name;
    }
}

}  // namespace
}  // namespace inkdot
