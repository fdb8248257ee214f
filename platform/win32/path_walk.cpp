// The walk keeps every folder it passed open (opened without following a reparse point,
// and without FILE_SHARE_DELETE, so none can be renamed or swapped away meanwhile): a
// name checked once still names the same folder when the next component is looked at.
#include "platform/path_walk.h"

#include <string_view>
#include <vector>

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {

// The handles of the walk, closed together.
class THandles {
 public:
  THandles() = default;
  ~THandles() {
    for (HANDLE h : handles_) ::CloseHandle(h);
  }
  THandles(const THandles&) = delete;
  THandles& operator=(const THandles&) = delete;
  void Add(HANDLE h) { handles_.push_back(h); }
  HANDLE Last() const { return handles_.back(); }

 private:
  std::vector<HANDLE> handles_;
};

// Opens path itself, a reparse point included, for reading its attributes only.
HANDLE OpenNoFollow(const std::string& path) {
  return ::CreateFileW(win32::Wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

bool PathHasLinkBelow(const std::string& base, const std::string& relative) {
  std::string path = base.empty() ? "." : base;
  // base is trusted and may be reached through links: opened following them.
  const HANDLE root = ::CreateFileW(win32::Wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (root == INVALID_HANDLE_VALUE) return win32::Fail(false);
  THandles held;
  held.Add(root);
  std::string_view rest(relative);
  while (!rest.empty()) {
    const size_t sep = rest.find('\\');
    const std::string part(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    if (part.empty() || part == ".") continue;
    if (path.back() != '\\' && path.back() != '/' && path.back() != ':') path += '\\';
    path += part;
    HANDLE next = OpenNoFollow(path);
    if (next == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      // Missing: nothing there can redirect a write. Anything else is refused as unsafe.
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return false;
      return win32::Fail(true);
    }
    held.Add(next);
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(held.Last(), &info)) return win32::Fail(true);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  }
  return false;
}

}  // namespace qelvo::platform
