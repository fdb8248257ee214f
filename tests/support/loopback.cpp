#include "tests/support/loopback.h"

#include "tests/support/ports.h"

#include <cstring>

namespace qelvo::test::loopback {
namespace {

using namespace platform;
using namespace platform::wsa;

struct TCalls {
  TSocketProc socket = nullptr;
  TCloseSocket closesocket = nullptr;
  TBind bind = nullptr;
  TConnect connect = nullptr;
  TListen listen = nullptr;
  TAccept accept = nullptr;
  TSend send = nullptr;
  TRecv recv = nullptr;
  TSetSockOpt setsockopt = nullptr;
  TShutdown shutdown = nullptr;
  TGetSockName getsockname = nullptr;
  TWSAPoll poll = nullptr;
};

template <typename F>
void Get(TSocketModule m, const char* name, F& slot) {
  slot = reinterpret_cast<F>(GetSocketProcAddress(m, name));
}

// Loaded once for the test program and kept.
const TCalls& Calls() {
  static const TCalls calls = [] {
    TCalls c;
    TSocketModule m = LoadSocketModule("ws2_32.dll");
    TWSAStartup startup = nullptr;
    Get(m, "WSAStartup", startup);
    TWSAData data{};
    if (startup) startup(0x0202, &data);
    Get(m, "socket", c.socket);
    Get(m, "closesocket", c.closesocket);
    Get(m, "bind", c.bind);
    Get(m, "connect", c.connect);
    Get(m, "listen", c.listen);
    Get(m, "accept", c.accept);
    Get(m, "send", c.send);
    Get(m, "recv", c.recv);
    Get(m, "setsockopt", c.setsockopt);
    Get(m, "shutdown", c.shutdown);
    Get(m, "getsockname", c.getsockname);
    Get(m, "WSAPoll", c.poll);
    return c;
  }();
  return calls;
}

TVarSin LoopbackAddress(bool ipv6, int port) {
  TVarSin a;
  std::memset(&a, 0, sizeof a);
  const uint16_t netPort = static_cast<uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
  if (ipv6) {
    a.in6.sin6_family = WS_AF_INET6;
    a.in6.sin6_port = netPort;
    a.in6.sin6_addr[15] = 1;
  } else {
    a.in4.sin_family = WS_AF_INET;
    a.in4.sin_port = netPort;
    a.in4.sin_addr[0] = 127;
    a.in4.sin_addr[3] = 1;
  }
  return a;
}

int PortOf(const TVarSin& a) {
  const uint16_t p = a.sin_family == WS_AF_INET6 ? a.in6.sin6_port : a.in4.sin_port;
  return ((p & 0xFF) << 8) | (p >> 8);
}

// A socket bound to a fresh loopback port; kNone on failure.
Handle BoundSocket(bool ipv6, bool reuseAddress, int& port) {
  const TCalls& c = Calls();
  const Handle s = c.socket(ipv6 ? WS_AF_INET6 : WS_AF_INET, WS_SOCK_STREAM, 0);
  if (s == kNone) return kNone;
  const int one = 1;
  if (reuseAddress) c.setsockopt(s, WS_SOL_SOCKET, WS_SO_REUSEADDR, &one, sizeof one);
  TVarSin a = LoopbackAddress(ipv6, 0);
  const int len = ipv6 ? 28 : 16;
  if (c.bind(s, &a, len) != 0) {
    c.closesocket(s);
    return kNone;
  }
  int got = sizeof a;
  c.getsockname(s, &a, &got);
  port = PortOf(a);
  return s;
}

}  // namespace

Handle Listen(bool ipv6, int& port) {
  const Handle s = BoundSocket(ipv6, true, port);
  if (s != kNone && Calls().listen(s, 16) != 0) {
    Calls().closesocket(s);
    return kNone;
  }
  return s;
}

Handle Accept(Handle listener) { return Calls().accept(listener, nullptr, nullptr); }

bool Wait(Handle s, bool forWrite, int ms) {
  TPollFd p{s, forWrite ? WS_POLLWRNORM : WS_POLLRDNORM, 0};
  return Calls().poll(&p, 1, ms) > 0;
}

int Recv(Handle s, char* buffer, int size) { return Calls().recv(s, buffer, size, 0); }
int Send(Handle s, const char* data, int size) { return Calls().send(s, data, size, 0); }
void ShutdownSend(Handle s) { Calls().shutdown(s, WS_SD_SEND); }

void ResetOnClose(Handle s) {
  const TLinger l{1, 0};
  Calls().setsockopt(s, WS_SOL_SOCKET, WS_SO_LINGER, &l, sizeof l);
}

void Close(Handle s) {
  if (s != kNone) Calls().closesocket(s);
}

bool Accepts(int port) {
  const TCalls& c = Calls();
  const Handle s = c.socket(WS_AF_INET, WS_SOCK_STREAM, 0);
  if (s == kNone) return false;
  const TVarSin a = LoopbackAddress(false, port);
  const bool ok = c.connect(s, &a, 16) == 0;
  c.closesocket(s);
  return ok;
}

}  // namespace qelvo::test::loopback

namespace qelvo::test {

int UnusedPort() {
  int port = 0;
  const loopback::Handle s = loopback::Listen(false, port);
  loopback::Close(s);
  return s == loopback::kNone ? 0 : port;
}

bool PortAccepts(int port) { return loopback::Accepts(port); }

// Without SO_REUSEADDR no server can bind the port while it is held, and the system never
// hands a bound port out as a connection's own, so a connection to it can only be refused.
RefusingPort::RefusingPort() : socket_(loopback::BoundSocket(false, false, port_)) {}

RefusingPort::~RefusingPort() { loopback::Close(socket_); }

}  // namespace qelvo::test
