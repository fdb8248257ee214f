#pragma once
// Real peers for the tests (nginx, tinyproxy, danted), each started on a free loopback
// port with a configuration generated in its own temporary folder and stopped when the
// object goes. Start-up waits until the port accepts connections, bounded in time.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/peer_process.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

// The nginx binary, "" when it is not installed.
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
  explicit NginxPeer(size_t bigSize = 24 * 1024 * 1024 + 12345);
  bool ok = false;
  int port = 0;
  std::string big;  // served as /big.bin
  std::string error;
  TempFolder dir{"net"};

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
  TempFolder dir{"net"};

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
  TempFolder dir{"net"};

 private:
  std::string pamService_;
  PeerProcess process_;
};

}  // namespace qelvo::test
