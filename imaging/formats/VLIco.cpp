// The icon and cursor readers. All file fields are little-endian. The directory, the image's
// offset, its sizes and its rows are checked against the bytes the stream really has, in 64 bits,
// before anything is allocated.
#include "imaging/formats/VLIco.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLPng.h"
#include "platform/rtl/Classes.h"
#include "platform/shell/ShellIcon.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Get32;
using imaging::detail::Put16;
using imaging::detail::Put32;

namespace {

constexpr int32_t DirectoryHeaderSize = 6;
constexpr int32_t EntrySize = 16;
constexpr int32_t InfoHeaderSize = 40;
constexpr uint16_t TypeIcon = 1, TypeCursor = 2;
// The probes want a header, one entry and a byte of image at least.
constexpr int64_t SmallestDirectoryStream = 23;
// Above this the header's size wins over an entry byte that disagrees with it.
constexpr int32_t HeaderSizeLimit = 2048;
constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct TIcoEntry {
    uint8_t Width = 0;
    uint8_t Height = 0;
    uint8_t ColorCount = 0;
    uint8_t Reserved = 0;
    // A cursor's hot spot.
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t Size = 0;
    uint32_t Offset = 0;
};

TIcoEntry ParseEntry(const uint8_t* P) {
    return {P[0], P[1], P[2], P[3], Get16(P + 4), Get16(P + 6), Get32(P + 8), Get32(P + 12)};
}

// The first Count entries of the directory after the 6-byte header at Start; false when the
// stream ends before them.
bool ReadEntries(TStream& Stream, int64_t Start, int32_t Count, std::vector<TIcoEntry>& Entries) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * EntrySize);
    Stream.SetPosition(Start + DirectoryHeaderSize);
    if (ReadUpTo(Stream, bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size()))
        return false;
    Entries.clear();
    for (int32_t i = 0; i < Count; ++i)
        Entries.push_back(ParseEntry(bytes.data() + static_cast<size_t>(i) * EntrySize));
    return true;
}

bool IsDirectoryStream(TStream& Stream, uint16_t Type) {
    const int64_t start = Stream.GetPosition();
    bool result = false;
    uint8_t header[DirectoryHeaderSize];
    std::vector<TIcoEntry> entries;
    if (Stream.GetSize() - start >= SmallestDirectoryStream &&
        ReadUpTo(Stream, header, DirectoryHeaderSize) == DirectoryHeaderSize &&
        Get16(header) == 0 && Get16(header + 2) == Type && Get16(header + 4) >= 1 &&
        ReadEntries(Stream, start, Get16(header + 4), entries)) {
        result = true;
        for (size_t i = 0; i < entries.size() && result; ++i)
            result = entries[i].Reserved == 0 && entries[i].Size != 0 &&
                     entries[i].Offset >= DirectoryHeaderSize + (i + 1) * EntrySize;
    }
    Stream.SetPosition(start);
    return result;
}

// What the image's header and entry say, checked.
struct TIcoImage {
    // The icon stream's start and its end.
    int64_t Start = 0;
    int64_t End = 0;
    TIcoEntry Entry;
    uint8_t Header[InfoHeaderSize] = {};
    int32_t HeaderWidth = 0;
    int32_t HeaderHeight = 0;
    int32_t HeaderBitCount = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    // The colour table padded with black to 256 entries: indexes past the file's table are black.
    std::array<TVLRGB, 256> Table{};
    TVLRGB Background;
};

int32_t DpiOfPixelsPerMetre(int32_t PixelsPerMetre, int32_t Default) {
    return PixelsPerMetre > 0 ? static_cast<int32_t>(Round(PixelsPerMetre / 100.0 * 2.54))
                              : Default;
}

// The image data begins with the PNG signature.
bool IsPngEntry(TStream& Stream, const TIcoImage& Image) {
    uint8_t signature[8];
    Stream.SetPosition(Image.Start + Image.Entry.Offset);
    return ReadUpTo(Stream, signature, 8) == 8 && std::memcmp(signature, PngSignature, 8) == 0;
}

// The 40-byte header at the image's offset and the resolution it gives; false when the stream
// does not hold it.
bool ReadImageHeader(TStream& Stream, TIcoImage& Image, TIOParamsVals& Params) {
    Stream.SetPosition(Image.Start + Image.Entry.Offset);
    if (ReadUpTo(Stream, Image.Header, InfoHeaderSize) != InfoHeaderSize) return false;
    Image.HeaderWidth = static_cast<int32_t>(Get32(Image.Header + 4));
    Image.HeaderHeight = static_cast<int32_t>(Get32(Image.Header + 8));
    Image.HeaderBitCount = Get16(Image.Header + 14);
    Params.SetDpiX(
        DpiOfPixelsPerMetre(static_cast<int32_t>(Get32(Image.Header + 24)), DefaultDpiX));
    Params.SetDpiY(
        DpiOfPixelsPerMetre(static_cast<int32_t>(Get32(Image.Header + 28)), DefaultDpiY));
    return true;
}

// Count table entries after the header into the image's table and the parameters' palette.
void ReadTable(TStream& Stream, TIcoImage& Image, TIOParamsVals& Params, int32_t Count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * 4, 0);
    ReadUpTo(Stream, bytes.data(), static_cast<int64_t>(bytes.size()));
    TVLRGB* palette = Params.AllocPalette(Count);
    for (int32_t i = 0; i < Count; ++i) {
        const uint8_t* e = bytes.data() + static_cast<size_t>(i) * 4;
        const TVLRGB colour{e[0], e[1], e[2]};
        if (i < 256) Image.Table[i] = colour;
        if (palette != nullptr) palette[i] = colour;
    }
}

int64_t RowLength(int32_t Width, int32_t Bits) {
    return (int64_t{Width} * Bits + 31) / 32 * 4;
}

bool IsWhite(const TVLRGB& Colour) {
    return Colour.r == 255 && Colour.g == 255 && Colour.b == 255;
}

bool IsBlack(const TVLRGB& Colour) {
    return Colour.r == 0 && Colour.g == 0 && Colour.b == 0;
}

// A 1-bit image whose table is black and white, in either order, reads as vl1g; any other
// 1-bit table is decoded through its colours, as 4 and 8 bits are.
bool IsBilevel(const TIcoImage& Image) {
    const TVLRGB &first = Image.Table[0], &second = Image.Table[1];
    return Image.BitCount == 1 &&
           ((IsBlack(first) && IsWhite(second)) || (IsWhite(first) && IsBlack(second)));
}

// The decoding of one image's rows into an allocated bitmap (and mask, when there is one).
class TIcoDecoder {
public:
    TIcoDecoder(TStream& Stream, TVLBitmap& Bitmap, TVLMask* Mask, const TIcoImage& Image)
        : FStream(Stream), FBitmap(Bitmap), FMask(Mask), FImage(Image),
          FRowBytes(static_cast<size_t>(RowLength(Image.Width, Image.BitCount))),
          FAndBytes(static_cast<size_t>(RowLength(Image.Width, 1))),
          FBilevel(Bitmap.GetPixelFormat() == vl1g) {}

    // False when the stream ended before the last row.
    bool Decode();

private:
    bool ReadRow(std::vector<uint8_t>& Row, size_t Bytes) {
        if (FImage.End - FStream.GetPosition() < static_cast<int64_t>(Bytes)) return false;
        Row.resize(Bytes);
        return ReadUpTo(FStream, Row.data(), static_cast<int64_t>(Bytes)) ==
               static_cast<int64_t>(Bytes);
    }
    int32_t BitmapRow(int32_t FileRow) const { return FImage.Height - 1 - FileRow; }
    bool IndexRows();
    bool TrueColourRows();
    // Applies the AND rows: transparent pixels take the background and mask 0.
    bool AndRows();
    // The AND rows become the mask: 0 for a set bit, 255 otherwise.
    void AndRowsToMask();

    TStream& FStream;
    TVLBitmap& FBitmap;
    TVLMask* FMask;
    const TIcoImage& FImage;
    size_t FRowBytes;
    size_t FAndBytes;
    bool FBilevel;
    bool FAlphaAllZero = true;
};

bool TIcoDecoder::IndexRows() {
    std::vector<uint8_t> row;
    const int32_t w = FImage.Width, bits = FImage.BitCount;
    // vl1g's 0 is black: a table of white then black has its bits inverted.
    const uint8_t flip = IsWhite(FImage.Table[0]) ? 0xFF : 0;
    for (int32_t k = 0; k < FImage.Height; ++k) {
        if (!ReadRow(row, FRowBytes)) return false;
        uint8_t* dst = FBitmap.GetScanline(BitmapRow(k));
        if (FBilevel) {
            for (int32_t i = 0; i < (w + 7) / 8; ++i)
                dst[i] = row[i] ^ flip;
            continue;
        }
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t index = bits == 8      ? row[x]
                                  : bits == 1    ? (row[x >> 3] & BitMask[x & 7]) != 0
                                  : (x & 1) != 0 ? row[x >> 1] & 0x0F
                                                 : row[x >> 1] >> 4;
            const TVLRGB& c = FImage.Table[index];
            dst[3 * x] = c.b;
            dst[3 * x + 1] = c.g;
            dst[3 * x + 2] = c.r;
        }
    }
    return true;
}

bool TIcoDecoder::TrueColourRows() {
    std::vector<uint8_t> row;
    const int32_t w = FImage.Width;
    for (int32_t k = 0; k < FImage.Height; ++k) {
        if (!ReadRow(row, FRowBytes)) return false;
        const int32_t y = BitmapRow(k);
        uint8_t* dst = FBitmap.GetScanline(y);
        if (FImage.BitCount == 24) {
            std::memcpy(dst, row.data(), static_cast<size_t>(w) * 3);
            continue;
        }
        uint8_t* alpha = FMask != nullptr ? FMask->GetScanline(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            std::memcpy(dst + 3 * x, row.data() + 4 * x, 3);
            const uint8_t a = row[4 * x + 3];
            FAlphaAllZero = FAlphaAllZero && a == 0;
            if (alpha != nullptr) alpha[x] = a;
        }
    }
    return true;
}

bool TIcoDecoder::AndRows() {
    std::vector<uint8_t> row;
    const int32_t w = FImage.Width;
    const TVLRGB& back = FImage.Background;
    const bool invert = IsWhite(back);
    for (int32_t k = 0; k < FImage.Height; ++k) {
        if (!ReadRow(row, FAndBytes)) return false;
        const int32_t y = BitmapRow(k);
        uint8_t* dst = FBitmap.GetScanline(y);
        uint8_t* alpha = FMask != nullptr ? FMask->GetScanline(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            if ((row[x >> 3] & BitMask[x & 7]) == 0) continue;
            if (alpha != nullptr) alpha[x] = 0;
            if (FBilevel) {
                // A transparent pixel shows white on a white background, black on any other.
                if (invert) dst[x >> 3] ^= BitMask[x & 7];
            } else {
                dst[3 * x] = back.b;
                dst[3 * x + 1] = back.g;
                dst[3 * x + 2] = back.r;
            }
        }
    }
    return true;
}

void TIcoDecoder::AndRowsToMask() {
    std::vector<uint8_t> row;
    for (int32_t k = 0; k < FImage.Height && ReadRow(row, FAndBytes); ++k) {
        uint8_t* alpha = FMask->GetScanline(BitmapRow(k));
        for (int32_t x = 0; x < FImage.Width; ++x)
            alpha[x] = (row[x >> 3] & BitMask[x & 7]) != 0 ? 0 : 255;
    }
}

bool TIcoDecoder::Decode() {
    if (FImage.BitCount <= 8) return IndexRows() && AndRows();
    if (!TrueColourRows()) return false;
    const int64_t andTotal = static_cast<int64_t>(FAndBytes) * FImage.Height;
    const bool andRowsThere = FImage.End - FStream.GetPosition() >= andTotal;
    // 24-bit images keep their transparency in the AND rows, as the palette ones do (files that
    // end after the colour rows stay opaque).
    if (FImage.BitCount == 24) {
        if (andRowsThere) AndRows();
        return true;
    }
    // Fully transparent alpha bytes mean that the file keeps its transparency in the AND rows.
    if (FMask != nullptr && FAlphaAllZero && andRowsThere) AndRowsToMask();
    return true;
}

bool Decodable(int32_t BitCount) {
    return BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 24 || BitCount == 32;
}

// Allocates the bitmap (and, unless IgnoreAlpha, the mask) the image's rows go into and decodes
// them; the abort flag for sizes the stream cannot hold, storage that cannot be had and rows
// cut short.
void DecodeImage(TStream& Stream, const TIcoImage& Image, TVLBitmap& Bitmap,
                 TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                 bool IgnoreAlpha) {
    const int32_t w = Image.Width, h = Image.Height;
    const TVLPixelFormat format = IsBilevel(Image) ? vl1g : vl24RGB;
    if (w <= 0 || h <= 0) {
        Progress.Abort();
        return;
    }
    const int64_t rowLength = RowLength(w, Image.BitCount);
    const int64_t coded = rowLength > std::numeric_limits<int64_t>::max() / h
                              ? std::numeric_limits<int64_t>::max()
                              : rowLength * h;
    const int64_t left = std::max<int64_t>(0, Image.End - Stream.GetPosition());
    // Icon rows are stored as they are: a file cut short may miss some of them, but a few bytes
    // never describe a large picture, however small the library's first allowance finds it.
    if (coded / ExpansionUncompressed > left ||
        !IsPlausibleDeclaredSize(PlannedBitmapBytes(w, h, format, !IgnoreAlpha), coded,
                                 ExpansionUncompressed, left) ||
        !Bitmap.Allocate(w, h, format)) {
        Progress.Abort();
        return;
    }
    Bitmap.Fill(0);
    if (!IgnoreAlpha) {
        if (AlphaMask == nullptr) AlphaMask = std::make_unique<TVLMask>();
        if (!AlphaMask->AllocateBits(w, h, 8)) {
            AlphaMask.reset();
            Progress.Abort();
            return;
        }
        AlphaMask->Fill(255);
        AlphaMask->Full = false;
    }
    if (!TIcoDecoder(Stream, Bitmap, AlphaMask.get(), Image).Decode()) Progress.Abort();
}

// An entry stored as PNG data: the PNG reader's picture, its alpha channel as the mask.
void ReadPngEntry(TStream& Stream, const TIcoImage& Image, TVLBitmap& Bitmap, TIOParamsVals& Params,
                  bool ParamsOnly, TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                  bool IgnoreAlpha) {
    Stream.SetPosition(Image.Start + Image.Entry.Offset);
    ReadPNGStream(Stream, Bitmap, Params, Progress, ParamsOnly);
    if (ParamsOnly || !Bitmap.HasAlphaChannel()) return;
    if (!IgnoreAlpha) {
        if (AlphaMask == nullptr) AlphaMask = std::make_unique<TVLMask>();
        Bitmap.GetAlphaChannel()->CopyToMask(AlphaMask.get());
        if (AlphaMask->GetBitsPerPixel() == 0) AlphaMask.reset();
    }
    Bitmap.RemoveAlphaChannel(false, 0);
}

// The directory's entries up to the one at Index (with Whole, all of them); false (the abort flag
// set) for an index outside the directory and a directory cut short.
bool ReadDirectory(TStream& Stream, int32_t Index, bool Whole, const TIcoImage& Image,
                   const uint8_t (&Header)[DirectoryHeaderSize], std::vector<TIcoEntry>& Entries,
                   TVLProgressRecord& Progress) {
    const int32_t count = Get16(Header + 4);
    if (Index < 0 || Index >= count ||
        !ReadEntries(Stream, Image.Start, Whole ? count : Index + 1, Entries)) {
        Progress.Abort();
        return false;
    }
    return true;
}

void ListIconSizes(const std::vector<TIcoEntry>& Entries, TIOParamsVals& Params) {
    std::fill(Params.IcoSizes.begin(), Params.IcoSizes.end(), TVLIcoSize{0, 0});
    const size_t listed = std::min(Entries.size(), Params.IcoSizes.size());
    for (size_t i = 0; i < listed; ++i) {
        const TIcoEntry& e = Entries[i];
        if (e.Width == 0 || e.Height == 0) continue;
        Params.IcoSizes[i] = {e.Width, e.Height};
        const int32_t fromColours = CeilLog2(e.ColorCount);
        Params.IcoBitCounts[i] = e.BitCount != 0 ? e.BitCount : fromColours > 0 ? fromColours : 24;
    }
}

// The icon's entry: the one at IcoImageIndex unless its width or height byte is 0, else the last.
const TIcoEntry& ChosenIconEntry(const std::vector<TIcoEntry>& Entries, int32_t Index) {
    const TIcoEntry& e = Entries[static_cast<size_t>(Index)];
    return e.Width != 0 && e.Height != 0 ? e : Entries.back();
}

void SetIconGeometry(TIcoImage& Image) {
    const TIcoEntry& e = Image.Entry;
    Image.Width = e.Width != 0 ? e.Width : Image.HeaderWidth;
    Image.Height = e.Height != 0 ? e.Height : Image.HeaderHeight / 2;
    if (e.Width != 0 && Image.HeaderWidth != 0 && e.Width != Image.HeaderWidth &&
        Image.HeaderWidth < HeaderSizeLimit && Image.HeaderHeight < HeaderSizeLimit) {
        Image.Width = Image.HeaderWidth;
        Image.Height = Image.HeaderHeight / 2;
    }
}

void SetGeometryParams(const TIcoImage& Image, TIOParamsVals& Params) {
    Params.Width = Params.OriginalWidth = Image.Width;
    Params.Height = Params.OriginalHeight = Image.Height;
}

// The full test of icons: an opaque mask is no mask.
void DropOpaqueMask(std::unique_ptr<TVLMask>& AlphaMask) {
    if (AlphaMask == nullptr) return;
    AlphaMask->SyncFull();
    if (AlphaMask->Full) AlphaMask.reset();
}

} // namespace

bool IsICOStream(TStream& Stream) {
    return IsDirectoryStream(Stream, TypeIcon);
}

bool IsCURStream(TStream& Stream) {
    return IsDirectoryStream(Stream, TypeCursor);
}

void ReadICOStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                   bool IgnoreAlpha) {
    TIcoImage image;
    image.Start = Stream.GetPosition();
    image.End = Stream.GetSize();
    uint8_t header[DirectoryHeaderSize];
    if (ReadUpTo(Stream, header, DirectoryHeaderSize) != DirectoryHeaderSize) {
        Progress.Abort();
        return;
    }
    if (header[0] == 'B' && header[1] == 'M') {
        Stream.SetPosition(image.Start);
        const auto size = static_cast<int32_t>(std::min<int64_t>(image.End, INT32_MAX));
        ReadBMPStream(Stream, Bitmap, size, Params, Progress, ParamsOnly, AlphaMask, IgnoreAlpha);
        return;
    }
    std::vector<TIcoEntry> entries;
    if (!ReadDirectory(Stream, Params.IcoImageIndex, true, image, header, entries, Progress))
        return;
    ListIconSizes(entries, Params);
    image.Entry = ChosenIconEntry(entries, Params.IcoImageIndex);
    if (IsPngEntry(Stream, image)) {
        ReadPngEntry(Stream, image, Bitmap, Params, ParamsOnly, Progress, AlphaMask, IgnoreAlpha);
        if (!ParamsOnly && !IgnoreAlpha) DropOpaqueMask(AlphaMask);
        return;
    }
    if (!ReadImageHeader(Stream, image, Params)) {
        Progress.Abort();
        return;
    }
    image.BitCount = image.Entry.BitCount;
    if (image.HeaderBitCount != 0) image.BitCount = image.HeaderBitCount;
    if (image.BitCount == 0) image.BitCount = CeilLog2(image.Entry.ColorCount);
    if (image.BitCount < 0) {
        Progress.Abort();
        return;
    }
    Params.BitsPerSample = image.BitCount <= 8 ? image.BitCount : 8;
    Params.SamplesPerPixel = image.BitCount <= 8 ? 1 : image.BitCount == 32 ? 4 : 3;
    SetIconGeometry(image);
    Params.FreePalette();
    if (image.BitCount <= 8) ReadTable(Stream, image, Params, 1 << image.BitCount);
    SetGeometryParams(image, Params);
    if (ParamsOnly) return;
    if (!Decodable(image.BitCount)) {
        Progress.Abort();
        return;
    }
    image.Background = Params.IcoBackground;
    DecodeImage(Stream, image, Bitmap, Progress, AlphaMask, IgnoreAlpha);
    if (!IgnoreAlpha) DropOpaqueMask(AlphaMask);
}

void ReadCURStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                   bool IgnoreAlpha) {
    TIcoImage image;
    image.Start = Stream.GetPosition();
    image.End = Stream.GetSize();
    uint8_t header[DirectoryHeaderSize];
    std::vector<TIcoEntry> entries;
    if (ReadUpTo(Stream, header, DirectoryHeaderSize) != DirectoryHeaderSize) {
        Progress.Abort();
        return;
    }
    if (!ReadDirectory(Stream, Params.CurImageIndex, false, image, header, entries, Progress))
        return;
    image.Entry = entries[static_cast<size_t>(Params.CurImageIndex)];
    Params.CurHotSpotX = image.Entry.Planes;
    Params.CurHotSpotY = image.Entry.BitCount;
    if (IsPngEntry(Stream, image)) {
        ReadPngEntry(Stream, image, Bitmap, Params, ParamsOnly, Progress, AlphaMask, IgnoreAlpha);
        return;
    }
    if (!ReadImageHeader(Stream, image, Params)) {
        Progress.Abort();
        return;
    }
    const TIcoEntry& e = image.Entry;
    image.Width = e.Width != 0 ? e.Width : image.HeaderWidth;
    image.Height = e.Height != 0 ? e.Height : image.HeaderHeight / 2;
    SetGeometryParams(image, Params);
    Params.SamplesPerPixel = 1;
    image.BitCount = image.HeaderBitCount != 0 ? image.HeaderBitCount : CeilLog2(e.ColorCount);
    if (image.BitCount < 0) {
        Progress.Abort();
        return;
    }
    Params.BitsPerSample = image.BitCount;
    Params.FreePalette();
    if (image.BitCount <= 8) {
        const int32_t entriesInTable = e.ColorCount == 255 ? 256
                                       : e.ColorCount != 0 ? e.ColorCount
                                                           : 1 << image.BitCount;
        ReadTable(Stream, image, Params, entriesInTable);
    }
    if (ParamsOnly) return;
    // Deeper cursors have no decoder here.
    if (!Decodable(image.BitCount) || image.BitCount > 8) {
        Progress.Abort();
        return;
    }
    image.Background = Params.CurBackground;
    DecodeImage(Stream, image, Bitmap, Progress, AlphaMask, IgnoreAlpha);
}

// ---- Icon handles ---------------------------------------------------------------------------

void FillIconBitmapInfo(HBITMAP Bitmap, BITMAPINFOHEADER& Info, int32_t Colors) {
    DIBSECTION section;
    const int32_t described = GetObjectW(Bitmap, sizeof(section), &section);
    if (described >= 64 && section.dsBmih.biSize >= InfoHeaderSize) {
        Info = section.dsBmih;
    } else {
        Info = BITMAPINFOHEADER{};
        Info.biWidth = section.dsBm.bmWidth;
        Info.biHeight = section.dsBm.bmHeight;
        Info.biBitCount = static_cast<uint16_t>(section.dsBm.bmPlanes * section.dsBm.bmBitsPixel);
    }
    Info.biSize = InfoHeaderSize;
    if (Colors == 2) {
        Info.biBitCount = 1;
    } else if (Colors >= 3 && Colors <= 16) {
        Info.biBitCount = 4;
        Info.biClrUsed = static_cast<uint32_t>(Colors);
    } else if (Colors >= 17 && Colors <= 256) {
        Info.biBitCount = 32;
        Info.biClrUsed = static_cast<uint32_t>(Colors);
    }
    Info.biPlanes = 1;
    Info.biCompression = BI_RGB;
    // Icon images are stored bottom-up.
    if (Info.biHeight < 0) Info.biHeight = -Info.biHeight;
    if (Info.biClrImportant > Info.biClrUsed) Info.biClrImportant = Info.biClrUsed;
    // The rows of the bit count asked for, whatever size the bitmap's own header gave.
    Info.biSizeImage =
        static_cast<uint32_t>(RowLength(Info.biWidth, Info.biBitCount) * Info.biHeight);
}

void GetIconDIBSizes(HBITMAP Bitmap, int32_t Colors, int32_t& InfoSize, int32_t& ImageSize) {
    BITMAPINFOHEADER info;
    FillIconBitmapInfo(Bitmap, info, Colors);
    if (info.biBitCount <= 8)
        InfoSize =
            InfoHeaderSize +
            4 * static_cast<int32_t>(info.biClrUsed != 0 ? info.biClrUsed : 1u << info.biBitCount);
    else
        InfoSize = InfoHeaderSize + ((info.biCompression & BI_BITFIELDS) != 0 ? 12 : 0);
    ImageSize = static_cast<int32_t>(info.biSizeImage);
}

bool GetIconDIBBits(HBITMAP Bitmap, int32_t Colors, void* Info, void* Bits) {
    auto* info = static_cast<BITMAPINFO*>(Info);
    FillIconBitmapInfo(Bitmap, info->bmiHeader, Colors);
    HDC screen = CreateCompatibleDC(nullptr);
    const int32_t rows =
        GetDIBits(screen, Bitmap, 0, static_cast<uint32_t>(info->bmiHeader.biHeight), Bits, info,
                  DIB_RGB_COLORS);
    DeleteDC(screen);
    return rows != 0;
}

void WriteIconHandleToStream(TStream& Stream, HICON Icon) {
    ICONINFO icon;
    if (!GetIconInfo(Icon, &icon)) return;
    struct TDeleteBitmaps {
        ICONINFO& Info;
        ~TDeleteBitmaps() {
            DeleteObject(Info.hbmColor);
            DeleteObject(Info.hbmMask);
        }
    } deleteBitmaps{icon};
    constexpr int32_t ColourColours = 256, MaskColours = 2;
    int32_t colourInfoSize = 0, colourSize = 0, maskInfoSize = 0, maskSize = 0;
    GetIconDIBSizes(icon.hbmColor, ColourColours, colourInfoSize, colourSize);
    GetIconDIBSizes(icon.hbmMask, MaskColours, maskInfoSize, maskSize);
    std::vector<uint8_t> colourInfo(static_cast<size_t>(colourInfoSize), 0);
    std::vector<uint8_t> colourBits(static_cast<size_t>(colourSize), 0);
    std::vector<uint8_t> maskInfo(static_cast<size_t>(maskInfoSize), 0);
    std::vector<uint8_t> maskBits(static_cast<size_t>(maskSize), 0);
    GetIconDIBBits(icon.hbmColor, ColourColours, colourInfo.data(), colourBits.data());
    GetIconDIBBits(icon.hbmMask, MaskColours, maskInfo.data(), maskBits.data());
    auto& header = *reinterpret_cast<BITMAPINFOHEADER*>(colourInfo.data());

    uint8_t directory[DirectoryHeaderSize + EntrySize] = {};
    Put16(directory + 2, TypeIcon);
    Put16(directory + 4, 1);
    uint8_t* entry = directory + DirectoryHeaderSize;
    entry[0] = static_cast<uint8_t>(header.biWidth);
    entry[1] = static_cast<uint8_t>(header.biHeight);
    Put16(entry + 2, header.biPlanes * header.biBitCount);
    Put32(entry + 8, static_cast<uint32_t>(colourInfoSize + colourSize + maskSize));
    Put32(entry + 12, DirectoryHeaderSize + EntrySize);
    Stream.WriteBuffer(directory, sizeof(directory));
    header.biHeight *= 2;
    Stream.WriteBuffer(colourInfo.data(), colourInfoSize);
    Stream.WriteBuffer(colourBits.data(), colourSize);
    Stream.WriteBuffer(maskBits.data(), maskSize);
}

bool TryWriteIconHandleToStream(TStream& Stream, HICON Icon) {
    try {
        WriteIconHandleToStream(Stream, Icon);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void IconHandleToBitmap(HICON Icon, TVLBitmap& Bitmap) {
    TMemoryStream stream;
    TryWriteIconHandleToStream(stream, Icon);
    stream.SetPosition(0);
    Bitmap.RemoveAlphaChannel(false, 0xFFFFFF);
    TIOParamsVals params(nullptr);
    bool aborting = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborting;
    std::unique_ptr<TVLMask> mask;
    ReadICOStream(stream, Bitmap, params, false, progress, mask, false);
    // A handle that could not be described gives no picture.
    if (stream.GetSize() == 0) Bitmap.FreeImage(true);
    if (mask != nullptr) Bitmap.GetAlphaChannel()->CopyFromMask(mask.get());
}

HICON GetShellFileIconHandle(const String& FileName) {
    try {
        SHFILEINFOW info;
        SHGetFileInfoW(FileName.c_str(), 0, &info, sizeof(info), SHGFI_ICON);
        return info.hIcon;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void LoadShellFileIcon(const String& FileName, TVLBitmap& Bitmap) {
    HICON icon = GetShellFileIconHandle(FileName);
    IconHandleToBitmap(icon, Bitmap);
    if (icon != nullptr) DestroyIcon(icon);
}
