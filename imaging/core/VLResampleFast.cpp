// Fast linear resamplers (integer arithmetic, 17-bit fractions), black-and-white to grey
// reduction and the black-and-white projection resamplers that keep thin lines.
#include "imaging/core/VLResampleFast.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLResample.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SV_FAST_SPAN_VECTORS 1
#endif

using enum TVLPixelFormat;
using namespace imaging_core::detail;

namespace {

// Positions between two source pixels are kept in units of 1/131072.
constexpr int32_t FractionBits = 17;
constexpr double FractionScale = 131072;

// Per destination column: the source column at or left of its position, the position's
// fraction, and the start of the next column's span (the end of this column's span).
struct TFastColumns {
    std::vector<int32_t> X0;
    std::vector<int32_t> Frac;
    std::vector<int32_t> X1;
};

TFastColumns BuildFastColumns(int32_t SW, int32_t DW, double xs) {
    TFastColumns columns;
    columns.X0.resize(DW);
    columns.Frac.resize(DW);
    columns.X1.resize(DW);
    for (int32_t i = 0; i < DW; ++i) {
        const double position = i / xs;
        const int32_t x0 = TruncInt(position);
        columns.X0[i] = std::min(x0, SW - 1);
        columns.Frac[i] = TruncInt((position - x0) * FractionScale);
        columns.X1[i] = std::min(TruncInt(std::min(i + 1, DW - 1) / xs + 1e-10), SW - 1);
    }
    return columns;
}

// Truncating division by a fixed divisor through one 64-bit multiply; exact for numerators up
// to 255 x divisor while the divisor stays below 2^24 / 16 (larger ones divide).
class TMeanDivider {
public:
    explicit TMeanDivider(uint32_t Divisor)
        : FDivisor(Divisor),
          FMultiplier(Divisor <= MaxFastDivisor ? (uint64_t{1} << Shift) / Divisor + 1 : 0) {}
    uint32_t Divide(uint64_t Sum) const {
        return static_cast<uint32_t>(FMultiplier != 0 ? (Sum * FMultiplier) >> Shift
                                                      : Sum / FDivisor);
    }

private:
    static constexpr int Shift = 48;
    static constexpr uint32_t MaxFastDivisor = 1000000;
    uint32_t FDivisor;
    uint64_t FMultiplier;
};

uint8_t Interpolate(int32_t A, int32_t B, int32_t Frac) {
    // The product is signed: the shift rounds toward minus infinity.
    return static_cast<uint8_t>(A + (((B - A) * Frac) >> FractionBits));
}

// Destination row Y of an enlargement by Ys rows per source row: the Count bytes of the two
// source rows around it, interpolated by the fraction between them. Rows.Row(y) gives the
// horizontal pass's row y.
template <class AcrossRows>
void InterpolateRow(AcrossRows& Rows, int32_t SH, double Ys, int32_t Y, size_t Count,
                    uint8_t* Out) {
    const double t = Y / Ys;
    const int32_t y0 = std::min(TruncInt(t), SH - 1);
    const int32_t f = TruncInt((t - y0) * FractionScale);
    const uint8_t* r0 = Rows.Row(y0);
    const uint8_t* r1 = Rows.Row(std::min(y0 + 1, SH - 1));
    for (size_t x = 0; x < Count; ++x)
        Out[x] = Interpolate(r0[x], r1[x], f);
}

template <int Channels>
void InterpolateColumns(const uint8_t* Source, uint8_t* Dest, const TFastColumns& Columns,
                        int32_t SW) {
    const auto DW = static_cast<int32_t>(Columns.X0.size());
    for (int32_t i = 0; i < DW; ++i) {
        const uint8_t* a = Source + Columns.X0[i] * Channels;
        const uint8_t* b = Source + std::min(Columns.X0[i] + 1, SW - 1) * Channels;
        const int32_t frac = Columns.Frac[i];
        for (int c = 0; c < Channels; ++c)
            *Dest++ = Interpolate(a[c], b[c], frac);
    }
}

template <int Channels>
void AverageColumns(const uint8_t* Source, uint8_t* Dest, const TFastColumns& Columns,
                    const std::vector<TMeanDivider>& Dividers) {
    const auto DW = static_cast<int32_t>(Columns.X0.size());
    for (int32_t i = 0; i < DW; ++i) {
        uint64_t sums[Channels] = {};
        const uint8_t* p = Source + Columns.X0[i] * Channels;
        const uint8_t* end = Source + (Columns.X1[i] + 1) * Channels;
        for (; p < end; p += Channels)
            for (int c = 0; c < Channels; ++c)
                sums[c] += p[c];
        for (int c = 0; c < Channels; ++c)
            *Dest++ = static_cast<uint8_t>(Dividers[i].Divide(sums[c]));
    }
}

#if defined(SV_FAST_SPAN_VECTORS)
// Byte selections of one 16-byte load of three-channel pixels: for spans of 1 to 5 pixels, the
// first channel's bytes into lanes 0..4 and the second's into lanes 8..12 (Low), the third's
// into lanes 0..4 (High); the other lanes are cleared.
struct TSpanShuffles {
    __m128i Low[6]{}, High[6]{};
    TSpanShuffles() {
        for (int n = 1; n <= 5; ++n) {
            alignas(16) int8_t low[16], high[16];
            std::fill_n(low, 16, int8_t{-128});
            std::fill_n(high, 16, int8_t{-128});
            for (int j = 0; j < n; ++j) {
                low[j] = static_cast<int8_t>(3 * j);
                low[8 + j] = static_cast<int8_t>(3 * j + 1);
                high[j] = static_cast<int8_t>(3 * j + 2);
            }
            Low[n] = _mm_load_si128(reinterpret_cast<const __m128i*>(low));
            High[n] = _mm_load_si128(reinterpret_cast<const __m128i*>(high));
        }
    }
};

const TSpanShuffles& SpanShuffles() {
    static const TSpanShuffles shuffles;
    return shuffles;
}

bool SpanVectorsAvailable() {
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

bool Avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available && ResampleAvx2Kernels;
}

// The three channel sums of the pixels X .. End - 1 of a row of SW pixels, five pixels per load:
// the bytes of a channel are gathered into one half of a register and added up by a sum of
// absolute differences with zero. Loads that would pass the row's last pixel are summed byte by
// byte.
__attribute__((target("ssse3"))) void SpanSums3(const uint8_t* Source, int32_t x, int32_t End,
                                                int32_t SW, uint64_t* Sums) {
    const TSpanShuffles& shuffles = SpanShuffles();
    const __m128i zero = _mm_setzero_si128();
    __m128i first = zero, third = zero;
    while (x < End) {
        const int32_t n = std::min(End - x, 5);
        if (3 * x + 16 > 3 * SW) {
            for (; x < End; ++x)
                for (int c = 0; c < 3; ++c)
                    Sums[c] += Source[3 * x + c];
            break;
        }
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + 3 * x));
        first = _mm_add_epi64(first, _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.Low[n]), zero));
        third = _mm_add_epi64(third, _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.High[n]), zero));
        x += n;
    }
    Sums[0] += static_cast<uint64_t>(_mm_cvtsi128_si64(first));
    Sums[1] += static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(first, first)));
    Sums[2] += static_cast<uint64_t>(_mm_cvtsi128_si64(third));
}

// AverageColumns<3> with SpanSums3: the sums, and so the means, are those of the plain loop.
__attribute__((target("ssse3"))) void
AverageColumns3Vector(const uint8_t* Source, uint8_t* Dest, const TFastColumns& Columns,
                      const std::vector<TMeanDivider>& Dividers, int32_t SW, int32_t From) {
    const auto DW = static_cast<int32_t>(Columns.X0.size());
    for (int32_t i = From; i < DW; ++i) {
        uint64_t sums[3] = {};
        SpanSums3(Source, Columns.X0[i], Columns.X1[i] + 1, SW, sums);
        for (int c = 0; c < 3; ++c)
            Dest[3 * i + c] = static_cast<uint8_t>(Dividers[i].Divide(sums[c]));
    }
}

// For two spans of 1 to 5 pixels side by side, one per 16-byte half: the byte selections of
// TSpanShuffles, and the multipliers that divide by the pixel counts, 65536 / n + 1 on the
// three channel lanes. (S x M) >> 16 is S div n while S x n < 65536, which holds for sums of
// at most 5 bytes.
struct TSpanPairTables {
    alignas(32) int8_t Low[6][6][32]{}, High[6][6][32]{};
    alignas(32) int32_t Multiplier[6][6][8]{};
    TSpanPairTables() {
        const TSpanShuffles& single = SpanShuffles();
        for (int a = 1; a <= 5; ++a)
            for (int b = 1; b <= 5; ++b) {
                _mm_store_si128(reinterpret_cast<__m128i*>(Low[a][b]), single.Low[a]);
                _mm_store_si128(reinterpret_cast<__m128i*>(Low[a][b] + 16), single.Low[b]);
                _mm_store_si128(reinterpret_cast<__m128i*>(High[a][b]), single.High[a]);
                _mm_store_si128(reinterpret_cast<__m128i*>(High[a][b] + 16), single.High[b]);
                for (int c = 0; c < 3; ++c) {
                    Multiplier[a][b][c] = 65536 / a + 1;
                    Multiplier[a][b][4 + c] = 65536 / b + 1;
                }
            }
    }
};

// The long spans' pixels ten at a time, five per 16-byte half; the rest as SpanSums3 does.
__attribute__((target("avx2"))) void SpanSums3Avx2(const uint8_t* Source, int32_t x, int32_t End,
                                                   int32_t SW, uint64_t* Sums) {
    const TSpanShuffles& shuffles = SpanShuffles();
    const __m256i low = _mm256_set_m128i(shuffles.Low[5], shuffles.Low[5]);
    const __m256i high = _mm256_set_m128i(shuffles.High[5], shuffles.High[5]);
    const __m256i zero = _mm256_setzero_si256();
    __m256i first = zero, third = zero;
    for (; x + 10 <= End && 3 * (x + 5) + 16 <= 3 * SW; x += 10) {
        const uint8_t* p = Source + 3 * x;
        const __m256i v = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 15),
                                              reinterpret_cast<const __m128i*>(p));
        first = _mm256_add_epi64(first, _mm256_sad_epu8(_mm256_shuffle_epi8(v, low), zero));
        third = _mm256_add_epi64(third, _mm256_sad_epu8(_mm256_shuffle_epi8(v, high), zero));
    }
    const __m128i firstSum =
        _mm_add_epi64(_mm256_castsi256_si128(first), _mm256_extracti128_si256(first, 1));
    const __m128i thirdSum =
        _mm_add_epi64(_mm256_castsi256_si128(third), _mm256_extracti128_si256(third, 1));
    Sums[0] += static_cast<uint64_t>(_mm_cvtsi128_si64(firstSum));
    Sums[1] += static_cast<uint64_t>(_mm_extract_epi64(firstSum, 1));
    Sums[2] += static_cast<uint64_t>(_mm_cvtsi128_si64(thirdSum));
    SpanSums3(Source, x, End, SW, Sums);
}

// AverageColumns<3> with AVX2: two neighbouring spans of at most five pixels are summed and
// divided together, one per 16-byte half; other spans go through SpanSums3Avx2. The means are
// those of the plain loop.
__attribute__((target("avx2"))) void AverageColumns3Avx2(const uint8_t* Source, uint8_t* Dest,
                                                         const TFastColumns& Columns,
                                                         const std::vector<TMeanDivider>& Dividers,
                                                         int32_t SW) {
    static const TSpanPairTables tables;
    const auto DW = static_cast<int32_t>(Columns.X0.size());
    const __m256i zero = _mm256_setzero_si256();
    // Bytes 0, 4 and 8 of each half: to 0..2 from the low half, to 3..5 from the high one.
    const __m256i gather = _mm256_setr_epi8(
        0, 4, 8, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128,
        -128, -128, 0, 4, 8, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128);
    int32_t i = 0;
    for (; i + 2 <= DW; i += 2) {
        const int32_t x0 = Columns.X0[i], x1 = Columns.X0[i + 1];
        const int32_t n0 = Columns.X1[i] + 1 - x0, n1 = Columns.X1[i + 1] + 1 - x1;
        if (n0 <= 5 && n1 <= 5 && 3 * x1 + 16 <= 3 * SW) {
            const __m256i v =
                _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(Source + 3 * x1),
                                    reinterpret_cast<const __m128i*>(Source + 3 * x0));
            const __m256i first = _mm256_sad_epu8(
                _mm256_shuffle_epi8(
                    v, _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.Low[n0][n1]))),
                zero);
            const __m256i third = _mm256_sad_epu8(
                _mm256_shuffle_epi8(
                    v, _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.High[n0][n1]))),
                zero);
            // Channel sums as the 32-bit lanes (c0, c1, c2, 0) of each half.
            const __m256i sums = _mm256_or_si256(_mm256_shuffle_epi32(first, 0xF8),
                                                 _mm256_shuffle_epi32(third, 0xCF));
            const __m256i means = _mm256_srli_epi32(
                _mm256_mullo_epi32(sums, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                             tables.Multiplier[n0][n1]))),
                16);
            const __m256i bytes = _mm256_shuffle_epi8(means, gather);
            const __m128i six =
                _mm_or_si128(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
            const auto packed = static_cast<uint64_t>(_mm_cvtsi128_si64(six));
            std::memcpy(Dest + 3 * i, &packed, 6);
            continue;
        }
        for (int32_t k = i; k < i + 2; ++k) {
            uint64_t sums[3] = {};
            SpanSums3Avx2(Source, Columns.X0[k], Columns.X1[k] + 1, SW, sums);
            for (int c = 0; c < 3; ++c)
                Dest[3 * k + c] = static_cast<uint8_t>(Dividers[k].Divide(sums[c]));
        }
    }
    AverageColumns3Vector(Source, Dest, Columns, Dividers, SW, i);
}
#endif

// One source row reduced or interpolated across into Out (DW pixels).
template <int Channels>
void FastRowAcross(const uint8_t* Source, uint8_t* Out, const TFastColumns& Columns,
                   const std::vector<TMeanDivider>& Dividers, int32_t SW, bool Enlarge) {
    if (Enlarge) return InterpolateColumns<Channels>(Source, Out, Columns, SW);
#if defined(SV_FAST_SPAN_VECTORS)
    if (Channels == 3 && ResampleVectorKernels && SpanVectorsAvailable()) {
        if (Avx2Available()) return AverageColumns3Avx2(Source, Out, Columns, Dividers, SW);
        return AverageColumns3Vector(Source, Out, Columns, Dividers, SW, 0);
    }
#endif
    AverageColumns<Channels>(Source, Out, Columns, Dividers);
}

// Truncating means of rows Y0 to Y1 of the horizontal pass (Bytes bytes each). SumT holds 255 x
// the rows.
template <typename SumT, class AcrossRows>
void MeanOfRows(AcrossRows& Rows, size_t Bytes, int32_t Y0, int32_t Y1, std::vector<SumT>& Sums,
                uint8_t* Out) {
    Sums.assign(Bytes, 0);
    SumT* sums = Sums.data();
    for (int32_t r = Y0; r <= Y1; ++r) {
        const uint8_t* row = Rows.Row(r);
        for (size_t x = 0; x < Bytes; ++x)
            sums[x] += row[x];
    }
    const TMeanDivider divider(Y1 - Y0 + 1);
    for (size_t x = 0; x < Bytes; ++x)
        Out[x] = static_cast<uint8_t>(divider.Divide(sums[x]));
}

// The horizontal pass's rows kept whole.
struct TWholeAcross {
    TIntermediate& Rows;
    const uint8_t* Row(int32_t Y) { return Rows.Row(Y); }
};

// The horizontal pass's rows computed as a band of destination rows first asks for them. Rows
// are asked for in rising order and a destination row reads at most one row of the one before
// it (the boundary its span shares, or the upper row of an interpolation), so two rows are kept.
template <class Compute> class TAcrossWindow {
public:
    TAcrossWindow(size_t RowBytes, const Compute& Across)
        : FBytes(RowBytes), FPixels(2 * RowBytes), FAcross(Across) {}
    const uint8_t* Row(int32_t Y) {
        for (int k = 0; k < 2; ++k)
            if (FRow[k] == Y) return FPixels.data() + k * FBytes;
        const int k = FRow[0] <= FRow[1] ? 0 : 1;
        FRow[k] = Y;
        uint8_t* out = FPixels.data() + k * FBytes;
        FAcross(Y, out);
        return out;
    }

private:
    size_t FBytes;
    std::vector<uint8_t> FPixels;
    const Compute& FAcross;
    int32_t FRow[2] = {-1, -1};
};

// Vertical pass of the fast family into RowOut(y, bytes): interpolated rows when enlarging,
// truncating means of row spans otherwise, over the rows BandRows() gives each band.
// Progress continues from the horizontal pass. Rows run in bands on the library's threads
// when Bands.
template <class BandRows, class RowOut>
void FastVerticalPass(size_t Bytes, int32_t SH, int32_t DH, TProgressReporter& Progress,
                      double Factor, bool Bands, const BandRows& MakeRows, RowOut&& Output) {
    const double ys = static_cast<double>(DH) / SH;
    // 32-bit sums add four bytes per vector lane; spans of more rows need 64 bits.
    const bool narrowSums = SH <= static_cast<int32_t>(UINT32_MAX / 255);
    RunRows(Bands, DH, [&](int32_t First, int32_t Last) {
        auto rows = MakeRows();
        std::vector<uint8_t> out(Bytes);
        std::vector<uint32_t> sums32;
        std::vector<uint64_t> sums64;
        for (int32_t y = First; y < Last; ++y) {
            if (ys > 1) {
                InterpolateRow(rows, SH, ys, y, Bytes, out.data());
            } else {
                const int32_t y0 = std::min(TruncInt(y / ys), SH - 1);
                const int32_t y1 = std::min(TruncInt(std::min(y + 1, DH - 1) / ys), SH - 1);
                if (narrowSums)
                    MeanOfRows(rows, Bytes, y0, y1, sums32, out.data());
                else
                    MeanOfRows(rows, Bytes, y0, y1, sums64, out.data());
            }
            Output(y, out.data());
            Progress.Report(TruncInt((y + SH) * Factor));
        }
    });
}

// Resamples the part of Source with its top-left pixel at (Left, Top) and SW x SH pixels.
template <int Channels>
void FastLinear(TVLBitmap& Source, int32_t Left, int32_t Top, int32_t SW, int32_t SH,
                TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const double xs = static_cast<double>(DW) / SW;
    const TFastColumns columns = BuildFastColumns(SW, DW, xs);
    std::vector<TMeanDivider> dividers;
    if (xs <= 1)
        for (int32_t i = 0; i < DW; ++i)
            dividers.emplace_back(columns.X1[i] - columns.X0[i] + 1);
    const double factor = 100 / (SH + DH + 0.5);
    const size_t bytes = static_cast<size_t>(DW) * Channels;
    const auto across = [&](int32_t Y, uint8_t* Out) {
        FastRowAcross<Channels>(CheckedScanline(Source, Top + Y) +
                                    static_cast<size_t>(Left) * Channels,
                                Out, columns, dividers, SW, xs > 1);
    };
    const auto store = [&](int32_t y, const uint8_t* pixels) { StoreRow(Dest, y, pixels, bytes); };
    TRowPassScope reading(Source, VLAccessRead);
    if (!Progress.Active()) {
        // Each band of destination rows computes the source rows it reads as it goes: no
        // intermediate image, and every row it reads is computed as in the passes below.
        TRowPassScope writing(Dest, VLAccessWrite);
        const bool bands = RowBandsAllowed(Source, Dest, Progress);
        FastVerticalPass(
            bytes, SH, DH, Progress, factor, bands,
            [&] { return TAcrossWindow<decltype(across)>(bytes, across); }, store);
        return;
    }
    // Progress is reported row by row through the horizontal pass, then the vertical one.
    TIntermediate rows(DW, SH, Channels);
    for (int32_t y = 0; y < SH; ++y) {
        across(y, rows.Row(y));
        Progress.Report(TruncInt(y * factor));
    }
    TRowPassScope writing(Dest, VLAccessWrite);
    FastVerticalPass(
        bytes, SH, DH, Progress, factor, false, [&] { return TWholeAcross{rows}; }, store);
}

template <int Channels>
void FastLinearEntry(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                     TObject* Sender) {
    if (&Source == &Dest) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    if (DW == SW && DH == SH) {
        Dest.Assign(&Source);
        return;
    }
    TProgressReporter progress(OnProgress, Sender);
    FastLinear<Channels>(Source, 0, 0, SW, SH, Dest, progress);
}

int RowBit(const uint8_t* Row, int32_t X) {
    return (Row[X >> 3] >> (7 - (X & 7))) & 1;
}

void Interpolate1Bit(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const TFastColumns columns = BuildFastColumns(SW, DW, static_cast<double>(DW) / SW);
    const double factor = 100 / (SH + DH + 0.5);

    TIntermediate rows(DW, SH, 1);
    TRowPassScope reading(Source, VLAccessRead);
    for (int32_t y = 0; y < SH; ++y) {
        const uint8_t* src = CheckedScanline(Source, y);
        uint8_t* gray = rows.Row(y);
        for (int32_t i = 0; i < DW; ++i) {
            const int32_t a = RowBit(src, columns.X0[i]) * 255;
            const int32_t b = RowBit(src, std::min(columns.X0[i] + 1, SW - 1)) * 255;
            gray[i] = Interpolate(a, b, columns.Frac[i]);
        }
        Progress.Report(TruncInt(y * factor));
    }
    // Reduced rows are point-sampled with interpolation too, never averaged.
    TRowPassScope writing(Dest, VLAccessWrite);
    const double ys = static_cast<double>(DH) / SH;
    std::vector<uint8_t> gray(DW);
    for (int32_t y = 0; y < DH; ++y) {
        InterpolateRow(rows, SH, ys, y, gray.size(), gray.data());
        StoreGrayAs24(Dest, y, gray.data(), DW);
        Progress.Report(TruncInt((y + SH) * factor));
    }
}

// Whether a source pixel of a projection box changes the destination bit.
template <bool OneBit, bool WhiteOnBlack> bool Qualifies(const uint8_t* Row, int32_t X) {
    if constexpr (OneBit) {
        return RowBit(Row, X) == (WhiteOnBlack ? 1 : 0);
    } else {
        const uint8_t* p = Row + 3 * X;
        // A channel of exactly 128 counts as neither dark nor light.
        if constexpr (WhiteOnBlack)
            return p[0] > 128 && p[1] > 128 && p[2] > 128;
        else
            return p[0] < 128 && p[1] < 128 && p[2] < 128;
    }
}

template <bool OneBit, bool WhiteOnBlack>
void Project(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const double columnStep = static_cast<double>(SW) / DW;
    std::vector<int32_t> colStart(DW);
    for (int32_t k = 0; k < DW; ++k)
        colStart[k] = std::min(TruncInt(columnStep * k), SW - 1);
    const double ry = static_cast<double>(SH) / DH;
    const double factor = 100 / (DH + 0.5);

    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    for (int32_t j = 0; j < DH; ++j) {
        uint8_t* row = CheckedScanline(Dest, j);
        std::memset(row, WhiteOnBlack ? 0 : 255, Dest.GetRowLen());
        // Each box runs from the previous sample position to the current one.
        const int32_t r0 = j == 0 ? 0 : std::min(TruncInt(ry * (j - 1)), SH - 1);
        const int32_t r1 = j == 0 ? 0 : std::min(TruncInt(ry * j), SH - 1);
        for (int32_t r = r0; r <= r1; ++r) {
            const uint8_t* src = CheckedScanline(Source, r);
            for (int32_t k = 0; k < DW; ++k) {
                const uint8_t mask = static_cast<uint8_t>(0x80 >> (k & 7));
                uint8_t& byte = row[k >> 3];
                if (((byte & mask) != 0) == WhiteOnBlack) continue; // already changed
                const int32_t c0 = k == 0 ? 0 : colStart[k - 1];
                const int32_t c1 = k == 0 ? 0 : colStart[k];
                for (int32_t c = c0; c <= c1; ++c) {
                    if (Qualifies<OneBit, WhiteOnBlack>(src, c)) {
                        byte = WhiteOnBlack ? (byte | mask) : (byte & ~mask);
                        break;
                    }
                }
            }
        }
        Progress.Report(TruncInt(j * factor));
    }
}

template <bool OneBit>
void ProjectEntry(TVLBitmap& Source, TVLBitmap& Dest, bool WhiteOnBlack,
                  const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest || Source.GetPixelFormat() != (OneBit ? vl1g : vl24RGB)) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    if (Dest.GetPixelFormat() != vl1g) AllocateOrThrow(Dest, DW, DH, vl1g);
    TProgressReporter progress(OnProgress, Sender);
    if (WhiteOnBlack)
        Project<OneBit, true>(Source, Dest, progress);
    else
        Project<OneBit, false>(Source, Dest, progress);
}

// Set bits of Row from column From to column To inclusive.
int32_t CountSetBits(const uint8_t* Row, int32_t From, int32_t To) {
    int32_t count = 0;
    for (int32_t x = From; x <= To; ++x)
        count += RowBit(Row, x);
    return count;
}

} // namespace

void ResampleFastLinear24(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                          TObject* Sender) {
    if (Source.GetPixelFormat() != vl24RGB || Dest.GetPixelFormat() != vl24RGB) return;
    FastLinearEntry<3>(Source, Dest, OnProgress, Sender);
}

void ResampleFastLinear24Part(TVLBitmap& Source, const TRect& Part, TVLBitmap& Dest) {
    if (&Source == &Dest || Source.GetPixelFormat() != vl24RGB || Dest.GetPixelFormat() != vl24RGB)
        return;
    const int32_t SW = Part.Right - Part.Left, SH = Part.Bottom - Part.Top;
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (Part.Left < 0 || Part.Top < 0 || Part.Right > Source.GetWidth() ||
        Part.Bottom > Source.GetHeight() || SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0)
        return;
    if (DW == SW && DH == SH) {
        Source.CopyRectTo(Dest, Part.Left, Part.Top, 0, 0, SW, SH);
        return;
    }
    TProgressReporter none;
    FastLinear<3>(Source, Part.Left, Part.Top, SW, SH, Dest, none);
}

void ResampleFast8Bit(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                      TObject* Sender) {
    if (Source.GetBitCount() != 8 || Dest.GetBitCount() != 8) return;
    FastLinearEntry<1>(Source, Dest, OnProgress, Sender);
}

void ResampleFast1Bit(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                      TObject* Sender) {
    if (&Source == &Dest || Source.GetPixelFormat() != vl1g) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    if (DW == SW && DH == SH) {
        Dest.Assign(&Source);
        return;
    }
    if (Dest.GetPixelFormat() != vl24RGB) return;
    if (DW >= SW || DH >= SH) {
        TProgressReporter progress(OnProgress, Sender);
        Interpolate1Bit(Source, Dest, progress);
    } else {
        Shrink1BitToGray(Source, 0, 0, SW - 1, SH - 1, Dest);
    }
}

void Shrink1BitToGray(TVLBitmap& Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      TVLBitmap& Dest) {
    if (&Source == &Dest || Source.GetPixelFormat() != vl1g || Dest.GetPixelFormat() != vl24RGB)
        return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, SW - 1);
    Y2 = std::min(Y2, SH - 1);
    if (DW <= 0 || DH <= 0 || X2 < X1 || Y2 < Y1) return;
    const double sx = static_cast<double>(X2 - X1 + 1) / DW;
    const double sy = static_cast<double>(Y2 - Y1 + 1) / DH;
    // The column span ends with the exact step, the row span with the truncated one.
    std::vector<int32_t> colFrom(DW), colTo(DW);
    for (int32_t j = 0; j < DW; ++j) {
        const double c = j * sx;
        colFrom[j] = std::max(X1 + TruncInt(c - sx / 2), 0);
        colTo[j] = std::min(X1 + TruncInt(c + sx / 2), SW - 1);
    }
    const double rowHalf = static_cast<double>(TruncInt(sy)) / 2;

    std::vector<int32_t> setBits(DW);
    std::vector<uint8_t> gray(DW);
    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    for (int32_t i = 0; i < DH; ++i) {
        const double c = i * sy;
        const int32_t rowFrom = std::clamp(Y1 + TruncInt(c - sy / 2), 0, SH - 1);
        const int32_t rowTo = std::clamp(Y1 + TruncInt(c + rowHalf), 0, SH - 1);
        std::fill(setBits.begin(), setBits.end(), 0);
        for (int32_t r = rowFrom; r <= rowTo; ++r) {
            const uint8_t* src = CheckedScanline(Source, r);
            for (int32_t j = 0; j < DW; ++j)
                setBits[j] += CountSetBits(src, colFrom[j], colTo[j]);
        }
        const int32_t rows = rowTo - rowFrom + 1;
        for (int32_t j = 0; j < DW; ++j)
            gray[j] =
                static_cast<uint8_t>(255 * static_cast<int64_t>(setBits[j]) /
                                     (static_cast<int64_t>(rows) * (colTo[j] - colFrom[j] + 1)));
        StoreGrayAs24(Dest, i, gray.data(), DW);
    }
}

void ProjectResample24(TVLBitmap& Source, TVLBitmap& Dest, bool WhiteOnBlack,
                       const TVLProgressEvent& OnProgress, TObject* Sender) {
    ProjectEntry<false>(Source, Dest, WhiteOnBlack, OnProgress, Sender);
}

void ProjectResample1Bit(TVLBitmap& Source, TVLBitmap& Dest, bool WhiteOnBlack,
                         const TVLProgressEvent& OnProgress, TObject* Sender) {
    ProjectEntry<true>(Source, Dest, WhiteOnBlack, OnProgress, Sender);
}
