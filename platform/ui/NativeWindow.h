// Shared inside platform/ui only: the toolkit widgets behind a control's window, the retained
// client-sized surface the control paints into, and the translation of toolkit events into
// window messages.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/ui/Controls.h"
#include "platform/ui/WinUser.h"

#include <QCursor>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <optional>

class QScrollBar;

namespace platform::detail {

class TQtFrame;
class TQtClient;

// Non-client layout of a window: border thickness and which scroll bars take room.
struct TNonClient {
    int32_t Border = 0;
    bool HScroll = false;
    bool VScroll = false;
};

// A client-sized 32-bit DIB section, rows top-down, selected into its own memory device context
// of the drawing layer.
struct TRetainedSurface {
    TRetainedSurface(int32_t AWidth, int32_t AHeight);
    ~TRetainedSurface();
    TRetainedSurface(const TRetainedSurface&) = delete;
    TRetainedSurface& operator=(const TRetainedSurface&) = delete;
    bool Valid() const { return Bits != nullptr; }
    // The pixels as a toolkit image (no copy); null when the surface has none.
    QImage Image() const;

    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Previous = nullptr;
    void* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Lives as long as its control (so that the handle and posted messages survive re-creation);
// the widgets exist only while the window does.
struct TNativeWindow {
    explicit TNativeWindow(TWinControl* AControl) : Control(AControl) {}
    ~TNativeWindow();

    TWinControl* Control;
    // The window record, made with the first window and kept until the control goes.
    HWND Handle = nullptr;
    TQtFrame* Frame = nullptr; // owns Client and the scroll bars
    TQtClient* Client = nullptr;
    QScrollBar* Bars[2] = {nullptr, nullptr}; // SB_HORZ, SB_VERT
    TCreateParams Params;
    TNonClient NonClient;
    // What the control painted last: shown by every toolkit paint, drawn into by painting
    // inside and outside WM_PAINT alike.
    std::unique_ptr<TRetainedSurface> Surface;
    // The surface's device context was handed out (GetDC, a canvas): the next round of the
    // message loop shows the surface again.
    bool SurfaceHandedOut = false;
    // Client area waiting for WM_PAINT (the window's update region).
    QRegion Invalid;
    // Region being painted while WM_PAINT runs.
    QRegion Painting;
    // The face of a layered window (premultiplied, its constant alpha applied): shown in place
    // of the surface while set.
    QImage Layered;
    bool InPaintEvent = false;

    void Create(const TCreateParams& AParams, QWidget* ParentWidget);
    void Destroy();
    bool Exists() const { return Frame != nullptr; }
    // Places the widgets after a bounds or non-client change.
    void Layout();
    void ResizeSurface(int32_t Width, int32_t Height);
    QRect SurfaceRect() const;
    // The surface's device context, marked as handed out; nil while the window has none.
    HDC SurfaceDC();
    void InvalidateRegion(const QRegion& Region);
    // Shows the record's state of a scroll bar; a bar that appears or vanishes changes the
    // client area.
    void ShowScrollBarState(int32_t Bar);
    const TScrollBarState& BarState(int32_t Bar) const;
    // Sends WM_PAINT for the invalid part now, when there is one.
    void PaintNow();
    // The toolkit must show the surface again (drawn into outside WM_PAINT).
    void ShowSurface();
    QWidget* ClientWidget() const;
};

// The whole window: border, scroll bars and the client widget.
class TQtFrame : public QWidget {
public:
    TQtFrame(TNativeWindow* AWindow, QWidget* AParent);
    TNativeWindow* Window() const { return FWindow; }
    // The window is gone: events are ignored until the toolkit deletes the widget.
    void Detach() { FWindow = nullptr; }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void moveEvent(QMoveEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    TNativeWindow* FWindow;
};

// The client area: shows the surface and turns input into messages.
class TQtClient : public QWidget {
public:
    TQtClient(TNativeWindow* AWindow, QWidget* AParent);
    void Detach() { FWindow = nullptr; }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    bool focusNextPrevChild(bool Next) override;

private:
    void SendMouse(UINT Msg, QMouseEvent* Event);
    TNativeWindow* FWindow;
};

// The window shows per-pixel alpha from now on (a top-level window only).
void MakeLayered(TNativeWindow& Window);
// Shows again the surfaces whose device context was handed out since the last round.
void ShowHandedOutSurfaces();
// The native window of a handle, or nullptr.
TNativeWindow* NativeWindowOf(HWND Wnd);
// Fills the whole surface of a window with a colour.
void FillSurface(TNativeWindow& Window, TColor Color);
// The toolkit cursor of a cursor id of the screen, and of a cursor handle.
QCursor ToQtCursor(TCursor Cursor);
QCursor CursorOf(HCURSOR Cursor);
// Keeps the focus window in line when the toolkit moves the keyboard focus.
void FocusChanged(HWND Wnd, bool Gained);
// A toolkit widget that stands for Control's client area takes the focus for it: the client
// widget hands its focus on to Widget, and Widget's focus changes are Control's.
void TakeFocusFor(QWidget* Widget, TWinControl* Control);
// The MK_ bits of a mouse message for the toolkit's buttons and modifiers.
WPARAM MouseKeys(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers);
// Modifier keys of the key message being handled: GetKeyState answers from them while set.
extern std::optional<Qt::KeyboardModifiers> MessageModifiers;
// Sets MessageModifiers for the life of the scope.
class TKeyMessageScope {
public:
    explicit TKeyMessageScope(Qt::KeyboardModifiers Modifiers) : FOld(MessageModifiers) {
        MessageModifiers = Modifiers;
    }
    ~TKeyMessageScope() { MessageModifiers = FOld; }
    TKeyMessageScope(const TKeyMessageScope&) = delete;
    TKeyMessageScope& operator=(const TKeyMessageScope&) = delete;

private:
    std::optional<Qt::KeyboardModifiers> FOld;
};
// Virtual key code of a toolkit key; 0 when it has none.
uint16_t VirtualKeyOf(int QtKey, bool Keypad);

} // namespace platform::detail
