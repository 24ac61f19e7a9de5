// Rendering of a bitmap rectangle onto a 24-bit bitmap: clipping with scale, the nearest-neighbour
// lookup tables, the per-format row renderers (one template over the pixel layout), contrast,
// channel offsets and render operations, and the stretch that also writes the destination alpha.
#include "imaging/core/VLRender.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleFast.h"
#include "platform/gfx/Canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

using enum TVLPixelFormat;
using enum TVLLocation;
using namespace imaging_core::detail;

using imaging_core::detail::Grey;
using imaging_core::detail::Load;

namespace {

// ---------------------------------------------------------------------------------------------
// Geometry.

// Offsets beyond this cannot matter (every size is clamped to an int32 bitmap afterwards), and
// keeping them there keeps the 64-bit sums from wrapping.
constexpr int64_t FarAway = int64_t{1} << 40;

int64_t Bounded(int64_t Value) {
    return std::clamp(Value, -FarAway, FarAway);
}

// A render rectangle clipped to the destination and the source.
struct TRenderClip {
    // The destination start once a negative start is cut off: entry 0 of the lookup tables.
    int32_t OriginX = 0, OriginY = 0;
    // Destination and source rectangles clamped into their bitmaps.
    int32_t Dx = 0, Dy = 0, Dw = 0, Dh = 0;
    int32_t Sx = 0, Sy = 0, Sw = 0, Sh = 0;
    // Source pixels per destination pixel of the rectangles as asked for.
    double Xs = 0, Ys = 0;
};

// One axis: a negative destination start moves the source start by the matching number of source
// pixels; a destination running past Limit loses its end and the source the matching part.
void ClipAxis(int64_t& D, int64_t& DLen, int64_t& S, int64_t& SLen, double Scale, int64_t Limit) {
    if (D < 0) {
        const int64_t k = Bounded(Round(static_cast<double>(-D) * Scale));
        DLen += D;
        SLen -= k;
        S += k;
        D = 0;
    }
    if (D + DLen > Limit) {
        SLen -= Bounded(Trunc(static_cast<double>(D + DLen - Limit) * Scale));
        DLen = Limit - D;
    }
}

int32_t ClampInt(int64_t Value, int64_t Low, int64_t High) {
    return static_cast<int32_t>(std::max(std::min(Value, High), Low));
}

// False when nothing is left to draw. Sizes that are 0 or negative draw nothing.
bool ClipRenderRect(int32_t DestW, int32_t DestH, int32_t SourceW, int32_t SourceH, int32_t DstX,
                    int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
                    int32_t SrcW, int32_t SrcH, TRenderClip& Out) {
    if (DstW == 0 || DstH == 0 || SrcW == 0 || SrcH == 0) return false;
    if (DstY > DestH - 1 || DstX > DestW - 1) return false;
    Out.Xs = static_cast<double>(SrcW) / DstW;
    Out.Ys = static_cast<double>(SrcH) / DstH;
    int64_t dx = DstX, dy = DstY, dw = DstW, dh = DstH;
    int64_t sx = SrcX, sy = SrcY, sw = SrcW, sh = SrcH;
    ClipAxis(dx, dw, sx, sw, Out.Xs, DestW);
    ClipAxis(dy, dh, sy, sh, Out.Ys, DestH);
    Out.OriginX = static_cast<int32_t>(dx);
    Out.OriginY = static_cast<int32_t>(dy);
    Out.Dx = ClampInt(dx, 0, DestW - 1);
    Out.Dy = ClampInt(dy, 0, DestH - 1);
    Out.Dw = ClampInt(dw, 0, DestW);
    Out.Dh = ClampInt(dh, 0, DestH);
    Out.Sx = ClampInt(sx, 0, SourceW - 1);
    Out.Sy = ClampInt(sy, 0, SourceH - 1);
    Out.Sw = ClampInt(sw, 0, SourceW);
    Out.Sh = ClampInt(sh, 0, SourceH);
    return Out.Dw > 0 && Out.Dh > 0 && Out.Sw > 0 && Out.Sh > 0;
}

// Source position of table entry I: Trunc(I x Scale + Start), kept inside 0..Limit - 1.
int32_t TableEntry(int64_t I, double Scale, int32_t Start, int32_t Limit) {
    return ClampInt(Trunc(static_cast<double>(I) * Scale + Start), 0, Limit - 1);
}

// The entries of a lookup table for positions First..Last, entry 0 of Table standing for
// position Origin. An empty Table is built for Origin..End and Built set. A caller's table
// shortens Last while it has no entry or maps outside the source (as a table made for a larger
// source does at its end); entries outside the source further in are clamped in a copy kept in
// Checked. nil when nothing is left.
const int32_t* PrepareTable(std::vector<int32_t>& Table, std::vector<int32_t>& Checked, bool& Built,
                            int32_t Origin, int32_t First, int32_t& Last, int32_t End, double Scale,
                            int32_t Start, int32_t Limit) {
    if (Table.empty()) {
        Table.resize(static_cast<size_t>(End) - Origin + 1);
        for (size_t i = 0; i < Table.size(); ++i)
            Table[i] = TableEntry(static_cast<int64_t>(i), Scale, Start, Limit);
        Built = true;
        return Table.data() + (First - Origin);
    }
    auto entry = [&](int32_t Position) { return static_cast<size_t>(Position - Origin); };
    while (Last >= First && (entry(Last) >= Table.size() || Table[entry(Last)] >= Limit))
        --Last;
    if (Last < First) return nullptr;
    const int32_t* first = Table.data() + entry(First);
    const int32_t* last = Table.data() + entry(Last) + 1;
    if (std::all_of(first, last, [Limit](int32_t v) { return v >= 0 && v < Limit; })) return first;
    Checked.resize(last - first);
    std::transform(first, last, Checked.begin(),
                   [Limit](int32_t v) { return ClampToRange(v, 0, Limit - 1); });
    return Checked.data();
}

// ---------------------------------------------------------------------------------------------
// The adjustment of 24-, 32- and 48-bit sources: contrast and channel offsets.

// The contrast factor and the offsets added to red, green and blue, kept in ranges where the
// 64-bit products cannot wrap and the clamped results do not change.
struct TAdjustment {
    explicit TAdjustment(TVLBitmap& Source)
        : Factor(std::clamp<int64_t>(RenderContrastFactor(Source.Contrast), -(int64_t{1} << 38),
                                     int64_t{1} << 38)),
          Red(Source.ChannelOffset[0]), Green(Source.ChannelOffset[1]),
          Blue(Source.ChannelOffset[2]) {}

    // clamp(((c + Offset - 128) x F) div 65536 + 128), the division truncating toward zero.
    uint8_t Channel8(int32_t C, int32_t Offset) const {
        const int64_t v = std::clamp<int64_t>(int64_t{C} + Offset - 128, -(1 << 24), 1 << 24);
        return ClampToByte(static_cast<int32_t>((v * Factor) / 65536 + 128));
    }
    // clamp(Trunc((w + Offset - 32768) x F / 65536 + 32768) shr 8).
    uint8_t Channel16(int32_t W, int32_t Offset) const {
        const double v = static_cast<double>(int64_t{W} + Offset - 32768);
        const int64_t t = Bounded(Trunc(v * static_cast<double>(Factor) / 65536 + 32768));
        return ClampToByte(static_cast<int32_t>(t >> 8));
    }

    int64_t Factor;
    int32_t Red, Green, Blue;
};

// The 8-bit adjustment of each channel as a table, built once per call.
struct TAdjustTables {
    explicit TAdjustTables(const TAdjustment& A) {
        for (int32_t c = 0; c < 256; ++c) {
            Blue[c] = A.Channel8(c, A.Blue);
            Green[c] = A.Channel8(c, A.Green);
            Red[c] = A.Channel8(c, A.Red);
        }
    }
    void Apply(TVLRGB* Pixels, int32_t Count) const {
        for (int32_t i = 0; i < Count; ++i) {
            Pixels[i].b = Blue[Pixels[i].b];
            Pixels[i].g = Green[Pixels[i].g];
            Pixels[i].r = Red[Pixels[i].r];
        }
    }
    std::array<uint8_t, 256> Blue{}, Green{}, Red{};
};

// The adjustment runs when the offsets are switched on, a contrast is set or an operation other
// than a copy combines the pixels; the offsets are added in all three cases.
bool AdjustmentRuns(TVLBitmap& Source, TVLRenderOperation Operation) {
    return Source.EnableChannelOffset || Source.Contrast != 0 || Operation != vlroCopy;
}

// ---------------------------------------------------------------------------------------------
// Pixel layouts: each reads Count source pixels of one row, at the columns of a table, as blue,
// green, red. RepeatRows: a repeated source row may be copied from the destination row above
// over a solid background. Constructed with Adjust, the 24-, 32- and 48-bit layouts adjust what
// they read, and Adjusts() tells the renderer to combine the pixels by the render operation.

// vl24RGB (Stride 3) and vl32RGB (Stride 4, the fourth byte ignored).
template <int Stride> class TBgrLayout {
public:
    static constexpr bool RepeatRows = true;
    TBgrLayout(TVLBitmap& Source, bool Adjust) {
        if (Adjust) FTables = std::make_unique<TAdjustTables>(TAdjustment(Source));
    }
    bool Adjusts() const { return FTables != nullptr; }
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i)
            Out[i] = Load<TVLRGB>(Row + static_cast<ptrdiff_t>(Stride) * XTable[i]);
        if (FTables) FTables->Apply(Out, Count);
    }

private:
    std::unique_ptr<TAdjustTables> FTables;
};

// vlRGB48: red, green, blue words; the high byte of each, or the 16-bit adjustment.
class TRgb48Layout {
public:
    static constexpr bool RepeatRows = false;
    TRgb48Layout(TVLBitmap& Source, bool Adjust) {
        if (Adjust) FAdjustment = std::make_unique<TAdjustment>(Source);
    }
    bool Adjusts() const { return FAdjustment != nullptr; }
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i) {
            const uint8_t* p = Row + static_cast<ptrdiff_t>(6) * XTable[i];
            const auto r = Load<uint16_t>(p), g = Load<uint16_t>(p + 2), b = Load<uint16_t>(p + 4);
            if (FAdjustment)
                Out[i] = {FAdjustment->Channel16(b, FAdjustment->Blue),
                          FAdjustment->Channel16(g, FAdjustment->Green),
                          FAdjustment->Channel16(r, FAdjustment->Red)};
            else
                Out[i] = {static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(g >> 8),
                          static_cast<uint8_t>(r >> 8)};
        }
    }

private:
    std::unique_ptr<TAdjustment> FAdjustment;
};

// Layouts that only read: no adjustment, no operation.
struct TPlainLayout {
    static constexpr bool Adjusts() { return false; }
};

// vl1g: a set bit is white, a clear one black.
struct TBitLayout : TPlainLayout {
    static constexpr bool RepeatRows = true;
    TBitLayout(TVLBitmap&, bool) {}
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i) {
            const int32_t c = XTable[i];
            Out[i] = Grey((Row[c >> 3] & (0x80 >> (c & 7))) != 0 ? 255 : 0);
        }
    }
};

// Level mapping of the grey formats: samples clamped to [Black, White] and stretched to 0..255,
// Trunc((v - Black) / (White - Black) x 255).
double LevelOf(double V, double Black, double White) {
    const double v = V < Black ? Black : V > White ? White : V;
    return (v - Black) / (White - Black) * 255;
}

uint8_t LevelByte(double Level) {
    return Level > 0 ? ClampToByte(static_cast<int32_t>(std::min(Level, 255.0))) : 0;
}

// The integer black and white values of vl8g and vl16g, and whether they map at all: only while
// they differ after truncation (equal integer bounds would divide by zero).
struct TIntegerLevels {
    explicit TIntegerLevels(TVLBitmap& Source)
        : Black(static_cast<double>(Trunc(Source.BlackValue))),
          White(static_cast<double>(Trunc(Source.WhiteValue))),
          Maps(Source.WhiteValue - Source.BlackValue != 0 && Black != White) {}
    double Black, White;
    bool Maps;
};

// vl8g: the byte, or its level, through a table built once per call.
class TGray8Layout : public TPlainLayout {
public:
    static constexpr bool RepeatRows = false;
    TGray8Layout(TVLBitmap& Source, bool) {
        const TIntegerLevels levels(Source);
        for (int32_t v = 0; v < 256; ++v)
            FLevels[v] = levels.Maps ? LevelByte(LevelOf(v, levels.Black, levels.White))
                                     : static_cast<uint8_t>(v);
    }
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i)
            Out[i] = Grey(FLevels[Row[XTable[i]]]);
    }

private:
    std::array<uint8_t, 256> FLevels{};
};

// vl16g: the high byte, or the level of the word.
class TGray16Layout : public TPlainLayout {
public:
    static constexpr bool RepeatRows = false;
    TGray16Layout(TVLBitmap& Source, bool) : FLevels(Source) {}
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i) {
            const auto w = Load<uint16_t>(Row + static_cast<ptrdiff_t>(2) * XTable[i]);
            Out[i] = Grey(FLevels.Maps ? LevelByte(LevelOf(w, FLevels.Black, FLevels.White))
                                       : static_cast<uint8_t>(w >> 8));
        }
    }

private:
    TIntegerLevels FLevels;
};

// vl32f: Trunc(f x 255) kept in 0..255, or the level of the float; NaN reads black.
class TFloatLayout : public TPlainLayout {
public:
    static constexpr bool RepeatRows = false;
    TFloatLayout(TVLBitmap& Source, bool)
        : FBlack(Source.BlackValue), FWhite(Source.WhiteValue), FMaps(FWhite - FBlack != 0) {}
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i) {
            const double f = Load<float>(Row + static_cast<ptrdiff_t>(4) * XTable[i]);
            Out[i] = Grey(LevelByte(FMaps ? LevelOf(f, FBlack, FWhite) : std::trunc(f * 255)));
        }
    }

private:
    double FBlack, FWhite;
    bool FMaps;
};

// vl8p: the palette entry (the palette always has 256 entries).
class TPaletteLayout : public TPlainLayout {
public:
    static constexpr bool RepeatRows = false;
    TPaletteLayout(TVLBitmap& Source, bool) {
        std::copy_n(Source.GetPalette(), std::min(Source.GetPaletteLength(), 256),
                    FPalette.begin());
    }
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i)
            Out[i] = FPalette[Row[XTable[i]]];
    }

private:
    std::array<TVLRGB, 256> FPalette{};
};

// vlCIELab: L, a, b bytes through the CIELab conversion.
struct TLabLayout : TPlainLayout {
    static constexpr bool RepeatRows = false;
    TLabLayout(TVLBitmap&, bool) {}
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) const {
        for (int32_t i = 0; i < Count; ++i) {
            const uint8_t* p = Row + static_cast<ptrdiff_t>(3) * XTable[i];
            CIELabToRGB(Out[i], p[0] | (p[1] << 8) | (p[2] << 16));
        }
    }
};

// vlCMYK: the stored C, M, Y, K bytes gathered into a row and converted in one call, so that a
// colour-managed conversion makes one transform per row.
class TCmykLayout : public TPlainLayout {
public:
    static constexpr bool RepeatRows = false;
    TCmykLayout(TVLBitmap&, bool) {}
    void Read(const uint8_t* Row, const int32_t* XTable, int32_t Count, TVLRGB* Out) {
        FInks.resize(4 * static_cast<size_t>(Count));
        for (int32_t i = 0; i < Count; ++i)
            std::memcpy(&FInks[4 * static_cast<size_t>(i)],
                        Row + static_cast<ptrdiff_t>(4) * XTable[i], 4);
        ConvertCMYKRowToRGB(FInks.data(), Out, Count);
    }

private:
    std::vector<uint8_t> FInks;
};

// ---------------------------------------------------------------------------------------------
// The row renderer, written once over the pixel layout.

void BlendSpan(TVLRGB* Dest, const TVLRGB* Pixels, const uint8_t* Weights, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        const uint8_t w = Weights[i];
        Dest[i] = {Blend255<uint8_t>(Pixels[i].b, Dest[i].b, w),
                   Blend255<uint8_t>(Pixels[i].g, Dest[i].g, w),
                   Blend255<uint8_t>(Pixels[i].r, Dest[i].r, w)};
    }
}

// Weight of each pixel: min(Transparency, alpha) with the alpha row, else Transparency.
void GatherWeights(const uint8_t* AlphaRow, const int32_t* XTable, int32_t Count,
                   uint8_t Transparency, uint8_t* Weights) {
    if (Count <= 0) return;
    if (AlphaRow == nullptr) {
        std::memset(Weights, Transparency, static_cast<size_t>(Count));
        return;
    }
    for (int32_t i = 0; i < Count; ++i)
        Weights[i] = std::min(Transparency, AlphaRow[XTable[i]]);
}

// Renders of fewer pixels run on the calling thread.
constexpr int64_t MinBandedPixels = 1 << 17;

template <class LayoutT>
void StretchRowsOf(TVLBitmap& Source, const TVLStretchRowsParams& P, bool Blend) {
    if (P.X2 < P.X1 || P.Y2 < P.Y1) return;
    LayoutT layout(Source, AdjustmentRuns(Source, P.RenderOperation));
    const int32_t count = P.X2 - P.X1 + 1;
    const size_t spanBytes = 3 * static_cast<size_t>(count);
    const bool combine = layout.Adjusts();
    const TVLRenderOperationRow operation =
        combine ? RenderOperationRow(P.RenderOperation) : nullptr;
    // Opaque plain pixels go straight into the destination row.
    const bool direct = !Blend && !combine;
    TVLBitmap* alpha = Blend && P.UseAlpha ? Source.GetAlphaChannel() : nullptr;
    const auto transparency = static_cast<uint8_t>(std::clamp(P.Transparency, 0, 255));
    // Each band starts by reading its first row, so the rows are those of one pass. The CMYK
    // layout keeps its conversion's state, and rows of a file are mapped one at a time; small
    // areas (a scroll's strip) are not worth waking the pool for.
    const int32_t rows = P.Y2 - P.Y1 + 1;
    const bool bands = !std::is_same_v<LayoutT, TCmykLayout> &&
                       static_cast<int64_t>(count) * rows >= MinBandedPixels &&
                       Source.GetLocation() != TVLLocation::vlFile &&
                       (alpha == nullptr || alpha->GetLocation() != TVLLocation::vlFile);
    RunRows(bands, rows, [&](int32_t First, int32_t Last) {
        std::vector<TVLRGB> pixels(direct ? 0 : count), under(combine ? count : 0);
        std::vector<uint8_t> weights(Blend ? count : 0);
        int32_t previous = -1;
        for (int32_t y = P.Y1 + First; y < P.Y1 + Last; ++y) {
            const int32_t r = P.YTable[y - P.Y1];
            uint8_t* row = P.RowTable[y];
            auto* target = reinterpret_cast<TVLRGB*>(row + 3 * static_cast<size_t>(P.X1));
            if (r == previous) {
                if (LayoutT::RepeatRows && P.SolidBackground) {
                    std::memcpy(row, P.RowTable[y - 1], P.DestRowLen);
                    continue;
                }
                // The row above holds exactly these pixels.
                if (direct) {
                    std::memcpy(target, P.RowTable[y - 1] + 3 * static_cast<size_t>(P.X1),
                                spanBytes);
                    continue;
                }
            }
            previous = r;
            const uint8_t* src = CheckedScanline(Source, r);
            if (direct) {
                layout.Read(src, P.XTable, count, target);
                continue;
            }
            layout.Read(src, P.XTable, count, pixels.data());
            if (combine) {
                std::memcpy(under.data(), target, spanBytes);
                operation(pixels.data(), under.data(), count);
                pixels.swap(under);
            }
            if (!Blend) {
                std::memcpy(target, pixels.data(), spanBytes);
                continue;
            }
            GatherWeights(alpha != nullptr ? CheckedScanline(*alpha, r) : nullptr, P.XTable,
                          count, transparency, weights.data());
            BlendSpan(target, pixels.data(), weights.data(), count);
        }
    });
}

// The 1:1 copy of a 24-bit source: row blocks, no tables.
void CopyRowBlocks(TVLBitmap& Source, const TVLStretchRowsParams& P) {
    const size_t bytes = 3 * static_cast<size_t>(P.X2 - P.X1 + 1);
    const size_t from = 3 * static_cast<size_t>(P.X1 - P.DstX + P.SrcX);
    for (int32_t y = P.Y1; y <= P.Y2; ++y)
        std::memcpy(P.RowTable[y] + 3 * static_cast<size_t>(P.X1),
                    CheckedScanline(Source, y - P.DstY + P.SrcY) + from, bytes);
}

using TRowRenderer = void (TVLBitmap::*)(const TVLStretchRowsParams&);

// The opaque and the blending renderer of a pixel format; nil for vlNone.
std::pair<TRowRenderer, TRowRenderer> RowRenderers(TVLPixelFormat Format) {
    switch (Format) {
    case vl24RGB:
        return {&TVLBitmap::StretchRows24RGB, &TVLBitmap::StretchRows24RGBAlpha};
    case vl32RGB:
        return {&TVLBitmap::StretchRows32RGB, &TVLBitmap::StretchRows32RGBAlpha};
    case vl1g:
        return {&TVLBitmap::StretchRows1g, &TVLBitmap::StretchRows1gAlpha};
    case vl8g:
        return {&TVLBitmap::StretchRows8g, &TVLBitmap::StretchRows8gAlpha};
    case vl8p:
        return {&TVLBitmap::StretchRows8p, &TVLBitmap::StretchRows8pAlpha};
    case vl16g:
        return {&TVLBitmap::StretchRows16g, &TVLBitmap::StretchRows16gAlpha};
    case vl32f:
        return {&TVLBitmap::StretchRows32f, &TVLBitmap::StretchRows32fAlpha};
    case vlCMYK:
        return {&TVLBitmap::StretchRowsCMYK, &TVLBitmap::StretchRowsCMYKAlpha};
    case vlCIELab:
        return {&TVLBitmap::StretchRowsCIELab, &TVLBitmap::StretchRowsCIELabAlpha};
    case vlRGB48:
        return {&TVLBitmap::StretchRowsRGB48, &TVLBitmap::StretchRowsRGB48Alpha};
    default:
        return {nullptr, nullptr};
    }
}

// The source's alpha channel when it is to be used: present, of the source's size and not full.
bool SourceAlphaInUse(TVLBitmap& Source) {
    if (!Source.HasAlphaChannel()) return false;
    TVLBitmap& alpha = *Source.GetAlphaChannel();
    return !alpha.Full && alpha.GetWidth() == Source.GetWidth() &&
           alpha.GetHeight() == Source.GetHeight() && alpha.GetPixelFormat() == vl8g;
}

// The destination's row table: the caller's when it still describes Dest, else built here.
bool PrepareRowTable(TVLBitmap& Dest, std::vector<uint8_t*>& RowTable) {
    const int32_t height = Dest.GetHeight();
    if (RowTable.size() == static_cast<size_t>(height) && RowTable.front() == Dest.GetScanline(0) &&
        RowTable.back() == Dest.GetScanline(height - 1))
        return false;
    RowTable.resize(height);
    for (int32_t y = 0; y < height; ++y)
        RowTable[y] = Dest.GetScanline(y);
    return true;
}

// Tables built by one call, freed at its end unless the caller keeps them.
class TBuiltTables {
public:
    TBuiltTables(TVLRenderTables& Tables, bool Free) : FTables(Tables), FFree(Free) {}
    ~TBuiltTables() {
        if (!FFree) return;
        if (Rows) FTables.RowTable.clear();
        if (Columns) FTables.XTable.clear();
        if (Lines) FTables.YTable.clear();
    }
    TBuiltTables(const TBuiltTables&) = delete;
    TBuiltTables& operator=(const TBuiltTables&) = delete;
    bool Rows = false, Columns = false, Lines = false;

private:
    TVLRenderTables& FTables;
    bool FFree;
};

// ---------------------------------------------------------------------------------------------
// The filtered path: the source rectangle resampled to the destination size, then drawn 1:1.

bool IsProjection(TResampleFilter Filter) {
    return Filter == rfProjectBW || Filter == rfProjectWB;
}

// The part of the source a clipped rectangle shows, never beyond the source.
TRect SourcePart(TVLBitmap& Source, const TRenderClip& C) {
    return {C.Sx, C.Sy, C.Sx + std::min(C.Sw, Source.GetWidth() - C.Sx),
            C.Sy + std::min(C.Sh, Source.GetHeight() - C.Sy)};
}

// Source's rectangle, with its alpha when UseAlpha, resampled by Filter into Resized (Dw x Dh):
// a vl1g source into vl1g for the projections, else into grey vl24RGB; a vl24RGB source into
// vl24RGB. A rectangle that is not the whole source is copied out first.
void ResampleRect(TVLBitmap& Source, const TRenderClip& C, bool UseAlpha, TResampleFilter Filter,
                  TVLBitmap& Resized) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    const TRect part = SourcePart(Source, C);
    const int32_t w = part.Right - part.Left, h = part.Bottom - part.Top;
    if (format == vl24RGB && Filter == rfFastLinear && !UseAlpha) {
        // The viewer's filter reads the part in place: no copy of a large picture's rectangle.
        AllocateOrThrow(Resized, C.Dw, C.Dh, vl24RGB);
        ResampleFastLinear24Part(Source, part, Resized);
        return;
    }
    TVLBitmap copy;
    TVLBitmap* from = &Source;
    if (w != Source.GetWidth() || h != Source.GetHeight()) {
        AllocateOrThrow(copy, w, h, format);
        Source.CopyRectTo(copy, part.Left, part.Top, 0, 0, w, h);
        if (UseAlpha)
            Source.GetAlphaChannel()->CopyRectTo(*copy.GetAlphaChannel(), part.Left, part.Top, 0, 0,
                                                 w, h);
        from = &copy;
    }
    AllocateOrThrow(Resized, C.Dw, C.Dh, format == vl1g && IsProjection(Filter) ? vl1g : vl24RGB);
    if (format == vl1g)
        _Resample1BitEx(*from, Resized, Filter);
    else
        _ResampleEx(*from, Resized, Filter);
    if (!UseAlpha) return;
    TVLBitmap* alpha = Resized.GetAlphaChannel();
    _Resample8BitEx(*from->GetAlphaChannel(), *alpha, Filter);
    alpha->Full = false;
}

// A vl1g source reduced by area averaging into grey vl24RGB of Dw x Dh.
void ShrinkBits(TVLBitmap& Source, const TRenderClip& C, TVLBitmap& Resized) {
    const TRect part = SourcePart(Source, C);
    AllocateOrThrow(Resized, C.Dw, C.Dh, vl24RGB);
    Shrink1BitToGray(Source, part.Left, part.Top, part.Right - 1, part.Bottom - 1, Resized);
}

// The filtered path serves vl1g and vl24RGB sources whose size changes.
bool TakesFilteredPath(TVLBitmap& Source, TResampleFilter Filter, int32_t DstW, int32_t DstH,
                       int32_t SrcW, int32_t SrcH) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    return Filter != rfNone && (DstW != SrcW || DstH != SrcH) &&
           (format == vl1g || format == vl24RGB);
}

// The clipped rectangle resampled to the destination size, with the source's adjustment
// settings; a vl1g source reduced without alpha is averaged by area instead (its grey result is
// not adjusted, as a vl1g source never is).
void ResampleFiltered(TVLBitmap& Source, const TRenderClip& C, bool EnableAlpha,
                      TResampleFilter Filter, TVLBitmap& Resized) {
    const bool useAlpha = EnableAlpha && SourceAlphaInUse(Source);
    if (Source.GetPixelFormat() == vl1g && C.Sw >= C.Dw && !useAlpha && !IsProjection(Filter)) {
        ShrinkBits(Source, C, Resized);
    } else {
        ResampleRect(Source, C, useAlpha, Filter, Resized);
        std::copy_n(Source.ChannelOffset, 4, Resized.ChannelOffset);
        Resized.EnableChannelOffset = Source.EnableChannelOffset;
        Resized.Contrast = Source.Contrast;
    }
}

// The resampled rectangle drawn unscaled at the clipped destination.
void RenderFiltered(TVLBitmap& Source, TVLBitmap& Dest, const TRect* ClipRect, const TRenderClip& C,
                    bool EnableAlpha, bool SolidBackground, int32_t Transparency,
                    TResampleFilter Filter, TVLRenderOperation Operation) {
    TVLBitmap resized;
    ResampleFiltered(Source, C, EnableAlpha, Filter, resized);
    TVLRenderTables tables;
    resized.RenderRectToBitmapEx(Dest, tables, ClipRect, C.Dx, C.Dy, C.Dw, C.Dh, 0, 0, C.Dw, C.Dh,
                                 EnableAlpha, SolidBackground, Transparency, rfNone, true,
                                 Operation);
}

// ---------------------------------------------------------------------------------------------
// The stretch that writes the destination alpha.

// Entries for positions First..Last: ((p - Origin) x Step) div 16384 + Start, in 64 bits and
// kept inside 0..Limit - 1.
std::vector<int32_t> FixedStepTable(int32_t First, int32_t Last, int32_t Origin, int64_t Step,
                                    int32_t Start, int32_t Limit) {
    std::vector<int32_t> table(static_cast<size_t>(Last) - First + 1);
    for (int32_t p = First; p <= Last; ++p)
        table[p - First] = ClampInt(
            (static_cast<int64_t>(p - Origin) * Step) / VLStretchOne + Start, 0, Limit - 1);
    return table;
}

// The drawn range of StretchRectWithAlphaTo and where its pixels come from.
struct TAlphaStretch {
    int32_t X1 = 0, X2 = -1, Y1 = 0, Y2 = -1;
    // Source column and row of X1 and Y1 at 1:1 (no tables).
    int32_t SrcX = 0, SrcY = 0;
    std::vector<int32_t> XTable, YTable;
    bool Tables() const { return !XTable.empty(); }
    int32_t Count() const { return X2 - X1 + 1; }
    int32_t SourceRow(int32_t Y) const { return Tables() ? YTable[Y - Y1] : Y - Y1 + SrcY; }
};

// Dest's alpha over the range: the source's alpha (when in use) capped at Opacity, else Opacity.
void StretchAlphaInto(TVLBitmap& Source, TVLBitmap& DestAlpha, const TAlphaStretch& S,
                      uint8_t Opacity) {
    TRowPassScope writing(DestAlpha, VLAccessRead | VLAccessWrite);
    const int32_t count = S.Count();
    DestAlpha.Full = DestAlpha.Full && Opacity == 255;
    if (!SourceAlphaInUse(Source)) {
        for (int32_t y = S.Y1; y <= S.Y2; ++y)
            std::memset(CheckedScanline(DestAlpha, y) + S.X1, Opacity, count);
        return;
    }
    TVLBitmap& alpha = *Source.GetAlphaChannel();
    TRowPassScope reading(alpha, VLAccessRead);
    for (int32_t y = S.Y1; y <= S.Y2; ++y) {
        uint8_t* dst = CheckedScanline(DestAlpha, y) + S.X1;
        const uint8_t* src = CheckedScanline(alpha, S.SourceRow(y));
        for (int32_t i = 0; i < count; ++i)
            dst[i] = std::min(Opacity, src[S.Tables() ? S.XTable[i] : S.SrcX + i]);
    }
    DestAlpha.Full = false;
}

// Dest's pixels over the range: a vl1g source white or black, a vl24RGB source copied; other
// formats write no pixels.
void StretchPixelsInto(TVLBitmap& Source, TVLBitmap& Dest, const TAlphaStretch& S) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format != vl1g && format != vl24RGB) return;
    TRowPassScope writing(Dest, VLAccessRead | VLAccessWrite);
    const TBitLayout bits(Source, false);
    const TBgrLayout<3> bgr(Source, false);
    const int32_t count = S.Count();
    for (int32_t y = S.Y1; y <= S.Y2; ++y) {
        auto* dst = reinterpret_cast<TVLRGB*>(CheckedScanline(Dest, y) + 3 * size_t(S.X1));
        const uint8_t* src = CheckedScanline(Source, S.SourceRow(y));
        if (!S.Tables())
            std::memcpy(dst, src + 3 * size_t(S.SrcX), 3 * size_t(count));
        else if (format == vl1g)
            bits.Read(src, S.XTable.data(), count, dst);
        else
            bgr.Read(src, S.XTable.data(), count, dst);
    }
}

void StretchNearestWithAlphaTo(TVLBitmap& Source, TVLBitmap& Dest, int32_t DstX, int32_t DstY,
                               int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                               int32_t SrcH, uint8_t Opacity) {
    TRenderClip clip;
    if (!ClipRenderRect(Dest.GetWidth(), Dest.GetHeight(), Source.GetWidth(), Source.GetHeight(),
                        DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, clip))
        return;
    TAlphaStretch s;
    s.X1 = clip.Dx;
    s.X2 = std::min(clip.Dx + clip.Dw - 1, Dest.GetWidth() - 1);
    s.Y1 = clip.Dy;
    s.Y2 = std::min(clip.Dy + clip.Dh - 1, Dest.GetHeight() - 1);
    s.SrcX = clip.Sx;
    s.SrcY = clip.Sy;
    const int64_t xstep = Trunc(clip.Xs * VLStretchOne);
    const int64_t ystep = Trunc(clip.Ys * VLStretchOne);
    const bool covered =
        s.X2 - s.X1 + s.SrcX < Source.GetWidth() && s.Y2 - s.Y1 + s.SrcY < Source.GetHeight();
    if (xstep != VLStretchOne || ystep != VLStretchOne || !covered ||
        Source.GetPixelFormat() == vl1g || SourceAlphaInUse(Source)) {
        s.XTable = FixedStepTable(s.X1, s.X2, clip.Dx, xstep, clip.Sx, Source.GetWidth());
        s.YTable = FixedStepTable(s.Y1, s.Y2, clip.Dy, ystep, clip.Sy, Source.GetHeight());
    }
    TRowPassScope reading(Source, VLAccessRead);
    TVLBitmap* destAlpha = Dest.GetAlphaChannel();
    if (destAlpha != nullptr && destAlpha->GetWidth() == Dest.GetWidth() &&
        destAlpha->GetHeight() == Dest.GetHeight())
        StretchAlphaInto(Source, *destAlpha, s, Opacity);
    StretchPixelsInto(Source, Dest, s);
}

} // namespace

int64_t RenderContrastFactor(int32_t Contrast) {
    if (Contrast >= 0) return Trunc((Contrast / 10.0 + 1) * 65536);
    return Trunc((1 - std::sqrt(-static_cast<double>(Contrast)) / 10) * 65536);
}

void TVLBitmap::RenderRectToBitmapEx(TVLBitmap& Dest, TVLRenderTables& Tables,
                                     const TRect* ClipRect, int32_t DstX, int32_t DstY,
                                     int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY,
                                     int32_t SrcW, int32_t SrcH, bool EnableAlpha,
                                     bool SolidBackground, int32_t Transparency,
                                     TResampleFilter Filter, bool FreeTables,
                                     TVLRenderOperation RenderOperation) {
    if (&Dest == this || Dest.GetPixelFormat() != vl24RGB || Dest.GetLocation() == vlFile ||
        Dest.IsEmpty() || IsEmpty())
        return;
    TRowPassScope reading(*this, VLAccessRead);
    TRenderClip clip;
    if (!ClipRenderRect(Dest.GetWidth(), Dest.GetHeight(), GetWidth(), GetHeight(), DstX, DstY,
                        DstW, DstH, SrcX, SrcY, SrcW, SrcH, clip))
        return;
    if (TakesFilteredPath(*this, Filter, clip.Dw, clip.Dh, clip.Sw, clip.Sh)) {
        // The renderer runs inside painting: a work bitmap that cannot be had, or a file row that
        // cannot be mapped, leaves Dest partly drawn and returns instead of breaking the paint
        // cycle with an exception. The same holds for the two other entry points below.
        try {
            RenderFiltered(*this, Dest, ClipRect, clip, EnableAlpha, SolidBackground, Transparency,
                           Filter, RenderOperation);
        } catch (const Exception&) {
        } catch (const std::bad_alloc&) {
        }
        return;
    }
    TBuiltTables built(Tables, FreeTables);
    try {
        TVLStretchRowsParams p;
        p.RenderOperation = RenderOperation;
        p.SolidBackground = SolidBackground;
        p.Transparency = std::clamp(Transparency, 0, 255);
        p.YStep =
            static_cast<int32_t>(Trunc(static_cast<double>(clip.Sh) / clip.Dh * VLStretchOne));
        p.XStep =
            static_cast<int32_t>(Trunc(static_cast<double>(clip.Sw) / clip.Dw * VLStretchOne));
        const int32_t lastX = std::min(clip.Dx + clip.Dw - 1, Dest.GetWidth() - 1);
        const int32_t lastY = std::min(clip.Dy + clip.Dh - 1, Dest.GetHeight() - 1);
        p.X1 = clip.Dx;
        p.X2 = lastX;
        p.Y1 = clip.Dy;
        p.Y2 = lastY;
        if (ClipRect != nullptr) {
            p.X1 = std::max(p.X1, ClipRect->Left);
            p.X2 = std::min(p.X2, ClipRect->Right);
            p.Y1 = std::max(p.Y1, ClipRect->Top);
            p.Y2 = std::min(p.Y2, ClipRect->Bottom);
        }
        if (p.X1 > p.X2 || p.Y1 > p.Y2) return;
        p.DstX = clip.Dx;
        p.DstY = clip.Dy;
        p.SrcX = clip.Sx;
        p.SrcY = clip.Sy;
        p.UseAlpha = EnableAlpha && SourceAlphaInUse(*this);
        built.Rows = PrepareRowTable(Dest, Tables.RowTable);
        p.RowTable = Tables.RowTable.data();
        p.DestRowLen = Dest.GetRowLen();

        // 1:1 without blending or adjustment, the source covering every drawn pixel: row blocks.
        const bool covered =
            p.X2 - p.DstX + p.SrcX < GetWidth() && p.Y2 - p.DstY + p.SrcY < GetHeight();
        if (p.XStep == VLStretchOne && p.YStep == VLStretchOne && GetPixelFormat() == vl24RGB &&
            p.Transparency >= 255 && !p.UseAlpha && !AdjustmentRuns(*this, RenderOperation) &&
            covered) {
            StretchRows24RGB(p);
            return;
        }
        std::vector<int32_t> checkedX, checkedY;
        p.XTable = PrepareTable(Tables.XTable, checkedX, built.Columns, clip.OriginX, p.X1, p.X2,
                                lastX, clip.Xs, clip.Sx, GetWidth());
        p.YTable = PrepareTable(Tables.YTable, checkedY, built.Lines, clip.OriginY, p.Y1, p.Y2,
                                lastY, clip.Ys, clip.Sy, GetHeight());
        if (p.XTable == nullptr || p.YTable == nullptr) return;
        const auto [opaque, blending] = RowRenderers(GetPixelFormat());
        if (opaque == nullptr) return;
        (this->*(p.Transparency < 255 || p.UseAlpha ? blending : opaque))(p);
    } catch (const Exception&) {
    } catch (const std::bad_alloc&) {
    }
}

void TVLBitmap::RenderRectToBitmap(TVLBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW,
                                   int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                   int32_t SrcH, int32_t Transparency, TResampleFilter Filter,
                                   TVLRenderOperation RenderOperation) {
    TVLRenderTables tables;
    RenderRectToBitmapEx(Dest, tables, nullptr, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH,
                         true, false, Transparency, Filter, true, RenderOperation);
}

void TVLBitmap::RenderRectToTBitmapEx(TBitmap& Dest, TVLRenderTables& Tables, const TRect* ClipRect,
                                      int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                                      int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                                      bool EnableAlpha, bool SolidBackground, int32_t Transparency,
                                      TResampleFilter Filter, bool FreeTables,
                                      TVLRenderOperation RenderOperation) {
    TVLBitmap wrapper;
    wrapper.EncapsulateTBitmap(&Dest, false);
    RenderRectToBitmapEx(wrapper, Tables, ClipRect, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH,
                         EnableAlpha, SolidBackground, Transparency, Filter, FreeTables,
                         RenderOperation);
}

void TVLBitmap::RenderRectToTBitmap(TBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW,
                                    int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                    int32_t SrcH, int32_t Transparency, TResampleFilter Filter,
                                    TVLRenderOperation RenderOperation) {
    TVLRenderTables tables;
    RenderRectToTBitmapEx(Dest, tables, nullptr, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH,
                          true, false, Transparency, Filter, true, RenderOperation);
}

void TVLBitmap::RenderRectToCanvas(TCanvas& Canvas, int32_t DstX, int32_t DstY, int32_t DstW,
                                   int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                   int32_t SrcH, int32_t Transparency, TResampleFilter Filter,
                                   TVLRenderOperation RenderOperation) {
    const HDC dc = Canvas.Handle();
    // An area the canvas cannot show changes nothing: no copy of it is made.
    TRect visible;
    if (dc == nullptr || DstW <= 0 || DstH <= 0 || GetClipBox(dc, &visible) == RGN_ERROR ||
        visible.Right <= DstX || visible.Bottom <= DstY || int64_t{DstX} + DstW <= visible.Left ||
        int64_t{DstY} + DstH <= visible.Top)
        return;
    TVLDibbitmap area;
    if (!area.AllocateBits(DstW, DstH, 24)) return;
    BitBlt(area.GetDC(), 0, 0, DstW, DstH, dc, DstX, DstY, SRCCOPY);
    TVLBitmap bits;
    bits.EncapsulateMemory(area.GetBits(), DstW, DstH, vl24RGB, true);
    RenderRectToBitmap(bits, 0, 0, DstW, DstH, SrcX, SrcY, SrcW, SrcH, Transparency, Filter,
                       RenderOperation);
    BitBlt(dc, DstX, DstY, DstW, DstH, area.GetDC(), 0, 0, SRCCOPY);
}

void TVLBitmap::StretchRows24RGB(const TVLStretchRowsParams& Params) {
    if (Params.XTable == nullptr)
        CopyRowBlocks(*this, Params);
    else
        StretchRowsOf<TBgrLayout<3>>(*this, Params, false);
}

void TVLBitmap::StretchRows24RGBAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TBgrLayout<3>>(*this, Params, true);
}

void TVLBitmap::StretchRows32RGB(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TBgrLayout<4>>(*this, Params, false);
}

void TVLBitmap::StretchRows32RGBAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TBgrLayout<4>>(*this, Params, true);
}

void TVLBitmap::StretchRows1g(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TBitLayout>(*this, Params, false);
}

void TVLBitmap::StretchRows1gAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TBitLayout>(*this, Params, true);
}

void TVLBitmap::StretchRows8g(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TGray8Layout>(*this, Params, false);
}

void TVLBitmap::StretchRows8gAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TGray8Layout>(*this, Params, true);
}

// Without a palette nothing is drawn.
void TVLBitmap::StretchRows8p(const TVLStretchRowsParams& Params) {
    if (GetPaletteLength() > 0) StretchRowsOf<TPaletteLayout>(*this, Params, false);
}

void TVLBitmap::StretchRows8pAlpha(const TVLStretchRowsParams& Params) {
    if (GetPaletteLength() > 0) StretchRowsOf<TPaletteLayout>(*this, Params, true);
}

void TVLBitmap::StretchRows16g(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TGray16Layout>(*this, Params, false);
}

void TVLBitmap::StretchRows16gAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TGray16Layout>(*this, Params, true);
}

void TVLBitmap::StretchRows32f(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TFloatLayout>(*this, Params, false);
}

void TVLBitmap::StretchRows32fAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TFloatLayout>(*this, Params, true);
}

void TVLBitmap::StretchRowsCMYK(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TCmykLayout>(*this, Params, false);
}

void TVLBitmap::StretchRowsCMYKAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TCmykLayout>(*this, Params, true);
}

void TVLBitmap::StretchRowsCIELab(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TLabLayout>(*this, Params, false);
}

void TVLBitmap::StretchRowsCIELabAlpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TLabLayout>(*this, Params, true);
}

void TVLBitmap::StretchRowsRGB48(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TRgb48Layout>(*this, Params, false);
}

void TVLBitmap::StretchRowsRGB48Alpha(const TVLStretchRowsParams& Params) {
    StretchRowsOf<TRgb48Layout>(*this, Params, true);
}

void TVLBitmap::StretchRectWithAlphaTo(TVLBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW,
                                       int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                       int32_t SrcH, TResampleFilter Filter, int32_t Opacity) {
    if (&Dest == this || Dest.GetPixelFormat() != vl24RGB || Dest.IsEmpty() || IsEmpty()) return;
    if (DstW <= 0 || DstH <= 0) return;
    try {
        if (!TakesFilteredPath(*this, Filter, DstW, DstH, SrcW, SrcH)) {
            StretchNearestWithAlphaTo(*this, Dest, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH,
                                      static_cast<uint8_t>(std::clamp(Opacity, 0, 255)));
            return;
        }
        // The rectangles are clipped first, so that the temporary bitmaps never exceed what
        // the two bitmaps hold.
        TRenderClip clip;
        if (!ClipRenderRect(Dest.GetWidth(), Dest.GetHeight(), GetWidth(), GetHeight(), DstX, DstY,
                            DstW, DstH, SrcX, SrcY, SrcW, SrcH, clip))
            return;
        TVLBitmap resized;
        if (DstW > SrcW || GetPixelFormat() != vl1g || HasAlphaChannel())
            ResampleRect(*this, clip, SourceAlphaInUse(*this), Filter, resized);
        else
            ShrinkBits(*this, clip, resized);
        resized.StretchRectWithAlphaTo(Dest, clip.Dx, clip.Dy, clip.Dw, clip.Dh, 0, 0, clip.Dw,
                                       clip.Dh, rfNone, Opacity);
    } catch (const Exception&) {
    } catch (const std::bad_alloc&) {
    }
}

bool ResampleForRender(TVLBitmap& Source, int32_t DstW, int32_t DstH, bool EnableAlpha,
                       TResampleFilter Filter, TVLBitmap& Resized) {
    if (Source.IsEmpty() || DstW <= 0 || DstH <= 0 ||
        !TakesFilteredPath(Source, Filter, DstW, DstH, Source.GetWidth(), Source.GetHeight()))
        return false;
    TRenderClip clip;
    clip.Dw = DstW;
    clip.Dh = DstH;
    clip.Sw = Source.GetWidth();
    clip.Sh = Source.GetHeight();
    TRowPassScope reading(Source, VLAccessRead);
    ResampleFiltered(Source, clip, EnableAlpha, Filter, Resized);
    return true;
}
