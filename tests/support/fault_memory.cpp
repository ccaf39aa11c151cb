// Counting, fault-injecting memory primitives for the test build. Blocks are
// real heap blocks with a header, like the portable primitives, so the
// sanitizers see every overrun and leak.
#include "support/fault_memory.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_set>
#include <vector>

#include "platform/global_memory.h"

#if defined(__SANITIZE_ADDRESS__)
#define INKDOT_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define INKDOT_TEST_ASAN 1
#endif
#endif
#ifdef INKDOT_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace inkdot::test {
namespace {

struct alignas(16) Header {
    uint32_t magic;
    uint32_t bytes;
    int32_t lockCount;
};
constexpr uint32_t kMagic = 0x54455354;  // "TEST"
constexpr uint8_t kFreedFill = 0xDD;
// Freed bytes held back before the oldest freed block is checked and really
// freed: enough for every block of a few whole objects.
constexpr size_t kHeldBackBytes = size_t{32} << 20;

struct State {
    MemCounts counts{};
    int64_t failAt[4]{};  // 1-based call number that fails, 0 = never
    int64_t calls[4]{};   // calls since the fault was armed
    bool failEvery[4]{};
};

// What outlives resetMemory: the blocks themselves.
struct Blocks {
    std::unordered_set<const void*> live;
    std::deque<Header*> freed;  // oldest first
    size_t freedBytes = 0;
    int64_t deadUses = 0;
    uint8_t garbage = 0xA5;
    // Blocks whose free was made to fail. Kept reachable here so the leak
    // checker reports only real leaks, not the ones a test asked for.
    std::unordered_set<void*> keptByFailedFree;
};

State& state() {
    static State s;
    return s;
}

// Never destroyed: the leak checker runs after static destructors, and must
// still find the blocks held here reachable.
Blocks& blocks() {
    static Blocks* b = new Blocks;
    return *b;
}

bool shouldFail(MemOp op) {
    State& s = state();
    auto i = static_cast<int>(op);
    if (s.failEvery[i]) return true;
    if (s.failAt[i] == 0) return false;
    return ++s.calls[i] == s.failAt[i];
}

// The live block a handle names, or null (counted as a dead-handle use).
Header* live(void* handle) {
    if (blocks().live.count(handle) != 0) return static_cast<Header*>(handle);
    ++blocks().deadUses;
    return nullptr;
}

// Checks that nothing wrote to a freed block, then gives it back to the heap.
void dispose(Header* h) {
    auto* bytes = reinterpret_cast<uint8_t*>(h + 1);
#ifdef INKDOT_TEST_ASAN
    ASAN_UNPOISON_MEMORY_REGION(bytes, h->bytes);
#endif
    // Every byte equals the fill when the first does and each equals the next.
    const bool intact = h->bytes == 0 || (bytes[0] == kFreedFill &&
                                          std::memcmp(bytes, bytes + 1, h->bytes - 1) == 0);
    if (!intact) ++blocks().deadUses;
    blocks().freedBytes -= h->bytes;
    std::free(h);
}

void holdBack(Header* h) {
    Blocks& b = blocks();
    h->magic = 0;
    std::memset(h + 1, kFreedFill, h->bytes);
#ifdef INKDOT_TEST_ASAN
    ASAN_POISON_MEMORY_REGION(h + 1, h->bytes);
#endif
    b.freed.push_back(h);
    b.freedBytes += h->bytes;
    while (b.freedBytes > kHeldBackBytes && !b.freed.empty()) {
        Header* oldest = b.freed.front();
        b.freed.pop_front();
        dispose(oldest);
    }
}

// The fill of the next block allocated without zero-fill: never zero.
uint8_t garbage() {
    uint8_t& g = blocks().garbage;
    g = static_cast<uint8_t>(g + 0x3D);
    if (g == 0) g = 0xA5;
    return g;
}

// Takes a live block out of the count and holds it back as freed.
void forget(Header* h) {
    blocks().live.erase(h);
    blocks().keptByFailedFree.erase(h);
    --state().counts.live;
    holdBack(h);
}

}  // namespace

void resetMemory() {
    const int64_t liveNow = state().counts.live;
    state() = State{};
    state().counts.live = liveNow;
}

MemCounts memoryCounts() {
    return state().counts;
}

void failNth(MemOp op, int64_t n) {
    auto i = static_cast<int>(op);
    state().failAt[i] = n;
    state().calls[i] = 0;
}

void failAll(MemOp op) {
    state().failEvery[static_cast<int>(op)] = true;
}

int64_t liveBlocks() {
    return state().counts.live;
}

int64_t deadHandleUses() {
    Blocks& b = blocks();
    while (!b.freed.empty()) {
        Header* oldest = b.freed.front();
        b.freed.pop_front();
        dispose(oldest);
    }
    return b.deadUses;
}

int64_t releaseRefusedBlocks() {
    Blocks& b = blocks();
    std::vector<Header*> refused;
    for (void* handle : b.keptByFailedFree)
        if (b.live.count(handle) != 0) refused.push_back(static_cast<Header*>(handle));
    b.keptByFailedFree.clear();
    for (Header* h : refused) forget(h);
    return static_cast<int64_t>(refused.size());
}

}  // namespace inkdot::test

namespace inkdot::platform {

using test::MemOp;

Handle allocate(uint32_t bytes, bool zeroFill) {
    if (test::shouldFail(MemOp::Allocate)) return nullptr;
    auto* h = static_cast<test::Header*>(std::malloc(sizeof(test::Header) + bytes));
    if (h == nullptr) return nullptr;
    h->magic = test::kMagic;
    h->bytes = bytes;
    h->lockCount = 0;
    // Without the zero-fill flag the bytes are deliberately not zero, and
    // differ from block to block, so code that relies on zeroes it did not
    // ask for fails its tests, and two objects fed the same input part ways
    // when either reads bytes it never wrote.
    std::memset(h + 1, zeroFill ? 0 : test::garbage(), bytes);
    test::blocks().live.insert(h);
    ++test::state().counts.allocates;
    ++test::state().counts.live;
    return h;
}

void* lock(Handle handle) {
    test::Header* h = test::live(handle);
    if (test::shouldFail(MemOp::Lock) || h == nullptr) return nullptr;
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
    test::Header* h = test::live(handle);
    if (test::shouldFail(MemOp::Free)) {
        test::blocks().keptByFailedFree.insert(handle);
        return handle;
    }
    if (h == nullptr) return handle;
    test::forget(h);
    ++test::state().counts.frees;
    return nullptr;
}

}  // namespace inkdot::platform
