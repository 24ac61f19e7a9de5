// Window records and their scroll bars.
#include "platform/ui/Window.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

namespace {

struct Windows {
    std::mutex Lock;
    std::unordered_set<HWND> Live;
};

Windows& TheWindows() {
    static Windows* windows = new Windows;
    return *windows;
}

// The bar of a live window, or nil.
TScrollBarState* BarOf(HWND window, int32_t bar) {
    if (!IsWindow(window)) return nullptr;
    if (bar == SB_HORZ) return &window->Horz;
    if (bar == SB_VERT) return &window->Vert;
    return nullptr;
}

void Clamp(TScrollBarState& s) {
    const int64_t span = int64_t{s.Max} - s.Min + 1;
    if (s.Page > span) s.Page = static_cast<uint32_t>(span);
    const int64_t last =
        std::max<int64_t>(s.Min, int64_t{s.Max} - std::max<int64_t>(s.Page, 1) + 1);
    s.Pos = static_cast<int32_t>(std::clamp<int64_t>(s.Pos, s.Min, last));
}

// The window layer shows every change of a bar.
void Changed(HWND Window, int32_t Bar) {
    if (Window->Native != nullptr) platform::detail::ScrollBarChanged(*Window->Native, Bar);
}

bool Scrollable(const TScrollBarState& s) {
    return s.Max > s.Min && int64_t{s.Page} <= int64_t{s.Max} - s.Min;
}

} // namespace

HWND AllocateWindowHandle() {
    auto* window = new TWindowHandle;
    Windows& w = TheWindows();
    std::lock_guard guard(w.Lock);
    w.Live.insert(window);
    return window;
}

void ReleaseWindowHandle(HWND Window) {
    Windows& w = TheWindows();
    std::lock_guard guard(w.Lock);
    if (w.Live.erase(Window) != 0) delete Window;
}

bool IsWindow(HWND Window) {
    Windows& w = TheWindows();
    std::lock_guard guard(w.Lock);
    return w.Live.contains(Window);
}

int32_t SetScrollInfo(HWND Window, int32_t Bar, const SCROLLINFO* Info, bool) {
    TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr || Info == nullptr || Info->cbSize != sizeof(SCROLLINFO)) return 0;
    if (Info->fMask & SIF_RANGE) {
        s->Min = Info->nMin;
        s->Max = std::max(Info->nMin, Info->nMax);
    }
    if (Info->fMask & SIF_PAGE) s->Page = Info->nPage;
    if (Info->fMask & SIF_POS) s->Pos = Info->nPos;
    Clamp(*s);
    s->TrackPos = s->Pos;
    if (Info->fMask & (SIF_RANGE | SIF_PAGE)) {
        if (Info->fMask & SIF_DISABLENOSCROLL) {
            s->Visible = true;
            s->Disabled = Scrollable(*s) ? ESB_ENABLE_BOTH : ESB_DISABLE_BOTH;
        } else {
            s->Visible = Scrollable(*s);
        }
    }
    Changed(Window, Bar);
    return s->Pos;
}

bool GetScrollInfo(HWND Window, int32_t Bar, SCROLLINFO* Info) {
    const TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr || Info == nullptr || Info->cbSize != sizeof(SCROLLINFO)) return false;
    if (Info->fMask & SIF_RANGE) {
        Info->nMin = s->Min;
        Info->nMax = s->Max;
    }
    if (Info->fMask & SIF_PAGE) Info->nPage = s->Page;
    if (Info->fMask & SIF_POS) Info->nPos = s->Pos;
    if (Info->fMask & SIF_TRACKPOS) Info->nTrackPos = s->TrackPos;
    return (Info->fMask & SIF_ALL) != 0;
}

bool SetScrollRange(HWND Window, int32_t Bar, int32_t Min, int32_t Max, bool Redraw) {
    if (BarOf(Window, Bar) == nullptr || int64_t{Max} - Min > INT32_MAX) return false;
    SCROLLINFO info;
    info.fMask = SIF_RANGE;
    info.nMin = Min;
    info.nMax = Max;
    SetScrollInfo(Window, Bar, &info, Redraw);
    return true;
}

bool GetScrollRange(HWND Window, int32_t Bar, int32_t* Min, int32_t* Max) {
    const TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr || Min == nullptr || Max == nullptr) return false;
    *Min = s->Min;
    *Max = s->Max;
    return true;
}

int32_t SetScrollPos(HWND Window, int32_t Bar, int32_t Pos, bool Redraw) {
    const TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr) return 0;
    const int32_t previous = s->Pos;
    SCROLLINFO info;
    info.fMask = SIF_POS;
    info.nPos = Pos;
    SetScrollInfo(Window, Bar, &info, Redraw);
    return previous;
}

int32_t GetScrollPos(HWND Window, int32_t Bar) {
    const TScrollBarState* s = BarOf(Window, Bar);
    return s == nullptr ? 0 : s->Pos;
}

bool ShowScrollBar(HWND Window, int32_t Bar, bool Show) {
    if (Bar == SB_BOTH)
        return ShowScrollBar(Window, SB_HORZ, Show) && ShowScrollBar(Window, SB_VERT, Show);
    TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr) return false;
    s->Visible = Show;
    Changed(Window, Bar);
    return true;
}

bool EnableScrollBar(HWND Window, int32_t Bar, uint32_t Arrows) {
    if (Arrows > ESB_DISABLE_BOTH) return false;
    if (Bar == SB_BOTH) {
        const bool horz = EnableScrollBar(Window, SB_HORZ, Arrows);
        const bool vert = EnableScrollBar(Window, SB_VERT, Arrows);
        return horz || vert;
    }
    TScrollBarState* s = BarOf(Window, Bar);
    if (s == nullptr || s->Disabled == Arrows) return false;
    s->Disabled = Arrows;
    Changed(Window, Bar);
    return true;
}
