// Packed DIBs and YUV frames into bitmaps: the header is checked against the bytes that hold it
// before anything is allocated or read.
#include "imaging/core/VLDIBConvert.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLHelpers.h"
#include "platform/gfx/DrawDib.h"
#include "platform/gfx/GlobalMemory.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

using enum TVLPixelFormat;

namespace {

constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr size_t HeaderSize = sizeof(BITMAPINFOHEADER);
// Headers from 52 bytes on carry the three channel masks themselves (at byte 40).
constexpr uint32_t HeaderWithMasks = 52;

constexpr uint32_t FourCC(const char (&Code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(Code[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[3])) << 24;
}

uint32_t ReadU32(const uint8_t* P) {
    uint32_t v;
    std::memcpy(&v, P, sizeof(v));
    return v;
}

// A packed layout: Pixels pixels in Bytes bytes; sample offsets of each pixel of the group.
struct TPackedYUV {
    uint32_t Code;
    int32_t Pixels;
    int32_t Bytes;
    bool BottomUp;
    uint8_t Y[8], U[8], V[8];
};

constexpr TPackedYUV PackedLayouts[] = {
    {FourCC("YUY2"), 2, 4, false, {0, 2}, {1, 1}, {3, 3}},
    {FourCC("YUNV"), 2, 4, false, {0, 2}, {1, 1}, {3, 3}},
    {FourCC("UYVY"), 2, 4, false, {1, 3}, {0, 0}, {2, 2}},
    {FourCC("UYNV"), 2, 4, false, {1, 3}, {0, 0}, {2, 2}},
    {FourCC("cyuv"), 2, 4, true, {1, 3}, {0, 0}, {2, 2}},
    {FourCC("YVYU"), 2, 4, false, {0, 2}, {3, 3}, {1, 1}},
    {FourCC("Y41P"),
     8,
     12,
     true,
     {1, 3, 5, 7, 8, 9, 10, 11},
     {0, 0, 0, 0, 4, 4, 4, 4},
     {2, 2, 2, 2, 6, 6, 6, 6}},
    {FourCC("Y211"), 4, 4, false, {0, 0, 2, 2}, {1, 1, 1, 1}, {3, 3, 3, 3}},
    {FourCC("IYU1"), 4, 6, false, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}},
    {FourCC("IYU2"), 1, 3, false, {1}, {0}, {2}},
};

// Planar layouts: the chroma planes' subsampling and whether V comes before U.
struct TPlanarYUV {
    uint32_t Code;
    int32_t Step;
    bool VFirst;
};

constexpr TPlanarYUV PlanarLayouts[] = {
    {FourCC("YV12"), 2, true},
    {FourCC("I420"), 2, false},
    {FourCC("IYUV"), 2, false},
    {FourCC("YVU9"), 4, true},
};

constexpr uint32_t CodeCLJR = FourCC("CLJR");

enum class TKind { Rgb, Packed, Planar, CLJR };

// Where everything of a checked DIB lies.
struct TDibLayout {
    BITMAPINFOHEADER Header;
    int32_t Width = 0;
    int32_t Height = 0;
    bool TopDown = false;
    TKind Kind = TKind::Rgb;
    const TPackedYUV* Packed = nullptr;
    const TPlanarYUV* Planar = nullptr;
    const uint8_t* Table = nullptr;
    int32_t Colors = 0;
    uint32_t Masks[3] = {};
    const uint8_t* Pixels = nullptr;
    int64_t RowLength = 0;
};

int64_t CeilDiv(int64_t A, int64_t B) {
    return (A + B - 1) / B;
}

// Whether the rows (or planes) of the frame fit in Available bytes; in 64 bits without overflow
// (a row may take 2^33 bytes, a frame 2^31 rows).
bool FrameFits(const TDibLayout& L, size_t Available) {
    const auto available = static_cast<uint64_t>(Available);
    if (L.Kind == TKind::Planar) {
        const uint64_t w = static_cast<uint64_t>(L.Width), h = static_cast<uint64_t>(L.Height);
        const auto s = static_cast<uint64_t>(L.Planar->Step);
        return w * h + 2 * ((w + s - 1) / s) * ((h + s - 1) / s) <= available;
    }
    return static_cast<uint64_t>(L.RowLength) <= available / static_cast<uint64_t>(L.Height);
}

bool CheckRgb(TDibLayout& L, const uint8_t* Data, size_t Size, size_t& Offset) {
    const BITMAPINFOHEADER& h = L.Header;
    const uint16_t bits = h.biBitCount;
    const bool fields = h.biCompression == BI_BITFIELDS;
    switch (bits) {
    case 1:
    case 4:
    case 8:
        if (fields) return false;
        L.Colors = static_cast<int32_t>(h.biClrUsed != 0 ? h.biClrUsed : 1u << bits);
        if (h.biClrUsed > (1u << bits)) return false;
        break;
    case 16:
    case 32:
        break;
    case 24:
        if (fields) return false;
        break;
    default:
        return false;
    }
    const size_t tableBytes = static_cast<size_t>(L.Colors) * 4;
    const size_t maskBytes = fields && h.biSize < HeaderWithMasks ? 12 : 0;
    if (Size - h.biSize < tableBytes + maskBytes) return false;
    L.Table = Data + h.biSize;
    if (fields) {
        for (int i = 0; i < 3; ++i)
            L.Masks[i] = ReadU32(Data + HeaderSize + 4 * i);
    } else if (bits == 16) {
        L.Masks[0] = 0x7C00;
        L.Masks[1] = 0x03E0;
        L.Masks[2] = 0x001F;
    } else if (bits == 32) {
        L.Masks[0] = 0xFF0000;
        L.Masks[1] = 0x00FF00;
        L.Masks[2] = 0x0000FF;
    }
    Offset = h.biSize + tableBytes + maskBytes;
    L.RowLength = ((int64_t{L.Width} * bits + 31) / 32) * 4;
    return true;
}

bool CheckYUV(TDibLayout& L, size_t& Offset) {
    const uint32_t code = L.Header.biCompression;
    // YUV frames run top-down for a positive height, except the layouts marked bottom-up.
    L.TopDown = L.Header.biHeight > 0;
    for (const TPackedYUV& p : PackedLayouts)
        if (p.Code == code) {
            L.Kind = TKind::Packed;
            L.Packed = &p;
            L.RowLength = CeilDiv(L.Width, p.Pixels) * p.Bytes;
            if (p.BottomUp) L.TopDown = !L.TopDown;
        }
    for (const TPlanarYUV& p : PlanarLayouts)
        if (p.Code == code) {
            L.Kind = TKind::Planar;
            L.Planar = &p;
        }
    if (code == CodeCLJR) {
        L.Kind = TKind::CLJR;
        L.RowLength = CeilDiv(L.Width, 4) * 4;
    }
    Offset = L.Header.biSize;
    return L.Kind != TKind::Rgb;
}

// Checks the header and that the table, masks and rows lie inside the bytes given.
bool LocateDib(const uint8_t* Data, size_t Size, const uint8_t* Bits, size_t BitsLength,
               TDibLayout& L) {
    if (Data == nullptr || Size < HeaderSize) return false;
    std::memcpy(&L.Header, Data, HeaderSize);
    const BITMAPINFOHEADER& h = L.Header;
    if (h.biSize < HeaderSize || h.biSize > Size) return false;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
    L.Width = h.biWidth;
    L.Height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    // A positive height stores the rows bottom-up.
    L.TopDown = h.biHeight < 0;
    size_t offset = 0;
    if (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) {
        if (!CheckRgb(L, Data, Size, offset)) return false;
    } else if (h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4 || !CheckYUV(L, offset)) {
        return false;
    }
    if (Bits != nullptr) {
        L.Pixels = Bits;
        return FrameFits(L, BitsLength);
    }
    L.Pixels = Data + offset;
    return FrameFits(L, Size - offset);
}

// The header's bytes for the length of a scope: a locked handle or the caller's pointer.
class TDibBytes {
public:
    TDibBytes(const void* DIB, bool IsPointer, size_t Length) {
        if (IsPointer) {
            FData = static_cast<const uint8_t*>(DIB);
            FSize = DIB != nullptr ? Length : 0;
        } else {
            FHandle = const_cast<void*>(DIB);
            FData = static_cast<const uint8_t*>(GlobalLock(FHandle));
            FSize = FData != nullptr ? GlobalSize(FHandle) : 0;
        }
    }
    ~TDibBytes() {
        if (FData != nullptr && FHandle != nullptr) GlobalUnlock(FHandle);
    }
    TDibBytes(const TDibBytes&) = delete;
    TDibBytes& operator=(const TDibBytes&) = delete;
    const uint8_t* Data() const { return FData; }
    size_t Size() const { return FSize; }

private:
    HGLOBAL FHandle = nullptr;
    const uint8_t* FData = nullptr;
    size_t FSize = 0;
};

int32_t GrayOf(const uint8_t* Quad) {
    return RGBTripleToGray(TVLRGB{Quad[0], Quad[1], Quad[2]});
}

// A channel of a masked pixel scaled to 8 bits (low bits not replicated).
uint8_t MaskedChannel(uint32_t Pixel, uint32_t Mask) {
    if (Mask == 0) return 0;
    const uint32_t value = (Pixel & Mask) >> std::countr_zero(Mask);
    const int32_t width = BitFieldWidth(Mask);
    return static_cast<uint8_t>(width <= 8 ? value << (8 - width) : value >> (width - 8));
}

// One row of an uncompressed DIB into a vl1g or vl24RGB row.
void ConvertRgbRow(const TDibLayout& L, const uint8_t* Src, uint8_t* Dst) {
    const int32_t w = L.Width;
    auto entry = [&](uint32_t Index, uint8_t* Out) {
        const uint8_t* q = L.Table + 4 * std::min<uint32_t>(Index, L.Colors - 1);
        std::memcpy(Out, q, 3);
    };
    switch (L.Header.biBitCount) {
    case 1: {
        const size_t bytes = static_cast<size_t>(CeilDiv(w, 8));
        // A set bit is white: the bits flip when entry 0 is the lighter colour.
        const bool invert = L.Colors > 1 && GrayOf(L.Table) > GrayOf(L.Table + 4);
        for (size_t i = 0; i < bytes; ++i)
            Dst[i] = invert ? static_cast<uint8_t>(~Src[i]) : Src[i];
        break;
    }
    case 4:
        for (int32_t x = 0; x < w; ++x)
            entry(x % 2 == 0 ? Src[x / 2] >> 4 : Src[x / 2] & 15, Dst + 3 * x);
        break;
    case 8:
        for (int32_t x = 0; x < w; ++x)
            entry(Src[x], Dst + 3 * x);
        break;
    case 24:
        std::memcpy(Dst, Src, static_cast<size_t>(w) * 3);
        break;
    default: {
        const int32_t bytes = L.Header.biBitCount / 8;
        for (int32_t x = 0; x < w; ++x) {
            uint32_t p = 0;
            std::memcpy(&p, Src + bytes * x, static_cast<size_t>(bytes));
            Dst[3 * x] = MaskedChannel(p, L.Masks[2]);
            Dst[3 * x + 1] = MaskedChannel(p, L.Masks[1]);
            Dst[3 * x + 2] = MaskedChannel(p, L.Masks[0]);
        }
        break;
    }
    }
}

void StoreYUV(uint8_t* Dst, int32_t X, int32_t Y, int32_t U, int32_t V) {
    const TVLRGB c = YUVToBGR(Y, U, V);
    std::memcpy(Dst + 3 * X, &c, 3);
}

// One row of a packed YUV frame; the last group stops at the row's end.
void ConvertPackedRow(const TDibLayout& L, const uint8_t* Src, uint8_t* Dst) {
    const TPackedYUV& p = *L.Packed;
    for (int32_t x0 = 0; x0 < L.Width; x0 += p.Pixels, Src += p.Bytes) {
        const int32_t count = std::min(p.Pixels, L.Width - x0);
        for (int32_t i = 0; i < count; ++i)
            StoreYUV(Dst, x0 + i, Src[p.Y[i]], Src[p.U[i]], Src[p.V[i]]);
    }
}

// "CLJR": four 5-bit Y and 6-bit U and V in a 32-bit word, scaled to 8 bits.
void ConvertCLJRRow(const TDibLayout& L, const uint8_t* Src, uint8_t* Dst) {
    for (int32_t x0 = 0; x0 < L.Width; x0 += 4, Src += 4) {
        const uint32_t word = ReadU32(Src);
        const int32_t u = static_cast<int32_t>((word >> 6) & 63) * 4;
        const int32_t v = static_cast<int32_t>(word & 63) * 4;
        const int32_t count = std::min(4, L.Width - x0);
        for (int32_t i = 0; i < count; ++i)
            StoreYUV(Dst, x0 + i, static_cast<int32_t>((word >> (12 + 5 * i)) & 31) * 8, u, v);
    }
}

// One row of a planar frame: a chroma sample serves Step pixels and Step rows.
void ConvertPlanarRow(const TDibLayout& L, int32_t Row, uint8_t* Dst) {
    const int64_t w = L.Width, h = L.Height, s = L.Planar->Step;
    const int64_t cw = CeilDiv(w, s), ch = CeilDiv(h, s);
    const uint8_t* luma = L.Pixels + w * Row;
    const uint8_t* first = L.Pixels + w * h + cw * (Row / s);
    const uint8_t* second = first + cw * ch;
    const uint8_t* u = L.Planar->VFirst ? second : first;
    const uint8_t* v = L.Planar->VFirst ? first : second;
    for (int32_t x = 0; x < L.Width; ++x)
        StoreYUV(Dst, x, luma[x], u[x / s], v[x / s]);
}

// Every row of the frame into Dest (allocated at the frame's size and format).
void ConvertRows(const TDibLayout& L, TVLBaseBitmap& Dest) {
    for (int32_t i = 0; i < L.Height; ++i) {
        const int32_t row = L.TopDown ? i : L.Height - 1 - i;
        uint8_t* dst = Dest.GetScanline(row);
        if (dst == nullptr) throw EOutOfMemory(u"Out of memory");
        const uint8_t* src = L.Pixels + L.RowLength * i;
        switch (L.Kind) {
        case TKind::Rgb:
            ConvertRgbRow(L, src, dst);
            break;
        case TKind::Packed:
            ConvertPackedRow(L, src, dst);
            break;
        case TKind::CLJR:
            ConvertCLJRRow(L, src, dst);
            break;
        case TKind::Planar:
            ConvertPlanarRow(L, i, dst);
            break;
        }
    }
}

} // namespace

TVLRGB YUVToBGR(int32_t Y, int32_t U, int32_t V) {
    const double d = (Y - 16) * 1.164;
    const double u = U - 128;
    const double v = V - 128;
    auto channel = [](double Value) { return ClampToByte(static_cast<int32_t>(Round(Value))); };
    return TVLRGB{channel(d + 2.018 * u), channel(d - 0.813 * v - 0.391 * u),
                  channel(d + 1.596 * v)};
}

int32_t CopyDIBToBitmap(const void* DIB, TVLBitmap& Bitmap, const void* Bits, bool IsPointer,
                        size_t Length, size_t BitsLength) {
    const TDibBytes bytes(DIB, IsPointer, Length);
    TDibLayout layout;
    if (!LocateDib(bytes.Data(), bytes.Size(), static_cast<const uint8_t*>(Bits), BitsLength,
                   layout))
        return 0;
    const bool mono = layout.Kind == TKind::Rgb && layout.Header.biBitCount == 1;
    if (!Bitmap.Allocate(layout.Width, layout.Height, mono ? vl1g : vl24RGB)) return 0;
    imaging_core::detail::TRowPassScope pass(Bitmap, VLAccessWrite);
    ConvertRows(layout, Bitmap);
    return layout.Header.biBitCount;
}

int32_t DrawDIBToDibbitmap(const void* DIB, TVLDibbitmap& Dest, const void* Bits, bool IsPointer,
                           size_t Length, size_t BitsLength) {
    const TDibBytes bytes(DIB, IsPointer, Length);
    TDibLayout layout;
    if (!LocateDib(bytes.Data(), bytes.Size(), static_cast<const uint8_t*>(Bits), BitsLength,
                   layout))
        return 0;
    const bool rgb = layout.Kind == TKind::Rgb;
    if (!Dest.AllocateBits(layout.Width, layout.Height,
                           rgb && layout.Header.biBitCount == 1 ? 1 : 24))
        return 0;
    if (!rgb) {
        ConvertRows(layout, Dest);
        return layout.Header.biBitCount;
    }
    HDRAWDIB handle = DrawDibOpen();
    DrawDibDraw(handle, Dest.GetDC(), 0, 0, layout.Width, layout.Height,
                reinterpret_cast<const BITMAPINFOHEADER*>(bytes.Data()), layout.Pixels, 0, 0,
                layout.Width, layout.Height, 0);
    DrawDibClose(handle);
    return layout.Header.biBitCount;
}
