// TBitmap32's composition: drawing onto other bitmaps (through the transfers) and onto device
// contexts, tiled rendering, and the whole-bitmap moves (alpha reset, roll, flips, quarter
// turns).
#include "raster/Bitmap32.h"

#include "raster/RasterLowLevel.h"
#include "raster/RasterResamplers.h"

#include <algorithm>
#include <cstring>

namespace raster {

void TBitmap32::DrawTo(TBitmap32* Dst) {
    BlockTransfer(Dst, 0, 0, Dst != nullptr ? Dst->ClipRect() : TRect{}, this, BoundsRect(),
                  FDrawMode, OnPixelCombine);
}

void TBitmap32::DrawTo(TBitmap32* Dst, int32_t DstX, int32_t DstY) {
    DrawTo(Dst, DstX, DstY, BoundsRect());
}

void TBitmap32::DrawTo(TBitmap32* Dst, int32_t DstX, int32_t DstY, const TRect& SrcRect) {
    BlockTransfer(Dst, DstX, DstY, Dst != nullptr ? Dst->ClipRect() : TRect{}, this, SrcRect,
                  FDrawMode, OnPixelCombine);
}

void TBitmap32::DrawTo(TBitmap32* Dst, const TRect& DstRect) {
    DrawTo(Dst, DstRect, BoundsRect());
}

void TBitmap32::DrawTo(TBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect) {
    StretchTransfer(Dst, DstRect, Dst != nullptr ? Dst->ClipRect() : TRect{}, this, SrcRect,
                    Resampler(), FDrawMode, OnPixelCombine);
}

void TBitmap32::DrawTo(HDC Dst, int32_t DstX, int32_t DstY) {
    if (Empty()) return;
    StretchDIBits(Dst, DstX, DstY, Width(), Height(), 0, 0, Width(), Height(), FBits, &FBitmapInfo,
                  DIB_RGB_COLORS, SRCCOPY);
}

void TBitmap32::DrawTo(HDC Dst, const TRect& DstRect, const TRect& SrcRect) {
    if (Empty()) return;
    StretchBlt(Dst, DstRect.Left, DstRect.Top, DstRect.Width(), DstRect.Height(), FHandle,
               SrcRect.Left, SrcRect.Top, SrcRect.Width(), SrcRect.Height(), SRCCOPY);
}

void TBitmap32::Draw(int32_t DstX, int32_t DstY, TBitmap32* Src) {
    if (Src != nullptr) Src->DrawTo(this, DstX, DstY);
}

void TBitmap32::Draw(int32_t DstX, int32_t DstY, const TRect& SrcRect, TBitmap32* Src) {
    if (Src != nullptr) Src->DrawTo(this, DstX, DstY, SrcRect);
}

void TBitmap32::Draw(const TRect& DstRect, const TRect& SrcRect, TBitmap32* Src) {
    if (Src != nullptr) Src->DrawTo(this, DstRect, SrcRect);
}

void TBitmap32::Draw(const TRect& DstRect, const TRect& SrcRect, HDC SrcDC) {
    if (Empty()) return;
    if (!FMeasuringMode)
        StretchBlt(FHandle, DstRect.Left, DstRect.Top, DstRect.Width(), DstRect.Height(), SrcDC,
                   SrcRect.Left, SrcRect.Top, SrcRect.Width(), SrcRect.Height(), SRCCOPY);
    Changed(DstRect, AREAINFO_RECT);
}

void TBitmap32::TileTo(HDC Dst, const TRect& DstRect, const TRect& SrcRect) {
    constexpr int32_t TileSize = 1024;
    const int32_t w = DstRect.Width(), h = DstRect.Height();
    const int32_t columns = (w + TileSize - 1) / TileSize, rows = (h + TileSize - 1) / TileSize;
    TBitmap32 tile;
    for (int32_t j = 0; j < rows; ++j)
        for (int32_t i = 0; i < columns; ++i) {
            const TRect t = MakeRect(i * TileSize, j * TileSize, std::min((i + 1) * TileSize, w),
                                     std::min((j + 1) * TileSize, h));
            tile.SetSize(t.Width(), t.Height());
            // Each tile starts from transparent black: a blending draw mode must not compose a
            // tile onto the pixels the previous tile left in the temporary.
            tile.Clear(0);
            StretchTransfer(&tile, MakeRect(-t.Left, -t.Top, w - t.Left, h - t.Top),
                            MakeRect(0, 0, t.Width(), t.Height()), this, SrcRect, Resampler(),
                            FDrawMode, OnPixelCombine);
            StretchDIBits(Dst, DstRect.Left + t.Left, DstRect.Top + t.Top, t.Width(), t.Height(), 0,
                          0, tile.Width(), tile.Height(), tile.Bits(), &tile.BitmapInfo(),
                          DIB_RGB_COLORS, SRCCOPY);
        }
}

void TBitmap32::ResetAlpha() {
    ResetAlpha(255);
}

void TBitmap32::ResetAlpha(uint8_t AlphaValue) {
    if (!FMeasuringMode && !Empty()) {
        auto* bytes = reinterpret_cast<uint8_t*>(FBits);
        const int64_t count = int64_t{Width()} * Height();
        for (int64_t i = 0; i < count; ++i)
            bytes[i * 4 + 3] = AlphaValue;
    }
    Changed();
}

void TBitmap32::Roll(int32_t Dx, int32_t Dy, bool FillBack, TColor32 FillColor) {
    if (Empty() || (Dx == 0 && Dy == 0)) return;
    if (std::abs(Dx) >= Width() || std::abs(Dy) >= Height()) {
        if (FillBack) Clear(FillColor);
        return;
    }
    const int64_t shift = Dx + int64_t{Dy} * Width();
    const int64_t len = int64_t{Width()} * Height() - std::abs(shift);
    if (shift <= 0)
        std::memmove(FBits, FBits - shift, static_cast<size_t>(len) * sizeof(TColor32));
    else
        std::memmove(FBits + shift, FBits, static_cast<size_t>(len) * sizeof(TColor32));
    if (FillBack) {
        TRect r;
        IntersectRect(r, MakeRect(Dx, Dy, Dx + Width(), Dy + Height()), BoundsRect());
        if (r.Top > 0)
            FillRect(0, 0, Width(), r.Top, FillColor);
        else if (r.Top == 0)
            FillRect(0, r.Bottom, Width(), Height(), FillColor);
        if (r.Left > 0)
            FillRect(0, r.Top, r.Left, r.Bottom, FillColor);
        else if (r.Left == 0)
            FillRect(r.Right, r.Top, Width(), r.Bottom, FillColor);
    }
    Changed();
}

void TBitmap32::FlipHorz(TBitmap32* Dst) {
    const int32_t w = Width();
    if (Dst == nullptr || Dst == this) {
        for (int32_t y = 0; y < Height(); ++y)
            std::reverse(GetScanLine(y), GetScanLine(y) + w);
        Changed();
        return;
    }
    Dst->BeginUpdate();
    Dst->SetSize(w, Height());
    for (int32_t y = 0; y < Height(); ++y)
        std::reverse_copy(GetScanLine(y), GetScanLine(y) + w, Dst->GetScanLine(y));
    Dst->EndUpdate();
    Dst->Changed();
}

void TBitmap32::FlipVert(TBitmap32* Dst) {
    const int32_t w = Width(), h = Height();
    if (Dst == nullptr || Dst == this) {
        for (int32_t y = 0; y < h / 2; ++y)
            std::swap_ranges(GetScanLine(y), GetScanLine(y) + w, GetScanLine(h - 1 - y));
        Changed();
        return;
    }
    Dst->SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        MoveLongword(GetScanLine(h - 1 - y), Dst->GetScanLine(y), w);
    Dst->Changed();
}

void TBitmap32::Rotate180(TBitmap32* Dst) {
    const int64_t n = int64_t{Width()} * Height();
    if (Dst == nullptr || Dst == this) {
        std::reverse(FBits, FBits + n);
        Changed();
        return;
    }
    Dst->SetSize(Width(), Height());
    std::reverse_copy(FBits, FBits + n, Dst->FBits);
    Dst->Changed();
}

void TBitmap32::Rotate90(TBitmap32* Dst) {
    QuarterTurn(Dst, true);
}

void TBitmap32::Rotate270(TBitmap32* Dst) {
    QuarterTurn(Dst, false);
}

void TBitmap32::QuarterTurn(TBitmap32* Dst, bool Clockwise) {
    // This bitmap as Dst turns in place too: the turn must not read pixels it has overwritten.
    if (Dst == nullptr || Dst == this) {
        TBitmap32 turned;
        TurnInto(turned, Clockwise);
        turned.CopyMapTo(*this);
        return;
    }
    Dst->BeginUpdate();
    TurnInto(*Dst, Clockwise);
    Dst->EndUpdate();
    Dst->Changed();
}

void TBitmap32::TurnInto(TBitmap32& Dst, bool Clockwise) const {
    const int32_t w = Width(), h = Height();
    Dst.SetSize(h, w);
    for (int32_t y = 0; y < h; ++y) {
        const TColor32* row = GetScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const int64_t index =
                Clockwise ? (h - 1 - y) + int64_t{x} * h : y + int64_t{w - 1 - x} * h;
            Dst.FBits[index] = row[x];
        }
    }
}

} // namespace raster
