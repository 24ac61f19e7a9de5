// Geometry of the single-image view as tables of cases: zoom, scroll limits, centring, fit,
// the zoom cap, and client/bitmap round trips at zooms from 1 % to the cap.
#include "imaging/view/ViewGeometry.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(ViewGeometry, StepwiseZoomFollowsTheStops) {
    struct TCase {
        double From, In, Out;
    };
    const TCase cases[] = {{7, 10, 5},      {2, 5, 2},       {1, 2, 2},
                           {30, 33, 25},    {100, 200, 75},  {150, 250, 100},
                           {200, 300, 100}, {250, 350, 150}, {75, 100, 50}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.From);
        EXPECT_EQ(NextZoomIn(c.From), c.In);
        EXPECT_EQ(NextZoomOut(c.From), c.Out);
    }
}

TEST(ViewGeometry, ScrollLimitsIncludeTheExtraPixelOfAScrolledImage) {
    auto view = MakeOffScreenView(600, 400);
    SetImageSize(*view, 3000, 2000);
    int32_t maxX, maxY;
    view->GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 2401);
    EXPECT_EQ(maxY, 1601);
    view->SetViewXY(5000, -3);
    EXPECT_EQ(view->ViewX(), 2401);
    EXPECT_EQ(view->ViewY(), 0);
    EXPECT_TRUE(view->IsScrollable());

    // At the boundary: the extra pixel comes only once the image exceeds the area by more than
    // 10 pixels on one side, and then on both.
    SetImageSize(*view, 610, 400);
    view->GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 10);
    EXPECT_EQ(maxY, 0);
    SetImageSize(*view, 611, 400);
    view->GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 12);
    EXPECT_EQ(maxY, 1);
    SetImageSize(*view, 3000, 2000);

    // Without scroll bars the extra pixel is not added at equal zooms.
    view->SetScrollBars(ssNone);
    view->GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 2400);
    EXPECT_EQ(maxY, 1600);

    // An image that fits scrolls nowhere.
    SetImageSize(*view, 600, 400);
    view->GetMaxViewXY(maxX, maxY);
    EXPECT_EQ(maxX, 0);
    EXPECT_EQ(maxY, 0);
    EXPECT_FALSE(view->IsScrollable());
}

TEST(ViewGeometry, CentredImageHasHalfTheFreeSpaceAsOffset) {
    auto view = MakeOffScreenView(300, 300);
    SetImageSize(*view, 100, 50);
    Recompute(*view);
    EXPECT_EQ(view->OffsetX(), 100);
    EXPECT_EQ(view->OffsetY(), 125);
    EXPECT_EQ(view->ClientToBitmapX(100), 0);
    EXPECT_EQ(view->ClientToBitmapX(199), 99);
    EXPECT_EQ(view->BitmapToClientY(0), 125);
    view->SetCenter(false);
    EXPECT_EQ(view->OffsetX(), 0);
    EXPECT_EQ(view->OffsetY(), 0);
}

TEST(ViewGeometry, IgnoredZoomsFireNothing) {
    auto view = MakeOffScreenView(200, 200);
    SetImageSize(*view, 50, 50);
    int changes = 0;
    view->OnViewChange = [&](TObject*, int32_t Change) {
        EXPECT_EQ(Change, 1);
        ++changes;
    };
    view->SetZoom(0);
    view->SetZoom(-5);
    view->SetZoom(100);
    EXPECT_EQ(changes, 0);
    view->SetZoom(150);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view->ZoomedWidth(), 75);
}

TEST(ViewGeometry, AutomaticZoomKeepsTinyImagesAndNeverGoesBelowOnePercent) {
    auto view = MakeOffScreenView(200, 100);
    view->SetAutoFit(true);
    SetImageSize(*view, 1, 1);
    EXPECT_EQ(view->ZoomX(), 100);
    SetImageSize(*view, 100000, 10);
    EXPECT_EQ(view->ZoomX(), 1);
    EXPECT_EQ(view->ZoomY(), 1);
    SetImageSize(*view, 50, 10); // small: AutoFit stretches it to the control
    EXPECT_DOUBLE_EQ(view->ZoomX(), 400);

    // Only shrinking: a small image stays at 100 %, a large one fits.
    view->SetAutoFit(false);
    view->SetAutoShrink(true);
    SetImageSize(*view, 50, 10);
    EXPECT_EQ(view->ZoomX(), 100);
    SetImageSize(*view, 400, 100);
    EXPECT_DOUBLE_EQ(view->ZoomX(), 50);
}

TEST(ViewGeometry, AutoFitZoomTable) {
    auto view = MakeOffScreenView(200, 100);
    SetImageSize(*view, 400, 100);
    struct TCase {
        int32_t W, H, AvailW, AvailH;
        bool Stretch, Shrink;
        double Zoom;
    };
    const TCase cases[] = {
        {400, 100, 200, 100, false, true, 50},  // larger, shrink allowed: fit
        {400, 100, 200, 100, true, false, 100}, // larger, only stretching allowed
        {40, 10, 200, 100, true, false, 50},    // smaller: stretch gives the fit zoom
        {40, 10, 200, 100, false, true, 100},   {0, 10, 200, 100, true, true, 100},
        {40, 10, 0, 100, true, true, 100},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.W);
        EXPECT_DOUBLE_EQ(view->GetAutoFitZoom(c.W, c.H, c.AvailW, c.AvailH, c.Stretch, c.Shrink),
                         c.Zoom);
    }
    // GetFitZoom uses the whole control: min(200 / 4, 100 / 1).
    EXPECT_DOUBLE_EQ(view->GetFitZoom(), 50);
    view->Fit();
    EXPECT_DOUBLE_EQ(view->ZoomX(), 50);
    view->SetBackgroundStyle(vlbsSoftShadow); // 9-pixel frame on each side
    EXPECT_DOUBLE_EQ(view->GetFitZoom(), (200.0 - 18) / 4);
}

TEST(ViewGeometry, DisabledUpdateDefersExtentsToTheFinalEnable) {
    auto view = MakeOffScreenView(200, 200);
    SetImageSize(*view, 100, 100);
    view->DisableUpdate();
    view->DisableUpdate();
    view->SetZoom(300);
    EXPECT_EQ(view->ZoomX(), 300);
    EXPECT_EQ(view->ZoomedWidth(), 100);
    view->EnableUpdate();
    EXPECT_EQ(view->ZoomedWidth(), 100);
    view->EnableUpdate();
    EXPECT_EQ(view->ZoomedWidth(), 300);
    EXPECT_EQ(view->ExtentWidth(), 200);
}

TEST(ViewGeometry, ZoomIsCappedSoZoomedSizesStayFarInside32Bits) {
    auto view = MakeOffScreenView(640, 480);
    SetImageSize(*view, 5000, 40);
    // The viewer's zoom-in multiplies by 1.25 with no bound of its own.
    for (int i = 0; i < 200; ++i)
        view->SetZoom(view->ZoomX() * 1.25);
    EXPECT_DOUBLE_EQ(view->ZoomX(), view->GetMaxZoom());
    EXPECT_LE(view->ZoomedWidth(), MaxZoomedSize);
    EXPECT_GT(view->ZoomedWidth(), MaxZoomedSize - 2);
    Recompute(*view);
    ASSERT_NE(view->ClientToBitmapColumns(), nullptr);
    // Scrolled to the image's right edge, the last client column shows its last column.
    view->SetViewXY(view->ZoomedWidth() - view->ClientAreaWidth(), 0);
    Recompute(*view);
    EXPECT_EQ(view->ClientToBitmapX(view->ClientAreaWidth() - 1), 4999);
    EXPECT_EQ(view->ClientToBitmapX(0), 4999);

    // A larger image loaded at that zoom lowers it to its own cap at the next update.
    SetImageSize(*view, 20000, 40);
    EXPECT_DOUBLE_EQ(view->ZoomX(), view->GetMaxZoom());
    EXPECT_LE(view->ZoomedWidth(), MaxZoomedSize);
    view->ApplyZoom(1e12);
    EXPECT_DOUBLE_EQ(view->ZoomX(), view->GetMaxZoom());
}

// Smallest k with Trunc(k x f) = X: the bitmap column shown first at zoomed position X.
int32_t FirstSourceAt(int32_t X, double Zoom, int32_t Last) {
    int64_t k = std::max<int64_t>(0, static_cast<int64_t>(std::floor(X * 100.0 / Zoom)) - 2);
    while (Trunc(static_cast<double>(k) * Zoom / 100) < X)
        ++k;
    return static_cast<int32_t>(std::min<int64_t>(k, Last));
}

TEST(ViewGeometry, ClientAndBitmapCoordinatesRoundTripAtEveryZoom) {
    struct TSize {
        int32_t W, H;
    };
    const TSize sizes[] = {{1, 1}, {3, 7}, {101, 37}, {640, 480}, {2001, 3}};
    const double zooms[] = {1, 7.5, 33, 50, 99, 100, 101, 150, 250, 333.3, 400, 1000, 1e9};
    for (const TSize& size : sizes)
        for (double zx : zooms)
            for (double zy : {zx, 100.0, 250.0}) {
                if (zx > 1e6 && zy != zx) continue; // the capped tables are large: once is enough
                SCOPED_TRACE(testing::Message()
                             << size.W << "x" << size.H << " at " << zx << "/" << zy);
                auto view = MakeOffScreenView(320, 200);
                SetImageSize(*view, size.W, size.H);
                view->SetZoomX(zx);
                view->SetZoomY(zy);
                const double z = view->ZoomX(); // capped
                ASSERT_LE(z, view->GetMaxZoom());
                if (view->ZoomedWidth() == 0) { // rounds away to nothing: nothing shows
                    Recompute(*view);
                    EXPECT_EQ(view->VisibleClientWidth(), 0);
                    continue;
                }
                int32_t maxX, maxY;
                view->GetMaxViewXY(maxX, maxY);
                for (int32_t vx : {0, maxX / 3, maxX}) {
                    view->SetViewXY(vx, maxY / 2);
                    Recompute(*view);
                    const int32_t ox = view->OffsetX();
                    const int32_t cw = view->VisibleClientWidth();
                    ASSERT_GE(view->VisibleBitmapWidth(), 0);
                    ASSERT_LE(view->OriginX() + view->VisibleBitmapWidth(), size.W);
                    // The scroll limit may pass the image's end by one (zoomed) bitmap pixel.
                    if (cw == 0) continue;
                    int32_t previous = -1;
                    for (int32_t x = ox; x < ox + cw; ++x) {
                        const int32_t b = view->ClientToBitmapX(x);
                        ASSERT_GE(b, 0);
                        ASSERT_LT(b, size.W);
                        ASSERT_GE(b, previous); // never runs backwards
                        previous = b;
                        if (view->ViewX() == 0) {
                            // Unscrolled the tables are exact against an independent reference.
                            // An image that rounds to no rows has no tables: the plain formula.
                            const bool tables = view->ClientToBitmapColumns() != nullptr;
                            const int32_t expected =
                                z > 100 || !tables
                                    ? std::min<int32_t>(
                                          static_cast<int32_t>(Trunc((x - ox) * 100.0 / z)),
                                          size.W - 1)
                                    : FirstSourceAt(x - ox, z, size.W - 1);
                            ASSERT_EQ(b, expected) << "x=" << x;
                        }
                        // Back to the client: at the column's start, which lies within one
                        // zoomed bitmap pixel; scrolled, the bitmap-to-client window is relative
                        // to the first visible column and may be off by one more.
                        const int32_t slack = view->ViewX() == 0 ? 0 : 1;
                        const int32_t back = view->BitmapToClientX(b);
                        ASSERT_LE(back, x + slack + (z < 100 ? 1 : 0));
                        ASSERT_GE(back, x - static_cast<int32_t>(std::ceil(z / 100)) - slack);
                    }
                }
            }
}

TEST(ViewGeometry, PerAxisZoomScalesEachAxisAlone) {
    auto view = MakeOffScreenView(500, 500);
    SetImageSize(*view, 120, 80);
    view->SetZoomX(200);
    view->SetZoomY(50);
    EXPECT_EQ(view->ZoomedWidth(), 240);
    EXPECT_EQ(view->ZoomedHeight(), 40);
    Recompute(*view);
    EXPECT_EQ(view->ClientToBitmapX(view->OffsetX() + 3), 1);
    EXPECT_EQ(view->ClientToBitmapY(view->OffsetY() + 3), 6);
    EXPECT_EQ(view->BitmapToClientX(10), view->OffsetX() + 20);
    EXPECT_EQ(view->BitmapToClientY(10), view->OffsetY() + 5);
}

TEST(ViewGeometry, ZoomAtKeepsThePointUnderTheMouse) {
    struct TCase {
        double From, To;
        int32_t X, Y;
    };
    // Each target position lies inside the scroll range, so the point can stay.
    const TCase cases[] = {{100, 200, 100, 80}, {100, 350, 300, 10}, {200, 100, 17, 20},
                           {50, 800, 250, 199}, {33, 75, 5, 5},      {400, 1200, 123, 45}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.To);
        auto view = MakeOffScreenView(320, 200);
        view->SetCenter(false);
        SetImageSize(*view, 1000, 700);
        view->SetZoom(c.From);
        view->SetViewXY(40, 30);
        Recompute(*view);
        const int32_t bx = view->ClientToBitmapX(c.X);
        const int32_t by = view->ClientToBitmapY(c.Y);
        view->ZoomAt(c.X, c.Y, c.To, false);
        EXPECT_EQ(view->ZoomX(), c.To);
        const double f = c.To / 100;
        EXPECT_NEAR(view->BitmapToClientX(bx), c.X, f + 1);
        EXPECT_NEAR(view->BitmapToClientY(by), c.Y, f + 1);
    }
    // Centring moves the point to the middle of the area.
    auto view = MakeOffScreenView(320, 200);
    SetImageSize(*view, 1000, 700);
    view->ZoomAt(200, 150, 300, true);
    EXPECT_EQ(view->ViewX(), 200 * 3 - 160);
    EXPECT_EQ(view->ViewY(), 150 * 3 - 100);
}

TEST(ViewGeometry, ZoomKeepsTheCentreAndClampsToTheOldLimits) {
    auto view = MakeOffScreenView(200, 100);
    view->SetCenter(false);
    SetImageSize(*view, 1000, 1000);
    view->SetViewXY(300, 300);
    view->SetZoom(200);
    // Bitmap point (400, 350) stays at the centre: 800 - 100, 700 - 50.
    EXPECT_EQ(view->ViewX(), 700);
    EXPECT_EQ(view->ViewY(), 650);
}

TEST(ViewGeometry, RectanglePolygons) {
    const TPoint rect[4] = {{0, 0}, {10, 0}, {10, 5}, {0, 5}};
    const TPoint rotated[4] = {{10, 0}, {10, 5}, {0, 5}, {0, 0}};
    const TPoint slanted[4] = {{0, 0}, {10, 1}, {10, 5}, {0, 5}};
    const TPoint degenerate[4] = {{0, 0}, {0, 0}, {10, 5}, {0, 5}};
    EXPECT_TRUE(TVistrelView::IsRectanglePolygon(rect, 4));
    EXPECT_TRUE(TVistrelView::IsRectanglePolygon(rotated, 4));
    EXPECT_FALSE(TVistrelView::IsRectanglePolygon(slanted, 4));
    EXPECT_FALSE(TVistrelView::IsRectanglePolygon(degenerate, 4));
    EXPECT_FALSE(TVistrelView::IsRectanglePolygon(rect, 3));
}

TEST(ViewGeometry, EmptyImagesAndDrawingAreas) {
    auto view = MakeOffScreenView(100, 100);
    EXPECT_TRUE(view->IsEmpty());
    Recompute(*view);
    EXPECT_EQ(view->ClientToBitmapColumns(), nullptr);
    EXPECT_EQ(view->ClientToBitmapX(60), 10); // no tables: the plain formula, centred
    SetImageSize(*view, 2, 1);
    EXPECT_FALSE(view->IsEmpty());
    TVistrelView windowless(nullptr); // no window and no parent: the 50 x 50 fallback
    EXPECT_EQ(windowless.ClientAreaWidth(), 50);
    EXPECT_EQ(windowless.Width(), 105);
}

} // namespace
