// Forms, the application object with its message loop, and the screen with its cursors.
#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/WinUser.h"

#include <map>

enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
// A key pressed anywhere in the form, before any control sees it; Handled stops it there.
using TShortCutEvent = std::function<void(TWMKey& Msg, bool& Handled)>;

enum TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
// Where a form is placed when it is shown: where its bounds say, or centred on its owner form
// (on the screen when it has none).
enum TPosition : uint8_t { poDesigned, poOwnerFormCenter };

// A top-level window. Created hidden; Show makes its window and shows it.
class TForm : public TCustomControl {
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value);
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle Value);
    void SetVisible(bool Value) override;
    // Shows the form as ShowWindow's SW_SHOWNOACTIVATE does: the window that has the keyboard
    // focus keeps it.
    void ShowNoActivate();
    // Asks OnCloseQuery, then OnClose decides: hide (the default), free, or nothing. Closing
    // the application's main form ends the application.
    void Close();
    // Frees the form once the message loop is back in control.
    void Release();

    TWindowState WindowState() const;
    void SetWindowState(TWindowState Value);
    TPosition Position = poDesigned;

    // Shows the form as the only one taking input (the other shown forms are disabled until it
    // ends) and runs the message loop until ModalResult is not mrNone (Close sets mrCancel, so does
    // the end of the application); then hides it and answers ModalResult. OnCloseQuery may refuse
    // the end: the form then stays open.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult Value) { FModalResult = Value; }
    // The control that gets the keyboard focus when the form is shown.
    TWinControl* ActiveControl = nullptr;
    // The control of this form that last took the keyboard focus. Enter and exit events follow
    // its changes only: the focus leaving the form for another window (a message box, another
    // program) is no exit, and its return to the same control no enter.
    TWinControl* FocusedControl() const { return FFocusedControl; }
    void SetFocusedControl(TWinControl* Control) { FFocusedControl = Control; }
    // With KeyPreview the form's OnKeyDown sees every key before the focused control does.
    bool KeyPreview = false;
    // OnShortCut; true when it handled the key. A key pressed in another form goes to its own
    // shortcuts first, then to the main form's while that is enabled.
    virtual bool IsShortCut(TWMKey& Message);

    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TShortCutEvent OnShortCut;

    // WM_NCLBUTTONDOWN on HTCAPTION moves the window with the mouse, as a press on a title
    // bar does.
    void Dispatch(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    bool PreviewKeyDown(TWinControl* Source, uint16_t& Key, TShiftState Shift,
                        LPARAM KeyData) override;

private:
    void PlaceOnOwner();
    // The end of ShowModal: an ordinary window again, hidden.
    void EndModal();
    // Enter and Esc not used by the focused control: the focused control, then every control
    // of the form is offered CM_DIALOGKEY; true when one took it.
    bool DialogKey(uint16_t Key);

    String FCaption;
    TFormBorderStyle FBorderStyle = bsSizeable;
    TWindowState FWindowState = wsNormal;
    TModalResult FModalResult = mrNone;
    bool FModal = false;
    TWinControl* FFocusedControl = nullptr;
};

// The form a control sits on, or nullptr.
TForm* GetParentForm(TControl* Control);

using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* AOwner);

    // Starts the toolkit; done on demand by every window too.
    void Initialize();
    // Creates a form owned by the application; the first one becomes the main form.
    template <class FormT> FormT* CreateForm() {
        auto* form = new FormT(this);
        if (FMainForm == nullptr) FMainForm = form;
        return form;
    }
    TForm* MainForm() const { return FMainForm; }
    void SetMainForm(TForm* Form) { FMainForm = Form; }
    // Shows the main form and runs the message loop until Terminate; answers the exit code.
    int32_t Run();
    // Handles what is waiting, or waits for something and handles it (after OnIdle).
    void HandleMessage();
    // Handles everything waiting (window events, posted messages, synchronised calls, timers)
    // and returns.
    void ProcessMessages();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Minimises the main form.
    void Minimize();
    // Tells the user of an exception nobody caught: on standard error and in a message box.
    void ShowException(const Exception& E);
    String Title;
    // The main form has the task-bar entry (always so here: other forms are tool windows or
    // owned by it).
    bool MainFormOnTaskBar = false;
    TIdleEvent OnIdle;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    bool ProcessMessage();
    void Idle();

    TForm* FMainForm = nullptr;
    bool FTerminated = false;
    int32_t FExitCode = 0;
};

// The screen: its size and resolution, and the table of cursors by id.
class TScreen : public TComponent {
public:
    explicit TScreen(TComponent* AOwner);
    int32_t Width() const;
    int32_t Height() const;
    int32_t PixelsPerInch() const;
    // The work area (the screen less docks and panels) of the monitor nearest to Rect, in
    // screen coordinates.
    TRect MonitorWorkareaRect(const TRect& Rect) const;
    // The cursor registered under Id, the default arrow for an id without one.
    HCURSOR Cursors(TCursor Id) const;
    void SetCursors(TCursor Id, HCURSOR Cursor);
    // A cursor over the whole application; crDefault leaves each control's own.
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor Value);

private:
    void LoadStandardCursors() const;
    mutable std::map<TCursor, HCURSOR> FCursors;
    mutable bool FLoaded = false;
    TCursor FCursor = crDefault;
};

// The program's application object and screen; they live for the whole process.
extern TApplication* const Application;
extern TScreen* const Screen;
