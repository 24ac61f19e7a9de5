// The PCX and DCX codecs. Declared sizes are checked in 64 bits against the data there is before
// anything is allocated; run-length data is decoded from a bounded copy of the data.
#include "imaging/formats/VLPcx.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"
#include "platform/rtl/Classes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Get32;
using imaging::detail::Put16;
using imaging::detail::Put32;

namespace {

constexpr int32_t HeaderSize = 128;
constexpr uint8_t Manufacturer = 10;
constexpr uint8_t PaletteMarker = 0x0C;
constexpr int32_t PaletteBytes = 768;
// A run of 63 samples costs two bytes.
constexpr int64_t ExpansionPcxRuns = 32;
constexpr uint8_t RunFlag = 0xC0;
constexpr size_t LongestRun = 63;
constexpr uint32_t DcxMagic = 987654321;
// Offsets a DCX table holds; a table that lists this many pages has no end mark.
constexpr int32_t DcxTableEntries = 1024;

// ---- Reading --------------------------------------------------------------------------------

enum class TPcxLayout { Unknown, Bilevel, Planes16, Index4, Index8, Rgb24 };

struct TPcxHeader {
    uint8_t Version = 0;
    bool RunLength = false;
    uint8_t Bits = 0;
    uint8_t Planes = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint32_t DpiX = 0;
    uint32_t DpiY = 0;
    int64_t BytesPerLine = 0;
    std::array<TVLRGB, 16> Palette16{};

    TPcxLayout Layout() const {
        if (Planes == 1 && Bits == 1) return TPcxLayout::Bilevel;
        if (Planes == 4 && Bits == 1) return TPcxLayout::Planes16;
        if (Planes == 1 && Bits == 4) return TPcxLayout::Index4;
        if (Planes == 1 && Bits == 8) return TPcxLayout::Index8;
        if (Planes == 3 && Bits == 8) return TPcxLayout::Rgb24;
        return TPcxLayout::Unknown;
    }
    // Rows place Width pixels, so each plane line must hold at least this many bytes.
    int64_t LeastBytesPerLine() const { return (int64_t{Width} * Bits + 7) / 8; }
};

bool ParseHeader(const uint8_t* H, TPcxHeader& Out) {
    if (H[0] != Manufacturer || H[2] > 1 || H[3] > 8) return false;
    Out.Version = H[1];
    Out.RunLength = H[2] == 1;
    Out.Bits = H[3];
    Out.Width = static_cast<int32_t>(Get16(H + 8)) - static_cast<int32_t>(Get16(H + 4)) + 1;
    Out.Height = static_cast<int32_t>(Get16(H + 10)) - static_cast<int32_t>(Get16(H + 6)) + 1;
    Out.DpiX = Get16(H + 12);
    Out.DpiY = Get16(H + 14);
    for (int32_t i = 0; i < 16; ++i)
        Out.Palette16[i] = TVLRGB{H[16 + i * 3 + 2], H[16 + i * 3 + 1], H[16 + i * 3]};
    Out.Planes = H[65];
    Out.BytesPerLine = Get16(H + 66);
    return true;
}

// The 256-colour palette behind its marker at the end of the data; a grey ramp without one.
void ReadPalette256(TStream& Stream, int64_t Start, int64_t DataSize,
                    std::array<TVLRGB, 256>& Palette) {
    for (int32_t i = 0; i < 256; ++i)
        Palette[i] =
            TVLRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    if (DataSize < HeaderSize + 1 + PaletteBytes) return;
    uint8_t bytes[1 + PaletteBytes];
    Stream.SetPosition(Start + DataSize - 1 - PaletteBytes);
    if (ReadUpTo(Stream, bytes, sizeof bytes) != sizeof bytes || bytes[0] != PaletteMarker) return;
    for (int32_t i = 0; i < 256; ++i)
        Palette[i] = TVLRGB{bytes[1 + i * 3 + 2], bytes[1 + i * 3 + 1], bytes[1 + i * 3]};
}

void SetPcxParams(const TPcxHeader& Header, const std::array<TVLRGB, 256>& Palette256,
                  TIOParamsVals& Params) {
    Params.BitsPerSample = Header.Bits;
    Params.SamplesPerPixel = Header.Planes;
    Params.Width = Params.OriginalWidth = Header.Width;
    Params.Height = Params.OriginalHeight = Header.Height;
    Params.PcxVersion = Header.Version;
    if (Header.DpiX == 0 || Header.DpiY == 0) {
        Params.SetDpiX(DefaultDpiX);
        Params.SetDpiY(DefaultDpiY);
    } else {
        Params.SetDpiX(static_cast<int32_t>(Header.DpiX));
        Params.SetDpiY(static_cast<int32_t>(Header.DpiY));
    }
    Params.FreePalette();
    const TVLRGB* colours = Header.Palette16.data();
    int32_t count = 0;
    if (Header.Layout() == TPcxLayout::Index8) {
        colours = Palette256.data();
        count = 256;
    } else if (Header.Layout() == TPcxLayout::Planes16) {
        Params.BitsPerSample = 4;
        Params.SamplesPerPixel = 1;
        count = 16;
    } else if (Header.Bits < 8) {
        count = std::min(1 << Header.Bits, 16);
    }
    if (count == 0) return;
    TVLRGB* palette = Params.AllocPalette(count);
    if (palette != nullptr) std::copy_n(colours, count, palette);
}

// Plane lines from the data copy: raw, or run-length coded with runs that go on across the
// ends of lines and rows. Never reads past the data.
class TPcxLines {
public:
    TPcxLines(const std::vector<uint8_t>& Data, bool RunLength)
        : FData(Data), FRunLength(RunLength) {}

    // Fills Count bytes of Out; false when the data ended first (the rest of Out unchanged).
    bool Next(uint8_t* Out, size_t Count) {
        if (!FRunLength) {
            const size_t n = std::min(Count, FData.size() - FPos);
            if (n > 0) std::memcpy(Out, FData.data() + FPos, n);
            FPos += n;
            return n == Count;
        }
        size_t i = 0;
        while (i < Count) {
            if (FRunLeft > 0) {
                const size_t n = std::min(FRunLeft, Count - i);
                std::memset(Out + i, FRunValue, n);
                i += n;
                FRunLeft -= n;
                continue;
            }
            if (FPos >= FData.size()) return false;
            const uint8_t b = FData[FPos++];
            if (b < RunFlag) {
                Out[i++] = b;
                continue;
            }
            if (FPos >= FData.size()) return false;
            FRunLeft = b & LongestRun;
            FRunValue = FData[FPos++];
        }
        return true;
    }

private:
    const std::vector<uint8_t>& FData;
    bool FRunLength;
    size_t FPos = 0;
    size_t FRunLeft = 0;
    uint8_t FRunValue = 0;
};

void PutRGB(uint8_t* Dst, const TVLRGB& C) {
    Dst[0] = C.b;
    Dst[1] = C.g;
    Dst[2] = C.r;
}

// One decoded row (Planes lines of BytesPerLine bytes) into the bitmap row.
void PlaceRow(const TPcxHeader& Header, const std::vector<uint8_t>& Line,
              const std::array<TVLRGB, 256>& Palette256, uint8_t* Dst) {
    const int32_t w = Header.Width;
    const size_t bpl = static_cast<size_t>(Header.BytesPerLine);
    switch (Header.Layout()) {
    case TPcxLayout::Bilevel:
        std::memcpy(Dst, Line.data(), static_cast<size_t>(Header.LeastBytesPerLine()));
        break;
    case TPcxLayout::Index8:
        for (int32_t x = 0; x < w; ++x)
            PutRGB(Dst + 3 * x, Palette256[Line[x]]);
        break;
    case TPcxLayout::Index4:
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t b = Line[x / 2];
            PutRGB(Dst + 3 * x, Header.Palette16[(x & 1) != 0 ? b & 0x0F : b >> 4]);
        }
        break;
    case TPcxLayout::Rgb24:
        for (int32_t x = 0; x < w; ++x) {
            Dst[3 * x + 2] = Line[x];
            Dst[3 * x + 1] = Line[bpl + x];
            Dst[3 * x] = Line[2 * bpl + x];
        }
        break;
    case TPcxLayout::Planes16:
        for (int32_t x = 0; x < w; ++x) {
            int32_t index = 0;
            for (size_t k = 0; k < 4; ++k)
                if ((Line[k * bpl + x / 8] & (0x80 >> (x & 7))) != 0) index |= 1 << k;
            PutRGB(Dst + 3 * x, Header.Palette16[index]);
        }
        break;
    case TPcxLayout::Unknown:
        break;
    }
}

bool Decodable(const TPcxHeader& Header) {
    return Header.Width > 0 && Header.Height > 0 && Header.Layout() != TPcxLayout::Unknown &&
           Header.BytesPerLine >= Header.LeastBytesPerLine();
}

void ReadPcx(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, int64_t DataSize,
             TVLProgressRecord& Progress, bool ParamsOnly) {
    const int64_t start = Stream.GetPosition();
    const int64_t dataSize =
        std::clamp<int64_t>(DataSize, 0, std::max<int64_t>(0, Stream.GetSize() - start));
    uint8_t head[HeaderSize];
    TPcxHeader header;
    if (dataSize < HeaderSize || ReadUpTo(Stream, head, HeaderSize) != HeaderSize ||
        !ParseHeader(head, header)) {
        Progress.Abort();
        return;
    }
    std::array<TVLRGB, 256> palette256{};
    if (header.Planes == 1 && header.Bits > 4) ReadPalette256(Stream, start, dataSize, palette256);
    Stream.SetPosition(start + HeaderSize);
    SetPcxParams(header, palette256, Params);
    if (ParamsOnly) return;

    const int64_t input = dataSize - HeaderSize;
    const TVLPixelFormat format = header.Layout() == TPcxLayout::Bilevel ? vl1g : vl24RGB;
    const int64_t rowBytes = header.BytesPerLine * header.Planes;
    if (!Decodable(header) ||
        !IsPlausibleDeclaredSize(PlannedBitmapBytes(header.Width, header.Height, format, false),
                                 rowBytes * header.Height,
                                 header.RunLength ? ExpansionPcxRuns : ExpansionUncompressed,
                                 input) ||
        !Bitmap.Allocate(header.Width, header.Height, format)) {
        Progress.Abort();
        return;
    }
    Bitmap.Fill(0);
    std::vector<uint8_t> data(static_cast<size_t>(input));
    data.resize(static_cast<size_t>(ReadUpTo(Stream, data.data(), input)));
    TPcxLines lines(data, header.RunLength);
    std::vector<uint8_t> line(static_cast<size_t>(rowBytes));
    Progress.StepCount = 0;
    Progress.PercentPerStep = 100.0 / header.Height;
    for (int32_t y = 0; y < header.Height; ++y) {
        Progress.StepCount = y;
        Progress.ReportProgress();
        if (Progress.Aborting()) return;
        std::fill(line.begin(), line.end(), 0);
        const bool whole = lines.Next(line.data(), line.size());
        PlaceRow(header, line, palette256, Bitmap.GetScanline(y));
        if (!whole) {
            Progress.Abort();
            return;
        }
    }
}

// ---- Writing --------------------------------------------------------------------------------

class TPcxWriter {
public:
    TPcxWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress)
        : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress) {}

    void Write();

private:
    int32_t TotalBits() const;
    TVLBitmap& WorkingImage();
    void WriteHeader(int32_t Bits, int32_t Planes, const TVLRGB* Colours, int32_t Count);
    void WriteLine(const uint8_t* Samples, size_t Count);
    void Out(const void* Data, size_t Count);

    TStream& FStream;
    TVLBitmap& FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    int32_t FTotal = 24;
    int64_t FBytesPerLine = 0;
    bool FAborting = false;
    std::unique_ptr<TVLBitmap> FMade;
    std::array<TVLRGB, 256> FPalette{};
    std::vector<uint8_t> FCoded;
};

// 1, 4, 8 or 24: BitsPerSample x SamplesPerPixel when the file can hold it, else 24 bits, or 1
// bit for a bilevel picture.
int32_t TPcxWriter::TotalBits() const {
    if (FParams.BitsPerSample == 1) return 1;
    const int32_t total = FParams.BitsPerSample * FParams.SamplesPerPixel;
    if (total == 4 || total == 8 || total == 24) return total;
    return FBitmap.GetPixelFormat() == vl1g ? 1 : 24;
}

// The bilevel picture (its two colours in the palette's first entries), or a vl24RGB one.
TVLBitmap& TPcxWriter::WorkingImage() {
    if (FTotal == 1) {
        FPalette[0] = {0, 0, 0};
        FPalette[1] = {255, 255, 255};
        if (FBitmap.GetPixelFormat() == vl1g) return FBitmap;
        FMade = TryMakeTwoColorBitmap(FBitmap, FPalette[0], FPalette[1]);
        if (FMade != nullptr) return *FMade;
        FPalette[0] = {0, 0, 0};
        FPalette[1] = {255, 255, 255};
    } else if (FBitmap.GetPixelFormat() == vl24RGB) {
        return FBitmap;
    }
    FMade = std::make_unique<TVLBitmap>();
    FMade->Assign(&FBitmap);
    FMade->SetPixelFormat(FTotal == 1 ? vl1g : vl24RGB);
    return *FMade;
}

void TPcxWriter::Out(const void* Data, size_t Count) {
    SafeStreamWrite(FStream, FAborting, Data, static_cast<int32_t>(Count));
    if (FAborting) FProgress.Abort();
}

void TPcxWriter::WriteHeader(int32_t Bits, int32_t Planes, const TVLRGB* Colours, int32_t Count) {
    uint8_t h[HeaderSize] = {};
    h[0] = Manufacturer;
    h[1] = static_cast<uint8_t>(FParams.PcxVersion);
    h[2] = FParams.PcxCompression != 0 ? 1 : 0;
    h[3] = static_cast<uint8_t>(Bits);
    Put16(h + 8, static_cast<uint32_t>(FBitmap.GetWidth() - 1));
    Put16(h + 10, static_cast<uint32_t>(FBitmap.GetHeight() - 1));
    Put16(h + 12, static_cast<uint32_t>(FParams.DpiX));
    Put16(h + 14, static_cast<uint32_t>(FParams.DpiY));
    for (int32_t i = 0; i < Count; ++i) {
        h[16 + i * 3] = Colours[i].r;
        h[16 + i * 3 + 1] = Colours[i].g;
        h[16 + i * 3 + 2] = Colours[i].b;
    }
    h[65] = static_cast<uint8_t>(Planes);
    Put16(h + 66, static_cast<uint32_t>(FBytesPerLine));
    Put16(h + 68, FTotal == 24 ? 0 : 1);
    Out(h, HeaderSize);
}

// One plane line of Count samples, run-length coded or raw, with a 0 pad byte after an odd
// count (bytes per line are even).
void TPcxWriter::WriteLine(const uint8_t* Samples, size_t Count) {
    FCoded.clear();
    if (FParams.PcxCompression == 0) {
        FCoded.assign(Samples, Samples + Count);
    } else {
        for (size_t i = 0; i < Count;) {
            size_t run = 1;
            while (i + run < Count && run < LongestRun && Samples[i + run] == Samples[i])
                ++run;
            if (run > 1 || Samples[i] >= RunFlag)
                FCoded.push_back(static_cast<uint8_t>(RunFlag | run));
            FCoded.push_back(Samples[i]);
            i += run;
        }
    }
    if ((Count & 1) != 0) FCoded.push_back(0);
    Out(FCoded.data(), FCoded.size());
}

void TPcxWriter::Write() {
    const int32_t w = FBitmap.GetWidth(), h = FBitmap.GetHeight();
    FTotal = TotalBits();
    const int64_t samples = FTotal == 1   ? (int64_t{w} + 7) / 8
                            : FTotal == 4 ? (int64_t{w} + 1) / 2
                                          : w;
    FBytesPerLine = (samples + 1) / 2 * 2;
    // The header holds the last column and row and the bytes per line in 16 bits each.
    if (w <= 0 || h <= 0 || w - 1 > 0xFFFF || h - 1 > 0xFFFF || FBytesPerLine > 0xFFFF) {
        FProgress.Abort();
        return;
    }
    TVLBitmap& image = WorkingImage();
    const int32_t colours = FTotal == 4 ? 16 : 256;
    std::unique_ptr<TVLQuantizer> quantizer;
    if (FTotal == 4 || FTotal == 8)
        quantizer = std::make_unique<TVLQuantizer>(
            image, std::span<TVLRGB>(FPalette.data(), colours), colours);
    const int32_t headerColours = FTotal == 1 ? 2 : FTotal == 4 ? 16 : 0;
    WriteHeader(FTotal == 24 ? 8 : FTotal, FTotal == 24 ? 3 : 1, FPalette.data(), headerColours);
    std::vector<uint8_t> indexes(static_cast<size_t>(w));
    std::vector<uint8_t> line(static_cast<size_t>(std::max<int64_t>(samples, 1)));
    FProgress.StepCount = 0;
    FProgress.PercentPerStep = 100.0 / h;
    for (int32_t y = 0; y < h && !FAborting; ++y) {
        FProgress.StepCount = y;
        FProgress.ReportProgress();
        if (FProgress.Aborting()) return;
        const uint8_t* row = image.GetScanline(y);
        if (FTotal == 1) {
            WriteLine(row, static_cast<size_t>(samples));
            continue;
        }
        if (FTotal == 24) {
            for (int32_t channel = 2; channel >= 0; --channel) {
                for (int32_t x = 0; x < w; ++x)
                    line[x] = row[3 * x + channel];
                WriteLine(line.data(), static_cast<size_t>(samples));
            }
            continue;
        }
        quantizer->RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(row), indexes.data(), w);
        if (FTotal == 8) {
            WriteLine(indexes.data(), static_cast<size_t>(samples));
            continue;
        }
        std::fill(line.begin(), line.end(), 0);
        for (int32_t x = 0; x < w; ++x)
            line[x / 2] |= static_cast<uint8_t>((x & 1) != 0 ? indexes[x] & 0x0F : indexes[x] << 4);
        WriteLine(line.data(), static_cast<size_t>(samples));
    }
    if (FTotal != 8 || FAborting || FProgress.Aborting()) return;
    uint8_t tail[1 + PaletteBytes];
    tail[0] = PaletteMarker;
    for (int32_t i = 0; i < 256; ++i) {
        tail[1 + i * 3] = FPalette[i].r;
        tail[1 + i * 3 + 1] = FPalette[i].g;
        tail[1 + i * 3 + 2] = FPalette[i].b;
    }
    Out(tail, sizeof tail);
}

// ---- DCX ------------------------------------------------------------------------------------

// The page offsets of the DCX at the stream position (the position moves); false when the
// stream does not start with the magic or an offset lies outside it.
bool ReadDcxTable(TStream& Stream, std::vector<int64_t>& Offsets) {
    const int64_t size = Stream.GetSize() - Stream.GetPosition();
    uint8_t table[4 + 4 * DcxTableEntries];
    const int64_t got = ReadUpTo(Stream, table, sizeof table);
    if (got < 4 || Get32(table) != DcxMagic) return false;
    for (int64_t at = 4; at + 4 <= got; at += 4) {
        const uint32_t offset = Get32(table + at);
        if (offset == 0) break;
        if (offset >= size) return false;
        Offsets.push_back(offset);
    }
    return true;
}

// Bytes from a page's offset to the nearest greater offset, or to the end.
int64_t PageSize(const std::vector<int64_t>& Offsets, size_t Page, int64_t Size) {
    int64_t end = Size;
    for (const int64_t offset : Offsets)
        if (offset > Offsets[Page]) end = std::min(end, offset);
    return end - Offsets[Page];
}

} // namespace

void ReadPCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, int32_t DataSize,
                   TVLProgressRecord& Progress, bool ParamsOnly) {
    // Whatever the data does to the reader ends the read as a failure, the rows so far kept.
    try {
        ReadPcx(Stream, Bitmap, Params, DataSize, Progress, ParamsOnly);
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

void WritePCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress) {
    TPcxWriter(Stream, Bitmap, Params, Progress).Write();
}

bool IsDCXStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    std::vector<int64_t> offsets;
    const bool result = ReadDcxTable(Stream, offsets);
    Stream.SetPosition(start);
    return result;
}

void ReadDCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly) {
    const int64_t start = Stream.GetPosition();
    std::vector<int64_t> offsets;
    const bool dcx = ReadDcxTable(Stream, offsets);
    Stream.SetPosition(start);
    if (!dcx || offsets.empty()) {
        Progress.Abort();
        return;
    }
    const auto pages = static_cast<int32_t>(offsets.size());
    const int32_t page = std::clamp(Params.DcxImageIndex, 0, pages - 1);
    Params.SetImageIndex(page);
    Params.SetImageCount(pages);
    const int64_t size = PageSize(offsets, static_cast<size_t>(page), Stream.GetSize() - start);
    Stream.SetPosition(start + offsets[static_cast<size_t>(page)]);
    ReadPCXStream(Stream, Bitmap, Params, static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX)),
                  Progress, ParamsOnly);
}

void WriteDCXStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress) {
    std::vector<int64_t> offsets;
    const int64_t size = Stream.GetSize();
    if (size > 0) {
        Stream.SetPosition(0);
        if (!ReadDcxTable(Stream, offsets)) {
            Progress.Abort();
            return;
        }
    }
    const auto pages = static_cast<int32_t>(offsets.size());
    // The new table must keep its end mark.
    if (pages + 1 >= DcxTableEntries) {
        Progress.Abort();
        return;
    }
    const int32_t insertAt = std::clamp(Params.DcxImageIndex, 0, pages);
    // A page write that fails must be seen even through a record without an abort flag.
    bool failed = false;
    TVLProgressRecord pageProgress = Progress;
    if (pageProgress.AbortFlag == nullptr) pageProgress.AbortFlag = &failed;
    TMemoryStream container;
    std::vector<uint8_t> table(4 + 4 * (static_cast<size_t>(pages) + 2), 0);
    Put32(table.data(), DcxMagic);
    container.WriteBuffer(table.data(), static_cast<int64_t>(table.size()));
    std::vector<int64_t> written;
    for (int32_t p = 0; p <= pages; ++p) {
        if (p == insertAt) {
            written.push_back(container.GetPosition());
            WritePCXStream(container, Bitmap, Params, pageProgress);
            if (pageProgress.Aborting()) return;
        }
        if (p == pages) break;
        written.push_back(container.GetPosition());
        Stream.SetPosition(offsets[static_cast<size_t>(p)]);
        container.CopyFrom(Stream, PageSize(offsets, static_cast<size_t>(p), size));
    }
    if (container.GetSize() > UINT32_MAX) {
        Progress.Abort();
        return;
    }
    for (size_t i = 0; i < written.size(); ++i)
        Put32(table.data() + 4 + 4 * i, static_cast<uint32_t>(written[i]));
    container.SetPosition(0);
    container.WriteBuffer(table.data(), static_cast<int64_t>(table.size()));
    Stream.SetSize(0);
    Stream.SetPosition(0);
    bool aborting = false;
    const auto* bytes = static_cast<const uint8_t*>(container.Memory());
    for (int64_t at = 0; at < container.GetSize() && !aborting; at += INT32_MAX)
        SafeStreamWrite(
            Stream, aborting, bytes + at,
            static_cast<int32_t>(std::min<int64_t>(INT32_MAX, container.GetSize() - at)));
    if (aborting) Progress.Abort();
}
