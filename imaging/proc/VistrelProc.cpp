// The processing component: creation, attachments, properties and the operation frame.
#include "imaging/proc/VistrelProc.h"

#include "imaging/core/VLMask.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/ExtCtrls.h"

#include <array>

using enum TVLPixelFormat;

namespace {

// Preferred conversion targets of each format, by format code; vlNone ends a row.
constexpr std::array<std::array<TVLPixelFormat, 7>, VLPixelFormatCount> PreferredTargets = {{
    {},
    {vl8g, vl16g, vl32f, vl24RGB},
    {vl24RGB, vlCMYK, vlRGB48, vlCIELab},
    {vl16g, vl32f, vl24RGB, vlCMYK, vlRGB48},
    {vl32f, vl8g, vlRGB48, vl24RGB, vlCMYK},
    {vlCMYK, vlCIELab, vlRGB48, vl8p, vl16g, vl8g},
    {vl16g, vl8g, vl24RGB, vlRGB48, vlCIELab},
    {vl24RGB, vlRGB48, vlCIELab, vl8g},
    {vl24RGB, vlCMYK, vlCIELab, vl16g},
    {vl24RGB, vlCMYK, vlRGB48, vl8g},
    {vl24RGB, vlCMYK, vlRGB48, vl8g},
}};

bool InSet(TVLPixelFormat Format, TVLPixelFormatSet Set) {
    return Format != vlNone && (Set & PixelFormatBit(Format)) != 0;
}

} // namespace

TVLPixelFormat PreferredPixelFormat(TVLPixelFormat Current, TVLPixelFormatSet Allowed) {
    if (Allowed == AnyPixelFormat || InSet(Current, Allowed)) return Current;
    const auto code = static_cast<size_t>(Current);
    if (code < PreferredTargets.size())
        for (TVLPixelFormat target : PreferredTargets[code])
            if (InSet(target, Allowed)) return target;
    for (int32_t c = VLPixelFormatCount - 1; c > 0; --c)
        if (InSet(static_cast<TVLPixelFormat>(c), Allowed)) return static_cast<TVLPixelFormat>(c);
    return vlNone;
}

// ---- Dialog parameters ----

TIPDialogParams::TIPDialogParams() {
    Reset();
}

void TIPDialogParams::Reset() {
    for (int32_t& v : FSelection)
        v = -1;
    for (int32_t& v : Values)
        v = 0;
    for (auto& row : Kernel)
        for (int32_t& v : row)
            v = 0;
    Kernel[1][1] = 1;
    KernelDivisor = 0;
    const TVLRGB black{0, 0, 0}, white{255, 255, 255};
    Colors[0] = black;
    Colors[1] = white;
    Colors[2] = black;
    Colors[3] = white;
    const int32_t box[4] = {0, 0, 150, 150};
    std::copy(std::begin(box), std::end(box), Box1);
    BoxColor = white;
    BoxValue = 0;
    BoxFlag = true;
    std::copy(std::begin(box), std::end(box), Box2);
    Gamma = 1.7;
    GammaFlag = true;
    Shadow[0] = 10;
    Shadow[1] = 10;
    Shadow[2] = 0;
    ShadowFlag = false;
    ShadowMode[0] = 0;
    ShadowMode[1] = 1;
    Range[0] = 0.0;
    Range[1] = 1.0;
    Steps[0] = 1;
    Steps[1] = 4;
    StepsFlag = true;
    FSavedSettings.Clear();
}

void TIPDialogParams::SetSelection(int32_t Index, int32_t Value) {
    FSelection[Index] = Value;
    FSavedSettings.Clear();
}

// ---- Creation ----

TVistrelProc::TVistrelProc(TComponent* AOwner)
    : TComponent(AOwner), AutoUndo(AOwner != nullptr), FOwnImage(std::make_unique<TVLBitmap>()) {
    FImage = FOwnImage.get();
}

TVistrelProc::~TVistrelProc() {
    if (FView != nullptr) FView->RemoveBitmapChangeEvent(FChangeHandle);
    ClearUndo();
    ClearRedo();
}

// ---- Attachment ----

void TVistrelProc::DropOwnImage() {
    if (OwnsImage()) FImage = nullptr;
    FOwnImage.reset();
    FLegacyBitmap = nullptr;
}

void TVistrelProc::UseFreshOwnImage() {
    DropOwnImage();
    FOwnImage = std::make_unique<TVLBitmap>();
    FImage = FOwnImage.get();
}

void TVistrelProc::SetTargetBitmap(TVLBitmap* Bitmap) {
    DropOwnImage();
    FImage = Bitmap;
}

void TVistrelProc::DetachView() {
    if (FView != nullptr) FView->RemoveBitmapChangeEvent(FChangeHandle);
    FChangeHandle = nullptr;
    FView = nullptr;
}

void TVistrelProc::FollowView() {
    TVLBitmap* current = FView->GetVLBitmap();
    TBitmap* legacy = FView->GetTBitmap();
    if (current != nullptr) {
        SetTargetBitmap(current);
    } else if (legacy != nullptr) {
        if (!OwnsImage()) UseFreshOwnImage();
        FImage->EncapsulateTBitmap(legacy, true);
        FLegacyBitmap = legacy;
    } else {
        SetTargetBitmap(nullptr);
    }
}

void TVistrelProc::SetAttachedVistrel(TVLView* View) {
    DetachView();
    FTImage = nullptr;
    if (View == nullptr) {
        UseFreshOwnImage();
        return;
    }
    FView = View;
    FollowView();
    FreeNotification(View);
    FChangeHandle = View->RegisterBitmapChangeEvent(
        [this](TObject*, bool Destroying) { ViewBitmapChanged(Destroying); });
}

void TVistrelProc::ViewBitmapChanged(bool Destroying) {
    if (Destroying) {
        // The view's image goes with it; only an own image survives.
        FChangeHandle = nullptr;
        FView = nullptr;
        if (!OwnsImage()) FImage = nullptr;
        return;
    }
    if (FView != nullptr) FollowView();
}

void TVistrelProc::SetAttachedBitmap(TVLBitmap* Bitmap) {
    if (Bitmap == nullptr && (FView != nullptr || FTImage != nullptr)) return;
    DetachView();
    FTImage = nullptr;
    SetTargetBitmap(Bitmap);
}

void TVistrelProc::SetAttachedTImage(TImage* Image) {
    if (Image == nullptr) {
        if (FTImage == nullptr) return;
        FTImage = nullptr;
        UseFreshOwnImage();
        return;
    }
    DetachView();
    // A fresh own image: wrapping the control's bitmap must not free a view's pixels.
    UseFreshOwnImage();
    FTImage = Image;
    FLegacyBitmap = Image->Picture()->Bitmap();
    FImage->EncapsulateTBitmap(FLegacyBitmap, true);
    FreeNotification(Image);
}

void TVistrelProc::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent == nullptr) return;
    if (FView != nullptr && AComponent == FView) {
        DetachView();
        if (!OwnsImage()) FImage = nullptr;
    } else if (FTImage != nullptr && AComponent == FTImage) {
        // The own image wraps the control's bitmap, which goes with the control.
        FTImage = nullptr;
        UseFreshOwnImage();
    }
}

TVistrelView* TVistrelProc::AttachedVistrelView() const {
    return dynamic_cast<TVistrelView*>(FView);
}

// ---- Properties ----

TColor TVistrelProc::GetBackground() const {
    return FView != nullptr ? FView->Background() : FBackground;
}

void TVistrelProc::SetBackground(TColor Color) {
    if (FView != nullptr)
        FView->SetBackground(Color);
    else
        FBackground = Color;
}

// ---- Operation frame ----

bool TVistrelProc::PrepareImage(TVLPixelFormatSet Allowed) {
    if (FImage == nullptr) return false;
    // The owner of a wrapped class-library bitmap may have resized it.
    if (FLegacyBitmap != nullptr) FImage->EncapsulateTBitmap(FLegacyBitmap, false);
    return ConvertToAllowedFormat(Allowed);
}

bool TVistrelProc::ConvertToAllowedFormat(TVLPixelFormatSet Allowed) {
    if (FImage == nullptr) return false;
    const TVLPixelFormat current = FImage->GetPixelFormat();
    if (Allowed == AnyPixelFormat || InSet(current, Allowed)) return true;
    if (!AutoConvertFormat) return false;
    const TVLPixelFormat target = PreferredPixelFormat(current, Allowed);
    if (target == vlNone) return false;
    FImage->SetPixelFormat(target);
    return FImage->GetPixelFormat() == target;
}

bool TVistrelProc::StartOperation(TVLPixelFormatSet Allowed, const String& Caption) {
    if (!PrepareImage(AnyPixelFormat)) return false;
    const TVLPixelFormat current = FImage->GetPixelFormat();
    if (Allowed != AnyPixelFormat && !InSet(current, Allowed) &&
        (!AutoConvertFormat || PreferredPixelFormat(current, Allowed) == vlNone))
        return false;
    // The undo copy is taken before the conversion: it keeps the original's format and depth.
    if (AutoUndo) SaveUndoCaptioned(Caption, vluImage);
    return ConvertToAllowedFormat(Allowed);
}

bool TVistrelProc::GetSelectionInfo(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                    TVLMask*& Mask, const TPoint*& Points, int32_t& PointCount) {
    if (FImage != nullptr && FLegacyBitmap != nullptr)
        FImage->EncapsulateTBitmap(FLegacyBitmap, false);
    PointCount = 0;
    Points = nullptr;
    Mask = nullptr;
    X1 = 0;
    Y1 = 0;
    X2 = FImage != nullptr ? FImage->GetWidth() : 0;
    Y2 = FImage != nullptr ? FImage->GetHeight() : 0;
    auto* view = dynamic_cast<TVistrelView*>(FView);
    if (view == nullptr) return false;
    // A mask left from an earlier selection never limits an operation.
    if (!view->Selected()) return false;
    Mask = &view->SelectionMask();
    if (!Mask->IsEmpty()) {
        X1 = Mask->X1;
        Y1 = Mask->Y1;
        X2 = Mask->X2 + 1;
        Y2 = Mask->Y2 + 1;
    }
    Points = view->GetSelectionPoints();
    PointCount = view->GetSelectionPointCount();
    return true;
}

bool TVistrelProc::BeginOperation(TVLPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2,
                                  int32_t& Y2, const String& Caption, TVLBitmap*& Work,
                                  TVLMask*& Mask) {
    if (AutoUndo) SaveUndoCaptioned(Caption, vluImage);
    if (!PrepareImage(Allowed)) return false;
    const TPoint* points = nullptr;
    int32_t pointCount = 0;
    GetSelectionInfo(X1, Y1, X2, Y2, Mask, points, pointCount);
    if (Mask == nullptr || Mask->IsEmpty()) {
        Work = FImage;
        return true;
    }
    auto work = std::make_unique<TVLBitmap>();
    work->MinFileSize = FImage->MinFileSize;
    const int32_t w = Mask->X2 - Mask->X1 + 1, h = Mask->Y2 - Mask->Y1 + 1;
    if (!work->Allocate(w, h, FImage->GetPixelFormat())) return false;
    if (FImage->GetPixelFormat() == vl8p) FImage->CopyPaletteTo(*work);
    FImage->CopyRectTo(*work, Mask->X1, Mask->Y1, 0, 0, w, h);
    X1 = 0;
    Y1 = 0;
    X2 = w;
    Y2 = h;
    Work = work.release();
    return true;
}

void TVistrelProc::EndOperation(TVLBitmap* Work, TVLMask* Mask) {
    if (Work != nullptr && Work != FImage) {
        const std::unique_ptr<TVLBitmap> work(Work);
        if (Mask != nullptr) {
            Mask->CopyMaskedBitmap(*FImage, *work, false, true, false);
            if (work->HasAlphaChannel() && !work->GetAlphaChannel()->Full) {
                TVLBitmap& alpha = *FImage->GetAlphaChannel();
                Mask->CopyMaskedBitmap(alpha, *work->GetAlphaChannel(), false, true, false);
                alpha.Full = false;
            }
        }
    }
    NotifyImageChanged();
}

void TVistrelProc::NotifyImageChanged() {
    // A class-library bitmap cannot carry an alpha channel.
    if (FLegacyBitmap != nullptr && FImage != nullptr) FImage->RemoveAlphaChannel(false, clWhite);
    if (FView != nullptr) {
        FView->Update();
        FView->ImageChange();
    } else if (FLegacyBitmap != nullptr) {
        // The image control repaints.
        FLegacyBitmap->SetModified(true);
    }
}

void TVistrelProc::DoFinishWork() {
    if (OnProgress) OnProgress(this, 100);
    if (OnFinishWork) OnFinishWork(this);
}
