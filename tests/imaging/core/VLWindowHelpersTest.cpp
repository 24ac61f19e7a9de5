// Window, painting and text helpers: scroll-bar wrappers, shadow painters against hand-computed
// rows, the soft shadow, the dialog backgrounds, 3-D frames, URL kinds, extensions, numbers
// with "." whatever the separator, and the single-byte string helpers.
#include "imaging/core/VLWindowHelpers.h"
#include "platform/ui/Forms.h"

#include "imaging/core/VLCanvas.h"

#include "BitmapFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

// The red level of each pixel of row Y from X0 to X1 (inclusive).
std::vector<int> Levels(TBitmap& b, int32_t y, int32_t x0, int32_t x1) {
    std::vector<int> out;
    for (int32_t x = x0; x <= x1; ++x)
        out.push_back(static_cast<uint8_t*>(b.ScanLine(y))[3 * x + 2]);
    return out;
}

TEST(ScrollBarWrappers, PlainAndFlatReachTheSameBar) {
    HWND window = AllocateWindowHandle();
    for (bool flat : {false, true}) {
        SCOPED_TRACE(flat ? "flat" : "plain");
        ScrollBarSetRange(window, SB_HORZ, 0, 99, true, flat);
        ScrollBarSetPos(window, SB_HORZ, 0, true, flat);
        EXPECT_EQ(ScrollBarSetPage(window, SB_HORZ, 20, true, flat), 0);
        EXPECT_EQ(window->Horz.Page, 20u);
        EXPECT_EQ(ScrollBarSetPos(window, SB_HORZ, 90, true, flat), 0);
        EXPECT_EQ(window->Horz.Pos, 80);
        EXPECT_EQ(ScrollBarSetPos(window, SB_HORZ, 0, true, flat), 80);
        ScrollBarShow(window, SB_HORZ, false, flat);
        EXPECT_FALSE(window->Horz.Visible);
        ScrollBarEnable(window, SB_HORZ, ESB_DISABLE_BOTH, flat);
        EXPECT_EQ(window->Horz.Disabled, ESB_DISABLE_BOTH);
        ScrollBarEnable(window, SB_HORZ, ESB_ENABLE_BOTH, flat);
        SCROLLINFO info;
        info.fMask = SIF_POS;
        info.nPos = 10;
        EXPECT_EQ(ScrollBarSetInfo(window, SB_HORZ, info, true, flat), 10);
    }
    ReleaseWindowHandle(window);
    EXPECT_FALSE(IsPrimaryMouseButtonDown()); // no button is down in a headless run
}

TEST(FindOwnerWindowHandle, FirstWindowedOwnerOnlyOnceItsWindowExists) {
    TForm form(nullptr);
    auto* part = new TComponent(&form); // owned and freed by the form
    EXPECT_EQ(FindOwnerWindowHandle(part), nullptr);
    EXPECT_FALSE(form.HandleAllocated()); // asking made no window
    const HWND window = form.Handle();
    EXPECT_EQ(FindOwnerWindowHandle(part), window);
    EXPECT_EQ(FindOwnerWindowHandle(&form), window);
    TComponent alone(nullptr);
    EXPECT_EQ(FindOwnerWindowHandle(&alone), nullptr);
    EXPECT_EQ(FindOwnerWindowHandle(nullptr), nullptr);
}

TEST(ShadowPainters, RightStripDarkensColumnsByTheirDistance) {
    // W = 3: the columns next to the picture keep 20 %, then 46 %, then 77 % of the light:
    // exp(-0.1 - t^2 / 6) with t = 3, 2, 1. Rows from Y1 + W down to Y2 + f - W + 3.
    for (bool throughBitmap : {true, false}) {
        SCOPED_TRACE(throughBitmap ? "bitmap" : "canvas");
        auto b = FilledBitmap(16, 16, clWhite);
        DrawRightShadow(b->Canvas(), throughBitmap ? b.get() : nullptr, 10, 0, 12, 10, 2, clRed);
        EXPECT_EQ(Levels(*b, 2, 9, 13), (std::vector<int>{255, 255, 255, 255, 255}));
        EXPECT_EQ(Levels(*b, 3, 9, 13), (std::vector<int>{255, 51, 118, 195, 255}));
        EXPECT_EQ(Levels(*b, 10, 9, 13), (std::vector<int>{255, 51, 118, 195, 255}));
        EXPECT_EQ(Levels(*b, 11, 9, 13), (std::vector<int>{255, 255, 118, 195, 255}));
        EXPECT_EQ(Levels(*b, 12, 9, 13), (std::vector<int>{255, 255, 255, 195, 255}));
        EXPECT_EQ(Levels(*b, 13, 9, 13), (std::vector<int>{255, 255, 255, 255, 255}));
    }
}

TEST(ShadowPainters, BottomStripAtTheTopRowDarkensThatRow) {
    auto b = FilledBitmap(12, 4, clWhite);
    DrawBottomShadow(b->Canvas(), b.get(), 0, 0, 8, 2, 2, clRed);
    EXPECT_EQ(Levels(*b, 0, 0, 9),
              (std::vector<int>{255, 255, 255, 51, 51, 51, 51, 255, 255, 255}));
    EXPECT_EQ(Levels(*b, 1, 0, 9),
              (std::vector<int>{255, 255, 255, 118, 118, 118, 118, 118, 255, 255}));
    EXPECT_EQ(Levels(*b, 2, 0, 9),
              (std::vector<int>{255, 255, 255, 195, 195, 195, 195, 195, 195, 255}));
    EXPECT_EQ(Levels(*b, 3, 0, 9), std::vector<int>(10, 255));
}

TEST(ShadowPainters, GradientStripsAndBrushStrips) {
    // W = 2, H = 3: row levels e^((H - 3i) / H - 1) = 255, 93, 34, 12; column levels
    // e^(j / W - 1) = 93, 154, 255; the larger wins; the last row starts one column in.
    auto b = FilledBitmap(4, 5, clWhite);
    DrawRightShadow(b->Canvas(), nullptr, 0, 0, 1, 2, 3, clRed);
    EXPECT_EQ(Levels(*b, 0, 0, 3), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(Levels(*b, 1, 0, 3), (std::vector<int>{93, 154, 255, 255}));
    EXPECT_EQ(Levels(*b, 2, 0, 3), (std::vector<int>{93, 154, 255, 255}));
    EXPECT_EQ(Levels(*b, 3, 0, 3), (std::vector<int>{255, 154, 255, 255}));
    auto t = FilledBitmap(5, 4, clWhite);
    DrawBottomShadow(t->Canvas(), nullptr, 0, 0, 2, 1, 3, clRed);
    // The same gradient turned: column j of the bottom strip is row j of the right one.
    EXPECT_EQ(Levels(*t, 0, 0, 4), (std::vector<int>{255, 93, 93, 255, 255}));
    EXPECT_EQ(Levels(*t, 1, 0, 4), (std::vector<int>{255, 154, 154, 154, 255}));
    EXPECT_EQ(Levels(*t, 2, 0, 4), (std::vector<int>{255, 255, 255, 255, 255}));

    auto s = FilledBitmap(8, 8, clWhite);
    s->Canvas()->Brush()->SetColor(clBlack);
    DrawRightShadow(s->Canvas(), s.get(), 5, 0, 7, 6, 1, clRed);
    EXPECT_EQ(Levels(*s, 2, 4, 7), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(Levels(*s, 3, 4, 7), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Levels(*s, 6, 4, 7), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Levels(*s, 7, 4, 7), (std::vector<int>{255, 255, 255, 255}));
}

// The blurred mask value at distance d (in pixels, along one axis) from the edge of a large
// opaque area: the Gaussian of standard deviation 2.5 integrated past the edge.
double EdgeCoverage(double inside) {
    return 0.5 * (1 + std::erf(inside / (2.5 * std::sqrt(2.0))));
}

TEST(ShadowPainters, SoftShadowFallsToTheLowerRightAndSparesThePicture) {
    auto b = FilledBitmap(60, 60, clWhite);
    DrawSoftShadow(b.get(), 20, 20, 40, 40, clRed);
    for (int32_t y = 20; y < 40; ++y)
        EXPECT_EQ(Levels(*b, y, 20, 39), std::vector<int>(20, 255)) << y;
    // Along the middle row the opaque mask starts at the picture's left edge and ends three
    // pixels past its right edge (x = 42); the light kept is 255 times what the blurred mask
    // leaves.
    for (int32_t x : {15, 16, 17, 18, 19, 40, 41, 42, 43, 44, 45}) {
        const double inside = x < 30 ? x - 19.5 : 42.5 - x;
        const double expected = 255 * (1 - EdgeCoverage(inside));
        EXPECT_NEAR(Levels(*b, 30, x, x)[0], expected, 2.0) << x;
    }
    // Near a corner the mask is the product of both edges.
    const double lowerRight = 255 * (1 - EdgeCoverage(1.5) * EdgeCoverage(1.5));
    EXPECT_NEAR(Levels(*b, 41, 41, 41)[0], lowerRight, 2.0);
    const double upperLeft = 255 * (1 - EdgeCoverage(-4.5) * EdgeCoverage(-4.5));
    EXPECT_NEAR(Levels(*b, 15, 15, 15)[0], upperLeft, 2.0);
    EXPECT_LT(Levels(*b, 41, 41, 41)[0], Levels(*b, 19, 19, 19)[0]); // falls to the lower right
    EXPECT_EQ(Levels(*b, 30, 14, 14)[0], 255);      // beyond the reach of the shadow
    DrawSoftShadow(b.get(), 50, 50, 70, 70, clRed); // partly outside the bitmap
    DrawSoftShadow(b.get(), 10, 10, 5, 5, clRed);   // reversed: nothing to do
}

TEST(DialogBackgrounds, StripedRowsAndTexturedColumns) {
    TBitmap b;
    PaintStripedBackground(&b, 40, 8);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    const int expected[8] = {240, 251, 255, 251, 240, 251, 255, 251};
    for (int32_t y = 0; y < 8; ++y)
        EXPECT_EQ(Levels(b, y, 0, 39), std::vector<int>(40, expected[y])) << y;

    TBitmap t;
    PaintTexturedBackground(&t, 50, 6);
    for (int32_t y = 0; y < 6; ++y) {
        const auto* row = static_cast<uint8_t*>(t.ScanLine(y));
        for (int32_t x = 0; x < 50; ++x) {
            EXPECT_EQ(row[3 * x], row[3 * x + 2]);
            EXPECT_EQ(row[3 * x + 1], row[3 * x + 2]);
        }
        EXPECT_GE(row[0], 160);
        EXPECT_LE(row[0], 170);
        EXPECT_GE(row[3 * 25], 207);
        EXPECT_LE(row[3 * 25], 218);
    }
}

TEST(Frames, ThreeDFrameLeavesOutEachLinesEndPoint) {
    auto b = FilledBitmap(5, 4, clWhite);
    Draw3DFrame(b->Canvas(), 0, 0, 4, 3, clRed, clBlue);
    TCanvas* c = b->Canvas();
    const TColor expected[4][5] = {{clRed, clRed, clRed, clRed, clWhite},
                                   {clRed, clWhite, clWhite, clWhite, clBlue},
                                   {clRed, clWhite, clWhite, clWhite, clBlue},
                                   {clBlue, clBlue, clBlue, clBlue, clBlue}};
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(c->Pixels(x, y), expected[y][x]) << x << "," << y;
}

TEST(Frames, AntiAliasedFrameFallsBackToTheSameFrame) {
    InitializeCanvasUnit();
    auto a = FilledBitmap(5, 4, clWhite);
    {
        TVLCanvas canvas(a->Canvas(), true, false);
        Draw3DFrameAA(&canvas, 0, 0, 4, 3, clRed, clBlue);
    }
    auto b = FilledBitmap(5, 4, clWhite);
    Draw3DFrame(b->Canvas(), 0, 0, 4, 3, clRed, clBlue);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(Levels(*a, y, 0, 4), Levels(*b, y, 0, 4));
    AcquireGdiPlus();
    auto smooth = FilledBitmap(8, 8, clWhite);
    {
        TVLCanvas canvas(smooth->Canvas(), true, true);
        Draw3DFrameAA(&canvas, 1, 1, 6, 6, clRed, clBlue);
    }
    EXPECT_EQ(smooth->Canvas()->Pixels(3, 1), clRed);
    EXPECT_EQ(smooth->Canvas()->Pixels(6, 3), clBlue);
    EXPECT_EQ(smooth->Canvas()->Pixels(3, 3), clWhite);
    ReleaseGdiPlus();
}

TEST(TextHelpers, UrlKindsAndExtensions) {
    EXPECT_EQ(GetURLType(u"HTTPS://example.org/a.png"), 2);
    EXPECT_EQ(GetURLType(u"http://x"), 1);
    EXPECT_EQ(GetURLTypeA("Ftp://x"), 3);
    EXPECT_EQ(GetURLType(u"file:///tmp/a.png"), 0);
    EXPECT_EQ(GetURLType(u"http:/x"), 0);
    EXPECT_EQ(GetFileExtension(u"Photo.JPG", false), u"jpg");
    EXPECT_EQ(GetFileExtension(u"Photo.JPG", true), u".jpg");
    EXPECT_EQ(GetFileExtensionW(u"/a.dir/noext", true), u"");
    EXPECT_EQ(GetFileExtensionA("x.TiF", false), "tif");
}

TEST(TextHelpers, NumbersWithADotWhateverTheSeparator) {
    const TFormatSettings saved = FormatSettings;
    for (char16_t separator : {u'.', u','}) {
        FormatSettings.DecimalSeparator = separator;
        EXPECT_EQ(FloatToStrDot(2.5), u"2.5");
        EXPECT_EQ(FloatToStrDotA(-0.125), "-0.125");
        EXPECT_EQ(StrToFloatDefAnySep(u"1,5", 9), 1.5);
        EXPECT_EQ(StrToFloatDefAnySep(u"1.5", 9), 1.5);
        EXPECT_EQ(StrToFloatDefAnySep(u"abc", 9), 9);
    }
    FormatSettings = saved;
    EXPECT_EQ(FloatToStrFmt(1234.567, ffFixed, 15, 1), u"1234.6");
}

TEST(TextHelpers, SingleByteStrings) {
    EXPECT_EQ(TrimA("  a b \n"), "a b");
    EXPECT_EQ(UpperCaseA("abc\xe9"), "ABC\xe9");
    EXPECT_EQ(LowerCaseA("ABC"), "abc");
    EXPECT_EQ(IntToStrA(-42), "-42");
    EXPECT_EQ(IntToHexA(255, 4), "00FF");
    EXPECT_EQ(StrToIntDefA("$1F", 0), 31);
    EXPECT_EQ(StrToIntDefA("x", -1), -1);
    EXPECT_EQ(CopyA("abcdef", 3, 2), "cd");
    EXPECT_EQ(PosA("de", "abcdef"), 4);
    EXPECT_EQ(StrDupA(nullptr), nullptr);
    char* copy = StrDupA("magic");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "magic");
    std::free(copy);
}

} // namespace
