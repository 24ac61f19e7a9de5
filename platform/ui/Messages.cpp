// Sending and posting window messages, the registry of live windows and the main thread's
// wake-up through the toolkit's event queue.
#include "platform/ui/Messages.h"

#include "platform/gfx/QtRuntime.h"
#include "platform/rtl/Thread.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

struct TPostedMessage {
    HWND Wnd;
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
};

// Everything a worker thread may touch, behind one lock.
struct TMessageQueue {
    std::mutex Lock;
    std::unordered_map<HWND, TWinControl*> Windows;
    std::deque<TPostedMessage> Posted;
    bool Quit = false;
    int32_t ExitCode = 0;
};

TMessageQueue& Queue() {
    static TMessageQueue queue;
    return queue;
}

const QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x5356);

// Lives in the main thread; each wake-up event makes it run what other threads handed over.
class TMessagePump : public QObject {
public:
    bool event(QEvent* Event) override {
        if (Event->type() != WakeEvent) return QObject::event(Event);
        FWakePending = false;
        CheckSynchronize();
        platform::detail::DeliverPostedMessages();
        return true;
    }
    void Wake() {
        if (!FWakePending.exchange(true)) QCoreApplication::postEvent(this, new QEvent(WakeEvent));
    }

private:
    std::atomic<bool> FWakePending{false};
};

std::atomic<TMessagePump*> Pump{nullptr};

void WakeMainThread() {
    if (TMessagePump* pump = Pump.load()) pump->Wake();
}

} // namespace

namespace platform::detail {

void StartWindowLayer() {
    if (Pump.load() != nullptr) return;
    if (!IsMainThread()) throw Exception(u"The window layer must start in the main thread");
    ::EnsureGuiApplication();
    QApplication::setQuitOnLastWindowClosed(false);
    Pump = new TMessagePump();
    SetWakeMainThread(WakeMainThread);
    WakeMainThread(); // calls handed over before the application existed
}

bool GuiApplicationExists() {
    return QCoreApplication::instance() != nullptr;
}

void RegisterWindow(HWND Wnd, TWinControl* Control) {
    std::lock_guard guard(Queue().Lock);
    Queue().Windows[Wnd] = Control;
}

void UnregisterWindow(HWND Wnd) {
    TMessageQueue& queue = Queue();
    std::lock_guard guard(queue.Lock);
    queue.Windows.erase(Wnd);
    std::erase_if(queue.Posted, [Wnd](const TPostedMessage& m) { return m.Wnd == Wnd; });
}

TWinControl* FindControl(HWND Wnd) {
    std::lock_guard guard(Queue().Lock);
    auto it = Queue().Windows.find(Wnd);
    return it == Queue().Windows.end() ? nullptr : it->second;
}

std::vector<TWinControl*> RegisteredControls() {
    std::vector<TWinControl*> controls;
    std::lock_guard guard(Queue().Lock);
    for (const auto& [wnd, control] : Queue().Windows)
        controls.push_back(control);
    return controls;
}

namespace {
// While a popup menu holds the mouse, button presses and releases meant for windows wait.
bool HeldBack(const TPostedMessage& Message, bool MenuOpen) {
    return MenuOpen && Message.Msg >= WM_LBUTTONDOWN && Message.Msg <= WM_MBUTTONDBLCLK;
}
} // namespace

void WakeForPostedMessages() {
    WakeMainThread();
}

void DeliverPostedMessages() {
    TMessageQueue& queue = Queue();
    // One at a time, so that a handler may run the loop again (ProcessMessages) and the order
    // of every message still holds.
    for (;;) {
        TPostedMessage message;
        TWinControl* control;
        {
            const bool menuOpen = MenuLoopActive();
            std::lock_guard guard(queue.Lock);
            auto next = std::find_if(
                queue.Posted.begin(), queue.Posted.end(),
                [menuOpen](const TPostedMessage& m) { return !HeldBack(m, menuOpen); });
            if (next == queue.Posted.end()) return;
            message = *next;
            queue.Posted.erase(next);
            auto it = queue.Windows.find(message.Wnd);
            control = it == queue.Windows.end() ? nullptr : it->second;
        }
        if (control != nullptr) control->Perform(message.Msg, message.WParam, message.LParam);
    }
}

bool QuitRequested(int32_t* ExitCode) {
    std::lock_guard guard(Queue().Lock);
    if (ExitCode != nullptr) *ExitCode = Queue().ExitCode;
    return Queue().Quit;
}

void ClearQuitRequest() {
    std::lock_guard guard(Queue().Lock);
    Queue().Quit = false;
}

void ShowHandedOutSurfaces() {
    for (TWinControl* control : RegisteredControls()) {
        TNativeWindow* window = control->NativeWindow();
        if (!window->SurfaceHandedOut) continue;
        window->SurfaceHandedOut = false;
        window->ShowSurface();
    }
}

bool ProcessPendingEvents(bool Wait) {
    StartWindowLayer();
    ShowHandedOutSurfaces();
    bool ran = CheckSynchronize();
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    const auto flags = Wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents;
    if (dispatcher != nullptr && dispatcher->processEvents(flags)) ran = true;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return CheckSynchronize() || ran;
}

} // namespace platform::detail

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControl* control = platform::detail::FindControl(Wnd);
    return control == nullptr ? 0 : control->Perform(Msg, WParam, LParam);
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessageQueue& queue = Queue();
    {
        std::lock_guard guard(queue.Lock);
        if (!queue.Windows.contains(Wnd)) return false;
        queue.Posted.push_back({Wnd, Msg, WParam, LParam});
    }
    WakeMainThread();
    return true;
}

bool PostMessageW(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    return PostMessage(Wnd, Msg, WParam, LParam);
}

bool PeekMessageW(MSG* Msg, HWND Wnd, UINT MsgFilterMin, UINT MsgFilterMax, UINT RemoveMsg) {
    TMessageQueue& queue = Queue();
    std::lock_guard guard(queue.Lock);
    const bool remove = (RemoveMsg & PM_REMOVE) != 0;
    if (queue.Quit) {
        *Msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.ExitCode), 0};
        if (remove) queue.Quit = false;
        return true;
    }
    const bool anyNumber = MsgFilterMin == 0 && MsgFilterMax == 0;
    auto it = std::find_if(queue.Posted.begin(), queue.Posted.end(), [&](const TPostedMessage& m) {
        return (Wnd == nullptr || m.Wnd == Wnd) &&
               (anyNumber || (m.Msg >= MsgFilterMin && m.Msg <= MsgFilterMax));
    });
    if (it == queue.Posted.end()) return false;
    *Msg = MSG{it->Wnd, it->Msg, it->WParam, it->LParam};
    if (remove) queue.Posted.erase(it);
    return true;
}

void PostQuitMessage(int32_t ExitCode) {
    {
        std::lock_guard guard(Queue().Lock);
        Queue().Quit = true;
        Queue().ExitCode = ExitCode;
    }
    WakeMainThread();
}
