#pragma once
// Output window of the Deflate decoder: the match history, handed out to the destination
// in large pieces, with the running checksum computed in the same pass as the hand-out.
//
// Where the destination offers a write area (memory it holds, at its end), the decoder
// writes straight into it: the history is the output itself, and each piece is only
// checksummed and handed over, with no copy. Otherwise, and once the area is used up,
// the bytes gather in a buffer of our own until the write point, which lies 256 KiB past
// the history (32 KiB for Deflate, 64 KiB for Deflate64); then everything gathered goes
// out and only the history moves to the front, once per 256 KiB produced. Either memory
// extends past the write point by the longest match and the copies' slack, so one
// literal or match that starts below the write point always fits.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "rtl/byte_order.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

// Adler-32 over a block, continuing from aAdler (start value 1).
uint32_t UpdateAdler32(uint32_t aAdler, const uint8_t* aData, size_t aCount);

// Copies aLen bytes from aDist bytes back, repeating the pattern when they overlap.
// Moves whole words, so it may write up to 63 bytes past the end of the match.
inline uint8_t* CopyMatch(uint8_t* aDst, size_t aLen, size_t aDist) {
  const uint8_t* src = aDst - aDist;
  uint8_t* const end = aDst + aLen;
  const auto copy16 = [](uint8_t* aTo, const uint8_t* aFrom) {
    uint64_t w[2];
    std::memcpy(w, aFrom, 16);
    std::memcpy(aTo, w, 16);
  };
  const auto copy8 = [](uint8_t* aTo, const uint8_t* aFrom) {
    uint64_t w;
    std::memcpy(&w, aFrom, 8);
    std::memcpy(aTo, &w, 8);
  };
  if (aDist >= 16) {
    // Most matches are short: four moves, no loop.
    copy16(aDst, src);
    copy16(aDst + 16, src + 16);
    copy16(aDst + 32, src + 32);
    copy16(aDst + 48, src + 48);
    for (aDst += 64, src += 64; aDst < end; aDst += 16, src += 16) copy16(aDst, src);
  } else if (aDist >= 8) {
    copy8(aDst, src);
    copy8(aDst + 8, src + 8);
    for (aDst += 16, src += 16; aDst < end; aDst += 8, src += 8) copy8(aDst, src);
  } else if (aDist == 1) {
    const uint64_t pattern = *src * uint64_t{0x0101010101010101};
    for (; aDst < end; aDst += 16) {
      std::memcpy(aDst, &pattern, 8);
      std::memcpy(aDst + 8, &pattern, 8);
    }
  } else {
    // Distances 2..7: one word holding the pattern repeated, stored at steps of the most
    // whole periods a word holds; no byte waits for a store before it. The bytes past
    // the pattern that the load takes are masked off.
    static constexpr uint8_t kStep[8] = {0, 0, 8, 6, 8, 5, 6, 7};
    uint64_t w = rtl::GetLe64(src) & ((uint64_t{1} << (8 * aDist)) - 1);
    w |= w << (8 * aDist);
    if (aDist < 4) w |= w << (16 * aDist);
    const int step = kStep[aDist];
    for (; aDst < end; aDst += step) rtl::PutLe64(aDst, w);
  }
  return end;
}

class TArcDfOutputWindow {
 public:
  TArcDfOutputWindow(rtl::TStream* aStream, bool aUseDeflate64, bool aUseCRC32, int64_t aPartSize, bool aTestOnly);
  // Writes out what is still held (best effort: see Flush).
  ~TArcDfOutputWindow();
  TArcDfOutputWindow(const TArcDfOutputWindow&) = delete;
  TArcDfOutputWindow& operator=(const TArcDfOutputWindow&) = delete;

  void AddLiteral(uint8_t aCh) {
    *FCurrent++ = aCh;
    if (FCurrent >= FLimit) AfterAdd();
  }
  // A distance beyond the bytes produced so far is a corrupted stream.
  void AddLenDist(int aLen, int aDist);
  void AddBuffer(const uint8_t* aBuffer, int aCount);
  // AddBuffer without the copy: the caller fills up to Room() bytes at Current() and
  // then calls Added with their number.
  int Room() const { return static_cast<int>(FWritePoint - FCurrent); }
  void Added(int aCount);

  // Bytes produced so far.
  int64_t Position() const { return FStreamPos + (FCurrent - FEmitted); }
  // Writes out everything held and returns the final checksum.
  uint32_t Checksum();
  // Writes out everything held.
  void Flush();
  // True while the decoder writes into the destination's own memory.
  bool Direct() const { return FDirect; }

  // Direct access for the decode loop: it may write at Current() until Limit() is
  // reached, never starting a literal or match at or beyond it, and must then hand the
  // new position back through Advance().
  uint8_t* Current() const { return FCurrent; }
  uint8_t* Limit() const { return FLimit; }
  const uint8_t* Start() const { return FOrigin; }
  void Advance(uint8_t* aCurrent) {
    FCurrent = aCurrent;
    if (FCurrent >= FLimit) AfterAdd();
  }

  // Room past the buffer's end for copies that move whole words.
  static constexpr int kSlack = 64;

 private:
  // The partial-size stop and the hand-outs, once Current has reached Limit.
  void AfterAdd();
  // Hands out everything gathered and moves the write point on.
  void MakeRoom();
  void UseOwnBuffer();
  void Emit(const uint8_t* aData, int64_t aCount);
  void UpdateChecksum(const uint8_t* aData, int64_t aCount);
  void UpdateLimit();

  // Our own memory; empty while the destination's write area is used.
  std::unique_ptr<uint8_t[]> FBuffer;
  bool FDirect = false;
  // The first byte of the history: a distance may reach back to it, never further.
  uint8_t* FOrigin = nullptr;
  // The first byte not yet handed out.
  uint8_t* FEmitted = nullptr;
  uint8_t* FCurrent = nullptr;
  uint8_t* FWritePoint = nullptr;
  // The nearer of the write point and the partial-size stop.
  uint8_t* FLimit = nullptr;
  // In the write area: the furthest the write point may go, leaving room for a match.
  uint8_t* FAreaWriteEnd = nullptr;
  int64_t FHistory;
  int64_t FLongestMatch;
  uint32_t FChecksum;
  int64_t FPartSize;
  rtl::TStream* FStream;
  // Bytes already handed out of the window (written, or counted in test-only mode).
  int64_t FStreamPos = 0;
  bool FTestOnly;
  bool FUseCRC32;
  bool FWriteFailed = false;
};

}  // namespace qelvo::codecs
