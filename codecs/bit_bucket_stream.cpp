#include "codecs/bit_bucket_stream.h"

#include <algorithm>
#include <cstring>

#include "archive/errors.h"

namespace qelvo::codecs {

TArcBitBucketStream::TArcBitBucketStream(int32_t aBufSize)
    : FBufSize((aBufSize == 4096 || aBufSize == 8192 ? aBufSize : 32768) + 1024) {
  FBuffer.resize(static_cast<size_t>(FBufSize));
}

int64_t TArcBitBucketStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* src = static_cast<const uint8_t*>(buffer);
  // Only the last FBufSize bytes of a long write can survive.
  int64_t skip = std::max<int64_t>(0, count - FBufSize);
  int64_t pos = FSize + skip;
  for (int64_t left = count - skip; left > 0;) {
    const int64_t at = pos % FBufSize;
    const int64_t n = std::min(left, FBufSize - at);
    std::memcpy(FBuffer.data() + at, src + skip, static_cast<size_t>(n));
    skip += n;
    pos += n;
    left -= n;
  }
  FSize += count;
  FPosn = FSize;
  return count;
}

int64_t TArcBitBucketStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > FSize - FPosn) throw archive::EArcBBSReadTooManyBytes(count);
  auto* dst = static_cast<uint8_t*>(buffer);
  for (int64_t left = count; left > 0;) {
    const int64_t at = FPosn % FBufSize;
    const int64_t n = std::min(left, FBufSize - at);
    std::memcpy(dst, FBuffer.data() + at, static_cast<size_t>(n));
    dst += n;
    FPosn += n;
    left -= n;
  }
  return count;
}

int64_t TArcBitBucketStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  int64_t target;
  switch (origin) {
    case rtl::soBeginning: target = offset; break;
    case rtl::soCurrent: target = FPosn + offset; break;
    case rtl::soEnd: target = FSize + offset; break;
    default: throw archive::EArcBBSInvalidOrigin();
  }
  if (target <= FSize - FBufSize || target > FSize || target < 0) throw archive::EArcBBSSeekOutsideBuffer();
  FPosn = target;
  return FPosn;
}

}  // namespace qelvo::codecs
