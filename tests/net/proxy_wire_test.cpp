// SOCKS 4/4a/5 and HTTP CONNECT exchanges against the scripted peer: the exact bytes
// the client sends, the reply forms it accepts and the codes of the ones it refuses.
#include <gtest/gtest.h>

#include "hook_log.h"
#include "net/ftp_client.h"
#include "net/http_client.h"
#include "net/tcp_socket.h"
#include "net/text_util.h"
#include "tests/support/script_server.h"

namespace qelvo::net {
namespace {

using namespace testing;
using namespace qelvo::test;
using std::string;

string B(std::initializer_list<int> bytes) {
  string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

struct SocksCase {
  const char* name;
  TSocksType type;
  string user, pass;
  string target, port;
  bool resolver;
  Script script;
  string wantSent;
  int wantError;
  string wantLocalIP;
  int wantLocalPort;
};

TEST(SocksWire, ExchangesByTable) {
  const string app = "payload";
  const SocksCase cases[] = {
      {"socks5 no auth, IPv4",
       ST_Socks5, "", "", "127.0.0.1", "80", true,
       {ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(B({5, 0, 0, 1, 10, 0, 0, 1, 0x1f, 0x90}) + app), Close()},
       B({5, 1, 0}) + B({5, 1, 0, 1, 127, 0, 0, 1, 0, 80}), 0, "10.0.0.1", 8080},
      {"socks5 user/password, host name resolved by the proxy",
       ST_Socks5, "user", "secret", "example.test", "8997", true,
       {ReadBytes(4), Send(B({5, 2})), ReadBytes(13), Send(B({1, 0})), ReadBytes(19),
        Send(B({5, 0, 0, 3, 4}) + "prox" + B({0x23, 0x25}) + app), Close()},
       B({5, 2, 2, 0}) + B({1, 4}) + "user" + B({6}) + "secret" + B({5, 1, 0, 3, 12}) + "example.test" + B({0x23, 0x25}),
       0, "prox", 8997},
      {"socks5 IPv6 target and reply",
       ST_Socks5, "", "", "2001:db8::1", "443", true,
       {ReadBytes(3), Send(B({5, 0})), ReadBytes(22),
        Send(B({5, 0, 0, 4, 0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 21}) + app), Close()},
       B({5, 1, 0}) + B({5, 1, 0, 4, 0x20, 1, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xbb}), 0, "fe80::1",
       21},
      {"socks5 proxy accepts no offered method",
       ST_Socks5, "", "", "127.0.0.1", "80", true, {ReadBytes(3), Send(B({5, 0xff})), Pause(100), Close()},
       B({5, 1, 0}), 10091, "", 0},
      {"socks5 password refused",
       ST_Socks5, "u", "p", "127.0.0.1", "80", true,
       {ReadBytes(4), Send(B({5, 2})), ReadBytes(5), Send(B({1, 1})), Pause(100), Close()},
       B({5, 2, 2, 0}) + B({1, 1}) + "u" + B({1}) + "p", 10091, "", 0},
      {"socks5 connect refused by the proxy",
       ST_Socks5, "", "", "127.0.0.1", "80", true,
       {ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(B({5, 5, 0, 1, 0, 0, 0, 0, 0, 0})), Pause(100), Close()},
       B({5, 1, 0}) + B({5, 1, 0, 1, 127, 0, 0, 1, 0, 80}), 10091, "0.0.0.0", 0},
      {"socks5 reply with an unknown address type",
       ST_Socks5, "", "", "127.0.0.1", "80", true,
       {ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(B({5, 0, 0, 9})), Pause(100), Close()},
       B({5, 1, 0}) + B({5, 1, 0, 1, 127, 0, 0, 1, 0, 80}), 10091, "", 0},
      {"socks5 proxy closes mid reply",
       ST_Socks5, "", "", "127.0.0.1", "80", true,
       {ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(B({5, 0, 0, 1, 10})), Close()},
       B({5, 1, 0}) + B({5, 1, 0, 1, 127, 0, 0, 1, 0, 80}), 10054, "", 0},
      {"socks4 IPv4",
       ST_Socks4, "bob", "", "127.0.0.1", "80", true,
       {ReadBytes(12), Send(B({0, 90, 0, 0, 0, 0, 0, 0}) + app), Close()},
       B({4, 1, 0, 80, 127, 0, 0, 1}) + "bob" + B({0}), 0, "0.0.0.0", 0},
      {"socks4a host name",
       ST_Socks4, "", "", "example.test", "80", true,
       {ReadBytes(22), Send(B({0, 90, 0x1f, 0x90, 1, 2, 3, 4}) + app), Close()},
       B({4, 1, 0, 80, 0, 0, 0, 1, 0}) + "example.test" + B({0}), 0, "1.2.3.4", 8080},
      {"socks4 request rejected",
       ST_Socks4, "", "", "127.0.0.1", "80", true, {ReadBytes(9), Send(B({0, 91, 0, 0, 0, 0, 0, 0})), Pause(100), Close()},
       B({4, 1, 0, 80, 127, 0, 0, 1, 0}), 10091, "0.0.0.0", 0},
      {"socks4 without proxy-side resolution",
       ST_Socks4, "", "", "localhost", "80", false,
       {ReadBytes(9), Send(B({0, 90, 0, 0, 0, 0, 0, 0}) + app), Close()},
       B({4, 1, 0, 80, 127, 0, 0, 1, 0}), 0, "0.0.0.0", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer proxy({c.script});
    TTCPBlockSocket s;
    HookLog log;
    log.Attach(s);
    s.SocksIP = "127.0.0.1";
    s.SocksPort = proxy.PortText();
    s.SocksType = c.type;
    s.SocksUsername = c.user;
    s.SocksPassword = c.pass;
    s.SocksResolver = c.resolver;
    s.SocksTimeout = 2000;
    s.Connect(c.target, c.port);
    EXPECT_EQ(s.LastError, c.wantError);
    // HR_Connect twice: the proxy connection, then the target as requested.
    EXPECT_EQ(log.lines.back(), "HR_Connect " + c.target + ":" + c.port);
    if (c.wantError == 0) {
      EXPECT_TRUE(s.UsingSocks);
      EXPECT_EQ(s.GetLocalSinIP(), c.wantLocalIP);
      EXPECT_EQ(s.GetLocalSinPort(), c.wantLocalPort);
      EXPECT_EQ(s.GetRemoteSinIP(), c.target);
      EXPECT_EQ(s.GetRemoteSinPort(), std::stoi(c.port));
      EXPECT_EQ(s.RecvBufferStr(static_cast<int32_t>(app.size()), 2000), app);
    }
    s.CloseSocket();
    EXPECT_EQ(proxy.Received(0), c.wantSent);
  }
}

struct TunnelCase {
  const char* name;
  string target;
  string user;
  string reply;
  int wantError;
  string wantSent;
};

TEST(TunnelWire, ConnectRequestsAndReplies) {
  const TunnelCase cases[] = {
      {"IPv6 target in brackets, with credentials", "2001:db8::1", "u",
       "HTTP/1.0 200 Connection established\r\nVia: x\r\n\r\n", 0,
       "CONNECT [2001:db8::1]:443 HTTP/1.0\r\nProxy-Authorization: Basic dTpw\r\n\r\n"},
      {"status without reason, longer than 11 characters", "host.test", "", "HTTP/1.1 200\r\n\r\n", 0,
       "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
      {"proxy authentication required", "host.test", "", "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", 10061,
       "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
      {"line ends without CR", "host.test", "", "HTTP/1.0 200 OK\n\n", 0, "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
      {"proxy closes before answering", "host.test", "", "", 10054, "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
      {"reply line over 64 KiB", "host.test", "", "HTTP/1.0 200 " + std::string(70000, 'x') + "\r\n\r\n", 10055,
       "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
      {"reply head that never ends", "host.test", "",
       "HTTP/1.0 200 OK\r\n" + [] {
         std::string lines;
         for (int i = 0; i < 9000; ++i) lines += "X: " + std::to_string(i) + "\r\n";
         return lines;
       }(),
       10055, "CONNECT host.test:443 HTTP/1.0\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Script script = {ReadHead()};
    if (!c.reply.empty()) script.push_back(Send(c.reply)), script.push_back(Send("after"));
    script.push_back(Pause(50));
    script.push_back(Close());
    ScriptServer proxy({script});
    TTCPBlockSocket s;
    HookLog log;
    log.Attach(s);
    s.HTTPTunnelIP = "127.0.0.1";
    s.HTTPTunnelPort = proxy.PortText();
    s.HTTPTunnelUser = c.user;
    s.HTTPTunnelPass = "p";
    s.HTTPTunnelTimeout = 2000;
    s.Connect(c.target, "https");
    EXPECT_EQ(s.LastError, c.wantError);
    // Only the proxy connection is reported.
    int connects = 0;
    for (const auto& l : log.lines) connects += l.rfind("HR_Connect", 0) == 0;
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(log.Contains("HR_Connect 127.0.0.1:" + proxy.PortText()));
    if (c.wantError == 0) {
      EXPECT_TRUE(s.HTTPTunnel);
      EXPECT_EQ(s.GetRemoteSinPort(), 443);
      EXPECT_EQ(s.RecvBufferStr(5, 2000), "after");
    }
    s.CloseSocket();
    EXPECT_EQ(proxy.Received(0), c.wantSent);
  }
}

// Without a TLS layer nothing that needs TLS opens a connection: no plain request, no
// CONNECT, no FTP greeting read or credentials sent; the inert layer's error is reported.
TEST(TunnelWire, NeedingTlsWithTheInertLayerFailsBeforeConnecting) {
  enum Via { kDirect, kProxy, kFtpImplicit, kFtpRequired, kFtpOptional };
  const struct {
    const char* name;
    Via via;
    bool connects;
  } cases[] = {
      {"https:// directly", kDirect, false},
      {"https:// through a CONNECT proxy", kProxy, false},
      {"implicit FTPS", kFtpImplicit, false},
      {"AUTH TLS required", kFtpRequired, false},
      // Opportunistic: the server's answer decides, so the connection is opened.
      {"AUTH TLS optional", kFtpOptional, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server({{Send("220 hi\r\n"), ReadLine(), Send("530 no\r\n"), Close()}});
    TTCPBlockSocket* sock = nullptr;
    bool ok = true;
    THTTPSend http;
    TFTPSend ftp;
    if (c.via == kDirect || c.via == kProxy) {
      http.Sock()->SetSSLClass(TSSLClass{[](TTCPBlockSocket* s) { return std::make_unique<TSSLNone>(s); }});
      if (c.via == kProxy) {
        http.ProxyHost = "127.0.0.1";
        http.ProxyPort = server.PortText();
      }
      const string host = c.via == kProxy ? "secure.test" : "127.0.0.1";
      ok = http.HTTPMethod("GET", "https://" + host + ":" + server.PortText() + "/x");
      EXPECT_EQ(http.ResultCode(), 500);
      EXPECT_EQ(http.Sock()->SSL()->SNIHost, "");
      sock = http.Sock();
    } else {
      ftp.TargetHost = "127.0.0.1";
      ftp.TargetPort = server.PortText();
      ftp.FullSSL = c.via == kFtpImplicit;
      ftp.AutoTLS = c.via != kFtpImplicit;
      ftp.RequireTLS = c.via == kFtpRequired;
      ok = ftp.Login();
      sock = ftp.Sock();
    }
    EXPECT_FALSE(ok);
    if (c.connects) {
      EXPECT_TRUE(server.WaitFinished(1));
      continue;
    }
    EXPECT_EQ(sock->LastError, 10091);
    EXPECT_EQ(sock->LastErrorDesc, "SSL/TLS support is not compiled!");
    EXPECT_EQ(server.Accepted(), 0);
  }
}

TEST(TunnelWire, InertTlsLayer) {
  TTCPBlockSocket s;
  EXPECT_EQ(s.SSL()->LibName(), "ssl_none");
  EXPECT_EQ(s.SSL()->LibVersion(), "Without SSL support");
  EXPECT_FALSE(s.SSL()->SSLEnabled);
  s.SSLDoConnect();
  EXPECT_EQ(s.LastError, 10091);
  EXPECT_EQ(s.LastErrorDesc, "SSL/TLS support is not compiled!");
  EXPECT_EQ(s.SSL()->LastError, -1);
  EXPECT_FALSE(s.SSLAcceptConnection());
  EXPECT_EQ(s.SSL()->GetPeerSerialNo(), -1);
  EXPECT_EQ(s.SSL()->GetVerifyCert(), 1);
  TSSLNone copy(&s);
  s.SSL()->SNIHost = "sni";
  s.SSL()->SetCertCAFile("ca.pem");
  copy.Assign(*s.SSL());
  EXPECT_EQ(copy.SNIHost, "sni");
  EXPECT_EQ(copy.CertCAFile(), "ca.pem");
}

}  // namespace
}  // namespace qelvo::net

namespace qelvo::net {
namespace {

TEST(SocksWire, ListenAndAcceptThroughTheProxy) {
  const string first = B({5, 0, 0, 1, 10, 0, 0, 1, 0x04, 0xd2});   // where the proxy listens
  const string second = B({5, 0, 0, 1, 10, 0, 0, 9, 0x16, 0x2e});  // who connected
  ScriptServer proxy({{ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(first), Pause(50), Send(second + "hi"),
                       Pause(100), Close()},
                      {ReadBytes(3), Send(B({5, 0})), ReadBytes(10), Send(B({5, 1, 0, 1, 0, 0, 0, 0, 0, 0})),
                       Pause(100), Close()}});
  TTCPBlockSocket s;
  HookLog log;
  log.Attach(s);
  s.SocksIP = "127.0.0.1";
  s.SocksPort = proxy.PortText();
  s.Bind("127.0.0.1", "0");
  const int localPort = s.GetLocalSinPort();
  s.Listen();
  ASSERT_EQ(s.LastError, 0);
  EXPECT_TRUE(log.Contains("HR_Listen"));
  EXPECT_EQ(s.GetLocalSinIP(), "10.0.0.1");
  EXPECT_EQ(s.GetLocalSinPort(), 1234);
  EXPECT_EQ(s.Accept(), s.Socket());
  EXPECT_EQ(s.LastError, 0);
  EXPECT_TRUE(log.Contains("HR_Accept"));
  EXPECT_EQ(s.GetRemoteSinIP(), "10.0.0.9");
  EXPECT_EQ(s.GetRemoteSinPort(), 5678);
  EXPECT_EQ(s.RecvBufferStr(2, 2000), "hi");
  s.CloseSocket();
  EXPECT_EQ(proxy.Received(0), B({5, 1, 0}) + B({5, 2, 0, 1, 127, 0, 0, 1}) + PackWord(static_cast<uint16_t>(localPort)));

  TTCPBlockSocket refused;
  refused.SocksIP = "127.0.0.1";
  refused.SocksPort = proxy.PortText();
  refused.SocksTimeout = 2000;
  refused.Bind("127.0.0.1", "0");
  refused.Listen();
  EXPECT_EQ(refused.LastError, 11003);
  EXPECT_EQ(refused.LastErrorDesc, "Non recoverable error");
}

}  // namespace
}  // namespace qelvo::net
