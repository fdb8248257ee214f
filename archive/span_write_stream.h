#pragma once
// TArcSpanWriteStream: writes an archive as a split set (parts of at most Threshold
// bytes: each full part is renamed "name.z01", "name.z02"... and the writing goes on
// under the archive's own name) or, with a threshold of 0, over removable disks that
// each receive "name.zip" until they are full. WriteUnspanned keeps a block (a header)
// whole in one part.
#include <cstdint>
#include <memory>
#include <string>

#include "archive/span_base_stream.h"

namespace qelvo::archive {

class TArcSpanWriteStream : public TArcSpanBaseStream {
 public:
  // stream is the archive file, open for writing as the first part (now owned).
  TArcSpanWriteStream(std::string archiveName, int64_t threshold, std::unique_ptr<rtl::TStream> stream);

  // Writes all of count, starting new parts as the current one fills.
  int64_t Write(const void* buffer, int64_t count) override;
  // Writes the block whole into one part: when it does not fit, anything of it already
  // written is cut off again and the next part is started, where the block is written
  // unless failOnSpan is set. True when the whole block was written.
  bool WriteUnspanned(const void* buffer, int64_t count, bool failOnSpan);
  // Hands the current part's stream to the caller.
  std::unique_ptr<rtl::TStream> ReleaseStream() { return std::move(FStream); }

  // Only Seek(0, soCurrent), answered with the position within the current part.
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Read(void* buffer, int64_t count) override;

  uint32_t CurrentImage() const { return FCurrentImage; }
  int64_t ImageSize() const { return FImageSize; }

  // Asked for a blank disk before each new part of a disk set.
  TArcRequestDiskEvent OnRequestBlankDisk;

 private:
  // What may still go into the current part out of count.
  int64_t Room(int64_t count) const;
  void StartNextImage();
  void WaitForBlankDisk();

  uint32_t FCurrentImage = 0;
  int64_t FImageSize = 0;
  std::unique_ptr<rtl::TStream> FStream;
  int64_t FThreshold;
};

}  // namespace qelvo::archive
