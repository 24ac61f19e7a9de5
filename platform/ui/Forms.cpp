// Forms, the application's message loop and the screen.
#include "platform/ui/Forms.h"

#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>
#include <set>

namespace {

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
    TCustomControl::SetVisible(Value);
    if (Value) {
        Invalidate();
        if (OnShow) OnShow(this);
    } else if (OnHide) {
        OnHide(this);
    }
}

void TForm::Close() {
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

void TForm::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_CLOSE) {
        Close();
        return;
    }
    TCustomControl::Dispatch(Message);
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
