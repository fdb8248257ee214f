#pragma once
// A peer program (nginx, tinyproxy, danted, ...) run in the foreground as a child in its
// own process group. Start waits, bounded, until its loopback port accepts; Stop asks it
// to go, then kills it after a bounded wait. The child dies with the test program, so a
// crashed test leaves no server behind.
// POSIX only: a Windows test program cannot start Linux programs, so there the Linux
// side starts the peers and hands their ports over (tests/support/peers.h).
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/ports.h"

namespace qelvo::test {
// The first of the paths that is an executable, "" when none is.
std::string FindProgram(const std::vector<std::string>& paths);

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  // Runs argv (argv[0] a path); true when port accepts within timeoutMs. quiet sends the
  // program's own output to /dev/null (its log files say what went wrong).
  bool Start(const std::vector<std::string>& argv, int port, int timeoutMs = 10000, bool quiet = false);
  void Stop();
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace qelvo::test
