#pragma once
// TArcBitBucketStream: the destination of an item test. It accepts every write, keeps
// only the most recent bytes in a ring (enough for a decoder that reads back its own
// output) and discards the rest; its position and size still count everything written.
#include <cstdint>
#include <vector>

#include "rtl/stream.h"

namespace qelvo::codecs {

class TArcBitBucketStream : public rtl::TStream {
 public:
  // aBufSize 4096, 8192 or 32768 (anything else counts as 32768); the ring holds 1 KiB more.
  explicit TArcBitBucketStream(int32_t aBufSize);

  int64_t Read(void* buffer, int64_t count) override;
  // Appends at the end, whatever the position.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }
  int64_t BufSize() const { return FBufSize; }

 private:
  std::vector<uint8_t> FBuffer;
  int64_t FBufSize;
  int64_t FPosn = 0;
  int64_t FSize = 0;
};

}  // namespace qelvo::codecs
