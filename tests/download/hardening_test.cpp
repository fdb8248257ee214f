// The download driver against servers that change, lie or misbehave: a resume never
// splices two versions, a range is used only when it continues the part file, redirects
// go only where the driver can follow, every received byte is kept, and the figures and
// messages say what happened.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/download/download_fixture.h"

namespace qelvo::download::test {
namespace {

using DriverHardening = DownloadTest;

const std::string kServedBody = RandomBytes(300000, 11);

std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }
bool HasHeader(const std::string& head, const std::string& name) {
  return head.find("\r\n" + name + ": ") != std::string::npos;
}

void WriteServed(const std::string& path, const std::string& content, std::filesystem::file_time_type when) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  std::filesystem::last_write_time(path, when);
}

// A part file left by an interrupted run is resumed only while the server still serves
// the same version: a changed file comes back whole and replaces the old bytes.
TEST_F(DriverHardening, ResumeNeverSplicesTwoVersions) {
  NginxServer& n = Nginx();
  const std::string served = n.ServedPath("changing.bin");
  const std::string v1 = RandomBytes(200000, 21), v2 = RandomBytes(200000, 22);
  const auto t1 = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now()) -
                  std::chrono::hours(48);
  WriteServed(served, v1, t1);

  // A run paused half way leaves the part file stamped with the version's date...
  dl.SetOnHookMonitor([this](void*, int32_t, int32_t downloaded, double, uint16_t, uint16_t, uint16_t) {
    if (downloaded > 50000 && dl.DownloadStatus() != stPause) dl.SetDownloadStatus(stPause);
  });
  Get(n.Url("/files/changing.bin"), "changing.bin");
  ASSERT_TRUE(NativeExists(Local("changing.bin.part")));
  const std::string held = ReadFile(Local("changing.bin.part"));
  ASSERT_GT(held.size(), 0u);
  EXPECT_EQ(held, v1.substr(0, held.size()));
  EXPECT_EQ(std::filesystem::last_write_time(Local("changing.bin.part")), t1);
  dl.SetOnHookMonitor(nullptr);

  // ...so the same version is continued with a 206,
  Get(n.Url("/files/changing.bin"), "changing.bin");
  EXPECT_EQ(n.LastStatus("/files/changing.bin"), 206);
  EXPECT_EQ(ReadFile(Local("changing.bin")), v1);

  // and a new version is not: the server answers the whole file and the part starts over.
  std::filesystem::remove(Local("changing.bin"));
  WriteFile(Local("changing.bin.part"), v1.substr(0, 120000));
  std::filesystem::last_write_time(Local("changing.bin.part"), t1);
  WriteServed(served, v2, t1 + std::chrono::hours(1));
  Get(n.Url("/files/changing.bin"), "changing.bin");
  EXPECT_EQ(n.LastStatus("/files/changing.bin"), 200);
  EXPECT_EQ(ReadFile(Local("changing.bin")), v2);
  EXPECT_FALSE(NativeExists(Local("changing.bin.part")));
}

// A server that gives no Last-Modified gives nothing to check a resume against: the
// part file it left is started over, without a range.
TEST_F(DriverHardening, PartFileWithoutValidatorStartsOver) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int index) {
    const std::string head = HttpHead(200, {"Content-Length: " + std::to_string(kServedBody.size())});
    if (index == 0) c.Send(head + kServedBody.substr(0, 100000));
    else c.Send(head + kServedBody);
  });
  Get(server.Url("/f.bin"), "f.bin");
  ASSERT_EQ(ReadFile(Local("f.bin.part")), kServedBody.substr(0, 100000));
  Get(server.Url("/f.bin"), "f.bin");
  EXPECT_EQ(ReadFile(Local("f.bin")), kServedBody);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(HasHeader(requests[1], "Range"));
  EXPECT_FALSE(HasHeader(requests[1], "If-Range"));
}

// A part file longer than the server's file (416 with another total) starts over instead
// of failing on every later run.
TEST_F(DriverHardening, PartFileLongerThanTheServersFileStartsOver) {
  const std::string small = kServedBody.substr(0, 500);
  ScriptServer server([&](ScriptConnection& c, const std::string& request, int) {
    if (HasHeader(request, "Range"))
      c.Send(HttpHead(416, {"Content-Range: bytes */500", "Content-Length: 0"}));
    else
      c.Send(HttpHead(200, {"Content-Length: 500"}) + small);
  });
  WriteFile(Local("f.bin.part"), std::string(1000, 'o'));
  Get(server.Url("/f.bin"), "f.bin");
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(ReadFile(Local("f.bin")), small);
  EXPECT_FALSE(NativeExists(Local("f.bin.part")));
}

// Every byte that arrived before a cut is in the part file, not only whole 64 KiB pieces.
TEST_F(DriverHardening, CutTransferKeepsEveryReceivedByte) {
  const size_t sizes[] = {200000, 30000, 1};
  for (const size_t sent : sizes) {
    SCOPED_TRACE(sent);
    std::filesystem::remove(Local("f.bin.part"));
    ScriptServer server([&](ScriptConnection& c, const std::string&, int) {
      c.Send(HttpHead(200, {"Content-Length: " + std::to_string(kServedBody.size())}) + kServedBody.substr(0, sent));
    });
    Get(server.Url("/f.bin"), "f.bin");
    EXPECT_FALSE(Driver().Finished());
    EXPECT_EQ(ReadFile(Local("f.bin.part")), kServedBody.substr(0, sent));
  }
}

// Bytes the close drains after the response are neither counted nor written.
TEST_F(DriverHardening, DrainedBytesAreNotCounted) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: 1000"}) + kServedBody.substr(0, 1000));
    const std::string junk(65536, 'j');
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < until) c.Send(junk);
  });
  Get(server.Url("/f.bin"), "f.bin");
  EXPECT_EQ(ReadFile(Local("f.bin")), kServedBody.substr(0, 1000));
  EXPECT_EQ(Driver().BytesDownloaded(), 1000);
  for (const auto& e : log.Of(TEvent::Monitor)) EXPECT_LE(e.downloaded, 1000);
}

// Redirects lead only where this driver can follow; other schemes end the download with
// a reason, and nothing is sent there.
TEST_F(DriverHardening, RedirectsOnlyToSchemesTheDriverFollows) {
  ScriptServer other([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: 5"}) + "wrong");
  });
  const std::string targets[] = {"ftp://127.0.0.1:" + other.PortText() + "/f.bin", "file:///etc/passwd",
                                 "https://127.0.0.1:" + other.PortText() + "/f.bin", "gopher://127.0.0.1/f"};
  for (const auto& target : targets) {
    SCOPED_TRACE(target);
    ScriptServer server([&](ScriptConnection& c, const std::string&, int) {
      c.Send(HttpHead(302, {"Location: " + target, "Content-Length: 0"}));
    });
    Get(server.Url("/f.bin"), "f.bin");
    EXPECT_FALSE(Driver().Finished());
    EXPECT_FALSE(NativeExists(Local("f.bin")));
    EXPECT_NE(Driver().UnfinishedReason().find("redirected to " + target), std::string::npos)
        << Driver().UnfinishedReason();
  }
  EXPECT_EQ(other.Accepted(), 0);
}

// A Location with characters a request target may not carry is percent-encoded.
TEST_F(DriverHardening, RedirectTargetIsPercentEncoded) {
  ScriptServer server([](ScriptConnection& c, const std::string& request, int index) {
    if (index == 0) c.Send(HttpHead(302, {"Location: /dir/a b\"c\".bin", "Content-Length: 0"}));
    else if (RequestLine(request) == "GET /dir/a%20b%22c%22.bin HTTP/1.0") c.Send(HttpHead(200, {"Content-Length: 2"}) + "ok");
    else c.Send(HttpHead(400, {"Content-Length: 0"}));
  });
  Get(server.Url("/start"), "f.bin");
  EXPECT_EQ(ReadFile(Local("f.bin")), "ok");
}

// The reasons say what happened in the user's terms, and server text is escaped.
TEST_F(DriverHardening, UnfinishedReasonsInTheUsersTerms) {
  const std::string sized = HttpHead(200, {"Content-Length: " + std::to_string(kServedBody.size())});
  struct Case {
    const char* what;
    std::function<void(ScriptConnection&)> reply;
    std::string earlierPart;
    std::string says;
  };
  const Case cases[] = {
      {"orderly early close", [&](ScriptConnection& c) { c.Send(sized + kServedBody.substr(0, 1234)); }, "",
       "the server closed the connection after 1234 of 300000 bytes"},
      {"reset of a close-delimited body",
       [&](ScriptConnection& c) {
         c.Send(HttpHead(200, {}) + kServedBody.substr(0, 1000));
         std::this_thread::sleep_for(std::chrono::milliseconds(50));
         c.ResetOnClose();
       },
       "", "socket error 10054"},
      {"206 that does not continue the part file",
       [&](ScriptConnection& c) {
         c.Send(HttpHead(206, {"Content-Range: bytes 0-299999/300000", "Content-Length: 300000"}) + kServedBody);
       },
       std::string(1000, 'p'), "the server answered 206 for a range that does not continue the part file"},
      {"control characters in the reason phrase",
       [&](ScriptConnection& c) { c.Send("HTTP/1.0 404 Not\x1b[2JFound\r\nContent-Length: 0\r\n\r\n"); }, "",
       "HTTP status 404 Not\\x1B[2JFound"},
      {"conflicting lengths",
       [&](ScriptConnection& c) { c.Send(HttpHead(200, {"Content-Length: 5", "Content-Length: 6"}) + "hello!"); }, "",
       "conflicting Content-Length"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Local("f.bin.part"));
    if (!c.earlierPart.empty()) WriteFile(Local("f.bin.part"), c.earlierPart);
    ScriptServer server([&](ScriptConnection& conn, const std::string&, int) { c.reply(conn); });
    Get(server.Url("/f.bin"), "f.bin");
    EXPECT_FALSE(Driver().Finished());
    EXPECT_NE(Driver().UnfinishedReason().find(c.says), std::string::npos) << Driver().UnfinishedReason();
  }
}

// When the head and the whole body arrive in one read, the figures still come from the
// body: no head bytes counted, a size, no hours of time left, and the last event shows
// the whole file.
TEST_F(DriverHardening, FiguresWhenTheReplyComesInOneRead) {
  const std::string body = kServedBody.substr(0, 2000);
  ScriptServer server([&](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: 2000"}) + body);
  });
  Get(server.Url("/f.bin"), "f.bin");
  ASSERT_TRUE(Driver().Finished());
  const auto monitors = log.Of(TEvent::Monitor);
  ASSERT_FALSE(monitors.empty());
  for (const auto& e : monitors) {
    EXPECT_LE(e.downloaded, 2000);
    EXPECT_LT(e.hour, 1) << "no hours for a file of 2000 bytes";
  }
  EXPECT_EQ(monitors.back().downloaded, 2000);
  EXPECT_EQ(monitors.back().toDownload, 2000);
  EXPECT_EQ(monitors.back().sec, 0);
  const auto reads = log.Hooks(net::HR_ReadCount);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].toDownload, 2000);
}

// The last piece of a larger download reaches the display: the final event is 100%.
TEST_F(DriverHardening, LastEventShowsTheWholeFile) {
  const std::string body = RandomBytes(1500000, 5);
  ScriptServer server([&](ScriptConnection& c, const std::string&, int) {
    c.SendSlowly(HttpHead(200, {"Content-Length: 1500000"}) + body, 50000, 1);
  });
  Get(server.Url("/f.bin"), "f.bin");
  ASSERT_TRUE(Driver().Finished());
  const auto monitors = log.Of(TEvent::Monitor);
  ASSERT_FALSE(monitors.empty());
  EXPECT_EQ(monitors.back().downloaded, 1500000);
  EXPECT_EQ(monitors.back().toDownload, 1500000);
  const auto closes = log.Hooks(net::HR_SocketClose);
  ASSERT_FALSE(closes.empty());
  EXPECT_EQ(closes.back().downloaded, 1500000);
}

// A download that got no body byte leaves no empty part file; one that held bytes keeps
// them.
TEST_F(DriverHardening, NoEmptyPartFileIsLeftBehind) {
  ScriptServer notFound([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(404, {"Content-Length: 9"}) + "not found");
  });
  Get(notFound.Url("/f.bin"), "f.bin");
  EXPECT_FALSE(NativeExists(Local("f.bin.part")));
  const RefusingPort refusing;
  Get("http://127.0.0.1:" + refusing.PortText() + "/f.bin", "f.bin");
  EXPECT_FALSE(NativeExists(Local("f.bin.part")));
  Get("http://no-such-host.invalid/f.bin", "f.bin");
  EXPECT_FALSE(NativeExists(Local("f.bin.part")));
}

}  // namespace
}  // namespace qelvo::download::test
