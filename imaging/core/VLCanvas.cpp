// The anti-aliased canvas, its pen and brush, and the use count of the drawing interface.
#include "imaging/core/VLCanvas.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLDefs.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <numbers>

bool GdiPlusEnabled = false;
int32_t GdiPlusUseCount = 0;
uintptr_t GdiPlusToken = 0;
GdiplusStartupInput GdiPlusInput;

namespace {

bool GdiPlusModule = false;

// Direction from (X1, Y1) to (X2, Y2) in 0 .. 2 pi, counter-clockwise on the screen.
double SegmentAngle(double X1, double Y1, double X2, double Y2) {
    const double a = std::atan2(Y1 - Y2, X2 - X1);
    return a < 0 ? a + 2 * std::numbers::pi : a;
}

uint8_t Opacity(int32_t alpha) {
    return static_cast<uint8_t>(std::clamp(alpha, 0, 255));
}

void Check(GpStatus status, const char16_t* message) {
    if (status != GpStatus::Ok) throw Exception(message);
}

} // namespace

void AcquireGdiPlus() {
    ++GdiPlusUseCount;
    if (!GdiPlusEnabled || GdiPlusModule) return;
    GdiPlusInput = GdiplusStartupInput{};
    GdiPlusModule = GdiplusStartup(&GdiPlusToken, &GdiPlusInput, nullptr) == GpStatus::Ok;
}

void ReleaseGdiPlus() {
    // A release without an acquire leaves the count at 0 rather than below it.
    GdiPlusUseCount = std::max(GdiPlusUseCount - 1, 0);
    if (GdiPlusModule && GdiPlusUseCount == 0) {
        GdiplusShutdown(GdiPlusToken);
        GdiPlusModule = false;
    }
}

bool IsGdiPlusAvailable() {
    return GdiPlusEnabled && GdiPlusModule;
}

bool GdiPlusLoaded() {
    return GdiPlusModule;
}

void InitializeCanvasUnit() {
    GdiPlusEnabled = true;
    GdiPlusModule = false;
    GdiPlusUseCount = 0;
}

void FinalizeCanvasUnit() {}

void RegisterCanvasUnit() {
    RegisterLibraryUnit(TLibraryUnit::Canvas, InitializeCanvasUnit, FinalizeCanvasUnit);
}

TVLPen::TVLPen(TPen* APen)
    : FPen(APen), FColor(APen->Color()), FWidth(static_cast<float>(APen->Width())),
      FStyle(APen->Style()) {
    if (IsGdiPlusAvailable()) Rebuild();
}

TVLPen::~TVLPen() {
    // The anti-aliased pen is freed even when the interface was shut down meanwhile.
    if (FGdiPen != nullptr) GdipDeletePen(FGdiPen);
}

ARGB TVLPen::Argb() const {
    return ColorToARGB(FColor, FStyle == psClear ? 0 : Opacity(FAlpha));
}

void TVLPen::Rebuild() {
    if (FGdiPen != nullptr) GdipDeletePen(FGdiPen);
    FGdiPen = nullptr;
    Check(GdipCreatePen1(Argb(), FWidth, UnitPixel, &FGdiPen),
          u"Cannot create TVLPen. GdipCreatePen1 failed.");
    ApplyStyle();
    GdipSetPenLineJoin(FGdiPen, static_cast<GpLineJoin>(std::min<uint8_t>(FLineJoin, 3)));
}

void TVLPen::ApplyStyle() {
    GdipSetPenColor(FGdiPen, Argb());
    const bool dashed = FStyle >= psSolid && FStyle <= psDashDotDot;
    GdipSetPenDashStyle(FGdiPen, dashed ? static_cast<GpDashStyle>(FStyle) : DashStyleSolid);
}

void TVLPen::SetColor(TColor Value) {
    FColor = Value;
    if (IsGdiPlusAvailable() && FGdiPen != nullptr) GdipSetPenColor(FGdiPen, Argb());
    FPen->SetColor(Value);
}

void TVLPen::SetAlpha(int32_t Value) {
    FAlpha = Opacity(Value);
    if (IsGdiPlusAvailable() && FGdiPen != nullptr) GdipSetPenColor(FGdiPen, Argb());
}

void TVLPen::SetWidth(float Value) {
    FWidth = Value;
    if (IsGdiPlusAvailable() && FGdiPen != nullptr) GdipSetPenWidth(FGdiPen, Value);
    FPen->SetWidth(static_cast<int32_t>(Value));
}

void TVLPen::SetStyle(TPenStyle Value) {
    FStyle = Value;
    if (IsGdiPlusAvailable() && FGdiPen != nullptr) ApplyStyle();
    FPen->SetStyle(Value);
}

void TVLPen::SetMode(TPenMode Value) {
    FPen->SetMode(Value);
}

void TVLPen::SetLineJoin(uint8_t Value) {
    FLineJoin = Value;
    if (IsGdiPlusAvailable() && FGdiPen != nullptr)
        GdipSetPenLineJoin(FGdiPen, static_cast<GpLineJoin>(std::min<uint8_t>(Value, 3)));
}

void TVLPen::SetHandle(HPEN Value) {
    FPen->SetHandle(Value);
}

TVLBrush::TVLBrush(TBrush* ABrush)
    : FBrush(ABrush), FColor(ABrush->Color()), FStyle(ABrush->Style()) {
    if (IsGdiPlusAvailable()) Rebuild();
}

TVLBrush::~TVLBrush() {
    if (FGdiBrush != nullptr) GdipDeleteBrush(FGdiBrush);
}

void TVLBrush::Rebuild() {
    if (FGdiBrush != nullptr) GdipDeleteBrush(FGdiBrush);
    FGdiBrush = nullptr;
    if (FStyle == bsSolid || FStyle == bsClear) {
        Check(GdipCreateSolidFill(ColorToARGB(FColor, FStyle == bsClear ? 0 : Opacity(FAlpha)),
                                  &FGdiBrush),
              u"Cannot create TVLBrush. GdipCreateSolidFill failed.");
        return;
    }
    Check(GdipCreateHatchBrush(static_cast<GpHatchStyle>(FStyle - bsHorizontal),
                               ColorToARGB(FColor, Opacity(FAlpha)),
                               ColorToARGB(FBackColor, Opacity(FBackAlpha)), &FGdiBrush),
          u"Cannot create TVLBrush. GdipCreateHatchBrush failed.");
}

void TVLBrush::Changed() {
    if (IsGdiPlusAvailable()) Rebuild();
}

void TVLBrush::SetColor(TColor Value) {
    FColor = Value;
    Changed();
    FBrush->SetColor(Value);
}

void TVLBrush::SetAlpha(int32_t Value) {
    FAlpha = Opacity(Value);
    Changed();
}

void TVLBrush::SetBackColor(TColor Value) {
    FBackColor = Value;
    Changed();
}

void TVLBrush::SetBackAlpha(int32_t Value) {
    FBackAlpha = Opacity(Value);
    Changed();
}

void TVLBrush::SetStyle(TBrushStyle Value) {
    FStyle = Value;
    Changed();
    FBrush->SetStyle(Value);
}

TVLCanvas::TVLCanvas(TCanvas* ACanvas, bool AntiAlias, bool UseGdiPlus)
    : FCanvas(ACanvas), FPen(std::make_unique<TVLPen>(ACanvas->Pen())),
      FBrush(std::make_unique<TVLBrush>(ACanvas->Brush())),
      FUseGdiPlus(UseGdiPlus && IsGdiPlusAvailable()) {
    if (!FUseGdiPlus) return;
    if (GdipCreateFromHDC(ACanvas->Handle(), &FGraphics) != GpStatus::Ok || FGraphics == nullptr)
        throw Exception(u"Cannot create TVLCanvas. GdipCreateFromHDC failed.");
    SetSmoothing(AntiAlias);
}

TVLCanvas::~TVLCanvas() {
    FBrush.reset();
    FPen.reset();
    if (FGraphics != nullptr) GdipDeleteGraphics(FGraphics);
}

void TVLCanvas::SetSmoothing(bool AntiAlias) {
    if (FGraphics != nullptr)
        GdipSetSmoothingMode(FGraphics,
                             AntiAlias ? SmoothingModeAntiAlias : SmoothingModeHighSpeed);
}

void TVLCanvas::SetPenPos(TPoint Value) {
    FPenPos = Value;
    if (!FUseGdiPlus) FCanvas->SetPenPos(Value);
}

void TVLCanvas::MoveTo(int32_t X, int32_t Y) {
    FPenPos = {X, Y};
    if (!FUseGdiPlus) FCanvas->MoveTo(X, Y);
}

void TVLCanvas::LineTo(int32_t X, int32_t Y) {
    if (FUseGdiPlus)
        GdipDrawLine(FGraphics, FPen->GdiPen(), static_cast<REAL>(FPenPos.X),
                     static_cast<REAL>(FPenPos.Y), static_cast<REAL>(X), static_cast<REAL>(Y));
    else
        FCanvas->LineTo(X, Y);
    FPenPos = {X, Y};
}

void TVLCanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (FUseGdiPlus) {
        GdipDrawLine(FGraphics, FPen->GdiPen(), static_cast<REAL>(X1), static_cast<REAL>(Y1),
                     static_cast<REAL>(X2), static_cast<REAL>(Y2));
        return;
    }
    const TPoint points[2] = {{X1, Y1}, {X2, Y2}};
    FCanvas->Polygon(points);
}

void TVLCanvas::FillRect(const TRect& Rect) {
    if (!FUseGdiPlus) {
        FCanvas->FillRect(Rect);
        return;
    }
    TRect r = Rect;
    OrderRectCorners(r.Left, r.Top, r.Right, r.Bottom);
    GdipFillRectangle(FGraphics, FBrush->GdiBrush(), static_cast<REAL>(r.Left),
                      static_cast<REAL>(r.Top), static_cast<REAL>(r.Width() - 1),
                      static_cast<REAL>(r.Height() - 1));
}

void TVLCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!FUseGdiPlus) {
        FCanvas->Rectangle(X1, Y1, X2, Y2);
        return;
    }
    OrderRectCorners(X1, Y1, X2, Y2);
    const auto x = static_cast<REAL>(X1), y = static_cast<REAL>(Y1);
    const auto w = static_cast<REAL>(X2 - X1 - 1), h = static_cast<REAL>(Y2 - Y1 - 1);
    GdipFillRectangle(FGraphics, FBrush->GdiBrush(), x, y, w, h);
    GdipDrawRectangle(FGraphics, FPen->GdiPen(), x, y, w, h);
}

void TVLCanvas::Rectangle(const TRect& Rect) {
    Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TVLCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!FUseGdiPlus) {
        FCanvas->Ellipse(X1, Y1, X2, Y2);
        return;
    }
    // Boxes are taken with their corners in order, whatever the pen width, and a box of one
    // pixel or less becomes a line or a point, so a wide pen draws around the same centre as a
    // thin one.
    OrderRectCorners(X1, Y1, X2, Y2);
    const auto x = static_cast<REAL>(X1), y = static_cast<REAL>(Y1);
    const auto w = static_cast<REAL>(std::max(X2 - X1 - 1, 0));
    const auto h = static_cast<REAL>(std::max(Y2 - Y1 - 1, 0));
    GdipFillEllipse(FGraphics, FBrush->GdiBrush(), x, y, w, h);
    GdipDrawEllipse(FGraphics, FPen->GdiPen(), x, y, w, h);
}

void TVLCanvas::Ellipse(const TRect& Rect) {
    Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TVLCanvas::Polygon(const TPoint* Points, int32_t HighIndex) {
    if (Points == nullptr || HighIndex < 0) return;
    const int32_t count = HighIndex + 1;
    if (!FUseGdiPlus) {
        FCanvas->Polygon({Points, static_cast<size_t>(count)});
        return;
    }
    const std::vector<GpPoint> copy(Points, Points + count);
    GdipDrawPolygonI(FGraphics, FPen->GdiPen(), copy.data(), count);
    GdipFillPolygonI(FGraphics, FBrush->GdiBrush(), copy.data(), count, FillModeAlternate);
}

void TVLCanvas::Polyline(const TPoint* Points, int32_t HighIndex) {
    if (Points == nullptr || HighIndex < 0) return;
    const int32_t count = HighIndex + 1;
    if (!FUseGdiPlus) {
        FCanvas->Polyline({Points, static_cast<size_t>(count)});
        return;
    }
    GdipDrawLinesI(FGraphics, FPen->GdiPen(), Points, count);
}

void TVLCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                    int32_t X4, int32_t Y4) {
    if (!FUseGdiPlus) {
        FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
        return;
    }
    // The interface measures angles clockwise: start at minus the direction of (X3, Y3) and
    // sweep backwards through the counter-clockwise angle from (X3, Y3) to (X4, Y4), as the
    // canvas's own arc does (a full turn when both rays agree).
    const double cx = (X1 + static_cast<double>(X2)) / 2;
    const double cy = (Y1 + static_cast<double>(Y2)) / 2;
    const double start = SegmentAngle(cx, cy, X3, Y3) * 180 / std::numbers::pi;
    double sweep = SegmentAngle(cx, cy, X4, Y4) * 180 / std::numbers::pi - start;
    if (sweep <= 0) sweep += 360;
    GdipDrawArc(FGraphics, FPen->GdiPen(), static_cast<REAL>(X1), static_cast<REAL>(Y1),
                static_cast<REAL>(X2 - X1 + 1), static_cast<REAL>(Y2 - Y1 + 1),
                static_cast<REAL>(-start), static_cast<REAL>(-sweep));
}

void TVLCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerWidth,
                          int32_t CornerHeight) {
    if (!FUseGdiPlus) {
        FCanvas->RoundRect(X1, Y1, X2, Y2, CornerWidth, CornerHeight);
        return;
    }
    OrderRectCorners(X1, Y1, X2, Y2);
    const int32_t w = X2 - X1;
    const int32_t h = Y2 - Y1;
    const auto cw = static_cast<REAL>(std::min(CornerWidth, w));
    const auto ch = static_cast<REAL>(std::min(CornerHeight, h));
    const auto left = static_cast<REAL>(X1), top = static_cast<REAL>(Y1);
    const REAL right = left + static_cast<REAL>(w) - cw;
    const REAL bottom = top + static_cast<REAL>(h) - ch;
    GpPath* path = nullptr;
    if (GdipCreatePath(FillModeAlternate, &path) != GpStatus::Ok) return;
    GdipAddPathArc(path, left, top, cw, ch, 180, 90);
    GdipAddPathArc(path, right, top, cw, ch, 270, 90);
    GdipAddPathArc(path, right, bottom, cw, ch, 0, 90);
    GdipAddPathArc(path, left, bottom, cw, ch, 90, 90);
    // The left side closes the figure from where the last arc ends; starting it higher, at the
    // top of that arc's box, would draw a spike to the corner once the corners reach past the
    // middle of the side.
    GdipAddPathLine(path, left, bottom + ch / 2, left, top + ch / 2);
    GdipFillPath(FGraphics, FBrush->GdiBrush(), path);
    GdipDrawPath(FGraphics, FPen->GdiPen(), path);
    GdipDeletePath(path);
}
