// Keyboard, mouse-button and desktop state from the toolkit.
#include "platform/ui/Input.h"

#include "platform/gfx/QtRuntime.h"

#include <QApplication>
#include <QStyle>

int16_t GetAsyncKeyState(int32_t Key) {
    EnsureGuiApplication();
    constexpr auto down = static_cast<int16_t>(0x8000);
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    switch (Key) {
    case VK_LBUTTON:
        return (buttons & Qt::LeftButton) ? down : 0;
    case VK_RBUTTON:
        return (buttons & Qt::RightButton) ? down : 0;
    case VK_MBUTTON:
        return (buttons & Qt::MiddleButton) ? down : 0;
    case VK_SHIFT:
        return (keys & Qt::ShiftModifier) ? down : 0;
    case VK_CONTROL:
        return (keys & Qt::ControlModifier) ? down : 0;
    case VK_MENU:
        return (keys & Qt::AltModifier) ? down : 0;
    default:
        return 0;
    }
}

int32_t GetSystemMetrics(int32_t Index) {
    switch (Index) {
    case SM_CXSCREEN:
        return PrimaryScreenSize().cx;
    case SM_CYSCREEN:
        return PrimaryScreenSize().cy;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        EnsureGuiApplication();
        return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    case SM_CYCAPTION:
        EnsureGuiApplication();
        return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG:
        return 4;
    case SM_MOUSEWHEELPRESENT:
        return 1;
    default:
        return 0;
    }
}
