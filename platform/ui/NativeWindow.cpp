// Toolkit widgets behind control windows: layout of border, scroll bars and client area, the
// retained surface, and toolkit events turned into window messages.
#include "platform/ui/NativeWindow.h"

#include "platform/ui/DragDrop.h"
#include "platform/ui/Forms.h"
#include "platform/ui/UiInternal.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <array>

namespace platform::detail {

namespace {

QColor ToQColor(TColor Color) {
    const TColor rgb = ColorToRGB(Color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// Message numbers of a button: down, up, double click.
struct TButtonMessages {
    UINT Down, Up, Double;
};

bool ButtonMessages(Qt::MouseButton Button, TButtonMessages& Out) {
    switch (Button) {
    case Qt::LeftButton:
        Out = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
        return true;
    case Qt::RightButton:
        Out = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK};
        return true;
    case Qt::MiddleButton:
        Out = {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK};
        return true;
    default:
        return false;
    }
}

// Keys that a dialog uses for navigation unless the focused control asks for them.
bool IsSpecialKey(uint16_t Key) {
    switch (Key) {
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_RETURN:
    case VK_ESCAPE:
        return true;
    default:
        return false;
    }
}

bool FormShortCut(TWinControl* Control, uint16_t Key, LPARAM Data) {
    TForm* form = GetParentForm(Control);
    if (form == nullptr) return false;
    TWMKey message{WM_KEYDOWN, Key, Data, 0};
    return form->IsShortCut(message);
}

LPARAM KeyData(const QKeyEvent* Event) {
    LPARAM data = 1; // repeat count
    if (Event->isAutoRepeat()) data |= LPARAM(1) << 30;
    if (Event->modifiers() & Qt::AltModifier) data |= LPARAM(1) << 29;
    return data;
}

void DrawSunkenEdge(QPainter& Painter, const QRect& R) {
    // Outer: shadow at the top left, highlight at the bottom right; inner: dark shadow and
    // light. Each line stops short of its end point, as window edges are drawn.
    const auto frame = [&](const QRect& r, TColor TopLeft, TColor BottomRight) {
        Painter.setPen(ToQColor(TopLeft));
        Painter.drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
        Painter.drawLine(r.left(), r.top(), r.right() - 1, r.top());
        Painter.setPen(ToQColor(BottomRight));
        Painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        Painter.drawLine(r.right(), r.bottom(), r.right(), r.top());
    };
    frame(R, clBtnShadow, clBtnHighlight);
    frame(R.adjusted(1, 1, -1, -1), cl3DDkShadow, cl3DLight);
}

} // namespace

WPARAM MouseKeys(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers) {
    WPARAM keys = 0;
    if (Buttons & Qt::LeftButton) keys |= MK_LBUTTON;
    if (Buttons & Qt::RightButton) keys |= MK_RBUTTON;
    if (Buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
    if (Modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (Modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
    return keys;
}

// ---- TRetainedSurface ----------------------------------------------------------------------

TRetainedSurface::TRetainedSurface(int32_t AWidth, int32_t AHeight) {
    if (AWidth <= 0 || AHeight <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biWidth = AWidth;
    info.bmiHeader.biHeight = -AHeight; // top-down, as the toolkit's images
    info.bmiHeader.biBitCount = 32;
    Dc = CreateCompatibleDC(nullptr);
    Bitmap = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    if (Dc == nullptr || Bitmap == nullptr || Bits == nullptr) {
        Bits = nullptr;
        return;
    }
    Previous = SelectObject(Dc, Bitmap);
    Width = AWidth;
    Height = AHeight;
}

TRetainedSurface::~TRetainedSurface() {
    if (Dc != nullptr && Previous != nullptr) SelectObject(Dc, Previous);
    if (Bitmap != nullptr) DeleteObject(Bitmap);
    if (Dc != nullptr) DeleteDC(Dc);
}

QImage TRetainedSurface::Image() const {
    if (Bits == nullptr) return QImage();
    return QImage(static_cast<uchar*>(Bits), Width, Height, Width * 4, QImage::Format_RGB32);
}

// ---- TNativeWindow -------------------------------------------------------------------------

TNativeWindow::~TNativeWindow() {
    Destroy();
    ReleaseWindowHandle(Handle);
}

const TScrollBarState& TNativeWindow::BarState(int32_t Bar) const {
    return Bar == SB_HORZ ? Handle->Horz : Handle->Vert;
}

void ScrollBarChanged(TNativeWindow& Window, int32_t Bar) {
    Window.ShowScrollBarState(Bar);
}

QWidget* TNativeWindow::ClientWidget() const {
    return Client;
}

void TNativeWindow::Create(const TCreateParams& AParams, QWidget* ParentWidget) {
    Params = AParams;
    if (Handle == nullptr) Handle = AllocateWindowHandle();
    const bool child = (Params.Style & WS_CHILD) != 0;
    NonClient.Border = (Params.ExStyle & WS_EX_CLIENTEDGE)     ? 2
                       : (child && (Params.Style & WS_BORDER)) ? 1
                                                               : 0;
    // A new window has new scroll bars.
    Handle->Horz = TScrollBarState{};
    Handle->Vert = TScrollBarState{};
    Handle->Horz.Visible = (Params.Style & WS_HSCROLL) != 0;
    Handle->Vert.Visible = (Params.Style & WS_VSCROLL) != 0;
    NonClient.HScroll = Handle->Horz.Visible;
    NonClient.VScroll = Handle->Vert.Visible;

    Frame = new TQtFrame(this, child ? ParentWidget : nullptr);
    if (!child) {
        Qt::WindowFlags flags = Qt::Window;
        if ((Params.Style & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
        if (Params.ExStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
        if (Params.ExStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
        // A window that takes no input floats over the others as a tip does: outside the
        // window manager's placement and focus.
        if (Params.ExStyle & WS_EX_TRANSPARENT)
            flags |= Qt::ToolTip | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus;
        Frame->setWindowFlags(flags);
        if (Params.ExStyle & WS_EX_TRANSPARENT) Frame->setAttribute(Qt::WA_ShowWithoutActivating);
        if (Params.ExStyle & WS_EX_LAYERED) MakeLayered(*this);
        Frame->setWindowTitle(QString::fromStdU16String(Params.Caption));
    }
    Client = new TQtClient(this, Frame);
    for (int32_t bar : {SB_HORZ, SB_VERT}) {
        auto* scroll = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, Frame);
        Bars[bar] = scroll;
        TQtFrame* frame = Frame;
        const UINT msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
        QObject::connect(scroll, &QAbstractSlider::actionTriggered, scroll, [=](int Action) {
            TNativeWindow* w = frame->Window();
            if (w == nullptr) return;
            WPARAM code = SB_ENDSCROLL;
            switch (Action) {
            case QAbstractSlider::SliderSingleStepAdd:
                code = SB_LINEDOWN;
                break;
            case QAbstractSlider::SliderSingleStepSub:
                code = SB_LINEUP;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = SB_PAGEDOWN;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = SB_PAGEUP;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = SB_TOP;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = SB_BOTTOM;
                break;
            case QAbstractSlider::SliderMove:
                code = SB_THUMBTRACK;
                break;
            default:
                return;
            }
            const int32_t pos = code == SB_THUMBTRACK ? scroll->sliderPosition() : 0;
            w->Control->Perform(msg, MAKEWPARAM(static_cast<int32_t>(code), pos), 0);
            if (code != SB_THUMBTRACK) w->Control->Perform(msg, SB_ENDSCROLL, 0);
            // The program moves the thumb itself (SetScrollPos); the toolkit must not.
            if (frame->Window() != nullptr && code != SB_THUMBTRACK)
                scroll->setSliderPosition(w->BarState(bar).Pos);
        });
        QObject::connect(scroll, &QAbstractSlider::sliderReleased, scroll, [=] {
            TNativeWindow* w = frame->Window();
            if (w == nullptr) return;
            const int32_t pos = scroll->sliderPosition();
            w->Control->Perform(msg, MAKEWPARAM(static_cast<int32_t>(SB_THUMBPOSITION), pos), 0);
            w->Control->Perform(msg, SB_ENDSCROLL, 0);
            if (frame->Window() != nullptr) scroll->setSliderPosition(w->BarState(bar).Pos);
        });
    }
    Surface.reset();
    Invalid = QRegion();
    Handle->Native = this;
    Layout();
    Frame->setVisible(Control->Visible() && (child || (Params.Style & WS_VISIBLE)));
    Client->setCursor(ToQtCursor(Control->Cursor()));
    AttachDropTarget(*this);
}

void TNativeWindow::Destroy() {
    if (Frame == nullptr) return;
    Handle->Native = nullptr;
    // The toolkit may be inside one of the widgets' own event handlers: detach them now and
    // let the toolkit delete them when it is back in its loop.
    Frame->Detach();
    Client->Detach();
    Frame->hide();
    if (!Frame->isWindow()) Frame->setParent(nullptr);
    Frame->deleteLater();
    Frame = nullptr;
    Client = nullptr;
    Bars[SB_HORZ] = Bars[SB_VERT] = nullptr;
    Surface.reset();
    Invalid = QRegion();
    Layered = QImage();
}

void MakeLayered(TNativeWindow& Window) {
    if (Window.Frame == nullptr || !Window.Frame->isWindow()) return;
    Window.Frame->setAttribute(Qt::WA_TranslucentBackground);
    Window.Client->setAttribute(Qt::WA_TranslucentBackground);
}

void TNativeWindow::Layout() {
    if (Frame == nullptr) return;
    if (Frame->isWindow()) {
        if (Frame->pos() != QPoint(Control->Left(), Control->Top()))
            Frame->move(Control->Left(), Control->Top());
        if (Frame->size() != QSize(Control->Width(), Control->Height()))
            Frame->resize(Control->Width(), Control->Height());
    } else {
        Frame->setGeometry(Control->Left(), Control->Top(), Control->Width(), Control->Height());
    }
    const int32_t b = NonClient.Border;
    const int32_t cw = Control->ClientWidth();
    const int32_t ch = Control->ClientHeight();
    Client->setGeometry(b, b, cw, ch);
    Bars[SB_HORZ]->setGeometry(b, b + ch, cw, GetSystemMetrics(SM_CYHSCROLL));
    Bars[SB_HORZ]->setVisible(NonClient.HScroll);
    Bars[SB_VERT]->setGeometry(b + cw, b, GetSystemMetrics(SM_CXVSCROLL), ch);
    Bars[SB_VERT]->setVisible(NonClient.VScroll);
    Frame->update();
}

void TNativeWindow::ShowScrollBarState(int32_t Bar) {
    if (Bar != SB_HORZ && Bar != SB_VERT) return;
    const TScrollBarState& state = BarState(Bar);
    if (QScrollBar* scroll = Bars[Bar]) {
        const QSignalBlocker block(scroll);
        // The system's thumb runs from Min to Max - Page + 1.
        const int32_t top =
            state.Page > 0 ? std::max(state.Min, state.Max - int32_t(state.Page) + 1) : state.Max;
        scroll->setRange(state.Min, top);
        scroll->setPageStep(std::max<int32_t>(1, static_cast<int32_t>(state.Page)));
        scroll->setSingleStep(1);
        scroll->setSliderPosition(state.Pos);
        scroll->setValue(state.Pos);
        scroll->setEnabled(state.Disabled != ESB_DISABLE_BOTH);
    }
    bool& shown = Bar == SB_HORZ ? NonClient.HScroll : NonClient.VScroll;
    if (Frame != nullptr && shown != state.Visible) {
        shown = state.Visible;
        Control->Perform(WM_NCCALCSIZE, 0, 0);
    }
}

QRect TNativeWindow::SurfaceRect() const {
    return Surface ? QRect(0, 0, Surface->Width, Surface->Height) : QRect();
}

HDC TNativeWindow::SurfaceDC() {
    if (!Surface || !Surface->Valid()) return nullptr;
    SurfaceHandedOut = true;
    return Surface->Dc;
}

void TNativeWindow::ResizeSurface(int32_t Width, int32_t Height) {
    if (Surface && Surface->Width == Width && Surface->Height == Height) return;
    const QRect old = SurfaceRect();
    auto next = std::make_unique<TRetainedSurface>(Width, Height);
    QImage image = next->Image();
    if (!image.isNull()) {
        image.fill(ToQColor(Control->Color()));
        if (Surface && Surface->Valid()) {
            QPainter painter(&image);
            painter.drawImage(0, 0, Surface->Image());
        }
    }
    Surface = std::move(next);
    // With the redraw class styles a size change repaints everything; without them only the
    // part that was not there before.
    QRegion fresh(SurfaceRect());
    if (!(Params.WindowClass.style & (CS_HREDRAW | CS_VREDRAW))) fresh -= QRegion(old);
    InvalidateRegion(fresh);
}

void TNativeWindow::InvalidateRegion(const QRegion& Region) {
    const QRegion clipped = Region.intersected(SurfaceRect());
    if (clipped.isEmpty()) return;
    Invalid += clipped;
    if (Client != nullptr && !InPaintEvent) Client->update(clipped);
}

void TNativeWindow::PaintNow() {
    if (Invalid.isEmpty() || !Painting.isEmpty()) return;
    Painting = Invalid;
    Invalid = QRegion();
    // Painting draws only into the invalid part.
    const HDC dc = Surface ? Surface->Dc : nullptr;
    const QRect box = Painting.boundingRect();
    HRGN clip = CreateRectRgn(box.left(), box.top(), box.right() + 1, box.bottom() + 1);
    if (dc != nullptr) SelectClipRgn(dc, clip);
    DeleteObject(clip);
    Control->Perform(WM_PAINT, 0, 0);
    if (dc != nullptr && Surface && Surface->Dc == dc) SelectClipRgn(dc, nullptr);
    const QRegion done = Painting;
    Painting = QRegion();
    if (Client != nullptr && !InPaintEvent) Client->update(done);
}

void TNativeWindow::ShowSurface() {
    if (Client != nullptr && !InPaintEvent) Client->update();
}

void FillSurface(TNativeWindow& Window, TColor Color) {
    QImage image = Window.Surface ? Window.Surface->Image() : QImage();
    if (image.isNull()) return;
    QPainter painter(&image);
    if (!Window.Painting.isEmpty()) painter.setClipRegion(Window.Painting);
    painter.fillRect(image.rect(), ToQColor(Color));
}

TNativeWindow* NativeWindowOf(HWND Wnd) {
    TWinControl* control = FindControl(Wnd);
    return control == nullptr ? nullptr : control->NativeWindow();
}

uint16_t VirtualKeyOf(int QtKey, bool Keypad) {
    if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return static_cast<uint16_t>(QtKey);
    if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9)
        return Keypad ? static_cast<uint16_t>(0x60 + QtKey - Qt::Key_0)
                      : static_cast<uint16_t>(QtKey);
    if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24)
        return static_cast<uint16_t>(VK_F1 + QtKey - Qt::Key_F1);
    struct TKeyPair {
        int Qt;
        uint16_t Vk;
    };
    static constexpr std::array<TKeyPair, 19> keys = {{{Qt::Key_Left, VK_LEFT},
                                                       {Qt::Key_Right, VK_RIGHT},
                                                       {Qt::Key_Up, VK_UP},
                                                       {Qt::Key_Down, VK_DOWN},
                                                       {Qt::Key_PageUp, VK_PRIOR},
                                                       {Qt::Key_PageDown, VK_NEXT},
                                                       {Qt::Key_Home, VK_HOME},
                                                       {Qt::Key_End, VK_END},
                                                       {Qt::Key_Insert, VK_INSERT},
                                                       {Qt::Key_Delete, VK_DELETE},
                                                       {Qt::Key_Backspace, VK_BACK},
                                                       {Qt::Key_Tab, VK_TAB},
                                                       {Qt::Key_Backtab, VK_TAB},
                                                       {Qt::Key_Return, VK_RETURN},
                                                       {Qt::Key_Enter, VK_RETURN},
                                                       {Qt::Key_Escape, VK_ESCAPE},
                                                       {Qt::Key_Space, VK_SPACE},
                                                       {Qt::Key_Shift, VK_SHIFT},
                                                       {Qt::Key_Control, VK_CONTROL}}};
    for (const TKeyPair& k : keys)
        if (k.Qt == QtKey) return k.Vk;
    switch (QtKey) {
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return Keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Asterisk:
        return Keypad ? VK_MULTIPLY : 0;
    case Qt::Key_Minus:
        return Keypad ? VK_SUBTRACT : 0xBD;
    default:
        return 0;
    }
}

// ---- TQtFrame ------------------------------------------------------------------------------

TQtFrame::TQtFrame(TNativeWindow* AWindow, QWidget* AParent) : QWidget(AParent), FWindow(AWindow) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TQtFrame::paintEvent(QPaintEvent*) {
    if (FWindow == nullptr) return;
    QPainter painter(this);
    const TNonClient& nc = FWindow->NonClient;
    if (nc.HScroll && nc.VScroll) {
        const int32_t b = nc.Border;
        painter.fillRect(b + FWindow->Control->ClientWidth(), b + FWindow->Control->ClientHeight(),
                         GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL),
                         ToQColor(clBtnFace));
    }
    if (nc.Border == 2)
        DrawSunkenEdge(painter, rect());
    else if (nc.Border == 1) {
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TQtFrame::resizeEvent(QResizeEvent*) {
    // A top-level window resized by the user or the window manager.
    if (FWindow != nullptr && isWindow() &&
        (width() != FWindow->Control->Width() || height() != FWindow->Control->Height()))
        FWindow->Control->SetBounds(FWindow->Control->Left(), FWindow->Control->Top(), width(),
                                    height());
}

void TQtFrame::moveEvent(QMoveEvent*) {
    if (FWindow != nullptr && isWindow() &&
        (x() != FWindow->Control->Left() || y() != FWindow->Control->Top()))
        FWindow->Control->SetBounds(x(), y(), FWindow->Control->Width(),
                                    FWindow->Control->Height());
}

void TQtFrame::closeEvent(QCloseEvent* Event) {
    // The control decides whether and how it closes.
    Event->ignore();
    if (FWindow != nullptr) FWindow->Control->Perform(WM_CLOSE, 0, 0);
}

// ---- TQtClient -----------------------------------------------------------------------------

TQtClient::TQtClient(TNativeWindow* AWindow, QWidget* AParent)
    : QWidget(AParent), FWindow(AWindow) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

void TQtClient::paintEvent(QPaintEvent* Event) {
    if (FWindow == nullptr) return;
    if (!FWindow->Layered.isNull()) {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, FWindow->Layered);
        return;
    }
    FWindow->InPaintEvent = true;
    FWindow->PaintNow();
    FWindow->InPaintEvent = false;
    const QImage image =
        FWindow != nullptr && FWindow->Surface ? FWindow->Surface->Image() : QImage();
    if (image.isNull()) return;
    QPainter painter(this);
    painter.drawImage(Event->rect().topLeft(), image, Event->rect());
    // The whole surface is on the screen now, with whatever went into it through a handed-out
    // device context: the next round of the message loop need not show it once more.
    if (Event->rect().contains(image.rect())) FWindow->SurfaceHandedOut = false;
}

void TQtClient::SendMouse(UINT Msg, QMouseEvent* Event) {
    if (FWindow == nullptr) return;
    TWinControl* target = FWindow->Control;
    QPoint p = Event->position().toPoint();
    // A window holding the capture gets every mouse message, in its own client coordinates.
    if (HWND capture = GetCapture(); capture != nullptr && capture != FWindow->Handle) {
        TNativeWindow* w = NativeWindowOf(capture);
        if (w != nullptr && w->Client != nullptr) {
            target = w->Control;
            p = w->Client->mapFromGlobal(Event->globalPosition().toPoint());
        }
    }
    target->Perform(Msg, MouseKeys(Event->buttons(), Event->modifiers()), MAKELPARAM(p.x(), p.y()));
}

void TQtClient::mousePressEvent(QMouseEvent* Event) {
    TButtonMessages m;
    if (ButtonMessages(Event->button(), m)) SendMouse(m.Down, Event);
}

void TQtClient::mouseReleaseEvent(QMouseEvent* Event) {
    TButtonMessages m;
    if (ButtonMessages(Event->button(), m)) SendMouse(m.Up, Event);
}

void TQtClient::mouseDoubleClickEvent(QMouseEvent* Event) {
    TButtonMessages m;
    if (!ButtonMessages(Event->button(), m) || FWindow == nullptr) return;
    const bool doubles = FWindow->Params.WindowClass.style & CS_DBLCLKS;
    SendMouse(doubles ? m.Double : m.Down, Event);
}

void TQtClient::mouseMoveEvent(QMouseEvent* Event) {
    SendMouse(WM_MOUSEMOVE, Event);
}

void TQtClient::wheelEvent(QWheelEvent* Event) {
    const int32_t delta = Event->angleDelta().y();
    if (FWindow == nullptr || delta == 0) return;
    const QPoint global = Event->globalPosition().toPoint();
    FWindow->Control->Perform(
        WM_MOUSEWHEEL,
        MAKEWPARAM(static_cast<int32_t>(MouseKeys(Event->buttons(), Event->modifiers())), delta),
        MAKELPARAM(global.x(), global.y()));
    Event->accept();
}

void TQtClient::enterEvent(QEnterEvent*) {
    if (FWindow != nullptr) FWindow->Control->Perform(CM_MOUSEENTER, 0, 0);
}

void TQtClient::leaveEvent(QEvent*) {
    if (FWindow != nullptr) FWindow->Control->Perform(CM_MOUSELEAVE, 0, 0);
}

void TQtClient::keyPressEvent(QKeyEvent* Event) {
    if (FWindow == nullptr) return;
    const TKeyMessageScope keyState(Event->modifiers());
    const uint16_t key = VirtualKeyOf(Event->key(), Event->modifiers() & Qt::KeypadModifier);
    TWinControl* control = FWindow->Control;
    if (key != 0) {
        const LPARAM data = KeyData(Event);
        if (IsSpecialKey(key) && control->Perform(CM_WANTSPECIALKEY, key, data) == 0 &&
            control->Perform(WM_GETDLGCODE, key, data) == 0) {
            // The form's shortcut pass sees every key first, also the special keys that the
            // control with the focus does not take (Esc, Ctrl+arrow shortcuts).
            if (FormShortCut(control, key, data)) return;
            if (key == VK_TAB)
                QWidget::focusNextPrevChild(!(Event->modifiers() & Qt::ShiftModifier));
            else if (key == VK_RETURN || key == VK_ESCAPE)
                SendDialogKey(control, key);
            return;
        }
        control->Perform(WM_KEYDOWN, key, data);
    }
    if (FWindow == nullptr) return;
    for (QChar c : Event->text())
        if (c.unicode() >= 0x20 || c == u'\r' || c == u'\b' || c == u'\x1B')
            FWindow->Control->Perform(WM_CHAR, c.unicode(), KeyData(Event));
}

void TQtClient::keyReleaseEvent(QKeyEvent* Event) {
    if (FWindow == nullptr) return;
    const TKeyMessageScope keyState(Event->modifiers());
    const uint16_t key = VirtualKeyOf(Event->key(), Event->modifiers() & Qt::KeypadModifier);
    if (key != 0) FWindow->Control->Perform(WM_KEYUP, key, KeyData(Event) | (LPARAM(3) << 30));
}

void TQtClient::focusInEvent(QFocusEvent*) {
    if (FWindow != nullptr) FocusChanged(FWindow->Handle, true);
}

void TQtClient::focusOutEvent(QFocusEvent*) {
    if (FWindow != nullptr) FocusChanged(FWindow->Handle, false);
}

bool TQtClient::focusNextPrevChild(bool) {
    // Tab reaches the control as a key; moving on is decided in keyPressEvent.
    return false;
}

} // namespace platform::detail

namespace platform::detail {

namespace {

// Reports a stand-in widget's focus changes as its control's.
class TFocusReport : public QObject {
public:
    TFocusReport(TWinControl* AControl, QObject* AParent) : QObject(AParent), FControl(AControl) {}

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if ((Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut) &&
            FControl->HandleAllocated())
            FocusChanged(FControl->Handle(), Event->type() == QEvent::FocusIn);
        return false;
    }

private:
    TWinControl* FControl;
};

} // namespace

void TakeFocusFor(QWidget* Widget, TWinControl* Control) {
    Control->NativeWindow()->ClientWidget()->setFocusProxy(Widget);
    Widget->installEventFilter(new TFocusReport(Control, Widget));
}

} // namespace platform::detail
