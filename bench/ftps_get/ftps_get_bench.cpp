// qelvo-get against curl over FTPS: both fetch the same 256 MiB file from vsftpd on
// loopback over implicit TLS (ftps://, protected data connections that resume the control
// connection's session), trusting the test CA, in the same run, rounds alternating.
// Prints the throughput ratio qelvo-get / curl (target >= 1.0).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/support/peer_runs.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"
#include "tests/support/test_pki.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  constexpr size_t kFileSize = 256u << 20;
  qelvo::test::TestPki pki;
  if (!pki.ok) {
    std::fprintf(stderr, "%s\n", pki.error.c_str());
    return 1;
  }
  qelvo::test::VsftpdPeer server(false, qelvo::test::VsftpdTlsConf(pki, true));
  if (!server.ok) {
    std::fprintf(stderr, "%s\n", server.error.c_str());
    return 1;
  }
  server.Serve("large.bin", qelvo::test::TestBody(kFileSize, 12));
  qelvo::test::TempFolder out("ftps");
  qelvo::bench::CurlComparison comparison("ftps_256MiB", QELVO_GET_PATH,
                                          "ftps://localhost:" + std::to_string(server.port) + "/large.bin",
                                          server.Root() + "/large.bin", out.Native(), kFileSize);
  comparison.commonArgs = {"--cacert", pki.CaCert()};
  comparison.Register(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return comparison.Report("target >= 1.00") ? 0 : 1;
}
