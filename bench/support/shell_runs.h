#pragma once
// Shared by the extraction benchmarks: run a shell command, quote a path for it, and
// time a tool that extracts into a folder emptied before and after the run.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

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

// Times every tool once per iteration, the last one first, and leaves each tool's mean in
// aMean; tool 0 (ours) sets the iteration time. aTime(tool, status) runs one; tools that
// aSkip(tool) names are not run. False once a tool failed (the state says which).
template <int kCount, typename Time, typename Skip>
bool TimeToolRounds(benchmark::State& state, const char* const (&aNames)[kCount], double (&aMean)[kCount], Time&& aTime,
                    Skip&& aSkip) {
  double total[kCount] = {};
  for (auto _ : state) {
    for (int t = kCount - 1; t >= 0; --t) {
      if (aSkip(t)) continue;
      int status = 0;
      const double seconds = aTime(t, status);
      if (status != 0) {
        state.SkipWithError((std::string(aNames[t]) + " exited with " + std::to_string(status)).c_str());
        return false;
      }
      total[t] += seconds;
      if (t == 0) state.SetIterationTime(seconds);
    }
  }
  const double n = static_cast<double>(state.iterations());
  for (int t = 0; t < kCount; ++t) aMean[t] = total[t] / n;
  return true;
}

}  // namespace qelvo::bench
