// The TIFF writer: chooses samples, bits and photometric interpretation, encodes strips with one
// of the TIFF compressions and writes the directory with its metadata.
#include "imaging/formats/tiff/VLTIFFWriter.h"

#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLZLib.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

using enum TVLPixelFormat;

// Photometric codes of the writer and the tag 262 value of each.
constexpr uint8_t pcWhiteIsZero = 0;
constexpr uint8_t pcGrey = 1;
constexpr uint8_t pcRGB = 2;
constexpr uint8_t pcPalette = 3;
constexpr uint8_t pcCMYK = 5;
constexpr uint8_t pcYCbCr = 6;
constexpr uint8_t pcCIELab = 7;

uint16_t PhotometricTag(uint8_t Code) {
    return Code == pcCIELab ? 8 : Code;
}

// Bitmap rows of about this many bytes make one strip.
constexpr int64_t StripBytes = 524288;

std::unique_ptr<TVLBitmap> ConvertedCopy(TVLBitmap& Source, TVLPixelFormat Format) {
    auto copy = std::make_unique<TVLBitmap>();
    copy->Assign(&Source);
    copy->SetPixelFormat(Format);
    return copy;
}

bool IsCCITT(TVLTIFFCompression C) {
    return C == tcCCITT1D || C == tcG3Fax1D || C == tcG3Fax2D || C == tcG4Fax;
}
bool IsJPEG(TVLTIFFCompression C) {
    return C == tcOldJPEG || C == tcJPEG;
}

// What the choice of the data hands the strip encoder.
struct TWriter {
    TWriter(TStream& S, TIOParamsVals& P, TVLProgressRecord& Pr, bool& A)
        : Stream(S), Params(P), Progress(Pr), Aborting(A), Entries(S, A) {}

    TStream& Stream;
    TIOParamsVals& Params;
    TVLProgressRecord& Progress;
    bool& Aborting;
    TTIFFEntryList Entries;

    // The bitmap encoded: the caller's or Owned.
    TVLBitmap* Work = nullptr;
    std::unique_ptr<TVLBitmap> Owned;
    // The caller's alpha channel, written as a fourth sample when HasAlpha.
    TVLBitmap* Alpha = nullptr;

    TVLTIFFCompression Compression = tcNone;
    int32_t CompressionTag = 1;
    bool G3TwoDimensional = false;
    int32_t FillOrder = 1;
    uint8_t PhotometricCode = pcRGB;
    int32_t Predictor = 1;
    std::unique_ptr<TVLQuantizer> Quantizer;
    std::vector<TVLRGB> QuantizerPalette;
    // The two colours of a picture made bilevel, bit 0 and bit 1; empty for black and white.
    std::vector<TVLRGB> TwoColors;
    // Bits of one sample as written (tag 258) and samples per pixel (tag 277).
    int32_t Bits = 8;
    int32_t Samples = 3;
    int32_t JPEGQuality = 80;
    TVLJpegColorSpace JPEGColorSpace = jcYCbCr;
    bool HasAlpha = false;
    TVLTIFFLZWEncoder LZWEncoder = nullptr;
    TZCompressionLevel DeflateLevel = zcDefault;

    void Use(std::unique_ptr<TVLBitmap> Copy) {
        Owned = std::move(Copy);
        Work = Owned.get();
    }
};

// ---- Choice of the data -------------------------------------------------------------------

// Formats whose rows the writer has no layout for become a copy it has one for.
void NormaliseFormat(TWriter& W) {
    switch (W.Work->GetPixelFormat()) {
    case vl32f:
        W.Use(ConvertedCopy(*W.Work, vl16g));
        break;
    case vlCIELab:
    case vl32RGB:
        W.Use(ConvertedCopy(*W.Work, vl24RGB));
        break;
    default:
        break;
    }
}

void ChooseBilevel(TWriter& W, int32_t B, int32_t S) {
    const bool bilevel = B == 1 && S == 1;
    const TVLPixelFormat format = W.Work->GetPixelFormat();
    if (!bilevel && format == vl1g) W.Use(ConvertedCopy(*W.Work, vl24RGB));
    if (!bilevel || format == vl1g) return;
    TVLRGB color0{}, color1{};
    auto twoColors = TryMakeTwoColorBitmap(*W.Work, color0, color1);
    if (!twoColors) {
        W.Use(ConvertedCopy(*W.Work, vl1g));
        return;
    }
    W.Use(std::move(twoColors));
    // Two colours that are not black and white keep their colours in a two-entry palette.
    if (!(color0 == TVLRGB{0, 0, 0} && color1 == TVLRGB{255, 255, 255}))
        W.TwoColors = {color0, color1};
}

// One sample per pixel of 2 to 8 or 16 bits: grey levels or palette indexes, both through a
// quantizer built from the picture.
void ChooseQuantized(TWriter& W, int32_t& B, TVLTIFFPhotometric& Ph, TVLTIFFCompression& C) {
    // The quantizer reads 24-bit, grey and palette pictures only.
    const TVLPixelFormat format = W.Work->GetPixelFormat();
    if (format == vlCMYK || format == vlRGB48) W.Use(ConvertedCopy(*W.Work, vl24RGB));
    const int32_t colors = std::min(1 << std::min(B, 8), 256);
    W.QuantizerPalette.assign(256, TVLRGB{});
    W.Quantizer = std::make_unique<TVLQuantizer>(*W.Work, W.QuantizerPalette, colors);
    if (C != tcLZW && C != tcPackBits && C != tcZIP && C != tcDeflate) C = tcNone;
    Ph = W.Quantizer->GetIsGray() ? tpBlackIsZero : tpRGBPalette;
    // 16-bit samples stay only for grey from a 16-bit picture.
    if (B == 16 && !(Ph == tpBlackIsZero && W.Work->GetPixelFormat() == vl16g)) B = 8;
}

void AdjustSamples(TWriter& W, int32_t& B, int32_t& S, TVLTIFFPhotometric& Ph,
                   TVLTIFFCompression C) {
    const TVLPixelFormat format = W.Work->GetPixelFormat();
    if (Ph == tpRGBPalette && S > 1) Ph = tpRGB;
    if (format == vlRGB48) S = 3, B = 16, Ph = tpRGB;
    if (B > 8 && S != 1) S = 3, B = 8, Ph = tpRGB;
    if ((Ph == tpWhiteIsZero || Ph == tpBlackIsZero) && B == 8 && S == 3) Ph = tpRGB;
    if (Ph == tpRGB && S == 1 && B == 1) Ph = tpBlackIsZero;
    if (Ph == tpYCbCr && C != tcJPEG) Ph = tpRGB;
    if (Ph == tpRGB && S > 3) S = 3;
    if (format == vlRGB48) S = 3, B = 16, Ph = tpRGB;
    if (format == vlCMYK) S = 4, B = 8, Ph = tpCMYK;
}

uint8_t PhotometricCodeOf(TVLTIFFPhotometric Ph) {
    switch (Ph) {
    case tpWhiteIsZero:
    case tpBlackIsZero:
        return pcGrey;
    case tpRGBPalette:
        return pcPalette;
    case tpCMYK:
        return pcCMYK;
    case tpCIELab:
        return pcCIELab;
    default:
        return pcRGB;
    }
}

uint8_t JPEGPhotometricCode(TWriter& W) {
    switch (W.JPEGColorSpace) {
    case jcRGB:
        return pcRGB;
    case jcGrayScale:
        return pcGrey;
    case jcYCbCr:
        return pcYCbCr;
    case jcCMYK:
        return pcCMYK;
    default:
        W.JPEGColorSpace = jcRGB;
        return pcRGB;
    }
}

// Compression and the photometric code it needs. CCITT codes only a bilevel picture, and JPEG
// nothing bilevel (its data would not match the one-bit tags): both fall back to uncompressed.
void ChooseCompression(TWriter& W, TVLTIFFCompression& C) {
    const bool bilevel = W.Work->GetPixelFormat() == vl1g;
    if ((IsCCITT(C) && !bilevel) || (IsJPEG(C) && bilevel)) C = tcNone;
    W.Compression = C;
    switch (C) {
    case tcCCITT1D:
        W.CompressionTag = 2;
        break;
    case tcG3Fax1D:
        W.CompressionTag = 3;
        break;
    case tcG3Fax2D:
        W.CompressionTag = 3, W.G3TwoDimensional = true;
        break;
    case tcG4Fax:
        W.CompressionTag = 4;
        break;
    case tcLZW:
        W.CompressionTag = W.LZWEncoder != nullptr ? 5 : 1;
        break;
    case tcOldJPEG:
        W.CompressionTag = 6;
        break;
    case tcJPEG:
        W.CompressionTag = 7;
        break;
    case tcPackBits:
        W.CompressionTag = 32773;
        break;
    case tcZIP:
    case tcDeflate:
        W.CompressionTag = 32946;
        break;
    default:
        W.CompressionTag = 1;
        break;
    }
    if (IsCCITT(C)) W.PhotometricCode = pcWhiteIsZero;
    if (IsJPEG(C)) W.PhotometricCode = JPEGPhotometricCode(W);
}

// Every row layout needs the pixel formats it reads: bilevel and the quantized codes read any
// picture the quantizer took, the others 24-bit colour unless the picture is in their own
// 16-bit or CMYK form.
void MatchWorkToCode(TWriter& W) {
    const TVLPixelFormat format = W.Work->GetPixelFormat();
    if (format == vl1g) {
        // A fax compression codes black and white only; otherwise two colours keep theirs.
        if (W.PhotometricCode != pcWhiteIsZero)
            W.PhotometricCode = W.TwoColors.empty() ? pcGrey : pcPalette;
        if (W.PhotometricCode == pcPalette) W.QuantizerPalette = W.TwoColors;
        W.Bits = 1;
        W.Samples = 1;
        return;
    }
    if ((W.PhotometricCode == pcGrey || W.PhotometricCode == pcPalette) && !W.Quantizer &&
        !IsJPEG(W.Compression))
        W.PhotometricCode = pcRGB;
    if (W.PhotometricCode == pcGrey || W.PhotometricCode == pcPalette) {
        if (IsJPEG(W.Compression)) W.Bits = 8;
        W.Samples = 1;
        return;
    }
    const bool own = (W.PhotometricCode == pcRGB && format == vlRGB48) ||
                     (W.PhotometricCode == pcCMYK && format == vlCMYK);
    if (!own && format != vl24RGB) W.Use(ConvertedCopy(*W.Work, vl24RGB));
    W.Bits = W.Work->GetPixelFormat() == vlRGB48 && !IsJPEG(W.Compression) ? 16 : 8;
    W.Samples = W.PhotometricCode == pcCMYK ? 4 : 3;
}

void ChooseData(TWriter& W, TVLBitmap& Bitmap) {
    TIOParamsVals& params = W.Params;
    int32_t b = params.BitsPerSample;
    int32_t s = params.SamplesPerPixel;
    TVLTIFFPhotometric ph = params.TiffPhotometric;
    TVLTIFFCompression c = params.TiffCompression;
    W.Work = &Bitmap;
    NormaliseFormat(W);
    ChooseBilevel(W, b, s);
    if (s == 1 && ((b >= 2 && b <= 8) || b == 16)) ChooseQuantized(W, b, ph, c);
    AdjustSamples(W, b, s, ph, c);
    W.PhotometricCode = PhotometricCodeOf(ph);
    W.Bits = b;
    W.JPEGQuality = params.TiffJpegQuality;
    W.JPEGColorSpace = params.TiffJpegColorSpace;
    ChooseCompression(W, c);
    W.FillOrder = params.TiffFillOrder == 2 ? 2 : 1;
    MatchWorkToCode(W);
    if (W.CompressionTag == 5 && W.PhotometricCode == pcRGB && W.Bits == 8 &&
        W.Work->GetPixelFormat() == vl24RGB && !W.Work->HasAlphaChannel())
        W.Predictor = 2;
    const bool alphaCompression =
        W.CompressionTag == 1 || W.CompressionTag == 5 || W.CompressionTag == 32773;
    if (W.PhotometricCode == pcRGB && W.Bits == 8 && alphaCompression && Bitmap.HasAlphaChannel()) {
        TVLBitmap* alpha = Bitmap.GetAlphaChannel();
        alpha->SyncFull();
        if (!alpha->Full) W.Alpha = alpha;
    }
    W.HasAlpha = W.Alpha != nullptr;
    if (W.PhotometricCode == pcWhiteIsZero) {
        // The CCITT encoders take set bits as black.
        if (!W.Owned) W.Use(ConvertedCopy(*W.Work, vl1g));
        InvertBitmapBits(*W.Work);
    }
    params.BitsPerSample = W.Bits;
    params.SamplesPerPixel = W.Samples + (W.HasAlpha ? 1 : 0);
    params.TiffPhotometric = ph;
    params.TiffCompression = c;
    if (IsJPEG(c)) params.TiffJpegColorSpace = W.JPEGColorSpace;
}

// ---- Rows ---------------------------------------------------------------------------------

// Bytes of one written row.
int64_t WrittenRowBytes(const TWriter& W, int32_t Width) {
    const int64_t samples = int64_t{Width} * (W.Samples + (W.HasAlpha ? 1 : 0));
    return (samples * W.Bits + 7) / 8;
}

// Packs Count values of Bits bits (1 to 8) most significant bit first; 16 bits as words.
void PackSamples(const uint16_t* Values, int32_t Count, int32_t Bits, uint8_t* Out) {
    if (Bits == 16) {
        std::memcpy(Out, Values, size_t(Count) * 2);
        return;
    }
    if (Bits == 8) {
        for (int32_t i = 0; i < Count; ++i)
            Out[i] = static_cast<uint8_t>(Values[i]);
        return;
    }
    std::fill_n(Out, (int64_t{Count} * Bits + 7) / 8, uint8_t{0});
    int64_t bit = 0;
    for (int32_t i = 0; i < Count; ++i, bit += Bits) {
        const uint32_t v = Values[i] & ((1u << Bits) - 1);
        for (int32_t k = Bits - 1; k >= 0; --k) {
            const int64_t at = bit + (Bits - 1 - k);
            if ((v >> k) & 1) Out[at >> 3] |= static_cast<uint8_t>(0x80 >> (at & 7));
        }
    }
}

// Grey levels of a row in 16 bits, from any picture the quantizer took as grey.
void GreyLevels(TVLBitmap& B, int32_t Y, std::vector<uint16_t>& Levels) {
    const uint8_t* row = B.GetScanline(Y);
    const int32_t width = B.GetWidth();
    switch (B.GetPixelFormat()) {
    case vl16g:
        std::memcpy(Levels.data(), row, size_t(width) * 2);
        break;
    case vl8g:
        for (int32_t x = 0; x < width; ++x)
            Levels[x] = static_cast<uint16_t>(row[x] * 257);
        break;
    case vl8p: {
        const TVLRGB* palette = B.GetPalette();
        const int32_t count = palette != nullptr ? B.GetPaletteLength() : 0;
        for (int32_t x = 0; x < width; ++x)
            Levels[x] = static_cast<uint16_t>(row[x] < count ? palette[row[x]].r * 257 : 0);
        break;
    }
    default:
        for (int32_t x = 0; x < width; ++x)
            Levels[x] = static_cast<uint16_t>(row[x * 3 + 2] * 257);
        break;
    }
}

// The written index of each palette entry of a vl8p picture.
std::vector<uint16_t> PaletteIndexTable(const TWriter& W) {
    std::vector<uint16_t> table(256, 0);
    TVLBitmap& b = *W.Work;
    const TVLRGB* palette = b.GetPalette();
    const int32_t count = palette != nullptr ? std::min(b.GetPaletteLength(), 256) : 0;
    for (int32_t i = 0; i < count; ++i)
        table[i] = static_cast<uint16_t>(W.Quantizer->RGBToIndex(palette[i]));
    return table;
}

// One written row (before compression) into Out.
class TRowMaker {
public:
    explicit TRowMaker(const TWriter& W)
        : FW(W), FWidth(W.Work->GetWidth()), FValues(FWidth), FScratch(size_t(FWidth) * 6 + 8) {
        if (W.PhotometricCode == pcPalette && W.Work->GetPixelFormat() == vl8p)
            FIndexTable = PaletteIndexTable(W);
    }

    void Make(int32_t Y, uint8_t* Out) {
        TVLBitmap& b = *FW.Work;
        const uint8_t* row = b.GetScanline(Y);
        switch (b.GetPixelFormat()) {
        case vl1g:
            std::memcpy(Out, row, (size_t(FWidth) + 7) / 8);
            return;
        case vlCMYK:
            for (int32_t i = 0; i < FWidth * 4; ++i)
                Out[i] = static_cast<uint8_t>(~row[i]);
            return;
        case vlRGB48:
            std::memcpy(Out, row, size_t(FWidth) * 6);
            return;
        default:
            break;
        }
        if (FW.PhotometricCode == pcGrey) return MakeGrey(Y, Out);
        if (FW.PhotometricCode == pcPalette) {
            PaletteIndexes(row);
            return PackSamples(FValues.data(), FWidth, FW.Bits, Out);
        }
        std::memcpy(FScratch.data(), row, size_t(FWidth) * 3);
        if (FW.PhotometricCode == pcCMYK) {
            ColorConversionHook(FScratch.data(), ColorLayoutBGR, Out, &FW.Params, FWidth,
                                ColorTargetCMYK);
            for (int32_t i = 0; i < FWidth * 4; ++i)
                Out[i] = static_cast<uint8_t>(~Out[i]);
            return;
        }
        if (FW.PhotometricCode == pcCIELab) {
            ColorConversionHook(FScratch.data(), ColorLayoutBGR, Out, &FW.Params, FWidth,
                                ColorTargetCIELab);
            return;
        }
        MakeRGB(Y, row, Out);
    }

private:
    void PaletteIndexes(const uint8_t* Row) {
        if (!FIndexTable.empty()) {
            for (int32_t x = 0; x < FWidth; ++x)
                FValues[x] = FIndexTable[Row[x]];
            return;
        }
        FW.Quantizer->RGBRowToIndexes(reinterpret_cast<const TVLRGB*>(Row), FScratch.data(),
                                      FWidth);
        for (int32_t x = 0; x < FWidth; ++x)
            FValues[x] = FScratch[x];
    }

    void MakeGrey(int32_t Y, uint8_t* Out) {
        GreyLevels(*FW.Work, Y, FValues);
        if (FW.Bits != 16) {
            const uint32_t top = (1u << FW.Bits) - 1;
            for (uint16_t& v : FValues)
                v = static_cast<uint16_t>((v * top + 32767) / 65535);
        }
        PackSamples(FValues.data(), FWidth, FW.Bits, Out);
    }

    void MakeRGB(int32_t Y, const uint8_t* Row, uint8_t* Out) {
        const uint8_t* alpha = FW.HasAlpha ? FW.Alpha->GetScanline(Y) : nullptr;
        const int32_t step = alpha != nullptr ? 4 : 3;
        for (int32_t x = 0; x < FWidth; ++x) {
            uint8_t* o = Out + x * step;
            o[0] = Row[x * 3 + 2];
            o[1] = Row[x * 3 + 1];
            o[2] = Row[x * 3];
            if (alpha != nullptr) o[3] = alpha[x];
        }
        if (FW.Predictor != 2) return;
        for (int32_t i = FWidth * 3 - 1; i >= 3; --i)
            Out[i] = static_cast<uint8_t>(Out[i] - Out[i - 3]);
    }

    const TWriter& FW;
    int32_t FWidth;
    std::vector<uint16_t> FValues;
    std::vector<uint8_t> FScratch;
    std::vector<uint16_t> FIndexTable;
};

// ---- Compression --------------------------------------------------------------------------

void PackBitsRow(const uint8_t* Data, int32_t Count, std::vector<uint8_t>& Out) {
    Out.clear();
    int32_t literalStart = 0;
    auto flushLiteral = [&](int32_t End) {
        while (literalStart < End) {
            const int32_t n = std::min(End - literalStart, 128);
            Out.push_back(static_cast<uint8_t>(n - 1));
            Out.insert(Out.end(), Data + literalStart, Data + literalStart + n);
            literalStart += n;
        }
    };
    int32_t i = 0;
    while (i < Count) {
        int32_t run = 1;
        while (i + run < Count && run < 128 && Data[i + run] == Data[i])
            ++run;
        if (run >= 4) {
            flushLiteral(i);
            Out.push_back(static_cast<uint8_t>(1 - run));
            Out.push_back(Data[i]);
            i += run;
            literalStart = i;
        } else {
            i += run;
        }
    }
    flushLiteral(Count);
}

// The state of one strip's compression.
class TStripCoder {
public:
    explicit TStripCoder(TWriter& W) : FW(W) {}
    // Frees the coders' state after an exception; a normal end has finished the strip.
    ~TStripCoder() {
        try {
            Finish();
        } catch (const Exception&) {
        }
    }
    TStripCoder(const TStripCoder&) = delete;
    TStripCoder& operator=(const TStripCoder&) = delete;

    void Start() {
        if (FW.CompressionTag == 32946)
            FZip = std::make_unique<TZCompressionStream>(FW.Stream, FW.DeflateLevel);
    }

    void Row(const uint8_t* Data, int32_t Count, int32_t Width) {
        switch (FW.CompressionTag) {
        case 2:
            EncodeCCITTRowMH(Data, Width, FW.Stream, FW.Aborting, FW.FillOrder);
            break;
        case 3:
            if (FW.G3TwoDimensional)
                EncodeCCITTG3Row2D(Data, Width, FW.Stream, FPendingByte, FPendingBits, FReference,
                                   FW.Aborting, FW.FillOrder);
            else
                EncodeCCITTG3Row1D(Data, Width, FW.Stream, FPendingByte, FPendingBits, FW.Aborting,
                                   FW.FillOrder);
            break;
        case 4:
            EncodeCCITTG4Row(Data, Width, FW.Stream, FPendingByte, FPendingBits, FReference,
                             FW.Aborting, FW.FillOrder);
            break;
        case 5:
            FW.LZWEncoder(Data, Count, FW.Stream, FLZWState);
            break;
        case 32773:
            PackBitsRow(Data, Count, FPacked);
            SafeStreamWrite(FW.Stream, FW.Aborting, FPacked.data(),
                            static_cast<int32_t>(FPacked.size()));
            break;
        case 32946:
            FZip->WriteBuffer(Data, Count);
            break;
        default:
            SafeStreamWrite(FW.Stream, FW.Aborting, Data, Count);
            break;
        }
    }

    // Ends the strip: pending bits, the LZW end code, the rest of the deflated data.
    void Finish() {
        switch (FW.CompressionTag) {
        case 3:
            if (FW.G3TwoDimensional)
                EncodeCCITTG3Row2D(nullptr, 0, FW.Stream, FPendingByte, FPendingBits, FReference,
                                   FW.Aborting, FW.FillOrder);
            else
                EncodeCCITTG3Row1D(nullptr, 0, FW.Stream, FPendingByte, FPendingBits, FW.Aborting,
                                   FW.FillOrder);
            break;
        case 4:
            EncodeCCITTG4Row(nullptr, 0, FW.Stream, FPendingByte, FPendingBits, FReference,
                             FW.Aborting, FW.FillOrder);
            break;
        case 5:
            if (FLZWState != nullptr) FW.LZWEncoder(nullptr, 0, FW.Stream, FLZWState);
            break;
        case 32946:
            if (FZip) {
                auto zip = std::move(FZip);
                zip->Finish();
            }
            break;
        default:
            break;
        }
        FPendingByte = 0;
        FPendingBits = 0;
    }

private:
    TWriter& FW;
    uint8_t FPendingByte = 0;
    int32_t FPendingBits = 0;
    uint8_t* FReference = nullptr;
    void* FLZWState = nullptr;
    std::unique_ptr<TZCompressionStream> FZip;
    std::vector<uint8_t> FPacked;
};

int32_t RowsPerStrip(const TWriter& W) {
    const int32_t height = W.Work->GetHeight();
    if (W.CompressionTag == 7 || W.CompressionTag == 32946) return height;
    const int64_t bytes = int64_t{height} * W.Work->GetRowLen();
    const int64_t strips = std::max<int64_t>(bytes / StripBytes, 1);
    return static_cast<int32_t>(std::max<int64_t>(height / strips, 1));
}

int64_t Position(const TWriter& W) {
    return W.Stream.GetPosition() - W.Entries.Base;
}

void AddStripTags(TWriter& W, int32_t RowsPerStripValue, const std::vector<uint32_t>& Offsets,
                  const std::vector<uint32_t>& Counts) {
    W.Entries.AddLong(278, static_cast<uint32_t>(RowsPerStripValue));
    if (Offsets.size() == 1) {
        W.Entries.AddLong(273, Offsets[0]);
        W.Entries.AddLong(279, Counts[0]);
    } else {
        W.Entries.AddLongs(273, Offsets);
        W.Entries.AddLongs(279, Counts);
    }
}

// The picture as a JPEG datastream with the writer's quality and colour space.
void WriteJPEGData(TWriter& W, TStream& Out) {
    TIOParamsVals jpeg;
    jpeg.JpegQuality = W.JPEGQuality;
    jpeg.JpegColorSpace = W.JPEGColorSpace;
    jpeg.SetDpiX(W.Params.DpiX);
    jpeg.SetDpiY(W.Params.DpiY);
    WriteJPEGStream(Out, *W.Work, jpeg, W.Progress);
}

void AddSubsampling(TWriter& W) {
    if (W.PhotometricCode != pcYCbCr) return;
    W.Entries.AddShorts(530, {2, 2});
}

void WriteStrips(TWriter& W) {
    const int32_t height = W.Work->GetHeight();
    const int32_t width = W.Work->GetWidth();
    const int32_t rowsPerStrip = RowsPerStrip(W);
    std::vector<uint32_t> offsets, counts;
    if (W.CompressionTag == 7) {
        offsets.push_back(static_cast<uint32_t>(Position(W)));
        WriteJPEGData(W, W.Stream);
        counts.push_back(static_cast<uint32_t>(Position(W) - offsets[0]));
        AddStripTags(W, rowsPerStrip, offsets, counts);
        AddSubsampling(W);
        return;
    }
    TRowMaker maker(W);
    std::vector<uint8_t> row(static_cast<size_t>(WrittenRowBytes(W, width)) + 8);
    TStripCoder coder(W);
    for (int32_t y = 0; y < height && !W.Aborting; ++y) {
        if (y % rowsPerStrip == 0) {
            offsets.push_back(static_cast<uint32_t>(Position(W)));
            coder.Start();
        }
        W.Progress.ReportPercent(static_cast<int32_t>(int64_t{y} * 100 / height));
        maker.Make(y, row.data());
        coder.Row(row.data(), static_cast<int32_t>(WrittenRowBytes(W, width)), width);
        if ((y + 1) % rowsPerStrip == 0 || y + 1 == height) {
            coder.Finish();
            counts.push_back(static_cast<uint32_t>(Position(W) - offsets.back()));
        }
    }
    if (counts.size() < offsets.size()) coder.Finish();
    // A write that failed gets no directory; a stream that took nothing has no strip at all.
    if (W.Aborting || offsets.empty()) return;
    counts.resize(offsets.size(), 0);
    AddStripTags(W, rowsPerStrip, offsets, counts);
}

// Position of the first start-of-scan marker within Data, or 0 when there is none.
int64_t StartOfScan(const uint8_t* Data, int64_t Length) {
    for (int64_t i = 0; i + 1 < Length; ++i)
        if (Data[i] == 0xFF && Data[i + 1] == 0xDA) return i;
    return 0;
}

void WriteOldJPEG(TWriter& W) {
    TMemoryStream jpeg;
    WriteJPEGData(W, jpeg);
    if (W.Aborting) return;
    const int64_t position = Position(W);
    const int64_t length = jpeg.GetSize();
    SafeStreamWrite(W.Stream, W.Aborting, jpeg.Memory(), static_cast<int32_t>(length));
    const int64_t scan = StartOfScan(static_cast<const uint8_t*>(jpeg.Memory()), length);
    W.Entries.AddLong(514, static_cast<uint32_t>(length));
    W.Entries.AddLong(513, static_cast<uint32_t>(position));
    W.Entries.AddLong(278, static_cast<uint32_t>(W.Work->GetHeight()));
    W.Entries.AddLong(279, static_cast<uint32_t>(length - scan));
    W.Entries.AddLong(273, static_cast<uint32_t>(position + scan));
    W.Entries.AddShort(512, 1);
    AddSubsampling(W);
}

// ---- Tags ---------------------------------------------------------------------------------

void AddBitsPerSample(TWriter& W) {
    const int32_t count = W.Samples + (W.HasAlpha ? 1 : 0);
    if (count == 1) {
        W.Entries.AddShort(258, static_cast<uint16_t>(W.Bits));
        return;
    }
    W.Entries.AddShorts(258, std::vector<uint16_t>(size_t(count), static_cast<uint16_t>(W.Bits)));
}

void AddDescriptionTags(TWriter& W) {
    TIOParamsVals& params = W.Params;
    if (params.HasExif) {
        // The EXIF pixel dimensions name the picture written, which a turn may have swapped
        // since it was read; an EXIF block alone (no picture) keeps the record's.
        if (W.Work != nullptr) {
            params.ExifPixelXDimension = W.Work->GetWidth();
            params.ExifPixelYDimension = W.Work->GetHeight();
        }
        WriteTIFFExifTags(W.Entries, params);
        return;
    }
    W.Entries.AddAscii(270, params.TiffImageDescription);
    W.Entries.AddRational(282, params.DpiX, 1);
    W.Entries.AddRational(283, params.DpiY, 1);
    W.Entries.AddShort(296, 2);
}

void AddImageTags(TWriter& W) {
    TVLBitmap& b = *W.Work;
    W.Entries.AddLong(256, static_cast<uint32_t>(b.GetWidth()));
    W.Entries.AddLong(257, static_cast<uint32_t>(b.GetHeight()));
    AddBitsPerSample(W);
    W.Entries.AddShort(259, static_cast<uint16_t>(W.CompressionTag));
    W.Entries.AddShort(262, PhotometricTag(W.PhotometricCode));
    W.Entries.AddAscii(269, W.Params.TiffDocumentName);
    if (W.CompressionTag >= 2 && W.CompressionTag <= 4) {
        W.Entries.AddShort(266, static_cast<uint16_t>(W.FillOrder));
        W.Entries.AddShort(284, 1);
        W.Entries.AddShort(327, 0);
    }
}

void AddColorMap(TWriter& W) {
    const size_t n = size_t{1} << std::min(W.Bits, 8);
    std::vector<uint16_t> map(n * 3);
    for (size_t i = 0; i < n; ++i) {
        const TVLRGB& c = W.QuantizerPalette[i];
        map[i] = static_cast<uint16_t>(c.r * 257);
        map[n + i] = static_cast<uint16_t>(c.g * 257);
        map[2 * n + i] = static_cast<uint16_t>(c.b * 257);
    }
    W.Entries.AddShorts(320, map);
}

void AddTagsAfterImage(TWriter& W) {
    TIOParamsVals& params = W.Params;
    TTIFFEntryList& e = W.Entries;
    e.AddShort(277, static_cast<uint16_t>(W.Samples + (W.HasAlpha ? 1 : 0)));
    if (W.HasAlpha) e.AddShort(338, 2);
    if (W.Predictor == 2) e.AddShort(317, 2);
    e.AddAscii(285, params.TiffPageName);
    if (params.TiffXPos != 0) e.AddDoubles(286, {static_cast<double>(params.TiffXPos)});
    if (params.TiffYPos != 0) e.AddDoubles(287, {static_cast<double>(params.TiffYPos)});
    if (W.CompressionTag == 3) e.AddLong(292, W.G3TwoDimensional ? 1 : 0);
    if (W.CompressionTag == 4) e.AddLong(293, 0);
    e.AddLong(254, 0);
    if (params.TiffPageNumber >= 0 || params.TiffPageCount >= 0)
        e.AddShorts(297, {static_cast<uint16_t>(std::max(params.TiffPageNumber, 0)),
                          static_cast<uint16_t>(std::max(params.TiffPageCount, 0))});
    if (W.PhotometricCode == pcPalette) AddColorMap(W);
}

// ---- Header and insertion -----------------------------------------------------------------

struct TInsertPoint {
    int64_t LinkPosition = 4;
    uint32_t NextOffset = 0;
    int32_t ImageCount = 0;
};

bool ReadAt(TStream& Stream, int64_t Position, void* Buffer, int32_t Count) {
    Stream.SetPosition(Position);
    return Stream.Read(Buffer, Count) == Count;
}

// Walks the directory chain of a little-endian file for the link that image Index takes.
bool FindInsertPoint(TStream& Stream, int32_t Index, TInsertPoint& Point) {
    char header[4];
    if (!ReadAt(Stream, 0, header, 4) || header[0] != 'I' || header[1] != 'I') return false;
    const int64_t size = Stream.GetSize();
    std::set<uint32_t> visited;
    int64_t link = 4;
    int32_t i = 0;
    for (;;) {
        uint32_t offset = 0;
        if (!ReadAt(Stream, link, &offset, 4)) return false;
        // A chain that leaves the file or comes back to a directory ends at this link.
        if (offset != 0 && (offset + int64_t{2} > size || !visited.insert(offset).second))
            offset = 0;
        if (i == Index || (offset == 0 && i < Index)) {
            Point.LinkPosition = link;
            Point.NextOffset = offset;
        }
        if (offset == 0) break;
        uint16_t count = 0;
        if (!ReadAt(Stream, offset, &count, 2)) return false;
        link = offset + 2 + int64_t{count} * 12;
        ++i;
    }
    Point.ImageCount = i + 1;
    return true;
}

} // namespace

int32_t WriteTIFFStream(TStream& Stream, bool InsertPage, TVLBitmap* Bitmap, TIOParamsVals& Params,
                        TVLProgressRecord& Progress) {
    bool ownFlag = false;
    bool& aborting = Progress.AbortFlag != nullptr ? *Progress.AbortFlag : ownFlag;
    TWriter w(Stream, Params, Progress, aborting);
    w.LZWEncoder = Params.TiffLZWCompress;
    const int32_t level = Params.TiffDeflateLevel;
    w.DeflateLevel = level == 0 ? zcFastest : level == 2 ? zcMax : zcDefault;
    if (Bitmap != nullptr && (Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)) {
        aborting = true;
        return 0;
    }
    try {
        if (Bitmap != nullptr) ChooseData(w, *Bitmap);
        TInsertPoint insert;
        int64_t start = 0;
        if (InsertPage) {
            if (!FindInsertPoint(Stream, Params.TiffImageIndex, insert)) {
                aborting = true;
                return 0;
            }
            Stream.Seek(0, soEnd);
        } else {
            start = Stream.GetPosition();
            const uint8_t reserved[8] = {};
            SafeStreamWrite(Stream, aborting, reserved, 8);
            insert.ImageCount = 1;
        }
        w.Entries.Base = start;
        AddDescriptionTags(w);
        if (Bitmap != nullptr) {
            AddImageTags(w);
            const uint8_t access = w.Work->Access;
            w.Work->Access = 1;
            if (w.CompressionTag == 6)
                WriteOldJPEG(w);
            else
                WriteStrips(w);
            w.Work->Access = access;
        }
        if (aborting) return insert.ImageCount;
        // Without a picture the structure is an EXIF block: the IPTC, XMP and ICC blocks travel
        // in markers of their own there.
        if (Bitmap != nullptr) {
            AddTagsAfterImage(w);
            WriteTIFFMetadataTags(w.Entries, Params);
        }
        const int64_t ifd = w.Entries.WriteIFD(InsertPage ? insert.NextOffset : 0);
        const auto ifdOffset = static_cast<uint32_t>(ifd - start);
        const int64_t end = Stream.GetPosition();
        if (InsertPage) {
            Stream.SetPosition(insert.LinkPosition);
            SafeStreamWrite(Stream, aborting, &ifdOffset, 4);
        } else {
            const uint8_t header[4] = {'I', 'I', 42, 0};
            Stream.SetPosition(start);
            SafeStreamWrite(Stream, aborting, header, 4);
            SafeStreamWrite(Stream, aborting, &ifdOffset, 4);
        }
        Stream.SetPosition(end);
        return insert.ImageCount;
    } catch (const Exception&) {
        // Deflate errors and failing streams.
        aborting = true;
        return 0;
    }
}
