// Colour, fixed-point, point and rectangle functions of unit Raster, and its start-up.
#include "raster/RasterTypes.h"

#include "raster/RasterBlend.h"
#include "raster/RasterMath.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace raster {

std::array<uint8_t, 256> GAMMA_TABLE{};
TBitmap* TextMeasuringBitmap = nullptr;
HFONT StockSystemFont = nullptr;

TColor32 Color32(TColor WinColor) {
    if (WinColor < 0) WinColor = static_cast<TColor>(GetSysColor(WinColor & 0xFF));
    const auto c = static_cast<uint32_t>(WinColor);
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TColor32 Color32(uint8_t R, uint8_t G, uint8_t B, uint8_t A) {
    return (static_cast<uint32_t>(A) << 24) | (static_cast<uint32_t>(R) << 16) |
           (static_cast<uint32_t>(G) << 8) | B;
}

TColor32 Color32(uint8_t Index, const TPalette32& Palette) {
    return Palette[Index];
}

TColor32 Gray32(uint8_t Intensity, uint8_t Alpha) {
    return (static_cast<uint32_t>(Alpha) << 24) | (Intensity * 0x010101u);
}

TColor WinColor(TColor32 Color32) {
    return static_cast<TColor>(((Color32 >> 16) & 0xFF) | (Color32 & 0xFF00) |
                               ((Color32 & 0xFF) << 16));
}

TArrayOfColor32 ArrayOfColor32(std::initializer_list<TColor32> Colors) {
    return TArrayOfColor32(Colors);
}

void Color32ToRGB(TColor32 Color32, uint8_t& R, uint8_t& G, uint8_t& B) {
    R = static_cast<uint8_t>(Color32 >> 16);
    G = static_cast<uint8_t>(Color32 >> 8);
    B = static_cast<uint8_t>(Color32);
}

void Color32ToRGBA(TColor32 Color32, uint8_t& R, uint8_t& G, uint8_t& B, uint8_t& A) {
    Color32ToRGB(Color32, R, G, B);
    A = static_cast<uint8_t>(Color32 >> 24);
}

int32_t RedComponent(TColor32 Color32) {
    return (Color32 >> 16) & 0xFF;
}
int32_t GreenComponent(TColor32 Color32) {
    return (Color32 >> 8) & 0xFF;
}
int32_t BlueComponent(TColor32 Color32) {
    return Color32 & 0xFF;
}
int32_t AlphaComponent(TColor32 Color32) {
    return Color32 >> 24;
}

int32_t Intensity(TColor32 Color32) {
    return (61 * RedComponent(Color32) + 174 * GreenComponent(Color32) +
            21 * BlueComponent(Color32)) >>
           8;
}

TColor32 SetAlpha(TColor32 Color32, int32_t NewAlpha) {
    NewAlpha = std::clamp(NewAlpha, 0, 255);
    return (Color32 & 0x00FFFFFF) | (static_cast<uint32_t>(NewAlpha) << 24);
}

namespace {

uint8_t HueToByte(double M1, double M2, double H) {
    H -= std::floor(H);
    double v;
    if (6 * H < 1)
        v = M1 + (M2 - M1) * H * 6;
    else if (2 * H < 1)
        v = M2;
    else if (3 * H < 2)
        v = M1 + (M2 - M1) * (2.0 / 3.0 - H) * 6;
    else
        v = M1;
    return static_cast<uint8_t>(Round(255 * v));
}

} // namespace

TColor32 HSLtoRGB(float H, float S, float L) {
    if (S == 0) {
        const auto v = static_cast<uint8_t>(Round(255.0 * L));
        return Color32(v, v, v, 255);
    }
    const double h = H, s = S, l = L;
    const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    const double m1 = 2 * l - m2;
    return Color32(HueToByte(m1, m2, h + 1.0 / 3.0), HueToByte(m1, m2, h),
                   HueToByte(m1, m2, h - 1.0 / 3.0), 255);
}

void RGBtoHSL(TColor32 RGB, float& H, float& S, float& L) {
    const double r = RedComponent(RGB) / 255.0, g = GreenComponent(RGB) / 255.0,
                 b = BlueComponent(RGB) / 255.0;
    const double max = std::max({r, g, b}), min = std::min({r, g, b});
    const double l = (max + min) / 2;
    L = static_cast<float>(l);
    if (max == min) {
        H = 0;
        S = 0;
        return;
    }
    const double d = max - min;
    S = static_cast<float>(l < 0.5 ? d / (max + min) : d / (2 - max - min));
    double h;
    if (r == max)
        h = (g - b) / d;
    else if (g == max)
        h = 2 + (b - r) / d;
    else
        h = 4 + (r - g) / d;
    h /= 6;
    if (h < 0) h += 1;
    H = static_cast<float>(h);
}

TColor32 HSLtoRGB(int32_t H, int32_t S, int32_t L) {
    const int32_t v = L < 128 ? (L * (256 + S)) >> 8 : L + S - L * S / 255;
    if (v <= 0) return 0;
    const int32_t m = 2 * L - v;
    const int32_t h6 = H * 6;
    const int32_t f = ((v - m) * (h6 & 255)) >> 8;
    const int32_t m1 = m + f, m2 = v - f;
    int32_t r, g, b;
    switch (h6 >> 8) {
    case 0:
        r = v, g = m1, b = m;
        break;
    case 1:
        r = m2, g = v, b = m;
        break;
    case 2:
        r = m, g = v, b = m1;
        break;
    case 3:
        r = m, g = m2, b = v;
        break;
    case 4:
        r = m1, g = m, b = v;
        break;
    default:
        r = v, g = m, b = m2;
        break;
    }
    return (static_cast<uint32_t>(r & 0xFF) << 16) | (static_cast<uint32_t>(g & 0xFF) << 8) |
           static_cast<uint32_t>(b & 0xFF);
}

void RGBtoHSL(TColor32 RGB, uint8_t& H, uint8_t& S, uint8_t& L) {
    const int32_t r = RedComponent(RGB), g = GreenComponent(RGB), b = BlueComponent(RGB);
    const int32_t max = std::max({r, g, b}), min = std::min({r, g, b});
    L = static_cast<uint8_t>((max + min) / 2);
    if (max == min) {
        H = 0;
        S = 0;
        return;
    }
    int32_t d = (max - min) * 255;
    S = static_cast<uint8_t>(L <= 127 ? d / (max + min) : d / (510 - max - min));
    d *= 6;
    int32_t h;
    if (r == max)
        h = (g - b) * 65025 / d;
    else if (g == max)
        h = (b - r) * 65025 / d + 85;
    else
        h = (r - g) * 65025 / d + 170;
    if (h < 0) h += 510;
    H = static_cast<uint8_t>(h & 0xFF);
}

HPALETTE WinPalette(const TPalette32& P) {
    LOGPALETTE palette;
    palette.palVersion = 0x300;
    palette.palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        palette.palPalEntry[i] = {static_cast<uint8_t>(P[i] >> 16), static_cast<uint8_t>(P[i] >> 8),
                                  static_cast<uint8_t>(P[i]), 0};
    return CreatePalette(&palette);
}

TFixed Fixed(float S) {
    return static_cast<TFixed>(Round(static_cast<double>(S) * 65536));
}

TFixed Fixed(int32_t I) {
    return static_cast<TFixed>(static_cast<uint32_t>(I) << 16);
}

TPoint Point(const TFloatPoint& FP) {
    return {static_cast<int32_t>(Round(FP.X)), static_cast<int32_t>(Round(FP.Y))};
}

TPoint Point(const TFixedPoint& FXP) {
    return {FixedRound(FXP.X), FixedRound(FXP.Y)};
}

TFloatPoint FloatPoint(float X, float Y) {
    return {X, Y};
}

TFloatPoint FloatPoint(const TPoint& P) {
    return {static_cast<float>(P.X), static_cast<float>(P.Y)};
}

namespace {

constexpr float FixedToFloat = 1.0f / 65536;

} // namespace

TFloatPoint FloatPoint(const TFixedPoint& FXP) {
    return {FXP.X * FixedToFloat, FXP.Y * FixedToFloat};
}

TFixedPoint FixedPoint(int32_t X, int32_t Y) {
    return {Fixed(X), Fixed(Y)};
}

TFixedPoint FixedPoint(float X, float Y) {
    return {Fixed(X), Fixed(Y)};
}

TFixedPoint FixedPoint(const TPoint& P) {
    return {Fixed(P.X), Fixed(P.Y)};
}

TFixedPoint FixedPoint(const TFloatPoint& FP) {
    return {Fixed(FP.X), Fixed(FP.Y)};
}

TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B) {
    return {L, T, R, B};
}

namespace {

// Inside rounding never lets a side end before it starts.
TRect KeepOrdered(TRect R) {
    if (R.Right < R.Left) R.Right = R.Left;
    if (R.Bottom < R.Top) R.Bottom = R.Top;
    return R;
}

int32_t RoundInt(double Value) {
    return static_cast<int32_t>(Round(Value));
}
int32_t FloorInt(double Value) {
    return static_cast<int32_t>(std::floor(Value));
}
int32_t CeilInt(double Value) {
    return static_cast<int32_t>(std::ceil(Value));
}

} // namespace

TRect MakeRect(const TFloatRect& FR, TRectRounding Rounding) {
    switch (Rounding) {
    case rrOutside:
        return {FloorInt(FR.Left), FloorInt(FR.Top), CeilInt(FR.Right), CeilInt(FR.Bottom)};
    case rrInside:
        return KeepOrdered(
            {CeilInt(FR.Left), CeilInt(FR.Top), FloorInt(FR.Right), FloorInt(FR.Bottom)});
    default:
        return {RoundInt(FR.Left), RoundInt(FR.Top), RoundInt(FR.Right), RoundInt(FR.Bottom)};
    }
}

TRect MakeRect(const TFixedRect& FXR, TRectRounding Rounding) {
    switch (Rounding) {
    case rrOutside:
        return {FixedFloor(FXR.Left), FixedFloor(FXR.Top), FixedCeil(FXR.Right),
                FixedCeil(FXR.Bottom)};
    case rrInside:
        return KeepOrdered({FixedCeil(FXR.Left), FixedCeil(FXR.Top), FixedFloor(FXR.Right),
                            FixedFloor(FXR.Bottom)});
    default:
        return {FixedRound(FXR.Left), FixedRound(FXR.Top), FixedRound(FXR.Right),
                FixedRound(FXR.Bottom)};
    }
}

TFixedRect FixedRect(TFixed L, TFixed T, TFixed R, TFixed B) {
    return {L, T, R, B};
}

TFixedRect FixedRect(const TRect& ARect) {
    return {Fixed(ARect.Left), Fixed(ARect.Top), Fixed(ARect.Right), Fixed(ARect.Bottom)};
}

TFixedRect FixedRect(const TFloatRect& FR) {
    return {Fixed(FR.Left), Fixed(FR.Top), Fixed(FR.Right), Fixed(FR.Bottom)};
}

TFloatRect FloatRect(float L, float T, float R, float B) {
    return {L, T, R, B};
}

TFloatRect FloatRect(const TRect& ARect) {
    return {static_cast<float>(ARect.Left), static_cast<float>(ARect.Top),
            static_cast<float>(ARect.Right), static_cast<float>(ARect.Bottom)};
}

TFloatRect FloatRect(const TFixedRect& FXR) {
    return {FXR.Left * FixedToFloat, FXR.Top * FixedToFloat, FXR.Right * FixedToFloat,
            FXR.Bottom * FixedToFloat};
}

bool IntersectRect(TRect& Dst, const TRect& R1, const TRect& R2) {
    const TRect r{std::max(R1.Left, R2.Left), std::max(R1.Top, R2.Top),
                  std::min(R1.Right, R2.Right), std::min(R1.Bottom, R2.Bottom)};
    const bool meet = r.Right >= r.Left && r.Bottom >= r.Top;
    Dst = meet ? r : TRect{};
    return meet;
}

bool IntersectRect(TFloatRect& Dst, const TFloatRect& FR1, const TFloatRect& FR2) {
    const TFloatRect r{std::max(FR1.Left, FR2.Left), std::max(FR1.Top, FR2.Top),
                       std::min(FR1.Right, FR2.Right), std::min(FR1.Bottom, FR2.Bottom)};
    const bool meet = r.Right >= r.Left && r.Bottom >= r.Top;
    Dst = meet ? r : TFloatRect{};
    return meet;
}

namespace {

template <class RectT> bool Union(RectT& Rect, const RectT& R1, const RectT& R2) {
    RectT r = R1;
    if (!IsRectEmpty(R2)) {
        r.Left = std::min(r.Left, R2.Left);
        r.Top = std::min(r.Top, R2.Top);
        r.Right = std::max(r.Right, R2.Right);
        r.Bottom = std::max(r.Bottom, R2.Bottom);
    }
    const bool filled = !IsRectEmpty(r);
    Rect = filled ? r : RectT{};
    return filled;
}

} // namespace

bool UnionRect(TRect& Rect, const TRect& R1, const TRect& R2) {
    return Union(Rect, R1, R2);
}

bool UnionRect(TFloatRect& Rect, const TFloatRect& R1, const TFloatRect& R2) {
    return Union(Rect, R1, R2);
}

bool EqualRect(const TRect& R1, const TRect& R2) {
    return R1 == R2;
}

bool EqualRectSize(const TRect& R1, const TRect& R2) {
    return R1.Right - R1.Left == R2.Right - R2.Left && R1.Bottom - R1.Top == R2.Bottom - R2.Top;
}

bool EqualRectSize(const TFloatRect& R1, const TFloatRect& R2) {
    const auto steps = [](float Low, float High) { return Fixed(High) - int64_t{Fixed(Low)}; };
    return steps(R1.Left, R1.Right) == steps(R2.Left, R2.Right) &&
           steps(R1.Top, R1.Bottom) == steps(R2.Top, R2.Bottom);
}

void InflateRect(TRect& R, int32_t Dx, int32_t Dy) {
    R.Left -= Dx;
    R.Top -= Dy;
    R.Right += Dx;
    R.Bottom += Dy;
}

void InflateRect(TFloatRect& FR, float Dx, float Dy) {
    FR.Left -= Dx;
    FR.Top -= Dy;
    FR.Right += Dx;
    FR.Bottom += Dy;
}

void OffsetRect(TRect& R, int32_t Dx, int32_t Dy) {
    R.Left += Dx;
    R.Top += Dy;
    R.Right += Dx;
    R.Bottom += Dy;
}

void OffsetRect(TFloatRect& FR, float Dx, float Dy) {
    FR.Left += Dx;
    FR.Top += Dy;
    FR.Right += Dx;
    FR.Bottom += Dy;
}

bool IsRectEmpty(const TRect& R) {
    return !(R.Right > R.Left && R.Bottom > R.Top);
}

bool IsRectEmpty(const TFloatRect& FR) {
    return !(FR.Right > FR.Left && FR.Bottom > FR.Top);
}

bool PtInRect(const TRect& R, const TPoint& P) {
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

void SetGamma(float Gamma) {
    for (int i = 0; i < 256; ++i)
        GAMMA_TABLE[i] = static_cast<uint8_t>(Round(
            static_cast<double>(255 * std::pow(i / 255.0L, static_cast<long double>(Gamma)))));
}

namespace {

std::unique_ptr<TBitmap> MeasuringBitmap;

} // namespace

void InitializeRasterUnit() {
    BindInterpolator();
    SetGamma(0.7f);
    StockSystemFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    MeasuringBitmap = std::make_unique<TBitmap>();
    MeasuringBitmap->SetSize(8, 8);
    TextMeasuringBitmap = MeasuringBitmap.get();
}

void FinalizeRasterUnit() {
    TextMeasuringBitmap = nullptr;
    MeasuringBitmap.reset();
}

} // namespace raster
