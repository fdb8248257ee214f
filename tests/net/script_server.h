#pragma once
// A scripted TCP peer on loopback for wire-level tests. Each accepted connection runs
// the next script of the list: read the request head, read n bytes, send bytes, pause,
// reset or close. Everything it received is kept per connection. Every wait is bounded,
// so a client that misbehaves fails the test instead of hanging it.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelvo::net::testing {

struct Step {
  enum Kind { ReadHead, ReadBytes, Send, Pause, Reset, Close, DrainToClose } kind;
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

class ScriptServer {
 public:
  explicit ScriptServer(std::vector<Script> scripts, bool ipv6 = false);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // Waits (bounded) until n connections have finished their scripts.
  bool WaitFinished(int n, int timeoutMs = 5000);
  std::string Received(int connection);
  int Accepted();

 private:
  void Run();
  void RunScript(int fd, const Script& script, std::string& received);

  std::vector<Script> scripts_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable finishedCv_;
  std::vector<std::string> received_;
  int finished_ = 0;
  std::thread thread_;
};

// A port on which nothing listens (bound, then closed).
int UnusedPort();

}  // namespace qelvo::net::testing
