// Name lookups of the POSIX sockets module: the legacy host, protocol and service lookups
// copy the C library's records into Windows-layout records kept in module storage, and
// the address-info calls build and free their own lists.
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/sockets_native.h"

namespace qelvo::platform::sockets_native {

namespace {

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
    SetLastSocketError(MapHErrno(h_errno));
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

}  // namespace

THostEnt* GetHostByNameImpl(const char* name) { return StoreHost(name ? ::gethostbyname(name) : nullptr); }

THostEnt* GetHostByAddrImpl(const void* addr, int len, int type) {
  return StoreHost(addr ? ::gethostbyaddr(addr, static_cast<socklen_t>(len), ToNativeFamily(type)) : nullptr);
}

namespace {

struct ProtoStore {
  std::string name;
  char* noAliases[1] = {nullptr};
  TProtoEnt ent{};
};
ProtoStore protoStore;

TProtoEnt* StoreProto(const protoent* p) {
  if (!p) {
    SetLastSocketError(wsa::WSANO_DATA);
    return nullptr;
  }
  protoStore.name = p->p_name ? p->p_name : "";
  protoStore.ent = {protoStore.name.data(), protoStore.noAliases, static_cast<int16_t>(p->p_proto)};
  return &protoStore.ent;
}
}  // namespace

TProtoEnt* GetProtoByNameImpl(const char* name) { return StoreProto(name ? ::getprotobyname(name) : nullptr); }
TProtoEnt* GetProtoByNumberImpl(int proto) { return StoreProto(::getprotobynumber(proto)); }

namespace {

struct ServStore {
  std::string name;
  std::string proto;
  char* noAliases[1] = {nullptr};
  TServEnt ent{};
};
ServStore servStore;

TServEnt* StoreServ(const servent* s) {
  if (!s) {
    SetLastSocketError(wsa::WSANO_DATA);
    return nullptr;
  }
  servStore.name = s->s_name ? s->s_name : "";
  servStore.proto = s->s_proto ? s->s_proto : "";
  servStore.ent = {servStore.name.data(), servStore.noAliases, static_cast<uint16_t>(s->s_port),
                   servStore.proto.data()};
  return &servStore.ent;
}
}  // namespace

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
    SetLastSocketError(code);
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
    SetLastSocketError(code);
    return code;
  }
  return 0;
}

}  // namespace qelvo::platform::sockets_native
