// Blits: copies and stretches between surfaces under the raster operations and stretch modes,
// pattern fills, device-independent bitmaps drawn from memory, and gradient fills.
#include "platform/gfx/GdiInternal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

using namespace platform::detail;

bool GdiFastCopies = true;

namespace {

// Converts source pixel values to destination pixel values: unchanged between equal layouts
// (the fourth byte of 32-bit pixels included), through a table from an indexed source, through
// the colour otherwise.
class ValueConverter {
public:
    ValueConverter(const TSurface& source, const TSurface& dest) : FSource(source), FMapper(dest) {
        const bool sameTable =
            source.ColorCount == dest.ColorCount &&
            (source.ColorCount == 0 ||
             std::equal(source.Colors, source.Colors + source.ColorCount, dest.Colors));
        FIdentity = source.Layout == dest.Layout && (!LayoutIndexed(source.Layout) || sameTable);
        if (!FIdentity && LayoutIndexed(source.Layout)) {
            FTable.resize(size_t{1} << LayoutBits(source.Layout));
            for (size_t i = 0; i < FTable.size(); ++i)
                FTable[i] = FMapper.Map(PixelToColor(source, static_cast<uint32_t>(i)));
        }
    }
    uint32_t Convert(uint32_t value) {
        if (FIdentity) return value;
        if (!FTable.empty()) return FTable[value & (FTable.size() - 1)];
        return FMapper.Map(PixelToColor(FSource, value));
    }

private:
    const TSurface& FSource;
    TColorMapper FMapper;
    bool FIdentity = false;
    std::vector<uint32_t> FTable;
};

// Which source pixels make destination pixel I along one axis: the nearest one (its centre
// sampled), or for shrinking AND/OR stretches every pixel that maps onto it, or for halftone
// every source pixel with its overlap as weight (weights of a pixel sum to the source extent).
struct AxisMap {
    struct Tap {
        int32_t Index;
        int64_t Weight;
    };
    std::vector<std::vector<Tap>> Taps;
};

AxisMap MapAxis(int32_t destCount, int32_t srcStart, int32_t srcCount, bool flip, int32_t mode,
                int32_t srcLimit) {
    AxisMap map;
    map.Taps.resize(static_cast<size_t>(destCount));
    const int64_t d = destCount;
    const int64_t s = srcCount;
    for (int64_t i = 0; i < d; ++i) {
        auto& taps = map.Taps[static_cast<size_t>(flip ? d - 1 - i : i)];
        auto add = [&](int64_t k, int64_t weight) {
            const int64_t index = srcStart + k;
            if (index >= 0 && index < srcLimit && weight > 0)
                taps.push_back({static_cast<int32_t>(index), weight});
        };
        if (mode == HALFTONE) {
            const int64_t from = i * s;
            const int64_t to = (i + 1) * s;
            for (int64_t k = from / d; k * d < to; ++k)
                add(k, std::min(to, (k + 1) * d) - std::max(from, k * d));
        } else if ((mode == BLACKONWHITE || mode == WHITEONBLACK) && s > d) {
            for (int64_t k = i * s / d; k < (i + 1) * s / d; ++k)
                add(k, 1);
        } else {
            add((2 * i + 1) * s / (2 * d), 1);
        }
    }
    return map;
}

// Pattern values of a device context's brush at (x, y) as the blits use it.
uint32_t PatternAt(const TBrushPaint& paint, int32_t x, int32_t y) {
    if (paint.None) return 0;
    if (!paint.Hatched) return paint.Fore;
    return paint.ForeAt(x, y) ? paint.Fore : paint.Back;
}

struct BlitRect {
    int32_t X, Y, Width, Height;
    bool FlipX = false, FlipY = false;
};

// Mirrored extents: a negative width covers X + Width + 1 .. X.
BlitRect Normalize(int32_t x, int32_t y, int32_t w, int32_t h) {
    BlitRect r{x, y, w, h};
    if (w < 0) {
        r.X = x + w + 1;
        r.Width = -w;
        r.FlipX = true;
    }
    if (h < 0) {
        r.Y = y + h + 1;
        r.Height = -h;
        r.FlipY = true;
    }
    return r;
}

// Rows of the source as the blit needs them: destination pixel values, or for halftone the
// colours, of the columns First .. Last; kept while the destination rows still use them.
class SourceRows {
public:
    SourceRows(const TSurface& source, const TSurface& dest, bool colors, int32_t first,
               int32_t last)
        : FSource(source), FConverter(source, dest), FColors(colors), FFirst(first),
          FCount(last - first + 1) {}

    // Forgets the rows that are not among Taps.
    void Keep(const std::vector<AxisMap::Tap>& taps) {
        std::erase_if(FRows, [&](const auto& entry) {
            return std::none_of(taps.begin(), taps.end(),
                                [&](const AxisMap::Tap& t) { return t.Index == entry.first; });
        });
    }
    // The values (or colours) of row Y; entry i is column First() + i.
    const uint32_t* Row(int32_t y) {
        auto it = FRows.find(y);
        if (it != FRows.end()) return it->second.data();
        std::vector<uint32_t> row(static_cast<size_t>(FCount));
        ReadRow(FSource, y, FFirst, FCount, row.data());
        for (uint32_t& v : row)
            v = FColors ? PixelToColor(FSource, v) : FConverter.Convert(v);
        return FRows.emplace(y, std::move(row)).first->second.data();
    }
    int32_t First() const { return FFirst; }

private:
    const TSurface& FSource;
    ValueConverter FConverter;
    bool FColors;
    int32_t FFirst, FCount;
    std::map<int32_t, std::vector<uint32_t>> FRows;
};

// The colour of one destination pixel averaged over its halftone taps, rounded to nearest.
COLORREF AverageColor(SourceRows& rows, const std::vector<AxisMap::Tap>& xs,
                      const std::vector<AxisMap::Tap>& ys) {
    int64_t r = 0, g = 0, b = 0, total = 0;
    for (const auto& ty : ys) {
        const uint32_t* row = rows.Row(ty.Index);
        for (const auto& tx : xs) {
            const auto c = static_cast<TColor>(row[tx.Index - rows.First()]);
            const int64_t w = tx.Weight * ty.Weight;
            r += w * GetRValue(c);
            g += w * GetGValue(c);
            b += w * GetBValue(c);
            total += w;
        }
    }
    auto channel = [&](int64_t sum) {
        return static_cast<uint8_t>((2 * sum + total) / (2 * total));
    };
    return static_cast<COLORREF>(RGB(channel(r), channel(g), channel(b)));
}

// The source columns any destination pixel reads; false when there is none.
bool ColumnRange(const AxisMap& columns, int32_t& first, int32_t& last) {
    first = INT32_MAX;
    last = INT32_MIN;
    for (const auto& taps : columns.Taps)
        for (const auto& t : taps) {
            first = std::min(first, t.Index);
            last = std::max(last, t.Index);
        }
    return first <= last;
}

// One row of a 1:1 copy: Count pixels from column Sx of source row Sy to column Dx of
// destination row Dy, with the conversion the general path makes. Whole bytes move with
// memmove (the fourth byte of 32-bit pixels included, as in the general path's identity), 24 to
// 32 bits writes 0 into the fourth byte.
class RowCopier {
public:
    RowCopier(const TSurface& source, const TSurface& dest)
        : FSource(source), FDest(dest), FConverter(source, dest) {
        const bool sameTable =
            source.ColorCount == dest.ColorCount &&
            std::equal(source.Colors, source.Colors + source.ColorCount, dest.Colors);
        const bool identity =
            source.Layout == dest.Layout && (!LayoutIndexed(source.Layout) || sameTable);
        FBytes = identity && LayoutBits(source.Layout) >= 8 ? LayoutBits(source.Layout) / 8 : 0;
    }

    void Copy(int32_t Sy, int32_t Sx, int32_t Dy, int32_t Dx, int32_t Count) {
        const uint8_t* src = FSource.Row(Sy);
        uint8_t* dst = FDest.Row(Dy);
        if (FBytes != 0) {
            std::memmove(dst + static_cast<size_t>(Dx) * FBytes,
                         src + static_cast<size_t>(Sx) * FBytes, static_cast<size_t>(Count) * FBytes);
        } else if (FSource.Layout == TPixelLayout::Bgr24 && FDest.Layout == TPixelLayout::Bgrx32) {
            src += static_cast<size_t>(Sx) * 3;
            dst += static_cast<size_t>(Dx) * 4;
            int32_t i = 0;
            if constexpr (std::endian::native == std::endian::little) {
                // A pixel and the next one's first byte read as one word, that byte cleared;
                // the last pixel goes byte by byte, as its word could pass the row's end.
                for (; i + 1 < Count; ++i, src += 3, dst += 4) {
                    uint32_t word;
                    std::memcpy(&word, src, 4);
                    word &= 0x00FFFFFFu;
                    std::memcpy(dst, &word, 4);
                }
            }
            for (; i < Count; ++i, src += 3, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 0;
            }
        } else if (FSource.Layout == TPixelLayout::Bgrx32 && FDest.Layout == TPixelLayout::Bgr24) {
            src += static_cast<size_t>(Sx) * 4;
            dst += static_cast<size_t>(Dx) * 3;
            for (int32_t i = 0; i < Count; ++i, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
        } else {
            FLine.resize(static_cast<size_t>(Count));
            ReadRow(FSource, Sy, Sx, Count, FLine.data());
            for (uint32_t& v : FLine)
                v = FConverter.Convert(v);
            WriteRow(FDest, Dy, Dx, Count, FLine.data());
        }
    }

private:
    const TSurface& FSource;
    const TSurface& FDest;
    ValueConverter FConverter;
    size_t FBytes = 0;
    std::vector<uint32_t> FLine;
};

// A SRCCOPY at 1:1 without mirroring: row copies over the visible spans, inside the source.
// Rows run bottom to top when a surface copies onto itself downwards, so no row is overwritten
// before it is read.
void CopyCore(TDeviceContext& dc, const BlitRect& dest, const BlitRect& from,
              const TSurface& src) {
    const TSurface& out = dc.Surface();
    RowCopier copier(src, out);
    const int32_t dx = from.X - dest.X, dy = from.Y - dest.Y;
    const bool upwards = src.Bits == out.Bits && dy < 0;
    for (int32_t k = 0; k < dest.Height; ++k) {
        const int32_t j = upwards ? dest.Height - 1 - k : k;
        const int32_t y = dest.Y + j;
        if (y + dy < 0 || y + dy >= src.Height) continue;
        const int32_t left = std::max(dest.X, -dx);
        const int32_t right = std::min(dest.X + dest.Width, src.Width - dx);
        ForEachVisibleSpan(dc, y, left, right, [&](int32_t a, int32_t b) {
            copier.Copy(y + dy, a + dx, y, a, b - a);
        });
    }
}

bool StretchCore(TDeviceContext& dc, int32_t x, int32_t y, int32_t w, int32_t h,
                 const TSurface* src, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                 uint32_t rop) {
    const uint8_t code = Rop3Code(rop);
    const bool usesSource = Rop3UsesSource(code);
    if (usesSource && src == nullptr) return false;
    BlitRect dest = Normalize(x, y, w, h);
    BlitRect from =
        usesSource ? Normalize(sx, sy, sw, sh) : BlitRect{0, 0, dest.Width, dest.Height};
    if (dest.Width == 0 || dest.Height == 0 || from.Width == 0 || from.Height == 0) return true;
    const TSurface& out = dc.Surface();
    if (out.Empty() || (usesSource && src->Empty())) return true;

    if (GdiFastCopies && code == 0xCC && !dest.FlipX && !dest.FlipY && !from.FlipX &&
        !from.FlipY && dest.Width == from.Width && dest.Height == from.Height) {
        CopyCore(dc, dest, from, *src);
        return true;
    }
    const int32_t mode = dc.StretchMode;
    const AxisMap columns = MapAxis(dest.Width, from.X, from.Width, dest.FlipX != from.FlipX, mode,
                                    usesSource ? src->Width : INT32_MAX);
    const AxisMap rows = MapAxis(dest.Height, from.Y, from.Height, dest.FlipY != from.FlipY, mode,
                                 usesSource ? src->Height : INT32_MAX);
    int32_t first = 0, last = 0;
    if (usesSource && !ColumnRange(columns, first, last)) return true;
    std::optional<SourceRows> source;
    if (usesSource) source.emplace(*src, out, mode == HALFTONE, first, last);
    const TBrushPaint pattern = MakeBrushPaint(dc, dc.Brush, true);
    const uint32_t mask = LayoutColorMask(out.Layout);
    const bool whiteOnBlack = mode == WHITEONBLACK;
    TColorMapper mapper(out);

    std::vector<uint32_t> line;
    std::vector<const uint32_t*> tapRows;
    for (int32_t j = 0; j < dest.Height; ++j) {
        const int32_t dy = dest.Y + j;
        const auto& ys = rows.Taps[static_cast<size_t>(j)];
        if (usesSource) {
            if (ys.empty()) continue;
            source->Keep(ys);
            tapRows.clear();
            for (const auto& ty : ys)
                tapRows.push_back(source->Row(ty.Index));
        }
        ForEachVisibleSpan(dc, dy, dest.X, dest.X + dest.Width, [&](int32_t a, int32_t b) {
            line.resize(static_cast<size_t>(b - a));
            ReadRow(out, dy, a, b - a, line.data());
            for (int32_t dx = a; dx < b; ++dx) {
                uint32_t& d = line[static_cast<size_t>(dx - a)];
                uint32_t s = 0;
                if (usesSource) {
                    const auto& xs = columns.Taps[static_cast<size_t>(dx - dest.X)];
                    if (xs.empty()) continue;
                    if (mode == HALFTONE) {
                        s = mapper.Map(AverageColor(*source, xs, ys));
                    } else {
                        s = whiteOnBlack ? 0u : ~0u;
                        for (const uint32_t* row : tapRows)
                            for (const auto& tx : xs) {
                                const uint32_t v = row[tx.Index - first];
                                s = whiteOnBlack ? s | v : s & v;
                            }
                    }
                }
                d = code == 0xCC ? s : Mix3(code, PatternAt(pattern, dx, dy), s, d) & mask;
            }
            WriteRow(out, dy, a, b - a, line.data());
        });
    }
    return true;
}

// A surface over a device-independent bitmap in the caller's memory; false for a header the
// drawing code does not know.
bool DibSurface(const BITMAPINFO* info, const void* bits, TSurface& surface,
                std::vector<TRGBQuad>& colors) {
    if (info == nullptr || bits == nullptr) return false;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN || h.biPlanes != 1)
        return false;
    const auto* extra = reinterpret_cast<const uint8_t*>(info) + h.biSize;
    bool is565 = false;
    if (h.biCompression == BI_BITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32) return false;
        uint32_t masks[3];
        std::copy(reinterpret_cast<const uint32_t*>(extra),
                  reinterpret_cast<const uint32_t*>(extra) + 3, masks);
        const bool m555 = masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x1F;
        is565 = masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x1F;
        const bool m888 = masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
        if (!((h.biBitCount == 16 && (m555 || is565)) || (h.biBitCount == 32 && m888)))
            return false;
    } else if (h.biCompression != BI_RGB) {
        return false;
    }
    TPixelLayout layout;
    if (!LayoutForBits(h.biBitCount, is565, layout)) return false;
    const int64_t stride = (int64_t{h.biWidth} * h.biBitCount + 31) / 32 * 4;
    if (stride > INT32_MAX) return false;
    if (LayoutIndexed(layout)) {
        const uint32_t limit = 1u << h.biBitCount;
        const uint32_t count = h.biClrUsed == 0 ? limit : std::min(h.biClrUsed, limit);
        const auto* table = reinterpret_cast<const TRGBQuad*>(extra);
        colors.assign(table, table + count);
    }
    surface = {const_cast<uint8_t*>(static_cast<const uint8_t*>(bits)),
               h.biWidth,
               h.biHeight < 0 ? -h.biHeight : h.biHeight,
               static_cast<int32_t>(stride),
               h.biHeight > 0,
               layout,
               colors.data(),
               static_cast<int32_t>(colors.size())};
    return true;
}

} // namespace

bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source, int32_t SrcX,
            int32_t SrcY, uint32_t Rop) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dest);
    if (dc == nullptr) return false;
    const TDeviceContext* source = Lookup<TDeviceContext>(Source);
    if (Source != nullptr && source == nullptr) return false;
    // A plain copy keeps the destination's stretch mode out of the way.
    const int32_t mode = dc->StretchMode;
    dc->StretchMode = COLORONCOLOR;
    const bool ok = StretchCore(*dc, X, Y, Width, Height, source ? &source->Surface() : nullptr,
                                SrcX, SrcY, Width, Height, Rop);
    dc->StretchMode = mode;
    return ok;
}

bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dest);
    if (dc == nullptr) return false;
    const TDeviceContext* source = Lookup<TDeviceContext>(Source);
    if (Source != nullptr && source == nullptr) return false;
    return StretchCore(*dc, X, Y, Width, Height, source ? &source->Surface() : nullptr, SrcX, SrcY,
                       SrcWidth, SrcHeight, Rop);
}

namespace {

// One premultiplied source pixel over a destination colour.
COLORREF BlendOver(uint32_t Source, COLORREF Dest, uint32_t Constant, bool SourceAlpha) {
    const uint32_t alpha = SourceAlpha ? (Source >> 24) * Constant / 255 : Constant;
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        // Source bytes are blue, green, red; a COLORREF holds red, green, blue.
        const uint32_t s = (Source >> (16 - shift) & 0xFF) * Constant / 255;
        const uint32_t d = Dest >> shift & 0xFF;
        out |= std::min<uint32_t>(s + d * (255 - alpha) / 255, 255) << shift;
    }
    return out;
}

} // namespace

bool AlphaBlend(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                BLENDFUNCTION Blend) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dest);
    const TDeviceContext* source = Lookup<TDeviceContext>(Source);
    if (dc == nullptr || source == nullptr || Blend.BlendOp != AC_SRC_OVER) return false;
    const TSurface& src = source->Surface();
    if (Width <= 0 || Height <= 0 || SrcWidth <= 0 || SrcHeight <= 0 || SrcX < 0 || SrcY < 0 ||
        SrcX + SrcWidth > src.Width || SrcY + SrcHeight > src.Height)
        return false;
    const bool sourceAlpha = (Blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    if (sourceAlpha && src.Layout != TPixelLayout::Bgrx32) return false;
    const TSurface& dst = dc->Surface();
    for (int32_t row = 0; row < Height; ++row) {
        const int32_t sy = SrcY + static_cast<int32_t>(int64_t{row} * SrcHeight / Height);
        ForEachVisibleSpan(*dc, Y + row, X, X + Width, [&](int32_t X0, int32_t X1) {
            for (int32_t x = X0; x < X1; ++x) {
                const int32_t sx =
                    SrcX + static_cast<int32_t>(int64_t{x - X} * SrcWidth / Width);
                uint32_t s = ReadPixel(src, sx, sy);
                if (!sourceAlpha) { // the colour as blue, green, red bytes
                    const COLORREF c = PixelToColor(src, s);
                    s = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
                }
                const COLORREF d = PixelToColor(dst, ReadPixel(dst, x, Y + row));
                WritePixel(dst, x, Y + row,
                           ColorToPixel(dst, BlendOver(s, d, Blend.SourceConstantAlpha,
                                                       sourceAlpha)));
            }
        });
    }
    return true;
}

bool PatBlt(HDC Dc, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rop3UsesSource(Rop3Code(Rop))) return false;
    // Pattern fills take a negative extent as the rectangle on the other side of X (or Y).
    const int32_t left = Width < 0 ? X + Width : X;
    const int32_t top = Height < 0 ? Y + Height : Y;
    return StretchCore(*dc, left, top, Width < 0 ? -Width : Width, Height < 0 ? -Height : Height,
                       nullptr, 0, 0, 0, 0, Rop);
}

int32_t StretchDIBits(HDC Dc, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX,
                      int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                      const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    TSurface surface;
    std::vector<TRGBQuad> colors;
    if (dc == nullptr || Usage != DIB_RGB_COLORS || !DibSurface(Info, Bits, surface, colors))
        return 0;
    if (surface.BottomUp) {
        // Rows are counted from the bottom of the stored picture: turn the source rectangle
        // into one counted from the top, keeping its direction.
        const BlitRect r = Normalize(SrcX, SrcY, SrcWidth, SrcHeight);
        const int32_t top = surface.Height - r.Y - r.Height;
        SrcY = r.FlipY ? top + r.Height - 1 : top;
        SrcHeight = r.FlipY ? -r.Height : r.Height;
    }
    if (!StretchCore(*dc, X, Y, Width, Height, &surface, SrcX, SrcY, SrcWidth, SrcHeight, Rop))
        return 0;
    return Height < 0 ? -Height : Height;
}

bool GradientFill(HDC Dc, const TRIVERTEX* Vertices, uint32_t VertexCount, const void* Mesh,
                  uint32_t MeshCount, uint32_t Mode) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Vertices == nullptr || Mesh == nullptr ||
        (Mode != GRADIENT_FILL_RECT_H && Mode != GRADIENT_FILL_RECT_V))
        return false;
    const auto* rects = static_cast<const GRADIENT_RECT*>(Mesh);
    for (uint32_t m = 0; m < MeshCount; ++m)
        if (rects[m].UpperLeft >= VertexCount || rects[m].LowerRight >= VertexCount) return false;
    const TSurface& out = dc->Surface();
    const bool alphaByte = out.Layout == TPixelLayout::Bgrx32;
    TColorMapper mapper(out);
    std::vector<uint32_t> line;
    for (uint32_t m = 0; m < MeshCount; ++m) {
        const TRIVERTEX& v0 = Vertices[rects[m].UpperLeft];
        const TRIVERTEX& v1 = Vertices[rects[m].LowerRight];
        const bool vertical = Mode == GRADIENT_FILL_RECT_V;
        const int64_t from = vertical ? v0.y : v0.x;
        const int64_t span = (vertical ? v1.y : v1.x) - from;
        // Channel c at position p: c0 + (c1 - c0) (p - p0) / (p1 - p0), the high byte drawn.
        auto valueAt = [&](int64_t p) {
            auto channel = [&](uint16_t c0, uint16_t c1) {
                const int64_t c = span == 0 ? c0 : c0 + (int64_t{c1} - c0) * (p - from) / span;
                return static_cast<uint8_t>(c >> 8);
            };
            uint32_t v = mapper.Map(static_cast<COLORREF>(RGB(
                channel(v0.Red, v1.Red), channel(v0.Green, v1.Green), channel(v0.Blue, v1.Blue))));
            if (alphaByte) v |= static_cast<uint32_t>(channel(v0.Alpha, v1.Alpha)) << 24;
            return v;
        };
        const int32_t left = std::min(v0.x, v1.x), right = std::max(v0.x, v1.x);
        const int32_t top = std::min(v0.y, v1.y), bottom = std::max(v0.y, v1.y);
        for (int32_t y = top; y < bottom; ++y)
            ForEachVisibleSpan(*dc, y, left, right, [&](int32_t a, int32_t b) {
                line.resize(static_cast<size_t>(b - a));
                for (int32_t x = a; x < b; ++x)
                    line[static_cast<size_t>(x - a)] = valueAt(vertical ? y : x);
                WriteRow(out, y, a, b - a, line.data());
            });
    }
    return true;
}
