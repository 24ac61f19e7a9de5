// Background styles on a small bitmap: each style's pixels, the chessboard's two paths and its
// clipping, the soft shadow without a bitmap, and the chessboard of a view zoomed just above
// 100 % in a window narrower than the picture.
#include "imaging/view/ViewBackground.h"

#include "imaging/view/ViewComposition.h"
#include "platform/gfx/Bitmap.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

namespace {

using enum TVLPixelFormat;

constexpr TColor Color = 0x204080; // red 0x80, green 0x40, blue 0x20
constexpr TColor Other = 0xDFBF7F; // its complement

std::unique_ptr<TBitmap> MakeCanvasBitmap(int32_t W, int32_t H) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(W, H);
    b->Canvas()->Brush()->SetColor(0x000000);
    b->Canvas()->FillRect(TRect{0, 0, W, H});
    return b;
}

TColor Pixel(TBitmap& B, int32_t X, int32_t Y) {
    const auto* row = static_cast<const uint8_t*>(B.ScanLine(Y)) + 3 * X;
    return row[2] | row[1] << 8 | row[0] << 16;
}

void Paint(TBitmap& B, TVLBackgroundStyle Style, bool WithBitmap, TComponentState State = 0) {
    DrawViewBackground(State, B.Canvas(), WithBitmap ? &B : nullptr, Style, Color, 0, 0, B.Width(),
                       B.Height(), 4, 4, 12, 12, 4, bsSolid, 0xFF0000, nullptr, vlwoNormal);
}

} // namespace

TEST(Background, EveryStyleOnATinyArea) {
    struct TCase {
        TVLBackgroundStyle Style;
        int32_t X, Y;
        TColor Expected;
    };
    const TCase cases[] = {
        {vlbsSolid, 0, 0, Color},        {vlbsSolid, 15, 15, Color},
        {vlbsChessboard, 0, 0, Color},   {vlbsChessboard, 4, 0, Other},
        {vlbsChessboard, 4, 4, Color},   {vlbsChessboard, 0, 4, Other},
        {vlbsDiagonals, 0, 0, Other},    {vlbsDiagonals, 1, 0, Color},
        {vlbsCropShadow, 0, 0, Color},   {vlbsSoftShadow, 6, 6, Color},
        {vlbsPhotoLike, 0, 0, 0xB0B0B0}, {vlbsPhotoLike, 3, 3, 0x000000},
        {vlbsPhotoLike, 4, 4, Color},    {vlbsPhotoLike, 8, 4, Other},
        {vlbsGradient, 8, 0, Color},     {vlbsCropped, 0, 0, ColorToRGB(clBtnFace)}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Style) + " at " + std::to_string(c.X) + "," +
                     std::to_string(c.Y));
        auto b = MakeCanvasBitmap(16, 16);
        Paint(*b, c.Style, true);
        EXPECT_EQ(Pixel(*b, c.X, c.Y), c.Expected);
    }
}

TEST(Background, HatchesGradientAndShadowsChangeWhatTheyShould) {
    for (int s = vlbsHorizontal; s <= vlbsDiagCross; ++s) {
        SCOPED_TRACE(s);
        auto b = MakeCanvasBitmap(16, 16);
        Paint(*b, static_cast<TVLBackgroundStyle>(s), true);
        int32_t colored = 0;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                colored += Pixel(*b, x, y) == Color;
        EXPECT_GT(colored, 0);
        EXPECT_LT(colored, 256);
    }
    auto g = MakeCanvasBitmap(16, 16);
    Paint(*g, vlbsGradient, true);
    EXPECT_GT(Pixel(*g, 8, 15) >> 16 & 0xFF, 0xE0); // blue at the bottom
    for (TVLBackgroundStyle s : {vlbsCropShadow, vlbsSoftShadow}) {
        SCOPED_TRACE(s);
        auto shadow = MakeCanvasBitmap(16, 16);
        Paint(*shadow, s, true);
        // Darkened only outside the image box.
        int32_t darkened = 0;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
                if (Pixel(*shadow, x, y) != Color) {
                    EXPECT_FALSE(inside) << x << "," << y;
                    ++darkened;
                }
            }
        EXPECT_GT(darkened, 0);
    }
}

TEST(Background, SoftShadowWithoutBitmapAndDesignTimeStyles) {
    auto b = MakeCanvasBitmap(16, 16);
    Paint(*b, vlbsSoftShadow, false);
    EXPECT_EQ(Pixel(*b, 0, 0), 0x000000);
    for (TVLBackgroundStyle s : {vlbsCropped, vlbsCropShadow, vlbsSoftShadow}) {
        SCOPED_TRACE(s);
        auto d = MakeCanvasBitmap(16, 16);
        Paint(*d, s, true, csDesigning);
        for (int32_t x = 0; x < 16; ++x)
            EXPECT_EQ(Pixel(*d, x, 12), Color);
    }
}

TEST(Background, ChessboardPathsAndSquareSizes) {
    // Direct path: Color first. Brush path: the complement first.
    auto direct = MakeCanvasBitmap(40, 40);
    DrawViewBackground(0, direct->Canvas(), direct.get(), vlbsChessboard, Color, 0, 0, 40, 40, 0, 0,
                       0, 0, 16, bsSolid, 0, nullptr, vlwoNormal);
    auto brush = MakeCanvasBitmap(40, 40);
    DrawViewBackground(0, brush->Canvas(), nullptr, vlbsChessboard, Color, 0, 0, 40, 40, 0, 0, 0, 0,
                       16, bsSolid, 0, nullptr, vlwoNormal);
    EXPECT_EQ(Pixel(*direct, 0, 0), Color);
    EXPECT_EQ(Pixel(*brush, 0, 0), Other);
    for (int32_t x : {0, 15, 16, 31, 32, 39}) {
        SCOPED_TRACE(x);
        const bool odd = (x / 16) % 2 != 0;
        EXPECT_EQ(Pixel(*direct, x, 0), odd ? Other : Color);
        EXPECT_EQ(Pixel(*direct, x, 39), odd ? Other : Color); // third band: like the first
        EXPECT_EQ(Pixel(*brush, x, 20), odd ? Other : Color);
    }
}

TEST(Background, DirectChessboardStaysInsideBitmapAndClip) {
    // An area far wider and higher than the bitmap, and a canvas clip narrower still.
    auto b = MakeCanvasBitmap(10, 6);
    DrawViewBackground(0, b->Canvas(), b.get(), vlbsChessboard, Color, -3, -2, 40, 30, 0, 0, 0, 0,
                       4, bsSolid, 0, nullptr, vlwoNormal);
    EXPECT_EQ(Pixel(*b, 0, 0), Color); // (0, 0) is (3, 2) of the board
    EXPECT_EQ(Pixel(*b, 1, 0), Other);
    auto clipped = MakeCanvasBitmap(10, 6);
    IntersectClipRect(clipped->Canvas()->Handle(), 0, 0, 5, 6);
    DrawViewBackground(0, clipped->Canvas(), clipped.get(), vlbsChessboard, Color, 0, 0, 40, 30, 0,
                       0, 0, 0, 4, bsSolid, 0, nullptr, vlwoNormal);
    EXPECT_EQ(Pixel(*clipped, 4, 0), Other);
    EXPECT_EQ(Pixel(*clipped, 5, 0), 0x000000);
}

TEST(Background, ChessboardUnderATransparentPictureJustAboveFullSize) {
    auto view = MakeOffScreenView(30, 20);
    view->SetBackground(Color);
    view->SetBackgroundStyle(vlbsPhotoLike);
    view->SetChessboardStyle(4, bsSolid);
    SetImageSize(*view, 50, 40);
    view->GetVLBitmap()->GetAlphaChannel()->Fill(0);
    view->SetZoom(101);
    view->Update();
    TVLBitmap dest;
    dest.SetLocation(TVLLocation::vlTBitmap);
    ASSERT_TRUE(dest.Allocate(30, 20, vl24RGB));
    view->ComposeBackBuffer(dest, false, true, nullptr);
    EXPECT_EQ(dest.GetPixelRGB(0, 0), (TVLRGB{0x20, 0x40, 0x80}));
    EXPECT_EQ(dest.GetPixelRGB(29, 19), (TVLRGB{0xDF, 0xBF, 0x7F})); // square (7, 4)
}
