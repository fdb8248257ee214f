#include "net/socket_api.h"

#include <cstring>

#include "net/socket_core.h"
#include "net/text_util.h"

namespace qelvo::net {
namespace {

struct TLibraryState {
  platform::TSocketModule Library = nullptr;
  platform::TSocketModule Ip6Library = nullptr;
  TSocketEntryPoints Table;
  bool AddrInfoMain = false;
  bool AddrInfoIp6 = false;
  int RefCount = 0;
  TWSAData Startup{};
};

TLibraryState& State() {
  static TLibraryState s;
  return s;
}

template <typename F>
void Fetch(platform::TSocketModule module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(platform::GetSocketProcAddress(module, name));
}

void FetchAll(platform::TSocketModule m, TSocketEntryPoints& t) {
  Fetch(m, "WSAStartup", t.WSAStartup);
  Fetch(m, "WSACleanup", t.WSACleanup);
  Fetch(m, "WSAGetLastError", t.WSAGetLastError);
  Fetch(m, "WSAPoll", t.WSAPoll);
  Fetch(m, "socket", t.socket);
  Fetch(m, "closesocket", t.closesocket);
  Fetch(m, "bind", t.bind);
  Fetch(m, "connect", t.connect);
  Fetch(m, "listen", t.listen);
  Fetch(m, "accept", t.accept);
  Fetch(m, "send", t.send);
  Fetch(m, "recv", t.recv);
  Fetch(m, "sendto", t.sendto);
  Fetch(m, "recvfrom", t.recvfrom);
  Fetch(m, "ioctlsocket", t.ioctlsocket);
  Fetch(m, "setsockopt", t.setsockopt);
  Fetch(m, "getsockopt", t.getsockopt);
  Fetch(m, "shutdown", t.shutdown);
  Fetch(m, "getsockname", t.getsockname);
  Fetch(m, "getpeername", t.getpeername);
  Fetch(m, "gethostname", t.gethostname);
  Fetch(m, "htons", t.htons);
  Fetch(m, "ntohs", t.ntohs);
  Fetch(m, "htonl", t.htonl);
  Fetch(m, "ntohl", t.ntohl);
  Fetch(m, "inet_addr", t.inet_addr);
  Fetch(m, "inet_ntoa", t.inet_ntoa);
  Fetch(m, "gethostbyname", t.gethostbyname);
  Fetch(m, "gethostbyaddr", t.gethostbyaddr);
  Fetch(m, "getprotobyname", t.getprotobyname);
  Fetch(m, "getprotobynumber", t.getprotobynumber);
  Fetch(m, "getservbyname", t.getservbyname);
  Fetch(m, "getservbyport", t.getservbyport);
  Fetch(m, "getaddrinfo", t.getaddrinfo);
  Fetch(m, "freeaddrinfo", t.freeaddrinfo);
  Fetch(m, "getnameinfo", t.getnameinfo);
}

bool HasAddrInfo(const TSocketEntryPoints& t) { return t.getaddrinfo && t.freeaddrinfo && t.getnameinfo; }

// Up to nine digits, as DecimalOrZero reads them.
bool IsDecimal(const std::string& s) {
  uint64_t v = 0;
  return ParseDecimal(s, v, 9);
}

// Frees an address-info list on every path.
struct TAddrInfoList {
  TAddrInfo* List = nullptr;
  ~TAddrInfoList() {
    if (List && Sockets().freeaddrinfo) Sockets().freeaddrinfo(List);
  }
};

// The process-wide load behind EnsureSocketLibrary; stops and releases at exit.
struct TProcessLoad {
  bool Loaded = false;
  TProcessLoad() {
    Loaded = LoadSocketLibrary("ws2_32.dll");
    if (Loaded && Sockets().WSAStartup) Sockets().WSAStartup(0x0202, &State().Startup);
  }
  ~TProcessLoad() {
    if (!Loaded) return;
    if (Sockets().WSACleanup) Sockets().WSACleanup();
    ReleaseSocketLibrary();
  }
};

}  // namespace

int FamilyToAddressFamily(TSocketFamily family) {
  switch (family) {
    case SF_IP4: return wsa::WS_AF_INET;
    case SF_IP6: return wsa::WS_AF_INET6;
    default: return wsa::WS_AF_UNSPEC;
  }
}

int SocketAddressLength(const TVarSin& address) {
  switch (address.sin_family) {
    case wsa::WS_AF_INET: return 16;
    case wsa::WS_AF_INET6: return 28;
    default: return 0;
  }
}

const TSocketEntryPoints& Sockets() { return State().Table; }

std::recursive_mutex& SocketLibraryLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool LoadSocketLibrary(const std::string& libraryName) {
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  TLibraryState& s = State();
  if (s.RefCount > 0) {
    ++s.RefCount;
    return true;
  }
  s.AddrInfoMain = false;
  s.AddrInfoIp6 = false;
  s.Library = platform::LoadSocketModule(libraryName);
  if (!s.Library) return false;
  s.Table = TSocketEntryPoints{};
  FetchAll(s.Library, s.Table);
  s.AddrInfoMain = HasAddrInfo(s.Table);
  if (!s.AddrInfoMain) {
    s.Ip6Library = platform::LoadSocketModule("wship6.dll");
    if (s.Ip6Library) {
      Fetch(s.Ip6Library, "getaddrinfo", s.Table.getaddrinfo);
      Fetch(s.Ip6Library, "freeaddrinfo", s.Table.freeaddrinfo);
      Fetch(s.Ip6Library, "getnameinfo", s.Table.getnameinfo);
      s.AddrInfoIp6 = HasAddrInfo(s.Table);
    }
  }
  ++s.RefCount;
  return true;
}

bool ReleaseSocketLibrary() {
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  TLibraryState& s = State();
  if (s.RefCount > 0) --s.RefCount;
  if (s.RefCount == 0) {
    if (s.Library) platform::FreeSocketModule(s.Library);
    if (s.Ip6Library) platform::FreeSocketModule(s.Ip6Library);
    s.Library = nullptr;
    s.Ip6Library = nullptr;
  }
  return true;
}

int SocketLibraryLoadCount() {
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  return State().RefCount;
}

bool HasAddrInfoApi(int family) {
  const TLibraryState& s = State();
  return s.AddrInfoMain || (family == wsa::WS_AF_INET6 && s.AddrInfoIp6);
}

void EnsureSocketLibrary() {
  static TProcessLoad load;
  if (!load.Loaded) {
    const std::string text = "Error loading Socket interface (ws2_32.dll)!";
    throw ESocketError(0, text, text);
  }
}

const TWSAData& StartupData() { return State().Startup; }

int LookupAddress(const std::string& ip, const std::string& port, TAddrInfo& hints, TVarSin& address) {
  std::memset(&address, 0, sizeof address);
  const auto& t = Sockets();
  TAddrInfoList result;
  int rc;
  if (hints.ai_socktype == wsa::WS_SOCK_RAW) {
    hints.ai_socktype = 0;
    hints.ai_protocol = 0;
    rc = t.getaddrinfo(ip.c_str(), nullptr, &hints, &result.List);
  } else if (ip == "0.0.0.0" || ip == "::0") {
    hints.ai_flags |= wsa::WS_AI_PASSIVE;
    rc = t.getaddrinfo(nullptr, port.c_str(), &hints, &result.List);
  } else if (ip == "127.0.0.1" || ip == "::1") {
    rc = t.getaddrinfo(nullptr, port.c_str(), &hints, &result.List);
  } else {
    rc = t.getaddrinfo(ip.c_str(), port.c_str(), &hints, &result.List);
  }
  if (rc == 0 && result.List && result.List->ai_addr) {
    const size_t n = std::min(result.List->ai_addrlen, sizeof(TVarSin));
    std::memcpy(&address, result.List->ai_addr, n);
  }
  return rc;
}

int FillSocketAddress(TVarSin& address, const std::string& ip, const std::string& port, int family, int protocol,
                      int socketType, bool preferIP4) {
  std::memset(&address, 0, sizeof address);
  const auto& t = Sockets();
  if (HasAddrInfoApi(family)) {
    TAddrInfo hints1{};
    TAddrInfo hints2{};
    hints1.ai_socktype = hints2.ai_socktype = socketType;
    hints1.ai_protocol = hints2.ai_protocol = protocol;
    bool twoPasses = false;
    if (family == wsa::WS_AF_UNSPEC) {
      twoPasses = true;
      hints1.ai_family = preferIP4 ? wsa::WS_AF_INET : wsa::WS_AF_INET6;
      hints2.ai_family = preferIP4 ? wsa::WS_AF_INET6 : wsa::WS_AF_INET;
    } else {
      hints1.ai_family = family;
    }
    TVarSin sin;
    int rc = LookupAddress(ip, port, hints1, sin);
    if (rc == 0) {
      address = sin;
    } else if (twoPasses) {
      rc = LookupAddress(ip, port, hints2, sin);
      if (rc == 0) address = sin;
    }
    return rc;
  }

  // Legacy IPv4 path; the lookups share static storage.
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  int result = 0;
  address.in4.sin_family = wsa::WS_AF_INET;
  uint16_t portNet = 0;
  bool portFound = false;
  if (t.getprotobynumber && !IsDecimal(port)) {
    if (const auto* proto = t.getprotobynumber(protocol)) {
      if (t.getservbyname) {
        if (const auto* serv = t.getservbyname(port.c_str(), proto->p_name)) {
          portNet = serv->s_port;
          portFound = true;
        }
      }
    }
  }
  if (!portFound) portNet = t.htons(static_cast<uint16_t>(DecimalOrZero(port)));
  address.in4.sin_port = portNet;
  if (ip == "255.255.255.255") {
    std::memset(address.in4.sin_addr, 0xFF, 4);
    return 0;
  }
  const uint32_t a = t.inet_addr(ip.c_str());
  if (a != wsa::WS_INADDR_NONE) {
    std::memcpy(address.in4.sin_addr, &a, 4);
    return 0;
  }
  const auto* host = t.gethostbyname(ip.c_str());
  result = t.WSAGetLastError();
  if (host) {
    result = 0;
    if (host->h_addr_list && host->h_addr_list[0] && host->h_length == 4)
      std::memcpy(address.in4.sin_addr, host->h_addr_list[0], 4);
  }
  return result;
}

std::string SocketAddressText(const TVarSin& address) {
  const auto& t = Sockets();
  if (HasAddrInfoApi(address.sin_family)) {
    char host[wsa::WS_NI_MAXHOST] = {};
    char serv[wsa::WS_NI_MAXSERV] = {};
    const int rc = t.getnameinfo(&address, SocketAddressLength(address), host, sizeof host, serv, sizeof serv,
                                 wsa::WS_NI_NUMERICHOST | wsa::WS_NI_NUMERICSERV);
    return rc == 0 ? std::string(host) : std::string();
  }
  if (address.sin_family != wsa::WS_AF_INET) return {};
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  const char* s = t.inet_ntoa ? t.inet_ntoa(address.in4.sin_addr) : nullptr;
  return s ? std::string(s) : std::string();
}

int SocketAddressPort(const TVarSin& address) {
  // Network order, at the same offset for both families.
  const uint8_t* p = address.raw + 2;
  return (p[0] << 8) | p[1];
}

void LookupHostAddresses(const std::string& name, int family, int protocol, int socketType, rtl::TStringList& list) {
  list.Clear();
  const auto& t = Sockets();
  if (HasAddrInfoApi(family)) {
    TAddrInfo hints{};
    hints.ai_socktype = socketType;
    hints.ai_protocol = protocol;
    TAddrInfoList result;
    if (t.getaddrinfo(name.c_str(), nullptr, &hints, &result.List) == 0) {
      for (TAddrInfo* p = result.List; p; p = p->ai_next) {
        if (family == wsa::WS_AF_INET6 && p->ai_family == wsa::WS_AF_INET) continue;
        if (family == wsa::WS_AF_INET && p->ai_family == wsa::WS_AF_INET6) continue;
        if (!p->ai_addr) continue;
        char host[wsa::WS_NI_MAXHOST] = {};
        char serv[wsa::WS_NI_MAXSERV] = {};
        if (t.getnameinfo(p->ai_addr, static_cast<int>(p->ai_addrlen), host, sizeof host, serv, sizeof serv,
                          wsa::WS_NI_NUMERICHOST | wsa::WS_NI_NUMERICSERV) == 0)
          list.Add(host);
      }
    }
  } else {
    if (t.inet_addr(name.c_str()) == wsa::WS_INADDR_NONE) {
      std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
      if (const auto* host = t.gethostbyname(name.c_str())) {
        for (char** p = host->h_addr_list; p && *p && host->h_length == 4; ++p) {
          const auto* b = reinterpret_cast<const uint8_t*>(*p);
          list.Add(std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                   std::to_string(b[3]));
        }
      }
    } else {
      list.Add(name);
    }
  }
  if (list.Count() == 0) list.Add("0.0.0.0");
}

uint16_t LookupPortNumber(const std::string& port, int family, int protocol, int socketType) {
  const auto& t = Sockets();
  if (HasAddrInfoApi(family)) {
    TAddrInfo hints{};
    hints.ai_flags = wsa::WS_AI_PASSIVE;
    hints.ai_socktype = socketType;
    hints.ai_protocol = protocol;
    TAddrInfoList result;
    if (t.getaddrinfo(nullptr, port.c_str(), &hints, &result.List) == 0 && result.List && result.List->ai_addr &&
        (result.List->ai_family == wsa::WS_AF_INET || result.List->ai_family == wsa::WS_AF_INET6))
      return static_cast<uint16_t>(SocketAddressPort(*result.List->ai_addr));
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
  if (t.getprotobynumber && t.getservbyname) {
    if (const auto* proto = t.getprotobynumber(protocol))
      if (const auto* serv = t.getservbyname(port.c_str(), proto->p_name)) return t.ntohs(serv->s_port);
  }
  return static_cast<uint16_t>(DecimalOrZero(port));
}

std::string LookupHostName(const std::string& ip, int family, int protocol, int socketType) {
  std::string result = ip;
  const auto& t = Sockets();
  if (HasAddrInfoApi(family)) {
    TAddrInfo hints{};
    hints.ai_socktype = socketType;
    hints.ai_protocol = protocol;
    TAddrInfoList list;
    if (t.getaddrinfo(ip.c_str(), nullptr, &hints, &list.List) == 0 && list.List && list.List->ai_addr) {
      char host[wsa::WS_NI_MAXHOST] = {};
      char serv[wsa::WS_NI_MAXSERV] = {};
      if (t.getnameinfo(list.List->ai_addr, static_cast<int>(list.List->ai_addrlen), host, sizeof host, serv,
                        sizeof serv, wsa::WS_NI_NUMERICSERV) == 0)
        result = host;
    }
    return result;
  }
  const uint32_t a = t.inet_addr(ip.c_str());
  if (a != wsa::WS_INADDR_NONE) {
    std::lock_guard<std::recursive_mutex> guard(SocketLibraryLock());
    if (const auto* host = t.gethostbyaddr(&a, 4, wsa::WS_AF_INET))
      if (host->h_name) result = host->h_name;
  }
  return result;
}

}  // namespace qelvo::net
