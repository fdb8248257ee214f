#include "archive/span_read_stream.h"

#include "archive/errors.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "rtl/file_path.h"

namespace qelvo::archive {

TArcSpanReadStream::TArcSpanReadStream(std::string archiveName, std::unique_ptr<rtl::TStream> stream,
                                       uint32_t currentImage)
    : TArcSpanBaseStream(std::move(archiveName)),
      FCurrentImage(currentImage),
      FLastImage(currentImage),
      FStream(std::move(stream)) {
  DetermineSplit();
}

void TArcSpanReadStream::SetOnRequestImage(TArcRequestImageEvent value) {
  TArcSpanBaseStream::SetOnRequestImage(std::move(value));
  DetermineSplit();
}

// Parts are files of one folder when the first one is there, or when the archive is not
// on removable media (where nobody could change disks).
void TArcSpanReadStream::DetermineSplit() {
  FIsSplit = platform::FileExists(ImageName(1)) || !IsRemovableDrive(FArchiveName);
}

void TArcSpanReadStream::SeekImage(uint32_t image, int64_t offset) {
  if (image > FLastImage) throw EArcZipInvalid();
  // A part that failed to open is opened again, so one missing part does not make the
  // rest of the set unreadable.
  if (FStream == nullptr || image != FCurrentImage) OpenImage(image);
  if (offset < 0 || offset > FStream->Size()) throw EArcZipInvalid();
  FStream->Seek(offset, rtl::soBeginning);
}

void TArcSpanReadStream::OpenImage(uint32_t image) {
  FStream.reset();
  FCurrentImage = image;
  std::string name = FArchiveName;
  if (FIsSplit) {
    if (image != FLastImage) name = ImageName(static_cast<int32_t>(image) + 1);
  } else {
    WaitForDisk(image);
  }
  FStream = std::make_unique<platform::TFileStream>(name, platform::fmOpenRead | platform::fmShareDenyWrite);
}

// Asks for the disk until its folder can be read.
void TArcSpanReadStream::WaitForDisk(uint32_t image) {
  if (!OnRequestNthDisk) throw EArcUserAbort();
  const std::string folder = rtl::ExtractFilePath(FArchiveName);
  do {
    bool abort = false;
    OnRequestNthDisk(static_cast<rtl::TStream*>(this), static_cast<uint8_t>(image + 1), abort);
    if (abort) throw EArcUserAbort();
  } while (platform::DiskFree(folder.empty() ? platform::CurrentFolder() : folder) < 0);
}

int64_t TArcSpanReadStream::Read(void* buffer, int64_t count) {
  if (FStream == nullptr) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = FStream->Read(out + done, count - done);
    if (n > 0) {
      done += n;
      continue;
    }
    // The open part is exhausted.
    if (FCurrentImage >= FLastImage) break;
    OpenImage(FCurrentImage + 1);
  }
  return done;
}

int64_t TArcSpanReadStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  if (FStream == nullptr) return 0;
  if (offset != 0 || origin != rtl::soCurrent) throw EArcException("TArcSpanReadStream.Seek unsupported");
  return FStream->Position();
}

int64_t TArcSpanReadStream::Write(const void*, int64_t) { throw EArcException("TArcSpanReadStream.Write unsupported"); }

}  // namespace qelvo::archive
