// Colour and numeric helpers and the 1-bit row helpers.
#include "imaging/core/VLColorHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {
int32_t SaturatedInt32(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

// X limited to a range where the int64 arithmetic below cannot overflow.
double Bounded(double X) {
    return std::clamp(X, -4294967296.0, 4294967296.0);
}

// Brings a hue-like value into 0..1 by one step, as both HSL routines do.
double WrapOnce(double T) {
    if (T < 0) return T + 1;
    if (T > 1) return T - 1;
    return T;
}

double HueChannel(double M1, double M2, double T) {
    T = WrapOnce(T);
    if (6 * T < 1) return M1 + (M2 - M1) * 6 * T;
    if (2 * T < 1) return M2;
    if (3 * T < 2) return M1 + (M2 - M1) * (2.0 / 3.0 - T) * 6;
    return M1;
}

uint8_t UnitToByte(double Value) {
    return ClampToByte(static_cast<int32_t>(std::clamp<int64_t>(Round(Value * 255), -1, 256)));
}
} // namespace

int32_t CeilToInt(double X) {
    X = Bounded(X);
    const int64_t t = Trunc(X);
    return SaturatedInt32(X - static_cast<double>(t) > 0 ? t + 1 : t);
}

int32_t FloorToInt(double X) {
    X = Bounded(X);
    const int64_t t = Trunc(X);
    return SaturatedInt32(X - static_cast<double>(t) < 0 ? t - 1 : t);
}

void ExchangeIntegers(int32_t& A, int32_t& B) {
    std::swap(A, B);
}

void ExchangeBytes(uint8_t& A, uint8_t& B) {
    std::swap(A, B);
}

void OrderRectCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
}

void MakeRGBTriple(uint8_t R, uint8_t G, uint8_t B, TVLRGB& RGB) {
    RGB.b = B;
    RGB.g = G;
    RGB.r = R;
}

TVLRGB MakeRGBTriple(uint8_t R, uint8_t G, uint8_t B) {
    TVLRGB rgb;
    MakeRGBTriple(R, G, B, rgb);
    return rgb;
}

int32_t RGBTripleToGray(const TVLRGB& RGB) {
    return (RGB.r * GrayWeightRed + RGB.g * GrayWeightGreen + RGB.b * GrayWeightBlue) / 100;
}

TColor RGBTripleToColor(const TVLRGB& RGB) {
    return RGB.r | (RGB.g << 8) | (RGB.b << 16);
}

void ColorToRGBTriple(TColor Color, TVLRGB& RGB) {
    const TColor c = ColorToRGB(Color);
    MakeRGBTriple(GetRValue(c), GetGValue(c), GetBValue(c), RGB);
}

uint32_t ColorToARGB(TColor Color, uint8_t Alpha) {
    const TColor c = ColorToRGB(Color);
    return (static_cast<uint32_t>(Alpha) << 24) | (GetRValue(c) << 16) | (GetGValue(c) << 8) |
           GetBValue(c);
}

bool RGBTriplesEqual(const TVLRGB& A, const TVLRGB& B) {
    return A == B;
}

void RGBTripleToHSL(const TVLRGB& RGB, double& H, double& S, double& L) {
    const double r = RGB.r / 255.0;
    const double g = RGB.g / 255.0;
    const double b = RGB.b / 255.0;
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    L = (max + min) / 2;
    if (max == min) {
        H = S = 0;
        return;
    }
    const double delta = max - min;
    S = L >= 0.5 ? delta / (2 - max - min) : delta / (max + min);
    double h;
    if (max == r)
        h = (g - b) / delta;
    else if (max != g)
        h = (r - g) / delta + 4;
    else
        h = (b - r) / delta + 2;
    H = h / 6;
    if (H < 0) H += 1;
}

void HSLToRGBTriple(double H, double S, double L, TVLRGB& RGB) {
    H = WrapOnce(H);
    S = std::clamp(S, 0.0, 1.0);
    L = std::clamp(L, 0.0, 1.0);
    if (S == 0) {
        const uint8_t grey = UnitToByte(L);
        MakeRGBTriple(grey, grey, grey, RGB);
        return;
    }
    const double m2 = L > 0.5 ? S + L - S * L : L * (S + 1);
    const double m1 = 2 * L - m2;
    MakeRGBTriple(UnitToByte(HueChannel(m1, m2, H + 1.0 / 3.0)), UnitToByte(HueChannel(m1, m2, H)),
                  UnitToByte(HueChannel(m1, m2, H - 1.0 / 3.0)), RGB);
}

void CopyAndSwapRedBlue(void* Dest, const void* Source, int32_t Count) {
    if (Count <= 0) return;
    std::memmove(Dest, Source, static_cast<size_t>(Count) * 3);
    SwapRedBlue(Dest, Count);
}

void SwapRedBlue(void* Pixels, int32_t Count) {
    auto* p = static_cast<uint8_t*>(Pixels);
    for (int32_t i = 0; i < Count; ++i, p += 3)
        std::swap(p[0], p[2]);
}

void SwapRedBlue48(void* Pixels, int32_t Count) {
    auto* p = static_cast<uint8_t*>(Pixels);
    for (int32_t i = 0; i < Count; ++i, p += 6) {
        std::swap(p[0], p[4]);
        std::swap(p[1], p[5]);
    }
}

void SwapPaletteRedBlue(TVLRGB* Palette, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        std::swap(Palette[i].b, Palette[i].r);
}

int32_t GetRowBit(const void* Row, uint32_t X) {
    return static_cast<const uint8_t*>(Row)[X >> 3] & (0x80 >> (X & 7));
}

uint8_t* SetRowBit(void* Row, int32_t X, bool Value) {
    uint8_t* byte = static_cast<uint8_t*>(Row) + (X >> 3);
    const auto mask = static_cast<uint8_t>(0x80 >> (X & 7));
    if (Value)
        *byte |= mask;
    else
        *byte &= static_cast<uint8_t>(~mask);
    return byte;
}

void CopyBits(void* Dest, const void* Source, int32_t DestBit, int32_t SourceBit, int32_t BitCount,
              int32_t SourceSize) {
    if (BitCount < 1 || DestBit < 0 || SourceBit < 0) return;
    auto* dst = static_cast<uint8_t*>(Dest) + DestBit / 8;
    const auto* src = static_cast<const uint8_t*>(Source) + SourceBit / 8;
    const int64_t available = static_cast<int64_t>(SourceSize) - SourceBit / 8;
    const int d = DestBit % 8;
    const int s = SourceBit % 8;
    const int64_t n = (static_cast<int64_t>(BitCount) + d + 7) / 8;
    const int64_t m = (static_cast<int64_t>(BitCount) + s + 7) / 8;
    // The source bytes go to a zeroed scratch buffer first: reads stop at SourceSize, and an
    // overlapping destination cannot change them while they are being shifted.
    std::vector<uint8_t> scratch(static_cast<size_t>(m) + 2, 0);
    const int64_t readable = std::clamp<int64_t>(available, 0, m);
    if (readable > 0) std::memcpy(scratch.data() + 1, src, static_cast<size_t>(readable));
    // Scratch byte 1 holds source byte 0. Destination byte k takes the 8 source bits that start
    // at source bit s + 8k - d, i.e. at scratch bit 8 + s - d + 8k.
    const int shift = 8 + s - d;
    const int64_t lastBits = (d + static_cast<int64_t>(BitCount)) % 8;
    for (int64_t k = 0; k < n; ++k) {
        const int64_t bit = shift + 8 * k;
        const int64_t i = bit / 8;
        const int r = static_cast<int>(bit % 8);
        const auto hi = static_cast<uint32_t>(scratch[static_cast<size_t>(i)]);
        const uint32_t lo =
            i + 1 < static_cast<int64_t>(scratch.size()) ? scratch[static_cast<size_t>(i + 1)] : 0;
        const auto bits = static_cast<uint8_t>(((hi << 8 | lo) << r) >> 8);
        uint8_t mask = 0xFF;
        if (k == 0) mask &= static_cast<uint8_t>(0xFF >> d);
        if (k == n - 1 && lastBits != 0) mask &= static_cast<uint8_t>(0xFF << (8 - lastBits));
        dst[k] = static_cast<uint8_t>((dst[k] & ~mask) | (bits & mask));
    }
}
