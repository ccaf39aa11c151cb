// The register-holding error walk and the marker-bit slot packer of the
// one-ink kernels against the plain in-memory forms they replace.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "kernels/diffusion.h"
#include "support/error_span.h"

namespace inkdot {
namespace {

using kernels::EntrySpan;
using kernels::ErrorWalk;

// One pixel's step on either form of the walk: `action` 0..5 diffuses `error`
// by one of a spread of patterns (narrow to the widest, with parity), 6
// passes the carry on, 7 drops the entry and the carry.
template <class Line>
void step(Line& line, int action, int32_t error, uint32_t oddMask) {
    switch (action) {
        case 0: return kernels::diffuseOn<kernels::kM1>(line, error, oddMask);
        case 1: return kernels::diffuseOn<kernels::kA0>(line, error, oddMask);
        case 2: return kernels::diffuseOn<kernels::kB0>(line, error, oddMask);
        case 3: return kernels::diffuseOn<kernels::kA2>(line, error, oddMask);
        case 4: return kernels::diffuseOn<kernels::kA5>(line, error, oddMask);
        case 5: return kernels::diffuseOn<kernels::kB5>(line, error, oddMask);
        case 6: return line.passCarry();
        default: return line.clearOwn();
    }
}

// The in-memory reference: EntrySpan with its own carry, and the blank rules
// written out as the kernels state them.
struct MemoryLine {
    uint16_t* own;
    uint16_t carry = 0;

    template <int Offset>
    void add(uint32_t share) {
        EntrySpan{own, carry}.add<Offset>(share);
    }
    void writeOwn(uint32_t share) { EntrySpan{own, carry}.writeOwn(share); }
    void holdBack(uint32_t share) { EntrySpan{own, carry}.holdBack(share); }
    void passCarry() { kernels::passCarry(own, carry); }
    void clearOwn() {
        *own = 0;
        carry = 0;
    }
};

TEST(ErrorWalk, LeavesTheLineAsAdditionsInMemoryDo) {
    std::mt19937 random(7);
    constexpr int32_t kPixels = 96;
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<int16_t> start(size_t(kPixels + 2 * kernels::kErrorLineGuard));
        for (int16_t& e : start) e = int16_t(random());
        std::vector<int16_t> walked = start, reference = start;
        const int32_t x0 = int32_t(random() % 40), count = int32_t(random() % 50);

        ErrorWalk walk(walked.data(), x0);
        MemoryLine memory{kernels::errorEntry(reference.data(), x0)};
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(walk.collected(), kernels::signedEntry(memory.own)) << trial << " " << i;
            const int action = int(random() % 8);
            // Errors reach past 16 bits in both directions, so additions wrap.
            const int32_t error = int32_t(random() % 80000) - 40000;
            const uint32_t oddMask = random() % 2 ? ~0u : 0u;
            step(walk, action, error, oddMask);
            step(memory, action, error, oddMask);
            walk.advance();
            ++memory.own;
        }
        walk.finish();
        ASSERT_EQ(walked, reference) << "trial " << trial;
    }
}

TEST(SlotPacker, PacksAsTheMaskPackerAtEveryOffset) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int32_t count = int32_t(random() % 40);
        std::vector<uint8_t> before(16);
        for (uint8_t& b : before) b = uint8_t(random());
        std::vector<uint32_t> slots(static_cast<size_t>(count));
        for (uint32_t& s : slots) s = uint32_t(random());

        for (int32_t offset = 0; offset < 8; ++offset) {
            std::vector<uint8_t> one = before, oneRef = before;
            kernels::SlotPacker<1> p1(one.data(), offset);
            kernels::DotPacker<1> r1(oneRef.data(), 0, offset);
            for (uint32_t s : slots) {
                p1.put(s & 1);
                r1.mark(0, kernels::dotCode((s & 1) != 0));
                r1.next();
            }
            p1.finish();
            r1.finish();
            ASSERT_EQ(one, oneRef) << "one bit, trial " << trial << " offset " << offset;
            if (offset >= 4) continue;

            std::vector<uint8_t> two = before, twoRef = before;
            kernels::SlotPacker<2> p2(two.data(), offset);
            kernels::DotPacker<2> r2(twoRef.data(), 0, offset);
            for (uint32_t s : slots) {
                p2.put(s & 3);
                r2.mark(0, (s & 3) * 0x55u);
                r2.next();
            }
            p2.finish();
            r2.finish();
            ASSERT_EQ(two, twoRef) << "two bits, trial " << trial << " offset " << offset;
        }
    }
}

}  // namespace
}  // namespace inkdot
