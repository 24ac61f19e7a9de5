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
