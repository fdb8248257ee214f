#pragma once
// The sockets library as the network client sees it: a Windows Sockets 2 style module
// whose entry points are fetched by name. Every value crossing this boundary uses the
// Windows Sockets numbering (address families, option levels and numbers, ioctl
// requests, resolver flags, error codes) and the Windows record layouts (28-byte
// socket address, address-info list); the POSIX implementation translates to and
// from the C library. Polling is poll()-based (WSAPoll), so any descriptor number works.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qelvo::platform {

using TSocketHandle = int32_t;
inline constexpr TSocketHandle kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

// Windows Sockets numbers (prefixed: the C library defines the bare names as macros).
namespace wsa {
inline constexpr int WS_AF_UNSPEC = 0;
inline constexpr int WS_AF_INET = 2;
inline constexpr int WS_AF_INET6 = 23;

inline constexpr int WS_SOCK_STREAM = 1;
inline constexpr int WS_SOCK_DGRAM = 2;
inline constexpr int WS_SOCK_RAW = 3;

inline constexpr int WS_IPPROTO_IP = 0;
inline constexpr int WS_IPPROTO_TCP = 6;
inline constexpr int WS_IPPROTO_UDP = 17;
inline constexpr int WS_IPPROTO_IPV6 = 41;

inline constexpr int WS_SOL_SOCKET = 0xffff;
inline constexpr int WS_SO_REUSEADDR = 0x0004;
inline constexpr int WS_SO_BROADCAST = 0x0020;
inline constexpr int WS_SO_LINGER = 0x0080;
inline constexpr int WS_SO_SNDBUF = 0x1001;
inline constexpr int WS_SO_RCVBUF = 0x1002;
inline constexpr int WS_SO_SNDTIMEO = 0x1005;
inline constexpr int WS_SO_RCVTIMEO = 0x1006;
inline constexpr int WS_SO_ERROR = 0x1007;
inline constexpr int WS_SO_TYPE = 0x1008;

inline constexpr int WS_IP_TTL = 4;
inline constexpr int WS_IP_MULTICAST_TTL = 10;
inline constexpr int WS_IP_MULTICAST_LOOP = 11;
// The unicast hop limit of IPv6 sockets as this layer numbers it.
inline constexpr int WS_IPV6_UNICAST_HOPS = 8;
inline constexpr int WS_IPV6_MULTICAST_HOPS = 10;
inline constexpr int WS_IPV6_MULTICAST_LOOP = 11;

inline constexpr int WS_TCP_NODELAY = 0x0001;

inline constexpr long WS_FIONREAD = 0x4004667F;
inline constexpr long WS_FIONBIO = static_cast<long>(0x8004667EUL);

inline constexpr int WS_MSG_PEEK = 2;
inline constexpr int WS_SD_RECEIVE = 0;
inline constexpr int WS_SD_SEND = 1;
inline constexpr int WS_SD_BOTH = 2;

inline constexpr int WS_AI_PASSIVE = 1;
inline constexpr int WS_AI_CANONNAME = 2;
inline constexpr int WS_AI_NUMERICHOST = 4;
inline constexpr int WS_NI_NOFQDN = 1;
inline constexpr int WS_NI_NUMERICHOST = 2;
inline constexpr int WS_NI_NAMEREQD = 4;
inline constexpr int WS_NI_NUMERICSERV = 8;
inline constexpr int WS_NI_DGRAM = 16;
inline constexpr int WS_NI_MAXHOST = 1025;
inline constexpr int WS_NI_MAXSERV = 32;

inline constexpr uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;

inline constexpr int16_t WS_POLLRDNORM = 0x0100;
inline constexpr int16_t WS_POLLWRNORM = 0x0010;
inline constexpr int16_t WS_POLLERR = 0x0001;
inline constexpr int16_t WS_POLLHUP = 0x0002;
inline constexpr int16_t WS_POLLNVAL = 0x0004;

// Error codes the library's last-error call returns.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAEDISCON = 10101;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
}  // namespace wsa

// Socket address records in the Windows layout (family first, port in network order).
struct TSockAddrIn {
  uint16_t sin_family;
  uint16_t sin_port;
  uint8_t sin_addr[4];
  uint8_t sin_zero[8];
};
struct TSockAddrIn6 {
  uint16_t sin6_family;
  uint16_t sin6_port;
  uint32_t sin6_flowinfo;
  uint8_t sin6_addr[16];
  uint32_t sin6_scope_id;
};
union TVarSin {
  uint16_t sin_family;
  TSockAddrIn in4;
  TSockAddrIn6 in6;
  uint8_t raw[28];
};
static_assert(sizeof(TVarSin) == 28);

struct TAddrInfo {
  int32_t ai_flags;
  int32_t ai_family;
  int32_t ai_socktype;
  int32_t ai_protocol;
  size_t ai_addrlen;
  char* ai_canonname;
  TVarSin* ai_addr;
  TAddrInfo* ai_next;
};

struct TWSAData {
  uint16_t wVersion;
  uint16_t wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  uint16_t iMaxSockets;
  uint16_t iMaxUdpDg;
  char* lpVendorInfo;
};

struct TPollFd {
  TSocketHandle fd;
  int16_t events;
  int16_t revents;
};

struct TLinger {
  uint16_t l_onoff;
  uint16_t l_linger;
};

// Legacy lookup records; they point into storage shared by every caller, so callers
// serialise these calls and copy what they need before the next one.
struct THostEnt {
  char* h_name;
  char** h_aliases;
  int16_t h_addrtype;
  int16_t h_length;
  char** h_addr_list;
};
struct TProtoEnt {
  char* p_name;
  char** p_aliases;
  int16_t p_proto;
};
struct TServEnt {
  char* s_name;
  char** s_aliases;
  uint16_t s_port;  // network order
  char* s_proto;
};

// Entry point signatures, by the names the module exports.
using TWSAStartup = int (*)(uint16_t version, TWSAData* data);
using TWSACleanup = int (*)();
using TWSAGetLastError = int (*)();
using TWSAPoll = int (*)(TPollFd* fds, uint32_t count, int timeoutMs);
using TSocketProc = TSocketHandle (*)(int af, int type, int protocol);
using TCloseSocket = int (*)(TSocketHandle s);
using TBind = int (*)(TSocketHandle s, const TVarSin* addr, int len);
using TConnect = int (*)(TSocketHandle s, const TVarSin* addr, int len);
using TListen = int (*)(TSocketHandle s, int backlog);
using TAccept = TSocketHandle (*)(TSocketHandle s, TVarSin* addr, int* len);
using TSend = int (*)(TSocketHandle s, const void* buf, int len, int flags);
using TRecv = int (*)(TSocketHandle s, void* buf, int len, int flags);
using TSendTo = int (*)(TSocketHandle s, const void* buf, int len, int flags, const TVarSin* to, int tolen);
using TRecvFrom = int (*)(TSocketHandle s, void* buf, int len, int flags, TVarSin* from, int* fromlen);
using TIoctlSocket = int (*)(TSocketHandle s, long cmd, uint32_t* arg);
using TSetSockOpt = int (*)(TSocketHandle s, int level, int optname, const void* optval, int optlen);
using TGetSockOpt = int (*)(TSocketHandle s, int level, int optname, void* optval, int* optlen);
using TShutdown = int (*)(TSocketHandle s, int how);
using TGetSockName = int (*)(TSocketHandle s, TVarSin* addr, int* len);
using TGetPeerName = int (*)(TSocketHandle s, TVarSin* addr, int* len);
using TGetHostName = int (*)(char* name, int len);
using THtons = uint16_t (*)(uint16_t v);
using TNtohs = uint16_t (*)(uint16_t v);
using THtonl = uint32_t (*)(uint32_t v);
using TNtohl = uint32_t (*)(uint32_t v);
using TInetAddr = uint32_t (*)(const char* cp);
using TInetNtoa = const char* (*)(const uint8_t addr[4]);
using TGetHostByName = THostEnt* (*)(const char* name);
using TGetHostByAddr = THostEnt* (*)(const void* addr, int len, int type);
using TGetProtoByName = TProtoEnt* (*)(const char* name);
using TGetProtoByNumber = TProtoEnt* (*)(int proto);
using TGetServByName = TServEnt* (*)(const char* name, const char* proto);
using TGetServByPort = TServEnt* (*)(int port, const char* proto);
using TGetAddrInfo = int (*)(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** res);
using TFreeAddrInfo = void (*)(TAddrInfo* ai);
using TGetNameInfo = int (*)(const TVarSin* addr, int addrlen, char* host, uint32_t hostlen, char* serv,
                             uint32_t servlen, int flags);

// A loaded sockets module and its exports. Known modules: "ws2_32.dll" (everything),
// "wship6.dll" (only the address-info calls) and "wsock32.dll" (no address-info
// calls). Names compare without case. Returns nullptr for any other name.
using TSocketModule = const void*;
using TSocketProcAddress = void (*)();
TSocketModule LoadSocketModule(const std::string& name);
void FreeSocketModule(TSocketModule module);
// nullptr when the module does not export the name.
TSocketProcAddress GetSocketProcAddress(TSocketModule module, const std::string& name);

}  // namespace qelvo::platform
