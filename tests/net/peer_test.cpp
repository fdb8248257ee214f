// The client against real servers on loopback: nginx for HTTP, tinyproxy for proxy mode
// and CONNECT tunnels, danted for SOCKS 4, 4a and 5.
#include <gtest/gtest.h>

#include <memory>

#include "hook_log.h"
#include "net/http_client.h"
#include "net/text_util.h"
#include "tests/support/nginx.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"

namespace qelvo::net {
namespace {

using namespace testing;
using namespace qelvo::test;
using std::string;

class Peers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    nginx = std::make_unique<NginxPeer>();
    big = RandomBytes(24 * 1024 * 1024 + 12345, 7);
    nginx->Serve("small.txt", "Hello from nginx\n");
    nginx->Serve("big.bin", big);
    nginx->Start("", "  keepalive_timeout 10;\n  include /etc/nginx/mime.types;\n" + string(NginxPeer::kOctetStream));
  }
  static void TearDownTestSuite() { nginx.reset(); }
  void SetUp() override { ASSERT_TRUE(nginx->Running()) << nginx->Error(); }
  static string Url(const string& path) { return nginx->Url(path); }
  static int CountOf(const HookLog& log, const string& prefix) {
    int n = 0;
    for (const auto& l : log.lines) n += l.rfind(prefix, 0) == 0;
    return n;
  }
  static inline std::unique_ptr<NginxPeer> nginx;
  static inline string big;  // served as /big.bin
};

TEST_F(Peers, NginxPlainGetHeadAnd404) {
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/small.txt")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.ResultString(), "OK");
  EXPECT_EQ(http.Document().DataString(), "Hello from nginx\n");
  EXPECT_EQ(http.DownloadSize(), 17);
  EXPECT_EQ(http.MimeType, "text/plain");

  http.Clear();  // Headers holds the last response until cleared
  ASSERT_TRUE(http.HTTPMethod("HEAD", Url("/small.txt")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document().Size(), 0);
  EXPECT_GE(http.Headers().IndexOf("Content-Length: 17"), 0);

  http.Clear();
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/missing.zip")));
  EXPECT_EQ(http.ResultCode(), 404);
  EXPECT_EQ(http.ResultString(), "Not Found");
  EXPECT_NE(http.Document().DataString().find("404 Not Found"), string::npos);
}

TEST_F(Peers, NginxRanges) {
  THTTPSend http;
  http.RangeStart = 100;
  http.RangeEnd = 199;
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/big.bin")));
  EXPECT_EQ(http.ResultCode(), 206);
  EXPECT_EQ(http.Document().DataString(), big.substr(100, 100));
  EXPECT_EQ(http.RangeStart, 0);  // reset by the call

  const int size = static_cast<int>(big.size());
  http.Clear();
  http.RangeStart = size - 10;
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/big.bin")));
  EXPECT_EQ(http.ResultCode(), 206);
  EXPECT_EQ(http.DownloadSize(), 10);
  EXPECT_EQ(http.Document().DataString(), big.substr(size - 10));
  EXPECT_GE(http.Headers().IndexOf("Content-Range: bytes " + std::to_string(size - 10) + "-" +
                                   std::to_string(size - 1) + "/" + std::to_string(size)),
            0);

  http.Clear();
  http.RangeStart = size + 10;  // beyond the end
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/big.bin")));
  EXPECT_EQ(http.ResultCode(), 416);
}

TEST_F(Peers, NginxKeepAliveByProtocol) {
  for (const auto& [protocol, sockets] : {std::pair<string, int>{"1.0", 3}, {"1.1", 1}}) {
    SCOPED_TRACE(protocol);
    THTTPSend http;
    http.Protocol = protocol;
    HookLog log;
    log.Attach(*http.Sock());
    for (int i = 0; i < 3; ++i) {
      http.Clear();
      ASSERT_TRUE(http.HTTPMethod("GET", Url("/small.txt")));
      EXPECT_EQ(http.Document().DataString(), "Hello from nginx\n");
    }
    EXPECT_EQ(CountOf(log, "HR_SocketCreate"), sockets);
    EXPECT_EQ(http.Sock()->Socket() != -1, protocol == "1.1");
  }
}

TEST_F(Peers, NginxBigBodyByChecksum) {
  THTTPSend http;
  int64_t seen = 0;
  http.Sock()->OnMonitor = [&](TBlockSocket*, bool writing, const void*, int32_t len) {
    if (!writing) seen += len;
  };
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/big.bin")));
  EXPECT_EQ(http.ResultCode(), 200);
  ASSERT_EQ(http.Document().Size(), static_cast<int64_t>(big.size()));
  EXPECT_EQ(Checksum(http.Document().Memory(), static_cast<size_t>(http.Document().Size())), Checksum(big));
  EXPECT_EQ(http.DownloadSize(), static_cast<int>(big.size()));
  EXPECT_GT(seen, static_cast<int64_t>(big.size()));  // body plus the head
}

TEST_F(Peers, TinyproxyProxyModeAndTunnels) {
  TinyproxyPeer proxy(nginx->Port(), "proxyuser", "proxypass");
  ASSERT_TRUE(proxy.ok) << proxy.error;
  THTTPSend http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = std::to_string(proxy.port);
  http.ProxyUser = "proxyuser";
  http.ProxyPass = "proxypass";
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/small.txt")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document().DataString(), "Hello from nginx\n");
  EXPECT_EQ(http.TargetPort, std::to_string(proxy.port));

  http.Clear();
  http.ProxyPass = "wrong";
  ASSERT_TRUE(http.HTTPMethod("GET", Url("/small.txt")));
  EXPECT_TRUE(http.ResultCode() == 407 || http.ResultCode() == 401) << http.ResultCode();

  // CONNECT to the allowed port, then plain HTTP through the tunnel.
  TTCPBlockSocket tunnel;
  tunnel.HTTPTunnelIP = "127.0.0.1";
  tunnel.HTTPTunnelPort = std::to_string(proxy.port);
  tunnel.HTTPTunnelUser = "proxyuser";
  tunnel.HTTPTunnelPass = "proxypass";
  tunnel.ConvertLineEnd = true;
  tunnel.Connect("127.0.0.1", std::to_string(nginx->Port()));
  ASSERT_EQ(tunnel.LastError, 0) << tunnel.LastErrorDesc;
  EXPECT_TRUE(tunnel.HTTPTunnel);
  tunnel.SendString("GET /small.txt HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(tunnel.RecvString(5000), "HTTP/1.1 200 OK");
  tunnel.CloseSocket();

  // A port the proxy does not allow, and missing credentials: both refused.
  tunnel.Connect("127.0.0.1", "1");
  EXPECT_EQ(tunnel.LastError, 10061);
  EXPECT_EQ(tunnel.LastErrorDesc, "Connection refused");
  tunnel.CloseSocket();
  tunnel.HTTPTunnelUser.clear();
  tunnel.Connect("127.0.0.1", std::to_string(nginx->Port()));
  EXPECT_EQ(tunnel.LastError, 10061);
}

struct SocksRun {
  TSocksType type;
  string target;
};

TEST_F(Peers, DanteSocksWithoutAuth) {
  DantePeer dante("", "");
  ASSERT_TRUE(dante.ok) << dante.error;
  // danted has no SOCKS 4a (host names in SOCKS 4 requests); the scripted peer covers that form.
  const SocksRun runs[] = {{ST_Socks5, "127.0.0.1"}, {ST_Socks5, "localhost"}, {ST_Socks4, "127.0.0.1"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(std::to_string(r.type) + " " + r.target);
    THTTPSend http;
    http.Sock()->SocksIP = "127.0.0.1";
    http.Sock()->SocksPort = std::to_string(dante.port);
    http.Sock()->SocksType = r.type;
    http.Sock()->SocksTimeout = 5000;
    ASSERT_TRUE(http.HTTPMethod("GET", "http://" + r.target + ":" + std::to_string(nginx->Port()) + "/small.txt"))
        << http.Sock()->LastError << " " << http.Sock()->SocksLastError << "\n"
        << dante.Log();
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.Document().DataString(), "Hello from nginx\n");
  }
}

TEST_F(Peers, DanteSocks5WithUserAndPassword) {
  DantePeer dante("qelvo", "s3cret");
  ASSERT_TRUE(dante.ok) << dante.error;
  for (const auto& [pass, wantOk] : {std::pair<string, bool>{"s3cret", true}, {"wrong", false}}) {
    SCOPED_TRACE(pass);
    THTTPSend http;
    http.Sock()->SocksIP = "127.0.0.1";
    http.Sock()->SocksPort = std::to_string(dante.port);
    http.Sock()->SocksUsername = "qelvo";
    http.Sock()->SocksPassword = pass;
    http.Sock()->SocksTimeout = 5000;
    EXPECT_EQ(http.HTTPMethod("GET", Url("/small.txt")), wantOk) << dante.Log();
    if (wantOk) {
      EXPECT_EQ(http.Document().DataString(), "Hello from nginx\n");
    } else {
      EXPECT_EQ(http.Sock()->LastError, 10091);
      EXPECT_EQ(http.ResultCode(), 500);
    }
  }
}

}  // namespace
}  // namespace qelvo::net
