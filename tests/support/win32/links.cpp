// A junction is a folder carrying a mount-point reparse point; its buffer is built here
// (the layout of REPARSE_DATA_BUFFER, which the SDK headers keep to the driver kit).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "tests/support/links.h"

namespace qelvo::test {
namespace {

namespace fs = std::filesystem;

std::string Reason(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const std::string number = "error " + std::to_string(code);
  if (n == 0 || !text) return number;
  const std::u8string u8 = fs::path(std::wstring(text, n)).u8string();
  ::LocalFree(text);
  std::string s(u8.begin(), u8.end());
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s + " (" + number + ")";
}

bool Fail(std::string* why, const std::string& what, DWORD code) {
  if (why) *why = what + ": " + Reason(code);
  return false;
}

// Some systems accept a link request and make nothing: only a reparse point on disk counts.
bool IsReparsePoint(const fs::path& p) {
  const DWORD a = ::GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void AppendUtf16(std::vector<char>& out, const std::wstring& s) {
  const size_t at = out.size();
  out.resize(at + (s.size() + 1) * sizeof(wchar_t));
  std::memcpy(out.data() + at, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
}

void AppendLe(std::vector<char>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool PlantFolderLink(const fs::path& target, const fs::path& link, std::string* why) {
  const std::wstring print = fs::absolute(target).wstring();
  const std::wstring substitute = L"\\??\\" + print;
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return Fail(why, "folder for the junction", ::GetLastError());
  // Mount-point data: the substitute and print names, each followed by a NUL.
  const auto substituteBytes = static_cast<uint32_t>(substitute.size() * sizeof(wchar_t));
  const auto printBytes = static_cast<uint32_t>(print.size() * sizeof(wchar_t));
  std::vector<char> data;
  AppendLe(data, 0, 2);
  AppendLe(data, substituteBytes, 2);
  AppendLe(data, substituteBytes + sizeof(wchar_t), 2);
  AppendLe(data, printBytes, 2);
  AppendUtf16(data, substitute);
  AppendUtf16(data, print);
  std::vector<char> buffer;
  AppendLe(buffer, IO_REPARSE_TAG_MOUNT_POINT, 4);
  AppendLe(buffer, static_cast<uint32_t>(data.size()), 2);
  AppendLe(buffer, 0, 2);
  buffer.insert(buffer.end(), data.begin(), data.end());

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
