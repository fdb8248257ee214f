#pragma once
// Real peers for the tests (nginx, tinyproxy, danted). On POSIX each is started on a free
// loopback port with a configuration generated in its own temporary folder and stopped
// when the object goes; start-up waits until the port accepts, bounded in time. A Windows
// test program cannot start Linux programs: there each object takes the port of a peer
// that the Linux side started with the same configuration (scripts/test-windows, through
// qelvo-peer-host) from the environment, and is not ok when none was handed over.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ports.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

class PeerProcess;

// POSIX only. The nginx binary, "" when it is not installed.
std::string FindNginx();
// A generated nginx configuration around the lines of its http block: foreground, one
// worker process, as root when the tests run as root, pid file, error log and temp
// paths in folder.
std::string NginxConfig(const std::string& folder, const std::string& http);
// Writes conf to folder/nginx.conf and runs nginx with folder as its prefix; false with
// the reason in error when it does not accept on port in time.
bool StartNginx(PeerProcess& process, const std::string& folder, const std::string& conf, int port,
                std::string& error);

// A deterministic pseudo-random body, and a checksum to compare big bodies by.
std::string TestBody(size_t size, uint32_t seed);
uint64_t Checksum(const void* data, size_t size);
inline uint64_t Checksum(const std::string& s) { return Checksum(s.data(), s.size()); }

class NginxPeer {
 public:
  explicit NginxPeer(size_t bigSize = kDefaultBigSize);
  ~NginxPeer();
  static constexpr size_t kDefaultBigSize = 24 * 1024 * 1024 + 12345;
  bool ok = false;
  int port = 0;
  std::string big;  // served as /big.bin
  std::string error;
  TempFolder dir{"net"};

 private:
  std::shared_ptr<PeerProcess> process_;  // empty where the Linux side runs the peer
};

class TinyproxyPeer {
 public:
  // connectPort: the one port CONNECT may reach; user/pass: required Basic credentials.
  TinyproxyPeer(int connectPort, const std::string& user, const std::string& pass);
  ~TinyproxyPeer();
  bool ok = false;
  int port = 0;
  std::string error;
  TempFolder dir{"net"};

 private:
  std::shared_ptr<PeerProcess> process_;  // empty where the Linux side runs the peer
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
  TempFolder dir{"net"};

 private:
  std::string pamService_;
  std::string log_;  // the peer's log file
  std::shared_ptr<PeerProcess> process_;  // empty where the Linux side runs the peer
};

}  // namespace qelvo::test
