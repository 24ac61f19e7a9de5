// The library's memory blocks and temporary file names.
#pragma once

#include "platform/rtl/System.h"

#include <cstddef>

// Zero-filled memory; nil when it cannot be had. Freed with FreeGlobal.
void* AllocGlobalZeroed(size_t Bytes);
void FreeGlobal(void*& P);

// A block from the heap (below 1 MiB) or from zero-filled memory (1 MiB and more, or when the
// heap is exhausted); the route is recorded in a header in front of the block, which keeps the
// block aligned for any type. nil when no memory can be had. Freed with FreeBlock.
void* AllocBlock(size_t Size);
void FreeBlock(void*& P);

// Heap allocation that leaves P nil instead of raising when memory is exhausted (free with
// std::free).
void TryGetMem(void*& P, size_t Size);

// Folder + Prefix + "-" + 8 upper-case hexadecimal digits + ".tmp", a name that does not exist
// yet; a separator is added after a folder that lacks one.
String MakeTempFileName(const String& Prefix, const String& Folder);
