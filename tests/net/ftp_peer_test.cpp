// The FTP client against real servers on loopback: vsftpd (also over IPv6) and pure-ftpd.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>

#include "net/ftp_client.h"
#include "platform/file_system.h"
#include "tests/support/files.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"

namespace qelvo::net {
namespace {

using test::FtpPeer;
using test::kFtpPass;
using test::kFtpUser;

const std::string kSmall = "small file served over FTP\n";

class FtpPeers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vsftpd = std::make_unique<test::VsftpdPeer>();
    pure = std::make_unique<test::PureFtpdPeer>();
    for (FtpPeer* p : {static_cast<FtpPeer*>(vsftpd.get()), static_cast<FtpPeer*>(pure.get())}) {
      if (!p->ok) continue;
      p->Serve("small.txt", kSmall);
      p->Serve("sub/inner.bin", test::TestBody(3000, 5));
      p->Serve("medium.bin", test::TestBody(5 * 1024 * 1024 + 77, 9));
    }
  }
  static void TearDownTestSuite() {
    vsftpd.reset();
    pure.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(vsftpd->ok) << vsftpd->error;
    ASSERT_TRUE(pure->ok) << pure->error;
  }
  static void Aim(TFTPSend& ftp, const FtpPeer& peer, bool user = true, const std::string& host = "127.0.0.1") {
    ftp.TargetHost = host;
    ftp.TargetPort = std::to_string(peer.port);
    ftp.Timeout = 10000;
    if (user) {
      ftp.UserName = kFtpUser;
      ftp.Password = kFtpPass;
    }
  }

  static std::unique_ptr<test::VsftpdPeer> vsftpd;
  static std::unique_ptr<test::PureFtpdPeer> pure;
};
std::unique_ptr<test::VsftpdPeer> FtpPeers::vsftpd;
std::unique_ptr<test::PureFtpdPeer> FtpPeers::pure;

TEST_F(FtpPeers, LoginsPassiveAndActiveRetrieveIntoMemory) {
  struct {
    const char* what;
    FtpPeer* peer;
    bool user;
    bool passive;
  } const cases[] = {
      {"vsftpd anonymous passive", vsftpd.get(), false, true},
      {"vsftpd anonymous active", vsftpd.get(), false, false},
      {"vsftpd user passive", vsftpd.get(), true, true},
      {"vsftpd user active", vsftpd.get(), true, false},
      {"pure-ftpd user passive", pure.get(), true, true},
      {"pure-ftpd user active", pure.get(), true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TFTPSend ftp;
    Aim(ftp, *c.peer, c.user);
    ftp.PassiveMode = c.passive;
    ASSERT_TRUE(ftp.Login()) << ftp.ResultString();
    EXPECT_TRUE(ftp.CanResume());
    EXPECT_EQ(ftp.FileSize("/small.txt"), static_cast<int64_t>(kSmall.size()));
    ASSERT_TRUE(ftp.RetrieveFile("/small.txt", false)) << ftp.ResultString();
    EXPECT_EQ(ftp.DataStream().DataString(), kSmall);
    EXPECT_EQ(ftp.DataStream().Position(), 0);
    EXPECT_EQ(ftp.ResultCode(), 226);
    ASSERT_TRUE(ftp.RetrieveFile("/sub/inner.bin", false));
    EXPECT_EQ(ftp.DataStream().DataString(), test::TestBody(3000, 5)) << "the second transfer replaces the first";
    EXPECT_TRUE(ftp.Logout());
  }
}

TEST_F(FtpPeers, RefusedFileAndRefusedLogin) {
  for (FtpPeer* peer : {static_cast<FtpPeer*>(vsftpd.get()), static_cast<FtpPeer*>(pure.get())}) {
    TFTPSend ftp;
    Aim(ftp, *peer);
    ASSERT_TRUE(ftp.Login());
    EXPECT_FALSE(ftp.RetrieveFile("/missing.bin", false));
    EXPECT_EQ(ftp.ResultCode(), 550);
    EXPECT_EQ(ftp.FileSize("/missing.bin"), -1);
    EXPECT_TRUE(ftp.NoOp()) << "the session goes on";

    TFTPSend wrong;
    Aim(wrong, *peer);
    wrong.Password = "not-the-password";
    wrong.Timeout = 30000;  // both servers hold a refused login back on purpose; a loaded machine adds to it
    EXPECT_FALSE(wrong.Login());
    EXPECT_EQ(wrong.ResultCode(), 530);
  }
}

TEST_F(FtpPeers, ExtendedPassiveAndActiveOverIPv6) {
  test::VsftpdPeer v6(true);
  ASSERT_TRUE(v6.ok) << v6.error;
  v6.Serve("small.txt", kSmall);
  for (const bool passive : {true, false}) {
    TFTPSend ftp;
    Aim(ftp, v6, true, "::1");
    ftp.PassiveMode = passive;
    ASSERT_TRUE(ftp.Login()) << ftp.ResultString();
    EXPECT_TRUE(ftp.Sock()->IP6used);
    ASSERT_TRUE(ftp.RetrieveFile("/small.txt", false)) << ftp.ResultString();
    EXPECT_EQ(ftp.DataStream().DataString(), kSmall);
    ftp.Logout();
  }
  const std::string log = v6.Log();
  EXPECT_NE(log.find("\"EPSV 2\""), std::string::npos);
  EXPECT_NE(log.find("\"EPRT |2|::1|"), std::string::npos);
  EXPECT_EQ(log.find("\"PASV\""), std::string::npos);
}

TEST_F(FtpPeers, RetrieveStraightToAFileAndResumeIt) {
  const std::string whole = test::TestBody(5 * 1024 * 1024 + 77, 9);
  test::TempFolder local("ftp");
  for (FtpPeer* peer : {static_cast<FtpPeer*>(vsftpd.get()), static_cast<FtpPeer*>(pure.get())}) {
    const std::string target = local.WindowsFile("medium.bin");
    test::WriteFile(local.File("medium.bin"), whole.substr(0, 1000));
    TFTPSend ftp;
    Aim(ftp, *peer);
    ftp.DirectFile = true;
    ftp.DirectFileName = target;
    ASSERT_TRUE(ftp.Login());
    ASSERT_TRUE(ftp.RetrieveFile("/medium.bin", true)) << ftp.ResultString();
    EXPECT_EQ(test::ReadFile(local.File("medium.bin")), whole);
    EXPECT_EQ(ftp.DataStream().Size(), 0) << "nothing went through memory";
    ASSERT_TRUE(ftp.RetrieveFile("/medium.bin", false));
    EXPECT_EQ(test::ReadFile(local.File("medium.bin")), whole) << "without resume the file is replaced";
  }
  EXPECT_NE(vsftpd->Log().find("\"REST 1000\""), std::string::npos);
}

TEST_F(FtpPeers, ListingsParseFromBothServers) {
  for (FtpPeer* peer : {static_cast<FtpPeer*>(vsftpd.get()), static_cast<FtpPeer*>(pure.get())}) {
    TFTPSend ftp;
    Aim(ftp, *peer);
    ASSERT_TRUE(ftp.Login());
    ASSERT_TRUE(ftp.List("/", false)) << ftp.ResultString();
    const TFTPList& list = ftp.FtpList();
    bool small = false, sub = false, medium = false;
    for (int i = 0; i < list.Count(); ++i) {
      const TFTPListRec& r = list[i];
      if (r.FileName == "small.txt") small = !r.Directory && r.FileSize == static_cast<int64_t>(kSmall.size());
      if (r.FileName == "sub") sub = r.Directory;
      if (r.FileName == "medium.bin") medium = r.FileSize == 5 * 1024 * 1024 + 77 && r.Readable;
    }
    EXPECT_TRUE(small && sub && medium) << ftp.DataStream().DataString();
    EXPECT_EQ(list.UnparsedLines.Count(), 0) << list.UnparsedLines.Text();
    ASSERT_TRUE(ftp.List("/sub", true));
    EXPECT_NE(ftp.DataStream().DataString().find("inner.bin"), std::string::npos);
    EXPECT_EQ(ftp.FtpList().Count(), 0) << "a name list is not parsed";
  }
}

TEST_F(FtpPeers, MultiLineRepliesFromARealServer) {
  TFTPSend ftp;
  Aim(ftp, *pure);
  int multi = 0;
  ftp.OnStatus = [&](TFTPSend*, bool response, const std::string& v) {
    if (response && v.size() > 3 && v[3] == '-') ++multi;
  };
  ASSERT_TRUE(ftp.Login());
  EXPECT_GT(multi, 0) << "pure-ftpd greets with a multi-line reply";
  ASSERT_TRUE(ftp.List("/", false));
  EXPECT_GT(ftp.FullResult().Count(), 1);
  EXPECT_EQ(ftp.ResultCode(), 226);
}

TEST_F(FtpPeers, AbortMidTransferLeavesTheSessionUsable) {
  vsftpd->Serve("abort.bin", test::TestBody(64 * 1024 * 1024, 3));
  for (const bool telnet : {false, true}) {
    TFTPSend ftp;
    Aim(ftp, *vsftpd);
    ASSERT_TRUE(ftp.Login());
    int64_t received = 0;
    bool aborted = false;
    ftp.DSock()->OnMonitor = [&](TBlockSocket*, bool writing, const void*, int32_t len) {
      if (writing) return;
      received += len;
      if (!aborted && received > 1024 * 1024) {
        aborted = true;
        if (telnet)
          ftp.TelnetAbort();
        else
          ftp.Abort();
      }
    };
    EXPECT_FALSE(ftp.RetrieveFile("/abort.bin", false));
    EXPECT_TRUE(aborted);
    EXPECT_LT(received, 64 * 1024 * 1024);
    ftp.DSock()->OnMonitor = nullptr;
    EXPECT_TRUE(ftp.NoOp()) << ftp.ResultString();
    EXPECT_EQ(ftp.FileSize("/small.txt"), static_cast<int64_t>(kSmall.size())) << "replies are in step again";
  }
  platform::DeleteFile(vsftpd->Root() + "/abort.bin");
}

TEST_F(FtpPeers, HundredMebibytesArriveIntact) {
  const std::string body = test::TestBody(100 * 1024 * 1024, 11);
  vsftpd->Serve("hundred.bin", body);
  test::TempFolder local("ftp");
  TFTPSend ftp;
  Aim(ftp, *vsftpd);
  ftp.DirectFile = true;
  ftp.DirectFileName = local.WindowsFile("hundred.bin");
  ASSERT_TRUE(ftp.Login());
  EXPECT_EQ(ftp.FileSize("/hundred.bin"), static_cast<int64_t>(body.size()));
  ASSERT_TRUE(ftp.RetrieveFile("/hundred.bin", false)) << ftp.ResultString();
  const std::string got = test::ReadFile(local.File("hundred.bin"));
  EXPECT_EQ(got.size(), body.size());
  EXPECT_EQ(test::Checksum(got), test::Checksum(body));
  ::unlink((vsftpd->Root() + "/hundred.bin").c_str());
}

TEST_F(FtpPeers, UploadsRenamesAndFolders) {
  for (FtpPeer* peer : {static_cast<FtpPeer*>(vsftpd.get()), static_cast<FtpPeer*>(pure.get())}) {
    TFTPSend ftp;
    Aim(ftp, *peer);
    ASSERT_TRUE(ftp.Login());
    EXPECT_TRUE(ftp.CreateDir("/incoming/up"));
    EXPECT_TRUE(ftp.ChangeWorkingDir("/incoming/up"));
    EXPECT_EQ(ftp.GetCurrentDir(), "/incoming/up");
    const std::string body = test::TestBody(200000, 4);
    ftp.DataStream().Clear();
    ftp.DataStream().Write(body.data(), 100000);
    ASSERT_TRUE(ftp.StoreFile("part.bin", false)) << ftp.ResultString();
    ftp.DataStream().Write(body.data() + 100000, 100000);
    ASSERT_TRUE(ftp.StoreFile("part.bin", true)) << "resumed upload: only the rest is sent";
    EXPECT_EQ(test::ReadFile(peer->Root() + "/incoming/up/part.bin"), body);
    EXPECT_TRUE(ftp.StoreFile("part.bin", true)) << "nothing left to send";
    ftp.DataStream().Clear();
    ftp.DataStream().Write("tail", 4);
    ASSERT_TRUE(ftp.AppendFile("part.bin"));
    EXPECT_EQ(test::ReadFile(peer->Root() + "/incoming/up/part.bin"), body + "tail");
    ftp.DataStream().Clear();
    ftp.DataStream().Write("unique", 6);
    EXPECT_TRUE(ftp.StoreUniqueFile()) << ftp.ResultString();
    EXPECT_TRUE(ftp.RenameFile("part.bin", "renamed.bin"));
    EXPECT_FALSE(ftp.RenameFile("part.bin", "again.bin"));
    EXPECT_TRUE(ftp.DeleteFile("renamed.bin"));
    ASSERT_TRUE(ftp.List("", true));
    rtl::TStringList listed;
    listed.SetText(ftp.DataStream().DataString());
    std::vector<std::string> names;
    for (int i = 0; i < listed.Count(); ++i)
      if (listed[i] != "." && listed[i] != "..") names.push_back(listed[i]);
    ASSERT_EQ(names.size(), 1u) << listed.Text();
    EXPECT_TRUE(ftp.DeleteFile(names[0])) << "the unique file";
    EXPECT_TRUE(ftp.ChangeToParentDir());
    EXPECT_TRUE(ftp.DeleteDir("/incoming/up"));
    EXPECT_TRUE(ftp.ChangeToRootDir());
  }
}

}  // namespace
}  // namespace qelvo::net
