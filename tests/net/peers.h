#pragma once
// Real peers for the tests (nginx, tinyproxy, danted), each started on a free loopback
// port with a configuration generated in its own temporary folder and stopped when the
// object goes. Start-up waits until the port accepts connections, bounded in time.
#include <sys/types.h>

#include <string>
#include <vector>

namespace qelvo::net::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  // Runs argv; true when port on 127.0.0.1 accepts connections within timeoutMs.
  bool Start(const std::vector<std::string>& argv, int port, int timeoutMs = 10000);
  void Stop();
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// A deterministic pseudo-random body, and a checksum to compare big bodies by.
std::string TestBody(size_t size, uint32_t seed);
uint64_t Checksum(const void* data, size_t size);
inline uint64_t Checksum(const std::string& s) { return Checksum(s.data(), s.size()); }

class NginxPeer {
 public:
  explicit NginxPeer(size_t bigSize = 24 * 1024 * 1024 + 12345);
  bool ok = false;
  int port = 0;
  std::string big;  // served as /big.bin
  std::string error;
  TempDir dir;

 private:
  PeerProcess process_;
};

class TinyproxyPeer {
 public:
  // connectPort: the one port CONNECT may reach; user/pass: required Basic credentials.
  TinyproxyPeer(int connectPort, const std::string& user, const std::string& pass);
  bool ok = false;
  int port = 0;
  std::string error;
  TempDir dir;

 private:
  PeerProcess process_;
};

class DantePeer {
 public:
  // With a user, the proxy takes only user/password (checked by a PAM service of the test).
  DantePeer(const std::string& user, const std::string& pass);
  ~DantePeer();
  std::string Log() const;
  bool ok = false;
  int port = 0;
  std::string error;
  TempDir dir;

 private:
  std::string pamService_;
  PeerProcess process_;
};

}  // namespace qelvo::net::testing
