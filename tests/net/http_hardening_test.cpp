// THTTPSend against hostile or broken replies: chunk sizes that are not sizes, a kept-alive
// connection out of step, a close that would drain forever, request targets that are not
// safe to send as they are, and bytes of a cut body that must not be dropped.
#include <gtest/gtest.h>

#include <chrono>

#include "net/http_client.h"
#include "tests/support/script_server.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;
using std::string;

string Url(const ScriptServer& s, const string& path) { return "http://127.0.0.1:" + s.PortText() + path; }

// Only a line of hex digits (with an optional extension) that fits the counters is a
// size; anything else fails the body instead of ending it as the last chunk.
TEST(HttpHardening, MalformedChunkSizeLinesFailTheBody) {
  const char* sizes[] = {"zz", "-1", "+20", "0x20", "", "FFFFFFFFFFFFFFFF", "10000000000000010", "80000000", "5 x"};
  for (const char* size : sizes) {
    SCOPED_TRACE(string("size line \"") + size + "\"");
    const string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n" + string(size) +
                         "\r\n" + string(32, 'x') + "\r\n0\r\n\r\n";
    ScriptServer server({{ReadHead(), Send(reply), Close()}});
    THTTPSend http;
    http.Timeout = 2000;
    EXPECT_FALSE(http.HTTPMethod("GET", Url(server, "/c")));
  }
  ScriptServer good({{ReadHead(),
                      Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;name=v\r\nabc\r\n0\r\n\r\n"),
                      Close()}});
  THTTPSend http;
  EXPECT_TRUE(http.HTTPMethod("GET", Url(good, "/c")));
  EXPECT_EQ(http.Document().DataString(), "abc");
}

// A response that left bytes behind (more than its Content-Length) makes the kept-alive
// connection unusable: the next request opens a new one instead of reading them as its
// reply.
TEST(HttpHardening, ConnectionWithLeftoverBytesIsNotReused) {
  const string r1 = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nAEXTRA";
  const string r2 = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: close\r\n\r\nB";
  ScriptServer server({{ReadHead(), Send(r1), Pause(1500), Close()}, {ReadHead(), Send(r2), Close()}});
  THTTPSend http;
  http.Protocol = "1.1";
  http.Timeout = 3000;
  ASSERT_TRUE(http.HTTPMethod("GET", Url(server, "/1")));
  EXPECT_EQ(http.Document().DataString(), "A");
  http.Clear();
  ASSERT_TRUE(http.HTTPMethod("GET", Url(server, "/2")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document().DataString(), "B");
  EXPECT_EQ(server.Accepted(), 2);
}

// A peer that keeps sending after the response cannot hold the close: the drain stops
// after a bounded number of bytes and time.
TEST(HttpHardening, DrainAtCloseIsBounded) {
  ScriptServer server([](ScriptConnection& c, const string&, int) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    const string junk(65536, 'j');
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (std::chrono::steady_clock::now() < until) c.Send(junk);
  });
  THTTPSend http;
  int64_t received = 0;
  http.Sock()->OnMonitor = [&](TBlockSocket*, bool writing, const void*, int32_t len) {
    if (!writing) received += len;
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(http.HTTPMethod("GET", Url(server, "/")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(http.Document().DataString(), "ok");
  EXPECT_LE(received, 2 << 20);
}

// Characters not allowed in a request target are percent-encoded; line breaks are refused
// before anything is sent.
TEST(HttpHardening, RequestTargetIsSafeOnTheWire) {
  ScriptServer server({{ReadHead(), Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"), Close()}});
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", Url(server, "/a b/\"c\"{d}\xC3\xA9.zip?q=1 2")));
  ASSERT_TRUE(server.WaitFinished(1));
  const string sent = server.Received(0);
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")), "GET /a%20b/%22c%22%7Bd%7D%C3%A9.zip?q=1%202 HTTP/1.0");

  ScriptServer injected({{ReadHead(), Send("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"), Close()}});
  THTTPSend refused;
  EXPECT_FALSE(refused.HTTPMethod("GET", Url(injected, "/a\r\nX-Injected: 1")));
  EXPECT_FALSE(refused.HTTPMethod("GET", Url(injected, "/a\nb")));
  EXPECT_EQ(refused.ResultCode(), 500);
  EXPECT_EQ(injected.Accepted(), 0);
}

// A sized body cut short keeps every byte that arrived, not only whole 64 KiB pieces.
TEST(HttpHardening, CutBodyKeepsEveryReceivedByte) {
  const string body(100000, 'b');
  ScriptServer server({{ReadHead(), Send("HTTP/1.0 200 OK\r\nContent-Length: 300000\r\n\r\n" + body), Close()}});
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", Url(server, "/")));
  EXPECT_EQ(http.Document().Size(), static_cast<int64_t>(body.size()));
}

}  // namespace
}  // namespace qelvo::net
