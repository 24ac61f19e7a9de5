// The base view: background, border, resolution pair, bitmap-change callbacks and the view
// unit's screen globals.
#include "imaging/view/VLView.h"

#include "platform/gfx/Gdi.h"
#include "platform/ui/Input.h"

#include <algorithm>

struct TVLBitmapChangeRecord {
    TVLBitmapChangeEvent Event;
};

int32_t ScreenBitsPerPixel = 0;
bool RemoteSession = false;
bool MMXAvailable = false;
int32_t EdgeWidth = 0;
int32_t EdgeHeight = 0;
int32_t BorderWidth = 0;
int32_t BorderHeight = 0;
int32_t HScrollBarHeight = 0;
int32_t VScrollBarWidth = 0;

namespace {
bool ProcessorHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}
} // namespace

void ReadScreenGlobals() {
    // Every device context answers for the screen.
    const HDC screen = CreateCompatibleDC(nullptr);
    ScreenBitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
    ScreenDpiX = GetDeviceCaps(screen, LOGPIXELSX);
    ScreenDpiY = GetDeviceCaps(screen, LOGPIXELSY);
    DeleteDC(screen);
    DefaultDpiX = 300;
    DefaultDpiY = 300;
    RemoteSession = GetSystemMetrics(SM_REMOTESESSION) != 0;
    MMXAvailable = ProcessorHasMMX();
    EdgeWidth = GetSystemMetrics(SM_CXEDGE);
    EdgeHeight = GetSystemMetrics(SM_CYEDGE);
    BorderWidth = GetSystemMetrics(SM_CXBORDER);
    BorderHeight = GetSystemMetrics(SM_CYBORDER);
    HScrollBarHeight = GetSystemMetrics(SM_CYHSCROLL);
    VScrollBarWidth = GetSystemMetrics(SM_CXVSCROLL);
}

TVLView::TVLView(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle |= csAcceptsControls | csOpaque | csReplicatable;
}

TVLView::~TVLView() {
    // Every attached component forgets the view before its window goes.
    CallBitmapDestroyingEvents();
}

void TVLView::CallBitmapDestroyingEvents() {
    while (!FBitmapChangeEvents.empty()) {
        std::unique_ptr<TVLBitmapChangeRecord> record = std::move(FBitmapChangeEvents.front());
        FBitmapChangeEvents.erase(FBitmapChangeEvents.begin());
        if (record->Event) record->Event(this, true);
    }
}

void TVLView::SetBackground(TColor Color) {
    FBackground = Color;
}

void TVLView::SetBorderStyle(TBorderStyle Value) {
    if (Value == FBorderStyle) return;
    FBorderStyle = Value;
    RecreateWnd();
}

void TVLView::SetCtl3D(bool Value) {
    if (Value == Ctl3D()) return;
    TCustomControl::SetCtl3D(Value);
    RecreateWnd();
}

void TVLView::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    if (FBorderStyle == bsSingle) {
        if (Ctl3D())
            Params.ExStyle |= WS_EX_CLIENTEDGE;
        else
            Params.Style |= WS_BORDER;
    }
    // A size change does not invalidate the whole window.
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

TBitmap* TVLView::GetTBitmap() {
    return nullptr;
}

TVLBitmap* TVLView::GetVLBitmap() {
    return nullptr;
}

void TVLView::SetDpiX(int32_t Value) {
    if (Value != 0) FDpiX = Value;
}

void TVLView::SetDpiY(int32_t Value) {
    if (Value != 0) FDpiY = Value;
}

void TVLView::SetDpi(int32_t X, int32_t Y) {
    SetDpiX(X);
    SetDpiY(Y);
}

TVLBitmapChangeHandle TVLView::RegisterBitmapChangeEvent(TVLBitmapChangeEvent Event) {
    FBitmapChangeEvents.push_back(std::make_unique<TVLBitmapChangeRecord>());
    FBitmapChangeEvents.back()->Event = std::move(Event);
    return FBitmapChangeEvents.back().get();
}

void TVLView::RemoveBitmapChangeEvent(TVLBitmapChangeHandle Handle) {
    if (Handle == nullptr) return;
    std::erase_if(FBitmapChangeEvents, [Handle](const auto& r) { return r.get() == Handle; });
}

void TVLView::CallBitmapChangeEvents() {
    // A callback may register or remove others: walk by index over what exists now.
    for (size_t i = 0; i < FBitmapChangeEvents.size(); ++i) {
        TVLBitmapChangeEvent event = FBitmapChangeEvents[i]->Event;
        if (event) event(this, false);
    }
}

void TVLView::Dispatch(TMessage& Message) {
    TCustomControl::Dispatch(Message);
    if (Message.Msg == CM_MOUSEENTER && Message.LParam == 0 && OnMouseEnter) OnMouseEnter(this);
    if (Message.Msg == CM_MOUSELEAVE && Message.LParam == 0 && OnMouseLeave) OnMouseLeave(this);
}
