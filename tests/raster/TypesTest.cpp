// Colour and geometry types: the gamma table and the float HSL conversions against python3, the
// integer HSL conversions, colour packing, and the rectangle functions as tables.
#include "RasterTesting.h"

#include "raster/RasterTypes.h"

#include <cmath>
#include <sstream>

using namespace raster;

namespace {

using Types = RasterTest;

std::vector<double> Reals(const std::string& Text) {
    std::istringstream in(Text);
    return {std::istream_iterator<double>(in), {}};
}

TEST_F(Types, GammaTableAgreesWithPython) {
    std::string out;
    ASSERT_TRUE(RunPython("for i in range(256): print(round(255 * (i / 255) ** 0.7))", "", out));
    const std::vector<double> expected = Reals(out);
    ASSERT_EQ(expected.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(GAMMA_TABLE[i], expected[i]) << i;
    EXPECT_EQ(GAMMA_TABLE[64], 97);
    EXPECT_EQ(GAMMA_TABLE[192], 209);
    SetGamma(1.0f);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(GAMMA_TABLE[i], i);
    SetGamma(0.7f);
}

// The float conversions against python3's colorsys on a 17 x 17 x 17 grid: bytes exact, floats
// within single precision.
TEST_F(Types, FloatHslAgreesWithColorsys) {
    std::string out;
    ASSERT_TRUE(RunPython("import colorsys\n"
                          "g = [i / 16 for i in range(17)]\n"
                          "for h in g:\n"
                          "  for s in g:\n"
                          "    for l in g:\n"
                          "      print(*(round(255 * c) for c in colorsys.hls_to_rgb(h, l, s)))\n"
                          "for r in range(17):\n"
                          "  for gr in range(17):\n"
                          "    for b in range(17):\n"
                          "      c = [min(255, v * 16) / 255 for v in (r, gr, b)]\n"
                          "      print(*colorsys.rgb_to_hls(*c))\n",
                          "", out));
    const std::vector<double> v = Reals(out);
    ASSERT_EQ(v.size(), 2u * 3 * 17 * 17 * 17);
    size_t k = 0;
    for (int h = 0; h <= 16; ++h)
        for (int s = 0; s <= 16; ++s)
            for (int l = 0; l <= 16; ++l, k += 3) {
                const TColor32 c = HSLtoRGB(h / 16.0f, s / 16.0f, l / 16.0f);
                SCOPED_TRACE(testing::Message() << h << " " << s << " " << l);
                EXPECT_EQ(RedComponent(c), v[k]);
                EXPECT_EQ(GreenComponent(c), v[k + 1]);
                EXPECT_EQ(BlueComponent(c), v[k + 2]);
                EXPECT_EQ(AlphaComponent(c), 255);
            }
    for (int r = 0; r <= 16; ++r)
        for (int g = 0; g <= 16; ++g)
            for (int b = 0; b <= 16; ++b, k += 3) {
                float h, l, s;
                RGBtoHSL(
                    Color32(std::min(255, r * 16), std::min(255, g * 16), std::min(255, b * 16)), h,
                    s, l);
                SCOPED_TRACE(testing::Message() << r << " " << g << " " << b);
                // colorsys leaves a hue of 1.0 where the library wraps it to 0.0.
                EXPECT_NEAR(std::fmod(h, 1.0), std::fmod(v[k], 1.0), 1e-6);
                EXPECT_NEAR(l, v[k + 1], 1e-6);
                EXPECT_NEAR(s, v[k + 2], 1e-6);
            }
}

TEST(ColorTypes, IntegerHsl) {
    uint8_t h, s, l;
    RGBtoHSL(0xFFFF0000, h, s, l);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 255);
    EXPECT_EQ(l, 127);
    // Red maximum, green below blue: the raw hue (-255 * 65025 div 1530) + 510 = -10837 + 510,
    // kept to 8 bits.
    RGBtoHSL(0xFFFF0000 | 0xFF, h, s, l);
    EXPECT_EQ(h, static_cast<uint8_t>((-255 * 65025 / (255 * 255 * 6)) + 510));
    RGBtoHSL(0xFF808080, h, s, l);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(l, 128);
    // Integer HSL to RGB: alpha 0 and the six sectors.
    struct Case {
        int32_t h, s, l;
        TColor32 rgb;
    } cases[] = {
        {0, 255, 127, 0x00FD0101},   {85, 255, 127, 0x0003FD01}, {170, 255, 127, 0x000105FD},
        {200, 100, 180, 0x00BF96D2}, {0, 0, 200, 0x00C8C8C8},    {0, 0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HSLtoRGB(c.h, c.s, c.l), c.rgb) << c.h << " " << c.s << " " << c.l;
}

TEST(ColorTypes, Packing) {
    EXPECT_EQ(Color32(clRed), 0xFFFF0000u);
    EXPECT_EQ(Color32(clBtnFace), Color32(static_cast<TColor>(GetSysColor(COLOR_BTNFACE))));
    EXPECT_EQ(Color32(0x12, 0x34, 0x56, 0x78), 0x78123456u);
    EXPECT_EQ(Gray32(0x40, 0x80), 0x80404040u);
    for (TColor c : {0, 0x123456, 0xFFFFFF, 0xFF0000, 0x0000FF})
        EXPECT_EQ(WinColor(Color32(c)), c);
    TPalette32 palette{};
    palette[7] = 0x11223344;
    EXPECT_EQ(Color32(7, palette), 0x11223344u);
    EXPECT_EQ(Intensity(0xFFFFFFFF), 255);
    EXPECT_EQ(Intensity(0x00FF0000), 60);
    EXPECT_EQ(SetAlpha(0x12345678, -5), 0x00345678u);
    EXPECT_EQ(SetAlpha(0x12345678, 300), 0xFF345678u);
    EXPECT_EQ(SetAlpha(0x12345678, 0x80), 0x80345678u);
    uint8_t r, g, b, a;
    Color32ToRGBA(0x78123456, r, g, b, a);
    EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(ArrayOfColor32({1, 2, 3}), (TArrayOfColor32{1, 2, 3}));
}

TEST(ColorTypes, WinPaletteCarriesTheColours) {
    TPalette32 colours{};
    for (int i = 0; i < 256; ++i)
        colours[i] = Color32(i, 255 - i, i / 2, 0x80);
    HPALETTE palette = WinPalette(colours);
    ASSERT_NE(palette, nullptr);
    PALETTEENTRY entries[256];
    ASSERT_EQ(GetPaletteEntries(palette, 0, 256, entries), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(entries[i], (PALETTEENTRY{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                            static_cast<uint8_t>(i / 2), 0}));
    EXPECT_TRUE(DeleteObject(palette));
}

TEST(Geometry, FixedAndPointConversions) {
    EXPECT_EQ(Fixed(1.5f), 0x18000);
    EXPECT_EQ(Fixed(-3), -0x30000);
    EXPECT_EQ(Point(TFloatPoint{2.5f, 3.5f}), (TPoint{2, 4}));
    EXPECT_EQ(Point(TFixedPoint{0x18000, -0x18000}), (TPoint{1, -2}));
    EXPECT_EQ(FloatPoint(TFixedPoint{0x8000, 0x30000}), (TFloatPoint{0.5f, 3.0f}));
    EXPECT_EQ(FixedPoint(0.25f, -1.0f), (TFixedPoint{0x4000, -0x10000}));
    EXPECT_EQ(FixedRect(TRect{1, 2, 3, 4}), (TFixedRect{0x10000, 0x20000, 0x30000, 0x40000}));
    EXPECT_EQ(FloatRect(TFixedRect{0x8000, 0, 0x10000, 0x28000}), (TFloatRect{0.5f, 0, 1, 2.5f}));
}

TEST(Geometry, MakeRectRoundings) {
    const TFloatRect fr{0.5f, 0.5f, 2.5f, 2.5f};
    EXPECT_EQ(MakeRect(fr, rrClosest), (TRect{0, 0, 2, 2}));
    EXPECT_EQ(MakeRect(fr, rrOutside), (TRect{0, 0, 3, 3}));
    EXPECT_EQ(MakeRect(fr, rrInside), (TRect{1, 1, 2, 2}));
    EXPECT_EQ(MakeRect(TFloatRect{1.2f, 1.2f, 1.8f, 1.8f}, rrInside), (TRect{2, 2, 2, 2}));
    const TFixedRect fx{0x8000, 0x8000, 0x28000, 0x28000};
    EXPECT_EQ(MakeRect(fx, rrClosest), (TRect{0, 0, 2, 2})); // halves round down
    EXPECT_EQ(MakeRect(fx, rrOutside), (TRect{0, 0, 3, 3}));
    EXPECT_EQ(MakeRect(fx, rrInside), (TRect{1, 1, 2, 2}));
}

TEST(Geometry, RectangleFunctions) {
    struct Case {
        TRect r1, r2;
        bool meets;
        TRect overlap;
        bool filled;
        TRect uni;
    } cases[] = {
        {{0, 0, 10, 10}, {10, 0, 20, 10}, true, {10, 0, 10, 10}, true, {0, 0, 20, 10}},
        {{0, 0, 10, 10}, {11, 0, 20, 10}, false, {0, 0, 0, 0}, true, {0, 0, 20, 10}},
        {{0, 0, 10, 10}, {5, 5, 5, 8}, true, {5, 5, 5, 8}, true, {0, 0, 10, 10}},
        {{2, 2, 2, 2}, {5, 5, 5, 5}, false, {0, 0, 0, 0}, false, {0, 0, 0, 0}},
        {{-5, -5, 5, 5}, {0, 0, 10, 10}, true, {0, 0, 5, 5}, true, {-5, -5, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r2.Left << " " << c.r2.Top);
        TRect dst{9, 9, 9, 9};
        EXPECT_EQ(IntersectRect(dst, c.r1, c.r2), c.meets);
        EXPECT_EQ(dst, c.overlap);
        EXPECT_EQ(UnionRect(dst, c.r1, c.r2), c.filled);
        EXPECT_EQ(dst, c.uni);
        TFloatRect fdst;
        EXPECT_EQ(IntersectRect(fdst, FloatRect(c.r1), FloatRect(c.r2)), c.meets);
        EXPECT_EQ(fdst, FloatRect(c.overlap));
        EXPECT_EQ(UnionRect(fdst, FloatRect(c.r1), FloatRect(c.r2)), c.filled);
        EXPECT_EQ(fdst, FloatRect(c.uni));
    }
    TRect r{1, 2, 3, 4};
    InflateRect(r, 1, 2);
    EXPECT_EQ(r, (TRect{0, 0, 4, 6}));
    OffsetRect(r, -1, 1);
    EXPECT_EQ(r, (TRect{-1, 1, 3, 7}));
    EXPECT_TRUE(EqualRectSize(TRect{0, 0, 4, 6}, TRect{5, 5, 9, 11}));
    EXPECT_TRUE(EqualRectSize(TFloatRect{0, 0, 1.5f, 1}, TFloatRect{2, 2, 3.5f, 3}));
    EXPECT_FALSE(EqualRectSize(TFloatRect{0, 0, 1.5f, 1}, TFloatRect{2, 2, 3.51f, 3}));
    EXPECT_TRUE(IsRectEmpty(TRect{0, 0, 0, 5}));
    EXPECT_TRUE(IsRectEmpty(TFloatRect{0, 0, 1, -1}));
    EXPECT_TRUE(PtInRect(TRect{0, 0, 2, 2}, TPoint{1, 1}));
    EXPECT_FALSE(PtInRect(TRect{0, 0, 2, 2}, TPoint{2, 1}));
    EXPECT_FALSE(PtInRect(TRect{0, 0, 2, 2}, TPoint{1, 2}));
}

} // namespace
