// Stateless helpers of the imaging library.
#include "imaging/core/VLHelpers.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLRotate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

using enum TVLPixelFormat;

namespace {
constexpr double FarAway = 1000000;
constexpr double NoDistance = 2147483647;
constexpr double Pi = std::numbers::pi;

int32_t Sign(int32_t V) {
    return V < 0 ? -1 : 1;
}

// The distance of P to P1, or FarAway when P lies 45,001 or more from P1 on either axis.
double NearEndDistance(int32_t PX, int32_t PY, int32_t X1, int32_t Y1) {
    if (std::abs(static_cast<int64_t>(PX) - X1) >= 45001 ||
        std::abs(static_cast<int64_t>(PY) - Y1) >= 45001)
        return FarAway;
    return PointToPointDistance(PX, PY, X1, Y1);
}

int32_t RoundToInt32(double V) {
    return static_cast<int32_t>(std::clamp<int64_t>(Round(V), INT32_MIN, INT32_MAX));
}

int32_t TruncToInt32(double V) {
    return static_cast<int32_t>(std::clamp<int64_t>(Trunc(V), INT32_MIN, INT32_MAX));
}
} // namespace

void SnapTo45Degrees(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y) {
    const int32_t ax = std::abs(X0 - X);
    const int32_t ay = std::abs(Y0 - Y);
    if (ay > ax + 30) {
        X = X0;
        return;
    }
    if (ay < ax - 30) {
        Y = Y0;
        return;
    }
    const int32_t d = std::abs(ax - ay);
    if (d == 0) return;
    const bool bothGreater = X > X0 && Y > Y0;
    const bool mixed = (X > X0 && Y < Y0) || (X < X0 && Y > Y0);
    if (bothGreater || mixed) {
        // The shorter offset grows away from the origin.
        if (ax < ay)
            X += Sign(X - X0) * d;
        else
            Y += Sign(Y - Y0) * d;
    } else if (X < X0 && Y < Y0) {
        // The longer offset shrinks towards the origin.
        if (ax > ay)
            X += d;
        else
            Y += d;
    }
}

bool RectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1,
                  int32_t BX2, int32_t BY2) {
    return !(std::max(AX1, AX2) < BX1 || BX2 < std::min(AX1, AX2) || std::max(AY1, AY2) < BY1 ||
             BY2 < std::min(AY1, AY2));
}

int32_t RectOverlapKind(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1,
                        int32_t BY1, int32_t BX2, int32_t BY2) {
    auto inX = [&](int32_t v) { return AX1 <= v && v <= AX2 ? 1 : 0; };
    auto inY = [&](int32_t v) { return AY1 <= v && v <= AY2 ? 1 : 0; };
    const int xs = inX(BX1) + inX(BX2);
    const int ys = inY(BY1) + inY(BY2);
    if ((xs == 1 && ys >= 1) || (xs >= 1 && ys == 1)) return 1;
    if (xs == 2 && ys == 2) return 2;
    return 0;
}

bool PointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

bool PointInUnorderedRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    OrderRectCorners(X1, Y1, X2, Y2);
    return PointInRect(X, Y, X1, Y1, X2, Y2);
}

TRect ExtendRectToPoint(TRect& Rect, int32_t X, int32_t Y) {
    Rect.Left = std::min(Rect.Left, X);
    Rect.Top = std::min(Rect.Top, Y);
    Rect.Right = std::max(Rect.Right, X);
    Rect.Bottom = std::max(Rect.Bottom, Y);
    return Rect;
}

double PointToPointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return std::hypot(static_cast<double>(X2) - X1, static_cast<double>(Y2) - Y1);
}

double PointToLineDistance(int32_t PX, int32_t PY, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const double dx = static_cast<double>(X2) - X1;
    const double dy = static_cast<double>(Y2) - Y1;
    const double length = std::hypot(dx, dy);
    if (length == 0) return PointToPointDistance(PX, PY, X1, Y1);
    return std::abs(dx * (static_cast<double>(Y1) - PY) - (static_cast<double>(X1) - PX) * dy) /
           length;
}

double PointToSegmentDistance(int32_t PX, int32_t PY, int32_t X1, int32_t Y1, int32_t X2,
                              int32_t Y2) {
    const double dx = static_cast<double>(X2) - X1;
    const double dy = static_cast<double>(Y2) - Y1;
    const double lengthSq = dx * dx + dy * dy;
    if (lengthSq == 0) return PointToPointDistance(PX, PY, X1, Y1);
    const double t =
        ((static_cast<double>(PX) - X1) * dx + (static_cast<double>(PY) - Y1) * dy) / lengthSq;
    if (t > 1) return NearEndDistance(PX, PY, X2, Y2);
    if (t < 0) return NearEndDistance(PX, PY, X1, Y1);
    return PointToLineDistance(PX, PY, X1, Y1, X2, Y2);
}

double PointToPolylineDistance(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                               double OrgX, double OrgY, double OffX, double OffY, double ZoomX,
                               double ZoomY, int32_t PenWidth, bool Closed) {
    if (Count <= 0 || Points == nullptr) return FarAway;
    std::vector<TPoint> screen(Count);
    for (int32_t i = 0; i < Count; ++i)
        screen[i] = {RoundToInt32((Points[i].X - OrgX) * ZoomX + OffX),
                     RoundToInt32((Points[i].Y - OrgY) * ZoomY + OffY)};
    const int32_t half = PenWidth > 1 ? PenWidth / 2 : 0;
    double best = FarAway;
    auto measure = [&](const TPoint& a, const TPoint& b) {
        // A wide pen is measured at every offset of its square, on both axes alike.
        for (int32_t ox = -half; ox <= half; ++ox)
            for (int32_t oy = -half; oy <= half; ++oy)
                best = std::min(
                    best, PointToSegmentDistance(X, Y, a.X + ox, a.Y + oy, b.X + ox, b.Y + oy));
    };
    for (int32_t i = 0; i + 1 < Count; ++i)
        measure(screen[i], screen[i + 1]);
    if (Closed) measure(screen[Count - 1], screen[0]);
    return best;
}

double PointToRectDistance(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right,
                           int32_t Bottom, bool Filled, int32_t PenWidth) {
    if (PenWidth < 0) return NoDistance;
    double best = NoDistance;
    for (int32_t k = -(PenWidth / 2); k <= PenWidth / 2; ++k) {
        const int32_t l = Left + k, t = Top + k, r = Right + k, b = Bottom + k;
        if (Filled && PointInRect(X, Y, l, t, r, b)) return 0;
        best = std::min({best, PointToSegmentDistance(X, Y, l, t, r, t),
                         PointToSegmentDistance(X, Y, r, t, r, b),
                         PointToSegmentDistance(X, Y, r, b, l, b),
                         PointToSegmentDistance(X, Y, l, b, l, t)});
    }
    return best;
}

double PointToEllipseDistance(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right,
                              int32_t Bottom, bool Filled, int32_t PenWidth) {
    if (PenWidth < 0) return NoDistance;
    const int32_t px = X - (Left + (Right - Left) / 2);
    const int32_t py = Y - (Top + (Bottom - Top) / 2);
    double best = NoDistance;
    for (int32_t k = -(PenWidth / 2); k <= PenWidth / 2; ++k) {
        const int32_t rx = k + (Right - Left) / 2;
        const int32_t ry = k + (Bottom - Top) / 2;
        int64_t n = Round(2 * Pi * std::min(rx, ry));
        if (!Filled) n /= 8;
        n = std::clamp<int64_t>(n, 2, 1 << 20);
        TPoint previous{rx, 0};
        for (int64_t w = 1; w < n; ++w) {
            const double angle = 2 * Pi * static_cast<double>(w) / static_cast<double>(n);
            const TPoint p{RoundToInt32(std::cos(angle) * rx), RoundToInt32(std::sin(angle) * ry)};
            if (Filled)
                best = std::min(best, static_cast<double>(
                                          Round(PointToSegmentDistance(px, py, 0, 0, p.X, p.Y))));
            else
                best = std::min(best,
                                PointToSegmentDistance(px, py, previous.X, previous.Y, p.X, p.Y));
            previous = p;
        }
    }
    return best;
}

namespace {
// Even-odd crossing test over Count vertices given by Vertex(i) -> (x, y) as doubles.
template <class VertexF> bool CrossingTest(double X, double Y, int32_t Count, VertexF Vertex) {
    bool inside = false;
    for (int32_t i = 0, j = Count - 1; i < Count; j = i++) {
        const auto [xi, yi] = Vertex(i);
        const auto [xj, yj] = Vertex(j);
        if (((yi <= Y && Y < yj) || (yj <= Y && Y < yi)) &&
            X < (xj - xi) * (Y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}
} // namespace

bool PointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High) {
    if (Points == nullptr || High < 0) return false;
    return CrossingTest(X, Y, High + 1, [&](int32_t i) {
        return std::pair<double, double>(Points[i].X, Points[i].Y);
    });
}

bool PointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, double OrgX,
                          double OrgY, double OffX, double OffY, double ScaleX, double ScaleY) {
    if (Points == nullptr || Count <= 0) return false;
    return CrossingTest(X, Y, Count, [&](int32_t i) {
        return std::pair<double, double>((Points[i].X - OrgX) * ScaleX + OffX,
                                         (Points[i].Y - OrgY) * ScaleY + OffY);
    });
}

void RotatePoints(TPoint* Points, int32_t High, int32_t CenterX, int32_t CenterY, double Angle) {
    const double a = -Angle * Pi / 180;
    const double c = std::cos(a);
    const double s = std::sin(a);
    for (int32_t i = 0; i <= High; ++i) {
        const double x = static_cast<double>(Points[i].X) - CenterX;
        const double y = static_cast<double>(Points[i].Y) - CenterY;
        Points[i] = {CenterX + TruncToInt32(c * x - s * y), CenterY + TruncToInt32(s * x + c * y)};
    }
}

void FitKeepingAspect(int32_t W, int32_t H, int32_t MaxW, int32_t MaxH, int32_t& OutW,
                      int32_t& OutH) {
    if (W == 0 || H == 0) return;
    const double scale = std::min(static_cast<double>(MaxW) / W, static_cast<double>(MaxH) / H);
    OutW = std::max(TruncToInt32(W * scale), 1);
    OutH = std::max(TruncToInt32(H * scale), 1);
}

double ArcCosine(double X) {
    if (X == 1) return 0;
    if (X == -1) return Pi;
    return std::atan2(std::sqrt(1 - X * X), X);
}

double AngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3,
                            int32_t Y3) {
    const int64_t ux = static_cast<int64_t>(X2) - X1, uy = static_cast<int64_t>(Y2) - Y1;
    const int64_t vx = static_cast<int64_t>(X3) - X2, vy = static_cast<int64_t>(Y3) - Y2;
    const double uu = static_cast<double>(ux * ux + uy * uy);
    const double vv = static_cast<double>(vx * vx + vy * vy);
    if (uu == 0 || vv == 0) return 0;
    // One square root of the exact product keeps the cosine of parallel vectors at exactly +-1;
    // whatever rounding is left is clamped rather than taken for an impossible cosine.
    const double cosine = static_cast<double>(ux * vx + uy * vy) / std::sqrt(uu * vv);
    return ArcCosine(std::clamp(cosine, -1.0, 1.0));
}

double SegmentAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int64_t dx = static_cast<int64_t>(X2) - X1;
    const int64_t dy = static_cast<int64_t>(Y1) - Y2; // upwards is positive
    if (dy == 0) return dx < 0 ? Pi : 0;
    if (dx == 0) return dy > 0 ? Pi / 2 : 3 * Pi / 2;
    const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    const double acute = ArcCosine(std::min(std::abs(static_cast<double>(dx)) / length, 1.0));
    if (dx > 0) return dy > 0 ? acute : 2 * Pi - acute;
    return dy > 0 ? Pi - acute : Pi + acute;
}

int32_t PointOrientation(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const int64_t ax = static_cast<int64_t>(X1) - X0, ay = static_cast<int64_t>(Y1) - Y0;
    const int64_t bx = static_cast<int64_t>(X2) - X0, by = static_cast<int64_t>(Y2) - Y0;
    if (ax * by > ay * bx) return 1;
    if (ax * by < ay * bx) return -1;
    if (ax * bx < 0 || ay * by < 0) return -1;
    return ax * ax + ay * ay < bx * bx + by * by ? 1 : 0;
}

double VertexAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    auto side = [](int32_t ax, int32_t ay, int32_t bx, int32_t by) {
        const double d = PointToPointDistance(ax, ay, bx, by);
        return d == 0 ? 1.0 : d;
    };
    const double a = side(X2, Y2, X1, Y1);
    const double b = side(X2, Y2, X3, Y3);
    const double c = side(X1, Y1, X3, Y3);
    const double angle = ArcCosine(std::clamp((a * a + b * b - c * c) / (2 * a * b), -1.0, 1.0));
    return PointOrientation(X1, Y1, X2, Y2, X3, Y3) == -1 ? 2 * Pi - angle : angle;
}

bool GUIDsEqual(const TGUID& A, const TGUID& B) {
    return std::memcmp(&A, &B, sizeof(TGUID)) == 0;
}

void BezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TPoint* Points, int32_t Count) {
    if (Count <= 0) return;
    const double step = 1.0 / Count;
    double t = step;
    for (int32_t i = 0; i < Count; ++i) {
        const double t2 = t * t;
        const double t3 = t * t2;
        const double b0 = 1 - 3 * t + 3 * t2 - t3;
        const double b1 = 3 * t - 6 * t2 + 3 * t3;
        const double b2 = 3 * t2 - 3 * t3;
        const double b3 = t3;
        Points[i] = {RoundToInt32(P0.X * b0 + P1.X * b1 + P2.X * b2 + P3.X * b3),
                     RoundToInt32(P0.Y * b0 + P1.Y * b1 + P2.Y * b2 + P3.Y * b3)};
        t += step;
    }
}

namespace {
double LinearFromSRGB(uint8_t Byte) {
    const double c = Byte / 255.0;
    return c <= 0.03928 ? c / 12.92 : FastPower((c + 0.055) / 1.055, 2.4);
}

double LabF(double V) {
    return V > 0.008856 ? std::cbrt(V) : 7.787 * V + 16.0 / 116.0;
}

double LabFInverse(double V) {
    const double cube = V * V * V;
    return cube > 0.008856 ? cube : (V - 0.13793103448) / 7.787;
}

uint8_t SRGBFromLinear(double C) {
    const double v = C <= 0.0031308 ? 12.92 * C : 1.055 * std::pow(C, 1 / 2.4) - 0.055;
    return ClampToByte(static_cast<int32_t>(std::clamp<int64_t>(Round(v * 255), -1, 256)));
}

uint8_t SignedLabByte(double V) {
    return static_cast<uint8_t>(static_cast<int8_t>(std::clamp<int64_t>(Trunc(V), -128, 127)));
}
} // namespace

void RGBToCIELab(uint8_t Lab[3], uint32_t RGB) {
    const double r = LinearFromSRGB(static_cast<uint8_t>(RGB >> 16));
    const double g = LinearFromSRGB(static_cast<uint8_t>(RGB >> 8));
    const double b = LinearFromSRGB(static_cast<uint8_t>(RGB));
    const double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
    const double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
    const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
    const double fy = LabF(y);
    const double lightness = y > 0.008856 ? 116 * fy - 16 : 903.3 * y;
    // L is stored on the scale the reverse conversion reads: byte = L* x 255 / 100.
    Lab[0] = ClampToByte(
        static_cast<int32_t>(std::clamp<int64_t>(Round(lightness * 255 / 100), -1, 256)));
    Lab[1] = SignedLabByte(500 * (LabF(x) - fy));
    Lab[2] = SignedLabByte(200 * (fy - LabF(z)));
}

void CIELabToRGB(TVLRGB& RGB, uint32_t Lab) {
    const double l = static_cast<uint8_t>(Lab);
    const double a = static_cast<int8_t>(static_cast<uint8_t>(Lab >> 8));
    const double b = static_cast<int8_t>(static_cast<uint8_t>(Lab >> 16));
    const double fy = (l * 0.39215686275 + 16) / 116;
    const double x = LabFInverse(fy + a / 500) * 0.95047;
    const double y = LabFInverse(fy);
    const double z = LabFInverse(fy - b / 200) * 1.08883;
    RGB.r = SRGBFromLinear(3.2406 * x - 1.5372 * y - 0.4986 * z);
    RGB.g = SRGBFromLinear(-0.9689 * x + 1.8758 * y + 0.0415 * z);
    RGB.b = SRGBFromLinear(0.0557 * x - 0.204 * y + 1.057 * z);
}

void YCbCrToRGB(TVLRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr) {
    auto channel = [](double v) {
        return ClampToByte(static_cast<int32_t>(std::clamp<int64_t>(Trunc(v), -1, 256)));
    };
    RGB.r = channel(Y + 1.402 * (Cr - 128));
    RGB.g = channel(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128));
    RGB.b = channel(Y + 1.772 * (Cb - 128));
}

void GaussianCurve(int32_t N, double Low, double High, double* Values, double Sigma) {
    if (N <= 0 || Values == nullptr) return;
    // The bell's constant factor 1 / (Sigma sqrt(2 pi)) cancels in the scaling, so it is left out;
    // that keeps Sigma 0 (a flat curve at High) and negative Sigma defined.
    double largest = 0;
    for (int32_t i = 0; i < N; ++i) {
        const double t = 2.0 * i / N - 1;
        Values[i] = std::exp(-Sigma * Sigma * t * t / 2);
        largest = std::max(largest, Values[i]);
    }
    for (int32_t i = 0; i < N; ++i)
        Values[i] = largest > 0 ? Values[i] / largest * (High - Low) + Low : Low;
}

double IntPower(double Base, int32_t Exponent) {
    int64_t n = std::abs(static_cast<int64_t>(Exponent));
    double result = 1;
    double square = Base;
    while (n > 0) {
        if (n & 1) result *= square;
        square *= square;
        n >>= 1;
    }
    return Exponent < 0 ? 1 / result : result;
}

double Power(double Base, double Exponent) {
    if (Exponent == 0) return 1;
    if (Base == 0 && Exponent > 0) return 0;
    if (std::trunc(Exponent) == Exponent && std::abs(Exponent) <= 2147483647)
        return IntPower(Base, static_cast<int32_t>(Exponent));
    return std::exp(Exponent * std::log(Base));
}

double FastPower(double Base, double Exponent) {
    if (std::abs(Exponent) < 2147483647 && std::trunc(Exponent) == Exponent) {
        const auto n = static_cast<int32_t>(Exponent);
        if (Base == 0) return n == 0 ? 1 : 0;
        switch (n) {
        case 0:
            return 1;
        case 1:
            return Base;
        case 2:
            return Base * Base;
        case -1:
            return 1 / Base;
        case -2:
            return 1 / (Base * Base);
        default:
            return IntPower(Base, n);
        }
    }
    if (Base == 0) return 0;
    return std::exp2(Exponent * std::log2(Base));
}

int64_t AlignedRowLength(int64_t Width, int64_t Bits, int32_t Alignment) {
    if (Width <= 0 || Bits <= 0 || Alignment <= 0) return 0;
    const int64_t bits = Width * Bits;
    if (Alignment == 32) return ((bits + 31) >> 5) * 4;
    return ((bits + Alignment - 1) / Alignment) * (Alignment / 8);
}

int32_t VclPixelFormatBitCount(TPixelFormat PixelFormat) {
    switch (static_cast<TPixelFormat>(PixelFormat & 0x7F)) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
        return 15;
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pf32bit:
        return 32;
    default:
        return 0;
    }
}

int64_t VclRowLength(int32_t Width, TPixelFormat PixelFormat) {
    return AlignedRowLength(Width, VclPixelFormatBitCount(PixelFormat), 32);
}

int32_t BitFieldWidth(uint32_t Mask) {
    if (Mask == 0) return 0;
    int start = 31;
    for (int bit = 0; bit <= 30; ++bit)
        if (Mask & (uint32_t{1} << bit)) {
            start = bit;
            break;
        }
    int32_t width = 0;
    for (int bit = start; bit <= 31 && (Mask & (uint32_t{1} << bit)); ++bit)
        ++width;
    return width;
}

int32_t CeilLog2(uint32_t N) {
    if (N == 0) return -1;
    const int highest = 31 - __builtin_clz(N);
    return (N & (N - 1)) == 0 ? highest : highest + 1;
}

int64_t ColorCountForBits(int32_t BitsPerSample, int32_t SamplesPerPixel) {
    if (BitsPerSample < 0 || SamplesPerPixel < 0) return 0;
    const int64_t bits = static_cast<int64_t>(BitsPerSample) * SamplesPerPixel;
    if (bits >= 63) return INT64_MAX;
    return int64_t{1} << bits;
}

namespace {
constexpr std::array<uint8_t, 256> ReversedBytes = [] {
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint8_t r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= static_cast<uint8_t>(0x80 >> b);
        table[i] = r;
    }
    return table;
}();
} // namespace

void ReverseBitOrder8(uint8_t& B) {
    B = ReversedBytes[B];
}

void ReverseBitOrder32(uint32_t& V) {
    uint32_t v = SwapDWord(V);
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    V = v;
}

int32_t SwapWord(int32_t V) {
    const auto u = static_cast<uint32_t>(V);
    return static_cast<int32_t>((u & 0xFFFF0000u) | ((u & 0xFF) << 8) | ((u >> 8) & 0xFF));
}

uint32_t SwapDWord(uint32_t V) {
    return __builtin_bswap32(V);
}

int32_t SwapWordIf(int32_t V, bool Swap) {
    return Swap ? SwapWord(V) : V;
}

uint32_t SwapDWordIf(uint32_t V, bool Swap) {
    return Swap ? SwapDWord(V) : V;
}

bool HasMMX() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

int32_t EncodeASCII85(const uint8_t* Src, int32_t Len, uint8_t* Dst, int32_t& Count) {
    int32_t out = 0;
    for (int32_t pos = 0; pos < Len; pos += 4) {
        const int32_t n = std::min(4, Len - pos);
        uint32_t value = 0;
        for (int32_t i = 0; i < 4; ++i)
            value = value << 8 | (i < n ? Src[pos + i] : 0);
        if (n == 4 && value == 0) {
            Dst[out++] = 'z';
            Count += 1;
        } else {
            uint8_t digits[5];
            for (int i = 4; i >= 0; --i) {
                digits[i] = static_cast<uint8_t>(value % 85 + 33);
                value /= 85;
            }
            std::memcpy(Dst + out, digits, n + 1);
            out += n + 1;
            Count += n + 1;
        }
        if (Count > 74) {
            Dst[out++] = '\r';
            Dst[out++] = '\n';
            Count = 0;
        }
    }
    for (uint8_t c : {'~', '>', '\r', '\n'})
        Dst[out++] = c;
    Count = 0;
    return out;
}

int32_t EncodeRunLength(const uint8_t* Src, int32_t Len, uint8_t* Dst) {
    int32_t out = 0;
    int32_t j = 0;
    while (j < Len) {
        int32_t run = 1;
        while (j + run < Len && run < 128 && Src[j + run] == Src[j])
            ++run;
        if (run >= 2) {
            Dst[out++] = static_cast<uint8_t>(257 - run);
            Dst[out++] = Src[j];
            j += run;
            continue;
        }
        // A literal stops only before three equal bytes: a run of two costs as much as the same
        // bytes inside the literal, and splitting there would make the output grow past
        // Len + Len / 128 + 2.
        int32_t end = j + 1;
        while (end < Len && end - j < 128 &&
               !(end + 2 < Len && Src[end] == Src[end + 1] && Src[end] == Src[end + 2]))
            ++end;
        Dst[out++] = static_cast<uint8_t>(end - j - 1);
        std::memcpy(Dst + out, Src + j, end - j);
        out += end - j;
        j = end;
    }
    Dst[out++] = 128;
    return out;
}

void WriteStreamLineCRLF(TStream& Stream, const AnsiString& S) {
    const AnsiString line = S + "\r\n";
    Stream.WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
}

void EncodeBase64Group(const uint8_t Src[3], char Dst[4], int32_t Len) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const uint32_t b0 = Src[0];
    const uint32_t b1 = Len > 1 ? Src[1] : 0;
    const uint32_t b2 = Len > 2 ? Src[2] : 0;
    const uint32_t group = b0 << 16 | b1 << 8 | b2;
    Dst[0] = alphabet[group >> 18];
    Dst[1] = alphabet[(group >> 12) & 63];
    Dst[2] = Len > 1 ? alphabet[(group >> 6) & 63] : '=';
    Dst[3] = Len > 2 ? alphabet[group & 63] : '=';
}

void WriteStreamBase64(TStream& Stream, TStream& TextFile, int32_t LineLength) {
    const int64_t groupsPerLine = LineLength > 0 ? (static_cast<int64_t>(LineLength) + 3) / 4 : -1;
    AnsiString line;
    int64_t groups = 0;
    std::vector<uint8_t> chunk(3 * 4096);
    auto flush = [&] {
        line += '\n';
        TextFile.WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
        line.clear();
        groups = 0;
    };
    for (;;) {
        // Fill the chunk completely unless the stream ends, so groups of 3 never straddle reads.
        size_t filled = 0;
        while (filled < chunk.size()) {
            const int32_t got =
                Stream.Read(chunk.data() + filled, static_cast<int32_t>(chunk.size() - filled));
            if (got <= 0) break;
            filled += got;
        }
        for (size_t i = 0; i < filled; i += 3) {
            char text[4];
            EncodeBase64Group(chunk.data() + i, text,
                              static_cast<int32_t>(std::min<size_t>(3, filled - i)));
            line.append(text, 4);
            if (++groups == groupsPerLine) flush();
        }
        if (filled < chunk.size()) break;
    }
    if (!line.empty()) flush();
}

namespace {

// The turn that sets a picture stored with an EXIF orientation upright.
bool OrientationOf(int32_t Code, TVLPixelTurn& Result) {
    switch (Code) {
    case 2:
        Result = {false, true, false};
        return true;
    case 3:
        Result = VLTurnHalf;
        return true;
    case 4:
        Result = {false, false, true};
        return true;
    case 5:
        Result = {true, false, false};
        return true;
    case 6:
        Result = VLTurnRight;
        return true;
    case 7:
        Result = {true, true, true};
        return true;
    case 8:
        Result = VLTurnLeft;
        return true;
    default:
        return false;
    }
}

} // namespace

void ApplyExifOrientation(TVLBitmap& Bitmap, int32_t Orientation) {
    TVLPixelTurn turn;
    if (OrientationOf(Orientation, turn)) TurnBitmap(Bitmap, turn);
}

namespace {
void QuickSort(int32_t L, int32_t R, const std::function<void(int32_t, int32_t)>& Exchange,
               const std::function<int32_t(int32_t, int32_t)>& Compare) {
    while (L < R) {
        int32_t i = L, j = R, p = L + (R - L) / 2;
        do {
            // The bounds only matter for a comparison that is not a consistent order.
            while (i < R && Compare(i, p) < 0)
                ++i;
            while (j > L && Compare(j, p) > 0)
                --j;
            if (i <= j) {
                if (i != j) Exchange(i, j);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        // Recurse into the smaller part and loop on the larger, so the depth stays logarithmic.
        if (j - L < R - i) {
            if (L < j) QuickSort(L, j, Exchange, Compare);
            L = i;
        } else {
            if (i < R) QuickSort(i, R, Exchange, Compare);
            R = j;
        }
    }
}
} // namespace

void SortItems(int32_t Count, const std::function<void(int32_t, int32_t)>& Exchange,
               const std::function<int32_t(int32_t, int32_t)>& Compare) {
    if (Count > 1) QuickSort(0, Count - 1, Exchange, Compare);
}
