// The shell's file-list block (CF_HDROP): a DROPFILES header and zero-terminated names ended by
// an empty one. Blocks come from other programs, so reading checks every offset against the
// block's size.
#pragma once

#include "platform/gfx/GlobalMemory.h"
#include "platform/rtl/System.h"
#include "platform/rtl/Types.h"

#include <cstddef>
#include <vector>

// All fields little-endian 32-bit; pFiles is the offset of the first name, fWide 1 for UTF-16
// names (anything else: single-byte names in the system code page, Latin-1 here).
struct DROPFILES {
    uint32_t pFiles = 0;
    POINT pt;
    int32_t fNC = 0;
    int32_t fWide = 0;
};
static_assert(sizeof(DROPFILES) == 20);

// A moveable zero-filled block of UTF-16 names after a header with pFiles 20 and fWide 1; nil
// when it cannot be allocated.
HGLOBAL MakeDropFilesBlock(const std::vector<String>& Names);

// The names of a file-list block of Size bytes. A pFiles before the header's end or outside the
// block gives no names, a name cut off by the block's end is dropped. Empty when nothing was
// read.
std::vector<String> ReadDropFiles(const void* Block, size_t Size);
// The same for a handle.
std::vector<String> ReadDropFilesHandle(HGLOBAL Block);

// Zero-terminated names from the start of Bytes, up to the first empty name or the end of the
// block; a name cut off by the end is dropped. Wide: UTF-16 units, else single bytes (Latin-1).
std::vector<String> ReadNameSequence(const uint8_t* Bytes, size_t Size, bool Wide);
