// Area-integrating bilinear and bicubic resampling, the nearest-neighbour stretch of every pixel
// format and the conversion of one row between packed bit depths.
//
// Part of the image-processing unit; it sits in the core because the resampling engine and the
// bitmap's canvas output call it.
#pragma once

#include "imaging/core/VLBitmap.h"

#include <span>

// Cubic convolution (a = -1) through four equally spaced samples at T (0..1) between P1 and P2,
// raised to Min and lowered to Max.
double CubicInterpolate(int32_t P0, int32_t P1, int32_t P2, double T, int32_t P3, double Min,
                        double Max);

// Each destination pixel is the area integral of the interpolated source over its footprint,
// for reduction and enlargement alike. Source is vl8g or vl24RGB (16: vl16g or vlRGB48); Dest
// has Source's format and the target size. Other formats do nothing.
void ResampleBilinearBicubic8(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                              const TVLProgressEvent& OnProgress = nullptr,
                              TObject* Sender = nullptr);
void ResampleBilinearBicubic16(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                               const TVLProgressEvent& OnProgress = nullptr,
                               TObject* Sender = nullptr);

// Nearest-neighbour stretch of Source into Dest, which the caller has allocated in Source's
// pixel format at the target size; a Dest of another format is left untouched. Column k reads
// source column Trunc((SW / DW) * k), row j source row Trunc((SH / DH) * j).
void _VLBmpStretchEx(TVLBitmap& Source, TVLBitmap& Dest,
                     const TVLProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Converts Count pixels of one row between 1, 4, 8, 24 and 32 bits per pixel and returns the
// bytes of a destination row of DestBits (0 for a depth other than 1, 4, 8 and 24). Rows with
// fewer than 8 bits are packed most significant bits first; conversions into 4 bits OR into
// Dest, which must hold zeros. Palette indices beyond the palette give black. Combinations
// without a conversion, and here 24 to 4 or 8 bits, leave Dest unchanged.
int32_t ConvertRowBitCount(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits,
                           uint16_t Count, std::span<const TVLRGB> Palette);

// The same with a quantizer for 24 to 4 and 24 to 8 bits: QuantizerT offers
// RGBToIndex(const TVLRGB&), the palette index of a colour.
template <class QuantizerT>
int32_t ConvertRowBitCount(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits,
                           uint16_t Count, std::span<const TVLRGB> Palette, QuantizerT& Quantizer) {
    if (SourceBits != 24 || (DestBits != 4 && DestBits != 8))
        return ConvertRowBitCount(Source, Dest, SourceBits, DestBits, Count, Palette);
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    for (int32_t i = 0; i < Count; ++i, src += 3) {
        const auto index =
            static_cast<uint8_t>(Quantizer.RGBToIndex(TVLRGB{src[0], src[1], src[2]}));
        if (DestBits == 8)
            dst[i] = index;
        else
            dst[i / 2] |= static_cast<uint8_t>((index & 0x0F) << (i % 2 == 0 ? 4 : 0));
    }
    return DestBits == 8 ? Count : (Count + 1) / 2;
}
