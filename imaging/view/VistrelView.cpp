// The single-image view: construction, the base view's operations, its window messages and the
// view unit's start-up.
#include "imaging/view/VistrelView.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/io/VistrelIO.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Timer.h"

TVistrelView::TVistrelView(TComponent* AOwner) : TVLView(AOwner) {
    // Layer 0 holds the view's own image: 24-bit pixels in a class-library bitmap, no box, no
    // grips.
    auto image = std::make_unique<TVLBitmap>();
    image->SetLocation(TVLLocation::vlTBitmap);
    FLayers.push_back(std::make_unique<TVLLayer>(this, std::move(image)));
    FLayers[0]->VisibleBox = false;
    FLayers[0]->Locked = true;
    MakeCurrent(0);
    DisableUpdate();
    AcquireGdiPlus();
    SetBounds(Left(), Top(), 105, 105);
    SetDpi(DefaultDpiX, DefaultDpiY);
    InteractionCursors = AOwner != nullptr;
    RegisterViewCursors();
    TVLView::SetCursor(FOwnCursor);
    SyncMaskToBitmap();
    // The navigator shows the current bitmap: it follows every replacement and lets go of it
    // before the bitmap goes.
    RegisterBitmapChangeEvent([this](TObject*, bool Destroying) {
        if (FNavigator != nullptr) FNavigator->SetExternalBitmap(Destroying ? nullptr : FBitmap);
    });
    FDrawDib = DrawDibOpen();
    if (!InState(csDesigning)) CreateBackBuffer();
    EnableUpdate();
}

TVistrelView::~TVistrelView() {
    FOwnedObjects.clear();
    SetNavigator(nullptr);
    // Attached components let go of the layers' bitmaps before they are freed.
    CallBitmapDestroyingEvents();
    delete FAntsTimer;
    FAntsTimer = nullptr;
    FSavedSelections.clear();
    delete FSmoothTimer;
    FSmoothTimer = nullptr;
    FBackBuffer.reset();
    DrawDibClose(FDrawDib);
    FBitmap = nullptr;
    FLegacyBitmap = nullptr;
    FLayers.clear();
    ReleaseGdiPlus();
}

void TVistrelView::SetBackground(TColor Color) {
    TVLView::SetBackground(Color);
    Update();
    ImageChange();
    if (ComponentState() == TComponentState(csDesigning)) Paint();
}

TVLBitmap* TVistrelView::GetAlphaChannel() {
    return FBitmap->GetAlphaChannel();
}

bool TVistrelView::HasAlphaChannel() {
    return FBitmap->HasAlphaChannel();
}

void TVistrelView::RemoveAlphaChannel(bool Merge) {
    FBitmap->RemoveAlphaChannel(Merge, Background());
}

void TVistrelView::LockPaint() {
    ++FPaintLock;
}

int32_t TVistrelView::UnlockPaint() {
    if (FPaintLock > 0) --FPaintLock;
    if (FPaintLock == 0) Update();
    return FPaintLock;
}

int32_t TVistrelView::UnlockPaintNoRefresh() {
    if (FPaintLock > 0) --FPaintLock;
    return FPaintLock;
}

void TVistrelView::ImageChange() {
    if (OnImageChange) OnImageChange(this);
}

void TVistrelView::DoViewChange(int32_t Change) {
    if (OnViewChange) OnViewChange(this, Change);
    SyncNavigator();
}

bool TVistrelView::HasParentWindow() {
    return GetParentForm(this) != nullptr || ParentWindow() != nullptr;
}

int32_t TVistrelView::ClientAreaWidth() {
    if (OffScreenDrawing) return Width();
    if (HasParentWindow() && HandleAllocated()) return ClientWidth();
    return 50;
}

int32_t TVistrelView::ClientAreaHeight() {
    if (OffScreenDrawing) return Height();
    if (HasParentWindow() && HandleAllocated()) return ClientHeight();
    return 50;
}

void TVistrelView::SetAutoFit(bool Value) {
    if (Value == FAutoFit) return;
    FAutoFit = Value;
    Update();
}

void TVistrelView::SetAutoStretch(bool Value) {
    if (Value == FAutoStretch) return;
    FAutoStretch = Value;
    Update();
}

void TVistrelView::SetAutoShrink(bool Value) {
    if (Value == FAutoShrink) return;
    FAutoShrink = Value;
    Update();
}

void TVistrelView::SetBackgroundStyle(TVLBackgroundStyle Value) {
    if (Value == FBackgroundStyle) return;
    FBackgroundStyle = Value;
    Update();
}

void TVistrelView::SetZoomFilter(TResampleFilter Value) {
    if (Value == FZoomFilter) return;
    FZoomFilter = Value;
    Update();
}

TVistrelProc* TVistrelView::GetProc() {
    if (FProc != nullptr) return FProc;
    FProc = new TVistrelProc(this);
    FProc->SetAttachedVistrel(this);
    FProc->OnProgress = [this](TObject* Sender, int32_t Percent) {
        if (FOnProgress) FOnProgress(Sender, Percent);
    };
    FProc->OnFinishWork = [this](TObject* Sender) {
        if (FOnFinishWork) FOnFinishWork(Sender);
    };
    FProc->OnSaveUndo = [this](TObject* Sender, TVLUndoSource Source) {
        if (OnSaveUndo) OnSaveUndo(Sender, Source);
    };
    return FProc;
}

void TVistrelView::Notification(TComponent* AComponent, TOperation Operation) {
    TVLView::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FProc) FProc = nullptr;
    if (Operation == opRemove && AComponent == FNavigator) FNavigator = nullptr;
}

void TVistrelView::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_SIZE:
        TVLView::Dispatch(Message);
        if (!FUpdating) Update();
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TVLView::Dispatch(Message);
        Invalidate();
        break;
    case WM_LBUTTONDBLCLK:
        TVLView::Dispatch(Message);
        CloseSelectionPolygon(KeysToShiftState(Message.WParam));
        break;
    case CM_WANTSPECIALKEY: {
        TVLView::Dispatch(Message);
        if (!OnSpecialKey) break;
        bool handled = false;
        TShiftState shift = KeyboardShiftState();
        // Bit 29 of the key data: Alt was held.
        if ((Message.LParam & (1 << 29)) != 0) shift |= ssAlt;
        OnSpecialKey(this, static_cast<uint16_t>(Message.WParam), shift, handled);
        if (handled) Message.Result = 1;
        break;
    }
    case WM_ERASEBKGND:
        // The back buffer covers the whole drawing area.
        Message.Result = 0;
        break;
    case VLM_UPDATEVIEW:
        Update();
        break;
    case VLM_PROGRESS:
        if (FOnProgress) FOnProgress(this, static_cast<int32_t>(Message.WParam));
        break;
    case VLM_FINISHWORK:
        if (FOnFinishWork) FOnFinishWork(this);
        break;
    case WM_HSCROLL:
    case WM_VSCROLL:
        TVLView::Dispatch(Message);
        ScrollMessage(Message.Msg == WM_HSCROLL, Message.WParam);
        break;
    case WM_MOUSEWHEEL: {
        TVLView::Dispatch(Message);
        int32_t x = GET_X_LPARAM(Message.LParam);
        int32_t y = GET_Y_LPARAM(Message.LParam);
        ScreenToClient(x, y);
        WheelAction(GET_WHEEL_DELTA_WPARAM(Message.WParam), x, y,
                    (LOWORD(Message.WParam) & MK_CONTROL) != 0);
        break;
    }
    default:
        TVLView::Dispatch(Message);
        break;
    }
}

TVistrelIO* TVistrelView::GetIO() {
    if (FIO == nullptr) {
        FIO = new TVistrelIO(this);
        FIO->SetAttachedVistrel(this);
        FIO->OnProgress = FOnProgress;
        FIO->OnFinishWork = FOnFinishWork;
    }
    return FIO;
}

void TVistrelView::SetOnProgress(const TVLProgressEvent& Value) {
    FOnProgress = Value;
    if (FIO != nullptr) FIO->OnProgress = Value;
}

void TVistrelView::SetOnFinishWork(const TNotifyEvent& Value) {
    FOnFinishWork = Value;
    if (FIO != nullptr) FIO->OnFinishWork = Value;
}

void InitializeVistrelViewUnit() {
    ReadScreenGlobals();
}

void FinalizeVistrelViewUnit() {}

void RegisterVistrelViewUnit() {
    RegisterCanvasUnit();
    RegisterLibraryUnit(TLibraryUnit::VistrelView, InitializeVistrelViewUnit,
                        FinalizeVistrelViewUnit);
}
