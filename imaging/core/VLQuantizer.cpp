// Colour quantizers: the exact colour set, the median-cut box splitter, the neural network and
// the choice between them.
#include "imaging/core/VLQuantizer.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"

#include <algorithm>
#include <cstdlib>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TRowPassScope;

namespace {

uint32_t PackColor(const TVLRGB& Color) {
    return (static_cast<uint32_t>(Color.r) << 16) | (Color.g << 8) | Color.b;
}

int32_t ColorDistance(const TVLRGB& A, const TVLRGB& B) {
    return std::abs(A.r - B.r) + std::abs(A.g - B.g) + std::abs(A.b - B.b);
}

// Index of the entry nearest to Color by the sum of channel differences, the first of equals.
int32_t NearestEntry(const TVLRGB* Entries, int32_t Count, const TVLRGB& Color) {
    int32_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int32_t i = 0; i < Count && bestDistance > 0; ++i) {
        const int32_t d = ColorDistance(Entries[i], Color);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// Calls Visit(row) for every row of a 24-bit bitmap, top row first, reading only.
template <typename VisitT> void ForEachRow(TVLBitmap& Bitmap, VisitT Visit) {
    TRowPassScope pass(Bitmap, VLAccessRead);
    const int32_t height = Bitmap.GetHeight();
    for (int32_t y = 0; y < height; ++y)
        Visit(CheckedScanline(Bitmap, y));
}

// ---------------------------------------------------------------------------------------------
// Median cut.

constexpr int32_t Levels = 32;
constexpr int32_t CellCount = Levels * Levels * Levels;
// Score of a channel along which a box cannot be split; above any sum of two variances.
constexpr double UnsplittableScore = 17523.6;
// Channel order of the boxes: red, green, blue.
constexpr int ChannelR = 0;
constexpr int ChannelG = 1;
constexpr int ChannelB = 2;

constexpr int32_t CellIndex(int32_t R, int32_t G, int32_t B) {
    return (R << 10) | (G << 5) | B;
}

struct TBox {
    double Variance = 0;
    double Mean[3] = {};
    int64_t Count = 0;
    int64_t Marginal[3][Levels] = {};
    int32_t Low[3] = {0, 0, 0};
    int32_t High[3] = {Levels, Levels, Levels};
};

class TMedianCutBuilder {
public:
    TMedianCutBuilder(TVLBitmap& Source, int32_t MaxColors);
    const std::vector<TBox>& GetBoxes() const { return Boxes; }

private:
    void CountPixels(TVLBitmap& Source);
    void ComputeStatistics(TBox& Box) const;
    bool SplitBox(TBox& Box, TBox& Second) const;
    bool SplitAlong(const TBox& Box, int Channel, TBox& First, TBox& Second) const;
    void RebuildHalves(const TBox& Parent, TBox& First, TBox& Second) const;

    std::vector<int64_t> Histogram;
    std::vector<TBox> Boxes;
    int64_t TotalPixels = 0;
};

TMedianCutBuilder::TMedianCutBuilder(TVLBitmap& Source, int32_t MaxColors)
    : Histogram(CellCount, 0) {
    CountPixels(Source);
    Boxes.reserve(MaxColors);
    TBox first;
    first.Count = TotalPixels;
    for (int32_t r = 0; r < Levels; ++r)
        for (int32_t g = 0; g < Levels; ++g)
            for (int32_t b = 0; b < Levels; ++b) {
                const int64_t count = Histogram[CellIndex(r, g, b)];
                first.Marginal[ChannelR][r] += count;
                first.Marginal[ChannelG][g] += count;
                first.Marginal[ChannelB][b] += count;
            }
    ComputeStatistics(first);
    Boxes.push_back(first);
    while (static_cast<int32_t>(Boxes.size()) < MaxColors) {
        int32_t chosen = -1;
        double largest = 0;
        for (int32_t i = 0; i < static_cast<int32_t>(Boxes.size()); ++i)
            if (Boxes[i].Variance > largest) {
                largest = Boxes[i].Variance;
                chosen = i;
            }
        if (chosen < 0) break;
        TBox second;
        if (SplitBox(Boxes[chosen], second))
            Boxes.push_back(second);
        else
            Boxes[chosen].Variance = 0;
    }
}

void TMedianCutBuilder::CountPixels(TVLBitmap& Source) {
    const int32_t width = Source.GetWidth();
    TotalPixels = static_cast<int64_t>(width) * Source.GetHeight();
    ForEachRow(Source, [&](const uint8_t* row) {
        for (int32_t x = 0; x < width; ++x, row += 3)
            ++Histogram[CellIndex(row[2] >> 3, row[1] >> 3, row[0] >> 3)];
    });
}

void TMedianCutBuilder::ComputeStatistics(TBox& Box) const {
    Box.Variance = 0;
    if (Box.Count == 0 || TotalPixels == 0) return;
    double spreads = 0;
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        double squares = 0;
        for (int32_t j = Box.Low[c]; j < Box.High[c]; ++j) {
            const auto h = static_cast<double>(Box.Marginal[c][j]);
            sum += j * h;
            squares += static_cast<double>(j) * j * h;
        }
        Box.Mean[c] = sum / static_cast<double>(Box.Count);
        spreads += squares - Box.Mean[c] * Box.Mean[c] * static_cast<double>(Box.Count);
    }
    Box.Variance = spreads / static_cast<double>(TotalPixels);
}

bool TMedianCutBuilder::SplitBox(TBox& Box, TBox& Second) const {
    if (Box.Variance == 0 || Box.Count == 0) return false;
    TBox firsts[3];
    TBox seconds[3];
    double scores[3];
    for (int c = 0; c < 3; ++c)
        scores[c] = SplitAlong(Box, c, firsts[c], seconds[c])
                        ? firsts[c].Variance + seconds[c].Variance
                        : UnsplittableScore;
    const auto wins = [&scores](int c) {
        return scores[c] < UnsplittableScore && scores[c] <= scores[(c + 1) % 3] &&
               scores[c] <= scores[(c + 2) % 3];
    };
    int channel = -1;
    if (wins(ChannelR))
        channel = ChannelR;
    else if (wins(ChannelG))
        channel = ChannelG;
    else if (scores[ChannelB] < UnsplittableScore)
        channel = ChannelB;
    if (channel < 0) return false;
    Box = firsts[channel];
    Second = seconds[channel];
    return true;
}

bool TMedianCutBuilder::SplitAlong(const TBox& Box, int Channel, TBox& First, TBox& Second) const {
    const int32_t low = Box.Low[Channel];
    const int32_t high = Box.High[Channel];
    if (low + 1 >= high) return false;
    const double mean = Box.Mean[Channel];
    const int64_t n = Box.Count;
    const int64_t* h = Box.Marginal[Channel];
    const auto start = static_cast<int32_t>(Round((low + mean) / 2));
    const auto end = static_cast<int32_t>(Round((mean + high) / 2));
    int64_t count = 0;
    for (int32_t j = low; j < start; ++j)
        count += h[j];
    int32_t split = start;
    int64_t firstCount = n;
    double best = -1;
    double weighted = 0;
    // The last level of the box always completes the count, so the loop never reads past it.
    for (int32_t e = start; e <= end && e < high; ++e) {
        count += h[e];
        if (count >= n) break;
        weighted += static_cast<double>(h[e]) * e / static_cast<double>(n);
        const double score = static_cast<double>(count) / static_cast<double>(n - count) *
                             (mean - weighted) * (mean - weighted);
        if (score > best) {
            best = score;
            split = e;
            firstCount = count;
        }
    }
    if (firstCount == 0 || firstCount == n) return false;
    First = Box;
    Second = Box;
    First.High[Channel] = split + 1;
    First.Count = firstCount;
    Second.Low[Channel] = split + 1;
    Second.Count = n - firstCount;
    RebuildHalves(Box, First, Second);
    return true;
}

void ShrinkToContents(TBox& Box) {
    for (int c = 0; c < 3; ++c) {
        int32_t first = Box.Low[c];
        int32_t last = Box.High[c] - 1;
        while (first < last && Box.Marginal[c][first] == 0)
            ++first;
        while (last > first && Box.Marginal[c][last] == 0)
            --last;
        Box.Low[c] = first;
        Box.High[c] = last + 1;
    }
}

void TMedianCutBuilder::RebuildHalves(const TBox& Parent, TBox& First, TBox& Second) const {
    std::fill_n(&First.Marginal[0][0], 3 * Levels, int64_t{0});
    for (int32_t r = First.Low[ChannelR]; r < First.High[ChannelR]; ++r)
        for (int32_t g = First.Low[ChannelG]; g < First.High[ChannelG]; ++g)
            for (int32_t b = First.Low[ChannelB]; b < First.High[ChannelB]; ++b) {
                const int64_t count = Histogram[CellIndex(r, g, b)];
                First.Marginal[ChannelR][r] += count;
                First.Marginal[ChannelG][g] += count;
                First.Marginal[ChannelB][b] += count;
            }
    for (int c = 0; c < 3; ++c)
        for (int32_t j = 0; j < Levels; ++j)
            Second.Marginal[c][j] = Parent.Marginal[c][j] - First.Marginal[c][j];
    ShrinkToContents(First);
    ShrinkToContents(Second);
    ComputeStatistics(First);
    ComputeStatistics(Second);
}

// ---------------------------------------------------------------------------------------------
// Neural network constants: colours are held x 16, frequencies and biases in 16-bit fixed point.

constexpr int32_t NetBiasShift = 4;
constexpr int32_t IntBias = 1 << 16;
constexpr int32_t BetaShift = 10;
constexpr int32_t Beta = IntBias >> BetaShift;
constexpr int32_t BetaGamma = IntBias;
constexpr int32_t InitAlpha = 1 << 10;
constexpr int32_t RadiusBiasShift = 6;
constexpr int32_t RadiusDecrease = 30;
constexpr int32_t RadBias = 1 << 8;
constexpr int32_t AlphaRadBias = 1 << 18;
constexpr int32_t LearningCycles = 100;
// Networks up to this size map through the per-cell candidates; larger ones search.
constexpr int32_t MaxCellNetSize = 4096;
// Slots of the lookup cache: 2^16.
constexpr int32_t CacheBits = 16;

int32_t RadiusOf(int32_t Radius) {
    const int32_t rad = Radius >> RadiusBiasShift;
    return rad <= 1 ? 0 : rad;
}

void MoveTowards(TVLNeuralNet::TNeuron& N, int64_t Factor, int64_t Scale, int32_t B, int32_t G,
                 int32_t R) {
    N.B -= static_cast<int32_t>((N.B - B) * Factor / Scale);
    N.G -= static_cast<int32_t>((N.G - G) * Factor / Scale);
    N.R -= static_cast<int32_t>((N.R - R) * Factor / Scale);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Exact colour set.

TVLExactColors::TVLExactColors(int32_t Limit) : FLimit(Limit) {
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(std::max(Limit, 0) + 1))
        slots *= 2;
    FSlotKeys.assign(slots, 0);
    FSlotIndexes.assign(slots, -1);
    FColors.reserve(std::max(Limit, 0));
}

int32_t TVLExactColors::Slot(uint32_t Key) const {
    const size_t mask = FSlotKeys.size() - 1;
    size_t i = (Key * 2654435761u >> 8) & mask;
    while (FSlotIndexes[i] >= 0 && FSlotKeys[i] != Key)
        i = (i + 1) & mask;
    return static_cast<int32_t>(i);
}

bool TVLExactColors::Add(const TVLRGB& Color) {
    const uint32_t key = PackColor(Color);
    const int32_t slot = Slot(key);
    if (FSlotIndexes[slot] >= 0) return true;
    if (Count() >= FLimit) return false;
    FSlotKeys[slot] = key;
    FSlotIndexes[slot] = Count();
    FColors.push_back(Color);
    return true;
}

int32_t TVLExactColors::Find(const TVLRGB& Color) const {
    const int32_t index = FSlotIndexes[Slot(PackColor(Color))];
    return index >= 0 ? index : NearestIndex(Color);
}

int32_t TVLExactColors::NearestIndex(const TVLRGB& Color) const {
    return NearestEntry(FColors.data(), Count(), Color);
}

std::unique_ptr<TVLExactColors> TryExactPalette(TVLBitmap& Bitmap, int32_t NumColors,
                                                std::span<TVLRGB> Palette) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return nullptr;
    auto colors = std::make_unique<TVLExactColors>(NumColors);
    const int32_t width = Bitmap.GetWidth();
    bool fits = true;
    ForEachRow(Bitmap, [&](const uint8_t* row) {
        if (!fits) return;
        const TVLRGB* pixels = reinterpret_cast<const TVLRGB*>(row);
        TVLRGB previous{};
        for (int32_t x = 0; x < width; ++x) {
            // Runs of one colour are common; they cost one comparison per pixel.
            if (x > 0 && pixels[x] == previous) continue;
            previous = pixels[x];
            if (!colors->Add(previous)) {
                fits = false;
                return;
            }
        }
    });
    if (!fits) return nullptr;
    const auto count = std::min<size_t>(colors->Count(), Palette.size());
    std::copy_n(colors->Data(), count, Palette.begin());
    return colors;
}

// ---------------------------------------------------------------------------------------------
// Median cut.

TVLMedianCut::TVLMedianCut(TVLBitmap& Source, std::span<TVLRGB> Palette, int32_t MaxColors)
    : FInverseMap(CellCount, 0) {
    const TMedianCutBuilder builder(Source, std::clamp(MaxColors, 1, CellCount));
    const std::vector<TBox>& boxes = builder.GetBoxes();
    FBoxCount = static_cast<int32_t>(boxes.size());
    for (int32_t i = 0; i < FBoxCount; ++i) {
        const TBox& box = boxes[i];
        if (static_cast<size_t>(i) < Palette.size())
            Palette[i] = {static_cast<uint8_t>(Round(box.Mean[ChannelB]) * 8),
                          static_cast<uint8_t>(Round(box.Mean[ChannelG]) * 8),
                          static_cast<uint8_t>(Round(box.Mean[ChannelR]) * 8)};
        for (int32_t r = box.Low[ChannelR]; r < box.High[ChannelR]; ++r)
            for (int32_t g = box.Low[ChannelG]; g < box.High[ChannelG]; ++g)
                for (int32_t b = box.Low[ChannelB]; b < box.High[ChannelB]; ++b)
                    FInverseMap[CellIndex(r, g, b)] = static_cast<uint16_t>(i);
    }
}

// ---------------------------------------------------------------------------------------------
// Neural network.

int32_t AutoSampleFactor(int64_t Pixels) {
    if (Pixels < 2000) return 1;
    const int64_t factor = Round(static_cast<double>(Pixels - 2000) * 13 / 148000 + 2);
    return static_cast<int32_t>(std::clamp<int64_t>(factor, 1, 30));
}

TVLNeuralNet::TVLNeuralNet(TVLBitmap& Source, std::span<TVLRGB> Palette, int32_t Quality,
                           int32_t NetSize)
    : FNetSize(std::clamp(NetSize, 1, 65536)) {
    const int64_t pixels = static_cast<int64_t>(Source.GetWidth()) * Source.GetHeight();
    FSampleFactor =
        Quality == -1
            ? AutoSampleFactor(pixels)
            : static_cast<int32_t>(Trunc((100 - ClampToRange(Quality, 0, 100)) / 100.0 * 29)) + 1;
    FNetwork.resize(this->FNetSize);
    for (int32_t i = 0; i < this->FNetSize; ++i) {
        const int32_t v = static_cast<int32_t>((static_cast<int64_t>(i) << 12) / this->FNetSize);
        FNetwork[i] = {v, v, v, i};
    }
    FFreq.assign(this->FNetSize, IntBias / this->FNetSize);
    FBias.assign(this->FNetSize, 0);
    FRadPower.assign(this->FNetSize / 8, 0);
    if (pixels > 0 && Source.GetPixelFormat() == vl24RGB) Learn(Source);
    Unbias(Palette);
    BuildIndex();
    FCache = std::vector<std::atomic<uint64_t>>(size_t{1} << CacheBits);
    if (this->FNetSize <= MaxCellNetSize) {
        FCellState = std::vector<std::atomic<uint8_t>>(size_t{1} << 15);
        FCellCandidates.resize(size_t{1} << 15);
    }
}

void TVLNeuralNet::BuildRadPower(int32_t Rad, int32_t Alpha) {
    const int32_t square = Rad * Rad;
    for (int32_t k = 0; k < Rad; ++k)
        FRadPower[k] = Alpha * (((square - k * k) * RadBias) / square);
}

void TVLNeuralNet::Learn(TVLBitmap& Source) {
    const int32_t width = Source.GetWidth();
    const int32_t height = Source.GetHeight();
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int64_t lengthCount = pixels * 3;
    const int32_t alphaDec = 30 + (FSampleFactor - 1) / 3;
    const int64_t samples = lengthCount / (3 * FSampleFactor);
    const int64_t delta = std::max<int64_t>(samples / LearningCycles, 1);
    int32_t alpha = InitAlpha;
    int32_t radius = (FNetSize / 8) << RadiusBiasShift;
    int32_t rad = RadiusOf(radius);
    BuildRadPower(rad, alpha);
    // A prime step that does not divide the picture visits it in a scattered order.
    const int64_t step = lengthCount % 499 != 0   ? 499
                         : lengthCount % 491 != 0 ? 491
                         : lengthCount % 487 != 0 ? 487
                                                  : 503;
    TRowPassScope pass(Source, VLAccessRead);
    int64_t position = 0;
    for (int64_t i = 0; i < samples;) {
        const auto y = static_cast<int32_t>((position / width) % height);
        const uint8_t* pixel = CheckedScanline(Source, y) + 3 * (position % width);
        const int32_t b = pixel[0] << NetBiasShift;
        const int32_t g = pixel[1] << NetBiasShift;
        const int32_t r = pixel[2] << NetBiasShift;
        const int32_t winner = Contest(b, g, r);
        MoveTowards(FNetwork[winner], alpha, InitAlpha, b, g, r);
        if (rad > 0) MoveNeighbours(rad, winner, b, g, r);
        position += step;
        if (position >= pixels) position -= pixels;
        ++i;
        if (i % delta == 0) {
            alpha -= alpha / alphaDec;
            radius -= radius / RadiusDecrease;
            rad = RadiusOf(radius);
            BuildRadPower(rad, alpha);
        }
    }
}

int32_t TVLNeuralNet::Contest(int32_t B, int32_t G, int32_t R) {
    int32_t bestDistance = INT32_MAX;
    int32_t bestBiasDistance = INT32_MAX;
    int32_t bestPosition = 0;
    int32_t bestBiasPosition = 0;
    for (int32_t i = 0; i < FNetSize; ++i) {
        const TNeuron& n = FNetwork[i];
        const int32_t d = std::abs(n.B - B) + std::abs(n.G - G) + std::abs(n.R - R);
        if (d < bestDistance) {
            bestDistance = d;
            bestPosition = i;
        }
        const int32_t biasDistance = d - (FBias[i] >> (16 - NetBiasShift));
        if (biasDistance < bestBiasDistance) {
            bestBiasDistance = biasDistance;
            bestBiasPosition = i;
        }
        const int32_t betaFreq = FFreq[i] >> BetaShift;
        FFreq[i] -= betaFreq;
        FBias[i] += betaFreq << 10;
    }
    FFreq[bestPosition] += Beta;
    FBias[bestPosition] -= BetaGamma;
    return bestBiasPosition;
}

void TVLNeuralNet::MoveNeighbours(int32_t Rad, int32_t Winner, int32_t B, int32_t G, int32_t R) {
    const int32_t low = std::max(Winner - Rad, -1);
    const int32_t high = std::min(Winner + Rad, FNetSize);
    int32_t up = Winner + 1;
    int32_t down = Winner - 1;
    int32_t m = 1;
    while (up < high || down > low) {
        const int32_t power = FRadPower[m++];
        if (up < high) MoveTowards(FNetwork[up++], power, AlphaRadBias, B, G, R);
        if (down > low) MoveTowards(FNetwork[down--], power, AlphaRadBias, B, G, R);
    }
}

void TVLNeuralNet::Unbias(std::span<TVLRGB> Palette) {
    const auto unbias = [](int32_t v) {
        return ClampToRange((v + (1 << (NetBiasShift - 1))) >> NetBiasShift, 0, 255);
    };
    for (int32_t i = 0; i < FNetSize; ++i) {
        TNeuron& n = FNetwork[i];
        n = {unbias(n.B), unbias(n.G), unbias(n.R), i};
        if (static_cast<size_t>(i) < Palette.size())
            Palette[i] = {static_cast<uint8_t>(n.B), static_cast<uint8_t>(n.G),
                          static_cast<uint8_t>(n.R)};
    }
}

void TVLNeuralNet::BuildIndex() {
    const int32_t maxPosition = FNetSize - 1;
    int32_t previousGreen = 0;
    int32_t startPosition = 0;
    for (int32_t i = 0; i < FNetSize; ++i) {
        int32_t smallest = i;
        for (int32_t j = i + 1; j < FNetSize; ++j)
            if (FNetwork[j].G < FNetwork[smallest].G) smallest = j;
        std::swap(FNetwork[i], FNetwork[smallest]);
        const int32_t green = FNetwork[i].G;
        if (green != previousGreen) {
            FNetIndex[previousGreen] = (startPosition + i) >> 1;
            for (int32_t k = previousGreen + 1; k < green; ++k)
                FNetIndex[k] = i;
            previousGreen = green;
            startPosition = i;
        }
    }
    FNetIndex[previousGreen] = (startPosition + maxPosition) >> 1;
    for (int32_t k = previousGreen + 1; k < 256; ++k)
        FNetIndex[k] = maxPosition;
}

int32_t TVLNeuralNet::Index(const TVLRGB& Color) const {
    const uint64_t key = PackColor(Color) + 1;
    std::atomic<uint64_t>& slot = FCache[(key * 2654435761u & 0xFFFFFFFFu) >> (32 - CacheBits)];
    if (const uint64_t held = slot.load(std::memory_order_relaxed); held >> 16 == key)
        return static_cast<int32_t>(held & 0xFFFF);
    const int32_t index = Uncached(Color);
    slot.store(key << 16 | static_cast<uint64_t>(index), std::memory_order_relaxed);
    return index;
}

int32_t TVLNeuralNet::Uncached(const TVLRGB& Color) const {
    if (FCellState.empty()) return Search(Color.b, Color.g, Color.r);
    const uint32_t cell = ((Color.r >> 3) << 10) | ((Color.g >> 3) << 5) | (Color.b >> 3);
    std::atomic<uint8_t>& state = FCellState[cell];
    uint8_t seen = state.load(std::memory_order_acquire);
    if (seen == 0 && state.compare_exchange_strong(seen, 1, std::memory_order_acq_rel)) {
        BuildCell(cell);
        state.store(2, std::memory_order_release);
        seen = 2;
    }
    if (seen != 2) return Search(Color.b, Color.g, Color.r);
    return CellSearch(cell, Color.b, Color.g, Color.r);
}

// A neuron can be nearest to a colour of the cell only when its least distance to the cell is at
// most the least of the neurons' greatest distances to it (ties included).
void TVLNeuralNet::BuildCell(uint32_t Cell) const {
    const int32_t lo[3] = {static_cast<int32_t>(Cell & 31) << 3,
                           static_cast<int32_t>((Cell >> 5) & 31) << 3,
                           static_cast<int32_t>(Cell >> 10) << 3};
    const auto least = [&](const TNeuron& n) {
        const int32_t v[3] = {n.B, n.G, n.R};
        int32_t d = 0;
        for (int c = 0; c < 3; ++c)
            d += v[c] < lo[c] ? lo[c] - v[c] : v[c] > lo[c] + 7 ? v[c] - lo[c] - 7 : 0;
        return d;
    };
    const auto greatest = [&](const TNeuron& n) {
        const int32_t v[3] = {n.B, n.G, n.R};
        int32_t d = 0;
        for (int c = 0; c < 3; ++c)
            d += std::max(std::abs(v[c] - lo[c]), std::abs(v[c] - lo[c] - 7));
        return d;
    };
    int32_t bound = INT32_MAX;
    for (const TNeuron& n : FNetwork)
        bound = std::min(bound, greatest(n));
    // Entries: least distance in the high half, network position in the low half.
    std::vector<uint32_t>& candidates = FCellCandidates[Cell];
    for (int32_t p = 0; p < FNetSize; ++p)
        if (const int32_t d = least(FNetwork[p]); d <= bound)
            candidates.push_back((static_cast<uint32_t>(d) << 16) | static_cast<uint32_t>(p));
    std::sort(candidates.begin(), candidates.end());
}

// Search's answer from the cell's candidates: the least distance, and of equal ones the neuron
// Search meets first (it walks up from FNetIndex[G] and down from the position below,
// alternately).
int32_t TVLNeuralNet::CellSearch(uint32_t Cell, int32_t B, int32_t G, int32_t R) const {
    const int32_t start = FNetIndex[G];
    const auto order = [start](int32_t P) { return P >= start ? 2 * (P - start) : 2 * (start - P) - 1; };
    int32_t best = INT32_MAX, bestOrder = INT32_MAX, bestIndex = 0;
    for (const uint32_t entry : FCellCandidates[Cell]) {
        if (static_cast<int32_t>(entry >> 16) > best) break;
        const auto p = static_cast<int32_t>(entry & 0xFFFF);
        const TNeuron& n = FNetwork[p];
        const int32_t d = std::abs(n.B - B) + std::abs(n.G - G) + std::abs(n.R - R);
        if (d > best) continue;
        const int32_t o = order(p);
        if (d < best || o < bestOrder) {
            best = d;
            bestOrder = o;
            bestIndex = n.Index;
        }
    }
    return bestIndex;
}

int32_t TVLNeuralNet::Search(int32_t b, int32_t g, int32_t r) const {
    int32_t bestDistance = 1000;
    int32_t best = 0;
    int32_t up = FNetIndex[g];
    int32_t down = up - 1;
    // Distance of neuron n, or false when its green alone puts it out of reach (which ends the
    // search in that direction).
    const auto consider = [&](const TNeuron& n) {
        int32_t distance = std::abs(n.G - g);
        if (distance >= bestDistance) return false;
        distance += std::abs(n.B - b);
        if (distance < bestDistance) {
            distance += std::abs(n.R - r);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = n.Index;
            }
        }
        return true;
    };
    while (up < FNetSize || down >= 0) {
        if (up < FNetSize) up = consider(FNetwork[up]) ? up + 1 : FNetSize;
        if (down >= 0) down = consider(FNetwork[down]) ? down - 1 : -1;
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// The quantizer.

uint8_t GrayRampLevel(int32_t Index, int32_t Count) {
    if (Count <= 1) return 0;
    return static_cast<uint8_t>(Round(255.0 * Index / (Count - 1)));
}

TVLQuantizer::TVLQuantizer(TVLBitmap& Bitmap, std::span<TVLRGB> Palette, int32_t NumColors) {
    FIsGray = Bitmap.IsGrayScale();
    this->FNumColors = static_cast<int32_t>(
        std::clamp<int64_t>(NumColors, 0, static_cast<int64_t>(Palette.size())));
    const int32_t count = this->FNumColors;
    if (count < 1) return;
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (FIsGray || format != vl24RGB) {
        if (format == vl8p) {
            const int32_t own = std::min(count, Bitmap.GetPaletteLength());
            FOwnPalette.assign(Bitmap.GetPalette(), Bitmap.GetPalette() + own);
            std::copy(FOwnPalette.begin(), FOwnPalette.end(), Palette.begin());
        } else if (FIsGray) {
            for (int32_t i = 0; i < count; ++i) {
                const uint8_t v = GrayRampLevel(i, count);
                Palette[i] = {v, v, v};
            }
        }
        return;
    }
    FExactColors = TryExactPalette(Bitmap, count, Palette);
    if (FExactColors) return;
    FMethod = QuantizerMethod == 0 || QuantizerMethod == 1 ? QuantizerMethod : count < 128 ? 1 : 0;
    if (FMethod == 0)
        FNeuralNet =
            std::make_unique<TVLNeuralNet>(Bitmap, Palette.first(count), QuantizerQuality, count);
    else
        FMedianCut = std::make_unique<TVLMedianCut>(Bitmap, Palette.first(count), count);
}

TVLQuantizer::~TVLQuantizer() = default;

int32_t TVLQuantizer::GrayIndex(uint8_t Level) const {
    // The nearest ramp entry: Round(Level x (N - 1) / 255); exact halves cannot occur.
    return (2 * Level * (FNumColors - 1) + 255) / 510;
}

int32_t TVLQuantizer::OwnPaletteIndex(const TVLRGB& Color) const {
    const auto count = static_cast<int32_t>(FOwnPalette.size());
    for (int32_t i = 0; i < count; ++i)
        if (FOwnPalette[i] == Color) return i;
    return NearestEntry(FOwnPalette.data(), count, Color);
}

int32_t TVLQuantizer::RGBToIndex(const TVLRGB& Color) const {
    if (FExactColors) return FExactColors->Find(Color);
    if (!FOwnPalette.empty()) return OwnPaletteIndex(Color);
    if (FIsGray && FNumColors > 0) return GrayIndex(Color.r);
    if (FNeuralNet) return FNeuralNet->Index(Color);
    if (FMedianCut) return FMedianCut->Index(Color);
    return 0;
}

template <typename IndexOfT>
void TVLQuantizer::MapRow(const TVLRGB* Pixels, uint8_t* Indexes, int32_t Count, IndexOfT IndexOf) {
    for (int32_t x = 0; x < Count; ++x)
        Indexes[x] = static_cast<uint8_t>(IndexOf(Pixels[x]));
}

void TVLQuantizer::RGBRowToIndexes(const TVLRGB* Pixels, uint8_t* Indexes, int32_t Count) const {
    if (FExactColors)
        MapRow(Pixels, Indexes, Count, [this](const TVLRGB& c) { return FExactColors->Find(c); });
    else if (!FOwnPalette.empty())
        MapRow(Pixels, Indexes, Count, [this](const TVLRGB& c) { return OwnPaletteIndex(c); });
    else if (FIsGray && FNumColors > 0)
        MapRow(Pixels, Indexes, Count, [this](const TVLRGB& c) { return GrayIndex(c.r); });
    else if (FNeuralNet)
        MapRow(Pixels, Indexes, Count, [this](const TVLRGB& c) { return FNeuralNet->Index(c); });
    else if (FMedianCut)
        MapRow(Pixels, Indexes, Count, [this](const TVLRGB& c) { return FMedianCut->Index(c); });
    else
        std::fill_n(Indexes, Count, uint8_t{0});
}
