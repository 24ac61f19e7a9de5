// Icon handles and the reading of a bitmap's rows as a device-independent bitmap. An icon is our
// own registered object holding a colour DIB section (32 bits, alpha in the fourth byte) and a
// 1-bit mask (1 = transparent); a handle that is not a live icon makes the calls fail.
#pragma once

#include "platform/gfx/Gdi.h"

class TGdiIcon;
using HICON = TGdiIcon*;

struct ICONINFO {
    bool fIcon = true;
    uint32_t xHotspot = 0;
    uint32_t yHotspot = 0;
    HBITMAP hbmMask = nullptr;
    HBITMAP hbmColor = nullptr;
};

// An icon of copies of the info's bitmaps: the colour bitmap's pixels (with their fourth byte)
// and the mask's bits, both of the colour bitmap's size. Without a colour bitmap the mask holds
// both halves, AND over XOR, as a monochrome icon does. nil when a bitmap is missing or invalid
// or the sizes do not fit.
HICON CreateIconIndirect(const ICONINFO* Info);
// Fills Info with new bitmaps the caller deletes: a 32-bit DIB section of the colour pixels and
// a 1-bit mask. False for a handle that is not a live icon.
bool GetIconInfo(HICON Icon, ICONINFO* Info);
bool DestroyIcon(HICON Icon);

// Copies rows Start to Start + Lines - 1 (counted from the bottom, as a bottom-up DIB stores
// them) of Bitmap into Bits in the layout Info asks for: 1, 24 or 32 bits, BI_RGB, bottom-up for
// a positive height and top-down for a negative one; the header's image size is filled in. A
// 1-bit layout gets the table black, white after the header; a 1-bit bitmap keeps its bits, other
// pixels are set when they are light. 32 bits keep the fourth byte of 32-bit pixels. With nil
// Bits only the header and table are filled. Returns the rows copied, 0 on failure; Dc may be
// nil or any live context.
int32_t GetDIBits(HDC Dc, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits,
                  BITMAPINFO* Info, uint32_t Usage);
