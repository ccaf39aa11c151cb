// The separating diffusion kernels at the end of whole sequences: a
// four-dimensional CMYK to six-ink colour table through colour matching,
// the halftone resource sequence and the line frame, on CMYK ramps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"
#include "respack/respack.h"
#include "support/cm_fixtures.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using Bytes = std::vector<uint8_t>;

// Planes in the order of the table's channels: cyan, light cyan, magenta,
// light magenta, yellow, black.
constexpr int kPlaneOfChannel[6] = {0, 4, 1, 5, 2, 3};
constexpr const char* kInkName[6] = {"cyan",          "light cyan", "magenta",
                                     "light magenta", "yellow",     "black"};

struct Member {
    const char* name;
    kernels::Kernel* kernel;
    int32_t xResolution, yResolution, outputBits, pairFlag, inputScale;
};
const Member kMembers[] = {
    {"BinarySep", &kernels::HalftoneBinarySep, 720, 720, 1, 0, 0},
    {"BinarySep360", &kernels::HalftoneBinarySep360, 720, 360, 1, 0, 0},
    {"BinarySep1440", &kernels::HalftoneBinarySep1440, 1440, 720, 1, 0, 0},
    {"MultiSep", &kernels::HalftoneMultiSep, 720, 720, 2, 0, 0},
    {"MultiSep360", &kernels::HalftoneMultiSep, 720, 360, 2, 0, 0},
    {"MultiSep1440", &kernels::HalftoneMultiSep1440, 1440, 720, 2, 0, 0},
    {"MultiSep2880", &kernels::HalftoneMultiSep2880, 2880, 720, 2, 0, 0},
    {"MultiSepMode4", &kernels::HalftoneMultiSepMode, 360, 720, 2, 0, 0},
    {"MultiSepMode1", &kernels::HalftoneMultiSepMode, 360, 720, 2, 1, -1},
};

constexpr int32_t kTable = 3100;
constexpr int32_t kWidth = 2048;         // long enough for the calls that prepare their tables
constexpr int32_t kStride = kWidth / 4;  // bytes of a plane, two bits a pixel

// The colour table and the halftone resources, made once.
struct Resources {
    Bytes table = respack::colourTable4d({.points = 9, .extraBlock = respack::extraBlockKind1({})});
    Bytes list = respack::resourceList({100, 201, 201, 201, 201, 201});
    Bytes levels = respack::gridLevels();
    Bytes matrix = respack::ditherMatrixBlueNoise(64);
    std::string index =
        test::IndexText{}.line({kTable, 120, "Plain", "Vivid", 720, 1440, "Max", 7, 1}).str();
};
const Resources& resources() {
    static const Resources r;
    return r;
}

// Colour matching, then a complete halftone object for one member.
class SeparatedPage {
public:
    explicit SeparatedPage(const Member& m)
        : cm_(cmParams(), cmSelect(), resources().index, resources().table) {
        if (cm_.tableResult != INKDOT_OK || cm_.tableAnswer != INKDOT_NO_RESOURCE) return;
        HalftoneParams p{};
        p.method = 1;
        p.inputFormat = 4;
        p.inkSet = 3;
        p.xResolution = m.xResolution;
        p.yResolution = m.yResolution;
        p.outputBits = m.outputBits;
        p.inputScale = m.inputScale;
        p.maxPixels = kWidth;
        p.pairFlag = m.pairFlag;
        p.version = INKDOT_HALFTONE_VERSION;
        int32_t tableClass = 0;
        created_ = HalftoneNew(&p, &cm_.lut(), 0, &tableClass, &context_);
        if (created_ != INKDOT_OK) return;
        int32_t next = 0;
        sequence_ = HalftoneSetResource(context_, resources().list.data(), &next);
        if (sequence_ == INKDOT_OK)
            sequence_ = HalftoneSetResource(context_, resources().levels.data(), &next);
        if (sequence_ == INKDOT_OK)
            sequence_ = HalftoneSetResource(context_, resources().matrix.data(), &next);
        if (sequence_ == INKDOT_OK && next != INKDOT_NO_RESOURCE) sequence_ = -next;
    }
    ~SeparatedPage() {
        if (created_ == INKDOT_OK) HalftoneDelete(context_);
    }
    SeparatedPage(const SeparatedPage&) = delete;
    SeparatedPage& operator=(const SeparatedPage&) = delete;

    bool ready() const { return created_ == INKDOT_OK && sequence_ == INKDOT_OK; }
    HalftoneContext& context() { return *context_; }
    const kernels::KernelView& view() const { return context_->view; }
    kernels::LineState& state() { return context_->line; }

    // One stretch through the line frame into planes of kStride bytes.
    int32_t line(const Bytes& input, std::array<uint8_t, 6 * kStride>& planes, int32_t lineNumber,
                 int32_t startX, int32_t count) {
        const int32_t bits = context_->params.outputBits;
        const int32_t slot = startX * bits;
        return Halftone(context_, input.data() + size_t(startX) * bytesPerInputPixel(),
                        planes.data() + slot / 8, kStride, (slot % 8) / bits, count, startX, 1,
                        lineNumber, 0, 0);
    }
    int32_t bytesPerInputPixel() const { return context_->params.inputScale == -1 ? 8 : 4; }

private:
    static CmParams cmParams() {
        CmParams p{};
        p.keyB = 1;
        p.numberC = 7;
        return p;
    }
    static CmSelect cmSelect() {
        CmSelect s{};
        s.pixelLayout = 1;
        s.numberA = 720;
        s.numberB = 1440;
        s.numberD = 1;
        return s;
    }

    test::ColourMatching cm_;
    HalftoneContext* context_ = nullptr;
    int32_t created_ = -1;
    int32_t sequence_ = -1;
};

// A line of kWidth pixels whose channel `channel` ramps from 0 to 255 (the
// others hold `others`), as the member reads it.
Bytes rampLine(const Member& m, int channel, std::array<uint8_t, 4> others = {}) {
    Bytes line;
    for (int32_t x = 0; x < kWidth; ++x) {
        std::array<uint8_t, 4> px = others;
        px[size_t(channel)] = uint8_t(x * 255 / (kWidth - 1));
        line.insert(line.end(), px.begin(), px.end());
        if (m.inputScale == -1) line.insert(line.end(), px.begin(), px.end());
    }
    return line;
}

// Ink of one dot slot: 1 for a one-bit dot, 1, 2 or 3 for a small, medium or
// large dot.
int32_t inkAt(const std::array<uint8_t, 6 * kStride>& planes, int plane, int32_t x, int32_t bits) {
    const uint8_t byte = planes[size_t(plane * kStride + x * bits / 8)];
    const int32_t shift = 8 - bits - (x * bits) % 8;
    return (byte >> shift) & ((1 << bits) - 1);
}

class SeparatedSequence : public ::testing::TestWithParam<Member> {};
INSTANTIATE_TEST_SUITE_P(Members, SeparatedSequence, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

using Planes = std::array<uint8_t, 6 * kStride>;

// The frame serves each object the member its resolution, depth and mode
// name: a twin object driven through the member itself gives the same dots.
TEST_P(SeparatedSequence, FrameChoosesTheMember) {
    const Member& m = GetParam();
    SeparatedPage page(m), twin(m);
    ASSERT_TRUE(page.ready() && twin.ready()) << m.name;
    const Bytes input = rampLine(m, 0, {0, 90, 0, 30});
    for (int32_t y = 0; y < 4; ++y) {
        Planes viaFrame{}, direct{};
        ASSERT_EQ(page.line(input, viaFrame, y, 0, kWidth), INKDOT_OK);
        ASSERT_EQ(m.kernel(twin.view(), twin.state(), input.data(), direct.data(), kStride, 0,
                           kWidth, 0, 1, y, m.pairFlag, 0),
                  INKDOT_OK);
        ASSERT_EQ(viaFrame, direct) << m.name << " line " << y;
    }
}

// On a ramp of cyan (or magenta) the light ink prints alone in the lightest
// part and dominates the highlights; the dark ink grows steadily and takes
// over in the shadows. Yellow and black ramps fill their own plane steadily.
// No other plane gets a dot.
TEST_P(SeparatedSequence, RampsFollowTheSeparation) {
    const Member& m = GetParam();
    SeparatedPage page(m);
    ASSERT_TRUE(page.ready()) << m.name;
    constexpr int kSegments = 8, kLines = 32;
    for (int channel = 0; channel < 4; ++channel) {
        const Bytes input = rampLine(m, channel);
        int32_t ink[6][kSegments] = {};
        for (int32_t y = 0; y < kLines; ++y) {
            Planes planes{};
            ASSERT_EQ(page.line(input, planes, 100 * channel + y, 0, kWidth), INKDOT_OK);
            for (int c = 0; c < 6; ++c)
                for (int32_t x = 0; x < kWidth; ++x)
                    ink[c][x * kSegments / kWidth] +=
                        inkAt(planes, kPlaneOfChannel[c], x, m.outputBits);
        }
        const std::string what =
            std::string(m.name) + ", ramp of channel " + std::to_string(channel);
        // The inks the ramp's channel separates into.
        const std::vector<int> own = channel == 0   ? std::vector{0, 1}
                                     : channel == 1 ? std::vector{2, 3}
                                     : channel == 2 ? std::vector{4}
                                                    : std::vector{5};
        for (int c = 0; c < 6; ++c) {
            if (std::find(own.begin(), own.end(), c) != own.end()) continue;
            for (int s = 0; s < kSegments; ++s)
                EXPECT_EQ(ink[c][s], 0) << what << ": " << kInkName[c] << ", segment " << s;
        }
        const int main = own[0];
        for (int s = 1; s < kSegments; ++s)
            EXPECT_GT(ink[main][s], ink[main][s - 1]) << what << ": " << kInkName[main] << " " << s;
        if (own.size() == 1) {
            EXPECT_GT(ink[main][0], 0) << what;
            continue;
        }
        const int dark = own[0], light = own[1];
        EXPECT_EQ(ink[dark][0], 0) << what;
        EXPECT_GT(ink[light][0], 0) << what;
        for (int s = 0; s < 3; ++s)
            EXPECT_GT(ink[light][s], 2 * ink[dark][s]) << what << ", highlights " << s;
        for (int s = 5; s < kSegments; ++s)
            EXPECT_GT(ink[dark][s], 3 * ink[light][s]) << what << ", shadows " << s;
        for (int s = 3; s < kSegments; ++s)
            EXPECT_LT(ink[light][s], ink[light][s - 1]) << what << ", light ink fading " << s;
    }
}

// A line handed over in two calls, the second starting where the first
// ended, continues the first one's error lines untouched. Where the second
// stretch starts on a colour of its own (no smoothing across the join) whose
// diffused inks are all in use (their activity the same either way), its
// dots are those of the whole line, and the error lines differ only in the
// next-line entry of the join, which the whole line's carry reaches.
TEST_P(SeparatedSequence, SplitLineContinuesThroughLastEnd) {
    const Member& m = GetParam();
    SeparatedPage whole(m), split(m);
    ASSERT_TRUE(whole.ready() && split.ready()) << m.name;
    constexpr int32_t kJoin = 203;  // not on a byte boundary of either depth
    Bytes input;
    for (int32_t x = 0; x < kWidth; ++x) {
        const std::array<uint8_t, 4> px = x < kJoin ? std::array<uint8_t, 4>{200, 30, 0, 0}
                                                    : std::array<uint8_t, 4>{60, 60, 20, 40};
        for (int copy = 0; copy < (m.inputScale == -1 ? 2 : 1); ++copy)
            input.insert(input.end(), px.begin(), px.end());
    }
    for (int32_t y = 0; y <= 6; ++y) {
        Planes a{}, b{};
        ASSERT_EQ(whole.line(input, a, y, 0, kWidth), INKDOT_OK);
        if (y < 6) {
            ASSERT_EQ(split.line(input, b, y, 0, kWidth), INKDOT_OK);
            continue;
        }
        ASSERT_EQ(split.line(input, b, y, 0, kJoin), INKDOT_OK);
        EXPECT_EQ(split.state().lastEnd, kJoin);
        ASSERT_EQ(split.line(input, b, y, kJoin, kWidth - kJoin), INKDOT_OK);
        EXPECT_EQ(split.state().lastEnd, kWidth);
        EXPECT_EQ(a, b) << m.name;
        for (int l = 0; l < whole.context().errorLineCount; ++l) {
            const auto* ea = blockAs<int16_t>(whole.context(), BlockIndex(kErrorLineA + l));
            const auto* eb = blockAs<int16_t>(split.context(), BlockIndex(kErrorLineA + l));
            for (int32_t x = -30; x < kWidth + 30; ++x) {
                if (x == kJoin) continue;
                ASSERT_EQ(ea[30 + x], eb[30 + x]) << m.name << ", error line " << l << ", x " << x;
            }
        }
    }
}

// Long stretches of the two-bit members read their thresholds unclamped once
// the records are known to stay within the tables; a record that is not (here
// one no amount reaches) sends them to the clamped reads, with the same dots
// and the same error.
TEST_P(SeparatedSequence, CheckedAndClampedReadsAgree) {
    const Member& m = GetParam();
    if (m.outputBits != 2) GTEST_SKIP() << "one-bit members read no records";
    SeparatedPage checked(m), clamped(m);
    ASSERT_TRUE(checked.ready() && clamped.ready()) << m.name;
    blockAs<LevelRecord>(clamped.context(), kLevelRecords)[1023] = LevelRecord{-1, 0, 0, -1};
    const Bytes input = rampLine(m, 1, {40, 0, 60, 20});
    for (int32_t y = 0; y < 4; ++y) {
        Planes a{}, b{};
        ASSERT_EQ(checked.line(input, a, y, 0, kWidth), INKDOT_OK);
        ASSERT_EQ(clamped.line(input, b, y, 0, kWidth), INKDOT_OK);
        ASSERT_EQ(a, b) << m.name << " line " << y;
    }
    for (int l = 0; l < 3; ++l) {
        const auto* ea = blockAs<int16_t>(checked.context(), BlockIndex(kErrorLineA + l));
        const auto* eb = blockAs<int16_t>(clamped.context(), BlockIndex(kErrorLineA + l));
        EXPECT_EQ(std::memcmp(ea, eb, size_t(kWidth + 60) * 2), 0) << m.name << " line " << l;
    }
}

}  // namespace
}  // namespace inkdot
