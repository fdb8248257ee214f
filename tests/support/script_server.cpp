#include "tests/support/script_server.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "tests/support/loopback.h"

namespace qelvo::test {
namespace {

constexpr int kIoTimeoutMs = 5000;

constexpr bool kIn = false;
constexpr bool kOut = true;

bool WaitFd(int fd, bool forWrite, int ms) { return loopback::Wait(fd, forWrite, ms); }

// Reads what is available (bounded wait); false at close, error or timeout.
bool ReadSome(int fd, std::string& into, int ms = kIoTimeoutMs) {
  if (!WaitFd(fd, kIn, ms)) return false;
  char buf[65536];
  const int n = loopback::Recv(fd, buf, sizeof buf);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

}  // namespace

ScriptServer::ScriptServer(std::vector<Script> scripts, bool ipv6) : scripts_(std::move(scripts)) { Listen(ipv6); }

ScriptServer::ScriptServer(Handler handler) : handler_(std::move(handler)) { Listen(false); }

void ScriptServer::Listen(bool ipv6) {
  listenFd_ = loopback::Listen(ipv6, port_);
  if (listenFd_ == loopback::kNone) throw std::runtime_error("script server: no loopback listener");
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  loopback::Close(listenFd_);
}

void ScriptServer::Run() {
  size_t next = 0;
  while (!stop_ && (handler_ || next < scripts_.size())) {
    if (!WaitFd(listenFd_, kIn, handler_ ? 20 : 50)) continue;
    const int fd = loopback::Accept(listenFd_);
    if (fd == loopback::kNone) continue;
    {
      // Counted before the script runs: a client may have its whole reply while the script
      // still waits for its close.
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
    }
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
    if (!WaitFd(fd, kIn, 20)) continue;
    char buf[4096];
    const int n = loopback::Recv(fd, buf, sizeof buf);
    if (n <= 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
  }
  ScriptConnection c(fd, &stop_);
  handler_(c, head, index);
  loopback::Close(fd);
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
          if (!WaitFd(fd, kOut, kIoTimeoutMs)) break;
          const int n = loopback::Send(fd, step.data.data() + off, static_cast<int>(step.data.size() - off));
          if (n <= 0) break;
          off += static_cast<size_t>(n);
        }
        break;
      }
      case Step::Pause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.n));
        break;
      case Step::Reset: {
        loopback::ResetOnClose(fd);
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
    loopback::ShutdownSend(fd);
    // Give the client its close before the descriptor goes (avoids an RST on unread data).
    std::string rest;
    for (int i = 0; i < 20 && ReadSome(fd, rest, 50);) ++i;
    received += rest;
  }
  loopback::Close(fd);
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
  return accepted_;
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptConnection::ResetOnClose() { loopback::ResetOnClose(fd_); }

void ScriptConnection::Send(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const int n = loopback::Send(fd_, bytes.data() + off, static_cast<int>(bytes.size() - off));
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
    if (WaitFd(fd_, kIn, 20)) {
      char buf[4096];
      if (loopback::Recv(fd_, buf, sizeof buf) <= 0) return;
    }
  }
}

}  // namespace qelvo::test
