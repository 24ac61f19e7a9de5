// Pens, brushes and the shapes drawn with them: lines, polylines, polygons, rectangles, ellipses,
// rounded rectangles, arcs, rectangle fills and frames, 3-D edges.
#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

using namespace platform::detail;

namespace platform::detail {

const uint8_t* HatchPattern(int32_t Hatch) {
    static const uint8_t patterns[6][8] = {
        {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // horizontal
        {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // vertical
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02,
         0x01}, // forward diagonal, top left to bottom right
        {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // backward diagonal
        {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, // cross
        {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // diagonal cross
    };
    return patterns[std::clamp(Hatch, 0, 5)];
}

TBrushPaint MakeBrushPaint(const TDeviceContext& Dc, const TGdiBrush* Brush, bool AlwaysOpaque) {
    TBrushPaint paint;
    if (Brush == nullptr || Brush->Log.lbStyle == BS_NULL) return paint;
    const TSurface& s = Dc.Surface();
    paint.None = false;
    paint.Fore = ColorToPixel(s, Brush->Log.lbColor);
    if (Brush->Log.lbStyle == BS_HATCHED) {
        paint.Hatched = true;
        paint.Pattern = HatchPattern(static_cast<int32_t>(Brush->Log.lbHatch));
        paint.Back = ColorToPixel(s, Dc.BkColor);
        paint.OpaqueBack = AlwaysOpaque || Dc.BkMode == OPAQUE;
        paint.Origin = Dc.BrushOrigin;
    }
    return paint;
}

namespace {

void PaintSpan(const TSurface& s, int32_t y, int32_t x0, int32_t x1, const TBrushPaint& paint,
               int32_t rop2, std::vector<uint32_t>& row) {
    const int32_t n = x1 - x0;
    const uint32_t mask = LayoutColorMask(s.Layout);
    row.resize(static_cast<size_t>(n));
    if (!paint.Hatched && rop2 == R2_COPYPEN) {
        std::fill(row.begin(), row.end(), paint.Fore);
        WriteRow(s, y, x0, n, row.data());
        return;
    }
    ReadRow(s, y, x0, n, row.data());
    for (int32_t i = 0; i < n; ++i) {
        uint32_t value = paint.Fore;
        if (paint.Hatched && !paint.ForeAt(x0 + i, y)) {
            if (!paint.OpaqueBack) continue;
            value = paint.Back;
        }
        row[static_cast<size_t>(i)] = Mix2(rop2, value, row[static_cast<size_t>(i)]) & mask;
    }
    WriteRow(s, y, x0, n, row.data());
}

} // namespace

void PaintRegion(TDeviceContext& Dc, const TRegionData& Shape, const TBrushPaint& Paint,
                 int32_t Rop2) {
    const TSurface& s = Dc.Surface();
    if (Paint.None || Rop2 == R2_NOP || s.Empty()) return;
    std::vector<uint32_t> row;
    for (const TBand& band : Shape.Bands()) {
        const int32_t top = std::max(band.Top, 0);
        const int32_t bottom = std::min(band.Bottom, s.Height);
        for (int32_t y = top; y < bottom; ++y)
            for (const TSpan& span : band.Spans)
                ForEachVisibleSpan(Dc, y, span.Left, span.Right, [&](int32_t a, int32_t b) {
                    PaintSpan(s, y, a, b, Paint, Rop2, row);
                });
    }
}

void MixPixel(TDeviceContext& Dc, int32_t X, int32_t Y, uint32_t Value, int32_t Rop2) {
    if (Rop2 == R2_NOP || !PixelVisible(Dc, X, Y)) return;
    const TSurface& s = Dc.Surface();
    WritePixel(s, X, Y, Mix2(Rop2, Value, ReadPixel(s, X, Y)) & LayoutColorMask(s.Layout));
}

} // namespace platform::detail

namespace {

// The points of a line from (x0, y0) towards (x1, y1), end point excluded: one point per step
// along the longer axis, the other axis rounded to the nearest pixel (halves away from the
// start).
template <class Fn> void LinePoints(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Fn&& plot) {
    const int64_t dx = std::abs(int64_t{x1} - x0);
    const int64_t dy = std::abs(int64_t{y1} - y0);
    const int32_t sx = x1 >= x0 ? 1 : -1;
    const int32_t sy = y1 >= y0 ? 1 : -1;
    const int64_t steps = std::max(dx, dy);
    const int64_t minor = std::min(dx, dy);
    for (int64_t i = 0; i < steps; ++i) {
        const int64_t offset = steps == 0 ? 0 : (2 * i * minor + steps) / (2 * steps);
        if (dx >= dy)
            plot(static_cast<int32_t>(x0 + sx * i), static_cast<int32_t>(y0 + sy * offset));
        else
            plot(static_cast<int32_t>(x0 + sx * offset), static_cast<int32_t>(y0 + sy * i));
    }
}

// Style patterns of one-pixel pens: alternating runs of drawn and skipped pixels.
struct DashPattern {
    int32_t Count;
    int32_t Runs[6];
    int32_t Length;
};
constexpr DashPattern DashPatterns[] = {
    {0, {}, 0},                  // solid
    {2, {18, 6}, 24},            // dash
    {2, {3, 3}, 6},              // dot
    {4, {9, 6, 3, 6}, 24},       // dash dot
    {6, {9, 3, 3, 3, 3, 3}, 24}, // dash dot dot
};
constexpr DashPattern Alternate = {2, {1, 1}, 2};

struct PenPaint {
    bool None = true;
    int32_t Width = 1;
    bool InsideFrame = false;
    uint32_t Fore = 0;
    uint32_t Back = 0;
    bool OpaqueGaps = false;
    const DashPattern* Dashes = nullptr;

    // Whether pixel number Position of a styled line is drawn, and in which value.
    bool ValueAt(int32_t position, uint32_t& value) const {
        value = Fore;
        if (Dashes == nullptr) return true;
        int32_t p = position % Dashes->Length;
        for (int32_t i = 0; i < Dashes->Count; ++i) {
            if (p < Dashes->Runs[i]) {
                if ((i & 1) == 0) return true;
                value = Back;
                return OpaqueGaps;
            }
            p -= Dashes->Runs[i];
        }
        return true;
    }
};

PenPaint MakePenPaint(const TDeviceContext& dc) {
    PenPaint paint;
    const TGdiPen* pen = dc.Pen;
    if (pen == nullptr || pen->Log.lopnStyle == PS_NULL) return paint;
    const TSurface& s = dc.Surface();
    paint.None = false;
    paint.Width = std::max(1, pen->Log.lopnWidth.X);
    paint.InsideFrame = pen->Log.lopnStyle == PS_INSIDEFRAME;
    paint.Fore = ColorToPixel(s, pen->Log.lopnColor);
    // Styles apply to one-pixel pens only; wider pens draw solid.
    const uint32_t style = pen->Log.lopnStyle;
    if (paint.Width == 1 &&
        ((style >= PS_DASH && style <= PS_DASHDOTDOT) || style == PS_ALTERNATE)) {
        paint.Dashes = style == PS_ALTERNATE ? &Alternate : &DashPatterns[style];
        paint.Back = ColorToPixel(s, dc.BkColor);
        paint.OpaqueGaps = dc.BkMode == OPAQUE;
    }
    return paint;
}

TBrushPaint SolidPaint(uint32_t value) {
    TBrushPaint paint;
    paint.None = false;
    paint.Fore = value;
    return paint;
}

// Collects the spans of many small shapes row by row and turns them into one region, so that a
// pixel covered twice is painted once.
class ShapeUnion {
public:
    void Add(const TRegionData& shape) {
        for (const TBand& band : shape.Bands())
            for (int32_t y = band.Top; y < band.Bottom; ++y)
                for (const TSpan& span : band.Spans)
                    FRows[y].push_back(span);
    }
    TRegionData Region() const {
        TRegionData r;
        for (const auto& [y, spans] : FRows)
            r.AppendRows(y, y + 1, spans);
        return r;
    }

private:
    std::map<int32_t, TSpanList> FRows;
};

// The round pen tip of a wide pen centred on pixel (x, y).
TRegionData PenTip(int32_t x, int32_t y, int32_t width) {
    const int32_t left = x - (width - 1) / 2;
    const int32_t top = y - (width - 1) / 2;
    return RoundRectRegion(left, top, left + width, top + width, width, width);
}

// Draws connected segments through the points with the device context's pen. One-pixel pens
// leave out the last point; wide pens stamp their round tip on every point, ends included.
void StrokePath(TDeviceContext& dc, const TPoint* points, int32_t count, bool closed) {
    const PenPaint pen = MakePenPaint(dc);
    if (pen.None || count < 2) return;
    const int32_t segments = closed ? count : count - 1;
    if (pen.Width == 1) {
        int32_t position = dc.StylePosition;
        for (int32_t i = 0; i < segments; ++i) {
            const TPoint& p = points[i];
            const TPoint& q = points[(i + 1) % count];
            LinePoints(p.X, p.Y, q.X, q.Y, [&](int32_t x, int32_t y) {
                uint32_t value;
                if (pen.ValueAt(position++, value)) MixPixel(dc, x, y, value, dc.Rop2);
            });
        }
        dc.StylePosition = position;
        return;
    }
    ShapeUnion shape;
    for (int32_t i = 0; i < segments; ++i) {
        const TPoint& p = points[i];
        const TPoint& q = points[(i + 1) % count];
        LinePoints(p.X, p.Y, q.X, q.Y,
                   [&](int32_t x, int32_t y) { shape.Add(PenTip(x, y, pen.Width)); });
        shape.Add(PenTip(q.X, q.Y, pen.Width));
    }
    PaintRegion(dc, shape.Region(), SolidPaint(pen.Fore), dc.Rop2);
}

// The shape grown by By pixels on every side (shrunk for a negative By); rounded corners grow
// with it, square corners stay square.
TRegionData Grow(int32_t l, int32_t t, int32_t r, int32_t b, int32_t cw, int32_t ch, int32_t by) {
    auto corner = [&](int32_t c) { return c == 0 ? 0 : std::max(0, c + 2 * by); };
    return RoundRectRegion(l - by, t - by, r + by, b + by, corner(cw), corner(ch));
}

// A closed outline: the pixels of the shape (grown by half the pen for wide pens) that are not
// in the shape shrunk by the pen width.
struct Outline {
    TRegionData Ring;
    TRegionData Interior;
};
Outline MakeOutline(int32_t l, int32_t t, int32_t r, int32_t b, int32_t cw, int32_t ch,
                    const PenPaint& pen) {
    const int32_t grow = pen.InsideFrame ? 0 : (pen.Width - 1) / 2;
    const TRegionData outer = Grow(l, t, r, b, cw, ch, grow);
    Outline outline;
    outline.Interior = Grow(l, t, r, b, cw, ch, grow - pen.Width);
    outline.Ring = TRegionData::Combine(outer, outline.Interior, RGN_DIFF);
    return outline;
}

// Paints the ring's pixels with a styled one-pixel pen, walking them counter-clockwise by their
// angle about the centre, from the angle Start.
void PaintStyledRing(TDeviceContext& dc, const TRegionData& ring, double cx, double cy,
                     const PenPaint& pen, double start) {
    struct Dot {
        double Angle;
        int32_t X, Y;
    };
    std::vector<Dot> dots;
    for (const TBand& band : ring.Bands())
        for (int32_t y = band.Top; y < band.Bottom; ++y)
            for (const TSpan& span : band.Spans)
                for (int32_t x = span.Left; x < span.Right; ++x) {
                    double a = std::atan2(-(y + 0.5 - cy), x + 0.5 - cx) - start;
                    while (a < 0)
                        a += 2 * std::numbers::pi;
                    dots.push_back({a, x, y});
                }
    std::sort(dots.begin(), dots.end(),
              [](const Dot& a, const Dot& b) { return a.Angle < b.Angle; });
    int32_t position = 0;
    for (const Dot& dot : dots) {
        uint32_t value;
        if (pen.ValueAt(position++, value)) MixPixel(dc, dot.X, dot.Y, value, dc.Rop2);
    }
}

// Rectangles, rounded rectangles and ellipses: the interior with the brush, then the outline
// with the pen. Without a pen a plain rectangle loses its right column and bottom row.
bool DrawClosedShape(HDC Dc, int32_t l, int32_t t, int32_t r, int32_t b, int32_t cw, int32_t ch,
                     bool plainRectangle) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return false;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    const PenPaint pen = MakePenPaint(*dc);
    const TBrushPaint brush = MakeBrushPaint(*dc, dc->Brush, false);
    if (pen.None) {
        const TRegionData area = plainRectangle ? TRegionData::FromRect(l, t, r - 1, b - 1)
                                                : RoundRectRegion(l, t, r, b, cw, ch);
        PaintRegion(*dc, area, brush, dc->Rop2);
        return true;
    }
    const Outline outline = MakeOutline(l, t, r, b, cw, ch, pen);
    PaintRegion(*dc, outline.Interior, brush, dc->Rop2);
    if (pen.Dashes == nullptr) {
        PaintRegion(*dc, outline.Ring, SolidPaint(pen.Fore), dc->Rop2);
    } else if (plainRectangle) {
        const TPoint corners[4] = {{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}};
        dc->StylePosition = 0;
        StrokePath(*dc, corners, 4, true);
    } else {
        PaintStyledRing(*dc, outline.Ring, (l + r) / 2.0, (t + b) / 2.0, pen, 0);
    }
    return true;
}

} // namespace

bool LineDDA(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, LINEDDAPROC Proc, intptr_t Data) {
    if (Proc == nullptr) return false;
    LinePoints(X1, Y1, X2, Y2, [&](int32_t x, int32_t y) { Proc(x, y, Data); });
    return true;
}

bool LineTo(HDC Dc, int32_t X, int32_t Y) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return false;
    const TPoint points[2] = {dc->Position, {X, Y}};
    StrokePath(*dc, points, 2, false);
    dc->Position = {X, Y};
    return true;
}

bool Polyline(HDC Dc, const TPoint* Points, int32_t Count) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Points == nullptr || Count < 2) return false;
    dc->StylePosition = 0;
    StrokePath(*dc, Points, Count, false);
    return true;
}

bool Polygon(HDC Dc, const TPoint* Points, int32_t Count) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Points == nullptr || Count < 2) return false;
    PaintRegion(*dc, PolygonRegion(Points, Count, dc->PolyFillMode),
                MakeBrushPaint(*dc, dc->Brush, false), dc->Rop2);
    dc->StylePosition = 0;
    StrokePath(*dc, Points, Count, true);
    return true;
}

bool Rectangle(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return DrawClosedShape(Dc, Left, Top, Right, Bottom, 0, 0, true);
}

bool Ellipse(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    return DrawClosedShape(Dc, Left, Top, Right, Bottom, INT32_MAX / 4, INT32_MAX / 4, false);
}

bool RoundRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
               int32_t CornerWidth, int32_t CornerHeight) {
    return DrawClosedShape(Dc, Left, Top, Right, Bottom, std::abs(CornerWidth),
                           std::abs(CornerHeight), false);
}

bool Arc(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XStart,
         int32_t YStart, int32_t XEnd, int32_t YEnd) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return false;
    if (Left > Right) std::swap(Left, Right);
    if (Top > Bottom) std::swap(Top, Bottom);
    const PenPaint pen = MakePenPaint(*dc);
    if (pen.None) return true;
    const double cx = (Left + static_cast<double>(Right)) / 2;
    const double cy = (Top + static_cast<double>(Bottom)) / 2;
    const double start = std::atan2(-(YStart - cy), XStart - cx);
    double sweep = std::atan2(-(YEnd - cy), XEnd - cx) - start;
    while (sweep <= 0)
        sweep += 2 * std::numbers::pi;
    const Outline outline =
        MakeOutline(Left, Top, Right, Bottom, INT32_MAX / 4, INT32_MAX / 4, pen);
    // Keep the ring's pixels whose direction from the centre lies within the sweep.
    TRegionData arc;
    for (const TBand& band : outline.Ring.Bands())
        for (int32_t y = band.Top; y < band.Bottom; ++y) {
            TSpanList row;
            for (const TSpan& span : band.Spans)
                for (int32_t x = span.Left; x < span.Right; ++x) {
                    double a = std::atan2(-(y + 0.5 - cy), x + 0.5 - cx) - start;
                    while (a < 0)
                        a += 2 * std::numbers::pi;
                    if (a <= sweep + 1e-9) row.push_back({x, x + 1});
                }
            arc.AppendRows(y, y + 1, row);
        }
    if (pen.Dashes == nullptr)
        PaintRegion(*dc, arc, SolidPaint(pen.Fore), dc->Rop2);
    else
        PaintStyledRing(*dc, arc, cx, cy, pen, start);
    return true;
}

int32_t FillRect(HDC Dc, const TRect* Rect, HBRUSH Brush) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    const TGdiBrush* brush = Lookup<TGdiBrush>(Brush);
    if (dc == nullptr || Rect == nullptr || brush == nullptr) return 0;
    const TRegionData area =
        TRegionData::FromRect(std::min(Rect->Left, Rect->Right), std::min(Rect->Top, Rect->Bottom),
                              std::max(Rect->Left, Rect->Right), std::max(Rect->Top, Rect->Bottom));
    PaintRegion(*dc, area, MakeBrushPaint(*dc, brush, false), R2_COPYPEN);
    return 1;
}

namespace {

TRegionData FrameOf(const TRect& r) {
    return TRegionData::Combine(
        TRegionData::FromRect(r.Left, r.Top, r.Right, r.Bottom),
        TRegionData::FromRect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1), RGN_DIFF);
}

} // namespace

int32_t FrameRect(HDC Dc, const TRect* Rect, HBRUSH Brush) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    const TGdiBrush* brush = Lookup<TGdiBrush>(Brush);
    if (dc == nullptr || Rect == nullptr || brush == nullptr) return 0;
    PaintRegion(*dc, FrameOf(*Rect), MakeBrushPaint(*dc, brush, false), R2_COPYPEN);
    return 1;
}

bool InvertRect(HDC Dc, const TRect* Rect) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rect == nullptr) return false;
    PaintRegion(*dc, TRegionData::FromRect(Rect->Left, Rect->Top, Rect->Right, Rect->Bottom),
                SolidPaint(0), R2_NOT);
    return true;
}

bool DrawFocusRect(HDC Dc, const TRect* Rect) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rect == nullptr) return false;
    // Every other pixel of the frame is inverted, so a second call restores the picture.
    static const uint8_t checker[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
    TBrushPaint paint;
    paint.None = false;
    paint.Hatched = true;
    paint.Pattern = checker;
    paint.Fore = ~0u;
    PaintRegion(*dc, FrameOf(*Rect), paint, R2_XORPEN);
    return true;
}

bool DrawEdge(HDC Dc, TRect* Rect, uint32_t Edge, uint32_t Flags) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rect == nullptr) return false;
    const TSurface& s = dc->Surface();
    TRect r = *Rect;
    // Outer and inner border: top-left and bottom-right system colours of each kind of edge.
    struct Border {
        uint32_t Raised, Sunken;
        int32_t RaisedTopLeft, RaisedBottomRight, SunkenTopLeft, SunkenBottomRight;
    };
    const Border borders[2] = {{BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW,
                                COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
                               {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT,
                                COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT}};
    for (const Border& border : borders) {
        const bool raised = (Edge & border.Raised) != 0;
        const bool sunken = (Edge & border.Sunken) != 0;
        if (!raised && !sunken) continue;
        const uint32_t topLeft =
            ColorToPixel(s, GetSysColor(raised ? border.RaisedTopLeft : border.SunkenTopLeft));
        const uint32_t bottomRight = ColorToPixel(
            s, GetSysColor(raised ? border.RaisedBottomRight : border.SunkenBottomRight));
        // The top-left colour owns the top row but its last pixel and the left column but its
        // last pixel; the bottom-right colour the rest.
        if (Flags & BF_LEFT)
            PaintRegion(*dc, TRegionData::FromRect(r.Left, r.Top, r.Left + 1, r.Bottom - 1),
                        SolidPaint(topLeft), R2_COPYPEN);
        if (Flags & BF_TOP)
            PaintRegion(*dc, TRegionData::FromRect(r.Left, r.Top, r.Right - 1, r.Top + 1),
                        SolidPaint(topLeft), R2_COPYPEN);
        if (Flags & BF_RIGHT)
            PaintRegion(*dc, TRegionData::FromRect(r.Right - 1, r.Top, r.Right, r.Bottom),
                        SolidPaint(bottomRight), R2_COPYPEN);
        if (Flags & BF_BOTTOM)
            PaintRegion(*dc, TRegionData::FromRect(r.Left, r.Bottom - 1, r.Right, r.Bottom),
                        SolidPaint(bottomRight), R2_COPYPEN);
        if (Flags & BF_LEFT) ++r.Left;
        if (Flags & BF_TOP) ++r.Top;
        if (Flags & BF_RIGHT) --r.Right;
        if (Flags & BF_BOTTOM) --r.Bottom;
    }
    if (Flags & BF_MIDDLE)
        PaintRegion(*dc, TRegionData::FromRect(r.Left, r.Top, r.Right, r.Bottom),
                    SolidPaint(ColorToPixel(s, GetSysColor(COLOR_BTNFACE))), R2_COPYPEN);
    if (Flags & BF_ADJUST) *Rect = r;
    return true;
}
