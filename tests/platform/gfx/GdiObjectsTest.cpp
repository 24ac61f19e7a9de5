// Device contexts and drawing objects: handle lifetimes, selection rules, DIB sections of every
// depth and row order, object descriptions, pixels and colour mapping, global memory blocks.
#include "GdiPictures.h"
#include "platform/gfx/GdiInternal.h"

#include "platform/gfx/GlobalMemory.h"

#include <cstring>

namespace {

using gdi_test::Surface;

TEST(GdiHandles, DeletedOrForeignHandlesFailCleanly) {
    // The device context comes first: nothing may be allocated between the pen's deletion and
    // its use, or the new object could take the freed address (a reused handle refers to the new
    // object, as the system's handles do).
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    ASSERT_NE(pen, nullptr);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen)); // already gone
    EXPECT_EQ(SelectObject(dc, pen), nullptr);
    int local = 0;
    EXPECT_EQ(SelectObject(dc, &local), nullptr);
    EXPECT_FALSE(DeleteObject(&local));
    EXPECT_FALSE(DeleteObject(dc)); // a device context is not an object to delete
    EXPECT_EQ(GetObjectW(&local, 0, nullptr), 0);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(LineTo(dc, 1, 1));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
}

TEST(GdiHandles, SelectedObjectsCannotBeDeletedAndStockObjectsStay) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(0x123456);
    HGDIOBJ previous = SelectObject(dc, brush);
    EXPECT_EQ(previous, GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(dc, previous), brush);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
    LOGPEN pen;
    EXPECT_EQ(GetObjectW(GetStockObject(BLACK_PEN), sizeof(pen), &pen), int32_t(sizeof(pen)));
    EXPECT_EQ(pen.lopnStyle, PS_SOLID);
    EXPECT_EQ(GetStockObject(99), nullptr);
    DeleteDC(dc);
}

TEST(GdiHandles, ABitmapIsSelectedIntoOneDeviceContextAtATime) {
    Surface s(2, 2);
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, s.Bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(s.Bitmap));
    // A new memory device context holds a 1 x 1 monochrome bitmap, so compatible bitmaps made
    // from it are monochrome.
    HBITMAP mono = CreateCompatibleBitmap(other, 4, 4);
    BITMAP info;
    ASSERT_EQ(GetObjectW(mono, sizeof(info), &info), int32_t(sizeof(info)));
    EXPECT_EQ(info.bmBitsPixel, 1);
    HBITMAP colour = CreateCompatibleBitmap(s.Dc, 4, 4);
    ASSERT_EQ(GetObjectW(colour, sizeof(info), &info), int32_t(sizeof(info)));
    EXPECT_EQ(info.bmBitsPixel, 32);
    DeleteObject(mono);
    DeleteObject(colour);
    DeleteDC(other);
}

TEST(GdiDibSection, RowOrderStrideAndDescription) {
    struct Case {
        uint16_t bits;
        bool topDown;
        int32_t stride;
    };
    const Case cases[] = {{1, false, 4},   {4, false, 4},  {8, true, 8},
                          {16, false, 12}, {24, true, 16}, {32, false, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << (c.topDown ? " top-down" : " bottom-up"));
        Surface s(5, 3, c.bits, c.topDown, {{0, 0, 0, 0}, {255, 255, 255, 0}});
        ASSERT_NE(s.Bitmap, nullptr);
        DIBSECTION ds;
        ASSERT_EQ(GetObjectW(s.Bitmap, sizeof(ds), &ds), int32_t(sizeof(ds)));
        EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
        EXPECT_EQ(ds.dsBm.bmHeight, 3);
        EXPECT_EQ(ds.dsBm.bmBits, s.Bits);
        EXPECT_EQ(ds.dsBmih.biHeight, c.topDown ? -3 : 3);
        // Pixel (0, 0) is the top-left pixel: in the first row in memory top-down, in the last
        // bottom-up.
        SetPixel(s.Dc, 0, 0, 0xFFFFFF);
        const auto* bytes = static_cast<const uint8_t*>(s.Bits);
        const uint8_t* top = c.topDown ? bytes : bytes + 2 * c.stride;
        EXPECT_NE(top[0], 0);
        const auto changed = 3 * c.stride - std::count(bytes, bytes + 3 * c.stride, 0);
        EXPECT_EQ(changed, top + c.stride - top - std::count(top, top + c.stride, 0));
    }
}

TEST(GdiDibSection, RefusesHeadersItCannotDraw) {
    struct Case {
        const char* what;
        int32_t width, height;
        uint16_t bits;
        uint32_t compression;
    };
    const Case cases[] = {{"zero width", 0, 4, 24, BI_RGB},
                          {"zero height", 4, 0, 24, BI_RGB},
                          {"unknown depth", 4, 4, 12, BI_RGB},
                          {"compressed", 4, 4, 8, 1},
                          {"bit fields of 24 bits", 4, 4, 24, BI_BITFIELDS},
                          {"rows beyond any memory", 0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BITMAPINFO bmi{};
        bmi.bmiHeader.biWidth = c.width;
        bmi.bmiHeader.biHeight = c.height;
        bmi.bmiHeader.biBitCount = c.bits;
        bmi.bmiHeader.biCompression = c.compression;
        void* bits = &bmi;
        EXPECT_EQ(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
}

TEST(GdiPixels, IndexedSurfacesTakeTheNearestTableColour) {
    const std::vector<TRGBQuad> table = {{0, 0, 0, 0}, {0, 0, 200, 0}, {255, 255, 255, 0}};
    Surface s(3, 1, 8, false, table);
    EXPECT_EQ(SetPixel(s.Dc, 0, 0, RGB(250, 10, 10)), COLORREF(RGB(200, 0, 0)));
    EXPECT_EQ(SetPixel(s.Dc, 1, 0, RGB(90, 90, 90)), 0u);
    EXPECT_EQ(SetPixel(s.Dc, 2, 0, RGB(200, 200, 200)), COLORREF(0xFFFFFF));
    const auto* row = static_cast<const uint8_t*>(s.Bits);
    EXPECT_EQ(row[0], 1);
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 2);
    EXPECT_EQ(GetPixel(s.Dc, 3, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(s.Dc, -1, 0, 0), CLR_INVALID);
    TRGBQuad read[3];
    EXPECT_EQ(GetDIBColorTable(s.Dc, 1, 5, read), 2u);
    EXPECT_EQ(read[0], table[1]);
    const TRGBQuad green{0, 255, 0, 0};
    EXPECT_EQ(SetDIBColorTable(s.Dc, 1, 1, &green), 1u);
    EXPECT_EQ(GetPixel(s.Dc, 0, 0), COLORREF(RGB(0, 255, 0)));
}

TEST(GdiPixels, SixteenBitLayoutsRoundTripTheirBits) {
    Surface s(1, 1, 16);
    EXPECT_EQ(SetPixel(s.Dc, 0, 0, RGB(255, 128, 8)), COLORREF(RGB(255, 132, 8)));
    EXPECT_EQ(*static_cast<const uint16_t*>(s.Bits), (31 << 10) | (16 << 5) | 1);
}

TEST(GdiPixels, DrawingWritesZeroIntoTheFourthByte) {
    Surface s(2, 1, 32);
    std::memset(s.Bits, 0xAB, 8);
    SetPixel(s.Dc, 0, 0, RGB(1, 2, 3));
    const auto* bytes = static_cast<const uint8_t*>(s.Bits);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[7], 0xAB); // the untouched pixel keeps its fourth byte
}

TEST(GdiDeviceContext, StateSettersReturnThePreviousValueAndRefuseBadValues) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
    EXPECT_EQ(SetROP2(dc, 17), 0);
    EXPECT_EQ(GetROP2(dc), R2_XORPEN);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 3), 0);
    EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), BLACKONWHITE);
    EXPECT_EQ(SetPolyFillMode(dc, WINDING), ALTERNATE);
    EXPECT_EQ(SetBkColor(dc, 0x123456), 0xFFFFFFu);
    EXPECT_EQ(SetTextColor(dc, 0x654321), 0u);
    TPoint previous;
    MoveToEx(dc, 5, 6, &previous);
    MoveToEx(dc, 7, 8, &previous);
    EXPECT_EQ(previous, TPoint(5, 6));
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
    EXPECT_GT(GetDeviceCaps(dc, HORZRES), 0);
    EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 0);
    DeleteDC(dc);
}

TEST(GdiObjects, DescriptionsOfPensBrushesAndFonts) {
    HPEN pen = CreatePen(PS_DOT, 3, 0x0000FF);
    LOGPEN lp;
    EXPECT_EQ(GetObjectW(pen, 2, &lp), 0); // buffer too small
    ASSERT_EQ(GetObjectW(pen, sizeof(lp), &lp), int32_t(sizeof(lp)));
    EXPECT_EQ(lp.lopnStyle, PS_DOT);
    EXPECT_EQ(lp.lopnWidth.X, 3);
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, 0xFF);
    LOGBRUSH lb;
    ASSERT_EQ(GetObjectW(hatch, sizeof(lb), &lb), int32_t(sizeof(lb)));
    EXPECT_EQ(lb.lbStyle, BS_HATCHED);
    EXPECT_EQ(lb.lbHatch, uintptr_t(HS_CROSS));
    EXPECT_EQ(CreateHatchBrush(6, 0), nullptr);
    LOGFONTW in;
    in.lfHeight = -13;
    std::char_traits<char16_t>::copy(in.lfFaceName, u"Arial", 6);
    HFONT font = CreateFontIndirectW(&in);
    LOGFONTW out;
    ASSERT_EQ(GetObjectW(font, sizeof(out), &out), int32_t(sizeof(out)));
    EXPECT_EQ(out.lfHeight, -13);
    EXPECT_EQ(std::u16string(out.lfFaceName), u"Arial");
    for (HGDIOBJ object : {HGDIOBJ(pen), HGDIOBJ(hatch), HGDIOBJ(font)})
        EXPECT_TRUE(DeleteObject(object));
}

TEST(GlobalMemory, BlocksLockUnlockAndFree) {
    HGLOBAL block = GlobalAlloc(GHND, 10);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 10u);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::count(bytes, bytes + 10, 0), 10);
    EXPECT_EQ(GlobalLock(block), bytes);
    EXPECT_TRUE(GlobalUnlock(block));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFree(block), block); // a second free fails
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, size_t{1} << 50), nullptr);
}

} // namespace
