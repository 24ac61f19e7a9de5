// The anti-aliased drawing interface on the toolkit's raster painter: each call paints its shape
// on a transparent layer and lays the layer over the device context's surface.
#include "platform/gfx/GdiPlus.h"

#include "platform/gfx/QtPaint.h"
#include "platform/gfx/QtRuntime.h"

#include <QPainter>
#include <QPainterPath>

#include <atomic>
#include <cmath>

using namespace platform::detail;

class GpGraphics {
public:
    HDC Dc = nullptr;
    GpSmoothingMode Smoothing = SmoothingModeDefault;
};

class GpPen {
public:
    ARGB Color = 0;
    REAL Width = 1;
    GpDashStyle Dash = DashStyleSolid;
    QList<qreal> Pattern;
    GpLineJoin Join = LineJoinMiter;
};

class GpBrush {
public:
    bool Hatched = false;
    GpHatchStyle Hatch = HatchStyleHorizontal;
    ARGB Fore = 0;
    ARGB Back = 0;
};

class GpPath {
public:
    QPainterPath Shape;
    bool FigureStarted = false;
};

namespace {

std::atomic<int32_t> StartupCount{0};
std::atomic<uintptr_t> NextToken{1};

bool Started() {
    return StartupCount.load() > 0;
}

QColor ToQColor(ARGB c) {
    return QColor::fromRgba(c);
}

QPen MakeQPen(const GpPen& pen) {
    QPen q(ToQColor(pen.Color), pen.Width <= 0 ? 1.0 : pen.Width);
    q.setCapStyle(Qt::FlatCap);
    static const Qt::PenJoinStyle joins[] = {Qt::MiterJoin, Qt::BevelJoin, Qt::RoundJoin,
                                             Qt::SvgMiterJoin};
    q.setJoinStyle(joins[std::clamp<int32_t>(pen.Join, 0, 3)]);
    // Dash lengths in pen widths, as the interface defines its styles.
    static const QList<qreal> patterns[] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
    if (pen.Dash == DashStyleCustom && !pen.Pattern.isEmpty())
        q.setDashPattern(pen.Pattern);
    else if (pen.Dash > DashStyleSolid && pen.Dash < DashStyleCustom)
        q.setDashPattern(patterns[pen.Dash]);
    return q;
}

QBrush MakeQBrush(const GpBrush& brush) {
    if (!brush.Hatched) return QBrush(ToQColor(brush.Fore));
    QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
    const uint8_t* pattern = HatchPattern(brush.Hatch);
    const QRgb fore = qPremultiply(brush.Fore);
    const QRgb back = qPremultiply(brush.Back);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            tile.setPixel(x, y, ((pattern[y] >> (7 - x)) & 1) ? fore : back);
    QBrush q(tile);
    // The painter works half a pixel off the surface grid (see Paint); the tile must not.
    q.setTransform(QTransform::fromTranslate(-0.5, -0.5));
    return q;
}

// Paints Shape (outlined with Pen or filled with Brush) over the graphics' surface.
GpStatus Paint(GpGraphics* graphics, const QPainterPath& shape, const GpPen* pen,
               const GpBrush* brush) {
    if (graphics == nullptr || (pen == nullptr && brush == nullptr))
        return GpStatus::InvalidParameter;
    TDeviceContext* dc = Lookup<TDeviceContext>(graphics->Dc);
    if (dc == nullptr) return GpStatus::InvalidParameter;
    QPainterPath stroke = shape;
    QPen qpen;
    if (pen != nullptr) {
        qpen = MakeQPen(*pen);
        QPainterPathStroker stroker(qpen);
        stroke = stroker.createStroke(shape);
    }
    // Pixel centres sit at whole coordinates here and at half ones for the painter.
    const QRectF extent = stroke.boundingRect().translated(0.5, 0.5);
    const TRect bounds{static_cast<int32_t>(std::floor(std::max(extent.left(), -1e9))) - 1,
                       static_cast<int32_t>(std::floor(std::max(extent.top(), -1e9))) - 1,
                       static_cast<int32_t>(std::ceil(std::min(extent.right(), 1e9))) + 1,
                       static_cast<int32_t>(std::ceil(std::min(extent.bottom(), 1e9))) + 1};
    const TRect visible = VisibleBounds(*dc, bounds);
    if (visible.IsEmpty()) return GpStatus::Ok;
    QImage layer = MakeLayer(visible.Width(), visible.Height());
    QPainter painter(&layer);
    const bool smooth = graphics->Smoothing == SmoothingModeAntiAlias ||
                        graphics->Smoothing == SmoothingModeHighQuality;
    painter.setRenderHint(QPainter::Antialiasing, smooth);
    painter.translate(0.5 - visible.Left, 0.5 - visible.Top);
    // Outlines are filled as the exact shape of the stroke, so that corners and joins are
    // covered as the geometry says.
    if (pen != nullptr)
        painter.fillPath(stroke, qpen.color());
    else
        painter.fillPath(shape, MakeQBrush(*brush));
    painter.end();
    CompositeLayer(*dc, layer, visible.Left, visible.Top);
    return GpStatus::Ok;
}

QPolygonF ToPolygon(const GpPoint* points, int32_t count) {
    QPolygonF polygon;
    for (int32_t i = 0; i < count; ++i)
        polygon << QPointF(points[i].X, points[i].Y);
    return polygon;
}

template <class T> GpStatus Make(T** out, T* object) {
    if (out == nullptr) {
        delete object;
        return GpStatus::InvalidParameter;
    }
    *out = object;
    return GpStatus::Ok;
}

} // namespace

GpStatus GdiplusStartup(uintptr_t* Token, const GdiplusStartupInput* Input,
                        GdiplusStartupOutput* Output) {
    if (Token == nullptr || Input == nullptr) return GpStatus::InvalidParameter;
    if (Input->GdiplusVersion != 1) return GpStatus::UnsupportedGdiplusVersion;
    EnsureGuiApplication();
    if (Output != nullptr) *Output = {};
    *Token = NextToken++;
    ++StartupCount;
    return GpStatus::Ok;
}

void GdiplusShutdown(uintptr_t Token) {
    if (Token != 0 && StartupCount.load() > 0) --StartupCount;
}

GpStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics) {
    if (!Started()) return GpStatus::GdiplusNotInitialized;
    if (Lookup<TDeviceContext>(Dc) == nullptr) return GpStatus::InvalidParameter;
    auto* graphics = new GpGraphics;
    graphics->Dc = Dc;
    return Make(Graphics, graphics);
}

GpStatus GdipDeleteGraphics(GpGraphics* Graphics) {
    if (Graphics == nullptr) return GpStatus::InvalidParameter;
    delete Graphics;
    return GpStatus::Ok;
}

GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode) {
    if (Graphics == nullptr || Mode < SmoothingModeDefault || Mode > SmoothingModeAntiAlias)
        return GpStatus::InvalidParameter;
    Graphics->Smoothing = Mode;
    return GpStatus::Ok;
}

GpStatus GdipCreatePen1(ARGB Color, REAL Width, GpUnit Unit, GpPen** Pen) {
    if (!Started()) return GpStatus::GdiplusNotInitialized;
    if (Unit != UnitPixel && Unit != UnitWorld) return GpStatus::NotImplemented;
    auto* pen = new GpPen;
    pen->Color = Color;
    pen->Width = Width;
    return Make(Pen, pen);
}

GpStatus GdipDeletePen(GpPen* Pen) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    delete Pen;
    return GpStatus::Ok;
}

GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    Pen->Width = Width;
    return GpStatus::Ok;
}

GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    Pen->Color = Color;
    return GpStatus::Ok;
}

GpStatus GdipSetPenDashStyle(GpPen* Pen, GpDashStyle Style) {
    if (Pen == nullptr || Style < DashStyleSolid || Style > DashStyleCustom)
        return GpStatus::InvalidParameter;
    Pen->Dash = Style;
    return GpStatus::Ok;
}

GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dashes, int32_t Count) {
    if (Pen == nullptr || Dashes == nullptr || Count <= 0 || Count % 2 != 0)
        return GpStatus::InvalidParameter;
    Pen->Pattern.clear();
    for (int32_t i = 0; i < Count; ++i) {
        if (!(Dashes[i] > 0)) return GpStatus::InvalidParameter;
        Pen->Pattern << Dashes[i];
    }
    Pen->Dash = DashStyleCustom;
    return GpStatus::Ok;
}

GpStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join) {
    if (Pen == nullptr || Join < LineJoinMiter || Join > LineJoinMiterClipped)
        return GpStatus::InvalidParameter;
    Pen->Join = Join;
    return GpStatus::Ok;
}

GpStatus GdipCreateSolidFill(ARGB Color, GpBrush** Brush) {
    if (!Started()) return GpStatus::GdiplusNotInitialized;
    auto* brush = new GpBrush;
    brush->Fore = Color;
    return Make(Brush, brush);
}

GpStatus GdipCreateHatchBrush(GpHatchStyle Hatch, ARGB Fore, ARGB Back, GpBrush** Brush) {
    if (!Started()) return GpStatus::GdiplusNotInitialized;
    if (Hatch < HatchStyleHorizontal || Hatch > HatchStyleDiagonalCross)
        return GpStatus::InvalidParameter;
    auto* brush = new GpBrush;
    brush->Hatched = true;
    brush->Hatch = Hatch;
    brush->Fore = Fore;
    brush->Back = Back;
    return Make(Brush, brush);
}

GpStatus GdipDeleteBrush(GpBrush* Brush) {
    if (Brush == nullptr) return GpStatus::InvalidParameter;
    delete Brush;
    return GpStatus::Ok;
}

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    QPainterPath path(QPointF(X1, Y1));
    path.lineTo(X2, Y2);
    return Paint(Graphics, path, Pen, nullptr);
}

GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, int32_t Count) {
    if (Pen == nullptr || Points == nullptr || Count < 2) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addPolygon(ToPolygon(Points, Count));
    return Paint(Graphics, path, Pen, nullptr);
}

GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width,
                           REAL Height) {
    if (Brush == nullptr) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addRect(QRectF(X, Y, Width, Height));
    return Paint(Graphics, path, nullptr, Brush);
}

GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width,
                           REAL Height) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addRect(QRectF(X, Y, Width, Height));
    return Paint(Graphics, path, Pen, nullptr);
}

GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width,
                         REAL Height) {
    if (Brush == nullptr) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addEllipse(QRectF(X, Y, Width, Height));
    return Paint(Graphics, path, nullptr, Brush);
}

GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width,
                         REAL Height) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addEllipse(QRectF(X, Y, Width, Height));
    return Paint(Graphics, path, Pen, nullptr);
}

GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, int32_t Count) {
    if (Pen == nullptr || Points == nullptr || Count < 2) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addPolygon(ToPolygon(Points, Count));
    path.closeSubpath();
    return Paint(Graphics, path, Pen, nullptr);
}

GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const GpPoint* Points,
                          int32_t Count, GpFillMode Mode) {
    if (Brush == nullptr || Points == nullptr || Count < 3) return GpStatus::InvalidParameter;
    QPainterPath path;
    path.addPolygon(ToPolygon(Points, Count));
    path.closeSubpath();
    path.setFillRule(Mode == FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
    return Paint(Graphics, path, nullptr, Brush);
}

GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height,
                     REAL StartAngle, REAL SweepAngle) {
    if (Pen == nullptr) return GpStatus::InvalidParameter;
    GpPath arc;
    GdipAddPathArc(&arc, X, Y, Width, Height, StartAngle, SweepAngle);
    return Paint(Graphics, arc.Shape, Pen, nullptr);
}

GpStatus GdipCreatePath(GpFillMode Mode, GpPath** Path) {
    if (!Started()) return GpStatus::GdiplusNotInitialized;
    auto* path = new GpPath;
    path->Shape.setFillRule(Mode == FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
    return Make(Path, path);
}

GpStatus GdipDeletePath(GpPath* Path) {
    if (Path == nullptr) return GpStatus::InvalidParameter;
    delete Path;
    return GpStatus::Ok;
}

GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                        REAL SweepAngle) {
    if (Path == nullptr) return GpStatus::InvalidParameter;
    // The painter measures angles counter-clockwise.
    const QRectF box(X, Y, Width, Height);
    if (!Path->FigureStarted) Path->Shape.arcMoveTo(box, -StartAngle);
    Path->Shape.arcTo(box, -StartAngle, -SweepAngle);
    Path->FigureStarted = true;
    return GpStatus::Ok;
}

GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2) {
    if (Path == nullptr) return GpStatus::InvalidParameter;
    if (Path->FigureStarted)
        Path->Shape.lineTo(X1, Y1);
    else
        Path->Shape.moveTo(X1, Y1);
    Path->Shape.lineTo(X2, Y2);
    Path->FigureStarted = true;
    return GpStatus::Ok;
}

GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path) {
    if (Pen == nullptr || Path == nullptr) return GpStatus::InvalidParameter;
    return Paint(Graphics, Path->Shape, Pen, nullptr);
}

GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path) {
    if (Brush == nullptr || Path == nullptr) return GpStatus::InvalidParameter;
    return Paint(Graphics, Path->Shape, nullptr, Brush);
}
