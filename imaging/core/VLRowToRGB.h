// Reading of rows of any format as 8-bit blue, green, red, with the rules of the pixel-format
// conversion to vl24RGB (TVLBitmap::SetPixelFormat, VLPixelFormatConvert.cpp). It sits below both
// the conversion and the colour reductions, which read rows through it.
//
// Rules shared by every pair of the conversion: grey levels use the library's grey weights for 8-bit results and
// 21.26 / 71.52 / 7.22 per cent for 16-bit and float results; float samples are clamped to 0..1
// before they are scaled; pairs without a rule of their own go through the vl24RGB rules.
#pragma once

#include "imaging/core/VLDefs.h"

class TVLBitmap;

// Reads rows of one bitmap as vl24RGB pixels, as the conversion to vl24RGB does: vl1g 0 or 255,
// vl8p its palette entry, vl8g the level, vl16g and vlRGB48 the high bytes, vl32f Trunc(v x 255)
// of the clamped sample, vl32RGB the first three bytes, vlCMYK and vlCIELab through their colour
// conversions. The kernel is chosen once, when the reader is made.
class TVLRowToRGB {
public:
    explicit TVLRowToRGB(TVLBitmap& Bitmap);
    // Reads the bitmap's width of pixels from Row into Out; writes nothing for vlNone.
    void Read(const uint8_t* Row, TVLRGB* Out) const { Kernel(Row, Width, Palette, Out); }

    struct TPaletteView {
        const TVLRGB* Entries;
        int32_t Length;
    };
    using TKernel = void (*)(const uint8_t* Row, int32_t Count, TPaletteView Palette, TVLRGB* Out);

private:
    TKernel Kernel;
    int32_t Width;
    TPaletteView Palette;
};
