// The picture a drag shows under the mouse, as the shell's drag-source helper keeps it: in the
// dragged data object itself, under the format "DragImageBits", where DoDragDrop takes it for
// the desktop's drag pixmap and hot spot.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/ui/Ole.h"

#include <vector>

// A drag image as the helper receives it: the size to show, the mouse's point in the image,
// the bitmap (read at once; the caller keeps it) and the colour shown transparent.
struct SHDRAGIMAGE {
    SIZE sizeDragImage{};
    POINT ptOffset{};
    HBITMAP hbmpDragImage = nullptr;
    COLORREF crColorKey = 0;
};

// A drag image as the drag shows it: top-down 0xAARRGGBB pixels, the key colour's pixels
// transparent, the others opaque, and the hot spot (the mouse's point in the image).
struct TDragImage {
    int32_t Width = 0;
    int32_t Height = 0;
    POINT HotSpot{};
    std::vector<uint32_t> Pixels;
};

// The helper's InitializeFromBitmap: the bitmap's pixels, cut to the record's size, go into Data
// as "DragImageBits" (SetData, the block handed over). E_INVALIDARG without a record, a bitmap
// or a data object, or for an empty size; E_OUTOFMEMORY when the block cannot be had; otherwise
// the result of Data's SetData.
HRESULT InitializeDragImage(const SHDRAGIMAGE* Image, IDataObject* Data);
// The drag image Data holds; false when it holds none or a block of another size than its
// header says.
bool GetDragImage(IDataObject* Data, TDragImage& Image);
