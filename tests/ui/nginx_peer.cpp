#include "nginx_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qelvo::ui::testing {
namespace {

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

bool Accepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

}  // namespace

TNginxPeer::TNginxPeer(const std::string& work) : work_(work), packages_(work + "/packages") {
  std::filesystem::create_directories(work_);
  const std::string build = std::string(QELVO_SOURCE_DIR) + "/demo/build-packages '" + packages_ + "' >/dev/null";
  if (std::system(build.c_str()) != 0) {
    error_ = "demo/build-packages failed";
    return;
  }
  port_ = FreePort();
  std::ifstream in(std::string(QELVO_SOURCE_DIR) + "/demo/nginx.conf.in");
  std::stringstream ss;
  ss << in.rdbuf();
  std::string conf = ss.str();
  conf = Replace(conf, "@LISTEN@", "127.0.0.1:" + std::to_string(port_));
  conf = Replace(conf, "@ROOT@", packages_ + "/www");
  conf = Replace(conf, "@WORK@", work_);
  conf = Replace(conf, "@USER@", ::geteuid() == 0 ? "user root;" : "");
  const std::string confFile = work_ + "/nginx.conf";
  std::ofstream(confFile) << conf;

  pid_ = ::fork();
  if (pid_ == 0) {
    ::execlp("nginx", "nginx", "-q", "-p", work_.c_str(), "-c", confFile.c_str(), static_cast<char*>(nullptr));
    ::execl("/usr/sbin/nginx", "nginx", "-q", "-p", work_.c_str(), "-c", confFile.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 200; ++i) {  // at most 10 s
    if (Accepts(port_)) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "nginx did not start; see " + work_ + "/error.log";
  if (pid_ > 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

TNginxPeer::~TNginxPeer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {  // at most 5 s, then kill
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

int TNginxPeer::RequestCount() const {
  std::ifstream in(work_ + "/access.log");
  int n = 0;
  std::string line;
  while (std::getline(in, line)) ++n;
  return n;
}

}  // namespace qelvo::ui::testing
