// Pixel layouts of the drawing surfaces: row access, colour mapping and the mixes.
#include "platform/gfx/GdiInternal.h"

#include <limits>
#include <type_traits>

namespace platform::detail {

int32_t LayoutBits(TPixelLayout Layout) {
    switch (Layout) {
    case TPixelLayout::Mono1:
        return 1;
    case TPixelLayout::Index4:
        return 4;
    case TPixelLayout::Index8:
        return 8;
    case TPixelLayout::Rgb555:
    case TPixelLayout::Rgb565:
        return 16;
    case TPixelLayout::Bgr24:
        return 24;
    case TPixelLayout::Bgrx32:
        return 32;
    }
    return 0;
}

uint32_t LayoutColorMask(TPixelLayout Layout) {
    switch (Layout) {
    case TPixelLayout::Mono1:
        return 0x1;
    case TPixelLayout::Index4:
        return 0xF;
    case TPixelLayout::Index8:
        return 0xFF;
    case TPixelLayout::Rgb555:
        return 0x7FFF;
    case TPixelLayout::Rgb565:
        return 0xFFFF;
    case TPixelLayout::Bgr24:
    case TPixelLayout::Bgrx32:
        return 0xFFFFFF;
    }
    return 0;
}

bool LayoutIndexed(TPixelLayout Layout) {
    return Layout == TPixelLayout::Mono1 || Layout == TPixelLayout::Index4 ||
           Layout == TPixelLayout::Index8;
}

bool LayoutForBits(int32_t BitCount, bool Is565, TPixelLayout& Layout) {
    switch (BitCount) {
    case 1:
        Layout = TPixelLayout::Mono1;
        return true;
    case 4:
        Layout = TPixelLayout::Index4;
        return true;
    case 8:
        Layout = TPixelLayout::Index8;
        return true;
    case 16:
        Layout = Is565 ? TPixelLayout::Rgb565 : TPixelLayout::Rgb555;
        return true;
    case 24:
        Layout = TPixelLayout::Bgr24;
        return true;
    case 32:
        Layout = TPixelLayout::Bgrx32;
        return true;
    default:
        return false;
    }
}

namespace {

template <TPixelLayout L> struct Pixel;

template <> struct Pixel<TPixelLayout::Mono1> {
    static uint32_t Get(const uint8_t* row, int32_t x) {
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    static void Put(uint8_t* row, int32_t x, uint32_t v) {
        const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>((v & 1) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
    }
};
template <> struct Pixel<TPixelLayout::Index4> {
    static uint32_t Get(const uint8_t* row, int32_t x) {
        return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    }
    static void Put(uint8_t* row, int32_t x, uint32_t v) {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0xF))
                    : static_cast<uint8_t>((b & 0x0F) | ((v & 0xF) << 4));
    }
};
template <> struct Pixel<TPixelLayout::Index8> {
    static uint32_t Get(const uint8_t* row, int32_t x) { return row[x]; }
    static void Put(uint8_t* row, int32_t x, uint32_t v) { row[x] = static_cast<uint8_t>(v); }
};
struct Pixel16 {
    static uint32_t Get(const uint8_t* row, int32_t x) {
        return static_cast<uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
    }
    static void Put(uint8_t* row, int32_t x, uint32_t v) {
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
    }
};
template <> struct Pixel<TPixelLayout::Rgb555> : Pixel16 {};
template <> struct Pixel<TPixelLayout::Rgb565> : Pixel16 {};
template <> struct Pixel<TPixelLayout::Bgr24> {
    static uint32_t Get(const uint8_t* row, int32_t x) {
        const uint8_t* p = row + 3 * x;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    }
    static void Put(uint8_t* row, int32_t x, uint32_t v) {
        uint8_t* p = row + 3 * x;
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
    }
};
template <> struct Pixel<TPixelLayout::Bgrx32> {
    static uint32_t Get(const uint8_t* row, int32_t x) {
        const uint8_t* p = row + 4 * x;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
               (static_cast<uint32_t>(p[3]) << 24);
    }
    static void Put(uint8_t* row, int32_t x, uint32_t v) {
        uint8_t* p = row + 4 * x;
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
    }
};

template <TPixelLayout L>
void ReadTyped(const uint8_t* row, int32_t x, int32_t count, uint32_t* values) {
    for (int32_t i = 0; i < count; ++i)
        values[i] = Pixel<L>::Get(row, x + i);
}

template <TPixelLayout L>
void WriteTyped(uint8_t* row, int32_t x, int32_t count, const uint32_t* values) {
    for (int32_t i = 0; i < count; ++i)
        Pixel<L>::Put(row, x + i, values[i]);
}

// Calls Fn with the layout as a compile-time constant.
template <class Fn> void WithLayout(TPixelLayout layout, Fn&& fn) {
    using enum TPixelLayout;
    switch (layout) {
    case Mono1:
        return fn(std::integral_constant<TPixelLayout, Mono1>{});
    case Index4:
        return fn(std::integral_constant<TPixelLayout, Index4>{});
    case Index8:
        return fn(std::integral_constant<TPixelLayout, Index8>{});
    case Rgb555:
        return fn(std::integral_constant<TPixelLayout, Rgb555>{});
    case Rgb565:
        return fn(std::integral_constant<TPixelLayout, Rgb565>{});
    case Bgr24:
        return fn(std::integral_constant<TPixelLayout, Bgr24>{});
    case Bgrx32:
        return fn(std::integral_constant<TPixelLayout, Bgrx32>{});
    }
}

constexpr TRGBQuad MonoDefault[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

uint8_t Expand5(uint32_t c) {
    return static_cast<uint8_t>((c << 3) | (c >> 2));
}
uint8_t Expand6(uint32_t c) {
    return static_cast<uint8_t>((c << 2) | (c >> 4));
}

uint32_t NearestIndex(const TRGBQuad* colors, int32_t count, COLORREF color) {
    const int r = GetRValue(static_cast<TColor>(color));
    const int g = GetGValue(static_cast<TColor>(color));
    const int b = GetBValue(static_cast<TColor>(color));
    uint32_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int32_t i = 0; i < count && bestDistance > 0; ++i) {
        const int dr = r - colors[i].rgbRed;
        const int dg = g - colors[i].rgbGreen;
        const int db = b - colors[i].rgbBlue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint32_t>(i);
        }
    }
    return best;
}

// The colour table of an indexed surface, with the black-and-white default for a 1-bit surface
// that has none; never more entries than the layout can index.
const TRGBQuad* TableOf(const TSurface& s, int32_t& count) {
    const int32_t limit = 1 << LayoutBits(s.Layout);
    if (s.Colors != nullptr && s.ColorCount > 0) {
        count = s.ColorCount < limit ? s.ColorCount : limit;
        return s.Colors;
    }
    if (s.Layout == TPixelLayout::Mono1) {
        count = 2;
        return MonoDefault;
    }
    count = 0;
    return nullptr;
}

} // namespace

void ReadRow(const TSurface& Surface, int32_t Y, int32_t X, int32_t Count, uint32_t* Values) {
    const uint8_t* row = Surface.Row(Y);
    WithLayout(Surface.Layout,
               [&](auto layout) { ReadTyped<decltype(layout)::value>(row, X, Count, Values); });
}

void WriteRow(const TSurface& Surface, int32_t Y, int32_t X, int32_t Count,
              const uint32_t* Values) {
    uint8_t* row = Surface.Row(Y);
    WithLayout(Surface.Layout,
               [&](auto layout) { WriteTyped<decltype(layout)::value>(row, X, Count, Values); });
}

uint32_t ReadPixel(const TSurface& Surface, int32_t X, int32_t Y) {
    uint32_t v = 0;
    ReadRow(Surface, Y, X, 1, &v);
    return v;
}

void WritePixel(const TSurface& Surface, int32_t X, int32_t Y, uint32_t Value) {
    WriteRow(Surface, Y, X, 1, &Value);
}

uint32_t ColorToPixel(const TSurface& Surface, COLORREF Color) {
    const uint32_t r = GetRValue(static_cast<TColor>(Color));
    const uint32_t g = GetGValue(static_cast<TColor>(Color));
    const uint32_t b = GetBValue(static_cast<TColor>(Color));
    switch (Surface.Layout) {
    case TPixelLayout::Rgb555:
        return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case TPixelLayout::Rgb565:
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    case TPixelLayout::Bgr24:
    case TPixelLayout::Bgrx32:
        return (r << 16) | (g << 8) | b;
    default: {
        int32_t count = 0;
        const TRGBQuad* table = TableOf(Surface, count);
        return table == nullptr ? 0 : NearestIndex(table, count, Color);
    }
    }
}

COLORREF PixelToColor(const TSurface& Surface, uint32_t Value) {
    switch (Surface.Layout) {
    case TPixelLayout::Rgb555:
        return static_cast<COLORREF>(
            RGB(Expand5((Value >> 10) & 31), Expand5((Value >> 5) & 31), Expand5(Value & 31)));
    case TPixelLayout::Rgb565:
        return static_cast<COLORREF>(
            RGB(Expand5((Value >> 11) & 31), Expand6((Value >> 5) & 63), Expand5(Value & 31)));
    case TPixelLayout::Bgr24:
    case TPixelLayout::Bgrx32:
        return static_cast<COLORREF>(RGB(static_cast<uint8_t>(Value >> 16),
                                         static_cast<uint8_t>(Value >> 8),
                                         static_cast<uint8_t>(Value)));
    default: {
        int32_t count = 0;
        const TRGBQuad* table = TableOf(Surface, count);
        if (table == nullptr || Value >= static_cast<uint32_t>(count)) return 0;
        const TRGBQuad& q = table[Value];
        return static_cast<COLORREF>(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    }
}

TColorMapper::TColorMapper(const TSurface& Surface) : FSurface(Surface) {
    if (LayoutIndexed(Surface.Layout)) FCache.assign(1024, 0);
}

uint32_t TColorMapper::Map(COLORREF Color) {
    if (FCache.empty()) return ColorToPixel(FSurface, Color);
    const uint32_t key = (Color & 0xFFFFFF) + 1;
    uint64_t& slot = FCache[(key * 2654435761u) >> 22];
    if ((slot >> 32) == key) return static_cast<uint32_t>(slot);
    const uint32_t value = ColorToPixel(FSurface, Color);
    slot = (static_cast<uint64_t>(key) << 32) | value;
    return value;
}

uint32_t Mix2(int32_t Rop2, uint32_t Pen, uint32_t Dest) {
    switch (Rop2) {
    case R2_COPYPEN:
        return Pen;
    case R2_NOT:
        return ~Dest;
    case R2_XORPEN:
        return Pen ^ Dest;
    case R2_NOP:
        return Dest;
    default:
        break;
    }
    const uint32_t table = static_cast<uint32_t>(Rop2 - 1) & 0xF;
    uint32_t result = 0;
    for (uint32_t i = 0; i < 4; ++i)
        if ((table >> i) & 1) result |= ((i & 2) ? Pen : ~Pen) & ((i & 1) ? Dest : ~Dest);
    return result;
}

uint32_t Mix3(uint8_t Rop3, uint32_t Pattern, uint32_t Source, uint32_t Dest) {
    switch (Rop3) {
    case 0xCC:
        return Source;
    case 0x66:
        return Source ^ Dest;
    case 0x88:
        return Source & Dest;
    case 0xEE:
        return Source | Dest;
    case 0x33:
        return ~Source;
    case 0x55:
        return ~Dest;
    case 0xF0:
        return Pattern;
    case 0x5A:
        return Pattern ^ Dest;
    case 0x00:
        return 0;
    case 0xFF:
        return ~0u;
    default:
        break;
    }
    uint32_t result = 0;
    for (uint32_t i = 0; i < 8; ++i)
        if ((Rop3 >> i) & 1)
            result |= ((i & 4) ? Pattern : ~Pattern) & ((i & 2) ? Source : ~Source) &
                      ((i & 1) ? Dest : ~Dest);
    return result;
}

} // namespace platform::detail
