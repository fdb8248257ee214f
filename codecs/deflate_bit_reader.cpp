#include "codecs/deflate_bit_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qelvo::codecs {

TArcDfInBitStream::TArcDfInBitStream(rtl::TStream* aStream, TArcProgressStep aOnProgress, int64_t aStreamSize)
    : FBuffer(new uint8_t[kBufferSize]),
      FOnProgress(std::move(aOnProgress)),
      FStream(aStream),
      FStreamSize(aStreamSize) {
  FBufPos = FBuffer.get();
  FBufEnd = FBufPos;
}

TArcDfInBitStream::~TArcDfInBitStream() {
  try {
    RestorePosition();
  } catch (...) {
    // Already unwinding from a decoding failure, or the source cannot seek: the
    // caller's own error (or the data it has) matters more than the position.
  }
}

bool TArcDfInBitStream::ibsFillBuffer() {
  rtl::Assert(Unread() < 4, "TArcDfInBitStream.ibsFillBuffer: the buffer should be almost empty");
  return FillBehindUnread();
}

bool TArcDfInBitStream::TopUp(int aBelow) {
  if (FAtEnd || Unread() >= aBelow) return false;
  const int64_t before = FTotalRead;
  FillBehindUnread();
  return FTotalRead > before;
}

bool TArcDfInBitStream::TakeFromArea() {
  if (FAtEnd) return false;
  const rtl::TReadArea area = FStream->ReadArea();
  if (area.Size < kAreaLeast || (Unread() > 0 && FBufEnd != area.Data)) return false;
  if (Unread() == 0) FBufPos = FBufEnd = area.Data;
  const int64_t n = std::min<int64_t>(area.Size, kAreaSlice);
  FStream->Seek(n, rtl::soCurrent);
  FBufEnd += n;
  FTotalRead += n;
  ReportProgress(n);
  return true;
}

bool TArcDfInBitStream::FillBehindUnread() {
  if (TakeFromArea()) return true;
  uint8_t* const start = FBuffer.get();
  const int32_t unread = static_cast<int32_t>(Unread());
  std::memmove(start, FBufPos, static_cast<size_t>(unread));
  FFakeCount = std::min(FFakeCount, unread);
  uint8_t* end = start + unread;

  // A source may return fewer bytes than asked before its end; read on until the
  // buffered bytes end on a word boundary, so that only the true end gets padding.
  int64_t gotten = 0;
  while (!FAtEnd && end < start + kBufferSize) {
    const int64_t n = FStream->Read(end, start + kBufferSize - end);
    if (n <= 0) {
      FAtEnd = true;
      break;
    }
    end += n;
    gotten += n;
    FTotalRead += n;
    if ((end - start) % 4 == 0) break;
  }
  FBufPos = start;
  FBufEnd = end;
  if (end == start) return false;
  if (FAtEnd) {
    const int pad = static_cast<int>((4 - (end - start) % 4) % 4);
    std::memset(end, 0, static_cast<size_t>(pad));
    FBufEnd += pad;
    FFakeCount += pad;
    FTotalPadding += pad;
  }
  ReportProgress(gotten);
  return true;
}

void TArcDfInBitStream::ReportProgress(int64_t aGotten) {
  if (aGotten > 0 && FOnProgress && FStreamSize > 0) {
    FByteCount += aGotten;
    FOnProgress(static_cast<int32_t>(std::nearbyint(static_cast<double>(FByteCount) * 100.0 /
                                                    static_cast<double>(FStreamSize))));
  }
}

bool TArcDfInBitStream::TakeWord(uint32_t& aWord) {
  if (Unread() < 4 && !ibsFillBuffer()) return false;
  if (Unread() < 4) return false;
  aWord = rtl::GetLe32(FBufPos);
  FBufPos += 4;
  return true;
}

bool TArcDfInBitStream::ReadBit() {
  if (FBitsLeft == 0) {
    uint32_t word;
    if (!TakeWord(word)) throw EArcInternalInflateError(cause::kNoDataReadBit);
    FBitBuffer = word;
    FBitsLeft = 32;
  }
  const bool bit = (FBitBuffer & 1) != 0;
  Consume(1);
  return bit;
}

uint32_t TArcDfInBitStream::ReadBits(int aCount) {
  if (aCount < 1 || aCount > 16) throw EArcInternalInflateError(cause::kReadBitsCount);
  if (FBitsLeft >= aCount) {
    const uint32_t v = FBitBuffer & ((1u << aCount) - 1);
    Consume(aCount);
    return v;
  }
  const uint32_t low = FBitBuffer;
  const int lowCount = FBitsLeft;
  uint32_t word;
  if (!TakeWord(word)) throw EArcInternalInflateError(cause::kNoDataReadBits);
  const int highCount = aCount - lowCount;
  const uint32_t v = low | ((word & ((1u << highCount) - 1)) << lowCount);
  FBitBuffer = word >> highCount;
  FBitsLeft = 32 - highCount;
  return v;
}

void TArcDfInBitStream::ReadBuffer(void* aBuffer, int aCount) {
  rtl::Assert(FBitsLeft % 8 == 0,
              "TArcDfInBitStream.ReadBuffer. cannot read a buffer unless the stream is byte-aligned");
  auto* out = static_cast<uint8_t*>(aBuffer);
  // Padding is never data: only bytes before the end of what the source gave are handed out.
  while (aCount > 0 && FBitsLeft > 0) {
    if (NextByteIndex() >= FTotalRead) throw EArcInternalInflateError(cause::kNoDataReadBuffer);
    *out++ = static_cast<uint8_t>(FBitBuffer);
    Consume(8);
    --aCount;
  }
  while (aCount > 0) {
    if (Unread() == 0 && aCount >= kDirectRead && !FAtEnd) {
      // A long run of whole bytes (stored data) goes from the source straight to the
      // caller, without a stop in the byte buffer.
      const int64_t n = FStream->Read(out, aCount);
      if (n <= 0) {
        FAtEnd = true;
        throw EArcInternalInflateError(cause::kNoDataReadBuffer);
      }
      FTotalRead += n;
      ReportProgress(n);
      out += n;
      aCount -= static_cast<int>(n);
      continue;
    }
    if (RealUnread() == 0) {
      if (Unread() >= 4 || !ibsFillBuffer() || RealUnread() == 0)
        throw EArcInternalInflateError(cause::kNoDataReadBuffer);
    }
    const int n = static_cast<int>(std::min<int64_t>(aCount, RealUnread()));
    std::memcpy(out, FBufPos, static_cast<size_t>(n));
    out += n;
    FBufPos += n;
    aCount -= n;
  }
}

void TArcDfInBitStream::EndBulk(const TBulk& aState, const uint8_t* aStart) {
  int bits = aState.BitsLeft;
  const uint8_t* pos = aState.Pos;
  const int giveBack = static_cast<int>(std::min<int64_t>(bits / 8, pos - aStart));
  pos -= giveBack;
  bits -= 8 * giveBack;
  FBufPos = pos;
  FBitsLeft = bits;
  FBitBuffer = bits >= 32 ? static_cast<uint32_t>(aState.BitBuffer)
                          : static_cast<uint32_t>(aState.BitBuffer & ((uint64_t{1} << bits) - 1));
  FPeekCount = 0;
}

void TArcDfInBitStream::RestorePosition() {
  if (FRestored) return;
  FRestored = true;
  const int64_t back = FTotalRead - std::min(FTotalRead, NextByteIndex());
  if (back > 0) FStream->Seek(-back, rtl::soCurrent);
}

}  // namespace qelvo::codecs
