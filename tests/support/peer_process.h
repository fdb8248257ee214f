#pragma once
// A peer program (nginx, tinyproxy, danted, vsftpd, ...) run in the foreground in its own
// process group. Start waits, bounded, until its loopback port accepts; Stop asks it to
// go, then kills it after a bounded wait. On Linux the child dies with the test program,
// so a crashed test leaves no server behind. A Windows test program under Wine starts the
// same Linux program through the Linux shell; its process group is written to a file in
// $QELVO_PEER_PID_DIR, which the script that ran the suite clears afterwards.
// The peers' configurations are generated with the same Linux paths on both systems: the
// test's temporary folders are the Linux /tmp (tests/support/files.h).
#include <string>
#include <vector>

#include "tests/support/ports.h"

namespace qelvo::test {
// The first of the paths that is an executable, "" when none is.
std::string FindProgram(const std::vector<std::string>& paths);
// Whether the peers run as root (the Linux user the test program runs as).
bool PeersRunAsRoot();
// Sets a file's Unix permission bits (for peers that drop their privileges).
void SetFileMode(const std::string& path, int mode);
// This test program's process id, for names that must not clash between programs.
long CurrentProcessId();

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
  long pid_ = -1;
  std::string pidFile_;  // Windows: where the Linux shell wrote the process group
};

}  // namespace qelvo::test
