// Screen metrics, keyboard and mouse-button state, and cursors.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/rtl/System.h"
#include "platform/ui/Messages.h"

#include <cstdint>

// Key state as of the message being handled: the high bit (a negative result) is set while the
// key is down. The toolkit tracks one state, so this answers as GetAsyncKeyState (Input.h).
int16_t GetKeyState(int32_t VirtKey);

// The mouse in screen coordinates.
bool GetCursorPos(int32_t& X, int32_t& Y);
// Moves the mouse to (X, Y) in screen coordinates.
bool SetCursorPos(int32_t X, int32_t Y);

// The innermost shown window whose client area holds the screen point; nil where there is none.
HWND WindowFromPoint(TPoint Point);
// Client coordinates of a window to screen coordinates and back; false for no window.
bool ClientToScreen(HWND Wnd, TPoint* Point);
bool ScreenToClient(HWND Wnd, TPoint* Point);
// Takes a top-level window's mouse, keyboard, wheel and drop input away (false) or gives it back
// (true), its controls' with it; true when the window was disabled before.
bool EnableWindow(HWND Wnd, bool Enable);
// False while the window, or the window it sits in, takes no input; false for no window.
bool IsWindowEnabled(HWND Wnd);

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
// The first cursor of a cursor file (".cur": a directory of pictures with hot spots; pictures
// stored as PNG or as the toolkit's image formats read them); nullptr when the file cannot be
// read. Free it with DestroyCursor.
HCURSOR LoadCursorFromFileW(const String& FileName);
// Shows Cursor over the window the mouse is in now; answers the previous one.
HCURSOR SetCursor(HCURSOR Cursor);

// The device context of a window's client area: its retained surface, which keeps what was
// drawn and is shown by the window's next paint. nil for no window (there is no screen to draw
// on directly here).
HDC GetDC(HWND Wnd);
// Shows what was drawn; 1 when Dc is the window's, else 0.
int32_t ReleaseDC(HWND Wnd, HDC Dc);
