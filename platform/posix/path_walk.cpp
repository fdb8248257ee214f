#include "platform/path_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "platform/posix/native_path.h"

namespace qelvo::platform {

namespace {

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool PathHasLinkBelow(const std::string& base, const std::string& relative) {
  auto root = posix::Native(base.empty() ? "." : base);
  if (!root) return false;
  TFd dir(::open(root->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() < 0) return posix::Fail(false);
  std::string_view rest(relative);
  while (!rest.empty()) {
    const size_t sep = rest.find('\\');
    const std::string part(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    if (part.empty() || part == ".") continue;
    // Opened without following, so the next component is looked up in this very folder
    // even if the name is swapped for a link afterwards. Only a component that cannot be
    // entered as a folder costs a second look, to tell a link from a file or a gap.
    const int next = ::openat(dir.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next >= 0) {
      dir.Reset(next);
      continue;
    }
    const int openError = errno;
    if (openError == ENOENT) return false;
    struct stat st{};
    if (::fstatat(dir.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISLNK(st.st_mode)) return true;
    if (!S_ISDIR(st.st_mode)) return false;
    errno = openError;
    return posix::Fail(openError == ELOOP || openError == ENOTDIR);
  }
  return false;
}

}  // namespace qelvo::platform
