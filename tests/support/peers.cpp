#include "tests/support/peers.h"

#include <cstdlib>
#include <filesystem>

#include "tests/support/files.h"

namespace qelvo::test {
namespace {

bool Exists(const char* path) { return !FindProgram({path}).empty(); }

}  // namespace

uint64_t Checksum(const void* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

void WritePamUserDbService(const std::string& service, const std::string& database) {
  // Binary: PAM reads a carriage return (which a Windows text stream writes) as part of
  // the module's name.
  WriteFile("/etc/pam.d/" + service,
            "auth required pam_userdb.so db=" + database + "\naccount required pam_permit.so\n");
}

TinyproxyPeer::TinyproxyPeer(int connectPort, const std::string& user, const std::string& pass) {
  if (!Exists("/usr/bin/tinyproxy")) {
    error = "tinyproxy is not installed (scripts/packages/net.txt)";
    return;
  }
  port = UnusedPort();
  std::string conf = "Port " + std::to_string(port) + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\n" +
                     "LogFile \"" + dir.File("tinyproxy.log") + "\"\nLogLevel Info\nAllow 127.0.0.1\n" +
                     "ConnectPort " + std::to_string(connectPort) + "\nDisableViaHeader Yes\n";
  if (PeersRunAsRoot()) conf += "User root\nGroup root\n";
  if (!user.empty()) conf += "BasicAuth " + user + " " + pass + "\n";
  dir.Write("tinyproxy.conf", conf);
  ok = process_.Start({"/usr/bin/tinyproxy", "-d", "-c", dir.File("tinyproxy.conf")}, port);
  if (!ok) error = "tinyproxy did not start: " + ReadFile(dir.File("tinyproxy.log"));
}

DantePeer::DantePeer(const std::string& user, const std::string& pass) {
  if (!Exists("/usr/sbin/danted")) {
    error = "danted is not installed (scripts/packages/net.txt)";
    return;
  }
  port = UnusedPort();
  std::string method = "socksmethod: none\n";
  std::string rule;
  if (!user.empty()) {
    // PAM checks the pair against a one-entry user database; the service file lives only
    // while the peer runs. (pam_exec cannot be used: danted reaps every child itself.)
    pamService_ = "qelvo-net-test-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(port);
    dir.Write("users.txt", user + "\n" + pass + "\n");
    const std::string load = "/usr/bin/db_load -T -t hash -f " + dir.File("users.txt") + " " + dir.File("users.db");
    if (!Exists("/usr/bin/db_load") || !RunShell(load)) {
      error = "db_load (package db-util) could not build the user database";
      return;
    }
    WritePamUserDbService(pamService_, dir.File("users"));
    method = "socksmethod: pam.username\n";
    rule = "  socksmethod: pam.username\n  pam.servicename: " + pamService_ + "\n";
  }
  const std::string conf = "logoutput: " + dir.File("danted.log") + "\ninternal: 127.0.0.1 port = " +
                           std::to_string(port) + "\nexternal: 127.0.0.1\nclientmethod: none\n" + method +
                           "user.privileged: root\nuser.unprivileged: root\n"
                           "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: error\n}\n"
                           "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp\n  log: error connect\n" + rule + "}\n";
  dir.Write("danted.conf", conf);
  ok = process_.Start({"/usr/sbin/danted", "-f", dir.File("danted.conf"), "-p", dir.File("danted.pid")}, port);
  if (!ok) error = "danted did not start: " + ReadFile(dir.File("danted.log"));
}

DantePeer::~DantePeer() {
  process_.Stop();
  std::error_code ec;
  if (!pamService_.empty()) std::filesystem::remove("/etc/pam.d/" + pamService_, ec);
}

}  // namespace qelvo::test

namespace qelvo::test {
std::string DantePeer::Log() const { return ReadFile(dir.File("danted.log")); }
}  // namespace qelvo::test
