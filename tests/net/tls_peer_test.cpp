// HTTPS through the build's TLS layer (OpenSSL; Schannel on Windows) against nginx on
// loopback, with certificates made at test time: protocol versions, verification
// failures and their reasons, SNI, client certificates, CONNECT tunnels through
// tinyproxy, and the server side (Accept).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "net/http_client.h"
#include "net/ssl_default.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/script_server.h"
#include "tests/support/tls_nginx.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;
using std::string;

// Schannel has no server side here.
bool Schannel() {
  THTTPSend http;
  http.Sock()->SetSSLClass(DefaultSSLClass());
  return http.Sock()->SSL()->LibName() == "Schannel";
}

// Wine's Schannel offers TLS 1.2 only.
constexpr const char* kNoTls13 = "Wine's Schannel offers no TLS 1.3";
bool NoTls13() { return Schannel() && UnderWine(); }

// The first line the openssl command prints for `args`.
string OpenSslSays(const string& args) {
  TempFolder scratch{"openssl"};
  ShellStatus("openssl " + args + " >" + ShellQuote(scratch.File("out")) + " 2>&1");
  const string out = ReadFile(scratch.File("out"));
  return out.substr(0, out.find('\n'));
}

class Https : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pki = std::make_unique<TestPki>();
    big = RandomBytes(24 * 1024 * 1024 + 4321, 11);
  }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override { ASSERT_TRUE(pki->ok) << pki->error; }

  // A started nginx serving small.txt and big.bin.
  static std::unique_ptr<NginxPeer> Server(const TlsNginxOptions& options = {}) {
    auto peer = std::make_unique<NginxPeer>();
    peer->Serve("small.txt", "Hello over TLS\n");
    peer->Serve("big.bin", big);
    EXPECT_TRUE(StartTlsNginx(*peer, *pki, options)) << peer->Error();
    return peer;
  }
  // A client with the build's TLS layer trusting the test CA.
  static std::unique_ptr<THTTPSend> Client(bool verify = true) {
    auto http = std::make_unique<THTTPSend>();
    http->Sock()->SetSSLClass(DefaultSSLClass());
    http->Sock()->SSL()->VerifyCert = verify;
    http->Sock()->SSL()->SetCertCAFile(pki->CaCert());
    return http;
  }
  static string ErrorOf(THTTPSend& http) { return http.Sock()->GetErrorDescEx(); }

  static inline std::unique_ptr<TestPki> pki;
  static inline string big;
};

// The parameter: the one version the server speaks.
class HttpsVersion : public Https, public ::testing::WithParamInterface<const char*> {};

TEST_P(HttpsVersion, GetRangeAndBigFile) {
  const char* version = GetParam();
  if (string(version) == "TLSv1.3" && NoTls13()) GTEST_SKIP() << kNoTls13;
  auto nginx = Server({.Protocols = version});
  auto http = Client();
  ASSERT_TRUE(http->HTTPMethod("GET", TlsUrl(*nginx, "/small.txt"))) << ErrorOf(*http);
  EXPECT_EQ(http->ResultCode(), 200);
  EXPECT_EQ(http->Document().DataString(), "Hello over TLS\n");
  TCustomSSL* ssl = http->Sock()->SSL();
  EXPECT_EQ(ssl->GetSSLVersion(), version);
  EXPECT_EQ(ssl->GetPeerName(), "localhost");
  EXPECT_EQ(ssl->GetVerifyCert(), 0);
  EXPECT_GE(ssl->GetCipherBits(), 128);
  EXPECT_FALSE(ssl->GetCipherName().empty());
  // The certificate as the openssl command reads it.
  const string cert = ShellQuote(pki->Cert("localhost"));
  EXPECT_EQ("sha256 Fingerprint=" + ssl->GetPeerFingerprint(), OpenSslSays("x509 -noout -fingerprint -sha256 -in " + cert));
  EXPECT_EQ("serial=" + ssl->GetPeerSerialNo_Text(), OpenSslSays("x509 -noout -serial -in " + cert));
  EXPECT_EQ(ssl->GetPeerSerialNo(), -1) << "a random 20-byte serial does not fit";
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08x", ssl->GetPeerNameHash());
  EXPECT_EQ(hash, OpenSslSays("x509 -noout -subject_hash -in " + cert));
  EXPECT_EQ(ssl->GetPeerSubject(), "/CN=localhost");
  EXPECT_EQ(ssl->GetPeerIssuer(), "/CN=Qelvo Test CA");
  EXPECT_NE(ssl->GetCertInfo().find("Subject: CN=localhost"), string::npos) << ssl->GetCertInfo();
  EXPECT_GE(ssl->GetCipherAlgBits(), ssl->GetCipherBits());

  http->Clear();
  http->RangeStart = 1000000;
  ASSERT_TRUE(http->HTTPMethod("GET", TlsUrl(*nginx, "/big.bin"))) << ErrorOf(*http);
  EXPECT_EQ(http->ResultCode(), 206);
  EXPECT_EQ(Checksum(http->Document().DataString()), Checksum(big.substr(1000000)));

  http->Clear();
  ASSERT_TRUE(http->HTTPMethod("GET", TlsUrl(*nginx, "/big.bin"))) << ErrorOf(*http);
  EXPECT_EQ(http->ResultCode(), 200);
  EXPECT_EQ(Checksum(http->Document().DataString()), Checksum(big));
  EXPECT_EQ(nginx->CountRequests("/"), 3);
}

INSTANTIATE_TEST_SUITE_P(Versions, HttpsVersion, ::testing::Values("TLSv1.2", "TLSv1.3"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return string(info.param) == "TLSv1.2" ? "Tls12" : "Tls13";
                         });

TEST_F(Https, RefusedCertificatesNameTheirReason) {
  struct Case {
    const char* cert;
    const char* host;  // what the URL names
    bool useTestCA;
    const char* reason;
  } cases[] = {
      {"expired", "localhost", true, "certificate verify failed: certificate has expired"},
      {"rogue", "localhost", true, "certificate verify failed: self-signed certificate in certificate chain"},
      // No name sent: the default server answers with other.test's certificate.
      {"localhost", "127.0.0.1", true, "certificate verify failed: IP address mismatch"},
      {"other", "localhost", true, "certificate verify failed: hostname mismatch"},
      // The system store does not know the test CA.
      {"localhost", "localhost", false, "certificate verify failed: unable to get local issuer certificate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(string(c.cert) + " via " + c.host);
    auto nginx = Server({.Cert = c.cert});
    const string url = "https://" + string(c.host) + ":" + std::to_string(nginx->Port()) + "/small.txt";
    auto http = Client();
    if (!c.useTestCA) http->Sock()->SSL()->SetCertCAFile("");
    EXPECT_FALSE(http->HTTPMethod("GET", url));
    EXPECT_EQ(http->ResultCode(), 500);
    EXPECT_EQ(http->Sock()->LastError, WSASYSNOTREADY);
    EXPECT_EQ(ErrorOf(*http), c.reason);
    EXPECT_EQ(nginx->CountRequests("/"), 0);

    auto insecure = Client(false);
    ASSERT_TRUE(insecure->HTTPMethod("GET", url)) << ErrorOf(*insecure);
    EXPECT_EQ(insecure->Document().DataString(), "Hello over TLS\n");
  }
}

TEST_F(Https, ServerNameSelectsTheCertificate) {
  auto nginx = Server();
  auto named = Client();
  ASSERT_TRUE(named->HTTPMethod("GET", TlsUrl(*nginx, "/small.txt"))) << ErrorOf(*named);
  EXPECT_EQ(named->Sock()->SSL()->GetPeerName(), "localhost");

  auto unnamed = Client(false);
  ASSERT_TRUE(unnamed->HTTPMethod("GET", "https://127.0.0.1:" + std::to_string(nginx->Port()) + "/small.txt"));
  EXPECT_EQ(unnamed->Sock()->SSL()->GetPeerName(), "other.test");

  // An explicit SNIHost wins over the URL's host, for the name sent and the name checked.
  auto chosen = Client();
  chosen->Sock()->SSL()->SNIHost = "other.test";
  ASSERT_TRUE(chosen->HTTPMethod("GET", TlsUrl(*nginx, "/small.txt"))) << ErrorOf(*chosen);
  EXPECT_EQ(chosen->Sock()->SSL()->GetPeerName(), "other.test");
}

TEST_F(Https, ProtocolVersions) {
  auto only12 = Server({.Protocols = "TLSv1.2"});
  auto http = Client();
  http->Sock()->SSL()->SSLType = LT_TLSv1_3;
  EXPECT_FALSE(http->HTTPMethod("GET", TlsUrl(*only12, "/small.txt")));
  EXPECT_EQ(http->Sock()->LastError, WSASYSNOTREADY);
  if (NoTls13())
    EXPECT_EQ(ErrorOf(*http).rfind("cannot set up Schannel for TLS 1.3", 0), 0u) << ErrorOf(*http);
  else if (Schannel())
    EXPECT_EQ(ErrorOf(*http).rfind("handshake: ", 0), 0u) << ErrorOf(*http);
  else
    EXPECT_EQ(ErrorOf(*http), "handshake: tlsv1 alert protocol version");
  EXPECT_EQ(only12->CountRequests("/"), 0);

  for (TSSLType old : {LT_SSLv2, LT_SSLv3, LT_TLSv1, LT_TLSv1_1, LT_SSHv2}) {
    auto legacy = Client();
    legacy->Sock()->SSL()->SSLType = old;
    EXPECT_FALSE(legacy->HTTPMethod("GET", TlsUrl(*only12, "/small.txt")));
    EXPECT_NE(ErrorOf(*legacy).find("is not supported: only TLS 1.2 and 1.3 are"), string::npos) << ErrorOf(*legacy);
  }
  auto v12 = Client();
  v12->Sock()->SSL()->SSLType = LT_TLSv1_2;
  ASSERT_TRUE(v12->HTTPMethod("GET", TlsUrl(*only12, "/small.txt"))) << ErrorOf(*v12);
  EXPECT_EQ(v12->Sock()->SSL()->GetSSLVersion(), "TLSv1.2");
}

TEST_F(Https, ClientCertificatesAsPemAndPfx) {
  auto nginx = Server({.ServerLines = "    ssl_verify_client on;\n    ssl_client_certificate " + pki->CaCert() +
                                      ";\n"});
  const string url = TlsUrl(*nginx, "/small.txt");
  auto none = Client();
  ASSERT_TRUE(none->HTTPMethod("GET", url)) << ErrorOf(*none);
  EXPECT_EQ(none->ResultCode(), 400);  // nginx: no required certificate was sent

  auto pem = Client();
  pem->Sock()->SSL()->CertificateFile = pki->Cert("client");
  pem->Sock()->SSL()->PrivateKeyFile = pki->Key("client");
  ASSERT_TRUE(pem->HTTPMethod("GET", url)) << ErrorOf(*pem);
  EXPECT_EQ(pem->ResultCode(), 200);

  auto pfx = Client();
  pfx->Sock()->SSL()->PFXfile = pki->ClientPfx();
  pfx->Sock()->SSL()->KeyPassword = kPfxPassword;
  ASSERT_TRUE(pfx->HTTPMethod("GET", url)) << ErrorOf(*pfx);
  EXPECT_EQ(pfx->ResultCode(), 200);

  // The same as bytes in memory.
  auto pemBytes = Client();
  pemBytes->Sock()->SSL()->Certificate = ReadFile(pki->Cert("client"));
  pemBytes->Sock()->SSL()->PrivateKey = ReadFile(pki->Key("client"));
  ASSERT_TRUE(pemBytes->HTTPMethod("GET", url)) << ErrorOf(*pemBytes);
  EXPECT_EQ(pemBytes->ResultCode(), 200);

  auto pfxBytes = Client();
  pfxBytes->Sock()->SSL()->PFX = ReadFile(pki->ClientPfx());
  pfxBytes->Sock()->SSL()->KeyPassword = kPfxPassword;
  ASSERT_TRUE(pfxBytes->HTTPMethod("GET", url)) << ErrorOf(*pfxBytes);
  EXPECT_EQ(pfxBytes->ResultCode(), 200);

  for (bool pfxData : {false, true}) {
    auto notACertificate = Client();
    (pfxData ? notACertificate->Sock()->SSL()->PFX : notACertificate->Sock()->SSL()->Certificate) = "not a certificate";
    notACertificate->Sock()->SSL()->PrivateKey = ReadFile(pki->Key("client"));
    EXPECT_FALSE(notACertificate->HTTPMethod("GET", url));
    const string says = pfxData ? "cannot use the PFX data" : "cannot use the certificate given";
    EXPECT_EQ(ErrorOf(*notACertificate).rfind(says, 0), 0u) << ErrorOf(*notACertificate);
  }

  auto wrongPassword = Client();
  wrongPassword->Sock()->SSL()->PFXfile = pki->ClientPfx();
  wrongPassword->Sock()->SSL()->KeyPassword = "nope";
  EXPECT_FALSE(wrongPassword->HTTPMethod("GET", url));
  EXPECT_EQ(ErrorOf(*wrongPassword).rfind("cannot use the PFX file " + pki->ClientPfx(), 0), 0u)
      << ErrorOf(*wrongPassword);
}

// HTTP/1.1 keeps the TLS connection for the next request; once the server has closed
// it (close_notify while idle), the next request opens a new one instead of failing.
TEST_F(Https, KeepAliveReusesAndNoticesTheServersClose) {
  auto nginx = Server({.ServerLines = "    keepalive_timeout 1s;\n"});
  auto http = Client();
  http->Protocol = "1.1";
  int connects = 0;
  http->Sock()->OnStatus = [&](TBlockSocket*, THookSocketReason reason, const string&) {
    if (reason == HR_Connect) ++connects;
  };
  const string url = TlsUrl(*nginx, "/small.txt");
  for (int i = 0; i < 3; ++i) {
    http->Clear();
    ASSERT_TRUE(http->HTTPMethod("GET", url)) << ErrorOf(*http);
    EXPECT_EQ(http->Document().DataString(), "Hello over TLS\n");
  }
  EXPECT_EQ(connects, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  http->Clear();
  ASSERT_TRUE(http->HTTPMethod("GET", url)) << ErrorOf(*http);
  EXPECT_EQ(http->Document().DataString(), "Hello over TLS\n");
  EXPECT_EQ(connects, 2);
  EXPECT_EQ(nginx->CountRequests("/"), 4);
}

// Same host and port, other scheme: the open plain connection is not reused, so the
// https:// request never travels in the clear.
TEST_F(Https, PlainConnectionIsNotReusedForHttps) {
  ScriptServer server({{ReadHead(), Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"), Pause(1000), Close()},
                       {ReadBytes(5), Close()}});
  auto http = Client();
  http->Protocol = "1.1";
  ASSERT_TRUE(http->HTTPMethod("GET", server.Url("/a")));
  EXPECT_EQ(http->Document().DataString(), "ok");
  http->Clear();
  EXPECT_FALSE(http->HTTPMethod("GET", "https://127.0.0.1:" + server.PortText() + "/b"));
  EXPECT_EQ(http->Sock()->LastError, WSASYSNOTREADY);  // the handshake with a plain peer
  EXPECT_TRUE(server.WaitFinished(2));  // a second connection
  EXPECT_EQ(server.Received(0).find("/b"), string::npos);
}

TEST_F(Https, ThroughTinyproxyConnectTunnel) {
  auto nginx = Server();
  TinyproxyPeer proxy(nginx->Port(), "tunnel", "pw");
  ASSERT_TRUE(proxy.ok) << proxy.error;
  auto http = Client();
  http->ProxyHost = "127.0.0.1";
  http->ProxyPort = std::to_string(proxy.port);
  http->ProxyUser = "tunnel";
  http->ProxyPass = "pw";
  ASSERT_TRUE(http->HTTPMethod("GET", TlsUrl(*nginx, "/big.bin"))) << ErrorOf(*http);
  EXPECT_EQ(http->Sock()->SSL()->GetPeerName(), "localhost");
  EXPECT_EQ(Checksum(http->Document().DataString()), Checksum(big));

  // The proxy is really in the path: without its password there is no tunnel.
  auto refused = Client();
  refused->ProxyHost = "127.0.0.1";
  refused->ProxyPort = std::to_string(proxy.port);
  EXPECT_FALSE(refused->HTTPMethod("GET", TlsUrl(*nginx, "/small.txt")));
  EXPECT_EQ(refused->Sock()->LastError, WSAECONNREFUSED);
}

// Our own server side: Accept with a required client certificate, against our client.
TEST_F(Https, AcceptsAndChecksTheClientCertificate) {
  if (Schannel()) {
    TTCPBlockSocket conn(DefaultSSLClass());
    EXPECT_FALSE(conn.SSLAcceptConnection());
    EXPECT_EQ(conn.GetErrorDescEx(), "the Schannel layer does not accept TLS connections (server side)");
    GTEST_SKIP() << "the Schannel layer has no server side";
  }
  TTCPBlockSocket listener;
  listener.Bind("127.0.0.1", "0");
  listener.Listen();
  ASSERT_EQ(listener.LastError, 0);
  const string port = std::to_string(listener.GetLocalSinPort());

  string serverSawClient, serverError;
  std::thread server([&] {
    TTCPBlockSocket conn(DefaultSSLClass());
    if (!listener.CanRead(10000)) return;
    conn.SetSocket(listener.Accept());
    TCustomSSL* ssl = conn.SSL();
    ssl->CertificateFile = pki->Cert("localhost");
    ssl->PrivateKeyFile = pki->Key("localhost");
    ssl->VerifyCert = true;
    ssl->SetCertCAFile(pki->CaCert());
    if (!conn.SSLAcceptConnection()) {
      serverError = conn.GetErrorDescEx();
      return;
    }
    serverSawClient = ssl->GetPeerName();
    conn.RecvTerminated(10000, "\r\n\r\n");
    conn.SendString("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
    conn.CloseSocket();
  });
  auto http = Client();
  http->Sock()->SSL()->PFXfile = pki->ClientPfx();
  http->Sock()->SSL()->KeyPassword = kPfxPassword;
  const bool ok = http->HTTPMethod("GET", "https://localhost:" + port + "/");
  server.join();
  ASSERT_TRUE(ok) << ErrorOf(*http) << " / server: " << serverError;
  EXPECT_EQ(http->Document().DataString(), "hello");
  EXPECT_EQ(serverSawClient, "Qelvo Test Client");
}

TEST_F(Https, InertLayerStaysTheDefault) {
  THTTPSend http;
  EXPECT_EQ(http.Sock()->SSL()->LibName(), "ssl_none");
  http.Sock()->SetSSLClass(DefaultSSLClass());
  const bool schannel = Schannel();
  EXPECT_EQ(http.Sock()->SSL()->LibName(), schannel ? "Schannel" : "ssl_openssl3");
  EXPECT_EQ(http.Sock()->SSL()->LibVersion().rfind(schannel ? "Schannel" : "OpenSSL 3", 0), 0u)
      << http.Sock()->SSL()->LibVersion();
}

}  // namespace
}  // namespace qelvo::net
