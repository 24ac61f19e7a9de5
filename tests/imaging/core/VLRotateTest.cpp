// Nearest-neighbour rotation: exact quarter turns of every pixel format, the rotated box, the
// inverse mapping of other angles with its background, palettes and 1-bit rows.
#include "imaging/core/VLRotate.h"

#include "imaging/core/VLColorHelpers.h"
#include "tests/PeakMemory.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace {

using enum TVLPixelFormat;

// A 4 x 2 picture whose bytes name their letters: A B C D / E F G H.
void FillLetters(TVLBitmap& B, TVLPixelFormat Format) {
    ASSERT_TRUE(B.Allocate(4, 2, Format));
    const int32_t bytes = B.GetBitCount() / 8;
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x)
            for (int32_t k = 0; k < bytes; ++k)
                B.GetScanline(y)[x * bytes + k] = static_cast<uint8_t>('A' + y * 4 + x);
}

// The picture's letters row by row, rows separated by "/", from the first byte of each pixel.
std::string Letters(TVLBitmap& B) {
    std::string s;
    const int32_t bytes = B.GetBitCount() / 8;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        if (y > 0) s += '/';
        for (int32_t x = 0; x < B.GetWidth(); ++x)
            s += static_cast<char>(B.GetScanline(y)[x * bytes]);
    }
    return s;
}

} // namespace

TEST(RotateNearest, QuarterTurnsOfEveryPixelSize) {
    struct TCase {
        double Angle;
        const char* Expected;
    };
    const TCase cases[] = {{90, "DH/CG/BF/AE"},  {-270, "DH/CG/BF/AE"}, {450, "DH/CG/BF/AE"},
                           {270, "EA/FB/GC/HD"}, {-90, "EA/FB/GC/HD"},  {180, "HGFE/DCBA"},
                           {-180, "HGFE/DCBA"},  {360, "ABCD/EFGH"},    {0, "ABCD/EFGH"}};
    for (TVLPixelFormat format : {vl8g, vl8p, vl16g, vl24RGB, vl32RGB, vlCMYK, vlRGB48}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " at " +
                         std::to_string(c.Angle));
            TVLBitmap source, dest;
            FillLetters(source, format);
            RotateNearest(source, dest, c.Angle, 0);
            EXPECT_EQ(dest.GetPixelFormat(), format);
            EXPECT_EQ(Letters(dest), c.Expected);
        }
    }
}

TEST(RotateNearest, QuarterTurnOfOneBitRowsSetsOnlyTheSetBits) {
    TVLBitmap source, dest;
    ASSERT_TRUE(source.Allocate(10, 3, vl1g));
    source.Fill(0);
    SetRowBit(source.GetScanline(0), 9, true); // top-right corner
    SetRowBit(source.GetScanline(2), 0, true); // bottom-left corner
    RotateNearest(source, dest, 90, 1);
    ASSERT_EQ(dest.GetWidth(), 3);
    ASSERT_EQ(dest.GetHeight(), 10);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            const bool set = (x == 0 && y == 0) || (x == 2 && y == 9);
            EXPECT_EQ(GetRowBit(dest.GetScanline(y), x) != 0, set) << x << "," << y;
        }
}

TEST(RotateNearest, RotatedBoxRoundsHalvesToEven) {
    int32_t w = 0, h = 0;
    RotatedBox(100, 50, 45, w, h);
    EXPECT_EQ(w, 106);
    EXPECT_EQ(h, 106);
    RotatedBox(100, 50, 30, w, h);
    EXPECT_EQ(w, 112); // 50 * 0.5 + 100 * 0.866 = 111.6
    EXPECT_EQ(h, 93);  // 100 * 0.5 + 50 * 0.866 = 93.3
}

TEST(RotateNearest, OtherAnglesFillCornersAndKeepTheCentre) {
    TVLBitmap source, dest;
    ASSERT_TRUE(source.Allocate(21, 11, vl24RGB));
    source.Fill(0x00FF00);
    for (int32_t y = 4; y <= 6; ++y)
        for (int32_t x = 9; x <= 11; ++x)
            source.SetPixelRGB(x, y, TVLRGB{1, 2, 3});
    RotateNearest(source, dest, 30, 0x0000FF);
    ASSERT_EQ(dest.GetWidth(), 24);
    ASSERT_EQ(dest.GetHeight(), 20);
    EXPECT_EQ(dest.GetPixelRGB(0, 0), (TVLRGB{0, 0, 255})); // background red
    EXPECT_EQ(dest.GetPixelRGB(23, 19), (TVLRGB{0, 0, 255}));
    // The centres map onto each other: the pixels around (23 / 2, 19 / 2) read the mark
    // around source (10, 5).
    for (int32_t y = 9; y <= 10; ++y)
        for (int32_t x = 11; x <= 12; ++x)
            EXPECT_EQ(dest.GetPixelRGB(x, y), (TVLRGB{1, 2, 3})) << x << "," << y;
}

TEST(RotateNearest, OneBitCornersAreBlackWhateverTheBackground) {
    TVLBitmap source, dest;
    ASSERT_TRUE(source.Allocate(16, 16, vl1g));
    source.Fill(1);
    RotateNearest(source, dest, 30, 0xFFFFFF);
    ASSERT_EQ(dest.GetPixelFormat(), vl1g);
    EXPECT_EQ(GetRowBit(dest.GetScanline(0), 0), 0);
    EXPECT_NE(GetRowBit(dest.GetScanline(dest.GetHeight() / 2), dest.GetWidth() / 2), 0);
}

TEST(RotateNearest, PaletteIsKeptAndCornersTakeTheBackgroundIndex) {
    TVLBitmap source, dest;
    ASSERT_TRUE(source.Allocate(8, 8, vl8p));
    source.SetPaletteColor(7, TVLRGB{10, 20, 30});
    source.Fill(3);
    RotateNearest(source, dest, 45, 7);
    TVLRGB c;
    dest.GetPaletteColor(7, c);
    EXPECT_EQ(c, (TVLRGB{10, 20, 30}));
    EXPECT_EQ(dest.GetScanline(0)[0], 7);
    EXPECT_EQ(dest.GetScanline(dest.GetHeight() / 2)[dest.GetWidth() / 2], 3);
}

TEST(RotateNearest, InPlaceReplacesThePixels) {
    TVLBitmap b;
    FillLetters(b, vl24RGB);
    RotateNearestInPlace(b, -90, 0);
    EXPECT_EQ(Letters(b), "EA/FB/GC/HD");
}

// A quarter turn of a long thin picture with its alpha channel: the bitmap goes to its new size
// in one step, never through a square of its long side (4.8 GB here).
TEST(TurnBitmap, LongThinPicturesTurnWithoutASquareOfTheirLongSide) {
    constexpr int32_t W = 40000, H = 2;
    auto sample = [](int32_t X, int32_t Y, int32_t K) { return uint8_t(X * 3 + Y * 101 + K); };
    auto alphaAt = [](int32_t X, int32_t Y) { return uint8_t(X + 7 * Y); };
    struct TCase {
        const char* Name;
        TVLPixelTurn Turn;
        // The source pixel that lands on (X, Y) of the turned picture.
        std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)> From;
    };
    const TCase cases[] = {
        {"left", VLTurnLeft,
         [](int32_t X, int32_t Y) {
             return std::pair{W - 1 - Y, X};
         }},
        {"right", VLTurnRight,
         [](int32_t X, int32_t Y) {
             return std::pair{Y, H - 1 - X};
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap b;
        ASSERT_TRUE(b.Allocate(W, H, vl24RGB));
        for (int32_t y = 0; y < H; ++y) {
            uint8_t* row = b.GetScanline(y);
            uint8_t* alpha = b.GetAlphaChannel()->GetScanline(y);
            for (int32_t x = 0; x < W; ++x) {
                for (int32_t k = 0; k < 3; ++k)
                    row[x * 3 + k] = sample(x, y, k);
                alpha[x] = alphaAt(x, y);
            }
        }
        b.GetAlphaChannel()->Full = false;
        TVLBitmap* alphaObject = b.GetAlphaChannel();
        const int64_t before = PeakAddressSpaceBytes();
        ASSERT_GT(before, 0);
        ASSERT_TRUE(TurnBitmap(b, c.Turn));
        EXPECT_LT(PeakAddressSpaceBytes() - before, int64_t{1} << 30);
        ASSERT_EQ(b.GetWidth(), H);
        ASSERT_EQ(b.GetHeight(), W);
        EXPECT_EQ(b.GetAlphaChannel(), alphaObject);
        int32_t wrong = 0;
        for (int32_t y = 0; y < W; ++y) {
            const uint8_t* row = b.GetScanline(y);
            const uint8_t* alpha = b.GetAlphaChannel()->GetScanline(y);
            for (int32_t x = 0; x < H; ++x) {
                const auto [sx, sy] = c.From(x, y);
                for (int32_t k = 0; k < 3; ++k)
                    wrong += row[x * 3 + k] != sample(sx, sy, k);
                wrong += alpha[x] != alphaAt(sx, sy);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}
