// The Targa codec. Declared sizes are checked in 64 bits against the data left before anything
// is allocated; colour maps fill at most the 256-entry palette; the footer's extension area is
// read only where it lies inside the stream.
#include "imaging/formats/VLTga.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/FormatsInternal.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

using enum TVLPixelFormat;
using imaging::detail::Get16;
using imaging::detail::Get32;
using imaging::detail::Put16;
using imaging::detail::Put32;

namespace {

constexpr int32_t HeaderSize = 18;
constexpr int32_t FooterSize = 26;
constexpr int32_t ExtensionSize = 495;
// The footer's signature with its terminating zero.
constexpr char Signature[18] = "TRUEVISION-XFILE.";
constexpr int32_t ReadBufferSize = 8192;
// A run packet repeats a one-byte value 128 times for a header byte and the value.
constexpr int64_t ExpansionTgaRuns = 64;
constexpr int32_t LongestPacket = 128;
// The image ID's length byte holds its length plus the terminating zero.
constexpr size_t LongestImageID = 254;
constexpr int32_t NameField = 41;
constexpr uint8_t TopDownBit = 0x20;
constexpr uint8_t RightToLeftBit = 0x10;

// ---- Dates ----------------------------------------------------------------------------------

constexpr int64_t DaysFrom1970To1899 = -25569; // 30 December 1899 counted from 1 January 1970

// Days since 30 December 1899 of a civil date (proleptic Gregorian calendar).
int64_t DaysOfDate(int64_t Year, int64_t Month, int64_t Day) {
    const int64_t y = Month <= 2 ? Year - 1 : Year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - DaysFrom1970To1899;
}

// The civil date of a day count since 30 December 1899.
void DateOfDays(int64_t Days, int32_t& Year, int32_t& Month, int32_t& Day) {
    const int64_t z = Days + DaysFrom1970To1899 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    Day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    Month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    Year = static_cast<int32_t>(yoe + era * 400 + (Month <= 2 ? 1 : 0));
}

bool ValidDay(int32_t Year, int32_t Month, int32_t Day) {
    static const int32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
    return Day <= lengths[Month - 1] + (Month == 2 && leap ? 1 : 0);
}

// ---- Reading --------------------------------------------------------------------------------

struct TTgaHeader {
    uint8_t IdLength = 0;
    uint8_t MapType = 0;
    uint8_t ImageType = 0;
    uint32_t MapFirst = 0;
    uint32_t MapLength = 0;
    uint8_t MapEntryBits = 0;
    int32_t XOrigin = 0;
    int32_t YOrigin = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t Depth = 0;
    uint8_t Descriptor = 0;

    bool RunLength() const { return ImageType >= 9; }
    bool Grey() const { return ImageType == 3 || ImageType == 11; }
    bool GreyAlpha() const { return Grey() && Depth == 16; }
    // Bytes of one pixel value; a value of a 1-bit picture is a byte of 8 pixels.
    int32_t UnitBytes() const { return Depth <= 8 ? 1 : Depth / 8; }
    int64_t RowUnits() const { return Depth == 1 ? (int64_t{Width} + 7) / 8 : Width; }
    bool MapAlpha() const { return MapType == 1 && MapEntryBits == 32; }
};

void ParseHeader(const uint8_t* H, TTgaHeader& Out) {
    Out.IdLength = H[0];
    Out.MapType = H[1];
    Out.ImageType = H[2];
    Out.MapFirst = Get16(H + 3);
    Out.MapLength = Get16(H + 5);
    Out.MapEntryBits = H[7];
    Out.XOrigin = static_cast<int32_t>(Get16(H + 8));
    Out.YOrigin = static_cast<int32_t>(Get16(H + 10));
    Out.Width = static_cast<int32_t>(Get16(H + 12));
    Out.Height = static_cast<int32_t>(Get16(H + 14));
    Out.Depth = H[16];
    Out.Descriptor = H[17];
}

bool PassesTest(const TTgaHeader& H) {
    const bool type =
        (H.ImageType >= 1 && H.ImageType <= 3) || (H.ImageType >= 9 && H.ImageType <= 11);
    const bool depth = H.Depth == 1 || H.Depth == 4 || H.Depth == 8 || H.Depth == 16 ||
                       H.Depth == 24 || H.Depth == 32;
    return type && depth && H.MapType <= 1 && H.Width > 0 && H.Height > 0;
}

// Depth 4 has no pixel decoder; a map is read only in the entry sizes known.
bool Decodable(const TTgaHeader& H) {
    const uint8_t e = H.MapEntryBits;
    return H.Depth != 4 &&
           (H.MapType == 0 || H.MapLength == 0 || e == 15 || e == 16 || e == 24 || e == 32);
}

// Stream bytes through a buffer of 8 KiB.
class TTgaSource {
public:
    explicit TTgaSource(TStream& Stream) : FStream(Stream), FBuffer(ReadBufferSize) {}

    // False when the stream ended before Count bytes.
    bool Read(uint8_t* Out, int64_t Count) {
        while (Count > 0) {
            if (FIndex == FFill) {
                FFill = ReadUpTo(FStream, FBuffer.data(), ReadBufferSize);
                FIndex = 0;
                if (FFill == 0) return false;
            }
            const int64_t n = std::min(Count, FFill - FIndex);
            std::memcpy(Out, FBuffer.data() + FIndex, static_cast<size_t>(n));
            Out += n;
            FIndex += n;
            Count -= n;
        }
        return true;
    }
    // Bytes of the stream not read yet.
    int64_t Left() { return FFill - FIndex + FStream.GetSize() - FStream.GetPosition(); }

private:
    TStream& FStream;
    std::vector<uint8_t> FBuffer;
    int64_t FFill = 0;
    int64_t FIndex = 0;
};

// Pixel values, raw or run-length coded; packets go on across the ends of rows.
class TTgaUnits {
public:
    TTgaUnits(TTgaSource& Source, int32_t UnitBytes, bool RunLength)
        : FSource(Source), FUnit(UnitBytes), FRunLength(RunLength) {}

    // Fills Count values into Out; false when the data ended first.
    bool Next(uint8_t* Out, int64_t Count) {
        if (!FRunLength) return FSource.Read(Out, Count * FUnit);
        int64_t i = 0;
        while (i < Count) {
            if (FLeft == 0) {
                uint8_t head = 0;
                if (!FSource.Read(&head, 1)) return false;
                FRun = (head & 0x80) != 0;
                FLeft = (head & 0x7F) + 1;
                if (FRun && !FSource.Read(FValue, FUnit)) return false;
            }
            const int64_t n = std::min<int64_t>(FLeft, Count - i);
            if (FRun) {
                for (int64_t k = 0; k < n; ++k)
                    std::memcpy(Out + (i + k) * FUnit, FValue, static_cast<size_t>(FUnit));
            } else if (!FSource.Read(Out + i * FUnit, n * FUnit)) {
                return false;
            }
            i += n;
            FLeft -= static_cast<int32_t>(n);
        }
        return true;
    }

private:
    TTgaSource& FSource;
    int32_t FUnit;
    bool FRunLength;
    int32_t FLeft = 0;
    bool FRun = false;
    uint8_t FValue[4] = {};
};

struct TTgaPalette {
    std::array<TVLRGB, 256> Colours{};
    std::array<uint8_t, 256> Alpha{};
    bool HasAlpha = false;
};

TVLRGB From555(uint32_t V) {
    return TVLRGB{static_cast<uint8_t>((V & 31) << 3), static_cast<uint8_t>(((V >> 5) & 31) << 3),
                  static_cast<uint8_t>(((V >> 10) & 31) << 3)};
}

// The 3-3-2 colour cube every palette starts as.
void ColourCube(TTgaPalette& P) {
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t r = i >> 5, g = (i >> 2) & 7, b = i & 3;
        P.Colours[i] = TVLRGB{static_cast<uint8_t>(64 * b + 60), static_cast<uint8_t>(32 * g + 28),
                              static_cast<uint8_t>(32 * r + 28)};
    }
    P.Alpha.fill(255);
}

// The map's entries from its first index on; entries at 256 and beyond are read and dropped.
bool ReadMap(TTgaSource& Source, const TTgaHeader& H, TTgaPalette& P) {
    const int32_t entryBytes = (H.MapEntryBits + 7) / 8;
    uint8_t e[4] = {};
    for (uint32_t i = 0; i < H.MapLength; ++i) {
        if (!Source.Read(e, entryBytes)) return false;
        const uint32_t index = H.MapFirst + i;
        if (index >= 256) continue;
        P.Colours[index] = entryBytes == 2 ? From555(Get16(e)) : TVLRGB{e[0], e[1], e[2]};
        if (entryBytes == 4) P.Alpha[index] = e[3];
    }
    P.HasAlpha = H.MapEntryBits == 32;
    return true;
}

// The date and time of the six 16-bit fields month, day, year, hour, minute, second; Out stays
// as it is for a combination that is no date.
void StampDate(const uint8_t* Fields, TDateTime& Out) {
    int32_t v[6];
    for (int32_t i = 0; i < 6; ++i)
        v[i] = static_cast<int32_t>(Get16(Fields + 2 * i));
    const int32_t month = v[0], day = v[1], year = v[2], hour = v[3], minute = v[4], second = v[5];
    if (month == 0 || day == 0 || year == 0 || year >= 2500 || month >= 13 || day >= 32 ||
        hour >= 24 || minute >= 60 || second >= 60 || !ValidDay(year, month, day))
        return;
    Out = static_cast<double>(DaysOfDate(year, month, day)) +
          (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

AnsiString FieldText(const uint8_t* P, size_t Size) {
    const auto* text = reinterpret_cast<const char*>(P);
    return AnsiString(text, strnlen(text, Size));
}

// The footer and the extension area it points to, when that lies inside the stream.
void ReadExtensionArea(TStream& Stream, int64_t Start, TIOParamsVals& Params) {
    Params.TgaAuthor.clear();
    Params.TgaImageName.clear();
    Params.TgaDate = Date();
    Params.TgaBackground = TVLRGB{0, 0, 0};
    Params.TgaAspectRatio = 1.0;
    Params.TgaGamma = 2.2;
    const int64_t end = Stream.GetSize();
    if (end - Start < HeaderSize + FooterSize) return;
    uint8_t footer[FooterSize];
    Stream.SetPosition(end - FooterSize);
    if (ReadUpTo(Stream, footer, FooterSize) != FooterSize ||
        std::memcmp(footer + 8, Signature, sizeof Signature) != 0)
        return;
    const int64_t offset = Get32(footer);
    if (offset < HeaderSize || Start + offset + ExtensionSize > end - FooterSize) return;
    uint8_t x[ExtensionSize];
    Stream.SetPosition(Start + offset);
    if (ReadUpTo(Stream, x, ExtensionSize) != ExtensionSize) return;
    Params.TgaAuthor = FieldText(x + 2, NameField);
    StampDate(x + 367, Params.TgaDate);
    Params.TgaImageName = FieldText(x + 379, NameField);
    Params.TgaBackground = TVLRGB{x[473], x[472], x[471]};
    const uint32_t aspectN = Get16(x + 474), aspectD = Get16(x + 476);
    if (aspectN != 0 && aspectD != 0)
        Params.TgaAspectRatio = static_cast<double>(aspectN) / aspectD;
    const uint32_t gammaN = Get16(x + 478), gammaD = Get16(x + 480);
    if (gammaN != 0 && gammaD != 0) Params.TgaGamma = static_cast<double>(gammaN) / gammaD;
}

void SetTgaParams(const TTgaHeader& H, TIOParamsVals& Params) {
    Params.Width = Params.OriginalWidth = H.Width;
    Params.Height = Params.OriginalHeight = H.Height;
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    Params.TgaCompressed = H.RunLength();
    switch (H.Depth) {
    case 1:
        Params.BitsPerSample = Params.SamplesPerPixel = 1;
        break;
    case 8:
        Params.BitsPerSample = 8;
        Params.SamplesPerPixel = 1;
        break;
    case 16:
        Params.BitsPerSample = H.Grey() ? 8 : 5;
        Params.SamplesPerPixel = H.Grey() ? 2 : 3;
        break;
    case 24:
    case 32:
        Params.BitsPerSample = 8;
        Params.SamplesPerPixel = H.Depth / 8;
        break;
    default:
        break;
    }
}

void PutRGB(uint8_t* Dst, const TVLRGB& C) {
    Dst[0] = C.b;
    Dst[1] = C.g;
    Dst[2] = C.r;
}

// One row of pixel values into the bitmap row (and the alpha row), mirrored when the file
// stores its rows right to left.
void PlaceRow(const TTgaHeader& H, const TTgaPalette& P, const uint8_t* Units, uint8_t* Dst,
              uint8_t* Alpha) {
    const int32_t w = H.Width;
    const bool mirrored = (H.Descriptor & RightToLeftBit) != 0;
    if (H.Depth == 1) {
        if (!mirrored) {
            std::memcpy(Dst, Units, static_cast<size_t>(H.RowUnits()));
            return;
        }
        std::memset(Dst, 0, static_cast<size_t>(H.RowUnits()));
        for (int32_t x = 0; x < w; ++x) {
            const int32_t from = w - 1 - x;
            if ((Units[from / 8] & (0x80 >> (from & 7))) != 0) Dst[x / 8] |= 0x80 >> (x & 7);
        }
        return;
    }
    for (int32_t i = 0; i < w; ++i) {
        const int32_t x = mirrored ? w - 1 - i : i;
        uint8_t* d = Dst + 3 * x;
        switch (H.Depth) {
        case 8: {
            const uint8_t index = Units[i];
            PutRGB(d, P.Colours[index]);
            if (Alpha != nullptr && P.HasAlpha) Alpha[x] = P.Alpha[index];
            break;
        }
        case 16:
            if (H.Grey()) {
                d[0] = d[1] = d[2] = Units[2 * i];
                if (Alpha != nullptr) Alpha[x] = Units[2 * i + 1];
            } else {
                PutRGB(d, From555(Get16(Units + 2 * i)));
            }
            break;
        case 24:
            std::memcpy(d, Units + 3 * i, 3);
            break;
        default:
            std::memcpy(d, Units + 4 * i, 3);
            if (Alpha != nullptr) Alpha[x] = Units[4 * i + 3];
            break;
        }
    }
}

// A mask that is wholly transparent or wholly opaque carries nothing.
void FinishMask(std::unique_ptr<TVLMask>& AlphaMask) {
    AlphaMask->SyncBoundingBox();
    if (!AlphaMask->IsEmpty()) AlphaMask->SyncFull();
    if (AlphaMask->IsEmpty() || AlphaMask->Full) AlphaMask.reset();
}

void ReadTga(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressRecord& Progress,
             bool ParamsOnly, std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha) {
    const int64_t start = Stream.GetPosition();
    ReadExtensionArea(Stream, start, Params);
    Stream.SetPosition(start);
    TTgaSource source(Stream);
    uint8_t head[HeaderSize];
    TTgaHeader h;
    if (!source.Read(head, HeaderSize)) {
        Progress.Abort();
        return;
    }
    ParseHeader(head, h);
    Params.TgaXPos = h.XOrigin;
    Params.TgaYPos = h.YOrigin;
    if (!PassesTest(h) || !Decodable(h)) {
        Progress.Abort();
        return;
    }
    uint8_t id[255];
    if (!source.Read(id, h.IdLength)) {
        Progress.Abort();
        return;
    }
    Params.TgaDescription = FieldText(id, h.IdLength);
    TTgaPalette palette;
    ColourCube(palette);
    Params.FreePalette();
    if (h.MapType == 1) {
        if (!ReadMap(source, h, palette)) {
            Progress.Abort();
            return;
        }
        const auto count = static_cast<int32_t>(std::min<uint32_t>(h.MapLength, 256));
        if (TVLRGB* map = count > 0 ? Params.AllocPalette(count) : nullptr)
            std::copy_n(palette.Colours.data(), count, map);
        Params.TgaGrayLevel = false;
    } else if (h.Depth == 8) {
        for (int32_t i = 0; i < 256; ++i)
            palette.Colours[i] =
                TVLRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
        Params.TgaGrayLevel = true;
    } else if (h.Depth == 1) {
        palette.Colours[0] = TVLRGB{0, 0, 0};
        palette.Colours[1] = TVLRGB{255, 255, 255};
    }
    SetTgaParams(h, Params);
    if (ParamsOnly) return;

    const TVLPixelFormat format = h.Depth == 1 ? vl1g : vl24RGB;
    const bool withAlpha = !IgnoreAlpha && (h.Depth == 32 || h.MapAlpha() || h.GreyAlpha());
    const int64_t units = h.RowUnits() * h.Height;
    const bool plausible = IsPlausibleDeclaredSize(
        PlannedBitmapBytes(h.Width, h.Height, format, withAlpha),
        h.RunLength() ? units : units * h.UnitBytes(),
        h.RunLength() ? ExpansionTgaRuns : ExpansionUncompressed, source.Left());
    if (!plausible || !Bitmap.Allocate(h.Width, h.Height, format)) {
        Progress.Abort();
        return;
    }
    Bitmap.Fill(0);
    if (withAlpha) {
        if (AlphaMask == nullptr) AlphaMask = std::make_unique<TVLMask>();
        if (!AlphaMask->AllocateBits(h.Width, h.Height, 8)) {
            AlphaMask.reset();
            Progress.Abort();
            return;
        }
        AlphaMask->Fill(255);
        AlphaMask->Full = false;
    }
    TTgaUnits values(source, h.UnitBytes(), h.RunLength());
    std::vector<uint8_t> row(static_cast<size_t>(h.RowUnits() * h.UnitBytes()));
    std::vector<uint8_t> alpha(static_cast<size_t>(h.Width), 255);
    const bool topDown = (h.Descriptor & TopDownBit) != 0;
    Progress.StepCount = 0;
    Progress.PercentPerStep = 100.0 / h.Height;
    for (int32_t done = 0; done < h.Height; ++done) {
        const int32_t y = topDown ? done : h.Height - 1 - done;
        std::fill(row.begin(), row.end(), 0);
        const bool whole = values.Next(row.data(), h.RowUnits());
        PlaceRow(h, palette, row.data(), Bitmap.GetScanline(y), withAlpha ? alpha.data() : nullptr);
        if (withAlpha) std::copy(alpha.begin(), alpha.end(), AlphaMask->GetScanline(y));
        if (!whole) {
            Progress.Abort();
            break;
        }
        Progress.StepCount = done + 1;
        Progress.ReportProgress();
        if (Progress.Aborting()) break;
    }
    if (withAlpha) FinishMask(AlphaMask);
}

// ---- Writing --------------------------------------------------------------------------------

class TTgaWriter {
public:
    TTgaWriter(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress, TVLMask* AlphaMask)
        : FStream(Stream), FBitmap(&Bitmap), FParams(Params), FProgress(Progress),
          FAlphaMask(AlphaMask) {}

    void Write();

private:
    void ChooseDepth();
    void WriteHeader();
    void WriteRows();
    void WriteExtensionAndFooter();
    void EncodeRow(const uint8_t* Values, int32_t Count, int32_t Unit);
    void Out(const void* Data, size_t Count);
    TVLBitmap& Copy24();

    TStream& FStream;
    TVLBitmap* FBitmap;
    TIOParamsVals& FParams;
    TVLProgressRecord& FProgress;
    TVLMask* FAlphaMask;
    int64_t FStart = 0;
    int32_t FDepth = 24;
    bool FAborting = false;
    TVLBitmap FCopy;
    std::unique_ptr<TVLBitmap> FMade;
    std::array<TVLRGB, 256> FPalette{};
    std::unique_ptr<TVLQuantizer> FQuantizer;
    std::vector<uint8_t> FCoded;
};

void TTgaWriter::Out(const void* Data, size_t Count) {
    if (FAborting) return;
    SafeStreamWrite(FStream, FAborting, Data, static_cast<int32_t>(Count));
    if (FAborting) FProgress.Abort();
}

TVLBitmap& TTgaWriter::Copy24() {
    FCopy.Assign(FBitmap);
    FCopy.SetPixelFormat(vl24RGB);
    return FCopy;
}

void TTgaWriter::ChooseDepth() {
    const TVLPixelFormat format = FBitmap->GetPixelFormat();
    const bool kept = format == vl24RGB || format == vl1g;
    if (!kept) FBitmap = &Copy24();
    const int32_t bits = FParams.BitsPerSample;
    if (kept && FParams.SamplesPerPixel == 1 && bits == 1) {
        FDepth = 1;
        FParams.TgaCompressed = false;
        if (format == vl1g) return;
        TVLRGB c0{}, c1{};
        FMade = TryMakeTwoColorBitmap(*FBitmap, c0, c1);
        if (FMade == nullptr) {
            FMade = std::make_unique<TVLBitmap>();
            FMade->Assign(FBitmap);
            FMade->SetPixelFormat(vl1g);
        }
        FBitmap = FMade.get();
    } else if (kept && FParams.SamplesPerPixel == 1 && (bits == 4 || bits == 8)) {
        FDepth = bits;
        if (bits == 4) FParams.TgaCompressed = false;
        if (format == vl1g) FBitmap = &Copy24();
        const int32_t colours = 1 << bits;
        FQuantizer = std::make_unique<TVLQuantizer>(
            *FBitmap, std::span<TVLRGB>(FPalette.data(), colours), colours);
        if (TVLRGB* map = FParams.AllocPalette(colours)) std::copy_n(FPalette.data(), colours, map);
    } else if (FAlphaMask != nullptr && !FAlphaMask->Full &&
               FAlphaMask->GetWidth() == FBitmap->GetWidth() &&
               FAlphaMask->GetHeight() == FBitmap->GetHeight() &&
               FAlphaMask->GetBitsPerPixel() == 8) {
        FDepth = 32;
        FParams.TgaCompressed = false;
    } else {
        FDepth = 24;
    }
}

void TTgaWriter::WriteHeader() {
    const AnsiString id = FParams.TgaDescription.substr(0, LongestImageID);
    const bool grey8 = FDepth == 8 && FParams.TgaGrayLevel;
    const bool mapped = (FDepth == 4 || FDepth == 8) && !grey8;
    uint8_t h[HeaderSize] = {};
    h[0] = static_cast<uint8_t>(id.size() + 1);
    h[1] = mapped ? 1 : 0;
    h[2] = static_cast<uint8_t>((FDepth == 1 || grey8 ? 3
                                 : mapped             ? 1
                                                      : 2) +
                                (FParams.TgaCompressed ? 8 : 0));
    if (mapped) {
        Put16(h + 5, 1u << FDepth);
        h[7] = 24;
    }
    Put16(h + 8, static_cast<uint32_t>(FParams.TgaXPos));
    Put16(h + 10, static_cast<uint32_t>(FParams.TgaYPos));
    Put16(h + 12, static_cast<uint32_t>(FBitmap->GetWidth()));
    Put16(h + 14, static_cast<uint32_t>(FBitmap->GetHeight()));
    h[16] = static_cast<uint8_t>(FDepth);
    h[17] = TopDownBit | (FDepth == 32 ? 8 : 0);
    Out(h, HeaderSize);
    Out(id.c_str(), id.size() + 1);
    if (!mapped) return;
    std::vector<uint8_t> map;
    for (int32_t i = 0; i < (1 << FDepth); ++i)
        map.insert(map.end(), {FPalette[i].b, FPalette[i].g, FPalette[i].r});
    Out(map.data(), map.size());
}

// Run packets for two or more equal values, raw packets for the rest, at most 128 values each.
void TTgaWriter::EncodeRow(const uint8_t* Values, int32_t Count, int32_t Unit) {
    auto same = [&](int32_t A, int32_t B) {
        return std::memcmp(Values + A * Unit, Values + B * Unit, static_cast<size_t>(Unit)) == 0;
    };
    FCoded.clear();
    for (int32_t i = 0; i < Count;) {
        int32_t run = 1;
        while (i + run < Count && run < LongestPacket && same(i, i + run))
            ++run;
        if (run > 1) {
            FCoded.push_back(static_cast<uint8_t>(0x80 + run - 1));
            FCoded.insert(FCoded.end(), Values + i * Unit, Values + (i + 1) * Unit);
            i += run;
            continue;
        }
        int32_t raw = 1;
        while (i + raw < Count && raw < LongestPacket &&
               !(i + raw + 1 < Count && same(i + raw, i + raw + 1)))
            ++raw;
        FCoded.push_back(static_cast<uint8_t>(raw - 1));
        FCoded.insert(FCoded.end(), Values + i * Unit, Values + (i + raw) * Unit);
        i += raw;
    }
    Out(FCoded.data(), FCoded.size());
}

void TTgaWriter::WriteRows() {
    const int32_t w = FBitmap->GetWidth(), h = FBitmap->GetHeight();
    const int32_t sourceBits = FBitmap->GetPixelFormat() == vl1g ? 1 : 24;
    const int32_t rowDepth = FDepth == 32 ? 24 : FDepth;
    const TVLRGB blackWhite[2] = {{0, 0, 0}, {255, 255, 255}};
    const std::span<const TVLRGB> palette =
        sourceBits == 1 ? std::span<const TVLRGB>(blackWhite, 2)
                        : std::span<const TVLRGB>(FPalette.data(), FPalette.size());
    std::vector<uint8_t> converted(static_cast<size_t>(w) * 3 + 1);
    std::vector<uint8_t> out(static_cast<size_t>(w) * 4);
    FProgress.StepCount = 0;
    FProgress.PercentPerStep = 100.0 / h;
    for (int32_t y = 0; y < h && !FAborting; ++y) {
        std::fill(converted.begin(), converted.end(), 0);
        const uint8_t* row = FBitmap->GetScanline(y);
        const auto count = static_cast<uint16_t>(w);
        int32_t bytes = 0;
        if (FQuantizer != nullptr)
            bytes =
                ConvertRowBitCount(row, converted.data(), static_cast<uint16_t>(sourceBits),
                                   static_cast<uint16_t>(rowDepth), count, palette, *FQuantizer);
        else
            bytes = ConvertRowBitCount(row, converted.data(), static_cast<uint16_t>(sourceBits),
                                       static_cast<uint16_t>(rowDepth), count, palette);
        if (FDepth == 8 && FParams.TgaGrayLevel)
            for (int32_t x = 0; x < w; ++x)
                converted[x] = static_cast<uint8_t>(RGBTripleToGray(FPalette[converted[x]]));
        if (FParams.TgaCompressed && (FDepth == 8 || FDepth == 24)) {
            EncodeRow(converted.data(), w, FDepth / 8);
        } else if (FDepth == 32) {
            const uint8_t* alpha = FAlphaMask->GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                std::memcpy(out.data() + 4 * x, converted.data() + 3 * x, 3);
                out[4 * x + 3] = alpha[x];
            }
            Out(out.data(), out.size());
        } else {
            Out(converted.data(), static_cast<size_t>(bytes));
        }
        FProgress.StepCount = y + 1;
        FProgress.ReportProgress();
        if (FProgress.Aborting()) return;
    }
}

// Fixed point of a ratio in 16 bits over 10000.
uint32_t TenThousandths(double Value) {
    return static_cast<uint32_t>(std::clamp(std::trunc(Value * 10000), 0.0, 65535.0));
}

void TTgaWriter::WriteExtensionAndFooter() {
    uint8_t x[ExtensionSize] = {};
    Put16(x, ExtensionSize);
    const AnsiString author = FParams.TgaAuthor.substr(0, NameField - 1);
    std::memcpy(x + 2, author.data(), author.size());
    const double stamp = std::max(0.0, FParams.TgaDate);
    const auto days = static_cast<int64_t>(std::floor(stamp));
    int32_t year = 0, month = 0, day = 0;
    DateOfDays(days, year, month, day);
    const auto seconds = static_cast<int32_t>(std::lround((stamp - days) * 86400.0)) % 86400;
    Put16(x + 367, static_cast<uint32_t>(month));
    Put16(x + 369, static_cast<uint32_t>(day));
    Put16(x + 371, static_cast<uint32_t>(year));
    Put16(x + 373, static_cast<uint32_t>(seconds / 3600));
    Put16(x + 375, static_cast<uint32_t>(seconds / 60 % 60));
    Put16(x + 377, static_cast<uint32_t>(seconds % 60));
    const AnsiString job = FParams.TgaImageName.substr(0, NameField - 1);
    std::memcpy(x + 379, job.data(), job.size());
    x[471] = FParams.TgaBackground.r;
    x[472] = FParams.TgaBackground.g;
    x[473] = FParams.TgaBackground.b;
    Put16(x + 474, TenThousandths(FParams.TgaAspectRatio));
    Put16(x + 476, 10000);
    Put16(x + 478, TenThousandths(FParams.TgaGamma));
    Put16(x + 480, 10000);
    const int64_t offset = FStream.GetPosition() - FStart;
    Out(x, ExtensionSize);
    uint8_t footer[FooterSize] = {};
    Put32(footer, static_cast<uint32_t>(offset));
    std::memcpy(footer + 8, Signature, sizeof Signature);
    Out(footer, FooterSize);
}

void TTgaWriter::Write() {
    const int32_t w = FBitmap->GetWidth(), h = FBitmap->GetHeight();
    // The header holds the size in 16 bits each.
    if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF) {
        FProgress.Abort();
        return;
    }
    FStart = FStream.GetPosition();
    ChooseDepth();
    WriteHeader();
    WriteRows();
    if (!FAborting && !FProgress.Aborting()) WriteExtensionAndFooter();
}

} // namespace

bool IsTGAStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t head[HeaderSize];
    const bool complete = ReadUpTo(Stream, head, HeaderSize) == HeaderSize;
    Stream.SetPosition(start);
    if (!complete) return false;
    TTgaHeader h;
    ParseHeader(head, h);
    return PassesTest(h);
}

void ReadTGAStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly,
                   std::unique_ptr<TVLMask>& AlphaMask, bool IgnoreAlpha) {
    // Whatever the data does to the reader ends the read as a failure, the rows so far kept.
    try {
        ReadTga(Stream, Bitmap, Params, Progress, ParamsOnly, AlphaMask, IgnoreAlpha);
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

void WriteTGAStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, TVLMask* AlphaMask) {
    TTgaWriter(Stream, Bitmap, Params, Progress, AlphaMask).Write();
}
