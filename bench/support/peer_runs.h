#pragma once
// Shared by the download benchmarks: run a downloader as a child process with its time,
// CPU time and peak memory; compare files; keep each peer's figures.
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

namespace qelvo::bench {

struct RunResult {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakRssKb = 0;
  int exitCode = -1;
};

inline RunResult Run(std::vector<std::string> argv) {
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

inline bool SameFile(const std::string& a, const std::string& b) {
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

// qelvo-get and curl fetch the same file in rounds that alternate the two, so that a
// change of machine load hits both alike; Report prints their figures and ratios.
class CurlComparison {
 public:
  CurlComparison(std::string prefix, std::string qelvoGet, std::string url, std::string source, std::string outFolder,
                 size_t fileSize)
      : prefix_(std::move(prefix)), qelvoGet_(std::move(qelvoGet)), url_(std::move(url)), source_(std::move(source)),
        outFolder_(std::move(outFolder)), fileSize_(fileSize) {}

  void Register(int rounds) {
    for (int round = 1; round <= rounds; ++round) {
      const std::string suffix = "/round:" + std::to_string(round);
      benchmark::RegisterBenchmark((prefix_ + "/curl" + suffix).c_str(),
                                   [this](benchmark::State& s) { Measure(s, curl, false); })
          ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((prefix_ + "/qelvo-get" + suffix).c_str(),
                                   [this](benchmark::State& s) { Measure(s, qelvo, true); })
          ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    }
  }

  // False when a peer has no figures (it failed).
  bool Report(const char* target) const {
    if (curl.seconds.empty() || qelvo.seconds.empty()) return false;
    const double mib = static_cast<double>(fileSize_) / (1 << 20);
    for (const Peer* p : {&curl, &qelvo})
      std::printf("%-10s best %.3f s (%.0f MiB/s), median %.3f s (%.0f MiB/s), median CPU %.3f s\n", p->name,
                  p->Best(), mib / p->Best(), p->Median(), mib / p->Median(), p->MedianCpu());
    std::printf("throughput ratio qelvo-get/curl: median %.2f, best %.2f (%s)\n", curl.Median() / qelvo.Median(),
                curl.Best() / qelvo.Best(), target);
    std::printf("CPU time ratio curl/qelvo-get (load-independent): %.2f\n", curl.MedianCpu() / qelvo.MedianCpu());
    return true;
  }

  // Options both programs take the same way (--cacert FILE), before the URL.
  std::vector<std::string> commonArgs;
  Peer qelvo{"qelvo-get", {}, {}};
  Peer curl{"curl", {}, {}};

 private:
  void Measure(benchmark::State& state, Peer& peer, bool isQelvo) {
    const std::string out = outFolder_ + "/" + std::filesystem::path(source_).filename().string();
    for (auto _ : state) {
      std::filesystem::remove(out);
      std::filesystem::remove(out + ".part");
      std::vector<std::string> args = isQelvo ? std::vector<std::string>{qelvoGet_, "-q", "-d", outFolder_}
                                              : std::vector<std::string>{"curl", "-s", "-o", out};
      args.insert(args.end(), commonArgs.begin(), commonArgs.end());
      args.push_back(url_);
      const RunResult r = Run(args);
      if (r.exitCode != 0 || std::filesystem::file_size(out) != fileSize_) {
        state.SkipWithError((std::string(peer.name) + " failed").c_str());
        return;
      }
      state.SetIterationTime(r.seconds);
      peer.seconds.push_back(r.seconds);
      peer.cpuSeconds.push_back(r.cpuSeconds);
      peer.peakRssKb = std::max(peer.peakRssKb, r.peakRssKb);
    }
    if (!SameFile(out, source_)) state.SkipWithError((std::string(peer.name) + ": wrong bytes").c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<int64_t>(fileSize_)));
    state.counters["peak_rss_MiB"] = static_cast<double>(peer.peakRssKb) / 1024.0;
  }

  std::string prefix_, qelvoGet_, url_, source_, outFolder_;
  size_t fileSize_;
};

}  // namespace qelvo::bench
