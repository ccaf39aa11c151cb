// The characterisation on small cases whose answer is known: the ink split,
// the linearisation of a ramp of known shape, the interpolated printer, the
// inversion of a printer given as a formula, the one-ink grey ramp, and the
// round trip from noisy measurements of the ink model.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "colour/characterise.h"
#include "colour/ink_model.h"

namespace inkdot::colour {
namespace {

TEST(Separation, SplitsEachDemandBetweenLightAndDarkInk) {
    SeparationDesign d;     // light alone to 0.10, dark alone from 0.45
    d.lightStrength = 0.3;  // light = 0.3 of dark
    struct Case {
        double c, k, dark, light;
    };
    const Case cases[] = {
        {0.05, 0.0, 0.0, 0.05 / 0.3},  // light ink alone
        {0.60, 0.0, 0.60, 0.0},        // dark ink alone
        // Black 0.7 leaves room 0.3 for a demand of 0.2: the light ink gives
        // way to the dark until the pair fits, carrying the same demand:
        // dark + light = 0.3 and dark + 0.3 light = 0.2.
        {0.20, 0.7, 0.3 - 0.1 / 0.7, 0.1 / 0.7},
        {0.50, 0.8, 0.2, 0.0},  // more demand than room: dark ink fills it
    };
    for (const Case& c : cases) {
        const auto ink = separateDemands(d, c.c, 0, 0, c.k);
        EXPECT_NEAR(ink[0], c.dark, 1e-9) << c.c << " " << c.k;
        EXPECT_NEAR(ink[1], c.light, 1e-9) << c.c << " " << c.k;
        EXPECT_LE(ink[0] + ink[1] + ink[5], 1.0 + 1e-9);
    }
    // Between the two ends both inks print and the demand is kept.
    const auto mid = separateDemands(d, 0.25, 0, 0, 0);
    EXPECT_GT(mid[0], 0.0);
    EXPECT_GT(mid[1], 0.0);
    EXPECT_NEAR(mid[0] + 0.3 * mid[1], 0.25, 1e-9);
}

TEST(Separation, GridKeepsPairAndBlackWithinOneSolidAndTheInkLimit) {
    SeparationDesign d;
    d.points = 5;
    d.inkLimit = 200;
    const respack::Bytes grid = separationGrid(d);
    ASSERT_EQ(grid.size(), size_t(5 * 5 * 5 * 5 * 6));
    for (size_t n = 0; n < grid.size(); n += 6) {
        EXPECT_LE(grid[n] + grid[n + 1] + grid[n + 5], 255) << n;
        EXPECT_LE(grid[n + 2] + grid[n + 3] + grid[n + 5], 255) << n;
        int sum = 0;
        for (size_t i = 0; i < 6; ++i) sum += grid[n + i];
        EXPECT_LE(sum, 510 + 6) << n;  // 200 percent, give or take the rounding of six bytes
    }
}

TEST(Separation, LinearisationMakesTheDistanceFromPaperGrowEvenly) {
    // A printer whose distance from paper grows with the square of each
    // input: the linearised demand of value v must be sqrt(v / 255).
    SeparationDesign d;
    const MeasureSeparation measure = [](const SeparationDesign& design,
                                         std::span<const Cmyk> patches) {
        std::vector<Lab> out;
        for (const Cmyk& p : patches) {
            const double v = design.demand[0][p.c] + design.demand[1][p.m] + design.demand[2][p.y] +
                             design.demand[3][p.k];
            out.push_back({100.0 - 60.0 * v * v, 0, 0});
        }
        return out;
    };
    lineariseSeparation(d, measure);
    for (size_t ch = 0; ch < 4; ++ch)
        for (int v : {0, 16, 64, 128, 200, 255})
            EXPECT_NEAR(d.demand[ch][size_t(v)], std::sqrt(v / 255.0), 0.01) << ch << " " << v;
}

// A printer given as a formula: each ink takes away light in its own
// channels, as the films of the ink model do.
Lab formulaPrinter(const ColourSpaces& spaces, const std::array<double, 4>& x) {
    const Linear through{
        (1 - 0.95 * x[0]) * (1 - 0.2 * x[1]) * (1 - 0.05 * x[2]) * (1 - 0.9 * x[3]),
        (1 - 0.6 * x[0]) * (1 - 0.95 * x[1]) * (1 - 0.2 * x[2]) * (1 - 0.9 * x[3]),
        (1 - 0.3 * x[0]) * (1 - 0.7 * x[1]) * (1 - 0.97 * x[2]) * (1 - 0.9 * x[3])};
    return spaces.labFromLinear(through);
}

Measurements measureFormula(const ColourSpaces& spaces, TargetGrid grid) {
    Measurements m{grid, {}};
    for (const Cmyk& p : grid.patches())
        m.lab.push_back(
            formulaPrinter(spaces, {p.c / 255.0, p.m / 255.0, p.y / 255.0, p.k / 255.0}));
    return m;
}

TEST(Printer, InterpolatesBetweenTheMeasuredPatches) {
    ColourSpaces spaces;
    // Lab that is linear in the inputs is reproduced everywhere.
    Measurements m{{3, 2}, {}};
    for (const Cmyk& p : m.grid.patches())
        m.lab.push_back(
            {100.0 - 30 * p.c / 255.0 - 20 * p.k / 255.0, 10 * p.m / 255.0, -5 * p.y / 255.0});
    const PrinterModel printer(m);
    const Lab v = printer({0.3, 0.6, 0.9, 0.25});
    EXPECT_NEAR(v.L, 100 - 9 - 5, 1e-9);
    EXPECT_NEAR(v.a, 6, 1e-9);
    EXPECT_NEAR(v.b, -4.5, 1e-9);
}

TEST(RgbTable, InvertsAPrinterToNeutralGreysAndItsOwnColours) {
    ColourSpaces spaces;
    const PrinterModel printer(measureFormula(spaces, {17, 9}));
    RgbTableDesign d;
    d.points = 9;
    const GamutMapping mapping(printer, d, spaces);
    const RgbTable table = buildRgbTable(printer, mapping, d);
    const std::vector<uint8_t> list = respack::axisValues(9);
    for (size_t i = 0; i < 9; ++i) {
        // Greys: neutral, and at the input's lightness (above the knee).
        const size_t node = (i * 9 + i) * 9 + i;
        const Lab printed = printer(table.cmyk[node]);
        EXPECT_NEAR(printed.a, 0.0, 0.5) << int(list[i]);
        EXPECT_NEAR(printed.b, 0.0, 0.5) << int(list[i]);
        const double in = spaces.labFromSrgb(list[i], list[i], list[i]).L;
        if (in > mapping.blackL() + 3) {
            EXPECT_NEAR(printed.L, in, 0.5) << int(list[i]);
        }
    }
    // Every aim the printer reaches is printed.
    for (size_t n = 0; n < table.cmyk.size(); ++n) {
        const Lab printed = printer(table.cmyk[n]);
        EXPECT_LT(deltaE2000(printed, table.aims[n]), 1.0) << n;
        const auto& x = table.cmyk[n];
        EXPECT_LE(x[0] + x[1] + x[2] + x[3], d.inkLimit / 100.0 + 1e-3);
    }
    EXPECT_EQ(table.cmyk.back(), (std::array<double, 4>{0, 0, 0, 0}));  // white is paper
}

// The separating kernels keep a dark ink and black within one solid: past
// that, more of the ink changes nothing.
double pairRoom(const std::array<double, 4>& x) {
    return std::max(0.0, x[0] + x[3] - 1.0) + std::max(0.0, x[1] + x[3] - 1.0);
}

TEST(RgbTable, ColoursTooDarkForTheInksKeepTheirHueAndChroma) {
    // With the pair's room kept and a low ink limit, the darkest colours
    // cannot be made: their nodes move to a colour the inks make, of the
    // same hue and still colourful, rather than to a grey of the same
    // lightness.
    ColourSpaces spaces;
    const PrinterModel printer(measureFormula(spaces, {17, 9}));
    RgbTableDesign d;
    d.points = 9;
    d.inkLimit = 200;
    d.overflow = pairRoom;
    const GamutMapping mapping(printer, d, spaces);
    const RgbTable table = buildRgbTable(printer, mapping, d);
    const std::vector<uint8_t> list = respack::axisValues(9);
    for (size_t n = 0; n < table.cmyk.size(); ++n) {
        const size_t i0 = n / 81, i1 = n / 9 % 9, i2 = n % 9;
        const Lab wanted = mapping.aim(list[i0], list[i1], list[i2]);
        // (At the black point itself only grey is left.)
        if (chroma(wanted) < 15.0 || wanted.L < mapping.blackL() + 10.0) continue;
        const Lab printed = printer(table.cmyk[n]);
        EXPECT_GT(chroma(printed), 0.4 * chroma(wanted))
            << int(list[i0]) << "," << int(list[i1]) << "," << int(list[i2]);
        double shift = std::abs(hueDegrees(printed) - hueDegrees(wanted));
        EXPECT_LT(std::min(shift, 360.0 - shift), 10.0)
            << int(list[i0]) << "," << int(list[i1]) << "," << int(list[i2]) << " wanted "
            << wanted.L << " " << wanted.a << " " << wanted.b << " aim " << table.aims[n].L << " "
            << table.aims[n].a << " " << table.aims[n].b << " printed " << printed.L << " "
            << printed.a << " " << printed.b;
    }
}

TEST(RgbTable, GamutMappingKeepsHueAndCompressesChromaIntoReach) {
    ColourSpaces spaces;
    const PrinterModel printer(measureFormula(spaces, {9, 5}));
    RgbTableDesign d;
    const GamutMapping mapping(printer, d, spaces);
    for (auto [r, g, b] :
         {std::array<int, 3>{0, 0, 255}, {0, 255, 0}, {255, 0, 255}, {0, 255, 255}}) {
        const Lab in = spaces.labFromSrgb(uint8_t(r), uint8_t(g), uint8_t(b));
        const Lab aim = mapping.aim(uint8_t(r), uint8_t(g), uint8_t(b));
        EXPECT_NEAR(hueDegrees(aim), hueDegrees(in), 0.01);
        EXPECT_LE(chroma(aim), mapping.printerChroma(aim.L, hueDegrees(aim)) + 1e-6);
        EXPECT_LT(chroma(aim), chroma(in));
    }
    // Lightness: unchanged above the knee, onto the black below it.
    EXPECT_DOUBLE_EQ(mapping.lightness(60.0), 60.0);
    EXPECT_NEAR(mapping.lightness(0.0), mapping.blackL(), 1e-9);
    EXPECT_GT(mapping.lightness(mapping.blackL()), mapping.blackL());
}

TEST(GreyRamp, FindsTheBlackThatPrintsEachGreysLightness) {
    ColourSpaces spaces;
    // Black that darkens lightness evenly from 100 to 20.
    std::vector<uint8_t> values;
    std::vector<Lab> ramp;
    for (int v = 0; v <= 255; v += 15)
        values.push_back(uint8_t(v)), ramp.push_back({100.0 - 80.0 * v / 255.0, 0, 0});
    ASSERT_EQ(values.back(), 255);
    const respack::Bytes grey = greyRamp(5, values, ramp, spaces);
    const std::vector<uint8_t> list = respack::axisValues(5);
    ASSERT_EQ(grey.size(), 5u);
    EXPECT_EQ(grey[4], 0);    // white: no ink
    EXPECT_EQ(grey[0], 255);  // black: all of it (the input's 0 lies below the ink's 20)
    // A mid grey: L* of sRGB 128 is 53.6, printed by the black value
    // (100 - 53.6) / 80 x 255 = 148.
    EXPECT_NEAR(grey[2], (100.0 - spaces.labFromSrgb(list[2], list[2], list[2]).L) / 80.0 * 255.0,
                1.0);
}

TEST(RgbTable, NoisyMeasurementsOfTheInkModelStillGiveAnAccurateTable) {
    // Measurements as an instrument would give them: the formula printer
    // plus noise of a few tenths. The table built from them must print
    // (by the true printer) close to what the exact measurements give.
    ColourSpaces spaces;
    Measurements noisy = measureFormula(spaces, {9, 5});
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.3);
    for (Lab& v : noisy.lab) v.L += noise(random), v.a += noise(random), v.b += noise(random);
    const PrinterModel exact(measureFormula(spaces, {9, 5})), measured(std::move(noisy));
    RgbTableDesign d;
    d.points = 9;
    const RgbTable table = buildRgbTable(measured, GamutMapping(measured, d, spaces), d);
    double worst = 0, sum = 0;
    for (size_t n = 0; n < table.cmyk.size(); ++n) {
        const double e = deltaE2000(exact(table.cmyk[n]), table.aims[n]);
        worst = std::max(worst, e), sum += e;
    }
    EXPECT_LT(sum / double(table.cmyk.size()), 0.5);
    // Only at the gamut's very edge, where the noise moves the boundary
    // itself, does a node miss by more.
    EXPECT_LT(worst, 5.0);
}

}  // namespace
}  // namespace inkdot::colour
