#include "archive/span_write_stream.h"

#include <algorithm>
#include <cstdio>

#include "archive/errors.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "rtl/file_path.h"

namespace qelvo::archive {

TArcSpanWriteStream::TArcSpanWriteStream(std::string archiveName, int64_t threshold,
                                         std::unique_ptr<rtl::TStream> stream)
    : TArcSpanBaseStream(std::move(archiveName)),
      FStream(std::move(stream)),
      FThreshold(std::max<int64_t>(threshold, 0)) {}

int64_t TArcSpanWriteStream::Room(int64_t count) const {
  if (FThreshold == 0) return count;
  return std::clamp<int64_t>(FThreshold - FImageSize, 0, count);
}

int64_t TArcSpanWriteStream::Write(const void* buffer, int64_t count) {
  if (FStream == nullptr) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t want = count - done;
    const int64_t room = Room(want);
    const int64_t n = room > 0 ? FStream->Write(in + done, room) : 0;
    const int64_t written = std::max<int64_t>(n, 0);
    FImageSize += written;
    done += written;
    // A part that takes nothing at all (a full disk right after a new one started)
    // would make the loop endless: that is a write error, not another part.
    if (written == 0 && FImageSize == 0) throw rtl::EWriteError();
    if (written < want) StartNextImage();
  }
  return done;
}

bool TArcSpanWriteStream::WriteUnspanned(const void* buffer, int64_t count, bool failOnSpan) {
  if (FStream == nullptr) throw rtl::EWriteError();
  int64_t written = 0;
  if (Room(count) == count) written = std::max<int64_t>(FStream->Write(buffer, count), 0);
  if (written == count) {
    FImageSize += written;
    return true;
  }
  if (written > 0) FStream->SetSize(FStream->Position() - written);
  StartNextImage();
  if (failOnSpan) return false;
  written = std::max<int64_t>(FStream->Write(buffer, count), 0);
  FImageSize += written;
  return written == count;
}

void TArcSpanWriteStream::StartNextImage() {
  FStream.reset();
  ++FCurrentImage;
  if (FThreshold > 0) {
    const std::string partName = ImageName(static_cast<int32_t>(FCurrentImage));
    platform::DeleteFile(partName);  // left over from an earlier set
    if (!platform::RenameFile(FArchiveName, partName)) throw rtl::EWriteError();
  } else {
    WaitForBlankDisk();
  }
  FStream = std::make_unique<platform::TFileStream>(FArchiveName, platform::fmCreate | platform::fmShareDenyWrite);
  FImageSize = 0;
}

// Disks carry no volume labels here (the platform has none to set).
void TArcSpanWriteStream::WaitForBlankDisk() {
  if (!OnRequestBlankDisk) throw EArcUserAbort();
  const std::string folder = rtl::ExtractFilePath(FArchiveName);
  do {
    bool abort = false;
    OnRequestBlankDisk(static_cast<rtl::TStream*>(this), abort);
    if (abort) throw EArcUserAbort();
  } while (platform::DiskFree(folder.empty() ? platform::CurrentFolder() : folder) < 0);
}

int64_t TArcSpanWriteStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  if (offset != 0 || origin != rtl::soCurrent) throw EArcException("TArcSpanWriteStream.Seek unsupported");
  return FStream ? FStream->Position() : 0;
}

int64_t TArcSpanWriteStream::Read(void*, int64_t) { throw EArcException("TArcSpanWriteStream.Read unsupported"); }

}  // namespace qelvo::archive
