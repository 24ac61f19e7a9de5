// Movable global memory blocks, in which packed device-independent bitmaps and clipboard data
// travel between the system's parts.
#pragma once

#include <cstddef>
#include <cstdint>

// A handle to a block; it is not the block's address: GlobalLock gives that.
using HGLOBAL = void*;

enum : uint32_t {
    GMEM_FIXED = 0x0000,
    GMEM_MOVEABLE = 0x0002,
    GMEM_ZEROINIT = 0x0040,
    GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
    GPTR = GMEM_FIXED | GMEM_ZEROINIT
};

// A new block of Bytes bytes (zeroed with GMEM_ZEROINIT); nil when it cannot be had.
HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes);
// The block's first byte; every lock is matched by a GlobalUnlock. Nil for an unknown handle.
void* GlobalLock(HGLOBAL Memory);
// True while the block stays locked by earlier locks.
bool GlobalUnlock(HGLOBAL Memory);
// Frees the block; nil on success, the handle itself when it is not a live block.
HGLOBAL GlobalFree(HGLOBAL Memory);
// The block's size in bytes; 0 for an unknown handle.
size_t GlobalSize(HGLOBAL Memory);
