#pragma once
// Shared by the extraction benchmarks: run a shell command, quote a path for it, and
// time a tool that extracts into a folder emptied before and after the run.
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace qelvo::bench {

// The command's exit code, or -1 when it did not exit normally.
inline int Run(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Seconds the command takes, run with its output discarded into an empty aTarget that
// is removed again afterwards; aStatus receives its exit code.
inline double TimeInEmptyFolder(const std::string& command, const std::filesystem::path& aTarget, int& aStatus) {
  std::error_code ec;
  std::filesystem::remove_all(aTarget, ec);
  std::filesystem::create_directories(aTarget, ec);
  const auto t0 = std::chrono::steady_clock::now();
  aStatus = Run(command + " > /dev/null 2>&1");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove_all(aTarget, ec);
  return seconds;
}

}  // namespace qelvo::bench
