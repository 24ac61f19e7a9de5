// The desktop clipboard through Qt's clipboard object.
#include "platform/ui/Clipboard.h"

#include "platform/gfx/QtRuntime.h"

#include <QClipboard>
#include <QGuiApplication>

#include <mutex>
#include <thread>

namespace {

// The process's GUI application (created on first use when the program has none); nil when the
// program made a console-only application object.
QGuiApplication* GuiApplication() {
    EnsureGuiApplication();
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

std::mutex OpenLock;
std::thread::id OpenedBy;
bool Opened = false;

} // namespace

bool OpenClipboard() {
    const std::lock_guard guard(OpenLock);
    if (Opened) return OpenedBy == std::this_thread::get_id();
    if (GuiApplication() == nullptr || QGuiApplication::clipboard() == nullptr) return false;
    Opened = true;
    OpenedBy = std::this_thread::get_id();
    return true;
}

bool CloseClipboard() {
    const std::lock_guard guard(OpenLock);
    if (!Opened || OpenedBy != std::this_thread::get_id()) return false;
    Opened = false;
    return true;
}
