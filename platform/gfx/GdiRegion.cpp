// Regions: rows of spans, their boolean combinations, the shapes they are made from, and the
// clip region of a device context.
#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <cmath>

using namespace platform::detail;

namespace {

// Rows a shape region may cover; coordinates beyond stay outside every surface and would only
// cost time and memory.
constexpr int32_t RowLimit = 1 << 22;
constexpr int32_t ColumnLimit = 1 << 30;

bool Inside(bool a, bool b, int32_t mode) {
    switch (mode) {
    case RGN_AND:
        return a && b;
    case RGN_OR:
        return a || b;
    case RGN_XOR:
        return a != b;
    case RGN_DIFF:
        return a && !b;
    default:
        return a;
    }
}

bool Covers(const TSpanList* spans, int32_t x) {
    if (spans == nullptr) return false;
    for (const TSpan& s : *spans)
        if (x >= s.Left && x < s.Right) return true;
    return false;
}

TSpanList CombineSpans(const TSpanList* a, const TSpanList* b, int32_t mode) {
    std::vector<int32_t> xs;
    for (const TSpanList* list : {a, b})
        if (list != nullptr)
            for (const TSpan& s : *list) {
                xs.push_back(s.Left);
                xs.push_back(s.Right);
            }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    TSpanList out;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        if (!Inside(Covers(a, xs[i]), Covers(b, xs[i]), mode)) continue;
        if (!out.empty() && out.back().Right == xs[i])
            out.back().Right = xs[i + 1];
        else
            out.push_back({xs[i], xs[i + 1]});
    }
    return out;
}

// Sorts the spans and joins overlapping or touching ones.
TSpanList Normalize(TSpanList spans) {
    std::erase_if(spans, [](const TSpan& s) { return s.Left >= s.Right; });
    std::sort(spans.begin(), spans.end(),
              [](const TSpan& x, const TSpan& y) { return x.Left < y.Left; });
    TSpanList out;
    for (const TSpan& s : spans) {
        if (!out.empty() && s.Left <= out.back().Right)
            out.back().Right = std::max(out.back().Right, s.Right);
        else
            out.push_back(s);
    }
    return out;
}

int32_t ClampColumn(double x) {
    return static_cast<int32_t>(std::clamp(x, -double(ColumnLimit), double(ColumnLimit)));
}

// The first pixel whose centre lies at or right of the edge at X.
int32_t PixelFrom(double x) {
    return ClampColumn(std::ceil(x - 0.5 - 1e-9));
}

} // namespace

namespace platform::detail {

void TRegionData::AppendRows(int32_t Top, int32_t Bottom, const TSpanList& Spans) {
    AppendBand(Top, Bottom, Normalize(Spans));
}

void TRegionData::AppendBand(int32_t Top, int32_t Bottom, TSpanList Spans) {
    if (Spans.empty() || Top >= Bottom) return;
    if (!FBands.empty() && FBands.back().Bottom == Top && FBands.back().Spans == Spans) {
        FBands.back().Bottom = Bottom;
        return;
    }
    FBands.push_back({Top, Bottom, std::move(Spans)});
}

TRegionData TRegionData::FromRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    TRegionData r;
    if (Left < Right && Top < Bottom) r.AppendBand(Top, Bottom, {{Left, Right}});
    return r;
}

TRegionData TRegionData::Combine(const TRegionData& A, const TRegionData& B, int32_t Mode) {
    std::vector<int32_t> ys;
    for (const TRegionData* region : {&A, &B})
        for (const TBand& band : region->FBands) {
            ys.push_back(band.Top);
            ys.push_back(band.Bottom);
        }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    TRegionData r;
    for (size_t i = 0; i + 1 < ys.size(); ++i)
        r.AppendBand(ys[i], ys[i + 1], CombineSpans(A.SpansAt(ys[i]), B.SpansAt(ys[i]), Mode));
    return r;
}

TRect TRegionData::Box() const {
    if (FBands.empty()) return {};
    TRect box{INT32_MAX, FBands.front().Top, INT32_MIN, FBands.back().Bottom};
    for (const TBand& band : FBands) {
        box.Left = std::min(box.Left, band.Spans.front().Left);
        box.Right = std::max(box.Right, band.Spans.back().Right);
    }
    return box;
}

int32_t TRegionData::Kind() const {
    if (FBands.empty()) return NULLREGION;
    return FBands.size() == 1 && FBands[0].Spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

const TSpanList* TRegionData::SpansAt(int32_t Y) const {
    auto it = std::upper_bound(FBands.begin(), FBands.end(), Y,
                               [](int32_t y, const TBand& band) { return y < band.Top; });
    if (it == FBands.begin()) return nullptr;
    --it;
    return Y < it->Bottom ? &it->Spans : nullptr;
}

bool TRegionData::Contains(int32_t X, int32_t Y) const {
    return Covers(SpansAt(Y), X);
}

void TRegionData::Offset(int32_t X, int32_t Y) {
    for (TBand& band : FBands) {
        band.Top += Y;
        band.Bottom += Y;
        for (TSpan& span : band.Spans) {
            span.Left += X;
            span.Right += X;
        }
    }
}

bool operator==(const TRegionData& A, const TRegionData& B) {
    if (A.FBands.size() != B.FBands.size()) return false;
    for (size_t i = 0; i < A.FBands.size(); ++i)
        if (A.FBands[i].Top != B.FBands[i].Top || A.FBands[i].Bottom != B.FBands[i].Bottom ||
            A.FBands[i].Spans != B.FBands[i].Spans)
            return false;
    return true;
}

TRegionData RoundRectRegion(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                            int32_t CornerWidth, int32_t CornerHeight) {
    const int64_t w = static_cast<int64_t>(Right) - Left;
    const int64_t h = static_cast<int64_t>(Bottom) - Top;
    if (w <= 0 || h <= 0 || h > 2 * int64_t{RowLimit}) return {};
    const double a = static_cast<double>(std::min<int64_t>(std::abs(int64_t{CornerWidth}), w)) / 2;
    const double b = static_cast<double>(std::min<int64_t>(std::abs(int64_t{CornerHeight}), h)) / 2;
    if (a < 1 || b < 1) return TRegionData::FromRect(Left, Top, Right, Bottom);
    // The upper corner rows; the lower ones mirror them, so the shape is symmetric.
    const auto cornerRows = static_cast<int32_t>(std::ceil(b));
    std::vector<TSpanList> upper;
    for (int32_t i = 0; i < cornerRows; ++i) {
        const double v = b - (i + 0.5);
        const double ex = a * std::sqrt(std::max(0.0, 1 - (v / b) * (v / b)));
        const int32_t inset = v > 0 ? std::max(0, PixelFrom(a - ex)) : 0;
        upper.push_back(2 * static_cast<int64_t>(inset) < w
                            ? TSpanList{{Left + inset, Right - inset}}
                            : TSpanList{});
    }
    TRegionData r;
    for (int64_t y = 0; y < h; ++y) {
        const int64_t nearest = std::min(y, h - 1 - y);
        const auto row = static_cast<int32_t>(Top + y);
        if (nearest < cornerRows) {
            r.AppendRows(row, row + 1, upper[static_cast<size_t>(nearest)]);
            continue;
        }
        const int64_t end = h - cornerRows;
        r.AppendRows(row, static_cast<int32_t>(Top + end), {{Left, Right}});
        y = end - 1;
    }
    return r;
}

TRegionData PolygonRegion(const TPoint* Points, int32_t Count, int32_t FillMode) {
    if (Points == nullptr || Count < 3) return {};
    int32_t top = INT32_MAX;
    int32_t bottom = INT32_MIN;
    for (int32_t i = 0; i < Count; ++i) {
        top = std::min(top, Points[i].Y);
        bottom = std::max(bottom, Points[i].Y);
    }
    top = std::max(top, -RowLimit);
    bottom = std::min(bottom, RowLimit);
    struct Crossing {
        double X;
        int32_t Direction;
    };
    std::vector<Crossing> crossings;
    TRegionData r;
    TSpanList row;
    for (int32_t y = top; y < bottom; ++y) {
        const double yc = y + 0.5;
        crossings.clear();
        for (int32_t i = 0; i < Count; ++i) {
            const TPoint& p = Points[i];
            const TPoint& q = Points[(i + 1) % Count];
            if (p.Y == q.Y) continue;
            const bool down = q.Y > p.Y;
            const double y0 = down ? p.Y : q.Y;
            const double y1 = down ? q.Y : p.Y;
            if (yc < y0 || yc >= y1) continue;
            const double x = p.X + (yc - p.Y) * (double(q.X) - p.X) / (double(q.Y) - p.Y);
            crossings.push_back({x, down ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const Crossing& a, const Crossing& b) { return a.X < b.X; });
        row.clear();
        int32_t winding = 0;
        for (size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += FillMode == WINDING ? crossings[k].Direction : 1;
            const bool inside = FillMode == WINDING ? winding != 0 : (winding & 1) != 0;
            if (inside) {
                const int32_t a = PixelFrom(crossings[k].X);
                const int32_t b = PixelFrom(crossings[k + 1].X);
                if (a < b) row.push_back({a, b});
            }
        }
        r.AppendRows(y, y + 1, row);
    }
    return r;
}

} // namespace platform::detail

namespace {

HRGN MakeRegion(TRegionData data) {
    auto region = std::make_unique<TGdiRegion>();
    region->Data = std::move(data);
    return Register(std::move(region));
}

TRegionData OrderedRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return TRegionData::FromRect(std::min(left, right), std::min(top, bottom),
                                 std::max(left, right), std::max(top, bottom));
}

// What a device context may draw on when it has no clip region: its surface, or (for the
// screen's device context, which has none) everything.
TRegionData DrawableArea(const TDeviceContext& dc) {
    const TSurface& s = dc.Surface();
    if (dc.IsScreen) return TRegionData::FromRect(-ColumnLimit, -RowLimit, ColumnLimit, RowLimit);
    return TRegionData::FromRect(0, 0, s.Width, s.Height);
}

int32_t CombineClip(HDC Dc, const TRegionData& shape, int32_t mode) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return RGN_ERROR;
    const TRegionData base = dc->Clip ? *dc->Clip : DrawableArea(*dc);
    dc->Clip = TRegionData::Combine(base, shape, mode);
    return dc->Clip->Kind();
}

} // namespace

HRGN CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return MakeRegion(OrderedRect(Left, Top, Right, Bottom));
}

HRGN CreateEllipticRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return CreateRoundRectRgn(Left, Top, Right, Bottom, INT32_MAX, INT32_MAX);
}

HRGN CreateRoundRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                        int32_t CornerWidth, int32_t CornerHeight) {
    return MakeRegion(RoundRectRegion(std::min(Left, Right), std::min(Top, Bottom),
                                      std::max(Left, Right), std::max(Top, Bottom), CornerWidth,
                                      CornerHeight));
}

HRGN CreatePolygonRgn(const TPoint* Points, int32_t Count, int32_t FillMode) {
    if ((Points == nullptr && Count > 0) || Count < 0 ||
        (FillMode != ALTERNATE && FillMode != WINDING))
        return nullptr;
    return MakeRegion(PolygonRegion(Points, Count, FillMode));
}

int32_t CombineRgn(HRGN Dest, HRGN Source1, HRGN Source2, int32_t Mode) {
    TGdiRegion* dest = Lookup<TGdiRegion>(Dest);
    const TGdiRegion* a = Lookup<TGdiRegion>(Source1);
    if (dest == nullptr || a == nullptr || Mode < RGN_AND || Mode > RGN_COPY) return RGN_ERROR;
    if (Mode == RGN_COPY) {
        dest->Data = a->Data;
        return dest->Data.Kind();
    }
    const TGdiRegion* b = Lookup<TGdiRegion>(Source2);
    if (b == nullptr) return RGN_ERROR;
    dest->Data = TRegionData::Combine(a->Data, b->Data, Mode);
    return dest->Data.Kind();
}

int32_t OffsetRgn(HRGN Region, int32_t X, int32_t Y) {
    TGdiRegion* region = Lookup<TGdiRegion>(Region);
    if (region == nullptr) return RGN_ERROR;
    region->Data.Offset(X, Y);
    return region->Data.Kind();
}

int32_t GetRgnBox(HRGN Region, TRect* Rect) {
    const TGdiRegion* region = Lookup<TGdiRegion>(Region);
    if (region == nullptr || Rect == nullptr) return RGN_ERROR;
    *Rect = region->Data.Box();
    return region->Data.Kind();
}

bool PtInRegion(HRGN Region, int32_t X, int32_t Y) {
    const TGdiRegion* region = Lookup<TGdiRegion>(Region);
    return region != nullptr && region->Data.Contains(X, Y);
}

bool EqualRgn(HRGN Region1, HRGN Region2) {
    const TGdiRegion* a = Lookup<TGdiRegion>(Region1);
    const TGdiRegion* b = Lookup<TGdiRegion>(Region2);
    return a != nullptr && b != nullptr && a->Data == b->Data;
}

int32_t SelectClipRgn(HDC Dc, HRGN Region) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return RGN_ERROR;
    if (Region == nullptr) {
        dc->Clip.reset();
        return SIMPLEREGION;
    }
    const TGdiRegion* region = Lookup<TGdiRegion>(Region);
    if (region == nullptr) return RGN_ERROR;
    dc->Clip = region->Data;
    return dc->Clip->Kind();
}

int32_t ExcludeClipRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return CombineClip(Dc, OrderedRect(Left, Top, Right, Bottom), RGN_DIFF);
}

int32_t IntersectClipRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return CombineClip(Dc, OrderedRect(Left, Top, Right, Bottom), RGN_AND);
}

int32_t GetClipRgn(HDC Dc, HRGN Region) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    TGdiRegion* region = Lookup<TGdiRegion>(Region);
    if (dc == nullptr || region == nullptr) return -1;
    if (!dc->Clip) return 0;
    region->Data = *dc->Clip;
    return 1;
}

int32_t GetClipBox(HDC Dc, TRect* Rect) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rect == nullptr) return RGN_ERROR;
    TRegionData visible = DrawableArea(*dc);
    if (dc->Clip) visible = TRegionData::Combine(visible, *dc->Clip, RGN_AND);
    *Rect = visible.Box();
    return visible.Kind();
}

bool FillRgn(HDC Dc, HRGN Region, HBRUSH Brush) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    const TGdiRegion* region = Lookup<TGdiRegion>(Region);
    const TGdiBrush* brush = Lookup<TGdiBrush>(Brush);
    if (dc == nullptr || region == nullptr || brush == nullptr) return false;
    PaintRegion(*dc, region->Data, MakeBrushPaint(*dc, brush, false), R2_COPYPEN);
    return true;
}
