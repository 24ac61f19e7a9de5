// The toolkit application object, created lazily.
#include "platform/gfx/QtRuntime.h"

#include <QApplication>
#include <QScreen>

#include <cstdlib>
#include <mutex>

void EnsureGuiApplication() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance() != nullptr) return;
        if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
            std::getenv("WAYLAND_DISPLAY") == nullptr)
            ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The toolkit keeps references to the argument count and vector for its lifetime.
        static int argc = 1;
        static char name[] = "solvaneview";
        static char* argv[] = {name, nullptr};
        static QApplication* application = new QApplication(argc, argv);
        (void)application;
    });
}

TSize PrimaryScreenSize() {
    EnsureGuiApplication();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0};
    const QSize size = screen->size();
    return {size.width(), size.height()};
}
