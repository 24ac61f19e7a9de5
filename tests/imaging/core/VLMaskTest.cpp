// The selection mask: pixels, box and full state, rows, moves, masked copies and display helpers.
#include "imaging/core/VLMask.h"

#include "TempFolder.h"
#include "imaging/core/VLBitmap.h"
#include "platform/gfx/Canvas.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

struct Box {
    int32_t x1, y1, x2, y2;
    friend bool operator==(const Box&, const Box&) = default;
};

Box BoxOf(const TVLMask& m) {
    return {m.X1, m.Y1, m.X2, m.Y2};
}

std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "(" << b.x1 << ", " << b.y1 << ", " << b.x2 << ", " << b.y2 << ")";
}

const Box EmptyBox{TVLMask::MaxInt, TVLMask::MaxInt, 0, 0};

// The mask as text, one string per row, '#' for a non-zero pixel.
std::vector<std::string> Picture(TVLMask& m) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < m.GetHeight(); ++y) {
        std::string row;
        for (int32_t x = 0; x < m.GetWidth(); ++x)
            row += m.GetPixel(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

void Draw(TVLMask& m, const std::vector<std::string>& rows, int32_t value) {
    for (int32_t y = 0; y < static_cast<int32_t>(rows.size()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(rows[y].size()); ++x)
            if (rows[y][x] == '#') m.SetPixel(x, y, value);
}

TEST(VLMask, PixelsAndTheBoundingBox) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(10, 10, bits));
        EXPECT_TRUE(m.IsEmpty());
        EXPECT_EQ(m.GetPixel(3, 3), 0);
        m.SetPixel(3, 3, 1);
        EXPECT_EQ(BoxOf(m), (Box{3, 3, 3, 3}));
        EXPECT_EQ(m.GetPixel(3, 3), 1);
        EXPECT_TRUE(m.IsPointInside(3, 3));
        m.SetPixel(10, 0, 1); // outside: nothing
        m.SetPixel(-1, 5, 1);
        EXPECT_EQ(BoxOf(m), (Box{3, 3, 3, 3}));
        EXPECT_EQ(m.GetPixel(10, 0), 0);
        m.SetPixel(7, 1, 200);
        EXPECT_EQ(BoxOf(m), (Box{3, 1, 7, 3}));
        m.SetPixel(7, 1, 0); // 0 never shrinks the box
        EXPECT_EQ(BoxOf(m), (Box{3, 1, 7, 3}));
        m.SyncBoundingBox();
        EXPECT_EQ(BoxOf(m), (Box{3, 3, 3, 3}));
        // Rows are kept bottom-up.
        EXPECT_EQ(m.GetScanline(9) - m.GetScanline(8), -m.GetRowLen());
    }
    TVLMask bad;
    EXPECT_FALSE(bad.AllocateBits(10, 10, 4));
    EXPECT_FALSE(bad.AllocateBits(0, 10, 1));
    EXPECT_EQ(bad.GetScanline(0), nullptr);
    EXPECT_EQ(bad.GetPixel(0, 0), 0);
    bad.SetPixel(0, 0, 1);
    EXPECT_EQ(bad.FillRow(1, 0, 0, 5), 0);
}

TEST(VLMask, FullState) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(10, 3, 1));
    m.Fill(255);
    EXPECT_TRUE(m.Full);
    EXPECT_EQ(m.GetPixel(9, 2), 1);
    m.SetPixel(0, 0, 0);
    EXPECT_FALSE(m.Full);
    m.SyncFull();
    EXPECT_FALSE(m.Full);
    m.SetPixel(0, 0, 1);
    m.SyncFull(); // the padding bits of each row do not count
    EXPECT_TRUE(m.Full);
    m.Clear();
    EXPECT_FALSE(m.Full);
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.GetPixel(9, 2), 0);

    TVLMask grey;
    ASSERT_TRUE(grey.AllocateBits(5, 5, 8));
    grey.Fill(255);
    EXPECT_TRUE(grey.Full);
    grey.SetPixel(2, 2, 128);
    EXPECT_FALSE(grey.Full);
    grey.Fill(255);
    EXPECT_TRUE(grey.Full);

    TVLMask none;
    none.SyncFull();
    EXPECT_TRUE(none.Full); // a mask of size 0 counts as full
}

TEST(VLMask, FillRowIsClampedAndCounts) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(20, 2, bits));
        EXPECT_EQ(m.FillRow(1, -5, 1, 2), 3);
        EXPECT_EQ(m.FillRow(1, 17, 1, 40), 3);
        EXPECT_EQ(m.FillRow(1, 5, 1, 4), 0);
        EXPECT_EQ(m.FillRow(1, 0, 2, 5), 0); // row outside
        EXPECT_EQ(m.FillRow(1, 6, 0, 14), 9);
        EXPECT_EQ(Picture(m),
                  (std::vector<std::string>{"......#########.....", "###..............###"}));
        EXPECT_TRUE(m.IsEmpty()); // the box is not changed
        m.Fill(255);
        m.FillRow(bits == 1 ? 1 : 255, 0, 0, 3);
        EXPECT_TRUE(m.Full);
        m.FillRow(0, 0, 0, 3);
        EXPECT_FALSE(m.Full);
    }
}

TEST(VLMask, ResizeKeepsTheTopLeftContentAndClipsTheBox) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(6, 4, bits));
        Draw(m, {"#.....", ".#....", "......", ".....#"}, 1);
        m.Resize(40, 7);
        EXPECT_EQ(m.GetWidth(), 40);
        EXPECT_EQ(m.GetPixel(0, 0), 1);
        EXPECT_EQ(m.GetPixel(1, 1), 1);
        EXPECT_EQ(m.GetPixel(5, 3), 1);
        EXPECT_EQ(m.GetPixel(39, 6), 0);
        m.Resize(3, 2);
        EXPECT_EQ(Picture(m), (std::vector<std::string>{"#..", ".#."}));
        EXPECT_EQ(BoxOf(m), (Box{0, 0, 2, 1}));
    }
}

TEST(VLMask, TranslateReducesTheMoveOrCutsThePixels) {
    const std::vector<std::string> start = {"........", "...##...", "...#....", "........"};
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(8, 4, bits));
        Draw(m, start, 1);
        int32_t dx = -5, dy = 0;
        m.Translate(dx, dy, false);
        EXPECT_EQ(dx, -3);
        EXPECT_EQ(Picture(m),
                  (std::vector<std::string>{"........", "##......", "#.......", "........"}));
        EXPECT_EQ(BoxOf(m), (Box{0, 1, 1, 2}));

        dx = 7;
        dy = 2;
        m.Translate(dx, dy, true); // the right column and the bottom row move outside
        EXPECT_EQ(dx, 7);
        EXPECT_EQ(Picture(m),
                  (std::vector<std::string>{"........", "........", "........", ".......#"}));
        EXPECT_EQ(BoxOf(m), (Box{7, 3, 7, 3}));

        dx = 3;
        dy = 0;
        m.Translate(dx, dy, true); // everything moves outside
        EXPECT_TRUE(m.IsEmpty());
        EXPECT_EQ(m.GetPixel(7, 3), 0);

        // An empty box is recomputed first.
        m.SetPixel(2, 2, 1);
        m.X1 = TVLMask::MaxInt;
        dx = 1;
        dy = -1;
        m.Translate(dx, dy, false);
        EXPECT_EQ(m.GetPixel(3, 1), 1);
        EXPECT_EQ(m.GetPixel(2, 2), 0);
    }
    TVLMask full;
    ASSERT_TRUE(full.AllocateBits(4, 4, 8));
    full.Fill(255);
    full.SyncBoundingBox();
    int32_t dx = 1, dy = 0;
    full.Translate(dx, dy, true);
    EXPECT_FALSE(full.Full);
    EXPECT_EQ(full.GetPixel(0, 0), 0);
    dx = INT32_MIN;
    full.Translate(dx, dy, true); // far away: no overflow, all gone
    EXPECT_TRUE(full.IsEmpty());
}

TEST(VLMaskPolygon, SquareFillsHalfOpen) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(8, 8, bits));
        const TPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
        m.FillPolygons(1, square, 4);
        EXPECT_EQ(Picture(m),
                  (std::vector<std::string>{"........", "........", "..####..", "..####..",
                                            "..####..", "..####..", "........", "........"}));
        EXPECT_EQ(BoxOf(m), (Box{2, 2, 5, 5}));
        m.FillPolygon(0, square, 4); // value 0 clears
        EXPECT_EQ(m.GetPixel(3, 3), 0);
    }
}

TEST(VLMaskPolygon, SeparatedPolygonsAreFilledIndependently) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(10, 6, 1));
    const TPoint two[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {TVLMask::PolygonSeparator, 0},
                          {2, 2}, {7, 2}, {7, 5}, {2, 5}};
    m.FillPolygons(1, two, 9);
    // Each square is filled on its own, so their overlap stays filled.
    EXPECT_EQ(Picture(m), (std::vector<std::string>{"####......", "####......", "#######...",
                                                    "#######...", "..#####...", ".........."}));
    EXPECT_EQ(BoxOf(m), (Box{0, 0, 6, 4}));
    EXPECT_FALSE(m.Full);

    // The same two squares as one polygon (joined through the corner (0, 0)) fill even-odd:
    // the overlap is a hole.
    TVLMask one;
    ASSERT_TRUE(one.AllocateBits(10, 6, 1));
    const TPoint joined[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0},
                             {2, 2}, {7, 2}, {7, 5}, {2, 5}, {2, 2}};
    one.FillPolygon(1, joined, 10);
    EXPECT_EQ(Picture(one), (std::vector<std::string>{"####......", "####......", "##..###...",
                                                      "##..###...", "..#####...", ".........."}));
}

TEST(VLMaskPolygon, SelfIntersectingStarLeavesItsCentreEmpty) {
    // Drawn by hand: edges cross each row at the nearest column (ties toward the edge's upper
    // end), spans run from the left edge up to the column before the right edge.
    const std::vector<std::string> expected = {
        ".........................", ".........................", "...........##............",
        "...........##............", "...........##............", "..........####...........",
        "..........####...........", "..........####...........", "#########......#########.",
        ".########......########..", "...######......######....", "....#####......#####.....",
        ".....###........###......", ".......#........#........", ".........................",
        ".......##......##........", ".......####..####........", ".......##########........",
        "......####....####.......", "......###......###.......", "......##........##.......",
        ".....#............#......", "........................."};
    const TPoint star[] = {{12, 0}, {19, 22}, {0, 8}, {24, 8}, {5, 22}};
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(25, 23, bits));
        m.FillPolygons(bits == 1 ? 1 : 255, star, 5);
        EXPECT_EQ(Picture(m), expected);
        EXPECT_EQ(BoxOf(m), (Box{0, 0, 23, 21}));
    }
}

// The column where an edge crosses row Y: the nearest to its exact crossing, ties toward the
// edge's upper end.
int64_t Crossing(TPoint a, TPoint b, int64_t y) {
    if (b.Y < a.Y) std::swap(a, b);
    const int64_t num = (y - a.Y) * (int64_t{b.X} - a.X);
    const int64_t den = int64_t{b.Y} - a.Y;
    int64_t q = num / den;
    const int64_t rem = num % den;
    if (2 * std::abs(rem) > den) q += num < 0 ? -1 : 1;
    return a.X + q;
}

std::vector<std::string> ReferenceFill(const std::vector<TPoint>& pts, int32_t w, int32_t h) {
    std::vector<std::string> rows(h, std::string(w, '.'));
    for (int32_t y = 0; y < h; ++y) {
        std::vector<std::pair<int64_t, double>> xs;
        for (size_t i = 0; i < pts.size(); ++i) {
            const TPoint a = pts[i], b = pts[(i + 1) % pts.size()];
            if (a.Y == b.Y || y < std::min(a.Y, b.Y) || y >= std::max(a.Y, b.Y)) continue;
            const TPoint up = a.Y < b.Y ? a : b, down = a.Y < b.Y ? b : a;
            xs.push_back({Crossing(a, b, y), double(down.X - up.X) / (down.Y - up.Y)});
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
            for (int64_t x = std::max<int64_t>(xs[i].first, 0);
                 x <= std::min<int64_t>(xs[i + 1].first - 1, w - 1); ++x)
                rows[y][x] = '#';
    }
    return rows;
}

TEST(VLMaskPolygon, RandomPolygonsMatchTheReferenceWhereverTheyLie) {
    std::mt19937 random(1234);
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        std::uniform_int_distribution<int32_t> count(3, 9), coord(-15, 45);
        // Far offsets put most of a polygon above or left of the mask: rows there are skipped,
        // not walked, and must land where walking would have put them.
        const int32_t offsets[] = {0, -1000000, -2000000000};
        const int32_t dy = offsets[trial % 3];
        std::vector<TPoint> pts(count(random));
        for (TPoint& p : pts)
            p = {coord(random), coord(random)};
        std::vector<TPoint> shifted = pts;
        if (dy != 0)
            for (TPoint& p : shifted)
                p.Y = p.Y < 10 ? dy + p.Y : p.Y; // stretch the upper part far up
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(30, 30, 8));
        m.FillPolygon(1, shifted.data(), static_cast<int32_t>(shifted.size()));
        ASSERT_EQ(Picture(m), ReferenceFill(shifted, 30, 30));
    }
}

TEST(VLMaskPolygon, APolygonOutsideFillsNothingAndKeepsTheBox) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(10, 10, 1));
    m.SetPixel(4, 4, 1);
    const TPoint outside[] = {{20, 20}, {30, 20}, {30, 30}};
    m.FillPolygons(1, outside, 3);
    EXPECT_EQ(BoxOf(m), (Box{4, 4, 4, 4}));
    const TPoint flat[] = {{0, 3}, {9, 3}}; // only a horizontal edge
    m.FillPolygon(1, flat, 2);
    EXPECT_EQ(BoxOf(m), (Box{4, 4, 4, 4}));
    m.FillPolygons(1, nullptr, 3);
    m.FillPolygon(1, outside, 0);
}

class VLMaskCopy : public TempFolderTest {};

TEST_F(VLMaskCopy, OneBitMaskCopiesSelectedPixelsOfEveryFormat) {
    const TVLPixelFormat formats[] = {vl1g,  vl8p,   vl8g,    vl16g,    vl24RGB,
                                      vl32f, vlCMYK, vlRGB48, vlCIELab, vl32RGB};
    for (TVLLocation location : {vlMemory, vlFile}) {
        DefaultMinFileSize = location == vlFile ? 0 : -1;
        for (TVLPixelFormat f : formats) {
            SCOPED_TRACE(std::to_string(int(f)) + (location == vlFile ? " file" : " memory"));
            TVLBitmap src(5, 4, f);
            src.Fill(f == vl32f ? 1.0 : 0xFFFFFF);
            TVLBitmap dst(5, 4, f);
            dst.Fill(0);
            const auto blank = dst.GetPixelAsRGB(0, 0);
            TVLMask m;
            ASSERT_TRUE(m.AllocateBits(5, 4, 1));
            Draw(m, {".....", ".##..", "..#..", "....."}, 1);
            m.CopyMaskedBitmap(dst, src, false, false, false);
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 5; ++x) {
                    const auto expected = m.GetPixel(x, y) ? src.GetPixelAsRGB(x, y) : blank;
                    ASSERT_EQ(dst.GetPixelAsRGB(x, y), expected) << x << "," << y;
                }
        }
    }
}

TEST_F(VLMaskCopy, EightBitMaskBlendsExactly) {
    // White over black by the mask value: 0 keeps, 255 copies, 128 gives 128 (128.5 rounded).
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(4, 1, 8));
    m.SetPixel(0, 0, 255);
    m.SetPixel(1, 0, 128);
    m.SetPixel(2, 0, 1);
    for (TVLPixelFormat f : {vl24RGB, vl8g, vl32RGB}) {
        SCOPED_TRACE(int(f));
        TVLBitmap src(4, 1, f);
        src.Fill(f == vl8g ? 255 : clWhite);
        TVLBitmap dst(4, 1, f);
        dst.Fill(0);
        m.CopyMaskedBitmap(dst, src, false, false, false);
        EXPECT_EQ(dst.GetPixelAsRGB(0, 0).g, 255);
        EXPECT_EQ(dst.GetPixelAsRGB(1, 0).g, 128);
        EXPECT_EQ(dst.GetPixelAsRGB(2, 0).g, 1);
        EXPECT_EQ(dst.GetPixelAsRGB(3, 0).g, 0);
    }
    TVLBitmap bits(4, 1, vl1g);
    bits.Fill(1);
    TVLBitmap target(4, 1, vl1g);
    target.Fill(0);
    m.CopyMaskedBitmap(target, bits, false, false, false);
    EXPECT_EQ(target.GetScanline(0)[0] & 0xF0, 0xE0);
    // Different formats copy nothing.
    TVLBitmap grey(4, 1, vl8g);
    grey.Fill(0);
    m.CopyMaskedBitmap(grey, bits, false, false, false);
    EXPECT_TRUE(grey.IsAllZero());
}

TEST_F(VLMaskCopy, RegionIsClippedToBothBitmapsAndTheBoxOrigins) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(20, 20, 1));
    m.Fill(255);
    m.SyncBoundingBox();
    TVLBitmap small(3, 2, vl24RGB);
    small.Fill(clRed);
    TVLBitmap big(30, 30, vl24RGB);
    big.Fill(clBlue);
    // Without the at-origin flags the region is limited to the smaller bitmaps.
    m.CopyMaskedBitmap(big, small, false, false, false);
    EXPECT_EQ(big.GetPixelRGB(2, 1), (TVLRGB{0, 0, 255}));
    EXPECT_EQ(big.GetPixelRGB(3, 1), (TVLRGB{255, 0, 0}));
    EXPECT_EQ(big.GetPixelRGB(2, 2), (TVLRGB{255, 0, 0}));
    big.Fill(clBlue);
    m.CopyMaskedBitmap(small, big, false, false, false); // and into a smaller one: no overrun
    EXPECT_EQ(small.GetPixelRGB(2, 1), (TVLRGB{255, 0, 0}));

    // At-origin: the bitmap holds only the box.
    TVLMask box;
    ASSERT_TRUE(box.AllocateBits(10, 10, 1));
    Draw(box, {"", "", "", "....##", "....#."}, 1);
    TVLBitmap crop(2, 2, vl8g);
    crop.Fill(50);
    TVLBitmap whole(10, 10, vl8g);
    whole.Fill(0);
    box.CopyMaskedBitmap(whole, crop, false, true, false);
    EXPECT_EQ(whole.GetPixel8(4, 3), 50);
    EXPECT_EQ(whole.GetPixel8(5, 4), 0);
    EXPECT_EQ(whole.GetPixel8(0, 0), 0);
    TVLBitmap out(2, 2, vl8g);
    out.Fill(0);
    box.CopyMaskedBitmap(out, whole, true, false, false);
    EXPECT_EQ(out.GetPixel8(0, 0), 50);
    EXPECT_EQ(out.GetPixel8(1, 1), 0);
}

TEST_F(VLMaskCopy, MakeAlphaWritesTheSelectionIntoDestsAlpha) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(3, 1, 8));
    m.SetPixel(0, 0, 255);
    m.SetPixel(1, 0, 100);
    m.SetPixel(2, 0, 0);
    m.X2 = 2; // the box covers the unselected pixel too
    TVLBitmap src(3, 1, vl24RGB);
    src.Fill(0);
    TVLBitmap dst(3, 1, vl24RGB);
    dst.Fill(0);
    m.CopyMaskedBitmap(dst, src, false, false, true);
    EXPECT_EQ(dst.GetAlphaPixel(0, 0), 255); // no source alpha: counts as 255
    EXPECT_EQ(dst.GetAlphaPixel(1, 0), 100);
    EXPECT_EQ(dst.GetAlphaPixel(2, 0), 0);
    EXPECT_FALSE(dst.GetAlphaChannel()->Full);

    src.GetAlphaChannel()->Fill(150);
    m.CopyMaskedBitmap(dst, src, false, false, true);
    EXPECT_EQ(dst.GetAlphaPixel(0, 0), 150);
    EXPECT_EQ(dst.GetAlphaPixel(1, 0), 100);
}

TEST(VLMaskDisplay, ResampleTakesNearestPixelsInsideTheBox) {
    for (int32_t bits : {1, 8}) {
        SCOPED_TRACE(bits);
        TVLMask m;
        ASSERT_TRUE(m.AllocateBits(4, 3, bits));
        Draw(m, {"#..#", ".#..", "...."}, 1);
        const int32_t w = 8, h = 6;
        std::vector<std::vector<uint8_t>> buffer(h, std::vector<uint8_t>(8, 0xAA));
        std::vector<uint8_t*> rows;
        for (auto& r : buffer)
            rows.push_back(r.data());
        m.ResampleToDisplay(rows.data(), w, h, 0, 0, 4, 3);
        auto at = [&](int32_t x, int32_t y) {
            return bits == 1 ? (buffer[y][x >> 3] >> (7 - (x & 7))) & 1 : buffer[y][x];
        };
        std::vector<std::string> got;
        for (int32_t y = 0; y < h; ++y) {
            std::string row;
            for (int32_t x = 0; x < w; ++x)
                row += at(x, y) ? '#' : '.';
            got.push_back(row);
        }
        EXPECT_EQ(got, (std::vector<std::string>{"##....##", "##....##", "..##....", "..##....",
                                                 "........", "........"}));
        // Pixels outside the box are not shown even when set.
        m.X1 = 1;
        m.ResampleToDisplay(rows.data(), w, h, 0, 0, 4, 3);
        EXPECT_EQ(at(0, 0), 0);
        EXPECT_NE(at(6, 0), 0);
        m.ResampleToDisplay(rows.data(), 0, h, 0, 0, 4, 3); // nothing, no crash
    }
}

TEST(VLMaskDisplay, ShadeOutsideDrawsACheckerboardOverTheUnselectedPart) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(4, 4, 1));
    Draw(m, {"##..", "##..", "....", "...."}, 1);
    TBitmap screen;
    screen.SetPixelFormat(pf24bit);
    screen.SetSize(6, 6);
    m.ShadeOutside(screen, 1, 1, 4, 4, 0, 0, 4, 4);
    auto shaded = [&](int32_t x, int32_t y) {
        return static_cast<uint8_t*>(screen.ScanLine(y))[3 * x] == 97;
    };
    std::vector<std::string> got;
    for (int32_t y = 0; y < 6; ++y) {
        std::string row;
        for (int32_t x = 0; x < 6; ++x)
            row += shaded(x, y) ? '#' : '.';
        got.push_back(row);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"......", "...#..", "....#.", ".#.#..", "..#.#.",
                                             "......"}));

    // A display starting left of and above the bitmap is clipped, never written outside.
    TBitmap tiny;
    tiny.SetPixelFormat(pf24bit);
    tiny.SetSize(2, 2);
    m.ShadeOutside(tiny, -3, -3, 8, 8, 0, 0, 4, 4);
    EXPECT_EQ(static_cast<uint8_t*>(tiny.ScanLine(1))[3], 97); // mask (2, 2), display (1, 1)
    EXPECT_EQ(static_cast<uint8_t*>(tiny.ScanLine(0))[0], 97);
    EXPECT_EQ(static_cast<uint8_t*>(tiny.ScanLine(0))[3], 0);
}

// The canvas pixels of a 24-bit bitmap as text: '#' for black, 'a' and 'b' for the two outline
// colours, '.' for white.
std::vector<std::string> Screen(TBitmap& b) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < b.Height(); ++y) {
        std::string row;
        for (int32_t x = 0; x < b.Width(); ++x) {
            const auto* p = static_cast<uint8_t*>(b.ScanLine(y)) + 3 * x;
            row += p[2] == 0 && p[1] == 0 && p[0] == 0 ? '#'
                   : p[2] == 255 && p[1] == 0          ? 'a'
                   : p[2] == 0 && p[1] == 255          ? 'b'
                                                       : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

TBitmap* WhiteScreen(TBitmap& b, int32_t w, int32_t h) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        std::memset(b.ScanLine(y), 255, 3 * static_cast<size_t>(w));
    return &b;
}

TEST(VLMaskDisplay, StretchDrawXorInvertsTheSelection) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(4, 3, 1));
    Draw(m, {"....", ".##.", "...#"}, 1);
    TBitmap screen;
    WhiteScreen(screen, 8, 6);
    m.StretchDrawXor(*screen.Canvas(), 0, 0, 8, 6, 0, 0, 4, 3);
    EXPECT_EQ(Screen(screen), (std::vector<std::string>{"........", "........", "..####..",
                                                        "..####..", "......##", "......##"}));
    // A source rectangle below the top: rows 1 and 2 at 1 : 1.
    WhiteScreen(screen, 4, 2);
    m.StretchDrawXor(*screen.Canvas(), 0, 0, 4, 2, 0, 1, 4, 2);
    EXPECT_EQ(Screen(screen), (std::vector<std::string>{".##.", "...#"}));

    TVLMask grey; // 8-bit masks are not drawn this way
    ASSERT_TRUE(grey.AllocateBits(4, 3, 8));
    grey.SetPixel(0, 0, 255);
    WhiteScreen(screen, 4, 3);
    grey.StretchDrawXor(*screen.Canvas(), 0, 0, 4, 3, 0, 0, 4, 3);
    EXPECT_EQ(Screen(screen)[0], "....");
}

TEST(VLMaskDisplay, DrawOutlineMarksTheBorderWithMarchingAnts) {
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(8, 7, 1));
    Draw(m, {"", ".#####", ".#####", ".#####", ".#####", ".#####"}, 1);
    TBitmap screen;
    WhiteScreen(screen, 8, 7);
    m.DrawOutline(*screen.Canvas(), 0, 0, 8, 7, 0, 0, 8, 7, 0, clRed, clLime);
    // (x + y) and 7 below 4: the second colour ('b'), else the first ('a').
    EXPECT_EQ(Screen(screen),
              (std::vector<std::string>{"........", ".bbaaa..", ".b...a..", ".a...b..", ".a...b..",
                                        ".aabbb..", "........"}));
    WhiteScreen(screen, 8, 7);
    m.DrawOutline(*screen.Canvas(), 0, 0, 8, 7, 0, 0, 8, 7, 4, clRed, clLime);
    EXPECT_EQ(Screen(screen)[1], ".aabbb.."); // the phase shifts the pattern
    // Zoomed to twice the size, two display pixels up and left of the canvas: only display
    // pixels next to an unselected one are outline pixels, so the edge is one pixel thick.
    WhiteScreen(screen, 8, 7);
    m.DrawOutline(*screen.Canvas(), -2, -2, 16, 14, 0, 0, 8, 7, 0, clRed, clLime);
    const auto zoomed = Screen(screen);
    EXPECT_EQ(zoomed[0], "bbbbaaaa");
    EXPECT_EQ(zoomed[1], "b.......");
    EXPECT_EQ(zoomed[2], "b.......");
}

TEST_F(VLMaskCopy, BitmapToMaskAndBack) {
    TVLBitmap rgb(3, 1, vl24RGB);
    rgb.SetPixelRGB(0, 0, {255, 255, 255});
    rgb.SetPixelRGB(1, 0, {0, 0, 0});
    rgb.SetPixelRGB(2, 0, {0, 0, 100}); // red 100: 100 x 21 / 100
    TVLMask m;
    rgb.CopyToMask(&m);
    ASSERT_EQ(m.GetBitsPerPixel(), 8);
    EXPECT_EQ(m.GetPixel(0, 0), 255);
    EXPECT_EQ(m.GetPixel(1, 0), 0);
    EXPECT_EQ(m.GetPixel(2, 0), 21);
    EXPECT_EQ(BoxOf(m), (Box{0, 0, 2, 0}));

    for (TVLPixelFormat f : {vl1g, vl8g}) {
        SCOPED_TRACE(int(f));
        TVLBitmap b(11, 3, f);
        b.Fill(0);
        b.FillRect(2, 1, 9, 1, f == vl1g ? 1 : 200);
        TVLMask mask;
        b.CopyToMask(&mask);
        EXPECT_EQ(mask.GetBitsPerPixel(), f == vl1g ? 1 : 8);
        EXPECT_EQ(BoxOf(mask), (Box{2, 1, 9, 1}));
        TVLBitmap back;
        back.CopyFromMask(&mask);
        EXPECT_EQ(back.GetPixelFormat(), f);
        for (int32_t x = 0; x < 11; ++x)
            EXPECT_EQ(back.GetPixelAsRGB(x, 1), b.GetPixelAsRGB(x, 1)) << x;
    }
    TVLBitmap cmyk(2, 2, vlCMYK);
    TVLMask untouched;
    cmyk.CopyToMask(&untouched);
    EXPECT_EQ(untouched.GetBitsPerPixel(), 0);

    TVLBitmap filled(2, 2, vl8g);
    filled.CopyFromMask(nullptr);
    EXPECT_TRUE(filled.Full);
    EXPECT_EQ(filled.GetPixel8(1, 1), 255);
}

} // namespace
