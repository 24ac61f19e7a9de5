// Magic wand kernels against references written here: a per-pixel tolerance test for the
// global mode, a breadth-first 4-connected flood for the fill, and the fill of the traced
// outline for the outline mode.
#include "imaging/proc/VLMagicWand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <queue>
#include <random>

namespace {

// A 24-bit picture of a few grey levels in blobs, so that regions have holes and diagonals.
void RandomPicture(TVLBitmap& B, int32_t W, int32_t H, uint32_t Seed) {
    ASSERT_TRUE(B.Allocate(W, H, TVLPixelFormat::vl24RGB));
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            const auto v = static_cast<uint8_t>((random() % 4) * 10 + random() % 3);
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
        }
    }
}

bool Similar(TVLBitmap& B, int32_t X, int32_t Y, TVLRGB Seed, int32_t Tol) {
    const TVLRGB c = B.GetPixelAsRGB(X, Y);
    return std::abs(c.r - Seed.r) <= Tol && std::abs(c.g - Seed.g) <= Tol &&
           std::abs(c.b - Seed.b) <= Tol;
}

std::vector<uint8_t> Flood(TVLBitmap& B, int32_t X, int32_t Y, int32_t Tol) {
    const int32_t W = B.GetWidth(), H = B.GetHeight();
    std::vector<uint8_t> in(static_cast<size_t>(W) * H, 0);
    const TVLRGB seed = B.GetPixelAsRGB(X, Y);
    std::queue<TPoint> queue;
    queue.push({X, Y});
    in[static_cast<size_t>(Y) * W + X] = 1;
    while (!queue.empty()) {
        const TPoint p = queue.front();
        queue.pop();
        const TPoint next[4] = {{p.X + 1, p.Y}, {p.X - 1, p.Y}, {p.X, p.Y + 1}, {p.X, p.Y - 1}};
        for (const TPoint& n : next) {
            if (n.X < 0 || n.Y < 0 || n.X >= W || n.Y >= H) continue;
            uint8_t& v = in[static_cast<size_t>(n.Y) * W + n.X];
            if (v || !Similar(B, n.X, n.Y, seed, Tol)) continue;
            v = 1;
            queue.push(n);
        }
    }
    return in;
}

TEST(MagicWand, FillEqualsABreadthFirstFloodAndGlobalEqualsThePixelTest) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        TVLBitmap b;
        RandomPicture(b, 37, 23, seed);
        const int32_t x = static_cast<int32_t>(seed * 5 % 37),
                      y = static_cast<int32_t>(seed * 3 % 23);
        for (int32_t tol : {0, 2, 12}) {
            SCOPED_TRACE(tol);
            TVLMask fill, global;
            ASSERT_TRUE(fill.AllocateBits(37, 23, 1));
            ASSERT_TRUE(global.AllocateBits(37, 23, 8));
            MagicWandFill(b, x, y, false, tol, fill, 1);
            MagicWandGlobal(b, x, y, tol, global, 200);
            const std::vector<uint8_t> flood = Flood(b, x, y, tol);
            const TVLRGB s = b.GetPixelAsRGB(x, y);
            for (int32_t v = 0; v < 23; ++v)
                for (int32_t u = 0; u < 37; ++u) {
                    ASSERT_EQ(fill.GetPixel(u, v), flood[static_cast<size_t>(v) * 37 + u])
                        << u << "," << v;
                    ASSERT_EQ(global.GetPixel(u, v), Similar(b, u, v, s, tol) ? 200 : 0);
                }
        }
    }
}

TEST(MagicWand, GrowingAddsTheNeighbourhoodAndOutsidePointsDoNothing) {
    TVLBitmap b;
    ASSERT_TRUE(b.Allocate(10, 10, TVLPixelFormat::vl24RGB));
    b.Fill(0);
    b.GetScanline(5)[5 * 3] = 255; // one red pixel
    TVLMask m;
    ASSERT_TRUE(m.AllocateBits(10, 10, 1));
    MagicWandFill(b, 5, 5, true, 0, m, 1);
    int32_t n = 0;
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            n += m.GetPixel(x, y);
    EXPECT_EQ(n, 9);
    TVLMask none;
    ASSERT_TRUE(none.AllocateBits(10, 10, 1));
    MagicWandFill(b, 10, 3, false, 0, none, 1);
    MagicWandGlobal(b, -1, 3, 0, none, 1);
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_TRUE(MagicWandOutline(b, 3, 10, false, 0).empty());
}

TEST(MagicWand, OutlineRunsAlongPixelEdges) {
    TVLBitmap b;
    ASSERT_TRUE(b.Allocate(20, 16, TVLPixelFormat::vl24RGB));
    b.Fill(0);
    // A single pixel, and an L-shaped region with a notch.
    b.GetScanline(2)[3 * 3] = 255;
    for (int32_t y = 6; y < 14; ++y)
        for (int32_t x = 8; x < 18; ++x)
            if (!(x >= 13 && y < 10)) b.GetScanline(y)[x * 3 + 1] = 200;
    struct TCase {
        int32_t X, Y;
    };
    for (const TCase& c : {TCase{3, 2}, TCase{9, 12}}) {
        SCOPED_TRACE(c.X);
        const std::vector<TPoint> outline = MagicWandOutline(b, c.X, c.Y, false, 0);
        ASSERT_FALSE(outline.empty());
        TVLMask filled, flooded;
        ASSERT_TRUE(filled.AllocateBits(20, 16, 1));
        ASSERT_TRUE(flooded.AllocateBits(20, 16, 1));
        filled.FillPolygons(1, outline.data(), static_cast<int32_t>(outline.size()));
        MagicWandFill(b, c.X, c.Y, false, 0, flooded, 1);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 20; ++x)
                ASSERT_EQ(filled.GetPixel(x, y), flooded.GetPixel(x, y)) << x << "," << y;
    }
    const std::vector<TPoint> one = MagicWandOutline(b, 3, 2, false, 0);
    for (const TPoint& p : one) {
        EXPECT_TRUE(p.X == 3 || p.X == 4);
        EXPECT_TRUE(p.Y == 2 || p.Y == 3);
    }
}

// Drawn shapes on a black 24 x 18 picture: the region around each seed is the shape itself.
enum class TShape { Disc, L, SinglePixel, Checkerboard, Full };

void DrawShape(TVLBitmap& B, TShape Shape) {
    ASSERT_TRUE(B.Allocate(24, 18, TVLPixelFormat::vl24RGB));
    B.Fill(0);
    for (int32_t y = 0; y < 18; ++y)
        for (int32_t x = 0; x < 24; ++x) {
            bool on = false;
            switch (Shape) {
            case TShape::Disc:
                on = (x - 11) * (x - 11) + (y - 8) * (y - 8) <= 36;
                break;
            case TShape::L:
                on = (x >= 3 && x < 8 && y >= 2 && y < 16) ||
                     (x >= 3 && x < 20 && y >= 11 && y < 16);
                break;
            case TShape::SinglePixel:
                on = x == 17 && y == 4;
                break;
            case TShape::Checkerboard:
                on = (x + y) % 2 == 0;
                break;
            case TShape::Full:
                on = true;
                break;
            }
            if (on) B.SetPixelRGB(x, y, TVLRGB{40, 180, 90});
        }
}

std::vector<uint8_t> MaskPixels(TVLMask& M) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < M.GetHeight(); ++y)
        for (int32_t x = 0; x < M.GetWidth(); ++x)
            out.push_back(M.GetPixel(x, y) != 0);
    return out;
}

// The 3 x 3 dilation of a region, clipped to the rectangle [L, R] x [T, B] (inclusive).
std::vector<uint8_t> Dilate(const std::vector<uint8_t>& In, int32_t W, int32_t H, int32_t L,
                            int32_t T, int32_t R, int32_t B) {
    std::vector<uint8_t> out(In.size(), 0);
    for (int32_t y = T; y <= B; ++y)
        for (int32_t x = L; x <= R; ++x)
            for (int32_t v = std::max(0, y - 1); v <= std::min(H - 1, y + 1); ++v)
                for (int32_t u = std::max(0, x - 1); u <= std::min(W - 1, x + 1); ++u)
                    if (In[static_cast<size_t>(v) * W + u]) out[static_cast<size_t>(y) * W + x] = 1;
    return out;
}

TEST(MagicWand, DrawnShapesAgainstAFloodItsDilationAndTheFilledOutline) {
    struct TCase {
        const char* Name;
        TShape Shape;
        int32_t X, Y;
        bool Holed; // the region surrounds the shape: its outline encloses the whole picture
    };
    const TCase cases[] = {{"disc", TShape::Disc, 11, 8, false},
                           {"background around the disc", TShape::Disc, 0, 0, true},
                           {"L", TShape::L, 4, 3, false},
                           {"single pixel", TShape::SinglePixel, 17, 4, false},
                           {"checkerboard", TShape::Checkerboard, 6, 6, false},
                           {"full picture", TShape::Full, 23, 17, false},
                           {"L from the far corner", TShape::L, 19, 15, false}};
    constexpr int32_t W = 24, H = 18;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap b;
        DrawShape(b, c.Shape);
        const std::vector<uint8_t> flood = Flood(b, c.X, c.Y, 0);
        int32_t l = W, t = H, r = -1, bottom = -1, count = 0;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                if (flood[static_cast<size_t>(y) * W + x]) {
                    l = std::min(l, x);
                    r = std::max(r, x);
                    t = std::min(t, y);
                    bottom = std::max(bottom, y);
                    ++count;
                }
        if (c.Shape == TShape::Checkerboard) {
            EXPECT_EQ(count, 1);
        }
        if (c.Shape == TShape::Full) {
            EXPECT_EQ(count, W * H);
        }

        TVLMask fill, grown;
        ASSERT_TRUE(fill.AllocateBits(W, H, 1));
        ASSERT_TRUE(grown.AllocateBits(W, H, 8));
        MagicWandFill(b, c.X, c.Y, false, 0, fill, 1);
        MagicWandFill(b, c.X, c.Y, true, 0, grown, 255);
        EXPECT_EQ(MaskPixels(fill), flood);
        EXPECT_EQ(MaskPixels(grown), Dilate(flood, W, H, 0, 0, W - 1, H - 1));

        // The outline, filled as a polygon, covers exactly the region; with growth, the
        // dilation kept inside the region's box.
        for (bool grow : {false, true}) {
            SCOPED_TRACE(grow);
            const std::vector<TPoint> outline = MagicWandOutline(b, c.X, c.Y, grow, 0);
            ASSERT_FALSE(outline.empty());
            for (const TPoint& p : outline) {
                EXPECT_TRUE(p.X >= l && p.X <= r + 1 && p.Y >= t && p.Y <= bottom + 1)
                    << p.X << "," << p.Y;
            }
            TVLMask filled;
            ASSERT_TRUE(filled.AllocateBits(W, H, 1));
            filled.FillPolygons(1, outline.data(), static_cast<int32_t>(outline.size()));
            if (c.Holed) {
                EXPECT_EQ(MaskPixels(filled), std::vector<uint8_t>(W * H, 1));
                continue;
            }
            EXPECT_EQ(MaskPixels(filled), grow ? Dilate(flood, W, H, l, t, r, bottom) : flood);
        }
    }
}

TEST(MagicWand, CheckerboardGlobalTakesEveryPixelOfTheSeedColour) {
    TVLBitmap b;
    DrawShape(b, TShape::Checkerboard);
    TVLMask global;
    ASSERT_TRUE(global.AllocateBits(24, 18, 1));
    MagicWandGlobal(b, 5, 3, 0, global, 1);
    for (int32_t y = 0; y < 18; ++y)
        for (int32_t x = 0; x < 24; ++x)
            ASSERT_EQ(global.GetPixel(x, y), (x + y) % 2 == 0 ? 1 : 0) << x << "," << y;
}

TEST(MagicWand, SeedsOnTheFarEdgesAndJustPastThem) {
    TVLBitmap b;
    DrawShape(b, TShape::Full);
    struct TSeed {
        int32_t X, Y;
        bool Inside;
    };
    const TSeed seeds[] = {{23, 0, true},  {0, 17, true},   {23, 17, true}, {24, 0, false},
                           {0, 18, false}, {24, 18, false}, {-1, 5, false}, {5, -1, false}};
    for (const TSeed& s : seeds) {
        SCOPED_TRACE(testing::Message() << s.X << "," << s.Y);
        TVLMask fill, global;
        ASSERT_TRUE(fill.AllocateBits(24, 18, 1));
        ASSERT_TRUE(global.AllocateBits(24, 18, 1));
        MagicWandFill(b, s.X, s.Y, true, 0, fill, 1);
        MagicWandGlobal(b, s.X, s.Y, 0, global, 1);
        const std::vector<TPoint> outline = MagicWandOutline(b, s.X, s.Y, false, 0);
        EXPECT_EQ(fill.IsEmpty(), !s.Inside);
        EXPECT_EQ(global.IsEmpty(), !s.Inside);
        EXPECT_EQ(outline.empty(), !s.Inside);
        if (!s.Inside) continue;
        // The whole picture: every vertex on the border.
        for (const TPoint& p : outline)
            EXPECT_TRUE(p.X == 0 || p.X == 24 || p.Y == 0 || p.Y == 18) << p.X << "," << p.Y;
    }
}

} // namespace
