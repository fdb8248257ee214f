// Throughput of THTTPSend receiving a 256 MiB body into Document from nginx on loopback,
// against curl -o /dev/null on the same URL, each the best of a few runs. A third line
// runs the same client with the body discarded, to separate the socket path from the
// cost of holding the body in memory.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http_client.h"
#include "tests/support/nginx.h"
#include "tests/support/sample_data.h"

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

// The same client with its sized-body read sent to a stream that keeps nothing, like
// curl's /dev/null: shows what holding the body in memory costs.
class TDiscardStream : public qelvo::rtl::TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    size_ += count;
    return count;
  }
  int64_t Seek(int64_t, qelvo::rtl::TSeekOrigin) override { return size_; }
  int64_t size_ = 0;
};

class TDiscardingHTTPSend : public qelvo::net::THTTPSend {
 public:
  int64_t Discarded() const { return discarded_; }

 protected:
  bool ReadBodySized(int64_t Size) override {
    TDiscardStream sink;
    Sock()->RecvStreamSize(sink, Timeout, Size);
    discarded_ = sink.size_;
    return Sock()->LastError == 0;
  }

 private:
  int64_t discarded_ = 0;
};

double DiscardingGet(const std::string& url) {
  TDiscardingHTTPSend http;
  const auto t0 = Clock::now();
  const bool ok = http.HTTPMethod("GET", url);
  const double s = Seconds(t0);
  if (!ok || http.ResultCode() != 200 || http.Discarded() + http.Document().Size() != static_cast<int64_t>(kSize)) {
    std::fprintf(stderr, "discarding GET failed\n");
    std::exit(1);
  }
  return s;
}

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
  qelvo::test::NginxPeer nginx;
  nginx.Serve("big.bin", qelvo::test::RandomBytes(kSize, 7));
  if (!nginx.Start("", "  keepalive_timeout 10;\n" + std::string(nginx.kOctetStream))) {
    std::fprintf(stderr, "%s\n", nginx.Error().c_str());
    return 1;
  }
  const std::string url = nginx.Url("/big.bin");
  OurGet(url);  // warm the page cache and the allocator
  Run ours;
  Run discarding;
  Run curl;
  for (int i = 0; i < kRuns; ++i) {
    double cpu0 = CpuSeconds(RUSAGE_SELF);
    ours.wall = std::min(ours.wall, OurGet(url));
    ours.cpu = std::min(ours.cpu, CpuSeconds(RUSAGE_SELF) - cpu0);
    cpu0 = CpuSeconds(RUSAGE_SELF);
    discarding.wall = std::min(discarding.wall, DiscardingGet(url));
    discarding.cpu = std::min(discarding.cpu, CpuSeconds(RUSAGE_SELF) - cpu0);
    cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    curl.wall = std::min(curl.wall, CurlGet(url));
    curl.cpu = std::min(curl.cpu, CpuSeconds(RUSAGE_CHILDREN) - cpu0);
  }
  const double mib = kSize / (1024.0 * 1024.0);
  std::printf("THTTPSend GET into Document: %8.1f MiB/s (%.3f s wall, %.3f s CPU)\n", mib / ours.wall, ours.wall,
              ours.cpu);
  std::printf("THTTPSend, body discarded:   %8.1f MiB/s (%.3f s wall, %.3f s CPU)\n", mib / discarding.wall,
              discarding.wall, discarding.cpu);
  std::printf("curl -o /dev/null:           %8.1f MiB/s (%.3f s wall, %.3f s CPU)\n", mib / curl.wall, curl.wall,
              curl.cpu);
  std::printf("throughput ratio (ours / curl): %5.2f; body discarded / curl: %5.2f\n", curl.wall / ours.wall,
              curl.wall / discarding.wall);
  return 0;
}
