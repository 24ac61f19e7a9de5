// Gaussian blur (kernel, rows, whole bitmaps and rectangles, against ImageMagick) and the soft
// shadows built on it.
#include "imaging/core/VLGaussianBlur.h"

#include "imaging/core/VLBitmap.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using enum TVLPixelFormat;

namespace {

// Seeded blocks of random grey levels, 4 x 4 pixels each.
void Blocks(TVLBitmap& B, int32_t W, int32_t H, TVLPixelFormat Format, uint32_t Seed) {
    ASSERT_TRUE(B.Allocate(W, H, Format));
    std::mt19937 random(Seed);
    std::vector<uint8_t> levels(static_cast<size_t>((W / 4 + 1) * (H / 4 + 1) * 3));
    for (uint8_t& l : levels)
        l = static_cast<uint8_t>(random());
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const size_t k = static_cast<size_t>(((y / 4) * (W / 4 + 1) + x / 4) * 3);
            if (Format == vl8g)
                B.SetPixel8(x, y, levels[k]);
            else
                B.SetPixelRGB(x, y, TVLRGB{levels[k], levels[k + 1], levels[k + 2]});
        }
}

} // namespace

TEST(GaussianKernel, RadiusOneKeepsFourTapsEachSide) {
    TVLGaussianKernel k;
    MakeGaussianKernel(k, 1.0);
    EXPECT_EQ(k.HalfWidth, 4);
    EXPECT_EQ(k.Taps[100 + 4], 9);
    EXPECT_EQ(k.Taps[100 - 4], 9);
    EXPECT_EQ(k.Taps[100 + 5], 0);
    int32_t sum = 0;
    for (int32_t t : k.Taps)
        sum += t;
    EXPECT_NEAR(sum, 65536, 100);
}

TEST(GaussianBlur, UniformAndOnePixelWideImagesStayExactly) {
    for (TVLPixelFormat format : {vl8g, vl24RGB})
        for (double radius : {0.7, 2.5, 30.0}) {
            TVLBitmap image;
            ASSERT_TRUE(image.Allocate(23, 17, format));
            image.Fill(format == vl8g ? 201 : 0xC864FA);
            GaussianBlur(image, radius);
            const TVLRGB uniform =
                format == vl8g ? TVLRGB{201, 201, 201} : TVLRGB{0xC8, 0x64, 0xFA};
            for (int32_t y = 0; y < 17; ++y)
                for (int32_t x = 0; x < 23; ++x)
                    ASSERT_EQ(image.GetPixelAsRGB(x, y), uniform);
            // One pixel wide: each row is blurred against copies of its one pixel, so the
            // column comes out as the same pixels laid in a row would.
            TVLBitmap column, line;
            Blocks(column, 1, 9, format, 3);
            ASSERT_TRUE(line.Allocate(9, 1, format));
            for (int32_t i = 0; i < 9; ++i) {
                if (format == vl8g)
                    line.SetPixel8(i, 0, column.GetPixel8(0, i));
                else
                    line.SetPixelRGB(i, 0, column.GetPixelRGB(0, i));
            }
            GaussianBlur(column, radius);
            GaussianBlur(line, radius);
            for (int32_t i = 0; i < 9; ++i)
                ASSERT_EQ(column.GetPixelAsRGB(0, i), line.GetPixelAsRGB(i, 0)) << i;
            TVLBitmap single;
            ASSERT_TRUE(single.Allocate(1, 1, format));
            single.SetPixelRGB(0, 0, TVLRGB{9, 8, 7});
            single.SetPixel8(0, 0, 9);
            const TVLRGB before = single.GetPixelAsRGB(0, 0);
            GaussianBlur(single, radius);
            EXPECT_EQ(single.GetPixelAsRGB(0, 0), before);
        }
}

TEST(GaussianBlur, MatchesImageMagickWithEdgePixels) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    ScratchFolder folder;
    for (double radius : {1.0, 2.5, 6.0}) {
        SCOPED_TRACE(radius);
        TVLBitmap image;
        Blocks(image, 48, 36, vl24RGB, 8);
        std::ostringstream head;
        head << "P6\n48 36\n255\n";
        std::string ppm = head.str();
        for (int32_t y = 0; y < 36; ++y)
            for (int32_t x = 0; x < 48; ++x) {
                const TVLRGB c = image.GetPixelRGB(x, y);
                ppm += static_cast<char>(c.r);
                ppm += static_cast<char>(c.g);
                ppm += static_cast<char>(c.b);
            }
        folder.Write("in.ppm", std::vector<uint8_t>(ppm.begin(), ppm.end()));
        std::string out;
        std::ostringstream command;
        command << "convert '" << folder.File("in.ppm") << "' -virtual-pixel edge -gaussian-blur 0x"
                << radius << " -depth 8 rgb:-";
        ASSERT_TRUE(folder.Run(command.str(), out));
        ASSERT_EQ(out.size(), 48u * 36 * 3);
        GaussianBlur(image, radius);
        int32_t worst = 0;
        for (int32_t y = 0; y < 36; ++y)
            for (int32_t x = 0; x < 48; ++x) {
                const TVLRGB c = image.GetPixelRGB(x, y);
                const auto* p = reinterpret_cast<const uint8_t*>(out.data()) + 3 * (y * 48 + x);
                worst = std::max(
                    {worst, std::abs(c.r - p[0]), std::abs(c.g - p[1]), std::abs(c.b - p[2])});
            }
        EXPECT_LE(worst, 2);
    }
}

TEST(GaussianBlurGrayRect, EqualsBlurringTheRectangleAloneAndTouchesNothingElse) {
    TVLBitmap image, original;
    Blocks(image, 30, 20, vl8g, 5);
    original.Assign(&image);
    GaussianBlurGrayRect(image, 5, 4, 21, 15, 2.0);
    TVLBitmap part;
    ASSERT_TRUE(part.Allocate(17, 12, vl8g));
    original.CopyRectTo(part, 5, 4, 0, 0, 17, 12);
    GaussianBlur(part, 2.0);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) {
            const bool inside = x >= 5 && x <= 21 && y >= 4 && y <= 15;
            ASSERT_EQ(image.GetPixel8(x, y),
                      inside ? part.GetPixel8(x - 5, y - 4) : original.GetPixel8(x, y))
                << x << "," << y;
        }
    // Corners beyond the bitmap are clamped into it; radius 0 and other formats do nothing.
    image.Assign(&original);
    GaussianBlurGrayRect(image, -10, -10, 100, 100, 2.0);
    GaussianBlur(original, 2.0);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x)
            ASSERT_EQ(image.GetPixel8(x, y), original.GetPixel8(x, y));
    image.Assign(&original);
    GaussianBlurGrayRect(image, 0, 0, 29, 19, 0);
    EXPECT_EQ(image.GetPixel8(3, 3), original.GetPixel8(3, 3));
}

TEST(AddSoftShadow, IntensityDividesPureShadowAndOpaquePixelsStay) {
    for (int32_t intensity : {100, 0}) {
        SCOPED_TRACE(intensity);
        TVLBitmap image;
        ASSERT_TRUE(image.Allocate(40, 30, vl24RGB));
        image.Fill(0x00FF00);
        TVLBitmap& alpha = *image.GetAlphaChannel();
        alpha.Fill(0);
        alpha.FillRect(10, 10, 19, 19, 255);
        TVLBitmap blurred;
        blurred.Assign(&alpha);
        GaussianBlur(blurred, 2.0);
        AddSoftShadow(image, 5, 3, 2.0, intensity, false, TVLRGB{10, 20, 30});
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const bool opaque = x >= 10 && x <= 19 && y >= 10 && y <= 19;
                const int32_t sx = x - 5, sy = y - 3;
                const int32_t s =
                    sx >= 0 && sy >= 0 && sx < 40 && sy < 30 ? blurred.GetPixel8(sx, sy) : 0;
                if (opaque) {
                    ASSERT_EQ(image.GetAlphaPixel(x, y), 255);
                    ASSERT_EQ(image.GetPixelRGB(x, y), (TVLRGB{0, 255, 0}));
                } else if (s != 0) {
                    ASSERT_EQ(image.GetAlphaPixel(x, y), intensity == 100 ? s : s / 3)
                        << x << "," << y;
                    ASSERT_EQ(image.GetPixelRGB(x, y), (TVLRGB{10, 20, 30}));
                } else {
                    ASSERT_EQ(image.GetAlphaPixel(x, y), 0);
                }
            }
    }
}

TEST(AddSoftShadow, EnlargeAndTranslucentPixels) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(20, 10, vl24RGB));
    image.Fill(0xFFFFFF);
    AddSoftShadow(image, 4, -2, 3.0, 50, true, TVLRGB{0, 0, 0});
    EXPECT_EQ(image.GetWidth(), 43);
    EXPECT_EQ(image.GetHeight(), 33);
    // The picture sits centred and stays opaque white.
    EXPECT_EQ(image.GetAlphaPixel(11 + 5, 11 + 5), 255);
    EXPECT_EQ(image.GetPixelRGB(11, 11), (TVLRGB{255, 255, 255}));
    // A half-transparent pixel over full shadow: the colours mix, the alpha adds up.
    TVLBitmap half;
    ASSERT_TRUE(half.Allocate(3, 3, vl24RGB));
    half.Fill(0xC8C8C8);
    half.GetAlphaChannel()->Fill(128);
    AddSoftShadow(half, 0, 0, 0, 100, false, TVLRGB{0, 0, 100});
    // s = 128 (no blur), C = D = 128/255: mix = Trunc(100 D + (1 - D) 200), then the blend.
    const double c = 128 / 255.0;
    const auto mix = Trunc(100 * c + (1 - c) * 200);
    const auto red = static_cast<int>(Trunc(200 * c + (1 - c) * static_cast<double>(mix)));
    EXPECT_EQ(half.GetPixelRGB(1, 1).r, red);
    EXPECT_EQ(half.GetAlphaPixel(1, 1), static_cast<int>(Trunc((c + (1 - c) * c) * 255)));
}

TEST(AddSoftShadowRect, PresetBlurMarginAndTheRectangleOnly) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(60, 40, vl24RGB));
    image.Fill(0x808080);
    TVLBitmap& alpha = *image.GetAlphaChannel();
    alpha.Fill(0);
    alpha.FillRect(20, 15, 29, 24, 255);
    alpha.SetPixel8(2, 2, 255);
    EXPECT_EQ(AddSoftShadowRect(image, 3, -1, 0, 100, TVLRGB{0, 0, 0}, 20, 15, 29, 24), 16);
    EXPECT_EQ(AddSoftShadowRect(image, 0, 0, 2.5, 100, TVLRGB{0, 0, 0}, 20, 15, 29, 24), 12);
    // Far from the rectangle nothing was blurred or composited.
    EXPECT_EQ(image.GetAlphaPixel(2, 2), 255);
    EXPECT_EQ(image.GetAlphaPixel(3, 2), 0);
    EXPECT_EQ(image.GetPixelRGB(3, 2), (TVLRGB{128, 128, 128}));
    // Next to it lies shadow.
    EXPECT_GT(image.GetAlphaPixel(31, 20), 0);
    EXPECT_EQ(image.GetPixelRGB(31, 20), (TVLRGB{0, 0, 0}));
}
