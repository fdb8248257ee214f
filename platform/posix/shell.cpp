#include "platform/shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/path_map.h"

namespace qelvo::platform {
namespace {

// Resolved before forking: only async-signal-safe calls may follow fork() in a process
// that runs other threads (the GUI toolkit does).
std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t i = 0;
  while (i <= dirs.size()) {
    size_t j = dirs.find(':', i);
    if (j == std::string::npos) j = dirs.size();
    // An empty entry means the current folder.
    std::string candidate = j > i ? dirs.substr(i, j - i) : std::string(1, '.');
    candidate += '/';
    candidate += program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    i = j + 1;
  }
  return "";
}

}  // namespace

bool ShellOpen(const std::string& file) {
  const auto native = ToNativePath(file);
  if (!native) return false;
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) return false;
  std::vector<char*> argv = {const_cast<char*>(opener.c_str()), const_cast<char*>(native->c_str()), nullptr};

  // Double fork: the handler is re-parented to init, so no zombie is left behind and
  // nothing waits for it.
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    const int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      ::dup2(devnull, 0);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
      if (devnull > 2) ::close(devnull);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace qelvo::platform
