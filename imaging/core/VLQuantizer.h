// Colour quantizer: chooses a palette of at most N colours for a bitmap and maps any colour to an
// index of that palette. Strategies, first that applies: the bitmap's own palette, a grey ramp,
// the exact colour set, then a median-cut box splitter or a self-organising neural network.
#pragma once

#include "imaging/core/VLDefs.h"

#include <atomic>
#include <memory>
#include <span>
#include <vector>

class TVLBitmap;

// The image's distinct colours in order of first appearance (rows from the top, each left to
// right), with a hash index for lookups.
class TVLExactColors {
public:
    explicit TVLExactColors(int32_t Limit);
    // Adds Color when it is new; false when that would make more than Limit colours.
    bool Add(const TVLRGB& Color);
    // Index of Color in the table; the nearest entry (sum of channel differences, first of
    // equals) when the colour is not in it, 0 for an empty table.
    int32_t Find(const TVLRGB& Color) const;
    int32_t Count() const { return static_cast<int32_t>(FColors.size()); }
    const TVLRGB* Data() const { return FColors.data(); }

private:
    int32_t Slot(uint32_t Key) const;
    int32_t NearestIndex(const TVLRGB& Color) const;

    int32_t FLimit;

    std::vector<TVLRGB> FColors;
    // Open addressing over the packed colour; a free slot holds index -1.
    std::vector<uint32_t> FSlotKeys;
    std::vector<int32_t> FSlotIndexes;
};

// The distinct colours of a vl24RGB bitmap when there are at most NumColors of them: they are
// copied to the start of Palette (the rest of Palette is left alone) and returned; nil otherwise.
std::unique_ptr<TVLExactColors> TryExactPalette(TVLBitmap& Bitmap, int32_t NumColors,
                                                std::span<TVLRGB> Palette);

// Median cut over a 5-bit-per-channel histogram of a vl24RGB bitmap. The palette gets one entry
// per box (entries beyond the box count are left alone); colours map to boxes through a table
// of the 32,768 5-bit colours.
class TVLMedianCut {
public:
    TVLMedianCut(TVLBitmap& Source, std::span<TVLRGB> Palette, int32_t MaxColors);
    int32_t Index(const TVLRGB& Color) const {
        return FInverseMap[((Color.r >> 3) << 10) | ((Color.g >> 3) << 5) | (Color.b >> 3)];
    }
    int32_t GetBoxCount() const { return FBoxCount; }

private:
    // 16-bit entries: up to 1,024 boxes may be asked for.
    std::vector<uint16_t> FInverseMap;
    int32_t FBoxCount = 0;
};

// Self-organising neural network of NetSize (at most 65,536) neurons trained on a sample of a
// vl24RGB bitmap.
// Quality -1 chooses the sampling from the pixel count, else 0 (every 30th pixel) to 100 (all).
class TVLNeuralNet {
public:
    TVLNeuralNet(TVLBitmap& Source, std::span<TVLRGB> Palette, int32_t Quality, int32_t NetSize);
    int32_t Index(const TVLRGB& Color) const;
    int32_t GetSampleFactor() const { return FSampleFactor; }

    struct TNeuron {
        int32_t B, G, R, Index;
    };

private:
    void Learn(TVLBitmap& Source);
    int32_t Contest(int32_t B, int32_t G, int32_t R);
    void MoveNeighbours(int32_t Rad, int32_t Winner, int32_t B, int32_t G, int32_t R);
    void BuildRadPower(int32_t Rad, int32_t Alpha);
    void Unbias(std::span<TVLRGB> Palette);
    void BuildIndex();

    int32_t Search(int32_t B, int32_t G, int32_t R) const;
    int32_t Uncached(const TVLRGB& Color) const;
    void BuildCell(uint32_t Cell) const;
    int32_t CellSearch(uint32_t Cell, int32_t B, int32_t G, int32_t R) const;

    int32_t FNetSize;
    int32_t FSampleFactor = 1;
    std::vector<TNeuron> FNetwork;
    std::vector<int32_t> FBias;
    std::vector<int32_t> FFreq;
    std::vector<int32_t> FRadPower;
    int32_t FNetIndex[256] = {};
    // Answers of recent lookups, direct-mapped by colour: neighbouring pixels of a photograph
    // repeat colours often. A slot holds the colour plus one (0: free) above the 16-bit answer,
    // read and written whole, so that threads may map at once.
    mutable std::vector<std::atomic<uint64_t>> FCache;
    // Per cell of the 5-bit colour grid, built on first use: the network positions of the
    // neurons that can be nearest to some colour of the cell, by rising least distance to the
    // cell (with that distance), so that a colour is mapped exactly after a few candidates,
    // whatever the picture's noise. A cell's state goes from 0 (not built) through 1 (being
    // built; the plain search answers meanwhile) to 2 (built).
    mutable std::vector<std::atomic<uint8_t>> FCellState;
    mutable std::vector<std::vector<uint32_t>> FCellCandidates;
};

// Pixels per sample the network takes for an image of Pixels pixels when the quality is
// automatic: 1 below 2,000 pixels, rising to 30.
int32_t AutoSampleFactor(int64_t Pixels);

class TVLQuantizer : public TObject {
public:
    // Fills Palette with at most NumColors colours (never more than Palette holds) and prepares
    // RGBToIndex. The bitmap is only read during construction.
    TVLQuantizer(TVLBitmap& Bitmap, std::span<TVLRGB> Palette, int32_t NumColors);
    ~TVLQuantizer() override;
    TVLQuantizer(const TVLQuantizer&) = delete;
    TVLQuantizer& operator=(const TVLQuantizer&) = delete;

    // An index below the palette size given to the constructor (0 when nothing was chosen).
    int32_t RGBToIndex(const TVLRGB& Color) const;
    // RGBToIndex of Count pixels, the strategy chosen once; for at most 256 colours.
    void RGBRowToIndexes(const TVLRGB* Pixels, uint8_t* Indexes, int32_t Count) const;
    // Every pixel (or palette entry) of the bitmap is grey.
    bool GetIsGray() const { return FIsGray; }
    // The reducer in use: 0 neural network, 1 median cut, -1 none.
    int32_t GetMethod() const { return FMethod; }
    int32_t GetNumColors() const { return FNumColors; }

private:
    template <typename IndexOfT>
    static void MapRow(const TVLRGB* Pixels, uint8_t* Indexes, int32_t Count, IndexOfT IndexOf);
    int32_t GrayIndex(uint8_t Level) const;
    int32_t OwnPaletteIndex(const TVLRGB& Color) const;

    int32_t FMethod = -1;
    std::unique_ptr<TVLMedianCut> FMedianCut;
    std::unique_ptr<TVLNeuralNet> FNeuralNet;
    bool FIsGray = false;
    std::unique_ptr<TVLExactColors> FExactColors;
    int32_t FNumColors = 0;
    // The first NumColors entries of a vl8p bitmap's palette, when it supplied the colours.
    std::vector<TVLRGB> FOwnPalette;
};

// The grey ramp of Count levels: entry i = Round(255 x i / (Count - 1)), black to white.
uint8_t GrayRampLevel(int32_t Index, int32_t Count);
