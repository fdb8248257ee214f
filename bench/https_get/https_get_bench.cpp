// qelvo-get against curl over HTTPS: both download the same 256 MiB file from nginx (TLS
// 1.3, certificates of a test CA both are told to trust) on loopback, in the same run.
// Prints the throughput ratio qelvo-get / curl (target >= 1.0).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/support/peer_runs.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tls_nginx.h"

namespace {

constexpr size_t kFileSize = 256u << 20;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  qelvo::test::TestPki pki;
  if (!pki.ok) {
    std::fprintf(stderr, "%s\n", pki.error.c_str());
    return 1;
  }
  qelvo::test::NginxPeer nginx;
  if (!qelvo::test::StartTlsNginx(nginx, pki)) {
    std::fprintf(stderr, "%s\n", nginx.Error().c_str());
    return 1;
  }
  const std::string source = nginx.DocRoot() + "/large.bin";
  qelvo::test::WriteRandomFile(source, kFileSize, 13);
  qelvo::test::TempFolder out;
  qelvo::bench::CurlComparison comparison("https_256MiB", QELVO_GET_PATH, qelvo::test::TlsUrl(nginx, "/large.bin"),
                                          source, out.Native(), kFileSize);
  comparison.commonArgs = {"--cacert", pki.CaCert()};
  comparison.Register(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!comparison.Report("target >= 1.00")) return 1;
  nginx.Stop();
  return 0;
}
