// The sockets module on Windows: the modules are loaded with LoadLibraryW and their entry
// points fetched with GetProcAddress. The network client's table uses this layer's fixed
// signatures (32-bit socket handles, the 32-bit layouts of the start-up and service
// records, the C calling convention), so each export the client asks for is handed out
// as an adapter that calls the real entry point of the loaded module. Numbers and
// errors are already in the Windows Sockets numbering.
#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {

// Real entry points, by slot. One loaded module per name serves every caller; a name
// loaded twice shares it, counted.
enum Slot {
  kWSAStartup, kWSACleanup, kWSAGetLastError, kWSAPoll, kSocket, kCloseSocket, kBind, kConnect, kListen, kAccept,
  kSend, kRecv, kSendTo, kRecvFrom, kIoctlSocket, kSetSockOpt, kGetSockOpt, kShutdown, kGetSockName, kGetPeerName,
  kGetHostName, kHtons, kNtohs, kHtonl, kNtohl, kInetAddr, kInetNtoa, kGetHostByName, kGetHostByAddr,
  kGetProtoByName, kGetProtoByNumber, kGetServByName, kGetServByPort, kGetAddrInfo, kFreeAddrInfo, kGetNameInfo,
  kSlotCount
};
constexpr const char* kExportNames[kSlotCount] = {
    "WSAStartup", "WSACleanup", "WSAGetLastError", "WSAPoll", "socket", "closesocket", "bind", "connect", "listen",
    "accept", "send", "recv", "sendto", "recvfrom", "ioctlsocket", "setsockopt", "getsockopt", "shutdown",
    "getsockname", "getpeername", "gethostname", "htons", "ntohs", "htonl", "ntohl", "inet_addr", "inet_ntoa",
    "gethostbyname", "gethostbyaddr", "getprotobyname", "getprotobynumber", "getservbyname", "getservbyport",
    "getaddrinfo", "freeaddrinfo", "getnameinfo"};

struct TLoadedModule {
  const char* name;
  HMODULE handle = nullptr;
  int refs = 0;
  FARPROC procs[kSlotCount] = {};
};
// The address-info calls of wship6.dll get adapters of their own, so both modules' calls
// can sit in one table.
TLoadedModule gWs2{"ws2_32.dll"};
TLoadedModule gWship6{"wship6.dll"};
TLoadedModule gWsock{"wsock32.dll"};
std::mutex gLoadLock;

template <typename F>
F Real(const TLoadedModule& m, Slot slot) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(m.procs[slot]));
}

SOCKET ToSocket(TSocketHandle s) { return s == kInvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<uint32_t>(s)); }
// Socket handles are kernel handles, which fit 32 bits on every Windows.
TSocketHandle FromSocket(SOCKET s) { return s == INVALID_SOCKET ? kInvalidSocket : static_cast<TSocketHandle>(s); }

// The entry points with their system signatures (calling convention included).
using RealStartup = decltype(&::WSAStartup);
using RealCleanup = decltype(&::WSACleanup);
using RealLastError = decltype(&::WSAGetLastError);
using RealPoll = int(WSAAPI*)(WSAPOLLFD*, ULONG, INT);
using RealSocket = decltype(&::socket);
using RealClose = decltype(&::closesocket);
using RealBind = decltype(&::bind);
using RealConnect = decltype(&::connect);
using RealListen = decltype(&::listen);
using RealAccept = decltype(&::accept);
using RealSend = decltype(&::send);
using RealRecv = decltype(&::recv);
using RealSendTo = decltype(&::sendto);
using RealRecvFrom = decltype(&::recvfrom);
using RealIoctl = decltype(&::ioctlsocket);
using RealSetOpt = decltype(&::setsockopt);
using RealGetOpt = decltype(&::getsockopt);
using RealShutdown = decltype(&::shutdown);
using RealGetName = decltype(&::getsockname);
using RealHostName = decltype(&::gethostname);
using RealHtons = decltype(&::htons);
using RealHtonl = decltype(&::htonl);
using RealInetAddr = decltype(&::inet_addr);
using RealInetNtoa = decltype(&::inet_ntoa);
using RealHostByName = decltype(&::gethostbyname);
using RealHostByAddr = decltype(&::gethostbyaddr);
using RealProtoByName = decltype(&::getprotobyname);
using RealProtoByNumber = decltype(&::getprotobynumber);
using RealServByName = decltype(&::getservbyname);
using RealServByPort = decltype(&::getservbyport);
using RealGetAddrInfo = int(WSAAPI*)(const char*, const char*, const ADDRINFOA*, ADDRINFOA**);
using RealFreeAddrInfo = void(WSAAPI*)(ADDRINFOA*);
using RealGetNameInfo = int(WSAAPI*)(const sockaddr*, socklen_t, char*, DWORD, char*, DWORD, int);

const TLoadedModule& W() { return gWs2.handle ? gWs2 : gWsock; }

int StartupA(uint16_t version, TWSAData* data) {
  WSADATA d{};
  const int rc = Real<RealStartup>(W(), kWSAStartup)(version, &d);
  if (data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = d.wVersion;
    data->wHighVersion = d.wHighVersion;
    std::strncpy(data->szDescription, d.szDescription, sizeof data->szDescription - 1);
    std::strncpy(data->szSystemStatus, d.szSystemStatus, sizeof data->szSystemStatus - 1);
    data->iMaxSockets = d.iMaxSockets;
    data->iMaxUdpDg = d.iMaxUdpDg;
    data->lpVendorInfo = d.lpVendorInfo;
  }
  return rc;
}
int CleanupA() { return Real<RealCleanup>(W(), kWSACleanup)(); }
int LastErrorA() { return Real<RealLastError>(W(), kWSAGetLastError)(); }

int PollA(TPollFd* fds, uint32_t count, int timeoutMs) {
  std::vector<WSAPOLLFD> native(count);
  for (uint32_t i = 0; i < count; ++i) native[i] = {ToSocket(fds[i].fd), fds[i].events, 0};
  const int rc = Real<RealPoll>(W(), kWSAPoll)(native.data(), count, timeoutMs);
  for (uint32_t i = 0; i < count; ++i) fds[i].revents = native[i].revents;
  return rc;
}

TSocketHandle SocketA(int af, int type, int protocol) { return FromSocket(Real<RealSocket>(W(), kSocket)(af, type, protocol)); }
int CloseA(TSocketHandle s) { return Real<RealClose>(W(), kCloseSocket)(ToSocket(s)); }
const sockaddr* Sa(const TVarSin* a) { return reinterpret_cast<const sockaddr*>(a); }
sockaddr* Sa(TVarSin* a) { return reinterpret_cast<sockaddr*>(a); }
int BindA(TSocketHandle s, const TVarSin* a, int len) { return Real<RealBind>(W(), kBind)(ToSocket(s), Sa(a), len); }
int ConnectA(TSocketHandle s, const TVarSin* a, int len) {
  return Real<RealConnect>(W(), kConnect)(ToSocket(s), Sa(a), len);
}
int ListenA(TSocketHandle s, int backlog) { return Real<RealListen>(W(), kListen)(ToSocket(s), backlog); }
TSocketHandle AcceptA(TSocketHandle s, TVarSin* a, int* len) {
  return FromSocket(Real<RealAccept>(W(), kAccept)(ToSocket(s), Sa(a), len));
}
int SendA(TSocketHandle s, const void* b, int len, int flags) {
  return Real<RealSend>(W(), kSend)(ToSocket(s), static_cast<const char*>(b), len, flags);
}
int RecvA(TSocketHandle s, void* b, int len, int flags) {
  return Real<RealRecv>(W(), kRecv)(ToSocket(s), static_cast<char*>(b), len, flags);
}
int SendToA(TSocketHandle s, const void* b, int len, int flags, const TVarSin* to, int tolen) {
  return Real<RealSendTo>(W(), kSendTo)(ToSocket(s), static_cast<const char*>(b), len, flags, Sa(to), tolen);
}
int RecvFromA(TSocketHandle s, void* b, int len, int flags, TVarSin* from, int* fromlen) {
  return Real<RealRecvFrom>(W(), kRecvFrom)(ToSocket(s), static_cast<char*>(b), len, flags, Sa(from), fromlen);
}
int IoctlA(TSocketHandle s, long cmd, uint32_t* arg) {
  u_long v = arg ? *arg : 0;
  const int rc = Real<RealIoctl>(W(), kIoctlSocket)(ToSocket(s), cmd, arg ? &v : nullptr);
  if (arg) *arg = v;
  return rc;
}
// The unicast hop limit of IPv6 sockets is option 4 on Windows; this layer also takes 8.
int OptName(int level, int optname) {
  return level == wsa::WS_IPPROTO_IPV6 && optname == wsa::WS_IPV6_UNICAST_HOPS ? 4 : optname;
}
int SetOptA(TSocketHandle s, int level, int optname, const void* v, int len) {
  return Real<RealSetOpt>(W(), kSetSockOpt)(ToSocket(s), level, OptName(level, optname), static_cast<const char*>(v), len);
}
int GetOptA(TSocketHandle s, int level, int optname, void* v, int* len) {
  return Real<RealGetOpt>(W(), kGetSockOpt)(ToSocket(s), level, OptName(level, optname), static_cast<char*>(v), len);
}
int ShutdownA(TSocketHandle s, int how) { return Real<RealShutdown>(W(), kShutdown)(ToSocket(s), how); }
int SockNameA(TSocketHandle s, TVarSin* a, int* len) {
  return Real<RealGetName>(W(), kGetSockName)(ToSocket(s), Sa(a), len);
}
int PeerNameA(TSocketHandle s, TVarSin* a, int* len) {
  return Real<RealGetName>(W(), kGetPeerName)(ToSocket(s), Sa(a), len);
}
int HostNameA(char* name, int len) { return Real<RealHostName>(W(), kGetHostName)(name, len); }
uint16_t HtonsA(uint16_t v) { return Real<RealHtons>(W(), kHtons)(v); }
uint16_t NtohsA(uint16_t v) { return Real<RealHtons>(W(), kNtohs)(v); }
uint32_t HtonlA(uint32_t v) { return Real<RealHtonl>(W(), kHtonl)(v); }
uint32_t NtohlA(uint32_t v) { return Real<RealHtonl>(W(), kNtohl)(v); }
uint32_t InetAddrA(const char* cp) { return Real<RealInetAddr>(W(), kInetAddr)(cp); }
const char* InetNtoaA(const uint8_t addr[4]) {
  in_addr a;
  std::memcpy(&a, addr, 4);
  return Real<RealInetNtoa>(W(), kInetNtoa)(a);
}
// hostent and protoent have this layer's layout on every Windows.
THostEnt* HostByNameA(const char* name) {
  return reinterpret_cast<THostEnt*>(Real<RealHostByName>(W(), kGetHostByName)(name));
}
THostEnt* HostByAddrA(const void* addr, int len, int type) {
  return reinterpret_cast<THostEnt*>(Real<RealHostByAddr>(W(), kGetHostByAddr)(static_cast<const char*>(addr), len, type));
}
TProtoEnt* ProtoByNameA(const char* name) {
  return reinterpret_cast<TProtoEnt*>(Real<RealProtoByName>(W(), kGetProtoByName)(name));
}
TProtoEnt* ProtoByNumberA(int proto) {
  return reinterpret_cast<TProtoEnt*>(Real<RealProtoByNumber>(W(), kGetProtoByNumber)(proto));
}
// 64-bit Windows orders the service record's fields differently: copy into ours.
TServEnt* StoreServ(const servent* s) {
  static TServEnt copy;
  if (!s) return nullptr;
  copy = {s->s_name, s->s_aliases, static_cast<uint16_t>(s->s_port), s->s_proto};
  return &copy;
}
TServEnt* ServByNameA(const char* name, const char* proto) {
  return StoreServ(Real<RealServByName>(W(), kGetServByName)(name, proto));
}
TServEnt* ServByPortA(int port, const char* proto) {
  return StoreServ(Real<RealServByPort>(W(), kGetServByPort)(port, proto));
}

// ADDRINFOA has this layer's layout; only the calling convention differs.
template <TLoadedModule* M>
int AddrInfoAd(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** res) {
  return Real<RealGetAddrInfo>(*M, kGetAddrInfo)(node, service, reinterpret_cast<const ADDRINFOA*>(hints),
                                                 reinterpret_cast<ADDRINFOA**>(res));
}
template <TLoadedModule* M>
void FreeAddrInfoAd(TAddrInfo* ai) {
  Real<RealFreeAddrInfo>(*M, kFreeAddrInfo)(reinterpret_cast<ADDRINFOA*>(ai));
}
template <TLoadedModule* M>
int NameInfoAd(const TVarSin* a, int len, char* host, uint32_t hostlen, char* serv, uint32_t servlen, int flags) {
  return Real<RealGetNameInfo>(*M, kGetNameInfo)(Sa(a), len, host, hostlen, serv, servlen, flags);
}

template <typename F>
TSocketProcAddress P(F f) {
  return reinterpret_cast<TSocketProcAddress>(f);
}

TSocketProcAddress Adapter(const TLoadedModule& m, Slot slot) {
  static const TSocketProcAddress common[kGetAddrInfo] = {
      P(&StartupA), P(&CleanupA), P(&LastErrorA), P(&PollA), P(&SocketA), P(&CloseA), P(&BindA), P(&ConnectA),
      P(&ListenA), P(&AcceptA), P(&SendA), P(&RecvA), P(&SendToA), P(&RecvFromA), P(&IoctlA), P(&SetOptA),
      P(&GetOptA), P(&ShutdownA), P(&SockNameA), P(&PeerNameA), P(&HostNameA), P(&HtonsA), P(&NtohsA), P(&HtonlA),
      P(&NtohlA), P(&InetAddrA), P(&InetNtoaA), P(&HostByNameA), P(&HostByAddrA), P(&ProtoByNameA),
      P(&ProtoByNumberA), P(&ServByNameA), P(&ServByPortA)};
  if (slot < kGetAddrInfo) return &m == &gWship6 ? nullptr : common[slot];
  const bool ip6 = &m == &gWship6;
  switch (slot) {
    case kGetAddrInfo: return ip6 ? P(&AddrInfoAd<&gWship6>) : P(&AddrInfoAd<&gWs2>);
    case kFreeAddrInfo: return ip6 ? P(&FreeAddrInfoAd<&gWship6>) : P(&FreeAddrInfoAd<&gWs2>);
    case kGetNameInfo: return ip6 ? P(&NameInfoAd<&gWship6>) : P(&NameInfoAd<&gWs2>);
    default: return nullptr;
  }
}

TLoadedModule* Known(const std::string& name) {
  for (TLoadedModule* m : {&gWs2, &gWship6, &gWsock})
    if (rtl::SameTextAscii(name, m->name)) return m;
  return nullptr;
}

}  // namespace

TSocketModule LoadSocketModule(const std::string& name) {
  TLoadedModule* m = Known(name);
  if (!m) return nullptr;
  std::lock_guard<std::mutex> lock(gLoadLock);
  if (m->refs == 0) {
    m->handle = ::LoadLibraryW(win32::Wide(m->name).c_str());
    if (!m->handle) return nullptr;
    for (int i = 0; i < kSlotCount; ++i) m->procs[i] = ::GetProcAddress(m->handle, kExportNames[i]);
  }
  ++m->refs;
  return m;
}

void FreeSocketModule(TSocketModule module) {
  auto* m = static_cast<TLoadedModule*>(const_cast<void*>(module));
  if (!m) return;
  std::lock_guard<std::mutex> lock(gLoadLock);
  if (m->refs > 0 && --m->refs == 0) {
    ::FreeLibrary(m->handle);
    m->handle = nullptr;
    std::memset(m->procs, 0, sizeof m->procs);
  }
}

TSocketProcAddress GetSocketProcAddress(TSocketModule module, const std::string& name) {
  const auto* m = static_cast<const TLoadedModule*>(module);
  if (!m || !m->handle) return nullptr;
  for (int i = 0; i < kSlotCount; ++i) {
    if (name == kExportNames[i]) return m->procs[i] ? Adapter(*m, static_cast<Slot>(i)) : nullptr;
  }
  return nullptr;
}

}  // namespace qelvo::platform
