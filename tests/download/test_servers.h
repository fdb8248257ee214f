#pragma once
// Loopback peers for the download tests: a real nginx started from a generated
// configuration, and a scripted HTTP server whose replies are written by each test
// (cuts mid-body, chunked bodies, replies that ignore the range, a silent peer).
// Every wait is bounded.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelvo::download::test {

// A native temporary folder removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Native() const { return path_; }
  // Windows form with a trailing backslash ("Z:\tmp\...\"), as the component takes it.
  std::string Windows() const;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& nativePath);
void WriteFile(const std::string& nativePath, const std::string& bytes);
bool Exists(const std::string& nativePath);
// Deterministic pseudo-random content.
std::string MakeContent(size_t size, unsigned seed);
int FreeLoopbackPort();

// nginx serving a document root, one instance for the whole test program.
class NginxServer {
 public:
  static NginxServer& Get();
  bool Start(std::string& error);
  void Stop();
  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  const std::string& DocRoot() const { return docRoot_; }
  // Content of the files served under /files/.
  const std::string& Content(const std::string& name) const;
  int CountRequests(const std::string& pathPrefix) const;
  // Writes a large served file under /files/ without keeping it in memory; returns its
  // native path.
  std::string WriteLargeFile(const std::string& name, size_t size, unsigned seed);
  // Status code of the latest logged request for the path, 0 when none.
  int LastStatus(const std::string& path) const;

 private:
  NginxServer() = default;
  int pid_ = -1;
  int port_ = 0;
  std::string dir_;
  std::string docRoot_;
  std::vector<std::pair<std::string, std::string>> files_;
};

// One accepted connection of the scripted server.
class ScriptConnection {
 public:
  ScriptConnection(int fd, const std::atomic<bool>* stop) : fd_(fd), stop_(stop) {}
  void Send(const std::string& bytes);
  // Sends the bytes in pieces with a pause between them, so the client sees many reads.
  void SendSlowly(const std::string& bytes, size_t piece, int pauseMs);
  // Waits (bounded) until the server is stopped or the peer closes.
  void Hold(int maxMs);
  int Fd() const { return fd_; }

 private:
  int fd_;
  const std::atomic<bool>* stop_;
};

class ScriptServer {
 public:
  using Handler = std::function<void(ScriptConnection& c, const std::string& requestHead, int index)>;
  explicit ScriptServer(Handler handler);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  std::vector<std::string> Requests() const;

 private:
  void Run();
  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Response heads for scripted replies.
std::string HttpHead(int status, const std::vector<std::string>& headers);
std::string Chunked(const std::string& body, size_t chunkSize, bool withLastChunk);

}  // namespace qelvo::download::test
