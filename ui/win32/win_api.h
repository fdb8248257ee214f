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

#include "rtl/text.h"

namespace qelvo::ui::win32 {

inline std::wstring W(const std::string& utf8) {
  const std::u16string w = rtl::Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

inline std::string U8(const std::wstring& text) {
  return rtl::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// The window's text in UTF-8.
inline std::string WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return U8(text);
}

}  // namespace qelvo::ui::win32
