// A window's style as the system interfaces report it.
#pragma once

#include "platform/ui/Window.h"

#include <cstdint>

constexpr int32_t GWL_EXSTYLE = -20;
constexpr int32_t GWL_STYLE = -16;

// GWL_STYLE: the style the window was made with, its scroll-bar bits (WS_HSCROLL, WS_VSCROLL)
// following the bars shown now; GWL_EXSTYLE: the extended style. 0 for a handle without a
// window or another index.
int32_t GetWindowLongW(HWND Wnd, int32_t Index);
// GWL_EXSTYLE only: sets the extended style and answers the previous one. Adding WS_EX_LAYERED
// to a top-level window lets it show per-pixel alpha (UpdateLayeredWindow); 0 otherwise.
int32_t SetWindowLongW(HWND Wnd, int32_t Index, int32_t NewLong);
