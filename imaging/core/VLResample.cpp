// The resampling engine: entry points that choose the resampler for the source's pixel format
// and the filter, and the two-pass kernel resampler with its filter table.
#include "imaging/core/VLResample.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLResampleFast.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

using enum TVLPixelFormat;
using namespace imaging_core::detail;

namespace {

int32_t ClampToByte(int32_t Value) {
    return Value < 0 ? 0 : (Value > 255 ? 255 : Value);
}

int32_t FloorToInt(double X) {
    return static_cast<int32_t>(std::floor(X));
}

int32_t CeilToInt(double X) {
    return static_cast<int32_t>(std::ceil(X));
}

double TriangleFilter(double x) {
    const double t = std::fabs(x);
    return t < 1 ? 1 - t : 0;
}

double HermiteFilter(double x) {
    const double t = std::fabs(x);
    return t < 1 ? (2 * t - 3) * t * t + 1 : 0;
}

double BellFilter(double x) {
    const double t = std::fabs(x);
    if (t < 0.5) return 0.75 - t * t;
    if (t < 1.5) return (t - 1.5) * (t - 1.5) * 0.5;
    return 0;
}

double BSplineFilter(double x) {
    const double t = std::fabs(x);
    if (t < 1) return t * t * t / 2 - t * t + 2.0 / 3;
    if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
    return 0;
}

double Sinc(double x) {
    if (x == 0) return 1;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double Lanczos3Filter(double x) {
    const double t = std::fabs(x);
    return t < 3 ? Sinc(t) * Sinc(t / 3) : 0;
}

// The cubic with B = C = 1/3.
double MitchellFilter(double x) {
    const double t = std::fabs(x);
    if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3) / 6;
    if (t < 2) return (-(7.0 / 3) * t * t * t + 12 * t * t - 20 * t + 32.0 / 3) / 6;
    return 0;
}

// Not symmetric: 1 at +0.5 and 0 at -0.5, so a centre half-way takes the left pixel.
double BoxFilter(double x) {
    return x > -0.5 && x <= 0.5 ? 1 : 0;
}

double LinearFilter(double x) {
    return x >= -1 && x < 1 ? 1 - std::fabs(x) : 0;
}

struct TFilterRow {
    double (*Function)(double);
    double Support;
};

// Rows for rfTriangle to rfLinear.
constexpr std::array<TFilterRow, 8> FilterTable = {{{TriangleFilter, 1.0},
                                                    {HermiteFilter, 1.0},
                                                    {BellFilter, 1.5},
                                                    {BSplineFilter, 2.0},
                                                    {Lanczos3Filter, 3.0},
                                                    {MitchellFilter, 2.0},
                                                    {BoxFilter, 1.0},
                                                    {LinearFilter, 1.0}}};

bool IsKernelFilter(TResampleFilter Filter) {
    return Filter >= rfTriangle && Filter <= rfLinear;
}

// Weights are fixed point with this many fraction bits, and every list sums to exactly one, so a
// flat image stays flat at any reduction. Sums of weight x byte stay far inside 32 bits.
constexpr int WeightBits = 20;
constexpr int32_t WeightOne = 1 << WeightBits;

// The contributors of every destination column (or row) i: entries Start[i] to Start[i + 1] - 1
// of Offset (source index times the stride) and Weight.
struct TContributors {
    std::vector<int32_t> Start;
    std::vector<int32_t> Offset;
    std::vector<int32_t> Weight;
};

// Source index of a filter tap: reflected at the edges, then clamped into the image. The left
// reflection skips the edge pixel (-1 reads 1), the right one repeats it (SW reads SW - 1).
int32_t ReflectIndex(int64_t j, int32_t Size) {
    if (j < 0) j = -j;
    if (j >= Size) j = 2 * static_cast<int64_t>(Size) - 1 - j;
    return static_cast<int32_t>(std::clamp<int64_t>(j, 0, Size - 1));
}

// Appends the taps of one destination position with centre c: the filter sampled at the source
// positions, scaled to WeightOne in total, the rounding remainder given to the largest tap.
void AppendTaps(TContributors& List, const TFilterRow& Filter, double c, double Width, double s,
                int32_t SrcSize, int32_t Stride, std::vector<double>& Values,
                std::vector<int32_t>& Weights) {
    const int64_t from = FloorToInt(c - Width);
    const int64_t to = CeilToInt(c + Width);
    Values.clear();
    double total = 0;
    for (int64_t j = from; j <= to; ++j) {
        const double v = Filter.Function((c - j) / s) / s;
        Values.push_back(v);
        total += v;
    }
    Weights.resize(Values.size());
    int64_t sum = 0;
    size_t largest = 0;
    for (size_t k = 0; k < Values.size(); ++k) {
        Weights[k] = static_cast<int32_t>(std::nearbyint(Values[k] / total * WeightOne));
        sum += Weights[k];
        if (std::fabs(Values[k]) > std::fabs(Values[largest])) largest = k;
    }
    Weights[largest] += static_cast<int32_t>(WeightOne - sum);
    for (size_t k = 0; k < Weights.size(); ++k) {
        if (Weights[k] == 0) continue;
        List.Offset.push_back(ReflectIndex(from + static_cast<int64_t>(k), SrcSize) * Stride);
        List.Weight.push_back(Weights[k]);
    }
}

TContributors BuildContributors(int32_t SrcSize, int32_t DstSize, const TFilterRow& Filter,
                                int32_t Stride) {
    // The first and last source pixels land exactly on the first and last destination pixels.
    const double scale = SrcSize == 1 || DstSize == 1
                             ? static_cast<double>(DstSize) / SrcSize
                             : static_cast<double>(DstSize - 1) / (SrcSize - 1);
    const double width = scale >= 1 ? Filter.Support : Filter.Support / scale;
    const double s = scale >= 1 ? 1 : 1 / scale;
    TContributors list;
    list.Start.reserve(static_cast<size_t>(DstSize) + 1);
    std::vector<double> values;
    std::vector<int32_t> weights;
    for (int32_t i = 0; i < DstSize; ++i) {
        list.Start.push_back(static_cast<int32_t>(list.Offset.size()));
        AppendTaps(list, Filter, i / scale, width, s, SrcSize, Stride, values, weights);
    }
    list.Start.push_back(static_cast<int32_t>(list.Offset.size()));
    return list;
}

// One row of the horizontal pass: Channels bytes per pixel in and out.
template <int Channels>
void KernelRow(const uint8_t* Source, uint8_t* Dest, const TContributors& List, int32_t DW) {
    for (int32_t i = 0; i < DW; ++i) {
        int32_t sums[Channels] = {};
        for (int32_t k = List.Start[i]; k < List.Start[i + 1]; ++k) {
            const uint8_t* p = Source + List.Offset[k];
            const int32_t w = List.Weight[k];
            for (int c = 0; c < Channels; ++c)
                sums[c] += w * p[c];
        }
        for (int c = 0; c < Channels; ++c)
            *Dest++ = static_cast<uint8_t>(ClampToByte(sums[c] >> WeightBits));
    }
}

// One row of the vertical pass: every byte of the listed intermediate rows, in row order.
void KernelColumnRow(TIntermediate& Rows, const TContributors& List, int32_t Y,
                     std::vector<int32_t>& Sums, uint8_t* Dest) {
    std::fill(Sums.begin(), Sums.end(), 0);
    const size_t bytes = Rows.RowBytes;
    int32_t* sums = Sums.data();
    for (int32_t k = List.Start[Y]; k < List.Start[Y + 1]; ++k) {
        const uint8_t* row = Rows.Row(List.Offset[k]);
        const int32_t w = List.Weight[k];
        for (size_t x = 0; x < bytes; ++x)
            sums[x] += w * row[x];
    }
    for (size_t x = 0; x < bytes; ++x)
        Dest[x] = static_cast<uint8_t>(ClampToByte(sums[x] >> WeightBits));
}

// What the kernel resampler reads and writes.
enum class TKernelPixels { Rgb24, Gray8, BitsToGray24 };

template <TKernelPixels Pixels>
void KernelResample(TVLBitmap& Source, TVLBitmap& Dest, const TFilterRow& Filter,
                    TProgressReporter& Progress) {
    constexpr int channels = Pixels == TKernelPixels::Rgb24 ? 3 : 1;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || (SW < 2 && SH < 2) || DW <= 0 || DH <= 0) return;
    const double factor = 100 / (SH + DH + 0.5);

    TIntermediate rows(DW, SH, channels);
    {
        const TContributors columns = BuildContributors(SW, DW, Filter, channels);
        std::vector<uint8_t> expanded(Pixels == TKernelPixels::BitsToGray24 ? SW : 0);
        TRowPassScope reading(Source, VLAccessRead);
        for (int32_t y = 0; y < SH; ++y) {
            const uint8_t* src = CheckedScanline(Source, y);
            if constexpr (Pixels == TKernelPixels::BitsToGray24) {
                for (int32_t x = 0; x < SW; ++x)
                    expanded[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) != 0 ? 255 : 0;
                src = expanded.data();
            }
            KernelRow<channels>(src, rows.Row(y), columns, DW);
            Progress.ReportChange(TruncInt((y + 1) * factor));
        }
    }
    const TContributors lines = BuildContributors(SH, DH, Filter, 1);
    std::vector<int32_t> sums(rows.RowBytes);
    std::vector<uint8_t> out(rows.RowBytes);
    TRowPassScope writing(Dest, VLAccessWrite);
    for (int32_t y = 0; y < DH; ++y) {
        KernelColumnRow(rows, lines, y, sums, out.data());
        if constexpr (Pixels == TKernelPixels::BitsToGray24)
            StoreGrayAs24(Dest, y, out.data(), DW);
        else
            StoreRow(Dest, y, out.data(), out.size());
        Progress.ReportChange(TruncInt((y + SH + 1) * factor));
    }
}

const TFilterRow& FilterRowOf(TResampleFilter Filter) {
    return FilterTable[Filter - rfTriangle];
}

} // namespace

void _ResampleEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                 const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest) return;
    const TVLPixelFormat format = Source.GetPixelFormat();
    const bool area = Filter == rfBicubic || Filter == rfBilinear;
    if (area && (format == vl24RGB || format == vl8g)) {
        ResampleBilinearBicubic8(Source, Dest, Filter == rfBicubic, OnProgress, Sender);
    } else if (area && (format == vlRGB48 || format == vl16g)) {
        ResampleBilinearBicubic16(Source, Dest, Filter == rfBicubic, OnProgress, Sender);
    } else if (format == vl8g) {
        _Resample8BitEx(Source, Dest, Filter);
    } else if (format != vl24RGB) {
        return;
    } else if (Filter == rfFastLinear) {
        ResampleFastLinear24(Source, Dest, OnProgress, Sender);
    } else if (Filter == rfProjectBW || Filter == rfProjectWB) {
        ProjectResample24(Source, Dest, Filter == rfProjectWB, OnProgress, Sender);
    } else if (IsKernelFilter(Filter) && Dest.GetPixelFormat() == vl24RGB) {
        TProgressReporter progress(OnProgress, Sender);
        KernelResample<TKernelPixels::Rgb24>(Source, Dest, FilterRowOf(Filter), progress);
    }
}

void _Resample8BitEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter) {
    if (&Source == &Dest || Source.GetBitCount() != 8 || Dest.GetBitCount() != 8) return;
    switch (Filter) {
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
    case rfProjectBW:
    case rfProjectWB:
        ResampleFast8Bit(Source, Dest);
        break;
    default:
        if (IsKernelFilter(Filter)) {
            TProgressReporter none;
            KernelResample<TKernelPixels::Gray8>(Source, Dest, FilterRowOf(Filter), none);
        }
        break;
    }
}

void _Resample1BitEx(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter) {
    if (&Source == &Dest || Source.GetPixelFormat() != vl1g) return;
    switch (Filter) {
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
        ResampleFast1Bit(Source, Dest);
        break;
    case rfProjectBW:
    case rfProjectWB:
        ProjectResample1Bit(Source, Dest, Filter == rfProjectWB);
        break;
    default:
        if (IsKernelFilter(Filter) && Dest.GetPixelFormat() == vl24RGB) {
            TProgressReporter none;
            KernelResample<TKernelPixels::BitsToGray24>(Source, Dest, FilterRowOf(Filter), none);
        }
        break;
    }
}
