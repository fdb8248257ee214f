#pragma once
// The boundary between the socket classes and the platform's sockets library: one
// process-wide, reference-counted load of the library with its table of entry points,
// and name resolution with the IPv4/IPv6 preference. Resolvers take the address-info
// path when the library has it and the legacy IPv4-only path otherwise; the legacy
// calls return shared static data and so run under SocketLibraryLock.
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/sockets.h"
#include "rtl/string_list.h"

namespace qelvo::net {

using platform::TAddrInfo;
using platform::TSocketHandle;
using platform::TVarSin;
using platform::TWSAData;
namespace wsa = platform::wsa;

enum TSocketFamily : uint8_t { SF_Any = 0, SF_IP4 = 1, SF_IP6 = 2 };

int FamilyToAddressFamily(TSocketFamily family);
// 16 for IPv4, 28 for IPv6, 0 otherwise.
int SocketAddressLength(const TVarSin& address);

// Entry points of the loaded library; a name the library does not export stays null.
struct TSocketEntryPoints {
  platform::TWSAStartup WSAStartup = nullptr;
  platform::TWSACleanup WSACleanup = nullptr;
  platform::TWSAGetLastError WSAGetLastError = nullptr;
  platform::TWSAPoll WSAPoll = nullptr;
  platform::TSocketProc socket = nullptr;
  platform::TCloseSocket closesocket = nullptr;
  platform::TBind bind = nullptr;
  platform::TConnect connect = nullptr;
  platform::TListen listen = nullptr;
  platform::TAccept accept = nullptr;
  platform::TSend send = nullptr;
  platform::TRecv recv = nullptr;
  platform::TSendTo sendto = nullptr;
  platform::TRecvFrom recvfrom = nullptr;
  platform::TIoctlSocket ioctlsocket = nullptr;
  platform::TSetSockOpt setsockopt = nullptr;
  platform::TGetSockOpt getsockopt = nullptr;
  platform::TShutdown shutdown = nullptr;
  platform::TGetSockName getsockname = nullptr;
  platform::TGetPeerName getpeername = nullptr;
  platform::TGetHostName gethostname = nullptr;
  platform::THtons htons = nullptr;
  platform::TNtohs ntohs = nullptr;
  platform::THtonl htonl = nullptr;
  platform::TNtohl ntohl = nullptr;
  platform::TInetAddr inet_addr = nullptr;
  platform::TInetNtoa inet_ntoa = nullptr;
  platform::TGetHostByName gethostbyname = nullptr;
  platform::TGetHostByAddr gethostbyaddr = nullptr;
  platform::TGetProtoByName getprotobyname = nullptr;
  platform::TGetProtoByNumber getprotobynumber = nullptr;
  platform::TGetServByName getservbyname = nullptr;
  platform::TGetServByPort getservbyport = nullptr;
  platform::TGetAddrInfo getaddrinfo = nullptr;
  platform::TFreeAddrInfo freeaddrinfo = nullptr;
  platform::TGetNameInfo getnameinfo = nullptr;
};

// The process-wide table; valid while the library is loaded.
const TSocketEntryPoints& Sockets();
std::recursive_mutex& SocketLibraryLock();

bool LoadSocketLibrary(const std::string& libraryName = "ws2_32.dll");
bool ReleaseSocketLibrary();
int SocketLibraryLoadCount();
bool HasAddrInfoApi(int family);

// Loads and starts the library once for the process (first use) and stops it at exit;
// raises ESocketError "Error loading Socket interface (ws2_32.dll)!" when it is missing.
void EnsureSocketLibrary();
// The record filled when the library was started.
const TWSAData& StartupData();

int FillSocketAddress(TVarSin& address, const std::string& ip, const std::string& port, int family, int protocol,
                      int socketType, bool preferIP4);
int LookupAddress(const std::string& ip, const std::string& port, TAddrInfo& hints, TVarSin& address);
std::string SocketAddressText(const TVarSin& address);
int SocketAddressPort(const TVarSin& address);
void LookupHostAddresses(const std::string& name, int family, int protocol, int socketType, rtl::TStringList& list);
uint16_t LookupPortNumber(const std::string& port, int family, int protocol, int socketType);
std::string LookupHostName(const std::string& ip, int family, int protocol, int socketType);

}  // namespace qelvo::net
