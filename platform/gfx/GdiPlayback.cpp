// The calls metafile playback needs beyond the rest of the drawing layer: saved device-context
// states, shapes of several rings, pies and chords, and DIB rows drawn at 1:1.
#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace platform::detail;

namespace {

// Deeper saves than this are refused: each state holds a copy of the clip region.
constexpr size_t SavedStateLimit = 4096;

// The first pixel whose centre lies at or right of the edge at X, as the polygon fills take it.
int32_t PixelFrom(double x) {
    return static_cast<int32_t>(std::clamp(std::ceil(x - 0.5 - 1e-9), -1e9, 1e9));
}

template <class T> T* Live(T* Object) {
    return Lookup<T>(Object);
}

} // namespace

namespace platform::detail {

TRegionData RingsRegion(const std::vector<std::vector<std::pair<double, double>>>& Rings,
                        int32_t FillMode, int64_t First, int64_t Last) {
    struct Edge {
        double X0, Y0, X1, Y1;
        int32_t Direction;
    };
    std::vector<Edge> edges;
    for (const auto& ring : Rings)
        for (size_t i = 0; i < ring.size(); ++i) {
            const auto& p = ring[i];
            const auto& q = ring[(i + 1) % ring.size()];
            if (!(p.second != q.second)) continue; // horizontal, or not a number
            const bool down = q.second > p.second;
            const auto& lo = down ? p : q;
            const auto& hi = down ? q : p;
            edges.push_back({lo.first, lo.second, hi.first, hi.second, down ? 1 : -1});
        }
    TRegionData region;
    if (edges.empty()) return region;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.Y0 < b.Y0; });
    double bottom = edges.front().Y1;
    for (const Edge& e : edges)
        bottom = std::max(bottom, e.Y1);
    First = std::max<int64_t>(
        First, static_cast<int64_t>(std::clamp(std::floor(edges.front().Y0), -1e15, 1e15)));
    Last =
        std::min<int64_t>(Last, static_cast<int64_t>(std::clamp(std::ceil(bottom), -1e15, 1e15)));
    struct Crossing {
        double X;
        int32_t Direction;
    };
    std::vector<Crossing> crossings;
    std::vector<const Edge*> active;
    size_t next = 0;
    TSpanList row;
    for (int64_t y = First; y < Last; ++y) {
        const double yc = static_cast<double>(y) + 0.5;
        while (next < edges.size() && edges[next].Y0 <= yc)
            active.push_back(&edges[next++]);
        std::erase_if(active, [&](const Edge* e) { return e->Y1 <= yc; });
        crossings.clear();
        for (const Edge* e : active)
            if (e->Y0 <= yc)
                crossings.push_back(
                    {e->X0 + (yc - e->Y0) * (e->X1 - e->X0) / (e->Y1 - e->Y0), e->Direction});
        std::sort(crossings.begin(), crossings.end(),
                  [](const Crossing& a, const Crossing& b) { return a.X < b.X; });
        row.clear();
        int32_t winding = 0;
        for (size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += FillMode == WINDING ? crossings[k].Direction : 1;
            if (FillMode == WINDING ? winding == 0 : (winding & 1) == 0) continue;
            const int32_t a = PixelFrom(crossings[k].X), b = PixelFrom(crossings[k + 1].X);
            if (a < b) row.push_back({a, b});
        }
        region.AppendRows(static_cast<int32_t>(y), static_cast<int32_t>(y + 1), row);
    }
    return region;
}

} // namespace platform::detail

namespace {

// The outline of an arc of the ellipse in the box, counter-clockwise from the ray through the
// first radial point to the ray through the second, as points.
std::vector<TPoint> ArcPoints(int32_t l, int32_t t, int32_t r, int32_t b, int32_t x1, int32_t y1,
                              int32_t x2, int32_t y2) {
    const double cx = (double(l) + r) / 2, cy = (double(t) + b) / 2;
    const double rx = std::abs(double(r) - l) / 2, ry = std::abs(double(b) - t) / 2;
    const double start = std::atan2(-(y1 - cy), x1 - cx);
    double sweep = std::atan2(-(y2 - cy), x2 - cx) - start;
    while (sweep <= 0)
        sweep += 2 * std::numbers::pi;
    const int32_t steps = std::clamp(static_cast<int32_t>((rx + ry) * sweep / 4), 4, 720);
    std::vector<TPoint> points;
    for (int32_t i = 0; i <= steps; ++i) {
        const double a = start + sweep * i / steps;
        points.push_back({static_cast<int32_t>(std::lround(cx + rx * std::cos(a))),
                          static_cast<int32_t>(std::lround(cy - ry * std::sin(a)))});
    }
    return points;
}

} // namespace

int32_t SaveDC(HDC Dc) {
    TDeviceContext* dc = Live(Dc);
    if (dc == nullptr || dc->SavedStates.size() >= SavedStateLimit) return 0;
    dc->SavedStates.push_back({dc->Pen, dc->Brush, dc->Font, dc->Clip, dc->Rop2, dc->BkMode,
                               dc->StretchMode, dc->PolyFillMode, dc->BkColor, dc->TextColor,
                               dc->Position, dc->BrushOrigin});
    return static_cast<int32_t>(dc->SavedStates.size());
}

bool RestoreDC(HDC Dc, int32_t Saved) {
    TDeviceContext* dc = Live(Dc);
    if (dc == nullptr) return false;
    const auto depth = static_cast<int64_t>(dc->SavedStates.size());
    const int64_t level = Saved < 0 ? depth + 1 + Saved : Saved;
    if (level < 1 || level > depth) return false;
    const TDcSavedState state = dc->SavedStates[static_cast<size_t>(level - 1)];
    dc->SavedStates.resize(static_cast<size_t>(level - 1));
    for (HGDIOBJ object : {HGDIOBJ(state.Pen), HGDIOBJ(state.Brush), HGDIOBJ(state.Font)})
        if (object != nullptr) SelectObject(Dc, object);
    dc->Clip = state.Clip;
    dc->Rop2 = state.Rop2;
    dc->BkMode = state.BkMode;
    dc->StretchMode = state.StretchMode;
    dc->PolyFillMode = state.PolyFillMode;
    dc->BkColor = state.BkColor;
    dc->TextColor = state.TextColor;
    dc->Position = state.Position;
    dc->BrushOrigin = state.BrushOrigin;
    return true;
}

bool PolyPolygon(HDC Dc, const TPoint* Points, const int32_t* Counts, int32_t Polygons) {
    TDeviceContext* dc = Live(Dc);
    if (dc == nullptr || Points == nullptr || Counts == nullptr || Polygons <= 0) return false;
    for (int32_t i = 0; i < Polygons; ++i)
        if (Counts[i] < 2) return false;
    // Rows off the surface paint nothing; the screen's context has no surface to bound them.
    const int64_t first = dc->IsScreen ? INT32_MIN / 2 : 0;
    const int64_t last = dc->IsScreen ? INT32_MAX / 2 : dc->Surface().Height;
    std::vector<std::vector<std::pair<double, double>>> rings(static_cast<size_t>(Polygons));
    const TPoint* at = Points;
    for (int32_t i = 0; i < Polygons; ++i)
        for (int32_t k = 0; k < Counts[i]; ++k, ++at)
            rings[static_cast<size_t>(i)].push_back({at->X, at->Y});
    PaintRegion(*dc, RingsRegion(rings, dc->PolyFillMode, first, last),
                MakeBrushPaint(*dc, dc->Brush, false), dc->Rop2);
    std::vector<TPoint> ring;
    for (int32_t i = 0; i < Polygons; ++i) {
        ring.assign(Points, Points + Counts[i]);
        ring.push_back(Points[0]);
        Polyline(Dc, ring.data(), static_cast<int32_t>(ring.size()));
        Points += Counts[i];
    }
    return true;
}

bool Pie(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XRadial1,
         int32_t YRadial1, int32_t XRadial2, int32_t YRadial2) {
    if (Live(Dc) == nullptr) return false;
    std::vector<TPoint> points =
        ArcPoints(Left, Top, Right, Bottom, XRadial1, YRadial1, XRadial2, YRadial2);
    points.push_back({static_cast<int32_t>((int64_t{Left} + Right) / 2),
                      static_cast<int32_t>((int64_t{Top} + Bottom) / 2)});
    return Polygon(Dc, points.data(), static_cast<int32_t>(points.size()));
}

bool Chord(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XRadial1,
           int32_t YRadial1, int32_t XRadial2, int32_t YRadial2) {
    if (Live(Dc) == nullptr) return false;
    const std::vector<TPoint> points =
        ArcPoints(Left, Top, Right, Bottom, XRadial1, YRadial1, XRadial2, YRadial2);
    return Polygon(Dc, points.data(), static_cast<int32_t>(points.size()));
}

int32_t SetDIBitsToDevice(HDC Dc, int32_t X, int32_t Y, uint32_t Width, uint32_t Height,
                          int32_t SrcX, int32_t SrcY, uint32_t StartScan, uint32_t Lines,
                          const void* Bits, const BITMAPINFO* Info, uint32_t Usage) {
    if (Live(Dc) == nullptr || Info == nullptr || Bits == nullptr || Lines == 0 ||
        Width > INT32_MAX || Height > INT32_MAX || Lines > INT32_MAX || StartScan > INT32_MAX)
        return 0;
    const BITMAPINFOHEADER& header = Info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biHeight == INT32_MIN) return 0;
    const int64_t fullHeight = std::abs(int64_t{header.biHeight});
    // The rows present, counted from the bottom of the whole picture, against the rows asked
    // for: SrcY .. SrcY + Height from the bottom.
    const int64_t present0 = StartScan, present1 = std::min<int64_t>(StartScan + Lines, fullHeight);
    const int64_t asked0 = std::max<int64_t>(SrcY, present0);
    const int64_t asked1 = std::min<int64_t>(int64_t{SrcY} + Height, present1);
    if (asked0 >= asked1) return 0;
    // A copy of the header whose picture is the rows given.
    std::vector<uint8_t> info(reinterpret_cast<const uint8_t*>(Info),
                              reinterpret_cast<const uint8_t*>(Info) + header.biSize);
    const uint32_t limit = header.biBitCount <= 8 ? 1u << header.biBitCount : 0;
    const size_t tableBytes =
        header.biCompression == BI_BITFIELDS
            ? 12
            : 4 * static_cast<size_t>(header.biClrUsed != 0 ? std::min(header.biClrUsed, limit)
                                                            : limit);
    const auto* table = reinterpret_cast<const uint8_t*>(Info) + header.biSize;
    info.insert(info.end(), table, table + tableBytes);
    auto* copy = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    const auto lines = static_cast<int32_t>(present1 - present0);
    copy->biHeight = header.biHeight < 0 ? -lines : lines;
    const int64_t rows = asked1 - asked0;
    // The destination's top row shows the highest source row asked for.
    const int64_t destTop = int64_t{Y} + (int64_t{SrcY} + Height - asked1);
    return StretchDIBits(Dc, X, static_cast<int32_t>(destTop), static_cast<int32_t>(Width),
                         static_cast<int32_t>(rows), SrcX, static_cast<int32_t>(asked0 - present0),
                         static_cast<int32_t>(Width), static_cast<int32_t>(rows), Bits,
                         reinterpret_cast<const BITMAPINFO*>(info.data()), Usage, SRCCOPY);
}
