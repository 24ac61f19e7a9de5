// Colour quantizers: exact sets, grey ramps, own palettes, median cut and the neural network.
#include "imaging/core/VLQuantizer.h"

#include "TempFolder.h"
#include "imaging/core/VLBitmap.h"

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

namespace {

using enum TVLPixelFormat;

TVLRGB Rgb(uint8_t R, uint8_t G, uint8_t B) {
    return {B, G, R};
}

uint32_t Pack(const TVLRGB& C) {
    return (C.r << 16) | (C.g << 8) | C.b;
}

// A vl24RGB bitmap whose pixel (x, y) is Color(x, y).
template <typename ColorT>
std::unique_ptr<TVLBitmap> Make24(int32_t Width, int32_t Height, ColorT Color) {
    auto b = std::make_unique<TVLBitmap>(Width, Height, vl24RGB);
    for (int32_t y = 0; y < Height; ++y) {
        auto* row = reinterpret_cast<TVLRGB*>(b->GetScanline(y));
        for (int32_t x = 0; x < Width; ++x)
            row[x] = Color(x, y);
    }
    return b;
}

// Smooth gradients, soft shapes and a little seeded noise: many distinct colours that cluster
// the way a photograph's do.
std::unique_ptr<TVLBitmap> MakePhotoLike(int32_t Width, int32_t Height) {
    std::mt19937 random(1234);
    std::normal_distribution<double> noise(0, 4);
    std::vector<TVLRGB> pixels(static_cast<size_t>(Width) * Height);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            const double u = static_cast<double>(x) / Width;
            const double v = static_cast<double>(y) / Height;
            const double sky = v < 0.45 ? 1 : 0;
            const double disc = std::hypot(u - 0.7, v - 0.3) < 0.15 ? 1 : 0;
            double r = sky * (90 + 80 * v) + (1 - sky) * (60 + 90 * u + 30 * std::sin(9 * u));
            double g = sky * (140 + 70 * v) + (1 - sky) * (110 + 60 * std::cos(7 * v + u));
            double b = sky * (220 - 40 * v) + (1 - sky) * (40 + 30 * u);
            r = disc * 250 + (1 - disc) * r;
            g = disc * 220 + (1 - disc) * g;
            b = disc * 120 + (1 - disc) * b;
            const auto channel = [&](double value) {
                return static_cast<uint8_t>(std::clamp(value + noise(random), 0.0, 255.0));
            };
            pixels[static_cast<size_t>(y) * Width + x] = Rgb(channel(r), channel(g), channel(b));
        }
    return Make24(Width, Height,
                  [&](int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * Width + x]; });
}

struct TQuality {
    size_t DistinctColors = 0;
    double MeanError = 0; // mean over pixels of the summed absolute channel differences
};

// Maps every pixel through the quantizer's palette and measures the result. The row mapping
// must give the pixel mapping's indexes.
TQuality Measure(TVLBitmap& Image, const TVLQuantizer& Quantizer,
                 const std::vector<TVLRGB>& Palette) {
    std::set<uint32_t> used;
    double error = 0;
    std::vector<uint8_t> indexes(Image.GetWidth());
    for (int32_t y = 0; y < Image.GetHeight(); ++y) {
        const auto* row = reinterpret_cast<const TVLRGB*>(Image.GetScanline(y));
        Quantizer.RGBRowToIndexes(row, indexes.data(), Image.GetWidth());
        for (int32_t x = 0; x < Image.GetWidth(); ++x) {
            const int32_t index = Quantizer.RGBToIndex(row[x]);
            EXPECT_EQ(indexes[x], index);
            EXPECT_GE(index, 0);
            EXPECT_LT(index, static_cast<int32_t>(Palette.size()));
            if (index < 0 || index >= static_cast<int32_t>(Palette.size())) return {};
            const TVLRGB& p = Palette[index];
            used.insert(Pack(p));
            error += std::abs(p.r - row[x].r) + std::abs(p.g - row[x].g) + std::abs(p.b - row[x].b);
        }
    }
    return {used.size(), error / (static_cast<double>(Image.GetWidth()) * Image.GetHeight())};
}

// The error of the uniform 6 x 6 x 6 palette (216 colours): a quantizer that looks at the image
// must do better than one that does not.
double UniformPaletteError(TVLBitmap& Image) {
    double error = 0;
    const auto nearest = [](int v) { return (v + 25) / 51 * 51; };
    for (int32_t y = 0; y < Image.GetHeight(); ++y) {
        const auto* row = reinterpret_cast<const TVLRGB*>(Image.GetScanline(y));
        for (int32_t x = 0; x < Image.GetWidth(); ++x)
            error += std::abs(nearest(row[x].r) - row[x].r) +
                     std::abs(nearest(row[x].g) - row[x].g) +
                     std::abs(nearest(row[x].b) - row[x].b);
    }
    return error / (static_cast<double>(Image.GetWidth()) * Image.GetHeight());
}

class VLQuantizerTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        DefaultMinFileSize = int64_t{1} << 40;
    }
    void TearDown() override {
        QuantizerMethod = -1;
        QuantizerQuality = -1;
        TempFolderTest::TearDown();
    }
};

TEST_F(VLQuantizerTest, FewColoursGiveTheExactSetInScanOrder) {
    const TVLRGB colors[5] = {Rgb(10, 20, 30), Rgb(200, 0, 0), Rgb(0, 200, 0), Rgb(1, 2, 3),
                              Rgb(255, 255, 0)};
    // Scan order: row 0 holds colours 0 and 1, row 1 colours 2, 0, 3, row 2 colour 4.
    const int order[3][4] = {{0, 0, 1, 1}, {2, 0, 3, 3}, {4, 4, 4, 1}};
    auto image = Make24(4, 3, [&](int32_t x, int32_t y) { return colors[order[y][x]]; });
    std::vector<TVLRGB> palette(16, Rgb(7, 7, 7));
    TVLQuantizer quantizer(*image, palette, 16);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(palette[i], colors[i]);
        EXPECT_EQ(quantizer.RGBToIndex(colors[i]), i);
    }
    EXPECT_EQ(palette[5], Rgb(7, 7, 7)) << "entries beyond the colours stay as they were";
    // A colour not in the image maps to the nearest one instead of an invalid index.
    EXPECT_EQ(quantizer.RGBToIndex(Rgb(250, 250, 10)), 4);
}

TEST_F(VLQuantizerTest, TwoColoursQuantizedToTwoStayExactWhateverTheMethod) {
    for (int method : {-1, 0, 1}) {
        SCOPED_TRACE(method);
        QuantizerMethod = method;
        auto image = Make24(9, 7, [](int32_t x, int32_t y) {
            return (x * y) % 3 == 0 ? Rgb(200, 30, 40) : Rgb(20, 60, 220);
        });
        std::vector<TVLRGB> palette(2);
        TVLQuantizer quantizer(*image, palette, 2);
        const TQuality q = Measure(*image, quantizer, palette);
        EXPECT_EQ(q.DistinctColors, 2u);
        EXPECT_EQ(q.MeanError, 0);
    }
}

TEST_F(VLQuantizerTest, GreyRampReachesWhiteAndIndexesTheNearestLevel) {
    for (int32_t levels : {2, 3, 16, 256}) {
        SCOPED_TRACE(levels);
        auto image = Make24(256, 1, [](int32_t x, int32_t) {
            const auto v = static_cast<uint8_t>(x);
            return Rgb(v, v, v);
        });
        std::vector<TVLRGB> palette(levels);
        TVLQuantizer quantizer(*image, palette, levels);
        ASSERT_TRUE(quantizer.GetIsGray());
        EXPECT_EQ(palette.front(), Rgb(0, 0, 0));
        EXPECT_EQ(palette.back(), Rgb(255, 255, 255));
        for (int v = 0; v < 256; ++v) {
            const int32_t index = quantizer.RGBToIndex(Rgb(v, v, v));
            ASSERT_GE(index, 0);
            ASSERT_LT(index, levels);
            // No other ramp entry is nearer to v.
            const int distance = std::abs(palette[index].r - v);
            for (const TVLRGB& p : palette)
                ASSERT_LE(distance, std::abs(p.r - v)) << "level " << v;
        }
    }
    std::vector<TVLRGB> palette(16);
    auto grey =
        Make24(2, 2, [](int32_t x, int32_t) { return x ? Rgb(200, 200, 200) : Rgb(0, 0, 0); });
    TVLQuantizer sixteen(*grey, palette, 16);
    EXPECT_EQ(palette[1], Rgb(17, 17, 17));
    EXPECT_EQ(sixteen.RGBToIndex(Rgb(200, 200, 200)), 12);
}

TEST_F(VLQuantizerTest, PaletteImageUsesItsOwnPaletteLookedUp) {
    // A grey palette in descending order: a ramp index would point at the wrong entry.
    TVLBitmap image(4, 1, vl8p);
    for (int32_t i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(255 - i);
        image.SetPaletteColor(i, Rgb(v, v, v));
    }
    std::vector<TVLRGB> palette(256);
    TVLQuantizer quantizer(image, palette, 256);
    EXPECT_EQ(palette[0], Rgb(255, 255, 255));
    EXPECT_EQ(palette[255], Rgb(0, 0, 0));
    EXPECT_EQ(quantizer.RGBToIndex(Rgb(255, 255, 255)), 0);
    EXPECT_EQ(quantizer.RGBToIndex(Rgb(40, 40, 40)), 215);

    // A colour palette: absent colours take the nearest entry, within the palette.
    TVLBitmap colored(2, 1, vl8p);
    colored.SetPaletteColor(0, Rgb(255, 0, 0));
    colored.SetPaletteColor(1, Rgb(0, 0, 255));
    std::vector<TVLRGB> two(2);
    TVLQuantizer small(colored, two, 2);
    EXPECT_EQ(two[1], Rgb(0, 0, 255));
    EXPECT_EQ(small.RGBToIndex(Rgb(0, 0, 255)), 1);
    EXPECT_EQ(small.RGBToIndex(Rgb(10, 0, 200)), 1);
}

TEST_F(VLQuantizerTest, MethodFollowsTheSettingAndTheColourCount) {
    auto image = MakePhotoLike(64, 48);
    std::vector<TVLRGB> palette(256);
    struct Case {
        int32_t Setting;
        int32_t Colors;
        int32_t Method;
    };
    for (const Case c : {Case{-1, 64, 1}, Case{-1, 127, 1}, Case{-1, 128, 0}, Case{-1, 256, 0},
                         Case{0, 16, 0}, Case{1, 256, 1}, Case{7, 16, 1}}) {
        SCOPED_TRACE(std::to_string(c.Setting) + " / " + std::to_string(c.Colors));
        QuantizerMethod = c.Setting;
        TVLQuantizer quantizer(*image, palette, c.Colors);
        EXPECT_EQ(quantizer.GetMethod(), c.Method);
    }
}

TEST_F(VLQuantizerTest, PhotoLikeImageKeepsItsColoursCloseWithBothReducers) {
    auto image = MakePhotoLike(160, 120);
    const double uniform = UniformPaletteError(*image);
    struct Case {
        int32_t Method;
        int32_t Colors;
        double MaxError;
    };
    // On this image ImageMagick's quantizer (convert +dither -colors N) errs by 19.4, 11.6 and
    // 7.2 for 16, 64 and 256 colours. The box splitter's palette sits at the low corner of its
    // 5-bit cells, which costs it about 10 at any count.
    for (const Case c : {Case{1, 16, 21}, Case{1, 64, 16}, Case{1, 256, 13.5}, Case{0, 16, 20},
                         Case{0, 64, 12}, Case{0, 256, 9.5}}) {
        SCOPED_TRACE(std::to_string(c.Method) + " / " + std::to_string(c.Colors));
        QuantizerMethod = c.Method;
        std::vector<TVLRGB> palette(c.Colors);
        TVLQuantizer quantizer(*image, palette, c.Colors);
        ASSERT_EQ(quantizer.GetMethod(), c.Method);
        const TQuality q = Measure(*image, quantizer, palette);
        EXPECT_LE(q.DistinctColors, static_cast<size_t>(c.Colors));
        EXPECT_GE(q.DistinctColors, static_cast<size_t>(c.Colors) * 3 / 4);
        EXPECT_LT(q.MeanError, c.MaxError);
        if (c.Colors >= 64) {
            EXPECT_LT(q.MeanError, uniform);
        }
    }
}

// The network maps every colour to a palette entry at the least distance (sum of channel
// differences) from it: noise that never repeats a colour, colours far from the picture's, and
// every colour asked for twice (the second time from the cell built by the first), for a small
// and a full palette.
TEST_F(VLQuantizerTest, TheNetworkMapsEveryColourToANearestEntry) {
    std::mt19937 random(77);
    const auto noisy = [&](int32_t, int32_t) {
        return Rgb(static_cast<uint8_t>(random()), static_cast<uint8_t>(random() % 128),
                   static_cast<uint8_t>(random()));
    };
    auto image = Make24(150, 100, noisy);
    for (const int32_t colors : {32, 256}) {
        SCOPED_TRACE(colors);
        QuantizerMethod = 0;
        std::vector<TVLRGB> palette(colors);
        TVLQuantizer quantizer(*image, palette, colors);
        QuantizerMethod = -1;
        ASSERT_EQ(quantizer.GetMethod(), 0);
        const auto distance = [](const TVLRGB& A, const TVLRGB& B) {
            return std::abs(A.r - B.r) + std::abs(A.g - B.g) + std::abs(A.b - B.b);
        };
        std::vector<TVLRGB> asked(4000);
        for (TVLRGB& c : asked)
            c = Rgb(static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                    static_cast<uint8_t>(random()));
        for (int pass = 0; pass < 2; ++pass)
            for (const TVLRGB& c : asked) {
                int32_t least = INT32_MAX;
                for (const TVLRGB& entry : palette)
                    least = std::min(least, distance(entry, c));
                const int32_t index = quantizer.RGBToIndex(c);
                ASSERT_GE(index, 0);
                ASSERT_LT(index, colors);
                ASSERT_EQ(distance(palette[index], c), least)
                    << "colour " << Pack(c) << ", pass " << pass;
            }
    }
}

TEST_F(VLQuantizerTest, FileLocatedImageQuantizesLikeAMemoryOne) {
    auto memory = MakePhotoLike(80, 60);
    DefaultMinFileSize = 0;
    auto file = MakePhotoLike(80, 60);
    ASSERT_EQ(file->GetLocation(), TVLLocation::vlFile);
    for (int method : {0, 1}) {
        SCOPED_TRACE(method);
        QuantizerMethod = method;
        std::vector<TVLRGB> a(64), b(64);
        TVLQuantizer qa(*memory, a, 64);
        TVLQuantizer qb(*file, b, 64);
        EXPECT_EQ(a, b);
        for (int v = 0; v < 256; v += 5)
            EXPECT_EQ(qa.RGBToIndex(Rgb(v, 255 - v, v / 2)), qb.RGBToIndex(Rgb(v, 255 - v, v / 2)));
    }
}

TEST_F(VLQuantizerTest, MedianCutOfOneColourIsOneBoxAtFiveBits) {
    auto image = Make24(5, 5, [](int32_t, int32_t) { return Rgb(13, 77, 201); });
    std::vector<TVLRGB> palette(8, Rgb(1, 1, 1));
    TVLMedianCut cut(*image, palette, 8);
    EXPECT_EQ(cut.GetBoxCount(), 1);
    EXPECT_EQ(palette[0], Rgb(8, 72, 200));
    EXPECT_EQ(palette[1], Rgb(1, 1, 1));
    EXPECT_EQ(cut.Index(Rgb(13, 77, 201)), 0);
}

TEST_F(VLQuantizerTest, ManyBoxesStayInsideTheirTables) {
    // More distinct 5-bit cells than boxes asked for, and more boxes than 256.
    auto image = Make24(128, 128, [](int32_t x, int32_t y) {
        return Rgb(static_cast<uint8_t>(x * 2), static_cast<uint8_t>(y * 2),
                   static_cast<uint8_t>((x * 7 + y * 13) & 255));
    });
    std::vector<TVLRGB> palette(1024);
    TVLMedianCut cut(*image, palette, 1024);
    EXPECT_GT(cut.GetBoxCount(), 256);
    EXPECT_LE(cut.GetBoxCount(), 1024);
    int32_t largest = 0;
    for (int32_t y = 0; y < 128; ++y)
        for (int32_t x = 0; x < 128; ++x)
            largest = std::max(largest, cut.Index(image->GetPixelRGB(x, y)));
    EXPECT_GT(largest, 255) << "indexes above 255 survive the map";
    EXPECT_LT(largest, cut.GetBoxCount());

    // A quantizer asked for more colours than its palette holds keeps within the palette.
    QuantizerMethod = 1;
    std::vector<TVLRGB> small(256);
    TVLQuantizer quantizer(*image, small, 1024);
    EXPECT_EQ(quantizer.GetNumColors(), 256);
    for (int32_t y = 0; y < 128; y += 3)
        for (int32_t x = 0; x < 128; x += 3)
            ASSERT_LT(quantizer.RGBToIndex(image->GetPixelRGB(x, y)), 256);
}

TEST_F(VLQuantizerTest, SamplingFollowsSizeAndQuality) {
    auto small = MakePhotoLike(40, 25); // 1,000 pixels
    std::vector<TVLRGB> palette(256);
    EXPECT_EQ(TVLNeuralNet(*small, palette, -1, 256).GetSampleFactor(), 1);
    EXPECT_EQ(TVLNeuralNet(*small, palette, 100, 256).GetSampleFactor(), 1);
    EXPECT_EQ(TVLNeuralNet(*small, palette, 0, 256).GetSampleFactor(), 30);
    EXPECT_EQ(TVLNeuralNet(*small, palette, 50, 256).GetSampleFactor(), 15);
    EXPECT_EQ(AutoSampleFactor(1999), 1);
    EXPECT_EQ(AutoSampleFactor(150000), 15);
    EXPECT_EQ(AutoSampleFactor(12000000), 30);
}

TEST_F(VLQuantizerTest, NothingAskedNothingChosen) {
    auto image = MakePhotoLike(16, 16);
    std::vector<TVLRGB> palette(4, Rgb(9, 9, 9));
    TVLQuantizer none(*image, std::span<TVLRGB>(palette.data(), 0), 16);
    EXPECT_EQ(none.RGBToIndex(Rgb(1, 2, 3)), 0);
    TVLQuantizer zero(*image, palette, 0);
    EXPECT_EQ(zero.RGBToIndex(Rgb(1, 2, 3)), 0);
    EXPECT_EQ(palette[0], Rgb(9, 9, 9));
    TVLBitmap empty;
    TVLQuantizer emptyImage(empty, palette, 4);
    EXPECT_EQ(emptyImage.RGBToIndex(Rgb(1, 2, 3)), 0);
}

} // namespace
