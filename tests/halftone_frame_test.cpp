// The line frame: which kernel serves each mode and combination and with
// which pair value, the range checks, the hand-off of mode 7, the expansion
// of repeated input pixels, and whole lines through a complete object.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "halftone/call_frame.h"
#include "halftone/halftone_context.h"
#include "halftone/mode7.h"
#include "kernels/kernels.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using namespace kernels;
using test::Bytes;
using test::HalftoneObject;

// ---------------------------------------------------------------------------
// Kernel choice

struct KernelCase {
    const char* name;
    int32_t method, inkSet, outputBits, x, y, pairFlag, inputScale;
    Kernel* kernel;  // null: no kernel serves it (INKDOT_UNSUPPORTED)
    int32_t pair;
};

class KernelChoiceTable : public ::testing::TestWithParam<KernelCase> {};

TEST_P(KernelChoiceTable, ByModeAndParams) {
    const KernelCase& c = GetParam();
    HalftoneParams params = c.inkSet == 0 ? test::singleInkParams() : test::separatedParams();
    params.method = c.method;
    params.inkSet = c.inkSet;
    params.outputBits = c.outputBits;
    params.xResolution = c.x;
    params.yResolution = c.y;
    params.pairFlag = c.pairFlag;
    params.inputScale = c.inputScale;
    HalftoneObject object(params, c.inkSet == 0 ? test::singleInkLut() : test::separationLut());
    ASSERT_EQ(object.created, INKDOT_OK);
    const KernelChoice choice = chooseKernel(*object.context);
    EXPECT_EQ(choice.kernel, c.kernel);
    EXPECT_EQ(choice.pairFlag, c.kernel != nullptr ? c.pair : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KernelChoiceTable,
    ::testing::Values(
        // Modes that name their kernel.
        KernelCase{"Mode1", 1, 3, 2, 360, 720, 1, -1, &HalftoneMultiSepMode, 1},
        KernelCase{"Mode4", 1, 3, 2, 360, 720, 0, 0, &HalftoneMultiSepMode, 0},
        KernelCase{"Mode3", 1, 0, 2, 360, 720, 1, -1, &HalftoneMultiMode, 1},
        KernelCase{"Mode6", 1, 0, 2, 360, 720, 0, 0, &HalftoneMultiMode, 0},
        // Mode 0, threshold matrix.
        KernelCase{"DitherOneInk", 3, 0, 1, 720, 720, 0, 0, &HalftoneDither, 0},
        KernelCase{"DitherOneInkTwoBit", 3, 0, 2, 720, 720, 0, 0, nullptr, 0},
        KernelCase{"DitherSeparatedDepth4", 3, 3, 4, 720, 720, 0, 0, &HalftoneDitherSep, 0},
        KernelCase{"DitherSeparatedTwoBit", 3, 3, 2, 720, 720, 0, 0, &HalftoneDitherMultiSep, 0},
        KernelCase{"DitherHalfWidth", 3, 3, 2, 360, 720, 0, 0, &HalftoneDitherMultiSep, 0},
        KernelCase{"Method0", 0, 0, 1, 720, 720, 0, 0, nullptr, 0},
        // Mode 0, diffusion, separated.
        KernelCase{"Separated2880TwoBit", 1, 3, 2, 2880, 720, 0, 0, &HalftoneMultiSep2880, 0},
        KernelCase{"Separated2880OneBit", 1, 3, 1, 2880, 720, 0, 0, nullptr, 0},
        KernelCase{"Separated1440TwoBit", 1, 3, 2, 1440, 720, 0, 0, &HalftoneMultiSep1440, 0},
        KernelCase{"Separated1440OneBit", 1, 3, 1, 1440, 720, 0, 0, &HalftoneBinarySep1440, 0},
        KernelCase{"SeparatedTwoBit", 1, 3, 2, 720, 720, 0, 0, &HalftoneMultiSep, 0},
        KernelCase{"SeparatedOneBit720x360", 1, 3, 1, 720, 360, 0, 0, &HalftoneBinarySep360, 0},
        KernelCase{"SeparatedOneBit", 1, 3, 1, 720, 720, 0, 0, &HalftoneBinarySep, 0},
        KernelCase{"SeparatedOtherMethod", 5, 3, 1, 720, 720, 0, 0, &HalftoneBinarySep, 0},
        // Mode 0, diffusion, one ink.
        KernelCase{"OneInk2880TwoBit", 1, 0, 2, 2880, 720, 0, 0, &HalftoneMulti2880, 0},
        KernelCase{"OneInk2880OneBit", 1, 0, 1, 2880, 720, 0, 0, nullptr, 0},
        KernelCase{"OneInk1440TwoBit", 1, 0, 2, 1440, 720, 0, 0, &HalftoneMulti1440, 0},
        KernelCase{"OneInk1440OneBit", 1, 0, 1, 1440, 720, 0, 0, &HalftoneBinary1440, 0},
        KernelCase{"OneInkTwoBit", 1, 0, 2, 720, 360, 0, 0, &HalftoneMulti, 0},
        KernelCase{"OneInkOneBit", 1, 0, 1, 720, 360, 0, 0, &HalftoneBinary, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Expansion

struct ExpandCase {
    const char* name;
    int32_t inkSet, inputScale, maxPixels, pixelCount;
    int32_t replication;
    int32_t inputPixelsRead, copies;
};

class Expansion : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(Expansion, RepeatsInputPixels) {
    const ExpandCase& c = GetParam();
    HalftoneParams params = c.inkSet == 0 ? test::singleInkParams() : test::separatedParams();
    params.inputScale = c.inputScale;
    params.maxPixels = c.maxPixels;
    HalftoneObject object(params, c.inkSet == 0 ? test::singleInkLut() : test::separationLut());
    ASSERT_EQ(object.call(test::standardList()), INKDOT_OK);
    HalftoneContext& context = *object.context;
    ASSERT_EQ(context.replication, c.replication);
    const size_t bytes = c.inkSet == 0 ? 1 : 4;
    uint8_t* line = expandedLine(context);
    std::memset(line, 0xEE, bytes * size_t(c.maxPixels));

    // Exactly the input pixels that may be read: the sanitizer build sees any more.
    std::vector<uint8_t> src(size_t(std::max(c.inputPixelsRead, 1)) * bytes);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i + 1);
    expandLine(context, src.data(), c.pixelCount);

    for (int32_t o = 0; o < c.copies; ++o)
        ASSERT_EQ(
            std::memcmp(line + size_t(o) * bytes, &src[size_t(o / c.replication) * bytes], bytes),
            0)
            << "copy " << o;
    for (size_t at = size_t(c.copies) * bytes; at < bytes * size_t(c.maxPixels); ++at)
        ASSERT_EQ(line[at], 0xEE) << "byte " << at;
}

INSTANTIATE_TEST_SUITE_P(Cases, Expansion,
                         ::testing::Values(
                             // Three input pixels give nine copies, seven of them within the count.
                             ExpandCase{"Times3Count7", 3, 2, 16, 7, 3, 3, 9},
                             ExpandCase{"Times3Count7OneByte", 0, 2, 16, 7, 3, 3, 9},
                             // The copies stop at the end of the expanded line.
                             ExpandCase{"Times3Count7Max8", 3, 2, 8, 7, 3, 3, 8},
                             ExpandCase{"Times3Count9", 3, 2, 16, 9, 3, 3, 9},
                             // inputScale 3: two copies of pixels that stand for two each; n = 4.
                             ExpandCase{"Times2Count8", 3, 3, 16, 8, 2, 2, 4},
                             // An odd count also writes the pixel its last output pixel reads.
                             ExpandCase{"Times2Count7", 3, 3, 16, 7, 2, 2, 4},
                             ExpandCase{"Times2Count5", 0, 3, 16, 5, 2, 2, 4},
                             ExpandCase{"Times5Count1", 3, 4, 16, 1, 5, 1, 5},
                             ExpandCase{"Count0", 3, 2, 16, 0, 3, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Whole lines through Halftone

class LineTest : public test::BlockCountedTest {
protected:
    // A complete one-ink, one-bit diffusion object at 720 x 720.
    std::unique_ptr<HalftoneObject> complete(HalftoneParams params = test::singleInkParams()) {
        auto object =
            std::make_unique<HalftoneObject>(params, test::singleInkLut({0, 64, 128, 192, 255}));
        EXPECT_EQ(object->runSequence(), INKDOT_OK);
        return object;
    }
};

int dots(const std::vector<uint8_t>& out) {
    int n = 0;
    for (uint8_t b : out) n += __builtin_popcount(b);
    return n;
}

TEST_F(LineTest, DotsFollowTheInput) {
    auto object = complete();
    struct Case {
        uint8_t value;
        int least, most;
    };
    int line = 0;
    for (Case c : {Case{0, 0, 0}, Case{255, 64, 64}, Case{128, 16, 48}}) {
        std::vector<uint8_t> src(64, c.value), out(8, 0);
        for (int repeat = 0; repeat < 4; ++repeat, ++line) {
            std::fill(out.begin(), out.end(), 0);
            ASSERT_EQ(Halftone(object->context, src.data(), out.data(), 0, 0, 64, 0, 1, line, 0, 0),
                      INKDOT_OK);
        }
        EXPECT_GE(dots(out), c.least) << int(c.value);
        EXPECT_LE(dots(out), c.most) << int(c.value);
    }
}

TEST_F(LineTest, RangeChecks) {
    auto object = complete();
    HalftoneContext* context = object->context;
    std::vector<uint8_t> src(64, 100), out(9, 0);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 60, 4, 1, 0, 0, 0), INKDOT_OK);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 60, 5, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 0, 64, 1, 0, 0, 0), INKDOT_OK);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 1, 64, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    // Negative values are refused before the unsigned sum could wrap.
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 10, -1, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, -1, 2, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, INT32_MIN, INT32_MIN, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, INT32_MAX, 1, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
}

TEST_F(LineTest, RangeIsCheckedBeforeTheExpansion) {
    HalftoneParams params = test::singleInkParams();
    params.inputScale = 2;
    auto object = complete(params);
    HalftoneContext* context = object->context;
    ASSERT_EQ(context->replication, 3);
    uint8_t* line = expandedLine(*context);
    std::memset(line, 0xEE, 64);
    std::vector<uint8_t> src(64, 7), out(9, 0);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 60, 5, 1, 0, 0, 0),
              INKDOT_LINE_TOO_LONG);
    EXPECT_EQ(line[0], 0xEE);
    EXPECT_EQ(Halftone(context, src.data(), out.data(), 0, 0, 6, 0, 1, 0, 0, 0), INKDOT_OK);
    EXPECT_EQ(line[0], 7);
    EXPECT_EQ(line[5], 7);
    EXPECT_EQ(line[6], 0xEE);
}

TEST_F(LineTest, SpareArgumentHasNoEffect) {
    std::vector<uint8_t> src(64);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 4);
    std::vector<uint8_t> first;
    for (int32_t spare : {0, 1, -7}) {
        auto object = complete();
        std::vector<uint8_t> out(8, 0);
        for (int line = 0; line < 3; ++line)
            ASSERT_EQ(
                Halftone(object->context, src.data(), out.data(), 0, 0, 64, 0, 1, line, spare, 0),
                INKDOT_OK);
        if (first.empty()) first = out;
        EXPECT_EQ(out, first) << spare;
    }
}

TEST_F(LineTest, NoKernelMeansUnsupported) {
    HalftoneParams params = test::singleInkParams();
    params.method = 0;
    HalftoneObject object(params, test::singleInkLut());
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    std::vector<uint8_t> src(64, 1), out(8, 0x5A);
    EXPECT_EQ(Halftone(object.context, src.data(), out.data(), 0, 0, 8, 0, 1, 0, 0, 0),
              INKDOT_UNSUPPORTED);
    EXPECT_EQ(out[0], 0x5A);
}

TEST_F(LineTest, ModeSevenGoesItsOwnWay) {
    HalftoneParams params = test::separatedParams();
    params.method = 3;
    HalftoneObject object(params, test::separationLut());
    ASSERT_EQ(object.context->mode, Mode::separationPath);
    ASSERT_EQ(object.runSequence(), INKDOT_OK);
    std::vector<uint8_t> src(64 * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 3);
    struct Args {
        int32_t bitOffset, pixelCount, startX, enable;
    };
    for (Args a : {Args{0, 16, 0, 1}, Args{3, 20, 5, 1}, Args{9, 4, 0, 1}, Args{0, 60, 5, 1},
                   Args{0, 8, 0, 0}}) {
        std::vector<uint8_t> viaFrame(6 * 8, 0x11), direct(6 * 8, 0x11);
        const int32_t framed = Halftone(object.context, src.data(), viaFrame.data(), 8, a.bitOffset,
                                        a.pixelCount, a.startX, a.enable, 2, 0, 0);
        const int32_t handed = mode7Line(*object.context, src.data(), direct.data(), 8, a.bitOffset,
                                         a.pixelCount, a.startX, a.enable, 2, 0, 0);
        EXPECT_EQ(framed, handed) << a.bitOffset << " " << a.pixelCount;
        EXPECT_EQ(viaFrame, direct);
    }
}

}  // namespace
}  // namespace inkdot
