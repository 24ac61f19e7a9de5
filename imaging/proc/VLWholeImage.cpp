// Whole-image routines shared by the view and image processing: resampling with the alpha
// channel, filling hidden pixels and rectangles, mirroring, comparison and the bounds of the
// opaque area.
#include "imaging/proc/VLWholeImage.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLRotate.h"

#include <algorithm>
#include <cstring>

using enum TVLPixelFormat;
using imaging_core::detail::CheckedScanline;
using imaging_core::detail::TProgressReporter;
using imaging_core::detail::TRowPassScope;

namespace {

bool HasTransparentPixel(TVLBitmap& Alpha) {
    TRowPassScope pass(Alpha, VLAccessRead);
    const int32_t w = Alpha.GetWidth();
    for (int32_t y = 0; y < Alpha.GetHeight(); ++y) {
        const uint8_t* row = CheckedScanline(Alpha, y);
        if (std::find(row, row + w, 0) != row + w) return true;
    }
    return false;
}

void ResamplePixels(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                    const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (Filter == rfNone) {
        _VLBmpStretchEx(Source, Dest, OnProgress, Sender);
        return;
    }
    if (Source.GetPixelFormat() == vl1g) {
        const bool projection = Filter == rfProjectBW || Filter == rfProjectWB;
        imaging_core::detail::AllocateOrThrow(Dest, Dest.GetWidth(), Dest.GetHeight(),
                                              projection ? vl1g : vl24RGB);
        _Resample1BitEx(Source, Dest, Filter);
        return;
    }
    _ResampleEx(Source, Dest, Filter, OnProgress, Sender);
}

// The column range [First, Last] of the non-zero bytes of a row; false when there are none.
bool NonZeroSpan(const uint8_t* Row, int32_t Width, int32_t& First, int32_t& Last) {
    const uint8_t* end = Row + Width;
    const uint8_t* first = std::find_if(Row, end, [](uint8_t v) { return v != 0; });
    if (first == end) return false;
    const auto last =
        std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(first),
                     [](uint8_t v) { return v != 0; });
    First = static_cast<int32_t>(first - Row);
    Last = static_cast<int32_t>(last.base() - Row) - 1;
    return true;
}

} // namespace

void ResampleWithAlpha(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                       const TVLProgressEvent& OnProgress, TObject* Sender) {
    TVLBitmap* source = &Source;
    // The hidden pixels are filled in a copy: the caller's image keeps its colours.
    TVLBitmap filled;
    if (Source.HasAlphaChannel() && Source.GetPixelFormat() == vl24RGB &&
        HasTransparentPixel(*Source.GetAlphaChannel())) {
        filled.MinFileSize = Source.MinFileSize;
        filled.Assign(&Source);
        FillTransparentPixels(filled, TVLRGB{128, 128, 128});
        source = &filled;
    }
    ResamplePixels(*source, Dest, Filter, OnProgress, Sender);
    if (!Source.HasAlphaChannel()) return;
    TVLBitmap& sourceAlpha = *Source.GetAlphaChannel();
    TVLBitmap& destAlpha = *Dest.GetAlphaChannel();
    if (destAlpha.GetWidth() != Dest.GetWidth() || destAlpha.GetHeight() != Dest.GetHeight())
        imaging_core::detail::AllocateOrThrow(destAlpha, Dest.GetWidth(), Dest.GetHeight(), vl8g);
    if (Filter == rfNone)
        _VLBmpStretchEx(sourceAlpha, destAlpha);
    else
        _Resample8BitEx(sourceAlpha, destAlpha, Filter);
    destAlpha.Full = sourceAlpha.Full;
}

void FillTransparentPixels(TVLBitmap& Bitmap, const TVLRGB& Color) {
    if (Bitmap.GetPixelFormat() != vl24RGB) return;
    TVLBitmap& alpha = *Bitmap.GetAlphaChannel();
    TRowPassScope pixels(Bitmap, VLAccessRead | VLAccessWrite);
    TRowPassScope alphaPass(alpha, VLAccessRead);
    const int32_t w = std::min(Bitmap.GetWidth(), alpha.GetWidth());
    const int32_t h = std::min(Bitmap.GetHeight(), alpha.GetHeight());
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* a = alpha.MapScanline(y);
        auto* row = reinterpret_cast<TVLRGB*>(CheckedScanline(Bitmap, y));
        for (int32_t x = 0; x < w; ++x)
            if (a[x] == 0) row[x] = Color;
        alpha.UnmapScanline(y);
    }
}

void GetAlphaBounds(TVLBitmap& Bitmap, TRect& Rect) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    Rect = TRect{0, 0, w - 1, h - 1};
    if (!Bitmap.HasAlphaChannel()) return;
    TVLBitmap& alpha = *Bitmap.GetAlphaChannel();
    Rect = TRect{w, h, -1, -1};
    TRowPassScope pass(alpha, VLAccessRead);
    const int32_t aw = std::min(w, alpha.GetWidth());
    const int32_t ah = std::min(h, alpha.GetHeight());
    for (int32_t y = 0; y < ah; ++y) {
        int32_t first = 0, last = 0;
        if (!NonZeroSpan(CheckedScanline(alpha, y), aw, first, last)) continue;
        Rect.Left = std::min(Rect.Left, first);
        Rect.Right = std::max(Rect.Right, last);
        Rect.Top = std::min(Rect.Top, y);
        Rect.Bottom = y;
    }
}

void FlipBitmap(TVLBitmap& Bitmap, uint8_t Direction) {
    if (Direction > 1) return;
    TurnBitmap(Bitmap, Direction == 0 ? TVLPixelTurn{false, true, false}
                                      : TVLPixelTurn{false, false, true});
}

void FillRectRGB(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 const TVLRGB& Color, const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (format != vl24RGB && format != vl1g) return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Bitmap.GetWidth());
    Y2 = std::min(Y2, Bitmap.GetHeight());
    if (X2 <= X1 || Y2 <= Y1) return;
    TRowPassScope pass(Bitmap, VLAccessRead | VLAccessWrite);
    TProgressReporter progress(OnProgress, Sender);
    const double rows = Y2 - Y1 + 0.5;
    for (int32_t y = Y1; y < Y2; ++y) {
        uint8_t* row = CheckedScanline(Bitmap, y);
        if (format == vl1g) {
            FillRowBits(row, X1, X2 - X1, Color.r != 0);
            continue;
        }
        auto* pixels = reinterpret_cast<TVLRGB*>(row);
        std::fill(pixels + X1, pixels + X2, Color);
        progress.Report(static_cast<int32_t>(Trunc((y - Y1 + 1) * 100 / rows)));
    }
}

namespace {

// Compares the pixels of every row, not the padding after them.
bool RowsEqual(TVLBitmap& A, TVLBitmap& B) {
    TRowPassScope passA(A, VLAccessRead);
    TRowPassScope passB(B, VLAccessRead);
    const int64_t bits = static_cast<int64_t>(A.GetWidth()) * A.GetBitCount();
    const auto whole = static_cast<size_t>(bits / 8);
    const auto lastMask = static_cast<uint8_t>(0xFF00 >> (bits % 8));
    for (int32_t y = 0; y < A.GetHeight(); ++y) {
        const uint8_t* a = A.MapScanline(y);
        const uint8_t* b = CheckedScanline(B, y);
        const bool same = a != nullptr && std::memcmp(a, b, whole) == 0 &&
                          (lastMask == 0 || ((a[whole] ^ b[whole]) & lastMask) == 0);
        A.UnmapScanline(y);
        if (!same) return false;
    }
    return true;
}

bool SameShape(TVLBitmap& A, TVLBitmap& B) {
    return A.GetWidth() == B.GetWidth() && A.GetHeight() == B.GetHeight() &&
           A.GetPixelFormat() == B.GetPixelFormat() && A.GetRowLen() == B.GetRowLen();
}

} // namespace

bool BitmapsEqual(TVLBitmap& A, TVLBitmap& B) {
    if (!SameShape(A, B) || A.HasAlphaChannel() != B.HasAlphaChannel()) return false;
    if (!RowsEqual(A, B)) return false;
    if (!A.HasAlphaChannel()) return true;
    TVLBitmap& alphaA = *A.GetAlphaChannel();
    TVLBitmap& alphaB = *B.GetAlphaChannel();
    return SameShape(alphaA, alphaB) && RowsEqual(alphaA, alphaB);
}
