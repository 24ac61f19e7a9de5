// Numeric and colour helpers and the 1-bit row helpers.
#include "imaging/core/VLColorHelpers.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(CeilFloor, Table) {
    struct Case {
        double x;
        int32_t ceil, floor;
    };
    const Case cases[] = {{2.0, 2, 2},
                          {2.1, 3, 2},
                          {-2.5, -2, -3},
                          {2.9, 3, 2},
                          {-0.1, 0, -1},
                          {0.0, 0, 0},
                          {-3.0, -3, -3},
                          {1e300, INT32_MAX, INT32_MAX},
                          {-1e300, INT32_MIN, INT32_MIN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(CeilToInt(c.x), c.ceil);
        EXPECT_EQ(FloorToInt(c.x), c.floor);
    }
}

TEST(MinMaxClamp, Table) {
    EXPECT_EQ(Min(3, -4), -4);
    EXPECT_EQ(Max(3, -4), 3);
    EXPECT_EQ(MinDouble(1.5, -2), -2);
    EXPECT_EQ(MaxDouble(1.5, -2), 1.5);
    // A reversed range: High above Low and Low below it.
    EXPECT_EQ(ClampToRange(10, 5, 3), 3);
    EXPECT_EQ(ClampToRange(4, 5, 3), 5);
    EXPECT_EQ(ClampToRange(4, 0, 10), 4);
    EXPECT_EQ(ClampToRange(10, 0, 10), 10);
    EXPECT_EQ(ClampToByte(-1), 0);
    EXPECT_EQ(ClampToByte(256), 255);
    EXPECT_EQ(ClampToByte(INT32_MIN), 0);
    EXPECT_EQ(ClampToByte(77), 77);
    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 9;
    OrderRectCorners(x1, y1, x2, y2);
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2}), (std::vector<int32_t>{2, 1, 5, 9}));
    int32_t a = 1, b = 2;
    ExchangeIntegers(a, b);
    EXPECT_EQ(a * 10 + b, 21);
    uint8_t c = 1, d = 2;
    ExchangeBytes(c, d);
    EXPECT_EQ(c * 10 + d, 21);
}

TEST(ColourRecords, PackingOrders) {
    const TVLRGB rgb = MakeRGBTriple(0x11, 0x22, 0x33);
    EXPECT_EQ(rgb.r, 0x11);
    EXPECT_EQ(rgb.b, 0x33);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&rgb)[0], 0x33); // blue first in memory
    EXPECT_EQ(RGBTripleToColor(rgb), 0x332211);
    TVLRGB back;
    ColorToRGBTriple(0x332211, back);
    EXPECT_TRUE(RGBTriplesEqual(back, rgb));
    EXPECT_FALSE(RGBTriplesEqual(back, MakeRGBTriple(0x11, 0x22, 0x34)));
    EXPECT_EQ(ColorToARGB(0x332211, 0x80), 0x80112233u);
    EXPECT_EQ(MakeCMYK(1, 2, 3, 0xFF), static_cast<int32_t>(0xFF030201));
    // System colours resolve to their value, not their code.
    ColorToRGBTriple(clBtnFace, back);
    EXPECT_EQ(RGBTripleToColor(back), ColorToRGB(clBtnFace));
    EXPECT_EQ(ColorToARGB(clBtnFace, 0xFF), 0xFFF0F0F0u);
}

TEST(RGBTripleToGray, LibraryWeights) {
    EXPECT_EQ(RGBTripleToGray(MakeRGBTriple(255, 255, 255)), 255);
    EXPECT_EQ(RGBTripleToGray(MakeRGBTriple(255, 0, 0)), 53);
    EXPECT_EQ(RGBTripleToGray(MakeRGBTriple(0, 255, 0)), 181);
    EXPECT_EQ(RGBTripleToGray(MakeRGBTriple(0, 0, 255)), 20);
}

TEST(HSL, KnownPoints) {
    struct Case {
        TVLRGB rgb;
        double h, s, l;
    };
    const Case cases[] = {{MakeRGBTriple(255, 0, 0), 0, 1, 0.5},
                          {MakeRGBTriple(0, 255, 0), 1.0 / 3, 1, 0.5},
                          {MakeRGBTriple(0, 0, 255), 2.0 / 3, 1, 0.5},
                          {MakeRGBTriple(255, 0, 255), 5.0 / 6, 1, 0.5},
                          {MakeRGBTriple(128, 128, 128), 0, 0, 128 / 255.0},
                          {MakeRGBTriple(255, 128, 128), 0, 1, (255 + 128) / 510.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(RGBTripleToColor(c.rgb));
        double h, s, l;
        RGBTripleToHSL(c.rgb, h, s, l);
        EXPECT_NEAR(h, c.h, 1e-12);
        EXPECT_NEAR(s, c.s, 1e-12);
        EXPECT_NEAR(l, c.l, 1e-12);
        TVLRGB back;
        HSLToRGBTriple(h, s, l, back);
        EXPECT_EQ(back, c.rgb);
    }
    TVLRGB out;
    HSLToRGBTriple(0, 0, 0.25, out); // 63.75 rounds to 64
    EXPECT_EQ(out, MakeRGBTriple(64, 64, 64));
    TVLRGB wrapped;
    HSLToRGBTriple(1.2, 1, 0.5, out);
    HSLToRGBTriple(0.2, 1, 0.5, wrapped);
    EXPECT_EQ(out, wrapped);
    HSLToRGBTriple(0.5, 2, -1, out); // S and L clamped
    EXPECT_EQ(out, MakeRGBTriple(0, 0, 0));
}

TEST(HSL, EveryColourOfACoarseGridRoundTrips) {
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15) {
                const TVLRGB c = MakeRGBTriple(r, g, b);
                double h, s, l;
                RGBTripleToHSL(c, h, s, l);
                TVLRGB back;
                HSLToRGBTriple(h, s, l, back);
                ASSERT_EQ(back, c) << r << "," << g << "," << b;
            }
}

TEST(RedBlueSwaps, RowsPalettesAndWords) {
    uint8_t src[6] = {1, 2, 3, 4, 5, 6};
    uint8_t dst[6] = {};
    CopyAndSwapRedBlue(dst, src, 2);
    EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    SwapRedBlue(src, 1);
    EXPECT_EQ(std::vector<uint8_t>(src, src + 6), (std::vector<uint8_t>{3, 2, 1, 4, 5, 6}));
    uint8_t wide[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    SwapRedBlue48(wide, 2);
    EXPECT_EQ(std::vector<uint8_t>(wide, wide + 12),
              (std::vector<uint8_t>{5, 6, 3, 4, 1, 2, 11, 12, 9, 10, 7, 8}));
    TVLRGB palette[3] = {MakeRGBTriple(1, 2, 3), MakeRGBTriple(4, 5, 6), MakeRGBTriple(7, 8, 9)};
    SwapPaletteRedBlue(palette, 2);
    EXPECT_EQ(palette[0], MakeRGBTriple(3, 2, 1));
    EXPECT_EQ(palette[1], MakeRGBTriple(6, 5, 4));
    EXPECT_EQ(palette[2], MakeRGBTriple(7, 8, 9));
}

TEST(RowBits, MostSignificantBitFirst) {
    uint8_t row[2] = {0x80, 0};
    EXPECT_NE(GetRowBit(row, 0), 0);
    for (uint32_t x = 1; x < 16; ++x)
        EXPECT_EQ(GetRowBit(row, x), 0) << x;
    EXPECT_EQ(SetRowBit(row, 9, true), row + 1);
    EXPECT_EQ(row[1], 0x40);
    SetRowBit(row, 0, false);
    SetRowBit(row, 15, true);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[1], 0x41);
}

// Bit i of a row, most significant first, for the reference copy.
bool Bit(const std::vector<uint8_t>& row, int i) {
    return (row[i / 8] >> (7 - i % 8)) & 1;
}

TEST(CopyBits, DocumentedCases) {
    uint8_t dest[2] = {0xE0, 0xFF};
    const uint8_t source[1] = {0xA8}; // 10101...
    CopyBits(dest, source, 3, 0, 5, 1);
    EXPECT_EQ(dest[0], 0xE0 | 0x15); // bits 3 to 7 take 10101, bits 0 to 2 stay
    EXPECT_EQ(dest[1], 0xFF);
    uint8_t same[2] = {0x12, 0x34};
    CopyBits(same, source, 0, 0, 0, 1); // nothing for BitCount 0
    CopyBits(same, source, -1, 0, 4, 1);
    CopyBits(same, source, 0, -1, 4, 1);
    EXPECT_EQ(same[0], 0x12);
    EXPECT_EQ(same[1], 0x34);
}

TEST(CopyBits, AgainstBitByBitReference) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 3000; ++trial) {
        const int size = 1 + random() % 12;
        std::vector<uint8_t> source(size), dest(size + 4);
        for (auto& b : source)
            b = static_cast<uint8_t>(random());
        for (auto& b : dest)
            b = static_cast<uint8_t>(random());
        const int sourceBit = random() % (size * 8);
        const int destBit = random() % 16;
        const int count = 1 + random() % (size * 8 + 8);
        // SourceSize may cut the source short: bits past it read as 0.
        const int sourceSize = random() % (size + 1);
        std::vector<uint8_t> expected = dest;
        for (int i = 0; i < count; ++i) {
            const int from = sourceBit + i;
            const bool bit = from / 8 < sourceSize && from / 8 < size && Bit(source, from);
            const int to = destBit + i;
            if (to / 8 >= static_cast<int>(expected.size())) break;
            const auto mask = static_cast<uint8_t>(0x80 >> (to % 8));
            expected[to / 8] = bit ? expected[to / 8] | mask : expected[to / 8] & ~mask;
        }
        if ((destBit + count + 7) / 8 > static_cast<int>(dest.size())) continue;
        CopyBits(dest.data(), source.data(), destBit, sourceBit, count, sourceSize);
        ASSERT_EQ(dest, expected) << "trial " << trial << " d" << destBit << " s" << sourceBit
                                  << " n" << count << " size" << sourceSize;
    }
}

TEST(CopyBits, OverlappingRowMovesLeftAndRight) {
    std::vector<uint8_t> row = {0xF0, 0x0F, 0xAA, 0x00};
    CopyBits(row.data(), row.data(), 4, 0, 24, 4); // shift right by 4 bits in place
    EXPECT_EQ(row, (std::vector<uint8_t>{0xFF, 0x00, 0xFA, 0xA0}));
    CopyBits(row.data(), row.data(), 0, 4, 24, 4); // and back
    EXPECT_EQ(row, (std::vector<uint8_t>{0xF0, 0x0F, 0xAA, 0xA0}));
}

} // namespace
