// Window styles from the window layer's records.
#include "platform/ui/WindowLong.h"

#include "platform/ui/NativeWindow.h"

int32_t GetWindowLongW(HWND Wnd, int32_t Index) {
    if (!IsWindow(Wnd) || Wnd->Native == nullptr || !Wnd->Native->Exists()) return 0;
    const TCreateParams& params = Wnd->Native->Params;
    if (Index == GWL_EXSTYLE) return static_cast<int32_t>(params.ExStyle);
    if (Index != GWL_STYLE) return 0;
    uint32_t style = params.Style & ~(WS_HSCROLL | WS_VSCROLL);
    if (Wnd->Horz.Visible) style |= WS_HSCROLL;
    if (Wnd->Vert.Visible) style |= WS_VSCROLL;
    return static_cast<int32_t>(style);
}

int32_t SetWindowLongW(HWND Wnd, int32_t Index, int32_t NewLong) {
    if (Index != GWL_EXSTYLE || !IsWindow(Wnd) || Wnd->Native == nullptr || !Wnd->Native->Exists())
        return 0;
    platform::detail::TNativeWindow& window = *Wnd->Native;
    const uint32_t old = window.Params.ExStyle;
    window.Params.ExStyle = static_cast<uint32_t>(NewLong);
    if ((window.Params.ExStyle & WS_EX_LAYERED) && !(old & WS_EX_LAYERED))
        platform::detail::MakeLayered(window);
    return static_cast<int32_t>(old);
}
