// Icon handles over our own registered objects, and GetDIBits on the drawing layer's surfaces.
#include "platform/gfx/Icon.h"

#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace platform::detail;

// The pixels of an icon, rows from the top: the colour as B, G, R and the fourth byte in bits 24
// to 31, and the mask with one byte a pixel (1 = transparent).
class TGdiIcon : public TGdiObject {
public:
    int32_t Width = 0;
    int32_t Height = 0;
    bool IsIcon = true;
    uint32_t HotX = 0;
    uint32_t HotY = 0;
    std::vector<uint32_t> Pixels;
    std::vector<uint8_t> Mask;
};

namespace {

// A colour is light when its channels add up to at least half of white's.
bool Light(COLORREF Color) {
    return (Color & 0xFF) + ((Color >> 8) & 0xFF) + ((Color >> 16) & 0xFF) >= 384;
}

uint32_t BgrOf(COLORREF Color) {
    return ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
}

// Pixel X, Y (Y from the top) of a surface as B, G, R in the low bytes; a 32-bit surface keeps
// its fourth byte, other layouts give 0 there.
uint32_t PixelValue(const TSurface& Surface, int32_t X, int32_t Y) {
    const uint32_t raw = ReadPixel(Surface, X, Y);
    if (Surface.Layout == TPixelLayout::Bgrx32) return raw;
    return BgrOf(PixelToColor(Surface, raw));
}

// Bit of a monochrome picture: a 1-bit surface's own bit, otherwise set for light pixels.
bool PixelBit(const TSurface& Surface, int32_t X, int32_t Y) {
    const uint32_t raw = ReadPixel(Surface, X, Y);
    if (Surface.Layout == TPixelLayout::Mono1 && Surface.Colors == nullptr) return raw != 0;
    return Light(PixelToColor(Surface, raw));
}

int64_t DibStride(int32_t Width, int32_t Bits) {
    return (int64_t{Width} * Bits + 31) / 32 * 4;
}

} // namespace

HICON CreateIconIndirect(const ICONINFO* Info) {
    if (Info == nullptr) return nullptr;
    const TGdiBitmap* mask = Lookup<TGdiBitmap>(Info->hbmMask);
    const TGdiBitmap* colour =
        Info->hbmColor != nullptr ? Lookup<TGdiBitmap>(Info->hbmColor) : nullptr;
    if (mask == nullptr || mask->Surface.Empty() ||
        (Info->hbmColor != nullptr && (colour == nullptr || colour->Surface.Empty())))
        return nullptr;
    const TSurface& m = mask->Surface;
    const int32_t width = colour != nullptr ? colour->Surface.Width : m.Width;
    const int32_t height = colour != nullptr ? colour->Surface.Height : m.Height / 2;
    if (width <= 0 || height <= 0 || m.Width < width || m.Height < height) return nullptr;
    auto icon = std::make_unique<TGdiIcon>();
    icon->OwnerManaged = true;
    icon->Width = width;
    icon->Height = height;
    icon->IsIcon = Info->fIcon;
    icon->HotX = Info->xHotspot;
    icon->HotY = Info->yHotspot;
    const auto count = static_cast<size_t>(width) * static_cast<size_t>(height);
    icon->Pixels.resize(count);
    icon->Mask.resize(count);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + x;
            icon->Mask[at] = PixelBit(m, x, y) ? 1 : 0;
            // A monochrome icon keeps its XOR half below the AND half.
            icon->Pixels[at] = colour != nullptr            ? PixelValue(colour->Surface, x, y)
                               : PixelBit(m, x, y + height) ? 0xFFFFFF
                                                            : 0;
        }
    return Register(std::move(icon));
}

bool GetIconInfo(HICON Icon, ICONINFO* Info) {
    const TGdiIcon* icon = Lookup<TGdiIcon>(Icon);
    if (icon == nullptr || Info == nullptr) return false;
    BITMAPINFO header{};
    header.bmiHeader.biWidth = icon->Width;
    header.bmiHeader.biHeight = icon->Height;
    header.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (colour == nullptr) return false;
    // Device-dependent monochrome rows run from the top, padded to 16 bits.
    const int64_t maskStride = (int64_t{icon->Width} + 15) / 16 * 2;
    std::vector<uint8_t> maskBits(static_cast<size_t>(maskStride * icon->Height), 0);
    auto* rows = static_cast<uint8_t*>(bits);
    const int64_t stride = int64_t{icon->Width} * 4;
    for (int32_t y = 0; y < icon->Height; ++y) {
        uint8_t* dst = rows + (icon->Height - 1 - y) * stride;
        for (int32_t x = 0; x < icon->Width; ++x) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(icon->Width) + x;
            const uint32_t v = icon->Pixels[at];
            dst[4 * x] = static_cast<uint8_t>(v);
            dst[4 * x + 1] = static_cast<uint8_t>(v >> 8);
            dst[4 * x + 2] = static_cast<uint8_t>(v >> 16);
            dst[4 * x + 3] = static_cast<uint8_t>(v >> 24);
            if (icon->Mask[at] != 0) maskBits[y * maskStride + x / 8] |= 0x80 >> (x & 7);
        }
    }
    HBITMAP mask = CreateBitmap(icon->Width, icon->Height, 1, 1, maskBits.data());
    if (mask == nullptr) {
        DeleteObject(colour);
        return false;
    }
    Info->fIcon = icon->IsIcon;
    Info->xHotspot = icon->HotX;
    Info->yHotspot = icon->HotY;
    Info->hbmColor = colour;
    Info->hbmMask = mask;
    return true;
}

bool DestroyIcon(HICON Icon) {
    TGdiIcon* icon = Lookup<TGdiIcon>(Icon);
    if (icon == nullptr) return false;
    ForceDeleteObject(icon);
    return true;
}

int32_t GetDIBits(HDC Dc, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits,
                  BITMAPINFO* Info, uint32_t Usage) {
    if (Dc != nullptr && Lookup<TDeviceContext>(Dc) == nullptr) return 0;
    const TGdiBitmap* bitmap = Lookup<TGdiBitmap>(Bitmap);
    if (bitmap == nullptr || bitmap->Surface.Empty() || Info == nullptr || Usage != DIB_RGB_COLORS)
        return 0;
    BITMAPINFOHEADER& h = Info->bmiHeader;
    const int32_t bits = h.biBitCount;
    if ((bits != 1 && bits != 24 && bits != 32) || h.biCompression != BI_RGB ||
        h.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    const TSurface& s = bitmap->Surface;
    const bool topDown = h.biHeight < 0;
    const int64_t stride = DibStride(s.Width, bits);
    h.biWidth = s.Width;
    h.biHeight = topDown ? -s.Height : s.Height;
    h.biPlanes = 1;
    h.biSizeImage = static_cast<uint32_t>(stride * s.Height);
    if (bits == 1) {
        auto* table = reinterpret_cast<TRGBQuad*>(reinterpret_cast<uint8_t*>(Info) + h.biSize);
        table[0] = TRGBQuad{0, 0, 0, 0};
        table[1] = TRGBQuad{255, 255, 255, 0};
    }
    if (Bits == nullptr) return s.Height;
    const auto first = static_cast<int64_t>(Start);
    const int64_t last = std::min<int64_t>(first + Lines, s.Height);
    auto* out = static_cast<uint8_t*>(Bits);
    for (int64_t k = first; k < last; ++k) {
        uint8_t* dst = out + (k - first) * stride;
        std::memset(dst, 0, static_cast<size_t>(stride));
        const auto y = static_cast<int32_t>(topDown ? k : s.Height - 1 - k);
        for (int32_t x = 0; x < s.Width; ++x) {
            if (bits == 1) {
                if (PixelBit(s, x, y)) dst[x / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
                continue;
            }
            const uint32_t v = PixelValue(s, x, y);
            uint8_t* p = dst + static_cast<ptrdiff_t>(x) * (bits / 8);
            p[0] = static_cast<uint8_t>(v);
            p[1] = static_cast<uint8_t>(v >> 8);
            p[2] = static_cast<uint8_t>(v >> 16);
            if (bits == 32) p[3] = static_cast<uint8_t>(v >> 24);
        }
    }
    return static_cast<int32_t>(std::max<int64_t>(0, last - first));
}
