// The printer stand-in writes its pages as PDF or as an image; DrawDib draws DIB rectangles
// nearest-pixel.
#include "platform/gfx/Printer.h"
#include "platform/gfx/DrawDib.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Width, height and RGB bytes of a binary PPM ("P6") file.
struct TPpm {
    int Width = 0;
    int Height = 0;
    std::string Pixels;
};

TPpm ReadPpm(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    TPpm ppm;
    std::string magic;
    int maxValue = 0;
    in >> magic >> ppm.Width >> ppm.Height >> maxValue;
    in.get();
    ppm.Pixels.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return ppm;
}

} // namespace

TEST(Printer, WritesTheFirstPageAsAnImageWithWhatTheCanvasDrew) {
    TPrinter printer;
    printer.FileName = StrFromUtf8(UniqueTempPath("page").string() + ".ppm");
    printer.SetPageSize(40, 30);
    EXPECT_THROW(printer.Canvas(), EPrinter);
    printer.BeginDoc();
    EXPECT_THROW(printer.BeginDoc(), EPrinter);
    printer.Canvas()->Brush()->SetColor(RGB(10, 20, 30));
    printer.Canvas()->FillRect(Rect(5, 6, 15, 16));
    printer.EndDoc();
    EXPECT_FALSE(printer.Printing());

    const auto path = std::filesystem::path(Utf8FromStr(printer.FileName));
    const TPpm ppm = ReadPpm(path);
    std::filesystem::remove(path);
    ASSERT_EQ(ppm.Width, 40);
    ASSERT_EQ(ppm.Height, 30);
    ASSERT_EQ(ppm.Pixels.size(), 40u * 30 * 3);
    auto pixel = [&](int X, int Y) {
        const size_t at = (static_cast<size_t>(Y) * 40 + X) * 3;
        return RGB(static_cast<uint8_t>(ppm.Pixels[at]), static_cast<uint8_t>(ppm.Pixels[at + 1]),
                   static_cast<uint8_t>(ppm.Pixels[at + 2]));
    };
    EXPECT_EQ(pixel(5, 6), RGB(10, 20, 30));
    EXPECT_EQ(pixel(14, 15), RGB(10, 20, 30));
    EXPECT_EQ(pixel(15, 15), clWhite);
    EXPECT_EQ(pixel(4, 6), clWhite);
}

TEST(Printer, WritesEveryPageIntoOnePdfFile) {
    if (!ToolExists("qpdf"))
        SV_SKIP_WITHOUT_REFERENCE("qpdf is missing (scripts/setup.sh installs it)");
    TPrinter printer;
    const auto path = UniqueTempPath("doc").string() + ".pdf";
    printer.FileName = StrFromUtf8(path);
    printer.SetPageSize(300, 200);
    printer.SetResolution(100);
    printer.BeginDoc();
    printer.Canvas()->FillRect(Rect(0, 0, 10, 10));
    printer.NewPage();
    printer.EndDoc();
    std::string pages;
    EXPECT_TRUE(RunTool("qpdf --show-npages '" + path + "'", pages));
    EXPECT_EQ(pages, "2\n");
    std::string check;
    EXPECT_TRUE(RunTool("qpdf --check '" + path + "'", check)) << check;
    std::filesystem::remove(path);
}

TEST(Printer, ReportsAFileItCannotWrite) {
    TPrinter printer;
    printer.FileName = u"/nonexistent-folder/page.png";
    printer.BeginDoc();
    EXPECT_THROW(printer.EndDoc(), EPrinter);
    EXPECT_FALSE(printer.Printing());
}

TEST(DrawDib, StretchesTheSourceRectangleCountedFromTheTopRow) {
    // A 2 x 3 bottom-up 24-bit DIB: rows from the top red, green, blue.
    BITMAPINFOHEADER header;
    header.biWidth = 2;
    header.biHeight = 3;
    header.biBitCount = 24;
    const uint8_t bits[3][8] = {{255, 0, 0, 255, 0, 0, 0, 0},  // bottom: blue
                                {0, 255, 0, 0, 255, 0, 0, 0},  // green
                                {0, 0, 255, 0, 0, 255, 0, 0}}; // top: red
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(8, 8);
    HDC dc = target.Canvas()->Handle();
    HDRAWDIB handle = DrawDibOpen();
    // The middle row (green) stretched over 4 x 4 pixels.
    EXPECT_TRUE(DrawDibDraw(handle, dc, 2, 2, 4, 4, &header, bits, 0, 1, 2, 1, 0));
    EXPECT_EQ(GetPixel(dc, 2, 2), static_cast<COLORREF>(clLime));
    EXPECT_EQ(GetPixel(dc, 5, 5), static_cast<COLORREF>(clLime));
    EXPECT_EQ(GetPixel(dc, 6, 5), static_cast<COLORREF>(clBlack));
    // -1 sizes: the whole DIB at its own size.
    EXPECT_TRUE(DrawDibDraw(handle, dc, 0, 0, -1, -1, &header, bits, 0, 0, -1, -1, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), static_cast<COLORREF>(clRed));
    EXPECT_EQ(GetPixel(dc, 1, 2), static_cast<COLORREF>(clBlue));
    EXPECT_EQ(DrawDibRealize(handle, dc, false), 0u);
    EXPECT_TRUE(DrawDibClose(handle));
    EXPECT_FALSE(DrawDibClose(handle));
    EXPECT_FALSE(DrawDibDraw(handle, dc, 0, 0, -1, -1, &header, bits, 0, 0, -1, -1, 0));
}
