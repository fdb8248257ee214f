#pragma once
// TBlockSocket: one OS socket behind a blocking, timeout-driven interface.
//
// Every operation resets LastError, does its work through the sockets library table
// and ends with ExceptCheck, which fills LastErrorDesc, reports HR_Error for real
// errors and raises ESocketError only when RaiseExcept is set. Received bytes the caller
// has not taken yet wait in LineBuffer, so line, packet and sized reads can be mixed
// without reading any byte twice from the OS. Timeouts limit each wait for the next
// packet (InterPacketTimeout) unless that flag is cleared. Options requested while no
// OS socket exists are queued and applied when one is created; every close drops them.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/socket_api.h"
#include "rtl/exceptions.h"
#include "rtl/stream.h"
#include "rtl/string_list.h"
#include "rtl/text.h"

namespace qelvo::net {

using rtl::ByteString;

class TBlockSocket;
class TNetClient;

enum THookSocketReason : uint8_t {
  HR_ResolvingBegin = 0,
  HR_ResolvingEnd = 1,
  HR_SocketCreate = 2,
  HR_SocketClose = 3,
  HR_Bind = 4,
  HR_Connect = 5,
  HR_CanRead = 6,
  HR_CanWrite = 7,
  HR_Listen = 8,
  HR_Accept = 9,
  HR_ReadCount = 10,
  HR_WriteCount = 11,
  HR_Wait = 12,
  HR_Error = 13,
};
const char* HookSocketReasonName(THookSocketReason reason);

using THookSocketStatus = std::function<void(TBlockSocket* Sender, THookSocketReason Reason, const std::string& Value)>;
using THookDataFilter = std::function<void(TBlockSocket* Sender, ByteString& Value)>;
using THookCreateSocket = std::function<void(TBlockSocket* Sender)>;
using THookMonitor = std::function<void(TBlockSocket* Sender, bool Writing, const void* Buffer, int32_t Len)>;
using THookHeartbeat = std::function<void(TBlockSocket* Sender)>;

enum TSocketOptionType : uint8_t {
  SOT_Linger = 0,
  SOT_RecvBuff = 1,
  SOT_SendBuff = 2,
  SOT_NonBlock = 3,
  SOT_RecvTimeout = 4,
  SOT_SendTimeout = 5,
  SOT_Reuse = 6,
  SOT_TTL = 7,
  SOT_Broadcast = 8,
  SOT_MulticastTTL = 9,
  SOT_MulticastLoop = 10,
};

struct TSocketOption {
  TSocketOptionType Option = SOT_Linger;
  bool Enabled = false;
  int32_t Value = 0;
};

class ESocketError : public rtl::Exception {
 public:
  ESocketError(int32_t code, std::string message, std::string errorMessage)
      : rtl::Exception(std::move(message)), ErrorCode(code), ErrorMessage(std::move(errorMessage)) {}
  int32_t ErrorCode;
  std::string ErrorMessage;
};

// Windows Sockets error codes the socket layer sets itself.
inline constexpr int32_t WSAECONNABORTED = 10053;
inline constexpr int32_t WSAECONNRESET = 10054;
inline constexpr int32_t WSAENOBUFS = 10055;
inline constexpr int32_t WSAETIMEDOUT = 10060;
inline constexpr int32_t WSAECONNREFUSED = 10061;
inline constexpr int32_t WSAEWOULDBLOCK = 10035;
inline constexpr int32_t WSAEINPROGRESS = 10036;
inline constexpr int32_t WSASYSNOTREADY = 10091;
inline constexpr int32_t WSAHOST_NOT_FOUND = 11001;
inline constexpr int32_t WSANO_RECOVERY = 11003;

// Largest count WaitingData reports, and so the largest single receive of RecvPacket.
inline constexpr int32_t cMaxPacket = 65536;
// Bounds of the drain at close.
inline constexpr int64_t cMaxPurgeBytes = 1 << 20;
inline constexpr uint32_t cMaxPurgeMs = 1000;
// Bounds of a received head: its lines, and each line (longer ones fail with 10055).
inline constexpr int cMaxTunnelReplyLines = 8192;
inline constexpr int32_t cMaxHeadLineLength = 65536;

class TBlockSocket {
 public:
  TBlockSocket();
  explicit TBlockSocket(const std::string& ignored);  // CreateAlternate
  virtual ~TBlockSocket();
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // Hooks.
  THookSocketStatus OnStatus;
  THookDataFilter OnReadFilter;
  THookCreateSocket OnCreateSocket;
  THookMonitor OnMonitor;
  THookHeartbeat OnHeartbeat;

  int32_t Tag = 0;
  ByteString LineBuffer;  // received, not yet returned
  bool RaiseExcept = false;
  int32_t MaxLineLength = 0;
  int32_t MaxSendBandwidth = 0;
  int32_t MaxRecvBandwidth = 0;
  bool ConvertLineEnd = false;
  bool IP6used = false;
  bool PreferIP4 = true;
  bool InterPacketTimeout = true;
  int32_t RecvCounter = 0;
  int32_t SendCounter = 0;
  int32_t SendMaxChunk = 65536;
  bool StopFlag = false;
  int32_t NonblockSendTimeout = 15000;
  int32_t HeartbeatRate = 0;
  int32_t ConnectionTimeout = 0;
  int32_t LastError = 0;
  std::string LastErrorDesc;
  // How the last end of stream came: true for a connection reset, false for an orderly
  // close. Both report 10054; only a caller that must tell them apart looks here.
  bool PeerReset = false;
  TNetClient* Owner = nullptr;

  // Properties with logic.
  TSocketFamily Family() const { return FFamily; }
  virtual void SetFamily(TSocketFamily value);
  TSocketHandle Socket() const { return FSocket; }
  virtual void SetSocket(TSocketHandle value);
  bool NonBlockMode() const { return FNonBlockMode; }
  void SetNonBlockMode(bool value);
  void SetMaxBandwidth(int32_t value) { MaxSendBandwidth = value; MaxRecvBandwidth = value; }
  int32_t SizeRecvBuffer();
  void SetSizeRecvBuffer(int32_t size);
  int32_t SizeSendBuffer();
  void SetSizeSendBuffer(int32_t size);
  int32_t TTL();
  void SetTTL(int32_t ttl);
  const TWSAData& WSAData() const;
  size_t DelayedOptionCount() const { return FDelayedOptions.size(); }

  // Creation.
  void CreateSocket();
  void CreateSocketByName(const std::string& value);

  // Connection.
  void Bind(const std::string& IP, const std::string& Port);
  virtual void Connect(const std::string& IP, const std::string& Port);
  virtual void Listen();
  virtual TSocketHandle Accept();
  virtual void CloseSocket();
  virtual void AbortSocket();
  void GetSinLocal();
  void GetSinRemote();
  void GetSins();
  void SetRemoteSin(const std::string& IP, const std::string& Port);
  virtual std::string GetLocalSinIP();
  virtual std::string GetRemoteSinIP();
  virtual int32_t GetLocalSinPort();
  virtual int32_t GetRemoteSinPort();
  std::string LocalName();
  const TVarSin& LocalSin() const { return FLocalSin; }
  const TVarSin& RemoteSin() const { return FRemoteSin; }

  // Sending.
  virtual int32_t SendBuffer(const void* Buffer, int32_t Length);
  virtual void SendByte(uint8_t Data);
  virtual void SendString(const ByteString& Data);
  virtual void SendInteger(int32_t Data);
  virtual void SendBlock(const ByteString& Data);
  virtual void SendStreamRaw(rtl::TStream& Stream);
  virtual void SendStream(rtl::TStream& Stream);
  virtual void SendStreamBE(rtl::TStream& Stream);
  virtual int32_t SendBufferTo(const void* Buffer, int32_t Length);

  // Receiving; timeouts in ms, -1 waits forever.
  virtual int32_t RecvBuffer(void* Buffer, int32_t Length);
  virtual int32_t RecvBufferEx(void* Buffer, int32_t Len, int32_t Timeout);
  virtual ByteString RecvBufferStr(int32_t Len, int32_t Timeout);
  virtual uint8_t RecvByte(int32_t Timeout);
  virtual int32_t RecvInteger(int32_t Timeout);
  virtual ByteString RecvString(int32_t Timeout);
  virtual ByteString RecvTerminated(int32_t Timeout, const ByteString& Terminator);
  virtual ByteString RecvPacket(int32_t Timeout);
  virtual ByteString RecvBlock(int32_t Timeout);
  virtual void RecvStreamRaw(rtl::TStream& Stream, int32_t Timeout);
  void RecvStreamSize(rtl::TStream& Stream, int32_t Timeout, int64_t Size);
  virtual void RecvStream(rtl::TStream& Stream, int32_t Timeout);
  virtual void RecvStreamBE(rtl::TStream& Stream, int32_t Timeout);
  virtual int32_t RecvBufferFrom(void* Buffer, int32_t Length);
  virtual int32_t PeekBuffer(void* Buffer, int32_t Length);
  virtual uint8_t PeekByte(int32_t Timeout);
  virtual int32_t WaitingData();
  int32_t WaitingDataEx();
  // Discards waiting input, at most cMaxPurgeBytes and cMaxPurgeMs of it: a peer that
  // keeps sending cannot hold a close forever.
  void Purge();
  // True while Purge discards input, so that monitors do not count it as received.
  bool Draining() const { return FDraining; }
  virtual bool CanRead(int32_t Timeout);
  virtual bool CanReadEx(int32_t Timeout);
  virtual bool CanWrite(int32_t Timeout);
  bool GroupCanRead(const std::vector<TBlockSocket*>& SocketList, int32_t Timeout,
                    std::vector<TBlockSocket*>& CanReadList);

  // Options and errors.
  void SetLinger(bool Enable, int32_t Linger);
  void EnableReuse(bool Value);
  void SetTimeout(int32_t Timeout);
  void SetSendTimeout(int32_t Timeout);
  void SetRecvTimeout(int32_t Timeout);
  void ResetLastError();
  virtual int32_t SockCheck(int32_t SockResult);
  void ExceptCheck();
  static std::string GetErrorDesc(int32_t ErrorCode);
  virtual std::string GetErrorDescEx();
  virtual int32_t GetSocketType() { return 0; }
  virtual int32_t GetSocketProtocol() { return 0; }

  // Name lookups with this socket's family, type and protocol.
  void ResolveNameToIP(const std::string& Name, rtl::TStringList& IPList);
  std::string ResolveName(const std::string& Name);
  uint16_t ResolvePort(const std::string& Port);
  std::string ResolveIPToName(const std::string& IP);

 protected:
  virtual void SendStreamCore(rtl::TStream& Stream, bool WithSize, bool BigEndian);
  virtual bool PollReadable(int32_t Timeout);
  virtual bool PollWritable(int32_t Timeout);
  // The wait behind CanRead and CanWrite: heartbeats, the stop flag, and the hook reported
  // when the socket became ready.
  bool WaitReady(int32_t Timeout, bool Writable);

  void ReportStatus(THookSocketReason Reason, const std::string& Value);
  void NotifyMonitor(bool Writing, const void* Buffer, int32_t Len);
  void NotifyHeartbeat();
  void NotifyCreateSocket();
  void ApplyReadFilter(void* Buffer, int32_t& Len);
  bool CheckStop();
  void ThrottleBandwidth(int32_t Length, int32_t Limit, uint32_t& NextTick);
  // The time left of a read that spans several packets, for a timeout that covers the
  // whole read (InterPacketTimeout cleared): takes off what passed since StartTick; false,
  // with LastError set to a timeout, once nothing is left.
  bool SpendWaitTime(int32_t& TimeLeft, uint32_t StartTick);
  void RequestOption(const TSocketOption& Value);
  void ApplyOption(const TSocketOption& Value);
  void ApplyPendingOptions();
  void CreateSocketFor(const TVarSin& Sin);
  void ResolveEndpoint(TVarSin& Sin, const std::string& IP, const std::string& Port);
  // One OS receive of at most Length bytes with the counters, reports and filter.
  int32_t CountReceived(void* Buffer, int32_t Received);
  // RecvPacket's wait-and-receive straight into Buffer (at most Length bytes), for an
  // empty line buffer with no pending line-end repair.
  int32_t ReceiveDirect(char* Buffer, int32_t Length, int32_t Timeout);
  // A readable socket with nothing to read: the peer closed or reset the connection.
  void NoteEndOfStream();
  void PlainConnect(const std::string& IP, const std::string& Port);
  void PlainListen();
  TSocketHandle PlainAccept();

  TVarSin FLocalSin{};
  TVarSin FRemoteSin{};
  uint32_t FNextSend = 0;
  uint32_t FNextRecv = 0;
  bool FLastCR = false;
  bool FLastLF = false;
  bool FDraining = false;
  bool FBinded = false;
  TSocketFamily FFamily = SF_Any;
  TSocketFamily FFamilySave = SF_Any;
  bool FNonBlockMode = false;
  std::vector<TSocketOption> FDelayedOptions;  // front = most recent request
  std::vector<platform::TPollFd> FDset;
  TSocketHandle FSocket = platform::kInvalidSocket;
};

}  // namespace qelvo::net
