#include "platform/os_error.h"

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {
thread_local int lastError = 0;
}

int GetLastOSError() { return lastError; }
void SetLastOSError(int code) { lastError = code; }

std::string SysErrorMessage(int code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0 || !text) return "System error " + std::to_string(code);
  std::string s = win32::Narrow(text, n);
  ::LocalFree(text);
  // The system's texts end with a full stop and a line break.
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

}  // namespace qelvo::platform
