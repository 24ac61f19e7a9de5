// The anti-aliased canvas: lines, shapes and fills with alpha and fractional pen widths through
// the anti-aliased drawing interface over a class-library canvas, falling back to the canvas's
// own drawing when that interface is not loaded. Text always goes through the canvas.
//
// Part of the view unit; it sits in the core because the core draws through it: the translucent
// hint box (VLCanvasOutput) and the anti-aliased 3-D frame (VLWindowHelpers).
#pragma once

#include "platform/gfx/Canvas.h"
#include "platform/gfx/GdiPlus.h"

// Library state of the anti-aliased drawing interface. Views hold it loaded: each view takes
// one use for its lifetime.
extern bool GdiPlusEnabled;
extern int32_t GdiPlusUseCount;
extern uintptr_t GdiPlusToken;
extern GdiplusStartupInput GdiPlusInput;

// Takes one use; loads and starts the interface when enabled and not loaded yet (retried at
// every call while it fails; a failure only means every drawing falls back to the canvas).
void AcquireGdiPlus();
// Gives one use back; the last one shuts the interface down.
void ReleaseGdiPlus();
bool IsGdiPlusAvailable();
bool GdiPlusLoaded();

// The canvas unit's start-up and shut-down, and their registration at the canvas's place in the
// library's start-up sequence (the view unit registers it with its own).
void InitializeCanvasUnit();
void FinalizeCanvasUnit();
void RegisterCanvasUnit();

// A class-library pen with an alpha and a fractional width for anti-aliased drawing.
class TVLPen : public TObject {
public:
    // APen is not owned.
    explicit TVLPen(TPen* APen);
    ~TVLPen() override;
    TVLPen(const TVLPen&) = delete;
    TVLPen& operator=(const TVLPen&) = delete;

    // Makes the anti-aliased pen again from the fields; raises Exception when it cannot be made.
    void Rebuild();

    GpPen* GdiPen() const { return FGdiPen; }
    TPen* Pen() const { return FPen; }
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    // Opacity 0..255; 255 is opaque.
    int32_t Alpha() const { return FAlpha; }
    void SetAlpha(int32_t Value);
    float Width() const { return FWidth; }
    void SetWidth(float Value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle Value);
    // Used by the canvas fall-back only.
    TPenMode Mode() const { return FPen->Mode(); }
    void SetMode(TPenMode Value);
    // Line join of the anti-aliased pen (0 miter, 1 bevel, 2 round, 3 clipped miter).
    uint8_t LineJoin() const { return FLineJoin; }
    void SetLineJoin(uint8_t Value);
    void SetHandle(HPEN Value);

private:
    ARGB Argb() const;
    void ApplyStyle();

    GpPen* FGdiPen = nullptr;
    TPen* FPen;
    TColor FColor;
    int32_t FAlpha = 255;
    float FWidth;
    TPenStyle FStyle;
    uint8_t FLineJoin = 2;
};

// A class-library brush with an alpha and a hatch background for anti-aliased drawing.
class TVLBrush : public TObject {
public:
    // ABrush is not owned.
    explicit TVLBrush(TBrush* ABrush);
    ~TVLBrush() override;
    TVLBrush(const TVLBrush&) = delete;
    TVLBrush& operator=(const TVLBrush&) = delete;

    // Makes the anti-aliased brush again from the fields; raises Exception when it cannot be
    // made.
    void Rebuild();

    GpBrush* GdiBrush() const { return FGdiBrush; }
    TBrush* Brush() const { return FBrush; }
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    int32_t Alpha() const { return FAlpha; }
    void SetAlpha(int32_t Value);
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor Value);
    // Opacity of the hatch background; 0 (the default) leaves it transparent.
    int32_t BackAlpha() const { return FBackAlpha; }
    void SetBackAlpha(int32_t Value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle Value);

private:
    void Changed();

    GpBrush* FGdiBrush = nullptr;
    TBrush* FBrush;
    TColor FColor;
    int32_t FAlpha = 255;
    TColor FBackColor = 0;
    int32_t FBackAlpha = 0;
    TBrushStyle FStyle;
};

class TVLCanvas : public TObject {
public:
    // ACanvas is not owned. UseGdiPlus is honoured only while the interface is available;
    // raises Exception when the anti-aliased graphics cannot be made on the canvas.
    TVLCanvas(TCanvas* ACanvas, bool AntiAlias, bool UseGdiPlus);
    ~TVLCanvas() override;
    TVLCanvas(const TVLCanvas&) = delete;
    TVLCanvas& operator=(const TVLCanvas&) = delete;

    // Anti-aliased (true) or fast aliased drawing.
    void SetSmoothing(bool AntiAlias);

    GpGraphics* Graphics() const { return FGraphics; }
    TCanvas* Canvas() const { return FCanvas; }
    TVLPen* Pen() const { return FPen.get(); }
    TVLBrush* Brush() const { return FBrush.get(); }
    bool UseGdiPlus() const { return FUseGdiPlus; }
    HDC GetHandle() { return FCanvas->Handle(); }
    TFont* GetFont() { return FCanvas->Font(); }
    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(TPoint Value);

    void MoveTo(int32_t X, int32_t Y);
    void LineTo(int32_t X, int32_t Y);
    // A line that leaves the pen position where it was.
    void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void FillRect(const TRect& Rect);
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Rectangle(const TRect& Rect);
    void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Ellipse(const TRect& Rect);
    // Points[0 .. HighIndex].
    void Polygon(const TPoint* Points, int32_t HighIndex);
    void Polyline(const TPoint* Points, int32_t HighIndex);
    // Counter-clockwise from the ray towards (X3, Y3) to the ray towards (X4, Y4).
    void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
             int32_t Y4);
    void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerWidth,
                   int32_t CornerHeight);

    int32_t TextWidth(const String& Text) { return FCanvas->TextWidth(Text); }
    int32_t TextHeight(const String& Text) { return FCanvas->TextHeight(Text); }
    void TextOut(int32_t X, int32_t Y, const String& Text) { FCanvas->TextOut(X, Y, Text); }
    void TextRect(const TRect& Rect, int32_t X, int32_t Y, const String& Text) {
        FCanvas->TextRect(Rect, X, Y, Text);
    }

private:
    GpGraphics* FGraphics = nullptr;
    TCanvas* FCanvas;
    std::unique_ptr<TVLPen> FPen;
    TPoint FPenPos;
    std::unique_ptr<TVLBrush> FBrush;
    bool FUseGdiPlus = false;
};
