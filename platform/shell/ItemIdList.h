// Item-ID lists: the shell's names of files and folders. Here an item is one component of a
// file path: a 16-bit little-endian size (the two size bytes included) followed by the
// component's UTF-16 units; a list is its items back to back, ended by a zero size. The absolute
// list of a path starts below the root folder "/", which itself is the empty list.
#pragma once

#include "platform/ui/Ole.h"

struct SHITEMID {
    uint16_t cb;
    uint8_t abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};

// Bytes of the list, terminator included; 0 for nil.
uint32_t ILGetSize(const ITEMIDLIST* pidl);
// Lists live in the task allocator.
void ILFree(ITEMIDLIST* pidl);
ITEMIDLIST* ILClone(const ITEMIDLIST* pidl);
// The part of Child below Parent (a pointer into Child) when Parent's items begin Child; nil
// otherwise.
const ITEMIDLIST* ILFindChild(const ITEMIDLIST* Parent, const ITEMIDLIST* Child);

// The absolute list of an existing file or folder, given by its absolute path. E_INVALIDARG for
// a relative path or one with "." or ".." components, E_FAIL when nothing exists there,
// E_OUTOFMEMORY when the list cannot be allocated; *ppidl is nil on failure.
HRESULT SHParseDisplayName(const String& Path, ITEMIDLIST** ppidl);
