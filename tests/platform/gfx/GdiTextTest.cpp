// Text: fonts standing in for the system's faces, stable extents and metrics, output inside the
// text cell, background modes, clipping, quality, the fourth byte, and formatted text.
#include "GdiPictures.h"

#include <cstring>

namespace {

using gdi_test::Picture;
using gdi_test::Surface;

HFONT MakeFont(const char16_t* face, int32_t height, uint8_t quality = DEFAULT_QUALITY,
               int32_t escapement = 0) {
    LOGFONTW lf;
    lf.lfHeight = height;
    lf.lfQuality = quality;
    lf.lfEscapement = escapement;
    std::char_traits<char16_t>::copy(lf.lfFaceName, face,
                                     std::char_traits<char16_t>::length(face) + 1);
    return CreateFontIndirectW(&lf);
}

// A surface with a font selected, the font freed with it.
struct TextSurface : Surface {
    TextSurface(int32_t w, int32_t h, HFONT font, uint16_t bits = 24)
        : Surface(w, h, bits), Font(font) {
        Fill(0xFFFFFF);
        SelectObject(Dc, Font);
    }
    ~TextSurface() {
        SelectObject(Dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(Font);
    }
    TSize Extent(std::u16string_view text) const {
        TSize size;
        EXPECT_TRUE(
            GetTextExtentPoint32W(Dc, text.data(), static_cast<int32_t>(text.size()), &size));
        return size;
    }
    // The smallest rectangle holding every pixel that is not white.
    TRect Ink() const {
        TRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        const Picture p = Take();
        for (int32_t y = 0; y < Height; ++y)
            for (int32_t x = 0; x < Width; ++x)
                if (p[y][x] != '.')
                    r = {std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1),
                         std::max(r.Bottom, y + 1)};
        return r;
    }
    HFONT Font;
};

TEST(GdiText, StandInFacesHaveTheMetricsOfTheFacesTheyReplace) {
    TextSurface arial(1, 1, MakeFont(u"Arial", -13));
    TextSurface liberation(1, 1, MakeFont(u"Liberation Sans", -13));
    TextSurface tahoma(1, 1, MakeFont(u"Tahoma", -13));
    TextSurface dejavu(1, 1, MakeFont(u"DejaVu Sans", -13));
    const std::u16string text = u"The quick brown fox";
    EXPECT_EQ(arial.Extent(text), liberation.Extent(text));
    EXPECT_EQ(tahoma.Extent(text), dejavu.Extent(text));
    EXPECT_NE(arial.Extent(text), tahoma.Extent(text));
}

TEST(GdiText, ExtentsAreStableAndAddUpWithoutKerning) {
    TextSurface s(1, 1, MakeFont(u"Arial", -13));
    const TSize whole = s.Extent(u"AVAVWA");
    EXPECT_EQ(s.Extent(u"AVAVWA"), whole);
    EXPECT_EQ(whole.cx, s.Extent(u"AVA").cx + s.Extent(u"VWA").cx);
    EXPECT_GT(whole.cx, s.Extent(u"iii").cx);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(s.Dc, &tm));
    EXPECT_EQ(whole.cy, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 13); // a negative height is the em size
    EXPECT_EQ(s.Extent(u""), TSize(0, tm.tmHeight));
    TSize size;
    EXPECT_FALSE(GetTextExtentPoint32W(s.Dc, u"x", -1, &size));
}

TEST(GdiText, PositiveHeightIsTheCellHeight) {
    for (int32_t height : {12, 16, 24}) {
        TextSurface s(1, 1, MakeFont(u"Arial", height));
        TEXTMETRICW tm;
        GetTextMetricsW(s.Dc, &tm);
        EXPECT_NEAR(tm.tmHeight, height, 1) << height;
    }
}

TEST(GdiText, OutputStaysInTheCellAndTheBackgroundModeDecidesTheCellFill) {
    for (bool opaque : {false, true}) {
        SCOPED_TRACE(opaque ? "opaque" : "transparent");
        TextSurface s(60, 24, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
        SetTextColor(s.Dc, 0x0000FF);
        SetBkColor(s.Dc, 0x00FF00);
        SetBkMode(s.Dc, opaque ? OPAQUE : TRANSPARENT);
        EXPECT_TRUE(TextOutW(s.Dc, 5, 4, u"Wig", 3));
        const TSize cell = s.Extent(u"Wig");
        const Picture p = s.Take();
        int red = 0;
        for (int32_t y = 0; y < 24; ++y)
            for (int32_t x = 0; x < 60; ++x) {
                const bool inCell = x >= 5 && x < 5 + cell.cx && y >= 4 && y < 4 + cell.cy;
                const char c = p[y][x];
                if (inCell) {
                    EXPECT_TRUE(c == 'r' || c == (opaque ? 'g' : '.')) << x << "," << y;
                } else {
                    EXPECT_EQ(c, '.') << x << "," << y;
                }
                red += c == 'r';
            }
        EXPECT_GT(red, 20);
    }
}

TEST(GdiText, QualityDecidesWhetherEdgesAreSmoothed) {
    for (uint8_t quality : {NONANTIALIASED_QUALITY, ANTIALIASED_QUALITY}) {
        TextSurface s(40, 20, MakeFont(u"Arial", -16, quality));
        SetBkMode(s.Dc, TRANSPARENT);
        TextOutW(s.Dc, 2, 2, u"So", 2);
        const Picture p = s.Take();
        int between = 0;
        for (const std::string& row : p)
            between += static_cast<int>(std::count(row.begin(), row.end(), '?'));
        if (quality == NONANTIALIASED_QUALITY)
            EXPECT_EQ(between, 0);
        else
            EXPECT_GT(between, 0);
    }
}

TEST(GdiText, ClippingOpaqueRectanglesAndTheFourthByte) {
    TextSurface s(40, 20, MakeFont(u"Arial", -16, NONANTIALIASED_QUALITY), 32);
    std::memset(s.Bits, 0x5A, 40 * 20 * 4);
    SetBkMode(s.Dc, TRANSPARENT);
    const TRect clip = Rect(0, 0, 10, 20);
    ExtTextOutW(s.Dc, 2, 2, ETO_CLIPPED, &clip, u"MMMM", 4, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(s.Bits);
    int drawn = 0;
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const uint8_t* px = bytes + (19 - y) * 160 + 4 * x;
            const bool changed = px[0] != 0x5A || px[3] != 0x5A;
            drawn += changed;
            if (changed) {
                EXPECT_LT(x, 10);
                EXPECT_EQ(px[3], 0) << x << "," << y;
            }
        }
    EXPECT_GT(drawn, 0);
    SetBkColor(s.Dc, 0x00FF00);
    const TRect box = Rect(30, 15, 35, 18);
    ExtTextOutW(s.Dc, 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr);
    EXPECT_EQ(GetPixel(s.Dc, 30, 15), 0x00FF00u);
    EXPECT_EQ(GetPixel(s.Dc, 35, 15), 0x5A5A5Au);
}

TEST(GdiText, EscapementTurnsTheText) {
    TextSurface s(60, 60, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY, 900));
    SetBkMode(s.Dc, TRANSPARENT);
    TextOutW(s.Dc, 20, 50, u"Turned", 6);
    const TRect ink = s.Ink();
    EXPECT_GT(ink.Height(), 2 * ink.Width());
    EXPECT_LE(ink.Bottom, 51);
}

TEST(GdiDrawText, MeasuringWithCalcRect) {
    TextSurface s(1, 1, MakeFont(u"Arial", -13));
    TEXTMETRICW tm;
    GetTextMetricsW(s.Dc, &tm);
    TRect r = Rect(10, 20, 11, 21);
    EXPECT_EQ(DrawTextW(s.Dc, u"Two\r\nlines", -1, &r, DT_CALCRECT), 2 * tm.tmHeight);
    EXPECT_EQ(r, Rect(10, 20, 10 + s.Extent(u"lines").cx, 20 + 2 * tm.tmHeight));
    r = Rect(0, 0, 1, 1);
    DrawTextW(s.Dc, u"&File && more", -1, &r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.Right, s.Extent(u"File & more").cx);
    r = Rect(0, 0, 1, 1);
    DrawTextW(s.Dc, u"&File", -1, &r, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(r.Right, s.Extent(u"&File").cx);
    // Word breaks against the rectangle's width.
    r = Rect(0, 0, s.Extent(u"alpha beta").cx, 1);
    EXPECT_EQ(DrawTextW(s.Dc, u"alpha beta gamma", -1, &r, DT_CALCRECT | DT_WORDBREAK),
              2 * tm.tmHeight);
}

TEST(GdiDrawText, AlignmentInTheRectangle) {
    TextSurface s(80, 30, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
    SetBkMode(s.Dc, TRANSPARENT);
    TRect r = Rect(0, 0, 80, 30);
    const int32_t offset = DrawTextW(s.Dc, u"III", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const TRect ink = s.Ink();
    EXPECT_NEAR(ink.Left, 80 - ink.Right, 2);
    EXPECT_NEAR(ink.Top + ink.Bottom, 30, 4);
    TEXTMETRICW tm;
    GetTextMetricsW(s.Dc, &tm);
    EXPECT_EQ(offset, (30 - tm.tmHeight) / 2 + tm.tmHeight);

    TextSurface right(80, 30, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
    SetBkMode(right.Dc, TRANSPARENT);
    DrawTextW(right.Dc, u"III", -1, &r, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    EXPECT_GE(right.Ink().Right, 77);
    EXPECT_GE(right.Ink().Bottom, 30 - tm.tmDescent - 1);
}

TEST(GdiDrawText, EllipsisShortensAndCanWriteTheTextBack) {
    TextSurface s(60, 20, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
    SetBkMode(s.Dc, TRANSPARENT);
    char16_t text[64] = u"A rather long caption here";
    const int32_t width = s.Extent(u"A rather lo").cx;
    TRect r = Rect(0, 0, width, 20);
    DrawTextW(s.Dc, text, -1, &r, DT_END_ELLIPSIS | DT_MODIFYSTRING | DT_SINGLELINE | DT_NOPREFIX);
    const std::u16string shortened(text);
    EXPECT_TRUE(shortened.ends_with(u"...")) << shortened.size();
    EXPECT_LE(s.Extent(shortened).cx, width);
    EXPECT_GT(shortened.size(), 4u);
    EXPECT_LE(s.Ink().Right, width);

    char16_t path[64] = u"/home/user/pictures/holiday/beach.jpg";
    r = Rect(0, 0, s.Extent(u"/home/.../beach.jpg").cx, 20);
    DrawTextW(s.Dc, path, -1, &r, DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_SINGLELINE);
    const std::u16string p(path);
    EXPECT_TRUE(p.starts_with(u"/home")) << p.size();
    EXPECT_TRUE(p.ends_with(u".../beach.jpg"));
}

TEST(GdiDrawText, PrefixCharacterIsUnderlined) {
    TextSurface plain(40, 20, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
    TextSurface marked(40, 20, MakeFont(u"Arial", -13, NONANTIALIASED_QUALITY));
    for (TextSurface* s : {&plain, &marked})
        SetBkMode(s->Dc, TRANSPARENT);
    TRect r = Rect(0, 0, 40, 20);
    DrawTextW(plain.Dc, u"File", -1, &r, DT_SINGLELINE);
    DrawTextW(marked.Dc, u"&File", -1, &r, DT_SINGLELINE);
    EXPECT_GT(marked.Ink().Bottom, plain.Ink().Bottom);
    EXPECT_EQ(DrawTextW(marked.Dc, u"x", -1, nullptr, 0), 0);
}

} // namespace
