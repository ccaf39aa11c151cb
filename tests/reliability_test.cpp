// Reliability on every path a print spooler can hit: lines refused before the
// resource sequence has completed; every allocation and every lock of whole
// colour-matching, halftone and table-image sequences failed in turn, each
// answered with its code and leaving nothing behind; deletion with failing
// unlocks and frees; long pages through every diffusion kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "halftone/halftone_context.h"
#include "inkdot/inkdot.h"
#include "respack/respack.h"
#include "support/default_pack.h"
#include "support/fault_memory.h"
#include "support/halftone_fixtures.h"

namespace inkdot {
namespace {

using test::Bytes;
using test::HalftoneObject;
using test::MemOp;

// ---------------------------------------------------------------------------
// Lines before the sequence has completed

// Before the sequence has ended, and after it failed and gave its tables
// back, the kernels have nothing to read: every mode refuses the line and
// leaves the planes alone.
TEST(SequenceGate, LinesWaitForACompleteSequence) {
    struct Case {
        const char* name;
        HalftoneParams params;
        bool separated;
    };
    HalftoneParams dither = test::singleInkParams();
    dither.method = 3;
    const Case cases[] = {{"Diffusion", test::singleInkParams(), false}, {"Dither", dither, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto line = [](HalftoneObject& o) {
            std::vector<uint8_t> src(64 * 4, 200), planes(8 * 64, 0x5A);
            const int32_t r =
                Halftone(o.context, src.data(), planes.data(), 64, 0, 16, 0, 1, 0, 0, 0);
            for (uint8_t b : planes) EXPECT_EQ(b, 0x5A);
            return r;
        };
        auto lut = [&] { return c.separated ? test::separationLut() : test::singleInkLut(); };
        HalftoneObject fresh(c.params, lut());
        ASSERT_EQ(fresh.created, INKDOT_OK);
        EXPECT_EQ(line(fresh), INKDOT_UNSUPPORTED);
        ASSERT_EQ(fresh.call(test::standardList()), INKDOT_OK);
        ASSERT_EQ(fresh.call(test::gridLevels(test::evenList(32))), INKDOT_OK);
        EXPECT_EQ(line(fresh), INKDOT_UNSUPPORTED);

        HalftoneObject failed(c.params, lut());
        ASSERT_EQ(failed.call(test::standardList()), INKDOT_OK);
        // Every allocation fails from here: the sequence fails and gives
        // its blocks back.
        test::failAll(MemOp::Allocate);
        int32_t result = INKDOT_OK;
        for (const Bytes& step : {test::gridLevels(test::evenList(32)), test::bayerMatrix(16)})
            if (result == INKDOT_OK) result = failed.call(step);
        test::resetMemory();
        EXPECT_EQ(result, INKDOT_ALLOC_FAILED);
        EXPECT_EQ(failed.context->sequenceState, kSequenceFailed);
        EXPECT_EQ(line(failed), INKDOT_UNSUPPORTED);
    }
}

// ---------------------------------------------------------------------------
// Fault injection over whole sequences

// One call of a lifecycle: its result, and the code that a lock failing
// inside it owes. Most calls answer a failed lock with INKDOT_LOCK_FAILED; a call that
// parses an index answers INKDOT_ALLOC_FAILED whichever operation of its scratch block
// failed.
struct Call {
    int32_t result;
    int32_t lockCode = INKDOT_LOCK_FAILED;
};

// One whole lifecycle: creation, the resource calls, deletion. Stops at the
// first call that fails (after which nothing more is asked of the object but
// its deletion) and returns every call in order.
using Lifecycle = std::function<std::vector<Call>()>;

// The deletion half of a sweep: a fresh object with its whole sequence, and
// its delete function.
struct Deletion {
    std::function<int32_t()> createAndRun;
    std::function<int32_t()> remove;
    // When the platform refuses to free one of the object's tables, the
    // colour-matching deletion stops there and keeps the block for a repeated
    // deletion; the halftone deletion frees every other block, forgets the
    // refused one and keeps only the object for the repeat.
    bool forgetsRefusedTable = false;
};

struct SweepTotals {
    int64_t faults = 0;
};
SweepTotals& totals() {
    static SweepTotals t;
    return t;
}

// Fails each allocation and each lock of the lifecycle in turn: the first
// failing call answers INKDOT_ALLOC_FAILED (or its lock code), every call before it
// answers as in a clean run, no freed block is touched and no block stays
// behind. Then, with the sequence clean, fails each unlock and each free of
// the deletion: INKDOT_UNLOCK_FAILED or INKDOT_FREE_FAILED, and a repeated deletion finishes the
// job.
void sweep(const std::string& name, const Lifecycle& run, const Deletion* deletion = nullptr) {
    SCOPED_TRACE(name);
    test::resetMemory();
    const int64_t base = test::liveBlocks();
    const int64_t dead = test::deadHandleUses();
    const std::vector<Call> clean = run();
    const test::MemCounts counts = test::memoryCounts();
    ASSERT_EQ(test::liveBlocks(), base);
    ASSERT_EQ(test::deadHandleUses(), dead);
    for (const Call& c : clean) ASSERT_EQ(c.result, INKDOT_OK) << "clean run";
    ASSERT_GT(counts.allocates, 0);

    for (const MemOp op : {MemOp::Allocate, MemOp::Lock}) {
        const int64_t calls = op == MemOp::Allocate ? counts.allocates : counts.locks;
        for (int64_t n = 1; n <= calls; ++n) {
            SCOPED_TRACE(testing::Message() << (op == MemOp::Allocate ? "allocation " : "lock ")
                                            << n << " of " << calls);
            test::resetMemory();
            test::failNth(op, n);
            const std::vector<Call> got = run();
            test::resetMemory();
            ++totals().faults;
            EXPECT_EQ(test::liveBlocks(), base);
            EXPECT_EQ(test::deadHandleUses(), dead);
            size_t first = 0;
            while (first < got.size() && got[first].result == INKDOT_OK) ++first;
            ASSERT_LT(first, got.size()) << "the fault went unreported";
            EXPECT_EQ(got[first].result,
                      op == MemOp::Allocate ? INKDOT_ALLOC_FAILED : got[first].lockCode);
            for (size_t i = 0; i < first; ++i) EXPECT_EQ(got[i].result, clean[i].result);
            // Only the deletion may follow the failure, and it succeeds.
            EXPECT_LE(got.size(), first + 2);
            if (got.size() == first + 2) {
                EXPECT_EQ(got.back().result, INKDOT_OK);
            }
        }
    }

    if (deletion == nullptr) return;
    for (const MemOp op : {MemOp::Unlock, MemOp::Free}) {
        // Count the unlocks or frees of the deletion alone.
        test::resetMemory();
        ASSERT_EQ(deletion->createAndRun(), INKDOT_OK);
        const test::MemCounts before = test::memoryCounts();
        ASSERT_EQ(deletion->remove(), INKDOT_OK);
        const test::MemCounts after = test::memoryCounts();
        const int64_t calls =
            op == MemOp::Unlock ? after.unlocks - before.unlocks : after.frees - before.frees;
        ASSERT_GT(calls, 0);
        for (int64_t n = 1; n <= calls; ++n) {
            SCOPED_TRACE(testing::Message()
                         << (op == MemOp::Unlock ? "unlock " : "free ") << n << " of " << calls);
            test::resetMemory();
            ASSERT_EQ(deletion->createAndRun(), INKDOT_OK);
            test::failNth(op, n);
            EXPECT_EQ(deletion->remove(),
                      op == MemOp::Unlock ? INKDOT_UNLOCK_FAILED : INKDOT_FREE_FAILED);
            test::resetMemory();
            ++totals().faults;
            // The object's own block goes last: once its free is refused
            // there is no object left to delete again. Otherwise the object
            // stays, and deleting it again gives back what it still holds.
            const bool ownBlockRefused = op == MemOp::Free && n == calls;
            if (!ownBlockRefused) {
                EXPECT_EQ(deletion->remove(), INKDOT_OK);
            }
            const bool refusedStays =
                op == MemOp::Free && (ownBlockRefused || deletion->forgetsRefusedTable);
            EXPECT_EQ(test::releaseRefusedBlocks(), refusedStays ? 1 : 0);
            EXPECT_EQ(test::liveBlocks(), base);
            EXPECT_EQ(test::deadHandleUses(), dead);
        }
    }
}

// The default pack, written once for the suite.
class FaultSweep : public test::DefaultPackTest {
protected:
    static void TearDownTestSuite() {
        DefaultPackTest::TearDownTestSuite();
        std::printf("[ faults  ] %lld injected faults exercised\n",
                    static_cast<long long>(totals().faults));
    }
};

struct CmEnding {
    const char* name;
    int media, quality, bits, inks;
    int tag, item;  // a tagged item, or 0
};

// The colour-matching object of a setting and its sequence to the end.
struct CmRun {
    CmParams params{};
    CmSelect select{};
    CmTagList tags{};
    CmContext* cm = nullptr;

    CmRun(const CmEnding& e, const Bytes* item) {
        params.numberC = e.inks;
        params.keyB = e.media;
        select.level = 2;
        select.pixelLayout = 1;
        select.numberA = e.quality;
        select.numberB = e.bits;
        select.numberD = 1;
        if (item != nullptr) {
            tags = CmTagList{1, {{e.tag, item->data()}}};
            params.tags = &tags;
        }
    }
    // Creation and every resource call; stops at the first failure. The
    // calls that take an index are resource 0 and the one asked for after
    // 990 (the curve stage's second index).
    std::vector<Call> sequence(const std::function<const Bytes&(int)>& resource) {
        std::vector<Call> calls;
        int32_t next = -5;
        calls.push_back({CmNew(&params, &select, 0, &next, &cm)});
        if (calls.back().result != INKDOT_OK) {
            cm = nullptr;
            return calls;
        }
        int32_t asked = -5;
        for (int guard = 0; next != INKDOT_NO_RESOURCE && guard < 8; ++guard) {
            const bool index = next == 0 || asked == 990;
            asked = next;
            calls.push_back({CmSetResource(cm, resource(next).data(), &next),
                             index ? INKDOT_ALLOC_FAILED : INKDOT_LOCK_FAILED});
            if (calls.back().result != INKDOT_OK) break;
        }
        return calls;
    }
};

TEST_F(FaultSweep, ColourMatchingWithEachEnding) {
    const CmEnding endings[] = {
        {"TableOnly", 0, 1, 1, 4, 0, 0},
        {"SixInkWithExtraBlock", 2, 4, 2, 6, 0, 0},
        {"CurveSet", 0, 2, 1, 4, INKDOT_TAG_CURVE_SET, 6001},
        {"CurveSetTable", 0, 2, 1, 4, INKDOT_TAG_CURVE_SET_TABLE, 6003},
        {"CurveSetTableInContainer", 2, 4, 2, 6, INKDOT_TAG_CURVE_SET_TABLE, 6004},
        {"CurveStage", 1, 3, 2, 4, INKDOT_TAG_CURVE_SELECTOR, 6012},
    };
    for (const CmEnding& e : endings) {
        const Bytes* item = e.item != 0 ? &resource(e.item) : nullptr;
        auto lifecycle = [&] {
            CmRun run(e, item);
            std::vector<Call> calls = run.sequence(&resource);
            if (run.cm != nullptr) calls.push_back({CmDelete(run.cm)});
            return calls;
        };
        CmRun kept(e, item);
        const Deletion deletion{[&]() -> int32_t {
                                    for (const Call& c : kept.sequence(&resource))
                                        if (c.result != INKDOT_OK) return c.result;
                                    return INKDOT_OK;
                                },
                                [&] { return CmDelete(kept.cm); }};
        sweep(e.name, lifecycle, &deletion);
    }
}

// The halftone sequences of every mode, from the pack's kind of resources.
// Two-bit objects carry an extra block: the record kind, whose sequence asks
// for level records in a fourth call, or the chain kind, whose third call
// computes them.
struct HalftoneCase {
    const char* name;
    HalftoneParams params;
    bool separated;
    std::vector<Bytes> steps;
    Bytes extra;
};

std::vector<HalftoneCase> halftoneCases() {
    std::vector<std::array<uint8_t, 3>> records;
    // Records whose three spans sum to at most 255, as a resource must.
    for (int r = 0; r < 512; ++r) records.push_back({uint8_t(r / 4), uint8_t(r / 8), 0});
    const std::vector<Bytes> standard = {test::standardList(), test::gridLevels(test::evenList(32)),
                                         test::bayerMatrix(16), test::levelRecordResource(records)};
    auto with = [](HalftoneParams p, int32_t method, int32_t bits, int32_t x, int32_t y,
                   int32_t pairFlag = 0, int32_t inputScale = 0) {
        p.method = method;
        p.outputBits = bits;
        p.xResolution = x;
        p.yResolution = y;
        p.pairFlag = pairFlag;
        p.inputScale = inputScale;
        return p;
    };
    const HalftoneParams one = test::singleInkParams();
    const HalftoneParams six = test::separatedParams();
    HalftoneParams byteOut = six;
    byteOut.outputBits = 8;
    const std::vector<Bytes> mode7 = {
        test::resourceList({10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}),
        test::gridLevels(test::evenList(32)), test::bayerMatrix(4)};
    const Bytes records300 = test::recordExtra(300), chain = test::chainExtra(2);
    return {
        {"Mode0DiffusionOneInk", with(one, 1, 1, 720, 720), false, standard, {}},
        {"Mode0DiffusionOneInkTwoBitRepeated", with(one, 1, 2, 1440, 720, 0, 2), false, standard,
         records300},
        {"Mode0DitherOneInk", with(one, 3, 1, 720, 720), false, standard, {}},
        {"Mode0DiffusionSixInks", with(six, 1, 2, 2880, 720), true, standard, records300},
        {"Mode0DitherSixInksTwoBit", with(six, 3, 2, 720, 720), true, standard, chain},
        {"Mode1", with(six, 1, 2, 360, 720, 1, -1), true, standard, records300},
        {"Mode3", with(one, 1, 2, 360, 720, 1, -1), false, standard, chain},
        {"Mode4", with(six, 1, 2, 360, 720), true, standard, chain},
        {"Mode6", with(one, 1, 2, 360, 720), false, standard, records300},
        {"Mode7ByteOutput", byteOut, true, mode7, {}},
    };
}

// Creation, every resource call and one line (which allocates nothing but
// must find its tables).
std::vector<Call> halftoneSequence(const HalftoneCase& c, HalftoneObject& o) {
    std::vector<Call> calls{{o.created}};
    if (o.created != INKDOT_OK) return calls;
    for (const Bytes& step : c.steps) {
        calls.push_back({o.call(step)});
        if (calls.back().result != INKDOT_OK || o.next == INKDOT_NO_RESOURCE) break;
    }
    if (calls.back().result != INKDOT_OK) return calls;
    // Two input pixels an output pixel at most, of at most four bytes.
    std::vector<uint8_t> src(32 * 2 * 4, 120), planes(8 * 256, 0);
    calls.push_back({Halftone(o.context, src.data(), planes.data(), 256, 0, 32, 0, 1, 0, 0, 0)});
    return calls;
}

TEST_F(FaultSweep, HalftoneInEachMode) {
    for (const HalftoneCase& c : halftoneCases()) {
        auto object = [&] {
            return std::make_unique<HalftoneObject>(
                c.params, c.separated ? test::separationLut() : test::singleInkLut(), c.extra);
        };
        auto lifecycle = [&] {
            const auto o = object();
            std::vector<Call> calls = halftoneSequence(c, *o);
            if (o->context != nullptr) calls.push_back({o->remove()});
            return calls;
        };
        // The kept object is deleted by the sweep alone, never by the fixture.
        std::unique_ptr<HalftoneObject> kept;
        HalftoneContext* keptContext = nullptr;
        const Deletion deletion{[&]() -> int32_t {
                                    kept = object();
                                    for (const Call& call : halftoneSequence(c, *kept))
                                        if (call.result != INKDOT_OK) return call.result;
                                    keptContext = std::exchange(kept->context, nullptr);
                                    return INKDOT_OK;
                                },
                                [&] { return HalftoneDelete(keptContext); }, true};
        sweep(c.name, lifecycle, &deletion);
    }
}

TEST_F(FaultSweep, TableImage) {
    for (const bool twoBit : {false, true}) {
        HalftoneParams params = test::separatedParams();
        params.outputBits = twoBit ? 2 : 1;
        test::LutWithGrid table = test::separationLut();
        table.lut.grid = table.grid.data();
        const Bytes& records = resource(5300);
        std::vector<uint8_t> image(1 << 16);
        HTableContext* kept = nullptr;
        auto sequence = [&](HTableContext*& h) {
            int32_t extra = 0, next = 0, length = 0;
            std::vector<Call> calls{{H_HalftoneNew(&params, &table.lut, 0, nullptr, &extra, &h)}};
            if (calls.back().result != INKDOT_OK) {
                h = nullptr;
                return calls;
            }
            calls.push_back({H_HalftoneGetTable(h, records.data(), &next, &length, image.data())});
            return calls;
        };
        auto lifecycle = [&] {
            HTableContext* h = nullptr;
            std::vector<Call> calls = sequence(h);
            if (h != nullptr) calls.push_back({H_HalftoneDelete(h)});
            return calls;
        };
        const Deletion deletion{[&] { return sequence(kept).back().result; },
                                [&] { return H_HalftoneDelete(kept); }};
        sweep(twoBit ? "TwoBit" : "OneBit", lifecycle, &deletion);
    }
}

// ---------------------------------------------------------------------------
// Long pages

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(NDEBUG)
#define INKDOT_SHORT_PAGES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define INKDOT_SHORT_PAGES 1
#endif
#endif

// The page: 100,000 lines of 1024 pixels in optimised builds, 2,000 lines of
// 256 pixels in the sanitizer and debug builds, which run the kernels some
// fifty times slower; INKDOT_LONG_PAGE_LINES sets the number of lines.
#ifdef INKDOT_SHORT_PAGES
constexpr int32_t kLongPageWidth = 256;
constexpr int32_t kLongPageLines = 2000;
#else
constexpr int32_t kLongPageWidth = 1024;
constexpr int32_t kLongPageLines = 100000;
#endif
constexpr int32_t kLongPageWindow = 256;
// A pixel's error stays within 512 either side, and the shares that reach
// one entry add up to at most 32 times it.
constexpr int32_t kLongPageErrorBound = 32 * 512;

// A page of lines for one diffusion kernel, through two objects fed the same
// lines in lockstep.
struct LongPageCase {
    const char* kernel;
    bool separated;
    int32_t bits, x, y, pairFlag, inputScale;
};

int32_t longPageLines() {
    int32_t lines = kLongPageLines;
    if (const char* text = std::getenv("INKDOT_LONG_PAGE_LINES")) lines = std::atoi(text);
    return std::max(lines, 2 * kLongPageWindow);
}

// The largest error entry, in magnitude, under the pixels of a line of
// `width`. Each error line holds pixel x at entry x + 30; the guard entries
// either side take shares that no pixel reads back, so they may wrap freely.
int32_t errorPeak(HalftoneContext& c, int32_t width) {
    int32_t peak = 0;
    for (int block = kErrorLineA; block <= kErrorLineC; ++block) {
        const auto* e = static_cast<const int16_t*>(c.blocks[size_t(block)].address);
        for (int32_t x = 0; e != nullptr && x < width; ++x)
            peak = std::max(peak, std::abs(int32_t{e[30 + x]}));
    }
    return peak;
}

// A whole page through every diffusion kernel, at the object's full width:
// the error lines stay bounded (the dots at the foot of the page cover as
// much as at its head, and no error entry grows past what one pixel spreads,
// so nothing piles up or wraps into a run of wrong dots), no block is added
// on the way, and two objects fed the same lines give the same dots on every
// line. The lines repeat every 32 with a ramp across them, so the head and
// the foot of the page see the same densities.
TEST(LongPage, EveryDiffusionKernel) {
    const LongPageCase cases[] = {
        {"Binary", false, 1, 720, 720, 0, 0},       {"Binary1440", false, 1, 1440, 720, 0, 0},
        {"Multi", false, 2, 720, 720, 0, 0},        {"Multi1440", false, 2, 1440, 720, 0, 0},
        {"Multi2880", false, 2, 2880, 720, 0, 0},   {"MultiModePairs", false, 2, 360, 720, 1, -1},
        {"MultiMode", false, 2, 360, 720, 0, 0},    {"BinarySep", true, 1, 720, 720, 0, 0},
        {"BinarySep360", true, 1, 720, 360, 0, 0},  {"BinarySep1440", true, 1, 1440, 720, 0, 0},
        {"MultiSep", true, 2, 720, 720, 0, 0},      {"MultiSep1440", true, 2, 1440, 720, 0, 0},
        {"MultiSep2880", true, 2, 2880, 720, 0, 0}, {"MultiSepModePairs", true, 2, 360, 720, 1, -1},
        {"MultiSepMode", true, 2, 360, 720, 0, 0},
    };
    const int32_t lines = longPageLines();
    for (const LongPageCase& c : cases) {
        SCOPED_TRACE(c.kernel);
        HalftoneParams params = c.separated ? test::separatedParams() : test::singleInkParams();
        params.outputBits = c.bits;
        params.xResolution = c.x;
        params.yResolution = c.y;
        params.pairFlag = c.pairFlag;
        params.inputScale = c.inputScale;
        params.maxPixels = kLongPageWidth;
        const Bytes extra = c.bits == 2 ? test::recordExtra(300) : Bytes{};
        auto lut = [&] { return c.separated ? test::separationLut() : test::singleInkLut(); };
        HalftoneObject a(params, lut(), extra), b(params, lut(), extra);
        ASSERT_EQ(a.runSequence(), INKDOT_OK);
        ASSERT_EQ(b.runSequence(), INKDOT_OK);
        const int64_t live = test::liveBlocks();

        // Input: pixels of 1 or 4 bytes, two of them an output pixel in the
        // pair modes; 32 different lines.
        const size_t pixelBytes = c.separated ? 4 : 1;
        const size_t inputPixels = size_t(kLongPageWidth) * (c.inputScale == -1 ? 2 : 1);
        std::vector<Bytes> page(32, Bytes(inputPixels * pixelBytes));
        for (size_t l = 0; l < page.size(); ++l)
            for (size_t i = 0; i < page[l].size(); ++i) {
                const size_t x = i / pixelBytes, channel = i % pixelBytes;
                // A ramp over the line, shifted per line and per channel;
                // black (channel 3) kept light so the inks still show.
                const size_t v = (x * 199 / inputPixels + 24 * l + 57 * channel) % 200 + 28;
                page[l][i] = uint8_t(channel == 3 ? v / 4 : v);
            }
        const int32_t stride = (kLongPageWidth * c.bits + 7) / 8;
        const size_t planeBytes = size_t(stride) * (c.separated ? 6 : 1);
        Bytes outA(planeBytes), outB(planeBytes);
        std::array<int64_t, 2> dots{};
        std::array<int32_t, 2> peaks{};
        for (int32_t line = 0; line < lines; ++line) {
            const uint8_t* src = page[size_t(line) % page.size()].data();
            const int32_t ra =
                Halftone(a.context, src, outA.data(), stride, 0, kLongPageWidth, 0, 1, line, 0, 0);
            const int32_t rb =
                Halftone(b.context, src, outB.data(), stride, 0, kLongPageWidth, 0, 1, line, 0, 0);
            if (ra != INKDOT_OK || rb != INKDOT_OK || outA != outB) {
                ADD_FAILURE() << "line " << line << ": " << ra << " " << rb
                              << (outA != outB ? ", the two objects differ" : "");
                break;
            }
            // Dots are counted over the head and the foot of the page; the
            // error lines are looked at on every 4th line there and every
            // 1024th in between.
            const int window = line < kLongPageWindow            ? 0
                               : line >= lines - kLongPageWindow ? 1
                                                                 : -1;
            if (window >= 0)
                for (uint8_t byte : outA) dots[size_t(window)] += std::popcount(byte);
            if ((window >= 0 && line % 4 == 0) || line % 1024 == 0) {
                int32_t& peak = peaks[window == 0 ? 0 : 1];
                peak = std::max(peak, errorPeak(*a.context, kLongPageWidth));
            }
        }
        EXPECT_EQ(test::liveBlocks(), live);
        EXPECT_GT(dots[0], 0);
        // Within 2 % between the head and the foot of the page.
        EXPECT_LE(std::llabs(dots[1] - dots[0]) * 50, dots[0]) << dots[0] << " " << dots[1];
        // Error entries hold errors times 32; an error that piled up would
        // grow along the page towards the 16-bit limit.
        EXPECT_LE(peaks[1], kLongPageErrorBound) << "head " << peaks[0];
        EXPECT_LE(peaks[1], 2 * peaks[0]) << "head " << peaks[0];
    }
}

}  // namespace
}  // namespace inkdot
