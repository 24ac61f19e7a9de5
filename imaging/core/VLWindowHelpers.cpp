// Helpers between the library's bitmaps and the class-library bitmap's colour table.
#include "imaging/core/VLWindowHelpers.h"

#include "imaging/core/VLBitmap.h"

#include <algorithm>

void SetTBitmapGrayPalette(TBitmap& Bitmap) {
    TRGBQuad ramp[256];
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        ramp[i] = {v, v, v, 0};
    }
    Bitmap.SetColorTable(0, ramp, 256);
}

bool IsTBitmapGrayPalette(const TBitmap& Bitmap) {
    const auto& table = Bitmap.ColorTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    return true;
}

void CopyTBitmapPaletteTo(const TBitmap& Bitmap, TVLBitmap& Dest) {
    if (Bitmap.PixelFormat() != pf8bit || Dest.GetPalette() == nullptr) return;
    const auto& table = Bitmap.ColorTable();
    TVLRGB* palette = Dest.GetPalette();
    const auto n = std::min<size_t>(table.size(), static_cast<size_t>(Dest.GetPaletteLength()));
    for (size_t i = 0; i < n; ++i)
        palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
}
