// The ordinal maps: bit layout, resizing in place, and the byte map's exchange with bitmaps.
#include "RasterTesting.h"

#include "raster/RasterOrdinalMaps.h"

using namespace raster;

namespace {

using OrdinalMaps = RasterTest;

TEST_F(OrdinalMaps, BooleanMapBits) {
    TBooleanMap m;
    m.SetSize(10, 1);
    EXPECT_FALSE(m.Empty());
    m.SetValue(9, 0, true);
    EXPECT_EQ(m.GetBits()[1], 2);
    m.ToggleBit(9, 0);
    EXPECT_EQ(m.GetBits()[1], 0);
    m.SetSize(16, 2);
    m.Clear(1);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(m.GetValue(i % 16, i / 16), i % 8 == 0) << i;
    m.SetSize(0, 3);
    EXPECT_TRUE(m.Empty());
}

TEST_F(OrdinalMaps, ResizeKeepsStorage) {
    TByteMap m;
    m.SetSize(4, 1);
    for (int x = 0; x < 4; ++x)
        m.SetValue(x, 0, static_cast<uint8_t>(x + 1));
    m.SetSize(2, 2);
    EXPECT_EQ(m.GetValue(0, 1), 3);
    m.SetSize(3, 2);
    EXPECT_EQ(m.GetValue(2, 1), 0);
    TWordMap w;
    w.SetSize(3, 3);
    w.Clear(0xBEEF);
    EXPECT_EQ(w.GetValue(2, 2), 0xBEEF);
    TIntegerMap i;
    i.SetSize(2, 5);
    i.Clear(-7);
    EXPECT_EQ(*i.GetValPtr(1, 4), -7);
}

TEST_F(OrdinalMaps, ByteMapReadsAndWritesChannels) {
    TBitmap32 b;
    b.SetSize(2, 1);
    b.SetPixel(0, 0, 0xFF030201);
    b.SetPixel(1, 0, 0xFFFFFFFF);
    TByteMap m;
    const struct {
        TConversionType Conversion;
        uint8_t First, Second;
    } cases[] = {{ctRed, 3, 255},   {ctGreen, 2, 255},       {ctBlue, 1, 255},
                 {ctAlpha, 255, 255}, {ctUniformRGB, 2, 255}, {ctWeightedRGB, 2, 255}};
    for (const auto& c : cases) {
        m.ReadFrom(b, c.Conversion);
        EXPECT_EQ(m.GetValue(0, 0), c.First) << int(c.Conversion);
        EXPECT_EQ(m.GetValue(1, 0), c.Second) << int(c.Conversion);
    }
    TBitmap32 red;
    red.SetSize(2, 1);
    red.Clear(0xFFFF0000);
    m.Clear(0x80);
    m.WriteTo(red, ctAlpha);
    EXPECT_EQ(red.GetPixel(1, 0), 0x80FF0000u);
    m.AssignTo(&red);
    EXPECT_EQ(red.GetPixel(0, 0), 0xFF808080u);
    TByteMap copy;
    copy.Assign(&b);
    EXPECT_EQ(copy.Width(), 2);
    EXPECT_EQ(copy.GetValue(1, 0), 255);
    TBooleanMap other;
    EXPECT_THROW(copy.Assign(&other), Exception);
}

} // namespace
