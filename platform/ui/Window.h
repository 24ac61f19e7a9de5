// Window handles: our own record per window, holding for now the state of its two scroll bars,
// with the scroll-bar calls of the system interfaces over it. The window layer attaches its
// widget and client surface to the same record.
#pragma once

#include <cstdint>

// One scroll bar: its range, page, position and what the user sees of it.
struct TScrollBarState {
    int32_t Min = 0;
    int32_t Max = 0;
    uint32_t Page = 0;
    int32_t Pos = 0;
    // Where the thumb is while being dragged (equal to Pos otherwise).
    int32_t TrackPos = 0;
    bool Visible = false;
    // ESB_ flags of the arrows that are disabled.
    uint32_t Disabled = 0;
};

namespace platform::detail {
struct TNativeWindow;
// Shows a scroll bar's new state on the window (and its client area when the bar came or went).
void ScrollBarChanged(TNativeWindow& Window, int32_t Bar);
} // namespace platform::detail

struct TWindowHandle {
    TScrollBarState Horz;
    TScrollBarState Vert;
    // The window layer's widgets and retained surface behind the handle; nil while the handle
    // has no window.
    platform::detail::TNativeWindow* Native = nullptr;
};
using HWND = TWindowHandle*;

// A new window record, registered so that the calls below can tell it from a stale handle.
HWND AllocateWindowHandle();
void ReleaseWindowHandle(HWND Window);
bool IsWindow(HWND Window);

enum : int32_t { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };
enum : uint32_t {
    SIF_RANGE = 0x01,
    SIF_PAGE = 0x02,
    SIF_POS = 0x04,
    SIF_DISABLENOSCROLL = 0x08,
    SIF_TRACKPOS = 0x10,
    SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS
};
enum : uint32_t {
    ESB_ENABLE_BOTH = 0,
    ESB_DISABLE_LTUP = 1,
    ESB_DISABLE_RTDN = 2,
    ESB_DISABLE_BOTH = 3
};

struct SCROLLINFO {
    uint32_t cbSize = sizeof(SCROLLINFO);
    uint32_t fMask = 0;
    int32_t nMin = 0;
    int32_t nMax = 0;
    uint32_t nPage = 0;
    int32_t nPos = 0;
    int32_t nTrackPos = 0;
};
static_assert(sizeof(SCROLLINFO) == 28);

// Sets the fields fMask names, then keeps the page within the range (at most Max - Min + 1)
// and the position within Min .. Max - Page + 1. A range or page change shows the bar when the
// range is more than one page and hides it otherwise; with SIF_DISABLENOSCROLL the bar stays
// visible and is disabled instead. Returns the position; 0 for a bad handle or bar. Redraw is
// left to the window layer.
int32_t SetScrollInfo(HWND Window, int32_t Bar, const SCROLLINFO* Info, bool Redraw);
// Fills the fields fMask names; false when it names none, or for a bad handle, bar or size.
bool GetScrollInfo(HWND Window, int32_t Bar, SCROLLINFO* Info);
// False when Max - Min does not fit in 32 bits. Min = Max hides the bar.
bool SetScrollRange(HWND Window, int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
bool GetScrollRange(HWND Window, int32_t Bar, int32_t* Min, int32_t* Max);
// Returns the previous position.
int32_t SetScrollPos(HWND Window, int32_t Bar, int32_t Pos, bool Redraw);
int32_t GetScrollPos(HWND Window, int32_t Bar);
bool ShowScrollBar(HWND Window, int32_t Bar, bool Show);
// False when the arrows already were in that state.
bool EnableScrollBar(HWND Window, int32_t Bar, uint32_t Arrows);
