// Downloads from a real nginx on loopback.
#include <gtest/gtest.h>

#include "download/messages.h"
#include "platform/clock.h"
#include "tests/download/download_fixture.h"

namespace qelvo::download::test {
namespace {

using HttpDownload = DownloadTest;

TEST_F(HttpDownload, NewFileIsWrittenThroughItsPartFileAndFinishedUnderItsName) {
  NginxServer& n = Nginx();
  bool partSeenDuringTransfer = false;
  log.Attach(dl, [&](const TEvent&) { partSeenDuringTransfer |= NativeExists(Local("a.bin.part")); });
  Get(n.Url("/files/a.bin"), "a.bin");
  EXPECT_TRUE(partSeenDuringTransfer);
  EXPECT_EQ(ReadFile(Local("a.bin")), n.Content("a.bin"));
  EXPECT_FALSE(NativeExists(Local("a.bin.part")));
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(Driver().ResultCode(), 200);
  EXPECT_EQ(dl.DownloadStatus(), stDownload);
  // Written bytes leave memory: the client's document never holds the whole file.
  EXPECT_LT(Driver().HTTPSend().Document().Capacity(), 256 * 1024);
}

TEST_F(HttpDownload, OlderFileWithTheFinalNameIsReplaced) {
  NginxServer& n = Nginx();
  WriteFile(Local("small.bin"), "an older, different and longer file than the new one" + std::string(5000, 'o'));
  Get(n.Url("/files/small.bin"), "small.bin");
  EXPECT_EQ(ReadFile(Local("small.bin")), n.Content("small.bin"));
}

TEST_F(HttpDownload, NameComesFromTheUrlPathWhenNoneIsGiven) {
  NginxServer& n = Nginx();
  Get(n.Url("/files/small.bin"), "");
  EXPECT_EQ(ReadFile(Local("small.bin")), n.Content("small.bin"));
}

TEST_F(HttpDownload, NameProbeTakesTheQuotedFilenameOfTheResponse) {
  NginxServer& n = Nginx();
  const int before = n.CountRequests("/named/ ");
  Get(n.Url("/named/"), "");
  EXPECT_EQ(ReadFile(Local("served name.bin")), n.Content("named-source.bin"));
  EXPECT_EQ(n.LastStatus("/named/"), 200);
  EXPECT_EQ(n.CountRequests("/named/ ") - before, 2) << "the probe and the download";
}

TEST_F(HttpDownload, NoFileNameAnywhereIsRefusedBeforeAnyFileIsCreated) {
  NginxServer& n = Nginx();
  dl.SetDownloadUrl(n.Url("/"));
  dl.SetDownloadNomeArq("");
  try {
    dl.StartDownload();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Favor informar o nome do arquivo para download!");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dest.Native()));
}

// An existing part file is continued with a range; the bytes already there are kept.
TEST_F(HttpDownload, PartFileIsResumedFromItsSize) {
  NginxServer& n = Nginx();
  const std::string& content = n.Content("a.bin");
  const size_t resumedSizes[] = {1000, 200000, content.size() - 10};
  for (size_t resumed : resumedSizes) {
    SCOPED_TRACE(resumed);
    log.events.clear();
    std::filesystem::remove(Local("a.bin"));
    WriteFile(Local("a.bin.part"), content.substr(0, resumed));
    StampAsLeftBehind(Local("a.bin.part"), n.ServedPath("a.bin"));
    Get(n.Url("/files/a.bin"), "a.bin");
    EXPECT_EQ(n.LastStatus("/files/a.bin"), 206);
    EXPECT_EQ(ReadFile(Local("a.bin")), content);
    EXPECT_FALSE(NativeExists(Local("a.bin.part")));
    EXPECT_EQ(Driver().BytesResumed(), static_cast<int32_t>(resumed));
    const auto reads = log.Hooks(net::HR_ReadCount);
    if (resumed < 100000) {  // long enough for a body read after the head
      ASSERT_EQ(reads.size(), 1u);
      EXPECT_EQ(reads[0].downloaded, static_cast<int32_t>(resumed));
      EXPECT_EQ(reads[0].toDownload, static_cast<int32_t>(content.size()));
    }
  }
}

// A stop or pause requested from the monitor event closes the connection at the next
// notification: pause keeps the part file for a resume, stop deletes it. Neither raises,
// although the socket reports its close more than once.
TEST_F(HttpDownload, PauseAndStopFromTheMonitorEvent) {
  NginxServer& n = Nginx();
  const std::string& content = n.Content("big.bin");
  for (TDownloadStatus request : {stPause, stStop}) {
    SCOPED_TRACE(DownloadStatusName(request));
    std::filesystem::remove(Local("big.bin.part"));
    log.events.clear();
    log.Attach(dl, [&](const TEvent& e) {
      if (e.downloaded > 1024 * 1024 && dl.DownloadStatus() != request) dl.SetDownloadStatus(request);
    });
    Get(n.Url("/files/big.bin"), "big.bin");
    EXPECT_FALSE(NativeExists(Local("big.bin")));
    EXPECT_FALSE(Driver().PartFileOpen());
    // One close for the request, one when the client notices; the drain of the first
    // must not close again from inside itself.
    EXPECT_LE(log.Hooks(net::HR_SocketClose).size(), 2u);
    const auto statusEvents = log.Of(TEvent::Status);
    ASSERT_EQ(statusEvents.size(), 1u);
    EXPECT_EQ(statusEvents[0].status, request);
    EXPECT_EQ(statusEvents[0].sender, &dl.Driver());
    if (request == stPause) {
      const std::string part = ReadFile(Local("big.bin.part"));
      EXPECT_GT(part.size(), 1024u * 1024u);
      EXPECT_LT(part.size(), content.size());
      EXPECT_EQ(part, content.substr(0, part.size()));
    } else {
      EXPECT_FALSE(NativeExists(Local("big.bin.part")));
    }
  }
  // The paused part file was deleted by the stop; a pause followed by a new start resumes.
  log.Attach(dl, [&](const TEvent& e) {
    if (e.downloaded > 2 * 1024 * 1024 && dl.DownloadStatus() == stDownload) dl.SetDownloadStatus(stPause);
  });
  Get(n.Url("/files/big.bin"), "big.bin");
  ASSERT_TRUE(NativeExists(Local("big.bin.part")));
  log.Attach(dl);
  Get(n.Url("/files/big.bin"), "big.bin");
  EXPECT_EQ(ReadFile(Local("big.bin")), content);
}

TEST_F(HttpDownload, EventSequenceAndFigures) {
  NginxServer& n = Nginx();
  const int32_t size = static_cast<int32_t>(n.Content("a.bin").size());
  bool finalFileAtClose = false;
  // Loopback can deliver the whole file within the millisecond the speed is measured in;
  // one short pause in the body makes the elapsed time, and so the speed, non-zero.
  bool paused = false;
  log.Attach(dl, [&](const TEvent& e) {
    if (!paused && e.downloaded > 0 && Driver().DownloadStatus() == stDownload) {
      paused = true;
      platform::Sleep(3);
    }
  });
  dl.SetOnHookStatus([&](void* s, net::THookSocketReason r, int32_t t, int32_t b) {
    if (r == net::HR_SocketClose) finalFileAtClose = NativeExists(Local("a.bin"));
    TEvent e{TEvent::Hook, s};
    e.reason = r;
    e.toDownload = t;
    e.downloaded = b;
    log.events.push_back(e);
  });
  Get(n.Url("/files/a.bin"), "a.bin");

  EXPECT_EQ(log.Outline(), "B C R X A");
  EXPECT_TRUE(finalFileAtClose) << "the file is in place when the close is reported";
  void* sock = Driver().HTTPSend().Sock();
  const auto events = log.events;
  EXPECT_EQ(events.front().sender, &dl.Driver());
  EXPECT_EQ(events.back().sender, &dl.Driver());
  const auto connect = log.Hooks(net::HR_Connect);
  ASSERT_EQ(connect.size(), 1u);
  EXPECT_EQ(connect[0].sender, sock);
  EXPECT_EQ(connect[0].toDownload, 0);
  EXPECT_EQ(connect[0].downloaded, 0);
  const auto read = log.Hooks(net::HR_ReadCount);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].toDownload, size);
  EXPECT_EQ(read[0].downloaded, 0);

  // Monitor figures after the first body read: the total stays, the count grows,
  // elapsed hours and minutes are 0 on loopback, and Sec estimates the rest.
  bool afterRead = false;
  int32_t last = 0;
  int monitors = 0;
  for (const auto& e : events) {
    if (e.kind == TEvent::Hook && e.reason == net::HR_ReadCount) afterRead = true;
    if (e.kind != TEvent::Monitor || !afterRead) continue;
    ++monitors;
    EXPECT_EQ(e.sender, sock);
    EXPECT_EQ(e.toDownload, size);
    EXPECT_GE(e.downloaded, last);
    EXPECT_LE(e.downloaded, size);
    EXPECT_GE(e.speed, 0);
    EXPECT_EQ(e.hour, 0);
    EXPECT_EQ(e.min, 0);
    if (e.speed > 0) {
      const double remaining = (size - e.downloaded) / 1024.0 / e.speed;
      EXPECT_EQ(e.sec, static_cast<uint16_t>(static_cast<int64_t>(remaining)));
    }
    last = e.downloaded;
  }
  EXPECT_GE(monitors, 8) << "one notification per received piece of at most 64 KiB";
  const auto close = log.Hooks(net::HR_SocketClose);
  ASSERT_EQ(close.size(), 1u);
  EXPECT_EQ(close[0].toDownload, size);
  EXPECT_EQ(close[0].downloaded, last);
  EXPECT_GT(last, size - 65536) << "every body read counted";
  EXPECT_GT(Driver().AverageSpeed(), 0);
}

// Error statuses raise nothing, create or replace no final file, and leave the part file
// as it was: an error page never enters it (that would corrupt the next resume).
TEST_F(HttpDownload, ErrorStatusesLeaveThePartFileAsItWas) {
  NginxServer& n = Nginx();
  struct Case {
    const char* path;
    int status;
    const char* earlierPart;  // nullptr: no part file before
  };
  const Case cases[] = {
      {"/files/nope.bin", 404, nullptr},
      {"/files/nope.bin", 404, "first bytes"},
      {"/missing/big-error-page.bin", 404, "first bytes"},
      {"/fail500", 500, nullptr},
      {"/fail500", 500, "first bytes"},
  };
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.earlierPart ? " with part file" : ""));
    // A name per case: the driver holds the last part file open, and Windows lets nobody
    // remove an open file.
    const std::string name = "x" + std::to_string(++round) + ".bin";
    log.events.clear();
    if (c.earlierPart) WriteFile(Local(name + ".part"), c.earlierPart);
    EXPECT_NO_THROW(Get(n.Url(c.path), name));
    EXPECT_EQ(Driver().ResultCode(), c.status);
    EXPECT_FALSE(NativeExists(Local(name)));
    // A download that got no byte of the file leaves no empty part file behind.
    ASSERT_EQ(NativeExists(Local(name + ".part")), c.earlierPart != nullptr);
    if (c.earlierPart) {
      EXPECT_EQ(ReadFile(Local(name + ".part")), c.earlierPart);
      EXPECT_TRUE(Driver().PartFileOpen()) << "kept open until the driver goes";
    }
    // 500 is the code of the close that opens a connection: that close raises nothing.
    EXPECT_EQ(log.Hooks(net::HR_SocketClose).size(), c.status == 500 ? 0u : 1u);
  }
}

TEST_F(HttpDownload, RedirectFinishesUnderTheRequestedName) {
  NginxServer& n = Nginx();
  struct Case {
    const char* path;
    const char* name;
    const char* finalName;
    size_t resumed;  // bytes of the file already in the part file
    int requests;
  };
  const Case cases[] = {
      {"/redirect", "wanted.bin", "wanted.bin", 0, 2},
      {"/redirect", "wanted.bin", "wanted.bin", 1000, 2},
      {"/redirect-twice", "", "redirect-twice", 0, 3},
  };
  const std::string& content = n.Content("small.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " resumed " + std::to_string(c.resumed));
    log.events.clear();
    std::filesystem::remove(Local(c.finalName));
    if (c.resumed) {
      WriteFile(Local(std::string(c.finalName) + ".part"), content.substr(0, c.resumed));
      StampAsLeftBehind(Local(std::string(c.finalName) + ".part"), n.ServedPath("small.bin"));
    }
    Get(n.Url(c.path), c.name);
    EXPECT_EQ(ReadFile(Local(c.finalName)), content);
    EXPECT_FALSE(NativeExists(Local(std::string(c.finalName) + ".part")));
    EXPECT_FALSE(NativeExists(Local("small.bin")));
    EXPECT_TRUE(Driver().Finished());
    EXPECT_EQ(Driver().Redirects(), c.requests - 1);
    EXPECT_EQ(n.LastStatus("/files/small.bin"), c.resumed ? 206 : 200);
    // Each request has its Before and After; a redirect's close raises no event.
    EXPECT_EQ(log.Of(TEvent::Before).size(), static_cast<size_t>(c.requests));
    EXPECT_EQ(log.Of(TEvent::After).size(), static_cast<size_t>(c.requests));
    EXPECT_EQ(log.Hooks(net::HR_SocketClose).size(), 1u);
  }
}

TEST_F(HttpDownload, ConnectionFailureRaisesNothingAndLeavesNoPartFile) {
  const RefusingPort refusing;
  EXPECT_NO_THROW(Get("http://127.0.0.1:" + refusing.PortText() + "/x.bin", "x.bin"));
  EXPECT_EQ(Driver().ResultCode(), 500);
  EXPECT_EQ(Driver().LastSocketErrorCode(), 10061);
  EXPECT_FALSE(NativeExists(Local("x.bin")));
  EXPECT_FALSE(NativeExists(Local("x.bin.part")));
  EXPECT_EQ(dl.DownloadStatus(), stDownload) << "the component reports a started download";
}

// A failure to move the part file into place leaves StartDownload with the message,
// through the HTTP client, and the component stays usable.
TEST_F(HttpDownload, RenameFailureIsRaisedWithBothNames) {
  NginxServer& n = Nginx();
  std::filesystem::create_directories(Local("small.bin/occupied"));
  try {
    Get(n.Url("/files/small.bin"), "small.bin");
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Não foi possível renomear o arquivo: " + dest.Windows() + "\\small.bin.part para " +
                               dest.Windows() + "\\small.bin");
  }
  EXPECT_EQ(ReadFile(Local("small.bin.part")), n.Content("small.bin"));
  // The part file is whole: the next start's range is refused (416) and it is finished.
  std::filesystem::remove_all(Local("small.bin"));
  Get(n.Url("/files/small.bin"), "small.bin");
  EXPECT_EQ(n.LastStatus("/files/small.bin"), 416);
  EXPECT_EQ(ReadFile(Local("small.bin")), n.Content("small.bin"));
  EXPECT_FALSE(NativeExists(Local("small.bin.part")));
}

TEST_F(HttpDownload, MissingDestinationFolderRaisesTheFileError) {
  dl.SetDownloadDest(dest.Windows() + "\\no\\such\\folder\\");
  EXPECT_THROW(Get("http://127.0.0.1:1/x.bin", "x.bin"), rtl::EFCreateError);
}

TEST_F(HttpDownload, HandlersSetBetweenDownloadsReachTheNextDriver) {
  NginxServer& n = Nginx();
  dl.SetOnHookStatus(nullptr);
  dl.SetOnHookMonitor(nullptr);
  Get(n.Url("/files/small.bin"), "one.bin");
  EXPECT_TRUE(log.Hooks(net::HR_Connect).empty());
  log.Attach(dl);
  Get(n.Url("/files/small.bin"), "two.bin");
  EXPECT_EQ(log.Hooks(net::HR_Connect).size(), 1u);
}

}  // namespace
}  // namespace qelvo::download::test
