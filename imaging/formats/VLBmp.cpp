// The BMP codec. All file fields are little-endian. Every length, offset and size a file states
// is bounded by the bytes it really has and by the bitmap, and computed in 64 bits.
#include "imaging/formats/VLBmp.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Get32;
using imaging::detail::Put16;
using imaging::detail::Put32;

namespace {

constexpr uint16_t BitmapType = 0x4D42; // "BM"
constexpr int32_t FileHeaderSize = 14;
constexpr int32_t CoreHeaderSize = 12;
constexpr int32_t WindowsHeaderSize = 40;
constexpr int32_t OS2HeaderSize = 64;
constexpr uint32_t CompressionNone = 0, CompressionRLE8 = 1, CompressionRLE4 = 2,
                   CompressionBitFields = 3;
// A file may describe at most this many bytes of bitmap per byte of pixel data (run-length
// deltas skip far), beyond a first allowance: a huge size with a few bytes of data is refused
// instead of filling memory or the disk.
constexpr int64_t MaxExpansion = 1024;
constexpr int64_t FreeAllowance = int64_t{64} << 20;

// What the headers say, checked.
struct TBmpInfo {
    int64_t Start = 0;
    // The end of the BMP's bytes in the stream.
    int64_t End = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool TopDown = false;
    int32_t BitCount = 0;
    uint32_t Compression = CompressionNone;
    uint32_t ImageSize = 0;
    uint32_t PixelOffset = 0;
    uint32_t Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    // The colour table padded with black to 256 entries, and how many the file gave.
    std::array<TVLRGB, 256> Table{};
    int32_t TableCount = 0;
};

// Reads up to Count bytes, never past End; the rest of Buffer is zeroed. Returns the bytes read.
int64_t ReadBounded(TStream& Stream, int64_t End, uint8_t* Buffer, int64_t Count) {
    const int64_t left = std::max<int64_t>(0, End - Stream.GetPosition());
    const int64_t got = ReadUpTo(Stream, Buffer, std::min(Count, left));
    if (Count > got) std::memset(Buffer + got, 0, static_cast<size_t>(Count - got));
    return got;
}

int32_t DpiOfPixelsPerMetre(int32_t PixelsPerMetre, int32_t Default) {
    const auto dpi = static_cast<int32_t>(Round(PixelsPerMetre / 100.0 * 2.54));
    return dpi > 0 ? dpi : Default;
}

// The colour table: Count entries of EntrySize bytes (blue, green, red[, reserved]).
void ReadTable(TStream& Stream, TBmpInfo& Info, TIOParamsVals& Params, int32_t Count,
               int32_t EntrySize) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * EntrySize);
    ReadBounded(Stream, Info.End, bytes.data(), static_cast<int64_t>(bytes.size()));
    TVLRGB* palette = Params.AllocPalette(Count);
    for (int32_t i = 0; i < Count; ++i) {
        const uint8_t* e = bytes.data() + static_cast<size_t>(i) * EntrySize;
        Info.Table[i] = TVLRGB{e[0], e[1], e[2]};
        if (palette != nullptr) palette[i] = Info.Table[i];
    }
    Info.TableCount = Count;
}

void ReadMasks(TStream& Stream, TBmpInfo& Info) {
    uint8_t bytes[12];
    ReadBounded(Stream, Info.End, bytes, 12);
    for (int32_t i = 0; i < 3; ++i)
        Info.Masks[i] = Get32(bytes + 4 * i);
}

// False for a header cut short.
bool ReadCoreHeader(TStream& Stream, TBmpInfo& Info, TIOParamsVals& Params) {
    uint8_t h[CoreHeaderSize];
    if (ReadBounded(Stream, Info.End, h, CoreHeaderSize) < CoreHeaderSize) return false;
    Params.BmpHeaderVersion = bvOS2v1;
    Info.Width = Get16(h + 4);
    Info.Height = Get16(h + 6);
    Info.BitCount = Get16(h + 10);
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    if (Info.BitCount <= 8) ReadTable(Stream, Info, Params, 1 << Info.BitCount, 3);
    return true;
}

// The 40-byte fields of every other header size; false for a header cut short and for sizes no
// bitmap can have.
bool ReadInfoHeader(TStream& Stream, TBmpInfo& Info, TIOParamsVals& Params, uint32_t Size) {
    uint8_t h[OS2HeaderSize] = {};
    const int64_t headerStart = Stream.GetPosition();
    const int64_t wanted = std::min<uint32_t>(Size, OS2HeaderSize);
    if (ReadBounded(Stream, Info.End, h, wanted) < wanted) return false;
    if (Size > OS2HeaderSize) Stream.SetPosition(std::min(headerStart + Size, Info.End));
    Params.BmpHeaderVersion = Size == OS2HeaderSize       ? bvOS2v2
                              : Size == WindowsHeaderSize ? bvWin3
                                                          : bvOther;
    const auto width = static_cast<int32_t>(Get32(h + 4));
    auto height = static_cast<int32_t>(Get32(h + 8));
    if (width < 0 || height == std::numeric_limits<int32_t>::min()) return false;
    Info.TopDown = height < 0;
    Info.Width = width;
    Info.Height = Info.TopDown ? -height : height;
    Info.BitCount = Get16(h + 14);
    Info.Compression = Get32(h + 16);
    Info.ImageSize = Get32(h + 20);
    Params.SetDpiX(DpiOfPixelsPerMetre(static_cast<int32_t>(Get32(h + 24)), DefaultDpiX));
    Params.SetDpiY(DpiOfPixelsPerMetre(static_cast<int32_t>(Get32(h + 28)), DefaultDpiY));
    // Headers of 52 bytes and more hold the masks themselves (56 and more the alpha mask too).
    if (Size >= 52)
        for (int32_t i = 0; i < 3; ++i)
            Info.Masks[i] = Get32(h + 40 + 4 * i);
    if (Size >= 56) Info.Masks[3] = Get32(h + 52);
    if (Size < 52 && Info.Compression == CompressionBitFields) ReadMasks(Stream, Info);
    uint32_t colours = Get32(h + 32);
    if (colours > 256) colours = 0;
    if (colours == 0 && Info.BitCount <= 8) colours = 1u << Info.BitCount;
    if (colours != 0) ReadTable(Stream, Info, Params, static_cast<int32_t>(colours), 4);
    return true;
}

// A two-entry table of black and white, in either order.
bool IsBlackWhiteTable(const TBmpInfo& Info, bool& WhiteFirst) {
    const TVLRGB black{0, 0, 0}, white{255, 255, 255};
    auto same = [](const TVLRGB& A, const TVLRGB& B) {
        return A.r == B.r && A.g == B.g && A.b == B.b;
    };
    if (Info.TableCount != 2) return false;
    WhiteFirst = same(Info.Table[0], white) && same(Info.Table[1], black);
    return WhiteFirst || (same(Info.Table[0], black) && same(Info.Table[1], white));
}

// ---- Pixel decoding -------------------------------------------------------------------------

// Row progress: Trunc(rows done x 100 / height), only when the value changed.
class TRowReport {
public:
    TRowReport(TVLProgressRecord& Progress, int32_t Height) : FProgress(Progress) {
        FProgress.StepCount = 0;
        FProgress.PercentPerStep = 100.0 / Height;
    }
    // False when the work is to stop.
    bool Row(int32_t Done) {
        FProgress.StepCount = Done;
        const auto per = static_cast<int32_t>(Trunc(Done * FProgress.PercentPerStep));
        if (per != FLast) {
            FLast = per;
            FProgress.ReportProgress();
        }
        return !FProgress.Aborting();
    }

private:
    TVLProgressRecord& FProgress;
    int32_t FLast = -1;
};

// Where a row of indexes or colours goes: the bitmap row of file line Line.
int32_t BitmapRow(const TBmpInfo& Info, int32_t Line) {
    return Info.TopDown ? Line : Info.Height - 1 - Line;
}

// Index of pixel X of a packed 1-, 4- or 8-bit row.
uint8_t PackedIndex(const uint8_t* Row, int32_t X, int32_t Bits) {
    switch (Bits) {
    case 1:
        return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 4:
        return (X & 1) != 0 ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4;
    default:
        return Row[X];
    }
}

// Scales the channel of Pixel under Mask to 8 bits: shifted down to the mask's lowest bit, then
// its top 8 bits kept; a narrower channel is scaled to the full range, rounded, so that its
// largest value is 255 (a 5-bit 31 shifted up would stop at 248).
uint8_t MaskedChannel(uint32_t Pixel, uint32_t Mask) {
    if (Mask == 0) return 0;
    const int32_t low = std::countr_zero(Mask);
    const int32_t width = BitFieldWidth(Mask);
    const uint32_t value = (Pixel & Mask) >> low;
    if (width >= 8) return static_cast<uint8_t>(value >> (width - 8));
    const uint32_t largest = (1u << width) - 1;
    return static_cast<uint8_t>((value * 255 + largest / 2) / largest);
}

class TPixelDecoder {
public:
    TPixelDecoder(TBmpInfo& Info, TVLBitmap& Bitmap, TVLProgressRecord& Progress, bool Native,
                  bool Bilevel)
        : FInfo(Info), FBitmap(Bitmap), FProgress(Progress), FNative(Native), FBilevel(Bilevel) {}

    void Uncompressed(const std::vector<uint8_t>& Data, TVLMask* Alpha);
    void RunLength(const std::vector<uint8_t>& Data);

private:
    void IndexRow(const uint8_t* Src, uint8_t* Dst);
    void MaskedRow(const uint8_t* Src, uint8_t* Dst, int32_t Y, TVLMask* Alpha);

    TBmpInfo& FInfo;
    TVLBitmap& FBitmap;
    TVLProgressRecord& FProgress;
    bool FNative;
    bool FBilevel;
};

void TPixelDecoder::IndexRow(const uint8_t* Src, uint8_t* Dst) {
    const int32_t w = FInfo.Width;
    if (FBilevel) {
        std::memcpy(Dst, Src, static_cast<size_t>((w + 7) / 8));
        return;
    }
    for (int32_t x = 0; x < w; ++x) {
        const uint8_t index = PackedIndex(Src, x, FInfo.BitCount);
        if (FNative) {
            Dst[x] = index;
        } else {
            const TVLRGB& c = FInfo.Table[index];
            Dst[3 * x] = c.b;
            Dst[3 * x + 1] = c.g;
            Dst[3 * x + 2] = c.r;
        }
    }
}

void TPixelDecoder::MaskedRow(const uint8_t* Src, uint8_t* Dst, int32_t Y, TVLMask* Alpha) {
    const bool sixteen = FInfo.BitCount == 16;
    const bool bitFields = FInfo.Compression == CompressionBitFields;
    static constexpr uint32_t Rgb555[4] = {0x7C00, 0x03E0, 0x001F, 0};
    static constexpr uint32_t Bgra[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const uint32_t* masks = bitFields ? FInfo.Masks : sixteen ? Rgb555 : Bgra;
    for (int32_t x = 0; x < FInfo.Width; ++x) {
        const uint32_t p = sixteen ? Get16(Src + 2 * x) : Get32(Src + 4 * x);
        Dst[3 * x] = MaskedChannel(p, masks[2]);
        Dst[3 * x + 1] = MaskedChannel(p, masks[1]);
        Dst[3 * x + 2] = MaskedChannel(p, masks[0]);
        if (Alpha != nullptr)
            Alpha->SetPixel(x, Y, masks[3] != 0 ? MaskedChannel(p, masks[3]) : 255);
    }
}

void TPixelDecoder::Uncompressed(const std::vector<uint8_t>& Data, TVLMask* Alpha) {
    const int64_t rowLen = (int64_t{FInfo.Width} * FInfo.BitCount + 31) / 32 * 4;
    const int32_t w = FInfo.Width;
    TRowReport report(FProgress, FInfo.Height);
    std::vector<uint8_t> padded(static_cast<size_t>(rowLen), 0);
    for (int32_t line = 0; line < FInfo.Height; ++line) {
        if (!report.Row(line)) return;
        const int64_t at = rowLen * line;
        // A row the data does not reach, or reaches only in part, reads its missing bytes as 0.
        const uint8_t* src = padded.data();
        if (at + rowLen <= static_cast<int64_t>(Data.size())) {
            src = Data.data() + at;
        } else if (at < static_cast<int64_t>(Data.size())) {
            std::memcpy(padded.data(), Data.data() + at, Data.size() - static_cast<size_t>(at));
        } else {
            std::fill(padded.begin(), padded.end(), 0);
        }
        const int32_t y = BitmapRow(FInfo, line);
        uint8_t* dst = FBitmap.GetScanline(y);
        if (dst == nullptr) return;
        switch (FInfo.BitCount) {
        case 1:
        case 4:
        case 8:
            IndexRow(src, dst);
            break;
        case 24:
            std::memcpy(dst, src, static_cast<size_t>(w) * 3);
            break;
        case 16:
        case 32:
            MaskedRow(src, dst, y, Alpha);
            break;
        default:
            break;
        }
    }
}

// One run-length scheme for both depths; Put(x, y, index) stores one pixel.
template <typename PutT>
void DecodeRunLength(int32_t Width, int32_t Height, const uint8_t* Data, int64_t Size,
                     bool BottomUp, bool Four, TVLProgressRecord& Progress, PutT Put) {
    int32_t line = 0, x = 0;
    TRowReport report(Progress, Height);
    auto row = [&] { return BottomUp ? Height - 1 - line : line; };
    auto store = [&](uint8_t Index) {
        if (x < Width) Put(x, row(), Index);
        ++x;
    };
    int64_t at = 0;
    while (at + 2 <= Size) {
        const uint8_t n = Data[at], c = Data[at + 1];
        at += 2;
        if (n > 0) {
            for (int32_t i = 0; i < n; ++i)
                store(Four ? ((i & 1) != 0 ? c & 0x0F : c >> 4) : c);
            continue;
        }
        if (c == 0) {
            ++line;
            x = 0;
            if (!report.Row(line) || line >= Height) return;
        } else if (c == 1) {
            return;
        } else if (c == 2) {
            if (at + 2 > Size) return;
            x += Data[at];
            line += Data[at + 1];
            at += 2;
            if (line >= Height) return;
        } else {
            const int64_t bytes = Four ? (c + 1) / 2 : c;
            if (at + bytes > Size) return;
            for (int32_t i = 0; i < c; ++i)
                store(Four ? ((i & 1) != 0 ? Data[at + i / 2] & 0x0F : Data[at + i / 2] >> 4)
                           : Data[at + i]);
            at += bytes + (bytes & 1);
        }
    }
}

void DecodeToIndexes(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp, bool Four,
                     TVLProgressRecord& Progress) {
    DecodeRunLength(Bitmap.GetWidth(), Bitmap.GetHeight(), Data, Size, BottomUp, Four, Progress,
                    [&](int32_t X, int32_t Y, uint8_t Index) { Bitmap.SetPixel8(X, Y, Index); });
}

void DecodeToRGB(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp, bool Four,
                 TVLProgressRecord& Progress, const TVLRGB* Palette) {
    DecodeRunLength(
        Bitmap.GetWidth(), Bitmap.GetHeight(), Data, Size, BottomUp, Four, Progress,
        [&](int32_t X, int32_t Y, uint8_t Index) { Bitmap.SetPixelRGB(X, Y, Palette[Index]); });
}

void TPixelDecoder::RunLength(const std::vector<uint8_t>& Data) {
    const bool four = FInfo.BitCount == 4;
    const bool bottomUp = !FInfo.TopDown;
    const auto size = static_cast<int64_t>(Data.size());
    if (FNative)
        DecodeToIndexes(FBitmap, Data.data(), size, bottomUp, four, FProgress);
    else
        DecodeToRGB(FBitmap, Data.data(), size, bottomUp, four, FProgress, FInfo.Table.data());
}

// ---- Reading --------------------------------------------------------------------------------

bool IsRunLength(const TBmpInfo& Info) {
    return (Info.BitCount == 8 && Info.Compression == CompressionRLE8) ||
           (Info.BitCount == 4 && Info.Compression == CompressionRLE4);
}

// Data the reader decodes: uncompressed rows of the supported depths and matching run-length
// data. Anything else (2 or 64 bits, embedded JPEG or PNG, alpha bit fields, the OS/2 Huffman
// and 24-bit run-length codings) has no decoder and is refused.
bool Decodable(const TBmpInfo& Info) {
    switch (Info.BitCount) {
    case 1:
        return Info.Compression == CompressionNone;
    case 4:
    case 8:
        return Info.Compression == CompressionNone || IsRunLength(Info);
    case 16:
    case 32:
        return Info.Compression == CompressionNone || Info.Compression == CompressionBitFields;
    case 24:
        return Info.Compression == CompressionNone;
    default:
        return false;
    }
}

void SetSampleFormat(const TBmpInfo& Info, TIOParamsVals& Params) {
    switch (Info.BitCount) {
    case 1:
    case 4:
    case 8:
        Params.BitsPerSample = Info.BitCount;
        Params.SamplesPerPixel = 1;
        break;
    case 16:
        Params.BitsPerSample = 5;
        Params.SamplesPerPixel = 3;
        break;
    case 24:
        Params.BitsPerSample = 8;
        Params.SamplesPerPixel = 3;
        break;
    case 32:
        Params.BitsPerSample = 8;
        Params.SamplesPerPixel = 4;
        break;
    default:
        break;
    }
}

// Bytes of pixel data the decoders get.
int64_t PixelDataSize(const TBmpInfo& Info, int64_t Position) {
    const int64_t left = std::max<int64_t>(0, Info.End - Position);
    if (IsRunLength(Info)) return left;
    const int64_t rowLen = (int64_t{Info.Width} * Info.BitCount + 31) / 32 * 4;
    // Compared by division: rows of a huge bit count times a huge height overflow 64 bits.
    if (rowLen != 0 && Info.Height > left / rowLen) return left;
    return rowLen * Info.Height;
}

bool Plausible(const TBmpInfo& Info, int64_t DataBytes) {
    const int64_t pixels = int64_t{Info.Width} * Info.Height;
    return pixels <= (FreeAllowance + DataBytes * MaxExpansion) / 3;
}

void ReadAlphaResult(std::unique_ptr<TVLMask>& AlphaMask) {
    if (AlphaMask == nullptr) return;
    bool allZero = true, allFull = true;
    for (int32_t y = 0; y < AlphaMask->GetHeight() && (allZero || allFull); ++y)
        for (int32_t x = 0; x < AlphaMask->GetWidth(); ++x) {
            const int32_t a = AlphaMask->GetPixel(x, y);
            allZero = allZero && a == 0;
            allFull = allFull && a == 255;
        }
    if (allZero || allFull)
        AlphaMask.reset();
    else
        AlphaMask->SyncFull();
}

} // namespace

void DecodeRLE4ToIndexes(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                         TVLProgressRecord& Progress) {
    DecodeToIndexes(Bitmap, Data, Size, BottomUp, true, Progress);
}

void DecodeRLE8ToIndexes(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                         TVLProgressRecord& Progress) {
    DecodeToIndexes(Bitmap, Data, Size, BottomUp, false, Progress);
}

void DecodeRLE4ToRGB(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                     TVLProgressRecord& Progress, const TVLRGB* Palette) {
    DecodeToRGB(Bitmap, Data, Size, BottomUp, true, Progress, Palette);
}

void DecodeRLE8ToRGB(TVLBitmap& Bitmap, const uint8_t* Data, int64_t Size, bool BottomUp,
                     TVLProgressRecord& Progress, const TVLRGB* Palette) {
    DecodeToRGB(Bitmap, Data, Size, BottomUp, false, Progress, Palette);
}

void ReadBMPStream(TStream& Stream, TVLBitmap& Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha) {
    TBmpInfo info;
    info.Start = Stream.GetPosition();
    const int64_t streamLeft = std::max<int64_t>(0, Stream.GetSize() - info.Start);
    uint8_t fileHeader[FileHeaderSize];
    info.End = info.Start + streamLeft;
    if (ReadBounded(Stream, info.End, fileHeader, FileHeaderSize) < FileHeaderSize ||
        Get16(fileHeader) != BitmapType) {
        Progress.Abort();
        return;
    }
    int64_t dataSize = DataSize;
    if (dataSize < 1) dataSize = Get32(fileHeader + 2);
    if (dataSize >= 1) info.End = info.Start + std::min(dataSize, streamLeft);
    info.PixelOffset = Get32(fileHeader + 10);

    uint8_t sizeField[4];
    ReadBounded(Stream, info.End, sizeField, 4);
    Stream.SetPosition(info.Start + FileHeaderSize);
    const uint32_t headerSize = Get32(sizeField);
    Params.FreePalette();
    if (headerSize == CoreHeaderSize ? !ReadCoreHeader(Stream, info, Params)
                                     : !ReadInfoHeader(Stream, info, Params, headerSize)) {
        Progress.Abort();
        return;
    }
    Params.Width = Params.OriginalWidth = info.Width;
    Params.Height = Params.OriginalHeight = info.Height;
    if (info.Compression == CompressionNone || info.Compression == CompressionBitFields)
        Params.BmpCompression = 0;
    else if (info.Compression == CompressionRLE8 || info.Compression == CompressionRLE4)
        Params.BmpCompression = 1;
    SetSampleFormat(info, Params);
    if (info.PixelOffset != 0) Stream.SetPosition(info.Start + info.PixelOffset);
    if (ParamsOnly || info.Width == 0 || info.Height == 0) return;

    const int64_t dataBytes = PixelDataSize(info, Stream.GetPosition());
    if (!Decodable(info) || !Plausible(info, dataBytes)) {
        Progress.Abort();
        return;
    }
    bool whiteFirst = false;
    const bool bilevel = info.BitCount == 1 && IsBlackWhiteTable(info, whiteFirst);
    const bool indexed = info.BitCount == 1 || info.BitCount == 4 || info.BitCount == 8;
    const bool native = indexed && !bilevel && Params.NativePixelFormat;
    const TVLPixelFormat format = bilevel ? vl1g : native ? vl8p : vl24RGB;
    if (!Bitmap.Allocate(info.Width, info.Height, format)) {
        Progress.Abort();
        return;
    }
    // Pixels the data does not reach are index 0.
    const TVLRGB& first = info.Table[0];
    Bitmap.Fill(native || !indexed ? 0 : first.r | (first.g << 8) | (first.b << 16));
    if (native) {
        for (int32_t i = 0; i < 256; ++i)
            Bitmap.SetPaletteColor(i, info.Table[i]);
        Bitmap.PaletteUsed = 1 << info.BitCount;
    }
    std::vector<uint8_t> data(static_cast<size_t>(dataBytes));
    ReadBounded(Stream, info.End, data.data(), dataBytes);
    TPixelDecoder decoder(info, Bitmap, Progress, native, bilevel);
    if (IsRunLength(info)) {
        decoder.RunLength(data);
        return;
    }
    const bool keepAlpha = info.BitCount == 32 && !IgnoreAlpha &&
                           (info.Compression == CompressionNone || info.Masks[3] != 0);
    if (keepAlpha) {
        if (AlphaMask == nullptr) AlphaMask = std::make_unique<TVLMask>();
        if (!AlphaMask->AllocateBits(info.Width, info.Height, 8)) {
            AlphaMask.reset();
            Progress.Abort();
            return;
        }
        AlphaMask->Fill(255);
    }
    decoder.Uncompressed(data, keepAlpha ? AlphaMask.get() : nullptr);
    if (bilevel && whiteFirst) InvertBitmapBits(Bitmap);
    if (keepAlpha) ReadAlphaResult(AlphaMask);
}

// ---- Run-length row coding ------------------------------------------------------------------

namespace {

class TRowEncoder {
public:
    TRowEncoder(const uint8_t* Indexes, uint8_t* Dst, bool Four)
        : FIndexes(Indexes), FDst(Dst), FFour(Four) {}

    int32_t Encode(int32_t Count);

private:
    void Flush(int32_t From, int32_t To);
    void FlushChunk(const uint8_t* P, int32_t N);
    void Put(uint8_t B) { FDst[FLength++] = B; }

    const uint8_t* FIndexes;
    uint8_t* FDst;
    bool FFour;
    int32_t FLength = 0;
};

void TRowEncoder::FlushChunk(const uint8_t* P, int32_t N) {
    if (N == 1) {
        Put(1);
        Put(FFour ? static_cast<uint8_t>(P[0] << 4) : P[0]);
    } else if (N == 2) {
        if (FFour) {
            Put(2);
            Put(static_cast<uint8_t>((P[0] << 4) | (P[1] & 0x0F)));
        } else {
            Put(1);
            Put(P[0]);
            Put(1);
            Put(P[1]);
        }
    } else {
        Put(0);
        Put(static_cast<uint8_t>(N));
        int32_t bytes = 0;
        if (FFour) {
            for (int32_t i = 0; i < N; i += 2, ++bytes)
                Put(static_cast<uint8_t>((P[i] << 4) | (i + 1 < N ? P[i + 1] & 0x0F : 0)));
        } else {
            for (int32_t i = 0; i < N; ++i, ++bytes)
                Put(P[i]);
        }
        if ((bytes & 1) != 0) Put(0);
    }
}

void TRowEncoder::Flush(int32_t From, int32_t To) {
    while (From < To) {
        const int32_t n = std::min(To - From, 255);
        FlushChunk(FIndexes + From, n);
        From += n;
    }
}

int32_t TRowEncoder::Encode(int32_t Count) {
    int32_t pending = 0, x = 0;
    while (x < Count) {
        if (x - pending == 256) {
            Flush(pending, x);
            pending = x;
        }
        if (x + 1 < Count && FIndexes[x] == FIndexes[x + 1]) {
            Flush(pending, x);
            int32_t run = 2;
            while (run < 255 && x + run < Count && FIndexes[x + run] == FIndexes[x])
                ++run;
            const uint8_t v = FIndexes[x];
            Put(static_cast<uint8_t>(run));
            Put(FFour ? static_cast<uint8_t>((v << 4) | (v & 0x0F)) : v);
            x += run;
            pending = x;
        } else {
            ++x;
        }
    }
    Flush(pending, Count);
    Put(0);
    Put(0);
    return FLength;
}

} // namespace

int64_t RLERowBound(int32_t Count) {
    return 2 * int64_t{Count} + 4;
}

int32_t EncodeRLE8Row(const uint8_t* Indexes, int32_t Count, uint8_t* Dst) {
    return TRowEncoder(Indexes, Dst, false).Encode(Count);
}

int32_t EncodeRLE4Row(const uint8_t* Indexes, int32_t Count, uint8_t* Dst) {
    return TRowEncoder(Indexes, Dst, true).Encode(Count);
}

// ---- Writing --------------------------------------------------------------------------------

namespace {

class TBmpWriter {
public:
    TBmpWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress, bool WriteAlpha)
        : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress),
          FWriteAlpha(WriteAlpha) {}

    void Write();

private:
    int32_t ChooseBitCount();
    bool Core() const { return FParams.BmpHeaderVersion == bvOS2v1; }
    bool RunLength() const {
        return FParams.BmpCompression == 1 && !Core() && (FBitCount == 4 || FBitCount == 8);
    }
    int32_t InfoHeaderSize() const {
        return Core()                                ? CoreHeaderSize
               : FParams.BmpHeaderVersion == bvOS2v2 ? OS2HeaderSize
                                                     : WindowsHeaderSize;
    }
    void Out(const void* Data, int64_t Count);
    void WriteInfoHeader(uint32_t ImageSize, bool Final);
    void WriteTable(const TVLRGB* Colours, int32_t Count);
    bool RowStart(int32_t Done);
    void WriteIndexed();
    void WriteBilevel();
    void WriteTrueColour();
    void Finish();

    TStream& FStream;
    TVLBitmap& FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    bool FWriteAlpha;
    int32_t FBitCount = 24;
    int64_t FStart = 0;
    int64_t FDataStart = 0;
    bool FAborting = false;
};

int32_t TBmpWriter::ChooseBitCount() {
    if (FParams.BitsPerSample == 1 || FParams.BitsPerSample == 4) return FParams.BitsPerSample;
    if (FParams.SamplesPerPixel == 1) return 8;
    return FBitmap.HasAlphaChannel() ? 32 : 24;
}

void TBmpWriter::Out(const void* Data, int64_t Count) {
    SafeStreamWrite(FStream, FAborting, Data, static_cast<int32_t>(Count));
    if (FAborting) FProgress.Abort();
}

void TBmpWriter::WriteInfoHeader(uint32_t ImageSize, bool Final) {
    uint8_t h[OS2HeaderSize] = {};
    const int32_t size = InfoHeaderSize();
    Put32(h, static_cast<uint32_t>(size));
    const int32_t w = FBitmap.GetWidth(), hgt = FBitmap.GetHeight();
    const uint16_t bits = Final ? static_cast<uint16_t>(FBitCount) : 0;
    if (Core()) {
        Put16(h + 4, static_cast<uint32_t>(w));
        Put16(h + 6, static_cast<uint32_t>(hgt));
        Put16(h + 8, 1);
        Put16(h + 10, bits);
    } else {
        Put32(h + 4, static_cast<uint32_t>(w));
        Put32(h + 8, static_cast<uint32_t>(hgt));
        Put16(h + 12, 1);
        Put16(h + 14, bits);
        Put32(h + 16,
              RunLength() ? (FBitCount == 4 ? CompressionRLE4 : CompressionRLE8) : CompressionNone);
        Put32(h + 20, Final ? ImageSize : 0);
        Put32(h + 24, static_cast<uint32_t>(Round(FParams.DpiX / 2.54 * 100)));
        Put32(h + 28, static_cast<uint32_t>(Round(FParams.DpiY / 2.54 * 100)));
        Put32(h + 32, FBitCount <= 8 ? 1u << FBitCount : 0);
        Put32(h + 36, 1u << (FBitCount % 32));
    }
    Out(h, size);
}

void TBmpWriter::WriteTable(const TVLRGB* Colours, int32_t Count) {
    const int32_t entry = Core() ? 3 : 4;
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * entry, 0);
    for (int32_t i = 0; i < Count; ++i) {
        bytes[static_cast<size_t>(i) * entry] = Colours[i].b;
        bytes[static_cast<size_t>(i) * entry + 1] = Colours[i].g;
        bytes[static_cast<size_t>(i) * entry + 2] = Colours[i].r;
    }
    TVLRGB* palette = FParams.AllocPalette(Count);
    if (palette != nullptr) std::copy(Colours, Colours + Count, palette);
    Out(bytes.data(), static_cast<int64_t>(bytes.size()));
    FDataStart = FStream.GetPosition();
}

bool TBmpWriter::RowStart(int32_t Done) {
    FProgress.StepCount = Done;
    FProgress.ReportProgress();
    return !FProgress.Aborting();
}

// Every index of a vl8p bitmap is below Count.
bool IndexesBelow(TVLBitmap& Bitmap, int32_t Count) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
            if (row[x] >= Count) return false;
    }
    return true;
}

// The rows of indexes of a 4- or 8-bit file. A palette image keeps its indexes when they all fit
// the table; any other image, and one whose indexes do not fit, is quantized from 24 bits.
void TBmpWriter::WriteIndexed() {
    const int32_t colours = 1 << FBitCount;
    const bool ownIndexes = FBitmap.GetPixelFormat() == vl8p && IndexesBelow(FBitmap, colours);
    TVLBitmap converted;
    TVLBitmap* source = &FBitmap;
    if (!ownIndexes && FBitmap.GetPixelFormat() != vl24RGB) {
        converted.Assign(&FBitmap);
        converted.SetPixelFormat(vl24RGB);
        source = &converted;
    }
    std::array<TVLRGB, 256> palette{};
    TVLQuantizer quantizer(*source, std::span<TVLRGB>(palette.data(), colours), colours);
    WriteTable(palette.data(), colours);
    const int32_t w = source->GetWidth(), h = source->GetHeight();
    std::vector<uint8_t> indexes(static_cast<size_t>(w));
    std::vector<uint8_t> out(static_cast<size_t>(
        std::max<int64_t>(RLERowBound(w), (int64_t{w} * FBitCount + 31) / 32 * 4)));
    for (int32_t done = 0; done < h; ++done) {
        if (!RowStart(done)) return;
        const uint8_t* row = source->GetScanline(h - 1 - done);
        if (ownIndexes)
            std::memcpy(indexes.data(), row, static_cast<size_t>(w));
        else
            quantizer.RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(row), indexes.data(), w);
        int64_t length = 0;
        if (RunLength()) {
            length = FBitCount == 4 ? EncodeRLE4Row(indexes.data(), w, out.data())
                                    : EncodeRLE8Row(indexes.data(), w, out.data());
        } else {
            length = (int64_t{w} * FBitCount + 31) / 32 * 4;
            std::fill(out.begin(), out.begin() + length, 0);
            for (int32_t x = 0; x < w; ++x) {
                if (FBitCount == 8)
                    out[x] = indexes[x];
                else
                    out[x / 2] |=
                        static_cast<uint8_t>((x & 1) != 0 ? indexes[x] & 0x0F : indexes[x] << 4);
            }
        }
        Out(out.data(), length);
    }
    if (RunLength()) {
        const uint8_t end[2] = {0, 1};
        Out(end, 2);
    }
}

void TBmpWriter::WriteBilevel() {
    std::unique_ptr<TVLBitmap> made;
    TVLBitmap* source = &FBitmap;
    TVLRGB colours[2] = {{0, 0, 0}, {255, 255, 255}};
    if (FBitmap.GetPixelFormat() != vl1g) {
        made = TryMakeTwoColorBitmap(FBitmap, colours[0], colours[1]);
        if (made == nullptr) {
            colours[0] = {0, 0, 0};
            colours[1] = {255, 255, 255};
            made = std::make_unique<TVLBitmap>();
            made->Assign(&FBitmap);
            made->SetPixelFormat(vl1g);
        }
        source = made.get();
    }
    WriteTable(colours, 2);
    const int32_t h = source->GetHeight();
    const int64_t rowLen = (int64_t{source->GetWidth()} + 31) / 32 * 4;
    const int64_t used = (int64_t{source->GetWidth()} + 7) / 8;
    std::vector<uint8_t> out(static_cast<size_t>(rowLen), 0);
    for (int32_t done = 0; done < h; ++done) {
        if (!RowStart(done)) return;
        std::memcpy(out.data(), source->GetScanline(h - 1 - done), static_cast<size_t>(used));
        Out(out.data(), rowLen);
    }
}

void TBmpWriter::WriteTrueColour() {
    TVLBitmap converted;
    TVLBitmap* source = &FBitmap;
    if (FBitmap.GetPixelFormat() != vl24RGB) {
        converted.Assign(&FBitmap);
        converted.SetPixelFormat(vl24RGB);
        source = &converted;
    }
    FDataStart = FStream.GetPosition();
    const int32_t w = source->GetWidth(), h = source->GetHeight();
    const int64_t rowLen = (int64_t{w} * FBitCount + 31) / 32 * 4;
    std::vector<uint8_t> out(static_cast<size_t>(rowLen), 0);
    for (int32_t done = 0; done < h; ++done) {
        if (!RowStart(done)) return;
        const int32_t y = h - 1 - done;
        const uint8_t* row = source->GetScanline(y);
        if (FBitCount == 24) {
            std::memcpy(out.data(), row, static_cast<size_t>(w) * 3);
        } else {
            for (int32_t x = 0; x < w; ++x) {
                std::memcpy(out.data() + 4 * x, row + 3 * x, 3);
                out[4 * x + 3] = FWriteAlpha ? FBitmap.GetAlphaPixel(x, y) : 255;
            }
        }
        Out(out.data(), rowLen);
    }
}

void TBmpWriter::Finish() {
    const int64_t end = FStream.GetPosition();
    uint8_t f[FileHeaderSize] = {'B', 'M'};
    Put32(f + 2, static_cast<uint32_t>(end - FStart));
    Put32(f + 10, static_cast<uint32_t>(FDataStart - FStart));
    FStream.SetPosition(FStart);
    Out(f, FileHeaderSize);
    WriteInfoHeader(static_cast<uint32_t>(end - FDataStart), true);
    FStream.SetPosition(end);
}

void TBmpWriter::Write() {
    const int32_t w = FBitmap.GetWidth(), h = FBitmap.GetHeight();
    // The 12-byte header holds 16-bit sizes; every header's sizes are positive 32-bit numbers.
    if (w <= 0 || h <= 0 || (Core() && (w > 0xFFFF || h > 0xFFFF))) {
        FProgress.Abort();
        return;
    }
    FBitCount = ChooseBitCount();
    FStart = FStream.GetPosition();
    const uint8_t fileHeader[FileHeaderSize] = {'B', 'M'};
    Out(fileHeader, FileHeaderSize);
    WriteInfoHeader(0, false);
    FProgress.StepCount = 0;
    FProgress.PercentPerStep = 100.0 / h;
    if (FBitCount == 4 || FBitCount == 8)
        WriteIndexed();
    else if (FBitCount == 1)
        WriteBilevel();
    else
        WriteTrueColour();
    if (!FProgress.Aborting() && !FAborting) Finish();
}

} // namespace

void WriteBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, bool WriteAlpha) {
    TBmpWriter(Stream, Bitmap, Params, Progress, WriteAlpha).Write();
}
