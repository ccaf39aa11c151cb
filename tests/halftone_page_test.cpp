// A page as the driver runs it: the colour-matching sequence decodes a colour
// table into a CmLut, the halftone object copies it and completes its own
// sequence from the colour-matching object's grid, and lines come out as dots.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cm/interpolation.h"
#include "halftone/grid_resample.h"
#include "halftone/halftone_context.h"
#include "support/cm_fixtures.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::ColourMatching;
using test::ColourTableBuilder;
using test::IndexText;

class PageTest : public test::BlockCountedTest {
protected:
    void SetUp() override {
        BlockCountedTest::SetUp();
        select.keyA = 0;
        select.pixelLayout = 1;
        select.numberA = 720;
        select.numberB = 1440;
        select.numberD = 1;
        cmParams.keyB = 1;
        cmParams.numberC = 7;
    }
    std::string index() const {
        return IndexText{}.line({2150, 120, "Plain", "Vivid", 720, 1440, "Max", 7, 1}).str();
    }

    // Runs the halftone sequence on `lut`; the object is left in `context`.
    std::vector<int32_t> halftoneSequence(const HalftoneParams& params, const CmLut& lut,
                                          HalftoneContext*& context) {
        int32_t tableClass = 0;
        EXPECT_EQ(HalftoneNew(&params, &lut, 0, &tableClass, &context), INKDOT_OK);
        EXPECT_EQ(tableClass, 120);
        std::vector<int32_t> answers;
        const test::Bytes steps[3] = {test::standardList(), test::gridLevels(test::evenList(32)),
                                      test::bayerMatrix(16)};
        for (const test::Bytes& step : steps) {
            int32_t next = 0;
            EXPECT_EQ(HalftoneSetResource(context, step.data(), &next), INKDOT_OK);
            answers.push_back(next);
        }
        return answers;
    }

    CmParams cmParams{};
    CmSelect select{};
};

TEST_F(PageTest, SeparatedInksFromAFourDimensionalTable) {
    ColourTableBuilder table = ColourTableBuilder::cmykToSixInks(9);
    ColourMatching cm(cmParams, select, index(), table.bytes());
    ASSERT_EQ(cm.tableResult, INKDOT_OK);
    ASSERT_EQ(cm.tableAnswer, INKDOT_NO_RESOURCE);
    const CmLut& lut = cm.lut();

    HalftoneParams params = test::separatedParams();
    params.xResolution = 1440;
    params.maxPixels = 256;
    HalftoneContext* context = nullptr;
    EXPECT_EQ(halftoneSequence(params, lut, context), (std::vector<int32_t>{100, 203, -1}));

    // The table is the colour-matching grid sampled at the 32 levels, with
    // light ink moved onto dark ink for diffusion.
    const std::vector<uint8_t> levels = test::evenList(32);
    const uint8_t* separation = separationTable(*context);
    uint8_t expected[6];
    for (size_t e = 0; e < size_t(32 * 32 * 32 * 32); e += 997) {
        interpolate4(lut, levels[e >> 15], levels[(e >> 10) & 31], levels[(e >> 5) & 31],
                     levels[e & 31], expected);
        pairTransfer(expected);
        ASSERT_EQ(std::memcmp(separation + 6 * e, expected, 6), 0) << "entry " << e;
    }
    // The caller's record still describes the colour-matching grid.
    EXPECT_EQ(lut.points[0], 9);

    // Paper white gives no dot in any of the six planes; solid colours do.
    std::vector<uint8_t> white(4 * 256, 0), solid(4 * 256);
    for (size_t p = 0; p < 256; ++p) {
        solid[4 * p] = 255;
        solid[4 * p + 1] = uint8_t(p);
        solid[4 * p + 2] = 128;
        solid[4 * p + 3] = 0;
    }
    std::vector<uint8_t> planes(6 * 32, 0);
    for (int line = 0; line < 4; ++line)
        ASSERT_EQ(Halftone(context, white.data(), planes.data(), 32, 0, 256, 0, 1, line, 0, 0),
                  INKDOT_OK);
    EXPECT_EQ(planes, std::vector<uint8_t>(6 * 32, 0));
    ASSERT_EQ(Halftone(context, solid.data(), planes.data(), 32, 0, 256, 0, 1, 4, 0, 0), INKDOT_OK);
    EXPECT_NE(planes, std::vector<uint8_t>(6 * 32, 0));

    EXPECT_EQ(HalftoneDelete(context), INKDOT_OK);
}

TEST_F(PageTest, OneInkFromAThreeDimensionalTable) {
    ColourTableBuilder table = ColourTableBuilder::rgbToCmyk(9, 0);
    table.percentAt0 = 350;
    table.percentAt255 = 100;
    ColourMatching cm(cmParams, select, index(), table.bytes());
    ASSERT_EQ(cm.tableResult, INKDOT_OK);

    HalftoneParams params = test::singleInkParams();
    HalftoneContext* context = nullptr;
    EXPECT_EQ(halftoneSequence(params, cm.lut(), context), (std::vector<int32_t>{100, 201, -1}));
    EXPECT_EQ(context->spread.level1, 37);
    EXPECT_EQ(dotValues(*context)[0], 892);  // 255 x 350 / 100, truncated

    std::vector<uint8_t> src(64), out(8, 0);
    for (size_t p = 0; p < src.size(); ++p) src[p] = uint8_t(4 * p);
    for (int line = 0; line < 3; ++line)
        ASSERT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 64, 0, 1, line, 0, 0), INKDOT_OK);
    EXPECT_EQ(HalftoneDelete(context), INKDOT_OK);
}

}  // namespace
}  // namespace inkdot
