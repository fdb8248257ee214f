// TBlockSocket's receiving: single OS receives with their counters, hooks and read filter,
// and the framing on top of the line buffer (packets, lines and terminated strings, sized
// blocks and integers, streams), which lets the kinds of read be mixed without reading a
// byte twice.
#include <algorithm>
#include <cstring>

#include "net/socket_core.h"
#include "net/text_util.h"
#include "platform/clock.h"
#include "rtl/byte_order.h"

namespace qelvo::net {

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
  int r = Sockets().recv(FSocket, Buffer, Length, 0);
  if (r == 0) {
    ResetLastError();
    LastError = WSAECONNRESET;
    PeerReset = false;
  } else {
    SockCheck(r);
    if (LastError == WSAECONNRESET) PeerReset = true;
  }
  ExceptCheck();
  if (r > 0) r = CountReceived(Buffer, r);
  return r;
}

int32_t TBlockSocket::RecvBufferFrom(void* Buffer, int32_t Length) {
  if (CheckStop()) return 0;
  ThrottleBandwidth(Length, MaxRecvBandwidth, FNextRecv);
  int len = sizeof FRemoteSin;
  int r = Sockets().recvfrom(FSocket, Buffer, Length, 0, &FRemoteSin, &len);
  SockCheck(r);
  ExceptCheck();
  if (r > 0) r = CountReceived(Buffer, r);
  return r;
}

int32_t TBlockSocket::WaitingData() {
  uint32_t n = 0;
  if (FSocket == platform::kInvalidSocket || Sockets().ioctlsocket(FSocket, wsa::WS_FIONREAD, &n) != 0) return 0;
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
        NoteEndOfStream();
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
    if (!SpendWaitTime(timeLeft, tick)) break;
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
    if (!SpendWaitTime(timeLeft, tick)) break;
  }
  ExceptCheck();
  return copied;
}

void TBlockSocket::NoteEndOfStream() {
  // A reset shows as a failing receive, an orderly close as an empty one. The wait just
  // before may have taken the reset as an error event instead: some socket layers (Wine's)
  // consume the error there, and the receive then looks like an orderly close.
  char probe = 0;
  const int r = FSocket == platform::kInvalidSocket ? 0 : Sockets().recv(FSocket, &probe, 1, wsa::WS_MSG_PEEK);
  const bool waitSawError = FDset.size() == 1 && FDset[0].fd == FSocket && (FDset[0].revents & wsa::WS_POLLERR) != 0;
  PeerReset = r < 0 || waitSawError;
  LastError = WSAECONNRESET;
}

int32_t TBlockSocket::ReceiveDirect(char* Buffer, int32_t Length, int32_t Timeout) {
  ResetLastError();
  platform::Sleep(0);
  int32_t n = WaitingData();
  if (n <= 0) {
    if (CanRead(Timeout)) {
      n = WaitingData();
      if (n == 0) NoteEndOfStream();
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
    if (!SpendWaitTime(timeLeft, tick)) break;
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
  return LastError == 0 ? static_cast<int32_t>(rtl::GetLe32(s)) : 0;
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
    // What arrived before a cut still belongs to the stream.
    if (got > 0 && got != want) Stream.WriteBuffer(piece.data(), got);
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
  const int r = Sockets().recv(FSocket, Buffer, Length, wsa::WS_MSG_PEEK);
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
  struct DrainScope {
    bool& flag;
    explicit DrainScope(bool& f) : flag(f) { flag = true; }
    ~DrainScope() { flag = false; }
  } scope(FDraining);
  const uint32_t start = TickNow();
  int64_t drained = 0;
  try {
    while (!LineBuffer.empty() || WaitingData() >= 1) {
      drained += static_cast<int64_t>(RecvPacket(0).size());
      if (LastError != 0 || drained >= cMaxPurgeBytes || TickSpan(start, TickNow()) >= cMaxPurgeMs) break;
    }
  } catch (...) {
    // Draining is best effort; whatever a hook raised here has nothing left to act on.
  }
  ResetLastError();
}
}  // namespace qelvo::net
