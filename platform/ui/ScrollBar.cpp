// Flat scroll bars and scroll-bar queries over the window records.
#include "platform/ui/ScrollBar.h"

namespace {
const TScrollBarState* BarOf(HWND Wnd, int32_t Bar) {
    if (!IsWindow(Wnd)) return nullptr;
    if (Bar == SB_HORZ) return &Wnd->Horz;
    if (Bar == SB_VERT) return &Wnd->Vert;
    return nullptr;
}
} // namespace

bool IsScrollBarVisible(HWND Wnd, int32_t Bar) {
    const TScrollBarState* s = BarOf(Wnd, Bar);
    return s != nullptr && s->Visible;
}

bool IsScrollBarEnabled(HWND Wnd, int32_t Bar) {
    const TScrollBarState* s = BarOf(Wnd, Bar);
    return s != nullptr && s->Disabled != ESB_DISABLE_BOTH;
}

bool InitializeFlatSB(HWND Wnd) {
    return IsWindow(Wnd);
}

void UninitializeFlatSB(HWND) {}

int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO* Info, bool Redraw) {
    return SetScrollInfo(Wnd, Bar, Info, Redraw);
}

bool FlatSB_SetScrollRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw) {
    return SetScrollRange(Wnd, Bar, Min, Max, Redraw);
}

int32_t FlatSB_SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw) {
    return SetScrollPos(Wnd, Bar, Pos, Redraw);
}

bool FlatSB_EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows) {
    return EnableScrollBar(Wnd, Bar, Arrows);
}

bool FlatSB_ShowScrollBar(HWND Wnd, int32_t Bar, bool Show) {
    return ShowScrollBar(Wnd, Bar, Show);
}
