// The socket calls of the POSIX sockets module: each entry point is a thin wrapper over the
// C library that converts records and flags from the Windows Sockets numbering and records
// the mapped error for WSAGetLastError. Option numbers live in sockets_options.cpp, the
// lookups and their records in sockets_resolver.cpp; this file also holds the table of
// entry points the module loader hands out.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/sockets_native.h"
#include "rtl/text.h"

namespace qelvo::platform {
namespace sockets_native {

int ToNativeFamily(int af) {
  switch (af) {
    case wsa::WS_AF_INET: return AF_INET;
    case wsa::WS_AF_INET6: return AF_INET6;
    case wsa::WS_AF_UNSPEC: return AF_UNSPEC;
    default: return -1;
  }
}
int FromNativeFamily(int af) {
  switch (af) {
    case AF_INET: return wsa::WS_AF_INET;
    case AF_INET6: return wsa::WS_AF_INET6;
    default: return wsa::WS_AF_UNSPEC;
  }
}

// Windows-layout record -> native sockaddr; false for an unknown family or short length.
bool ToNative(const TVarSin* in, int len, sockaddr_storage& out, socklen_t& outLen) {
  std::memset(&out, 0, sizeof out);
  if (!in) return false;
  if (in->sin_family == wsa::WS_AF_INET && len >= 16) {
    auto* a = reinterpret_cast<sockaddr_in*>(&out);
    a->sin_family = AF_INET;
    a->sin_port = in->in4.sin_port;
    std::memcpy(&a->sin_addr, in->in4.sin_addr, 4);
    outLen = sizeof(sockaddr_in);
    return true;
  }
  if (in->sin_family == wsa::WS_AF_INET6 && len >= 28) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&out);
    a->sin6_family = AF_INET6;
    a->sin6_port = in->in6.sin6_port;
    a->sin6_flowinfo = in->in6.sin6_flowinfo;
    std::memcpy(&a->sin6_addr, in->in6.sin6_addr, 16);
    a->sin6_scope_id = in->in6.sin6_scope_id;
    outLen = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

// Native sockaddr -> Windows-layout record; returns the record's length.
int FromNative(const sockaddr* in, TVarSin& out) {
  std::memset(&out, 0, sizeof out);
  if (!in) return 0;
  if (in->sa_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(in);
    out.in4.sin_family = wsa::WS_AF_INET;
    out.in4.sin_port = a->sin_port;
    std::memcpy(out.in4.sin_addr, &a->sin_addr, 4);
    return 16;
  }
  if (in->sa_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(in);
    out.in6.sin6_family = wsa::WS_AF_INET6;
    out.in6.sin6_port = a->sin6_port;
    out.in6.sin6_flowinfo = a->sin6_flowinfo;
    std::memcpy(out.in6.sin6_addr, &a->sin6_addr, 16);
    out.in6.sin6_scope_id = a->sin6_scope_id;
    return 28;
  }
  return 0;
}

void StoreAddress(const sockaddr_storage& ss, TVarSin* addr, int* len) {
  if (!addr) return;
  TVarSin tmp;
  const int n = FromNative(reinterpret_cast<const sockaddr*>(&ss), tmp);
  const int room = len ? *len : static_cast<int>(sizeof(TVarSin));
  std::memcpy(addr, &tmp, static_cast<size_t>(std::min(room, static_cast<int>(sizeof(TVarSin)))));
  if (len) *len = n;
}

}  // namespace sockets_native

namespace {

using namespace sockets_native;

int WSAStartupImpl(uint16_t version, TWSAData* data) {
  if (data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = version;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0;
    data->iMaxUdpDg = 0;
  }
  if ((version & 0xFF) < 2) return wsa::WSAVERNOTSUPPORTED;
  return 0;
}
int WSACleanupImpl() { return 0; }
int WSAGetLastErrorImpl() { return LastSocketError(); }

int WSAPollImpl(TPollFd* fds, uint32_t count, int timeoutMs) {
  std::vector<pollfd> native(count);
  for (uint32_t i = 0; i < count; ++i) {
    native[i].fd = fds[i].fd;
    native[i].events = 0;
    if (fds[i].events & wsa::WS_POLLRDNORM) native[i].events |= POLLIN;
    if (fds[i].events & wsa::WS_POLLWRNORM) native[i].events |= POLLOUT;
    native[i].revents = 0;
  }
  int rc;
  do {
    rc = ::poll(native.data(), count, timeoutMs < 0 ? -1 : timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return FailErrno();
  int invalid = 0;
  for (uint32_t i = 0; i < count; ++i) {
    int16_t r = 0;
    if (native[i].revents & POLLIN) r |= wsa::WS_POLLRDNORM;
    if (native[i].revents & POLLOUT) r |= wsa::WS_POLLWRNORM;
    if (native[i].revents & POLLERR) r |= wsa::WS_POLLERR;
    if (native[i].revents & POLLHUP) r |= wsa::WS_POLLHUP;
    if (native[i].revents & POLLNVAL) {
      r |= wsa::WS_POLLNVAL;
      ++invalid;
    }
    fds[i].revents = r;
  }
  // Like select(), polling a handle that is not an open socket is an error.
  if (invalid > 0) return Fail(wsa::WSAENOTSOCK);
  return rc;
}

TSocketHandle SocketImpl(int af, int type, int protocol) {
  const int f = ToNativeFamily(af);
  if (f < 0) return Fail(wsa::WSAEAFNOSUPPORT);
  const int s = ::socket(f, type | SOCK_CLOEXEC, protocol);
  if (s < 0) return FailErrno();
  return s;
}

int CloseSocketImpl(TSocketHandle s) { return ::close(s) == 0 ? 0 : FailErrno(); }

int BindImpl(TSocketHandle s, const TVarSin* addr, int len) {
  sockaddr_storage ss;
  socklen_t sl = 0;
  if (!ToNative(addr, len, ss, sl)) return Fail(wsa::WSAEFAULT);
  return ::bind(s, reinterpret_cast<sockaddr*>(&ss), sl) == 0 ? 0 : FailErrno();
}

int ConnectImpl(TSocketHandle s, const TVarSin* addr, int len) {
  sockaddr_storage ss;
  socklen_t sl = 0;
  if (!ToNative(addr, len, ss, sl)) return Fail(wsa::WSAEFAULT);
  int rc;
  do {
    rc = ::connect(s, reinterpret_cast<sockaddr*>(&ss), sl);
  } while (rc < 0 && errno == EINTR);
  return rc == 0 ? 0 : FailErrno();
}

int ListenImpl(TSocketHandle s, int backlog) {
  const int b = backlog > SOMAXCONN || backlog < 0 ? SOMAXCONN : backlog;
  return ::listen(s, b) == 0 ? 0 : FailErrno();
}

TSocketHandle AcceptImpl(TSocketHandle s, TVarSin* addr, int* len) {
  sockaddr_storage ss{};
  socklen_t sl = sizeof ss;
  int rc;
  do {
    rc = ::accept4(s, reinterpret_cast<sockaddr*>(&ss), &sl, SOCK_CLOEXEC);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return FailErrno();
  StoreAddress(ss, addr, len);
  return rc;
}

int NativeMsgFlags(int flags) { return (flags & wsa::WS_MSG_PEEK) ? MSG_PEEK : 0; }

int SendImpl(TSocketHandle s, const void* buf, int len, int flags) {
  ssize_t rc;
  do {
    rc = ::send(s, buf, static_cast<size_t>(len), NativeMsgFlags(flags) | MSG_NOSIGNAL);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? FailErrno() : static_cast<int>(rc);
}

int RecvImpl(TSocketHandle s, void* buf, int len, int flags) {
  ssize_t rc;
  do {
    rc = ::recv(s, buf, static_cast<size_t>(len), NativeMsgFlags(flags));
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? FailErrno() : static_cast<int>(rc);
}

int SendToImpl(TSocketHandle s, const void* buf, int len, int flags, const TVarSin* to, int tolen) {
  sockaddr_storage ss;
  socklen_t sl = 0;
  if (!ToNative(to, tolen, ss, sl)) return Fail(wsa::WSAEFAULT);
  ssize_t rc;
  do {
    rc = ::sendto(s, buf, static_cast<size_t>(len), NativeMsgFlags(flags) | MSG_NOSIGNAL,
                  reinterpret_cast<sockaddr*>(&ss), sl);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? FailErrno() : static_cast<int>(rc);
}

int RecvFromImpl(TSocketHandle s, void* buf, int len, int flags, TVarSin* from, int* fromlen) {
  sockaddr_storage ss{};
  socklen_t sl = sizeof ss;
  ssize_t rc;
  do {
    rc = ::recvfrom(s, buf, static_cast<size_t>(len), NativeMsgFlags(flags), reinterpret_cast<sockaddr*>(&ss), &sl);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return FailErrno();
  StoreAddress(ss, from, fromlen);
  return static_cast<int>(rc);
}

int IoctlSocketImpl(TSocketHandle s, long cmd, uint32_t* arg) {
  if (!arg) return Fail(wsa::WSAEFAULT);
  if (cmd == wsa::WS_FIONREAD) {
    int n = 0;
    if (::ioctl(s, FIONREAD, &n) != 0) return FailErrno();
    *arg = static_cast<uint32_t>(n < 0 ? 0 : n);
    return 0;
  }
  if (cmd == wsa::WS_FIONBIO) {
    const int fl = ::fcntl(s, F_GETFL);
    if (fl < 0) return FailErrno();
    const int nf = *arg ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
    return ::fcntl(s, F_SETFL, nf) == 0 ? 0 : FailErrno();
  }
  return Fail(wsa::WSAEINVAL);
}

int ShutdownImpl(TSocketHandle s, int how) {
  const int h = how == wsa::WS_SD_RECEIVE ? SHUT_RD : how == wsa::WS_SD_SEND ? SHUT_WR : SHUT_RDWR;
  return ::shutdown(s, h) == 0 ? 0 : FailErrno();
}

int GetSockNameImpl(TSocketHandle s, TVarSin* addr, int* len) {
  sockaddr_storage ss{};
  socklen_t sl = sizeof ss;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&ss), &sl) != 0) return FailErrno();
  StoreAddress(ss, addr, len);
  return 0;
}

int GetPeerNameImpl(TSocketHandle s, TVarSin* addr, int* len) {
  sockaddr_storage ss{};
  socklen_t sl = sizeof ss;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&ss), &sl) != 0) return FailErrno();
  StoreAddress(ss, addr, len);
  return 0;
}

int GetHostNameImpl(char* name, int len) {
  if (!name || len <= 0) return Fail(wsa::WSAEFAULT);
  return ::gethostname(name, static_cast<size_t>(len)) == 0 ? 0 : FailErrno();
}

uint16_t HtonsImpl(uint16_t v) { return htons(v); }
uint16_t NtohsImpl(uint16_t v) { return ntohs(v); }
uint32_t HtonlImpl(uint32_t v) { return htonl(v); }
uint32_t NtohlImpl(uint32_t v) { return ntohl(v); }

uint32_t InetAddrImpl(const char* cp) {
  if (!cp) return wsa::WS_INADDR_NONE;
  in_addr a{};
  if (::inet_aton(cp, &a) == 0) return wsa::WS_INADDR_NONE;
  return a.s_addr;
}

const char* InetNtoaImpl(const uint8_t addr[4]) {
  static char buf[16];
  in_addr a{};
  std::memcpy(&a, addr, 4);
  ::inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

struct Export {
  const char* name;
  TSocketProcAddress proc;
};

template <typename F>
TSocketProcAddress P(F f) {
  return reinterpret_cast<TSocketProcAddress>(f);
}

const std::vector<Export>& LegacyExports() {
  static const std::vector<Export> e = {
      {"WSAStartup", P(&WSAStartupImpl)},
      {"WSACleanup", P(&WSACleanupImpl)},
      {"WSAGetLastError", P(&WSAGetLastErrorImpl)},
      {"WSAPoll", P(&WSAPollImpl)},
      {"socket", P(&SocketImpl)},
      {"closesocket", P(&CloseSocketImpl)},
      {"bind", P(&BindImpl)},
      {"connect", P(&ConnectImpl)},
      {"listen", P(&ListenImpl)},
      {"accept", P(&AcceptImpl)},
      {"send", P(&SendImpl)},
      {"recv", P(&RecvImpl)},
      {"sendto", P(&SendToImpl)},
      {"recvfrom", P(&RecvFromImpl)},
      {"ioctlsocket", P(&IoctlSocketImpl)},
      {"setsockopt", P(&SetSockOptImpl)},
      {"getsockopt", P(&GetSockOptImpl)},
      {"shutdown", P(&ShutdownImpl)},
      {"getsockname", P(&GetSockNameImpl)},
      {"getpeername", P(&GetPeerNameImpl)},
      {"gethostname", P(&GetHostNameImpl)},
      {"htons", P(&HtonsImpl)},
      {"ntohs", P(&NtohsImpl)},
      {"htonl", P(&HtonlImpl)},
      {"ntohl", P(&NtohlImpl)},
      {"inet_addr", P(&InetAddrImpl)},
      {"inet_ntoa", P(&InetNtoaImpl)},
      {"gethostbyname", P(&GetHostByNameImpl)},
      {"gethostbyaddr", P(&GetHostByAddrImpl)},
      {"getprotobyname", P(&GetProtoByNameImpl)},
      {"getprotobynumber", P(&GetProtoByNumberImpl)},
      {"getservbyname", P(&GetServByNameImpl)},
      {"getservbyport", P(&GetServByPortImpl)},
  };
  return e;
}

const std::vector<Export>& AddrInfoExports() {
  static const std::vector<Export> e = {
      {"getaddrinfo", P(&GetAddrInfoImpl)},
      {"freeaddrinfo", P(&FreeAddrInfoImpl)},
      {"getnameinfo", P(&GetNameInfoImpl)},
  };
  return e;
}

struct Module {
  const char* name;
  bool legacy;
  bool addrInfo;
};
constexpr Module kModules[] = {
    {"ws2_32.dll", true, true},
    {"wship6.dll", false, true},
    {"wsock32.dll", true, false},
};

}  // namespace

TSocketModule LoadSocketModule(const std::string& name) {
  for (const auto& m : kModules)
    if (rtl::SameTextAscii(name, m.name)) return &m;
  return nullptr;
}

void FreeSocketModule(TSocketModule) {}

TSocketProcAddress GetSocketProcAddress(TSocketModule module, const std::string& name) {
  if (!module) return nullptr;
  const auto* m = static_cast<const Module*>(module);
  auto find = [&](const std::vector<Export>& list) -> TSocketProcAddress {
    for (const auto& e : list)
      if (name == e.name) return e.proc;
    return nullptr;
  };
  if (m->legacy)
    if (auto p = find(LegacyExports())) return p;
  if (m->addrInfo) return find(AddrInfoExports());
  return nullptr;
}

}  // namespace qelvo::platform

