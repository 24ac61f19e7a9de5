// The video-for-windows DrawDib calls the library's screen copies use, as our own nearest-pixel
// blit of a packed DIB onto a device context.
#pragma once

#include "platform/gfx/Gdi.h"

struct TDrawDibState;
using HDRAWDIB = TDrawDibState*;

// Flags of DrawDibDraw; none changes the result here (there is no palette to realise and no
// decompressor to prime).
enum : uint32_t { DDF_SAME_HDC = 0x0004, DDF_BACKGROUNDPAL = 0x0200, DDF_HALFTONE = 0x1000 };

// A new drawing handle; free it with DrawDibClose.
HDRAWDIB DrawDibOpen();
bool DrawDibClose(HDRAWDIB Handle);
// Realises the handle's palette on Dc: true-colour surfaces have none, so no colour changes (0).
uint32_t DrawDibRealize(HDRAWDIB Handle, HDC Dc, bool Background);
// Stretches the source rectangle of the DIB (Header and its colour table, Bits its rows) into the
// destination rectangle, nearest pixel. Source coordinates count from the picture's top row
// whatever the DIB's row order; a destination width or height of -1 takes the source's, a source
// width or height of -1 the whole DIB's. False for an unknown handle or a DIB it cannot draw.
bool DrawDibDraw(HDRAWDIB Handle, HDC Dc, int32_t XDst, int32_t YDst, int32_t DxDst, int32_t DyDst,
                 const BITMAPINFOHEADER* Header, const void* Bits, int32_t XSrc, int32_t YSrc,
                 int32_t DxSrc, int32_t DySrc, uint32_t Flags);
