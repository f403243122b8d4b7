#pragma once
// Window messages in the form the engine and its scripts use: the numbers and
// virtual-key codes of the original platform, because scripts name them ("Case"
// can wait for any message number) and the input code is written against them.
// The SDL layer translates its events into these; tests build them by hand.

#include "foundation/types.h"

namespace platform {

struct WindowMessage {
    u32 message = 0;
    u64 wParam = 0;
    int64 lParam = 0;
};

// Message numbers.
inline constexpr u32 WM_DESTROY = 0x0002;
inline constexpr u32 WM_SIZE = 0x0005;
inline constexpr u32 WM_SETFOCUS = 0x0007;
inline constexpr u32 WM_KILLFOCUS = 0x0008;
inline constexpr u32 WM_CLOSE = 0x0010;
inline constexpr u32 WM_QUIT = 0x0012;
inline constexpr u32 WM_SETCURSOR = 0x0020;
inline constexpr u32 WM_KEYDOWN = 0x0100;
inline constexpr u32 WM_KEYUP = 0x0101;
inline constexpr u32 WM_SYSKEYDOWN = 0x0104;
inline constexpr u32 WM_SYSKEYUP = 0x0105;
inline constexpr u32 WM_SYSCOMMAND = 0x0112;
inline constexpr u32 WM_MOUSEMOVE = 0x0200;
inline constexpr u32 WM_LBUTTONDOWN = 0x0201;
inline constexpr u32 WM_LBUTTONUP = 0x0202;
inline constexpr u32 WM_RBUTTONDOWN = 0x0204;
inline constexpr u32 WM_RBUTTONUP = 0x0205;
inline constexpr u32 WM_MBUTTONDOWN = 0x0207;
inline constexpr u32 WM_MBUTTONUP = 0x0208;
inline constexpr u32 WM_MOUSEWHEEL = 0x020A;
inline constexpr u32 WM_XBUTTONDOWN = 0x020B;
inline constexpr u32 WM_XBUTTONUP = 0x020C;

// WM_SIZE kinds.
inline constexpr u64 SIZE_RESTORED = 0;
inline constexpr u64 SIZE_MINIMIZED = 1;
inline constexpr u64 SIZE_MAXIMIZED = 2;

// System commands (wParam & 0xFFF0 of WM_SYSCOMMAND).
inline constexpr u64 SC_SIZE = 0xF000;
inline constexpr u64 SC_MOVE = 0xF010;
inline constexpr u64 SC_MAXIMIZE = 0xF030;
inline constexpr u64 SC_KEYMENU = 0xF100;

// Key-message lParam bits.
inline constexpr int64 kAltDownBit = int64{1} << 29;
inline constexpr int64 kPreviousDownBit = int64{1} << 30;
inline constexpr int64 kTransitionUpBit = int64{1} << 31;

// Mouse-button state bits in the wParam of mouse messages.
inline constexpr u64 MK_LBUTTON = 0x0001;
inline constexpr u64 MK_RBUTTON = 0x0002;
inline constexpr u64 MK_SHIFT = 0x0004;
inline constexpr u64 MK_CONTROL = 0x0008;
inline constexpr u64 MK_MBUTTON = 0x0010;
inline constexpr u64 MK_XBUTTON1 = 0x0020;
inline constexpr u64 MK_XBUTTON2 = 0x0040;

inline constexpr int WHEEL_DELTA = 120;

// Virtual-key codes.
inline constexpr u32 VK_LBUTTON = 0x01;
inline constexpr u32 VK_RBUTTON = 0x02;
inline constexpr u32 VK_MBUTTON = 0x04;
inline constexpr u32 VK_BACK = 0x08;
inline constexpr u32 VK_TAB = 0x09;
inline constexpr u32 VK_RETURN = 0x0D;
inline constexpr u32 VK_SHIFT = 0x10;
inline constexpr u32 VK_CONTROL = 0x11;
inline constexpr u32 VK_MENU = 0x12;
inline constexpr u32 VK_PAUSE = 0x13;
inline constexpr u32 VK_CAPITAL = 0x14;
inline constexpr u32 VK_ESCAPE = 0x1B;
inline constexpr u32 VK_SPACE = 0x20;
inline constexpr u32 VK_PRIOR = 0x21;
inline constexpr u32 VK_NEXT = 0x22;
inline constexpr u32 VK_END = 0x23;
inline constexpr u32 VK_HOME = 0x24;
inline constexpr u32 VK_LEFT = 0x25;
inline constexpr u32 VK_UP = 0x26;
inline constexpr u32 VK_RIGHT = 0x27;
inline constexpr u32 VK_DOWN = 0x28;
inline constexpr u32 VK_SNAPSHOT = 0x2C;
inline constexpr u32 VK_INSERT = 0x2D;
inline constexpr u32 VK_DELETE = 0x2E;
inline constexpr u32 VK_LWIN = 0x5B;
inline constexpr u32 VK_RWIN = 0x5C;
inline constexpr u32 VK_APPS = 0x5D;
inline constexpr u32 VK_NUMPAD0 = 0x60;
inline constexpr u32 VK_MULTIPLY = 0x6A;
inline constexpr u32 VK_ADD = 0x6B;
inline constexpr u32 VK_SUBTRACT = 0x6D;
inline constexpr u32 VK_DECIMAL = 0x6E;
inline constexpr u32 VK_DIVIDE = 0x6F;
inline constexpr u32 VK_F1 = 0x70;
inline constexpr u32 VK_F10 = 0x79;
inline constexpr u32 VK_NUMLOCK = 0x90;
inline constexpr u32 VK_SCROLL = 0x91;
inline constexpr u32 VK_OEM_1 = 0xBA;       // ;:
inline constexpr u32 VK_OEM_PLUS = 0xBB;    // =+
inline constexpr u32 VK_OEM_COMMA = 0xBC;
inline constexpr u32 VK_OEM_MINUS = 0xBD;
inline constexpr u32 VK_OEM_PERIOD = 0xBE;
inline constexpr u32 VK_OEM_2 = 0xBF;       // /?
inline constexpr u32 VK_OEM_3 = 0xC0;       // `~
inline constexpr u32 VK_OEM_4 = 0xDB;       // [{
inline constexpr u32 VK_OEM_5 = 0xDC;       // backslash
inline constexpr u32 VK_OEM_6 = 0xDD;       // ]}
inline constexpr u32 VK_OEM_7 = 0xDE;       // '"

// lParam of a mouse message: client x and y as signed 16-bit halves.
inline int64 MakePointParam(int x, int y) {
    return static_cast<int64>((static_cast<u32>(static_cast<u16>(y)) << 16) | static_cast<u16>(x));
}
inline int PointParamX(int64 lParam) { return static_cast<int16>(static_cast<u16>(lParam & 0xFFFF)); }
inline int PointParamY(int64 lParam) { return static_cast<int16>(static_cast<u16>((lParam >> 16) & 0xFFFF)); }

}  // namespace platform
