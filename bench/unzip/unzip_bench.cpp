// qelvo-unzip against Info-ZIP unzip, 7-Zip (7zz, one thread) and bsdtar: each tests
// (-t) and extracts (-x) the same Deflate archive of about 200 MiB (text, binaries and
// already-compressed files found on this machine); the wall-clock ratios are printed at
// the end. bsdtar has no test mode: it extracts to standard output into /dev/null.
//
// The archive is built once into the work folder by Info-ZIP zip and reused by later
// runs. Each extraction starts from an empty target folder. QELVO_UNZIP_BENCH_TOOL names
// another qelvo-unzip to measure (an older build, for a before/after comparison).
#include <benchmark/benchmark.h>

#include <sys/stat.h>
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
const fs::path kArchive = kWork / "corpus.zip";
constexpr uintmax_t kCategoryBytes = 90ull << 20;  // per category; the archive ends near 200 MiB

bool IsText(const fs::path& p) {
  const auto e = p.extension();
  return e == ".h" || e == ".hpp" || e == ".txt" || e == ".py" || e == ".html" || e == ".pm" || e == ".c";
}
bool IsBinary(const fs::path& p) { return p.filename().string().find(".so") != std::string::npos || p.extension() == ".a"; }
bool IsCompressed(const fs::path& p) {
  const auto e = p.extension();
  return e == ".gz" || e == ".xz" || e == ".png" || e == ".jpg" || e == ".zip" || e == ".bz2" || e == ".jar" ||
         e == ".whl" || e == ".zst" || e == ".woff2";
}

bool EnsureArchive() {
  std::error_code ec;
  if (fs::exists(kArchive, ec)) return true;
  fs::create_directories(kWork, ec);
  std::vector<fs::path> files;
  Collect("/usr/include", kCategoryBytes, IsText, files);
  Collect("/usr/share", kCategoryBytes / 4, IsText, files);
  Collect("/usr/lib", kCategoryBytes, IsBinary, files);
  Collect("/usr/share", kCategoryBytes / 2, IsCompressed, files);
  Collect("/usr/lib", kCategoryBytes, IsCompressed, files);
  const fs::path list = kWork / "files.txt";
  {
    std::ofstream out(list);
    for (const auto& f : files) out << f.string() << '\n';
  }
  const fs::path partial = kWork / "corpus.part.zip";
  fs::remove(partial, ec);
  if (Run("zip -q -6 " + Quote(partial.string()) + " -@ < " + Quote(list.string())) != 0) return false;
  fs::rename(partial, kArchive, ec);
  return !ec;
}

enum Mode { kTest, kExtract };
enum Tool { kQelvo, kInfoZip, kSevenZip, kBsdtar, kToolCount };
const char* const kToolNames[kToolCount] = {"qelvo-unzip", "unzip", "7zz -mmt=1", "bsdtar"};

std::string QelvoTool() {
  const char* other = std::getenv("QELVO_UNZIP_BENCH_TOOL");
  return other != nullptr && *other != '\0' ? other : QELVO_UNZIP_TOOL;
}

// The shell command that tests or extracts the archive into aTarget.
std::string CommandFor(Tool aTool, Mode aMode, const fs::path& aTarget) {
  const std::string archive = Quote(kArchive.string());
  const std::string target = Quote(aTarget.string());
  switch (aTool) {
    case kQelvo:
      return Quote(QelvoTool()) + (aMode == kTest ? " -q -t " + archive : " -q -x " + archive + " -d " + target);
    case kInfoZip:
      return aMode == kTest ? "unzip -tqq " + archive : "unzip -o -qq " + archive + " -d " + target;
    case kSevenZip:
      return aMode == kTest ? "7zz t -mmt=1 -bd -bso0 " + archive
                            : "7zz x -mmt=1 -bd -bso0 -y -o" + target + " " + archive;
    case kBsdtar:
      return aMode == kTest ? "bsdtar -xOf " + archive + " > /dev/null" : "bsdtar -xf " + archive + " -C " + target;
    default:
      return "false";
  }
}

// Seconds one run takes; an extraction goes into a folder emptied beforehand.
double TimeRun(Tool aTool, Mode aMode, int& aStatus) {
  const fs::path target = kWork / ("out-" + std::to_string(aTool));
  return TimeInEmptyFolder(CommandFor(aTool, aMode, target), target, aStatus);
}

double gSeconds[2][kToolCount] = {};

// All tools in turn within every iteration, so that a change in the machine's load
// touches all alike. The iteration time reported is that of qelvo-unzip alone.
void BM_QelvoUnzipAgainstPeers(benchmark::State& state) {
  const auto mode = static_cast<Mode>(state.range(0));
  if (!EnsureArchive()) {
    state.SkipWithError("could not build the archive (is Info-ZIP zip installed?)");
    return;
  }
  const auto time = [mode](int t, int& status) { return TimeRun(static_cast<Tool>(t), mode, status); };
  if (!qelvo::bench::TimeToolRounds(state, kToolNames, gSeconds[mode], time, [](int) { return false; })) return;
  for (int t = 0; t < kToolCount; ++t) state.counters[std::string(kToolNames[t]) + "_s"] = gSeconds[mode][t];
  std::error_code ec;
  state.SetBytesProcessed(static_cast<int64_t>(fs::file_size(kArchive, ec)) * state.iterations());
  state.SetLabel(mode == kTest ? "-t" : "-x");
}

BENCHMARK(BM_QelvoUnzipAgainstPeers)->Arg(kTest)->Arg(kExtract)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::printf("archive: %s, %.1f MiB; qelvo-unzip: %s\n", kArchive.c_str(),
              static_cast<double>(fs::file_size(kArchive, ec)) / (1 << 20), QelvoTool().c_str());
  std::printf("%-4s %12s %12s %12s %12s   qelvo-unzip's time as a share of the peer's:\n", "", "qelvo-unzip", "unzip",
              "7zz -mmt=1", "bsdtar");
  for (const Mode mode : {kTest, kExtract}) {
    const double* s = gSeconds[mode];
    if (s[kQelvo] <= 0) continue;
    std::printf("%-4s %11.3fs %11.3fs %11.3fs %11.3fs   unzip %.2fx  7zz %.2fx  bsdtar %.2fx\n", mode == kTest ? "-t" : "-x",
                s[kQelvo], s[kInfoZip], s[kSevenZip], s[kBsdtar], s[kQelvo] / s[kInfoZip], s[kQelvo] / s[kSevenZip],
                s[kQelvo] / s[kBsdtar]);
  }
  return 0;
}
