// Canvas output: strip heights, packed DIBs of every format, nearest and resampled rendering
// onto canvases (in strips, with gamma), printing, and hint boxes that give their background
// back.
#include "imaging/core/VLCanvasOutput.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLDebugLog.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleArea.h"
#include "platform/gfx/Printer.h"

#include "BitmapFixtures.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <array>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using enum TVLPixelFormat;

namespace {

// Seeded noise, so that a misplaced row or column shows.
void FillNoise(TVLBitmap& Bitmap, uint32_t Seed) {
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            row[i] = static_cast<uint8_t>(random());
    }
}

TVLRGB CanvasRGB(TCanvas* Canvas, int32_t X, int32_t Y) {
    const TColor c = Canvas->Pixels(X, Y);
    return TVLRGB{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                  static_cast<uint8_t>(c)};
}

bool SameArea(TBitmap& A, TBitmap& B) {
    for (int32_t y = 0; y < A.Height(); ++y)
        if (std::memcmp(A.ScanLine(y), B.ScanLine(y), static_cast<size_t>(A.Width()) * 3) != 0)
            return false;
    return true;
}

} // namespace

TEST(CanvasOutput, StripsStayUnderTheDibLimitAndAQuarterOfTheFileThreshold) {
    struct TCase {
        int32_t Width, Height;
        int64_t MinFileSize;
        int32_t Rows;
    };
    const TCase cases[] = {
        {1000, 20000, int64_t{1} << 30, 13981}, // 41,943,040 div 3000
        {1000, 20000, 3000 * 4 * 10, 10},       // a quarter of the threshold
        {1000, 20000, 0, 1},                    // at least one row
        {10, 5, int64_t{1} << 30, 5},           // never more than the height
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.MinFileSize);
        EXPECT_EQ(RenderStripHeight(c.Width, c.Height, 32, c.MinFileSize), c.Rows);
    }
}

TEST(CanvasOutput, PackedDibsCarryHeaderTableAndBottomUpRows) {
    struct TCase {
        TVLPixelFormat Format;
        uint16_t Bits;
    };
    const TCase cases[] = {{vl1g, 1}, {vl8g, 8}, {vl8p, 8}, {vl24RGB, 24}, {vl16g, 24}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Format));
        TVLBitmap bitmap(5, 4, c.Format);
        bitmap.Fill(0);
        if (c.Format == vl1g)
            FillRowBits(bitmap.GetScanline(0), 1, 1, true);
        else if (c.Format == vl16g)
            bitmap.SetPixel16(1, 0, 0xFFFF);
        else if (c.Format == vl24RGB)
            bitmap.SetPixelRGB(1, 0, TVLRGB{1, 2, 3});
        else
            bitmap.SetPixel8(1, 0, 7);
        if (c.Format == vl8p) bitmap.SetPaletteColor(7, TVLRGB{9, 8, 6});

        HGLOBAL dib = _CopyBitmaptoDIBEx(bitmap, 1, 0, 3, 3, 200, 200);
        ASSERT_NE(dib, nullptr);
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(dib));
        BITMAPINFOHEADER h;
        std::memcpy(&h, bytes, sizeof(h));
        EXPECT_EQ(h.biWidth, 2);
        EXPECT_EQ(h.biHeight, 3);
        EXPECT_EQ(h.biBitCount, c.Bits);
        EXPECT_EQ(h.biXPelsPerMeter, 7874);
        const size_t table = c.Bits <= 8 ? (size_t{1} << c.Bits) * 4 : 0;
        const size_t rowLength = c.Bits == 24 ? 8 : 4;
        EXPECT_GE(GlobalSize(dib), 40 + table + rowLength * 3);
        // The bitmap's top row is the DIB's last row; its first pixel is bitmap column 1.
        const uint8_t* top = bytes + 40 + table + rowLength * 2;
        if (c.Bits == 1) {
            EXPECT_EQ(top[0], 0x80);
            EXPECT_EQ(bytes[40 + 4], 255); // white second entry
        } else if (c.Bits == 8) {
            EXPECT_EQ(top[0], 7);
            const uint8_t* entry = bytes + 40 + 7 * 4;
            if (c.Format == vl8p)
                EXPECT_EQ((TVLRGB{entry[0], entry[1], entry[2]}), (TVLRGB{9, 8, 6}));
            else
                EXPECT_EQ((TVLRGB{entry[0], entry[1], entry[2]}), (TVLRGB{7, 7, 7}));
        } else if (c.Format == vl16g) {
            EXPECT_EQ((TVLRGB{top[0], top[1], top[2]}), (TVLRGB{255, 255, 255}));
        } else {
            EXPECT_EQ((TVLRGB{top[0], top[1], top[2]}), (TVLRGB{1, 2, 3}));
        }
        GlobalUnlock(dib);
        GlobalFree(dib);
    }
    TVLBitmap empty;
    EXPECT_EQ(_CopyBitmaptoDIBEx(empty, 0, 0, 0, 0, 200, 200), nullptr);
    TVLBitmap small(4, 4, vl24RGB);
    EXPECT_EQ(_CopyBitmaptoDIBEx(small, 3, 3, 3, 5, 200, 200), nullptr);
}

TEST(CanvasOutput, NearestRenderingStretchesAndAppliesGamma) {
    TVLBitmap bitmap(2, 2, vl24RGB);
    bitmap.SetPixelRGB(0, 0, TVLRGB{64, 64, 64});
    bitmap.SetPixelRGB(1, 0, TVLRGB{255, 0, 0});
    bitmap.SetPixelRGB(0, 1, TVLRGB{0, 255, 0});
    bitmap.SetPixelRGB(1, 1, TVLRGB{0, 0, 255});
    struct TCase {
        double Gamma;
        uint8_t Grey;
    };
    for (const TCase c : {TCase{0, 64}, TCase{1, 64}, TCase{2, 128}}) {
        SCOPED_TRACE(c.Gamma);
        auto target = FilledBitmap(10, 10, clWhite);
        bitmap.RenderToCanvas(target->Canvas(), 1, 1, 4, 6, rfNone, c.Gamma);
        TCanvas* canvas = target->Canvas();
        EXPECT_EQ(CanvasRGB(canvas, 1, 1), (TVLRGB{c.Grey, c.Grey, c.Grey}));
        EXPECT_EQ(CanvasRGB(canvas, 2, 3), (TVLRGB{c.Grey, c.Grey, c.Grey}));
        EXPECT_EQ(CanvasRGB(canvas, 4, 3), (TVLRGB{255, 0, 0}));
        EXPECT_EQ(CanvasRGB(canvas, 1, 6), (TVLRGB{0, 255, 0}));
        EXPECT_EQ(CanvasRGB(canvas, 4, 6), (TVLRGB{0, 0, 255}));
        EXPECT_EQ(canvas->Pixels(5, 6), clWhite);
        EXPECT_EQ(canvas->Pixels(4, 7), clWhite);
        EXPECT_EQ(canvas->Pixels(0, 0), clWhite);
    }
    auto untouched = FilledBitmap(4, 4, clWhite);
    bitmap.RenderToCanvas(untouched->Canvas(), 0, 0, 0, 3, rfNone, 1);
    TVLBitmap empty;
    empty.RenderToCanvas(untouched->Canvas(), 0, 0, 3, 3, rfNone, 1);
    EXPECT_TRUE(SameArea(*untouched, *FilledBitmap(4, 4, clWhite)));
}

TEST(CanvasOutput, ResampledRenderingInStripsEqualsTheResampledPicture) {
    TVLBitmap source(23, 17, vl24RGB);
    FillNoise(source, 7);
    TVLBitmap expected(31, 29, vl24RGB);
    _ResampleEx(source, expected, rfTriangle);
    for (const int64_t minFileSize : {int64_t{1} << 30, int64_t{4 * 96 * 3}, int64_t{0}}) {
        SCOPED_TRACE(minFileSize);
        source.MinFileSize = minFileSize; // one strip, strips of 3 rows, strips of 1 row
        auto target = FilledBitmap(40, 40, clWhite);
        source.RenderToCanvas(target->Canvas(), 2, 3, 31, 29, rfTriangle, 1);
        bool same = true;
        for (int32_t y = 0; y < 29 && same; ++y)
            for (int32_t x = 0; x < 31 && same; ++x)
                same = CanvasRGB(target->Canvas(), 2 + x, 3 + y) == expected.GetPixelRGB(x, y);
        EXPECT_TRUE(same);
        EXPECT_EQ(target->Canvas()->Pixels(33, 31), clWhite);
        EXPECT_EQ(target->Canvas()->Pixels(1, 3), clWhite);
    }
}

TEST(CanvasOutput, AOnePixelPictureResampledByEveryFilterIsFlat) {
    TVLBitmap dot(1, 1, vl24RGB);
    std::memcpy(dot.GetScanline(0), std::array<uint8_t, 3>{30, 140, 250}.data(), 3);
    for (int f = rfTriangle; f <= rfBicubic; ++f) {
        SCOPED_TRACE(f);
        auto target = FilledBitmap(9, 7, clWhite);
        dot.RenderToCanvas(target->Canvas(), 1, 1, 6, 5, static_cast<TResampleFilter>(f), 1);
        bool same = true;
        for (int32_t y = 1; y < 6; ++y)
            for (int32_t x = 1; x < 7; ++x)
                same = same && CanvasRGB(target->Canvas(), x, y) == (TVLRGB{30, 140, 250});
        EXPECT_TRUE(same);
    }
}

TEST(CanvasOutput, OnlyOneBitAndColourPicturesAreResampled) {
    // A grey picture with a filter is stretched nearest-pixel in its own format.
    TVLBitmap grey(5, 3, vl8g);
    FillNoise(grey, 3);
    TVLBitmap stretched(12, 9, vl8g);
    _VLBmpStretchEx(grey, stretched);
    auto filtered = FilledBitmap(12, 9, clWhite);
    grey.RenderToCanvas(filtered->Canvas(), 0, 0, 12, 9, rfBilinear, 1);
    bool same = true;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            const uint8_t v = stretched.GetPixel8(x, y);
            same = same && CanvasRGB(filtered->Canvas(), x, y) == (TVLRGB{v, v, v});
        }
    EXPECT_TRUE(same);

    // A 1-bit picture is resampled into grey levels.
    TVLBitmap bits(2, 1, vl1g);
    bits.Fill(0);
    FillRowBits(bits.GetScanline(0), 0, 1, true);
    auto target = FilledBitmap(8, 1, clRed);
    bits.RenderToCanvas(target->Canvas(), 0, 0, 8, 1, rfTriangle, 1);
    const TVLRGB left = CanvasRGB(target->Canvas(), 0, 0);
    const TVLRGB right = CanvasRGB(target->Canvas(), 7, 0);
    EXPECT_EQ(left.r, left.b);
    EXPECT_GT(left.r, right.r);
    const TVLRGB middle = CanvasRGB(target->Canvas(), 4, 0);
    EXPECT_GT(middle.r, 0);
    EXPECT_LT(middle.r, 255);
}

TEST(CanvasOutput, PrintsThroughThePrinterCanvas) {
    TVLBitmap bitmap(6, 4, vl24RGB);
    FillNoise(bitmap, 11);
    TPrinter printer;
    printer.SetPageSize(20, 20);
    printer.BeginDoc();
    PrintPict(printer.Canvas(), 3, 5, 2, 4, 1, 2, bitmap);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(CanvasRGB(printer.Canvas(), 3 + x, 5 + y), bitmap.GetPixelRGB(2 + x, 1 + y))
                << x << "," << y;
    EXPECT_EQ(printer.Canvas()->Pixels(7, 5), clWhite);
    EXPECT_EQ(printer.Canvas()->Pixels(3, 7), clWhite);
    printer.Abort();
}

TEST(CanvasOutput, HintBoxStaysInsideAndGivesTheBackgroundBack) {
    auto target = FilledBitmap(120, 60, clWhite);
    TCanvas* canvas = target->Canvas();
    for (int32_t x = 0; x < 120; x += 3) // a pattern to restore
        canvas->SetPixels(x, x % 60, RGB(static_cast<uint8_t>(x), 40, 200));
    auto before = FilledBitmap(120, 60, clWhite);
    before->Canvas()->Draw(0, 0, target.get());

    TFont font;
    font.SetName(u"Arial");
    font.SetSize(9);
    TBrush brush;
    brush.SetColor(clYellow);
    std::unique_ptr<TBitmap> saved;
    int32_t x = 110, y = -5;
    DrawHintBox(canvas, x, y, u"Hint", &font, &brush, saved, 120, 60, clWhite, clGray);
    ASSERT_TRUE(saved);
    const int32_t boxWidth = canvas->TextWidth(u"Hint") + 12;
    EXPECT_EQ(x, 120 - boxWidth - 1);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(saved->Width(), boxWidth);
    EXPECT_EQ(canvas->Pixels(x + 7, y + 7), clYellow);
    EXPECT_EQ(canvas->Pixels(x + 6, y + 6), clWhite); // the frame's top-left colour
    EXPECT_FALSE(SameArea(*target, *before));

    canvas->Draw(x, y, saved.get());
    EXPECT_TRUE(SameArea(*target, *before));
}

TEST(CanvasOutput, TranslucentHintBoxBlendsOverTheBackground) {
    InitializeCanvasUnit();
    AcquireGdiPlus();
    auto target = FilledBitmap(100, 50, clBlue);
    int32_t x = -10, y = -3;
    DrawTranslucentHintBox(target->Canvas(), x, y, u"12 x 34", u"1000 x 1000");
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // Half of the yellow brush over blue.
    const TVLRGB inside = CanvasRGB(target->Canvas(), 8, 8);
    EXPECT_NEAR(inside.r, 128, 2);
    EXPECT_NEAR(inside.g, 128, 2);
    EXPECT_NEAR(inside.b, 175, 2);
    EXPECT_EQ(target->Canvas()->Pixels(5, 5), clBlue);
    EXPECT_EQ(target->Canvas()->Pixels(99, 49), clBlue);
    ReleaseGdiPlus();
}

namespace {

// The lines of a log file without their date and time.
std::vector<std::string> LogMessages(const std::filesystem::path& File) {
    std::vector<std::string> messages;
    std::ifstream in(File);
    for (std::string line; std::getline(in, line);)
        messages.push_back(line.size() > 20 ? line.substr(20) : line);
    return messages;
}

} // namespace

TEST(CanvasOutput, TraceTextsGoToTheDebugLog) {
    const auto file = UniqueTempPath("canvas-log");
    DebugLogFileName = StrFromUtf8(file.string());
    TVLBitmap source(6, 4, vl24RGB);
    source.MinFileSize = 4 * 2 * 32; // strips of 2 rows of 32 bytes
    auto target = FilledBitmap(20, 20, clWhite);
    source.RenderToCanvas(target->Canvas(), 0, 0, 10, 3, rfTriangle, 2);
    const std::vector<std::string> filtered = {"TVLBitmap.RenderToCanvas: begin",
                                               "TVLBitmap.RenderToCanvas: stripHeight=2",
                                               "TVLBitmap.RenderToCanvas: allocating 10x3",
                                               "TVLBitmap.RenderToCanvas: _ResampleEx",
                                               "TVLBitmap.RenderToCanvas: gamma",
                                               "TVLBitmap.RenderToCanvas: PrintPict y=0",
                                               "PrintPict: calling _CopyBitmaptoDIBEx",
                                               "_CopyBitmaptoDIBEx: begin",
                                               "PrintPict: calling _DIBDrawTo",
                                               "PrintPict: calling GlobalFree",
                                               "TVLBitmap.RenderToCanvas: PrintPict y=2",
                                               "PrintPict: calling _CopyBitmaptoDIBEx",
                                               "_CopyBitmaptoDIBEx: begin",
                                               "PrintPict: calling _DIBDrawTo",
                                               "PrintPict: calling GlobalFree",
                                               "TVLBitmap.RenderToCanvas: end"};
    EXPECT_EQ(LogMessages(file), filtered);
    std::filesystem::remove(file);

    TVLBitmap grey(3, 3, vl8g);
    grey.RenderToCanvas(target->Canvas(), 0, 0, 5, 5, rfBilinear, 1);
    grey.RenderToCanvas(target->Canvas(), 0, 0, 5, 5, rfNone, 1);
    auto messages = LogMessages(file);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[3], "TVLBitmap.RenderToCanvas: _VLBmpStretchEx");
    const std::vector<std::string> unfiltered = {
        "TVLBitmap.RenderToCanvas: begin",
        "TVLBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0", "_CopyBitmaptoDIBEx: begin",
        "TVLBitmap.RenderToCanvas: calling _DIBDrawTo", "TVLBitmap.RenderToCanvas: end"};
    EXPECT_EQ(std::vector<std::string>(messages.end() - 5, messages.end()), unfiltered);
    std::filesystem::remove(file);

    // Without a log file nothing is written.
    DebugLogFileName.clear();
    grey.RenderToCanvas(target->Canvas(), 0, 0, 5, 5, rfNone, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
}
