#pragma once
// Internal to platform/win32: the Windows headers, without the macros that would rename
// this layer's own functions (DeleteFile, GetTempPath, ...), and the UTF-8 <-> UTF-16
// conversions every call needs. Include after the platform header being implemented.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef GetTempPath
#undef GetTempFileName
#undef GetDriveType
#undef CreateDirectory
#undef ReplaceFile

#include <string>

#include "platform/os_error.h"
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

// Records GetLastError as the last OS error and returns the failure value.
template <typename T>
T Fail(T value) {
  SetLastOSError(static_cast<int>(::GetLastError()));
  return value;
}

}  // namespace qelvo::platform::win32
