// Decoding the samples of TIFF strips and tiles into bitmap rows.
#include "imaging/formats/tiff/VLTIFFSamples.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLZLib.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr uint16_t CompNone = 1, CompMH = 2, CompG3 = 3, CompG4 = 4, CompLZW = 5, CompJPEG = 7,
                   CompDeflate = 8, CompZIP = 32946, CompPackBits = 32773;

bool IsCCITT(uint16_t Compression) { return Compression >= CompMH && Compression <= CompG4; }

// Bytes of Width pixels of Samples samples of Bits bits, the last byte partly used.
int64_t PackedBytes(int64_t Width, int32_t Samples, int32_t Bits) {
    return (Width * Samples * Bits + 7) / 8;
}

uint8_t Reversed(uint8_t B) {
    ReverseBitOrder8(B);
    return B;
}

uint16_t Word(const uint8_t* P, bool Intel) {
    return Intel ? static_cast<uint16_t>(P[0] | (P[1] << 8))
                 : static_cast<uint16_t>((P[0] << 8) | P[1]);
}

void PutWord(uint8_t* P, uint16_t V, bool Intel) {
    P[Intel ? 0 : 1] = static_cast<uint8_t>(V);
    P[Intel ? 1 : 0] = static_cast<uint8_t>(V >> 8);
}

// A colour sample premultiplied by its alpha (associated alpha) back to plain colour of the
// range 0..Max, truncated; malformed data can exceed its alpha, so it is held at Max, and a
// transparent pixel counts as the least alpha.
uint32_t Unpremultiplied(uint32_t Value, uint32_t Alpha, uint32_t Max) {
    return static_cast<uint32_t>(
        std::min<uint64_t>(Max, uint64_t{Value} * Max / std::max<uint32_t>(Alpha, 1)));
}

// The rows of one strip or tile of one plane, decompressed one after the other.
class TRowSource {
public:
    TRowSource(const TTIFFVars& Vars, const uint8_t* Data, int32_t Length, int32_t RowBytes,
               int32_t Width)
        : FVars(Vars), FData(Data), FLength(std::max(Length, 0)), FRowBytes(RowBytes),
          FWidth(Width) {}
    ~TRowSource() {
        if (FLZWState != nullptr) FVars.LZWDecoder(nullptr, 0, 0, FLZWState, FVars.FillOrder);
    }
    TRowSource(const TRowSource&) = delete;
    TRowSource& operator=(const TRowSource&) = delete;

    // The next row into Row (RowBytes bytes, the part the data does not cover zeroed); false
    // when the data is used up or the row cannot be produced (Failed is then set).
    bool Next(uint8_t* Row) {
        const int32_t index = FIndex++;
        switch (FVars.Compression) {
        case CompNone: return NextPlain(Row);
        case CompMH: return NextMH(Row);
        case CompG3:
        case CompG4: return NextFax(Row);
        case CompLZW: return NextLZW(Row);
        case CompDeflate:
        case CompZIP: return NextInflated(Row, index == 0);
        case CompPackBits: return NextPackBits(Row);
        default: Failed = true; return false;
        }
    }

    bool Failed = false;

private:
    // Copies what is left of at most Count bytes from Src, zeroing the rest of the row.
    void CopyPart(uint8_t* Row, const uint8_t* Src, int64_t Available) {
        const int64_t n = std::clamp<int64_t>(Available, 0, FRowBytes);
        if (n > 0) std::memcpy(Row, Src, static_cast<size_t>(n));
        if (n < FRowBytes) std::memset(Row + n, 0, static_cast<size_t>(FRowBytes - n));
    }

    bool NextPlain(uint8_t* Row) {
        if (FPos >= FLength) return false;
        CopyPart(Row, FData + FPos, FLength - FPos);
        FPos += FRowBytes;
        if (FVars.FillOrder == 2 && FVars.BitsPerSample == 1)
            for (int32_t i = 0; i < FRowBytes; ++i)
                Row[i] = Reversed(Row[i]);
        return true;
    }

    // Modified Huffman rows start on byte boundaries.
    bool NextMH(uint8_t* Row) {
        if (FPos >= FLength) return false;
        const int32_t used = DecodeCCITTRowMH(Row, FData + FPos, static_cast<int32_t>(FLength - FPos),
                                              FWidth, FVars.FillOrder);
        FPos += std::max(used, 1);
        return true;
    }

    bool NextFax(uint8_t* Row) {
        if (FBit >= FLength * 8) return false;
        const int32_t length = static_cast<int32_t>(FLength);
        if (FVars.Compression == CompG3 && (FVars.T4Options & 1) == 0)
            FBit = DecodeCCITTRow1D(Row, FData, length, FWidth, FBit, FVars.FillOrder);
        else
            FBit = DecodeCCITTRow2D(Row, FData, length, FWidth, FReference, FBit, FVars.FillOrder,
                                    FVars.Compression == CompG3 || (FVars.T4Options & 4) != 0);
        return true;
    }

    bool NextLZW(uint8_t* Row) {
        if (FVars.LZWDecoder == nullptr || FLength == 0) {
            Failed = FVars.LZWDecoder == nullptr;
            return false;
        }
        const uint8_t* row = FVars.LZWDecoder(FData, static_cast<int32_t>(FLength), FRowBytes,
                                              FLZWState, FVars.FillOrder);
        if (row == nullptr) {
            Failed = true;
            return false;
        }
        std::memcpy(Row, row, static_cast<size_t>(FRowBytes));
        return true;
    }

    // Rows are inflated one at a time, so a strip holding more rows than it is read for (a last
    // strip written whole) gives the rows wanted and no more is inflated. Data that ends early
    // ends the strip, as a stored strip cut short does; corrupt data fails. The rows before
    // stay either way.
    bool NextInflated(uint8_t* Row, bool First) {
        try {
            if (First) {
                FPacked = std::make_unique<TVLMemStream>(const_cast<uint8_t*>(FData), FLength);
                FInflater = std::make_unique<TZDecompressionStream>(*FPacked);
            }
            if (FInflater == nullptr) return false;
            const int32_t got = FInflater->Read(Row, FRowBytes);
            if (got <= 0) return false;
            if (got < FRowBytes) std::memset(Row + got, 0, static_cast<size_t>(FRowBytes - got));
            return true;
        } catch (const EZLibError&) {
            FInflater.reset();
            Failed = true;
            return false;
        }
    }

    uint8_t PackByte(int64_t At) const {
        return FVars.FillOrder == 2 ? Reversed(FData[At]) : FData[At];
    }

    // Runs until the row is full; bytes of a run beyond the row are dropped.
    bool NextPackBits(uint8_t* Row) {
        if (FPos >= FLength) return false;
        int32_t o = 0;
        while (o < FRowBytes && FPos < FLength) {
            const int32_t n = static_cast<int8_t>(PackByte(FPos++));
            if (n >= 0) {
                for (int32_t i = 0; i <= n && FPos < FLength; ++i, ++FPos)
                    if (o < FRowBytes) Row[o++] = PackByte(FPos);
            } else if (n != -128 && FPos < FLength) {
                const uint8_t value = PackByte(FPos++);
                for (int32_t i = 0; i < 1 - n && o < FRowBytes; ++i)
                    Row[o++] = value;
            }
        }
        if (o < FRowBytes) std::memset(Row + o, 0, static_cast<size_t>(FRowBytes - o));
        return true;
    }

    const TTIFFVars& FVars;
    const uint8_t* FData;
    int64_t FLength;
    int32_t FRowBytes;
    int32_t FWidth;
    int32_t FIndex = 0;
    int64_t FPos = 0;
    int64_t FBit = 0;
    TCCITTReference FReference;
    void* FLZWState = nullptr;
    std::unique_ptr<TVLMemStream> FPacked;
    std::unique_ptr<TZDecompressionStream> FInflater;
};

// Samples of fewer than 8 bits (but bilevel rows) to one byte each, the value in the low bits;
// grey levels are then spread over 0..255.
void WidenSamples(const TTIFFVars& Vars, const uint8_t* Packed, uint8_t* Out, int64_t Samples) {
    const int32_t bits = Vars.BitsPerSample;
    const int32_t mask = (1 << bits) - 1;
    for (int64_t i = 0; i < Samples; ++i) {
        const int64_t bit = i * bits;
        const int32_t pair = (Packed[bit >> 3] << 8) |
                             (((bit & 7) + bits > 8) ? Packed[(bit >> 3) + 1] : 0);
        Out[i] = static_cast<uint8_t>((pair >> (16 - (bit & 7) - bits)) & mask);
    }
    if (Vars.Photometric > 1) return;
    const int32_t factor = bits == 4 ? 17 : bits == 2 ? 85 : bits == 7 ? 2 : 1;
    if (factor != 1)
        for (int64_t i = 0; i < Samples; ++i)
            Out[i] = static_cast<uint8_t>(Out[i] * factor);
}

// How one decoded row becomes pixels, chosen once per strip.
enum class TRowKind {
    None,
    RGB,          // 3 or 4 samples of 8 bits
    RGBExtra,     // 5 or more samples of 8 bits with ExtraSamples
    RGB16,        // 3 or 4 samples of 16 bits
    RGB555,       // 1 sample of 16 bits
    PaletteAlpha, // index and a second sample
    Palette,
    Grey,         // 8, 4, 2 or 7 bits
    GreyAlpha,
    Grey16,       // 1 or 2 (with alpha) samples
    Bilevel,
    CMYK,  // 4 or more samples of 8 bits
    CMYK16,
    Lab,
    YCbCr, // subsampled 2 x 1
};

TRowKind RowKind(const TTIFFVars& V) {
    const int32_t s = V.SamplesPerPixel, b = V.BitsPerSample;
    switch (V.Photometric) {
    case 2:
        if (b == 8 && (s == 3 || s == 4)) return TRowKind::RGB;
        if (b == 8 && s >= 5 && V.ExtraSampleCount > 0) return TRowKind::RGBExtra;
        if (b == 16 && (s == 3 || s == 4)) return TRowKind::RGB16;
        if (b == 16 && s == 1) return TRowKind::RGB555;
        return TRowKind::None;
    case 3:
        if (b == 8 && s == 2) return TRowKind::PaletteAlpha;
        return b <= 8 && s == 1 ? TRowKind::Palette : TRowKind::None;
    case 0:
    case 1:
        if (s == 1 && (b == 8 || b == 4 || b == 2 || b == 7)) return TRowKind::Grey;
        if (s == 2 && b == 8) return TRowKind::GreyAlpha;
        if ((s == 1 || s == 2) && b == 16) return TRowKind::Grey16;
        return s == 1 && b == 1 ? TRowKind::Bilevel : TRowKind::None;
    case 5:
        if (b == 8 && s >= 4) return TRowKind::CMYK;
        return b == 16 && s == 4 ? TRowKind::CMYK16 : TRowKind::None;
    case 8: return b == 8 && s == 3 ? TRowKind::Lab : TRowKind::None;
    case 6:
        return b == 8 && s == 3 && V.YCbCrSubsamplingH == 2 && V.YCbCrSubsamplingV == 1
                   ? TRowKind::YCbCr
                   : TRowKind::None;
    default: return TRowKind::None;
    }
}

// The bitmap format a kind writes into without going through 24-bit colour.
TVLPixelFormat NativeFormatOf(TRowKind Kind) {
    switch (Kind) {
    case TRowKind::Palette: return TVLPixelFormat::vl8p;
    case TRowKind::Grey: return TVLPixelFormat::vl8g;
    case TRowKind::Grey16: return TVLPixelFormat::vl16g;
    case TRowKind::Bilevel: return TVLPixelFormat::vl1g;
    case TRowKind::CMYK:
    case TRowKind::CMYK16: return TVLPixelFormat::vlCMYK;
    case TRowKind::RGB16: return TVLPixelFormat::vlRGB48;
    default: return TVLPixelFormat::vl24RGB;
    }
}

// Puts decoded rows (samples widened to bytes) into the bitmap and the mask.
class TRowWriter {
public:
    TRowWriter(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t Width, int32_t X)
        : FVars(Vars), FBitmap(Bitmap), FWidth(Width), FX(X), FKind(RowKind(Vars)) {
        FFormat = Bitmap.GetPixelFormat();
        FNative = FFormat == NativeFormatOf(FKind);
        FCount = std::clamp(Bitmap.GetWidth() - X, 0, Width);
        FAlpha = Vars.AlphaMask != nullptr && !Vars.IgnoreAlpha;
        // The alpha of grey and RGB pixels is their first extra sample.
        FAssociated = Vars.ExtraSample == 1;
        // Bilevel rows go straight into the bitmap's bits: a colour row there would take 24
        // times the bitmap's row, gigabytes for a CCITT strip whose rows cost a bit each.
        if (FKind != TRowKind::Bilevel) FColour.resize(static_cast<size_t>(Width));
    }

    // The layout can be written into this bitmap.
    bool Valid() const {
        if (FKind == TRowKind::None || FX < 0) return false;
        return FNative || (FKind != TRowKind::Bilevel && FFormat == TVLPixelFormat::vl24RGB);
    }

    void Write(int32_t Y, uint8_t* S) {
        if (Y < 0 || Y >= FBitmap.GetHeight() || FCount == 0) return;
        uint8_t* line = FBitmap.GetScanline(Y);
        if (FKind == TRowKind::Bilevel) return WriteBits(line, S);
        if (FNative && FKind != TRowKind::RGB16 && WriteNative(line, Y, S)) return;
        if (FNative && FKind == TRowKind::RGB16) return WriteRGB48(line, S);
        ToColour(Y, S);
        std::memcpy(line + int64_t{FX} * 3, FColour.data(), static_cast<size_t>(FCount) * 3);
    }

private:
    void Mask(int32_t I, int32_t Y, int32_t Value) {
        if (I < FCount) FVars.AlphaMask->SetPixel(FX + I, Y, Value);
    }
    void Hook(void* Source, uint8_t Layout) {
        ColorConversionHook(Source, Layout, FColour.data(), FVars.Params, FWidth,
                            ColorTargetBGR);
    }
    // The first Size bytes of every pixel of Step bytes, packed together.
    uint8_t* Packed(const uint8_t* S, int32_t Step, int32_t Size) {
        FScratch.resize(static_cast<size_t>(FWidth) * Size);
        for (int32_t i = 0; i < FWidth; ++i)
            std::memcpy(&FScratch[static_cast<size_t>(i) * Size], S + int64_t{i} * Step,
                        static_cast<size_t>(Size));
        return FScratch.data();
    }
    void SetRGB(int32_t I, int32_t R, int32_t G, int32_t B) {
        FColour[I] = {static_cast<uint8_t>(B), static_cast<uint8_t>(G), static_cast<uint8_t>(R)};
    }
    TVLRGB MapColour(int32_t Index) const {
        return Index < static_cast<int32_t>(FVars.ColorMap.size()) ? FVars.ColorMap[Index]
                                                                     : TVLRGB{};
    }

    // Whole bytes when the piece starts on a byte of the line, as strips and tiles do; pixel by
    // pixel otherwise.
    void WriteBits(uint8_t* Line, const uint8_t* S) {
        const bool invert = IsCCITT(FVars.Compression) ? FVars.Photometric == 1
                                                       : FVars.Photometric == 0;
        if ((FX & 7) == 0) return WriteBitBytes(Line + (FX >> 3), S, invert ? 0xFF : 0);
        for (int32_t i = 0; i < FCount; ++i) {
            const bool set = ((S[i >> 3] >> (7 - (i & 7))) & 1) != invert;
            const int32_t x = FX + i;
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            Line[x >> 3] = set ? (Line[x >> 3] | bit) : (Line[x >> 3] & ~bit);
        }
    }

    // FCount pixels to Out from its first bit; the line's bits after them are kept.
    void WriteBitBytes(uint8_t* Out, const uint8_t* S, uint8_t Flip) {
        const int32_t whole = FCount >> 3;
        for (int32_t i = 0; i < whole; ++i)
            Out[i] = static_cast<uint8_t>(S[i] ^ Flip);
        if (const int32_t rest = FCount & 7) {
            const auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
            Out[whole] = static_cast<uint8_t>((Out[whole] & ~mask) | ((S[whole] ^ Flip) & mask));
        }
    }

    void WriteRGB48(uint8_t* Line, const uint8_t* S) {
        const int32_t step = FVars.SamplesPerPixel * 2;
        auto* out = reinterpret_cast<TVLRGB48*>(Line) + FX;
        for (int32_t i = 0; i < FCount; ++i) {
            const uint8_t* p = S + int64_t{i} * step;
            out[i] = {Word(p, FVars.IntelByteOrder), Word(p + 2, FVars.IntelByteOrder),
                      Word(p + 4, FVars.IntelByteOrder)};
        }
    }

    // Palette indexes, grey levels and CMYK inks in the file's own format; false for a kind
    // that has no such path.
    bool WriteNative(uint8_t* Line, int32_t, const uint8_t* S) {
        const bool inv = FVars.Photometric == 0;
        switch (FKind) {
        case TRowKind::Palette: std::memcpy(Line + FX, S, static_cast<size_t>(FCount)); return true;
        case TRowKind::Grey:
            for (int32_t i = 0; i < FCount; ++i)
                Line[FX + i] = inv ? static_cast<uint8_t>(255 - S[i]) : S[i];
            return true;
        case TRowKind::Grey16: {
            auto* out = reinterpret_cast<uint16_t*>(Line) + FX;
            for (int32_t i = 0; i < FCount; ++i) {
                const uint16_t v = Word(S + 2 * i, FVars.IntelByteOrder);
                out[i] = inv ? static_cast<uint16_t>(65535 - v) : v;
            }
            return true;
        }
        case TRowKind::CMYK:
        case TRowKind::CMYK16: {
            const uint8_t* inks = Inks(S);
            std::memcpy(Line + int64_t{FX} * 4, inks, static_cast<size_t>(FCount) * 4);
            return true;
        }
        default: return false;
        }
    }

    // Four stored (inverted) inks per pixel.
    uint8_t* Inks(const uint8_t* S) {
        const bool wide = FKind == TRowKind::CMYK16;
        const int32_t step = FVars.SamplesPerPixel * (wide ? 2 : 1);
        FScratch.resize(static_cast<size_t>(FWidth) * 4);
        for (int32_t i = 0; i < FWidth; ++i)
            for (int32_t k = 0; k < 4; ++k) {
                const uint8_t* p = S + int64_t{i} * step + (wide ? 2 * k : k);
                const uint8_t ink = wide ? static_cast<uint8_t>(Word(p, FVars.IntelByteOrder) >> 8)
                                         : *p;
                FScratch[static_cast<size_t>(i) * 4 + k] = static_cast<uint8_t>(255 - ink);
            }
        return FScratch.data();
    }

    // The row as blue, green, red in FColour (and alpha into the mask).
    void ToColour(int32_t Y, uint8_t* S) {
        const int32_t spp = FVars.SamplesPerPixel;
        switch (FKind) {
        case TRowKind::RGB:
            if (spp == 4 && FAlpha) {
                FVars.AlphaMask->Full = false;
                for (int32_t i = 0; i < FWidth; ++i) {
                    const uint8_t* p = S + int64_t{i} * 4;
                    SetRGB(i, Plain(p[0], p[3]), Plain(p[1], p[3]), Plain(p[2], p[3]));
                    Mask(i, Y, p[3]);
                }
            } else {
                Hook(spp == 3 ? S : Packed(S, spp, 3), ColorLayoutRGB);
            }
            break;
        case TRowKind::RGBExtra: ExtraSamples(Y, S); break;
        case TRowKind::RGB16: {
            uint8_t* rgb = S;
            if (spp == 4 && FAlpha)
                rgb = RGB48WithAlpha(Y, S);
            else if (spp != 3)
                rgb = Packed(S, spp * 2, 6);
            Hook(rgb, FVars.IntelByteOrder ? ColorLayoutRGB48LE : ColorLayoutRGB48BE);
            break;
        }
        case TRowKind::RGB555:
            for (int32_t i = 0; i < FWidth; ++i) {
                const uint16_t v = Word(S + 2 * i, FVars.IntelByteOrder);
                SetRGB(i, ((v >> 10) * 8) & 255, (((v >> 5) & 31) * 8) & 255, ((v & 31) * 8) & 255);
            }
            break;
        case TRowKind::PaletteAlpha:
            for (int32_t i = 0; i < FWidth; ++i) {
                FColour[i] = MapColour(S[2 * i]);
                if (FAlpha) Mask(i, Y, 255 - S[2 * i + 1]);
            }
            break;
        case TRowKind::Palette:
            for (int32_t i = 0; i < FWidth; ++i)
                FColour[i] = MapColour(S[i]);
            break;
        case TRowKind::Grey:
        case TRowKind::GreyAlpha: Grey(Y, S); break;
        case TRowKind::Grey16: Grey16(Y, S); break;
        case TRowKind::CMYK:
        case TRowKind::CMYK16: Hook(Inks(S), ColorLayoutCMYK); break;
        case TRowKind::Lab: Hook(S, ColorLayoutCIELab); break;
        case TRowKind::YCbCr: YCbCr(S); break;
        default: break;
        }
    }

    void Grey(int32_t Y, const uint8_t* S) {
        const int32_t step = FKind == TRowKind::GreyAlpha ? 2 : 1;
        const bool inv = FVars.Photometric == 0;
        if (step == 2 && FAlpha) FVars.AlphaMask->Full = false;
        for (int32_t i = 0; i < FWidth; ++i) {
            const bool alpha = step == 2 && FAlpha;
            const uint8_t g = alpha ? Plain(S[i * 2], S[i * 2 + 1]) : S[i * step];
            const int32_t v = inv ? 255 - g : g;
            SetRGB(i, v, v, v);
            if (alpha) Mask(i, Y, S[i * 2 + 1]);
        }
    }

    // 16-bit alpha to the mask's 8 bits, rounded.
    static int32_t Alpha8(uint16_t A) { return (A + 128) / 257; }

    // An 8-bit colour sample under alpha A as plain colour.
    uint8_t Plain(uint8_t V, uint8_t A) const {
        return FAssociated ? static_cast<uint8_t>(Unpremultiplied(V, A, 255)) : V;
    }

    // The colour words of 16-bit RGB pixels with alpha, plain, in the file's byte order; the
    // alpha into the mask.
    uint8_t* RGB48WithAlpha(int32_t Y, const uint8_t* S) {
        const bool intel = FVars.IntelByteOrder;
        FScratch.resize(static_cast<size_t>(FWidth) * 6);
        FVars.AlphaMask->Full = false;
        for (int32_t i = 0; i < FWidth; ++i) {
            const uint8_t* p = S + int64_t{i} * 8;
            const uint16_t a = Word(p + 6, intel);
            for (int32_t k = 0; k < 3; ++k) {
                uint32_t v = Word(p + 2 * k, intel);
                if (FAssociated) v = Unpremultiplied(v, a, 65535);
                PutWord(&FScratch[static_cast<size_t>(i) * 6 + 2 * k], static_cast<uint16_t>(v),
                        intel);
            }
            Mask(i, Y, Alpha8(a));
        }
        return FScratch.data();
    }

    // 16-bit grey to 8 bits, a second sample alpha; a picture of 12-bit samples from the one
    // program known to write them so keeps its contrast.
    void Grey16(int32_t Y, const uint8_t* S) {
        const int32_t shift = FVars.Software.substr(0, 15) == "Look@Molli v1.1" ? 4 : 8;
        const int32_t step = FVars.SamplesPerPixel;
        const bool alpha = step == 2 && FAlpha;
        if (alpha) FVars.AlphaMask->Full = false;
        for (int32_t i = 0; i < FWidth; ++i) {
            const uint8_t* p = S + int64_t{i} * step * 2;
            int32_t v = Word(p, FVars.IntelByteOrder);
            const uint16_t a = alpha ? Word(p + 2, FVars.IntelByteOrder) : 65535;
            if (alpha && FAssociated) v = static_cast<int32_t>(Unpremultiplied(v, a, 65535));
            if (FVars.Photometric == 0) v = 65535 - v;
            v = std::min(v >> shift, 255);
            SetRGB(i, v, v, v);
            if (alpha) Mask(i, Y, Alpha8(a));
        }
    }

    // Alpha from the extra samples: plain alpha (2) is stored, premultiplied alpha (1) is also
    // divided out of the colour; other extra samples are skipped.
    void ExtraSamples(int32_t Y, const uint8_t* S) {
        const int32_t spp = FVars.SamplesPerPixel;
        const int32_t extras = std::min({FVars.ExtraSampleCount, spp - 3, 10});
        bool anyAlpha = false;
        for (int32_t j = 0; j < extras; ++j)
            anyAlpha = anyAlpha || FVars.ExtraSampleValues[j] == 1 ||
                       FVars.ExtraSampleValues[j] == 2;
        if (!FAlpha || !anyAlpha) return Hook(Packed(S, spp, 3), ColorLayoutRGB);
        for (int32_t i = 0; i < FWidth; ++i) {
            const uint8_t* p = S + int64_t{i} * spp;
            int32_t r = p[0], g = p[1], b = p[2];
            for (int32_t j = 0; j < extras; ++j) {
                const int32_t a = p[3 + j];
                const int32_t kind = FVars.ExtraSampleValues[j];
                if (kind != 1 && kind != 2) continue;
                Mask(i, Y, a);
                if (kind == 2) continue;
                r = static_cast<int32_t>(Unpremultiplied(r, a, 255));
                g = static_cast<int32_t>(Unpremultiplied(g, a, 255));
                b = static_cast<int32_t>(Unpremultiplied(b, a, 255));
            }
            SetRGB(i, r, g, b);
        }
    }

    // Y0, Y1, Cb, Cr groups of two pixels.
    void YCbCr(const uint8_t* S) {
        FScratch.resize(static_cast<size_t>(FWidth) * 3);
        for (int32_t i = 0; i < FWidth; ++i) {
            const uint8_t* group = S + int64_t{i / 2} * 4;
            uint8_t* out = &FScratch[static_cast<size_t>(i) * 3];
            out[0] = group[i & 1];
            out[1] = group[2];
            out[2] = group[3];
        }
        Hook(FScratch.data(), ColorLayoutYCbCr);
    }

    TTIFFVars& FVars;
    TVLBitmap& FBitmap;
    int32_t FWidth;
    int32_t FX;
    TRowKind FKind;
    TVLPixelFormat FFormat = TVLPixelFormat::vlNone;
    bool FNative = false;
    // Pixels of the row that lie within the bitmap.
    int32_t FCount = 0;
    bool FAlpha = false;
    bool FAssociated = false;
    std::vector<TVLRGB> FColour;
    std::vector<uint8_t> FScratch;
};

// Bytes of one row of data, per plane when Planar.
int64_t DataRowBytes(const TTIFFVars& V, int32_t Width, bool Planar) {
    if (V.Photometric == 6 && RowKind(V) == TRowKind::YCbCr && !Planar)
        return int64_t{(Width + 1) / 2} * 4;
    return PackedBytes(Width, Planar ? 1 : V.SamplesPerPixel, V.BitsPerSample);
}

// Sample counts and sizes within what row sizes can be computed from.
bool SaneSamples(const TTIFFVars& V) {
    return V.SamplesPerPixel >= 1 && V.SamplesPerPixel <= 256 && V.BitsPerSample >= 1 &&
           V.BitsPerSample <= 32;
}

bool PredictorApplies(const TTIFFVars& V) {
    return V.Predictor == 2 &&
           (V.Compression == CompLZW || V.Compression == CompDeflate || V.Compression == CompZIP);
}

// Samples of fewer than 8 bits are widened, except bilevel rows, which stay packed.
bool Widens(const TTIFFVars& V) {
    return V.BitsPerSample < 8 && !(V.BitsPerSample == 1 && V.Photometric != 3);
}

void StepProgress(TTIFFVars& Vars, TVLProgressRecord& Progress) {
    ++Progress.StepCount;
    if (!Progress.Handler) return;
    const int32_t per = std::clamp(static_cast<int32_t>(Progress.StepCount * Progress.PercentPerStep),
                                   0, 100);
    if (per == Vars.LastPercent) return;
    Vars.LastPercent = per;
    Progress.ReportPercent(per);
}

// The parameter fields a JPEG read overwrites.
struct TSavedJpegFields {
    explicit TSavedJpegFields(TIOParamsVals& P)
        : Params(P), DpiX(P.DpiX), DpiY(P.DpiY), Width(P.Width), Height(P.Height),
          OriginalWidth(P.OriginalWidth), OriginalHeight(P.OriginalHeight) {}
    ~TSavedJpegFields() {
        Params.SetDpiX(DpiX);
        Params.SetDpiY(DpiY);
        Params.Width = Width;
        Params.Height = Height;
        Params.OriginalWidth = OriginalWidth;
        Params.OriginalHeight = OriginalHeight;
    }
    TSavedJpegFields(const TSavedJpegFields&) = delete;
    TSavedJpegFields& operator=(const TSavedJpegFields&) = delete;
    TIOParamsVals& Params;
    int32_t DpiX, DpiY, Width, Height, OriginalWidth, OriginalHeight;
};

// The JPEG data's frame names its components 'R', 'G', 'B': the JPEG library then delivers them
// as they are, without a colour conversion to undo.
bool FrameNamesRGB(const uint8_t* Data, int32_t Length) {
    for (int32_t i = 2; i + 3 < Length;) {
        if (Data[i] != 0xFF) return false;
        const uint8_t marker = Data[i + 1];
        const int32_t length = (Data[i + 2] << 8) | Data[i + 3];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                           marker != 0xCC;
        if (frame) {
            const int32_t at = i + 4 + 6;
            return at + 6 < Length && Data[i + 9] == 3 && Data[at] == 'R' && Data[at + 3] == 'G' &&
                   Data[at + 6] == 'B';
        }
        i += 2 + length;
    }
    return false;
}

// A JPEG-compressed strip or tile, decoded whole and copied into place.
void DecodeJpegPiece(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t FirstRow,
                     TVLProgressRecord& Progress, int32_t Rows, int32_t Width, int32_t DataLength,
                     const uint8_t* Data, int32_t X) {
    if (Vars.Params == nullptr) return Progress.Abort();
    TVLMemStream stream(const_cast<uint8_t*>(Data), DataLength);
    TVLMemStream tables(Vars.JPEGTables.data(), static_cast<int64_t>(Vars.JPEGTables.size()));
    const bool haveTables = !Vars.JPEGTables.empty();
    const bool asRGB =
        haveTables && Vars.Photometric == 2 && !FrameNamesRGB(Data, DataLength);
    TVLBitmap piece;
    if (!piece.Allocate(Width, Rows, TVLPixelFormat::vl24RGB)) return Progress.Abort();
    TVLProgressRecord progress;
    progress.AbortFlag = Progress.AbortFlag;
    if (Vars.PieceCount <= 1) progress = Progress;
    const bool native = Bitmap.GetPixelFormat() != TVLPixelFormat::vl24RGB;
    try {
        TSavedJpegFields saved(*Vars.Params);
        ReadJPEGStream(stream, haveTables ? &tables : nullptr, piece, *Vars.Params, progress, false,
                       asRGB, false, true, false, false, -1, native);
    } catch (const Exception&) {
        // Broken tables: nothing of the piece could be decoded.
        return Progress.Abort();
    }
    if (Vars.PieceCount > 1) {
        ++Vars.PiecesDone;
        const int32_t per = std::clamp(Vars.PiecesDone * 100 / Vars.PieceCount, 0, 100);
        if (per != Vars.LastPercent && Progress.Handler) Progress.ReportPercent(per);
        Vars.LastPercent = per;
    }
    if (Progress.Aborting() || piece.GetWidth() == 0) return;
    if (asRGB && piece.GetPixelFormat() == TVLPixelFormat::vl24RGB)
        for (int32_t y = 0; y < piece.GetHeight(); ++y)
            SwapRedBlue(piece.GetScanline(y), piece.GetWidth());
    if (piece.GetPixelFormat() != Bitmap.GetPixelFormat())
        piece.SetPixelFormat(Bitmap.GetPixelFormat());
    piece.CopyRectTo(Bitmap, 0, 0, X, FirstRow, std::min(Width, piece.GetWidth()),
                     std::min(Rows, piece.GetHeight()));
}

} // namespace

void TIFFUndoPredictor(uint8_t* Row, int32_t Width, int32_t SamplesPerPixel, int32_t Bits,
                       bool IntelByteOrder) {
    const int64_t samples = int64_t{Width} * SamplesPerPixel;
    if (Bits == 8) {
        for (int64_t i = SamplesPerPixel; i < samples; ++i)
            Row[i] = static_cast<uint8_t>(Row[i] + Row[i - SamplesPerPixel]);
    } else if (Bits == 16) {
        for (int64_t i = SamplesPerPixel; i < samples; ++i) {
            uint8_t* p = Row + 2 * i;
            const uint16_t v = static_cast<uint16_t>(Word(p, IntelByteOrder) +
                                                     Word(p - 2 * SamplesPerPixel, IntelByteOrder));
            p[IntelByteOrder ? 0 : 1] = static_cast<uint8_t>(v);
            p[IntelByteOrder ? 1 : 0] = static_cast<uint8_t>(v >> 8);
        }
    }
}

void TIFFDecodeRows(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t FirstRow,
                    TVLProgressRecord& Progress, int32_t Rows, int32_t Width, int32_t DataLength,
                    const uint8_t* Data, int32_t X) {
    if (Rows <= 0 || Width <= 0) return;
    if (!SaneSamples(Vars)) return Progress.Abort();
    if (Vars.Compression == CompJPEG)
        return DecodeJpegPiece(Vars, Bitmap, FirstRow, Progress, Rows, Width, DataLength, Data, X);
    TRowWriter writer(Vars, Bitmap, Width, X);
    const int64_t rowBytes = DataRowBytes(Vars, Width, false);
    if (!writer.Valid() || rowBytes > std::numeric_limits<int32_t>::max() / 2)
        return Progress.Abort();
    const int64_t samples = int64_t{Width} * Vars.SamplesPerPixel;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes + 8));
    std::vector<uint8_t> wide(Widens(Vars) ? static_cast<size_t>(samples + 8) : 0);
    TRowSource source(Vars, Data, DataLength, static_cast<int32_t>(rowBytes), Width);
    for (int32_t r = 0; r < Rows && !Progress.Aborting(); ++r) {
        if (!source.Next(row.data())) {
            if (source.Failed) Progress.Abort();
            return;
        }
        uint8_t* samplesRow = row.data();
        if (Widens(Vars)) {
            WidenSamples(Vars, row.data(), wide.data(), samples);
            samplesRow = wide.data();
        }
        if (PredictorApplies(Vars))
            TIFFUndoPredictor(samplesRow, Width, Vars.SamplesPerPixel, Vars.BitsPerSample,
                              Vars.IntelByteOrder);
        writer.Write(FirstRow + r, samplesRow);
        StepProgress(Vars, Progress);
    }
}

void TIFFDecodePlanarRows(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t FirstRow,
                          TVLProgressRecord& Progress, int32_t Rows, int32_t Width,
                          const std::vector<TTIFFPlane>& Planes) {
    if (Rows <= 0 || Width <= 0) return;
    if (!SaneSamples(Vars)) return Progress.Abort();
    const int32_t spp = Vars.SamplesPerPixel;
    const int32_t bits = Vars.BitsPerSample;
    TRowWriter writer(Vars, Bitmap, Width, 0);
    // Planes are interleaved into the chunky layout; samples below 8 bits are widened first.
    const int32_t sampleBytes = bits == 16 ? 2 : 1;
    if (!writer.Valid() || spp > TIFFMaxPlanes || static_cast<int32_t>(Planes.size()) < spp ||
        (bits > 8 && bits != 16) || Vars.Compression == CompJPEG || RowKind(Vars) == TRowKind::YCbCr)
        return Progress.Abort();
    const int64_t rowBytes = DataRowBytes(Vars, Width, true);
    if (rowBytes * spp > std::numeric_limits<int32_t>::max() / 2) return Progress.Abort();
    std::vector<std::unique_ptr<TRowSource>> sources;
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(spp));
    for (int32_t p = 0; p < spp; ++p) {
        sources.push_back(std::make_unique<TRowSource>(Vars, Planes[p].Data, Planes[p].Length,
                                                       static_cast<int32_t>(rowBytes), Width));
        rows[p].resize(static_cast<size_t>(std::max<int64_t>(rowBytes, Width) + 8));
    }
    std::vector<uint8_t> chunky(static_cast<size_t>(int64_t{Width} * spp * sampleBytes + 8));
    std::vector<uint8_t> wide(static_cast<size_t>(Width + 8));
    for (int32_t r = 0; r < Rows && !Progress.Aborting(); ++r) {
        for (int32_t p = 0; p < spp; ++p) {
            TRowSource& source = *sources[p];
            if (!source.Next(rows[p].data())) {
                if (source.Failed) Progress.Abort();
                return;
            }
            if (Widens(Vars)) {
                WidenSamples(Vars, rows[p].data(), wide.data(), Width);
                std::memcpy(rows[p].data(), wide.data(), static_cast<size_t>(Width));
            }
            if (PredictorApplies(Vars))
                TIFFUndoPredictor(rows[p].data(), Width, 1, bits, Vars.IntelByteOrder);
            for (int32_t i = 0; i < Width; ++i)
                std::memcpy(&chunky[(static_cast<size_t>(i) * spp + p) * sampleBytes],
                            &rows[p][static_cast<size_t>(i) * sampleBytes],
                            static_cast<size_t>(sampleBytes));
        }
        writer.Write(FirstRow + r, chunky.data());
        StepProgress(Vars, Progress);
    }
}
