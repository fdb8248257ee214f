// qelvo-unzip against 7-Zip on the methods both decode with the same algorithms
// underneath: bzip2, LZMA and PPMd archives of about 40 MiB (text and binaries found on
// this machine), each extracted by `7zz x -mmt=1` and by `qelvo-unzip -x` into folders
// of their own. Wall-clock and CPU-time ratios and the peak resident memory of each
// process are printed at the end.
//
// The archives are written once by 7zz into the work folder and reused by later runs.
// Each iteration starts from empty target folders and runs both tools in turn.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "bench/machine_files.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using qelvo::bench::Collect;

const fs::path kWork = QELVO_BENCH_WORK_DIR;
constexpr uintmax_t kTextBytes = 24ull << 20;
constexpr uintmax_t kBinaryBytes = 16ull << 20;

struct TRunResult {
  int Status = -1;
  double Seconds = 0;     // wall clock
  double CpuSeconds = 0;  // user + system: steadier than the wall clock on a busy machine
  double PeakMiB = 0;
};

// Runs a program (no shell in between, so that the peak memory is the tool's own) with
// its output thrown away.
TRunResult RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  TRunResult result;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) == pid) {
      result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      result.PeakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
      const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
      result.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
  }
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

bool IsText(const fs::path& p) {
  const auto e = p.extension();
  return e == ".h" || e == ".hpp" || e == ".txt" || e == ".py" || e == ".c";
}
bool IsBinary(const fs::path& p) { return p.filename().string().find(".so") != std::string::npos; }

struct TMethod {
  const char* Name;
  const char* Switches;
};
const TMethod kMethods[] = {{"bzip2", "-mm=BZip2"}, {"lzma", "-mm=LZMA"}, {"ppmd", "-mm=PPMd"}};

fs::path ArchiveOf(const TMethod& m) { return kWork / (std::string(m.Name) + ".zip"); }

bool EnsureArchive(const TMethod& m) {
  std::error_code ec;
  if (fs::exists(ArchiveOf(m), ec)) return true;
  fs::create_directories(kWork, ec);
  const fs::path list = kWork / "files.txt";
  if (!fs::exists(list, ec)) {
    std::vector<fs::path> files;
    Collect("/usr/include", kTextBytes, IsText, files, 8ull << 20);
    Collect("/usr/lib", kBinaryBytes, IsBinary, files, 8ull << 20);
    std::ofstream out(list);
    for (const auto& f : files) out << f.string() << '\n';
  }
  const fs::path partial = kWork / (std::string(m.Name) + ".part.zip");
  fs::remove(partial, ec);
  const TRunResult r =
      RunProgram({"7zz", "a", "-bd", "-tzip", "-spf2", m.Switches, partial.string(), std::string("@").append(list.string())});
  if (r.Status != 0) return false;
  fs::rename(partial, ArchiveOf(m), ec);
  return !ec;
}

TRunResult Extract(const std::vector<std::string>& command, const fs::path& target) {
  std::error_code ec;
  fs::remove_all(target, ec);
  fs::create_directories(target, ec);
  return RunProgram(command);
}

struct TFigures {
  double Qelvo = 0, SevenZip = 0, QelvoCpu = 0, SevenZipCpu = 0, QelvoPeak = 0, SevenZipPeak = 0;
};
std::map<std::string, TFigures> gFigures;

void BM_AgainstSevenZip(benchmark::State& state, const TMethod& m) {
  if (!EnsureArchive(m)) {
    state.SkipWithError("could not build the archive (is 7zz installed?)");
    return;
  }
  const std::string archive = ArchiveOf(m).string();
  const fs::path sevenOut = kWork / "out-7zz";
  const fs::path qelvoOut = kWork / "out-qelvo-unzip";
  TFigures f;
  for (auto _ : state) {
    const TRunResult seven =
        Extract({"7zz", "x", "-mmt=1", "-y", "-bd", "-o" + sevenOut.string(), archive}, sevenOut);
    if (seven.Status != 0) {
      state.SkipWithError(("7zz exited with " + std::to_string(seven.Status)).c_str());
      return;
    }
    const TRunResult qelvo = Extract({QELVO_UNZIP_TOOL, "-q", "-x", archive, "-d", qelvoOut.string()}, qelvoOut);
    if (qelvo.Status != 0) {
      state.SkipWithError(("qelvo-unzip exited with " + std::to_string(qelvo.Status)).c_str());
      return;
    }
    f.SevenZip += seven.Seconds;
    f.Qelvo += qelvo.Seconds;
    f.SevenZipCpu += seven.CpuSeconds;
    f.QelvoCpu += qelvo.CpuSeconds;
    f.SevenZipPeak = std::max(f.SevenZipPeak, seven.PeakMiB);
    f.QelvoPeak = std::max(f.QelvoPeak, qelvo.PeakMiB);
    state.SetIterationTime(qelvo.Seconds);
  }
  const double n = static_cast<double>(state.iterations());
  f.Qelvo /= n;
  f.SevenZip /= n;
  f.QelvoCpu /= n;
  f.SevenZipCpu /= n;
  gFigures[m.Name] = f;
  state.counters["qelvo_s"] = f.Qelvo;
  state.counters["7zz_s"] = f.SevenZip;
  state.counters["ratio"] = f.Qelvo / f.SevenZip;
  state.counters["cpu_ratio"] = f.QelvoCpu / f.SevenZipCpu;
  state.counters["qelvo_MiB"] = f.QelvoPeak;
  state.counters["7zz_MiB"] = f.SevenZipPeak;
}

}  // namespace

int main(int argc, char** argv) {
  for (const TMethod& m : kMethods) {
    benchmark::RegisterBenchmark((std::string("BM_AgainstSevenZip/") + m.Name).c_str(), BM_AgainstSevenZip, m)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& [name, f] : gFigures) {
    std::error_code ec;
    const double size = static_cast<double>(fs::file_size(kWork / (name + ".zip"), ec)) / (1 << 20);
    std::printf("%-5s archive %.1f MiB: qelvo-unzip %.3f s (CPU %.3f s), 7zz x -mmt=1 %.3f s (CPU %.3f s): %.2fx the "
                "time, %.2fx the CPU time; peak memory %.1f MiB against %.1f MiB\n",
                name.c_str(), size, f.Qelvo, f.QelvoCpu, f.SevenZip, f.SevenZipCpu, f.Qelvo / f.SevenZip,
                f.QelvoCpu / f.SevenZipCpu, f.QelvoPeak, f.SevenZipPeak);
  }
  return 0;
}
