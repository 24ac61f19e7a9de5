// Internals shared by the drawing sources of platform/gfx: surfaces and their pixel layouts,
// the drawing objects behind the handles, the handle registry, regions and clipped spans.
#pragma once

#include "platform/gfx/Gdi.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace platform::detail {

// How the pixels of a surface are laid out; a pixel value is the layout's raw bits (an index for
// the indexed layouts, the 32-bit value with its fourth byte in bits 24 to 31 for Bgrx32).
enum class TPixelLayout : uint8_t { Mono1, Index4, Index8, Rgb555, Rgb565, Bgr24, Bgrx32 };

int32_t LayoutBits(TPixelLayout Layout);
// The bits of a pixel value that carry colour (the fourth byte of Bgrx32 is not colour).
uint32_t LayoutColorMask(TPixelLayout Layout);
bool LayoutIndexed(TPixelLayout Layout);
// The layout of BitCount bits per pixel (16 bits: 5-6-5 when Is565); false when there is none.
bool LayoutForBits(int32_t BitCount, bool Is565, TPixelLayout& Layout);

// A block of pixel rows GDI draws into. Row 0 is the top row.
struct TSurface {
    uint8_t* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    bool BottomUp = true;
    TPixelLayout Layout = TPixelLayout::Bgrx32;
    const TRGBQuad* Colors = nullptr;
    int32_t ColorCount = 0;

    bool Empty() const { return Bits == nullptr || Width <= 0 || Height <= 0; }
    uint8_t* Row(int32_t Y) const {
        return Bits + static_cast<ptrdiff_t>(BottomUp ? Height - 1 - Y : Y) * Stride;
    }
};

// Reads Count pixel values of row Y from column X (all inside the surface).
void ReadRow(const TSurface& Surface, int32_t Y, int32_t X, int32_t Count, uint32_t* Values);
void WriteRow(const TSurface& Surface, int32_t Y, int32_t X, int32_t Count, const uint32_t* Values);
uint32_t ReadPixel(const TSurface& Surface, int32_t X, int32_t Y);
void WritePixel(const TSurface& Surface, int32_t X, int32_t Y, uint32_t Value);

// Colours to pixel values and back. Indexed layouts take the nearest colour-table entry (the
// lowest index among equals); the others keep the colour's bits, with 0 in the fourth byte.
uint32_t ColorToPixel(const TSurface& Surface, COLORREF Color);
COLORREF PixelToColor(const TSurface& Surface, uint32_t Value);

// Maps colours to one surface's pixel values, remembering recent answers for indexed layouts.
class TColorMapper {
public:
    explicit TColorMapper(const TSurface& Surface);
    uint32_t Map(COLORREF Color);

private:
    const TSurface& FSurface;
    std::vector<uint64_t> FCache;
};

// Mixes: code - 1 of a pen mix, bits 16 to 23 of a raster operation.
uint32_t Mix2(int32_t Rop2, uint32_t Pen, uint32_t Dest);
uint32_t Mix3(uint8_t Rop3, uint32_t Pattern, uint32_t Source, uint32_t Dest);
constexpr uint8_t Rop3Code(uint32_t Rop) {
    return static_cast<uint8_t>(Rop >> 16);
}
constexpr bool Rop3UsesSource(uint8_t Rop) {
    return ((Rop >> 2) & 0x33) != (Rop & 0x33);
}
constexpr bool Rop3UsesPattern(uint8_t Rop) {
    return ((Rop >> 4) & 0x0F) != (Rop & 0x0F);
}
constexpr bool Rop3UsesDest(uint8_t Rop) {
    return ((Rop >> 1) & 0x55) != (Rop & 0x55);
}

// A region as rows of disjoint spans: bands of equal spans, top to bottom, spans left to right,
// right edges excluded.
struct TSpan {
    int32_t Left = 0;
    int32_t Right = 0;
    friend bool operator==(const TSpan&, const TSpan&) = default;
};
using TSpanList = std::vector<TSpan>;
struct TBand {
    int32_t Top = 0;
    int32_t Bottom = 0;
    TSpanList Spans;
};

class TRegionData {
public:
    static TRegionData FromRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
    static TRegionData Combine(const TRegionData& A, const TRegionData& B, int32_t Mode);
    // Adds rows Top .. Bottom - 1 holding Spans (in any order, overlapping or not) below the
    // rows already there; equal neighbouring rows share one band.
    void AppendRows(int32_t Top, int32_t Bottom, const TSpanList& Spans);

    bool Empty() const { return FBands.empty(); }
    TRect Box() const;
    // NULLREGION, SIMPLEREGION or COMPLEXREGION.
    int32_t Kind() const;
    // The spans of row Y; nil when the row is empty.
    const TSpanList* SpansAt(int32_t Y) const;
    bool Contains(int32_t X, int32_t Y) const;
    void Offset(int32_t X, int32_t Y);
    const std::vector<TBand>& Bands() const { return FBands; }
    friend bool operator==(const TRegionData& A, const TRegionData& B);

private:
    void AppendBand(int32_t Top, int32_t Bottom, TSpanList Spans);
    std::vector<TBand> FBands;
};

// The spans of a rectangle with corners rounded by an ellipse of CornerWidth x CornerHeight
// (an ellipse when the corners are as large as the box); symmetric about both axes.
TRegionData RoundRectRegion(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                            int32_t CornerWidth, int32_t CornerHeight);
// Pixels whose centres lie inside the polygon under the fill rule.
TRegionData PolygonRegion(const TPoint* Points, int32_t Count, int32_t FillMode);
// The same for several rings of (x, y) points together, rows First to Last - 1 only.
TRegionData RingsRegion(const std::vector<std::vector<std::pair<double, double>>>& Rings,
                        int32_t FillMode, int64_t First, int64_t Last);

} // namespace platform::detail

// Base of everything a handle may point at.
class TGdiObject {
public:
    virtual ~TGdiObject() = default;
    // Stock objects are shared and never freed.
    bool Stock = false;
    // Device contexts this object is selected into.
    int32_t SelectCount = 0;
    // Made and freed by a class-library object (a bitmap's handle, a canvas's device context);
    // DeleteObject and DeleteDC refuse it.
    bool OwnerManaged = false;
};

class TGdiBitmap : public TGdiObject {
public:
    platform::detail::TSurface Surface;
    // Owned pixels and colour table (DIB sections and device-dependent bitmaps); a bitmap over
    // memory owned elsewhere (a class-library bitmap) leaves them empty.
    std::unique_ptr<uint8_t[]> OwnedBits;
    std::vector<TRGBQuad> OwnedColors;
    bool IsDibSection = false;
    BITMAPINFOHEADER Header;
    uint32_t Masks[3] = {0, 0, 0};
};

class TGdiPen : public TGdiObject {
public:
    LOGPEN Log;
};

class TGdiBrush : public TGdiObject {
public:
    LOGBRUSH Log;
};

class TGdiFont : public TGdiObject {
public:
    LOGFONTW Log;
};

class TGdiRegion : public TGdiObject {
public:
    platform::detail::TRegionData Data;
};

// What SaveDC keeps of a device context; RestoreDC selects the objects again when they live.
struct TDcSavedState {
    HPEN Pen = nullptr;
    HBRUSH Brush = nullptr;
    HFONT Font = nullptr;
    std::optional<platform::detail::TRegionData> Clip;
    int32_t Rop2 = 0, BkMode = 0, StretchMode = 0, PolyFillMode = 0;
    COLORREF BkColor = 0, TextColor = 0;
    TPoint Position, BrushOrigin;
};

class TDeviceContext : public TGdiObject {
public:
    TGdiBitmap* Bitmap = nullptr;
    TGdiPen* Pen = nullptr;
    TGdiBrush* Brush = nullptr;
    TGdiFont* Font = nullptr;
    std::optional<platform::detail::TRegionData> Clip;
    int32_t Rop2 = R2_COPYPEN;
    int32_t BkMode = OPAQUE;
    int32_t StretchMode = BLACKONWHITE;
    int32_t PolyFillMode = ALTERNATE;
    COLORREF BkColor = 0xFFFFFF;
    COLORREF TextColor = 0;
    TPoint Position;
    TPoint BrushOrigin;
    // Pixels of the pen's style pattern already used by the connected lines drawn so far.
    int32_t StylePosition = 0;
    // The screen's device context: it has no surface of its own.
    bool IsScreen = false;
    std::vector<TDcSavedState> SavedStates;

    const platform::detail::TSurface& Surface() const;
};

namespace platform::detail {

// Handle registry: every live object is registered; calls look handles up here.
void RegisterObject(TGdiObject* Object, void* Handle);
void UnregisterObject(void* Handle);
TGdiObject* FindObject(void* Handle);
// The live object of kind T behind Handle (the handle is the object's own address), or nil.
template <class T> T* Lookup(const void* Handle) {
    TGdiObject* object = FindObject(const_cast<void*>(Handle));
    if (object == nullptr || dynamic_cast<void*>(object) != Handle) return nullptr;
    return dynamic_cast<T*>(object);
}
template <class T> T* Register(std::unique_ptr<T> Object) {
    T* raw = Object.release();
    RegisterObject(raw, static_cast<void*>(raw));
    return raw;
}
// Frees an object whatever selects it: device contexts holding it get the stock object back; a
// device context gives its selections up.
void ForceDeleteObject(TGdiObject* Object);

// Updates a bitmap object whose pixels live elsewhere after its owner moved or resized them.
void SetBitmapSurface(TGdiBitmap* Bitmap, const TSurface& Surface);
// A bitmap object over memory that stays its owner's; only ForceDeleteObject frees it.
TGdiBitmap* CreateForeignBitmap(const TSurface& Surface);

// Calls Fn(X0, X1) for each stretch of row Y between X0 and X1 (X1 excluded) that lies on the
// surface and inside the clip region.
template <class Fn>
void ForEachVisibleSpan(const TDeviceContext& Dc, int32_t Y, int32_t X0, int32_t X1, Fn&& Out) {
    const TSurface& s = Dc.Surface();
    if (s.Empty() || Y < 0 || Y >= s.Height) return;
    if (X0 < 0) X0 = 0;
    if (X1 > s.Width) X1 = s.Width;
    if (X0 >= X1) return;
    if (!Dc.Clip) {
        Out(X0, X1);
        return;
    }
    const TSpanList* spans = Dc.Clip->SpansAt(Y);
    if (spans == nullptr) return;
    for (const TSpan& span : *spans) {
        const int32_t a = span.Left > X0 ? span.Left : X0;
        const int32_t b = span.Right < X1 ? span.Right : X1;
        if (a < b) Out(a, b);
    }
}
bool PixelVisible(const TDeviceContext& Dc, int32_t X, int32_t Y);

// How a brush paints: nothing, one value, or an 8 x 8 hatch of the foreground over the
// background (or over what is there when the background is transparent).
struct TBrushPaint {
    bool None = true;
    bool Hatched = false;
    bool OpaqueBack = false;
    uint32_t Fore = 0;
    uint32_t Back = 0;
    const uint8_t* Pattern = nullptr;
    TPoint Origin;
    bool ForeAt(int32_t X, int32_t Y) const {
        const uint8_t row = Pattern[(Y - Origin.Y) & 7];
        return ((row >> (7 - ((X - Origin.X) & 7))) & 1) != 0;
    }
};
// The 8 x 8 pattern of a hatch style, rows top to bottom, leftmost pixel in the high bit.
const uint8_t* HatchPattern(int32_t Hatch);
// A brush as it paints on the device context's surface; OpaqueBack follows the background mode
// unless AlwaysOpaque (the blits paint the hatch background whatever the mode).
TBrushPaint MakeBrushPaint(const TDeviceContext& Dc, const TGdiBrush* Brush, bool AlwaysOpaque);
// Paints the spans of Shape with the brush under the mix, clipped.
void PaintRegion(TDeviceContext& Dc, const TRegionData& Shape, const TBrushPaint& Paint,
                 int32_t Rop2);
// One pixel under the mix, clipped.
void MixPixel(TDeviceContext& Dc, int32_t X, int32_t Y, uint32_t Value, int32_t Rop2);

} // namespace platform::detail

// Drawing entry points that no library code calls: the platform's own tests draw and check with
// them. They stay behind this header so that library code reaches only what it uses.

// A bitmap in the screen's format (32 bits per pixel), cleared to black.
HBITMAP CreateCompatibleBitmap(HDC Dc, int32_t Width, int32_t Height);
HPEN CreatePenIndirect(const LOGPEN* Pen);
HBRUSH CreateSolidBrush(COLORREF Color);
uint32_t SetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, const TRGBQuad* Colors);
int32_t GetROP2(HDC Dc);
int32_t GetBkMode(HDC Dc);
COLORREF GetTextColor(HDC Dc);
int32_t SetPolyFillMode(HDC Dc, int32_t Mode);
// Hatch patterns repeat every 8 pixels from the brush origin.
bool SetBrushOrgEx(HDC Dc, int32_t X, int32_t Y, TPoint* Previous);
bool PatBlt(HDC Dc, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop);
HRGN CreateEllipticRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
HRGN CreateRoundRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                        int32_t CornerWidth, int32_t CornerHeight);
HRGN CreatePolygonRgn(const TPoint* Points, int32_t Count, int32_t FillMode);
// Dest := Source1 op Source2; Dest may be one of the sources. Returns the region kind.
int32_t CombineRgn(HRGN Dest, HRGN Source1, HRGN Source2, int32_t Mode);
int32_t OffsetRgn(HRGN Region, int32_t X, int32_t Y);
int32_t GetRgnBox(HRGN Region, TRect* Rect);
bool PtInRegion(HRGN Region, int32_t X, int32_t Y);
bool EqualRgn(HRGN Region1, HRGN Region2);
bool FillRgn(HDC Dc, HRGN Region, HBRUSH Brush);
int32_t ExcludeClipRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// 1 and a copy of the clip region in Region, 0 when there is none, -1 on failure.
int32_t GetClipRgn(HDC Dc, HRGN Region);
bool InvertRect(HDC Dc, const TRect* Rect);
