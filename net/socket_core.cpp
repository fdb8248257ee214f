// TBlockSocket's core: construction, hooks, errors and their reporting, socket options
// (queued while no OS socket exists), creation, addresses, connection and name lookups.
// Waits and throttling, sending and receive framing have their own files.
#include "net/socket_core.h"

#include <cstring>

#include "net/ip_text.h"
#include "platform/clock.h"

namespace qelvo::net {

TBlockSocket::TBlockSocket() { EnsureSocketLibrary(); }
TBlockSocket::TBlockSocket(const std::string&) : TBlockSocket() {}

TBlockSocket::~TBlockSocket() {
  // The derived part is gone here; only the plain close runs, without hooks that could
  // reach a half-destroyed owner.
  OnStatus = nullptr;
  OnMonitor = nullptr;
  OnReadFilter = nullptr;
  OnHeartbeat = nullptr;
  if (FSocket != platform::kInvalidSocket) Sockets().closesocket(FSocket);
  FSocket = platform::kInvalidSocket;
}

// ---- hooks -----------------------------------------------------------------------

void TBlockSocket::ReportStatus(THookSocketReason Reason, const std::string& Value) {
  if (OnStatus) OnStatus(this, Reason, Value);
}

void TBlockSocket::NotifyMonitor(bool Writing, const void* Buffer, int32_t Len) {
  if (OnMonitor) OnMonitor(this, Writing, Buffer, Len);
}

void TBlockSocket::NotifyHeartbeat() {
  if (OnHeartbeat && HeartbeatRate != 0) OnHeartbeat(this);
}

void TBlockSocket::NotifyCreateSocket() {
  if (OnCreateSocket) OnCreateSocket(this);
}

void TBlockSocket::ApplyReadFilter(void* Buffer, int32_t& Len) {
  if (!OnReadFilter || Len <= 0) return;
  ByteString s(static_cast<const char*>(Buffer), static_cast<size_t>(Len));
  OnReadFilter(this, s);
  if (s.size() > static_cast<size_t>(Len)) s.resize(static_cast<size_t>(Len));
  std::memcpy(Buffer, s.data(), s.size());
  Len = static_cast<int32_t>(s.size());
}

// ---- errors ----------------------------------------------------------------------

void TBlockSocket::ResetLastError() {
  LastError = 0;
  LastErrorDesc.clear();
}

int32_t TBlockSocket::SockCheck(int32_t SockResult) {
  ResetLastError();
  if (SockResult == platform::kSocketError) {
    LastError = Sockets().WSAGetLastError();
    LastErrorDesc = GetErrorDescEx();
  }
  return LastError;
}

void TBlockSocket::ExceptCheck() {
  LastErrorDesc = GetErrorDescEx();
  if (LastError == 0 || LastError == WSAEWOULDBLOCK || LastError == WSAEINPROGRESS) return;
  ReportStatus(HR_Error, std::to_string(LastError) + "," + LastErrorDesc);
  if (RaiseExcept) {
    throw ESocketError(LastError, "TCP/IP Socket error " + std::to_string(LastError) + ": " + LastErrorDesc,
                       LastErrorDesc);
  }
}

std::string TBlockSocket::GetErrorDescEx() { return GetErrorDesc(LastError); }

bool TBlockSocket::CheckStop() {
  NotifyHeartbeat();
  if (!StopFlag) return false;
  StopFlag = false;
  LastError = WSAECONNABORTED;
  ExceptCheck();
  return true;
}

// ---- options ---------------------------------------------------------------------

void TBlockSocket::RequestOption(const TSocketOption& Value) {
  if (FSocket == platform::kInvalidSocket) FDelayedOptions.insert(FDelayedOptions.begin(), Value);
  else ApplyOption(Value);
}

void TBlockSocket::ApplyOption(const TSocketOption& Value) {
  const auto& api = Sockets();
  auto setInt = [&](int level, int name, int32_t v) { api.setsockopt(FSocket, level, name, &v, sizeof v); };
  switch (Value.Option) {
    case SOT_Linger: {
      platform::TLinger l{static_cast<uint16_t>(Value.Enabled ? 1 : 0), static_cast<uint16_t>(Value.Value / 1000)};
      api.setsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_LINGER, &l, sizeof l);
      break;
    }
    case SOT_RecvBuff: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_RCVBUF, Value.Value); break;
    case SOT_SendBuff: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_SNDBUF, Value.Value); break;
    case SOT_NonBlock: {
      FNonBlockMode = Value.Enabled;
      uint32_t arg = Value.Enabled ? 1 : 0;
      api.ioctlsocket(FSocket, wsa::WS_FIONBIO, &arg);
      break;
    }
    case SOT_RecvTimeout: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_RCVTIMEO, Value.Value); break;
    case SOT_SendTimeout: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_SNDTIMEO, Value.Value); break;
    case SOT_Reuse: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_REUSEADDR, Value.Enabled ? 1 : 0); break;
    case SOT_TTL:
      if (IP6used) setInt(wsa::WS_IPPROTO_IPV6, wsa::WS_IPV6_UNICAST_HOPS, Value.Value);
      else setInt(wsa::WS_IPPROTO_IP, wsa::WS_IP_TTL, Value.Value);
      break;
    case SOT_Broadcast: setInt(wsa::WS_SOL_SOCKET, wsa::WS_SO_BROADCAST, Value.Enabled ? 1 : 0); break;
    case SOT_MulticastTTL:
      if (IP6used) setInt(wsa::WS_IPPROTO_IPV6, wsa::WS_IPV6_MULTICAST_HOPS, Value.Value);
      else setInt(wsa::WS_IPPROTO_IP, wsa::WS_IP_MULTICAST_TTL, Value.Value);
      break;
    case SOT_MulticastLoop:
      if (IP6used) setInt(wsa::WS_IPPROTO_IPV6, wsa::WS_IPV6_MULTICAST_LOOP, Value.Enabled ? 1 : 0);
      else setInt(wsa::WS_IPPROTO_IP, wsa::WS_IP_MULTICAST_LOOP, Value.Enabled ? 1 : 0);
      break;
  }
}

void TBlockSocket::ApplyPendingOptions() {
  // The front holds the latest request, so walking backwards keeps request order.
  std::vector<TSocketOption> pending;
  pending.swap(FDelayedOptions);
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) ApplyOption(*it);
}

void TBlockSocket::SetLinger(bool Enable, int32_t Linger) { RequestOption({SOT_Linger, Enable, Linger}); }
void TBlockSocket::EnableReuse(bool Value) { RequestOption({SOT_Reuse, Value, 0}); }
void TBlockSocket::SetTimeout(int32_t Timeout) {
  SetSendTimeout(Timeout);
  SetRecvTimeout(Timeout);
}
void TBlockSocket::SetSendTimeout(int32_t Timeout) { RequestOption({SOT_SendTimeout, false, Timeout}); }
void TBlockSocket::SetRecvTimeout(int32_t Timeout) { RequestOption({SOT_RecvTimeout, false, Timeout}); }
void TBlockSocket::SetNonBlockMode(bool value) { RequestOption({SOT_NonBlock, value, 0}); }
void TBlockSocket::SetSizeRecvBuffer(int32_t size) { RequestOption({SOT_RecvBuff, false, size}); }
void TBlockSocket::SetSizeSendBuffer(int32_t size) { RequestOption({SOT_SendBuff, false, size}); }
void TBlockSocket::SetTTL(int32_t ttl) { RequestOption({SOT_TTL, false, ttl}); }

int32_t TBlockSocket::SizeRecvBuffer() {
  int32_t v = 0;
  int len = sizeof v;
  if (Sockets().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_RCVBUF, &v, &len) != 0) return 1024;
  return v;
}

int32_t TBlockSocket::SizeSendBuffer() {
  int32_t v = 0;
  int len = sizeof v;
  if (Sockets().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_SNDBUF, &v, &len) != 0) return 1024;
  return v;
}

int32_t TBlockSocket::TTL() {
  int32_t v = 0;
  int len = sizeof v;
  const int rc = IP6used ? Sockets().getsockopt(FSocket, wsa::WS_IPPROTO_IPV6, wsa::WS_IPV6_UNICAST_HOPS, &v, &len)
                         : Sockets().getsockopt(FSocket, wsa::WS_IPPROTO_IP, wsa::WS_IP_TTL, &v, &len);
  return rc == 0 ? v : -1;
}

const TWSAData& TBlockSocket::WSAData() const { return StartupData(); }

// ---- creation and addresses ------------------------------------------------------

void TBlockSocket::SetFamily(TSocketFamily value) {
  FFamily = value;
  FFamilySave = value;
}

void TBlockSocket::SetSocket(TSocketHandle value) {
  RecvCounter = 0;
  SendCounter = 0;
  FSocket = value;
  FDset.assign(1, platform::TPollFd{FSocket, 0, 0});
  GetSins();
  IP6used = FRemoteSin.sin_family == wsa::WS_AF_INET6;
}

void TBlockSocket::CreateSocketFor(const TVarSin& Sin) {
  StopFlag = false;
  RecvCounter = 0;
  SendCounter = 0;
  ResetLastError();
  if (FSocket != platform::kInvalidSocket) return;
  LineBuffer.clear();
  FBinded = false;
  IP6used = Sin.sin_family == wsa::WS_AF_INET6;
  FSocket = Sockets().socket(IP6used ? wsa::WS_AF_INET6 : wsa::WS_AF_INET, GetSocketType(), GetSocketProtocol());
  if (FSocket == platform::kInvalidSocket) LastError = Sockets().WSAGetLastError();
  FDset.assign(1, platform::TPollFd{FSocket, 0, 0});
  ExceptCheck();
  ReportStatus(HR_SocketCreate, IP6used ? "IPv6" : "IPv4");
  if (FSocket != platform::kInvalidSocket) ApplyPendingOptions();
  NotifyCreateSocket();
}

void TBlockSocket::CreateSocket() {
  if (FFamily == SF_Any || FSocket != platform::kInvalidSocket) return;
  TVarSin sin{};
  sin.sin_family = static_cast<uint16_t>(FamilyToAddressFamily(FFamily));
  CreateSocketFor(sin);
}

void TBlockSocket::CreateSocketByName(const std::string& value) {
  TVarSin sin{};
  ResolveEndpoint(sin, value, "0");
  if (LastError == 0) CreateSocketFor(sin);
}

void TBlockSocket::ResolveEndpoint(TVarSin& Sin, const std::string& IP, const std::string& Port) {
  ReportStatus(HR_ResolvingBegin, IP + ":" + Port);
  ResetLastError();
  TSocketFamily f = FFamily;
  if (FSocket == platform::kInvalidSocket && f == SF_Any) {
    if (IsIPv4Text(IP)) f = SF_IP4;
    else if (IsIPv6Text(IP)) f = SF_IP6;
  }
  LastError = FillSocketAddress(Sin, IP, Port, FamilyToAddressFamily(f), GetSocketProtocol(), GetSocketType(),
                                PreferIP4);
  ReportStatus(HR_ResolvingEnd, SocketAddressText(Sin) + ":" + std::to_string(SocketAddressPort(Sin)));
}

void TBlockSocket::GetSinLocal() {
  int len = sizeof FLocalSin;
  Sockets().getsockname(FSocket, &FLocalSin, &len);
}

void TBlockSocket::GetSinRemote() {
  int len = sizeof FRemoteSin;
  Sockets().getpeername(FSocket, &FRemoteSin, &len);
}

void TBlockSocket::GetSins() {
  GetSinLocal();
  GetSinRemote();
}

void TBlockSocket::SetRemoteSin(const std::string& IP, const std::string& Port) {
  TVarSin sin{};
  ResolveEndpoint(sin, IP, Port);
  if (LastError == 0) FRemoteSin = sin;
}

std::string TBlockSocket::GetLocalSinIP() { return SocketAddressText(FLocalSin); }
std::string TBlockSocket::GetRemoteSinIP() { return SocketAddressText(FRemoteSin); }
int32_t TBlockSocket::GetLocalSinPort() { return SocketAddressPort(FLocalSin); }
int32_t TBlockSocket::GetRemoteSinPort() { return SocketAddressPort(FRemoteSin); }

std::string TBlockSocket::LocalName() {
  char buf[256] = {};
  if (Sockets().gethostname(buf, 255) != 0) buf[0] = '\0';
  std::string s(buf);
  return s.empty() ? "127.0.0.1" : s;
}

// ---- connection ------------------------------------------------------------------

void TBlockSocket::Bind(const std::string& IP, const std::string& Port) {
  ResetLastError();
  if (FSocket == platform::kInvalidSocket && FFamily == SF_Any && IP == "0.0.0.0" && Port == "0") return;
  TVarSin sin{};
  ResolveEndpoint(sin, IP, Port);
  if (LastError == 0) {
    if (FSocket == platform::kInvalidSocket) CreateSocketFor(sin);
    if (LastError == 0) {
      SockCheck(Sockets().bind(FSocket, &sin, SocketAddressLength(sin)));
      GetSinLocal();
      LineBuffer.clear();
      FBinded = true;
    }
  }
  ExceptCheck();
  ReportStatus(HR_Bind, IP + ":" + Port);
}

void TBlockSocket::Connect(const std::string& IP, const std::string& Port) { PlainConnect(IP, Port); }

void TBlockSocket::PlainConnect(const std::string& IP, const std::string& Port) {
  TVarSin sin{};
  ResolveEndpoint(sin, IP, Port);
  if (LastError == 0) {
    if (FSocket == platform::kInvalidSocket) CreateSocketFor(sin);
    if (LastError == 0) {
      if (ConnectionTimeout <= 0) {
        SockCheck(Sockets().connect(FSocket, &sin, SocketAddressLength(sin)));
      } else {
        const bool saved = FNonBlockMode;
        ApplyOption({SOT_NonBlock, true, 0});
        SockCheck(Sockets().connect(FSocket, &sin, SocketAddressLength(sin)));
        if (LastError == WSAEINPROGRESS || LastError == WSAEWOULDBLOCK) {
          if (!CanWrite(ConnectionTimeout)) {
            if (LastError == 0) LastError = WSAETIMEDOUT;
          } else {
            // Writable also means "failed"; the pending error tells which.
            int32_t pending = 0;
            int len = sizeof pending;
            if (Sockets().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_ERROR, &pending, &len) == 0) LastError = pending;
          }
        }
        ApplyOption({SOT_NonBlock, saved, 0});
      }
      if (LastError == 0) GetSins();
    }
  }
  LineBuffer.clear();
  FLastCR = false;
  FLastLF = false;
  ExceptCheck();
  ReportStatus(HR_Connect, IP + ":" + Port);
}

void TBlockSocket::Listen() { PlainListen(); }

void TBlockSocket::PlainListen() {
  SockCheck(Sockets().listen(FSocket, 2147483647));
  GetSins();
  ExceptCheck();
  ReportStatus(HR_Listen, "");
}

TSocketHandle TBlockSocket::Accept() { return PlainAccept(); }

TSocketHandle TBlockSocket::PlainAccept() {
  int len = sizeof FRemoteSin;
  const TSocketHandle h = Sockets().accept(FSocket, &FRemoteSin, &len);
  SockCheck(h == platform::kInvalidSocket ? platform::kSocketError : 0);
  ExceptCheck();
  ReportStatus(HR_Accept, "");
  return h;
}

void TBlockSocket::CloseSocket() { AbortSocket(); }

void TBlockSocket::AbortSocket() {
  if (FSocket != platform::kInvalidSocket) Sockets().closesocket(FSocket);
  FSocket = platform::kInvalidSocket;
  FDelayedOptions.clear();
  FFamily = FFamilySave;
  ReportStatus(HR_SocketClose, "");
}

// ---- name lookups ----------------------------------------------------------------

void TBlockSocket::ResolveNameToIP(const std::string& Name, rtl::TStringList& IPList) {
  LookupHostAddresses(Name, FamilyToAddressFamily(FFamily), GetSocketProtocol(), GetSocketType(), IPList);
}

std::string TBlockSocket::ResolveName(const std::string& Name) {
  rtl::TStringList list;
  ResolveNameToIP(Name, list);
  return list.Strings(0);
}

uint16_t TBlockSocket::ResolvePort(const std::string& Port) {
  return LookupPortNumber(Port, FamilyToAddressFamily(FFamily), GetSocketProtocol(), GetSocketType());
}

std::string TBlockSocket::ResolveIPToName(const std::string& IP) {
  std::string ip = IP;
  if (!IsIPv4Text(ip) && !IsIPv6Text(ip)) ip = ResolveName(ip);
  return LookupHostName(ip, FamilyToAddressFamily(FFamily), GetSocketProtocol(), GetSocketType());
}

}  // namespace qelvo::net
