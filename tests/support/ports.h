#pragma once
// Loopback ports for tests, on every system.
#include <string>

#include "platform/sockets.h"

namespace qelvo::test {

// A free loopback port for a server to take (bound, then closed). Until a server takes it,
// any other program may: a test that needs a port to refuse holds a RefusingPort.
int UnusedPort();
// True when 127.0.0.1:port accepts a connection.
bool PortAccepts(int port);

// A loopback port held bound and never listening, so every connection to it is refused
// for as long as the object lives.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::string PortText() const { return std::to_string(port_); }

 private:
  int port_ = 0;
  platform::TSocketHandle socket_;
};

}  // namespace qelvo::test
