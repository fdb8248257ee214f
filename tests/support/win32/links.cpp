// A junction is a folder carrying a mount-point reparse point; its buffer is built here
// (the layout of REPARSE_DATA_BUFFER, which the SDK headers keep to the driver kit).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include "platform/os_error.h"
#include "rtl/byte_order.h"
#include "tests/support/links.h"

namespace qelvo::test {
namespace {

namespace fs = std::filesystem;

bool Fail(std::string* why, const std::string& what, DWORD code) {
  if (why)
    *why = what + ": " + platform::SysErrorMessage(static_cast<int>(code)) + " (error " + std::to_string(code) + ")";
  return false;
}

// Some systems accept a link request and make nothing: only a reparse point on disk counts.
bool IsReparsePoint(const fs::path& p) {
  const DWORD a = ::GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The name and its NUL in UTF-16 little-endian.
void AppendUtf16z(std::string& out, const std::wstring& s) {
  for (wchar_t c : s) rtl::AppendLe16(out, static_cast<uint16_t>(c));
  rtl::AppendLe16(out, 0);
}

}  // namespace

bool PlantFolderLink(const fs::path& target, const fs::path& link, std::string* why) {
  const std::wstring print = fs::absolute(target).wstring();
  const std::wstring substitute = L"\\??\\" + print;
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return Fail(why, "folder for the junction", ::GetLastError());
  // Mount-point data: offsets and lengths of the substitute and print names, then both.
  const auto substituteBytes = static_cast<uint16_t>(substitute.size() * 2);
  std::string data;
  rtl::AppendLe16(data, 0);
  rtl::AppendLe16(data, substituteBytes);
  rtl::AppendLe16(data, static_cast<uint16_t>(substituteBytes + 2));
  rtl::AppendLe16(data, static_cast<uint16_t>(print.size() * 2));
  AppendUtf16z(data, substitute);
  AppendUtf16z(data, print);
  std::string buffer;
  rtl::AppendLe32(buffer, IO_REPARSE_TAG_MOUNT_POINT);
  rtl::AppendLe16(buffer, static_cast<uint16_t>(data.size()));
  rtl::AppendLe16(buffer, 0);
  buffer += data;

  const HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD code = ::GetLastError();
  bool set = false;
  if (h != INVALID_HANDLE_VALUE) {
    DWORD returned = 0;
    set = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                            &returned, nullptr);
    code = ::GetLastError();
    ::CloseHandle(h);
  }
  if (set && IsReparsePoint(link)) return true;
  ::RemoveDirectoryW(link.c_str());
  return Fail(why, "junction", set ? ERROR_NOT_SUPPORTED : code);
}

bool PlantFileLink(const fs::path& target, const fs::path& link, std::string* why) {
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  const std::wstring to = fs::absolute(target).wstring();
  if (!::CreateSymbolicLinkW(link.c_str(), to.c_str(), kUnprivileged))
    return Fail(why, "symbolic link", ::GetLastError());
  if (IsReparsePoint(link)) return true;
  ::DeleteFileW(link.c_str());
  return Fail(why, "symbolic link (accepted, but none was made)", ERROR_NOT_SUPPORTED);
}

}  // namespace qelvo::test
