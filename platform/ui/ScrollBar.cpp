// Scroll bars of a window over the window layer's scroll-bar widgets.
#include "platform/ui/ScrollBar.h"

#include "platform/ui/NativeWindow.h"

#include <algorithm>

namespace {

using platform::detail::TNativeWindow;
using platform::detail::TScrollBarView;

TNativeWindow* WindowWithBar(HWND Wnd, int32_t Bar) {
    if (Bar != SB_HORZ && Bar != SB_VERT && Bar != SB_BOTH) return nullptr;
    TNativeWindow* window = platform::detail::NativeWindowOf(Wnd);
    return window != nullptr && window->Exists() ? window : nullptr;
}

int32_t HighestPos(const TScrollBarView& View) {
    return View.Page > 0 ? std::max(View.Min, View.Max - static_cast<int32_t>(View.Page) + 1)
                         : View.Max;
}

void Normalise(TScrollBarView& View) {
    View.Pos = std::clamp(View.Pos, View.Min, std::max(View.Min, HighestPos(View)));
}

// Applies Change to the state of each addressed bar and shows the result.
template <class ChangeT> bool Change(HWND Wnd, int32_t Bar, ChangeT Apply) {
    TNativeWindow* window = WindowWithBar(Wnd, Bar);
    if (window == nullptr) return false;
    for (int32_t b : {SB_HORZ, SB_VERT}) {
        if (Bar != SB_BOTH && Bar != b) continue;
        TScrollBarView view = window->BarViews[b];
        Apply(view);
        Normalise(view);
        window->SetScrollBar(b, view);
    }
    return true;
}

} // namespace

int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool) {
    int32_t pos = 0;
    Change(Wnd, Bar, [&](TScrollBarView& View) {
        if (Info.fMask & SIF_RANGE) {
            View.Min = Info.nMin;
            View.Max = std::max(Info.nMin, Info.nMax);
        }
        if (Info.fMask & SIF_PAGE)
            View.Page =
                std::min<uint32_t>(Info.nPage, static_cast<uint32_t>(View.Max - View.Min) + 1);
        if (Info.fMask & SIF_POS) View.Pos = Info.nPos;
        Normalise(View);
        pos = View.Pos;
    });
    return pos;
}

bool GetScrollInfo(HWND Wnd, int32_t Bar, SCROLLINFO& Info) {
    TNativeWindow* window = WindowWithBar(Wnd, Bar);
    if (window == nullptr || Bar == SB_BOTH) return false;
    const TScrollBarView& view = window->BarViews[Bar];
    if (Info.fMask & SIF_RANGE) {
        Info.nMin = view.Min;
        Info.nMax = view.Max;
    }
    if (Info.fMask & SIF_PAGE) Info.nPage = view.Page;
    if (Info.fMask & SIF_POS) Info.nPos = view.Pos;
    if (Info.fMask & SIF_TRACKPOS) Info.nTrackPos = view.Pos;
    return true;
}

bool SetScrollRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool) {
    if (Bar == SB_BOTH) return false;
    return Change(Wnd, Bar, [&](TScrollBarView& View) {
        View.Min = Min;
        View.Max = std::max(Min, Max);
    });
}

int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool) {
    int32_t previous = 0;
    if (Bar == SB_BOTH) return 0;
    Change(Wnd, Bar, [&](TScrollBarView& View) {
        previous = View.Pos;
        View.Pos = Pos;
    });
    return previous;
}

int32_t GetScrollPos(HWND Wnd, int32_t Bar) {
    TNativeWindow* window = WindowWithBar(Wnd, Bar);
    return window == nullptr || Bar == SB_BOTH ? 0 : window->BarViews[Bar].Pos;
}

bool EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows) {
    return Change(Wnd, Bar,
                  [&](TScrollBarView& View) { View.Enabled = Arrows != ESB_DISABLE_BOTH; });
}

bool ShowScrollBar(HWND Wnd, int32_t Bar, bool Show) {
    return Change(Wnd, Bar, [&](TScrollBarView& View) { View.Visible = Show; });
}

bool IsScrollBarVisible(HWND Wnd, int32_t Bar) {
    TNativeWindow* window = WindowWithBar(Wnd, Bar);
    return window != nullptr && Bar != SB_BOTH && window->BarViews[Bar].Visible;
}

bool IsScrollBarEnabled(HWND Wnd, int32_t Bar) {
    TNativeWindow* window = WindowWithBar(Wnd, Bar);
    return window != nullptr && Bar != SB_BOTH && window->BarViews[Bar].Enabled;
}

bool InitializeFlatSB(HWND Wnd) {
    return WindowWithBar(Wnd, SB_BOTH) != nullptr;
}

void UninitializeFlatSB(HWND) {}

int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw) {
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
