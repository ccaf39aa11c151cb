// Counting, fault-injecting memory primitives for the test build. Blocks are
// real heap blocks with a header, like the portable primitives, so the
// sanitizers see every overrun and leak.
#include "support/fault_memory.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/global_memory.h"

namespace inkdot::test {
namespace {

struct alignas(16) Header {
    uint32_t magic;
    uint32_t bytes;
    int32_t lockCount;
};
constexpr uint32_t kMagic = 0x54455354; // "TEST"

struct State {
    MemCounts counts{};
    int64_t failAt[4]{};   // 1-based call number that fails, 0 = never
    int64_t calls[4]{};    // calls since the fault was armed
    bool failEvery[4]{};
    // Blocks whose free was made to fail. Kept reachable here so the leak
    // checker reports only real leaks, not the ones a test asked for.
    std::vector<void*> keptByFailedFree;
};

State& state() {
    static State s;
    return s;
}

bool shouldFail(MemOp op) {
    State& s = state();
    auto i = static_cast<int>(op);
    if (s.failEvery[i]) return true;
    if (s.failAt[i] == 0) return false;
    return ++s.calls[i] == s.failAt[i];
}

Header* live(void* handle) {
    auto* h = static_cast<Header*>(handle);
    return h != nullptr && h->magic == kMagic ? h : nullptr;
}

} // namespace

void resetMemory() {
    int64_t liveNow = state().counts.live;
    std::vector<void*> kept = std::move(state().keptByFailedFree);
    state() = State{};
    state().counts.live = liveNow;
    state().keptByFailedFree = std::move(kept);
}

MemCounts memoryCounts() { return state().counts; }

void failNth(MemOp op, int64_t n) {
    auto i = static_cast<int>(op);
    state().failAt[i] = n;
    state().calls[i] = 0;
}

void failAll(MemOp op) { state().failEvery[static_cast<int>(op)] = true; }

int64_t liveBlocks() { return state().counts.live; }

} // namespace inkdot::test

namespace inkdot::platform {

using test::MemOp;

Handle allocate(uint32_t bytes, bool zeroFill) {
    if (test::shouldFail(MemOp::Allocate)) return nullptr;
    auto* h = static_cast<test::Header*>(std::malloc(sizeof(test::Header) + bytes));
    if (h == nullptr) return nullptr;
    h->magic = test::kMagic;
    h->bytes = bytes;
    h->lockCount = 0;
    // Without the zero-fill flag the bytes are deliberately not zero, so code
    // that relies on zeroes it did not ask for fails its tests.
    std::memset(h + 1, zeroFill ? 0 : 0xA5, bytes);
    ++test::state().counts.allocates;
    ++test::state().counts.live;
    return h;
}

void* lock(Handle handle) {
    if (test::shouldFail(MemOp::Lock)) return nullptr;
    test::Header* h = test::live(handle);
    if (h == nullptr) return nullptr;
    ++h->lockCount;
    ++test::state().counts.locks;
    return h + 1;
}

int32_t unlock(Handle handle) {
    test::Header* h = test::live(handle);
    if (test::shouldFail(MemOp::Unlock)) return 1;
    if (h == nullptr || h->lockCount == 0) return 0;
    ++test::state().counts.unlocks;
    return --h->lockCount;
}

Handle release(Handle handle) {
    if (test::shouldFail(MemOp::Free)) {
        test::state().keptByFailedFree.push_back(handle);
        return handle;
    }
    test::Header* h = test::live(handle);
    if (h == nullptr) return handle;
    h->magic = 0;
    std::free(h);
    ++test::state().counts.frees;
    --test::state().counts.live;
    return nullptr;
}

} // namespace inkdot::platform
