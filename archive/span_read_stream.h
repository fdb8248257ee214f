#pragma once
// TArcSpanReadStream: reads a split set (parts "name.z01", "name.z02"... beside the last
// part "name.zip") or a set of removable disks that each hold "name.zip", switching parts
// on demand. Positions are (part, offset) pairs set with SeekImage; Read runs on into the
// following parts until the last one ends. The reader wraps the last part, the stream it
// opened, in one of these when the end record names a disk beyond the first.
#include <cstdint>
#include <memory>
#include <string>

#include "archive/span_base_stream.h"

namespace qelvo::archive {

class TArcSpanReadStream : public TArcSpanBaseStream {
 public:
  // stream is the open last part (now owned); currentImage its index, which is also the
  // index of the last part.
  TArcSpanReadStream(std::string archiveName, std::unique_ptr<rtl::TStream> stream, uint32_t currentImage);

  // Recomputes whether the set is split, now asking the event for the name of part 1.
  void SetOnRequestImage(TArcRequestImageEvent value) override;

  // Opens part image (when it is not the open one) and stands at offset in it. A part
  // beyond the last, or an offset outside the part, is a damaged set (EArcZipInvalid).
  void SeekImage(uint32_t image, int64_t offset);

  // Runs on into the next parts; fewer bytes than count only at the end of the last part.
  int64_t Read(void* buffer, int64_t count) override;
  // Only Seek(0, soCurrent), answered with the position within the open part.
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Write(const void* buffer, int64_t count) override;

  uint32_t CurrentImage() const { return FCurrentImage; }
  uint32_t LastImage() const { return FLastImage; }
  bool IsSplit() const { return FIsSplit; }
  bool HasOpenPart() const { return FStream != nullptr; }

  // Asked for disk n (1-based) of a disk set before it is read; unassigned, disk sets
  // cannot be read.
  TArcRequestNthDiskEvent OnRequestNthDisk;

 private:
  void DetermineSplit();
  void OpenImage(uint32_t image);
  void WaitForDisk(uint32_t image);

  uint32_t FCurrentImage;
  bool FIsSplit = true;
  uint32_t FLastImage;
  std::unique_ptr<rtl::TStream> FStream;
};

}  // namespace qelvo::archive
