// Peers of a Windows test program under Wine: the Linux program is started by the Linux
// shell in a session of its own (so its whole process group can be stopped), in the
// background; the shell writes the group's id to a file and returns at once.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/files.h"
#include "tests/support/peer_process.h"

namespace qelvo::test {
namespace {

std::string PidFolder() {
  const char* dir = std::getenv("QELVO_PEER_PID_DIR");
  return dir && *dir ? ShellPath(dir) : "/tmp";
}

std::string NewPidFile() {
  static std::atomic<unsigned> counter{0};
  return PidFolder() + "/qelvo-peer-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++) + ".pid";
}

}  // namespace

std::string FindProgram(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    std::error_code ec;
    // "/usr/sbin/x" is on the current drive, the Linux root (Z:).
    if (std::filesystem::is_regular_file(p, ec)) return p;
  }
  return std::string();
}

bool PeersRunAsRoot() {
  static const bool root = RunShell("test \"$(id -u)\" = 0");
  return root;
}

void SetFileMode(const std::string& path, int mode) {
  char octal[8];
  std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
  RunShell(std::string("chmod ") + octal + " " + ShellQuote(path));
}

long CurrentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

bool PeerProcess::Start(const std::vector<std::string>& argv, int port, int timeoutMs, bool /*quiet*/) {
  Stop();
  pidFile_ = NewPidFile();
  std::string program;
  for (const std::string& a : argv) program += " " + ShellQuote(a);
  const std::string inner = "echo $$ >" + ShellQuote(pidFile_) + "; exec" + program;
  // Never the test program's own output: a peer that outlives the program would keep the
  // pipe of whoever reads it (CTest) open. Quiet or not, its log files say what happened.
  const std::string line = "setsid sh -c " + ShellQuote(inner) + " </dev/null >/dev/null 2>&1 &";
  if (!RunShell(line)) {
    pidFile_.clear();
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int round = 1; std::chrono::steady_clock::now() < deadline; ++round) {
    if (pid_ <= 0) pid_ = std::atol(ReadFile(pidFile_).c_str());
    if (PortAccepts(port)) return true;
    // Now and then whether the program is still there: a failed start ends the wait.
    if (pid_ > 0 && round % 25 == 0 && !RunShell("kill -0 -" + std::to_string(pid_) + " 2>/dev/null")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void PeerProcess::Stop() {
  if (pidFile_.empty()) return;
  if (pid_ <= 0) pid_ = std::atol(ReadFile(pidFile_).c_str());
  if (pid_ > 0) {
    const std::string group = "-" + std::to_string(pid_);
    // At most 5 s for an orderly end, then killed. The shell is dash, whose kill takes no
    // "--": a group is the negative number after the signal.
    // (A subshell: ShellStatus's own line must go on to write the status.)
    RunShell("(kill -TERM " + group + " 2>/dev/null; for i in $(seq 50); do kill -0 " + group +
             " 2>/dev/null || exit 0; sleep 0.1; done; kill -KILL " + group + " 2>/dev/null; exit 0)");
  }
  std::error_code ec;
  std::filesystem::remove(pidFile_, ec);
  pidFile_.clear();
  pid_ = -1;
}

}  // namespace qelvo::test
