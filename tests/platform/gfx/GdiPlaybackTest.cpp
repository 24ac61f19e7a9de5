// The calls metafile playback adds to the drawing layer: saved states restored by depth or count,
// shapes of several rings under both fill rules, pies and chords, DIB rows drawn at 1:1.
#include "GdiPictures.h"
#include "platform/gfx/GdiInternal.h"

namespace {

using gdi_test::Picture;
using gdi_test::Surface;

TEST(GdiPlayback, RestoreDCBringsBackModesObjectsAndClipByDepthOrCount) {
    Surface s(4, 1);
    s.Fill(0xFFFFFF);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    HGDIOBJ old = SelectObject(s.Dc, red);
    SetBkMode(s.Dc, TRANSPARENT);
    EXPECT_EQ(SaveDC(s.Dc), 1);
    HBRUSH blue = CreateSolidBrush(0xFF0000);
    SelectObject(s.Dc, blue);
    IntersectClipRect(s.Dc, 0, 0, 1, 1);
    SetBkMode(s.Dc, OPAQUE);
    EXPECT_EQ(SaveDC(s.Dc), 2);
    EXPECT_EQ(SaveDC(s.Dc), 3);
    EXPECT_FALSE(RestoreDC(s.Dc, 4));
    EXPECT_FALSE(RestoreDC(s.Dc, -4));
    EXPECT_TRUE(RestoreDC(s.Dc, -1)); // back to depth 2
    EXPECT_TRUE(RestoreDC(s.Dc, 1));  // back to the first state: red, no clip, transparent
    EXPECT_EQ(GetBkMode(s.Dc), TRANSPARENT);
    EXPECT_FALSE(RestoreDC(s.Dc, 1));
    EXPECT_EQ(GetCurrentObject(s.Dc, OBJ_BRUSH), red);
    const TRect all{0, 0, 4, 1};
    PatBlt(s.Dc, all.Left, all.Top, all.Width(), all.Height(), PATCOPY);
    EXPECT_PICTURE(s, (Picture{"rrrr"}));
    SelectObject(s.Dc, old);
    DeleteObject(red);
    DeleteObject(blue);
}

TEST(GdiPlayback, PolyPolygonFillsItsRingsAsOneShape) {
    // An outer square and an inner one drawn the same way round: alternate leaves a hole,
    // winding fills it; each ring is outlined.
    const TPoint points[] = {{0, 0}, {7, 0}, {7, 7}, {0, 7}, {2, 2}, {5, 2}, {5, 5}, {2, 5}};
    const int32_t counts[] = {4, 4};
    struct Case {
        int32_t mode;
        Picture expected;
    } cases[] = {
        {ALTERNATE,
         {"########", "#rrrrrr#", "#r####r#", "#r#..#r#", "#r#..#r#", "#r####r#", "#rrrrrr#",
          "########"}},
        {WINDING,
         {"########", "#rrrrrr#", "#r####r#", "#r#rr#r#", "#r#rr#r#", "#r####r#", "#rrrrrr#",
          "########"}},
    };
    for (const Case& c : cases) {
        Surface s(8, 8);
        s.Fill(0xFFFFFF);
        HBRUSH red = CreateSolidBrush(0x0000FF);
        HGDIOBJ old = SelectObject(s.Dc, red);
        SetPolyFillMode(s.Dc, c.mode);
        EXPECT_TRUE(PolyPolygon(s.Dc, points, counts, 2));
        EXPECT_FALSE(PolyPolygon(s.Dc, points, counts, 0));
        EXPECT_PICTURE(s, c.expected);
        SelectObject(s.Dc, old);
        DeleteObject(red);
    }
}

TEST(GdiPlayback, PiesAndChordsFillTheirPartOfTheEllipse) {
    Surface s(21, 21);
    s.Fill(0xFFFFFF);
    HPEN none = CreatePen(PS_NULL, 1, 0);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    HGDIOBJ oldPen = SelectObject(s.Dc, none), oldBrush = SelectObject(s.Dc, red);
    // The upper-right quarter, counter-clockwise from the right to the top.
    EXPECT_TRUE(Pie(s.Dc, 0, 0, 21, 21, 21, 10, 10, 0));
    auto at = [&](int32_t x, int32_t y) { return GetPixel(s.Dc, x, y); };
    EXPECT_EQ(at(15, 5), 0x0000FFu);
    EXPECT_EQ(at(5, 5), 0xFFFFFFu);
    EXPECT_EQ(at(15, 15), 0xFFFFFFu);
    // The chord of the lower half cuts straight across the centre.
    s.Fill(0xFFFFFF);
    EXPECT_TRUE(Chord(s.Dc, 0, 0, 21, 21, 0, 10, 21, 10));
    EXPECT_EQ(at(10, 15), 0x0000FFu);
    EXPECT_EQ(at(10, 5), 0xFFFFFFu);
    EXPECT_EQ(at(1, 19), 0xFFFFFFu);
    SelectObject(s.Dc, oldPen);
    SelectObject(s.Dc, oldBrush);
    DeleteObject(none);
    DeleteObject(red);
}

TEST(GdiPlayback, SetDIBitsToDeviceDrawsTheRowsItIsGiven) {
    // A 2 x 4 picture whose rows (from the bottom) are red, green, blue, black; the call gets
    // rows 1 and 2 only and asks for rows 0 to 2: the missing row 0 stays untouched.
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 4;
    info.bmiHeader.biBitCount = 24;
    const uint8_t rows[2][8] = {{0, 255, 0, 0, 255, 0, 0, 0}, {255, 0, 0, 255, 0, 0, 0, 0}};
    Surface s(2, 4);
    s.Fill(0xFFFFFF);
    EXPECT_EQ(SetDIBitsToDevice(s.Dc, 0, 0, 2, 3, 0, 0, 1, 2, rows, &info, DIB_RGB_COLORS), 2);
    EXPECT_PICTURE(s, (Picture{"bb", "gg", "..", ".."}));
}

} // namespace
