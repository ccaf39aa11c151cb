// Owned and borrowed buffers, and the table of twenty the halftone object keeps.
#pragma once

#include <array>
#include <cstdint>

#include "platform/global_memory.h"

namespace inkdot {

// One buffer: an owned, locked block (handle set) or a view into another
// block (handle null). Views are never unlocked or freed by themselves.
struct MemBlock {
    int32_t size;
    void* address;
    platform::Handle handle;
};

inline constexpr int kBlockTableSize = 20;
using BlockTable = std::array<MemBlock, kBlockTableSize>;

// Allocates and locks a block. A failed lock frees the fresh handle, so the
// block is left empty either way: INKDOT_ALLOC_FAILED (allocate) or INKDOT_LOCK_FAILED (lock).
int32_t allocateBlock(MemBlock& block, uint32_t bytes, bool zeroFill);

// Describes a sub-range of an allocated block (or any buffer) without owning it.
void setView(MemBlock& block, void* address, platform::Handle handle, int32_t size);

void clearTable(BlockTable& table);

// Unlocks records 0..19 in order; stops at the first failure with INKDOT_UNLOCK_FAILED.
int32_t unlockAll(BlockTable& table);

// Unlocks all, then frees every owned record. A failed free is remembered
// (INKDOT_FREE_FAILED) but the later records are still freed so one failure leaks nothing else.
int32_t releaseAll(BlockTable& table);

// Allocates and locks an object's own block: on a lock failure the handle is
// freed again. Returns 0, INKDOT_ALLOC_FAILED or INKDOT_LOCK_FAILED; `handle` and `address` are set
// only on 0.
int32_t allocateLocked(uint32_t bytes, bool zeroFill, platform::Handle& handle, void*& address);

// Unlocks and frees one owned block: 0, INKDOT_UNLOCK_FAILED or INKDOT_FREE_FAILED.
int32_t unlockAndFree(platform::Handle handle);

}  // namespace inkdot
