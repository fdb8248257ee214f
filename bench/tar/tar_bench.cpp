// qelvo-unzip against GNU tar and bsdtar extracting the same .tar, .tar.gz and .tar.bz2
// of about 80 MiB (headers, libraries and already-compressed files found on this
// machine); the wall-clock ratios are printed at the end. bsdtar is an unrelated peer
// that is measured when installed.
//
// The archives are built once into the work folder by GNU tar, gzip -6 and bzip2 -9 and
// reused by later runs. Each extraction starts from an empty target folder, and every
// tool runs in turn within each iteration so that a change in the machine's load touches
// all alike. QELVO_UNZIP_BENCH_TOOL names another qelvo-unzip to measure (an older
// build, for a before/after comparison).
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "bench/machine_files.h"
#include "bench/support/shell_runs.h"

namespace fs = std::filesystem;

namespace {

using qelvo::bench::Collect;
using qelvo::bench::Quote;
using qelvo::bench::Run;
using qelvo::bench::TimeInEmptyFolder;

const fs::path kWork = QELVO_BENCH_WORK_DIR;
enum Kind { kTar, kTarGz, kTarBz2, kKindCount };
const char* const kKindNames[kKindCount] = {".tar", ".tar.gz", ".tar.bz2"};
enum Tool { kQelvo, kGnuTar, kBsdtar, kToolCount };
const char* const kToolNames[kToolCount] = {"qelvo-unzip", "GNU tar", "bsdtar"};

fs::path ArchiveOf(Kind aKind) { return kWork / (std::string("corpus") + kKindNames[aKind]); }

bool IsText(const fs::path& p) {
  const auto e = p.extension();
  return e == ".h" || e == ".hpp" || e == ".txt" || e == ".py" || e == ".html" || e == ".c";
}
bool IsBinary(const fs::path& p) { return p.filename().string().find(".so") != std::string::npos; }
bool IsCompressed(const fs::path& p) {
  const auto e = p.extension();
  return e == ".gz" || e == ".xz" || e == ".png" || e == ".jpg" || e == ".zip" || e == ".bz2";
}

bool EnsureArchives() {
  std::error_code ec;
  if (fs::exists(ArchiveOf(kTarBz2), ec)) return true;
  fs::create_directories(kWork, ec);
  std::vector<fs::path> files;
  Collect("/usr/include", 40ull << 20, IsText, files);
  Collect("/usr/lib", 30ull << 20, IsBinary, files);
  Collect("/usr/share", 12ull << 20, IsCompressed, files);
  const fs::path list = kWork / "files.txt";
  {
    std::ofstream out(list);
    for (const auto& f : files) out << f.string() << '\n';
  }
  const std::string tar = Quote(ArchiveOf(kTar).string());
  const std::string part = Quote((kWork / "part").string());
  return Run("tar -cf " + tar + " -T " + Quote(list.string()) + " 2>/dev/null") == 0 &&
         Run("gzip -6 -c " + tar + " > " + part + " && mv " + part + " " + Quote(ArchiveOf(kTarGz).string())) == 0 &&
         Run("bzip2 -9 -c " + tar + " > " + part + " && mv " + part + " " + Quote(ArchiveOf(kTarBz2).string())) == 0;
}

bool HaveBsdtar() {
  static const bool have = Run("command -v bsdtar > /dev/null 2>&1") == 0;
  return have;
}

std::string QelvoTool() {
  const char* other = std::getenv("QELVO_UNZIP_BENCH_TOOL");
  return other != nullptr && *other != '\0' ? other : QELVO_UNZIP_TOOL;
}

std::string CommandFor(Tool aTool, Kind aKind, const fs::path& aTarget) {
  const std::string archive = Quote(ArchiveOf(aKind).string());
  const std::string target = Quote(aTarget.string());
  static const char* const kGnuFlags[kKindCount] = {"-xf", "-xzf", "-xjf"};
  switch (aTool) {
    case kQelvo:
      return Quote(QelvoTool()) + " -q -o -x " + archive + " -d " + target;
    case kGnuTar:
      return std::string("tar ") + kGnuFlags[aKind] + " " + archive + " -C " + target;
    case kBsdtar:
      return "bsdtar -xf " + archive + " -C " + target;
    default:
      return "false";
  }
}

// Seconds one extraction takes, into a folder emptied beforehand.
double TimeRun(Tool aTool, Kind aKind, int& aStatus) {
  const fs::path target = kWork / ("out-" + std::to_string(aTool));
  return TimeInEmptyFolder(CommandFor(aTool, aKind, target), target, aStatus);
}

double gSeconds[kKindCount][kToolCount] = {};

void BM_ExtractAgainstTar(benchmark::State& state) {
  const auto kind = static_cast<Kind>(state.range(0));
  if (!EnsureArchives()) {
    state.SkipWithError("could not build the archives (GNU tar, gzip and bzip2 are needed)");
    return;
  }
  const auto time = [kind](int t, int& status) { return TimeRun(static_cast<Tool>(t), kind, status); };
  const auto skip = [](int t) { return t == kBsdtar && !HaveBsdtar(); };
  if (!qelvo::bench::TimeToolRounds(state, kToolNames, gSeconds[kind], time, skip)) return;
  std::error_code ec;
  state.SetBytesProcessed(static_cast<int64_t>(fs::file_size(ArchiveOf(kTar), ec)) * state.iterations());
  state.SetLabel(kKindNames[kind]);
}

BENCHMARK(BM_ExtractAgainstTar)
    ->Arg(kTar)
    ->Arg(kTarGz)
    ->Arg(kTarBz2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::printf("archive: %s, %.1f MiB; qelvo-unzip: %s\n", ArchiveOf(kTar).c_str(),
              static_cast<double>(fs::file_size(ArchiveOf(kTar), ec)) / (1 << 20), QelvoTool().c_str());
  std::printf("%-9s %12s %12s %12s   qelvo-unzip's time as a share of the peer's:\n", "", "qelvo-unzip", "GNU tar",
              "bsdtar");
  for (int k = 0; k < kKindCount; ++k) {
    const double* s = gSeconds[k];
    if (s[kQelvo] <= 0) continue;
    std::printf("%-9s %11.3fs %11.3fs", kKindNames[k], s[kQelvo], s[kGnuTar]);
    if (s[kBsdtar] > 0) {
      std::printf(" %11.3fs   GNU tar %.2fx  bsdtar %.2fx\n", s[kBsdtar], s[kQelvo] / s[kGnuTar], s[kQelvo] / s[kBsdtar]);
    } else {
      std::printf(" %12s   GNU tar %.2fx\n", "-", s[kQelvo] / s[kGnuTar]);
    }
  }
  return 0;
}
