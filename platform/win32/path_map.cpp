// Windows paths are the native paths: nothing to map. Forward slashes, which the
// Windows calls accept too, are shown as backslashes.
#include "platform/path_map.h"

#include <cstdlib>

#include "platform/win32/windows_api.h"

namespace qelvo::platform {

std::string DriveCRoot() {
  wchar_t buf[MAX_PATH];
  const UINT n = ::GetSystemWindowsDirectoryW(buf, MAX_PATH);
  if (n >= 2 && n < MAX_PATH && buf[1] == L':') return win32::Narrow(buf, 2);
  return "C:";
}

std::optional<std::string> ToNativePath(const std::string& windowsPath) { return windowsPath; }

std::string ToNativePathOrThrow(const std::string& windowsPath) { return windowsPath; }

std::string FromNativePath(const std::string& nativePath) {
  std::string s = nativePath;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

}  // namespace qelvo::platform
