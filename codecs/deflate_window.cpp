#include "codecs/deflate_window.h"

#include <algorithm>

#include "archive/crc32.h"
#include "codecs/deflate_base.h"

namespace qelvo::codecs {
namespace {

constexpr int64_t kDeflateHistory = 32768;
constexpr int64_t kDeflate64History = 65536;
constexpr int64_t kDeflateLongestMatch = 258;
constexpr int64_t kDeflate64LongestMatch = 65538;
// What goes out per slide: large, so that little history moves per byte written and
// the decode loop rarely stops at the write point.
constexpr int64_t kOutputRoom = 262144;
// Pieces in which the checksum and the write-out share a pass: the checksum reads a
// piece into the cache and the write-out finds it there.
constexpr int64_t kEmitPiece = 32768;

}  // namespace

uint32_t UpdateAdler32(uint32_t aAdler, const uint8_t* aData, size_t aCount) {
  constexpr uint32_t kBase = 65521;
  // The longest run whose sums cannot overflow 32 bits before the reduction.
  constexpr size_t kRun = 5552;
  uint32_t s1 = aAdler & 0xFFFF;
  uint32_t s2 = aAdler >> 16;
  while (aCount > 0) {
    const size_t n = std::min(aCount, kRun);
    for (size_t i = 0; i < n; ++i) {
      s1 += aData[i];
      s2 += s1;
    }
    s1 %= kBase;
    s2 %= kBase;
    aData += n;
    aCount -= n;
  }
  return s1 | (s2 << 16);
}

TArcDfOutputWindow::TArcDfOutputWindow(rtl::TStream* aStream, bool aUseDeflate64, bool aUseCRC32, int64_t aPartSize,
                                       bool aTestOnly)
    : FChecksum(aUseCRC32 ? archive::kCrc32Initial : 1u),
      FPartSize(std::max<int64_t>(aPartSize, 0)),
      FStream(aStream),
      FTestOnly(aTestOnly),
      FUseCRC32(aUseCRC32) {
  const int64_t history = aUseDeflate64 ? kDeflate64History : kDeflateHistory;
  const int64_t writePoint = history + kOutputRoom;
  FSlideCount = kOutputRoom;
  const int64_t longest = aUseDeflate64 ? kDeflate64LongestMatch : kDeflateLongestMatch;
  FBuffer.reset(new uint8_t[static_cast<size_t>(writePoint + longest + kSlack)]);
  FCurrent = FBuffer.get();
  FWritePoint = FBuffer.get() + writePoint;
  UpdateLimit();
}

TArcDfOutputWindow::~TArcDfOutputWindow() {
  try {
    if (!FWriteFailed) Flush();
  } catch (...) {
    // Only reached while a decoding failure unwinds; that failure is the one to report.
  }
}

void TArcDfOutputWindow::UpdateLimit() {
  FLimit = FWritePoint;
  if (FPartSize > 0) {
    const int64_t untilStop = FPartSize - FStreamPos;
    if (untilStop < FWritePoint - FBuffer.get()) FLimit = FBuffer.get() + std::max<int64_t>(untilStop, 0);
  }
}

void TArcDfOutputWindow::AfterAdd() {
  if (FPartSize > 0 && Position() >= FPartSize) throw EArcPartSizedInflate();
  while (FCurrent >= FWritePoint) Slide();
  UpdateLimit();
}

void TArcDfOutputWindow::AddLenDist(int aLen, int aDist) {
  if (aDist > FCurrent - FBuffer.get()) throw EArcInternalInflateError(cause::kDistanceTooFar);
  FCurrent = CopyMatch(FCurrent, aLen, aDist);
  if (FCurrent >= FLimit) AfterAdd();
}

void TArcDfOutputWindow::AddBuffer(const uint8_t* aBuffer, int aCount) {
  while (aCount > 0) {
    const int n = static_cast<int>(std::min<int64_t>(aCount, FWritePoint - FCurrent));
    std::memcpy(FCurrent, aBuffer, static_cast<size_t>(n));
    FCurrent += n;
    aBuffer += n;
    aCount -= n;
    if (FCurrent >= FWritePoint) Slide();
  }
  UpdateLimit();
}

void TArcDfOutputWindow::Added(int aCount) {
  FCurrent += aCount;
  if (FCurrent >= FWritePoint) Slide();
  UpdateLimit();
}

void TArcDfOutputWindow::Emit(const uint8_t* aData, int64_t aCount) {
  for (int64_t done = 0; done < aCount;) {
    const int64_t n = std::min(aCount - done, kEmitPiece);
    if (FUseCRC32) {
      archive::Crc32Update(FChecksum, aData + done, static_cast<size_t>(n));
    } else {
      FChecksum = UpdateAdler32(FChecksum, aData + done, static_cast<size_t>(n));
    }
    if (!FTestOnly) {
      // A failed write is not repeated when the window is destroyed.
      FWriteFailed = true;
      FStream->WriteBuffer(aData + done, n);
      FWriteFailed = false;
    }
    done += n;
  }
  FStreamPos += aCount;
}

void TArcDfOutputWindow::Slide() {
  Emit(FBuffer.get(), FSlideCount);
  const int64_t kept = (FCurrent - FBuffer.get()) - FSlideCount;
  std::memmove(FBuffer.get(), FBuffer.get() + FSlideCount, static_cast<size_t>(kept));
  FCurrent -= FSlideCount;
}

void TArcDfOutputWindow::Flush() {
  const int64_t held = FCurrent - FBuffer.get();
  if (held == 0) return;
  FCurrent = FBuffer.get();
  Emit(FBuffer.get(), held);
  UpdateLimit();
}

uint32_t TArcDfOutputWindow::Checksum() {
  Flush();
  return FUseCRC32 ? ~FChecksum : FChecksum;
}

}  // namespace qelvo::codecs
