// Gaussian blur and soft shadows. Both passes of the blur add 32768 to the 16.16 sums and keep the
// integer part, so that a uniform area stays exactly as it is.
#include "imaging/core/VLGaussianBlur.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLConvolve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;
using imaging_core::detail::TruncInt;

namespace {

constexpr int32_t MaxHalfWidth = 100;

uint8_t TapSum(int64_t Sum) {
    return static_cast<uint8_t>(std::min<int64_t>(Sum >> 16, 255));
}

// Blurs Width pixels of Channels bytes; indexes beyond the ends take the end pixels.
template <int Channels>
void BlurRow(const TVLGaussianKernel& K, const uint8_t* Source, uint8_t* Dest, int32_t Width) {
    const int32_t r = K.HalfWidth;
    const int32_t* taps = K.Taps + MaxHalfWidth;
    for (int32_t x = 0; x < Width; ++x) {
        const bool inside = x - r >= 0 && x + r < Width;
        for (int32_t c = 0; c < Channels; ++c) {
            int64_t sum = 32768;
            if (inside) {
                const uint8_t* p = Source + static_cast<ptrdiff_t>(x - r) * Channels + c;
                for (int32_t k = -r; k <= r; ++k, p += Channels)
                    sum += int64_t{taps[k]} * *p;
            } else {
                for (int32_t k = -r; k <= r; ++k)
                    sum +=
                        int64_t{taps[k]} * Source[std::clamp(x + k, 0, Width - 1) * Channels + c];
            }
            Dest[x * Channels + c] = TapSum(sum);
        }
    }
}

void BlurRowOf(int32_t Channels, const TVLGaussianKernel& K, const uint8_t* Source, uint8_t* Dest,
               int32_t Width) {
    if (Channels == 3)
        BlurRow<3>(K, Source, Dest, Width);
    else
        BlurRow<1>(K, Source, Dest, Width);
}

// Blurs the W x H area at (X, Y) of Bitmap (Channels bytes a pixel): rows into a copy of the
// area, then columns back into the bitmap, a whole output row at a time. Pixels outside the area
// are neither read nor written. Progress, when reported, runs over both passes.
void BlurArea(TVLBitmap& Bitmap, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t Channels,
              const TVLGaussianKernel& K, const TProgressReporter& Progress) {
    const size_t rowBytes = static_cast<size_t>(W) * Channels;
    const size_t offset = static_cast<size_t>(X) * Channels;
    std::vector<uint8_t> area(rowBytes * H);
    const double factor = 100.0 / (static_cast<double>(H) + W);
    {
        TRowPassScope reading(Bitmap, VLAccessRead);
        for (int32_t y = 0; y < H; ++y) {
            BlurRowOf(Channels, K, CheckedScanline(Bitmap, Y + y) + offset, &area[rowBytes * y], W);
            Progress.Report(TruncInt((y + 1) * factor));
        }
    }
    const int32_t r = K.HalfWidth;
    std::vector<int64_t> sums(rowBytes);
    TRowPassScope writing(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = 0; y < H; ++y) {
        std::fill(sums.begin(), sums.end(), int64_t{32768});
        for (int32_t k = -r; k <= r; ++k) {
            const int64_t tap = K.Taps[MaxHalfWidth + k];
            const uint8_t* src = &area[rowBytes * std::clamp(y + k, 0, H - 1)];
            for (size_t i = 0; i < rowBytes; ++i)
                sums[i] += tap * src[i];
        }
        uint8_t* dst = CheckedScanline(Bitmap, Y + y) + offset;
        for (size_t i = 0; i < rowBytes; ++i)
            dst[i] = TapSum(sums[i]);
        Progress.Report(TruncInt((H + static_cast<double>(y + 1) * W / H) * factor));
    }
}

// The divisor of pure shadow's alpha: 3 at intensity 0, 1 at 100.
double ShadowDivisor(int32_t Intensity) {
    return 3.0 - 2.0 * std::clamp(Intensity, 0, 100) / 100.0;
}

uint8_t Divided(uint8_t S, double Q) {
    return Q != 1.0 ? static_cast<uint8_t>(Trunc(S / Q)) : S;
}

struct TShadowComposite {
    double Q;
    TVLRGB Color;
    bool DivideMono;
};

// Composites the inclusive rectangle: A0 holds the alpha before the shadow, Alpha the shadow's.
void Composite(TVLBitmap& Bitmap, TVLBitmap& Alpha, TVLBitmap& A0, int32_t X1, int32_t Y1,
               int32_t X2, int32_t Y2, const TShadowComposite& S) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (format != vl24RGB && format != vl1g) return;
    const uint8_t shadow[3] = {S.Color.b, S.Color.g, S.Color.r};
    TRowPassScope pixels(Bitmap, VLAccessRead | VLAccessWrite);
    TRowPassScope alpha(Alpha, VLAccessRead | VLAccessWrite);
    TRowPassScope before(A0, VLAccessRead);
    for (int32_t y = Y1; y <= Y2; ++y) {
        uint8_t* row = CheckedScanline(Bitmap, y);
        uint8_t* s = CheckedScanline(Alpha, y);
        const uint8_t* a0 = CheckedScanline(A0, y);
        for (int32_t x = X1; x <= X2; ++x) {
            const uint8_t a = a0[x];
            if (a == 0 && s[x] != 0) {
                if (format == vl1g) {
                    SetRowBit(row, x, false);
                    if (S.DivideMono) s[x] = Divided(s[x], S.Q);
                } else {
                    std::memcpy(row + 3 * x, shadow, 3);
                    s[x] = Divided(s[x], S.Q);
                }
            } else if (a > 0 && a < 255 && format == vl24RGB) {
                const double c = a / 255.0, d = s[x] / 255.0;
                for (int32_t i = 0; i < 3; ++i) {
                    uint8_t& p = row[3 * x + i];
                    const double mix = Trunc(shadow[i] * d + (1 - d) * p);
                    p = static_cast<uint8_t>(Trunc(p * c + (1 - c) * mix));
                }
                s[x] = static_cast<uint8_t>(Trunc((c + (1 - c) * d) * 255));
            } else {
                s[x] = a;
            }
        }
    }
}

int32_t ShadowMargin(int32_t OffsetX, int32_t OffsetY, double Radius) {
    const int64_t offset = std::max(std::llabs(OffsetX), std::llabs(OffsetY));
    const int64_t margin = 2 * offset + Trunc(5 * Radius);
    return static_cast<int32_t>(std::clamp<int64_t>(margin, 1, INT32_MAX / 4));
}

} // namespace

void MakeGaussianKernel(TVLGaussianKernel& Kernel, double Radius) {
    double sum = 0;
    for (int32_t i = -MaxHalfWidth; i <= MaxHalfWidth; ++i) {
        const double t = i / Radius;
        sum += Kernel.Values[i + MaxHalfWidth] = std::exp(-t * t / 2);
    }
    for (int32_t i = 0; i < 2 * MaxHalfWidth + 1; ++i)
        Kernel.Taps[i] = static_cast<int32_t>(Round(Kernel.Values[i] * 65536 / sum));
    int32_t r = MaxHalfWidth;
    while (r > 1 && Kernel.Taps[MaxHalfWidth + r] == 0 && Kernel.Taps[MaxHalfWidth - r] == 0)
        --r;
    Kernel.HalfWidth = static_cast<uint8_t>(r);
}

void GaussianBlurRow24(const TVLGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest,
                       int32_t Width) {
    BlurRow<3>(Kernel, Source, Dest, Width);
}

void GaussianBlurRow8(const TVLGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest,
                      int32_t Width) {
    BlurRow<1>(Kernel, Source, Dest, Width);
}

void GaussianBlur(TVLBitmap& Bitmap, double Radius, const TVLProgressEvent& OnProgress,
                  TObject* Sender) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (!(Radius > 0) || Bitmap.IsEmpty() || (format != vl8g && format != vl24RGB)) return;
    TVLGaussianKernel kernel;
    MakeGaussianKernel(kernel, Radius);
    BlurArea(Bitmap, 0, 0, Bitmap.GetWidth(), Bitmap.GetHeight(), format == vl24RGB ? 3 : 1, kernel,
             TProgressReporter(OnProgress, Sender));
}

void GaussianBlurGrayRect(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                          double Radius) {
    if (Bitmap.GetPixelFormat() != vl8g || Bitmap.IsEmpty()) return;
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    X1 = ClampToRange(X1, 0, w - 1);
    X2 = ClampToRange(X2, 0, w - 1);
    Y1 = ClampToRange(Y1, 0, h - 1);
    Y2 = ClampToRange(Y2, 0, h - 1);
    if (!(Radius > 0) || X2 < X1 || Y2 < Y1) return;
    TVLGaussianKernel kernel;
    MakeGaussianKernel(kernel, Radius);
    BlurArea(Bitmap, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 1, kernel, TProgressReporter());
}

void AddSoftShadow(TVLBitmap& Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius,
                   int32_t Intensity, bool Enlarge, const TVLRGB& ShadowColor,
                   const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.IsEmpty() || Bitmap.GetAlphaChannel() == nullptr) return;
    Bitmap.GetAlphaChannel()->Full = false;
    if (Enlarge) {
        const int32_t m = ShadowMargin(OffsetX, OffsetY, Radius);
        if (Bitmap.GetWidth() > INT32_MAX - m || Bitmap.GetHeight() > INT32_MAX - m) return;
        Bitmap.ResizeCanvas(Bitmap.GetWidth() + m, Bitmap.GetHeight() + m, 0, 0, 1, 1);
    }
    TVLBitmap& alpha = *Bitmap.GetAlphaChannel();
    TVLBitmap a0;
    a0.Assign(&alpha);
    GaussianBlur(alpha, Radius, OnProgress, Sender);
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    if (OffsetX != 0 || OffsetY != 0) alpha.MoveRect(0, 0, w - 1, h - 1, OffsetX, OffsetY, 0);
    Composite(Bitmap, alpha, a0, 0, 0, w - 1, h - 1,
              TShadowComposite{ShadowDivisor(Intensity), ShadowColor, true});
}

int32_t AddSoftShadowRect(TVLBitmap& Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius,
                          int32_t Intensity, const TVLRGB& ShadowColor, int32_t X1, int32_t Y1,
                          int32_t X2, int32_t Y2) {
    const bool preset = Radius == 0;
    if (preset) Radius = 2;
    const int32_t margin = ShadowMargin(OffsetX, OffsetY, Radius);
    if (Bitmap.IsEmpty() || Bitmap.GetAlphaChannel() == nullptr) return margin;
    TVLBitmap& alpha = *Bitmap.GetAlphaChannel();
    alpha.Full = false;
    TVLBitmap a0;
    a0.Assign(&alpha);
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    // A rectangle grown by Grow on every side, clamped into the image.
    auto grown = [&](int32_t Grow, int32_t& L, int32_t& T, int32_t& R, int32_t& B) {
        L = ClampToRange(static_cast<int32_t>(std::max<int64_t>(int64_t{X1} - Grow, 0)), 0, w - 1);
        T = ClampToRange(static_cast<int32_t>(std::max<int64_t>(int64_t{Y1} - Grow, 0)), 0, h - 1);
        R = static_cast<int32_t>(std::clamp<int64_t>(int64_t{X2} + Grow, 0, w - 1));
        B = static_cast<int32_t>(std::clamp<int64_t>(int64_t{Y2} + Grow, 0, h - 1));
    };
    int32_t l = 0, t = 0, r = 0, b = 0;
    grown(margin / 2, l, t, r, b);
    if (preset)
        Convolve3x3Gray8(alpha, BlurPreset(), l, t, r + 1, b + 1);
    else
        GaussianBlurGrayRect(alpha, l, t, r, b, Radius);
    if (OffsetX != 0 || OffsetY != 0) {
        const int64_t dx = int64_t{l} + OffsetX, dy = int64_t{t} + OffsetY;
        if (dx >= INT32_MIN && dx <= INT32_MAX && dy >= INT32_MIN && dy <= INT32_MAX)
            alpha.MoveRect(l, t, r, b, static_cast<int32_t>(dx), static_cast<int32_t>(dy), 0);
    }
    grown(margin, l, t, r, b);
    if (r >= l && b >= t)
        Composite(Bitmap, alpha, a0, l, t, r, b,
                  TShadowComposite{ShadowDivisor(Intensity), ShadowColor, false});
    return margin;
}
