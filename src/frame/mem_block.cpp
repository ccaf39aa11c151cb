#include "frame/mem_block.h"

#include "inkdot/inkdot.h"

namespace inkdot {

int32_t allocateLocked(uint32_t bytes, bool zeroFill, platform::Handle& handle, void*& address) {
    platform::Handle fresh = platform::allocate(bytes, zeroFill);
    if (fresh == nullptr) return INKDOT_ALLOC_FAILED;
    void* locked = platform::lock(fresh);
    if (locked == nullptr) {
        platform::release(fresh);
        return INKDOT_LOCK_FAILED;
    }
    handle = fresh;
    address = locked;
    return INKDOT_OK;
}

int32_t unlockAndFree(platform::Handle handle) {
    if (platform::unlock(handle) != 0) return INKDOT_UNLOCK_FAILED;
    if (platform::release(handle) != nullptr) return INKDOT_FREE_FAILED;
    return INKDOT_OK;
}

int32_t allocateBlock(MemBlock& block, uint32_t bytes, bool zeroFill) {
    block.handle = platform::allocate(bytes, zeroFill);
    if (block.handle == nullptr) return INKDOT_ALLOC_FAILED;
    block.address = platform::lock(block.handle);
    if (block.address == nullptr) {
        platform::release(block.handle);
        block.handle = nullptr;
        return INKDOT_LOCK_FAILED;
    }
    block.size = static_cast<int32_t>(bytes);
    return INKDOT_OK;
}

void setView(MemBlock& block, void* address, platform::Handle handle, int32_t size) {
    block.address = address;
    block.handle = handle;
    block.size = size;
}

void clearTable(BlockTable& table) {
    for (MemBlock& block : table) block = MemBlock{};
}

int32_t unlockAll(BlockTable& table) {
    for (MemBlock& block : table) {
        if (block.handle == nullptr || block.address == nullptr) continue;
        if (platform::unlock(block.handle) != 0) return INKDOT_UNLOCK_FAILED;
        block.address = nullptr;
    }
    return INKDOT_OK;
}

int32_t releaseAll(BlockTable& table) {
    if (unlockAll(table) != INKDOT_OK) return INKDOT_UNLOCK_FAILED;
    int32_t result = INKDOT_OK;
    for (MemBlock& block : table) {
        if (block.handle == nullptr) continue;
        if (platform::release(block.handle) != nullptr) result = INKDOT_FREE_FAILED;
        block.handle = nullptr;
    }
    return result;
}

}  // namespace inkdot
