// Copies, rectangles, fills, pixel accessors, palette, alpha channel and whole-image tests of
// TVLBitmap over every pixel format and every storage.
#include "imaging/core/VLBitmap.h"

#include "BitmapFixtures.h"
#include "TempFolder.h"
#include "imaging/core/VLHelpers.h"
#include "tests/PeakMemory.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

// Formats a class-library bitmap holds as they are.
bool ClassFormat(TVLPixelFormat f) {
    return f == vl1g || f == vl8p || f == vl8g || f == vl24RGB || f == vl32RGB;
}

bool Fits(Storage s, TVLPixelFormat f) {
    return s != Storage::ClassBitmap || ClassFormat(f);
}

std::string Trace(Storage s, TVLPixelFormat f) {
    return std::string(StorageName(s)) + ", format " + std::to_string(int(f));
}

// The used bytes of one row (padding excluded).
size_t UsedBytes(TVLBitmap& b) {
    return static_cast<size_t>(AlignedRowLength(b.GetWidth(), b.GetBitCount(), 8));
}

using Rows = std::vector<std::vector<uint8_t>>;

Rows Snapshot(TVLBitmap& b) {
    Rows rows;
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        const uint8_t* row = b.GetScanline(r);
        rows.emplace_back(row, row + UsedBytes(b));
    }
    b.UnmapAllScanlines();
    return rows;
}

void WritePattern(TVLBitmap& b) {
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        uint8_t* row = b.GetScanline(r);
        for (int32_t i = 0; i < b.GetRowLen(); ++i)
            row[i] = Pattern(r, i);
    }
    b.UnmapAllScanlines();
}

// Bytes of pixel x (the bit, 0 or 1, for 1-bit rows).
std::vector<uint8_t> PixelOf(const Rows& rows, int32_t x, int32_t y, int32_t bits) {
    if (bits == 1) return {static_cast<uint8_t>((rows[y][x >> 3] >> (7 - (x & 7))) & 1)};
    const int32_t n = bits / 8;
    return {rows[y].begin() + x * n, rows[y].begin() + (x + 1) * n};
}

class VLBitmapOps : public TempFolderTest {
protected:
    void TearDown() override {
        MaxPixelBlockSize = INT64_MAX;
        TempFolderTest::TearDown();
    }

    std::unique_ptr<TVLBitmap> Make(Storage storage, int32_t w, int32_t h, TVLPixelFormat f) {
        DefaultMinFileSize = storage == Storage::File ? 0 : int64_t{1} << 40;
        MaxPixelBlockSize = storage == Storage::Fragments ? 1 : INT64_MAX;
        auto b = std::make_unique<TVLBitmap>();
        if (storage == Storage::ClassBitmap) b->SetLocation(vlTBitmap);
        EXPECT_TRUE(b->Allocate(w, h, f)) << Trace(storage, f);
        MaxPixelBlockSize = INT64_MAX;
        return b;
    }
};

// ---------------------------------------------------------------------------------------------
// Fills and pixel accessors.

TEST_F(VLBitmapOps, FillSetsEveryPixelOfEveryFormatAndStorage) {
    // TColor 0x00336699: red 0x99, green 0x66, blue 0x33.
    const double color = 0x336699;
    struct Case {
        TVLPixelFormat format;
        double value;
        TVLRGB asRGB;
    };
    const Case cases[] = {
        {vl1g, 1, {255, 255, 255}},           {vl8p, 7, {}},
        {vl8g, 200, {200, 200, 200}},         {vl16g, 0x1234, {0x12, 0x12, 0x12}},
        {vl24RGB, color, {0x33, 0x66, 0x99}}, {vl32f, 0.5, {127, 127, 127}},
        {vlRGB48, color, {0x33, 0x66, 0x99}}, {vl32RGB, color, {0x33, 0x66, 0x99}},
    };
    for (Storage s : AllStorages) {
        for (const Case& c : cases) {
            if (!Fits(s, c.format)) continue;
            SCOPED_TRACE(Trace(s, c.format));
            auto b = Make(s, 13, 5, c.format);
            if (c.format == vl8p) b->SetPaletteColor(7, {1, 2, 3});
            if (c.format == vl32RGB) WritePattern(*b); // the fourth bytes must survive
            b->Fill(c.value);
            const TVLRGB expected = c.format == vl8p ? TVLRGB{1, 2, 3} : c.asRGB;
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 13; ++x)
                    ASSERT_EQ(b->GetPixelAsRGB(x, y), expected) << x << "," << y;
            switch (c.format) {
            case vl16g:
                EXPECT_EQ(b->GetPixel16(12, 4), 0x1234);
                break;
            case vl32f:
                EXPECT_EQ(b->GetPixelFloat(12, 0), 0.5f);
                break;
            case vlRGB48:
                EXPECT_EQ(b->GetPixelRGB48(3, 3), (TVLRGB48{0x9999, 0x6666, 0x3333}));
                break;
            case vl32RGB:
                for (int32_t y = 0; y < 5; ++y) // top row included
                    EXPECT_EQ(b->GetScanline(y)[4 * 12 + 3], Pattern(y, 4 * 12 + 3)) << y;
                break;
            default:
                break;
            }
        }
    }
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(VLBitmapOps, FillWithTheOpaqueValueSetsFull) {
    struct Case {
        TVLPixelFormat format;
        double value;
    };
    const Case cases[] = {{vl1g, 5},    {vl8g, 255},        {vl16g, 65535},     {vl24RGB, clWhite},
                          {vl32f, 1.0}, {vlRGB48, clWhite}, {vl32RGB, clWhite}, {vl8p, 255}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.format));
        TVLBitmap b(3, 3, c.format);
        b.Fill(c.value);
        EXPECT_TRUE(b.Full);
        b.Fill(0);
        EXPECT_FALSE(b.Full);
    }
    auto alpha = TVLBitmap::CreateAsAlpha(4, 4, vlMemory);
    EXPECT_TRUE(alpha->Full);
    alpha->SetPixel8(1, 1, 254);
    EXPECT_FALSE(alpha->Full);
    alpha->SetPixel8(1, 1, 255);
    alpha->SyncFull();
    EXPECT_TRUE(alpha->Full);
}

TEST_F(VLBitmapOps, FillRectIsClippedAndTouchesOnlyItsPixels) {
    const TVLPixelFormat formats[] = {vl1g,  vl8p,   vl8g,    vl16g,    vl24RGB,
                                      vl32f, vlCMYK, vlRGB48, vlCIELab, vl32RGB};
    struct Rect {
        int32_t x1, y1, x2, y2;
    };
    const Rect rects[] = {{2, 1, 9, 3}, {-5, -5, 3, 2}, {6, 2, 100, 100}, {-10, -10, 100, 100},
                          {5, 3, 4, 3}, {20, 0, 30, 4}, {3, 3, 3, 3}};
    for (Storage s : AllStorages) {
        for (TVLPixelFormat f : formats) {
            if (!Fits(s, f)) continue;
            for (const Rect& r : rects) {
                SCOPED_TRACE(Trace(s, f) + " rect " + std::to_string(r.x1) + "," +
                             std::to_string(r.y1) + "," + std::to_string(r.x2) + "," +
                             std::to_string(r.y2));
                auto b = Make(s, 11, 5, f);
                WritePattern(*b);
                const Rows before = Snapshot(*b);
                // A value whose every byte differs from zero in the formats filled here.
                const double value = f == vl32f ? 0.5 : f == vl1g ? 0 : 0x010101;
                b->FillRect(r.x1, r.y1, r.x2, r.y2, value);
                auto probe = Make(Storage::Memory, 1, 1, f);
                probe->Fill(value);
                const Rows filled = Snapshot(*probe);
                const Rows after = Snapshot(*b);
                const int32_t bits = b->GetBitCount();
                for (int32_t y = 0; y < 5; ++y)
                    for (int32_t x = 0; x < 11; ++x) {
                        const bool inside = x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
                        auto expected =
                            inside ? PixelOf(filled, 0, 0, bits) : PixelOf(before, x, y, bits);
                        if (inside && f == vl32RGB) expected[3] = PixelOf(before, x, y, bits)[3];
                        ASSERT_EQ(PixelOf(after, x, y, bits), expected) << x << "," << y;
                    }
            }
        }
    }
}

TEST_F(VLBitmapOps, FillRectOfFloatsStoresTheValue) {
    TVLBitmap b(4, 4, vl32f);
    b.Fill(1.0);
    ASSERT_TRUE(b.Full);
    b.FillRect(1, 1, 2, 2, 0.5);
    EXPECT_EQ(b.GetPixelFloat(2, 2), 0.5f);
    EXPECT_EQ(b.GetPixelFloat(3, 3), 1.0f);
    EXPECT_FALSE(b.Full); // a lowered value may no longer be called full
}

TEST_F(VLBitmapOps, AccessorsReadAndWriteTheirPixelAndIgnoreWhatIsOutside) {
    TVLBitmap grey(4, 3, vl8g);
    grey.Fill(9);
    grey.SetPixel8(3, 2, 77);
    EXPECT_EQ(grey.GetPixel8(3, 2), 77);
    EXPECT_EQ(grey.GetScanline(2)[3], 77);
    // Outside the bitmap or of another pixel size: read as 0, never written, never a crash.
    grey.SetPixel8(4, 0, 1);
    grey.SetPixel8(0, -1, 1);
    grey.SetPixel16(0, 0, 1);
    grey.SetPixelRGB48(0, 0, {1, 1, 1});
    EXPECT_EQ(grey.GetPixel8(4, 0), 0);
    EXPECT_EQ(grey.GetPixel16(0, 0), 0);
    EXPECT_EQ(grey.GetPixel32(0, 0), 0);
    EXPECT_EQ(grey.GetRGBPixelAddress(0, 0), nullptr);
    EXPECT_EQ(grey.GetPixelAsRGB(-1, 0), TVLRGB{});
    EXPECT_EQ(grey.GetPixel8(0, 0), 9);

    TVLBitmap rgb(3, 2, vl24RGB);
    rgb.SetPixelRGB(2, 1, {1, 2, 3});
    EXPECT_EQ(rgb.GetPixelRGB(2, 1), (TVLRGB{1, 2, 3}));
    EXPECT_EQ(*rgb.GetRGBPixelAddress(2, 1), (TVLRGB{1, 2, 3}));
    EXPECT_EQ(rgb.GetScanline(1)[6], 1); // blue first

    TVLBitmap cmyk(2, 2, vlCMYK);
    cmyk.SetPixel32(1, 1, 0x11223344);
    EXPECT_EQ(cmyk.GetPixel32(1, 1), 0x11223344);

    TVLBitmap words(2, 1, vlRGB48);
    words.SetPixelRGB48(1, 0, {0x1000, 0x2000, 0xFF00});
    EXPECT_EQ(words.GetPixelAsRGB(1, 0), (TVLRGB{0xFF, 0x20, 0x10}));

    // Bit 9 is the bit 0x40 of byte 1, the most significant bit being the leftmost pixel.
    TVLBitmap bits(16, 1, vl1g);
    bits.Fill(0);
    bits.GetScanline(0)[1] = 0x40;
    EXPECT_EQ(bits.GetPixelAsRGB(9, 0), (TVLRGB{255, 255, 255}));
    EXPECT_EQ(bits.GetPixelAsRGB(8, 0), TVLRGB{});

    TVLBitmap floats(1, 1, vl32f);
    for (float v : {-1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        floats.SetPixelFloat(0, 0, v);
        EXPECT_EQ(floats.GetPixelAsRGB(0, 0).r, v > 1 ? 255 : 0) << v;
    }
}

// ---------------------------------------------------------------------------------------------
// Rectangles.

struct CopyCase {
    int32_t sx, sy, dx, dy, w, h;
};

const CopyCase CopyCases[] = {
    {1, 1, 2, 0, 4, 3},     // inside
    {2, 1, -3, 0, 6, 3},    // negative destination start: three columns fewer, from sx + 3
    {-2, -1, 1, 1, 5, 4},   // negative source start shifts the destination too
    {0, 0, 0, 0, 100, 100}, // larger than both
    {0, 0, 9, 0, 3, 3},     // destination start beyond the right edge: nothing
    {0, 7, 0, 0, 3, 3},     // source start below the bottom: nothing
    {-20, 0, 0, 0, 5, 5},   // wholly left of the source: nothing
    {1, 1, 1, 1, 0, 3},     // empty
    {1, 1, 1, 1, -4, -4},   // negative size
    {INT32_MIN, 0, INT32_MAX, 0, INT32_MAX, 2},
    {0, 0, INT32_MIN, 0, INT32_MAX, 2},
    {INT32_MAX, 0, 1, 1, INT32_MAX, INT32_MAX},
};

// What a copy must leave in Dest: every pixel whose source and destination both lie inside.
Rows ExpectedCopy(const Rows& src, int32_t sw, int32_t sh, int32_t srcBits, Rows dst, int32_t dw,
                  int32_t dh, int32_t dstBits, const CopyCase& c) {
    for (int64_t dy = 0; dy < dh; ++dy)
        for (int64_t dx = 0; dx < dw; ++dx) {
            const int64_t i = dx - c.dx, j = dy - c.dy;
            const int64_t sx = c.sx + i, sy = c.sy + j;
            if (i < 0 || j < 0 || i >= c.w || j >= c.h || sx < 0 || sy < 0 || sx >= sw || sy >= sh)
                continue;
            const auto p = PixelOf(src, int32_t(sx), int32_t(sy), srcBits);
            if (dstBits == 1) {
                const auto mask = static_cast<uint8_t>(0x80 >> (dx & 7));
                uint8_t& byte = dst[dy][dx >> 3];
                byte = p[0] ? byte | mask : byte & ~mask;
            } else if (srcBits == 1) {
                std::memset(&dst[dy][dx * 3], p[0] ? 255 : 0, 3);
            } else {
                std::copy(p.begin(), p.end(), dst[dy].begin() + dx * (dstBits / 8));
            }
        }
    return dst;
}

TEST_F(VLBitmapOps, CopyRectClipsEveryRectangleInEveryFormat) {
    const TVLPixelFormat formats[] = {vl1g,   vl8g,    vl16g,    vl24RGB, vl32f,
                                      vlCMYK, vlRGB48, vlCIELab, vl32RGB};
    for (Storage s : AllStorages) {
        for (TVLPixelFormat f : formats) {
            if (!Fits(s, f)) continue;
            for (const CopyCase& c : CopyCases) {
                SCOPED_TRACE(Trace(s, f) + " case " + std::to_string(&c - CopyCases));
                auto src = Make(s, 7, 5, f);
                auto dst = Make(s == Storage::File ? Storage::Memory : Storage::File, 9, 6, f);
                WritePattern(*src);
                dst->Fill(0);
                const Rows expected = ExpectedCopy(Snapshot(*src), 7, 5, src->GetBitCount(),
                                                   Snapshot(*dst), 9, 6, dst->GetBitCount(), c);
                src->CopyRectTo(*dst, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
                ASSERT_EQ(Snapshot(*dst), expected);
            }
        }
    }
}

TEST_F(VLBitmapOps, CopyRectBetweenFormats) {
    for (const CopyCase& c : CopyCases) {
        SCOPED_TRACE(&c - CopyCases);
        TVLBitmap bits(13, 4, vl1g);
        WritePattern(bits);
        TVLBitmap rgb(9, 6, vl24RGB);
        rgb.Fill(0x808080);
        const Rows expected = ExpectedCopy(Snapshot(bits), 13, 4, 1, Snapshot(rgb), 9, 6, 24, c);
        bits.CopyRectTo(rgb, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
        ASSERT_EQ(Snapshot(rgb), expected);
    }
    // Other pairs copy nothing.
    TVLBitmap grey(4, 4, vl8g);
    grey.Fill(200);
    TVLBitmap rgb(4, 4, vl24RGB);
    rgb.Fill(0);
    grey.CopyRectTo(rgb, 0, 0, 0, 0, 4, 4);
    EXPECT_TRUE(rgb.IsAllZero());
}

TEST_F(VLBitmapOps, CopyRectWithinOneBitmapReadsBeforeItWrites) {
    for (Storage s : {Storage::Memory, Storage::File}) {
        for (const CopyCase& c :
             {CopyCase{0, 0, 1, 1, 5, 4}, CopyCase{1, 1, 0, 0, 5, 4}, CopyCase{0, 0, 2, 0, 5, 5}}) {
            SCOPED_TRACE(StorageName(s));
            auto b = Make(s, 7, 5, vl24RGB);
            WritePattern(*b);
            const Rows before = Snapshot(*b);
            const Rows expected = ExpectedCopy(before, 7, 5, 24, before, 7, 5, 24, c);
            b->CopyRectTo(*b, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
            ASSERT_EQ(Snapshot(*b), expected);
        }
    }
}

TEST_F(VLBitmapOps, CopyRectKeepsFullOnlyForFullSources) {
    auto a = TVLBitmap::CreateAsAlpha(4, 4, vlMemory);
    auto b = TVLBitmap::CreateAsAlpha(4, 4, vlMemory);
    a->CopyRectTo(*b, 0, 0, 1, 1, 2, 2);
    EXPECT_TRUE(b->Full);
    a->SetPixel8(0, 0, 3);
    a->CopyRectTo(*b, 0, 0, 1, 1, 2, 2);
    EXPECT_FALSE(b->Full);
    EXPECT_EQ(b->GetPixel8(1, 1), 3);
}

TEST_F(VLBitmapOps, MergeAlphaRectTakesTheLargerByte) {
    TVLBitmap a(4, 4, vl24RGB);
    TVLBitmap b(4, 4, vl24RGB);
    a.GetAlphaChannel()->Fill(100);
    b.GetAlphaChannel()->Fill(50);
    b.SetAlphaPixel(2, 2, 200);
    a.MergeAlphaRectTo(b, 0, 0, 1, 1, 10, 10);
    EXPECT_EQ(b.GetAlphaPixel(0, 0), 50);
    EXPECT_EQ(b.GetAlphaPixel(1, 1), 100);
    EXPECT_EQ(b.GetAlphaPixel(2, 2), 200);
    EXPECT_EQ(b.GetAlphaPixel(3, 3), 100);
    // Without an alpha channel the source counts as opaque.
    TVLBitmap c(4, 4, vl24RGB);
    c.MergeAlphaRectTo(b, 0, 0, 0, 0, 1, 1);
    EXPECT_EQ(b.GetAlphaPixel(0, 0), 255);
}

TEST_F(VLBitmapOps, MoveRectFillsWhereTheRectangleWas) {
    for (Storage s : AllStorages) {
        SCOPED_TRACE(StorageName(s));
        auto b = Make(s, 6, 4, vl8g);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x)
                b->SetPixel8(x, y, static_cast<uint8_t>(10 * y + x));
        b->MoveRect(0, 0, 1, 1, 3, 2, 99);
        EXPECT_EQ(b->GetPixel8(0, 0), 99);
        EXPECT_EQ(b->GetPixel8(1, 1), 99);
        EXPECT_EQ(b->GetPixel8(3, 2), 0);
        EXPECT_EQ(b->GetPixel8(4, 3), 11);
        EXPECT_EQ(b->GetPixel8(2, 0), 2);
        // A rectangle reaching outside moves its inside part to the matching place.
        b->MoveRect(-2, 0, 1, 0, 0, 3, 7);
        EXPECT_EQ(b->GetPixel8(2, 3), 99); // (0, 0) arrived at (2, 3)
        EXPECT_EQ(b->GetPixel8(0, 0), 7);
    }
}

int32_t ColumnValue(int32_t x) {
    return 10 + x;
}

TEST_F(VLBitmapOps, ResizeCanvasAlignsAndFills) {
    struct Case {
        int32_t nw, nh;
        uint8_t ha, va;
        // Old column at new column x, or -1 for the fill.
        std::function<int32_t(int32_t)> oldColumn;
    };
    const Case cases[] = {
        {20, 10, 1, 0, [](int32_t x) { return x >= 5 && x <= 14 ? x - 5 : -1; }},
        {20, 10, 2, 0, [](int32_t x) { return x >= 10 ? x - 10 : -1; }},
        {20, 10, 0, 0, [](int32_t x) { return x < 10 ? x : -1; }},
        {4, 10, 2, 0, [](int32_t x) { return x + 6; }},
        {4, 10, 1, 0, [](int32_t x) { return x + 3; }},
        {4, 10, 0, 0, [](int32_t x) { return x; }},
    };
    for (Storage s : AllStorages) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(StorageName(s)) + " " + std::to_string(c.nw) + " align " +
                         std::to_string(c.ha));
            auto b = Make(s, 10, 10, vl8g);
            for (int32_t y = 0; y < 10; ++y)
                for (int32_t x = 0; x < 10; ++x)
                    b->SetPixel8(x, y, static_cast<uint8_t>(ColumnValue(x)));
            b->GetAlphaChannel()->Fill(255);
            b->ResizeCanvas(c.nw, c.nh, 1, 0, c.ha, c.va);
            ASSERT_EQ(b->GetWidth(), c.nw);
            for (int32_t y = 0; y < 10; ++y)
                for (int32_t x = 0; x < c.nw; ++x) {
                    const int32_t old = c.oldColumn(x);
                    ASSERT_EQ(b->GetPixel8(x, y), old < 0 ? 1 : ColumnValue(old)) << x << "," << y;
                    if (b->HasAlphaChannel()) {
                        ASSERT_EQ(b->GetAlphaPixel(x, y), old < 0 ? 0 : 255) << x << "," << y;
                    }
                }
        }
    }
}

TEST_F(VLBitmapOps, ResizeCanvasVertically) {
    TVLBitmap b(3, 4, vl8g);
    for (int32_t y = 0; y < 4; ++y)
        b.FillRect(0, y, 2, y, 10 + y);
    b.ResizeCanvas(3, 8, 1, 255, 0, 2); // bottom: old rows at 4..7
    for (int32_t y = 0; y < 8; ++y)
        EXPECT_EQ(b.GetPixel8(1, y), y < 4 ? 1 : 10 + y - 4) << y;
    b.ResizeCanvas(3, 2, 1, 255, 0, 1); // centre: rows 3..4 stay
    EXPECT_EQ(b.GetPixel8(0, 0), 1);
    EXPECT_EQ(b.GetPixel8(0, 1), 10);
}

// A tall canvas made wide changes both sides in one step: a side at a time would pass through a
// square of the long side (3.6 GB here).
TEST_F(VLBitmapOps, ResizeCanvasFromTallToWide) {
    constexpr int32_t Long = 60000;
    TVLBitmap b(2, Long, vl8g);
    for (int32_t y = 0; y < 2; ++y)
        b.FillRect(0, y, 1, y, 10 + y);
    const int64_t before = PeakAddressSpaceBytes();
    ASSERT_GT(before, 0);
    b.ResizeCanvas(Long, 2, 1, 255, 0, 0);
    EXPECT_LT(PeakAddressSpaceBytes() - before, int64_t{1} << 30);
    ASSERT_EQ(b.GetWidth(), Long);
    ASSERT_EQ(b.GetHeight(), 2);
    for (int32_t y = 0; y < 2; ++y) {
        EXPECT_EQ(b.GetPixel8(0, y), 10 + y);
        EXPECT_EQ(b.GetPixel8(1, y), 10 + y);
        EXPECT_EQ(b.GetPixel8(2, y), 1);
        EXPECT_EQ(b.GetPixel8(Long - 1, y), 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Whole-bitmap copies.

TEST_F(VLBitmapOps, AssignCopiesEverythingBetweenEveryPairOfStorages) {
    const TVLPixelFormat formats[] = {vl1g, vl8p, vl8g, vl24RGB, vl32RGB, vl16g, vlRGB48};
    for (Storage from : AllStorages) {
        for (Storage to : AllStorages) {
            for (TVLPixelFormat f : formats) {
                if (!Fits(from, f) || !Fits(to, f)) continue;
                SCOPED_TRACE(Trace(from, f) + " -> " + StorageName(to));
                auto src = Make(from, 9, 4, f);
                WritePattern(*src);
                if (f == vl8p) src->SetPaletteColor(3, {7, 8, 9});
                if (from != Storage::ClassBitmap) src->GetAlphaChannel()->Fill(77);
                src->DefaultDitherMethod = 0;
                auto dst = Make(to, 2, 2, vl24RGB);
                dst->Assign(src.get());
                EXPECT_EQ(dst->GetPixelFormat(), f);
                EXPECT_EQ(dst->GetWidth(), 9);
                EXPECT_EQ(Snapshot(*dst), Snapshot(*src));
                EXPECT_EQ(dst->HasAlphaChannel(), src->HasAlphaChannel());
                if (src->HasAlphaChannel()) {
                    EXPECT_EQ(dst->GetAlphaPixel(8, 3), 77);
                }
                EXPECT_EQ(dst->GetPaletteLength(), src->GetPaletteLength());
                TVLRGB entry;
                dst->GetPaletteColor(3, entry);
                if (f == vl8p) {
                    EXPECT_EQ(entry, (TVLRGB{7, 8, 9}));
                }
                EXPECT_EQ(dst->DefaultDitherMethod, 0);
                EXPECT_TRUE(dst->FullReallocate);
            }
        }
    }
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(VLBitmapOps, AssignIntoAClassBitmapNeverOverrunsItsRows) {
    // These formats have no class-library counterpart and longer rows than the one made for
    // them: they arrive as 24-bit colour (16-bit grey as 8-bit), never as overlong rows.
    struct Case {
        TVLPixelFormat format;
        TVLPixelFormat arrives;
    };
    const Case cases[] = {{vl16g, vl8g},
                          {vl32f, vl24RGB},
                          {vlRGB48, vl24RGB},
                          {vlCMYK, vl24RGB},
                          {vlCIELab, vl24RGB}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.format));
        TVLBitmap src(5, 3, c.format);
        WritePattern(src);
        TVLBitmap dst;
        dst.SetLocation(vlTBitmap);
        dst.Assign(&src);
        EXPECT_EQ(dst.GetLocation(), vlTBitmap);
        ASSERT_EQ(dst.GetPixelFormat(), c.arrives);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x)
                ASSERT_EQ(dst.GetPixelAsRGB(x, y), src.GetPixelAsRGB(x, y)) << x << "," << y;
    }
}

TEST_F(VLBitmapOps, AssignIntoAnEncapsulatedClassBitmapWritesTheCallersBitmap) {
    TBitmap vcl;
    vcl.SetPixelFormat(pf24bit);
    vcl.SetSize(2, 2);
    TVLBitmap b;
    b.EncapsulateTBitmap(&vcl, true);
    TVLBitmap src(6, 3, vl24RGB);
    src.Fill(clRed);
    b.Assign(&src);
    EXPECT_EQ(vcl.Width(), 6);
    EXPECT_EQ(static_cast<uint8_t*>(vcl.ScanLine(2))[2], 255);
}

TEST_F(VLBitmapOps, AssignOfABitmapWithoutAlphaRemovesOursAssignImageKeepsIt) {
    TVLBitmap src(4, 4, vl24RGB);
    src.Fill(clBlue);
    TVLBitmap dst(4, 4, vl24RGB);
    dst.GetAlphaChannel()->Fill(3);
    dst.AssignImage(src);
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.GetAlphaPixel(1, 1), 3);
    EXPECT_EQ(dst.GetPixelRGB(1, 1), (TVLRGB{255, 0, 0}));
    dst.Assign(&src);
    EXPECT_FALSE(dst.HasAlphaChannel());

    // Assigning a bitmap's own alpha channel to it, and a bitmap to itself, are safe.
    dst.GetAlphaChannel()->Fill(9);
    dst.Assign(dst.GetAlphaChannel());
    EXPECT_EQ(dst.GetPixelFormat(), vl8g);
    EXPECT_EQ(dst.GetPixel8(3, 3), 9);
    dst.Assign(&dst);
    EXPECT_EQ(dst.GetPixel8(3, 3), 9);
}

TEST_F(VLBitmapOps, AssignImageBetweenFilesOfDifferentRowLengths) {
    DefaultMinFileSize = 0;
    TVLBitmap src(3, 2, vl24RGB);
    src.SetBitAlignment(8);
    WritePattern(src);
    TVLBitmap dst(1, 1, vl8g);
    ASSERT_EQ(dst.GetLocation(), vlFile);
    dst.AssignImage(src); // the alignment is not copied: rows of 12 bytes receive rows of 9
    EXPECT_EQ(dst.GetRowLen(), 12);
    EXPECT_EQ(Snapshot(dst), Snapshot(src));
}

// ---------------------------------------------------------------------------------------------
// Class-library bitmaps and palettes.

TEST_F(VLBitmapOps, CopyFromEveryClassBitmapFormat) {
    struct Case {
        TPixelFormat format;
        TVLPixelFormat expected;
        std::vector<uint8_t> row0;
        TVLRGB pixel0;
    };
    const Case cases[] = {
        {pf1bit, vl1g, {0x80}, {255, 255, 255}},
        {pf4bit, vl8p, {0x9F}, {0, 0, 255}}, // VGA entry 9: bright red
        {pf8bit, vl8p, {1}, {51, 0, 0}},     // default table: the colour cube
        {pf15bit, vl24RGB, {0xFF, 0x7F}, {248, 248, 248}},
        {pf16bit, vl24RGB, {0xFF, 0xFF}, {248, 252, 248}},
        {pf16bit, vl24RGB, {0x00, 0xF8}, {0, 0, 248}}, // red only
        {pf24bit, vl24RGB, {1, 2, 3}, {1, 2, 3}},
        {pf32bit, vl32RGB, {1, 2, 3, 4}, {1, 2, 3}},
    };
    for (Storage s : {Storage::Memory, Storage::File}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(StorageName(s)) + " pf " + std::to_string(int(c.format)));
            TBitmap vcl;
            vcl.SetPixelFormat(c.format);
            vcl.SetSize(3, 2);
            std::memcpy(vcl.ScanLine(0), c.row0.data(), c.row0.size());
            auto b = Make(s, 1, 1, vl8g);
            b->Full = true;
            b->Assign(&vcl);
            EXPECT_EQ(b->GetPixelFormat(), c.expected);
            EXPECT_EQ(b->GetWidth(), 3);
            EXPECT_EQ(b->GetPixelAsRGB(0, 0), c.pixel0);
            EXPECT_FALSE(b->Full);
        }
    }
    // A 1-bit bitmap with colours becomes palette indexes.
    TBitmap twoColours;
    twoColours.SetPixelFormat(pf1bit);
    twoColours.SetSize(9, 1);
    const TRGBQuad table[2] = {{0, 0, 200, 0}, {0, 200, 0, 0}};
    twoColours.SetColorTable(0, table, 2);
    static_cast<uint8_t*>(twoColours.ScanLine(0))[1] = 0x80;
    TVLBitmap b;
    b.CopyFromTBitmap(twoColours);
    ASSERT_EQ(b.GetPixelFormat(), vl8p);
    EXPECT_EQ(b.GetPixel8(8, 0), 1);
    EXPECT_EQ(b.GetPixel8(7, 0), 0);
    EXPECT_EQ(b.GetPixelAsRGB(8, 0), (TVLRGB{0, 200, 0}));
    TVLRGB unused{1, 1, 1};
    b.GetPaletteColor(2, unused);
    EXPECT_EQ(unused, TVLRGB{});

    TBitmap device; // pfDevice copies nothing
    device.SetSize(2, 2);
    TVLBitmap untouched(5, 5, vl8g);
    untouched.CopyFromTBitmap(device);
    EXPECT_EQ(untouched.GetWidth(), 5);
}

TEST_F(VLBitmapOps, CopyFromTBitmapIntoAClassBitmapCopiesIt) {
    TBitmap vcl;
    vcl.SetPixelFormat(pf8bit);
    vcl.SetSize(4, 3);
    static_cast<uint8_t*>(vcl.ScanLine(1))[2] = 1; // blue 51 in the default table
    TVLBitmap b;
    b.SetLocation(vlTBitmap);
    b.CopyFromTBitmap(vcl);
    EXPECT_EQ(vcl.PixelFormat(), pf24bit); // switched first, as the caller's bitmap
    EXPECT_EQ(b.GetPixelFormat(), vl24RGB);
    EXPECT_EQ(b.GetWidth(), 4);
    EXPECT_NE(b.GetVclBitmap(), &vcl);
    EXPECT_EQ(b.GetPixelRGB(2, 1), (TVLRGB{51, 0, 0}));
    EXPECT_EQ(std::memcmp(b.GetScanline(2), vcl.ScanLine(2), 12), 0);
}

TEST_F(VLBitmapOps, CopyPaletteToReplacesTheDestinationsPalette) {
    TVLBitmap src(2, 2, vl8p);
    src.SetPaletteColor(0, {1, 2, 3});
    src.PaletteUsed = 16;
    TVLBitmap dst;
    dst.SetLocation(vlTBitmap);
    ASSERT_TRUE(dst.Allocate(2, 2, vl8p));
    src.CopyPaletteTo(dst);
    TVLRGB c;
    dst.GetPaletteColor(0, c);
    EXPECT_EQ(c, (TVLRGB{1, 2, 3}));
    EXPECT_EQ(dst.PaletteUsed, 16);
    EXPECT_EQ(dst.GetVclBitmap()->ColorTable()[0], (TRGBQuad{1, 2, 3, 0}));

    TVLBitmap grey(2, 2, vl8g);
    grey.CopyPaletteTo(dst);
    EXPECT_EQ(dst.GetPaletteLength(), 0);
    EXPECT_EQ(dst.PaletteUsed, 256);
    EXPECT_EQ(dst.GetPixelAsRGB(0, 0), TVLRGB{}); // a palette index without palette is black
}

TEST(CopyTBitmap, CopiesFormatSizeTableAndPixels) {
    TBitmap src;
    src.SetPixelFormat(pf4bit);
    src.SetSize(5, 3);
    static_cast<uint8_t*>(src.ScanLine(2))[1] = 0xA5;
    const TRGBQuad entry{9, 8, 7, 0};
    src.SetColorTable(4, &entry, 1);
    TBitmap dst;
    CopyTBitmap(src, dst);
    EXPECT_EQ(dst.PixelFormat(), pf4bit);
    EXPECT_EQ(dst.Width(), 5);
    EXPECT_EQ(static_cast<uint8_t*>(dst.ScanLine(2))[1], 0xA5);
    EXPECT_EQ(dst.ColorTable()[4], entry);

    TBitmap empty;
    empty.SetPixelFormat(pf24bit);
    CopyTBitmap(empty, dst);
    EXPECT_EQ(dst.Width(), 1);
    EXPECT_EQ(dst.PixelFormat(), pf24bit);
}

// ---------------------------------------------------------------------------------------------
// Alpha channel.

TEST_F(VLBitmapOps, AlphaChannelIsMadeOnFirstUseAndAttachedWithoutCopy) {
    TVLBitmap b(3, 3, vl24RGB);
    EXPECT_FALSE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetAlphaPixel(2, 2), 255);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_TRUE(b.GetAlphaChannel()->IsAlpha);
    EXPECT_EQ(b.GetAlphaChannel()->GetAlphaChannel(), nullptr);

    b.Full = true;
    b.SetAlphaPixel(0, 0, 10);
    EXPECT_FALSE(b.Full);
    EXPECT_FALSE(b.GetAlphaChannel()->Full);

    auto other = std::make_unique<TVLBitmap>(3, 3, vl8g);
    TVLBitmap* raw = other.get();
    auto previous = b.AttachAlphaChannel(std::move(other));
    EXPECT_EQ(b.GetAlphaChannel(), raw);
    EXPECT_TRUE(raw->IsAlpha);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(previous->GetPixel8(0, 0), 10);
    auto back = b.AttachAlphaChannel(std::move(previous));
    EXPECT_EQ(back.get(), raw);
}

TEST_F(VLBitmapOps, RemoveAlphaChannelMergesOntoTheBackgroundExactly) {
    // White over black: alpha 0 gives the background, 255 the pixel itself (255, not 254: the
    // blend divides by 255), 128 the rounded 128.5 -> 128.
    struct Case {
        uint8_t alpha;
        uint8_t expected;
    };
    const Case cases[] = {{0, 0}, {255, 255}, {128, 128}, {1, 1}, {254, 254}};
    for (Storage s : AllStorages) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(StorageName(s)) + " alpha " + std::to_string(c.alpha));
            auto b = Make(s, 5, 2, vl24RGB);
            b->Fill(clWhite);
            b->GetAlphaChannel()->Fill(c.alpha);
            b->RemoveAlphaChannel(true, clBlack);
            EXPECT_FALSE(b->HasAlphaChannel());
            EXPECT_EQ(b->GetPixelAsRGB(4, 1), (TVLRGB{c.expected, c.expected, c.expected}));
        }
    }
    // A black opaque pixel on a white background stays black.
    TVLBitmap b(1, 1, vl24RGB);
    b.Fill(clBlack);
    b.GetAlphaChannel()->Fill(255);
    b.RemoveAlphaChannel(true, clWhite);
    EXPECT_EQ(b.GetPixelRGB(0, 0), TVLRGB{});
}

TEST_F(VLBitmapOps, RemoveAlphaChannelMergesEveryFormat) {
    // Pixel value p at alpha 51 (a fifth) over a background of grey 200: p/5 + 160.
    struct Case {
        TVLPixelFormat format;
        double value;
        TVLPixelFormat after;
        TVLRGB merged;
    };
    const Case cases[] = {
        {vl8g, 100, vl8g, {180, 180, 180}},
        {vl16g, 100 * 257, vl16g, {180, 180, 180}},
        {vl32f, 100 / 255.0, vl32f, {180, 180, 180}},
        {vl24RGB, RGB(100, 50, 0), vl24RGB, {160, 170, 180}},
        {vl32RGB, RGB(100, 50, 0), vl32RGB, {160, 170, 180}},
        {vlRGB48, RGB(100, 50, 0), vlRGB48, {160, 170, 180}},
        {vl1g, 0, vl24RGB, {160, 160, 160}},
        {vl8p, 0, vl24RGB, {170, 170, 180}}, // entry 0 is (b 50, g 50, r 100)
    };
    for (Storage s : {Storage::Memory, Storage::File}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(Trace(s, c.format));
            auto b = Make(s, 3, 2, c.format);
            if (c.format == vl8p) b->SetPaletteColor(0, {50, 50, 100});
            b->Fill(c.value);
            b->GetAlphaChannel()->Fill(51);
            b->RemoveAlphaChannel(true, RGB(200, 200, 200));
            EXPECT_EQ(b->GetPixelFormat(), c.after);
            const TVLRGB got = b->GetPixelAsRGB(2, 1);
            const int tolerance = c.format == vl32f ? 1 : 0; // float to byte truncates
            EXPECT_NEAR(got.r, c.merged.r, tolerance);
            EXPECT_NEAR(got.g, c.merged.g, tolerance);
            EXPECT_NEAR(got.b, c.merged.b, tolerance);
            EXPECT_FALSE(b->HasAlphaChannel());
        }
    }
}

TEST_F(VLBitmapOps, CMYKPixelsFillReadAndMergeThroughTheColourConversion) {
    // Colour-managed or by formula, white is no ink and black is full ink.
    TVLBitmap cmyk(3, 2, vlCMYK);
    cmyk.Fill(clWhite);
    EXPECT_TRUE(cmyk.Full);
    const TVLRGB white = cmyk.GetPixelAsRGB(2, 1);
    EXPECT_GE(std::min({white.r, white.g, white.b}), 250);
    cmyk.Fill(clBlack);
    const TVLRGB black = cmyk.GetPixelAsRGB(0, 0);
    EXPECT_LE(std::max({black.r, black.g, black.b}), 40);
    // Alpha 0 gives the background's ink, alpha 255 keeps the pixel.
    cmyk.GetAlphaChannel()->SetPixel8(0, 0, 0);
    const int32_t inked = cmyk.GetPixel32(1, 0);
    cmyk.RemoveAlphaChannel(true, clWhite);
    TVLBitmap paper(1, 1, vlCMYK);
    paper.Fill(clWhite);
    EXPECT_EQ(cmyk.GetPixel32(0, 0), paper.GetPixel32(0, 0));
    EXPECT_EQ(cmyk.GetPixel32(1, 0), inked);
}

TEST_F(VLBitmapOps, LabPixelsFillReadAndMergeThroughTheColourHelpers) {
    TVLBitmap lab(3, 2, vlCIELab);
    lab.Fill(clWhite);
    EXPECT_TRUE(lab.Full);
    EXPECT_EQ(lab.GetPixelAsRGB(2, 1), (TVLRGB{255, 255, 255}));
    lab.Fill(clBlack);
    EXPECT_EQ(lab.GetPixelAsRGB(0, 0), TVLRGB{});
    lab.Fill(RGB(200, 40, 90));
    const TVLRGB c = lab.GetPixelAsRGB(1, 1);
    EXPECT_NEAR(c.r, 200, 2);
    EXPECT_NEAR(c.g, 40, 2);
    EXPECT_NEAR(c.b, 90, 2);

    // Merging blends L and the signed a and b towards the background's Lab bytes.
    uint8_t* p = lab.GetScanline(0);
    p[0] = 200;
    p[1] = static_cast<uint8_t>(-40);
    p[2] = 40;
    lab.GetAlphaChannel()->SetPixel8(1, 0, 0);
    lab.GetAlphaChannel()->SetPixel8(2, 0, 128);
    std::memcpy(p + 3, p, 3);
    std::memcpy(p + 6, p, 3);
    lab.RemoveAlphaChannel(true, clBlack); // black is L 0, a 0, b 0
    p = lab.GetScanline(0);
    EXPECT_EQ(p[0], 200); // alpha 255: unchanged
    EXPECT_EQ(static_cast<int8_t>(p[1]), -40);
    EXPECT_EQ(p[3], 0); // alpha 0: the background
    EXPECT_EQ(p[4], 0);
    EXPECT_EQ(p[6], 100); // alpha 128: half way, 100.39 rounded
    EXPECT_EQ(static_cast<int8_t>(p[7]), -20);
    EXPECT_EQ(static_cast<int8_t>(p[8]), 20);
}

// ---------------------------------------------------------------------------------------------
// Whole-image tests.

TEST_F(VLBitmapOps, WholeImageTestsLookAtTheUsedBytesOnly) {
    for (Storage s : AllStorages) {
        SCOPED_TRACE(StorageName(s));
        auto b = Make(s, 3, 2, vl8g); // rows of 4 bytes, one of them padding
        b->Fill(0);
        b->GetScanline(1)[3] = 9;
        b->UnmapAllScanlines();
        EXPECT_TRUE(b->IsAllZero());
        b->SetPixel8(2, 1, 1);
        EXPECT_FALSE(b->IsAllZero());
        b->Fill(255);
        b->GetScanline(0)[3] = 0;
        b->UnmapAllScanlines();
        b->Full = false;
        b->SyncFull();
        EXPECT_TRUE(b->Full);
        b->SetPixel8(0, 1, 254);
        b->SyncFull();
        EXPECT_FALSE(b->Full);
    }
}

TEST_F(VLBitmapOps, IsGrayScaleByFormat) {
    TVLBitmap rgb(2, 2, vl24RGB);
    rgb.Fill(0x505050);
    EXPECT_TRUE(rgb.IsGrayScale());
    rgb.SetPixelRGB(1, 1, {1, 1, 2});
    EXPECT_FALSE(rgb.IsGrayScale());

    TVLBitmap words(2, 2, vlRGB48);
    words.Fill(0x505050);
    EXPECT_TRUE(words.IsGrayScale());
    words.SetPixelRGB48(0, 1, {5, 5, 6});
    EXPECT_FALSE(words.IsGrayScale());

    TVLBitmap quads(2, 2, vl32RGB);
    quads.Fill(0x505050);
    quads.GetScanline(0)[3] = 99; // the fourth byte does not count
    EXPECT_TRUE(quads.IsGrayScale());

    TVLBitmap indexed(2, 2, vl8p);
    for (int i = 0; i < 256; ++i)
        indexed.SetPaletteColor(i, {uint8_t(i), uint8_t(i), uint8_t(i)});
    EXPECT_TRUE(indexed.IsGrayScale());
    indexed.SetPaletteColor(200, {0, 0, 1});
    EXPECT_FALSE(indexed.IsGrayScale());

    EXPECT_TRUE(TVLBitmap(2, 2, vl16g).IsGrayScale());
}

} // namespace
