// Unit Raster_Resamplers, the stretch routines: nearest neighbour, bilinear enlargement,
// separable kernel filtering through cluster tables, box averaging, and the row copier that the
// transfers share.
#include "raster/RasterResamplers.h"

#include "raster/RasterLowLevel.h"

#include "platform/rtl/System.h"

#include <cmath>

namespace raster {

namespace {

// Stores a colour by the draw mode.
class TPixelStore {
public:
    TPixelStore(TBitmap32& Src, TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent)
        : FMode(CombineOp == dmCustom && !CombineEvent ? dmOpaque : CombineOp),
          FBlend(BLEND_MEM_EX[Src.CombineMode()]), FMasterAlpha(Src.MasterAlpha()),
          FOuterColor(Src.OuterColor), FEvent(CombineEvent) {}

    void Store(TColor32 C, TColor32& Dst) const {
        switch (FMode) {
        case dmOpaque: Dst = C; break;
        case dmBlend: FBlend(C, Dst, FMasterAlpha); break;
        case dmTransparent:
            if (C != FOuterColor) Dst = C;
            break;
        case dmCustom: FEvent(C, Dst, FMasterAlpha); break;
        }
    }
    TDrawMode Mode() const { return FMode; }

private:
    TDrawMode FMode;
    TBlendMemEx FBlend;
    TColor32 FMasterAlpha;
    TColor32 FOuterColor;
    const TPixelCombineEvent& FEvent;
};

// Runs EMMS when a routine ends, also by an exception.
struct TEmmsGuard {
    ~TEmmsGuard() { EMMS(); }
};

// One row by the draw mode, whole-row blends included.
void TransferRow(const TColor32* Src, TColor32* Dst, int32_t Count, const TBitmap32& SrcBitmap,
                 const TPixelStore& Store) {
    switch (Store.Mode()) {
    case dmOpaque: MoveLongword(Src, Dst, Count); break;
    case dmBlend:
        if (SrcBitmap.MasterAlpha() >= 255)
            BLEND_LINE[SrcBitmap.CombineMode()](Src, Dst, Count);
        else
            BLEND_LINE_EX[SrcBitmap.CombineMode()](Src, Dst, Count, SrcBitmap.MasterAlpha());
        break;
    default:
        for (int32_t i = 0; i < Count; ++i)
            Store.Store(Src[i], Dst[i]);
    }
}

// The source position of each destination position of the clip, nearest neighbour.
TArrayOfInteger NearestMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                           int32_t SrcLo, int32_t SrcHi) {
    const int32_t srcW = SrcHi - SrcLo, dstW = DstHi - DstLo;
    TArrayOfInteger map(ClipHi - ClipLo);
    if (dstW < 2) {
        map.assign(map.size(), (SrcLo + SrcHi - 1) / 2);
        return map;
    }
    for (int32_t i = ClipLo; i < ClipHi; ++i) {
        const int32_t d = i - DstLo;
        if (FullEdge) {
            const float scale = static_cast<float>(srcW) / static_cast<float>(dstW);
            map[i - ClipLo] = static_cast<int32_t>(Trunc(static_cast<float>(d) * scale + SrcLo));
        } else {
            const float scale = static_cast<float>(srcW - 1) / static_cast<float>(dstW - 1);
            map[i - ClipLo] = static_cast<int32_t>(Round(static_cast<float>(d) * scale + SrcLo));
        }
        map[i - ClipLo] = std::clamp(map[i - ClipLo], SrcLo, SrcHi - 1);
    }
    return map;
}

struct TLinearEntry {
    int32_t Pos;
    uint32_t Weight; // in both 16-bit halves
};

// Positions and weights of the bilinear enlargement along one axis, kept inside SrcLo..SrcHi - 1
// so that a frame of a strip never takes its neighbour's pixels.
std::vector<TLinearEntry> LinearMap(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                                    int32_t SrcLo, int32_t SrcHi) {
    const int32_t srcW = SrcHi - SrcLo, dstW = DstHi - DstLo;
    std::vector<TLinearEntry> map(ClipHi - ClipLo);
    for (int32_t i = ClipLo; i < ClipHi; ++i) {
        const int32_t d = i - DstLo;
        double u = FullEdge ? static_cast<float>(srcW) / static_cast<float>(dstW) * (d + 0.5) +
                                  SrcLo - 0.5
                            : static_cast<double>(d) * (srcW - 1) / (dstW - 1) + SrcLo;
        u = std::clamp(u, double(SrcLo), double(SrcHi - 1));
        const double pos = std::floor(u);
        const auto weight = static_cast<uint32_t>(256 - Round((u - pos) * 256));
        map[i - ClipLo] = {static_cast<int32_t>(pos), weight * 65537};
    }
    for (auto it = map.rbegin(); it != map.rend() && it->Pos + 1 == SrcHi; ++it) {
        it->Pos -= 1;
        it->Weight = 0;
    }
    return map;
}

// The truncated mean of each channel. The sums are 64-bit, and each is divided by the pixel
// count itself: a scale of 2^24 div count loses so much on large blocks that white averages to
// grey.
TColor32 BoxAveragePlain(uint32_t W, uint32_t H, const TColor32* P, uint32_t Stride) {
    uint64_t sums[4] = {0, 0, 0, 0};
    const auto* row = reinterpret_cast<const uint8_t*>(P);
    for (uint32_t y = 0; y < H; ++y, row += Stride) {
        const auto* pixel = reinterpret_cast<const TColor32*>(row);
        for (uint32_t x = 0; x < W; ++x)
            for (int k = 0; k < 4; ++k)
                sums[k] += (pixel[x] >> (8 * k)) & 0xFF;
    }
    const uint64_t count = uint64_t{W} * H;
    TColor32 result = 0;
    for (int k = 0; k < 4; ++k)
        result |= static_cast<TColor32>(sums[k] / count) << (8 * k);
    return result;
}

TColor32 PairInterpolatePlain(uint32_t WX, uint32_t WY, const TColor32* P, const TColor32* Q) {
    const uint32_t wx = std::min<uint32_t>(WX >> 16, 255), wy = std::min<uint32_t>(WY >> 16, 255);
    const TColor32 r1 = CombineReg(Q[0], Q[1], wx);
    const TColor32 r0 = CombineReg(P[0], P[1], wx);
    return CombineReg(r0, r1, wy);
}

} // namespace

TColor32 (*BoxAverage)(uint32_t W, uint32_t H, const TColor32* P,
                       uint32_t Stride) = BoxAveragePlain;
TColor32 (*PairInterpolate)(uint32_t WX, uint32_t WY, const TColor32* P,
                            const TColor32* Q) = PairInterpolatePlain;

void TransferRows(TBitmap32& Dst, const TRect& DstClip, TBitmap32& Src, int32_t SrcX,
                  int32_t SrcY, TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent) {
    const TPixelStore store(Src, CombineOp, CombineEvent);
    const int32_t w = DstClip.Width();
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y)
        TransferRow(Src.GetPixelPtr(SrcX, SrcY + y - DstClip.Top),
                    Dst.GetPixelPtr(DstClip.Left, y), w, Src, store);
}

void NearestStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent) {
    TEmmsGuard emms;
    IntersectRect(DstClip, DstClip, Dst.BoundsRect());
    IntersectRect(DstClip, DstClip, DstRect);
    if (IsRectEmpty(DstClip)) return;
    if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src.Width() ||
        SrcRect.Bottom > Src.Height())
        throw Exception(u"Invalid SrcRect");
    if (EqualRectSize(DstRect, SrcRect)) {
        TransferRows(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                     SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineEvent);
        return;
    }
    const TPixelStore store(Src, CombineOp, CombineEvent);
    const TArrayOfInteger columns = NearestMap(DstRect.Left, DstRect.Right, DstClip.Left,
                                               DstClip.Right, SrcRect.Left, SrcRect.Right);
    const TArrayOfInteger rows = NearestMap(DstRect.Top, DstRect.Bottom, DstClip.Top,
                                            DstClip.Bottom, SrcRect.Top, SrcRect.Bottom);
    const int32_t w = DstClip.Width();
    TArrayOfColor32 buffer(w);
    int32_t previous = -1;
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const int32_t srcY = rows[y - DstClip.Top];
        TColor32* dst = Dst.GetPixelPtr(DstClip.Left, y);
        const TColor32* src = Src.GetScanLine(srcY);
        if (store.Mode() == dmOpaque) {
            if (srcY == previous)
                MoveLongword(dst - Dst.Width(), dst, w);
            else
                for (int32_t i = 0; i < w; ++i)
                    dst[i] = src[columns[i]];
        } else {
            if (srcY != previous)
                for (int32_t i = 0; i < w; ++i)
                    buffer[i] = src[columns[i]];
            TransferRow(buffer.data(), dst, w, Src, store);
        }
        previous = srcY;
    }
}

void LinearEnlarge(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent) {
    TEmmsGuard emms;
    const TPixelStore store(Src, CombineOp, CombineEvent);
    const auto columns = LinearMap(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right,
                                   SrcRect.Left, SrcRect.Right);
    const auto rows = LinearMap(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom,
                                SrcRect.Top, SrcRect.Bottom);
    for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const TLinearEntry& row = rows[y - DstClip.Top];
        const TColor32* upper = Src.GetScanLine(row.Pos);
        const TColor32* lower = upper + Src.Width();
        TColor32* dst = Dst.GetPixelPtr(DstClip.Left, y);
        for (const TLinearEntry& column : columns)
            store.Store(PairInterpolate(column.Weight, row.Weight, upper + column.Pos,
                                        lower + column.Pos),
                        *dst++);
    }
}

TMappingTable MakeClusterTable(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                               int32_t SrcLo, int32_t SrcHi, TCustomKernel& Kernel) {
    const int32_t srcW = SrcHi - SrcLo;
    const int32_t count = ClipHi - ClipLo;
    if (srcW <= 0 || count <= 0) return {};
    if (srcW == 1) return TMappingTable(count, TCluster{{SrcLo, 256}});
    const float scale = FullEdge ? static_cast<float>(DstHi - DstLo) / static_cast<float>(srcW)
                                 : static_cast<float>(DstHi - DstLo - 1) /
                                       static_cast<float>(srcW - 1);
    if (scale == 0) return TMappingTable(1, TCluster{{(SrcLo + SrcHi) / 2, 256}});
    const float width = Kernel.GetWidth();
    TMappingTable table(count);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t t = i + ClipLo - DstLo;
        const double centre = FullEdge ? SrcLo - 0.5 + (t + 0.5) / scale : SrcLo + t / scale;
        TCluster& cluster = table[i];
        const double reach = scale >= 1 ? width : width / scale;
        const auto lo = static_cast<int32_t>(std::floor(centre - reach));
        const auto hi = static_cast<int32_t>(std::ceil(centre + reach));
        for (int32_t j = lo; j <= hi; ++j) {
            const auto distance = static_cast<float>(centre - j);
            const int64_t weight =
                scale >= 1 ? Round(Kernel.Filter(distance) * 256.0f)
                           : Round(scale * Kernel.Filter(scale * distance) * 256.0f);
            if (weight != 0)
                cluster.push_back({std::clamp(j, SrcLo, SrcHi - 1), static_cast<int32_t>(weight)});
        }
        if (cluster.empty())
            cluster.push_back(
                {std::clamp(static_cast<int32_t>(std::floor(centre)), SrcLo, SrcHi - 1), 256});
        int32_t sum = 0;
        for (const TPointRec& entry : cluster)
            sum += entry.Weight;
        cluster[(cluster.size() - 1) / 2].Weight -= sum - 256;
    }
    return table;
}

void KernelStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                   TCustomKernel& Kernel, TDrawMode CombineOp,
                   const TPixelCombineEvent& CombineEvent) {
    TEmmsGuard emms;
    if (CombineOp == dmBlend && Src.MasterAlpha() == 0) return;
    const TMappingTable columns = MakeClusterTable(DstRect.Left, DstRect.Right, DstClip.Left,
                                                   DstClip.Right, SrcRect.Left, SrcRect.Right,
                                                   Kernel);
    const TMappingTable rows = MakeClusterTable(DstRect.Top, DstRect.Bottom, DstClip.Top,
                                                DstClip.Bottom, SrcRect.Top, SrcRect.Bottom,
                                                Kernel);
    if (columns.empty() || rows.empty()) return;
    const TPixelStore store(Src, CombineOp, CombineEvent);
    const bool rangeCheck = Kernel.RangeCheck();
    int32_t xLo = columns.front().front().Pos, xHi = columns.back().back().Pos;
    for (const TCluster& cluster : columns)
        for (const TPointRec& entry : cluster) {
            xLo = std::min(xLo, entry.Pos);
            xHi = std::max(xHi, entry.Pos);
        }
    struct TBufferEntry {
        int32_t B, G, R, A;
    };
    std::vector<TBufferEntry> buffer(xHi - xLo + 1);
    const int32_t clipRows = std::min<int32_t>(DstClip.Height(), static_cast<int32_t>(rows.size()));
    const int32_t clipColumns =
        std::min<int32_t>(DstClip.Width(), static_cast<int32_t>(columns.size()));
    for (int32_t r = 0; r < clipRows; ++r) {
        const TCluster& rowCluster = rows[r];
        for (int32_t x = xLo; x <= xHi; ++x) {
            TBufferEntry sum{0, 0, 0, 0};
            for (const TPointRec& entry : rowCluster) {
                const TColor32 c = Src.GetPixel(x, entry.Pos);
                sum.B += static_cast<int32_t>(c & 0xFF) * entry.Weight;
                sum.G += static_cast<int32_t>((c >> 8) & 0xFF) * entry.Weight;
                sum.R += static_cast<int32_t>((c >> 16) & 0xFF) * entry.Weight;
                sum.A += static_cast<int32_t>(c >> 24) * entry.Weight;
            }
            buffer[x - xLo] = sum;
        }
        TColor32* dst = Dst.GetPixelPtr(DstClip.Left, DstClip.Top + r);
        for (int32_t c = 0; c < clipColumns; ++c) {
            int32_t s[4] = {0, 0, 0, 0};
            for (const TPointRec& entry : columns[c]) {
                const TBufferEntry& b = buffer[entry.Pos - xLo];
                s[0] += b.B * entry.Weight;
                s[1] += b.G * entry.Weight;
                s[2] += b.R * entry.Weight;
                s[3] += b.A * entry.Weight;
            }
            TColor32 color = 0;
            for (int k = 0; k < 4; ++k) {
                const int32_t v = rangeCheck ? std::clamp(s[k], 0, 0xFF0000) : s[k];
                color |= static_cast<TColor32>((v & 0xFF0000) >> 16) << (8 * k);
            }
            store.Store(color, dst[c]);
        }
    }
}

namespace {

// The source block edges along one axis: 64-bit, so a large reduction cannot wrap.
TArrayOfInteger DraftEdges(int32_t DstLo, int32_t DstHi, int32_t ClipLo, int32_t ClipHi,
                           int32_t SrcLo, int32_t SrcHi, int32_t& Start) {
    const float scale = static_cast<float>(SrcHi - SrcLo) / static_cast<float>(DstHi - DstLo);
    Start = SrcLo + static_cast<int32_t>(Trunc(static_cast<float>(ClipLo - DstLo) * scale));
    const int64_t step = Trunc(scale * 65536.0f);
    TArrayOfInteger edges(ClipHi - ClipLo + 1);
    for (int32_t k = 0; k <= ClipHi - ClipLo; ++k)
        edges[k] = k == 0   ? 0
                   : k == 1 ? static_cast<int32_t>(Trunc(scale))
                            : static_cast<int32_t>((k * step) >> 16);
    // Float rounding must never carry a block past the source rectangle.
    for (int32_t& edge : edges)
        edge = std::min(edge, SrcHi - Start);
    return edges;
}

} // namespace

void DraftStretch(TBitmap32& Dst, TRect DstRect, TRect DstClip, TBitmap32& Src, TRect SrcRect,
                  TCustomKernel& Kernel, TDrawMode CombineOp,
                  const TPixelCombineEvent& CombineEvent) {
    TEmmsGuard emms;
    const auto srcW = static_cast<uint32_t>(SrcRect.Width()),
               srcH = static_cast<uint32_t>(SrcRect.Height());
    if (static_cast<uint32_t>(DstRect.Width()) > srcW ||
        static_cast<uint32_t>(DstRect.Height()) > srcH) {
        if (srcW < 2 || srcH < 2)
            KernelStretch(Dst, DstRect, DstClip, Src, SrcRect, Kernel, CombineOp, CombineEvent);
        else
            LinearEnlarge(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineEvent);
        return;
    }
    const TPixelStore store(Src, CombineOp, CombineEvent);
    int32_t startX = 0, startY = 0;
    const TArrayOfInteger columns = DraftEdges(DstRect.Left, DstRect.Right, DstClip.Left,
                                               DstClip.Right, SrcRect.Left, SrcRect.Right, startX);
    const TArrayOfInteger rows = DraftEdges(DstRect.Top, DstRect.Bottom, DstClip.Top,
                                            DstClip.Bottom, SrcRect.Top, SrcRect.Bottom, startY);
    const auto stride = static_cast<uint32_t>(Src.Width()) * 4;
    for (int32_t r = 0; r < DstClip.Height(); ++r) {
        const int32_t blockH = rows[r + 1] - rows[r];
        TColor32* dst = Dst.GetPixelPtr(DstClip.Left, DstClip.Top + r);
        for (int32_t c = 0; c < DstClip.Width(); ++c) {
            const int32_t blockW = columns[c + 1] - columns[c];
            if (blockW <= 0 || blockH <= 0) continue;
            store.Store(BoxAverage(blockW, blockH,
                                   Src.GetPixelPtr(startX + columns[c], startY + rows[r]), stride),
                        dst[c]);
        }
    }
}

} // namespace raster
