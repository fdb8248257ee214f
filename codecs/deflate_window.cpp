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
    : FHistory(aUseDeflate64 ? kDeflate64History : kDeflateHistory),
      FLongestMatch(aUseDeflate64 ? kDeflate64LongestMatch : kDeflateLongestMatch),
      FChecksum(aUseCRC32 ? archive::kCrc32Initial : 1u),
      FPartSize(std::max<int64_t>(aPartSize, 0)),
      FStream(aStream),
      FTestOnly(aTestOnly),
      FUseCRC32(aUseCRC32) {
  const rtl::TWriteArea area = aTestOnly ? rtl::TWriteArea{} : aStream->WriteArea();
  if (area.Data != nullptr && area.Room > FLongestMatch + kSlack) {
    FDirect = true;
    FOrigin = FEmitted = FCurrent = area.Data;
    FAreaWriteEnd = area.Data + (area.Room - FLongestMatch - kSlack);
    FWritePoint = FCurrent + std::min<int64_t>(kOutputRoom, FAreaWriteEnd - FCurrent);
  } else {
    UseOwnBuffer();
  }
  UpdateLimit();
}

TArcDfOutputWindow::~TArcDfOutputWindow() {
  try {
    if (!FWriteFailed) Flush();
  } catch (...) {
    // Only reached while a decoding failure unwinds; that failure is the one to report.
  }
}

void TArcDfOutputWindow::UseOwnBuffer() {
  // Everything up to FCurrent has been handed out; the history moves to the front.
  const int64_t keep = std::min<int64_t>(FHistory, FCurrent - FOrigin);
  if (!FBuffer) FBuffer.reset(new uint8_t[static_cast<size_t>(FHistory + kOutputRoom + FLongestMatch + kSlack)]);
  if (keep > 0) std::memmove(FBuffer.get(), FCurrent - keep, static_cast<size_t>(keep));
  FDirect = false;
  FOrigin = FBuffer.get();
  FCurrent = FEmitted = FOrigin + keep;
  FWritePoint = FOrigin + FHistory + kOutputRoom;
}

void TArcDfOutputWindow::UpdateLimit() {
  FLimit = FWritePoint;
  if (FPartSize > 0) {
    const int64_t untilStop = FPartSize - FStreamPos;
    if (untilStop < FWritePoint - FEmitted) FLimit = FEmitted + std::max<int64_t>(untilStop, 0);
  }
}

void TArcDfOutputWindow::AfterAdd() {
  if (FPartSize > 0 && Position() >= FPartSize) throw EArcPartSizedInflate();
  if (FCurrent >= FWritePoint) MakeRoom();
  UpdateLimit();
}

void TArcDfOutputWindow::MakeRoom() {
  Emit(FEmitted, FCurrent - FEmitted);
  FEmitted = FCurrent;
  if (FDirect && FCurrent < FAreaWriteEnd) {
    FWritePoint = FCurrent + std::min<int64_t>(kOutputRoom, FAreaWriteEnd - FCurrent);
  } else {
    UseOwnBuffer();
  }
}

void TArcDfOutputWindow::AddLenDist(int aLen, int aDist) {
  if (aDist > FCurrent - FOrigin) throw EArcInternalInflateError(cause::kDistanceTooFar);
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
    if (FCurrent >= FWritePoint) MakeRoom();
  }
  UpdateLimit();
}

void TArcDfOutputWindow::Added(int aCount) {
  FCurrent += aCount;
  if (FCurrent >= FWritePoint) MakeRoom();
  UpdateLimit();
}

void TArcDfOutputWindow::UpdateChecksum(const uint8_t* aData, int64_t aCount) {
  if (FUseCRC32) {
    archive::Crc32Update(FChecksum, aData, static_cast<size_t>(aCount));
  } else {
    FChecksum = UpdateAdler32(FChecksum, aData, static_cast<size_t>(aCount));
  }
}

void TArcDfOutputWindow::Emit(const uint8_t* aData, int64_t aCount) {
  if (FDirect) {
    UpdateChecksum(aData, aCount);
    FStream->WriteAreaFilled(aCount);
  } else {
    for (int64_t done = 0; done < aCount;) {
      const int64_t n = std::min(aCount - done, kEmitPiece);
      UpdateChecksum(aData + done, n);
      if (!FTestOnly) {
        // A failed write is not repeated when the window is destroyed.
        FWriteFailed = true;
        FStream->WriteBuffer(aData + done, n);
        FWriteFailed = false;
      }
      done += n;
    }
  }
  FStreamPos += aCount;
}

void TArcDfOutputWindow::Flush() {
  if (FCurrent == FEmitted) return;
  Emit(FEmitted, FCurrent - FEmitted);
  FEmitted = FCurrent;
  UpdateLimit();
}

uint32_t TArcDfOutputWindow::Checksum() {
  Flush();
  return FUseCRC32 ? ~FChecksum : FChecksum;
}

}  // namespace qelvo::codecs
