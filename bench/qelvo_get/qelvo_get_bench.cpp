// qelvo-get against curl: both download the same 256 MiB file from nginx on loopback,
// in the same run. Prints the throughput ratio (qelvo-get / curl, target >= 0.8) and
// qelvo-get's peak resident memory as a multiple of the file size (the client keeps the
// whole body in memory, so about 1x is expected; keep it under 2x).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/peer_runs.h"
#include "tests/support/nginx.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace {

using qelvo::test::NginxPeer;
using qelvo::test::TempFolder;

constexpr size_t kFileSize = 256u << 20;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  NginxPeer nginx;
  if (!nginx.Start("", std::string(NginxPeer::kOctetStream) + "  sendfile on;\n")) {
    std::fprintf(stderr, "%s\n", nginx.Error().c_str());
    return 1;
  }
  const std::string source = nginx.DocRoot() + "/large.bin";
  qelvo::test::WriteRandomFile(source, kFileSize, 11);
  TempFolder out;
  qelvo::bench::CurlComparison comparison("download_256MiB", QELVO_GET_PATH, nginx.Url("/large.bin"), source,
                                          out.Native(), kFileSize);
  comparison.Register(5);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!comparison.Report("target >= 0.80")) return 1;
  std::printf("qelvo-get peak resident memory: %.2f x file size (keep < 2.00)\n",
              static_cast<double>(comparison.qelvo.peakRssKb) * 1024.0 / static_cast<double>(kFileSize));
  nginx.Stop();
  return 0;
}
