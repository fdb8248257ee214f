// Downloads from a scripted peer: replies real servers give only when something goes
// wrong (cuts, ignored ranges, silence), and the requests the driver sends.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/download/download_fixture.h"

namespace qelvo::download::test {
namespace {

using ScriptedDownload = DownloadTest;

const std::string kBody = RandomBytes(300000, 7);

std::string HeaderValue(const std::string& head, const std::string& name) {
  const size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 4;
  return head.substr(start, head.find("\r\n", start) - start);
}

// The part file becomes the file only when the body arrived whole; otherwise it stays,
// closed, holding a prefix of the body for the next resume, and nothing is raised.
TEST_F(ScriptedDownload, OnlyAWholeBodyIsFinished) {
  using Reply = std::function<void(ScriptConnection&)>;
  const std::string sized = HttpHead(200, {"Content-Length: " + std::to_string(kBody.size())});
  struct Case {
    const char* what;
    Reply reply;
    bool finished;
  };
  const Case cases[] = {
      {"every announced byte", [&](ScriptConnection& c) { c.Send(sized + kBody); }, true},
      {"sized body cut by the peer", [&](ScriptConnection& c) { c.Send(sized + kBody.substr(0, 200000)); }, false},
      {"chunked body with its last chunk",
       [&](ScriptConnection& c) { c.Send(HttpHead(200, {"Transfer-Encoding: chunked"}) + Chunked(kBody, 70000, true)); },
       true},
      {"chunked body cut before its last chunk",
       [&](ScriptConnection& c) {
         c.Send(HttpHead(200, {"Transfer-Encoding: chunked"}) + Chunked(kBody, 70000, false));
       },
       false},
      {"close-delimited body ended by the peer's close",
       [&](ScriptConnection& c) { c.Send(HttpHead(200, {}) + kBody); }, true},
      {"close-delimited body ended by silence",
       [&](ScriptConnection& c) {
         c.Send(HttpHead(200, {}) + kBody);
         c.Hold(3000);
       },
       false},
      {"206 with its range", [&](ScriptConnection& c) {
         c.Send(HttpHead(206, {"Content-Length: " + std::to_string(kBody.size()),
                               "Content-Range: bytes 0-" + std::to_string(kBody.size() - 1) + "/" +
                                   std::to_string(kBody.size())}) +
                kBody);
       }, true},
      // A 206 is used only with a range that continues the part file and adds up.
      {"206 without Content-Range", [&](ScriptConnection& c) {
         c.Send(HttpHead(206, {"Content-Length: " + std::to_string(kBody.size())}) + kBody);
       }, false},
      {"206 with a garbage Content-Range", [&](ScriptConnection& c) {
         c.Send(HttpHead(206, {"Content-Length: " + std::to_string(kBody.size()), "Content-Range: bytes zz"}) + kBody);
       }, false},
      {"206 whose total disagrees with its range", [&](ScriptConnection& c) {
         c.Send(HttpHead(206, {"Content-Length: " + std::to_string(kBody.size()),
                               "Content-Range: bytes 0-" + std::to_string(kBody.size() - 1) + "/999999"}) +
                kBody);
       }, false},
  };
  dl.Proxy().ProxyTimeout = 400;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Local("f.bin"));
    std::filesystem::remove(Local("f.bin.part"));
    ScriptServer server([&](ScriptConnection& conn, const std::string&, int) { c.reply(conn); });
    log.events.clear();
    EXPECT_NO_THROW(Get(server.Url("/f.bin"), "f.bin"));
    EXPECT_EQ(Driver().Finished(), c.finished);
    // Without an announced size no body read is reported, yet the bytes are written.
    if (std::string(c.what).rfind("close-delimited", 0) == 0) {
      EXPECT_TRUE(log.Hooks(net::HR_ReadCount).empty());
    }
    EXPECT_EQ(NativeExists(Local("f.bin")), c.finished);
    if (c.finished) {
      EXPECT_FALSE(NativeExists(Local("f.bin.part")));
      EXPECT_EQ(ReadFile(Local("f.bin")), kBody);
    } else if (NativeExists(Local("f.bin.part"))) {  // none when no byte was kept
      EXPECT_FALSE(Driver().PartFileOpen());
      const std::string part = ReadFile(Local("f.bin.part"));
      EXPECT_EQ(part, kBody.substr(0, part.size())) << "a prefix of the body";
    }
  }
}

// A transfer cut mid-body is finished by the next start, which asks for the rest.
TEST_F(ScriptedDownload, CutTransferIsResumedByTheNextStart) {
  const std::string kModified = "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT";
  const std::string head = HttpHead(200, {"Content-Length: " + std::to_string(kBody.size()), kModified});
  ScriptServer server([&](ScriptConnection& c, const std::string& request, int index) {
    if (index == 0) {
      c.Send(head + kBody.substr(0, 150000));
      return;
    }
    const std::string range = HeaderValue(request, "Range");
    const size_t from = std::stoul(range.substr(6));  // "bytes=N-"
    c.Send(HttpHead(206, {kModified, "Content-Length: " + std::to_string(kBody.size() - from),
                          "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(kBody.size() - 1) +
                              "/" + std::to_string(kBody.size())}) +
           kBody.substr(from));
  });
  Get(server.Url("/f.bin"), "f.bin");
  ASSERT_TRUE(NativeExists(Local("f.bin.part")));
  const size_t kept = ReadFile(Local("f.bin.part")).size();
  log.events.clear();
  Get(server.Url("/f.bin"), "f.bin");
  EXPECT_EQ(ReadFile(Local("f.bin")), kBody);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(HeaderValue(requests[0], "Range"), "");
  EXPECT_EQ(HeaderValue(requests[1], "Range"), "bytes=" + std::to_string(kept) + "-");
  EXPECT_EQ(HeaderValue(requests[1], "If-Range"), "Tue, 01 Dec 2026 10:00:00 GMT");
  const auto reads = log.Hooks(net::HR_ReadCount);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].downloaded, static_cast<int32_t>(kept));
  EXPECT_EQ(reads[0].toDownload, static_cast<int32_t>(kBody.size()));
}

// A server that ignores the range and sends the whole file: the part file starts over
// instead of getting the whole file appended after the bytes it had.
TEST_F(ScriptedDownload, WholeBodyAnsweringAResumeStartsThePartFileOver) {
  const std::string small = "a small file that fits in the first packet";
  struct Case {
    const char* what;
    std::string reply;
    std::string body;
  };
  const Case cases[] = {
      {"sized", HttpHead(200, {"Content-Length: " + std::to_string(kBody.size())}) + kBody, kBody},
      {"sized, arriving with the head", HttpHead(200, {"Content-Length: " + std::to_string(small.size())}) + small,
       small},
      {"close-delimited", HttpHead(200, {}) + kBody, kBody},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Local("f.bin"));
    WriteFile(Local("f.bin.part"), std::string(700, 'G'));
    ScriptServer server([&](ScriptConnection& conn, const std::string&, int) { conn.Send(c.reply); });
    Get(server.Url("/f.bin"), "f.bin");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(HeaderValue(server.Requests()[0], "Range"), "bytes=700-");
    EXPECT_EQ(ReadFile(Local("f.bin")), c.body);
    EXPECT_FALSE(NativeExists(Local("f.bin.part")));
  }
}

// A partial answer that does not start where the part file ends is not appended.
TEST_F(ScriptedDownload, PartialBodyFromAnotherOffsetIsNotAppended) {
  const std::string earlier = kBody.substr(0, 1000);
  ScriptServer server([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(206, {"Content-Range: bytes 0-299999/300000", "Content-Length: 300000"}) + kBody);
  });
  WriteFile(Local("f.bin.part"), earlier);
  EXPECT_NO_THROW(Get(server.Url("/f.bin"), "f.bin"));
  EXPECT_FALSE(Driver().Finished());
  EXPECT_FALSE(NativeExists(Local("f.bin")));
  EXPECT_EQ(ReadFile(Local("f.bin.part")), earlier);
}

TEST_F(ScriptedDownload, RedirectChainsAreBounded) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(302, {"Location: /loop", "Content-Length: 0"}));
  });
  EXPECT_NO_THROW(Get(server.Url("/loop"), "f.bin"));
  EXPECT_EQ(server.Requests().size(), 1u + TQvHTTPDownload::kMaxRedirects);
  EXPECT_TRUE(Driver().RedirectLimitReached());
  EXPECT_FALSE(Driver().Finished());
  EXPECT_FALSE(NativeExists(Local("f.bin")));
  EXPECT_FALSE(Driver().PartFileOpen());
}

TEST_F(ScriptedDownload, RelativeRedirectIsResolvedAgainstTheRequest) {
  ScriptServer server([](ScriptConnection& c, const std::string& request, int) {
    if (request.rfind("GET /dir/start ", 0) == 0) {
      c.Send(HttpHead(302, {"location: target.bin", "Content-Length: 0"}));
    } else if (request.rfind("GET /dir/target.bin ", 0) == 0) {
      c.Send(HttpHead(200, {"Content-Length: 5"}) + "hello");
    } else {
      c.Send(HttpHead(404, {"Content-Length: 0"}));
    }
  });
  Get(server.Url("/dir/start"), "f.bin");
  EXPECT_EQ(ReadFile(Local("f.bin")), "hello");
}

// The probe asks for the first 1025 bytes; the download that follows asks for the file.
TEST_F(ScriptedDownload, NameProbeIsARangedRequest) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Disposition: attachment; filename=\"../report 1.pdf\"; size=4",
                          "Content-Length: 4"}) +
           "%PDF");
  });
  Get(server.Url("/download/"), "");
  EXPECT_EQ(ReadFile(Local("report 1.pdf")), "%PDF");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(HeaderValue(requests[0], "Range"), "bytes=0-1024");
  EXPECT_EQ(HeaderValue(requests[1], "Range"), "");
}

// A server that ignores the probe's range: the probe stops reading once the head is in,
// and the download that follows is not disturbed by that abort.
TEST_F(ScriptedDownload, NameProbeIgnoredRangeIsCutShort) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int index) {
    const std::string head = HttpHead(200, {"Content-Disposition: attachment; filename=whole.bin",
                                            "Content-Length: " + std::to_string(kBody.size())});
    if (index == 0) c.SendSlowly(head + kBody, 16384, 2);
    else c.Send(head + kBody);
  });
  Get(server.Url("/get/?id=1"), "");
  EXPECT_EQ(ReadFile(Local("whole.bin")), kBody);
  EXPECT_EQ(server.Requests().size(), 2u);
}

// A probe that is redirected takes the name from where it is sent; the download then
// follows the redirect into that part file.
TEST_F(ScriptedDownload, RedirectedNameProbeTakesTheNameOfTheTarget) {
  ScriptServer server([](ScriptConnection& c, const std::string& request, int) {
    if (request.rfind("GET /download/ ", 0) == 0)
      c.Send(HttpHead(302, {"Location: /files/pkg.zip", "Content-Length: 0"}));
    else
      c.Send(HttpHead(200, {"Content-Length: 3"}) + "PKG");
  });
  Get(server.Url("/download/"), "");
  EXPECT_EQ(ReadFile(Local("pkg.zip")), "PKG");
  EXPECT_FALSE(NativeExists(Local("pkg.zip.part")));
  EXPECT_EQ(server.Requests().size(), 3u) << "probe, download, redirected download";
}

// The component's proxy settings apply to every download, also with a given file name,
// and its timeout limits each wait.
TEST_F(ScriptedDownload, ProxySettingsApplyToEveryDownload) {
  ScriptServer proxy([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: 7"}) + "proxied");
  });
  dl.Proxy().ProxyHost = "127.0.0.1";
  dl.Proxy().ProxyPort = std::to_string(proxy.Port());
  dl.Proxy().ProxyUser = "ana";
  dl.Proxy().ProxyPass = "s3cret";
  Get("http://packages.invalid:8997/qelvo/public/QelvoOne.zip", "QelvoOne.zip");
  EXPECT_EQ(ReadFile(Local("QelvoOne.zip")), "proxied");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const std::string request = proxy.Requests()[0];
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "GET http://packages.invalid:8997/qelvo/public/QelvoOne.zip HTTP/1.0");
  EXPECT_EQ(HeaderValue(request, "Proxy-Authorization"), "Basic YW5hOnMzY3JldA==");
}

TEST_F(ScriptedDownload, ProxyTimeoutLimitsEachWait) {
  ScriptServer silent([](ScriptConnection& c, const std::string&, int) { c.Hold(10000); });
  dl.Proxy().ProxyTimeout = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NO_THROW(Get(silent.Url("/f.bin"), "f.bin"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(Driver().Finished());
  EXPECT_EQ(Driver().ResultCode(), 0);
  EXPECT_FALSE(NativeExists(Local("f.bin.part"))) << "no byte arrived: no empty part file";
}

}  // namespace
}  // namespace qelvo::download::test
