// FTP downloads through the component: vsftpd on loopback for the real thing, scripted
// peers for transfers that are cut or lie about their end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>

#include "download/qv_download.h"
#include "download/qv_ftp_download.h"
#include "tests/download/event_log.h"
#include "tests/support/files.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"
#include "tests/support/script_server.h"

namespace qelvo::download::test {
namespace {

namespace support = ::qelvo::test;

const size_t kFileSize = 3 * 1024 * 1024 + 5;

class FtpDownload : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    peer = std::make_unique<support::VsftpdPeer>();
    if (!peer->ok) return;
    body = support::TestBody(kFileSize, 21);
    peer->Serve("pub/file.bin", body);
  }
  static void TearDownTestSuite() { peer.reset(); }
  void SetUp() override {
    ASSERT_TRUE(peer->ok) << peer->error;
    dl.Protocolo = protFTP;
    dl.SetSizeRecvBuffer(65536);
    dl.SetDownloadDest(dest.Windows() + "\\");
    log.Attach(dl);
  }
  static std::string Url(const std::string& path, bool withUser = true) {
    return std::string("ftp://") + (withUser ? std::string(support::kFtpUser) + ":" + support::kFtpPass + "@" : "") +
           "127.0.0.1:" + std::to_string(peer->port) + path;
  }
  void Get(const std::string& url) {
    dl.SetDownloadUrl(url);
    dl.StartDownload();
  }
  TQvFTPDownload& Driver() { return dynamic_cast<TQvFTPDownload&>(dl.Driver()); }
  std::string Local(const std::string& name) const { return dest.File(name); }

  static std::unique_ptr<support::VsftpdPeer> peer;
  static std::string body;
  support::TempFolder dest{"ftp"};
  TQvDownload dl;
  EventLog log;
};
std::unique_ptr<support::VsftpdPeer> FtpDownload::peer;
std::string FtpDownload::body;

TEST_F(FtpDownload, NewDownloadFinishesUnderItsName) {
  Get(Url("/pub/file.bin"));
  ASSERT_TRUE(Driver().Finished()) << Driver().FinalReply();
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body);
  EXPECT_FALSE(support::NativeExists(Local("file.bin.part")));
  EXPECT_EQ(Driver().RemoteSize(), static_cast<int64_t>(kFileSize));
  EXPECT_EQ(Driver().FinalReplyCode(), 226);
  // Connect, first read with the total, the close after the last byte and the one after
  // the completion reply; the closes that precede the data connection raise nothing.
  EXPECT_EQ(log.Outline(), "B C R X X A");
  const auto reads = log.Hooks(net::HR_ReadCount);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].toDownload, static_cast<int32_t>(kFileSize));
  EXPECT_EQ(reads[0].downloaded, 0);
  ASSERT_FALSE(log.Of(TEvent::Monitor).empty());
  EXPECT_EQ(log.Of(TEvent::Monitor).back().downloaded, static_cast<int32_t>(kFileSize));
  EXPECT_EQ(log.Hooks(net::HR_Connect)[0].sender, Driver().FTPSend().DSock()) << "the data socket raises the events";
}

TEST_F(FtpDownload, ResumeAsksTheServerForTheRestOnly) {
  support::WriteFile(Local("file.bin.part"), body.substr(0, 1000000));
  Get(Url("/pub/file.bin"));
  ASSERT_TRUE(Driver().Finished());
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body);
  EXPECT_NE(peer->Log().find("\"REST 1000000\""), std::string::npos);
  const auto reads = log.Hooks(net::HR_ReadCount);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].downloaded, 1000000);
  EXPECT_EQ(reads[0].toDownload, static_cast<int32_t>(kFileSize));
  EXPECT_EQ(log.Of(TEvent::Monitor).back().downloaded, static_cast<int32_t>(kFileSize));
}

TEST_F(FtpDownload, PartFilesThatAreWholeOrTooLong) {
  support::WriteFile(Local("file.bin.part"), body);
  Get(Url("/pub/file.bin"));
  EXPECT_TRUE(Driver().Finished()) << "an earlier run that got every byte finishes now";
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body);
  EXPECT_TRUE(log.Hooks(net::HR_ReadCount).empty()) << "no transfer";

  support::WriteFile(Local("file.bin.part"), body + "garbage after the end");
  Get(Url("/pub/file.bin"));
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body) << "the part file started over";
}

TEST_F(FtpDownload, SettingsOrTheUrlNameTheServer) {
  // The settings win over the URL's host; the URL's name still names the file.
  dl.FTP().FtpHost = "127.0.0.1";
  dl.FTP().FtpPort = std::to_string(peer->port);
  dl.FTP().FtpUser = support::kFtpUser;
  dl.FTP().FtpPass = support::kFtpPass;
  Get("ftp://ftp.invalid/pub/file.bin");
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(Driver().FTPSend().TargetHost, "127.0.0.1");

  // No settings, no user in the URL: an anonymous login to the URL's host and port.
  dl.SetFTP(TQvFTP());
  ::unlink(Local("file.bin").c_str());
  Get(Url("/pub/file.bin", false));
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(Driver().FTPSend().UserName, "anonymous");
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body);
}

TEST_F(FtpDownload, ActiveModeFromTheBeforeEvent) {
  dl.SetOnBeforeDownload([](void* sender) {
    static_cast<TQvFTPDownload*>(static_cast<TQvDownloadClass*>(sender))->FTPSend().PassiveMode = false;
  });
  Get(Url("/pub/file.bin"));
  EXPECT_TRUE(Driver().Finished());
  EXPECT_EQ(support::ReadFile(Local("file.bin")), body);
}

TEST_F(FtpDownload, FailuresAndWhatTheyLeave) {
  Get(Url("/pub/missing.bin"));
  EXPECT_FALSE(Driver().Finished());
  EXPECT_EQ(Driver().FinalReplyCode(), 550);
  EXPECT_TRUE(support::NativeExists(Local("missing.bin.part")));
  EXPECT_FALSE(support::NativeExists(Local("missing.bin")));

  auto messageOf = [&](const std::string& url) {
    try {
      Get(url);
    } catch (const Exception& e) {
      return e.Message();
    }
    return std::string("(no exception)");
  };
  const std::string wrongPassword =
      "ftp://" + std::string(support::kFtpUser) + ":nope@127.0.0.1:" + std::to_string(peer->port) + "/pub/other.bin";
  EXPECT_EQ(messageOf(wrongPassword), kMsgFtpLoginFailed);
  EXPECT_FALSE(support::NativeExists(Local("other.bin.part"))) << "nothing touched before the login";
  EXPECT_EQ(messageOf(Url("/pub/")), kMsgFtpNoFileName);
}

TEST_F(FtpDownload, StopDeletesThePartFile) {
  dl.SetOnHookMonitor([this](void*, int32_t, int32_t, double, uint16_t, uint16_t, uint16_t) {
    dl.SetDownloadStatus(stStop);
  });
  Get(Url("/pub/file.bin"));
  EXPECT_FALSE(Driver().Finished());
  EXPECT_FALSE(support::NativeExists(Local("file.bin.part")));
  EXPECT_FALSE(support::NativeExists(Local("file.bin")));
}

// A data connection that ends early while the server still claims success: the bytes
// that came are kept, the file is not finished, and the next run resumes after them.
TEST(FtpDownloadScripted, CutTransferKeepsItsBytesAndResumes) {
  using support::Close;
  using support::ReadLine;
  using support::Script;
  using support::Send;
  const std::string whole = support::TestBody(1000, 8);
  support::ScriptServer data({{Send(whole.substr(0, 500)), Close()}, {Send(whole.substr(500)), Close()}});
  const int p = data.Port();
  const std::string pasv =
      "227 Entering Passive Mode (127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) + ")\r\n";
  auto session = [&](bool resumed) {
    std::vector<std::string> replies = {"331 p\r\n", "230 in\r\n", "200 I\r\n", "200 F\r\n", "200 S\r\n",
                                        "350 r\r\n", "350 r\r\n", "350 r\r\n", "213 1000\r\n", pasv, "200 I\r\n"};
    if (resumed) replies.push_back("350 Restarting\r\n");
    replies.push_back("150 go\r\n");
    replies.push_back("221 bye\r\n");
    Script s{Send("220 hi\r\n")};
    for (size_t i = 0; i < replies.size(); ++i) {
      s.push_back(ReadLine());
      s.push_back(Send(replies[i]));
      // The completion reply comes once the data connection has ended.
      if (replies[i] == "150 go\r\n") s.push_back(Send("226 Transfer complete\r\n"));
    }
    return s;
  };
  support::ScriptServer control({session(false), session(true)});
  support::TempFolder dest("ftp");
  TQvDownload dl;
  dl.Protocolo = protFTP;
  dl.SetDownloadDest(dest.Windows() + "\\");
  dl.SetDownloadUrl("ftp://u:p@127.0.0.1:" + control.PortText() + "/f.bin");
  dl.FTP().FtpTimeout = 5000;
  dl.StartDownload();
  EXPECT_FALSE(dl.Driver().Finished()) << "226 with half the announced bytes";
  EXPECT_EQ(support::ReadFile(dest.File("f.bin.part")), whole.substr(0, 500));

  dl.StartDownload();
  EXPECT_TRUE(dl.Driver().Finished());
  EXPECT_EQ(support::ReadFile(dest.File("f.bin")), whole);
  EXPECT_NE(control.Received(1).find("REST 500\r\nRETR /f.bin\r\n"), std::string::npos) << control.Received(1);
}

}  // namespace
}  // namespace qelvo::download::test
