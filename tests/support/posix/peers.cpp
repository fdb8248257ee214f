#include "tests/support/peers.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/files.h"
#include "tests/support/peer_process.h"

namespace qelvo::test {
namespace {

bool Exists(const char* path) { return ::access(path, X_OK) == 0; }

}  // namespace

std::string FindNginx() { return FindProgram({"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"}); }

std::string NginxConfig(const std::string& folder, const std::string& http) {
  std::filesystem::create_directories(folder + "/tmp");
  const std::string tmp = folder + "/tmp/";
  return "daemon off;\nmaster_process off;\nworker_processes 1;\n" +
         std::string(::geteuid() == 0 ? "user root;\n" : "") + "pid " + folder + "/nginx.pid;\nerror_log " + folder +
         "/error.log error;\nevents { worker_connections 64; }\nhttp {\n  client_body_temp_path " + tmp +
         "body;\n  proxy_temp_path " + tmp + "proxy;\n  fastcgi_temp_path " + tmp + "fcgi;\n  uwsgi_temp_path " +
         tmp + "uwsgi;\n  scgi_temp_path " + tmp + "scgi;\n" + http + "}\n";
}

bool StartNginx(PeerProcess& process, const std::string& folder, const std::string& conf, int port,
                std::string& error) {
  const std::string nginx = FindNginx();
  if (nginx.empty()) {
    error = "nginx is not installed";
    return false;
  }
  WriteFile(folder + "/nginx.conf", conf);
  if (process.Start({nginx, "-p", folder, "-c", folder + "/nginx.conf", "-e", folder + "/error.log"}, port, 10000,
                    true))
    return true;
  error = "nginx did not start: " + ReadFile(folder + "/error.log");
  return false;
}

NginxPeer::NginxPeer(size_t bigSize) : process_(std::make_shared<PeerProcess>()) {
  if (FindNginx().empty()) {
    error = "nginx is not installed (scripts/packages/net.txt)";
    return;
  }
  dir.Write("www/small.txt", "Hello from nginx\n");
  big = TestBody(bigSize, 7);
  dir.Write("www/big.bin", big);
  port = UnusedPort();
  const std::string http = "  access_log off;\n  keepalive_timeout 10;\n  include /etc/nginx/mime.types;\n"
                           "  default_type application/octet-stream;\n  server {\n    listen 127.0.0.1:" +
                           std::to_string(port) + ";\n    root " + dir.File("www") + ";\n  }\n";
  ok = StartNginx(*process_, dir.Native(), NginxConfig(dir.Native(), http), port, error);
}

TinyproxyPeer::TinyproxyPeer(int connectPort, const std::string& user, const std::string& pass)
    : process_(std::make_shared<PeerProcess>()) {
  if (!Exists("/usr/bin/tinyproxy")) {
    error = "tinyproxy is not installed (scripts/packages/net.txt)";
    return;
  }
  port = UnusedPort();
  std::string conf = "Port " + std::to_string(port) + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\n" +
                     "LogFile \"" + dir.File("tinyproxy.log") + "\"\nLogLevel Info\nAllow 127.0.0.1\n" +
                     "ConnectPort " + std::to_string(connectPort) + "\nDisableViaHeader Yes\n";
  if (::geteuid() == 0) conf += "User root\nGroup root\n";
  if (!user.empty()) conf += "BasicAuth " + user + " " + pass + "\n";
  dir.Write("tinyproxy.conf", conf);
  ok = process_->Start({"/usr/bin/tinyproxy", "-d", "-c", dir.File("tinyproxy.conf")}, port);
  if (!ok) error = "tinyproxy did not start: " + ReadFile(dir.File("tinyproxy.log"));
}

DantePeer::DantePeer(const std::string& user, const std::string& pass)
    : log_(dir.File("danted.log")), process_(std::make_shared<PeerProcess>()) {
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
    pamService_ = "qelvo-net-test-" + std::to_string(::getpid()) + "-" + std::to_string(port);
    dir.Write("users.txt", user + "\n" + pass + "\n");
    const std::string load = "/usr/bin/db_load -T -t hash -f " + dir.File("users.txt") + " " + dir.File("users.db");
    if (!Exists("/usr/bin/db_load") || std::system(load.c_str()) != 0) {
      error = "db_load (package db-util) could not build the user database";
      return;
    }
    std::ofstream pam("/etc/pam.d/" + pamService_);
    pam << "auth required pam_userdb.so db=" << dir.File("users") << "\n"
        << "account required pam_permit.so\n";
    method = "socksmethod: pam.username\n";
    rule = "  socksmethod: pam.username\n  pam.servicename: " + pamService_ + "\n";
  }
  const std::string conf = "logoutput: " + dir.File("danted.log") + "\ninternal: 127.0.0.1 port = " +
                           std::to_string(port) + "\nexternal: 127.0.0.1\nclientmethod: none\n" + method +
                           "user.privileged: root\nuser.unprivileged: root\n"
                           "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0\n  log: error\n}\n"
                           "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp\n  log: error connect\n" + rule + "}\n";
  dir.Write("danted.conf", conf);
  ok = process_->Start({"/usr/sbin/danted", "-f", dir.File("danted.conf"), "-p", dir.File("danted.pid")}, port);
  if (!ok) error = "danted did not start: " + ReadFile(dir.File("danted.log"));
}

DantePeer::~DantePeer() {
  process_->Stop();
  if (!pamService_.empty()) ::unlink(("/etc/pam.d/" + pamService_).c_str());
}

}  // namespace qelvo::test

namespace qelvo::test {
NginxPeer::~NginxPeer() = default;
TinyproxyPeer::~TinyproxyPeer() = default;
std::string DantePeer::Log() const { return ReadFile(log_); }
}  // namespace qelvo::test
