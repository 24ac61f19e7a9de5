// Unit Raster_PNG: PNG loading through the class library's PNG image.
#include "raster/RasterPNG.h"

#include "raster/RasterLowLevel.h"

#include "platform/gfx/PngImage.h"

namespace raster {

void LoadPNGintoBitmap32(TBitmap32& Dst, TStream& Src, bool& AlphaChannelUsed) {
    TPngImage png;
    png.LoadFromStream(Src);
    Dst.Assign(&png);
    AlphaChannelUsed = png.TransparencyMode() != ptmNone;
}

void LoadPNGintoBitmap32(TBitmap32& Dst, const String& FileName, bool& AlphaChannelUsed) {
    TFileStream stream(FileName, fmOpenRead);
    LoadPNGintoBitmap32(Dst, stream, AlphaChannelUsed);
}

void CopyPNGPixels(TBitmap32& Dst, const TPngImage& Png) {
    for (int32_t y = 0; y < Dst.Height(); ++y)
        MoveLongword(Png.Scanline(y), Dst.GetScanLine(y), Dst.Width());
}

} // namespace raster
