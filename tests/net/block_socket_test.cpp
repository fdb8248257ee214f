// TBlockSocket against the scripted peer: line buffer, line ends, timeouts, errors,
// options, hooks, and the socket API between two of our own sockets.
#include <gtest/gtest.h>

#include <chrono>

#include "hook_log.h"
#include "net/tcp_socket.h"
#include "net/text_util.h"
#include "tests/support/script_server.h"

namespace qelvo::net {
namespace {

using namespace testing;
using namespace qelvo::test;

int64_t ElapsedMs(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

struct Connected {
  ScriptServer server;
  TTCPBlockSocket sock;
  explicit Connected(Script script, bool convertLineEnd = true) : server({std::move(script)}) {
    sock.ConvertLineEnd = convertLineEnd;
    sock.Connect("127.0.0.1", server.PortText());
  }
};

TEST(BlockSocket, LineBufferFeedsEveryKindOfRead) {
  Connected c({Send("line1\r\nline2\r\nABCDEF"), Pause(50), Send("tail"), Close()});
  ASSERT_EQ(c.sock.LastError, 0);
  EXPECT_EQ(c.sock.RecvString(2000), "line1");
  EXPECT_EQ(c.sock.RecvBufferStr(3, 2000), "lin");
  EXPECT_EQ(c.sock.RecvString(2000), "e2");
  EXPECT_EQ(c.sock.WaitingDataEx(), 6);
  EXPECT_EQ(c.sock.RecvPacket(2000), "ABCDEF");
  EXPECT_EQ(c.sock.RecvBufferStr(4, 2000), "tail");
  EXPECT_EQ(c.sock.RecvPacket(2000), "");
  EXPECT_EQ(c.sock.LastError, 10054);
}

TEST(BlockSocket, LineEndsInEveryFormAndSplitAcrossPackets) {
  Connected c({Send("a\r"), Pause(80), Send("\nb\r\n"), Send("c\nd\n\re\rf\r\n"), Close()});
  for (const char* want : {"a", "b", "c", "d", "e", "f"}) EXPECT_EQ(c.sock.RecvString(2000), want);

  // Without conversion only CR LF ends a line.
  Connected raw({Send("x\ny\r\n"), Close()}, false);
  EXPECT_EQ(raw.sock.RecvString(2000), "x\ny");
  EXPECT_EQ(raw.sock.RecvTerminated(2000, "|"), "");  // nothing left but the close
  EXPECT_EQ(raw.sock.LastError, 10054);
}

TEST(BlockSocket, TerminatorsAndPartialLinesSurviveErrors) {
  Connected c({Send("key=value;rest"), Pause(300), Send(";x"), Close()}, false);
  EXPECT_EQ(c.sock.RecvTerminated(2000, ";"), "key=value");
  EXPECT_EQ(c.sock.RecvTerminated(100, ";"), "");
  EXPECT_EQ(c.sock.LastError, 10060);
  // The bytes of the unfinished line were kept for the next read.
  EXPECT_EQ(c.sock.RecvTerminated(2000, ";"), "rest");
}

TEST(BlockSocket, PeerCloseGives10054WithItsHook) {
  Connected c({Send("abcdef"), Close()});
  HookLog log;
  log.Attach(c.sock);
  EXPECT_EQ(c.sock.RecvBufferStr(10, 2000), "");
  EXPECT_EQ(c.sock.LastError, 10054);
  EXPECT_EQ(c.sock.LastErrorDesc, "Connection reset by peer");
  EXPECT_TRUE(log.Contains("HR_Error 10054,Connection reset by peer"));
  EXPECT_EQ(c.sock.RecvString(2000), "");
  EXPECT_EQ(c.sock.LastError, 10054);
}

TEST(BlockSocket, TimeoutsLimitEachWaitOrTheWholeCall) {
  // A byte every 60 ms and the line end last: each wait is short, the whole call is not.
  Script trickle;
  for (int i = 0; i < 8; ++i) trickle.push_back(Send("x")), trickle.push_back(Pause(60));
  trickle.push_back(Send("\r\n"));
  trickle.push_back(Close());

  Connected perPacket(trickle);
  EXPECT_EQ(perPacket.sock.RecvString(250), "xxxxxxxx");
  EXPECT_EQ(perPacket.sock.LastError, 0);

  Connected whole(trickle);
  whole.sock.InterPacketTimeout = false;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(whole.sock.RecvString(250), "");
  EXPECT_EQ(whole.sock.LastError, 10060);
  EXPECT_LT(ElapsedMs(t0), 450);

  Connected silent({Pause(500), Close()});
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(silent.sock.RecvPacket(150), "");
  EXPECT_EQ(silent.sock.LastError, 10060);
  EXPECT_EQ(silent.sock.LastErrorDesc, "Connection timed out");
  EXPECT_LT(ElapsedMs(t1), 450);
}

TEST(BlockSocket, MaxLineLengthLimitsTheLineNotThePacket) {
  Connected c({Send("short\r\n" + std::string(5000, 'x')), Close()});
  c.sock.MaxLineLength = 1000;
  EXPECT_EQ(c.sock.RecvString(2000), "short");
  EXPECT_EQ(c.sock.RecvString(2000), "");
  EXPECT_EQ(c.sock.LastError, 10055);
}

TEST(BlockSocket, DelayedOptionsApplyAtCreationUnlessAClosComesFirst) {
  ScriptServer server({{Pause(200), Close()}, {Pause(200), Close()}});
  TTCPBlockSocket s;
  s.SetSizeRecvBuffer(200000);
  EXPECT_EQ(s.DelayedOptionCount(), 1u);
  s.CloseSocket();
  EXPECT_EQ(s.DelayedOptionCount(), 0u);
  s.Connect("127.0.0.1", server.PortText());
  const int32_t untouched = s.SizeRecvBuffer();
  EXPECT_LT(untouched, 200000);
  s.CloseSocket();

  s.SetSizeRecvBuffer(200000);
  s.Connect("127.0.0.1", server.PortText());
  EXPECT_EQ(s.DelayedOptionCount(), 0u);
  EXPECT_GE(s.SizeRecvBuffer(), 200000);
  s.SetSizeRecvBuffer(300000);  // connected: at once
  EXPECT_GE(s.SizeRecvBuffer(), 300000);
}

TEST(BlockSocket, TrivialBindDoesNothing) {
  TTCPBlockSocket s;
  HookLog log;
  log.Attach(s);
  s.Bind("0.0.0.0", "0");
  EXPECT_EQ(s.Socket(), -1);
  EXPECT_TRUE(log.lines.empty());
  s.Bind("127.0.0.1", "0");
  EXPECT_NE(s.Socket(), -1);
  EXPECT_EQ(s.GetLocalSinIP(), "127.0.0.1");
  EXPECT_GT(s.GetLocalSinPort(), 0);
  ASSERT_EQ(log.lines.size(), 4u);
  EXPECT_EQ(log.lines[0], "HR_ResolvingBegin 127.0.0.1:0");
  EXPECT_EQ(log.lines[2], "HR_SocketCreate IPv4");
  EXPECT_EQ(log.lines[3], "HR_Bind 127.0.0.1:0");
}

TEST(BlockSocket, ConnectFailuresAndTheirHooks) {
  TTCPBlockSocket s;
  HookLog log;
  log.Attach(s);
  s.Connect("no-such-host.invalid", "80");
  EXPECT_EQ(s.LastError, 11001);
  EXPECT_EQ(s.Socket(), -1);
  const std::vector<std::string> want = {"HR_ResolvingBegin no-such-host.invalid:80", "HR_ResolvingEnd :0",
                                         "HR_Error 11001,Host not found", "HR_Connect no-such-host.invalid:80"};
  EXPECT_EQ(log.lines, want);

  log.lines.clear();
  const RefusingPort refusing;
  const std::string port = refusing.PortText();
  s.Connect("127.0.0.1", port);
  EXPECT_EQ(s.LastError, 10061);
  EXPECT_EQ(s.LastErrorDesc, "Connection refused");
  EXPECT_EQ(log.lines.back(), "HR_Connect 127.0.0.1:" + port);
  s.CloseSocket();

  // Refused through the timed (non-blocking) connect as well.
  s.ConnectionTimeout = 2000;
  s.Connect("127.0.0.1", port);
  EXPECT_EQ(s.LastError, 10061);
  s.CloseSocket();
}

TEST(BlockSocket, ConnectionTimeoutGives10060) {
  // A listener whose queue is full drops further connection attempts.
  TTCPBlockSocket listener;
  listener.Bind("127.0.0.1", "0");
  Sockets().listen(listener.Socket(), 0);
  const std::string port = std::to_string(listener.GetLocalSinPort());
  std::vector<std::unique_ptr<TTCPBlockSocket>> fillers;
  bool timedOut = false;
  for (int i = 0; i < 4 && !timedOut; ++i) {
    auto s = std::make_unique<TTCPBlockSocket>();
    s->ConnectionTimeout = 300;
    const auto t0 = std::chrono::steady_clock::now();
    s->Connect("127.0.0.1", port);
    if (s->LastError == 10060) {
      timedOut = true;
      EXPECT_LT(ElapsedMs(t0), 1500);
    }
    fillers.push_back(std::move(s));
  }
  EXPECT_TRUE(timedOut);
}

TEST(BlockSocket, StopFlagAbortsTheNextOperation) {
  Connected c({Send("data"), Pause(300), Close()});
  c.sock.StopFlag = true;
  EXPECT_EQ(c.sock.RecvPacket(1000), "");
  EXPECT_EQ(c.sock.LastError, 10053);
  EXPECT_EQ(c.sock.LastErrorDesc, "Software caused connection abort");
  EXPECT_FALSE(c.sock.StopFlag);
  EXPECT_EQ(c.sock.RecvPacket(1000), "data");
  c.sock.StopFlag = true;
  EXPECT_EQ(c.sock.SendBuffer("x", 1), 0);
  EXPECT_EQ(c.sock.LastError, 10053);
}

TEST(BlockSocket, MonitorFilterAndCountersSeeEveryBuffer) {
  Connected c({ReadBytes(5), Send("abc"), Close()});
  HookLog log;
  log.Attach(c.sock);
  std::string seenByMonitor;
  c.sock.OnMonitor = [&](TBlockSocket*, bool writing, const void* buf, int32_t len) {
    log.lines.push_back(std::string("monitor ") + (writing ? "write " : "read ") + std::to_string(len));
    if (!writing) seenByMonitor.append(static_cast<const char*>(buf), static_cast<size_t>(len));
  };
  c.sock.OnReadFilter = [](TBlockSocket*, ByteString& v) { v = "X" + v; };  // longer: cut to the count
  c.sock.SendBuffer("", 0);
  c.sock.SendString("hello");
  EXPECT_EQ(c.sock.RecvBufferStr(3, 2000), "Xab");
  EXPECT_EQ(seenByMonitor, "abc");
  EXPECT_EQ(c.sock.SendCounter, 5);
  EXPECT_EQ(c.sock.RecvCounter, 3);
  const std::vector<std::string> want = {"monitor write 0", "monitor write 5", "HR_WriteCount 5", "HR_ReadCount 3",
                                         "monitor read 3"};
  std::vector<std::string> got;
  for (const auto& l : log.lines)
    if (l != "HR_CanRead") got.push_back(l);
  EXPECT_EQ(got, want);
  EXPECT_EQ(c.server.Received(0), "hello");
}

TEST(BlockSocket, CloseFromMonitorHookFailsTheNextReceive) {
  Connected c({Send("first"), Pause(100), Send("second"), Close()});
  c.sock.OnMonitor = [&](TBlockSocket* s, bool writing, const void*, int32_t) {
    if (!writing) s->CloseSocket();
  };
  EXPECT_EQ(c.sock.RecvPacket(2000), "first");
  EXPECT_EQ(c.sock.RecvPacket(500), "");
  EXPECT_NE(c.sock.LastError, 0);
}

TEST(BlockSocket, CloseHalfClosesAndDrainsWaitingInput) {
  Connected c({Send("unread tail"), DrainToClose()});
  ASSERT_TRUE(c.sock.CanRead(2000));
  HookLog log;
  log.Attach(c.sock);
  c.sock.CloseSocket();
  const std::vector<std::string> want = {"HR_ReadCount 11", "monitor read 11", "HR_SocketClose"};
  EXPECT_EQ(log.lines, want);
  EXPECT_EQ(c.sock.LastError, 0);
  EXPECT_TRUE(c.server.WaitFinished(1));  // the peer saw our end of stream

  // Closing a closed socket still reports the close.
  log.lines.clear();
  c.sock.CloseSocket();
  EXPECT_EQ(log.lines, std::vector<std::string>{"HR_SocketClose"});
}

TEST(BlockSocket, HeartbeatAndThrottling) {
  Connected c({Pause(300), Send("late"), ReadBytes(40000), Close()});
  int beats = 0;
  c.sock.HeartbeatRate = 50;
  c.sock.OnHeartbeat = [&](TBlockSocket*) { ++beats; };
  EXPECT_EQ(c.sock.RecvPacket(2000), "late");
  EXPECT_GE(beats, 4);

  HookLog log;
  log.Attach(c.sock);
  c.sock.HeartbeatRate = 0;
  c.sock.SetMaxBandwidth(100000);
  c.sock.SendMaxChunk = 20000;
  const auto t0 = std::chrono::steady_clock::now();
  c.sock.SendString(std::string(40000, 'z'));
  EXPECT_GE(ElapsedMs(t0), 150);
  bool waited = false;
  for (const auto& l : log.lines) waited |= l.rfind("HR_Wait ", 0) == 0;
  EXPECT_TRUE(waited);
  EXPECT_EQ(c.server.Received(0).size(), 40000u);
}

TEST(BlockSocket, OwnSocketsTalkThroughEveryPrimitive) {
  TTCPBlockSocket listener;
  HookLog serverLog;
  serverLog.Attach(listener);
  listener.Bind("127.0.0.1", "0");
  listener.Listen();
  EXPECT_TRUE(serverLog.Contains("HR_Listen"));
  TTCPBlockSocket client;
  client.Connect("127.0.0.1", std::to_string(listener.GetLocalSinPort()));
  ASSERT_EQ(client.LastError, 0);
  ASSERT_TRUE(listener.CanRead(2000));
  TTCPBlockSocket peer;
  peer.SetSocket(listener.Accept());
  EXPECT_TRUE(serverLog.Contains("HR_Accept"));
  EXPECT_EQ(peer.GetRemoteSinPort(), client.GetLocalSinPort());
  EXPECT_EQ(peer.GetRemoteSinIP(), "127.0.0.1");

  client.SendInteger(-2);
  client.SendBlock("block");
  client.SendByte(0x7F);
  rtl::TMemoryStream m;
  WriteBytesToStream(m, std::string(70000, 'q'));
  m.SetPosition(0);
  client.SendStream(m);
  m.SetPosition(0);
  client.SendStreamBE(m);

  EXPECT_EQ(peer.RecvInteger(2000), -2);
  EXPECT_EQ(peer.RecvBlock(2000), "block");
  std::vector<TBlockSocket*> readable;
  EXPECT_TRUE(peer.GroupCanRead({&peer, &listener}, 1000, readable));
  ASSERT_EQ(readable.size(), 1u);
  EXPECT_EQ(readable[0], &peer);
  EXPECT_EQ(peer.PeekByte(2000), 0x7F);
  EXPECT_EQ(peer.RecvByte(2000), 0x7F);
  rtl::TMemoryStream got;
  peer.RecvStream(got, 2000);
  EXPECT_EQ(got.Size(), 70000);
  rtl::TMemoryStream gotBE;
  peer.RecvStreamBE(gotBE, 2000);
  EXPECT_EQ(gotBE.DataString(), std::string(70000, 'q'));
  EXPECT_EQ(peer.LastError, 0);

  // A block whose announced length the peer never delivers.
  client.SendInteger(0x7FFFFFF0);
  client.SendString("short");
  client.CloseSocket();
  EXPECT_EQ(peer.RecvBlock(2000), "");
  EXPECT_EQ(peer.LastError, 10054);
}

TEST(BlockSocket, IPv6Loopback) {
  ScriptServer server({{Send("six\r\n"), Close()}}, true);
  TTCPBlockSocket s;
  HookLog log;
  log.Attach(s);
  s.ConvertLineEnd = true;
  s.Connect("::1", server.PortText());
  ASSERT_EQ(s.LastError, 0);
  EXPECT_TRUE(s.IP6used);
  EXPECT_TRUE(log.Contains("HR_SocketCreate IPv6"));
  EXPECT_TRUE(log.Contains("HR_ResolvingEnd ::1:" + server.PortText()));
  EXPECT_EQ(s.GetRemoteSinIP(), "::1");
  EXPECT_EQ(s.RecvString(2000), "six");
}

TEST(BlockSocket, RaiseExceptThrowsSocketError) {
  TTCPBlockSocket s;
  s.RaiseExcept = true;
  const RefusingPort refusing;
  try {
    s.Connect("127.0.0.1", refusing.PortText());
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10061);
    EXPECT_EQ(e.ErrorMessage, "Connection refused");
    EXPECT_STREQ(e.what(), "TCP/IP Socket error 10061: Connection refused");
  }
}

}  // namespace
}  // namespace qelvo::net
