// The state of the keyboard and mouse buttons, and the desktop metrics, as the system
// interfaces report them.
#pragma once

#include <cstdint>

enum : int32_t {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12
};
// Bit 15 set (a negative value) while the key or button is down; 0 for keys it cannot tell.
int16_t GetAsyncKeyState(int32_t Key);

enum : int32_t {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CYCAPTION = 4,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CYVTHUMB = 9,
    SM_CXHTHUMB = 10,
    SM_CXCURSOR = 13,
    SM_CYCURSOR = 14,
    SM_CYVSCROLL = 20,
    SM_CXHSCROLL = 21,
    SM_SWAPBUTTON = 23,
    SM_CXDOUBLECLK = 36,
    SM_CYDOUBLECLK = 37,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
    SM_CXDRAG = 68,
    SM_CYDRAG = 69,
    SM_MOUSEWHEELPRESENT = 75,
    SM_REMOTESESSION = 0x1000
};
// The desktop already swaps the buttons for left-handed users before any program sees them,
// so SM_SWAPBUTTON is always 0 and the left button is the primary one. Edges and borders are
// those of the classic window frame; there is no remote session. Unknown metrics give 0.
int32_t GetSystemMetrics(int32_t Index);
