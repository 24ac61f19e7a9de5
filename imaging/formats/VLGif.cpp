// The GIF codec. Colour tables are kept as 256 entries padded with black, so that any index a
// frame holds reads a colour; sizes are computed in 64 bits and bounded by the data there is.
#include "imaging/formats/VLGif.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Put16;

namespace {

constexpr uint8_t ExtensionIntroducer = 0x21;
constexpr uint8_t ImageSeparator = 0x2C;
constexpr uint8_t Trailer = 0x3B;
constexpr uint8_t GraphicControlLabel = 0xF9;
constexpr uint8_t CommentLabel = 0xFE;
// A frame may describe at most this many pixels per byte of its LZW data (a 12-bit code stands
// for at most 4096 pixels), beyond a first allowance: a huge frame with a few bytes of data is
// refused instead of filling memory.
constexpr int64_t MaxPixelsPerByte = 4096;
constexpr int64_t FreeAllowance = int64_t{1} << 20;

using TTable = std::array<TVLRGB, 256>;

// ---- Reading --------------------------------------------------------------------------------

class TGifReader {
public:
    TGifReader(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress, bool ParamsOnly, std::unique_ptr<TVLMask>& AlphaMask,
               bool IgnoreAlpha)
        : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress),
          FParamsOnly(ParamsOnly), FAlphaMask(AlphaMask), FIgnoreAlpha(IgnoreAlpha) {}

    int32_t Read();

private:
    bool AtEnd() { return FStream.GetPosition() >= FSize; }
    // The next byte; -1 at the end of the stream.
    int32_t NextByte();
    // Count bytes into Buffer, zeros for those the stream does not have; false when short.
    bool ReadBytes(uint8_t* Buffer, int32_t Count);
    void ReadTable(TTable& Table, int32_t Bits);
    // Skips data sub-blocks up to the zero length or the end; returns their data bytes.
    int64_t SkipSubBlocks();
    bool ReadHeader();
    void ReadExtension();
    void ReadGraphicControl();
    void ReadComment();
    // False when reading stops.
    bool ReadImage();
    bool DecodeFrame(int32_t Width, int32_t Height, bool Interlaced, int32_t Bits,
                     const TTable& Table);
    bool Aborting() const { return FProgress.Aborting(); }

    TStream& FStream;
    TVLBitmap& FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    bool FParamsOnly;
    std::unique_ptr<TVLMask>& FAlphaMask;
    bool FIgnoreAlpha;

    int64_t FSize = 0;
    int32_t FFrameCount = 0;
    TTable FGlobal{};
    int32_t FGlobalBits = 1;
    // Flags, delay (2 bytes), transparent index of the selected frame's graphic control.
    uint8_t FControl[4] = {};
};

int32_t TGifReader::NextByte() {
    uint8_t b = 0;
    return FStream.Read(&b, 1) == 1 ? b : -1;
}

bool TGifReader::ReadBytes(uint8_t* Buffer, int32_t Count) {
    const int32_t got = std::max(0, FStream.Read(Buffer, Count));
    std::memset(Buffer + got, 0, static_cast<size_t>(Count - got));
    return got == Count;
}

void TGifReader::ReadTable(TTable& Table, int32_t Bits) {
    uint8_t bytes[768];
    const int32_t count = 1 << Bits;
    ReadBytes(bytes, 3 * count);
    Table.fill(TVLRGB{});
    for (int32_t i = 0; i < count; ++i)
        Table[i] = TVLRGB{bytes[3 * i + 2], bytes[3 * i + 1], bytes[3 * i]};
}

int64_t TGifReader::SkipSubBlocks() {
    int64_t total = 0;
    for (;;) {
        const int32_t length = NextByte();
        if (length <= 0) return total;
        total += length;
        FStream.SetPosition(std::min(FStream.GetPosition() + length, FSize));
        if (AtEnd()) return total;
    }
}

bool TGifReader::ReadHeader() {
    uint8_t h[13];
    if (!ReadBytes(h, 13) || std::memcmp(h, "GIF", 3) != 0) return false;
    FParams.GifVersion.assign(reinterpret_cast<const char*>(h), 6);
    FParams.GifScreenWidth = Get16(h + 6);
    FParams.GifScreenHeight = Get16(h + 8);
    FParams.GifAspectRatio = h[12];
    FParams.SetDpiX(DefaultDpiX);
    FParams.SetDpiY(DefaultDpiY);
    FParams.SamplesPerPixel = 1;
    FGlobalBits = (h[10] & 7) + 1;
    if ((h[10] & 0x80) != 0) {
        ReadTable(FGlobal, FGlobalBits);
        FParams.GifBackground = FGlobal[h[11]];
    }
    return true;
}

void TGifReader::ReadGraphicControl() {
    // The first sub-block holds the four data bytes; any more are skipped.
    const int32_t length = NextByte();
    if (length <= 0) return;
    uint8_t data[255];
    ReadBytes(data, length);
    std::memset(FControl, 0, sizeof FControl);
    std::memcpy(FControl, data, static_cast<size_t>(std::min(length, 4)));
    SkipSubBlocks();
}

void TGifReader::ReadComment() {
    uint8_t data[255];
    for (;;) {
        const int32_t length = NextByte();
        if (length <= 0) return;
        const bool whole = ReadBytes(data, length);
        const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, length));
        const size_t count = end != nullptr ? static_cast<size_t>(end - data) : length;
        if (count > 0)
            FParams.GifComments.Add(
                StrFromWindows1252({reinterpret_cast<const char*>(data), count}));
        if (!whole) return;
    }
}

void TGifReader::ReadExtension() {
    const int32_t label = NextByte();
    if (label == GraphicControlLabel && FFrameCount == FParams.GifImageIndex)
        ReadGraphicControl();
    else if (label == CommentLabel)
        ReadComment();
    else if (label >= 0)
        SkipSubBlocks();
}

bool TGifReader::ReadImage() {
    uint8_t d[9];
    ReadBytes(d, 9);
    const bool hasLocal = (d[8] & 0x80) != 0;
    const int32_t localBits = (d[8] & 7) + 1;
    TTable local{};
    if (hasLocal) ReadTable(local, localBits);
    if (FFrameCount != FParams.GifImageIndex) {
        NextByte();
        SkipSubBlocks();
        return true;
    }
    FProgress.ReportPercent(30);
    if (Aborting()) return false;
    const TTable& table = hasLocal ? local : FGlobal;
    const int32_t bits = hasLocal ? localBits : FGlobalBits;
    const int32_t width = Get16(d + 4), height = Get16(d + 6);
    const bool interlaced = (d[8] & 0x40) != 0;
    FParams.GifTransparentColor = table[FControl[3]];
    FParams.GifXPos = Get16(d);
    FParams.GifYPos = Get16(d + 2);
    FParams.Width = FParams.OriginalWidth = width;
    FParams.Height = FParams.OriginalHeight = height;
    FParams.GifDelayTime = Get16(FControl + 1);
    FParams.GifTransparent = (FControl[0] & 1) != 0;
    FParams.GifInterlaced = interlaced;
    FParams.GifDisposal = static_cast<uint8_t>((FControl[0] & 0x1C) >> 2);
    if (FParamsOnly) {
        NextByte();
        SkipSubBlocks();
    } else if (!DecodeFrame(width, height, interlaced, bits, table)) {
        return false;
    }
    // The frame's table becomes the palette of the record, in ParamsOnly mode too.
    FParams.BitsPerSample = bits;
    TVLRGB* palette = FParams.AllocPalette(1 << bits);
    if (palette != nullptr) std::copy(table.begin(), table.begin() + (1 << bits), palette);
    return true;
}

bool IsBilevel(int32_t Bits, const TTable& Table) {
    return Bits == 1 && Table[0] == TVLRGB{0, 0, 0} && Table[1] == TVLRGB{255, 255, 255};
}

bool TGifReader::DecodeFrame(int32_t Width, int32_t Height, bool Interlaced, int32_t Bits,
                             const TTable& Table) {
    const int64_t dataStart = FStream.GetPosition();
    NextByte();
    const int64_t dataBytes = SkipSubBlocks();
    const int64_t dataEnd = FStream.GetPosition();
    FStream.SetPosition(dataStart);
    const int64_t pixels = int64_t{Width} * Height;
    const bool bilevel = IsBilevel(Bits, Table);
    const bool hugeSide = Width > 65000 || Height > 65000;
    if (pixels > FreeAllowance + dataBytes * MaxPixelsPerByte ||
        (!bilevel && hugeSide && FSize - dataEnd < 2000)) {
        FProgress.Abort();
        return false;
    }
    // Pixels the data does not reach are index 0.
    std::unique_ptr<uint8_t[]> indexes(new (std::nothrow) uint8_t[std::max<int64_t>(pixels, 1)]());
    if (indexes == nullptr) {
        FProgress.Abort();
        return false;
    }
    const TVLGIFLZWDecoder decoder =
        FParams.GifLZWDecompress != nullptr ? FParams.GifLZWDecompress : DefaultGifLZWDecompress;
    if (decoder != nullptr && pixels > 0)
        decoder(FStream, Height, Width, Interlaced, indexes.get());
    if (FStream.GetPosition() == dataStart) {
        FProgress.Abort();
        return false;
    }
    FProgress.ReportPercent(70);
    if (Aborting()) return false;
    if (pixels == 0) return true;

    const TVLPixelFormat format = bilevel ? vl1g : FParams.NativePixelFormat ? vl8p : vl24RGB;
    if (!FBitmap.Allocate(Width, Height, format)) {
        FProgress.Abort();
        return false;
    }
    TVLMask* mask = nullptr;
    if (!FIgnoreAlpha && FParams.GifTransparent) {
        if (FAlphaMask == nullptr) FAlphaMask = std::make_unique<TVLMask>();
        if (!FAlphaMask->AllocateBits(Width, Height, 8)) {
            FAlphaMask.reset();
            FProgress.Abort();
            return false;
        }
        FAlphaMask->Fill(255);
        mask = FAlphaMask.get();
    }
    if (format == vl8p) {
        for (int32_t i = 0; i < 256; ++i)
            FBitmap.SetPaletteColor(i, Table[i]);
        FBitmap.PaletteUsed = 1 << Bits;
    }
    const uint8_t transparent = FControl[3];
    for (int32_t y = 0; y < Height; ++y) {
        const uint8_t* src = indexes.get() + int64_t{y} * Width;
        uint8_t* row = FBitmap.GetScanline(y);
        if (row == nullptr) {
            FProgress.Abort();
            return false;
        }
        if (format == vl1g) std::memset(row, 0, static_cast<size_t>((Width + 7) / 8));
        for (int32_t x = 0; x < Width; ++x) {
            const uint8_t index = src[x];
            if (format == vl8p) {
                row[x] = index;
            } else if (format == vl24RGB) {
                std::memcpy(row + 3 * x, &Table[index], 3);
            } else if (index == 1) {
                row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
            if (mask != nullptr && index == transparent) mask->SetPixel(x, y, 0);
        }
    }
    if (mask != nullptr) {
        mask->SyncFull();
        if (mask->Full) FAlphaMask.reset();
    }
    return true;
}

int32_t TGifReader::Read() {
    FProgress.ReportPercent(0);
    if (Aborting()) return 0;
    FSize = FStream.GetSize();
    if (!ReadHeader() || AtEnd()) {
        FProgress.Abort();
        return 0;
    }
    bool going = true;
    while (going && !Aborting()) {
        switch (NextByte()) {
        case -1:
        case Trailer:
            going = false;
            break;
        case ExtensionIntroducer:
            ReadExtension();
            break;
        case ImageSeparator:
            going = ReadImage();
            ++FFrameCount;
            break;
        default:
            break;
        }
    }
    FParams.SetImageCount(FFrameCount);
    if (!Aborting()) FProgress.ReportPercent(100);
    return FFrameCount;
}

// ---- Writing --------------------------------------------------------------------------------

class TGifWriter {
public:
    TGifWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress)
        : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress) {}

    void Write();

private:
    void Out(const void* Data, size_t Count) {
        SafeStreamWrite(FStream, FAborting, Data, static_cast<int32_t>(Count));
        if (FAborting) FProgress.Abort();
    }
    void Byte(uint8_t B) { Out(&B, 1); }
    // The image the indexes come from, and the palette.
    TVLBitmap& WorkingImage();
    void MakeIndexes(TVLBitmap& Image);
    int32_t MatchColour(const TVLRGB& Colour) const;
    void WriteHeaderAndTable(TVLBitmap& Image);
    void WriteComments();

    TStream& FStream;
    TVLBitmap& FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    bool FAborting = false;

    int32_t FBits = 8;
    int32_t FColours = 256;
    bool FAlpha = false;
    // The indexes come from a 24-bit image through the quantizer.
    bool FWorking24 = false;
    std::unique_ptr<TVLBitmap> FCopy;
    std::unique_ptr<TVLQuantizer> FQuantizer;
    TTable FPalette{};
    std::vector<uint8_t> FIndexes;
};

// Every index of a vl8p bitmap is below Count.
bool IndexesBelow(TVLBitmap& Bitmap, int32_t Count) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
            if (row[x] >= Count) return false;
    }
    return true;
}

TVLBitmap& TGifWriter::WorkingImage() {
    const TVLPixelFormat format = FBitmap.GetPixelFormat();
    if (FBits == 1) {
        FPalette[0] = TVLRGB{0, 0, 0};
        FPalette[1] = TVLRGB{255, 255, 255};
        if (format == vl1g) return FBitmap;
        FCopy = TryMakeTwoColorBitmap(FBitmap, FPalette[0], FPalette[1]);
        if (FCopy != nullptr) return *FCopy;
        FPalette[0] = TVLRGB{0, 0, 0};
        FPalette[1] = TVLRGB{255, 255, 255};
        FCopy = std::make_unique<TVLBitmap>(FBitmap.GetWidth(), FBitmap.GetHeight(), vl1g);
        FCopy->DefaultDitherMethod = FBitmap.DefaultDitherMethod;
        FCopy->ConvertFrom(FBitmap);
        return *FCopy;
    }
    // A palette image keeps its indexes only when they all fit below the colours written and no
    // alpha takes an index of its own; anything else is quantized from 24 bits.
    if (format == vl24RGB || (format == vl8p && !FAlpha && IndexesBelow(FBitmap, FColours)))
        return FBitmap;
    FCopy = std::make_unique<TVLBitmap>();
    FCopy->Assign(&FBitmap);
    FCopy->SetPixelFormat(vl24RGB);
    return *FCopy;
}

void TGifWriter::MakeIndexes(TVLBitmap& Image) {
    const int32_t w = Image.GetWidth(), h = Image.GetHeight();
    FIndexes.assign(static_cast<size_t>(int64_t{w} * h), 0);
    if (Image.GetPixelFormat() == vl1g) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = Image.GetScanline(y);
            for (int32_t x = 0; x < w; ++x)
                FIndexes[static_cast<size_t>(int64_t{y} * w + x)] =
                    (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        return;
    }
    FQuantizer = std::make_unique<TVLQuantizer>(Image, std::span<TVLRGB>(FPalette), FColours);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* dst = FIndexes.data() + int64_t{y} * w;
        const uint8_t* row = Image.GetScanline(y);
        if (Image.GetPixelFormat() == vl8p)
            std::memcpy(dst, row, static_cast<size_t>(w));
        else
            FQuantizer->RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(row), dst, w);
        for (int32_t x = 0; FAlpha && x < w; ++x)
            if (FBitmap.GetAlphaPixel(x, y) < 255) dst[x] = static_cast<uint8_t>(FColours);
    }
}

int32_t TGifWriter::MatchColour(const TVLRGB& Colour) const {
    if (FQuantizer != nullptr && FWorking24) return FQuantizer->RGBToIndex(Colour);
    return NearestPaletteIndex(FPalette.data(), FColours,
                               (Colour.r << 16) | (Colour.g << 8) | Colour.b);
}

void TGifWriter::WriteHeaderAndTable(TVLBitmap& Image) {
    uint8_t h[13] = {};
    AnsiString version = FParams.GifVersion.substr(0, 6);
    if (version.size() < 6) version += AnsiString("GIF89a").substr(version.size());
    std::memcpy(h, version.data(), 6);
    Put16(h + 6, Image.GetWidth());
    Put16(h + 8, Image.GetHeight());
    h[10] = static_cast<uint8_t>(0x80 | ((FBits - 1) << 4) | (FBits - 1));
    h[11] = static_cast<uint8_t>(MatchColour(FParams.GifBackground));
    Out(h, 13);
    const int32_t entries = 1 << FBits;
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 3);
    for (int32_t i = 0; i < entries; ++i) {
        table[3 * i] = FPalette[i].r;
        table[3 * i + 1] = FPalette[i].g;
        table[3 * i + 2] = FPalette[i].b;
    }
    Out(table.data(), table.size());
}

// One sub-block of at most 255 bytes per piece of each non-empty line.
void TGifWriter::WriteComments() {
    const uint8_t start[2] = {ExtensionIntroducer, CommentLabel};
    Out(start, 2);
    for (int32_t i = 0; i < FParams.GifComments.Count(); ++i) {
        const AnsiString bytes = Windows1252FromStr(FParams.GifComments[i]);
        for (size_t at = 0; at < bytes.size(); at += 255) {
            const size_t n = std::min<size_t>(255, bytes.size() - at);
            Byte(static_cast<uint8_t>(n));
            Out(bytes.data() + at, n);
        }
    }
    Byte(0);
}

void TGifWriter::Write() {
    FProgress.ReportPercent(0);
    if (FProgress.Aborting()) return;
    const int32_t w = FBitmap.GetWidth(), h = FBitmap.GetHeight();
    if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF) {
        FProgress.Abort();
        return;
    }
    FAlpha = FBitmap.HasAlphaChannel();
    FBits = FParams.BitsPerSample >= 1 && FParams.BitsPerSample <= 8 ? FParams.BitsPerSample : 8;
    // Two colours leave no room for a transparent index of its own.
    if (FAlpha) FBits = std::max(FBits, 2);
    FColours = 1 << FBits;
    if (FAlpha) {
        --FColours;
        FParams.GifTransparent = true;
    }
    TVLBitmap& image = WorkingImage();
    FWorking24 = image.GetPixelFormat() == vl24RGB;
    MakeIndexes(image);
    const int32_t transparent = FAlpha ? FColours : MatchColour(FParams.GifTransparentColor);
    if (FAlpha) FPalette[FColours] = FParams.GifTransparentColor;
    FProgress.ReportPercent(30);
    if (FProgress.Aborting()) return;

    WriteHeaderAndTable(image);
    const uint8_t control[8] = {
        ExtensionIntroducer,
        GraphicControlLabel,
        4,
        static_cast<uint8_t>((FParams.GifTransparent ? 1 : 0) | ((FParams.GifDisposal & 7) << 2)),
        static_cast<uint8_t>(FParams.GifDelayTime),
        static_cast<uint8_t>(FParams.GifDelayTime >> 8),
        static_cast<uint8_t>(transparent),
        0};
    Out(control, sizeof control);
    uint8_t descriptor[10] = {ImageSeparator};
    Put16(descriptor + 1, FParams.GifXPos);
    Put16(descriptor + 3, FParams.GifYPos);
    Put16(descriptor + 5, w);
    Put16(descriptor + 7, h);
    descriptor[9] = FParams.GifInterlaced ? 0x40 : 0;
    Out(descriptor, sizeof descriptor);
    FProgress.ReportPercent(70);
    if (FProgress.Aborting()) return;

    const TVLGIFLZWEncoder encoder =
        FParams.GifLZWCompress != nullptr ? FParams.GifLZWCompress : DefaultGifLZWCompress;
    if (encoder == nullptr) {
        FProgress.Abort();
        return;
    }
    encoder(FStream, h, w, FParams.GifInterlaced, FIndexes.data(), FBits);
    WriteComments();
    Byte(Trailer);
    if (!FProgress.Aborting()) FProgress.ReportPercent(100);
}

} // namespace

void ReadGIFStream(TStream& Stream, TVLBitmap& Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha) {
    FrameCount =
        TGifReader(Stream, Bitmap, Params, Progress, ParamsOnly, AlphaMask, IgnoreAlpha).Read();
}

void WriteGIFStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress) {
    TGifWriter(Stream, Bitmap, Params, Progress).Write();
}
