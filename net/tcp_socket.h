#pragma once
// TSocksBlockSocket and TTCPBlockSocket: the stream socket of the protocol clients.
//
// Connect reaches the target in one of three ways: directly, through a SOCKS 4/4a/5
// proxy (SocksIP set), or through an HTTP proxy's CONNECT tunnel (HTTPTunnelIP set).
// After a tunnel or SOCKS exchange the connection is a plain byte stream to the target;
// HR_Connect is reported once, for the connection that was opened. Failures surface as
// LastError: 10091 for a failed SOCKS exchange, 11003 for a failed SOCKS bind/accept,
// 10061 for a refused CONNECT. The TLS layer (SSL) is pluggable; the default TSSLNone
// fails every handshake with 10091.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/socket_core.h"
#include "net/ssl.h"

namespace qelvo::net {

enum TSocksType : uint8_t { ST_Socks5 = 0, ST_Socks4 = 1 };

class TSocksBlockSocket : public TBlockSocket {
 public:
  TSocksBlockSocket();
  explicit TSocksBlockSocket(const std::string& ignored);

  std::string SocksIP;
  std::string SocksPort = "1080";
  int32_t SocksTimeout = 60000;
  std::string SocksUsername;
  std::string SocksPassword;
  bool UsingSocks = false;
  bool SocksResolver = true;
  int32_t SocksLastError = 0;
  std::string SocksResponseIP;
  std::string SocksResponsePort;
  std::string SocksLocalIP;
  std::string SocksLocalPort;
  std::string SocksRemoteIP;
  std::string SocksRemotePort;
  TSocksType SocksType = ST_Socks5;

  bool SocksOpen();
  bool SocksRequest(uint8_t Cmd, const std::string& IP, const std::string& Port);
  bool SocksResponse();

 protected:
  ByteString SocksCode(const std::string& IP, const std::string& Port);
  int32_t SocksDecode(const ByteString& Value);
  bool FBypassFlag = false;
};

using THookAfterConnect = std::function<void(TBlockSocket* Sender)>;

class TTCPBlockSocket : public TSocksBlockSocket {
 public:
  TTCPBlockSocket();
  // CreateWithSSL: the TLS layer is made by the given factory, bound to this socket.
  explicit TTCPBlockSocket(const TSSLClass& SSLPlugin);
  ~TTCPBlockSocket() override;

  THookAfterConnect OnAfterConnect;
  std::string HTTPTunnelIP;
  std::string HTTPTunnelPort;
  bool HTTPTunnel = false;
  std::string HTTPTunnelRemoteIP;
  std::string HTTPTunnelRemotePort;
  std::string HTTPTunnelUser;
  std::string HTTPTunnelPass;
  int32_t HTTPTunnelTimeout = 30000;

  TCustomSSL* SSL() const { return FSSL.get(); }
  // Replaces the TLS layer by one of the given factory (TSSLNone when it gives none),
  // keeping the settings of the old one; a running session is shut down first.
  void SetSSLClass(const TSSLClass& SSLPlugin);

  void Connect(const std::string& IP, const std::string& Port) override;
  void CloseSocket() override;
  int32_t WaitingData() override;
  // Under TLS, readable means data (or a close) OpenSSL can hand out, which it may hold
  // with nothing left on the socket; bytes on the socket that make no data yet (part of
  // a record, a session ticket) are not. So every read's "readable but nothing waiting
  // means closed" holds under TLS too.
  bool CanRead(int32_t Timeout) override;
  void Listen() override;
  TSocketHandle Accept() override;
  int32_t SendBuffer(const void* Buffer, int32_t Length) override;
  int32_t RecvBuffer(void* Buffer, int32_t Length) override;
  // Under TLS the socket's own bytes are ciphertext: the decrypted bytes waiting move to
  // the line buffer (where the next read takes them first) and are shown from there.
  int32_t PeekBuffer(void* Buffer, int32_t Length) override;
  std::string GetLocalSinIP() override;
  std::string GetRemoteSinIP() override;
  int32_t GetLocalSinPort() override;
  int32_t GetRemoteSinPort() override;
  std::string GetErrorDescEx() override;
  int32_t GetSocketType() override { return wsa::WS_SOCK_STREAM; }
  int32_t GetSocketProtocol() override { return wsa::WS_IPPROTO_TCP; }

  void SSLDoConnect();
  // True when the TLS layer can speak TLS; otherwise false with the inert layer's error
  // (10091), so a client fails before it connects instead of talking in the clear.
  bool SSLAvailable();
  void SSLDoShutdown();
  bool SSLAcceptConnection();

 protected:
  void SocksDoConnect(const std::string& IP, const std::string& Port);
  void HTTPTunnelDoConnect(const std::string& IP, const std::string& Port);

  std::unique_ptr<TCustomSSL> FSSL;
};

}  // namespace qelvo::net
