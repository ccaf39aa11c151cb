// The preview's area averaging on pages small enough to work out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "colour/colour_space.h"
#include "preview.h"

namespace inkdot::cli {
namespace {

using colour::InkId;
using colour::InkModel;

TEST(AxisCover, SharesEachDevicePixelByTheAreaInEachScreenPixel) {
    // Three device pixels onto two screen pixels: the middle one is split.
    const AxisCover a(3, 2, 2.0 / 3.0);
    ASSERT_EQ(a.first, (std::vector<uint32_t>{0, 1, 3, 4}));
    const float third = 1.0f / 3.0f;
    EXPECT_EQ(a.parts[0].screen, 0);
    EXPECT_NEAR(a.parts[0].overlap, 2 * third, 1e-6);
    EXPECT_EQ(a.parts[1].screen, 0);
    EXPECT_NEAR(a.parts[1].overlap, third, 1e-6);
    EXPECT_EQ(a.parts[2].screen, 1);
    EXPECT_NEAR(a.parts[2].overlap, third, 1e-6);
    EXPECT_EQ(a.parts[3].screen, 1);
    EXPECT_NEAR(a.total[0], 1.0, 1e-9);
    EXPECT_NEAR(a.total[1], 1.0, 1e-9);
    // A screen larger than the page: one device pixel over 2.5 screen pixels.
    const AxisCover b(2, 5, 2.5);
    ASSERT_EQ(b.first, (std::vector<uint32_t>{0, 3, 6}));
    EXPECT_NEAR(b.parts[2].overlap, 0.5, 1e-6);  // device 0's share of screen 2
    EXPECT_NEAR(b.parts[3].overlap, 0.5, 1e-6);  // device 1's
    EXPECT_NEAR(b.total[2], 1.0, 1e-9);
}

// A page of one black plane of one-bit dots, `dot(x, y)` deciding each
// pixel, rendered at `previewWidth`.
template <class Dot>
Image render(int width, int height, int xres, int yres, int previewWidth, Dot dot) {
    const InkModel model = *InkModel::forMedia("PhotoGlossy");
    const InkId inks[] = {InkId::Black};
    PreviewRenderer r(width, height, xres, yres, 1, model, inks, previewWidth, {0, 0, 1, 1});
    const size_t stride = size_t(width + 7) / 8 + 8;
    std::vector<uint8_t> line(stride);
    for (int y = 0; y < height; ++y) {
        std::fill(line.begin(), line.end(), 0);
        for (int x = 0; x < width; ++x)
            if (dot(x, y)) line[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        r.addLine(y, line.data(), stride, 0, width);
    }
    return r.preview();
}

uint8_t encoded(double linear) {
    const colour::ColourSpaces spaces;
    return uint8_t(std::lround(spaces.srgbEncode(linear)));
}

TEST(Preview, SolidBlackStaysBlackAtEveryRatio) {
    const InkModel model = *InkModel::forMedia("PhotoGlossy");
    const uint8_t black = encoded(model.paper.r * model.film[size_t(InkId::Black)].r);
    // Device pixels per screen pixel from a third (screen larger than the
    // page) to 7.3, fractional and whole.
    for (int previewWidth : {300, 100, 40, 37, 13}) {
        const Image p = render(100, 60, 720, 720, previewWidth, [](int, int) { return true; });
        for (size_t i = 0; i < p.pixels.size(); ++i)
            ASSERT_NEAR(p.pixels[i], black, 2) << "preview width " << previewWidth << ", byte " << i;
    }
}

TEST(Preview, AveragesInLinearLight) {
    // Alternate columns of black and paper, two device pixels to a screen
    // pixel: every screen pixel is half of each, in linear light.
    const InkModel model = *InkModel::forMedia("PhotoGlossy");
    const double paper = model.paper.r, black = paper * model.film[size_t(InkId::Black)].r;
    const Image p = render(64, 32, 720, 720, 32, [](int x, int) { return x % 2 == 0; });
    for (uint8_t v : p.pixels) ASSERT_NEAR(v, encoded((paper + black) / 2), 1);
    // Three device pixels onto two screen pixels, the first black: screen
    // pixel 0 gets it and half of the next, paper: 2/3 black, 1/3 paper.
    const Image q = render(3, 3, 720, 720, 2, [](int x, int) { return x == 0; });
    EXPECT_NEAR(q.pixels[0], encoded(black * 2 / 3 + paper / 3), 1);
    EXPECT_NEAR(q.pixels[3], encoded(paper), 1);
}

TEST(Preview, KeepsThePageProportionsWithPixelsTwiceAsTallAsWide) {
    // 1440 x 720 dpi: a page 1440 device pixels wide and 720 tall is an
    // inch square.
    const Image p = render(1440, 720, 1440, 720, 90, [](int x, int y) { return y < 360 && x < 720; });
    EXPECT_EQ(p.width, 90);
    EXPECT_EQ(p.height, 90);
    // The black quarter is the top left quarter of the screen.
    EXPECT_LT(p.pixels[(10 * 90 + 10) * 3], 60);
    EXPECT_GT(p.pixels[(10 * 90 + 80) * 3], 200);
    EXPECT_GT(p.pixels[(80 * 90 + 10) * 3], 200);
}

} // namespace
} // namespace inkdot::cli
