// The class library's bitmap as a plain memory buffer.
#include "platform/gfx/Bitmap.h"

#include "platform/gfx/Canvas.h"
#include "platform/gfx/GdiInternal.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>
#include <cstring>
#include <new>

int32_t PixelFormatBits(TPixelFormat Format) {
    switch (Format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pfDevice:
    case pf32bit:
        return 32;
    case pfCustom:
        return 0;
    }
    return 0;
}

namespace {

std::vector<TRGBQuad> DefaultColorTable(TPixelFormat Format) {
    std::vector<TRGBQuad> table;
    auto add = [&](uint8_t r, uint8_t g, uint8_t b) { table.push_back({b, g, r, 0}); };
    switch (Format) {
    case pf1bit:
        add(0, 0, 0);
        add(255, 255, 255);
        break;
    case pf4bit: {
        static const uint8_t vga[16][3] = {
            {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : vga)
            add(c[0], c[1], c[2]);
        break;
    }
    case pf8bit:
        // A 6 x 6 x 6 colour cube followed by a ramp of 40 greys.
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    add(r * 51, g * 51, b * 51);
        for (int i = 0; i < 40; ++i) {
            const auto v = static_cast<uint8_t>(i * 255 / 39);
            add(v, v, v);
        }
        break;
    default:
        break;
    }
    return table;
}

struct Rgb {
    uint8_t r, g, b;
};

Rgb ReadPixel(const uint8_t* row, int32_t x, TPixelFormat format,
              const std::vector<TRGBQuad>& table) {
    auto fromTable = [&](size_t index) {
        if (index >= table.size()) return Rgb{0, 0, 0};
        return Rgb{table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue};
    };
    switch (format) {
    case pf1bit:
        return fromTable((row[x >> 3] >> (7 - (x & 7))) & 1);
    case pf4bit:
        return fromTable((x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4);
    case pf8bit:
        return fromTable(row[x]);
    case pf15bit: {
        const uint16_t w = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
        return {static_cast<uint8_t>(((w >> 10) & 31) * 255 / 31),
                static_cast<uint8_t>(((w >> 5) & 31) * 255 / 31),
                static_cast<uint8_t>((w & 31) * 255 / 31)};
    }
    case pf16bit: {
        const uint16_t w = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
        return {static_cast<uint8_t>(((w >> 11) & 31) * 255 / 31),
                static_cast<uint8_t>(((w >> 5) & 63) * 255 / 63),
                static_cast<uint8_t>((w & 31) * 255 / 31)};
    }
    case pf24bit:
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    default:
        return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    }
}

uint8_t NearestIndex(Rgb c, const std::vector<TRGBQuad>& table) {
    int best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < table.size(); ++i) {
        const int dr = c.r - table[i].rgbRed;
        const int dg = c.g - table[i].rgbGreen;
        const int db = c.b - table[i].rgbBlue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return static_cast<uint8_t>(best);
}

void WritePixel(uint8_t* row, int32_t x, TPixelFormat format, const std::vector<TRGBQuad>& table,
                Rgb c) {
    switch (format) {
    case pf1bit: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        if (NearestIndex(c, table))
            row[x >> 3] |= bit;
        else
            row[x >> 3] &= static_cast<uint8_t>(~bit);
        break;
    }
    case pf4bit: {
        const uint8_t i = NearestIndex(c, table);
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | i)
                    : static_cast<uint8_t>((b & 0x0F) | (i << 4));
        break;
    }
    case pf8bit:
        row[x] = NearestIndex(c, table);
        break;
    case pf15bit: {
        const uint16_t w =
            static_cast<uint16_t>(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
        row[2 * x] = static_cast<uint8_t>(w);
        row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
        break;
    }
    case pf16bit: {
        const uint16_t w =
            static_cast<uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
        row[2 * x] = static_cast<uint8_t>(w);
        row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
        break;
    }
    case pf24bit:
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
        break;
    default:
        row[4 * x] = c.b;
        row[4 * x + 1] = c.g;
        row[4 * x + 2] = c.r;
        row[4 * x + 3] = 0;
        break;
    }
}

int32_t RowBytes(int32_t width, TPixelFormat format) {
    return static_cast<int32_t>(
        ((static_cast<int64_t>(width) * PixelFormatBits(format) + 31) >> 5) * 4);
}

} // namespace

namespace {

// The canvas of a bitmap: a memory device context, owned by the canvas, with the bitmap's
// handle selected.
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& Bitmap) : FBitmap(Bitmap) {}
    ~TBitmapCanvas() override {
        if (!HandleAllocated()) return;
        HDC dc = Handle();
        SetHandle(nullptr);
        platform::detail::ForceDeleteObject(platform::detail::Lookup<TDeviceContext>(dc));
    }

protected:
    void CreateHandle() override {
        HDC dc = CreateCompatibleDC(nullptr);
        platform::detail::Lookup<TDeviceContext>(dc)->OwnerManaged = true;
        SelectObject(dc, FBitmap.Handle());
        SetHandle(dc);
    }

private:
    TBitmap& FBitmap;
};

platform::detail::TPixelLayout LayoutOf(TPixelFormat format) {
    using enum platform::detail::TPixelLayout;
    switch (format) {
    case pf1bit:
        return Mono1;
    case pf4bit:
        return Index4;
    case pf8bit:
        return Index8;
    case pf15bit:
        return Rgb555;
    case pf16bit:
        return Rgb565;
    case pf24bit:
        return Bgr24;
    default:
        return Bgrx32;
    }
}

} // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    FCanvas.reset();
    platform::detail::ForceDeleteObject(FHandle);
}

HBITMAP TBitmap::Handle() {
    if (FHandle == nullptr) {
        FHandle = platform::detail::CreateForeignBitmap({});
        UpdateHandle();
    }
    return FHandle;
}

TCanvas* TBitmap::Canvas() {
    if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(*this);
    return FCanvas.get();
}

void TBitmap::UpdateHandle() {
    if (FHandle == nullptr) return;
    platform::detail::SetBitmapSurface(FHandle, {FBits.get(), FWidth, FHeight, FRowLength, true,
                                                 LayoutOf(FPixelFormat), FColorTable.data(),
                                                 static_cast<int32_t>(FColorTable.size())});
}

void TBitmap::SetModified(bool Value) {
    FModified = Value;
    if (Value && OnChange) OnChange(this);
}

void TBitmap::SetSize(int32_t NewWidth, int32_t NewHeight) {
    if (NewWidth == FWidth && NewHeight == FHeight) return;
    Reallocate(NewWidth, NewHeight, FPixelFormat);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
    if (Value == FPixelFormat) return;
    if (Value == pfCustom) throw EInvalidGraphic(u"Invalid pixel format");
    Reallocate(FWidth, FHeight, Value);
}

void TBitmap::Reallocate(int32_t NewWidth, int32_t NewHeight, TPixelFormat NewFormat) {
    if (NewWidth < 0 || NewHeight < 0) throw EInvalidGraphic(u"Invalid image size");
    const int64_t rowBytes64 =
        ((static_cast<int64_t>(NewWidth) * PixelFormatBits(NewFormat) + 31) >> 5) * 4;
    if (rowBytes64 > INT32_MAX || rowBytes64 * NewHeight > (int64_t{1} << 40))
        throw EOutOfResources(u"Out of system resources");
    const auto rowBytes = static_cast<int32_t>(rowBytes64);
    const int64_t total = rowBytes64 * NewHeight;

    std::unique_ptr<uint8_t[]> bits;
    if (total > 0) {
        bits.reset(new (std::nothrow) uint8_t[static_cast<size_t>(total)]);
        if (!bits) throw EOutOfResources(u"Out of system resources");
        AdviseLargePages(bits.get(), static_cast<size_t>(total));
        std::memset(bits.get(), 0, static_cast<size_t>(total));
    }
    std::vector<TRGBQuad> table =
        NewFormat == FPixelFormat ? FColorTable : DefaultColorTable(NewFormat);

    const int32_t rows = std::min(FHeight, NewHeight);
    const int32_t cols = std::min(FWidth, NewWidth);
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* src = FBits.get() + static_cast<int64_t>(FHeight - 1 - r) * FRowLength;
        uint8_t* dst = bits.get() + static_cast<int64_t>(NewHeight - 1 - r) * rowBytes;
        if (NewFormat == FPixelFormat) {
            std::memcpy(dst, src,
                        static_cast<size_t>(std::min(RowBytes(cols, NewFormat), rowBytes)));
        } else {
            for (int32_t x = 0; x < cols; ++x)
                WritePixel(dst, x, NewFormat, table, ReadPixel(src, x, FPixelFormat, FColorTable));
        }
    }
    FBits = std::move(bits);
    FWidth = NewWidth;
    FHeight = NewHeight;
    FPixelFormat = NewFormat;
    FRowLength = rowBytes;
    FColorTable = std::move(table);
    UpdateHandle();
}

void* TBitmap::ScanLine(int32_t Row) {
    if (Row < 0 || Row >= FHeight) throw EInvalidGraphic(u"Scan line index out of range");
    return FBits.get() + static_cast<int64_t>(FHeight - 1 - Row) * FRowLength;
}

int32_t TBitmap::SetColorTable(int32_t Start, const TRGBQuad* Entries, int32_t Count) {
    const auto size = static_cast<int32_t>(FColorTable.size());
    if (Start < 0 || Start >= size || Count <= 0) return 0;
    const int32_t n = std::min(Count, size - Start);
    std::copy(Entries, Entries + n, FColorTable.begin() + Start);
    return n;
}
