// Pixel, palette and alpha operations of the library's bitmap: whole-bitmap and rectangle copies,
// fills, pixel accessors, the alpha channel and the whole-image tests.
#include "imaging/core/VLBitmap.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"

#include <algorithm>
#include <array>
#include <cstring>

using enum TVLPixelFormat;
using imaging_core::detail::Blend255;
using imaging_core::detail::TAccessScope;
using enum TVLLocation;

using imaging_core::detail::Grey;
using imaging_core::detail::Load;
using imaging_core::detail::Store;

namespace {

// ---------------------------------------------------------------------------------------------
// Reading any pixel as blue, green, red.

struct TPaletteView {
    const TVLRGB* Entries;
    int32_t Length;
};

uint8_t FloatToByte(float Value) {
    if (!(Value > 0)) return 0; // NaN and negatives are black
    if (Value >= 1) return 255;
    return static_cast<uint8_t>(Trunc(Value * 255.0));
}

template <TVLPixelFormat F> TVLRGB PixelToRGB(const uint8_t* Row, int32_t X, TPaletteView Pal) {
    if constexpr (F == vl1g) {
        return Grey(GetRowBit(Row, static_cast<uint32_t>(X)) ? 255 : 0);
    } else if constexpr (F == vl8p) {
        const uint8_t index = Row[X];
        return index < Pal.Length ? Pal.Entries[index] : TVLRGB{};
    } else if constexpr (F == vl8g) {
        return Grey(Row[X]);
    } else if constexpr (F == vl16g) {
        return Grey(static_cast<uint8_t>(Load<uint16_t>(Row + 2 * X) >> 8));
    } else if constexpr (F == vl24RGB || F == vl32RGB) {
        return Load<TVLRGB>(Row + (F == vl24RGB ? 3 : 4) * X);
    } else if constexpr (F == vl32f) {
        return Grey(FloatToByte(Load<float>(Row + 4 * X)));
    } else if constexpr (F == vlCMYK) {
        TVLRGB rgb;
        ConvertCMYKToRGB(Load<uint32_t>(Row + 4 * X), rgb);
        return rgb;
    } else if constexpr (F == vlCIELab) {
        TVLRGB rgb;
        CIELabToRGB(rgb, Row[3 * X] | (Row[3 * X + 1] << 8) | (Row[3 * X + 2] << 16));
        return rgb;
    } else if constexpr (F == vlRGB48) {
        const auto p = Load<TVLRGB48>(Row + 6 * X);
        return {static_cast<uint8_t>(p.b >> 8), static_cast<uint8_t>(p.g >> 8),
                static_cast<uint8_t>(p.r >> 8)};
    } else {
        return TVLRGB{};
    }
}

using TRowToRGB = void (*)(const uint8_t* Row, int32_t X, int32_t Count, TPaletteView Pal,
                           TVLRGB* Out);

template <TVLPixelFormat F>
void RowToRGB(const uint8_t* Row, int32_t X, int32_t Count, TPaletteView Pal, TVLRGB* Out) {
    for (int32_t i = 0; i < Count; ++i)
        Out[i] = PixelToRGB<F>(Row, X + i, Pal);
}

// CMYK rows go through the colour conversion one row at a time.
void CMYKRowToRGB(const uint8_t* Row, int32_t X, int32_t Count, TPaletteView, TVLRGB* Out) {
    ConvertCMYKRowToRGB(Row + 4 * static_cast<ptrdiff_t>(X), Out, Count);
}

TRowToRGB RowToRGBKernel(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return RowToRGB<vl1g>;
    case vl8p:
        return RowToRGB<vl8p>;
    case vl8g:
        return RowToRGB<vl8g>;
    case vl16g:
        return RowToRGB<vl16g>;
    case vl24RGB:
        return RowToRGB<vl24RGB>;
    case vl32f:
        return RowToRGB<vl32f>;
    case vlRGB48:
        return RowToRGB<vlRGB48>;
    case vlCMYK:
        return CMYKRowToRGB;
    case vlCIELab:
        return RowToRGB<vlCIELab>;
    case vl32RGB:
        return RowToRGB<vl32RGB>;
    default:
        return RowToRGB<vlNone>;
    }
}

// ---------------------------------------------------------------------------------------------
// Fill values: one pixel's bytes, computed once per call.

struct TFillPattern {
    std::array<uint8_t, 6> Bytes{};
    // The value sets every byte to 255 (white, the opaque alpha, a set bit).
    bool Full = false;
};

TVLRGB FillColor(double Value) {
    TVLRGB rgb;
    ColorToRGBTriple(static_cast<TColor>(Trunc(Value)), rgb);
    return rgb;
}

uint32_t PackRGB(const TVLRGB& C) {
    return C.b | (C.g << 8) | (C.r << 16);
}

bool IsWhite(const TVLRGB& C) {
    return C.r == 255 && C.g == 255 && C.b == 255;
}

TFillPattern MakeFillPattern(TVLPixelFormat Format, double Value) {
    TFillPattern p;
    switch (Format) {
    case vl1g:
        p.Full = Trunc(Value) != 0;
        p.Bytes[0] = p.Full ? 255 : 0;
        break;
    case vl8p:
    case vl8g: {
        const auto level = static_cast<uint8_t>(std::clamp<int64_t>(Trunc(Value), 0, 255));
        p.Bytes[0] = level;
        p.Full = level == 255;
        break;
    }
    case vl16g: {
        const auto level = static_cast<uint16_t>(std::clamp<int64_t>(Trunc(Value), 0, 65535));
        Store(p.Bytes.data(), level);
        p.Full = level == 65535;
        break;
    }
    case vl32f:
        Store(p.Bytes.data(), static_cast<float>(Value));
        p.Full = Value == 1.0;
        break;
    case vl24RGB:
    case vl32RGB: {
        const TVLRGB c = FillColor(Value);
        Store(p.Bytes.data(), c);
        p.Full = IsWhite(c);
        break;
    }
    case vlCMYK: {
        const TVLRGB c = FillColor(Value);
        Store(p.Bytes.data(), ConvertRGBToCMYK(PackRGB(c)));
        p.Full = IsWhite(c);
        break;
    }
    case vlCIELab: {
        const TVLRGB c = FillColor(Value);
        RGBToCIELab(p.Bytes.data(), PackRGB(c));
        p.Full = IsWhite(c);
        break;
    }
    case vlRGB48: {
        const TVLRGB c = FillColor(Value);
        Store(p.Bytes.data(),
              TVLRGB48{static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257),
                       static_cast<uint16_t>(c.b * 257)});
        p.Full = IsWhite(c);
        break;
    }
    default:
        break;
    }
    return p;
}

using TFillKernel = void (*)(uint8_t* Row, int32_t X, int32_t Count, const uint8_t* Pixel);

// N bytes of Pixel at every Stride bytes.
template <int N, int Stride = N>
void FillPixels(uint8_t* Row, int32_t X, int32_t Count, const uint8_t* Pixel) {
    uint8_t* p = Row + static_cast<ptrdiff_t>(X) * Stride;
    for (int32_t i = 0; i < Count; ++i, p += Stride)
        std::memcpy(p, Pixel, N);
}

void FillBits(uint8_t* Row, int32_t X, int32_t Count, const uint8_t* Pixel) {
    FillRowBits(Row, X, Count, Pixel[0] != 0);
}

TFillKernel FillKernel(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return FillBits;
    case vl8p:
    case vl8g:
        return FillPixels<1>;
    case vl16g:
        return FillPixels<2>;
    case vl24RGB:
    case vlCIELab:
        return FillPixels<3>;
    case vl32f:
    case vlCMYK:
        return FillPixels<4>;
    case vlRGB48:
        return FillPixels<6>;
    case vl32RGB:
        return FillPixels<3, 4>; // the fourth byte of every pixel is kept
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// Rectangles.

// A copy rectangle clipped to a source and a destination of the given sizes.
struct TClippedRect {
    int32_t SrcX = 0, SrcY = 0, DstX = 0, DstY = 0, Width = 0, Height = 0;
};

// False when nothing is left. A negative start on either side moves both starts by its amount;
// 64-bit arithmetic keeps far-away coordinates from wrapping.
bool ClipCopyRect(int64_t SrcW, int64_t SrcH, int64_t DstW, int64_t DstH, int64_t SrcX,
                  int64_t SrcY, int64_t DstX, int64_t DstY, int64_t W, int64_t H,
                  TClippedRect& Out) {
    auto clipAxis = [](int64_t& s, int64_t& d, int64_t& n, int64_t sLimit, int64_t dLimit) {
        if (s < 0) {
            d -= s;
            n += s;
            s = 0;
        }
        if (d < 0) {
            s -= d;
            n += d;
            d = 0;
        }
        n = std::min({n, sLimit - s, dLimit - d});
        return n > 0;
    };
    if (!clipAxis(SrcX, DstX, W, SrcW, DstW) || !clipAxis(SrcY, DstY, H, SrcH, DstH)) return false;
    Out = {static_cast<int32_t>(SrcX), static_cast<int32_t>(SrcY), static_cast<int32_t>(DstX),
           static_cast<int32_t>(DstY), static_cast<int32_t>(W),    static_cast<int32_t>(H)};
    return true;
}

using TCopyRowKernel = void (*)(uint8_t* Dst, const uint8_t* Src, const TClippedRect& R,
                                int32_t SrcRowLen);

template <int N> void CopyPixels(uint8_t* Dst, const uint8_t* Src, const TClippedRect& R, int32_t) {
    std::memmove(Dst + static_cast<ptrdiff_t>(R.DstX) * N, Src + static_cast<ptrdiff_t>(R.SrcX) * N,
                 static_cast<size_t>(R.Width) * N);
}

void CopyBitsToRGB(uint8_t* Dst, const uint8_t* Src, const TClippedRect& R, int32_t) {
    uint8_t* d = Dst + static_cast<ptrdiff_t>(R.DstX) * 3;
    for (int32_t i = 0; i < R.Width; ++i, d += 3)
        std::memset(d, GetRowBit(Src, static_cast<uint32_t>(R.SrcX + i)) ? 255 : 0, 3);
}

void CopyBitsToBits(uint8_t* Dst, const uint8_t* Src, const TClippedRect& R, int32_t SrcRowLen) {
    CopyBits(Dst, Src, R.DstX, R.SrcX, R.Width, SrcRowLen);
}

TCopyRowKernel CopyRowKernel(TVLPixelFormat From, TVLPixelFormat To) {
    if (From == vl1g) return To == vl1g ? CopyBitsToBits : To == vl24RGB ? CopyBitsToRGB : nullptr;
    if (From != To) return nullptr;
    switch (PixelFormatInfo(From).BitCount) {
    case 8:
        return CopyPixels<1>;
    case 16:
        return CopyPixels<2>;
    case 24:
        return CopyPixels<3>;
    case 32:
        return CopyPixels<4>;
    case 48:
        return CopyPixels<6>;
    default:
        return nullptr;
    }
}

// Runs Row(src, dst, r) over the rows of a clipped rectangle, both rows held at once. Rows of
// the same bitmap are walked in the order that reads every source row before it is written.
template <typename RowFn>
void ForEachRectRow(TVLBitmap& Src, TVLBitmap& Dst, const TClippedRect& R, RowFn&& Row) {
    const bool same = &Src == &Dst;
    TAccessScope readOnly(Src, same ? Src.Access : VLAccessRead);
    const bool upwards = same && R.DstY > R.SrcY;
    for (int32_t i = 0; i < R.Height; ++i) {
        const int32_t r = upwards ? R.Height - 1 - i : i;
        const uint8_t* src = Src.MapScanline(R.SrcY + r);
        uint8_t* dst = Dst.GetScanline(R.DstY + r);
        if (src != nullptr && dst != nullptr) Row(dst, src);
        Src.UnmapScanline(R.SrcY + r);
    }
    Src.UnmapAllScanlines();
    Dst.UnmapAllScanlines();
}

} // namespace

void FillRowBits(uint8_t* Row, int32_t X, int32_t Count, bool Set) {
    auto putBit = [Row, Set](int32_t x) {
        const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
        Row[x >> 3] = static_cast<uint8_t>(Set ? Row[x >> 3] | bit : Row[x >> 3] & ~bit);
    };
    int32_t x = X;
    const int32_t end = X + Count;
    for (; x < end && (x & 7) != 0; ++x)
        putBit(x);
    const int32_t wholeBytes = (end - x) >> 3;
    if (wholeBytes > 0) std::memset(Row + (x >> 3), Set ? 0xFF : 0, wholeBytes);
    for (x += wholeBytes * 8; x < end; ++x)
        putBit(x);
}

void CopyTBitmap(TBitmap& Source, TBitmap& Dest) {
    if (&Source == &Dest) return;
    const TPixelFormat format = Source.PixelFormat();
    if (Dest.PixelFormat() != format || Dest.Width() != Source.Width() ||
        Dest.Height() != Source.Height() || Source.Empty()) {
        // Through 1 x 1 so that the format change converts no pixels.
        Dest.SetSize(1, 1);
        Dest.SetPixelFormat(format);
        if (Source.Empty()) return;
        Dest.SetSize(Source.Width(), Source.Height());
    }
    const auto& table = Source.ColorTable();
    Dest.SetColorTable(0, table.data(), static_cast<int32_t>(table.size()));
    for (int32_t r = 0; r < Source.Height(); ++r)
        std::memcpy(Dest.ScanLine(r), Source.ScanLine(r), static_cast<size_t>(Source.RowLength()));
}

std::unique_ptr<TBitmap> DuplicateTBitmap(TBitmap& Source) {
    auto copy = std::make_unique<TBitmap>();
    CopyTBitmap(Source, *copy);
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Palette.

void TVLBitmap::CopyPaletteTo(TVLBaseBitmap& Dest) {
    auto* dest = dynamic_cast<TVLBitmap*>(&Dest);
    if (dest == nullptr || dest == this) return;
    if (dest->FPalette) {
        dest->FPalette.reset();
        dest->FPaletteLength = 0;
        dest->PaletteUsed = 256;
    }
    if (FPaletteLength > 0) {
        dest->FPalette.reset(new TVLRGB[FPaletteLength]);
        std::copy_n(FPalette.get(), FPaletteLength, dest->FPalette.get());
        dest->FPaletteLength = FPaletteLength;
        dest->PaletteUsed = PaletteUsed;
    }
    dest->UpdateTBitmapPalette();
}

void TVLBitmap::ReadTBitmapPalette(TBitmap& Source, int32_t Count) {
    if (!FPalette) return;
    std::fill_n(FPalette.get(), FPaletteLength, TVLRGB{});
    const auto& table = Source.ColorTable();
    const int32_t n = std::min({Count, FPaletteLength, static_cast<int32_t>(table.size())});
    for (int32_t i = 0; i < n; ++i)
        FPalette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
}

// ---------------------------------------------------------------------------------------------
// Whole-bitmap copies.

void TVLBitmap::Assign(TObject* Source) {
    if (auto* bitmap = dynamic_cast<TVLBitmap*>(Source)) {
        if (bitmap == this) return;
        // Copying our own alpha channel into us: keep it alive while our storage is replaced.
        std::unique_ptr<TVLBitmap> keep;
        if (bitmap == FAlphaChannel.get()) keep = std::move(FAlphaChannel);
        FullReallocate = true;
        if (!TakeImageOf(*bitmap, true) && FLocation == vlTBitmap) return;
        if (!IsAlpha) {
            if (bitmap->FAlphaChannel) {
                if (!FAlphaChannel) {
                    FAlphaChannel = std::make_unique<TVLBitmap>();
                    FAlphaChannel->IsAlpha = true;
                    FAlphaChannel->FLocation = FLocation == vlTBitmap ? vlMemory : FLocation;
                }
                FAlphaChannel->Assign(bitmap->FAlphaChannel.get());
            } else {
                RemoveAlphaChannel(false, clWhite);
            }
        }
        bitmap->CopyPaletteTo(*this);
        DefaultDitherMethod = bitmap->DefaultDitherMethod;
    } else if (auto* vcl = dynamic_cast<TBitmap*>(Source)) {
        CopyFromTBitmap(*vcl);
    }
}

void TVLBitmap::AssignImage(TVLBitmap& Source) {
    if (Source.IsEmpty() || &Source == this) return;
    FullReallocate = true;
    TakeImageOf(Source, false);
    Source.CopyPaletteTo(*this);
}

bool TVLBitmap::TakeImageOf(TVLBitmap& Source, bool WholeCopy) {
    // A client may have changed the source's class-library bitmap through its canvas.
    if (Source.FLocation == vlTBitmap) Source.SyncFromTBitmap();
    if (FLocation == vlTBitmap) {
        if (Source.IsEmpty()) return false;
        // The class-library bitmap is kept (it may be the caller's); only our own state goes.
        UnmapAllScanlines();
        FPalette.reset();
        FPaletteLength = 0;
        FScanlineCache.clear();
        FWidth = Source.FWidth;
        FHeight = Source.FHeight;
        switch (Source.FPixelFormat) {
        case vl32f:
        case vlCMYK:
        case vlRGB48:
        case vlCIELab:
            // No class-library format holds these: they arrive converted to vl24RGB.
            FPixelFormat = vl24RGB;
            break;
        default:
            FPixelFormat = Source.FPixelFormat;
            break;
        }
        // The class-library bitmap's rows are always 32-bit aligned: the alignment stays.
    } else {
        FreeImage(WholeCopy);
        FWidth = Source.FWidth;
        FHeight = Source.FHeight;
        FPixelFormat = Source.FPixelFormat;
        if (WholeCopy) FBitAlignment = Source.FBitAlignment;
    }
    if (!AllocateStorage()) {
        FWidth = FHeight = FRowLen = 0;
        return false;
    }
    if (WholeCopy) Full = Source.Full;
    CopyRowsFrom(Source);
    return true;
}

void TVLBitmap::CopyRowsFrom(TVLBitmap& Source) {
    TAccessScope readOnly(Source, VLAccessRead);
    TAccessScope writeOnly(*this, VLAccessWrite);
    if (FLocation == vlFile && Source.FLocation == vlFile && FRowLen == Source.FRowLen &&
        FPixelFormat == Source.FPixelFormat) {
        UnmapAllScanlines();
        Source.UnmapAllScanlines();
        Source.FFileBuffer->CopyTo(*FFileBuffer, static_cast<int64_t>(FRowLen) * FHeight, 0);
        return;
    }
    const int32_t rows = std::min(FHeight, Source.FHeight);
    const int32_t columns = std::min(FWidth, Source.FWidth);
    const TRowToRGB toRGB = RowToRGBKernel(Source.FPixelFormat);
    const TPaletteView pal{Source.FPalette.get(), Source.FPaletteLength};
    const bool sameFormat = FPixelFormat == Source.FPixelFormat;
    // vl16g becomes vl8g in a class-library bitmap: keep the high byte of every word.
    const bool narrow = FPixelFormat == vl8g && Source.FPixelFormat == vl16g;
    const auto bytes = static_cast<size_t>(std::min(FRowLen, Source.FRowLen));
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* src = Source.GetScanline(r);
        uint8_t* dst = GetScanline(r);
        if (src == nullptr || dst == nullptr) break;
        if (sameFormat) {
            std::memcpy(dst, src, bytes);
        } else if (narrow) {
            for (int32_t x = 0; x < columns; ++x)
                dst[x] = src[2 * x + 1];
        } else {
            toRGB(src, 0, columns, pal, reinterpret_cast<TVLRGB*>(dst));
        }
    }
    UnmapAllScanlines();
    Source.UnmapAllScanlines();
}

void TVLBitmap::CopyFromTBitmap(TBitmap& Source) {
    if (FLocation == vlTBitmap) {
        const TPixelFormat format = Source.PixelFormat();
        if (format != pf1bit && format != pf24bit && format != pf32bit)
            Source.SetPixelFormat(pf24bit);
        UnmapAllScanlines();
        FPalette.reset();
        FPaletteLength = 0;
        if (FVclBitmap == nullptr) {
            FVclBitmap = new TBitmap();
            FEncapsulatedTBitmap = false;
        }
        CopyTBitmap(Source, *FVclBitmap);
        // An impossible width makes the sync derive format, layout and row cache anew.
        FWidth = -1;
        SyncFromTBitmap();
        Full = false;
        return;
    }
    const TPixelFormat format = Source.PixelFormat();
    const bool monochrome = format == pf1bit && Source.ColorTable().size() == 2 &&
                            Source.ColorTable()[0] == TRGBQuad{0, 0, 0, 0} &&
                            Source.ColorTable()[1] == TRGBQuad{255, 255, 255, 0};
    TVLPixelFormat target = vlNone;
    switch (format) {
    case pf1bit:
        target = monochrome ? vl1g : vl8p;
        break;
    case pf4bit:
    case pf8bit:
        target = vl8p;
        break;
    case pf15bit:
    case pf16bit:
    case pf24bit:
        target = vl24RGB;
        break;
    case pf32bit:
        target = vl32RGB;
        break;
    default:
        return;
    }
    if (!Allocate(Source.Width(), Source.Height(), target)) return;
    if (target == vl8p)
        ReadTBitmapPalette(Source, format == pf1bit ? 2 : format == pf4bit ? 16 : 256);
    TAccessScope writeOnly(*this, VLAccessWrite);
    const auto bytes = static_cast<size_t>(std::min<int64_t>(FRowLen, Source.RowLength()));
    for (int32_t r = 0; r < FHeight; ++r) {
        const auto* src = static_cast<const uint8_t*>(Source.ScanLine(r));
        uint8_t* dst = GetScanline(r);
        if (dst == nullptr) break;
        std::memset(dst, 0, FRowLen);
        switch (format) {
        case pf1bit:
            if (monochrome) {
                std::memcpy(dst, src, bytes);
            } else {
                for (int32_t x = 0; x < FWidth; ++x)
                    dst[x] = GetRowBit(src, static_cast<uint32_t>(x)) ? 1 : 0;
            }
            break;
        case pf4bit:
            for (int32_t x = 0; x < FWidth; ++x)
                dst[x] = (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4;
            break;
        case pf15bit:
        case pf16bit: {
            const bool six = format == pf16bit;
            for (int32_t x = 0; x < FWidth; ++x) {
                const uint16_t w = Load<uint16_t>(src + 2 * x);
                const TVLRGB c = six ? TVLRGB{static_cast<uint8_t>((w & 31) << 3),
                                              static_cast<uint8_t>(((w >> 5) & 63) << 2),
                                              static_cast<uint8_t>(((w >> 11) & 31) << 3)}
                                     : TVLRGB{static_cast<uint8_t>((w & 31) << 3),
                                              static_cast<uint8_t>(((w >> 5) & 31) << 3),
                                              static_cast<uint8_t>(((w >> 10) & 31) << 3)};
                Store(dst + 3 * x, c);
            }
            break;
        }
        default:
            std::memcpy(dst, src, bytes);
            break;
        }
    }
    UnmapAllScanlines();
    Full = false;
}

void TVLBitmap::CopyFromDibbitmap(TVLDibbitmap* Source) {
    if (Source == nullptr) return;
    const int32_t bits = Source->GetBitCount();
    TVLPixelFormat format = bits == 1 ? vl1g : bits == 24 ? vl24RGB : vlNone;
    // An 8-bit section becomes grey levels; a class-library bitmap takes only 1 and 24 bits here.
    if (bits == 8 && FLocation != vlTBitmap) format = vl8g;
    if (format == vlNone) return;
    FullReallocate = true;
    if (!Allocate(Source->GetWidth(), Source->GetHeight(), format)) return;
    TAccessScope writeOnly(*this, VLAccessWrite);
    const auto bytes = static_cast<size_t>(std::min(FRowLen, Source->GetRowLen()));
    for (int32_t r = 0; r < FHeight; ++r)
        if (uint8_t* row = GetScanline(r)) {
            std::memcpy(row, Source->GetScanline(r), bytes);
            std::memset(row + bytes, 0, FRowLen - bytes);
        }
    UnmapAllScanlines();
}

void TVLBitmap::CopyFromMask(TVLMask* Mask) {
    if (Mask == nullptr) {
        Fill(255);
        return;
    }
    const int32_t bits = Mask->GetBitsPerPixel();
    if ((bits != 1 && bits != 8) ||
        !Allocate(Mask->GetWidth(), Mask->GetHeight(), bits == 1 ? vl1g : vl8g))
        return;
    TAccessScope writeOnly(*this, VLAccessWrite);
    const auto bytes = static_cast<size_t>(std::min(FRowLen, Mask->GetRowLen()));
    for (int32_t r = 0; r < FHeight; ++r)
        if (uint8_t* row = GetScanline(r)) {
            std::memcpy(row, Mask->GetScanline(r), bytes);
            std::memset(row + bytes, 0, FRowLen - bytes);
        }
    UnmapAllScanlines();
    Full = Mask->Full;
}

void TVLBitmap::CopyToMask(TVLMask* Mask) {
    if (Mask == nullptr ||
        (FPixelFormat != vl1g && FPixelFormat != vl8g && FPixelFormat != vl24RGB) ||
        !Mask->AllocateBits(FWidth, FHeight, FPixelFormat == vl1g ? 1 : 8))
        return;
    TAccessScope readOnly(*this, VLAccessRead);
    const auto bytes = static_cast<size_t>(std::min(FRowLen, Mask->GetRowLen()));
    for (int32_t r = 0; r < FHeight; ++r) {
        const uint8_t* src = GetScanline(r);
        uint8_t* dst = Mask->GetScanline(r);
        if (src == nullptr) break;
        if (FPixelFormat != vl24RGB) {
            std::memcpy(dst, src, bytes);
            continue;
        }
        for (int32_t x = 0; x < FWidth; ++x, src += 3)
            dst[x] = static_cast<uint8_t>(RGBTripleToGray(Load<TVLRGB>(src)));
    }
    UnmapAllScanlines();
    Mask->Full = FPixelFormat != vl24RGB && Full;
    // The box is a cache of the pixels: without it the copied selection would count as empty.
    Mask->SyncBoundingBox();
}

// ---------------------------------------------------------------------------------------------
// Rectangles and canvas size.

void TVLBitmap::CopyRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                           int32_t W, int32_t H) {
    const TCopyRowKernel kernel = CopyRowKernel(FPixelFormat, Dest.FPixelFormat);
    TClippedRect r;
    if (kernel == nullptr ||
        !ClipCopyRect(FWidth, FHeight, Dest.FWidth, Dest.FHeight, SrcX, SrcY, DstX, DstY, W, H, r))
        return;
    const int32_t srcRowLen = FRowLen;
    ForEachRectRow(*this, Dest, r,
                   [&](uint8_t* dst, const uint8_t* src) { kernel(dst, src, r, srcRowLen); });
    // The destination stays known-opaque only when what came in was too.
    Dest.Full = Dest.Full && Full;
}

void TVLBitmap::MergeAlphaRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                 int32_t DstY, int32_t W, int32_t H) {
    if (IsAlpha || Dest.IsAlpha || &Dest == this) return;
    TVLBitmap* src = GetAlphaChannel();
    TVLBitmap* dst = Dest.GetAlphaChannel();
    TClippedRect r;
    if (!ClipCopyRect(src->FWidth, src->FHeight, dst->FWidth, dst->FHeight, SrcX, SrcY, DstX, DstY,
                      W, H, r))
        return;
    ForEachRectRow(*src, *dst, r, [&](uint8_t* d, const uint8_t* s) {
        for (int32_t i = 0; i < r.Width; ++i)
            d[r.DstX + i] = std::max(d[r.DstX + i], s[r.SrcX + i]);
    });
}

void TVLBitmap::MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DestX,
                         int32_t DestY, double FillValue) {
    // Only the part inside the bitmap moves; its target shifts with the clipped corner.
    const int32_t cx1 = std::max(X1, 0);
    const int32_t cy1 = std::max(Y1, 0);
    const int32_t cx2 = std::min(X2, FWidth - 1);
    const int32_t cy2 = std::min(Y2, FHeight - 1);
    if (cx2 < cx1 || cy2 < cy1) return;
    const int32_t w = cx2 - cx1 + 1;
    const int32_t h = cy2 - cy1 + 1;
    TVLBitmap temp;
    temp.MinFileSize = MinFileSize;
    if (!temp.Allocate(w, h, FPixelFormat)) return;
    CopyRectTo(temp, cx1, cy1, 0, 0, w, h);
    temp.Full = Full;
    FillRect(cx1, cy1, cx2, cy2, FillValue);
    const int64_t dx = static_cast<int64_t>(DestX) + (cx1 - X1);
    const int64_t dy = static_cast<int64_t>(DestY) + (cy1 - Y1);
    if (dx > INT32_MAX || dy > INT32_MAX) return;
    temp.CopyRectTo(*this, 0, 0, static_cast<int32_t>(dx), static_cast<int32_t>(dy), w, h);
}

void TVLBitmap::ResizeCanvas(int32_t NW, int32_t NH, double FillValue, int32_t AlphaFill,
                             uint8_t HA, uint8_t VA) {
    const int32_t W = FWidth;
    const int32_t H = FHeight;
    auto shiftBeforeShrink = [&](TVLBitmap& b, double fill) {
        if (NW < W && HA == 1)
            b.MoveRect((W - NW) / 2, 0, (W - NW) / 2 + NW - 1, H - 1, 0, 0, fill);
        if (NW < W && HA == 2) b.MoveRect(W - NW, 0, W - 1, H - 1, 0, 0, fill);
        if (NH < H && VA == 1)
            b.MoveRect(0, (H - NH) / 2, W - 1, (H - NH) / 2 + NH - 1, 0, 0, fill);
        if (NH < H && VA == 2) b.MoveRect(0, H - NH, W - 1, H - 1, 0, 0, fill);
    };
    auto placeAfterGrow = [&](TVLBitmap& b, double fill) {
        const int32_t nw = b.FWidth;
        const int32_t nh = b.FHeight;
        if (W < nw) {
            b.FillRect(W, 0, nw - 1, nh - 1, fill);
            if (HA == 1) b.MoveRect(0, 0, W - 1, H - 1, (nw - W) / 2, 0, fill);
            if (HA == 2) b.MoveRect(0, 0, W - 1, H - 1, nw - W, 0, fill);
        }
        if (H < nh) {
            b.FillRect(0, H, nw - 1, nh - 1, fill);
            if (VA == 1) b.MoveRect(0, 0, nw - 1, H - 1, 0, (nh - H) / 2, fill);
            if (VA == 2) b.MoveRect(0, 0, nw - 1, H - 1, 0, nh - H, fill);
        }
    };
    shiftBeforeShrink(*this, FillValue);
    if (FAlphaChannel) shiftBeforeShrink(*FAlphaChannel, AlphaFill);
    SetSize(NW, NH);
    placeAfterGrow(*this, FillValue);
    if (FAlphaChannel) placeAfterGrow(*FAlphaChannel, AlphaFill);
}

void TVLBitmap::Fill(double Value) {
    const TFillKernel kernel = FillKernel(FPixelFormat);
    if (kernel == nullptr || IsEmpty()) return;
    const TFillPattern pattern = MakeFillPattern(FPixelFormat, Value);
    if (FPixelFormat == vl32RGB) {
        // The fourth byte of every pixel is kept, so the rows are read as well as written.
        for (int32_t r = 0; r < FHeight; ++r)
            if (uint8_t* row = GetScanline(r)) kernel(row, 0, FWidth, pattern.Bytes.data());
    } else {
        std::vector<uint8_t> line(FRowLen, 0);
        if (FPixelFormat == vl1g || FBitCount == 8)
            std::memset(line.data(), pattern.Bytes[0], FRowLen);
        else
            kernel(line.data(), 0, FWidth, pattern.Bytes.data());
        TAccessScope writeOnly(*this, VLAccessWrite);
        for (int32_t r = 0; r < FHeight; ++r)
            if (uint8_t* row = GetScanline(r)) std::memcpy(row, line.data(), FRowLen);
    }
    UnmapAllScanlines();
    Full = pattern.Full;
}

void TVLBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
    const TFillKernel kernel = FillKernel(FPixelFormat);
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, FWidth - 1);
    Y2 = std::min(Y2, FHeight - 1);
    if (kernel == nullptr || Y2 < Y1 || X2 < X1) return;
    const TFillPattern pattern = MakeFillPattern(FPixelFormat, Value);
    for (int32_t r = Y1; r <= Y2; ++r)
        if (uint8_t* row = GetScanline(r)) kernel(row, X1, X2 - X1 + 1, pattern.Bytes.data());
    UnmapAllScanlines();
    if (!pattern.Full) Full = false;
}

// ---------------------------------------------------------------------------------------------
// Pixels.

uint8_t* TVLBitmap::PixelRow(int32_t X, int32_t Y, int32_t Bits) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || FBitCount != Bits) return nullptr;
    return GetScanline(Y);
}

uint8_t TVLBitmap::GetPixel8(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, 8);
    return row != nullptr ? row[X] : 0;
}

void TVLBitmap::SetPixel8(int32_t X, int32_t Y, uint8_t Value) {
    if (uint8_t* row = PixelRow(X, Y, 8)) {
        row[X] = Value;
        if (Value != 255) Full = false;
    }
}

uint16_t TVLBitmap::GetPixel16(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, 16);
    return row != nullptr ? Load<uint16_t>(row + 2 * X) : 0;
}

void TVLBitmap::SetPixel16(int32_t X, int32_t Y, uint16_t Value) {
    if (uint8_t* row = PixelRow(X, Y, 16)) {
        Store(row + 2 * X, Value);
        if (Value != 65535) Full = false;
    }
}

float TVLBitmap::GetPixelFloat(int32_t X, int32_t Y) {
    const uint8_t* row = FPixelFormat == vl32f ? PixelRow(X, Y, 32) : nullptr;
    return row != nullptr ? Load<float>(row + 4 * X) : 0.0f;
}

void TVLBitmap::SetPixelFloat(int32_t X, int32_t Y, float Value) {
    if (uint8_t* row = FPixelFormat == vl32f ? PixelRow(X, Y, 32) : nullptr) {
        Store(row + 4 * X, Value);
        if (!(Value >= 1.0f)) Full = false;
    }
}

int32_t TVLBitmap::GetPixel32(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, 32);
    return row != nullptr ? Load<int32_t>(row + 4 * X) : 0;
}

void TVLBitmap::SetPixel32(int32_t X, int32_t Y, int32_t Value) {
    if (uint8_t* row = PixelRow(X, Y, 32)) {
        Store(row + 4 * X, Value);
        if (Value != -1) Full = false;
    }
}

TVLRGB TVLBitmap::GetPixelRGB(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, 24);
    return row != nullptr ? Load<TVLRGB>(row + 3 * X) : TVLRGB{};
}

void TVLBitmap::SetPixelRGB(int32_t X, int32_t Y, const TVLRGB& Value) {
    if (uint8_t* row = PixelRow(X, Y, 24)) {
        Store(row + 3 * X, Value);
        if (!IsWhite(Value)) Full = false;
    }
}

TVLRGB* TVLBitmap::GetRGBPixelAddress(int32_t X, int32_t Y) {
    uint8_t* row = PixelRow(X, Y, 24);
    return row != nullptr ? reinterpret_cast<TVLRGB*>(row + 3 * X) : nullptr;
}

TVLRGB48 TVLBitmap::GetPixelRGB48(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, 48);
    return row != nullptr ? Load<TVLRGB48>(row + 6 * X) : TVLRGB48{};
}

void TVLBitmap::SetPixelRGB48(int32_t X, int32_t Y, const TVLRGB48& Value) {
    if (uint8_t* row = PixelRow(X, Y, 48)) {
        Store(row + 6 * X, Value);
        if (Value.r != 65535 || Value.g != 65535 || Value.b != 65535) Full = false;
    }
}

TVLRGB TVLBitmap::GetPixelAsRGB(int32_t X, int32_t Y) {
    const uint8_t* row = PixelRow(X, Y, FBitCount);
    if (row == nullptr) return TVLRGB{};
    TVLRGB out;
    RowToRGBKernel(FPixelFormat)(row, X, 1, {FPalette.get(), FPaletteLength}, &out);
    return out;
}

uint8_t TVLBitmap::GetAlphaPixel(int32_t X, int32_t Y) {
    return IsAlpha ? GetPixel8(X, Y) : GetAlphaChannel()->GetPixel8(X, Y);
}

void TVLBitmap::SetAlphaPixel(int32_t X, int32_t Y, uint8_t Value) {
    if (IsAlpha)
        SetPixel8(X, Y, Value);
    else
        GetAlphaChannel()->SetPixel8(X, Y, Value);
    if (Value != 255) Full = false;
}

// ---------------------------------------------------------------------------------------------
// Alpha channel.

TVLBitmap* TVLBitmap::GetAlphaChannel() {
    if (IsAlpha) return nullptr;
    if (!FAlphaChannel) FAlphaChannel = CreateAsAlpha(GetWidth(), GetHeight(), FLocation);
    return FAlphaChannel.get();
}

std::unique_ptr<TVLBitmap> TVLBitmap::AttachAlphaChannel(std::unique_ptr<TVLBitmap> Alpha) {
    if (Alpha) Alpha->IsAlpha = true;
    std::swap(Alpha, FAlphaChannel);
    return Alpha;
}

void TVLBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
    if (IsAlpha || !FAlphaChannel) return;
    if (Merge) MergeAlpha(Background);
    FAlphaChannel.reset();
}

bool TVLBitmap::ConvertToRGB24() {
    auto target = std::make_unique<TVLBitmap>();
    target->MinFileSize = MinFileSize;
    target->MemoryAllocator = MemoryAllocator;
    target->FBitAlignment = FBitAlignment;
    target->FLocation = FLocation;
    if (!target->Allocate(FWidth, FHeight, vl24RGB)) return false;
    target->CopyRowsFrom(*this);
    CommitRelayout(*target);
    Full = false;
    return true;
}

void TVLBitmap::MergeAlpha(TColor Background) {
    if (IsEmpty()) return;
    if ((FPixelFormat == vl1g || FPixelFormat == vl8p) && !ConvertToRGB24()) return;
    const TVLRGB bg = FillColor(Background);
    TVLBitmap& alpha = *FAlphaChannel;
    TAccessScope readOnly(alpha, VLAccessRead);
    const int32_t rows = std::min(FHeight, alpha.FHeight);
    const int32_t columns = std::min(FWidth, alpha.FWidth);
    const auto grey = static_cast<uint32_t>(RGBTripleToGray(bg));
    uint8_t bgLab[3];
    RGBToCIELab(bgLab, PackRGB(bg));
    uint8_t bgCMYK[4];
    Store(bgCMYK, ConvertRGBToCMYK(PackRGB(bg)));
    const TVLPixelFormat format = FPixelFormat;
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* a = alpha.GetScanline(r);
        uint8_t* row = GetScanline(r);
        if (a == nullptr || row == nullptr) break;
        switch (format) {
        case vl8g:
            for (int32_t x = 0; x < columns; ++x)
                row[x] = Blend255<uint8_t>(row[x], static_cast<uint8_t>(grey), a[x]);
            break;
        case vl16g:
            for (int32_t x = 0; x < columns; ++x)
                Store(row + 2 * x, Blend255<uint16_t>(Load<uint16_t>(row + 2 * x),
                                                      static_cast<uint16_t>(grey * 257), a[x]));
            break;
        case vl32f:
            for (int32_t x = 0; x < columns; ++x)
                Store(row + 4 * x,
                      (Load<float>(row + 4 * x) * a[x] + grey / 255.0f * (255 - a[x])) / 255.0f);
            break;
        case vl24RGB:
        case vl32RGB: {
            const int32_t step = format == vl24RGB ? 3 : 4;
            for (int32_t x = 0; x < columns; ++x) {
                uint8_t* p = row + step * x;
                p[0] = Blend255<uint8_t>(p[0], bg.b, a[x]);
                p[1] = Blend255<uint8_t>(p[1], bg.g, a[x]);
                p[2] = Blend255<uint8_t>(p[2], bg.r, a[x]);
            }
            break;
        }
        case vlCMYK:
            for (int32_t x = 0; x < columns; ++x)
                for (int c = 0; c < 4; ++c)
                    row[4 * x + c] = Blend255<uint8_t>(row[4 * x + c], bgCMYK[c], a[x]);
            break;
        case vlCIELab:
            // a and b are signed: they are blended shifted into 0..255.
            for (int32_t x = 0; x < columns; ++x) {
                uint8_t* p = row + 3 * x;
                p[0] = Blend255<uint8_t>(p[0], bgLab[0], a[x]);
                for (int c = 1; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(
                        Blend255<uint8_t>(static_cast<uint8_t>(p[c] ^ 0x80),
                                          static_cast<uint8_t>(bgLab[c] ^ 0x80), a[x]) ^
                        0x80);
            }
            break;
        case vlRGB48:
            for (int32_t x = 0; x < columns; ++x) {
                auto p = Load<TVLRGB48>(row + 6 * x);
                p.r = Blend255<uint16_t>(p.r, static_cast<uint16_t>(bg.r * 257), a[x]);
                p.g = Blend255<uint16_t>(p.g, static_cast<uint16_t>(bg.g * 257), a[x]);
                p.b = Blend255<uint16_t>(p.b, static_cast<uint16_t>(bg.b * 257), a[x]);
                Store(row + 6 * x, p);
            }
            break;
        default:
            break;
        }
    }
    UnmapAllScanlines();
    alpha.UnmapAllScanlines();
    Full = false;
}

// ---------------------------------------------------------------------------------------------
// Whole-image tests.

namespace {

// Runs Test over the used bytes of every row; stops at the first false.
template <typename TestFn> bool AllRows(TVLBitmap& B, TestFn&& Test) {
    TAccessScope readOnly(B, VLAccessRead);
    const auto used = static_cast<size_t>(AlignedRowLength(B.GetWidth(), B.GetBitCount(), 8));
    bool result = true;
    for (int32_t r = 0; r < B.GetHeight() && result; ++r) {
        const uint8_t* row = B.GetScanline(r);
        result = row != nullptr && Test(row, used);
    }
    B.UnmapAllScanlines();
    return result;
}

bool AllBytesAre(const uint8_t* Row, size_t Count, uint8_t Value) {
    return std::all_of(Row, Row + Count, [Value](uint8_t b) { return b == Value; });
}

} // namespace

void TVLBitmap::SyncFull() {
    Full = AllRows(*this, [](const uint8_t* row, size_t n) { return AllBytesAre(row, n, 255); });
}

bool TVLBitmap::IsAllZero() {
    return AllRows(*this, [](const uint8_t* row, size_t n) { return AllBytesAre(row, n, 0); });
}

bool TVLBitmap::IsGrayScale() {
    switch (FPixelFormat) {
    case vl8p:
        return std::all_of(FPalette.get(), FPalette.get() + FPaletteLength,
                           [](const TVLRGB& c) { return c.r == c.g && c.g == c.b; });
    case vl24RGB:
    case vl32RGB: {
        const size_t step = FPixelFormat == vl24RGB ? 3 : 4;
        const int32_t width = FWidth;
        return AllRows(*this, [step, width](const uint8_t* row, size_t) {
            for (int32_t x = 0; x < width; ++x, row += step)
                if (row[0] != row[1] || row[1] != row[2]) return false;
            return true;
        });
    }
    case vlRGB48: {
        const int32_t width = FWidth;
        return AllRows(*this, [width](const uint8_t* row, size_t) {
            for (int32_t x = 0; x < width; ++x) {
                const auto p = Load<TVLRGB48>(row + 6 * x);
                if (p.r != p.g || p.g != p.b) return false;
            }
            return true;
        });
    }
    default:
        return true;
    }
}
