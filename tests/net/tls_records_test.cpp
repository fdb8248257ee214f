// Reads over the build's TLS layer (OpenSSL; Schannel on Windows) against a Python TLS
// server on loopback that cuts every record across TCP segments: decrypted bytes the
// layer holds count as waiting data; a record that has only partly arrived is waited for,
// not taken for a close; a peer's close_notify ends a read at once even when the peer
// then waits for ours; and both ends of an orderly close see the other's close_notify.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ssl_default.h"
#include "net/tcp_socket.h"
#include "tests/net/whole_body_reads.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_pki.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;
using std::string;
using Clock = std::chrono::steady_clock;

constexpr int32_t kTimeout = 10000;

// tests/net/data/tls_server.py speaking one TLS version.
class PythonTlsServer {
 public:
  PythonTlsServer(const TestPki& pki, const char* version) : port(UnusedPort()) {
    const string python = FindProgram({"/usr/bin/python3"});
    if (python.empty()) {
      error = "python3 is not installed (scripts/packages/base.txt)";
      return;
    }
    ok = process_.Start({python, string(QELVO_TEST_DATA_DIR) + "/tls_server.py", std::to_string(port),
                         pki.Cert("localhost"), pki.Key("localhost"), version, status.File("status")},
                        port);
    if (!ok) error = "the Python TLS server did not start";
  }
  int port;
  bool ok = false;
  string error;
  TempFolder status{"tls-status"};

 private:
  PeerProcess process_;
};

// The parameter: the one TLS version the server speaks.
class TlsRecords : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() { pki = std::make_unique<TestPki>(); }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override {
    ASSERT_TRUE(pki->ok) << pki->error;
    TTCPBlockSocket probe(DefaultSSLClass());
    if (string(GetParam()) == "1.3" && probe.SSL()->LibName() == "Schannel" && UnderWine())
      GTEST_SKIP() << "Wine's Schannel offers no TLS 1.3";
    server = std::make_unique<PythonTlsServer>(*pki, GetParam());
    ASSERT_TRUE(server->ok) << server->error;
  }

  // A verified session with the server, which was asked for `mode`.
  static std::unique_ptr<TTCPBlockSocket> Connect(const PythonTlsServer& server, const string& mode) {
    auto sock = std::make_unique<TTCPBlockSocket>(DefaultSSLClass());
    sock->Connect("127.0.0.1", std::to_string(server.port));
    EXPECT_EQ(sock->LastError, 0);
    TCustomSSL* ssl = sock->SSL();
    ssl->VerifyCert = true;
    ssl->SetCertCAFile(pki->CaCert());
    ssl->SNIHost = "localhost";
    sock->SSLDoConnect();
    EXPECT_EQ(sock->LastError, 0) << sock->GetErrorDescEx();
    sock->SendString(mode + "\n");
    return sock;
  }

  static inline std::unique_ptr<TestPki> pki;
  std::unique_ptr<PythonTlsServer> server;
};

TEST_P(TlsRecords, DecryptedBytesCountAsWaiting) {
  auto sock = Connect(*server, "held");
  char first = 0;
  ASSERT_EQ(sock->RecvBufferEx(&first, 1, kTimeout), 1);
  EXPECT_EQ(first, '0');
  // The other nine bytes are held by the layer; the socket itself has nothing.
  EXPECT_TRUE(sock->CanRead(0));
  EXPECT_EQ(sock->WaitingData(), 9);
  EXPECT_EQ(sock->PeekByte(0), '1') << "the decrypted byte, not the socket's ciphertext";
  EXPECT_EQ(sock->RecvBufferStr(9, kTimeout), "123456789");
  EXPECT_FALSE(sock->CanRead(50));  // and now nothing is waiting anywhere
  EXPECT_EQ(sock->WaitingData(), 0);
  sock->SendString("done\n");
}

// Every kind of read must wait for the rest of a record instead of taking the empty
// socket for a close.
TEST_P(TlsRecords, RecordsCutAcrossSegments) {
  const string body = LinesBody();
  for (const TBodyRead& c : WholeBodyReads(body, kTimeout)) {
    SCOPED_TRACE(c.name);
    auto sock = Connect(*server, "lines");
    const string got = c.read(*sock);
    EXPECT_EQ(sock->LastError, 0) << sock->GetErrorDescEx();
    EXPECT_EQ(got.size(), body.size());
    EXPECT_TRUE(got == body);
    sock->SendString("done\n");
    sock->CloseSocket();
  }
}

TEST_P(TlsRecords, CloseNotifyFromAWaitingPeerEndsTheRead) {
  auto sock = Connect(*server, "notify");
  const auto start = Clock::now();
  string got;
  for (;;) {
    const string piece = sock->RecvPacket(kTimeout);
    if (sock->LastError != 0) break;
    got += piece;
  }
  EXPECT_EQ(sock->LastError, WSAECONNRESET) << sock->GetErrorDescEx();
  EXPECT_EQ(got, string(200000, 'x'));
  // The end is seen as soon as the close arrives, nowhere near the timeout.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kTimeout / 4));
  // Waiting data and readiness keep reporting the close for the read that ends on it.
  EXPECT_TRUE(sock->CanRead(0));
  EXPECT_GE(sock->WaitingData(), 1);
  sock->CloseSocket();  // our close_notify: the server's wait ends
  string status;
  for (int i = 0; i < 100 && status.empty(); ++i) {
    status = ReadFile(server->status.File("status"));
    if (status.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(status, "clean");
}

TEST_P(TlsRecords, OrderlyCloseBothWays) {
  auto sock = Connect(*server, "bye");
  EXPECT_TRUE(sock->SSL()->BiShutdown()) << sock->SSL()->LastErrorDesc;
  EXPECT_FALSE(sock->SSL()->SSLEnabled);
}

INSTANTIATE_TEST_SUITE_P(Versions, TlsRecords, ::testing::Values("1.2", "1.3"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return string(info.param) == "1.2" ? "Tls12" : "Tls13";
                         });

}  // namespace
}  // namespace qelvo::net
