// Memory from the platform's local heap.
#pragma once

#include "wintypes.h"

typedef void* HLOCAL;

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// RETURNS `bytes` bytes (zero-filled with LMEM_ZEROINIT), or null when the heap cannot
// provide them (last error ERROR_NOT_ENOUGH_MEMORY).
HLOCAL WINAPI LocalAlloc(UINT flags, size_t bytes);

// Releases a block from LocalAlloc; null is allowed. RETURNS null on success.
HLOCAL WINAPI LocalFree(HLOCAL block);
