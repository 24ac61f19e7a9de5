// The view's paint path on the off-screen platform: the window's retained surface shows the
// picture at 100 %, at a fit zoom and after a scroll, under the paint lock, with the version
// text, the hint box and the pixel grid, and the posted view messages reach their events.
#include "imaging/view/ViewPaint.h"
#include "platform/ui/WinUser.h"
#include "tests/imaging/view/ViewTestSupport.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A picture whose every pixel differs from its neighbours.
void FillPattern(TVistrelView& View, int32_t Width, int32_t Height) {
    TVLBitmap& b = *View.GetVLBitmap();
    ASSERT_TRUE(b.Allocate(Width, Height, TVLPixelFormat::vl24RGB));
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x)
            b.SetPixelRGB(x, y,
                          TVLRGB{static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 11), 77});
    View.Update();
}

TColor ImageColor(TVistrelView& View, int32_t X, int32_t Y) {
    const TVLRGB c = View.GetVLBitmap()->GetPixelRGB(X, Y);
    return RGB(c.r, c.g, c.b);
}

TColor WindowPixel(TVistrelView& View, int32_t X, int32_t Y) {
    return static_cast<TColor>(GetPixel(GetDC(View.Handle()), X, Y));
}

// Every window pixel against Expected(x, y); reports the first difference.
template <class ExpectedT> void ExpectWindow(TVistrelView& View, ExpectedT Expected) {
    for (int32_t y = 0; y < View.ClientAreaHeight(); ++y)
        for (int32_t x = 0; x < View.ClientAreaWidth(); ++x)
            if (WindowPixel(View, x, y) != Expected(x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex
                              << WindowPixel(View, x, y) << " instead of " << Expected(x, y);
                return;
            }
}

class ViewPaint : public testing::Test {
protected:
    void SetUp() override { ReadScreenGlobals(); }
};

TEST_F(ViewPaint, ShowsThePictureCentredAtFullSizeByEveryCopyMethod) {
    for (const bool drawDib : {false, true}) {
        SCOPED_TRACE(drawDib);
        TViewOnForm on(40, 30);
        TVistrelView& view = *on.View;
        view.UseDrawDibDraw = drawDib;
        view.SetBackground(clRed);
        FillPattern(view, 10, 8);
        view.Paint();
        ExpectWindow(view, [&](int32_t x, int32_t y) {
            const int32_t bx = x - 15, by = y - 11;
            return bx >= 0 && bx < 10 && by >= 0 && by < 8 ? ImageColor(view, bx, by) : clRed;
        });
    }
}

TEST_F(ViewPaint, ShowsThePictureAtAFitZoomAndAfterAScroll) {
    TViewOnForm on(32, 24);
    TVistrelView& view = *on.View;
    view.SetBackground(clRed);
    FillPattern(view, 8, 6);
    view.Fit();
    ASSERT_EQ(view.ZoomX(), 400);
    ExpectWindow(view, [&](int32_t x, int32_t y) { return ImageColor(view, x / 4, y / 4); });

    view.SetScrollBars(ssNone);
    FillPattern(view, 20, 20);
    view.SetZoom(100);
    view.SetBounds(0, 0, 10, 10);
    view.Paint();
    const TBitmap* buffer = view.GetBackBuffer();
    const void* pixels = view.GetBackBuffer()->ScanLine(0);
    int32_t composed = 0;
    view.OnDrawBackBuffer = [&](TObject*) { ++composed; };
    view.SetViewXY(5, 3); // paints at once
    EXPECT_EQ(composed, 1);
    ExpectWindow(view, [&](int32_t x, int32_t y) { return ImageColor(view, x + 5, y + 3); });
    // A scroll at a fixed zoom keeps the back buffer.
    EXPECT_EQ(view.GetBackBuffer(), buffer);
    EXPECT_EQ(view.GetBackBuffer()->ScanLine(0), pixels);
}

// The back buffer's bytes, top row first.
std::vector<uint8_t> BufferBytes(TVistrelView& View) {
    TBitmap& b = *View.GetBackBuffer();
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < b.Height(); ++y) {
        const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
        bytes.insert(bytes.end(), row, row + 3 * b.Width());
    }
    return bytes;
}

// Scrolls move the composed pixels and compose only what they uncover; whatever the sequence,
// the buffer equals a fresh composition at the final position, under every zoom filter,
// reduced, at 100 % and enlarged, with the zoom filter held back during scrolls or not.
TEST_F(ViewPaint, ScrollsGiveThePixelsOfAFullCompositionUnderEveryFilter) {
    std::vector<uint8_t> noise(61 * 47 * 3);
    uint32_t seed = 18;
    for (uint8_t& v : noise)
        v = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    auto makeView = [&](TViewOnForm& on, TResampleFilter Filter, double Zoom, bool Delay) {
        TVistrelView& view = *on.View;
        view.SetScrollBars(ssNone);
        TVLBitmap& b = *view.GetVLBitmap();
        ASSERT_TRUE(b.Allocate(61, 47, TVLPixelFormat::vl24RGB));
        for (int32_t y = 0; y < 47; ++y)
            std::memcpy(b.GetScanline(y), noise.data() + y * 61 * 3, 61 * 3);
        view.DelayZoomFilter = Delay;
        view.SetZoomFilter(Filter);
        view.SetZoom(Zoom);
        view.Update();
        view.Paint();
    };
    const struct {
        int32_t X, Y;
    } steps[] = {{3, 0}, {3, 5}, {0, 5}, {17, 2}, {16, 30}, {1, 1}, {200, 200}, {9, 4}, {10, 4}};
    for (int f = rfNone; f <= rfProjectWB; ++f)
        for (const double zoom : {37.0, 100.0, 170.0})
            for (const bool delay : {false, true}) {
                const auto filter = static_cast<TResampleFilter>(f);
                SCOPED_TRACE(testing::Message() << "filter " << f << " zoom " << zoom
                                                << " delay " << delay);
                TViewOnForm on(13, 11);
                makeView(on, filter, zoom, delay);
                for (const auto& step : steps) {
                    on.View->SetViewXY(step.X, step.Y);
                    TViewOnForm fresh(13, 11);
                    makeView(fresh, filter, zoom, delay);
                    fresh.View->SetViewXY(on.View->ViewX(), on.View->ViewY());
                    if (delay) { // both with the filter held back
                        fresh.View->SetViewXY(0, 0);
                        fresh.View->SetViewXY(on.View->ViewX(), on.View->ViewY());
                    }
                    ASSERT_EQ(BufferBytes(*on.View), BufferBytes(*fresh.View))
                        << "at " << on.View->ViewX() << "," << on.View->ViewY();
                }
            }
}

TEST_F(ViewPaint, PaintLockHoldsTheWindowUntilUnlocked) {
    TViewOnForm on(20, 20);
    TVistrelView& view = *on.View;
    FillPattern(view, 20, 20);
    view.Paint();
    int32_t composed = 0, painted = 0;
    view.OnDrawBackBuffer = [&](TObject*) { ++composed; };
    view.OnPaint = [&](TObject*) { ++painted; };
    const TColor before = WindowPixel(view, 4, 4);

    on.Form.Show();
    view.LockPaint();
    view.GetVLBitmap()->SetPixelRGB(4, 4, TVLRGB{1, 2, 3});
    view.Update();
    view.Paint();
    Application->ProcessMessages();
    EXPECT_EQ(composed, 0);
    EXPECT_GE(painted, 1); // OnPaint still fires
    EXPECT_EQ(WindowPixel(view, 4, 4), before);

    EXPECT_EQ(view.UnlockPaint(), 0);
    PumpUntil([&] { return composed > 0; });
    EXPECT_EQ(composed, 1);
    EXPECT_EQ(WindowPixel(view, 4, 4), RGB(3, 2, 1));
}

TEST_F(ViewPaint, ResizingReallocatesTheBufferAndComposesOnce) {
    TViewOnForm on(20, 20);
    TVistrelView& view = *on.View;
    FillPattern(view, 5, 5);
    view.Paint();
    int32_t composed = 0;
    view.OnDrawBackBuffer = [&](TObject*) { ++composed; };
    view.Paint(); // uncovering only copies
    EXPECT_EQ(composed, 0);
    view.SetBounds(0, 0, 30, 25);
    view.Paint();
    EXPECT_EQ(composed, 1);
    EXPECT_EQ(view.GetBackBuffer()->Width(), 30);
    EXPECT_EQ(view.GetBackBuffer()->Height(), 25);
}

TEST_F(ViewPaint, VersionTextSitsInTheBottomRightCorner) {
    TViewOnForm on(300, 60);
    TVistrelView& view = *on.View;
    view.SetBackground(clRed);
    FillPattern(view, 4, 4);
    view.SetDrawVersion(true);
    EXPECT_EQ(WindowPixel(view, 299, 59), clWhite);
    EXPECT_EQ(WindowPixel(view, 0, 0), clRed);
    view.SetDrawVersion(false);
    EXPECT_EQ(WindowPixel(view, 299, 59), clRed);
}

TEST_F(ViewPaint, TheHintBoxGoesWithTheNextPaintLeavingThePictureExact) {
    TViewOnForm on(60, 40);
    TVistrelView& view = *on.View;
    FillPattern(view, 60, 40);
    view.SetInteractionHint(u"12 x 3", -4, 2, u"100 x 100");
    view.Paint();
    EXPECT_NE(WindowPixel(view, 10, 10), ImageColor(view, 10, 10));
    EXPECT_EQ(WindowPixel(view, 3, 3), ImageColor(view, 3, 3));
    view.EnableInteractionHints = false;
    view.Paint();
    ExpectWindow(view, [&](int32_t x, int32_t y) { return ImageColor(view, x, y); });
}

TEST_F(ViewPaint, PixelGridInvertsTheLinesBetweenPixelsFromFourHundredPercent) {
    TViewOnForm on(16, 16);
    TVistrelView& view = *on.View;
    view.SetScrollBars(ssNone);
    FillPattern(view, 4, 4);
    view.DisplayGrid = true;
    view.SetZoom(400);
    const TColor line = WindowPixel(view, 4, 1);
    EXPECT_EQ(line, static_cast<TColor>(~ImageColor(view, 1, 0) & 0xFFFFFF));
    EXPECT_EQ(WindowPixel(view, 5, 1), ImageColor(view, 1, 0));
    // Below 400 % there is no grid: the column where a line would be shows the picture.
    view.SetZoom(300);
    ASSERT_EQ(view.OffsetX(), 2);
    EXPECT_EQ(WindowPixel(view, 5, 3), ImageColor(view, 1, 0));
}

TEST_F(ViewPaint, PostedMessagesReachTheEvents) {
    TViewOnForm on(20, 20);
    TVistrelView& view = *on.View;
    int32_t percent = -1;
    bool finished = false;
    view.SetOnProgress([&](TObject* Sender, int32_t Percent) {
        EXPECT_EQ(Sender, &view);
        percent = Percent;
    });
    view.SetOnFinishWork([&](TObject*) { finished = true; });
    FillPattern(view, 4, 4);
    view.GetVLBitmap()->Allocate(8, 8, TVLPixelFormat::vl24RGB); // not yet seen by the view
    EXPECT_EQ(view.BitmapWidth(), 4);
    PostMessage(view.Handle(), VLM_PROGRESS, 42, 0);
    PostMessage(view.Handle(), VLM_UPDATEVIEW, 0, 0);
    PostMessage(view.Handle(), VLM_FINISHWORK, 0, 0);
    PumpUntil([&] { return finished; });
    EXPECT_EQ(percent, 42);
    EXPECT_EQ(view.BitmapWidth(), 8);
}

} // namespace
