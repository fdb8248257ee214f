// qelvo-get against curl over FTP and FTPS: both fetch the same 256 MiB file from vsftpd
// on loopback, in the same run, rounds alternating: plain FTP (passive mode, anonymous),
// then implicit FTPS (ftps://, protected data connections that resume the control
// connection's TLS session, both trusting the test CA). Prints each throughput ratio
// (target: at least curl's throughput) and qelvo-get's peak memory.
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
  qelvo::test::VsftpdPeer plain;
  qelvo::test::VsftpdPeer tls(false, qelvo::test::VsftpdTlsConf(pki, true));
  for (const qelvo::test::VsftpdPeer* server : {&plain, &tls}) {
    if (!server->ok) {
      std::fprintf(stderr, "%s\n", server->error.c_str());
      return 1;
    }
    server->Serve("large.bin", qelvo::test::TestBody(kFileSize, 11));
  }
  qelvo::test::TempFolder out("ftp");
  qelvo::bench::CurlComparison ftp("ftp_256MiB", QELVO_GET_PATH,
                                   "ftp://127.0.0.1:" + std::to_string(plain.port) + "/large.bin",
                                   plain.Root() + "/large.bin", out.Native(), kFileSize);
  qelvo::bench::CurlComparison ftps("ftps_256MiB", QELVO_GET_PATH,
                                    "ftps://localhost:" + std::to_string(tls.port) + "/large.bin",
                                    tls.Root() + "/large.bin", out.Native(), kFileSize);
  ftps.commonArgs = {"--cacert", pki.CaCert()};
  ftp.Register(5);
  ftps.Register(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bool ok = true;
  for (const qelvo::bench::CurlComparison* c : {&ftp, &ftps}) {
    std::printf("%s:\n", c == &ftp ? "FTP" : "FTPS");
    ok = c->Report("target >= 1.00") && ok;
    std::printf("qelvo-get peak resident memory: %.0f MiB for a %zu MiB file\n",
                static_cast<double>(c->qelvo.peakRssKb) / 1024.0, kFileSize >> 20);
  }
  return ok ? 0 : 1;
}
