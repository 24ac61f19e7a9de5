// The scroll bars of a window: range, page, thumb position, arrows and visibility, in their
// plain and flat forms (the flat ones behave the same here; only the look differs on Windows).
#pragma once

#include "platform/ui/Messages.h"

constexpr uint32_t SIF_RANGE = 0x0001;
constexpr uint32_t SIF_PAGE = 0x0002;
constexpr uint32_t SIF_POS = 0x0004;
constexpr uint32_t SIF_DISABLENOSCROLL = 0x0008;
constexpr uint32_t SIF_TRACKPOS = 0x0010;
constexpr uint32_t SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

constexpr uint32_t ESB_ENABLE_BOTH = 0x0000;
constexpr uint32_t ESB_DISABLE_LTUP = 0x0001;
constexpr uint32_t ESB_DISABLE_RTDN = 0x0002;
constexpr uint32_t ESB_DISABLE_BOTH = 0x0003;

struct SCROLLINFO {
    uint32_t cbSize = 28;
    uint32_t fMask = 0;
    int32_t nMin = 0;
    int32_t nMax = 0;
    uint32_t nPage = 0;
    int32_t nPos = 0;
    int32_t nTrackPos = 0;
};

// Bar is SB_HORZ or SB_VERT. The position always stays within Min .. Max - Page + 1. Showing or
// hiding a bar changes the window's client area (WM_SIZE follows). All of them do nothing and
// answer 0 or false for a window that does not exist.
int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw);
bool GetScrollInfo(HWND Wnd, int32_t Bar, SCROLLINFO& Info);
bool SetScrollRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
// Answers the previous position.
int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
int32_t GetScrollPos(HWND Wnd, int32_t Bar);
bool EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows);
bool ShowScrollBar(HWND Wnd, int32_t Bar, bool Show);
// Whether the bar is shown now, and whether its arrows are enabled.
bool IsScrollBarVisible(HWND Wnd, int32_t Bar);
bool IsScrollBarEnabled(HWND Wnd, int32_t Bar);

bool InitializeFlatSB(HWND Wnd);
void UninitializeFlatSB(HWND Wnd);
int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw);
bool FlatSB_SetScrollRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
int32_t FlatSB_SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
bool FlatSB_EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows);
bool FlatSB_ShowScrollBar(HWND Wnd, int32_t Bar, bool Show);
