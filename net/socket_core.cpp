#include "net/socket_core.h"

#include <algorithm>
#include <cstring>

#include "net/ip_text.h"
#include "net/text_util.h"
#include "platform/clock.h"

namespace qelvo::net {
namespace {
const TSocketEntryPoints& Api() { return Sockets(); }

ByteString LittleEndian32(uint32_t v) {
  ByteString s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
uint32_t FromLittleEndian32(const ByteString& s) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && i < s.size(); ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * i);
  return v;
}
}  // namespace

TBlockSocket::TBlockSocket() { EnsureSocketLibrary(); }
TBlockSocket::TBlockSocket(const std::string&) : TBlockSocket() {}

TBlockSocket::~TBlockSocket() {
  // The derived part is gone here; only the plain close runs, without hooks that could
  // reach a half-destroyed owner.
  OnStatus = nullptr;
  OnMonitor = nullptr;
  OnReadFilter = nullptr;
  OnHeartbeat = nullptr;
  if (FSocket != platform::kInvalidSocket) Api().closesocket(FSocket);
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
    LastError = Api().WSAGetLastError();
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
  const auto& api = Api();
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
  if (Api().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_RCVBUF, &v, &len) != 0) return 1024;
  return v;
}

int32_t TBlockSocket::SizeSendBuffer() {
  int32_t v = 0;
  int len = sizeof v;
  if (Api().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_SNDBUF, &v, &len) != 0) return 1024;
  return v;
}

int32_t TBlockSocket::TTL() {
  int32_t v = 0;
  int len = sizeof v;
  const int rc = IP6used ? Api().getsockopt(FSocket, wsa::WS_IPPROTO_IPV6, wsa::WS_IPV6_UNICAST_HOPS, &v, &len)
                         : Api().getsockopt(FSocket, wsa::WS_IPPROTO_IP, wsa::WS_IP_TTL, &v, &len);
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
  FSocket = Api().socket(IP6used ? wsa::WS_AF_INET6 : wsa::WS_AF_INET, GetSocketType(), GetSocketProtocol());
  if (FSocket == platform::kInvalidSocket) LastError = Api().WSAGetLastError();
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
  Api().getsockname(FSocket, &FLocalSin, &len);
}

void TBlockSocket::GetSinRemote() {
  int len = sizeof FRemoteSin;
  Api().getpeername(FSocket, &FRemoteSin, &len);
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
  if (Api().gethostname(buf, 255) != 0) buf[0] = '\0';
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
      SockCheck(Api().bind(FSocket, &sin, SocketAddressLength(sin)));
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
        SockCheck(Api().connect(FSocket, &sin, SocketAddressLength(sin)));
      } else {
        const bool saved = FNonBlockMode;
        ApplyOption({SOT_NonBlock, true, 0});
        SockCheck(Api().connect(FSocket, &sin, SocketAddressLength(sin)));
        if (LastError == WSAEINPROGRESS || LastError == WSAEWOULDBLOCK) {
          if (!CanWrite(ConnectionTimeout)) {
            if (LastError == 0) LastError = WSAETIMEDOUT;
          } else {
            // Writable also means "failed"; the pending error tells which.
            int32_t pending = 0;
            int len = sizeof pending;
            if (Api().getsockopt(FSocket, wsa::WS_SOL_SOCKET, wsa::WS_SO_ERROR, &pending, &len) == 0) LastError = pending;
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
  SockCheck(Api().listen(FSocket, 2147483647));
  GetSins();
  ExceptCheck();
  ReportStatus(HR_Listen, "");
}

TSocketHandle TBlockSocket::Accept() { return PlainAccept(); }

TSocketHandle TBlockSocket::PlainAccept() {
  int len = sizeof FRemoteSin;
  const TSocketHandle h = Api().accept(FSocket, &FRemoteSin, &len);
  SockCheck(h == platform::kInvalidSocket ? platform::kSocketError : 0);
  ExceptCheck();
  ReportStatus(HR_Accept, "");
  return h;
}

void TBlockSocket::CloseSocket() { AbortSocket(); }

void TBlockSocket::AbortSocket() {
  if (FSocket != platform::kInvalidSocket) Api().closesocket(FSocket);
  FSocket = platform::kInvalidSocket;
  FDelayedOptions.clear();
  FFamily = FFamilySave;
  ReportStatus(HR_SocketClose, "");
}

// ---- polling ---------------------------------------------------------------------

namespace {
// One poll of one socket for the given events; hang-up and error count as ready, so the
// next call reports them.
bool PollFor(TBlockSocket& sock, platform::TSocketHandle handle, std::vector<platform::TPollFd>& set,
             int16_t events, int32_t Timeout) {
  if (handle == platform::kInvalidSocket) {
    sock.ResetLastError();
    sock.LastError = wsa::WSAENOTSOCK;
    return false;
  }
  set.assign(1, platform::TPollFd{handle, events, 0});
  const int r = Api().WSAPoll(set.data(), 1, Timeout < 0 ? -1 : Timeout);
  sock.SockCheck(r);
  return sock.LastError == 0 && r > 0 && (set[0].revents & (events | wsa::WS_POLLHUP | wsa::WS_POLLERR)) != 0;
}
}  // namespace

bool TBlockSocket::PollReadable(int32_t Timeout) {
  return PollFor(*this, FSocket, FDset, wsa::WS_POLLRDNORM, Timeout);
}

bool TBlockSocket::PollWritable(int32_t Timeout) {
  return PollFor(*this, FSocket, FDset, wsa::WS_POLLWRNORM, Timeout);
}

namespace {
// Waits with heartbeats: Timeout mod rate first, then up to Timeout div rate + 1 polls of
// rate ms with a heartbeat before each. A stop request seen between polls ends the wait;
// stopped tells the caller so that it reports the abort rather than a timeout.
template <typename Poll, typename Heartbeat>
bool WaitWithHeartbeat(int32_t Timeout, int32_t rate, bool& stopFlag, bool& stopped, Poll poll, Heartbeat heartbeat) {
  stopped = false;
  auto stopRequested = [&] {
    if (!stopFlag) return false;
    stopFlag = false;
    stopped = true;
    return true;
  };
  if (rate != 0 && Timeout != -1) {
    bool r = poll(Timeout % rate);
    const int32_t rounds = Timeout / rate + 1;
    for (int32_t i = 0; !r && i < rounds; ++i) {
      if (stopRequested()) return false;
      heartbeat();
      r = poll(rate);
    }
    return r && !stopRequested();
  }
  bool r = poll(Timeout);
  if (!r && !stopFlag) r = poll(0);
  return r && !stopRequested();
}
}  // namespace

bool TBlockSocket::WaitReady(int32_t Timeout, bool Writable) {
  bool stopped = false;
  const bool r = WaitWithHeartbeat(
      Timeout, HeartbeatRate, StopFlag, stopped,
      [this, Writable](int32_t ms) { return Writable ? PollWritable(ms) : PollReadable(ms); },
      [this] { NotifyHeartbeat(); });
  if (stopped) LastError = WSAECONNABORTED;
  ExceptCheck();
  if (r) ReportStatus(Writable ? HR_CanWrite : HR_CanRead, "");
  return r;
}

bool TBlockSocket::CanRead(int32_t Timeout) { return WaitReady(Timeout, false); }

bool TBlockSocket::CanWrite(int32_t Timeout) { return WaitReady(Timeout, true); }

bool TBlockSocket::CanReadEx(int32_t Timeout) {
  if (!LineBuffer.empty()) return true;
  return CanRead(Timeout);
}

bool TBlockSocket::GroupCanRead(const std::vector<TBlockSocket*>& SocketList, int32_t Timeout,
                                std::vector<TBlockSocket*>& CanReadList) {
  CanReadList.clear();
  std::vector<platform::TPollFd> fds;
  std::vector<TBlockSocket*> owners;
  for (TBlockSocket* s : SocketList) {
    if (!s) continue;
    fds.push_back({s->Socket(), wsa::WS_POLLRDNORM, 0});
    owners.push_back(s);
  }
  if (fds.empty()) return false;
  const int r = Api().WSAPoll(fds.data(), static_cast<uint32_t>(fds.size()), Timeout < 0 ? -1 : Timeout);
  SockCheck(r);
  ExceptCheck();
  if (LastError != 0 || r <= 0) return false;
  for (size_t i = 0; i < fds.size(); ++i)
    if (fds[i].revents & (wsa::WS_POLLRDNORM | wsa::WS_POLLHUP | wsa::WS_POLLERR)) CanReadList.push_back(owners[i]);
  return !CanReadList.empty();
}

// ---- throttling ------------------------------------------------------------------

void TBlockSocket::ThrottleBandwidth(int32_t Length, int32_t Limit, uint32_t& NextTick) {
  if (StopFlag || Limit <= 0) return;
  const uint32_t now = TickNow();
  if (static_cast<int32_t>(NextTick - now) > 0) {
    const uint32_t w = NextTick - now;
    ReportStatus(HR_Wait, std::to_string(w));
    platform::Sleep(w % 250);
    for (uint32_t i = 0; i < w / 250 && !StopFlag; ++i) platform::Sleep(250);
  }
  NextTick = TickNow() + static_cast<uint32_t>(static_cast<double>(Length) / Limit * 1000.0);
}

// ---- sending ---------------------------------------------------------------------

int32_t TBlockSocket::SendBuffer(const void* Buffer, int32_t Length) {
  int32_t result = 0;
  if (CheckStop()) return 0;
  NotifyMonitor(true, Buffer, Length);
  const auto* p = static_cast<const char*>(Buffer);
  const int32_t chunk = SendMaxChunk > 0 ? SendMaxChunk : Length;
  int32_t offset = 0;
  while (offset < Length) {
    const int32_t piece = std::min(Length - offset, chunk);
    ThrottleBandwidth(piece, MaxSendBandwidth, FNextSend);
    int r = Api().send(FSocket, p + offset, piece, 0);
    SockCheck(r);
    if (LastError == WSAEWOULDBLOCK) {
      if (CanWrite(NonblockSendTimeout)) {
        r = Api().send(FSocket, p + offset, piece, 0);
        SockCheck(r);
      } else {
        LastError = WSAETIMEDOUT;
      }
    }
    if (LastError != 0) break;
    offset += r;
    result += r;
    SendCounter += r;
    ReportStatus(HR_WriteCount, std::to_string(r));
  }
  ExceptCheck();
  return result;
}

void TBlockSocket::SendByte(uint8_t Data) { SendString(ByteString(1, static_cast<char>(Data))); }

void TBlockSocket::SendString(const ByteString& Data) {
  SendBuffer(Data.data(), static_cast<int32_t>(Data.size()));
}

void TBlockSocket::SendInteger(int32_t Data) { SendString(LittleEndian32(static_cast<uint32_t>(Data))); }

void TBlockSocket::SendBlock(const ByteString& Data) {
  SendString(LittleEndian32(static_cast<uint32_t>(Data.size())) + Data);
}

void TBlockSocket::SendStreamCore(rtl::TStream& Stream, bool WithSize, bool BigEndian) {
  const int64_t size = Stream.Size() - Stream.Position();
  bool first = true;
  for (;;) {
    ByteString piece = ReadBytesFromStream(Stream, SendMaxChunk > 0 ? SendMaxChunk : 65536);
    if (piece.empty()) break;
    if (first && WithSize) {
      const uint32_t s = static_cast<uint32_t>(size);
      piece = (BigEndian ? PackLongWord(s) : LittleEndian32(s)) + piece;
    }
    first = false;
    SendString(piece);
    if (LastError != 0) break;
  }
}

void TBlockSocket::SendStreamRaw(rtl::TStream& Stream) { SendStreamCore(Stream, false, false); }
void TBlockSocket::SendStream(rtl::TStream& Stream) { SendStreamCore(Stream, true, false); }
void TBlockSocket::SendStreamBE(rtl::TStream& Stream) { SendStreamCore(Stream, true, true); }

int32_t TBlockSocket::SendBufferTo(const void* Buffer, int32_t Length) {
  int32_t result = 0;
  if (CheckStop()) return 0;
  NotifyMonitor(true, Buffer, Length);
  ThrottleBandwidth(Length, MaxSendBandwidth, FNextSend);
  const int r = Api().sendto(FSocket, Buffer, Length, 0, &FRemoteSin, SocketAddressLength(FRemoteSin));
  SockCheck(r);
  if (LastError == 0) {
    result = r;
    SendCounter += r;
    ReportStatus(HR_WriteCount, std::to_string(r));
  }
  ExceptCheck();
  return result;
}

// ---- receiving -------------------------------------------------------------------

int32_t TBlockSocket::CountReceived(void* Buffer, int32_t Received) {
  RecvCounter += Received;
  ReportStatus(HR_ReadCount, std::to_string(Received));
  NotifyMonitor(false, Buffer, Received);
  ApplyReadFilter(Buffer, Received);
  return Received;
}

int32_t TBlockSocket::RecvBuffer(void* Buffer, int32_t Length) {
  if (CheckStop()) return 0;
  ThrottleBandwidth(Length, MaxRecvBandwidth, FNextRecv);
  int r = Api().recv(FSocket, Buffer, Length, 0);
  if (r == 0) {
    ResetLastError();
    LastError = WSAECONNRESET;
  } else {
    SockCheck(r);
  }
  ExceptCheck();
  if (r > 0) r = CountReceived(Buffer, r);
  return r;
}

int32_t TBlockSocket::RecvBufferFrom(void* Buffer, int32_t Length) {
  if (CheckStop()) return 0;
  ThrottleBandwidth(Length, MaxRecvBandwidth, FNextRecv);
  int len = sizeof FRemoteSin;
  int r = Api().recvfrom(FSocket, Buffer, Length, 0, &FRemoteSin, &len);
  SockCheck(r);
  ExceptCheck();
  if (r > 0) r = CountReceived(Buffer, r);
  return r;
}

int32_t TBlockSocket::WaitingData() {
  uint32_t n = 0;
  if (FSocket == platform::kInvalidSocket || Api().ioctlsocket(FSocket, wsa::WS_FIONREAD, &n) != 0) return 0;
  return static_cast<int32_t>(std::min<uint32_t>(n, cMaxPacket));
}

int32_t TBlockSocket::WaitingDataEx() {
  if (!LineBuffer.empty()) return static_cast<int32_t>(LineBuffer.size());
  return WaitingData();
}

ByteString TBlockSocket::RecvPacket(int32_t Timeout) {
  ResetLastError();
  ByteString result;
  if (!LineBuffer.empty()) {
    result.swap(LineBuffer);
  } else {
    platform::Sleep(0);
    int32_t n = WaitingData();
    if (n > 0) {
      result.resize(static_cast<size_t>(n));
      const int32_t got = RecvBuffer(result.data(), n);
      result.resize(static_cast<size_t>(got > 0 ? got : 0));
    } else if (CanRead(Timeout)) {
      n = WaitingData();
      if (n == 0) {
        LastError = WSAECONNRESET;
      } else {
        result.resize(static_cast<size_t>(n));
        const int32_t got = RecvBuffer(result.data(), n);
        result.resize(static_cast<size_t>(got > 0 ? got : 0));
      }
    } else if (LastError == 0) {
      LastError = WSAETIMEDOUT;
    }
  }
  if (ConvertLineEnd && !result.empty()) {
    if ((FLastCR && result[0] == '\n') || (FLastLF && result[0] == '\r')) result.erase(0, 1);
    FLastCR = false;
    FLastLF = false;
  }
  ExceptCheck();
  return result;
}

ByteString TBlockSocket::RecvTerminated(int32_t Timeout, const ByteString& Terminator) {
  ResetLastError();
  if (Terminator.empty()) return {};
  const bool lineMode = ConvertLineEnd && Terminator == "\r\n";
  ByteString acc;
  int64_t endPos = -1;
  size_t breakLen = 0;
  int32_t timeLeft = Timeout;
  for (;;) {
    const uint32_t tick = TickNow();
    // Search only the new part (minus an overlap for a terminator split across packets).
    const size_t searchFrom = acc.size() >= Terminator.size() ? acc.size() - (Terminator.size() - 1) : 0;
    acc += RecvPacket(timeLeft);
    if (LastError != 0) break;
    if (lineMode) {
      const size_t from = acc.size() > 0 ? std::min(searchFrom, acc.size()) : 0;
      const auto cr = acc.find_first_of("\r\n", from);
      if (cr != ByteString::npos) {
        endPos = static_cast<int64_t>(cr);
        const char c = acc[cr];
        const char other = c == '\r' ? '\n' : '\r';
        if (cr + 1 < acc.size() && acc[cr + 1] == other) {
          breakLen = 2;
        } else {
          breakLen = 1;
          if (c == '\r') FLastCR = true;
          else FLastLF = true;
        }
      }
    } else {
      const auto p = acc.find(Terminator, searchFrom);
      if (p != ByteString::npos) {
        endPos = static_cast<int64_t>(p);
        breakLen = Terminator.size();
      }
    }
    // The limit applies to the line itself, not to whatever arrived after it.
    const int64_t lineLen = endPos >= 0 ? endPos : static_cast<int64_t>(acc.size());
    if (MaxLineLength != 0 && lineLen > MaxLineLength) {
      LastError = WSAENOBUFS;
      endPos = -1;
      break;
    }
    if (endPos >= 0) break;
    if (!InterPacketTimeout && timeLeft != -1) {
      timeLeft -= static_cast<int32_t>(TickSpan(tick, TickNow()));
      if (timeLeft <= 0) {
        LastError = WSAETIMEDOUT;
        break;
      }
    }
  }
  ByteString result;
  if (endPos >= 0) {
    result = acc.substr(0, static_cast<size_t>(endPos));
    acc.erase(0, static_cast<size_t>(endPos) + breakLen);
  }
  LineBuffer = acc + LineBuffer;
  ExceptCheck();
  return result;
}

ByteString TBlockSocket::RecvString(int32_t Timeout) {
  ByteString s = RecvTerminated(Timeout, "\r\n");
  if (LastError != 0) s.clear();
  return s;
}

int32_t TBlockSocket::RecvBufferEx(void* Buffer, int32_t Len, int32_t Timeout) {
  ResetLastError();
  if (Len <= 0) return 0;
  auto* out = static_cast<char*>(Buffer);
  int32_t copied = 0;
  int32_t timeLeft = Timeout;
  for (;;) {
    const uint32_t tick = TickNow();
    if (LineBuffer.empty() && !FLastCR && !FLastLF) {
      copied += ReceiveDirect(out + copied, Len - copied, timeLeft);
    } else {
      const ByteString packet = RecvPacket(timeLeft);
      const size_t n = std::min(packet.size(), static_cast<size_t>(Len - copied));
      std::memcpy(out + copied, packet.data(), n);
      copied += static_cast<int32_t>(n);
      if (n < packet.size()) LineBuffer = packet.substr(n) + LineBuffer;
    }
    if (LastError != 0 || copied >= Len) break;
    if (!InterPacketTimeout && timeLeft != -1) {
      timeLeft -= static_cast<int32_t>(TickSpan(tick, TickNow()));
      if (timeLeft <= 0) {
        LastError = WSAETIMEDOUT;
        break;
      }
    }
  }
  ExceptCheck();
  return copied;
}

int32_t TBlockSocket::ReceiveDirect(char* Buffer, int32_t Length, int32_t Timeout) {
  ResetLastError();
  platform::Sleep(0);
  int32_t n = WaitingData();
  if (n <= 0) {
    if (CanRead(Timeout)) {
      n = WaitingData();
      if (n == 0) LastError = WSAECONNRESET;
    } else if (LastError == 0) {
      LastError = WSAETIMEDOUT;
    }
  }
  int32_t got = 0;
  if (LastError == 0 && n > 0) got = std::max(RecvBuffer(Buffer, std::min(n, Length)), 0);
  else ExceptCheck();
  return got;
}

ByteString TBlockSocket::RecvBufferStr(int32_t Len, int32_t Timeout) {
  ResetLastError();
  if (Len < 1) return {};
  // Grows with the bytes that arrive: Len may come from the peer and is not trusted.
  ByteString result;
  result.reserve(static_cast<size_t>(std::min(Len, cMaxPacket)));
  int32_t timeLeft = Timeout;
  for (;;) {
    const uint32_t tick = TickNow();
    const size_t want = static_cast<size_t>(Len) - result.size();
    if (LineBuffer.empty() && !FLastCR && !FLastLF) {
      // Straight from the OS into the result: what RecvPacket would do, minus a copy.
      const size_t old = result.size();
      const size_t room = std::min(want, static_cast<size_t>(cMaxPacket));
      result.resize(old + room);
      const int32_t got = ReceiveDirect(result.data() + old, static_cast<int32_t>(room), timeLeft);
      result.resize(old + static_cast<size_t>(got));
    } else {
      ByteString packet = RecvPacket(timeLeft);
      if (packet.size() > want) {
        LineBuffer = packet.substr(want) + LineBuffer;
        packet.resize(want);
      }
      result += packet;
    }
    if (LastError != 0 || result.size() >= static_cast<size_t>(Len)) break;
    if (!InterPacketTimeout && timeLeft != -1) {
      timeLeft -= static_cast<int32_t>(TickSpan(tick, TickNow()));
      if (timeLeft <= 0) {
        LastError = WSAETIMEDOUT;
        break;
      }
    }
  }
  ExceptCheck();
  if (LastError != 0) result.clear();
  return result;
}

uint8_t TBlockSocket::RecvByte(int32_t Timeout) {
  ResetLastError();
  uint8_t result = 0;
  if (LineBuffer.empty()) LineBuffer = RecvPacket(Timeout);
  if (LastError == 0 && !LineBuffer.empty()) {
    result = static_cast<uint8_t>(LineBuffer[0]);
    LineBuffer.erase(0, 1);
  }
  ExceptCheck();
  return result;
}

int32_t TBlockSocket::RecvInteger(int32_t Timeout) {
  const ByteString s = RecvBufferStr(4, Timeout);
  return LastError == 0 ? static_cast<int32_t>(FromLittleEndian32(s)) : 0;
}

ByteString TBlockSocket::RecvBlock(int32_t Timeout) {
  const int32_t n = RecvInteger(Timeout);
  if (LastError != 0) return {};
  return RecvBufferStr(n, Timeout);
}

void TBlockSocket::RecvStreamRaw(rtl::TStream& Stream, int32_t Timeout) {
  for (;;) {
    const ByteString s = RecvPacket(Timeout);
    if (LastError != 0) break;
    WriteBytesToStream(Stream, s);
  }
}

void TBlockSocket::RecvStreamSize(rtl::TStream& Stream, int32_t Timeout, int64_t Size) {
  ResetLastError();
  if (Size <= 0) return;
  const int32_t chunk = SendMaxChunk > 0 ? SendMaxChunk : 65536;
  // One piece buffer for the whole transfer; a piece reaches the stream only when complete.
  std::string piece(static_cast<size_t>(std::min<int64_t>(chunk, Size)), '\0');
  int64_t left = Size;
  while (left > 0) {
    const int32_t want = static_cast<int32_t>(std::min<int64_t>(chunk, left));
    const int32_t got = RecvBufferEx(piece.data(), want, Timeout);
    if (LastError != 0 || got != want) return;
    Stream.WriteBuffer(piece.data(), want);
    left -= want;
  }
}

void TBlockSocket::RecvStream(rtl::TStream& Stream, int32_t Timeout) {
  const int32_t n = RecvInteger(Timeout);
  if (LastError == 0) RecvStreamSize(Stream, Timeout, n);
}

void TBlockSocket::RecvStreamBE(rtl::TStream& Stream, int32_t Timeout) {
  const int32_t n = static_cast<int32_t>(SwapByteOrder(static_cast<uint32_t>(RecvInteger(Timeout))));
  if (LastError == 0) RecvStreamSize(Stream, Timeout, n);
}

int32_t TBlockSocket::PeekBuffer(void* Buffer, int32_t Length) {
  const int r = Api().recv(FSocket, Buffer, Length, wsa::WS_MSG_PEEK);
  SockCheck(r);
  ExceptCheck();
  return r > 0 ? r : 0;
}

uint8_t TBlockSocket::PeekByte(int32_t Timeout) {
  uint8_t b = 0;
  // Buffered bytes come before anything still queued in the OS.
  if (!LineBuffer.empty()) {
    ResetLastError();
    return static_cast<uint8_t>(LineBuffer[0]);
  }
  if (CanRead(Timeout)) {
    PeekBuffer(&b, 1);
  } else {
    if (LastError == 0) LastError = WSAETIMEDOUT;
    ExceptCheck();
  }
  return b;
}

void TBlockSocket::Purge() {
  platform::Sleep(1);
  try {
    while (!LineBuffer.empty() || WaitingData() >= 1) {
      RecvPacket(0);
      if (LastError != 0) break;
    }
  } catch (...) {
    // Draining is best effort; whatever a hook raised here has nothing left to act on.
  }
  ResetLastError();
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
