// Unit Raster_PNG: PNG files into a TBitmap32 with their transparency.
#pragma once

#include "raster/Bitmap32.h"

class TPngImage;

namespace raster {

// Dst takes the PNG's size, its straight colour and its own alpha, whatever the colour type
// (alpha channel, palette alpha or a transparent key colour). AlphaChannelUsed tells whether the
// file carries any transparency. Bad data raises EInvalidGraphic; Dst then keeps what it had.
void LoadPNGintoBitmap32(TBitmap32& Dst, TStream& Src, bool& AlphaChannelUsed);
void LoadPNGintoBitmap32(TBitmap32& Dst, const String& FileName, bool& AlphaChannelUsed);

// Copies the PNG's pixels (blue, green, red, alpha) into Dst, which has the PNG's size.
void CopyPNGPixels(TBitmap32& Dst, const TPngImage& Png);

} // namespace raster
