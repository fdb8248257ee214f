// The FTP client against scripted peers: reply reading, logon scripts (each firewall's
// dialogue), passive addresses and replies that never end.
#include <gtest/gtest.h>

#include "net/ftp_client.h"
#include "tests/support/script_server.h"

namespace qelvo::net {
namespace {

using test::Close;
using test::ReadLine;
using test::Script;
using test::ScriptServer;
using test::Send;

// A control connection: the greeting, then one reply per command line read.
Script Dialogue(const std::string& greeting, const std::vector<std::string>& replies) {
  Script s{Send(greeting)};
  for (const std::string& r : replies) {
    s.push_back(ReadLine());
    s.push_back(Send(r));
  }
  return s;
}

// Replies to what Login sends after the logon script.
const std::vector<std::string> kSetup = {"200 I\r\n", "200 F\r\n", "200 S\r\n", "350 r\r\n", "350 r\r\n", "350 r\r\n"};
const std::string kSetupCommands = "TYPE I\r\nSTRU F\r\nMODE S\r\nREST 0\r\nREST 1\r\nREST 0\r\n";

// The logon replies, the setup replies, then the replies of what the test does next.
std::vector<std::string> WithSetup(std::vector<std::string> logon, const std::vector<std::string>& after = {}) {
  logon.insert(logon.end(), kSetup.begin(), kSetup.end());
  logon.insert(logon.end(), after.begin(), after.end());
  return logon;
}

void Aim(TFTPSend& ftp, const ScriptServer& server) {
  ftp.TargetHost = "127.0.0.1";
  ftp.TargetPort = server.PortText();
  ftp.Timeout = 3000;
  ftp.UserName = "user";
  ftp.Password = "pass";
}

TEST(FtpWire, MultiLineRepliesAreReadWhole) {
  ScriptServer server({Dialogue("220-Welcome\r\n220-to the server\r\n220 ready\r\n",
                                WithSetup({"331 password\r\n",
                                           "230-Hello\r\n230-  more\r\n 230 not the end\r\n230ish\r\n230 done\r\n"}))});
  TFTPSend ftp;
  Aim(ftp, server);
  std::vector<std::string> seen;
  ftp.OnStatus = [&](TFTPSend*, bool response, const std::string& v) { seen.push_back((response ? "< " : "> ") + v); };
  ASSERT_TRUE(ftp.Login());
  EXPECT_TRUE(ftp.CanResume());
  EXPECT_EQ(ftp.ResultCode(), 350);
  EXPECT_EQ(server.Received(0), "USER user\r\nPASS pass\r\n" + kSetupCommands);
  ASSERT_GE(seen.size(), 10u);
  EXPECT_EQ(seen[0], "< 220-Welcome");
  EXPECT_EQ(seen[3], "> USER user");
  const std::vector<std::string> greetingToPass(seen.begin() + 5, seen.begin() + 11);
  EXPECT_EQ(greetingToPass, (std::vector<std::string>{"> PASS pass", "< 230-Hello", "< 230-  more", "<  230 not the end",
                                                      "< 230ish", "< 230 done"}));
}

TEST(FtpWire, ReplyCodesAndTheirTexts) {
  ScriptServer server({Dialogue("220 hi\r\n",
                                WithSetup({"331 p\r\n", "230 in\r\n"}, {"213 123456789012\r\n", "550 no such file\r\n",
                                           "213 12abc\r\n", "257 \"/home/q\" is current\r\n", "250-ok\r\n250 done\r\n"}))});
  TFTPSend ftp;
  Aim(ftp, server);
  ASSERT_TRUE(ftp.Login());
  EXPECT_EQ(ftp.FileSize("a"), 123456789012);
  EXPECT_EQ(ftp.FileSize("b"), -1);
  EXPECT_EQ(ftp.ResultCode(), 550);
  EXPECT_EQ(ftp.ResultString(), "550 no such file");
  EXPECT_EQ(ftp.FileSize("c"), -1) << "not a number";
  EXPECT_EQ(ftp.GetCurrentDir(), "/home/q");
  EXPECT_TRUE(ftp.ChangeWorkingDir("sub"));
  EXPECT_EQ(ftp.FullResult().Count(), 2);
}

TEST(FtpWire, CommandsCannotSmuggleLineBreaks) {
  ScriptServer server({Dialogue("220 hi\r\n", WithSetup({"331 p\r\n", "230 in\r\n"}, {"250 ok\r\n"}))});
  TFTPSend ftp;
  Aim(ftp, server);
  ASSERT_TRUE(ftp.Login());
  EXPECT_EQ(ftp.FileSize("a\r\nDELE precious"), -1);
  EXPECT_FALSE(ftp.DeleteFile("x\nRMD /"));
  EXPECT_EQ(ftp.ResultCode(), 0);
  EXPECT_TRUE(ftp.NoOp());
  ftp.Sock()->CloseSocket();
  const std::string received = server.Received(0);
  EXPECT_EQ(received.find("DELE"), std::string::npos);
  EXPECT_EQ(received.find("RMD"), std::string::npos);
  EXPECT_NE(received.find("NOOP\r\n"), std::string::npos);
}

TEST(FtpWire, EndlessOrHugeRepliesEndWithAClearFailure) {
  std::string endless = "220-hello\r\n";
  for (int i = 0; i < 3000; ++i) endless += "220-again and again\r\n";
  const std::string hugeLine = "220 " + std::string(200000, 'x');
  for (const std::string& greeting : {endless, hugeLine}) {
    ScriptServer server({{Send(greeting), test::Pause(200), Close()}});
    TFTPSend ftp;
    Aim(ftp, server);
    EXPECT_FALSE(ftp.Login());
    EXPECT_EQ(ftp.ResultCode(), 0);
    EXPECT_LE(ftp.FullResult().Count(), TFTPSend::cMaxReplyLines);
    EXPECT_EQ(ftp.Sock()->LastError, WSAENOBUFS);
  }
}

TEST(FtpWire, RefusedLoginAndSilentServer) {
  {
    ScriptServer server({Dialogue("220 hi\r\n", {"331 p\r\n", "530 Login incorrect.\r\n"})});
    TFTPSend ftp;
    Aim(ftp, server);
    EXPECT_FALSE(ftp.Login());
    EXPECT_EQ(ftp.ResultCode(), 530);
  }
  {
    ScriptServer server({{test::Pause(1500), Close()}});
    TFTPSend ftp;
    Aim(ftp, server);
    ftp.Timeout = 300;
    EXPECT_FALSE(ftp.Login());
    EXPECT_EQ(ftp.ResultCode(), 0);
    EXPECT_EQ(ftp.Sock()->LastError, WSAETIMEDOUT);
  }
  {
    ScriptServer server({Dialogue("421 Too many users\r\n", {})});
    TFTPSend ftp;
    Aim(ftp, server);
    EXPECT_FALSE(ftp.Login());
    EXPECT_EQ(ftp.ResultCode(), 421);
  }
}

// Each firewall scheme's dialogue, as a firewall that speaks it answers.
struct LogonCase {
  int mode;
  std::vector<std::string> commands;  // what the client must send, in order
  std::vector<std::string> replies;
  bool ok;
};

TEST(FtpWire, FirewallLogonSchemes) {
  const std::string host = "ftp.example.com:2121";
  const std::vector<LogonCase> cases = {
      {0, {"USER user", "PASS pass", "ACCT acct"}, {"331 p", "332 account", "230 in"}, true},
      {0, {"USER user"}, {"230 no password needed"}, true},
      {1, {"USER fw", "PASS fwp", "SITE " + host, "USER user", "PASS pass"},
       {"331 p", "230 fw ok", "331 site ok", "331 p", "230 in"}, true},
      {1, {"USER fw", "PASS fwp", "SITE " + host}, {"331 p", "230 fw ok", "200 but 2xx means failure here"}, false},
      {2, {"USER fw", "PASS fwp", "USER user@" + host, "PASS pass"}, {"331 p", "230 fw", "331 p", "230 in"}, true},
      {3, {"USER fw", "PASS fwp", "USER user", "PASS pass"}, {"331 p", "230 fw", "331 p", "230 in"}, true},
      {4, {"OPEN " + host, "USER user", "PASS pass"}, {"220 connected", "331 p", "230 in"}, true},
      {5, {"USER user@" + host, "PASS pass"}, {"331 p", "230 in"}, true},
      {6, {"USER fw@" + host, "PASS fwp", "USER user", "PASS pass"}, {"331 p", "230 fw", "331 p", "230 in"}, true},
      {7, {"USER user@" + host + " fw", "PASS pass"}, {"331 p", "230 in"}, true},
      {7, {"USER user@" + host + " fw"}, {"230 2xx is refused by this scheme"}, false},
      {8, {"USER user@fw@" + host, "PASS pass@fwp"}, {"331 p", "230 in"}, true},
      {3, {"USER fw", "PASS fwp"}, {"331 p", "530 no"}, false},
      {9, {"USER user", "PASS pass"}, {"331 p", "230 in"}, true},  // unknown modes log in plainly
  };
  for (const LogonCase& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + ", first command " + c.commands[0]);
    std::vector<std::string> replies;
    for (const std::string& r : c.replies) replies.push_back(r + "\r\n");
    if (c.ok) replies.insert(replies.end(), kSetup.begin(), kSetup.end());
    ScriptServer server({Dialogue("220 firewall\r\n", replies)});
    TFTPSend ftp;
    ftp.TargetHost = "ftp.example.com";
    ftp.TargetPort = "2121";
    ftp.FWHost = "127.0.0.1";
    ftp.FWPort = server.PortText();
    ftp.FWMode = c.mode;
    ftp.FWUsername = "fw";
    ftp.FWPassword = "fwp";
    ftp.UserName = "user";
    ftp.Password = "pass";
    ftp.Account = "acct";
    ftp.Timeout = 3000;
    EXPECT_EQ(ftp.Login(), c.ok);
    ftp.Sock()->CloseSocket();
    std::string expected;
    for (const std::string& cmd : c.commands) expected += cmd + "\r\n";
    if (c.ok) expected += kSetupCommands;
    EXPECT_EQ(server.Received(0), expected);
  }
}

TEST(FtpWire, FirewallHostLeavesOutTheDefaultPort) {
  TFTPSend ftp;
  ftp.TargetHost = "files.example.com";
  ftp.TargetPort = "21";
  ftp.UserName = "u";
  EXPECT_EQ(ftp.LogonCommandText(5), "SITE files.example.com");
  EXPECT_EQ(ftp.LogonCommandText(6), "USER u@files.example.com");
  EXPECT_EQ(ftp.LogonCommandText(12), "");
}

TEST(FtpWire, CustomLogonTablesIncludingOneThatLoops) {
  {
    // USER, then PASS on 3xx; PASS must get a 2xx.
    ScriptServer server({Dialogue("220 hi\r\n", WithSetup({"331 p\r\n", "230 in\r\n"}))});
    TFTPSend ftp;
    Aim(ftp, server);
    ftp.FWHost = "127.0.0.1";
    ftp.FWPort = server.PortText();
    ftp.FWMode = -1;
    ftp.CustomLogon = {0, 255, 3, 1, 255, 254};
    EXPECT_TRUE(ftp.Login());
  }
  {
    std::vector<std::string> replies(64, "230 again\r\n");
    ScriptServer server({Dialogue("220 hi\r\n", replies)});
    TFTPSend ftp;
    Aim(ftp, server);
    ftp.FWHost = "127.0.0.1";
    ftp.FWPort = server.PortText();
    ftp.FWMode = -1;
    ftp.CustomLogon = {0, 0, 0};  // USER forever
    EXPECT_FALSE(ftp.Login());
  }
  {
    ScriptServer server({Dialogue("220 hi\r\n", {"230 in\r\n"})});
    TFTPSend ftp;
    Aim(ftp, server);
    ftp.FWHost = "127.0.0.1";
    ftp.FWPort = server.PortText();
    ftp.FWMode = -1;
    ftp.CustomLogon = {0, 4, 4};  // a next step that is no step
    EXPECT_FALSE(ftp.Login());
  }
}

TEST(FtpWire, PassiveAndExtendedPassiveReplies) {
  struct {
    const char* reply;
    const char* ip;
    const char* port;
  } const cases[] = {
      {"227 Entering Passive Mode (192,0,2,10,31,64)", "192.0.2.10", "8000"},
      {"227 Entering Passive Mode (192,0,2,10,31,64).", "192.0.2.10", "8000"},
      {"227 =192,0,2,10,0,21", "192.0.2.10", "21"},
      {"227 Entering Passive Mode (192,0,2,10,256,1)", "", ""},
      {"227 Entering Passive Mode (192,0,2,10)", "", ""},
      {"227 nothing here", "", ""},
  };
  TFTPSend ftp;
  for (const auto& c : cases) {
    ftp.ParseRemote(c.reply);
    EXPECT_EQ(ftp.DataIP(), c.ip) << c.reply;
    EXPECT_EQ(ftp.DataPort(), c.port) << c.reply;
  }
  ftp.TargetHost = "ftp.example.com";
  ftp.ParseRemoteEPSV("229 Entering Extended Passive Mode (|||6446|)");
  EXPECT_EQ(ftp.DataPort(), "6446");
  EXPECT_EQ(ftp.DataIP(), "ftp.example.com");
  ftp.ParseRemoteEPSV("229 no parentheses");
  EXPECT_EQ(ftp.DataPort(), "");
}

// The PASV reply names another host; the data connection still goes to the control
// connection's peer unless the caller trusts the reply.
TEST(FtpWire, PassiveDataGoesToTheControlPeer) {
  for (const bool trust : {false, true}) {
    SCOPED_TRACE(trust ? "trusting the reply" : "default");
    ScriptServer data({{Send("file contents"), Close()}});
    const int p = data.Port();
    const std::string pasv =
        "227 Entering Passive Mode (127,0,0,2," + std::to_string(p / 256) + "," + std::to_string(p % 256) + ")\r\n";
    std::vector<std::string> replies = WithSetup({"331 p\r\n", "230 in\r\n"}, {pasv, "200 I\r\n"});
    if (!trust) replies.push_back("150 here it comes\r\n226 done\r\n");
    ScriptServer server({Dialogue("220 hi\r\n", replies)});
    TFTPSend ftp;
    Aim(ftp, server);
    ftp.TrustPasvAddress = trust;
    ASSERT_TRUE(ftp.Login());
    EXPECT_EQ(ftp.RetrieveFile("f", false), !trust);
    EXPECT_EQ(ftp.DataIP(), "127.0.0.2");
    if (!trust) {
      EXPECT_EQ(ftp.DataStream().DataString(), "file contents");
      EXPECT_EQ(ftp.ResultCode(), 226);
    }
  }
}

}  // namespace
}  // namespace qelvo::net
