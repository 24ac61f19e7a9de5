// The anti-aliased canvas: the use count of the drawing interface, rectangles with corners in
// any order, clear pens and brushes, alpha, corner sizes, text through the canvas, the fall-back
// to the class-library canvas and the failure message.
#include "imaging/core/VLCanvas.h"

#include "platform/gfx/Bitmap.h"

#include "BitmapFixtures.h"

#include <gtest/gtest.h>

namespace {

bool SamePixels(TBitmap& a, TBitmap& b) {
    for (int32_t y = 0; y < a.Height(); ++y)
        if (!std::equal(static_cast<uint8_t*>(a.ScanLine(y)),
                        static_cast<uint8_t*>(a.ScanLine(y)) + a.RowLength(),
                        static_cast<uint8_t*>(b.ScanLine(y))))
            return false;
    return true;
}

class VLCanvasTest : public testing::Test {
protected:
    void SetUp() override {
        InitializeCanvasUnit();
        AcquireGdiPlus();
    }
    void TearDown() override { ReleaseGdiPlus(); }
};

TEST(VLCanvasLibrary, UseCountLoadsOnceAndUnloadsWithTheLastRelease) {
    InitializeCanvasUnit();
    EXPECT_FALSE(GdiPlusLoaded());
    AcquireGdiPlus();
    EXPECT_TRUE(IsGdiPlusAvailable());
    const uintptr_t token = GdiPlusToken;
    AcquireGdiPlus(); // a second view: no second load
    EXPECT_EQ(GdiPlusUseCount, 2);
    EXPECT_EQ(GdiPlusToken, token);
    ReleaseGdiPlus();
    EXPECT_TRUE(GdiPlusLoaded());
    ReleaseGdiPlus();
    EXPECT_FALSE(GdiPlusLoaded());
    ReleaseGdiPlus(); // unmatched: the count stays at 0
    EXPECT_EQ(GdiPlusUseCount, 0);
    AcquireGdiPlus(); // loads again
    EXPECT_TRUE(GdiPlusLoaded());
    ReleaseGdiPlus();

    GdiPlusEnabled = false;
    AcquireGdiPlus();
    EXPECT_FALSE(IsGdiPlusAvailable());
    auto b = FilledBitmap(4, 4, clWhite);
    TVLCanvas c(b->Canvas(), true, true);
    EXPECT_FALSE(c.UseGdiPlus());
    ReleaseGdiPlus();
    InitializeCanvasUnit();
    EXPECT_TRUE(GdiPlusEnabled);
}

TEST_F(VLCanvasTest, RectangleIsNineByNineAndCornersMayComeInAnyOrder) {
    auto a = FilledBitmap(30, 30, clWhite);
    auto b = FilledBitmap(30, 30, clWhite);
    for (auto [bitmap, corners] :
         {std::pair{a.get(), Rect(10, 10, 20, 20)}, std::pair{b.get(), Rect(20, 20, 10, 10)}}) {
        TVLCanvas c(bitmap->Canvas(), true, true);
        ASSERT_TRUE(c.UseGdiPlus());
        c.Brush()->SetColor(clRed);
        c.Rectangle(corners.Left, corners.Top, corners.Right, corners.Bottom);
    }
    EXPECT_TRUE(SamePixels(*a, *b));
    TCanvas* canvas = a->Canvas();
    for (int32_t i = 10; i <= 19; ++i) {
        EXPECT_EQ(canvas->Pixels(i, 10), clBlack) << i;
        EXPECT_EQ(canvas->Pixels(19, i), clBlack) << i;
        EXPECT_EQ(canvas->Pixels(20, i), clWhite) << i;
    }
    EXPECT_EQ(canvas->Pixels(15, 15), clRed);
}

TEST_F(VLCanvasTest, ClearPenAndBrushDrawNothingVisible) {
    auto b = FilledBitmap(20, 20, clWhite);
    TVLCanvas c(b->Canvas(), true, true);
    c.Pen()->SetColor(clRed);
    c.Pen()->SetStyle(psClear);
    c.MoveTo(0, 5);
    c.LineTo(19, 5);
    c.Brush()->SetStyle(bsClear);
    c.Rectangle(2, 8, 18, 18);
    auto white = FilledBitmap(20, 20, clWhite);
    EXPECT_TRUE(SamePixels(*b, *white));
    // The pen kept its colour for the next style.
    c.Pen()->SetStyle(psSolid);
    c.DrawLine(0, 5, 19, 5);
    EXPECT_EQ(b->Canvas()->Pixels(10, 5), clRed);
    EXPECT_EQ(c.PenPos(), TPoint(19, 5));
}

TEST_F(VLCanvasTest, AlphaAndHatchBackground) {
    auto b = FilledBitmap(16, 8, clWhite);
    TVLCanvas c(b->Canvas(), true, true);
    c.Pen()->SetStyle(psClear);
    c.Brush()->SetColor(clBlue);
    c.Brush()->SetAlpha(128);
    c.FillRect(Rect(0, 0, 9, 9));
    const TColor half = b->Canvas()->Pixels(3, 3);
    EXPECT_EQ(GetBValue(half), 255);
    EXPECT_NEAR(GetRValue(half), 127, 1);
    c.Brush()->SetAlpha(255);
    c.Brush()->SetStyle(bsHorizontal);
    c.FillRect(Rect(8, 0, 17, 9));
    EXPECT_EQ(b->Canvas()->Pixels(12, 3), clBlue);  // the hatch line
    EXPECT_EQ(b->Canvas()->Pixels(12, 2), clWhite); // transparent background
}

TEST_F(VLCanvasTest, OversizedCornersAreTheRectangleItself) {
    auto a = FilledBitmap(24, 16, clWhite);
    auto b = FilledBitmap(24, 16, clWhite);
    {
        TVLCanvas c(a->Canvas(), true, true);
        c.RoundRect(2, 2, 22, 14, 100, 100);
    }
    {
        TVLCanvas c(b->Canvas(), true, true);
        c.RoundRect(2, 2, 22, 14, 20, 12);
    }
    EXPECT_TRUE(SamePixels(*a, *b));
    EXPECT_EQ(a->Canvas()->Pixels(12, 8), clWhite);
    EXPECT_EQ(a->Canvas()->Pixels(2, 2), clWhite); // the corner is rounded off
    EXPECT_NE(a->Canvas()->Pixels(2, 8), clWhite);
}

TEST_F(VLCanvasTest, TextGoesThroughTheCanvas) {
    auto a = FilledBitmap(60, 20, clWhite);
    auto b = FilledBitmap(60, 20, clWhite);
    for (TBitmap* bitmap : {a.get(), b.get()}) {
        bitmap->Canvas()->Font()->SetName(u"Arial");
        bitmap->Canvas()->Font()->SetQuality(fqNonAntialiased);
    }
    TVLCanvas c(a->Canvas(), true, true);
    c.TextOut(2, 2, u"Text");
    b->Canvas()->TextOut(2, 2, u"Text");
    EXPECT_TRUE(SamePixels(*a, *b));
    EXPECT_EQ(c.TextWidth(u"Text"), b->Canvas()->TextWidth(u"Text"));
    EXPECT_EQ(c.GetFont(), a->Canvas()->Font());
}

TEST_F(VLCanvasTest, WithoutTheInterfaceTheCanvasDrawsItself) {
    auto a = FilledBitmap(12, 12, clWhite);
    auto b = FilledBitmap(12, 12, clWhite);
    TVLCanvas c(a->Canvas(), true, false);
    EXPECT_FALSE(c.UseGdiPlus());
    EXPECT_EQ(c.Graphics(), nullptr);
    c.Pen()->SetMode(pmNot); // only the class-library drawing knows mixes
    c.Rectangle(1, 1, 11, 11);
    c.Ellipse(2, 2, 10, 10);
    c.MoveTo(0, 0);
    c.LineTo(11, 0);
    b->Canvas()->Pen()->SetMode(pmNot);
    b->Canvas()->Rectangle(1, 1, 11, 11);
    b->Canvas()->Ellipse(2, 2, 10, 10);
    b->Canvas()->MoveTo(0, 0);
    b->Canvas()->LineTo(11, 0);
    EXPECT_TRUE(SamePixels(*a, *b));
    EXPECT_EQ(a->Canvas()->Pixels(5, 1), clBlack);
}

TEST_F(VLCanvasTest, ArcsRunCounterClockwiseWithAndWithoutTheInterface) {
    for (bool gdiPlus : {true, false}) {
        SCOPED_TRACE(gdiPlus ? "anti-aliased" : "class library");
        auto b = FilledBitmap(24, 24, clWhite);
        TVLCanvas c(b->Canvas(), false, gdiPlus);
        // From three o'clock to twelve o'clock: the upper right quarter.
        c.Arc(2, 2, 22, 22, 22, 12, 12, 0);
        int drawn = 0;
        for (int32_t y = 0; y < 24; ++y)
            for (int32_t x = 0; x < 24; ++x)
                if (b->Canvas()->Pixels(x, y) != clWhite) {
                    ++drawn;
                    EXPECT_GE(x, 11) << x << "," << y;
                    EXPECT_LE(y, 13) << x << "," << y;
                }
        EXPECT_GT(drawn, 8);
    }
}

TEST_F(VLCanvasTest, GraphicsThatCannotBeMadeRaise) {
    TCanvas detached;
    try {
        TVLCanvas c(&detached, true, true);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Cannot create TVLCanvas. GdipCreateFromHDC failed.");
    }
}

} // namespace
