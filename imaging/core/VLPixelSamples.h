// Pixels of the formats with conversion rules of their own, read in every form a destination asks
// for: grey levels of 8 and 16 bits and float, 8- and 16-bit colour. Shared by the pixel-format
// conversion and the row reader; not part of the library's interface.
#pragma once

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLRowToRGB.h"

namespace imaging_core::detail {

using enum TVLPixelFormat;
using TPaletteView = TVLRowToRGB::TPaletteView;

// A float sample brought into 0..1; NaN counts as 0.
inline double UnitSample(float Value) {
    if (!(Value > 0)) return 0;
    return Value >= 1 ? 1.0 : Value;
}

inline uint8_t FloatToByte(float Value) {
    return static_cast<uint8_t>(Trunc(UnitSample(Value) * 255));
}

// Rounded, not truncated: a float holds w / 65535 only to 24 bits, so truncating its product
// would give w - 1 for about half of all words.
inline uint16_t FloatToWord(float Value) {
    return static_cast<uint16_t>(Round(UnitSample(Value) * 65535));
}

inline uint16_t Gray16Of(const TVLRGB& C) {
    return static_cast<uint16_t>((C.r * 257u * 212 + C.g * 257u * 713 + C.b * 257u * 75) / 1000);
}

inline float GrayFOf(const TVLRGB& C) {
    return static_cast<float>((C.r * 0.2126 + C.g * 0.7152 + C.b * 0.0722) / 255);
}

inline TVLRGB48 Widen(const TVLRGB& C) {
    return {static_cast<uint16_t>(C.r * 257), static_cast<uint16_t>(C.g * 257),
            static_cast<uint16_t>(C.b * 257)};
}

// What the pixel readers need besides the row: the grey weights and the palette.
struct TPixelContext {
    int32_t WeightR = GrayWeightRed;
    int32_t WeightG = GrayWeightGreen;
    int32_t WeightB = GrayWeightBlue;
    TPaletteView Palette{nullptr, 0};

    uint8_t Gray8(const TVLRGB& C) const {
        return ClampToByte((C.r * WeightR + C.g * WeightG + C.b * WeightB) / 100);
    }
};

template <TVLPixelFormat S> struct TPixel;

template <> struct TPixel<vl1g> {
    static constexpr bool IsGray = true;
    static bool Bit(const uint8_t* Row, int32_t X) { return Row[X >> 3] & (0x80 >> (X & 7)); }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Bit(Row, X) ? 255 : 0;
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Bit(Row, X) ? 65535 : 0;
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Bit(Row, X) ? 1.0f : 0.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

// The grey and 16-bit forms of a pixel with 8-bit colour, all read through its Rgb.
template <typename Self> struct TColorPixel {
    static constexpr bool IsGray = false;
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return C.Gray8(Self::Rgb(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Gray16Of(Self::Rgb(Row, X, C));
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return GrayFOf(Self::Rgb(Row, X, C));
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Widen(Self::Rgb(Row, X, C));
    }
};

template <> struct TPixel<vl8p> : TColorPixel<TPixel<vl8p>> {
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Row[X] < C.Palette.Length ? C.Palette.Entries[Row[X]] : TVLRGB{};
    }
};

template <> struct TPixel<vl8g> {
    static constexpr bool IsGray = true;
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext&) { return Row[X]; }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext&) { return Grey(Row[X]); }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return static_cast<uint16_t>(Row[X] * 257);
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Row[X] / 255.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vl16g> {
    static constexpr bool IsGray = true;
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Load<uint16_t>(Row + 2 * X);
    }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return static_cast<uint8_t>(Gray16(Row, X, C) >> 8);
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Gray16(Row, X, C) / 65535.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vl24RGB> : TColorPixel<TPixel<vl24RGB>> {
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Load<TVLRGB>(Row + 3 * X);
    }
};

template <> struct TPixel<vl32f> {
    static constexpr bool IsGray = true;
    static float Sample(const uint8_t* Row, int32_t X) { return Load<float>(Row + 4 * X); }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return FloatToByte(Sample(Row, X));
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return FloatToWord(Sample(Row, X));
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vlRGB48> {
    static constexpr bool IsGray = false;
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TPixelContext&) {
        return Load<TVLRGB48>(Row + 6 * X);
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return {static_cast<uint8_t>(p.b >> 8), static_cast<uint8_t>(p.g >> 8),
                static_cast<uint8_t>(p.r >> 8)};
    }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        return C.Gray8(Rgb(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return static_cast<uint16_t>((p.r * 212u + p.g * 713u + p.b * 75u) / 1000);
    }
    // Scaled by 65535, so that white gives exactly 1.
    static float GrayF(const uint8_t* Row, int32_t X, const TPixelContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return static_cast<float>((p.r * 0.2126 + p.g * 0.7152 + p.b * 0.0722) / 65535);
    }
};

} // namespace imaging_core::detail
