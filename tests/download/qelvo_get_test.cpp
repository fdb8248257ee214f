// qelvo-get's exit status on the cases its users meet.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "download/http_validator.h"

#include "tests/download/test_servers.h"
#include "tests/support/environment.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"

namespace qelvo::download::test {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr
  int stopMs = -1;     // from the signal to the program's exit, when one was sent
};

// How a run is disturbed: a signal sent once a shell condition shows the run has reached
// the point under test (a request seen, bytes received), and shell lines run before
// qelvo-get starts (limits and the like).
struct RunOptions {
  const char* signal = nullptr;  // "INT", "TERM"
  std::string signalWhen;
  std::string shellSetup;
};

std::string OutputFile(const TempFolder& scratch) { return scratch.File("qelvo-get.out"); }
std::string FileHasBytes(const std::string& path) { return "[ -s " + ShellQuote(ShellPath(path)) + " ]"; }
// The progress line of a run that has received some of the file's bytes.
std::string ProgressShowsBytesOf(const TempFolder& scratch, int size) {
  return "grep -qE " + ShellQuote("[1-9][0-9]* / " + std::to_string(size) + " bytes") + " " +
         ShellQuote(ShellPath(OutputFile(scratch)));
}

// Runs qelvo-get with a bounded wait, through the shell so that the Windows build runs
// its program the same way. A signal waits for its condition, not for a time: on a loaded
// machine the program may take a second just to start.
RunResult RunGet(const std::vector<std::string>& args, const TempFolder& scratch, const RunOptions& options = {}) {
  const std::string outFile = OutputFile(scratch);
  const std::string stopFile = scratch.File("stop-ms");
  std::string run = options.signal ? "timeout -k 5 --preserve-status 60 " : "timeout -k 5 60 ";
  run += ShellQuote(QELVO_GET_PATH);
  for (const std::string& a : args) run += " " + ShellQuote(a);
  run += " >" + ShellQuote(ShellPath(outFile)) + " 2>&1";
  // The last run's output must not satisfy this run's condition.
  std::string command = "rm -f " + ShellQuote(ShellPath(outFile)) + "; " + options.shellSetup;
  if (options.signal)
    command += "(" + run + " & p=$!; i=0; while [ $i -lt 400 ] && ! " + options.signalWhen +
               "; do sleep 0.05; i=$((i+1)); done; s=$(date +%s%N); kill -s " + options.signal +
               " $p; wait $p; rc=$?; echo $((($(date +%s%N) - s) / 1000000)) >" + ShellQuote(ShellPath(stopFile)) +
               "; exit $rc)";
  else
    command += run;
  RunResult r;
  for (int attempt = 0; attempt < 2; ++attempt) {
    r.exitCode = ShellStatus(command);
    r.output = r.exitCode == 124 && !options.signal ? "timed out" : ReadFile(outFile);
    if (!WineLostTheRun(r.exitCode, r.output)) break;
  }
  if (options.signal) r.stopMs = std::atoi(ReadFile(stopFile).c_str());
  return r;
}

class QelvoGet : public ::testing::Test {
 protected:
  NginxServer& Nginx() { return StartedNginx(); }
  TempFolder dest;
  TempFolder scratch;
};

TEST_F(QelvoGet, ExitStatusTellsWhetherTheFileWasFinished) {
  NginxServer& n = Nginx();
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    const char* saysWhy;
  };
  const std::string d = dest.Native();
  const RefusingPort refusing;
  ScriptServer loop([](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(302, {"Location: /again", "Content-Length: 0"}));
  });
  const Case cases[] = {
      {"finished", {"-q", "-d", d, n.Url("/files/a.bin")}, 0, ""},
      {"finished under another name", {"-d", d, "-o", "other.bin", n.Url("/files/small.bin")}, 0, "other.bin"},
      {"name from the server", {"-q", "-d", d, n.Url("/named/")}, 0, ""},
      {"redirected", {"-q", "-d", d, "-o", "r.bin", n.Url("/redirect")}, 0, ""},
      {"404", {"-d", d, n.Url("/files/nope.bin")}, 1, "HTTP status 404"},
      {"500", {"-d", d, n.Url("/fail500")}, 1, "HTTP status 500"},
      {"refused", {"-d", d, "http://127.0.0.1:" + refusing.PortText() + "/x.bin"}, 1,
       "socket error 10061"},
      {"redirect loop", {"-d", d, "-o", "loop.bin", loop.Url("/again")}, 1, "more than 10 redirects"},
      {"no URL", {"-d", d}, 2, "no URL"},
      {"unknown option", {"--frobnicate", n.Url("/files/a.bin")}, 2, "unknown option"},
      {"bad timeout", {"--timeout", "soon", n.Url("/files/a.bin")}, 2, "--timeout"},
      {"missing folder", {"-d", d + "/no/such/folder", n.Url("/files/a.bin")}, 2, "not a folder"},
      {"no file name anywhere", {"-d", d, n.Url("/")}, 2, "Favor informar o nome do arquivo"},
      {"ftp server unreachable", {"-d", d, "ftp://127.0.0.1:" + refusing.PortText() + "/pub/x.bin"}, 1,
       "socket error 10061"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult r = RunGet(c.args, scratch);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.saysWhy), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadFile(dest.File("a.bin")), n.Content("a.bin"));
  EXPECT_EQ(ReadFile(dest.File("other.bin")), n.Content("small.bin"));
  EXPECT_EQ(ReadFile(dest.File("served name.bin")), n.Content("named-source.bin"));
  // A download that got no byte of the file leaves no empty part file and says nothing
  // is kept.
  EXPECT_FALSE(NativeExists(dest.File("nope.bin.part")));
  const RunResult r = RunGet({"-d", dest.Native(), n.Url("/files/nope.bin")}, scratch);
  EXPECT_EQ(r.output.find("kept for a later run"), std::string::npos) << r.output;
}

// A cut transfer exits 1 and keeps its part file; the next run resumes and finishes.
TEST_F(QelvoGet, CutTransferIsFinishedByTheNextRun) {
  NginxServer& n = Nginx();
  const std::string& content = n.Content("a.bin");
  const std::string modified = "Last-Modified: " + HttpDateOfFile(n.ServedPath("a.bin"));
  ScriptServer cut([&](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: " + std::to_string(content.size()), modified}) +
           content.substr(0, 400000));
  });
  RunResult r = RunGet({"-q", "-d", dest.Native(), "-o", "a.bin", cut.Url("/files/a.bin")}, scratch);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  // An orderly early close in the user's terms, not as a connection reset.
  EXPECT_NE(r.output.find("the server closed the connection after 400000 of " + std::to_string(content.size()) +
                          " bytes"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("kept for a later run"), std::string::npos) << r.output;
  ASSERT_TRUE(NativeExists(dest.File("a.bin.part")));
  EXPECT_FALSE(NativeExists(dest.File("a.bin")));
  r = RunGet({"-d", dest.Native(), n.Url("/files/a.bin")}, scratch);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(n.LastStatus("/files/a.bin"), 206);
  EXPECT_EQ(ReadFile(dest.File("a.bin")), content);
  EXPECT_FALSE(NativeExists(dest.File("a.bin.part")));
  // The last progress line shows the whole file.
  EXPECT_NE(r.output.find(" 100%"), std::string::npos) << r.output;
}

// Ctrl-C and SIGTERM stop a silent wait within a second; --max-time bounds a server that
// trickles. Both exit 1 with the reason and keep what arrived.
TEST_F(QelvoGet, SignalsAndMaxTimeStopTheTransfer) {
  // One server per case: a held or trickling connection holds its server's thread.
  auto silentAfterMarking = [](const std::string& mark) {
    return [mark](ScriptConnection& c, const std::string&, int) {
      WriteFile(mark, "asked");
      c.Hold(20000);
    };
  };
  const std::string askedInt = scratch.File("asked-int"), askedTerm = scratch.File("asked-term");
  ScriptServer silent(silentAfterMarking(askedInt)), silent2(silentAfterMarking(askedTerm));
  auto trickling = [](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: 1000"}));
    c.SendSlowly(std::string(1000, 't'), 1, 200);
  };
  ScriptServer trickle(trickling), trickle2(trickling);
  struct Case {
    const char* what;
    std::vector<std::string> args;
    RunOptions options;
    const char* saysWhy;
    bool keepsBytes;
  };
  const Case cases[] = {
      {"SIGINT during a silent wait", {"-d", dest.Native(), "--timeout", "30000", silent.Url("/s.bin")},
       {"INT", FileHasBytes(askedInt), ""}, "interrupted", false},
      {"SIGTERM during a silent wait", {"-d", dest.Native(), "--timeout", "30000", silent2.Url("/s.bin")},
       {"TERM", FileHasBytes(askedTerm), ""}, "interrupted", false},
      {"SIGINT while a server trickles", {"-d", dest.Native(), trickle.Url("/t.bin")},
       {"INT", ProgressShowsBytesOf(scratch, 1000), ""}, "interrupted", true},
      {"--max-time while a server trickles", {"-d", dest.Native(), "--max-time", "1", trickle2.Url("/m.bin")}, {},
       "--max-time of 1 s reached", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
#ifdef _WIN32
    // A Windows console program has no termination request to answer: under Wine, SIGTERM
    // ends the process outright, with no console event (Ctrl-C comes through the console
    // handler).
    if (c.options.signal && std::string(c.options.signal) == "TERM") {
      std::printf("case skipped: %s: Wine ends a Windows program on SIGTERM without any event\n", c.what);
      continue;
    }
#endif
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunGet(c.args, scratch, c.options);
    if (c.options.signal)
      EXPECT_LT(r.stopMs, 1500) << r.output;
    else
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find(c.saysWhy), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("kept for a later run") != std::string::npos, c.keepsBytes) << r.output;
  }
  EXPECT_GT(ReadFile(dest.File("t.bin.part")).size(), 0u);
  EXPECT_GT(ReadFile(dest.File("m.bin.part")).size(), 0u);
  EXPECT_FALSE(NativeExists(dest.File("s.bin.part")));
}

// A file that cannot grow (a full disk, here a file size limit) fails the download with
// the OS's reason and the part file's path, and keeps what was written.
TEST_F(QelvoGet, FullDiskKeepsThePartFileAndSaysWhy) {
  constexpr size_t kLimit = 200 * 512;
  const std::string body = RandomBytes(300000, 3);
  ScriptServer server([&](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: " + std::to_string(body.size())}) + body);
  });
  RunOptions limited;
  limited.shellSetup = "trap '' XFSZ; ulimit -f 200; ";  // 200 blocks of 512 bytes
  const RunResult r = RunGet({"-q", "-d", dest.Native(), server.Url("/full.bin")}, scratch, limited);
  EXPECT_EQ(r.exitCode, 2) << r.output;
#ifdef _WIN32
  // Wine reports the Linux file-size limit as a general failure of its own wording.
  EXPECT_NE(r.output.find("Cannot write"), std::string::npos) << r.output;
#else
  EXPECT_NE(r.output.find("File too large"), std::string::npos) << r.output;
#endif
  EXPECT_NE(r.output.find("full.bin.part"), std::string::npos) << r.output;
  EXPECT_EQ(ReadFile(dest.File("full.bin.part")), body.substr(0, kLimit));
  EXPECT_FALSE(NativeExists(dest.File("full.bin")));
}

TEST_F(QelvoGet, TimeoutAndProxyOptionsReachTheDownload) {
  ScriptServer proxy([](ScriptConnection& c, const std::string& request, int) {
    if (request.rfind("GET http://pkg.invalid:8997/p.bin HTTP/1.0\r\n", 0) == 0 &&
        request.find("\r\nProxy-Authorization: Basic dTpw\r\n") != std::string::npos)
      c.Send(HttpHead(200, {"Content-Length: 2"}) + "ok");
    else
      c.Hold(5000);
  });
  const std::string p = "127.0.0.1:" + std::to_string(proxy.Port());
  RunResult r = RunGet({"-q", "-d", dest.Native(), "--proxy", p, "--proxy-user", "u", "--proxy-pass", "p",
                        "http://pkg.invalid:8997/p.bin"},
                       scratch);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ReadFile(dest.File("p.bin")), "ok");
  // Without credentials the peer stays silent: the timeout ends the wait.
  r = RunGet({"-q", "-d", dest.Native(), "--timeout", "300", "--proxy", p, "http://pkg.invalid:8997/q.bin"}, scratch);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("10060"), std::string::npos) << r.output;
}


#ifdef QELVO_WITHOUT_TLS
// A build without a TLS layer fails https:// with the inert layer's error.
TEST_F(QelvoGet, HttpsWithoutATlsLayerSaysSo) {
  ScriptServer server([](ScriptConnection& c, const std::string&, int) { c.Hold(5000); });
  const RunResult r =
      RunGet({"-d", dest.Native(), "--timeout", "5000", "https://127.0.0.1:" + server.PortText() + "/s.bin"}, scratch);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("SSL/TLS support is not compiled!"), std::string::npos) << r.output;
}
#endif

// ftp:// URLs: credentials from the URL or the options, passive or active, resumed part
// files, and the exit status of refusals.
TEST_F(QelvoGet, FtpDownloads) {
  VsftpdPeer ftp;
  ASSERT_TRUE(ftp.ok) << ftp.error;
  const std::string body = ::qelvo::test::TestBody(2 * 1024 * 1024 + 3, 4);
  ftp.Serve("pub/f.bin", body);
  const std::string d = dest.Native();
  const std::string hostPort = "127.0.0.1:" + std::to_string(ftp.port);
  const std::string userUrl = "ftp://" + std::string(kFtpUser) + ":" + kFtpPass + "@" + hostPort + "/pub/f.bin";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    const char* saysWhy;
  };
  const Case cases[] = {
      {"user in the URL", {"-q", "-d", d, "-o", "a.bin", userUrl}, 0, ""},
      {"user from the options, active", {"-q", "-d", d, "-o", "b.bin", "--ftp-active", "--ftp-user", kFtpUser,
                                         "--ftp-pass", kFtpPass, "ftp://" + hostPort + "/pub/f.bin"}, 0, ""},
      {"anonymous", {"-d", d, "-o", "c.bin", "ftp://" + hostPort + "/pub/f.bin"}, 0, "c.bin"},
      {"missing file", {"-d", d, "ftp://" + hostPort + "/pub/none.bin"}, 1, "FTP reply 550"},
      {"wrong password", {"-d", d, "--ftp-user", kFtpUser, "--ftp-pass", "wrong", "ftp://" + hostPort + "/pub/f.bin"},
       1, "FTP reply 530"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult r = RunGet(c.args, scratch);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.saysWhy), std::string::npos) << r.output;
  }
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) EXPECT_EQ(ReadFile(dest.File(name)), body) << name;
  EXPECT_NE(ftp.Log().find("\"PORT 127,0,0,1,"), std::string::npos);

  WriteFile(dest.File("f.bin.part"), body.substr(0, 777777));
  const RunResult r = RunGet({"-q", "-d", d, userUrl}, scratch);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ReadFile(dest.File("f.bin")), body);
  EXPECT_NE(ftp.Log().find("\"REST 777777\""), std::string::npos);
}

}  // namespace
}  // namespace qelvo::download::test
