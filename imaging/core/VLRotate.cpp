// Exact quarter turns and mirrors of every pixel format, and the nearest-neighbour rotation of a
// bitmap by any angle.
#include "imaging/core/VLRotate.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

using enum TVLPixelFormat;
using imaging_core::detail::TAccessScope;
using imaging_core::detail::TProgressReporter;

namespace {

// One pixel of N bytes.
template <int N> void CopyPixel(uint8_t* Dst, const uint8_t* Src) {
    std::memcpy(Dst, Src, N);
}

// Maps every row of Bitmap for the length of a pass; released on exit.
class TMappedRows {
public:
    explicit TMappedRows(TVLBitmap& Bitmap) : FBitmap(Bitmap), FRows(Bitmap.GetHeight()) {
        for (int32_t r = 0; r < Bitmap.GetHeight(); ++r)
            FRows[r] = Bitmap.MapScanline(r);
    }
    ~TMappedRows() { FBitmap.UnmapAllScanlines(); }
    TMappedRows(const TMappedRows&) = delete;
    TMappedRows& operator=(const TMappedRows&) = delete;
    const uint8_t* operator[](int32_t Row) const { return FRows[Row]; }

private:
    TVLBitmap& FBitmap;
    std::vector<const uint8_t*> FRows;
};

// Fills Dst (already sized) with Src turned as T says; N bytes per pixel.
template <int N> void TurnRows(TVLBitmap& Src, TVLBitmap& Dst, const TVLPixelTurn& T) {
    const int32_t w = Src.GetWidth(), h = Src.GetHeight();
    const int32_t dw = Dst.GetWidth(), dh = Dst.GetHeight();
    if (!T.Transpose) {
        for (int32_t y = 0; y < dh; ++y) {
            const uint8_t* s = Src.GetScanline(T.MirrorY ? h - 1 - y : y);
            uint8_t* d = Dst.GetScanline(y);
            if (!T.MirrorX) {
                std::memcpy(d, s, static_cast<size_t>(w) * N);
                continue;
            }
            for (int32_t x = 0; x < dw; ++x)
                CopyPixel<N>(d + static_cast<size_t>(x) * N,
                             s + static_cast<size_t>(w - 1 - x) * N);
        }
        return;
    }
    const TMappedRows rows(Src);
    for (int32_t y = 0; y < dh; ++y) {
        const size_t sx = static_cast<size_t>(T.MirrorX ? w - 1 - y : y) * N;
        uint8_t* d = Dst.GetScanline(y);
        if (T.MirrorY)
            for (int32_t x = 0; x < dw; ++x)
                CopyPixel<N>(d + static_cast<size_t>(x) * N, rows[h - 1 - x] + sx);
        else
            for (int32_t x = 0; x < dw; ++x)
                CopyPixel<N>(d + static_cast<size_t>(x) * N, rows[x] + sx);
    }
}

void TurnBits(TVLBitmap& Src, TVLBitmap& Dst, const TVLPixelTurn& T) {
    const int32_t w = Src.GetWidth(), h = Src.GetHeight();
    const int32_t dw = Dst.GetWidth(), dh = Dst.GetHeight();
    const TMappedRows rows(Src);
    for (int32_t y = 0; y < dh; ++y) {
        uint8_t* d = Dst.GetScanline(y);
        std::memset(d, 0, Dst.GetRowLen());
        for (int32_t x = 0; x < dw; ++x) {
            int32_t sx = T.Transpose ? y : x;
            int32_t sy = T.Transpose ? x : y;
            if (T.MirrorX) sx = w - 1 - sx;
            if (T.MirrorY) sy = h - 1 - sy;
            if (GetRowBit(rows[sy], static_cast<uint32_t>(sx)) != 0) SetRowBit(d, x, true);
        }
    }
}

using TTurnKernel = void (*)(TVLBitmap&, TVLBitmap&, const TVLPixelTurn&);

TTurnKernel TurnKernelFor(int32_t BitCount) {
    switch (BitCount) {
    case 1:
        return TurnBits;
    case 8:
        return TurnRows<1>;
    case 16:
        return TurnRows<2>;
    case 24:
        return TurnRows<3>;
    case 32:
        return TurnRows<4>;
    case 48:
        return TurnRows<6>;
    default:
        return nullptr;
    }
}

// Fills Dest, allocated at the turned size in Source's format, with Source turned.
bool TurnInto(TVLBitmap& Source, TVLBitmap& Dest, const TVLPixelTurn& Turn) {
    const TTurnKernel kernel = TurnKernelFor(Source.GetBitCount());
    if (kernel == nullptr) return false;
    TAccessScope readOnly(Source, VLAccessRead);
    TAccessScope writeOnly(Dest, VLAccessWrite);
    kernel(Source, Dest, Turn);
    Dest.UnmapAllScanlines();
    return true;
}

void CopyPixelsInto(TVLBitmap& Source, TVLBitmap& Dest) {
    const auto bytes =
        static_cast<size_t>(AlignedRowLength(Dest.GetWidth(), Dest.GetBitCount(), 8));
    for (int32_t y = 0; y < Dest.GetHeight(); ++y)
        std::memcpy(Dest.GetScanline(y), Source.GetScanline(y), bytes);
    Dest.UnmapAllScanlines();
    Source.UnmapAllScanlines();
}

// The quarter turn of a whole multiple of 90 degrees (R = Trunc(Angle) mod 360, sign kept).
TVLPixelTurn QuarterTurnOf(int32_t R) {
    if (R == 90 || R == -270) return VLTurnLeft;
    if (R == 270 || R == -90) return VLTurnRight;
    return VLTurnHalf;
}

// Inverse mapping for angles that are not whole multiples of 90 degrees.
struct TInverseMap {
    std::vector<double> TX, TY;
    double Sin = 0, Cos = 0, DCY = 0;
    int32_t W = 0, H = 0;
};

template <int N>
void InverseRows(TVLBitmap& Src, TVLBitmap& Dst, const TInverseMap& M,
                 TProgressReporter& Progress) {
    const TMappedRows rows(Src);
    const int32_t dw = Dst.GetWidth(), dh = Dst.GetHeight();
    for (int32_t y = 0; y < dh; ++y) {
        const double dy = y - M.DCY;
        uint8_t* d = Dst.GetScanline(y);
        for (int32_t i = 0; i < dw; ++i) {
            const auto sx = static_cast<int32_t>(Round(M.TX[i] - dy * M.Sin));
            const auto sy = static_cast<int32_t>(Round(M.TY[i] + dy * M.Cos));
            if (sx < 0 || sx >= M.W || sy < 0 || sy >= M.H) continue;
            if constexpr (N == 0) {
                if (GetRowBit(rows[sy], static_cast<uint32_t>(sx)) != 0) SetRowBit(d, i, true);
            } else {
                CopyPixel<N>(d + static_cast<size_t>(i) * N,
                             rows[sy] + static_cast<size_t>(sx) * N);
            }
        }
        Progress.Report(static_cast<int32_t>(Trunc(y * 100.0 / dh)));
    }
}

using TInverseKernel = void (*)(TVLBitmap&, TVLBitmap&, const TInverseMap&, TProgressReporter&);

TInverseKernel InverseKernelFor(int32_t BitCount) {
    switch (BitCount) {
    case 1:
        return InverseRows<0>;
    case 8:
        return InverseRows<1>;
    case 16:
        return InverseRows<2>;
    case 24:
        return InverseRows<3>;
    case 32:
        return InverseRows<4>;
    case 48:
        return InverseRows<6>;
    default:
        return nullptr;
    }
}

void RotateByInverseMap(TVLBitmap& Source, TVLBitmap& Dest, double Angle, int32_t Background,
                        const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TInverseKernel kernel = InverseKernelFor(Source.GetBitCount());
    if (kernel == nullptr) return;
    TInverseMap m;
    m.W = Source.GetWidth();
    m.H = Source.GetHeight();
    int32_t dw = 0, dh = 0;
    RotatedBox(m.W, m.H, Angle, dw, dh);
    imaging_core::detail::AllocateOrThrow(Dest, dw, dh, Source.GetPixelFormat());
    if (Source.GetPixelFormat() == vl8p) Source.CopyPaletteTo(Dest);
    Dest.Fill(Source.GetPixelFormat() == vl1g ? 0 : Background);
    const double a = Angle * std::numbers::pi / 180;
    m.Sin = std::sin(a);
    m.Cos = std::cos(a);
    const double scx = (m.W - 1) / 2.0, scy = (m.H - 1) / 2.0;
    const double dcx = (dw - 1) / 2.0;
    m.DCY = (dh - 1) / 2.0;
    m.TX.resize(dw);
    m.TY.resize(dw);
    for (int32_t i = 0; i < dw; ++i) {
        m.TX[i] = (i - dcx) * m.Cos + scx;
        m.TY[i] = (i - dcx) * m.Sin + scy;
    }
    TAccessScope readOnly(Source, VLAccessRead);
    TProgressReporter progress(OnProgress, Sender);
    kernel(Source, Dest, m, progress);
}

} // namespace

std::unique_ptr<TVLBitmap> TurnedPixels(TVLBitmap& Source, const TVLPixelTurn& Turn) {
    if (TurnKernelFor(Source.GetBitCount()) == nullptr) return nullptr;
    auto result = std::make_unique<TVLBitmap>();
    result->MinFileSize = Source.MinFileSize;
    const int32_t w = Turn.Transpose ? Source.GetHeight() : Source.GetWidth();
    const int32_t h = Turn.Transpose ? Source.GetWidth() : Source.GetHeight();
    if (!result->Allocate(w, h, Source.GetPixelFormat())) return nullptr;
    TurnInto(Source, *result, Turn);
    return result;
}

bool TurnBitmap(TVLBitmap& Bitmap, const TVLPixelTurn& Turn) {
    if (Bitmap.IsEmpty()) return true;
    auto pixels = TurnedPixels(Bitmap, Turn);
    if (!pixels) return false;
    TVLBitmap* alpha = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaChannel() : nullptr;
    std::unique_ptr<TVLBitmap> alphaPixels;
    if (alpha != nullptr && !alpha->IsEmpty()) {
        alphaPixels = TurnedPixels(*alpha, Turn);
        if (!alphaPixels) return false;
    }
    // One step to the turned size: a side at a time would pass through a square of the longer
    // side, gigabytes for a long thin picture.
    if (Turn.Transpose && !Bitmap.SetSize(pixels->GetWidth(), pixels->GetHeight())) return false;
    CopyPixelsInto(*pixels, Bitmap);
    if (alphaPixels) CopyPixelsInto(*alphaPixels, *alpha);
    return true;
}

bool IsMultipleOf90(double Angle) {
    return Angle == std::trunc(Angle) && std::fmod(std::trunc(Angle), 90.0) == 0;
}

void RotatedBox(int32_t W, int32_t H, double Angle, int32_t& NewW, int32_t& NewH) {
    const double a = Angle * std::numbers::pi / 180;
    const double s = std::fabs(std::sin(a)), c = std::fabs(std::cos(a));
    NewW = static_cast<int32_t>(Round(s * H + c * W));
    NewH = static_cast<int32_t>(Round(s * W + c * H));
}

void RotateNearest(TVLBitmap& Source, TVLBitmap& Dest, double Angle, int32_t Background,
                   const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest || Source.IsEmpty()) return;
    if (!IsMultipleOf90(Angle)) {
        RotateByInverseMap(Source, Dest, Angle, Background, OnProgress, Sender);
        return;
    }
    const auto r = static_cast<int32_t>(std::fmod(std::trunc(Angle), 360.0));
    if (r == 0) {
        Dest.Assign(&Source);
        return;
    }
    if (TurnKernelFor(Source.GetBitCount()) == nullptr) return;
    const TVLPixelTurn turn = QuarterTurnOf(r);
    const int32_t w = turn.Transpose ? Source.GetHeight() : Source.GetWidth();
    const int32_t h = turn.Transpose ? Source.GetWidth() : Source.GetHeight();
    imaging_core::detail::AllocateOrThrow(Dest, w, h, Source.GetPixelFormat());
    if (Source.GetPixelFormat() == vl8p) Source.CopyPaletteTo(Dest);
    TurnInto(Source, Dest, turn);
}

void RotateNearestInPlace(TVLBitmap& Bitmap, double Angle, int32_t Background,
                          const TVLProgressEvent& OnProgress, TObject* Sender) {
    TVLBitmap rotated;
    rotated.MinFileSize = Bitmap.MinFileSize;
    RotateNearest(Bitmap, rotated, Angle, Background, OnProgress, Sender);
    if (!rotated.IsEmpty()) Bitmap.AssignImage(rotated);
}
