// Pens and shapes: end points, pen styles and mixes, wide pens, rectangles and polygons with and
// without a pen, ellipses and arcs, the six hatches, frames, focus rectangles and 3-D edges.
#include "GdiPictures.h"
#include "platform/gfx/GdiInternal.h"

#include <cstring>

namespace {

using gdi_test::Picture;
using gdi_test::Surface;

// Selects a new pen and brush into a device context and frees them at the end of the scope.
class Tools {
public:
    Tools(HDC dc, HPEN pen, HBRUSH brush) : FDc(dc), FPen(pen), FBrush(brush) {
        if (pen != nullptr) FOldPen = SelectObject(dc, pen);
        if (brush != nullptr) FOldBrush = SelectObject(dc, brush);
    }
    ~Tools() {
        if (FPen != nullptr) SelectObject(FDc, FOldPen);
        if (FBrush != nullptr) SelectObject(FDc, FOldBrush);
        DeleteObject(FPen);
        DeleteObject(FBrush);
    }

private:
    HDC FDc;
    HPEN FPen;
    HBRUSH FBrush;
    HGDIOBJ FOldPen = nullptr, FOldBrush = nullptr;
};

TEST(GdiLines, EndPointIsLeftOut) {
    struct Case {
        const char* what;
        TPoint from, to;
        Picture expected;
    };
    const Case cases[] = {
        {"right", {0, 0}, {4, 0}, {"####.", ".....", "....."}},
        {"left", {4, 2}, {0, 2}, {".....", ".....", ".####"}},
        {"down", {1, 0}, {1, 3}, {".#...", ".#...", ".#..."}},
        {"diagonal", {0, 0}, {3, 3}, {"#....", ".#...", "..#.."}},
        {"shallow", {0, 0}, {4, 1}, {"##...", "..##.", "....."}},
        {"steep upwards, halves away from the start", {4, 2}, {3, 0}, {".....", "...#.", "....#"}},
        {"a point draws nothing", {2, 1}, {2, 1}, {".....", ".....", "....."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Surface s(5, 3);
        s.Fill(0xFFFFFF);
        MoveToEx(s.Dc, c.from.X, c.from.Y, nullptr);
        EXPECT_TRUE(LineTo(s.Dc, c.to.X, c.to.Y));
        EXPECT_PICTURE(s, c.expected);
        TPoint at;
        GetCurrentPositionEx(s.Dc, &at);
        EXPECT_EQ(at, c.to);
        // LineDDA reports exactly the pixels the pen draws.
        Surface dda(5, 3);
        dda.Fill(0xFFFFFF);
        LineDDA(
            c.from.X, c.from.Y, c.to.X, c.to.Y,
            [](int32_t x, int32_t y, intptr_t data) {
                SetPixel(reinterpret_cast<Surface*>(data)->Dc, x, y, 0);
            },
            reinterpret_cast<intptr_t>(&dda));
        EXPECT_EQ(dda.Take(), s.Take());
    }
}

TEST(GdiLines, PolylineJoinsSegmentsAndPolygonClosesThem) {
    Surface s(5, 4);
    s.Fill(0xFFFFFF);
    const TPoint points[] = {{0, 0}, {3, 0}, {3, 3}};
    EXPECT_TRUE(Polyline(s.Dc, points, 3));
    EXPECT_PICTURE(s, {"####.", "...#.", "...#.", "....."});
    EXPECT_FALSE(Polyline(s.Dc, points, 1));
    Surface p(5, 4);
    p.Fill(0xFFFFFF);
    SelectObject(p.Dc, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(Polygon(p.Dc, points, 3));
    EXPECT_PICTURE(p, {"####.", ".#.#.", "..##.", "...#."});
}

TEST(GdiPens, StylesAlternateDrawnAndSkippedRuns) {
    struct Case {
        uint32_t style;
        std::string opaque;
    };
    const Case cases[] = {
        {PS_SOLID, "##############################"},
        {PS_DOT, "###ggg###ggg###ggg###ggg###ggg"},
        {PS_DASH, "##################gggggg######"},
        {PS_DASHDOT, "#########gggggg###gggggg######"},
        {PS_DASHDOTDOT, "#########ggg###ggg###ggg######"},
        {PS_ALTERNATE, "#g#g#g#g#g#g#g#g#g#g#g#g#g#g#g"},
        {PS_NULL, ".............................."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        for (bool opaque : {true, false}) {
            Surface s(30, 1);
            s.Fill(0xFFFFFF);
            Tools tools(s.Dc, CreatePen(c.style, 1, 0), nullptr);
            SetBkColor(s.Dc, 0x00FF00);
            SetBkMode(s.Dc, opaque ? OPAQUE : TRANSPARENT);
            MoveToEx(s.Dc, 0, 0, nullptr);
            // Two connected lines continue one pattern.
            LineTo(s.Dc, 13, 0);
            LineTo(s.Dc, 30, 0);
            std::string expected = c.opaque;
            if (!opaque) std::replace(expected.begin(), expected.end(), 'g', '.');
            EXPECT_PICTURE(s, {expected});
        }
    }
}

TEST(GdiPens, WidePensDrawSolidRoundTippedStrokesEndsIncluded) {
    Surface s(9, 5);
    s.Fill(0xFFFFFF);
    Tools tools(s.Dc, CreatePen(PS_DOT, 3, 0x0000FF), nullptr);
    MoveToEx(s.Dc, 2, 2, nullptr);
    LineTo(s.Dc, 6, 2);
    EXPECT_PICTURE(s, {".........", ".rrrrrrr.", ".rrrrrrr.", ".rrrrrrr.", "........."});
}

TEST(GdiPens, MixesOfPenAndDestination) {
    // A red pen over yellow.
    const std::pair<int32_t, char> cases[] = {
        {R2_BLACK, '#'},      {R2_NOTMERGEPEN, 'b'}, {R2_MASKNOTPEN, 'g'}, {R2_NOTCOPYPEN, 'c'},
        {R2_MASKPENNOT, '#'}, {R2_NOT, 'b'},         {R2_XORPEN, 'g'},     {R2_NOTMASKPEN, 'c'},
        {R2_MASKPEN, 'r'},    {R2_NOTXORPEN, 'm'},   {R2_NOP, 'y'},        {R2_MERGENOTPEN, '.'},
        {R2_COPYPEN, 'r'},    {R2_MERGEPENNOT, 'm'}, {R2_MERGEPEN, 'y'},   {R2_WHITE, '.'}};
    for (const auto& [mode, expected] : cases) {
        SCOPED_TRACE(mode);
        Surface s(1, 1);
        s.Paint({"y"});
        Tools tools(s.Dc, CreatePen(PS_SOLID, 1, 0x0000FF), nullptr);
        SetROP2(s.Dc, mode);
        MoveToEx(s.Dc, 0, 0, nullptr);
        LineTo(s.Dc, 1, 0);
        EXPECT_PICTURE(s, {std::string(1, expected)});
    }
}

TEST(GdiPens, XorTwiceRestoresThePicture) {
    Surface s(6, 6);
    s.Paint({"rgbyrg", "bycmrg", "......", "######", "oossoo", "rgbrgb"});
    const Picture before = s.Take();
    SetROP2(s.Dc, R2_NOT);
    SelectObject(s.Dc, GetStockObject(NULL_BRUSH));
    for (int pass = 0; pass < 2; ++pass) {
        Rectangle(s.Dc, 0, 0, 6, 6);
        MoveToEx(s.Dc, 0, 0, nullptr);
        LineTo(s.Dc, 6, 6);
    }
    EXPECT_EQ(s.Take(), before);
}

TEST(GdiShapes, RectanglePolygonAndTheMissingPen) {
    struct Case {
        const char* what;
        bool pen;
        bool polygon;
        Picture expected;
    };
    const Case cases[] = {
        {"rectangle with pen", true, false, {"......", ".####.", ".#rr#.", ".####.", "......"}},
        {"rectangle without pen", false, false, {"......", ".rrr..", ".rrr..", "......", "......"}},
        {"polygon with pen", true, true, {"......", ".#####", ".#rrr#", ".#rrr#", ".#####"}},
        {"polygon without pen", false, true, {"......", ".rrrr.", ".rrrr.", ".rrrr.", "......"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Surface s(6, 5);
        s.Fill(0xFFFFFF);
        Tools tools(s.Dc, c.pen ? nullptr : CreatePen(PS_NULL, 1, 0), CreateSolidBrush(0x0000FF));
        if (c.polygon) {
            const TPoint corners[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
            Polygon(s.Dc, corners, 4);
        } else {
            Rectangle(s.Dc, 5, 4, 1, 1); // corners in any order
        }
        EXPECT_PICTURE(s, c.expected);
    }
}

TEST(GdiShapes, EllipsesAreSymmetricAndTouchTheirBox) {
    for (const TRect& box : {Rect(1, 1, 11, 11), Rect(0, 0, 12, 7), Rect(2, 1, 7, 12)}) {
        SCOPED_TRACE(testing::Message()
                     << box.Left << "," << box.Top << "," << box.Right << "," << box.Bottom);
        Surface s(12, 12);
        s.Fill(0xFFFFFF);
        Tools tools(s.Dc, nullptr, CreateSolidBrush(0x0000FF));
        Ellipse(s.Dc, box.Left, box.Top, box.Right, box.Bottom);
        const Picture p = s.Take();
        for (int32_t y = box.Top; y < box.Bottom; ++y)
            for (int32_t x = box.Left; x < box.Right; ++x) {
                const char c = p[y][x];
                EXPECT_EQ(c, p[y][box.Left + box.Right - 1 - x]) << x << "," << y;
                EXPECT_EQ(c, p[box.Top + box.Bottom - 1 - y][x]) << x << "," << y;
            }
        EXPECT_EQ(p[box.Top][box.Left], '.');
        EXPECT_EQ(p[(box.Top + box.Bottom) / 2][box.Left], '#');
        EXPECT_EQ(p[box.Top][(box.Left + box.Right) / 2], '#');
        EXPECT_EQ(p[(box.Top + box.Bottom) / 2][(box.Left + box.Right) / 2], 'r');
        for (int32_t y = 0; y < 12; ++y) {
            if (box.Right < 12) {
                EXPECT_EQ(p[y][box.Right], '.');
            }
            if (box.Left > 0) {
                EXPECT_EQ(p[y][box.Left - 1], '.');
            }
        }
    }
    Surface small(10, 10);
    small.Fill(0xFFFFFF);
    Ellipse(small.Dc, 0, 0, 10, 10);
    EXPECT_PICTURE(small, {"...####...", ".##....##.", ".#......#.", "#........#", "#........#",
                           "#........#", "#........#", ".#......#.", ".##....##.", "...####..."});
}

TEST(GdiShapes, RoundRectCornersAndArcs) {
    Surface s(10, 8);
    s.Fill(0xFFFFFF);
    SelectObject(s.Dc, GetStockObject(NULL_BRUSH));
    RoundRect(s.Dc, 0, 0, 10, 8, 4, 4);
    EXPECT_PICTURE(s, {".########.", "#........#", "#........#", "#........#", "#........#",
                       "#........#", "#........#", ".########."});
    // From three o'clock counter-clockwise to twelve o'clock: the upper right quarter only.
    Surface a(12, 12);
    a.Fill(0xFFFFFF);
    Arc(a.Dc, 1, 1, 11, 11, 11, 6, 6, 0);
    const Picture p = a.Take();
    int drawn = 0;
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x)
            if (p[y][x] == '#') {
                ++drawn;
                EXPECT_GE(x, 6) << x << "," << y;
                EXPECT_LT(y, 6) << x << "," << y;
            }
    EXPECT_GE(drawn, 6);
}

TEST(GdiBrushes, TheSixHatches) {
    struct Case {
        int32_t hatch;
        Picture expected;
    };
    const Case cases[] = {
        {HS_HORIZONTAL,
         {"........", "........", "........", "rrrrrrrr", "........", "........", "........",
          "........"}},
        {HS_VERTICAL,
         {"....r...", "....r...", "....r...", "....r...", "....r...", "....r...", "....r...",
          "....r..."}},
        {HS_FDIAGONAL,
         {"r.......", ".r......", "..r.....", "...r....", "....r...", ".....r..", "......r.",
          ".......r"}},
        {HS_BDIAGONAL,
         {".......r", "......r.", ".....r..", "....r...", "...r....", "..r.....", ".r......",
          "r......."}},
        {HS_CROSS,
         {"....r...", "....r...", "....r...", "rrrrrrrr", "....r...", "....r...", "....r...",
          "....r..."}},
        {HS_DIAGCROSS,
         {"r......r", ".r....r.", "..r..r..", "...rr...", "...rr...", "..r..r..", ".r....r.",
          "r......r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hatch);
        for (bool opaque : {false, true}) {
            Surface s(8, 8);
            s.Fill(0xFFFFFF);
            HBRUSH brush = CreateHatchBrush(c.hatch, 0x0000FF);
            SetBkColor(s.Dc, 0x00FF00);
            SetBkMode(s.Dc, opaque ? OPAQUE : TRANSPARENT);
            const TRect all = Rect(0, 0, 8, 8);
            FillRect(s.Dc, &all, brush);
            DeleteObject(brush);
            Picture expected = c.expected;
            if (opaque)
                for (std::string& row : expected)
                    std::replace(row.begin(), row.end(), '.', 'g');
            EXPECT_PICTURE(s, expected);
        }
    }
}

TEST(GdiFrames, FrameInvertFocusAndEdges) {
    Surface s(5, 4);
    s.Fill(0xFFFFFF);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    const TRect r = Rect(0, 0, 5, 4);
    FrameRect(s.Dc, &r, red);
    EXPECT_PICTURE(s, {"rrrrr", "r...r", "r...r", "rrrrr"});
    const TRect inner = Rect(1, 1, 4, 3);
    InvertRect(s.Dc, &inner);
    EXPECT_PICTURE(s, {"rrrrr", "r###r", "r###r", "rrrrr"});
    DrawFocusRect(s.Dc, &r);
    EXPECT_PICTURE(s, {"crcrc", "r###r", "c###c", "rcrcr"}); // pixels with x + y even
    DrawFocusRect(s.Dc, &r);
    EXPECT_PICTURE(s, {"rrrrr", "r###r", "r###r", "rrrrr"});
    DeleteObject(red);

    Surface e(5, 5);
    e.Fill(0xFFFFFF);
    TRect edge = Rect(0, 0, 5, 5);
    EXPECT_TRUE(DrawEdge(e.Dc, &edge, EDGE_SUNKEN, BF_RECT | BF_MIDDLE | BF_ADJUST));
    EXPECT_PICTURE(e, {"SSSS.", "SDDL.", "SDFL.", "SLLL.", "....."});
    EXPECT_EQ(edge, Rect(2, 2, 3, 3));
    Surface raised(4, 3);
    raised.Fill(0x0000FF);
    TRect top = Rect(0, 0, 4, 3);
    DrawEdge(raised.Dc, &top, EDGE_RAISED, BF_TOP | BF_BOTTOM);
    // Outer edge on rows 0 and 2, inner edge on row 1 where the bottom colour is drawn last.
    EXPECT_PICTURE(raised, {"LLLr", "SSSS", "DDDD"});
}

TEST(GdiShapes, FourthByteIsZeroWherverShapesDraw) {
    Surface s(6, 6, 32);
    std::memset(s.Bits, 0xEE, 6 * 6 * 4);
    Tools tools(s.Dc, CreatePen(PS_SOLID, 1, 0x112233), CreateSolidBrush(0x445566));
    Rectangle(s.Dc, 0, 0, 3, 3);
    Ellipse(s.Dc, 3, 3, 6, 6);
    const auto* bytes = static_cast<const uint8_t*>(s.Bits);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const uint8_t* p = bytes + (5 - y) * 24 + 4 * x;
            const bool drawn = p[0] != 0xEE;
            EXPECT_EQ(p[3], drawn ? 0 : 0xEE) << x << "," << y;
        }
}

} // namespace
