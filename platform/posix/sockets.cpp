// POSIX implementation of the sockets module: each entry point is a thin wrapper over
// the C library that converts records, option numbers and flags from the Windows
// Sockets numbering and records the mapped error for WSAGetLastError.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/sockets_native.h"
#include "rtl/text.h"

namespace qelvo::platform {
namespace {

using sockets_native::MapErrno;
using sockets_native::MapGaiError;
using sockets_native::MapHErrno;

thread_local int lastSocketError = 0;

int Fail(int wsaCode) {
  lastSocketError = wsaCode;
  return kSocketError;
}
int FailErrno() { return Fail(MapErrno(errno)); }

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
int WSAGetLastErrorImpl() { return lastSocketError; }

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

// Shared storage of the legacy lookups (callers serialise them).
struct HostStore {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<char*> aliasPtrs;
  std::vector<std::string> addrs;
  std::vector<char*> addrPtrs;
  THostEnt ent{};
};
HostStore hostStore;

THostEnt* StoreHost(const hostent* h) {
  if (!h) {
    lastSocketError = MapHErrno(h_errno);
    return nullptr;
  }
  HostStore& st = hostStore;
  st.name = h->h_name ? h->h_name : "";
  st.aliases.clear();
  for (char** p = h->h_aliases; p && *p; ++p) st.aliases.emplace_back(*p);
  st.aliasPtrs.clear();
  for (auto& a : st.aliases) st.aliasPtrs.push_back(a.data());
  st.aliasPtrs.push_back(nullptr);
  st.addrs.clear();
  for (char** p = h->h_addr_list; p && *p; ++p) st.addrs.emplace_back(*p, static_cast<size_t>(h->h_length));
  st.addrPtrs.clear();
  for (auto& a : st.addrs) st.addrPtrs.push_back(a.data());
  st.addrPtrs.push_back(nullptr);
  st.ent.h_name = st.name.data();
  st.ent.h_aliases = st.aliasPtrs.data();
  st.ent.h_addrtype = static_cast<int16_t>(FromNativeFamily(h->h_addrtype));
  st.ent.h_length = static_cast<int16_t>(h->h_length);
  st.ent.h_addr_list = st.addrPtrs.data();
  return &st.ent;
}

THostEnt* GetHostByNameImpl(const char* name) { return StoreHost(name ? ::gethostbyname(name) : nullptr); }

THostEnt* GetHostByAddrImpl(const void* addr, int len, int type) {
  return StoreHost(addr ? ::gethostbyaddr(addr, static_cast<socklen_t>(len), ToNativeFamily(type)) : nullptr);
}

struct ProtoStore {
  std::string name;
  char* noAliases[1] = {nullptr};
  TProtoEnt ent{};
};
ProtoStore protoStore;

TProtoEnt* StoreProto(const protoent* p) {
  if (!p) {
    lastSocketError = wsa::WSANO_DATA;
    return nullptr;
  }
  protoStore.name = p->p_name ? p->p_name : "";
  protoStore.ent = {protoStore.name.data(), protoStore.noAliases, static_cast<int16_t>(p->p_proto)};
  return &protoStore.ent;
}
TProtoEnt* GetProtoByNameImpl(const char* name) { return StoreProto(name ? ::getprotobyname(name) : nullptr); }
TProtoEnt* GetProtoByNumberImpl(int proto) { return StoreProto(::getprotobynumber(proto)); }

struct ServStore {
  std::string name;
  std::string proto;
  char* noAliases[1] = {nullptr};
  TServEnt ent{};
};
ServStore servStore;

TServEnt* StoreServ(const servent* s) {
  if (!s) {
    lastSocketError = wsa::WSANO_DATA;
    return nullptr;
  }
  servStore.name = s->s_name ? s->s_name : "";
  servStore.proto = s->s_proto ? s->s_proto : "";
  servStore.ent = {servStore.name.data(), servStore.noAliases, static_cast<uint16_t>(s->s_port),
                   servStore.proto.data()};
  return &servStore.ent;
}
TServEnt* GetServByNameImpl(const char* name, const char* proto) {
  return StoreServ(name ? ::getservbyname(name, proto) : nullptr);
}
TServEnt* GetServByPortImpl(int port, const char* proto) { return StoreServ(::getservbyport(port, proto)); }

void FreeAddrInfoImpl(TAddrInfo* ai) {
  while (ai) {
    TAddrInfo* next = ai->ai_next;
    delete[] ai->ai_canonname;
    delete ai->ai_addr;
    delete ai;
    ai = next;
  }
}

int GetAddrInfoImpl(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** res) {
  if (!res) return wsa::WSAEFAULT;
  *res = nullptr;
  addrinfo h{};
  if (hints) {
    if (hints->ai_flags & wsa::WS_AI_PASSIVE) h.ai_flags |= AI_PASSIVE;
    if (hints->ai_flags & wsa::WS_AI_CANONNAME) h.ai_flags |= AI_CANONNAME;
    if (hints->ai_flags & wsa::WS_AI_NUMERICHOST) h.ai_flags |= AI_NUMERICHOST;
    const int f = ToNativeFamily(hints->ai_family);
    if (f < 0) return wsa::WSAEAFNOSUPPORT;
    h.ai_family = f;
    h.ai_socktype = hints->ai_socktype;
    h.ai_protocol = hints->ai_protocol;
  }
  addrinfo* list = nullptr;
  errno = 0;
  const int rc = ::getaddrinfo(node, service, hints ? &h : nullptr, &list);
  const int saved = errno;
  if (rc != 0) {
    const int code = MapGaiError(rc, saved);
    lastSocketError = code;
    return code;
  }
  TAddrInfo* head = nullptr;
  TAddrInfo** tail = &head;
  for (addrinfo* p = list; p; p = p->ai_next) {
    const int fam = FromNativeFamily(p->ai_family);
    if (fam == wsa::WS_AF_UNSPEC) continue;
    auto* item = new TAddrInfo{};
    item->ai_flags = hints ? hints->ai_flags : 0;
    item->ai_family = fam;
    item->ai_socktype = p->ai_socktype;
    item->ai_protocol = p->ai_protocol;
    item->ai_addr = new TVarSin{};
    item->ai_addrlen = static_cast<size_t>(FromNative(p->ai_addr, *item->ai_addr));
    if (p->ai_canonname) {
      const size_t n = std::strlen(p->ai_canonname);
      item->ai_canonname = new char[n + 1];
      std::memcpy(item->ai_canonname, p->ai_canonname, n + 1);
    }
    *tail = item;
    tail = &item->ai_next;
  }
  ::freeaddrinfo(list);
  *res = head;
  return 0;
}

int GetNameInfoImpl(const TVarSin* addr, int addrlen, char* host, uint32_t hostlen, char* serv, uint32_t servlen,
                    int flags) {
  sockaddr_storage ss;
  socklen_t sl = 0;
  if (!ToNative(addr, addrlen, ss, sl)) return wsa::WSAEAFNOSUPPORT;
  int nf = 0;
  if (flags & wsa::WS_NI_NOFQDN) nf |= NI_NOFQDN;
  if (flags & wsa::WS_NI_NUMERICHOST) nf |= NI_NUMERICHOST;
  if (flags & wsa::WS_NI_NAMEREQD) nf |= NI_NAMEREQD;
  if (flags & wsa::WS_NI_NUMERICSERV) nf |= NI_NUMERICSERV;
  if (flags & wsa::WS_NI_DGRAM) nf |= NI_DGRAM;
  errno = 0;
  const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&ss), sl, host, host ? hostlen : 0, serv,
                               serv ? servlen : 0, nf);
  if (rc != 0) {
    const int code = MapGaiError(rc, errno);
    lastSocketError = code;
    return code;
  }
  return 0;
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
