// Regions: boolean combinations, polygon fill rules, rounded shapes, and the clip region of a
// device context limiting every kind of drawing.
#include "GdiPictures.h"
#include "platform/gfx/GdiInternal.h"

namespace {

using gdi_test::Surface;

void FillRegion(const Surface& s, HRGN region, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    EXPECT_TRUE(FillRgn(s.Dc, region, brush));
    DeleteObject(brush);
}

TEST(GdiRegion, CombineTable) {
    struct Case {
        const char* what;
        int32_t mode;
        int32_t kind;
        gdi_test::Picture expected;
    };
    const Case cases[] = {{"and", RGN_AND, SIMPLEREGION, {".....", "..#..", "....."}},
                          {"or", RGN_OR, COMPLEXREGION, {"###..", "#####", "..###"}},
                          {"xor", RGN_XOR, COMPLEXREGION, {"###..", "##.##", "..###"}},
                          {"diff", RGN_DIFF, COMPLEXREGION, {"###..", "##...", "....."}},
                          {"copy", RGN_COPY, SIMPLEREGION, {"###..", "###..", "....."}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HRGN a = CreateRectRgn(0, 0, 3, 2);
        HRGN b = CreateRectRgn(5, 3, 2, 1); // corners in any order
        HRGN dest = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(CombineRgn(dest, a, b, c.mode), c.kind);
        Surface s(5, 3);
        s.Fill(0xFFFFFF);
        FillRegion(s, dest, 0);
        EXPECT_PICTURE(s, c.expected);
        // The destination may be one of the sources.
        EXPECT_EQ(CombineRgn(a, a, b, c.mode), c.kind);
        EXPECT_TRUE(EqualRgn(a, dest));
        for (HRGN r : {a, b, dest})
            DeleteObject(r);
    }
}

TEST(GdiRegion, PolygonsCoverThePixelsWhoseCentresLieInside) {
    Surface s(4, 4);
    s.Fill(0xFFFFFF);
    const TPoint triangle[] = {{0, 0}, {4, 0}, {0, 4}};
    HRGN region = CreatePolygonRgn(triangle, 3, ALTERNATE);
    FillRegion(s, region, 0);
    EXPECT_PICTURE(s, {"###.", "##..", "#...", "...."});
    TRect box;
    EXPECT_EQ(GetRgnBox(region, &box), COMPLEXREGION);
    EXPECT_EQ(box, Rect(0, 0, 3, 3));
    DeleteObject(region);
    EXPECT_EQ(CreatePolygonRgn(triangle, 3, 3), nullptr);
}

TEST(GdiRegion, WindingFillsWhatAlternateLeavesOut) {
    // A path around the square twice, the second time through an inner square: with the
    // alternate rule the inner square is a hole, with winding it is covered twice.
    const TPoint path[] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {0, 0},
                           {2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}};
    HRGN alternate = CreatePolygonRgn(path, 10, ALTERNATE);
    HRGN winding = CreatePolygonRgn(path, 10, WINDING);
    EXPECT_FALSE(PtInRegion(alternate, 3, 3));
    EXPECT_TRUE(PtInRegion(winding, 3, 3));
    EXPECT_TRUE(PtInRegion(alternate, 1, 3));
    EXPECT_FALSE(PtInRegion(alternate, 6, 3));
    DeleteObject(alternate);
    DeleteObject(winding);
}

TEST(GdiRegion, RoundedShapesAreSymmetricAndFillTheirBox) {
    struct Case {
        int32_t width, height, cornerW, cornerH;
    };
    const Case cases[] = {{10, 10, 10, 10}, {12, 7, 12, 7}, {9, 13, 9, 13},
                          {10, 8, 4, 4},    {3, 3, 3, 3},   {16, 16, 40, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " corners " << c.cornerW << "x" << c.cornerH);
        HRGN region = CreateRoundRectRgn(0, 0, c.width, c.height, c.cornerW, c.cornerH);
        TRect box;
        GetRgnBox(region, &box);
        EXPECT_EQ(box, Rect(0, 0, c.width, c.height));
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const bool in = PtInRegion(region, x, y);
                EXPECT_EQ(in, PtInRegion(region, c.width - 1 - x, y)) << x << "," << y;
                EXPECT_EQ(in, PtInRegion(region, x, c.height - 1 - y)) << x << "," << y;
            }
        EXPECT_TRUE(PtInRegion(region, c.width / 2, c.height / 2));
        DeleteObject(region);
    }
    HRGN ellipse = CreateEllipticRgn(0, 0, 10, 10);
    HRGN same = CreateRoundRectRgn(0, 0, 10, 10, 10, 10);
    EXPECT_TRUE(EqualRgn(ellipse, same));
    EXPECT_FALSE(PtInRegion(ellipse, 0, 0));
    EXPECT_EQ(OffsetRgn(ellipse, 5, 5), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(ellipse, 10, 10));
    DeleteObject(ellipse);
    DeleteObject(same);
}

TEST(GdiClip, ClipRegionLimitsFillsBlitsAndLines) {
    Surface s(6, 4);
    s.Fill(0xFFFFFF);
    HRGN clip = CreateRectRgn(1, 0, 5, 4);
    EXPECT_EQ(SelectClipRgn(s.Dc, clip), SIMPLEREGION);
    DeleteObject(clip); // the device context keeps its own copy
    EXPECT_EQ(ExcludeClipRect(s.Dc, 2, 1, 4, 3), COMPLEXREGION);
    TRect box;
    EXPECT_EQ(GetClipBox(s.Dc, &box), COMPLEXREGION);
    EXPECT_EQ(box, Rect(1, 0, 5, 4));
    HBRUSH red = CreateSolidBrush(0x0000FF);
    const TRect all = Rect(0, 0, 6, 4);
    FillRect(s.Dc, &all, red);
    EXPECT_PICTURE(s, {".rrrr.", ".r..r.", ".r..r.", ".rrrr."});
    MoveToEx(s.Dc, 0, 1, nullptr);
    LineTo(s.Dc, 6, 1);
    Surface source(6, 4);
    source.Fill(0x00FF00);
    BitBlt(s.Dc, 0, 3, 6, 1, source.Dc, 0, 0, SRCCOPY);
    EXPECT_EQ(SetPixel(s.Dc, 2, 2, 0), CLR_INVALID);
    EXPECT_PICTURE(s, {".rrrr.", ".#..#.", ".r..r.", ".gggg."});
    EXPECT_EQ(IntersectClipRect(s.Dc, 0, 0, 2, 4), SIMPLEREGION);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(s.Dc, copy), 1);
    EXPECT_EQ(GetRgnBox(copy, &box), SIMPLEREGION);
    EXPECT_EQ(box, Rect(1, 0, 2, 4));
    SelectClipRgn(s.Dc, nullptr);
    EXPECT_EQ(GetClipRgn(s.Dc, copy), 0);
    FillRect(s.Dc, &all, red);
    EXPECT_PICTURE(s, {"rrrrrr", "rrrrrr", "rrrrrr", "rrrrrr"});
    DeleteObject(copy);
    DeleteObject(red);
}

} // namespace
