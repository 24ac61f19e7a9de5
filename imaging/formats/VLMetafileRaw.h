// Content tests of Windows and enhanced metafiles, and the reader of headerless raw pixels.
#pragma once

#include "imaging/io/VLFileFormats.h"

// True when the stream holds an enhanced metafile header (record type 1, " EMF" at offset 40);
// a stream shorter than the 100 bytes tested answers false. The position is restored.
bool IsEMFStream(TStream& Stream);
// True when the stream holds a Windows metafile header (type 1, 9 words, no parameters), at its
// start or after a 22-byte placeable header; a stream shorter than the bytes tested answers
// false. The position is restored.
bool IsWMFStream(TStream& Stream);
// Reads headerless pixels into Bitmap, which the caller has allocated with the picture's size and
// pixel format, as RawPixelsHeaderSize, RawPixelsRowAlign, RawPixelsPlanar and RawPixelsBGR
// describe them; RawPixelsBGR says whether colour samples are stored blue first, and they are
// put in the bitmap's order (blue first in vl24RGB, red first in vlRGB48). An empty bitmap, a
// format without a raw layout (vlNone, vlCIELab, vl32RGB), a layout the fields cannot describe and
// data that ends early set the abort flag; rows read before stay.
void ReadRawPixelsStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                         TVLProgressRecord& Progress);
