#pragma once
// The Windows headers for the front end, and the UTF-8 <-> UTF-16 conversions between the
// installer's texts and the window API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace qelvo::ui::win32 {

using platform::win32::Narrow;
using platform::win32::Wide;

// The window's text in UTF-8.
inline std::string WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

}  // namespace qelvo::ui::win32
