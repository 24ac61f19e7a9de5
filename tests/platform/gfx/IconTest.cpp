// Icon handles and GetDIBits: a monochrome icon's two halves, the bitmaps GetIconInfo hands out,
// rows read back in either order and depth, and handles that are not icons.
#include "platform/gfx/Icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A 32-bit bottom-up DIB section of Width x Height whose pixel i (in storage order) is Pixel(i).
template <class PixelFn> HBITMAP ColourSection(int32_t Width, int32_t Height, PixelFn Pixel) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* p = static_cast<uint32_t*>(bits);
    for (int32_t i = 0; bitmap != nullptr && i < Width * Height; ++i)
        p[i] = Pixel(i);
    return bitmap;
}

struct TDib {
    BITMAPINFOHEADER Header;
    TRGBQuad Table[2];
};

TEST(Icons, AMonochromeIconKeepsItsTwoHalves) {
    // 3 x 2: AND rows 101, 000 over XOR rows 011, 110 (device rows from the top, 16-bit padded).
    const uint8_t rows[8] = {0xA0, 0, 0x00, 0, 0x60, 0, 0xC0, 0};
    HBITMAP mask = CreateBitmap(3, 4, 1, 1, rows);
    ICONINFO info;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    ASSERT_NE(icon, nullptr);
    ICONINFO out;
    ASSERT_TRUE(GetIconInfo(icon, &out));
    // The colour half as 32-bit rows from the top (negative height), the mask as 1-bit rows.
    TDib colour{};
    colour.Header.biBitCount = 32;
    colour.Header.biHeight = -1;
    uint32_t pixels[6] = {};
    EXPECT_EQ(GetDIBits(nullptr, out.hbmColor, 0, 2, pixels, reinterpret_cast<BITMAPINFO*>(&colour),
                        DIB_RGB_COLORS),
              2);
    EXPECT_EQ(colour.Header.biWidth, 3);
    EXPECT_EQ(colour.Header.biHeight, -2);
    const uint32_t expected[6] = {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0};
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof(pixels)), 0);
    TDib andRows{};
    andRows.Header.biBitCount = 1;
    andRows.Header.biHeight = 2;
    uint32_t bits[2] = {};
    EXPECT_EQ(GetDIBits(nullptr, out.hbmMask, 0, 2, bits, reinterpret_cast<BITMAPINFO*>(&andRows),
                        DIB_RGB_COLORS),
              2);
    EXPECT_EQ(andRows.Header.biSizeImage, 8u);
    EXPECT_EQ(bits[0], 0u);    // the bottom row first
    EXPECT_EQ(bits[1], 0xA0u); // 101
    EXPECT_EQ(andRows.Table[1].rgbRed, 255);
    EXPECT_TRUE(DeleteObject(out.hbmColor));
    EXPECT_TRUE(DeleteObject(out.hbmMask));
    EXPECT_TRUE(DestroyIcon(icon));
}

TEST(Icons, ColourPixelsKeepTheirFourthByte) {
    HBITMAP colour = ColourSection(2, 2, [](int32_t i) { return 0x11223344u * (i + 1); });
    HBITMAP mask = CreateBitmap(2, 2, 1, 1, nullptr);
    ICONINFO info;
    info.hbmColor = colour;
    info.hbmMask = mask;
    info.xHotspot = 1;
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(icon, nullptr);
    ICONINFO out;
    ASSERT_TRUE(GetIconInfo(icon, &out));
    EXPECT_EQ(out.xHotspot, 1u);
    TDib dib{};
    dib.Header.biBitCount = 32;
    dib.Header.biHeight = 2;
    uint32_t pixels[4] = {};
    GetDIBits(nullptr, out.hbmColor, 0, 2, pixels, reinterpret_cast<BITMAPINFO*>(&dib),
              DIB_RGB_COLORS);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(pixels[i], 0x11223344u * (i + 1));
    // 24-bit rows drop the fourth byte.
    dib.Header.biBitCount = 24;
    uint8_t rows[16] = {};
    EXPECT_EQ(
        GetDIBits(nullptr, colour, 1, 1, rows, reinterpret_cast<BITMAPINFO*>(&dib), DIB_RGB_COLORS),
        1);
    EXPECT_EQ(rows[0], 0x44u * 3 & 0xFF);
    EXPECT_EQ(dib.Header.biSizeImage, 16u);
    for (HGDIOBJ object :
         {HGDIOBJ(colour), HGDIOBJ(mask), HGDIOBJ(out.hbmColor), HGDIOBJ(out.hbmMask)})
        EXPECT_TRUE(DeleteObject(object));
    EXPECT_TRUE(DestroyIcon(icon));
}

TEST(Icons, HandlesThatAreNotIconsFail) {
    int local = 0;
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(nullptr, &info));
    EXPECT_FALSE(GetIconInfo(reinterpret_cast<HICON>(&local), &info));
    EXPECT_FALSE(DestroyIcon(nullptr));
    EXPECT_EQ(CreateIconIndirect(&info), nullptr); // no mask
    HBITMAP colour = ColourSection(4, 4, [](int32_t) { return 0u; });
    HBITMAP small = CreateBitmap(2, 2, 1, 1, nullptr);
    info.hbmColor = colour;
    info.hbmMask = small;
    EXPECT_EQ(CreateIconIndirect(&info), nullptr); // a mask smaller than the picture
    TDib dib{};
    dib.Header.biBitCount = 16;
    uint32_t pixels[16];
    EXPECT_EQ(GetDIBits(nullptr, colour, 0, 4, pixels, reinterpret_cast<BITMAPINFO*>(&dib),
                        DIB_RGB_COLORS),
              0);
    DeleteObject(colour);
    DeleteObject(small);
}

} // namespace
