// The I/O component: attachment, working-image check, progress and finish reports.
#include "imaging/io/VistrelIO.h"

#include "imaging/view/VistrelView.h"
#include "platform/ui/ExtCtrls.h"

#include <algorithm>

namespace {

bool ViewHasParentWindow(TVLView& View) {
    if (auto* single = dynamic_cast<TVistrelView*>(&View)) return single->HasParentWindow();
    return View.Parent() != nullptr || View.ParentWindow() != nullptr;
}

// The view's window, made on the UI thread when it does not exist yet.
HWND ViewWindow(TVLView& View) {
    if (View.HandleAllocated()) return View.Handle();
    HWND handle = nullptr;
    TThread::Synchronize([&] { handle = View.Handle(); });
    return handle;
}

thread_local uint32_t FinishReportsHere = 0;

} // namespace

TVistrelIO::TVistrelIO(TComponent* AOwner) : TComponent(AOwner) {
    NewOwnBitmap();
    FIOParams = std::make_unique<TIOParamsVals>(this);
}

TVistrelIO::~TVistrelIO() {
    WaitPendingThreads(false);
    RemoveViewCallback();
    FAttachedVistrel = nullptr;
}

void TVistrelIO::NewOwnBitmap() {
    FOwnBitmap = std::make_unique<TVLBitmap>();
    FOwnBitmap->DefaultDitherMethod = FDefaultDitherMethod;
    FBitmap = FOwnBitmap.get();
}

void TVistrelIO::FreeOwnBitmap() {
    if (FBitmap == FOwnBitmap.get()) FBitmap = nullptr;
    FOwnBitmap.reset();
}

void TVistrelIO::RemoveViewCallback() {
    if (FAttachedVistrel != nullptr) FAttachedVistrel->RemoveBitmapChangeEvent(FChangeHandle);
    FChangeHandle = nullptr;
}

void TVistrelIO::SetAttachedVistrel(TVLView* View) {
    RemoveViewCallback();
    FAttachedVistrel = View;
    if (View == nullptr) {
        FLegacyBitmap = nullptr;
        NewOwnBitmap();
        return;
    }
    FreeOwnBitmap();
    FLegacyBitmap = View->GetTBitmap();
    FBitmap = View->GetVLBitmap();
    if (FBitmap != nullptr) {
        FLegacyBitmap = nullptr;
    } else {
        NewOwnBitmap();
        FBitmap->EncapsulateTBitmap(FLegacyBitmap, true);
    }
    View->FreeNotification(this);
    FAttachedTImage = nullptr;
    FChangeHandle = View->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool Destroying) { ViewBitmapChanged(Sender, Destroying); });
}

void TVistrelIO::ViewBitmapChanged(TObject*, bool Destroying) {
    if (Destroying) {
        // The view's bitmap goes with the view: work on a new empty one of our own.
        FAttachedVistrel = nullptr;
        FChangeHandle = nullptr;
        FLegacyBitmap = nullptr;
        NewOwnBitmap();
        return;
    }
    if (FAttachedVistrel == nullptr) return;
    FLegacyBitmap = FAttachedVistrel->GetTBitmap();
    if (FOwnBitmap != nullptr && FBitmap == FOwnBitmap.get()) {
        FBitmap->EncapsulateTBitmap(FLegacyBitmap, true);
    } else {
        FBitmap = FAttachedVistrel->GetVLBitmap();
        if (FBitmap != nullptr) FLegacyBitmap = nullptr;
    }
    FIOParams->SetDpiX(FAttachedVistrel->DpiX());
    FIOParams->SetDpiY(FAttachedVistrel->DpiY());
}

// The working bitmap wraps the control's picture. A bitmap the component does not own (a
// view's or a caller's) is never wrapped or emptied: the component takes a new own one first.
void TVistrelIO::SetAttachedTImage(TImage* Image) {
    RemoveViewCallback();
    FAttachedTImage = Image;
    if (FOwnBitmap == nullptr || FBitmap != FOwnBitmap.get()) NewOwnBitmap();
    if (Image != nullptr) {
        FLegacyBitmap = Image->Picture()->Bitmap();
        FBitmap->EncapsulateTBitmap(FLegacyBitmap, true);
        Image->FreeNotification(this);
        FAttachedVistrel = nullptr;
    } else {
        // The former control's bitmap is not watched any more, so it is not kept either.
        FLegacyBitmap = nullptr;
        FBitmap->FreeImage(true);
    }
}

void TVistrelIO::SetAttachedBitmap(TVLBitmap* Bitmap) {
    if (Bitmap == nullptr && (FAttachedVistrel != nullptr || FAttachedTImage != nullptr)) return;
    RemoveViewCallback();
    SetTargetBitmap(Bitmap);
    if (Bitmap != nullptr) {
        FAttachedVistrel = nullptr;
        FAttachedTImage = nullptr;
    }
}

void TVistrelIO::SetTargetBitmap(TVLBitmap* Bitmap) {
    FLegacyBitmap = nullptr;
    FreeOwnBitmap();
    FBitmap = Bitmap;
}

void TVistrelIO::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent != nullptr && AComponent == FAttachedVistrel) {
        RemoveViewCallback();
        FAttachedVistrel = nullptr;
        FLegacyBitmap = nullptr;
        NewOwnBitmap();
    } else if (AComponent != nullptr && AComponent == FAttachedTImage) {
        // The control's bitmap goes with it.
        FAttachedTImage = nullptr;
        FLegacyBitmap = nullptr;
        NewOwnBitmap();
    }
}

bool TVistrelIO::CheckWorkingBitmap(std::initializer_list<TVLPixelFormat> AllowedFormats) {
    if (FBitmap == nullptr) return false;
    if (FLegacyBitmap != nullptr) FBitmap->EncapsulateTBitmap(FLegacyBitmap, false);
    if (AllowedFormats.size() == 0) return true;
    return std::find(AllowedFormats.begin(), AllowedFormats.end(), FBitmap->GetPixelFormat()) !=
           AllowedFormats.end();
}

void TVistrelIO::UpdateAttached() {
    if (FLegacyBitmap != nullptr && FBitmap != nullptr) FBitmap->RemoveAlphaChannel(false, 0);
    if (FAttachedVistrel != nullptr) {
        if (!IsInsideIOThread()) {
            FAttachedVistrel->Update();
            FAttachedVistrel->ImageChange();
            return;
        }
        PostToView(VLM_UPDATEVIEW, 0);
        // The view's handlers belong to the UI thread; the view may be gone by the time it runs.
        TThread::Synchronize([this] {
            if (FAttachedVistrel != nullptr) FAttachedVistrel->ImageChange();
        });
    } else if (FLegacyBitmap != nullptr) {
        FLegacyBitmap->SetModified(true);
    }
}

bool TVistrelIO::PostToView(UINT Msg, WPARAM WParam) {
    if (FAttachedVistrel == nullptr || !IsInsideIOThread()) return false;
    if (!ViewHasParentWindow(*FAttachedVistrel)) return false;
    PostMessage(ViewWindow(*FAttachedVistrel), Msg, WParam, 0);
    return true;
}

void TVistrelIO::DoProgress(TObject* Sender, int32_t Per) {
    if (!OnProgress) return;
    if (!PostToView(VLM_PROGRESS, static_cast<WPARAM>(Per))) OnProgress(Sender, Per);
}

void TVistrelIO::DoFinishWork() {
    ++FinishReportsHere;
    DoProgress(this, 100);
    if (!OnFinishWork) return;
    if (!PostToView(VLM_FINISHWORK, 0)) OnFinishWork(this);
}

TVLProgressRecord TVistrelIO::MakeProgressRecord() {
    TVLProgressRecord progress;
    progress.Handler = [this](TObject* Sender, int32_t Per) { DoProgress(Sender, Per); };
    progress.Sender = this;
    progress.AbortFlag = &AbortingFlag;
    return progress;
}

uint32_t TVistrelIO::FinishReportsOnThisThread() {
    return FinishReportsHere;
}

bool TVistrelIO::IsInsideIOThread() {
    const std::thread::id self = std::this_thread::get_id();
    TCriticalSectionLock lock(IOLock);
    return std::any_of(IOThreads.begin(), IOThreads.end(),
                       [self](TThread* job) { return job->ThreadID() == self; });
}

TColor TVistrelIO::GetBackground() {
    return FAttachedVistrel != nullptr ? FAttachedVistrel->Background() : FBackground;
}

void TVistrelIO::SetBackground(TColor Value) {
    if (FAttachedVistrel == nullptr) FBackground = Value;
}

void TVistrelIO::ApplyDPIToView(int32_t, int32_t) {
    auto* view = dynamic_cast<TVistrelView*>(FAttachedVistrel);
    if (view == nullptr) return;
    view->DisableUpdate();
    view->SetDpi(FIOParams->DpiX, FIOParams->DpiY);
    view->EnableUpdateNoRefresh();
}

TBitmap* TVistrelIO::GetTBitmap() {
    if (FBitmap != nullptr && FBitmap->GetLocation() == TVLLocation::vlTBitmap)
        return FBitmap->GetVclBitmap();
    return FLegacyBitmap;
}

void TVistrelIO::SetDefaultDitherMethod(uint8_t Value) {
    if (FBitmap != nullptr) FBitmap->DefaultDitherMethod = Value;
    FDefaultDitherMethod = Value;
}

void TVistrelIO::SetViewDpiX(int32_t Value) {
    if (FAttachedVistrel != nullptr) FAttachedVistrel->SetDpiX(Value);
}

void TVistrelIO::SetViewDpiY(int32_t Value) {
    if (FAttachedVistrel != nullptr) FAttachedVistrel->SetDpiY(Value);
}
