// Windows with per-pixel alpha: a top-level window given WS_EX_LAYERED shows a picture of its
// own in place of its painted face.
#pragma once

#include "platform/ui/Window.h"

#include <cstdint>

// Places the window at (X, Y), Width x Height, and shows Pixels as its face: rows top-down, each
// pixel 32-bit ARGB with premultiplied colour (alpha in the top byte), every pixel further scaled
// by ConstantAlpha / 255. False when Wnd is not a layered top-level window. Without a compositing
// window manager the desktop shows such a window opaque.
bool UpdateLayeredWindow(HWND Wnd, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                         const uint32_t* Pixels, uint8_t ConstantAlpha);
