// The single-ink diffusion kernels at the end of whole sequences: a colour
// table through colour matching, the halftone resource sequence and the line
// frame, on a grey ramp, line after line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"
#include "support/page_fixtures.h"

namespace inkdot {
namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
    const char* name;
    kernels::Kernel* kernel;
    int32_t xResolution, yResolution, outputBits, pairFlag, inputScale;
    int32_t dotError;  // what a dot takes from the two-bit error
};
const Member kMembers[] = {
    {"Binary", &kernels::HalftoneBinary, 720, 720, 1, 0, 0, 0},
    {"Binary360", &kernels::HalftoneBinary, 720, 360, 1, 0, 0, 0},
    {"Binary1440", &kernels::HalftoneBinary1440, 1440, 720, 1, 0, 0, 0},
    {"Multi", &kernels::HalftoneMulti, 720, 720, 2, 0, 0, 255},
    {"Multi1440", &kernels::HalftoneMulti1440, 1440, 720, 2, 0, 0, 255},
    {"Multi2880", &kernels::HalftoneMulti2880, 2880, 720, 2, 0, 0, 510},
    {"MultiModeMode6", &kernels::HalftoneMultiMode, 360, 720, 2, 0, 0, 255},
    {"MultiModeMode3", &kernels::HalftoneMultiMode, 360, 720, 2, 1, -1, 255},
};

constexpr int32_t kWidth = 512;
constexpr int32_t kSteps = 16;  // ramp steps of 32 pixels
constexpr int32_t kStepWidth = kWidth / kSteps;

// Colour matching on a one-ink table, then a complete halftone object for
// one member; lines go through Halftone into one plane of the whole line.
class OneInkPage : public test::HalftonePage {
public:
    explicit OneInkPage(const Member& m) : HalftonePage(params(m), resources()) {}

    int32_t line(const Bytes& input, Bytes& plane, int32_t lineNumber, int32_t startX,
                 int32_t count) {
        return HalftonePage::line(input, plane, 0, lineNumber, startX, count);
    }

private:
    static const test::PageResources& resources() {
        static const test::PageResources r = test::oneInkResources();
        return r;
    }
    static HalftoneParams params(const Member& m) {
        HalftoneParams p{};
        p.method = 1;
        p.inputFormat = 0;
        p.inkSet = 0;
        p.xResolution = m.xResolution;
        p.yResolution = m.yResolution;
        p.outputBits = m.outputBits;
        p.inputScale = m.inputScale;
        p.maxPixels = kWidth;
        p.pairFlag = m.pairFlag;
        p.version = INKDOT_HALFTONE_VERSION;
        return p;
    }
};

// A grey ramp of kSteps flat steps from 0 to 255, as the member reads it
// (two equal bytes a pixel where it takes the smaller or larger of a pair).
Bytes rampLine(const Member& m) {
    Bytes line;
    for (int32_t x = 0; x < kWidth; ++x) {
        const uint8_t v = uint8_t((x / kStepWidth) * 255 / (kSteps - 1));
        line.push_back(v);
        if (m.inputScale == -1) line.push_back(v);
    }
    return line;
}

class OneInkSequence : public ::testing::TestWithParam<Member> {};
INSTANTIATE_TEST_SUITE_P(Members, OneInkSequence, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

// The frame serves each object the member its resolution, depth and mode
// name: a twin object driven through the member itself gives the same dots.
TEST_P(OneInkSequence, FrameChoosesTheMember) {
    const Member& m = GetParam();
    OneInkPage page(m), twin(m);
    ASSERT_TRUE(page.ready() && twin.ready()) << m.name;
    const Bytes input = rampLine(m);
    for (int32_t y = 0; y < 4; ++y) {
        Bytes viaFrame(kWidth / 4), direct(kWidth / 4);
        ASSERT_EQ(page.line(input, viaFrame, y, 0, kWidth), INKDOT_OK);
        ASSERT_EQ(m.kernel(twin.view(), twin.state(), input.data(), direct.data(), 0, 0, kWidth, 0,
                           1, y, m.pairFlag, 0),
                  INKDOT_OK);
        ASSERT_EQ(viaFrame, direct) << m.name << " line " << y;
    }
}

// Over many lines each ramp step prints the coverage its tables ask for (the
// table's ink falls as the grey input rises, to none from about 170 on).
// One bit: a step of density index d gives d / dotValues[d] of its pixels a
// dot, since every dot takes dotValues[d] from an error that gains d a pixel.
// Two bits: the ordered large and medium dots cover the shares of the matrix
// that levelThresholds gives for the record, and all dots together take
// levelTotal / dot error, the rest being small dots; the records are those
// of the noisy index, averaged over the noise.
TEST_P(OneInkSequence, RampCoverageFollowsTheTables) {
    const Member& m = GetParam();
    OneInkPage page(m);
    ASSERT_TRUE(page.ready()) << m.name;
    const HalftoneContext& c = page.context();
    const int16_t* densityMap = blockAs<int16_t>(c, kDensityMap);
    const Bytes input = rampLine(m);

    constexpr int32_t kLines = 128;
    double counts[kSteps][4] = {};  // per step: pixels with code 0..3
    for (int32_t y = 0; y < kLines; ++y) {
        Bytes plane(kWidth / 4, 0);
        ASSERT_EQ(page.line(input, plane, y, 0, kWidth), INKDOT_OK);
        for (int32_t x = 0; x < kWidth; ++x)
            counts[x / kStepWidth][test::inkAt(plane, 0, 0, x, m.outputBits)] +=
                1.0 / (kLines * kStepWidth);
    }

    const double matrixSize = c.matrixSize;
    for (int32_t s = 0; s < kSteps; ++s) {
        const int32_t v = input[size_t(s * kStepWidth * page.inputBytesPerPixel())];
        const std::string what = std::string(m.name) + ", input " + std::to_string(v);
        if (m.outputBits == 1) {
            const int32_t d = densityMap[v];
            const double want = d == 0 ? 0.0 : double(d) / blockAs<uint16_t>(c, kDotValues)[d];
            EXPECT_NEAR(counts[s][1], want, 0.02) << what;
            continue;
        }
        // Noise (u AND 3) - 2, or (u AND 7) - 4 above 160 in the 1440 and 2880 members.
        const bool wide =
            (m.kernel == &kernels::HalftoneMulti1440 || m.kernel == &kernels::HalftoneMulti2880) &&
            v > 160;
        const int noises = wide ? 8 : 4;
        double large = 0, medium = 0, total = 0;
        for (int n = 0; n < noises; ++n) {
            const int32_t index = std::clamp(v + n - noises / 2, 0, 255);
            const LevelRecord& r = blockAs<LevelRecord>(c, kLevelRecords)[densityMap[index]];
            const int32_t* t = blockAs<int32_t>(c, kLevelThresholds);
            large += std::min(t[r.thresholdBase] / matrixSize, 1.0) / noises;
            medium += std::min(t[r.thresholdBase + r.mediumSpan] / matrixSize, 1.0) / noises;
            total += double(r.levelTotal) / m.dotError / noises;
        }
        medium -= large;
        if (v == 0) large = medium = total = 0;
        EXPECT_NEAR(counts[s][3], large, 0.03) << what << ": large";
        EXPECT_NEAR(counts[s][2], medium, 0.03) << what << ": medium";
        EXPECT_NEAR(counts[s][1], total - large - medium, 0.03) << what << ": small";
        EXPECT_NEAR(1.0 - counts[s][0], total, 0.03) << what << ": all dots";
    }
}

// A line handed over in several calls continues the error line left by the
// calls before: the dots are those of the whole line, and the error line
// differs only in the entries of the pixels where a call began, into which
// the whole line's carry went (each call starts with none).
TEST_P(OneInkSequence, SplitLineContinuesThroughTheErrorLine) {
    const Member& m = GetParam();
    OneInkPage whole(m), split(m);
    ASSERT_TRUE(whole.ready() && split.ready()) << m.name;
    const std::vector<int32_t> starts = {0, 131, 258, 389};  // off byte boundaries
    Bytes input;
    for (int32_t x = 0; x < kWidth; ++x) {
        const uint8_t v = uint8_t(60 + (x * 7) % 150);
        input.push_back(v);
        if (m.inputScale == -1) input.push_back(v);
    }
    int carriesDropped = 0;
    for (int32_t y = 0; y < 6; ++y) {
        Bytes a(kWidth / 4, 0), b(kWidth / 4, 0);
        ASSERT_EQ(whole.line(input, a, y, 0, kWidth), INKDOT_OK);
        if (y < 3) {
            ASSERT_EQ(split.line(input, b, y, 0, kWidth), INKDOT_OK);
            ASSERT_EQ(a, b) << m.name << " line " << y;
            continue;
        }
        for (size_t i = 0; i < starts.size(); ++i) {
            const int32_t end = i + 1 < starts.size() ? starts[i + 1] : kWidth;
            ASSERT_EQ(split.line(input, b, y, starts[i], end - starts[i]), INKDOT_OK);
        }
        EXPECT_EQ(a, b) << m.name << " line " << y;
        const int16_t* ea = blockAs<int16_t>(whole.context(), kErrorLineA);
        const int16_t* eb = blockAs<int16_t>(split.context(), kErrorLineA);
        for (int32_t x = -30; x < kWidth + 30; ++x) {
            if (std::find(starts.begin(), starts.end(), x) != starts.end()) {
                carriesDropped += ea[30 + x] != eb[30 + x];
                continue;
            }
            ASSERT_EQ(ea[30 + x], eb[30 + x]) << m.name << " line " << y << ", x " << x;
        }
        // Start the next line from the same error line on both.
        std::copy(ea, ea + kWidth + 60, blockAs<int16_t>(split.context(), kErrorLineA));
    }
    EXPECT_GT(carriesDropped, 0) << m.name;  // the whole line did carry into a join
}

// Mode 3 through the frame: the pair rule turns a pair of 0 and 255 into a
// small dot, a pair of 0 and 0 into none.
TEST(OneInkSequence, ModeThreePairsThroughTheFrame) {
    const Member& m = kMembers[7];
    OneInkPage page(m);
    ASSERT_TRUE(page.ready());
    ASSERT_EQ(page.context().mode, Mode::pairsSingleInk);
    Bytes input;
    for (int32_t x = 0; x < kWidth; ++x) {
        const bool pair = x % 3 != 2;
        input.push_back(pair && x % 2 ? 255 : 0);
        input.push_back(pair && x % 2 == 0 ? 255 : 0);
    }
    Bytes plane(kWidth / 4, 0xFF);
    ASSERT_EQ(page.line(input, plane, 5, 0, kWidth), INKDOT_OK);
    for (int32_t x = 0; x < kWidth; ++x)
        ASSERT_EQ(test::inkAt(plane, 0, 0, x, 2), x % 3 != 2 ? 1 : 0) << x;
}

}  // namespace
}  // namespace inkdot
