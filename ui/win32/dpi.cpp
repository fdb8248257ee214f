#include "ui/win32/dpi.h"

namespace qelvo::ui::win32 {
namespace {

// Windows 10 (1607) calls, looked up so that the program still starts on Windows 7.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

TDpi DpiOf(HWND hwnd) {
  static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (forWindow && hwnd) {
    const UINT dpi = forWindow(hwnd);
    if (dpi > 0) return TDpi{static_cast<int>(dpi)};
  }
  HDC dc = ::GetDC(nullptr);
  const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : kDesignDpi;
  if (dc) ::ReleaseDC(nullptr, dc);
  return TDpi{dpi > 0 ? dpi : kDesignDpi};
}

SIZE WindowSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, TDpi dpi) {
  static const auto adjust = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT r{0, 0, clientWidth, clientHeight};
  if (!adjust || !adjust(&r, style, FALSE, exStyle, static_cast<UINT>(dpi.Value)))
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT WorkAreaOf(HWND hwnd) {
  HMONITOR monitor = hwnd ? ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY)
                          : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT r{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

void CentreOver(HWND hwnd, const RECT& over) {
  RECT w{};
  ::GetWindowRect(hwnd, &w);
  const int width = w.right - w.left, height = w.bottom - w.top;
  const int x = over.left + ((over.right - over.left) - width) / 2;
  const int y = over.top + ((over.bottom - over.top) - height) / 2;
  ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qelvo::ui::win32
