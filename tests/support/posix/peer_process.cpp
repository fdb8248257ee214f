#include "tests/support/peer_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qelvo::test {

std::string FindProgram(const std::vector<std::string>& paths) {
  for (const std::string& p : paths)
    if (::access(p.c_str(), X_OK) == 0) return p;
  return std::string();
}

bool PeersRunAsRoot() { return ::geteuid() == 0; }

void SetFileMode(const std::string& path, int mode) { ::chmod(path.c_str(), static_cast<mode_t>(mode)); }

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool PeerProcess::Start(const std::vector<std::string>& argv, int port, int timeoutMs, bool quiet) {
  Stop();
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  pid_ = child;
  if (child == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the test program died before prctl
    if (quiet) {
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (PortAccepts(port)) return true;
    int status;
    if (::waitpid(child, &status, WNOHANG) == child) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  const pid_t pid = static_cast<pid_t>(pid_);
  ::kill(-pid, SIGTERM);
  ::kill(pid, SIGTERM);
  int status;
  for (int i = 0; i < 250; ++i) {  // at most 5 s, then kill
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  pid_ = -1;
}

}  // namespace qelvo::test
