// TBitmap32's pixel access: the edge cases of single pixels, sub-pixel reads and writes, the
// wrapped writes at every edge, stipple, clipped runs and their notices, rectangles and bevels.
#include "RasterTesting.h"

#include "raster/Bitmap32.h"
#include "raster/RasterBlend.h"

#include <vector>

using namespace raster;

namespace {

using PixelAccess = RasterTest;

struct TAreaLog {
    std::vector<TRect> Areas;
    void Attach(TBitmap32& Bitmap) {
        Bitmap.OnAreaChanged = [this](TObject*, const TRect& r, uint32_t) { Areas.push_back(r); };
    }
};

// Every pixel a distinct opaque colour.
void FillNumbered(TBitmap32& Bitmap) {
    for (int32_t i = 0; i < Bitmap.Width() * Bitmap.Height(); ++i)
        Bitmap.Bits()[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010203);
}

TEST_F(PixelAccess, ReadsAtTheEdges) {
    TBitmap32 b;
    b.SetSize(10, 10);
    FillNumbered(b);
    b.OuterColor = 0x12345678;
    b.SetClipRect({2, 2, 8, 8});
    struct Case {
        const char* Name;
        TColor32 Got, Expected;
    } cases[] = {
        {"GetPixelS outside clip", b.GetPixelS(1, 5), 0x12345678},
        {"GetPixelS right edge excluded", b.GetPixelS(8, 5), 0x12345678},
        {"GetPixelS inside", b.GetPixelS(7, 7), b.GetPixel(7, 7)},
        {"GetPixelB clamps to the bitmap", b.GetPixelB(-5, 1000), b.GetPixel(0, 9)},
        {"GET_TS256 last column", b.GET_TS256(9 * 256, 0), b.GetPixel(9, 0)},
        {"GET_TS256 past last column", b.GET_TS256(9 * 256 + 1, 0), 0x12345678},
        {"GET_TS256 last row", b.GET_TS256(3 * 256, 9 * 256), b.GetPixel(3, 9)},
        {"GET_TS256 negative", b.GET_TS256(-1, 0), 0x12345678},
        {"GET_TS256 interior whole pixel", b.GET_TS256(4 * 256, 5 * 256), b.GetPixel(4, 5)},
        {"GetPixelW repeats in the clip", (b.SetWrapMode(wmRepeat), b.GetPixelW(8, 1)),
         b.GetPixel(2, 7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(c.Got, c.Expected);
    }
}

// Reads weight linearly whatever gamma the writes use: half way between black and white is 128
// on every channel.
TEST_F(PixelAccess, SubPixelReadsAreLinearUnderAnyGamma) {
    TBitmap32 b;
    b.SetSize(3, 3);
    b.Clear(0xFF000000);
    for (int y = 0; y < 3; ++y)
        b.SetPixel(1, y, 0xFFFFFFFF);
    SetGamma(0.7f);
    const TColor32 gamma = b.GET_T256(128, 0);
    SetGamma(1.0f);
    const TColor32 linear = b.GET_T256(128, 0);
    SetGamma(0.7f);
    EXPECT_EQ(gamma, linear);
    EXPECT_EQ(linear & 0xFF, 128u) << std::hex << linear;
    EXPECT_EQ(b.GetPixelXW(0x8000, 0), linear);
}

TEST_F(PixelAccess, AntiAliasedWriteOnAWholePixel) {
    TBitmap32 b;
    b.SetSize(4, 4);
    b.Clear(0xFF000000);
    SetGamma(1.0f);
    b.SET_T256(256, 256, 0xFFFFFFFF);
    SetGamma(0.7f);
    // Weight 255 * 255 * 255 >> 16 = 253 for pixel (1, 1), 0 for the three others.
    EXPECT_EQ(b.GetPixel(1, 1), CombineReg(0xFFFFFFFF, 0xFF000000, 253));
    EXPECT_EQ(b.GetPixel(2, 1), 0xFF000000u);
    EXPECT_EQ(b.GetPixel(1, 2), 0xFF000000u);
    EXPECT_EQ(b.GetPixel(2, 2), 0xFF000000u);
}

TEST_F(PixelAccess, ClippedAntiAliasedWriteStaysInTheClip) {
    TBitmap32 b;
    b.SetSize(6, 6);
    b.Clear(0xFF000000);
    b.SetClipRect({1, 1, 4, 4});
    for (int y = -300; y < 6 * 256; y += 64)
        for (int x = -300; x < 6 * 256; x += 64)
            b.SET_TS256(x, y, 0xFFFFFFFF);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 4;
            EXPECT_EQ(b.GetPixel(x, y) == 0xFF000000u, !inside) << x << "," << y;
        }
}

// The wrapped writes spread their 2 x 2 block inside the clip rectangle at every edge and in
// every mode; ASan catches a write past the last row.
TEST_F(PixelAccess, WrappedWritesStayInsideAtEveryEdge) {
    for (const TWrapMode mode : {wmClamp, wmRepeat, wmMirror}) {
        for (const bool clipped : {false, true}) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " clipped " << clipped);
            TBitmap32 b;
            b.SetSize(5, 4);
            b.Clear(0xFF000000);
            b.SetWrapMode(mode);
            const TRect clip = clipped ? TRect{1, 1, 4, 3} : TRect{0, 0, 5, 4};
            b.SetClipRect(clip);
            const float xs[] = {-7.3f, -0.4f, 0, 0.6f, 3.5f, 3.7f, 4.2f, 4.5f, 4.99f, 9.6f};
            for (const float y : xs)
                for (const float x : xs) {
                    b.SetPixelFW(x, y, 0xFFFFFFFF);
                    b.SetPixelXW(Fixed(x), Fixed(y), 0xFFFFFFFF);
                }
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x)
                    if (!PtInRect(clip, {x, y})) {
                        EXPECT_EQ(b.GetPixel(x, y), 0xFF000000u) << x << "," << y;
                    }
        }
    }
}

TEST_F(PixelAccess, StippleWalksAndMixes) {
    TBitmap32 b;
    const TColor32 red = 0xFFFF0000, blue = 0xFF0000FF;
    b.SetStipple({red, blue});
    EXPECT_EQ(b.GetStippleColor(), red);
    EXPECT_EQ(b.GetStippleColor(), blue);
    EXPECT_EQ(b.GetStippleColor(), red);
    b.SetStipple({red, blue});
    b.SetStippleStep(0.5f);
    EXPECT_EQ(b.GetStippleColor(), red);
    EXPECT_EQ(b.GetStippleColor(), CombineReg(red, blue, 127));
    EXPECT_EQ(b.GetStippleColor(), blue);
    TBitmap32 none;
    EXPECT_EQ(none.GetStippleColor(), 0xFF000000u);
}

TEST_F(PixelAccess, StippledRunAdvancesByTheWholeRun) {
    TBitmap32 b;
    b.SetSize(10, 3);
    b.SetClipRect({4, 0, 10, 3});
    b.SetStipple({1, 2, 3, 4, 5, 6, 7});
    b.HorzLineTSP(0, 1, 9); // 4 of 10 clipped
    EXPECT_FLOAT_EQ(b.StippleCounter(), 3.0f);
    b.SetStipple({1, 2, 3, 4, 5, 6, 7});
    b.HorzLineTSP(9, 1, 0); // right to left: the clipped end is the rest
    EXPECT_FLOAT_EQ(b.StippleCounter(), 3.0f);
    b.SetStipple({1, 2, 3, 4, 5, 6, 7});
    b.VertLineTSP(0, 0, 2); // fully outside
    EXPECT_FLOAT_EQ(b.StippleCounter(), 3.0f);
}

// The clipped runs notify the pixels they drew, last one included.
TEST_F(PixelAccess, ClippedRunsNotifyTheirWholeExtent) {
    TBitmap32 b;
    b.SetSize(10, 10);
    b.SetClipRect({0, 0, 8, 10});
    TAreaLog log;
    log.Attach(b);
    b.HorzLineS(2, 3, 20, 0xFFFFFFFF);
    b.HorzLineTS(5, 4, 1, 0xFFFFFFFF);
    b.VertLineS(1, 9, 4, 0xFFFFFFFF);
    b.VertLineTS(1, 2, 30, 0xFFFFFFFF);
    b.HorzLineTSP(6, 5, 1);
    ASSERT_EQ(log.Areas.size(), 5u);
    EXPECT_EQ(log.Areas[0], (TRect{2, 3, 8, 4}));
    EXPECT_EQ(log.Areas[1], (TRect{1, 4, 6, 5}));
    EXPECT_EQ(log.Areas[2], (TRect{1, 4, 2, 10}));
    EXPECT_EQ(log.Areas[3], (TRect{1, 2, 2, 10}));
    EXPECT_EQ(log.Areas[4], (TRect{1, 5, 7, 6}));
    EXPECT_EQ(b.GetPixel(7, 3), 0xFFFFFFFFu);
    EXPECT_EQ(b.GetPixel(8, 3), 0u);
}

TEST_F(PixelAccess, RectanglesAndFrames) {
    TBitmap32 b;
    b.SetSize(6, 6);
    b.Clear(0);
    TAreaLog log;
    log.Attach(b);
    b.FillRectT(0, 0, 6, 6, 0x00FFFFFF);
    EXPECT_TRUE(log.Areas.empty());
    EXPECT_EQ(b.GetPixel(0, 0), 0u);
    b.FillRectTS(-3, -3, 2, 2, 0xFFFF0000);
    EXPECT_EQ(log.Areas.back(), (TRect{0, 0, 2, 2}));
    EXPECT_EQ(b.GetPixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(b.GetPixel(2, 2), 0u);

    b.Clear(0);
    b.FrameRectS(3, 3, 4, 4, 0xFFFFFFFF);
    int drawn = 0;
    for (int i = 0; i < 36; ++i)
        drawn += b.Bits()[i] != 0;
    EXPECT_EQ(drawn, 1);
    b.Clear(0);
    b.FrameRectS(1, 1, 3, 3, 0xFFFFFFFF);
    drawn = 0;
    for (int i = 0; i < 36; ++i)
        drawn += b.Bits()[i] != 0;
    EXPECT_EQ(drawn, 4);
    b.Clear(0);
    b.FrameRectS(0, 0, 6, 6, 0xFFFFFFFF);
    EXPECT_EQ(b.GetPixel(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(b.GetPixel(0, 5), 0xFFFFFFFFu);
    EXPECT_EQ(b.GetPixel(1, 1), 0u);
}

TEST_F(PixelAccess, BevelAlphas) {
    TBitmap32 b;
    b.SetSize(4, 4);
    b.Clear(0xFF808080);
    b.RaiseRectTS(0, 0, 4, 4, 20);
    // Light edges white at 102, dark edges black at 51.
    EXPECT_EQ(b.GetPixel(1, 0), BlendReg(0x66FFFFFF, 0xFF808080));
    EXPECT_EQ(b.GetPixel(3, 2), BlendReg(0x33000000, 0xFF808080));
    EXPECT_EQ(b.GetPixel(1, 1), 0xFF808080u);
}

TEST_F(PixelAccess, StippledFrameRunsOnAroundTheCorners) {
    TBitmap32 b;
    b.SetSize(4, 3);
    TArrayOfColor32 pattern;
    for (TColor32 i = 0; i < 10; ++i)
        pattern.push_back(0xFF000000 | i);
    b.SetStipple(pattern);
    b.FrameRectTSP(0, 0, 4, 3);
    const TColor32 expected[3][4] = {{0, 1, 2, 3}, {9, 0xAA, 0xAA, 4}, {8, 7, 6, 5}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            if (expected[y][x] != 0xAA) {
                EXPECT_EQ(b.GetPixel(x, y), 0xFF000000 | expected[y][x]) << x << "," << y;
            }
}

} // namespace
