// The ordered-dither kernels at the end of whole sequences: a colour table
// through colour matching, the halftone resource sequence and the line frame,
// on ramps, line after line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "halftone/call_frame.h"
#include "kernels/kernels.h"
#include "support/page_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::HalftonePage;
using test::inkAt;
using test::PageResources;

constexpr int32_t kWidth = 512;
constexpr int32_t kSteps = 16;  // ramp steps of 32 pixels
constexpr int32_t kLines = 32;

// Planes in the order of the table's channels: cyan, light cyan, magenta,
// light magenta, yellow, black.
constexpr int kPlaneOfChannel[6] = {0, 4, 1, 5, 2, 3};

HalftoneParams ditherParams(int32_t inkSet, int32_t outputBits) {
    HalftoneParams p{};
    p.method = 3;
    p.inkSet = inkSet;
    p.inputFormat = inkSet == 0 ? 0 : 4;
    p.xResolution = 720;
    p.yResolution = 720;
    p.outputBits = outputBits;
    p.maxPixels = kWidth;
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

// The ramp value of pixel x: kSteps flat steps from 0 to 255.
uint8_t rampValue(int32_t x) {
    return uint8_t((x / (kWidth / kSteps)) * 255 / (kSteps - 1));
}

// A line of four-channel pixels whose channel `channel` ramps, the others 0.
Bytes channelRamp(int channel) {
    Bytes line(size_t(4 * kWidth), 0);
    for (int32_t x = 0; x < kWidth; ++x) line[size_t(4 * x + channel)] = rampValue(x);
    return line;
}

// Ink per ramp step and plane over kLines lines of the whole line.
using StepInk = std::vector<std::array<int32_t, kSteps>>;
StepInk inkPerStep(HalftonePage& page, const Bytes& input, int planes, int32_t firstLine) {
    const int32_t stride = kWidth * page.bitsPerPixel() / 8;
    StepInk ink(size_t(planes), std::array<int32_t, kSteps>{});
    for (int32_t y = 0; y < kLines; ++y) {
        Bytes out(size_t(stride * planes), 0);
        EXPECT_EQ(page.line(input, out, stride, firstLine + y, 0, kWidth), INKDOT_OK);
        for (int p = 0; p < planes; ++p)
            for (int32_t x = 0; x < kWidth; ++x)
                ink[size_t(p)][size_t(x * kSteps / kWidth)] +=
                    inkAt(out, stride, p, x, page.bitsPerPixel());
    }
    return ink;
}

// ---------------------------------------------------------------------------
// One ink

// A grey ramp, from black at 0 to white at 255: the one-ink table takes
// every pixel at 0, thins the dots out step by step and leaves the light end
// to paper.
TEST(DitherSequence, OneInkCoverageFollowsTheRamp) {
    HalftonePage page(ditherParams(0, 1), test::oneInkResources());
    ASSERT_TRUE(page.ready()) << page.failure;
    ASSERT_EQ(chooseKernel(page.context()).kernel, &kernels::HalftoneDither);
    Bytes input(kWidth);
    for (int32_t x = 0; x < kWidth; ++x) input[size_t(x)] = rampValue(x);
    const StepInk ink = inkPerStep(page, input, 1, 0);
    const int32_t pixels = kLines * kWidth / kSteps;
    EXPECT_EQ(ink[0][0], pixels);
    EXPECT_EQ(ink[0][kSteps - 1], 0);
    for (int s = 1; s < kSteps; ++s) {
        if (ink[0][s - 1] > 0)
            EXPECT_LT(ink[0][s], ink[0][s - 1]) << "step " << s;
        else
            EXPECT_EQ(ink[0][s], 0) << "step " << s;
    }
}

// Every input scale gives the dots of the plain line it stands for: the
// smaller byte of each pair, each byte for two pixels, the frame's copies of
// each pixel for three or four.
TEST(DitherSequence, OneInkInputScales) {
    HalftonePage plain(ditherParams(0, 1), test::oneInkResources());
    ASSERT_TRUE(plain.ready()) << plain.failure;
    Bytes values(kWidth);
    for (int32_t x = 0; x < kWidth; ++x) values[size_t(x)] = uint8_t((x * 97 + x / 7 * 13) & 0xFF);
    for (int32_t inputScale : {-1, 1, 2, 3}) {
        SCOPED_TRACE(inputScale);
        HalftoneParams params = ditherParams(0, 1);
        params.inputScale = inputScale;
        HalftonePage scaled(params, test::oneInkResources());
        ASSERT_TRUE(scaled.ready()) << scaled.failure;
        // The scaled object's input, and the plain line it stands for.
        const int32_t perInput = inputScale == -1 ? 1 : inputScale == 1 ? 2 : inputScale + 1;
        Bytes input, same;
        for (int32_t x = 0; x < kWidth; x += perInput) {
            const uint8_t v = values[size_t(x)];
            if (inputScale == -1) {
                input.push_back(uint8_t(std::min(255, v + x % 5)));  // the pair's larger byte first
                input.push_back(v);
            } else {
                input.push_back(v);
            }
            for (int32_t k = 0; k < perInput; ++k) same.push_back(v);
        }
        for (int32_t y = 0; y < 4; ++y) {
            Bytes a(kWidth / 8, 0), b(kWidth / 8, 0);
            ASSERT_EQ(scaled.line(input, a, 0, y, 0, kWidth), INKDOT_OK);
            ASSERT_EQ(plain.line(same, b, 0, y, 0, kWidth), INKDOT_OK);
            EXPECT_EQ(a, b) << "line " << y;
        }
    }
}

// ---------------------------------------------------------------------------
// Six inks

struct SixInkCase {
    const char* name;
    int32_t outputBits;
    PageResources (*resources)();
    kernels::Kernel* kernel;
};
const SixInkCase kSixInkCases[] = {
    // HalftoneNew takes a depth of 4: mode 0, and the one-bit six-ink dither.
    {"OneBitDepth4", 4, &test::sixInkResources, &kernels::HalftoneDitherSep},
    {"TwoBitModel", 2, &test::sixInkResources, &kernels::HalftoneDitherMultiSep},
    {"TwoBitRecords", 2, &test::sixInkResourcesWithRecords, &kernels::HalftoneDitherMultiSep},
};

class DitherSixInks : public ::testing::TestWithParam<SixInkCase> {};
INSTANTIATE_TEST_SUITE_P(Cases, DitherSixInks, ::testing::ValuesIn(kSixInkCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A ramp of one channel prints only the inks that channel separates into:
// yellow and black grow step by step; cyan and magenta start with their
// light ink alone, which the dark ink overtakes in the shadows.
TEST_P(DitherSixInks, RampsFollowTheSeparation) {
    const SixInkCase& c = GetParam();
    HalftonePage page(ditherParams(3, c.outputBits), c.resources());
    ASSERT_TRUE(page.ready()) << page.failure;
    EXPECT_EQ(page.context().mode, Mode::plain);
    ASSERT_EQ(chooseKernel(page.context()).kernel, c.kernel);
    for (int channel = 0; channel < 4; ++channel) {
        SCOPED_TRACE(testing::Message() << "ramp of channel " << channel);
        const StepInk planeInk = inkPerStep(page, channelRamp(channel), 6, 100 * channel);
        auto ink = [&](int tableChannel) {
            return planeInk[size_t(kPlaneOfChannel[tableChannel])];
        };
        const std::vector<int> own = channel == 0   ? std::vector{0, 1}
                                     : channel == 1 ? std::vector{2, 3}
                                     : channel == 2 ? std::vector{4}
                                                    : std::vector{5};
        for (int t = 0; t < 6; ++t) {
            if (std::find(own.begin(), own.end(), t) != own.end()) continue;
            for (int s = 0; s < kSteps; ++s)
                EXPECT_EQ(ink(t)[size_t(s)], 0) << "ink " << t << ", step " << s;
        }
        for (int t : own) EXPECT_EQ(ink(t)[0], 0) << "ink " << t << " on paper";
        // The ink of the channel (the dark one of a pair) grows step by step
        // from where it starts, and prints nearly everywhere at the solid.
        const auto main = ink(own[0]);
        const int32_t solid = kLines * (kWidth / kSteps) * ((1 << page.bitsPerPixel()) - 1);
        EXPECT_GE(main[kSteps - 1] * 100, solid * 99);
        for (int s = 1; s < kSteps; ++s) {
            if (main[size_t(s - 1)] > 0 || own.size() == 1) {
                EXPECT_GT(main[size_t(s)], main[size_t(s - 1)]) << "step " << s;
            }
        }
        if (own.size() == 1) continue;
        // The light ink prints alone at first, outweighs the dark one in the
        // highlights and gives way to it completely at the solid.
        const auto light = ink(own[1]);
        EXPECT_EQ(main[1], 0);
        for (int s = 1; s < 4; ++s) EXPECT_GT(light[size_t(s)], main[size_t(s)]) << "step " << s;
        EXPECT_EQ(light[kSteps - 1], 0);
    }
}

// A line handed over in stretches that start inside a byte gives the dots of
// the whole line.
TEST_P(DitherSixInks, LineInStretchesAsWhole) {
    const SixInkCase& c = GetParam();
    HalftonePage page(ditherParams(3, c.outputBits), c.resources());
    ASSERT_TRUE(page.ready()) << page.failure;
    Bytes input(size_t(4 * kWidth));
    for (size_t i = 0; i < input.size(); ++i) input[i] = uint8_t(i * 31 / 4 + (i % 4) * 50);
    const int32_t stride = kWidth * page.bitsPerPixel() / 8;
    for (int32_t y = 0; y < 3; ++y) {
        Bytes whole(size_t(6 * stride), 0), parts(size_t(6 * stride), 0);
        ASSERT_EQ(page.line(input, whole, stride, y, 0, kWidth), INKDOT_OK);
        int32_t x = 0;
        for (int32_t count : {5, 11, 1, 100, 37, kWidth}) {
            count = std::min(count, kWidth - x);
            ASSERT_EQ(page.line(input, parts, stride, y, x, count), INKDOT_OK);
            x += count;
        }
        EXPECT_EQ(parts, whole) << "line " << y;
    }
}

}  // namespace
}  // namespace inkdot
