// Histogram matching, the 3 x 3 convolution presets, rounded alpha corners and channel order.
#include "imaging/core/VLConvolve.h"

#include "imaging/core/VLBitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using enum TVLPixelFormat;

namespace {

void RandomGray(TVLBitmap& B, int32_t W, int32_t H, uint32_t Seed) {
    ASSERT_TRUE(B.Allocate(W, H, vl8g));
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            B.SetPixel8(x, y, static_cast<uint8_t>(random()));
}

// The convolution computed here: |sum| div divisor over the neighbourhood with edges repeated.
uint8_t Reference(TVLBitmap& B, const TVLConvolutionKernel& K, int32_t X, int32_t Y) {
    int64_t sum = 0;
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 3; ++c) {
            const int32_t sx = std::clamp(X + c - 1, 0, B.GetWidth() - 1);
            const int32_t sy = std::clamp(Y + r - 1, 0, B.GetHeight() - 1);
            sum += K.Weights[r * 3 + c] * B.GetPixel8(sx, sy);
        }
    const int64_t v = std::llabs(sum) / (K.Divisor == 0 ? 1 : K.Divisor);
    return static_cast<uint8_t>(std::min<int64_t>(v, 255));
}

class ConvolutionPresetsTest : public testing::Test {
protected:
    void SetUp() override { CreateConvolutionPresets(); }
    void TearDown() override { FreeConvolutionPresets(); }
};

} // namespace

TEST_F(ConvolutionPresetsTest, NamesInOrder) {
    EXPECT_EQ(ConvolutionPresetNames(),
              (std::vector<String>{u"None", u"Blur", u"Edges", u"Emboss", u"High Pass 1",
                                   u"High Pass 2", u"High Pass 3", u"Low Pass 1", u"Low Pass 2"}));
    ASSERT_EQ(ConvolutionPresets().size(), 9u);
    EXPECT_EQ(ConvolutionPresets()[8].Divisor, 16);
    EXPECT_EQ(ConvolutionPresets()[3].Weights[3], -1);
}

TEST_F(ConvolutionPresetsTest, EveryPresetIsTheAbsoluteSumDividedWithRepeatedEdges) {
    for (size_t i = 0; i < ConvolutionPresets().size(); ++i) {
        SCOPED_TRACE(i);
        const TVLConvolutionKernel& k = ConvolutionPresets()[i];
        TVLBitmap image, original;
        RandomGray(image, 13, 9, static_cast<uint32_t>(i));
        original.Assign(&image);
        Convolve3x3Gray8(image, k, 0, 0, 13, 9);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 13; ++x)
                ASSERT_EQ(image.GetPixel8(x, y), Reference(original, k, x, y)) << x << "," << y;
        // A rectangle: only its pixels change, its edges read the neighbours outside it.
        image.Assign(&original);
        Convolve3x3Gray8(image, k, 3, 2, 9, 6);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                const bool inside = x >= 3 && x < 9 && y >= 2 && y < 6;
                ASSERT_EQ(image.GetPixel8(x, y),
                          inside ? Reference(original, k, x, y) : original.GetPixel8(x, y));
            }
    }
}

TEST_F(ConvolutionPresetsTest, UniformImagesSinglePixelsAndOtherFormats) {
    const auto& presets = ConvolutionPresets();
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(5, 4, vl8g));
    image.Fill(77);
    Convolve3x3Gray8(image, presets[2], 0, 0, 5, 4);
    EXPECT_EQ(image.GetPixel8(0, 0), 0);
    EXPECT_EQ(image.GetPixel8(4, 3), 0);
    image.Fill(77);
    Convolve3x3Gray8(image, presets[3], 0, 0, 5, 4);
    EXPECT_EQ(image.GetPixel8(0, 3), 77);
    image.Fill(0);
    image.SetPixel8(2, 2, 255);
    Convolve3x3Gray8(image, presets[2], 0, 0, 5, 4);
    EXPECT_EQ(image.GetPixel8(2, 2), 255);
    EXPECT_EQ(image.GetPixel8(1, 1), 255);
    EXPECT_EQ(image.GetPixel8(3, 3), 255);
    EXPECT_EQ(image.GetPixel8(0, 0), 0);
    TVLBitmap colour;
    ASSERT_TRUE(colour.Allocate(3, 3, vl24RGB));
    colour.Fill(0x123456);
    Convolve3x3Gray8(colour, presets[2], 0, 0, 3, 3);
    EXPECT_EQ(colour.GetPixelRGB(1, 1), (TVLRGB{0x12, 0x34, 0x56}));
}

TEST(MatchHistogram, ItselfAsReferenceKeepsTheImageAndOthersTakeItsTones) {
    TVLBitmap image, original;
    ASSERT_TRUE(image.Allocate(64, 48, vl24RGB));
    std::mt19937 random(4);
    std::normal_distribution<double> tone(120, 40);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            auto v = [&] { return static_cast<uint8_t>(std::clamp(tone(random), 0.0, 255.0)); };
            image.SetPixelRGB(x, y, TVLRGB{v(), v(), v()});
        }
    original.Assign(&image);
    MatchHistogram(original, image);
    // The truncating equalisation merges the sparse levels of the tails, which the inverse
    // cannot part again; everywhere else the levels come back.
    double total = 0;
    int32_t far = 0;
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const TVLRGB a = image.GetPixelRGB(x, y), b = original.GetPixelRGB(x, y);
            for (int d : {a.r - b.r, a.g - b.g, a.b - b.b}) {
                total += std::abs(d);
                far += std::abs(d) > 2;
            }
        }
    EXPECT_LT(total / (64 * 48 * 3), 1.0);
    EXPECT_LT(far, 64 * 48 * 3 / 20);
    // A bright 48-bit target takes the dark reference's mean; its samples stay level x 257.
    TVLBitmap target;
    ASSERT_TRUE(target.Allocate(32, 32, vlRGB48));
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            const auto v = static_cast<uint16_t>((150 + (x * 7 + y * 3) % 100) * 257 + 100);
            target.SetPixelRGB48(x, y, TVLRGB48{v, v, v});
        }
    MatchHistogram(original, target);
    double mean = 0, referenceMean = 0;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            const TVLRGB48 p = target.GetPixelRGB48(x, y);
            ASSERT_EQ(p.r % 257, 0);
            mean += (p.r / 257) / 1024.0;
        }
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            referenceMean += original.GetPixelRGB(x, y).r / (64.0 * 48);
    EXPECT_NEAR(mean, referenceMean, 4);
    TVLBitmap grey;
    ASSERT_TRUE(grey.Allocate(3, 3, vl8g));
    grey.Fill(200);
    MatchHistogram(original, grey);
    EXPECT_EQ(grey.GetPixel8(1, 1), 200);
}

TEST(RoundAlphaCorners, CornersTurnTransparentSymmetrically) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(100, 100, vl24RGB));
    RoundAlphaCorners(image, 10, 10);
    TVLBitmap& alpha = *image.GetAlphaChannel();
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 99}, {99, 99}, {2, 2}, {97, 97}})
        EXPECT_EQ(alpha.GetPixel8(x, y), 0) << x << "," << y;
    for (auto [x, y] : {std::pair{50, 50}, {10, 10}, {89, 89}, {50, 0}, {0, 50}})
        EXPECT_EQ(alpha.GetPixel8(x, y), 255) << x << "," << y;
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 100; ++x)
            ASSERT_EQ(alpha.GetPixel8(x, y), alpha.GetPixel8(99 - x, y));
    EXPECT_FALSE(alpha.Full);
    // The rest of an existing alpha channel keeps its values; radius 0 does nothing.
    alpha.Fill(99);
    RoundAlphaCorners(image, 0, 10);
    EXPECT_EQ(alpha.GetPixel8(0, 0), 99);
    RoundAlphaCorners(image, 3, 3);
    EXPECT_EQ(alpha.GetPixel8(0, 0), 0);
    EXPECT_EQ(alpha.GetPixel8(50, 50), 99);
}

TEST(ReorderChannels, PermutationsOfBGROnly) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(3, 4, vl24RGB));
    image.Fill(0x030201); // red 1, green 2, blue 3
    std::vector<int32_t> reports;
    ReorderChannels(image, u"rgb", nullptr, [&](TObject*, int32_t P) { reports.push_back(P); });
    EXPECT_EQ(image.GetPixelRGB(2, 3), (TVLRGB{1, 2, 3}));
    EXPECT_EQ(reports, (std::vector<int32_t>{0, 25, 50, 75}));
    ReorderChannels(image, u"GbR");
    EXPECT_EQ(image.GetPixelRGB(0, 0), (TVLRGB{2, 1, 3}));
    for (const char16_t* bad : {u"BGX", u"BG", u"BBR", u"BGRR", u""}) {
        ReorderChannels(image, bad);
        EXPECT_EQ(image.GetPixelRGB(0, 0), (TVLRGB{2, 1, 3}));
    }
    TVLBitmap wide;
    ASSERT_TRUE(wide.Allocate(2, 1, vlRGB48));
    wide.SetPixelRGB48(0, 0, TVLRGB48{1, 2, 3});
    ReorderChannels(wide, u"RGB");
    EXPECT_EQ(wide.GetPixelRGB48(0, 0).r, 1);
}

TEST(MatchChannelHistogram, EmptyReferencesAndBadChannelsChangeNothing) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(4, 4, vl24RGB));
    image.Fill(0x405060);
    TVLHistogram reference{};
    reference[200] = 16;
    MatchChannelHistogram(image, 0, reference, 0);
    MatchChannelHistogram(image, 3, reference, 16);
    MatchChannelHistogram(image, -1, reference, 16);
    EXPECT_EQ(image.GetPixelRGB(1, 1), (TVLRGB{0x40, 0x50, 0x60}));
    MatchChannelHistogram(image, 0, reference, 16);
    EXPECT_EQ(image.GetPixelRGB(1, 1), (TVLRGB{200, 0x50, 0x60}));
}

TEST(RoundAlphaCorners, HugeRadiiStayBoundedByThePicture) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(30, 20, vl24RGB));
    RoundAlphaCorners(image, INT32_MAX / 2, INT32_MAX / 2);
    EXPECT_EQ(image.GetAlphaPixel(0, 0), 0);
    EXPECT_EQ(image.GetAlphaPixel(29, 19), 0);
}
