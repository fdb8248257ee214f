#include "net/tcp_socket.h"

#include <algorithm>
#include <cstring>

#include "net/codec_util.h"
#include "net/ip_text.h"
#include "net/text_util.h"

namespace qelvo::net {
TTCPBlockSocket::TTCPBlockSocket() : FSSL(std::make_unique<TSSLNone>(this)) {}

TTCPBlockSocket::TTCPBlockSocket(const TSSLClass& SSLPlugin)
    : FSSL(SSLPlugin ? SSLPlugin(this) : std::make_unique<TSSLNone>(this)) {
  if (!FSSL) FSSL = std::make_unique<TSSLNone>(this);
}

void TTCPBlockSocket::SetSSLClass(const TSSLClass& SSLPlugin) {
  std::unique_ptr<TCustomSSL> next = SSLPlugin ? SSLPlugin(this) : nullptr;
  if (!next) next = std::make_unique<TSSLNone>(this);
  if (FSSL->SSLEnabled) FSSL->Shutdown();
  next->Assign(*FSSL);
  FSSL = std::move(next);
}

TTCPBlockSocket::~TTCPBlockSocket() {
  // Owners may already be half gone: close without reporting to their hooks.
  OnStatus = nullptr;
  OnMonitor = nullptr;
  OnReadFilter = nullptr;
  OnHeartbeat = nullptr;
  OnAfterConnect = nullptr;
  if (FSSL && FSSL->SSLEnabled) FSSL->Shutdown();
  AbortSocket();
}

void TTCPBlockSocket::Connect(const std::string& IP, const std::string& Port) {
  if (!SocksIP.empty()) SocksDoConnect(IP, Port);
  else if (!HTTPTunnelIP.empty()) HTTPTunnelDoConnect(IP, Port);
  else PlainConnect(IP, Port);
  if (LastError == 0 && OnAfterConnect) OnAfterConnect(this);
}

void TTCPBlockSocket::SocksDoConnect(const std::string& IP, const std::string& Port) {
  PlainConnect(SocksIP, SocksPort);
  if (LastError == 0) {
    bool ok = SocksOpen();
    if (ok) ok = SocksRequest(1, IP, Port);
    if (ok) ok = SocksResponse();
    if (!ok && LastError == 0) LastError = WSASYSNOTREADY;
  }
  SocksLocalIP = SocksResponseIP;
  SocksLocalPort = SocksResponsePort;
  SocksRemoteIP = IP;
  SocksRemotePort = Port;
  ExceptCheck();
  ReportStatus(HR_Connect, IP + ":" + Port);
}

void TTCPBlockSocket::HTTPTunnelDoConnect(const std::string& IP, const std::string& Port) {
  const std::string port = std::to_string(ResolvePort(Port));
  PlainConnect(HTTPTunnelIP, HTTPTunnelPort);
  if (LastError != 0) return;
  HTTPTunnel = false;
  const std::string ip = IsIPv6Text(IP) ? "[" + IP + "]" : IP;
  SendString("CONNECT " + ip + ":" + port + " HTTP/1.0\r\n");
  if (!HTTPTunnelUser.empty())
    SendString("Proxy-Authorization: Basic " + Base64Encode(HTTPTunnelUser + ":" + HTTPTunnelPass) + "\r\n");
  SendString("\r\n");
  // As many reply lines, and as long ones, as an HTTP head may have; more is refused.
  const int32_t savedMaxLine = MaxLineLength;
  if (MaxLineLength == 0 || MaxLineLength > cMaxHeadLineLength) MaxLineLength = cMaxHeadLineLength;
  for (int lines = 0;; ++lines) {
    if (lines >= cMaxTunnelReplyLines) {
      LastError = WSAENOBUFS;
      break;
    }
    const ByteString line = RecvTerminated(HTTPTunnelTimeout, "\n");
    if (LastError != 0) break;
    if (line.size() > 11 && line.compare(0, 5, "HTTP/") == 0) HTTPTunnel = line[9] == '2';
    if (line.empty() || line == "\r") break;
  }
  MaxLineLength = savedMaxLine;
  if (LastError == 0 && !HTTPTunnel) LastError = WSAECONNREFUSED;
  HTTPTunnelRemoteIP = ip;
  HTTPTunnelRemotePort = port;
  ExceptCheck();
}

void TTCPBlockSocket::CloseSocket() {
  if (FSSL->SSLEnabled) FSSL->Shutdown();
  if (FSocket != platform::kInvalidSocket && LastError == 0) {
    Sockets().shutdown(FSocket, wsa::WS_SD_SEND);
    Purge();
  }
  AbortSocket();
  UsingSocks = false;
  HTTPTunnel = false;
}

// Under TLS only what the layer can hand out: bytes on the socket are ciphertext, maybe
// part of a record, and a read sized by them would wait for the rest of the record
// beyond the caller's timeout.
int32_t TTCPBlockSocket::WaitingData() {
  if (FSSL->SSLEnabled && FSocket != platform::kInvalidSocket) return FSSL->WaitingData();
  return TBlockSocket::WaitingData();
}

bool TTCPBlockSocket::CanRead(int32_t Timeout) {
  if (!FSSL->SSLEnabled || FSocket == platform::kInvalidSocket) return TBlockSocket::CanRead(Timeout);
  const uint32_t start = TickNow();
  bool reported = false;  // the plain wait reports HR_CanRead when it finds the socket ready
  for (;;) {
    if (!StopFlag && FSSL->WaitingData() > 0) {
      ResetLastError();
      if (!reported) ReportStatus(HR_CanRead, "");
      return true;
    }
    int32_t left = -1;
    if (Timeout >= 0) {
      const auto spent = static_cast<int32_t>(TickSpan(start, TickNow()));
      left = Timeout > spent ? Timeout - spent : 0;
    }
    if (!TBlockSocket::CanRead(left)) return false;
    reported = true;
    // Readable with nothing on it: the peer closed or failed, which the read reports.
    if (TBlockSocket::WaitingData() == 0) return true;
    // Otherwise part of a record, a record without data (a session ticket) or the rest
    // of one arrived: OpenSSL takes it and the loop looks again.
  }
}

void TTCPBlockSocket::Listen() {
  if (SocksIP.empty()) {
    PlainListen();
    return;
  }
  std::string sip = GetLocalSinIP();
  if (sip == "0.0.0.0") sip = LocalName();
  const std::string sport = std::to_string(GetLocalSinPort());
  PlainConnect(SocksIP, SocksPort);
  bool ok = LastError == 0;
  if (ok) ok = SocksOpen();
  if (ok) ok = SocksRequest(2, sip, sport);
  if (ok) ok = SocksResponse();
  if (!ok && LastError == 0) LastError = WSANO_RECOVERY;
  SocksLocalIP = SocksResponseIP == "0.0.0.0" ? SocksIP : SocksResponseIP;
  SocksLocalPort = SocksResponsePort;
  SocksRemoteIP.clear();
  SocksRemotePort.clear();
  ExceptCheck();
  ReportStatus(HR_Listen, "");
}

TSocketHandle TTCPBlockSocket::Accept() {
  if (!UsingSocks) return PlainAccept();
  ResetLastError();
  if (!SocksResponse() && LastError == 0) LastError = WSANO_RECOVERY;
  SocksRemoteIP = SocksResponseIP;
  SocksRemotePort = SocksResponsePort;
  ExceptCheck();
  ReportStatus(HR_Accept, "");
  return FSocket;
}

int32_t TTCPBlockSocket::SendBuffer(const void* Buffer, int32_t Length) {
  if (!FSSL->SSLEnabled || FBypassFlag) return TBlockSocket::SendBuffer(Buffer, Length);
  int32_t result = 0;
  if (CheckStop()) return 0;
  NotifyMonitor(true, Buffer, Length);
  const auto* p = static_cast<const char*>(Buffer);
  const int32_t chunk = SendMaxChunk > 0 ? SendMaxChunk : Length;
  int32_t offset = 0;
  ResetLastError();
  while (offset < Length) {
    const int32_t piece = std::min(Length - offset, chunk);
    ThrottleBandwidth(piece, MaxSendBandwidth, FNextSend);
    const int32_t r = FSSL->SendBuffer(p + offset, piece);
    if (r <= 0) {
      LastError = WSASYSNOTREADY;
      break;
    }
    offset += r;
    result += r;
    SendCounter += r;
    ReportStatus(HR_WriteCount, std::to_string(r));
  }
  ExceptCheck();
  return result;
}

int32_t TTCPBlockSocket::RecvBuffer(void* Buffer, int32_t Length) {
  if (!FSSL->SSLEnabled || FBypassFlag) return TBlockSocket::RecvBuffer(Buffer, Length);
  if (CheckStop()) return 0;
  ThrottleBandwidth(Length, MaxRecvBandwidth, FNextRecv);
  ResetLastError();
  int32_t r = FSSL->RecvBuffer(Buffer, Length);
  if (r == 0) LastError = WSAECONNRESET;
  else if (r < 0) LastError = WSASYSNOTREADY;
  ExceptCheck();
  if (r > 0) r = CountReceived(Buffer, r);
  return r;
}

int32_t TTCPBlockSocket::PeekBuffer(void* Buffer, int32_t Length) {
  if (!FSSL->SSLEnabled || FBypassFlag) return TBlockSocket::PeekBuffer(Buffer, Length);
  ResetLastError();
  if (LineBuffer.empty() && WaitingData() > 0) {
    LineBuffer = RecvPacket(0);
    if (LastError != 0) return 0;
  }
  const auto n = static_cast<int32_t>(std::min<size_t>(LineBuffer.size(), static_cast<size_t>(std::max(Length, 0))));
  std::memcpy(Buffer, LineBuffer.data(), static_cast<size_t>(n));
  return n;
}

std::string TTCPBlockSocket::GetLocalSinIP() { return UsingSocks ? SocksLocalIP : TBlockSocket::GetLocalSinIP(); }

std::string TTCPBlockSocket::GetRemoteSinIP() {
  if (UsingSocks) return SocksRemoteIP;
  if (HTTPTunnel) return HTTPTunnelRemoteIP;
  return TBlockSocket::GetRemoteSinIP();
}

int32_t TTCPBlockSocket::GetLocalSinPort() {
  return UsingSocks ? DecimalOrZero(SocksLocalPort) : TBlockSocket::GetLocalSinPort();
}

int32_t TTCPBlockSocket::GetRemoteSinPort() {
  if (UsingSocks) return DecimalOrZero(SocksRemotePort);
  if (HTTPTunnel) return DecimalOrZero(HTTPTunnelRemotePort);
  return TBlockSocket::GetRemoteSinPort();
}

std::string TTCPBlockSocket::GetErrorDescEx() {
  if (LastError == WSASYSNOTREADY && FSSL && FSSL->LastError != 0) return FSSL->LastErrorDesc;
  return TBlockSocket::GetErrorDescEx();
}

void TTCPBlockSocket::SSLDoConnect() {
  ResetLastError();
  if (!FSSL->Connect()) LastError = WSASYSNOTREADY;
  ExceptCheck();
}

bool TTCPBlockSocket::SSLAvailable() {
  if (FSSL->HasTLS()) return true;
  SSLDoConnect();  // the inert layer fails at once, touching no socket
  return false;
}

void TTCPBlockSocket::SSLDoShutdown() {
  ResetLastError();
  FSSL->BiShutdown();
}

bool TTCPBlockSocket::SSLAcceptConnection() {
  ResetLastError();
  if (!FSSL->Accept()) LastError = WSASYSNOTREADY;
  ExceptCheck();
  return LastError == 0;
}

}  // namespace qelvo::net
