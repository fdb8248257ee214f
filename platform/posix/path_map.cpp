#include "platform/path_map.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/os_error.h"
#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Components of the part after the drive, with "." dropped and ".." stopping at the root.
std::string NormaliseUnderRoot(const std::string& rest) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = i;
    while (j < rest.size() && rest[j] != '\\' && rest[j] != '/') ++j;
    std::string part = rest.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void MakeDirs(const std::string& path) {
  std::string cur;
  size_t i = 0;
  while (i < path.size()) {
    const size_t j = path.find('/', i + 1);
    cur = path.substr(0, j == std::string::npos ? path.size() : j);
    if (!cur.empty()) ::mkdir(cur.c_str(), 0777);
    if (j == std::string::npos) break;
    i = j;
  }
}

}  // namespace

std::string DriveCRoot() {
  std::string root;
  if (const char* c = std::getenv("QELVO_DRIVE_C"); c && *c) {
    root = c;
  } else if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    root = std::string(x) + "/qelvo/drive_c";
  } else {
    const char* home = std::getenv("HOME");
    root = std::string(home && *home ? home : "/tmp") + "/.local/share/qelvo/drive_c";
  }
  root = StripTrailingSlashes(root);
  // C:\ always exists on the machine the program believes it runs on.
  struct stat st{};
  if (::stat(root.c_str(), &st) != 0) MakeDirs(root);
  return root;
}

std::optional<std::string> ToNativePath(const std::string& p) {
  if (p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == ':') {
    const char drive = static_cast<char>(p[0] & ~0x20);
    const std::string rest = NormaliseUnderRoot(p.substr(2));
    if (drive == 'C') return DriveCRoot() + rest;
    if (drive == 'Z') return rest.empty() ? std::string("/") : rest;
    return std::nullopt;
  }
  if (p.size() >= 2 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/')) {
    return std::nullopt;  // UNC: no network shares here
  }
  if (!p.empty() && (p[0] == '\\' || p[0] == '/')) {
    // Root of the current drive; the current folder lives on Z:.
    const std::string rest = NormaliseUnderRoot(p);
    return rest.empty() ? std::string("/") : rest;
  }
  std::string native = p;
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

std::string ToNativePathOrThrow(const std::string& windowsPath) {
  auto native = ToNativePath(windowsPath);
  if (!native) {
    SetLastOSError(kErrorPathNotMapped);
    throw rtl::EInOutError("Path not found: " + windowsPath, kErrorPathNotMapped);
  }
  return *native;
}

std::string FromNativePath(const std::string& nativePath) {
  const std::string root = DriveCRoot();
  std::string rest;
  std::string drive;
  if (nativePath == root || (nativePath.size() > root.size() && nativePath.compare(0, root.size(), root) == 0 &&
                             nativePath[root.size()] == '/')) {
    drive = "C:";
    rest = nativePath.substr(root.size());
  } else if (!nativePath.empty() && nativePath[0] == '/') {
    drive = "Z:";
    rest = nativePath;
  } else {
    rest = nativePath;  // relative stays relative
  }
  for (char& c : rest)
    if (c == '/') c = '\\';
  if (!drive.empty() && rest.empty()) rest.assign(1, '\\');
  return drive + rest;
}

}  // namespace qelvo::platform
