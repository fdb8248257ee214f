// Reads and writes over the OpenSSL layer against our own TLS server on loopback: bytes
// OpenSSL has already decrypted count as waiting data; a peer that ends its side with
// close_notify and then waits for ours (as FTP servers do at the end of a protected
// transfer) ends the read at once instead of after the timeout; records cut across
// segments are waited for; a send to a reset peer fails without a signal.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "net/ssl_openssl.h"
#include "net/tcp_socket.h"
#include "tests/net/whole_body_reads.h"
#include "tests/support/test_pki.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;
using std::string;
using Clock = std::chrono::steady_clock;

constexpr int32_t kTimeout = 10000;

// Passes the bytes of one connection on to `port`, the answers cut into small pieces sent
// one by one: TLS records reach the client split across TCP segments, so the client's
// socket often holds part of a record and nothing else.
class ChoppingRelay {
 public:
  explicit ChoppingRelay(int port) {
    listener_.Bind("127.0.0.1", "0");
    listener_.Listen();
    this->port = listener_.GetLocalSinPort();
    thread_ = std::thread([this, port] {
      if (!listener_.CanRead(kTimeout)) return;
      TTCPBlockSocket down;
      down.SetSocket(listener_.Accept());
      const int one = 1;
      ::setsockopt(down.Socket(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      TTCPBlockSocket up;
      up.Connect("127.0.0.1", std::to_string(port));
      std::vector<TBlockSocket*> ready;
      while (up.LastError == 0 && down.LastError == 0) {
        if (!down.GroupCanRead({&down, &up}, kTimeout, ready)) break;
        for (TBlockSocket* from : ready) {
          const string bytes = from->RecvPacket(0);
          if (from->LastError != 0) return;
          if (from == &down) up.SendString(bytes);
          for (size_t at = 0; from == &up && at < bytes.size(); at += 3000) {
            down.SendString(bytes.substr(at, 3000));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        }
      }
    });
  }
  ~ChoppingRelay() { thread_.join(); }
  int port = 0;

 private:
  TTCPBlockSocket listener_;
  std::thread thread_;
};

class TlsReads : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pki = std::make_unique<TestPki>(); }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override { ASSERT_TRUE(pki->ok) << pki->error; }
  void TearDown() override {
    if (server.joinable()) server.join();
  }

  // Runs `serve` on the server side of the next connection, after its TLS handshake.
  void Serve(std::function<void(TTCPBlockSocket&)> serve) {
    if (server.joinable()) server.join();
    listener.CloseSocket();
    listener.Bind("127.0.0.1", "0");
    listener.Listen();
    ASSERT_EQ(listener.LastError, 0);
    server = std::thread([this, serve] {
      TTCPBlockSocket conn(OpenSSLClass());
      if (!listener.CanRead(kTimeout)) return;
      conn.SetSocket(listener.Accept());
      auto* ssl = static_cast<TSSLOpenSSL*>(conn.SSL());
      ssl->CertificateFile = pki->Cert("localhost");
      ssl->PrivateKeyFile = pki->Key("localhost");
      ssl->IOTimeout = kTimeout;
      if (conn.SSLAcceptConnection()) serve(conn);
      conn.CloseSocket();
    });
  }
  // A client connected to the server with a verified TLS session of `version`.
  // port: where to connect, the server's own when 0.
  std::unique_ptr<TTCPBlockSocket> Connect(TSSLType version, int port = 0) {
    auto sock = std::make_unique<TTCPBlockSocket>(OpenSSLClass());
    sock->Connect("127.0.0.1", std::to_string(port != 0 ? port : listener.GetLocalSinPort()));
    EXPECT_EQ(sock->LastError, 0);
    TCustomSSL* ssl = sock->SSL();
    ssl->VerifyCert = true;
    ssl->SetCertCAFile(pki->CaCert());
    ssl->SNIHost = "localhost";
    ssl->SSLType = version;
    sock->SSLDoConnect();
    EXPECT_EQ(sock->LastError, 0) << sock->GetErrorDescEx();
    return sock;
  }

  static inline std::unique_ptr<TestPki> pki;
  TTCPBlockSocket listener;
  std::thread server;
};

TEST_F(TlsReads, DecryptedBytesCountAsWaiting) {
  for (TSSLType version : {LT_TLSv1_2, LT_TLSv1_3}) {
    SCOPED_TRACE(version == LT_TLSv1_2 ? "TLS 1.2" : "TLS 1.3");
    Serve([](TTCPBlockSocket& conn) {
      conn.SendString("0123456789");  // one record
      conn.RecvString(kTimeout);      // until the client is done
    });
    auto sock = Connect(version);
    char first = 0;
    ASSERT_EQ(sock->RecvBufferEx(&first, 1, kTimeout), 1);
    EXPECT_EQ(first, '0');
    // The other nine bytes are inside OpenSSL; the socket itself has nothing.
    EXPECT_TRUE(sock->CanRead(0));
    EXPECT_EQ(sock->WaitingData(), 9);
    EXPECT_EQ(sock->PeekByte(0), '1') << "the decrypted byte, not the socket's ciphertext";
    EXPECT_EQ(sock->RecvBufferStr(9, kTimeout), "123456789");
    EXPECT_FALSE(sock->CanRead(50));  // and now nothing is waiting anywhere
    EXPECT_EQ(sock->WaitingData(), 0);
    sock->SendString("done\r\n");
    server.join();
  }
}

TEST_F(TlsReads, CloseNotifyFromAWaitingPeerEndsTheRead) {
  for (TSSLType version : {LT_TLSv1_2, LT_TLSv1_3}) {
    SCOPED_TRACE(version == LT_TLSv1_2 ? "TLS 1.2" : "TLS 1.3");
    const string body(200000, 'x');
    bool peerClosedCleanly = false;
    Serve([&](TTCPBlockSocket& conn) {
      conn.SendString(body);
      // close_notify, then wait for the client's before the connection goes.
      peerClosedCleanly = conn.SSL()->BiShutdown();
    });
    auto sock = Connect(version);
    const auto start = Clock::now();
    string got;
    for (;;) {
      const string piece = sock->RecvPacket(kTimeout);
      if (sock->LastError != 0) break;
      got += piece;
    }
    const auto waited = Clock::now() - start;
    EXPECT_EQ(sock->LastError, WSAECONNRESET) << sock->GetErrorDescEx();
    EXPECT_EQ(got.size(), body.size());
    // The end is seen as soon as the close arrives, nowhere near the timeout.
    EXPECT_LT(waited, std::chrono::milliseconds(kTimeout / 4));
    // Waiting data and readiness keep reporting the close for the read that ends on it.
    EXPECT_TRUE(sock->CanRead(0));
    EXPECT_GE(sock->WaitingData(), 1);
    sock->CloseSocket();  // our close_notify: the server's wait ends
    server.join();
    EXPECT_TRUE(peerClosedCleanly);
  }
}

// Records cut across segments: OpenSSL takes part of one off the socket and still has
// nothing to hand out. Every kind of read must wait for the rest instead of taking the
// empty socket for a close.
TEST_F(TlsReads, RecordsCutAcrossSegments) {
  const string body = LinesBody();
  std::vector<TBodyRead> reads = WholeBodyReads(body, kTimeout);
  reads.push_back({"RecvBufferEx", [&](TTCPBlockSocket& s) {
                     string b(body.size(), '\0');
                     b.resize(size_t(std::max(s.RecvBufferEx(b.data(), int32_t(b.size()), kTimeout), 0)));
                     return b;
                   }});
  for (const TBodyRead& c : reads) {
    SCOPED_TRACE(c.name);
    Serve([&](TTCPBlockSocket& conn) {
      conn.SendString(body);
      conn.RecvString(kTimeout);  // until the client is done
    });
    ChoppingRelay relay(listener.GetLocalSinPort());
    auto sock = Connect(LT_TLSv1_3, relay.port);
    const string got = c.read(*sock);
    EXPECT_EQ(sock->LastError, 0) << sock->GetErrorDescEx();
    EXPECT_EQ(got.size(), body.size());
    EXPECT_TRUE(got == body);
    sock->SendString("done\r\n");
    sock->CloseSocket();
    server.join();
  }
}

// Sending to a peer that reset the connection fails the send; it must not raise SIGPIPE,
// which would end the whole program.
TEST_F(TlsReads, WritesToAResetPeerFailQuietly) {
  Serve([](TTCPBlockSocket& conn) { conn.SetLinger(true, 0); });  // the close resets
  auto sock = Connect(LT_TLSv1_3);
  server.join();
  const string piece(65536, 'y');
  for (int i = 0; i < 200 && sock->LastError == 0; ++i) sock->SendString(piece);
  EXPECT_NE(sock->LastError, 0);
  EXPECT_FALSE(sock->GetErrorDescEx().empty());
}

}  // namespace
}  // namespace qelvo::net
