// Forms, the application's message loop and the screen.
#include "platform/ui/Forms.h"

#include "platform/ui/Dialogs.h"

#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>

namespace {

// Moves a window with the mouse until the button is released, for window systems that do not
// move windows themselves (no window manager).
class TMouseMove : public QObject {
public:
    TMouseMove(QWidget* Window, QPoint Grab) : FWindow(Window), FGrab(Grab) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::MouseMove && FWindow != nullptr) {
            const auto* mouse = static_cast<QMouseEvent*>(Event);
            FWindow->move(mouse->globalPosition().toPoint() - FGrab);
            return true;
        }
        if (Event->type() == QEvent::MouseButtonRelease || FWindow == nullptr) {
            qApp->removeEventFilter(this);
            deleteLater();
            return Event->type() == QEvent::MouseButtonRelease;
        }
        return false;
    }

private:
    QPointer<QWidget> FWindow;
    QPoint FGrab;
};

// A termination request of the session (SIGTERM, SIGINT) closes the main form as its close
// button does, so that the program shuts down in full. The signal handler only writes a byte
// to a pipe that the loop watches.
int TerminationPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(TerminationPipe[1], &byte, 1);
}

void WatchTerminationSignals() {
    if (TerminationPipe[0] >= 0 || ::pipe2(TerminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action{};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    auto* notifier = new QSocketNotifier(TerminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(TerminationPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (Application->MainForm() != nullptr)
            Application->MainForm()->Close();
        else
            Application->Terminate();
    });
}

void StartMouseMove(QWidget* Frame) {
    QWindow* window = Frame->windowHandle();
    if (window != nullptr && window->startSystemMove()) return;
    new TMouseMove(Frame, QCursor::pos() - Frame->pos());
}

// Forms waiting to be freed by the loop (Release).
std::set<TForm*>& PendingReleases() {
    static std::set<TForm*> forms;
    return forms;
}

} // namespace

// Never destroyed: windows may still exist while the program's static objects go away.
TApplication* const Application = new TApplication(nullptr);
TScreen* const Screen = new TScreen(nullptr);

namespace platform::detail {
QCursor ToQtCursor(TCursor Cursor) {
    return CursorOf(Screen->Cursors(Cursor));
}
} // namespace platform::detail

// ---- TForm ---------------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle |= csAcceptsControls;
    TControl::SetVisible(false);
    SetColor(clBtnFace);
    SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
    PendingReleases().erase(this);
    if (Application->MainForm() == this) Application->SetMainForm(nullptr);
}

void TForm::SetCaption(const String& Value) {
    FCaption = Value;
    if (NativeWindow()->Frame != nullptr)
        NativeWindow()->Frame->setWindowTitle(QString::fromStdU16String(Value));
}

void TForm::SetBorderStyle(TFormBorderStyle Value) {
    if (Value == FBorderStyle) return;
    FBorderStyle = Value;
    RecreateWnd();
}

void TForm::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Caption = FCaption;
    Params.Style &= ~(WS_CHILD | WS_CLIPSIBLINGS);
    switch (FBorderStyle) {
    case bsNone:
        Params.Style |= WS_POPUP;
        break;
    case bsSingle:
    case bsDialog:
        Params.Style |= WS_CAPTION | WS_SYSMENU;
        break;
    case bsToolWindow:
    case bsSizeToolWin:
        Params.Style |= WS_CAPTION | WS_SYSMENU;
        Params.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    default:
        Params.Style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        break;
    }
}

void TForm::SetVisible(bool Value) {
    if (Value == Visible()) return;
    if (Value) HandleNeeded();
    if (Value && Position == poOwnerFormCenter) PlaceOnOwner();
    TCustomControl::SetVisible(Value);
    if (Value) {
        if (FWindowState != wsNormal) SetWindowState(FWindowState);
        Invalidate();
        if (OnShow) OnShow(this);
        if (ActiveControl != nullptr && ActiveControl->CanFocus()) ActiveControl->SetFocus();
    } else if (OnHide) {
        OnHide(this);
    }
}

void TForm::ShowNoActivate() {
    HandleNeeded();
    QWidget* frame = NativeWindow()->Frame;
    const bool activates = !frame->testAttribute(Qt::WA_ShowWithoutActivating);
    frame->setAttribute(Qt::WA_ShowWithoutActivating);
    Show();
    if (NativeWindow()->Frame == frame)
        frame->setAttribute(Qt::WA_ShowWithoutActivating, !activates);
}

void TForm::PlaceOnOwner() {
    auto* owner = dynamic_cast<TForm*>(Owner());
    TRect area{0, 0, Screen->Width(), Screen->Height()};
    if (owner != nullptr && owner->Visible())
        area = TRect{owner->Left(), owner->Top(), owner->Left() + owner->Width(),
                     owner->Top() + owner->Height()};
    SetBounds(area.Left + (area.Right - area.Left - Width()) / 2,
              area.Top + (area.Bottom - area.Top - Height()) / 2, Width(), Height());
}

TModalResult TForm::ShowModal() {
    if (Visible() || FModal) throw Exception(u"Cannot make a visible window modal");
    FModalResult = mrNone;
    HandleNeeded();
    NativeWindow()->Frame->setWindowModality(Qt::ApplicationModal);
    FModal = true;
    // On every way out, an exception too: the other windows take input again before this one
    // hides, so that the window system hands the focus back to one of them.
    struct TEndModal {
        TForm& Form;
        ~TEndModal() { Form.EndModal(); }
    } endModal{*this};
    const platform::detail::TDisabledTaskWindows others(Handle());
    Show();
    while (FModalResult == mrNone) {
        Application->HandleMessage();
        if (Application->Terminated() || !Visible()) FModalResult = mrCancel;
        if (FModalResult == mrNone || !OnCloseQuery) continue;
        bool canClose = true;
        OnCloseQuery(this, canClose);
        if (!canClose) FModalResult = mrNone;
    }
    return FModalResult;
}

void TForm::EndModal() {
    FModal = false;
    Hide();
    if (NativeWindow()->Frame != nullptr) NativeWindow()->Frame->setWindowModality(Qt::NonModal);
}

void TForm::Close() {
    if (FModal) {
        FModalResult = mrCancel; // ShowModal ends and asks OnCloseQuery
        return;
    }
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    if (Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    if (action == caHide) Hide();
    if (action == caFree) Release();
}

void TForm::Release() {
    PendingReleases().insert(this);
    platform::detail::StartWindowLayer();
    QMetaObject::invokeMethod(
        qApp,
        [form = this] {
            if (PendingReleases().erase(form) != 0) delete form;
        },
        Qt::QueuedConnection);
}

TWindowState TForm::WindowState() const {
    const QWidget* frame = NativeWindow()->Frame;
    if (frame == nullptr) return FWindowState;
    if (frame->isMinimized()) return wsMinimized;
    return frame->isMaximized() ? wsMaximized : wsNormal;
}

void TForm::SetWindowState(TWindowState Value) {
    FWindowState = Value;
    QWidget* frame = NativeWindow()->Frame;
    if (frame == nullptr || !Visible()) return;
    switch (Value) {
    case wsMinimized:
        frame->showMinimized();
        break;
    case wsMaximized:
        frame->showMaximized();
        break;
    default:
        frame->showNormal();
        break;
    }
}

bool TForm::IsShortCut(TWMKey& Message) {
    bool handled = false;
    if (OnShortCut) OnShortCut(Message, handled);
    return handled;
}

bool TForm::PreviewKeyDown(TWinControl* Source, uint16_t& Key, TShiftState Shift,
                           LPARAM KeyData) {
    TWMKey message{WM_KEYDOWN, Key, KeyData, 0};
    if (IsShortCut(message)) return true;
    // The main form's shortcuts work in the program's other forms too, unless it is disabled,
    // as it is while another form is modal.
    TForm* main = Application->MainForm();
    if (main != nullptr && main != this && main->Enabled() &&
        (!main->HandleAllocated() || IsWindowEnabled(main->Handle())) && main->IsShortCut(message))
        return true;
    if (KeyPreview && Source != this) KeyDown(Key, Shift);
    return Key == 0;
}

namespace {

// Offers CM_DIALOGKEY to Control and the controls inside it, Skip left out; true when taken.
bool OfferDialogKey(TControl* Control, TControl* Skip, uint16_t Key) {
    if (Control != Skip && Control->Perform(CM_DIALOGKEY, Key, 0) != 0) return true;
    auto* window = dynamic_cast<TWinControl*>(Control);
    if (window == nullptr) return false;
    for (int32_t i = 0; i < window->ControlCount(); ++i)
        if (OfferDialogKey(window->Controls(i), Skip, Key)) return true;
    return false;
}

} // namespace

bool TForm::DialogKey(uint16_t Key) {
    TWinControl* focused = platform::detail::FindControl(GetFocus());
    if (focused != nullptr && focused != this && GetParentForm(focused) == this &&
        focused->Perform(CM_DIALOGKEY, Key, 0) != 0)
        return true;
    for (int32_t i = 0; i < ControlCount(); ++i)
        if (OfferDialogKey(Controls(i), focused, Key)) return true;
    return false;
}

namespace platform::detail {

TDisabledTaskWindows::TDisabledTaskWindows(HWND Except) {
    for (TWinControl* control : RegisteredControls())
        if (control->Parent() == nullptr && control->HandleAllocated() &&
            control->Handle() != Except && control->Showing() &&
            IsWindowEnabled(control->Handle())) {
            EnableWindow(control->Handle(), false);
            FDisabled.push_back(control->Handle());
        }
}

TDisabledTaskWindows::~TDisabledTaskWindows() {
    for (HWND window : FDisabled) {
        // A window freed meanwhile is no longer registered and is left alone.
        TWinControl* control = FindControl(window);
        if (control == nullptr) continue;
        EnableWindow(window, true);
        // Disabling took the toolkit's focus out of the window: a form's focused control gets it
        // back, shown as the focus once the window is active again.
        auto* form = dynamic_cast<TForm*>(control);
        TWinControl* focused = form != nullptr ? form->FocusedControl() : nullptr;
        if (focused != nullptr && focused->HandleAllocated() && focused->CanFocus())
            NativeWindowOf(focused->Handle())->ClientWidget()->setFocus(Qt::OtherFocusReason);
    }
}

bool SendDialogKey(TWinControl* Control, uint16_t Key) {
    TForm* form = GetParentForm(Control);
    return form != nullptr && form->Perform(CM_DIALOGKEY, Key, 0) != 0;
}
} // namespace platform::detail

void TForm::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_CLOSE:
        Close();
        return;
    case CM_DIALOGKEY:
        Message.Result = DialogKey(static_cast<uint16_t>(Message.WParam)) ? 1 : 0;
        return;
    case WM_NCLBUTTONDOWN:
        if (Message.WParam == HTCAPTION && NativeWindow()->Frame != nullptr)
            StartMouseMove(NativeWindow()->Frame);
        return;
    default:
        TCustomControl::Dispatch(Message);
    }
}

TForm* GetParentForm(TControl* Control) {
    TControl* top = Control;
    while (top != nullptr && top->Parent() != nullptr)
        top = top->Parent();
    return dynamic_cast<TForm*>(top);
}

// ---- TApplication --------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

void TApplication::Initialize() {
    platform::detail::StartWindowLayer();
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

int32_t TApplication::Run() {
    Initialize();
    WatchTerminationSignals();
    FTerminated = false;
    if (FMainForm != nullptr) FMainForm->Show();
    while (!FTerminated)
        HandleMessage();
    platform::detail::ClearQuitRequest();
    return FExitCode;
}

bool TApplication::ProcessMessage() {
    const bool ran = platform::detail::ProcessPendingEvents(false);
    if (platform::detail::QuitRequested(&FExitCode)) FTerminated = true;
    return ran && !FTerminated;
}

void TApplication::HandleMessage() {
    if (!ProcessMessage() && !FTerminated) Idle();
}

void TApplication::Idle() {
    bool done = true;
    if (OnIdle) OnIdle(this, done);
    if (done) platform::detail::ProcessPendingEvents(true);
    if (platform::detail::QuitRequested(&FExitCode)) FTerminated = true;
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::Minimize() {
    if (FMainForm != nullptr) FMainForm->SetWindowState(wsMinimized);
}

void TApplication::ShowException(const Exception& E) {
    std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
    MessageBoxW(nullptr, E.Message(), Title, MB_OK | MB_ICONSTOP);
}

// ---- TScreen -------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}

// The standard cursors are made on first use: the toolkit's cursors need its application.
void TScreen::LoadStandardCursors() const {
    if (FLoaded) return;
    FLoaded = true;
    const std::pair<TCursor, int32_t> standard[] = {
        {crDefault, IDC_ARROW},        {crArrow, IDC_ARROW},       {crCross, IDC_CROSS},
        {crIBeam, IDC_IBEAM},          {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS},
        {crSizeNWSE, IDC_SIZENWSE},    {crSizeWE, IDC_SIZEWE},     {crUpArrow, IDC_UPARROW},
        {crHourGlass, IDC_WAIT},       {crDrag, IDC_ARROW},        {crNoDrop, IDC_NO},
        {crHSplit, IDC_SIZEWE},        {crVSplit, IDC_SIZENS},     {crNo, IDC_NO},
        {crAppStart, IDC_APPSTARTING}, {crHelp, IDC_HELP},         {crHandPoint, IDC_HAND},
        {crSizeAll, IDC_SIZEALL}};
    for (const auto& [id, system] : standard)
        FCursors[id] = LoadCursor(system);
    FCursors[crNone] = nullptr;
}

int32_t TScreen::Width() const {
    return GetSystemMetrics(SM_CXSCREEN);
}

int32_t TScreen::Height() const {
    return GetSystemMetrics(SM_CYSCREEN);
}

int32_t TScreen::PixelsPerInch() const {
    if (!platform::detail::GuiApplicationExists()) return 96;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen == nullptr ? 96 : static_cast<int32_t>(screen->logicalDotsPerInch() + 0.5);
}

TRect TScreen::MonitorWorkareaRect(const TRect& Rect) const {
    platform::detail::StartWindowLayer();
    const QRect wanted(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top);
    const QScreen* nearest = QGuiApplication::primaryScreen();
    int64_t best = INT64_MIN;
    for (const QScreen* screen : QGuiApplication::screens()) {
        // The most overlap wins; without overlap, the shortest distance between the centres.
        const QRect shared = screen->geometry().intersected(wanted);
        const QPoint d = screen->geometry().center() - wanted.center();
        const int64_t score = shared.isEmpty()
                                  ? -1 - (int64_t{d.x()} * d.x() + int64_t{d.y()} * d.y())
                                  : int64_t{shared.width()} * shared.height();
        if (score > best) {
            best = score;
            nearest = screen;
        }
    }
    if (nearest == nullptr) return Rect;
    const QRect area = nearest->availableGeometry();
    return TRect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

HCURSOR TScreen::Cursors(TCursor Id) const {
    LoadStandardCursors();
    auto it = FCursors.find(Id);
    return it != FCursors.end() ? it->second : FCursors.at(crDefault);
}

void TScreen::SetCursors(TCursor Id, HCURSOR Cursor) {
    LoadStandardCursors();
    // A null cursor for an id of its own removes it; crNone keeps meaning "no cursor".
    if (Cursor == nullptr && Id != crNone)
        FCursors.erase(Id);
    else
        FCursors[Id] = Cursor;
}

void TScreen::SetCursor(TCursor Value) {
    if (Value == FCursor) return;
    platform::detail::StartWindowLayer();
    if (FCursor != crDefault) QApplication::restoreOverrideCursor();
    FCursor = Value;
    if (FCursor != crDefault)
        QApplication::setOverrideCursor(platform::detail::ToQtCursor(FCursor));
}
