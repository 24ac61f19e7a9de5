// Blits: raster operations on colour and indexed surfaces, the fourth byte of 32-bit pixels,
// stretch modes (nearest, AND/OR shrinking, halftone), mirroring by reversed extents, DIBs from
// memory (bottom-up source rectangles, 1-bit masks inverted onto colour), gradients.
#include "GdiPictures.h"
#include "platform/gfx/GdiInternal.h"

#include "platform/gfx/GlobalMemory.h"

#include <cstring>
#include <random>

namespace {

using gdi_test::Surface;

TEST(GdiBitBlt, RasterOperationsOnOnePixel) {
    // Source red, destination yellow, brush blue: every operation as a colour.
    struct Case {
        const char* name;
        uint32_t rop;
        char expected;
    };
    const Case cases[] = {{"SRCCOPY", SRCCOPY, 'r'},       {"SRCINVERT", SRCINVERT, 'g'},
                          {"SRCAND", SRCAND, 'r'},         {"SRCPAINT", SRCPAINT, 'y'},
                          {"NOTSRCCOPY", NOTSRCCOPY, 'c'}, {"DSTINVERT", DSTINVERT, 'b'},
                          {"PATCOPY", PATCOPY, 'b'},       {"PATINVERT", PATINVERT, '.'},
                          {"BLACKNESS", BLACKNESS, '#'},   {"WHITENESS", WHITENESS, '.'},
                          {"MERGECOPY", MERGECOPY, '#'},   {"SRCERASE", SRCERASE, '#'},
                          {"MERGEPAINT", MERGEPAINT, '.'}, {"NOTSRCERASE", NOTSRCERASE, 'b'},
                          {"PATPAINT", PATPAINT, '.'}};
    Surface source(1, 1);
    source.Paint({"r"});
    HBRUSH blue = CreateSolidBrush(0xFF0000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Surface dest(1, 1);
        dest.Paint({"y"});
        HGDIOBJ old = SelectObject(dest.Dc, blue);
        EXPECT_TRUE(BitBlt(dest.Dc, 0, 0, 1, 1, source.Dc, 0, 0, c.rop));
        SelectObject(dest.Dc, old);
        EXPECT_PICTURE(dest, {std::string(1, c.expected)});
    }
    DeleteObject(blue);
}

TEST(GdiBitBlt, IndexedSurfacesMixIndexes) {
    const std::vector<TRGBQuad> table = {
        {0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {0, 255, 255, 0}};
    Surface source(2, 1, 8, false, table);
    Surface dest(2, 1, 8, false, table);
    source.Paint({"rg"});
    dest.Paint({"gg"});
    // Index 1 (red) xor index 2 (green) is index 3 (yellow); 2 xor 2 is 0 (black).
    BitBlt(dest.Dc, 0, 0, 2, 1, source.Dc, 0, 0, SRCINVERT);
    EXPECT_PICTURE(dest, {"y#"});

    Surface mono(10, 1, 1, false, {{0, 0, 0, 0}, {255, 255, 255, 0}});
    mono.Paint({"#.#.#.#.##"});
    PatBlt(mono.Dc, 1, 0, 8, 1, DSTINVERT);
    EXPECT_PICTURE(mono, {"##.#.#.#.#"});
}

TEST(GdiBitBlt, ColourTablesAreMatchedBetweenIndexedSurfaces) {
    Surface source(2, 1, 8, false, {{0, 0, 255, 0}, {0, 255, 0, 0}});
    Surface dest(2, 1, 8, false, {{0, 255, 0, 0}, {0, 0, 255, 0}});
    source.Paint({"rg"});
    BitBlt(dest.Dc, 0, 0, 2, 1, source.Dc, 0, 0, SRCCOPY);
    EXPECT_PICTURE(dest, {"rg"});
    EXPECT_EQ(static_cast<const uint8_t*>(dest.Bits)[0], 1);
}

TEST(GdiBitBlt, FourthByteOfThirtyTwoBitPixels) {
    Surface source(2, 1, 32);
    Surface dest(2, 1, 32);
    Surface plain(2, 1, 24);
    const uint8_t pixels[8] = {1, 2, 3, 0x80, 4, 5, 6, 0xFF};
    std::memcpy(source.Bits, pixels, 8);
    auto* out = static_cast<uint8_t*>(dest.Bits);
    // A plain copy between 32-bit surfaces carries the fourth byte.
    BitBlt(dest.Dc, 0, 0, 2, 1, source.Dc, 0, 0, SRCCOPY);
    EXPECT_EQ(std::memcmp(out, pixels, 8), 0);
    // Every other drawing leaves 0 there.
    BitBlt(dest.Dc, 0, 0, 2, 1, source.Dc, 0, 0, SRCINVERT);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[7], 0);
    std::memset(out, 0x77, 8);
    BitBlt(dest.Dc, 0, 0, 2, 1, plain.Dc, 0, 0, SRCCOPY);
    EXPECT_EQ(out[3], 0);
    std::memset(out, 0x77, 8);
    PatBlt(dest.Dc, 0, 0, 1, 1, PATCOPY);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[7], 0x77);
}

TEST(GdiBitBlt, ClipsToBothSurfaces) {
    Surface source(2, 2);
    Surface dest(3, 3);
    source.Paint({"rg", "by"});
    dest.Fill(0xFFFFFF);
    BitBlt(dest.Dc, 1, 1, 5, 5, source.Dc, 0, 0, SRCCOPY);
    EXPECT_PICTURE(dest, {"...", ".rg", ".by"});
    BitBlt(dest.Dc, -1, -1, 2, 2, source.Dc, 0, 0, SRCCOPY);
    EXPECT_PICTURE(dest, {"y..", ".rg", ".by"});
    EXPECT_FALSE(BitBlt(dest.Dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
}

// The row copy of a 1:1 SRCCOPY writes the bytes the general stretch writes, for every pair of
// depths, row orders, colour tables, partly outside rectangles and a clip region.
TEST(GdiBitBlt, RowCopiesEqualTheGeneralPathOnEveryFormatPair) {
    std::mt19937 random(18);
    auto table = [&](size_t count) {
        std::vector<TRGBQuad> colors(count);
        for (TRGBQuad& c : colors)
            c = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 0};
        return colors;
    };
    const std::vector<TRGBQuad> shared = table(256);
    struct Format {
        uint16_t Bits;
        bool TopDown;
        std::vector<TRGBQuad> Colors;
    };
    std::vector<Format> formats;
    for (const bool topDown : {false, true}) {
        formats.push_back({1, topDown, table(2)});
        formats.push_back({4, topDown, table(16)});
        formats.push_back({8, topDown, shared});
        formats.push_back({8, topDown, table(256)});
        formats.push_back({16, topDown, {}});
        formats.push_back({24, topDown, {}});
        formats.push_back({32, topDown, {}});
    }
    struct Rect {
        int32_t X, Y, W, H, SrcX, SrcY;
    };
    const Rect rects[] = {{0, 0, 37, 23, 0, 0}, {3, 2, 20, 9, 5, 7},  {-4, -3, 30, 30, 2, 1},
                          {10, 5, 40, 40, -6, -2}, {1, 1, 1, 1, 36, 22}, {7, 0, 33, 23, 0, 3}};
    auto fillRandom = [&](const gdi_test::Surface& s, int32_t bits) {
        const size_t bytes = static_cast<size_t>((s.Width * bits + 31) / 32 * 4) * s.Height;
        auto* p = static_cast<uint8_t*>(s.Bits);
        for (size_t i = 0; i < bytes; ++i)
            p[i] = static_cast<uint8_t>(random());
        return bytes;
    };
    for (const Format& from : formats)
        for (const Format& to : formats)
            for (const bool clipped : {false, true}) {
                SCOPED_TRACE(testing::Message() << from.Bits << (from.TopDown ? "td" : "bu")
                                                << from.Colors.size() << " -> " << to.Bits
                                                << (to.TopDown ? "td" : "bu")
                                                << to.Colors.size() << " clip " << clipped);
                Surface source(37, 23, from.Bits, from.TopDown, from.Colors);
                Surface fast(41, 27, to.Bits, to.TopDown, to.Colors);
                Surface general(41, 27, to.Bits, to.TopDown, to.Colors);
                fillRandom(source, from.Bits);
                const size_t bytes = fillRandom(fast, to.Bits);
                std::memcpy(general.Bits, fast.Bits, bytes);
                HRGN region = CreateRectRgn(2, 3, 30, 20);
                HRGN hole = CreateRectRgn(8, 8, 12, 12);
                CombineRgn(region, region, hole, RGN_DIFF);
                for (const Surface* s : {&fast, &general})
                    SelectClipRgn(s->Dc, clipped ? region : nullptr);
                DeleteObject(hole);
                DeleteObject(region);
                for (const Rect& r : rects) {
                    GdiFastCopies = false;
                    BitBlt(general.Dc, r.X, r.Y, r.W, r.H, source.Dc, r.SrcX, r.SrcY, SRCCOPY);
                    GdiFastCopies = true;
                    BitBlt(fast.Dc, r.X, r.Y, r.W, r.H, source.Dc, r.SrcX, r.SrcY, SRCCOPY);
                    ASSERT_EQ(std::memcmp(fast.Bits, general.Bits, bytes), 0)
                        << r.X << "," << r.Y << " " << r.W << "x" << r.H;
                }
                StretchBlt(general.Dc, 0, 0, 41, 27, source.Dc, 0, 0, 41, 27, SRCCOPY);
                GdiFastCopies = false;
                StretchBlt(fast.Dc, 0, 0, 41, 27, source.Dc, 0, 0, 41, 27, SRCCOPY);
                GdiFastCopies = true;
                ASSERT_EQ(std::memcmp(fast.Bits, general.Bits, bytes), 0);
            }
}

// A surface copied onto itself moves its picture as if the source were read first, in either
// direction.
TEST(GdiBitBlt, ASurfaceCopiedOntoItselfMovesItsPicture) {
    for (const uint16_t bits : {4, 24, 32})
        for (const bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " top-down " << topDown);
            const std::vector<TRGBQuad> table = {{255, 255, 255, 0}, {0, 0, 0, 0},
                                                 {0, 0, 255, 0},     {0, 255, 0, 0},
                                                 {255, 0, 0, 0},     {0, 255, 255, 0},
                                                 {255, 255, 0, 0}};
            Surface s(4, 4, bits, topDown, bits == 4 ? table : std::vector<TRGBQuad>{});
            s.Paint({"rgb.", "#.yg", "b#r.", ".gcr"});
            BitBlt(s.Dc, 1, 1, 3, 3, s.Dc, 0, 0, SRCCOPY);
            EXPECT_PICTURE(s, {"rgb.", "#rgb", "b#.y", ".b#r"});
            BitBlt(s.Dc, 0, 0, 4, 4, s.Dc, 1, 2, SRCCOPY);
            EXPECT_PICTURE(s, {"#.y.", "b#rb", "b#.y", ".b#r"});
        }
}

TEST(GdiStretchBlt, ModesAndMirrors) {
    struct Case {
        const char* what;
        int32_t mode;
        std::string source;
        int32_t x, width, srcX, srcWidth;
        std::string expected;
    };
    const Case cases[] = {
        {"nearest, enlarged", COLORONCOLOR, "rgb", 0, 5, 0, 3, "rrgbb"},
        {"nearest, shrunk", COLORONCOLOR, "rgby", 0, 2, 0, 4, "gy"},
        {"and of shrunk pixels", BLACKONWHITE, "r.g.", 0, 2, 0, 4, "rg"},
        {"or of shrunk pixels", WHITEONBLACK, "#r#g", 0, 2, 0, 4, "rg"},
        {"and mode enlarges like nearest", BLACKONWHITE, "rg", 0, 4, 0, 2, "rrgg"},
        {"halftone averages", HALFTONE, "#.#.", 0, 2, 0, 4, "oo"},
        {"halftone enlarged", HALFTONE, "#.", 0, 3, 0, 2, "#o."},
        {"halftone same size copies", HALFTONE, "rgby", 0, 4, 0, 4, "rgby"},
        {"mirrored destination", COLORONCOLOR, "rgby", 3, -4, 0, 4, "ybgr"},
        {"mirrored source", COLORONCOLOR, "rgby", 0, 4, 3, -4, "ybgr"},
        {"both mirrored", COLORONCOLOR, "rgby", 3, -4, 3, -4, "rgby"},
        {"mirrored and shrunk", COLORONCOLOR, "rgby", 1, -2, 0, 4, "yg.."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto width = static_cast<int32_t>(c.expected.size());
        Surface source(static_cast<int32_t>(c.source.size()), 1);
        source.Paint({c.source});
        Surface dest(width, 1);
        dest.Fill(0xFFFFFF);
        SetStretchBltMode(dest.Dc, c.mode);
        EXPECT_TRUE(
            StretchBlt(dest.Dc, c.x, 0, c.width, 1, source.Dc, c.srcX, 0, c.srcWidth, 1, SRCCOPY));
        EXPECT_PICTURE(dest, {c.expected});
    }
}

TEST(GdiStretchBlt, VerticalMirror) {
    Surface source(1, 3);
    source.Paint({"r", "g", "b"});
    Surface dest(1, 3);
    StretchBlt(dest.Dc, 0, 2, 1, -3, source.Dc, 0, 0, 1, 3, SRCCOPY);
    EXPECT_PICTURE(dest, {"b", "g", "r"});
}

// A packed 2 x 2 DIB: rows "rg" over "by", in the order Bits and the height sign say.
struct SmallDib {
    explicit SmallDib(bool topDown) {
        info.bmiHeader.biWidth = 2;
        info.bmiHeader.biHeight = topDown ? -2 : 2;
        info.bmiHeader.biBitCount = 24;
        const uint8_t top[6] = {0, 0, 255, 0, 255, 0};
        const uint8_t bottom[6] = {255, 0, 0, 0, 255, 255};
        std::memcpy(bits + (topDown ? 0 : 8), top, 6);
        std::memcpy(bits + (topDown ? 8 : 0), bottom, 6);
    }
    BITMAPINFO info{};
    uint8_t bits[16] = {};
};

TEST(GdiStretchDIBits, SourceRowsOfBottomUpDibsCountFromTheBottom) {
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        SmallDib dib(topDown);
        Surface dest(2, 1);
        EXPECT_EQ(StretchDIBits(dest.Dc, 0, 0, 2, 1, 0, 0, 2, 1, dib.bits, &dib.info,
                                DIB_RGB_COLORS, SRCCOPY),
                  1);
        EXPECT_PICTURE(dest, {topDown ? "rg" : "by"});
        Surface whole(2, 2);
        StretchDIBits(whole.Dc, 0, 0, 2, 2, 0, 0, 2, 2, dib.bits, &dib.info, DIB_RGB_COLORS,
                      SRCCOPY);
        EXPECT_PICTURE(whole, {"rg", "by"});
    }
}

TEST(GdiStretchDIBits, OneBitMaskInvertsAColourSurface) {
    // The mask's set bits pass white through SRCINVERT, inverting the pixels under them.
    struct {
        BITMAPINFOHEADER header;
        TRGBQuad colors[2];
    } info{};
    info.header.biWidth = 4;
    info.header.biHeight = 1;
    info.header.biBitCount = 1;
    info.colors[1] = {255, 255, 255, 0};
    const uint8_t bits[4] = {0xA0, 0, 0, 0}; // 1 0 1 0
    Surface dest(8, 1);
    dest.Paint({"rgbyrgby"});
    StretchDIBits(dest.Dc, 0, 0, 8, 1, 0, 0, 4, 1, bits, reinterpret_cast<const BITMAPINFO*>(&info),
                  DIB_RGB_COLORS, SRCINVERT);
    EXPECT_PICTURE(dest, {"cmbycmby"});
}

TEST(GdiStretchDIBits, PackedDibInAGlobalBlock) {
    // Header, a two-entry colour table and 1-bit rows bottom-up, as packed DIBs travel.
    const size_t size = sizeof(BITMAPINFOHEADER) + 2 * sizeof(TRGBQuad) + 2 * 4;
    HGLOBAL block = GlobalAlloc(GHND, size);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bytes);
    *header = BITMAPINFOHEADER{};
    header->biWidth = 3;
    header->biHeight = 2;
    header->biBitCount = 1;
    auto* colors = reinterpret_cast<TRGBQuad*>(bytes + sizeof(BITMAPINFOHEADER));
    colors[0] = {0, 0, 255, 0};
    colors[1] = {255, 0, 0, 0};
    uint8_t* rows = bytes + sizeof(BITMAPINFOHEADER) + 2 * sizeof(TRGBQuad);
    rows[0] = 0x20; // bottom row: 0 0 1
    rows[4] = 0xC0; // top row: 1 1 0
    GlobalUnlock(block);

    Surface dest(3, 2);
    auto* locked = static_cast<uint8_t*>(GlobalLock(block));
    SetStretchBltMode(dest.Dc, COLORONCOLOR);
    EXPECT_EQ(StretchDIBits(dest.Dc, 0, 0, 3, 2, 0, 0, 3, 2,
                            locked + sizeof(BITMAPINFOHEADER) + 2 * sizeof(TRGBQuad),
                            reinterpret_cast<const BITMAPINFO*>(locked), DIB_RGB_COLORS, SRCCOPY),
              2);
    GlobalUnlock(block);
    EXPECT_PICTURE(dest, {"bbr", "rrb"});
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GdiStretchDIBits, RefusesBadInput) {
    SmallDib dib(false);
    Surface dest(2, 1);
    EXPECT_EQ(
        StretchDIBits(dest.Dc, 0, 0, 2, 1, 0, 0, 2, 1, nullptr, &dib.info, DIB_RGB_COLORS, SRCCOPY),
        0);
    EXPECT_EQ(StretchDIBits(dest.Dc, 0, 0, 2, 1, 0, 0, 2, 1, dib.bits, &dib.info, DIB_PAL_COLORS,
                            SRCCOPY),
              0);
    dib.info.bmiHeader.biBitCount = 7;
    EXPECT_EQ(StretchDIBits(dest.Dc, 0, 0, 2, 1, 0, 0, 2, 1, dib.bits, &dib.info, DIB_RGB_COLORS,
                            SRCCOPY),
              0);
}

TEST(GdiPatBlt, HatchedPatternsAreAnchoredAtTheBrushOrigin) {
    Surface dest(8, 4);
    dest.Fill(0xFFFFFF);
    HBRUSH hatch = CreateHatchBrush(HS_VERTICAL, 0x0000FF);
    SelectObject(dest.Dc, hatch);
    SetBkColor(dest.Dc, 0x00FF00);
    SetBkMode(dest.Dc, TRANSPARENT); // blits paint the hatch background whatever the mode
    PatBlt(dest.Dc, 0, 0, 8, 2, PATCOPY);
    SetBrushOrgEx(dest.Dc, 2, 0, nullptr);
    PatBlt(dest.Dc, 8, 2, -8, 2, PATCOPY);
    SelectObject(dest.Dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(hatch);
    EXPECT_PICTURE(dest, {"ggggrggg", "ggggrggg", "ggggggrg", "ggggggrg"});
}

TEST(GdiGradientFill, RectanglesRunFromTheFirstColourTowardsTheSecond) {
    Surface dest(4, 2, 32);
    TRIVERTEX v[2];
    v[0] = {0, 0, 0, 0, 0, 0};
    v[1] = {4, 2, 0xFF00, 0, 0, 0x8000};
    GRADIENT_RECT rect{0, 1};
    EXPECT_TRUE(GradientFill(dest.Dc, v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
    const auto* row = static_cast<const uint8_t*>(dest.Bits);
    const uint8_t reds[4] = {0, 63, 127, 191};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(row[4 * x + 2], reds[x]) << x;
        EXPECT_EQ(row[4 * x + 3], 32 * x) << x; // the vertices' alpha goes to the fourth byte
    }
    EXPECT_TRUE(GradientFill(dest.Dc, v, 2, &rect, 1, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(GetPixel(dest.Dc, 3, 0), 0u);
    EXPECT_EQ(GetPixel(dest.Dc, 0, 1), COLORREF(RGB(127, 0, 0)));
    const GRADIENT_RECT outside{0, 2};
    EXPECT_FALSE(GradientFill(dest.Dc, v, 2, &outside, 1, GRADIENT_FILL_RECT_H));
    EXPECT_FALSE(GradientFill(dest.Dc, v, 2, &rect, 1, 2));
}

} // namespace

namespace {

using gdi_test::Surface;

// Premultiplied source pixels over grey (0x80 each): out = source + grey × (255 − alpha) / 255.
TEST(GdiAlphaBlend, PremultipliedSourceOverDestination) {
    Surface source(4, 1, 32, true);
    const uint32_t pixels[] = {0xFFFF0000u, 0x80800000u, 0x00000000u, 0x40202020u};
    std::memcpy(source.Bits, pixels, sizeof(pixels));
    Surface dest(4, 1);
    for (int32_t x = 0; x < 4; ++x)
        SetPixel(dest.Dc, x, 0, RGB(0x80, 0x80, 0x80));
    ASSERT_TRUE(AlphaBlend(dest.Dc, 0, 0, 4, 1, source.Dc, 0, 0, 4, 1,
                           BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
    const COLORREF expected[] = {RGB(0xFF, 0, 0), RGB(0x80 + 0x3F, 0x3F, 0x3F),
                                 RGB(0x80, 0x80, 0x80), RGB(0x20 + 0x5F, 0x20 + 0x5F, 0x20 + 0x5F)};
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(GetPixel(dest.Dc, x, 0), expected[x]) << x;
    // A source rectangle outside the source is refused.
    EXPECT_FALSE(AlphaBlend(dest.Dc, 0, 0, 4, 1, source.Dc, 1, 0, 4, 1,
                            BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
}

} // namespace
