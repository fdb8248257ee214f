// Throughput of THTTPSend receiving a 256 MiB body into Document from nginx on loopback,
// against curl -o /dev/null on the same URL, each the best of a few runs.
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
  double ours = 1e9;
  double curl = 1e9;
  for (int i = 0; i < kRuns; ++i) {
    ours = std::min(ours, OurGet(url));
    curl = std::min(curl, CurlGet(url));
  }
  const double mib = kSize / (1024.0 * 1024.0);
  std::printf("THTTPSend GET into Document: %8.1f MiB/s (%.3f s)\n", mib / ours, ours);
  std::printf("curl -o /dev/null:           %8.1f MiB/s (%.3f s)\n", mib / curl, curl);
  std::printf("ratio (ours / curl):         %8.2f\n", curl / ours);
  return 0;
}
