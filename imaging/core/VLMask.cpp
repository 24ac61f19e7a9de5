// The selection mask.
#include "imaging/core/VLMask.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLHelpers.h"
#include "platform/gfx/Canvas.h"

#include <algorithm>
#include <cstring>
#include <new>

using enum TVLPixelFormat;

namespace {

using imaging_core::detail::Blend255;

// Mask pixels per display pixel in 14-bit fixed point.
int64_t DisplayStep(int32_t Source, int32_t Display) {
    return Round(static_cast<double>(Source) / Display * 16384);
}

bool RowBit(const uint8_t* Row, int32_t X) {
    return GetRowBit(Row, static_cast<uint32_t>(X)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Masked copies: one kernel per (mask depth, pixel operation), chosen once per call.

// The part of the mask row Y that is copied: mask columns XFrom .. XTo, the source pixel of
// column x at x - SrcOffset and the destination pixel at x - DstOffset.
struct TMaskSpan {
    int32_t XFrom, XTo, SrcOffset, DstOffset;
};

template <int MaskBits> uint32_t MaskValue(const uint8_t* Row, int32_t X) {
    if constexpr (MaskBits == 1)
        return RowBit(Row, X) ? 255 : 0;
    else
        return Row[X];
}

template <int N> struct TCopyPixel {
    static void Apply(uint8_t* D, int32_t DX, const uint8_t* S, int32_t SX, uint32_t) {
        std::memcpy(D + static_cast<ptrdiff_t>(DX) * N, S + static_cast<ptrdiff_t>(SX) * N, N);
    }
};

struct TCopyBit {
    static void Apply(uint8_t* D, int32_t DX, const uint8_t* S, int32_t SX, uint32_t) {
        SetRowBit(D, DX, RowBit(S, SX));
    }
};

// Blends the first Channels bytes of N-byte pixels by the mask value.
template <int N, int Channels> struct TBlendPixel {
    static void Apply(uint8_t* D, int32_t DX, const uint8_t* S, int32_t SX, uint32_t M) {
        uint8_t* d = D + static_cast<ptrdiff_t>(DX) * N;
        const uint8_t* s = S + static_cast<ptrdiff_t>(SX) * N;
        for (int c = 0; c < Channels; ++c)
            d[c] = Blend255<uint8_t>(s[c], d[c], M);
    }
};

using TMaskedRowKernel = void (*)(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask,
                                  const TMaskSpan& Span);

template <int MaskBits, typename Op>
void MaskedRow(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, const TMaskSpan& Span) {
    for (int32_t x = Span.XFrom; x <= Span.XTo; ++x)
        if (const uint32_t m = MaskValue<MaskBits>(Mask, x))
            Op::Apply(Dst, x - Span.DstOffset, Src, x - Span.SrcOffset, m);
}

template <int MaskBits> TMaskedRowKernel CopyKernel(int32_t BitCount) {
    switch (BitCount) {
    case 1:
        return MaskedRow<MaskBits, TCopyBit>;
    case 8:
        return MaskedRow<MaskBits, TCopyPixel<1>>;
    case 16:
        return MaskedRow<MaskBits, TCopyPixel<2>>;
    case 24:
        return MaskedRow<MaskBits, TCopyPixel<3>>;
    case 32:
        return MaskedRow<MaskBits, TCopyPixel<4>>;
    case 48:
        return MaskedRow<MaskBits, TCopyPixel<6>>;
    default:
        return nullptr;
    }
}

// A 1-bit mask copies every format; an 8-bit mask blends the byte formats and copies bits.
TMaskedRowKernel MaskedCopyKernel(int32_t MaskBits, TVLPixelFormat Format) {
    if (MaskBits == 1) return CopyKernel<1>(PixelFormatInfo(Format).BitCount);
    switch (Format) {
    case vl1g:
        return MaskedRow<8, TCopyBit>;
    case vl8g:
    case vl8p:
        return MaskedRow<8, TBlendPixel<1, 1>>;
    case vl24RGB:
        return MaskedRow<8, TBlendPixel<3, 3>>;
    case vl32RGB:
        return MaskedRow<8, TBlendPixel<4, 3>>; // the fourth byte is kept
    default:
        return nullptr;
    }
}

// Dest alpha := min(source alpha, mask value) inside the span (0 where nothing is selected); a
// nil source alpha row counts as opaque.
template <int MaskBits>
void MaskToAlphaRow(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, const TMaskSpan& Span) {
    for (int32_t x = Span.XFrom; x <= Span.XTo; ++x) {
        const uint32_t m = MaskValue<MaskBits>(Mask, x);
        const uint32_t a = Src != nullptr ? Src[x - Span.SrcOffset] : 255;
        Dst[x - Span.DstOffset] = static_cast<uint8_t>(m != 0 ? std::min(a, m) : 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Polygon edges.

// An edge from its upper end; X is its column on the current row, advanced row by row with an
// error term so that X is the exact column k * DX / DY rows down, rounded to the nearest with
// ties toward the start.
struct TEdge {
    int64_t X;
    int32_t YStart;
    int32_t YMax;
    int64_t DX;
    int64_t DY;
    int64_t Error = 0;
};

void AdvanceEdge(TEdge& E) {
    E.X += E.DX / E.DY;
    E.Error += 2 * (E.DX % E.DY);
    if (E.Error > E.DY || E.Error < -E.DY) {
        if (E.DX <= 0) {
            E.X -= 1;
            E.Error += 2 * E.DY;
        } else {
            E.X += 1;
            E.Error -= 2 * E.DY;
        }
    }
}

// The same as K calls of AdvanceEdge on a new edge, in one step (rows above the mask are skipped
// this way instead of walked).
void AdvanceNewEdgeBy(TEdge& E, int64_t K) {
    if (K <= 0) return;
    using Wide = __int128;
    const Wide q = E.DX / E.DY;
    const Wide r = E.DX % E.DY;
    const Wide period = 2 * Wide{E.DY};
    Wide error;
    Wide steps;
    if (E.DX > 0) {
        // The error stays in (-DY, DY]: one step back per period passed.
        error = (2 * Wide{K} * r) % period;
        if (error > E.DY) error -= period;
        steps = (2 * Wide{K} * r - error) / period;
    } else {
        // The error stays in [-DY, DY): one step forward per period passed.
        error = -((-2 * Wide{K} * r) % period);
        if (error < -E.DY) error += period;
        steps = -((error - 2 * Wide{K} * r) / period);
    }
    E.X = static_cast<int64_t>(E.X + Wide{K} * q + steps);
    E.Error = static_cast<int64_t>(error);
}

bool EdgeBefore(const TEdge* A, const TEdge* B) {
    if (A->X != B->X) return A->X < B->X;
    // At equal x the smaller slope DX / DY first (both DY are positive).
    return static_cast<__int128>(A->DX) * B->DY < static_cast<__int128>(B->DX) * A->DY;
}

} // namespace

TVLMask::TVLMask() = default;

TVLMask::~TVLMask() {
    FreeBits();
}

void TVLMask::FreeBits() {
    FDisplayBuffer.clear();
    FDisplayRows.clear();
    FDisplayWidth = FDisplayHeight = 0;
    FBits.reset();
    FWidth = FHeight = FBitsPerPixel = FRowLen = 0;
}

bool TVLMask::AllocateBits(int32_t NewWidth, int32_t NewHeight, int32_t NewBitsPerPixel) {
    FreeBits();
    MakeBoxEmpty();
    Full = false;
    if (NewWidth <= 0 || NewHeight <= 0 || (NewBitsPerPixel != 1 && NewBitsPerPixel != 8))
        return false;
    const int64_t rowLen = AlignedRowLength(NewWidth, NewBitsPerPixel, 32);
    const int64_t size = rowLen * NewHeight;
    if (rowLen > INT32_MAX || size > static_cast<int64_t>(PTRDIFF_MAX)) return false;
    FBits.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
    if (!FBits) return false;
    FWidth = NewWidth;
    FHeight = NewHeight;
    FBitsPerPixel = NewBitsPerPixel;
    FRowLen = static_cast<int32_t>(rowLen);
    return true;
}

void TVLMask::Resize(int32_t NewWidth, int32_t NewHeight) {
    if (FBitsPerPixel == 0 || (NewWidth == FWidth && NewHeight == FHeight)) return;
    TVLMask fresh;
    if (!fresh.AllocateBits(NewWidth, NewHeight, FBitsPerPixel)) return;
    const int32_t rows = std::min(FHeight, NewHeight);
    const auto bytes = static_cast<size_t>(std::min(FRowLen, fresh.FRowLen));
    for (int32_t r = 0; r < rows; ++r)
        std::memcpy(fresh.GetScanline(r), GetScanline(r), bytes);
    // Growing uncovers unselected pixels; shrinking keeps a full mask full.
    Full = Full && NewWidth <= FWidth && NewHeight <= FHeight;
    const int32_t bits = FBitsPerPixel;
    FreeBits();
    FBits = std::move(fresh.FBits);
    FBitsPerPixel = bits;
    FWidth = NewWidth;
    FHeight = NewHeight;
    FRowLen = fresh.FRowLen;
    if (!IsEmpty()) {
        X1 = std::min(X1, FWidth - 1);
        X2 = std::min(X2, FWidth - 1);
        Y1 = std::min(Y1, FHeight - 1);
        Y2 = std::min(Y2, FHeight - 1);
    }
}

uint8_t* TVLMask::GetScanline(int32_t Row) {
    if (!FBits || Row < 0 || Row >= FHeight) return nullptr;
    return FBits.get() + static_cast<int64_t>(FRowLen) * (FHeight - Row - 1);
}

int32_t TVLMask::GetPixel(int32_t X, int32_t Y) {
    const uint8_t* row = X >= 0 && X < FWidth ? GetScanline(Y) : nullptr;
    if (row == nullptr) return 0;
    return FBitsPerPixel == 1 ? (RowBit(row, X) ? 1 : 0) : row[X];
}

void TVLMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
    uint8_t* row = X >= 0 && X < FWidth ? GetScanline(Y) : nullptr;
    if (row == nullptr) return;
    if (Value != 0) ExtendBox(X, Y);
    if (FBitsPerPixel == 1) {
        SetRowBit(row, X, Value != 0);
        Full = Full && Value != 0;
    } else {
        row[X] = static_cast<uint8_t>(Value);
        Full = Full && Value == 255;
    }
}

int32_t TVLMask::FillRow(int32_t Value, int32_t XFrom, int32_t Y, int32_t XTo) {
    XFrom = std::max(XFrom, 0);
    XTo = std::min(XTo, FWidth - 1);
    uint8_t* row = GetScanline(Y);
    if (row == nullptr || XTo < XFrom) return 0;
    const int32_t count = XTo - XFrom + 1;
    if (FBitsPerPixel == 1) {
        FillRowBits(row, XFrom, count, Value != 0);
        Full = Full && Value != 0;
    } else {
        std::memset(row + XFrom, static_cast<uint8_t>(Value), count);
        Full = Full && Value == 255;
    }
    return count;
}

void TVLMask::Fill(uint8_t Value) {
    if (FBits) std::memset(FBits.get(), Value, static_cast<size_t>(FRowLen) * FHeight);
    Full = Value == 255;
}

void TVLMask::Clear() {
    Fill(0);
    MakeBoxEmpty();
}

void TVLMask::MakeBoxEmpty() {
    X1 = Y1 = MaxInt;
    X2 = Y2 = 0;
}

void TVLMask::ClampBox() {
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, FWidth - 1);
    Y2 = std::min(Y2, FHeight - 1);
}

void TVLMask::ExtendBox(int32_t X, int32_t Y) {
    X1 = std::min(X1, X);
    X2 = std::max(X2, X);
    Y1 = std::min(Y1, Y);
    Y2 = std::max(Y2, Y);
    ClampBox();
}

void TVLMask::SyncBoundingBox() {
    MakeBoxEmpty();
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* row = GetScanline(y);
        int32_t first = -1;
        int32_t last = -1;
        for (int32_t x = 0; x < FWidth; ++x) {
            const bool set = FBitsPerPixel == 1 ? RowBit(row, x) : row[x] != 0;
            if (set) {
                if (first < 0) first = x;
                last = x;
            }
        }
        if (first >= 0) {
            ExtendBox(first, y);
            ExtendBox(last, y);
        }
    }
}

void TVLMask::SyncFull() {
    bool full = true;
    for (int32_t y = 0; y < FHeight && full; ++y) {
        const uint8_t* row = GetScanline(y);
        if (FBitsPerPixel == 8) {
            full = std::all_of(row, row + FWidth, [](uint8_t b) { return b == 255; });
        } else {
            const int32_t wholeBytes = FWidth / 8;
            full = std::all_of(row, row + wholeBytes, [](uint8_t b) { return b == 255; });
            for (int32_t x = wholeBytes * 8; x < FWidth && full; ++x)
                full = RowBit(row, x);
        }
    }
    Full = full;
}

void TVLMask::FillPolygons(int32_t Value, const TPoint* Points, int32_t Count) {
    if (Points == nullptr) return;
    int32_t start = 0;
    for (int32_t i = 0; i <= Count; ++i) {
        if (i < Count && Points[i].X != PolygonSeparator) continue;
        FillPolygon(Value, Points + start, i - start);
        start = i + 1;
    }
    SyncFull();
}

void TVLMask::FillPolygon(int32_t Value, const TPoint* Points, int32_t Count) {
    if (Points == nullptr || Count <= 0) return;
    const int32_t bx1 = X1, by1 = Y1, bx2 = X2, by2 = Y2;
    if (Value != 0) {
        for (int32_t i = 0; i < Count; ++i) {
            X1 = std::min(X1, Points[i].X);
            Y1 = std::min(Y1, Points[i].Y);
            // The right and bottom ends are exclusive.
            if (Points[i].X > X2) X2 = Points[i].X - 1;
            if (Points[i].Y > Y2) Y2 = Points[i].Y - 1;
        }
        ClampBox();
    }
    std::vector<TEdge> edges;
    int32_t top = Points[0].Y;
    int32_t bottom = Points[0].Y;
    for (int32_t i = 0; i < Count; ++i) {
        TPoint a = Points[i];
        TPoint b = Points[(i + 1) % Count];
        top = std::min(top, a.Y);
        bottom = std::max(bottom, a.Y);
        if (a.Y == b.Y) continue; // horizontal edges are dropped
        if (b.Y < a.Y) std::swap(a, b);
        edges.push_back({a.X, a.Y, b.Y, int64_t{b.X} - a.X, int64_t{b.Y} - a.Y});
    }
    std::stable_sort(edges.begin(), edges.end(),
                     [](const TEdge& p, const TEdge& q) { return p.YStart < q.YStart; });
    // Rows above and below the mask fill nothing: the walk starts at the first row inside.
    const int32_t first = std::max(top, 0);
    const int32_t last = std::min(bottom, FHeight); // exclusive: the bottom row is never filled
    std::vector<TEdge*> active;
    size_t next = 0;
    int32_t filled = 0;
    for (int32_t y = first; y < last; ++y) {
        if (y == first) {
            for (; next < edges.size() && edges[next].YStart <= y; ++next)
                if (edges[next].YMax > y) {
                    AdvanceNewEdgeBy(edges[next], y - edges[next].YStart);
                    active.push_back(&edges[next]);
                }
        } else {
            std::erase_if(active, [y](const TEdge* e) { return e->YMax == y; });
            for (TEdge* e : active)
                AdvanceEdge(*e);
            for (; next < edges.size() && edges[next].YStart == y; ++next)
                active.push_back(&edges[next]);
        }
        std::stable_sort(active.begin(), active.end(), EdgeBefore);
        for (size_t i = 0; i + 1 < active.size(); i += 2) {
            const int64_t from = active[i]->X;
            const int64_t to = active[i + 1]->X - 1;
            if (to < from || to < 0 || from >= FWidth) continue;
            filled += FillRow(Value, static_cast<int32_t>(std::max<int64_t>(from, 0)), y,
                              static_cast<int32_t>(std::min<int64_t>(to, FWidth - 1)));
        }
    }
    if (filled == 0) {
        // Nothing was filled: the box is as it was.
        X1 = bx1;
        Y1 = by1;
        X2 = bx2;
        Y2 = by2;
    }
}

void TVLMask::Translate(int32_t& DX, int32_t& DY, bool Cut) {
    if (IsEmpty()) SyncBoundingBox();
    if (IsEmpty()) return;
    const int64_t dx64 = DX, dy64 = DY;
    if (Cut) {
        if (dx64 + X1 < 0) X1 = static_cast<int32_t>(std::min<int64_t>(-dx64, MaxInt));
        if (dx64 + X2 >= FWidth) X2 = static_cast<int32_t>(std::max<int64_t>(FWidth - 1 - dx64, -1));
        if (dy64 + Y1 < 0) Y1 = static_cast<int32_t>(std::min<int64_t>(-dy64, MaxInt));
        if (dy64 + Y2 >= FHeight)
            Y2 = static_cast<int32_t>(std::max<int64_t>(FHeight - 1 - dy64, -1));
    } else {
        if (dx64 + X1 < 0) DX = -X1;
        if (static_cast<int64_t>(DX) + X2 >= FWidth) DX = FWidth - X2 - 1;
        if (dy64 + Y1 < 0) DY = -Y1;
        if (static_cast<int64_t>(DY) + Y2 >= FHeight) DY = FHeight - Y2 - 1;
    }
    if (DX == 0 && DY == 0) return;
    if (X2 < X1 || Y2 < Y1) {
        // Everything selected moved outside.
        Clear();
        return;
    }
    const int32_t w = X2 - X1 + 1;
    const int32_t h = Y2 - Y1 + 1;
    if (FBitsPerPixel == 1) {
        const int32_t packed = (w + 7) / 8;
        std::vector<uint8_t> copy(static_cast<size_t>(packed) * h, 0);
        for (int32_t y = 0; y < h; ++y)
            CopyBits(&copy[static_cast<size_t>(y) * packed], GetScanline(Y1 + y), 0, X1, w, FRowLen);
        std::memset(FBits.get(), 0, static_cast<size_t>(FRowLen) * FHeight);
        for (int32_t y = 0; y < h; ++y)
            CopyBits(GetScanline(Y1 + DY + y), &copy[static_cast<size_t>(y) * packed], X1 + DX, 0,
                     w, packed);
    } else {
        const std::vector<uint8_t> copy(FBits.get(),
                                        FBits.get() + static_cast<size_t>(FRowLen) * FHeight);
        std::memset(FBits.get(), 0, copy.size());
        for (int32_t y = Y1; y <= Y2; ++y) {
            const int64_t ty = static_cast<int64_t>(y) + DY;
            if (ty < 0 || ty >= FHeight) continue;
            const uint8_t* src = copy.data() + static_cast<int64_t>(FRowLen) * (FHeight - y - 1);
            uint8_t* dst = GetScanline(static_cast<int32_t>(ty));
            for (int32_t x = X1; x <= X2; ++x) {
                const int64_t tx = static_cast<int64_t>(x) + DX;
                if (tx >= 0 && tx < FWidth) dst[tx] = src[x];
            }
        }
    }
    auto move = [](int32_t v, int32_t d, int32_t limit) {
        return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(v) + d, 0, limit - 1));
    };
    X1 = move(X1, DX, FWidth);
    X2 = move(X2, DX, FWidth);
    Y1 = move(Y1, DY, FHeight);
    Y2 = move(Y2, DY, FHeight);
    // Pixels were uncovered: the mask is no longer known to be full.
    Full = false;
}

void TVLMask::CopyMaskedBitmap(TVLBitmap& Dest, TVLBitmap& Source, bool DestAtBoxOrigin,
                               bool SourceAtBoxOrigin, bool MakeAlpha) {
    if (IsEmpty() || !FBits) return;
    // The region is the box, limited to the mask and to both bitmaps at their offsets.
    const int32_t sxOff = SourceAtBoxOrigin ? X1 : 0, syOff = SourceAtBoxOrigin ? Y1 : 0;
    const int32_t dxOff = DestAtBoxOrigin ? X1 : 0, dyOff = DestAtBoxOrigin ? Y1 : 0;
    const int64_t xFrom = std::max({int64_t{X1}, int64_t{0}, int64_t{sxOff}, int64_t{dxOff}});
    const int64_t yFrom = std::max({int64_t{Y1}, int64_t{0}, int64_t{syOff}, int64_t{dyOff}});
    const int64_t xTo =
        std::min({int64_t{X2}, int64_t{FWidth} - 1, int64_t{Source.GetWidth()} - 1 + sxOff,
                  int64_t{Dest.GetWidth()} - 1 + dxOff});
    const int64_t yTo =
        std::min({int64_t{Y2}, int64_t{FHeight} - 1, int64_t{Source.GetHeight()} - 1 + syOff,
                  int64_t{Dest.GetHeight()} - 1 + dyOff});
    if (xTo < xFrom || yTo < yFrom) return;
    const TMaskSpan span{static_cast<int32_t>(xFrom), static_cast<int32_t>(xTo), sxOff, dxOff};

    TMaskedRowKernel kernel = Source.GetPixelFormat() == Dest.GetPixelFormat()
                                  ? MaskedCopyKernel(FBitsPerPixel, Source.GetPixelFormat())
                                  : nullptr;
    if (kernel != nullptr) {
        for (auto y = static_cast<int32_t>(yFrom); y <= yTo; ++y) {
            const uint8_t* src = Source.MapScanline(y - syOff);
            uint8_t* dst = Dest.GetScanline(y - dyOff);
            if (src != nullptr && dst != nullptr) kernel(dst, src, GetScanline(y), span);
            Source.UnmapScanline(y - syOff);
        }
        Source.UnmapAllScanlines();
        Dest.UnmapAllScanlines();
        Dest.Full = false;
    }
    if (!MakeAlpha || Dest.IsAlpha) return;
    TVLBitmap* destAlpha = Dest.GetAlphaChannel();
    TVLBitmap* sourceAlpha = Source.HasAlphaChannel() ? Source.GetAlphaChannel() : nullptr;
    const auto alphaKernel = FBitsPerPixel == 1 ? MaskToAlphaRow<1> : MaskToAlphaRow<8>;
    for (auto y = static_cast<int32_t>(yFrom); y <= yTo; ++y) {
        const uint8_t* src = sourceAlpha ? sourceAlpha->MapScanline(y - syOff) : nullptr;
        uint8_t* dst = destAlpha->GetScanline(y - dyOff);
        if (dst != nullptr) alphaKernel(dst, src, GetScanline(y), span);
        if (sourceAlpha) sourceAlpha->UnmapScanline(y - syOff);
    }
    if (sourceAlpha) sourceAlpha->UnmapAllScanlines();
    destAlpha->UnmapAllScanlines();
    destAlpha->Full = false;
}

void TVLMask::ResampleToDisplay(uint8_t* const* DestRows, int32_t DestWidth, int32_t DestHeight,
                                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight) {
    if (DestWidth <= 0 || DestHeight <= 0 || DestRows == nullptr) return;
    const auto rowBytes = static_cast<size_t>(AlignedRowLength(DestWidth, FBitsPerPixel, 32));
    for (int32_t r = 0; r < DestHeight; ++r)
        std::memset(DestRows[r], 0, rowBytes);
    if (IsEmpty() || !FBits) return;
    const int64_t xStep = DisplayStep(SrcWidth, DestWidth);
    const int64_t yStep = DisplayStep(SrcHeight, DestHeight);
    // Mask column of every display column, or -1 outside the box.
    std::vector<int32_t> columns(DestWidth);
    for (int32_t c = 0; c < DestWidth; ++c) {
        const int64_t mc = SrcX + ((c * xStep) >> 14);
        columns[c] = mc >= X1 && mc <= X2 && mc < FWidth ? static_cast<int32_t>(mc) : -1;
    }
    for (int32_t r = 0; r < DestHeight; ++r) {
        const int64_t mr = std::min<int64_t>(SrcY + ((r * yStep) >> 14), FHeight - 1);
        if (mr < Y1 || mr > Y2) continue;
        const uint8_t* src = GetScanline(static_cast<int32_t>(mr));
        uint8_t* dst = DestRows[r];
        for (int32_t c = 0; c < DestWidth; ++c) {
            const int32_t mc = columns[c];
            if (mc < 0) continue;
            if (FBitsPerPixel == 1)
                SetRowBit(dst, c, RowBit(src, mc));
            else
                dst[c] = src[mc];
        }
    }
}

void TVLMask::PrepareDisplay(int32_t DestWidth, int32_t DestHeight, int32_t SrcX, int32_t SrcY,
                             int32_t SrcWidth, int32_t SrcHeight) {
    const auto rowBytes = static_cast<size_t>(AlignedRowLength(DestWidth, FBitsPerPixel, 32));
    if (DestWidth != FDisplayWidth || DestHeight != FDisplayHeight ||
        FDisplayBuffer.size() != rowBytes * DestHeight) {
        FDisplayBuffer.assign(rowBytes * DestHeight, 0);
        FDisplayRows.resize(DestHeight);
        // Bottom-up like the mask's own rows.
        for (int32_t r = 0; r < DestHeight; ++r)
            FDisplayRows[r] = FDisplayBuffer.data() + rowBytes * (DestHeight - 1 - r);
        FDisplayWidth = DestWidth;
        FDisplayHeight = DestHeight;
    }
    ResampleToDisplay(FDisplayRows.data(), DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight);
}

void TVLMask::StretchDrawXor(TCanvas& Canvas, int32_t DestX, int32_t DestY, int32_t DestWidth,
                             int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                             int32_t SrcHeight) {
    if (IsEmpty() || FBitsPerPixel != 1 || !FBits) return;
    TVLTwoColorBitmapInfo info;
    info.Header.biWidth = FWidth;
    info.Header.biHeight = FHeight;
    info.Header.biBitCount = 1;
    info.Header.biSizeImage = static_cast<uint32_t>(static_cast<int64_t>(FRowLen) * FHeight);
    // The rows are bottom-up: the source rectangle is measured from the bottom row.
    StretchDIBits(Canvas.Handle(), DestX, DestY, DestWidth, DestHeight, SrcX,
                  FHeight - SrcHeight - SrcY, SrcWidth, SrcHeight, FBits.get(), info.Info(),
                  DIB_RGB_COLORS, SRCINVERT);
}

void TVLMask::DrawOutline(TCanvas& Canvas, int32_t DestX, int32_t DestY, int32_t DestWidth,
                          int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                          int32_t SrcHeight, int32_t Phase, TColor Color1, TColor Color2) {
    if (DestWidth < 1 || DestHeight < 1 || IsEmpty() || !FBits) return;
    const COLORREF color1 = static_cast<COLORREF>(ColorToRGB(Color1));
    const COLORREF color2 = static_cast<COLORREF>(ColorToRGB(Color2));
    PrepareDisplay(DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight);
    Canvas.Pen()->SetStyle(psSolid);
    Canvas.Pen()->SetMode(pmCopy);
    HDC dc = Canvas.Handle();
    const int64_t xStep = DisplayStep(SrcWidth, DestWidth);
    const int64_t yStep = DisplayStep(SrcHeight, DestHeight);
    auto set = [this](int32_t x, int32_t y) {
        const uint8_t* row = FDisplayRows[y];
        return FBitsPerPixel == 1 ? RowBit(row, x) : row[x] != 0;
    };
    auto edgeOfNeighbourhood = [&](int32_t x, int32_t y) {
        for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, DestHeight - 1); ++ny)
            for (int32_t nx = x - 1; nx <= x + 1; ++nx)
                if (!set(nx, ny)) return true;
        return false;
    };
    const int32_t lastX = DestWidth - 1;
    const int32_t lastY = DestHeight - 1;
    for (int32_t y = 0; y < DestHeight; ++y) {
        const int64_t r = SrcY + ((y * yStep) >> 14);
        for (int32_t x = 0; x < DestWidth; ++x) {
            if (!set(x, y)) continue;
            const int64_t c = SrcX + ((x * xStep) >> 14);
            bool outline;
            if (x == 0)
                outline = c <= X1;
            else if (x == lastX)
                outline = c >= X2 || SrcWidth == FWidth;
            else if (y == 0)
                outline = r <= Y1;
            else if (y == lastY)
                outline = r >= Y2 || SrcHeight == FHeight;
            else
                outline = edgeOfNeighbourhood(x, y);
            if (!outline) continue;
            const int64_t px = int64_t{DestX} + x, py = int64_t{DestY} + y;
            SetPixelV(dc, static_cast<int32_t>(px), static_cast<int32_t>(py),
                      ((px + py + Phase) & 7) < 4 ? color2 : color1);
        }
    }
}

void TVLMask::ShadeOutside(TBitmap& Bitmap, int32_t DestX, int32_t DestY, int32_t DestWidth,
                           int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                           int32_t SrcHeight) {
    if (DestWidth <= 0 || DestHeight <= 0 || IsEmpty() || !FBits || Bitmap.PixelFormat() != pf24bit)
        return;
    // Display rows and columns left of or above the bitmap are dropped; the source moves along.
    auto clip = [](int32_t& dest, int32_t& destSize, int32_t& src, int32_t& srcSize) {
        if (dest >= 0) return;
        const auto shift = static_cast<int32_t>(
            Round(static_cast<double>(-static_cast<int64_t>(dest)) * srcSize / destSize));
        src += shift;
        srcSize -= shift;
        destSize = static_cast<int32_t>(std::max<int64_t>(int64_t{destSize} + dest, 0));
        dest = 0;
    };
    clip(DestY, DestHeight, SrcY, SrcHeight);
    clip(DestX, DestWidth, SrcX, SrcWidth);
    if (DestWidth <= 0 || DestHeight <= 0) return;
    PrepareDisplay(DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight);
    const int32_t rows =
        static_cast<int32_t>(std::min<int64_t>(DestHeight, int64_t{Bitmap.Height()} - DestY));
    const int32_t columns =
        static_cast<int32_t>(std::min<int64_t>(DestWidth, int64_t{Bitmap.Width()} - DestX));
    constexpr uint8_t Shade = 97;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* mask = FDisplayRows[y];
        auto* pixels =
            static_cast<uint8_t*>(Bitmap.ScanLine(DestY + y)) + 3 * static_cast<ptrdiff_t>(DestX);
        for (int32_t x = y & 1; x < columns; x += 2) {
            const bool selected = FBitsPerPixel == 1 ? RowBit(mask, x) : mask[x] != 0;
            if (!selected) std::memset(pixels + 3 * x, Shade, 3);
        }
    }
}
