// The PSD reader. Every section, record, channel and row is bounded by the section that holds it
// and by the bytes left; declared sizes are checked in 64 bits before anything is allocated.
#include "imaging/formats/VLPsdReader.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLICC.h"
#include "imaging/core/VLStreams.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/view/VLLayer.h"

#include <algorithm>
#include <cstring>

using enum TVLPixelFormat;

namespace {

constexpr int32_t HeaderSize = 26;
constexpr int32_t ReadBufferSize = 65536;
constexpr int32_t PaletteSize = 768;
constexpr int32_t ThumbnailHeaderSize = 28;
constexpr int32_t PsdDefaultDpi = 96;

uint16_t Big16(const uint8_t* P) {
    return static_cast<uint16_t>((P[0] << 8) | P[1]);
}

uint32_t Big32(const uint8_t* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

struct TPsdHeader {
    int32_t Channels = 0;
    int64_t Height = 0;
    int64_t Width = 0;
    int32_t Depth = 0;
    int32_t Mode = 0;
};

bool ParseHeader(const uint8_t* H, TPsdHeader& Header) {
    if (std::memcmp(H, "8BPS", 4) != 0 || Big16(H + 4) != 1) return false;
    Header.Channels = Big16(H + 12);
    Header.Height = Big32(H + 14);
    Header.Width = Big32(H + 18);
    Header.Depth = Big16(H + 22);
    Header.Mode = Big16(H + 24);
    return Header.Channels >= 1 && Header.Channels <= 24 && Header.Depth >= 1 &&
           Header.Depth <= 16 && Header.Mode <= 9;
}

// The bitmap format of a depth and colour mode; vlNone when the reader cannot place it.
TVLPixelFormat TargetFormat(int32_t Depth, int32_t Mode) {
    if (Depth == 1) return Mode == 0 ? vl1g : vlNone;
    if (Depth != 8 && Depth != 16) return vlNone;
    switch (Mode) {
    case 1:
    case 8:
        return Depth == 8 ? vl8g : vl16g;
    case 2:
        return Depth == 8 ? vl8p : vlNone;
    case 3:
        return Depth == 8 ? vl24RGB : vlRGB48;
    case 4:
        return vlCMYK;
    case 9:
        return vlCIELab;
    default:
        return vlNone;
    }
}

int32_t ColourChannels(TVLPixelFormat Format) {
    switch (Format) {
    case vl24RGB:
    case vlRGB48:
    case vlCIELab:
        return 3;
    case vlCMYK:
        return 4;
    default:
        return 1;
    }
}

// Bytes of one stored row of a channel.
int64_t RowBytesOf(int64_t Width, int32_t Depth) {
    return (Width * Depth + 7) / 8;
}

// PackBits: a header byte n of 0..127 copies n + 1 bytes, -127..-1 repeats the next byte 1 - n
// times, -128 is skipped. Output beyond the row is dropped; what the data does not reach stays.
void UnpackBits(const uint8_t* Src, size_t Count, uint8_t* Dst, size_t RowBytes) {
    size_t i = 0, o = 0;
    while (i < Count && o < RowBytes) {
        const auto n = static_cast<int8_t>(Src[i++]);
        if (n >= 0) {
            const size_t run = std::min({static_cast<size_t>(n) + 1, Count - i, RowBytes - o});
            std::memcpy(Dst + o, Src + i, run);
            i += static_cast<size_t>(n) + 1;
            o += run;
        } else if (n != -128) {
            if (i >= Count) break;
            const size_t run = std::min(static_cast<size_t>(1 - n), RowBytes - o);
            std::memset(Dst + o, Src[i++], run);
            o += run;
        }
    }
}

// Big-endian reads that remember whether the data ended early; a short read gives zeros.
class TPsdInput {
public:
    explicit TPsdInput(TStream& Stream) : FStream(Stream), FSize(Stream.GetSize()) {}
    bool Bytes(void* Buffer, int64_t Count) {
        const int64_t got = Count > 0 ? ReadUpTo(FStream, Buffer, Count) : 0;
        if (got == Count) return true;
        std::memset(static_cast<uint8_t*>(Buffer) + std::max<int64_t>(got, 0), 0,
                    static_cast<size_t>(Count - std::max<int64_t>(got, 0)));
        FShort = true;
        return false;
    }
    uint8_t U8() {
        uint8_t b[1];
        Bytes(b, 1);
        return b[0];
    }
    uint16_t U16() {
        uint8_t b[2];
        Bytes(b, 2);
        return Big16(b);
    }
    uint32_t U32() {
        uint8_t b[4];
        Bytes(b, 4);
        return Big32(b);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t Position() { return FStream.GetPosition(); }
    void Seek(int64_t Position) { FStream.SetPosition(std::clamp<int64_t>(Position, 0, FSize)); }
    int64_t Size() const { return FSize; }
    int64_t Left() { return std::max<int64_t>(0, FSize - Position()); }
    // A section of Length bytes from here ends at the earlier of its end and the data's.
    int64_t SectionEnd(int64_t Length) { return Position() + std::min(Length, Left()); }
    bool Short() const { return FShort; }

private:
    TStream& FStream;
    int64_t FSize;
    bool FShort = false;
};

struct TChannelInfo {
    int32_t Id = 0;
    int64_t Length = 0;
};

struct TLayerRecord {
    int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
    std::vector<TChannelInfo> Channels;
    int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
    int64_t Width() const { return int64_t{Right} - Left; }
    int64_t Height() const { return int64_t{Bottom} - Top; }
    int64_t MaskWidth() const { return int64_t{MaskRight} - MaskLeft; }
    int64_t MaskHeight() const { return int64_t{MaskBottom} - MaskTop; }
};

// Where a channel goes: the bitmap it fills, its size and how its samples are placed.
struct TChannelTarget {
    TVLBitmap* Bitmap = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    TVLPixelFormat Format = vlNone;
    // Samples of the stored rows: the document's depth, 8 or 16 for a user mask.
    int32_t Depth = 8;
    bool Mask = false;
    // The merged picture: an indexed one takes its alpha from the transparent index, a layer
    // from its transparency channel.
    bool Merged = false;
};

class TPsdReader {
public:
    TPsdReader(TStream& Stream, TIOParamsVals& Params, TVLProgressRecord& Progress)
        : FIn(Stream), FParams(Params), FProgress(Progress) {}

    void Read(TVLBitmap* Bitmap, bool LoadLayers, std::vector<std::unique_ptr<TVLLayer>>* Layers);

private:
    bool Fail() {
        FFailed = true;
        FProgress.Abort();
        return false;
    }
    bool Stopped() const { return FFailed || FProgress.Aborting(); }

    bool ReadHeader();
    void ReadColourModeData();
    void ReadResources();
    void HandleResource(int32_t Id, std::vector<uint8_t>& Data);
    void ReadThumbnail(const std::vector<uint8_t>& Data);
    void ReadLayerSection();
    bool ReadLayerRecord(int64_t InfoEnd, TLayerRecord& Record);
    void ReadLayerChannels(const std::vector<TLayerRecord>& Records, int64_t InfoEnd);
    void RemoveEmptyLayers();
    void ReadComposite();
    void FinishFormats();

    bool Prepare(const TChannelTarget& Target, int64_t InputBytes, int64_t Channels,
                 int64_t Expansion, bool Alpha);
    void ReadLayerChannel(const TChannelTarget& Target, int32_t Id, int64_t End);
    // Reads Target.Height rows of channel Id; Counts holds the packed size of each row (nil for
    // stored rows).
    void ReadRows(const TChannelTarget& Target, int32_t Id, const uint16_t* Counts);
    void PlaceRow(const TChannelTarget& Target, int32_t Id, int32_t Y, const uint8_t* Row);
    bool Places(TVLPixelFormat Format, int32_t Id) const;

    TPsdInput FIn;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    TPsdHeader FHeader;
    TVLPixelFormat FFormat = vlNone;
    std::vector<uint8_t> FPalette;
    int32_t FTransparentIndex = -1;
    std::vector<std::unique_ptr<TVLLayer>>* FLayers = nullptr;
    bool FLoadLayers = false;
    TVLBitmap* FBitmap = nullptr;
    bool FThumbnailLoaded = false;
    bool FFailed = false;
    std::vector<uint8_t> FPacked;
    std::vector<uint8_t> FRow;
};

bool TPsdReader::ReadHeader() {
    uint8_t h[HeaderSize];
    if (!FIn.Bytes(h, HeaderSize) || !ParseHeader(h, FHeader) || FHeader.Width > INT32_MAX ||
        FHeader.Height > INT32_MAX)
        return Fail();
    FFormat = TargetFormat(FHeader.Depth, FHeader.Mode);
    FParams.Width = FParams.OriginalWidth = static_cast<int32_t>(FHeader.Width);
    FParams.Height = FParams.OriginalHeight = static_cast<int32_t>(FHeader.Height);
    FParams.BitsPerSample = FHeader.Depth;
    FParams.SamplesPerPixel = FHeader.Channels;
    FParams.SetDpiX(PsdDefaultDpi);
    FParams.SetDpiY(PsdDefaultDpi);
    return true;
}

void TPsdReader::ReadColourModeData() {
    const int64_t end = FIn.SectionEnd(FIn.U32());
    if (end - FIn.Position() == PaletteSize) {
        FPalette.resize(PaletteSize);
        FIn.Bytes(FPalette.data(), PaletteSize);
    }
    FIn.Seek(end);
}

void TPsdReader::ReadResources() {
    const int64_t end = FIn.SectionEnd(FIn.U32());
    std::vector<uint8_t> data;
    while (!FIn.Short()) {
        if ((FIn.Position() & 1) != 0) FIn.Seek(FIn.Position() + 1);
        // Signature, id, an empty name and the size.
        if (end - FIn.Position() < 12) break;
        uint8_t signature[4];
        FIn.Bytes(signature, 4);
        if (std::memcmp(signature, "8BIM", 4) != 0) break;
        const int32_t id = FIn.U16();
        // The name's length byte and text, padded to an even size.
        const int32_t nameLength = FIn.U8();
        FIn.Seek(FIn.Position() + nameLength + ((nameLength & 1) == 0 ? 1 : 0));
        const int64_t size = FIn.U32();
        if (size > end - FIn.Position()) break;
        data.resize(static_cast<size_t>(size));
        if (!FIn.Bytes(data.data(), size)) break;
        if (size > 0) HandleResource(id, data);
    }
    FIn.Seek(end);
}

void TPsdReader::HandleResource(int32_t Id, std::vector<uint8_t>& Data) {
    const auto size = static_cast<int32_t>(Data.size());
    switch (Id) {
    case 1005:
        if (size >= 16) {
            // 16.16 fixed-point pixels per inch; the unit fields only say how it is shown.
            FParams.SetDpiX(static_cast<int32_t>(Big32(Data.data())) / 65536);
            FParams.SetDpiY(static_cast<int32_t>(Big32(Data.data() + 8)) / 65536);
        }
        break;
    case 1028:
        FParams.IPTCInfo.LoadFromBuffer(Data.data(), size);
        break;
    case 1036:
        ReadThumbnail(Data);
        break;
    case 1039:
        FParams.GetEmbeddedICCProfile()->LoadFromBuffer(Data.data(), size);
        break;
    case 1047:
        if (size >= 2) FTransparentIndex = Big16(Data.data());
        break;
    case 1060:
        FParams.XmpInfo.assign(Data.begin(), Data.end());
        break;
    default:
        break;
    }
}

// A JPEG after a 28-byte header; one that does not decode leaves the thumbnail empty.
void TPsdReader::ReadThumbnail(const std::vector<uint8_t>& Data) {
    if (FParams.ExifThumbnail == nullptr) FParams.ExifThumbnail = std::make_unique<TVLBitmap>();
    TVLBitmap& thumbnail = *FParams.ExifThumbnail;
    thumbnail.FreeImage(true);
    if (Data.size() <= ThumbnailHeaderSize) return;
    TVLMemStream jpeg(const_cast<uint8_t*>(Data.data()) + ThumbnailHeaderSize,
                      static_cast<int64_t>(Data.size()) - ThumbnailHeaderSize);
    TIOParamsVals params;
    bool aborting = false;
    TVLProgressRecord quiet;
    quiet.AbortFlag = &aborting;
    try {
        ReadJPEGStream(jpeg, nullptr, thumbnail, params, quiet, false, false, false, false, true,
                       true, -1, FParams.NativePixelFormat);
    } catch (const std::exception&) {
        aborting = true;
    }
    if (aborting) {
        thumbnail.FreeImage(true);
        return;
    }
    if (FParams.LoadThumbnail && FBitmap != nullptr && !thumbnail.IsEmpty()) {
        FBitmap->Assign(&thumbnail);
        FLoadLayers = false;
        FThumbnailLoaded = true;
    }
}

bool TPsdReader::ReadLayerRecord(int64_t InfoEnd, TLayerRecord& Record) {
    Record.Top = FIn.I32();
    Record.Left = FIn.I32();
    Record.Bottom = FIn.I32();
    Record.Right = FIn.I32();
    const int32_t channels = FIn.U16();
    if (int64_t{channels} * 6 > InfoEnd - FIn.Position()) return false;
    Record.Channels.resize(static_cast<size_t>(channels));
    for (TChannelInfo& channel : Record.Channels) {
        channel.Id = static_cast<int16_t>(FIn.U16());
        channel.Length = FIn.U32();
    }
    uint8_t blend[12];
    FIn.Bytes(blend, sizeof(blend));
    const uint8_t opacity = blend[8], clipping = blend[9], flags = blend[10];
    const int64_t extraLength = FIn.U32();
    const int64_t extraStart = FIn.Position();
    if (FIn.Short() || extraLength > InfoEnd - extraStart) return false;
    const int64_t extraEnd = extraStart + extraLength;

    const int64_t maskLength = FIn.U32();
    const int64_t maskStart = FIn.Position();
    if (maskLength > extraEnd - maskStart) return false;
    if (maskLength >= 16) {
        Record.MaskTop = FIn.I32();
        Record.MaskLeft = FIn.I32();
        Record.MaskBottom = FIn.I32();
        Record.MaskRight = FIn.I32();
    }
    FIn.Seek(maskStart + maskLength);
    const int64_t blendingLength = FIn.U32();
    if (blendingLength > extraEnd - FIn.Position()) return false;
    FIn.Seek(FIn.Position() + blendingLength);
    AnsiString name;
    if (extraEnd > FIn.Position()) {
        const int64_t length = std::min<int64_t>(FIn.U8(), extraEnd - FIn.Position());
        name.resize(static_cast<size_t>(length));
        FIn.Bytes(name.data(), length);
    }
    FIn.Seek(extraEnd);
    if (FIn.Short()) return false;

    auto layer = std::make_unique<TVLLayer>(nullptr, nullptr);
    layer->PosX = Record.Left;
    layer->PosY = Record.Top;
    layer->Transparency = opacity;
    layer->Name = name;
    layer->Visible = (flags & 2) == 0;
    layer->Cropped = clipping == 0;
    FLayers->push_back(std::move(layer));
    return true;
}

void TPsdReader::ReadLayerSection() {
    const int64_t sectionEnd = FIn.SectionEnd(FIn.U32());
    if (sectionEnd <= FIn.Position()) return;
    const int64_t infoLength = FIn.U32();
    const int64_t infoStart = FIn.Position();
    const int64_t infoEnd = std::min(infoStart + infoLength, sectionEnd);
    const int32_t count = std::abs(static_cast<int32_t>(static_cast<int16_t>(FIn.U16())));
    if (FLayers == nullptr || (count > 1 && !FLoadLayers) || infoLength == 0) {
        FIn.Seek(sectionEnd);
        return;
    }
    std::vector<TLayerRecord> records;
    for (int32_t i = 0; i < count; ++i) {
        TLayerRecord record;
        if (!ReadLayerRecord(infoEnd, record)) {
            Fail();
            return;
        }
        records.push_back(std::move(record));
    }
    ReadLayerChannels(records, infoEnd);
    // The global layer-mask information after the layer info says nothing the reader keeps.
    FIn.Seek(sectionEnd);
}

// Every layer's channels follow the records, each taking the length its record declares, so
// a channel that is not placed is skipped by that length.
void TPsdReader::ReadLayerChannels(const std::vector<TLayerRecord>& Records, int64_t InfoEnd) {
    const size_t first = FLayers->size() - Records.size();
    size_t index = first;
    const auto count = static_cast<int32_t>(Records.size());
    for (int32_t i = 0; i < count && !Stopped(); ++i) {
        const TLayerRecord& record = Records[static_cast<size_t>(i)];
        TVLLayer* layer = (*FLayers)[index].get();
        TVLLayer* mask = nullptr;
        for (const TChannelInfo& channel : record.Channels) {
            const int64_t start = FIn.Position();
            const int64_t end = std::min(start + channel.Length, InfoEnd);
            if (channel.Id == -2 && mask == nullptr) {
                auto made = std::make_unique<TVLLayer>(nullptr, nullptr);
                made->PosX = record.MaskLeft;
                made->PosY = record.MaskTop;
                made->IsMask = true;
                made->Visible = false;
                mask = made.get();
                FLayers->insert(FLayers->begin() + static_cast<ptrdiff_t>(index) + 1,
                                std::move(made));
            }
            const bool user = channel.Id == -2;
            const int64_t w = user ? record.MaskWidth() : record.Width();
            const int64_t h = user ? record.MaskHeight() : record.Height();
            if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
                TChannelTarget target;
                target.Bitmap = user ? mask->Bitmap() : layer->Bitmap();
                target.Width = static_cast<int32_t>(w);
                target.Height = static_cast<int32_t>(h);
                target.Format = user ? vl8g : FFormat;
                target.Depth = user && FHeader.Depth != 16 ? 8 : FHeader.Depth;
                target.Mask = user;
                int64_t input = 0;
                for (const TChannelInfo& c : record.Channels)
                    if ((c.Id == -2) == user) input += c.Length;
                const bool alpha =
                    !user && std::any_of(record.Channels.begin(), record.Channels.end(),
                                         [](const TChannelInfo& C) { return C.Id == -1; });
                if (!Prepare(target, std::min(input, InfoEnd - start),
                             user ? 1 : ColourChannels(FFormat), ExpansionPackBits, alpha))
                    return;
                ReadLayerChannel(target, channel.Id, end);
                if (Stopped()) return;
            }
            FIn.Seek(end);
        }
        index += mask != nullptr ? 2 : 1;
        FProgress.ReportPercent(static_cast<int32_t>(int64_t{i} * 100 / count));
    }
}

void TPsdReader::RemoveEmptyLayers() {
    auto& layers = *FLayers;
    for (size_t i = 0; i < layers.size();) {
        if (!layers[i]->Bitmap()->IsEmpty()) {
            ++i;
            continue;
        }
        const size_t removed = i + 1 < layers.size() && layers[i + 1]->IsMask ? 2 : 1;
        layers.erase(layers.begin() + static_cast<ptrdiff_t>(i),
                     layers.begin() + static_cast<ptrdiff_t>(i + removed));
    }
}

// The target allocated in its format, after the declared size was weighed against the coded
// input that is to fill it; false (abort flag set) when it cannot be. A layer's later channels
// find its bitmap prepared and keep what the earlier ones placed; the merged picture is always
// prepared afresh, since the caller's bitmap may hold a picture of the same size and format.
bool TPsdReader::Prepare(const TChannelTarget& Target, int64_t InputBytes, int64_t Channels,
                         int64_t Expansion, bool Alpha) {
    TVLBitmap& bitmap = *Target.Bitmap;
    if (!Target.Merged && bitmap.GetWidth() == Target.Width &&
        bitmap.GetHeight() == Target.Height && bitmap.GetPixelFormat() == Target.Format)
        return true;
    const int64_t output = RowBytesOf(Target.Width, Target.Depth) * Target.Height * Channels;
    if (!IsPlausibleDeclaredSize(
            PlannedBitmapBytes(Target.Width, Target.Height, Target.Format, Alpha), output,
            Expansion, InputBytes) ||
        !bitmap.Allocate(Target.Width, Target.Height, Target.Format))
        return Fail();
    bitmap.Fill(0);
    // Allocate keeps a bitmap of the same size and format, alpha channel included.
    if (!Alpha && bitmap.HasAlphaChannel()) bitmap.RemoveAlphaChannel(false, 0);
    if (Target.Format == vl8p) {
        for (int32_t i = 0; i < 256; ++i) {
            // Without a palette in the file the indexes read as grey levels.
            const auto level = static_cast<uint8_t>(i);
            TVLRGB colour{level, level, level};
            if (!FPalette.empty())
                colour = TVLRGB{FPalette[512 + i], FPalette[256 + i], FPalette[i]};
            bitmap.SetPaletteColor(i, colour);
        }
    }
    return true;
}

void TPsdReader::ReadLayerChannel(const TChannelTarget& Target, int32_t Id, int64_t End) {
    const int32_t compression = FIn.U16();
    if (compression > 1 || (!Places(Target.Format, Id) && !Target.Mask)) return;
    if (compression == 0) {
        ReadRows(Target, Id, nullptr);
        return;
    }
    if (int64_t{Target.Height} * 2 > End - FIn.Position()) {
        Fail();
        return;
    }
    std::vector<uint8_t> table(static_cast<size_t>(Target.Height) * 2);
    FIn.Bytes(table.data(), static_cast<int64_t>(table.size()));
    std::vector<uint16_t> counts(static_cast<size_t>(Target.Height));
    for (size_t y = 0; y < counts.size(); ++y)
        counts[y] = Big16(table.data() + y * 2);
    ReadRows(Target, Id, counts.data());
}

bool TPsdReader::Places(TVLPixelFormat Format, int32_t Id) const {
    const int32_t colours = ColourChannels(Format);
    if (Id >= 0 && Id < colours) return true;
    // An indexed picture's alpha comes from its transparent index, an indexed layer's from its
    // transparency channel.
    if (Format == vl8p) return Id == -1;
    return (Id == -1 || Id == colours) && Format != vl1g;
}

void TPsdReader::ReadRows(const TChannelTarget& Target, int32_t Id, const uint16_t* Counts) {
    const auto rowBytes = static_cast<size_t>(RowBytesOf(Target.Width, Target.Depth));
    FRow.resize(rowBytes);
    for (int32_t y = 0; y < Target.Height; ++y) {
        if (Counts == nullptr) {
            if (!FIn.Bytes(FRow.data(), static_cast<int64_t>(rowBytes))) {
                Fail();
                return;
            }
        } else {
            const uint16_t count = Counts[y];
            FPacked.resize(count);
            if (!FIn.Bytes(FPacked.data(), count)) {
                Fail();
                return;
            }
            std::memset(FRow.data(), 0, rowBytes);
            UnpackBits(FPacked.data(), count, FRow.data(), rowBytes);
        }
        PlaceRow(Target, Id, y, FRow.data());
    }
}

void TPsdReader::PlaceRow(const TChannelTarget& Target, int32_t Id, int32_t Y, const uint8_t* Row) {
    TVLBitmap& bitmap = *Target.Bitmap;
    const int32_t w = Target.Width;
    const bool wide = Target.Depth == 16;
    // The high byte of a 16-bit sample.
    const size_t step = wide ? 2 : 1;
    if (Target.Mask) {
        uint8_t* dst = bitmap.GetScanline(Y);
        for (int32_t x = 0; x < w; ++x)
            dst[x] = Row[x * step];
        return;
    }
    const int32_t colours = ColourChannels(Target.Format);
    if (Id == -1 || (Id == colours && Target.Format != vl8p)) {
        uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(Y);
        for (int32_t x = 0; x < w; ++x)
            alpha[x] = Row[x * step];
        return;
    }
    uint8_t* dst = bitmap.GetScanline(Y);
    switch (Target.Format) {
    case vl1g: {
        const int64_t bytes = RowBytesOf(w, 1);
        for (int64_t i = 0; i < bytes; ++i)
            dst[i] = static_cast<uint8_t>(~Row[i]);
        break;
    }
    case vl8p:
        std::memcpy(dst, Row, static_cast<size_t>(w));
        if (Target.Merged && FTransparentIndex >= 0) {
            uint8_t* alpha = bitmap.GetAlphaChannel()->GetScanline(Y);
            for (int32_t x = 0; x < w; ++x)
                alpha[x] = Row[x] == FTransparentIndex ? 0 : 255;
        }
        break;
    case vl8g:
        std::memcpy(dst, Row, static_cast<size_t>(w));
        break;
    case vl24RGB:
        for (int32_t x = 0; x < w; ++x)
            dst[x * 3 + 2 - Id] = Row[x];
        break;
    case vlCMYK:
        for (int32_t x = 0; x < w; ++x)
            dst[x * 4 + Id] = Row[x * step];
        break;
    case vlCIELab: {
        // a and b are stored with 128 added; the bitmap keeps them signed.
        const uint8_t offset = Id == 0 ? 0 : 128;
        for (int32_t x = 0; x < w; ++x)
            dst[x * 3 + Id] = static_cast<uint8_t>(Row[x * step] - offset);
        break;
    }
    case vl16g: {
        auto* words = reinterpret_cast<uint16_t*>(dst);
        for (int32_t x = 0; x < w; ++x)
            words[x] = Big16(Row + x * 2);
        break;
    }
    case vlRGB48: {
        auto* words = reinterpret_cast<uint16_t*>(dst);
        for (int32_t x = 0; x < w; ++x)
            words[x * 3 + Id] = Big16(Row + x * 2);
        break;
    }
    default:
        break;
    }
}

void TPsdReader::ReadComposite() {
    const int32_t compression = FIn.U16();
    const int64_t rows = FHeader.Height * FHeader.Channels;
    if (compression > 1 || (compression == 1 && rows * 2 > FIn.Left())) {
        Fail();
        return;
    }
    std::vector<uint16_t> counts;
    if (compression == 1) {
        std::vector<uint8_t> table(static_cast<size_t>(rows) * 2);
        FIn.Bytes(table.data(), static_cast<int64_t>(table.size()));
        counts.resize(static_cast<size_t>(rows));
        for (size_t i = 0; i < counts.size(); ++i)
            counts[i] = Big16(table.data() + i * 2);
    }
    TChannelTarget target;
    target.Bitmap = FBitmap;
    target.Width = static_cast<int32_t>(FHeader.Width);
    target.Height = static_cast<int32_t>(FHeader.Height);
    target.Format = FFormat;
    target.Depth = FHeader.Depth;
    target.Merged = true;
    // Alpha from the transparent index of an indexed picture, else from the channel after the
    // colours; bitmap mode has none.
    const bool alpha = FFormat == vl8p
                           ? FTransparentIndex >= 0
                           : FFormat != vl1g && FHeader.Channels > ColourChannels(FFormat);
    if (!Prepare(target, FIn.Left(), FHeader.Channels,
                 compression == 1 ? ExpansionPackBits : ExpansionUncompressed, alpha))
        return;
    const int64_t rowBytes = RowBytesOf(FHeader.Width, FHeader.Depth);
    for (int32_t c = 0; c < FHeader.Channels && !Stopped(); ++c) {
        const uint16_t* channelCounts =
            compression == 1 ? counts.data() + static_cast<size_t>(c) * target.Height : nullptr;
        if (Places(FFormat, c)) {
            ReadRows(target, c, channelCounts);
        } else {
            int64_t skipped = rowBytes * target.Height;
            if (channelCounts != nullptr) {
                skipped = 0;
                for (int32_t y = 0; y < target.Height; ++y)
                    skipped += channelCounts[y];
            }
            FIn.Seek(FIn.Position() + skipped);
        }
        FProgress.ReportPercent(static_cast<int32_t>(int64_t{c + 1} * 100 / FHeader.Channels));
    }
}

void TPsdReader::FinishFormats() {
    auto full = [](TVLBitmap& Bitmap) {
        if (Bitmap.HasAlphaChannel()) Bitmap.GetAlphaChannel()->SyncFull();
    };
    if (FLayers != nullptr)
        for (auto& layer : *FLayers) {
            TVLBitmap& bitmap = *layer->Bitmap();
            full(bitmap);
            if (!FParams.NativePixelFormat && !layer->IsMask && !bitmap.IsEmpty() &&
                bitmap.GetPixelFormat() != vl1g)
                bitmap.SetPixelFormat(vl24RGB);
        }
    if (FBitmap == nullptr || FThumbnailLoaded || FBitmap->IsEmpty()) return;
    full(*FBitmap);
    if (!FParams.NativePixelFormat && FBitmap->GetPixelFormat() != vl1g)
        FBitmap->SetPixelFormat(vl24RGB);
}

void TPsdReader::Read(TVLBitmap* Bitmap, bool LoadLayers,
                      std::vector<std::unique_ptr<TVLLayer>>* Layers) {
    FProgress.ReportPercent(0);
    if (!ReadHeader()) return;
    // A class-library bitmap cannot hold every format read: the picture is made in memory and
    // handed over at the end.
    std::unique_ptr<TVLBitmap> temporary;
    if (Bitmap != nullptr && Bitmap->GetLocation() == TVLLocation::vlTBitmap) {
        temporary = std::make_unique<TVLBitmap>();
        FBitmap = temporary.get();
    } else {
        FBitmap = Bitmap;
    }
    FLayers = Layers;
    FLoadLayers = LoadLayers;
    ReadColourModeData();
    ReadResources();
    if (FBitmap == nullptr && FLayers == nullptr) return;
    if (FFormat == vlNone) {
        Fail();
        return;
    }
    ReadLayerSection();
    if (FLayers != nullptr) RemoveEmptyLayers();
    const bool layersRead = FLoadLayers && FLayers != nullptr && !FLayers->empty();
    if (!Stopped() && FBitmap != nullptr && !layersRead && !FThumbnailLoaded) ReadComposite();
    FinishFormats();
    if (temporary != nullptr && !temporary->IsEmpty()) Bitmap->Assign(temporary.get());
}

} // namespace

bool IsPSDStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t h[HeaderSize];
    bool result = false;
    try {
        TPsdHeader header;
        result = ReadUpTo(Stream, h, HeaderSize) == HeaderSize && ParseHeader(h, header);
    } catch (...) {
        Stream.SetPosition(start);
        throw;
    }
    Stream.SetPosition(start);
    return result;
}

void ReadPSDStream(TStream& Stream, TVLBitmap* Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool LoadLayers,
                   std::vector<std::unique_ptr<TVLLayer>>* Layers) {
    const int64_t start = Stream.GetPosition();
    TVLBufferedReadStream buffered(Stream, ReadBufferSize, true);
    TPsdReader reader(buffered, Params, Progress);
    reader.Read(Bitmap, LoadLayers, Layers);
    Stream.SetPosition(start + buffered.GetPosition());
}
