// Magic wand: a span-stack seed fill of the similar region, its mask, and its outline traced on
// a grid four times finer than the pixels so that the polygon runs along pixel edges.
#include "imaging/proc/VLMagicWand.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

struct TSeedColor {
    TVLRGB Seed;
    int32_t Tolerance;
    bool Similar(TVLBitmap& B, int32_t X, int32_t Y) const {
        const TVLRGB c = B.GetPixelAsRGB(X, Y);
        return std::abs(c.r - Seed.r) <= Tolerance && std::abs(c.g - Seed.g) <= Tolerance &&
               std::abs(c.b - Seed.b) <= Tolerance;
    }
};

// The visited pixels of the region and their box (inclusive).
struct TRegion {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Visited;
    int32_t Left = INT32_MAX, Top = INT32_MAX, Right = -1, Bottom = -1;
    bool At(int32_t X, int32_t Y) const { return Visited[static_cast<size_t>(Y) * Width + X] != 0; }
};

struct TSpan {
    int32_t Row, X1, X2;
};

// 4-connected region of pixels similar to (X, Y): a scan-line fill with a span stack. Each span
// names columns of a row to look at; every run found there is filled to its ends and hands its
// columns on to the rows above and below.
TRegion SeedFill(TVLBitmap& B, int32_t X, int32_t Y, int32_t Tolerance) {
    TRegion r;
    r.Width = B.GetWidth();
    r.Height = B.GetHeight();
    r.Visited.assign(static_cast<size_t>(r.Width) * r.Height, 0);
    const TSeedColor seed{B.GetPixelAsRGB(X, Y), Tolerance};
    auto take = [&](int32_t x, int32_t y) {
        if (r.At(x, y) || !seed.Similar(B, x, y)) return false;
        r.Visited[static_cast<size_t>(y) * r.Width + x] = 1;
        r.Left = std::min(r.Left, x);
        r.Right = std::max(r.Right, x);
        r.Top = std::min(r.Top, y);
        r.Bottom = std::max(r.Bottom, y);
        return true;
    };
    std::vector<TSpan> stack{{Y, X, X}};
    while (!stack.empty()) {
        const TSpan s = stack.back();
        stack.pop_back();
        if (s.Row < 0 || s.Row >= r.Height) continue;
        for (int32_t x = s.X1; x <= s.X2; ++x) {
            if (!take(x, s.Row)) continue;
            int32_t left = x, right = x;
            while (left > 0 && take(left - 1, s.Row))
                --left;
            while (right + 1 < r.Width && take(right + 1, s.Row))
                ++right;
            stack.push_back({s.Row - 1, left, right});
            stack.push_back({s.Row + 1, left, right});
            x = right;
        }
    }
    return r;
}

template <class Fn> void ForEachGrown(const TRegion& R, bool MaxFilter, int32_t ClipRight,
                                      int32_t ClipBottom, int32_t ClipLeft, int32_t ClipTop, Fn Set) {
    for (int32_t y = R.Top; y <= R.Bottom; ++y)
        for (int32_t x = R.Left; x <= R.Right; ++x) {
            if (!R.At(x, y)) continue;
            if (!MaxFilter) {
                Set(x, y);
                continue;
            }
            for (int32_t v = std::max(ClipTop, y - 1); v <= std::min(ClipBottom, y + 1); ++v)
                for (int32_t u = std::max(ClipLeft, x - 1); u <= std::min(ClipRight, x + 1); ++u)
                    Set(u, v);
        }
}

bool Inside(TVLBitmap& B, int32_t X, int32_t Y) {
    return X >= 0 && Y >= 0 && X < B.GetWidth() && Y < B.GetHeight();
}

struct TStep {
    int32_t DX, DY, Code;
};
// Search order of the tracer, with the chain code of each step.
constexpr std::array<TStep, 8> Steps = {{{1, 0, 0},
                                         {0, -1, 2},
                                         {-1, 0, 4},
                                         {0, 1, 6},
                                         {1, -1, 1},
                                         {-1, -1, 3},
                                         {-1, 1, 5},
                                         {1, 1, 7}}};
constexpr std::array<TPoint, 8> CodeMoves = {
    {{1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}}};

class TOutlineGrid {
public:
    TOutlineGrid(int32_t BoxWidth, int32_t BoxHeight)
        : FCols(BoxWidth * 4 + 4), FRows(BoxHeight * 4 + 4),
          FCells(static_cast<size_t>(FCols) * FRows, 0) {}
    int32_t Cols() const { return FCols; }
    int32_t Rows() const { return FRows; }
    uint8_t Get(int32_t C, int32_t R) const {
        return C < 0 || R < 0 || C >= FCols || R >= FRows ? 0 : FCells[Index(C, R)];
    }
    void Set(int32_t C, int32_t R, uint8_t V) { FCells[Index(C, R)] = V; }
    void MarkPixel(int32_t X, int32_t Y) {
        for (int32_t r = 4 * Y + 2; r <= 4 * Y + 5; ++r)
            for (int32_t c = 4 * X + 2; c <= 4 * X + 5; ++c)
                Set(c, r, 1);
    }
    // The cells next to each run of 1s, from the four sides.
    void MarkBoundary() {
        for (int32_t r = 0; r < FRows; ++r) {
            for (int32_t c = 1; c < FCols; ++c)
                if (Get(c, r) == 1 && Get(c - 1, r) != 1) Set(c - 1, r, 3);
            for (int32_t c = FCols - 2; c >= 0; --c)
                if (Get(c, r) == 1 && Get(c + 1, r) != 1) Set(c + 1, r, 3);
        }
        for (int32_t c = 0; c < FCols; ++c) {
            for (int32_t r = 1; r < FRows; ++r)
                if (Get(c, r) == 1 && Get(c, r - 1) != 1) Set(c, r - 1, 3);
            for (int32_t r = FRows - 2; r >= 0; --r)
                if (Get(c, r) == 1 && Get(c, r + 1) != 1) Set(c, r + 1, 3);
        }
    }

private:
    size_t Index(int32_t C, int32_t R) const { return static_cast<size_t>(R) * FCols + C; }
    int32_t FCols, FRows;
    std::vector<uint8_t> FCells;
};

// The boundary cell nearest the top-left corner of the boundary's box.
bool StartCell(const TOutlineGrid& G, int32_t& SC, int32_t& SR) {
    int32_t k0 = INT32_MAX, r0 = INT32_MAX;
    for (int32_t r = 0; r < G.Rows(); ++r)
        for (int32_t c = 1; c < G.Cols(); ++c)
            if (G.Get(c, r) == 3) {
                k0 = std::min(k0, c);
                r0 = std::min(r0, r);
            }
    if (k0 == INT32_MAX) return false;
    int64_t best = INT64_MAX;
    for (int32_t r = 0; r < G.Rows(); ++r)
        for (int32_t c = 0; c < G.Cols(); ++c)
            if (G.Get(c, r) == 3) {
                const int64_t d = int64_t(c - k0) * (c - k0) + int64_t(r - r0) * (r - r0);
                if (d < best) {
                    best = d;
                    SC = c;
                    SR = r;
                }
            }
    return true;
}

std::vector<uint8_t> TraceChain(TOutlineGrid& G, int32_t SC, int32_t SR) {
    std::vector<uint8_t> codes;
    int32_t c = SC, r = SR, dir = 4;
    G.Set(c, r, 2);
    for (;;) {
        const TStep& d = Steps[dir];
        if (G.Get(c + d.DX, r + d.DY) == 3) {
            c += d.DX;
            r += d.DY;
            G.Set(c, r, 2);
            codes.push_back(static_cast<uint8_t>(d.Code));
        }
        int32_t found = -1;
        for (int32_t i = 0; i < 8 && found < 0; ++i)
            if (G.Get(c + Steps[i].DX, r + Steps[i].DY) == 3) found = i;
        if (found < 0) break;
        c += Steps[found].DX;
        r += Steps[found].DY;
        G.Set(c, r, 2);
        codes.push_back(static_cast<uint8_t>(Steps[found].Code));
        dir = found;
    }
    for (const TStep& s : Steps)
        if (c + s.DX == SC && r + s.DY == SR) {
            codes.push_back(static_cast<uint8_t>(s.Code));
            break;
        }
    return codes;
}

} // namespace

void MagicWandFill(TVLBitmap& Bitmap, int32_t X, int32_t Y, bool MaxFilter, int32_t Tolerance,
                   TVLMask& Mask, int32_t Value) {
    if (!Inside(Bitmap, X, Y)) return;
    const TRegion r = SeedFill(Bitmap, X, Y, Tolerance);
    ForEachGrown(r, MaxFilter, Bitmap.GetWidth() - 1, Bitmap.GetHeight() - 1, 0, 0,
                 [&](int32_t u, int32_t v) { Mask.SetPixel(u, v, Value); });
}

void MagicWandGlobal(TVLBitmap& Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TVLMask& Mask,
                     int32_t Value) {
    if (!Inside(Bitmap, X, Y)) return;
    const TSeedColor seed{Bitmap.GetPixelAsRGB(X, Y), Tolerance};
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
            if (seed.Similar(Bitmap, x, y)) Mask.SetPixel(x, y, Value);
}

std::vector<TPoint> MagicWandOutline(TVLBitmap& Bitmap, int32_t X, int32_t Y, bool MaxFilter,
                                     int32_t Tolerance) {
    std::vector<TPoint> points;
    if (!Inside(Bitmap, X, Y)) return points;
    const TRegion r = SeedFill(Bitmap, X, Y, Tolerance);
    const int32_t bw = r.Right - r.Left + 1, bh = r.Bottom - r.Top + 1;
    TOutlineGrid grid(bw, bh);
    // Grown pixels are clipped to the box, not to the bitmap.
    ForEachGrown(r, MaxFilter, r.Right, r.Bottom, r.Left, r.Top,
                 [&](int32_t u, int32_t v) { grid.MarkPixel(u - r.Left, v - r.Top); });
    grid.MarkBoundary();
    int32_t sc = 0, sr = 0;
    if (!StartCell(grid, sc, sr)) return points;
    const std::vector<uint8_t> codes = TraceChain(grid, sc, sr);
    TPoint p{sc + 4 * r.Left - 1, sr + 4 * r.Top - 1};
    points.push_back(p);
    int32_t previous = codes.empty() ? -1 : codes[0];
    for (uint8_t code : codes) {
        if (code != previous) points.push_back(p);
        previous = code;
        p.X += CodeMoves[code].X;
        p.Y += CodeMoves[code].Y;
    }
    for (TPoint& v : points) {
        v.X >>= 2;
        v.Y >>= 2;
    }
    return points;
}
