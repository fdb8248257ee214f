// qelvo-get against curl: both download the same 256 MiB file from nginx on loopback,
// in the same run. Prints the throughput ratio (qelvo-get / curl, target >= 0.8) and
// qelvo-get's peak resident memory as a multiple of the file size (the client keeps the
// whole body in memory, so about 1x is expected; keep it under 2x).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/nginx.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace {

using qelvo::test::NginxPeer;
using qelvo::test::TempFolder;

constexpr size_t kFileSize = 256u << 20;

struct RunResult {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakRssKb = 0;
  int exitCode = -1;
};

RunResult Run(std::vector<std::string> argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    execvp(raw[0], raw.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakRssKb = usage.ru_maxrss;
  r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
  }
  return fa.eof() && fb.eof();
}

struct Peer {
  const char* name;
  std::vector<double> seconds;
  std::vector<double> cpuSeconds;
  long peakRssKb = 0;
  double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
  double Median() const { return MedianOf(seconds); }
  double MedianCpu() const { return MedianOf(cpuSeconds); }
  static double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};
Peer gQelvo{"qelvo-get", {}, {}};
Peer gCurl{"curl", {}, {}};
std::string gUrl;
std::string gSource;
TempFolder* gOut = nullptr;

void Measure(benchmark::State& state, Peer& peer, bool qelvo) {
  const std::string out = gOut->File("large.bin");
  for (auto _ : state) {
    std::filesystem::remove(out);
    std::filesystem::remove(out + ".part");
    const RunResult r = qelvo ? Run({QELVO_GET_PATH, "-q", "-d", gOut->Native(), gUrl})
                              : Run({"curl", "-s", "-o", out, gUrl});
    if (r.exitCode != 0 || std::filesystem::file_size(out) != kFileSize) {
      state.SkipWithError((std::string(peer.name) + " failed").c_str());
      return;
    }
    state.SetIterationTime(r.seconds);
    peer.seconds.push_back(r.seconds);
    peer.cpuSeconds.push_back(r.cpuSeconds);
    peer.peakRssKb = std::max(peer.peakRssKb, r.peakRssKb);
  }
  if (!SameFile(out, gSource)) state.SkipWithError((std::string(peer.name) + ": wrong bytes").c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  state.counters["peak_rss_MiB"] = static_cast<double>(peer.peakRssKb) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  NginxPeer nginx;
  if (!nginx.Start("", std::string(NginxPeer::kOctetStream) + "  sendfile on;\n")) {
    std::fprintf(stderr, "%s\n", nginx.Error().c_str());
    return 1;
  }
  gSource = nginx.DocRoot() + "/large.bin";
  qelvo::test::WriteRandomFile(gSource, kFileSize, 11);
  gUrl = nginx.Url("/large.bin");
  TempFolder out;
  gOut = &out;

  // Rounds alternate the two peers so that a change of machine load hits both alike.
  constexpr int kRounds = 5;
  for (int round = 1; round <= kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    benchmark::RegisterBenchmark(("download_256MiB/curl" + suffix).c_str(),
                                 [](benchmark::State& s) { Measure(s, gCurl, false); })
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("download_256MiB/qelvo-get" + suffix).c_str(),
                                 [](benchmark::State& s) { Measure(s, gQelvo, true); })
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gCurl.seconds.empty() || gQelvo.seconds.empty()) return 1;

  const double mib = static_cast<double>(kFileSize) / (1 << 20);
  for (const Peer* p : {&gCurl, &gQelvo})
    std::printf("%-10s best %.3f s (%.0f MiB/s), median %.3f s (%.0f MiB/s), median CPU %.3f s\n", p->name,
                p->Best(), mib / p->Best(), p->Median(), mib / p->Median(), p->MedianCpu());
  std::printf("throughput ratio qelvo-get/curl: median %.2f, best %.2f (target >= 0.80)\n",
              gCurl.Median() / gQelvo.Median(), gCurl.Best() / gQelvo.Best());
  std::printf("CPU time ratio curl/qelvo-get (load-independent): %.2f\n", gCurl.MedianCpu() / gQelvo.MedianCpu());
  std::printf("qelvo-get peak resident memory: %.2f x file size (keep < 2.00)\n",
              static_cast<double>(gQelvo.peakRssKb) * 1024.0 / static_cast<double>(kFileSize));
  nginx.Stop();
  return 0;
}
