// Throughput of THTTPSend receiving a 256 MiB body into Document from nginx on loopback,
// against curl -o /dev/null on the same URL, each the best of a few runs.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http_client.h"
#include "peers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kSize = 256u * 1024 * 1024;
constexpr int kRuns = 3;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// User plus system CPU seconds of this process or of its finished children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

struct Run {
  double wall = 1e9;
  double cpu = 1e9;
};

double OurGet(const std::string& url) {
  qelvo::net::THTTPSend http;
  const auto t0 = Clock::now();
  const bool ok = http.HTTPMethod("GET", url);
  const double s = Seconds(t0);
  if (!ok || http.ResultCode() != 200 || http.Document().Size() != static_cast<int64_t>(kSize)) {
    std::fprintf(stderr, "GET failed: result %d, code %d, %lld bytes\n", ok, http.ResultCode(),
                 static_cast<long long>(http.Document().Size()));
    std::exit(1);
  }
  return s;
}

double CurlGet(const std::string& url) {
  const std::string cmd = "curl -s -f -o /dev/null '" + url + "'";
  const auto t0 = Clock::now();
  const int rc = std::system(cmd.c_str());
  const double s = Seconds(t0);
  if (rc != 0) {
    std::fprintf(stderr, "curl failed (%d)\n", rc);
    std::exit(1);
  }
  return s;
}

}  // namespace

int main() {
  qelvo::net::testing::NginxPeer nginx(kSize);
  if (!nginx.ok) {
    std::fprintf(stderr, "%s\n", nginx.error.c_str());
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.port) + "/big.bin";
  OurGet(url);  // warm the page cache and the allocator
  Run ours;
  Run curl;
  for (int i = 0; i < kRuns; ++i) {
    double cpu0 = CpuSeconds(RUSAGE_SELF);
    ours.wall = std::min(ours.wall, OurGet(url));
    ours.cpu = std::min(ours.cpu, CpuSeconds(RUSAGE_SELF) - cpu0);
    cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    curl.wall = std::min(curl.wall, CurlGet(url));
    curl.cpu = std::min(curl.cpu, CpuSeconds(RUSAGE_CHILDREN) - cpu0);
  }
  const double mib = kSize / (1024.0 * 1024.0);
  std::printf("THTTPSend GET into Document: %8.1f MiB/s (%.3f s wall, %.3f s CPU)\n", mib / ours.wall, ours.wall,
              ours.cpu);
  std::printf("curl -o /dev/null:           %8.1f MiB/s (%.3f s wall, %.3f s CPU)\n", mib / curl.wall, curl.wall,
              curl.cpu);
  std::printf("throughput ratio (ours / curl): %5.2f\n", curl.wall / ours.wall);
  return 0;
}
