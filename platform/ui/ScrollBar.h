// The common controls' flat scroll bars (the same bars here: only the look differs on Windows)
// and queries of a bar's visibility and arrows, over the window records' scroll-bar calls.
#pragma once

#include "platform/ui/Window.h"

bool IsScrollBarVisible(HWND Wnd, int32_t Bar);
// False when both arrows are disabled, or for a bad window or bar.
bool IsScrollBarEnabled(HWND Wnd, int32_t Bar);

bool InitializeFlatSB(HWND Wnd);
void UninitializeFlatSB(HWND Wnd);
int32_t FlatSB_SetScrollInfo(HWND Wnd, int32_t Bar, const SCROLLINFO* Info, bool Redraw);
bool FlatSB_SetScrollRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
int32_t FlatSB_SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
bool FlatSB_EnableScrollBar(HWND Wnd, int32_t Bar, uint32_t Arrows);
bool FlatSB_ShowScrollBar(HWND Wnd, int32_t Bar, bool Show);
