// Whole-image routines: mirroring of every pixel format with the alpha channel, the bounds of the
// opaque area, filling hidden pixels and resampling with the alpha channel.
#include "imaging/proc/VLWholeImage.h"

#include "imaging/core/VLColorHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using enum TVLPixelFormat;

// Pixel (x, y) holds 10 * y + x + 1 in every byte.
void FillNumbered(TVLBitmap& B, int32_t W, int32_t H, TVLPixelFormat Format) {
    ASSERT_TRUE(B.Allocate(W, H, Format));
    const int32_t bytes = B.GetBitCount() / 8;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            for (int32_t k = 0; k < bytes; ++k)
                B.GetScanline(y)[x * bytes + k] = static_cast<uint8_t>(10 * y + x + 1);
}

} // namespace

TEST(FlipBitmap, MirrorsEveryPixelSizeAndTheAlphaChannel) {
    for (TVLPixelFormat format : {vl8g, vl8p, vl16g, vl24RGB, vl32RGB, vlCMYK, vlRGB48}) {
        for (uint8_t direction : {0, 1}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " direction " +
                         std::to_string(direction));
            TVLBitmap b;
            FillNumbered(b, 5, 3, format);
            TVLBitmap& alpha = *b.GetAlphaChannel();
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 5; ++x)
                    alpha.GetScanline(y)[x] = static_cast<uint8_t>(100 + 10 * y + x);
            FlipBitmap(b, direction);
            const int32_t bytes = b.GetBitCount() / 8;
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 5; ++x) {
                    const int32_t sx = direction == 0 ? 4 - x : x;
                    const int32_t sy = direction == 1 ? 2 - y : y;
                    EXPECT_EQ(b.GetScanline(y)[x * bytes + bytes - 1], 10 * sy + sx + 1);
                    EXPECT_EQ(b.GetAlphaChannel()->GetScanline(y)[x], 100 + 10 * sy + sx);
                }
        }
    }
}

TEST(FlipBitmap, OneBitRowsOfWidthTen) {
    TVLBitmap b;
    ASSERT_TRUE(b.Allocate(10, 2, vl1g));
    b.Fill(0);
    SetRowBit(b.GetScanline(0), 0, true);
    SetRowBit(b.GetScanline(1), 9, true);
    SetRowBit(b.GetScanline(1), 3, true);
    FlipBitmap(b, 0);
    for (int32_t x = 0; x < 10; ++x) {
        EXPECT_EQ(GetRowBit(b.GetScanline(0), x) != 0, x == 9) << x;
        EXPECT_EQ(GetRowBit(b.GetScanline(1), x) != 0, x == 0 || x == 6) << x;
    }
    FlipBitmap(b, 1);
    EXPECT_NE(GetRowBit(b.GetScanline(0), 0), 0);
    EXPECT_NE(GetRowBit(b.GetScanline(1), 9), 0);
}

TEST(GetAlphaBounds, OpaqueAreaEmptyAlphaAndNoAlpha) {
    TVLBitmap b(12, 9, vl24RGB);
    TRect r;
    GetAlphaBounds(b, r);
    EXPECT_EQ(r, (TRect{0, 0, 11, 8}));
    b.GetAlphaChannel()->Fill(0);
    GetAlphaBounds(b, r);
    EXPECT_EQ(r, (TRect{12, 9, -1, -1}));
    b.GetAlphaChannel()->GetScanline(7)[5] = 1;
    GetAlphaBounds(b, r);
    EXPECT_EQ(r, (TRect{5, 7, 5, 7}));
    b.GetAlphaChannel()->GetScanline(2)[10] = 255;
    b.GetAlphaChannel()->GetScanline(4)[1] = 255;
    GetAlphaBounds(b, r);
    EXPECT_EQ(r, (TRect{1, 2, 10, 7}));
}

TEST(FillTransparentPixels, OnlyHiddenPixelsOfColourImages) {
    TVLBitmap b(3, 1, vl24RGB);
    b.Fill(0x0000FF);
    b.GetAlphaChannel()->Fill(255);
    b.GetAlphaChannel()->GetScanline(0)[1] = 0;
    FillTransparentPixels(b, TVLRGB{9, 8, 7});
    EXPECT_EQ(b.GetPixelRGB(0, 0), (TVLRGB{0, 0, 255}));
    EXPECT_EQ(b.GetPixelRGB(1, 0), (TVLRGB{9, 8, 7}));
    EXPECT_EQ(b.GetPixelRGB(2, 0), (TVLRGB{0, 0, 255}));

    TVLBitmap opaque(2, 2, vl24RGB);
    opaque.Fill(0x123456);
    FillTransparentPixels(opaque, TVLRGB{0, 0, 0});
    ASSERT_TRUE(opaque.HasAlphaChannel());
    EXPECT_EQ(opaque.GetAlphaChannel()->GetScanline(1)[1], 255);
    EXPECT_EQ(opaque.GetPixelRGB(1, 1), (TVLRGB{0x12, 0x34, 0x56}));

    TVLBitmap gray(2, 1, vl8g);
    gray.Fill(77);
    gray.GetAlphaChannel()->Fill(0);
    FillTransparentPixels(gray, TVLRGB{1, 1, 1});
    EXPECT_EQ(gray.GetScanline(0)[0], 77);
}

TEST(ResampleWithAlpha, LeavesTheSourceAloneAndHidesHiddenColours) {
    for (TResampleFilter filter : {rfNone, rfTriangle, rfFastLinear, rfBilinear}) {
        SCOPED_TRACE(static_cast<int>(filter));
        // Left half pure red and fully transparent, right half white and opaque.
        TVLBitmap source(4, 2, vl24RGB);
        source.Fill(0xFFFFFF);
        TVLBitmap& alpha = *source.GetAlphaChannel();
        alpha.Fill(255);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 2; ++x) {
                source.SetPixelRGB(x, y, TVLRGB{0, 0, 255});
                alpha.GetScanline(y)[x] = 0;
            }
        TVLBitmap dest(8, 4, vl24RGB);
        ResampleWithAlpha(source, dest, filter);
        // The caller's picture keeps its hidden red.
        EXPECT_EQ(source.GetPixelRGB(0, 0), (TVLRGB{0, 0, 255}));
        ASSERT_TRUE(dest.HasAlphaChannel());
        EXPECT_EQ(dest.GetAlphaChannel()->GetWidth(), 8);
        EXPECT_EQ(dest.GetAlphaChannel()->GetScanline(0)[0], 0);
        EXPECT_EQ(dest.GetAlphaChannel()->GetScanline(3)[7], 255);
        // No red tint anywhere: the hidden pixels were filtered as neutral grey.
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const TVLRGB p = dest.GetPixelRGB(x, y);
                EXPECT_EQ(p.r, p.g) << x << "," << y;
            }
    }
}
