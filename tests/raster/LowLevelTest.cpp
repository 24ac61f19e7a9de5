// Low-level helpers and line clipping as tables of edge cases.
#include "RasterTesting.h"

#include "raster/RasterDrawingEx.h"
#include "raster/RasterLowLevel.h"

#include <vector>

using namespace raster;

namespace {

using LowLevel = RasterTest;

TEST_F(LowLevel, FillAndMoveWriteExactlyCountWords) {
    for (int32_t count : {-3, 0, 1, 2, 7, 8}) {
        SCOPED_TRACE(count);
        std::vector<uint32_t> longs(12, 1);
        FillLongword(longs.data() + 1, count, 0xABCDEF01);
        for (int32_t i = 0; i < 12; ++i)
            EXPECT_EQ(longs[i], i >= 1 && i <= count ? 0xABCDEF01u : 1u) << i;
        std::vector<uint16_t> words(12, 1);
        FillWord(words.data() + 1, count, 0xBEEF);
        for (int32_t i = 0; i < 12; ++i)
            EXPECT_EQ(words[i], i >= 1 && i <= count ? 0xBEEF : 1) << i;
    }
    std::vector<uint32_t> v = {1, 2, 3, 4, 5, 6};
    MoveLongword(v.data() + 2, v.data(), 4); // overlapping, downward
    EXPECT_EQ(v, (std::vector<uint32_t>{3, 4, 5, 6, 5, 6}));
    std::vector<uint16_t> w = {1, 2, 3, 4};
    MoveWord(w.data(), w.data() + 2, 2);
    EXPECT_EQ(w, (std::vector<uint16_t>{1, 2, 1, 2}));
}

TEST(LowLevelTables, ClampWrapMirror) {
    struct Case {
        const char* name;
        int32_t got, expected;
    } cases[] = {
        {"Clamp(300)", Clamp(300), 255},
        {"Clamp(-1)", Clamp(-1), 0},
        {"Clamp(256)", Clamp(256), 255},
        {"Clamp(5, 10, 2)", Clamp(5, 10, 2), 2},
        {"Clamp(12, 10)", Clamp(12, 10), 10},
        {"Wrap(-1, 4)", Wrap(-1, 4), 4},
        {"Wrap(5, 4)", Wrap(5, 4), 0},
        {"Wrap(-11, 4)", Wrap(-11, 4), 4},
        {"Wrap(-1, 2, 5)", Wrap(-1, 2, 5), 3},
        {"Wrap(6, 2, 5)", Wrap(6, 2, 5), 2},
        {"Mirror(-3, 4)", Mirror(-3, 4), 3},
        {"Mirror(5, 4)", Mirror(5, 4), 3},
        {"Mirror(8, 4)", Mirror(8, 4), 0},
        {"Mirror(5, 0, 4)", Mirror(5, 0, 4), 4},
        {"Mirror(-1, 0, 4)", Mirror(-1, 0, 4), 0},
        {"Mirror(6, 0, 4)", Mirror(6, 0, 4), 3},
        {"Mirror(-2, 0, 4)", Mirror(-2, 0, 4), 1},
        {"Mirror(7, 0, 0) outside the contract", Mirror(7, 0), 0},
        {"Wrap(7, -1) outside the contract", Wrap(7, -1), 0},
        {"Constrain(5, 0, 3)", Constrain(5, 0, 3), 3},
        {"SwapConstrain(5, 3, 0)", SwapConstrain(5, 3, 0), 3},
        {"SwapConstrain(-5, 3, 0)", SwapConstrain(-5, 3, 0), 0},
        {"SAR_8(-256)", SAR_8(-256), -1},
        {"SAR_8(-1)", SAR_8(-1), -1},
        {"SAR_16(-65537)", SAR_16(-65537), -2},
        {"SAR_4(100)", SAR_4(100), 6},
        {"WRAP_PROCS[wmMirror](5, 4)", WRAP_PROCS[2](5, 4), 3},
        {"WRAP_PROCS_EX[wmRepeat](-1, 2, 5)", WRAP_PROCS_EX[1](-1, 2, 5), 3},
        {"WRAP_PROCS[wmClamp](-3, 4)", WRAP_PROCS[0](-3, 4), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected) << c.name;
    EXPECT_FLOAT_EQ(Constrain(1.5f, 0.0f, 1.0f), 1.0f);
    // Max = 4 walks 0 1 2 3 4 3 2 1 0 1 ...
    const int32_t walk[] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1};
    for (int32_t v = 0; v < 10; ++v)
        EXPECT_EQ(Mirror(v, 4), walk[v]) << v;
}

TEST(LowLevelTables, TestClipOrdersAndClips) {
    int32_t a = 12, b = -3;
    EXPECT_TRUE(TestClip(a, b, 10));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 9);
    a = 12, b = -3;
    EXPECT_FALSE(TestClip(a, b, 0));
    a = 1, b = 8;
    EXPECT_TRUE(TestClip(a, b, 3, 5));
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 4);
    a = 7, b = 9;
    EXPECT_FALSE(TestClip(a, b, 3, 5));
    a = 5, b = 2;
    TestSwap(a, b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(ColorSwap(0x00FF0000), 0xFF0000FFu);
    EXPECT_EQ(ColorSwap(clBtnFace), 0xFF0F0000u | 0xFF000000u); // system colours not resolved
}

TEST(LowLevelTables, ClipLine) {
    struct Case {
        int32_t x1, y1, x2, y2;
        bool visible;
        int32_t cx1, cy1, cx2, cy2;
    } cases[] = {
        {-10, 5, 20, 5, true, 0, 5, 10, 5},
        {-10, -5, -1, 20, false, -10, -5, -1, 20},
        {2, 3, 4, 5, true, 2, 3, 4, 5},
        {5, -10, 5, 20, true, 5, 0, 5, 10},
        {-5, -5, 15, 15, true, 0, 0, 10, 10},
        {0, -4, 20, 6, true, 8, 0, 10, 1},
        {-20, 0, -15, 5, false, -20, 0, -15, 5},
        // Both ends moved onto the horizontal edges land left of the rectangle: invisible.
        {-30, -10, 5, 25, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2);
        int32_t x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
        EXPECT_EQ(ClipLine(x1, y1, x2, y2, 0, 0, 10, 10), c.visible);
        if (c.visible) {
            EXPECT_EQ((std::array<int32_t, 4>{x1, y1, x2, y2}),
                      (std::array<int32_t, 4>{c.cx1, c.cy1, c.cx2, c.cy2}));
        }
    }
}

} // namespace
