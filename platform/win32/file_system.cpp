// File system through the wide-character Windows calls.
#include "platform/file_system.h"

#include <algorithm>
#include <utility>

#include "platform/win32/windows_api.h"
#include "rtl/file_path.h"

#include <shlobj.h>

namespace qelvo::platform {
using win32::Fail;
using win32::Narrow;
using win32::Wide;

namespace {

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return Fail(false);
  return true;
}

std::string WithoutTrailingSeparators(std::string s) {
  // "C:\" keeps its separator: without it, it names the drive's current folder.
  while (s.size() > 1 && (s.back() == '\\' || s.back() == '/') && !(s.size() == 3 && s[1] == ':')) s.pop_back();
  return s;
}

bool ToFileTime(rtl::TDateTime localTime, FILETIME& utc) {
  int y, mo, d, h, mi, s, ms;
  rtl::DecodeDate(localTime, y, mo, d);
  rtl::DecodeTime(localTime, h, mi, s, ms);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  FILETIME local;
  // Local to UTC as the file-date routines of the Windows runtime do it: with the
  // offset in force now, so a stored DOS date reads back as written.
  return ::SystemTimeToFileTime(&st, &local) && ::LocalFileTimeToFileTime(&local, &utc);
}

}  // namespace

bool DirectoryExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail(false);
  return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail(false);
  return (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDir(const std::string& path) {
  if (!::CreateDirectoryW(Wide(path).c_str(), nullptr)) return Fail(false);
  return true;
}

bool ForceDirectories(const std::string& path) {
  const std::string p = WithoutTrailingSeparators(path);
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  const size_t sep = p.find_last_of("\\/");
  // A drive root or a share that is not there cannot be created.
  if (sep != std::string::npos && sep > 0) {
    const std::string parent = p.substr(0, sep + (sep == 2 && p[1] == ':' ? 1 : 0));
    if (parent != p && !ForceDirectories(parent)) return false;
  }
  if (!::CreateDirectoryW(Wide(p).c_str(), nullptr)) {
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return Fail(false);
    // Made meanwhile by someone else is fine; a file in the way is not.
    if (!DirectoryExists(p)) {
      SetLastOSError(ERROR_DIRECTORY);
      return false;
    }
  }
  return true;
}

bool RemoveDir(const std::string& path) {
  if (!::RemoveDirectoryW(Wide(path).c_str())) return Fail(false);
  return true;
}

bool DeleteFile(const std::string& path) {
  if (!::DeleteFileW(Wide(path).c_str())) return Fail(false);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the call fail.
  if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_COPY_ALLOWED)) return Fail(false);
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  // A link at the target is replaced itself: MoveFileEx acts on the name, never on what
  // a reparse point leads to.
  if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return Fail(false);
  return true;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!Attributes(path, d) || (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

uint32_t FileGetAttr(const std::string& path) {
  const DWORD a = ::GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return Fail(kInvalidAttributes);
  return a;
}

bool FileSetAttr(const std::string& path, uint32_t attributes) {
  if (!::SetFileAttributesW(Wide(path).c_str(), attributes)) return Fail(false);
  return true;
}

bool FileSetDate(const std::string& path, rtl::TDateTime localTime) {
  FILETIME ft;
  if (!ToFileTime(localTime, ft)) return Fail(false);
  HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(false);
  const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &ft);
  if (!ok) Fail(false);
  ::CloseHandle(h);
  return ok != 0;
}

bool FileGetDate(const std::string& path, rtl::TDateTime& localTime) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!Attributes(path, d)) return false;
  FILETIME local;
  SYSTEMTIME st;
  if (!::FileTimeToLocalFileTime(&d.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &st)) return Fail(false);
  localTime = rtl::EncodeDate(st.wYear, st.wMonth, st.wDay) +
              rtl::EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
  return true;
}

int64_t DiskFree(const std::string& path) {
  ULARGE_INTEGER avail;
  if (!::GetDiskFreeSpaceExW(Wide(path).c_str(), &avail, nullptr, nullptr)) return Fail<int64_t>(-1);
  return static_cast<int64_t>(avail.QuadPart);
}

namespace {
TDriveTypeQuery& DriveTypeQuery() {
  static TDriveTypeQuery query;
  return query;
}
}  // namespace

void SetDriveTypeQuery(TDriveTypeQuery query) { DriveTypeQuery() = std::move(query); }

TDriveType GetDriveType(const std::string& root) {
  if (const TDriveTypeQuery& query = DriveTypeQuery()) return query(root);
  const std::wstring w = Wide(root);
  return static_cast<TDriveType>(::GetDriveTypeW(root.empty() ? nullptr : w.c_str()));
}

std::string GetTempPath() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return Fail(std::string());
  return rtl::IncludeTrailingBackslash(Narrow(buf, n));
}

std::string GetTempFileName(const std::string& dir, const std::string& prefix) {
  wchar_t buf[MAX_PATH];
  if (!::GetTempFileNameW(Wide(dir).c_str(), Wide(prefix.substr(0, 3)).c_str(), 0, buf)) return Fail(std::string());
  return Narrow(buf, wcslen(buf));
}

std::string ExeFolder() {
  // A path is at most 32767 characters long: the buffer grows up to that, never on and on.
  constexpr size_t kLongestPath = 32768;
  std::wstring buf(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return Fail(std::string());
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    if (buf.size() >= kLongestPath) return Fail(std::string());
    buf.resize(std::min(buf.size() * 2, kLongestPath));
  }
  return rtl::IncludeTrailingBackslash(Narrow(buf.substr(0, buf.find_last_of(L'\\'))));
}

std::string CurrentFolder() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return Fail(std::string());
  std::wstring buf(n, L'\0');
  const DWORD m = ::GetCurrentDirectoryW(n, buf.data());
  if (m == 0 || m >= n) return Fail(std::string());
  buf.resize(m);
  return rtl::IncludeTrailingBackslash(Narrow(buf));
}

std::string GetSpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH + 2] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, 0, buf))) return "";
  const std::string path = Narrow(buf, wcsnlen(buf, MAX_PATH + 1));
  return path.empty() ? "" : rtl::IncludeTrailingBackslash(path);
}

bool ListDirectory(const std::string& path, std::vector<TDirEntry>& entries) {
  entries.clear();
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(Wide(rtl::IncludeTrailingBackslash(path) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return Fail(false);
  do {
    const std::string name = Narrow(fd.cFileName, wcslen(fd.cFileName));
    if (name == "." || name == "..") continue;
    TDirEntry e;
    e.Name = name;
    e.IsDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.Size = e.IsDirectory ? 0 : static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    entries.push_back(std::move(e));
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  std::sort(entries.begin(), entries.end(), [](const TDirEntry& a, const TDirEntry& b) { return a.Name < b.Name; });
  return true;
}

}  // namespace qelvo::platform
