// What the seven diffusing separation kernels share: the line-continuity
// clearing of their error lines and the quantiser's matrix dither.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "halftone/call_frame.h"
#include "inkdot/inkdot.h"
#include "kernels/kernels.h"
#include "kernels/separation.h"
#include "support/separation_fixtures.h"

namespace inkdot {
namespace {

using kernels::Kernel;
using test::SeparationFixture;

struct Member {
    const char* name;
    Kernel* kernel;
    int32_t outputBits;
    int lines;  // error lines the member diffuses on
};
const Member kMembers[] = {
    {"BinarySep", &kernels::HalftoneBinarySep, 1, 2},
    {"BinarySep360", &kernels::HalftoneBinarySep360, 1, 2},
    {"BinarySep1440", &kernels::HalftoneBinarySep1440, 1, 2},
    {"MultiSepMode", &kernels::HalftoneMultiSepMode, 2, 3},
    {"MultiSep", &kernels::HalftoneMultiSep, 2, 3},
    {"MultiSep1440", &kernels::HalftoneMultiSep1440, 2, 3},
    {"MultiSep2880", &kernels::HalftoneMultiSep2880, 2, 3},
};

class SeparationMember : public ::testing::TestWithParam<Member> {};
INSTANTIATE_TEST_SUITE_P(Members, SeparationMember, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

// Each call clears the error lines where it does not continue the stretch the
// previous call left (lastLine, lastEnd), by the first rule that matches; a
// previous end at maxPixels counts as 0, comparisons are unsigned, guard
// entries are never cleared, and lastLine / lastEnd are stored.
TEST_P(SeparationMember, LineContinuityClearing) {
    constexpr int32_t kMax = 64;
    constexpr int16_t kMark = 7;
    struct Case {
        const char* what;
        int32_t lastLine, lastEnd, lineNumber, startX, pixelCount;
        int32_t clearFrom, clearTo;  // positions cleared, [from, to)
        int32_t alsoCleared = -1;    // a second, single position
    };
    const Case cases[] = {
        {"jump of two lines", 3, 20, 5, 10, 4, 0, kMax},
        {"a negative line after a positive one", 5, 20, -3, 10, 4, 0, kMax},
        {"next line 15 clears in front of the start", 14, 20, 15, 40, 4, 0, 40},
        {"next line 15 from the start", 14, 20, 15, 0, 4, 0, 0},
        {"next line 31", 30, 20, 31, 9, 4, 0, 9},
        {"same line 7 continued: both ends of the gap", 7, 50, 7, 60, 4, 50, 51, 59},
        {"same line 15 continued: the whole gap", 15, 20, 15, 30, 4, 20, 30},
        {"same line, gap of one", 7, 20, 7, 21, 4, 20, 21},
        {"same line, not further right", 3, 50, 3, 40, 4, 0, 0},
        {"same line, start at the end", 3, 40, 3, 40, 4, 0, 0},
        {"next line 16 clears behind the end", 15, 40, 16, 0, 4, 40, kMax},
        {"next line 32", 31, 63, 32, 5, 4, 63, kMax},
        {"an end at maxPixels counts as 0", 15, kMax, 16, 0, 4, 0, 0},
        {"same line from an end at maxPixels", 7, kMax, 7, 30, 4, 0, 1, 29},
        {"line 0 follows line -1", -1, 30, 0, 0, 4, 30, kMax},
        {"an ordinary next line", 4, 20, 5, 10, 4, 0, 0},
        {"a line back", 10, 20, 9, 10, 4, 0, 0},
        {"the same line again from the left", 9, 20, 9, 0, 4, 0, 0},
    };
    const Member& m = GetParam();
    for (const Case& c : cases) {
        SeparationFixture f(m.outputBits, kMax);
        for (int line = 0; line < 3; ++line)
            std::fill(f.errorLine(line).begin(), f.errorLine(line).end(), kMark);
        f.state().lastLine = c.lastLine;
        f.state().lastEnd = c.lastEnd;
        // No pixel: only the clearing shows.
        ASSERT_EQ(f.run(*m.kernel, {}, 0, c.startX, c.lineNumber), INKDOT_OK) << c.what;
        EXPECT_EQ(f.state().lastLine, c.lineNumber) << c.what;
        EXPECT_EQ(f.state().lastEnd, c.startX) << c.what;
        for (int line = 0; line < 3; ++line) {
            const auto& entries = f.errorLine(line);
            for (int32_t x = -kernels::kErrorLineGuard;
                 x < int32_t(entries.size()) - kernels::kErrorLineGuard; ++x) {
                const bool cleared = line < m.lines && x >= 0 && x < kMax &&
                                     ((x >= c.clearFrom && x < c.clearTo) || x == c.alsoCleared);
                ASSERT_EQ(f.entry(line, x), cleared ? 0 : kMark)
                    << c.what << ", line " << line << ", x " << x;
            }
        }
    }
}

// The stored end is the new start plus the count, and the next call reads it.
TEST_P(SeparationMember, StretchesOfOneLineChain) {
    const Member& m = GetParam();
    SeparationFixture f(m.outputBits, 64);
    // No small dot and no error: the pixels leave entries beyond their own as
    // they are.
    std::fill(f.base.errorThresholds.begin(), f.base.errorThresholds.end(), 30000);
    const std::vector<uint8_t> none;
    ASSERT_EQ(f.run(*m.kernel, none, 0, 0, 6), INKDOT_OK);
    f.entry(0, 10) = f.entry(0, 19) = f.entry(0, 15) = 5;
    ASSERT_EQ(f.run(*m.kernel, std::vector<uint8_t>(40), 10, 0, 6), INKDOT_OK);
    EXPECT_EQ(f.state().lastEnd, 10);
    f.entry(0, 10) = 5;  // written by the pixels; mark it again
    ASSERT_EQ(f.run(*m.kernel, none, 0, 20, 6), INKDOT_OK);
    EXPECT_EQ(f.entry(0, 10), 0);  // the previous end
    EXPECT_EQ(f.entry(0, 19), 0);  // in front of the new start
    EXPECT_EQ(f.entry(0, 15), 5);  // between them: kept
    EXPECT_EQ(f.state().lastEnd, 20);
}

// The line frame serves a separating object only while its separation table
// has six-byte entries: for any other entry size it answers INKDOT_UNSUPPORTED and writes
// nothing.
TEST(SeparationFrame, ServesOnlySixByteEntries) {
    struct Case {
        const char* name;
        int32_t x, y, outputBits;
        Mode mode;
        int32_t is720x360;
    };
    const Case cases[] = {
        {"BinarySep", 720, 720, 1, Mode::plain, 0},
        {"BinarySep360", 720, 360, 1, Mode::plain, 1},
        {"BinarySep1440", 1440, 720, 1, Mode::plain, 0},
        {"MultiSep", 720, 720, 2, Mode::plain, 0},
        {"MultiSep1440", 1440, 720, 2, Mode::plain, 0},
        {"MultiSep2880", 2880, 720, 2, Mode::plain, 0},
        {"MultiSepMode4", 360, 720, 2, Mode::halfWidthSeparated, 0},
        {"MultiSepMode1", 360, 720, 2, Mode::pairsSeparated, 0},
    };
    for (const Case& c : cases) {
        for (int32_t channels : {6, 7, 8, 5}) {
            SeparationFixture f(c.outputBits, 64);
            f.params().xResolution = c.x;
            f.params().yResolution = c.y;
            f.context().mode = c.mode;
            f.context().is720x360 = c.is720x360;
            f.context().lut.channels = channels;
            prepareKernel(f.context());
            f.planes.fill(0xA5);
            const std::vector<uint8_t> input(64, 9);
            EXPECT_EQ(Halftone(&f.context(), input.data(), f.planes.data(), f.kPlaneStride, 0, 8, 0,
                               1, 3, 0, 0),
                      channels == 6 ? INKDOT_OK : INKDOT_UNSUPPORTED)
                << c.name << ", " << channels << " bytes an entry";
            if (channels != 6) {
                EXPECT_EQ(f.state().lastLine, -12345) << c.name;
                EXPECT_TRUE(std::all_of(f.planes.begin(), f.planes.end(), [](uint8_t b) {
                    return b == 0xA5;
                })) << c.name;
            }
        }
    }
}

// Records are read without clamping only when every one of them keeps its
// indices within the tables: no negative span, the total the sum of the spans,
// and at most 255.
TEST(SeparationRecords, CheckedBeforeUnclampedReads) {
    struct Case {
        const char* what;
        LevelRecord r;
        bool within;
    };
    const Case cases[] = {
        {"zero", {0, 0, 0, 0}, true},
        {"a full stretch", {50, 100, 105, 255}, true},
        {"a total above 255", {0, 0, 256, 256}, false},
        {"a negative small span", {-1, 10, 20, 29}, false},
        {"a negative medium span", {10, -1, 20, 29}, false},
        {"a negative base", {10, 20, -1, 29}, false},
        {"a total other than the sum", {10, 20, 30, 61}, false},
    };
    for (const Case& c : cases) {
        std::vector<LevelRecord> records(1024, LevelRecord{1, 2, 3, 6});
        EXPECT_TRUE(kernels::recordsWithinTables(records.data(), 1024));
        records[1023] = c.r;  // the last of the upper half
        EXPECT_EQ(kernels::recordsWithinTables(records.data(), 1024), c.within) << c.what;
    }
}

// Matrix values are brought into a byte by the significant bits of
// (matrixSize + 1) / 512; the dither value is even.
TEST(SeparationDither, ShiftFollowsTheMatrixSize) {
    struct Case {
        int32_t matrixSize, shift;
    };
    for (Case c : {Case{1, 0},
                   {256, 0},
                   {510, 0},
                   {511, 1},
                   {1022, 1},
                   {1023, 2},
                   {4096, 4},
                   {65536, 8},
                   {262144, 10}}) {
        EXPECT_EQ(kernels::ditherShift(c.matrixSize), c.shift) << c.matrixSize;
    }
    EXPECT_EQ(kernels::quantiserDither(255, 0), 254u);
    EXPECT_EQ(kernels::quantiserDither(1023, 2), 254u);
    EXPECT_EQ(kernels::quantiserDither(0x1FF, 0), 0xFEu);  // only the low byte survives
}

}  // namespace
}  // namespace inkdot
