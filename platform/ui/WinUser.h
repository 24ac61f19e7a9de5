// Screen metrics, keyboard and mouse-button state, and cursors.
#pragma once

#include "platform/rtl/System.h"
#include "platform/ui/Messages.h"

#include <cstdint>

constexpr int32_t SM_CXSCREEN = 0;
constexpr int32_t SM_CYSCREEN = 1;
constexpr int32_t SM_CXVSCROLL = 2;
constexpr int32_t SM_CYHSCROLL = 3;
constexpr int32_t SM_CYCAPTION = 4;
constexpr int32_t SM_CXBORDER = 5;
constexpr int32_t SM_CYBORDER = 6;
constexpr int32_t SM_CYVTHUMB = 9;
constexpr int32_t SM_CXHTHUMB = 10;
constexpr int32_t SM_CXCURSOR = 13;
constexpr int32_t SM_CYCURSOR = 14;
constexpr int32_t SM_CXHSCROLL = 21;
constexpr int32_t SM_CYVSCROLL = 20;
constexpr int32_t SM_SWAPBUTTON = 23;
constexpr int32_t SM_CXDOUBLECLK = 36;
constexpr int32_t SM_CYDOUBLECLK = 37;
constexpr int32_t SM_CXEDGE = 45;
constexpr int32_t SM_CYEDGE = 46;
constexpr int32_t SM_CXDRAG = 68;
constexpr int32_t SM_CYDRAG = 69;
constexpr int32_t SM_MOUSEWHEELPRESENT = 75;
constexpr int32_t SM_REMOTESESSION = 0x1000;

// The screen's metrics: scroll-bar sizes from the toolkit's style, edges and borders of the
// classic window frame, the primary screen's size. No remote session, no swapped buttons.
int32_t GetSystemMetrics(int32_t Index);

// Device capabilities of the screen (what GetDeviceCaps answers for a screen device context):
// colour depth, logical resolution in dots per inch, size in pixels.
constexpr int32_t HORZRES = 8;
constexpr int32_t VERTRES = 10;
constexpr int32_t BITSPIXEL = 12;
constexpr int32_t PLANES = 14;
constexpr int32_t LOGPIXELSX = 88;
constexpr int32_t LOGPIXELSY = 90;
int32_t GetScreenDeviceCaps(int32_t Index);

// Key state as the system reports it: the high bit (a negative result) is set while the key is
// down. Mouse buttons answer through VK_LBUTTON, VK_RBUTTON and VK_MBUTTON.
int16_t GetKeyState(int32_t VirtKey);
int16_t GetAsyncKeyState(int32_t VirtKey);

// The mouse in screen coordinates.
bool GetCursorPos(int32_t& X, int32_t& Y);

// A cursor shape; nullptr is no cursor.
struct TCursorHandle;
using HCURSOR = TCursorHandle*;

// Ids of the system's cursors for LoadCursor with no module.
constexpr int32_t IDC_ARROW = 32512;
constexpr int32_t IDC_IBEAM = 32513;
constexpr int32_t IDC_WAIT = 32514;
constexpr int32_t IDC_CROSS = 32515;
constexpr int32_t IDC_UPARROW = 32516;
constexpr int32_t IDC_SIZENWSE = 32642;
constexpr int32_t IDC_SIZENESW = 32643;
constexpr int32_t IDC_SIZEWE = 32644;
constexpr int32_t IDC_SIZENS = 32645;
constexpr int32_t IDC_SIZEALL = 32646;
constexpr int32_t IDC_NO = 32648;
constexpr int32_t IDC_HAND = 32649;
constexpr int32_t IDC_APPSTARTING = 32650;
constexpr int32_t IDC_HELP = 32651;

// One of the system's cursors; nullptr for an unknown id. The handle lives for the process.
HCURSOR LoadCursor(int32_t Id);
// A cursor from its two 1-bit planes (rows of Width bits padded to 16 bits, most significant bit
// leftmost): AND 1 / XOR 0 transparent, AND 0 / XOR 0 black, AND 0 / XOR 1 white, AND 1 / XOR 1
// the screen inverted (shown black here). Free it with DestroyCursor.
HCURSOR CreateCursor(int32_t HotX, int32_t HotY, int32_t Width, int32_t Height,
                     const void* AndPlane, const void* XorPlane);
bool DestroyCursor(HCURSOR Cursor);
// Shows Cursor over the window the mouse is in now; answers the previous one.
HCURSOR SetCursor(HCURSOR Cursor);
