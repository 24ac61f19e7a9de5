// Screen metrics, key state and cursors over the toolkit.
#include "platform/ui/WinUser.h"

#include "platform/ui/Messages.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QFile>
#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QScreen>
#include <QStyle>

#include <array>
#include <optional>
#include <vector>

struct TCursorHandle {
    QCursor Cursor;
    bool System = false;
};

namespace {

struct TSystemCursor {
    int32_t Id;
    Qt::CursorShape Shape;
};
constexpr std::array<TSystemCursor, 14> SystemCursors = {{{IDC_ARROW, Qt::ArrowCursor},
                                                          {IDC_IBEAM, Qt::IBeamCursor},
                                                          {IDC_WAIT, Qt::WaitCursor},
                                                          {IDC_CROSS, Qt::CrossCursor},
                                                          {IDC_UPARROW, Qt::UpArrowCursor},
                                                          {IDC_SIZENWSE, Qt::SizeFDiagCursor},
                                                          {IDC_SIZENESW, Qt::SizeBDiagCursor},
                                                          {IDC_SIZEWE, Qt::SizeHorCursor},
                                                          {IDC_SIZENS, Qt::SizeVerCursor},
                                                          {IDC_SIZEALL, Qt::SizeAllCursor},
                                                          {IDC_NO, Qt::ForbiddenCursor},
                                                          {IDC_HAND, Qt::PointingHandCursor},
                                                          {IDC_APPSTARTING, Qt::BusyCursor},
                                                          {IDC_HELP, Qt::WhatsThisCursor}}};

HCURSOR CurrentCursor = nullptr;

} // namespace

namespace platform::detail {
// Modifier keys of the key message being handled; unset outside one.
std::optional<Qt::KeyboardModifiers> MessageModifiers;
} // namespace platform::detail

int16_t GetKeyState(int32_t VirtKey) {
    using platform::detail::MessageModifiers;
    if (!MessageModifiers) return GetAsyncKeyState(VirtKey);
    constexpr auto down = static_cast<int16_t>(0x8000);
    switch (VirtKey) {
    case VK_SHIFT:
        return (*MessageModifiers & Qt::ShiftModifier) ? down : 0;
    case VK_CONTROL:
        return (*MessageModifiers & Qt::ControlModifier) ? down : 0;
    case VK_MENU:
        return (*MessageModifiers & Qt::AltModifier) ? down : 0;
    default:
        return GetAsyncKeyState(VirtKey);
    }
}

bool GetCursorPos(int32_t& X, int32_t& Y) {
    platform::detail::StartWindowLayer();
    const QPoint p = QCursor::pos();
    X = p.x();
    Y = p.y();
    return true;
}

bool SetCursorPos(int32_t X, int32_t Y) {
    platform::detail::StartWindowLayer();
    QCursor::setPos(X, Y);
    return true;
}

HCURSOR LoadCursor(int32_t Id) {
    platform::detail::StartWindowLayer();
    static std::vector<TCursorHandle> cursors = [] {
        std::vector<TCursorHandle> list;
        for (const TSystemCursor& c : SystemCursors)
            list.push_back({QCursor(c.Shape), true});
        return list;
    }();
    for (size_t i = 0; i < SystemCursors.size(); ++i)
        if (SystemCursors[i].Id == Id) return &cursors[i];
    return nullptr;
}

HCURSOR CreateCursor(int32_t HotX, int32_t HotY, int32_t Width, int32_t Height,
                     const void* AndPlane, const void* XorPlane) {
    if (Width <= 0 || Height <= 0 || Width > 256 || Height > 256 || AndPlane == nullptr ||
        XorPlane == nullptr)
        return nullptr;
    platform::detail::StartWindowLayer();
    const int32_t stride = (Width + 15) / 16 * 2;
    const auto* andBits = static_cast<const uint8_t*>(AndPlane);
    const auto* xorBits = static_cast<const uint8_t*>(XorPlane);
    QImage image(Width, Height, QImage::Format_ARGB32);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            const size_t byte = static_cast<size_t>(y) * stride + x / 8;
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
            const bool a = andBits[byte] & bit;
            const bool b = xorBits[byte] & bit;
            QRgb pixel = qRgba(0, 0, 0, 255);
            if (a && !b) pixel = qRgba(0, 0, 0, 0);
            if (!a && b) pixel = qRgba(255, 255, 255, 255);
            image.setPixel(x, y, pixel);
        }
    auto* handle = new TCursorHandle{QCursor(QPixmap::fromImage(image), HotX, HotY), false};
    return handle;
}

HCURSOR LoadCursorFromFileW(const String& FileName) {
    QFile file(QString::fromStdU16String(FileName));
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray bytes = file.read(1 << 20);
    const auto word = [&](qsizetype At) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[At])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[At + 1])) << 8;
    };
    // Header: reserved 0, type 2 (cursor), count; then 16-byte entries: width, height, colours,
    // reserved, hot spot x and y, data size and offset.
    if (bytes.size() < 22 || word(0) != 0 || word(2) != 2 || word(4) == 0) return nullptr;
    const uint32_t size = word(14) | word(16) << 16;
    const uint32_t offset = word(18) | word(20) << 16;
    if (offset > static_cast<uint64_t>(bytes.size()) || size > bytes.size() - offset)
        return nullptr;
    platform::detail::StartWindowLayer();
    const QImage image = QImage::fromData(bytes.mid(offset, size));
    if (image.isNull()) return nullptr;
    return new TCursorHandle{QCursor(QPixmap::fromImage(image), static_cast<int>(word(10)),
                                     static_cast<int>(word(12))),
                             false};
}

bool DestroyCursor(HCURSOR Cursor) {
    if (Cursor == nullptr || Cursor->System) return false;
    if (CurrentCursor == Cursor) CurrentCursor = nullptr;
    delete Cursor;
    return true;
}

HCURSOR SetCursor(HCURSOR Cursor) {
    HCURSOR old = CurrentCursor;
    CurrentCursor = Cursor;
    if (!platform::detail::GuiApplicationExists()) return old;
    if (QWidget* widget = QApplication::widgetAt(QCursor::pos()))
        widget->setCursor(Cursor != nullptr ? Cursor->Cursor : QCursor(Qt::BlankCursor));
    return old;
}

namespace platform::detail {
QCursor CursorOf(HCURSOR Cursor) {
    return Cursor != nullptr ? Cursor->Cursor : QCursor(Qt::ArrowCursor);
}
} // namespace platform::detail

HDC GetDC(HWND Wnd) {
    platform::detail::TNativeWindow* window = platform::detail::NativeWindowOf(Wnd);
    return window != nullptr && window->Exists() ? window->SurfaceDC() : nullptr;
}

int32_t ReleaseDC(HWND Wnd, HDC Dc) {
    platform::detail::TNativeWindow* window = platform::detail::NativeWindowOf(Wnd);
    if (window == nullptr || Dc == nullptr || !window->Surface || window->Surface->Dc != Dc)
        return 0;
    window->ShowSurface();
    return 1;
}

namespace {

bool ClientAreaHolds(TWinControl& Control, TPoint Point) {
    Control.ScreenToClient(Point.X, Point.Y);
    return Point.X >= 0 && Point.Y >= 0 && Point.X < Control.ClientWidth() &&
           Point.Y < Control.ClientHeight();
}

int32_t Depth(const TControl& Control) {
    int32_t depth = 0;
    for (const TControl* c = Control.Parent(); c != nullptr; c = c->Parent())
        ++depth;
    return depth;
}

} // namespace

HWND WindowFromPoint(TPoint Point) {
    TWinControl* found = nullptr;
    for (TWinControl* control : platform::detail::RegisteredControls()) {
        if (!control->HandleAllocated() || !control->Showing() || !ClientAreaHolds(*control, Point))
            continue;
        if (found == nullptr || Depth(*control) > Depth(*found)) found = control;
    }
    return found == nullptr ? nullptr : found->Handle();
}

bool EnableWindow(HWND Wnd, bool Enable) {
    platform::detail::TNativeWindow* window = platform::detail::NativeWindowOf(Wnd);
    if (window == nullptr || window->Frame == nullptr) return false;
    const bool wasDisabled = !window->Frame->isEnabled();
    window->Frame->setEnabled(Enable);
    return wasDisabled;
}

bool IsWindowEnabled(HWND Wnd) {
    const platform::detail::TNativeWindow* window = platform::detail::NativeWindowOf(Wnd);
    return window != nullptr && window->Frame != nullptr && window->Frame->isEnabled();
}

bool ClientToScreen(HWND Wnd, TPoint* Point) {
    TWinControl* control = platform::detail::FindControl(Wnd);
    if (control == nullptr) return false;
    control->ClientToScreen(Point->X, Point->Y);
    return true;
}

bool ScreenToClient(HWND Wnd, TPoint* Point) {
    TWinControl* control = platform::detail::FindControl(Wnd);
    if (control == nullptr) return false;
    control->ScreenToClient(Point->X, Point->Y);
    return true;
}
