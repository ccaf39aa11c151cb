// The dispatch tables of the line frame walked whole: every combination of
// method, ink set, depth and resolution in mode 0, and every mode, reaches
// the kernel its row names, with the pair value of its row, or the row's
// result; and every one of the sixteen kernels is reached.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "halftone/call_frame.h"
#include "halftone/halftone_context.h"
#include "kernels/kernels.h"

namespace inkdot {
namespace {

using namespace kernels;

// What a row of the mode-0 table asks of one field. "Other" for the method
// is every value but 0 and 3 (the diffusion method).
enum class Is { Any, Zero, NonZero, Two, NotTwo, Three, Other };

bool matches(Is want, int32_t v) {
    switch (want) {
        case Is::Any: return true;
        case Is::Zero: return v == 0;
        case Is::NonZero: return v != 0;
        case Is::Two: return v == 2;
        case Is::NotTwo: return v != 2;
        case Is::Three: return v == 3;
        case Is::Other: return v != 0 && v != 3;
    }
    return false;
}

enum class Res { Any, R2880, R1440, OtherSet720x360, OtherClear720x360, OtherRes };

struct Resolution {
    int32_t x, y;
    bool is720x360() const { return x == 720 && y == 360; }
};

bool matches(Res want, const Resolution& r) {
    const bool r2880 = r.x == 2880 && r.y == 720, r1440 = r.x == 1440 && r.y == 720;
    switch (want) {
        case Res::Any: return true;
        case Res::R2880: return r2880;
        case Res::R1440: return r1440;
        case Res::OtherRes: return !r2880 && !r1440;
        case Res::OtherSet720x360: return !r2880 && !r1440 && r.is720x360();
        case Res::OtherClear720x360: return !r2880 && !r1440 && !r.is720x360();
    }
    return false;
}

// The mode-0 table, tested in this order; a null kernel stands for INKDOT_UNSUPPORTED.
struct Row {
    Is method, inkSet, outputBits;
    Res resolution;
    Kernel* kernel;
};
const Row kModeZero[] = {
    {Is::Three, Is::Zero, Is::NotTwo, Res::Any, &HalftoneDither},
    {Is::Three, Is::Zero, Is::Two, Res::Any, nullptr},
    {Is::Three, Is::NonZero, Is::NotTwo, Res::Any, &HalftoneDitherSep},
    {Is::Three, Is::NonZero, Is::Two, Res::Any, &HalftoneDitherMultiSep},
    {Is::Zero, Is::Any, Is::Any, Res::Any, nullptr},
    {Is::Other, Is::NonZero, Is::Two, Res::R2880, &HalftoneMultiSep2880},
    {Is::Other, Is::NonZero, Is::NotTwo, Res::R2880, nullptr},
    {Is::Other, Is::NonZero, Is::Two, Res::R1440, &HalftoneMultiSep1440},
    {Is::Other, Is::NonZero, Is::NotTwo, Res::R1440, &HalftoneBinarySep1440},
    {Is::Other, Is::NonZero, Is::Two, Res::OtherRes, &HalftoneMultiSep},
    {Is::Other, Is::NonZero, Is::NotTwo, Res::OtherSet720x360, &HalftoneBinarySep360},
    {Is::Other, Is::NonZero, Is::NotTwo, Res::OtherClear720x360, &HalftoneBinarySep},
    {Is::Other, Is::Zero, Is::Two, Res::R2880, &HalftoneMulti2880},
    {Is::Other, Is::Zero, Is::NotTwo, Res::R2880, nullptr},
    {Is::Other, Is::Zero, Is::Two, Res::R1440, &HalftoneMulti1440},
    {Is::Other, Is::Zero, Is::NotTwo, Res::R1440, &HalftoneBinary1440},
    {Is::Other, Is::Zero, Is::Two, Res::OtherRes, &HalftoneMulti},
    {Is::Other, Is::Zero, Is::NotTwo, Res::OtherRes, &HalftoneBinary},
};

// Modes that name their kernel and pair value; every other mode but 7 (the
// separation path of its own) has none.
struct ModeRow {
    Mode mode;
    Kernel* kernel;
    int32_t pairFlag;
};
const ModeRow kModes[] = {{Mode::pairsSeparated, &HalftoneMultiSepMode, 1},
                          {Mode::halfWidthSeparated, &HalftoneMultiSepMode, 0},
                          {Mode::pairsSingleInk, &HalftoneMultiMode, 1},
                          {Mode::halfWidthSingleInk, &HalftoneMultiMode, 0}};

const int32_t kMethods[] = {0, 1, 3, 5};
const int32_t kInkSets[] = {0, 3};
const int32_t kDepths[] = {1, 2, 4};
const Resolution kResolutions[] = {{2880, 720}, {1440, 720},  {720, 720},   {720, 360},
                                   {360, 720},  {1440, 1440}, {2880, 1440}, {1440, 360}};

// A context of the given parameters with a separation table of `channels`
// bytes an entry, its kernel chosen, ready for the frame's range check (64
// pixels, no repetition).
HalftoneContext contextFor(Mode mode, int32_t method, int32_t inkSet, int32_t outputBits,
                           const Resolution& r, int32_t channels = 6) {
    HalftoneContext c{};
    c.params.method = method;
    c.params.inkSet = inkSet;
    c.params.inputFormat = inkSet == 0 ? 0 : 4;
    c.params.outputBits = outputBits;
    c.params.xResolution = r.x;
    c.params.yResolution = r.y;
    c.params.maxPixels = 64;
    c.params.version = INKDOT_HALFTONE_VERSION;
    c.lut.channels = channels;
    c.mode = mode;
    c.is720x360 = r.is720x360() ? 1 : 0;
    c.replication = 1;
    c.sequenceState = kSequenceComplete;
    prepareKernel(c);  // as the completed sequence does
    return c;
}

std::string describe(Mode mode, int32_t method, int32_t inkSet, int32_t bits, const Resolution& r) {
    return "mode " + std::to_string(int32_t(mode)) + ", method " + std::to_string(method) +
           ", inkSet " + std::to_string(inkSet) + ", " + std::to_string(bits) + " bits, " +
           std::to_string(r.x) + " x " + std::to_string(r.y);
}

// Every combination in mode 0 reaches the first row it matches; every row
// and every kernel of the table is reached by some combination.
TEST(Dispatch, ModeZeroTableWalkedWhole) {
    std::set<const Row*> rowsReached;
    std::set<Kernel*> kernelsReached;
    for (int32_t method : kMethods)
        for (int32_t inkSet : kInkSets)
            for (int32_t bits : kDepths)
                for (const Resolution& r : kResolutions) {
                    const Row* row = nullptr;
                    for (const Row& candidate : kModeZero) {
                        if (matches(candidate.method, method) &&
                            matches(candidate.inkSet, inkSet) &&
                            matches(candidate.outputBits, bits) &&
                            matches(candidate.resolution, r)) {
                            row = &candidate;
                            break;
                        }
                    }
                    ASSERT_NE(row, nullptr) << describe(Mode::plain, method, inkSet, bits, r);
                    rowsReached.insert(row);
                    kernelsReached.insert(row->kernel);
                    const KernelChoice choice =
                        chooseKernel(contextFor(Mode::plain, method, inkSet, bits, r));
                    EXPECT_EQ(choice.kernel, row->kernel)
                        << describe(Mode::plain, method, inkSet, bits, r);
                    EXPECT_EQ(choice.pairFlag, 0) << describe(Mode::plain, method, inkSet, bits, r);
                }
    EXPECT_EQ(rowsReached.size(), std::size(kModeZero));
    kernelsReached.erase(nullptr);
    EXPECT_EQ(kernelsReached.size(), 14u);
}

// Modes 1, 3, 4 and 6 name their kernel and pair value whatever the other
// parameters say; mode 7 has the separation path's kernel, and modes the
// object never takes have no kernel.
TEST(Dispatch, ModeRows) {
    std::set<Kernel*> kernels;
    for (const ModeRow& m : kModes) {
        kernels.insert(m.kernel);
        for (int32_t method : kMethods)
            for (int32_t bits : kDepths)
                for (const Resolution& r : kResolutions) {
                    // The separating modes take four channels, the others one.
                    const int32_t inkSet = m.kernel == &HalftoneMultiSepMode ? 3 : 0;
                    const KernelChoice choice =
                        chooseKernel(contextFor(m.mode, method, inkSet, bits, r));
                    EXPECT_EQ(choice.kernel, m.kernel) << describe(m.mode, method, inkSet, bits, r);
                    EXPECT_EQ(choice.pairFlag, m.pairFlag)
                        << describe(m.mode, method, inkSet, bits, r);
                }
    }
    EXPECT_EQ(kernels.size(), 2u);
    for (int32_t mode : {-1, 2, 5, 8, 100})
        EXPECT_EQ(chooseKernel(contextFor(Mode(mode), 1, 3, 2, {720, 720})).kernel, nullptr)
            << mode;
    EXPECT_EQ(chooseKernel(contextFor(Mode::separationPath, 3, 3, 1, {720, 720})).kernel,
              &HalftoneSeparationPath);
}

// A separation table of entries other than six bytes reaches no separating
// kernel, in mode 0 and in the separating modes; one-ink objects do not
// look at it.
TEST(Dispatch, OnlySixByteSeparationEntriesAreServed) {
    for (int32_t channels : {4, 5, 7, 8}) {
        for (int32_t method : kMethods)
            for (int32_t bits : kDepths)
                for (const Resolution& r : kResolutions) {
                    EXPECT_EQ(
                        chooseKernel(contextFor(Mode::plain, method, 3, bits, r, channels)).kernel,
                        nullptr)
                        << describe(Mode::plain, method, 3, bits, r) << ", " << channels
                        << " channels";
                    const HalftoneContext one =
                        contextFor(Mode::plain, method, 0, bits, r, channels);
                    EXPECT_EQ(chooseKernel(one).kernel,
                              chooseKernel(contextFor(Mode::plain, method, 0, bits, r)).kernel);
                }
        for (Mode mode : {Mode::pairsSeparated, Mode::halfWidthSeparated})
            EXPECT_EQ(chooseKernel(contextFor(mode, 1, 3, 2, {360, 720}, channels)).kernel,
                      nullptr);
    }
}

// Through Halftone itself: a combination without a kernel answers INKDOT_UNSUPPORTED from
// the frame; one with a kernel answers what the kernel does, here INKDOT_NOT_ENABLED for
// a call that is not enabled (no kernel reads its tables before that check).
// The caller's tenth argument never reaches a kernel.
TEST(Dispatch, ThroughHalftone) {
    for (int32_t method : kMethods)
        for (int32_t inkSet : kInkSets)
            for (int32_t bits : kDepths)
                for (const Resolution& r : kResolutions) {
                    HalftoneContext c = contextFor(Mode::plain, method, inkSet, bits, r);
                    const bool served = chooseKernel(c).kernel != nullptr;
                    uint8_t planes[64] = {};
                    const uint8_t line[8] = {};
                    EXPECT_EQ(Halftone(&c, line, planes, 8, 0, 1, 0, /*enable*/ 0, 0,
                                       /*spare*/ 7, 0),
                              served ? INKDOT_NOT_ENABLED : INKDOT_UNSUPPORTED)
                        << describe(Mode::plain, method, inkSet, bits, r);
                }
    for (const ModeRow& m : kModes) {
        const int32_t inkSet = m.kernel == &HalftoneMultiSepMode ? 3 : 0;
        HalftoneContext c = contextFor(m.mode, 1, inkSet, 2, {360, 720});
        uint8_t planes[64] = {};
        const uint8_t line[8] = {};
        EXPECT_EQ(Halftone(&c, line, planes, 8, 0, 1, 0, 0, 0, 7, 0), INKDOT_NOT_ENABLED)
            << "mode " << int32_t(m.mode);
    }
}

}  // namespace
}  // namespace inkdot
