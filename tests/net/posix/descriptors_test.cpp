// Descriptor numbers above the select() limit, a POSIX matter: Windows socket handles
// are not small integers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "net/tcp_socket.h"
#include "tests/support/script_server.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;

TEST(BlockSocket, PollsDescriptorsAbove1023) {
  rlimit lim{};
  getrlimit(RLIMIT_NOFILE, &lim);
  if (lim.rlim_cur < 1200) {
    lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, 4096);
    setrlimit(RLIMIT_NOFILE, &lim);
  }
  if (lim.rlim_cur < 1200) GTEST_SKIP() << "descriptor limit too low";
  std::vector<int> fillers;
  const int base = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  while (true) {
    const int fd = ::fcntl(base, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) break;
    fillers.push_back(fd);
    if (fd >= 1100) break;
  }
  {
    ScriptServer server({{Pause(100), Send("over the fence\r\n"), Close()}});
    TTCPBlockSocket sock;
    sock.Connect("127.0.0.1", server.PortText());
    EXPECT_GT(sock.Socket(), 1023);
    EXPECT_EQ(sock.RecvString(2000), "over the fence");
  }
  for (int fd : fillers) ::close(fd);
  ::close(base);
}

}  // namespace
}  // namespace qelvo::net
