// qelvo-get against curl over FTP: both fetch the same 256 MiB file from vsftpd on
// loopback (passive mode, anonymous), in the same run, rounds alternating. Prints the
// throughput ratio (target: at least curl's throughput) and qelvo-get's peak memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/support/peer_runs.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr size_t kFileSize = 256u << 20;
  qelvo::test::VsftpdPeer server;
  if (!server.ok) {
    std::fprintf(stderr, "%s\n", server.error.c_str());
    return 1;
  }
  server.Serve("large.bin", qelvo::test::TestBody(kFileSize, 11));
  qelvo::test::TempFolder out("ftp");
  qelvo::bench::CurlComparison comparison("ftp_256MiB", QELVO_GET_PATH,
                                          "ftp://127.0.0.1:" + std::to_string(server.port) + "/large.bin",
                                          server.Root() + "/large.bin", out.Native(), kFileSize);
  comparison.Register(5);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!comparison.Report("target >= 1.00")) return 1;
  std::printf("qelvo-get peak resident memory: %.0f MiB for a %zu MiB file\n",
              static_cast<double>(comparison.qelvo.peakRssKb) / 1024.0, kFileSize >> 20);
  return 0;
}
