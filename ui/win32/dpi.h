#pragma once
// Layout at 96 dots per inch, scaled to the window's monitor: the program declares
// per-monitor awareness where Windows offers it, so every coordinate and font height of
// the design goes through one TDpi.
#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

inline constexpr int kDesignDpi = 96;

struct TDpi {
  int Value = kDesignDpi;
  int operator()(int designPixels) const { return ::MulDiv(designPixels, Value, kDesignDpi); }
};

// The window's dots per inch (GetDpiForWindow where it exists, else the screen's).
TDpi DpiOf(HWND hwnd);

// Outer size of a window whose client area is clientWidth x clientHeight.
SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, TDpi dpi);

// Work area of the monitor that holds the window (the primary monitor for none).
RECT WorkAreaOf(HWND hwnd);

// Moves a window so that its centre is the centre of the rectangle.
void CentreOver(HWND hwnd, const RECT& over);

}  // namespace qelvo::ui::win32
