// The class library's canvas with its pen and brush: drawing on a device context with the
// properties of the drawing tools applied before every call.
#pragma once

#include "platform/gfx/Font.h"
#include "platform/rtl/SyncObjs.h"

#include <memory>
#include <span>

class TBitmap;
class TGraphic;

enum TPenStyle : uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame,
    psUserStyle,
    psAlternate
};

enum TPenMode : uint8_t {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};
// The mix a pen mode selects (SetROP2).
int32_t PenModeToRop2(TPenMode Mode);

class TPen : public TGraphicsObject {
public:
    TPen() = default;
    ~TPen() override;
    TPen(const TPen&) = delete;
    TPen& operator=(const TPen&) = delete;
    void Assign(const TPen& Source);

    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t Value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle Value);
    // The mode is a canvas setting: it changes no handle.
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode Value);

    HPEN Handle();
    // Takes over Value (the pen frees it) with its colour, width and style.
    void SetHandle(HPEN Value);

protected:
    void FreeHandle() override;

private:
    TColor FColor = clBlack;
    int32_t FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenMode FMode = pmCopy;
    HPEN FHandle = nullptr;
};

enum TBrushStyle : uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

class TBrush : public TGraphicsObject {
public:
    TBrush() = default;
    ~TBrush() override;
    TBrush(const TBrush&) = delete;
    TBrush& operator=(const TBrush&) = delete;
    void Assign(const TBrush& Source);

    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle Value);

    HBRUSH Handle();
    // Takes over Value (the brush frees it) with its colour and style.
    void SetHandle(HBRUSH Value);

protected:
    void FreeHandle() override;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    HBRUSH FHandle = nullptr;
};

// A raster operation of the canvas's copies (CopyRect, Draw).
using TCopyMode = uint32_t;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;

// Drawing on a device context. Before each call the pen (with its mode as the mix), the brush and
// the font are selected; a solid brush sets an opaque background of the brush's colour (the gaps
// of styled pens), any other brush a transparent background (hatches over what is there).
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // The device context, made on first request by canvases that own one.
    HDC Handle();
    // The device context with the pen, brush and font selected and their settings applied, for
    // direct calls to the drawing functions; nil without one.
    HDC SelectedHandle();
    // Draws on Value from now on (not owned); nil detaches the canvas.
    void SetHandle(HDC Value);
    bool HandleAllocated() const { return FHandle != nullptr; }

    TPen* Pen() { return FPen.get(); }
    TBrush* Brush() { return FBrush.get(); }
    TFont* Font() { return FFont.get(); }
    // The current position of the device context (where LineTo starts).
    TPoint PenPos();
    void SetPenPos(TPoint Value);
    TCopyMode CopyMode = cmSrcCopy;
    TRect ClipRect();

    // The pixel's colour; -1 when it lies outside the surface or the clip region.
    TColor Pixels(int32_t X, int32_t Y);
    void SetPixels(int32_t X, int32_t Y, TColor Color);

    void MoveTo(int32_t X, int32_t Y);
    void LineTo(int32_t X, int32_t Y);
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Rectangle(const TRect& Rect);
    void FillRect(const TRect& Rect);
    void FrameRect(const TRect& Rect);
    void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Ellipse(const TRect& Rect);
    void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
    void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
             int32_t Y4);
    void Polygon(std::span<const TPoint> Points);
    void Polyline(std::span<const TPoint> Points);
    void DrawFocusRect(const TRect& Rect);

    // Writes Text with its cell's top-left corner at (X, Y) and moves the pen position to its
    // end.
    void TextOut(int32_t X, int32_t Y, const String& Text);
    // Writes Text at (X, Y) clipped to Rect, filling Rect with the brush unless it is clear.
    void TextRect(const TRect& Rect, int32_t X, int32_t Y, const String& Text);
    TSize TextExtent(const String& Text);
    int32_t TextWidth(const String& Text);
    int32_t TextHeight(const String& Text);

    // The bitmap at (X, Y) at its own size, through CopyMode.
    void Draw(int32_t X, int32_t Y, TBitmap* Bitmap);
    // Any other graphic, stretched into (X, Y, X + its width, Y + its height).
    void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
    // The bitmap stretched (nearest pixel) into Rect, through CopyMode.
    void StretchDraw(const TRect& Rect, TBitmap* Bitmap);
    // Stretches Source of Canvas into Dest of this canvas with the current stretch mode.
    void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

    // Lets go of the selected drawing tools; they are selected again before the next call.
    void Refresh();
    void Lock();
    void Unlock();
    bool TryLock();
    int32_t LockCount() const { return FLockCount; }

    // Fired before and after every drawing call.
    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

protected:
    // Canvases that own a device context make it here when Handle is first requested.
    virtual void CreateHandle() {}
    void Changing();
    void Changed();

private:
    // Selects the drawing tools and applies their settings; false without a device context.
    bool RequiredState();
    void DeselectHandles();

    HDC FHandle = nullptr;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    std::unique_ptr<TFont> FFont;
    TPoint FPenPos;
    TCriticalSection FLock;
    int32_t FLockCount = 0;
};
