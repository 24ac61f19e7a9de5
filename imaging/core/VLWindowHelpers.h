// Helpers between the library's bitmaps and the class-library bitmap's colour table.
#pragma once

#include "platform/gfx/Bitmap.h"

class TVLBitmap;

// Sets the 256-entry colour table to the grey ramp (i, i, i).
void SetTBitmapGrayPalette(TBitmap& Bitmap);
// Every entry i of the colour table equals (i, i, i); true for an empty table.
bool IsTBitmapGrayPalette(const TBitmap& Bitmap);
// Copies the colour table into Dest's palette when Bitmap is 8 bits and Dest is vl8p.
void CopyTBitmapPaletteTo(const TBitmap& Bitmap, TVLBitmap& Dest);
