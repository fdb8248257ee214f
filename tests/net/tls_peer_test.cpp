// HTTPS through the OpenSSL layer against nginx on loopback, with certificates made at
// test time: protocol versions, verification failures and their reasons, SNI, client
// certificates, CONNECT tunnels through tinyproxy, and the server side (Accept).
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "net/http_client.h"
#include "net/ssl_openssl.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/tls_nginx.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;
using std::string;

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
  // A client with the OpenSSL layer trusting the test CA.
  static std::unique_ptr<THTTPSend> Client(bool verify = true) {
    auto http = std::make_unique<THTTPSend>();
    http->Sock()->SetSSLClass(OpenSSLClass());
    http->Sock()->SSL()->VerifyCert = verify;
    http->Sock()->SSL()->SetCertCAFile(pki->CaCert());
    return http;
  }
  static string ErrorOf(THTTPSend& http) { return http.Sock()->GetErrorDescEx(); }

  static inline std::unique_ptr<TestPki> pki;
  static inline string big;
};

TEST_F(Https, GetRangeAndBigFileOverEachVersion) {
  for (const char* version : {"TLSv1.2", "TLSv1.3"}) {
    SCOPED_TRACE(version);
    auto nginx = Server({.Protocols = version});
    auto http = Client();
    ASSERT_TRUE(http->HTTPMethod("GET", TlsUrl(*nginx, "/small.txt"))) << ErrorOf(*http);
    EXPECT_EQ(http->ResultCode(), 200);
    EXPECT_EQ(http->Document().DataString(), "Hello over TLS\n");
    TCustomSSL* ssl = http->Sock()->SSL();
    EXPECT_EQ(ssl->GetSSLVersion(), version);
    EXPECT_EQ(ssl->GetPeerName(), "localhost");
    EXPECT_NE(ssl->GetPeerIssuer().find("Qelvo Test CA"), string::npos);
    EXPECT_EQ(ssl->GetVerifyCert(), 0);
    EXPECT_GE(ssl->GetCipherBits(), 128);
    EXPECT_FALSE(ssl->GetCipherName().empty());
    EXPECT_EQ(ssl->GetPeerFingerprint().size(), 32u * 3 - 1);

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
}

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
  EXPECT_EQ(ErrorOf(*http), "handshake: tlsv1 alert protocol version");

  for (TSSLType old : {LT_SSLv2, LT_SSLv3, LT_TLSv1, LT_TLSv1_1}) {
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

  auto wrongPassword = Client();
  wrongPassword->Sock()->SSL()->PFXfile = pki->ClientPfx();
  wrongPassword->Sock()->SSL()->KeyPassword = "nope";
  EXPECT_FALSE(wrongPassword->HTTPMethod("GET", url));
  EXPECT_EQ(ErrorOf(*wrongPassword).rfind("cannot use the PFX file " + pki->ClientPfx(), 0), 0u)
      << ErrorOf(*wrongPassword);
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
  TTCPBlockSocket listener;
  listener.Bind("127.0.0.1", "0");
  listener.Listen();
  ASSERT_EQ(listener.LastError, 0);
  const string port = std::to_string(listener.GetLocalSinPort());

  string serverSawClient, serverError;
  std::thread server([&] {
    TTCPBlockSocket conn(OpenSSLClass());
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
  http.Sock()->SetSSLClass(OpenSSLClass());
  EXPECT_EQ(http.Sock()->SSL()->LibName(), "ssl_openssl3");
  EXPECT_EQ(http.Sock()->SSL()->LibVersion().rfind("OpenSSL 3", 0), 0u);
}

}  // namespace
}  // namespace qelvo::net
