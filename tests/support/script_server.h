#pragma once
// A scripted TCP peer on loopback for wire-level tests, in one of two modes:
// - a list of scripts: each accepted connection runs the next one (read the request
//   head, read n bytes, send bytes, pause, reset or close), and everything it received
//   is kept per connection;
// - a handler: each accepted connection has its request head read, then the handler
//   writes the reply (cuts mid-body, chunked bodies, a silent peer...), and every head
//   is kept.
// Every wait is bounded, so a client that misbehaves fails the test instead of hanging it.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/peer_process.h"

namespace qelvo::test {

struct Step {
  enum Kind { ReadHead, ReadBytes, Send, Pause, Reset, Close, DrainToClose, ReadLine } kind;
  std::string data;
  int n = 0;
};
using Script = std::vector<Step>;

inline Step ReadHead() { return {Step::ReadHead, {}, 0}; }
inline Step ReadBytes(int n) { return {Step::ReadBytes, {}, n}; }
inline Step Send(std::string bytes) { return {Step::Send, std::move(bytes), 0}; }
inline Step Pause(int ms) { return {Step::Pause, {}, ms}; }
inline Step Reset() { return {Step::Reset, {}, 0}; }
inline Step Close() { return {Step::Close, {}, 0}; }
inline Step DrainToClose() { return {Step::DrainToClose, {}, 0}; }
// One line up to its LF (line-oriented protocols such as FTP's control connection).
inline Step ReadLine() { return {Step::ReadLine, {}, 0}; }

// One accepted connection of a handler-driven server.
class ScriptConnection {
 public:
  ScriptConnection(int fd, const std::atomic<bool>* stop) : fd_(fd), stop_(stop) {}
  void Send(const std::string& bytes);
  // Sends the bytes in pieces with a pause between them, so the client sees many reads.
  void SendSlowly(const std::string& bytes, size_t piece, int pauseMs);
  // Waits (bounded) until the server is stopped or the peer closes.
  void Hold(int maxMs);
  // The close after the handler sends a reset instead of a FIN.
  void ResetOnClose();
  int Fd() const { return fd_; }

 private:
  int fd_;
  const std::atomic<bool>* stop_;
};

class ScriptServer {
 public:
  using Handler = std::function<void(ScriptConnection& c, const std::string& requestHead, int index)>;
  explicit ScriptServer(std::vector<Script> scripts, bool ipv6 = false);
  explicit ScriptServer(Handler handler);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + PortText() + path; }
  // Waits (bounded) until n connections have finished their scripts.
  bool WaitFinished(int n, int timeoutMs = 5000);
  std::string Received(int connection);
  // Connections accepted so far (their scripts may still be running).
  int Accepted();
  // The request heads a handler-driven server has read, in order.
  std::vector<std::string> Requests() const;

 private:
  void Listen(bool ipv6);
  void Run();
  void RunScript(int fd, const Script& script, std::string& received);
  void RunHandler(int fd, int index);

  std::vector<Script> scripts_;
  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable finishedCv_;
  std::vector<std::string> received_;
  std::vector<std::string> requests_;
  int finished_ = 0;
  int accepted_ = 0;
  std::thread thread_;
};

}  // namespace qelvo::test
