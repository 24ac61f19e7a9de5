// Development of camera-raw data: the four-colour matrix, the balances, the whole chain from a
// mosaic to 8-bit and 16-bit RGB against the numpy model of raw_colour_model.py, the output
// options (half size, repeated rows, empty histogram) and the Fuji re-gridding.
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/cameraraw/VLCameraRaw.h"
#include "imaging/formats/cameraraw/VLRawColour.h"
#include "imaging/formats/cameraraw/VLRawLoaders.h"
#include "imaging/io/VLIOParams.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;
using enum TVLPixelFormat;

const char* const Python = "/usr/bin/python3";
constexpr uint32_t Bayer = 0x94949494;

// A smooth picture seen through the Bayer pattern, black level added.
std::vector<uint16_t> Mosaic(int32_t Width, int32_t Height, int32_t Black) {
    std::vector<uint16_t> m(size_t(Width) * Height);
    for (int32_t r = 0; r < Height; ++r)
        for (int32_t c = 0; c < Width; ++c) {
            const int32_t rgb[3] = {400 + 30 * c, 600 + 20 * r + 10 * c, 900 - 15 * c + 25 * r};
            m[size_t(r) * Width + c] = static_cast<uint16_t>(rgb[FilterColor(Bayer, r, c)] + Black);
        }
    return m;
}

// A context holding a mosaic as big-endian 16-bit rows, with the unpacked loader.
struct TDevelop {
    std::unique_ptr<TVLCameraRawContext> Context = std::make_unique<TVLCameraRawContext>();
    TBytes Data;
    std::unique_ptr<TVLMemStream> Stream;
    bool Aborting = false;
    TIOParamsVals Params;
    TVLBitmap Bitmap;

    TDevelop(int32_t Width, int32_t Height, const std::vector<uint16_t>& Mosaic) {
        for (uint16_t v : Mosaic) {
            Data.push_back(static_cast<uint8_t>(v >> 8));
            Data.push_back(static_cast<uint8_t>(v));
        }
        Stream = std::make_unique<TVLMemStream>(Data.data(), static_cast<int64_t>(Data.size()));
        TVLCameraRawContext& c = *Context;
        c.Stream = Stream.get();
        std::strcpy(c.Make, "Test");
        std::strcpy(c.Model, "Mosaic");
        c.Width = c.RawWidth = Width;
        c.Height = c.RawHeight = Height;
        c.Filters = Bayer;
        c.Maximum = 4095;
        c.LoadRaw = unpacked16_be_load_raw;
        c.Progress.AbortFlag = &Aborting;
    }

    void Run(bool ParamsOnly = false) { DevelopCameraRaw(*Context, Bitmap, Params, ParamsOnly); }
};

TEST(RawColour, FourColourMatrixRowsSumToOne) {
    TVLCameraRawContext c;
    cmyg_coefficients(c);
    EXPECT_TRUE(c.UseCoeff);
    for (const auto& row : c.Coeff) EXPECT_NEAR(row[0] + row[1] + row[2] + row[3], 1.0, 1e-5);
    // A four-colour sensor without a matrix gets this one at the end of the set-up.
    TVLCameraRawContext four;
    four.Colors = 4;
    four.RedScale = 2;
    finish_colour_setup(four);
    EXPECT_TRUE(four.UseCoeff);
    EXPECT_NEAR(four.Coeff[0][0], 2 * c.Coeff[0][0], 1e-5);
}

TEST(RawColour, FourColourRGBSplitsTheSecondGreen) {
    TVLCameraRawContext c;
    c.Filters = Bayer;
    c.FourColorRGB = true;
    c.PreMul[1] = 1.25f;
    coeff_dsc_f828(c);
    const float g = c.Coeff[1][1];
    finish_colour_setup(c);
    EXPECT_EQ(c.Filters, 0xB4B4B4B4u);
    EXPECT_EQ(c.Colors, 4);
    EXPECT_EQ(c.PreMul[3], 1.25f);
    EXPECT_FLOAT_EQ(c.Coeff[1][1], g / 2);
    EXPECT_FLOAT_EQ(c.Coeff[1][3], g / 2);
    TVLCameraRawContext swapped;
    swapped.Filters = 0x61616161;
    swapped.FourColorRGB = true;
    finish_colour_setup(swapped);
    EXPECT_EQ(swapped.Filters, 0xE1E1E1E1u);
}

// A 2 x 2 buffer of one Bayer quad, black 10, white level 1000.
struct TScale {
    TVLCameraRawContext C;
    TScale(uint16_t R, uint16_t G1, uint16_t G2, uint16_t B) {
        C.Filters = Bayer;
        C.Height = C.Width = C.IHeight = C.IWidth = 2;
        C.Black = 10;
        C.Maximum = 1010;
        C.Image = std::make_unique<TVLRawCell[]>(4);
        const uint16_t v[4] = {R, G1, G2, B};
        for (int32_t i = 0; i < 4; ++i) StoreRawSample(C, i / 2, i % 2, v[i]);
    }
    uint16_t At(int32_t Row, int32_t Col) {
        return C.Image[Row * 2 + Col][FilterColor(C.Filters, Row, Col)];
    }
};

TEST(RawColour, ScalingAndBalances) {
    // Camera table multipliers, red and blue scales, zero samples untouched, clipping.
    {
        TScale s(110, 0, 510, 2000);
        s.C.PreMul[0] = 2;
        s.C.RedScale = 1.5f;
        scale_channels(s.C);
        EXPECT_EQ(s.C.Maximum, 1000);
        EXPECT_EQ(s.At(0, 0), 300);  // (110 - 10) x 2 x 1.5
        EXPECT_EQ(s.At(0, 1) + s.At(1, 0), 500);
        EXPECT_EQ(s.At(1, 1), 1000);
    }
    // Automatic balance: top average / each average; samples near white do not count.
    {
        TScale s(110, 210, 210, 60);
        s.C.AutoWB = true;
        scale_channels(s.C);
        EXPECT_FLOAT_EQ(s.C.PreMul[0], 2.0f);
        EXPECT_FLOAT_EQ(s.C.PreMul[1], 1.0f);
        EXPECT_FLOAT_EQ(s.C.PreMul[2], 4.0f);
    }
    {
        // Blue is all near white: it keeps its multiplier.
        TScale s(110, 210, 210, 1005);
        s.C.CameraWB = true;
        s.C.CameraRed = -1;
        s.C.PreMul[2] = 3;
        scale_channels(s.C);
        EXPECT_FLOAT_EQ(s.C.PreMul[0], 2.0f);
        EXPECT_FLOAT_EQ(s.C.PreMul[2], 3.0f);
    }
    // Camera balance from the white block; without it, the camera's recorded gains.
    {
        TScale s(100, 100, 100, 100);
        s.C.CameraWB = true;
        for (int32_t r = 0; r < 8; ++r)
            for (int32_t c = 0; c < 8; ++c)
                s.C.White[r][c] = static_cast<uint16_t>(
                    10 + (FilterColor(Bayer, r, c) == 0 ? 100 : FilterColor(Bayer, r, c) == 2 ? 50 : 200));
        scale_channels(s.C);
        EXPECT_FLOAT_EQ(s.C.PreMul[0], 2.0f);
        EXPECT_FLOAT_EQ(s.C.PreMul[2], 4.0f);
        TScale z(100, 100, 100, 100);
        z.C.CameraWB = true;
        z.C.CameraRed = 1.75f;
        z.C.CameraBlue = 1.5f;
        scale_channels(z.C);
        EXPECT_FLOAT_EQ(z.C.PreMul[0], 1.75f);
        EXPECT_FLOAT_EQ(z.C.PreMul[2], 1.5f);
    }
    // A black level above the white level leaves a white level of 1.
    {
        TScale s(5000, 5000, 5000, 5000);
        s.C.Black = 3000;
        scale_channels(s.C);
        EXPECT_EQ(s.C.Maximum, 1);
        EXPECT_EQ(s.At(0, 0), 1);
    }
}

TEST(RawColour, ConversionAndMagnitude) {
    TVLCameraRawContext c;
    c.Width = c.Height = 1;
    c.Maximum = 65535;
    c.Image = std::make_unique<TVLRawCell[]>(1);
    c.Image[0] = {65535, 65535, 65535, 0};
    colors_to_rgb(c);
    EXPECT_EQ(c.Image[0][3], 56754);  // sqrt(3) x 65535 / 2, the largest magnitude there is
    EXPECT_EQ(c.Histogram[56754 >> 3], 1u);
    c.IsCMY = true;
    c.Image[0] = {100, 50, 30, 0};
    colors_to_rgb(c);
    EXPECT_EQ(c.Image[0][0], 120);
    EXPECT_EQ(c.Image[0][1], 0);
    EXPECT_EQ(c.Image[0][2], 80);
}

class RawDevelop : public testing::TestWithParam<bool> {};

// The whole chain against the numpy model, 8-bit and 16-bit output.
TEST_P(RawDevelop, MatchesTheModel) {
    const bool wide = GetParam();
    const int32_t width = 24, height = 18, black = 64;
    const std::vector<uint16_t> mosaic = Mosaic(width, height, black);
    TDevelop d(width, height, mosaic);
    d.Context->Black = black;
    d.Context->PreMul[0] = 2.0f;
    d.Context->PreMul[2] = 1.5f;
    d.Params.NativePixelFormat = wide;
    d.Run();
    ASSERT_FALSE(d.Aborting);
    EXPECT_EQ(d.Params.Width, width - 2);
    EXPECT_EQ(d.Params.Height, height - 2);
    EXPECT_EQ(d.Params.RawCamera, "Test Mosaic ");
    ASSERT_EQ(d.Bitmap.GetWidth(), width - 2);
    ASSERT_EQ(d.Bitmap.GetHeight(), height - 2);
    ASSERT_EQ(d.Bitmap.GetPixelFormat(), wide ? vlRGB48 : vl24RGB);

    const auto in = UniqueTempPath("mosaic");
    const auto out = UniqueTempPath("model");
    {
        std::ofstream f(in, std::ios::binary);
        for (uint16_t v : mosaic) f << char(v & 255) << char(v >> 8);
    }
    const std::string command = std::string(Python) + " '" + SV_TESTS_DIR +
                                "/imaging/formats/cameraraw/raw_colour_model.py' '" + in.string() +
                                "' 24 18 " + std::to_string(Bayer) + " 64 4095 2 1 1.5 0.6 1 0.01 " +
                                (wide ? "1 '" : "0 '") + out.string() + "'";
    std::string ignored;
    const bool modelled = RunTool(command, ignored);
    std::ifstream f(out, std::ios::binary);
    const TBytes model((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    if (!modelled) SV_SKIP_WITHOUT_REFERENCE("python3 with numpy");
    const int32_t bytes = wide ? 2 : 1;
    ASSERT_EQ(model.size(), size_t(width - 2) * (height - 2) * 3 * bytes);
    int32_t worst = 0;
    int64_t sum = 0;
    for (int32_t y = 0; y < height - 2; ++y) {
        const uint8_t* row = d.Bitmap.GetScanline(y);
        for (int32_t x = 0; x < width - 2; ++x)
            for (int32_t c = 0; c < 3; ++c) {
                const size_t k = (size_t(y) * (width - 2) + x) * 3 + c;
                const int32_t want = wide ? model[k * 2] | model[k * 2 + 1] << 8 : model[k];
                // 24-bit rows are blue, green, red; 48-bit rows red, green, blue.
                const int32_t got = wide ? reinterpret_cast<const uint16_t*>(row)[x * 3 + c]
                                         : row[x * 3 + 2 - c];
                worst = std::max(worst, std::abs(got - want));
                sum += got;
            }
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(sum, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, RawDevelop, testing::Bool());

TEST(RawDevelopOptions, OutputShapes) {
    const int32_t width = 12, height = 10;
    const std::vector<uint16_t> mosaic = Mosaic(width, height, 0);
    // Half size: one cell a Bayer quad, no border trimmed; Params keep the full size minus 2.
    {
        TDevelop d(width, height, mosaic);
        d.Params.RawHalfSize = true;
        d.Run();
        EXPECT_EQ(d.Bitmap.GetWidth(), 6);
        EXPECT_EQ(d.Bitmap.GetHeight(), 5);
        EXPECT_EQ(d.Params.Width, width - 2);
        EXPECT_EQ(d.Params.BitsPerSample, 8);
    }
    // Repeated rows.
    {
        TDevelop d(width, height, mosaic);
        d.Context->YMag = 2;
        d.Run();
        ASSERT_EQ(d.Bitmap.GetHeight(), (height - 2) * 2);
        for (int32_t y = 0; y < height - 2; ++y)
            EXPECT_EQ(std::memcmp(d.Bitmap.GetScanline(2 * y), d.Bitmap.GetScanline(2 * y + 1),
                                  size_t(width - 2) * 3),
                      0);
    }
    // No light at all: the white point becomes 1 and the picture stays black.
    {
        TDevelop d(width, height, std::vector<uint16_t>(size_t(width) * height, 0));
        d.Run();
        ASSERT_FALSE(d.Aborting);
        for (int32_t y = 0; y < d.Bitmap.GetHeight(); ++y)
            for (int32_t x = 0; x < (width - 2) * 3; ++x) ASSERT_EQ(d.Bitmap.GetScanline(y)[x], 0);
    }
    // Parameters only: sizes, camera, resolution; nothing allocated.
    {
        TDevelop d(width, height, mosaic);
        d.Run(true);
        EXPECT_TRUE(d.Bitmap.IsEmpty());
        EXPECT_EQ(d.Params.Height, height - 2);
        EXPECT_EQ(d.Params.DpiX, 300);
    }
    // A geometry the input cannot hold is refused before anything is allocated.
    {
        TDevelop d(60000, 60000, mosaic);
        d.Run();
        EXPECT_TRUE(d.Aborting);
        EXPECT_TRUE(d.Bitmap.IsEmpty());
    }
}

// Re-gridding: the bitmap is compared with the rule computed here pixel by pixel.
TEST(RawRegrid, DiamondAndBlackFirstRow) {
    const int32_t W = 10, H = 9;
    TVLBitmap bitmap;
    ASSERT_TRUE(bitmap.Allocate(W, H, vl24RGB));
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < W; ++x)
            for (int32_t c = 0; c < 3; ++c)
                row[x * 3 + c] = std::abs(x - 5) + std::abs(y - 4) <= 4 || (y == 0 && x >= 3 && x <= 7)
                                     ? static_cast<uint8_t>(10 + x * 20 + y * 3 + c)
                                     : 0;
    }
    // Row 0: black up to column 3, last lit column 7.
    const int32_t L = 3, R = 7, F = 2 * (W - L) - 4;
    std::vector<uint8_t> grid(size_t(F) * R * 3, 0);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const auto gr = static_cast<uint16_t>(y + x - R + 5);
            const auto gc = static_cast<uint16_t>((x - y + R - 1) / 2);
            if (gr < F && gc < R)
                std::memcpy(&grid[(size_t(gr) * R + gc) * 3], bitmap.GetScanline(y) + x * 3, 3);
        }
    auto G = [&](int32_t k, int32_t c, int32_t s) { return grid[(size_t(k) * R + c) * 3 + s]; };
    ASSERT_TRUE(regrid_diagonal_24(bitmap));
    ASSERT_EQ(bitmap.GetWidth(), 2 * R);
    ASSERT_EQ(bitmap.GetHeight(), F);
    std::vector<uint8_t> expect(size_t(2) * R * 3, 0);
    for (int32_t k = 1; k < F; ++k) {
        for (int32_t l = 1; l < 2 * R; ++l)
            for (int32_t s = 0; s < 3; ++s) {
                if ((k + l) % 2 == 0)
                    expect[l * 3 + s] = G(k, l / 2, s);
                else if (k <= F - 2 && l <= 2 * R - 2)
                    expect[l * 3 + s] = static_cast<uint8_t>(
                        (G(k - 1, l / 2, s) + G(k, l / 2 - (k & 1), s) + G(k + 1, l / 2, s) +
                         G(k, l / 2 + 1 - (k & 1), s)) >> 2);
            }
        EXPECT_EQ(std::memcmp(bitmap.GetScanline(k - 1), expect.data(), expect.size()), 0) << k;
    }
    // The last row repeats the one above it.
    EXPECT_EQ(std::memcmp(bitmap.GetScanline(F - 1), bitmap.GetScanline(F - 2), expect.size()), 0);

    TVLBitmap dark;
    ASSERT_TRUE(dark.Allocate(6, 4, vlRGB48));
    std::memset(dark.GetScanline(0), 0, 36);
    for (int32_t y = 1; y < 4; ++y) std::memset(dark.GetScanline(y), 0x40, 36);
    EXPECT_FALSE(regrid_diagonal_48(dark));
    EXPECT_EQ(dark.GetWidth(), 6);
    EXPECT_EQ(dark.GetHeight(), 4);

    // Developed from a Fuji loader, a picture whose first row is black stays as decoded and the
    // reading is aborted.
    const int32_t width = 12, height = 10;
    std::vector<uint16_t> mosaic = Mosaic(width, height, 0);
    std::fill(mosaic.begin(), mosaic.begin() + 4 * width, 0);
    TDevelop plain(width, height, mosaic), fuji(width, height, mosaic);
    std::strcpy(plain.Context->Make, "FUJIFILM");
    std::strcpy(fuji.Context->Make, "FUJIFILM");
    fuji.Context->LoadRaw = [](TVLCameraRawContext& Context) {
        unpacked16_be_load_raw(Context);
        Context.FujiRotated = true;
    };
    plain.Run();
    fuji.Run();
    EXPECT_FALSE(plain.Aborting);
    EXPECT_TRUE(fuji.Aborting);
    ASSERT_EQ(fuji.Bitmap.GetWidth(), width - 2);
    ASSERT_EQ(fuji.Bitmap.GetHeight(), height - 2);
    ASSERT_EQ(fuji.Bitmap.GetPixelFormat(), vl24RGB);
    const size_t rowBytes = size_t(width - 2) * 3;
    const TBytes black(rowBytes, 0);
    EXPECT_EQ(std::memcmp(plain.Bitmap.GetScanline(0), black.data(), rowBytes), 0);
    EXPECT_NE(std::memcmp(plain.Bitmap.GetScanline(height - 3), black.data(), rowBytes), 0);
    for (int32_t y = 0; y < height - 2; ++y)
        EXPECT_EQ(std::memcmp(fuji.Bitmap.GetScanline(y), plain.Bitmap.GetScanline(y), rowBytes), 0)
            << y;
}

} // namespace
