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

bool SpanVectorsAvailable() {
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

// AverageColumns<3> with each span summed five pixels per load: the bytes of a channel are
// gathered into one half of a register and added up by a sum of absolute differences with zero.
// The sums, and so the means, are those of the plain loop. Loads that would pass the row's last
// pixel are summed byte by byte.
__attribute__((target("ssse3"))) void AverageColumns3Vector(
    const uint8_t* Source, uint8_t* Dest, const TFastColumns& Columns,
    const std::vector<TMeanDivider>& Dividers, int32_t SW) {
    static const TSpanShuffles shuffles;
    const auto DW = static_cast<int32_t>(Columns.X0.size());
    const __m128i zero = _mm_setzero_si128();
    for (int32_t i = 0; i < DW; ++i) {
        int32_t x = Columns.X0[i];
        const int32_t end = Columns.X1[i] + 1;
        const TMeanDivider& divider = Dividers[i];
        if (end - x <= 5 && 3 * x + 16 <= 3 * SW) {
            // The common span of a reduction to a quarter or more: one load.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + 3 * x));
            const __m128i first = _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.Low[end - x]), zero);
            const __m128i third = _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.High[end - x]), zero);
            *Dest++ = static_cast<uint8_t>(divider.Divide(_mm_cvtsi128_si32(first)));
            *Dest++ = static_cast<uint8_t>(divider.Divide(_mm_extract_epi16(first, 4)));
            *Dest++ = static_cast<uint8_t>(divider.Divide(_mm_cvtsi128_si32(third)));
            continue;
        }
        __m128i first = zero, third = zero;
        uint64_t tail[3] = {};
        while (x < end) {
            const int32_t n = std::min(end - x, 5);
            if (3 * x + 16 > 3 * SW) {
                for (; x < end; ++x)
                    for (int c = 0; c < 3; ++c)
                        tail[c] += Source[3 * x + c];
                break;
            }
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + 3 * x));
            first = _mm_add_epi64(first, _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.Low[n]), zero));
            third = _mm_add_epi64(third, _mm_sad_epu8(_mm_shuffle_epi8(v, shuffles.High[n]), zero));
            x += n;
        }
        *Dest++ = static_cast<uint8_t>(
            divider.Divide(static_cast<uint64_t>(_mm_cvtsi128_si64(first)) + tail[0]));
        *Dest++ = static_cast<uint8_t>(divider.Divide(
            static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(first, first))) + tail[1]));
        *Dest++ = static_cast<uint8_t>(
            divider.Divide(static_cast<uint64_t>(_mm_cvtsi128_si64(third)) + tail[2]));
    }
}
#endif

// One source row reduced or interpolated across into Out (DW pixels).
template <int Channels>
void FastRowAcross(const uint8_t* Source, uint8_t* Out, const TFastColumns& Columns,
                   const std::vector<TMeanDivider>& Dividers, int32_t SW, bool Enlarge) {
    if (Enlarge) return InterpolateColumns<Channels>(Source, Out, Columns, SW);
#if defined(SV_FAST_SPAN_VECTORS)
    if (Channels == 3 && ResampleVectorKernels && SpanVectorsAvailable())
        return AverageColumns3Vector(Source, Out, Columns, Dividers, SW);
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
template <class Compute>
class TAcrossWindow {
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

template <int Channels>
void FastLinear(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
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
        FastRowAcross<Channels>(CheckedScanline(Source, Y), Out, columns, dividers, SW, xs > 1);
    };
    const auto store = [&](int32_t y, const uint8_t* pixels) { StoreRow(Dest, y, pixels, bytes); };
    TRowPassScope reading(Source, VLAccessRead);
    if (!Progress.Active()) {
        // Each band of destination rows computes the source rows it reads as it goes: no
        // intermediate image, and every row it reads is computed as in the passes below.
        TRowPassScope writing(Dest, VLAccessWrite);
        const bool bands = RowBandsAllowed(Source, Dest, Progress);
        FastVerticalPass(bytes, SH, DH, Progress, factor, bands,
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
    FastVerticalPass(bytes, SH, DH, Progress, factor, false, [&] { return TWholeAcross{rows}; },
                     store);
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
    FastLinear<Channels>(Source, Dest, progress);
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
