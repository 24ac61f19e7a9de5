// The PNM and WBMP codecs. Declared sizes are checked in 64 bits against the data left before
// anything is allocated; a raster cut short keeps what it held and leaves the rest black.
#include "imaging/formats/VLPnmWbmp.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using enum TVLPixelFormat;

namespace {

// Longest token kept: longer runs of letters and digits are no valid header field anyway, and a
// file of nothing but digits must not grow a string of its own size.
constexpr size_t MaxTokenLength = 64;
constexpr int32_t MaxSample = 65535;
// Headers and plain rasters are read a byte at a time, through a buffer of this size.
constexpr int32_t ReadBufferSize = 65536;

bool IsAlphaNumeric(uint8_t B) {
    return (B >= '0' && B <= '9') || (B >= 'a' && B <= 'z') || (B >= 'A' && B <= 'Z');
}

bool ReadByte(TStream& Stream, uint8_t& B) {
    return Stream.Read(&B, 1) == 1;
}

// The rest of a comment line, its line end consumed.
AnsiString ReadCommentLine(TStream& Stream) {
    AnsiString line;
    uint8_t b = 0;
    while (ReadByte(Stream, b) && b != '\n' && b != '\r')
        line += static_cast<char>(b);
    return line;
}

bool IsComment(const AnsiString& Token) {
    return !Token.empty() && Token[0] == '#';
}

// Progress Trunc(rows done x 100 / height) is reported after each row, once the factor is set.
void StartRows(TVLProgressRecord& Progress, int32_t Height) {
    Progress.StepCount = 0;
    Progress.PercentPerStep = 100.0 / Height;
}

// False when the work is to stop.
bool RowDone(TVLProgressRecord& Progress, int32_t Done) {
    Progress.StepCount = Done;
    Progress.ReportProgress();
    return !Progress.Aborting();
}

// A picture of Width x Height in Format, whose data takes DataBytes, can be made from what is
// left of the stream; the bitmap is allocated and filled black.
bool AllocatePlausible(TStream& Stream, TVLBitmap& Bitmap, int32_t Width, int32_t Height,
                       TVLPixelFormat Format, int64_t DataBytes) {
    const int64_t left = std::max<int64_t>(0, Stream.GetSize() - Stream.GetPosition());
    if (!IsPlausibleDeclaredSize(PlannedBitmapBytes(Width, Height, Format, false), DataBytes,
                                 ExpansionUncompressed, left) ||
        !Bitmap.Allocate(Width, Height, Format))
        return false;
    Bitmap.Fill(0);
    return true;
}

// ---- PNM reading ----------------------------------------------------------------------------

struct TPnmHeader {
    char Kind = 0; // '1' to '6'
    int32_t Width = -1;
    int32_t Height = -1;
    int32_t MaxVal = -1;

    bool Bilevel() const { return Kind == '1' || Kind == '4'; }
    bool Plain() const { return Kind >= '1' && Kind <= '3'; }
    int32_t Channels() const { return Kind == '3' || Kind == '6' ? 3 : 1; }
    int32_t SampleBytes() const { return MaxVal > 255 ? 2 : 1; }
    // Stored bytes of a raw row; characters or tokens of a plain one.
    int64_t RowUnits() const {
        if (Kind == '4') return (int64_t{Width} + 7) / 8;
        return int64_t{Width} * Channels() * (Plain() ? 1 : SampleBytes());
    }
};

bool IsMagic(const AnsiString& Token) {
    return Token.size() == 2 && Token[0] == 'P' && Token[1] >= '1' && Token[1] <= '6';
}

// The header fields up to the one delimiter after the last, from at most MaxTokens tokens;
// comments go to Comments when it is given. False when the first field is not a magic.
bool ParsePnmHeader(TStream& Stream, TStringList* Comments, int64_t MaxTokens, TPnmHeader& Header) {
    const int64_t size = Stream.GetSize();
    int32_t field = 0;
    AnsiString token;
    for (int64_t i = 0; i < MaxTokens && Stream.GetPosition() < size; ++i) {
        ReadPNMToken(Stream, token);
        if (token.empty()) break;
        if (IsComment(token)) {
            if (Comments != nullptr) Comments->Add(StrFromAnsi(token.substr(1)));
            continue;
        }
        if (field == 0) {
            if (!IsMagic(token)) return false;
            Header.Kind = token[1];
            if (Header.Bilevel()) Header.MaxVal = 1;
        } else if (field == 1) {
            Header.Width = StrToIntDefA(token, -1);
        } else if (field == 2) {
            Header.Height = StrToIntDefA(token, -1);
            if (Header.Bilevel()) break;
        } else {
            Header.MaxVal = StrToIntDefA(token, -1);
            break;
        }
        ++field;
    }
    return Header.Kind != 0;
}

void SetPnmParams(const TPnmHeader& Header, TIOParamsVals& Params) {
    Params.FreePalette();
    Params.Width = Params.OriginalWidth = Header.Width;
    Params.Height = Params.OriginalHeight = Header.Height;
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    Params.BitsPerSample = Header.Bilevel()                            ? 1
                           : Header.Kind == '6' && Header.MaxVal > 255 ? 16
                                                                       : 8;
    Params.SamplesPerPixel = Header.Channels();
}

// Sample V of a file with MaxVal, clamped to it, scaled to 0..Top.
uint32_t Scaled(uint32_t V, uint32_t MaxVal, uint32_t Top) {
    return std::min(V, MaxVal) * Top / MaxVal;
}

// The decoding of one PNM raster into an allocated bitmap filled black.
class TPnmRaster {
public:
    TPnmRaster(TStream& Stream, TVLBitmap& Bitmap, const TPnmHeader& Header, bool Wide)
        : FStream(Stream), FBitmap(Bitmap), FHeader(Header), FWide(Wide) {}

    // False when the raster ended before Row was complete.
    bool ReadRow(int32_t Row) {
        uint8_t* dst = FBitmap.GetScanline(Row);
        switch (FHeader.Kind) {
        case '1':
            return PlainBits(dst);
        case '2':
        case '3':
            return PlainSamples(dst);
        case '4':
            return RawBits(dst);
        default:
            return RawSamples(dst);
        }
    }

private:
    TStream& FStream;
    TVLBitmap& FBitmap;
    const TPnmHeader& FHeader;
    bool FWide; // 16-bit samples into a vlRGB48 bitmap
    std::vector<uint8_t> FBuffer;

    // The characters 0 (white) and 1 (black); comments and other characters are skipped.
    bool PlainBits(uint8_t* Dst) {
        int32_t x = 0;
        uint8_t b = 0;
        while (x < FHeader.Width && ReadByte(FStream, b)) {
            if (b == '#') {
                ReadCommentLine(FStream);
            } else if (b == '0' || b == '1') {
                if (b == '0') Dst[x >> 3] |= BitMask[x & 7];
                ++x;
            }
        }
        return x == FHeader.Width;
    }

    void Store(uint8_t* Dst, int32_t X, int32_t Channel, uint32_t V) {
        const auto max = static_cast<uint32_t>(FHeader.MaxVal);
        if (FWide) {
            reinterpret_cast<uint16_t*>(Dst)[X * 3 + Channel] =
                static_cast<uint16_t>(Scaled(V, max, MaxSample));
            return;
        }
        // A 16-bit sample keeps the high byte of its 16-bit scaling.
        const auto byte =
            static_cast<uint8_t>(FHeader.Kind == '6' && max > 255 ? Scaled(V, max, MaxSample) >> 8
                                                                  : Scaled(V, max, 255));
        if (FHeader.Channels() == 1)
            Dst[X * 3] = Dst[X * 3 + 1] = Dst[X * 3 + 2] = byte;
        else
            Dst[X * 3 + 2 - Channel] = byte;
    }

    // One decimal token per sample; comment tokens are skipped.
    bool PlainSamples(uint8_t* Dst) {
        AnsiString token;
        for (int32_t x = 0; x < FHeader.Width; ++x)
            for (int32_t c = 0; c < FHeader.Channels(); ++c) {
                do {
                    ReadPNMToken(FStream, token);
                } while (IsComment(token));
                if (token.empty()) return false;
                Store(Dst, x, c, static_cast<uint32_t>(std::max(0, StrToIntDefA(token, 0))));
            }
        return true;
    }

    // Rows of 1-bit pixels, 1 = black; bytes the raster lacks read as black.
    bool RawBits(uint8_t* Dst) {
        const int64_t count = FHeader.RowUnits();
        FBuffer.assign(static_cast<size_t>(count), 0xFF);
        const int64_t got = ReadUpTo(FStream, FBuffer.data(), count);
        for (int64_t i = 0; i < count; ++i)
            Dst[i] = static_cast<uint8_t>(~FBuffer[static_cast<size_t>(i)]);
        return got == count;
    }

    // Bytes or big-endian words; samples the raster lacks stay black.
    bool RawSamples(uint8_t* Dst) {
        const int64_t count = FHeader.RowUnits();
        FBuffer.resize(static_cast<size_t>(count));
        const int64_t got = ReadUpTo(FStream, FBuffer.data(), count);
        const int32_t size = FHeader.SampleBytes();
        const int32_t channels = FHeader.Channels();
        const int64_t samples = got / size;
        for (int64_t i = 0; i < samples; ++i) {
            const uint8_t* p = FBuffer.data() + i * size;
            const uint32_t v = size == 2 ? (uint32_t{p[0]} << 8) | p[1] : p[0];
            Store(Dst, static_cast<int32_t>(i / channels), static_cast<int32_t>(i % channels), v);
        }
        return got == count;
    }
};

// The PNM reader on a buffered stream.
void ReadPnm(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressRecord& Progress,
             bool ParamsOnly) {
    Params.PxmComments.Clear();
    TPnmHeader header;
    if (!ParsePnmHeader(Stream, &Params.PxmComments, INT64_MAX, header) || header.Width <= 0 ||
        header.Height <= 0 || header.MaxVal < 1 || header.MaxVal > MaxSample) {
        Progress.Abort();
        return;
    }
    SetPnmParams(header, Params);
    if (ParamsOnly) return;

    const bool wide = header.Kind == '6' && header.MaxVal > 255 && Params.NativePixelFormat;
    const TVLPixelFormat format = header.Bilevel() ? vl1g : wide ? vlRGB48 : vl24RGB;
    if (!AllocatePlausible(Stream, Bitmap, header.Width, header.Height, format,
                           header.RowUnits() * header.Height)) {
        Progress.Abort();
        return;
    }
    TPnmRaster raster(Stream, Bitmap, header, wide);
    StartRows(Progress, header.Height);
    for (int32_t y = 0; y < header.Height; ++y) {
        if (!raster.ReadRow(y)) {
            Progress.Abort();
            return;
        }
        if (!RowDone(Progress, y + 1)) return;
    }
}

// ---- PNM writing ----------------------------------------------------------------------------

// Comment lines for the header: each as a line feed, "# ", the text and a line feed; line ends
// inside a text become spaces so that the header stays readable.
AnsiString CommentText(const TStringList& Comments) {
    AnsiString text;
    for (int32_t i = 0; i < Comments.Count(); ++i) {
        AnsiString line = AnsiFromStr(Comments[i]);
        std::replace_if(
            line.begin(), line.end(), [](char C) { return C == '\n' || C == '\r'; }, ' ');
        text += "\n# " + line + "\n";
    }
    return text;
}

enum class TPnmOutput { Bits, Grey, Colour8, Colour16 };

TPnmOutput ChooseOutput(TVLPixelFormat Format, const TIOParamsVals& Params) {
    if (Format == vl1g) return TPnmOutput::Bits;
    if (Format == vl8g) return TPnmOutput::Grey;
    if (Format == vlRGB48) return TPnmOutput::Colour16;
    if (Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) return TPnmOutput::Bits;
    if (Params.BitsPerSample == 8 && Params.SamplesPerPixel == 1) return TPnmOutput::Grey;
    if (Params.BitsPerSample == 16 && Params.SamplesPerPixel == 3) return TPnmOutput::Colour16;
    return TPnmOutput::Colour8;
}

// The bytes of row Row of Source (vl1g, vl8g, vl24RGB or vlRGB48) as Output stores them.
void EncodePnmRow(TVLBitmap& Source, int32_t Row, TPnmOutput Output, TIOParamsVals& Params,
                  std::vector<uint8_t>& Out) {
    const int32_t w = Source.GetWidth();
    uint8_t* src = Source.GetScanline(Row);
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (Output == TPnmOutput::Bits) {
        for (size_t i = 0; i < Out.size(); ++i)
            Out[i] = static_cast<uint8_t>(~src[i]);
    } else if (Output == TPnmOutput::Grey) {
        if (format == vl8g)
            std::memcpy(Out.data(), src, Out.size());
        else
            ColorConversionHook(src, ColorLayoutBGR, Out.data(), &Params, w, ColorTargetGray);
    } else if (Output == TPnmOutput::Colour8) {
        CopyAndSwapRedBlue(Out.data(), src, w);
    } else if (format == vlRGB48) {
        const auto* words = reinterpret_cast<const uint16_t*>(src);
        for (int64_t i = 0; i < int64_t{w} * 3; ++i) {
            Out[i * 2] = static_cast<uint8_t>(words[i] >> 8);
            Out[i * 2 + 1] = static_cast<uint8_t>(words[i]);
        }
    } else {
        // Each byte as the 16-bit value byte x 257: both bytes equal it.
        for (int64_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < 3; ++c)
                Out[x * 6 + c * 2] = Out[x * 6 + c * 2 + 1] = src[x * 3 + 2 - c];
    }
}

int64_t PnmRowBytes(int32_t Width, TPnmOutput Output) {
    switch (Output) {
    case TPnmOutput::Bits:
        return (int64_t{Width} + 7) / 8;
    case TPnmOutput::Grey:
        return Width;
    case TPnmOutput::Colour8:
        return int64_t{Width} * 3;
    default:
        return int64_t{Width} * 6;
    }
}

AnsiString PnmHeaderText(TPnmOutput Output, int32_t W, int32_t H, const AnsiString& Comments) {
    static const char* const magic[] = {"P4 ", "P5 ", "P6 ", "P6 "};
    static const char* const maxval[] = {"", " 255", " 255", " 65535"};
    const auto kind = static_cast<size_t>(Output);
    return AnsiString(magic[kind]) + Comments + IntToStrA(W) + " " + IntToStrA(H) + maxval[kind] +
           "\n";
}

// Writes Count bytes; false (with the abort flag set) when the stream took fewer.
bool WriteChecked(TStream& Stream, TVLProgressRecord& Progress, const void* Data, int64_t Count) {
    bool aborting = false;
    SafeStreamWrite(Stream, aborting, Data, static_cast<int32_t>(Count));
    if (aborting) Progress.Abort();
    return !aborting;
}

// The bitmap a writer reads: Bitmap itself when its format is one of Keep, else Copy made from it
// in Target.
TVLBitmap& WriterSource(TVLBitmap& Bitmap, std::initializer_list<TVLPixelFormat> Keep,
                        TVLPixelFormat Target, TVLBitmap& Copy) {
    if (std::find(Keep.begin(), Keep.end(), Bitmap.GetPixelFormat()) != Keep.end()) return Bitmap;
    Copy.Assign(&Bitmap);
    Copy.SetPixelFormat(Target);
    return Copy;
}

// ---- WBMP -----------------------------------------------------------------------------------

void PutMultiByteInt(std::vector<uint8_t>& Out, uint32_t Value) {
    uint8_t groups[5];
    int32_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(Value & 0x7F);
        Value >>= 7;
    } while (Value != 0);
    while (n > 1)
        Out.push_back(groups[--n] | 0x80);
    Out.push_back(groups[0]);
}

} // namespace

void ReadPNMToken(TStream& Stream, AnsiString& Token) {
    Token.clear();
    uint8_t b = 0;
    while (ReadByte(Stream, b)) {
        if (b == '#') {
            Token = "#" + TrimA(ReadCommentLine(Stream));
            return;
        }
        if (IsAlphaNumeric(b)) break;
    }
    if (!IsAlphaNumeric(b)) return;
    do {
        if (Token.size() < MaxTokenLength) Token += static_cast<char>(b);
    } while (ReadByte(Stream, b) && IsAlphaNumeric(b));
}

bool IsPNMStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    TVLBufferedReadStream buffered(Stream, ReadBufferSize, true);
    // The header within the first 501 tokens; maxval is not looked at.
    TPnmHeader header;
    const bool result =
        ParsePnmHeader(buffered, nullptr, 501, header) && header.Width > 0 && header.Height > 0;
    Stream.SetPosition(start);
    return result;
}

void ReadPNMStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly) {
    const int64_t start = Stream.GetPosition();
    TVLBufferedReadStream buffered(Stream, ReadBufferSize, true);
    ReadPnm(buffered, Bitmap, Params, Progress, ParamsOnly);
    Stream.SetPosition(start + buffered.GetPosition());
}

void WritePNMStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress) {
    TVLBitmap colour;
    TVLBitmap& source = WriterSource(Bitmap, {vl1g, vl8g, vl24RGB, vlRGB48}, vl24RGB, colour);
    const TPnmOutput output = ChooseOutput(source.GetPixelFormat(), Params);
    TVLBitmap bits;
    TVLBitmap& rows =
        output == TPnmOutput::Bits ? WriterSource(source, {vl1g}, vl1g, bits) : source;
    const int32_t w = rows.GetWidth(), h = rows.GetHeight();
    const AnsiString header = PnmHeaderText(output, w, h, CommentText(Params.PxmComments));
    if (!WriteChecked(Stream, Progress, header.data(), static_cast<int64_t>(header.size())) ||
        h <= 0)
        return;
    std::vector<uint8_t> out(static_cast<size_t>(PnmRowBytes(w, output)));
    StartRows(Progress, h);
    for (int32_t y = 0; y < h; ++y) {
        EncodePnmRow(rows, y, output, Params, out);
        if (!WriteChecked(Stream, Progress, out.data(), static_cast<int64_t>(out.size())) ||
            !RowDone(Progress, y + 1))
            return;
    }
}

int32_t ReadWBMPMultiByteInt(TStream& Stream) {
    int32_t value = 0;
    uint8_t b = 0;
    for (int32_t i = 0; i < 4 && ReadByte(Stream, b); ++i) {
        value = (value << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) break;
    }
    return value;
}

void ReadWBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, bool ParamsOnly) {
    const int32_t type = ReadWBMPMultiByteInt(Stream);
    const int32_t fixed = ReadWBMPMultiByteInt(Stream);
    const int32_t w = ReadWBMPMultiByteInt(Stream);
    const int32_t h = ReadWBMPMultiByteInt(Stream);
    if (type != 0 || fixed != 0 || w == 0 || h == 0) {
        Progress.Abort();
        return;
    }
    Params.BitsPerSample = Params.SamplesPerPixel = 1;
    Params.Width = Params.OriginalWidth = w;
    Params.Height = Params.OriginalHeight = h;
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    Params.FreePalette();
    if (ParamsOnly) return;

    const int64_t rowBytes = (int64_t{w} + 7) / 8;
    if (!AllocatePlausible(Stream, Bitmap, w, h, vl1g, rowBytes * h)) {
        Progress.Abort();
        return;
    }
    Progress.StepCount = 0;
    Progress.PercentPerStep = 100.0 / h;
    for (int32_t y = 0; y < h; ++y) {
        if (ReadUpTo(Stream, Bitmap.GetScanline(y), rowBytes) < rowBytes) {
            // A partial row keeps its bytes read; the rest of it and the rows below stay black.
            Progress.Abort();
            return;
        }
        Progress.ReportPercent(static_cast<int32_t>(int64_t{y} * 100 / h));
        if (Progress.Aborting()) return;
    }
}

void WriteWBMPStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressRecord& Progress) {
    (void)Params;
    TVLBitmap bits;
    TVLBitmap& source = WriterSource(Bitmap, {vl1g}, vl1g, bits);
    const int32_t w = source.GetWidth(), h = source.GetHeight();
    std::vector<uint8_t> header = {0, 0};
    PutMultiByteInt(header, static_cast<uint32_t>(w));
    PutMultiByteInt(header, static_cast<uint32_t>(h));
    if (!WriteChecked(Stream, Progress, header.data(), static_cast<int64_t>(header.size()))) return;
    const int64_t rowBytes = (int64_t{w} + 7) / 8;
    for (int32_t y = 0; y < h; ++y) {
        Progress.ReportPercent(static_cast<int32_t>(int64_t{y} * 100 / h));
        if (Progress.Aborting() || !WriteChecked(Stream, Progress, source.GetScanline(y), rowBytes))
            return;
    }
}
