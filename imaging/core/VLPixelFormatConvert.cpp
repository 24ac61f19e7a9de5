// Pixel-format conversion of the library's bitmap: one row kernel per pair of formats, chosen once
// per conversion from a table built at compile time.
// The methods are TVLBitmap's (VLBitmap.h); rows are read through VLRowToRGB, and the reductions
// to one bit that the dither setting selects come from VLColorReduce.
#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLPixelSamples.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLRowToRGB.h"

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
using imaging_core::detail::TPaletteView;
using imaging_core::detail::TPixel;
using imaging_core::detail::TPixelContext;

namespace {

// What a row kernel needs besides its rows; read once per conversion.
struct TRowContext : TPixelContext {
    const TVLQuantizer* Quantizer = nullptr;
    const TVLRowToRGB* Reader = nullptr;
    // One row of vl24RGB pixels for the kernels that go through vl24RGB.
    TVLRGB* Buffer = nullptr;
    int32_t Y = 0;
};

using TRowKernel = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Width,
                            const TRowContext& Context);

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

void FillGrayRamp(TVLRGB* Palette) {
    for (int32_t i = 0; i < 256; ++i)
        Palette[i] = Grey(static_cast<uint8_t>(i));
}

} // namespace

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
