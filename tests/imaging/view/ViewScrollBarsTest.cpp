// Scroll bars of the view after zoom and scroll, scroll messages, wheel zoom about the mouse
// point and wheel scrolling, and smooth scrolling.
#include "imaging/view/ViewScrollBars.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/WinUser.h"
#include "tests/imaging/view/ViewTestSupport.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

namespace {

TEST(ViewScrollBars, FittingImagesHideTheBarsOrShowThemDisabled) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    const HWND wnd = view.Handle();
    SetImageSize(view, 200, 100);
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_HORZ));
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
    EXPECT_EQ(view.ClientAreaWidth(), 400);
    view.ShowDisabledScrollBars = true;
    view.Update();
    EXPECT_TRUE(IsScrollBarVisible(wnd, SB_HORZ));
    EXPECT_TRUE(IsScrollBarVisible(wnd, SB_VERT));
    EXPECT_FALSE(IsScrollBarEnabled(wnd, SB_HORZ));
    EXPECT_FALSE(IsScrollBarEnabled(wnd, SB_VERT));
    EXPECT_EQ(view.ClientAreaWidth(), 400 - GetSystemMetrics(SM_CXVSCROLL));
}

TEST(ViewScrollBars, BarStateFollowsZoomAndScroll) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    const HWND wnd = view.Handle();
    SetImageSize(view, 2000, 1500);
    ASSERT_TRUE(view.HScrollBarShown());
    ASSERT_TRUE(view.VScrollBarShown());
    EXPECT_TRUE(IsScrollBarEnabled(wnd, SB_HORZ));
    // The bars take their room from the client area, and the geometry followed.
    const int32_t areaW = 400 - GetSystemMetrics(SM_CXVSCROLL);
    const int32_t areaH = 300 - GetSystemMetrics(SM_CYHSCROLL);
    EXPECT_EQ(view.ClientAreaWidth(), areaW);
    EXPECT_EQ(view.ClientAreaHeight(), areaH);
    EXPECT_EQ(view.ExtentWidth(), areaW);
    int32_t maxX, maxY;
    view.GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 2001 - areaW);
    EXPECT_DOUBLE_EQ(view.HScrollUnit(), (areaW + maxX) / 65536.0);

    SCROLLINFO info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(wnd, SB_HORZ, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, 65535);
    EXPECT_EQ(info.nPage, static_cast<uint32_t>(Trunc(areaW / view.HScrollUnit())));
    EXPECT_EQ(info.nPos, 0);

    view.SetViewXY(700, 400);
    EXPECT_EQ(GetScrollPos(wnd, SB_HORZ), Trunc(700 / view.HScrollUnit()));
    EXPECT_EQ(GetScrollPos(wnd, SB_VERT), Trunc(400 / view.VScrollUnit()));

    // Zoomed out until it fits: both bars go and the area is whole again.
    view.SetZoom(10);
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_HORZ));
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
    EXPECT_EQ(view.ClientAreaWidth(), 400);
    EXPECT_EQ(view.ViewX(), 0);

    // Only the horizontal bar is wanted.
    view.SetZoom(100);
    view.SetScrollBars(ssHorizontal);
    EXPECT_TRUE(IsScrollBarVisible(wnd, SB_HORZ));
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
    view.Fit(); // hides the bars before fitting the whole control
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_HORZ));
    EXPECT_DOUBLE_EQ(view.ZoomX(), 20);
}

TEST(ViewScrollBars, ScrollCodesMoveTheView) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    const HWND wnd = view.Handle();
    SetImageSize(view, 2000, 1500);
    const auto vscroll = [&](WPARAM Code, int32_t Thumb = 0) {
        SendMessage(wnd, WM_VSCROLL, MAKEWPARAM(static_cast<int32_t>(Code), Thumb), 0);
        return view.ViewY();
    };
    struct TCase {
        double Zoom;
        int32_t LineStep, PageStep;
        int32_t Line, Page;
    };
    const int32_t areaH = view.ClientAreaHeight();
    const TCase cases[] = {{400, -1, -1, 4, areaH},
                           {50, -1, -1, 1, areaH},
                           {100, 3, -1, 3, areaH},
                           {300, 2, 5, 6, 30}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Zoom);
        view.SetZoom(c.Zoom);
        view.VScrollBarParams().LineStep = c.LineStep;
        view.VScrollBarParams().PageStep = c.PageStep;
        view.SetViewXY(0, 100);
        EXPECT_EQ(vscroll(SB_LINEDOWN), 100 + c.Line);
        EXPECT_EQ(vscroll(SB_LINEUP), 100);
        EXPECT_EQ(vscroll(SB_PAGEDOWN), 100 + c.Page);
        EXPECT_EQ(vscroll(SB_PAGEUP), 100);
        EXPECT_EQ(vscroll(SB_ENDSCROLL), 100);
        int32_t maxX, maxY;
        view.GetMaxViewXY(maxX, maxY);
        EXPECT_EQ(vscroll(SB_BOTTOM), maxY);
        EXPECT_EQ(vscroll(SB_TOP), 0);
        EXPECT_EQ(vscroll(SB_PAGEUP), 0); // clamped at the start
    }
    // The thumb: tracking moves while dragging; without it only the release moves.
    view.SetZoom(100);
    const double unit = view.VScrollUnit();
    EXPECT_EQ(vscroll(SB_THUMBTRACK, 20000), Round(20000 * unit));
    view.VScrollBarParams().Tracking = false;
    EXPECT_EQ(vscroll(SB_THUMBTRACK, 30000), Round(20000 * unit));
    EXPECT_EQ(vscroll(SB_THUMBPOSITION, 30000), Round(30000 * unit));
    // The horizontal bar has settings of its own.
    SendMessage(wnd, WM_HSCROLL, SB_LINERIGHT, 0);
    EXPECT_EQ(view.ViewX(), 1);
}

LRESULT Wheel(TVistrelView& View, int32_t Delta, int32_t ClientX, int32_t ClientY,
              WPARAM Keys = 0) {
    View.ClientToScreen(ClientX, ClientY);
    return SendMessage(View.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(static_cast<int32_t>(Keys), Delta),
                       MAKELPARAM(ClientX, ClientY));
}

TEST(ViewScrollBars, WheelZoomsByPercentAboutTheCentreOrTheMouse) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    SetImageSize(view, 2000, 1500);
    Wheel(view, -WHEEL_DELTA, 10, 10); // towards the user: in
    EXPECT_DOUBLE_EQ(view.ZoomX(), 108);
    view.SetZoom(100);
    Wheel(view, WHEEL_DELTA, 10, 10); // away: out
    EXPECT_DOUBLE_EQ(view.ZoomX(), 92);
    view.MouseWheelParams().InvertDirection = true;
    Wheel(view, WHEEL_DELTA, 10, 10);
    EXPECT_DOUBLE_EQ(view.ZoomX(), 92 + 7); // Round(8 x 0.92) = 7
    view.MouseWheelParams().InvertDirection = false;

    // The handler may change the new zoom.
    view.OnZoomIn = [](TObject*, double& Zoom) { Zoom = 250; };
    Wheel(view, -WHEEL_DELTA, 10, 10);
    EXPECT_DOUBLE_EQ(view.ZoomX(), 250);
    view.OnZoomIn = nullptr;

    // About the mouse: the bitmap pixel under it stays there.
    view.MouseWheelParams().ZoomAtMouse = true;
    view.MouseWheelParams().Variation = 0;
    view.MouseWheelParams().Value = 50;
    view.SetZoom(100);
    view.SetViewXY(300, 200);
    Recompute(view);
    const int32_t mx = 150, my = 120;
    const int32_t bx = view.ClientToBitmapX(mx);
    const int32_t by = view.ClientToBitmapY(my);
    Wheel(view, -WHEEL_DELTA, mx, my);
    EXPECT_DOUBLE_EQ(view.ZoomX(), 150);
    EXPECT_NEAR(view.BitmapToClientX(bx), mx, 2.5);
    EXPECT_NEAR(view.BitmapToClientY(by), my, 2.5);

    // AutoFit and Action 0 turn the wheel off.
    view.MouseWheelParams().Action = 0;
    Wheel(view, -WHEEL_DELTA, mx, my);
    EXPECT_DOUBLE_EQ(view.ZoomX(), 150);
}

TEST(ViewScrollBars, WheelScrollsVerticallyOrHorizontally) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    view.MouseWheelParams().Action = 1;
    view.MouseWheelParams().Variation = 0;
    view.MouseWheelParams().Value = 3;
    SetImageSize(view, 2000, 1500);
    view.SetZoom(200);
    view.SetViewXY(500, 500);
    Wheel(view, -WHEEL_DELTA, 5, 5); // towards the user: down, 3 x 2 zoomed pixels
    EXPECT_EQ(view.ViewY(), 506);
    Wheel(view, WHEEL_DELTA, 5, 5, MK_CONTROL); // Ctrl: horizontally
    EXPECT_EQ(view.ViewX(), 494);
    view.MouseWheelParams().Variation = 1; // percent of the area
    Wheel(view, -WHEEL_DELTA, 5, 5);
    EXPECT_EQ(view.ViewY(), 506 + Round(view.ClientAreaHeight() * 3 / 100.0));

    // An image that scrolls only sideways scrolls sideways without Ctrl.
    SetImageSize(view, 2000, 100);
    view.SetZoom(100);
    view.SetViewXY(100, 0);
    Wheel(view, -WHEEL_DELTA, 5, 5);
    EXPECT_EQ(view.ViewY(), 0);
    EXPECT_GT(view.ViewX(), 100);
}

TEST(ViewScrollBars, SmoothScrollingApproachesTheTargetAndStops) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    SetImageSize(view, 2000, 1500);
    view.SmoothScrollTo(800, 600);
    EXPECT_TRUE(view.SmoothScrolling());
    EXPECT_EQ(view.ViewX(), 100); // the first step runs at once: an eighth of the way
    EXPECT_EQ(view.ViewY(), 75);
    view.SmoothScrollTo(800, 640); // moves the target only
    PumpUntil([&] { return !view.SmoothScrolling(); });
    EXPECT_NEAR(view.ViewX(), 800, 4);
    EXPECT_NEAR(view.ViewY(), 640, 4);
}

TEST(ViewScrollBars, FlatScrollBarsBehaveLikeThePlainOnes) {
    TViewOnForm on(400, 300);
    TVistrelView& view = *on.View;
    view.SetFlatScrollBars(true);
    SetImageSize(view, 2000, 1500);
    EXPECT_TRUE(IsScrollBarVisible(view.Handle(), SB_HORZ));
    view.SetViewXY(640, 0);
    EXPECT_EQ(GetScrollPos(view.Handle(), SB_HORZ), Trunc(640 / view.HScrollUnit()));
}

} // namespace
