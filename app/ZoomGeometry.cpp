// Zoom, fit, window sizing and panning arithmetic of the main window.
#include "app/ZoomGeometry.h"

#include "platform/rtl/SysUtils.h"
#include "platform/ui/Messages.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t TruncToInt(double Value) {
    if (!(Value > INT32_MIN)) return INT32_MIN; // also NaN
    if (Value >= INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(Value);
}

int64_t TruncToInt64(double Value) {
    constexpr double Limit = 9.0e18;
    if (!(Value > -Limit)) return static_cast<int64_t>(-Limit);
    if (Value >= Limit) return static_cast<int64_t>(Limit);
    return static_cast<int64_t>(Value);
}

int32_t ClampToInt(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

enum class TZoomDirection { In, Out };

std::optional<TZoomStepResult> ZoomStep(const TViewGeometry& View, int32_t X, int32_t Y,
                                        TZoomDirection Direction) {
    if (View.Zoom <= 0) return std::nullopt;
    const TSize scaled = GetScaledImageSize(View);
    const bool pointGiven = !(X == -1 && Y == -1);
    const int64_t pointA = int64_t{X} + View.ViewX, pointB = int64_t{Y} + View.ViewY;
    if (!pointGiven || pointA < 0 || pointA >= scaled.cx || pointB < 0 || pointB >= scaled.cy) {
        X = View.ViewWidth / 2;
        Y = View.ViewHeight / 2;
    }
    const int64_t a = int64_t{X} + View.ViewX, b = int64_t{Y} + View.ViewY;

    const double z = View.Zoom;
    const bool snapToHundred =
        Direction == TZoomDirection::In ? (z > 75 && z < 100) : (z > 100 && z < 125);
    const double factor = Direction == TZoomDirection::In ? 1.2 : 0.8;
    const double wanted = snapToHundred ? 100 : z * factor;
    const double zoom = std::min(wanted, View.MaxZoom);
    if (zoom <= 0 || zoom == z) return std::nullopt;
    if (Direction == TZoomDirection::Out &&
        GetScaledImageSize(View.ImageWidth, View.ImageHeight, zoom) == TSize{})
        return std::nullopt;

    int64_t newA, newB;
    if (zoom != wanted) { // lowered to the view's largest zoom: the anchors follow the zoom set
        newA = TruncToInt64(a * (zoom / z));
        newB = TruncToInt64(b * (zoom / z));
    } else if (snapToHundred) {
        newA = TruncToInt64(a / (z * 0.01));
        newB = TruncToInt64(b / (z * 0.01));
    } else {
        newA = TruncToInt64(a * factor);
        newB = TruncToInt64(b * factor);
    }

    TViewGeometry after = View;
    after.Zoom = zoom;
    int32_t viewX = ClampToInt(newA - X), viewY = ClampToInt(newB - Y);
    ClampViewOffset(after, viewX, viewY);
    return TZoomStepResult{zoom, viewX, viewY};
}

} // namespace

TSize GetScaledImageSize(int32_t ImageWidth, int32_t ImageHeight, double Zoom) {
    return {TruncToInt(ImageWidth * Zoom * 0.01), TruncToInt(ImageHeight * Zoom * 0.01)};
}

TSize GetScaledImageSize(const TViewGeometry& View) {
    return GetScaledImageSize(View.ImageWidth, View.ImageHeight, View.Zoom);
}

double EffectiveZoom(double Requested, double Current, double Max) {
    if (!(Requested > 0)) return Current;
    return std::min(Requested, Max);
}

double FitZoomValue(bool FitToWindow, int32_t AvailWidth, int32_t AvailHeight, int32_t ImageWidth,
                    int32_t ImageHeight) {
    if (!FitToWindow || ImageWidth <= 0 || ImageHeight <= 0) return 100;
    float ratio = 1;
    if (AvailWidth < ImageWidth) ratio = static_cast<float>(AvailWidth) / ImageWidth;
    if (AvailHeight < ImageHeight * ratio) ratio = static_cast<float>(AvailHeight) / ImageHeight;
    return static_cast<double>(ratio) * 100;
}

TCenterOffsets CenterImageOffsets(const TViewGeometry& View) {
    const TSize scaled = GetScaledImageSize(View);
    TCenterOffsets offsets;
    if (View.ViewWidth >= scaled.cx) offsets.ViewX = (View.ViewWidth - scaled.cx) / 2;
    if (View.ViewHeight >= scaled.cy) offsets.ViewY = (View.ViewHeight - scaled.cy) / 2;
    return offsets;
}

void ClampViewOffset(const TViewGeometry& View, int32_t& X, int32_t& Y) {
    const TSize scaled = GetScaledImageSize(View);
    if (View.ViewWidth >= scaled.cx && View.ViewHeight >= scaled.cy) {
        X = (scaled.cx - View.ViewWidth) / 2;
        Y = (scaled.cy - View.ViewHeight) / 2;
        return;
    }
    if (View.ViewWidth < scaled.cx) X = std::clamp(X, 0, scaled.cx - View.ViewWidth);
    if (View.ViewHeight < scaled.cy) Y = std::clamp(Y, 0, scaled.cy - View.ViewHeight);
}

TSize WindowChrome(const TRect& WindowBounds, const TSize& ClientSize, int32_t StatusBarHeight,
                   int32_t TitleBarHeight, std::optional<int32_t> LeftPanelWidth,
                   std::optional<int32_t> RightPanelWidth) {
    return {WindowBounds.Width() - ClientSize.cx + LeftPanelWidth.value_or(0) +
                RightPanelWidth.value_or(0) + 4,
            WindowBounds.Height() - ClientSize.cy + StatusBarHeight + TitleBarHeight + 4};
}

TRect AutoSizeWorkArea(const TRect& MonitorWorkArea, std::optional<int32_t> StripLeft) {
    TRect work = MonitorWorkArea;
    if (StripLeft) work.Right = *StripLeft;
    return work;
}

TAutoSizeLayout AutoSizeLayout(const TAutoSizeInput& In) {
    const TRect& work = In.Work;
    int32_t winW = In.ImageWidth + In.Chrome.cx, winH = In.ImageHeight + In.Chrome.cy;
    if (winH >= work.Height() || winW >= work.Width()) {
        winW = std::min(winW, work.Width());
        winH = std::min(winH, work.Height());
    }
    const double fit = FitZoomValue(In.FitToWindow, winW - In.Chrome.cx, winH - In.Chrome.cy,
                                    In.ImageWidth, In.ImageHeight);
    const double zoom = EffectiveZoom(fit, In.CurrentZoom, In.MaxZoom);
    const double shownW = In.ImageWidth * zoom * 0.01, shownH = In.ImageHeight * zoom * 0.01;
    if (shownW < winW - In.Chrome.cx) winW = TruncToInt(shownW + In.Chrome.cx);
    if (shownH < winH - In.Chrome.cy) winH = TruncToInt(shownH + In.Chrome.cy);
    winW = std::max(winW, In.MinSize.cx);
    winH = std::max(winH, In.MinSize.cy);

    int32_t left = std::max(In.Center.X - winW / 2, work.Left);
    int32_t top = std::max(In.Center.Y - winH / 2, work.Top);
    if (int64_t{left} + winW > work.Right) left = work.Left;
    if (int64_t{top} + winH > work.Bottom) top = work.Top;
    return {zoom, Bounds(left, top, winW, winH)};
}

TPoint WindowCenter(const TRect& Bounds) {
    return {Bounds.Left + Bounds.Width() / 2, Bounds.Top + Bounds.Height() / 2};
}

std::optional<TZoomStepResult> ZoomInStep(const TViewGeometry& View, int32_t X, int32_t Y) {
    return ZoomStep(View, X, Y, TZoomDirection::In);
}

std::optional<TZoomStepResult> ZoomOutStep(const TViewGeometry& View, int32_t X, int32_t Y) {
    return ZoomStep(View, X, Y, TZoomDirection::Out);
}

String ZoomText(double Zoom) {
    return IntToStr(TruncToInt(Zoom)) + u"%";
}

TPoint OriginalSizeOffsets(const TViewGeometry& View) {
    TViewGeometry atHundred = View;
    atHundred.Zoom = EffectiveZoom(100, View.Zoom, View.MaxZoom);
    TPoint offsets{View.ViewX, View.ViewY};
    ClampViewOffset(atHundred, offsets.X, offsets.Y);
    return offsets;
}

TPoint DragOrigin(const TViewGeometry& View, int32_t X, int32_t Y) {
    return {ClampToInt(int64_t{X} + View.ViewX), ClampToInt(int64_t{Y} + View.ViewY)};
}

TPoint DragOffsets(const TViewGeometry& View, const TPoint& Origin, int32_t X, int32_t Y) {
    const TSize scaled = GetScaledImageSize(View);
    TPoint offsets{View.ViewX, View.ViewY};
    if (scaled.cx > View.ViewWidth)
        offsets.X = ClampToInt(std::min<int64_t>(scaled.cx - View.ViewWidth,
                                                 std::max<int64_t>(0, int64_t{Origin.X} - X)));
    if (scaled.cy > View.ViewHeight)
        offsets.Y = ClampToInt(std::min<int64_t>(scaled.cy - View.ViewHeight,
                                                 std::max<int64_t>(0, int64_t{Origin.Y} - Y)));
    return offsets;
}

bool CanDragImage(const TViewGeometry& View) {
    const TSize scaled = GetScaledImageSize(View);
    return scaled.cx > View.ViewWidth || scaled.cy > View.ViewHeight;
}

TArrowKeyResult ArrowKeyScroll(const TViewGeometry& View, uint16_t Key, TShiftState Shift) {
    const bool shift = (Shift & ssShift) != 0;
    if ((Shift & (ssShift | ssCtrl | ssAlt)) != 0 && !shift) return {};
    if (Key != VK_LEFT && Key != VK_RIGHT && Key != VK_UP && Key != VK_DOWN) return {};
    const TSize scaled = GetScaledImageSize(View);
    const int64_t stepX = shift ? View.ViewWidth : 10, stepY = shift ? View.ViewHeight : 10;
    int64_t x = View.ViewX, y = View.ViewY;
    const bool wider = scaled.cx > View.ViewWidth, taller = scaled.cy > View.ViewHeight;
    if (Key == VK_LEFT && wider) x = std::max<int64_t>(0, x - stepX);
    if (Key == VK_RIGHT && wider) x = std::min<int64_t>(scaled.cx - View.ViewWidth, x + stepX);
    if (Key == VK_UP && taller) y = std::max<int64_t>(0, y - stepY);
    if (Key == VK_DOWN && taller) y = std::min<int64_t>(scaled.cy - View.ViewHeight, y + stepY);
    return {true, ClampToInt(x), ClampToInt(y)};
}

TMaximizeResult MaximizeStep(const TMaximizeInput& In) {
    TMaximizeResult result;
    result.RestoreBounds = In.RestoreBounds;
    if (In.MaximizedByUs) {
        result.Action = In.WindowMaximized ? TMaximizeAction::Normal : TMaximizeAction::SetBounds;
        result.Bounds = In.RestoreBounds;
        result.MaximizedByUs = false;
        return result;
    }
    result.MaximizedByUs = true;
    if (In.StripWidth) {
        result.Action = TMaximizeAction::SetBounds;
        result.RestoreBounds = In.WindowBounds;
        result.Bounds =
            Bounds(In.Work.Left, In.Work.Top, In.Work.Width() - *In.StripWidth, In.Work.Height());
        return result;
    }
    result.Action = TMaximizeAction::Maximize;
    return result;
}
