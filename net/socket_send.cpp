// TBlockSocket's sending: buffers in chunks with bandwidth throttling and a bounded wait
// when a non-blocking socket is full, the sized forms (integers, blocks, streams with a
// little- or big-endian size field) and datagrams.
#include <algorithm>

#include "net/socket_core.h"
#include "net/text_util.h"
#include "rtl/byte_order.h"

namespace qelvo::net {

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
    int r = Sockets().send(FSocket, p + offset, piece, 0);
    SockCheck(r);
    if (LastError == WSAEWOULDBLOCK) {
      if (CanWrite(NonblockSendTimeout)) {
        r = Sockets().send(FSocket, p + offset, piece, 0);
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

void TBlockSocket::SendInteger(int32_t Data) {
  ByteString s;
  rtl::AppendLe32(s, static_cast<uint32_t>(Data));
  SendString(s);
}

void TBlockSocket::SendBlock(const ByteString& Data) {
  ByteString s;
  s.reserve(4 + Data.size());
  rtl::AppendLe32(s, static_cast<uint32_t>(Data.size()));
  SendString(s + Data);
}

void TBlockSocket::SendStreamCore(rtl::TStream& Stream, bool WithSize, bool BigEndian) {
  const int64_t size = Stream.Size() - Stream.Position();
  bool first = true;
  for (;;) {
    ByteString piece = ReadBytesFromStream(Stream, SendMaxChunk > 0 ? SendMaxChunk : 65536);
    if (piece.empty()) break;
    if (first && WithSize) {
      const uint32_t s = static_cast<uint32_t>(size);
      ByteString sizeField;
      if (BigEndian) rtl::AppendBe32(sizeField, s);
      else rtl::AppendLe32(sizeField, s);
      piece = sizeField + piece;
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
  const int r = Sockets().sendto(FSocket, Buffer, Length, 0, &FRemoteSin, SocketAddressLength(FRemoteSin));
  SockCheck(r);
  if (LastError == 0) {
    result = r;
    SendCounter += r;
    ReportStatus(HR_WriteCount, std::to_string(r));
  }
  ExceptCheck();
  return result;
}

}  // namespace qelvo::net
