// qelvo-unzip against Info-ZIP unzip: both extract the same Deflate archive of about
// 200 MiB (text, binaries and already-compressed files found on this machine) into
// folders of their own; the wall-clock ratio is printed at the end.
//
// The archive is built once into the work folder by Info-ZIP zip and reused by later
// runs. Each iteration starts from an empty target folder.
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

namespace fs = std::filesystem;

namespace {

using qelvo::bench::Collect;

const fs::path kWork = QELVO_BENCH_WORK_DIR;
const fs::path kArchive = kWork / "corpus.zip";
constexpr uintmax_t kCategoryBytes = 90ull << 20;  // per category; the archive ends near 200 MiB

int Run(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

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

// Seconds one extraction of the archive takes, into a folder emptied beforehand.
double TimeExtraction(const std::string& commandFor, const fs::path& target, int& status) {
  std::error_code ec;
  fs::remove_all(target, ec);
  fs::create_directories(target, ec);
  const std::string command = commandFor + " " + Quote(kArchive.string()) + " -d " + Quote(target.string());
  const auto t0 = std::chrono::steady_clock::now();
  status = Run(command);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double gQelvoSeconds = 0;
double gUnzipSeconds = 0;

// Both tools in turn within every iteration, so that a change in the machine's load
// touches both alike. The iteration time reported is that of qelvo-unzip alone.
void BM_QelvoUnzipAgainstInfoZip(benchmark::State& state) {
  if (!EnsureArchive()) {
    state.SkipWithError("could not build the archive (is Info-ZIP zip installed?)");
    return;
  }
  double qelvo = 0, unzip = 0;
  for (auto _ : state) {
    int status = 0;
    unzip += TimeExtraction("unzip -o -q", kWork / "out-unzip", status);
    if (status != 0) {
      state.SkipWithError(("unzip exited with " + std::to_string(status)).c_str());
      return;
    }
    const double seconds = TimeExtraction(Quote(QELVO_UNZIP_TOOL) + " -q -x", kWork / "out-qelvo-unzip", status);
    if (status != 0) {
      state.SkipWithError(("qelvo-unzip exited with " + std::to_string(status)).c_str());
      return;
    }
    qelvo += seconds;
    state.SetIterationTime(seconds);
  }
  const double n = static_cast<double>(state.iterations());
  gQelvoSeconds = qelvo / n;
  gUnzipSeconds = unzip / n;
  state.counters["qelvo_s"] = gQelvoSeconds;
  state.counters["unzip_s"] = gUnzipSeconds;
  state.counters["ratio"] = gQelvoSeconds / gUnzipSeconds;
  std::error_code ec;
  state.SetBytesProcessed(static_cast<int64_t>(fs::file_size(kArchive, ec)) * state.iterations());
}

BENCHMARK(BM_QelvoUnzipAgainstInfoZip)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gQelvoSeconds > 0 && gUnzipSeconds > 0) {
    std::error_code ec;
    std::printf("archive: %s, %.1f MiB\n", kArchive.c_str(), static_cast<double>(fs::file_size(kArchive, ec)) / (1 << 20));
    std::printf("qelvo-unzip %.3f s, unzip -o -q %.3f s: qelvo-unzip takes %.2fx the time of unzip\n", gQelvoSeconds,
                gUnzipSeconds, gQelvoSeconds / gUnzipSeconds);
  }
  return 0;
}
