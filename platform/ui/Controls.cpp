// Controls: bounds, alignment, message dispatch, windows made on demand and painting.
#include "platform/ui/Controls.h"

#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"
#include "platform/ui/WinUser.h"

#include <algorithm>

namespace {

HWND CaptureWnd = nullptr;
HWND FocusWnd = nullptr;
// The window-less control holding the capture through its parent's window.
TControl* CaptureControl = nullptr;

// Moves the keyboard focus, telling the window that loses it and the one that gets it.
void ChangeFocus(HWND Wnd) {
    if (Wnd == FocusWnd) return;
    HWND old = FocusWnd;
    FocusWnd = Wnd;
    if (old != nullptr) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(Wnd), 0);
    if (Wnd != nullptr) SendMessage(Wnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

} // namespace

namespace platform::detail {
void FocusChanged(HWND Wnd, bool Gained) {
    if (Gained)
        ChangeFocus(Wnd);
    else if (FocusWnd == Wnd)
        ChangeFocus(nullptr);
}
} // namespace platform::detail

TShiftState KeysToShiftState(WPARAM Keys) {
    TShiftState s = 0;
    if (Keys & MK_SHIFT) s |= ssShift;
    if (Keys & MK_CONTROL) s |= ssCtrl;
    if (Keys & MK_LBUTTON) s |= ssLeft;
    if (Keys & MK_RBUTTON) s |= ssRight;
    if (Keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeyboardShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TControl* FindDragTarget(TPoint Pos, bool AllowDisabled) {
    HWND wnd = WindowFromPoint(Pos);
    TWinControl* window = platform::detail::FindControl(wnd);
    if (window == nullptr) return nullptr;
    window->ScreenToClient(Pos.X, Pos.Y);
    TControl* child = window->ControlAtPos(Pos, AllowDisabled);
    return child != nullptr ? child : window;
}

HWND GetCapture() {
    return CaptureWnd;
}

HWND SetCapture(HWND Wnd) {
    HWND old = CaptureWnd;
    CaptureWnd = Wnd;
    CaptureControl = nullptr;
    return old;
}

bool ReleaseCapture() {
    CaptureWnd = nullptr;
    CaptureControl = nullptr;
    return true;
}

HWND GetFocus() {
    return FocusWnd;
}

// ---- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    WindowProc = [this](TMessage& Message) { WndProc(Message); };
}

TControl::~TControl() {
    Destroying();
    if (CaptureControl == this) CaptureControl = nullptr;
    if (FParent != nullptr) FParent->RemoveControl(this);
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    AWidth = std::max(AWidth, 0);
    AHeight = std::max(AHeight, 0);
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    const bool resized = AWidth != FWidth || AHeight != FHeight;
    // A top-level window hears of its new place before it takes it.
    if (auto* window = dynamic_cast<TWinControl*>(this);
        window != nullptr && FParent == nullptr && window->HandleAllocated()) {
        WINDOWPOS pos{window->Handle(), nullptr, ALeft, ATop, AWidth, AHeight, 0};
        Perform(WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    }
    if (FParent != nullptr && FVisible) FParent->Invalidate();
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    BoundsChanged(resized);
    if (FParent != nullptr && FAlign != alNone) FParent->Realign();
}

void TControl::BoundsChanged(bool Resized) {
    if (FParent != nullptr && FVisible) FParent->Invalidate();
    if (Resized && !InState(csLoading)) Resize();
}

int32_t TControl::ClientWidth() {
    return FWidth;
}

int32_t TControl::ClientHeight() {
    return FHeight;
}

void TControl::SetClientSize(int32_t AWidth, int32_t AHeight) {
    SetBounds(FLeft, FTop, FWidth - ClientWidth() + AWidth, FHeight - ClientHeight() + AHeight);
}

void TControl::ClientOrigin(int32_t& X, int32_t& Y) {
    X = FLeft;
    Y = FTop;
    if (FParent != nullptr) {
        int32_t px, py;
        FParent->ClientOrigin(px, py);
        X += px;
        Y += py;
    }
}

void TControl::ClientToScreen(int32_t& X, int32_t& Y) {
    int32_t ox, oy;
    ClientOrigin(ox, oy);
    X += ox;
    Y += oy;
}

void TControl::ScreenToClient(int32_t& X, int32_t& Y) {
    int32_t ox, oy;
    ClientOrigin(ox, oy);
    X -= ox;
    Y -= oy;
}

void TControl::SetParent(TWinControl* AParent) {
    if (AParent == FParent) return;
    if (AParent == this) throw EComponentError(u"A control cannot have itself as its parent");
    if (FParent != nullptr) FParent->RemoveControl(this);
    if (AParent != nullptr) AParent->InsertControl(this);
}

void TControl::SetAlign(TAlign Value) {
    if (Value == FAlign) return;
    FAlign = Value;
    if (FParent != nullptr) FParent->Realign();
}

void TControl::SetVisible(bool Value) {
    if (Value == FVisible) return;
    VisibleChanging();
    FVisible = Value;
    Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
    if (FParent != nullptr) {
        FParent->Invalidate();
        if (FAlign != alNone) FParent->Realign();
    }
}

bool TControl::Showing() {
    for (TControl* c = this; c != nullptr; c = c->FParent)
        if (!c->FVisible) return false;
    return true;
}

void TControl::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
    if (Value == FColor) return;
    FColor = Value;
    Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor Value) {
    FCursor = Value;
}

bool TControl::MouseCapture() {
    auto* window = dynamic_cast<TWinControl*>(this);
    if (window == nullptr) return CaptureControl == this;
    return window->HandleAllocated() && GetCapture() == window->Handle() &&
           CaptureControl == nullptr;
}

void TControl::SetMouseCapture(bool Value) {
    TWinControl* owner = dynamic_cast<TWinControl*>(this);
    if (owner == nullptr) owner = FParent;
    if (owner == nullptr || MouseCapture() == Value) return;
    if (Value) {
        SetCapture(owner->Handle());
        if (owner != this) CaptureControl = this;
    } else {
        ReleaseCapture();
    }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage message{Msg, WParam, LParam, 0};
    WindowProc(message);
    return message.Result;
}

void TControl::WndProc(TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (ControlStyle & csCaptureMouse) SetMouseCapture(true);
        if (ControlStyle & csClickEvents) FControlState |= csClicked;
        break;
    case WM_LBUTTONUP:
        if (ControlStyle & csCaptureMouse) SetMouseCapture(false);
        break;
    default:
        break;
    }
    Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
        HandleMouseButton(Message, mbLeft, true, false);
        break;
    case WM_LBUTTONDBLCLK:
        HandleMouseButton(Message, mbLeft, true, true);
        break;
    case WM_LBUTTONUP:
        HandleMouseButton(Message, mbLeft, false, false);
        break;
    case WM_RBUTTONDOWN:
        HandleMouseButton(Message, mbRight, true, false);
        break;
    case WM_RBUTTONDBLCLK:
        HandleMouseButton(Message, mbRight, true, true);
        break;
    case WM_RBUTTONUP: {
        HandleMouseButton(Message, mbRight, false, false);
        // The release of the right button asks for the context menu, as the system's default
        // handling of the message does.
        int32_t x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
        ClientToScreen(x, y);
        Perform(WM_CONTEXTMENU, 0, MAKELPARAM(x, y));
        break;
    }
    case WM_CONTEXTMENU:
        ContextMenu(Message);
        break;
    case WM_MBUTTONDOWN:
        HandleMouseButton(Message, mbMiddle, true, false);
        break;
    case WM_MBUTTONDBLCLK:
        HandleMouseButton(Message, mbMiddle, true, true);
        break;
    case WM_MBUTTONUP:
        HandleMouseButton(Message, mbMiddle, false, false);
        break;
    case WM_MOUSEMOVE:
        HandleMouseMove(Message);
        break;
    case WM_MOUSEWHEEL:
        if (DoMouseWheel(KeysToShiftState(LOWORD(Message.WParam)),
                         GET_WHEEL_DELTA_WPARAM(Message.WParam), GET_X_LPARAM(Message.LParam),
                         GET_Y_LPARAM(Message.LParam)))
            Message.Result = 1;
        else
            DefaultHandler(Message);
        break;
    case CM_COLORCHANGED:
        Invalidate();
        break;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
        // The parent hears of it too, with the control that the mouse entered or left.
        if (FParent != nullptr)
            FParent->Perform(Message.Msg, 0,
                             Message.LParam != 0 ? Message.LParam : reinterpret_cast<LPARAM>(this));
        break;
    default:
        DefaultHandler(Message);
        break;
    }
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
    if (Value == FPopupMenu) return;
    if (FPopupMenu != nullptr) FPopupMenu->RemoveFreeNotification(this);
    FPopupMenu = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

// Shows the control's popup menu at the point, or hands the request to the parent.
void TControl::ContextMenu(TMessage& Message) {
    if (FPopupMenu != nullptr && FPopupMenu->AutoPopup) {
        FPopupMenu->PopupComponent = this;
        FPopupMenu->Popup(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
        Message.Result = 1;
    } else if (FParent != nullptr) {
        Message.Result = FParent->Perform(WM_CONTEXTMENU, Message.WParam, Message.LParam);
    }
}

void TControl::DefaultHandler(TMessage& Message) {
    // A wheel notch nobody took goes on to the parent, as the system's default does.
    if (Message.Msg == WM_MOUSEWHEEL && FParent != nullptr)
        Message.Result = FParent->Perform(Message.Msg, Message.WParam, Message.LParam);
}

void TControl::HandleMouseButton(TMessage& Message, TMouseButton Button, bool Down, bool Double) {
    TShiftState shift = KeysToShiftState(Message.WParam);
    const int32_t x = GET_X_LPARAM(Message.LParam);
    const int32_t y = GET_Y_LPARAM(Message.LParam);
    if (!Down) {
        if (Button == mbLeft && (FControlState & csClicked) != 0) {
            FControlState &= ~csClicked;
            if (x >= 0 && y >= 0 && x < FWidth && y < FHeight) Click();
        }
        MouseUp(Button, shift, x, y);
        return;
    }
    if (Double) {
        shift |= ssDouble;
        if (Button == mbLeft) DblClick();
    }
    MouseDown(Button, shift, x, y);
}

void TControl::HandleMouseMove(TMessage& Message) {
    MouseMove(KeysToShiftState(Message.WParam), GET_X_LPARAM(Message.LParam),
              GET_Y_LPARAM(Message.LParam));
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

bool TControl::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, int32_t MouseX, int32_t MouseY) {
    bool handled = false;
    if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MouseX, MouseY, handled);
    if (!handled) {
        if (WheelDelta < 0 && OnMouseWheelDown)
            OnMouseWheelDown(this, Shift, MouseX, MouseY, handled);
        else if (WheelDelta > 0 && OnMouseWheelUp)
            OnMouseWheelUp(this, Shift, MouseX, MouseY, handled);
    }
    return handled;
}

void TControl::Invalidate() {
    if (FParent != nullptr && FVisible)
        FParent->InvalidateRect(FLeft, FTop, FLeft + FWidth, FTop + FHeight);
}

void TControl::Update() {
    if (FParent != nullptr) FParent->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

// ---- TWinControl ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner)
    : TControl(AOwner), FWindow(std::make_unique<platform::detail::TNativeWindow>(this)) {}

TWinControl::~TWinControl() {
    Destroying();
    if (FParent != nullptr) FParent->RemoveControl(this);
    if (FHandleAllocated) DestroyHandle();
    while (!FControls.empty()) {
        TControl* child = FControls.back();
        RemoveControl(child);
        // A child with an owner goes with its owner; one without belongs to its parent.
        if (child->Owner() == nullptr) delete child;
    }
    if (GetCapture() == FWindow->Handle) ReleaseCapture();
    if (GetFocus() == FWindow->Handle) platform::detail::FocusChanged(FWindow->Handle, false);
    if (FWindow->Handle != nullptr) platform::detail::UnregisterWindow(FWindow->Handle);
}

HWND TWinControl::Handle() {
    HandleNeeded();
    return FWindow->Handle;
}

void TWinControl::HandleNeeded() {
    if (FHandleAllocated) return;
    if (FParent != nullptr) FParent->HandleNeeded();
    CreateHandle();
}

void TWinControl::CreateHandle() {
    if (FHandleAllocated) return;
    platform::detail::StartWindowLayer();
    CreateWnd();
    FHandleAllocated = true;
    FLastClientWidth = FLastClientHeight = -1;
    for (TControl* child : FControls)
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->CreateHandle();
    Realign();
    SendSize();
}

void TWinControl::DestroyHandle() {
    if (!FHandleAllocated) return;
    for (TControl* child : FControls)
        if (auto* win = dynamic_cast<TWinControl*>(child)) win->DestroyHandle();
    DestroyWnd();
    FHandleAllocated = false;
}

void TWinControl::RecreateWnd() {
    if (!FHandleAllocated) return;
    FRecreating = true;
    DestroyHandle();
    FRecreating = false;
    CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params = TCreateParams{};
    Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (TabStop) Params.Style |= WS_TABSTOP;
    if (!Enabled()) Params.Style |= WS_DISABLED;
    if (Visible()) Params.Style |= WS_VISIBLE;
    Params.X = Left();
    Params.Y = Top();
    Params.Width = Width();
    Params.Height = Height();
    if (FParent != nullptr)
        Params.WndParent = FParent->Handle();
    else
        Params.WndParent = FParentWindow;
    Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
}

void TWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    if (FParent == nullptr && FParentWindow == nullptr) params.Style &= ~WS_CHILD;
    QWidget* parentWidget = nullptr;
    if (params.WndParent != nullptr) {
        platform::detail::TNativeWindow* parent =
            platform::detail::NativeWindowOf(params.WndParent);
        if (parent != nullptr) parentWidget = parent->ClientWidget();
    }
    const bool firstWindow = FWindow->Handle == nullptr;
    FWindow->Create(params, parentWidget);
    if (firstWindow) platform::detail::RegisterWindow(FWindow->Handle, this);
    Perform(WM_CREATE, 0, 0);
}

void TWinControl::DestroyWnd() {
    Perform(WM_DESTROY, 0, 0);
    if (GetCapture() == FWindow->Handle) ReleaseCapture();
    if (GetFocus() == FWindow->Handle) platform::detail::FocusChanged(FWindow->Handle, false);
    FWindow->Destroy();
}

void TWinControl::SetParentWindow(HWND Value) {
    if (Value == FParentWindow) return;
    FParentWindow = Value;
    if (FParent == nullptr && FHandleAllocated) RecreateWnd();
}

int32_t TWinControl::ClientWidth() {
    if (!FHandleAllocated) return Width();
    const auto& nc = FWindow->NonClient;
    return std::max(0, Width() - 2 * nc.Border - (nc.VScroll ? GetSystemMetrics(SM_CXVSCROLL) : 0));
}

int32_t TWinControl::ClientHeight() {
    if (!FHandleAllocated) return Height();
    const auto& nc = FWindow->NonClient;
    return std::max(0,
                    Height() - 2 * nc.Border - (nc.HScroll ? GetSystemMetrics(SM_CYHSCROLL) : 0));
}

void TWinControl::ClientOrigin(int32_t& X, int32_t& Y) {
    TControl::ClientOrigin(X, Y);
    if (FHandleAllocated) {
        X += FWindow->NonClient.Border;
        Y += FWindow->NonClient.Border;
    }
}

TControl* TWinControl::Controls(int32_t Index) const {
    if (Index < 0 || Index >= ControlCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
    if (AControl == nullptr || AControl->FParent == this) return;
    FControls.push_back(AControl);
    AControl->FParent = this;
    if (auto* win = dynamic_cast<TWinControl*>(AControl)) {
        if (FHandleAllocated) {
            if (win->FHandleAllocated) win->RecreateWnd();
            win->CreateHandle();
        } else if (win->FHandleAllocated) {
            win->DestroyHandle();
        }
    }
    if (AControl->Align() != alNone) Realign();
    AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
    auto it = std::find(FControls.begin(), FControls.end(), AControl);
    if (it == FControls.end()) return;
    AControl->Invalidate();
    // The form forgets a focused control that leaves it with this child.
    if (TForm* form = GetParentForm(this))
        for (TControl* c = form->FocusedControl(); c != nullptr; c = c->Parent())
            if (c == AControl) form->SetFocusedControl(nullptr);
    FControls.erase(it);
    AControl->FParent = nullptr;
    if (FMouseControl == AControl) FMouseControl = nullptr;
    // The child's window lives inside this one's: it cannot outlive the link.
    if (auto* win = dynamic_cast<TWinControl*>(AControl)) win->DestroyHandle();
    if (AControl->Align() != alNone && !InState(csDestroying)) Realign();
}

void TWinControl::AlignControlsIn(int32_t& X, int32_t& Y, int32_t& W, int32_t& H, TAlign Which) {
    for (TControl* c : FControls) {
        if (c->Align() != Which || !c->Visible()) continue;
        switch (Which) {
        case alTop:
            c->SetBounds(X, Y, W, c->Height());
            Y += c->Height();
            H -= c->Height();
            break;
        case alBottom:
            c->SetBounds(X, Y + H - c->Height(), W, c->Height());
            H -= c->Height();
            break;
        case alLeft:
            c->SetBounds(X, Y, c->Width(), H);
            X += c->Width();
            W -= c->Width();
            break;
        case alRight:
            c->SetBounds(X + W - c->Width(), Y, c->Width(), H);
            W -= c->Width();
            break;
        case alClient:
            c->SetBounds(X, Y, W, H);
            break;
        default:
            break;
        }
        W = std::max(W, 0);
        H = std::max(H, 0);
    }
}

void TWinControl::BringToFront() {
    if (FWindow->Frame != nullptr) FWindow->Frame->raise();
}

void TWinControl::SetPadding(const TPadding& Value) {
    FPadding = Value;
    Realign();
}

void TWinControl::Realign() {
    if (InState(csDestroying)) return;
    int32_t x = FPadding.Left, y = FPadding.Top;
    int32_t w = std::max(0, ClientWidth() - FPadding.Left - FPadding.Right);
    int32_t h = std::max(0, ClientHeight() - FPadding.Top - FPadding.Bottom);
    for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient})
        AlignControlsIn(x, y, w, h, a);
}

bool TWinControl::Focused() {
    return FHandleAllocated && GetFocus() == FWindow->Handle;
}

bool TWinControl::CanFocus() {
    for (TControl* c = this; c != nullptr; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EComponentError(u"Cannot focus a disabled or invisible window");
    HWND wnd = Handle();
    platform::detail::FocusChanged(wnd, true);
    if (FWindow->Client != nullptr) FWindow->Client->setFocus(Qt::OtherFocusReason);
}

void TWinControl::SetCtl3D(bool Value) {
    if (Value == FCtl3D) return;
    FCtl3D = Value;
    ParentCtl3D = false;
}

void TWinControl::Invalidate() {
    if (FHandleAllocated) FWindow->InvalidateRegion(QRegion(0, 0, ClientWidth(), ClientHeight()));
}

void TWinControl::InvalidateRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    if (FHandleAllocated && Right > Left && Bottom > Top)
        FWindow->InvalidateRegion(QRegion(Left, Top, Right - Left, Bottom - Top));
}

void TWinControl::Update() {
    if (FHandleAllocated) FWindow->PaintNow();
}

void TWinControl::SetCursor(TCursor Value) {
    TControl::SetCursor(Value);
    if (FWindow->Client != nullptr) FWindow->Client->setCursor(platform::detail::ToQtCursor(Value));
}

void TWinControl::BoundsChanged(bool Resized) {
    if (FHandleAllocated) {
        FWindow->Layout();
        SendSize();
    } else if (Resized && !InState(csLoading)) {
        Resize();
    }
    if (FParent != nullptr && Visible()) FParent->Invalidate();
}

void TWinControl::SetVisible(bool Value) {
    TControl::SetVisible(Value);
    if (FWindow->Frame != nullptr) FWindow->Frame->setVisible(Value);
}

void TWinControl::SetEnabled(bool Value) {
    TControl::SetEnabled(Value);
    if (FWindow->Frame != nullptr) FWindow->Frame->setEnabled(Value);
}

void TWinControl::NonClientChanged() {
    if (!FHandleAllocated) return;
    FWindow->Layout();
    SendSize();
}

void TWinControl::SendSize() {
    const int32_t w = ClientWidth();
    const int32_t h = ClientHeight();
    if (w == FLastClientWidth && h == FLastClientHeight) return;
    FLastClientWidth = w;
    FLastClientHeight = h;
    FWindow->ResizeSurface(w, h);
    Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(w, h));
}

TControl* TWinControl::ControlAtPos(TPoint Pos, bool AllowDisabled, bool AllowWinControls) const {
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TControl* c = *it;
        if (!AllowWinControls && dynamic_cast<TWinControl*>(c) != nullptr) continue;
        if (!c->Visible() || (!c->Enabled() && !AllowDisabled)) continue;
        if (Pos.X >= c->Left() && Pos.Y >= c->Top() && Pos.X < c->Left() + c->Width() &&
            Pos.Y < c->Top() + c->Height())
            return c;
    }
    return nullptr;
}

void TWinControl::WndProc(TMessage& Message) {
    if (Message.Msg == WM_MOUSEMOVE) {
        const TPoint p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
        TrackMouseControl(ControlAtPos(p, true));
    } else if (Message.Msg == CM_MOUSELEAVE && Message.LParam == 0) {
        TrackMouseControl(nullptr);
    }
    if (Message.Msg >= WM_MOUSEMOVE && Message.Msg <= WM_MBUTTONDBLCLK &&
        IsControlMouseMsg(Message))
        return;
    TControl::WndProc(Message);
}

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
    TControl* target = nullptr;
    if (CaptureControl != nullptr) {
        if (CaptureControl->Parent() != this) return false;
        target = CaptureControl;
    } else if (GetCapture() == nullptr || GetCapture() != FWindow->Handle) {
        target = ControlAtPos({GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)}, false);
    }
    if (target == nullptr) return false;
    const int32_t x = GET_X_LPARAM(Message.LParam) - target->Left();
    const int32_t y = GET_Y_LPARAM(Message.LParam) - target->Top();
    Message.Result = target->Perform(Message.Msg, Message.WParam, MAKELPARAM(x, y));
    return true;
}

void TWinControl::TrackMouseControl(TControl* Control) {
    if (Control == FMouseControl) return;
    TControl* old = FMouseControl;
    FMouseControl = Control;
    if (old != nullptr) old->Perform(CM_MOUSELEAVE, 0, 0);
    if (Control != nullptr) Control->Perform(CM_MOUSEENTER, 0, 0);
}

void TWinControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_SIZE:
        Realign();
        if (!InState(csLoading)) Resize();
        break;
    case WM_SETFOCUS:
        TakeFocus();
        break;
    case WM_KILLFOCUS:
        // A control on a form exits only when another control of its form takes the focus; a
        // control that is being destroyed does not exit.
        if (GetParentForm(this) == nullptr && !InState(csDestroying)) DoExit();
        break;
    case WM_KEYDOWN:
        Message.Result = DoKeyDown(Message) ? 1 : 0;
        break;
    case WM_KEYUP: {
        uint16_t key = static_cast<uint16_t>(Message.WParam);
        KeyUp(key, KeyboardShiftState());
        break;
    }
    case WM_CHAR: {
        char16_t key = static_cast<char16_t>(Message.WParam);
        KeyPress(key);
        Message.Result = key == 0 ? 1 : 0;
        break;
    }
    case WM_PAINT:
        PaintHandler(Message);
        break;
    case WM_ERASEBKGND:
        platform::detail::FillSurface(*FWindow, Color());
        Message.Result = 1;
        break;
    case WM_NCCALCSIZE:
        NonClientChanged();
        break;
    case CM_WANTSPECIALKEY:
    case WM_GETDLGCODE:
        Message.Result = 0;
        break;
    default:
        TControl::Dispatch(Message);
        break;
    }
}

bool TWinControl::DoKeyDown(TMessage& Message) {
    uint16_t key = static_cast<uint16_t>(Message.WParam);
    const TShiftState shift = KeyboardShiftState();
    TWinControl* top = this;
    while (top->Parent() != nullptr)
        top = top->Parent();
    if (top->PreviewKeyDown(this, key, shift, Message.LParam) || key == 0) return true;
    KeyDown(key, shift);
    return key == 0;
}

bool TWinControl::PreviewKeyDown(TWinControl*, uint16_t&, TShiftState, LPARAM) {
    return false;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char16_t& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::TakeFocus() {
    TForm* form = GetParentForm(this);
    if (form == nullptr) return DoEnter();
    TWinControl* previous = form->FocusedControl();
    if (previous == this) return;
    // The form has no focused control while the one before exits: an exit handler that moves
    // the focus on makes that control the focused one, with its own enter, and this one none.
    form->SetFocusedControl(nullptr);
    if (previous != nullptr) previous->DoExit();
    if (form->FocusedControl() != nullptr) return;
    form->SetFocusedControl(this);
    DoEnter();
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::PaintHandler(TMessage& Message) {
    Perform(WM_ERASEBKGND, 0, 0);
    PaintWindow();
    PaintControls();
    Message.Result = 0;
}

void TWinControl::PaintControls() {
    for (TControl* c : FControls)
        if (dynamic_cast<TWinControl*>(c) == nullptr && c->Visible()) c->Perform(WM_PAINT, 0, 0);
}

// ---- TCustomControl, TGraphicControl -------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}

TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() {
    if (!FCanvas) FCanvas = std::make_unique<TCanvas>();
    // The surface is made anew when the client area changes size: bind to the current one.
    FCanvas->SetHandle(HandleAllocated() ? NativeWindow()->SurfaceDC() : nullptr);
    return FCanvas.get();
}

void TCustomControl::PaintWindow() {
    Paint();
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}

HDC TGraphicControl::ParentSurface() {
    if (Parent() == nullptr || !Parent()->HandleAllocated()) return nullptr;
    return Parent()->NativeWindow()->SurfaceDC();
}

void TGraphicControl::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_PAINT) {
        Paint();
        return;
    }
    TControl::Dispatch(Message);
}
