#pragma once
// UTF-8 <-> UTF-16 for the wide-character Windows API: the program's texts are UTF-8,
// every W call takes and gives UTF-16. Shared by the platform layer, the Windows front
// end and the Windows test support; needs no Windows header.
#include <string>

#include "rtl/text.h"

namespace qelvo::platform::win32 {

inline std::wstring Wide(const std::string& utf8) {
  const std::u16string w = rtl::Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

inline std::string Narrow(const wchar_t* text, size_t length) {
  return rtl::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}
inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

}  // namespace qelvo::platform::win32
