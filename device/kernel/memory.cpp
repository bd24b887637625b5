// The local heap: host memory, with allocation failures that tests can choose.
#include "platform/winmem.h"

#include "device/core/faults.h"

#include <cstdlib>
#include <cstring>

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
    if (device::faultHit("LocalAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (flags & LMEM_ZEROINIT) std::memset(block, 0, bytes);
    return block;
}

HLOCAL LocalFree(HLOCAL block) {
    std::free(block);
    return nullptr;
}
