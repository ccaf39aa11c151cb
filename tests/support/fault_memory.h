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

// Uses of dead handles since the program started: a lock, unlock or free of
// a handle that names no live block, and every freed block found written
// after its free. Freed blocks are held back, filled with a pattern, for a
// while (poisoned under the address sanitizer, which then reports the access
// itself); this call checks and really frees all of them.
int64_t deadHandleUses();

// Frees every block whose free was made to fail and that nothing has freed
// since; returns how many there were.
int64_t releaseRefusedBlocks();

}  // namespace inkdot::test
