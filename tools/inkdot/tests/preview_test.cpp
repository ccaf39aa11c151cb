// The preview's area averaging: pages small enough to work out by hand, and
// what must hold at every ratio of page to preview, in both directions and
// with device pixels that are not square.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "colour_fixtures.h"
#include "preview.h"

namespace {

using namespace inkdot::cli;
using inkdot::colour::ColourSpaces;
using inkdot::colour::InkId;
using inkdot::colour::InkModel;
using inkdot::colour::Linear;
using inkdot::testing::spaces;
using inkdot::testing::srgb;

// One ink that stops all light on paper that reflects all of it: a dot is
// black, paper white; two-bit small and medium dots cover a quarter and a
// half of their pixel.
InkModel blackOnWhite() {
    InkModel m;
    m.media = "test";
    m.paper = {1, 1, 1};
    m.film.fill({1, 1, 1});
    m.film[size_t(InkId::Black)] = {0, 0, 0};
    m.oneBitCover = 1.0;
    m.twoBitCover = {0.0, 0.25, 0.5, 1.0};
    return m;
}

const InkModel& glossy() {
    static const InkModel m = *InkModel::forMedia("PhotoGlossy");
    return m;
}

const std::vector<InkId> kSixInks{InkId::Cyan,  InkId::Magenta,   InkId::Yellow,
                                  InkId::Black, InkId::LightCyan, InkId::LightMagenta};

// A page of dots: `code(k, x, y)` is the dot of plane k at (x, y).
struct DotPage {
    int width = 1, height = 1, xResolution = 720, yResolution = 720, bits = 1;
    std::vector<InkId> inks{InkId::Black};
    std::function<int(int, int, int)> code;
};

// The page through the renderer, line by line as the driver gives it.
PreviewRenderer render(const DotPage& page, const InkModel& model, int previewWidth,
                       CropRect crop = {}) {
    PreviewRenderer r({page.width, page.height, page.xResolution, page.yResolution}, page.bits,
                      model, page.inks, previewWidth, crop);
    const int perByte = 8 / page.bits;
    const size_t stride = size_t(page.width + perByte - 1) / size_t(perByte) + 8;
    std::vector<uint8_t> planes(stride * page.inks.size());
    for (int y = 0; y < page.height; ++y) {
        std::fill(planes.begin(), planes.end(), 0);
        for (size_t k = 0; k < page.inks.size(); ++k)
            for (int x = 0; x < page.width; ++x)
                planes[k * stride + size_t(x / perByte)] |=
                    uint8_t(page.code(int(k), x, y) << (8 - page.bits * (x % perByte + 1)));
        r.addLine(y, planes.data(), stride, 0, page.width);
    }
    return r;
}

// The colour of a device pixel of the page, as the model says.
Linear pixelOf(const DotPage& page, const InkModel& model, int x, int y) {
    std::vector<int> codes;
    for (size_t k = 0; k < page.inks.size(); ++k) codes.push_back(page.code(int(k), x, y));
    return model.pixel(page.inks, codes, page.bits);
}

// The mean colour of the whole page.
Linear meanOf(const DotPage& page, const InkModel& model) {
    const std::vector<Linear> combos = model.combinations(page.inks, page.bits);
    Linear sum;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            size_t e = 0;
            for (size_t k = 0; k < page.inks.size(); ++k)
                e |= size_t(page.code(int(k), x, y)) << (size_t(page.bits) * k);
            sum.r += combos[e].r, sum.g += combos[e].g, sum.b += combos[e].b;
        }
    const double n = double(page.width) * page.height;
    return {sum.r / n, sum.g / n, sum.b / n};
}

std::array<int, 3> at(const Image& im, int x, int y) {
    const uint8_t* p = &im.pixels[(size_t(y) * size_t(im.width) + size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

TEST(PreviewAveraging, HandWorkedPages) {
    // Black dots at the listed pixels (one-bit) or the codes of a row
    // (two-bit); the preview's reflectance worked out by hand, row by row.
    const struct {
        const char* name;
        DotPage page;
        int previewWidth;
        std::vector<double> expected;
    } cases[] = {
        // Preview pixel 0 holds device pixel 0 and half of pixel 1: 1.5
        // pixels, of which 0.5 white.
        {"ThreeIntoTwoAcross",
         {3, 1, 720, 720, 1, {InkId::Black}, [](int, int x, int) { return x == 0; }},
         2,
         {1.0 / 3, 1}},
        // The same down: preview row 0 holds line 0 and half of line 1.
        {"ThreeIntoTwoDown",
         {3, 3, 720, 720, 1, {InkId::Black}, [](int, int, int y) { return y == 0; }},
         2,
         {1.0 / 3, 1.0 / 3, 1, 1}},
        // A preview larger than the page: each device pixel is 1.5 preview
        // pixels each way, so the middle ones hold half of it, the centre a quarter.
        {"TwoIntoThree",
         {2, 2, 720, 720, 1, {InkId::Black}, [](int, int x, int y) { return x == 0 && y == 0; }},
         3,
         {0, 0.5, 1, 0.5, 0.75, 1, 1, 1, 1}},
        // 1440 x 720 dpi: two device pixels side by side make a square.
        {"HalfWidePixelsInOne",
         {2, 1, 1440, 720, 1, {InkId::Black}, [](int, int x, int) { return x == 0; }},
         1,
         {0.5}},
        // ... and at 2880 preview pixels an inch each is two preview pixels
        // wide and four tall.
        {"HalfWidePixelsEnlarged",
         {2, 1, 1440, 720, 1, {InkId::Black}, [](int, int x, int) { return x == 0; }},
         4,
         {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}},
        // 360 x 720 dpi: device pixels twice as wide as tall.
        {"HalfTallPixelsEnlarged",
         {1, 2, 360, 720, 1, {InkId::Black}, [](int, int, int y) { return y == 0; }},
         2,
         {0, 0, 1, 1}},
        // Two-bit dots: large, medium, small and none in one preview pixel.
        {"TwoBitDotSizes",
         {4, 1, 720, 720, 2, {InkId::Black}, [](int, int x, int) { return 3 - x; }},
         1,
         {(0 + 0.5 + 0.75 + 1) / 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreviewRenderer r = render(c.page, blackOnWhite(), c.previewWidth);
        const Image im = r.preview();
        ASSERT_EQ(size_t(im.width) * size_t(im.height), c.expected.size());
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                const int want = srgb(c.expected[size_t(y * im.width + x)]);
                for (int v : at(im, x, y))
                    EXPECT_NEAR(v, want, 1) << "preview pixel " << x << ", " << y;
            }
    }
}

TEST(PreviewAveraging, KeepsThePageProportionsWithPixelsTwiceAsTallAsWide) {
    // 1440 x 720 dpi: a page 1440 device pixels wide and 720 tall is an
    // inch square, and so is its preview; the black top left quarter of the
    // page is the top left quarter of the preview.
    DotPage page{1440,
                 720,
                 1440,
                 720,
                 1,
                 {InkId::Black},
                 [](int, int x, int y) { return x < 720 && y < 360; }};
    PreviewRenderer r = render(page, blackOnWhite(), 90);
    const Image im = r.preview();
    ASSERT_EQ(im.width, 90);
    ASSERT_EQ(im.height, 90);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 90; ++x)
            ASSERT_EQ(at(im, x, y)[0], x < 45 && y < 45 ? 0 : 255) << x << ", " << y;
}

// The ratios of page to preview the tests below run at (device pixels a
// preview pixel across), and the device pixels' shapes.
const double kRatios[] = {0.6, 1, 2.5, 4, 7.3, 60};
const int kResolutions[][2] = {{720, 720}, {1440, 720}, {360, 720}};
constexpr int kPreviewWidth = 20;

// A page that is physically square, `ratio` device pixels a preview pixel across.
DotPage squarePage(double ratio, const int* resolution) {
    DotPage page;
    page.width = int(std::lround(ratio * kPreviewWidth));
    page.height = page.width * resolution[1] / resolution[0];
    page.xResolution = resolution[0];
    page.yResolution = resolution[1];
    page.bits = 2;
    page.inks = kSixInks;
    return page;
}

TEST(PreviewAveraging, SolidAreasKeepTheirColourAtEveryRatio) {
    // The middle of the page solid, the rest bare paper. Every preview pixel
    // wholly inside the solid shows its colour, wholly outside the paper.
    const struct {
        const char* name;
        std::array<int, 6> codes;  // per ink of kSixInks
    } solids[] = {{"Black", {0, 0, 0, 3, 0, 0}},
                  {"RichBlack", {3, 3, 3, 3, 0, 0}},
                  {"LightCyanMedium", {0, 0, 0, 0, 2, 0}}};
    for (const auto& solid : solids)
        for (const auto* res : kResolutions)
            for (double ratio : kRatios) {
                SCOPED_TRACE(std::string(solid.name) + " at " + std::to_string(res[0]) + "x" +
                             std::to_string(res[1]) + ", ratio " + std::to_string(ratio));
                DotPage page = squarePage(ratio, res);
                const int x0 = page.width / 4, x1 = page.width * 3 / 4, y0 = page.height / 4,
                          y1 = page.height * 3 / 4;
                page.code = [&](int k, int x, int y) {
                    return x >= x0 && x < x1 && y >= y0 && y < y1 ? solid.codes[size_t(k)] : 0;
                };
                PreviewRenderer r = render(page, glossy(), kPreviewWidth);
                const Image im = r.preview();
                const Linear inside = pixelOf(page, glossy(), x0, y0), paper = glossy().paper;
                const uint64_t W = uint64_t(page.width), H = uint64_t(page.height),
                               P = uint64_t(im.width), Q = uint64_t(im.height);
                int checked = 0;
                for (uint64_t py = 0; py < Q; ++py)
                    for (uint64_t px = 0; px < P; ++px) {
                        // The preview pixel spans [px W / P, (px+1) W / P) device pixels across.
                        const bool in = px * W >= x0 * P && (px + 1) * W <= x1 * P &&
                                        py * H >= y0 * Q && (py + 1) * H <= y1 * Q;
                        const bool out = (px + 1) * W <= x0 * P || px * W >= x1 * P ||
                                         (py + 1) * H <= y0 * Q || py * H >= y1 * Q;
                        if (!in && !out) continue;
                        const Linear want = in ? inside : paper;
                        const auto got = at(im, int(px), int(py));
                        EXPECT_NEAR(got[0], srgb(want.r), 1) << px << ", " << py;
                        EXPECT_NEAR(got[1], srgb(want.g), 1) << px << ", " << py;
                        EXPECT_NEAR(got[2], srgb(want.b), 1) << px << ", " << py;
                        checked += in;
                    }
                EXPECT_GT(checked, 0);
            }
}

TEST(PreviewAveraging, RandomDotsKeepTheirMeanInLinearLight) {
    // Whatever the ratio, every device pixel counts once: the mean of the
    // preview (its pixels cover equal areas) is the mean of the page.
    std::mt19937 rng(18);
    for (const auto* res : kResolutions)
        for (double ratio : kRatios) {
            SCOPED_TRACE(std::to_string(res[0]) + "x" + std::to_string(res[1]) + ", ratio " +
                         std::to_string(ratio));
            DotPage page = squarePage(ratio, res);
            std::vector<std::array<int, 6>> codes(size_t(page.width) * size_t(page.height));
            for (auto& p : codes)
                for (int& v : p) v = rng() % 3 == 0 ? int(rng() % 4) : 0;
            page.code = [&](int k, int x, int y) {
                return codes[size_t(y) * size_t(page.width) + size_t(x)][size_t(k)];
            };
            const Linear mean = meanOf(page, glossy());
            const double want[3] = {mean.r, mean.g, mean.b};
            PreviewRenderer r = render(page, glossy(), kPreviewWidth);
            const Image im = r.preview();
            double got[3] = {0, 0, 0};
            for (size_t i = 0; i < im.pixels.size(); ++i)
                got[i % 3] += spaces().srgbDecode(im.pixels[i]);
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(got[ch] / (double(im.pixels.size()) / 3), want[ch], 0.002)
                    << "channel " << ch;
        }
}

TEST(PreviewAveraging, CheckerboardIsTheMeanOfItsColoursInLinearLight) {
    // Large cyan and large magenta dots in turn. Each preview pixel covers
    // as many of one as of the other, so it shows their mean reflectance
    // (not the mean of their screen values, which is darker).
    for (const auto* res : kResolutions)
        for (double ratio : {2.0, 4.0, 10.0}) {
            SCOPED_TRACE(std::to_string(res[0]) + "x" + std::to_string(res[1]) + ", ratio " +
                         std::to_string(ratio));
            DotPage page = squarePage(ratio, res);
            page.code = [](int k, int x, int y) {
                return (k == 0 && (x + y) % 2 == 0) || (k == 1 && (x + y) % 2) ? 3 : 0;
            };
            PreviewRenderer r = render(page, glossy(), kPreviewWidth);
            const Image im = r.preview();
            const Linear a = pixelOf(page, glossy(), 0, 0), b = pixelOf(page, glossy(), 1, 0);
            const int want[3] = {srgb((a.r + b.r) / 2), srgb((a.g + b.g) / 2),
                                 srgb((a.b + b.b) / 2)};
            EXPECT_GT(std::abs(want[0] - (srgb(a.r) + srgb(b.r)) / 2), 10);  // the two means differ
            for (size_t i = 0; i < im.pixels.size(); ++i)
                ASSERT_NEAR(im.pixels[i], want[i % 3], 1) << "at " << i / 3;
        }
}

TEST(PreviewAveraging, TheCropShowsEachDevicePixelInItsShape) {
    // A black dot at (1, 1) of an 8 x 4 page, the crop over all of it.
    const struct {
        int xResolution, yResolution;
        int xRepeat, yRepeat;
    } cases[] = {{720, 720, 1, 1}, {1440, 720, 1, 2}, {2880, 720, 1, 4}, {360, 720, 2, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.xResolution) + "x" + std::to_string(c.yResolution));
        DotPage page{8, 4, c.xResolution, c.yResolution, 1, {InkId::Black}, [](int, int x, int y) {
                         return x == 1 && y == 1;
                     }};
        const PreviewRenderer r = render(page, glossy(), 4, {0, 0, 8, 4});
        const Image crop = r.crop();
        ASSERT_EQ(crop.width, 8 * c.xRepeat);
        ASSERT_EQ(crop.height, 4 * c.yRepeat);
        const int black = srgb(glossy().paper.r * glossy().film[size_t(InkId::Black)].r);
        const int paper = srgb(glossy().paper.r);
        for (int y = 0; y < crop.height; ++y)
            for (int x = 0; x < crop.width; ++x) {
                const bool dot = x / c.xRepeat == 1 && y / c.yRepeat == 1;
                EXPECT_NEAR(at(crop, x, y)[0], dot ? black : paper, 1) << x << ", " << y;
            }
    }
}

}  // namespace

TEST(DotFootprint, At2880DpiADotCoversItsPixelAndTheNext) {
    // Covers 0.25, 0.5 and 1: a pixel sees its own dot and the one before
    // it together, as the nearest code.
    const InkModel m = blackOnWhite();
    const inkdot::colour::Footprint footprint(m, 2, 2880);
    ASSERT_TRUE(footprint.wide());
    struct Case {
        int before, own, seen;
    };
    const Case cases[] = {
        {0, 0, 0}, {1, 0, 1}, {0, 2, 2}, {1, 1, 2},  // two small dots make a medium one
        {1, 2, 2},                                   // 0.75, as near 0.5 as 1: the smaller
        {2, 2, 3}, {3, 0, 3}, {3, 3, 3},             // all of the pixel at most
    };
    for (const Case& c : cases) {
        // The pair as the last pixel of one byte and the first of the next.
        const uint8_t plane[2] = {uint8_t(c.before), uint8_t(c.own << 6)};
        uint8_t seen[2] = {0xFF, 0xFF};
        footprint.spread(plane, 8, seen);
        EXPECT_EQ(seen[1] >> 6, c.seen) << c.before << "+" << c.own;
    }
    // Every other pixel a large dot prints solid; the line's last dot
    // reaches no further than the line.
    const uint8_t alternate[2] = {0xCC, 0xCC};  // 3 0 3 0 | 3 0 3 0
    uint8_t seen[2];
    footprint.spread(alternate, 7, seen);
    EXPECT_EQ(seen[0], 0xFF);
    EXPECT_EQ(seen[1], 0xFC);  // the 8th pixel is not on the line
    // Up to 1440 dpi a dot is its pixel.
    const inkdot::colour::Footprint narrow(m, 1, 1440);
    EXPECT_FALSE(narrow.wide());
    uint8_t copy[2] = {0, 0};
    narrow.spread(alternate, 16, copy);
    EXPECT_EQ(copy[0], 0xCC);
    EXPECT_EQ(copy[1], 0xCC);
}
