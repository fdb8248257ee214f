#pragma once
// Proxy peers for the tests (tinyproxy, danted; nginx has its launcher in nginx.h), each
// started on a free loopback port with a configuration generated in its own temporary
// folder and stopped when the object goes. Start-up waits until the port accepts connections, bounded in time.
#include <cstdint>
#include <string>

#include "tests/support/peer_process.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

// A checksum to compare big bodies by.
uint64_t Checksum(const void* data, size_t size);
inline uint64_t Checksum(const std::string& s) { return Checksum(s.data(), s.size()); }
// The body the FTP suites serve: random bytes of a seed.
inline std::string TestBody(size_t size, uint32_t seed) { return RandomBytes(size, seed); }

// A PAM service (in /etc/pam.d) that checks the pair against the one-entry user database
// database (the db_load file without its .db).
void WritePamUserDbService(const std::string& service, const std::string& database);

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
