// The whole-image operations of the processing component: clear, canvas resize, resample, fill
// and crop.
#include "imaging/proc/VistrelProc.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/proc/VLWholeImage.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using enum TVLPixelFormat;
using imaging_core::detail::TValueScope;

namespace {

// The formats the resampling engine writes for Filter: every format for the nearest stretch;
// grey, 24-bit and 1-bit for every filter; 16-bit grey and 48-bit only for the area filters.
TVLPixelFormatSet ResampleFormats(TResampleFilter Filter) {
    if (Filter == rfNone) return AnyPixelFormat;
    TVLPixelFormatSet set = PixelFormatBit(vl1g) | PixelFormatBit(vl8g) | PixelFormatBit(vl24RGB);
    if (Filter == rfBilinear || Filter == rfBicubic)
        set |= PixelFormatBit(vl16g) | PixelFormatBit(vlRGB48);
    return set;
}

// A requested side: 0 keeps Current, other values count by their absolute value; -1 (the
// aspect-ratio side) is resolved by the caller.
int64_t RequestedSide(int32_t Requested, int32_t Current) {
    return Requested == 0 ? Current : std::llabs(static_cast<int64_t>(Requested));
}

} // namespace

void TVistrelProc::Clear() {
    if (!StartOperation(AnyPixelFormat, u"Clear")) return;
    FImage->Fill(GetBackground());
    NotifyImageChanged();
    DoFinishWork();
}

void TVistrelProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign,
                               uint8_t VertAlign, int32_t AlphaFill) {
    if (NewWidth <= 0 || NewHeight <= 0 || FImage == nullptr) return;
    if (NewWidth == FImage->GetWidth() && NewHeight == FImage->GetHeight()) return;
    if (!StartOperation(AnyPixelFormat,
                        u"ImageResize " + IntToStr(NewWidth) + u"," + IntToStr(NewHeight)))
        return;
    // The empty 1 x 1 picture of a fresh view shows only background on its new canvas.
    if (FImage->GetWidth() < 2 && FImage->GetHeight() < 2) FImage->Fill(GetBackground());
    if (AlphaFill < 255) FImage->GetAlphaChannel();
    FImage->ResizeCanvas(NewWidth, NewHeight, GetBackground(), AlphaFill, HorizAlign, VertAlign);
    NotifyImageChanged();
    DoFinishWork();
}

bool TVistrelProc::ResampleInto(TVLBitmap& Dest, int32_t NewWidth, int32_t NewHeight,
                                TResampleFilter Filter) {
    if (FImage == nullptr || FImage->IsEmpty() || (NewWidth < 0 && NewHeight < 0)) return false;
    const int64_t w = FImage->GetWidth(), h = FImage->GetHeight();
    // The fixed side first, then the aspect-ratio side from it, in 64 bits.
    int64_t dw = NewWidth == -1 ? -1 : RequestedSide(NewWidth, FImage->GetWidth());
    int64_t dh = NewHeight == -1 ? -1 : RequestedSide(NewHeight, FImage->GetHeight());
    if (dw == -1) dw = std::max<int64_t>(1, w * dh / h);
    if (dh == -1) dh = std::max<int64_t>(1, h * dw / w);
    if (dw > INT32_MAX || dh > INT32_MAX) return false;
    // The filters leave a single pixel unwritten; every filter spreads it unchanged, as the
    // nearest stretch does (1-bit pixels as the grey colour the filters give, except for the
    // projections, which handle it).
    const bool projection = Filter == rfProjectBW || Filter == rfProjectWB;
    const bool onePixel =
        w == 1 && h == 1 && Filter != rfNone && !(projection && FImage->GetPixelFormat() == vl1g);
    TVLPixelFormat target = PreferredPixelFormat(FImage->GetPixelFormat(), ResampleFormats(Filter));
    if (onePixel && target == vl1g) target = vl24RGB;
    // A picture the engine cannot resample is resampled from a converted copy.
    TVLBitmap* source = FImage;
    TVLBitmap converted;
    if (target != FImage->GetPixelFormat()) {
        if (!AutoConvertFormat || target == vlNone) return false;
        converted.MinFileSize = FImage->MinFileSize;
        converted.Assign(FImage);
        converted.SetPixelFormat(target);
        source = &converted;
    }
    Dest.MinFileSize = source->MinFileSize;
    if (!Dest.Allocate(static_cast<int32_t>(dw), static_cast<int32_t>(dh),
                       source->GetPixelFormat()))
        return false;
    ResampleWithAlpha(*source, Dest, onePixel ? rfNone : Filter, OnProgress, this);
    return true;
}

void TVistrelProc::ResampleTo(TVLBitmap& Dest, int32_t NewWidth, int32_t NewHeight,
                              TResampleFilter Filter) {
    if (!PrepareImage(AnyPixelFormat)) return;
    if (ResampleInto(Dest, NewWidth, NewHeight, Filter)) DoFinishWork();
}

void TVistrelProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
    if (FImage == nullptr || FImage->IsEmpty()) return;
    if (!StartOperation(ResampleFormats(Filter),
                        u"Resample " + IntToStr(NewWidth) + u"," + IntToStr(NewHeight)))
        return;
    TVLBitmap resampled;
    if (ResampleInto(resampled, NewWidth, NewHeight, Filter)) {
        DoFinishWork();
        FImage->Assign(&resampled);
    }
    NotifyImageChanged();
    DoFinishWork();
}

void TVistrelProc::Fill(const TVLRGB& Color) {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    TVLBitmap* work = nullptr;
    TVLMask* mask = nullptr;
    if (!BeginOperation(AnyPixelFormat, x1, y1, x2, y2, u"Fill", work, mask)) return;
    FillRectRGB(*work, x1, y1, x2, y2, Color, OnProgress, this);
    EndOperation(work, mask);
    DoFinishWork();
}

void TVistrelProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!PrepareImage(AnyPixelFormat)) return;
    const int32_t w = FImage->GetWidth(), h = FImage->GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, w - 1);
    Y2 = std::min(Y2, h - 1);
    if (X2 < X1 || Y2 < Y1 || (X1 == 0 && Y1 == 0 && X2 == w - 1 && Y2 == h - 1)) return;
    if (!StartOperation(AnyPixelFormat, u"Crop")) return;
    const int32_t cw = X2 - X1 + 1, ch = Y2 - Y1 + 1;
    TVLBitmap part;
    part.MinFileSize = FImage->MinFileSize;
    imaging_core::detail::AllocateOrThrow(part, cw, ch, FImage->GetPixelFormat());
    FImage->CopyPaletteTo(part);
    FImage->CopyRectTo(part, X1, Y1, 0, 0, cw, ch);
    if (FImage->HasAlphaChannel()) {
        TVLBitmap& alpha = *FImage->GetAlphaChannel();
        TVLBitmap alphaPart;
        alphaPart.MinFileSize = alpha.MinFileSize;
        imaging_core::detail::AllocateOrThrow(alphaPart, cw, ch, vl8g);
        alpha.CopyRectTo(alphaPart, X1, Y1, 0, 0, cw, ch);
        alpha.AssignImage(alphaPart);
    }
    FImage->AssignImage(part);
    NotifyImageChanged();
    DoFinishWork();
}

void TVistrelProc::CropRect(const TRect& Rect) {
    Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TVistrelProc::CropTransparentBorders() {
    if (!PrepareImage(AnyPixelFormat)) return;
    TRect bounds;
    GetAlphaBounds(*FImage, bounds);
    const TValueScope<bool> noUndo(AutoUndo, false);
    CropRect(bounds);
}
