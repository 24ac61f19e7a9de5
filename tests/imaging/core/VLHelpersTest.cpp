// Row lengths, colour counts, bit helpers, geometry, colour formulas, powers, the text encoders
// and the quicksort.
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"

#include "TempFolder.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <random>

namespace {

TEST(AlignedRowLength, Table) {
    struct Case {
        int64_t width, bits;
        int32_t alignment;
        int64_t expected;
    };
    const Case cases[] = {{10, 1, 32, 4},
                          {10, 24, 32, 32},
                          {10, 24, 8, 30},
                          {3, 24, 8, 9},
                          {3, 24, 32, 12},
                          {1, 48, 32, 8},
                          {5, 4, 16, 4},
                          {0, 24, 32, 0},
                          {-5, 24, 32, 0},
                          {5, 24, 0, 0},
                          // Width x bits beyond 32 bits does not wrap.
                          {0x7FFFFFFF, 48, 32, ((int64_t{0x7FFFFFFF} * 48 + 31) >> 5) * 4},
                          {0x20000000, 8, 32, 0x20000000}};
    for (const Case& c : cases)
        EXPECT_EQ(AlignedRowLength(c.width, c.bits, c.alignment), c.expected)
            << c.width << " x " << c.bits << " / " << c.alignment;
}

TEST(ColorCountForBits, TableAndSaturation) {
    EXPECT_EQ(ColorCountForBits(1, 1), 2);
    EXPECT_EQ(ColorCountForBits(8, 1), 256);
    EXPECT_EQ(ColorCountForBits(8, 3), 16777216);
    EXPECT_EQ(ColorCountForBits(16, 3), int64_t{1} << 48);
    EXPECT_EQ(ColorCountForBits(16, 4), INT64_MAX);
    EXPECT_EQ(ColorCountForBits(0, 3), 1);
    EXPECT_EQ(ColorCountForBits(-1, 3), 0);
}

TEST(VclRowLength, FromPixelFormat) {
    EXPECT_EQ(VclPixelFormatBitCount(pf15bit), 15);
    EXPECT_EQ(VclPixelFormatBitCount(pfDevice), 0);
    EXPECT_EQ(VclRowLength(3, pf24bit), 12);
    EXPECT_EQ(VclRowLength(9, pf4bit), 8);
}

TEST(MemoryBlocks, AlignedZeroedAndFreedByTheirRoute) {
    // A used small block goes back to the heap first, so that a reused block shows whether the
    // heap route clears it.
    void* dirty = AllocBlock(1000);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xA5, 1000);
    FreeBlock(dirty);
    for (size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{0x100000}, size_t{2 << 20}}) {
        void* p = AllocBlock(size);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u) << size;
        const auto* bytes = static_cast<const uint8_t*>(p);
        EXPECT_TRUE(std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0; })) << size;
        FreeBlock(p);
        EXPECT_EQ(p, nullptr);
    }
    void* g = AllocGlobalZeroed(64);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(g)[63], 0);
    FreeGlobal(g);
    EXPECT_EQ(g, nullptr);
}

TEST(MakeTempFileName, FormAndSeparator) {
    const auto dir = UniqueTempPath("tempname");
    std::filesystem::create_directories(dir);
    // With and without the trailing separator the name lies inside the folder.
    for (const std::string& folder : {dir.string() + "/", dir.string()}) {
        const String name = MakeTempFileName(u"pfx", StrFromUtf8(folder));
        EXPECT_TRUE(IsTempFileName(Utf8FromStr(name), dir.string(), "pfx")) << Utf8FromStr(name);
        EXPECT_FALSE(FileExists(name));
    }
    std::filesystem::remove_all(dir);
}

} // namespace

namespace {

constexpr double Pi = std::numbers::pi;

TEST(BitHelpers, WidthsAndLogs) {
    EXPECT_EQ(BitFieldWidth(0x7C00), 5);
    EXPECT_EQ(BitFieldWidth(0xF800), 5);
    EXPECT_EQ(BitFieldWidth(0x07E0), 6);
    EXPECT_EQ(BitFieldWidth(0xFFFFFFFF), 32);
    EXPECT_EQ(BitFieldWidth(0x80000000), 1);
    EXPECT_EQ(BitFieldWidth(0xFF00FF00), 8); // the first run only
    EXPECT_EQ(BitFieldWidth(0), 0);
    EXPECT_EQ(CeilLog2(256), 8);
    EXPECT_EQ(CeilLog2(255), 8);
    EXPECT_EQ(CeilLog2(257), 9);
    EXPECT_EQ(CeilLog2(2), 1);
    EXPECT_EQ(CeilLog2(1), 0);
    EXPECT_EQ(CeilLog2(0), -1);
    EXPECT_EQ(CeilLog2(0x80000001u), 32);
}

TEST(BitHelpers, ReversalsAndSwaps) {
    uint8_t b = 0x01;
    ReverseBitOrder8(b);
    EXPECT_EQ(b, 0x80);
    b = 0xC4;
    ReverseBitOrder8(b);
    EXPECT_EQ(b, 0x23);
    uint32_t v = 0x00000001;
    ReverseBitOrder32(v);
    EXPECT_EQ(v, 0x80000000u);
    v = 0x12345678;
    ReverseBitOrder32(v);
    EXPECT_EQ(v, 0x1E6A2C48u);
    EXPECT_EQ(SwapWord(0x12345678), 0x12347856);
    EXPECT_EQ(SwapDWord(0x12345678), 0x78563412u);
    EXPECT_EQ(SwapWordIf(0x1234, false), 0x1234);
    EXPECT_EQ(SwapWordIf(0x1234, true), 0x3412);
    EXPECT_EQ(SwapDWordIf(0x12345678, false), 0x12345678u);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(BitMask[x], 0x80 >> x);
    EXPECT_EQ(ChooseInt(true, 1, 2), 1);
    EXPECT_EQ(ChooseDouble(false, 1, 2), 2);
#if defined(__x86_64__)
    EXPECT_TRUE(HasMMX());
#endif
}

TEST(Geometry, SnapTo45Degrees) {
    struct Case {
        int32_t x, y, ex, ey;
    };
    const Case cases[] = {{10, 4, 10, 10},   // both greater: the shorter offset grows
                          {-10, -4, -4, -4}, // both smaller: the longer offset shrinks
                          {10, -4, 10, -10}, // mixed quadrants: the shorter offset grows
                          {-4, 10, -10, 10}, {5, 50, 0, 50}, // near the vertical
                          {50, 5, 50, 0},                    // near the horizontal
                          {7, 7, 7, 7},                      // on the diagonal already
                          {10, 0, 10, 0}}; // on an axis within the slack: unchanged
    for (const Case& c : cases) {
        int32_t x = c.x, y = c.y;
        SnapTo45Degrees(0, 0, x, y);
        EXPECT_EQ(x, c.ex) << c.x << "," << c.y;
        EXPECT_EQ(y, c.ey) << c.x << "," << c.y;
    }
}

TEST(Geometry, RectanglesAndPoints) {
    EXPECT_TRUE(RectsOverlap(0, 0, 10, 10, 10, 10, 20, 20)); // touching counts
    EXPECT_FALSE(RectsOverlap(0, 0, 10, 10, 11, 0, 20, 10));
    EXPECT_TRUE(RectsOverlap(10, 10, 0, 0, 5, 5, 6, 6)); // A's corners in any order
    EXPECT_FALSE(RectsOverlap(0, 0, 10, 10, 0, -5, 10, -1));
    EXPECT_EQ(RectOverlapKind(0, 0, 10, 10, 2, 2, 8, 8), 2);   // inside
    EXPECT_EQ(RectOverlapKind(0, 0, 10, 10, 5, 5, 15, 15), 1); // one corner inside
    EXPECT_EQ(RectOverlapKind(0, 0, 10, 10, 2, -5, 8, 15), 0); // x both in, y none
    EXPECT_EQ(RectOverlapKind(0, 0, 10, 10, 20, 20, 30, 30), 0);
    EXPECT_EQ(RectOverlapKind(0, 0, 10, 10, -5, -5, 15, 15), 0); // A inside B
    EXPECT_TRUE(PointInRect(10, 0, 0, 0, 10, 10));
    EXPECT_FALSE(PointInRect(5, 5, 10, 10, 0, 0));
    EXPECT_TRUE(PointInUnorderedRect(5, 5, 10, 10, 0, 0));
    TRect r{5, 5, 6, 6};
    const TRect grown = ExtendRectToPoint(r, 1, 9);
    EXPECT_EQ(r, (TRect{1, 5, 6, 9}));
    EXPECT_EQ(grown, r);
    int32_t w = 7, h = 7;
    FitKeepingAspect(400, 300, 100, 100, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 75);
    FitKeepingAspect(1000, 1, 10, 10, w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 1); // at least 1
    FitKeepingAspect(0, 5, 10, 10, w, h);
    EXPECT_EQ(w, 10); // unchanged
}

TEST(Geometry, Distances) {
    EXPECT_DOUBLE_EQ(PointToPointDistance(0, 0, 3, 4), 5);
    EXPECT_DOUBLE_EQ(PointToLineDistance(0, 5, -10, 0, 10, 0), 5);
    EXPECT_DOUBLE_EQ(PointToLineDistance(20, 5, -10, 0, 10, 0), 5); // the line, not the segment
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(20, 0, -10, 0, 10, 0), 10);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(-13, 4, -10, 0, 10, 0), 5);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(3, 4, 0, 0, 0, 0), 5);
    EXPECT_EQ(PointToSegmentDistance(0, 0, 50000, 0, 60000, 0), 1000000);
    EXPECT_EQ(PointToSegmentDistance(100000, 0, 0, 0, 10, 0), 1000000);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(40000, 0, 0, 0, 10, 0), 39990);
}

TEST(Geometry, PolylineRectAndEllipseDistances) {
    const TPoint line[] = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_EQ(PointToPolylineDistance(5, 5, line, 0, 0, 0, 0, 0, 1, 1, 1, false), 1000000);
    EXPECT_DOUBLE_EQ(PointToPolylineDistance(5, 3, line, 3, 0, 0, 0, 0, 1, 1, 1, false), 3);
    // Closed adds the segment back to the first point.
    EXPECT_DOUBLE_EQ(PointToPolylineDistance(3, 3, line, 3, 0, 0, 0, 0, 1, 1, 1, false), 3);
    EXPECT_NEAR(PointToPolylineDistance(3, 3, line, 3, 0, 0, 0, 0, 1, 1, 1, true), 0, 1e-9);
    // Mapped to the screen: zoom 2 and an offset of 100.
    EXPECT_DOUBLE_EQ(PointToPolylineDistance(110, 106, line, 3, 0, 0, 100, 100, 2, 2, 1, false), 6);
    // A wide pen is measured from both sides alike.
    EXPECT_DOUBLE_EQ(PointToPolylineDistance(5, -3, line, 2, 0, 0, 0, 0, 1, 1, 5, false), 1);
    EXPECT_DOUBLE_EQ(PointToPolylineDistance(5, 3, line, 2, 0, 0, 0, 0, 1, 1, 5, false), 1);

    EXPECT_EQ(PointToRectDistance(0, 0, 0, 0, 10, 10, false, -1), 2147483647);
    EXPECT_DOUBLE_EQ(PointToRectDistance(5, 3, 0, 0, 10, 10, false, 1), 3);
    EXPECT_DOUBLE_EQ(PointToRectDistance(5, 3, 0, 0, 10, 10, true, 1), 0);
    EXPECT_DOUBLE_EQ(PointToRectDistance(15, 5, 0, 0, 10, 10, true, 1), 5);

    EXPECT_EQ(PointToEllipseDistance(0, 0, 0, 0, 10, 10, false, -1), 2147483647);
    // Inside a filled ellipse the distance is 0; far outside it is about the gap to the outline.
    EXPECT_EQ(PointToEllipseDistance(50, 50, 0, 0, 100, 100, true, 1), 0);
    EXPECT_NEAR(PointToEllipseDistance(50, 170, 0, 0, 100, 100, false, 1), 70, 1.5);
    EXPECT_NEAR(PointToEllipseDistance(50, 50, 0, 0, 100, 100, false, 1), 50, 2);
}

TEST(Geometry, PolygonTests) {
    const TPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_TRUE(PointInPolygon(5, 5, square, 3));
    EXPECT_FALSE(PointInPolygon(15, 5, square, 3));
    EXPECT_TRUE(PointInPolygon(0, 0, square, 3));   // lower bounds count
    EXPECT_FALSE(PointInPolygon(5, 10, square, 3)); // upper bounds do not
    EXPECT_FALSE(PointInPolygon(5, 5, square, -1));
    // A bow tie: even-odd.
    const TPoint star[] = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
    EXPECT_FALSE(PointInPolygon(5, 2, star, 3));
    EXPECT_TRUE(PointInPolygon(8, 5, star, 3));
    EXPECT_TRUE(PointInScaledPolygon(22, 22, square, 4, 0, 0, 20, 20, 0.5, 0.5));
    EXPECT_FALSE(PointInScaledPolygon(5, 5, square, 4, 0, 0, 20, 20, 0.5, 0.5));
    EXPECT_TRUE(PointInScaledPolygon(150, 150, square, 4, 0, 0, 0, 0, 20, 20));
}

TEST(Geometry, RotatePointsCounterClockwiseOnScreen) {
    TPoint points[] = {{10, 0}, {0, 10}};
    RotatePoints(points, 1, 0, 0, 90);
    EXPECT_EQ(points[0], (TPoint{0, -10})); // right turns to up
    EXPECT_EQ(points[1], (TPoint{10, 0}));  // down turns to right
    TPoint around[] = {{15, 10}};
    RotatePoints(around, 0, 10, 10, 180);
    EXPECT_EQ(around[0], (TPoint{5, 10}));
}

TEST(Geometry, Angles) {
    EXPECT_EQ(ArcCosine(1), 0);
    EXPECT_EQ(ArcCosine(-1), Pi);
    EXPECT_NEAR(ArcCosine(0), Pi / 2, 1e-15);
    EXPECT_EQ(AngleBetweenSegments(0, 0, 1, 0, 2, 0), 0);
    EXPECT_EQ(AngleBetweenSegments(0, 0, 1, 0, 0, 0), Pi);
    EXPECT_EQ(AngleBetweenSegments(0, 0, 0, 0, 2, 0), 0);
    EXPECT_NEAR(AngleBetweenSegments(0, 0, 1, 0, 1, 5), Pi / 2, 1e-15);
    // Anti-parallel vectors whose lengths are not whole numbers are still pi.
    EXPECT_EQ(AngleBetweenSegments(0, 0, 1, 1, -1, -1), Pi);
    EXPECT_EQ(AngleBetweenSegments(0, 0, 3, 7, -3, -7), Pi);
    struct Case {
        int32_t x2, y2;
        double angle;
    };
    const Case segments[] = {
        {5, 0, 0},       {0, -5, Pi / 2},      {-5, 0, Pi},         {0, 5, 3 * Pi / 2}, {0, 0, 0},
        {5, -5, Pi / 4}, {-5, -5, 3 * Pi / 4}, {-5, 5, 5 * Pi / 4}, {5, 5, 7 * Pi / 4}};
    for (const Case& c : segments)
        EXPECT_NEAR(SegmentAngle(0, 0, c.x2, c.y2), c.angle, 1e-12) << c.x2 << "," << c.y2;
    EXPECT_EQ(PointOrientation(0, 0, 10, 0, 0, 10), 1);
    EXPECT_EQ(PointOrientation(0, 0, 0, 10, 10, 0), -1);
    EXPECT_EQ(PointOrientation(0, 0, 5, 0, -5, 0), -1); // on both sides of P0
    EXPECT_EQ(PointOrientation(0, 0, 5, 0, 10, 0), 1);  // P1 nearer than P2
    EXPECT_EQ(PointOrientation(0, 0, 10, 0, 5, 0), 0);
    EXPECT_NEAR(VertexAngle(0, 10, 0, 0, 10, 0), Pi / 2, 1e-12);
    EXPECT_NEAR(VertexAngle(10, 0, 0, 0, 0, 10), 3 * Pi / 2, 1e-12);
    EXPECT_NEAR(VertexAngle(-10, 0, 0, 0, 10, 0), Pi, 1e-12);
    TGUID a{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    TGUID b = a;
    EXPECT_TRUE(GUIDsEqual(a, b));
    b.D4[7] = 0;
    EXPECT_FALSE(GUIDsEqual(a, b));
}

TEST(Geometry, BezierPoints) {
    TPoint one[1];
    BezierPoints({0, 0}, {0, 100}, {100, 100}, {100, 0}, one, 1);
    EXPECT_EQ(one[0], (TPoint{100, 0}));
    TPoint four[4];
    BezierPoints({0, 0}, {0, 100}, {100, 100}, {100, 0}, four, 4);
    EXPECT_EQ(four[1], (TPoint{50, 75}));
    EXPECT_EQ(four[3], (TPoint{100, 0}));
    EXPECT_EQ(four[0], (TPoint{16, 56})); // (15.625, 56.25)
}

// Published CIELab values (D65) of the sRGB primaries, secondaries, white, black and grey.
TEST(CIELab, KnownPointsAndTheirBytes) {
    struct Case {
        uint8_t r, g, b;
        double l, a, bb;
    };
    const Case cases[] = {{255, 0, 0, 53.24, 80.09, 67.20},     {0, 255, 0, 87.73, -86.18, 83.18},
                          {0, 0, 255, 32.30, 79.19, -107.86},   {255, 255, 0, 97.14, -21.55, 94.48},
                          {0, 255, 255, 91.11, -48.09, -14.13}, {255, 0, 255, 60.32, 98.23, -60.82},
                          {255, 255, 255, 100, 0, 0},           {0, 0, 0, 0, 0, 0},
                          {128, 128, 128, 53.59, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.r) << "," << int(c.g) << "," << int(c.b));
        uint8_t lab[3];
        RGBToCIELab(lab, uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
        EXPECT_NEAR(lab[0], c.l * 255 / 100, 1);
        EXPECT_NEAR(static_cast<int8_t>(lab[1]), std::trunc(c.a), 1);
        EXPECT_NEAR(static_cast<int8_t>(lab[2]), std::trunc(c.bb), 1);
    }
    uint8_t white[3];
    RGBToCIELab(white, 0xFFFFFF);
    EXPECT_EQ(white[0], 255);
    TVLRGB rgb;
    CIELabToRGB(rgb, 255);
    EXPECT_EQ(rgb, (TVLRGB{255, 255, 255}));
    CIELabToRGB(rgb, 0);
    EXPECT_EQ(rgb, (TVLRGB{0, 0, 0}));
}

TEST(CIELab, GreyRoundTripsDoNotDarken) {
    // Forward and reverse use one L scale, so a round trip keeps every grey within one level.
    for (int v = 0; v < 256; ++v) {
        uint8_t lab[3];
        RGBToCIELab(lab, static_cast<uint32_t>(v * 0x010101));
        TVLRGB back;
        CIELabToRGB(back, lab[0] | lab[1] << 8 | lab[2] << 16);
        ASSERT_NEAR(back.r, v, 1) << v;
        ASSERT_NEAR(back.g, v, 1) << v;
        ASSERT_NEAR(back.b, v, 1) << v;
    }
}

TEST(YCbCr, ToRGB) {
    TVLRGB rgb;
    YCbCrToRGB(rgb, 128, 128, 128);
    EXPECT_EQ(rgb, (TVLRGB{128, 128, 128}));
    YCbCrToRGB(rgb, 76, 85, 255); // red, truncated: 76 + 1.402 x 127 = 254.05
    EXPECT_EQ(rgb.r, 254);
    EXPECT_EQ(rgb.g, 0);
    YCbCrToRGB(rgb, 255, 255, 255);          // clamped
    EXPECT_EQ(rgb, (TVLRGB{255, 120, 255})); // blue, green, red
}

TEST(Powers, Table) {
    EXPECT_EQ(Power(5, 0), 1);
    EXPECT_EQ(Power(0, 3), 0);
    EXPECT_EQ(Power(2, 10), 1024);
    EXPECT_EQ(Power(2, -2), 0.25);
    EXPECT_NEAR(Power(2, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_EQ(IntPower(3, 5), 243);
    EXPECT_EQ(IntPower(2, -3), 0.125);
    EXPECT_EQ(IntPower(7, 0), 1);
    EXPECT_EQ(IntPower(1, INT32_MIN), 1);
    EXPECT_EQ(FastPower(0, 0), 1);
    EXPECT_EQ(FastPower(0, 5), 0);
    EXPECT_EQ(FastPower(0, -5), 0);
    EXPECT_EQ(FastPower(3, 2), 9);
    EXPECT_EQ(FastPower(2, -2), 0.25);
    EXPECT_EQ(FastPower(2, 11), 2048);
    EXPECT_NEAR(FastPower(0.5, 2.4), std::pow(0.5, 2.4), 1e-15);
    EXPECT_EQ(FastPower(0, 1e12), 0);
}

TEST(GaussianCurve, ScaledToHighAtTheCentre) {
    double v[5];
    GaussianCurve(5, 10, 20, v, 2);
    // t = -1, -0.6, -0.2, 0.2, 0.6: the largest values sit at t = +-0.2.
    EXPECT_DOUBLE_EQ(v[2], 20);
    EXPECT_DOUBLE_EQ(v[3], 20);
    EXPECT_NEAR(v[0], 10 + 10 * std::exp(-2.0 * (1 - 0.04)), 1e-12);
    GaussianCurve(5, 10, 20, v, 0); // no spread: flat at High
    for (double x : v)
        EXPECT_DOUBLE_EQ(x, 20);
}

std::string Ascii85(const std::string& data) {
    std::vector<uint8_t> out(5 * (data.size() + 3) / 4 + 2 * ((data.size() + 3) / 4 / 15 + 1) + 4);
    int32_t count = 0;
    const int32_t n = EncodeASCII85(reinterpret_cast<const uint8_t*>(data.data()),
                                    static_cast<int32_t>(data.size()), out.data(), count);
    EXPECT_EQ(count, 0);
    EXPECT_LE(n, static_cast<int32_t>(out.size()));
    return std::string(out.begin(), out.begin() + n);
}

// Expected texts from python3 base64.a85encode(data, adobe=True), without its "<~" prefix.
TEST(EncodeASCII85, AgainstPythonAdobeFraming) {
    struct Case {
        std::string data, expected;
    };
    const Case cases[] = {{std::string(1, '\0'), "!!~>\r\n"},
                          {std::string(4, '\0'), "z~>\r\n"},
                          {std::string("\0\0\0\0\x01", 5), "z!<~>\r\n"},
                          {"Man is distinguished", "9jqo^BlbD-BleB1DJ+*+F(f,q~>\r\n"}};
    for (const Case& c : cases)
        EXPECT_EQ(Ascii85(c.data), c.expected);
}

TEST(EncodeASCII85, LinesBreakAfterSeventyFourCharacters) {
    std::string data;
    for (int i = 0; i < 256; ++i)
        data += static_cast<char>(i);
    const std::string text = Ascii85(data);
    std::string joined;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 75u);
        joined += text.substr(start, end - start);
    }
    EXPECT_EQ(start, text.size());
    std::string python;
    if (!RunTool("python3 -c \"import base64,sys; sys.stdout.write(base64.a85encode(bytes(range("
                 "256)),adobe=True).decode())\"",
                 python))
        SV_SKIP_WITHOUT_REFERENCE("python3 is not available");
    EXPECT_EQ("<~" + joined, python);
}

std::vector<uint8_t> RunLength(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(data.size() + data.size() / 128 + 2, 0xEE);
    const int32_t n = EncodeRunLength(data.data(), static_cast<int32_t>(data.size()), out.data());
    EXPECT_LE(n, static_cast<int32_t>(out.size()));
    out.resize(n);
    return out;
}

// RunLengthDecode as PostScript defines it.
std::vector<uint8_t> RunLengthDecode(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size();) {
        const uint8_t length = in[i++];
        if (length == 128) break;
        if (length < 128) {
            out.insert(out.end(), in.begin() + i, in.begin() + i + length + 1);
            i += length + 1;
        } else {
            out.insert(out.end(), 257 - length, in[i++]);
        }
    }
    return out;
}

TEST(EncodeRunLength, PacketsWorkedByHand) {
    struct Case {
        std::vector<uint8_t> data, packets;
    };
    const Case cases[] = {{{}, {128}},
                          {{7}, {0, 7, 128}},
                          {{7, 7}, {255, 7, 128}},
                          {{1, 2, 3}, {2, 1, 2, 3, 128}},
                          {{1, 2, 2}, {2, 1, 2, 2, 128}},
                          {{1, 2, 2, 2, 3}, {0, 1, 254, 2, 0, 3, 128}},
                          {{1, 2, 2, 3, 3, 4}, {5, 1, 2, 2, 3, 3, 4, 128}}};
    for (const Case& c : cases) {
        EXPECT_EQ(RunLength(c.data), c.packets);
        EXPECT_EQ(RunLengthDecode(c.packets), c.data);
    }
    const std::vector<uint8_t> same(130, 9);
    EXPECT_EQ(RunLength(same), (std::vector<uint8_t>{129, 9, 255, 9, 128}));
    std::vector<uint8_t> distinct(300);
    for (int i = 0; i < 300; ++i)
        distinct[i] = static_cast<uint8_t>(i);
    const auto packed = RunLength(distinct);
    EXPECT_EQ(packed.size(), 300u + 3 + 1); // literals of 128, 128 and 44 bytes
    EXPECT_EQ(packed[0], 127);
    EXPECT_EQ(packed[129], 127);
    EXPECT_EQ(packed[258], 43);
}

TEST(EncodeRunLength, NeverExceedsTheBoundAndDecodesBack) {
    std::mt19937 random(3);
    std::vector<std::vector<uint8_t>> inputs;
    std::vector<uint8_t> pairs; // 1 2 2 3 3 4 4 ...: the worst case for splitting at pairs
    for (int i = 0; i < 1000; ++i) {
        pairs.push_back(static_cast<uint8_t>(i));
        pairs.push_back(static_cast<uint8_t>(i));
    }
    inputs.push_back(pairs);
    for (int n : {1, 2, 127, 128, 129, 255, 256, 1000, 4097}) {
        std::vector<uint8_t> data(n);
        for (auto& b : data)
            b = static_cast<uint8_t>(random() % 3);
        inputs.push_back(data);
        for (auto& b : data)
            b = static_cast<uint8_t>(random());
        inputs.push_back(data);
    }
    for (const auto& data : inputs) {
        const auto packed = RunLength(data);
        EXPECT_LE(packed.size(), data.size() + data.size() / 128 + 2);
        EXPECT_EQ(RunLengthDecode(packed), data);
    }
}

TEST(Base64, GroupsAndStreamAgainstCoreutils) {
    char text[4];
    const uint8_t man[3] = {'M', 'a', 'n'};
    EncodeBase64Group(man, text, 3);
    EXPECT_EQ(std::string(text, 4), "TWFu");
    EncodeBase64Group(man, text, 2);
    EXPECT_EQ(std::string(text, 4), "TWE=");
    EncodeBase64Group(man, text, 1);
    EXPECT_EQ(std::string(text, 4), "TQ==");

    std::mt19937 random(11);
    for (int size : {0, 1, 56, 57, 58, 10000}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (auto& c : data)
            c = static_cast<char>(random());
        TMemoryStream in;
        in.WriteBuffer("skip", 4);
        in.WriteBuffer(data.data(), size);
        in.SetPosition(4); // from the stream's position to its end
        TMemoryStream out;
        WriteStreamBase64(in, out, 76);
        const std::string ours(static_cast<const char*>(out.Memory()), out.GetSize());
        const auto file = UniqueTempPath("base64");
        WriteFileBytes(file, data);
        std::string reference;
        const bool ran = RunTool("base64 -w 76 '" + file.string() + "'", reference);
        std::filesystem::remove(file);
        if (!ran) SV_SKIP_WITHOUT_REFERENCE("base64 is not available");
        EXPECT_EQ(ours, reference);
    }
}

TEST(WriteStreamLineCRLF, EndsWithCarriageReturnLineFeed) {
    TMemoryStream s;
    WriteStreamLineCRLF(s, "%!PS");
    WriteStreamLineCRLF(s, "");
    EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), s.GetSize()), "%!PS\r\n\r\n");
}

TEST(SortItems, SortsThroughTheCallbacks) {
    std::mt19937 random(5);
    for (int n : {0, 1, 2, 3, 10, 1000}) {
        std::vector<int> items(n);
        for (auto& v : items)
            v = static_cast<int>(random() % 50);
        auto expected = items;
        std::sort(expected.begin(), expected.end());
        SortItems(
            n, [&](int32_t i, int32_t j) { std::swap(items[i], items[j]); },
            [&](int32_t i, int32_t j) { return items[i] < items[j] ? -1 : items[i] > items[j]; });
        EXPECT_EQ(items, expected) << n;
    }
    // Sorted and reversed input of many equal keys, and a comparison that is not an order,
    // must neither recurse deeply nor step outside the items.
    std::vector<int> many(100000, 1);
    SortItems(
        100000, [&](int32_t i, int32_t j) { std::swap(many.at(i), many.at(j)); },
        [&](int32_t i, int32_t j) { return many.at(i) - many.at(j); });
    std::vector<int> chaos(200);
    SortItems(
        200, [&](int32_t i, int32_t j) { std::swap(chaos.at(i), chaos.at(j)); },
        [&](int32_t, int32_t) { return static_cast<int32_t>(random() % 3) - 1; });
}

TEST(FontStylesFromLogFont, WeightAndFlagBytes) {
    EXPECT_EQ(FontStylesFromLogFont(nullptr), TFontStyles());
    LOGFONTW font;
    font.lfWeight = 699;
    font.lfUnderline = 1;
    EXPECT_EQ(FontStylesFromLogFont(&font), (TFontStyles{fsUnderline}));
    font.lfWeight = 700;
    font.lfItalic = 255;
    font.lfStrikeOut = 1;
    EXPECT_EQ(FontStylesFromLogFont(&font),
              (TFontStyles{fsBold, fsItalic, fsUnderline, fsStrikeOut}));
}

} // namespace
