// Pixel-format conversion of the library's bitmap: one row kernel per pair of formats, chosen once
// per conversion from a table built at compile time.
#include "imaging/core/VLPixelFormatConvert.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLQuantizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

using enum TVLPixelFormat;
using enum TVLLocation;
using imaging_core::detail::AllocateOrThrow;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::ClassBitmapHolds;
using imaging_core::detail::RunRows;
using imaging_core::detail::TRowPassScope;

using imaging_core::detail::Grey;
using imaging_core::detail::Load;
using imaging_core::detail::Store;

namespace {

using TPaletteView = TVLRowToRGB::TPaletteView;

// A float sample brought into 0..1; NaN counts as 0.
double UnitSample(float Value) {
    if (!(Value > 0)) return 0;
    return Value >= 1 ? 1.0 : Value;
}

uint8_t FloatToByte(float Value) {
    return static_cast<uint8_t>(Trunc(UnitSample(Value) * 255));
}

// Rounded, not truncated: a float holds w / 65535 only to 24 bits, so truncating its product
// would give w - 1 for about half of all words.
uint16_t FloatToWord(float Value) {
    return static_cast<uint16_t>(Round(UnitSample(Value) * 65535));
}

uint16_t Gray16Of(const TVLRGB& C) {
    return static_cast<uint16_t>((C.r * 257u * 212 + C.g * 257u * 713 + C.b * 257u * 75) / 1000);
}

float GrayFOf(const TVLRGB& C) {
    return static_cast<float>((C.r * 0.2126 + C.g * 0.7152 + C.b * 0.0722) / 255);
}

TVLRGB48 Widen(const TVLRGB& C) {
    return {static_cast<uint16_t>(C.r * 257), static_cast<uint16_t>(C.g * 257),
            static_cast<uint16_t>(C.b * 257)};
}

// What a row kernel needs besides its rows; read once per conversion.
struct TRowContext {
    int32_t WeightR = GrayWeightRed;
    int32_t WeightG = GrayWeightGreen;
    int32_t WeightB = GrayWeightBlue;
    TPaletteView Palette{nullptr, 0};
    const TVLQuantizer* Quantizer = nullptr;
    const TVLRowToRGB* Reader = nullptr;
    // One row of vl24RGB pixels for the kernels that go through vl24RGB.
    TVLRGB* Buffer = nullptr;
    int32_t Y = 0;

    uint8_t Gray8(const TVLRGB& C) const {
        return ClampToByte((C.r * WeightR + C.g * WeightG + C.b * WeightB) / 100);
    }
};

using TRowKernel = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Width,
                            const TRowContext& Context);

// ---------------------------------------------------------------------------------------------
// Pixels of the formats with rules of their own, read in every form a destination asks for.

template <TVLPixelFormat S> struct TPixel;

template <> struct TPixel<vl1g> {
    static constexpr bool IsGray = true;
    static bool Bit(const uint8_t* Row, int32_t X) { return Row[X >> 3] & (0x80 >> (X & 7)); }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Bit(Row, X) ? 255 : 0;
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Bit(Row, X) ? 65535 : 0;
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Bit(Row, X) ? 1.0f : 0.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

// The grey and 16-bit forms of a pixel with 8-bit colour, all read through its Rgb.
template <typename Self> struct TColorPixel {
    static constexpr bool IsGray = false;
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return C.Gray8(Self::Rgb(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Gray16Of(Self::Rgb(Row, X, C));
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return GrayFOf(Self::Rgb(Row, X, C));
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Widen(Self::Rgb(Row, X, C));
    }
};

template <> struct TPixel<vl8p> : TColorPixel<TPixel<vl8p>> {
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Row[X] < C.Palette.Length ? C.Palette.Entries[Row[X]] : TVLRGB{};
    }
};

template <> struct TPixel<vl8g> {
    static constexpr bool IsGray = true;
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext&) { return Row[X]; }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext&) { return Grey(Row[X]); }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext&) {
        return static_cast<uint16_t>(Row[X] * 257);
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Row[X] / 255.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vl16g> {
    static constexpr bool IsGray = true;
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Load<uint16_t>(Row + 2 * X);
    }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return static_cast<uint8_t>(Gray16(Row, X, C) >> 8);
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static float GrayF(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Gray16(Row, X, C) / 65535.0f;
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vl24RGB> : TColorPixel<TPixel<vl24RGB>> {
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Load<TVLRGB>(Row + 3 * X);
    }
};

template <> struct TPixel<vl32f> {
    static constexpr bool IsGray = true;
    static float Sample(const uint8_t* Row, int32_t X) { return Load<float>(Row + 4 * X); }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext&) {
        return FloatToByte(Sample(Row, X));
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return Grey(Gray8(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext&) {
        return FloatToWord(Sample(Row, X));
    }
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const uint16_t w = Gray16(Row, X, C);
        return {w, w, w};
    }
};

template <> struct TPixel<vlRGB48> {
    static constexpr bool IsGray = false;
    static TVLRGB48 Rgb16(const uint8_t* Row, int32_t X, const TRowContext&) {
        return Load<TVLRGB48>(Row + 6 * X);
    }
    static TVLRGB Rgb(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return {static_cast<uint8_t>(p.b >> 8), static_cast<uint8_t>(p.g >> 8),
                static_cast<uint8_t>(p.r >> 8)};
    }
    static uint8_t Gray8(const uint8_t* Row, int32_t X, const TRowContext& C) {
        return C.Gray8(Rgb(Row, X, C));
    }
    static uint16_t Gray16(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return static_cast<uint16_t>((p.r * 212u + p.g * 713u + p.b * 75u) / 1000);
    }
    // Scaled by 65535, so that white gives exactly 1.
    static float GrayF(const uint8_t* Row, int32_t X, const TRowContext& C) {
        const TVLRGB48 p = Rgb16(Row, X, C);
        return static_cast<float>((p.r * 0.2126 + p.g * 0.7152 + p.b * 0.0722) / 65535);
    }
};

// ---------------------------------------------------------------------------------------------
// Row kernels.

template <TVLPixelFormat S>
uint8_t DitherLevelOf(const uint8_t* Row, int32_t X, const TRowContext& C) {
    using P = TPixel<S>;
    if constexpr (P::IsGray)
        return static_cast<uint8_t>(GrayDitherLevel(P::Gray8(Row, X, C)));
    else
        return static_cast<uint8_t>(DitherLevel(P::Rgb(Row, X, C), P::Gray8(Row, X, C)));
}

// Index rows of a vl8p destination: the bit of a vl1g pixel, the grey level of the other formats
// (their palette is the grey ramp). vl24RGB pixels take the quantizer's indexes.
template <TVLPixelFormat S>
uint8_t PaletteIndexOf(const uint8_t* Row, int32_t X, const TRowContext& C) {
    using P = TPixel<S>;
    if constexpr (S == vl1g)
        return P::Bit(Row, X) ? 1 : 0;
    else
        return P::Gray8(Row, X, C);
}

template <TVLPixelFormat S, TVLPixelFormat D>
void ConvertRow(const uint8_t* Src, uint8_t* Dst, int32_t Width, const TRowContext& C) {
    using P = TPixel<S>;
    if constexpr (D == vl1g) {
        const uint8_t* matrixColumn = &OrderedDitherMatrix[0][C.Y & 7];
        for (int32_t x = 0; x < Width; ++x)
            if (matrixColumn[8 * (x & 7)] < DitherLevelOf<S>(Src, x, C))
                Dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    } else if constexpr (D == vl8p) {
        if constexpr (S == vl8g) {
            std::memcpy(Dst, Src, static_cast<size_t>(Width));
        } else if constexpr (S == vl24RGB) {
            C.Quantizer->RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(Src), Dst, Width);
        } else {
            for (int32_t x = 0; x < Width; ++x)
                Dst[x] = PaletteIndexOf<S>(Src, x, C);
        }
    } else if constexpr (D == vl8g) {
        for (int32_t x = 0; x < Width; ++x)
            Dst[x] = P::Gray8(Src, x, C);
    } else if constexpr (D == vl16g) {
        for (int32_t x = 0; x < Width; ++x)
            Store(Dst + 2 * x, P::Gray16(Src, x, C));
    } else if constexpr (D == vl24RGB) {
        for (int32_t x = 0; x < Width; ++x)
            Store(Dst + 3 * x, P::Rgb(Src, x, C));
    } else if constexpr (D == vl32f) {
        for (int32_t x = 0; x < Width; ++x)
            Store(Dst + 4 * x, P::GrayF(Src, x, C));
    } else if constexpr (D == vlRGB48) {
        for (int32_t x = 0; x < Width; ++x)
            Store(Dst + 6 * x, P::Rgb16(Src, x, C));
    } else if constexpr (D == vl32RGB) {
        for (int32_t x = 0; x < Width; ++x) {
            Store(Dst + 4 * x, P::Rgb(Src, x, C));
            Dst[4 * x + 3] = 255;
        }
    } else if constexpr (D == vlCMYK) {
        ConvertRGBRowToCMYK(reinterpret_cast<const TVLRGB*>(Src), Dst, Width);
    } else if constexpr (D == vlCIELab) {
        for (int32_t x = 0; x < Width; ++x)
            RGBToCIELab(Dst + 3 * x, Src[3 * x] | (Src[3 * x + 1] << 8) | (Src[3 * x + 2] << 16));
    }
}

// The vl24RGB rule applied to the source row read as vl24RGB pixels.
template <TVLPixelFormat D>
void ConvertRowVia24(const uint8_t* Src, uint8_t* Dst, int32_t Width, const TRowContext& C) {
    C.Reader->Read(Src, C.Buffer);
    ConvertRow<vl24RGB, D>(reinterpret_cast<const uint8_t*>(C.Buffer), Dst, Width, C);
}

constexpr bool HasOwnRules(TVLPixelFormat Format) {
    return Format == vl1g || Format == vl8p || Format == vl8g || Format == vl16g ||
           Format == vl24RGB || Format == vl32f || Format == vlRGB48;
}

// Whether the table gives the pair a rule of its own (else it goes through vl24RGB).
constexpr bool IsDirectPair(TVLPixelFormat S, TVLPixelFormat D) {
    if (!HasOwnRules(S)) return false;
    if (D == vlCMYK || D == vlCIELab) return S == vl24RGB;
    if (D == vl8p) return S != vlRGB48;
    return true;
}

// A vl8p destination from a format without its own rule needs the quantizer over the whole image
// in vl24RGB, so it goes through a vl24RGB copy instead of a row kernel.
constexpr bool NeedsRGBCopy(TVLPixelFormat S, TVLPixelFormat D) {
    return D == vl8p && !IsDirectPair(S, D) && S != vl8p;
}

template <TVLPixelFormat S, TVLPixelFormat D> constexpr TRowKernel PairKernel() {
    if constexpr (S == D || S == vlNone || D == vlNone || NeedsRGBCopy(S, D))
        return nullptr;
    else if constexpr (IsDirectPair(S, D))
        return ConvertRow<S, D>;
    else
        return ConvertRowVia24<D>;
}

using TKernelRow = std::array<TRowKernel, VLPixelFormatCount>;

template <size_t S, size_t... D> constexpr TKernelRow KernelRow(std::index_sequence<D...>) {
    return {PairKernel<static_cast<TVLPixelFormat>(S), static_cast<TVLPixelFormat>(D)>()...};
}

template <size_t... S>
constexpr std::array<TKernelRow, VLPixelFormatCount> KernelTable(std::index_sequence<S...>) {
    return {KernelRow<S>(std::make_index_sequence<VLPixelFormatCount>{})...};
}

// Kernels[source][destination]; nil where nothing is written or another route is taken.
constexpr auto Kernels = KernelTable(std::make_index_sequence<VLPixelFormatCount>{});

// ---------------------------------------------------------------------------------------------
// Row readers of TVLRowToRGB.

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
        TRowContext context;
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

void FillGrayRamp(TVLRGB* Palette) {
    for (int32_t i = 0; i < 256; ++i)
        Palette[i] = Grey(static_cast<uint8_t>(i));
}

} // namespace

TVLRowToRGB::TVLRowToRGB(TVLBitmap& Bitmap)
    : Kernel(RowReader(Bitmap.GetPixelFormat())),
      Width(Bitmap.GetWidth()), Palette{Bitmap.GetPalette(),
                                        Bitmap.GetPalette() ? Bitmap.GetPaletteLength() : 0} {}

void TVLBitmap::ConvertPixelsFrom(TVLBitmap& Source) {
    const TVLPixelFormat from = Source.GetPixelFormat();
    const TVLPixelFormat to = FPixelFormat;
    if (from == to || from == vlNone || to == vlNone ||
        static_cast<size_t>(from) >= VLPixelFormatCount ||
        static_cast<size_t>(to) >= VLPixelFormatCount)
        return;
    if (to == vl1g && DefaultDitherMethod != 0) {
        ThresholdTo1Bit(Source, *this, ThresholdMeanLuminance);
        return;
    }
    if (NeedsRGBCopy(from, to)) {
        TVLBitmap copy;
        copy.MinFileSize = Source.MinFileSize;
        AllocateOrThrow(copy, FWidth, FHeight, vl24RGB);
        copy.ConvertPixelsFrom(Source);
        ConvertPixelsFrom(copy);
        return;
    }
    const TRowKernel kernel = Kernels[static_cast<size_t>(from)][static_cast<size_t>(to)];
    if (kernel == nullptr || (to == vl8p && !FPalette)) return;

    const TVLRowToRGB reader(Source);
    TRowContext context;
    context.Palette = {Source.GetPalette(), Source.GetPalette() ? Source.GetPaletteLength() : 0};
    context.Reader = &reader;
    std::unique_ptr<TVLQuantizer> quantizer;
    if (to == vl8p) {
        if (from == vl1g) {
            FPalette[0] = Grey(0);
            FPalette[1] = Grey(255);
        } else if (from == vl24RGB) {
            std::vector<TVLRGB> colors(256);
            quantizer =
                std::make_unique<TVLQuantizer>(Source, colors, std::clamp(PaletteUsed, 1, 256));
            std::copy_n(colors.begin(), std::min(FPaletteLength, 256), FPalette.get());
            context.Quantizer = quantizer.get();
        } else {
            FillGrayRamp(FPalette.get());
        }
    }

    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(*this, VLAccessWrite);
    // A row's kernel reads that row alone (and its number), so bands of rows on the library's
    // threads give the bytes of one pass (the quantizer maps from any thread). CMYK goes through
    // the colour profiles' transforms, which keep state of their own between calls: it stays on
    // one thread.
    const bool bands = Source.GetLocation() != vlFile && FLocation != vlFile && from != vlCMYK &&
                       to != vlCMYK;
    RunRows(bands, FHeight, [&](int32_t First, int32_t Last) {
        std::vector<TVLRGB> buffer(FWidth);
        TRowContext band = context;
        band.Buffer = buffer.data();
        for (int32_t y = First; y < Last; ++y) {
            const uint8_t* src = CheckedScanline(Source, y);
            uint8_t* dst = CheckedScanline(*this, y);
            std::memset(dst, 0, FRowLen);
            band.Y = y;
            kernel(src, dst, FWidth, band);
        }
    });
}

void TVLBitmap::ConvertFrom(TVLBitmap& Source) {
    if (&Source == this || FLocation == vlTBitmap || Source.GetWidth() != GetWidth() ||
        Source.GetHeight() != GetHeight())
        return;
    if (!IsEmpty()) ConvertPixelsFrom(Source);
    if (Source.FAlphaChannel && !IsAlpha) FAlphaChannel = std::move(Source.FAlphaChannel);
    UpdateTBitmapPalette();
}

void TVLBitmap::SetPixelFormat(TVLPixelFormat Value) {
    if (Value == GetPixelFormat()) return;
    if (FLocation == vlTBitmap) {
        // vl16g is held as vl8g there, as an allocation there makes it.
        if (Value == vl16g) Value = vl8g;
        if (Value == GetPixelFormat()) return;
        if (!ClassBitmapHolds(Value)) {
            // No class-library format holds these pixels: they are converted in memory.
            if (!SetLocation(vlMemory)) throw EOutOfMemory(u"Out of memory");
        } else {
            SetTBitmapPixelFormat(Value);
            return;
        }
    }
    if (FPixelFormat == vlNone || IsEmpty()) {
        // No pixels to convert: storage in the new format when the size is known.
        FPixelFormat = Value;
        if (FWidth > 0 && FHeight > 0 && !AllocateStorage()) FWidth = FHeight = FRowLen = 0;
        return;
    }
    // The converted image is complete before the old one is given up.
    auto target = std::make_unique<TVLBitmap>();
    target->MinFileSize = MinFileSize;
    target->MemoryAllocator = MemoryAllocator;
    target->FBitAlignment = FBitAlignment;
    target->FLocation = FLocation;
    target->IsAlpha = IsAlpha;
    target->DefaultDitherMethod = DefaultDitherMethod;
    target->PaletteUsed = PaletteUsed;
    AllocateOrThrow(*target, FWidth, FHeight, Value);
    target->ConvertPixelsFrom(*this);
    CommitRelayout(*target);
    Full = false;
}

void TVLBitmap::SetTBitmapPixelFormat(TVLPixelFormat Value) {
    if (FVclBitmap != nullptr && !FVclBitmap->Empty()) {
        const TPixelFormat current = FVclBitmap->PixelFormat();
        if (current == pf1bit && Value == vl24RGB) {
            // Expanded apart first, so that the class-library bitmap changes only once the
            // expansion and its new rows exist.
            TBitmap expanded;
            Convert1BitTBitmapTo24Bit(*FVclBitmap, expanded);
            FVclBitmap->SetPixelFormat(pf24bit);
            const auto bytes = static_cast<size_t>(expanded.RowLength());
            for (int32_t r = 0; r < expanded.Height(); ++r)
                std::memcpy(FVclBitmap->ScanLine(r), expanded.ScanLine(r), bytes);
        } else if (current == pf24bit && Value == vl1g) {
            TVLBitmap wrapper;
            wrapper.EncapsulateTBitmap(FVclBitmap, false);
            if (DefaultDitherMethod == 0)
                ConvertTo1BitOrdered(wrapper);
            else
                ConvertTo1BitThreshold(wrapper, ThresholdMeanLuminance);
        } else if (current == pf24bit && Value == vl8g) {
            TVLBitmap grey;
            grey.AssignImage(*this);
            grey.SetPixelFormat(vl8g);
            AssignImage(grey);
        }
        // The other pairs keep the pixels; the fields follow what the class-library bitmap
        // holds, so that no row is ever walked with another pixel size than it has.
        FWidth = -1;
        SyncFromTBitmap();
        return;
    }
    if (FVclBitmap != nullptr) {
        if (Value == vl1g) FVclBitmap->SetPixelFormat(pf1bit);
        if (Value == vl24RGB) FVclBitmap->SetPixelFormat(pf24bit);
    }
    FPixelFormat = Value;
    RecomputeLayout();
    BuildScanlineCache();
}
