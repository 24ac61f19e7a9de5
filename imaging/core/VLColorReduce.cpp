// Colour reduction: grey rectangles, quantization to n colours, black and white by ordered dither
// and thresholds, the grey histogram, the mean colour and the expansion of 1-bit class-library
// bitmaps.
#include "imaging/core/VLColorReduce.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLRowToRGB.h"
#include "platform/gfx/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;
using imaging_core::detail::TruncInt;

const uint8_t OrderedDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

// Reports Trunc(rows done x 100 / (row count + 0.5)) after each row.
class TRowProgress {
public:
    TRowProgress(const TVLProgressEvent& Event, TObject* Sender, int32_t Rows)
        : Reporter(Event, Sender), Factor(100 / (Rows + 0.5)) {}
    void RowDone(int32_t Done) const { Reporter.Report(TruncInt(Done * Factor)); }

private:
    TProgressReporter Reporter;
    double Factor;
};

// Grey level with the library's weights, read once per call.
class TGrayLevel {
public:
    int32_t operator()(const TVLRGB& C) const {
        return ClampToByte((C.r * FR + C.g * FG + C.b * FB) / 100);
    }

private:
    int32_t FR = GrayWeightRed;
    int32_t FG = GrayWeightGreen;
    int32_t FB = GrayWeightBlue;
};

// Calls Visit(y, pixels) for every row of Bitmap read as vl24RGB pixels, top row first.
template <typename VisitT> void ForEachRGBRow(TVLBitmap& Bitmap, VisitT Visit) {
    const TVLRowToRGB reader(Bitmap);
    std::vector<TVLRGB> pixels(Bitmap.GetWidth());
    TRowPassScope reading(Bitmap, VLAccessRead);
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        reader.Read(CheckedScanline(Bitmap, y), pixels.data());
        Visit(y, pixels.data());
    }
}

// The level t that maximises the sum of the entropies of the levels below t and of those from t
// up; an image with one level gives that level.
int32_t MaximumEntropyThreshold(TVLBitmap& Bitmap) {
    std::array<int32_t, 256> histogram{};
    GrayHistogram(Bitmap, histogram);
    int64_t total = 0;
    for (int32_t count : histogram)
        total += count;
    if (total == 0) return 0;
    std::array<double, 256> p{};
    double entropy = 0;
    int32_t onlyLevel = 0;
    for (int32_t i = 0; i < 256; ++i) {
        p[i] = static_cast<double>(histogram[i]) / static_cast<double>(total);
        if (histogram[i] > 0) {
            entropy -= p[i] * std::log(p[i]);
            onlyLevel = i;
        }
    }
    double best = -std::numeric_limits<double>::infinity();
    int32_t threshold = onlyLevel;
    int64_t below = 0;
    double entropyBelow = 0;
    for (int32_t t = 1; t < 256; ++t) {
        below += histogram[t - 1];
        if (histogram[t - 1] > 0) entropyBelow -= p[t - 1] * std::log(p[t - 1]);
        // Counted in whole pixels, so that "every pixel below t" is exact.
        if (below == 0 || below == total) continue;
        const double share = static_cast<double>(below) / static_cast<double>(total);
        const double score = std::log(share - share * share) + entropyBelow / share +
                             (entropy - entropyBelow) / (1 - share);
        if (score > best) {
            best = score;
            threshold = t;
        }
    }
    return threshold;
}

struct TBitExpandTable {
    uint8_t Pixels[256][24];
};

// Entry i holds the eight 3-byte pixels of the 1-bit byte i: white for a set bit.
constexpr TBitExpandTable BuildBitExpandTable() {
    TBitExpandTable table{};
    for (int32_t i = 0; i < 256; ++i)
        for (int32_t j = 0; j < 8; ++j)
            for (int32_t k = 0; k < 3; ++k)
                table.Pixels[i][3 * j + k] = (i & (0x80 >> j)) ? 255 : 0;
    return table;
}

constexpr TBitExpandTable BitExpandTable = BuildBitExpandTable();

// Makes the vl1g copy a conversion in place writes into; false when it cannot be had.
bool AllocateMono(TVLBitmap& Bitmap, TVLBitmap& Mono) {
    Mono.MinFileSize = Bitmap.MinFileSize;
    return Mono.Allocate(Bitmap.GetWidth(), Bitmap.GetHeight(), vl1g);
}

} // namespace

void GrayscaleRect24(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                     const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Bitmap.GetWidth());
    Y2 = std::min(Y2, Bitmap.GetHeight());
    if (Y2 <= Y1 || X2 <= X1) return;
    // Rows done x 100 / (rows + 0.5): never above 100.
    const TRowProgress progress(OnProgress, Sender, Y2 - Y1);
    const TGrayLevel gray;
    TRowPassScope pass(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = Y1; y < Y2; ++y) {
        auto* row = reinterpret_cast<TVLRGB*>(CheckedScanline(Bitmap, y));
        for (int32_t x = X1; x < X2; ++x) {
            const auto g = static_cast<uint8_t>(gray(row[x]));
            row[x] = TVLRGB{g, g, g};
        }
        progress.RowDone(y - Y1 + 1);
    }
}

void QuantizeColors(TVLBitmap& Bitmap, int32_t NumColors, TVLRGB* Palette,
                    const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl24RGB || Bitmap.IsEmpty() || NumColors < 1) return;
    std::vector<TVLRGB> own;
    if (Palette == nullptr) {
        own.resize(static_cast<size_t>(NumColors));
        Palette = own.data();
    }
    const std::span<TVLRGB> palette(Palette, static_cast<size_t>(NumColors));
    const TVLQuantizer quantizer(Bitmap, palette, NumColors);
    const int32_t width = Bitmap.GetWidth();
    const int32_t height = Bitmap.GetHeight();
    const TRowProgress progress(OnProgress, Sender, height);
    // Up to 256 colours the quantizer maps whole rows with its strategy chosen once.
    const bool byRow = NumColors <= 256;
    std::vector<uint8_t> indexes(byRow ? static_cast<size_t>(width) : 0);
    TRowPassScope pass(Bitmap, VLAccessRead | VLAccessWrite);
    for (int32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<TVLRGB*>(CheckedScanline(Bitmap, y));
        if (byRow) {
            quantizer.RGBRowToIndexes(row, indexes.data(), width);
            for (int32_t x = 0; x < width; ++x)
                row[x] = palette[indexes[x]];
        } else {
            for (int32_t x = 0; x < width; ++x)
                row[x] = palette[static_cast<size_t>(quantizer.RGBToIndex(row[x]))];
        }
        progress.RowDone(y + 1);
    }
}

void ConvertTo1BitOrdered(TVLBitmap& Bitmap, const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return;
    TVLBitmap mono;
    if (!AllocateMono(Bitmap, mono)) return;
    const int32_t width = Bitmap.GetWidth();
    const int32_t height = Bitmap.GetHeight();
    const TRowProgress progress(OnProgress, Sender, height);
    const TGrayLevel gray;
    {
        TRowPassScope reading(Bitmap, VLAccessRead);
        TRowPassScope writing(mono, VLAccessWrite);
        for (int32_t y = 0; y < height; ++y) {
            const auto* src = reinterpret_cast<const TVLRGB*>(CheckedScanline(Bitmap, y));
            uint8_t* dst = CheckedScanline(mono, y);
            std::memset(dst, 0, mono.GetRowLen());
            for (int32_t x = 0; x < width; ++x)
                if (DitherLevel(src[x], gray(src[x])) > OrderedDitherMatrix[x & 7][y & 7])
                    dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            progress.RowDone(y + 1);
        }
    }
    Bitmap.AssignImage(mono);
}

void ConvertTo1BitThreshold(TVLBitmap& Bitmap, int32_t Threshold,
                            const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return;
    TVLBitmap mono;
    if (!AllocateMono(Bitmap, mono)) return;
    ThresholdTo1Bit(Bitmap, mono, Threshold, OnProgress, Sender);
    Bitmap.AssignImage(mono);
}

void ThresholdTo1Bit(TVLBitmap& Source, TVLBitmap& Dest, int32_t Threshold,
                     const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest) return;
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format == vl1g) {
        Dest.AssignImage(Source);
        return;
    }
    const int32_t width = Source.GetWidth();
    const int32_t height = Source.GetHeight();
    if (format == vlNone || Source.IsEmpty() || Dest.GetPixelFormat() != vl1g ||
        Dest.GetWidth() != width || Dest.GetHeight() != height)
        return;
    const TGrayLevel gray;
    if (Threshold == ThresholdMaximumEntropy) {
        Threshold = MaximumEntropyThreshold(Source);
    } else if (Threshold == ThresholdMeanLuminance) {
        int32_t r = 0, g = 0, b = 0;
        GetAverageColor(Source, r, g, b);
        Threshold =
            gray(TVLRGB{static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)});
    }
    const TRowProgress progress(OnProgress, Sender, height);
    TRowPassScope writing(Dest, VLAccessWrite);
    ForEachRGBRow(Source, [&](int32_t y, const TVLRGB* pixels) {
        uint8_t* dst = CheckedScanline(Dest, y);
        std::memset(dst, 0, Dest.GetRowLen());
        for (int32_t x = 0; x < width; ++x)
            if (gray(pixels[x]) >= Threshold) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        progress.RowDone(y + 1);
    });
}

void GrayHistogram(TVLBitmap& Bitmap, std::array<int32_t, 256>& Histogram) {
    Histogram.fill(0);
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    const int32_t width = Bitmap.GetWidth();
    // vl1g counts its bit, the grey formats their level, the others the weighted grey level.
    const bool bits = format == vl1g;
    const bool levels = format == vl8g || format == vl16g || format == vl32f;
    const TGrayLevel gray;
    ForEachRGBRow(Bitmap, [&](int32_t, const TVLRGB* pixels) {
        if (bits) {
            for (int32_t x = 0; x < width; ++x)
                ++Histogram[pixels[x].r & 1];
        } else if (levels) {
            for (int32_t x = 0; x < width; ++x)
                ++Histogram[pixels[x].r];
        } else {
            for (int32_t x = 0; x < width; ++x)
                ++Histogram[gray(pixels[x])];
        }
    });
}

void GetAverageColor(TVLBitmap& Bitmap, int32_t& R, int32_t& G, int32_t& B) {
    R = G = B = 128;
    const int32_t width = Bitmap.GetWidth();
    const int32_t height = Bitmap.GetHeight();
    if (width <= 0 || height <= 0 || Bitmap.GetPixelFormat() == vlNone) return;
    int64_t r = 0, g = 0, b = 0;
    try {
        ForEachRGBRow(Bitmap, [&](int32_t, const TVLRGB* pixels) {
            int64_t rowR = 0, rowG = 0, rowB = 0;
            for (int32_t x = 0; x < width; ++x) {
                rowR += pixels[x].r;
                rowG += pixels[x].g;
                rowB += pixels[x].b;
            }
            r += rowR / width;
            g += rowG / width;
            b += rowB / width;
        });
    } catch (const Exception&) {
        return;
    }
    R = static_cast<int32_t>(r / height);
    G = static_cast<int32_t>(g / height);
    B = static_cast<int32_t>(b / height);
}

void Convert1BitTBitmapTo24Bit(TBitmap& Source, TBitmap& Dest, const TVLProgressEvent& OnProgress,
                               TObject* Sender) {
    if (&Source == &Dest || Source.PixelFormat() != pf1bit) return;
    Dest.SetSize(1, 1);
    Dest.SetPixelFormat(pf24bit);
    Dest.SetSize(Source.Width(), Source.Height());
    const int32_t wholeBytes = Source.Width() / 8;
    const int32_t rest = Source.Width() % 8;
    const TRowProgress progress(OnProgress, Sender, Source.Height());
    for (int32_t r = 0; r < Source.Height(); ++r) {
        const auto* src = static_cast<const uint8_t*>(Source.ScanLine(r));
        auto* dst = static_cast<uint8_t*>(Dest.ScanLine(r));
        for (int32_t i = 0; i < wholeBytes; ++i)
            std::memcpy(dst + 24 * i, BitExpandTable.Pixels[src[i]], 24);
        if (rest > 0)
            std::memcpy(dst + 24 * wholeBytes, BitExpandTable.Pixels[src[wholeBytes]],
                        3 * static_cast<size_t>(rest));
        progress.RowDone(r + 1);
    }
}

namespace {

// Grey level of a colour by the library's weights, halves to even.
int64_t WeightedGray(const TVLRGB& Color) {
    return Round((Color.r * GrayWeightRed + Color.g * GrayWeightGreen + Color.b * GrayWeightBlue) /
                 100.0);
}

} // namespace

std::unique_ptr<TVLBitmap> TryMakeTwoColorBitmap(TVLBitmap& Bitmap, TVLRGB& Color0,
                                                 TVLRGB& Color1) {
    const int32_t width = Bitmap.GetWidth(), height = Bitmap.GetHeight();
    auto result = std::make_unique<TVLBitmap>();
    if (width <= 0 || height <= 0 || !result->Allocate(width, height, vl1g)) return nullptr;
    int32_t colors = 0;
    for (int32_t y = 0; y < height && colors <= 2; ++y) {
        uint8_t* row = result->GetScanline(y);
        for (int32_t x = 0; x < width; ++x) {
            const TVLRGB color = Bitmap.GetPixelAsRGB(x, y);
            if (colors == 0) {
                Color0 = color;
                colors = 1;
            } else if (!(color == Color0) && (colors == 1 || !(color == Color1))) {
                if (++colors > 2) break;
                Color1 = color;
            }
            SetRowBit(row, x, !(color == Color0));
        }
    }
    if (colors != 2) return nullptr;
    if (WeightedGray(Color1) < WeightedGray(Color0)) {
        InvertBitmapBits(*result);
        std::swap(Color0, Color1);
    }
    return result;
}

void InvertBytes(void* Buffer, int32_t Count) {
    auto* bytes = static_cast<uint8_t*>(Buffer);
    for (int32_t i = 0; i < Count; ++i)
        bytes[i] = static_cast<uint8_t>(~bytes[i]);
}

void InvertBitmapBits(TVLBitmap& Bitmap) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        InvertBytes(Bitmap.GetScanline(y), Bitmap.GetRowLen());
}

int32_t NearestPaletteIndex(const TVLRGB* Palette, int32_t Count, int32_t Color) {
    const int32_t r = (Color >> 16) & 0xFF, g = (Color >> 8) & 0xFF, b = Color & 0xFF;
    int32_t result = 0;
    int32_t best = 1000;
    for (int32_t i = 0; i < Count; ++i) {
        const int32_t d =
            std::abs(r - Palette[i].r) + std::abs(g - Palette[i].g) + std::abs(b - Palette[i].b);
        if (d < best) {
            result = i;
            best = d;
        }
    }
    return result;
}
