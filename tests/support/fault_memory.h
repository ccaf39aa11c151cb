// Test control of the counting, fault-injecting memory primitives.
//
// The test build of the library links these primitives instead of the
// platform's: they count live blocks and can fail the n-th call of any of
// the four operations, so every error path of every creation and resource
// call can be driven and checked to leave nothing behind.
#pragma once

#include <cstdint>

namespace inkdot::test {

enum class MemOp { Allocate, Lock, Unlock, Free };

struct MemCounts {
    int64_t allocates;
    int64_t locks;
    int64_t unlocks;
    int64_t frees;
    int64_t live;  // allocated and not yet freed
};

// Resets the counters and disarms every fault.
void resetMemory();
MemCounts memoryCounts();

// The n-th call (1-based, counted from now) of `op` fails; 0 disarms.
void failNth(MemOp op, int64_t n);

// Blocks still allocated; a clean object lifecycle leaves 0.
int64_t liveBlocks();

// Fails every operation of the given kind from now on (until reset).
void failAll(MemOp op);

} // namespace inkdot::test
