// Anti-aliased drawing: start-up rules, coverage of shapes (symmetry, full coverage inside,
// nothing outside, partial coverage on the edge), alpha, crisp outlines on whole coordinates,
// hatches, dashes, arcs and paths, clipping and the fourth byte.
#include "GdiPictures.h"

#include "platform/gfx/GdiPlus.h"

#include <cstring>

namespace {

using gdi_test::Surface;

class GdiPlus : public testing::Test {
protected:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&FToken, &input, nullptr), GpStatus::Ok);
    }
    void TearDown() override { GdiplusShutdown(FToken); }

    // Graphics on a white surface, smoothing as asked.
    GpGraphics* Graphics(const Surface& s, GpSmoothingMode mode = SmoothingModeAntiAlias) {
        s.Fill(0xFFFFFF);
        GpGraphics* g = nullptr;
        EXPECT_EQ(GdipCreateFromHDC(s.Dc, &g), GpStatus::Ok);
        GdipSetSmoothingMode(g, mode);
        return g;
    }

    static COLORREF At(const Surface& s, int32_t x, int32_t y) { return GetPixel(s.Dc, x, y); }

private:
    uintptr_t FToken = 0;
};

TEST(GdiPlusStartup, ObjectsNeedAStartedLibrary) {
    GpPen* pen = nullptr;
    EXPECT_EQ(GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen), GpStatus::GdiplusNotInitialized);
    GdiplusStartupInput input;
    input.GdiplusVersion = 2;
    uintptr_t token = 0;
    EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), GpStatus::UnsupportedGdiplusVersion);
    input.GdiplusVersion = 1;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), GpStatus::Ok);
    EXPECT_EQ(GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen), GpStatus::Ok);
    EXPECT_EQ(GdipDeletePen(pen), GpStatus::Ok);
    GpGraphics* g = nullptr;
    EXPECT_EQ(GdipCreateFromHDC(nullptr, &g), GpStatus::InvalidParameter);
    GdiplusShutdown(token);
    GpBrush* brush = nullptr;
    EXPECT_EQ(GdipCreateSolidFill(0, &brush), GpStatus::GdiplusNotInitialized);
}

TEST_F(GdiPlus, FilledEllipseCoverage) {
    Surface s(24, 24);
    GpGraphics* g = Graphics(s);
    GpBrush* black = nullptr;
    GdipCreateSolidFill(0xFF000000, &black);
    EXPECT_EQ(GdipFillEllipse(g, black, 2, 2, 19, 19), GpStatus::Ok);
    int partial = 0;
    for (int32_t y = 0; y < 24; ++y)
        for (int32_t x = 0; x < 24; ++x) {
            const COLORREF c = At(s, x, y);
            const int level = GetRValue(static_cast<TColor>(c));
            EXPECT_EQ(c, static_cast<COLORREF>(RGB(level, level, level)));
            // The ellipse is centred on pixel (11.5, 11.5): mirror images agree.
            EXPECT_NEAR(level, GetRValue(static_cast<TColor>(At(s, 23 - x, y))), 1);
            EXPECT_NEAR(level, GetRValue(static_cast<TColor>(At(s, x, 23 - y))), 1);
            partial += level > 0 && level < 255;
        }
    // The box runs from pixel centre 2 to pixel centre 21: pixels 3 to 20 are covered on the
    // middle row, pixels 2 and 21 half, the rest not at all.
    EXPECT_EQ(At(s, 11, 11), 0u);
    EXPECT_EQ(At(s, 3, 11), 0u);
    EXPECT_NEAR(GetRValue(static_cast<TColor>(At(s, 2, 11))), 128, 16);
    EXPECT_EQ(At(s, 1, 11), 0xFFFFFFu);
    EXPECT_EQ(At(s, 3, 3), 0xFFFFFFu);
    EXPECT_GT(partial, 20);
    GdipDeleteBrush(black);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, AlphaBlendsOverWhatIsThere) {
    Surface s(4, 4);
    GpGraphics* g = Graphics(s);
    GpBrush* halfRed = nullptr;
    GdipCreateSolidFill(0x80FF0000, &halfRed);
    GdipFillRectangle(g, halfRed, -1, -1, 6, 6);
    const COLORREF c = At(s, 2, 2);
    EXPECT_EQ(GetRValue(static_cast<TColor>(c)), 255);
    EXPECT_NEAR(GetGValue(static_cast<TColor>(c)), 127, 1);
    EXPECT_NEAR(GetBValue(static_cast<TColor>(c)), 127, 1);
    GpBrush* clear = nullptr;
    GdipCreateSolidFill(0x00000000, &clear);
    GdipFillRectangle(g, clear, -1, -1, 6, 6);
    EXPECT_EQ(At(s, 2, 2), c);
    GdipDeleteBrush(halfRed);
    GdipDeleteBrush(clear);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, OnePixelOutlineOnWholeCoordinatesIsCrisp) {
    // A 9 x 9 rectangle at (10, 10): its outline covers pixels 10 to 19 exactly.
    Surface s(30, 30);
    GpGraphics* g = Graphics(s);
    GpBrush* red = nullptr;
    GdipCreateSolidFill(0xFFFF0000, &red);
    GpPen* pen = nullptr;
    GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen);
    GdipFillRectangle(g, red, 10, 10, 9, 9);
    GdipDrawRectangle(g, pen, 10, 10, 9, 9);
    for (int32_t i = 10; i <= 19; ++i) {
        EXPECT_EQ(At(s, i, 10), 0u) << i;
        EXPECT_EQ(At(s, i, 19), 0u) << i;
        EXPECT_EQ(At(s, 10, i), 0u) << i;
        EXPECT_EQ(At(s, 19, i), 0u) << i;
        EXPECT_EQ(At(s, 9, i), 0xFFFFFFu) << i;
        EXPECT_EQ(At(s, 20, i), 0xFFFFFFu) << i;
    }
    EXPECT_EQ(At(s, 15, 15), 0x0000FFu);
    GdipDeletePen(pen);
    GdipDeleteBrush(red);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, HighSpeedDrawsWithoutPartialPixels) {
    Surface s(20, 20);
    GpGraphics* g = Graphics(s, SmoothingModeHighSpeed);
    GpPen* pen = nullptr;
    GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen);
    GdipDrawEllipse(g, pen, 2, 2, 15, 12);
    GdipDrawLine(g, pen, 0, 0, 19, 7);
    int black = 0;
    for (const std::string& row : s.Take()) {
        EXPECT_EQ(row.find('?'), std::string::npos) << row;
        black += static_cast<int>(std::count(row.begin(), row.end(), '#'));
    }
    EXPECT_GT(black, 30);
    GdipDeletePen(pen);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, HatchesAreAnchoredAtTheSurfaceAndLeaveATransparentBackground) {
    Surface s(8, 8);
    GpGraphics* g = Graphics(s, SmoothingModeHighSpeed);
    GpBrush* hatch = nullptr;
    EXPECT_EQ(GdipCreateHatchBrush(HatchStyleCross, 0xFFFF0000, 0x00000000, &hatch), GpStatus::Ok);
    GdipFillRectangle(g, hatch, -0.5f, -0.5f, 8, 8);
    EXPECT_PICTURE(s, {"....r...", "....r...", "....r...", "rrrrrrrr", "....r...", "....r...",
                       "....r...", "....r..."});
    GdipDeleteBrush(hatch);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, DashesArcsAndPaths) {
    Surface s(40, 40);
    GpGraphics* g = Graphics(s, SmoothingModeHighSpeed);
    GpPen* pen = nullptr;
    GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen);
    GdipSetPenDashStyle(pen, DashStyleDot);
    GdipDrawLine(g, pen, 0, 0, 39, 0);
    const std::string dotted = s.Take()[0];
    EXPECT_NE(dotted.find("#.#."), std::string::npos) << dotted;
    // Clockwise from three o'clock through 90 degrees: the lower right quarter.
    GdipSetPenDashStyle(pen, DashStyleSolid);
    GdipDrawArc(g, pen, 5, 5, 30, 30, 0, 90);
    const gdi_test::Picture p = s.Take();
    int drawn = 0;
    for (int32_t y = 1; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x)
            if (p[y][x] == '#') {
                ++drawn;
                EXPECT_GE(x, 19);
                EXPECT_GE(y, 19);
            }
    EXPECT_GT(drawn, 15);
    GpPath* path = nullptr;
    ASSERT_EQ(GdipCreatePath(FillModeAlternate, &path), GpStatus::Ok);
    GdipAddPathArc(path, 5, 5, 10, 10, 180, 90);
    GdipAddPathLine(path, 30, 5, 30, 30);
    GpBrush* red = nullptr;
    GdipCreateSolidFill(0xFFFF0000, &red);
    EXPECT_EQ(GdipFillPath(g, red, path), GpStatus::Ok);
    EXPECT_EQ(At(s, 25, 12), 0x0000FFu);
    EXPECT_EQ(GdipDrawPath(g, pen, path), GpStatus::Ok);
    GdipDeletePath(path);
    GdipDeleteBrush(red);
    GdipDeletePen(pen);
    GdipDeleteGraphics(g);
}

TEST_F(GdiPlus, ClipRegionAndFourthByte) {
    Surface s(10, 10, 32);
    GpGraphics* g = Graphics(s);
    std::memset(s.Bits, 0x33, 10 * 10 * 4);
    IntersectClipRect(s.Dc, 0, 0, 5, 10);
    GpBrush* blue = nullptr;
    GdipCreateSolidFill(0xFF0000FF, &blue);
    GdipFillRectangle(g, blue, 0, 0, 9, 9);
    const auto* bytes = static_cast<const uint8_t*>(s.Bits);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            const uint8_t* px = bytes + (9 - y) * 40 + 4 * x;
            if (x >= 5) {
                EXPECT_EQ(px[0], 0x33);
                EXPECT_EQ(px[3], 0x33);
            } else if (px[0] != 0x33) {
                EXPECT_EQ(px[3], 0) << x << "," << y;
            }
        }
    EXPECT_EQ(bytes[7 * 40 + 4 * 2], 0xFF); // pixel (2, 2) fully blue
    GdipDeleteBrush(blue);
    GdipDeleteGraphics(g);
}

} // namespace
