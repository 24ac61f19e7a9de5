// The resampling engine: entry points that choose the resampler for the source's pixel format
// and the filter, and the two-pass kernel resampler with its filter table.
#include "imaging/core/VLResample.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLResampleFast.h"
#include "imaging/core/VLThreadPool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <optional>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

using enum TVLPixelFormat;
using namespace imaging_core::detail;

bool ResampleVectorKernels = true;
bool ResampleAvx2Kernels = true;

namespace {

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
// flat image stays flat at any reduction. Every weight fits 16 bits, so that the vector path can
// multiply two taps at once; sums of weight x byte stay far inside 32 bits.
constexpr int WeightBits = 14;
constexpr int32_t WeightOne = 1 << WeightBits;
// Added to every sum before the shift, so that the fixed-point result rounds to nearest.
constexpr int32_t WeightHalf = WeightOne / 2;

// The contributors of every destination column (or row) i: Count[i] consecutive source
// positions from First[i] with the weights from Weight[WeightStart[i]]. Positions outside the
// source are read reflected (see ReflectIndex); Before and After are how far they reach.
struct TContributors {
    std::vector<int32_t> First;
    std::vector<int32_t> Count;
    std::vector<int32_t> WeightStart;
    std::vector<int32_t> Weight;
    int32_t Before = 0;
    int32_t After = 0;
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
// Zero weights at either end are dropped.
void AppendTaps(TContributors& List, const TFilterRow& Filter, double c, double Width, double s,
                int32_t SrcSize, std::vector<double>& Values, std::vector<int32_t>& Weights) {
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
    size_t first = 0, last = Weights.size() - 1;
    while (Weights[first] == 0)
        ++first;
    while (Weights[last] == 0)
        --last;
    const auto position = static_cast<int32_t>(from + static_cast<int64_t>(first));
    const auto count = static_cast<int32_t>(last - first + 1);
    List.First.push_back(position);
    List.Count.push_back(count);
    List.WeightStart.push_back(static_cast<int32_t>(List.Weight.size()));
    List.Weight.insert(List.Weight.end(), Weights.begin() + first, Weights.begin() + last + 1);
    List.Before = std::max(List.Before, -position);
    List.After = std::max(List.After, position + count - SrcSize);
}

TContributors BuildContributors(int32_t SrcSize, int32_t DstSize, const TFilterRow& Filter) {
    // The first and last source pixels land exactly on the first and last destination pixels.
    const double scale = SrcSize == 1 || DstSize == 1
                             ? static_cast<double>(DstSize) / SrcSize
                             : static_cast<double>(DstSize - 1) / (SrcSize - 1);
    const double width = scale >= 1 ? Filter.Support : Filter.Support / scale;
    const double s = scale >= 1 ? 1 : 1 / scale;
    TContributors list;
    std::vector<double> values;
    std::vector<int32_t> weights;
    for (int32_t i = 0; i < DstSize; ++i)
        AppendTaps(list, Filter, i / scale, width, s, SrcSize, values, weights);
    return list;
}

// A source row widened by the reach of the taps on both sides, the added pixels reflected, so
// that every destination column reads consecutive pixels.
template <int Channels> class TReflectedRow {
public:
    TReflectedRow(const TContributors& List, int32_t Width)
        : FBefore(List.Before), FWidth(Width),
          FPixels(static_cast<size_t>(List.Before + Width + List.After) * Channels) {}

    // The address of source pixel 0 in the widened copy of Row.
    const uint8_t* Widen(const uint8_t* Row) {
        uint8_t* origin = FPixels.data() + static_cast<size_t>(FBefore) * Channels;
        std::memcpy(origin, Row, static_cast<size_t>(FWidth) * Channels);
        const int32_t after = static_cast<int32_t>(FPixels.size() / Channels) - FBefore - FWidth;
        for (int32_t j = -FBefore; j < 0; ++j)
            std::memcpy(origin + j * Channels, Row + ReflectIndex(j, FWidth) * Channels, Channels);
        for (int32_t j = FWidth; j < FWidth + after; ++j)
            std::memcpy(origin + j * Channels, Row + ReflectIndex(j, FWidth) * Channels, Channels);
        return origin;
    }

private:
    int32_t FBefore;
    int32_t FWidth;
    std::vector<uint8_t> FPixels;
};

// One row of the horizontal pass: Channels bytes per pixel in and out. Origin is source pixel 0
// of a widened row.
template <int Channels>
void KernelRow(const uint8_t* Origin, uint8_t* Dest, const TContributors& List) {
    const auto count = static_cast<int32_t>(List.First.size());
    for (int32_t i = 0; i < count; ++i) {
        int32_t sums[Channels] = {};
        const uint8_t* p = Origin + List.First[i] * Channels;
        const int32_t* w = List.Weight.data() + List.WeightStart[i];
        const int32_t n = List.Count[i];
        for (int32_t k = 0; k < n; ++k, p += Channels)
            for (int c = 0; c < Channels; ++c)
                sums[c] += w[k] * p[c];
        for (int c = 0; c < Channels; ++c)
            *Dest++ = static_cast<uint8_t>(ClampToByte((sums[c] + WeightHalf) >> WeightBits));
    }
}

#if defined(__SSE2__)
// Two 16-bit weights repeated over a vector, the first of each pair in the low half.
struct alignas(16) TWeightPair {
    int32_t Lanes[4];
};

TWeightPair MakeWeightPair(int32_t First, int32_t Second) {
    const auto pair =
        static_cast<int32_t>(static_cast<uint16_t>(First) | (static_cast<uint32_t>(Second) << 16));
    return {{pair, pair, pair, pair}};
}

bool Ssse3Available() {
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

// Byte shuffle that turns the six bytes of pixels j and j + 1 into the pair lanes below.
__attribute__((target("ssse3"))) __m128i PairLanes(const uint8_t* Pixel) {
    const __m128i order = _mm_setr_epi8(0, -128, 3, -128, 1, -128, 4, -128, 2, -128, 5, -128,
                                        -128, -128, -128, -128);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Pixel)), order);
}

// The horizontal pass on 24-bit rows with SSE2. Position j of the widened row is stored as the
// eight 16-bit lanes (blue j, blue j+1, green j, green j+1, red j, red j+1, 0, 0), so one
// multiply-add weighs two taps of all three channels. The results are those of KernelRow<3>.
// With SSSE3 the columns whose taps lie inside the row read the source row straight into
// those lanes with one byte shuffle per pair of taps, and only the positions the edge columns
// read are widened.
class TRgbKernelRowSse2 {
public:
    TRgbKernelRowSse2(const TContributors& List, int32_t Width)
        : FList(List), FWidth(Width),
          FPairPixels(static_cast<size_t>(List.Before + Width + List.After) * 8, 0),
          FDirect(Ssse3Available()) {
        const auto count = static_cast<int32_t>(List.First.size());
        FInner.assign(count, false);
        for (int32_t i = 0; i < count; ++i) {
            FPairStart.push_back(static_cast<int32_t>(FPairs.size()));
            const int32_t* w = List.Weight.data() + List.WeightStart[i];
            for (int32_t k = 0; k < List.Count[i]; k += 2)
                FPairs.push_back(MakeWeightPair(w[k], k + 1 < List.Count[i] ? w[k + 1] : 0));
            // The last pair's sixteen-byte load stays inside the row.
            const int32_t lastPair = List.First[i] + 2 * ((List.Count[i] - 1) / 2);
            FInner[i] = FDirect && List.First[i] >= 0 && lastPair <= Width - 6;
            if (!FInner[i])
                for (int32_t j = List.First[i]; j < List.First[i] + List.Count[i]; j += 2)
                    FEdgePositions.push_back(j);
        }
        FPairStart.push_back(static_cast<int32_t>(FPairs.size()));
        std::sort(FEdgePositions.begin(), FEdgePositions.end());
        FEdgePositions.erase(std::unique(FEdgePositions.begin(), FEdgePositions.end()),
                             FEdgePositions.end());
    }

    void Run(const uint8_t* Row, uint8_t* Dest) {
        Widen(Row);
        const __m128i* origin = reinterpret_cast<const __m128i*>(FPairPixels.data()) + FList.Before;
        const auto* pairs = reinterpret_cast<const __m128i*>(FPairs.data());
        const auto count = static_cast<int32_t>(FList.First.size());
        for (int32_t i = 0; i < count; ++i) {
            __m128i sums;
            if (FInner[i]) {
                sums = DirectSums(Row + static_cast<ptrdiff_t>(FList.First[i]) * 3, pairs,
                                  FPairStart[i], FPairStart[i + 1]);
            } else {
                const __m128i* p = origin + FList.First[i];
                sums = _mm_set1_epi32(WeightHalf);
                for (int32_t k = FPairStart[i]; k < FPairStart[i + 1]; ++k, p += 2)
                    sums = _mm_add_epi32(sums, _mm_madd_epi16(_mm_loadu_si128(p), pairs[k]));
            }
            const __m128i shifted = _mm_srai_epi32(sums, WeightBits);
            const __m128i words = _mm_packs_epi32(shifted, shifted);
            const auto bytes =
                static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
            std::memcpy(Dest, &bytes, 3);
            Dest += 3;
        }
    }

private:
    __attribute__((target("ssse3"))) static __m128i DirectSums(const uint8_t* Pixel,
                                                              const __m128i* Pairs, int32_t From,
                                                              int32_t To) {
        __m128i sums = _mm_set1_epi32(WeightHalf);
        for (int32_t k = From; k < To; ++k, Pixel += 6)
            sums = _mm_add_epi32(sums, _mm_madd_epi16(PairLanes(Pixel), Pairs[k]));
        return sums;
    }

    // The pair lanes of the positions the widened row is read at, from the reflected pixels (a
    // tap's partner beyond the reach has weight 0, so any pixel serves there).
    void Widen(const uint8_t* Row) {
        auto* lanes = FPairPixels.data() + static_cast<ptrdiff_t>(FList.Before) * 8;
        for (const int32_t j : FEdgePositions) {
            const uint8_t* a = Row + static_cast<ptrdiff_t>(ReflectIndex(j, FWidth)) * 3;
            const uint8_t* b = Row + static_cast<ptrdiff_t>(ReflectIndex(j + 1, FWidth)) * 3;
            int16_t* out = lanes + static_cast<ptrdiff_t>(j) * 8;
            out[0] = a[0];
            out[1] = b[0];
            out[2] = a[1];
            out[3] = b[1];
            out[4] = a[2];
            out[5] = b[2];
        }
    }

    const TContributors& FList;
    int32_t FWidth;
    std::vector<int16_t> FPairPixels;
    std::vector<TWeightPair> FPairs;
    std::vector<int32_t> FPairStart;
    // Columns read straight from the row; positions of the others' pairs.
    std::vector<bool> FInner;
    std::vector<int32_t> FEdgePositions;
    bool FDirect;
};
#endif

#if defined(__x86_64__) || defined(__i386__)
// The vertical pass with AVX2, thirty-two bytes at a time: the arithmetic of the SSE2 form on
// twice the lanes. Unpacking and packing both work within each 16-byte half, so the bytes come
// back in their order. Returns the bytes done; the caller finishes the rest.
__attribute__((target("avx2"))) size_t KernelColumnRowAvx2(const std::vector<const uint8_t*>& Rows,
                                                           const std::vector<int32_t>& Pairs,
                                                           size_t Bytes, uint8_t* Dest) {
    const __m256i zero = _mm256_setzero_si256();
    size_t x = 0;
    for (; x + 32 <= Bytes; x += 32) {
        const __m256i half = _mm256_set1_epi32(WeightHalf);
        __m256i s0 = half, s1 = half, s2 = half, s3 = half;
        for (size_t p = 0; p < Pairs.size(); ++p) {
            const __m256i w = _mm256_set1_epi32(Pairs[p]);
            const __m256i a =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Rows[2 * p] + x));
            const __m256i b =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Rows[2 * p + 1] + x));
            const __m256i aLow = _mm256_unpacklo_epi8(a, zero);
            const __m256i aHigh = _mm256_unpackhi_epi8(a, zero);
            const __m256i bLow = _mm256_unpacklo_epi8(b, zero);
            const __m256i bHigh = _mm256_unpackhi_epi8(b, zero);
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_unpacklo_epi16(aLow, bLow), w));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_unpackhi_epi16(aLow, bLow), w));
            s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_unpacklo_epi16(aHigh, bHigh), w));
            s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_unpackhi_epi16(aHigh, bHigh), w));
        }
        const __m256i low = _mm256_packs_epi32(_mm256_srai_epi32(s0, WeightBits),
                                               _mm256_srai_epi32(s1, WeightBits));
        const __m256i high = _mm256_packs_epi32(_mm256_srai_epi32(s2, WeightBits),
                                                _mm256_srai_epi32(s3, WeightBits));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dest + x), _mm256_packus_epi16(low, high));
    }
    return x;
}

bool Avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available && ResampleAvx2Kernels;
}
#endif

#if defined(__SSE2__)
// The vertical pass with SSE2: the bytes of two contributing rows are interleaved as 16-bit
// lanes and weighed by one multiply-add, sixteen bytes at a time. The integer results are those
// of the plain loop.
void KernelColumnRowSse2(TIntermediate& Rows, int32_t Height, const TContributors& List, int32_t Y,
                         uint8_t* Dest) {
    const int32_t n = List.Count[Y];
    const int32_t* weights = List.Weight.data() + List.WeightStart[Y];
    std::vector<const uint8_t*> rows;
    std::vector<int32_t> pairs;
    for (int32_t k = 0; k < n; k += 2) {
        rows.push_back(Rows.Row(ReflectIndex(List.First[Y] + k, Height)));
        rows.push_back(k + 1 < n ? Rows.Row(ReflectIndex(List.First[Y] + k + 1, Height))
                                 : rows.back());
        const int32_t next = k + 1 < n ? weights[k + 1] : 0;
        pairs.push_back(static_cast<int32_t>(static_cast<uint16_t>(weights[k]) |
                                             (static_cast<uint32_t>(next) << 16)));
    }
    const size_t bytes = Rows.RowBytes;
    const __m128i zero = _mm_setzero_si128();
    size_t x = 0;
    if (Avx2Available()) x = KernelColumnRowAvx2(rows, pairs, bytes, Dest);
    for (; x + 16 <= bytes; x += 16) {
        const __m128i half = _mm_set1_epi32(WeightHalf);
        __m128i s0 = half, s1 = half, s2 = half, s3 = half;
        for (size_t p = 0; p < pairs.size(); ++p) {
            const __m128i w = _mm_set1_epi32(pairs[p]);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + x));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + x));
            const __m128i aLow = _mm_unpacklo_epi8(a, zero), aHigh = _mm_unpackhi_epi8(a, zero);
            const __m128i bLow = _mm_unpacklo_epi8(b, zero), bHigh = _mm_unpackhi_epi8(b, zero);
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi16(aLow, bLow), w));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi16(aLow, bLow), w));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi16(aHigh, bHigh), w));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi16(aHigh, bHigh), w));
        }
        const __m128i low =
            _mm_packs_epi32(_mm_srai_epi32(s0, WeightBits), _mm_srai_epi32(s1, WeightBits));
        const __m128i high =
            _mm_packs_epi32(_mm_srai_epi32(s2, WeightBits), _mm_srai_epi32(s3, WeightBits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + x), _mm_packus_epi16(low, high));
    }
    for (; x < bytes; ++x) {
        int32_t sum = 0;
        for (int32_t k = 0; k < n; ++k)
            sum += weights[k] * Rows.Row(ReflectIndex(List.First[Y] + k, Height))[x];
        Dest[x] = static_cast<uint8_t>(ClampToByte((sum + WeightHalf) >> WeightBits));
    }
}
#endif

// One row of the vertical pass: every byte of the listed intermediate rows, in row order.
void KernelColumnRow(TIntermediate& Rows, int32_t Height, const TContributors& List, int32_t Y,
                     std::vector<int32_t>& Sums, uint8_t* Dest) {
    std::fill(Sums.begin(), Sums.end(), 0);
    const size_t bytes = Rows.RowBytes;
    int32_t* sums = Sums.data();
    const int32_t* weights = List.Weight.data() + List.WeightStart[Y];
    for (int32_t k = 0; k < List.Count[Y]; ++k) {
        const uint8_t* row = Rows.Row(ReflectIndex(List.First[Y] + k, Height));
        const int32_t w = weights[k];
        for (size_t x = 0; x < bytes; ++x)
            sums[x] += w * row[x];
    }
    for (size_t x = 0; x < bytes; ++x)
        Dest[x] = static_cast<uint8_t>(ClampToByte((sums[x] + WeightHalf) >> WeightBits));
}

// What the kernel resampler reads and writes.
enum class TKernelPixels { Rgb24, Gray8, BitsToGray24 };

template <TKernelPixels Pixels>
void KernelResample(TVLBitmap& Source, TVLBitmap& Dest, const TFilterRow& Filter,
                    TProgressReporter& Progress) {
    constexpr int channels = Pixels == TKernelPixels::Rgb24 ? 3 : 1;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    const double factor = 100 / (SH + DH + 0.5);

    TIntermediate rows(DW, SH, channels);
    // Every row is computed alone, so bands give the same bytes as one pass.
    const bool bands = RowBandsAllowed(Source, Dest, Progress);
    auto run = [&](int32_t Count, const std::function<void(int32_t, int32_t)>& Work) {
        RunRows(bands, Count, Work);
    };
    {
        const TContributors columns = BuildContributors(SW, DW, Filter);
        TRowPassScope reading(Source, VLAccessRead);
        run(SH, [&](int32_t First, int32_t Last) {
            TReflectedRow<channels> widened(columns, SW);
#if defined(__SSE2__)
            std::optional<TRgbKernelRowSse2> vectorRow;
            if (Pixels == TKernelPixels::Rgb24 && ResampleVectorKernels)
                vectorRow.emplace(columns, SW);
#endif
            auto horizontal = [&](const uint8_t* Row, uint8_t* Out) {
#if defined(__SSE2__)
                if (vectorRow) return vectorRow->Run(Row, Out);
#endif
                KernelRow<channels>(widened.Widen(Row), Out, columns);
            };
            std::vector<uint8_t> expanded(Pixels == TKernelPixels::BitsToGray24 ? SW : 0);
            for (int32_t y = First; y < Last; ++y) {
                const uint8_t* src = CheckedScanline(Source, y);
                if constexpr (Pixels == TKernelPixels::BitsToGray24) {
                    for (int32_t x = 0; x < SW; ++x)
                        expanded[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) != 0 ? 255 : 0;
                    src = expanded.data();
                }
                horizontal(src, rows.Row(y));
                Progress.ReportChange(TruncInt((y + 1) * factor));
            }
        });
    }
    const TContributors lines = BuildContributors(SH, DH, Filter);
    TRowPassScope writing(Dest, VLAccessWrite);
    run(DH, [&](int32_t First, int32_t Last) {
        std::vector<int32_t> sums(rows.RowBytes);
        std::vector<uint8_t> out(rows.RowBytes);
        for (int32_t y = First; y < Last; ++y) {
#if defined(__SSE2__)
            if (ResampleVectorKernels)
                KernelColumnRowSse2(rows, SH, lines, y, out.data());
            else
#endif
                KernelColumnRow(rows, SH, lines, y, sums, out.data());
            if constexpr (Pixels == TKernelPixels::BitsToGray24)
                StoreGrayAs24(Dest, y, out.data(), DW);
            else
                StoreRow(Dest, y, out.data(), out.size());
            Progress.ReportChange(TruncInt((y + SH + 1) * factor));
        }
    });
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
