// A stand-in side installer for the demo packages: started by the installer through the
// shell, it appends its own path and arguments to the file named by QELVO_LAUNCH_LOG and
// ends. Without that variable (a person's demo run) it says in a box what it stands for.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = self;
  if (arguments && *arguments) line += std::wstring(L" ") + arguments;
  wchar_t log[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"QELVO_LAUNCH_LOG", log, MAX_PATH) == 0) {
    const std::wstring text = L"Instalador de demonstração:\n" + line;
    ::MessageBoxW(nullptr, text.c_str(), L"Qelvo demo", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), size, nullptr, nullptr);
  utf8 += "\n";
  HANDLE f = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(f);
  return ok ? 0 : 1;
}
