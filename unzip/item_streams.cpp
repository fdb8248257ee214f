#include "unzip/item_streams.h"

#include <algorithm>
#include <climits>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/paths.h"

namespace qelvo::unzip {

using archive::EArcException;

namespace {
int64_t SaturatedAdd(int64_t a, int64_t b) {
  int64_t r;
  if (!__builtin_add_overflow(a, b, &r)) return r;
  return b > 0 ? INT64_MAX : INT64_MIN;
}
}  // namespace

TArcUnzipSubsetStream::TArcUnzipSubsetStream(rtl::TStream* aStream, int64_t aSize)
    : FStream(aStream), FStartPos(aStream->Position()), FCurPos(FStartPos) {
  // A stored size can reach INT64_MAX; the range then ends where int64 does, and the
  // reads fail at the stream's real end.
  if (__builtin_add_overflow(FStartPos, std::max<int64_t>(aSize, 0), &FEndPos)) FEndPos = INT64_MAX;
}

int64_t TArcUnzipSubsetStream::Read(void* buffer, int64_t count) {
  count = std::min(count, FEndPos - FCurPos);
  if (count <= 0) return 0;
  const int64_t n = FStream->Read(buffer, count);
  if (n > 0) FCurPos += n;
  return std::max<int64_t>(n, 0);
}

int64_t TArcUnzipSubsetStream::Write(const void*, int64_t) {
  throw EArcException("TArcUnzipSubsetStream.Write not supported");
}

int64_t TArcUnzipSubsetStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  int64_t target = FCurPos;
  switch (origin) {
    case rtl::soBeginning: target = SaturatedAdd(FStartPos, offset); break;
    case rtl::soCurrent: target = SaturatedAdd(FCurPos, offset); break;
    case rtl::soEnd: target = SaturatedAdd(FEndPos, offset); break;
  }
  target = std::clamp(target, FStartPos, FEndPos);
  if (target != FCurPos) {
    FStream->Seek(target, rtl::soBeginning);
    FCurPos = target;
  }
  return FCurPos - FStartPos;
}

int64_t TArcUnzipOutputStream::Read(void*, int64_t) {
  throw EArcException("TArcUnzipOutputStream.Read not supported");
}

int64_t TArcUnzipOutputStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (Limit >= 0 && count > Limit - FBytesWritten)
    throw archive::EArcZipCorruptedData("more data than the declared size");
  const int64_t accepted = FStream->Write(buffer, count);
  archive::Crc32Update(FCRC32, buffer, static_cast<size_t>(count));
  if (accepted > 0) FBytesWritten += accepted;
  if (OnProgress) {
    const auto percent = static_cast<uint8_t>(archive::PercentOf(UncompressedSize, FBytesWritten));
    if (percent != FCurrentProgress) {
      bool abort = false;
      OnProgress(percent, abort);
      FCurrentProgress = percent;
      if (abort) throw archive::EArcUserAbort();
    }
  }
  return accepted;
}

int64_t TArcUnzipOutputStream::Seek(int64_t offset, rtl::TSeekOrigin origin) { return FStream->Seek(offset, origin); }

}  // namespace qelvo::unzip
