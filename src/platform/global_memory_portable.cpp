// Global-memory primitives for targets without Win32 global memory.
//
// Each block carries a small header in front of its bytes, so a handle (the
// header) and the locked address (the bytes) are distinct values, as they
// are on Windows, and a mix-up between the two shows up in tests instead of
// working by accident. The lock count follows the Win32 rules: unlock
// answers the count left, so zero means success.
#include "platform/global_memory.h"

#include <cstdlib>
#include <cstring>

namespace inkdot::platform {
namespace {

struct alignas(16) BlockHeader {
    uint32_t magic;
    uint32_t bytes;
    int32_t lockCount;
};

constexpr uint32_t kLiveMagic = 0x494E4B44;  // "INKD"

BlockHeader* header(Handle handle) {
    auto* block = static_cast<BlockHeader*>(handle);
    return block != nullptr && block->magic == kLiveMagic ? block : nullptr;
}

}  // namespace

Handle allocate(uint32_t bytes, bool zeroFill) {
    void* raw = std::malloc(sizeof(BlockHeader) + bytes);
    if (raw == nullptr) return nullptr;
    auto* block = static_cast<BlockHeader*>(raw);
    block->magic = kLiveMagic;
    block->bytes = bytes;
    block->lockCount = 0;
    if (zeroFill) std::memset(block + 1, 0, bytes);
    return block;
}

void* lock(Handle handle) {
    BlockHeader* block = header(handle);
    if (block == nullptr) return nullptr;
    ++block->lockCount;
    return block + 1;
}

int32_t unlock(Handle handle) {
    BlockHeader* block = header(handle);
    if (block == nullptr || block->lockCount == 0) return 0;
    return --block->lockCount;
}

Handle release(Handle handle) {
    BlockHeader* block = header(handle);
    if (block == nullptr) return handle;
    block->magic = 0;
    std::free(block);
    return nullptr;
}

}  // namespace inkdot::platform
