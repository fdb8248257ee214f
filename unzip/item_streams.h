#pragma once
// The two streams every item extraction runs through: a read-only window onto the
// item's stored bytes inside the archive stream, and a write-only wrapper around the
// real output that counts bytes, keeps the CRC-32 and reports progress.
#include <cstdint>

#include "archive/types.h"
#include "rtl/stream.h"

namespace qelvo::unzip {

class TArcUnzipSubsetStream : public rtl::TStream {
 public:
  // The range starts at aStream's current position and holds aSize bytes.
  TArcUnzipSubsetStream(rtl::TStream* aStream, int64_t aSize);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Clamped into the range; answers the position relative to its start.
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;

 private:
  rtl::TStream* FStream;
  int64_t FStartPos;
  int64_t FCurPos;
  int64_t FEndPos;
};

class TArcUnzipOutputStream : public rtl::TStream {
 public:
  explicit TArcUnzipOutputStream(rtl::TStream* aStream) : FStream(aStream) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;

  uint32_t CRC32() const { return ~FCRC32; }
  int64_t BytesWritten() const { return FBytesWritten; }
  rtl::TStream* Stream() const { return FStream; }
  int64_t UncompressedSize = 0;
  // Bytes the item may produce; a write beyond it raises EArcZipCorruptedData before any
  // of it reaches the real output. -1: no limit.
  int64_t Limit = -1;
  archive::TArcProgressEvent OnProgress;  // byte-level progress of the item

 private:
  int64_t FBytesWritten = 0;
  uint32_t FCRC32 = 0xFFFFFFFFu;
  uint8_t FCurrentProgress = 0;
  rtl::TStream* FStream;
};

}  // namespace qelvo::unzip
