// Window messages: numbers, parameter packing, and sending or posting them to a window.
#pragma once

#include "platform/ui/Input.h"
#include "platform/ui/Window.h"

#include <cstdint>

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// One message as a control's dispatcher receives it; the handler sets Result.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// A key message seen as its parts: the virtual key code and the key data (bit 29: Alt held).
struct TWMKey {
    UINT Msg = 0;
    uint16_t CharCode = 0;
    LPARAM KeyData = 0;
    LRESULT Result = 0;
};

constexpr uint16_t LOWORD(uintptr_t Value) {
    return static_cast<uint16_t>(Value & 0xFFFF);
}
constexpr uint16_t HIWORD(uintptr_t Value) {
    return static_cast<uint16_t>((Value >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(int32_t Low, int32_t High) {
    return static_cast<LPARAM>(static_cast<uint32_t>(
        (static_cast<uint32_t>(Low) & 0xFFFF) | ((static_cast<uint32_t>(High) & 0xFFFF) << 16)));
}
constexpr WPARAM MAKEWPARAM(int32_t Low, int32_t High) {
    return static_cast<WPARAM>(MAKELPARAM(Low, High)) & 0xFFFFFFFFu;
}
// Signed client or screen coordinates packed in an lParam.
constexpr int32_t GET_X_LPARAM(LPARAM Value) {
    return static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(Value)));
}
constexpr int32_t GET_Y_LPARAM(LPARAM Value) {
    return static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(Value)));
}
constexpr int32_t GET_WHEEL_DELTA_WPARAM(WPARAM Value) {
    return static_cast<int16_t>(HIWORD(Value));
}
constexpr int32_t WHEEL_DELTA = 120;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
// LParam: the mouse in screen coordinates.
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_UNDO = 0x0304;
constexpr UINT WM_THEMECHANGED = 0x031A;
constexpr UINT WM_USER = 0x0400;

// The new place of a top-level window, sent with WM_WINDOWPOSCHANGING before it moves or
// changes size (lParam points to it).
struct WINDOWPOS {
    HWND hwnd = nullptr;
    HWND hwndInsertAfter = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    int32_t cx = 0;
    int32_t cy = 0;
    uint32_t flags = 0;
};

// Hit-test codes of non-client mouse messages.
constexpr WPARAM HTCAPTION = 2;

// Messages the class library sends among its controls.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_COLORCHANGED = CM_BASE + 1;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr UINT CM_DIALOGKEY = CM_BASE + 6; // WParam: VK_RETURN or VK_ESCAPE; Result 1 when taken
constexpr UINT CM_FONTCHANGED = CM_BASE + 8;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 9;
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 14;
constexpr UINT CM_INVALIDATE = CM_BASE + 37;
constexpr UINT CM_RECREATEWND = CM_BASE + 51;

// WM_SIZE kinds.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// Key state bits of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// The codes of WM_HSCROLL / WM_VSCROLL (low word of wParam; the high word carries the thumb
// position of SB_THUMBPOSITION and SB_THUMBTRACK).
constexpr WPARAM SB_LINEUP = 0;
constexpr WPARAM SB_LINELEFT = 0;
constexpr WPARAM SB_LINEDOWN = 1;
constexpr WPARAM SB_LINERIGHT = 1;
constexpr WPARAM SB_PAGEUP = 2;
constexpr WPARAM SB_PAGELEFT = 2;
constexpr WPARAM SB_PAGEDOWN = 3;
constexpr WPARAM SB_PAGERIGHT = 3;
constexpr WPARAM SB_THUMBPOSITION = 4;
constexpr WPARAM SB_THUMBTRACK = 5;
constexpr WPARAM SB_TOP = 6;
constexpr WPARAM SB_LEFT = 6;
constexpr WPARAM SB_BOTTOM = 7;
constexpr WPARAM SB_RIGHT = 7;
constexpr WPARAM SB_ENDSCROLL = 8;

// Virtual key codes (the mouse buttons and modifier keys are in Input.h).
constexpr uint16_t VK_BACK = 0x08;
constexpr uint16_t VK_TAB = 0x09;
constexpr uint16_t VK_RETURN = 0x0D;
constexpr uint16_t VK_ESCAPE = 0x1B;
constexpr uint16_t VK_SPACE = 0x20;
constexpr uint16_t VK_PRIOR = 0x21;
constexpr uint16_t VK_NEXT = 0x22;
constexpr uint16_t VK_END = 0x23;
constexpr uint16_t VK_HOME = 0x24;
constexpr uint16_t VK_LEFT = 0x25;
constexpr uint16_t VK_UP = 0x26;
constexpr uint16_t VK_RIGHT = 0x27;
constexpr uint16_t VK_DOWN = 0x28;
constexpr uint16_t VK_INSERT = 0x2D;
constexpr uint16_t VK_DELETE = 0x2E;
constexpr uint16_t VK_MULTIPLY = 0x6A;
constexpr uint16_t VK_ADD = 0x6B;
constexpr uint16_t VK_SUBTRACT = 0x6D;
constexpr uint16_t VK_F1 = 0x70;
constexpr uint16_t VK_F11 = 0x7A;
// The key carrying "=" and "+" on the main keyboard.
constexpr uint16_t VK_OEM_PLUS = 0xBB;

// Delivers the message to the window's control at once and answers its result; 0 when
// the window is not (or no longer) alive. Main thread only.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the window's control; safe from any thread. The message reaches the
// control in posting order from the main thread's message loop, also when the control has
// re-created its window meanwhile, and is dropped when the control is gone. False when Wnd is
// not a live window.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
bool PostMessageW(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Asks the main thread's message loop to end with ExitCode.
void PostQuitMessage(int32_t ExitCode);

// A posted message as the queue hands it out.
struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
// Looks in the main thread's queue of posted messages for the first one to Wnd (any window for
// nil) whose number lies in MsgFilterMin .. MsgFilterMax (both 0: any number). A pending quit
// request is answered as WM_QUIT (wParam the exit code) whatever the filter, and PM_REMOVE
// clears it. False when nothing matches. Main thread only.
bool PeekMessageW(MSG* Msg, HWND Wnd, UINT MsgFilterMin, UINT MsgFilterMax, UINT RemoveMsg);
