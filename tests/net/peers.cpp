#include "peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "script_server.h"

namespace qelvo::net::testing {
namespace {

bool PortAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

bool Exists(const char* path) { return ::access(path, X_OK) == 0; }

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TempDir::TempDir() {
  char tmpl[] = "/tmp/qelvo-net-XXXXXX";
  const char* p = ::mkdtemp(tmpl);
  path_ = p ? p : "/tmp";
  ::chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() {
  std::error_code ec;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream f(File(name), std::ios::binary);
  f << content;
}

bool PeerProcess::Start(const std::vector<std::string>& argv, int port, int timeoutMs) {
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (PortAccepts(port)) return true;
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  int status;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string TestBody(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed ? seed : 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

uint64_t Checksum(const void* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

NginxPeer::NginxPeer(size_t bigSize) {
  if (!Exists("/usr/sbin/nginx")) {
    error = "nginx is not installed (scripts/packages/net.txt)";
    return;
  }
  std::filesystem::create_directories(dir.File("www"));
  std::filesystem::create_directories(dir.File("tmp"));
  dir.Write("www/small.txt", "Hello from nginx\n");
  big = TestBody(bigSize, 7);
  dir.Write("www/big.bin", big);
  port = UnusedPort();
  const std::string conf = "daemon off;\nmaster_process off;\nworker_processes 1;\n" +
                           std::string(::geteuid() == 0 ? "user root;\n" : "") + "pid " + dir.File("nginx.pid") +
                           ";\nerror_log " + dir.File("error.log") +
                           " error;\nevents { worker_connections 64; }\nhttp {\n  access_log off;\n"
                           "  client_body_temp_path " + dir.File("tmp") + ";\n  keepalive_timeout 10;\n"
                           "  include /etc/nginx/mime.types;\n  default_type application/octet-stream;\n  server {\n    listen 127.0.0.1:" +
                           std::to_string(port) + ";\n    root " + dir.File("www") + ";\n  }\n}\n";
  dir.Write("nginx.conf", conf);
  ok = process_.Start({"/usr/sbin/nginx", "-p", dir.Path(), "-c", dir.File("nginx.conf"), "-e", dir.File("error.log")},
                      port);
  if (!ok) error = "nginx did not start: " + ReadFile(dir.File("error.log"));
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
  if (::geteuid() == 0) conf += "User root\nGroup root\n";
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
  ok = process_.Start({"/usr/sbin/danted", "-f", dir.File("danted.conf"), "-p", dir.File("danted.pid")}, port);
  if (!ok) error = "danted did not start: " + ReadFile(dir.File("danted.log"));
}

DantePeer::~DantePeer() {
  process_.Stop();
  if (!pamService_.empty()) ::unlink(("/etc/pam.d/" + pamService_).c_str());
}

}  // namespace qelvo::net::testing

namespace qelvo::net::testing {
std::string DantePeer::Log() const { return ReadFile(dir.File("danted.log")); }
}  // namespace qelvo::net::testing
