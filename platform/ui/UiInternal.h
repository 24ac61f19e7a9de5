// Shared inside platform/ui only: the toolkit application, the window registry and the queue of
// posted messages.
#pragma once

#include "platform/ui/Messages.h"

#include <vector>

class TWinControl;

namespace platform::detail {

// Starts the window layer on first use, main thread only: the toolkit's application object
// (the drawing layer's, see QtRuntime.h) and the pump that runs what other threads hand over.
void StartWindowLayer();
bool GuiApplicationExists();

// Live windows and the controls they belong to. A window stays registered for the whole life of
// its control, across re-creation of the toolkit window, so posted messages still find it.
void RegisterWindow(HWND Wnd, TWinControl* Control);
void UnregisterWindow(HWND Wnd);
TWinControl* FindControl(HWND Wnd);
// The controls of every live window, in no particular order.
std::vector<TWinControl*> RegisteredControls();

// Enter or Esc that the focused Control does not use goes to its form as CM_DIALOGKEY (default
// and cancel buttons); true when a control took it. Defined with the forms.
bool SendDialogKey(TWinControl* Control, uint16_t Key);

// The program's other windows shut out while a modal window or a message box is up: every shown
// top-level window that takes input when the object is made, Except aside, is disabled, and
// enabled again when the object goes, on every way out. Nested modal windows nest these. A
// disabled form's focused control has the keyboard focus in it again afterwards.
class TDisabledTaskWindows {
public:
    explicit TDisabledTaskWindows(HWND Except);
    ~TDisabledTaskWindows();
    TDisabledTaskWindows(const TDisabledTaskWindows&) = delete;
    TDisabledTaskWindows& operator=(const TDisabledTaskWindows&) = delete;

private:
    std::vector<HWND> FDisabled;
};

// Makes the main thread's loop look at the posted messages again (after a popup menu held some).
void WakeForPostedMessages();
// Runs every posted message queued so far, in order; main thread.
void DeliverPostedMessages();
// The loop's quit request (PostQuitMessage): true once asked, with its exit code.
bool QuitRequested(int32_t* ExitCode);
void ClearQuitRequest();

// Runs pending toolkit events, posted messages and synchronised calls once. With Wait, sleeps
// until at least one arrives. True when anything ran.
bool ProcessPendingEvents(bool Wait);

} // namespace platform::detail
