// Socket options of the POSIX sockets module: Windows Sockets level and option numbers map
// to native ones, and values convert between the two layouts (linger records, timeouts in
// milliseconds against timevals, error numbers).
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>

#include "platform/posix/sockets_native.h"

namespace qelvo::platform::sockets_native {
namespace {

enum class OptKind { Int, Bool, Linger, Millis, Error };
struct NativeOpt {
  int level;
  int name;
  OptKind kind;
};

bool MapOption(int level, int optname, NativeOpt& out) {
  if (level == wsa::WS_SOL_SOCKET) {
    switch (optname) {
      case wsa::WS_SO_REUSEADDR: out = {SOL_SOCKET, SO_REUSEADDR, OptKind::Bool}; return true;
      case wsa::WS_SO_BROADCAST: out = {SOL_SOCKET, SO_BROADCAST, OptKind::Bool}; return true;
      case wsa::WS_SO_LINGER: out = {SOL_SOCKET, SO_LINGER, OptKind::Linger}; return true;
      case wsa::WS_SO_SNDBUF: out = {SOL_SOCKET, SO_SNDBUF, OptKind::Int}; return true;
      case wsa::WS_SO_RCVBUF: out = {SOL_SOCKET, SO_RCVBUF, OptKind::Int}; return true;
      case wsa::WS_SO_SNDTIMEO: out = {SOL_SOCKET, SO_SNDTIMEO, OptKind::Millis}; return true;
      case wsa::WS_SO_RCVTIMEO: out = {SOL_SOCKET, SO_RCVTIMEO, OptKind::Millis}; return true;
      case wsa::WS_SO_ERROR: out = {SOL_SOCKET, SO_ERROR, OptKind::Error}; return true;
      case wsa::WS_SO_TYPE: out = {SOL_SOCKET, SO_TYPE, OptKind::Int}; return true;
      default: return false;
    }
  }
  if (level == wsa::WS_IPPROTO_IP) {
    switch (optname) {
      case wsa::WS_IP_TTL: out = {IPPROTO_IP, IP_TTL, OptKind::Int}; return true;
      case wsa::WS_IP_MULTICAST_TTL: out = {IPPROTO_IP, IP_MULTICAST_TTL, OptKind::Int}; return true;
      case wsa::WS_IP_MULTICAST_LOOP: out = {IPPROTO_IP, IP_MULTICAST_LOOP, OptKind::Int}; return true;
      default: return false;
    }
  }
  if (level == wsa::WS_IPPROTO_IPV6) {
    switch (optname) {
      case 4:
      case wsa::WS_IPV6_UNICAST_HOPS: out = {IPPROTO_IPV6, IPV6_UNICAST_HOPS, OptKind::Int}; return true;
      case wsa::WS_IPV6_MULTICAST_HOPS: out = {IPPROTO_IPV6, IPV6_MULTICAST_HOPS, OptKind::Int}; return true;
      case wsa::WS_IPV6_MULTICAST_LOOP: out = {IPPROTO_IPV6, IPV6_MULTICAST_LOOP, OptKind::Int}; return true;
      default: return false;
    }
  }
  if (level == wsa::WS_IPPROTO_TCP && optname == wsa::WS_TCP_NODELAY) {
    out = {IPPROTO_TCP, TCP_NODELAY, OptKind::Bool};
    return true;
  }
  return false;
}

int32_t ReadInt(const void* optval, int optlen) {
  if (optlen >= 4) {
    int32_t v;
    std::memcpy(&v, optval, 4);
    return v;
  }
  if (optlen >= 1) return *static_cast<const uint8_t*>(optval);
  return 0;
}

}  // namespace

int SetSockOptImpl(TSocketHandle s, int level, int optname, const void* optval, int optlen) {
  NativeOpt o;
  if (!MapOption(level, optname, o)) return Fail(wsa::WSAENOPROTOOPT);
  if (!optval) return Fail(wsa::WSAEFAULT);
  int rc;
  switch (o.kind) {
    case OptKind::Linger: {
      if (optlen < static_cast<int>(sizeof(TLinger))) return Fail(wsa::WSAEFAULT);
      TLinger l;
      std::memcpy(&l, optval, sizeof l);
      linger nl{l.l_onoff ? 1 : 0, l.l_linger};
      rc = ::setsockopt(s, o.level, o.name, &nl, sizeof nl);
      break;
    }
    case OptKind::Millis: {
      const int32_t ms = ReadInt(optval, optlen);
      timeval tv{ms / 1000, (ms % 1000) * 1000};
      rc = ::setsockopt(s, o.level, o.name, &tv, sizeof tv);
      break;
    }
    default: {
      int v = ReadInt(optval, optlen);
      if (o.kind == OptKind::Bool) v = v ? 1 : 0;
      // A fixed buffer size turns off this kernel's buffer autotuning, which grows well past
      // what a Windows program asks for; a request the current size already meets is kept
      // as met instead of shrinking the window to it.
      if (o.level == SOL_SOCKET && (o.name == SO_RCVBUF || o.name == SO_SNDBUF)) {
        int current = 0;
        socklen_t len = sizeof current;
        if (::getsockopt(s, o.level, o.name, &current, &len) == 0 && current >= v) return 0;
      }
      rc = ::setsockopt(s, o.level, o.name, &v, sizeof v);
      break;
    }
  }
  return rc == 0 ? 0 : FailErrno();
}

int GetSockOptImpl(TSocketHandle s, int level, int optname, void* optval, int* optlen) {
  NativeOpt o;
  if (!MapOption(level, optname, o)) return Fail(wsa::WSAENOPROTOOPT);
  if (!optval || !optlen) return Fail(wsa::WSAEFAULT);
  switch (o.kind) {
    case OptKind::Linger: {
      linger nl{};
      socklen_t sl = sizeof nl;
      if (::getsockopt(s, o.level, o.name, &nl, &sl) != 0) return FailErrno();
      if (*optlen < static_cast<int>(sizeof(TLinger))) return Fail(wsa::WSAEFAULT);
      TLinger l{static_cast<uint16_t>(nl.l_onoff ? 1 : 0), static_cast<uint16_t>(nl.l_linger)};
      std::memcpy(optval, &l, sizeof l);
      *optlen = sizeof l;
      return 0;
    }
    case OptKind::Millis: {
      timeval tv{};
      socklen_t sl = sizeof tv;
      if (::getsockopt(s, o.level, o.name, &tv, &sl) != 0) return FailErrno();
      if (*optlen < 4) return Fail(wsa::WSAEFAULT);
      const int32_t ms = static_cast<int32_t>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
      std::memcpy(optval, &ms, 4);
      *optlen = 4;
      return 0;
    }
    default: {
      int v = 0;
      socklen_t sl = sizeof v;
      if (::getsockopt(s, o.level, o.name, &v, &sl) != 0) return FailErrno();
      if (o.kind == OptKind::Error) v = MapErrno(v);
      if (*optlen < 4) return Fail(wsa::WSAEFAULT);
      const int32_t v32 = v;
      std::memcpy(optval, &v32, 4);
      *optlen = 4;
      return 0;
    }
  }
}

}  // namespace qelvo::platform::sockets_native
