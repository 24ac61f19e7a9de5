// Scroll bars of the single-image view, scroll messages, wheel scrolling and zooming, and the
// smooth scroll toward a target position.
#include "imaging/view/ViewScrollBars.h"

#include "imaging/core/VLWindowHelpers.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/Timer.h"

#include <algorithm>

void TVistrelView::SetScrollBars(TScrollStyle Value) {
    FScrollBars = Value;
    if (Value != ssVertical && Value != ssBoth) HideVScrollBar();
    if (Value != ssHorizontal && Value != ssBoth) HideHScrollBar();
    Update();
}

void TVistrelView::SetFlatScrollBars(bool Value) {
    if (Value == FFlatScrollBars) return;
    FFlatScrollBars = Value;
    if (!HandleAllocated()) return;
    const HWND wnd = Handle();
    if (!Value) {
        UninitializeFlatSB(wnd);
        return;
    }
    SetScrollRange(wnd, SB_HORZ, 0, ScrollBarRange - 1, false);
    SetScrollRange(wnd, SB_VERT, 0, ScrollBarRange - 1, false);
    InitializeFlatSB(wnd);
    FlatSB_ShowScrollBar(wnd, SB_BOTH, false);
}

void TVistrelView::HideHScrollBar() {
    if (!FHBarShown) return;
    FHBarShown = false;
    if (HandleAllocated()) ScrollBarShow(Handle(), SB_HORZ, false, FFlatScrollBars);
}

void TVistrelView::HideVScrollBar() {
    if (!FVBarShown) return;
    FVBarShown = false;
    if (HandleAllocated()) ScrollBarShow(Handle(), SB_VERT, false, FFlatScrollBars);
}

void TVistrelView::UpdateScrollBar(bool Horizontal, int32_t Max) {
    const HWND wnd = Handle();
    const int32_t bar = Horizontal ? SB_HORZ : SB_VERT;
    bool& shown = Horizontal ? FHBarShown : FVBarShown;
    if (Max < 1) {
        if (!ShowDisabledScrollBars) {
            Horizontal ? HideHScrollBar() : HideVScrollBar();
            return;
        }
        shown = true;
        ScrollBarEnable(wnd, bar, ESB_DISABLE_BOTH, FFlatScrollBars);
        ScrollBarShow(wnd, bar, true, FFlatScrollBars);
        return;
    }
    shown = true;
    const int32_t area = Horizontal ? ClientAreaWidth() : ClientAreaHeight();
    const double unit = ScrollUnit(area, Max);
    (Horizontal ? FHUnit : FVUnit) = unit;
    const int32_t view = Horizontal ? FViewX : FViewY;
    ScrollBarSetRange(wnd, bar, 0, ScrollBarRange - 1, false, FFlatScrollBars);
    ScrollBarSetPage(wnd, bar, static_cast<uint32_t>(Trunc(area / unit)), true, FFlatScrollBars);
    ScrollBarSetPos(wnd, bar, static_cast<int32_t>(Trunc(view / unit)), false, FFlatScrollBars);
    ScrollBarEnable(wnd, bar, ESB_ENABLE_BOTH, FFlatScrollBars);
    ScrollBarShow(wnd, bar, true, FFlatScrollBars);
}

void TVistrelView::UpdateScrollBars() {
    if (!HasParentWindow() || !HandleAllocated()) return;
    int32_t maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) UpdateScrollBar(true, maxX);
    if (FScrollBars == ssVertical || FScrollBars == ssBoth) UpdateScrollBar(false, maxY);
}

void TVistrelView::SetScrollBarPosition(bool Horizontal) {
    const bool included =
        FScrollBars == ssBoth || FScrollBars == (Horizontal ? ssHorizontal : ssVertical);
    if (!included || !HandleAllocated()) return;
    const double unit = Horizontal ? FHUnit : FVUnit;
    const int32_t view = Horizontal ? FViewX : FViewY;
    ScrollBarSetPos(Handle(), Horizontal ? SB_HORZ : SB_VERT,
                    static_cast<int32_t>(Trunc(view / unit)), true, FFlatScrollBars);
}

void TVistrelView::ScrollAxis(bool Horizontal, TVLScrollAction Action, int32_t Value) {
    const TVLScrollBarParams& params = Horizontal ? FHScrollBarParams : FVScrollBarParams;
    // One bitmap pixel in zoomed pixels, at least one.
    int64_t line = std::max<int64_t>(Trunc(Horizontal ? FFactorX : FFactorY), 1);
    if (params.LineStep != -1) line *= params.LineStep;
    const int64_t page = params.PageStep == -1
                             ? (Horizontal ? ClientAreaWidth() : ClientAreaHeight())
                             : line * params.PageStep;
    const int64_t view = Horizontal ? FViewX : FViewY;
    int64_t target = view;
    switch (Action) {
    case vlsaLineBack:
        target = view - line;
        break;
    case vlsaLineForward:
        target = view + line;
        break;
    case vlsaPageBack:
        target = view - page;
        break;
    case vlsaPageForward:
        target = view + page;
        break;
    case vlsaSet:
        target = Value;
        break;
    }
    const auto position = static_cast<int32_t>(std::clamp<int64_t>(target, INT32_MIN, INT32_MAX));
    Horizontal ? SetViewX(position) : SetViewY(position);
}

void TVistrelView::ScrollHorz(TVLScrollAction Action, int32_t Value) {
    ScrollAxis(true, Action, Value);
}

void TVistrelView::ScrollVert(TVLScrollAction Action, int32_t Value) {
    ScrollAxis(false, Action, Value);
}

void TVistrelView::ScrollMessage(bool Horizontal, WPARAM WParam) {
    const WPARAM code = LOWORD(WParam);
    const int32_t thumb = HIWORD(WParam);
    const double unit = Horizontal ? FHUnit : FVUnit;
    const TVLScrollBarParams& params = Horizontal ? FHScrollBarParams : FVScrollBarParams;
    TVLScrollAction action = vlsaSet;
    int32_t value = Horizontal ? FViewX : FViewY;
    switch (code) {
    case SB_LINEUP:
        action = vlsaLineBack;
        break;
    case SB_LINEDOWN:
        action = vlsaLineForward;
        break;
    case SB_PAGEUP:
        action = vlsaPageBack;
        break;
    case SB_PAGEDOWN:
        action = vlsaPageForward;
        break;
    case SB_THUMBTRACK:
        if (!params.Tracking) return;
        [[fallthrough]];
    case SB_THUMBPOSITION:
        value = static_cast<int32_t>(Round(thumb * unit));
        break;
    case SB_TOP:
        value = 0;
        break;
    case SB_BOTTOM: {
        int32_t maxX, maxY;
        GetMaxViewXY(maxX, maxY);
        value = Horizontal ? maxX : maxY;
        break;
    }
    default:
        break; // SB_ENDSCROLL: stays where it is
    }
    ScrollAxis(Horizontal, action, value);
}

void TVistrelView::WheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl) {
    const TVLMouseWheelParams& wheel = FMouseWheelParams;
    if (wheel.Action == 0 || FAutoFit) return;
    // Turned away from the user: back (scroll up, zoom out).
    int32_t d = Delta > 0 ? -1 : 1;
    if (wheel.InvertDirection) d = -d;
    if (wheel.Action == 1) {
        int32_t maxX, maxY;
        GetMaxViewXY(maxX, maxY);
        const bool horizontal = Ctrl || (maxX > 0 && maxY == 0);
        int64_t step;
        if (wheel.Variation == 0)
            step = wheel.Value * std::max<int64_t>(Trunc(horizontal ? FFactorX : FFactorY), 1);
        else if (wheel.Variation == 1)
            step = std::max<int64_t>(
                Round((horizontal ? ClientAreaWidth() : ClientAreaHeight()) * wheel.Value / 100.0),
                1);
        else
            return;
        const int64_t target = (horizontal ? FViewX : FViewY) + d * step;
        const auto position =
            static_cast<int32_t>(std::clamp<int64_t>(target, INT32_MIN, INT32_MAX));
        horizontal ? SetViewX(position) : SetViewY(position);
        return;
    }
    if (wheel.Action != 2) return;
    double zoom = FZoomX;
    if (wheel.Variation == 0)
        zoom = FZoomX + d * wheel.Value;
    else if (wheel.Variation == 1)
        zoom = FZoomX + d * std::max<int64_t>(Round(wheel.Value * FZoomX / 100), 1);
    if (zoom > FZoomX && OnZoomIn) OnZoomIn(this, zoom);
    if (zoom < FZoomX && OnZoomOut) OnZoomOut(this, zoom);
    if (wheel.ZoomAtMouse)
        ZoomAt(X, Y, zoom, false);
    else
        SetZoom(zoom);
}

void TVistrelView::SmoothScrollTo(int32_t X, int32_t Y) {
    FSmoothTargetX = X;
    FSmoothTargetY = Y;
    if (FSmoothTimer != nullptr) return;
    FSmoothTimer = new TTimer(this);
    FSmoothTimer->SetInterval(30);
    FSmoothTimer->SetOnTimer([this](TObject*) { SmoothScrollStep(); });
    SmoothScrollStep();
}

void TVistrelView::SmoothScrollStep() {
    const int32_t oldX = FViewX;
    const int32_t oldY = FViewY;
    // An eighth of the remaining way per step.
    SetViewXY(static_cast<int32_t>(Round(FViewX - (FViewX - FSmoothTargetX) / 8.0)),
              static_cast<int32_t>(Round(FViewY - (FViewY - FSmoothTargetY) / 8.0)));
    if ((FViewX == oldX && FViewY == oldY) || IsPrimaryMouseButtonDown()) {
        delete FSmoothTimer;
        FSmoothTimer = nullptr;
    }
}
