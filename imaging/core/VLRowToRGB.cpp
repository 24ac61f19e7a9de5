// Reading of rows of any format as 8-bit blue, green, red, one kernel per source format.
#include "imaging/core/VLRowToRGB.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLPixelSamples.h"

#include <cstring>

using namespace imaging_core::detail;

namespace {

template <TVLPixelFormat S>
void ReadRowAsRGB(const uint8_t* Row, int32_t Count, TPaletteView Palette, TVLRGB* Out) {
    if constexpr (S == vlCMYK) {
        ConvertCMYKRowToRGB(Row, Out, Count);
    } else if constexpr (S == vlCIELab) {
        for (int32_t x = 0; x < Count; ++x)
            CIELabToRGB(Out[x], Row[3 * x] | (Row[3 * x + 1] << 8) | (Row[3 * x + 2] << 16));
    } else if constexpr (S == vl32RGB) {
        for (int32_t x = 0; x < Count; ++x)
            Out[x] = Load<TVLRGB>(Row + 4 * x);
    } else if constexpr (S == vl24RGB) {
        std::memcpy(Out, Row, 3 * static_cast<size_t>(Count));
    } else if constexpr (S == vlNone) {
        // Nothing to read.
    } else {
        TPixelContext context;
        context.Palette = Palette;
        for (int32_t x = 0; x < Count; ++x)
            Out[x] = TPixel<S>::Rgb(Row, x, context);
    }
}

TVLRowToRGB::TKernel RowReader(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return ReadRowAsRGB<vl1g>;
    case vl8p:
        return ReadRowAsRGB<vl8p>;
    case vl8g:
        return ReadRowAsRGB<vl8g>;
    case vl16g:
        return ReadRowAsRGB<vl16g>;
    case vl24RGB:
        return ReadRowAsRGB<vl24RGB>;
    case vl32f:
        return ReadRowAsRGB<vl32f>;
    case vlCMYK:
        return ReadRowAsRGB<vlCMYK>;
    case vlRGB48:
        return ReadRowAsRGB<vlRGB48>;
    case vlCIELab:
        return ReadRowAsRGB<vlCIELab>;
    case vl32RGB:
        return ReadRowAsRGB<vl32RGB>;
    default:
        return ReadRowAsRGB<vlNone>;
    }
}

} // namespace

TVLRowToRGB::TVLRowToRGB(TVLBitmap& Bitmap)
    : Kernel(RowReader(Bitmap.GetPixelFormat())),
      Width(Bitmap.GetWidth()), Palette{Bitmap.GetPalette(),
                                        Bitmap.GetPalette() ? Bitmap.GetPaletteLength() : 0} {}
