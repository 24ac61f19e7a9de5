// Rendering a bitmap rectangle onto a 24-bit bitmap: nearest stretching below, at and above 1:1
// with clipped and mirrored rectangles, the alpha and transparency blend, every source format,
// contrast and offsets, render operations, kept lookup tables, and the stretch that writes the
// destination alpha.
#include "imaging/core/VLRender.h"

#include "TempFolder.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLResampleFast.h"
#include "imaging/core/VLThreadPool.h"
#include "platform/gfx/Canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

TVLRGB Grey(uint8_t V) {
    return {V, V, V};
}

TVLRGB Rgb(uint8_t R, uint8_t G, uint8_t B) {
    return {B, G, R};
}

TVLRGB PixelAt(TVLBitmap& Bitmap, int32_t X, int32_t Y) {
    TVLRGB p;
    std::memcpy(&p, Bitmap.GetScanline(Y) + 3 * X, 3);
    return p;
}

void SetPixel(TVLBitmap& Bitmap, int32_t X, int32_t Y, const TVLRGB& P) {
    std::memcpy(Bitmap.GetScanline(Y) + 3 * X, &P, 3);
}

// A bitmap in memory whose every byte is written, the pixels from Pixel(x, y).
std::unique_ptr<TVLBitmap> Make24(int32_t W, int32_t H,
                                  const std::function<TVLRGB(int32_t, int32_t)>& Pixel) {
    auto b = std::make_unique<TVLBitmap>(W, H, vl24RGB);
    for (int32_t y = 0; y < H; ++y) {
        std::memset(b->GetScanline(y), 0, b->GetRowLen());
        for (int32_t x = 0; x < W; ++x)
            SetPixel(*b, x, y, Pixel(x, y));
    }
    return b;
}

std::unique_ptr<TVLBitmap> Filled24(int32_t W, int32_t H, TVLRGB P) {
    return Make24(W, H, [P](int32_t, int32_t) { return P; });
}

// The grey levels of row Y of a destination.
std::vector<int> RowLevels(TVLBitmap& Bitmap, int32_t Y) {
    std::vector<int> levels;
    for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
        levels.push_back(PixelAt(Bitmap, x, Y).g);
    return levels;
}

class Render : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        DefaultMinFileSize = int64_t{1} << 40; // every bitmap in memory unless a test says else
        BuildCosineTable();
    }
};

// A strip of four pixels of levels 10, 20, 30, 40 drawn onto 8 x 1 black pixels.
TEST_F(Render, NearestStretchOfAStripBelowAtAndAbove100PercentWithClippedAndMirroredRects) {
    struct {
        const char* Name;
        int32_t DstX, DstW, SrcX, SrcW;
        std::vector<int> Expected;
    } const cases[] = {
        {"200 %", 0, 8, 0, 4, {10, 10, 20, 20, 30, 30, 40, 40}},
        {"100 %", 2, 4, 0, 4, {0, 0, 10, 20, 30, 40, 0, 0}},
        {"50 %", 0, 2, 0, 4, {10, 30, 0, 0, 0, 0, 0, 0}},
        {"75 %", 0, 3, 0, 4, {10, 20, 30, 0, 0, 0, 0, 0}},
        // A negative start cuts the destination and moves the source by Round(2 x 0.5).
        {"left cut", -2, 8, 0, 4, {20, 20, 30, 30, 40, 40, 0, 0}},
        // The end beyond the destination costs the source Trunc(5 x 0.5) columns.
        {"right cut", 5, 8, 0, 4, {0, 0, 0, 0, 0, 10, 10, 20}},
        // The source rectangle runs past the source: its last column repeats, nothing is read
        // beyond it.
        {"source overrun at 100 %", 1, 3, 2, 3, {0, 30, 40, 40, 0, 0, 0, 0}},
        {"negative source start", 0, 3, -1, 3, {10, 20, 30, 0, 0, 0, 0, 0}},
        // Mirrored rectangles (negative sizes) draw nothing.
        {"mirrored destination", 7, -4, 0, 4, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"mirrored source", 0, 4, 3, -4, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"outside", 8, 4, 0, 4, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    auto source = Make24(4, 1, [](int32_t x, int32_t) { return Grey(uint8_t(10 * (x + 1))); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto dest = Filled24(8, 1, Grey(0));
        source->RenderRectToBitmap(*dest, c.DstX, 0, c.DstW, 1, c.SrcX, 0, c.SrcW, 1, 255, rfNone,
                                   vlroCopy);
        EXPECT_EQ(RowLevels(*dest, 0), c.Expected);
    }
}

TEST_F(Render, TwoToOneEnlargementStartingTenPixelsLeftDrawsSourceColumnFiveFirst) {
    auto source = Make24(20, 1, [](int32_t x, int32_t) { return Grey(uint8_t(x)); });
    auto dest = Filled24(10, 1, Grey(200));
    source->RenderRectToBitmap(*dest, -10, 0, 40, 1, 0, 0, 20, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{5, 5, 6, 6, 7, 7, 8, 8, 9, 9}));
}

TEST_F(Render, RowsAndColumnsStretchTogetherAndAClipRectLimitsTheDrawing) {
    auto source = Make24(3, 3, [](int32_t x, int32_t y) { return Rgb(uint8_t(x), uint8_t(y), 9); });
    auto dest = Filled24(6, 6, Grey(255));
    TVLRenderTables tables;
    const TRect clip{1, 2, 4, 3}; // Right and Bottom inclusive
    source->RenderRectToBitmapEx(*dest, tables, &clip, 0, 0, 6, 6, 0, 0, 3, 3, true, false, 255,
                                 rfNone, true, vlroCopy);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool inside = x >= 1 && x <= 4 && y >= 2 && y <= 3;
            EXPECT_EQ(PixelAt(*dest, x, y),
                      inside ? Rgb(uint8_t(x / 2), uint8_t(y / 2), 9) : Grey(255));
        }
    EXPECT_TRUE(tables.XTable.empty() && tables.YTable.empty() && tables.RowTable.empty())
        << "tables built by the call are freed with FreeTables";

    // At the boundary: a clip rectangle (0, 0, 0, 0) is the one pixel (0, 0), not "no clip".
    auto single = Filled24(6, 6, Grey(255));
    const TRect corner{0, 0, 0, 0};
    source->RenderRectToBitmapEx(*single, tables, &corner, 0, 0, 6, 6, 0, 0, 3, 3, true, false, 255,
                                 rfNone, true, vlroCopy);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(*single, x, y), x == 0 && y == 0 ? Rgb(0, 0, 9) : Grey(255))
                << x << "," << y;
}

TEST_F(Render, KeptTablesGiveTheSamePixelsAndCallerTablesAreCheckedAgainstTheSource) {
    auto source = Make24(5, 4, [](int32_t x, int32_t y) { return Rgb(uint8_t(x), uint8_t(y), 1); });
    auto first = Filled24(12, 9, Grey(0));
    TVLRenderTables tables;
    source->RenderRectToBitmapEx(*first, tables, nullptr, 1, 1, 10, 8, 0, 0, 5, 4, true, false, 255,
                                 rfNone, false, vlroCopy);
    ASSERT_EQ(tables.XTable.size(), 10u);
    ASSERT_EQ(tables.YTable.size(), 8u);
    ASSERT_EQ(tables.RowTable.size(), 9u);
    auto second = Filled24(12, 9, Grey(0));
    TVLRenderTables kept = tables;
    kept.RowTable.clear();
    const TRect clip{3, 0, 11, 8};
    source->RenderRectToBitmapEx(*second, kept, &clip, 1, 1, 10, 8, 0, 0, 5, 4, true, false, 255,
                                 rfNone, true, vlroCopy);
    EXPECT_EQ(kept.XTable, tables.XTable) << "tables passed in are not freed";
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 12; ++x)
            ASSERT_EQ(PixelAt(*second, x, y), x >= 3 ? PixelAt(*first, x, y) : Grey(0))
                << x << "," << y;

    // A caller's table made for a wider source ends beyond this one: the drawing stops there.
    // Entries inside the range that point outside are kept in the source.
    TVLRenderTables foreign;
    foreign.XTable = {0, 1, -7, 3, 4, 5, 6, 7};
    foreign.YTable = {0, 1, 2, 3};
    auto third = Filled24(8, 4, Grey(200));
    source->RenderRectToBitmapEx(*third, foreign, nullptr, 0, 0, 8, 4, 0, 0, 8, 4, true, false, 255,
                                 rfNone, true, vlroCopy);
    EXPECT_EQ(PixelAt(*third, 2, 0), Rgb(0, 0, 1));
    EXPECT_EQ(PixelAt(*third, 4, 3), Rgb(4, 3, 1));
    EXPECT_EQ(PixelAt(*third, 5, 0), Grey(200));
    EXPECT_EQ(PixelAt(*third, 7, 3), Grey(200));
}

TEST_F(Render, TransparencyAndAlphaBlendWithExactEnds) {
    auto source = Filled24(3, 1, Grey(255));
    TVLBitmap* alpha = source->GetAlphaChannel();
    const uint8_t alphas[3] = {0, 128, 255};
    std::memcpy(alpha->GetScanline(0), alphas, 3);
    alpha->Full = false;

    auto dest = Filled24(3, 1, Grey(0));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    // 255 x 128 / 255 rounds to 128 (a shift by 8 would give 127).
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{0, 128, 255}));

    dest = Filled24(3, 1, Grey(0));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 100, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{0, 100, 100})) << "min(transparency, alpha)";

    // Transparency 128 of white over black without alpha: 128 in every channel.
    dest = Filled24(3, 1, Grey(0));
    TVLRenderTables tables;
    source->RenderRectToBitmapEx(*dest, tables, nullptr, 0, 0, 3, 1, 0, 0, 3, 1, false, false, 128,
                                 rfNone, true, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{128, 128, 128}));

    // A full alpha channel renders opaque.
    alpha->Full = true;
    dest = Filled24(3, 1, Grey(7));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{255, 255, 255}));

    // Transparency 254, one below opaque, still blends, with and without alpha.
    dest = Filled24(3, 1, Grey(0));
    source->RenderRectToBitmapEx(*dest, tables, nullptr, 0, 0, 3, 1, 0, 0, 3, 1, false, false, 254,
                                 rfNone, true, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{254, 254, 254}));
    dest = Filled24(3, 1, Grey(0));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 254, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{254, 254, 254}));

    // Transparency 0 leaves the destination.
    dest = Filled24(3, 1, Grey(7));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 0, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{7, 7, 7}));
}

TEST_F(Render, BlendingMovesEachChannelByTheWeightOverAnyBackground) {
    auto source = Make24(16, 16, [](int32_t x, int32_t y) {
        return Rgb(uint8_t(x * 16), uint8_t(y * 16), uint8_t(255 - x * 16));
    });
    TVLBitmap* alpha = source->GetAlphaChannel();
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
            alpha->GetScanline(y)[x] = uint8_t(x * 17);
    alpha->Full = false;
    auto dest =
        Make24(16, 16, [](int32_t x, int32_t y) { return Rgb(uint8_t(y * 15), 90, uint8_t(x)); });
    auto before =
        Make24(16, 16, [](int32_t x, int32_t y) { return Rgb(uint8_t(y * 15), 90, uint8_t(x)); });
    source->RenderRectToBitmap(*dest, 0, 0, 16, 16, 0, 0, 16, 16, 200, rfNone, vlroCopy);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const TVLRGB s = PixelAt(*source, x, y), d = PixelAt(*before, x, y);
            const int w = std::min(200, x * 17);
            auto blend = [w](int dv, int sv) {
                return static_cast<uint8_t>(std::lround((sv * w + dv * (255 - w)) / 255.0));
            };
            ASSERT_EQ(PixelAt(*dest, x, y),
                      (TVLRGB{blend(d.b, s.b), blend(d.g, s.g), blend(d.r, s.r)}))
                << x << "," << y;
        }
}

// One source pixel of each format drawn at 1:1 onto a 24-bit pixel.
TEST_F(Render, EverySourceFormatGivesItsColour) {
    struct {
        TVLPixelFormat Format;
        std::vector<uint8_t> Bytes; // pixels 0 and 1 of row 0
        TVLRGB Expected0, Expected1;
    } const cases[] = {
        {vl1g, {0x80}, Grey(255), Grey(0)},
        {vl8g, {77, 200}, Grey(77), Grey(200)},
        {vl16g, {0x34, 0x12, 0xFF, 0xAB}, Grey(0x12), Grey(0xAB)},
        {vl24RGB, {1, 2, 3, 4, 5, 6}, Rgb(3, 2, 1), Rgb(6, 5, 4)},
        {vl32RGB, {1, 2, 3, 99, 4, 5, 6, 99}, Rgb(3, 2, 1), Rgb(6, 5, 4)},
        {vlRGB48, {0, 10, 0, 20, 0, 30, 0xFF, 40, 0, 50, 0, 60}, Rgb(10, 20, 30), Rgb(40, 50, 60)},
        // L 100 % with a = b = 0 is white; L 0 black.
        {vlCIELab, {255, 0, 0, 0, 0, 0}, Grey(255), Grey(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Format));
        TVLBitmap source(2, 1, c.Format);
        std::memcpy(source.GetScanline(0), c.Bytes.data(), c.Bytes.size());
        auto dest = Filled24(2, 1, Grey(33));
        source.RenderRectToBitmap(*dest, 0, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, vlroCopy);
        EXPECT_EQ(PixelAt(*dest, 0, 0), c.Expected0);
        EXPECT_EQ(PixelAt(*dest, 1, 0), c.Expected1);
    }
}

TEST_F(Render, PaletteSourcesDrawTheirEntries) {
    TVLBitmap source(2, 1, vl8p);
    source.GetScanline(0)[0] = 3;
    source.GetScanline(0)[1] = 255;
    source.SetPaletteColor(3, Rgb(10, 20, 30));
    source.SetPaletteColor(255, Rgb(200, 100, 0));
    auto dest = Filled24(4, 1, Grey(33));
    source.RenderRectToBitmap(*dest, 0, 0, 4, 1, 0, 0, 2, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(PixelAt(*dest, 1, 0), Rgb(10, 20, 30));
    EXPECT_EQ(PixelAt(*dest, 2, 0), Rgb(200, 100, 0));
}

TEST_F(Render, GreyLevelsAreStretchedBetweenBlackAndWhiteValues) {
    TVLBitmap grey(5, 1, vl8g);
    const uint8_t samples[5] = {0, 50, 100, 150, 220};
    std::memcpy(grey.GetScanline(0), samples, 5);
    grey.BlackValue = 50;
    grey.WhiteValue = 150;
    auto dest = Filled24(5, 1, Grey(1));
    grey.RenderRectToBitmap(*dest, 0, 0, 5, 1, 0, 0, 5, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{0, 0, 127, 255, 255}));

    // Equal values (also once truncated) draw the samples unchanged.
    for (double white : {50.0, 50.7}) {
        grey.WhiteValue = white;
        grey.BlackValue = 50.2;
        dest = Filled24(5, 1, Grey(1));
        grey.RenderRectToBitmap(*dest, 0, 0, 5, 1, 0, 0, 5, 1, 255, rfNone, vlroCopy);
        EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{0, 50, 100, 150, 220})) << white;
    }

    TVLBitmap words(3, 1, vl16g);
    const uint16_t levels[3] = {1000, 1500, 2000};
    std::memcpy(words.GetScanline(0), levels, sizeof(levels));
    words.BlackValue = 1000;
    words.WhiteValue = 2000;
    dest = Filled24(3, 1, Grey(1));
    words.RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{0, 127, 255}));

    // Floats: Trunc(f x 255) kept inside 0..255, NaN black; with levels, clamped and stretched.
    TVLBitmap floats(5, 1, vl32f);
    const float values[5] = {0.5f, 2.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    std::memcpy(floats.GetScanline(0), values, sizeof(values));
    dest = Filled24(5, 1, Grey(1));
    floats.RenderRectToBitmap(*dest, 0, 0, 5, 1, 0, 0, 5, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{127, 255, 0, 0, 255}));
    floats.BlackValue = 0.25;
    floats.WhiteValue = 0.75;
    dest = Filled24(5, 1, Grey(1));
    floats.RenderRectToBitmap(*dest, 0, 0, 5, 1, 0, 0, 5, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{127, 255, 0, 0, 255}));
}

TEST_F(Render, ContrastAndChannelOffsetsAdjustTheColourFormats) {
    EXPECT_EQ(RenderContrastFactor(10), 131072);
    EXPECT_EQ(RenderContrastFactor(0), 65536);
    EXPECT_EQ(RenderContrastFactor(-100), 0);
    EXPECT_EQ(RenderContrastFactor(-25), 32768);

    auto source = Make24(3, 1, [](int32_t x, int32_t) {
        const uint8_t v[3] = {100, 200, 128};
        return Grey(v[x]);
    });
    source->Contrast = 10; // doubles the distance from 128
    auto dest = Filled24(3, 1, Grey(0));
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{72, 255, 128}));
    source->Contrast = -100;
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{128, 128, 128}));

    // Offsets to red, green and blue; huge values clamp instead of wrapping.
    source->Contrast = 0;
    source->EnableChannelOffset = true;
    source->ChannelOffset[0] = 10;
    source->ChannelOffset[1] = -20;
    source->ChannelOffset[2] = std::numeric_limits<int32_t>::max();
    source->RenderRectToBitmap(*dest, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    EXPECT_EQ(PixelAt(*dest, 0, 0), Rgb(110, 80, 255));
    EXPECT_EQ(PixelAt(*dest, 1, 0), Rgb(210, 180, 255));

    // The 16-bit form of vlRGB48.
    TVLBitmap wide(1, 1, vlRGB48);
    const uint16_t words[3] = {25600, 40960, 32768};
    std::memcpy(wide.GetScanline(0), words, sizeof(words));
    wide.Contrast = 10;
    wide.RenderRectToBitmap(*dest, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, vlroCopy);
    // (25600 - 32768) x 2 + 32768 = 18432 -> 72; (40960 - 32768) x 2 + 32768 = 49152 -> 192.
    EXPECT_EQ(PixelAt(*dest, 0, 0), Rgb(72, 192, 128));
}

TEST_F(Render, RenderOperationsCombineWithTheDestinationAndThenBlend) {
    auto source = Filled24(2, 1, Grey(100));
    auto dest = Filled24(2, 1, Grey(50));
    source->RenderRectToBitmap(*dest, 0, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, vlroAdd);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{150, 150}));
    dest = Filled24(2, 1, Grey(50));
    source->RenderRectToBitmap(*dest, 0, 0, 2, 1, 0, 0, 2, 1, 128, rfNone, vlroAdd);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{100, 100}));
    // Operations apply to the 24-, 32- and 48-bit formats only: a grey source is copied.
    TVLBitmap grey(2, 1, vl8g);
    std::memset(grey.GetScanline(0), 100, 2);
    dest = Filled24(2, 1, Grey(50));
    grey.RenderRectToBitmap(*dest, 0, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, vlroAdd);
    EXPECT_EQ(RowLevels(*dest, 0), (std::vector<int>{100, 100}));
}

TEST_F(Render, SolidBackgroundCopiesRepeatedRowsWithTheSameResult) {
    auto source =
        Make24(4, 3, [](int32_t x, int32_t y) { return Rgb(uint8_t(x * 40), uint8_t(y * 70), 5); });
    TVLBitmap* alpha = source->GetAlphaChannel();
    for (int32_t y = 0; y < 3; ++y)
        std::memset(alpha->GetScanline(y), 90 + 40 * y, 4);
    alpha->Full = false;
    for (int32_t transparency : {255, 180}) {
        SCOPED_TRACE(transparency);
        auto plain = Filled24(9, 10, Grey(60));
        auto solid = Filled24(9, 10, Grey(60));
        TVLRenderTables a, b;
        source->RenderRectToBitmapEx(*plain, a, nullptr, 0, 0, 9, 10, 0, 0, 4, 3, true, false,
                                     transparency, rfNone, true, vlroCopy);
        source->RenderRectToBitmapEx(*solid, b, nullptr, 0, 0, 9, 10, 0, 0, 4, 3, true, true,
                                     transparency, rfNone, true, vlroCopy);
        for (int32_t y = 0; y < 10; ++y)
            ASSERT_EQ(std::memcmp(plain->GetScanline(y), solid->GetScanline(y), plain->GetRowLen()),
                      0)
                << "row " << y;
    }
}

TEST_F(Render, AFileLocatedSourceRendersLikeOneInMemory) {
    auto pattern = [](int32_t x, int32_t y) {
        return Rgb(uint8_t(x * 9), uint8_t(y * 11), uint8_t(x ^ y));
    };
    auto memory = Make24(17, 13, pattern);
    DefaultMinFileSize = 0;
    auto file = Make24(17, 13, pattern);
    file->GetAlphaChannel();
    ASSERT_EQ(file->GetLocation(), vlFile);
    DefaultMinFileSize = int64_t{1} << 40;
    for (int32_t zoom : {1, 3}) {
        auto a = Filled24(40, 30, Grey(0));
        auto b = Filled24(40, 30, Grey(0));
        memory->RenderRectToBitmap(*a, 1, 2, 17 * zoom, 13 * zoom, 0, 0, 17, 13, 200, rfNone,
                                   vlroCopy);
        file->RenderRectToBitmap(*b, 1, 2, 17 * zoom, 13 * zoom, 0, 0, 17, 13, 200, rfNone,
                                 vlroCopy);
        for (int32_t y = 0; y < 30; ++y)
            ASSERT_EQ(std::memcmp(a->GetScanline(y), b->GetScanline(y), 120), 0)
                << zoom << " " << y;
    }
}

// Large renders run in row bands on the library's threads; every band reads its first row
// itself, so each thread count gives the bytes of one: reductions and enlargements (repeated
// rows), opaque, blended with the alpha channel and combined with a render operation, over a
// solid background or not, for several source formats.
TEST_F(Render, EveryThreadCountGivesTheSameBytes) {
    auto pattern = [](int32_t x, int32_t y) {
        return Rgb(uint8_t(x * 7 + y), uint8_t(y * 5), uint8_t((x ^ y) * 3));
    };
    auto colour = Make24(700, 500, pattern);
    TVLBitmap* alpha = colour->GetAlphaChannel();
    for (int32_t y = 0; y < 500; ++y)
        for (int32_t x = 0; x < 700; ++x)
            alpha->GetScanline(y)[x] = static_cast<uint8_t>(x + 3 * y);
    TVLBitmap grey(700, 500, vl8g);
    for (int32_t y = 0; y < 500; ++y)
        for (int32_t x = 0; x < 700; ++x)
            grey.GetScanline(y)[x] = static_cast<uint8_t>(x * y);
    struct Case {
        TVLBitmap* Source;
        int32_t DstW, DstH, SrcW, SrcH, Transparency;
        TVLRenderOperation Operation;
    };
    const Case cases[] = {{colour.get(), 600, 450, 700, 500, 255, vlroCopy},
                          {colour.get(), 900, 700, 300, 233, 255, vlroCopy},
                          {colour.get(), 640, 480, 700, 500, 160, vlroCopy},
                          {colour.get(), 620, 430, 650, 400, 255, vlroAdd},
                          {&grey, 800, 600, 350, 260, 255, vlroCopy}};
    for (const Case& c : cases)
        for (const bool solid : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.DstW << "x" << c.DstH << " from " << c.SrcW << "x"
                                            << c.SrcH << (solid ? " solid" : ""));
            auto render = [&](int32_t Threads) {
                VLThreadCount = Threads;
                auto dest = Filled24(c.DstW + 10, c.DstH + 10, Grey(40));
                TVLRenderTables tables;
                c.Source->RenderRectToBitmapEx(*dest, tables, nullptr, 5, 5, c.DstW, c.DstH, 0,
                                               0, c.SrcW, c.SrcH, true, solid, c.Transparency,
                                               rfNone, true, c.Operation);
                VLThreadCount = 0;
                std::vector<uint8_t> bytes;
                for (int32_t y = 0; y < dest->GetHeight(); ++y)
                    bytes.insert(bytes.end(), dest->GetScanline(y),
                                 dest->GetScanline(y) + 3 * dest->GetWidth());
                return bytes;
            };
            const std::vector<uint8_t> one = render(1);
            for (const int32_t threads : {2, 3, 8})
                EXPECT_EQ(render(threads), one) << threads << " threads";
        }
}

TEST_F(Render, DestinationsOutsideTheContractAreLeftAlone) {
    auto source = Filled24(4, 4, Grey(200));
    TVLBitmap grey(4, 4, vl8g);
    std::memset(grey.GetScanline(0), 5, 4);
    source->RenderRectToBitmap(grey, 0, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, vlroCopy);
    EXPECT_EQ(grey.GetScanline(0)[0], 5);
    DefaultMinFileSize = 0;
    auto inFile = Filled24(4, 4, Grey(5));
    ASSERT_EQ(inFile->GetLocation(), vlFile);
    source->RenderRectToBitmap(*inFile, 0, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, vlroCopy);
    EXPECT_EQ(PixelAt(*inFile, 0, 0), Grey(5));
}

TEST_F(Render, ClassLibraryBitmapsAreDrawnInPlace) {
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(4, 2);
    for (int32_t y = 0; y < 2; ++y)
        std::memset(target.ScanLine(y), 0, 12);
    auto source = Make24(2, 1, [](int32_t x, int32_t) { return Rgb(uint8_t(100 + x), 0, 0); });
    source->RenderRectToTBitmap(target, 0, 0, 4, 2, 0, 0, 2, 1, 255, rfNone, vlroCopy);
    const auto* row = static_cast<const uint8_t*>(target.ScanLine(1));
    EXPECT_EQ(row[2], 100);
    EXPECT_EQ(row[5], 100);
    EXPECT_EQ(row[8], 101);
    EXPECT_EQ(row[11], 101);
}

TEST_F(Render, StretchWithAlphaCopiesPixelsAndCapsTheAlphaAtTheOpacity) {
    auto source =
        Make24(4, 2, [](int32_t x, int32_t y) { return Rgb(uint8_t(x * 50), uint8_t(y), 7); });
    TVLBitmap* alpha = source->GetAlphaChannel();
    const uint8_t row0[4] = {0, 100, 200, 255};
    std::memcpy(alpha->GetScanline(0), row0, 4);
    std::memcpy(alpha->GetScanline(1), row0, 4);
    alpha->Full = false;

    auto dest = Filled24(6, 3, Grey(9));
    source->StretchRectWithAlphaTo(*dest, 1, 1, 4, 2, 0, 0, 4, 2, rfNone, 150);
    ASSERT_TRUE(dest->HasAlphaChannel());
    TVLBitmap* destAlpha = dest->GetAlphaChannel();
    EXPECT_FALSE(destAlpha->Full);
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(PixelAt(*dest, x + 1, 2), Rgb(uint8_t(x * 50), 1, 7));
        EXPECT_EQ(destAlpha->GetScanline(1)[x + 1], std::min<int>(row0[x], 150));
    }
    EXPECT_EQ(PixelAt(*dest, 0, 0), Grey(9));
    EXPECT_EQ(destAlpha->GetScanline(0)[0], 255) << "outside the range the alpha stays";

    // Without source alpha the range gets the opacity; 2:1 goes through the tables.
    auto opaque = Make24(2, 1, [](int32_t x, int32_t) { return Grey(uint8_t(80 + x)); });
    auto other = Filled24(4, 1, Grey(0));
    opaque->StretchRectWithAlphaTo(*other, 0, 0, 4, 1, 0, 0, 2, 1, rfNone, 60);
    EXPECT_EQ(RowLevels(*other, 0), (std::vector<int>{80, 80, 81, 81}));
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(other->GetAlphaChannel()->GetScanline(0)[x], 60);

    // A 1-bit source writes white and black.
    TVLBitmap bits(8, 1, vl1g);
    bits.GetScanline(0)[0] = 0xA0;
    auto fromBits = Filled24(3, 1, Grey(50));
    bits.StretchRectWithAlphaTo(*fromBits, 0, 0, 3, 1, 0, 0, 3, 1, rfNone, 255);
    EXPECT_EQ(RowLevels(*fromBits, 0), (std::vector<int>{255, 0, 255}));
}

TEST_F(Render, StretchWithAlphaKeepsItsTablesInsideTheSource) {
    // A strong reduction: column x of 100 reads Trunc(x x 140000 / 100), computed in 64 bits
    // (a 32-bit product would wrap beyond 131072 source columns).
    const int32_t wide = 140000;
    TVLBitmap source(wide, 1, vl24RGB);
    uint8_t* row = source.GetScanline(0);
    for (int32_t x = 0; x < wide; ++x) {
        row[3 * x] = uint8_t(x);
        row[3 * x + 1] = uint8_t(x >> 8);
        row[3 * x + 2] = uint8_t(x >> 16);
    }
    auto dest = Filled24(100, 1, Grey(0));
    source.StretchRectWithAlphaTo(*dest, 0, 0, 100, 1, 0, 0, wide, 1, rfNone, 255);
    const int64_t step = static_cast<int64_t>(double(wide) / 100 * 16384);
    for (int32_t x = 0; x < 100; ++x) {
        const TVLRGB p = PixelAt(*dest, x, 0);
        ASSERT_EQ(p.b | (p.g << 8) | (p.r << 16), (x * step) / 16384) << x;
    }

    // Source rectangles running past the source read only its last column and row.
    auto small = Make24(4, 2, [](int32_t x, int32_t y) { return Rgb(uint8_t(x), uint8_t(y), 0); });
    for (int32_t zoom : {1, 2}) {
        SCOPED_TRACE(zoom);
        auto target = Filled24(12, 6, Grey(99));
        small->StretchRectWithAlphaTo(*target, 0, 0, 6 * zoom, 3 * zoom, 2, 1, 6, 3, rfNone, 255);
        EXPECT_EQ(PixelAt(*target, 0, 0), Rgb(2, 1, 0));
        EXPECT_EQ(PixelAt(*target, 6 * zoom - 1, 3 * zoom - 1), Rgb(3, 1, 0));
    }
    // Negative sizes draw nothing.
    auto untouched = Filled24(4, 2, Grey(99));
    small->StretchRectWithAlphaTo(*untouched, 0, 0, -4, 2, 0, 0, 4, 2, rfNone, 255);
    small->StretchRectWithAlphaTo(*untouched, 0, 0, 4, 2, 3, 0, -4, 2, rfNone, 255);
    EXPECT_EQ(PixelAt(*untouched, 0, 0), Grey(99));
}

TEST_F(Render, CmykSourcesGoThroughTheCmykConversion) {
    const bool saved = CMYKColorManagement;
    CMYKColorManagement = false; // the formulas: red = C x K / 255 on the stored (inverted) bytes
    TVLBitmap source(3, 1, vlCMYK);
    const uint8_t inks[12] = {255, 255, 255, 255, 10, 20, 30, 0, 255, 0, 255, 255};
    std::memcpy(source.GetScanline(0), inks, sizeof(inks));
    auto dest = Filled24(6, 1, Grey(1));
    source.RenderRectToBitmap(*dest, 0, 0, 6, 1, 0, 0, 3, 1, 255, rfNone, vlroCopy);
    CMYKColorManagement = saved;
    EXPECT_EQ(PixelAt(*dest, 0, 0), Grey(255));
    EXPECT_EQ(PixelAt(*dest, 3, 0), Grey(0));
    EXPECT_EQ(PixelAt(*dest, 5, 0), Rgb(255, 0, 255));
}

// A source whose left half is black and right half white: a filtered rectangle inside the white
// half must come out white, whatever lies outside it.
std::unique_ptr<TVLBitmap> HalfBlackHalfWhite(int32_t W, int32_t H) {
    return Make24(W, H, [W](int32_t x, int32_t) { return Grey(x < W / 2 ? 0 : 255); });
}

TEST_F(Render, FilteredPathResamplesOnlyTheSourceRectangleAndDrawsItInPlace) {
    auto source = HalfBlackHalfWhite(40, 20);
    for (TResampleFilter filter : {rfFastLinear, rfTriangle, rfLanczos3, rfBilinear}) {
        for (int32_t size : {5, 30}) { // reduction and enlargement of a 10 x 10 rectangle
            SCOPED_TRACE(testing::Message() << "filter " << int(filter) << " size " << size);
            auto dest = Filled24(40, 40, Grey(7));
            source->RenderRectToBitmap(*dest, 3, 4, size, size, 25, 5, 10, 10, 255, filter,
                                       vlroCopy);
            for (int32_t y = 0; y < 40; ++y)
                for (int32_t x = 0; x < 40; ++x) {
                    const bool inside = x >= 3 && x < 3 + size && y >= 4 && y < 4 + size;
                    ASSERT_EQ(PixelAt(*dest, x, y), inside ? Grey(255) : Grey(7)) << x << "," << y;
                }
        }
    }
    // The source's adjustment is carried over to the resampled pixels.
    auto flat = Filled24(8, 8, Grey(100));
    flat->Contrast = 10;
    auto dest = Filled24(4, 4, Grey(0));
    flat->RenderRectToBitmap(*dest, 0, 0, 4, 4, 0, 0, 8, 8, 255, rfFastLinear, vlroCopy);
    EXPECT_EQ(PixelAt(*dest, 2, 2), Grey(72));
    // A filter with the size unchanged, and a vl32f source, take the nearest path.
    TVLBitmap floats(4, 1, vl32f);
    const float values[4] = {0.0f, 0.2f, 0.6f, 1.0f};
    std::memcpy(floats.GetScanline(0), values, sizeof(values));
    auto nearest = Filled24(8, 1, Grey(1));
    auto filtered = Filled24(8, 1, Grey(1));
    floats.RenderRectToBitmap(*nearest, 0, 0, 8, 1, 0, 0, 4, 1, 255, rfNone, vlroCopy);
    floats.RenderRectToBitmap(*filtered, 0, 0, 8, 1, 0, 0, 4, 1, 255, rfBicubic, vlroCopy);
    EXPECT_EQ(RowLevels(*filtered, 0), RowLevels(*nearest, 0));
}

// One visible source pixel, enlarged by every filter (and through the stretch that writes the
// alpha), gives a flat result of its colour; a one-bit source gives white or black.
TEST_F(Render, OneVisibleSourcePixelGivesItsFlatColourUnderEveryFilter) {
    auto source = Make24(5, 4, [](int32_t x, int32_t y) { return Rgb(uint8_t(40 * x + 3), 99, uint8_t(50 * y)); });
    TVLBitmap bits(5, 4, vl1g);
    for (int32_t y = 0; y < 4; ++y)
        std::memset(bits.GetScanline(y), 0, bits.GetRowLen());
    bits.GetScanline(2)[0] = 0x20; // (2, 2) set
    for (int f = rfTriangle; f <= rfProjectWB; ++f) {
        const auto filter = static_cast<TResampleFilter>(f);
        SCOPED_TRACE(testing::Message() << "filter " << f);
        for (const int32_t size : {1, 2, 7}) {
            SCOPED_TRACE(size);
            auto dest = Filled24(9, 9, Grey(7));
            source->RenderRectToBitmap(*dest, 1, 1, size, size, 2, 2, 1, 1, 255, filter,
                                       vlroCopy);
            // The projections turn a colour picture black and white, flat all the same.
            const bool projection = filter >= rfProjectBW && size > 1;
            const TVLRGB flat = projection ? PixelAt(*dest, 1, 1) : Rgb(83, 99, 100);
            if (projection) {
                ASSERT_TRUE(flat == Grey(0) || flat == Grey(255));
            }
            for (int32_t y = 0; y < 9; ++y)
                for (int32_t x = 0; x < 9; ++x) {
                    const bool inside = x >= 1 && x < 1 + size && y >= 1 && y < 1 + size;
                    ASSERT_EQ(PixelAt(*dest, x, y), inside ? flat : Grey(7)) << x << "," << y;
                }
            auto withAlpha = Filled24(9, 9, Grey(7));
            source->StretchRectWithAlphaTo(*withAlpha, 1, 1, size, size, 2, 2, 1, 1, filter, 255);
            ASSERT_EQ(PixelAt(*withAlpha, size, size), flat);
            auto fromBits = Filled24(9, 9, Grey(7));
            bits.RenderRectToBitmap(*fromBits, 1, 1, size, size, 2, 2, 1, 1, 255, filter,
                                    vlroCopy);
            for (int32_t y = 1; y < 1 + size; ++y)
                for (int32_t x = 1; x < 1 + size; ++x)
                    ASSERT_EQ(PixelAt(*fromBits, x, y), Grey(255)) << x << "," << y;
        }
    }
}

TEST_F(Render, FilteredPathKeepsTheAlphaOfTheRectangle) {
    auto source = Filled24(40, 10, Grey(255));
    TVLBitmap* alpha = source->GetAlphaChannel();
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 40; ++x)
            alpha->GetScanline(y)[x] = x < 20 ? 0 : 255;
    alpha->Full = false;
    auto dest = Filled24(30, 10, Grey(0));
    // The opaque half at 2:1 and the transparent half at 1:2.
    source->RenderRectToBitmap(*dest, 0, 0, 5, 5, 25, 0, 10, 10, 255, rfFastLinear, vlroCopy);
    source->RenderRectToBitmap(*dest, 10, 0, 20, 10, 0, 0, 10, 10, 255, rfFastLinear, vlroCopy);
    EXPECT_EQ(PixelAt(*dest, 2, 2), Grey(255));
    EXPECT_EQ(PixelAt(*dest, 20, 5), Grey(0));
}

TEST_F(Render, FilteredBlackAndWhiteSourcesAreAveragedOrProjected) {
    // A checkerboard of single pixels: every 2 x 2 box holds two set bits.
    TVLBitmap board(16, 8, vl1g);
    for (int32_t y = 0; y < 8; ++y)
        std::memset(board.GetScanline(y), y % 2 == 0 ? 0xAA : 0x55, 2);
    // Reduced without alpha, the rectangle is averaged by area (into a frame of 1 pixel here).
    TVLBitmap averaged(8, 4, vl24RGB);
    Shrink1BitToGray(board, 0, 0, 15, 7, averaged);
    auto dest = Filled24(10, 6, Grey(9));
    board.RenderRectToBitmap(*dest, 1, 1, 8, 4, 0, 0, 16, 8, 255, rfTriangle, vlroCopy);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x)
            ASSERT_EQ(PixelAt(*dest, x + 1, y + 1), PixelAt(averaged, x, y)) << x << "," << y;
    EXPECT_EQ(PixelAt(*dest, 0, 0), Grey(9));
    // The projections keep black and white.
    board.RenderRectToBitmap(*dest, 0, 0, 8, 4, 0, 0, 16, 8, 255, rfProjectBW, vlroCopy);
    for (int32_t x = 0; x < 8; ++x) {
        const int level = PixelAt(*dest, x, 2).g;
        EXPECT_TRUE(level == 0 || level == 255) << level;
    }
    // Enlarged with a filter, the edges between the squares turn grey.
    auto large = Filled24(32, 16, Grey(9));
    board.RenderRectToBitmap(*large, 0, 0, 32, 16, 0, 0, 16, 8, 255, rfFastLinear, vlroCopy);
    const auto row = RowLevels(*large, 8);
    EXPECT_TRUE(std::any_of(row.begin(), row.end(), [](int v) { return v > 0 && v < 255; }));
}

TEST_F(Render, FilteredStretchWithAlphaResamplesPixelsAndAlpha) {
    auto source = HalfBlackHalfWhite(40, 20);
    TVLBitmap* alpha = source->GetAlphaChannel();
    for (int32_t y = 0; y < 20; ++y)
        std::memset(alpha->GetScanline(y), 200, 40);
    alpha->Full = false;
    auto dest = Filled24(20, 20, Grey(7));
    source->StretchRectWithAlphaTo(*dest, 2, 2, 5, 5, 25, 5, 10, 10, rfFastLinear, 150);
    EXPECT_EQ(PixelAt(*dest, 4, 4), Grey(255));
    EXPECT_EQ(dest->GetAlphaChannel()->GetScanline(4)[4], 150);
    EXPECT_EQ(dest->GetAlphaChannel()->GetScanline(0)[0], 255);
    EXPECT_EQ(PixelAt(*dest, 7, 7), Grey(7));

    TVLBitmap board(16, 8, vl1g);
    for (int32_t y = 0; y < 8; ++y)
        std::memset(board.GetScanline(y), y % 2 == 0 ? 0xAA : 0x55, 2);
    TVLBitmap averaged(8, 4, vl24RGB);
    Shrink1BitToGray(board, 0, 0, 15, 7, averaged);
    auto grey = Filled24(8, 4, Grey(9));
    board.StretchRectWithAlphaTo(*grey, 0, 0, 8, 4, 0, 0, 16, 8, rfTriangle, 255);
    EXPECT_EQ(RowLevels(*grey, 3), RowLevels(averaged, 3));
    // A huge rectangle is clipped before anything is allocated.
    source->StretchRectWithAlphaTo(*dest, -1000000, 0, 2000000000, 20, 0, 0, 40, 20, rfFastLinear,
                                   255);
}

TEST_F(Render, CanvasRenderingChangesOnlyItsArea) {
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(6, 4);
    for (int32_t y = 0; y < 4; ++y)
        std::memset(target.ScanLine(y), 10, target.RowLength());
    auto source = Filled24(1, 1, Grey(255));
    // Areas the canvas cannot show, however large, are not copied.
    source->RenderRectToCanvas(*target.Canvas(), 100, 0, 2000000000, 2000000000, 0, 0, 1, 1, 255,
                               rfNone, vlroCopy);
    source->RenderRectToCanvas(*target.Canvas(), 1, 1, 3, 2, 0, 0, 1, 1, 128, rfNone, vlroCopy);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
            const uint8_t* p = static_cast<const uint8_t*>(target.ScanLine(y)) + 3 * x;
            // 10 + 128 x 245 / 255 = 132.98
            EXPECT_EQ(p[1], inside ? 133 : 10) << x << "," << y;
        }
}

} // namespace
