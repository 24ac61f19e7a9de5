// Controls of the class library: bounds, parent and children, alignment, visibility, focus,
// message dispatch by number, windows that exist once allocated, and painting.
#pragma once

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Color.h"
#include "platform/ui/Component.h"
#include "platform/ui/Messages.h"

#include <functional>
#include <memory>
#include <vector>

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
// Border styles of forms; a control's TBorderStyle uses the first two.
enum TFormBorderStyle : uint8_t {
    bsNone,
    bsSingle,
    bsSizeable,
    bsDialog,
    bsToolWindow,
    bsSizeToolWin
};
using TBorderStyle = TFormBorderStyle;

// Shift state: keys and mouse buttons held during an input message.
enum TShiftStateFlag : uint16_t {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = uint16_t;
// The shift state packed in the key-state bits of a mouse message's wParam.
TShiftState KeysToShiftState(WPARAM Keys);
// The shift state of the keyboard now (Shift, Ctrl, Alt).
TShiftState KeyboardShiftState();

// The answer of a modal form: set by a button or the code, it ends ShowModal.
using TModalResult = int32_t;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;

// Cursor ids: the predefined ones are negative, a program registers its own in Screen.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// TControl::ControlStyle flags.
enum TControlStyleFlag : uint32_t {
    csAcceptsControls = 1u << 0,
    csCaptureMouse = 1u << 1,
    csDesignInteractive = 1u << 2,
    csClickEvents = 1u << 3,
    csFramed = 1u << 4,
    csSetCaption = 1u << 5,
    csOpaque = 1u << 6,
    csDoubleClicks = 1u << 7,
    csFixedWidth = 1u << 8,
    csFixedHeight = 1u << 9,
    csNoDesignVisible = 1u << 10,
    csReplicatable = 1u << 11,
    csNoStdEvents = 1u << 12,
};
using TControlStyle = uint32_t;

// TControl::ControlState flags.
enum TControlStateFlag : uint32_t {
    // A left press started a click: the release inside the control raises Click.
    csClicked = 1u << 0,
};
using TControlState = uint32_t;

// Window styles, extended styles and window-class styles that controls put in CreateParams.
constexpr uint32_t WS_OVERLAPPED = 0x00000000;
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_DISABLED = 0x08000000;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_HSCROLL = 0x00100000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_THICKFRAME = 0x00040000;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
constexpr uint32_t WS_EX_TRANSPARENT = 0x00000020;
constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
constexpr uint32_t WS_EX_LAYERED = 0x00080000;
constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;
constexpr uint32_t CS_DBLCLKS = 0x0008;
constexpr uint32_t CS_DROPSHADOW = 0x00020000;

struct TWndClass {
    uint32_t style = 0;
};

// What CreateParams hands to window creation.
struct TCreateParams {
    String Caption;
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    HWND WndParent = nullptr;
    TWndClass WindowClass;
};

class TWinControl;
class TPopupMenu;

// Room kept free inside a window's client area by the aligned child controls.
struct TPadding {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift,
                                       int32_t X, int32_t Y)>;
using TMouseMoveEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;
// MouseX, MouseY: the mouse in screen coordinates.
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t WheelDelta,
                                            int32_t MouseX, int32_t MouseY, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift,
                                                  int32_t MouseX, int32_t MouseY, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;

// A control has bounds in its parent's client coordinates and receives messages through
// Perform: WindowProc (replaceable, WndProc by default) and then Dispatch, which each class
// overrides to handle messages by number, passing the others to its base's Dispatch.
class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    int32_t Left() const { return FLeft; }
    // Left, top, right and bottom in the parent's client coordinates (the screen's for a form).
    TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetLeft(int32_t Value) { SetBounds(Value, FTop, FWidth, FHeight); }
    void SetTop(int32_t Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
    void SetWidth(int32_t Value) { SetBounds(FLeft, FTop, Value, FHeight); }
    void SetHeight(int32_t Value) { SetBounds(FLeft, FTop, FWidth, Value); }
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    // Size of the client area: the whole control here, less border and scroll bars in a window.
    virtual int32_t ClientWidth();
    virtual int32_t ClientHeight();
    void SetClientSize(int32_t AWidth, int32_t AHeight);
    // Client origin of this control in screen coordinates.
    virtual void ClientOrigin(int32_t& X, int32_t& Y);
    void ClientToScreen(int32_t& X, int32_t& Y);
    void ScreenToClient(int32_t& X, int32_t& Y);

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool Value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so is every parent up to the top.
    bool Showing();
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TCursor Cursor() const { return FCursor; }
    virtual void SetCursor(TCursor Value);

    // The menu that a right click on the control shows; a control without one leaves the click
    // to its parent's.
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* Value);

    // The tip text of the control.
    String Hint;
    bool ShowHint = false;

    TControlStyle ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    TControlState ControlState() const { return FControlState; }
    void SetControlState(TControlState Value) { FControlState = Value; }
    // A window-less control holds the capture through its parent's window: the parent hands it
    // every mouse message until it is released.
    bool MouseCapture();
    void SetMouseCapture(bool Value);

    // Sends a message to this control at once and answers its result.
    LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
    std::function<void(TMessage&)> WindowProc;
    virtual void WndProc(TMessage& Message);
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message);

    // Marks the whole control for repainting by the next paint.
    virtual void Invalidate();
    // Runs a pending paint now.
    virtual void Update();
    void Repaint();

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TMouseWheelEvent OnMouseWheel;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

protected:
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void Click();
    virtual void DblClick();
    virtual void Resize();
    // The class library's wheel handling: OnMouseWheel, then OnMouseWheelUp/Down; true when
    // a handler took the notch.
    virtual bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, int32_t MouseX,
                              int32_t MouseY);
    // Bounds changed: the window (if any) follows and the parent realigns.
    virtual void BoundsChanged(bool Resized);
    virtual void VisibleChanging() {}
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void HandleMouseButton(TMessage& Message, TMouseButton Button, bool Down, bool Double);
    void ContextMenu(TMessage& Message);
    void HandleMouseMove(TMessage& Message);

    int32_t FLeft = 0;
    int32_t FTop = 0;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    TWinControl* FParent = nullptr;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    TColor FColor = clWindow;
    TCursor FCursor = crDefault;
    TControlState FControlState = 0;
    TPopupMenu* FPopupMenu = nullptr;

    friend class TWinControl;
};

namespace platform::detail {
struct TNativeWindow;
}

// A control with a window of its own. The window (Handle) is made when first asked for and
// lives until the control goes or re-creates it; HandleAllocated never makes one.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    HWND Handle();
    bool HandleAllocated() const { return FHandleAllocated; }
    void HandleNeeded();
    // Destroys the window now; the next Handle makes a new one with fresh CreateParams.
    void RecreateWnd();
    // A window outside the control tree to show this control in (no parent control).
    HWND ParentWindow() const { return FParentWindow; }
    void SetParentWindow(HWND Value);

    int32_t ClientWidth() override;
    int32_t ClientHeight() override;
    void ClientOrigin(int32_t& X, int32_t& Y) override;

    int32_t ControlCount() const { return static_cast<int32_t>(FControls.size()); }
    TControl* Controls(int32_t Index) const;
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);
    // Puts the window on top of its siblings (a top-level window on top of the desktop's).
    void BringToFront();
    // Lays out the aligned child controls over the client area, inside Padding.
    void Realign();
    // The topmost visible child under a client point: window-less ones only unless
    // AllowWinControls, enabled ones only unless AllowDisabled; nil for none.
    TControl* ControlAtPos(TPoint Pos, bool AllowDisabled, bool AllowWinControls = false) const;
    const TPadding& Padding() const { return FPadding; }
    void SetPadding(const TPadding& Value);

    bool Focused();
    virtual bool CanFocus();
    virtual void SetFocus();
    bool TabStop = false;

    bool Ctl3D() const { return FCtl3D; }
    virtual void SetCtl3D(bool Value);
    bool ParentCtl3D = true;

    void Invalidate() override;
    void Update() override;
    // Marks part of the client area (client coordinates, right and bottom exclusive).
    void InvalidateRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void SetCursor(TCursor Value) override;
    void SetVisible(bool Value) override;
    void SetEnabled(bool Value) override;

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // Window-layer state behind the handle (toolkit widgets, retained surface); internal.
    platform::detail::TNativeWindow* NativeWindow() const { return FWindow.get(); }

protected:
    virtual void CreateParams(TCreateParams& Params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    void CreateHandle();
    void DestroyHandle();
    virtual void KeyDown(uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(char16_t& Key);
    // A key pressed in Source, a control inside this top-level one, before Source sees it (a
    // form's shortcuts and key preview); true when the key was used up here.
    virtual bool PreviewKeyDown(TWinControl* Source, uint16_t& Key, TShiftState Shift,
                                LPARAM KeyData);
    virtual void DoEnter();
    virtual void DoExit();
    // WM_SETFOCUS: the control becomes its form's focused control, the one before it exits
    // and this one enters.
    void TakeFocus();
    // The class library's WM_PAINT handling: erase, PaintWindow, then the window-less children.
    virtual void PaintHandler(TMessage& Message);
    virtual void PaintWindow() {}
    void BoundsChanged(bool Resized) override;
    // Non-client layout changed (border, scroll bars): the client area follows, WM_SIZE tells.
    void NonClientChanged();
    // True while the control destroys its window to make a new one.
    bool Recreating() const { return FRecreating; }

private:
    void AlignControlsIn(int32_t& X, int32_t& Y, int32_t& W, int32_t& H, TAlign Which);
    void SendSize();
    bool DoKeyDown(TMessage& Message);
    void PaintControls();
    // Hands a mouse message to the window-less child holding the capture or under the mouse;
    // true when one took it.
    bool IsControlMouseMsg(TMessage& Message);
    // Tells the window-less children the mouse entered and left (CM_MOUSEENTER/LEAVE).
    void TrackMouseControl(TControl* Control);

    std::vector<TControl*> FControls;
    TControl* FMouseControl = nullptr;
    TPadding FPadding;
    std::unique_ptr<platform::detail::TNativeWindow> FWindow;
    HWND FParentWindow = nullptr;
    bool FHandleAllocated = false;
    bool FRecreating = false;
    bool FCtl3D = true;
    int32_t FLastClientWidth = -1;
    int32_t FLastClientHeight = -1;

    friend class TControl;
};

// A control that paints itself in Paint, through its own window.
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    // Draws on the window's retained surface, inside and outside Paint alike; what is drawn
    // shows with the window's next paint. Detached (draws nowhere) while no window exists.
    TCanvas* Canvas();

protected:
    virtual void Paint() {}
    void PaintWindow() override;

private:
    std::unique_ptr<TCanvas> FCanvas;
};

// A control without a window; it paints on its parent's window, in its own bounds.
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* AOwner);
    void Dispatch(TMessage& Message) override;

protected:
    virtual void Paint() {}
    // The device context of the parent's retained surface, in the parent's client coordinates;
    // nil while the parent has no window.
    HDC ParentSurface();
};

// The control under a screen point: the innermost window there, or its window-less child under
// the point; disabled controls too with AllowDisabled. nil where no window of ours is.
TControl* FindDragTarget(TPoint Pos, bool AllowDisabled);

// The mouse capture: the window that receives every mouse message until released.
HWND GetCapture();
HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
// The window that has the keyboard focus.
HWND GetFocus();
