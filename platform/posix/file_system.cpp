#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <utility>
#include <random>

#include "platform/posix/native_path.h"
#include "rtl/file_path.h"

namespace qelvo::platform {
using posix::Fail;
using posix::Native;

namespace {

// Attribute bits with no native form (hidden, system, archive) live in an extended
// attribute when the file system has them.
constexpr const char* kAttrXattr = "user.qelvo.attributes";
constexpr uint32_t kStoredBits = faHidden | faSysFile | faArchive;

bool StatPath(const std::string& path, struct stat& st) {
  auto n = Native(path);
  if (!n) return false;
  if (::stat(n->c_str(), &st) != 0) return Fail(false);
  return true;
}

bool IsReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

}  // namespace

bool DirectoryExists(const std::string& path) {
  struct stat st{};
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  auto n = Native(path);
  if (!n) return false;
  if (::mkdir(n->c_str(), 0777) != 0) return Fail(false);
  return true;
}

bool ForceDirectories(const std::string& path) {
  auto n = Native(path);
  if (!n) return false;
  std::string native = *n;
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  size_t pos = 0;
  while (true) {
    pos = native.find('/', pos + 1);
    const std::string prefix = native.substr(0, pos);
    struct stat st{};
    if (::stat(prefix.c_str(), &st) != 0) {
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return Fail(false);
    } else if (!S_ISDIR(st.st_mode)) {
      errno = ENOTDIR;
      return Fail(false);
    }
    if (pos == std::string::npos) return true;
  }
}

bool RemoveDir(const std::string& path) {
  auto n = Native(path);
  if (!n) return false;
  if (::rmdir(n->c_str()) != 0) return Fail(false);
  return true;
}

bool DeleteFile(const std::string& path) {
  auto n = Native(path);
  if (!n) return false;
  struct stat st{};
  if (::lstat(n->c_str(), &st) != 0) return Fail(false);
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return Fail(false);
  }
  // Windows refuses to delete a read-only file; so do we, even as root.
  if (!S_ISLNK(st.st_mode) && IsReadOnly(st)) {
    errno = EACCES;
    return Fail(false);
  }
  if (::unlink(n->c_str()) != 0) return Fail(false);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  auto a = Native(from);
  auto b = Native(to);
  if (!a || !b) return false;
  struct stat st{};
  if (::lstat(b->c_str(), &st) == 0) {
    errno = EEXIST;
    return Fail(false);
  }
  if (::rename(a->c_str(), b->c_str()) != 0) return Fail(false);
  return true;
}

int64_t FileSize(const std::string& path) {
  struct stat st{};
  if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

uint32_t FileGetAttr(const std::string& path) {
  struct stat st{};
  if (!StatPath(path, st)) return kInvalidAttributes;
  uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  if (IsReadOnly(st)) attr |= faReadOnly;
  auto n = Native(path);
  uint32_t stored = 0;
  if (::getxattr(n->c_str(), kAttrXattr, &stored, sizeof stored) == sizeof stored) {
    attr |= stored & kStoredBits;
  } else if (!S_ISDIR(st.st_mode)) {
    attr |= faArchive;
  }
  if (attr == 0) attr = faNormal;
  return attr;
}

bool FileSetAttr(const std::string& path, uint32_t attributes) {
  auto n = Native(path);
  if (!n) return false;
  struct stat st{};
  if (::stat(n->c_str(), &st) != 0) return Fail(false);
  mode_t mode = st.st_mode & 07777;
  if (attributes & faReadOnly) mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  else if (IsReadOnly(st)) mode |= S_IWUSR;
  if (mode != (st.st_mode & 07777) && ::chmod(n->c_str(), mode) != 0) return Fail(false);
  const uint32_t stored = attributes & kStoredBits;
  ::setxattr(n->c_str(), kAttrXattr, &stored, sizeof stored, 0);  // best effort
  return true;
}

namespace {
bool ToTimespec(rtl::TDateTime dt, struct timespec& ts) {
  int y, mo, d, h, mi, s, ms;
  rtl::DecodeDate(dt, y, mo, d);
  rtl::DecodeTime(dt, h, mi, s, ms);
  struct tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  const time_t t = ::mktime(&tm);
  if (t == static_cast<time_t>(-1) && !(y == 1969 && mo == 12 && d == 31)) return false;
  ts.tv_sec = t;
  ts.tv_nsec = static_cast<long>(ms) * 1000000L;
  return true;
}
}  // namespace

bool FileSetDate(const std::string& path, rtl::TDateTime localTime) {
  auto n = Native(path);
  if (!n) return false;
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = 0;
  if (!ToTimespec(localTime, times[1])) {
    errno = EINVAL;
    return Fail(false);
  }
  if (::utimensat(AT_FDCWD, n->c_str(), times, 0) != 0) return Fail(false);
  return true;
}

bool FileGetDate(const std::string& path, rtl::TDateTime& localTime) {
  struct stat st{};
  if (!StatPath(path, st)) return false;
  struct tm tm{};
  const time_t t = st.st_mtim.tv_sec;
  ::localtime_r(&t, &tm);
  localTime = rtl::EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
              rtl::EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
  return true;
}

int64_t DiskFree(const std::string& path) {
  auto n = Native(path);
  if (!n) return -1;
  struct statvfs sv{};
  if (::statvfs(n->c_str(), &sv) != 0) return Fail<int64_t>(-1);
  return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize);
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
  auto n = ToNativePath(root.empty() ? std::string("\\") : root);
  if (!n) return TDriveType::NoRootDir;
  struct stat st{};
  if (::stat(n->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return TDriveType::NoRootDir;
  return TDriveType::Fixed;
}

std::string GetTempPath() {
  const char* t = std::getenv("TMPDIR");
  std::string native = t && *t ? t : "/tmp";
  return rtl::IncludeTrailingBackslash(FromNativePath(native));
}

std::string GetTempFileName(const std::string& dir, const std::string& prefix) {
  auto n = Native(dir);
  if (!n) return "";
  std::string native = *n;
  if (native.empty() || native.back() != '/') native += '/';
  // Created like any new file (the umask applies, as mkstemp's 0600 would not), never
  // through a link.
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // Seeded once per thread: the exclusive create, not the letters, keeps a name unique,
  // and opening the system's random source for every file showed in extraction profiles.
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = native + prefix.substr(0, 3);
    for (int k = 0; k < 6; ++k) name += kLetters[random() % (sizeof kLetters - 1)];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return FromNativePath(name);
    }
    if (errno != EEXIST) return Fail(std::string());
  }
  return Fail(std::string());
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  auto a = Native(from);
  auto b = Native(to);
  if (!a || !b) return false;
  if (::rename(a->c_str(), b->c_str()) != 0) return Fail(false);
  return true;
}

std::string ExeFolder() {
  char buf[PATH_MAX];
  const ssize_t len = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (len <= 0) return Fail(std::string());
  std::string exe(buf, static_cast<size_t>(len));
  const auto slash = exe.rfind('/');
  return rtl::IncludeTrailingBackslash(FromNativePath(slash == 0 ? "/" : exe.substr(0, slash)));
}

std::string CurrentFolder() {
  char buf[PATH_MAX];
  if (::getcwd(buf, sizeof buf) == nullptr) return Fail(std::string());
  return rtl::IncludeTrailingBackslash(FromNativePath(buf));
}

namespace {
// XDG_DESKTOP_DIR from the environment or the user-dirs file, with $HOME expanded.
std::string XdgDesktop() {
  const char* homeEnv = std::getenv("HOME");
  const std::string home = homeEnv ? homeEnv : "";
  auto expand = [&](std::string v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
    return v;
  };
  if (const char* d = std::getenv("XDG_DESKTOP_DIR"); d && *d) return expand(d);
  const char* cfg = std::getenv("XDG_CONFIG_HOME");
  const std::string cfgDir = cfg && *cfg ? cfg : (home.empty() ? "" : home + "/.config");
  if (!cfgDir.empty()) {
    std::ifstream in(cfgDir + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("XDG_DESKTOP_DIR=", 0) == 0) return expand(line.substr(16));
    }
  }
  return home.empty() ? "" : home + "/Desktop";
}
}  // namespace

std::string GetSpecialFolder(int csidl) {
  if (csidl != CSIDL_DESKTOP) return "";
  const std::string d = XdgDesktop();
  if (d.empty() || d[0] != '/') return "";
  return rtl::IncludeTrailingBackslash(FromNativePath(d));
}

bool ListDirectory(const std::string& path, std::vector<TDirEntry>& entries) {
  entries.clear();
  auto n = Native(path);
  if (!n) return false;
  DIR* dir = ::opendir(n->c_str());
  if (!dir) return Fail(false);
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st{};
    TDirEntry entry;
    entry.Name = name;
    if (::stat((*n + "/" + name).c_str(), &st) == 0) {
      entry.IsDirectory = S_ISDIR(st.st_mode);
      entry.Size = entry.IsDirectory ? 0 : static_cast<int64_t>(st.st_size);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const TDirEntry& a, const TDirEntry& b) { return a.Name < b.Name; });
  return true;
}

}  // namespace qelvo::platform
