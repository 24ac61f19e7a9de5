// Rotation by inverse mapping with bilinear and bicubic samplers over a background border.
#include "imaging/proc/VLRotateInterpolated.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"

#include <cmath>
#include <numbers>
#include <vector>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TAccessScope;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;

namespace {

// Width of the background frame laid around the picture before sampling.
constexpr int32_t Border = 3;

// The source as the samplers see it: the picture at (Border, Border) of an endless background.
template <int N> class TFramedSource {
public:
    TFramedSource(TVLBitmap& Bitmap, const uint8_t* Background)
        : FW(Bitmap.GetWidth()), FH(Bitmap.GetHeight()), FRows(Bitmap.GetHeight()) {
        for (int32_t y = 0; y < FH; ++y) {
            FRows[y] = Bitmap.MapScanline(y);
            if (FRows[y] == nullptr) throw EOutOfMemory(u"Out of memory");
        }
        std::copy(Background, Background + N, FBackground);
    }

    // Channel K of the pixel at framed (X, Y).
    int32_t At(int32_t X, int32_t Y, int K) const {
        const int32_t x = X - Border, y = Y - Border;
        if (x < 0 || x >= FW || y < 0 || y >= FH) return FBackground[K];
        return FRows[y][static_cast<size_t>(x) * N + K];
    }
    // The pixel at framed (X, Y) when the Size x Size window from there lies inside the picture.
    const uint8_t* Window(int32_t X, int32_t Y, int32_t Size) const {
        const int32_t x = X - Border, y = Y - Border;
        if (x < 0 || y < 0 || x + Size > FW || y + Size > FH) return nullptr;
        return FRows[y] + static_cast<size_t>(x) * N;
    }
    const uint8_t* Row(int32_t Y) const { return FRows[Y - Border]; }

private:
    int32_t FW, FH;
    std::vector<const uint8_t*> FRows;
    uint8_t FBackground[N];
};

// Corner by truncation, fractions from the floor: they differ only left of and above the frame,
// where every pixel is background.
template <int N> void SampleBilinear(const TFramedSource<N>& S, double X, double Y, uint8_t* Out) {
    const auto ix = static_cast<int32_t>(Trunc(X)), iy = static_cast<int32_t>(Trunc(Y));
    const double fx = X - std::floor(X), fy = Y - std::floor(Y);
    const uint8_t* w = S.Window(ix, iy, 2);
    for (int k = 0; k < N; ++k) {
        int32_t p00, p10, p01, p11;
        if (w != nullptr) {
            const uint8_t* below = S.Row(iy + 1) + (w - S.Row(iy));
            p00 = w[k];
            p10 = w[N + k];
            p01 = below[k];
            p11 = below[N + k];
        } else {
            p00 = S.At(ix, iy, k);
            p10 = S.At(ix + 1, iy, k);
            p01 = S.At(ix, iy + 1, k);
            p11 = S.At(ix + 1, iy + 1, k);
        }
        const double top = p00 + (p10 - p00) * fx;
        const double bottom = p01 + (p11 - p01) * fx;
        Out[k] = static_cast<uint8_t>(Trunc(top + (bottom - top) * fy));
    }
}

// Cubic convolution weights (a = -1) of the taps at -1, 0, +1, +2 for the fraction D.
void CubicWeights(double D, double (&W)[4]) {
    const double d2 = D * D, d3 = d2 * D;
    W[0] = -D * (1 - D) * (1 - D);
    W[1] = 1 - 2 * d2 + d3;
    W[2] = D + d2 - d3;
    W[3] = -d2 * (1 - D);
}

template <int N> void SampleBicubic(const TFramedSource<N>& S, double X, double Y, uint8_t* Out) {
    const auto ix = static_cast<int32_t>(Trunc(X)), iy = static_cast<int32_t>(Trunc(Y));
    double wx[4], wy[4];
    CubicWeights(X - ix, wx);
    CubicWeights(Y - iy, wy);
    const uint8_t* w = S.Window(ix - 1, iy - 1, 4);
    for (int k = 0; k < N; ++k) {
        double sum = 0;
        for (int j = 0; j < 4; ++j) {
            double row = 0;
            if (w != nullptr) {
                const uint8_t* p = S.Row(iy - 1 + j) + (w - S.Row(iy - 1)) + k;
                row = p[0] * wx[0] + p[N] * wx[1] + p[2 * N] * wx[2] + p[3 * N] * wx[3];
            } else {
                for (int i = 0; i < 4; ++i)
                    row += S.At(ix - 1 + i, iy - 1 + j, k) * wx[i];
            }
            sum += row * wy[j];
        }
        // An undershoot below black is black, an overshoot above white white.
        Out[k] = ClampToByte(static_cast<int32_t>(Trunc(std::clamp(sum, -1.0, 256.0))));
    }
}

template <int N>
void RotateInterpolatedN(TVLBitmap& Bitmap, double Angle, const uint8_t* Background, uint8_t Mode,
                         const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.IsEmpty()) return;
    const int32_t w = Bitmap.GetWidth() + 2 * Border, h = Bitmap.GetHeight() + 2 * Border;
    const double a = Angle * std::numbers::pi / 180;
    const double sn = std::sin(a), cs = std::cos(a);
    const auto dw = static_cast<int32_t>(Round(std::fabs(sn) * (h - 1) + std::fabs(cs) * (w - 1)));
    const auto dh = static_cast<int32_t>(Round(std::fabs(cs) * (h - 1) + std::fabs(sn) * (w - 1)));
    // The frame comes off the result again: only its inside is sampled.
    const int32_t rw = std::max(1, dw - 2 * Border), rh = std::max(1, dh - 2 * Border);
    const double scx = (w - 1) / 2.0, scy = (h - 1) / 2.0;
    const double dcx = (dw - 1) / 2.0, dcy = (dh - 1) / 2.0;
    std::vector<double> tx(rw), ty(rw);
    for (int32_t i = 0; i < rw; ++i) {
        tx[i] = (i + Border - dcx) * cs + scx;
        ty[i] = (i + Border - dcx) * sn + scy;
    }
    TVLBitmap rotated;
    rotated.MinFileSize = Bitmap.MinFileSize;
    imaging_core::detail::AllocateOrThrow(rotated, rw, rh, Bitmap.GetPixelFormat());
    if (Bitmap.GetPixelFormat() == vl8p) Bitmap.CopyPaletteTo(rotated);
    {
        TAccessScope readOnly(Bitmap, VLAccessRead);
        const TFramedSource<N> source(Bitmap, Background);
        TRowPassScope pass(rotated, VLAccessWrite);
        TProgressReporter progress(OnProgress, Sender);
        const auto sample = Mode == 2 ? SampleBicubic<N> : SampleBilinear<N>;
        for (int32_t y = 0; y < rh; ++y) {
            const double dy = y + Border - dcy;
            uint8_t* row = CheckedScanline(rotated, y);
            for (int32_t i = 0; i < rw; ++i)
                sample(source, tx[i] - dy * sn, ty[i] + dy * cs, row + static_cast<size_t>(i) * N);
            std::fill(row + static_cast<size_t>(rw) * N, row + rotated.GetRowLen(), 0);
            progress.Report(static_cast<int32_t>(Trunc((y + Border) * 100.0 / dh)));
        }
        Bitmap.UnmapAllScanlines();
    }
    Bitmap.AssignImage(rotated);
}

} // namespace

void RotateInterpolated24(TVLBitmap& Bitmap, double Angle, TColor Background, uint8_t Mode,
                          const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return;
    TVLRGB bg;
    ColorToRGBTriple(Background, bg);
    const uint8_t background[3] = {bg.b, bg.g, bg.r};
    RotateInterpolatedN<3>(Bitmap, Angle, background, Mode, OnProgress, Sender);
}

void RotateInterpolated8(TVLBitmap& Bitmap, double Angle, uint8_t Background, uint8_t Mode) {
    if (Bitmap.GetBitCount() != 8) return;
    RotateInterpolatedN<1>(Bitmap, Angle, &Background, Mode, nullptr, nullptr);
}
