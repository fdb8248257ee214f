#pragma once
// Bit reader of the Deflate decoder.
//
// The source is read in 16 KiB slices into a byte buffer; bits are handed out, least
// significant first, from 32-bit little-endian words taken from that buffer. When the
// data ends on a length that is not a multiple of 4, the last slice is padded with zero
// bytes (counted in FFakeCount) so that the last word is whole. A peek past the end
// yields zero bits and never fails; consuming bits that do not exist does.
//
// A source that holds its content in memory (a read area) is read where it lies, without
// the copy; only its last few bytes go through the byte buffer, where the padding is.
//
// The unconsumed bits in FBitBuffer are always the bits just before FBufPos, so the
// decode loop may take the unread bytes over in bulk (BeginBulk) and hand back any
// position (EndBulk), and the source can be put back on the first byte not consumed.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "codecs/deflate_base.h"
#include "rtl/byte_order.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

class TArcDfInBitStream {
 public:
  static constexpr int kBufferSize = 16384;
  // ReadBuffer reads runs at least this long straight from the source once the byte
  // buffer is empty.
  static constexpr int kDirectRead = 4096;
  // A source's read area is taken in slices of the buffer's size too, so that progress
  // comes as often; an area with fewer than kAreaLeast bytes left is copied.
  static constexpr int kAreaSlice = kBufferSize;
  static constexpr int kAreaLeast = 64;

  TArcDfInBitStream(rtl::TStream* aStream, TArcProgressStep aOnProgress, int64_t aStreamSize);
  // Puts the source back on the first byte not consumed (best effort; see RestorePosition).
  ~TArcDfInBitStream();
  TArcDfInBitStream(const TArcDfInBitStream&) = delete;
  TArcDfInBitStream& operator=(const TArcDfInBitStream&) = delete;

  void AlignToByte() { Consume(FBitsLeft % 8); }
  uint32_t PeekBits(int aCount);
  void DiscardBits(int aCount);
  bool ReadBit();
  uint32_t ReadBits(int aCount);
  // Whole bytes; the reader must stand on a byte boundary. Never hands out padding.
  void ReadBuffer(void* aBuffer, int aCount);

  // Seeks the source to the first byte after the last one any of whose bits were consumed.
  // Done once; the destructor does it if nobody did.
  void RestorePosition();

  // Bulk access for the decode loop: the pending bits and the unread bytes.
  struct TBulk {
    uint64_t BitBuffer;
    int BitsLeft;
    const uint8_t* Pos;
    const uint8_t* End;
  };
  TBulk BeginBulk() const { return TBulk{FBitBuffer, FBitsLeft, FBufPos, FBufEnd}; }
  // Moves the unread bytes to the front and reads on behind them when fewer than
  // aBelow remain and the source has more, so that the decode loop's bulk pass goes on
  // instead of a symbol at a time until the buffer runs dry; false when nothing was read.
  bool TopUp(int aBelow);
  // aStart is the Pos that BeginBulk returned. Whole bytes still in aState.BitBuffer go
  // back to the byte buffer when they came from it.
  void EndBulk(const TBulk& aState, const uint8_t* aStart);

 private:
  bool ibsFillBuffer();
  // ibsFillBuffer's work, from any number of unread bytes.
  bool FillBehindUnread();
  // Takes the next slice of the source's read area when the unread bytes (if any) lie
  // just before it; false when the source has no such memory or too little left of it.
  bool TakeFromArea();
  void ReportProgress(int64_t aGotten);
  // Takes the next word, refilling first when fewer than 4 bytes remain; false at the end.
  bool TakeWord(uint32_t& aWord);
  void Consume(int aCount) {
    FBitBuffer = aCount >= 32 ? 0 : FBitBuffer >> aCount;
    FBitsLeft -= aCount;
  }
  int64_t Unread() const { return FBufEnd - FBufPos; }
  // Index, counted from the first byte read, of the first byte none of whose bits were
  // consumed; padding counts as bytes here.
  int64_t NextByteIndex() const { return FTotalRead + FTotalPadding - Unread() - FBitsLeft / 8; }
  // Unread bytes that came from the source, not from padding.
  int64_t RealUnread() const {
    return std::clamp<int64_t>(FTotalRead - (FTotalRead + FTotalPadding - Unread()), 0, Unread());
  }

  uint32_t FBitBuffer = 0;
  int32_t FBitsLeft = 0;
  // The unread bytes: in FBuffer, or in the source's read area.
  const uint8_t* FBufEnd;
  std::unique_ptr<uint8_t[]> FBuffer;
  const uint8_t* FBufPos;
  int64_t FByteCount = 0;
  int32_t FFakeCount = 0;
  TArcProgressStep FOnProgress;
  int32_t FPeekCount = 0;
  rtl::TStream* FStream;
  int64_t FStreamSize;
  int64_t FTotalRead = 0;
  int64_t FTotalPadding = 0;
  bool FAtEnd = false;
  bool FRestored = false;
};

inline uint32_t TArcDfInBitStream::PeekBits(int aCount) {
  rtl::Assert(aCount >= 0 && aCount <= 32,
              "TArcDfInBitStream.PeekBits: count of bits must be between 1 and 32 inclusive");
  FPeekCount = aCount;
  if (FBitsLeft >= aCount) return aCount == 32 ? FBitBuffer : FBitBuffer & ((1u << aCount) - 1);
  if (Unread() < 4) ibsFillBuffer();
  const uint32_t word = Unread() >= 4 ? rtl::GetLe32(FBufPos) : 0;
  const uint64_t wanted = word & ((uint64_t{1} << (aCount - FBitsLeft)) - 1);
  return FBitBuffer | static_cast<uint32_t>(wanted << FBitsLeft);
}

inline void TArcDfInBitStream::DiscardBits(int aCount) {
  if (aCount < 1 || aCount > 32) throw EArcInternalInflateError(cause::kDiscardCount);
  rtl::Assert(aCount <= FPeekCount, "TArcDfInBitStream.DiscardBits: discarding more bits than peeked");
  FPeekCount = 0;
  if (FBitsLeft >= aCount) {
    Consume(aCount);
    return;
  }
  uint32_t word;
  if (!TakeWord(word)) throw EArcInternalInflateError(cause::kNoDataDiscardBits);
  FBitBuffer = static_cast<uint32_t>(uint64_t{word} >> (aCount - FBitsLeft));
  FBitsLeft += 32 - aCount;
}

}  // namespace qelvo::codecs
