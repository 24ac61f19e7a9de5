// Unit Raster_Resamplers, the bitmap transfers: unscaled copies with clipping and the draw mode,
// scaled copies through a resampler, copies to a sub-pixel position, and the two-source blend.
#include "raster/RasterResamplers.h"

#include <algorithm>

namespace raster {

namespace {

void CheckBitmaps(const TBitmap32* Dst, const TBitmap32* Src) {
    if (Dst == nullptr) throw EBitmapException(u"Destination bitmap is nil");
    if (Src == nullptr) throw EBitmapException(u"Source bitmap is nil");
}

// An empty bitmap or a blend that would add nothing ends a transfer at once.
bool NothingToDo(const TBitmap32& Dst, const TBitmap32& Src, TDrawMode CombineOp) {
    return Dst.Empty() || Src.Empty() || (CombineOp == dmBlend && Src.MasterAlpha() == 0);
}

struct TEmmsGuard {
    ~TEmmsGuard() { EMMS(); }
};

// Source pixels around a sub-pixel copy: the pixels just outside the source rectangle come from
// the bitmap where it has them; beyond its edges the edge pixels repeat.
class TClampedSource {
public:
    explicit TClampedSource(const TBitmap32& Src) : FSrc(Src) {}
    TColor32 At(int32_t X, int32_t Y) const {
        return FSrc.GetPixel(std::clamp(X, 0, FSrc.Width() - 1),
                             std::clamp(Y, 0, FSrc.Height() - 1));
    }

private:
    const TBitmap32& FSrc;
};

// Row J of the mixture: source rows J - 1 and J shifted right by FracX (1/256), Count + 1 pixels
// from source column Left - 1 on.
void ShiftedRow(const TClampedSource& Src, int32_t Left, int32_t Row, int32_t Count, uint32_t FracX,
                TColor32* Out) {
    for (int32_t i = 0; i <= Count; ++i)
        Out[i] = CombineReg(Src.At(Left + i - 1, Row), Src.At(Left + i, Row), FracX);
}

} // namespace

void BlockTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, TRect DstClip, TBitmap32* Src,
                   TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineEvent) {
    CheckBitmaps(Dst, Src);
    if (NothingToDo(*Dst, *Src, CombineOp)) return;
    const int32_t srcW = SrcRect.Width(), srcH = SrcRect.Height();
    const int32_t sx = SrcRect.Left, sy = SrcRect.Top;
    if (!Dst->MeasuringMode()) {
        TEmmsGuard emms;
        if (CombineOp == dmCustom && !CombineEvent) CombineOp = dmOpaque;
        IntersectRect(DstClip, DstClip, Dst->BoundsRect());
        IntersectRect(SrcRect, SrcRect, Src->BoundsRect());
        OffsetRect(SrcRect, DstX - sx, DstY - sy);
        TRect area;
        IntersectRect(area, DstClip, SrcRect);
        if (!IsRectEmpty(area))
            TransferRows(*Dst, area, *Src, area.Left + sx - DstX, area.Top + sy - DstY, CombineOp,
                         CombineEvent);
    }
    Dst->Changed(MakeRect(DstX, DstY, DstX + srcW, DstY + srcH), AREAINFO_RECT);
}

void StretchTransfer(TBitmap32* Dst, TRect DstRect, TRect DstClip, TBitmap32* Src, TRect SrcRect,
                     TCustomResampler* Resampler, TDrawMode CombineOp,
                     const TPixelCombineEvent& CombineEvent) {
    CheckBitmaps(Dst, Src);
    if (NothingToDo(*Dst, *Src, CombineOp) || IsRectEmpty(SrcRect)) return;
    if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src->Width() ||
        SrcRect.Bottom > Src->Height())
        throw ESrcInvalidException(u"Source rectangle is invalid");
    if (!Dst->MeasuringMode()) {
        TEmmsGuard emms;
        IntersectRect(DstClip, DstClip, Dst->BoundsRect());
        IntersectRect(DstClip, DstClip, DstRect);
        if (IsRectEmpty(DstClip)) return;
        if (CombineOp == dmCustom && !CombineEvent) CombineOp = dmOpaque;
        if (EqualRectSize(SrcRect, DstRect)) {
            TransferRows(*Dst, DstClip, *Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                         SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineEvent);
        } else {
            if (Resampler == nullptr) throw EBitmapException(u"Resampler is nil");
            Resampler->Resample(*Dst, DstRect, DstClip, *Src, SrcRect, CombineOp, CombineEvent);
        }
    }
    Dst->Changed(DstRect, AREAINFO_RECT);
}

void BlockTransferX(TBitmap32* Dst, TFixed DstX, TFixed DstY, TBitmap32* Src, TRect SrcRect,
                    TDrawMode CombineOp, const TPixelCombineEvent& /*CombineEvent*/) {
    CheckBitmaps(Dst, Src);
    if (NothingToDo(*Dst, *Src, CombineOp)) return;
    // Floor, not truncation: -0.25 is pixel -1 plus 0.75, so the fraction and the integer
    // position describe the same place on both sides of 0.
    const auto fracX = static_cast<uint32_t>((DstX & 0xFFFF) >> 8);
    const auto fracY = static_cast<uint32_t>((DstY & 0xFFFF) >> 8);
    int32_t x = DstX >> 16, y = DstY >> 16;
    IntersectRect(SrcRect, SrcRect, Src->BoundsRect());
    if (x >= Dst->Width() || y >= Dst->Height() || Src->MasterAlpha() == 0 ||
        IsRectEmpty(SrcRect) || x + SrcRect.Width() <= 0 || y + SrcRect.Height() <= 0)
        return;

    const uint32_t wLeft = x < 0 ? 255 : 255 - fracX;
    const uint32_t wTop = y < 0 ? 255 : 255 - fracY;
    const uint32_t wRight = x + SrcRect.Width() < Dst->Width() ? fracX : 255;
    const uint32_t wBottom = y + SrcRect.Height() < Dst->Height() ? fracY : 255;
    if (x < 0) {
        SrcRect.Left -= x;
        x = 0;
    }
    if (y < 0) {
        SrcRect.Top -= y;
        y = 0;
    }
    const int32_t w = std::min(SrcRect.Width(), Dst->Width() - 1 - x);
    const int32_t h = std::min(SrcRect.Height(), Dst->Height() - 1 - y);
    if (!Dst->MeasuringMode()) {
        TEmmsGuard emms;
        const TClampedSource source(*Src);
        const uint32_t master = Src->MasterAlpha();
        const TBlendLineEx blendLine = BLEND_LINE_EX[Src->CombineMode()];
        const TBlendMemEx blendMem = BLEND_MEM_EX[Src->CombineMode()];
        TArrayOfColor32 upper(w + 1), lower(w + 1), mixed(w + 1);
        ShiftedRow(source, SrcRect.Left, SrcRect.Top - 1, w, fracX, lower.data());
        for (int32_t j = 0; j <= h; ++j) {
            std::swap(upper, lower);
            ShiftedRow(source, SrcRect.Left, SrcRect.Top + j, w, fracX, lower.data());
            for (int32_t i = 0; i <= w; ++i)
                mixed[i] = CombineReg(upper[i], lower[i], fracY);
            TColor32* dst = Dst->GetPixelPtr(x, y + j);
            const bool edgeRow = j == 0 || j == h;
            const uint32_t wRow = j == 0 ? wTop : wBottom;
            if (edgeRow) {
                for (int32_t i = 0; i <= w; ++i) {
                    const bool edgeColumn = i == 0 || i == w;
                    const uint32_t wColumn = i == 0 ? wLeft : wRight;
                    blendMem(mixed[i], dst[i],
                             edgeColumn ? (wColumn * wRow * master) >> 16 : (wRow * master) >> 8);
                }
            } else {
                blendMem(mixed[0], dst[0], (wLeft * master) >> 8);
                if (w > 1) blendLine(mixed.data() + 1, dst + 1, w - 1, master);
                if (w > 0) blendMem(mixed[w], dst[w], (wRight * master) >> 8);
            }
        }
    }
    Dst->Changed(MakeRect(x, y, x + w + 1, y + h + 1), AREAINFO_RECT);
}

namespace {

// The area both sources cover inside DstClip, with the sources' offsets; false when empty.
bool BlendArea(TBitmap32& Dst, int32_t DstX, int32_t DstY, TRect& DstClip, TBitmap32& SrcF,
               TRect SrcRectF, TBitmap32& SrcB, TRect SrcRectB, TPoint& OffsetF, TPoint& OffsetB) {
    OffsetF = {SrcRectF.Left - DstX, SrcRectF.Top - DstY};
    OffsetB = {SrcRectB.Left - DstX, SrcRectB.Top - DstY};
    IntersectRect(DstClip, DstClip, Dst.BoundsRect());
    IntersectRect(SrcRectF, SrcRectF, SrcF.BoundsRect());
    IntersectRect(SrcRectB, SrcRectB, SrcB.BoundsRect());
    OffsetRect(SrcRectF, -OffsetF.X, -OffsetF.Y);
    OffsetRect(SrcRectB, -OffsetB.X, -OffsetB.Y);
    IntersectRect(DstClip, DstClip, SrcRectF);
    IntersectRect(DstClip, DstClip, SrcRectB);
    return !IsRectEmpty(DstClip);
}

template <class Blend>
void BlendTransferRows(TBitmap32* Dst, int32_t DstX, int32_t DstY, TRect DstClip, TBitmap32* SrcF,
                       const TRect& SrcRectF, TBitmap32* SrcB, const TRect& SrcRectB,
                       bool HasCallback, const Blend& Combine) {
    if (Dst == nullptr) throw EBitmapException(u"Destination bitmap is nil");
    if (SrcF == nullptr || SrcB == nullptr) throw EBitmapException(u"Source bitmap is nil");
    if (Dst->Empty() || SrcF->Empty() || SrcB->Empty() || !HasCallback) return;
    if (!Dst->MeasuringMode()) {
        TEmmsGuard emms;
        TPoint offF, offB;
        if (BlendArea(*Dst, DstX, DstY, DstClip, *SrcF, SrcRectF, *SrcB, SrcRectB, offF, offB)) {
            for (int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
                const TColor32* f = SrcF->GetPixelPtr(DstClip.Left + offF.X, y + offF.Y);
                const TColor32* b = SrcB->GetPixelPtr(DstClip.Left + offB.X, y + offB.Y);
                TColor32* d = Dst->GetPixelPtr(DstClip.Left, y);
                for (int32_t i = 0; i < DstClip.Width(); ++i)
                    d[i] = Combine(f[i], b[i]);
            }
        }
    }
    Dst->Changed(DstClip, AREAINFO_RECT);
}

} // namespace

void BlendTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& DstClip,
                   TBitmap32* SrcF, const TRect& SrcRectF, TBitmap32* SrcB, const TRect& SrcRectB,
                   TBlendReg BlendCallback) {
    BlendTransferRows(Dst, DstX, DstY, DstClip, SrcF, SrcRectF, SrcB, SrcRectB,
                      BlendCallback != nullptr,
                      [&](TColor32 F, TColor32 B) { return BlendCallback(F, B); });
}

void BlendTransfer(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& DstClip,
                   TBitmap32* SrcF, const TRect& SrcRectF, TBitmap32* SrcB, const TRect& SrcRectB,
                   TBlendRegEx BlendCallback, int32_t MasterAlpha) {
    const auto m = static_cast<TColor32>(MasterAlpha);
    BlendTransferRows(Dst, DstX, DstY, DstClip, SrcF, SrcRectF, SrcB, SrcRectB,
                      BlendCallback != nullptr,
                      [&](TColor32 F, TColor32 B) { return BlendCallback(F, B, m); });
}

} // namespace raster
