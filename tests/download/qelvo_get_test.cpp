// qelvo-get's exit status on the cases its users meet.
#include <gtest/gtest.h>

#include "tests/download/test_servers.h"

namespace qelvo::download::test {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr
};

// Runs qelvo-get with a bounded wait, through the shell so that the Windows build runs
// its program the same way.
RunResult RunGet(const std::vector<std::string>& args, const TempFolder& scratch) {
  const std::string outFile = scratch.File("qelvo-get.out");
  std::string command = "timeout -k 5 60 " + ShellQuote(QELVO_GET_PATH);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  RunResult r;
  r.exitCode = ShellStatus(command + " >" + ShellQuote(outFile) + " 2>&1");
  r.output = r.exitCode == 124 ? "timed out" : ReadFile(outFile);
  return r;
}

class QelvoGet : public ::testing::Test {
 protected:
  NginxServer& Nginx() {
    NginxServer& n = NginxServer::Get();
    std::string error;
    if (!n.Start(error)) ADD_FAILURE() << error;
    return n;
  }
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
      {"refused", {"-d", d, "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x.bin"}, 1,
       "socket error 10061"},
      {"redirect loop", {"-d", d, "-o", "loop.bin", loop.Url("/again")}, 1, "more than 10 redirects"},
      {"no URL", {"-d", d}, 2, "no URL"},
      {"unknown option", {"--frobnicate", n.Url("/files/a.bin")}, 2, "unknown option"},
      {"bad timeout", {"--timeout", "soon", n.Url("/files/a.bin")}, 2, "--timeout"},
      {"missing folder", {"-d", d + "/no/such/folder", n.Url("/files/a.bin")}, 2, "not a folder"},
      {"no file name anywhere", {"-d", d, n.Url("/")}, 2, "Favor informar o nome do arquivo"},
      {"ftp not available", {"-d", d, "ftp://127.0.0.1/pub/x.bin"}, 2, "FTP"},
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
  EXPECT_TRUE(NativeExists(dest.File("nope.bin.part")));
}

// A cut transfer exits 1 and keeps its part file; the next run resumes and finishes.
TEST_F(QelvoGet, CutTransferIsFinishedByTheNextRun) {
  NginxServer& n = Nginx();
  const std::string& content = n.Content("a.bin");
  ScriptServer cut([&](ScriptConnection& c, const std::string&, int) {
    c.Send(HttpHead(200, {"Content-Length: " + std::to_string(content.size())}) + content.substr(0, 400000));
  });
  RunResult r = RunGet({"-q", "-d", dest.Native(), "-o", "a.bin", cut.Url("/files/a.bin")}, scratch);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("socket error 10054"), std::string::npos) << r.output;
  ASSERT_TRUE(NativeExists(dest.File("a.bin.part")));
  EXPECT_FALSE(NativeExists(dest.File("a.bin")));
  r = RunGet({"-d", dest.Native(), n.Url("/files/a.bin")}, scratch);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(n.LastStatus("/files/a.bin"), 206);
  EXPECT_EQ(ReadFile(dest.File("a.bin")), content);
  EXPECT_FALSE(NativeExists(dest.File("a.bin.part")));
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

}  // namespace
}  // namespace qelvo::download::test
