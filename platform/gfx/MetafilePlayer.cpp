// The metafile player: one pass over the records of a Windows or enhanced metafile with a
// device-context state of its own (mapping, world transform, saved states, object table, modes,
// clip). Coordinates are mapped here, in doubles, and handed to the drawing layer as device
// pixels; every length, count, offset and index read from the data is checked against the
// record that holds it, and a record that does not hold its fields ends playback.
#include "platform/gfx/GdiInternal.h"
#include "platform/gfx/Metafile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace platform::detail;

namespace {

constexpr uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr size_t PlaceableSize = 22;
constexpr size_t WmfHeaderSize = 18;
constexpr size_t EmfHeaderMin = 88;
// Coordinates this far outside the surface are clipped before they reach the layer.
constexpr double SafeMargin = 4096;
constexpr double CoordinateLimit = double(1 << 28);
// Bounds on what one record may ask for.
constexpr int64_t DibSideLimit = 1 << 20;
constexpr size_t SavedLimit = 1024;
constexpr size_t PathPointLimit = 1 << 20;
constexpr int32_t CurveStepLimit = 512;

// Little-endian fields of one record; callers check Has before reading.
struct TBytes {
    const uint8_t* P = nullptr;
    size_t N = 0;
    bool Has(size_t Offset, size_t Length) const { return Offset <= N && Length <= N - Offset; }
    uint16_t U16(size_t o) const { return static_cast<uint16_t>(P[o] | P[o + 1] << 8); }
    int16_t S16(size_t o) const { return static_cast<int16_t>(U16(o)); }
    uint32_t U32(size_t o) const {
        return P[o] | uint32_t{P[o + 1]} << 8 | uint32_t{P[o + 2]} << 16 | uint32_t{P[o + 3]} << 24;
    }
    int32_t S32(size_t o) const { return static_cast<int32_t>(U32(o)); }
    float F32(size_t o) const {
        const uint32_t bits = U32(o);
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    TBytes From(size_t Offset) const { return {P + Offset, N - Offset}; }
};

struct TPointD {
    double X = 0, Y = 0;
};

// x' = x M11 + y M21 + Dx, y' = x M12 + y M22 + Dy.
struct TMatrix {
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
    TPointD Apply(TPointD p) const {
        return {p.X * M11 + p.Y * M21 + Dx, p.X * M12 + p.Y * M22 + Dy};
    }
    double Det() const { return M11 * M22 - M12 * M21; }
};
// A, then B.
TMatrix Then(const TMatrix& a, const TMatrix& b) {
    return {a.M11 * b.M11 + a.M12 * b.M21,      a.M11 * b.M12 + a.M12 * b.M22,
            a.M21 * b.M11 + a.M22 * b.M21,      a.M21 * b.M12 + a.M22 * b.M22,
            a.Dx * b.M11 + a.Dy * b.M21 + b.Dx, a.Dx * b.M12 + a.Dy * b.M22 + b.Dy};
}

int32_t Round32(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(v, -CoordinateLimit, CoordinateLimit)));
}

enum class TKind : uint8_t { None, Pen, Brush, Font, Region, Other };
struct TObject {
    TKind Kind = TKind::None;
    uint32_t Style = 0;
    double Width = 0;
    bool Cosmetic = true;
    COLORREF Color = 0;
    uint32_t Hatch = 0;
    LOGFONTW Font;
    TRect Box;
};

TObject StockObject(uint32_t Id) {
    TObject o;
    auto brush = [&](uint32_t style, COLORREF color) {
        o.Kind = TKind::Brush;
        o.Style = style;
        o.Color = color;
    };
    auto pen = [&](uint32_t style, COLORREF color) {
        o.Kind = TKind::Pen;
        o.Style = style;
        o.Color = color;
    };
    switch (Id) {
    case WHITE_BRUSH:
        brush(BS_SOLID, 0xFFFFFF);
        break;
    case LTGRAY_BRUSH:
        brush(BS_SOLID, 0xC0C0C0);
        break;
    case GRAY_BRUSH:
        brush(BS_SOLID, 0x808080);
        break;
    case DKGRAY_BRUSH:
        brush(BS_SOLID, 0x404040);
        break;
    case BLACK_BRUSH:
        brush(BS_SOLID, 0);
        break;
    case NULL_BRUSH:
        brush(BS_NULL, 0);
        break;
    case WHITE_PEN:
        pen(PS_SOLID, 0xFFFFFF);
        break;
    case BLACK_PEN:
        pen(PS_SOLID, 0);
        break;
    case NULL_PEN:
        pen(PS_NULL, 0);
        break;
    case 18:
        brush(BS_SOLID, 0xFFFFFF);
        break; // the DC brush
    case 19:
        pen(PS_SOLID, 0);
        break; // the DC pen
    default:
        if (Id >= OEM_FIXED_FONT && Id <= DEFAULT_GUI_FONT) o.Kind = TKind::Font;
        break;
    }
    return o;
}

struct TState {
    int32_t MapMode = 1;
    TPointD WinOrg, WinExt{1, 1}, VpOrg, VpExt{1, 1};
    TMatrix World;
    TObject Pen = StockObject(BLACK_PEN);
    TObject Brush = StockObject(WHITE_BRUSH);
    TObject Font = StockObject(SYSTEM_FONT);
    COLORREF TextColor = 0, BkColor = 0xFFFFFF;
    int32_t BkMode = OPAQUE, Rop2 = R2_COPYPEN, FillMode = ALTERNATE, StretchMode = BLACKONWHITE;
    uint32_t TextAlign = 0;
    std::optional<TRegionData> Clip;
    TPointD Position;
    TPoint BrushOrigin;
};

struct TFigure {
    std::vector<TPointD> Points;
    bool Closed = false;
};

// A device-independent bitmap checked against the record: a 40-byte header with its colour table
// or masks in Info, and bits that hold every row.
struct TDib {
    std::vector<uint8_t> Info;
    const uint8_t* Bits = nullptr;
    int32_t Width = 0, Height = 0;
    const BITMAPINFO* Header() const { return reinterpret_cast<const BITMAPINFO*>(Info.data()); }
};

// Reads the DIB whose header starts at InfoAt (InfoBytes long at most) and whose rows start at
// BitsAt (BitsBytes long); BitsAt 0 means right after the colour table.
bool ReadDib(const TBytes& r, size_t InfoAt, size_t InfoBytes, size_t BitsAt, size_t BitsBytes,
             TDib& Dib) {
    if (!r.Has(InfoAt, InfoBytes) || InfoBytes < 12) return false;
    const size_t headerSize = r.U32(InfoAt);
    BITMAPINFOHEADER h;
    size_t entryBytes = 4;
    if (headerSize == 12) {
        h.biWidth = r.U16(InfoAt + 4);
        h.biHeight = r.U16(InfoAt + 6);
        h.biBitCount = r.U16(InfoAt + 10);
        entryBytes = 3;
    } else if (headerSize >= 40 && headerSize <= InfoBytes) {
        h.biWidth = r.S32(InfoAt + 4);
        h.biHeight = r.S32(InfoAt + 8);
        h.biBitCount = r.U16(InfoAt + 14);
        h.biCompression = r.U32(InfoAt + 16);
        h.biClrUsed = r.U32(InfoAt + 32);
    } else {
        return false;
    }
    const int32_t bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (h.biCompression != BI_RGB &&
        !(h.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32)))
        return false;
    const int64_t width = h.biWidth, height = std::abs(int64_t{h.biHeight});
    if (width <= 0 || height <= 0 || width > DibSideLimit || height > DibSideLimit) return false;
    size_t entries = 0;
    if (bits <= 8) {
        const uint32_t limit = 1u << bits;
        entries = h.biClrUsed != 0 && h.biClrUsed < limit ? h.biClrUsed : limit;
    }
    // Masks follow a 40-byte header and sit inside the larger ones.
    const size_t maskBytes = h.biCompression == BI_BITFIELDS ? 12 : 0;
    const size_t maskAt = InfoAt + 40;
    if (maskBytes != 0 && !r.Has(maskAt, 12)) return false;
    const size_t tableAt = InfoAt + headerSize + (headerSize == 40 ? maskBytes : 0);
    const size_t tableBytes = entries * entryBytes;
    if (!r.Has(tableAt, tableBytes) || tableAt + tableBytes > InfoAt + InfoBytes) return false;
    const int64_t stride = (width * bits + 31) / 32 * 4;
    const int64_t needed = stride * height;
    if (BitsAt == 0) {
        BitsAt = tableAt + tableBytes;
        BitsBytes = BitsAt <= r.N ? r.N - BitsAt : 0;
    }
    if (!r.Has(BitsAt, BitsBytes) || needed > static_cast<int64_t>(BitsBytes)) return false;
    h.biSize = 40;
    h.biClrUsed = static_cast<uint32_t>(entries);
    Dib.Info.assign(reinterpret_cast<const uint8_t*>(&h),
                    reinterpret_cast<const uint8_t*>(&h) + sizeof h);
    if (maskBytes != 0) Dib.Info.insert(Dib.Info.end(), r.P + maskAt, r.P + maskAt + 12);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = r.P + tableAt + i * entryBytes;
        Dib.Info.insert(Dib.Info.end(), {e[0], e[1], e[2], 0});
    }
    Dib.Bits = r.P + BitsAt;
    Dib.Width = static_cast<int32_t>(width);
    Dib.Height = static_cast<int32_t>(height);
    return true;
}

// The average colour of a DIB, for pattern brushes (the layer paints solid and hatched brushes).
COLORREF AverageColor(const TDib& Dib) {
    const auto* info = Dib.Header();
    const int32_t bits = info->bmiHeader.biBitCount;
    const auto* table = reinterpret_cast<const TRGBQuad*>(Dib.Info.data() + 40);
    const size_t stride = (static_cast<size_t>(Dib.Width) * bits + 31) / 32 * 4;
    const int32_t w = std::min(Dib.Width, 64), h = std::min(Dib.Height, 64);
    uint64_t sum[3] = {0, 0, 0};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* row = Dib.Bits + stride * static_cast<size_t>(y);
            uint8_t rgb[3] = {128, 128, 128};
            if (bits <= 8) {
                const size_t bit = static_cast<size_t>(x) * bits;
                const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index < info->bmiHeader.biClrUsed) {
                    rgb[0] = table[index].rgbRed;
                    rgb[1] = table[index].rgbGreen;
                    rgb[2] = table[index].rgbBlue;
                }
            } else if (bits >= 24) {
                const uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
                rgb[0] = p[2];
                rgb[1] = p[1];
                rgb[2] = p[0];
            }
            for (int c = 0; c < 3; ++c)
                sum[c] += rgb[c];
        }
    const uint64_t n = static_cast<uint64_t>(w) * h;
    return RGB(static_cast<uint8_t>(sum[0] / n), static_cast<uint8_t>(sum[1] / n),
               static_cast<uint8_t>(sum[2] / n));
}

// Cuts the polygon to the box (Sutherland-Hodgman); what lies inside keeps its shape.
std::vector<TPointD> ClipPolygon(std::vector<TPointD> ring, double l, double t, double r,
                                 double b) {
    auto cut = [&](auto inside, auto cross) {
        std::vector<TPointD> out;
        for (size_t i = 0; i < ring.size(); ++i) {
            const TPointD p = ring[i], q = ring[(i + 1) % ring.size()];
            const bool pi = inside(p), qi = inside(q);
            if (pi) out.push_back(p);
            if (pi != qi) out.push_back(cross(p, q));
        }
        ring.swap(out);
    };
    auto atX = [](double x) {
        return [x](TPointD p, TPointD q) {
            return TPointD{x, p.Y + (q.Y - p.Y) * (x - p.X) / (q.X - p.X)};
        };
    };
    auto atY = [](double y) {
        return [y](TPointD p, TPointD q) {
            return TPointD{p.X + (q.X - p.X) * (y - p.Y) / (q.Y - p.Y), y};
        };
    };
    cut([&](TPointD p) { return p.X >= l; }, atX(l));
    cut([&](TPointD p) { return p.X <= r; }, atX(r));
    cut([&](TPointD p) { return p.Y >= t; }, atY(t));
    cut([&](TPointD p) { return p.Y <= b; }, atY(b));
    return ring;
}

// Cuts the segment to the box (Liang-Barsky); false when nothing of it is inside.
bool ClipSegment(TPointD& p, TPointD& q, double l, double t, double r, double b) {
    double t0 = 0, t1 = 1;
    const double dx = q.X - p.X, dy = q.Y - p.Y;
    const double ps[4] = {-dx, dx, -dy, dy};
    const double qs[4] = {p.X - l, r - p.X, p.Y - t, b - p.Y};
    for (int i = 0; i < 4; ++i) {
        if (ps[i] == 0) {
            if (qs[i] < 0) return false;
            continue;
        }
        const double u = qs[i] / ps[i];
        if (ps[i] < 0)
            t0 = std::max(t0, u);
        else
            t1 = std::min(t1, u);
    }
    if (t0 > t1) return false;
    const TPointD a{p.X + t0 * dx, p.Y + t0 * dy}, c{p.X + t1 * dx, p.Y + t1 * dy};
    p = a;
    q = c;
    return true;
}

// Points of the ellipse in the box, counter-clockwise from angle A0 over Sweep (radians).
std::vector<TPointD> EllipsePoints(double l, double t, double r, double b, double a0, double sweep,
                                   int32_t steps) {
    const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::abs(r - l) / 2,
                 ry = std::abs(b - t) / 2;
    std::vector<TPointD> points;
    for (int32_t i = 0; i <= steps; ++i) {
        const double a = a0 + sweep * i / steps;
        points.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
    return points;
}

class TPlayer {
public:
    TPlayer(HDC Handle, TDeviceContext& Dc, bool Wmf, double BoxLeft, double BoxTop,
            double BoxWidth, double BoxHeight, double DevPerMmX, double DevPerMmY,
            const TRect& Rect)
        : FHandle(Handle), FDc(Dc), FWmf(Wmf), FBoxLeft(BoxLeft), FBoxTop(BoxTop),
          FBoxWidth(BoxWidth), FBoxHeight(BoxHeight), FDevPerMmX(DevPerMmX), FDevPerMmY(DevPerMmY) {
        FOuter.M11 = Rect.Width() / BoxWidth;
        FOuter.M22 = Rect.Height() / BoxHeight;
        FOuter.Dx = Rect.Left - BoxLeft * FOuter.M11;
        FOuter.Dy = Rect.Top - BoxTop * FOuter.M22;
        if (Wmf) {
            S.WinOrg = {BoxLeft, BoxTop};
            S.WinExt = {BoxWidth, BoxHeight};
        }
        FBaseClip = Dc.Clip;
        const TSurface& surface = Dc.Surface();
        FSurfaceWidth = surface.Width;
        FSurfaceHeight = surface.Height;
        UpdateMap();
    }

    void PlayEmf(const TBytes& Data, uint32_t Handles);
    void PlayWmf(const TBytes& Data, uint32_t Objects);

private:
    // ---- Mapping ----
    void UpdateMap();
    TPointD Dev(double X, double Y) const { return FMap.Apply({X, Y}); }
    bool AxisAligned() const { return std::abs(FMap.M12) < 1e-12 && std::abs(FMap.M21) < 1e-12; }
    double ScaleX() const { return std::hypot(FMap.M11, FMap.M12); }
    double ScaleY() const { return std::hypot(FMap.M21, FMap.M22); }
    bool Safe(const std::vector<TPointD>& Points) const;
    bool SafePoint(TPointD p) const;
    int32_t PenWidth() const;

    // ---- Drawing in device pixels ----
    void Stroke(const std::vector<TPointD>& Points, bool Closed);
    void Shapes(const std::vector<std::vector<TPointD>>& Rings, bool Fill, bool Outline);
    void WideStroke(const std::vector<TPointD>& Points, bool Closed, int32_t Width);
    void AddFigure(std::vector<TPointD> Points, bool Closed);
    void BoxShape(int32_t Kind, double l, double t, double r, double b, double cw, double ch,
                  const double* Radials);
    void PolyBezier(const std::vector<TPointD>& Logical, bool FromPosition);
    void Text(double X, double Y, std::u16string Text, const std::vector<int32_t>& Dx,
              uint32_t Options, const TRect* LogicalRect);
    void Blit(double X, double Y, double W, double H, const TDib* Dib, int32_t SrcX, int32_t SrcY,
              int32_t SrcW, int32_t SrcH, uint32_t Rop, bool SourceFromTop);
    void PathCommand(uint32_t Kind);

    // ---- Clipping ----
    TRegionData Everything() const;
    TRegionData LogicalRectRegion(double l, double t, double r, double b) const;
    void CombineClip(const TRegionData& Shape, int32_t Mode);
    void ApplyClip();

    // ---- Objects ----
    void SelectObject(const TObject& Object);
    bool Restore(int32_t Level);

    // ---- Records ----
    bool EmfRecord(uint32_t Type, const TBytes& r);
    bool WmfRecord(uint16_t Function, const TBytes& r);
    void WmfCreate(const TObject& Object);

    HDC FHandle;
    TDeviceContext& FDc;
    bool FWmf;
    double FBoxLeft, FBoxTop, FBoxWidth, FBoxHeight, FDevPerMmX, FDevPerMmY;
    TMatrix FOuter, FMap;
    std::optional<TRegionData> FBaseClip;
    int32_t FSurfaceWidth = 0, FSurfaceHeight = 0;
    TState S;
    std::vector<TState> FSaved;
    std::vector<TObject> FObjects;
    bool FInPath = false;
    std::vector<TFigure> FPath;
    size_t FPathPoints = 0;

    friend class TTools;
};

void TPlayer::UpdateMap() {
    double sx = 1, sy = 1;
    TPointD vpOrg = S.VpOrg, vpExt = S.VpExt;
    if (FWmf) {
        // A Windows metafile's window maps onto its picture box; its own viewport records do not
        // move the picture.
        vpOrg = {FBoxLeft, FBoxTop};
        vpExt = {FBoxWidth, FBoxHeight};
    }
    auto metric = [&](double mm) {
        sx = FDevPerMmX * mm;
        sy = -FDevPerMmY * mm;
    };
    switch (S.MapMode) {
    case 2:
        metric(0.1);
        break;
    case 3:
        metric(0.01);
        break;
    case 4:
        metric(0.254);
        break;
    case 5:
        metric(0.0254);
        break;
    case 6:
        metric(25.4 / 1440);
        break;
    case 7:
    case 8:
        sx = vpExt.X / S.WinExt.X;
        sy = vpExt.Y / S.WinExt.Y;
        if (S.MapMode == 7) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default:
        if (FWmf) vpOrg = {FBoxLeft, FBoxTop};
        break;
    }
    if (FWmf && S.MapMode >= 2 && S.MapMode <= 6) vpOrg = {FBoxLeft, FBoxTop};
    TMatrix page;
    page.M11 = sx;
    page.M22 = sy;
    page.Dx = vpOrg.X - S.WinOrg.X * sx;
    page.Dy = vpOrg.Y - S.WinOrg.Y * sy;
    FMap = Then(Then(S.World, page), FOuter);
}

bool TPlayer::SafePoint(TPointD p) const {
    return p.X >= -SafeMargin && p.Y >= -SafeMargin && p.X <= FSurfaceWidth + SafeMargin &&
           p.Y <= FSurfaceHeight + SafeMargin;
}

bool TPlayer::Safe(const std::vector<TPointD>& Points) const {
    return std::all_of(Points.begin(), Points.end(), [&](TPointD p) { return SafePoint(p); });
}

int32_t TPlayer::PenWidth() const {
    if (S.Pen.Cosmetic || S.Pen.Width <= 0) return 1;
    const double w = S.Pen.Width * std::sqrt(std::abs(FMap.Det()));
    const double cap = 2.0 * std::max(FSurfaceWidth, FSurfaceHeight) + 64;
    return std::max(1, Round32(std::min(w, cap)));
}

// Selects the state's drawing tools into the device context for one call and lets them go after.
class TTools {
public:
    TTools(TPlayer& P, bool WithPen, bool WithBrush, bool WithFont = false) : FP(P) {
        TDeviceContext& dc = P.FDc;
        const TState& s = P.S;
        LOGPEN pen;
        pen.lopnStyle = WithPen ? s.Pen.Style : PS_NULL;
        pen.lopnWidth.X = P.PenWidth();
        pen.lopnColor = s.Pen.Color;
        FPen = CreatePen(pen.lopnStyle, pen.lopnWidth.X, pen.lopnColor);
        LOGBRUSH brush;
        brush.lbStyle = WithBrush ? s.Brush.Style : BS_NULL;
        brush.lbColor = s.Brush.Color;
        brush.lbHatch = s.Brush.Hatch;
        FBrush = CreateBrushIndirect(&brush);
        FOldPen = ::SelectObject(P.FHandle, FPen);
        FOldBrush = ::SelectObject(P.FHandle, FBrush);
        if (WithFont) {
            LOGFONTW font = s.Font.Font;
            const double cap = 2.0 * std::max(P.FSurfaceHeight, 16) + 64;
            font.lfHeight = Round32(std::clamp(font.lfHeight * P.ScaleY(), -cap, cap));
            if (s.Font.Font.lfHeight != 0 && font.lfHeight == 0) font.lfHeight = -1;
            font.lfWidth = Round32(std::clamp(font.lfWidth * P.ScaleX(), 0.0, cap));
            FFont = CreateFontIndirectW(&font);
            FOldFont = ::SelectObject(P.FHandle, FFont);
        }
        dc.Rop2 = s.Rop2;
        dc.BkMode = s.BkMode;
        dc.BkColor = s.BkColor;
        dc.TextColor = s.TextColor;
        dc.PolyFillMode = s.FillMode;
        dc.StretchMode = s.StretchMode;
        dc.BrushOrigin = s.BrushOrigin;
    }
    ~TTools() {
        ::SelectObject(FP.FHandle, FOldPen);
        ::SelectObject(FP.FHandle, FOldBrush);
        if (FFont != nullptr) ::SelectObject(FP.FHandle, FOldFont);
        DeleteObject(FPen);
        DeleteObject(FBrush);
        if (FFont != nullptr) DeleteObject(FFont);
    }
    TTools(const TTools&) = delete;
    TTools& operator=(const TTools&) = delete;

private:
    TPlayer& FP;
    HPEN FPen = nullptr;
    HBRUSH FBrush = nullptr;
    HFONT FFont = nullptr;
    HGDIOBJ FOldPen = nullptr, FOldBrush = nullptr, FOldFont = nullptr;
};

std::vector<TPoint> Rounded(const std::vector<TPointD>& Points) {
    std::vector<TPoint> out;
    out.reserve(Points.size());
    for (const TPointD& p : Points)
        out.push_back({Round32(p.X), Round32(p.Y)});
    return out;
}

void TPlayer::AddFigure(std::vector<TPointD> Points, bool Closed) {
    if (Points.empty() || FPathPoints + Points.size() > PathPointLimit) return;
    FPathPoints += Points.size();
    FPath.push_back({std::move(Points), Closed});
}

void TPlayer::Stroke(const std::vector<TPointD>& Points, bool Closed) {
    if (Points.size() < 2) return;
    if (FInPath) {
        AddFigure(Points, Closed);
        return;
    }
    TTools tools(*this, true, false);
    const int32_t width = PenWidth();
    if (width > 1 && S.Pen.Style != PS_NULL) {
        WideStroke(Points, Closed, width);
        return;
    }
    if (Safe(Points)) {
        std::vector<TPoint> points = Rounded(Points);
        if (Closed) points.push_back(points.front());
        Polyline(FHandle, points.data(), static_cast<int32_t>(points.size()));
        return;
    }
    const double m = PenWidth() + 2.0;
    const double l = -m, t = -m, r = FSurfaceWidth + m, b = FSurfaceHeight + m;
    const size_t segments = Closed ? Points.size() : Points.size() - 1;
    std::vector<TPoint> run;
    auto flush = [&] {
        if (run.size() >= 2) Polyline(FHandle, run.data(), static_cast<int32_t>(run.size()));
        run.clear();
    };
    for (size_t i = 0; i < segments; ++i) {
        TPointD p = Points[i], q = Points[(i + 1) % Points.size()];
        if (!ClipSegment(p, q, l, t, r, b)) {
            flush();
            continue;
        }
        const TPoint a{Round32(p.X), Round32(p.Y)}, c{Round32(q.X), Round32(q.Y)};
        if (run.empty() || run.back().X != a.X || run.back().Y != a.Y) {
            flush();
            run.push_back(a);
        }
        run.push_back(c);
    }
    flush();
}

// A wide pen's stroke as one shape: a band along each segment and a round tip at each point,
// filled together, so that its cost follows its outline rather than its area. The segments'
// ends are rounded to whole pixels first, as thin pens and shapes are, so that a wide pen lands
// on the same pixels whatever fraction of a pixel the mapping left.
void TPlayer::WideStroke(const std::vector<TPointD>& Points, bool Closed, int32_t Width) {
    const double m = Width + 2.0;
    const double l = -m, t = -m, r = FSurfaceWidth + m, b = FSurfaceHeight + m;
    const double half = Width / 2.0;
    using TRing = std::vector<std::pair<double, double>>;
    std::vector<TRing> rings;
    // Every ring counter-clockwise, so that the winding rule joins them.
    auto add = [&](TRing ring) {
        double area = 0;
        for (size_t i = 0; i < ring.size(); ++i) {
            const auto& p = ring[i];
            const auto& q = ring[(i + 1) % ring.size()];
            area += p.first * q.second - q.first * p.second;
        }
        if (area < 0) std::reverse(ring.begin(), ring.end());
        rings.push_back(std::move(ring));
    };
    const int32_t tipPoints = std::clamp(Width, 8, 64);
    auto tip = [&](TPointD c) {
        TRing ring;
        for (int32_t i = 0; i < tipPoints; ++i) {
            const double a = 2 * std::numbers::pi * i / tipPoints;
            ring.push_back({c.X + 0.5 + half * std::cos(a), c.Y + 0.5 + half * std::sin(a)});
        }
        add(std::move(ring));
    };
    const size_t segments = Closed ? Points.size() : Points.size() - 1;
    for (size_t i = 0; i < segments; ++i) {
        TPointD p = Points[i], q = Points[(i + 1) % Points.size()];
        if (!ClipSegment(p, q, l, t, r, b)) continue;
        p = {double(Round32(p.X)), double(Round32(p.Y))};
        q = {double(Round32(q.X)), double(Round32(q.Y))};
        const double dx = q.X - p.X, dy = q.Y - p.Y, length = std::hypot(dx, dy);
        if (length > 0) {
            const double nx = -dy / length * half, ny = dx / length * half;
            add({{p.X + 0.5 + nx, p.Y + 0.5 + ny},
                 {q.X + 0.5 + nx, q.Y + 0.5 + ny},
                 {q.X + 0.5 - nx, q.Y + 0.5 - ny},
                 {p.X + 0.5 - nx, p.Y + 0.5 - ny}});
        }
        tip(p);
        tip(q);
    }
    TBrushPaint paint;
    paint.None = false;
    paint.Fore = ColorToPixel(FDc.Surface(), S.Pen.Color);
    PaintRegion(FDc, RingsRegion(rings, WINDING, 0, FSurfaceHeight), paint, S.Rop2);
}

void TPlayer::Shapes(const std::vector<std::vector<TPointD>>& Rings, bool Fill, bool Outline) {
    if (FInPath) {
        for (const auto& ring : Rings)
            AddFigure(ring, true);
        return;
    }
    bool safe = true;
    for (const auto& ring : Rings)
        safe = safe && Safe(ring);
    std::vector<TPoint> points;
    std::vector<int32_t> counts;
    const double m = PenWidth() + 2.0;
    for (const auto& ring : Rings) {
        const std::vector<TPointD> kept =
            safe ? ring : ClipPolygon(ring, -m, -m, FSurfaceWidth + m, FSurfaceHeight + m);
        if (kept.size() < 2) continue;
        const std::vector<TPoint> rounded = Rounded(kept);
        points.insert(points.end(), rounded.begin(), rounded.end());
        counts.push_back(static_cast<int32_t>(rounded.size()));
    }
    // One-pixel outlines of safe rings go with the fill, as the layer draws them; wide or cut
    // outlines follow as strokes.
    const bool outlineHere = safe && Outline && PenWidth() == 1;
    if (!counts.empty() && (Fill || outlineHere)) {
        TTools tools(*this, outlineHere, Fill);
        PolyPolygon(FHandle, points.data(), counts.data(), static_cast<int32_t>(counts.size()));
    }
    if (Outline && !outlineHere)
        for (const auto& ring : Rings)
            Stroke(ring, true);
}

// Kind: 0 rectangle, 1 ellipse, 2 rounded rectangle, 3 arc, 4 pie, 5 chord. Radials: the
// start and end points of the arc kinds.
void TPlayer::BoxShape(int32_t Kind, double l, double t, double r, double b, double cw, double ch,
                       const double* Radials) {
    const TPointD a = Dev(l, t), c = Dev(r, b);
    const bool flip = FMap.Det() < 0;
    const bool widePolygon = (Kind == 4 || Kind == 5) && PenWidth() > 1;
    if (!FInPath && !widePolygon && AxisAligned() && SafePoint(a) && SafePoint(c)) {
        TTools tools(*this, true, Kind != 3);
        const int32_t x0 = Round32(a.X), y0 = Round32(a.Y), x1 = Round32(c.X), y1 = Round32(c.Y);
        if (Kind == 0) ::Rectangle(FHandle, x0, y0, x1, y1);
        if (Kind == 1) ::Ellipse(FHandle, x0, y0, x1, y1);
        if (Kind == 2)
            ::RoundRect(FHandle, x0, y0, x1, y1, Round32(cw * ScaleX()), Round32(ch * ScaleY()));
        if (Kind >= 3) {
            TPointD s = Dev(Radials[0], Radials[1]), e = Dev(Radials[2], Radials[3]);
            if (flip) std::swap(s, e);
            const int32_t sx = Round32(s.X), sy = Round32(s.Y), ex = Round32(e.X),
                          ey = Round32(e.Y);
            if (Kind == 3) ::Arc(FHandle, x0, y0, x1, y1, sx, sy, ex, ey);
            if (Kind == 4) ::Pie(FHandle, x0, y0, x1, y1, sx, sy, ex, ey);
            if (Kind == 5) ::Chord(FHandle, x0, y0, x1, y1, sx, sy, ex, ey);
        }
        return;
    }
    // Flattened in logical space, then mapped: shapes under rotation and shear, and in paths.
    std::vector<TPointD> ring;
    const double perimeter = std::hypot(c.X - a.X, c.Y - a.Y) * 2 + 8;
    const auto steps = static_cast<int32_t>(std::clamp(perimeter / 4, 8.0, double(CurveStepLimit)));
    if (Kind == 0) {
        ring = {{l, t}, {r, t}, {r, b}, {l, b}};
    } else if (Kind == 1 || Kind == 2) {
        ring = EllipsePoints(l, t, r, b, 0, 2 * std::numbers::pi, steps);
    } else {
        const double cx = (l + r) / 2, cy = (t + b) / 2;
        const double a0 = std::atan2(-(Radials[1] - cy), Radials[0] - cx);
        double sweep = std::atan2(-(Radials[3] - cy), Radials[2] - cx) - a0;
        while (sweep <= 0)
            sweep += 2 * std::numbers::pi;
        ring = EllipsePoints(l, t, r, b, a0, sweep, steps);
        if (Kind == 4) ring.push_back({cx, cy});
    }
    for (TPointD& p : ring)
        p = FMap.Apply(p);
    if (Kind == 3)
        Stroke(ring, false);
    else
        Shapes({ring}, true, true);
}

void TPlayer::PolyBezier(const std::vector<TPointD>& Logical, bool FromPosition) {
    std::vector<TPointD> control;
    if (FromPosition) control.push_back(Dev(S.Position.X, S.Position.Y));
    for (const TPointD& p : Logical)
        control.push_back(FMap.Apply(p));
    if (control.size() < 4) return;
    std::vector<TPointD> points{control[0]};
    for (size_t i = 0; i + 3 < control.size(); i += 3) {
        const TPointD p0 = control[i], p1 = control[i + 1], p2 = control[i + 2],
                      p3 = control[i + 3];
        const double length = std::hypot(p1.X - p0.X, p1.Y - p0.Y) +
                              std::hypot(p2.X - p1.X, p2.Y - p1.Y) +
                              std::hypot(p3.X - p2.X, p3.Y - p2.Y);
        const auto steps = static_cast<int32_t>(std::clamp(length / 3, 4.0, 64.0));
        for (int32_t k = 1; k <= steps; ++k) {
            const double u = double(k) / steps, v = 1 - u;
            const double w0 = v * v * v, w1 = 3 * v * v * u, w2 = 3 * v * u * u, w3 = u * u * u;
            points.push_back({w0 * p0.X + w1 * p1.X + w2 * p2.X + w3 * p3.X,
                              w0 * p0.Y + w1 * p1.Y + w2 * p2.Y + w3 * p3.Y});
        }
    }
    if (FromPosition) S.Position = Logical[(Logical.size() / 3) * 3 - 1];
    if (FInPath && FromPosition && !FPath.empty() && !FPath.back().Closed) {
        auto& figure = FPath.back().Points;
        if (FPathPoints + points.size() <= PathPointLimit) {
            figure.insert(figure.end(), points.begin() + 1, points.end());
            FPathPoints += points.size();
        }
        return;
    }
    Stroke(points, false);
}

void TPlayer::Text(double X, double Y, std::u16string Chars, const std::vector<int32_t>& Dx,
                   uint32_t Options, const TRect* LogicalRect) {
    if (FInPath) return;
    constexpr uint32_t UpdateCp = 1, Right = 2, Center = 6, Bottom = 8, Baseline = 24;
    if ((S.TextAlign & UpdateCp) != 0) {
        X = S.Position.X;
        Y = S.Position.Y;
    }
    const TPointD at = Dev(X, Y);
    if (!SafePoint(at)) return;
    TTools tools(*this, false, false, true);
    std::vector<int32_t> dx;
    double advance = 0;
    if (!Dx.empty()) {
        // Cumulative positions rounded, so that the rounding does not add up along the line.
        double sum = 0;
        int32_t previous = 0;
        for (size_t i = 0; i < Chars.size(); ++i) {
            sum += (i < Dx.size() ? Dx[i] : 0) * ScaleX();
            const int32_t next = Round32(sum);
            dx.push_back(next - previous);
            previous = next;
        }
        advance = sum;
    } else {
        TSize extent;
        GetTextExtentPoint32W(FHandle, Chars.data(), static_cast<int32_t>(Chars.size()), &extent);
        advance = extent.cx;
    }
    TEXTMETRICW metrics;
    GetTextMetricsW(FHandle, &metrics);
    double x = at.X, y = at.Y;
    if ((S.TextAlign & Center) == Center)
        x -= advance / 2;
    else if ((S.TextAlign & Center) == Right)
        x -= advance;
    if ((S.TextAlign & Baseline) == Baseline)
        y -= metrics.tmAscent;
    else if ((S.TextAlign & Baseline) == Bottom)
        y -= metrics.tmHeight;
    TRect rect;
    const TRect* rectArg = nullptr;
    if (LogicalRect != nullptr) {
        const TPointD a = Dev(LogicalRect->Left, LogicalRect->Top),
                      c = Dev(LogicalRect->Right, LogicalRect->Bottom);
        rect = {Round32(std::min(a.X, c.X)), Round32(std::min(a.Y, c.Y)),
                Round32(std::max(a.X, c.X)), Round32(std::max(a.Y, c.Y))};
        rectArg = &rect;
    }
    ExtTextOutW(FHandle, Round32(x), Round32(y), Options & (ETO_OPAQUE | ETO_CLIPPED), rectArg,
                Chars.data(), static_cast<uint32_t>(Chars.size()),
                dx.empty() ? nullptr : dx.data());
    if ((S.TextAlign & UpdateCp) != 0 && ScaleX() > 0) S.Position.X += advance / ScaleX();
}

void TPlayer::Blit(double X, double Y, double W, double H, const TDib* Dib, int32_t SrcX,
                   int32_t SrcY, int32_t SrcW, int32_t SrcH, uint32_t Rop, bool SourceFromTop) {
    if (FInPath) return;
    const TPointD a = Dev(X, Y), c = Dev(X + W, Y + H);
    double x0 = a.X, y0 = a.Y, x1 = c.X, y1 = c.Y;
    if (!AxisAligned()) {
        // The bounding box of the turned rectangle.
        const TPointD b = Dev(X + W, Y), d = Dev(X, Y + H);
        x0 = std::min({a.X, b.X, c.X, d.X});
        x1 = std::max({a.X, b.X, c.X, d.X});
        y0 = std::min({a.Y, b.Y, c.Y, d.Y});
        y1 = std::max({a.Y, b.Y, c.Y, d.Y});
    }
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    // The source rectangle counted from the picture's top row: blits count from the top,
    // StretchDIBits from the stored first row (the bottom one of a bottom-up DIB).
    const bool bottomUp = Dib != nullptr && Dib->Header()->bmiHeader.biHeight > 0;
    const bool flipSource = bottomUp && !SourceFromTop;
    double sx = SrcX, sw = SrcW, sh = SrcH;
    double sy = flipSource ? double(Dib->Height) - SrcY - SrcH : SrcY;
    // Only the part of the source inside the DIB is drawn, with the matching part of the
    // destination, so that a huge source rectangle costs no more than the DIB.
    auto cropSource = [](double& d0, double& d1, double& s0, double& sLen, double limit) {
        const double n0 = std::max(s0, 0.0), n1 = std::min(s0 + sLen, limit);
        if (!(n0 < n1)) return false;
        const double k = (d1 - d0) / sLen;
        d1 = d0 + (n1 - s0) * k;
        d0 += (n0 - s0) * k;
        s0 = n0;
        sLen = n1 - n0;
        return true;
    };
    if (Dib != nullptr && (!(sw > 0 && sh > 0) || !cropSource(x0, x1, sx, sw, Dib->Width) ||
                           !cropSource(y0, y1, sy, sh, Dib->Height)))
        return;
    // Only the part of the destination on the surface is drawn, with the matching part of the
    // source, so that a huge destination costs no more than the surface.
    auto cut = [](double& d0, double& d1, double& s0, double& sLen, double limit) {
        const bool flip = d1 < d0;
        double lo = std::min(d0, d1), hi = std::max(d0, d1);
        const double len = hi - lo;
        if (len <= 0) return false;
        const double nlo = std::max(lo, -2.0), nhi = std::min(hi, limit + 2);
        if (nlo >= nhi) return false;
        // The source runs from s0 (at d0) over sLen; with a flip d0 is the high end.
        const double f0 = flip ? (hi - nhi) / len : (nlo - lo) / len;
        const double f1 = flip ? (hi - nlo) / len : (nhi - lo) / len;
        s0 += sLen * f0;
        sLen *= (f1 - f0);
        d0 = flip ? nhi : nlo;
        d1 = flip ? nlo : nhi;
        return true;
    };
    if (!cut(x0, x1, sx, sw, FSurfaceWidth) || !cut(y0, y1, sy, sh, FSurfaceHeight)) return;
    const int32_t dx = Round32(x0), dy = Round32(y0);
    const int32_t dw = Round32(x1) - dx, dh = Round32(y1) - dy;
    TTools tools(*this, false, true);
    if (Dib == nullptr) {
        PatBlt(FHandle, dx, dy, dw, dh, Rop);
        return;
    }
    const int32_t isx = Round32(sx), isw = std::max(1, Round32(sx + sw) - isx);
    const int32_t top = Round32(sy), ish = std::max(1, Round32(sy + sh) - top);
    // StretchDIBits counts the rows of a bottom-up DIB from its bottom.
    const int32_t isy = bottomUp ? Dib->Height - top - ish : top;
    StretchDIBits(FHandle, dx, dy, dw, dh, isx, isy, isw, ish, Dib->Bits, Dib->Header(),
                  DIB_RGB_COLORS, Rop);
}

void TPlayer::PathCommand(uint32_t Kind) {
    // 0 fill, 1 stroke, 2 both.
    std::vector<std::vector<TPointD>> rings;
    for (const TFigure& f : FPath)
        rings.push_back(f.Points);
    const std::vector<TFigure> path = std::move(FPath);
    FPath.clear();
    FPathPoints = 0;
    FInPath = false;
    if (Kind == 0 || Kind == 2) Shapes(rings, true, false);
    if (Kind == 1 || Kind == 2)
        for (const TFigure& f : path)
            Stroke(f.Points, f.Closed);
}

TRegionData TPlayer::Everything() const {
    return TRegionData::FromRect(0, 0, FSurfaceWidth, FSurfaceHeight);
}

TRegionData TPlayer::LogicalRectRegion(double l, double t, double r, double b) const {
    std::vector<TPointD> ring{Dev(l, t), Dev(r, t), Dev(r, b), Dev(l, b)};
    if (AxisAligned()) {
        const double x0 = std::min(ring[0].X, ring[2].X), x1 = std::max(ring[0].X, ring[2].X);
        const double y0 = std::min(ring[0].Y, ring[2].Y), y1 = std::max(ring[0].Y, ring[2].Y);
        const double lim = std::max(FSurfaceWidth, FSurfaceHeight) + 16.0;
        return TRegionData::FromRect(
            Round32(std::clamp(x0, -lim, lim)), Round32(std::clamp(y0, -lim, lim)),
            Round32(std::clamp(x1, -lim, lim)), Round32(std::clamp(y1, -lim, lim)));
    }
    ring = ClipPolygon(ring, -1, -1, FSurfaceWidth + 1, FSurfaceHeight + 1);
    const std::vector<TPoint> points = Rounded(ring);
    return PolygonRegion(points.data(), static_cast<int32_t>(points.size()), ALTERNATE);
}

void TPlayer::CombineClip(const TRegionData& Shape, int32_t Mode) {
    if (Mode == RGN_COPY)
        S.Clip = Shape;
    else if (Mode >= RGN_AND && Mode <= RGN_DIFF)
        S.Clip = TRegionData::Combine(S.Clip ? *S.Clip : Everything(), Shape, Mode);
    ApplyClip();
}

void TPlayer::ApplyClip() {
    if (!S.Clip)
        FDc.Clip = FBaseClip;
    else
        FDc.Clip = FBaseClip ? TRegionData::Combine(*FBaseClip, *S.Clip, RGN_AND) : *S.Clip;
}

void TPlayer::SelectObject(const TObject& Object) {
    switch (Object.Kind) {
    case TKind::Pen:
        S.Pen = Object;
        break;
    case TKind::Brush:
        S.Brush = Object;
        break;
    case TKind::Font:
        S.Font = Object;
        break;
    case TKind::Region: {
        const TRect& b = Object.Box;
        CombineClip(LogicalRectRegion(b.Left, b.Top, b.Right, b.Bottom), RGN_COPY);
        break;
    }
    default:
        break;
    }
}

bool TPlayer::Restore(int32_t Level) {
    const auto depth = static_cast<int64_t>(FSaved.size());
    const int64_t level = Level < 0 ? depth + 1 + Level : Level;
    if (level < 1 || level > depth) return false;
    S = std::move(FSaved[static_cast<size_t>(level - 1)]);
    FSaved.resize(static_cast<size_t>(level - 1));
    UpdateMap();
    ApplyClip();
    return true;
}

// ---- Enhanced metafiles ---------------------------------------------------------------------

TObject EmfPen(uint32_t Style, double Width, COLORREF Color, bool Geometric) {
    TObject o;
    o.Kind = TKind::Pen;
    o.Style = Style & 0xF;
    if (o.Style == 7 || o.Style > PS_ALTERNATE) o.Style = PS_SOLID;
    o.Width = Width;
    o.Cosmetic = !Geometric;
    o.Color = Color & 0xFFFFFF;
    return o;
}

TObject MakeBrush(uint32_t Style, COLORREF Color, uint32_t Hatch) {
    TObject o;
    o.Kind = TKind::Brush;
    o.Style = Style == BS_NULL || Style == BS_HATCHED ? Style : uint32_t{BS_SOLID};
    o.Color = Color & 0xFFFFFF;
    o.Hatch = Hatch <= uint32_t{HS_DIAGCROSS} ? Hatch : uint32_t{HS_HORIZONTAL};
    return o;
}

TObject MakeFont(const TBytes& r, size_t At, bool Wide) {
    TObject o;
    o.Kind = TKind::Font;
    LOGFONTW& f = o.Font;
    if (Wide) {
        f.lfHeight = r.S32(At);
        f.lfWidth = r.S32(At + 4);
        f.lfEscapement = r.S32(At + 8);
        f.lfOrientation = r.S32(At + 12);
        f.lfWeight = r.S32(At + 16);
        At += 20;
    } else {
        f.lfHeight = r.S16(At);
        f.lfWidth = r.S16(At + 2);
        f.lfEscapement = r.S16(At + 4);
        f.lfOrientation = r.S16(At + 6);
        f.lfWeight = r.S16(At + 8);
        At += 10;
    }
    f.lfWeight = std::clamp(f.lfWeight, 0, 1000);
    f.lfHeight = std::clamp(f.lfHeight, -(1 << 20), 1 << 20);
    f.lfWidth = std::clamp(f.lfWidth, 0, 1 << 20);
    f.lfItalic = r.P[At];
    f.lfUnderline = r.P[At + 1];
    f.lfStrikeOut = r.P[At + 2];
    f.lfCharSet = r.P[At + 3];
    f.lfQuality = r.P[At + 6];
    f.lfPitchAndFamily = r.P[At + 7];
    At += 8;
    for (int32_t i = 0; i < LF_FACESIZE - 1; ++i) {
        const char16_t c = Wide ? static_cast<char16_t>(r.U16(At + 2 * i)) : char16_t{r.P[At + i]};
        if (c == 0) break;
        f.lfFaceName[i] = c;
    }
    return o;
}

// Reads Count points of 16 or 32 bits from At.
bool ReadPoints(const TBytes& r, size_t At, uint64_t Count, bool Small,
                std::vector<TPointD>& Points) {
    const size_t size = Small ? 4 : 8;
    if (Count > r.N / size || !r.Has(At, static_cast<size_t>(Count) * size)) return false;
    Points.clear();
    for (size_t i = 0; i < Count; ++i) {
        const size_t o = At + i * size;
        Points.push_back(Small ? TPointD{double(r.S16(o)), double(r.S16(o + 2))}
                               : TPointD{double(r.S32(o)), double(r.S32(o + 4))});
    }
    return true;
}

void TPlayer::PlayEmf(const TBytes& Data, uint32_t Handles) {
    FObjects.assign(std::max<uint32_t>(Handles, 1), TObject{});
    size_t at = 0;
    while (Data.Has(at, 8)) {
        const uint32_t type = Data.U32(at), size = Data.U32(at + 4);
        if (size < 8 || size % 4 != 0 || !Data.Has(at, size)) break;
        if (type == 14 || !EmfRecord(type, TBytes{Data.P + at, size})) break;
        at += size;
    }
}

bool TPlayer::EmfRecord(uint32_t Type, const TBytes& r) {
    auto need = [&](size_t n) { return r.N >= n; };
    // Logical points after the bounds rectangle (polyline family).
    std::vector<TPointD> pts;
    auto mapped = [&](const std::vector<TPointD>& logical) {
        std::vector<TPointD> out;
        out.reserve(logical.size());
        for (const TPointD& p : logical)
            out.push_back(FMap.Apply(p));
        return out;
    };
    auto objectIndex = [&](uint32_t ih) -> TObject* {
        return ih != 0 && ih < FObjects.size() ? &FObjects[ih] : nullptr;
    };
    switch (Type) {
    case 1:
        return true; // the header, read before playback
    case 2:
    case 85: // PolyBezier
    case 3:
    case 86: // Polygon
    case 4:
    case 87: // Polyline
    case 5:
    case 88: // PolyBezierTo
    case 6:
    case 89: { // PolylineTo
        const bool small = Type >= 85;
        if (!need(28) || !ReadPoints(r, 28, r.U32(24), small, pts)) return false;
        const uint32_t kind = small ? Type - 83 : Type;
        if (kind == 2) {
            PolyBezier(pts, false);
        } else if (kind == 3) {
            if (pts.size() >= 2) Shapes({mapped(pts)}, true, true);
        } else if (kind == 4) {
            Stroke(mapped(pts), false);
        } else if (kind == 5) {
            PolyBezier(pts, true);
        } else if (!pts.empty()) {
            std::vector<TPointD> line{S.Position};
            line.insert(line.end(), pts.begin(), pts.end());
            if (FInPath && !FPath.empty() && !FPath.back().Closed) {
                for (size_t i = 1; i < line.size() && FPathPoints < PathPointLimit;
                     ++i, ++FPathPoints)
                    FPath.back().Points.push_back(FMap.Apply(line[i]));
            } else {
                Stroke(mapped(line), false);
            }
            S.Position = pts.back();
        }
        return true;
    }
    case 7:
    case 90: // PolyPolyline
    case 8:
    case 91: { // PolyPolygon
        const bool small = Type >= 90;
        if (!need(32)) return false;
        const uint64_t polys = r.U32(24), total = r.U32(28);
        if (polys > r.N / 4 || !r.Has(32, polys * 4)) return false;
        if (!ReadPoints(r, 32 + polys * 4, total, small, pts)) return false;
        std::vector<std::vector<TPointD>> rings;
        uint64_t used = 0;
        for (uint64_t i = 0; i < polys; ++i) {
            const uint64_t n = r.U32(32 + i * 4);
            if (n > total - used) return false;
            rings.emplace_back(pts.begin() + used, pts.begin() + used + n);
            used += n;
            rings.back() = mapped(rings.back());
        }
        if (Type == 8 || Type == 91)
            Shapes(rings, true, true);
        else
            for (const auto& ring : rings)
                Stroke(ring, false);
        return true;
    }
    case 9:
    case 11: { // SetWindowExtEx, SetViewportExtEx
        if (!need(16)) return false;
        const double x = r.S32(8), y = r.S32(12);
        if (x == 0 || y == 0) return true;
        (Type == 9 ? S.WinExt : S.VpExt) = {x, y};
        UpdateMap();
        return true;
    }
    case 10:
    case 12: // SetWindowOrgEx, SetViewportOrgEx
        if (!need(16)) return false;
        (Type == 10 ? S.WinOrg : S.VpOrg) = {double(r.S32(8)), double(r.S32(12))};
        UpdateMap();
        return true;
    case 13: // SetBrushOrgEx
        if (!need(16)) return false;
        S.BrushOrigin = {r.S32(8), r.S32(12)};
        return true;
    case 15: { // SetPixelV
        if (!need(20)) return false;
        const TPointD p = Dev(r.S32(8), r.S32(12));
        if (!FInPath && SafePoint(p))
            SetPixelV(FHandle, Round32(p.X), Round32(p.Y), r.U32(16) & 0xFFFFFF);
        return true;
    }
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 24:
    case 25: {
        if (!need(12)) return false;
        const uint32_t v = r.U32(8);
        switch (Type) {
        case 17:
            if (v >= 1 && v <= 8) S.MapMode = static_cast<int32_t>(v);
            UpdateMap();
            break;
        case 18:
            if (v == TRANSPARENT || v == OPAQUE) S.BkMode = static_cast<int32_t>(v);
            break;
        case 19:
            if (v == ALTERNATE || v == WINDING) S.FillMode = static_cast<int32_t>(v);
            break;
        case 20:
            if (v >= 1 && v <= 16) S.Rop2 = static_cast<int32_t>(v);
            break;
        case 21:
            if (v >= 1 && v <= 4) S.StretchMode = static_cast<int32_t>(v);
            break;
        case 22:
            S.TextAlign = v;
            break;
        case 24:
            S.TextColor = v & 0xFFFFFF;
            break;
        default:
            S.BkColor = v & 0xFFFFFF;
            break;
        }
        return true;
    }
    case 26: { // OffsetClipRgn
        if (!need(16)) return false;
        if (S.Clip) {
            const TPointD o = Dev(0, 0), d = Dev(r.S32(8), r.S32(12));
            const double lim = 2.0 * std::max(FSurfaceWidth, FSurfaceHeight) + 16;
            S.Clip->Offset(Round32(std::clamp(d.X - o.X, -lim, lim)),
                           Round32(std::clamp(d.Y - o.Y, -lim, lim)));
            ApplyClip();
        }
        return true;
    }
    case 27: // MoveToEx
        if (!need(16)) return false;
        S.Position = {double(r.S32(8)), double(r.S32(12))};
        if (FInPath) AddFigure({Dev(S.Position.X, S.Position.Y)}, false);
        return true;
    case 29:
    case 30: // ExcludeClipRect, IntersectClipRect
        if (!need(24)) return false;
        CombineClip(LogicalRectRegion(r.S32(8), r.S32(12), r.S32(16), r.S32(20)),
                    Type == 29 ? RGN_DIFF : RGN_AND);
        return true;
    case 31:
    case 32: { // ScaleViewportExtEx, ScaleWindowExtEx
        if (!need(24)) return false;
        const double xn = r.S32(8), xd = r.S32(12), yn = r.S32(16), yd = r.S32(20);
        TPointD& ext = Type == 31 ? S.VpExt : S.WinExt;
        if (xn == 0 || xd == 0 || yn == 0 || yd == 0) return true;
        ext = {ext.X * xn / xd, ext.Y * yn / yd};
        UpdateMap();
        return true;
    }
    case 33: // SaveDC
        if (FSaved.size() < SavedLimit) FSaved.push_back(S);
        return true;
    case 34: // RestoreDC
        if (!need(12)) return false;
        Restore(r.S32(8));
        return true;
    case 35:
    case 36: { // SetWorldTransform, ModifyWorldTransform
        if (!need(Type == 35 ? 32 : 36)) return false;
        TMatrix m{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
        const double values[6] = {m.M11, m.M12, m.M21, m.M22, m.Dx, m.Dy};
        if (!std::all_of(values, values + 6,
                         [](double v) { return std::isfinite(v) && std::abs(v) < 1e12; }))
            return true;
        const uint32_t mode = Type == 35 ? 4 : r.U32(32);
        TMatrix next = S.World;
        if (mode == 1)
            next = TMatrix{};
        else if (mode == 2)
            next = Then(m, S.World);
        else if (mode == 3)
            next = Then(S.World, m);
        else if (mode == 4)
            next = m;
        if (next.Det() == 0 || !std::isfinite(next.Det())) return true;
        S.World = next;
        UpdateMap();
        return true;
    }
    case 37: { // SelectObject
        if (!need(12)) return false;
        const uint32_t ih = r.U32(8);
        if (ih & 0x80000000u)
            SelectObject(StockObject(ih & 0x7FFFFFFF));
        else if (const TObject* o = objectIndex(ih))
            SelectObject(*o);
        return true;
    }
    case 38: { // CreatePen
        if (!need(28)) return false;
        if (TObject* o = objectIndex(r.U32(8)))
            *o = EmfPen(r.U32(12), r.S32(16), r.U32(24), r.S32(16) > 0);
        return true;
    }
    case 39: // CreateBrushIndirect
        if (!need(24)) return false;
        if (TObject* o = objectIndex(r.U32(8))) *o = MakeBrush(r.U32(12), r.U32(16), r.U32(20));
        return true;
    case 40: // DeleteObject
        if (!need(12)) return false;
        if (TObject* o = objectIndex(r.U32(8))) *o = TObject{};
        return true;
    case 42:
    case 43: // Ellipse, Rectangle
        if (!need(24)) return false;
        BoxShape(Type == 42 ? 1 : 0, r.S32(8), r.S32(12), r.S32(16), r.S32(20), 0, 0, nullptr);
        return true;
    case 44: // RoundRect
        if (!need(32)) return false;
        BoxShape(2, r.S32(8), r.S32(12), r.S32(16), r.S32(20), r.S32(24), r.S32(28), nullptr);
        return true;
    case 45:
    case 46:
    case 47:
    case 55: { // Arc, Chord, Pie, ArcTo
        if (!need(40)) return false;
        const double radials[4] = {double(r.S32(24)), double(r.S32(28)), double(r.S32(32)),
                                   double(r.S32(36))};
        const int32_t kind = Type == 46 ? 5 : Type == 47 ? 4 : 3;
        BoxShape(kind, r.S32(8), r.S32(12), r.S32(16), r.S32(20), 0, 0, radials);
        return true;
    }
    case 54: { // LineTo
        if (!need(16)) return false;
        const TPointD to{double(r.S32(8)), double(r.S32(12))};
        if (FInPath && !FPath.empty() && !FPath.back().Closed && FPathPoints < PathPointLimit) {
            FPath.back().Points.push_back(FMap.Apply(to));
            ++FPathPoints;
        } else {
            Stroke({Dev(S.Position.X, S.Position.Y), FMap.Apply(to)}, false);
        }
        S.Position = to;
        return true;
    }
    case 59: // BeginPath
        FPath.clear();
        FPathPoints = 0;
        FInPath = true;
        return true;
    case 60:
        return true; // EndPath: the path stays for the command that uses it
    case 61:         // CloseFigure
        if (!FPath.empty()) FPath.back().Closed = true;
        return true;
    case 62:
        PathCommand(0);
        return true;
    case 63:
        PathCommand(2);
        return true;
    case 64:
        PathCommand(1);
        return true;
    case 67: { // SelectClipPath
        if (!need(12)) return false;
        TRegionData shape;
        for (const TFigure& f : FPath) {
            const std::vector<TPoint> points =
                Rounded(ClipPolygon(f.Points, -1, -1, FSurfaceWidth + 1, FSurfaceHeight + 1));
            shape = TRegionData::Combine(
                shape,
                PolygonRegion(points.data(), static_cast<int32_t>(points.size()), S.FillMode),
                RGN_OR);
        }
        FPath.clear();
        FPathPoints = 0;
        FInPath = false;
        CombineClip(shape, static_cast<int32_t>(r.U32(8)));
        return true;
    }
    case 68: // AbortPath
        FPath.clear();
        FPathPoints = 0;
        FInPath = false;
        return true;
    case 75: { // ExtSelectClipRgn: rectangles in the picture's device units
        if (!need(16)) return false;
        const uint32_t bytes = r.U32(8);
        const auto mode = static_cast<int32_t>(r.U32(12));
        if (bytes == 0 || (mode == RGN_COPY && bytes < 32)) {
            if (mode == RGN_COPY) {
                S.Clip.reset();
                ApplyClip();
            }
            return true;
        }
        if (!r.Has(16, bytes) || bytes < 32) return false;
        const uint64_t count = r.U32(16 + 8);
        if (count > (bytes - 32) / 16) return false;
        TRegionData shape;
        const double lim = std::max(FSurfaceWidth, FSurfaceHeight) + 16.0;
        auto at = [&](double v) { return Round32(std::clamp(v, -lim, lim)); };
        for (uint64_t i = 0; i < count; ++i) {
            const size_t o = 48 + i * 16;
            const TPointD a = FOuter.Apply({double(r.S32(o)), double(r.S32(o + 4))});
            const TPointD c = FOuter.Apply({double(r.S32(o + 8)), double(r.S32(o + 12))});
            shape = TRegionData::Combine(
                shape,
                TRegionData::FromRect(at(std::min(a.X, c.X)), at(std::min(a.Y, c.Y)),
                                      at(std::max(a.X, c.X)), at(std::max(a.Y, c.Y))),
                RGN_OR);
        }
        CombineClip(shape, mode);
        return true;
    }
    case 76:
    case 77: { // BitBlt, StretchBlt
        if (!need(Type == 76 ? 100 : 108)) return false;
        const int32_t x = r.S32(24), y = r.S32(28), w = r.S32(32), h = r.S32(36);
        const uint32_t rop = r.U32(40);
        const int32_t sx = r.S32(44), sy = r.S32(48);
        const uint32_t offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92),
                       cbBits = r.U32(96);
        const int32_t sw = Type == 77 ? r.S32(100) : w, sh = Type == 77 ? r.S32(104) : h;
        if (cbBmi == 0) {
            Blit(x, y, w, h, nullptr, 0, 0, 0, 0, rop, false);
            return true;
        }
        TDib dib;
        if (r.U32(80) == DIB_RGB_COLORS && ReadDib(r, offBmi, cbBmi, offBits, cbBits, dib))
            Blit(x, y, w, h, &dib, sx, sy, sw, sh, rop, true);
        return true;
    }
    case 80:
    case 81: { // SetDIBitsToDevice, StretchDIBits
        if (!need(Type == 80 ? 76 : 80)) return false;
        const int32_t x = r.S32(24), y = r.S32(28), sx = r.S32(32), sy = r.S32(36), sw = r.S32(40),
                      sh = r.S32(44);
        const uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56),
                       cbBits = r.U32(60), usage = r.U32(64);
        TDib dib;
        if (usage != DIB_RGB_COLORS || cbBmi == 0 ||
            !ReadDib(r, offBmi, cbBmi, offBits, cbBits, dib))
            return true;
        if (Type == 81) {
            Blit(x, y, r.S32(72), r.S32(76), &dib, sx, sy, sw, sh, r.U32(68), false);
        } else {
            // The rows given are StartScan .. StartScan + Scans of the whole picture, drawn at
            // 1:1 in device pixels from the mapped corner.
            const uint32_t start = r.U32(68), scans = r.U32(72);
            if (FInPath || start > static_cast<uint32_t>(dib.Height) ||
                scans > static_cast<uint32_t>(dib.Height))
                return true;
            const TPointD at = Dev(x, y);
            if (!SafePoint(at) || sw <= 0 || sh <= 0) return true;
            TTools tools(*this, false, false);
            SetDIBitsToDevice(FHandle, Round32(at.X), Round32(at.Y), static_cast<uint32_t>(sw),
                              static_cast<uint32_t>(sh), sx, sy, start, scans, dib.Bits,
                              dib.Header(), DIB_RGB_COLORS);
        }
        return true;
    }
    case 82: // ExtCreateFontIndirectW
        if (!need(12 + 92)) return false;
        if (TObject* o = objectIndex(r.U32(8))) *o = MakeFont(r, 12, true);
        return true;
    case 83:
    case 84: { // ExtTextOutA, ExtTextOutW
        if (!need(76)) return false;
        const bool wide = Type == 84;
        const double x = r.S32(36), y = r.S32(40);
        const uint32_t chars = r.U32(44), offString = r.U32(48), options = r.U32(52);
        const TRect rect{r.S32(56), r.S32(60), r.S32(64), r.S32(68)};
        const uint32_t offDx = r.U32(72);
        const size_t charBytes = wide ? 2 : 1;
        if (chars > r.N || !r.Has(offString, chars * charBytes)) return false;
        std::u16string text;
        if (wide) {
            for (uint32_t i = 0; i < chars; ++i)
                text.push_back(static_cast<char16_t>(r.U16(offString + 2 * i)));
        } else {
            text = StrFromWindows1252(
                std::string_view(reinterpret_cast<const char*>(r.P + offString), chars));
        }
        std::vector<int32_t> dx;
        if (offDx != 0 && r.Has(offDx, size_t{chars} * 4))
            for (uint32_t i = 0; i < chars; ++i)
                dx.push_back(std::clamp(r.S32(offDx + 4 * i), -(1 << 20), 1 << 20));
        const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
        Text(x, y, std::move(text), dx, options, hasRect ? &rect : nullptr);
        return true;
    }
    case 93:
    case 94: { // CreateMonoBrush, CreateDIBPatternBrushPt
        if (!need(32)) return false;
        TObject* o = objectIndex(r.U32(8));
        TDib dib;
        if (o != nullptr && r.U32(12) == DIB_RGB_COLORS &&
            ReadDib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), dib))
            *o = MakeBrush(BS_SOLID, AverageColor(dib), 0);
        else if (o != nullptr)
            *o = MakeBrush(BS_SOLID, 0x808080, 0);
        return true;
    }
    case 95: { // ExtCreatePen
        if (!need(52)) return false;
        if (TObject* o = objectIndex(r.U32(8))) {
            const uint32_t style = r.U32(28);
            *o = EmfPen(style, r.U32(32) > (1u << 24) ? 1 << 24 : r.U32(32), r.U32(40),
                        (style & 0xF0000) == 0x10000);
            if (r.U32(36) == BS_NULL) o->Style = PS_NULL;
        }
        return true;
    }
    default:
        return true; // comments, palettes and records without a drawing of their own
    }
}

// ---- Windows metafiles ----------------------------------------------------------------------

void TPlayer::WmfCreate(const TObject& Object) {
    for (TObject& slot : FObjects)
        if (slot.Kind == TKind::None) {
            slot = Object;
            // A created object with nothing to draw still takes its slot.
            if (slot.Kind == TKind::None) slot.Kind = TKind::Other;
            return;
        }
}

void TPlayer::PlayWmf(const TBytes& Data, uint32_t Objects) {
    FObjects.assign(Objects, TObject{});
    size_t at = WmfHeaderSize;
    while (Data.Has(at, 6)) {
        const uint64_t bytes = uint64_t{Data.U32(at)} * 2;
        const uint16_t function = Data.U16(at + 4);
        if (bytes < 6 || !Data.Has(at, bytes)) break;
        if (function == 0 || !WmfRecord(function, TBytes{Data.P + at, static_cast<size_t>(bytes)}))
            break;
        at += bytes;
    }
}

bool TPlayer::WmfRecord(uint16_t Function, const TBytes& r) {
    auto need = [&](size_t params) { return r.N >= 6 + params; };
    // The parameters are stored last first: P(i) is the i-th 16-bit parameter from the record's
    // start.
    auto P = [&](size_t i) { return double(r.S16(6 + 2 * i)); };
    auto mappedPoints = [&](size_t at, uint64_t count, std::vector<TPointD>& out) {
        std::vector<TPointD> logical;
        if (!ReadPoints(r, at, count, true, logical)) return false;
        out.clear();
        for (const TPointD& p : logical)
            out.push_back(FMap.Apply(p));
        return true;
    };
    std::vector<TPointD> pts;
    switch (Function) {
    case 0x0201: // SetBkColor
        if (!need(4)) return false;
        S.BkColor = r.U32(6) & 0xFFFFFF;
        return true;
    case 0x0209: // SetTextColor
        if (!need(4)) return false;
        S.TextColor = r.U32(6) & 0xFFFFFF;
        return true;
    case 0x0102:
    case 0x0103:
    case 0x0104:
    case 0x0106:
    case 0x0107:
    case 0x012E: {
        if (!need(2)) return false;
        const uint32_t v = r.U16(6);
        switch (Function) {
        case 0x0102:
            if (v == TRANSPARENT || v == OPAQUE) S.BkMode = static_cast<int32_t>(v);
            break;
        case 0x0103:
            if (v >= 1 && v <= 8) S.MapMode = static_cast<int32_t>(v);
            UpdateMap();
            break;
        case 0x0104:
            if (v >= 1 && v <= 16) S.Rop2 = static_cast<int32_t>(v);
            break;
        case 0x0106:
            if (v == ALTERNATE || v == WINDING) S.FillMode = static_cast<int32_t>(v);
            break;
        case 0x0107:
            if (v >= 1 && v <= 4) S.StretchMode = static_cast<int32_t>(v);
            break;
        default:
            S.TextAlign = v;
            break;
        }
        return true;
    }
    case 0x020B:
    case 0x020C:
    case 0x020D:
    case 0x020E: { // window / viewport origin, extent
        if (!need(4)) return false;
        const TPointD v{P(1), P(0)};
        if ((Function == 0x020C || Function == 0x020E) && (v.X == 0 || v.Y == 0)) return true;
        TPointD* fields[4] = {&S.WinOrg, &S.WinExt, &S.VpOrg, &S.VpExt};
        *fields[Function - 0x020B] = v;
        UpdateMap();
        return true;
    }
    case 0x020F:
    case 0x0211: { // OffsetWindowOrg, OffsetViewportOrg
        if (!need(4)) return false;
        TPointD& org = Function == 0x020F ? S.WinOrg : S.VpOrg;
        org = {org.X + P(1), org.Y + P(0)};
        UpdateMap();
        return true;
    }
    case 0x0410:
    case 0x0412: { // ScaleWindowExt, ScaleViewportExt
        if (!need(8)) return false;
        const double yd = P(0), yn = P(1), xd = P(2), xn = P(3);
        if (xn == 0 || xd == 0 || yn == 0 || yd == 0) return true;
        TPointD& ext = Function == 0x0410 ? S.WinExt : S.VpExt;
        ext = {ext.X * xn / xd, ext.Y * yn / yd};
        UpdateMap();
        return true;
    }
    case 0x0213: { // LineTo
        if (!need(4)) return false;
        const TPointD to{P(1), P(0)};
        Stroke({Dev(S.Position.X, S.Position.Y), FMap.Apply(to)}, false);
        S.Position = to;
        return true;
    }
    case 0x0214: // MoveTo
        if (!need(4)) return false;
        S.Position = {P(1), P(0)};
        return true;
    case 0x0220: { // OffsetClipRgn
        if (!need(4)) return false;
        if (S.Clip) {
            const TPointD o = Dev(0, 0), d = Dev(P(1), P(0));
            const double lim = 2.0 * std::max(FSurfaceWidth, FSurfaceHeight) + 16;
            S.Clip->Offset(Round32(std::clamp(d.X - o.X, -lim, lim)),
                           Round32(std::clamp(d.Y - o.Y, -lim, lim)));
            ApplyClip();
        }
        return true;
    }
    case 0x0415:
    case 0x0416: // ExcludeClipRect, IntersectClipRect
        if (!need(8)) return false;
        CombineClip(LogicalRectRegion(P(3), P(2), P(1), P(0)),
                    Function == 0x0415 ? RGN_DIFF : RGN_AND);
        return true;
    case 0x0418:
    case 0x041B: // Ellipse, Rectangle
        if (!need(8)) return false;
        BoxShape(Function == 0x0418 ? 1 : 0, P(3), P(2), P(1), P(0), 0, 0, nullptr);
        return true;
    case 0x061C: // RoundRect
        if (!need(12)) return false;
        BoxShape(2, P(5), P(4), P(3), P(2), P(1), P(0), nullptr);
        return true;
    case 0x0817:
    case 0x081A:
    case 0x0830: { // Arc, Pie, Chord
        if (!need(16)) return false;
        const double radials[4] = {P(3), P(2), P(1), P(0)};
        const int32_t kind = Function == 0x0817 ? 3 : Function == 0x081A ? 4 : 5;
        BoxShape(kind, P(7), P(6), P(5), P(4), 0, 0, radials);
        return true;
    }
    case 0x041F: { // SetPixel
        if (!need(8)) return false;
        const TPointD p = Dev(P(3), P(2));
        if (SafePoint(p)) SetPixelV(FHandle, Round32(p.X), Round32(p.Y), r.U32(6) & 0xFFFFFF);
        return true;
    }
    case 0x0324:
    case 0x0325: { // Polygon, Polyline
        if (!need(2) || !mappedPoints(8, r.U16(6), pts)) return false;
        if (Function == 0x0324)
            Shapes({pts}, true, true);
        else
            Stroke(pts, false);
        return true;
    }
    case 0x0538: { // PolyPolygon
        if (!need(2)) return false;
        const uint64_t polys = r.U16(6);
        if (!r.Has(8, polys * 2)) return false;
        uint64_t total = 0;
        for (uint64_t i = 0; i < polys; ++i)
            total += r.U16(8 + 2 * i);
        if (!mappedPoints(8 + polys * 2, total, pts)) return false;
        std::vector<std::vector<TPointD>> rings;
        size_t used = 0;
        for (uint64_t i = 0; i < polys; ++i) {
            const size_t n = r.U16(8 + 2 * i);
            rings.emplace_back(pts.begin() + used, pts.begin() + used + n);
            used += n;
        }
        Shapes(rings, true, true);
        return true;
    }
    case 0x001E: // SaveDC
        if (FSaved.size() < SavedLimit) FSaved.push_back(S);
        return true;
    case 0x0127: // RestoreDC
        if (!need(2)) return false;
        Restore(r.S16(6));
        return true;
    case 0x012D:
    case 0x01F0:
    case 0x012C: { // SelectObject, DeleteObject, SelectClipRegion
        if (!need(2)) return false;
        const uint16_t index = r.U16(6);
        if (index >= FObjects.size()) return true;
        if (Function == 0x01F0)
            FObjects[index] = TObject{};
        else
            SelectObject(FObjects[index]);
        return true;
    }
    case 0x02FA: { // CreatePenIndirect
        if (!need(10)) return false;
        WmfCreate(EmfPen(r.U16(6), r.S16(8), r.U32(12), r.S16(8) > 0));
        return true;
    }
    case 0x02FC: // CreateBrushIndirect
        if (!need(8)) return false;
        WmfCreate(MakeBrush(r.U16(6), r.U32(8), r.U16(12)));
        return true;
    case 0x02FB: // CreateFontIndirect
        if (!need(18)) {
            WmfCreate(TObject{});
            return false;
        }
        if (r.N < 6 + 18 + LF_FACESIZE) {
            TBytes padded = r;
            std::vector<uint8_t> copy(r.P, r.P + r.N);
            copy.resize(6 + 18 + LF_FACESIZE, 0);
            padded = {copy.data(), copy.size()};
            WmfCreate(MakeFont(padded, 6, false));
        } else {
            WmfCreate(MakeFont(r, 6, false));
        }
        return true;
    case 0x0142: { // DIBCreatePatternBrush
        if (!need(4)) return false;
        TDib dib;
        const bool ok = r.U16(8) == DIB_RGB_COLORS && ReadDib(r, 10, r.N - 10, 0, 0, dib);
        WmfCreate(MakeBrush(BS_SOLID, ok ? AverageColor(dib) : 0x808080, 0));
        return true;
    }
    case 0x06FF: { // CreateRegion: its bounding box
        TObject o;
        o.Kind = TKind::Region;
        if (need(22)) o.Box = {r.S16(6 + 14), r.S16(6 + 16), r.S16(6 + 18), r.S16(6 + 20)};
        WmfCreate(o);
        return true;
    }
    case 0x00F7:
    case 0x01F9: // CreatePalette, CreatePatternBrush: slots without drawing
        WmfCreate(Function == 0x01F9 ? MakeBrush(BS_SOLID, 0x808080, 0) : TObject{});
        return true;
    case 0x061D: { // PatBlt
        if (!need(12)) return false;
        Blit(P(5), P(4), P(3), P(2), nullptr, 0, 0, 0, 0, r.U32(6), false);
        return true;
    }
    case 0x0940:
    case 0x0B41: { // DIBBitBlt, DIBStretchBlt
        const bool stretch = Function == 0x0B41;
        const size_t words = r.N / 2;
        // Without a bitmap the record has one more parameter word and no DIB.
        const size_t plain = stretch ? 14 : 12;
        if (!need(stretch ? 20 : 16)) return false;
        const uint32_t rop = r.U32(6);
        if (words == plain) {
            const size_t o = stretch ? 6 : 4; // past the reserved word
            Blit(P(o + 4), P(o + 3), P(o + 2), P(o + 1), nullptr, 0, 0, 0, 0, rop, false);
            return true;
        }
        double sh, sw, sy, sx, dh, dw, dy, dx;
        if (stretch) {
            sh = P(2), sw = P(3), sy = P(4), sx = P(5), dh = P(6), dw = P(7), dy = P(8), dx = P(9);
        } else {
            sy = P(2), sx = P(3), dh = P(4), dw = P(5), dy = P(6), dx = P(7);
            sh = dh, sw = dw;
        }
        const size_t dibAt = stretch ? 26 : 22;
        TDib dib;
        if (r.N > dibAt && ReadDib(r, dibAt, r.N - dibAt, 0, 0, dib))
            Blit(dx, dy, dw, dh, &dib, Round32(sx), Round32(sy), Round32(sw), Round32(sh), rop,
                 true);
        return true;
    }
    case 0x0F43: { // StretchDIB
        if (!need(22)) return false;
        const uint32_t rop = r.U32(6);
        TDib dib;
        if (r.U16(10) == DIB_RGB_COLORS && ReadDib(r, 28, r.N - 28, 0, 0, dib))
            Blit(P(10), P(9), P(8), P(7), &dib, Round32(P(6)), Round32(P(5)), Round32(P(4)),
                 Round32(P(3)), rop, false);
        return true;
    }
    case 0x0D33: { // SetDIBitsToDevice
        if (!need(18)) return false;
        TDib dib;
        if (FInPath || r.U16(6) != DIB_RGB_COLORS || !ReadDib(r, 24, r.N - 24, 0, 0, dib))
            return true;
        const auto scans = static_cast<uint32_t>(r.U16(8)),
                   start = static_cast<uint32_t>(r.U16(10));
        const TPointD at = Dev(P(8), P(7));
        if (!SafePoint(at) || P(6) <= 0 || P(5) <= 0 || scans > static_cast<uint32_t>(dib.Height))
            return true;
        TTools tools(*this, false, false);
        SetDIBitsToDevice(FHandle, Round32(at.X), Round32(at.Y), static_cast<uint32_t>(P(6)),
                          static_cast<uint32_t>(P(5)), Round32(P(4)), Round32(P(3)), start, scans,
                          dib.Bits, dib.Header(), DIB_RGB_COLORS);
        return true;
    }
    case 0x0521: { // TextOut: count, string (padded to a word), y, x
        if (!need(2)) return false;
        const size_t count = r.U16(6);
        const size_t padded = (count + 1) & ~size_t{1};
        if (!r.Has(8, padded + 4)) return false;
        const std::u16string text =
            StrFromWindows1252(std::string_view(reinterpret_cast<const char*>(r.P + 8), count));
        Text(r.S16(8 + padded + 2), r.S16(8 + padded), text, {}, 0, nullptr);
        return true;
    }
    case 0x0A32: { // ExtTextOut: y, x, count, options, [rect], string, [dx]
        if (!need(8)) return false;
        const double y = P(0), x = P(1);
        const size_t count = r.U16(10);
        const uint32_t options = r.U16(12);
        size_t at = 14;
        TRect rect;
        const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
        if (hasRect) {
            if (!r.Has(at, 8)) return false;
            rect = {r.S16(at), r.S16(at + 2), r.S16(at + 4), r.S16(at + 6)};
            at += 8;
        }
        if (!r.Has(at, count)) return false;
        const std::u16string text =
            StrFromWindows1252(std::string_view(reinterpret_cast<const char*>(r.P + at), count));
        at += (count + 1) & ~size_t{1};
        std::vector<int32_t> dx;
        if (r.Has(at, count * 2))
            for (size_t i = 0; i < count; ++i)
                dx.push_back(r.S16(at + 2 * i));
        Text(x, y, text, dx, options, hasRect ? &rect : nullptr);
        return true;
    }
    default:
        return true; // escapes (comments), palettes and records without a drawing
    }
}

bool ReadPlaceable(const TBytes& d, size_t& WmfAt, TRect& Box, int32_t& Inch) {
    WmfAt = 0;
    if (d.Has(0, PlaceableSize) && d.U32(0) == PlaceableKey) {
        Box = {d.S16(6), d.S16(8), d.S16(10), d.S16(12)};
        Inch = d.U16(14);
        WmfAt = PlaceableSize;
        return true;
    }
    return false;
}

bool WmfHeaderValid(const TBytes& d) {
    return d.Has(0, WmfHeaderSize) && (d.U16(0) == 1 || d.U16(0) == 2) && d.U16(2) == 9;
}

// The first window origin and extent a Windows metafile without a placeable header sets.
bool WmfWindow(const TBytes& d, TRect& Box) {
    bool org = false, ext = false;
    TPoint origin, extent;
    size_t at = WmfHeaderSize;
    while (d.Has(at, 6) && !(org && ext)) {
        const uint64_t bytes = uint64_t{d.U32(at)} * 2;
        const uint16_t function = d.U16(at + 4);
        if (bytes < 6 || !d.Has(at, bytes) || function == 0) break;
        if (bytes >= 10 && (function == 0x020B || function == 0x020C)) {
            const TPoint v{d.S16(at + 8), d.S16(at + 6)};
            if (function == 0x020B && !org) origin = v, org = true;
            if (function == 0x020C && !ext) extent = v, ext = true;
        }
        at += bytes;
    }
    Box = {origin.X, origin.Y, origin.X + extent.X, origin.Y + extent.Y};
    return ext;
}

bool RectUsable(const TRect* Rect) {
    return Rect != nullptr && Rect->Width() != 0 && Rect->Height() != 0;
}

struct TEmfHeader {
    TRect Bounds, Frame;
    uint32_t Handles = 0;
    TSize Device, Millimeters;
};

bool ReadEmfHeader(const TBytes& d, TEmfHeader& h) {
    if (!d.Has(0, EmfHeaderMin) || d.U32(0) != 1 || d.U32(40) != EmfSignature) return false;
    const uint32_t size = d.U32(4);
    if (size < EmfHeaderMin || size > d.N) return false;
    h.Bounds = {d.S32(8), d.S32(12), d.S32(16), d.S32(20)};
    h.Frame = {d.S32(24), d.S32(28), d.S32(32), d.S32(36)};
    h.Handles = d.U16(56);
    h.Device = {d.S32(72), d.S32(76)};
    h.Millimeters = {d.S32(80), d.S32(84)};
    return true;
}

// Reference-device pixels per millimetre of an enhanced metafile; 96 dots per inch when the
// header's sizes are unusable.
void EmfDeviceScale(const TEmfHeader& h, double& x, double& y) {
    x = y = 96 / 25.4;
    if (h.Device.cx > 0 && h.Millimeters.cx > 0) x = double(h.Device.cx) / h.Millimeters.cx;
    if (h.Device.cy > 0 && h.Millimeters.cy > 0) y = double(h.Device.cy) / h.Millimeters.cy;
}

int32_t PixelsOf(int64_t Units, double PerInch) {
    return Round32(std::abs(static_cast<double>(Units)) * 96 / PerInch);
}

} // namespace

bool MetafilePictureSize(const uint8_t* Data, size_t Size, bool& Enhanced, TSize& Pixels) {
    const TBytes d{Data, Data == nullptr ? 0 : Size};
    TEmfHeader h;
    Pixels = {0, 0};
    if (ReadEmfHeader(d, h)) {
        Enhanced = true;
        Pixels = {PixelsOf(int64_t{h.Frame.Right} - h.Frame.Left, 2540),
                  PixelsOf(int64_t{h.Frame.Bottom} - h.Frame.Top, 2540)};
        return true;
    }
    Enhanced = false;
    size_t at;
    TRect box;
    int32_t inch = 0;
    const bool placeable = ReadPlaceable(d, at, box, inch);
    const TBytes wmf = d.From(at);
    if (!WmfHeaderValid(wmf)) return false;
    if (placeable) {
        if (inch > 0)
            Pixels = {PixelsOf(int64_t{box.Right} - box.Left, inch),
                      PixelsOf(int64_t{box.Bottom} - box.Top, inch)};
    } else if (WmfWindow(wmf, box)) {
        Pixels = {std::abs(box.Width()), std::abs(box.Height())};
    }
    return true;
}

bool PlayEnhMetaFile(HDC Dc, const uint8_t* Data, size_t Size, const TRect* Rect) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    const TBytes d{Data, Data == nullptr ? 0 : Size};
    TEmfHeader h;
    if (dc == nullptr || !ReadEmfHeader(d, h)) return false;
    if (!RectUsable(Rect)) return true;
    double perMmX, perMmY;
    EmfDeviceScale(h, perMmX, perMmY);
    // The frame (0.01 mm) in reference-device pixels is what the rectangle shows.
    const double left = h.Frame.Left * perMmX / 100, top = h.Frame.Top * perMmY / 100;
    const double width = (double(h.Frame.Right) - h.Frame.Left) * perMmX / 100;
    const double height = (double(h.Frame.Bottom) - h.Frame.Top) * perMmY / 100;
    if (width == 0 || height == 0) return true;
    const int32_t depth = SaveDC(Dc);
    {
        TPlayer player(Dc, *dc, false, left, top, width, height, perMmX, perMmY, *Rect);
        player.PlayEmf(d, h.Handles);
    }
    if (depth > 0) RestoreDC(Dc, depth);
    return true;
}

bool PlayMetaFile(HDC Dc, const uint8_t* Data, size_t Size, const TRect* Rect) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    const TBytes d{Data, Data == nullptr ? 0 : Size};
    size_t at;
    TRect box;
    int32_t inch = 96;
    const bool placeable = ReadPlaceable(d, at, box, inch);
    const TBytes wmf = d.From(at);
    if (dc == nullptr || !WmfHeaderValid(wmf)) return false;
    if (!placeable) {
        inch = 96;
        if (!WmfWindow(wmf, box)) return true;
    }
    if (!RectUsable(Rect) || box.Width() == 0 || box.Height() == 0 || inch <= 0) return true;
    const int32_t depth = SaveDC(Dc);
    {
        TPlayer player(Dc, *dc, true, box.Left, box.Top, box.Width(), box.Height(), inch / 25.4,
                       inch / 25.4, *Rect);
        player.PlayWmf(wmf, wmf.U16(10));
    }
    if (depth > 0) RestoreDC(Dc, depth);
    return true;
}
