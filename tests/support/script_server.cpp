#include "tests/support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qelvo::test {
namespace {

constexpr int kIoTimeoutMs = 5000;

bool WaitFd(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, ms) > 0;
}

// Reads what is available (bounded wait); false at close, error or timeout.
bool ReadSome(int fd, std::string& into, int ms = kIoTimeoutMs) {
  if (!WaitFd(fd, POLLIN, ms)) return false;
  char buf[65536];
  const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

}  // namespace

ScriptServer::ScriptServer(std::vector<Script> scripts, bool ipv6) : scripts_(std::move(scripts)) { Listen(ipv6); }

ScriptServer::ScriptServer(Handler handler) : handler_(std::move(handler)) { Listen(false); }

void ScriptServer::Listen(bool ipv6) {
  listenFd_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len;
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *a;
  }
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(listenFd_, 16) != 0)
    throw std::runtime_error("bind/listen");
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len);
  port_ = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
               : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

void ScriptServer::Run() {
  size_t next = 0;
  while (!stop_ && (handler_ || next < scripts_.size())) {
    if (!WaitFd(listenFd_, POLLIN, handler_ ? 20 : 50)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string received;
    if (handler_)
      RunHandler(fd, static_cast<int>(next++));
    else
      RunScript(fd, scripts_[next++], received);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(std::move(received));
    ++finished_;
    finishedCv_.notify_all();
  }
}

void ScriptServer::RunHandler(int fd, int index) {
  // The request head, bounded in time and size.
  std::string head;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !stop_ &&
         std::chrono::steady_clock::now() < until) {
    if (!WaitFd(fd, POLLIN, 20)) continue;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
  }
  ScriptConnection c(fd, &stop_);
  handler_(c, head, index);
  ::close(fd);
}

void ScriptServer::RunScript(int fd, const Script& script, std::string& received) {
  bool reset = false;
  std::string pending;  // bytes read but not yet consumed by a step
  for (const Step& step : script) {
    if (stop_) break;
    switch (step.kind) {
      case Step::ReadHead: {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos)
          if (!ReadSome(fd, pending)) break;
        end = pending.find("\r\n\r\n");
        const size_t take = end == std::string::npos ? pending.size() : end + 4;
        received += pending.substr(0, take);
        pending.erase(0, take);
        break;
      }
      case Step::ReadLine: {
        while (pending.find('\n') == std::string::npos)
          if (!ReadSome(fd, pending)) break;
        const size_t end = pending.find('\n');
        const size_t take = end == std::string::npos ? pending.size() : end + 1;
        received += pending.substr(0, take);
        pending.erase(0, take);
        break;
      }
      case Step::ReadBytes: {
        while (pending.size() < static_cast<size_t>(step.n))
          if (!ReadSome(fd, pending)) break;
        const size_t take = std::min(pending.size(), static_cast<size_t>(step.n));
        received += pending.substr(0, take);
        pending.erase(0, take);
        break;
      }
      case Step::Send: {
        size_t off = 0;
        while (off < step.data.size()) {
          if (!WaitFd(fd, POLLOUT, kIoTimeoutMs)) break;
          const ssize_t n = ::send(fd, step.data.data() + off, step.data.size() - off, MSG_NOSIGNAL);
          if (n <= 0) break;
          off += static_cast<size_t>(n);
        }
        break;
      }
      case Step::Pause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.n));
        break;
      case Step::Reset: {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        reset = true;
        break;
      }
      case Step::Close:
        break;
      case Step::DrainToClose:
        received += pending;
        pending.clear();
        while (ReadSome(fd, received)) {
        }
        break;
    }
    if (reset || step.kind == Step::Close) break;
  }
  received += pending;
  if (!reset) {
    ::shutdown(fd, SHUT_WR);
    // Give the client its close before the descriptor goes (avoids an RST on unread data).
    std::string rest;
    for (int i = 0; i < 20 && ReadSome(fd, rest, 50);) ++i;
    received += rest;
  }
  ::close(fd);
}

bool ScriptServer::WaitFinished(int n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return finishedCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_ >= n; });
}

std::string ScriptServer::Received(int connection) {
  WaitFinished(connection + 1);
  std::lock_guard<std::mutex> lock(mutex_);
  return connection < static_cast<int>(received_.size()) ? received_[static_cast<size_t>(connection)] : std::string();
}

int ScriptServer::Accepted() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptConnection::Send(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

void ScriptConnection::SendSlowly(const std::string& bytes, size_t piece, int pauseMs) {
  for (size_t off = 0; off < bytes.size() && !stop_->load(); off += piece) {
    Send(bytes.substr(off, piece));
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
}

void ScriptConnection::Hold(int maxMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
  while (!stop_->load() && std::chrono::steady_clock::now() < until) {
    if (WaitFd(fd_, POLLIN, 20)) {
      char buf[4096];
      if (::recv(fd_, buf, sizeof buf, 0) <= 0) return;
    }
  }
}

}  // namespace qelvo::test
