// CGATS measurement files, and a printer characterised from measurements
// in them: the ink model printed through the library, plus instrument
// noise, written out, read back and inverted.
#include <gtest/gtest.h>

#include <random>

#include "colour/cgats.h"
#include "colour/characterise.h"
#include "colour/patch_print.h"

namespace inkdot::colour {
namespace {

TEST(Cgats, WritesATargetAndReadsItsMeasurementsBack) {
    const ColourSpaces spaces;
    const TargetGrid grid{3, 2};
    std::vector<Lab> lab;
    for (const Cmyk& p : grid.patches())
        lab.push_back({100.0 - 0.2 * p.k - 0.1 * p.c, 0.05 * p.m, -0.05 * p.y});
    const Measurements back =
        readCgats(cgatsText(grid, &lab, {"patch 1 is at the top left"}), spaces);
    EXPECT_EQ(back.grid.cmyLevels, 3);
    EXPECT_EQ(back.grid.kLevels, 2);
    ASSERT_EQ(back.lab.size(), lab.size());
    for (size_t i = 0; i < lab.size(); ++i) {
        EXPECT_NEAR(back.lab[i].L, lab[i].L, 0.01) << i;
        EXPECT_NEAR(back.lab[i].a, lab[i].a, 0.01) << i;
        EXPECT_NEAR(back.lab[i].b, lab[i].b, 0.01) << i;
    }
}

TEST(Cgats, ReadsXyzInAnyOrderAndMakesItRelativeToThePaper) {
    // Two levels of each ink, in reverse order, XYZ scaled to Y = 100, with
    // a paper a little darker than the perfect white and a comment.
    std::string text =
        "CGATS.17\nORIGINATOR \"an instrument\"\nNUMBER_OF_FIELDS 9\nBEGIN_DATA_FORMAT\n"
        "SAMPLE_ID SAMPLE_NAME CMYK_C CMYK_M CMYK_Y CMYK_K XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\n"
        "NUMBER_OF_SETS 16\nBEGIN_DATA\n";
    const TargetGrid grid{2, 2};
    const std::vector<Cmyk> patches = grid.patches();
    for (size_t i = patches.size(); i-- > 0;) {
        const Cmyk& p = patches[i];
        const double f = p == Cmyk{} ? 0.9 : 0.45;  // paper, or anything printed
        text += std::to_string(i + 1) + " \"A" + std::to_string(i) + "\" " +
                std::to_string(p.c * 100 / 255) + " " + std::to_string(p.m * 100 / 255) + " " +
                std::to_string(p.y * 100 / 255) + " " + std::to_string(p.k * 100 / 255) + " " +
                std::to_string(96.42 * f) + " " + std::to_string(100.0 * f) + " " +
                std::to_string(82.49 * f) + "   # measured\n";
    }
    text += "END_DATA\n";
    const Measurements m = readCgats(text, ColourSpaces());
    ASSERT_EQ(m.lab.size(), 16u);
    EXPECT_NEAR(m.lab[0].L, 100.0, 0.01);  // the paper
    EXPECT_NEAR(m.lab[0].a, 0.0, 0.01);
    EXPECT_NEAR(m.lab[1].L, 116.0 * std::cbrt(0.5) - 16.0, 0.01);  // half the paper's light
}

TEST(Cgats, DamagedFilesAreReportedByLine) {
    const std::vector<Lab> lab(16, Lab{50, 0, 0});
    const std::string good = cgatsText({2, 2}, &lab);
    struct Case {
        std::string text, says;
    };
    auto without = [&](const std::string& what) {
        std::string t = good;
        t.erase(t.find(what), what.size());
        return t;
    };
    auto replace = [&](const std::string& what, const std::string& with) {
        std::string t = good;
        t.replace(t.find(what), what.size(), with);
        return t;
    };
    const Case cases[] = {
        {without("END_DATA\n"), "no END_DATA"},
        {replace("1 0.00 0.00 0.00 0.00", "1 0.00 0.00 0.00"), "expected 8 values, found 7"},
        {replace("1 0.00 0.00 0.00 0.00", "1 0.00 zero 0.00 0.00"), "'zero' is not a number"},
        {replace("2 0.00 0.00 0.00 100.00", "2 0.00 0.00 0.00 250.00"), "not a percentage"},
        {replace("2 0.00 0.00 0.00 100.00", "2 0.00 0.00 0.00 0.00"), "same device values"},
        {replace("NUMBER_OF_SETS 16", "NUMBER_OF_SETS 17"), "NUMBER_OF_SETS says 17"},
        {without("BEGIN_DATA_FORMAT\n"), "data before a data format"},
    };
    for (const Case& c : cases) {
        try {
            readCgats(c.text, ColourSpaces());
            ADD_FAILURE() << "accepted: " << c.says;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
    // Device values only (a target, not measurements) cannot build tables.
    EXPECT_THROW(readCgats(cgatsText({2, 2}), ColourSpaces()), std::runtime_error);
}

TEST(Cgats, APrinterMeasuredWithNoiseRoundTripsToAnAccurateTable) {
    // The halftone resources and a six-ink table, made here; the target
    // printed through the library and measured by the ink model, with noise
    // of an instrument added, written as CGATS and read back.
    std::map<int32_t, respack::Bytes> resources{{1, respack::resourceList({2, 3, 3, 3, 3, 3})},
                                                {2, respack::gridLevels()},
                                                {3, respack::ditherMatrixBlueNoise(16)}};
    const ResourceSource source = [&](int32_t n) -> const respack::Bytes& {
        return resources.at(n);
    };
    const respack::Bytes table =
        respack::colourTable4d({.points = 9, .extraBlock = respack::extraBlockKind1({})});
    const InkModel model = *InkModel::forMedia("PhotoGlossy");
    const PatchPrinter printer(table, source, {1440, 720, 2, true, 1}, model, {32, 6, 32});
    const ColourSpaces spaces;
    auto measure = [&](std::span<const Cmyk> patches) {
        std::vector<Lab> out;
        for (const Linear& v : printer.printCmyk(patches))
            out.push_back(relativeLab(spaces, v, model.paper));
        return out;
    };
    const TargetGrid grid{9, 5};
    std::vector<Lab> lab = measure(grid.patches());
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 0.25);
    for (size_t i = 1; i < lab.size(); ++i)
        lab[i].L += noise(random), lab[i].a += noise(random), lab[i].b += noise(random);
    const PrinterModel measured(readCgats(cgatsText(grid, &lab), spaces));

    RgbTableDesign d;
    d.points = 9;
    const RgbTable rgb = buildRgbTable(measured, GamutMapping(measured, d, spaces), d);
    // The table's nodes, printed: within a couple of units of their aims.
    std::vector<Cmyk> nodes;
    for (const auto& x : rgb.cmyk)
        nodes.push_back({uint8_t(std::lround(x[0] * 255)), uint8_t(std::lround(x[1] * 255)),
                         uint8_t(std::lround(x[2] * 255)), uint8_t(std::lround(x[3] * 255))});
    const std::vector<Lab> printed = measure(nodes);
    double sum = 0;
    for (size_t i = 0; i < nodes.size(); ++i) sum += deltaE2000(printed[i], rgb.aims[i]);
    EXPECT_LT(sum / double(nodes.size()), 2.0);
    // Greys neutral.
    for (size_t i = 0; i < 9; ++i) {
        const Lab& g = printed[(i * 9 + i) * 9 + i];
        EXPECT_LT(std::hypot(g.a, g.b), 2.0) << i;
    }
}

}  // namespace
}  // namespace inkdot::colour
