// Black-and-white reduction: ordered dither, thresholds, histogram, mean colour and the 1-bit
// class-library bitmap expansion.
#include "imaging/core/VLColorReduce.h"

#include "TempFolder.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"

#include <random>
#include <vector>

namespace {

using enum TVLPixelFormat;

TVLRGB Rgb(int R, int G, int B) {
    return {static_cast<uint8_t>(B), static_cast<uint8_t>(G), static_cast<uint8_t>(R)};
}

bool Bit(TVLBitmap& B, int32_t X, int32_t Y) {
    return GetRowBit(B.GetScanline(Y), X) != 0;
}

int32_t SetBits(TVLBitmap& B) {
    int32_t n = 0;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x)
            n += Bit(B, x, y) ? 1 : 0;
    return n;
}

std::unique_ptr<TVLBitmap> Uniform24(int32_t W, int32_t H, const TVLRGB& C) {
    auto b = std::make_unique<TVLBitmap>(W, H, vl24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            b->SetPixelRGB(x, y, C);
    return b;
}

// Grey levels per pixel in a vl8g bitmap.
template <typename LevelT> std::unique_ptr<TVLBitmap> Grey8(int32_t W, int32_t H, LevelT Level) {
    auto b = std::make_unique<TVLBitmap>(W, H, vl8g);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            b->SetPixel8(x, y, static_cast<uint8_t>(Level(x, y)));
    return b;
}

class ColorReduce : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        DefaultMinFileSize = int64_t{1} << 40;
    }
};

TEST_F(ColorReduce, OrderedDitherOfWhiteBlackAndMidGrey) {
    struct Case {
        TVLRGB Color;
        int32_t BitsPer64;
    };
    for (const Case c : {Case{Rgb(255, 255, 255), 64}, Case{Rgb(251, 253, 255), 64},
                         Case{Rgb(0, 0, 0), 0}, Case{Rgb(128, 128, 128), 32}}) {
        SCOPED_TRACE(int(c.Color.r));
        auto b = Uniform24(16, 8, c.Color);
        ConvertTo1BitOrdered(*b);
        ASSERT_EQ(b->GetPixelFormat(), vl1g);
        EXPECT_EQ(SetBits(*b), 2 * c.BitsPer64);
        if (c.BitsPer64 != 32) continue;
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 16; ++x)
                ASSERT_EQ(Bit(*b, x, y), OrderedDitherMatrix[x % 8][y] < 32);
    }
}

TEST_F(ColorReduce, BothDitherPathsAgree) {
    // A colour gradient with near-white corners: the conversion of the bitmap and the in-place
    // reduction must set the same bits.
    std::mt19937 random(7);
    auto image = std::make_unique<TVLBitmap>(37, 29, vl24RGB);
    for (int32_t y = 0; y < 29; ++y)
        for (int32_t x = 0; x < 37; ++x)
            image->SetPixelRGB(x, y,
                               Rgb(std::min(255, x * 7 + int(random() % 9)), 255 - y * 3,
                                   std::min(255, (x + y) * 4)));
    TVLBitmap converted(37, 29, vl1g);
    converted.DefaultDitherMethod = 0;
    converted.ConvertFrom(*image);
    ConvertTo1BitOrdered(*image);
    for (int32_t y = 0; y < 29; ++y)
        for (int32_t x = 0; x < 37; ++x)
            ASSERT_EQ(Bit(*image, x, y), Bit(converted, x, y)) << x << "," << y;
}

TEST_F(ColorReduce, InPlaceReductionsKeepAlphaReportProgressAndSkipOtherFormats) {
    for (int method : {0, 1}) {
        SCOPED_TRACE(method);
        auto b = Uniform24(5, 10, Rgb(200, 200, 200));
        b->SetAlphaPixel(2, 3, 44);
        std::vector<int32_t> reports;
        const TVLProgressEvent progress = [&](TObject*, int32_t percent) {
            reports.push_back(percent);
        };
        if (method == 0)
            ConvertTo1BitOrdered(*b, progress);
        else
            ConvertTo1BitThreshold(*b, 100, progress);
        EXPECT_EQ(b->GetPixelFormat(), vl1g);
        EXPECT_EQ(b->GetAlphaPixel(2, 3), 44);
        ASSERT_EQ(reports.size(), 10u);
        EXPECT_EQ(reports.front(), 9); // Trunc(1 x 100 / 10.5)
        EXPECT_EQ(reports.back(), 95); // Trunc(10 x 100 / 10.5)
    }
    TVLBitmap grey(4, 4, vl8g);
    ConvertTo1BitOrdered(grey);
    ConvertTo1BitThreshold(grey, 10);
    EXPECT_EQ(grey.GetPixelFormat(), vl8g);
}

TEST_F(ColorReduce, FixedThresholdsByFormat) {
    // 16-bit 0x7FFF has high byte 127: below 128.
    TVLBitmap words(2, 1, vl16g);
    words.SetPixel16(0, 0, 0x7FFF);
    words.SetPixel16(1, 0, 0x8000);
    TVLBitmap mono(2, 1, vl1g);
    ThresholdTo1Bit(words, mono, 128);
    EXPECT_FALSE(Bit(mono, 0, 0));
    EXPECT_TRUE(Bit(mono, 1, 0));

    // A palette image by its entries' grey levels.
    TVLBitmap indexed(2, 1, vl8p);
    indexed.SetPaletteColor(0, Rgb(255, 0, 0)); // grey 53
    indexed.SetPaletteColor(1, Rgb(0, 255, 0)); // grey 181
    indexed.SetPixel8(0, 0, 0);
    indexed.SetPixel8(1, 0, 1);
    ThresholdTo1Bit(indexed, mono, 54);
    EXPECT_FALSE(Bit(mono, 0, 0));
    EXPECT_TRUE(Bit(mono, 1, 0));

    // A destination of another size or format is left alone; a 1-bit source is copied.
    TVLBitmap wrong(3, 1, vl1g);
    wrong.Fill(0);
    ThresholdTo1Bit(words, wrong, 0);
    EXPECT_EQ(SetBits(wrong), 0);
    TVLBitmap ones(9, 2, vl1g);
    ones.Fill(1);
    TVLBitmap copy(1, 1, vl8g);
    ThresholdTo1Bit(ones, copy, 255);
    ASSERT_EQ(copy.GetPixelFormat(), vl1g);
    EXPECT_EQ(SetBits(copy), 18);
}

TEST_F(ColorReduce, MaximumEntropyThreshold) {
    TVLBitmap mono(8, 8, vl1g);
    // One level: everything is at the threshold, so everything is white.
    auto uniform = Grey8(8, 8, [](int32_t, int32_t) { return 90; });
    ThresholdTo1Bit(*uniform, mono, ThresholdMaximumEntropy);
    EXPECT_EQ(SetBits(mono), 64);

    // Two levels split into black and white, whichever is more frequent.
    for (int darkCount = 1; darkCount < 64; ++darkCount) {
        SCOPED_TRACE(darkCount);
        auto two =
            Grey8(8, 8, [&](int32_t x, int32_t y) { return y * 8 + x < darkCount ? 40 : 200; });
        ThresholdTo1Bit(*two, mono, ThresholdMaximumEntropy);
        EXPECT_EQ(SetBits(mono), 64 - darkCount);
        for (int32_t i = 0; i < 64; ++i)
            ASSERT_EQ(Bit(mono, i % 8, i / 8), i >= darkCount);
    }

    // Two flat clusters, levels 20 to 59 and 150 to 189: the threshold falls between them.
    const auto level = [](int32_t x, int32_t y) {
        const int32_t i = y * 80 + x;
        return i % 80 < 40 ? 20 + i % 40 : 150 + i % 40;
    };
    auto clusters = Grey8(80, 40, level);
    TVLBitmap split(80, 40, vl1g);
    ThresholdTo1Bit(*clusters, split, ThresholdMaximumEntropy);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 80; ++x)
            ASSERT_EQ(Bit(split, x, y), level(x, y) >= 150) << x << "," << y;
}

TEST_F(ColorReduce, MeanLuminanceThreshold) {
    // Levels 0, 100, 200, 250: mean 137.
    const int levels[4] = {0, 100, 200, 250};
    auto b = Grey8(4, 1, [&](int32_t x, int32_t) { return levels[x]; });
    TVLBitmap mono(4, 1, vl1g);
    ThresholdTo1Bit(*b, mono, ThresholdMeanLuminance);
    EXPECT_FALSE(Bit(mono, 1, 0));
    EXPECT_TRUE(Bit(mono, 2, 0));
    EXPECT_TRUE(Bit(mono, 3, 0));
}

TEST_F(ColorReduce, AverageColourAndHistogram) {
    auto row = Grey8(3, 1, [](int32_t x, int32_t) { return x == 2 ? 255 : 0; });
    int32_t r = 0, g = 0, b = 0;
    GetAverageColor(*row, r, g, b);
    EXPECT_EQ(r, 85);
    EXPECT_EQ(g, 85);
    EXPECT_EQ(b, 85);
    TVLBitmap empty;
    GetAverageColor(empty, r, g, b);
    EXPECT_EQ(r, 128);

    // Per-row means are truncated before the mean over the rows.
    auto rows = Uniform24(2, 2, Rgb(0, 0, 0));
    rows->SetPixelRGB(0, 0, Rgb(3, 5, 255));
    GetAverageColor(*rows, r, g, b);
    EXPECT_EQ(r, 0); // (3 div 2) div 2
    EXPECT_EQ(g, 1); // (5 div 2) div 2
    EXPECT_EQ(b, 63);

    std::array<int32_t, 256> histogram{};
    TVLBitmap bits(10, 1, vl1g);
    bits.Fill(0);
    SetRowBit(bits.GetScanline(0), 3, true);
    GrayHistogram(bits, histogram);
    EXPECT_EQ(histogram[0], 9);
    EXPECT_EQ(histogram[1], 1);
    auto colours = Uniform24(4, 1, Rgb(255, 0, 0));
    GrayHistogram(*colours, histogram);
    EXPECT_EQ(histogram[53], 4);
}

TEST(Convert1BitTBitmap, ExpandsBitsToWhiteAndBlack) {
    TBitmap source;
    source.SetPixelFormat(pf1bit);
    source.SetSize(10, 2);
    // An inverted colour table does not matter: set bits are white.
    const TRGBQuad inverted[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    source.SetColorTable(0, inverted, 2);
    static_cast<uint8_t*>(source.ScanLine(0))[0] = 0xC0;
    static_cast<uint8_t*>(source.ScanLine(0))[1] = 0x40;
    static_cast<uint8_t*>(source.ScanLine(1))[0] = 0xFF;
    static_cast<uint8_t*>(source.ScanLine(1))[1] = 0xFF;
    TBitmap dest;
    std::vector<int32_t> reports;
    Convert1BitTBitmapTo24Bit(source, dest, [&](TObject*, int32_t p) { reports.push_back(p); });
    ASSERT_EQ(dest.PixelFormat(), pf24bit);
    ASSERT_EQ(dest.Width(), 10);
    ASSERT_EQ(dest.Height(), 2);
    for (int32_t x = 0; x < 10; ++x) {
        const auto* p = static_cast<const uint8_t*>(dest.ScanLine(0)) + 3 * x;
        const uint8_t expected = (x == 0 || x == 1 || x == 9) ? 255 : 0;
        EXPECT_EQ(p[0], expected) << x;
        EXPECT_EQ(p[1], expected) << x;
        EXPECT_EQ(p[2], expected) << x;
        EXPECT_EQ(static_cast<const uint8_t*>(dest.ScanLine(1))[3 * x], 255);
    }
    EXPECT_EQ(reports, (std::vector<int32_t>{40, 80}));

    // Only a 1-bit source is expanded.
    TBitmap colour;
    colour.SetPixelFormat(pf24bit);
    colour.SetSize(3, 3);
    TBitmap untouched;
    Convert1BitTBitmapTo24Bit(colour, untouched);
    EXPECT_TRUE(untouched.Empty());
}

} // namespace

TEST(TryMakeTwoColorBitmap, DarkerColourBecomesBitZero) {
    using enum TVLPixelFormat;
    const TVLRGB black{0, 0, 0}, red{0, 0, 255}, white{255, 255, 255}, grey{128, 128, 128};
    struct TCase {
        const char* Name;
        std::vector<TVLRGB> Pixels; // 3 x 2, rows from the top
        bool Made;
        TVLRGB Color0, Color1;
        std::vector<int32_t> Bits;
    };
    const std::vector<TCase> cases = {
        {"red and black, red first",
         {red, black, black, red, red, black},
         true,
         black,
         red,
         {1, 0, 0, 1, 1, 0}},
        {"black and white",
         {black, white, white, black, white, white},
         true,
         black,
         white,
         {0, 1, 1, 0, 1, 1}},
        {"one colour", {grey, grey, grey, grey, grey, grey}, false, {}, {}, {}},
        {"three colours", {black, white, black, white, black, grey}, false, {}, {}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap bitmap(3, 2, vl24RGB);
        for (int32_t i = 0; i < 6; ++i)
            bitmap.SetPixelRGB(i % 3, i / 3, c.Pixels[i]);
        TVLRGB color0{1, 2, 3}, color1{4, 5, 6};
        const auto result = TryMakeTwoColorBitmap(bitmap, color0, color1);
        ASSERT_EQ(result != nullptr, c.Made);
        if (!c.Made) continue;
        EXPECT_EQ(result->GetPixelFormat(), vl1g);
        EXPECT_EQ(color0, c.Color0);
        EXPECT_EQ(color1, c.Color1);
        for (int32_t i = 0; i < 6; ++i)
            EXPECT_EQ(GetRowBit(result->GetScanline(i / 3), i % 3) != 0, c.Bits[i] != 0) << i;
    }
}

TEST(InvertBitmapBits, InvertsEveryRowByte) {
    TVLBitmap bitmap(13, 3, TVLPixelFormat::vl1g);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t i = 0; i < bitmap.GetRowLen(); ++i)
            bitmap.GetScanline(y)[i] = uint8_t(y * 50 + i);
    InvertBitmapBits(bitmap);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t i = 0; i < bitmap.GetRowLen(); ++i)
            EXPECT_EQ(bitmap.GetScanline(y)[i], uint8_t(~(y * 50 + i)));
}

TEST(InvertBytes, InvertsExactlyCountBytesFromAnyStart) {
    struct TCase {
        size_t Offset;
        int32_t Count;
        size_t Inverted; // bytes changed, from Offset on
    };
    // Odd starts and lengths, a single byte, and counts that change nothing at all.
    const TCase cases[] = {{0, 16, 16}, {1, 7, 7}, {3, 1, 1}, {5, 0, 0}, {2, -1, 0}, {0, -9, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Offset << " " << c.Count);
        std::vector<uint8_t> bytes(24);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 37 + 5);
        const std::vector<uint8_t> before = bytes;
        InvertBytes(bytes.data() + c.Offset, c.Count);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const bool inside = i >= c.Offset && i < c.Offset + c.Inverted;
            EXPECT_EQ(bytes[i], inside ? uint8_t(~before[i]) : before[i]) << i;
        }
        InvertBytes(bytes.data() + c.Offset, c.Count);
        EXPECT_EQ(bytes, before) << "inverting twice gives the bytes back";
    }
    InvertBytes(nullptr, 0);
}

TEST(NearestPaletteIndex, TakesTheFirstOfTheNearestEntries) {
    const TVLRGB palette[] = {{0, 0, 0}, {10, 200, 30}, {10, 200, 30}, {255, 255, 255}};
    // Packed red shl 16, green shl 8, blue.
    EXPECT_EQ(NearestPaletteIndex(palette, 4, (30 << 16) | (200 << 8) | 10), 1);
    EXPECT_EQ(NearestPaletteIndex(palette, 4, (25 << 16) | (190 << 8) | 12), 1);
    EXPECT_EQ(NearestPaletteIndex(palette, 4, 0xF0F0F0), 3);
    EXPECT_EQ(NearestPaletteIndex(palette, 1, 0xFFFFFF), 0);
    EXPECT_EQ(NearestPaletteIndex(palette, 0, 0xFFFFFF), 0);
}
