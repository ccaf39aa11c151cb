// Global-memory primitives over the Win32 heap functions of the same role.
#include "platform/global_memory.h"

#include <windows.h>

namespace inkdot::platform {

Handle allocate(uint32_t bytes, bool zeroFill) {
    return GlobalAlloc(zeroFill ? GHND : GMEM_MOVEABLE, bytes);
}

void* lock(Handle handle) {
    return GlobalLock(handle);
}

int32_t unlock(Handle handle) {
    return GlobalUnlock(handle);
}

Handle release(Handle handle) {
    return GlobalFree(handle);
}

}  // namespace inkdot::platform
