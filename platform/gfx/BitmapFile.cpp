// The class library's bitmap as a BMP file image, its drawing onto a canvas and its transparent
// colour.
#include "platform/gfx/Bitmap.h"

#include "platform/gfx/Canvas.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint16_t BmpSignature = 0x4D42; // "BM"
constexpr int32_t FileHeaderSize = 14;
constexpr int32_t CoreHeaderSize = 12;
constexpr int32_t InfoHeaderSize = 40;
// The largest picture a BMP may describe here (as the bitmap's own allocation limit).
constexpr int64_t MaxPixelBytes = int64_t{1} << 31;

uint16_t Word(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] | P[1] << 8);
}
uint32_t Long(const uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | static_cast<uint32_t>(P[3]) << 24;
}
void PutWord(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}
void PutLong(uint8_t* P, uint32_t V) {
    PutWord(P, V);
    PutWord(P + 2, V >> 16);
}

[[noreturn]] void Invalid(const char16_t* Why) {
    throw EInvalidGraphic(Why);
}

struct TBmpHeader {
    int32_t Width = 0;
    int32_t Height = 0; // negative: rows from the top
    int32_t BitCount = 0;
    uint32_t Compression = BI_RGB;
    uint32_t Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    int32_t ColorCount = 0;
    bool Core = false;
};

TBmpHeader ReadInfoHeader(TStream& Stream, int32_t Size) {
    TBmpHeader h;
    if (Size == CoreHeaderSize) {
        uint8_t b[CoreHeaderSize - 4];
        Stream.ReadBuffer(b, sizeof b);
        h.Width = Word(b);
        h.Height = Word(b + 2);
        h.BitCount = Word(b + 6);
        h.Core = true;
    } else {
        if (Size < InfoHeaderSize || Size > 1024) Invalid(u"Bitmap image is not valid");
        std::vector<uint8_t> b(static_cast<size_t>(Size - 4));
        Stream.ReadBuffer(b.data(), Size - 4);
        h.Width = static_cast<int32_t>(Long(&b[0]));
        h.Height = static_cast<int32_t>(Long(&b[4]));
        h.BitCount = Word(&b[10]);
        h.Compression = Long(&b[12]);
        h.ColorCount = static_cast<int32_t>(Long(&b[28]));
        const int32_t masks = Size >= 56 ? 4 : Size >= 52 ? 3 : 0;
        for (int i = 0; i < masks; ++i)
            h.Masks[i] = Long(&b[36 + 4 * i]);
        if (h.Compression == BI_BITFIELDS && masks == 0) {
            uint8_t m[12];
            Stream.ReadBuffer(m, sizeof m);
            for (int i = 0; i < 3; ++i)
                h.Masks[i] = Long(m + 4 * i);
        }
    }
    return h;
}

TPixelFormat FormatOf(const TBmpHeader& H) {
    if (H.Compression == BI_RGB) {
        switch (H.BitCount) {
        case 1:
            return pf1bit;
        case 4:
            return pf4bit;
        case 8:
            return pf8bit;
        case 16:
            return pf15bit;
        case 24:
            return pf24bit;
        case 32:
            return pf32bit;
        default:
            Invalid(u"Bitmap image is not valid");
        }
    }
    if (H.Compression != BI_BITFIELDS || (H.BitCount != 16 && H.BitCount != 32))
        Invalid(u"Unsupported bitmap compression");
    const uint32_t* m = H.Masks;
    if (H.BitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) return pf15bit;
    if (H.BitCount == 16 && m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) return pf16bit;
    return pf32bit;
}

// One channel of a bit-field pixel scaled to 8 bits.
uint8_t Field(uint32_t Pixel, uint32_t Mask) {
    if (Mask == 0) return 0;
    const int shift = std::countr_zero(Mask);
    const uint32_t max = Mask >> shift;
    return static_cast<uint8_t>(((Pixel & Mask) >> shift) * 255 / max);
}

// A bit-field row into 32-bit blue, green, red, alpha.
void ExpandFields(const uint8_t* Src, uint8_t* Dst, int32_t Width, const TBmpHeader& H) {
    for (int32_t x = 0; x < Width; ++x) {
        const uint32_t p = H.BitCount == 16 ? Word(Src + 2 * x) : Long(Src + 4 * x);
        Dst[4 * x] = Field(p, H.Masks[2]);
        Dst[4 * x + 1] = Field(p, H.Masks[1]);
        Dst[4 * x + 2] = Field(p, H.Masks[0]);
        Dst[4 * x + 3] = Field(p, H.Masks[3]);
    }
}

bool StandardFields(const TBmpHeader& H, TPixelFormat Format) {
    return H.Compression == BI_RGB || Format != pf32bit ||
           (H.BitCount == 32 && H.Masks[0] == 0xFF0000 && H.Masks[1] == 0xFF00 &&
            H.Masks[2] == 0xFF && (H.Masks[3] == 0 || H.Masks[3] == 0xFF000000));
}

} // namespace

void TBitmap::LoadFromStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    const int64_t available = Stream.GetSize() - start;
    uint8_t file[FileHeaderSize];
    Stream.ReadBuffer(file, sizeof file);
    if (Word(file) != BmpSignature) Invalid(u"Bitmap image is not valid");
    const uint32_t offBits = Long(file + 10);
    uint8_t sizeBytes[4];
    Stream.ReadBuffer(sizeBytes, 4);
    const TBmpHeader h = ReadInfoHeader(Stream, static_cast<int32_t>(Long(sizeBytes)));
    if (h.Width <= 0 || h.Height == 0 || h.Height == INT32_MIN) Invalid(u"Invalid image size");
    const TPixelFormat format = FormatOf(h);
    const int32_t height = h.Height < 0 ? -h.Height : h.Height;
    const int64_t rowBytes = ((int64_t{h.Width} * h.BitCount + 31) >> 5) * 4;
    if (rowBytes * height > MaxPixelBytes) Invalid(u"Invalid image size");

    // The colour table: at most 2^bits entries, and only what the header says is there.
    std::vector<TRGBQuad> colors;
    if (h.BitCount <= 8) {
        const int32_t maxColors = 1 << h.BitCount;
        const int32_t count = h.ColorCount > 0 ? h.ColorCount : maxColors;
        if (count > maxColors) Invalid(u"Bitmap image is not valid");
        const int32_t entry = h.Core ? 3 : 4;
        std::vector<uint8_t> table(static_cast<size_t>(count) * entry);
        Stream.ReadBuffer(table.data(), static_cast<int64_t>(table.size()));
        for (int32_t i = 0; i < count; ++i)
            colors.push_back({table[i * entry], table[i * entry + 1], table[i * entry + 2], 0});
    }
    if (offBits < static_cast<uint32_t>(Stream.GetPosition() - start) ||
        int64_t{offBits} + rowBytes * height > available)
        throw EReadError(u"Stream read error");

    Reallocate(0, 0, format);
    Reallocate(h.Width, height, format);
    SetColorTable(0, colors.data(), static_cast<int32_t>(colors.size()));
    Stream.SetPosition(start + offBits);
    const bool direct = StandardFields(h, format);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int32_t r = 0; r < height; ++r) {
        // Stored rows run bottom-up unless the height is negative.
        const int32_t y = h.Height > 0 ? height - 1 - r : r;
        auto* dst = static_cast<uint8_t*>(ScanLine(y));
        if (direct) {
            Stream.ReadBuffer(dst, rowBytes);
        } else {
            Stream.ReadBuffer(row.data(), rowBytes);
            ExpandFields(row.data(), dst, h.Width, h);
        }
    }
    UpdateHandle();
    SetModified(true);
}

void TBitmap::SaveToStream(TStream& Stream) {
    const TPixelFormat format = FPixelFormat == pfDevice ? pf32bit : FPixelFormat;
    const int32_t bits = PixelFormatBits(format);
    const bool fields = format == pf16bit;
    const auto colors = static_cast<int32_t>(FColorTable.size());
    const int32_t headers = FileHeaderSize + InfoHeaderSize + (fields ? 12 : 0) + colors * 4;
    const int64_t pixels = int64_t{FRowLength} * FHeight;
    std::vector<uint8_t> head(static_cast<size_t>(headers), 0);
    PutWord(&head[0], BmpSignature);
    PutLong(&head[2], static_cast<uint32_t>(headers + pixels));
    PutLong(&head[10], static_cast<uint32_t>(headers));
    uint8_t* info = &head[FileHeaderSize];
    PutLong(info, InfoHeaderSize);
    PutLong(info + 4, static_cast<uint32_t>(FWidth));
    PutLong(info + 8, static_cast<uint32_t>(FHeight));
    PutWord(info + 12, 1);
    PutWord(info + 14, static_cast<uint32_t>(bits));
    PutLong(info + 16, fields ? BI_BITFIELDS : BI_RGB);
    PutLong(info + 20, static_cast<uint32_t>(pixels));
    PutLong(info + 24, 3780); // 96 dots per inch
    PutLong(info + 28, 3780);
    PutLong(info + 32, static_cast<uint32_t>(colors));
    uint8_t* after = info + InfoHeaderSize;
    if (fields) {
        PutLong(after, 0xF800);
        PutLong(after + 4, 0x07E0);
        PutLong(after + 8, 0x001F);
        after += 12;
    }
    for (int32_t i = 0; i < colors; ++i) {
        after[4 * i] = FColorTable[i].rgbBlue;
        after[4 * i + 1] = FColorTable[i].rgbGreen;
        after[4 * i + 2] = FColorTable[i].rgbRed;
    }
    Stream.WriteBuffer(head.data(), headers);
    // The rows are stored bottom-up, as the file wants them.
    if (pixels > 0) Stream.WriteBuffer(FBits.get(), pixels);
}

void TBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) {
    if (Empty() || ACanvas.Handle() == nullptr) return;
    const int32_t mode = SetStretchBltMode(ACanvas.Handle(), COLORONCOLOR);
    StretchBlt(ACanvas.Handle(), Rect.Left, Rect.Top, Rect.Width(), Rect.Height(),
               Canvas()->Handle(), 0, 0, FWidth, FHeight, ACanvas.CopyMode);
    SetStretchBltMode(ACanvas.Handle(), mode);
}

TColor TBitmap::TransparentColor() {
    if (FTransparentColor != clDefault) return FTransparentColor;
    if (Empty()) return clDefault;
    return Canvas()->Pixels(0, FHeight - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
    if (Value == FTransparentColor) return;
    FTransparentColor = Value;
    Changed();
}
