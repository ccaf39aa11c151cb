// The four global-memory primitives every owned buffer goes through.
//
// Blocks are movable: a handle names the block, and lock gives its address.
// The library locks every block right after allocating it and keeps it
// locked until the owning object is deleted. Three implementations exist:
// Win32 global memory, a portable one for every other target, and a
// counting, fault-injecting one that the tests link instead.
#pragma once

#include <cstdint>

namespace inkdot::platform {

using Handle = void*;

// A movable block of `bytes` bytes, zero-filled when asked; null on failure.
Handle allocate(uint32_t bytes, bool zeroFill);

// The block's address, or null on failure.
void* lock(Handle handle);

// The platform's answer: zero means the block is no longer locked (success).
int32_t unlock(Handle handle);

// The platform's answer: null means the block was freed (success).
Handle release(Handle handle);

}  // namespace inkdot::platform
