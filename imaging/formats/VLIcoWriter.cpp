// The icon writer. The directory's entries are written last, once every image's size is known.
#include "imaging/formats/VLIcoWriter.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/proc/VistrelProc.h"

#include <array>
#include <cstring>
#include <vector>

using enum TVLPixelFormat;

namespace {

constexpr int32_t DirectoryHeaderSize = 6;
constexpr int32_t EntrySize = 16;
constexpr int32_t InfoHeaderSize = 40;
// Palette images keep index 0 for transparent pixels.
constexpr int32_t TransparentIndex = 0;

void Put16(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}

void Put32(uint8_t* P, uint32_t V) {
    Put16(P, V);
    Put16(P + 2, V >> 16);
}

int64_t RowLength(int32_t Width, int32_t Bits) {
    return (int64_t{Width} * Bits + 31) / 32 * 4;
}

struct TWrittenImage {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Depth = 0;
    int64_t Offset = 0;
    int64_t Size = 0;
};

class TIcoWriter {
public:
    TIcoWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress)
        : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress) {}

    void Write(std::span<const TVLIcoSize> Sizes, std::span<const int32_t> BitCounts);

private:
    bool Failed() const { return FAborting || FProgress.Aborting(); }
    void Out(const void* Data, int64_t Count);
    int32_t DepthOf(int32_t BitCount) const;
    bool MakeWork(const TVLIcoSize& Size, int32_t Depth, TVLBitmap& Work);
    void WriteHeader(TVLBitmap& Work, int32_t Depth);
    void WriteTable(const TVLRGB* Colours, int32_t Count);
    void WriteTrueColour(TVLBitmap& Work, int32_t Depth);
    void WriteBilevel(TVLBitmap& Work);
    void WritePalette(TVLBitmap& Work, int32_t Depth);
    void WriteAndRows(TVLBitmap& Work, int32_t Depth);
    void WriteDirectory(int64_t DirectoryAt);

    TStream& FStream;
    TVLBitmap& FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    bool FAborting = false;
    std::vector<TWrittenImage> FImages;
};

void TIcoWriter::Out(const void* Data, int64_t Count) {
    SafeStreamWrite(FStream, FAborting, Data, static_cast<int32_t>(Count));
    if (FAborting) FProgress.Abort();
}

int32_t TIcoWriter::DepthOf(int32_t BitCount) const {
    switch (BitCount) {
    case 1:
    case 4:
    case 8:
    case 32:
        return BitCount;
    case 0: {
        const int32_t samples = FParams.SamplesPerPixel, bits = FParams.BitsPerSample;
        if (samples == 3 && bits == 8) return 24;
        if (samples == 4 && bits == 8) return 32;
        if (samples == 1 && (bits == 1 || bits == 4)) return bits;
        return 8;
    }
    default:
        return 24;
    }
}

// The picture resampled to Size in the pixel format the depth is written from: vl1g for 1 bit,
// vl24RGB for the others; the alpha channel goes along.
bool TIcoWriter::MakeWork(const TVLIcoSize& Size, int32_t Depth, TVLBitmap& Work) {
    Work.Assign(&FBitmap);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&Work);
    proc.Resample(Size.Width, Size.Height, Work.GetPixelFormat() == vl1g ? rfNone : rfFastLinear);
    const TVLPixelFormat wanted = Depth == 1 ? vl1g : vl24RGB;
    if (Work.GetPixelFormat() != wanted) Work.SetPixelFormat(wanted);
    return Work.GetWidth() == Size.Width && Work.GetHeight() == Size.Height &&
           Work.GetPixelFormat() == wanted;
}

void TIcoWriter::WriteHeader(TVLBitmap& Work, int32_t Depth) {
    const int32_t w = Work.GetWidth(), h = Work.GetHeight();
    uint8_t header[InfoHeaderSize] = {};
    Put32(header, InfoHeaderSize);
    Put32(header + 4, static_cast<uint32_t>(w));
    Put32(header + 8, static_cast<uint32_t>(h) * 2);
    Put16(header + 12, 1);
    Put16(header + 14, static_cast<uint32_t>(Depth));
    // The colour rows and the AND rows, each padded to 32 bits.
    if (Depth <= 8)
        Put32(header + 20, static_cast<uint32_t>((RowLength(w, Depth) + RowLength(w, 1)) * h));
    Put32(header + 24, static_cast<uint32_t>(Round(FParams.DpiX / 2.54 * 100)));
    Put32(header + 28, static_cast<uint32_t>(Round(FParams.DpiY / 2.54 * 100)));
    Out(header, InfoHeaderSize);
}

void TIcoWriter::WriteTable(const TVLRGB* Colours, int32_t Count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * 4, 0);
    for (int32_t i = 0; i < Count; ++i) {
        bytes[4 * static_cast<size_t>(i)] = Colours[i].b;
        bytes[4 * static_cast<size_t>(i) + 1] = Colours[i].g;
        bytes[4 * static_cast<size_t>(i) + 2] = Colours[i].r;
    }
    Out(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TIcoWriter::WriteTrueColour(TVLBitmap& Work, int32_t Depth) {
    const int32_t w = Work.GetWidth(), h = Work.GetHeight();
    const bool alpha = Work.HasAlphaChannel();
    std::vector<uint8_t> row(static_cast<size_t>(RowLength(w, Depth)), 0);
    for (int32_t y = h - 1; y >= 0 && !Failed(); --y) {
        const uint8_t* src = Work.GetScanline(y);
        if (Depth == 24) {
            std::memcpy(row.data(), src, static_cast<size_t>(w) * 3);
        } else {
            for (int32_t x = 0; x < w; ++x) {
                std::memcpy(row.data() + 4 * x, src + 3 * x, 3);
                row[4 * x + 3] = alpha ? Work.GetAlphaPixel(x, y) : 255;
            }
        }
        Out(row.data(), static_cast<int64_t>(row.size()));
    }
}

void TIcoWriter::WriteBilevel(TVLBitmap& Work) {
    static const TVLRGB blackWhite[2] = {{0, 0, 0}, {255, 255, 255}};
    WriteTable(blackWhite, 2);
    const int32_t w = Work.GetWidth(), h = Work.GetHeight();
    std::vector<uint8_t> row(static_cast<size_t>(RowLength(w, 1)), 0);
    for (int32_t y = h - 1; y >= 0 && !Failed(); --y) {
        std::memcpy(row.data(), Work.GetScanline(y), static_cast<size_t>((w + 7) / 8));
        Out(row.data(), static_cast<int64_t>(row.size()));
    }
}

// 15 or 255 quantized colours after the transparent entry 0.
void TIcoWriter::WritePalette(TVLBitmap& Work, int32_t Depth) {
    const int32_t entries = 1 << Depth, colours = entries - 1;
    const int32_t w = Work.GetWidth(), h = Work.GetHeight();
    TVLRGB* palette = FParams.AllocPalette(entries);
    std::array<TVLRGB, 256> quantized{};
    TVLQuantizer quantizer(Work, std::span<TVLRGB>(quantized.data(), colours), colours);
    std::array<TVLRGB, 256> table{};
    std::copy(quantized.begin(), quantized.begin() + colours, table.begin() + 1);
    if (palette != nullptr) std::copy(quantized.begin(), quantized.begin() + colours, palette);
    WriteTable(table.data(), entries);
    const bool alpha = Work.HasAlphaChannel();
    std::vector<uint8_t> indexes(static_cast<size_t>(w));
    std::vector<uint8_t> row(static_cast<size_t>(RowLength(w, Depth)), 0);
    for (int32_t y = h - 1; y >= 0 && !Failed(); --y) {
        quantizer.RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(Work.GetScanline(y)),
                                  indexes.data(), w);
        std::fill(row.begin(), row.end(), 0);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t index = alpha && Work.GetAlphaPixel(x, y) != 255
                                      ? TransparentIndex
                                      : indexes[static_cast<size_t>(x)] + 1;
            if (Depth == 8)
                row[static_cast<size_t>(x)] = static_cast<uint8_t>(index);
            else
                row[static_cast<size_t>(x) / 2] |=
                    static_cast<uint8_t>((x & 1) != 0 ? index : index << 4);
        }
        Out(row.data(), static_cast<int64_t>(row.size()));
    }
}

void TIcoWriter::WriteAndRows(TVLBitmap& Work, int32_t Depth) {
    const int32_t w = Work.GetWidth(), h = Work.GetHeight();
    const bool alpha = Work.HasAlphaChannel() && Depth != 24;
    std::vector<uint8_t> row(static_cast<size_t>(RowLength(w, 1)), 0);
    for (int32_t y = h - 1; y >= 0 && !Failed(); --y) {
        std::fill(row.begin(), row.end(), 0);
        for (int32_t x = 0; alpha && x < w; ++x)
            if (Work.GetAlphaPixel(x, y) != 255)
                row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        Out(row.data(), static_cast<int64_t>(row.size()));
    }
}

void TIcoWriter::WriteDirectory(int64_t DirectoryAt) {
    const int64_t end = FStream.GetPosition();
    std::vector<uint8_t> entries(FImages.size() * EntrySize, 0);
    for (size_t i = 0; i < FImages.size(); ++i) {
        const TWrittenImage& image = FImages[i];
        uint8_t* e = entries.data() + i * EntrySize;
        e[0] = static_cast<uint8_t>(image.Width);
        e[1] = static_cast<uint8_t>(image.Height);
        e[2] = static_cast<uint8_t>(image.Depth <= 8 ? std::min(1 << image.Depth, 255) : 0);
        if (image.Depth > 8) {
            Put16(e + 4, 1);
            Put16(e + 6, static_cast<uint32_t>(image.Depth));
        }
        Put32(e + 8, static_cast<uint32_t>(image.Size));
        Put32(e + 12, static_cast<uint32_t>(image.Offset));
    }
    FStream.SetPosition(DirectoryAt);
    Out(entries.data(), static_cast<int64_t>(entries.size()));
    FStream.SetPosition(end);
}

void TIcoWriter::Write(std::span<const TVLIcoSize> Sizes, std::span<const int32_t> BitCounts) {
    const auto count = static_cast<int32_t>(Sizes.size());
    if (count == 0 || count > 0xFFFF) {
        FProgress.Abort();
        return;
    }
    const int64_t start = FStream.GetPosition();
    uint8_t header[DirectoryHeaderSize] = {};
    Put16(header + 2, 1);
    Put16(header + 4, static_cast<uint32_t>(count));
    Out(header, DirectoryHeaderSize);
    const int64_t directoryAt = start + DirectoryHeaderSize;
    // Room for the entries, written when the images' sizes are known.
    const std::vector<uint8_t> room(static_cast<size_t>(count) * EntrySize, 0);
    Out(room.data(), static_cast<int64_t>(room.size()));
    FParams.FreePalette();
    if (FBitmap.GetPixelFormat() != vl24RGB) {
        FParams.BitsPerSample = 1;
        FParams.SamplesPerPixel = 1;
    }
    for (int32_t i = 0; i < count; ++i) {
        FProgress.ReportPercent(static_cast<int32_t>(int64_t{i} * 100 / count));
        if (Failed()) return;
        const int32_t depth =
            DepthOf(i < static_cast<int32_t>(BitCounts.size()) ? BitCounts[i] : 0);
        TVLBitmap work;
        if (Sizes[i].Width < 1 || Sizes[i].Height < 1 || !MakeWork(Sizes[i], depth, work)) {
            FProgress.Abort();
            return;
        }
        TWrittenImage image{work.GetWidth(), work.GetHeight(), depth,
                            FStream.GetPosition() - start};
        WriteHeader(work, depth);
        if (depth == 1)
            WriteBilevel(work);
        else if (depth <= 8)
            WritePalette(work, depth);
        else
            WriteTrueColour(work, depth);
        WriteAndRows(work, depth);
        image.Size = FStream.GetPosition() - start - image.Offset;
        FImages.push_back(image);
    }
    if (!Failed()) WriteDirectory(directoryAt);
}

} // namespace

void WriteICOStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, std::span<const TVLIcoSize> Sizes,
                    std::span<const int32_t> BitCounts) {
    TIcoWriter(Stream, Bitmap, Params, Progress).Write(Sizes, BitCounts);
}
