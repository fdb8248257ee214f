// qelvo-get over TLS: https:// against nginx and ftps:// / ftp:// --ftp-tls against vsftpd,
// with verification on by default, --cacert, --insecure, and refusals named with the host.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/download/test_servers.h"
#include "tests/support/files.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tls_nginx.h"

namespace qelvo::download {
namespace {

using namespace qelvo::test;
using std::string;

struct Outcome {
  int exitCode;
  string output;
  std::chrono::milliseconds took;
};

Outcome Get(const string& args, const TempFolder& scratch) {
  const string out = scratch.File("get.out");
  const auto start = std::chrono::steady_clock::now();
  const int code = ShellStatus("timeout 60 " + ShellQuote(QELVO_GET_PATH) + " " + args + " >" + ShellQuote(out) + " 2>&1");
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  return {code, ReadFile(out), took};
}

class QelvoGetTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pki = std::make_unique<TestPki>();
    body = RandomBytes(3 * 1024 * 1024 + 99, 23);
  }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override { ASSERT_TRUE(pki->ok) << pki->error; }
  std::unique_ptr<NginxPeer> Nginx(const string& cert) {
    auto peer = std::make_unique<NginxPeer>();
    peer->Serve("file.bin", body);
    EXPECT_TRUE(StartTlsNginx(*peer, *pki, {.Cert = cert})) << peer->Error();
    return peer;
  }
  string Dest() const { return "-q -d " + ShellQuote(dest.Native()) + " "; }
  string CaCert() const { return "--cacert " + ShellQuote(pki->CaCert()) + " "; }

  static inline std::unique_ptr<TestPki> pki;
  static inline string body;
  TempFolder dest{"get-tls"};
  TempFolder scratch{"get-tls"};
};

TEST_F(QelvoGetTls, HttpsVerifiesByDefault) {
  auto good = Nginx("localhost");
  auto rogue = Nginx("rogue");
  const string goodUrl = TlsUrl(*good, "/file.bin");
  const string rogueUrl = TlsUrl(*rogue, "/file.bin");
  struct Case {
    string args;
    int exitCode;
    const char* says;
  } cases[] = {
      {CaCert() + goodUrl, 0, ""},
      {goodUrl, 1, "TLS with localhost failed: certificate verify failed: unable to get local issuer certificate"},
      {CaCert() + rogueUrl, 1,
       "TLS with localhost failed: certificate verify failed: self-signed certificate in certificate chain"},
      {"--insecure " + rogueUrl, 0, ""},
      {"--cacert /nonexistent/ca.pem " + goodUrl, 1, "cannot read the CA certificates of /nonexistent/ca.pem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::filesystem::remove_all(dest.Native());
    std::filesystem::create_directories(dest.Native());
    const Outcome r = Get(Dest() + c.args, scratch);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.says), string::npos) << r.output;
    if (c.exitCode == 0) {
      EXPECT_EQ(Checksum(ReadFile(dest.File("file.bin"))), Checksum(body));
    }
  }
}

TEST_F(QelvoGetTls, HttpsResumesAPartFile) {
  auto nginx = Nginx("localhost");
  dest.Write("file.bin.part", body.substr(0, 1234567));
  // As a run that was cut leaves it: stamped with the served file's Last-Modified.
  test::StampAsLeftBehind(dest.File("file.bin.part"), nginx->DocRoot() + "/file.bin");
  const Outcome r = Get(Dest() + CaCert() + TlsUrl(*nginx, "/file.bin"), scratch);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Checksum(ReadFile(dest.File("file.bin"))), Checksum(body));
  EXPECT_EQ(nginx->LastStatus("/file.bin"), 206);
}

// Each wait is bounded by --timeout; a transfer whose protected data connection waited
// for it at the end would take that long, so the successful runs must take far less.
TEST_F(QelvoGetTls, FtpsImplicitAndExplicit) {
  VsftpdPeer implicitPeer(false, VsftpdTlsConf(*pki, true));
  VsftpdPeer explicitPeer(false, VsftpdTlsConf(*pki, false));
  VsftpdPeer plainPeer;
  for (const VsftpdPeer* p : {&implicitPeer, &explicitPeer, &plainPeer}) {
    ASSERT_TRUE(p->ok) << p->error;
    p->Serve("file.bin", body);
  }
  constexpr int kTimeoutMs = 20000;
  const string login = "--timeout " + std::to_string(kTimeoutMs) + " --ftp-user " + string(kFtpUser) +
                       " --ftp-pass " + string(kFtpPass) + " ";
  auto url = [](const char* scheme, const VsftpdPeer& p) {
    return string(scheme) + "://localhost:" + std::to_string(p.port) + "/file.bin";
  };
  struct Case {
    string args;
    size_t partBytes;  // a part file left by an earlier run
    int exitCode;
    const char* says;
  } cases[] = {
      {CaCert() + login + url("ftps", implicitPeer), 0, 0, ""},
      {CaCert() + login + "--ftp-tls " + url("ftp", explicitPeer), 0, 0, ""},
      {CaCert() + login + url("ftps", implicitPeer), 2000001, 0, ""},
      {CaCert() + login + "--ftp-tls " + url("ftp", explicitPeer), 777, 0, ""},
      {login + url("ftps", implicitPeer), 0, 1,
       "TLS with localhost failed: certificate verify failed: unable to get local issuer certificate"},
      {"--insecure " + login + url("ftps", implicitPeer), 0, 0, ""},
      {CaCert() + login + "--ftp-tls " + url("ftp", plainPeer), 0, 1, "the server does not offer TLS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args + " from " + std::to_string(c.partBytes));
    std::filesystem::remove_all(dest.Native());
    std::filesystem::create_directories(dest.Native());
    if (c.partBytes > 0) dest.Write("file.bin.part", body.substr(0, c.partBytes));
    const Outcome r = Get(Dest() + c.args, scratch);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.says), string::npos) << r.output;
    if (c.exitCode != 0) continue;
    EXPECT_EQ(Checksum(ReadFile(dest.File("file.bin"))), Checksum(body));
    EXPECT_LT(r.took.count(), kTimeoutMs / 2) << "the transfer waited for the timeout";
  }
  EXPECT_NE(implicitPeer.Log().find("REST 2000001"), string::npos);
  EXPECT_NE(explicitPeer.Log().find("REST 777"), string::npos);
  // The plain server never saw the credentials.
  EXPECT_EQ(plainPeer.Log().find("USER " + string(kFtpUser)), string::npos);
}

}  // namespace
}  // namespace qelvo::download
