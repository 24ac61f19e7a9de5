// Area-integrating bilinear and bicubic resampling, the nearest-neighbour stretch of every pixel
// format and the conversion of one row between packed bit depths.
#include "imaging/core/VLResampleArea.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLResample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define SV_AREA_VECTORS 1
#endif

using enum TVLPixelFormat;
using namespace imaging_core::detail;

namespace {

// Edges of the source and destination pixel grids closer than this count as one.
constexpr double EdgeTolerance = 1e-4;

// One cut of the horizontal axis between two consecutive grid edges.
struct THorizontalCut {
    double Width;
    // Sampling position inside the source column, 1 at the column's right edge.
    double L;
    // Sample offsets (column × channels) of the columns x - 1, x, x + 1 and x + 2, repeating the
    // edge columns beyond the row.
    int32_t Xm1, X0, X1, X2;
    // Destination pixel the cut adds to; DW is a spare slot for the zero-width tail cut.
    int32_t D;
};

// The cuts of an axis of SW source and DW destination pixels, gx source pixels per destination
// pixel. At a tie the destination edge comes first and the source edge follows with width ~0.
std::vector<THorizontalCut> BuildHorizontalCuts(int32_t SW, int32_t DW, double gx,
                                                int32_t Channels) {
    std::vector<THorizontalCut> cuts(static_cast<size_t>(SW) + DW);
    double position = 0;
    double sourceEdge = 1;
    double destEdge = gx;
    int32_t x = 0;
    int32_t d = 0;
    for (THorizontalCut& cut : cuts) {
        const int32_t column = std::min(x, SW - 1);
        cut.Xm1 = std::max(column - 1, 0) * Channels;
        cut.X0 = column * Channels;
        cut.X1 = std::min(column + 1, SW - 1) * Channels;
        cut.X2 = std::min(column + 2, SW - 1) * Channels;
        cut.D = std::min(d, DW) * Channels;
        if (sourceEdge + EdgeTolerance >= destEdge) {
            cut.Width = destEdge - position;
            cut.L = destEdge - x;
            position = destEdge;
            destEdge += gx;
            ++d;
        } else {
            cut.Width = sourceEdge - position;
            cut.L = 1;
            position = sourceEdge;
            sourceEdge += 1;
            ++x;
        }
    }
    return cuts;
}

// How each axis is sampled: interpolated where it is enlarged, area-averaged where it is not.
enum TAxisMode { amBoth = 0, amHorizontal = 1, amVertical = 2, amNeither = 3 };

// Four consecutive source rows (previous, current, next, after-next) around row j, the rows
// beyond the image repeating the edge rows. Each row is loaded once.
template <typename SampleT> class TRowWindow {
public:
    // The window around row Row.
    TRowWindow(TVLBitmap& Source, int32_t Samples, int32_t Row)
        : FSource(Source), FSamples(Samples), FHeight(Source.GetHeight()), FRow(Row) {
        for (auto& buffer : FBuffers)
            buffer.resize(Samples);
        const SampleT* current = Load(Row, 1);
        Rows = {Row > 0 ? Load(Row - 1, 0) : current, current, nullptr, nullptr};
        Rows[2] = Row + 1 < FHeight ? Load(Row + 1, 2) : Rows[1];
        Rows[3] = Row + 2 < FHeight ? Load(Row + 2, 3) : Rows[2];
    }

    // Moves the window down one row.
    void Advance() {
        Rows = {Rows[1], Rows[2], Rows[3], Rows[3]};
        if (FRow + 2 < FHeight - 1) {
            for (size_t i = 0; i < FBuffers.size(); ++i) {
                const SampleT* buffer = FBuffers[i].data();
                if (buffer != Rows[0] && buffer != Rows[1] && buffer != Rows[2]) {
                    Rows[3] = Load(FRow + 3, i);
                    break;
                }
            }
        }
        ++FRow;
    }

    std::array<const SampleT*, 4> Rows;

private:
    const SampleT* Load(int32_t Row, size_t Buffer) {
        std::memcpy(FBuffers[Buffer].data(), CheckedScanline(FSource, Row),
                    static_cast<size_t>(FSamples) * sizeof(SampleT));
        return FBuffers[Buffer].data();
    }

    TVLBitmap& FSource;
    int32_t FSamples;
    int32_t FHeight;
    int32_t FRow;
    std::array<std::vector<SampleT>, 4> FBuffers;
};

// Value of one cell at its cut's far end: horizontal position L, vertical position G.
template <typename SampleT, int Mode, bool Bicubic>
double CellValue(const std::array<const SampleT*, 4>& Rows, const THorizontalCut& Cut, int32_t C,
                 double G) {
    constexpr double Max = std::numeric_limits<SampleT>::max();
    const SampleT* cur = Rows[1];
    const double L = Cut.L;
    if constexpr (!Bicubic) {
        const SampleT* next = Rows[2];
        if constexpr (Mode == amBoth)
            return (1 - G) * ((1 - L) * cur[Cut.X0 + C] + L * cur[Cut.X1 + C]) +
                   G * ((1 - L) * next[Cut.X0 + C] + L * next[Cut.X1 + C]);
        else if constexpr (Mode == amHorizontal)
            return (1 - L) * cur[Cut.X0 + C] + L * cur[Cut.X1 + C];
        else
            return (1 - G) * cur[Cut.X0 + C] + G * next[Cut.X0 + C];
    } else {
        auto across = [&](const SampleT* row) {
            return CubicInterpolate(row[Cut.Xm1 + C], row[Cut.X0 + C], row[Cut.X1 + C], L,
                                    row[Cut.X2 + C], 0, Max);
        };
        if constexpr (Mode == amBoth) {
            std::array<int32_t, 4> v;
            for (size_t r = 0; r < 4; ++r)
                v[r] = static_cast<int32_t>(std::nearbyint(across(Rows[r])));
            return CubicInterpolate(v[0], v[1], v[2], G, v[3], 0, Max);
        } else if constexpr (Mode == amHorizontal) {
            return across(cur);
        } else {
            return CubicInterpolate(Rows[0][Cut.X0 + C], cur[Cut.X0 + C], Rows[2][Cut.X0 + C], G,
                                    Rows[3][Cut.X0 + C], 0, Max);
        }
    }
}

template <typename SampleT>
void WriteAreaRow(const std::vector<double>& Sums, double Scale, SampleT* Row, int32_t Samples) {
    for (int32_t i = 0; i < Samples; ++i) {
        const auto value = static_cast<int32_t>(std::nearbyint(Sums[i] * Scale));
        if constexpr (sizeof(SampleT) == 1)
            Row[i] = static_cast<SampleT>(ClampToByte(value));
        else
            Row[i] = static_cast<SampleT>(ClampToRange(value, 0, 65535));
    }
}

// Where the sweep down the source stands when destination row y begins: the vertical position
// reached, the destination row's top edge and the source row of the window.
struct TAreaRowStart {
    double Position, DestTop;
    int32_t Row;
};

// The sweep's control flow alone, with the same arithmetic as AreaResample, so that a band can
// start at any destination row and compute it as the whole sweep does.
std::vector<TAreaRowStart> AreaRowStarts(int32_t DH, double gy) {
    std::vector<TAreaRowStart> starts(DH);
    double position = 0;
    double destTop = 0;
    int32_t j = 0;
    for (int32_t y = 0; y < DH; ++y) {
        starts[y] = {position, destTop, j};
        for (;;) {
            const double destEdge = destTop + gy;
            if (j + 1 + EdgeTolerance < destEdge) {
                position = j + 1;
                ++j;
                continue;
            }
            position = destEdge;
            destTop += gy;
            break;
        }
    }
    return starts;
}

template <typename SampleT, int Channels, int Mode, bool Bicubic>
void AreaResample(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const double gx = static_cast<double>(SW) / DW;
    const double gy = static_cast<double>(SH) / DH;
    const std::vector<THorizontalCut> cuts = BuildHorizontalCuts(SW, DW, gx, Channels);
    const std::vector<TAreaRowStart> starts = AreaRowStarts(DH, gy);
    const double scale = 1 / (gx * gy);

    // Every destination row starts from zero sums, so bands give the bytes of one sweep.
    RunRows(RowBandsAllowed(Source, Dest, Progress), DH, [&](int32_t First, int32_t Last) {
        double position = starts[First].Position;
        double destTop = starts[First].DestTop;
        int32_t j = starts[First].Row;
        TRowWindow<SampleT> window(Source, SW * Channels, j);
        // One spare pixel takes the zero-width cut after the last destination edge.
        std::vector<double> sums(static_cast<size_t>(DW + 1) * Channels, 0.0);
        std::vector<SampleT> outRow(static_cast<size_t>(DW) * Channels);

        auto addCut = [&](double Height, double G) {
            for (const THorizontalCut& cut : cuts) {
                const double weight = cut.Width * Height;
                for (int32_t c = 0; c < Channels; ++c)
                    sums[cut.D + c] +=
                        weight * CellValue<SampleT, Mode, Bicubic>(window.Rows, cut, c, G);
            }
        };

        for (int32_t y = First; y < Last;) {
            const double destEdge = destTop + gy;
            if (j + 1 + EdgeTolerance < destEdge) {
                addCut(j + 1 - position, 1);
                position = j + 1;
                window.Advance();
                ++j;
                continue;
            }
            addCut(destEdge - position, destEdge - j);
            position = destEdge;
            destTop += gy;
            WriteAreaRow(sums, scale, outRow.data(), DW * Channels);
            StoreRow(Dest, y, reinterpret_cast<const uint8_t*>(outRow.data()),
                     outRow.size() * sizeof(SampleT));
            std::fill(sums.begin(), sums.end(), 0.0);
            ++y;
            Progress.Report(static_cast<int32_t>(Trunc(static_cast<double>(y) / DH * 100)));
        }
    });
}

// A reduction (or an axis kept at its size) averages exactly over each destination pixel's
// footprint. Along an axis of S source and D destination pixels, destination pixel d covers
// d x S .. (d + 1) x S and source pixel x covers x x D .. (x + 1) x D, both in units of 1/D of a
// source pixel, so every overlap is a whole number (at most D) and a span's weights sum to S.
struct TAreaSpans {
    std::vector<int32_t> First, Count, WeightStart, Weight;
    int32_t MaxCount = 0;
};

TAreaSpans BuildAreaSpans(int32_t SourceSize, int32_t DestSize) {
    TAreaSpans spans;
    for (int32_t d = 0; d < DestSize; ++d) {
        const int64_t from = static_cast<int64_t>(d) * SourceSize;
        const int64_t to = from + SourceSize;
        const auto first = static_cast<int32_t>(from / DestSize);
        const auto last = static_cast<int32_t>((to - 1) / DestSize);
        spans.First.push_back(first);
        spans.Count.push_back(last - first + 1);
        spans.WeightStart.push_back(static_cast<int32_t>(spans.Weight.size()));
        for (int64_t x = first; x <= last; ++x)
            spans.Weight.push_back(static_cast<int32_t>(std::min(to, (x + 1) * DestSize) -
                                                        std::max(from, x * DestSize)));
        spans.MaxCount = std::max(spans.MaxCount, last - first + 1);
    }
    return spans;
}

// Weighted sums of one source row across: Channels sums per destination pixel, each at most
// the sample maximum x SW.
template <typename SampleT, int Channels, typename SumT>
void AreaRowAcross(const SampleT* Row, const TAreaSpans& Columns, SumT* Out) {
    const auto count = static_cast<int32_t>(Columns.First.size());
    for (int32_t d = 0; d < count; ++d) {
        SumT sums[Channels] = {};
        const SampleT* p = Row + static_cast<size_t>(Columns.First[d]) * Channels;
        const int32_t* w = Columns.Weight.data() + Columns.WeightStart[d];
        for (int32_t k = 0; k < Columns.Count[d]; ++k, p += Channels)
            for (int c = 0; c < Channels; ++c)
                sums[c] += static_cast<SumT>(w[k]) * p[c];
        for (int c = 0; c < Channels; ++c)
            *Out++ = sums[c];
    }
}

// Acc (=, when First, else +=) Weight x Sums. Every product and sum is a whole number of at
// most the sample maximum x SW x SH, below 2^53 (for 16-bit samples up to 2^37 pixels), so the
// doubles hold them exactly and the order of the additions does not matter.
template <typename SumT>
void AddWeightedRow(double* Acc, const SumT* Sums, int32_t Weight, bool First, size_t Count) {
    const auto w = static_cast<double>(Weight);
    for (size_t i = 0; i < Count; ++i)
        Acc[i] = (First ? 0.0 : Acc[i]) + w * static_cast<double>(Sums[i]);
}

// The means, Acc / Total rounded half to even (the processor's rounding mode).
template <typename SampleT>
void WriteAreaMeans(const double* Acc, double Total, SampleT* Out, size_t Count) {
    for (size_t i = 0; i < Count; ++i)
        Out[i] = static_cast<SampleT>(std::nearbyint(Acc[i] / Total));
}

#if defined(SV_AREA_VECTORS)
bool Ssse3Available() {
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

bool Avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available && ResampleAvx2Kernels;
}

// The vector forms sum rows across in 32 bits and multiply two 16-bit taps at once.
bool AreaVectorsFit(int32_t SW, int32_t DW) {
    return SW <= std::numeric_limits<int32_t>::max() / 255 && DW <= 32767;
}

// AreaRowAcross<uint8_t, 3> with one multiply-add per two taps of all three channels: a byte
// shuffle turns pixels j and j + 1 into the 16-bit lanes (blue j, blue j+1, green j, green j+1,
// red j, red j+1, 0, 0). Every span is read as the same number of pairs, the weights beyond its
// taps zero. Spans whose sixteen-byte loads would pass the row's end read a copy of the row's
// last pixels followed by zeros. The AVX2 form does two spans per instruction.
class TAreaAcrossVector {
public:
    TAreaAcrossVector(const TAreaSpans& Columns, int32_t SW)
        : FWidth(SW), FPairs((Columns.MaxCount + 1) / 2),
          FColumns(static_cast<int32_t>(Columns.First.size())), FAvx2(Avx2Available()) {
        // A span starting at x reads bytes up to 3 x (x + 2 x FPairs - 2) + 15.
        FTailFrom = std::max(0, SW - 2 * FPairs - 6);
        FTail.assign(static_cast<size_t>(SW - FTailFrom + 2 * FPairs) * 3 + 16, 0);
        const int32_t pairSlots = (FColumns + 1) / 2 * 2;
        FWeights.assign(static_cast<size_t>(pairSlots) * FPairs * 4, 0);
        for (int32_t d = 0; d < FColumns; ++d) {
            const int32_t first = Columns.First[d];
            const bool tail = 3 * (first + 2 * FPairs - 2) + 16 > 3 * SW;
            FStart.push_back(tail ? -(first - FTailFrom) - 1 : first);
            const int32_t* w = Columns.Weight.data() + Columns.WeightStart[d];
            for (int32_t k = 0; k < Columns.Count[d]; k += 2) {
                const int32_t second = k + 1 < Columns.Count[d] ? w[k + 1] : 0;
                const auto pair = static_cast<int32_t>(static_cast<uint16_t>(w[k]) |
                                                       (static_cast<uint32_t>(second) << 16));
                int32_t* lanes = FWeights.data() + WeightSlot(d, k / 2) * 4;
                std::fill_n(lanes, 4, pair);
            }
        }
    }

    // Out holds 3 x DW + 2 sums (the last two are scratch).
    void Run(const uint8_t* Row, int32_t* Out) {
        std::memcpy(FTail.data(), Row + static_cast<size_t>(FTailFrom) * 3,
                    static_cast<size_t>(FWidth - FTailFrom) * 3);
        int32_t d = 0;
        if (FAvx2) d = RunAvx2(Row, Out);
        for (; d < FColumns; ++d)
            RunColumn(Row, d, Out + static_cast<size_t>(d) * 3);
    }

private:
    // Pairs of columns 2m and 2m + 1 lie side by side: pair k of column d at this slot.
    size_t WeightSlot(int32_t d, int32_t k) const {
        return (static_cast<size_t>(d / 2) * FPairs + k) * 2 + d % 2;
    }

    const uint8_t* SpanStart(const uint8_t* Row, int32_t d) const {
        const int32_t start = FStart[d];
        return start >= 0 ? Row + static_cast<size_t>(start) * 3
                          : FTail.data() + static_cast<size_t>(-start - 1) * 3;
    }

    __attribute__((target("ssse3"))) void RunColumn(const uint8_t* Row, int32_t d,
                                                    int32_t* Out) const {
        const __m128i order = _mm_setr_epi8(0, -128, 3, -128, 1, -128, 4, -128, 2, -128, 5, -128,
                                            -128, -128, -128, -128);
        const uint8_t* p = SpanStart(Row, d);
        __m128i sums = _mm_setzero_si128();
        for (int32_t k = 0; k < FPairs; ++k, p += 6) {
            const __m128i lanes =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), order);
            const __m128i w = _mm_loadu_si128(
                reinterpret_cast<const __m128i*>(FWeights.data() + WeightSlot(d, k) * 4));
            sums = _mm_add_epi32(sums, _mm_madd_epi16(lanes, w));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), sums);
    }

    // Columns in pairs; returns the columns done.
    __attribute__((target("avx2"))) int32_t RunAvx2(const uint8_t* Row, int32_t* Out) const {
        const __m256i order = _mm256_setr_epi8(0, -128, 3, -128, 1, -128, 4, -128, 2, -128, 5, -128,
                                               -128, -128, -128, -128, 0, -128, 3, -128, 1, -128, 4,
                                               -128, 2, -128, 5, -128, -128, -128, -128, -128);
        const __m256i together = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
        int32_t d = 0;
        for (; d + 2 <= FColumns; d += 2) {
            const uint8_t* a = SpanStart(Row, d);
            const uint8_t* b = SpanStart(Row, d + 1);
            const auto* w =
                reinterpret_cast<const __m256i*>(FWeights.data() + WeightSlot(d, 0) * 4);
            __m256i sums = _mm256_setzero_si256();
            for (int32_t k = 0; k < FPairs; ++k, a += 6, b += 6) {
                const __m256i pixels = _mm256_inserti128_si256(
                    _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
                sums = _mm256_add_epi32(sums, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, order),
                                                                _mm256_loadu_si256(w + k)));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + static_cast<size_t>(d) * 3),
                                _mm256_permutevar8x32_epi32(sums, together));
        }
        return d;
    }

    int32_t FWidth;
    int32_t FPairs;
    int32_t FColumns;
    bool FAvx2;
    int32_t FTailFrom = 0;
    // Per column: its first source pixel, or -(offset into FTail) - 1 when it reads the tail.
    std::vector<int32_t> FStart;
    std::vector<uint8_t> FTail;
    std::vector<int32_t> FWeights;
};

__attribute__((target("avx2"))) size_t AddWeightedRowAvx2(double* Acc, const int32_t* Sums,
                                                          double Weight, bool First, size_t Count) {
    const __m256d w = _mm256_set1_pd(Weight);
    size_t i = 0;
    for (; i + 4 <= Count; i += 4) {
        const __m256d product = _mm256_mul_pd(
            w, _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Sums + i))));
        _mm256_storeu_pd(Acc + i,
                         First ? product : _mm256_add_pd(_mm256_loadu_pd(Acc + i), product));
    }
    return i;
}

// AddWeightedRow on 32-bit sums with SSE2 (two at a time) or AVX2 (four).
void AddWeightedRowVector(double* Acc, const int32_t* Sums, int32_t Weight, bool First,
                          size_t Count) {
    const auto weight = static_cast<double>(Weight);
    size_t i = Avx2Available() ? AddWeightedRowAvx2(Acc, Sums, weight, First, Count) : 0;
    const __m128d w = _mm_set1_pd(weight);
    for (; i + 2 <= Count; i += 2) {
        const __m128d product = _mm_mul_pd(
            w, _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Sums + i))));
        _mm_storeu_pd(Acc + i, First ? product : _mm_add_pd(_mm_loadu_pd(Acc + i), product));
    }
    AddWeightedRow(Acc + i, Sums + i, Weight, First, Count - i);
}

__attribute__((target("avx2"))) size_t WriteAreaMeansAvx2(const double* Acc, double Total,
                                                          uint8_t* Out, size_t Count) {
    const __m256d total = _mm256_set1_pd(Total);
    size_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        __m128i means[4];
        for (size_t k = 0; k < 4; ++k)
            means[k] = _mm256_cvtpd_epi32(_mm256_div_pd(_mm256_loadu_pd(Acc + i + 4 * k), total));
        const __m128i low = _mm_packs_epi32(means[0], means[1]);
        const __m128i high = _mm_packs_epi32(means[2], means[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), _mm_packus_epi16(low, high));
    }
    return i;
}

// WriteAreaMeans into bytes with SSE2 or AVX2, sixteen at a time; the conversion rounds by the
// processor's rounding mode, as nearbyint does.
void WriteAreaMeansVector(const double* Acc, double Total, uint8_t* Out, size_t Count) {
    size_t i = Avx2Available() ? WriteAreaMeansAvx2(Acc, Total, Out, Count) : 0;
    const __m128d total = _mm_set1_pd(Total);
    auto means = [&](size_t k) {
        const __m128i low = _mm_cvtpd_epi32(_mm_div_pd(_mm_loadu_pd(Acc + k), total));
        const __m128i high = _mm_cvtpd_epi32(_mm_div_pd(_mm_loadu_pd(Acc + k + 2), total));
        return _mm_unpacklo_epi64(low, high);
    };
    for (; i + 16 <= Count; i += 16) {
        const __m128i low = _mm_packs_epi32(means(i), means(i + 4));
        const __m128i high = _mm_packs_epi32(means(i + 8), means(i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), _mm_packus_epi16(low, high));
    }
    WriteAreaMeans(Acc + i, Total, Out + i, Count - i);
}
#endif

template <typename SumT>
void AddWeighted(double* Acc, const SumT* Sums, int32_t Weight, bool First, size_t Count,
                 bool Vector) {
#if defined(SV_AREA_VECTORS)
    if constexpr (std::is_same_v<SumT, int32_t>)
        if (Vector) return AddWeightedRowVector(Acc, Sums, Weight, First, Count);
#endif
    AddWeightedRow(Acc, Sums, Weight, First, Count);
}

template <typename SampleT>
void WriteMeans(const double* Acc, double Total, SampleT* Out, size_t Count, bool Vector) {
#if defined(SV_AREA_VECTORS)
    if constexpr (sizeof(SampleT) == 1)
        if (Vector) return WriteAreaMeansVector(Acc, Total, Out, Count);
#endif
    WriteAreaMeans(Acc, Total, Out, Count);
}

// The sums across of the source rows a band reads, each computed once as the band first asks
// for it: a destination row shares at most its first source row with the row before it.
template <typename SampleT, int Channels, typename SumT> class TAreaAcross {
public:
    TAreaAcross(TVLBitmap& Source, const TAreaSpans& Columns, bool Vector)
        : FSource(Source), FColumns(Columns), FSums(Columns.First.size() * Channels + 2) {
#if defined(SV_AREA_VECTORS)
        if constexpr (Channels == 3 && sizeof(SampleT) == 1 && std::is_same_v<SumT, int32_t>)
            if (Vector) FVector = std::make_unique<TAreaAcrossVector>(Columns, Source.GetWidth());
#endif
    }

    const SumT* Sums(int32_t Row) {
        if (Row == FRow) return FSums.data();
        FRow = Row;
        const auto* pixels = reinterpret_cast<const SampleT*>(CheckedScanline(FSource, Row));
#if defined(SV_AREA_VECTORS)
        if constexpr (Channels == 3 && sizeof(SampleT) == 1 && std::is_same_v<SumT, int32_t>)
            if (FVector) {
                FVector->Run(pixels, FSums.data());
                return FSums.data();
            }
#endif
        AreaRowAcross<SampleT, Channels>(pixels, FColumns, FSums.data());
        return FSums.data();
    }

private:
    TVLBitmap& FSource;
    const TAreaSpans& FColumns;
    std::vector<SumT> FSums;
    int32_t FRow = -1;
#if defined(SV_AREA_VECTORS)
    std::unique_ptr<TAreaAcrossVector> FVector;
#endif
};

// The exact area average of a reduction: the weighted sums of each destination pixel's source
// pixels divided by SW x SH. Every destination row is computed alone, so bands give the bytes
// of one pass.
template <typename SampleT, int Channels, typename SumT>
void AreaReduceWith(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const TAreaSpans columns = BuildAreaSpans(SW, DW);
    const TAreaSpans rows = BuildAreaSpans(SH, DH);
    const double total = static_cast<double>(SW) * SH;
    const size_t samples = static_cast<size_t>(DW) * Channels;
    bool vector = false;
#if defined(SV_AREA_VECTORS)
    vector = std::is_same_v<SumT, int32_t> && ResampleVectorKernels && Ssse3Available() &&
             AreaVectorsFit(SW, DW);
#endif
    RunRows(RowBandsAllowed(Source, Dest, Progress), DH, [&](int32_t First, int32_t Last) {
        TAreaAcross<SampleT, Channels, SumT> across(Source, columns, vector);
        std::vector<double> acc(samples);
        std::vector<SampleT> out(samples);
        for (int32_t y = First; y < Last; ++y) {
            const int32_t* weights = rows.Weight.data() + rows.WeightStart[y];
            for (int32_t k = 0; k < rows.Count[y]; ++k)
                AddWeighted(acc.data(), across.Sums(rows.First[y] + k), weights[k], k == 0, samples,
                            vector);
            WriteMeans(acc.data(), total, out.data(), samples, vector);
            StoreRow(Dest, y, reinterpret_cast<const uint8_t*>(out.data()),
                     out.size() * sizeof(SampleT));
            Progress.Report(static_cast<int32_t>(Trunc(static_cast<double>(y + 1) / DH * 100)));
        }
    });
}

// Sums across fit 32 bits for bytes up to a width of 2^31 / 255; 16-bit samples and wider rows
// sum in 64 bits.
template <typename SampleT, int Channels>
void AreaReduce(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    if constexpr (sizeof(SampleT) == 1)
        if (Source.GetWidth() <= std::numeric_limits<int32_t>::max() / 255)
            return AreaReduceWith<SampleT, Channels, int32_t>(Source, Dest, Progress);
    AreaReduceWith<SampleT, Channels, int64_t>(Source, Dest, Progress);
}

using TAreaKernel = void (*)(TVLBitmap&, TVLBitmap&, TProgressReporter&);

template <typename SampleT, int Channels, bool Bicubic> TAreaKernel AreaKernelForMode(int Mode) {
    switch (Mode) {
    case amBoth:
        return AreaResample<SampleT, Channels, amBoth, Bicubic>;
    case amHorizontal:
        return AreaResample<SampleT, Channels, amHorizontal, Bicubic>;
    case amVertical:
        return AreaResample<SampleT, Channels, amVertical, Bicubic>;
    default:
        return AreaReduce<SampleT, Channels>;
    }
}

template <typename SampleT>
void ResampleBilinearBicubic(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic, int32_t Channels,
                             const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest || Dest.GetPixelFormat() != Source.GetPixelFormat()) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    const bool enlargeX = static_cast<double>(SW) / DW < 1;
    const bool enlargeY = static_cast<double>(SH) / DH < 1;
    const int mode =
        enlargeX ? (enlargeY ? amBoth : amHorizontal) : (enlargeY ? amVertical : amNeither);
    TAreaKernel kernel = nullptr;
    if (Channels == 1)
        kernel = Bicubic ? AreaKernelForMode<SampleT, 1, true>(mode)
                         : AreaKernelForMode<SampleT, 1, false>(mode);
    else
        kernel = Bicubic ? AreaKernelForMode<SampleT, 3, true>(mode)
                         : AreaKernelForMode<SampleT, 3, false>(mode);
    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    TProgressReporter progress(OnProgress, Sender);
    kernel(Source, Dest, progress);
}

// Copies the pixels of one row by the column map, PixelBytes bytes per pixel.
template <int PixelBytes>
void StretchRow(const uint8_t* Source, uint8_t* Dest, const std::vector<int32_t>& Columns) {
    for (const int32_t column : Columns) {
        std::memcpy(Dest, Source + static_cast<size_t>(column) * PixelBytes, PixelBytes);
        Dest += PixelBytes;
    }
}

// Packed 1-bit pixels, most significant bit first; the bits after the last pixel are cleared.
void StretchRow1Bit(const uint8_t* Source, uint8_t* Dest, const std::vector<int32_t>& Columns) {
    const auto count = static_cast<int32_t>(Columns.size());
    for (int32_t start = 0; start < count; start += 8) {
        uint8_t byte = 0;
        const int32_t end = std::min(start + 8, count);
        for (int32_t k = start; k < end; ++k) {
            const int32_t column = Columns[k];
            const int bit = (Source[column >> 3] >> (7 - (column & 7))) & 1;
            byte |= static_cast<uint8_t>(bit << (7 - (k - start)));
        }
        *Dest++ = byte;
    }
}

using TStretchRow = void (*)(const uint8_t*, uint8_t*, const std::vector<int32_t>&);

TStretchRow StretchRowFor(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return StretchRow1Bit;
    case vl8p:
    case vl8g:
        return StretchRow<1>;
    case vl16g:
        return StretchRow<2>;
    case vl24RGB:
    case vlCIELab:
        return StretchRow<3>;
    case vl32f:
    case vlCMYK:
    case vl32RGB:
        return StretchRow<4>;
    case vlRGB48:
        return StretchRow<6>;
    case vlNone:
        break;
    }
    return nullptr;
}

void CopyPalette(TVLBitmap& Source, TVLBitmap& Dest) {
    const int32_t count = std::min(Source.GetPaletteLength(), Dest.GetPaletteLength());
    if (count <= 0) return;
    std::copy_n(Source.GetPalette(), count, Dest.GetPalette());
    Dest.PaletteUsed = Source.PaletteUsed;
    Dest.UpdateTBitmapPalette();
}

TVLRGB PaletteEntry(std::span<const TVLRGB> Palette, uint32_t Index) {
    return Index < Palette.size() ? Palette[Index] : TVLRGB{};
}

void WritePaletteRow(const uint8_t* Indexes, int32_t Count, std::span<const TVLRGB> Palette,
                     uint8_t* Dest) {
    for (int32_t i = 0; i < Count; ++i) {
        const TVLRGB rgb = PaletteEntry(Palette, Indexes[i]);
        Dest[3 * i] = rgb.b;
        Dest[3 * i + 1] = rgb.g;
        Dest[3 * i + 2] = rgb.r;
    }
}

// The pixels of a 1- or 4-bit row as one byte each.
std::vector<uint8_t> UnpackRow(const uint8_t* Source, int32_t Bits, int32_t Count) {
    std::vector<uint8_t> pixels(Count);
    for (int32_t i = 0; i < Count; ++i)
        pixels[i] = Bits == 1 ? (Source[i / 8] >> (7 - i % 8)) & 1
                              : (Source[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
    return pixels;
}

int32_t RowBytes(int32_t Bits, int32_t Count) {
    switch (Bits) {
    case 1:
        return (Count + 7) / 8;
    case 4:
        return (Count + 1) / 2;
    case 8:
        return Count;
    case 24:
        return Count * 3;
    default:
        return 0;
    }
}

} // namespace

double CubicInterpolate(int32_t P0, int32_t P1, int32_t P2, double T, int32_t P3, double Min,
                        double Max) {
    auto inner = [](double u) { return u * u * u - 2 * u * u + 1; };
    auto outer = [](double u) { return 5 * u * u - u * u * u - 8 * u + 4; };
    const double value = P1 * inner(std::fabs(T)) + P2 * inner(std::fabs(T - 1)) +
                         P3 * outer(std::fabs(T - 2)) + P0 * outer(std::fabs(T + 1));
    if (value < Min) return Min;
    return value > Max ? Max : value;
}

void ResampleBilinearBicubic8(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                              const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format != vl8g && format != vl24RGB) return;
    ResampleBilinearBicubic<uint8_t>(Source, Dest, Bicubic, format == vl8g ? 1 : 3, OnProgress,
                                     Sender);
}

void ResampleBilinearBicubic16(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                               const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format != vl16g && format != vlRGB48) return;
    ResampleBilinearBicubic<uint16_t>(Source, Dest, Bicubic, format == vl16g ? 1 : 3, OnProgress,
                                      Sender);
}

void _VLBmpStretchEx(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                     TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    const TStretchRow stretchRow = StretchRowFor(format);
    if (stretchRow == nullptr || &Source == &Dest || Dest.GetPixelFormat() != format) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;

    const double columnStep = static_cast<double>(SW) / DW;
    const double rowStep = static_cast<double>(SH) / DH;
    std::vector<int32_t> columns(DW);
    for (int32_t k = 0; k < DW; ++k)
        columns[k] = std::min(static_cast<int32_t>(Trunc(columnStep * k)), SW - 1);
    const int64_t pixelBytes = AlignedRowLength(DW, Source.GetBitCount(), 8);
    const int32_t rowLen = Dest.GetRowLen();

    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    TProgressReporter progress(OnProgress, Sender);
    for (int32_t j = 0; j < DH; ++j) {
        const auto sourceRow = std::min(static_cast<int32_t>(Trunc(rowStep * j)), SH - 1);
        const uint8_t* src = CheckedScanline(Source, sourceRow);
        uint8_t* dst = CheckedScanline(Dest, j);
        stretchRow(src, dst, columns);
        // The row is written whole, so a write-only file row carries no stale bytes.
        std::memset(dst + pixelBytes, 0, static_cast<size_t>(rowLen - pixelBytes));
        progress.ReportChange(static_cast<int32_t>(Trunc(j * 100 / (DH + 0.5))));
    }
    if (format == vl8p) CopyPalette(Source, Dest);
}

int32_t ConvertRowBitCount(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits,
                           uint16_t Count, std::span<const TVLRGB> Palette) {
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    const int32_t n = Count;
    const bool packed = SourceBits == 1 || SourceBits == 4;
    if (SourceBits == DestBits && RowBytes(DestBits, n) > 0) {
        std::memcpy(dst, src, RowBytes(DestBits, n));
    } else if (packed && DestBits == 4) {
        const std::vector<uint8_t> pixels = UnpackRow(src, SourceBits, n);
        for (int32_t i = 0; i < n; ++i)
            dst[i / 2] |= static_cast<uint8_t>(pixels[i] << (i % 2 == 0 ? 4 : 0));
    } else if (packed && DestBits == 8) {
        const std::vector<uint8_t> pixels = UnpackRow(src, SourceBits, n);
        std::copy(pixels.begin(), pixels.end(), dst);
    } else if ((packed || SourceBits == 8) && DestBits == 24) {
        if (packed)
            WritePaletteRow(UnpackRow(src, SourceBits, n).data(), n, Palette, dst);
        else
            WritePaletteRow(src, n, Palette, dst);
    } else if (SourceBits == 8 && DestBits == 1) {
        std::memset(dst, 0, RowBytes(1, n));
        for (int32_t i = 0; i < n; ++i)
            dst[i / 8] |= static_cast<uint8_t>((src[i] & 1) << (7 - i % 8));
    } else if (SourceBits == 32 && DestBits == 24) {
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(dst + 3 * i, src + 4 * i, 3);
    }
    return RowBytes(DestBits, n);
}
