// The PSD writer. Lengths are patched from 64-bit positions once what they cover is written;
// output goes through a buffer, so rows and small fields cost no call on the stream each.
#include "imaging/formats/VLPsdWriter.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLICC.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/proc/VistrelProc.h"
#include "imaging/view/VLLayer.h"

#include <algorithm>
#include <cstring>
#include <span>

using enum TVLPixelFormat;

namespace {

constexpr int32_t ThumbnailHeaderSize = 28;
constexpr size_t OutputBufferSize = 65536;
constexpr int64_t MaxPackedRow = 65535;
constexpr int32_t MaxLayerCount = 32767;
constexpr size_t MaxNameLength = 255;

// Colour mode, depth, colour channels and the pixel format layers take, of a merged picture.
struct TPsdMode {
    int32_t Mode = -1;
    int32_t Depth = 0;
    int32_t Channels = 0;
    TVLPixelFormat LayerFormat = vlNone;
};

TPsdMode ModeOf(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return {0, 1, 1, vl1g};
    case vl8p:
        return {2, 8, 1, vl8p};
    case vl8g:
        return {1, 8, 1, vl8g};
    case vl16g:
        return {1, 16, 1, vl16g};
    case vl24RGB:
    case vl32RGB:
        return {3, 8, 3, vl24RGB};
    case vlCMYK:
        return {4, 8, 4, vlCMYK};
    case vlRGB48:
        return {3, 16, 3, vlRGB48};
    case vlCIELab:
        return {9, 8, 3, vlCIELab};
    default:
        return {};
    }
}

size_t RowBytesOf(int32_t Width, int32_t Depth) {
    return (static_cast<size_t>(Width) * static_cast<size_t>(Depth) + 7) / 8;
}

// The stored samples of colour channel C of a row of Format.
void ExtractChannel(TVLPixelFormat Format, const uint8_t* Src, int32_t Width, int32_t C,
                    uint8_t* Dst) {
    switch (Format) {
    case vl1g:
        // A set bit is white in the bitmap, black in the file.
        for (size_t i = 0; i < RowBytesOf(Width, 1); ++i)
            Dst[i] = static_cast<uint8_t>(~Src[i]);
        break;
    case vl8p:
    case vl8g:
        std::memcpy(Dst, Src, static_cast<size_t>(Width));
        break;
    case vl24RGB:
        for (int32_t x = 0; x < Width; ++x)
            Dst[x] = Src[x * 3 + 2 - C];
        break;
    case vl32RGB:
        for (int32_t x = 0; x < Width; ++x)
            Dst[x] = Src[x * 4 + 2 - C];
        break;
    case vlCMYK:
        for (int32_t x = 0; x < Width; ++x)
            Dst[x] = Src[x * 4 + C];
        break;
    case vlCIELab: {
        // a and b are signed in the bitmap and stored with 128 added.
        const uint8_t offset = C == 0 ? 0 : 128;
        for (int32_t x = 0; x < Width; ++x)
            Dst[x] = static_cast<uint8_t>(Src[x * 3 + C] + offset);
        break;
    }
    case vl16g:
    case vlRGB48: {
        const auto* words = reinterpret_cast<const uint16_t*>(Src);
        const int32_t stride = Format == vl16g ? 1 : 3;
        for (int32_t x = 0; x < Width; ++x) {
            const uint16_t v = words[x * stride + C];
            Dst[x * 2] = static_cast<uint8_t>(v >> 8);
            Dst[x * 2 + 1] = static_cast<uint8_t>(v);
        }
        break;
    }
    default:
        break;
    }
}

// PackBits: runs of 4 to 128 equal bytes as (1 - length, byte), everything else as literals of
// at most 128 bytes (length - 1, bytes). Dst holds Count + Count / 128 + 1 bytes.
size_t PackBits(const uint8_t* Src, size_t Count, uint8_t* Dst) {
    size_t p = 0, s = 0, o = 0;
    auto flush = [&](size_t End) {
        const size_t k = End - s;
        if (k == 0) return;
        Dst[o++] = static_cast<uint8_t>(k - 1);
        std::memcpy(Dst + o, Src + s, k);
        o += k;
    };
    while (p < Count) {
        size_t r = 1;
        while (p + r < Count && r < 128 && Src[p + r] == Src[p])
            ++r;
        if (r >= 4) {
            flush(p);
            Dst[o++] = static_cast<uint8_t>(1 - static_cast<int32_t>(r));
            Dst[o++] = Src[p];
            p += r;
            s = p;
        } else if (p - s == 128) {
            flush(p);
            s = p;
        } else {
            ++p;
        }
    }
    flush(p);
    return o;
}

// Big-endian output through a buffer; positions count from where the document starts. A short
// write or a length the format cannot hold stops all further output and sets the abort flag.
class TPsdOutput {
public:
    TPsdOutput(TStream& Stream, TVLProgressRecord& Progress)
        : FStream(Stream), FProgress(Progress), FStart(Stream.GetPosition()) {
        FBuffer.reserve(OutputBufferSize);
    }
    ~TPsdOutput() { Flush(); }
    TPsdOutput(const TPsdOutput&) = delete;
    TPsdOutput& operator=(const TPsdOutput&) = delete;

    bool Ok() const { return FOk; }
    bool Fail() {
        FOk = false;
        FProgress.Abort();
        return false;
    }
    int64_t Position() const { return FFlushed + static_cast<int64_t>(FBuffer.size()); }

    void Bytes(const void* Data, size_t Count) {
        if (!FOk) return;
        const auto* p = static_cast<const uint8_t*>(Data);
        if (FBuffer.size() + Count > OutputBufferSize) Flush();
        if (Count >= OutputBufferSize) {
            Write(p, Count);
            return;
        }
        FBuffer.insert(FBuffer.end(), p, p + Count);
    }
    void Fill(uint8_t Value, size_t Count) {
        for (size_t i = 0; i < Count; ++i)
            U8(Value);
    }
    void U8(uint8_t V) {
        if (FBuffer.size() >= OutputBufferSize) Flush();
        FBuffer.push_back(V);
    }
    void U16(uint32_t V) {
        const uint8_t b[2] = {static_cast<uint8_t>(V >> 8), static_cast<uint8_t>(V)};
        Bytes(b, 2);
    }
    void U32(uint32_t V) {
        const uint8_t b[4] = {static_cast<uint8_t>(V >> 24), static_cast<uint8_t>(V >> 16),
                              static_cast<uint8_t>(V >> 8), static_cast<uint8_t>(V)};
        Bytes(b, 4);
    }
    // A 32-bit length to be patched: its position.
    int64_t LengthField() {
        const int64_t at = Position();
        U32(0);
        return at;
    }
    // Patches the field at At with the bytes written after it.
    void EndLength(int64_t At) { Patch32(At, Position() - At - 4); }
    void Patch32(int64_t At, int64_t Value) {
        if (Value < 0 || Value > UINT32_MAX) {
            Fail();
            return;
        }
        const auto v = static_cast<uint32_t>(Value);
        const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        Patch(At, b, 4);
    }
    void Patch16s(int64_t At, const std::vector<uint16_t>& Values) {
        std::vector<uint8_t> bytes(Values.size() * 2);
        for (size_t i = 0; i < Values.size(); ++i) {
            bytes[i * 2] = static_cast<uint8_t>(Values[i] >> 8);
            bytes[i * 2 + 1] = static_cast<uint8_t>(Values[i]);
        }
        Patch(At, bytes.data(), bytes.size());
    }
    void Flush() {
        if (FBuffer.empty()) return;
        Write(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
    }

private:
    void Write(const uint8_t* Data, size_t Count) {
        while (FOk && Count > 0) {
            const auto part = static_cast<int32_t>(std::min<size_t>(Count, INT32_MAX));
            bool aborting = false;
            SafeStreamWrite(FStream, aborting, Data, part);
            if (aborting) {
                Fail();
                return;
            }
            FFlushed += part;
            Data += part;
            Count -= static_cast<size_t>(part);
        }
    }
    void Patch(int64_t At, const uint8_t* Data, size_t Count) {
        if (!FOk) return;
        if (At >= FFlushed) {
            std::memcpy(FBuffer.data() + (At - FFlushed), Data, Count);
            return;
        }
        Flush();
        const int64_t end = FStream.GetPosition();
        FStream.SetPosition(FStart + At);
        const int64_t flushed = FFlushed;
        Write(Data, Count);
        FFlushed = flushed;
        FStream.SetPosition(end);
    }

    TStream& FStream;
    TVLProgressRecord& FProgress;
    int64_t FStart;
    int64_t FFlushed = 0;
    std::vector<uint8_t> FBuffer;
    bool FOk = true;
};

// A layer as it is written: its pixels (its own bitmap, or a converted or resampled copy) and
// those of the mask layer after it.
struct TPreparedLayer {
    TVLBitmap* Pixels = nullptr;
    std::unique_ptr<TVLBitmap> Copy;
    TVLBitmap* Mask = nullptr;
    std::unique_ptr<TVLBitmap> MaskCopy;
    int32_t PosX = 0, PosY = 0, MaskX = 0, MaskY = 0;
    uint8_t Opacity = 255;
    bool Visible = true;
    AnsiString Name;
    // Where the length of each channel entry of the record was written, in channel order.
    std::vector<int64_t> LengthAt;
};

bool SamePalette(TVLBitmap& A, TVLBitmap& B) {
    if (A.GetPalette() == nullptr || B.GetPalette() == nullptr) return false;
    const int32_t count = std::min(A.GetPaletteLength(), 256);
    return count == std::min(B.GetPaletteLength(), 256) &&
           std::equal(A.GetPalette(), A.GetPalette() + count, B.GetPalette());
}

// The picture in Merged's colour table: every pixel becomes the nearest of its entries.
std::unique_ptr<TVLBitmap> MappedToPalette(TVLBitmap& Picture, TVLBitmap& Merged) {
    if (Picture.GetPixelFormat() != vl24RGB) Picture.SetPixelFormat(vl24RGB);
    auto indexed = std::make_unique<TVLBitmap>();
    const int32_t w = Picture.GetWidth(), h = Picture.GetHeight();
    if (!indexed->Allocate(w, h, vl8p)) return nullptr;
    Merged.CopyPaletteTo(*indexed);
    std::vector<TVLRGB> palette(256);
    const TVLQuantizer quantizer(Merged, palette, 256);
    for (int32_t y = 0; y < h; ++y)
        quantizer.RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(Picture.GetScanline(y)),
                                  indexed->GetScanline(y), w);
    if (Picture.HasAlphaChannel()) indexed->AttachAlphaChannel(Picture.AttachAlphaChannel(nullptr));
    return indexed;
}

// Source at Width x Height and in Format (a copy when it is not so already); Merged gives the
// colour table of an indexed document. nil when the copy cannot be made.
TVLBitmap* Prepared(TVLBitmap& Source, int32_t Width, int32_t Height, TVLPixelFormat Format,
                    TVLBitmap& Merged, TResampleFilter Filter, std::unique_ptr<TVLBitmap>& Copy) {
    if (Source.IsEmpty()) return &Source;
    if (Source.GetWidth() != Width || Source.GetHeight() != Height) {
        Copy = std::make_unique<TVLBitmap>();
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&Source);
        proc.ResampleTo(*Copy, Width, Height, Filter);
        if (Copy->GetWidth() != Width || Copy->GetHeight() != Height) return nullptr;
    }
    TVLBitmap& current = Copy != nullptr ? *Copy : Source;
    const bool remap =
        Format == vl8p && !(current.GetPixelFormat() == vl8p && SamePalette(current, Merged));
    if (current.GetPixelFormat() == Format && !remap) return &current;
    if (Copy == nullptr) {
        Copy = std::make_unique<TVLBitmap>();
        Copy->Assign(&Source);
    }
    if (remap) {
        Copy = MappedToPalette(*Copy, Merged);
        if (Copy == nullptr) return nullptr;
    } else {
        Copy->SetPixelFormat(Format);
    }
    return Copy.get();
}

class TPsdWriter {
public:
    TPsdWriter(TStream& Stream, TIOParamsVals& Params, TVLProgressRecord& Progress,
               TVLBitmap& Bitmap)
        : FOut(Stream, Progress), FParams(Params), FProgress(Progress), FBitmap(Bitmap),
          FMode(ModeOf(Bitmap.GetPixelFormat())) {}

    void Write(const std::vector<TVLLayer*>& Layers);

private:
    bool PrepareLayers(const std::vector<TVLLayer*>& Layers);
    void WriteHeader();
    void WriteResources();
    void Resource(int32_t Id, const void* Data, size_t Size);
    void WriteThumbnail();
    void WriteLayerSection(bool Report);
    void WriteLayerRecord(TPreparedLayer& Layer);
    void WriteLayerChannels(TPreparedLayer& Layer);
    void WriteComposite(bool Report);
    // Height PackBits rows of RowBytes, each filled by Row(y, buffer), their packed sizes into
    // Counts from CountsFrom on. Channel writes one layer channel: compression word, row table
    // and rows; it returns the channel's length.
    template <typename RowT>
    void PackedRows(int32_t Height, size_t RowBytes, RowT Row, std::vector<uint16_t>& Counts,
                    size_t CountsFrom);
    template <typename RowT> int64_t Channel(int32_t Height, size_t RowBytes, RowT Row);
    // A layer's transparency channel, for layers that have an alpha channel: an opaque one says
    // nothing, and some readers refuse grey layers that carry one. Bitmap mode has none.
    bool AlphaWritten(TVLBitmap& Pixels) const {
        return FMode.Depth != 1 && Pixels.HasAlphaChannel();
    }

    TPsdOutput FOut;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    TVLBitmap& FBitmap;
    TPsdMode FMode;
    std::vector<TPreparedLayer> FLayers;
    std::vector<uint8_t> FRow;
    std::vector<uint8_t> FPacked;
};

bool TPsdWriter::PrepareLayers(const std::vector<TVLLayer*>& Layers) {
    if (Layers.empty()) {
        // The merged picture itself is the only layer; it is read as it is.
        TPreparedLayer& only = FLayers.emplace_back();
        only.Pixels = &FBitmap;
        return true;
    }
    for (size_t i = 0; i < Layers.size(); ++i) {
        TVLLayer& layer = *Layers[i];
        if (layer.IsMask) continue;
        TPreparedLayer& prepared = FLayers.emplace_back();
        const TResampleFilter filter = layer.UseResampleFilter ? layer.ResampleFilter : rfNone;
        prepared.Pixels = Prepared(*layer.Bitmap(), layer.GetWidth(), layer.GetHeight(),
                                   FMode.LayerFormat, FBitmap, filter, prepared.Copy);
        if (prepared.Pixels == nullptr) return false;
        prepared.PosX = layer.PosX;
        prepared.PosY = layer.PosY;
        prepared.Opacity = static_cast<uint8_t>(layer.Transparency);
        prepared.Visible = layer.Visible;
        prepared.Name = layer.Name.substr(0, MaxNameLength);
        if (i + 1 < Layers.size() && Layers[i + 1]->IsMask) {
            TVLLayer& mask = *Layers[i + 1];
            const TResampleFilter maskFilter =
                mask.UseResampleFilter ? mask.ResampleFilter : rfNone;
            prepared.Mask = Prepared(*mask.Bitmap(), mask.GetWidth(), mask.GetHeight(), vl8g,
                                     FBitmap, maskFilter, prepared.MaskCopy);
            if (prepared.Mask == nullptr) return false;
            prepared.MaskX = mask.PosX;
            prepared.MaskY = mask.PosY;
        }
    }
    return FLayers.size() <= MaxLayerCount;
}

void TPsdWriter::WriteHeader() {
    FOut.Bytes("8BPS", 4);
    FOut.U16(1);
    FOut.Fill(0, 6);
    FOut.U16(static_cast<uint32_t>(FMode.Channels));
    FOut.U32(static_cast<uint32_t>(FBitmap.GetHeight()));
    FOut.U32(static_cast<uint32_t>(FBitmap.GetWidth()));
    FOut.U16(static_cast<uint32_t>(FMode.Depth));
    FOut.U16(static_cast<uint32_t>(FMode.Mode));
    // Colour-mode data: the palette of an indexed picture, 256 reds, greens, blues.
    if (FBitmap.GetPixelFormat() != vl8p) {
        FOut.U32(0);
        return;
    }
    FOut.U32(768);
    uint8_t planes[768] = {};
    for (int32_t i = 0; i < 256; ++i) {
        TVLRGB c;
        FBitmap.GetPaletteColor(i, c);
        planes[i] = c.r;
        planes[256 + i] = c.g;
        planes[512 + i] = c.b;
    }
    FOut.Bytes(planes, sizeof(planes));
}

void TPsdWriter::Resource(int32_t Id, const void* Data, size_t Size) {
    if ((FOut.Position() & 1) != 0) FOut.U8(0);
    FOut.Bytes("8BIM", 4);
    FOut.U16(static_cast<uint32_t>(Id));
    FOut.U16(0);
    if (Size > UINT32_MAX) {
        FOut.Fail();
        return;
    }
    FOut.U32(static_cast<uint32_t>(Size));
    FOut.Bytes(Data, Size);
}

// Index 255 is declared transparent only when no pixel uses it: a picture of 256 colours keeps
// its last one.
bool UsesLastIndex(TVLBitmap& Bitmap) {
    const auto w = static_cast<size_t>(Bitmap.GetWidth());
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        if (std::memchr(Bitmap.GetScanline(y), 255, w) != nullptr) return true;
    return false;
}

void TPsdWriter::WriteResources() {
    const int64_t at = FOut.LengthField();
    uint8_t resolution[16] = {};
    auto put32 = [](uint8_t* P, uint32_t V) {
        P[0] = static_cast<uint8_t>(V >> 24);
        P[1] = static_cast<uint8_t>(V >> 16);
        P[2] = static_cast<uint8_t>(V >> 8);
        P[3] = static_cast<uint8_t>(V);
    };
    put32(resolution, static_cast<uint32_t>(FParams.DpiX) << 16);
    resolution[5] = resolution[7] = 1;
    put32(resolution + 8, static_cast<uint32_t>(FParams.DpiY) << 16);
    resolution[13] = resolution[15] = 1;
    Resource(1005, resolution, sizeof(resolution));
    if (FBitmap.GetPixelFormat() == vl8p && !UsesLastIndex(FBitmap)) {
        const uint8_t last[2] = {0, 255};
        Resource(1047, last, 2);
    }
    if (FParams.IPTCInfo.GetCount() > 0) {
        const std::vector<uint8_t> iptc = FParams.IPTCInfo.SaveToBuffer(false);
        if (!iptc.empty()) Resource(1028, iptc.data(), iptc.size());
    }
    if (FParams.EmbeddedICC != nullptr && FParams.EmbeddedICC->GetRawLength() > 0)
        Resource(1039, FParams.EmbeddedICC->GetRaw(),
                 static_cast<size_t>(FParams.EmbeddedICC->GetRawLength()));
    WriteThumbnail();
    if (!FParams.XmpInfo.empty()) Resource(1060, FParams.XmpInfo.data(), FParams.XmpInfo.size());
    if ((FOut.Position() & 1) != 0) FOut.U8(0);
    FOut.EndLength(at);
}

void TPsdWriter::WriteThumbnail() {
    TVLBitmap* thumbnail = FParams.ExifThumbnail.get();
    if (thumbnail == nullptr || thumbnail->IsEmpty()) return;
    TMemoryStream jpeg;
    TIOParamsVals params;
    bool aborting = false;
    TVLProgressRecord quiet;
    quiet.AbortFlag = &aborting;
    try {
        WriteJPEGStream(jpeg, *thumbnail, params, quiet);
    } catch (const std::exception&) {
        aborting = true;
    }
    if (aborting) return;
    const int64_t size = jpeg.GetSize();
    const auto w = static_cast<uint32_t>(thumbnail->GetWidth());
    const auto h = static_cast<uint32_t>(thumbnail->GetHeight());
    const uint32_t fields[6] = {1, w, h, w * 3, w * h * 3, static_cast<uint32_t>(size)};
    std::vector<uint8_t> data(ThumbnailHeaderSize + static_cast<size_t>(size));
    for (int32_t i = 0; i < 6; ++i)
        for (int32_t b = 0; b < 4; ++b)
            data[static_cast<size_t>(i * 4 + b)] = static_cast<uint8_t>(fields[i] >> (24 - 8 * b));
    data[25] = 24;
    data[27] = 1;
    std::memcpy(data.data() + ThumbnailHeaderSize, jpeg.Memory(), static_cast<size_t>(size));
    Resource(1036, data.data(), data.size());
}

void TPsdWriter::WriteLayerRecord(TPreparedLayer& Layer) {
    TVLBitmap& pixels = *Layer.Pixels;
    FOut.U32(static_cast<uint32_t>(Layer.PosY));
    FOut.U32(static_cast<uint32_t>(Layer.PosX));
    FOut.U32(static_cast<uint32_t>(int64_t{Layer.PosY} + pixels.GetHeight()));
    FOut.U32(static_cast<uint32_t>(int64_t{Layer.PosX} + pixels.GetWidth()));
    std::vector<int32_t> ids;
    if (AlphaWritten(pixels)) ids.push_back(-1);
    for (int32_t c = 0; c < FMode.Channels; ++c)
        ids.push_back(c);
    if (Layer.Mask != nullptr) ids.push_back(-2);
    FOut.U16(static_cast<uint32_t>(ids.size()));
    for (int32_t id : ids) {
        FOut.U16(static_cast<uint16_t>(id));
        Layer.LengthAt.push_back(FOut.LengthField());
    }
    FOut.Bytes("8BIMnorm", 8);
    FOut.U8(Layer.Opacity);
    FOut.U8(0);
    FOut.U8(Layer.Visible ? 0 : 2);
    FOut.U8(0);
    const int64_t extra = FOut.LengthField();
    if (Layer.Mask != nullptr) {
        FOut.U32(20);
        FOut.U32(static_cast<uint32_t>(Layer.MaskY));
        FOut.U32(static_cast<uint32_t>(Layer.MaskX));
        FOut.U32(static_cast<uint32_t>(int64_t{Layer.MaskY} + Layer.Mask->GetHeight()));
        FOut.U32(static_cast<uint32_t>(int64_t{Layer.MaskX} + Layer.Mask->GetWidth()));
        FOut.Fill(0, 4);
    } else {
        FOut.U32(0);
    }
    FOut.U32(0);
    FOut.U8(static_cast<uint8_t>(Layer.Name.size()));
    FOut.Bytes(Layer.Name.data(), Layer.Name.size());
    // The extra data is padded to a multiple of 4 with bytes of 1.
    while ((FOut.Position() - extra - 4) % 4 != 0)
        FOut.U8(1);
    FOut.EndLength(extra);
}

template <typename RowT>
void TPsdWriter::PackedRows(int32_t Height, size_t RowBytes, RowT Row,
                            std::vector<uint16_t>& Counts, size_t CountsFrom) {
    FRow.resize(RowBytes);
    FPacked.resize(RowBytes + RowBytes / 128 + 2);
    for (int32_t y = 0; y < Height && FOut.Ok(); ++y) {
        Row(y, FRow.data());
        const size_t packed = PackBits(FRow.data(), RowBytes, FPacked.data());
        if (static_cast<int64_t>(packed) > MaxPackedRow) {
            FOut.Fail();
            return;
        }
        Counts[CountsFrom + static_cast<size_t>(y)] = static_cast<uint16_t>(packed);
        FOut.Bytes(FPacked.data(), packed);
    }
}

template <typename RowT> int64_t TPsdWriter::Channel(int32_t Height, size_t RowBytes, RowT Row) {
    const int64_t start = FOut.Position();
    FOut.U16(1);
    const int64_t tableAt = FOut.Position();
    FOut.Fill(0, static_cast<size_t>(Height) * 2);
    std::vector<uint16_t> counts(static_cast<size_t>(Height));
    PackedRows(Height, RowBytes, Row, counts, 0);
    FOut.Patch16s(tableAt, counts);
    return FOut.Position() - start;
}

void TPsdWriter::WriteLayerChannels(TPreparedLayer& Layer) {
    TVLBitmap& pixels = *Layer.Pixels;
    const int32_t w = pixels.GetWidth(), h = pixels.GetHeight();
    const bool wide = FMode.Depth == 16;
    size_t entry = 0;
    if (AlphaWritten(pixels)) {
        TVLBitmap& alpha = *pixels.GetAlphaChannel();
        const int64_t length =
            Channel(h, static_cast<size_t>(w) * (wide ? 2 : 1), [&](int32_t Y, uint8_t* Out) {
                const uint8_t* a = alpha.GetScanline(Y);
                for (int32_t x = 0; x < w; ++x) {
                    // 16-bit alpha is a x 257.
                    const uint8_t v = a[x];
                    if (wide)
                        Out[x * 2] = Out[x * 2 + 1] = v;
                    else
                        Out[x] = v;
                }
            });
        FOut.Patch32(Layer.LengthAt[entry++], length);
    }
    const TVLPixelFormat format = pixels.GetPixelFormat();
    for (int32_t c = 0; c < FMode.Channels; ++c) {
        const int64_t length = Channel(h, RowBytesOf(w, FMode.Depth), [&](int32_t Y, uint8_t* Out) {
            ExtractChannel(format, pixels.GetScanline(Y), w, c, Out);
        });
        FOut.Patch32(Layer.LengthAt[entry++], length);
    }
    if (Layer.Mask == nullptr) return;
    TVLBitmap& mask = *Layer.Mask;
    const int32_t mw = mask.GetWidth();
    // A 16-bit document's mask is 16-bit too.
    const int64_t length = Channel(mask.GetHeight(), static_cast<size_t>(mw) * (wide ? 2 : 1),
                                   [&](int32_t Y, uint8_t* Out) {
                                       const uint8_t* m = mask.GetScanline(Y);
                                       for (int32_t x = 0; x < mw; ++x) {
                                           if (wide)
                                               Out[x * 2] = Out[x * 2 + 1] = m[x];
                                           else
                                               Out[x] = m[x];
                                       }
                                   });
    FOut.Patch32(Layer.LengthAt[entry], length);
}

void TPsdWriter::WriteLayerSection(bool Report) {
    const int64_t section = FOut.LengthField();
    const int64_t info = FOut.LengthField();
    FOut.U16(static_cast<uint32_t>(FLayers.size()));
    for (TPreparedLayer& layer : FLayers)
        WriteLayerRecord(layer);
    const auto count = static_cast<int64_t>(FLayers.size());
    for (int64_t i = 0; i < count && FOut.Ok(); ++i) {
        WriteLayerChannels(FLayers[static_cast<size_t>(i)]);
        if (Report) FProgress.ReportPercent(static_cast<int32_t>(i * 100 / count));
    }
    // The layer info is kept to an even length.
    if ((FOut.Position() & 1) != 0) FOut.U8(0);
    FOut.EndLength(info);
    // No global layer mask.
    FOut.U32(0);
    FOut.EndLength(section);
}

void TPsdWriter::WriteComposite(bool Report) {
    const int32_t w = FBitmap.GetWidth(), h = FBitmap.GetHeight();
    const int32_t channels = FMode.Channels;
    FOut.U16(1);
    const int64_t tableAt = FOut.Position();
    FOut.Fill(0, static_cast<size_t>(h) * static_cast<size_t>(channels) * 2);
    std::vector<uint16_t> counts(static_cast<size_t>(h) * static_cast<size_t>(channels));
    const TVLPixelFormat format = FBitmap.GetPixelFormat();
    for (int32_t c = 0; c < channels && FOut.Ok(); ++c) {
        PackedRows(
            h, RowBytesOf(w, FMode.Depth),
            [&](int32_t Y, uint8_t* Out) {
                ExtractChannel(format, FBitmap.GetScanline(Y), w, c, Out);
            },
            counts, static_cast<size_t>(c) * static_cast<size_t>(h));
        if (Report) FProgress.ReportPercent(static_cast<int32_t>(int64_t{c} * 100 / channels));
    }
    FOut.Patch16s(tableAt, counts);
}

void TPsdWriter::Write(const std::vector<TVLLayer*>& Layers) {
    if (FMode.Mode < 0 || !PrepareLayers(Layers)) {
        FOut.Fail();
        return;
    }
    WriteHeader();
    WriteResources();
    WriteLayerSection(!Layers.empty());
    WriteComposite(!Layers.empty());
    FOut.Flush();
}

} // namespace

void WritePSDStream(TStream& Stream, TIOParamsVals& Params, TVLProgressRecord& Progress,
                    TVLBitmap& Bitmap, const std::vector<TVLLayer*>& Layers) {
    TPsdWriter writer(Stream, Params, Progress, Bitmap);
    writer.Write(Layers);
}
