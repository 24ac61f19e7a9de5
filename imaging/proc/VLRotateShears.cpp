// Rotation by three shears after exact quarter turns, and the rotations of black-and-white
// images and one-byte channels.
#include "imaging/proc/VLRotateShears.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLRotate.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TAccessScope;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;

namespace {

// Blend weights are in 1/4096: C is the previous pixel's share, 4096 - C the current one's.
constexpr int32_t WeightShift = 12;
constexpr int32_t WeightOne = 1 << WeightShift;

// Previous P and current Q mixed by C, rounded to the nearest level and clamped (C may be
// negative: the row is then extrapolated). C = 0 gives Q exactly.
inline uint8_t Blend(int32_t P, int32_t Q, int32_t C) {
    return ClampToByte((P * C + Q * (WeightOne - C) + WeightOne / 2) >> WeightShift);
}

template <int N> struct TPixel { uint8_t V[N]; };

template <int N> TPixel<N> BlendPixel(const TPixel<N>& P, const TPixel<N>& Q, int32_t C) {
    TPixel<N> r;
    for (int k = 0; k < N; ++k)
        r.V[k] = Blend(P.V[k], Q.V[k], C);
    return r;
}

// The sizes of the three shears of a W x H picture by A radians (|A| <= 45 degrees).
struct TShearPlan {
    double T = 0; // |tan(A / 2)|
    double S = 0; // |sin A|
    bool Positive = false;
    int32_t W = 0, H = 0, W1 = 0, Off1 = 0, H2 = 0, Off2 = 0, W3 = 0;
    bool AntiAlias = false;
};

int32_t RoundInt(double Value) {
    return static_cast<int32_t>(Round(Value));
}

TShearPlan PlanShears(int32_t W, int32_t H, double A, bool AntiAlias) {
    TShearPlan p;
    p.T = std::fabs(std::sin(A / 2) / std::cos(A / 2));
    p.S = std::fabs(std::sin(A));
    p.Positive = A > 0;
    p.W = W;
    p.H = H;
    p.AntiAlias = AntiAlias;
    p.W1 = RoundInt(H * p.T + W + 1);
    p.Off1 = RoundInt((p.W1 - W) * p.S);
    p.H2 = RoundInt(p.W1 * p.S + H + 1);
    p.Off2 = RoundInt((p.H2 - H - p.Off1) * p.T);
    p.H2 -= 2 * p.Off1;
    p.W3 = RoundInt(p.H2 * p.T + p.W1 + 1 - 2 * p.Off2);
    return p;
}

// An offset and its blend weight: Offset = Round(Shift), C from the fraction left (truncated
// in the first shear, rounded in the other two).
struct TShift {
    int32_t Offset;
    int32_t C;
};

TShift ShiftOf(double Shift, bool AntiAlias, bool TruncateWeight) {
    const auto n = RoundInt(Shift);
    const double f = (Shift - n) * WeightOne;
    if (!AntiAlias) return {n, 0};
    return {n, static_cast<int32_t>(TruncateWeight ? Trunc(f) : Round(f))};
}

// Moves the Count pixels of Src to Dst[Start ..] (clipped to DstCount), each blended with the
// previous pixel written, and the last one written with the background after them. A pixel
// that falls outside does not become the previous one.
template <int N>
void ShearRow(const TPixel<N>* Src, int32_t Count, TPixel<N>* Dst, int32_t DstCount, int32_t Start,
              int32_t C, const TPixel<N>& Bg) {
    const int32_t first = std::max(0, -Start);
    const int32_t last = std::min(Count, DstCount - Start); // exclusive
    if (C == 0) {
        if (last > first)
            std::memcpy(Dst + Start + first, Src + first, sizeof(TPixel<N>) * (last - first));
        return;
    }
    TPixel<N> p = Bg;
    for (int32_t x = first; x < last; ++x) {
        Dst[Start + x] = BlendPixel(p, Src[x], C);
        p = Src[x];
    }
    const int32_t tail = Start + Count;
    if (C > 0 && tail >= 0 && tail < DstCount) Dst[tail] = BlendPixel(p, Bg, C);
}

template <int N> class TShearBuffer {
public:
    TShearBuffer(int32_t Width, int32_t Height, const TPixel<N>& Bg)
        : FWidth(Width), FPixels(static_cast<size_t>(Width) * Height, Bg) {}
    TPixel<N>* Row(int32_t Y) { return FPixels.data() + static_cast<size_t>(FWidth) * Y; }

private:
    int32_t FWidth;
    std::vector<TPixel<N>> FPixels;
};

// First shear: rows of Source moved right by (y or H - y) * t.
template <int N>
void ShearRows1(TVLBitmap& Source, const TShearPlan& P, TShearBuffer<N>& Out, const TPixel<N>& Bg,
                TProgressReporter& Progress, double Factor) {
    TRowPassScope pass(Source, VLAccessRead);
    for (int32_t y = 0; y < P.H; ++y) {
        const TShift s = ShiftOf((P.Positive ? y : P.H - y) * P.T, P.AntiAlias, true);
        const auto* src = reinterpret_cast<const TPixel<N>*>(CheckedScanline(Source, y));
        ShearRow<N>(src, P.W, Out.Row(y), P.W1, s.Offset, s.C, Bg);
        Progress.Report(static_cast<int32_t>(Trunc(y * Factor)));
    }
}

// Second shear: columns moved down by (W1 - x or x) * s - Off1. Walked by destination rows so
// that both buffers are read and written row by row; per column the result is that of moving
// the column as a whole.
template <int N>
void ShearColumns(TShearBuffer<N>& In, const TShearPlan& P, TShearBuffer<N>& Out,
                  const TPixel<N>& Bg, TProgressReporter& Progress, double Factor) {
    std::vector<TShift> shifts(P.W1);
    for (int32_t x = 0; x < P.W1; ++x) {
        shifts[x] = ShiftOf((P.Positive ? P.W1 - x : x) * P.S, P.AntiAlias, false);
        shifts[x].Offset -= P.Off1;
    }
    for (int32_t r = 0; r < P.H2; ++r) {
        TPixel<N>* dst = Out.Row(r);
        for (int32_t x = 0; x < P.W1; ++x) {
            const int32_t y = r - shifts[x].Offset;
            const int32_t c = shifts[x].C;
            if (y < 0 || y > P.H || (y == P.H && c <= 0)) continue;
            // The previous pixel of the column is the source row above when that one was
            // written (r > 0), else the background.
            const TPixel<N>& prev = (y >= 1 && r >= 1) ? In.Row(y - 1)[x] : Bg;
            dst[x] = y == P.H ? BlendPixel(prev, Bg, c) : BlendPixel(prev, In.Row(y)[x], c);
        }
        Progress.Report(
            static_cast<int32_t>(Trunc((P.H + static_cast<double>(r) * P.W1 / P.H2) * Factor)));
    }
}

// Third shear: rows of the second buffer moved right by (y or H2 - y) * t - Off2, into Dest.
template <int N>
void ShearRows3(TShearBuffer<N>& In, const TShearPlan& P, TVLBitmap& Dest, const TPixel<N>& Bg,
                TProgressReporter& Progress, double Factor) {
    TRowPassScope pass(Dest, VLAccessWrite);
    std::vector<TPixel<N>> row(P.W3);
    for (int32_t y = 0; y < P.H2; ++y) {
        TShift s = ShiftOf((P.Positive ? y : P.H2 - y) * P.T, P.AntiAlias, false);
        std::fill(row.begin(), row.end(), Bg);
        ShearRow<N>(In.Row(y), P.W1, row.data(), P.W3, s.Offset - P.Off2, s.C, Bg);
        imaging_core::detail::StoreRow(Dest, y, reinterpret_cast<const uint8_t*>(row.data()),
                                       sizeof(TPixel<N>) * P.W3);
        Progress.Report(static_cast<int32_t>(Trunc((P.H + P.W1 + y) * Factor)));
    }
}

// The whole quarter turns that bring C (degrees) into -45 .. 45, as a multiple of 90.
double QuarterTurnsFor(double& C) {
    double turned = 0;
    while (C > 45) {
        C -= 90;
        turned += 90;
    }
    while (C < -45) {
        C += 90;
        turned -= 90;
    }
    return turned;
}

TVLPixelTurn TurnFor(double Degrees) {
    const auto r = static_cast<int32_t>(std::fmod(Degrees, 360.0));
    if (r == 90 || r == -270) return VLTurnLeft;
    if (r == 270 || r == -90) return VLTurnRight;
    return VLTurnHalf;
}

template <int N>
void RotateByShearsN(TVLBitmap& Bitmap, bool AntiAlias, double Angle, const TPixel<N>& Bg,
                     const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Angle == 0 || Bitmap.IsEmpty()) return;
    // Thousandths of a degree; the remainder keeps the angle's sign.
    double c = static_cast<double>(static_cast<int64_t>(Trunc(Angle * 1000)) % 360000) / 1000;
    const double turned = QuarterTurnsFor(c);
    if (c == 0) {
        if (turned != 0) TurnBitmap(Bitmap, TurnFor(turned));
        return;
    }
    std::unique_ptr<TVLBitmap> turnedPixels;
    if (turned != 0) {
        turnedPixels = TurnedPixels(Bitmap, TurnFor(turned));
        if (!turnedPixels) throw EOutOfMemory(u"Out of memory");
    }
    TVLBitmap& source = turnedPixels ? *turnedPixels : Bitmap;
    const TShearPlan plan =
        PlanShears(source.GetWidth(), source.GetHeight(), c * std::numbers::pi / 180, AntiAlias);
    if (plan.W3 <= 0 || plan.H2 <= 0) return;
    const double factor = 100.0 / (plan.H + plan.W1 + plan.H2);
    TProgressReporter progress(OnProgress, Sender);
    TShearBuffer<N> first(plan.W1, plan.H, Bg);
    ShearRows1<N>(source, plan, first, Bg, progress, factor);
    turnedPixels.reset();
    TShearBuffer<N> second(plan.W1, plan.H2, Bg);
    ShearColumns<N>(first, plan, second, Bg, progress, factor);
    // The palette of a one-byte image survives the new allocation.
    std::vector<TVLRGB> palette;
    if (Bitmap.GetPixelFormat() == vl8p)
        palette.assign(Bitmap.GetPalette(), Bitmap.GetPalette() + Bitmap.GetPaletteLength());
    imaging_core::detail::AllocateOrThrow(Bitmap, plan.W3, plan.H2, Bitmap.GetPixelFormat());
    for (size_t i = 0; i < palette.size(); ++i)
        Bitmap.SetPaletteColor(static_cast<int32_t>(i), palette[i]);
    ShearRows3<N>(second, plan, Bitmap, Bg, progress, factor);
}

// The rotated box of the 1-bit and 8-bit rotations, with their sine and cosine truncated to four
// decimals.
struct TTruncatedRotation {
    double C4 = 0, S4 = 0;
    int32_t W = 0, H = 0, DW = 0, DH = 0;
    std::vector<int32_t> AX, AY;
};

TTruncatedRotation PlanTruncated(int32_t W, int32_t H, double Angle) {
    TTruncatedRotation r;
    const double e = -Angle / 57.29577951308232;
    r.C4 = static_cast<double>(Trunc(std::cos(e) * 10000)) / 10000;
    r.S4 = static_cast<double>(Trunc(std::sin(e) * 10000)) / 10000;
    r.W = W;
    r.H = H;
    r.DW = std::max<int32_t>(
        1, static_cast<int32_t>(Trunc(std::fabs(H * r.S4) + std::fabs(W * r.C4))));
    r.DH = std::max<int32_t>(
        1, static_cast<int32_t>(Trunc(std::fabs(H * r.C4) + std::fabs(W * r.S4))));
    const double dcx = r.DW / 2.0 - 0.5;
    r.AX.resize(r.DW);
    r.AY.resize(r.DW);
    for (int32_t i = 0; i < r.DW; ++i) {
        r.AX[i] = static_cast<int32_t>(Trunc((i - dcx) * r.C4));
        r.AY[i] = static_cast<int32_t>(Trunc(-(i - dcx) * r.S4));
    }
    return r;
}

// Calls Pixel(DestRow, i, SourceX, SourceY) for every destination pixel, row by row.
template <class PixelFn, class RowDoneFn>
void WalkTruncated(const TTruncatedRotation& R, TVLBitmap& Dest, PixelFn Pixel, RowDoneFn RowDone) {
    const double dcy = R.DH / 2.0 - 0.5;
    const double scx = R.W / 2.0 - 0.5, scy = R.H / 2.0 - 0.5;
    for (int32_t y = 0; y < R.DH; ++y) {
        const auto fx = static_cast<int32_t>(Trunc((y - dcy) * R.S4 + scx));
        const auto fy = static_cast<int32_t>(Trunc((y - dcy) * R.C4 + scy));
        uint8_t* row = CheckedScanline(Dest, y);
        for (int32_t i = 0; i < R.DW; ++i)
            Pixel(row, i, R.AX[i] + fx, R.AY[i] + fy);
        RowDone(y);
    }
}

// Every row of Bitmap mapped for the length of a pass.
std::vector<const uint8_t*> MapAllRows(TVLBitmap& Bitmap) {
    std::vector<const uint8_t*> rows(Bitmap.GetHeight());
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        rows[y] = Bitmap.MapScanline(y);
        if (rows[y] == nullptr) throw EOutOfMemory(u"Out of memory");
    }
    return rows;
}

// The angles that Rotate1Bit and Rotate8Bit copy exactly.
bool IsExactTurn(double Angle) {
    return Angle == 90 || Angle == -90 || Angle == 270 || Angle == 180 || Angle == -180;
}

} // namespace

void RotateByShears(TVLBitmap& Bitmap, bool AntiAlias, double Angle, int32_t Background,
                    const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Angle == 0) return;
    const TVLRGB bg{static_cast<uint8_t>(Background), static_cast<uint8_t>(Background >> 8),
                    static_cast<uint8_t>(Background >> 16)};
    switch (Bitmap.GetPixelFormat()) {
    case vl24RGB:
        RotateByShearsN<3>(Bitmap, AntiAlias, Angle, TPixel<3>{{bg.b, bg.g, bg.r}}, OnProgress,
                           Sender);
        break;
    case vl1g:
        Rotate1Bit(Bitmap, Angle, bg.r != 0 && bg.g != 0 && bg.b != 0, OnProgress, Sender);
        break;
    default:
        // Grey, palette, 16-, 32- and 48-bit and CMYK rows are not bits: they are turned by
        // whole pixels.
        RotateNearestInPlace(Bitmap, Angle, RGBTripleToColor(bg), OnProgress, Sender);
        break;
    }
}

void RotateByShears8(TVLBitmap& Bitmap, bool AntiAlias, double Angle, uint8_t Background,
                     const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (format != vl8g && format != vl8p) return;
    RotateByShearsN<1>(Bitmap, AntiAlias, Angle, TPixel<1>{{Background}}, OnProgress, Sender);
}

void Rotate1Bit(TVLBitmap& Bitmap, double Angle, bool WhiteBackground,
                const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl1g || Bitmap.IsEmpty()) return;
    if (IsExactTurn(Angle)) {
        TurnBitmap(Bitmap, TurnFor(Angle));
        return;
    }
    const TTruncatedRotation r = PlanTruncated(Bitmap.GetWidth(), Bitmap.GetHeight(), Angle);
    TVLBitmap rotated;
    rotated.SetLocation(TVLLocation::vlMemory);
    imaging_core::detail::AllocateOrThrow(rotated, r.DW, r.DH, vl1g);
    rotated.Fill(0);
    TAccessScope readOnly(Bitmap, VLAccessRead);
    const std::vector<const uint8_t*> rows = MapAllRows(Bitmap);
    const double factor = 100.0 / r.DH;
    TProgressReporter progress(OnProgress, Sender);
    WalkTruncated(
        r, rotated,
        [&](uint8_t* Row, int32_t I, int32_t SX, int32_t SY) {
            const bool inside = SX >= 0 && SX < r.W && SY >= 0 && SY < r.H;
            const bool white =
                inside ? GetRowBit(rows[SY], static_cast<uint32_t>(SX)) != 0 : WhiteBackground;
            if (white) SetRowBit(Row, I, true);
        },
        [&](int32_t Y) { progress.Report(static_cast<int32_t>(Trunc(Y * factor))); });
    Bitmap.UnmapAllScanlines();
    Bitmap.Assign(&rotated);
}

void Rotate8Bit(TVLBitmap& Bitmap, double Angle, uint8_t Background) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if ((format != vl8g && format != vl8p) || Bitmap.IsEmpty()) return;
    if (IsExactTurn(Angle)) {
        TurnBitmap(Bitmap, TurnFor(Angle));
        return;
    }
    const TTruncatedRotation r = PlanTruncated(Bitmap.GetWidth(), Bitmap.GetHeight(), Angle);
    TVLBitmap rotated;
    rotated.SetLocation(TVLLocation::vlMemory);
    imaging_core::detail::AllocateOrThrow(rotated, r.DW, r.DH, format);
    if (format == vl8p) Bitmap.CopyPaletteTo(rotated);
    TAccessScope readOnly(Bitmap, VLAccessRead);
    const std::vector<const uint8_t*> rows = MapAllRows(Bitmap);
    WalkTruncated(
        r, rotated,
        [&](uint8_t* Row, int32_t I, int32_t SX, int32_t SY) {
            const bool inside = SX >= 0 && SX < r.W && SY >= 0 && SY < r.H;
            Row[I] = inside ? rows[SY][SX] : Background;
        },
        [](int32_t) {});
    Bitmap.UnmapAllScanlines();
    Bitmap.Assign(&rotated);
}

void RotateQuarterCW24(TVLBitmap& Source, TVLBitmap& Dest) {
    if (Source.GetPixelFormat() == vl24RGB) RotateNearest(Source, Dest, 270, 0);
}

void RotateQuarterCCW24(TVLBitmap& Source, TVLBitmap& Dest) {
    if (Source.GetPixelFormat() == vl24RGB) RotateNearest(Source, Dest, 90, 0);
}

void RotateQuarterCW8(TVLBitmap& Source, TVLBitmap& Dest) {
    if (Source.GetBitCount() == 8) RotateNearest(Source, Dest, 270, 0);
}

void RotateQuarterCCW8(TVLBitmap& Source, TVLBitmap& Dest) {
    if (Source.GetBitCount() == 8) RotateNearest(Source, Dest, 90, 0);
}
