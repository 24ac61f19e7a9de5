// The desktop clipboard through Qt's clipboard object.
#include "platform/ui/Clipboard.h"

#include "platform/rtl/Thread.h"
#include "platform/ui/UiInternal.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

bool DisplayPlatformConfigured() {
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

// The process's GUI application: the program's own, else the window layer's, created here on
// first use and kept for the life of the process. nil when none can be had (a console-only
// application object exists, or Qt would find no display to connect to and abort).
QGuiApplication* GuiApplication() {
    if (QCoreApplication::instance() == nullptr) {
        if (!DisplayPlatformConfigured() || !IsMainThread()) return nullptr;
        platform::detail::StartWindowLayer();
    }
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
