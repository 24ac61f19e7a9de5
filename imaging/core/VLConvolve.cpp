// Histogram matching, 3 x 3 convolution presets, rounded alpha corners and channel order.
#include "imaging/core/VLConvolve.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;
using imaging_core::detail::TruncInt;

namespace {

std::vector<TVLConvolutionKernel> Presets;
std::vector<String> PresetNames;

constexpr TVLConvolutionKernel BlurKernel{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};

// Where a channel's level lies in a pixel: byte Offset, and whether the pixel is 48-bit (the
// level is then the high byte of the word at Offset).
struct TChannel {
    int32_t PixelBytes;
    int32_t Offset;
    bool Wide;
};

// Calls Visit(sample pointer) for the channel's sample of every pixel, rows from the top.
template <typename VisitT> void ForEachSample(TVLBitmap& Bitmap, const TChannel& C, VisitT Visit) {
    TRowPassScope pass(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = CheckedScanline(Bitmap, y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
            Visit(row + static_cast<ptrdiff_t>(x) * C.PixelBytes + C.Offset);
    }
}

uint16_t LoadWord(const uint8_t* P) {
    uint16_t v;
    std::memcpy(&v, P, 2);
    return v;
}

// Maps every sample's level through Table (48-bit samples: level = high byte, written x 257).
void MapChannel(TVLBitmap& Bitmap, const TChannel& C, const std::array<uint8_t, 256>& Table) {
    ForEachSample(Bitmap, C, [&](uint8_t* P) {
        if (C.Wide) {
            const auto v = static_cast<uint16_t>(Table[LoadWord(P) >> 8] * 257);
            std::memcpy(P, &v, 2);
        } else {
            *P = Table[*P];
        }
    });
}

bool ChannelOf(TVLBitmap& Bitmap, int32_t Channel, TChannel& C) {
    if (Channel < 0 || Channel > 2) return false;
    if (Bitmap.GetPixelFormat() == vl24RGB) {
        C = {3, Channel, false};
        return true;
    }
    if (Bitmap.GetPixelFormat() == vlRGB48) {
        C = {6, 4 - 2 * Channel, true};
        return true;
    }
    return false;
}

// The letter's input byte: B 0, G 1, R 2; -1 for anything else.
int32_t ChannelLetter(char16_t Letter) {
    switch (Letter) {
    case u'B':
    case u'b':
        return 0;
    case u'G':
    case u'g':
        return 1;
    case u'R':
    case u'r':
        return 2;
    default:
        return -1;
    }
}

} // namespace

void MatchChannelHistogram(TVLBitmap& Target, int32_t Channel, const TVLHistogram& RefHistogram,
                           int32_t RefCount) {
    TChannel c{};
    if (Target.IsEmpty() || RefCount < 1 || !ChannelOf(Target, Channel, c)) return;
    TVLHistogram h{};
    ForEachSample(Target, c, [&](uint8_t* P) { ++h[c.Wide ? LoadWord(P) >> 8 : *P]; });
    // Equalisation: the cumulative share of each level, on 0 .. 255.
    const double n = static_cast<double>(Target.GetWidth()) * Target.GetHeight();
    std::array<uint8_t, 256> equalised{};
    int64_t cumulative = 0;
    for (int32_t i = 0; i < 256; ++i) {
        cumulative += h[i];
        equalised[i] = static_cast<uint8_t>(std::min<int64_t>(
            255, static_cast<int64_t>(Trunc(static_cast<double>(cumulative) * (255 / n)))));
    }
    MapChannel(Target, c, equalised);
    // The reference's cumulative share, and for each level the nearest one (smallest on ties).
    std::array<double, 256> f{};
    cumulative = 0;
    for (int32_t j = 0; j < 256; ++j) {
        cumulative += RefHistogram[j];
        f[j] = (255.0 / RefCount) * static_cast<double>(cumulative);
    }
    std::array<uint8_t, 256> mapping{};
    for (int32_t i = 0; i < 256; ++i) {
        int32_t best = 0;
        for (int32_t j = 1; j < 256; ++j)
            if (std::abs(i - f[j]) < std::abs(i - f[best])) best = j;
        mapping[i] = static_cast<uint8_t>(best);
    }
    MapChannel(Target, c, mapping);
}

void MatchHistogram(TVLBitmap& Reference, TVLBitmap& Target) {
    if (Reference.GetPixelFormat() != vl24RGB || Reference.IsEmpty() || Target.IsEmpty()) return;
    TVLHistogram histograms[3] = {};
    for (int32_t channel = 0; channel < 3; ++channel)
        ForEachSample(Reference, TChannel{3, channel, false},
                      [&](uint8_t* P) { ++histograms[channel][*P]; });
    const int64_t count = static_cast<int64_t>(Reference.GetWidth()) * Reference.GetHeight();
    if (count > INT32_MAX) return;
    for (int32_t channel = 0; channel < 3; ++channel)
        MatchChannelHistogram(Target, channel, histograms[channel], static_cast<int32_t>(count));
}

void Convolve3x3Gray8(TVLBitmap& Bitmap, const TVLConvolutionKernel& Kernel, int32_t X1, int32_t Y1,
                      int32_t X2, int32_t Y2) {
    if (Bitmap.GetPixelFormat() != vl8g) return;
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, w);
    Y2 = std::min(Y2, h);
    if (X2 <= X1 || Y2 <= Y1) return;
    const int32_t divisor = Kernel.Divisor == 0 ? 1 : Kernel.Divisor;
    // Table k holds weight k times every level.
    std::vector<int32_t> products(9 * 256);
    for (int32_t k = 0; k < 9; ++k)
        for (int32_t v = 0; v < 256; ++v)
            products[static_cast<size_t>(k * 256 + v)] = Kernel.Weights[k] * v;
    const int32_t cw = X2 - X1;
    std::vector<uint8_t> result(static_cast<size_t>(cw) * (Y2 - Y1));
    {
        TRowPassScope reading(Bitmap, VLAccessRead);
        std::vector<uint8_t> rows[3];
        for (int32_t y = Y1; y < Y2; ++y) {
            for (int32_t r = 0; r < 3; ++r) {
                const int32_t sy = std::clamp(y - 1 + r, 0, h - 1);
                const uint8_t* src = CheckedScanline(Bitmap, sy);
                rows[r].assign(src, src + w);
            }
            uint8_t* out = &result[static_cast<size_t>(y - Y1) * cw];
            for (int32_t x = X1; x < X2; ++x) {
                const int32_t cols[3] = {std::max(x - 1, 0), x, std::min(x + 1, w - 1)};
                int64_t sum = 0;
                for (int32_t r = 0; r < 3; ++r)
                    for (int32_t c = 0; c < 3; ++c)
                        sum += products[static_cast<size_t>((r * 3 + c) * 256 + rows[r][cols[c]])];
                out[x - X1] = ClampToByte(static_cast<int32_t>(
                    std::min<int64_t>(std::llabs(sum) / std::abs(int64_t{divisor}), 256)));
            }
        }
    }
    TRowPassScope writing(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = Y1; y < Y2; ++y)
        std::memcpy(CheckedScanline(Bitmap, y) + X1, &result[static_cast<size_t>(y - Y1) * cw],
                    static_cast<size_t>(cw));
}

void AddConvolutionPreset(const TVLConvolutionKernel& Kernel, const String& Name) {
    Presets.push_back(Kernel);
    PresetNames.push_back(Name);
}

void CreateConvolutionPresets() {
    FreeConvolutionPresets();
    AddConvolutionPreset({{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0}, u"None");
    AddConvolutionPreset(BlurKernel, u"Blur");
    AddConvolutionPreset({{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1}, u"Edges");
    AddConvolutionPreset({{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1}, u"Emboss");
    AddConvolutionPreset({{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}, u"High Pass 1");
    AddConvolutionPreset({{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}, u"High Pass 2");
    AddConvolutionPreset({{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}, u"High Pass 3");
    AddConvolutionPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10}, u"Low Pass 1");
    AddConvolutionPreset({{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}, u"Low Pass 2");
}

void FreeConvolutionPresets() {
    Presets.clear();
    PresetNames.clear();
}

const std::vector<TVLConvolutionKernel>& ConvolutionPresets() {
    return Presets;
}

const std::vector<String>& ConvolutionPresetNames() {
    return PresetNames;
}

TVLConvolutionKernel BlurPreset() {
    return BlurKernel;
}

void RoundAlphaCorners(TVLBitmap& Bitmap, int32_t RadiusX, int32_t RadiusY) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    if (w <= 0 || h <= 0 || RadiusX <= 0 || RadiusY <= 0) return;
    TVLBitmap* alpha = Bitmap.GetAlphaChannel();
    if (alpha == nullptr) return;
    // Points of the curve beyond one per pixel of the image's sides change nothing.
    const int64_t n = std::min<int64_t>(int64_t{RadiusX} + RadiusY, 2 * (int64_t{w} + h));
    std::vector<TPoint> top(static_cast<size_t>(n)), bottom(static_cast<size_t>(n));
    BezierPoints(TPoint{0, RadiusY}, TPoint{0, 0}, TPoint{RadiusX, 0}, TPoint{RadiusX, 0},
                 top.data(), static_cast<int32_t>(n));
    BezierPoints(TPoint{w, h - RadiusY}, TPoint{w, h}, TPoint{w - RadiusX, h},
                 TPoint{w - RadiusX, h}, bottom.data(), static_cast<int32_t>(n));
    // The union of the rectangles each point spans with its corner, as a clear span per row:
    // columns 0 .. reach[r] from the left edge (and mirrored from the right).
    std::vector<int32_t> reach(static_cast<size_t>(h), -1);
    for (const TPoint& p : top) {
        const int32_t x = std::min(p.X, w - 1), y = std::min(p.Y, h - 1);
        for (int32_t r = 0; r <= y; ++r)
            reach[r] = std::max(reach[r], x);
    }
    // Bottom points clear columns x .. w - 1 of rows y .. h - 1: in mirror, 0 .. w - 1 - x.
    for (const TPoint& p : bottom) {
        const int32_t x = std::max(p.X, 0), y = std::max(p.Y, 0);
        for (int32_t r = y; r < h; ++r)
            reach[r] = std::max(reach[r], w - 1 - x);
    }
    {
        TRowPassScope pass(*alpha, VLAccessRead | VLAccessWrite);
        for (int32_t r = 0; r < h; ++r) {
            if (reach[r] < 0) continue;
            uint8_t* row = CheckedScanline(*alpha, r);
            const size_t span = static_cast<size_t>(reach[r]) + 1;
            std::memset(row, 0, span);
            std::memset(row + w - span, 0, span);
        }
    }
    alpha->SyncFull();
}

void ReorderChannels(TVLBitmap& Bitmap, const String& Order, TObject* Sender,
                     const TVLProgressEvent& OnProgress) {
    if (Bitmap.GetPixelFormat() != vl24RGB || Order.size() != 3) return;
    int32_t source[3];
    for (int32_t i = 0; i < 3; ++i)
        source[i] = ChannelLetter(Order[i]);
    int32_t sorted[3] = {source[0], source[1], source[2]};
    std::sort(sorted, sorted + 3);
    if (sorted[0] != 0 || sorted[1] != 1 || sorted[2] != 2) return;
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    const TProgressReporter progress(OnProgress, Sender);
    TRowPassScope pass(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = CheckedScanline(Bitmap, y);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            const uint8_t in[3] = {p[0], p[1], p[2]};
            for (int32_t i = 0; i < 3; ++i)
                p[i] = in[source[i]];
        }
        progress.Report(TruncInt(static_cast<double>(y) / h * 100));
    }
}
