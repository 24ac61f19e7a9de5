// Conversion of packed device-independent bitmaps and YUV video frames into the library's
// bitmaps. A packed DIB is a BITMAPINFOHEADER (biSize bytes), then the colour table (biClrUsed
// entries, or 2^bits, for 1, 4 and 8 bits) or, with BI_BITFIELDS and a 40-byte header, three
// 32-bit channel masks, then the rows, each padded to 4 bytes: bottom-up for a positive biHeight,
// top-down for a negative one.
//
// Frames under a YUV FourCC (biCompression) carry rows of whole pixel groups, unpadded: "YUY2",
// "YUNV", "UYVY", "UYNV", "cyuv", "YVYU" (2 pixels in 4 bytes), "Y41P" (8 in 12), "Y211" (4 in
// 4), "IYU1" (4 in 6), "IYU2" (1 in 3), "CLJR" (4 in one 32-bit word), and the planar "YV12",
// "I420", "IYUV" (chroma planes of half the width and height, rounded up) and "YVU9" (a quarter,
// rounded up). A row whose width is not a multiple of the group still holds its whole last group.
//
// Part of the image-processing unit; it sits in the core because the imaging annotations read
// their image objects through it.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/gfx/Gdi.h"

#include <cstddef>

class TVLDibbitmap;

// The colour of a YUV sample: d = (Y - 16) x 1.164, u = U - 128, v = V - 128; blue d + 2.018 u,
// green d - 0.813 v - 0.391 u, red d + 1.596 v, each rounded (halves to even) and clamped.
TVLRGB YUVToBGR(int32_t Y, int32_t U, int32_t V);

/// Converts a packed DIB into Bitmap: 1 bit into vl1g (a set bit is the lighter table entry),
/// every other layout into vl24RGB. DIB is a global memory handle (its block size bounds the
/// reading) or, with IsPointer, the header's address with Length readable bytes. Bits, when
/// given, holds the pixel rows (BitsLength bytes) in place of those after the table; a YUV frame
/// without Bits takes its samples right after the header. Returns biBitCount, or 0 when nothing
/// was converted (a header or block that does not hold together, run-length or unknown
/// compression); Bitmap is then left as it was.
int32_t CopyDIBToBitmap(const void* DIB, TVLBitmap& Bitmap, const void* Bits, bool IsPointer,
                        size_t Length = 0, size_t BitsLength = 0);

/// Gives Dest a DIB section of the frame's size (1 bit for 1-bit DIBs, else 24 bits) and draws
/// the frame into it: uncompressed layouts through DrawDibDraw, YUV frames through the
/// converters above; other compressions draw nothing. The arguments are those of
/// CopyDIBToBitmap. Returns biBitCount, or 0 when the header does not hold together.
int32_t DrawDIBToDibbitmap(const void* DIB, TVLDibbitmap& Dest, const void* Bits, bool IsPointer,
                           size_t Length = 0, size_t BitsLength = 0);
