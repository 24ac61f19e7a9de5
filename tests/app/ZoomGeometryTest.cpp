// Zoom steps, fitting, automatic window size, panning and the Maximize button's bookkeeping.
#include "app/ZoomGeometry.h"

#include "platform/ui/Messages.h"

#include <gtest/gtest.h>

namespace {

TViewGeometry View(int32_t ImageW, int32_t ImageH, int32_t ViewW, int32_t ViewH, double Zoom,
                   int32_t ViewX = 0, int32_t ViewY = 0) {
    TViewGeometry v;
    v.ImageWidth = ImageW;
    v.ImageHeight = ImageH;
    v.ViewWidth = ViewW;
    v.ViewHeight = ViewH;
    v.Zoom = Zoom;
    v.ViewX = ViewX;
    v.ViewY = ViewY;
    v.MaxZoom = 1e9;
    return v;
}

TAutoSizeInput AutoSizeInput(int32_t ImageW, int32_t ImageH, TPoint Center, bool Fit = true) {
    TAutoSizeInput in;
    in.ImageWidth = ImageW;
    in.ImageHeight = ImageH;
    in.Chrome = {4, 50};
    in.Work = Rect(0, 0, 1920, 1040);
    in.Center = Center;
    in.FitToWindow = Fit;
    in.CurrentZoom = 100;
    in.MaxZoom = 1e9;
    return in;
}

} // namespace

TEST(ZoomGeometry, AutoSizeFitsTheWindowToThePictureWithinTheWorkArea) {
    // A large picture: the window takes the work area's height, the zoom fits the picture to it
    // (a single-precision ratio) and the width shrinks to the scaled picture plus the chrome.
    const TAutoSizeLayout large = AutoSizeLayout(AutoSizeInput(4000, 3000, {960, 520}));
    EXPECT_DOUBLE_EQ(large.Zoom, static_cast<double>(990.0f / 3000) * 100);
    EXPECT_NEAR(large.Zoom, 33, 0.001);
    EXPECT_EQ(large.Bounds, Bounds(960 - 662, 0, 1324, 1040));

    // A small one stays at 100 % in a window of the minimum size around the remembered centre.
    const TAutoSizeLayout small = AutoSizeLayout(AutoSizeInput(200, 100, {700, 500}));
    EXPECT_DOUBLE_EQ(small.Zoom, 100);
    EXPECT_EQ(small.Bounds, Bounds(550, 350, 300, 300));

    // Without fitting, a large picture is shown at 100 % in a window filling the work area.
    const TAutoSizeLayout unfitted = AutoSizeLayout(AutoSizeInput(4000, 3000, {960, 520}, false));
    EXPECT_DOUBLE_EQ(unfitted.Zoom, 100);
    EXPECT_EQ(unfitted.Bounds, Rect(0, 0, 1920, 1040));

    // The view's largest zoom lowers the fitted one, and the window follows the zoom it gets.
    TAutoSizeInput capped = AutoSizeInput(4000, 3000, {960, 520});
    capped.MaxZoom = 20;
    const TAutoSizeLayout c = AutoSizeLayout(capped);
    EXPECT_DOUBLE_EQ(c.Zoom, 20);
    EXPECT_EQ(c.Bounds, Bounds(960 - 402, 520 - 325, 804, 650));

    // A fitted zoom the view refuses (no room left beside the chrome) keeps the current zoom.
    TAutoSizeInput cramped = AutoSizeInput(400, 300, {100, 100});
    cramped.Work = Rect(0, 0, 4, 40);
    cramped.CurrentZoom = 50;
    EXPECT_DOUBLE_EQ(AutoSizeLayout(cramped).Zoom, 50);
}

TEST(ZoomGeometry, AWindowStickingOutJumpsToTheWorkAreasEdge) {
    struct Case {
        TRect Work;
        TPoint Center;
        TRect Expected;
    };
    const TRect screen = Rect(0, 0, 1920, 1040), second = Rect(1920, 30, 3840, 1070);
    for (const Case& c : {
             Case{screen, {1800, 520}, Bounds(0, 370, 300, 300)},    // out on the right
             Case{screen, {960, 1000}, Bounds(810, 0, 300, 300)},    // out at the bottom
             Case{screen, {1800, 1000}, Bounds(0, 0, 300, 300)},     // both
             Case{screen, {-500, -500}, Bounds(0, 0, 300, 300)},     // before the work area
             Case{screen, {1770, 890}, Bounds(1620, 740, 300, 300)}, // touching the edges
             Case{second, {1950, 1050}, Bounds(1920, 30, 300, 300)},
             Case{second, {2500, 500}, Bounds(2350, 350, 300, 300)},
         }) {
        SCOPED_TRACE(testing::Message() << c.Center.X << "," << c.Center.Y);
        TAutoSizeInput in = AutoSizeInput(200, 100, c.Center);
        in.Work = c.Work;
        EXPECT_EQ(AutoSizeLayout(in).Bounds, c.Expected);
    }
}

TEST(ZoomGeometry, WorkAreaChromeAndCentre) {
    EXPECT_EQ(AutoSizeWorkArea(Rect(0, 0, 1920, 1040), std::nullopt), Rect(0, 0, 1920, 1040));
    EXPECT_EQ(AutoSizeWorkArea(Rect(0, 0, 1920, 1040), 1700), Rect(0, 0, 1700, 1040));
    EXPECT_EQ(WindowChrome(Bounds(5, 5, 707, 553), {707, 553}, 20, 26, std::nullopt, 51),
              (TSize{55, 50}));
    EXPECT_EQ(WindowChrome(Bounds(5, 5, 709, 555), {707, 553}, 20, 26, 179, std::nullopt),
              (TSize{185, 52}));
    EXPECT_EQ(WindowCenter(Bounds(10, 20, 301, 201)), (TPoint{160, 120}));
    EXPECT_EQ(WindowCenter(Bounds(-301, -11, 301, 11)), (TPoint{-151, -6}));
}

TEST(ZoomGeometry, FitZoomNeverEnlarges) {
    struct Case {
        bool Fit;
        int32_t AW, AH, W, H;
        double Zoom;
    };
    for (const Case& c : {
             Case{true, 500, 400, 200, 100, 100},
             Case{true, 500, 400, 1000, 100, static_cast<double>(500.0f / 1000) * 100},
             Case{true, 500, 400, 1000, 1000, static_cast<double>(400.0f / 1000) * 100},
             Case{true, 500, 400, 500, 400, 100},
             Case{false, 500, 400, 1000, 1000, 100},
             Case{true, 500, 400, 0, 0, 100},
         }) {
        SCOPED_TRACE(testing::Message() << c.W << "x" << c.H);
        EXPECT_DOUBLE_EQ(FitZoomValue(c.Fit, c.AW, c.AH, c.W, c.H), c.Zoom);
    }
}

TEST(ZoomGeometry, ZoomSequences) {
    struct Case {
        bool In;
        std::vector<double> Zooms;
    };
    for (const Case& c : {
             Case{true, {100, 120, 144, 172.8}},
             Case{false, {100, 80, 64, 51.2}},
             Case{true, {70, 84, 100, 120}},
             Case{true, {75, 90}},
             Case{true, {90, 100}},
             Case{false, {120, 100}},
             Case{false, {125, 100}},
         }) {
        SCOPED_TRACE(testing::Message() << (c.In ? "in from " : "out from ") << c.Zooms[0]);
        TViewGeometry v = View(1000, 800, 500, 400, c.Zooms[0]);
        for (size_t i = 1; i < c.Zooms.size(); ++i) {
            const auto step = c.In ? ZoomInStep(v, -1, -1) : ZoomOutStep(v, -1, -1);
            ASSERT_TRUE(step.has_value());
            EXPECT_DOUBLE_EQ(step->Zoom, c.Zooms[i]);
            v.Zoom = step->Zoom;
            v.ViewX = step->ViewX;
            v.ViewY = step->ViewY;
        }
    }
    EXPECT_EQ(ZoomText(172.8), u"172%");
    EXPECT_EQ(ZoomText(100), u"100%");
}

TEST(ZoomGeometry, ZoomKeepsItsAnchorUnderThePoint) {
    struct Case {
        int32_t X, Y, ViewX, ViewY;
        bool In;
        double Zoom;
        int32_t ExpectX, ExpectY;
    };
    for (const Case& c : {
             // The picture point under the mouse stays there: (100 + 200) x 1.2 - 100.
             Case{100, 50, 200, 100, true, 100, 260, 130},
             // No point, or one outside the picture: about the view's centre.
             Case{-1, -1, 200, 100, true, 100, 290, 160},
             // ... (250 + 600) x 1.2 - 250 = 770, clamped to the new scroll range.
             Case{900, 50, 600, 100, true, 100, 700, 160},
             // Snapping to 100 divides the anchor by the old zoom: (100 + 100) / 0.9 - 100.
             Case{100, 50, 100, 50, true, 90, 122, 61},
             Case{100, 50, 200, 100, false, 100, 140, 70},
         }) {
        SCOPED_TRACE(testing::Message() << c.X << "," << c.Y << (c.In ? " in" : " out"));
        const TViewGeometry v = View(1000, 800, 500, 400, c.Zoom, c.ViewX, c.ViewY);
        const auto step = c.In ? ZoomInStep(v, c.X, c.Y) : ZoomOutStep(v, c.X, c.Y);
        ASSERT_TRUE(step.has_value());
        EXPECT_EQ(step->ViewX, c.ExpectX);
        EXPECT_EQ(step->ViewY, c.ExpectY);
    }
    // Anchors far beyond 32-bit products: 29,999,100 x 1.2.
    const TViewGeometry huge = View(1000000, 10, 500, 400, 3000, 30000000 - 1000, 0);
    const auto step = ZoomInStep(huge, 100, 5);
    ASSERT_TRUE(step.has_value());
    EXPECT_EQ(step->ViewX, 35998920 - 100);
}

TEST(ZoomGeometry, ZoomStepsGoThroughTheViewsCap) {
    TViewGeometry v = View(1000, 800, 500, 400, 120, 100, 100);
    v.MaxZoom = 130;
    const auto capped = ZoomInStep(v, 250, 200);
    ASSERT_TRUE(capped.has_value());
    EXPECT_DOUBLE_EQ(capped->Zoom, 130);
    // The anchor follows the zoom set: (250 + 100) x 130 / 120 - 250, truncated.
    EXPECT_EQ(capped->ViewX, 379 - 250);

    // Snapping to 100 above a cap of 95 stops at the cap.
    TViewGeometry small = View(1000, 800, 500, 400, 90, 100, 100);
    small.MaxZoom = 95;
    const auto snapped = ZoomInStep(small, 250, 200);
    ASSERT_TRUE(snapped.has_value());
    EXPECT_DOUBLE_EQ(snapped->Zoom, 95);
    EXPECT_EQ(snapped->ViewX, 369 - 250); // (250 + 100) x 95 / 90, truncated

    v.Zoom = 130; // at the cap: a refused step does nothing
    EXPECT_FALSE(ZoomInStep(v, 250, 200).has_value());
    EXPECT_TRUE(ZoomOutStep(v, 250, 200).has_value());

    // Zooming out stops before the picture vanishes, and a zero zoom does nothing.
    EXPECT_FALSE(ZoomOutStep(View(10, 10, 500, 400, 12), -1, -1).has_value());
    EXPECT_TRUE(ZoomOutStep(View(10, 10, 500, 400, 13), -1, -1).has_value());
    EXPECT_FALSE(ZoomInStep(View(10, 10, 500, 400, 0), -1, -1).has_value());
}

TEST(ZoomGeometry, ClampingAndCentring) {
    int32_t x = 37, y = 99;
    ClampViewOffset(View(200, 100, 500, 400, 100), x, y);
    EXPECT_EQ(x, -150);
    EXPECT_EQ(y, -150);
    x = 900, y = -5;
    ClampViewOffset(View(1000, 100, 500, 400, 100), x, y);
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, -5); // fits vertically: kept
    x = -20, y = 700;
    ClampViewOffset(View(1000, 1000, 500, 400, 100), x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 600);

    const TCenterOffsets tall = CenterImageOffsets(View(200, 1000, 500, 400, 100));
    EXPECT_EQ(tall.ViewX, 150);
    EXPECT_FALSE(tall.ViewY.has_value());
    const TCenterOffsets half = CenterImageOffsets(View(2000, 1000, 500, 400, 25));
    EXPECT_EQ(half.ViewX, 0);
    EXPECT_EQ(half.ViewY, 75);

    EXPECT_EQ(OriginalSizeOffsets(View(2000, 1000, 500, 400, 200, 3000, 1500)),
              (TPoint{1500, 600}));
    EXPECT_EQ(OriginalSizeOffsets(View(200, 100, 500, 400, 400, 300, 200)), (TPoint{-150, -150}));
}

TEST(ZoomGeometry, DragOnlyWhereThePictureIsLarger) {
    const TViewGeometry wide = View(1000, 300, 500, 400, 100, 50, 0);
    EXPECT_TRUE(CanDragImage(wide));
    const TPoint origin = DragOrigin(wide, 100, 100);
    EXPECT_EQ(origin, (TPoint{150, 100}));
    struct Case {
        int32_t X, Y;
        TPoint Expected;
    };
    for (const Case& c : {Case{0, 0, {150, 0}}, Case{-1000, -1000, {500, 0}},
                          Case{400, 400, {0, 0}}, Case{100, 100, {50, 0}}}) {
        SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
        EXPECT_EQ(DragOffsets(wide, origin, c.X, c.Y), c.Expected);
    }
    const TViewGeometry tall = View(300, 1000, 500, 400, 100, 0, 20);
    EXPECT_EQ(DragOffsets(tall, DragOrigin(tall, 10, 10), -90, 0), (TPoint{0, 30}));
    EXPECT_FALSE(CanDragImage(View(400, 300, 500, 400, 100)));
    EXPECT_TRUE(CanDragImage(View(400, 300, 500, 400, 200)));
}

TEST(ZoomGeometry, ArrowKeysScrollByStepsOrByViews) {
    // Shift+Right on a picture two views wide scrolls one view width, then stops at the end.
    TViewGeometry v = View(1000, 400, 500, 400, 100);
    TArrowKeyResult r = ArrowKeyScroll(v, VK_RIGHT, ssShift);
    EXPECT_TRUE(r.Handled);
    EXPECT_EQ(r.ViewX, 500);
    v.ViewX = r.ViewX;
    r = ArrowKeyScroll(v, VK_RIGHT, ssShift);
    EXPECT_EQ(r.ViewX, 500);

    struct Case {
        uint16_t Key;
        TShiftState Shift;
        int32_t ViewX, ViewY;
        bool Handled;
        int32_t ExpectX, ExpectY;
    };
    for (const Case& c : {
             Case{VK_RIGHT, 0, 0, 0, true, 10, 0},
             Case{VK_LEFT, 0, 5, 0, true, 0, 0},
             Case{VK_LEFT, ssShift, 700, 0, true, 200, 0},
             Case{VK_DOWN, 0, 0, 0, true, 0, 10},
             Case{VK_DOWN, ssShift, 0, 0, true, 0, 400},
             Case{VK_DOWN, ssShift, 0, 300, true, 0, 600},
             Case{VK_UP, ssShift | ssCtrl, 0, 300, true, 0, 0},
             Case{VK_RIGHT, ssCtrl, 0, 0, false, 0, 0},
             Case{VK_RIGHT, ssAlt, 0, 0, false, 0, 0},
             Case{VK_HOME, 0, 0, 0, false, 0, 0},
         }) {
        SCOPED_TRACE(testing::Message() << c.Key << " shift " << c.Shift);
        const TArrowKeyResult got =
            ArrowKeyScroll(View(1000, 1000, 500, 400, 100, c.ViewX, c.ViewY), c.Key, c.Shift);
        EXPECT_EQ(got.Handled, c.Handled);
        if (c.Handled) {
            EXPECT_EQ(got.ViewX, c.ExpectX);
            EXPECT_EQ(got.ViewY, c.ExpectY);
        }
    }
    // A direction in which the picture fits does not scroll, yet the key is handled.
    r = ArrowKeyScroll(View(1000, 300, 500, 400, 100, 0, 0), VK_DOWN, 0);
    EXPECT_TRUE(r.Handled);
    EXPECT_EQ(r.ViewY, 0);
}

TEST(ZoomGeometry, MaximizeButtonBookkeeping) {
    const TRect window = Bounds(100, 100, 600, 400), saved = Bounds(10, 20, 300, 300);
    const TRect work = Rect(0, 0, 1920, 1040);
    struct Case {
        const char* Name;
        bool ByUs, Maximized;
        std::optional<int32_t> Strip;
        TMaximizeAction Action;
        TRect Bounds;
        bool ByUsAfter;
        TRect RestoreAfter;
    };
    for (const Case& c : {
             Case{"maximize",
                  false,
                  false,
                  std::nullopt,
                  TMaximizeAction::Maximize,
                  {},
                  true,
                  saved},
             Case{"beside the strip", false, false, 200, TMaximizeAction::SetBounds,
                  Rect(0, 0, 1720, 1040), true, window},
             Case{"restore the state", true, true, std::nullopt, TMaximizeAction::Normal, saved,
                  false, saved},
             Case{"restore the bounds", true, false, 200, TMaximizeAction::SetBounds, saved, false,
                  saved},
             // Started maximized from the settings: the first click maximizes again.
             Case{"started maximized",
                  false,
                  true,
                  std::nullopt,
                  TMaximizeAction::Maximize,
                  {},
                  true,
                  saved},
         }) {
        SCOPED_TRACE(c.Name);
        TMaximizeInput in;
        in.MaximizedByUs = c.ByUs;
        in.WindowMaximized = c.Maximized;
        in.WindowBounds = window;
        in.RestoreBounds = saved;
        in.StripWidth = c.Strip;
        in.Work = work;
        const TMaximizeResult r = MaximizeStep(in);
        EXPECT_EQ(r.Action, c.Action);
        if (c.Action != TMaximizeAction::Maximize) {
            EXPECT_EQ(r.Bounds, c.Bounds);
        }
        EXPECT_EQ(r.MaximizedByUs, c.ByUsAfter);
        EXPECT_EQ(r.RestoreBounds, c.RestoreAfter);
    }
}
